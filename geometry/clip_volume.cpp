#include <cmath>

#include "geometry/geometry.h"

namespace {

void Log(const char* message) { GeomLogMessage(nullptr, message, 1); }

using Plane = double[4];

constexpr int kMaxVertices = 20;  // triples of six planes

unsigned char KeptCount(unsigned int count) {
  if (count <= GClipVolume::kMaxPlanes) return static_cast<unsigned char>(count);
  Log("GClipVolume: can't build more than 6 planes");
  return GClipVolume::kMaxPlanes;
}

// Makes (a, b, c) unit length so that a x + b y + c z + d is the signed distance. A plane without a normal
// keeps its d and gets the zero normal of the unit-vector constructor, message included, rather than
// dividing by a zero length.
void NormalisePlane(Plane& p) {
  const double s = p[0] * p[0] + p[1] * p[1] + p[2] * p[2];
  if (std::fabs(s - 1.0) <= kGeomDivideGuard) return;
  const double length = std::sqrt(s);
  if (length <= kGeomNullLimit) {
    const GUnitVector none(p[0], p[1], p[2]);
    for (int k = 0; k < 3; ++k) p[k] = none[k];
    return;
  }
  for (double& c : p) c /= length;
}

void NormaliseAll(GClipVolume& v) {
  for (int i = 0; i < v.m_count; ++i) NormalisePlane(v.m_planes[i]);
}

GClipVolume Normalised(const GClipVolume& v) {
  GClipVolume copy = v;
  NormaliseAll(copy);
  return copy;
}

GUnitVector Normal(const Plane& p) { return GUnitVector(p[0], p[1], p[2]); }

double Distance(const Plane& p, const GPosition& x) { return p[0] * x.x + p[1] * x.y + p[2] * x.z + p[3]; }

void SetNormal(Plane& p, const GVector& n) {
  p[0] = n.x;
  p[1] = n.y;
  p[2] = n.z;
}

// 0 outside, 1 inside, 2 on a bounding plane; the planes must be normalised.
int Where(const GClipVolume& v, const GPosition& x) {
  const double tolerance = GetDistanceTolerance();
  int where = 1;
  for (int i = 0; i < v.m_count; ++i) {
    const double dist = Distance(v.m_planes[i], x);
    if (dist < -tolerance) return 0;
    if (std::fabs(dist) <= tolerance) where = 2;
  }
  return where;
}

// The corner of the box farthest along (inwards) or against (outwards) the plane's normal.
GPosition ExtremeCorner(const Plane& p, const GBox& box, bool inwards) {
  GPosition corner;
  for (int k = 0; k < 3; ++k) corner[k] = (p[k] > 0.0) == inwards ? box.high[k] : box.low[k];
  return corner;
}

// 0 when an extreme corner of the box lies outside some plane by more than the tolerance.
int AllCornersPass(const GClipVolume& volume, const GBox& box, bool inwards) {
  const GClipVolume v = Normalised(volume);
  const double tolerance = GetDistanceTolerance();
  for (int i = 0; i < v.m_count; ++i)
    if (Distance(v.m_planes[i], ExtremeCorner(v.m_planes[i], box, inwards)) < -tolerance) return 0;
  return 1;
}

GPosition FootPoint(const Plane& p) { return GPosition() + -p[3] * GVector(Normal(p)); }

// The points where three planes meet and which the volume does not find outside, for the normalised v. Three
// planes that meet at a glancing angle (or not at all) give no point.
int Vertices(const GClipVolume& v, GPosition (&out)[kMaxVertices]) {
  const double tolerance = GetDistanceTolerance();
  GVector n[GClipVolume::kMaxPlanes];
  double h[GClipVolume::kMaxPlanes];
  for (int i = 0; i < v.m_count; ++i) {
    n[i] = Normal(v.m_planes[i]);
    h[i] = GVector::Dot(n[i], FootPoint(v.m_planes[i]) - GPosition());
  }
  int count = 0;
  for (int i = 0; i < v.m_count; ++i) {
    for (int j = i + 1; j < v.m_count; ++j) {
      const GVector ij = GVector::Cross(n[i], n[j]);
      for (int k = j + 1; k < v.m_count; ++k) {
        const double den = GVector::Dot(ij, n[k]);
        if (!(std::fabs(den) > tolerance * 0.5 * ij.Length())) continue;
        const GVector x = (h[i] * GVector::Cross(n[j], n[k]) + h[j] * GVector::Cross(n[k], n[i]) + h[k] * ij) / den;
        const GPosition vertex = GPosition() + x;
        if (Where(v, vertex) != 0) out[count++] = vertex;
      }
    }
  }
  return count;
}

GPosition Mean(const GPosition* points, int count) {
  GVector sum;
  for (int i = 0; i < count; ++i) sum += points[i] - GPosition();
  return GPosition() + sum / static_cast<double>(count);
}

}  // namespace

GClipVolume::GClipVolume(unsigned int count, const GPosition* points, const GUnitVector* normals) {
  m_count = points && normals ? KeptCount(count) : 0;
  for (int i = 0; i < m_count; ++i) {
    SetNormal(m_planes[i], normals[i]);
    m_planes[i][3] = -GVector::Dot(normals[i], points[i] - GPosition());
  }
}

GClipVolume::GClipVolume(unsigned int count, const double* coefficients) {
  m_count = coefficients ? KeptCount(count) : 0;
  for (int i = 0; i < m_count; ++i)
    for (int k = 0; k < 4; ++k) m_planes[i][k] = coefficients[4 * i + k];
  NormaliseAll(*this);
}

GClipVolume::GClipVolume(const GBox& box) : m_count(kMaxPlanes) {
  const double planes[kMaxPlanes][4] = {{0, 1, 0, -box.low.y},  {1, 0, 0, -box.low.x}, {0, -1, 0, box.high.y},
                                        {-1, 0, 0, box.high.x}, {0, 0, 1, -box.low.z}, {0, 0, -1, box.high.z}};
  for (int i = 0; i < kMaxPlanes; ++i)
    for (int k = 0; k < 4; ++k) m_planes[i][k] = planes[i][k];
}

int GClipVolume::Overlaps(const GBox& box) const { return AllCornersPass(*this, box, true); }
int GClipVolume::Contains(const GBox& box) const { return AllCornersPass(*this, box, false); }

void GClipVolume::Classify(const GPosition& p, int* where, int* rc) const {
  *rc = 0;
  *where = Where(Normalised(*this), p);
}

GClipVolume& GClipVolume::operator+=(const GVector& v) {
  NormaliseAll(*this);
  for (int i = 0; i < m_count; ++i)
    m_planes[i][3] -= GVector::Dot(GVector(m_planes[i][0], m_planes[i][1], m_planes[i][2]), v);
  return *this;
}

GClipVolume& GClipVolume::operator-=(const GVector& v) { return *this += -v; }

GClipVolume operator+(const GClipVolume& v, const GVector& d) {
  GClipVolume r = v;
  return r += d;
}

GClipVolume operator-(const GClipVolume& v, const GVector& d) {
  GClipVolume r = v;
  return r -= d;
}

GClipVolume& GClipVolume::operator*=(const GMatrix& m) {
  NormaliseAll(*this);
  for (int i = 0; i < m_count; ++i) {
    const GVector n(m_planes[i][0], m_planes[i][1], m_planes[i][2]);
    SetNormal(m_planes[i], n * m);
  }
  return *this;
}

GClipVolume operator*(const GClipVolume& v, const GMatrix& m) {
  GClipVolume r = v;
  return r *= m;
}

GClipVolume operator*(const GMatrix& m, const GClipVolume& v) {
  GClipVolume r = Normalised(v);
  for (int i = 0; i < r.m_count; ++i) {
    const GVector n(r.m_planes[i][0], r.m_planes[i][1], r.m_planes[i][2]);
    SetNormal(r.m_planes[i], m * n);
  }
  return r;
}

// A point x inside n . x + d >= 0 maps to x' = s (x M) + u; for an orthogonal M that is n' . x' + s d - n' . u
// >= 0 with n' = n M (for a positive s).
GClipVolume& GClipVolume::operator*=(const GTransf& t) {
  NormaliseAll(*this);
  for (int i = 0; i < m_count; ++i) {
    Plane& p = m_planes[i];
    const GUnitVector n = Normal(p) * t;
    p[3] = p[3] * t.m_scaling - GVector::Dot(n, t.m_translation);
    SetNormal(p, n);
  }
  return *this;
}

GClipVolume operator*(const GClipVolume& v, const GTransf& t) {
  GClipVolume r = v;
  return r *= t;
}

// Each plane keeps its normal and moves its foot point away from the centre by the factor.
GClipVolume operator*(const GClipVolume& v, double s) {
  if (v.m_count == 0) {
    Log("GClipVolume: can't multiple by scalar when count=0");
    return v;
  }
  if (s < 0.0) Log("GClipVolume: should not multiply by scalar < 0.0");
  const GClipVolume c = Normalised(v);
  GUnitVector normals[GClipVolume::kMaxPlanes];
  GPosition feet[GClipVolume::kMaxPlanes];
  for (int i = 0; i < c.m_count; ++i) {
    normals[i] = Normal(c.m_planes[i]);
    feet[i] = FootPoint(c.m_planes[i]);
  }
  // A volume of four or more planes without a vertex has no corners to average; its foot points stand in.
  GPosition centre = Mean(feet, c.m_count);
  if (c.m_count >= 4) {
    GPosition vertices[kMaxVertices];
    const int n = Vertices(c, vertices);
    if (n > 0) centre = Mean(vertices, n);
  }
  GPosition moved[GClipVolume::kMaxPlanes];
  for (int i = 0; i < c.m_count; ++i) moved[i] = GPosition() + (feet[i] - centre) * s;
  return GClipVolume(c.m_count, moved, normals) + (centre - GPosition());
}

GClipVolume& GClipVolume::operator*=(double s) { return *this = *this * s; }

GClipVolume operator/(const GClipVolume& v, double s) {
  if (s < kGeomDivideGuard) Log("GClipVolume: scalar < tolerance");
  return v * (std::fabs(s) < kGeomDivideGuard ? kGeomInfinity : 1.0 / s);
}

GClipVolume& GClipVolume::operator/=(double s) {
  if (s < kGeomDivideGuard) {
    Log("GClipVolume: trying to divide by number < GSMALLRELTO1");
    if (std::fabs(s) < kGeomDivideGuard) s = kGeomDivideGuard;
  }
  return *this = *this / s;
}

// ---------------------------------------------------------------------------------------------------------
// The box of a clip volume: the box of its vertices, with every plane normalised first like every query
// does, so that a volume whose normals a matrix has stretched still gives its true corners.

GBox::GBox(const GClipVolume& volume) {
  GPosition vertices[kMaxVertices];
  const int n = Vertices(Normalised(volume), vertices);
  *this = GBox(static_cast<unsigned int>(n), vertices);
}

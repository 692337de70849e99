#include <cmath>

#include "geometry/geometry.h"

namespace {

void Log(const char* message) { GeomLogMessage(nullptr, message, 1); }

// NaN fails the comparison; 1e30 itself passes.
bool ValidCoordinate(double c) { return std::fabs(c) <= kGeomInfinity; }

bool ValidCoordinates(double x, double y, double z) {
  return ValidCoordinate(x) && ValidCoordinate(y) && ValidCoordinate(z);
}

bool ValidCoordinates(double x, double y) { return ValidCoordinate(x) && ValidCoordinate(y); }

// Runs one test: writes its message when it fails and clears the flag.
void Expect(bool passed, const char* message, int* valid) {
  if (passed) return;
  Log(message);
  *valid = 0;
}

bool CheckedPosition(const GPosition& p) {
  const bool valid = ValidCoordinates(p.x, p.y, p.z);
  if (!valid) Log("GPosition has an invalid coordinate");
  return valid;
}

bool CheckedVector(const GVector& v) {
  const bool valid = ValidCoordinates(v.x, v.y, v.z);
  if (!valid) Log("GVector has an invalid coordinate");
  return valid;
}

bool CheckedUnitVector(const GUnitVector& u) {
  if (!ValidCoordinates(u.x, u.y, u.z)) {
    Log("GUnitVector has an invalid coordinate");
    return false;
  }
  return CheckUnitLength(&u);
}

bool CheckedMatrix(const GMatrix& m) {
  bool valid = true;
  for (int i = 0; i < 3; ++i) valid = CheckedVector(m[i]) && valid;
  return valid;
}

// The matrix and translation, then what makes a transform a similarity with consistent flags. Every test
// runs whatever the earlier ones found, except that without either flag the flags are not compared with the
// determinant.
template <typename T>
int CheckedTransform(const T& t, bool partsValid, const char* const (&messages)[6]) {
  int valid = partsValid ? 1 : 0;
  Expect(t.m_matrix.IsOrthogonal(), messages[0], &valid);
  Expect(std::isfinite(t.m_scaling) && t.m_scaling >= GetDistanceTolerance(), messages[1], &valid);
  Expect(!t.m_hasShear, messages[2], &valid);
  if (!t.m_hasRotation && !t.m_hasReflection) {
    Expect(false, messages[3], &valid);
    return valid;
  }
  const double det = t.m_matrix.Determinant();
  Expect(!(t.m_hasReflection && det > 0.0), messages[4], &valid);
  Expect(!(t.m_hasRotation && det < 0.0), messages[5], &valid);
  return valid;
}

constexpr const char* kTransfMessages[6] = {
    "GTransf is not Euclidean",
    "GTransf has an invalid scale",
    "GTransf has Shear",
    "GTransf: neither m_hasRotation or m_hasReflection is set",
    "GTransf: m_hasReflection is set, but it is a rotation",
    "GTransf: m_hasRotation is set, but it is a reflection",
};

constexpr const char* kTransf2dMessages[6] = {
    "GTransf2d is not Euclidean",
    "GTransf2d has an invalid scale",
    "GTransf2d has Shear",
    "GTransf2d: neither m_hasRotation or m_hasReflection is set",
    "GTransf2d: m_hasReflection is set, but it is a rotation",
    "GTransf2d: m_hasRotation is set, but it is a reflection",
};

int CheckedTransf(const GTransf& t) {
  const bool matrix = CheckedMatrix(t.m_matrix);
  const bool translation = CheckedVector(t.m_translation);
  return CheckedTransform(t, matrix && translation, kTransfMessages);
}

// Whether the eye lies between the front and back planes through base + front u and base + back u, with
// the distance tolerance on the side of the planes.
bool EyeBetweenPlanes(const GPosition& base, const GUnitVector& u, double front, double back, const GPosition& eye) {
  const double d = GetDistanceTolerance();
  const GVector direction = u;
  if (GVector::Dot(direction, eye - (base + front * direction)) >= -d) return false;
  return GVector::Dot(direction, eye - (base + back * direction)) > -d;
}

// The tests that the prism and the fence share on their closed point list; a missing list skips the point
// tests after its message.
bool CheckedPointList(const GPosition* points, std::uint32_t count, const char* fewPoints, const char* nullPointer,
                      const char* notClosed) {
  if (count < 4) Log(fewPoints);
  if (!points) {
    Log(nullPointer);
    return false;
  }
  if (count > 0 && !points[0].IsEqual(points[count - 1])) Log(notClosed);
  return count > 0;
}

}  // namespace

bool CheckUnitLength(const GUnitVector* u) {
  if (!u) return false;
  const double s = u->x * u->x + u->y * u->y + u->z * u->z;
  if (std::fabs(s - 1.0) <= kGeomNullLimit) return true;
  Log(std::sqrt(s) >= kGeomNullLimit ? "GUnitVector: vector is not a unit vector"
                                     : "GUnitVector: using a NULL unit vector");
  return false;
}

void CheckPosition(const GPosition* p) {
  if (p) CheckedPosition(*p);
}

void CheckVector(const GVector* v) {
  if (v) CheckedVector(*v);
}

void CheckVector(const GVector* v, int* valid) { *valid = v && CheckedVector(*v); }

void CheckUnitVector(const GUnitVector* u) {
  if (u) CheckedUnitVector(*u);
}

void CheckBox(const GBox* b) {
  if (!b) return;
  CheckedPosition(b->low);
  CheckedPosition(b->high);
}

void CheckMatrix(const GMatrix* m) {
  if (m) CheckedMatrix(*m);
}

void CheckMatrix(const GMatrix* m, int* valid) { *valid = m && CheckedMatrix(*m); }

void CheckTransf(const GTransf* t) {
  if (t) CheckedTransf(*t);
}

void CheckTransf(const GTransf* t, int* valid) { *valid = t ? CheckedTransf(*t) : 0; }

void Check4x4(const G4x4* g) {
  if (!g) return;
  const double r = GetRelativeTolerance();
  const double* m = g->m_matrix;
  if (std::fabs(m[3]) > r) Log("G4x4: m_matrix[3] is not 0");
  if (std::fabs(m[7]) > r) Log("G4x4: m_matrix[7] is not 0");
  if (std::fabs(m[11]) > r) Log("G4x4: m_matrix[11] is not 0");
  if (std::fabs(m[15] - 1.0) > r) Log("G4x4: m_matrix[15] is not 1");
}

void CheckBoreLine(const GBoreLine* b) {
  if (!b) return;
  CheckedPosition(b->m_root);
  CheckedUnitVector(b->m_direction);
  if (!(b->m_front >= b->m_back && b->m_radius > 0.0)) Log("GBoreLine has an invalid front, back, or radius");
}

void CheckBoreCone(const GBoreCone* c) {
  if (!c) return;
  CheckBoreLine(c);
  CheckedPosition(c->m_eye);
  if (EyeBetweenPlanes(c->m_root, c->m_direction, c->m_front, c->m_back, c->m_eye))
    Log("GBoreCone: eye point is between front and back planes");
}

void CheckRtPrism(const GRtPrism* p) {
  if (!p) return;
  CheckedTransf(p->m_placement);
  if (CheckedPointList(p->m_points, p->m_count, "GRtPrism: Less than 4 points", "GRtPrism: NULL pointer",
                       "GRtPrism: point set is not closed")) {
    double meanZ = 0.0;
    for (std::uint32_t i = 0; i < p->m_count; ++i) meanZ += p->m_points[i].z;
    meanZ /= p->m_count;
    const double d = GetDistanceTolerance();
    for (std::uint32_t i = 0; i < p->m_count; ++i)
      if (std::fabs(p->m_points[i].z - meanZ) > d) Log("GRtPrism: point set is not planar in xz");
  }
  if (p->m_height < 0.0 || p->m_height >= kGeomInfinity) Log("GRtPrism: invalid height");
}

namespace {

GPosition Centroid(const GPosition* points, std::uint32_t count) {
  GVector sum;
  for (std::uint32_t i = 0; i < count; ++i) sum += points[i] - GPosition();
  return GPosition() + sum / static_cast<double>(count);
}

}  // namespace

void CheckPtFence(const GPtFence* f) {
  if (!f) return;
  CheckedUnitVector(f->m_direction);
  if (CheckedPointList(f->m_points, f->m_count, "GPtFence: Less than 4 points", "GPtFence: NULL pointer",
                       "GPtFence: point set is not closed")) {
    const GVector u = f->m_direction;
    const double h = GVector::Dot(u, Centroid(f->m_points, f->m_count) - GPosition());
    const double d = GetDistanceTolerance();
    for (std::uint32_t i = 0; i < f->m_count; ++i)
      if (std::fabs(h - GVector::Dot(u, f->m_points[i] - GPosition())) > d)
        Log("GPtFence: point set is not planar with respect to direction vector");
  }
  if (f->m_front < f->m_back || f->m_front >= kGeomInfinity || f->m_back < -kGeomInfinity)
    Log("GPtFence: invalid m_front or m_back");
}

void CheckPtFrustum(const GPtFrustum* f) {
  if (!f) return;
  CheckPtFence(f);
  CheckedPosition(f->m_eye);
  if (f->m_count != 0 && f->m_points &&
      EyeBetweenPlanes(Centroid(f->m_points, f->m_count), f->m_direction, f->m_front, f->m_back, f->m_eye))
    Log("GPtFrustum: eye point is between front and back planes");
}

// ---------------------------------------------------------------------------------------------------------
// 2D

void CheckPosition2d(const GPosition2d* p) {
  if (p && !ValidCoordinates(p->x, p->y)) Log("GPosition2d does not have valid coordinates");
}

void CheckVector2d(const GVector2d* v) {
  if (v && !ValidCoordinates(v->x, v->y)) Log("GVector2d does not have valid coordinates");
}

// The unit band of the 2D check is the distance tolerance, far wider than that of the 3D one.
void CheckUnitVector2d(const GUnitVector2d* u) {
  if (!u) return;
  if (!ValidCoordinates(u->x, u->y) || !(std::fabs(u->x * u->x + u->y * u->y - 1.0) <= GetDistanceTolerance()))
    Log("GUnitVector2d does not have valid coordinates");
}

void CheckBox2d(const GBox2d* b) {
  if (!b) return;
  CheckPosition2d(&b->low);
  CheckPosition2d(&b->high);
}

void CheckMatrix2d(const GMatrix2d* m) {
  if (!m) return;
  for (int i = 0; i < 2; ++i) {
    const GVector2d row = (*m)[i];
    CheckVector2d(&row);
  }
}

void CheckTransf2d(const GTransf2d* t) {
  if (!t) return;
  CheckMatrix2d(&t->m_matrix);
  CheckVector2d(&t->m_translation);
  CheckedTransform(*t, true, kTransf2dMessages);
}

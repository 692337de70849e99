#include <cmath>
#include <initializer_list>
#include <numbers>

#include "geometry/geometry.h"

namespace {

void Log(const char* message) { GeomLogMessage(nullptr, message, 1); }

constexpr double kPi = std::numbers::pi;

// The flags of a product: two reflections make a rotation, a reflection and a rotation a reflection.
template <typename T>
void CombineFlags(const T& a, const T& b, T& out) {
  out.m_hasRotation = (a.m_hasRotation && b.m_hasRotation) || (a.m_hasReflection && b.m_hasReflection);
  out.m_hasReflection = (a.m_hasReflection && b.m_hasRotation) || (b.m_hasReflection && a.m_hasRotation);
  out.m_hasShear = a.m_hasShear || b.m_hasShear;
}

template <typename T>
bool TransformsEqual(const T& a, const T& b) {
  return std::fabs(a.m_scaling - b.m_scaling) <= GetRelativeTolerance() && a.m_hasReflection == b.m_hasReflection &&
         a.m_translation.IsEqual(b.m_translation) && a.m_matrix.IsEqual(b.m_matrix);
}

template <typename T>
bool TransformInvertible(const T& t) {
  return std::fabs(t.m_scaling) >= kGeomDivideGuard && t.m_matrix.IsOrthogonal();
}

// Undoes the translation, then the scaled matrix by its transpose. The transpose inverts only an orthogonal
// matrix, but a caller that goes on after the message still gets a finite transform.
template <typename T>
T& InverseOf(const T& t, T& out, const char* notInvertible, const char* zeroScaling) {
  if (!TransformInvertible(t)) Log(notInvertible);
  double inverseScaling;
  if (std::fabs(t.m_scaling) < kGeomDivideGuard) {
    Log(zeroScaling);
    inverseScaling = kGeomInfinity;
  } else {
    inverseScaling = 1.0 / t.m_scaling;
  }
  const T undoTranslation(T::Identity().m_matrix, -t.m_translation, 1.0, 1, 0, 0);
  decltype(t.m_matrix) transposed;
  t.m_matrix.Transpose(transposed);
  const T undoLinear(transposed, {}, inverseScaling, t.m_hasRotation, t.m_hasReflection, t.m_hasShear);
  out = undoTranslation * undoLinear;
  return out;
}

// The translation that keeps p fixed under the linear map x M: p - p M.
GVector FixedPointShift(const GPosition& p, const GMatrix& m) { return p - p * m; }
GVector2d FixedPointShift(const GPosition2d& p, const GMatrix2d& m) { return p - p * m; }

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// GTransf

GTransf::GTransf(const GTransf2d& t)
    : m_matrix(t.m_matrix.m[0][0], t.m_matrix.m[0][1], 0, t.m_matrix.m[1][0], t.m_matrix.m[1][1], 0, 0, 0, 1),
      m_translation(t.m_translation.x, t.m_translation.y, 0),
      m_scaling(t.m_scaling),
      m_hasRotation(t.m_hasRotation),
      m_hasReflection(t.m_hasReflection),
      m_hasShear(t.m_hasShear) {}

GTransf::GTransf(const G4x4& m) { FromMatrix4x4(m, *this); }

bool GTransf::IsEqual(const GTransf& b) const { return TransformsEqual(*this, b); }
bool GTransf::IsZero() const { return IsEqual(GTransf()); }
bool GTransf::IsIdentity() const { return IsEqual(Identity()); }
bool GTransf::IsInvertible() const { return TransformInvertible(*this); }

GTransf& GTransf::Inverse(GTransf& out) const {
  return InverseOf(*this, out, "GTransf: not invertible", "GTransf: m_scaling is 0.0");
}

GTransf operator*(const GTransf& a, const GTransf& b) {
  GTransf r(a.m_matrix * b.m_matrix, b.m_scaling * (a.m_translation * b.m_matrix) + b.m_translation,
            a.m_scaling * b.m_scaling, 0, 0, 0);
  CombineFlags(a, b, r);
  return r;
}

GTransf& GTransf::operator*=(const GTransf& b) { return *this = *this * b; }

GTransf& GTransf::Scale(double s, GTransf& out) { return out = {GMatrix::Identity(), {}, s, 1, 0, 0}; }

GTransf& GTransf::Scale(double s, const GPosition& fixed, GTransf& out) {
  const GVector p(fixed.x, fixed.y, fixed.z);
  return out = {GMatrix::Identity(), (1.0 - s) * p, s, 1, 0, 0};
}

GTransf& GTransf::Rotation(double cos, double sin, const GUnitVector& axis, GTransf& out) {
  GMatrix r;
  GMatrix::Rotation(cos, sin, axis, r);
  return out = {r, {}, 1.0, 1, 0, 0};
}

GTransf& GTransf::Rotation(double angle, const GUnitVector& axis, GTransf& out) {
  GMatrix r;
  GMatrix::Rotation(angle, axis, r);
  return out = {r, {}, 1.0, 1, 0, 0};
}

GTransf& GTransf::Rotation(double cos, double sin, const GUnitVector& axis, const GPosition& p, GTransf& out) {
  GMatrix r;
  GMatrix::Rotation(cos, sin, axis, r);
  return out = {r, FixedPointShift(p, r), 1.0, 1, 0, 0};
}

GTransf& GTransf::Rotation(double angle, const GUnitVector& axis, const GPosition& p, GTransf& out) {
  GMatrix r;
  GMatrix::Rotation(angle, axis, r);
  return out = {r, FixedPointShift(p, r), 1.0, 1, 0, 0};
}

GTransf& GTransf::Reflection(const GUnitVector& n, GTransf& out) {
  GMatrix r;
  GMatrix::Reflection(n, r);
  return out = {r, {}, 1.0, 0, 1, 0};
}

GTransf& GTransf::Reflection(const GUnitVector& n, const GPosition& p, GTransf& out) {
  GMatrix r;
  GMatrix::Reflection(n, r);
  return out = {r, FixedPointShift(p, r), 1.0, 0, 1, 0};
}

GTransf& GTransf::Translation(const GVector& v, GTransf& out) { return out = {GMatrix::Identity(), v, 1.0, 1, 0, 0}; }

GTransf& GTransf::FromFrame(const GPosition& origin, const GUnitVector& xAxis, const GUnitVector& yDirection,
                            GTransf& out) {
  const GVector w = yDirection;
  const GUnitVector y(w - GVector::Dot(w, xAxis) * GVector(xAxis));
  const GUnitVector z(GVector::Cross(xAxis, y));
  return out = {GMatrix(xAxis, y, z, 0), origin - GPosition(), 1.0, 1, 0, 0};
}

// Any x axis will do; the one nearest the axis along which z is smallest keeps the frame well conditioned.
GTransf& GTransf::FromFrame(const GPosition& origin, const GVector& zAxis, GTransf& out) {
  const GUnitVector e(zAxis);
  if (std::fabs(e.z - 1.0) < kGeomDivideGuard) return FromFrame(origin, {1, 0, 0}, {0, 1, 0}, out);
  int k = 0;
  for (int i = 1; i < 3; ++i)
    if (std::fabs(e[i]) < std::fabs(e[k])) k = i;
  GVector axis;
  axis[k] = 1.0;
  const GUnitVector x(axis - e[k] * GVector(e));
  const GUnitVector y(GVector::Cross(e, x));
  return FromFrame(origin, x, y, out);
}

void GTransf::FrameToFrame(const GPosition& p1, const GUnitVector& x1, const GUnitVector& y1, const GPosition& p2,
                           const GUnitVector& x2, const GUnitVector& y2, GTransf& out, int* rc) {
  *rc = 0;
  for (const GUnitVector* axis : {&x1, &y1, &x2, &y2}) {
    if (!CheckUnitLength(axis)) {
      *rc = 2;
      return;
    }
  }
  if (!x1.IsPerpendicular(y1) || !x2.IsPerpendicular(y2)) {
    Log("Vectors are not orthogonal");
    *rc = 2;
    return;
  }
  const GUnitVector z1(GVector::Cross(x1, y1));
  const GUnitVector z2(GVector::Cross(x2, y2));
  const GMatrix m = GMatrix(x1, y1, z1, 1) * GMatrix(x2, y2, z2, 0);
  out = {m, p2 - p1 * m, 1.0, 1, 0, 0};
}

GTransf2d& GTransf::Convert2d(GTransf2d& out) const {
  const double d = GetDistanceTolerance();
  const auto& m = m_matrix.m;
  if (std::fabs(m[0][2]) > d || std::fabs(m[1][2]) > d) Log("z coordinate of row 0 or row 1 > distanceTolerance");
  if (std::fabs(m[2][0]) > d || std::fabs(m[2][1]) > d) Log("row 2 coordinates > distanceTolerance");
  // Anything but 1 here scales or mirrors z, which the plane cannot show.
  if (std::fabs(m[2][2] - 1.0) > d) Log("third coordinate in row 2 not 1.0");
  const bool rotation = m[0][0] * m[1][1] - m[1][0] * m[0][1] >= 0.0;
  out = {GMatrix2d(m[0][0], m[0][1], m[1][0], m[1][1]), {m_translation.x, m_translation.y},    m_scaling,
         static_cast<unsigned char>(rotation),          static_cast<unsigned char>(!rotation), m_hasShear};
  return out;
}

// Of the two angle triples that describe a rotation, the one with the smaller angles is answered.
int GTransf::GetRotationAngles(double* ax, double* ay, double* az, GVector* translation) const {
  const auto& m = m_matrix.m;
  double a[3] = {0.0, 0.0, 0.0};
  if (m_hasRotation) {
    const double sy = -m[0][2];
    if (std::fabs(std::fabs(sy) - 1.0) >= 1e-12) {
      const double c = std::sqrt(m[0][0] * m[0][0] + m[0][1] * m[0][1]);
      const double first[3] = {std::atan2(m[1][2], m[2][2]), std::atan2(sy, c), std::atan2(m[0][1], m[0][0])};
      const double second[3] = {std::atan2(-m[1][2], -m[2][2]), std::atan2(sy, -c), std::atan2(-m[0][1], -m[0][0])};
      const auto size = [](const double(&v)[3]) { return std::fabs(v[0]) + std::fabs(v[1]) + std::fabs(v[2]); };
      const double(&chosen)[3] = size(second) <= size(first) ? second : first;
      for (int i = 0; i < 3; ++i) a[i] = chosen[i];
    } else {
      // Gimbal lock: only the difference of the x and z angles is known; z is taken as 0.
      const double angle = std::atan2(m[1][0], m[1][1]);
      if (sy <= 0.0) {
        a[0] = -angle;
        a[1] = -kPi / 2;
      } else {
        a[0] = angle;
        a[1] = kPi / 2;
      }
    }
  }
  if (ax) *ax = a[0];
  if (ay) *ay = a[1];
  if (az) *az = a[2];
  if (translation) *translation = m_translation;
  return 0;
}

void GTransf::Orthonormalize(const GTransf& t, GTransf& out, int* changed, int* rc) {
  *rc = 0;
  *changed = 0;
  out = t;
  int uniform = 0;
  double scale = 0.0;
  IsUniformScale(&t.m_matrix.m[0][0], 3, &uniform, &scale, rc);
  if (*rc != 0) return;
  GMatrix::Orthonormalize(t.m_matrix, out.m_matrix, rc);
  if (*rc == 2) {
    *rc = 0;
    out = t;
    return;
  }
  const bool rotation = out.m_matrix.Determinant() > 0.0;
  out.m_hasRotation = rotation;
  out.m_hasReflection = !rotation;
  out.m_hasShear = 0;
  *changed = 1;
}

int GTransf::FromMatrix4x4(const G4x4& g, GTransf& out) {
  const double* m = g.m_matrix;
  const double r = GetRelativeTolerance();
  out = GTransf();
  // Written as "not within" so that a NaN refuses too.
  if (!(std::fabs(m[15] - 1.0) <= r && std::fabs(m[3]) <= r && std::fabs(m[7]) <= r && std::fabs(m[11]) <= r)) return 2;
  const double block[9] = {m[0], m[1], m[2], m[4], m[5], m[6], m[8], m[9], m[10]};
  int uniform = 0, rc = 0;
  double s = 0.0;
  IsUniformScale(block, 3, &uniform, &s, &rc);
  if (rc != 0 || !uniform) return 2;
  const GMatrix a(block[0] / s, block[1] / s, block[2] / s, block[3] / s, block[4] / s, block[5] / s, block[6] / s,
                  block[7] / s, block[8] / s);
  GMatrix b;
  GMatrix::OrthonormalizeStep(a, b, &rc);
  const double det = b.Determinant();
  if (!(std::fabs(std::fabs(det) - 1.0) <= r)) return 2;
  out = {b, {m[12], m[13], m[14]}, s, static_cast<unsigned char>(det >= 0.0), static_cast<unsigned char>(det < 0.0), 0};
  return 0;
}

// ---------------------------------------------------------------------------------------------------------
// GTransf2d

// The flags are compared as in 3D; the identity's rotation flag is left clear, which the comparison ignores.
bool GTransf2d::IsEqual(const GTransf2d& b) const { return TransformsEqual(*this, b); }
bool GTransf2d::IsZero() const { return IsEqual(GTransf2d()); }
bool GTransf2d::IsIdentity() const { return IsEqual({GMatrix2d::Identity(), {}, 1.0, 0, 0, 0}); }
bool GTransf2d::IsInvertible() const { return TransformInvertible(*this); }

GTransf2d& GTransf2d::Inverse(GTransf2d& out) const {
  return InverseOf(*this, out, "GTransf2d: transformation is not invertible",
                   "GTransf2d: transformation scaling is 0.0");
}

GTransf2d operator*(const GTransf2d& a, const GTransf2d& b) {
  // The translation is mapped without the checks of the public vector product: it is no direction.
  const GVector2d t = a.m_translation;
  const auto& m = b.m_matrix.m;
  const GVector2d mapped(t.x * m[0][0] + t.y * m[1][0], t.x * m[0][1] + t.y * m[1][1]);
  GTransf2d r(a.m_matrix * b.m_matrix, b.m_scaling * mapped + b.m_translation, a.m_scaling * b.m_scaling, 0, 0, 0);
  CombineFlags(a, b, r);
  return r;
}

GTransf2d& GTransf2d::operator*=(const GTransf2d& b) { return *this = *this * b; }

GTransf2d GTransf2d::Scale(double s) { return {GMatrix2d::Identity(), {}, s, 1, 0, 0}; }

GTransf2d GTransf2d::Scale(double s, const GPosition2d& fixed) {
  return {GMatrix2d::Identity(), (1.0 - s) * GVector2d(fixed.x, fixed.y), s, 1, 0, 0};
}

GTransf2d GTransf2d::Rotation(double cos, double sin) {
  GMatrix2d r;
  GMatrix2d::Rotation(cos, sin, r);
  return {r, {}, 1.0, 1, 0, 0};
}

GTransf2d GTransf2d::Rotation(double angle) { return Rotation(std::cos(angle), std::sin(angle)); }

GTransf2d GTransf2d::Rotation(double cos, double sin, const GPosition2d& p) {
  GTransf2d t = Rotation(cos, sin);
  t.m_translation = FixedPointShift(p, t.m_matrix);
  return t;
}

GTransf2d GTransf2d::Rotation(double angle, const GPosition2d& p) {
  return Rotation(std::cos(angle), std::sin(angle), p);
}

GTransf2d GTransf2d::Reflection(const GUnitVector2d& direction, const GPosition2d& p) {
  GMatrix2d r;
  GMatrix2d::Reflection(direction, r);
  return {r, FixedPointShift(p, r), 1.0, 0, 1, 0};
}

GTransf2d GTransf2d::Translation(const GVector2d& v) { return {GMatrix2d::Identity(), v, 1.0, 1, 0, 0}; }

GTransf2d GTransf2d::FromFrame(const GPosition2d& origin, const GUnitVector2d& xAxis, const GVector2d& yDirection) {
  const GVector2d u = xAxis;
  const GUnitVector2d y(yDirection - GVector2d::Dot(yDirection, u) * u);
  const bool rotation = u.x * y.y - u.y * y.x > 0.0;
  return {GMatrix2d(xAxis, y, 0),
          origin - GPosition2d(),
          1.0,
          static_cast<unsigned char>(rotation),
          static_cast<unsigned char>(!rotation),
          0};
}

double GTransf2d::GetRotationAngle(int* rc) const {
  constexpr double kSmall = 1e-12;
  *rc = 0;
  if (!m_hasRotation) {
    Log("transformation has no rotation");
    *rc = 2;
    return 0.0;
  }
  const double c = m_matrix.m[0][0], s = m_matrix.m[0][1];
  if (std::fabs(c) < kSmall && std::fabs(s) < kSmall) {
    Log("both angle values are 0.0");
    *rc = 2;
    return 0.0;
  }
  if (std::fabs(c) < kSmall) return s <= 0.0 ? 4.71238898038469 : 1.5707963267948966;
  if (std::fabs(s) < kSmall) return c < 0.0 ? 3.141592653589793 : 0.0;
  const double a = std::atan(s / c);
  if (a < 0.0) return s > 0.0 ? a + kPi : a + 6.283185307179586;
  if (a > 0.0) return s < 0.0 ? a + kPi : a;
  return a;
}

int GTransf2d::FromMatrix4x4(const G4x4& g, GTransf2d& out) {
  const double* m = g.m_matrix;
  if (m[15] != 1.0) return 2;
  for (int k : {2, 3, 6, 7, 8, 9, 11, 14})
    if (m[k] != 0.0) return 2;
  const double block[4] = {m[0], m[1], m[4], m[5]};
  int uniform = 0, rc = 0;
  double s = 0.0;
  IsUniformScale(block, 2, &uniform, &s, &rc);
  if (rc != 0 || !uniform) return 2;
  GMatrix2d b;
  GMatrix2d::OrthonormalizeStep({block[0] / s, block[1] / s, block[2] / s, block[3] / s}, b, &rc);
  const double det = b.Determinant();
  if (!(std::fabs(std::fabs(det) - 1.0) <= GetRelativeTolerance())) return 2;
  out = {b, {m[12], m[13]}, s, static_cast<unsigned char>(det >= 0.0), static_cast<unsigned char>(det < 0.0), 0};
  return 0;
}

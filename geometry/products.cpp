#include <cmath>

#include "geometry/geometry.h"

namespace {

void Log(const char* message) { GeomLogMessage(nullptr, message, 1); }

// Built through the value's own constructor, so a unit vector comes out renormalised (or null, with its
// message).
template <typename V>
V RowForm(const V& v, const GMatrix& a) {
  const auto& m = a.m;
  return V(v.x * m[0][0] + v.y * m[1][0] + v.z * m[2][0], v.x * m[0][1] + v.y * m[1][1] + v.z * m[2][1],
           v.x * m[0][2] + v.y * m[1][2] + v.z * m[2][2]);
}

template <typename V>
V ColumnForm(const GMatrix& a, const V& v) {
  const auto& m = a.m;
  return V(m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z, m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
           m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z);
}

template <typename V>
V RowForm(const V& v, const GMatrix2d& a) {
  const auto& m = a.m;
  return V(v.x * m[0][0] + v.y * m[1][0], v.x * m[0][1] + v.y * m[1][1]);
}

template <typename V>
V ColumnForm(const GMatrix2d& a, const V& v) {
  const auto& m = a.m;
  return V(m[0][0] * v.x + m[0][1] * v.y, m[1][0] * v.x + m[1][1] * v.y);
}

// Every kind of value takes its part of the inverse as it would of the transform; a unit vector's shear test
// thus looks at the inverse, which keeps the flags.
template <typename V, typename T>
V TimesInverse(const V& v, const T& t) {
  T inverse;
  return v * t.Inverse(inverse);
}

template <typename V>
V Checked2d(const V& v) {
  CheckVector2d(&v);
  return v;
}

// A G4x4 applied to (x, y, z, translate): with the matrix on the left the input is a row vector times the
// matrix, with the matrix on the right the matrix times a column vector. The weight always takes m[15], for
// vectors too; a weight below 2^-52 is logged and replaced by a factor of 1e30.
struct Homogeneous {
  double c[3];
};

Homogeneous Map4x4(const G4x4& g, bool matrixLeft, double x, double y, double z, double translate,
                   const char* divideMessage) {
  const double* m = g.m_matrix;
  const double in[3] = {x, y, z};
  // Element (input i, output j) of the map: m[4i + j] on the left, m[4j + i] on the right.
  const auto at = [&](int i, int j) { return matrixLeft ? m[4 * i + j] : m[4 * j + i]; };
  double w = m[15];
  for (int i = 0; i < 3; ++i) w += in[i] * at(i, 3);
  double f;
  if (std::fabs(w) >= kGeomDivideGuard) {
    f = 1.0 / w;
  } else {
    Log(divideMessage);
    f = kGeomInfinity;
  }
  Homogeneous out;
  for (int j = 0; j < 3; ++j) {
    double s = translate * at(3, j);
    for (int i = 0; i < 3; ++i) s += in[i] * at(i, j);
    out.c[j] = s * f;
  }
  return out;
}

constexpr char kPositionDivide[] = "GPosition: in multiplying G4x4, trying to divide by 0.0";
constexpr char kVectorDivide[] = "GVector: multiplying by G4x4, trying to divide by 0.0";
constexpr char kPosition2dDivide[] = "GPosition2d: in multiplying G4x4, trying to divide by 0.0";

GVector Map4x4Vector(const G4x4& g, bool matrixLeft, const GVector& v) {
  const Homogeneous h = Map4x4(g, matrixLeft, v.x, v.y, v.z, 0.0, kVectorDivide);
  return {h.c[0], h.c[1], h.c[2]};
}

GPosition Map4x4Position(const G4x4& g, bool matrixLeft, const GPosition& p) {
  const Homogeneous h = Map4x4(g, matrixLeft, p.x, p.y, p.z, 1.0, kPositionDivide);
  return {h.c[0], h.c[1], h.c[2]};
}

GPosition2d Map4x4Position2d(const G4x4& g, bool matrixLeft, const GPosition2d& p) {
  const Homogeneous h = Map4x4(g, matrixLeft, p.x, p.y, 0.0, 1.0, kPosition2dDivide);
  return {h.c[0], h.c[1]};
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// With 3x3 and 2x2 matrices

GPosition operator*(const GPosition& p, const GMatrix& m) { return RowForm(p, m); }
GPosition operator*(const GMatrix& m, const GPosition& p) { return ColumnForm(m, p); }
GVector operator*(const GVector& v, const GMatrix& m) { return RowForm(v, m); }
GVector operator*(const GMatrix& m, const GVector& v) { return ColumnForm(m, v); }
GUnitVector operator*(const GUnitVector& u, const GMatrix& m) { return RowForm(u, m); }
GUnitVector operator*(const GMatrix& m, const GUnitVector& u) { return ColumnForm(m, u); }
GPosition& GPosition::operator*=(const GMatrix& m) { return *this = *this * m; }
GVector& GVector::operator*=(const GMatrix& m) { return *this = *this * m; }
GUnitVector& GUnitVector::operator*=(const GMatrix& m) { return *this = *this * m; }

GVector2d operator*(const GVector2d& v, const GMatrix2d& m) { return Checked2d(RowForm(v, m)); }
GVector2d operator*(const GMatrix2d& m, const GVector2d& v) { return Checked2d(ColumnForm(m, v)); }
GUnitVector2d operator*(const GUnitVector2d& u, const GMatrix2d& m) {
  const GVector2d v = GVector2d(u) * m;
  return GUnitVector2d(v.x, v.y);
}
GUnitVector2d operator*(const GMatrix2d& m, const GUnitVector2d& u) {
  const GVector2d v = m * GVector2d(u);
  return GUnitVector2d(v.x, v.y);
}
GPosition2d operator*(const GPosition2d& p, const GMatrix2d& m) { return RowForm(p, m); }
GPosition2d operator*(const GMatrix2d& m, const GPosition2d& p) { return ColumnForm(m, p); }
GVector2d& GVector2d::operator*=(const GMatrix2d& m) { return *this = *this * m; }
GUnitVector2d& GUnitVector2d::operator*=(const GMatrix2d& m) { return *this = *this * m; }
GPosition2d& GPosition2d::operator*=(const GMatrix2d& m) { return *this = *this * m; }

// ---------------------------------------------------------------------------------------------------------
// With transforms

GPosition operator*(const GPosition& p, const GTransf& t) {
  const GPosition q = p * t.m_matrix;
  return GPosition() + t.m_scaling * (q - GPosition()) + t.m_translation;
}

GVector operator*(const GVector& v, const GTransf& t) { return t.m_scaling * (v * t.m_matrix); }

GUnitVector operator*(const GUnitVector& u, const GTransf& t) {
  if (t.m_hasShear) Log("GUnitVector: multiplying by trans, trans has Shear");
  return u * t.m_matrix;
}

GPosition& GPosition::operator*=(const GTransf& t) { return *this = *this * t; }
GVector& GVector::operator*=(const GTransf& t) { return *this = *this * t; }
GUnitVector& GUnitVector::operator*=(const GTransf& t) { return *this = *this * t; }

// The transform's own parts are no directions: they are mapped without the checks of the vector products.
GPosition2d operator*(const GPosition2d& p, const GTransf2d& t) {
  const GPosition2d q = p * t.m_matrix;
  return GPosition2d() + t.m_scaling * (q - GPosition2d()) + t.m_translation;
}

GVector2d operator*(const GVector2d& v, const GTransf2d& t) { return t.m_scaling * RowForm(v, t.m_matrix); }

GUnitVector2d operator*(const GUnitVector2d& u, const GTransf2d& t) {
  if (t.m_hasShear) Log("GUnitVector2d: transformation has Shear");
  return u * t.m_matrix;
}

GPosition2d& GPosition2d::operator*=(const GTransf2d& t) { return *this = *this * t; }
GVector2d& GVector2d::operator*=(const GTransf2d& t) { return *this = *this * t; }
GUnitVector2d& GUnitVector2d::operator*=(const GTransf2d& t) { return *this = *this * t; }

GPosition operator/(const GPosition& p, const GTransf& t) { return TimesInverse(p, t); }
GVector operator/(const GVector& v, const GTransf& t) { return TimesInverse(v, t); }
GUnitVector operator/(const GUnitVector& u, const GTransf& t) { return TimesInverse(u, t); }
GPosition2d operator/(const GPosition2d& p, const GTransf2d& t) { return TimesInverse(p, t); }
GVector2d operator/(const GVector2d& v, const GTransf2d& t) { return TimesInverse(v, t); }

GUnitVector2d operator/(const GUnitVector2d& u, const GTransf2d& t) {
  if (t.m_hasShear) Log("GUnitVector2d: transformation has Shear");
  GMatrix2d transposed;
  return u * t.m_matrix.Transpose(transposed);
}

// ---------------------------------------------------------------------------------------------------------
// With 4x4 matrices

GPosition operator*(const G4x4& m, const GPosition& p) { return Map4x4Position(m, true, p); }
GPosition operator*(const GPosition& p, const G4x4& m) { return Map4x4Position(m, false, p); }
GVector operator*(const G4x4& m, const GVector& v) { return Map4x4Vector(m, true, v); }
GVector operator*(const GVector& v, const G4x4& m) { return Map4x4Vector(m, false, v); }
GUnitVector operator*(const G4x4& m, const GUnitVector& u) { return GUnitVector(Map4x4Vector(m, true, u)); }
GUnitVector operator*(const GUnitVector& u, const G4x4& m) { return GUnitVector(Map4x4Vector(m, false, u)); }
GPosition2d operator*(const G4x4& m, const GPosition2d& p) { return Map4x4Position2d(m, true, p); }
GPosition2d operator*(const GPosition2d& p, const G4x4& m) { return Map4x4Position2d(m, false, p); }

GPosition& GPosition::operator*=(const G4x4& m) { return *this = m * *this; }
GVector& GVector::operator*=(const G4x4& m) { return *this = m * *this; }
GUnitVector& GUnitVector::operator*=(const G4x4& m) { return *this = m * *this; }
GPosition2d& GPosition2d::operator*=(const G4x4& m) { return *this = m * *this; }

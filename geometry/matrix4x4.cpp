#include <cmath>
#include <utility>

#include "geometry/geometry.h"

namespace {

void Log(const char* message) { GeomLogMessage(nullptr, message, 1); }

double LinearDeterminant(const double* m) {
  return m[0] * (m[5] * m[10] - m[6] * m[9]) - m[1] * (m[4] * m[10] - m[6] * m[8]) + m[2] * (m[4] * m[9] - m[5] * m[8]);
}

// The refusals of the rotation builders; nothing is written then.
bool CosSinAccepted(double cos, double sin, int* rc) {
  if (std::fabs(cos * cos + sin * sin - 1.0) <= GetRelativeTolerance()) return true;
  Log("u4x4: rotation cosine and sine invalid\n");
  *rc = 2;
  return false;
}

}  // namespace

G4x4::G4x4(const GTransf& t) {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) m_matrix[4 * r + c] = t.m_scaling * t.m_matrix.m[r][c];
  m_matrix[12] = t.m_translation.x;
  m_matrix[13] = t.m_translation.y;
  m_matrix[14] = t.m_translation.z;
  m_matrix[15] = 1.0;
}

G4x4 operator*(const G4x4& a, const G4x4& b) {
  G4x4 r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      double s = 0.0;
      for (int k = 0; k < 4; ++k) s += b.m_matrix[4 * i + k] * a.m_matrix[4 * k + j];
      r.m_matrix[4 * i + j] = s;
    }
  }
  return r;
}

G4x4 operator*(const G4x4& a, const GTransf& t) { return a * G4x4(t); }
G4x4 operator*(const GTransf& t, const G4x4& b) { return G4x4(t) * b; }
G4x4& G4x4::operator*=(const G4x4& b) { return *this = *this * b; }
G4x4& G4x4::operator*=(const GTransf& t) { return *this = *this * G4x4(t); }

bool G4x4::IsEqual(const G4x4& b) const {
  const double r = GetRelativeTolerance();
  for (int k = 0; k < 15; ++k)
    if (!(std::fabs(m_matrix[k] / m_matrix[15] - b.m_matrix[k] / b.m_matrix[15]) <= r)) return false;
  return true;
}

bool G4x4::IsInvertible() const {
  const double r = GetRelativeTolerance();
  return std::fabs(LinearDeterminant(m_matrix) * m_matrix[15]) > r * r * r;
}

bool G4x4::IsNonSingular() const { return IsInvertible(); }

// Judged on the determinant over the cube of the first row's length, so that the scale does not matter.
bool G4x4::HasRotation() const {
  const double length = std::sqrt(m_matrix[0] * m_matrix[0] + m_matrix[1] * m_matrix[1] + m_matrix[2] * m_matrix[2]);
  if (length < GetRelativeTolerance()) return false;
  return LinearDeterminant(m_matrix) / (length * length * length) >= 0.0;
}

bool G4x4::HasReflection() const {
  const double length = std::sqrt(m_matrix[0] * m_matrix[0] + m_matrix[1] * m_matrix[1] + m_matrix[2] * m_matrix[2]);
  if (length < GetRelativeTolerance()) return false;
  return LinearDeterminant(m_matrix) / (length * length * length) <= 0.0;
}

G4x4& G4x4::Inverse(G4x4& out) const {
  constexpr double kSingular = 1e-20;
  double a[4][8];
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      a[i][j] = m_matrix[4 * i + j];
      a[i][4 + j] = i == j ? 1.0 : 0.0;
    }
  }
  int pivotColumn[4];
  for (int j = 0; j < 4; ++j) {
    // Columns already used hold zeros below their pivot row, so the search may run over all four.
    int pr = j, pc = 0;
    double largest = -1.0;
    for (int r = j; r < 4; ++r) {
      for (int c = 0; c < 4; ++c) {
        if (std::fabs(a[r][c]) > largest) {
          largest = std::fabs(a[r][c]);
          pr = r;
          pc = c;
        }
      }
    }
    const double pivot = a[pr][pc];
    if (!(std::fabs(pivot) >= kSingular)) Log("Can't find inverse since the g4x4 is singular");
    pivotColumn[j] = pc;
    for (int c = 0; c < 8; ++c) std::swap(a[pr][c], a[j][c]);
    for (int c = 0; c < 8; ++c) a[j][c] /= pivot;
    for (int i = 0; i < 4; ++i) {
      if (i == j) continue;
      const double f = a[i][pc];
      for (int c = 0; c < 8; ++c) a[i][c] -= f * a[j][c];
    }
  }
  // The left half is now a permutation: the row that pivoted on column c holds row c of the inverse.
  for (int j = 0; j < 4; ++j)
    for (int c = 0; c < 4; ++c) out.m_matrix[4 * pivotColumn[j] + c] = a[j][4 + c];
  return out;
}

// ---------------------------------------------------------------------------------------------------------
// Builders: all but the scale builders go through the transform of the same name, so that a 4x4 matrix and
// its transform agree bit for bit.

void u4x4RotateCosSin(double cos, double sin, const GUnitVector& axis, G4x4& out, int* rc) {
  *rc = 0;
  CheckUnitVector(&axis);
  if (!CosSinAccepted(cos, sin, rc)) return;
  GTransf t;
  out = G4x4(GTransf::Rotation(cos, sin, axis, t));
}

void u4x4RotateAngle(double angle, const GUnitVector& axis, G4x4& out, int* rc) {
  *rc = 0;
  CheckUnitVector(&axis);
  GTransf t;
  out = G4x4(GTransf::Rotation(angle, axis, t));
}

void u4x4RotateCosSinAtPoint(double cos, double sin, const GUnitVector& axis, const GPosition& p, G4x4& out, int* rc) {
  *rc = 0;
  CheckUnitVector(&axis);
  if (!CosSinAccepted(cos, sin, rc)) return;
  GTransf t;
  out = G4x4(GTransf::Rotation(cos, sin, axis, p, t));
}

void u4x4RotateAngleAtPoint(double angle, const GUnitVector& axis, const GPosition& p, G4x4& out, int* rc) {
  u4x4RotateCosSinAtPoint(std::cos(angle), std::sin(angle), axis, p, out, rc);
}

void u4x4Mirror(const GUnitVector& n, G4x4& out, int* rc) {
  *rc = 0;
  CheckUnitVector(&n);
  GTransf t;
  out = G4x4(GTransf::Reflection(n, t));
}

void u4x4MirrorAtPoint(const GUnitVector& n, const GPosition& p, G4x4& out, int* rc) {
  *rc = 0;
  CheckUnitVector(&n);
  GTransf t;
  out = G4x4(GTransf::Reflection(n, p, t));
}

void u4x4Translate(const GVector& v, G4x4& out, int* rc) {
  *rc = 0;
  out = G4x4(GTransf(GMatrix::Identity(), v, 1.0, 0, 0, 0));
}

void u4x4Axes(const GPosition& origin, const GUnitVector& x, const GUnitVector& v, G4x4& out, int* rc) {
  *rc = 0;
  if (x.IsParallel(v)) {
    Log("u4x4: new axis vectors are collinear\n");
    *rc = 2;
    return;
  }
  GTransf t;
  out = G4x4(GTransf::FromFrame(origin, x, v, t));
}

void u4x4ScaleUniform(double s, G4x4& out, int* rc) { u4x4Scale(s, s, s, out, rc); }

void u4x4ScaleUniformAtPoint(double s, const GPosition& p, G4x4& out, int* rc) {
  u4x4ScaleAtPoint(s, s, s, p, out, rc);
}

void u4x4Scale(double sx, double sy, double sz, G4x4& out, int* rc) {
  *rc = 0;
  out = G4x4();
  out.m_matrix[0] = sx;
  out.m_matrix[5] = sy;
  out.m_matrix[10] = sz;
  out.m_matrix[15] = 1.0;
}

void u4x4ScaleAtPoint(double sx, double sy, double sz, const GPosition& p, G4x4& out, int* rc) {
  u4x4Scale(sx, sy, sz, out, rc);
  out.m_matrix[12] = p.x * (1.0 - sx);
  out.m_matrix[13] = p.y * (1.0 - sy);
  out.m_matrix[14] = p.z * (1.0 - sz);
}

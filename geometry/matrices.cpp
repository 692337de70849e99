#include <cmath>

#include "geometry/geometry.h"

namespace {

void Log(const char* message) { GeomLogMessage(nullptr, message, 1); }

// The 3x3 and 2x2 matrices share their arithmetic; each result is formed in a local first, so that an output
// may be one of the operands.
template <int N>
using Square = double[N][N];

template <int N>
void Copy(const Square<N>& a, Square<N>& out) {
  for (int i = 0; i < N; ++i)
    for (int j = 0; j < N; ++j) out[i][j] = a[i][j];
}

template <int N>
void Multiply(const Square<N>& a, const Square<N>& b, Square<N>& out) {
  Square<N> r;
  for (int i = 0; i < N; ++i) {
    for (int j = 0; j < N; ++j) {
      double s = 0.0;
      for (int k = 0; k < N; ++k) s += a[i][k] * b[k][j];
      r[i][j] = s;
    }
  }
  Copy<N>(r, out);
}

template <int N>
void TransposeOf(const Square<N>& a, Square<N>& out) {
  Square<N> r;
  for (int i = 0; i < N; ++i)
    for (int j = 0; j < N; ++j) r[i][j] = a[j][i];
  Copy<N>(r, out);
}

template <int N>
bool ElementsEqual(const Square<N>& a, const Square<N>& b, double tol) {
  for (int i = 0; i < N; ++i)
    for (int j = 0; j < N; ++j)
      if (!(std::fabs(a[i][j] - b[i][j]) <= tol)) return false;
  return true;
}

template <int N>
bool CloseToIdentity(const Square<N>& a, double tol) {
  for (int i = 0; i < N; ++i)
    for (int j = 0; j < N; ++j)
      if (!(std::fabs(a[i][j] - (i == j ? 1.0 : 0.0)) <= tol)) return false;
  return true;
}

template <int N>
bool IsOrthogonalMatrix(const Square<N>& a) {
  int uniform = 0, rc = 0;
  double scale = 0.0;
  IsUniformScale(&a[0][0], N, &uniform, &scale, &rc);
  return uniform && std::fabs(scale - 1.0) <= GetRelativeTolerance();
}

// Newton's step for the orthogonal polar factor: M (3I - P) / 2 with P = M^T M, skipped when P is already the
// identity to within a few units in the last place.
template <int N>
void OrthonormalizeStepOf(const Square<N>& m, Square<N>& out) {
  constexpr double kClose = 1e-14;
  Square<N> mt, p;
  TransposeOf<N>(m, mt);
  Multiply<N>(mt, m, p);
  if (CloseToIdentity<N>(p, kClose)) {
    Copy<N>(m, out);
    return;
  }
  Square<N> n;
  for (int i = 0; i < N; ++i) {
    n[i][i] = (1.0 - p[i][i]) * 0.5;
    for (int j = 0; j < i; ++j) n[i][j] = n[j][i] = p[i][j] * -0.5;
  }
  Square<N> r;
  Multiply<N>(m, n, r);
  for (int i = 0; i < N; ++i)
    for (int j = 0; j < N; ++j) out[i][j] = r[i][j] + m[i][j];
}

template <int N, typename Vec>
void LayVectors(const Vec (&v)[N], int columns, Square<N>& out) {
  for (int i = 0; i < N; ++i)
    for (int j = 0; j < N; ++j) (columns ? out[j][i] : out[i][j]) = v[i][j];
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// GMatrix

GMatrix::GMatrix(const GUnitVector& a, const GUnitVector& b, const GUnitVector& c, int columns) {
  const GVector rows[3] = {a, b, c};
  LayVectors<3>(rows, columns, m);
}

GMatrix::GMatrix(const GVector& a, const GVector& b, const GVector& c, int columns) {
  const GVector rows[3] = {a, b, c};
  LayVectors<3>(rows, columns, m);
}

GVector GMatrix::operator[](int i) const {
  if (i < 0 || i > 2) {
    Log("GMatrix: index out of range");
    i = 2;
  }
  return {m[i][0], m[i][1], m[i][2]};
}

bool GMatrix::IsEqual(const GMatrix& b) const { return ElementsEqual<3>(m, b.m, GetRelativeTolerance()); }
bool GMatrix::IsZero() const { return IsEqual(GMatrix()); }
bool GMatrix::IsIdentity() const { return IsEqual(Identity()); }

double GMatrix::Determinant() const {
  return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
         m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
}

GMatrix& GMatrix::Transpose(GMatrix& out) const {
  TransposeOf<3>(m, out.m);
  return out;
}

GMatrix operator*(const GMatrix& a, const GMatrix& b) {
  GMatrix r;
  Multiply<3>(a.m, b.m, r.m);
  return r;
}

GMatrix& GMatrix::operator*=(const GMatrix& b) {
  Multiply<3>(m, b.m, m);
  return *this;
}

bool GMatrix::IsOrthogonal() const { return IsOrthogonalMatrix<3>(m); }

void GMatrix::Rotation(double cosine, double sine, const GUnitVector& axis, GMatrix& out) {
  if (std::fabs(cosine) > 1.0 || std::fabs(sine) > 1.0) Log("GMatrix: abs(cosine or sine of angle) > 1.0");
  const double c = cosine, s = sine, k = 1.0 - c;
  const double ax = axis.x, ay = axis.y, az = axis.z;
  out = GMatrix(k * ax * ax + c, k * ax * ay + s * az, k * ax * az - s * ay,  //
                k * ax * ay - s * az, k * ay * ay + c, k * ay * az + s * ax,  //
                k * ax * az + s * ay, k * ay * az - s * ax, k * az * az + c);
}

void GMatrix::Rotation(double angle, const GUnitVector& axis, GMatrix& out) {
  Rotation(std::cos(angle), std::sin(angle), axis, out);
}

void GMatrix::Reflection(const GUnitVector& n, GMatrix& out) {
  const double v[3] = {n.x, n.y, n.z};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) out.m[i][j] = (i == j ? 1.0 : 0.0) - 2.0 * v[i] * v[j];
}

void GMatrix::OrthonormalizeStep(const GMatrix& m, GMatrix& out, int* rc) {
  if (rc) *rc = 0;
  OrthonormalizeStepOf<3>(m.m, out.m);
}

void GMatrix::Orthonormalize(const GMatrix& m, GMatrix& out, int* rc) {
  constexpr double kSettled = 1e-14;
  constexpr int kMaxSteps = 6;
  if (rc) *rc = 0;
  GMatrix q = m;
  for (int step = 0; step < kMaxSteps; ++step) {
    GMatrix r;
    OrthonormalizeStepOf<3>(q.m, r.m);
    if (ElementsEqual<3>(r.m, q.m, kSettled)) {
      out = r;
      return;
    }
    q = r;
  }
  out = m;
  if (rc) *rc = 2;
}

void GMatrix::OrthogonalityDeviation(const GMatrix& m, double* diagonal, double* offDiagonal) {
  GMatrix mt;
  const GMatrix p = m * m.Transpose(mt);
  double diag = 0.0, off = 0.0;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      if (i == j)
        diag = std::fmax(diag, std::fabs(p.m[i][i] - 1.0));
      else
        off = std::fmax(off, std::fabs(p.m[i][j]));
    }
  }
  if (diagonal) *diagonal = diag;
  if (offDiagonal) *offDiagonal = off;
}

// ---------------------------------------------------------------------------------------------------------
// GMatrix2d

GMatrix2d::GMatrix2d(const GUnitVector2d& a, const GUnitVector2d& b, int columns) {
  const GVector2d rows[2] = {a, b};
  LayVectors<2>(rows, columns, m);
}

GMatrix2d::GMatrix2d(const GVector2d& a, const GVector2d& b, int columns) {
  const GVector2d rows[2] = {a, b};
  LayVectors<2>(rows, columns, m);
}

GVector2d GMatrix2d::operator[](int i) const {
  if (i < 0 || i > 1) {
    Log("GMatrix2d: index out of range");
    i = 1;
  }
  return {m[i][0], m[i][1]};
}

bool GMatrix2d::IsEqual(const GMatrix2d& b) const { return ElementsEqual<2>(m, b.m, GetRelativeTolerance()); }
bool GMatrix2d::IsZero() const { return IsEqual(GMatrix2d()); }
bool GMatrix2d::IsIdentity() const { return IsEqual(Identity()); }

double GMatrix2d::Determinant() const { return m[0][0] * m[1][1] - m[1][0] * m[0][1]; }

GMatrix2d& GMatrix2d::Transpose(GMatrix2d& out) const {
  TransposeOf<2>(m, out.m);
  return out;
}

GMatrix2d operator*(const GMatrix2d& a, const GMatrix2d& b) {
  GMatrix2d r;
  Multiply<2>(a.m, b.m, r.m);
  return r;
}

GMatrix2d& GMatrix2d::operator*=(const GMatrix2d& b) {
  Multiply<2>(m, b.m, m);
  return *this;
}

bool GMatrix2d::IsOrthogonal() const { return IsOrthogonalMatrix<2>(m); }

// Each row goes through the unit-vector constructor, so a cosine and sine that do not quite make a unit
// vector are normalised, and (0, 0) gives zero rows after its message.
void GMatrix2d::Rotation(double cosine, double sine, GMatrix2d& out) {
  if (std::fabs(cosine) > 1.0 || std::fabs(sine) > 1.0) Log("GMatrix2d: abs(cosine or sine of angle) > 1.0");
  out = GMatrix2d(GUnitVector2d(cosine, sine), GUnitVector2d(-sine, cosine), 0);
}

void GMatrix2d::Rotation(double angle, GMatrix2d& out) { Rotation(std::cos(angle), std::sin(angle), out); }

void GMatrix2d::Reflection(const GUnitVector2d& direction, GMatrix2d& out) {
  const GUnitVector2d n(-direction.y, direction.x);
  out = GMatrix2d(1.0 - 2.0 * n.x * n.x, -2.0 * n.x * n.y, -2.0 * n.x * n.y, 1.0 - 2.0 * n.y * n.y);
}

void GMatrix2d::OrthonormalizeStep(const GMatrix2d& m, GMatrix2d& out, int* rc) {
  if (rc) *rc = 0;
  OrthonormalizeStepOf<2>(m.m, out.m);
}

#include <cfloat>
#include <cmath>
#include <limits>
#include <vector>

#include "tests/geometry/geometry_test_support.h"

namespace {

// Largest |A v_i - d_i v_i| and |V V^T - I| over the answer, for any size.
void ExpectEigenPairs(int n, const std::vector<double>& a, const std::vector<double>& d,
                      const std::vector<double>& v, double tol) {
  for (int i = 0; i < n; ++i) {
    for (int r = 0; r < n; ++r) {
      double av = 0;
      for (int c = 0; c < n; ++c) av += a[r * n + c] * v[i * n + c];
      EXPECT_NEAR(av, d[i] * v[i * n + r], tol) << "pair " << i << " row " << r;
    }
    for (int j = 0; j < n; ++j) {
      double dot = 0;
      for (int c = 0; c < n; ++c) dot += v[i * n + c] * v[j * n + c];
      EXPECT_NEAR(dot, i == j ? 1.0 : 0.0, tol) << "rows " << i << ", " << j;
    }
  }
  for (int i = 0; i + 1 < n; ++i) EXPECT_GE(d[i], d[i + 1]);
}

TEST(SymmetricEigen, DiagonalMatrixIsOnlySorted) {
  const double a[9] = {1, 0, 0, 0, 3, 0, 0, 0, 2};
  double d[3], v[9];
  int rc = -1;
  SymmetricEigen(3, 3, a, 2, d, v, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(d[0], 3.0);
  EXPECT_EQ(d[1], 2.0);
  EXPECT_EQ(d[2], 1.0);
  const double expected[9] = {0, 1, 0, 0, 0, 1, 1, 0, 0};
  for (int k = 0; k < 9; ++k) EXPECT_EQ(v[k], expected[k]) << k;
}

TEST(SymmetricEigen, EqualValuesSortTheLaterFirst) {
  const double a[4] = {2, 0, 0, 2};
  double d[2], v[4];
  int rc = -1;
  SymmetricEigen(2, 2, a, 2, d, v, &rc);
  EXPECT_EQ(d[0], 2.0);
  EXPECT_EQ(d[1], 2.0);
  EXPECT_EQ(v[0], 0.0);
  EXPECT_EQ(v[1], 1.0);
  EXPECT_EQ(v[2], 1.0);
  EXPECT_EQ(v[3], 0.0);
}

TEST(SymmetricEigen, OneRotationSolvesATwoByTwo) {
  const double a[4] = {2, 1, 1, 2};
  double d[2], v[4];
  int rc = -1;
  SymmetricEigen(2, 2, a, 2, d, v, &rc);
  EXPECT_DOUBLE_EQ(d[0], 3.0);
  EXPECT_DOUBLE_EQ(d[1], 1.0);
  const double h = std::sqrt(0.5);
  EXPECT_DOUBLE_EQ(v[0], h);
  EXPECT_DOUBLE_EQ(v[1], h);
  EXPECT_DOUBLE_EQ(v[2], h);
  EXPECT_DOUBLE_EQ(v[3], -h);
}

TEST(SymmetricEigen, ReadsOnlyTheUpperTriangleOfAStridedMatrix) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // Three rows of four doubles; the fourth column and the lower triangle are not part of the matrix.
  const double a[12] = {4, 1, -2, nan, nan, 2, 0, nan, nan, nan, 3, nan};
  const std::vector<double> full = {4, 1, -2, 1, 2, 0, -2, 0, 3};
  std::vector<double> d(3), v(9);
  int rc = -1;
  SymmetricEigen(3, 4, a, 2, d.data(), v.data(), &rc);
  EXPECT_EQ(rc, 0);
  ExpectEigenPairs(3, full, d, v, 1e-14);
  EXPECT_NEAR(d[0] + d[1] + d[2], 9.0, 1e-14);
}

TEST(SymmetricEigen, LeavesTheVectorsAloneUnlessAskedFor) {
  const double a[4] = {1, 5, 5, 1};
  double d[2], v[4] = {7, 7, 7, 7};
  int rc = -1;
  SymmetricEigen(2, 2, a, 0, d, v, &rc);
  EXPECT_DOUBLE_EQ(d[0], 6.0);
  EXPECT_DOUBLE_EQ(d[1], -4.0);
  for (double e : v) EXPECT_EQ(e, 7.0);
}

TEST(SymmetricEigen, LargerMatricesUseTheHeapAndStillAnswer) {
  for (int n : {8, 9, 12}) {
    std::vector<double> a(n * n);
    for (int i = 0; i < n; ++i)
      for (int j = 0; j <= i; ++j) a[i * n + j] = a[j * n + i] = std::sin(1.0 + i * 7 + j * 3) + (i == j ? i : 0);
    std::vector<double> d(n), v(n * n);
    int rc = -1;
    SymmetricEigen(n, n, a.data(), 2, d.data(), v.data(), &rc);
    EXPECT_EQ(rc, 0) << n;
    ExpectEigenPairs(n, a, d, v, 1e-12);
  }
}

// Uniform and non-uniform scales are compared with the singular values by the oracle; the matrices that have
// no scale are not.
TEST(UniformScale, SingularOrUndefinedMatricesHaveNoScale) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double zeroRow[9] = {1, 0, 0, 0, 0, 0, 0, 0, 1};
  const double withNaN[9] = {1, 0, 0, 0, nan, 0, 0, 0, 1};
  const double zero2d[4] = {0, 0, 0, 0};
  for (const double* a : {zeroRow, withNaN}) {
    int uniform = -1, rc = -1;
    double scale = 0;
    IsUniformScale(a, 3, &uniform, &scale, &rc);
    EXPECT_EQ(uniform, 0);
    EXPECT_EQ(scale, DBL_MAX);
  }
  int uniform = -1, rc = -1;
  double scale = 0;
  IsUniformScale(zero2d, 2, &uniform, &scale, &rc);
  EXPECT_EQ(uniform, 0);
  EXPECT_EQ(scale, DBL_MAX);
  // Only 2 and 3 are sizes the test knows.
  IsUniformScale(zeroRow, 4, &uniform, &scale, &rc);
  EXPECT_EQ(uniform, 0);
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "bspline/core/test_support.h"
#include "bspline/numerics.h"
#include "tests/bspline/numerics_fixtures.h"

namespace {

// R diag(l) R^T for a rotation R built from three angles.
Mat with_eigenvalues(double l0, double l1, double l2, double a, double b, double c) {
  const double ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b), cc = std::cos(c),
               sc = std::sin(c);
  const double R[9] = {ca * cb, ca * sb * sc - sa * cc, ca * sb * cc + sa * sc, sa * cb, sa * sb * sc + ca * cc,
                       sa * sb * cc - ca * sc, -sb, cb * sc, cb * cc};
  const double l[3] = {l0, l1, l2};
  Mat m(9, 0.0);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) m[3 * i + j] += R[3 * i + k] * l[k] * R[3 * j + k];
  return m;
}

double det3(const double *r) {
  return r[0] * (r[4] * r[8] - r[5] * r[7]) - r[1] * (r[3] * r[8] - r[5] * r[6]) + r[2] * (r[3] * r[7] - r[4] * r[6]);
}

TEST(SymmetricEigen, ClosedFormValues) {
  double values[3];
  int count = 0, rc = 0;
  const double d[9] = {1, 0, 0, 0, -3, 0, 0, 0, 2};
  BSeigval3x3(d, &count, values, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(values[0], -3.0);
  EXPECT_EQ(values[1], 2.0);
  EXPECT_EQ(values[2], 1.0);

  const double zero[9] = {};
  BSeigval3x3(zero, &count, values, &rc);
  ASSERT_EQ(rc, 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(values[i], 0.0);

  const Mat m = with_eigenvalues(4.0, -7.0, 0.5, 0.3, 1.1, -0.4);
  BSeigval3x3(m.data(), &count, values, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NEAR(values[0], -7.0, 1e-12);
  EXPECT_NEAR(values[1], 4.0, 1e-12);
  EXPECT_NEAR(values[2], 0.5, 1e-12);

  // A NaN cannot be ordered.
  const double bad[9] = {NAN, 1, 0, 1, 2, 0, 0, 0, 3};
  BSeigval3x3(bad, &count, values, &rc);
  EXPECT_NE(rc, 0);
  BStraceclear();
}

TEST(SymmetricEigen, VectorsOfOneValue) {
  double vec[9];
  int count = 0, rc = 0;
  const double d[9] = {4, 0, 0, 0, 1, 0, 0, 0, 1};
  BSeigvcm3x3(d, 4.0, 1, &count, vec, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(vec[0], -1.0);
  EXPECT_EQ(vec[1], 0.0);
  EXPECT_EQ(vec[2], 0.0);
  BSeigvcm3x3(d, 1.0, 2, &count, vec, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(count, 2);
  const double want[6] = {0, -1, 0, 0, 0, -1};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(vec[i], want[i]) << i;

  // A double value asked for as a simple one leaves too small a pivot.
  BSeigvcm3x3(d, 1.0, 1, &count, vec, &rc);
  EXPECT_EQ(rc, -5);
  BSeigvcm3x3(d, 1.0, 4, &count, vec, &rc);
  EXPECT_EQ(rc, -2);
  BSeigvcm3x3(d, 1.0, 3, &count, vec, &rc);
  EXPECT_EQ(count, 3);
  BStraceclear();
}

TEST(SymmetricEigen, ClosedFormAnalysisOfStructuredMatrices) {
  double values[3], vec[9];
  int count = 0, rc = 0;
  const double id[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  BSeig3x3(id, &count, values, vec, &rc);
  ASSERT_EQ(rc, 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(values[i], 1.0);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(vec[i], id[i]);

  const double d[9] = {4, 0, 0, 0, 1, 0, 0, 0, 1};
  BSeig3x3(d, &count, values, vec, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(values[0], 4.0);
  EXPECT_EQ(values[1], 1.0);
  EXPECT_EQ(values[2], 1.0);
  const double rows[9] = {-1, 0, 0, 0, -1, 0, 0, 0, 1};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(vec[i], rows[i]) << i;

  // A repeated negative pair keeps its sign.
  const double neg[9] = {-2, 0, 0, 0, -2, 0, 0, 0, 1};
  BSeig3x3(neg, &count, values, vec, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(values[0], -2.0);
  EXPECT_EQ(values[1], -2.0);
  EXPECT_EQ(values[2], 1.0);
  EXPECT_NEAR(det3(vec), 1.0, 1e-15);

  // Tiny values are clipped: (5, 1e-9, -5e-10) becomes (5, 5e-10, 0).
  const double tiny[9] = {5, 0, 0, 0, 1e-9, 0, 0, 0, -5e-10};
  BSeig3x3(tiny, &count, values, vec, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(values[0], 5.0);
  EXPECT_NEAR(values[1], 5e-10, 1e-24);
  EXPECT_EQ(values[2], 0.0);

  // Entries beyond 1e12 are worked on scaled down and the values scaled back.
  const Mat big = with_eigenvalues(3e13, 2e13, 1e13, 0.2, 0.4, 0.6);
  BSeig3x3(big.data(), &count, values, vec, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NEAR(values[0], 3e13, 1e2);
  EXPECT_NEAR(values[1], 2e13, 1e2);
  EXPECT_NEAR(values[2], 1e13, 1e2);
  for (int k = 0; k < 3; ++k) EXPECT_LT(eigen_residual(big, 3, vec + 3 * k, values[k]), 1e1);
}

TEST(SymmetricEigen, ClosedFormOnRandomEigenvalues) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> val(-10, 10), ang(-3, 3);
  for (int t = 0; t < 300; ++t) {
    double l[3] = {val(rng), val(rng), val(rng)};
    if (t % 3 == 1) l[1] = l[0];  // a double value
    if (t % 5 == 2) l[2] = 0.0;   // a singular matrix, as the moments of coplanar points
    const Mat m = with_eigenvalues(l[0], l[1], l[2], ang(rng), ang(rng), ang(rng));
    double values[3], vec[9];
    int count = 0, rc = 0;
    BSeig3x3(m.data(), &count, values, vec, &rc);
    ASSERT_EQ(rc, 0) << t;
    EXPECT_EQ(count, 3);
    EXPECT_GE(std::fabs(values[0]), std::fabs(values[1]) - 1e-12);
    EXPECT_GE(std::fabs(values[1]), std::fabs(values[2]) - 1e-12);
    std::sort(l, l + 3, [](double a, double b) { return std::fabs(a) > std::fabs(b); });
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(values[k], l[k], 1e-9) << t;
    // Every row lies in the eigenspace of its value; the rows form a right-handed frame.
    for (int k = 0; k < 3; ++k) {
      double r[3] = {vec[3 * k], vec[3 * k + 1], vec[3 * k + 2]};
      const double len = std::sqrt(dot(r, r, 3));
      ASSERT_GT(len, 1e-6);
      for (double &x : r) x /= len;
      EXPECT_LT(eigen_residual(m, 3, r, values[k]), 1e-9) << t << " row " << k;
    }
    EXPECT_GT(det3(vec), 0.0) << t;
  }
}

TEST(SymmetricEigen, CyclicJacobi) {
  double values[3], vec[9];
  int rc = 0;
  // Diagonal: no rotation; equal entries exchange their rows in the sort.
  const double d[9] = {2, 0, 0, 0, 5, 0, 0, 0, 2};
  BSeigmatvv1(3, 3, d, 2, values, vec, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(values[0], 5.0);
  EXPECT_EQ(values[1], 2.0);
  EXPECT_EQ(values[2], 2.0);
  const double rows[9] = {0, 1, 0, 0, 0, 1, 1, 0, 0};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(vec[i], rows[i]) << i;

  std::mt19937 rng(13);
  for (int n = 1; n <= 12; ++n)
    for (int t = 0; t < 10; ++t) {
      const Mat a = random_symmetric(rng, n);
      // Only the upper triangle may be read: garbage below it must not matter.
      Mat stored = a;
      for (int i = 0; i < n; ++i)
        for (int j = 0; j < i; ++j) stored[i * n + j] = 1e300;
      std::vector<double> val(n), v(static_cast<std::size_t>(n) * n);
      const int before = BSscratchheapblocks();
      BSeigmatvv1(n, n, stored.data(), 2, val.data(), v.data(), &rc);
      ASSERT_EQ(rc, 0);
      EXPECT_EQ(BSscratchheapblocks(), before);
      for (int k = 1; k < n; ++k) EXPECT_GE(val[k - 1], val[k]);
      EXPECT_LT(orthonormality_error(v.data(), n, n), 1e-13);
      for (int k = 0; k < n; ++k) EXPECT_LT(eigen_residual(a, n, &v[k * n], val[k]), 1e-12) << n;
      // Values only: the same values.
      std::vector<double> only(n);
      BSeigmatvv1(n, n, stored.data(), 1, only.data(), nullptr, &rc);
      for (int k = 0; k < n; ++k) EXPECT_NEAR(only[k], val[k], 1e-13);
    }

  // A leading dimension wider than n; n = 9 needs more than the 80 local doubles.
  const int n = 9, lda = 11;
  const Mat a = random_symmetric(rng, n);
  Mat padded(static_cast<std::size_t>(n) * lda, 0.0);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) padded[i * lda + j] = a[i * n + j];
  std::vector<double> val(n), v(n * n);
  BSeigmatvv1(n, lda, padded.data(), 2, val.data(), v.data(), &rc);
  ASSERT_EQ(rc, 0);
  for (int k = 0; k < n; ++k) EXPECT_LT(eigen_residual(a, n, &v[k * n], val[k]), 1e-12);
}

}  // namespace

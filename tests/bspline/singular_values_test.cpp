#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "bspline/numerics.h"
#include "tests/bspline/numerics_fixtures.h"

namespace {

// Points as 3 (or 2) coordinate rows of n values.
Mat coordinate_rows(const Mat &pts, int n, int dim) {
  Mat rows(static_cast<std::size_t>(dim) * n);
  for (int i = 0; i < n; ++i)
    for (int k = 0; k < dim; ++k) rows[k * n + i] = pts[i * dim + k];
  return rows;
}

TEST(SingularValues, JacobiOnDiagonalAndDegenerateMatrices) {
  double values[3], vectors[9];
  int rc = 0;
  // The unconditional first rotation in the plane (0, 1) exchanges the axes (c = 0, s = -1).
  const double d[9] = {1, 0, 0, 0, 3, 0, 0, 0, 2};
  BSjacobmat3(d, values, vectors, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(values[0], 3.0);
  EXPECT_EQ(values[1], 2.0);
  EXPECT_EQ(values[2], 1.0);
  const double rows[9] = {0, 1, 0, 0, 0, 1, -1, 0, 0};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(vectors[i], rows[i]) << i;

  const double zero[9] = {};
  BSjacobmat3(zero, values, vectors, &rc);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(values[i], 0.0);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(vectors[i], i % 4 == 0 ? 1.0 : 0.0);

  // Equal diagonal entries: a rotation by 45 degrees.
  const double eq[9] = {1, 2, 0, 2, 1, 0, 0, 0, 0};
  BSjacobmat3(eq, values, vectors, &rc);
  EXPECT_NEAR(values[0], 3.0, 1e-15);
  EXPECT_NEAR(values[1], 0.0, 1e-15);
  EXPECT_NEAR(values[2], -1.0, 1e-15);
  EXPECT_NEAR(std::fabs(vectors[0]), std::sqrt(0.5), 1e-15);
  EXPECT_EQ(vectors[0], vectors[1]);

  BSjacobmat3(nullptr, values, vectors, &rc);
  EXPECT_EQ(rc, -2);
}

TEST(SingularValues, JacobiOnRandomSymmetricMatrices) {
  std::mt19937 rng(3);
  for (int t = 0; t < 200; ++t) {
    Mat a = random_symmetric(rng, 3);
    // Positive semi-definite ones (the Gram matrices of the callers) and indefinite ones.
    if (t % 2) {
      Mat g(9, 0.0);
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
          for (int k = 0; k < 3; ++k) g[3 * i + j] += a[3 * i + k] * a[3 * j + k];
      a = g;
    }
    double values[3], vectors[9];
    int rc = 0;
    BSjacobmat3(a.data(), values, vectors, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_GE(values[0], values[1]);
    EXPECT_GE(values[1], values[2]);
    EXPECT_LT(orthonormality_error(vectors, 3, 3), 1e-14);
    for (int k = 0; k < 3; ++k) EXPECT_LT(eigen_residual(a, 3, vectors + 3 * k, values[k]), 1e-12) << t;
  }
}

TEST(SingularValues, TwoDimensionalRotation) {
  double sv[2], v[4];
  int rc = 0;
  const double none[1] = {0.0};
  BSsngvald2v(0, none, sv, v, &rc);
  EXPECT_EQ(sv[0], 0.0);
  EXPECT_EQ(v[0], 1.0);
  EXPECT_EQ(v[3], 1.0);

  const double diag_pts[4] = {1, 2, 1, 2};  // x row, y row: (1, 1), (2, 2)
  BSsngvald2v(2, diag_pts, sv, v, &rc);
  EXPECT_NEAR(sv[0], std::sqrt(10.0), 1e-14);
  EXPECT_NEAR(sv[1], 0.0, 1e-14);
  EXPECT_NEAR(v[0], std::sqrt(0.5), 1e-15);
  EXPECT_NEAR(v[1], std::sqrt(0.5), 1e-15);

  const double cross[8] = {1, -1, 0, 0, 0, 0, 1, -1};
  BSsngvald2v(4, cross, sv, v, &rc);
  EXPECT_EQ(sv[0], std::sqrt(2.0));
  EXPECT_EQ(sv[1], std::sqrt(2.0));
  EXPECT_EQ(v[0], 1.0);
  EXPECT_EQ(v[1], 0.0);

  std::mt19937 rng(4);
  for (int t = 0; t < 100; ++t) {
    const int n = 2 + t % 9;
    const Mat pts = random_matrix(rng, 2, n);
    BSsngvald2v(n, pts.data(), sv, v, &rc);
    EXPECT_GE(sv[0], sv[1]);
    EXPECT_NEAR(v[0] * v[3] - v[1] * v[2], 1.0, 1e-14);
    // The singular values are the lengths of the projections on the rows of v, which are orthogonal.
    for (int r = 0; r < 2; ++r) {
      double s = 0.0;
      for (int k = 0; k < n; ++k) s += std::pow(v[2 * r] * pts[k] + v[2 * r + 1] * pts[n + k], 2);
      EXPECT_NEAR(std::sqrt(s), sv[r], 1e-13);
    }
    EXPECT_NEAR(v[0] * v[2] + v[1] * v[3], 0.0, 1e-15);
  }
}

TEST(SingularValues, ThreeDimensionalPointsAgreeWithTheGeneralDecomposition) {
  std::mt19937 rng(5);
  for (int t = 0; t < 100; ++t) {
    const int n = 3 + t % 20;
    const Mat pts = random_matrix(rng, n, 3, -5, 5);
    const Mat rows = coordinate_rows(pts, n, 3);
    double sv[3], v[9];
    int rc = 0;
    BSsngvald3v(n, rows.data(), sv, v, &rc);
    ASSERT_EQ(rc, 0);
    Mat u(static_cast<std::size_t>(n) * 3);
    double s[3], vg[9];
    BSsingval(3, n, pts.data(), u.data(), s, vg, &rc);
    ASSERT_EQ(rc, 0);
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(sv[k], s[k], 1e-10 * s[0]) << t;
      EXPECT_NEAR(std::fabs(dot(v + 3 * k, vg + 3 * k, 3)), 1.0, 1e-8) << t;
    }
    EXPECT_LT(orthonormality_error(v, 3, 3), 1e-13);
  }
}

TEST(SingularValues, CollinearPointsKeepTheGramValuesOffTheAxis) {
  // Points exactly on the x axis: no spread off the first axis, so no plane rotation; the remaining values are
  // the Gram eigenvalues themselves (zero here) and rows 1 and 2 the Jacobi axes.
  const double rows[12] = {1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0};
  double sv[3], v[9];
  int rc = 0;
  BSsngvald3v(4, rows, sv, v, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NEAR(sv[0], std::sqrt(30.0), 1e-14);
  EXPECT_EQ(sv[1], 0.0);
  EXPECT_EQ(sv[2], 0.0);
  EXPECT_EQ(std::fabs(v[0]), 1.0);
  EXPECT_LT(orthonormality_error(v, 3, 3), 1e-15);
  BSsngvald3v(4, nullptr, sv, v, &rc);
  EXPECT_EQ(rc, -2);
}

TEST(SingularValues, GeneralDecompositionReconstructs) {
  std::mt19937 rng(6);
  for (int m = 1; m <= 8; ++m)
    for (int n = m; n <= m + 6; ++n) {
      const Mat a = random_matrix(rng, n, m);  // n points of m coordinates
      Mat u(static_cast<std::size_t>(n) * m), v(static_cast<std::size_t>(m) * m);
      std::vector<double> s(m);
      int rc = 0;
      BSsingval(m, n, a.data(), u.data(), s.data(), v.data(), &rc);
      ASSERT_EQ(rc, 0) << m << "x" << n;
      for (int k = 0; k < m; ++k) {
        EXPECT_GE(s[k], 0.0);
        if (k) {
          EXPECT_GE(s[k - 1], s[k]);
        }
      }
      EXPECT_LT(orthonormality_error(v.data(), m, m), 1e-13);
      // Columns of u (stride m) are orthonormal.
      for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j)
          EXPECT_NEAR(dot(&u[i], &u[j], n, m, m), i == j ? 1.0 : 0.0, 1e-13);
      for (int j = 0; j < n; ++j)
        for (int i = 0; i < m; ++i) {
          double r = 0.0;
          for (int k = 0; k < m; ++k) r += u[j * m + k] * s[k] * v[k * m + i];
          EXPECT_NEAR(r, a[j * m + i], 1e-12) << m << "x" << n;
        }
    }
}

TEST(SingularValues, SignsGoIntoTheLeftFactor) {
  // A single negative value comes back positive with the left factor negated.
  const double a[1] = {-2.0};
  double u[1], s[1], v[1];
  int rc = 0;
  BSsingval(1, 1, a, u, s, v, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(s[0], 2.0);
  EXPECT_EQ(u[0], -1.0);
  EXPECT_EQ(v[0], 1.0);
  // One coordinate of three points: a single value (fewer points than coordinates is refused, below).
  const double col[3] = {-3.0, 0.0, 4.0};
  double u3[3], s3[1], v3[1];
  BSsingval(1, 3, col, u3, s3, v3, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NEAR(s3[0], 5.0, 1e-15);
  EXPECT_NEAR(u3[0] * s3[0] * v3[0], -3.0, 1e-15);
  EXPECT_NEAR(u3[2] * s3[0] * v3[0], 4.0, 1e-15);

  // A diagonal matrix with negative entries: magnitudes in decreasing order, the signs in U, V a permutation.
  const double diag[9] = {-1, 0, 0, 0, 5, 0, 0, 0, -3};
  double ud[9], sd[3], vd[9];
  BSsingval(3, 3, diag, ud, sd, vd, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(sd[0], 5.0);
  EXPECT_EQ(sd[1], 3.0);
  EXPECT_EQ(sd[2], 1.0);
  for (int i = 0; i < 9; ++i) EXPECT_TRUE(vd[i] == 0.0 || vd[i] == 1.0) << i;
}

TEST(SingularValues, RefusalsAndZeroColumns) {
  double u[6], s[3], v[9];
  int rc = 0;
  const double two_points[6] = {1, 2, 3, 4, 5, 6};
  BSsingval(3, 2, two_points, u, s, v, &rc);
  EXPECT_EQ(rc, -2);

  double d[3], e[2], U[9], V[9];
  const double a[9] = {1, 2, 3, 4, 5, 6, 7, 8, 10};
  BSbidag2sv(d, e, U, 4, V, 1, a, 3, 3, &rc);
  EXPECT_EQ(rc, -2);
  BSbidag2sv(d, e, U, 1, V, 1, a, 2, 3, &rc);
  EXPECT_EQ(rc, -2);
  double work[8];
  double acopy[9];
  for (int i = 0; i < 9; ++i) acopy[i] = a[i];
  BSsingsv(U, 3, 0, d, V, 3, 1, acopy, 3, 3, 3, work, &rc);
  EXPECT_EQ(rc, -2);

  // A zero column: a zero diagonal entry is chased out and 0 comes last.
  const double pts[12] = {1, 0, 2, 3, 0, -1, 2, 0, 5, -4, 0, 1};
  double u4[12], s4[3], v4[9];
  BSsingval(3, 4, pts, u4, s4, v4, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NEAR(s4[2], 0.0, 1e-14);
  EXPECT_GT(s4[1], 1.0);
  EXPECT_NEAR(std::fabs(v4[7]), 1.0, 1e-14);
}

TEST(SingularValues, BidiagonalReductionReconstructs) {
  std::mt19937 rng(8);
  for (int n = 1; n <= 6; ++n)
    for (int m = n; m <= n + 3; ++m) {
      // Column-major m x n.
      const Mat a = random_matrix(rng, n, m);
      std::vector<double> d(n), e(n > 1 ? n - 1 : 1), U(static_cast<std::size_t>(m) * n), V(n * n);
      int rc = 0;
      BSbidag2sv(d.data(), e.data(), U.data(), 1, V.data(), 1, a.data(), m, n, &rc);
      ASSERT_EQ(rc, 0);
      for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j) {
          double r = 0.0;
          for (int k = 0; k < n; ++k) {
            double b = 0.0;
            for (int l = 0; l < n; ++l) {
              const double bkl = k == l ? d[k] : l == k + 1 ? e[k] : 0.0;
              b += bkl * V[l * n + j];  // (B V^T)(k, j) with V column-major
            }
            r += U[k * m + i] * b;
          }
          EXPECT_NEAR(r, a[j * m + i], 1e-13) << m << "x" << n;
        }
    }
}

TEST(SingularValues, LargeInputsUseTheHeapAndReleaseIt) {
  std::mt19937 rng(9);
  const int n = 400;
  const Mat a = random_matrix(rng, n, 3);
  Mat u(static_cast<std::size_t>(n) * 3);
  double s[3], v[9];
  int rc = 0;
  const int before = BSscratchheapblocks();
  BSsingval(3, n, a.data(), u.data(), s, v, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(BSscratchheapblocks(), before);
  BSallocfailat(1);
  BSsingval(3, n, a.data(), u.data(), s, v, &rc);
  BSallocfailat(0);
  EXPECT_EQ(rc, 33);
  EXPECT_EQ(BSscratchheapblocks(), before);

  const Mat rows = coordinate_rows(a, n, 3);
  double sv[3], vv[9];
  BSallocfailat(1);
  BSsngvald3v(n, rows.data(), sv, vv, &rc);
  BSallocfailat(0);
  EXPECT_EQ(rc, 33);
  EXPECT_EQ(BSscratchheapblocks(), before);
  BStraceclear();
}

}  // namespace

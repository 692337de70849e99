#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "bspline/core/test_support.h"
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

namespace {

// The bidiagonal (d, e) of order k as a dense column-major k x k matrix.
Mat bidiagonal(const std::vector<double> &d, const std::vector<double> &e) {
  const int k = static_cast<int>(d.size());
  Mat b(static_cast<std::size_t>(k) * k, 0.0);
  for (int i = 0; i < k; ++i) {
    b[i * k + i] = d[i];
    if (i + 1 < k) b[(i + 1) * k + i] = e[i];
  }
  return b;
}

// The largest entry of U B V^T - A, all column-major k x k, B the bidiagonal (d, e).
double reconstruction_error(const Mat &u, const std::vector<double> &d, const std::vector<double> &e, const Mat &v,
                            const Mat &a) {
  const int k = static_cast<int>(d.size());
  const Mat b = bidiagonal(d, e);
  double worst = 0.0;
  for (int i = 0; i < k; ++i)
    for (int j = 0; j < k; ++j) {
      double r = 0.0;
      for (int p = 0; p < k; ++p)
        for (int q = 0; q < k; ++q) r += u[p * k + i] * b[q * k + p] * v[q * k + j];
      worst = std::max(worst, std::fabs(r - a[j * k + i]));
    }
  return worst;
}

struct BidiagonalRun {
  std::vector<double> d, e;
  Mat u, v;
  std::vector<double> scale1, scale2;
  int rc = 0;
};

// BSsingbval on (d, e) with identity factors.
BidiagonalRun run_bidiagonal(std::vector<double> d, std::vector<double> e) {
  const int k = static_cast<int>(d.size());
  BidiagonalRun run{d, e, Mat(static_cast<std::size_t>(k) * k, 0.0), Mat(static_cast<std::size_t>(k) * k, 0.0),
                    std::vector<double>(k), std::vector<double>(k)};
  for (int i = 0; i < k; ++i) run.u[i * k + i] = run.v[i * k + i] = 1.0;
  run.e.resize(std::max(k - 1, 1));
  BSsingbval(run.d.data(), k, run.e.data(), BSFALSE, run.u.data(), k, k, 1, run.v.data(), k, k, 1,
             run.scale1.data(), run.scale2.data(), &run.rc);
  return run;
}

TEST(SingularValues, BidiagonalsOfEveryKindDecompose) {
  std::mt19937 rng(46);
  std::uniform_real_distribution<double> unit(-1, 1), decade(-8, 8);
  struct Case {
    const char *what;
    std::vector<double> d, e;
    bool singular = false;
  };
  std::vector<Case> cases = {
      {"zero inside", {1, 0, 2, 3}, {1, 1, 1}, true},
      {"zero first", {0, 1, 2}, {3, 1}, true},
      {"zero last", {1, 2, 0}, {1, 1}, true},
      {"three zeros", {0, 2, 0, 1, 0}, {1, 1, 1, 1}, true},
      {"equal values", {1, 1, 1, 1}, {1e-9, 0, 1e-9}},
      {"tiny and huge entries", {1e-200, 1, 1e200}, {1e150, 1e-100}},
      {"all tiny", {3e-250, -1e-250, 2e-251}, {1e-250, 5e-251}},
  };
  for (int t = 0; t < 20; ++t) {
    const int k = 2 + t;
    Case c{t % 2 ? "graded" : "random", std::vector<double>(k), std::vector<double>(k - 1)};
    for (int i = 0; i < k; ++i) {
      c.d[i] = t % 2 ? std::pow(10.0, decade(rng)) * (unit(rng) < 0 ? -1 : 1) : unit(rng);
      if (i + 1 < k) c.e[i] = t % 2 ? std::pow(10.0, decade(rng)) : unit(rng);
    }
    cases.push_back(c);
  }
  for (const Case &c : cases) {
    const int k = static_cast<int>(c.d.size());
    const BidiagonalRun run = run_bidiagonal(c.d, c.e);
    ASSERT_EQ(run.rc, 0) << c.what << " " << k;
    EXPECT_EQ(run.scale1[0], k) << c.what;
    double big = 0.0;
    for (int i = 0; i < k; ++i) big = std::max({big, std::fabs(c.d[i]), i + 1 < k ? std::fabs(c.e[i]) : 0.0});
    for (int i = 0; i < k; ++i) {
      EXPECT_GE(run.d[i], 0.0) << c.what;
      if (i) { EXPECT_GE(run.d[i - 1], run.d[i]) << c.what; }
    }
    if (c.singular) { EXPECT_LE(run.d[k - 1], 1e-15 * big) << c.what; }
    // Orthonormal factors (columns of the column-major matrices) that take the values back to the bidiagonal.
    EXPECT_LT(orthonormality_error(run.u.data(), k, k), 1e-13) << c.what;
    EXPECT_LT(orthonormality_error(run.v.data(), k, k), 1e-13) << c.what;
    EXPECT_LT(reconstruction_error(run.u, run.d, std::vector<double>(k, 0.0), run.v, bidiagonal(c.d, c.e)),
              1e-14 * k * big)
        << c.what;
  }
}

TEST(SingularValues, DiagonalMatricesNeedNoSweepAndKeepTheirTies) {
  struct Case {
    std::vector<double> diagonal, values;
    std::vector<int> places;  // column p of U and V is unit vector |places[p]| - 1, U's with the sign
  };
  const Case cases[] = {
      {{3, 3, 1}, {3, 3, 1}, {2, 1, 3}},
      {{-1, 5, -3}, {5, 3, 1}, {2, -3, -1}},
      {{2, -2, 2}, {2, 2, 2}, {3, -2, 1}},
      {{-4}, {4}, {-1}},
  };
  const int cap = bstest::set_sweeps(0);
  for (const Case &c : cases) {
    const int n = static_cast<int>(c.diagonal.size());
    Mat a(static_cast<std::size_t>(n) * n, 0.0), u(a.size()), v(a.size());
    for (int i = 0; i < n; ++i) a[i * n + i] = c.diagonal[i];
    std::vector<double> s(n), work(3 * n);
    int rc = 0;
    BSsingsv(u.data(), n, 1, s.data(), v.data(), n, 1, a.data(), n, n, n, work.data(), &rc);
    ASSERT_EQ(rc, 0) << n;
    if (n > 1) { EXPECT_EQ(work[n - 1], n); }
    for (int p = 0; p < n; ++p) {
      EXPECT_EQ(s[p], c.values[p]);
      const int place = std::abs(c.places[p]) - 1;
      for (int i = 0; i < n; ++i) {
        EXPECT_EQ(u[p * n + i], i == place ? (c.places[p] < 0 ? -1.0 : 1.0) : 0.0) << p << " " << i;
        EXPECT_EQ(v[p * n + i], i == place ? 1.0 : 0.0) << p << " " << i;
      }
    }
  }
  bstest::set_sweeps(cap);
}

TEST(SingularValues, SweepLimitLeavesAValidPartialDecomposition) {
  std::mt19937 rng(47);
  std::uniform_real_distribution<double> unit(-1, 1);
  const int k = 12;
  std::vector<double> d(k), e(k - 1);
  for (double &x : d) x = unit(rng);
  for (double &x : e) x = unit(rng);
  const BidiagonalRun full = run_bidiagonal(d, e);
  ASSERT_EQ(full.rc, 0);
  for (int cap : {1, 6, 14}) {
    const int old = bstest::set_sweeps(cap);
    const BidiagonalRun run = run_bidiagonal(d, e);
    bstest::set_sweeps(old);
    ASSERT_EQ(run.rc, -1) << cap;
    const int final_count = static_cast<int>(run.scale1[0]) - 1;
    ASSERT_GE(final_count, 0);
    ASSERT_LT(final_count, k);
    if (cap == 14) { EXPECT_GT(final_count, 0); }
    for (int i = k - final_count; i < k; ++i) {
      EXPECT_GE(run.d[i], 0.0);
      double nearest = 1.0;
      for (double x : full.d) nearest = std::min(nearest, std::fabs(x - run.d[i]));
      EXPECT_LT(nearest, 1e-13) << cap << " value " << i;
      if (i < k - 1) { EXPECT_EQ(run.e[i], 0.0); }
    }
    EXPECT_LT(reconstruction_error(run.u, run.d, run.e, run.v, bidiagonal(d, e)), 1e-12) << cap;
    EXPECT_LT(orthonormality_error(run.u.data(), k, k), 1e-13) << cap;
    EXPECT_LT(orthonormality_error(run.v.data(), k, k), 1e-13) << cap;
  }
}

}  // namespace

namespace {

struct Decomposition {
  int rc = 0, trace = 0;
  std::vector<double> u, s, v;
};

Decomposition singval(int m, int n, const std::vector<double> &a) {
  Decomposition d;
  d.u.assign(static_cast<std::size_t>(m) * n, 7.0);
  d.s.assign(m, 7.0);
  d.v.assign(static_cast<std::size_t>(m) * m, 7.0);
  BStraceclear();
  BSsingval(m, n, a.data(), d.u.data(), d.s.data(), d.v.data(), &d.rc);
  d.trace = BStracecount();
  BStraceclear();
  return d;
}

// Off the slow roads the decomposition of checked points skips the inner routines' checks and exits: it must
// give the bits the routines give (on the slow roads) at the sizes it unrolls and others, on matrices of
// every rank, and when the sweeps fail, the same code and the same trace, which the routines then write.
TEST(SingularValues, PointDecompositionOnTheShortAndTheSlowRoad) {
  std::mt19937 rng(53);
  std::uniform_real_distribution<double> unit(-1, 1);
  const std::pair<int, int> sizes[] = {{3, 3}, {4, 4}, {3, 7}, {2, 2}, {2, 5}, {5, 5}, {1, 4}, {4, 3}};
  for (const auto &[m, n] : sizes)
    for (int kind = 0; kind < 4; ++kind)
      for (int cap : {-1, 0}) {
        std::vector<double> a(static_cast<std::size_t>(m) * n);
        for (double &x : a) x = unit(rng);
        if (kind == 1)  // every point on one line
          for (int j = 0; j < n; ++j)
            for (int i = 0; i < m; ++i) a[j * m + i] = a[j * m] * (i + 1);
        if (kind == 2)  // a coordinate that is zero throughout
          for (int j = 0; j < n; ++j) a[j * m + m - 1] = 0.0;
        if (kind == 3) std::fill(a.begin(), a.end(), 0.0);
        const int old = bstest::set_sweeps(cap);
        const Decomposition plain = singval(m, n, a);
        bstest::set_slow_roads(true);
        const Decomposition hooked = singval(m, n, a);
        bstest::set_slow_roads(false);
        bstest::set_sweeps(old);
        SCOPED_TRACE(testing::Message() << m << "x" << n << " kind " << kind << " cap " << cap);
        EXPECT_EQ(plain.rc, hooked.rc);
        EXPECT_EQ(plain.trace, hooked.trace);
        if (cap < 0 && n >= m) {
          EXPECT_EQ(plain.rc, 0);
        }
        EXPECT_EQ(plain.s, hooked.s);
        EXPECT_EQ(plain.u, hooked.u);
        EXPECT_EQ(plain.v, hooked.v);
      }
}

}  // namespace

// Householder least squares: dense solutions and refusals, band layouts, damaged and rank-deficient input in
// every solving member, and scratch failures. Solutions of random problems are checked against the peers in
// oracle/householder_test.cpp.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "bspline/core/test_support.h"
#include "bspline/numerics.h"
#include "tests/bspline/least_squares_fixtures.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Bit for bit, so that a NaN left in place counts as unchanged.
bool same(const Mat &a, const Mat &b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

TEST(Householder, DenseSolutionsAndRefusals) {
  struct Case {
    const char *what;
    int m, n, nrhs;
    Mat A, B;  // B empty: made from the solution (1, -2, 3, 0.5)
    int rc;
  };
  const Case cases[] = {
      {"nonsingular 4x4", 4, 4, 1, {4, 1, -2, 0.5, 1, 3, 0, -1, 2, -1, 5, 1, 0.5, 2, 1, -3}, {}, 0},
      {"zero column", 3, 3, 1, {1, 0, 2, 3, 0, 1, -1, 0, 4}, {1, 2, 3}, -1},
      {"mass below a zero diagonal", 3, 2, 1, {0, 1, 1e-15, 0, 0, 1}, {1, 2, 3}, -1},
      // The rank test is on a column's length (on and below the diagonal), not on its entries: each entry of
      // both columns below is under zero_tol (1e-14), the first column is 9e-15 long, the second 1.56e-14.
      {"column shorter than zero_tol", 5, 3, 1, {-6e-15, 0, 0, 6e-15, 0, 0, 3e-15, 0, 0, 0, 1, 0, 0, 0, 1}, {}, -1},
      {"column longer than zero_tol of entries below it", 5, 3, 1,
       {-9e-15, 0, 0, 9e-15, 0, 0, 9e-15, 0, 0, 0, 1, 0, 0, 0, 1}, {}, 0},
      {"NaN entry", 2, 2, 1, {1, kNaN, 0, 1}, {1, 1}, -2},
      {"infinite right-hand side", 2, 2, 1, {1, 0, 0, 1}, {INFINITY, 1}, -2},
      {"fewer rows than columns", 2, 3, 1, {1, 0, 0, 0, 1, 0}, {1, 1}, -2},
      {"no right-hand side", 2, 2, 0, {1, 0, 0, 1}, {1, 1}, -2},
  };
  const double want[4] = {1, -2, 3, 0.5};
  for (const Case &c : cases) {
    Mat A = c.A, B = c.B, X(c.n * 3, 7.0);
    if (B.empty())
      for (int i = 0; i < c.m; ++i) B.push_back(dot(&A[i * c.n], want, c.n));
    const Mat B0 = B;
    int rc = 0;
    const BSboolean ok = BShousehld(&rc, &c.m, &c.n, A.data(), &c.nrhs, B.data(), X.data());
    EXPECT_EQ(rc, c.rc) << c.what;
    EXPECT_EQ(ok, c.rc == 0 ? BSTRUE : BSFALSE) << c.what;
    for (int i = 0; i < c.n; ++i) {
      if (c.rc == 0) {
        EXPECT_NEAR(X[i], want[i], 3e-14) << c.what;
      } else {
        EXPECT_EQ(X[i], 7.0) << c.what;  // unwritten: no infinite value reported as a solution
      }
    }
    if (c.rc == -2) {
      EXPECT_TRUE(same(A, c.A) && same(B, B0)) << c.what;
    }
  }
  BStraceclear();
}

// Refusals of a damaged or rank-deficient problem leave the solution as it came: rc -2 before anything changes,
// rc -1 when a diagonal of R or L is below zero_tol (the band's B then holds Q^T B, as after accumulation alone).
TEST(Householder, DamagedAndRankDeficientInputLeavesTheSolutionAlone) {
  struct Case {
    const char *what;
    int rc;
    std::function<bool(int *rc)> run;  // true when the output is as it should be left
  };
  auto band = [](double v1, int *rc) {
    // Two unknowns per row, blocks at columns 0 and 1; column 1 holds v1 everywhere.
    const int first[2] = {0, 1}, nrows[2] = {3, 3};
    Mat A = {1, v1, 2, v1, -1, v1, v1, 1, v1, 3, v1, 2}, B = {1, 2, 3, 4, 5, 6}, A2 = A, B2 = B;
    BSbndhshdtr(A2.data(), 2, nrows, 2, first, 1, B2.data(), rc);
    BSbndhshold(A.data(), 2, nrows, 2, first, 1, B.data(), rc);
    return same(B, B2);
  };
  auto back = [](double diag, int *rc) {
    const int first[1] = {0};
    const Mat A = {2, 1, 0, diag};
    Mat B = {1, 1}, B0 = B;
    BSbndhsback(A.data(), 1, 2, first, 1, 0, B.data(), rc);
    return same(B, B0);
  };
  auto projection = [](bool equal_rows, double poison, int *rc) {
    // Two junctions of two rows on spans of four coefficients.
    std::mt19937 rng(1);
    Mat C1 = random_matrix(rng, 4, 4), C2 = random_matrix(rng, 4, 4), x = random_matrix(rng, 1, 12);
    for (int c = 0; equal_rows && c < 4; ++c) C1[12 + c] = C1[8 + c], C2[12 + c] = C2[8 + c];
    C2[5] += poison;
    const Mat x0 = x;
    BShouslgbspc(2, 4, 2, C1.data(), C2.data(), 1, x.data(), x.data(), rc);
    return same(x, x0);
  };
  const Case cases[] = {
      {"band column of zeros", -1, [&](int *rc) { return band(0.0, rc); }},
      {"band column below zero_tol", -1, [&](int *rc) { return band(1e-15, rc); }},
      {"bordered band zero diagonal", -1, [&](int *rc) { return back(0.0, rc); }},
      {"bordered band NaN diagonal", -2, [&](int *rc) { return back(kNaN, rc); }},
      {"equal constraint rows", -1, [&](int *rc) { return projection(true, 0.0, rc); }},
      {"NaN constraint entry", -2, [&](int *rc) { return projection(false, kNaN, rc); }},
  };
  for (const Case &c : cases) {
    int rc = 0;
    EXPECT_TRUE(c.run(&rc)) << c.what;
    EXPECT_EQ(rc, c.rc) << c.what;
  }
  BStraceclear();
}

TEST(Householder, BandLayoutsAreCheckedBeforeAnythingChanges) {
  struct Case {
    const char *what;
    std::vector<int> first, nrows;
    int nb, nrhs;
    double poison;  // added to the first right-hand side
  };
  const Case cases[] = {
      {"one row fewer than unknowns", {0, 2}, {2, 1}, 2, 1, 0},
      {"step of first columns above nb", {0, 3}, {3, 3}, 2, 1, 0},
      {"first column not 0", {1, 2}, {3, 3}, 2, 1, 0},
      {"decreasing first columns", {0, 2, 1}, {2, 2, 2}, 2, 1, 0},
      {"negative row count", {0, 1}, {4, -1}, 2, 1, 0},
      {"variables left without rows", {0, 2}, {1, 6}, 2, 1, 0},
      {"no blocks", {}, {}, 2, 1, 0},
      {"band width 0", {0}, {3}, 0, 1, 0},
      {"no right-hand side", {0}, {3}, 2, 0, 0},
      {"NaN right-hand side", {0, 1}, {3, 3}, 2, 1, kNaN},
  };
  for (const Case &c : cases)
    for (auto member : {BSbndhshdtr, BSbndhshold}) {
      int rows = 0;
      for (int r : c.nrows) rows += r > 0 ? r : 0;
      std::mt19937 rng(2);
      Mat A = random_matrix(rng, rows + 1, c.nb + 1), B = random_matrix(rng, rows + 1, c.nrhs + 1);
      B[0] += c.poison;
      const Mat A0 = A, B0 = B;
      int rc = 0;
      member(A.data(), static_cast<int>(c.first.size()), c.nrows.data(), c.nb, c.first.data(), c.nrhs, B.data(),
             &rc);
      EXPECT_EQ(rc, -2) << c.what;
      EXPECT_TRUE(same(A, A0) && same(B, B0)) << c.what;
    }
  BStraceclear();
}

// Every heap request of a member that takes scratch fails in turn: rc 33, no block left, the output untouched.
TEST(Householder, ScratchFailuresReleaseEverything) {
  const int nj = 3, k = 60, nc = 10;  // blocks of 600 doubles, too large for the stack
  std::mt19937 rng(7);
  const Mat C1 = random_matrix(rng, nj * nc, k), C2 = random_matrix(rng, nj * nc, k);
  const Mat x = random_matrix(rng, 1, (nj + 1) * k);
  Mat F(nj * nc * nc), G(F.size()), W(nc * k), out;
  const std::pair<const char *, std::function<void(int *)>> cases[] = {
      {"BShouslgbspc", [&](int *rc) { BShouslgbspc(nj, k, nc, C1.data(), C2.data(), 1, out.data(), out.data(), rc); }},
      {"BShoushcstm", [&](int *rc) { BShoushcstm(nj, k, nc, C1.data(), C2.data(), F.data(), G.data(), rc); }},
      {"BShoushcstl",
       [&](int *rc) {
         BShoushcstl(k, nc, C1.data(), C2.data(), C1.data() + nc * k, W.data(), F.data(), G.data(), rc);
       }},
      {"BShoushcstf", [&](int *rc) { BShoushcstf(k, nc, C1.data(), C2.data(), F.data(), rc); }},
      {"BShoustrian", [&](int *rc) { BShoustrian(k, nc, C1.data(), F.data(), rc); }},
  };
  for (const auto &[name, run] : cases) {
    int failed = 0;
    for (int at = 1;; ++at) {
      out = x;
      int rc = 0;
      BSallocfailat(at);
      run(&rc);
      const bool fired = BSallocfailpending() == 0;
      BSallocfailat(0);
      EXPECT_EQ(BSscratchheapblocks(), 0) << name << " " << at;
      if (!fired) {
        EXPECT_EQ(rc, 0) << name;
        break;
      }
      EXPECT_EQ(rc, 33) << name << " " << at;
      EXPECT_TRUE(same(out, x)) << name;
      ++failed;
    }
    EXPECT_GE(failed, 1) << name;
  }
  BStraceclear();
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "bspline/extend.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

std::vector<double> row_of(int n, double step) {  // equally spaced along x
  std::vector<double> p;
  for (int i = 0; i < n; ++i) p.insert(p.end(), {step * i, 0, 0});
  return p;
}

// The share of the move each point takes: chord length from the fixed end, or the index for a row whose
// points coincide; the fixed end never moves.
TEST(EndPoleMoves, RowShares) {
  const double delta[3] = {0.5, -2, 1};
  struct Row {
    int n, which;
    double step;
  } rows[] = {{5, 1, 1.0}, {5, 0, 1.0}, {6, 1, 0.0}, {6, 0, 0.0}, {2, 1, 3.0}};
  for (const Row &row : rows) {
    SCOPED_TRACE(row.n * 10 + row.which);
    std::vector<double> pts = row_of(row.n, row.step), out(3 * row.n, -99);
    const int j = row.which ? 0 : row.n - 1;
    const double target[3] = {pts[3 * j] + delta[0], delta[1], delta[2]};
    int rc = -99;
    BSmodnplpts(row.n, pts.data(), row.which, target, out.data(), &rc);
    ASSERT_EQ(rc, 0);
    for (int i = 0; i < row.n; ++i) {
      const double share = row.which ? (row.n - 1.0 - i) / (row.n - 1) : i / (row.n - 1.0);
      for (int q = 0; q < 3; ++q) EXPECT_NEAR(out[3 * i + q], pts[3 * i + q] + share * delta[q], 1e-15) << i;
    }
    EXPECT_EQ(out[3 * (row.n - 1 - j)], pts[3 * (row.n - 1 - j)]);
  }
}

// An interior point: both row ends stay, each side follows its own fixed end; bad requests leave out alone.
TEST(EndPoleMoves, InteriorPointAndRefusals) {
  std::vector<double> pts = row_of(5, 1.0), out(15, -99);
  const double target[3] = {2, 4, 0};
  int rc = -99;
  BSmodshppts(5, pts.data(), 2, target, out.data(), &rc);
  ASSERT_EQ(rc, 0);
  const double expect_y[5] = {0, 2, 4, 2, 0};
  for (int i = 0; i < 5; ++i) {
    EXPECT_DOUBLE_EQ(out[3 * i], i);
    EXPECT_DOUBLE_EQ(out[3 * i + 1], expect_y[i]);
  }
  const double nan_point[3] = {std::nan(""), 0, 0};
  struct Bad {
    int n, k;
    const double *point;
    int rc;
  } bad[] = {{5, -1, target, -2}, {5, 5, target, -2}, {1, 0, target, -2}, {5, 0, nan_point, -2},
             {5, 2, nan_point, -2}};
  for (const Bad &b : bad) {
    std::vector<double> o(15, -99);
    BSmodshppts(b.n, pts.data(), b.k, b.point, o.data(), &rc);
    EXPECT_EQ(rc, b.rc);
    EXPECT_EQ(o, std::vector<double>(15, -99));
  }
}

// Curve-level moves: poles 1 and n - 2 land on the given Cartesian points, the end poles and weights never
// move, both flags chain, and a refused request leaves the curve as it was.
TEST(EndPoleMoves, CurvePoles) {
  const double p1[3] = {1, 3, 0}, p2[3] = {4, -3, 1}, bad[3] = {0, INFINITY, 0};
  struct Row {
    int n;
    bool rational;
    BSboolean first, last;
    const double *a, *b;
    int rc;
  } rows[] = {
      {4, false, 1, 0, p1, p2, 0}, {4, false, 0, 1, p1, p2, 0}, {6, false, 1, 1, p1, p2, 0},
      {6, true, 1, 1, p1, p2, 0},  {5, false, 0, 0, bad, bad, 0}, {3, false, 1, 1, p1, p2, -1},
      {6, true, 1, 1, p1, bad, -1},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.n * 100 + row.rational * 10 + row.first * 2 + row.last);
    std::vector<double> xyz, knots, w;
    for (int i = 0; i < row.n; ++i) xyz.insert(xyz.end(), {static_cast<double>(i), 0.1 * i * i, 0});
    for (int i = 0; i < row.n + 3; ++i) knots.push_back(std::clamp(i - 2, 0, row.n - 2));
    if (row.rational)
      for (int i = 0; i < row.n; ++i) w.push_back(1 + 0.25 * i);
    TestCurve c(3, xyz, knots, w);
    const std::vector<double> before = c.poles, wbefore = c.weights;
    int rc = -99;
    BSmodcvtnpl(&c.cv, row.first, row.a, row.last, row.b, &rc);
    EXPECT_EQ(rc, row.rc);
    EXPECT_EQ(c.weights, wbefore);
    if (rc != 0 || (!row.first && !row.last)) {
      EXPECT_EQ(c.poles, before);
      continue;
    }
    // The expected row: the same moves on the unweighted interior poles.
    const int m = row.n - 2;
    std::vector<double> x(xyz.begin() + 3, xyz.end() - 3);
    if (row.first) BSmodshppts(m, x.data(), 0, row.a, nullptr, &rc);
    if (row.last) BSmodshppts(m, x.data(), m - 1, row.b, nullptr, &rc);
    for (int i = 0; i < row.n; ++i)
      for (int q = 0; q < 3; ++q) {
        const double want = i == 0 || i == row.n - 1 ? xyz[3 * i + q] : x[3 * (i - 1) + q];
        EXPECT_NEAR(c.pole(i, q), want, 1e-14) << i;
      }
    if (row.first) { EXPECT_NEAR(c.pole(1, 1), row.a[1], 1e-14); }
    if (row.last) { EXPECT_NEAR(c.pole(row.n - 2, 1), row.b[1], 1e-14); }
    if (row.n == 4 && row.first) { EXPECT_EQ(c.pole(2, 1), xyz[7]); }
    if (row.n == 4 && row.last) { EXPECT_EQ(c.pole(1, 1), xyz[4]); }
  }
}

}  // namespace

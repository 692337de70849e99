#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "bspline/core/test_support.h"
#include "tests/bspline/measure_fixtures.h"

namespace {

struct Triangle {
  double p[BSDCAST_SIZE][BSDCAST_SIZE][3];
  double w[BSDCAST_SIZE][BSDCAST_SIZE];
};

TEST(BezierForms, DeCasteljauGivesThePointAndBothHalves) {
  std::mt19937 rng(61);
  for (bool rational : {false, true}) {
    auto c = random_curve(rng, 5, 5, rational, true);
    const double a = c->start(), b = c->end(), u = a + 0.35 * (b - a);
    Triangle t;
    int rc = 0;
    ASSERT_TRUE(BSdcastelj(&rc, &c->cv, &u, t.p, t.w));
    const int k = 5;
    auto cart = [&](int i, int j, int comp) { return t.p[i][j][comp] / (rational ? t.w[i][j] : 1.0); };
    double ref[3];
    ref_point(*c, u, ref);
    for (int comp = 0; comp < 3; ++comp) EXPECT_NEAR(cart(k - 1, k - 1, comp), ref[comp], 1e-12);
    // The diagonal is the part before u on [a, u]; the last row, reversed, the part after it on [u, b].
    std::vector<double> lp, lw, rp, rw;
    for (int j = 0; j < k; ++j) {
      for (int comp = 0; comp < 3; ++comp) {
        lp.push_back(cart(j, j, comp));
        rp.push_back(cart(k - 1, k - 1 - j, comp));
      }
      lw.push_back(rational ? t.w[j][j] : 1.0);
      rw.push_back(rational ? t.w[k - 1][k - 1 - j] : 1.0);
    }
    TestCurve left(k, lp, {a, a, a, a, a, u, u, u, u, u}, rational ? lw : std::vector<double>{});
    TestCurve right(k, rp, {u, u, u, u, u, b, b, b, b, b}, rational ? rw : std::vector<double>{});
    expect_same_points(c->cv, left.cv, a, u, rng, 1e-11);
    expect_same_points(c->cv, right.cv, u, b, rng, 1e-11);
  }
}

TEST(BezierForms, DeCasteljauAtTheStartAndRefusals) {
  TestCurve c(3, {0, 0, 0, 1, 2, 0, 3, 0, 0}, {0, 0, 0, 1, 1, 1});
  Triangle t;
  int rc = 0;
  const double zero = 0;
  ASSERT_TRUE(BSdcastelj(&rc, &c.cv, &zero, t.p, t.w));
  for (int j = 0; j < 3; ++j)
    for (int comp = 0; comp < 3; ++comp) {
      EXPECT_EQ(t.p[j][j][comp], c.poles[comp]) << "the part before 0 is the first pole";
      EXPECT_EQ(t.p[2][2 - j][comp], c.poles[3 * j + comp]) << "the part after it is the curve itself";
    }
  TestCurve spline(3, {0, 0, 0, 1, 2, 0, 3, 0, 0, 4, 1, 0}, {0, 0, 0, 1, 2, 2, 2});
  EXPECT_FALSE(BSdcastelj(&rc, &spline.cv, &zero, t.p, t.w));
  EXPECT_EQ(rc, -2);
  // Seventeen poles do not fit the triangle.
  std::mt19937 rng(1);
  auto big = random_curve(rng, 17, 17, false, true);
  EXPECT_FALSE(BSdcastelj(&rc, &big->cv, &zero, t.p, t.w));
  EXPECT_EQ(rc, -2);
  // A weight that crosses zero inside the triangle.
  TestCurve neg(3, {0, 0, 0, 1, 2, 0, 3, 0, 0}, {0, 0, 0, 1, 1, 1}, {1, -3, 1});
  const double half = 0.5;
  EXPECT_FALSE(BSdcastelj(&rc, &neg.cv, &half, t.p, t.w));
  EXPECT_EQ(rc, -1);
}

TEST(BezierForms, ScalarBezierFunctions) {
  // Two functions of degree 3 on [2, 4]: Bernstein sums at t = (u - 2) / 2.
  const double coef[8] = {1, -2, 0.5, 3, 0, 1, 1, 0};
  const double params[3] = {2, 2.5, 3.7}, interval[2] = {2, 4};
  double out[6];
  int rc = 0;
  BSevlcvbez1(2, 3, coef, 3, params, interval, out, &rc);
  ASSERT_EQ(rc, 0);
  for (int f = 0; f < 2; ++f)
    for (int i = 0; i < 3; ++i) {
      const double t = (params[i] - 2) / 2, s = 1 - t;
      const double *c = coef + 4 * f;
      const double want = c[0] * s * s * s + 3 * c[1] * s * s * t + 3 * c[2] * s * t * t + c[3] * t * t * t;
      EXPECT_NEAR(out[3 * f + i], want, 1e-14);
    }
  // Degree 100 goes to scratch memory.
  std::vector<double> ones(101, 1.0);
  BSevlcvbez1(1, 100, ones.data(), 1, params, interval, out, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NEAR(out[0], 1, 1e-13);
  BSallocfailat(1);
  BSevlcvbez1(1, 600, std::vector<double>(601, 1.0).data(), 1, params, interval, out, &rc);
  BSallocfailat(0);
  EXPECT_EQ(rc, 33);
}

TEST(BezierForms, PolarFormOfTheBasisAndTheCurve) {
  std::mt19937 rng(62);
  auto c = random_curve(rng, 4, 9, false, false);
  const int k = 4, n = c->n();
  std::vector<double> blocks(3 * n);  // dim per pole, as the blossom takes them
  for (int i = 0; i < 3 * n; ++i) blocks[i] = c->poles[i];
  for (int s = k - 1; s < n; ++s) {
    const double lo = c->knots[s], hi = c->knots[s + 1];
    std::uniform_real_distribution<double> ud(lo, hi);
    const double u = ud(rng);
    // All arguments equal: the ordinary basis and the curve point.
    const double same[3] = {u, u, u};
    double basis[4], N[4], p[3], ref[3];
    int rc = 0;
    BSpolarnif(k, c->knots.data(), s, same, basis, &rc);
    ASSERT_EQ(rc, 0);
    BSmansf0(&rc, k, c->knots.data(), s, u, N);
    for (int i = 0; i < k; ++i) EXPECT_NEAR(basis[i], N[i], 1e-13);
    BScvevpgbnd(3, k, blocks.data(), c->knots.data(), same, s, p, &rc);
    ref_point(*c, u, ref);
    for (int comp = 0; comp < 3; ++comp) EXPECT_NEAR(p[comp], ref[comp], 1e-11);
    // At consecutive knots the blossom gives the poles (de Boor points), in any order of its arguments.
    for (int i = s - k + 1; i <= s; ++i) {
      const double args[3] = {c->knots[i + 3], c->knots[i + 1], c->knots[i + 2]};
      BScvevpgbnd(3, k, blocks.data(), c->knots.data(), args, s, p, &rc);
      ASSERT_EQ(rc, 0);
      for (int comp = 0; comp < 3; ++comp) EXPECT_NEAR(p[comp], c->poles[3 * i + comp], 1e-10) << i;
    }
  }
  double basis[17];
  const double args[16] = {};
  int rc = 0;
  BSpolarnif(17, c->knots.data(), 3, args, basis, &rc);
  EXPECT_EQ(rc, -2);
  TestCurve e(3, {0, 0, 0, 1, 1, 0, 2, 0, 0, 3, 1, 0}, {0, 0, 0, 1, 1, 2, 2});
  BSpolarnif(3, e.knots.data(), 3, args, basis, &rc);
  EXPECT_EQ(rc, -2) << "empty span";
}

}  // namespace

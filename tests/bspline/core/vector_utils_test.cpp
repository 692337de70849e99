#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "bspline/bspline.h"
#include "bspline/core/test_support.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

TEST(VectorArithmetic, NormaliseRefusesOnlyVanishingVectors) {
  int rc = 0;
  double tiny[3] = {1e-300, 0, 0};
  EXPECT_EQ(BSnorvec(&rc, tiny), BSFALSE);
  EXPECT_EQ(rc, -6);
  EXPECT_EQ(tiny[0], 1e-300);  // unchanged
  double small[3] = {1e-100, 0, 0};
  EXPECT_EQ(BSnorvec(&rc, small), BSTRUE);
  EXPECT_EQ(small[0], 1.0);
  double v[3] = {3, 0, -4};
  BSnorvec(&rc, v);
  EXPECT_DOUBLE_EQ(v[0], 0.6);
  EXPECT_DOUBLE_EQ(v[2], -0.8);
}

TEST(VectorArithmetic, ProductsDifferencesAndDistances) {
  int rc = 0;
  const double a[3] = {1, 2, 3}, b[3] = {-2, 0.5, 4};
  double out[3];
  BSvcross(&rc, a, b, out);
  EXPECT_DOUBLE_EQ(out[0], 2 * 4 - 3 * 0.5);
  EXPECT_DOUBLE_EQ(out[1], 3 * -2 - 1 * 4);
  EXPECT_DOUBLE_EQ(out[2], 1 * 0.5 - 2 * -2);
  // The output may be one of the inputs.
  double c[3] = {1, 2, 3};
  BSvcross(&rc, c, b, c);
  EXPECT_DOUBLE_EQ(c[0], out[0]);
  EXPECT_DOUBLE_EQ(c[2], out[2]);
  EXPECT_DOUBLE_EQ(BSvdot(&rc, a, b), -2 + 1 + 12);
  BSvdiff(&rc, out, a, b);  // b - a
  EXPECT_DOUBLE_EQ(out[0], -3);
  EXPECT_DOUBLE_EQ(out[1], -1.5);
  EXPECT_DOUBLE_EQ(BSvlengthsq(&rc, a), 14);
  EXPECT_DOUBLE_EQ(BSvlength(&rc, a), std::sqrt(14.0));
  EXPECT_DOUBLE_EQ(BSpdistsq(&rc, a, b), 9 + 2.25 + 1);
  EXPECT_DOUBLE_EQ(BSpdist(&rc, a, b), std::sqrt(12.25));
  const double p[3] = {2, 4, 6}, q[3] = {3, 3, 3};
  EXPECT_DOUBLE_EQ(BShpdistsq(&rc, p, 2, q, 3), 0 + 1 + 4);
  EXPECT_EQ(rc, 0);
}

TEST(VectorArithmetic, FiniteFuzzyModuloAndPower) {
  EXPECT_EQ(BSnotfinite(std::numeric_limits<double>::quiet_NaN()), 1);
  EXPECT_EQ(BSnotfinite(-std::numeric_limits<double>::infinity()), 1);
  EXPECT_EQ(BSnotfinite(1e308), 0);
  // A long array is judged in blocks with a tail: one bad value at a block's ends or in the tail is found, the
  // extremes of the finite range are not bad.
  for (const double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity()})
    for (const int at : {0, 15, 16, 31, 32, 36}) {
      std::vector<double> v(37, -std::numeric_limits<double>::max());
      v[1] = std::numeric_limits<double>::denorm_min();
      EXPECT_EQ(BSallfinite(37, v.data()), BSTRUE);
      v[at] = bad;
      EXPECT_EQ(BSallfinite(37, v.data()), BSFALSE) << at;
      EXPECT_EQ(BSallfinite(at, v.data()), BSTRUE) << at;
    }
  EXPECT_EQ(BSfuzzyeq(1.0, 1.0 + 1e-15), BSTRUE);  // differs in the lowest bits only
  EXPECT_EQ(BSfuzzyeq(1.0, 1.0 + 1e-12), BSFALSE);
  EXPECT_EQ(BSfuzzyeq(1.0, -1.0), BSFALSE);
  int rc = 0;
  EXPECT_EQ(BSdmod(7.5, 2.5, &rc), 0.0);
  EXPECT_EQ(BSdmod(-7, 2, &rc), -1.0);
  EXPECT_DOUBLE_EQ(BSdmod(7, -3, &rc), 1.0);
  EXPECT_EQ(BSdmod(0.3, 0.1, &rc), 0.0);  // 0.3 / 0.1 lands just below 3
  EXPECT_EQ(rc, 0);
  BSdmod(1, 1e-16, &rc);
  EXPECT_EQ(rc, -5);
  EXPECT_EQ(BSrpower(0, 0, &rc), 1.0);
  EXPECT_NEAR(BSrpower(2, 10, &rc), 1024, 1e-9);
  EXPECT_NEAR(BSrpower(9, 0.5, &rc), 3, 1e-14);
}

// The record check judges in place off the slow roads and through its callees' exits on them: both roads give one
// code for each damage, a NaN or an infinity in any array, a falling knot, too few poles.
TEST(VectorArithmetic, CurveCheckSameCodeOnBothRoads) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  struct Row {
    int pole, knot, weight;  // the entry made bad, or -1
    double bad;
    bool falling;            // knot 5 below knot 4
    int code;
  } rows[] = {{-1, -1, -1, 0, false, 0},        {0, -1, -1, nan, false, -2},   {14, -1, -1, -inf, false, -2},
              {-1, 0, -1, inf, false, -2},      {-1, 8, -1, nan, false, -2},   {-1, -1, 0, nan, false, -2},
              {-1, -1, 4, inf, false, -2},      {-1, -1, -1, 0, true, -2}};
  for (const Row &r : rows)
    for (const bool slow : {false, true}) {
      TestCurve c(4, {0, 0, 0, 1, 2, 0, 2, -1, 0, 3, 1, 1, 4, 0, 0}, {0, 0, 0, 0, 0.5, 1, 1, 1, 1}, {1, 2, 1, 0.5, 1});
      if (r.pole >= 0) c.poles[r.pole] = r.bad;
      if (r.knot >= 0) c.knots[r.knot] = r.bad;
      if (r.weight >= 0) c.weights[r.weight] = r.bad;
      if (r.falling) c.knots[5] = 0.25;
      const bstest::SlowRoads roads(slow);
      EXPECT_EQ(BScvcheck(&c.cv), r.code) << r.pole << ' ' << r.knot << ' ' << r.weight << ' ' << slow;
      c.cv.num_poles = 3;
      EXPECT_EQ(BScvcheck(&c.cv), -2) << slow;
    }
}

TEST(VectorArithmetic, EqualSpacingAndAverages) {
  int rc = 0;
  const double a[3] = {0, 0, 0}, b[3] = {3, 6, -3};
  int n = 3;
  double out[12];
  ASSERT_EQ(BSeqspaces(&rc, a, b, &n, out), BSTRUE);
  EXPECT_DOUBLE_EQ(out[3], 1);
  EXPECT_DOUBLE_EQ(out[7], 4);
  EXPECT_EQ(out[9], 3);
  EXPECT_EQ(out[11], -3);
  n = 1;
  BSeqspaces(&rc, a, b, &n, out);
  EXPECT_EQ(out[3], 3);
  EXPECT_EQ(BSeqspaces(&rc, a, a, &n, out), BSFALSE);
  EXPECT_EQ(rc, -2);
  n = 0;
  EXPECT_EQ(BSeqspaces(&rc, a, b, &n, out), BSFALSE);

  const double pts[9] = {2, 0, 0, 0, 4, 0, 0, 0, 6};
  double avg[3];
  ASSERT_EQ(BSavgpts(&rc, 3, pts, nullptr, avg), BSTRUE);
  EXPECT_DOUBLE_EQ(avg[0], 2.0 / 3);
  const double w[3] = {2, 2, 3};  // weighted points (1,0,0), (0,2,0), (0,0,2)
  BSavgpts(&rc, 3, pts, w, avg);
  EXPECT_DOUBLE_EQ(avg[0], 1.0 / 3);
  EXPECT_DOUBLE_EQ(avg[1], 2.0 / 3);
  const double uneven[3] = {0.1, 2, 3};
  EXPECT_EQ(BSavgpts(&rc, 3, pts, uneven, avg), BSFALSE);
  EXPECT_EQ(rc, 49);
  EXPECT_EQ(BSavgpts(&rc, 0, pts, nullptr, avg), BSFALSE);
  // All weights zero: no point behind any of them, and no division by their sum either.
  const double zero[3] = {0, 0, 0};
  EXPECT_EQ(BSavgpts(&rc, 3, pts, zero, avg), BSFALSE);
  EXPECT_EQ(rc, 49);
  EXPECT_TRUE(std::isfinite(avg[0]) && std::isfinite(avg[1]) && std::isfinite(avg[2]));
}

TEST(PointTests, ProjectionsAndLineDistance) {
  int rc = 0;
  const double line[6] = {1, 1, 0, 3, 1, 0};
  const double q[3] = {2.5, 4, 7};
  double foot[3];
  ASSERT_EQ(BSproj0(&rc, q, line, foot), BSTRUE);
  EXPECT_DOUBLE_EQ(foot[0], 2.5);
  EXPECT_DOUBLE_EQ(foot[1], 1);
  EXPECT_DOUBLE_EQ(foot[2], 0);
  const double point_line[6] = {1, 1, 0, 1, 1, 0};
  EXPECT_EQ(BSproj0(&rc, q, point_line, foot), BSFALSE);
  EXPECT_EQ(rc, -15);
  EXPECT_EQ(foot[0], 1);
  const double a[3] = {0, 0, 1}, u[3] = {0, 1, 0};
  BSproj1(&rc, a, u, q, foot);
  EXPECT_DOUBLE_EQ(foot[1], 4);
  EXPECT_DOUBLE_EQ(foot[2], 1);
  double dist = 0;
  ASSERT_EQ(BSdistptli(&rc, q, line, line + 3, &dist), BSTRUE);
  EXPECT_DOUBLE_EQ(dist, std::hypot(3.0, 7.0));
  const double near_b[3] = {1, 1, 1e-7};
  EXPECT_EQ(BSdistptli(&rc, q, line, near_b, &dist), BSFALSE);
  EXPECT_EQ(rc, 8);
  EXPECT_EQ(BSdistnct2(&rc, line, near_b), BSFALSE);  // 1e-14 squared apart
  EXPECT_EQ(BSdistnct2(&rc, line, line + 3), BSTRUE);
}

TEST(PointTests, CoincidenceAfterSorting) {
  int rc = 0;
  const double p0[3] = {1, 2, 3}, p1[3] = {1 + 5e-7, 2, 3}, p2[3] = {1, 2 - 5e-7, 3 + 9e-7};
  const double far[3] = {1, 2, 3.1};
  const double *same[3] = {p1, p0, p2};
  EXPECT_EQ(BScoincidpa(3, same, &rc), BSTRUE);
  // The pointers come back sorted on x, then y, then z.
  EXPECT_EQ(same[0], p2);
  EXPECT_EQ(same[1], p0);
  EXPECT_EQ(same[2], p1);
  const double *apart[3] = {p0, far, p1};
  EXPECT_EQ(BScoincidpa(3, apart, &rc), BSFALSE);
  EXPECT_EQ(BScoincids(1, apart, &rc), BSTRUE);
}

TEST(PointTests, SameSideOfALine) {
  int rc = 0;
  const double a[3] = {0, 0, 0}, b[3] = {1, 0, 0};
  const double p[3] = {5, 1, 0}, q[3] = {-3, 2, 0}, r[3] = {2, -0.1, 0}, on[3] = {7, 0, 0};
  const double *good[2] = {p, q};
  int n = 2;
  EXPECT_EQ(BSssln(&rc, a, b, &n, good), BSTRUE);
  const double *bad[3] = {p, q, r};
  n = 3;
  EXPECT_EQ(BSssln(&rc, a, b, &n, bad), BSFALSE);
  const double *online[2] = {p, on};  // strictly on one side: a point on the line fails
  n = 2;
  EXPECT_EQ(BSssln(&rc, a, b, &n, online), BSFALSE);
  n = 1;
  EXPECT_EQ(BSssln(&rc, a, b, &n, bad), BSTRUE);
}

TEST(SeriesUtility, EffectiveDegreeDropsTheNegligibleTail) {
  // Two components of degree 4; the norms of the top two coefficient vectors add up to 2.4e-4.
  const double coef[10] = {1, 2, 3, 1e-4, 1e-4, 0, 1, 0, 0, 1e-4};
  int m = 0;
  double *out = nullptr;
  BSeffdegvec(4, 2, coef, 1e-3, &m, &out);
  EXPECT_EQ(m, 2);
  ASSERT_NE(out, nullptr);
  const double expected[6] = {1, 2, 3, 0, 1, 0};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out[i], expected[i]);
  BSdbgfree(out);
  // The caller's array is filled when given.
  double mine[10];
  out = mine;
  BSeffdegvec(4, 2, coef, -1, &m, &out);
  EXPECT_EQ(m, 4);
  EXPECT_EQ(out, mine);
  EXPECT_EQ(mine[9], 1e-4);
  // Everything within the tolerance: -1 and nothing copied.
  out = nullptr;
  BSeffdegvec(4, 2, coef, 100, &m, &out);
  EXPECT_EQ(m, -1);
  EXPECT_EQ(out, nullptr);
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tests/bspline/knots_fixtures.h"

namespace {

double knot_tol(const TestCurve &c, int *rc_out = nullptr) {
  double tol = -1;
  int rc = 0;
  BScvkttol2(c.cv.order, c.cv.knots, c.cv.num_poles, c.cv.poles, c.cv.weights, &tol, &rc);
  if (rc_out) *rc_out = rc;
  return tol;
}

TEST(KnotTolerance, BasisToleranceOverPolygonLengthTimesRange) {
  // Polygon of length 20 over the range [0, 4]: 1e-6 / 20 * 4.
  TestCurve c(3, {0, 0, 0, 10, 0, 0, 10, 10, 0}, {0, 0, 0, 4, 4, 4});
  EXPECT_DOUBLE_EQ(knot_tol(c), 1e-6 / 20 * 4);
  // A polygon shorter than 0.001 counts as 0.001.
  TestCurve tiny(2, {0, 0, 0, 1e-5, 0, 0}, {0, 0, 2, 2});
  EXPECT_DOUBLE_EQ(knot_tol(tiny), 1e-6 / 0.001 * 2);
  // Weighted poles are measured as points.
  TestCurve r(3, {0, 0, 0, 10, 0, 0, 10, 10, 0}, {0, 0, 0, 4, 4, 4}, {1, 2, 4});
  EXPECT_DOUBLE_EQ(knot_tol(r), 1e-6 / 20 * 4);
}

TEST(KnotTolerance, ShortIntervalsLowerItAndTinyOnesAreIgnored) {
  // Range 1, polygon length 1: 1e-6; an interval of 1e-8 lowers it to 1e-9.
  TestCurve c(2, {0, 0, 0, 0.5, 0, 0, 0.5 + 1e-8, 0, 0, 1, 0, 0}, {0, 0, 0.5, 0.5 + 1e-8, 1, 1});
  EXPECT_DOUBLE_EQ(knot_tol(c), 0.1 * (c.knots[3] - c.knots[2]));
  EXPECT_NEAR(knot_tol(c), 1e-9, 1e-16);
  TestCurve d(2, {0, 0, 0, 0.5, 0, 0, 0.5, 0, 0, 1, 0, 0}, {0, 0, 0.5, 0.5 + 1e-14, 1, 1});
  EXPECT_DOUBLE_EQ(knot_tol(d), 1e-6);
}

TEST(KnotTolerance, FixedModeAndUnmeasurablePolygons) {
  TestCurve c(3, {0, 0, 0, 10, 0, 0, 10, 10, 0}, {0, 0, 0, 4, 4, 4});
  EXPECT_EQ(BSkttolmode(1), 0);
  EXPECT_EQ(BSkttolmode(-1), 1);
  const double fixed = knot_tol(c);
  EXPECT_EQ(BSkttolmode(0), 1);
  EXPECT_EQ(fixed, BStoltab[8]);
  // A zero weight: the polygon cannot be measured, the plain basis tolerance is the answer and rc stays 0.
  TestCurve r(3, {0, 0, 0, 10, 0, 0, 10, 10, 0}, {0, 0, 0, 4, 4, 4}, {1, 1, 1});
  r.weights[1] = 0;
  int rc = -99;
  EXPECT_EQ(knot_tol(r, &rc), 1e-6);
  EXPECT_EQ(rc, 0);
}

TEST(KnotTolerance, ParameterToleranceFollowsSpeedAndCurvature) {
  // A line of speed 10: dist / 10.
  TestCurve line(2, {0, 0, 0, 10, 0, 0}, {0, 0, 1, 1});
  double tol = 0;
  int rc = 0;
  BSlocknttol(&line.cv, 0.3, 1e-6, &tol, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_DOUBLE_EQ(tol, 1e-7);
  // A parabola that turns back on itself, at the parameter where its speed is zero: the second-order step
  // sqrt(dist / (2 |C''|)).
  TestCurve para(3, {-1, 1, 0, 0, -1, 0, -1, 1, 0}, {0, 0, 0, 1, 1, 1});
  BSlocknttol(&para.cv, 0.5, 1e-6, &tol, &rc);
  ASSERT_EQ(rc, 0);
  double d[9];
  BScveval_n(&para.cv, 0.5, 2, d, &rc);
  EXPECT_NEAR(std::hypot(d[3], d[4]), 0, 1e-15);
  EXPECT_DOUBLE_EQ(tol, std::sqrt(1e-6 / (2 * std::hypot(d[6], d[7]))));
  // Where it moves, the first-order step, capped by the second-order one.
  BSlocknttol(&para.cv, 0.1, 1e-6, &tol, &rc);
  BScveval_n(&para.cv, 0.1, 2, d, &rc);
  EXPECT_DOUBLE_EQ(tol, std::min(1e-6 / std::hypot(d[3], d[4]), std::sqrt(1e-6 / (2 * std::hypot(d[6], d[7])))));
  // A point curve: neither derivative exceeds the distance.
  TestCurve pt(2, {1, 1, 1, 1, 1, 1}, {0, 0, 1, 1});
  BSlocknttol(&pt.cv, 0.5, 1e-6, &tol, &rc);
  EXPECT_EQ(tol, 1e-10);
  // A high order slowing into coinciding poles: speed and curvature at u are nearly zero, the estimate alone
  // spans whole knot gaps; the points a tolerance away still lie within twice the distance.
  std::vector<double> poles(39, -14.0);
  for (int i = 0; i < 11; ++i) poles[i] = -15;
  TestCurve slow(8, poles, {-15, -15, -15, -15, -15, -15, -15, -15, -14.75, -14.5, -14.25, -14, -13.75, -12.75,
                            -12.75, -12.75, -12.75, -12.75, -12.75, -12.75, -12.75});
  // A small curve lingering at a heavy middle pole (weights 1, 1e3, 1e-3) that races to its last pole within the
  // last 1e-6 of the range: before the race the estimate reaches past the end, where the point is read.
  TestCurve linger(3, {0, 0, 0, 1e-3, 0, 0, 3e-3, 0, 0}, {0, 0, 0, 1, 1, 1}, {1, 1e3, 1e-3});
  for (const auto &[c, u] : {std::pair{&slow, -14.0256}, {&slow, -14.1}, {&slow, -13.9}, {&linger, 0.5},
                             {&linger, 0.99}, {&linger, 0.999}}) {
    BSlocknttol(&c->cv, u, 1e-6, &tol, &rc);
    ASSERT_EQ(rc, 0);
    double at[3], off[3];
    BScveval_n(&c->cv, u, 0, at, &rc);
    for (double v : {std::max(u - tol, c->start()), std::min(u + tol, c->end())}) {
      BScveval_n(&c->cv, v, 0, off, &rc);
      EXPECT_LE(std::hypot(off[0] - at[0], off[1] - at[1], off[2] - at[2]), 2e-6) << u << " " << tol;
    }
  }
}

}  // namespace

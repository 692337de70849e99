#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "bspline/distance.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

TEST(PointOnCurve, BoxGateAndTolerance) {
  const TestCurve seg(2, {0, 0, 0, 10, 0, 0}, {0, 0, 1, 1});
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char *what;
    double pt[3];
    BSboolean ok, on;
    double u;
    int rc;
  } cases[] = {
      {"half dist_tol off: on, with its parameter", {5, 5e-7, 0}, 1, 1, 0.5, 0},
      {"outside the widened box: off, u untouched", {5, 2e-6, 0}, 1, 0, -3, 0},
      {"far beyond the end: off, u untouched", {20, 0, 0}, 1, 0, -3, 0},
      {"the end point itself", {10, 0, 0}, 1, 1, 1, 0},
      {"a NaN coordinate", {5, nan, 0}, 0, 0, -3, -2},
  };
  for (const Case &c : cases) {
    double u = -3;
    BSboolean on = 7;
    int rc = 99;
    EXPECT_EQ(BSprptoncv(&rc, &seg.cv, c.pt, &u, &on), c.ok) << c.what;
    EXPECT_EQ(rc, c.rc) << c.what;
    EXPECT_EQ(on, c.on) << c.what;
    EXPECT_NEAR(u, c.u, 1e-12) << c.what;
  }
}

TEST(PointOnCurve, ProjectionOntoPlane) {
  const double s = std::sqrt(0.5);
  const TestCurve flat(3, {0, 0, 2, 1, 3, 2, 4, -1, 2, 6, 0, 2}, {0, 0, 0, 0.5, 1, 1, 1});
  const TestCurve arc(3, {1, 0, 0, 1, 1, 1, 0, 1, 2}, {0, 0, 0, 1, 1, 1}, {1, s, 1});
  struct Case {
    const char *what;
    const TestCurve &curve;
    double normal[3], dir[3];
    int rc;
  } cases[] = {
      {"a planar curve onto its own plane", flat, {0, 0, 3}, {1, 1, 1}, 0},
      {"a rational curve along a slanted direction", arc, {0, 0, 1}, {0.3, -0.2, 1}, 0},
      {"a direction within the plane", arc, {0, 0, 1}, {1, 1, 0}, 13},
      {"a zero direction", arc, {0, 0, 1}, {0, 0, 0}, -6},
      {"a zero normal", arc, {0, 0, 0}, {0, 0, 1}, -6},
  };
  const double plane_pt[3] = {5, 5, 2};
  for (const Case &c : cases) {
    const int n = c.curve.n();
    std::vector<double> poles(3 * n, 9), knots(n + 3, 9), weights(n, 9);
    VOQbsp_curve out{};
    out.poles = poles.data();
    out.knots = knots.data();
    out.weights = weights.data();
    double normal[3] = {c.normal[0], c.normal[1], c.normal[2]};
    int rc = 99;
    EXPECT_EQ(BSprj_cv_pl(&rc, &c.curve.cv, plane_pt, normal, c.dir, &out), c.rc == 0) << c.what;
    EXPECT_EQ(rc, c.rc) << c.what;
    if (rc != 0) {
      EXPECT_EQ(out.num_poles, 0) << c.what;
      EXPECT_EQ(poles[0], 9) << c.what;
      continue;
    }
    EXPECT_NEAR(std::hypot(normal[0], normal[1], normal[2]), 1, 1e-15) << c.what;
    EXPECT_EQ(knots, c.curve.knots) << c.what;
    if (!c.curve.weights.empty()) { EXPECT_EQ(weights, c.curve.weights) << c.what; }
    EXPECT_EQ(out.planar, BSTRUE) << c.what;
    for (int i = 0; i < n; ++i) {
      const double w = c.curve.weights.empty() ? 1 : c.curve.weights[i];
      EXPECT_NEAR(poles[3 * i + 2] / w, 2, 1e-12) << c.what;  // on the plane z = 2
      if (&c.curve == &flat) {
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(poles[3 * i + k], c.curve.poles[3 * i + k], 1e-12) << c.what;
      }
    }
  }
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "tests/bspline/knots_fixtures.h"

namespace {

TEST(CurveCopy, CopiesEverythingButBoundaries) {
  TestCurve c(3, {0, 0, 0, 1, 2, 0, 2, 0, 0, 3, 1, 0}, {0, 0, 0, 1, 3, 3, 3}, {1, 2, 3, 4});
  std::vector<double> bd = {1, 2};
  c.cv.num_boundaries = 1;
  c.cv.bdrys = bd.data();
  c.cv.planar = 1;
  c.cv.phy_closed = 1;
  c.cv.periodic = 1;
  c.cv.non_uniform = 0;
  RoomCurve out(4, 3, true, 1);
  int rc = 0;
  ASSERT_TRUE(BScv_copy(&rc, &c.cv, &out.cv));
  EXPECT_EQ(out.cv.num_boundaries, 0);
  EXPECT_EQ(out.cv.bdrys, nullptr);
  EXPECT_EQ(std::vector<double>(out.poles.begin(), out.poles.begin() + 12), c.poles);
  EXPECT_EQ(std::vector<double>(out.weights.begin(), out.weights.begin() + 4), c.weights);
  EXPECT_EQ(knots_of(out.cv), c.knots);
  EXPECT_EQ(out.cv.planar, 1);
  EXPECT_EQ(out.cv.phy_closed, 1);
  EXPECT_EQ(out.cv.periodic, 1);
  EXPECT_EQ(out.cv.non_uniform, 0);
  // Onto itself: nothing changes, the boundaries stay.
  ASSERT_TRUE(BScv_copy(&rc, &c.cv, &c.cv));
  EXPECT_EQ(c.cv.num_boundaries, 1);
  // A polynomial copy leaves the target without weights.
  TestCurve p(2, {0, 0, 0, 1, 0, 0}, {0, 0, 1, 1});
  ASSERT_TRUE(BScv_copy(&rc, &p.cv, &out.cv));
  EXPECT_EQ(out.cv.rational, 0);
  EXPECT_EQ(out.cv.weights, nullptr);
}

TEST(CurveCopy, MissingArrays) {
  TestCurve c(2, {0, 0, 0, 1, 0, 0}, {0, 0, 1, 1}, {1, 2});
  int rc = 0;
  EXPECT_FALSE(BScv_copy(&rc, &c.cv, nullptr));
  EXPECT_EQ(rc, 3);
  RoomCurve no_weights(2, 2, false);
  EXPECT_FALSE(BScv_copy(&rc, &c.cv, &no_weights.cv));
  EXPECT_EQ(rc, 3);
  RoomCurve no_knots(2, 2, true);
  no_knots.cv.knots = nullptr;
  EXPECT_FALSE(BScv_copy(&rc, &c.cv, &no_knots.cv));
  EXPECT_EQ(rc, 3);
  c.cv.weights = nullptr;
  RoomCurve fine(2, 2, true);
  EXPECT_FALSE(BScv_copy(&rc, &c.cv, &fine.cv));
  EXPECT_EQ(rc, -2);
}

TEST(CurveCopy, CurvesCarriedIntoAFrameAndBack) {
  // Rotation by 90 degrees about z, origin (1, 2, 3), scale 2.
  const double o[3] = {1, 2, 3};
  const double M[9] = {0, 1, 0, -1, 0, 0, 0, 0, 1};
  const double s = 2;
  std::mt19937 rng(7);
  auto c = random_curve(rng, 4, 7, true, true);
  c->cv.num_boundaries = 0;
  RoomCurve local(7, 4, true), back(7, 4, true);
  int rc = 0;
  ASSERT_TRUE(BScvoton(&rc, o, M, &s, &c->cv, &local.cv));
  ASSERT_TRUE(BScvntoo(&rc, o, M, &s, &local.cv, &back.cv));
  EXPECT_EQ(knots_of(local.cv), c->knots);
  const auto p = cartesian_poles(c->cv), q = cartesian_poles(local.cv), r = cartesian_poles(back.cv);
  for (int i = 0; i < 7; ++i) {
    const double d[3] = {p[3 * i] - 1, p[3 * i + 1] - 2, p[3 * i + 2] - 3};
    EXPECT_NEAR(q[3 * i], 2 * d[1], 1e-12);
    EXPECT_NEAR(q[3 * i + 1], -2 * d[0], 1e-12);
    EXPECT_NEAR(q[3 * i + 2], 2 * d[2], 1e-12);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(r[3 * i + k], p[3 * i + k], 1e-12);
  }
  EXPECT_EQ(std::vector<double>(local.weights.begin(), local.weights.begin() + 7), c->weights);
  // Single points take the same maps.
  double pn[3], po[3];
  ASSERT_TRUE(BSptoldtnw(&rc, o, M, &s, &p[0], pn));
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(pn[k], q[k], 1e-12);
  ASSERT_TRUE(BSptnwtold(&rc, o, M, &s, pn, po));
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(po[k], p[k], 1e-12);
  // A copy that cannot be made fails the transformation.
  EXPECT_FALSE(BScvoton(&rc, o, M, &s, &c->cv, nullptr));
  EXPECT_EQ(rc, 3);
}

}  // namespace

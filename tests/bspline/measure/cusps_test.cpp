#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/bspline/measure_fixtures.h"

namespace {

// A clamped cubic of 7 poles with a triple knot at 1: C0 at pole 3.
std::unique_ptr<TestCurve> cornered(bool bent) {
  const std::vector<double> poles = {0, 0, 0, 1, 1, 0, 2, 1, 0, 3, 1, 0,
                                     bent ? 3.5 : 4.0, bent ? 2.0 : 1.0, 0, 5, 2, 0, 6, 0, 0};
  return std::make_unique<TestCurve>(4, poles, std::vector<double>{0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 2});
}

TEST(Cusps, AngleBetweenVectorsAboutAReference) {
  const double x[3] = {1, 0, 0}, y[3] = {0, 2, 0}, up[3] = {0, 0, 1}, down[3] = {0, 0, -1};
  double a = 0;
  int rc = 0;
  BSangvecs(x, y, up, &a, &rc);
  EXPECT_NEAR(a, M_PI / 2, 1e-15);
  BSangvecs(x, y, down, &a, &rc);
  EXPECT_NEAR(a, 3 * M_PI / 2, 1e-15);
  const double back[3] = {-3, 0, 0};
  BSangvecs(x, back, up, &a, &rc);
  EXPECT_NEAR(a, M_PI, 1e-15);
}

TEST(Cusps, CornerPolesAndSmoothJoints) {
  int rc = 0, count = -1, idx[4];
  double params[4];
  BSboolean cusp = 7;
  auto smooth = cornered(false);
  ASSERT_TRUE(BStstcvcusp(&rc, &smooth->cv, 3, &cusp));
  EXPECT_EQ(cusp, BSFALSE);
  BSfndcvcsp(&smooth->cv, &count, params, &rc);
  EXPECT_EQ(count, 0);
  BScvktncsp(&smooth->cv, &count, params, idx, &rc);
  ASSERT_EQ(count, 1) << "a C0 knot that is not a corner";
  EXPECT_EQ(params[0], 1);
  EXPECT_EQ(idx[0], 4);

  auto bent = cornered(true);
  BStstcvcusp(&rc, &bent->cv, 3, &cusp);
  EXPECT_EQ(cusp, BSTRUE);
  BSfndcvcsp(&bent->cv, &count, params, &rc);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(params[0], 1);
  BScvktncsp(&bent->cv, &count, params, idx, &rc);
  EXPECT_EQ(count, 0);

  // A reversal along the line is a cusp too; so is a polygon that doubles back after coincident poles.
  TestCurve rev(4, {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0, 3, 0, 0, 2, 0, 0, 1, 0, 0},
                {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 2});
  BStstcvcusp(&rc, &rev.cv, 3, &cusp);
  EXPECT_EQ(cusp, BSTRUE);
  // End poles of an open curve have no corner to test.
  EXPECT_FALSE(BStstcvcusp(&rc, &smooth->cv, 0, &cusp));
  EXPECT_EQ(rc, -2);
  EXPECT_FALSE(BStstcvcusp(&rc, &smooth->cv, 6, &cusp));
  EXPECT_EQ(rc, -2);
}

TEST(Cusps, ClosedCurveCornerAtTheSeam) {
  // A closed cubic whose ends meet at an angle, with a smooth C0 joint at 1 and a bent one at 2.
  TestCurve c(4, {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0, 4, 0, 0, 5, 1, 0, 5, 2, 0, 3, 3, 0, 1, 2, 0, 0, 0, 0},
              {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 3});
  c.cv.phy_closed = 1;
  int rc = 0, count = -1, idx[6];
  double params[6];
  BSfndcvcsp(&c.cv, &count, params, &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(params[0], 0) << "the seam";
  EXPECT_EQ(params[1], 2);
  // The seam cusp lies below every interior knot: it must not be paired with the smooth knot at 1.
  BScvktncsp(&c.cv, &count, params, idx, &rc);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(params[0], 1);
  EXPECT_EQ(idx[0], 4);
  // Every knot of a polyline is a corner candidate; none is reported.
  TestCurve poly(2, {0, 0, 0, 1, 0, 0, 2, 0, 0}, {0, 0, 1, 2, 2});
  BScvktncsp(&poly.cv, &count, params, idx, &rc);
  EXPECT_EQ(count, 0);
}

}  // namespace

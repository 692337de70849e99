#include <gtest/gtest.h>

#include "bspline/bspline.h"

namespace {

TEST(LineIntersection, CrossingSkewParallelAndCoincident) {
  int rc = 0;
  double x[3] = {-9, -9, -9};
  const double a[3] = {0, 0, 0}, b[3] = {1, 1, 0}, c[3] = {4, 0, 0}, d[3] = {3, 1, 0};
  ASSERT_EQ(BSxln(&rc, a, b, c, d, x), BSTRUE);
  EXPECT_NEAR(x[0], 2, 1e-15);  // beyond both segments: the lines are infinite
  EXPECT_NEAR(x[1], 2, 1e-15);
  const double c7[3] = {4, 0, 1e-7}, d7[3] = {3, 1, 1e-7};
  ASSERT_EQ(BSxln(&rc, a, b, c7, d7, x), BSTRUE);
  EXPECT_NEAR(x[2], 0.5e-7, 1e-15);
  const double c3[3] = {4, 0, 1e-3}, d3[3] = {3, 1, 1e-3};
  double untouched[3] = {5, 5, 5};
  EXPECT_EQ(BSxln(&rc, a, b, c3, d3, untouched), BSFALSE);
  EXPECT_EQ(rc, 43);
  EXPECT_EQ(untouched[0], 5);
  const double p[3] = {0, 2, 0}, q[3] = {1, 3, 0};
  EXPECT_EQ(BSxln(&rc, a, b, p, q, x), BSFALSE);
  EXPECT_EQ(rc, 45);
  const double r[3] = {5, 5, 0}, s[3] = {7, 7, 0};
  EXPECT_EQ(BSxln(&rc, a, b, r, s, x), BSFALSE);
  EXPECT_EQ(rc, 46);
  EXPECT_EQ(BSxln(&rc, a, a, r, s, x), BSFALSE);
  EXPECT_EQ(rc, -6);
}

}  // namespace

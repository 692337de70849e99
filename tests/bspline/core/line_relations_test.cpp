#include <gtest/gtest.h>

#include <cmath>

#include "bspline/bspline.h"

namespace {

TEST(LineRelations, FourKindsAndAShortLine) {
  int rc = 0;
  const double a1[3] = {0, 0, 0}, b1[3] = {2, 0, 0};
  const double skew_a[3] = {0, 1, 1}, skew_b[3] = {0, 3, 1};
  EXPECT_EQ(BSrelplnln(&rc, a1, b1, skew_a, skew_b), 2);
  const double par_a[3] = {0, 1, 0}, par_b[3] = {5, 1, 0};
  EXPECT_EQ(BSrelplnln(&rc, a1, b1, par_a, par_b), 3);
  // Four points on one line are coplanar: the lines coincide, they are not skew.
  const double co_a[3] = {5, 0, 0}, co_b[3] = {7, 0, 0};
  EXPECT_EQ(BSrelplnln(&rc, a1, b1, co_a, co_b), 4);
  EXPECT_EQ(rc, 0);
  const double x_a[3] = {1, -1, 0}, x_b[3] = {1, 1, 0};
  EXPECT_EQ(BSrelplnln(&rc, a1, b1, x_a, x_b), 5);
  const double tiny[3] = {1e-15, 0, 0};
  EXPECT_EQ(BSrelplnln(&rc, a1, tiny, x_a, x_b), 0);
  EXPECT_EQ(rc, -6);
}

TEST(LineRelations, LinesSharingTheirSecondPointIntersectWithoutFailure) {
  int rc = 0;
  const double a1[3] = {0, 0, 0}, b[3] = {2, 2, 0}, a2[3] = {4, 0, 0};
  EXPECT_EQ(BSrelplnln(&rc, a1, b, a2, b), 5);
  EXPECT_EQ(rc, 0);
  int type = 0;
  double dist = -1, closest[6], params[2];
  ASSERT_EQ(BSdistll(&rc, a1, b, a2, b, &type, &dist, closest, params), BSTRUE);
  EXPECT_EQ(type, 3);
  EXPECT_NEAR(params[0], 1, 1e-15);
  EXPECT_NEAR(params[1], 1, 1e-15);
  // Parallel lines sharing their second point are one line.
  const double a3[3] = {-2, -2, 0};
  EXPECT_EQ(BSrelplnln(&rc, a1, b, a3, b), 4);
  EXPECT_EQ(rc, 0);
}

TEST(LineRelations, DistancesAndClosestPoints) {
  int rc = 0, type = 0;
  double dist = 0, cl[6], par[2];
  const double a1[3] = {0, 0, 0}, b1[3] = {2, 0, 0};
  const double sa[3] = {1, -1, 3}, sb[3] = {1, 1, 3};  // skew, 3 apart, crossing above x = 1
  ASSERT_EQ(BSdistll(&rc, a1, b1, sa, sb, &type, &dist, cl, par), BSTRUE);
  EXPECT_EQ(type, 0);
  EXPECT_NEAR(dist, 3, 1e-14);
  EXPECT_NEAR(par[0], 0.5, 1e-15);
  EXPECT_NEAR(par[1], 0.5, 1e-15);
  EXPECT_NEAR(cl[5], 3, 1e-15);
  const double pa[3] = {0, 4, 0}, pb[3] = {6, 4, 0};
  ASSERT_EQ(BSdistll(&rc, a1, b1, pa, pb, &type, &dist, cl, par), BSTRUE);
  EXPECT_EQ(type, 1);
  EXPECT_NEAR(dist, 4, 1e-15);
  EXPECT_EQ(par[0], 1.0);
  EXPECT_NEAR(par[1], 2.0 / 6, 1e-15);
  const double ca[3] = {5, 0, 0}, cb[3] = {7, 0, 0};
  ASSERT_EQ(BSdistll(&rc, a1, b1, ca, cb, &type, &dist, cl, par), BSTRUE);
  EXPECT_EQ(type, 2);
  EXPECT_EQ(dist, 0);
  const double xa[3] = {1, -1, 0}, xb[3] = {1, 3, 0};
  ASSERT_EQ(BSdistll(&rc, a1, b1, xa, xb, &type, &dist, cl, par), BSTRUE);
  EXPECT_EQ(type, 3);
  EXPECT_NEAR(cl[0], 1, 1e-15);
  EXPECT_NEAR(par[1], 0.25, 1e-15);
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "bspline/bspline.h"

namespace {

TEST(LineDistance, SkewLinesMeetTheirCommonPerpendicular) {
  std::mt19937 rng(12);
  std::uniform_real_distribution<double> d(-4, 4);
  for (int i = 0; i < 100; ++i) {
    const double p1[3] = {d(rng), d(rng), d(rng)}, p2[3] = {d(rng), d(rng), d(rng)};
    const double d1[3] = {d(rng), d(rng), d(rng)}, d2[3] = {d(rng), d(rng), d(rng)};
    BSboolean parallel = 1;
    double dist = -1, c1[3], c2[3];
    int rc = 0;
    ASSERT_EQ(BSlldist(&rc, p1, p2, d1, d2, &parallel, &dist, c1, c2), BSTRUE);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(parallel, BSFALSE);
    double w[3] = {c2[0] - c1[0], c2[1] - c1[1], c2[2] - c1[2]};
    EXPECT_NEAR(std::sqrt(w[0] * w[0] + w[1] * w[1] + w[2] * w[2]), dist, 1e-12);
    const double l1 = std::sqrt(d1[0] * d1[0] + d1[1] * d1[1] + d1[2] * d1[2]);
    const double l2 = std::sqrt(d2[0] * d2[0] + d2[1] * d2[1] + d2[2] * d2[2]);
    EXPECT_NEAR((w[0] * d1[0] + w[1] * d1[1] + w[2] * d1[2]) / l1, 0, 1e-10);
    EXPECT_NEAR((w[0] * d2[0] + w[1] * d2[1] + w[2] * d2[2]) / l2, 0, 1e-10);
    // Closest points lie on their lines.
    double e[3] = {c1[0] - p1[0], c1[1] - p1[1], c1[2] - p1[2]};
    double cr[3];
    BSvcross(&rc, e, d1, cr);
    EXPECT_NEAR(cr[0] * cr[0] + cr[1] * cr[1] + cr[2] * cr[2], 0, 1e-18 * (1 + l1 * l1));
  }
}

TEST(LineDistance, ParallelLines) {
  const double p1[3] = {0, 0, 0}, p2[3] = {4, 3, 0}, d1[3] = {2, 0, 0}, d2[3] = {-1, 0, 0};
  BSboolean parallel = 0;
  double dist, c1[3], c2[3];
  int rc = 0;
  ASSERT_EQ(BSlldist(&rc, p1, p2, d1, d2, &parallel, &dist, c1, c2), BSTRUE);
  EXPECT_EQ(parallel, BSTRUE);
  EXPECT_DOUBLE_EQ(dist, 3);
  EXPECT_DOUBLE_EQ(c1[0], 2);  // half way towards the other line's point
  EXPECT_DOUBLE_EQ(c2[0], 2);
  const double none[3] = {0, 0, 0};
  BSlldist(&rc, p1, p2, none, d2, &parallel, &dist, c1, c2);
  EXPECT_EQ(rc, -6);
}

TEST(LineDistance, LeastSquaresThreeByTwo) {
  const double A[6] = {1, 0, 0, 1, 1, 1};  // columns (1, 0, 1) and (0, 1, 1)
  const double b[3] = {1, 2, 3};           // consistent: x = (1, 2)
  double x[2];
  int rc = 0;
  ASSERT_EQ(BSlsq3x2(&rc, A, b, x), BSTRUE);
  EXPECT_NEAR(x[0], 1, 1e-15);
  EXPECT_NEAR(x[1], 2, 1e-15);
  const double b2[3] = {1, 1, 0};  // normal equations: [[2, 1], [1, 2]] x = (1, 1)
  BSlsq3x2(&rc, A, b2, x);
  EXPECT_NEAR(x[0], 1.0 / 3, 1e-15);
  EXPECT_NEAR(x[1], 1.0 / 3, 1e-15);
  const double zero_col[6] = {0, 1, 0, 2, 0, 3};
  EXPECT_EQ(BSlsq3x2(&rc, zero_col, b, x), BSFALSE);
  EXPECT_EQ(rc, -1);
  const double dependent[6] = {1, 2, 2, 4, 3, 6};
  EXPECT_EQ(BSlsq3x2(&rc, dependent, b, x), BSFALSE);
  EXPECT_NE(rc, 0);
}

}  // namespace

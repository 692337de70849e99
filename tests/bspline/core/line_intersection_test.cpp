#include <gtest/gtest.h>

#include <vector>

#include "bspline/bspline.h"

namespace {

TEST(LineIntersection, CrossingSkewParallelAndCoincident) {
  using Vec = std::vector<double>;
  const struct {
    Vec p1, p2, p3, p4;
    int rc;
    Vec x;  // the meeting point, or the sentinel a failure must leave
  } cases[] = {
      {{0, 0, 0}, {1, 1, 0}, {4, 0, 0}, {3, 1, 0}, 0, {2, 2, 0}},  // beyond both segments: the lines are infinite
      {{0, 0, 0}, {1, 1, 0}, {4, 0, 1e-7}, {3, 1, 1e-7}, 0, {2, 2, 0.5e-7}},  // skew, within dist_tol: midpoint
      {{0, 0, 0}, {1, 1, 0}, {4, 0, 1e-3}, {3, 1, 1e-3}, 43, {-9, -9, -9}},
      {{0, 0, 0}, {1, 0, 0}, {0, 2, 0}, {5, 2, 0}, 45, {-9, -9, -9}},         // parallel, 2 apart
      {{0, 0, 0}, {1, 1, 0}, {5, 5, 0}, {7, 7, 0}, 46, {-9, -9, -9}},         // the same line twice
      {{0, 0, 0}, {0, 0, 0}, {5, 5, 0}, {7, 7, 0}, -6, {-9, -9, -9}},
      {{0, 0, 0}, {1, 1, 0}, {5, 5, 0}, {5, 5, 0}, -6, {-9, -9, -9}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(&c - cases);
    int rc = 99;
    double x[3] = {-9, -9, -9};
    EXPECT_EQ(BSxln(&rc, c.p1.data(), c.p2.data(), c.p3.data(), c.p4.data(), x), c.rc == 0 ? BSTRUE : BSFALSE);
    EXPECT_EQ(rc, c.rc);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(x[i], c.x[i], 1e-15) << i;
  }
}

}  // namespace

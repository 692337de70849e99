#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "bspline/legendre.h"

namespace {

TEST(LineCurves, SegmentOfAnyOrder) {
  const double a[3] = {1, 2, 3}, b[3] = {4, 6, 3}, nan[3] = {0, std::numeric_limits<double>::quiet_NaN(), 0};
  const struct {
    const double *p1;
    int k;
    BSboolean rational;
    bool null_curve;
    int rc;
  } cases[] = {{b, 2, 0, false, 0}, {b, 5, 1, false, 0}, {a, 3, 0, false, 0},
               {b, 1, 0, false, -2}, {nan, 3, 0, false, -2}, {b, 3, 0, true, 3}};
  for (const auto &cs : cases) {
    std::vector<double> poles(15, 7.0), knots(10, 7.0), weights(5, 7.0), bdrys(2, 7.0);
    VOQbsp_curve cv{3, 1, 1, 3, poles.data(), 6, knots.data(), 0, weights.data(), 1, 1, 1, bdrys.data()};
    int rc = 99;
    BSlngenord(a, cs.p1, static_cast<std::int16_t>(cs.k), cs.rational, cs.null_curve ? nullptr : &cv, &rc);
    ASSERT_EQ(rc, cs.rc) << cs.k;
    if (rc != 0) continue;
    const int k = cs.k;
    EXPECT_TRUE(cv.order == k && cv.num_poles == k && cv.num_knots == 2 * k && cv.rational == cs.rational &&
                cv.periodic == 0 && cv.non_uniform == 0 && cv.planar == 0 && cv.phy_closed == 0 &&
                cv.num_boundaries == 0 && cv.bdrys == nullptr);
    for (int i = 0; i < k; ++i)
      for (int j = 0; j < 3; ++j) EXPECT_NEAR(poles[3 * i + j], a[j] + (cs.p1[j] - a[j]) * i / (k - 1), 1e-15);
    for (int j = 0; j < 3; ++j) EXPECT_EQ(poles[3 * (k - 1) + j], cs.p1[j]);
    for (int i = 0; i < 2 * k; ++i) EXPECT_EQ(knots[i], i < k ? 0.0 : 1.0);
    EXPECT_EQ(cv.weights, cs.rational ? weights.data() : nullptr);
    for (int i = 0; i < k && cs.rational; ++i) EXPECT_EQ(weights[i], 1.0);
  }
}

}  // namespace

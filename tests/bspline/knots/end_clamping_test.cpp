#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/bspline/knots_fixtures.h"

namespace {

bool clamped_start(const VOQbsp_curve &cv) {
  for (int i = 0; i < cv.order; ++i)
    if (cv.knots[i] != cv.knots[cv.order - 1]) return false;
  return true;
}

bool clamped_end(const VOQbsp_curve &cv) {
  for (int i = cv.num_poles; i < cv.num_knots; ++i)
    if (cv.knots[i] != cv.knots[cv.num_poles]) return false;
  return true;
}

TEST(EndClamping, BothEndsKeepTheCurveAndThePoleCount) {
  std::mt19937 rng(3);
  for (int order = 2; order <= 12; ++order)
    for (int rational = 0; rational <= 1; ++rational) {
      auto c = random_curve(rng, order, order + 3, rational, false);
      const HeapCurve before = heap_copy(c->cv);
      c->cv.periodic = 1;
      int rc = 0;
      ASSERT_TRUE(BScnvtomkt(&rc, &c->cv));
      EXPECT_EQ(c->cv.num_poles, order + 3);
      EXPECT_EQ(c->cv.periodic, 0);
      EXPECT_TRUE(clamped_start(c->cv) && clamped_end(c->cv));
      EXPECT_EQ(range_start(c->cv), range_start(*before));
      EXPECT_EQ(range_end(c->cv), range_end(*before));
      expect_same_points(*before, c->cv, range_start(*before), range_end(*before), rng, 1e-11);
      // The clamped ends are the curve's end points.
      const auto p0 = curve_point(*before, range_start(*before));
      const auto pole0 = cartesian_poles(c->cv);
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(pole0[k], p0[k], 1e-11 * std::max(1.0, std::fabs(p0[k])));
    }
}

TEST(EndClamping, OneEndOnlyAndAlreadyClampedCurves) {
  std::mt19937 rng(9);
  auto c = random_curve(rng, 5, 9, true, false);
  const HeapCurve before = heap_copy(c->cv);
  int rc = 0;
  BScnvtmekt(1, &c->cv, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_FALSE(clamped_start(c->cv));
  EXPECT_TRUE(clamped_end(c->cv));
  expect_same_points(*before, c->cv, range_start(*before), range_end(*before), rng, 1e-11);
  BScnvtmekt(0, &c->cv, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_TRUE(clamped_start(c->cv));

  // Clamped already: only the periodic flag changes.
  auto d = random_curve(rng, 4, 8, false, true);
  const std::vector<double> poles = d->poles, knots = d->knots;
  d->cv.periodic = 1;
  ASSERT_TRUE(BScnvtomkt(&rc, &d->cv));
  EXPECT_EQ(d->poles, poles);
  EXPECT_EQ(d->knots, knots);
  EXPECT_EQ(d->cv.periodic, 0);
}

TEST(EndClamping, PartlyClampedStart) {
  // Two of three start knots already equal the range start.
  TestCurve c(3, {0, 0, 0, 1, 2, 0, 3, 0, 0, 4, 1, 0}, {-1, 1, 1, 2, 3, 3, 3});
  const HeapCurve before = heap_copy(c.cv);
  int rc = 0;
  ASSERT_TRUE(BScnvtomkt(&rc, &c.cv));
  EXPECT_EQ(c.knots, (std::vector<double>{1, 1, 1, 2, 3, 3, 3}));
  std::mt19937 rng(1);
  expect_same_points(*before, c.cv, 1, 3, rng);

  // The range starts on a knot already repeated order times past the first knot, and ends on one repeated order
  // times before the last: clamped, the poles beyond the live spans are the end points, as clamped ends promise.
  TestCurve jumps(2, {5, 5, 0, 0, 0, 0, 1, 0, 0, 2, 1, 0, 9, 9, 0}, {-1, 0, 0, 1, 2, 2, 3});
  const HeapCurve jumps_before = heap_copy(jumps.cv);
  ASSERT_TRUE(BScnvtomkt(&rc, &jumps.cv));
  EXPECT_EQ(std::vector<double>(jumps.poles.begin(), jumps.poles.begin() + 3), (std::vector<double>{0, 0, 0}));
  EXPECT_EQ(std::vector<double>(jumps.poles.end() - 3, jumps.poles.end()), (std::vector<double>{2, 1, 0}));
  expect_same_points(*jumps_before, jumps.cv, 0, 2, rng);
}

}  // namespace

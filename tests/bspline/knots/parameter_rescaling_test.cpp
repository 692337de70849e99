#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/bspline/knots_fixtures.h"

namespace {

TEST(ParameterRescaling, KnotsAndBoundariesMapLinearly) {
  TestCurve c(3, {0, 0, 0, 1, 2, 0, 2, 0, 0, 3, 1, 0}, {0, 0, 0, 2, 4, 4, 4});
  std::vector<double> bd = {1, 3};
  c.cv.num_boundaries = 1;
  c.cv.bdrys = bd.data();
  RoomCurve out(4, 3, false, 1);
  double *own = out.cv.bdrys;
  int rc = 0;
  BSreparmcv(&c.cv, 1, 2, &out.cv, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(knots_of(out.cv), (std::vector<double>{1, 1, 1, 1.5, 2, 2, 2}));
  EXPECT_EQ(out.cv.bdrys, own);
  EXPECT_EQ(out.cv.num_boundaries, 1);
  EXPECT_EQ(std::vector<double>(own, own + 2), (std::vector<double>{1.25, 1.75}));
  EXPECT_EQ(bd, (std::vector<double>{1, 3}));  // the input's are untouched
  std::mt19937 rng(1);
  expect_same_points(c.cv, out.cv, 0, 4, [](double u) { return 1 + u / 4; }, rng);
  // In place, boundaries included.
  BSreparmcv(&c.cv, -4, 0, &c.cv, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(c.knots, (std::vector<double>{-4, -4, -4, -2, 0, 0, 0}));
  EXPECT_EQ(bd, (std::vector<double>{-3, -1}));
}

TEST(ParameterRescaling, BoundariesNeedARoomInTheOutput) {
  TestCurve c(3, {0, 0, 0, 1, 2, 0, 2, 0, 0, 3, 1, 0}, {0, 0, 0, 2, 4, 4, 4});
  std::vector<double> bd = {1, 3};
  c.cv.num_boundaries = 1;
  c.cv.bdrys = bd.data();
  RoomCurve out(4, 3, false);  // no boundary array
  int rc = 0;
  BSreparmcv(&c.cv, 1, 2, &out.cv, &rc);
  EXPECT_EQ(rc, 3);
  // A curve without boundaries needs none; an empty range is refused.
  c.cv.num_boundaries = 0;
  BSreparmcv(&c.cv, 1, 2, &out.cv, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out.cv.num_boundaries, 0);
  TestCurve flat(2, {0, 0, 0, 1, 0, 0}, {3, 3, 3, 3});
  BSreparmcv(&flat.cv, 0, 1, &out.cv, &rc);
  EXPECT_EQ(rc, -2);
}

}  // namespace

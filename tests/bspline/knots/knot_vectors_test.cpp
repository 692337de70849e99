#include <gtest/gtest.h>

#include <vector>

#include "tests/bspline/knots_fixtures.h"

namespace {

TEST(KnotVectors, NormalisationMapsTheActiveRangeOntoZeroOne) {
  std::vector<double> t = {2, 2, 2, 4, 6, 6, 6};
  const std::int16_t k = 3;
  const int n = 4;
  int rc = 0;
  ASSERT_TRUE(BSnorkts(&rc, &k, &n, t.data()));
  EXPECT_EQ(t, (std::vector<double>{0, 0, 0, 0.5, 1, 1, 1}));
  // Unclamped knots outside the range map linearly as well.
  std::vector<double> u = {0, 1, 2, 3, 4, 5, 6};
  ASSERT_TRUE(BSnorkts(&rc, &k, &n, u.data()));
  EXPECT_EQ(u, (std::vector<double>{-1, -0.5, 0, 0.5, 1, 1.5, 2}));
  // An empty range is refused; the knots stay shifted.
  std::vector<double> z = {5, 5, 5, 5, 5, 5, 5};
  EXPECT_FALSE(BSnorkts(&rc, &k, &n, z.data()));
  EXPECT_EQ(rc, -2);
  EXPECT_EQ(z[0], 0);
}

TEST(KnotVectors, DistinctValuesAndMultiplicities) {
  const std::vector<double> t = {0, 0, 0, 1, 2, 2, 2};
  const std::int16_t k = 3;
  const int n = 4;
  int count = 0, rc = 0, mults[7];
  double values[7];
  ASSERT_TRUE(BSgetmult(&rc, &k, &n, t.data(), &count, values, mults));
  ASSERT_EQ(count, 3);
  EXPECT_EQ(std::vector<double>(values, values + 3), (std::vector<double>{0, 1, 2}));
  EXPECT_EQ(std::vector<int>(mults, mults + 3), (std::vector<int>{3, 1, 3}));
  // Neighbours closer than tolerance entry 8 are one value.
  const std::vector<double> near = {0, 0, 0, 1, 1 + 1e-8, 2, 2, 2};
  const int n2 = 5;
  ASSERT_TRUE(BSgetmult(&rc, &k, &n2, near.data(), &count, values, mults));
  ASSERT_EQ(count, 3);
  EXPECT_EQ(mults[1], 2);
}

TEST(KnotVectors, SpansOfNonZeroLength) {
  TestCurve c(3, std::vector<double>(15, 0.0), {0, 0, 0, 1, 1, 2, 3, 3, 3});
  c.cv.num_poles = 6;
  c.cv.num_knots = 9;
  int count = 0, spans[9], rc = 0;
  BScvndegspn(&c.cv, &count, spans, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(std::vector<int>(spans, spans + count), (std::vector<int>{2, 4, 5}));
}

TEST(KnotVectors, JointsOfMultiplicityOrderLessOne) {
  // Cubic: interior knots of multiplicity 3 (recorded), 2 and 4 (not recorded).
  const std::vector<double> t = {0, 0, 0, 0, 1, 1, 1, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4};
  const std::int16_t k = 4;
  const int n = 13;
  const double tol = 1e-9;
  int count = 0, idx[17], rc = 0;
  double params[17];
  ASSERT_TRUE(BSfindmkts(&rc, &k, &n, t.data(), &tol, &count, params, idx));
  ASSERT_EQ(count, 1);
  EXPECT_EQ(params[0], 1);
  EXPECT_EQ(idx[0], 4);
  // A single Bezier segment has no interior joint.
  const int n_bez = 4;
  const std::vector<double> bez = {0, 0, 0, 0, 1, 1, 1, 1};
  ASSERT_TRUE(BSfindmkts(&rc, &k, &n_bez, bez.data(), &tol, &count, params, idx));
  EXPECT_EQ(count, 0);
}

}  // namespace

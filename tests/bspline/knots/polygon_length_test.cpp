#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "bspline/knots.h"

namespace {

TEST(PolygonLength, TotalAndRunningLengthsOfWeightedPoints) {
  // Points (0,0,0), (3,0,0), (3,4,0) stored with weights 1, 2, 4.
  const std::vector<double> pts = {0, 0, 0, 6, 0, 0, 12, 16, 0};
  const std::vector<double> w = {1, 2, 4};
  const int n = 3;
  double len = -1;
  int rc = 0;
  ASSERT_TRUE(BScumdist(&rc, &n, pts.data(), w.data(), &len));
  EXPECT_DOUBLE_EQ(len, 7);
  double cum[2];
  ASSERT_TRUE(BScumdistar(&rc, &n, pts.data(), w.data(), cum));
  EXPECT_DOUBLE_EQ(cum[0], 3);
  EXPECT_DOUBLE_EQ(cum[1], 7);
  // Without weights, the stored values themselves.
  ASSERT_TRUE(BScumdist(&rc, &n, pts.data(), nullptr, &len));
  EXPECT_DOUBLE_EQ(len, 6 + std::sqrt(36.0 + 256.0));
  const int one = 1;
  ASSERT_TRUE(BScumdist(&rc, &one, pts.data(), nullptr, &len));
  EXPECT_EQ(len, 0);
}

TEST(PolygonLength, EveryWeightMustBePositive) {
  const std::vector<double> pts = {0, 0, 0, 1, 0, 0, 2, 0, 0};
  const int n = 3;
  double len = -1;
  int rc = 0;
  for (const std::vector<double> &w : {std::vector<double>{1, 0, 1}, std::vector<double>{1, 1, 0},
                                       std::vector<double>{1, 1, -2}, std::vector<double>{-1, 1, 1}}) {
    EXPECT_FALSE(BScumdist(&rc, &n, pts.data(), w.data(), &len));
    EXPECT_EQ(rc, -5);
  }
}

TEST(PolygonLength, ChordAndCentripetalSpacing) {
  // Chords 3 and 4 in the plane of the first two coordinates, points 4 doubles apart.
  const std::vector<double> pts = {0, 0, 99, 99, 3, 0, -99, 99, 3, 4, 7, 99};
  double cum[2];
  int rc = 0, option = 2;
  BScumdstopt(3, pts.data(), nullptr, 4, 2, &option, cum, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(option, 1);
  EXPECT_DOUBLE_EQ(cum[0], std::sqrt(3.0));
  EXPECT_DOUBLE_EQ(cum[1], std::sqrt(3.0) + 2);
  const std::vector<double> short_pts = {0, 0, 0.5, 0, 0.5, 4};
  option = 2;
  BScumdstopt(3, short_pts.data(), nullptr, 2, 2, &option, cum, &rc);
  EXPECT_EQ(option, 0);
  EXPECT_DOUBLE_EQ(cum[0], 0.5);
  EXPECT_DOUBLE_EQ(cum[1], 4.5);
  // A fixed option is kept; weights divide the coordinates.
  const std::vector<double> w = {1, 2, 1};
  const std::vector<double> weighted = {0, 0, 2, 0, 4, 0};
  option = 0;
  BScumdstopt(3, weighted.data(), w.data(), 2, 2, &option, cum, &rc);
  EXPECT_EQ(option, 0);
  EXPECT_DOUBLE_EQ(cum[0], 1);
  EXPECT_DOUBLE_EQ(cum[1], 4);
}

}  // namespace

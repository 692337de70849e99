#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bspline/core/test_support.h"
#include "tests/bspline/measure_fixtures.h"

namespace {

std::vector<std::string> called;
void record(const char *lname, int *) { called.emplace_back(lname); }
bool was_called(const char *lname) {
  for (const auto &s : called)
    if (s == lname) return true;
  return false;
}

BSboolean degenerate(const VOQbsp_curve &cv, int *rc) {
  called.clear();
  const bstest::SlowRoads slow;  // every measure it takes, by name
  HookGuard guard(record);
  BSboolean d = 7;
  BStstcvdegn(&cv, &d, rc);
  return d;
}

TEST(Degeneracy, CoincidentPolesAreDegenerateWithoutMeasuring) {
  TestCurve dot(4, {1, 2, 3, 1, 2, 3 + 1e-8, 1, 2, 3, 1, 2, 3}, {0, 0, 0, 0, 1, 1, 1, 1});
  int rc = -1;
  EXPECT_EQ(degenerate(dot.cv, &rc), 1);
  EXPECT_EQ(rc, 0);
  EXPECT_FALSE(was_called("bsarclength"));
  TestCurve normal(4, {0, 0, 0, 1, 2, 0, 3, 1, 0, 4, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  EXPECT_EQ(degenerate(normal.cv, &rc), 0);
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(was_called("bsarclength"));
}

TEST(Degeneracy, SpreadPolesButShortCurve) {
  // Order 10, every pole at the origin but the middle one, 2.8e-6 away with weight 0.3: the poles do not lie
  // within half of dist_tol of one point, but the curve only reaches out about a third of the way and back.
  const int k = 10;
  std::vector<double> poles(3 * k, 0.0), w(k, 1.0), knots(2 * k, 0.0);
  for (int i = k; i < 2 * k; ++i) knots[i] = 1;
  poles[3 * 5] = 2.8e-6;
  w[5] = 0.3;
  TestCurve c(k, poles, knots, w);
  int rc = -1;
  EXPECT_EQ(degenerate(c.cv, &rc), 1);
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(was_called("bsgmprppts3"));
  EXPECT_TRUE(was_called("bsarclength"));
  // Ten times larger it is a curve.
  for (int i = 0; i < 3 * k; ++i) c.poles[i] *= 10;
  EXPECT_EQ(degenerate(c.cv, &rc), 0);
}

TEST(Degeneracy, UnevenWeightsAreJudgedByLengthAlone) {
  // Weight 0.1 is below a quarter of the mean (0.7): the poles are not examined.
  TestCurve low(3, {0, 0, 0, 5, 5, 0, 10, 0, 0}, {0, 0, 0, 1, 1, 1}, {1, 0.1, 1});
  int rc = -1;
  EXPECT_EQ(degenerate(low.cv, &rc), 0);
  EXPECT_EQ(rc, 0);
  EXPECT_FALSE(was_called("bsgmprppts3"));
  TestCurve tiny(3, {0, 0, 0, 5e-7, 5e-7, 0, 8e-7, 0, 0}, {0, 0, 0, 1, 1, 1}, {1, 0.1, 1});
  EXPECT_EQ(degenerate(tiny.cv, &rc), 1);
  EXPECT_EQ(rc, 0);
  // A failure of the measurement is reported, not taken for an answer.
  BSboolean d = 7;
  BStstcvdegn(nullptr, &d, &rc);
  EXPECT_EQ(rc, 3);
  EXPECT_EQ(d, 0);
}

}  // namespace

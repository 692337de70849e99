#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/intersect.h"
#include "tests/bspline/curve_fixtures.h"
#include "tests/bspline/knots_fixtures.h"

namespace {

const double kS = std::sqrt(0.5);

std::string g_hooked;
void remember(const char *name, int *) {
  if (std::strncmp(name, "bsmdstpt", 8) == 0) g_hooked += std::string(name) + " ";
}

struct Result {
  std::vector<double> par, base, dist;
  BSboolean on = 7;
  int rc = 99;
  // missing: 1 .. 6 passes NULL for the points, the curve, the parameters, the base points, the distances or the
  // flag.
  Result(const TestCurve &c, const std::vector<double> &pts, int count = -9, int missing = 0) {
    const int np = count == -9 ? static_cast<int>(pts.size() / 3) : count;
    par.assign(pts.size() / 3 + 1, -5);
    base.assign(pts.size() + 3, -5);
    dist.assign(pts.size() / 3 + 1, -5);
    BSmdstptscv(np, missing == 1 ? nullptr : pts.data(), missing == 2 ? nullptr : &c.cv,
                missing == 3 ? nullptr : par.data(), missing == 4 ? nullptr : base.data(),
                missing == 5 ? nullptr : dist.data(), missing == 6 ? nullptr : &on, &rc);
  }
};

TEST(PointCurveDistance, Answers) {
  const TestCurve bez(3, {0, 0, 0, 1, 2, 0, 2, 0, 0}, {0, 0, 0, 1, 1, 1});
  struct Case {
    const char *what;
    std::vector<double> points, par, dist;
    BSboolean on;
  } cases[] = {
      {"above the apex", {1, 3, 0}, {0.5}, {2}, 0},
      {"beyond the start", {-1, 0, 0}, {0}, {1}, 0},
      {"the end pole itself", {2, 0, 0}, {1}, {0}, 1},
      {"several: one 0.5 off, one on", {1, 1.5, 0, 0.5, 0.75, 0}, {0.5, 0.25}, {0.5, 0}, 0},
      {"several: both on", {1, 1, 0, 0.5, 0.75, 0}, {0.5, 0.25}, {0, 0}, 1},
  };
  for (const Case &c : cases) {
    const Result r(bez, c.points);
    ASSERT_EQ(r.rc, 0) << c.what;
    EXPECT_EQ(r.on, c.on) << c.what;
    for (size_t i = 0; i < c.par.size(); ++i) {
      EXPECT_NEAR(r.par[i], c.par[i], 1e-9) << c.what;
      EXPECT_NEAR(r.dist[i], c.dist[i], 1e-9) << c.what;
      if (c.dist[i] == 0) {
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(r.base[3 * i + k], c.points[3 * i + k], 1e-9) << c.what;
      }
    }
  }
}

TEST(PointCurveDistance, RationalQuarterCircleBothBodies) {
  const TestCurve arc(3, {2, 0, 0, 2, 2, 0, 0, 2, 0}, {0, 0, 0, 1, 1, 1}, {1, kS, 1});
  const std::vector<double> pts = {1, 0.5, 0, 3, 1, 0, 0.1, 0.1, 0, 5, 5, 0.5};
  const Result many(arc, pts);
  ASSERT_EQ(many.rc, 0);
  for (int i = 0; i < 4; ++i) {
    const Result one(arc, {pts.begin() + 3 * i, pts.begin() + 3 * i + 3});
    ASSERT_EQ(one.rc, 0);
    const double expected = std::hypot(2 - std::hypot(pts[3 * i], pts[3 * i + 1]), pts[3 * i + 2]);
    EXPECT_NEAR(one.dist[0], expected, 1e-12 * expected) << i;
    EXPECT_NEAR(many.dist[i], expected, 1e-12 * expected) << i;
  }
}

TEST(PointCurveDistance, ClosedCurveEnds) {
  // A closed square of four lines from (0,0) around: the seam point (0,0) is at parameter 0 and 4.
  TestCurve sq(2, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 0}, {0, 0, 1, 2, 3, 4, 4});
  sq.cv.phy_closed = 1;
  // Several points: rising parameters before the seam give the end; falling ones, the start.
  EXPECT_EQ(Result(sq, {0, 0.6, 0, 0, 0.3, 0, 0, 0, 0}).par[2], 4);
  EXPECT_EQ(Result(sq, {0.6, 0, 0, 0.3, 0, 0, 0, 0, 0}).par[2], 0);
  // One point is left where the search put it.
  const Result one(sq, {0, 0, 0});
  EXPECT_TRUE(one.par[0] == 0 || one.par[0] == 4);
}

TEST(PointCurveDistance, Failures) {
  const TestCurve bez(3, {0, 0, 0, 1, 2, 0, 2, 0, 0}, {0, 0, 0, 1, 1, 1});
  std::vector<double> big_poles, big_knots = {0, 0, 0};
  // 600 doubles of poles: more than a stack block holds.
  for (int i = 0; i < 200; ++i) big_poles.insert(big_poles.end(), {double(i), std::sin(i * 0.3), 0});
  for (int i = 1; i < 198; ++i) big_knots.push_back(i);
  big_knots.insert(big_knots.end(), {198, 198, 198});
  const TestCurve big(3, big_poles, big_knots);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char *what;
    const TestCurve &curve;
    std::vector<double> points;
    int count, fail_at, rc, missing = 0;
  } cases[] = {
      {"no points", bez, {1, 1, 0}, 1, 0, 3, 1},
      {"no curve", bez, {1, 1, 0}, 1, 0, 3, 2},
      {"no room for the parameters", bez, {1, 1, 0, 2, 2, 0}, 2, 0, 3, 3},
      {"no room for the base points", bez, {1, 1, 0}, 1, 0, 3, 4},
      {"no room for the distances", bez, {1, 1, 0, 2, 2, 0}, 2, 0, 3, 5},
      {"no flag", bez, {1, 1, 0}, 1, 0, 3, 6},
      {"count 0", bez, {1, 1, 0}, 0, 0, -2},
      {"count -1", bez, {1, 1, 0}, -1, 0, -2},
      {"a NaN coordinate", bez, {1, nan, 0}, 1, 0, -2},
      {"a NaN among several", bez, {1, 1, 0, 1, nan, 0}, 2, 0, -2},
      {"no scratch for the pole block, one point", big, {1, 1, 0}, 1, 1, 33},
      {"no scratch for the pole block, several", big, {1, 1, 0, 2, 2, 0}, 2, 1, 33},
  };
  HookGuard hook(remember);
  for (const Case &c : cases) {
    BStraceclear();
    g_hooked.clear();
    BSallocfailat(c.fail_at);
    const Result r(c.curve, c.points, c.count, c.missing);
    BSallocfailat(0);
    EXPECT_EQ(r.rc, c.rc) << c.what;
    EXPECT_EQ(r.par[0], -5) << c.what;
    EXPECT_EQ(r.dist[0], -5) << c.what;
    EXPECT_EQ(BSscratchheapblocks(), 0) << c.what;
    ASSERT_GE(BStracecount(), 1) << c.what;
    EXPECT_STREQ(BStracetable()[BStracecount() - 1].name, "BSmdstptscv") << c.what;
    EXPECT_EQ(BStracetable()[BStracecount() - 1].rc, c.rc) << c.what;
    EXPECT_EQ(g_hooked, "bsmdstptscv ") << c.what;
  }
}

// Weights of the least double and a pole 1e120 up beside others of 5. Converted to spans as they were, the weights
// underflowed to nothing, no bound told the pieces of a span apart, and the search halved them until it gave up
// after its budget of pieces (rc 49, seconds later). The record is the curve of the same poles with weights 1, and
// is measured as that one; the same curve without its far pole is measured too.
TEST(PointCurveDistance, WeightsOfTheLeastDoubleMeasureAsWeightsOne) {
  const std::vector<double> poles = {5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 0, 0, -4, -4, -4, -4, -4, -4, -4, -4, -4,
                                     -4, -4, 5.1644997561738166e+120, -4, -4, -4, -4, -4, 0};
  const std::vector<double> knots = {-13.25,   -13.25,  -13.25,   -13.25,  -8.15625, -3.0625, 2.03125,
                                     7.125,    12.21875, 17.3125, 22.40625, 27.5,    32.59375, 37.6875};
  const double least = 4.9406564584124654e-324;
  const TestCurve flat(4, poles, knots, std::vector<double>(10, least));
  const TestCurve unit(4, poles, knots, std::vector<double>(10, 1.0));
  const Result one(flat, {least, least, least}), same(unit, {least, least, least});
  ASSERT_EQ(one.rc, 0);
  ASSERT_EQ(same.rc, 0);
  EXPECT_NEAR(one.dist[0], same.dist[0], 1e-12);
  EXPECT_NEAR(one.par[0], same.par[0], 1e-12);
  std::vector<double> tame_poles = poles;
  tame_poles[23] = -4;
  const TestCurve tame(4, tame_poles, knots, std::vector<double>(10, 1.0));
  const Result measured(tame, {least, least, least});
  ASSERT_EQ(measured.rc, 0);
  double sampled = INFINITY;
  const double a = knots[3], b = knots[10];
  for (int i = 0; i <= 20000; ++i) {
    double p[3];
    int rc = 0;
    BScveval_n(&tame.cv, a + (b - a) * i / 20000, 0, p, &rc);
    sampled = std::fmin(sampled, std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]));
  }
  EXPECT_LE(measured.dist[0], sampled + 1e-9);
  EXPECT_GE(measured.dist[0], sampled - 1e-4);
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/distance.h"
#include "bspline/distance/feet_internal.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

int g_solved = 0;
const char *g_fail = nullptr;
void count_and_fail(const char *lname, int *rc) {
  if (std::strcmp(lname, "bsperpr") == 0) ++g_solved;
  if (rc && *rc == 0 && g_fail && std::strcmp(lname, g_fail) == 0) *rc = 77;
}

struct Hook {
  BSfaulthandler previous;
  explicit Hook(const char *fail = nullptr) : previous(BSsetfaulthook(count_and_fail)) { g_solved = 0, g_fail = fail; }
  ~Hook() { BSsetfaulthook(previous), g_fail = nullptr; }
};

// A rational quarter circle of radius 1 about the origin.
const TestCurve kArc(3, {1, 0, 0, 1, 1, 0, 0, 1, 0}, {0, 0, 0, 1, 1, 1}, {1, std::sqrt(0.5), 1});

double sq(const double a[3], const double b[3]) {
  return (a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]);
}

// Every span's power form, and its Bezier form from the span's start that BSperpa and BSnormals solve, reproduce
// the curve over the span, on clamped, unclamped, rational and high-order curves and on curves with multiple
// knots; a degenerate span is skipped and an index outside the range refused, by both.
TEST(PerpendicularFeet, SpanPolynomials) {
  std::mt19937 rng(5);
  struct Case {
    int order, n;
    bool rational, clamped;
    int mult;
  } cases[] = {{2, 5, false, true, 1}, {4, 9, true, false, 1}, {4, 9, true, true, 3}, {12, 14, true, true, 1}};
  for (const Case &c : cases) {
    const auto cv = random_curve(rng, c.order, c.n, c.rational, c.clamped, c.mult);
    std::vector<double> coef(4 * c.order), bez(4 * c.order + 3);
    for (int span = c.order - 1; span < c.n; ++span) {
      BSboolean skip = 7, bez_skip = 7;
      std::int16_t k = 0, bez_k = 0;
      int rc = 99;
      ASSERT_TRUE(BSspnpow01(&rc, &cv->cv, &span, &skip, &k, coef.data()));
      ASSERT_TRUE(bsfeet::span_bezier(&rc, &cv->cv, &span, &bez_skip, &bez_k, bez.data()));
      const double a = cv->knots[span], b = cv->knots[span + 1];
      ASSERT_EQ(skip, b - a < 1e-9 ? 1 : 0) << span;
      ASSERT_EQ(bez_skip, skip) << span;
      if (skip) continue;
      ASSERT_EQ(bez_k, k);
      for (double s : {0.0, 0.3, 1.0}) {
        double h[4] = {0, 0, 0, 0}, ref[3];
        for (int j = k - 1; j >= 0; --j)
          for (int m = 0; m < 4; ++m) h[m] = h[m] * s + coef[4 * j + m];
        // de Casteljau on the homogeneous Bezier poles, then the origin added back.
        std::vector<double> q(bez.begin(), bez.end());
        for (int r = 1; r < k; ++r)
          for (int j = 0; j < k - r; ++j)
            for (int m = 0; m < 4; ++m) q[4 * j + m] = (1 - s) * q[4 * j + m] + s * q[4 * j + 4 + m];
        ref_point(*cv, a + s * (b - a), ref);
        for (int m = 0; m < 3; ++m) {
          EXPECT_NEAR(h[m] / h[3], ref[m], 1e-9 * (1 + std::fabs(ref[m]))) << c.order;
          EXPECT_NEAR(q[m] / q[3] + bez[4 * k + m], ref[m], 1e-9 * (1 + std::fabs(ref[m]))) << c.order;
        }
      }
    }
    for (int bad : {c.order - 2, c.n}) {
      BSboolean skip = 7;
      std::int16_t k = 0;
      int rc = 0;
      EXPECT_FALSE(BSspnpow01(&rc, &cv->cv, &bad, &skip, &k, coef.data()));
      EXPECT_EQ(rc, -2);
      rc = 0;
      EXPECT_FALSE(bsfeet::span_bezier(&rc, &cv->cv, &bad, &skip, &k, bez.data()));
      EXPECT_EQ(rc, -2);
    }
  }
}

// The feet BSperpa reports on small curves, and the inputs it refuses.
TEST(PerpendicularFeet, Feet) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const TestCurve line(2, {0, 0, 0, 10, 0, 0}, {0, 0, 1, 1});
  const TestCurve short_line(2, {0, 0, 0, 5e-6, 0, 0}, {0, 0, 1, 1});
  // A rational arch of order 10, symmetric about x = 0.
  std::vector<double> arch_knots(10, 0.0);
  arch_knots.insert(arch_knots.end(), 10, 1.0);
  const TestCurve arch(10, {-4, 0, 0, -3, 1, 0, -2, 2, 0, -1, 2.5, 0, -0.5, 3, 0, 0.5, 3, 0, 1, 2.5, 0, 2, 2, 0, 3, 1, 0, 4, 0, 0},
                       arch_knots, {1, 2, 1, 0.5, 3, 3, 0.5, 1, 2, 1});
  // A valley, then a jump to an arch that starts on (1, 0) and comes back to it.
  const TestCurve jump(3, {0, 5, 0, 1, 3, 0, 2, 5, 0, 1, 0, 0, 4, 0, 0, 0, 0, 0}, {0, 0, 0, 1, 1, 1, 2, 2, 2});
  // Order 14 with poles stacked at either end of a span: the curve crawls out of one place and to a stop at
  // another, where the span equation has a root of high multiplicity.
  std::vector<double> bezier_knots(14, 0.0);
  bezier_knots.insert(bezier_knots.end(), 14, 1.0);
  const TestCurve stop(14, {-6.125, -6.125, 0, -6.125, -6.125, 0, -6.125, -6.125, 0, -6.125, -6.125, 0, -6.125, -6.125, 0,
                            -15, 12.25, 0, 12.25, -12.625, 0, -15, -15, 0, -15, -15, 0, -12.625, 0, 0, 12.25, -3, 0,
                            -15, -15, 0, -15, -15, 0, -15, -15, 0},
                       bezier_knots);
  // Unclamped at its end, which it crawls to beside (-15, -15) without reaching it.
  const TestCurve beside(14, {3, -15, 0, -15, -11.625, 0, 0.25, -9.875, 0, -15, -12.625, 0, -15, 12.25, 0, 12.25, -14.375, 0,
                              0, -15, 0, 12.25, 12.375, 0, -15, 12.5, 0, -14.5, -15, 0, 9, 13.875, 0, -15, -15, 0,
                              -15, -15, 0, -13.5, -15, 0, 12.25, -15, 0, -15, -15, 0, -15, -15, 0, -15, -15, 0, -15, -15, 0},
                         {-15, -15, -14.15625, -10.40625, -9.125, -2.3125, 4.5, 7.4375, 12.09375, 14.09375, 14.09375,
                          14.09375, 14.09375, 14.09375, 14.09375, 15.28125, 15.28125, 15.28125, 15.28125, 23.15625,
                          23.15625, 23.15625, 23.15625, 23.15625, 23.15625, 23.25, 23.25, 23.25, 23.25, 23.25, 23.25, 23.25,
                          23.6875});
  struct Case {
    const char *what;
    const TestCurve &cv;
    double pt[3];
    BSboolean ok, found;
    double u;
    int position, rc, solved;  // solved: BSperpr calls, -1 when not checked
  } cases[] = {
      {"on the start point: no equation solved", kArc, {1, 0, 0}, 1, 1, 0, 1, 0, 0},
      {"on the end point", kArc, {0, 1, 0}, 1, 1, 1, -1, 0, 0},
      {"the centre of the arc: every point is a foot", kArc, {0, 0, 0}, 1, 0, -9, -9, 0, -1},
      {"outside the arc on its bisector", kArc, {2, 2, 0}, 1, 1, 0.5, 0, 0, -1},
      {"beside a line beyond its end: no foot", line, {12, 1, 0}, 1, 0, -9, -9, 0, -1},
      {"above the line's middle", line, {5, 3, 0}, 1, 1, 0.5, 0, 0, 1},
      // The multiple root at the stop spread into false feet short of it in powers of the span parameter.
      {"above where a high-order curve stops: the stop", stop, {-15, -15, 0.01}, 1, 1, 1, -1, 0, -1},
      {"where a high-order curve crawls to a stop beside the point: a foot, not the crawl", beside, {-15, -15, 0},
       1, 1, 19.646424369020529, 0, 0, -1},
      // Its span equation is small throughout, yet not 0.
      {"beside a line a few tolerances long", short_line, {1e-6, 2e-6, 0}, 1, 1, 0.2, 0, 0, 1},
      {"above the top of a rational high-order arch", arch, {0, 5, 0}, 1, 1, 0.5, 0, 0, 1},
      // The curve's value at the jump is the valley's end, farther than the valley's foot.
      {"on the start of a piece after a jump", jump, {1, 0, 0}, 1, 1, 1, 1, 0, -1},
      {"a NaN point", kArc, {nan, 0, 0}, 0, 0, -9, -9, -2, 0},
  };
  for (const Case &c : cases) {
    BSboolean found = 7;
    double u = -9;
    int rc = 99, position = -9;
    Hook hook;
    EXPECT_EQ(BSperpa(&rc, &c.cv.cv, c.pt, c.pt, &found, &u, &position), c.ok) << c.what;
    EXPECT_EQ(rc, c.rc) << c.what;
    EXPECT_EQ(found, c.found) << c.what;
    if (c.solved >= 0) {
      EXPECT_EQ(g_solved, c.solved) << c.what;
    }
    if (!found) continue;
    EXPECT_NEAR(u, c.u, 1e-9) << c.what;
    EXPECT_EQ(position, c.position) << c.what;
  }
}

// A point near one end of a long curve solves only the spans near it, and its foot is the nearest foot found by
// sampling; the knot tolerance entry comes back unchanged after success and after every forced failure.
TEST(PerpendicularFeet, LongCurveAndKnotTolerance) {
  std::vector<double> poles, knots = {0, 0, 0};
  for (int i = 0; i < 42; ++i) {
    poles.insert(poles.end(), {double(i), (i % 2) ? 1.0 : -1.0, 0});
    if (i < 39) knots.push_back(i + 1);
  }
  knots.insert(knots.end(), {40, 40, 40});
  const TestCurve cv(3, poles, knots);
  const double pt[3] = {2.6, 3, 0}, saved = BStoltab[bstol::knot_tol];
  BSboolean found = 0;
  double u = -1;
  int rc = 99, position = 0;
  {
    Hook hook;
    ASSERT_TRUE(BSperpa(&rc, &cv.cv, pt, pt, &found, &u, &position));
    EXPECT_LE(g_solved, 6);
  }
  ASSERT_TRUE(found);
  EXPECT_EQ(BStoltab[bstol::knot_tol], saved);
  // The nearest perpendicular foot by sampling: a local minimum of the distance inside the range.
  const int steps = 40000;
  std::vector<double> d(steps + 1);
  double best = 1e300, best_u = -1, p[3];
  for (int i = 0; i <= steps; ++i) ref_point(cv, 40.0 * i / steps, p), d[i] = sq(p, pt);
  for (int i = 1; i < steps; ++i)
    if (d[i] <= d[i - 1] && d[i] <= d[i + 1] && d[i] < best) best = d[i], best_u = 40.0 * i / steps;
  ref_point(cv, u, p);
  EXPECT_LE(sq(p, pt), best + 1e-12);
  EXPECT_NEAR(u, best_u, 2e-3);
  for (const bool slow : {false, true}) {
    for (const char *name : {"bscvndegspn", "bscvspndst", "bsspnpow01", "bsperpr", "bsperpr1"}) {
      const bstest::SlowRoads roads(slow);
      SCOPED_TRACE(slow ? "slow roads" : "short roads");
      Hook hook(name);
      rc = 0;
      EXPECT_FALSE(BSperpa(&rc, &cv.cv, pt, pt, &found, &u, &position)) << name;
      EXPECT_EQ(rc, 77) << name;
      EXPECT_EQ(BStoltab[bstol::knot_tol], saved) << name;
    }
  }
}

// One span whose equation vanishes for pt (an arc about its centre): no foot, and s the guess for pt_dist.
TEST(PerpendicularFeet, VanishingSpanEquation) {
  const double centre[3] = {0, 0, 0};
  std::vector<double> coef(12);
  int span = 2, rc = 0;
  BSboolean skip = 0;
  std::int16_t k = 0;
  ASSERT_TRUE(BSspnpow01(&rc, &kArc.cv, &span, &skip, &k, coef.data()));
  struct Case {
    const char *what;
    double pt_dist[3], s;
  } cases[] = {
      {"pt_dist the centre too", {0, 0, 0}, 0.5},
      {"pt_dist on the bisector", {3, 3, 0}, 0.5},
      {"pt_dist beyond the end, no foot for it", {-1, 2, 0}, 1},
  };
  for (const Case &c : cases) {
    BSboolean found = 7;
    double t = -1;
    int position = 9;
    EXPECT_TRUE(BSperpr1(&rc, &k, coef.data(), centre, c.pt_dist, &found, &t, &position)) << c.what;
    EXPECT_EQ(found, 0) << c.what;
    EXPECT_EQ(position, 0) << c.what;
    EXPECT_NEAR(t, c.s, 1e-9) << c.what;
  }
  std::int16_t one = 1;
  int nroots = 0;
  double roots[4];
  EXPECT_FALSE(BSperpr(&rc, &one, coef.data(), centre, &nroots, roots));
  EXPECT_EQ(rc, -2);
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/distance.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

const char *g_fail = nullptr;
void fail_named(const char *lname, int *rc) {
  if (rc && *rc == 0 && g_fail && std::strcmp(lname, g_fail) == 0) *rc = 77;
}

struct Result {
  std::int16_t nint = -9, npar = -9;
  double *params = nullptr, *intervals = nullptr, min_dist = -1;
  int rc = 99;
  Result(TestCurve &cv, const double pt[3]) {
    BSmdistptcv(&cv.cv, pt, &nint, &npar, &params, &min_dist, &intervals, &rc);
  }
  ~Result() { BSdbgfree(params), BSdbgfree(intervals); }
};

// Two quarter circles of radius 2 about (1, 1): a half circle in two spans.
TestCurve half_circle() {
  const double s = std::sqrt(0.5);
  return TestCurve(3, {3, 1, 0, 3, 3, 0, 1, 3, 0, -1, 3, 0, -1, 1, 0}, {0, 0, 0, 1, 1, 2, 2, 2}, {1, s, 1, s, 1});
}

// The nearest parameters and intervals where the nearest point is a foot, an end without a perpendicular, a corner, a
// whole arc, or two points at equal distance, and on a span junction that is a foot from both sides.
TEST(NormalsDistance, NearestParametersAndIntervals) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  TestCurve cubic(4, {0, 0, 0, 1, 2, 0, 3, -1, 0, 4, 1, 0, 5, 0, 0}, {0, 0, 0, 0, 1, 2, 2, 2, 2});
  TestCurve line(2, {0, 0, 0, 10, 0, 0}, {0, 0, 1, 1});
  TestCurve corner(2, {-1, 1, 0, 0, 0, 0, 1, 1, 0}, {0, 0, 1, 2, 2});
  TestCurve straight(2, {0, 0, 0, 1, 0, 0, 2, 0, 0}, {0, 0, 1, 2, 2});
  // A cubic with a triple knot at a corner: a cusp inside the curve.
  TestCurve cusp(4, {-2, 2, 0, -1, 1, 0, -0.5, 0.5, 0, 0, 0, 0, 0.5, 0.5, 0, 1, 1, 0, 2, 2, 0},
                 {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 2});
  TestCurve half = half_circle();
  // A polyline broken by a double knot: (0, 0) to (2, 0), then (2, 3) to (4, 3); the chord between is no part of it.
  TestCurve broken(2, {0, 0, 0, 2, 0, 0, 2, 3, 0, 4, 3, 0}, {0, 0, 1, 1, 2, 2});
  // An unclamped cubic whose range ends before its last pole.
  TestCurve unclamped(4, {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0, 4, 0, 0}, {0, 1, 2, 3, 4, 5, 6, 7, 8});
  TestCurve into_jump(4, {-15, -15, -15, -10.625, 12.375, -14.375, -10.25, -3, -4.75, -4.75, -4.75, 11.75,
                          -4.75, -4.75, -4.75, -4.75, -4.75, -4.75, -4.75, -4.75, -4.75, -4.75, -14.125, -15,
                          -15, -15, -4.75, -4.75, -4.75, -4.75, -4.75, -4.75, -4.75},
                       {0, 0, 0, 0, 1.375, 3.03125, 9.375, 13.125, 13.125, 13.125, 13.125, 14.125, 14.125, 14.125, 14.125});
  // Polylines that jump onto a piece standing still: from a line, and from another resting piece.
  TestCurve onto_rest(2, {0, 0, 0, 2, 0, 0, 5, 5, 0, 5, 5, 0}, {0, 0, 1, 1, 2, 2});
  TestCurve two_rests(2, {0, 0, 0, 0, 0, 0, 3, 0, 0, 3, 0, 0}, {0, 0, 1, 1, 2, 2});
  // A cubic that comes to rest at the end of its range (the knot there is triple; the poles after it coincide):
  // two feet within rounding of that end.
  TestCurve rest(4, {0, 0, 0, 0, 18, 0, 0, 0.5, 15, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
                 {-7.75, -6.625, -6.59375, -6.59375, -6.59375, -6.59375, -6.5625, -6.5625, -6.5625, -6.40625, -6.40625,
                  -5.28125});
  // One Bezier span of order 13 with a pole 1e5 out among poles within 15: its power-basis equation is far out in
  // rounding near the end of the span.
  TestCurve far_pole(13, {0, -15, -11, -14.375, -14.75, -9.875, 1, -14, 8.875, -14.875, 0, 3, 0, 9, -14.625, -2, 1,
                          -13.875, -13.375, 0, -6, 0, -15, 1e5, 0, -15, -15, -15, -15, -15, -15, 1.875, 1.875, 6, 2,
                          -15, -15, -1.75, 0},
                     {-4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, 0.75, 0.75, 0.75, 0.75, 0.75, 0.75, 0.75,
                      0.75, 0.75, 0.75, 0.75, 0.75, 0.75});
  const double on_cubic = 1.3;
  double p_on[3];
  ref_point(cubic, on_cubic, p_on);
  // The unit circle in four arcs with its weights scaled to the least subnormal: sqrt(1/2) of it rounds to it too,
  // so the record is the curve of the same poles at weights all 1, which the record scaled back up is exactly. Its
  // candidates were measured in the few bits of the weights: 1.118 where the nearest point lies at 1.046.
  const std::vector<double> circle_poles = {1, 0, 0, 1, 1, 0, 0, 1, 0, -1, 1, 0, -1, 0, 0, -1, -1, 0, 0, -1, 0,
                                            1, -1, 0, 1, 0, 0},
                            circle_knots = {0, 0, 0, 0.25, 0.25, 0.5, 0.5, 0.75, 0.75, 1, 1, 1};
  const double least = std::numeric_limits<double>::denorm_min(), r = std::sqrt(0.5);
  TestCurve least_circle(3, circle_poles, circle_knots,
                         {least, r * least, least, r * least, least, r * least, least, r * least, least});
  std::vector<double> back = least_circle.weights;
  for (double &w : back) w = std::ldexp(w, 1074);
  TestCurve circle_back(3, circle_poles, circle_knots, back);
  const double beside[3] = {2, 0.5, 0};
  const Result nearest_back(circle_back, beside);
  ASSERT_EQ(nearest_back.rc, 0);
  ASSERT_EQ(nearest_back.npar, 1);
  struct Case {
    const char *what;
    TestCurve &cv;
    double pt[3];
    int rc;
    double dist;
    std::vector<double> params, intervals;
  } cases[] = {
      {"a point on the curve", cubic, {p_on[0], p_on[1], p_on[2]}, 0, 0, {on_cubic}, {}},
      {"beyond the end of a line: the end", line, {12, 1, 0}, 0, std::sqrt(5.0), {1}, {}},
      {"outside a polyline corner: the corner", corner, {0, -2, 0}, 0, 2, {1}, {}},
      {"inside it: two feet at equal distance", corner, {0, 1, 0}, 0, std::sqrt(0.5), {0.5, 1.5}, {}},
      {"a junction that is a foot of both spans", straight, {1, 1, 0}, 0, 1, {1}, {}},
      {"below a cusp of a cubic", cusp, {0, -1, 0}, 0, 1, {1}, {}},
      {"the centre of a half circle", half, {1, 1, 0}, 0, 2, {}, {0, 2}},
      {"beyond the range of an unclamped curve", unclamped, {9, 0, 0}, 0, -1, {5}, {}},
      // No foot on either piece: the start of the second, on the far side of the jump, is nearest.
      {"beside a jump: the nearer side", broken, {1.5, 2, 0}, 0, std::sqrt(1.25), {1}, {}},
      // A foot within the knot tolerance of a jump (the cubic runs into it): the jump's nearer side, the start of
      // the last span, is nearest; the foot beside it used to hide that side.
      {"a foot beside a jump", into_jump, {0, -15, -15}, 0, 4.8299197715904141, {13.125}, {}},
      // The resting piece past the jump is far: the side before the jump is nearest, not the whole piece.
      {"a jump onto a far resting piece", onto_rest, {3, 0, 0}, 0, 1, {1}, {}},
      {"resting pieces on either side of a jump: the nearer one", two_rests, {1, 0, 0}, 0, 1, {}, {0, 1}},
      {"feet snapped onto the end: the end once", rest, {0, 0, 0}, 0, 0, {-6.5625}, {}},
      // The equation's false feet lie farther, and it misses the true one: the global search has it.
      {"a foot the span's equation loses in rounding", far_pole, {0, 1.875, 1.875}, 0, 8.7599701817107203,
       {0.5510933765452336}, {}},
      {"the unit circle, its weights scaled to the least subnormal", least_circle, {beside[0], beside[1], beside[2]},
       0, nearest_back.min_dist, {nearest_back.params[0]}, {}},
      {"a NaN point", cubic, {nan, 0, 0}, -2, -1, {}, {}},
  };
  for (Case &c : cases) {
    Result r(c.cv, c.pt);
    ASSERT_EQ(r.rc, c.rc) << c.what;
    ASSERT_EQ(r.npar, static_cast<int>(c.params.size())) << c.what;
    ASSERT_EQ(r.nint, static_cast<int>(c.intervals.size() / 2)) << c.what;
    EXPECT_TRUE((r.params != nullptr) == (r.npar > 0) && (r.intervals != nullptr) == (r.nint > 0)) << c.what;
    for (int i = 0; i < r.npar; ++i) EXPECT_NEAR(r.params[i], c.params[i], 1e-9) << c.what;
    for (int i = 0; i < 2 * r.nint; ++i) EXPECT_NEAR(r.intervals[i], c.intervals[i], 1e-12) << c.what;
    if (c.dist >= 0) {
      EXPECT_NEAR(r.min_dist, c.dist, 1e-9) << c.what;
    }
  }
}

// A failure of any callee, and a heap refusal at each allocation in turn, leaves both counts 0, nothing allocated that
// the caller does not release, and the knot tolerance entry as it was.
TEST(NormalsDistance, FailuresLeakNothingAndRestoreTheKnotTolerance) {
  TestCurve half = half_circle();
  TestCurve corner(2, {-1, 1, 0, 0, 0, 0, 1, 1, 0, 2, 0, 0}, {0, 0, 1, 2, 3, 3});
  const double centre[3] = {1, 1, 0}, inside[3] = {0, 1, 0};
  int rc = 0;
  BSchangepar(&rc, bstol::knot_tol, 3e-9);  // not the curves' own knot tolerance, so a lost restore shows
  const double saved = BStoltab[bstol::knot_tol];
  for (const bool slow : {false, true})
    for (const char *name :
         {"bscvkttol2", "bscvndegspn", "bsspnpow01", "bsperpr", "bsnormals", "bsfndcvcsp", "bscveval", "bsquicksort"}) {
      // Off the slow roads the evaluations take their shortcut, which passes no name to fail.
      if (!slow && std::strcmp(name, "bscveval") == 0) continue;
      const bstest::SlowRoads roads(slow);
      g_fail = name;
      BSfaulthandler previous = BSsetfaulthook(fail_named);
      Result r(corner, inside);
      BSsetfaulthook(previous);
      g_fail = nullptr;
      EXPECT_EQ(r.rc, 77) << name << " slow " << slow;
      EXPECT_EQ(BStoltab[bstol::knot_tol], saved) << name << " slow " << slow;
      // Only the sort comes after the parameters are delivered.
      EXPECT_EQ(r.npar + r.nint, std::strcmp(name, "bsquicksort") == 0 ? 2 : 0) << name << " slow " << slow;
    }
  for (TestCurve *cv : {&half, &corner}) {
    const double *pt = cv == &half ? centre : inside;
    for (int at = 1;; ++at) {
      const int live = BSdbgliveblocks(), scratch = BSscratchheapblocks();
      BSallocfailat(at);
      {
        Result r(*cv, pt);
        rc = r.rc;
        EXPECT_TRUE(rc == 0 || rc == 33 || rc == -13) << at << " " << rc;
      }
      const bool armed = BSallocfailpending() > 0;
      BSallocfailat(0);
      EXPECT_EQ(BSdbgliveblocks(), live) << at;
      EXPECT_EQ(BSscratchheapblocks(), scratch) << at;
      EXPECT_EQ(BStoltab[bstol::knot_tol], saved) << at;
      if (armed) {
        EXPECT_EQ(rc, 0);
        break;
      }
    }
  }
  BSchangepar(&rc, bstol::knot_tol, BStoldefault(bstol::knot_tol));
}

// The feet are found span by span; the curve's knot tolerance, a pass over all its poles, is taken once per call and
// not once per span, or the cost of a call grows as the square of the spans.
int g_kttol = 0;
void count_kttol(const char *lname, int *) { g_kttol += std::strcmp(lname, "bscvkttol2") == 0; }

TEST(NormalsDistance, KnotToleranceTakenOncePerCallWhateverTheSpans) {
  auto chain = [](int spans) {
    std::vector<double> poles, weights, knots = {0, 0, 0};
    for (int i = 0; i <= 2 * spans; ++i) {
      poles.insert(poles.end(), {0.5 * i, i % 2 ? 1.0 : 0.0, 0});
      weights.push_back(i % 2 ? 3.0 : 1.0);
    }
    for (int s = 1; s < spans; ++s) knots.insert(knots.end(), {double(s), double(s)});
    knots.insert(knots.end(), 3, double(spans));
    return TestCurve(3, poles, knots, weights);
  };
  int counts[2][3] = {};
  for (int size = 0; size < 2; ++size) {
    TestCurve cv = chain(size ? 256 : 8);
    const double pt[3] = {1.3, 2, 0};
    BSfaulthandler previous = BSsetfaulthook(count_kttol);
    g_kttol = 0;
    { Result r(cv, pt); EXPECT_EQ(r.rc, 0); }
    counts[size][0] = g_kttol;
    g_kttol = 0;
    std::int16_t nf = 0, nr = 0;
    double *feet = nullptr, *ranges = nullptr;
    int rc = 0;
    BSnormals(&rc, &cv.cv, pt, &nf, &feet, &nr, &ranges);
    EXPECT_EQ(rc, 0);
    EXPECT_GT(nf, 0);
    BSdbgfree(feet), BSdbgfree(ranges);
    counts[size][1] = g_kttol;
    g_kttol = 0;
    BSboolean found = BSFALSE;
    double u = -1;
    int pos = 0;
    BSperpa(&rc, &cv.cv, pt, pt, &found, &u, &pos);
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(found);
    counts[size][2] = g_kttol;
    BSsetfaulthook(previous);
  }
  for (int road = 0; road < 3; ++road) {
    EXPECT_GT(counts[0][road], 0) << road;
    EXPECT_EQ(counts[1][road], counts[0][road]) << "road " << road << ": 8 spans against 256";
  }
}

}  // namespace

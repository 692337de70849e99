// Curve ends lengthened or shortened by an arc length: the length changes by the distance, the old range keeps its
// points and the new end lies on the continued end span; lines stay straight; refusals, the room of the caller's
// record and the joint contact of the one-construction fallback.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/extend.h"
#include "bspline/measure.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

// The caller's record, num_poles of room.
struct Out {
  VOQbsp_curve *cv = nullptr;
  Out(int order, int num_poles, bool rational) {
    int rc = 0;
    BSallocvoqcv(static_cast<std::int16_t>(order), num_poles, rational, 0, &cv, &rc);
  }
  Out(const Out &) = delete;
  ~Out() {
    int rc = 0;
    BSfreevoqcv(cv, &rc);
  }
};

double length_of(const VOQbsp_curve &c) {
  VOQbsp_curve v = c;
  const double a = c.knots[c.order - 1], b = c.knots[c.num_poles];
  double len = 0;
  int rc = 0;
  BSarclength(&rc, &v, &a, &b, &len);
  return len;
}

double gap(const double a[3], const double b[3]) { return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]); }

// Refusals and boundaries, each case's end chosen by the point at parameter u: the length changes by dist, the
// other end keeps its point and parameter, a full lengthening keeps the old range and continues the end span's
// polynomial; lines stay on their line.
TEST(ArcLengthExtension, EndsLinesAndRefusals) {
  const double nan = std::nan(""), inf = INFINITY;
  TestCurve line(4, {0, 0, 0, 1, 1, 0, 2, 2, 0, 4, 4, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  TestCurve line_rational(3, {0, 0, 1, 1, 0, 1, 3, 0, 1}, {2, 2, 2, 3, 3, 3}, {1, 2, 0.5});
  TestCurve arch(4, {0, 0, 0, 1, 2, 0, 3, 2, 0, 4, 0, 0, 5, -1, 0}, {0, 0, 0, 0, 0.5, 1, 1, 1, 1});
  TestCurve unclamped(4, {0, 0, 0, 1, 2, 0, 3, 2, 0, 4, 0, 0, 5, -1, 0}, {0, 1, 2, 3, 4, 5, 6, 7, 8});
  TestCurve closed(4, {0, 0, 0, 1, 2, 0, 3, 2, 0, 0, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  closed.cv.phy_closed = 1;
  TestCurve dot(3, {1, 1, 1, 1, 1, 1, 1, 1, 1}, {0, 0, 0, 1, 1, 1});
  std::vector<double> zigzag, knots17;
  for (int i = 0; i < 17; ++i) zigzag.insert(zigzag.end(), {double(i), double(i % 2), 0});
  for (int i = 0; i < 34; ++i) knots17.push_back(i < 17 ? 0 : 1);
  TestCurve order17(17, zigzag, knots17);
  TestCurve heavy(3, {0, 0, 0, 1, 1, 0, 2, 0, 0}, {0, 0, 0, 1, 1, 1}, {1, 2, 3.5});
  // On one line but running back on it: shortened along its path, not as a straight curve.
  TestCurve back_forth(2, {0, 0, 0, 4, 0, 0, 1, 0, 0, 6, 0, 0}, {0, 0, 1, 2, 3, 3});
  // A hook whose last leg, continued, would cross its first: a straight piece goes on, the corners stay.
  TestCurve hook(2, {0, 0, 0, 4, 0, 0, 4, 3, 0, 2, 3, 0, 2, 1, 0}, {0, 0, 1, 2, 3, 4, 4});
  // Unclamped and rational with its weights falling from 4 to 0.5: its continuation runs far out as its weight
  // falls, and the curve cut at the distance was not the one measured (2.25 added for 1).
  TestCurve runaway(4, {-14.75, -14, 0, 0, 0.625, 0, -1.25, -1.25, 0, 4, 4, 0},
                    {-14.5, -13.96875, -13.84375, -11.375, -7.625, -3.625, -3.5625, 0.84375}, {4, 4, 2, 0.5});
  // On one line, one way, but jumping from (2, 2) to (0, 0): the jump is no length, so not a straight curve.
  TestCurve jump_line(2, {4, 4, 0, 2, 2, 0, 0, 0, 0, -3, -3, 0}, {0, 0, 1, 1, 2, 2});
  // Standing still up to a jump, then one leg: shortened by that leg, the cut falls a hair past the jump, and
  // kept there it left a span too narrow to evaluate, so that the result had no length.
  TestCurve still_jump(2, {28.375, 0, 0, 0, 0, 0, 0, 0, 0, 0, 15, 0, 0, 0, 0},
                       {20.46875, 20.46875, 27.5625, 34.65625, 34.65625, 41.75, 41.75});
  // Standing still at its end, where its polynomial turns back: a straight piece along the end leg.
  TestCurve still_end(4, {0, 0, 0, 0, 4, 0, 4, 4, 0, 4, 4, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  // Unclamped, its first two poles at one point: it stands still at its start, where its polynomial runs back over
  // it, and its clamped copy keeps a rounding speed there that a step of dist over it ran out into noise.
  TestCurve still_start(3, {-15, -15, 0, -15, -15, 0, 0, 0, 0, 2, 0, 0, 3, -4, 0},
                        {13.875, 13.90625, 13.9375, 14, 15, 16, 16.0625, 16.3125});
  // Unclamped, order 8, its end span 1/187 of the one before, continued 54 of its lengths: the continuation cut at
  // the distance was not the one measured, and before that the new poles moved the old range by 5.5e-4.
  TestCurve short_end_far(8, {-15, -4.25, 0, -15, 0, 0, 0, -15, 0, -15, -15, 0, -15, -15, 0, -15, 0.375, 0, -2, -14, 0,
                              -15, -15, 0, 1.875, 0.25, 0, 0, 1, 0},
                          {-11, -5.15625, 0.6875, 6.53125, 12.375, 14.03125, 19.875, 24.71875, 30.5625, 36.40625,
                           36.4375, 38.09375, 43.9375, 48.78125, 54.625, 60.46875, 60.5, 60.5});
  const double L_line = std::sqrt(32.0), L_arch = length_of(arch.cv);
  struct {
    const char *what;
    TestCurve *c;
    double u, dist;
    int rc;
    bool at_end;
  } cases[] = {
      {"line at its end", &line, 0.9, 1.5, 0, true},
      {"line at its start", &line, 0.1, 1.5, 0, false},
      {"line, order 3, rational, range [2, 3]", &line_rational, 2.2, 0.7, 0, false},
      {"line shortened", &line, 0.9, -2.0, 0, true},
      {"line shortened by its length", &line, 0.1, -L_line, 0, false},
      {"line shortened past its length", &line, 0.9, -1.001 * L_line, BSRC_OUT_OF_RANGE, true},
      {"curve at its end", &arch, 0.6, 0.8, 0, true},
      {"curve at its start", &arch, 0.4, 0.8, 0, false},
      {"unclamped curve at its end", &unclamped, 4.8, 0.8, 0, true},
      {"unclamped curve at its start", &unclamped, 3.2, 0.8, 0, false},
      {"unclamped curve shortened", &unclamped, 3.2, -0.8, 0, false},
      {"curve shortened by its length", &arch, 0.6, -L_arch, 0, true},
      {"curve shortened past its length", &arch, 0.6, -L_arch - 1e-3, BSRC_OUT_OF_RANGE, true},
      {"distance 0", &arch, 0.6, 0.0, 0, true},
      {"rational end weight passing 4.0", &heavy, 0.9, 2.0, 0, true},
      {"line running back and forth shortened", &back_forth, 2.9, -2.0, 0, true},
      {"line jumping along itself shortened at its start", &jump_line, 0.1, -3.0, 0, false},
      {"polyline still up to a jump shortened by its last leg", &still_jump, 41.0, -15.0, 0, true},
      {"rational continuation running away", &runaway, -7.625, 1.0, 0, true},
      {"polyline continued across itself", &hook, 3.9, 2.0, 0, true},
      {"curve standing still at its end", &still_end, 0.9, 2.0, 0, true},
      {"unclamped curve standing still at its start", &still_start, 14.0, 9.0, 0, false},
      {"unclamped order 8, its end span short, continued far", &short_end_far, 36.0, 2.0, 0, true},
      {"distance below dist_tol", &arch, 0.6, 3e-7, 0, true},
      {"order 17 lengthened", &order17, 0.9, 0.5, BSRC_OUT_OF_RANGE, true},
      {"closed curve lengthened", &closed, 0.9, 0.5, BSRC_OUT_OF_RANGE, true},
      {"closed curve shortened", &closed, 0.9, -0.5, 0, true},
      {"poles at one point", &dot, 0.5, 0.5, BSRC_OUT_OF_RANGE, true},
      {"distance NaN", &arch, 0.6, nan, BSRC_OUT_OF_RANGE, true},
      {"distance infinite", &arch, 0.6, inf, BSRC_OUT_OF_RANGE, true},
  };
  for (const auto &c : cases) {
    const TestCurve &cv = *c.c;
    double pt[3], keep[3];
    ref_point(cv, c.u, pt);
    ref_point(cv, c.at_end ? cv.start() : cv.end(), keep);
    const double L = length_of(cv.cv);
    Out out(cv.order(), cv.n() + cv.order() - 1, cv.cv.rational);
    double achieved = 0;
    int rc = 0;
    BSpolxtdst0(&cv.cv, pt, c.dist, &out.cv, &achieved, &rc);
    ASSERT_EQ(rc, c.rc) << c.what;
    if (rc != 0) continue;
    const VOQbsp_curve &r = *out.cv;
    const double a = r.knots[r.order - 1], b = r.knots[r.num_poles];
    ASSERT_LT(a, b) << c.what;
    double kept[3];
    ref_point(r, c.at_end ? a : b, kept);
    EXPECT_LT(gap(keep, kept), 1e-9) << c.what;
    EXPECT_EQ(c.at_end ? a : b, c.at_end ? cv.start() : cv.end()) << c.what;
    // Only the heavy end stops short, with the length it added.
    EXPECT_NEAR(length_of(r), L + achieved, 1e-6) << c.what;
    EXPECT_EQ(achieved < c.dist, c.c == &heavy) << c.what;
    if (c.c == &heavy) {
      EXPECT_GT(r.weights[r.num_poles - 1], 4.0);
    }
    if (c.dist > 0 && achieved == c.dist) {
      EXPECT_LT(old_range_error(cv, r), 1e-9) << c.what;
    }
    // A line goes on as a line; so does a curve whose end span cannot go on (straight, at the pace of the whole).
    // A short end span's polynomial taken several of its lengths on is known only to its rounding, amplified by a
    // power of the degree.
    if (c.dist > 0 && achieved == c.dist && !cv.cv.rational && c.c != &line && c.c != &still_end && c.c != &still_start &&
        c.c != &hook && c.c != &short_end_far) {
      const int span = c.at_end ? cv.n() - 1 : cv.order() - 1;
      double want[3], got[3];
      span_polynomial(cv, cv.knots[span], cv.knots[span + 1], c.at_end ? b : a, want);
      ref_point(r, c.at_end ? b : a, got);
      EXPECT_LT(gap(want, got), 1e-8) << c.what;
    }
    if (c.c != &line && c.c != &line_rational) continue;
    // On the line, and for a lengthening of order 3 or more joined by a knot of multiplicity order - 1.
    for (int i = 0; i < r.num_poles; ++i) {
      const double w = r.rational ? r.weights[i] : 1.0, x = r.poles[3 * i] / w, y = r.poles[3 * i + 1] / w;
      EXPECT_NEAR(c.c == &line ? x - y : y, 0.0, 1e-12) << c.what << i;
    }
    EXPECT_EQ(r.non_uniform, 1) << c.what;
    if (c.dist <= 0) {
      EXPECT_EQ(r.num_poles, cv.order()) << c.what;
      continue;
    }
    EXPECT_EQ(r.num_poles, cv.n() + cv.order() - 1) << c.what;
    const double joint = c.at_end ? cv.end() : cv.start();
    EXPECT_EQ(std::count(r.knots, r.knots + r.num_knots, joint), cv.order() - 1) << c.what;
  }
  int rc = 0;
  double pt[3] = {0, 0, 0};
  VOQbsp_curve *none = nullptr;
  BSpolyxtdst(&arch.cv, pt, 1.0, &none, &rc);
  EXPECT_EQ(rc, BSRC_NULL_CURVE);
  Out out(4, 8, false);
  pt[0] = nan;
  BSpolyxtdst(&arch.cv, pt, 1.0, &out.cv, &rc);
  EXPECT_EQ(rc, BSRC_OUT_OF_RANGE);
  BStraceclear();
}

// The one-construction fallback: a continuation that would cross the curve is refused while one that only meets
// it at the joint is taken; one that cannot reach the distance leaves the record alone; a record with too little
// room is replaced (the sanitizer sees any write past the old one).
TEST(ArcLengthExtension, OneConstruction) {
  TestCurve curl(4, {0.368023, -2.45671, 0, 2.97593, -0.13559, 0, 1.10949, 2.06025, 0, 0.696749, 0.379125, 0},
                 {0, 0, 0, 0, 1, 1, 1, 1});
  TestCurve two(3, {0, 0, 0, 1, 1, 0, 2, 0, 0, 3, 1, 0}, {0, 0, 0, 0.5, 1, 1, 1});
  const struct {
    const char *what;
    TestCurve *c;
    double u, dist;
    int room, rc;
  } cases[] = {
      {"touching at the joint only", &curl, 1.0, 0.5, 7, 0},
      {"crossing the curve", &curl, 1.0, 3.0, 7, BSRC_OUT_OF_RANGE},
      {"beyond the continuation's reach", &curl, 1.0, 1e4, 7, BSRC_EXTENSION_SHORT},
      {"two spans at the start, room for one pole", &two, 0.0, 0.7, 1, 0},
      {"shortened at the end", &two, 1.0, -0.7, 1, 0},
      {"shortened by all but dist_tol", &two, 1.0, -length_of(two.cv) + 0.5e-6, 4, BSRC_OUT_OF_RANGE},
  };
  for (const auto &c : cases) {
    const TestCurve &cv = *c.c;
    double pt[3];
    ref_point(cv, c.u, pt);
    const bool at_end = c.u > 0.5;
    Out out(cv.order(), c.room, false);
    for (int i = 0; i < 3 * c.room; ++i) out.cv->poles[i] = -7;
    const VOQbsp_curve *before = out.cv;
    int rc = 0;
    BSpolyxd0(&cv.cv, pt, c.dist, &out.cv, &rc);
    ASSERT_EQ(rc, c.rc) << c.what;
    if (rc != 0) {
      EXPECT_EQ(out.cv, before) << c.what;
      EXPECT_EQ(out.cv->poles[0], -7) << c.what;
      continue;
    }
    const VOQbsp_curve &r = *out.cv;
    EXPECT_NEAR(length_of(r) - length_of(cv.cv), c.dist, 1e-6) << c.what;
    if (c.dist > 0) {
      EXPECT_LT(old_range_error(cv, r), 1e-9) << c.what;
    }
    double keep[3], kept[3];
    ref_point(cv, at_end ? cv.start() : cv.end(), keep);
    ref_point(r, at_end ? r.knots[r.order - 1] : r.knots[r.num_poles], kept);
    EXPECT_LT(gap(keep, kept), 1e-9) << c.what;
  }
  BStraceclear();
}

const char *g_fail = nullptr;
void fail_named(const char *name, int *rc) {
  if (rc && *rc == 0 && std::string(name) == g_fail) *rc = BSRC_ZERO_WEIGHT;
}

// A failure in any callee, or at any heap or scratch request, passes up and leaves nothing allocated.
TEST(ArcLengthExtension, FailuresLeaveNothing) {
  TestCurve arch(4, {0, 0, 0, 1, 2, 0, 3, 2, 0, 4, 0, 0, 5, -1, 0}, {0, 0, 0, 0, 0.5, 1, 1, 1, 1});
  TestCurve line(3, {0, 0, 0, 1, 1, 0, 3, 3, 0}, {0, 0, 0, 1, 1, 1});
  TestCurve rational(3, {0, 0, 0, 1, 1, 0, 2, 0, 0, 3, -1, 0}, {0, 0, 0, 0.5, 1, 1, 1}, {1, 1.5, 1.2, 1});
  double end[3], start[3];
  ref_point(arch, 1.0, end);
  ref_point(arch, 0.0, start);
  const int live = BSdbgliveblocks(), scratch = BSscratchheapblocks();
  auto run = [&](const TestCurve &c, const double *pt, double dist, bool fallback) {
    Out out(c.order(), 2, c.cv.rational);
    int rc = 0;
    double achieved = 0;
    if (fallback)
      BSpolyxd0(&c.cv, pt, dist, &out.cv, &rc);
    else
      BSpolxtdst0(&c.cv, pt, dist, &out.cv, &achieved, &rc);
    return rc;
  };
  const BSfaulthandler previous = BSsetfaulthook(fail_named);
  for (const bool slow : {false, true}) {
    const bstest::SlowRoads roads(slow);
    for (const char *name : {"bsmdistptcv", "bsarclength", "bsextpolcv0", "bsactivsplt", "bsiarcln2", "bschgcvewlr",
                             "bslngenord", "bspolxtdlin", "bspoly_ext", "bscvcvint", "bscomb2cvs", "bsreallocvoqcv"}) {
      g_fail = name;
      int hits = 0;
      hits += run(arch, end, 1.5, false) != 0;
      hits += run(arch, start, -1.0, false) != 0;
      hits += run(arch, start, 1.0, true) != 0;
      hits += run(line, end, 1.0, false) != 0;
      hits += run(rational, end, 1.0, false) != 0;
      EXPECT_GT(hits, 0) << name << " slow " << slow;
      EXPECT_EQ(BSdbgliveblocks(), live) << name << " slow " << slow;
    }
  }
  BSsetfaulthook(previous);
  for (bool fallback : {false, true}) {
    for (int at = 1; at < 5000; ++at) {
      BSallocfailat(at);
      run(arch, end, 1.5, fallback);
      const bool reached = BSallocfailpending() == 0;
      BSallocfailat(0);
      if (!reached) break;
    }
  }
  EXPECT_EQ(BSdbgliveblocks(), live);
  EXPECT_EQ(BSscratchheapblocks(), scratch);
  BStraceclear();
}

}  // namespace

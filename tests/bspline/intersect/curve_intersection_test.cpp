#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/intersect/call_internal.h"
#include "bspline/knots.h"
#include "tests/bspline/curve_fixtures.h"
#include "tests/bspline/dense_span.h"
#include "tests/bspline/knots_fixtures.h"
#include "tests/bspline/intersection_call.h"
#include "tests/bspline/measure_curves.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// The names of the routines a call went through.
std::set<std::string> g_called;
void record(const char *lname, int *) { g_called.insert(lname); }
struct Recording {
  BSfaulthandler before;
  Recording() : before(BSsetfaulthook(record)) { g_called.clear(); }
  ~Recording() { BSsetfaulthook(before); }
  bool saw(const char *name) const { return g_called.count(name) > 0; }
};

// Fails the case when it leaves heap blocks behind; declared before the case's own objects, it checks after they go.
struct NoLeak {
  const char *what;
  const int live = BSdbgliveblocks();
  ~NoLeak() { EXPECT_EQ(BSdbgliveblocks(), live) << what; }
};

// The same results, bit for bit, wherever each call put them.
void expect_same(const CallResults &got, const CallResults &want, const char *what) {
  ASSERT_EQ(std::vector<int>({got.rc, got.n_int, got.n_over, got.int_alloc, got.over_alloc}),
            std::vector<int>({want.rc, want.n_int, want.n_over, want.int_alloc, want.over_alloc}))
      << what;
  const int n = got.n_int, m = 2 * got.n_over;
  EXPECT_TRUE(std::equal(got.pts(), got.pts() + 3 * n, want.pts()) &&
              std::equal(got.par1(), got.par1() + n, want.par1()) &&
              std::equal(got.par2(), got.par2() + n, want.par2()) &&
              std::equal(got.over_pts(), got.over_pts() + 3 * m, want.over_pts()) &&
              std::equal(got.over_par1(), got.over_par1() + m, want.over_par1()) &&
              std::equal(got.over_par2(), got.over_par2() + m, want.over_par2()))
      << what;
}

// Segments and line strings leave early for their own intersectors and answer exactly what those answer; pole boxes
// apart answer nothing before any curve is classed.
TEST(CurveIntersection, EarlyRoads) {
  TestCurve seg_x(2, {0, 0, 0, 2, 0, 0}, {0, 0, 1, 1}), seg_y(2, {1, -1, 0, 1, 1, 0}, {5, 5, 7, 7});
  // Tilted by 1e-9 over 1 against a fine tolerance: still a crossing of two lines, not an overlap.
  TestCurve tilt_a(2, {0, 0, 0, 1, 1e-9, 0}, {0, 0, 1, 1}), tilt_b(2, {0, 1e-9, 0, 1, 0, 0}, {0, 0, 1, 1});
  TestCurve zig(2, {0, -1, 0, 1, 1, 0, 2, -1, 0, 3, 1, 0}, {0, 0, 1, 2, 3, 3});
  TestCurve cubic(4, {0, 0, 0, 1, 1, 0, 2, -1, 0, 3, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  TestCurve cubic_above(4, {0, 1 + 2e-6, 0, 1, 3, 0, 2, 2, 0, 3, 1 + 2e-6, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  struct Case {
    const char *what;
    VOQbsp_curve *a, *b;
    double fine_tol;  // 0: the default table
    const char *road;
  } const cases[] = {
      {"segments crossing", &seg_x.cv, &seg_y.cv, 0, "bslnln_int"},
      {"segments tilted, fine tolerance", &tilt_a.cv, &tilt_b.cv, 1e-12, "bslnln_int"},
      {"line strings", &zig.cv, &seg_x.cv, 0, "bslsls_int"},
      {"boxes 2e-6 apart", &cubic.cv, &cubic_above.cv, 0, nullptr},
  };
  for (const Case &c : cases) {
    const TolScope tol(bstol::dist_tol, c.fine_tol ? c.fine_tol : BStoltab[bstol::dist_tol]);
    const TolScope sq(bstol::dist_sqtol, c.fine_tol ? c.fine_tol * c.fine_tol : BStoltab[bstol::dist_sqtol]);
    CallResults got(1, 1), want(1, 1);
    {
      const bstest::SlowRoads slow;  // the names of the classing, which a shortcut leaves out
      Recording names;
      got.cvcv(c.a, c.b, BSFALSE);
      // Neither two segments nor boxes apart are classed; line strings are (a point-like string goes elsewhere).
      const bool segments = c.a->num_poles == 2 && c.b->num_poles == 2;
      EXPECT_EQ(names.saw("bscvinttyp"), !segments && c.road) << c.what;
      EXPECT_FALSE(names.saw("bsxspnspn")) << c.what;
      EXPECT_TRUE(!c.road || names.saw(c.road)) << c.what;
    }
    if (!c.road) {
      EXPECT_EQ(got.rc + got.n_int + got.n_over, 0) << c.what;
    } else if (c.a->num_poles == 2 && c.b->num_poles == 2) {
      want.lnln(c.a->poles, c.b->poles, c.a->knots, c.b->knots);
    } else {
      want.lsls(c.a, c.b, BSFALSE);
    }
    if (c.road) expect_same(got, want, c.what);
  }
  BStraceclear();  // the failures of each test here must not fill the trace for later tests
}

// A curve whose poles all coincide meets the other curve at most once, ends first.
TEST(CurveIntersection, PointLikeCurves) {
  TestCurve at_one(4, {1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0}, {2, 2, 2, 2, 5, 5, 5, 5});
  TestCurve at_origin(3, {0, 0, 0, 0, 0, 0, 0, 0, 0}, {1, 1, 1, 3, 3, 3});
  TestCurve at_bump(3, {1, 1, 0, 1, 1, 0, 1, 1, 0}, {0, 0, 0, 1, 1, 1}, {1, 2, 1});
  TestCurve off(3, {1, 0.5, 0, 1, 0.5, 0, 1, 0.5, 0}, {0, 0, 0, 1, 1, 1});
  TestCurve short_seg(2, {1, 0, 0, 1 + 1e-7, 0, 0}, {6, 6, 8, 8});
  TestCurve seg(2, {0, 0, 0, 2, 0, 0}, {0, 0, 4, 4});
  TestCurve bump(3, {0, 0, 0, 1, 2, 0, 2, 0, 0}, {0, 0, 0, 1, 1, 1});
  // Unclamped at its start: it begins at (0.5, 0, 0), not at its first pole (0, 0, 0).
  TestCurve unclamped(3, {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0}, {0, 1, 2, 3, 4, 4, 4});
  TestCurve nan_pt(3, {1, 0, 0, 1, kNaN, 0, 1, 0, 0}, {0, 0, 0, 1, 1, 1});
  // Behind an empty first span the first pole (5, 5, 0) is no part of the curve, though its knots look full: both
  // are the point (1, 0, 0).
  TestCurve stray(3, {5, 5, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0}, {0, 1, 1, 1, 2, 2, 2});
  TestCurve stray_too(3, {5, 5, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0}, {3, 4, 4, 4, 6, 6, 6});
  // Unclamped at its start, its first pole bearing on the range by a millionth: the curve stays within 1e-7 of
  // (1, 0, 0), while the average of its poles is (1.1, 0, 0), on the segment.
  TestCurve faint(3, {1.4, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0}, {0, 1, 1.999999, 2, 3, 3, 3});
  struct Case {
    const char *what;
    VOQbsp_curve *a, *b;
    int int_size, rc, n;
    double pt[3], par1, par2;
  } const cases[] = {
      {"inside a segment", &at_one.cv, &seg.cv, 0, 0, 1, {1, 0, 0}, 3.5, 2},
      {"point second", &seg.cv, &at_one.cv, 0, 0, 1, {1, 0, 0}, 2, 3.5},
      {"ends of both", &at_origin.cv, &seg.cv, 0, 0, 1, {0, 0, 0}, 1, 0},
      {"into the caller's arrays", &at_origin.cv, &seg.cv, 1, 0, 1, {0, 0, 0}, 1, 0},
      {"on a curve, rational point", &at_bump.cv, &bump.cv, 0, 0, 1, {1, 1, 0}, 0.5, 0.5},
      {"two points", &at_one.cv, &short_seg.cv, 0, 0, 1, {1, 0, 0}, 2, 6},
      {"beside the curve", &off.cv, &bump.cv, 0, 0, 0, {}, 0, 0},
      {"first pole of an unclamped curve", &at_origin.cv, &unclamped.cv, 0, 0, 0, {}, 0, 0},
      {"first poles behind empty spans", &stray.cv, &stray_too.cv, 0, 0, 1, {1, 0, 0}, 1, 4},
      {"a first pole bearing faintly", &faint.cv, &seg.cv, 0, 0, 1, {1, 0, 0}, 2.4999995, 2},
      {"NaN pole", &nan_pt.cv, &seg.cv, 0, -2, 0, {}, 0, 0},
  };
  for (const Case &c : cases) {
    const NoLeak no_leak{c.what};
    CallResults r(c.int_size, 0);
    r.cvcv(c.a, c.b, BSTRUE);
    ASSERT_EQ(r.rc, c.rc) << c.what;
    ASSERT_EQ(r.n_int, c.n) << c.what;
    EXPECT_EQ(r.n_over, 0) << c.what;
    if (c.n == 0) continue;
    EXPECT_EQ(r.int_alloc, c.int_size < 1) << c.what;
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(r.pts()[i], c.pt[i], 1e-9) << c.what;
    // Parameters at the ends come exactly; the others within the projection's accuracy.
    EXPECT_NEAR(r.par1()[0], c.par1, std::fmod(c.par1, 1) == 0 ? 0 : 1e-9) << c.what;
    EXPECT_NEAR(r.par2()[0], c.par2, std::fmod(c.par2, 1) == 0 ? 0 : 1e-9) << c.what;
  }
  BStraceclear();
}

// The class of a curve; a curve the degeneracy test cannot judge (its rc 49) is classed by order and poles.
int g_forced = 0;
void force_degn(const char *lname, int *rc) {
  if (rc && std::strcmp(lname, "bststcvdegn") == 0) *rc = g_forced;
}

TEST(CurveIntersection, Classes) {
  TestCurve seg(2, {0, 0, 0, 2, 0, 0}, {0, 0, 1, 1});
  TestCurve dot(2, {1, 1, 0, 1, 1, 0}, {0, 0, 1, 1});
  TestCurve cubic(4, {0, 0, 0, 1, 1, 0, 2, -1, 0, 3, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  TestCurve nan(4, {0, 0, 0, 1, 1, 0, 2, kNaN, 0, 3, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  struct Case {
    const char *what;
    const VOQbsp_curve *cv;
    int forced, rc, cls;
  } const cases[] = {
      {"segment", &seg.cv, 0, 0, 2},
      {"point", &dot.cv, 0, 0, 1},
      {"cubic", &cubic.cv, 0, 0, 3},
      {"unjudged point", &dot.cv, 49, 0, 2},
      {"unjudged cubic", &cubic.cv, 49, 0, 3},
      {"failed test", &cubic.cv, 33, 33, -1},
      {"NaN", &nan.cv, 0, -2, -1},
      {"null", nullptr, 0, 3, -1},
  };
  for (const bool slow : {false, true}) {
    for (const Case &c : cases) {
      const bstest::SlowRoads roads(slow);
      SCOPED_TRACE(slow ? "slow roads" : "short roads");
      g_forced = c.forced;
      const BSfaulthandler before = BSsetfaulthook(c.forced ? force_degn : nullptr);
      int cls = 9, rc = 9;
      BScvinttyp(c.cv, &cls, &rc);
      BSsetfaulthook(before);
      EXPECT_EQ(rc, c.rc) << c.what;
      EXPECT_EQ(cls, c.cls) << c.what;
    }
  }
  BStraceclear();
}

// The span tree: a leaf per span of non-zero length, pruned from the root against the query box; the query then names
// exactly the spans whose widened boxes meet both boxes.
TEST(CurveIntersection, SpanTree) {
  // Seven spans along x (span i covers x in [i, i + 2] by its poles), span 3 of zero length.
  std::vector<double> poles;
  for (int i = 0; i < 9; ++i) poles.insert(poles.end(), {static_cast<double>(i), i % 2 ? 1.0 : 0.0, 0});
  TestCurve cv(3, poles, {0, 0, 0, 1, 2, 3, 3, 4, 5, 6, 6, 6});
  struct Case {
    const char *what;
    double lo[3], hi[3], query[6];
    int levels, leaves;
    std::vector<int> found;
  } const cases[] = {
      {"everything", {-9, -9, -9}, {9, 9, 9}, {-9, -9, -9, 9, 9, 9}, 4, 6, {0, 1, 2, 4, 5, 6}},
      {"around x = 4.5", {4.4, 0, 0}, {4.6, 1, 0}, {4.4, 0, 0, 4.6, 1, 0}, 4, 6, {4}},
      {"tree pruned beyond x = 6.5", {6.5, 0, 0}, {9, 1, 0}, {-9, -9, -9, 9, 9, 9}, 4, 6, {5, 6}},
      {"missing everything", {20, 0, 0}, {21, 1, 0}, {-9, -9, -9, 9, 9, 9}, 4, 6, {}},
  };
  for (const Case &c : cases) {
    int levels = -1, counts[BSRANGE_MAX_LEVELS], rc = 9;
    BSrangenode *arrays[BSRANGE_MAX_LEVELS];
    BScvspnrgtr(&cv.cv, c.lo, c.hi, &levels, counts, arrays, &rc);
    ASSERT_EQ(rc, 0) << c.what;
    ASSERT_EQ(levels, c.levels) << c.what;
    EXPECT_EQ(counts[0], c.leaves) << c.what;
    EXPECT_EQ(counts[levels - 1], 1) << c.what;
    int *list = static_cast<int *>(BSdbgmalloc(200 * sizeof(int))), n = 0;
    BScvcmp_rng(c.query, levels, arrays, 0, &n, &list, &rc);
    EXPECT_EQ(rc, 0) << c.what;
    EXPECT_EQ(std::vector<int>(list, list + n), c.found) << c.what;
    BSdbgfree(list);
    for (int l = 0; l < BSRANGE_MAX_LEVELS; ++l)
      if (arrays[l]) BSdbgfree(arrays[l]);
  }

  // 2^19 + 1 spans are refused before anything is built.
  const double lo[3] = {-9, -9, -9}, hi[3] = {9, 9, 9};
  const int spans = (1 << 19) + 1;
  std::vector<double> many(3 * static_cast<size_t>(spans + 2), 0.0), knots = {0, 0};
  for (int i = 0; i < spans + 2; ++i) many[3 * static_cast<size_t>(i)] = i;
  for (int i = 0; i <= spans; ++i) knots.push_back(i);
  knots.insert(knots.end(), {static_cast<double>(spans), static_cast<double>(spans)});
  TestCurve huge(3, many, knots);
  const int live = BSdbgliveblocks();
  int levels = -1, counts[BSRANGE_MAX_LEVELS], rc = 9;
  BSrangenode *arrays[BSRANGE_MAX_LEVELS];
  BScvspnrgtr(&huge.cv, lo, hi, &levels, counts, arrays, &rc);
  EXPECT_EQ(rc, 44);
  EXPECT_EQ(levels, 0);
  EXPECT_EQ(BSdbgliveblocks(), live);
  BStraceclear();
}

// The accumulators grow far enough for any batch, in place first and then on the heap; a failed growth leaves them as
// they were.
TEST(CurveIntersection, AccumulatorGrowth) {
  struct Case {
    const char *what;
    int stored, batch;
    BSboolean overlap;
    int fail_at, rc, n_after, blocks_after;
  } const cases[] = {
      {"256 points onto 90", 90, 256, 0, 0, 0, 346, 3}, {"10 points onto 90", 90, 10, 0, 0, 0, 100, 0},
      {"11 points onto 90", 90, 11, 0, 0, 0, 101, 1},   {"overlap onto 99", 99, 2, 1, 0, 0, 100, 0},
      {"overlap onto 100", 100, 2, 1, 0, 0, 101, 1},    {"heap fails", 90, 256, 0, 2, -13, 90, 0},
      {"overlap of 3 results", 0, 3, 1, 0, -2, 0, 0},
  };
  std::vector<double> batch_pts(3 * 257), b1(257), b2(257);
  for (int i = 0; i < 257; ++i) {
    batch_pts[3 * i] = 1000 + i, batch_pts[3 * i + 1] = -i, batch_pts[3 * i + 2] = 0.5;
    b1[i] = 1000 + i, b2[i] = 2000 + i;
  }
  for (const Case &c : cases) {
    const NoLeak no_leak{c.what};
    bsintcall::Store st;
    // Stored entries: points, or overlaps, numbered by their index.
    for (int i = 0; i < c.stored; ++i) st.pts[3 * i + 1] = st.ot2[2 * i + 1] = i;
    (c.overlap ? st.n_ovl : st.n_pts) = c.stored;
    int rc = 9;
    BSallocfailat(c.fail_at);
    BSspnspnmem(c.batch, batch_pts.data(), b1.data(), b2.data(), c.overlap, &st.n_pts, &st.pp, &st.pt1, &st.pt2,
                &st.n_ovl, &st.op, &st.ot1p, &st.ot2p, &st.blocks_pts, &st.blocks_ovl, &rc);
    BSallocfailat(0);
    EXPECT_EQ(rc, c.rc) << c.what;
    const int n = c.overlap ? st.n_ovl : st.n_pts;
    ASSERT_EQ(n, c.n_after) << c.what;
    EXPECT_EQ(c.overlap ? st.blocks_ovl : st.blocks_pts, c.blocks_after) << c.what;
    EXPECT_EQ(c.overlap ? st.n_pts : st.n_ovl, 0) << c.what;
    // The last stored entry and the whole batch after it, then a second batch onto a store on the heap.
    const int last = c.stored - 1, at = c.stored + c.batch - 1;
    if (c.stored > 0) {
      EXPECT_EQ(c.overlap ? st.ot2p[2 * last + 1] : st.pp[3 * last + 1], last) << c.what;
    }
    if (c.rc == 0 && c.overlap) {
      EXPECT_EQ(st.op[6 * (n - 1) + 5], batch_pts[5]) << c.what;
    }
    if (c.rc == 0 && !c.overlap) {
      EXPECT_TRUE(std::equal(st.pt2 + c.stored, st.pt2 + n, b2.begin()) &&
                  st.pp[3 * at] == batch_pts[3 * (c.batch - 1)])
          << c.what;
    }
    if (c.rc == 0 && !c.overlap && st.blocks_pts > 0) {
      BSspnspnmem(257, batch_pts.data(), b1.data(), b2.data(), BSFALSE, &st.n_pts, &st.pp, &st.pt1, &st.pt2,
                  &st.n_ovl, &st.op, &st.ot1p, &st.ot2p, &st.blocks_pts, &st.blocks_ovl, &rc);
      EXPECT_EQ(rc, 0) << c.what;
      EXPECT_EQ(st.pt1[st.n_pts - 1] + st.pt1[at], b1[256] + b1[c.batch - 1]) << c.what;
    }
  }
  BStraceclear();
}

// Span by span: crossings inside spans and at their joints (found by both neighbours, reported once), two crossings
// at one place, ordered by the caller's first curve whichever curve has more spans, and the spans' order limit.
TEST(CurveIntersection, SpanPairs) {
  TestCurve bump(3, {0, 0, 0, 1, 2, 0, 2, 0, 0}, {0, 0, 0, 1, 1, 1});
  TestCurve level(2, {0, 0.75, 0, 2, 0.75, 0}, {0, 0, 1, 1});
  // Three quadratic spans whose joints (1.5, 0.5) and (2.5, 0.5) lie on the line y = 0.5, run right to left.
  TestCurve wave(3, {0, 0, 0, 1, 2, 0, 2, -1, 0, 3, 2, 0, 4, 0, 0}, {0, 0, 0, 1, 2, 3, 3, 3});
  TestCurve back(2, {5, 0.5, 0, -1, 0.5, 0}, {0, 0, 1, 1});
  const double xs[4] = {13.5 / 49, 1.5, 2.5, 182.5 / 49}, us[4] = {1.0 / 7, 1, 2, 20.0 / 7};
  auto on_back = [&](int i) { return (5 - xs[i]) / 6; };
  std::vector<double> p17(3 * 17), k17(34);
  for (int i = 0; i < 17; ++i) p17[3 * i] = i, p17[3 * i + 1] = i % 2;
  for (int i = 0; i < 34; ++i) k17[i] = i < 17 ? 0 : 1;
  TestCurve order17(17, p17, k17);
  // A loop that crosses itself at (0.5, 0.3), at 0.5 -+ sqrt(0.15), and a line through that point.
  TestCurve loop(4, {0, 0, 0, 2, 1, 0, -1, 1, 0, 1, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  TestCurve upright(2, {0.5, 0, 0, 0.5, 0.5, 0}, {0, 0, 1, 1});
  const double s = 0.5 - std::sqrt(0.15);
  // Two quintic spans of a zigzag that meet at a joint: the second runs out from it and back, and the first crosses
  // that way back 4e-4 from the joint at a tangent sine of 0.064, the spans parting in between.
  const double joint[2] = {-11977. / 1648, -5369. / 1648};
  TestCurve way_out(5, {joint[0], joint[1], 0, -6003. / 824, -2691. / 824, 0, -754. / 103, -338. / 103, 0,
                        -29. / 206, -13. / 206, 0, -20097481. / 1756768, -20094857. / 1756768, 0},
                    {7.96875, 7.96875, 7.96875, 7.96875, 7.96875, 15.9375, 15.9375, 15.9375, 15.9375, 15.9375});
  TestCurve way_in(5, {-1.5, -15, 0, -14.5, -6.5, 0, -7.25, -3.25, 0, -7.25, -3.25, 0, joint[0], joint[1], 0},
                   {0, 0, 0, 0, 0, 7.96875, 7.96875, 7.96875, 7.96875, 7.96875});
  struct Case {
    const char *what;
    VOQbsp_curve *a, *b;
    int rc;
    std::vector<double> x, par1, par2;
  } const cases[] = {
      {"quadratic and line", &bump.cv, &level.cv, 0, {0.5, 1.5}, {0.25, 0.75}, {0.25, 0.75}},
      {"a line through a loop's self-crossing: both crossings", &loop.cv, &upright.cv, 0, {0.5, 0.5}, {s, 1 - s},
       {0.6, 0.6}},
      {"joints, more spans first",
       &wave.cv,
       &back.cv,
       0,
       {xs[0], xs[1], xs[2], xs[3]},
       {us[0], us[1], us[2], us[3]},
       {on_back(0), on_back(1), on_back(2), on_back(3)}},
      {"joints, more spans second",
       &back.cv,
       &wave.cv,
       0,
       {xs[3], xs[2], xs[1], xs[0]},
       {on_back(3), on_back(2), on_back(1), on_back(0)},
       {us[3], us[2], us[1], us[0]}},
      {"a shallow crossing beside a shared joint", &way_out.cv, &way_in.cv, 0, {joint[0], -7.2671716003, -8.4919226545},
       {7.96875, 8.4121882808, 15.3025313493}, {7.96875, 7.6075052638, 1.9943223890}},
      {"order 17", &order17.cv, &level.cv, -2, {}, {}, {}},
  };
  for (const Case &c : cases) {
    const NoLeak no_leak{c.what};
    CallResults r(2, 2);
    r.cvcv(c.a, c.b, BSFALSE);
    ASSERT_EQ(r.rc, c.rc) << c.what;
    ASSERT_EQ(r.n_int, static_cast<int>(c.x.size())) << c.what;
    EXPECT_EQ(r.n_over, 0) << c.what;
    EXPECT_EQ(r.int_alloc, r.n_int > 2) << c.what;
    for (int k = 0; k < r.n_int; ++k) {
      EXPECT_NEAR(r.pts()[3 * k], c.x[k], 1e-6) << c.what << k;
      EXPECT_NEAR(r.par1()[k], c.par1[k], 1e-6) << c.what << k;
      EXPECT_NEAR(r.par2()[k], c.par2[k], 1e-6) << c.what << k;
    }
  }
  BStraceclear();
}

// Two spans that share a short stretch from their starts and cross once off it, away from both ends of it: the
// overlap and the crossing, whichever span comes first or runs the other way, and far from the origin.
TEST(CurveIntersection, ACrossingBeyondASharedStretch) {
  const std::vector<double> a_xy = {-11.25, -15, -15, -15, -15, -15, -15, -11.809910689022553},
                            b_xy = {-11.2646484375, -15, -7.529296875, -15, -0.058593749999999792, -15,
                                    -14.767901363949493, -14.630813865463519};
  const double crossing[2] = {-14.4852989147, -14.6379303011};
  for (const double far : {0.0, 1e5})
    for (const bool reversed : {false, true})
      for (const bool swap : {false, true}) {
        std::vector<double> pa, pb;
        for (int i = 0; i < 4; ++i) {
          const int j = reversed ? 3 - i : i;
          pa.insert(pa.end(), {a_xy[2 * i] + far, a_xy[2 * i + 1] + far, 0});
          pb.insert(pb.end(), {b_xy[2 * j] + far, b_xy[2 * j + 1] + far, 0});
        }
        TestCurve a(4, pa, {7.96875, 7.96875, 7.96875, 7.96875, 15.9375, 15.9375, 15.9375, 15.9375});
        TestCurve b(4, pb, {26.28125, 26.28125, 26.28125, 26.28125, 34.25, 34.25, 34.25, 34.25});
        const std::string what = std::string(reversed ? "reversed" : "as given") + (swap ? ", swapped" : "") +
                                 (far > 0 ? ", far" : "");
        const NoLeak no_leak{what.c_str()};
        CallResults r(2, 2);
        r.cvcv(swap ? &b.cv : &a.cv, swap ? &a.cv : &b.cv, BSTRUE);
        ASSERT_EQ(r.rc, 0) << what;
        EXPECT_EQ(r.n_over, 1) << what;
        ASSERT_EQ(r.n_int, 1) << what;
        EXPECT_NEAR(r.pts()[0], crossing[0] + far, 1e-6) << what;
        EXPECT_NEAR(r.pts()[1], crossing[1] + far, 1e-6) << what;
        double pa_at[3], pb_at[3];
        ref_point(a, swap ? r.par2()[0] : r.par1()[0], pa_at);
        ref_point(b, swap ? r.par1()[0] : r.par2()[0], pb_at);
        EXPECT_NEAR(std::hypot(pa_at[0] - pb_at[0], pa_at[1] - pb_at[1]), 0, 1e-6) << what;
      }
  BStraceclear();
}

// Two closed quadratic curves that meet where they touch, one with a weight of 1e274: its spans are cut into pieces
// whose knot tolerance is no positive number, and the iteration on them ends where they already meet.
TEST(CurveIntersection, AWeightOf1e274) {
  const std::vector<double> knots = {0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 4};
  TestCurve a(3, {2, 0, 0, 2, 2, 0, 0, 2, 0, -2, 2, 0, -2, 0, 0, -2, -2, 0, 0, -2, 0, 2, -2, 0, 2, 0, 0}, knots,
              {1, 0.70710678119068093, 1, 0.00024129804228187197, 1, 0.70710666197725802, 1, 0.70710678118654757, 1});
  TestCurve b(3, {6, 0, 0, 6, 2, 0, 4, 2, -0.125, -0.125, 0.75, 0, 2, 0, 0, 2, -2, 0, 4, -2, 0, 6, -2, 0, 6, 0, 0},
              knots, {1, 0.70710678118654757, 1, 0.70710678118654757, 1, 2.4481670458887149e+274, 1,
                      0.70710678118654757, 1});
  a.cv.phy_closed = b.cv.phy_closed = 1;
  const NoLeak no_leak{"1e274"};
  CallResults r(2, 2);
  r.cvcv(&a.cv, &b.cv, BSFALSE);
  ASSERT_EQ(r.rc, 0);
  ASSERT_EQ(r.n_int, 2);
  for (int k = 0; k < 2; ++k) {
    EXPECT_NEAR(r.pts()[3 * k], 2, 1e-9);
    EXPECT_NEAR(r.pts()[3 * k + 1], 0, 1e-9);
    EXPECT_EQ(r.par1()[k], 4 * k);
    EXPECT_NEAR(r.par2()[k], 2, 1e-9);
  }
  BStraceclear();
}

// Spans whose weights lie far apart, an end weight among them of 1e-15 to 1e-8: a span runs through nearly all of
// its length within slivers of its parameter, which the node polygons, halved at parameter middles until the pieces
// ran out, passed over: crossings were missed (each row lost one or two). Against dense polylines that even the
// weights out, at home, 1e5 to 1e7 out and a thousand times smaller, either curve first: every crossing the
// polylines make is found once, every result lies on both spans, and its parameters name it as nearly as a double
// beside them can (a span of end weight 1e-15 may pass a whole stretch between two neighbouring doubles).
TEST(CurveIntersection, UnevenWeightsAgainstADenseOracle) {
  struct Span {
    std::vector<double> xy, w;
  };
  struct Row {
    const char *what;
    Span a, b;
  } const rows[] = {
      {"a conic of end weight 1.35e-13, middle 537, across a quartic",
       {{5.26153, 3.81735, 8.18295, 2.83972, 3.99666, 1.19999}, {1.04, 537, 1.35e-13}},
       {{4.19712, 0.635998, 2.13023, 8.09516, 4.69536, 0.55293, 6.34497, 1.1906, 1.76147, 5.64503},
        {1.15, 0.856, 1.13, 1.07, 1.19}}},
      {"two cubics of end weights 4.27e-10 and 3.52e-11",
       {{9.81594, 1.44387, 3.14802, 8.47934, 1.59175, 1.28769, 1.72022, 7.69698}, {0.00582, 0.00352, 5.78, 4.27e-10}},
       {{4.83772, 6.67966, 9.56963, 4.05364, 6.94025, 2.46722, 5.27099, 1.02234}, {0.399, 0.381, 1.42, 3.52e-11}}},
      {"a quartic of first weight 1.32e-14 across a cubic of last weight 1.03e-15",
       {{2.09439, 8.73801, 5.73732, 3.66444, 3.35245, 9.81781, 9.4708, 5.45603, 3.46369, 9.73879},
        {1.32e-14, 0.00197, 0.831, 3.33, 1}},
       {{9.56455, 1.54507, 2.28735, 8.27871, 2.04372, 9.2346, 4.40532, 7.14638}, {1, 0.00951, 47, 1.03e-15}}},
      {"a quartic of end weight 2.43e-14 across a conic of end weight 1.82e-8",
       {{4.13276, 4.31826, 0.234526, 4.17499, 1.77149, 1.20168, 8.15846, 0.218132, 1.29058, 6.64365},
        {2.53, 0.375, 70.1, 0.0268, 2.43e-14}},
       {{1.48424, 8.8176, 1.47077, 0.124433, 6.18574, 9.84825}, {20.6, 6.96, 1.82e-08}}},
      {"a conic of end weight 3.07e-14, first 542, across a quartic of end weight 4.06e-9",
       {{7.14939, 6.04569, 2.07249, 2.60213, 7.39747, 0.216933}, {542, 0.00186, 3.07e-14}},
       {{6.35065, 0.165811, 8.65286, 1.28876, 4.92243, 2.40302, 3.20359, 6.72258, 0.116302, 5.22164},
        {0.0188, 175, 0.0892, 0.117, 4.06e-09}}},
      {"two cubics, weights 1e-3 and 1e3 inside, end weights 3.51e-15 and 1.94e-10",
       {{1.24844, 1.00176, 9.97848, 3.5435, 0.63594, 5.11504, 6.97433, 4.60258}, {0.00614, 1.23, 0.0026, 3.51e-15}},
       {{4.25727, 9.736, 7.80491, 1.67375, 5.3778, 7.00903, 8.94548, 9.54953}, {1.94e-10, 32.5, 281, 1.18}}},
      {"a quartic of end weight 1.04e-15 across a conic of first weight 2.62e-15",
       {{5.53984, 4.51634, 1.61105, 9.86894, 1.73931, 3.84613, 5.85566, 9.33284, 3.01433, 1.146},
        {17.4, 508, 0.515, 973, 1.04e-15}},
       {{2.9526, 6.13925, 7.43894, 3.04832, 7.3128, 5.99756}, {2.62e-15, 25.2, 1}}},
  };
  const double tol = BStoltab[bstol::dist_tol];
  for (const Row &row : rows) {
    std::vector<double> line[2], boxes[2];
    const Span *spans[2] = {&row.a, &row.b};
    for (int s = 0; s < 2; ++s) {
      std::vector<double> poles;
      for (std::size_t j = 0; j < spans[s]->w.size(); ++j)
        poles.insert(poles.end(), {spans[s]->xy[2 * j], spans[s]->xy[2 * j + 1], 0});
      line[s] = dense_span(poles, spans[s]->w, 1e-9);
      boxes[s] = run_boxes(line[s]);
    }
    const std::vector<PolylineCrossing> want = polyline_crossings(line[0], boxes[0], line[1], boxes[1]);
    ASSERT_FALSE(want.empty()) << row.what;
    for (const double shift : {0.0, 1e5, 1e6, 1e7, -1.0})
      for (const bool swap : {false, true}) {
        // shift -1: a thousand times smaller at home.
        const double size = shift < 0 ? 1e-3 : 1, at = shift < 0 ? 0 : shift;
        const std::string what = std::string(row.what) + (swap ? ", swapped" : "") + ", " +
                                 (shift < 0 ? std::string("tiny") : "at " + std::to_string(shift));
        std::unique_ptr<TestCurve> cv[2];
        for (int s = 0; s < 2; ++s) {
          const std::size_t k = spans[s]->w.size();
          std::vector<double> poles, knots(k, 0.0);
          knots.resize(2 * k, 1.0);
          for (std::size_t j = 0; j < k; ++j)
            poles.insert(poles.end(), {spans[s]->xy[2 * j] * size + at, spans[s]->xy[2 * j + 1] * size + at, 0});
          cv[s] = std::make_unique<TestCurve>(static_cast<int>(k), poles, knots, spans[s]->w);
        }
        const NoLeak no_leak{what.c_str()};
        CallResults r(16, 16);
        r.cvcv(&cv[swap]->cv, &cv[!swap]->cv, BSFALSE);
        ASSERT_EQ(r.rc, 0) << what;
        EXPECT_EQ(r.n_over, 0) << what;
        // The polylines follow the spans within 1e-9; out there the coordinates are rounded to 2e-9.
        const double slack = 2e-9 * size + 4e-16 * at;
        for (const PolylineCrossing &x : want) {
          int found = 0;
          for (int i = 0; i < r.n_int; ++i)
            found += std::hypot(r.pts()[3 * i] - (x.x * size + at), r.pts()[3 * i + 1] - (x.y * size + at)) <
                     slack + 4 * tol / x.sine;
          EXPECT_EQ(found, 1) << what << ": the crossing at " << x.x << ", " << x.y;
        }
        EXPECT_EQ(r.n_int, static_cast<int>(want.size())) << what;
        for (int i = 0; i < r.n_int; ++i) {
          const double *pt = r.pts() + 3 * i, home[3] = {(pt[0] - at) / size, (pt[1] - at) / size, 0};
          for (int s = 0; s < 2; ++s) {
            EXPECT_LT(polyline_distance(line[s], boxes[s], home) * size, slack + 2 * tol) << what << ": off span " << s;
            const double t = (s == swap ? r.par1() : r.par2())[i];
            double on[3][3];
            int rc = 0;
            const double beside[3] = {std::fmax(0.0, std::nextafter(t, -1.0)), t,
                                      std::fmin(1.0, std::nextafter(t, 2.0))};
            for (int q = 0; q < 3; ++q) BScveval_n(&cv[s]->cv, beside[q], 0, on[q], &rc);
            ASSERT_EQ(rc, 0) << what;
            const std::vector<double> legs(&on[0][0], &on[0][0] + 9);
            EXPECT_LT(polyline_distance(legs, run_boxes(legs), pt), slack + 2 * tol)
                << what << ": the parameter " << t << " on span " << s;
          }
        }
      }
  }
}

// A curve against a piece of itself: one overlap over the piece, no points inside it.
TEST(CurveIntersection, SubCurveOverlaps) {
  std::mt19937 rng(83);
  for (int trial = 0; trial < 6; ++trial) {
    const std::unique_ptr<TestCurve> cv = random_curve(rng, 2 + trial % 4, 9, trial % 2 == 1, true);
    const double u1 = cv->start() + 0.3 * (cv->end() - cv->start()), u2 = cv->start() + 0.8 * (cv->end() - cv->start());
    std::vector<double> poles(cv->poles.size()), knots(cv->knots.size()), weights(cv->weights.size());
    VOQbsp_curve piece{};
    piece.poles = poles.data(), piece.knots = knots.data(), piece.weights = weights.empty() ? nullptr : weights.data();
    int rc = 9;
    BSactivsplt(&rc, &cv->cv, &u1, &u2, &piece, nullptr);
    ASSERT_EQ(rc, 0);
    CallResults r(10, 10);
    r.cvcv(&cv->cv, &piece, BSFALSE);
    ASSERT_EQ(r.rc, 0) << trial;
    EXPECT_EQ(r.n_int, 0) << trial;
    ASSERT_EQ(r.n_over, 1) << trial;
    EXPECT_NEAR(r.over_par1()[0], u1, 1e-6) << trial;
    EXPECT_NEAR(r.over_par1()[1], u2, 1e-6) << trial;
    double p[3];
    for (int e = 0; e < 2; ++e) {
      ref_point(*cv, e ? u2 : u1, p);
      for (int d = 0; d < 3; ++d) EXPECT_NEAR(r.over_pts()[3 * e + d], p[d], 1e-6) << trial;
    }
  }
  BStraceclear();
}

// 250 spans against one line, met at every joint: the candidate list, the span cache, the accumulators and the sort all
// go beyond their first blocks, and every failure on the way releases everything; on both roads (the line, one
// span, has the zigzag's span boxes scanned on the plain one and a range tree built on the slow one).
TEST(CurveIntersection, ManySpansReleaseEverything) {
  std::vector<double> poles, knots = {0, 0, 0};
  for (int i = 0; i < 252; ++i) poles.insert(poles.end(), {static_cast<double>(i), i % 2 ? 1.0 : 0.0, 0});
  for (int i = 1; i < 250; ++i) knots.push_back(i);
  knots.insert(knots.end(), {250, 250, 250});
  TestCurve zig(3, poles, knots), line(2, {-1, 0.5, 0, 252, 0.5, 0}, {0, 0, 1, 1});
  for (const bool slow : {false, true}) {
    const bstest::SlowRoads roads(slow);
    int failures = 0;
    for (int at_alloc = 1; at_alloc < 200; ++at_alloc) {
      const int live = BSdbgliveblocks(), scratch = BSscratchheapblocks();
      {
        CallResults r(0, 0);
        BSallocfailat(at_alloc);
        r.cvcv(&line.cv, &zig.cv, BSFALSE);
        const bool hit = BSallocfailpending() == 0;
        BSallocfailat(0);
        if (!hit) {
          ASSERT_EQ(r.rc, 0);
          ASSERT_EQ(r.n_int, 251);  // one inside the first and the last span each, and the 249 joints
          EXPECT_TRUE(r.int_alloc);
          for (int k = 1; k < 250; ++k) EXPECT_NEAR(r.par2()[k], k, 1e-6) << k;
          for (int k = 0; k < 251; ++k) EXPECT_NEAR(r.pts()[3 * k + 1], 0.5, 1e-6) << k;
          break;
        }
        ++failures;
        EXPECT_TRUE(r.rc == -13 || r.rc == 33) << at_alloc << " rc " << r.rc;
      }
      EXPECT_EQ(BSdbgliveblocks(), live) << at_alloc;
      EXPECT_EQ(BSscratchheapblocks(), scratch) << at_alloc;
    }
    EXPECT_GE(failures, 10) << slow;
  }
  BStraceclear();
}

}  // namespace

namespace {

// The record's values, for comparisons to the bit: counts and flags, then poles, knots and weights.
std::vector<double> record_values(const VOQbsp_curve &cv) {
  std::vector<double> v{double(cv.order), double(cv.num_poles), double(cv.num_knots), double(cv.rational),
                        double(cv.non_uniform), double(cv.phy_closed), double(cv.planar), double(cv.periodic)};
  v.insert(v.end(), cv.poles, cv.poles + 3 * cv.num_poles);
  v.insert(v.end(), cv.knots, cv.knots + cv.num_poles + cv.order);
  if (cv.rational) v.insert(v.end(), cv.weights, cv.weights + cv.num_poles);
  return v;
}

bool same_bits(const std::vector<double> &a, const std::vector<double> &b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

}  // namespace

// A curve cut one span at a time from its front in its own arrays, as the self-intersection's span loop cuts it:
// every part is BScvsplit's to the bit, and for every rest the index built once over the arrays gives BSpolesbox's
// box, a knot tolerance range that holds BScvkttol2's value, and a clamped extent only where the curve has one.
TEST(CurveIntersection, RestIndexAnswersForEveryRest) {
  std::mt19937 rng(43);
  auto wavy = [](int order, int n, double offset, bool weighted, bool lifted) {
    std::vector<double> p, k, w;
    for (int i = 0; i < n; ++i) {
      const double t = 0.55 * i;
      p.insert(p.end(), {offset + t - 1.7 * std::sin(t), offset + 1 - 1.7 * std::cos(t), lifted ? std::sin(t) : 0});
      if (weighted) w.push_back(std::pow(10.0, 3 * std::sin(0.7 * i)));
    }
    for (int i = 0; i < n + order; ++i) k.push_back(std::clamp(i - order + 1, 0, n - order + 1));
    return std::make_unique<TestCurve>(order, p, k, w);
  };
  auto doubled = wavy(4, 60, 0, false, false);
  for (int i = 6; i < 60; i += 5) doubled->knots[i] = doubled->knots[i - 1];
  auto crowded = wavy(4, 60, 0, false, false);
  // Knots a unit in the last place apart, below zero_tol: a cut at the first one is a cut at the second.
  for (int i = 8; i < 60; i += 7) crowded->knots[i] = std::nextafter(crowded->knots[i - 1], 100.0);
  // A line string back within the distance tolerance of its 21st point at its end (the rest from there closes,
  // and closing moves its ends), with a leg shorter than the tolerance (a span that closes).
  auto closing = wavy(2, 60, 0, false, false);
  std::copy(closing->poles.begin() + 60, closing->poles.begin() + 63, closing->poles.end() - 3);
  std::copy(closing->poles.begin() + 30, closing->poles.begin() + 33, closing->poles.begin() + 33);
  closing->poles.end()[-2] += 3e-7;
  closing->poles[34] += 3e-7;
  struct Row {
    const char *what;
    std::unique_ptr<TestCurve> cv;
    int min_cuts;  // cuts made in place
  } rows[] = {
      {"parts that close", std::move(closing), 50},
      {"cubic", wavy(4, 60, 0, false, false), 50},
      {"line string", wavy(2, 60, 0, false, false), 55},
      {"order 16", wavy(16, 60, 0, false, true), 40},
      {"weights from 1e-3 to 1e3", wavy(4, 60, 0, true, false), 50},
      {"at 1e7", wavy(5, 60, 1e7, false, true), 50},
      {"double knots", std::move(doubled), 35},
      {"crowded knots", std::move(crowded), 25},
      {"unclamped", random_curve(rng, 4, 60, false, false), 50},
      {"rational with triple knots", random_curve(rng, 5, 60, true, true, 3), 10},
  };
  for (Row &row : rows) {
    const VOQbsp_curve &cv = row.cv->cv;
    // The working arrays, and the plain road's rest beside them.
    std::vector<double> poles(cv.poles, cv.poles + 3 * cv.num_poles), knots(cv.knots, cv.knots + cv.num_knots),
        weights(cv.rational ? cv.weights : nullptr, cv.rational ? cv.weights + cv.num_poles : nullptr);
    VOQbsp_curve work = cv;
    work.poles = poles.data(), work.knots = knots.data(), work.weights = cv.rational ? weights.data() : nullptr;
    HeapCurve plain = heap_copy(cv);
    bsintcall::RestIndex index;
    const double grow = 10 * BStoltab[bstol::dist_tol];
    ASSERT_TRUE(index.build(work, grow)) << row.what;
    bsknots::FixedCurve<bsknots::kFrontRoom, 16> front;
    int cuts = 0;
    const int k = cv.order;
    for (int i = k; i < cv.num_poles; ++i) {
      const double u = cv.knots[i];
      if (!(cv.knots[i - 1] < u)) continue;
      bsknots::KnotTolRange tol;
      index.knot_tol(work, &tol);
      VOQbsp_curve left = front.cv, rest{};
      int written = 0;
      const bool in_place = bsknots::split_front(work, u, tol, &left, &rest, &written);
      struct Parts {
        VOQbsp_curve left{}, right{};
        ~Parts() {
          for (VOQbsp_curve *c : {&left, &right})
            for (double *a : {c->poles, c->knots, c->rational ? c->weights : nullptr}) BSdbgfree(a);
        }
      } want;
      int rc = 0;
      ASSERT_TRUE(BScvsplit(&rc, plain.get(), &u, &want.left, &want.right, nullptr)) << row.what << " " << i;
      if (want.right.num_poles == 0) break;
      if (!in_place) {
        // Refused: the arrays hold the curve as they did; the loop goes on from the plain road's rest.
        EXPECT_TRUE(same_bits(record_values(work), record_values(*plain))) << row.what << " " << i;
        BScv_copy(&rc, &want.right, plain.get());
        poles.assign(want.right.poles, want.right.poles + 3 * want.right.num_poles);
        knots.assign(want.right.knots, want.right.knots + want.right.num_knots);
        if (cv.rational) weights.assign(want.right.weights, want.right.weights + want.right.num_poles);
        work = want.right;
        work.poles = poles.data(), work.knots = knots.data(), work.weights = cv.rational ? weights.data() : nullptr;
        ASSERT_TRUE(index.build(work, grow)) << row.what;
        continue;
      }
      ++cuts;
      index.overwritten(rest, written);
      ASSERT_TRUE(same_bits(record_values(left), record_values(want.left))) << row.what << " " << i;
      ASSERT_TRUE(same_bits(record_values(rest), record_values(want.right))) << row.what << " " << i;
      ASSERT_TRUE(index.holds(rest)) << row.what << " " << i;
      double box[6], want_box[6];
      index.box(rest, box);
      BSpolesbox(&rc, &rest.num_poles, rest.poles, rest.rational ? rest.weights : nullptr, want_box, want_box + 3);
      for (int c = 0; c < 6; ++c) EXPECT_EQ(box[c], want_box[c]) << row.what << " " << i;
      bsknots::KnotTolRange range;
      index.knot_tol(rest, &range);
      double exact = 0;
      BScvkttol2(rest.order, rest.knots, rest.num_poles, rest.poles, rest.rational ? rest.weights : nullptr, &exact,
                 &rc);
      EXPECT_TRUE(range.lo <= exact && exact <= range.hi && (!range.exact || range.lo == exact))
          << row.what << " " << i << ": " << range.lo << " " << exact << " " << range.hi;
      if (index.clamped_extent(rest)) {
        EXPECT_TRUE(bsknots::clamped_extent(rest)) << row.what << " " << i;
      }
      BScv_copy(&rc, &want.right, plain.get());
      work = rest;
    }
    EXPECT_GE(cuts, row.min_cuts) << row.what;
  }
}

// Offset pieces chained end to end, self-intersections sorted into loops, and the loops of an offset cut out:
// with the tolerance table, the caller's loop list and the heap as they were before on every way out.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "bspline/core/test_support.h"
#include "bspline/offset.h"
#include "tests/bspline/offset/offset_fixtures.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// An order-2 polyline through the xy points, knots 0, 1, 2 ... at its vertices.
std::unique_ptr<TestCurve> polyline(const std::vector<double> &xy) {
  std::vector<double> xyz;
  for (size_t i = 0; i + 1 < xy.size(); i += 2) xyz.insert(xyz.end(), {xy[i], xy[i + 1], 0.0});
  return polyline_xyz(xyz);
}

// A polyline along the x axis that curls n times: each curl crosses its own way in and closes a square loop of side 1
// (length 4) there, then steps down and back up to the axis.
std::unique_ptr<TestCurve> curls(int n) {
  std::vector<double> xy = {0, 0};
  for (int i = 0; i < n; ++i) {
    const double x = 4.0 * i;
    xy.insert(xy.end(), {x + 3, 0, x + 3, 1, x + 2, 1, x + 2, -1, x + 4, -1, x + 4, 0});
  }
  xy.insert(xy.end(), {4.0 * n + 2, 0});
  return polyline(xy);
}

// The chain of the curves (each a segment): records as (curve, gap, reversed) triples, the gap points, and rc.
TEST(LoopRemoval, ChainOrderGapsAndClosure) {
  struct Row {
    const char *what;
    std::vector<std::vector<double>> segs;
    BSboolean closed;
    int rc;
    std::vector<int> records;
    std::vector<double> gaps;
  } rows[] = {
      {"P, R, Q chain as P Q R", {{0, 0, 1, 0}, {2, 0, 3, 0}, {1, 0, 2, 0}}, 0, 0, {0, 0, 0, 2, 0, 0, 1, 0, 0}, {}},
      {"a curve runs backwards", {{0, 0, 1, 0}, {2, 0, 1, 0}}, 0, 0, {0, 0, 0, 1, 0, 1}, {}},
      {"a curve fits only in front", {{0, 0, 1, 0}, {-1, 0, 0, 0}}, 0, 0, {1, 0, 0, 0, 0, 0}, {}},
      {"in front, reversed", {{0, 0, 1, 0}, {0, 0, -1, 0}}, 0, 0, {1, 0, 1, 0, 0, 0}, {}},
      {"ends missing by 1e-10 squared", {{0, 0, 1, 0}, {1, 1e-5, 2, 0}}, 0, 0, {0, 1, 0, 1, 0, 0}, {1, 5e-6, 0}},
      {"closed chain, never taken twice", {{0, 0, 1, 0}, {1, 0, 0, 0}}, 1, 0, {0, 0, 0, 1, 0, 0}, {}},
      {"closed chain with an open seam", {{0, 0, 1, 0}, {1, 0, 0, 1e-3}}, 1, 0, {0, 0, 0, 1, 1, 0}, {}},
      {"closed chain, gaps at both ends", {{0, 0, 1, 0}, {1, 1e-3, 0, 1e-3}}, 1, 0, {0, 1, 0, 1, 1, 0}, {1, 5e-4, 0}},
      {"single open curve", {{0, 0, 1, 0}}, 0, 0, {0, 0, 0}, {}},
      {"single curve asked closed", {{0, 0, 1, 0}}, 1, 0, {0, 1, 0}, {}},
      {"incomplete chain", {{0, 0, 1, 0}, {1e5, 0, 2e5, 0}, {1, 0, 2, 0}}, 0, -1, {0, 0, 0, 2, 0, 0}, {}},
      {"NaN pole", {{0, 0, 1, 0}, {1, 0, kNaN, 0}}, 0, -2, {}, {}},
  };
  for (const Row &r : rows) {
    std::vector<std::unique_ptr<TestCurve>> own;
    std::vector<const VOQbsp_curve *> cvs;
    for (const auto &s : r.segs) own.push_back(polyline(s)), cvs.push_back(&own.back()->cv);
    const int n = static_cast<int>(cvs.size());
    // Sentinels show which records were written.
    std::vector<BSchainrec> rec(n, BSchainrec{-7, -7, -7});
    std::vector<double> gaps(3 * n, -7);
    int count = -7, rc = 0;
    BStstcvcnct(n, cvs.data(), r.closed, rec.data(), &count, gaps.data(), &rc);
    EXPECT_EQ(rc, r.rc) << r.what;
    std::vector<int> got;
    for (const BSchainrec &c : rec)
      if (c.curve != -7) got.insert(got.end(), {c.curve, c.gap, c.reversed});
    EXPECT_EQ(got, r.records) << r.what;
    gaps.resize(3 * std::max(count, 0));
    for (size_t i = 0; i < gaps.size(); ++i) gaps[i] = std::round(gaps[i] * 1e9) / 1e9;
    EXPECT_EQ(gaps, r.gaps) << r.what;
  }
}

// A staircase whose even legs run along x and odd legs along y: a pair of parameters on legs of either kind is a
// crossing, on two legs of one kind a touch. Input pairs -> outer intervals and loop records.
TEST(LoopRemoval, LoopPreparation) {
  std::vector<double> xy;
  for (int i = 0; i <= 12; ++i) xy.insert(xy.end(), {static_cast<double>((i + 1) / 2), static_cast<double>(i / 2)});
  auto stairs = polyline(xy);  // range [0, 12]
  // A cubic that runs out along y = x to a cusp at (-15, -15) (u = 1.0625) and back, parting from its way out
  // at (-14.81, -14.81) (u = 1.21875) towards (0, 3), with the crossing and overlap the intersector gives it.
  const TestCurve spike(4, {0, -11, 0, -11, -15, 0, 0, 0, 0, -15, -15, 0, -15, -15, 0, -15, -15, 0, 0, 0, 0, 0, 3, 0},
                        {0, 0, 0, 0, 1, 1, 1.0625, 1.21875, 2.46875, 2.46875, 2.46875, 2.46875});
  struct Row {
    const char *what;
    std::vector<double> pairs;
    int fail_at;
    int rc;
    std::vector<double> outer;
    std::vector<double> loops;     // kind, then its parameters
    std::vector<double> over = {};  // first start, first end, second start, second end of each overlap
    const TestCurve *curve = nullptr;  // the stairs unless given
  } rows[] = {
      {"one crossing", {0.5, 9.5}, 0, 0, {0.5, 9.5}, {2, 0.5, 9.5}},
      {"one nested", {2.5, 7.5, 0.5, 9.5}, 0, 0, {0.5, 9.5}, {4, 0.5, 2.5, 7.5, 9.5, 2, 2.5, 7.5}},
      {"two nested", {0.5, 9.5, 2.5, 7.5, 4.5, 5.5}, 0, 0, {0.5, 9.5},
       {4, 0.5, 2.5, 7.5, 9.5, 4, 2.5, 4.5, 5.5, 7.5, 2, 4.5, 5.5}},
      {"beside each other inside one", {0.5, 11.5, 2.5, 3.5, 6.5, 7.5}, 0, 0, {0.5, 11.5},
       {2, 2.5, 3.5, 2, 6.5, 7.5}},
      {"at the range's ends", {0.0, 5.5, 2.5, 12.0}, 0, 0, {}, {}},
      {"branches touch", {2.5, 4.5}, 0, 0, {}, {}},
      {"interlocking", {0.5, 5.5, 2.5, 9.5}, 0, 0, {0.5, 5.5}, {2, 0.5, 5.5}},
      {"unsorted, parameters swapped", {7.5, 6.5, 0.5, 3.5}, 0, 0, {0.5, 3.5, 6.5, 7.5}, {2, 0.5, 3.5, 2, 6.5, 7.5}},
      {"NaN parameter", {0.5, kNaN}, 0, -2, {}, {}},
      {"no memory for the outer intervals", {0.5, 9.5}, 2, 33, {}, {}},
      {"no memory for the loops", {0.5, 9.5}, 3, 33, {}, {}},
      // The stretches part at a vanishing angle: the crossing found where they part lies just before the
      // overlap's start, still on it within the tolerance. No loop: the way back only touches the way out.
      {"crossing where an overlap parts", {1.025022566, 1.220160181}, 0, 0, {}, {},
       {1.025357769, 1.0625, 1.21875, 1.0625}, &spike},
      // The stretch from the crossing up to an overlap far on holds the crossing's own second parameter: one pass of
      // the curve, not two that part there. The crossing closes a loop of its own.
      {"crossing before an overlap far on", {0.5, 1.5}, 0, 0, {0.5, 1.5, 10.4, 11.4}, {2, 0.5, 1.5, 2, 10.4, 11.4},
       {10.2, 10.4, 11.4, 11.2}},
  };
  for (const Row &r : rows) {
    std::vector<double> a, b;
    for (size_t i = 0; i < r.pairs.size(); i += 2) a.push_back(r.pairs[i]), b.push_back(r.pairs[i + 1]);
    std::vector<double> over[4];
    for (size_t i = 0; i < r.over.size(); ++i) over[i % 4].push_back(r.over[i]);
    int n_int = static_cast<int>(a.size()), n_over = static_cast<int>(over[0].size()), n_outer = -1, n_inner = -1,
        rc = 0;
    double *outer = nullptr, *inner = nullptr;
    std::int32_t *kinds = nullptr;
    const int live = BSdbgliveblocks();
    BSallocfailat(r.fail_at);
    BSpreploop(&rc, r.curve ? &r.curve->cv : &stairs->cv, &n_int, a.data(), b.data(), &n_over, over[0].data(),
               over[1].data(), over[2].data(), over[3].data(), &n_outer, &outer, &n_inner, &kinds, &inner);
    BSallocfailat(0);
    EXPECT_EQ(rc, r.rc) << r.what;
    ASSERT_EQ(n_outer, static_cast<int>(r.outer.size() / 2)) << r.what;
    for (size_t i = 0; i < r.outer.size(); ++i) EXPECT_EQ(outer[i], r.outer[i]) << r.what;
    std::vector<double> got;
    for (int i = 0, p = 0; i < n_inner; p += kinds[i++] == 4 ? 4 : 2) {
      got.push_back(kinds[i]);
      got.insert(got.end(), inner + p, inner + p + (kinds[i] == 4 ? 4 : 2));
    }
    EXPECT_EQ(got, r.loops) << r.what;
    EXPECT_EQ(outer == nullptr, n_outer == 0) << r.what;
    EXPECT_EQ(kinds == nullptr, n_inner == 0) << r.what;
    BSdbgfree(outer), BSdbgfree(kinds), BSdbgfree(inner);
    EXPECT_EQ(BSdbgliveblocks(), live) << r.what;
  }
}

// The cubic Bezier that crosses itself once.
std::unique_ptr<TestCurve> bezier_loop() {
  return std::make_unique<TestCurve>(4, std::vector<double>{0, 0, 0, 3, 3, 0, -1, 3, 0, 2, 0, 0},
                                     std::vector<double>{0, 0, 0, 0, 1, 1, 1, 1});
}

// A path that crosses its first leg twice, the second crossing inside the first loop.
std::unique_ptr<TestCurve> nested_loops() { return polyline({-4, 0, 4, 0, 4, 2, 0, 2, 0, -2, -2, -2, -2, 3, -5, 3}); }

int crossings(VOQbsp_curve *cv) {
  int rc = 0, n_int = 0, n_over = 0;
  double *p[6] = {};
  BScv_slfint(&rc, cv, &n_int, &p[0], &p[1], &n_over, &p[2], &p[3], &p[4], &p[5]);
  for (double *q : p) BSdbgfree(q);
  return rc == 0 ? n_int + n_over : -1;
}

void free_list(int n, VOQbsp_curve **list) {
  for (int i = 0, rc = 0; i < n; ++i) BSfreevoqcv(list[i], &rc);
  BSdbgfree(list);
}

// Removals in a row that share one loop list: a curve without crossings, a loop removed without and with the
// loops handed back, nested loops (the ring between the crossings comes back as one curve), and a stretch run
// over twice. Lengths are those of the polylines' loops.
TEST(LoopRemoval, RemovalModesAndTheLoopList) {
  struct Row {
    const char *what;
    std::unique_ptr<TestCurve> cv;
    std::int16_t mode;
    int poles;  // exact, or at most order + num_poles when -1
    std::vector<double> loops;
  } rows[] = {
      {"no crossing", std::make_unique<TestCurve>(3, std::vector<double>{0, 0, 0, 1, 2, 0, 3, 0, 0},
                                                  std::vector<double>{0, 0, 0, 1, 1, 1}), 1, 3, {}},
      {"loop, none handed back", bezier_loop(), 2, -1, {}},
      {"loop handed back", bezier_loop(), 1, -1, {-1}},
      {"nested loops", nested_loops(), 1, 4, {8, 12}},
      {"stretch run over twice", polyline({-1, 0, 2, 0, 2, 1, 0, 1, 0, 0, 3, 0}), 1, 3, {6}},
      // Thirteen curls along a line, each a loop of length 4: the fourteen parts about them joined into one.
      {"a row of curls", curls(13), 1, 4 * 13 + 2, std::vector<double>(13, 4.0)},
      {"a row of curls, none handed back", curls(13), 2, 4 * 13 + 2, {}},
  };
  int n = 0, rc = 0;
  VOQbsp_curve **list = nullptr, *out = nullptr;
  std::vector<VOQbsp_curve *> had;
  const int live = BSdbgliveblocks();
  for (Row &r : rows) {
    BSofrmlp3(&r.cv->cv, r.mode, &n, &list, &out, &rc);
    ASSERT_EQ(rc, 0) << r.what;
    ASSERT_EQ(n, static_cast<int>(had.size() + r.loops.size())) << r.what;
    EXPECT_EQ(list == nullptr, n == 0) << r.what;
    for (size_t i = 0; i < had.size(); ++i) EXPECT_EQ(list[i], had[i]) << r.what;
    if (r.loops.empty() && r.mode == 1) {
      EXPECT_EQ(std::memcmp(out->poles, r.cv->poles.data(), r.cv->poles.size() * sizeof(double)), 0) << r.what;
    }
    EXPECT_EQ(r.poles < 0 ? out->num_poles <= r.cv->order() + r.cv->n() : out->num_poles == r.poles, true) << r.what;
    EXPECT_EQ(out->knots[out->order - 1], r.cv->start()) << r.what;
    EXPECT_EQ(out->knots[out->num_poles], r.cv->end()) << r.what;
    EXPECT_EQ(crossings(out), 0) << r.what;
    for (size_t i = 0; i < r.loops.size(); ++i) {
      const VOQbsp_curve &l = *list[had.size() + i];
      EXPECT_TRUE(l.phy_closed && l.knots[l.order - 1] == 0.0 && l.knots[l.num_poles] == 1.0) << r.what << i;
      double len = 0;
      for (int j = 1; j < l.num_poles; ++j)
        len += std::hypot(l.poles[3 * j] - l.poles[3 * j - 3], l.poles[3 * j + 1] - l.poles[3 * j - 2]);
      EXPECT_NEAR(r.loops[i] > 0 ? len : -1, r.loops[i], 1e-9) << r.what << i;
    }
    if (r.loops.size() == 2) {
      std::FILE *f = svg_open("loop_removal.svg", "-6 -4 11 7");
      ASSERT_NE(f, nullptr);
      svg_curve(f, r.cv->cv, "#bbb");
      svg_curve(f, *out, "black");
      svg_curve(f, *list[n - 2], "red");
      svg_curve(f, *list[n - 1], "blue");
      EXPECT_TRUE(svg_close(f));
    }
    had.assign(list, list + n);
    BSfreevoqcv(out, &rc);
  }
  free_list(n, list);
  EXPECT_EQ(BSdbgliveblocks(), live);
}

// Offsets whose loops the removal hands back although one cannot be cut as it stands: a loop whose crossings lie
// closer than a stretch can be cut (it has no extent and is left out), a loop made of two stretches one of which
// has no extent (joined on as it is), far from the origin, and a nest of two-stretch loops round a cusp whose
// innermost has neither stretch of any extent (left out). Every loop handed back is a closed curve on [0, 1].
TEST(LoopRemoval, LoopsThatCannotBeCutAsTheyStand) {
  const struct Row {
    const char *what;
    int order;
    std::vector<double> xy, knots;
    double d, side[3];
  } rows[] = {
      {"a loop closer than a stretch can be cut",
       4,
       {0, -1.0733654706268279, 0.75322884907321275, 1.0360851929876176, 2.2253189767841706, -1.2136889522781142,
        3.1509628970924237, 0.94869784252883982, 4.3510384986385269, -1.0919877418278312, 5.7077641175673044,
        0.80206085374062464, 6.9172592822904093, -0.74208201167900134, 7.5613998153281479, 0.96885803464268605,
        8.6308710803638551, -0.41485753904916423},
       {0, 0, 0, 0, 1.498204411412648, 1.8068010806955408, 2.0260218807989414, 3.9950547308166731,
        5.2900120515131004, 5.4921397803015513, 5.4921397803015513, 5.4921397803015513, 5.4921397803015513},
       0.82909048464853097,
       {4.4666144179611686, -0.32084200374501509, 0}},
      {"a loop with a stretch of no extent, far out",
       3,
       {4138378.2845391384, -1146026.9523487096, 4138379.044895262, -1146025.1267855905, 4138380.0538713038,
        -1146027.0301983387, 4138380.6072192565, -1146025.9031500928, 4138381.645567352, -1146026.564255297,
        4138382.526742599, -1146025.8156602327, 4138383.7287063533, -1146026.7364724919, 4138384.8270595539,
        -1146025.8871545533, 4138385.6818931778, -1146026.353482445, 4138386.8186715683, -1146025.5638984507,
        4138387.3880549208, -1146026.3658439545},
       {0, 0, 0, 0.5307901687981742, 1.51623292537726, 2.6122420240179873, 3.8622034606766356, 5.179126288710747,
        6.0501869946705531, 7.363912845172992, 7.8469532211145756, 8.5428684748123445, 8.5428684748123445,
        8.5428684748123445},
       1.347970597207927,
       {4138382.3801330393, -1146026.0417797626, 0}},
      {"a nest of loops round a cusp, the innermost of no extent",
       3,
       {0.7691916991, -0.5964225652, 1.4571389817, 0.268158427, 2.5503005274, -1.1247162465, 3.4716916066,
        0.9164849222, 4.46710038, -1.0274737286, 5.4922663681, 0.1541254874, 6.1680563316, -0.7885555676,
        7.1784566995, 0.1600828618, 8.1117728371, -0.6851298753, 8.8461611308, 0.1147025633, 9.5945446566,
        -0.517502707},
       {0, 0, 0, 1.6730263404006975, 2.4172266684987065, 3.5132449201932094, 4.3245375231070593, 5.5825211210662617,
        6.0008533448511212, 6.7432925402899482, 7.9494684832364308, 8.4166471664666602, 8.4166471664666602,
        8.4166471664666602},
       1.1203315611220299,
       {4.7591078393, -0.6786975479, 0}},
  };
  for (const Row &r : rows) {
    std::vector<double> poles;
    for (size_t i = 0; i < r.xy.size(); i += 2) poles.insert(poles.end(), {r.xy[i], r.xy[i + 1], 0.0});
    TestCurve c(r.order, poles, r.knots);
    c.cv.planar = 1;
    const double zero[3] = {0, 0, 0};
    VOQbsp_curve *out = nullptr, **loops = nullptr;
    int count = 0, rc = -99;
    BSboolean flag = BSFALSE;
    const int live = BSdbgliveblocks();
    BScvoffsetd(&c.cv, r.d, r.side, BSFALSE, 0, 1, &flag, zero, &out, &count, &loops, &rc);
    EXPECT_TRUE(rc == 0 || rc == BSRC_OFFSET_PASSES) << r.what << " rc " << rc;
    EXPECT_GT(count, 0) << r.what;
    for (int i = 0; i < count; ++i) {
      const VOQbsp_curve &l = *loops[i];
      EXPECT_TRUE(l.phy_closed && l.knots[l.order - 1] == 0.0 && l.knots[l.num_poles] == 1.0) << r.what << " " << i;
    }
    if (out) BSfreevoqcv(out, &rc);
    free_list(count, loops);
    EXPECT_EQ(BSdbgliveblocks(), live) << r.what;
  }
}

// A curve that crosses itself and runs back and forth along one line: the loop its crossing closes and the loop
// between its two runs along the line interlock. Cut out together they would join the part before the crossing
// to the part after the second run, from another point, and the join strays off the curve; offset by 0 with its
// loops removed, what is left lies on the curve.
TEST(LoopRemoval, InterlockedLoopsLeaveNoBridge) {
  const std::vector<double> xy = {-11.75, -15, -14, -14, -11, -11, -14.875, 3, 0, -3, 2, 3, 4, -3,
                                  8.25,   0,   -3,  0,   3,   0,   -3,      0, 3, 2.375, 2.625, 4, 0, 6};
  std::vector<double> poles;
  for (size_t i = 0; i < xy.size(); i += 2) poles.insert(poles.end(), {xy[i], xy[i + 1], 0.0});
  TestCurve c(3, poles, {-15, -15, -15, -11.25, -7.5, -3.75, 0.5, 5, 8.75, 13.5, 17.25, 21, 26.25, 30.75, 35.5,
                         35.5, 35.5});
  c.cv.planar = 1;
  const double up[3] = {0, 0, 1}, none[3] = {0, 0, 0};
  for (const std::int16_t corners : {0, 1}) {
    VOQbsp_curve *out = nullptr, **loops = nullptr;
    int count = 0, rc = -99;
    BSboolean flag = BSFALSE;
    BScvoffsetd(&c.cv, 0.0, none, BSTRUE, corners, 1, &flag, up, &out, &count, &loops, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_GT(count, 0);
    double worst = 0;
    for (int i = 0; i <= 400; ++i) {
      const double a = out->knots[out->order - 1], b = out->knots[out->num_poles];
      double p[3], u = 0, foot[3], d = 0;
      BScveval_n(out, a + (b - a) * i / 400, 0, p, &rc);
      BSmdstptcv(&c.cv, p, &u, foot, &d, &rc);
      worst = std::max(worst, d);
    }
    EXPECT_LE(worst, 1e-9) << "corner mode " << corners;
    BSfreevoqcv(out, &rc);
    free_list(count, loops);
  }
}

// The table after a removal is the table before it, bit for bit: with the defaults, with entries set by hand
// and after a failure (forced at a callee, and at the growth of the caller's list, which must then be unchanged).
TEST(LoopRemoval, ToleranceTableAndFailures) {
  static const char *fail_at_name = nullptr;
  struct Row {
    const char *what;
    double entry3;          // set by hand before the call when positive
    const char *fail_name;  // the routine forced to answer 33
    int cause;              // the code the trace must keep under the -1 (0: the call succeeds)
  } rows[] = {
      {"defaults", -1, nullptr, 0},
      {"entry 3 by hand", 1.25e-9, nullptr, 0},
      {"loop joining fails", -1, "bsremloop", 33},
      {"self-intersection fails", -1, "bscv_slfint", 33},
      {"no memory for the list", -1, nullptr, -13},
  };
  for (const bool slow : {false, true}) {
    const bstest::SlowRoads roads(slow);
    SCOPED_TRACE(slow ? "slow roads" : "short roads");
    for (const Row &r : rows) {
      auto cv = nested_loops();
      if (r.entry3 > 0) BStoltab[3] = r.entry3;
      double before[BSTOL_COUNT];
      std::memcpy(before, BStoltab, sizeof before);
      int n = 1, rc = 0, fail_at = 0;
      VOQbsp_curve *kept = nullptr, *out = reinterpret_cast<VOQbsp_curve *>(&n);
      BSallocvoqcv(2, 2, 0, 0, &kept, &rc);
      VOQbsp_curve **list = static_cast<VOQbsp_curve **>(BSdbgmalloc(sizeof(VOQbsp_curve *)));
      list[0] = kept;
      if (r.cause == -13) {
        // The list's growth is the last heap request of a removal that hands back loops: counted on a first run.
        VOQbsp_curve **probe = nullptr;
        int m = 0;
        BSallocfailat(1 << 30);
        BSofrmlp3(&cv->cv, 1, &m, &probe, &out, &rc);
        fail_at = (1 << 30) - BSallocfailpending();
        BSfreevoqcv(out, &rc);
        free_list(m, probe);
      }
      const int live = BSdbgliveblocks();
      BStraceclear();
      fail_at_name = r.fail_name;
      BSsetfaulthook(r.fail_name
                         ? +[](const char *name, int *c) { c && !std::strcmp(name, fail_at_name) ? *c = 33 : 0; }
                         : nullptr);
      BSallocfailat(fail_at);
      BSofrmlp3(&cv->cv, 1, &n, &list, &out, &rc);
      BSallocfailat(0);
      BSsetfaulthook(nullptr);
      EXPECT_EQ(std::memcmp(before, BStoltab, sizeof before), 0) << r.what;
      EXPECT_EQ(rc, r.cause ? -1 : 0) << r.what;
      EXPECT_EQ(n, r.cause ? 1 : 3) << r.what;
      EXPECT_EQ(list[0], kept) << r.what;
      if (r.cause == 0) {
        BSfreevoqcv(out, &rc);
      } else {
        EXPECT_EQ(out, nullptr) << r.what;
        EXPECT_EQ(BSdbgliveblocks(), live) << r.what;
        const int count = BStracecount();
        ASSERT_GE(count, 2) << r.what;
        EXPECT_EQ(BStracetable()[count - 1].rc, -1) << r.what;
        EXPECT_EQ(BStracetable()[count - 2].rc, r.cause) << r.what;
      }
      free_list(n, list);
      for (int i = 0; i < BSTOL_COUNT; ++i) BStoltab[i] = BStoldefault(i);
    }
  }
}

}  // namespace

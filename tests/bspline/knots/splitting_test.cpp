#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bspline/core/test_support.h"
#include "tests/bspline/knots_fixtures.h"

namespace {

const BSboolean kNo = BSFALSE, kYes = BSTRUE;

// Parts whose arrays the split allocates; released with BSdbgfree.
struct SplitParts {
  VOQbsp_curve left{}, right{};
  ~SplitParts() {
    for (VOQbsp_curve *c : {&left, &right}) {
      BSdbgfree(c->poles);
      BSdbgfree(c->knots);
      if (c->rational) BSdbgfree(c->weights);
    }
  }
};

TEST(Splitting, CubicBezierAtTheMiddle) {
  TestCurve c(4, {0, 0, 0, 1, 2, 0, 3, 2, 0, 4, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  SplitParts parts;
  const double u = 0.5;
  int rc = 0;
  ASSERT_TRUE(BScvsplit(&rc, &c.cv, &u, &parts.left, &parts.right, &kYes));
  ASSERT_EQ(parts.left.num_poles, 4);
  ASSERT_EQ(parts.right.num_poles, 4);
  EXPECT_EQ(knots_of(parts.left), (std::vector<double>{0, 0, 0, 0, 0.5, 0.5, 0.5, 0.5}));
  EXPECT_EQ(knots_of(parts.right), (std::vector<double>{0.5, 0.5, 0.5, 0.5, 1, 1, 1, 1}));
  // de Casteljau: the shared pole is the point at 0.5.
  const auto mid = curve_point(c.cv, 0.5);
  for (int k = 0; k < 3; ++k) {
    EXPECT_DOUBLE_EQ(parts.left.poles[9 + k], mid[k]);
    EXPECT_DOUBLE_EQ(parts.right.poles[k], mid[k]);
  }
  EXPECT_EQ(parts.left.planar, 1);
  EXPECT_EQ(parts.left.phy_closed, 0);
  EXPECT_EQ(parts.left.num_boundaries, 0);
  // Parts of a non-uniform curve are uniform exactly when each is one Bezier segment.
  EXPECT_EQ(parts.left.non_uniform, 0);
  EXPECT_EQ(parts.right.non_uniform, 0);
}

TEST(Splitting, UniformityOfTheParts) {
  TestCurve c(3, {0, 0, 0, 1, 2, 0, 2, 0, 0, 3, 1, 0, 4, 0, 0}, {0, 0, 0, 1, 2, 3, 3, 3});
  c.cv.non_uniform = 0;
  int rc = 0;
  for (double u : {1.0, 1.5}) {
    SplitParts parts;
    ASSERT_TRUE(BScvsplit(&rc, &c.cv, &u, &parts.left, &parts.right, &kNo));
    // A uniform curve cut at one of its knots keeps uniform parts; cut between knots it does not.
    EXPECT_EQ(parts.left.non_uniform, u == 1.0 ? 0 : 1) << u;
    EXPECT_EQ(parts.right.non_uniform, u == 1.0 ? 0 : 1) << u;
  }
  c.cv.non_uniform = 1;
  SplitParts parts;
  const double u = 1.0;
  ASSERT_TRUE(BScvsplit(&rc, &c.cv, &u, &parts.left, &parts.right, &kNo));
  EXPECT_EQ(parts.left.num_poles, 3);
  EXPECT_EQ(parts.left.non_uniform, 0);
  EXPECT_EQ(parts.right.non_uniform, 1);
}

TEST(Splitting, CutWithinTheKnotToleranceOfAnEndGivesAnEmptyPart) {
  TestCurve c(4, {0, 0, 0, 1, 2, 0, 3, 2, 0, 4, 0, 0, 5, 1, 0}, {0, 0, 0, 0, 1, 2, 2, 2, 2}, {1, 2, 1, 1, 3});
  int rc = 0;
  {
    SplitParts parts;
    const double u = 1e-9;
    ASSERT_TRUE(BScvsplit(&rc, &c.cv, &u, &parts.left, &parts.right, &kNo));
    EXPECT_EQ(parts.left.num_poles, 0);
    EXPECT_EQ(parts.left.rational, 1);
    ASSERT_EQ(parts.right.num_poles, 5);
    EXPECT_EQ(knots_of(parts.right), c.knots);
    EXPECT_EQ(std::vector<double>(parts.right.poles, parts.right.poles + 15), c.poles);
    EXPECT_EQ(std::vector<double>(parts.right.weights, parts.right.weights + 5), c.weights);
  }
  {
    SplitParts parts;
    const double u = 2 - 1e-9;
    ASSERT_TRUE(BScvsplit(&rc, &c.cv, &u, &parts.left, &parts.right, &kNo));
    EXPECT_EQ(parts.right.num_poles, 0);
    EXPECT_EQ(knots_of(parts.left), c.knots);
  }
}

TEST(Splitting, RandomCutsKeepBothSides) {
  std::mt19937 rng(31);
  for (int order = 2; order <= 10; ++order)
    for (int rational = 0; rational <= 1; ++rational)
      for (int clamped = 0; clamped <= 1; ++clamped)
        for (int at_knot = 0; at_knot <= 1; ++at_knot) {
          auto c = random_curve(rng, order, order + 5, rational, clamped, clamped ? std::max(order - 1, 1) : 1);
          std::uniform_real_distribution<double> ud(c->start() + 0.1, c->end() - 0.1);
          const double u = at_knot ? c->knots[order + 2] : ud(rng);
          SplitParts parts;
          // Arrays given by the caller are used as they are.
          std::vector<double> lp(3 * (c->n() + order)), lk(2 * c->n() + 2 * order), lw(c->n() + order);
          parts.right.poles = nullptr;
          int rc = 0;
          VOQbsp_curve given{};
          given.poles = lp.data();
          given.knots = lk.data();
          given.weights = lw.data();
          ASSERT_TRUE(BScvsplit(&rc, &c->cv, &u, &given, &parts.right, &kNo)) << order << " " << rc;
          ASSERT_EQ(given.poles, lp.data());
          // u raised to multiplicity k-1; the two parts share the pole at u.
          const int copies = at_knot ? static_cast<int>(std::count(c->knots.begin(), c->knots.end(), u)) : 0;
          EXPECT_EQ(given.num_poles + parts.right.num_poles, c->n() + order - copies);
          expect_same_points(c->cv, given, c->start(), u, rng);
          expect_same_points(c->cv, parts.right, u, c->end(), rng);
          EXPECT_EQ(range_end(given), u);
          EXPECT_EQ(range_start(parts.right), u);
        }
}

TEST(Splitting, RefusesACutAtADiscontinuity) {
  // Knot 1 of multiplicity 4 in a cubic: the curve jumps there.
  TestCurve c(4, std::vector<double>(24, 1.0), {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2});
  for (int i = 0; i < 24; ++i) c.poles[i] = i;
  SplitParts parts;
  const double u = 1.0;
  int rc = 0;
  EXPECT_FALSE(BScvsplit(&rc, &c.cv, &u, &parts.left, &parts.right, &kNo));
  EXPECT_EQ(rc, -2);
  // Nothing the split allocated is left with the caller.
  EXPECT_EQ(parts.left.poles, nullptr);
  EXPECT_EQ(parts.right.poles, nullptr);
}

double tolerance_seen = 0;
int insertion_calls = 0, fail_at_call = 0;
// Watches the insertions of a split, and makes the fail_at_call-th one fail (0: none).
void watch_insertion(const char *lname, int *rc) {
  if (std::strcmp(lname, "bsadd_1kt_tot") == 0) {
    tolerance_seen = BStoltab[8];
    if (++insertion_calls == fail_at_call && rc) *rc = 33;
  }
}

TEST(Splitting, PartBetweenTwoParameters) {
  std::mt19937 rng(17);
  for (int order = 2; order <= 9; ++order)
    for (int rational = 0; rational <= 1; ++rational)
      for (int clamped = 0; clamped <= 1; ++clamped) {
        auto c = random_curve(rng, order, order + 6, rational, clamped);
        std::uniform_real_distribution<double> ud(c->start(), c->end());
        double a = ud(rng), b = ud(rng);
        if (std::fabs(a - b) < 0.1) b = a < c->end() - 0.2 ? a + 0.15 : a - 0.15;
        RoomCurve out1(c->n(), order, rational), out2(c->n(), order, rational);
        int rc = 0;
        ASSERT_TRUE(BSactivsplt(&rc, &c->cv, &a, &b, &out1.cv, &kNo)) << order << " rc " << rc;
        ASSERT_TRUE(BSactivsplt(&rc, &c->cv, &b, &a, &out2.cv, &kNo));
        EXPECT_EQ(knots_of(out1.cv), knots_of(out2.cv));
        EXPECT_EQ(cartesian_poles(out1.cv), cartesian_poles(out2.cv));
        const double lo = std::min(a, b), hi = std::max(a, b);
        EXPECT_EQ(range_start(out1.cv), lo);
        EXPECT_EQ(range_end(out1.cv), hi);
        // Clamped: the first and last knots repeat k times.
        EXPECT_EQ(out1.cv.knots[0], lo);
        EXPECT_EQ(out1.cv.knots[out1.cv.num_knots - 1], hi);
        expect_same_points(c->cv, out1.cv, lo, hi, rng);
        // One end at a range end, the other free.
        const double s = c->start();
        ASSERT_TRUE(BSactivsplt(&rc, &c->cv, &s, &b, &out2.cv, &kNo));
        EXPECT_EQ(out2.cv.knots[0], s);
        expect_same_points(c->cv, out2.cv, s, b, rng);
      }
}

TEST(Splitting, CutNearAKnotClusterSnapsToItsNearestKnot) {
  // A line string along x at unit speed whose knots crowd near 2 and 5: a cut within the parameter tolerance of
  // several knots lands on the nearest of them, whichever side of the cluster it comes from; a cut near none stays.
  const double c = 1e-13;
  const std::vector<double> x = {0, 1, 2, 2 + c, 2 + 2 * c, 3, 4, 5, 5 + c, 6};
  std::vector<double> poles, knots = {0};
  for (double v : x) poles.insert(poles.end(), {v, 0, 0}), knots.push_back(v);
  knots.push_back(6);
  auto line = std::make_unique<TestCurve>(2, poles, knots);
  const struct {
    double a, b, start, end;
  } cases[] = {
      {2 + 1.2 * c, 4.5, 2 + c, 4.5},        // inside the cluster
      {2 - 3 * c, 4.5, 2, 4.5},              // just below it
      {2 + 3 * c, 5 + 0.3 * c, 2 + 2 * c, 5},  // above it, and the far cut inside the second cluster
      {0.5, 5 - 2 * c, 0.5, 5},              // near nothing, and just below the second cluster
      {2.5, 5 + 2 * c, 2.5, 5 + c},          // the far cut just above the second cluster
  };
  for (const auto &k : cases) {
    RoomCurve out(line->cv.num_poles, 2, false);
    int rc = 0;
    ASSERT_TRUE(BSactivsplt(&rc, &line->cv, &k.a, &k.b, &out.cv, &kNo)) << k.a;
    EXPECT_EQ(range_start(out.cv), k.start) << k.a;
    EXPECT_EQ(range_end(out.cv), k.end) << k.a;
  }
}

// An unclamped curve of order 8 that crawls near its end, where the parameter tolerance spans the knots 12.09375
// and 12.125 both: a cut on one of them stays there and only that knot's copies are counted, so no piece grows
// beyond the curve's own size (the room callers give it).
TEST(Splitting, PiecesWhereTheToleranceSpansTwoKnots) {
  std::vector<double> poles = {0, -15, 0, -15, -14, 0, -11, -1.625, 0, 0, -15, 0};
  for (int i = 0; i < 7; ++i) poles.insert(poles.end(), {-15, -15, 0});
  TestCurve c(8, poles,
              {-11, -11, -10.9375, -6.8125, -6.5625, -6.3125, -2.5625, -2.5625, 5.40625, 12.09375, 12.125, 12.3125,
               17.625, 25.59375, 33.5625, 33.5625, 33.5625, 37.3125, 37.3125});
  std::mt19937 rng(5);
  struct Case {
    int span, rc, poles;
  } const cases[] = {{7, 0, 8}, {8, 0, 8}, {9, -2, 0}, {10, 0, 8}};
  for (const Case &k : cases) {
    RoomCurve out(c.n(), 8, false);
    int rc = 0;
    BSactivsplt(&rc, &c.cv, &c.knots[k.span], &c.knots[k.span + 1], &out.cv, &kNo);
    ASSERT_EQ(rc, k.rc) << k.span;
    if (rc != 0) continue;
    EXPECT_EQ(out.cv.num_poles, k.poles) << k.span;
    EXPECT_EQ(range_start(out.cv), c.knots[k.span]) << k.span;
    expect_same_points(c.cv, out.cv, c.knots[k.span], c.knots[k.span + 1], rng);
  }
  VOQbsp_curve *raised = nullptr;
  int rc = 0;
  BSadd_1kt_tot(&c.cv, 12.125, 7, BSFALSE, &raised, &rc);
  ASSERT_EQ(rc, 0);
  HeapCurve owned(raised);
  EXPECT_EQ(raised->num_poles, c.n() + 6);
  EXPECT_EQ(std::count(raised->knots, raised->knots + raised->num_knots, 12.125), 7);
  EXPECT_EQ(std::count(raised->knots, raised->knots + raised->num_knots, 12.09375), 1);
}

TEST(Splitting, PartOverTheWholeRangeIsAClampedCopy) {
  std::mt19937 rng(2);
  auto c = random_curve(rng, 4, 8, true, false);
  RoomCurve out(8, 4, true);
  const double a = c->end() + 1e-13, b = c->start();
  int rc = 0;
  ASSERT_TRUE(BSactivsplt(&rc, &c->cv, &a, &b, &out.cv, &kNo));
  EXPECT_EQ(out.cv.num_poles, 8);
  EXPECT_EQ(out.cv.knots[0], c->start());
  EXPECT_EQ(out.cv.knots[11], c->end());
  expect_same_points(c->cv, out.cv, c->start(), c->end(), rng);
  // Out of range beyond the tolerance, or an empty interval.
  const double far = c->end() + 0.5, near_a = b + 1e-13;
  EXPECT_FALSE(BSactivsplt(&rc, &c->cv, &b, &far, &out.cv, &kNo));
  EXPECT_EQ(rc, -1);
  EXPECT_FALSE(BSactivsplt(&rc, &c->cv, &b, &near_a, &out.cv, &kNo));
  EXPECT_EQ(rc, -2);
  // A curve resting on coinciding poles: the second parameter's tolerance is wide and takes in the first's new
  // knots; no piece reaching to the span's far end may come of it.
  TestCurve rest(6, {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 10.375, -14.625},
                 {0, 3.75, 7.75, 11.75, 14.9375, 20.9375, 23.96875, 29.96875, 35.96875, 41.96875, 43.21875, 49.21875});
  const double u = 20.997170275590552, v = 21.128444881889763;
  RoomCurve piece(14, 6, false);
  if (BSactivsplt(&rc, &rest.cv, &u, &v, &piece.cv, &kNo))
    EXPECT_EQ(piece.cv.knots[piece.cv.num_poles], v);
  else
    EXPECT_EQ(rc, -2);
}

TEST(Splitting, ClosureOfAPieceIsJudgedOnItsPoints) {
  // A rational polyline that comes back to (1,1,0) at parameter 3 with another weight than at 0.
  TestCurve c(2, {1, 1, 0, 2, 1, 0, 2, 2, 0, 1, 1, 0, 0, 0, 0}, {0, 0, 1, 2, 3, 4, 4}, {2, 1, 1, 3, 1});
  RoomCurve out(5, 2, true);
  const double a = 0, b = 3;
  int rc = 0;
  ASSERT_TRUE(BSactivsplt(&rc, &c.cv, &a, &b, &out.cv, &kYes));
  EXPECT_EQ(out.cv.num_poles, 4);
  EXPECT_EQ(out.cv.phy_closed, 1);
  EXPECT_EQ(out.cv.planar, 1);
}

TEST(Splitting, KnotToleranceIsRestoredAfterSuccessAndFailure) {
  std::mt19937 rng(6);
  auto c = random_curve(rng, 4, 8, false, true);
  RoomCurve out(8, 4, false);
  const double before = BStoltab[8];
  const double a = c->start() + 0.3, b = c->end() - 0.3;
  int rc = 0;
  for (const bool slow : {false, true}) {
    const bstest::SlowRoads roads(slow);
    SCOPED_TRACE(slow ? "slow roads" : "short roads");
    insertion_calls = fail_at_call = 0;
    tolerance_seen = before;
    {
      HookGuard hook(watch_insertion);
      ASSERT_TRUE(BSactivsplt(&rc, &c->cv, &a, &b, &out.cv, &kNo));
      EXPECT_EQ(insertion_calls, 2);
      // The insertion ran under the end's own parameter tolerance, not the table's value.
      EXPECT_NE(tolerance_seen, before);
      EXPECT_EQ(BStoltab[8], before);
      insertion_calls = 0;
      fail_at_call = 2;
      EXPECT_FALSE(BSactivsplt(&rc, &c->cv, &a, &b, &out.cv, &kNo));
      EXPECT_EQ(rc, 33);
    }
    EXPECT_EQ(BStoltab[8], before);
  }
}

TEST(Splitting, OneSpanAndItsBezierForm) {
  std::mt19937 rng(12);
  auto c = random_curve(rng, 4, 9, true, false);
  RoomCurve out(4, 4, true);
  int rc = 0;
  const int span = 5;
  ASSERT_TRUE(BSextrcvspn(&rc, &span, &c->cv, &out.cv, &kYes, &kYes));
  EXPECT_EQ(out.cv.num_poles, 4);
  EXPECT_EQ(knots_of(out.cv), std::vector<double>(c->knots.begin() + 2, c->knots.begin() + 10));
  expect_same_points(c->cv, out.cv, c->knots[5], c->knots[6], rng);
  ASSERT_TRUE(BSspn_t_bz(&rc, &span, &c->cv, &out.cv, &kNo, &kNo));
  EXPECT_EQ(out.cv.knots[0], c->knots[5]);
  EXPECT_EQ(out.cv.knots[7], c->knots[6]);
  expect_same_points(c->cv, out.cv, c->knots[5], c->knots[6], rng);
  const int bad = 9;
  EXPECT_FALSE(BSextrcvspn(&rc, &bad, &c->cv, &out.cv, &kNo, &kNo));
  EXPECT_EQ(rc, -2);
}

TEST(Splitting, BreakAtEveryJoint) {
  std::mt19937 rng(19);
  // Cubic with a joint of multiplicity 3 at 1 and a simple knot at 2.
  auto c = random_curve(rng, 4, 8, true, true);
  c->knots = {0, 0, 0, 0, 1, 1, 1, 2, 3, 3, 3, 3};
  c->cv.knots = c->knots.data();
  int rc = 0, count = 0;
  VOQbsp_curve **pieces = nullptr;
  ASSERT_TRUE(BSbreakcv(&rc, &c->cv, &count, &pieces, &kNo));
  ASSERT_EQ(count, 2);
  EXPECT_EQ(range_end(*pieces[0]), 1);
  EXPECT_EQ(pieces[0]->num_poles, 4);
  EXPECT_EQ(pieces[1]->num_poles, 5);
  expect_same_points(c->cv, *pieces[0], 0, 1, rng);
  expect_same_points(c->cv, *pieces[1], 1, 3, rng);
  for (int i = 0; i < count; ++i) BSfreevoqcv(pieces[i], &rc);
  BSdbgfree(pieces);

  // No joint: one piece, a copy.
  auto d = random_curve(rng, 3, 6, false, true);
  ASSERT_TRUE(BSbreakcv(&rc, &d->cv, &count, &pieces, &kNo));
  ASSERT_EQ(count, 1);
  EXPECT_EQ(knots_of(*pieces[0]), d->knots);
  BSfreevoqcv(pieces[0], &rc);
  BSdbgfree(pieces);
}

// Middle pieces of a checked curve are cut from a stretch around them; on the slow roads the whole curve is cut.
// Both must give the same pieces to the bit, also where the curve crawls into a joint (coincident poles: a
// parameter tolerance of whole spans) and at a parameter scale far from 1.
TEST(Splitting, PiecesCutFromAStretchEqualPiecesCutFromTheWholeCurve) {
  std::mt19937 rng(23);
  for (const double scale : {1e-3, 1.0, 1e3}) {
    // Quadratic pieces of two spans between joints at 1, 2, .. 19 (times scale).
    auto c = random_curve(rng, 3, 61, true, true);
    c->knots.assign(3, 0);
    for (int j = 1; j <= 19; ++j) c->knots.insert(c->knots.end(), {(j - 0.5) * scale, j * scale, j * scale});
    c->knots.insert(c->knots.end(), {19.5 * scale, 20 * scale, 20 * scale, 20 * scale});
    c->cv.knots = c->knots.data();
    for (int a = 0; a < 3; ++a)  // the curve leaves the joint at 7 (pole 21) with no speed
      c->poles[3 * 22 + a] = c->weights[22] * c->pole(21, a);
    int rc = 0, count[2] = {0, 0};
    VOQbsp_curve **pieces[2] = {nullptr, nullptr};
    ASSERT_TRUE(BSbreakcv(&rc, &c->cv, &count[0], &pieces[0], &kNo));
    {
      const bstest::SlowRoads slow;
      ASSERT_TRUE(BSbreakcv(&rc, &c->cv, &count[1], &pieces[1], &kNo));
    }
    ASSERT_EQ(count[0], 20);
    ASSERT_EQ(count[1], 20);
    for (int i = 0; i < 20; ++i) {
      const VOQbsp_curve &x = *pieces[0][i], &y = *pieces[1][i];
      ASSERT_EQ(x.num_poles, y.num_poles) << i;
      EXPECT_EQ(std::memcmp(x.poles, y.poles, 24 * x.num_poles), 0) << scale << " " << i;
      EXPECT_EQ(std::memcmp(x.weights, y.weights, 8 * x.num_poles), 0) << scale << " " << i;
      EXPECT_EQ(knots_of(x), knots_of(y)) << scale << " " << i;
    }
    for (VOQbsp_curve **list : pieces) {
      for (int i = 0; i < 20; ++i) BSfreevoqcv(list[i], &rc);
      BSdbgfree(list);
    }
  }
}

// Straight pieces (lines raised to quadratics, rational, their speeds uneven) joined at runs of two knots and,
// every other joint, of three with the joint's pole doubled, broken apart at the runs of three: such a cut is
// made on a stretch around it that reaches four times the distance over the speed past it, where the turning of
// a straight span is rounding, and the pieces come out as the slow roads cut them from the whole curve, to the
// bit, at parameter widths from 1e-6 to 1e3 and far from the origin.
TEST(Splitting, StraightPiecesCutAtTripledJointsEqualPiecesCutFromTheWholeCurve) {
  for (const double width : {1e-6, 1.0, 1e3})
    for (const double at : {0.0, 1e6}) {
      const int joined = 400, pieces = joined / 2;
      std::vector<double> points{at, at, 0}, knots{0, 0, 0}, weights;
      for (int i = 1; i <= joined; ++i) {
        const double x = points[points.size() - 3], y = points[points.size() - 2];
        const double nx = at + 0.1 * i, ny = at + 0.4 * std::sin(0.13 * i), u = width * i;
        points.insert(points.end(), {0.5 * x + 0.5 * nx, 0.5 * y + 0.5 * ny, 0, nx, ny, 0});
        if (i < joined && i % 2) points.insert(points.end(), {nx, ny, 0}), knots.push_back(u);
        if (i < joined) knots.insert(knots.end(), {u, u});
      }
      knots.insert(knots.end(), 3, width * joined);
      for (std::size_t i = 0; i < points.size() / 3; ++i) weights.push_back(1 + 0.3 * std::sin(0.7 * i));
      TestCurve c(3, points, knots, weights);
      int rc = 0, count[2] = {0, 0};
      VOQbsp_curve **pieces_cut[2] = {nullptr, nullptr};
      ASSERT_TRUE(BSbreakcv(&rc, &c.cv, &count[0], &pieces_cut[0], &kNo));
      {
        const bstest::SlowRoads slow;
        ASSERT_TRUE(BSbreakcv(&rc, &c.cv, &count[1], &pieces_cut[1], &kNo));
      }
      ASSERT_EQ(count[0], pieces);
      ASSERT_EQ(count[1], pieces);
      for (int i = 0; i < pieces; ++i) {
        const VOQbsp_curve &x = *pieces_cut[0][i], &y = *pieces_cut[1][i];
        ASSERT_EQ(x.num_poles, y.num_poles) << width << " " << at << " " << i;
        EXPECT_EQ(std::memcmp(x.poles, y.poles, 24 * x.num_poles), 0) << width << " " << at << " " << i;
        EXPECT_EQ(std::memcmp(x.weights, y.weights, 8 * x.num_poles), 0) << width << " " << at << " " << i;
        EXPECT_EQ(knots_of(x), knots_of(y)) << width << " " << at << " " << i;
      }
      for (VOQbsp_curve **list : pieces_cut) {
        for (int i = 0; i < pieces; ++i) BSfreevoqcv(list[i], &rc);
        BSdbgfree(list);
      }
    }
}

TEST(Splitting, RawArraysCutAtAKnot) {
  // Quadratic, two coordinates, knots 0 0 0 1 2 3 3 3: cut at knot index 4 (value 2).
  const std::vector<double> knots = {0, 0, 0, 1, 2, 3, 3, 3};
  const std::vector<double> coef = {0, 1, 3, 4, 6, /* y */ 1, -1, 2, 0, 1};
  int n1 = 0, n2 = 0, rc = 0;
  std::vector<double> p1(20), k1(20), p2(20), k2(20);
  BShlfbspcv(2, 2, 5, coef.data(), knots.data(), 4, &n1, p1.data(), k1.data(), &n2, p2.data(), k2.data(), &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(n1, 4);
  ASSERT_EQ(n2, 3);
  EXPECT_EQ(std::vector<double>(k1.begin(), k1.begin() + 7), (std::vector<double>{0, 0, 0, 1, 2, 2, 2}));
  EXPECT_EQ(std::vector<double>(k2.begin(), k2.begin() + 6), (std::vector<double>{2, 2, 2, 3, 3, 3}));
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> ud(0, 3);
  for (int i = 0; i < 20; ++i) {
    const double u = ud(rng);
    double ref[2], got[2];
    BScvevaln0(2, 5, 2, coef.data(), knots.data(), u, -1, ref, &rc);
    if (u <= 2)
      BScvevaln0(2, n1, 2, p1.data(), k1.data(), u, -1, got, &rc);
    else
      BScvevaln0(2, n2, 2, p2.data(), k2.data(), u, -1, got, &rc);
    EXPECT_NEAR(got[0], ref[0], 1e-13);
    EXPECT_NEAR(got[1], ref[1], 1e-13);
  }
  // A knot index beyond the knot vector.
  BShlfbspcv(2, 2, 5, coef.data(), knots.data(), 9, &n1, p1.data(), k1.data(), &n2, p2.data(), k2.data(), &rc);
  EXPECT_EQ(rc, 35);
}

}  // namespace

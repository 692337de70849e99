// The offset of a whole planar curve: corners, reversals, degenerate pieces, the closing step and its borrowed
// tolerance, the piece preparation and the joining helpers, under forced warnings and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/offset.h"
#include "tests/bspline/measure_curves.h"
#include "tests/bspline/offset/offset_fixtures.h"

namespace {

const double kUp[3] = {0, 0, 1}, kBevel = 0.5 * (std::sqrt(2.0) - 1);  // mitre point to a round join of 0.5

std::unique_ptr<TestCurve> star() {
  std::vector<double> p;
  for (int i = 0; i <= 10; ++i) p.insert(p.end(), {(i % 2 ? 1.5 : 4) * std::cos(M_PI / 2 + (i % 10) * M_PI / 5),
                                                   (i % 2 ? 1.5 : 4) * std::sin(M_PI / 2 + (i % 10) * M_PI / 5), 0});
  return polyline_xyz(p, true);
}

struct Offset {
  VOQbsp_curve *cv = nullptr;
  int rc = 0;
  Offset(const VOQbsp_curve *c, double d, int code, int side) { BSxycvoff(c, d, code, kUp, side, &cv, &rc); }
  ~Offset() {
    if (cv) BSfreevoqcv(cv, &rc);
  }
  std::array<double, 3> at(double u) const {
    std::array<double, 3> p;
    ref_point(*cv, u, p.data());
    return p;
  }
  // The distance of (x, y) from the offset.
  double off(double x, double y) const {
    const double q[3] = {x, y, 0};
    return dist_to(cv, q);
  }
  bool closed_exactly() const {
    const std::array<double, 3> a = at(cv->knots[cv->order - 1]), b = at(cv->knots[cv->num_poles]);
    return cv->phy_closed == 1 && a == b;
  }
};

int span_offsets = 0;
void count_spans(const char *name, int *) { span_offsets += std::strcmp(name, "bsspnoffset") == 0; }
void force5(const char *name, int *rc) {
  if (rc && *rc == 0 && std::strcmp(name, "bsspnoffset") == 0) *rc = BSRC_OFFSET_PASSES;
}
void fail_join(const char *name, int *rc) {
  if (rc && std::strcmp(name, "bsofcvjoin") == 0) *rc = -1;
}

TEST(WholeOffset, CornersAndReversals) {
  // Side +1 lies to the right: the zig-zag turns left (outer), right (inner), right (outer); the other polyline
  // turns back on itself.
  auto zig = polyline_xyz({0, 0, 0, 4, 0, 0, 4, 3, 0, 8, 3, 0, 8, -2, 0}), back = polyline_xyz({0, 0, 0, 4, 0, 0, 0, 0, 0});
  // Closed, crossing itself, its first two legs too short for their offsets to meet: the chain must go on from
  // the first leg's offset in the curve's direction, so that the closing arc about the origin ends where that
  // offset starts. Its middle lies on the bisector of the last and first legs' offset directions.
  auto knot = polyline_xyz({0, 0, 0, -0.25, 0.3125, 0, 0, 0.125, 0, -1.125, -1.8125, 0, 0, 0, 0}, true);
  const double bx = 1.8125 / std::hypot(1.8125, 1.125) + 0.3125 / std::hypot(0.3125, 0.25),
               by = -1.125 / std::hypot(1.8125, 1.125) + 0.25 / std::hypot(0.3125, 0.25), bl = std::hypot(bx, by);
  const double h = 0.5 / std::sqrt(2.0);
  // Up to the origin with a hook of next to no length at the double knot, then left: seen from its last pole
  // step the first piece arrives heading down, and the outer corner read as an inner one would be mitred.
  const TestCurve hook(3, {0, -4, 0, 0, 0, 0, 0, -1e-200, 0, -4, 0, 0, -8, 0, 0}, {0, 0, 0, 1, 1, 3, 3, 3});
  // Jumping 2.2 from the end of its first leg (a knot of full multiplicity) to a leg that turns sharp right into a
  // short last leg: the pieces on either side of the jump do not meet, and the first leg's offset must neither be
  // trimmed against the last leg's nor bridge the leg between. The same as a rational quadratic, and a quadratic
  // whose sides of a full knot meet: a corner, joined as one.
  const double s = 1.0 / 12;
  const TestCurve jump(2, {5.375 * s, 13.75 * s, 0, 12.5 * s, -9.5 * s, 0, -13.625 * s, -7 * s, 0, -10.75 * s, -15 * s,
                           0, -11 * s, -15 * s, 0},
                       {0, 0, 0.21875, 0.21875, 0.28125, 4.34375, 4.34375});
  const TestCurve weighed(3, {5.375 * s, 13.75 * s, 0, 8.9375 * s, 2.125 * s, 0, 12.5 * s, -9.5 * s, 0, -13.625 * s,
                              -7 * s, 0, -12.1875 * s, -11 * s, 0, -10.75 * s, -15 * s, 0, -10.875 * s, -15 * s, 0,
                              -11 * s, -15 * s, 0},
                          {0, 0, 0, 1, 1, 1, 2, 2, 3, 3, 3}, {1, 3, 1, 1, 0.3, 1, 2, 1});
  const TestCurve turn(3, {0, 0, 0, 2, 0, 0, 4, 0, 0, 4, 0, 0, 4, 2, 0, 4, 4, 0}, {0, 0, 0, 1, 1, 1, 2, 2, 2});
  // Points at the distance to the right of the legs of the jumping curves: the middle of the leg after the jump
  // and the end of the first leg; the offset keeps clear of the middle of the jump's chord.
  const double lx = 2.875 * s, ly = -8 * s, ll = std::hypot(lx, ly), fx = 7.125 * s, fy = -23.25 * s,
               fl = std::hypot(fx, fy);
  const std::array<double, 3> after_jump = {-12.1875 * s + 0.5 * ly / ll, -11 * s - 0.5 * lx / ll, 0},
                              before_jump = {12.5 * s + 0.5 * fy / fl, -9.5 * s - 0.5 * fx / fl, 0},
                              across = {-0.5625 * s, -8.25 * s, -0.35};
  const struct {
    const TestCurve *c;
    int code;
    // x, y and the distance of the offset from there; a negative one is a distance the offset keeps clear of.
    std::vector<std::array<double, 3>> probes;
  } rows[] = {
      {zig.get(), 0, {{0, -0.5, 0}, {4.5, -0.5, 0}, {4.5, 2.5, 0}, {7.5, 2.5, 0}, {7.5, -2, 0}, {4.5, 2.6, 0.1}}},
      {zig.get(), 1, {{4 + h, -h, 0}, {4.5, -0.5, kBevel}, {4.5, 2.5, 0}, {4.5, 2.6, 0.1}, {7.5, 2.5, 0}}},
      // A square end or a half circle, never the two offsets merged over each other.
      {back.get(), 0, {{4.5, 0, 0}, {4.5, 0.5, 0}, {4.5, -0.5, 0}, {0, 0.5, 0}, {2, 0, 0.5}}},
      {back.get(), 1, {{4.5, 0, 0}, {4.5, 0.5, kBevel}, {4, 0.5, 0}, {0, 0.5, 0}, {2, 0, 0.5}}},
      {knot.get(), 1, {{0.5 * bx / bl, 0.5 * by / bl, 0}}},
      {&hook, 1, {{h, h, 0}, {0.5, 0.5, kBevel}, {-4, 0.5, 0}}},
      {&jump, 0, {after_jump, before_jump, across}},
      {&jump, 1, {after_jump, before_jump, across}},
      {&weighed, 1, {after_jump, before_jump, across}},
      {&turn, 1, {{4 + h, -h, 0}, {2, -0.5, 0}, {4.5, 2, 0}}},
  };
  for (const auto &r : rows) {
    const Offset o(&r.c->cv, 0.5, r.code, 1);
    ASSERT_EQ(o.rc, 0);
    for (const auto &p : r.probes) {
      if (p[2] < 0) EXPECT_GT(o.off(p[0], p[1]), -p[2]) << r.code << " " << p[0] << "," << p[1];
      else EXPECT_NEAR(o.off(p[0], p[1]), p[2], 1e-12) << r.code << " " << p[0] << "," << p[1];
    }
    for (int i = 1; i < o.cv->num_knots; ++i) EXPECT_LE(o.cv->knots[i - 1], o.cv->knots[i]);
    // Joints at the mean of the neighbouring pieces' parameters: a mitred polyline keeps the input's knots.
    if (r.c == zig.get() && r.code == 0) {
      EXPECT_EQ(std::vector<double>(o.cv->knots, o.cv->knots + o.cv->num_knots), r.c->knots);
    }
  }
}

TEST(WholeOffset, LegsMergedInPlaceAsByCopying) {
  // Off the slow roads a line string's legs are merged onto the chain in place; on them, each merge copies the
  // chain. The two must agree bit for bit, flags and trace included: a leg of zero length, a chain closing
  // on itself, a turn back, legs shorter than the distance, and a long zig-zag whose chain grows many times.
  std::vector<double> zig;
  for (int i = 0; i < 300; ++i) zig.insert(zig.end(), {1.5 * i, i % 2 ? 1.0 : -1.0, 0});
  auto zero_leg = polyline_xyz({0, 0, 0, 4, 0, 0, 4, 1e-9, 0, 4, 3, 0, 8, 3, 0, 8, 3 + 1e-6, 0, 12, 3, 0});
  auto back = polyline_xyz({0, 0, 0, 4, 0, 0, 0, 0, 0});
  auto stubs = polyline_xyz({0, 0, 0, 5, 0, 0, 5.1, 0.1, 0, 5.2, 0, 0, 10, 0, 0});
  auto closed = star();
  auto long_zig = polyline_xyz(zig);
  const struct {
    const char *name;
    const TestCurve *c;
    double d;
    int side;
  } cases[] = {{"zero leg", zero_leg.get(), 0.5, 1}, {"turn back", back.get(), 0.5, -1},
               {"short legs", stubs.get(), 0.4, 1},  {"closed star", closed.get(), 0.3, -1},
               {"long zig-zag", long_zig.get(), 0.4, 1}};
  for (const auto &c : cases) {
    std::vector<double> poles[2], knots[2];
    std::vector<std::pair<std::string, int>> trace[2];
    int rc[2], flags[2][3];
    for (int hooked = 0; hooked < 2; ++hooked) {
      BStraceclear();
      bstest::set_slow_roads(hooked != 0);
      {
        Offset o(&c.c->cv, c.d, 0, c.side);
        bstest::set_slow_roads(false);
        rc[hooked] = o.rc;
        ASSERT_NE(o.cv, nullptr) << c.name;
        poles[hooked].assign(o.cv->poles, o.cv->poles + 3 * o.cv->num_poles);
        knots[hooked].assign(o.cv->knots, o.cv->knots + o.cv->num_knots);
        flags[hooked][0] = o.cv->phy_closed, flags[hooked][1] = o.cv->planar, flags[hooked][2] = o.cv->order;
      }
      for (int i = 0; i < BStracecount(); ++i)
        trace[hooked].emplace_back(BStracetable()[i].name, BStracetable()[i].rc);
    }
    EXPECT_EQ(rc[0], rc[1]) << c.name;
    EXPECT_EQ(poles[0], poles[1]) << c.name;
    EXPECT_EQ(knots[0], knots[1]) << c.name;
    EXPECT_TRUE(std::equal(flags[0], flags[0] + 3, flags[1])) << c.name;
    EXPECT_EQ(trace[0], trace[1]) << c.name;
  }
  BStraceclear();
}

TEST(WholeOffset, CopiesSingleSpansDegeneratePiecesAndBadInput) {
  TestCurve cubic(4, {0, 0, 1, 1, 2, 1, 3, 2, 1, 4, 0, 1}, {0, 0, 0, 0, 1, 1, 1, 1});
  const Offset copy(&cubic.cv, 5e-15, 0, 1), one(&cubic.cv, 0.5, 0, 1), flipped(&cubic.cv, -0.5, 0, -1);
  EXPECT_EQ(0, std::memcmp(copy.cv->poles, cubic.poles.data(), 12 * sizeof(double))) << "an exact copy";
  ASSERT_TRUE(one.rc == 0 && flipped.rc == 0 && one.cv->num_poles == flipped.cv->num_poles);
  EXPECT_EQ(0, std::memcmp(one.cv->poles, flipped.cv->poles, 3 * sizeof(double) * one.cv->num_poles))
      << "a negative distance is the other side";
  // Without corner knots: one span offset; closed, the result is closed.
  TestCurve loop(4, {0, 0, 0, 3, 3, 0, 1, 5, 0, -1, 5, 0, -3, 3, 0, 0, 0, 0}, {0, 0, 0, 0, 1, 2, 3, 3, 3, 3});
  loop.cv.phy_closed = 1;
  span_offsets = 0;
  const BSfaulthandler prev = BSsetfaulthook(count_spans);
  const Offset closed(&loop.cv, 0.2, 1, -1);
  BSsetfaulthook(prev);
  EXPECT_TRUE(closed.rc == 0 && span_offsets == 1 && closed.closed_exactly());
  // Pieces that are points in the plane, whatever their z: two fail, among more they are skipped.
  auto two = polyline_xyz({1, 1, 0, 1, 1, 2, 1, 1, 5}), three = polyline_xyz({0, 0, 0, 4, 0, 0, 4, 0, 7, 4, 3, 0});
  EXPECT_EQ(Offset(&two->cv, 0.5, 0, 1).rc, BSRC_NO_JOIN);
  const std::vector<double> before = three->poles;
  const Offset skipped(&three->cv, 0.5, 0, 1);
  ASSERT_EQ(skipped.rc, 0);
  EXPECT_EQ(three->poles, before);
  EXPECT_LT(skipped.off(4.5, -0.5), 1e-12) << "the pieces beside the point meet at their mitre";
  auto nan = polyline_xyz({0, 0, 0, NAN, 0, 0, 4, 3, 0});
  const struct {
    const VOQbsp_curve *cv;
    double d;
    int side, rc;
  } bad[] = {{&cubic.cv, NAN, 1, -2}, {&cubic.cv, INFINITY, 1, -2}, {&cubic.cv, 1, 0, -2}, {&nan->cv, 1, 1, -2},
             {nullptr, 1, 1, 3}};
  for (const auto &b : bad) {
    const Offset o(b.cv, b.d, 0, b.side);
    EXPECT_TRUE(o.rc == b.rc && o.cv == nullptr) << b.d << " " << b.side;
  }
}

TEST(WholeOffset, WarningsFailuresAndTheBorrowedTolerance) {
  auto s = star();
  const TolScope odd(bstol::dist_tol, 3.3e-7);  // 5 x 0.2 does not give these bits back
  for (const bool slow : {false, true}) {
    const bstest::SlowRoads roads(slow);
    SCOPED_TRACE(slow ? "slow roads" : "short roads");
    const BSfaulthandler prev = BSsetfaulthook(force5);
    const Offset warned(&s->cv, 0.3, 1, 1);
    BSsetfaulthook(fail_join);
    const Offset failed(&s->cv, 0.3, 1, 1);
    BSsetfaulthook(prev);
    EXPECT_TRUE(warned.rc == BSRC_OFFSET_PASSES && warned.closed_exactly()) << "the warning comes with the result";
    EXPECT_TRUE(failed.rc != 0 && failed.cv == nullptr);
    EXPECT_EQ(BStoltab[bstol::dist_tol], 3.3e-7);
  }
  // Every heap request failed in turn: a clean failure with nothing left behind, or the full result.
  const int live = BSdbgliveblocks();
  for (int n = 1, done = 0; !done && n < 5000; ++n) {
    {
      BSallocfailat(n);
      const Offset o(&s->cv, 0.3, 1, n % 2 ? 1 : -1);
      done = BSallocfailpending() != 0;  // the call ran through before the n-th request
      BSallocfailat(0);
      EXPECT_EQ(o.rc != 0, o.cv == nullptr) << n;
      EXPECT_TRUE(!done || o.rc == 0);
    }
    EXPECT_EQ(BSdbgliveblocks(), live) << n;
    EXPECT_EQ(BStoltab[bstol::dist_tol], 3.3e-7) << n;
  }
}

TEST(WholeOffset, PreparedPieceIsRefinedOnlyPastTheFold) {
  const struct {
    double cosine, a, b;
    int poles;
  } rows[] = {{-0.98481, 0, 1, 8}, {-0.98479, 0, 1, 3}, {-0.99, 2, 4, 8}, {0.5, 2, 4, 3}};
  for (const auto &r : rows) {
    const double s = std::sqrt(1 - r.cosine * r.cosine);
    TestCurve q(3, {0, 0, 1, 3, 0, 1, 3 + 1.5 * r.cosine, 1.5 * s, 1}, {r.a, r.a, r.a, r.b, r.b, r.b});
    VOQbsp_curve *out = nullptr;
    int rc = 0;
    BSofprpcv(&q.cv, &out, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(out->num_poles, r.poles) << r.cosine;
    // The knots crowd about the fold, at a / (a + e) = 2/3 of the piece's own range.
    if (r.poles == 8) {
      EXPECT_NEAR(out->knots[5], r.a + (r.b - r.a) * 2 / 3, 1e-15);
    }
    EXPECT_TRUE(out->knots[0] == r.a && out->knots[out->num_poles + 2] == r.b);
    BSfreevoqcv(out, &rc);
  }
}

TEST(WholeOffset, ClosingStep) {
  // Smooth closing point: a full circle of four pieces.
  auto circle = circular_arc(2, 0, 2 * M_PI, 4);
  circle->cv.phy_closed = 1;
  for (int side : {1, -1}) {
    const Offset o(&circle->cv, 0.5, 1, side);
    EXPECT_TRUE(o.rc == 0 && o.closed_exactly());
    EXPECT_NEAR(o.off(2 + side * 0.5, 0), 0, 1e-6);
  }
  // A square: side +1 lies outside (an outer closing corner), -1 inside (an inner one).
  auto sq = polyline_xyz({0, 0, 0, 4, 0, 0, 4, 4, 0, 0, 4, 0, 0, 0, 0}, true);
  const Offset outer(&sq->cv, 0.5, 1, 1), inner(&sq->cv, 0.5, 1, -1);
  ASSERT_TRUE(outer.rc == 0 && inner.rc == 0);
  const double E = outer.cv->knots[outer.cv->num_poles];
  EXPECT_TRUE(outer.cv->knots[2] == 0 && E < 4 && E > 4 - 1e-4) << "the closing arc within [S, E - h]";
  EXPECT_TRUE(outer.closed_exactly() && inner.closed_exactly());
  EXPECT_NEAR(outer.off(-0.5 / std::sqrt(2.0), -0.5 / std::sqrt(2.0)), 0, 1e-12);
  EXPECT_EQ(inner.cv->num_poles, 5);
  EXPECT_NEAR(inner.at(inner.cv->knots[1])[0], 0.5, 1e-12) << "cut where the tails cross";
  // Cut ends farther apart than a very fine dist_tol: a closing line.
  int rc = 0;
  VOQbsp_curve *open = nullptr, *closed = nullptr, *copy = nullptr;
  sq->cv.phy_closed = 0;
  BSxycvoff(&sq->cv, 0.5, 0, kUp, -1, &open, &rc);
  BSofmkcls(&sq->cv, open, open, open, kUp, 0, 0.5, -1, &copy, &rc);
  EXPECT_TRUE(rc == 0 && copy->phy_closed == 0 && 0 == std::memcmp(copy->poles, open->poles, 15 * sizeof(double)))
      << "an open input: a copy";
  sq->cv.phy_closed = 1;
  {
    const TolScope fine(bstol::dist_tol, 1e-16);
    BSofmkcls(&sq->cv, open, open, open, kUp, 0, 0.5, -1, &closed, &rc);
  }
  EXPECT_TRUE(rc == 0 && closed->num_poles == 6 && closed->phy_closed == 1);
  for (VOQbsp_curve *c : {open, closed, copy}) BSfreevoqcv(c, &rc);
}

TEST(WholeOffset, JoiningHelpers) {
  const TolScope sq(bstol::dist_sqtol, 0.01);  // joins up to a gap of exactly 1, closed below 0.1
  int rc = 0;
  for (double gap : {1.0, std::nextafter(1.0, 2.0)}) {
    auto a = polyline_xyz({0, 0, 0, 2, 0, 0}), b = polyline_xyz({2, gap, 0, 4, 0, 0});
    VOQbsp_curve *out = nullptr;
    BSallocvoqcv(2, 3, 0, 0, &out, &rc);
    BSofcvjoin(&a->cv, &b->cv, out, &rc);
    EXPECT_EQ(rc, gap == 1.0 ? 0 : -1) << gap;
    BSfreevoqcv(out, &rc);
  }
  for (double gap : {0.0999, 0.1}) {
    auto c = polyline_xyz({0, 0, 0, 2, 0, 0, 0, gap, 0}, gap > 0.1);
    BSboolean collinear = 1;
    BSofchkln(&c->cv, &collinear, &rc);
    EXPECT_TRUE(rc == 0 && c->cv.phy_closed == (gap < 0.1) && collinear == 0) << gap;
  }
  // Equal orders change neither curve; otherwise the lower one is raised in its slot.
  auto line = polyline_xyz({0, 0, 0, 2, 0, 0});
  auto arc = circular_arc(1, 0, 1, 1);
  VOQbsp_curve *a = nullptr, *b = nullptr, *c = nullptr;
  for (auto [slot, src] : {std::pair{&a, &line->cv}, std::pair{&b, &line->cv}, std::pair{&c, &arc->cv}}) {
    BSallocvoqcv(src->order, src->num_poles, src->rational, 0, slot, &rc);
    BScv_copy(&rc, src, *slot);
  }
  VOQbsp_curve *const a0 = a, *const b0 = b;
  std::int16_t order = 0;
  BSboolean rational = 0;
  int np = 0;
  BSofupdeg(&a, &b, &order, &rational, &np, &rc);
  EXPECT_TRUE(rc == 0 && a == a0 && b == b0 && order == 2 && rational == 0 && np == 3);
  EXPECT_EQ(0, std::memcmp(a->poles, line->poles.data(), 6 * sizeof(double)));
  BSofupdeg(&c, &b, &order, &rational, &np, &rc);
  EXPECT_TRUE(rc == 0 && c->order == 3 && b->order == 3 && rational == 1 && np == 5);
  for (VOQbsp_curve *x : {a, b, c}) BSfreevoqcv(x, &rc);
}

TEST(WholeOffset, PairOfPieces) {
  auto A = polyline_xyz({0, 0, 0, 4, 0, 0}), B = polyline_xyz({4, 0, 0, 4, 3, 0}), C = polyline_xyz({4, 3, 0, 8, 3, 0});
  auto P = polyline_xyz({4, 0, 0, 4, 0, 9});
  VOQbsp_curve *offA = nullptr, *offB = nullptr, *arc = nullptr;
  std::int16_t trim = 0, arc_flag = 0;
  double pt[3] = {0, 0, 0};
  int status = 0, rc = 0;
  BS2cvsoffpg(&P->cv, &B->cv, 1, 0.5, 0, 1, kUp, &trim, pt, &offA, &offB, &arc_flag, &arc, &status, &rc);
  EXPECT_TRUE(rc == 0 && status == 1 && !offA && !offB) << "a piece that is a point in the plane";
  BS2cvsoffpg(&A->cv, &B->cv, 6, 0.5, 0, 1, kUp, &trim, pt, &offA, &offB, &arc_flag, &arc, &status, &rc);
  EXPECT_EQ(rc, -2);
  // Side -1, an inner corner: A's offset is trimmed and the cut of B's front left to the next pair.
  BS2cvsoffpg(&A->cv, &B->cv, 1, 0.5, 0, -1, kUp, &trim, pt, &offA, &offB, &arc_flag, &arc, &status, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_TRUE(trim == 1 && std::fabs(pt[0] - 3.5) < 1e-12 && std::fabs(pt[1] - 0.5) < 1e-12);
  // Mode 5 offsets nothing, cuts the given offA's front, then mitres the outer corner by moving the line ends.
  std::swap(offA, offB);
  BSspnoffset(&C->cv, 0.5, kUp, -1, &offB, &rc);
  BS2cvsoffpg(&B->cv, &C->cv, 5, 0.5, 0, -1, kUp, &trim, pt, &offA, &offB, &arc_flag, &arc, &status, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_TRUE(trim == 0 && arc_flag == 0 && arc == nullptr);
  const double want[4] = {3.5, 0.5, 3.5, 3.5};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(offA->poles[i < 2 ? i : i + 1], want[i], 1e-12);
  for (VOQbsp_curve *x : {offA, offB}) BSfreevoqcv(x, &rc);
}

// A picture for a reader: a zig-zag, a closed star and a cusped quadratic, the curve black, side +1 red, -1
// blue, sharp joins above and round joins below.
TEST(WholeOffset, WritesAPicture) {
  auto zig = polyline_xyz({0, 0, 0, 3, 2, 0, 6, -1, 0, 9, 2, 0, 12, 0, 0}), st = star();
  const TestCurve cusp(3, {0, 0, 0, 4, 0.3, 0, 0, 0.6, 0}, {0, 0, 0, 1, 1, 1});
  std::FILE *f = svg_open("whole_offset.svg", "-1 2 48 24");
  ASSERT_NE(f, nullptr);
  const struct {
    const VOQbsp_curve *cv;
    double dx, d;
  } items[] = {{&zig->cv, 0, 0.5}, {&st->cv, 20, 0.4}, {&cusp.cv, 30, 0.2}};
  int drawn = 0;
  for (int code : {0, 1})
    for (const auto &it : items)
      for (int side : {0, 1, -1}) {
        const Offset o(it.cv, side ? it.d : 0, code, side ? side : 1);
        if (o.rc != 0) continue;
        svg_curve(f, *o.cv, side == 0 ? "black" : side > 0 ? "red" : "blue", it.dx, 8 + code * 12);
        ++drawn;
      }
  EXPECT_TRUE(svg_close(f));
  EXPECT_EQ(drawn, 18);
}

}  // namespace

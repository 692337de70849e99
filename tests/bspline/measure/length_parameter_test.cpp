#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "bspline/core/test_support.h"
#include "tests/bspline/measure_fixtures.h"

namespace {

double iarcln(VOQbsp_curve &cv, double par0, double dist, double dir, int *rc) {
  double par = -777;
  BSiarcln(rc, &cv, &par0, &dist, &dir, &par);
  return par;
}

TEST(LengthParameter, PolylineWalk) {
  TestCurve poly(2, {0, 0, 0, 1, 0, 0, 1, 1, 0}, {0, 0, 1, 2, 2});
  int rc = 0;
  EXPECT_DOUBLE_EQ(iarcln(poly.cv, 0, 1.5, 2, &rc), 1.5);
  EXPECT_DOUBLE_EQ(iarcln(poly.cv, 0.25, 0.5, 2, &rc), 0.75);
  EXPECT_DOUBLE_EQ(iarcln(poly.cv, 2, 1.25, 0, &rc), 0.75) << "backwards";
  EXPECT_DOUBLE_EQ(iarcln(poly.cv, 1, 0.5, 0, &rc), 0.5) << "backwards from a knot";
  double par = 0;
  const double p0 = 0, d = 3, dir = 2;
  EXPECT_EQ(BSiarcln(&rc, &poly.cv, &p0, &d, &dir, &par), BSFALSE);
  EXPECT_EQ(rc, 9);
  // The whole length (within dist_tol) is the end parameter without any walk.
  EXPECT_EQ(iarcln(poly.cv, 0, 2 + 5e-7, 2, &rc), 2);
  EXPECT_EQ(rc, 0);
  // A polyline that breaks (two equal knots) between its second and third poles: the jump is no length.
  TestCurve broken(2, {0, 0, 0, 1, 0, 0, 5, 5, 0, 6, 5, 0}, {0, 0, 1, 1, 2, 2});
  EXPECT_DOUBLE_EQ(iarcln(broken.cv, 0, 1.5, 2, &rc), 1.5);
  EXPECT_EQ(rc, 0);
  // A start past either end: no point to walk from that the lengths agree on.
  for (double start : {-0.5, 2.5}) {
    iarcln(poly.cv, start, 0.5, start < 0 ? 2 : 0, &rc);
    EXPECT_EQ(rc, -2) << start;
  }
}

TEST(LengthParameter, ClosedPolylineWrapsOverItsSeam) {
  // The unit square from (0,0,0) around and back, knots 0..4.
  TestCurve square(2, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 0}, {0, 0, 1, 2, 3, 4, 4});
  square.cv.phy_closed = 1;
  int rc = 0;
  // From 3.5 forward: 0.5 to the seam, then 1.25 more.
  const double total = 0.5, p0 = 3.5, dist = 1.75, end = 4;
  double par = 0;
  ASSERT_TRUE(BSiarcln2(&rc, &square.cv, &total, &p0, &dist, &end, &par));
  EXPECT_DOUBLE_EQ(par, 1.25);
  // Backwards from 0.5 over the seam.
  const double total_back = 0.5, q0 = 0.5, dist_back = 1.0, start = 0;
  ASSERT_TRUE(BSiarcln2(&rc, &square.cv, &total_back, &q0, &dist_back, &start, &par));
  EXPECT_DOUBLE_EQ(par, 3.5);
  // No more than one turn is walked.
  const double too_far = 9;
  EXPECT_FALSE(BSiarcln2(&rc, &square.cv, &total, &p0, &too_far, &end, &par));
  EXPECT_EQ(rc, 9);
}

TEST(LengthParameter, InvertsTheArcLength) {
  TolScope accuracy(15, 1e-10);
  std::mt19937 rng(132);
  for (int trial = 0; trial < 24; ++trial) {
    const int order = 3 + trial % 3;
    auto c = random_curve(rng, order, order + 1 + trial % 5, trial % 2 == 1, trial % 3 != 0);
    std::uniform_real_distribution<double> ud(c->start(), c->end());
    const double p0 = ud(rng);
    const bool forward = trial % 4 < 2;
    int rc = 0;
    const double to_end = forward ? arclength(c->cv, p0, c->end(), &rc) : arclength(c->cv, c->start(), p0, &rc);
    const double dist = to_end * (0.1 + 0.8 * (trial % 7) / 6.0);
    const double par = iarcln(c->cv, p0, dist, forward ? c->end() : c->start(), &rc);
    ASSERT_EQ(rc, 0) << trial;
    EXPECT_EQ(par > p0, forward) << trial;
    EXPECT_NEAR(arclength(c->cv, p0, par, &rc), dist, 2e-6) << trial;
  }
  // Fifteen units along the first sixteenth of the range, then standing still: past the target the length is
  // flat, and the bracket must still close on the target rather than stall at its far end.
  std::vector<double> rush_poles = {0, -15, 0, -15, -14, 0};
  for (int i = 0; i < 8; ++i) rush_poles.insert(rush_poles.end(), {-15, -15, 0});
  TestCurve rush(4, rush_poles,
                 {-14, -14, -14, -14, -13.9375, -13.9375, -10.1875, -10.1875, -10.1875, -6.4375, -5.4375, -5.4375,
                  -5.4375, -5.4375});
  int rc = 0;
  const double rushed = iarcln(rush.cv, -14, 15, -5.4375, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_LT(rushed, -13.9375);
  EXPECT_NEAR(arclength(rush.cv, -14, rushed, &rc), 15, 2e-6);

  const double p0 = 0.5, dist = 10, dir = 1, total = 1;
  double par = 0;
  auto arc = circular_arc(1, 0, 2, 2);
  EXPECT_FALSE(BSiarcln2(&rc, &arc->cv, &total, &p0, &dist, &dir, &par));
  EXPECT_EQ(rc, 9) << "beyond the end of an open curve";
}

// Curves that run nearly all their way within a sliver of the parameter beside a pole of tiny weight (weights 1e3
// down to 1e-3): at an end, at the start, and on both sides of an inner knot; parabola arcs, quarter circles and
// straight legs (measured on a line); at the origin, far out and small. Lengths up to points within the curve's
// knot tolerance of a knot or an end came out as the length up to that knot, so that no parameter reached the
// lengths in between and the search stopped at the edge of the sliver. From either end, from inside the sliver and
// from the middle, both ways, the parameter found lies at the asked length of the exact length within dist_tol, as
// each end of a length is read within its own parameter tolerance (dist_tol along the curve) once more.
TEST(LengthParameter, StretchesSqueezedBesideAPoleOfTinyWeight) {
  TolScope accuracy(15, 1e-9);
  const double tol = 3 * BStoltab[1] + 1e-9;
  for_each_squeezed([tol](const SqueezedCurve &sq, double at, const std::string &what) {
    VOQbsp_curve &cv = sq.curve->cv;
    const double first = sq.curve->start(), last = sq.curve->end();
    // Inside the sliver: beside the range's end, its start, or the inner knot.
    const double sliver = at == last ? last - 2e-7 : at + 2e-7;
    for (const double u0 : {first, sliver, (first + last) / 2, last})
      for (const double to : {first, last}) {
        if (to == u0) continue;
        for (const double part : {0.25, 0.5, 0.999, 0.99999}) {
          const double dist = part * sq.length(u0, to);
          int rc = 0;
          const double par = iarcln(cv, u0, dist, to, &rc);
          EXPECT_EQ(rc, 0);
          EXPECT_NEAR(sq.length(u0, par), dist, tol)
              << what << ": from " << u0 << " towards " << to << ", " << part << " of the way: " << par;
        }
      }
  });
}

// A small curve that moves slowly enough for parameter tolerances of a tenth of its range: the end of a length at
// 0.5368 snaps 0.12 onto the knot 0.4155, and a start within that tolerance of the knot, 0.25 from where the
// length ends, was taken as the same point (length 0) although the curve runs 8e-5 (80 dist_tol) in between; the
// search then stopped at the edge of that start. Against quadrature, from parameters beside it both ways.
TEST(LengthParameter, EndsSnappedOntoAKnotWithinALargeTolerance) {
  TolScope accuracy(15, 1e-9);
  TestCurve c(3,
              {0.00067460762473365308, 0.00012705137550337648, 0, 0.00076636065666801001, 0.00056810250313070292, 0,
               0.00060318716634082852, 0.00019767273847706284, 0, 0.0009188091953755593, 4.7473980273663259e-05, 0},
              {0, 0, 0, 0.41549039722829928, 1, 1, 1},
              {30.10637931337094, 0.010089920390142105, 3.2750695570445036, 0.0031885513854151373});
  int rc = 0;
  EXPECT_NEAR(arclength(c.cv, 0.29162586292180365, 0.53682021471862007, &rc), 8.146138031012e-05, 2e-6);
  for (const double u0 : {0.53682021471862007, 0.5, 0.6, 0.3})
    for (const double to : {0.0, 1.0})
      for (const double dist : {9.3824546659619733e-06, 2e-5, 6e-5}) {
        if (reference_length(c.cv, u0, to, 256) < dist) continue;
        const double par = iarcln(c.cv, u0, dist, to, &rc);
        EXPECT_EQ(rc, 0);
        EXPECT_NEAR(reference_length(c.cv, u0, par, 256), dist, 3e-6) << u0 << " towards " << to << ": " << dist;
      }
}

// A code forced at a routine's exit (the fault hook) must turn its answer to FALSE, as a code of its own does.
TEST(LengthParameter, AnswerFollowsACodeForcedAtTheExit) {
  auto arc = circular_arc(1, 0, 2, 2);
  const double p0 = 0.5, dist = 0.1, end = 2;
  const struct {
    const char *hooked;
    BSboolean (*call)(VOQbsp_curve *, double, double, double, int *);
  } rows[] = {
      {"bsiarcln2",
       [](VOQbsp_curve *cv, double p0, double dist, double end, int *rc) {
         double total = 0, par = 0;
         BSarclength(rc, cv, &p0, &end, &total);
         return BSiarcln2(rc, cv, &total, &p0, &dist, &end, &par);
       }},
      {"bsiarcln",
       [](VOQbsp_curve *cv, double p0, double dist, double end, int *rc) {
         double par = 0;
         return BSiarcln(rc, cv, &p0, &dist, &end, &par);
       }},
      {"bsarclen",
       [](VOQbsp_curve *cv, double p0, double, double end, int *rc) {
         BSboolean status = BSTRUE;
         double length = 0;
         BSarclen(rc, &status, cv, &p0, &end, &p0, &length);
         return status;
       }},
  };
  static const char *hooked = nullptr;
  for (const bool slow : {false, true}) {
    for (const auto &row : rows) {
      const bstest::SlowRoads roads(slow);
      SCOPED_TRACE(slow ? "slow roads" : "short roads");
      hooked = row.hooked;
      HookGuard guard([](const char *lname, int *rc) {
        if (rc && std::strcmp(lname, hooked) == 0) *rc = 77;
      });
      int rc = 0;
      EXPECT_FALSE(row.call(&arc->cv, p0, dist, end, &rc)) << row.hooked;
      EXPECT_EQ(rc, 77) << row.hooked;
    }
  }
}

TEST(LengthParameter, ClosedCurveWrapsAsManyTurnsAsNeeded) {
  TolScope accuracy(15, 1e-10);
  // A circle of length 10.
  const double r = 10 / (2 * M_PI);
  auto circle = circular_arc(r, 0, 2 * M_PI, 4);
  circle->cv.phy_closed = 1;
  int rc = 0;
  // From the range start, 12 forward: once round and then 2 more.
  const double par = iarcln(circle->cv, 0, 12, 4, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NEAR(arclength(circle->cv, 0, par, &rc), 2, 2e-6);
  EXPECT_EQ(circle->cv.phy_closed, 1);
  // From inside backwards: 2.5 to the seam, a whole turn, and 3 more before the seam.
  const double back = iarcln(circle->cv, 1, 2.5 + 10 + 3, 0, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NEAR(arclength(circle->cv, back, 4, &rc), 3, 2e-6);
  // More turns than subtracting one length at a time could ever count: still an answer on the curve.
  const double far = iarcln(circle->cv, 0, 1e300, 4, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_TRUE(far >= 0 && far <= 4) << far;
}

TEST(LengthParameter, RespacingKeepsTheShapeAndFollowsThePolygonPieces) {
  // A cubic with a C0 joint at 3 (double knot): pieces of polygon length 3 and 9.
  TestCurve c(4, {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0, 3, 3, 0, 3, 6, 0, 3, 9, 0},
              {0, 0, 0, 0, 3, 3, 3, 5, 5, 5, 5});
  TestCurve before(4, {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0, 3, 3, 0, 3, 6, 0, 3, 9, 0}, c.knots);
  int rc = 0;
  BSarclnparc(&rc, &c.cv);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(c.knots, (std::vector<double>{0, 0, 0, 0, 0.25, 0.25, 0.25, 1, 1, 1, 1}));
  std::mt19937 rng(4);
  // Piece 0 maps [0, 3] onto [0, 0.25], piece 1 [3, 5] onto [0.25, 1].
  expect_same_points(before.cv, c.cv, 0, 3, [](double u) { return u / 12; }, rng);
  expect_same_points(before.cv, c.cv, 3, 5, [](double u) { return 0.25 + (u - 3) * 0.375; }, rng);
}

TEST(LengthParameter, RespacingWithoutJointsOnlyNormalises) {
  TestCurve c(3, {0, 0, 0, 1, 2, 0, 3, 1, 0, 4, 0, 0}, {2, 2, 2, 4, 6, 6, 6});
  int rc = 0;
  BSarclnparc(&rc, &c.cv);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(c.knots, (std::vector<double>{0, 0, 0, 0.5, 1, 1, 1}));
}

TEST(LengthParameter, RespacingAnUnclampedCurveKeepsItsEnds) {
  // Order 3 with a joint (double knot) at 3 and free end knots: the knots outside the range move with the piece
  // they shape.
  std::vector<double> knots = {-1, 0, 1, 3, 3, 4, 6, 7};
  const std::vector<double> poles = {0, 0, 0, 1, 1, 0, 2, 0, 0, 3, 2, 0, 5, 2, 0};
  TestCurve c(3, poles, knots), before(3, poles, knots);
  int rc = 0;
  BSarclnparc(&rc, &c.cv);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(c.knots[2], 0);
  EXPECT_EQ(c.knots[5], 1);
  // The joint sits where the polygon pieces put it; the pieces keep their shape under the two linear maps.
  const double F = c.knots[3];
  EXPECT_EQ(c.knots[4], F);
  std::mt19937 rng(5);
  expect_same_points(before.cv, c.cv, 1, 3, [F](double u) { return (u - 1) / 2 * F; }, rng);
  expect_same_points(before.cv, c.cv, 3, 4, [F](double u) { return F + (u - 3) * (1 - F); }, rng);
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "bspline/core/test_support.h"
#include "tests/bspline/measure_fixtures.h"

namespace {

TEST(ArcLength, StraightCurves) {
  int rc = 0;
  TestCurve line(2, {0, 0, 0, 3, 4, 0}, {0, 0, 1, 1});
  EXPECT_EQ(arclength(line.cv, 0, 1, &rc), 5);
  EXPECT_EQ(rc, 0);
  // On one line but turning back: 0 -> 2 -> 1 as a quadratic reaches x = 4/3 and returns to 1.
  TestCurve back(3, {0, 0, 0, 2, 0, 0, 1, 0, 0}, {0, 0, 0, 1, 1, 1});
  EXPECT_NEAR(arclength(back.cv, 0, 1, &rc), 5.0 / 3, 1e-4);
  // The same, tilted into space.
  const double d[3] = {2 / 7.0, 3 / 7.0, 6 / 7.0};
  TestCurve tilted(3, {0, 0, 0, 2 * d[0], 2 * d[1], 2 * d[2], d[0], d[1], d[2]}, {0, 0, 0, 1, 1, 1});
  EXPECT_NEAR(arclength(tilted.cv, 0, 1, &rc), 5.0 / 3, 1e-4);
  // Monotone along its line: the distance between the end points, also when the ends are not clamped.
  TestCurve mono(4, {0, 0, 0, 1, 0, 0, 1.5, 0, 0, 4, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  EXPECT_NEAR(arclength(mono.cv, 0, 1, &rc), 4, 1e-14);
  TestCurve loose(3, {0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3}, {0, 1, 2, 3, 4, 5, 6});
  double a[3], b[3];
  BScveval_n(&loose.cv, 2, 0, a, &rc);
  BScveval_n(&loose.cv, 4, 0, b, &rc);
  EXPECT_NEAR(arclength(loose.cv, 2, 4, &rc), std::sqrt(3.0) * (b[0] - a[0]), 1e-13);
  // k equal knots inside the knot vector: the curve jumps there, and the jump is no part of its length (at the
  // end of the range, between two spans, and where the polygon runs one way along its line).
  const struct {
    int order;
    std::vector<double> x, knots;
    double end, length;
  } jumps[] = {{2, {0, 1, 3}, {0, 0, 1, 1, 2}, 1, 1},
               {2, {0, 1, 3, 4}, {0, 0, 1, 1, 2, 2}, 2, 2},
               {3, {0, 1, 2, 5, 6, 7}, {0, 0, 0, 1, 1, 1, 2, 2, 2}, 2, 4}};
  for (const auto &j : jumps) {
    std::vector<double> poles;
    for (double x : j.x) poles.insert(poles.end(), {x, 0, 0});
    TestCurve c(j.order, poles, j.knots);
    EXPECT_NEAR(arclength(c.cv, 0, j.end, &rc), j.length, 1e-12) << j.order << " " << j.x.size();
    EXPECT_EQ(rc, 0);
  }
  // Up to a break and on from it: the cut there takes the two parts as they stand.
  TestCurve broken(2, {0, 0, 0, 1, 0, 0, 3, 0, 0, 4, 0, 0}, {0, 0, 1, 1, 2, 2});
  EXPECT_NEAR(arclength(broken.cv, 0.5, 1, &rc), 0.5, 1e-12);
  EXPECT_NEAR(arclength(broken.cv, 1, 1.5, &rc), 0.5, 1e-12);
  EXPECT_EQ(rc, 0);
  // Poles at one point; an interval within the parameter tolerance.
  TestCurve dot(4, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, {0, 0, 0, 0, 1, 1, 1, 1});
  EXPECT_EQ(arclength(dot.cv, 0, 1, &rc), 0);
  double len = -1, p0 = 0.5, p1 = 0.5 + 1e-9, thr = 0.5;
  BSboolean status = BSFALSE;
  BSarclen(&rc, &status, &line.cv, &p0, &p1, &thr, &len);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(status, BSTRUE);
  EXPECT_EQ(len, 0);
}

// The distance travelled along a line by x(u) = N(u) / W(u) on [0, 1] (ascending power coefficients, W of the
// same degree or 1): the sum of |x| steps between the real zeros of N'W - NW', which here is a quadratic.
double travel(const std::vector<double> &N, const std::vector<double> &W) {
  auto at = [](const std::vector<double> &p, double u) {
    double v = 0;
    for (std::size_t i = p.size(); i-- > 0;) v = v * u + p[i];
    return v;
  };
  std::vector<double> g(N.size() + W.size(), 0.0);
  for (std::size_t i = 1; i < N.size(); ++i)
    for (std::size_t j = 0; j < W.size(); ++j) g[i - 1 + j] += i * N[i] * W[j];
  for (std::size_t i = 1; i < W.size(); ++i)
    for (std::size_t j = 0; j < N.size(); ++j) g[i - 1 + j] -= i * W[i] * N[j];
  std::vector<double> stops = {0, 1};
  const double A = g[2], B = g[1], C = g[0], D = B * B - 4 * A * C;
  if (A != 0 && D > 0)
    for (double r : {(-B - std::sqrt(D)) / (2 * A), (-B + std::sqrt(D)) / (2 * A)})
      if (r > 0 && r < 1) stops.push_back(r);
  std::sort(stops.begin(), stops.end());
  double len = 0;
  for (std::size_t i = 1; i < stops.size(); ++i)
    len += std::fabs(at(N, stops[i]) / at(W, stops[i]) - at(N, stops[i - 1]) / at(W, stops[i - 1]));
  return len;
}

// Poles on a tilted line that turn back along it: the speed vanishes where the curve turns, and the square root
// of a squared speed that only touches zero neither settles nor stays above zero in rounding once the halves are
// bisected (the same curve on the x axis measured; tilted, at entry 15 = 1e-10, it answered FALSE, rc -2).
TEST(ArcLength, CurvesTurningBackAlongATiltedLine) {
  std::mt19937 rng(1515);
  std::uniform_real_distribution<double> coord(-5, 5), weight(0.3, 3);
  for (double accuracy : {1e-10, 1e-12}) {
    TolScope entry15(15, accuracy);
    for (int trial = 0; trial < 300; ++trial) {
      double dir[3] = {coord(rng), coord(rng), coord(rng)};
      const double norm = std::sqrt(dir[0] * dir[0] + dir[1] * dir[1] + dir[2] * dir[2]);
      for (double &x : dir) x /= norm;
      const double base[3] = {100 * coord(rng), 100 * coord(rng), 100 * coord(rng)};
      const bool rational = trial % 2;
      const int order = rational ? 3 : 4;
      std::vector<double> s(order), w(rational ? order : 0), poles;
      for (double &x : s) x = coord(rng);
      for (double &x : w) x = weight(rng);
      for (double x : s)
        for (int k = 0; k < 3; ++k) poles.push_back(base[k] + x * dir[k]);
      std::vector<double> knots(order, 0.0);
      knots.insert(knots.end(), order, 1.0);
      TestCurve c(order, poles, knots, w);
      // The coordinate along the line in powers of u.
      std::vector<double> N, W = {1};
      if (!rational) {
        N = {s[0], 3 * (s[1] - s[0]), 3 * (s[0] - 2 * s[1] + s[2]), s[3] - 3 * s[2] + 3 * s[1] - s[0]};
      } else {
        N = {w[0] * s[0], 2 * (w[1] * s[1] - w[0] * s[0]), w[0] * s[0] - 2 * w[1] * s[1] + w[2] * s[2]};
        W = {w[0], 2 * (w[1] - w[0]), w[0] - 2 * w[1] + w[2]};
      }
      const double exact = travel(N, W);
      int rc = 0;
      const double len = arclength(c.cv, 0, 1, &rc);
      ASSERT_EQ(rc, 0) << "trial " << trial << " at " << accuracy;
      EXPECT_NEAR(len, exact, 1e-12 * exact) << "trial " << trial << " at " << accuracy;
    }
  }
}

TEST(ArcLength, RationalCircularArcsMeasureRadiusTimesSweep) {
  TolScope accuracy(15, 1e-10);
  int rc = 0;
  for (double sweep : {0.3, M_PI / 2, 2.0, M_PI, 4.5, 2 * M_PI})
    for (int segments : {2, 3, 5}) {
      auto arc = circular_arc(2.5, 0.7, sweep, segments, 1, -2, 3);
      const double end = segments;
      EXPECT_NEAR(arclength(arc->cv, 0, end, &rc), 2.5 * sweep, 1e-9) << sweep << " in " << segments;
      ASSERT_EQ(rc, 0);
      // A part of it: one whole piece has a known share of the sweep.
      EXPECT_NEAR(arclength(arc->cv, 1, 2, &rc), 2.5 * sweep / segments, 1e-9);
    }
  // The classic quarter: weights 1, sqrt(2)/2, 1, well within the default accuracy.
  TestCurve quarter(3, {1, 0, 0, 1, 1, 0, 0, 1, 0}, {0, 0, 0, 1, 1, 1}, {1, std::sqrt(0.5), 1});
  EXPECT_NEAR(arclength(quarter.cv, 0, 1, &rc), M_PI / 2, 1e-12);
}

TEST(ArcLength, AgreesWithQuadratureOnRandomCurves) {
  TolScope accuracy(15, 1e-9);
  std::mt19937 rng(131);
  for (int trial = 0; trial < 40; ++trial) {
    const int order = 2 + trial % 5, n = order + trial % 7;
    const bool rational = trial % 3 == 0, clamped = trial % 4 != 1;
    auto c = random_curve(rng, order, n, rational, clamped, trial % 2 ? order - 1 : 1);
    std::uniform_real_distribution<double> ud(c->start(), c->end());
    double a = ud(rng), b = ud(rng);
    if (trial % 5 == 0) a = c->start(), b = c->end();
    int rc = 0;
    const double ours = arclength(c->cv, a, b, &rc);
    ASSERT_EQ(rc, 0) << trial;
    const double ref = reference_length(c->cv, a, b);
    EXPECT_NEAR(ours, ref, 1e-8 * std::fmax(1.0, ref)) << "trial " << trial;
    // The interval given the other way round.
    EXPECT_NEAR(arclength(c->cv, b, a, &rc), ours, 1e-12 * std::fmax(1.0, ref));
  }
}

// Spans whose speed nearly vanishes inside them, where several quadrature rules in a row agree with each other
// while all of them miss: at the library's own length tolerance and at a finer one asked of the whole curve.
TEST(ArcLength, NearlyVanishingSpeedHoldsTheAskedAccuracy) {
  struct Row {
    const char *name;
    int order;
    std::vector<double> poles, knots;
  };
  const double p = -8.625;
  const Row rows[] = {
      {"two rules agree within tol, both miss by twice it", 8,
       {2, 9, 1, 0, -11.875, 13.625, 4, 7, -15, -15, 4, 1, 8, 4, 2, 9, 1, 0, -11.875, 13.625, 1.5, -15, -15, -15, -15,
        -15, -15, -15, -15, -15},
       {3, 3, 3, 3, 3, 3, 3, 3, 7.5, 12.25, 18, 18, 18, 18, 18, 18, 18, 18}},
      {"a dip just inside a span end, missed by every rule", 8,
       {-9.125, 0, 0, 3, p, p, p, p, p, p, p, -12.625, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p, p},
       {3, 3, 3, 3, 3, 3, 3, 3, 3.125, 3.3125, 4.84375, 4.84375, 4.84375, 4.84375, 4.84375, 4.84375, 4.84375,
        4.84375}},
  };
  for (const Row &r : rows) {
    TestCurve c(r.order, r.poles, r.knots);
    const double a = r.knots.front(), b = r.knots.back(), ref = reference_length(c.cv, a, b, 1024);
    int rc = 0;
    EXPECT_NEAR(arclength(c.cv, a, b, &rc), ref, BStoltab[15]) << r.name;
    EXPECT_EQ(rc, 0) << r.name;
    double len = 0;
    BSarclg3ds(&c.cv, 1e-6, &len, &rc);
    EXPECT_EQ(rc, 0) << r.name;
    EXPECT_NEAR(len, ref, 1e-6) << r.name;
  }
}

// One quintic span whose weights run from 0.0016 to 135: a pair of the weight's roots lies 0.03 beside the
// parameter range near its start, and the speed peaks there between the nodes of every rule of the ladder, which
// agreed on 1.1278830.
TEST(ArcLength, WeightNearlyVanishingBesideTheRange) {
  TestCurve c(6,
              {0.24471293066199371, 0.55034976591219276, 0, 0.43445570869519906, 0.04434241836573205, 0,
               0.057277066937312, 0.39579594590643963, 0, 0.41521999410217686, 0.99335776068811321, 0,
               0.93422902305649624, 0.77910152181944559, 0, 0.78090364124065093, 0.43471339188511615, 0},
              {0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1},
              {0.012031978256035251, 0.0069110598642844615, 0.0037788956392645124, 22.836451879092632,
               0.0016239961054716299, 135.18030862141563});
  int rc = 0;
  EXPECT_NEAR(arclength(c.cv, 0, 1, &rc), 1.1262129282289906, BStoltab[15]);
  EXPECT_EQ(rc, 0);
  TolScope accuracy(15, 1e-12);
  EXPECT_NEAR(arclength(c.cv, 0, 1, &rc), 1.1262129282289906, 1e-12);
}

// Pieces of curves that run nearly all their way within a sliver of the parameter beside a pole of tiny weight (see
// SqueezedCurve), ending anywhere in the sliver or beside it: each end is read within its own parameter tolerance,
// never within the curve's knot tolerance, which spans the sliver (the length up to a point 1e-7 before the end was
// the length up to the end). The lengths hold dist_tol at each end beside the accuracy asked, against the exact
// lengths, for parabola arcs, quarter circles and straight legs, squeezed at an end, at the start and at a knot,
// at the origin, far out and small.
TEST(ArcLength, PiecesEndingInASqueezedStretch) {
  TolScope accuracy(15, 1e-9);
  const double tol = 2 * BStoltab[1] + 1e-9;
  for_each_squeezed([tol](const SqueezedCurve &sq, double at, const std::string &what) {
    const double first = sq.curve->start(), last = sq.curve->end();
    std::vector<double> ends = {first, last, (first + last) / 2};
    for (const double d : {1e-9, 1e-7, 3e-7, 1e-6, 1e-5})
      for (const double side : {-1.0, 1.0})
        if (at + side * d > first && at + side * d < last) ends.push_back(at + side * d);
    for (const double a : ends)
      for (const double b : ends) {
        if (!(a < b)) continue;
        int rc = 0;
        EXPECT_NEAR(arclength(sq.curve->cv, a, b, &rc), sq.length(a, b), tol) << what << ": from " << a << " to " << b;
        EXPECT_EQ(rc, 0);
      }
  });
}

// A span that runs to a stop at 2.4e35 from the rest of its poles (equal weights of either sign are one curve):
// near the stop its speed is all rounding, on which no two rules agree by less; the rules settle within it
// instead of halving towards the stop for seconds.
TEST(ArcLength, SpeedLostInRoundingSettles) {
  const double x = -1.4654142350686347e36 / -6.125, y = 37.515625 / -6.125;
  std::vector<double> poles = {x, y, y};
  for (int i = 1; i < 6; ++i) poles.insert(poles.end(), {y, y, y});
  TestCurve c(4, poles, {-6.125, -3.90625, -1.6875, 0.53125, 2.75, 4.96875, 7.1875, 9.40625, 11.625, 19.59375},
              std::vector<double>(6, -6.125));
  static int halvings = 0;
  HookGuard count([](const char *name, int *) { halvings += std::strcmp(name, "bspolhalves") == 0; });
  double len = 0;
  int rc = 0;
  BSarclg4ds(&c.cv, 1e-6, &len, &rc);
  EXPECT_EQ(rc, 0);
  // From the stop's side of the first span: the curve runs along x, monotonically, to where it comes to rest.
  double a[3], b[3];
  BScveval_n(&c.cv, c.start(), 0, a, &rc);
  BScveval_n(&c.cv, c.knots[4], 0, b, &rc);
  EXPECT_NEAR(len, std::fabs(a[0] - b[0]), 1e-12 * std::fabs(a[0]));
  EXPECT_LT(halvings, 1000);
}

TEST(ArcLength, PlanarCurveTiltedIntoSpaceKeepsItsLength) {
  TolScope accuracy(15, 1e-10);
  std::mt19937 rng(7);
  auto flat = random_curve(rng, 4, 8, true, true);
  for (int i = 0; i < flat->n(); ++i) flat->poles[3 * i + 2] = 0;
  // Rotate about the axis (1, 1, 0)/sqrt(2) by 0.9 radians and move.
  const double c = std::cos(0.9), s = std::sin(0.9), h = std::sqrt(0.5);
  const double R[9] = {c + h * h * (1 - c), h * h * (1 - c), h * s, h * h * (1 - c), c + h * h * (1 - c), -h * s,
                       -h * s, h * s, c};
  std::vector<double> moved(flat->poles);
  for (int i = 0; i < flat->n(); ++i)
    for (int r = 0; r < 3; ++r) {
      double v = 0;
      for (int k = 0; k < 3; ++k) v += R[3 * r + k] * flat->poles[3 * i + k];
      moved[3 * i + r] = v + (r + 1) * flat->weights[i];  // a translation, weighted like the poles
    }
  TestCurve tilted(4, std::vector<double>(3 * flat->n()), flat->knots, flat->weights);
  tilted.poles = moved;
  tilted.cv.poles = tilted.poles.data();
  int rc = 0;
  const double a = flat->start(), b = flat->end();
  EXPECT_NEAR(arclength(tilted.cv, a, b, &rc), arclength(flat->cv, a, b, &rc), 1e-9);
  EXPECT_NEAR(arclength(flat->cv, a, b, &rc), reference_length(flat->cv, a, b), 1e-9);
}

TEST(ArcLength, ClosedCurveMeasuresTheArcThroughTheGivenParameter) {
  TolScope accuracy(15, 1e-10);
  auto circle = circular_arc(1, 0, 2 * M_PI, 4);
  circle->cv.phy_closed = 1;
  int rc = 0;
  BSboolean status = BSFALSE;
  double len = 0, a = 1, b = 2, inside = 1.5, outside = 3.5, before = 0.5;
  BSarclen(&rc, &status, &circle->cv, &a, &b, &inside, &len);
  EXPECT_EQ(status, BSTRUE);
  EXPECT_NEAR(len, M_PI / 2, 1e-9);
  BSarclen(&rc, &status, &circle->cv, &b, &a, &outside, &len);
  EXPECT_NEAR(len, 3 * M_PI / 2, 1e-9);
  BSarclen(&rc, &status, &circle->cv, &a, &b, &before, &len);
  EXPECT_NEAR(len, 3 * M_PI / 2, 1e-9);
  EXPECT_EQ(circle->cv.phy_closed, 1);
  // BSarclength goes through the midpoint: the inner arc.
  EXPECT_NEAR(arclength(circle->cv, 0.5, 3.5, &rc), 3 * M_PI / 2, 1e-9);
}

TEST(ArcLength, FailuresKeepTheCurveAndReportStatus) {
  // 200 poles: the cut pieces need heap scratch, and the first heap request fails.
  std::mt19937 rng(9);
  auto big = random_curve(rng, 4, 200, false, true);
  big->cv.phy_closed = 1;
  int rc = 0;
  BSboolean status = BSTRUE;
  double len = 0, a = big->start() + 1, b = big->end() - 1, mid = (a + b) / 2;
  BSallocfailat(1);
  BSarclen(&rc, &status, &big->cv, &a, &b, &mid, &len);
  BSallocfailat(0);
  EXPECT_EQ(rc, 33);
  EXPECT_EQ(status, BSFALSE);
  EXPECT_EQ(len, DBL_MAX);
  EXPECT_EQ(big->cv.phy_closed, 1) << "restored on the failure path too";
  EXPECT_EQ(BSscratchheapblocks(), 0);
  // Whole-curve routines: the wrong kind of curve.
  BSarclg4ds(&big->cv, 1e-6, &len, &rc);
  EXPECT_EQ(rc, -2);
  EXPECT_EQ(BSarclength(&rc, nullptr, &a, &b, &len), BSFALSE);
  EXPECT_EQ(rc, 3);
}

TEST(ArcLength, EndKnotOfHighMultiplicityIsNotReadPastTheArrays) {
  // Order 3 with four end knots: the last span is empty and the skip must stop at the end of the knot vector
  // (the vector holds exactly n + k knots, so a step too far is caught by the address checker).
  std::vector<double> poles = {0, 0, 0, 1, 1, 0, 2, 0, 0, 9, 9, 9};
  TestCurve c(3, poles, {0, 0, 0, 1, 1, 1, 1});
  double len = 0;
  int rc = 0;
  BSarclg3ds(&c.cv, 1e-10, &len, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NEAR(len, reference_length(c.cv, 0, 1), 1e-9);
}

TEST(ArcLength, SpanPolynomialAndPlaneFrame) {
  std::mt19937 rng(17);
  auto c = random_curve(rng, 5, 9, false, true, 2);
  const int n = c->n(), d = c->order() - 1;
  std::vector<double> blocks(3 * n), coef(3 * (d + 1));
  for (int i = 0; i < n; ++i)
    for (int k = 0; k < 3; ++k) blocks[k * n + i] = c->poles[3 * i + k];
  for (int span = d; span < n; ++span) {
    const double a = c->knots[span], b = c->knots[span + 1];
    if (!(b > a)) continue;
    int rc = 0;
    BSspantocan(d, n, 3, blocks.data(), c->knots.data(), span, coef.data(), &rc);
    ASSERT_EQ(rc, 0);
    for (double s : {-1.0, -0.3, 0.5, 1.0}) {
      double p[3];
      ref_point(*c, (a + b) / 2 + s * (b - a) / 2, p);
      for (int k = 0; k < 3; ++k) {
        double v = 0;
        for (int j = d; j >= 0; --j) v = v * s + coef[k * (d + 1) + j];
        EXPECT_NEAR(v, p[k], 1e-10 * std::fmax(1.0, std::fabs(p[k])));
      }
    }
  }
  for (auto normal : {std::vector<double>{0, 0, 1}, std::vector<double>{0.6, 0, -0.8},
                      std::vector<double>{1 / std::sqrt(3.0), 1 / std::sqrt(3.0), -1 / std::sqrt(3.0)}}) {
    double e1[3], e2[3];
    BSplnframe(normal.data(), e1, e2);
    auto dot = [](const double *x, const double *y) { return x[0] * y[0] + x[1] * y[1] + x[2] * y[2]; };
    EXPECT_NEAR(dot(e1, e1), 1, 1e-15);
    EXPECT_NEAR(dot(e2, e2), 1, 1e-15);
    EXPECT_NEAR(dot(e1, e2), 0, 1e-15);
    EXPECT_NEAR(dot(e1, normal.data()), 0, 1e-15);
    EXPECT_NEAR(e1[1] * e2[2] - e1[2] * e2[1], normal[0], 1e-15) << "right-handed";
  }
  // Rational poles in the frame: the weighted pole less the weighted origin, weights appended.
  TestCurve r(2, {1, 2, 3, 4, 5, 6}, {0, 0, 1, 1}, {2, 0.5});
  const double origin[3] = {1, 1, 1}, e1[3] = {1, 0, 0}, e2[3] = {0, 0, 1};
  double out[6];
  BSprjpolpl(&r.cv, origin, e1, e2, out);
  EXPECT_EQ(std::vector<double>(out, out + 6), (std::vector<double>{0, 1.5, 4, 2.5, 2, 0.5}));
}

}  // namespace

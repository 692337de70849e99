#include <gtest/gtest.h>

#include <cfloat>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/distance.h"
#include "bspline/intersect.h"
#include "bspline/intersect/span_end_foot.h"
#include "bspline/knots.h"
#include "tests/bspline/dense_span.h"
#include "tests/bspline/knots_fixtures.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();
const double kS = std::sqrt(0.5);

int g_spans = 0, g_orders = 0, g_bounds = 0;
void count_calls(const char *name, int *) {
  g_spans += std::strcmp(name, "bsmdptbzcv") == 0;
  g_orders += std::strcmp(name, "bsdcdbsp12") == 0;
  g_bounds += std::strcmp(name, "bsminmaxbsc") == 0;
}

// A loose curve: component-major poles (weighted) and knots.
struct Loose {
  int degree, dim;
  BSboolean rational;
  std::vector<double> poles, knots;
  int n() const { return static_cast<int>(knots.size()) - degree - 1; }
};

struct Found {
  double bound, dist, par, pt[3];
  int rc;
};

Found nearest(const Loose &c, const std::vector<double> &p, double tol = 1e-9, double bound = DBL_MAX) {
  Found f{bound, DBL_MAX, -7, {-7, -7, -7}, 99};
  BSmdptbscv(c.degree, c.n(), c.dim, c.rational, c.poles.data(), c.knots.data(), 1, p.data(), tol, &f.bound,
             &f.dist, &f.bound, &f.dist, &f.par, f.pt, &f.rc);
  return f;
}

// The polylines (0,0) (1,0) (2,0) (2,1) and (0,1) (0,0) (3,0), and a cubic of one span over [2, 5].
const Loose kPolyline{1, 2, 0, {0, 1, 2, 2, 0, 0, 0, 1}, {0, 0, 1, 2, 3, 3}};
const Loose kCorner{1, 2, 0, {0, 0, 3, 1, 0, 0}, {0, 0, 1, 2, 2}};
const Loose kCubic{3, 3, 0, {0, 1, 2, 3, 0, 2, 2, 0, 0, 0, 0, 0}, {2, 2, 2, 2, 5, 5, 5, 5}};
// Rational quadratic arcs of radius 1 about the origin: a quarter, a whole circle in four quarters.
const Loose kQuarter{2, 2, 1, {1, kS, 0, 0, kS, 1, 1, kS, 1}, {0, 0, 0, 1, 1, 1}};
const Loose kCircle{2, 2, 1,
                    {1, kS, 0, -kS, -1, -kS, 0, kS, 1, 0, kS, 1, kS, 0, -kS, -1, -kS, 0, 1, kS, 1, kS, 1, kS, 1,
                     kS, 1},
                    {0, 0, 0, .25, .25, .5, .5, .75, .75, 1, 1, 1}};
// A quadratic whose range starts on a triple knot: the curve starts at its second pole, (0, 0); the first pole,
// (0, -3), ends the span before the range.
const Loose kJumpStart{2, 2, 0, {0, 0, 1, 2, -3, 0, 1, 0}, {-1, 0, 0, 0, 1, 1, 1}};
// An unclamped cubic whose range ends a hair below 0: the last span's length absorbs its end, so a foot just
// short of it maps to 0 unless held to the span.
const Loose kTinyEnd{3, 3, 0,
                     {6.875, 6.875, 6.875, 6.875, 6.875, 6.875, 6.875, -14.875, 6.875, 6.875, 6.875, 6.875, 6.875,
                      6.875, 6.875, -15, 6.875, 6.875, 6.875, 6.875, 6.875, 6.875, -15, -15},
                     {-7.75, -6.625, -6.59375, -6.59375, -6.59375, -6.59375, -6.5625, -6.5625, -5.3446876474542821e-79,
                      6.875, 6.875, 6.875}};

// An unclamped cubic of one span that runs out to y = 1e5 and back, passing within 1.2e-6 of its last pole just
// before its end: over the last pieces its first two Legendre coefficients stand nearly parallel.
const Loose kFarSwing{3, 3, 0, {0, 0, 1.875, 1.875, -2, 1e5, 1.75, 1.875, 6, 0, 1.875, 1.875},
                      {-15, -15, -15, -14.75, -11, -11, -8.75, -5.5}};

TEST(PointDistance, NearestPoints) {
  struct Case {
    const char *what;
    const Loose &curve;
    std::vector<double> point;
    double bound, dist, par;
    std::vector<double> foot;
    int rc, spans;  // spans: solved Bezier spans (-1: not counted); a single span orders no halves
  } cases[] = {
      {"a vertex of a polyline is exact, with its knot", kPolyline, {2.3, -0.4}, DBL_MAX, 0.5, 2, {2, 0}, 0, -1},
      {"a tie of an interior point and an end goes to the end", kCorner, {1, 1}, DBL_MAX, 1, 0, {0, 1}, 0, -1},
      {"a bound below every distance by more than tol/2", kPolyline, {0, 3}, 1.5, DBL_MAX, -7, {-7, -7}, -12, -1},
      {"one Bezier span, its single foot found directly, its parameter mapped to [2, 5]", kCubic, {1.5, 3, 0},
       DBL_MAX, 1.5, 3.5, {1.5, 1.5, 0}, 0, 0},
      {"the centre of a whole circle: the arc's middle, by the closed form", kCircle, {0, 0}, DBL_MAX, 1, 0.5,
       {-1, 0}, 0, 0},
      {"off a quarter arc's end ray: the general search takes the end", kQuarter, {2, -0.02}, DBL_MAX,
       std::hypot(1, 0.02), 0, {1, 0}, 0, -1},
      {"inside a quarter arc: the closed form", kQuarter, {0.3, 0.3}, DBL_MAX, 1 - std::hypot(.3, .3), 0.5,
       {kS, kS}, 0, 0},
      {"a pole before the range is no candidate", kJumpStart, {0, -3}, DBL_MAX, 3, 0, {0, 0}, 0, -1},
      {"a foot at the end of a range ending a hair below 0", kTinyEnd, {-15, -15, -15}, DBL_MAX,
       24.263898714414029, 0, {}, 0, -1},
      {"a pass just before the end beats the end, on pieces too skewed for a box", kFarSwing, {1.875, 1.875, 1.875},
       DBL_MAX, 1.2454267276e-6, -11.0015328077232, {}, 0, -1},
  };
  HookGuard hook(count_calls);
  for (const Case &c : cases) {
    g_spans = g_orders = 0;
    const Found f = nearest(c.curve, c.point, 1e-9, c.bound);
    EXPECT_EQ(f.rc, c.rc) << c.what;
    EXPECT_NEAR(f.dist, c.dist, 1e-12) << c.what;
    EXPECT_NEAR(f.par, c.par, 1e-12) << c.what;
    if (f.rc == 0) {
      EXPECT_TRUE(f.par >= c.curve.knots[c.curve.degree] && f.par <= c.curve.knots[c.curve.n()]) << c.what;
    }
    for (size_t k = 0; k < c.foot.size(); ++k) EXPECT_NEAR(f.pt[k], c.foot[k], 1e-12) << c.what;
    if (c.spans >= 0) { EXPECT_EQ(g_spans, c.spans) << c.what; }
    if (c.spans == 1) {
      EXPECT_EQ(g_orders, 0) << c.what;
    }
  }
}

TEST(PointDistance, RefusedInput) {
  // missing: which per-point array is absent (bound in, distance in, bound out, distance out, parameter, point).
  struct Case {
    const char *what;
    int degree, n, npts;
    double point0, tol, bound;
    int missing, rc;
  } cases[] = {
      {"degree 0", 0, 4, 1, 0, 1e-9, DBL_MAX, -1, -2},
      {"n below degree + 1", 3, 3, 1, 0, 1e-9, DBL_MAX, -1, -2},
      {"negative count", 3, 4, -1, 0, 1e-9, DBL_MAX, -1, -2},
      {"NaN point", 3, 4, 1, kNaN, 1e-9, DBL_MAX, -1, -2},
      {"infinite tolerance", 3, 4, 1, 0, kInf, DBL_MAX, -1, -2},
      {"NaN bound", 3, 4, 1, 0, 1e-9, kNaN, -1, -2},
      {"infinite bound", 3, 4, 1, 0, 1e-9, kInf, -1, -2},
      {"no points", 3, 4, 0, 0, 1e-9, DBL_MAX, -1, 0},
      {"a point whose squared distances overflow", 3, 4, 1, 1e200, 1e-9, DBL_MAX, -1, -2},
      {"no bounds", 3, 4, 1, 0, 1e-9, DBL_MAX, 0, -2},
      {"no starting distances", 3, 4, 1, 0, 1e-9, DBL_MAX, 1, -2},
      {"no room for the bounds", 3, 4, 1, 0, 1e-9, DBL_MAX, 2, -2},
      {"no room for the distances", 3, 4, 1, 0, 1e-9, DBL_MAX, 3, -2},
      {"no room for the parameters", 3, 4, 1, 0, 1e-9, DBL_MAX, 4, -2},
      {"no room for the points", 3, 4, 1, 0, 1e-9, DBL_MAX, 5, -2},
      {"no points, no arrays", 3, 4, 0, 0, 1e-9, DBL_MAX, 6, 0},
  };
  using Entry = decltype(&BSmdptbscv);
  for (const Case &c : cases)
    for (const Entry entry : {&BSmdptbscv, &BSmdptintpls}) {
      const double p[3] = {c.point0, 1, 0};
      double bound = c.bound, dist = 5, par = 6, pt[3] = {7, 7, 7}, bo = 8, d_in = 5;
      double *arrays[6] = {&bound, &d_in, &bo, &dist, &par, pt};
      for (int a = 0; a < 6; ++a)
        if (a == c.missing || c.missing == 6) arrays[a] = nullptr;
      int rc = 99;
      entry(c.degree, c.n, 3, 0, kCubic.poles.data(), kCubic.knots.data(), c.npts, p, c.tol, arrays[0], arrays[1],
            arrays[2], arrays[3], arrays[4], arrays[5], &rc);
      const std::string what = std::string(c.what) + (entry == &BSmdptbscv ? " (search)" : " (poles)");
      EXPECT_EQ(rc, c.rc) << what;
      EXPECT_EQ(bo, 8) << what;
      EXPECT_EQ(dist, 5) << what;
      EXPECT_EQ(par, 6) << what;
      EXPECT_EQ(pt[0], 7) << what;
      if (entry != &BSmdptbscv || c.missing >= 0) continue;
      double d2 = 5, q[3], t = 6;
      BSmdptsbscv(c.degree, c.n, 3, 0, kCubic.poles.data(), kCubic.knots.data(), c.npts, p, c.tol, &d2, q, &t, &rc);
      EXPECT_EQ(rc, std::isfinite(c.bound) ? c.rc : 0) << what;  // no bound to refuse
      if (rc != 0) { EXPECT_EQ(t, 6) << what; }
    }
  // Poles that lie beyond 2^500 as points (weights of 1e-300) are refused as such a point is: the search, whose
  // bounds all overflow, would halve everywhere to its narrowest pieces.
  const Loose far{2, 3, 1, {1, 0, 0, 0, 1, 0, 0, 0, 1, 1e-300, 1e-300, 1e-300}, {0, 0, 0, 1, 1, 1}};
  EXPECT_EQ(nearest(far, {0, 0, 0}).rc, -2);
  // A Bezier form over the block cap answers -13; the cap comes back.
  bstest::set_block_cap(8);
  EXPECT_EQ(nearest(kCubic, {0, 0, 0}).rc, -13);
  bstest::set_block_cap(0);
  EXPECT_EQ(nearest(kCubic, {0, 0, 0}).rc, 0);
}

TEST(PointDistance, InterpolatedPoleCandidates) {
  // kCorner's poles (0,1) (0,0) (3,0) stand at parameters 0, 1, 2. A pole is taken within the bound (DBL_MAX: any);
  // a point none reaches keeps what it had; the call answers -12 only when no point took one.
  struct Case {
    const char *what;
    double p[4], bound[2];
    int rc;
    double par[2];
  } cases[] = {
      {"each point takes its nearest pole", {0.1, -0.2, 2.5, 0.5}, {DBL_MAX, DBL_MAX}, 0, {1, 2}},
      {"one point beyond its bound", {0.1, -0.2, 2.5, 0.5}, {DBL_MAX, 0.1}, 0, {1, -7}},
      {"no point within its bound", {0.1, -0.2, 2.5, 0.5}, {0.1, 0.1}, -12, {-7, -7}},
  };
  for (const Case &c : cases) {
    double bound[2] = {c.bound[0], c.bound[1]}, dist[2] = {DBL_MAX, DBL_MAX}, par[2] = {-7, -7}, pt[4] = {};
    int rc = 99;
    BSmdptintpls(kCorner.degree, kCorner.n(), 2, 0, kCorner.poles.data(), kCorner.knots.data(), 2, c.p, 1e-9, bound,
                 dist, bound, dist, par, pt, &rc);
    EXPECT_EQ(rc, c.rc) << c.what;
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(par[i], c.par[i]) << c.what << " point " << i;
      if (c.par[i] >= 0) { EXPECT_EQ(bound[i], dist[i]) << c.what << " point " << i; }
    }
  }
}

TEST(PointDistance, EndParameters) {
  struct Case {
    const char *what;
    double lo, hi;
    BSboolean closed;
    std::vector<double> in, out;
  } cases[] = {
      {"one value is left alone", 0, 1, 1, {1e-12}, {1e-12}},
      {"values within the tolerance snap to the ends", 0, 1, 0, {1e-12, 0.5, 1 - 1e-12}, {0, 0.5, 1}},
      {"seam after rising values: the end", 0, 1, 1, {0.6, 0.8, 1e-12}, {0.6, 0.8, 1}},
      {"seam after falling values: the start", 0, 1, 1, {0.4, 0.2, 1 - 1e-12}, {0.4, 0.2, 0}},
      {"seam first, the next value past the middle", 0, 1, 1, {1e-12, 0.7}, {1, 0.7}},
      {"the same on [2, 3]: rising", 2, 3, 1, {2.6, 2.8, 2 + 1e-12}, {2.6, 2.8, 3}},
      {"on [2, 3] the middle is 2.5", 2, 3, 1, {2 + 1e-12, 2.3}, {2, 2.3}},
  };
  for (const Case &c : cases) {
    std::vector<double> p = c.in;
    int rc = 99;
    BSchkuvpars(0, c.lo, c.hi, 0, 0, c.closed, 0, 1e-9, static_cast<int>(p.size()), p.data(), &rc);
    EXPECT_EQ(rc, 0) << c.what;
    for (size_t i = 0; i < p.size(); ++i) EXPECT_EQ(p[i], c.out[i]) << c.what << " value " << i;
  }
}

TEST(PointDistance, CircleClosedForm) {
  // The half-angle tangent of a direction straight back (theta = pi) is flagged.
  BSboolean flag = 9;
  double t = 0;
  BShlfangtan(1, -1, 0, &flag, &t);
  EXPECT_EQ(flag, 1);
  // Two segments whose weights differ cannot be inverted.
  const std::vector<double> two = {1, 1, 0, -1, -1, 0, 1, 1, 1, 0, 1, 0.8, 1, 0.6, 1};
  const double knots[] = {0, 0, 0, .5, .5, 1, 1, 1};
  double par = -5;
  int rc = 0;
  BSinvbspcrc(0.1, 5, knots, two.data(), &par, &rc);
  EXPECT_EQ(rc, -1);
  EXPECT_EQ(par, -5);
  // Along the whole circle the closed form inverts the parameter: the point at u comes back with u.
  for (double u : {0.0, 0.1, 0.3, 0.5, 0.62, 0.9, 1.0}) {
    const double th = 2 * M_PI * u;
    const Found f = nearest(kCircle, {2 * std::cos(th), 2 * std::sin(th)});
    EXPECT_NEAR(f.dist, 1, 1e-14) << u;
    EXPECT_NEAR(std::atan2(f.pt[1], f.pt[0]), std::atan2(std::sin(th), std::cos(th)), 1e-14) << u;
  }
}

// A curve of circular arcs in space, or a polynomial one, is answered span by span where one span is clearly
// nearest (an arc in closed form, a span whose foot is single by Newton steps, any other by its span solver); the
// answers match the search's, and near ties between spans, the axis and bounds within reach go to the search.
TEST(PointDistance, SpanFeetAgainstTheSearch) {
  Loose circle3{2, 3, 1, kCircle.poles, kCircle.knots};
  circle3.poles.insert(circle3.poles.begin() + 18, 9, 0.0);
  // The same circle tilted about the x axis by 30 degrees, and a quarter arc whose middle weight is no cosine.
  Loose tilted = circle3;
  const double c30 = std::cos(M_PI / 6), s30 = std::sin(M_PI / 6);
  for (int i = 0; i < 9; ++i) {
    const double y = circle3.poles[9 + i];
    tilted.poles[9 + i] = y * c30, tilted.poles[18 + i] = y * s30;
  }
  const Loose squashed{2, 3, 1, {1, 0.6, 0, 0, 0.6, 1, 0, 0, 0, 1, 0.6, 1}, {0, 0, 0, 1, 1, 1}};
  const double tq = 2 * M_PI * 0.25, tn = 2 * M_PI * (0.25 + 1e-9);
  // y = x^2 over [-1, 1] as one quadratic span, and as two (split at x = 0).
  const Loose parabola{2, 2, 0, {-1, 0, 1, 1, -1, 1}, {0, 0, 0, 1, 1, 1}};
  const Loose parabola2{2, 2, 0, {-1, -0.5, 0, 0.5, 1, 1, 0, 0, 0, 1}, {0, 0, 0, 1, 1, 2, 2, 2}};
  struct Case {
    const char *what;
    const Loose &curve;
    std::vector<double> point;
    double bound;
    bool direct;  // solved span by span, without the branch-and-bound over the curve
  } cases[] = {
      {"outside, in a quarter's middle", circle3, {2, 1.5, 0}, DBL_MAX, true},
      {"inside, near the start of the range", circle3, {0.5, -0.01, 0}, DBL_MAX, true},
      {"above the plane, off the axis", circle3, {-0.3, -0.2, 4}, DBL_MAX, true},
      {"on the circle", circle3, {std::cos(2.0), std::sin(2.0), 0}, DBL_MAX, true},
      {"tilted circle, a point off its plane", tilted, {1, 1, 1}, DBL_MAX, true},
      {"on the axis: every point ties", circle3, {0, 0, 3}, DBL_MAX, false},
      {"the centre itself", circle3, {0, 0, 0}, DBL_MAX, false},
      {"the foot on a knot: two spans tie", circle3, {2 * std::cos(tq), 2 * std::sin(tq), 0}, DBL_MAX, false},
      {"the foot just past a knot: within the tolerance of the end", circle3, {2 * std::cos(tn), 2 * std::sin(tn), 0},
       DBL_MAX, false},
      {"a bound below the distance is not beaten", circle3, {2, 1.5, 0}, 1.4, false},
      {"a bound just above the distance is left to the search", circle3, {3, 4, 0}, 4 + 1e-12, false},
      {"a bound well above the distance", circle3, {3, 4, 0}, 4.5, true},
      {"no circular arc", squashed, {0.2, 0.3, 0}, DBL_MAX, false},
      {"a polyline, the foot inside its first leg", kPolyline, {0.5, 0.3}, DBL_MAX, true},
      {"a polyline, the foot on a knot: two legs tie", kPolyline, {1, 0.3}, DBL_MAX, false},
      {"a polyline, two legs at one distance", kPolyline, {1.5, 0.5}, DBL_MAX, false},
      {"a polyline, a bound below the distance", kPolyline, {0.5, 0.3}, 0.2, false},
      {"a cubic, above its arch", kCubic, {1.5, 3, 0}, DBL_MAX, true},
      {"a cubic, far below: both ends at one distance", kCubic, {1.5, -3, 0}, DBL_MAX, true},
      {"a cubic, below and to one side", kCubic, {1.2, -3, 0}, DBL_MAX, true},
      {"a cubic, off its plane", kCubic, {2.5, 0.5, -2}, DBL_MAX, true},
      // Beyond the centre of curvature of a parabola's vertex: two feet, one on each side.
      {"a parabola, two feet at one distance", parabola, {0, 3}, DBL_MAX, true},
      {"a parabola, two feet, one nearer", parabola, {0.1, 3}, DBL_MAX, true},
      {"a parabola of two spans, two feet on either side of the knot", parabola2, {0.05, 3}, DBL_MAX, true},
  };
  HookGuard hook(count_calls);
  for (const Case &c : cases) {
    g_bounds = 0;
    const Found fast = nearest(c.curve, c.point, 1e-10, c.bound);
    EXPECT_EQ(g_bounds == 0, c.direct) << c.what;
    const bool before = bstest::set_global_feet(true);
    const Found slow = nearest(c.curve, c.point, 1e-10, c.bound);
    bstest::set_global_feet(before);
    EXPECT_EQ(fast.rc, slow.rc) << c.what;
    EXPECT_NEAR(fast.dist, slow.dist, 1e-12) << c.what;
    // Distances agree to rounding; a foot is fixed only to about the square root of that where the distance is
    // flat (a point well off the curve's plane).
    EXPECT_NEAR(fast.par, slow.par, 1e-7) << c.what;
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(fast.pt[k], slow.pt[k], 1e-7) << c.what;
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Span by span

struct Many {
  std::vector<double> dist, pt, par;
  int rc = 99;
  Many(const Loose &c, const std::vector<double> &pts, double tol) {
    const int np = static_cast<int>(pts.size()) / c.dim;
    dist.assign(np, -1);
    pt.assign(pts.size(), -1);
    par.assign(np, -1);
    BSmdptsbscv(c.degree, c.n(), c.dim, c.rational, c.poles.data(), c.knots.data(), np, pts.data(), tol,
                dist.data(), pt.data(), par.data(), &rc);
  }
};

TEST(SpanPointDistance, Results) {
  const Loose quarter3{2, 3, 1, {1, kS, 0, 0, kS, 1, 0, 0, 0, 1, kS, 1}, {0, 0, 0, 1, 1, 1}};
  // Two points on one span give what two separate calls give (nothing is left over from the first point), and
  // what the general search gives at a fine tolerance.
  const std::vector<double> two = {1.5, 3, 0, 0.2, -0.5, 0.1};
  const Many both(kCubic, two, 1e-12);
  ASSERT_EQ(both.rc, 0);
  for (int i = 0; i < 2; ++i) {
    const Many one(kCubic, {two.begin() + 3 * i, two.begin() + 3 * i + 3}, 1e-12);
    EXPECT_EQ(both.dist[i], one.dist[0]);
    EXPECT_EQ(both.par[i], one.par[0]);
    EXPECT_NEAR(both.dist[i], nearest(kCubic, {two.begin() + 3 * i, two.begin() + 3 * i + 3}, 1e-12).dist, 1e-12);
  }
  // Points on the rational arc, inside and outside it: the feet lie on the arc.
  const Many arc(quarter3, {0.5, 0.2, 0, 3, 4, 0, 0.99, 0.01, 0, -1, 2, 0}, 1e-7);
  ASSERT_EQ(arc.rc, 0);
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(std::hypot(arc.pt[3 * i], arc.pt[3 * i + 1]), 1, 1e-9) << i;
  EXPECT_NEAR(arc.dist[1], 4, 1e-9);
  // A point whose foot lies just inside the start takes the start when it is within tol/2 as near.
  // (Its foot is at about u = 2.003, a unit off the curve.)
  const std::vector<double> near_start = {0.897427, -0.441214, 0};
  const Many snap(kCubic, near_start, 1e-2), exact(kCubic, near_start, 1e-9);
  EXPECT_EQ(snap.par[0], 2);
  EXPECT_EQ(snap.pt[0], 0);
  EXPECT_GT(exact.par[0], 2.002);
  EXPECT_LT(exact.dist[0], snap.dist[0]);
  // A span that runs far out and comes back along a line to its end: the foot of a point beside that line lies
  // on a piece flat enough to be taken as a chord thousands of units long, a few units short of the end; the
  // search gives what the general search gives, not the end.
  const Loose spike{3, 3, 0, {-6, -2, 1e5, 1.875, -2, 6, 0, 1.875, 0, 0, 1.875, 1.875}, {0, 0, 0, 0, 1, 1, 1, 1}};
  const Many beside(spike, {6, 2, 0}, 1e-6);
  ASSERT_EQ(beside.rc, 0);
  EXPECT_NEAR(beside.dist[0], nearest(spike, {6, 2, 0}, 1e-6).dist, 1e-9);
  // One that comes back along a line past its end and turns back to it: the last piece lies on its chord's line
  // but runs past the chord's end, where the foot of a point beside the line lies, 2.8e-4 nearer than the end.
  const Loose fold{3, 3, 0, {16386.5, 1.79, 1.83, 1.85, 1.5625, 1.875, 1.875, 1.875, 1.875, 1.875, 1.875, 1.875},
                   {0, 0, 0, 0, 1, 1, 1, 1}};
  // Coming back from farther out, it folds back by less than the tolerance: the last piece passes for its chord,
  // whose nearest point lies on the far side of the fold from the foot.
  const Loose shallow_fold{3, 3, 0,
                           {23786.176075274227, 43.0 / 24, 11.0 / 6, 89.0 / 48, 1.4213709677419355, 1.875, 1.875,
                            1.875, 1.875, 1.875, 1.875, 1.875},
                           {0, 0, 0, 0, 1, 1, 1, 1}};
  // The same, with the point beside the line within the tolerance of the end: the chord's nearest point is put
  // on the end, on the far side of the fold, where a polish stays.
  const Loose fold_at_end{3, 3, 0,
                          {16386.592558628257, 1.8096289752650176, 1.8692579505300355, 1.8744956307898004, 1.5625,
                           1.875, 1.875, 1.875, 1.875, 1.875, 1.875, 1.875},
                          {0, 0, 0, 0, 1, 1, 1, 1}};
  // A cubic that rises 4.4e-4 towards a far point within 2.2e-5 of its start and falls 3e5 away from it, then
  // comes back to end 1.6e-7 nearer than it starts: the first piece flat to the tolerance hides the rise under
  // its chord, whose nearest point is the start, and the end's chord wins by the difference of the ends.
  const Loose hidden_rise{3, 3, 0,
                          {0.25, -15, 4.9406564584124654e-324, 5.758247778363363e-310, -15, -15, -7, -15, -15, -1.75,
                           -300000, -15},
                          {-15, -15, -15, -15, -10.6875, -10.6875, -10.6875, -10.6875}};
  // The same curve weighted (every weight 2) and raised to degree 6 (the general body of the search, past the
  // orders it is built for): the rivals are bounded there with weights and with any order.
  Loose weighted = hidden_rise, raised = hidden_rise;
  weighted.rational = 1;
  for (double &v : weighted.poles) v *= 2;
  weighted.poles.insert(weighted.poles.end(), 4, 2.0);
  raised.poles.resize(3 * 7);
  BSincordbz(3, 3, hidden_rise.poles.data(), 6, raised.poles.data());
  raised.degree = 6;
  raised.knots = {-15, -15, -15, -15, -15, -15, -15, -10.6875, -10.6875, -10.6875, -10.6875, -10.6875, -10.6875,
                  -10.6875};
  // Each search ends short of the curve's end, where the wrong answers lay.
  const std::vector<double> beside_rise = {4.9406564584124654e-324, -7, 199152};
  const std::pair<const Loose *, std::vector<double>> folds[] = {
      {&fold, {1.875, 1.875, 0.75}}, {&shallow_fold, {1.875, 1.875, 0.75}}, {&fold_at_end, {1.875, 1.875, 1.875}},
      {&hidden_rise, beside_rise},   {&weighted, beside_rise},              {&raised, beside_rise}};
  for (const auto &[c, p] : folds) {
    const Many past_end(*c, p, 1e-6);
    ASSERT_EQ(past_end.rc, 0);
    EXPECT_NEAR(past_end.dist[0], nearest(*c, p, 1e-6).dist, 1e-9);
    EXPECT_LT(past_end.par[0], c->knots.back());
  }
  // An order-13 curve whose last five poles coincide: it comes to rest at its end, which lies 9e-5 nearer to the
  // point than a foot inside the span, nearer than the chords could tell apart.
  const Loose rest{12, 3, 0,
                   {-15, -14.75, 1, 0, 1.875, -15, -14.75, -14, 0, 1.875, 1.875, 1.875, 1.875, 1.875,
                    -11, -9.875, 8.875, 3, 1.875, -11, -9.875, 8.875, 3, 1.875, 1.875, 1.875, 1.875, 1.875,
                    -14.375, -14, -14.875, 0, 0, -14.375, 1, -14.875, 0, 1.875, 1.875, 1.875, 1.875, 1.875},
                   {-4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -0.25, 4.5, 4.5, 4.5, 4.5, 4.5, 4.5, 4.5, 4.5,
                    4.5, 4.5, 4.5, 4.5, 4.5}};
  const Many at_rest(rest, {1.875, 0, 1}, 1e-6);
  ASSERT_EQ(at_rest.rc, 0);
  EXPECT_NEAR(at_rest.dist[0], nearest(rest, {1.875, 0, 1}, 1e-6).dist, 1e-9);
  EXPECT_NEAR(at_rest.dist[0], std::sqrt(4.28125), 1e-9);
}

// With many spans, most are passed over by their boxes (singly or a group at a time): none that holds a nearer
// point may be. Each point's distance is the least over every span searched alone without a bound, and its foot
// is the curve point at its parameter. Curves whose far-apart spans come close (a spiral's turns, a curve that
// crosses itself, a closed one), a zigzag with points as near to two legs as to one, and span counts on either side
// of a power of two.
TEST(SpanPointDistance, NoNearerSpanIsPassedOver) {
  auto curve = [](int degree, int dim, BSboolean rational, int spans, auto point_at) {
    // Uniform clamped knots on [0, spans]; the poles sampled from point_at (weights 0.7 .. 1.3 when rational).
    Loose c{degree, dim, rational, {}, {}};
    const int n = spans + degree;
    for (int i = 0; i <= degree; ++i) c.knots.push_back(0);
    for (int i = 1; i < spans; ++i) c.knots.push_back(i);
    for (int i = 0; i <= degree; ++i) c.knots.push_back(spans);
    c.poles.assign(static_cast<std::size_t>(dim + rational) * n, 0);
    for (int i = 0; i < n; ++i) {
      double q[3];
      point_at(static_cast<double>(i) / (n - 1), q);
      const double w = rational ? 1 + 0.3 * std::sin(7.0 * i) : 1;
      for (int k = 0; k < dim; ++k) c.poles[k * n + i] = q[k] * w;
      if (rational) c.poles[dim * n + i] = w;
    }
    return c;
  };
  auto spiral = [](double s, double *q) {
    q[0] = (1 + 4 * s) * std::cos(25 * s), q[1] = (1 + 4 * s) * std::sin(25 * s), q[2] = 0.5 * s;
  };
  auto eight = [](double s, double *q) {
    q[0] = std::sin(4 * M_PI * s), q[1] = std::sin(2 * M_PI * s), q[2] = 0;
  };
  auto ring = [](double s, double *q) { q[0] = std::cos(2 * M_PI * s), q[1] = std::sin(2 * M_PI * s), q[2] = 0; };
  auto zigzag = [](double s, double *q) {
    const double x = 36 * s;
    q[0] = x, q[1] = static_cast<int>(std::lround(x)) % 2, q[2] = 0;
  };
  struct Case {
    const char *what;
    Loose c;
    std::vector<double> points;  // c.dim per point
  } cases[] = {
      {"a spiral of 150 cubic spans", curve(3, 3, 0, 150, spiral), {}},
      {"the spiral rational, 129 spans", curve(3, 3, 1, 129, spiral), {}},
      {"a figure eight of 64 quadratic spans, in the plane", curve(2, 2, 0, 64, eight), {}},
      {"a closed ring of 17 quintic spans", curve(5, 3, 0, 17, ring), {}},
      {"a zigzag of 36 legs", curve(1, 2, 0, 36, zigzag), {}},
      {"three spans", curve(3, 3, 1, 3, ring), {}},
  };
  std::mt19937 rng(127);
  for (Case &k : cases) {
    const Loose &c = k.c;
    const int n = c.n(), nc = c.dim + c.rational, per = nc * (c.degree + 1);
    // Points along the curve (as a fit's data lie), then scattered ones, the origin and far away.
    std::uniform_real_distribution<double> scatter(-6, 6), jitter(-0.3, 0.3);
    for (int i = 0; i <= 200; ++i) {
      double q[3] = {0, 0, 0};
      int rc = 0;
      BSevalbsp(c.degree, n, c.dim, c.rational, c.poles.data(), c.knots.data(), c.knots.back() * i / 200, 0, q, &rc);
      for (int d = 0; d < c.dim; ++d) k.points.push_back(q[d] + (i % 3 == 0 ? jitter(rng) : 0.0));
    }
    for (int i = 0; i < 60; ++i)
      for (int d = 0; d < c.dim; ++d) k.points.push_back(i < 2 ? (i == 0 ? 0.0 : 1e6) : scatter(rng));
    const int np = static_cast<int>(k.points.size()) / c.dim;
    const Many many(c, k.points, 1e-10);
    ASSERT_EQ(many.rc, 0) << k.what;
    // Every span alone.
    std::vector<double> bez(static_cast<std::size_t>(per) * n), breaks(n + 1);
    int segs = 0, rc = 0;
    BSbstobez(c.degree, n, nc, c.knots.data(), c.poles.data(), &segs, bez.data(), breaks.data(), &rc);
    ASSERT_EQ(rc, 0) << k.what;
    for (int i = 0; i < np; ++i) {
      const double *p = &k.points[static_cast<std::size_t>(i) * c.dim];
      double least = DBL_MAX;
      for (int s = 0; s < segs; ++s) {
        double d = 0, q[3], t = 0;
        BSmdptbezcv(c.degree, c.dim, c.rational, &bez[static_cast<std::size_t>(s) * per], p, 1e-10, DBL_MAX, &d, q,
                    &t, &rc);
        ASSERT_EQ(rc, 0) << k.what;
        least = std::min(least, d);
      }
      const double scale = 1 + least;
      EXPECT_NEAR(many.dist[i], least, 1e-9 * scale) << k.what << " point " << i;
      double foot[4] = {0, 0, 0, 0};
      BSevalbsp(c.degree, n, c.dim, c.rational, c.poles.data(), c.knots.data(), many.par[i], 0, foot, &rc);
      ASSERT_EQ(rc, 0) << k.what << " point " << i;
      double d2 = 0;
      for (int d = 0; d < c.dim; ++d) {
        EXPECT_NEAR(many.pt[static_cast<std::size_t>(i) * c.dim + d], foot[d], 1e-9 * scale) << k.what << " point " << i;
        d2 += (foot[d] - p[d]) * (foot[d] - p[d]);
      }
      EXPECT_NEAR(std::sqrt(d2), many.dist[i], 1e-9 * scale) << k.what << " point " << i;
    }
  }
}

TEST(SpanPointDistance, Limits) {
  // Order 17 is refused with 50; a forced depth limit answers -13 and leaves the later points alone.
  Loose high{16, 3, 0, std::vector<double>(51, 0.5), std::vector<double>(34, 0)};
  for (int i = 17; i < 34; ++i) high.knots[i] = 1;
  EXPECT_EQ(Many(high, {0, 0, 0}, 1e-6).rc, 50);
  bstest::set_depth(2);
  const Many cut(kCubic, {1.5, 3, 0, 1, 1, 0}, 1e-6);
  bstest::set_depth(0);
  EXPECT_EQ(cut.rc, -13);
  EXPECT_EQ(cut.dist[1], -1);
  EXPECT_EQ(Many(kCubic, {1.5, 3, 0, 1, 1, 0}, 1e-6).rc, 0);
  // Spans whose points are not all finite are refused, not halved without end: weights of 0 (where a curve's
  // subnormal weights blend in its spans), subnormal ones, and poles that are not numbers. A pole beyond the
  // doubles as a point (1e308 over 0.5) leaves the curve finite: answered, at its start.
  const double t = 4.9406564584124654e-324;
  const struct {
    const char *what;
    std::vector<double> poles;  // x, y, z, w of four poles, component-major
    int rc;
  } spans[] = {
      {"weights blended to 0", {0, 4 * t, 2 * t, -t, -3 * t, -6 * t, -11 * t, -14 * t, t, -2 * t, -5 * t, -8 * t, t, t, 0, 0}, -2},
      {"subnormal weights", {1, 2, 3, 4, 0, 1, 1, 0, 0, 0, 0, 0, t, 2 * t, 2 * t, t}, -2},
      {"an infinite pole", {1, 2, kInf, 4, 0, 1, 1, 0, 0, 0, 0, 0, 1, 1, 1, 1}, -2},
      {"a pole that is not a number", {1, 2, kNaN, 4, 0, 1, 1, 0, 0, 0, 0, 0, 1, 1, 1, 1}, -2},
      {"a pole beyond the doubles as a point", {1, 2, 1e308, 4, 0, 1, 1, 0, 0, 0, 0, 0, 1, 1, 0.5, 1}, 0},
  };
  for (const auto &s : spans) {
    const double p[3] = {0, -15, -15};
    double d = -1, q[3] = {7, 7, 7}, u = -1;
    int rc = 99;
    BSmdptbezcv(3, 3, 1, s.poles.data(), p, 1e-6, DBL_MAX, &d, q, &u, &rc);
    EXPECT_EQ(rc, s.rc) << s.what;
    EXPECT_EQ(q[0], s.rc == 0 ? 1 : 7) << s.what;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Where the curve lies

// The order-6 rational curve of four spans with weights from 0.13 to 13.4, its poles about (2594093, -112001).
const std::vector<double> kFarKnots = {0, 0, 0, 0, 0, 0, 0.16908767856404536, 0.89499918030761394,
                                       0.94924537993271663, 1, 1, 1, 1, 1, 1};
const std::vector<double> kFarPoles = {
    2594092.5844052215, -112001.09750728338, 0, 2594092.9805037035, -112001.17715509162, 0,
    2594093.1900450969, -112000.98188999167, 0, 2594093.5290736752, -112001.03676033516, 0,
    2594093.6391827571, -112001.18397547114, 0, 2594093.8525335393, -112001.02292098536, 0,
    2594094.1105305427, -112000.75415877425, 0, 2594094.3172853403, -112001.00129591825, 0,
    2594094.7103074524, -112000.83395139496, 0};
const std::vector<double> kFarWeights = {4.4379463464517324, 0.12654337703192259, 2.7381541310082103,
                                         2.7339536053704023, 3.3626402599650564, 0.4886823661655223,
                                         1.6742499951788963, 2.8161159238922857, 13.415762274046799};

TEST(PointDistance, RationalCurveFarFromTheOrigin) {
  TestCurve c(6, kFarPoles, kFarKnots, kFarWeights);
  const double p[3] = {2594093.7273943145, -112001.24764008653, 0};
  double u = 0, foot[3], d = 0;
  int rc = 0;
  BSmdstptcv(&c.cv, p, &u, foot, &d, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NEAR(d, 0.163936, 1e-6);
  EXPECT_NEAR(u, 0.686224979, 1e-8);
}

// Every road to a nearest point gives, for a curve moved 1e5 to 1e7 from the origin with its point, the answer it
// gives near the origin: the one-point search (through the curve record and on the pole block, in space and in
// the plane where circles have a closed form), the several-points search, every nearest point, the perpendicular
// foot and the point-on-curve test. Each road works in differences of coordinates; formed from absolute ones, the
// rational distance equation lost as many digits as the curve was far from the origin relative to its size, and
// the search settled on a wrong span (0.50 for 0.16), or called a point on the curve off it; moved to the point
// after its weights were mixed into Legendre coefficients, a span with weights a million apart claimed a distance
// off by many times the rounding of its coordinates.
TEST(PointDistance, AnswersDoNotDependOnWhereTheCurveLies) {
  enum Road { kOne, kBlock, kSeveral, kEvery, kFoot, kOnCurve };
  const char *const road_names[] = {"one point",           "pole block",         "several points",
                                    "every nearest point", "perpendicular foot", "point on curve"};
  struct Shape {
    const char *what;
    int order;
    std::vector<double> poles, knots, weights;  // Cartesian poles about the origin
    std::vector<double> point;
    int dim;  // 2: the pole block is searched in the plane
  };
  std::vector<double> near_poles = kFarPoles;
  for (std::size_t i = 0; i < near_poles.size(); i += 3) near_poles[i] -= 2594093, near_poles[i + 1] += 112001;
  std::vector<double> tiny_poles = near_poles;
  for (double &x : tiny_poles) x *= 1.0 / 64;
  const double r = std::sqrt(0.5);
  const Shape shapes[] = {
      {"the order-6 rational curve, weights 0.13 to 13.4", 6, near_poles, kFarKnots, kFarWeights,
       {0.7273943145, -0.24764008653, 0}, 3},
      {"the same 64 times smaller", 6, tiny_poles, kFarKnots, kFarWeights, {0.7273943145 / 64, -0.24764008653 / 64, 0},
       3},
      {"a rational cubic in space, weights 1e-3 to 1e3", 4,
       {0, 0, 0, 0.4, 1, 0.2, 1.3, 1.1, -0.3, 2, 0.2, 0.5, 2.6, -0.5, 0.1, 3, 0.4, 0},
       {0, 0, 0, 0, 0.3, 0.6, 1, 1, 1, 1},
       {1, 1e-3, 1e3, 0.02, 30, 1},
       {1.4, 0.3, 0.6},
       3},
      {"a rational quadratic of twelve poles, weights 1e-3 and 1e3 in turn", 3,
       {0, 0, 0, 0.5, 1.2, 0.3, 1.1, 0.4, -0.6, 1.6, 1.5, 0.2, 2.2, -0.3, 0.8, 2.9, 0.9, -0.4,
        3.4, 0.1, 0.5, 4.1, 1.3, 0, 4.6, -0.6, -0.3, 5.2, 0.7, 0.6, 5.9, 0.2, -0.2, 6.5, 1, 0.1},
       {0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 10},
       {1e3, 1e-3, 1e-3, 1e3, 1e-3, 1e-3, 1e3, 1e-3, 1e-3, 1e3, 1e-3, 1e3},
       {1.9, 1.2, 0.35},
       3},
      {"a polynomial quintic in space", 6,
       {0, 0, 0, 0.5, 1, -0.5, 1, -0.5, 0.5, 1.5, 1.5, 0, 2, 0, 1, 2.5, 1, 0.25, 3, 0.5, 0},
       {0, 0, 0, 0, 0, 0, 0.5, 1, 1, 1, 1, 1, 1},
       {},
       {1.7, 0.2, 0.9},
       3},
      {"a rational cubic of whole-numbered poles, every weight 1", 4,
       {5, 5, 5, 5, 0, 0, -4, -4, -4, -4, -4, 0, 3, 6, -2, 8, 1, 1},
       {0, 0, 0, 0, 0.25, 0.5, 1, 1, 1, 1},
       {1, 1, 1, 1, 1, 1},
       {0.5, 0.25, 0.125},
       3},
      {"a circle of four rational quadratic arcs in the plane", 3,
       {1, 0, 0, 1, 1, 0, 0, 1, 0, -1, 1, 0, -1, 0, 0, -1, -1, 0, 0, -1, 0, 1, -1, 0, 1, 0, 0},
       {0, 0, 0, 0.25, 0.25, 0.5, 0.5, 0.75, 0.75, 1, 1, 1},
       {1, r, 1, r, 1, r, 1, r, 1},
       {0.3, 0.8, 0},
       2},
  };
  struct Answer {
    double par, dist;
    int rc;
  };
  // The road's answer for the shape moved by `shift`: its parameter and the distance it claims (or, where the
  // road gives only a parameter, the distance of the curve point there).
  // ... and scaled, where `scale` is not 1, its weights all by that power of two: the same curve.
  auto answer = [](Road road, const Shape &s, const double shift[3], double scale = 1) {
    std::vector<double> poles = s.poles, weights = s.weights;
    for (std::size_t i = 0; i < poles.size(); ++i) poles[i] += shift[i % 3];
    for (double &w : weights) w *= scale;
    TestCurve c(s.order, poles, s.knots, weights);
    double p[3], q[3];
    for (int k = 0; k < 3; ++k) p[k] = s.point[k] + shift[k];
    Answer a{-1, -1, 99};
    auto distance_at = [&](double u) {
      ref_point(c, u, q);
      return std::sqrt((q[0] - p[0]) * (q[0] - p[0]) + (q[1] - p[1]) * (q[1] - p[1]) + (q[2] - p[2]) * (q[2] - p[2]));
    };
    if (road == kOne) {
      BSmdstptcv(&c.cv, p, &a.par, q, &a.dist, &a.rc);
    } else if (road == kBlock) {
      // Component-major poles of s.dim coordinates (weighted), then the weights.
      const int n = c.n(), nc = s.dim + (s.weights.empty() ? 0 : 1);
      std::vector<double> block(static_cast<std::size_t>(n) * nc);
      for (int i = 0; i < n; ++i) {
        for (int k = 0; k < s.dim; ++k) block[k * n + i] = c.poles[3 * i + k];
        if (nc > s.dim) block[s.dim * n + i] = c.weights[i];
      }
      double bound = DBL_MAX;
      BSmdptbscv(s.order - 1, n, s.dim, nc > s.dim, block.data(), c.knots.data(), 1, p, 1e-6, &bound, &a.dist, &bound,
                 &a.dist, &a.par, q, &a.rc);
    } else if (road == kSeveral) {
      const double two[6] = {p[0], p[1], p[2], p[0] + 0.25, p[1] - 0.125, p[2]};
      double pars[2], base[6], dist[2];
      BSboolean on = BSFALSE;
      BSmdstptscv(2, two, &c.cv, pars, base, dist, &on, &a.rc);
      a.par = pars[0], a.dist = dist[0];
    } else if (road == kEvery) {
      std::int16_t ni = 0, np = 0;
      double *params = nullptr, *intervals = nullptr;
      BSmdistptcv(&c.cv, p, &ni, &np, &params, &a.dist, &intervals, &a.rc);
      if (np > 0) a.par = params[0];
      BSdbgfree(params);
      BSdbgfree(intervals);
    } else if (road == kFoot) {
      BSboolean found = BSFALSE;
      int position = 0;
      BSperpa(&a.rc, &c.cv, p, p, &found, &a.par, &position);
      if (found) a.dist = distance_at(a.par);
    } else {
      // A point on the curve, in the middle of its range: on it, at that parameter.
      ref_point(c, (c.start() + c.end()) / 2, p);
      BSboolean on = BSFALSE;
      BSprptoncv(&a.rc, &c.cv, p, &a.par, &on);
      a.dist = on ? 0 : 1;
    }
    return a;
  };
  for (const Shape &s : shapes)
    for (Road road : {kOne, kBlock, kSeveral, kEvery, kFoot, kOnCurve}) {
      const double none[3] = {0, 0, 0};
      const Answer home = answer(road, s, none);
      ASSERT_EQ(home.rc, 0) << s.what << ", " << road_names[road];
      for (double far : {1e5, 1e6, 1e7}) {
        const double shift[3] = {far, -0.625 * far, s.dim == 2 ? 0 : 0.375 * far};
        const Answer moved = answer(road, s, shift);
        // The poles themselves are rounded to the spacing of doubles out there (2e-9 at 1e7).
        const double slack = std::fmax(1e-12, 2e-15 * far);
        EXPECT_EQ(moved.rc, 0) << s.what << ", " << road_names[road] << ", at " << far;
        EXPECT_NEAR(moved.dist, home.dist, slack) << s.what << ", " << road_names[road] << ", at " << far;
        EXPECT_NEAR(moved.par, home.par, 1e-6) << s.what << ", " << road_names[road] << ", at " << far;
      }
      // The same curve, its weights all a thousand binary orders from 1 (the weighted poles still in the normal
      // range), or all the least subnormal where every weight is 1 and the poles are whole numbers, which keeps
      // them exact in a few bits. There the nearest point searched over the spans answers; the other roads may
      // refuse such a record, but never answer otherwise (the point on the curve is left out: its own point,
      // evaluated in a few bits, lies off the curve).
      const bool whole = std::all_of(s.poles.begin(), s.poles.end(), [](double x) { return x == std::round(x); }) &&
                         std::all_of(s.weights.begin(), s.weights.end(), [](double w) { return w == 1; });
      if (s.weights.empty()) continue;
      for (double scale : {std::ldexp(1.0, -1000), std::ldexp(1.0, 1000), std::ldexp(1.0, -1074)}) {
        const bool subnormal = scale < DBL_MIN;
        if (subnormal && (!whole || road == kOnCurve)) continue;
        const Answer scaled = answer(road, s, none, scale);
        if (subnormal && road != kOne && road != kBlock && scaled.rc != 0) continue;
        EXPECT_EQ(scaled.rc, 0) << s.what << ", " << road_names[road] << ", weights by " << scale;
        EXPECT_NEAR(scaled.dist, home.dist, 1e-12) << s.what << ", " << road_names[road] << ", weights by " << scale;
        EXPECT_NEAR(scaled.par, home.par, 1e-9) << s.what << ", " << road_names[road] << ", weights by " << scale;
      }
    }
}

// A point far beyond a small curve: every piece of the curve is as near as any other within the rounding of the
// distance. The rational curve moved to the point carries it in every weighted coefficient, and the search that
// judged its pieces against a finer tolerance halved them all, each as near as the next, without end. Every road
// answers promptly, at the distance of the point from the curve's place.
TEST(PointDistance, PointsFarBeyondASmallCurve) {
  enum Road { kBlock, kOne, kSeveral, kEvery };
  const char *const road_names[] = {"pole block", "one point", "several points", "every nearest point"};
  for (double size : {1e-300, 1e-3, 1.0})
    for (bool rational : {false, true})
      for (double far : {1e10, 1e40, 1e90})
        for (Road road : {kBlock, kOne, kSeveral, kEvery}) {
          const std::string what = std::string(road_names[road]) + ", size " + std::to_string(size) +
                                   (rational ? ", weights 1e-3 to 1e3" : "") + ", at " + std::to_string(far);
          std::vector<double> poles = {0, 0, 0, 1, 2, 0, 2, -1, 1, 3, 0, 0, 4, 1, -1};
          for (double &x : poles) x *= size;
          const std::vector<double> knots = {0, 0, 0, 1, 2, 3, 3, 3}, weights = {1, 1e-3, 1e3, 0.5, 2};
          TestCurve c(3, poles, knots, rational ? weights : std::vector<double>{});
          const double p[3] = {0.6 * far, -0.8 * far, 0};
          double par = -1, foot[3], dist = -1;
          int rc = -1;
          if (road == kBlock) {
            std::vector<double> block;
            for (int k = 0; k < 3; ++k)
              for (int i = 0; i < c.n(); ++i) block.push_back(c.poles[3 * i + k]);
            for (double w : c.weights) block.push_back(w);
            double bound = DBL_MAX;
            BSmdptbscv(2, c.n(), 3, rational, block.data(), c.knots.data(), 1, p, 1e-6, &bound, &dist, &bound, &dist,
                       &par, foot, &rc);
          } else if (road == kOne) {
            BSmdstptcv(&c.cv, p, &par, foot, &dist, &rc);
          } else if (road == kSeveral) {
            const double two[6] = {p[0], p[1], p[2], p[0], p[1], 1e-3 * far};
            double pars[2], base[6], dists[2];
            BSboolean on = BSTRUE;
            BSmdstptscv(2, two, &c.cv, pars, base, dists, &on, &rc);
            par = pars[0], dist = dists[0];
          } else {
            std::int16_t ni = 0, np = 0;
            double *params = nullptr, *intervals = nullptr;
            BSmdistptcv(&c.cv, p, &ni, &np, &params, &dist, &intervals, &rc);
            if (np > 0) par = params[0];
            BSdbgfree(params);
            BSdbgfree(intervals);
          }
          ASSERT_EQ(rc, 0) << what;
          EXPECT_GE(par, 0) << what;
          EXPECT_LE(par, 3) << what;
          EXPECT_NEAR(dist, far, 1e-14 * far + 8 * size) << what;
        }
}


// Spans whose weights lie far apart, an end weight among them of 1e-15 to 1e-2: the curve runs through nearly all
// of its length within slivers of its parameter. The search's bounds stayed loose over every piece reaching into a
// sliver, it halved down to it and crept along the distance there over thousands of pieces (a thousand times the
// time of a span of weights near 1), and settled on wrong pieces: distances off by up to twice the curve's size,
// base points off the curve. Against a dense polyline that evens the weights out, at home, 1e5 to 1e7 out and a
// thousand times smaller: the record's one-point search within the distance tolerance, the pole block's at 1e-12
// within the oracle's own reach, the base point on the curve at the distance claimed. The several-points span
// search halved down into the slivers too, up to 20 ms a point, and gave distances off by up to half the curve's
// size (or below the true one, its foot off the curve): at 1e-12 within the oracle's reach, its foot on the curve.
// Some rows carry points of their own, where the searches went wrong.
TEST(PointDistance, UnevenWeightsAgainstADenseOracle) {
  struct Row {
    const char *what;
    std::vector<double> poles, weights;  // one span, Cartesian poles
    std::vector<double> points = {};     // in the plane, tried besides the random ones
  } rows[] = {
      {"a conic, end weight 1e-15", {0, 0, 0, 5, 8, 0, 10, 0, 0}, {1, 1, 1e-15}},
      {"a conic, end weight 3.6e-15, middle 40", {0, 0, 0, 3, -12, 0, -9, 4, 0}, {1, 40, 3.6e-15}},
      {"a conic, first weight 1e-10, middle 1e-3", {0, 0, 0, 5, 8, 0, 10, 0, 0}, {1e-10, 1e-3, 1}},
      {"a conic, end weight 1e-2, middle 1e3", {0, 0, 0, 5, 8, 0, 10, 0, 0}, {1, 1e3, 1e-2}},
      {"a cubic in space, end weight 1e-15", {0, 0, 0, 3, 7, 1, 7, -4, -1, 10, 2, 0}, {1, 1, 1, 1e-15}},
      {"a cubic, weights 1e3 and 1e-3 inside, end weight 1e-5", {0, 0, 0, 3, 7, 0, 7, -4, 0, 10, 2, 0},
       {1, 1e3, 1e-3, 1e-5}},
      {"a cubic, weights 1e-3 and 1e3 inside, end weight 1e-10", {0, 0, 0, 3, 7, 0, 7, -4, 0, 10, 2, 0},
       {1, 1e-3, 1e3, 1e-10}},
      {"a quartic, weights 310 to 582, end weight 3.36e-12",
       {9.504454058268557, 9.918087040755255, 0, 2.8123170854652986, 1.9236357108207751, 0, 4.8772514841938115,
        5.5756389812554303, 0, 6.5670468565034392, 1.0759113709660049, 0, 6.4635602136426087, 9.2137907920334783, 0},
       {309.88916212879974, 459.87940683246467, 342.00905155624173, 581.65702558702026, 3.3555710794140072e-12},
       {2.7229005291698929, 11.172907003530284}},
      {"a quartic, first weight 1.54e-12, 216 inside",
       {5.6174065651982819, 8.9414533963026344, 0, 5.9826122471784648, 3.3703428476936699, 0, 9.8521965305396524,
        1.1571404867013584, 0, 0.5260174068865785, 7.3262191479507965, 0, 3.7087490017751232, 3.6146507723137349, 0},
       {1.536107304463259e-12, 0.091994500262336604, 215.74044114029994, 7.3101764490558638, 0.094253456679209577},
       {11.869299646992422, 7.6881239546319886}},
      // Two feet 1.6e-6 apart in the parameter and 1.1 apart on the curve: the knot tolerance of the tiny curve
      // (1.3e-4) took them for one.
      {"a conic, end weight 4.1e-11, feet crowded at the end",
       {6.7918268579037919, 6.0134115287183478, 0, 9.9722546867494763, 5.6091458965693963, 0, 5.4872620032317254,
        6.4234953547546798, 0},
       {22.947546870806939, 4.9531474244633733, 4.0945957395956648e-11},
       {7.6332517602743302, 9.4808847252811024}},
  };
  std::mt19937 rng(4471);
  std::uniform_real_distribution<double> around(-4, 14), lift(-1, 1);
  for (const Row &row : rows) {
    const int k = static_cast<int>(row.weights.size());
    const std::vector<double> line = dense_span(row.poles, row.weights, 1e-9), boxes = run_boxes(line);
    std::vector<double> knots(k, 0.0);
    knots.insert(knots.end(), k, 1.0);
    const int given = static_cast<int>(row.points.size() / 2);
    for (int i = 0; i < 8 + given; ++i) {
      double home[3] = {around(rng), around(rng) - 4, k == 4 ? lift(rng) : 0};
      if (i >= 8) home[0] = row.points[2 * (i - 8)], home[1] = row.points[2 * (i - 8) + 1], home[2] = 0;
      const double expect = polyline_distance(line, boxes, home);
      for (double shift : {0.0, 1e5, 1e6, 1e7, -1.0}) {
        // shift -1: a thousand times smaller at home.
        const double size = shift < 0 ? 1e-3 : 1, at = shift < 0 ? 0 : shift;
        const std::string what = std::string(row.what) + ", point " + std::to_string(i) + ", " +
                                 (shift < 0 ? std::string("tiny") : "at " + std::to_string(shift));
        std::vector<double> poles = row.poles;
        for (std::size_t j = 0; j < poles.size(); ++j) poles[j] = poles[j] * size + (j % 3 == 2 ? 0 : at);
        const double p[3] = {home[0] * size + at, home[1] * size + at, home[2] * size};
        TestCurve c(k, poles, knots, row.weights);
        // The oracle's polyline follows the curve within 1e-9; out there the coordinates are rounded to 2e-9.
        const double slack = 2e-9 * size + 4e-16 * at, loose = slack + BStoltab[bstol::dist_tol];
        double par = -1, base[3], dist = -1;
        int rc = -1;
        BSmdstptcv(&c.cv, p, &par, base, &dist, &rc);
        ASSERT_EQ(rc, 0) << what;
        EXPECT_NEAR(dist, expect * size, loose) << what;
        EXPECT_GE(par, 0) << what;
        EXPECT_LE(par, 1) << what;
        const double home_base[3] = {(base[0] - at) / size, (base[1] - at) / size, base[2] / size};
        EXPECT_LE(polyline_distance(line, boxes, home_base) * size, loose) << what << ": the base point off the curve";
        EXPECT_NEAR(std::hypot(base[0] - p[0], base[1] - p[1], base[2] - p[2]), dist, slack) << what;
        std::vector<double> block;
        for (int comp = 0; comp < 3; ++comp)
          for (int j = 0; j < k; ++j) block.push_back(c.poles[3 * j + comp]);
        block.insert(block.end(), row.weights.begin(), row.weights.end());
        double bound = DBL_MAX, d = DBL_MAX, u = -1, foot[3];
        BSmdptbscv(k - 1, k, 3, BSTRUE, block.data(), knots.data(), 1, p, 1e-12, &bound, &d, &bound, &d, &u, foot, &rc);
        ASSERT_EQ(rc, 0) << what << ", pole block";
        EXPECT_NEAR(d, expect * size, slack) << what << ", pole block";
        double ds = -1, us = -1, fs[3] = {};
        BSmdptsbscv(k - 1, k, 3, BSTRUE, block.data(), knots.data(), 1, p, 1e-12, &ds, fs, &us, &rc);
        ASSERT_EQ(rc, 0) << what << ", several points";
        EXPECT_NEAR(ds, expect * size, slack) << what << ", several points";
        const double home_foot[3] = {(fs[0] - at) / size, (fs[1] - at) / size, fs[2] / size};
        EXPECT_LE(polyline_distance(line, boxes, home_foot) * size, loose) << what << ": the several points' foot";
        // Every nearest point: its parameters are doubles, and where the curve races through the last ulps of its
        // parameter no double lies at the nearest point; so the least distance a parameter reaches (that of the
        // one nearest point's parameter) bounds it, and each listed parameter is at it.
        double on[3];
        BScveval_n(&c.cv, par, 0, on, &rc);
        const double reached = std::hypot(on[0] - p[0], on[1] - p[1], on[2] - p[2]);
        std::int16_t nranges = -1, npars = -1;
        double *pars = nullptr, *ranges = nullptr, least = -1;
        BSmdistptcv(&c.cv, p, &nranges, &npars, &pars, &least, &ranges, &rc);
        ASSERT_EQ(rc, 0) << what << ", every nearest point";
        EXPECT_EQ(nranges, 0) << what;
        ASSERT_GT(npars, 0) << what;
        EXPECT_GE(least, expect * size - loose) << what << ", every nearest point";
        EXPECT_LE(least, std::fmax(reached, expect * size) + loose) << what << ", every nearest point";
        for (int j = 0; j < npars; ++j) {
          BScveval_n(&c.cv, pars[j], 0, on, &rc);
          EXPECT_NEAR(std::hypot(on[0] - p[0], on[1] - p[1], on[2] - p[2]), least, BStoltab[bstol::dist_tol])
              << what << ", every nearest parameter " << j;
        }
        BSdbgfree(pars);
        BSdbgfree(ranges);
        // The feet of the perpendiculars, with the ends, hold the nearest point.
        std::int16_t nfeet = -1;
        double *feet = nullptr, nearest_foot = DBL_MAX;
        ranges = nullptr;
        BSnormals(&rc, &c.cv, p, &nfeet, &feet, &nranges, &ranges);
        ASSERT_EQ(rc, 0) << what << ", feet";
        for (int j = -2; j < nfeet; ++j) {
          BScveval_n(&c.cv, j == -2 ? 0.0 : j == -1 ? 1.0 : feet[j], 0, on, &rc);
          nearest_foot = std::fmin(nearest_foot, std::hypot(on[0] - p[0], on[1] - p[1], on[2] - p[2]));
        }
        EXPECT_LE(nearest_foot, std::fmax(reached, expect * size) + loose) << what << ", feet";
        BSdbgfree(feet);
        BSdbgfree(ranges);
      }
    }
  }
}

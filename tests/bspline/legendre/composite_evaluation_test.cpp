#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/legendre.h"
#include "tests/bspline/conic_fixtures.h"

namespace {

using namespace conic_test;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// A composite filled by hand: spans of their own degree, code and kind over the given breakpoints.
struct Hand {
  int dim;
  std::vector<int> degrees, codes, kinds;
  std::vector<double> breakpoints;
  std::vector<std::vector<double>> coef;
  std::vector<double *> spans;
  Hand(int d, std::vector<double> b) : dim(d), breakpoints(std::move(b)) {}
  Hand &span(int degree, int code, std::vector<double> c, int kind = 1) {
    degrees.push_back(degree);
    codes.push_back(code);
    kinds.push_back(kind);
    coef.push_back(std::move(c));
    spans.clear();
    for (auto &v : coef) spans.push_back(v.data());
    return *this;
  }
  int eval(int deriv, double t, double *out, int periodic = 0) {
    int rc = 99;
    BSevalgdcmp(dim, periodic, static_cast<int>(degrees.size()), degrees.data(), codes.data(), kinds.data(),
                spans.data(), breakpoints.data(), deriv, t, out, &rc);
    return rc;
  }
};

// Derivatives 0..kmax at u of a Legendre series, by the differentiated three-term recurrence
// j P_j^(k) = (2j - 1)(u P_j-1^(k) + k P_j-1^(k-1)) - (j - 1) P_j-2^(k).
std::vector<double> legendre_derivs(int degree, const double *c, double u, int kmax) {
  std::vector<double> out(kmax + 1, 0.0);
  std::vector<double> p0(kmax + 1, 0.0), p1(kmax + 1, 0.0), p2(kmax + 1);
  p0[0] = 1;                          // P_0
  p1[0] = u, p1[1] = kmax >= 1 ? 1 : 0;  // P_1
  for (int k = 0; k <= kmax; ++k) out[k] += c[0] * p0[k] + (degree >= 1 ? c[1] * p1[k] : 0);
  for (int j = 2; j <= degree; ++j) {
    for (int k = 0; k <= kmax; ++k)
      p2[k] = ((2 * j - 1) * (u * p1[k] + (k ? k * p1[k - 1] : 0)) - (j - 1) * p0[k]) / j;
    for (int k = 0; k <= kmax; ++k) out[k] += c[j] * p2[k];
    p0 = p1;
    p1 = p2;
  }
  return out;
}

// Derivatives 0..kmax of N/W by Leibniz's rule solved for the quotient.
std::vector<double> quotient_derivs(const std::vector<double> &N, const std::vector<double> &W) {
  const int kmax = static_cast<int>(N.size()) - 1;
  std::vector<double> q(kmax + 1);
  for (int k = 0; k <= kmax; ++k) {
    double s = N[k], binom = 1;
    for (int i = 0; i < k; ++i) {
      s -= binom * q[i] * W[k - i];
      binom = binom * (k - i) / (i + 1);
    }
    q[k] = s / W[0];
  }
  return q;
}

// Tangent of a curve record at u.
void tangent(const VOQbsp_curve &cv, double u, double T[3]) {
  double rows[6];
  int rc = 99;
  BScveval_n(&cv, u, 1, rows, &rc);
  ASSERT_EQ(rc, 0);
  for (int k = 0; k < 3; ++k) T[k] = rows[3 + k];
}

// Plane spans with a denominator on x (code 1), on y (code 2), on each (code 3) and a power-basis span, through
// the composite evaluator: each coordinate is its numerator over its own denominator, derivatives worked by
// Leibniz's rule on the sampled series and carried to t by the span length.
TEST(CompositeEvaluation, PlaneCodesFollowTheQuotientRule) {
  std::mt19937 rng(57);
  std::uniform_real_distribution<double> small(-0.3, 0.3), big(-4, 4);
  const int d = 3, w = d + 1;
  Hand h(2, {0, 0.5, 1.7, 2.0, 3.0});
  auto series = [&](bool denominator) {
    std::vector<double> s(w);
    for (int j = 0; j < w; ++j) s[j] = denominator ? (j == 0 ? 2 + small(rng) : small(rng)) : big(rng);
    return s;
  };
  const int comps[3] = {3, 3, 4};
  for (int code = 1; code <= 3; ++code) {
    std::vector<double> c;
    for (int q = 0; q < comps[code - 1]; ++q) {
      const bool den = q >= 2;
      auto s = series(den);
      c.insert(c.end(), s.begin(), s.end());
    }
    h.span(d, code, c);
  }
  h.span(2, 0, {1, 2, 3, -1, 0, 5}, 0);  // x = 1 + 2u + 3u^2, y = -1 + 5u^2
  for (int i = 0; i < 4; ++i) {
    const double a = h.breakpoints[i], b = h.breakpoints[i + 1];
    for (double u : {-0.83, -0.2, 0.35, 0.9}) {
      const double t = (a + b) / 2 + (b - a) / 2 * u;
      std::vector<double> want[2];
      if (i == 3) {
        want[0] = {1 + 2 * u + 3 * u * u, 2 + 6 * u, 6, 0, 0};
        want[1] = {-1 + 5 * u * u, 10 * u, 10, 0, 0};
      } else {
        const int code = i + 1;
        const double *c = h.spans[i];
        const std::vector<double> one = {1, 0, 0, 0, 0};
        auto comp = [&](int q) { return legendre_derivs(d, c + q * w, u, 4); };
        want[0] = quotient_derivs(comp(0), code == 2 ? one : comp(2));
        want[1] = quotient_derivs(comp(1), code == 1 ? one : comp(code == 2 ? 2 : 3));
      }
      for (int k = 0; k <= 4; ++k) {
        double out[2];
        ASSERT_EQ(h.eval(k, t, out), 0);
        const double scale = std::pow(2 / (b - a), k), tol = 1e-12;
        for (int c = 0; c < 2; ++c) {
          const double v = want[c][k] * scale;
          EXPECT_NEAR(out[c], v, tol * std::fmax(1, std::fabs(v))) << "span " << i << " u " << u << " deriv " << k;
        }
      }
    }
  }
}

// The periodic wrap, the chain rule, and zero denominators at every order.
TEST(CompositeEvaluation, WrapScaleAndZeroDenominators) {
  // Breakpoints 1, 1.5, 3: period 2. x = t on both spans, y = P2 of the first span's u.
  Hand h(2, {1, 1.5, 3});
  h.span(2, 0, {1.25, 0.25, 0, 0, 0, 1}).span(1, 0, {2.25, 0.75, 0, 0});
  double at[2], wrapped[2];
  struct {
    double t, same_as;
  } wraps[] = {{4, 2}, {-2, 2}, {3 + 2 * 7 + 0.25, 1.25}, {1 - 2 * 3, 3}};
  for (const auto &row : wraps) {
    ASSERT_EQ(h.eval(0, row.same_as, at), 0);
    ASSERT_EQ(h.eval(0, row.t, wrapped, 1), 0);
    EXPECT_EQ(wrapped[0], at[0]) << "t " << row.t;
    EXPECT_EQ(wrapped[1], at[1]) << "t " << row.t;
  }
  // On the span of length 0.5 dx/du = 0.25 and d2y/du2 = 3: times 4 and 16.
  ASSERT_EQ(h.eval(1, 1.2, at), 0);
  EXPECT_DOUBLE_EQ(at[0], 1.0);
  ASSERT_EQ(h.eval(2, 1.2, at), 0);
  EXPECT_DOUBLE_EQ(at[1], 48.0);
  // Outside the range without the wrap: the end spans extend.
  ASSERT_EQ(h.eval(0, 5, at), 0);
  EXPECT_DOUBLE_EQ(at[0], 5.0);

  // Space span of weight u, zero at u = 0: every order answers rc -5 with three DBL_MAX, never a NaN.
  const std::vector<double> space = {1, 2, 3, -1, 0, 4, 0, 1};  // degree 1: x w, y w, z w, w
  for (int k = 0; k <= 4; ++k) {
    double out[3] = {0, 0, 0};
    int rc = 99;
    BSevalgdsng(1, 3, 1, space.data(), k, 0.0, out, &rc);
    EXPECT_EQ(rc, -5) << "order " << k;
    for (double v : out) EXPECT_EQ(v, DBL_MAX) << "order " << k;
  }
  // Plane span of code 1 with W = u: x has no value, y is still answered and scaled by the span length.
  Hand p(2, {0, 0.5});
  p.span(1, 1, {1, 2, 3, 4, 0, 1});
  for (int k = 0; k <= 3; ++k) {
    double out[2];
    EXPECT_EQ(p.eval(k, 0.25, out), -5) << "order " << k;
    EXPECT_EQ(out[0], DBL_MAX) << "order " << k;
    const double y[4] = {3, 16, 0, 0};
    EXPECT_DOUBLE_EQ(out[1], y[k]) << "order " << k;
  }
}

TEST(CompositeEvaluation, RefusedArguments) {
  const std::vector<double> span = {1, 2, 3, 4, 5, 6, 7, 8};
  const std::vector<double> nan_span = {1, 2, kNaN, 4, 5, 6, 7, 8};
  auto one_span = [](int dim, int code, int kind, std::vector<double> c, std::vector<double> b = {0, 1}) {
    Hand h(dim, std::move(b));
    h.span(1, code, std::move(c), kind);
    return h;
  };
  auto composite = [&](int dim, int code, int kind, int deriv, double t, std::vector<double> b = {0, 1}) {
    Hand h = one_span(dim, code, kind, span, std::move(b));
    double out[4];
    return h.eval(deriv, t, out);
  };
  TestCurve line(2, {0, 0, 0, 1, 0, 0}, {0, 0, 1, 1});
  TestCurve no_weights(2, {0, 0, 0, 1, 0, 0}, {0, 0, 1, 1}, {1, 1});
  no_weights.cv.weights = nullptr;
  const double dir[3] = {1, 0, 0}, zero_dir[3] = {0, 0, 0}, range[2] = {0, 1}, reversed[2] = {1, 0};
  double t = 0, point[3], params[4], points[4][3];
  int count = 0;
  double *found = nullptr;
  struct Row {
    const char *what;
    std::function<int()> call;
    int rc;
  } rows[] = {
      {"span kind 2", [&] { return composite(3, 1, 2, 0, 0.5); }, -2},
      {"rational code in dimension 4", [&] { return composite(4, 1, 1, 0, 0.5); }, -2},
      {"code 2 in space", [&] { return composite(3, 2, 1, 0, 0.5); }, -2},
      {"code 4 in the plane", [&] { return composite(2, 4, 1, 0, 0.5); }, -2},
      {"NaN parameter", [&] { return composite(3, 1, 1, 0, kNaN); }, -2},
      {"infinite parameter with the wrap",
       [&] {
         Hand h = one_span(3, 0, 1, span);
         double out[3];
         return h.eval(0, HUGE_VAL, out, 1);
       },
       -2},
      {"negative order", [&] { return composite(3, 0, 1, -1, 0.5); }, -2},
      {"rational order 321", [&] { return composite(3, 1, 1, 321, 0.5); }, -2},
      {"span of no length", [&] { return composite(3, 0, 1, 0, 0.5, {0.5, 0.5}); }, -2},
      {"NaN breakpoint", [&] { return composite(3, 0, 1, 0, 0.5, {0, kNaN}); }, -2},
      {"NaN coefficient",
       [&] {
         Hand h = one_span(3, 1, 1, nan_span);
         double out[3];
         return h.eval(1, 0.5, out);
       },
       -2},
      {"no spans",
       [&] {
         Hand h = one_span(3, 0, 1, span);
         double out[3];
         int rc = 99;
         BSevalgdcmp(3, 0, 0, h.degrees.data(), h.codes.data(), nullptr, h.spans.data(), h.breakpoints.data(), 0,
                     0.5, out, &rc);
         return rc;
       },
       -2},
      {"no span array",
       [&] {
         double out[3];
         int rc = 99;
         BSevalgdsng(1, 3, 0, nullptr, 0, 0.5, out, &rc);
         return rc;
       },
       3},
      {"NaN tolerance",
       [&] {
         int rc = 99;
         BScvtrndir(1, 0, span.data(), range, kNaN, &count, &found, &rc);
         return rc;
       },
       -2},
      {"reversed range",
       [&] {
         int rc = 99;
         BScvtrndir(1, 0, span.data(), reversed, 0, &count, &found, &rc);
         return rc;
       },
       -2},
      {"NaN series",
       [&] {
         int rc = 99;
         BScvtrndir(3, 0, nan_span.data(), range, 0, &count, &found, &rc);
         return rc;
       },
       -2},
      {"zero direction",
       [&] {
         int rc = 99;
         BSfndcvturn(&line.cv, zero_dir, 0, &t, point, &rc);
         return rc;
       },
       -2},
      {"NaN start parameter",
       [&] {
         int rc = 99;
         BSfndcvturn(&line.cv, dir, kNaN, &t, point, &rc);
         return rc;
       },
       -2},
      {"rational record without weights",
       [&] {
         int rc = 99;
         BSfndcvturn(&no_weights.cv, dir, 0, &t, point, &rc);
         return rc;
       },
       3},
      {"transitions without a curve",
       [&] {
         int rc = 99;
         BSfndcvtrns(nullptr, &count, points, params, &rc);
         return rc;
       },
       3},
  };
  const int live = BSdbgliveblocks();
  for (const Row &row : rows) EXPECT_EQ(row.call(), row.rc) << row.what;
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(BSdbgliveblocks(), live);
}

// Parameters where the derivative of f (or f/w) vanishes inside the range; roots at the ends and derivatives
// that vanish throughout give nothing.
TEST(CompositeEvaluation, VanishingDerivativeInsideTheRange) {
  // f' = (u - 1)(u + 0.5): f = u^3/3 - u^2/4 - u/2 in the power basis.
  double end_root[4];
  int rc = 99;
  const double power[4] = {0, -0.5, -0.25, 1.0 / 3};
  BScantlgd(3, power, end_root, &rc);
  ASSERT_EQ(rc, 0);
  const double s = 1 / std::sqrt(2.0);
  struct Row {
    const char *what;
    int degree, rational;
    std::vector<double> f;
    std::vector<double> want;  // on the range [2, 4]
  } rows[] = {
      {"root at the span end skipped", 3, 0, {end_root, end_root + 4}, {3 - 0.5}},
      {"constant derivative", 1, 0, {5, 2}, {}},
      {"straight span perpendicular to the direction", 2, 0, {7, 0, 0}, {}},
      {"u / (1 + 2u^2)", 2, 1, {0, 1, 0, 5.0 / 3, 0, 4.0 / 3}, {3 - s, 3 + s}},
      {"numerator a multiple of the denominator", 2, 1, {2, 0.5, 1, 4, 1, 2}, {}},
      {"constant quotient of order 1", 1, 1, {2, 3, 4, 6}, {}},
  };
  const int live = BSdbgliveblocks();
  const double range[2] = {2, 4};
  for (const Row &row : rows) {
    int count = -7;
    double *params = reinterpret_cast<double *>(&count);
    BScvtrndir(row.degree, row.rational, row.f.data(), range, 1e-6, &count, &params, &rc);
    EXPECT_EQ(rc, 0) << row.what;
    ASSERT_EQ(count, static_cast<int>(row.want.size())) << row.what;
    EXPECT_EQ(params == nullptr, count == 0) << row.what;
    for (int k = 0; k < count; ++k) EXPECT_NEAR(params[k], row.want[k], 1e-13) << row.what;
    BSdbgfree(params);
  }
  EXPECT_EQ(BSdbgliveblocks(), live);
}

TEST(CompositeEvaluation, TurningPointNearestToTheStart) {
  const double x[3] = {1, 0, 0}, y[3] = {0, 1, 0}, tilted[3] = {-1, 4, 0};
  struct Row {
    const char *what;
    int order;
    std::vector<double> poles, knots;
    bool closed;
    const double *dir;
    double t0;
    int rc;
    double t;
    std::vector<double> point;
  } rows[] = {
      {"U shape turns at its apex", 3, {0, 0, 0, 2, 1, 0, 0, 2, 0}, {0, 0, 0, 1, 1, 1}, false, x, 0, 0, 0.5,
       {1, 1, 0}},
      {"straight segment along dir", 2, {0, 0, 0, 3, 1, 0}, {0, 0, 1, 1}, false, x, 0.5, -12, 0, {}},
      {"out and back, t0 at the start", 2, {0, 0, 0, 2, 0, 0, 1, 0, 0}, {0, 0, 1, 2, 2}, false, x, 0.01, 0, 1,
       {2, 0, 0}},
      {"out and back, t0 at the end", 2, {0, 0, 0, 2, 0, 0, 1, 0, 0}, {0, 0, 1, 2, 2}, false, x, 2, 0, 1, {2, 0, 0}},
      {"back to the start, flagged closed: the seam", 2, {0, 0, 0, 2, 0, 0, 0, 0, 0}, {0, 0, 1, 2, 2}, true, x,
       0.01, 0, 0, {0, 0, 0}},
      {"back to the start, open: the reversal knot", 2, {0, 0, 0, 2, 0, 0, 0, 0, 0}, {0, 0, 1, 2, 2}, false, x,
       0.01, 0, 1, {2, 0, 0}},
      {"L with its leg perpendicular to dir", 2, {0, 0, 0, 1, 0, 0, 1, 1, 0}, {0, 0, 1, 2, 2}, false, y, 0.5, -12,
       0, {}},
      {"cusp of coincident poles: the knot, whatever the direction", 3,
       {0, 0, 0, 2, 0, 0, 2, 0, 0, 1, 0, 0}, {0, 0, 0, 1, 2, 2, 2}, false, y, 0, 0, 1, {2, 0, 0}},
      {"closed square: the corners do not reverse", 2, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 0},
       {0, 0, 1, 2, 3, 4, 4}, true, y, 0.2, -12, 0, {}},
      {"shallow roof: the apex knot, where the tangents do not reverse", 2, {0, 0, 0, 3, 1, 0, 6, 0, 0},
       {0, 0, 1, 2, 2}, false, y, 0, 0, 1, {3, 1, 0}},
      {"quadratic arch: its apex on the knot", 3, {0, 0, 0, 1, 2, 0, 3, 2, 0, 4, 0, 0}, {0, 0, 0, 1, 2, 2, 2},
       false, y, 0, 0, 1, {2, 2, 0}},
      {"quadratic arch seen along (-1, 4): inside the first span", 3, {0, 0, 0, 1, 2, 0, 3, 2, 0, 4, 0, 0},
       {0, 0, 0, 1, 2, 2, 2}, false, tilted, 0, 0, 0.875, {1.75, 1.96875, 0}},
      {"cubic arch: its apex on the middle knot", 4, {0, 0, 0, 1, 1, 0, 2, 2, 0, 3, 1, 0, 4, 0, 0},
       {0, 0, 0, 0, 1, 2, 2, 2, 2}, false, y, 2, 0, 1, {2, 1.5, 0}},
      {"rising, level on the knot, rising again: no turn", 3, {0, 0, 0, 1, 1, 0, 3, 1, 0, 4, 2, 0},
       {0, 0, 0, 1, 2, 2, 2}, false, y, 1, -12, 0, {}},
  };
  const int live = BSdbgliveblocks();
  for (const Row &row : rows) {
    TestCurve c(row.order, row.poles, row.knots);
    c.cv.phy_closed = row.closed;
    double t = -99, point[3] = {-99, -99, -99};
    int rc = 99;
    BSfndcvturn(&c.cv, row.dir, row.t0, &t, point, &rc);
    EXPECT_EQ(rc, row.rc) << row.what;
    if (row.rc != 0) {
      EXPECT_EQ(t, -99) << row.what << ": nothing written";
      continue;
    }
    EXPECT_NEAR(t, row.t, 1e-12) << row.what;
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(point[k], row.point[k], 1e-12) << row.what;
  }
  EXPECT_EQ(BSdbgliveblocks(), live);
}

// Arcs and ellipses turn where the tangent is perpendicular to dir: at the centre plus or minus the support
// vector along dir. Rows with that extreme on a joint of the conic's segments (where the derivative along dir
// vanishes on two span ends, and the tangents do not reverse) and the same shapes turned so that it lies inside
// a segment; the turning point nearest to t0, on a joint exactly the joint's parameter. A whole circle's seam is
// both ends of its range.
TEST(CompositeEvaluation, ConicsTurnAtTheirExtremesOnJointsAndInsideSegments) {
  const double kUp[3] = {0, 0, 1}, kOrigin[3] = {0, 0, 0};
  const double deg = M_PI / 180;
  const int normal_given = 1;
  enum Where { kJoint, kInside, kStart, kEnd };
  struct Row {
    std::string what;
    std::function<void(ArcRecord &)> build;
    std::vector<double> dir;
    double t0;             // as a fraction of the range
    std::vector<double> want;
    Where where;
    // Not empty: want is a support vector, and the answer is this centre plus or minus it, on the answer's side.
    std::vector<double> centre = {};
  };
  // The arc of radius r about c from angle a0 to a1 (degrees) counter-clockwise, and a point of its circle.
  auto arc = [&](double r, std::vector<double> c, double a0, double a1) {
    return [=](ArcRecord &rec) {
      const double s[3] = {c[0] + r * std::cos(a0 * deg), c[1] + r * std::sin(a0 * deg), 0};
      const double e[3] = {c[0] + r * std::cos(a1 * deg), c[1] + r * std::sin(a1 * deg), 0};
      int rc = 99;
      ASSERT_TRUE(BSprepcarc(&rc, s, c.data(), e, kUp, &rec.cv, nullptr, nullptr));
    };
  };
  auto circle = [&](ArcRecord &rec) {
    const double p[3] = {2, 0, 0};
    int rc = 99;
    ASSERT_TRUE(BSprepcircp(&rc, kOrigin, p, kUp, &rec.cv, nullptr, nullptr));
  };
  // Radii 5 along e1 and 2 along e2 about c, from parametric angle a0 through sweep (radians).
  auto ellipse = [&](std::vector<double> c, std::vector<double> e1, std::vector<double> e2, double a0,
                     double sweep) {
    return [=](ArcRecord &rec) {
      const double p1[3] = {c[0] + 5 * e1[0], c[1] + 5 * e1[1], c[2]};
      const double p2[3] = {c[0] + 2 * e2[0], c[1] + 2 * e2[1], c[2]};
      std::uint16_t is_circle = 7;
      int rc = 99;
      BSelarptang(c.data(), p1, p2, a0, sweep, 1, nullptr, nullptr, &normal_given, nullptr, nullptr, &is_circle,
                  &rec.ptr, &rc);
      ASSERT_EQ(rc, 0);
    };
  };
  const double r3 = 3, dx = std::cos(20 * deg), dy = std::sin(20 * deg);
  std::vector<Row> rows = {
      {"semicircle: its top on the joint", arc(2, {0, 0, 0}, 0, 180), {0, 1, 0}, 0, {0, 2, 0}, kJoint},
      {"semicircle from 30 degrees: its top inside", arc(2, {0, 0, 0}, 30, 210), {0, 1, 0}, 0, {0, 2, 0}, kInside},
      {"270-degree arc: its top on the first joint", arc(2, {0, 0, 0}, 0, 270), {0, 1, 0}, 0, {0, 2, 0}, kJoint},
      {"270-degree arc: its far left on the second joint", arc(2, {0, 0, 0}, 0, 270), {1, 0, 0}, 1, {-2, 0, 0},
       kJoint},
      {"270-degree arc from 45 degrees: its top inside", arc(2, {0, 0, 0}, 45, 315), {0, 1, 0}, 0, {0, 2, 0},
       kInside},
      {"arc of three segments, dir at 20 degrees, from the start", arc(r3, {1, 2, 0}, -30, 250), {dx, dy, 0}, 0,
       {1 + r3 * dx, 2 + r3 * dy, 0}, kInside},
      {"arc of three segments, dir at 20 degrees, from the end", arc(r3, {1, 2, 0}, -30, 250), {dx, dy, 0}, 1,
       {1 - r3 * dx, 2 - r3 * dy, 0}, kInside},
      {"circle: its seam, nearer the start", circle, {1, 0, 0}, 0.02, {2, 0, 0}, kStart},
      {"circle: its seam, nearer the end", circle, {1, 0, 0}, 0.98, {2, 0, 0}, kEnd},
      {"circle: its far side", circle, {1, 0, 0}, 0.45, {-2, 0, 0}, kInside},
      {"circle: its top", circle, {0, 1, 0}, 0.3, {0, 2, 0}, kInside},
      {"half ellipse: its top on the joint", ellipse({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, 0, M_PI), {0, 1, 0}, 0,
       {0, 2, 0}, kJoint},
      {"half ellipse from 30 degrees: its top inside", ellipse({0, 0, 0}, {1, 0, 0}, {0, 1, 0}, M_PI / 6, M_PI),
       {0, 1, 0}, 0, {0, 2, 0}, kInside},
  };
  // A tilted whole ellipse in the plane z = 1, from several starts along several directions.
  const std::vector<double> c = {-1, 3, 1}, e1 = {0.6, 0.8, 0}, e2 = {-0.8, 0.6, 0};
  for (double angle : {0.0, 0.3, 1.7, 2.9})
    for (double t0 : {0.0, 0.37, 0.81}) {
      const double dir[3] = {std::cos(angle), std::sin(angle), 0};
      const double th = std::atan2(2 * dot(dir, e2.data()), 5 * dot(dir, e1.data()));
      std::vector<double> support(3);
      for (int k = 0; k < 3; ++k) support[k] = 5 * std::cos(th) * e1[k] + 2 * std::sin(th) * e2[k];
      rows.push_back({"tilted ellipse, dir at " + std::to_string(angle) + ", t0 " + std::to_string(t0),
                      ellipse(c, e1, e2, 0, 2 * M_PI), {dir[0], dir[1], dir[2]}, t0, support, kInside, c});
    }
  for (const Row &row : rows) {
    ArcRecord rec;
    row.build(rec);
    const VOQbsp_curve &cv = rec.cv;
    const double lo = rec.knots[cv.order - 1], hi = rec.knots[cv.num_poles];
    double t = -99, point[3] = {-99, -99, -99};
    int rc = 99;
    BSfndcvturn(&cv, row.dir.data(), lo + row.t0 * (hi - lo), &t, point, &rc);
    EXPECT_EQ(rc, 0) << row.what;
    if (rc != 0) continue;
    std::vector<double> want = row.want;
    if (!row.centre.empty()) {
      const double sign = dot(point, row.dir.data()) > dot(row.centre.data(), row.dir.data()) ? 1 : -1;
      for (int k = 0; k < 3; ++k) want[k] = row.centre[k] + sign * row.want[k];
    }
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(point[k], want[k], 1e-10) << row.what;
    double T[3], P[3];
    tangent(cv, t, T);
    EXPECT_NEAR(dot(T, row.dir.data()), 0, 1e-10 * std::sqrt(dot(T, T))) << row.what;
    rec.point(t, P);
    EXPECT_LT(dist(P, point), 1e-12) << row.what << ": the point at t";
    // Interior knots of the segments: the joints.
    bool on_joint = false;
    for (int i = cv.order; i < cv.num_poles; ++i) on_joint = on_joint || t == rec.knots[i];
    switch (row.where) {
      case kJoint: EXPECT_TRUE(on_joint) << row.what << ": t " << t; break;
      case kInside: EXPECT_FALSE(on_joint) << row.what; break;
      case kStart: EXPECT_EQ(t, lo) << row.what; break;
      case kEnd: EXPECT_EQ(t, hi) << row.what; break;
    }
  }
}

// Each transition's tangent is perpendicular to the tangent at the start of its span, and each sign change of
// that product inside a span is one transition. The output arrays have exactly the documented room.
TEST(CompositeEvaluation, TransitionsArePerpendicularToTheirSpanStart) {
  auto check = [](const VOQbsp_curve &cv, const std::vector<double> &breaks, const std::string &what) {
    const int spans = static_cast<int>(breaks.size()) - 1;
    const int room = spans * (cv.rational ? 2 * cv.order - 4 : cv.order - 2);
    std::vector<double> params(room);
    std::vector<double> points(3 * room);
    int count = -1, rc = 99;
    BSfndcvtrns(&cv, &count, reinterpret_cast<double(*)[3]>(points.data()), params.data(), &rc);
    ASSERT_EQ(rc, 0) << what;
    int expected = 0, k = 0;
    for (int i = 0; i < spans; ++i) {
      double T0[3], T[3];
      tangent(cv, breaks[i], T0);
      // Sign changes of T(t).T0 by dense sampling of the span's interior.
      double prev = 0;
      for (int j = 1; j < 2000; ++j) {
        tangent(cv, breaks[i] + (breaks[i + 1] - breaks[i]) * j / 2000, T);
        const double v = dot(T, T0);
        if (j > 1 && (v < 0) != (prev < 0)) ++expected;
        prev = v;
      }
      for (; k < count && params[k] < breaks[i + 1]; ++k) {
        EXPECT_GT(params[k], breaks[i]) << what;
        tangent(cv, params[k], T);
        EXPECT_NEAR(dot(T, T0), 0, 1e-9 * std::sqrt(dot(T, T) * dot(T0, T0))) << what << " span " << i;
        double P[3];
        int erc = 99;
        double rows[3];
        BScveval_n(&cv, params[k], 0, rows, &erc);
        std::copy(rows, rows + 3, P);
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(points[3 * k + c], P[c], 1e-12) << what;
      }
    }
    EXPECT_EQ(k, count) << what << ": in span order";
    EXPECT_EQ(count, expected) << what;
  };
  {
    ArcRecord circle;
    const double r = 2.5, c[3] = {1, -1, 2}, n[3] = {0, 0.6, 0.8};
    int rc = 99;
    ASSERT_TRUE(BSprepcirc(&rc, c, &r, n, &circle.cv, nullptr, nullptr));
    ASSERT_EQ(circle.cv.num_poles, 7);
    check(circle.cv, {circle.knots[0], circle.knots[3], circle.knots[5], circle.knots[7]}, "circle");
  }
  std::mt19937 rng(571);
  for (int trial = 0; trial < 12; ++trial) {
    auto c = random_curve(rng, 4, 4 + trial % 5, false, trial % 3 != 2);
    std::vector<double> breaks;
    for (int i = 3; i <= c->n(); ++i)
      if (breaks.empty() || c->knots[i] > breaks.back()) breaks.push_back(c->knots[i]);
    check(c->cv, breaks, "cubic " + std::to_string(trial));
  }
}

// Every heap request of the searches and of a rational evaluation to a high order may fail: rc 33 or -13 and nothing
// left, or (a failure inside the point test of the conversion, which only chooses the general path) the answer
// of an undisturbed call.
TEST(CompositeEvaluation, EveryAllocationFailureIsClean) {
  std::mt19937 rng(5757);
  auto big = random_curve(rng, 4, 150, true, true);  // its coordinate blocks do not fit the frame
  const double dir[3] = {0.3, -0.4, 0.2};
  std::vector<double> params(147 * 4), points(3 * params.size());
  const std::vector<double> space = {1, 2, 3, -1, 0, 4, 2, 0.5, 1, 4, 0.5, 0.25};  // degree 2, weight > 0
  struct Row {
    const char *what;
    std::function<int(double *answer)> call;
  } rows[] = {
      {"turning point",
       [&](double *answer) {
         double p[3];
         int rc = 99;
         BSfndcvturn(&big->cv, dir, 3, answer, p, &rc);
         return rc;
       }},
      {"transitions",
       [&](double *answer) {
         int count = -1, rc = 99;
         BSfndcvtrns(&big->cv, &count, reinterpret_cast<double(*)[3]>(points.data()), params.data(), &rc);
         *answer = count;
         return rc;
       }},
      {"a high derivative of a rational span",
       [&](double *answer) {
         double out[3];
         int rc = 99;
         BSevalgdsng(2, 3, 1, space.data(), 120, 0.4, out, &rc);
         *answer = out[0];
         return rc;
       }},
  };
  const int live = BSdbgliveblocks();
  for (const Row &row : rows) {
    double undisturbed = -1;
    const int undisturbed_rc = row.call(&undisturbed);
    ASSERT_EQ(undisturbed_rc, 0) << row.what;
    int failed = 0;
    // Every request of the first ones, then a sample through the long run of per-span requests.
    for (int at = 1; at < 100000; at += at < 60 ? 1 : 37) {
      double answer = -2;
      BSallocfailat(at);
      const int rc = row.call(&answer);
      const bool hit = BSallocfailpending() == 0;
      BSallocfailat(0);
      if (!hit) break;
      EXPECT_EQ(BSdbgliveblocks(), live) << row.what << " allocation " << at;
      EXPECT_EQ(BSscratchheapblocks(), 0) << row.what << " allocation " << at;
      if (rc == 0) {
        EXPECT_EQ(answer, undisturbed) << row.what << " allocation " << at;
        continue;
      }
      ++failed;
      EXPECT_TRUE(rc == 33 || rc == -13) << row.what << " allocation " << at << ": rc " << rc;
    }
    EXPECT_GE(failed, 1) << row.what;
  }
}

}  // namespace

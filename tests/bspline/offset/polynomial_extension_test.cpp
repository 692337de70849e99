// A Bezier span continued past an end along its own polynomial or rational function: every point of the result
// is the input's function at the same parameter, extrapolated beyond the span by the Bernstein form directly.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "bspline/offset.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

constexpr double kMark = -4242.0;

// The span's function at u (any real) from its Cartesian poles and weights over [a, b].
void extrapolate(const TestCurve &c, double u, double out[3]) {
  const int k = c.order();
  const double t = (u - c.start()) / (c.end() - c.start());
  double A[3] = {0, 0, 0}, W = 0, binom = 1;
  for (int i = 0; i < k; ++i) {
    const double B = binom * std::pow(t, i) * std::pow(1 - t, k - 1 - i);
    const double w = c.weights.empty() ? 1.0 : c.weights[i];
    for (int d = 0; d < 3; ++d) A[d] += B * w * c.pole(i, d);
    W += B * w;
    binom = binom * (k - 1 - i) / (i + 1);
  }
  for (int d = 0; d < 3; ++d) out[d] = A[d] / W;
}

struct Room {
  std::vector<double> poles, knots, weights;
  VOQbsp_curve cv{};
  explicit Room(int k) : poles(3 * (2 * k - 1), kMark), knots(3 * k - 1, kMark), weights(2 * k - 1, kMark) {
    cv.poles = poles.data(), cv.knots = knots.data(), cv.weights = weights.data();
    cv.num_poles = -1;
  }
};

// Random spans of orders 2 to 10 over random ranges, polynomial and rational, continued at either end: the
// range grows to f times the span's (10 for a polynomial line, else 4) on the continued side, or, for a
// rational span whose weights would fall too low, to a second span joined at the old end; every point of the
// result is the input's function. Input that is no single open span is refused.
TEST(PolynomialExtension, ContinuesTheSpanFunction) {
  std::mt19937 rng(1081);
  std::uniform_real_distribution<double> coord(-5, 5), wd(0.3, 3), u01(0, 1);
  int two_span = 0;
  for (int trial = 0; trial < 400; ++trial) {
    const int k = 2 + trial % 9;
    const bool rational = trial % 3 != 0, at_end = trial % 2 == 0;
    SCOPED_TRACE("trial " + std::to_string(trial));
    std::vector<double> poles, w;
    for (int i = 0; i < 3 * k; ++i) poles.push_back(coord(rng));
    for (int i = 0; i < k && rational; ++i) w.push_back(wd(rng));
    if (rational) w.front() = w.back() = 1;  // the continuation normalises its end weights to these
    const double a = 4 * u01(rng) - 2, b = a + 0.5 + 2 * u01(rng);
    std::vector<double> knots(k, a);
    knots.insert(knots.end(), k, b);
    TestCurve span(k, poles, knots, w);
    Room out(k);
    int rc = 1;
    const std::int16_t flag = at_end ? 1 : 0;
    ASSERT_TRUE(BSpoly_ext(&rc, &span.cv, &flag, &out.cv)) << rc;
    const int n = out.cv.num_poles;
    ASSERT_TRUE(n == k || n == 2 * k - 1);
    const double lo = out.knots[k - 1], hi = out.knots[n];
    const double f = !rational && k == 2 ? 10 : 4;
    if (n == k) {
      EXPECT_NEAR(hi - lo, f * (b - a), 1e-12 * f * (b - a));
    } else {
      ++two_span;
      EXPECT_TRUE(rational);
      EXPECT_LT(hi - lo, f * (b - a));
      EXPECT_NEAR(out.knots[k], at_end ? b : a, 1e-12) << "joined at the old end";
      // The given span comes back as it was (its end weights were 1 already).
      for (int i = 0; i < 3 * k && at_end; ++i) EXPECT_NEAR(out.poles[i], span.poles[i], 1e-12 * (1 + std::fabs(span.poles[i])));
    }
    EXPECT_NEAR(at_end ? lo : hi, at_end ? a : b, 1e-12) << "the other end keeps its parameter";
    TestCurve result(k, {}, std::vector<double>(out.knots.begin(), out.knots.begin() + n + k));
    for (int i = 0; i <= 40; ++i) {
      const double u = i == 40 ? hi : lo + (hi - lo) * i / 40;
      double want[3], got[3], A[3] = {0, 0, 0}, W = 0;
      extrapolate(span, u, want);
      const std::vector<double> N = ref_basis_all(result.knots, k, u, hi);
      for (int j = 0; j < n; ++j) {
        for (int d = 0; d < 3; ++d) A[d] += N[j] * out.poles[3 * j + d];
        W += N[j] * (rational ? out.weights[j] : 1.0);
      }
      for (int d = 0; d < 3; ++d) got[d] = A[d] / W;
      const double scale = 1 + std::sqrt(want[0] * want[0] + want[1] * want[1] + want[2] * want[2]);
      for (int d = 0; d < 3; ++d) EXPECT_NEAR(got[d], want[d], 1e-9 * scale) << "u " << u;
    }
  }
  EXPECT_GT(two_span, 10);
  // No single open span of order 2 to 16: -2, out untouched.
  TestCurve two_spans(3, {0, 0, 0, 1, 1, 0, 2, 0, 0, 3, 1, 0}, {0, 0, 0, 0.5, 1, 1, 1});
  TestCurve closed(3, {0, 0, 0, 1, 1, 0, 0, 0, 0}, {0, 0, 0, 1, 1, 1});
  closed.cv.phy_closed = 1;
  std::vector<double> p17(51, 1.0), k17(17, 0.0);
  k17.insert(k17.end(), 17, 1.0);
  TestCurve order17(17, p17, k17);
  for (const TestCurve *c : {&two_spans, &closed, &order17}) {
    Room out(17);
    int rc = 0;
    const std::int16_t flag = 1;
    EXPECT_FALSE(BSpoly_ext(&rc, &c->cv, &flag, &out.cv));
    EXPECT_EQ(rc, BSRC_OUT_OF_RANGE);
    EXPECT_EQ(out.poles[0], kMark);
  }
}

}  // namespace

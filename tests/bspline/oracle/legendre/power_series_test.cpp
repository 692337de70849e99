// Power-basis rational spans beside OpenCASCADE: the derivatives of numerators and denominators from
// PLib::EvalPolynomial, the quotients' derivatives from PLib::RationalDerivative.
#include <gtest/gtest.h>

#include <PLib.hxx>
#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "bspline/legendre.h"

namespace {

using Series = std::vector<double>;

// Power-basis coefficients in t on [-1, 1] of the Bernstein polynomial sum over i of b[i] B_i,p((1+t)/2).
Series bernstein_in_t(const Series &b) {
  const int p = static_cast<int>(b.size()) - 1;
  Series out(p + 1, 0.0);
  for (int i = 0; i <= p; ++i) {
    Series poly{std::tgamma(p + 1.0) / (std::tgamma(i + 1.0) * std::tgamma(p - i + 1.0))};
    for (int f = 0; f < p; ++f) {
      const double sign = f < i ? 1 : -1;  // i factors (1+t)/2, then p-i factors (1-t)/2
      Series next(poly.size() + 1, 0.0);
      for (std::size_t j = 0; j < poly.size(); ++j) {
        next[j] += poly[j] / 2;
        next[j + 1] += sign * poly[j] / 2;
      }
      poly = next;
    }
    for (int j = 0; j <= p; ++j) out[j] += b[i] * poly[j];
  }
  return out;
}

// A rational span of degree p in the layout of a mode: weights in [0.5, 2], points in [-1, 1]; the components
// stored one after another, each weighted coordinate the Bernstein sum of weight times point.
struct Span {
  int p, dim, mode;
  std::vector<Series> parts;  // X, Y (Z), then the denominators
  Series flat() const {
    Series f;
    for (const Series &s : parts) f.insert(f.end(), s.begin(), s.end());
    return f;
  }
};

Span random_span(std::mt19937 &rng, int p, int dim, int mode) {
  std::uniform_real_distribution<double> weight(0.5, 2), point(-1, 1);
  auto draw = [&](std::uniform_real_distribution<double> &d) {
    Series s(p + 1);
    for (double &x : s) x = d(rng);
    return s;
  };
  const Series w1 = draw(weight), w2 = mode == 3 ? draw(weight) : w1;
  auto weighted = [&](const Series &w) {
    Series s = draw(point);
    for (int i = 0; i <= p; ++i) s[i] *= w[i];
    return bernstein_in_t(s);
  };
  Span s{p, dim, mode, {}};
  if (dim == 3) {
    for (int c = 0; c < 3; ++c) s.parts.push_back(weighted(w1));
    s.parts.push_back(bernstein_in_t(w1));
  } else {
    s.parts.push_back(mode == 2 ? bernstein_in_t(draw(point)) : weighted(w1));
    s.parts.push_back(mode == 1 ? bernstein_in_t(draw(point)) : weighted(w2));
    s.parts.push_back(bernstein_in_t(w1));
    if (mode == 3) s.parts.push_back(bernstein_in_t(w2));
  }
  return s;
}

// Derivative k of numerators over one denominator (dim numerators; den NULL for a polynomial), by OpenCASCADE.
Series occt_derivative(int p, int k, const std::vector<const Series *> &nums, const Series *den, double t) {
  const int dim = static_cast<int>(nums.size()), width = dim + (den ? 1 : 0), order = std::min(k, p);
  Series coef, ders((order + 1) * width);
  for (int j = 0; j <= p; ++j) {
    for (const Series *n : nums) coef.push_back((*n)[j]);
    if (den) coef.push_back((*den)[j]);
  }
  PLib::EvalPolynomial(t, order, p, width, coef.front(), ders.front());
  if (!den) {
    Series out(dim, 0.0);
    if (k <= p) std::copy(ders.begin() + k * dim, ders.begin() + (k + 1) * dim, out.begin());
    return out;
  }
  Series rders((k + 1) * dim);
  PLib::RationalDerivative(p, k, dim, ders.front(), rders.front(), Standard_True);
  return Series(rders.begin() + k * dim, rders.end());
}

Series reference(const Span &s, int k, double t) {
  if (s.dim == 3) return occt_derivative(s.p, k, {&s.parts[0], &s.parts[1], &s.parts[2]}, &s.parts[3], t);
  const Series *dx = s.mode == 2 ? nullptr : &s.parts[2];
  const Series *dy = s.mode == 1 ? nullptr : &s.parts[s.mode == 3 ? 3 : 2];
  return {occt_derivative(s.p, k, {&s.parts[0]}, dx, t)[0], occt_derivative(s.p, k, {&s.parts[1]}, dy, t)[0]};
}

TEST(PowerSeriesOracle, RationalDerivativesAgreeWithOpenCascade) {
  std::mt19937 rng(40);
  std::uniform_real_distribution<double> param(-1, 1);
  const int shapes[][2] = {{2, 1}, {2, 2}, {2, 3}, {3, 1}};  // dim, mode
  for (const auto &shape : shapes)
    for (int p = 1; p <= 6; ++p)
      for (int trial = 0; trial < 3; ++trial) {
        const Span span = random_span(rng, p, shape[0], shape[1]);
        const Series coef = span.flat();
        // Every numerator with its denominator scaled by 1e-3 (a polynomial coordinate stays): the same curve.
        Span small_span = span;
        for (std::size_t c = 0; c < span.parts.size(); ++c)
          if (!(span.dim == 2 && static_cast<int>(c) == 2 - span.mode))
            for (double &x : small_span.parts[c]) x *= 1e-3;
        const Series scaled = small_span.flat();
        for (double t : {-1.0, 1.0, param(rng), param(rng), param(rng)})
          for (int k = 0; k <= 5; ++k) {
            const Series ref = reference(span, k, t);
            double size = 0;
            for (double v : ref) size = std::max(size, std::fabs(v));
            const double tol = 1e-13 * std::max(size, 1.0);
            double ours[3] = {NAN, NAN, NAN}, small[3] = {NAN, NAN, NAN};
            int rc = -99;
            BSevacansng(p, span.dim, span.mode, coef.data(), k, t, ours, &rc);
            ASSERT_EQ(rc, 0) << "dim " << span.dim << " mode " << span.mode << " degree " << p << " k " << k;
            BSevacansng(p, span.dim, span.mode, scaled.data(), k, t, small, &rc);
            ASSERT_EQ(rc, 0) << "scaled, dim " << span.dim << " mode " << span.mode << " degree " << p << " k " << k;
            for (int i = 0; i < span.dim; ++i) {
              EXPECT_NEAR(ours[i], ref[i], tol)
                  << "dim " << span.dim << " mode " << span.mode << " degree " << p << " k " << k << " t " << t;
              EXPECT_NEAR(small[i], ref[i], tol)
                  << "scaled, dim " << span.dim << " mode " << span.mode << " degree " << p << " k " << k;
            }
          }
      }
}

}  // namespace

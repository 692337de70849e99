// The basis conversions keep the polynomial: each result evaluated in its own basis equals the input evaluated in
// its basis, the Legendre side summed over GSL's gsl_sf_legendre_Pl_array, the Chebyshev side by gsl_cheb_eval,
// power series by gsl_poly_eval; Bernstein forms by de Casteljau's scheme written here.
#include <gsl/gsl_chebyshev.h>
#include <gsl/gsl_poly.h>
#include <gsl/gsl_sf_legendre.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <functional>
#include <random>
#include <vector>

#include "bspline/legendre.h"

namespace {

using Series = std::vector<double>;

// A value and the size of the terms it was summed from (the scale its rounding is measured against).
struct Value {
  double v, scale;
};

Value legendre_at(const Series &c, double t) {
  const int n = static_cast<int>(c.size()) - 1;
  std::vector<double> P(std::max(n, 1) + 1);
  gsl_sf_legendre_Pl_array(std::max(n, 1), t, P.data());
  Value r{0, 0};
  for (int k = 0; k <= n; ++k) {
    r.v += c[k] * P[k];
    r.scale += std::fabs(c[k] * P[k]);
  }
  return r;
}

Value chebyshev_at(const Series &c, double t) {
  gsl_cheb_series *cs = gsl_cheb_alloc(c.size() - 1);
  cs->a = -1;
  cs->b = 1;
  Value r{0, 0};
  for (std::size_t k = 0; k < c.size(); ++k) {
    cs->c[k] = k == 0 ? 2 * c[0] : c[k];  // GSL sums c[0]/2
    r.scale += std::fabs(c[k]);
  }
  r.v = gsl_cheb_eval(cs, t);
  gsl_cheb_free(cs);
  return r;
}

Value power_at(const Series &c, double t) {
  Value r{gsl_poly_eval(c.data(), static_cast<int>(c.size()), t), 0};
  for (std::size_t k = 0; k < c.size(); ++k) r.scale += std::fabs(c[k]) * std::pow(std::fabs(t), k);
  return r;
}

Value bernstein_at(const Series &b, double u) {
  Series w = b;
  for (std::size_t p = w.size(); p-- > 1;)
    for (std::size_t j = 0; j < p; ++j) w[j] = (1 - u) * w[j] + u * w[j + 1];
  Value r{w[0], 0};
  for (double x : b) r.scale = std::max(r.scale, std::fabs(x));  // a convex combination
  return r;
}

using Eval = std::function<Value(const Series &, double)>;
const Eval kLegendre = legendre_at, kChebyshev = chebyshev_at, kPower = power_at, kBernstein = bernstein_at;
// The Bezier forms of a Legendre series live on u = (t+1)/2.
const Eval kBernsteinOfT = [](const Series &b, double t) { return bernstein_at(b, (t + 1) / 2); };

Series random_series(std::mt19937 &rng, int n) {
  std::uniform_real_distribution<double> d(-1, 1);
  Series c(n + 1);
  for (double &x : c) x = d(rng);
  return c;
}

::testing::AssertionResult same_value(Value a, Value b, double rel) {
  const double tol = rel * std::max(a.scale, b.scale);
  if (std::fabs(a.v - b.v) <= tol) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << a.v << " vs " << b.v << " beyond " << tol;
}

TEST(LegendreBasesOracle, ConversionsKeepThePolynomial) {
  using Conv = std::function<void(int, const double *, double *, int *)>;
  struct Case {
    const char *name;
    Conv fn;
    Eval in, out;
    // Parameters in [lo, 1]: the Bernstein forms on [0, 1] of BScantbez and BSbeztcan take u >= 0.
    double lo;
    std::vector<int> degrees;
    // The terms of the random series above this part of the degree set to 0, as in a span whose degree was
    // raised: the Bernstein coefficients of the single P_k, binom(k, j) at degree k, far exceed the series' own.
    double nonzero = 1;
  };
  const Conv beztcan = [](int n, const double *in, double *out, int *rc) {
    *rc = 0;
    BSbeztcan(n, in, out);
  };
  const Case cases[] = {
      {"BStchtlgd", BStchtlgd, kChebyshev, kLegendre, -1, {0, 1, 2, 3, 4, 9, 60, 200, 325}},
      {"BSlgdttch", BSlgdttch, kLegendre, kChebyshev, -1, {0, 1, 2, 3, 4, 9, 60, 200, 325}},
      {"BSlgdtcan", BSlgdtcan, kLegendre, kPower, -1, {0, 1, 2, 3, 4, 5, 12, 30, 63}},
      {"BScantlgd", BScantlgd, kPower, kLegendre, -1, {0, 1, 2, 3, 4, 5, 12, 30, 64, 127}},
      {"BSlgdtbez", BSlgdtbez, kLegendre, kBernsteinOfT, -1, {0, 1, 2, 5, 15, 16, 24}},
      {"BSlgdtbez, the top quarter 0", BSlgdtbez, kLegendre, kBernsteinOfT, -1, {40, 96, 200}, 0.75},
      {"BScantbez", BScantbez, kPower, kBernstein, 0, {0, 1, 2, 5, 15, 16, 30}},
      {"BSbeztcan", beztcan, kBernstein, kPower, 0, {0, 1, 2, 5, 15, 16, 20}},
  };
  std::mt19937 rng(21);
  for (const Case &c : cases) {
    std::uniform_real_distribution<double> param(c.lo, 1);
    for (int n : c.degrees) {
      Series in = random_series(rng, n);
      for (int k = 0; k <= n; ++k)
        if (k > c.nonzero * n) in[k] = 0;
      Series out(n + 1, NAN);
      int rc = -99;
      c.fn(n, in.data(), out.data(), &rc);
      ASSERT_EQ(rc, 0) << c.name << " " << n;
      for (int i = 0; i < 50; ++i) {
        const double t = param(rng);
        EXPECT_TRUE(same_value(c.in(in, t), c.out(out, t), 1e-13)) << c.name << " degree " << n << " at " << t;
      }
    }
  }
}

TEST(LegendreBasesOracle, BernsteinHalvingElevationAndComponents) {
  std::mt19937 rng(4);
  std::uniform_real_distribution<double> param(0, 1);
  for (int n : {0, 1, 3, 12, 25}) {
    const Series b = random_series(rng, n);
    Series half(n + 1), up(n + 2);
    BSbezrhalf(n, b.data(), half.data());
    BSbezelev(n, b.data(), up.data());
    for (int i = 0; i < 50; ++i) {
      const double u = param(rng);
      EXPECT_TRUE(same_value(bernstein_at(half, u), bernstein_at(b, (1 + u) / 2), 1e-14)) << n;
      EXPECT_TRUE(same_value(bernstein_at(up, u), bernstein_at(b, u), 1e-14)) << n;
    }
  }
  // BScvlgdtbez: three components of one degree, each as BSlgdtbez makes it alone.
  const int n = 18;
  Series coef(3 * (n + 1)), out(3 * (n + 1)), one(n + 1);
  for (double &x : coef) x = std::uniform_real_distribution<double>(-1, 1)(rng);
  int rc = -99;
  BScvlgdtbez(n, 3, coef.data(), out.data(), &rc);
  ASSERT_EQ(rc, 0);
  for (int d = 0; d < 3; ++d) {
    BSlgdtbez(n, coef.data() + d * (n + 1), one.data(), &rc);
    EXPECT_TRUE(std::equal(one.begin(), one.end(), out.begin() + d * (n + 1))) << d;
  }
}

// out(s) = in(h s + c) on random [a, b] inside [-1, 1], also near its ends and very narrow.
TEST(LegendreBasesOracle, ReexpansionsOnSubintervals) {
  std::mt19937 rng(13);
  std::uniform_real_distribution<double> param(-1, 1), end(-1, 1);
  std::vector<std::pair<double, double>> intervals = {{-1, 1}, {0.999, 1}, {-1, -0.5}, {0.3, 0.3000001}};
  for (int i = 0; i < 6; ++i) {
    double a = end(rng), b = end(rng);
    if (a > b) std::swap(a, b);
    intervals.emplace_back(a, b);
  }
  for (int n : {0, 1, 2, 3, 7, 20, 40}) {
    for (const auto &[a, b] : intervals) {
      const double h = (b - a) / 2, c = (a + b) / 2;
      // Two Chebyshev components at once.
      const Series cheb = random_series(rng, 2 * n + 1);
      Series cheb_out(2 * (n + 1));
      int rc = -99;
      BSlimtchab(n, 2, cheb.data(), a, b, cheb_out.data(), &rc);
      ASSERT_EQ(rc, 0);
      const Series pw = random_series(rng, n), lgd = random_series(rng, n);
      Series pw_out(n + 1), lgd_out(n + 1, 0), M((n + 1) * (n + 1));
      BSlimcanab(n, pw.data(), a, b, pw_out.data());
      BSlimlgdab1(n, h, c, M.data());
      for (int j = 0; j <= n; ++j)
        for (int k = 0; k <= n; ++k) lgd_out[j] += M[j * (n + 1) + k] * lgd[k];
      for (int i = 0; i < 50; ++i) {
        const double s = param(rng), t = h * s + c;
        for (int d = 0; d < 2; ++d) {
          const Series in(cheb.begin() + d * (n + 1), cheb.begin() + (d + 1) * (n + 1));
          const Series out(cheb_out.begin() + d * (n + 1), cheb_out.begin() + (d + 1) * (n + 1));
          EXPECT_TRUE(same_value(chebyshev_at(out, s), chebyshev_at(in, t), 1e-13))
              << "Chebyshev " << n << " on [" << a << ", " << b << "]";
        }
        EXPECT_TRUE(same_value(power_at(pw_out, s), power_at(pw, t), 1e-13))
            << "power " << n << " on [" << a << ", " << b << "]";
        EXPECT_TRUE(same_value(legendre_at(lgd_out, s), legendre_at(lgd, t), 1e-13))
            << "Legendre " << n << " on [" << a << ", " << b << "]";
      }
    }
  }
}

}  // namespace

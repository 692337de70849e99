// Series arithmetic and power-basis curves beside independent sums: Legendre values and derivatives from GSL's
// gsl_sf_legendre_Pl_array and gsl_sf_legendre_Pl_deriv_array, Chebyshev values from cos(k acos t), and rational
// derivatives from OpenCASCADE's PLib::RationalDerivative.
#include <gsl/gsl_sf_legendre.h>
#include <gtest/gtest.h>

#include <PLib.hxx>
#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "bspline/legendre.h"

namespace {

using Series = std::vector<double>;
using LD = long double;

Series random_series(std::mt19937 &rng, int n, double lo = -1, double hi = 1) {
  std::uniform_real_distribution<double> d(lo, hi);
  Series c(n + 1);
  for (double &x : c) x = d(rng);
  return c;
}

// d^k P_l / dt^k for l = 0..n: GSL's values, and its first derivatives away from the ends (it divides by
// 1 - t^2 and loses digits near them); the other derivatives from GSL's values through the differentiated
// three-term recurrence (l+1) P_l+1^(j) = (2l+1)(t P_l^(j) + j P_l^(j-1)) - l P_l-1^(j).
std::vector<LD> legendre_derivatives(int n, double t, int k) {
  const int top = std::max(n, 1);
  std::vector<double> P(top + 1), dP(top + 1);
  gsl_sf_legendre_Pl_deriv_array(top, t, P.data(), dP.data());
  if (k == 1 && std::fabs(t) < 0.99) return std::vector<LD>(dP.begin(), dP.end());
  std::vector<LD> cur(P.begin(), P.end());
  for (int order = 1; order <= k; ++order) {
    std::vector<LD> next(top + 1, 0);
    next[1] = order == 1;
    for (int l = 1; l < top; ++l)
      next[l + 1] = ((2 * l + 1) * (t * next[l] + order * cur[l]) - l * next[l - 1]) / (l + 1);
    cur.swap(next);
  }
  return cur;
}

// A value with the sum of the magnitudes of its terms, against which its rounding is measured.
struct Value {
  double v, scale;
};

Value legendre_at(const Series &c, double t, int k = 0) {
  const int n = static_cast<int>(c.size()) - 1;
  const std::vector<LD> P = legendre_derivatives(n, t, k);
  LD v = 0, s = 0;
  for (int l = 0; l <= n; ++l) {
    v += c[l] * P[l];
    s += std::fabs(c[l] * P[l]);
  }
  return {static_cast<double>(v), static_cast<double>(s)};
}

Value chebyshev_at(const Series &c, double t) {
  Value r{0, 0};
  for (std::size_t k = 0; k < c.size(); ++k) {
    const double T = std::cos(k * std::acos(t));
    r.v += c[k] * T;
    r.scale += std::fabs(c[k]);
  }
  return r;
}

::testing::AssertionResult near(double ours, Value ref, double rel) {
  const double tol = rel * std::max(ref.scale, 1e-300);
  if (std::fabs(ours - ref.v) <= tol) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << ours << " vs " << ref.v << " beyond " << tol;
}

std::vector<double> parameters(std::mt19937 &rng, int count) {
  std::uniform_real_distribution<double> d(-1, 1);
  std::vector<double> t = {-1.0, 1.0, 0.0, 0.9999999};
  while (static_cast<int>(t.size()) < count) t.push_back(d(rng));
  return t;
}

TEST(LegendreSeriesOracle, ValuesAndDerivativesAgreeWithGsl) {
  std::mt19937 rng(40);
  const std::vector<double> ts = parameters(rng, 24);
  // Degrees on either side of where the recurrence's ratios stop coming from a table.
  for (int n : {0, 1, 2, 3, 5, 8, 13, 21, 34, 47, 60, 64, 65, 90}) {
    const Series a = random_series(rng, n), b = random_series(rng, n);
    Series ab(a);
    ab.insert(ab.end(), b.begin(), b.end());
    // Five series side by side: the value of any leading count of them, a count of its own in each evaluation.
    std::vector<Series> five = {a, b};
    Series all(ab);
    for (int i = 2; i < 5; ++i) {
      five.push_back(random_series(rng, n));
      all.insert(all.end(), five.back().begin(), five.back().end());
    }
    for (double t : ts) {
      for (int dim = 1; dim <= 5; ++dim) {
        // A component's block is n + 1 long whatever the count, so the leading blocks of all stand alone.
        double vals[5] = {NAN, NAN, NAN, NAN, NAN};
        int rc = -99;
        BSpocurvlgd(n, dim, all.data(), t, vals, &rc);
        ASSERT_EQ(rc, 0);
        for (int c = 0; c < dim; ++c)
          EXPECT_TRUE(near(vals[c], legendre_at(five[c], t), 1e-13))
              << "BSpocurvlgd degree " << n << " dim " << dim << " component " << c << " at " << t;
        for (int c = dim; c < 5; ++c) EXPECT_TRUE(std::isnan(vals[c])) << "BSpocurvlgd wrote past dim " << dim;
      }
      for (int k = 0; k <= 4; ++k) {
        const Value ra = legendre_at(a, t, k), rb = legendre_at(b, t, k);
        double v = NAN, vec[2] = {NAN, NAN};
        int rc = -99;
        BSevalgder(n, a.data(), k, t, &v, &rc);
        ASSERT_EQ(rc, 0);
        EXPECT_TRUE(near(v, ra, 1e-13)) << "BSevalgder degree " << n << " k " << k << " at " << t;
        BSpocvlgder(n, 2, ab.data(), k, t, vec, &rc);
        ASSERT_EQ(rc, 0);
        EXPECT_TRUE(near(vec[0], ra, 1e-13)) << "BSpocvlgder degree " << n << " k " << k << " at " << t;
        EXPECT_TRUE(near(vec[1], rb, 1e-13)) << "BSpocvlgder degree " << n << " k " << k << " at " << t;
      }
    }
  }
}

TEST(LegendreSeriesOracle, ProductsArePointwiseProducts) {
  std::mt19937 rng(41);
  const std::vector<double> ts = parameters(rng, 50);
  const int degrees[][2] = {{0, 0}, {1, 1}, {3, 0}, {0, 4}, {7, 3}, {2, 9}, {15, 15}, {30, 5}, {40, 60}, {160, 150}};
  for (const auto &d : degrees) {
    const Series a = random_series(rng, d[0]), b = random_series(rng, d[1]);
    Series lgd(d[0] + d[1] + 1, NAN), tch(d[0] + d[1] + 1, NAN);
    int rc = -99;
    BSprodpolgd(d[0], d[1], a.data(), b.data(), lgd.data(), &rc);
    ASSERT_EQ(rc, 0);
    BSprodpoltch(d[0], a.data(), d[1], b.data(), tch.data(), &rc);
    // The ordered form takes its operands in either order.
    Series direct(lgd.size(), NAN);
    BSprodpolgd1(d[0], d[1], a.data(), b.data(), direct.data(), &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(direct, lgd) << d[0] << " x " << d[1];
    for (double t : ts) {
      const Value la = legendre_at(a, t), lb = legendre_at(b, t);
      EXPECT_TRUE(near(legendre_at(lgd, t).v, {la.v * lb.v, la.scale * lb.scale}, 1e-13))
          << "Legendre " << d[0] << " x " << d[1] << " at " << t;
      const Value ca = chebyshev_at(a, t), cb = chebyshev_at(b, t);
      EXPECT_TRUE(near(chebyshev_at(tch, t).v, {ca.v * cb.v, ca.scale * cb.scale}, 1e-13))
          << "Chebyshev " << d[0] << " x " << d[1] << " at " << t;
    }
  }
}

// The common-denominator form describes the same plane curve as the rational modes it came from.
TEST(LegendreSeriesOracle, CommonDenominatorKeepsTheCurve) {
  std::mt19937 rng(42);
  const std::vector<double> ts = parameters(rng, 50);
  for (int mode = 1; mode <= 3; ++mode)
    for (int n : {0, 1, 4, 12, 40}) {
      const int nc = mode == 3 ? 4 : 3, len = n + 1, len2 = 2 * n + 1;
      Series in;
      for (int c = 0; c < nc; ++c) {
        // Denominators stay between 0.5 and 1.5: a constant 1 and small higher terms.
        Series s = c >= 2 ? random_series(rng, n, -0.5 / len, 0.5 / len) : random_series(rng, n);
        if (c >= 2) s[0] = 1;
        in.insert(in.end(), s.begin(), s.end());
      }
      Series out(3 * len2, NAN);
      int m = -99, rc = -99;
      BSlgdratstd(n, mode, in.data(), &m, out.data(), &rc);
      ASSERT_EQ(rc, 0);
      ASSERT_EQ(m, 2 * n);
      auto part = [](const Series &s, int i, int l) { return Series(s.begin() + i * l, s.begin() + (i + 1) * l); };
      for (double t : ts) {
        const Value X = legendre_at(part(in, 0, len), t), Y = legendre_at(part(in, 1, len), t);
        const Value W1 = legendre_at(part(in, 2, len), t);
        const Value W2 = mode == 3 ? legendre_at(part(in, 3, len), t) : Value{1, 1};
        const double x = mode == 2 ? X.v : X.v / W1.v, y = mode == 1 ? Y.v : Y.v / (mode == 2 ? W1.v : W2.v);
        const double W = legendre_at(part(out, 2, len2), t).v;
        EXPECT_NEAR(legendre_at(part(out, 0, len2), t).v / W, x, 1e-13 * len * 4) << mode << " " << n << " " << t;
        EXPECT_NEAR(legendre_at(part(out, 1, len2), t).v / W, y, 1e-13 * len * 4) << mode << " " << n << " " << t;
      }
    }
}

// Denominators with every zero at least 0.5 away from [-1, 1]: roots on the real line beyond ±1.5 or off it by
// at least 0.5, multiplied out in the power basis and converted.
Series safe_denominator(std::mt19937 &rng, int n) {
  std::uniform_real_distribution<double> u(0, 1);
  Series pw{1.0};
  auto times = [&pw](const Series &q) {
    Series r(pw.size() + q.size() - 1, 0.0);
    for (std::size_t i = 0; i < pw.size(); ++i)
      for (std::size_t j = 0; j < q.size(); ++j) r[i + j] += pw[i] * q[j];
    pw = r;
  };
  int deg = 0;
  while (deg < n) {
    if (n - deg >= 2 && u(rng) < 0.5) {
      const double re = 4 * u(rng) - 2, im = 0.5 + u(rng);
      times({re * re + im * im, -2 * re, 1});
      deg += 2;
    } else {
      const double z = (u(rng) < 0.5 ? -1 : 1) * (1.5 + u(rng));
      times({-z, 1});
      deg += 1;
    }
  }
  Series lgd(n + 1);
  int rc = 0;
  BScantlgd(n, pw.data(), lgd.data(), &rc);
  return lgd;
}

TEST(LegendreSeriesOracle, QuotientTimesDenominatorGivesTheNumerator) {
  std::mt19937 rng(43);
  const std::vector<double> ts = parameters(rng, 50);
  for (int trial = 0; trial < 121; ++trial) {
    const int na = trial % 11, nb = trial / 11;
    const Series a = random_series(rng, na), b = safe_denominator(rng, nb);
    Series q(320, NAN);
    int m = -99, rc = -99;
    BSdivlgdlgd(na, a.data(), nb, b.data(), &m, q.data(), &rc);
    ASSERT_EQ(rc, 0) << na << " / " << nb;
    EXPECT_LE(m, 120) << na << " / " << nb;
    q.resize(m + 1);
    // The fit errs by the rounding of its samples, so the quotient is held to its own largest value.
    double qmax = 0;
    for (double t : ts) qmax = std::max(qmax, std::fabs(legendre_at(a, t).v / legendre_at(b, t).v));
    for (double t : ts) {
      const Value va = legendre_at(a, t), vb = legendre_at(b, t);
      EXPECT_NEAR(legendre_at(q, t).v * vb.v, va.v, 1e-12 * (qmax * std::fabs(vb.v) + va.scale))
          << na << " / " << nb << " at " << t;
    }
  }
}

}  // namespace

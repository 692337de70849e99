#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/legendre.h"
#include "bspline/measure.h"

namespace {

using LD = long double;
const int kRules[9] = {4, 8, 12, 16, 20, 40, 80, 160, 320};
const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::vector<double> random_series(std::mt19937 &rng, int n) {
  std::uniform_real_distribution<double> d(-1, 1);
  std::vector<double> c(n + 1);
  for (double &x : c) x = d(rng);
  return c;
}

double max_abs(const std::vector<double> &v) {
  double m = 0;
  for (double x : v) m = std::fmax(m, std::fabs(x));
  return m;
}

// P_0(x) .. P_n(x) in long double.
std::vector<LD> legendre_values(int n, LD x) {
  std::vector<LD> p(n + 1);
  p[0] = 1;
  if (n >= 1) p[1] = x;
  for (int m = 2; m <= n; ++m) p[m] = ((2 * m - 1) * x * p[m - 1] - (m - 1) * p[m - 2]) / m;
  return p;
}

// g_s = binom(2s, s) / 4^s.
LD g(int s) {
  LD v = 1;
  for (int i = 1; i <= s; ++i) v *= (2 * i - 1) / (LD)(2 * i);
  return v;
}

LD binom(int a, int b) {
  LD v = 1;
  for (int i = 1; i <= b; ++i) v = v * (a - b + i) / i;
  return v;
}

// Closed forms, independent of the recurrences that generated the tables.
LD cheb_in_legendre(int k, int n) {  // coefficient of P_k in T_n, n - k even
  if (n == 0) return 1;
  if (k == n) {
    LD v = 0.5L;
    for (int i = 1; i <= n; ++i) v *= (2 * i) / (LD)(2 * i - 1);
    return v;
  }
  const int s = (n - k) / 2, q = (n + k) / 2;
  return -(LD)n * (k + 0.5L) * g(s - 1) / (q * g(q) * (n + k + 1) * (LD)(n - k));
}
LD legendre_in_cheb(int j, int n) { return (j == 0 ? 1 : 2) * g((n - j) / 2) * g((n + j) / 2); }
LD power_in_legendre_poly(int m, int k) {  // coefficient of t^m in P_k
  const int s = (k - m) / 2;
  return (s % 2 ? -1 : 1) * binom(k, s) * binom(2 * k - 2 * s, k) / std::ldexp(1.0L, k);
}
LD legendre_in_power(int k, int m) {  // coefficient of P_k in t^m
  const int q = (m - k) / 2;
  LD v = 2 * k + 1;
  for (int i = 2; i <= m; ++i) v *= i;
  for (int i = 2; i <= q; ++i) v /= i;
  for (int i = m + k + 1; i > 1; i -= 2) v /= i;
  return v / std::ldexp(1.0L, q);
}

// Within one unit in the last place of the reference, beyond the reference's own error bound.
::testing::AssertionResult within_ulp(double table, LD ref, LD ref_error = 0) {
  const double r = static_cast<double>(ref);
  const double ulp = std::nextafter(std::fabs(r), INFINITY) - std::fabs(r);
  if (std::fabs(table - ref) <= ulp + ref_error) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << table << " vs " << static_cast<double>(ref) << " (" << ulp << " ulp)";
}

// Each conversion as one call form: (degree, in, out) -> rc; the re-expansions on [-1, 1] and [-0.25, 0.5].
using Call = std::function<int(int, const double *, double *)>;
Call with_rc(void (*fn)(int, const double *, double *, int *)) {
  return [fn](int n, const double *in, double *out) {
    int rc = 99;
    fn(n, in, out, &rc);
    return rc;
  };
}
Call no_rc(void (*fn)(int, const double *, double *)) {
  return [fn](int n, const double *in, double *out) {
    fn(n, in, out);
    return 0;
  };
}
const Call kHifit = with_rc(BShifit), kTchtlgd = with_rc(BStchtlgd), kLgdttch = with_rc(BSlgdttch),
           kLgdtcan = with_rc(BSlgdtcan), kCantlgd = with_rc(BScantlgd), kLgdtbez = with_rc(BSlgdtbez),
           kCantbez = with_rc(BScantbez), kBeztcan = no_rc(BSbeztcan), kBezrhalf = no_rc(BSbezrhalf),
           kBezelev = no_rc(BSbezelev), kCantlgd1 = no_rc(BScantlgd1);
const Call kLimtchab = [](int n, const double *in, double *out) {
  int rc = 99;
  BSlimtchab(n, 1, in, -1, 1, out, &rc);
  return rc;
};
const Call kLimtchabPart = [](int n, const double *in, double *out) {
  int rc = 99;
  BSlimtchab(n, 1, in, -0.25, 0.5, out, &rc);
  return rc;
};
const Call kLimcanab = no_rc([](int n, const double *in, double *out) { BSlimcanab(n, in, -0.25, 0.5, out); });

TEST(LegendreBases, TheDocumentedCases) {
  const double third = 1.0 / 3;
  const struct {
    const char *what;
    Call call;
    int n;  // the degree; BShifit's sample count
    std::vector<double> in, expected;
  } cases[] = {
      {"constant samples", kHifit, 4, {2.5, 2.5, 2.5, 2.5}, {2.5, 0, 0, 0}},
      {"T2 to Legendre", kTchtlgd, 2, {0, 0, 1}, {-third, 0, 4 * third}},
      {"P2 to Chebyshev", kLgdttch, 2, {0, 0, 1}, {0.25, 0, 0.75}},
      {"P3 to power", kLgdtcan, 3, {0, 0, 0, 1}, {0, -1.5, 0, 2.5}},
      {"t^3 to Legendre", kCantlgd, 3, {0, 0, 0, 1}, {0, 0.6, 0, 0.4}},
      {"P1 to Bernstein", kLgdtbez, 1, {0, 1}, {-1, 1}},
      {"P2 to Bernstein", kLgdtbez, 2, {0, 0, 1}, {1, -2, 1}},
      {"cubic to Bernstein", kCantbez, 3, {1, 2, -3, 0.5}, {1, 5 * third, 4 * third, 0.5}},
      {"Bernstein to cubic", kBeztcan, 3, {1, 5 * third, 4 * third, 0.5}, {1, 2, -3, 0.5}},
      {"Chebyshev on [-1, 1]", kLimtchab, 3, {0.3, -1.2, 0.7, 2.0}, {0.3, -1.2, 0.7, 2.0}},
      {"constant on [-0.25, 0.5]", kLimtchabPart, 0, {-4}, {-4}},
  };
  for (const auto &c : cases) {
    std::vector<double> got(c.expected.size(), kNaN);
    ASSERT_EQ(c.call(c.n, c.in.data(), got.data()), 0) << c.what;
    for (std::size_t j = 0; j < got.size(); ++j) EXPECT_NEAR(got[j], c.expected[j], 1e-15) << c.what << " " << j;
  }
}

// A refusal leaves the output untouched and leaves its name on the trace; the zero series (degree -1) is
// accepted and nothing is written. A sample that is not finite is refused like an unsupported count.
TEST(LegendreBases, RefusalsAndTheZeroSeries) {
  const struct {
    const char *name;
    Call call;
    int n, rc;
    int poisoned = -1;  // the input entry set to `poison`
    double poison = 0;
  } cases[] = {
      {"BShifit", kHifit, 6, -2},       {"BShifit", kHifit, 640, -2},     {"BShifit", kHifit, -4, -2},
      {"BShifit", kHifit, 4, -2, 2, kNaN}, {"BShifit", kHifit, 8, -2, 0, -INFINITY},
      {"BShifit", kHifit, 320, -2, 319, INFINITY},
      {"BStchtlgd", kTchtlgd, 326, -2}, {"BSlgdttch", kLgdttch, 326, -2}, {"BSlgdtcan", kLgdtcan, 64, -2},
      {"BScantlgd", kCantlgd, 128, -2}, {"", kCantlgd1, 128, 0},
      {"", kTchtlgd, -1, 0},            {"", kLgdttch, -3, 0},            {"", kLgdtcan, -1, 0},
      {"", kCantlgd, -1, 0},            {"", kLgdtbez, -1, 0},            {"", kCantbez, -2, 0},
      {"", kBeztcan, -1, 0},            {"", kBezrhalf, -1, 0},           {"", kBezelev, -1, 0},
      {"", kLimtchab, -1, 0},           {"", kLimcanab, -1, 0},           {"", kCantlgd1, -1, 0},
  };
  const std::vector<double> in(700, 1.0);
  for (const auto &c : cases) {
    std::vector<double> samples = in, out(700, 7.0);
    if (c.poisoned >= 0) samples[c.poisoned] = c.poison;
    BStraceclear();
    EXPECT_EQ(c.call(c.n, samples.data(), out.data()), c.rc) << c.name << " " << c.n;
    EXPECT_EQ(std::count(out.begin(), out.end(), 7.0), 700) << c.name << " " << c.n << " wrote";
    ASSERT_EQ(BStracecount(), c.rc != 0);
    if (c.rc != 0) {
      EXPECT_STREQ(BStracetable()[0].name, c.name);
    }
  }
  double o[4] = {7, 7, 7, 7};
  BSlimtchab1(-1, 1, 0, o);
  BSlimlgdab1(-1, 1, 0, o);
  int rc = 99;
  BScvlgdtbez(-1, 3, in.data(), o, &rc);
  EXPECT_EQ(rc, 0);
  BScvlgdtbez(2, -1, in.data(), o, &rc);
  EXPECT_EQ(rc, -2);
  // The re-expansion interval: -1 <= a < b <= 1, NaN refused; a negative dim too.
  const double ab[][2] = {{-1.5, 0}, {0, 1.25}, {0.5, 0.5}, {0.5, -0.5}, {kNaN, 1}, {-1, kNaN}};
  for (const auto &iv : ab) {
    BSlimtchab(2, 1, in.data(), iv[0], iv[1], o, &rc);
    EXPECT_EQ(rc, -2) << iv[0] << ", " << iv[1];
  }
  BSlimtchab(2, -1, in.data(), -1, 1, o, &rc);
  EXPECT_EQ(rc, -2);
  for (double v : o) EXPECT_EQ(v, 7.0);
}

// Every table entry against the closed forms in long double: all rows up to degree 40, and the first, middle and
// last entry of every other row.
TEST(LegendreBases, TablesAgreeWithClosedForms) {
  // The references assume an extended long double; a runtime that narrowed it would make them unfit.
  volatile LD one = 1, tiny = std::ldexp(1.0L, -60);
  ASSERT_NE(one + tiny, one) << "long double is not extended here";
  auto picks = [](int degree, int count) {
    std::vector<int> s;
    if (degree <= 40) {
      for (int i = 0; i < count; ++i) s.push_back(i);
    } else {
      s = {0, count / 2, count - 1};
    }
    return s;
  };

  EXPECT_EQ(BStchlgdtab[0], 325.0);
  EXPECT_EQ(BSlgdtchtab[0], 325.0);
  for (int j = 0; j <= BSTCH_LIMIT; ++j) {
    const int count = 163 - j / 2;
    for (int s : picks(j + 2 * (count - 1), count)) {
      const int n = j + 2 * s;
      EXPECT_TRUE(within_ulp(BStchlgdtab[BStchrow(j) + s], cheb_in_legendre(j, n))) << "P" << j << " in T" << n;
      EXPECT_TRUE(within_ulp(BSlgdtchtab[BStchrow(j) + s], legendre_in_cheb(j, n))) << "T" << j << " in P" << n;
    }
  }
  EXPECT_EQ(BStchrow(BSTCH_LIMIT) + 1, BSTCHTAB_COUNT);

  for (int i = 0; i < 32; ++i)
    for (int s = 0; s < 32 - i; ++s) {
      const int row = BSparityrow(32, i);
      EXPECT_TRUE(within_ulp(BSlgdcanev[row + s], power_in_legendre_poly(2 * i, 2 * i + 2 * s))) << i << " " << s;
      EXPECT_TRUE(within_ulp(BSlgdcanod[row + s], power_in_legendre_poly(2 * i + 1, 2 * i + 1 + 2 * s)));
    }
  EXPECT_EQ(BSparityrow(32, 32), BSLGDCAN_COUNT);
  for (int i = 0; i < 64; ++i)
    for (int s = 0; s < 64 - i; ++s) {
      const int row = BSparityrow(64, i);
      EXPECT_TRUE(within_ulp(BScanlgdev[row + s], legendre_in_power(2 * i, 2 * i + 2 * s))) << i << " " << s;
      EXPECT_TRUE(within_ulp(BScanlgdod[row + s], legendre_in_power(2 * i + 1, 2 * i + 1 + 2 * s)));
    }
  EXPECT_EQ(BSparityrow(64, 64), BSCANLGD_COUNT);

  // The fit matrices from the very nodes and weights BSextrtlgd hands out; the recurrence in long double errs
  // by about its degree times LDBL_EPSILON.
  for (int r = 0; r < 9; ++r) {
    const int n = kRules[r], h = n / 2;
    const double *x = nullptr;
    int rc = 0;
    BSextrtlgd(n, &x, &rc);
    ASSERT_EQ(rc, 0);
    const double *w = BSglweights + (x - BSglnodes) / 2;  // the positive nodes' weights, nearest to 0 first
    std::vector<std::vector<LD>> P(h);
    for (int k = 0; k < h; ++k) P[k] = legendre_values(n - 1, x[h + k]);
    const double *block = BSglfitmat + BSGLFIT_OFFSETS[r];
    for (int m = 0; m < n; ++m) {
      const double *row = block + m * h;  // rows alternate even, odd: row m belongs to P_m
      for (int k : picks(m, h)) {
        const LD scale = (2 * m + 1) / 2.0L * w[k];
        EXPECT_TRUE(within_ulp(row[k], scale * P[k][m], 4 * (m + 1) * LDBL_EPSILON * scale))
            << "rule " << n << " P" << m << " node " << k;
      }
    }
  }
  EXPECT_EQ(BSGLFIT_OFFSETS[8] + 2 * 160 * 160, BSGLFIT_COUNT);

  for (int m = 0; m < 16; ++m) {
    double row[16];
    int rc = 0;
    BSbinomcoef(&rc, &m, row);
    for (int j = 0; j <= m; ++j) {
      EXPECT_EQ(BSbinom16[16 * m + j], row[j]);
      EXPECT_EQ(BSbinom16[16 * j + m], row[j]);
    }
  }
}

// Samples of a polynomial of lower degree than the rule come back as its Legendre coefficients.
TEST(LegendreBases, FitRecoversPolynomialsOfLowerDegree) {
  std::mt19937 rng(11);
  for (int n : kRules) {
    const double *x = nullptr;
    int rc = 0;
    BSextrtlgd(n, &x, &rc);
    ASSERT_EQ(rc, 0);
    const std::vector<double> c = random_series(rng, n - 1);
    std::vector<double> f(n), out(n);
    double abs_sum = 0;
    for (double v : c) abs_sum += std::fabs(v);
    for (int i = 0; i < n; ++i) {
      const std::vector<LD> p = legendre_values(n - 1, x[i]);
      LD v = 0;
      for (int j = 0; j < n; ++j) v += c[j] * p[j];
      f[i] = static_cast<double>(v);
    }
    BShifit(n, f.data(), out.data(), &rc);
    ASSERT_EQ(rc, 0);
    for (int j = 0; j < n; ++j) EXPECT_NEAR(out[j], c[j], 1e-14 * abs_sum) << "rule " << n << " P" << j;
  }
}

TEST(LegendreBases, RoundTrips) {
  std::mt19937 rng(5);
  int rc = 0;
  // Chebyshev and Legendre, both ways, across the inline and table forms and up to the limit.
  for (int n : {0, 1, 2, 3, 4, 5, 17, 300, 325}) {
    const std::vector<double> c = random_series(rng, n);
    std::vector<double> mid(n + 1), back(n + 1);
    BStchtlgd(n, c.data(), mid.data(), &rc);
    ASSERT_EQ(rc, 0);
    BSlgdttch(n, mid.data(), back.data(), &rc);
    ASSERT_EQ(rc, 0);
    for (int j = 0; j <= n; ++j) EXPECT_NEAR(back[j], c[j], 1e-13 * max_abs(c)) << "T->P->T " << n << " " << j;
    BSlgdttch(n, c.data(), mid.data(), &rc);
    BStchtlgd(n, mid.data(), back.data(), &rc);
    for (int j = 0; j <= n; ++j) EXPECT_NEAR(back[j], c[j], 1e-13 * max_abs(c)) << "P->T->P " << n << " " << j;
  }
  // Power to Legendre and back up to degree 20, through the inline forms (degree 3 and below) and the tables.
  for (int n = 0; n <= 20; ++n) {
    const std::vector<double> c = random_series(rng, n);
    std::vector<double> mid(n + 1), back(n + 1);
    BScantlgd(n, c.data(), mid.data(), &rc);
    ASSERT_EQ(rc, 0);
    BSlgdtcan(n, mid.data(), back.data(), &rc);
    ASSERT_EQ(rc, 0);
    for (int j = 0; j <= n; ++j) EXPECT_NEAR(back[j], c[j], 1e-13 * max_abs(c)) << "pow->P->pow " << n << " " << j;
  }
  // Power to Bernstein and back up to degree 30 (the scratch binomials from 16 on). The way back sums
  // binom(n, k) binom(k, i) b_i with alternating signs, terms of 1e12 at degree 30: coefficient k is held to the
  // rounding of its own terms.
  for (int n = 0; n <= 30; ++n) {
    const std::vector<double> c = random_series(rng, n);
    std::vector<double> bez(n + 1), back(n + 1);
    BScantbez(n, c.data(), bez.data(), &rc);
    ASSERT_EQ(rc, 0);
    BSbeztcan(n, bez.data(), back.data());
    for (int k = 0; k <= n; ++k) {
      double terms = 0;
      for (int i = 0; i <= k; ++i) terms += static_cast<double>(binom(k, i)) * std::fabs(bez[i]);
      const double floor = 8 * (n + 1) * DBL_EPSILON * static_cast<double>(binom(n, k)) * terms;
      EXPECT_NEAR(back[k], c[k], floor) << "pow->bez->pow " << n << " " << k;
    }
  }
}

// BSlimcanab: the cut of small terms is relative, so the result scales with the series; a = b gives the value.
TEST(LegendreBases, PowerReexpansionScalesAndCollapses) {
  std::mt19937 rng(9);
  const double intervals[][2] = {{0.9, 0.95}, {0.2, 0.9}, {-0.3, 0.5}, {-1, -0.999}, {0.99999999, 1}};
  for (int n : {3, 12, 30}) {
    const std::vector<double> c = random_series(rng, n);
    std::vector<double> tiny(n + 1), out(n + 1), out_tiny(n + 1);
    for (int j = 0; j <= n; ++j) tiny[j] = c[j] * 1e-20;
    for (const auto &iv : intervals) {
      BSlimcanab(n, c.data(), iv[0], iv[1], out.data());
      BSlimcanab(n, tiny.data(), iv[0], iv[1], out_tiny.data());
      for (int j = 0; j <= n; ++j)
        EXPECT_NEAR(out_tiny[j], out[j] * 1e-20, 1e-14 * max_abs(out) * 1e-20) << n << " [" << iv[0] << "] " << j;
      EXPECT_NE(out_tiny[1], 0.0) << "the linear term of a tiny series survives";
    }
  }
  const double p[4] = {1.5, -2, 0.5, 4};
  double out[4];
  for (double t : {0.0, 0.5, -1.0}) {
    std::fill(out, out + 4, kNaN);
    BSlimcanab(3, p, t, t, out);
    EXPECT_NEAR(out[0], p[0] + t * (p[1] + t * (p[2] + t * p[3])), 1e-15) << t;
    for (int j = 1; j < 4; ++j) EXPECT_EQ(out[j], 0.0) << t;
  }
}

// Heap scratch that cannot be had is reported, and nothing is left allocated either way.
TEST(LegendreBases, ScratchFailures) {
  std::vector<double> in(1200, 0.5), out(1200);
  int rc = 0;
  BSallocfailat(1);
  BSlgdtbez(550, in.data(), out.data(), &rc);
  EXPECT_EQ(rc, 33);
  BSallocfailat(1);
  BScvlgdtbez(550, 2, in.data(), out.data(), &rc);
  EXPECT_EQ(rc, 33);
  BSallocfailat(1);
  BScantbez(550, in.data(), out.data(), &rc);
  EXPECT_EQ(rc, 33);
  BSallocfailat(1);
  BSlimtchab(40, 1, in.data(), -0.5, 0.5, out.data(), &rc);
  EXPECT_EQ(rc, 33);
  BSallocfailat(0);
  BSlgdtbez(550, in.data(), out.data(), &rc);
  EXPECT_EQ(rc, 0);
  BScantbez(550, in.data(), out.data(), &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(BSscratchheapblocks(), 0);
}

}  // namespace

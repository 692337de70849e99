// Polynomial roots against GSL's companion-matrix solver on the same coefficients.
#include <gsl/gsl_errno.h>
#include <gsl/gsl_poly.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <random>

#include "bspline/numerics.h"
#include "tests/bspline/numerics_fixtures.h"

namespace {

std::vector<cplx> gsl_roots(const std::vector<double> &c) {
  const std::size_t n = c.size();
  std::vector<double> z(2 * (n - 1));
  gsl_poly_complex_workspace *w = gsl_poly_complex_workspace_alloc(n);
  const int status = gsl_poly_complex_solve(c.data(), n, w, z.data());
  gsl_poly_complex_workspace_free(w);
  EXPECT_EQ(status, GSL_SUCCESS);
  std::vector<cplx> out;
  for (std::size_t i = 0; i + 1 < n; ++i) out.emplace_back(z[2 * i], z[2 * i + 1]);
  return out;
}

TEST(PolynomialRootsOracle, AgreesWithGslUpToDegreeTwenty) {
  std::mt19937 rng(31);
  std::uniform_real_distribution<double> mag(0.3, 3.0), ang(0.2, 2.9), coin(0, 1);
  for (int degree = 1; degree <= 20; ++degree)
    for (int trial = 0; trial < 20; ++trial) {
      // Half the cases from well separated known roots, half with random coefficients.
      std::vector<double> c;
      if (trial % 2 == 0) {
        std::vector<cplx> roots;
        while (static_cast<int>(roots.size()) < degree) {
          if (degree - roots.size() >= 2 && coin(rng) < 0.5) {
            const cplx z = std::polar(mag(rng), ang(rng));
            roots.push_back(z);
            roots.push_back(std::conj(z));
          } else {
            roots.push_back((coin(rng) < 0.5 ? -1.0 : 1.0) * mag(rng) * (1.0 + 0.1 * roots.size()));
          }
        }
        c = poly_from_roots(roots, 0.5 + coin(rng));
      } else {
        std::uniform_real_distribution<double> coef(-10, 10);
        for (int i = 0; i <= degree; ++i) c.push_back(coef(rng));
      }
      const auto expected = gsl_roots(c);
      std::vector<double> re(degree), im(degree);
      int rc = 0;
      const std::int16_t d = static_cast<std::int16_t>(degree);
      ASSERT_EQ(BSrpoly(&rc, c.data(), &d, re.data(), im.data()), BSTRUE) << degree << " " << trial;
      EXPECT_TRUE(roots_match(expected, re.data(), im.data(), 1e-6)) << "degree " << degree << " trial " << trial;
    }
}

TEST(PolynomialRootsOracle, ZeroAndLeadingCoefficientsAsGslSeesThem) {
  // Roots at the origin are exact zeros in both.
  const std::vector<double> c = {0, 0, -6, 11, -6, 1};
  const auto expected = gsl_roots({-6, 11, -6, 1});
  std::vector<double> re(5), im(5);
  int rc = 0;
  const std::int16_t d = 5;
  ASSERT_EQ(BSrpoly(&rc, c.data(), &d, re.data(), im.data()), BSTRUE);
  EXPECT_EQ(re[0], 0.0);
  EXPECT_EQ(re[1], 0.0);
  EXPECT_TRUE(roots_match(expected, re.data() + 2, im.data() + 2, 1e-12));
}

// GSL's root refined by Newton steps in extended precision on the same coefficients. The companion matrix
// answers each root to within rounding of the largest ones, so where the roots spread over twelve orders of
// magnitude its smallest keep only a few digits; the steps give them theirs without leaving the root GSL chose.
cplx refined(const std::vector<double> &c, cplx z0) {
  using X = std::complex<long double>;
  X z(z0.real(), z0.imag());
  for (int it = 0; it < 8; ++it) {
    X p = c.back(), d = 0;
    for (int i = static_cast<int>(c.size()) - 2; i >= 0; --i) {
      d = d * z + p;
      p = p * z + static_cast<long double>(c[i]);
    }
    if (d == X(0)) break;
    z -= p / d;
  }
  return {static_cast<double>(z.real()), static_cast<double>(z.imag())};
}

// Each of ours against the nearest unused one of theirs, relative to its modulus: the worst.
double worst_relative(const std::vector<cplx> &theirs, const std::vector<double> &re, const std::vector<double> &im) {
  std::vector<bool> used(theirs.size(), false);
  double worst = 0;
  for (std::size_t j = 0; j < re.size(); ++j) {
    int best = -1;
    double bd = 0;
    for (std::size_t i = 0; i < theirs.size(); ++i) {
      if (used[i]) continue;
      const double d = std::abs(cplx(re[j], im[j]) - theirs[i]) / std::abs(theirs[i]);
      if (best < 0 || d < bd) best = static_cast<int>(i), bd = d;
    }
    used[best] = true;
    worst = std::max(worst, bd);
  }
  return worst;
}

// Roots from 1e-6 to 1e6 in modulus, real ones and complex pairs mixed: the pair of small modulus once came back
// as two wrong real roots when the root count said four, a double real root when it said none.
TEST(PolynomialRootsOracle, QuarticsWithRootsOverTwelveOrdersOfMagnitude) {
  std::mt19937 rng(4404);
  std::uniform_real_distribution<double> decade(-6, 6), angle(0.05, 3.1), coin(0, 1);
  int far = 0;
  for (int trial = 0; trial < 20000; ++trial) {
    std::vector<cplx> roots;
    while (roots.size() < 4) {
      const double m = std::pow(10.0, decade(rng));
      if (roots.size() <= 2 && coin(rng) < 0.5) {
        const cplx z = std::polar(m, angle(rng));
        roots.push_back(z);
        roots.push_back(std::conj(z));
      } else {
        roots.push_back(coin(rng) < 0.5 ? -m : m);
      }
    }
    const auto c = poly_from_roots(roots, 0.5 + coin(rng));
    std::vector<cplx> expected;
    for (const cplx &z : gsl_roots(c)) expected.push_back(refined(c, z));
    std::vector<double> re(4), im(4);
    int rc = 0;
    const std::int16_t degree = 4;
    ASSERT_EQ(BSrpoly(&rc, c.data(), &degree, re.data(), im.data()), BSTRUE) << trial;
    if (worst_relative(expected, re, im) > 1e-9 && ++far <= 5)
      ADD_FAILURE() << "trial " << trial << " off by " << worst_relative(expected, re, im);
  }
  EXPECT_EQ(far, 0);
}

// Simple roots beside a double or a triple root keep the accuracy GSL gives them (they kept five digits), by the
// iteration at degree 7 and by the closed form at degree 4.
TEST(PolynomialRootsOracle, SimpleRootsBesideMultipleRoots) {
  std::mt19937 rng(77);
  std::uniform_real_distribution<double> at(-3, 3);
  for (int trial = 0; trial < 600; ++trial) {
    const double r = at(rng);
    const int mult = 2 + trial % 2, n = trial % 3 == 2 ? 4 : 7;
    std::vector<cplx> roots(mult, r);
    std::vector<double> simple;
    while (static_cast<int>(roots.size()) < n) {
      const double x = at(rng);
      bool apart = true;
      for (const cplx &y : roots) apart = apart && std::abs(y - x) > 0.3;
      if (!apart) continue;
      roots.push_back(x);
      simple.push_back(x);
    }
    const auto c = poly_from_roots(roots);
    std::vector<double> re(n), im(n);
    int rc = 0;
    const std::int16_t degree = static_cast<std::int16_t>(n);
    ASSERT_EQ(BSrpoly(&rc, c.data(), &degree, re.data(), im.data()), BSTRUE) << trial;
    const auto theirs = gsl_roots(c);
    for (double x : simple) {
      // GSL's root and ours nearest to this simple root.
      cplx g = theirs[0], o(re[0], im[0]);
      for (const cplx &z : theirs)
        if (std::abs(z - x) < std::abs(g - x)) g = z;
      for (int j = 0; j < n; ++j)
        if (std::abs(cplx(re[j], im[j]) - x) < std::abs(o - x)) o = cplx(re[j], im[j]);
      EXPECT_LT(std::abs(o - g) / std::abs(g), 1e-10) << "trial " << trial << " root " << x;
    }
  }
}

// Random coefficients up to degree 100: the same roots as GSL's.
TEST(PolynomialRootsOracle, RandomPolynomialsUpToDegreeOneHundred) {
  std::mt19937 rng(100);
  std::uniform_real_distribution<double> coef(-10, 10);
  for (int degree = 21; degree <= 100; ++degree) {
    std::vector<double> c(degree + 1);
    for (double &x : c) x = coef(rng);
    std::vector<double> re(degree), im(degree);
    int rc = 0;
    const std::int16_t d = static_cast<std::int16_t>(degree);
    ASSERT_EQ(BSrpoly(&rc, c.data(), &d, re.data(), im.data()), BSTRUE) << degree;
    std::vector<cplx> expected;
    for (const cplx &z : gsl_roots(c)) expected.push_back(refined(c, z));
    EXPECT_LT(worst_relative(expected, re, im), 1e-9) << "degree " << degree;
  }
}

}  // namespace

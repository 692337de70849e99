// Roots of Legendre series against GSL: the Gauss-Legendre nodes of its fixed-order tables, and the companion-
// matrix solver on the power form; real roots in an interval (BSpoly2, BSpoly3) against the same solver.
#include <gsl/gsl_errno.h>
#include <gsl/gsl_integration.h>
#include <gsl/gsl_poly.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "bspline/legendre.h"
#include "bspline/numerics.h"
#include "tests/bspline/legendre_from_roots.h"
#include "tests/bspline/numerics_fixtures.h"

namespace {

// The real roots of c (ascending powers) in [lo, hi], sorted.
std::vector<double> gsl_real_roots(const std::vector<double> &c, double lo, double hi) {
  const std::size_t n = c.size();
  std::vector<double> z(2 * (n - 1));
  gsl_poly_complex_workspace *w = gsl_poly_complex_workspace_alloc(n);
  EXPECT_EQ(gsl_poly_complex_solve(c.data(), n, w, z.data()), GSL_SUCCESS);
  gsl_poly_complex_workspace_free(w);
  std::vector<double> out;
  for (std::size_t i = 0; i + 1 < n; ++i)
    if (std::fabs(z[2 * i + 1]) < 1e-6 && z[2 * i] >= lo && z[2 * i] <= hi) out.push_back(z[2 * i]);
  std::sort(out.begin(), out.end());
  return out;
}

TEST(LegendreRootsOracle, NodesOfGaussLegendreRules) {
  for (int n = 2; n <= 64; ++n) {
    gsl_integration_glfixed_table *t = gsl_integration_glfixed_table_alloc(n);
    std::vector<double> nodes(n), roots(n);
    for (int i = 0; i < n; ++i) {
      double w;
      gsl_integration_glfixed_point(-1, 1, i, &nodes[i], &w, t);
    }
    gsl_integration_glfixed_table_free(t);
    std::sort(nodes.begin(), nodes.end());
    std::vector<double> pn(n + 1, 0.0);
    pn[n] = 1;
    int count = 0, rc = 99;
    BSfndrtlgd1(n, pn.data(), 1e-13, &count, roots.data(), &rc);
    ASSERT_EQ(rc, 0) << n;
    ASSERT_EQ(count, n) << n;
    for (int i = 0; i < n; ++i) EXPECT_NEAR(roots[i], nodes[i], 1e-13) << "P_" << n << " root " << i;
  }
}

// Series from known roots with multiplicities, raised to degree 30 by complex pairs, scaled to a largest value
// of 1 on [-1, 1].
TEST(LegendreRootsOracle, KnownRootsWithMultiplicities) {
  const struct {
    const char *what;
    std::vector<double> roots;
    std::vector<Quadratic> pairs;
  } cases[] = {
      {"simple, spread", {-0.93, -0.61, -0.2, 0.05, 0.38, 0.74, 0.99}, {{0, 0.4}, {0.5, 0.7}, {-1, 1.1}}},
      {"double and triple", {-0.8, -0.3, -0.3, 0.45, 0.45, 0.45, 0.9}, {{0, 0.5}, {0, 0.9}}},
      {"a pair 1e-3 apart", {-0.5, 0.2, 0.201, 0.7}, {{0.2, 0.3}}},
      {"degree 30",
       {-0.9, -0.55, -0.55, 0.1, 0.1, 0.1, 0.6, 0.601},
       {{0, 0.5}, {0, 0.6}, {0, 0.7}, {0, 0.8}, {0, 0.9}, {0, 1}, {0, 1.2}, {0, 1.4}, {0, 1.6}, {0, 1.8}, {0, 2}}},
      {"double root at -1, triple at 1", {-1, -1, 0.3, 1, 1, 1}, {{0, 0.6}}},
  };
  for (const auto &cs : cases) {
    std::vector<double> c = legendre_from_roots(cs.roots, cs.pairs);
    const int n = static_cast<int>(c.size()) - 1;
    double top = 0;
    for (int i = 0; i <= 200; ++i) {
      double v;
      BSevalpolgd(n, c.data(), -1 + i / 100.0, &v);
      top = std::max(top, std::fabs(v));
    }
    for (double &x : c) x /= top;
    std::vector<double> roots(n);
    int count = 0, rc = 99;
    BSfndrtlgd1(n, c.data(), 1e-12, &count, roots.data(), &rc);
    ASSERT_EQ(rc, 0) << cs.what;
    std::vector<double> expected = cs.roots;
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(count, static_cast<int>(expected.size())) << cs.what;
    for (int i = 0; i < count; ++i) {
      // A double root is only defined to the band where |c| stays within tol, sqrt(2 tol / |c''|); higher
      // multiplicities are simple roots of the second derivative and as sharp as simple roots.
      const int m = static_cast<int>(std::count(expected.begin(), expected.end(), expected[i]));
      double d2 = 0;
      BSevalgder(n, c.data(), 2, expected[i], &d2, &rc);
      const double band = m == 2 ? 2 * std::sqrt(2e-12 / std::fabs(d2)) : 0.0;
      EXPECT_NEAR(roots[i], expected[i], std::max(1e-9, band)) << cs.what << " root " << i;
    }

    // The simple roots also as GSL finds them on the power form.
    std::vector<double> power(n + 1);
    BSlgdtcan(n, c.data(), power.data(), &rc);
    const std::vector<double> theirs = gsl_real_roots(power, -1, 1);
    for (int i = 0; i < count; ++i) {
      if (std::count(roots.begin(), roots.begin() + count, roots[i]) > 1) continue;
      double nearest = 9;
      for (double r : theirs) nearest = std::min(nearest, std::fabs(r - roots[i]));
      EXPECT_LT(nearest, 1e-8) << cs.what << " simple root " << roots[i];
    }
  }
}

// Polynomials from random known roots (some real in the interval, some real outside, complex pairs well off the
// axis): the same real roots in the interval as GSL finds.
TEST(LegendreRootsOracle, IntervalRootsAgreeWithGsl) {
  std::mt19937 rng(206);
  std::uniform_real_distribution<double> in(-0.95, 0.95), out(1.2, 3), im(0.2, 2), coin(0, 1);
  for (int trial = 0; trial < 200; ++trial) {
    std::vector<cplx> roots;
    const int degree = 1 + trial % 12;
    while (static_cast<int>(roots.size()) < degree) {
      const double pick = coin(rng);
      if (pick < 0.3 && degree - roots.size() >= 2) {
        const cplx z(in(rng), im(rng));
        roots.push_back(z);
        roots.push_back(std::conj(z));
      } else {
        roots.push_back(pick < 0.7 ? in(rng) : (coin(rng) < 0.5 ? -1 : 1) * out(rng));
      }
    }
    const std::vector<double> c = poly_from_roots(roots, 0.5 + coin(rng));
    const double lo = -1, hi = 1;
    const std::vector<double> theirs = gsl_real_roots(c, lo, hi);
    std::vector<double> ours(degree);
    std::uint16_t count = 0;
    int rc = 99;
    const std::int16_t n = static_cast<std::int16_t>(degree);
    ASSERT_EQ((trial % 2 ? BSpoly3 : BSpoly2)(&rc, &n, c.data(), &lo, &hi, &count, ours.data()), BSTRUE) << trial;
    ASSERT_EQ(count, theirs.size()) << "trial " << trial;
    std::sort(ours.begin(), ours.begin() + count);
    for (int i = 0; i < count; ++i) EXPECT_NEAR(ours[i], theirs[i], 1e-9) << "trial " << trial;
  }
}

}  // namespace

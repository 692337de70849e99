// Polynomial roots against GSL's companion-matrix solver on the same coefficients.
#include <gsl/gsl_errno.h>
#include <gsl/gsl_poly.h>
#include <gtest/gtest.h>

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

}  // namespace

// Basis functions and their first two derivatives beside SISL's s1220.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "tests/bspline/curve_fixtures.h"

// Not in SISL's public header: values and ider derivatives of the ik B-splines that are not zero at ax, stored
// basis after basis ((ider + 1) values each); ileft is the span with et[ileft] <= ax < et[ileft + 1].
extern "C" void s1220(double *et, int ik, int in, int *ileft, double ax, int ider, double ebder[], int *jstat);

namespace {

TEST(BasisOracle, ValuesAndDerivativesAgreeWithSisl) {
  std::mt19937 rng(31);
  for (int order = 2; order <= 16; ++order)
    for (int trial = 0; trial < 4; ++trial) {
      auto c = random_curve(rng, order, order + 7, false, trial % 2 == 0, trial < 2 ? 1 : order - 1);
      std::uniform_real_distribution<double> ud(c->start(), c->end());
      for (int i = 0; i < 15; ++i) {
        const double u = ud(rng);
        int rc = 0, index = 0;
        BSfndknotiv(static_cast<std::int16_t>(order), c->n(), c->knots.data(), u, &index, &rc);
        const int s = index - 1;
        std::vector<double> N(order), D1(order), D2(order), sisl(3 * order);
        ASSERT_EQ(BSmansf2(&rc, order, c->knots.data(), s, u, N.data(), D1.data(), D2.data()), BSTRUE);
        int ileft = s, stat = 0;
        s1220(c->knots.data(), order, c->n(), &ileft, u, 2, sisl.data(), &stat);
        ASSERT_EQ(stat, 0);
        ASSERT_EQ(ileft, s);
        double sum = 0, dscale = 1, d2scale = 1;
        for (int j = 0; j < order; ++j) {
          dscale = std::max(dscale, std::fabs(sisl[3 * j + 1]));
          d2scale = std::max(d2scale, std::fabs(sisl[3 * j + 2]));
        }
        for (int j = 0; j < order; ++j) {
          EXPECT_NEAR(N[j], sisl[3 * j], 1e-14) << order;
          EXPECT_NEAR(D1[j], sisl[3 * j + 1], 1e-13 * dscale) << order;
          EXPECT_NEAR(D2[j], sisl[3 * j + 2], 1e-12 * d2scale) << order;
          sum += N[j];
        }
        EXPECT_NEAR(sum, 1.0, 1e-14);
        std::vector<double> N0(order);
        ASSERT_EQ(BSmansf0(&rc, order, c->knots.data(), s, u, N0.data()), BSTRUE);
        for (int j = 0; j < order; ++j) EXPECT_NEAR(N0[j], sisl[3 * j], 1e-14);
      }
    }
}

}  // namespace

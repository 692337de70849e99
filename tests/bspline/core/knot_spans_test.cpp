#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "bspline/bspline.h"
#include "bspline/core/test_support.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

// Knots 0 0 0 0 1 2 2 2 2: order 4, 5 poles.
const std::vector<double> kClamped = {0, 0, 0, 0, 1, 2, 2, 2, 2};

int fndspan(int order, const std::vector<double> &knots, double u, int hint, BSboolean *found = nullptr) {
  VOQbsp_curve cv{};
  cv.order = static_cast<std::int16_t>(order);
  const int n = static_cast<int>(knots.size()) - order;
  int rc = 0, span = hint;
  const BSboolean f = BSfndspan(&rc, &cv, &n, knots.data(), &u, &span);
  EXPECT_EQ(rc, 0);
  if (found) *found = f;
  return span;
}

int knotiv(int order, const std::vector<double> &knots, double u) {
  const int n = static_cast<int>(knots.size()) - order;
  int rc = 0, index = -1;
  BSfndknotiv(static_cast<std::int16_t>(order), n, knots.data(), u, &index, &rc);
  EXPECT_EQ(rc, 0);
  return index;
}

TEST(KnotSpans, TieBreaksAtKnots) {
  // The span search takes the span that ends at a knot, the interval search the one that starts there.
  EXPECT_EQ(fndspan(4, kClamped, 1.0, -1), 3);
  EXPECT_EQ(knotiv(4, kClamped, 1.0), 5);
  EXPECT_EQ(fndspan(4, kClamped, 2.0, -1), 4);
  EXPECT_EQ(knotiv(4, kClamped, 2.0), 5);
  EXPECT_EQ(fndspan(4, kClamped, 0.0, -1), 3);
  EXPECT_EQ(knotiv(4, kClamped, 0.0), 4);
  EXPECT_EQ(fndspan(4, kClamped, -1.0, -1), 3);
  EXPECT_EQ(knotiv(4, kClamped, -1.0), 4);
  EXPECT_EQ(fndspan(4, kClamped, 3.0, -1), 4);
  EXPECT_EQ(knotiv(4, kClamped, 3.0), 5);
}

TEST(KnotSpans, HintOneSpanOffIsCorrected) {
  const std::vector<double> knots = {0, 0, 0, 1, 2, 3, 4, 4, 4};  // order 3, 6 poles
  EXPECT_EQ(fndspan(3, knots, 2.5, 3), 4);
  EXPECT_EQ(fndspan(3, knots, 2.5, 5), 4);
  EXPECT_EQ(fndspan(3, knots, 2.5, 4), 4);
  EXPECT_EQ(fndspan(3, knots, 0.5, 5), 2);  // two spans off: full search
}

TEST(KnotSpans, HintNeverLeavesTheActiveSpans) {
  // Unclamped: knots[k-2] < knots[k-1], so at the start the hint's lower neighbour would look right; it lies
  // outside the active spans and must not be taken.
  const std::vector<double> knots = {0, 1, 2, 3, 4, 5, 6, 7};  // order 3, 5 poles: spans 2 .. 4
  EXPECT_EQ(fndspan(3, knots, 2.0, 2), 2);
  // At the end the upper neighbour of the last span would be span n = 5.
  EXPECT_EQ(fndspan(3, knots, 5.5, 4), 4);
}

TEST(KnotSpans, SearchesAgreeWithTheirConventionsOnRandomKnots) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 200; ++trial) {
    const int order = 2 + trial % 6, n = order + trial % 9;
    auto c = random_curve(rng, order, n, false, trial % 2 == 0, order);
    const auto &t = c->knots;
    std::vector<double> us = {c->start(), c->end()};
    for (int i = order - 1; i <= n; ++i) us.push_back(t[i]);
    std::uniform_real_distribution<double> ud(c->start(), c->end());
    for (int i = 0; i < 10; ++i) us.push_back(ud(rng));
    for (double u : us) {
      BSboolean found = 0;
      const int s = fndspan(order, t, u, -1, &found);
      ASSERT_EQ(found, BSTRUE);
      ASSERT_GE(s, order - 1);
      ASSERT_LE(s, n - 1);
      if (u > c->start()) {
        EXPECT_LT(t[s], u);
        EXPECT_LE(u, t[s + 1]);
      }
      // Any hint gives the same span.
      EXPECT_EQ(fndspan(order, t, u, order - 1 + trial % (n - order + 1), nullptr), s);
      const int idx = knotiv(order, t, u);
      if (u < c->end()) {
        EXPECT_LE(t[idx - 1], u);
        EXPECT_LT(u, t[idx]);
      } else {
        EXPECT_EQ(idx, n);
      }
    }
  }
}

TEST(BasisFunctions, PartitionOfUnityAndTheDefinition) {
  std::mt19937 rng(5);
  for (int order = 1; order <= 20; ++order) {
    auto c = random_curve(rng, order, order + 6, false, order % 2 == 0, order > 2 ? order - 1 : 1);
    std::uniform_real_distribution<double> ud(c->start(), c->end());
    for (int i = 0; i < 20; ++i) {
      const double u = ud(rng);
      const int s = knotiv(order, c->knots, u) - 1;
      std::vector<double> N(order), N1(order), D1(order), N2(order), D1b(order), D2(order);
      int rc = 0;
      ASSERT_EQ(BSmansf0(&rc, order, c->knots.data(), s, u, N.data()), BSTRUE) << order;
      double sum = 0;
      for (int j = 0; j < order; ++j) {
        sum += N[j];
        EXPECT_NEAR(N[j], ref_basis(c->knots, s - order + 1 + j, order, u, c->end()), 1e-12);
      }
      EXPECT_NEAR(sum, 1.0, 1e-13);
      ASSERT_EQ(BSmansf1(&rc, order, c->knots.data(), s, u, N1.data(), D1.data()), BSTRUE);
      double dsum = 0;
      for (int j = 0; j < order; ++j) {
        EXPECT_NEAR(N1[j], N[j], 1e-14);
        dsum += D1[j];
      }
      EXPECT_NEAR(dsum, 0.0, 1e-10);
      if (order >= 2 && order <= 16) {
        ASSERT_EQ(BSmansf2(&rc, order, c->knots.data(), s, u, N2.data(), D1b.data(), D2.data()), BSTRUE);
        for (int j = 0; j < order; ++j) {
          EXPECT_NEAR(N2[j], N[j], 1e-14);
          EXPECT_NEAR(D1b[j], D1[j], 1e-10);
        }
      }
    }
  }
}

TEST(BasisFunctions, DerivativesMatchDifferenceQuotients) {
  std::mt19937 rng(9);
  for (int order = 2; order <= 8; ++order) {
    auto c = random_curve(rng, order, order + 4, false, true);
    const int s = order + 1;
    const double u = 0.5 * (c->knots[s] + c->knots[s + 1]), h = 1e-5;
    std::vector<double> N(order), D1(order), D2(order), Np(order), Nm(order), D1p(order), D1m(order);
    int rc = 0;
    ASSERT_TRUE(BSmansf2(&rc, order, c->knots.data(), s, u, N.data(), D1.data(), D2.data()));
    BSmansf1(&rc, order, c->knots.data(), s, u + h, Np.data(), D1p.data());
    BSmansf1(&rc, order, c->knots.data(), s, u - h, Nm.data(), D1m.data());
    for (int j = 0; j < order; ++j) {
      EXPECT_NEAR(D1[j], (Np[j] - Nm[j]) / (2 * h), 1e-6 * (1 + std::fabs(D1[j])));
      EXPECT_NEAR(D2[j], (D1p[j] - D1m[j]) / (2 * h), 1e-5 * (1 + std::fabs(D2[j])));
    }
  }
}

TEST(BasisFunctions, EmptySpanAndOrderLimits) {
  const std::vector<double> knots = {0, 0, 0, 1, 1, 2, 2, 2};  // span 3 is empty
  double N[16], D1[16], D2[16];
  int rc = 0;
  EXPECT_EQ(BSmansf0(&rc, 3, knots.data(), 3, 1.0, N), BSFALSE);
  EXPECT_EQ(rc, -2);
  EXPECT_EQ(BSmansf1(&rc, 3, knots.data(), 3, 1.0, N, D1), BSFALSE);
  EXPECT_EQ(rc, -2);
  EXPECT_EQ(BSmansf2(&rc, 3, knots.data(), 3, 1.0, N, D1, D2), BSFALSE);
  EXPECT_EQ(rc, -2);
  // Fixed arrays of 16: order 17 is refused before anything is written.
  std::vector<double> wide(40);
  for (int i = 0; i < 40; ++i) wide[i] = i;
  EXPECT_EQ(BSmansf2(&rc, 17, wide.data(), 17, 17.5, N, D1, D2), BSFALSE);
  EXPECT_EQ(rc, -2);
  // Orders above 16 take their ratios from scratch memory.
  std::vector<double> N20(20);
  EXPECT_EQ(BSmansf0(&rc, 20, wide.data(), 19, 19.5, N20.data()), BSTRUE);
  BSallocfailat(1);
  EXPECT_EQ(BSmansf0(&rc, 600, std::vector<double>(1300, 0).data(), 600, 0, std::vector<double>(600).data()),
            BSFALSE);
  EXPECT_EQ(rc, -2);  // the empty span is found before any memory is taken
  BSallocfailat(0);
  std::vector<double> big(1300);
  for (int i = 0; i < 1300; ++i) big[i] = i;
  std::vector<double> Nbig(600);
  BSallocfailat(1);
  EXPECT_EQ(BSmansf0(&rc, 600, big.data(), 600, 600.5, Nbig.data()), BSFALSE);
  EXPECT_EQ(rc, 33);
  EXPECT_EQ(BSallocfailpending(), 0);
}

TEST(BasisFunctions, AnyDerivativeCountAgreesWithTheFixedRoutines) {
  std::mt19937 rng(13);
  for (int order = 2; order <= 18; ++order) {
    auto c = random_curve(rng, order, order + 5, false, true, order - 1);
    std::uniform_real_distribution<double> ud(c->start(), c->end());
    for (int t = 0; t < 5; ++t) {
      const double u = ud(rng), h = 1e-6;
      const int s = knotiv(order, c->knots, u) - 1;
      const int nder = order + 1;  // past the degree: those rows are zero
      std::vector<double> ders((nder + 1) * order), dp(4 * order), dm(4 * order);
      std::vector<double> N(order), D1(order), D2(order);
      int rc = 0;
      ASSERT_EQ(BSmansfn(&rc, order, c->knots.data(), s, u, nder, ders.data()), BSTRUE);
      BSmansf1(&rc, order, c->knots.data(), s, u, N.data(), D1.data());
      for (int j = 0; j < order; ++j) {
        EXPECT_EQ(ders[j], N[j]);
        EXPECT_EQ(ders[order + j], D1[j]);
      }
      if (order <= 16) {
        BSmansf2(&rc, order, c->knots.data(), s, u, N.data(), D1.data(), D2.data());
        for (int j = 0; j < order; ++j) EXPECT_EQ(ders[2 * order + j], D2[j]);
      }
      for (int d = order; d <= nder; ++d)
        for (int j = 0; j < order; ++j) EXPECT_EQ(ders[d * order + j], 0.0);
      // The third derivative is the slope of the second.
      if (order >= 4 && order <= 8) {
        BSmansfn(&rc, order, c->knots.data(), s, u + h, 3, dp.data());
        BSmansfn(&rc, order, c->knots.data(), s, u - h, 3, dm.data());
        for (int j = 0; j < order; ++j) {
          const double fd = (dp[2 * order + j] - dm[2 * order + j]) / (2 * h);
          EXPECT_NEAR(ders[3 * order + j], fd, 1e-4 * (1 + std::fabs(fd)));
        }
      }
    }
  }
}

}  // namespace

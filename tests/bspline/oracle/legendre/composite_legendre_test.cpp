// The composite Legendre form against the peers: Bezier to Legendre summed with GSL's Legendre polynomials
// against de Casteljau's scheme, and each span of a converted curve against OpenCASCADE's evaluation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/legendre.h"
#include "tests/bspline/oracle/peer_curves.h"
#include "tests/bspline/oracle/legendre/peer_legendre.h"

namespace {

double de_casteljau(int degree, const double *b, double u) {
  std::vector<double> w(b, b + degree + 1);
  for (int p = degree; p >= 1; --p)
    for (int j = 0; j < p; ++j) w[j] = (1 - u) * w[j] + u * w[j + 1];
  return w[0];
}

TEST(CompositeLegendreOracle, BezierToLegendreKeepsThePolynomial) {
  std::mt19937 rng(2029);
  std::uniform_real_distribution<double> coef(-1, 1), scale_exp(-3, 3);
  const int ncomp = 2;
  std::vector<int> degrees;
  for (int d = 0; d <= 20; ++d) degrees.push_back(d);
  for (int d : {25, 30, 31, 64, 150, 319}) degrees.push_back(d);
  for (int d : degrees) {
    // Up to degree 30 the binomial scheme, above it the Gauss-Legendre fit; the error grows with the degree.
    const double tol = d <= 20 ? 1e-13 : 2e-14 * (d + 1);
    for (int trial = 0; trial < 4; ++trial) {
      const double scale = std::pow(10.0, scale_exp(rng));
      std::vector<double> bez(ncomp * (d + 1));
      for (double &b : bez) b = scale * coef(rng);
      double largest = 0;
      for (double b : bez) largest = std::max(largest, std::fabs(b));
      std::vector<double> out(bez.size()), inplace = bez;
      int rc = -1;
      BSbeztolgd(d, ncomp, bez.data(), out.data(), &rc);
      ASSERT_EQ(rc, 0);
      BSbeztolgd(d, ncomp, inplace.data(), inplace.data(), &rc);
      ASSERT_EQ(rc, 0);
      EXPECT_EQ(inplace, out) << "degree " << d << ": in place gives the same coefficients";
      for (int c = 0; c < ncomp; ++c)
        for (int i = 0; i < 50; ++i) {
          const double t = -1 + 2.0 * i / 49;
          const double want = de_casteljau(d, bez.data() + c * (d + 1), (t + 1) / 2);
          EXPECT_NEAR(legendre_sum(d, out.data() + c * (d + 1), t), want, tol * largest)
              << "degree " << d << " component " << c << " t " << t;
        }
    }
  }
  // From degree 16 the binomial table does not fit the frame, nor the samples of the fit from degree 160:
  // without memory the answer is rc 33.
  for (int d : {16, 17, 20, 30, 200}) {
    std::vector<double> bez(d + 1, 1.0), out(d + 1);
    int rc = 0;
    BSallocfailat(1);
    BSbeztolgd(d, 1, bez.data(), out.data(), &rc);
    BSallocfailat(0);
    EXPECT_EQ(rc, 33) << "degree " << d;
  }
  EXPECT_EQ(BSscratchheapblocks(), 0);
}

// Random clamped curves of orders 2 to 8, with interior knots of any multiplicity below the order: every span's
// series at u is the curve at t = m + h u.
TEST(CompositeLegendreOracle, SpansFollowTheCurve) {
  std::mt19937 rng(29);
  const int live = BSdbgliveblocks();
  for (int order = 2; order <= 8; ++order) {
    for (int trial = 0; trial < 12; ++trial) {
      const bool rational = trial % 2 == 1;
      const int dim = trial % 4 == 0 ? 2 : 3;  // rational curves only in space
      const int n = order + static_cast<int>(rng() % 8);
      auto c = random_curve(rng, order, n, rational, true, std::max(1, order - 1));
      if (dim == 2) {
        for (int i = 0; i < n; ++i) c->poles[3 * i + 2] = 0.0;
      }
      OcctCurve peer(*c);
      std::vector<double> blocks((dim + rational) * n);
      int rc = -1;
      BSicv2bsp(&c->cv, dim, blocks.data(), &rc);
      ASSERT_EQ(rc, 0);

      int spans_n = 0, *degrees = nullptr, *codes = nullptr;
      double **spans = nullptr, *bp = nullptr, range[2];
      BSbsp2cmlgd(dim, n, order, rational, blocks.data(), c->knots.data(), &spans_n, &degrees, &codes, &spans, &bp,
                  range, &rc);
      ASSERT_EQ(rc, 0);
      EXPECT_EQ(range[0], c->start());
      EXPECT_EQ(range[1], c->end());
      const int q = dim + rational;
      for (int s = 0; s < spans_n; ++s) {
        EXPECT_EQ(degrees[s], order - 1);
        EXPECT_EQ(codes[s], rational ? 1 : 0);
        EXPECT_LT(bp[s], bp[s + 1]);
        const int w = order;
        for (int i = 0; i <= 10; ++i) {
          const double u = -1 + 0.2 * i;
          const double t = (bp[s] + bp[s + 1]) / 2 + (bp[s + 1] - bp[s]) / 2 * u;
          gp_Pnt P;
          peer.cv->D0(t, P);
          const double want[3] = {P.X(), P.Y(), P.Z()};
          const double weight = rational ? legendre_sum(w - 1, spans[s] + dim * w, u) : 1.0;
          for (int k = 0; k < dim; ++k)
            EXPECT_NEAR(legendre_sum(w - 1, spans[s] + k * w, u) / weight, want[k], 1e-12)
                << "order " << order << " span " << s << " u " << u << " coordinate " << k;
        }
        if (s + 1 < spans_n) {
          EXPECT_EQ(spans[s + 1] - spans[s], q * w);
        }
      }
      BSfreecmplgd(&spans);
      BSdbgfree(degrees);
      BSdbgfree(codes);
      BSdbgfree(bp);
    }
  }
  EXPECT_EQ(BSdbgliveblocks(), live);
}

}  // namespace

// Legendre spans to B-splines against the peers: the series summed with GSL's Legendre polynomials, the splines
// evaluated by OpenCASCADE as well as by the library, and the assemblies against OpenCASCADE's conversion of
// continuous piecewise polynomials to poles.
#include <Convert_CompPolynomialToPoles.hxx>
#include <TColStd_HArray1OfInteger.hxx>
#include <TColStd_HArray1OfReal.hxx>
#include <TColStd_HArray2OfReal.hxx>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "bspline/legendre.h"
#include "tests/bspline/oracle/peer_curves.h"
#include "tests/bspline/oracle/legendre/peer_legendre.h"

namespace {

// A span of dim coordinates whose coefficients decay like those of a smooth curve (rate 0.7 to 0.95), and for a
// rational span a weight series kept above w0 on [-1, 1].
std::vector<double> random_span(std::mt19937 &rng, int n, int dim, bool rational, double w0) {
  std::uniform_real_distribution<double> u(-1, 1), rate(0.7, 0.95);
  const double r = rate(rng);
  std::vector<double> c((dim + rational) * (n + 1));
  double tail = 0;
  for (int q = 0; q < dim + rational; ++q)
    for (int j = 0; j <= n; ++j) c[q * (n + 1) + j] = u(rng) * std::pow(r, j);
  for (int j = 1; rational && j <= n; ++j) tail += std::fabs(c[dim * (n + 1) + j]);
  if (rational) c[dim * (n + 1)] = tail + w0;
  return c;
}

// The converted spline as the peer's curve (weighted poles divided out when rational).
TestCurve as_curve(int np, int dim, bool rational, const double *P, const double *K) {
  int order = 0;
  while (order < np && K[order] == 0.0) ++order;
  std::vector<double> poles(3 * np, 0.0), weights;
  for (int i = 0; i < np; ++i) {
    const double w = rational ? P[dim * np + i] : 1.0;
    for (int q = 0; q < dim; ++q) poles[3 * i + q] = P[q * np + i] / w;
    if (rational) weights.push_back(w);
  }
  return TestCurve(order, poles, std::vector<double>(K, K + np + order), weights);
}

// Random spans of degree 8 to 40 at orders 3 to 6 and tolerances 1e-4 to 1e-9: within 2 tol of the series at 500
// parameters, by the library's evaluator and by the peer's; the peer's one-sided derivatives 0 to k-2 agree at
// every inner knot. Rational spans (weights down to 0.01 of their size) are measured as X/W.
TEST(LegendreToBsplineOracle, SpansStayWithinTolerance) {
  std::mt19937 rng(4304);
  const int dim = 3;
  for (bool rational : {false, true})
    for (int k = 3; k <= 6; ++k)
      for (double tol : {1e-4, 1e-6, 1e-9})
        for (int n : {8, 17, 24, 40}) {
          const double w0 = rational ? std::pow(10.0, -(n % 3)) : 0.0;
          const std::vector<double> c = random_span(rng, n, dim, rational, w0);
          int np = 0, rc = -1;
          double *P = nullptr, *K = nullptr;
          (rational ? BSlgdbsplr : BSlgdbspl1)(n, dim, c.data(), k, k - 2, tol, &np, &P, &K, &rc);
          ASSERT_EQ(rc, 0) << rational << " k " << k << " tol " << tol << " n " << n;
          const TestCurve tc = as_curve(np, dim, rational, P, K);
          const OcctCurve peer(tc);
          ASSERT_EQ(tc.order(), k);
          double ours = 0, theirs = 0;
          for (int i = 0; i < 500; ++i) {
            const double t = -1 + 2.0 * i / 499, u = (t + 1) / 2;
            double mine[4], p[3];
            BSevalbsp(k - 1, np, dim, rational, P, K, u, 0, mine, &rc);
            peer.left_d0(u, p);
            const double w = rational ? legendre_sum(n, &c[dim * (n + 1)], t) : 1.0;
            for (int q = 0; q < dim; ++q) {
              const double want = legendre_sum(n, &c[q * (n + 1)], t) / w;
              ours = std::max(ours, std::fabs(mine[q] - want)), theirs = std::max(theirs, std::fabs(p[q] - want));
            }
          }
          EXPECT_LE(ours, 2 * tol) << rational << " k " << k << " tol " << tol << " n " << n;
          EXPECT_LE(theirs, 2 * tol) << rational << " k " << k << " tol " << tol << " n " << n;
          for (size_t j = 1; j + 1 < peer.distinct.size(); ++j)
            for (int d = 0; d <= k - 2; ++d) {
              const gp_Vec L = peer.cv->LocalDN(peer.distinct[j], j, j + 1, std::max(d, 1)),
                           R = peer.cv->LocalDN(peer.distinct[j], j + 1, j + 2, std::max(d, 1));
              gp_Pnt pl, pr;
              peer.cv->LocalD0(peer.distinct[j], j, j + 1, pl), peer.cv->LocalD0(peer.distinct[j], j + 1, j + 2, pr);
              const double gap = d == 0 ? pl.Distance(pr) : (L - R).Magnitude(),
                           size = d == 0 ? gp_Vec(pl.XYZ()).Magnitude() : std::max(L.Magnitude(), R.Magnitude());
              EXPECT_LE(gap, 1e-9 * std::max(size, 1.0)) << "knot " << j << " derivative " << d;
            }
          BSdbgfree(P);
          BSdbgfree(K);
        }
  EXPECT_EQ(BSscratchheapblocks(), 0);
}

// Continuous pieces (truncations made continuous by the library) of a degree-30 span at orders 3 to 8, handed
// to the peer as power-basis polynomials on the same breaks: its poles are those of the order's assembly (the
// formulas for 3 to 5, knot removal for the others).
TEST(LegendreToBsplineOracle, AssembliesGiveThePeersPoles) {
  std::mt19937 rng(4305);
  const int n = 30, dim = 3;
  for (int k = 3; k <= 8; ++k) {
    const std::vector<double> c = random_span(rng, n, dim, false, 0);
    const double tol = 1e-7;
    int nspans = 0, rc = -1, np = 0;
    double *b = nullptr, *P = nullptr, *K = nullptr;
    BSfndktslg(n, 1, dim, c.data(), k, k - 2, tol, &nspans, &b, &rc);
    ASSERT_EQ(rc, 0);
    std::vector<double> pieces(dim * k * nspans), cont(pieces.size()), power(k);
    BSncslgdbsp(n, dim, c.data(), k, tol, nspans, b, pieces.data(), &rc);
    // A continuity change beyond tol (55) leaves the pieces continuous all the same.
    BScstlgdbsp(1, dim, k, k - 2, nspans, b, pieces.data(), tol, cont.data(), &rc);
    const int cst = rc;
    ASSERT_TRUE(rc == 0 || rc == 55);
    BSlgdbspspn(n, 1, dim, c.data(), k, k - 2, nspans, b, tol, &np, &P, &K, &rc);
    ASSERT_EQ(rc, cst);
    ASSERT_EQ(np, nspans + k - 1);
    auto ncoef = new TColStd_HArray1OfInteger(1, nspans, k);
    auto coef = new TColStd_HArray1OfReal(1, nspans * k * dim);
    auto intervals = new TColStd_HArray2OfReal(1, nspans, 1, 2);
    auto breaks = new TColStd_HArray1OfReal(1, nspans + 1);
    for (int s = 0; s < nspans; ++s) {
      intervals->SetValue(s + 1, 1, -1), intervals->SetValue(s + 1, 2, 1);
      for (int q = 0; q < dim; ++q) {
        BSlgdtcan(k - 1, &cont[(q * nspans + s) * k], power.data(), &rc);
        for (int d = 0; d < k; ++d) coef->SetValue(s * k * dim + d * dim + q + 1, power[d]);
      }
    }
    for (int s = 0; s <= nspans; ++s) breaks->SetValue(s + 1, (b[s] + 1) / 2);
    Convert_CompPolynomialToPoles peer(nspans, k - 2, dim, k - 1, ncoef, coef, intervals, breaks);
    ASSERT_TRUE(peer.IsDone());
    ASSERT_EQ(peer.NbPoles(), np);
    Handle(TColStd_HArray2OfReal) poles;
    peer.Poles(poles);
    double top = 0, worst = 0;
    for (int i = 0; i < np; ++i)
      for (int q = 0; q < dim; ++q)
        top = std::max(top, std::fabs(P[q * np + i])), worst = std::max(worst, std::fabs(P[q * np + i] - poles->Value(i + 1, q + 1)));
    EXPECT_LE(worst, 1e-12 * top) << "order " << k << " spans " << nspans;
    BSdbgfree(b);
    BSdbgfree(P);
    BSdbgfree(K);
  }
}

}  // namespace

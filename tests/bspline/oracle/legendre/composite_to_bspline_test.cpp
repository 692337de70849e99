// The composite Legendre form back to B-splines against the peers: curves of order up to 3 taken through the
// composite over random ranges come back exactly (OpenCASCADE's evaluation), spans of degree 5 come back within
// the tolerance at lower orders (GSL's Legendre polynomials), and the geometry layer's road for a raised circle
// ends at the same circle.
#include <gtest/gtest.h>

#include <Geom_BSplineCurve.hxx>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "bspline/conics.h"
#include "bspline/legendre.h"
#include "tests/bspline/oracle/peer_curves.h"
#include "tests/bspline/oracle/legendre/peer_legendre.h"

namespace {

// A curve in composite form (BSicv2bsp, BSbsp2cmlgd), released with the object.
struct CurveComposite {
  int n = 0, *degrees = nullptr, *codes = nullptr;
  double **spans = nullptr, *bp = nullptr, range[2] = {0, 0};
  CurveComposite(const VOQbsp_curve &cv, int *rc) {
    std::vector<double> blocks((3 + cv.rational) * cv.num_poles);
    BSicv2bsp(&cv, 3, blocks.data(), rc);
    if (*rc == 0)
      BSbsp2cmlgd(3, cv.num_poles, cv.order, cv.rational, blocks.data(), cv.knots, &n, &degrees, &codes, &spans,
                  &bp, range, rc);
  }
  ~CurveComposite() {
    if (spans) BSfreecmplgd(&spans);
    BSdbgfree(degrees);
    BSdbgfree(codes);
    BSdbgfree(bp);
  }
  CurveComposite(const CurveComposite &) = delete;
  CurveComposite &operator=(const CurveComposite &) = delete;
};

// A conversion's arrays, released with the object.
struct Arrays {
  int rc = -1, order = 0, np = 0, rational = 0;
  double *P = nullptr, *K = nullptr;
  ~Arrays() {
    BSdbgfree(P);
    BSdbgfree(K);
  }
};

// Parameters of the composite's breakpoints strictly inside (a, b), framed by a and b: result span j is the
// original on [t_j, t_j+1].
std::vector<double> pieces_of(const CurveComposite &c, double a, double b) {
  std::vector<double> t = {a};
  for (int i = 0; i <= c.n; ++i)
    if (c.bp[i] > a && c.bp[i] < b) t.push_back(c.bp[i]);
  t.push_back(b);
  return t;
}

// Polynomial and rational curves of orders 2 and 3 through the composite over the whole range, ranges inside one
// span, across several and ending on breakpoints: each result span is the original on its part, exactly.
TEST(CompositeToBsplineOracle, LowOrdersComeBackExactly) {
  std::mt19937 rng(56);
  const int live = BSdbgliveblocks();
  int cases = 0;
  for (int order = 2; order <= 3; ++order)
    for (int trial = 0; trial < 16; ++trial) {
      const bool rational = trial % 2 == 1;
      auto c = random_curve(rng, order, order + 2 + static_cast<int>(rng() % 5), rational, true, order - 1);
      OcctCurve peer(*c);
      int rc = -1;
      CurveComposite comp(c->cv, &rc);
      ASSERT_EQ(rc, 0);
      std::uniform_real_distribution<double> at(c->start(), c->end());
      std::uniform_int_distribution<int> knot(0, comp.n);
      double a = at(rng), b = at(rng);
      switch (trial % 4) {
        case 0: a = c->start(), b = c->end(); break;
        case 1: a = comp.bp[knot(rng) % comp.n]; break;  // a start on a breakpoint
        case 2: {                                        // inside one span
          const int s = static_cast<int>(rng() % comp.n);
          a = comp.bp[s] + 0.1 * (comp.bp[s + 1] - comp.bp[s]), b = comp.bp[s] + 0.8 * (comp.bp[s + 1] - comp.bp[s]);
          break;
        }
        default: b = comp.bp[std::max(1, knot(rng))]; break;  // an end on a breakpoint
      }
      if (a > b) std::swap(a, b);
      if (b - a < 1e-3) continue;
      const double range[2] = {a, b};
      Arrays r;
      BScmlgd2bsp(1, 3, comp.n, comp.degrees, comp.codes, comp.spans, comp.bp, range, BStoltab[bstol::dist_tol], 3,
                  &r.order, &r.np, &r.rational, &r.P, &r.K, &r.rc);
      ASSERT_EQ(r.rc, 0) << "order " << order << " trial " << trial;
      VOQbsp_curve *out = nullptr;
      BSplktbspcv(r.order, 3, static_cast<BSboolean>(r.rational), r.np, r.P, r.K, BStoltab[bstol::dist_tol], &out,
                  &rc);
      ASSERT_EQ(rc, 0);
      const std::vector<double> t = pieces_of(comp, a, b);
      const int p = static_cast<int>(t.size()) - 1;
      EXPECT_EQ(r.np, p * (r.order - 1) + 1);
      for (int j = 0; j < p; ++j)
        for (int i = 0; i <= 8; ++i) {
          const double f = i / 8.0, s = (j + f) / p;
          double got[3];
          BScveval_n(out, s, 0, got, &rc);
          ASSERT_EQ(rc, 0);
          gp_Pnt P;
          peer.cv->D0(t[j] + f * (t[j + 1] - t[j]), P);
          const double want[3] = {P.X(), P.Y(), P.Z()};
          for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(got[k], want[k], 1e-12) << "order " << order << " trial " << trial << " span " << j;
        }
      BSfreevoqcv(out, &rc);
      ++cases;
    }
  EXPECT_GT(cases, 28);
  EXPECT_EQ(BSdbgliveblocks(), live);
}

// Curves of order 6 give spans of degree 5; asked for order 3 or 4 at 1e-6, each span comes back within twice
// the tolerance of its series, and spans that need several pieces keep all of them.
TEST(CompositeToBsplineOracle, HighDegreeSpansWithinTheTolerance) {
  std::mt19937 rng(5656);
  const double tol = 1e-6;
  const int live = BSdbgliveblocks();
  int split = 0;
  for (int trial = 0; trial < 8; ++trial) {
    const bool rational = trial % 2 == 1;
    const int order = 3 + trial / 4;
    auto c = random_curve(rng, 6, 8, rational, true);
    int rc = -1;
    CurveComposite comp(c->cv, &rc);
    ASSERT_EQ(rc, 0);
    Arrays r;
    BScmlgd2bsp(1, 3, comp.n, comp.degrees, comp.codes, comp.spans, comp.bp, comp.range, tol, order, &r.order,
                &r.np, &r.rational, &r.P, &r.K, &r.rc);
    ASSERT_EQ(r.rc, 0) << "trial " << trial;
    EXPECT_EQ(r.order, order);
    if (r.np > comp.n * (order - 1) + 1) ++split;
    const int w = 6;
    double worst = 0;
    for (int j = 0; j < comp.n; ++j)
      for (int i = 0; i <= 100; ++i) {
        const double u = -1 + i / 50.0;
        double got[4];
        BSevalbsp(order - 1, r.np, 3, r.rational, r.P, r.K, (j + (u + 1) / 2) / comp.n, 0, got, &rc);
        ASSERT_EQ(rc, 0);
        const double weight = rational ? legendre_sum(w - 1, comp.spans[j] + 3 * w, u) : 1.0;
        for (int k = 0; k < 3; ++k)
          worst = std::max(worst, std::fabs(got[k] - legendre_sum(w - 1, comp.spans[j] + k * w, u) / weight));
      }
    EXPECT_LT(worst, 2 * tol) << "trial " << trial;
  }
  EXPECT_GT(split, 0) << "some span needs several pieces";
  EXPECT_EQ(BSdbgliveblocks(), live);
}

// The geometry layer's road for a conic of higher order: a rational circle raised to order 5 by the peer, written
// as a composite, each span cut to its effective degree 2, turned back at order 3 and recognised as the circle.
TEST(CompositeToBsplineOracle, RaisedCircleComesBackAsTheCircle) {
  const double Z[3] = {1.5, -2, 0.75}, R = 3, s = std::sqrt(0.5);
  std::vector<double> poles, w;
  const double corners[9][2] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}, {1, 0}};
  for (int i = 0; i < 9; ++i) {
    // The circle in a tilted plane: e1 = (1, 0, 0), e2 = (0, 0.6, 0.8).
    const double x = corners[i][0] * R, y = corners[i][1] * R;
    poles.insert(poles.end(), {Z[0] + x, Z[1] + 0.6 * y, Z[2] + 0.8 * y});
    w.push_back(i % 2 ? s : 1.0);
  }
  TestCurve circle(3, poles, {0, 0, 0, 0.25, 0.25, 0.5, 0.5, 0.75, 0.75, 1, 1, 1}, w);
  OcctCurve peer(circle);
  peer.cv->IncreaseDegree(4);
  const int np = peer.cv->NbPoles();
  std::vector<double> rp, rw, rk;
  for (int i = 1; i <= np; ++i) {
    const gp_Pnt P = peer.cv->Pole(i);
    const double wi = peer.cv->Weight(i);
    rp.insert(rp.end(), {P.X(), P.Y(), P.Z()});
    rw.push_back(wi);
  }
  for (int i = 1; i <= peer.cv->NbKnots(); ++i)
    for (int m = 0; m < peer.cv->Multiplicity(i); ++m) rk.push_back(peer.cv->Knot(i));
  TestCurve raised(5, rp, rk, rw);

  const int live = BSdbgliveblocks();
  int rc = -1;
  {
    CurveComposite comp(raised.cv, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(comp.n, 4);
    std::vector<int> degrees(comp.n, 2);
    double **reduced = nullptr;
    BSallcmplgd(3, comp.n, degrees.data(), comp.codes, &reduced, &rc);
    ASSERT_EQ(rc, 0);
    for (int i = 0; i < comp.n; ++i) {
      int m = -2;
      double *cut = reduced[i];
      BSeffdegvec(comp.degrees[i], 4, comp.spans[i], BStoltab[bstol::dist_tol], &m, &cut);
      EXPECT_EQ(m, 2) << "span " << i;
    }
    Arrays r;
    BScmlgd2bsp(1, 3, comp.n, degrees.data(), comp.codes, reduced, comp.bp, comp.range, BStoltab[bstol::dist_tol],
                3, &r.order, &r.np, &r.rational, &r.P, &r.K, &r.rc);
    BSfreecmplgd(&reduced);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.order, 3);
    EXPECT_EQ(r.np, 9);
    VOQbsp_curve *out = nullptr;
    BSplktbspcv(r.order, 3, static_cast<BSboolean>(r.rational), r.np, r.P, r.K, BStoltab[bstol::dist_tol], &out,
                &rc);
    ASSERT_EQ(rc, 0);
    int type = -1;
    double C[3], a = 0, b = 0, F1[3], F2[3], V1[3], V2[3], M1[3], M2[3];
    BSconicprp(out, &type, C, &a, &b, F1, F2, V1, V2, M1, M2, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(type, 9);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(C[k], Z[k], 1e-9);
    EXPECT_NEAR(a, R, 1e-9);
    BSfreevoqcv(out, &rc);
  }
  EXPECT_EQ(BSdbgliveblocks(), live);
}

}  // namespace

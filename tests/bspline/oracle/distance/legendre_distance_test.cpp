// The nearest point of random Bezier spans in Legendre form beside OpenCASCADE's global minimum (Extrema_ExtPC over
// the span and both ends), the span handed to it as a Geom_BezierCurve in s = (t + 1) / 2.
#include <gtest/gtest.h>

#include <Extrema_ExtPC.hxx>
#include <GeomAdaptor_Curve.hxx>
#include <Geom_BezierCurve.hxx>
#include <TColStd_Array1OfReal.hxx>
#include <TColgp_Array1OfPnt.hxx>

#include <cfloat>
#include <cmath>
#include <random>
#include <vector>

#include "bspline/distance.h"
#include "bspline/legendre.h"

namespace {

struct Minimum {
  double dist = DBL_MAX, s = 0;
  bool unique = true;
};

// The least of the interior extrema and the ends; unique unless a second candidate lies within 1e-7 of it.
Minimum occt_minimum(const Handle(Geom_BezierCurve) & bz, const gp_Pnt &p) {
  std::vector<std::pair<double, double>> cand = {{p.Distance(bz->Value(0)), 0}, {p.Distance(bz->Value(1)), 1}};
  GeomAdaptor_Curve ad(bz);
  Extrema_ExtPC ext(p, ad, 1e-12);
  if (ext.IsDone())
    for (int i = 1; i <= ext.NbExt(); ++i)
      if (ext.IsMin(i)) cand.push_back({std::sqrt(ext.SquareDistance(i)), ext.Point(i).Parameter()});
  Minimum m;
  for (const auto &c : cand)
    if (c.first < m.dist) m = {c.first, c.second, true};
  for (const auto &c : cand)
    if (c.first < m.dist + 1e-7 && std::fabs(c.second - m.s) > 1e-6) m.unique = false;
  return m;
}

TEST(LegendreDistanceOracle, RandomSpansAgreeWithOpenCascade) {
  std::mt19937 rng(2340);
  std::uniform_real_distribution<double> u(-2, 2), uw(0.4, 2.5);
  for (int degree = 1; degree <= 8; ++degree)
    for (int rational = 0; rational <= 1; ++rational)
      for (int trial = 0; trial < 6; ++trial) {
        TColgp_Array1OfPnt poles(1, degree + 1);
        TColStd_Array1OfReal weights(1, degree + 1);
        // Weighted Bernstein coefficients per component, then the weights.
        std::vector<std::vector<double>> bern(4, std::vector<double>(degree + 1));
        for (int i = 0; i <= degree; ++i) {
          const double w = rational ? uw(rng) : 1.0;
          const gp_Pnt q(u(rng), u(rng), u(rng));
          poles.SetValue(i + 1, q);
          weights.SetValue(i + 1, w);
          for (int c = 0; c < 3; ++c) bern[c][i] = w * q.Coord(c + 1);
          bern[3][i] = w;
        }
        Handle(Geom_BezierCurve) bz = rational ? new Geom_BezierCurve(poles, weights) : new Geom_BezierCurve(poles);
        std::vector<double> coef((degree + 1) * (3 + rational));
        for (int c = 0; c < 3 + rational; ++c) {
          int rc = 0;
          BSbeztlgd(degree, bern[c].data(), coef.data() + c * (degree + 1), &rc);
          ASSERT_EQ(rc, 0);
        }
        const int np = 4;
        std::vector<double> pts(3 * np), bound(np, DBL_MAX), dist(np, DBL_MAX), par(np), pt(3 * np);
        std::vector<unsigned char> active(np, 1);
        std::vector<int> status(np);
        for (double &v : pts) v = u(rng);
        int rc = 0;
        BSmdptlgcv(degree, 3, rational, coef.data(), np, pts.data(), 1e-10, bound.data(), dist.data(),
                   active.data(), bound.data(), dist.data(), par.data(), pt.data(), status.data(), &rc);
        ASSERT_EQ(rc, 0) << degree << " " << rational;
        for (int i = 0; i < np; ++i) {
          const gp_Pnt p(pts[3 * i], pts[3 * i + 1], pts[3 * i + 2]);
          const Minimum m = occt_minimum(bz, p);
          EXPECT_EQ(status[i], 0);
          EXPECT_NEAR(dist[i], m.dist, 1e-9) << "degree " << degree << " rational " << rational << " point " << i;
          if (m.unique) {
            EXPECT_NEAR((par[i] + 1) / 2, m.s, 1e-6) << "degree " << degree << " point " << i;
          }
          // The returned point is the curve at the returned parameter.
          EXPECT_NEAR(p.Distance(bz->Value((par[i] + 1) / 2)), dist[i], 1e-12);
        }
      }
}

}  // namespace

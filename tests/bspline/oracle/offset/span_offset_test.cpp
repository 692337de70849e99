// The offset of one smooth piece beside the exact offset curve of OpenCASCADE, both ways, with SISL's offset
// approximation's pole count at the same tolerance for comparison.
#include <gtest/gtest.h>

#include <Geom2dAPI_ProjectPointOnCurve.hxx>
#include <Geom2d_BSplineCurve.hxx>
#include <Geom2d_OffsetCurve.hxx>
#include <Standard_Failure.hxx>
#include <TColStd_Array1OfInteger.hxx>
#include <TColStd_Array1OfReal.hxx>
#include <TColgp_Array1OfPnt2d.hxx>
#include <sisl.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "bspline/intersect.h"
#include "bspline/offset.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

// A planar curve that turns by at most 60 degrees from leg to leg, so that its radius of curvature stays usable.
std::unique_ptr<TestCurve> smooth_planar(std::mt19937 &rng, int order, bool rational) {
  std::uniform_real_distribution<double> step(1, 3), turn(-M_PI / 3, M_PI / 3), gap(0.3, 2), wd(0.5, 2);
  const int n = std::uniform_int_distribution<int>(order, 8)(rng);
  std::vector<double> poles{0, 0, 0}, knots(order, 0), w;
  double angle = turn(rng);
  for (int i = 1; i < n; ++i) {
    angle += turn(rng);
    const double s = step(rng);
    poles.insert(poles.end(), {poles[3 * i - 3] + s * std::cos(angle), poles[3 * i - 2] + s * std::sin(angle), 0});
  }
  for (int i = order; i < n; ++i) knots.push_back(knots.back() + gap(rng));
  const double end = knots.back() + gap(rng);
  for (int i = 0; i < order; ++i) knots.push_back(end);
  if (rational)
    for (int i = 0; i < n; ++i) w.push_back(wd(rng));
  return std::make_unique<TestCurve>(order, poles, knots, w);
}

Handle(Geom2d_BSplineCurve) occt2d(const TestCurve &c) {
  std::vector<double> distinct;
  std::vector<int> mults;
  for (double t : c.knots) {
    if (distinct.empty() || t != distinct.back()) {
      distinct.push_back(t);
      mults.push_back(1);
    } else {
      ++mults.back();
    }
  }
  TColgp_Array1OfPnt2d poles(1, c.n());
  TColStd_Array1OfReal knots(1, static_cast<int>(distinct.size())), w(1, c.n());
  TColStd_Array1OfInteger mult(1, static_cast<int>(mults.size()));
  for (int i = 0; i < c.n(); ++i) {
    poles.SetValue(i + 1, gp_Pnt2d(c.pole(i, 0), c.pole(i, 1)));
    w.SetValue(i + 1, c.weights.empty() ? 1.0 : c.weights[i]);
  }
  for (size_t i = 0; i < distinct.size(); ++i) {
    knots.SetValue(static_cast<int>(i) + 1, distinct[i]);
    mult.SetValue(static_cast<int>(i) + 1, mults[i]);
  }
  return new Geom2d_BSplineCurve(poles, w, knots, mult, c.order() - 1);
}

// Parameters of a curve record: 50 per span plus every knot and both ends.
std::vector<double> samples(const VOQbsp_curve *cv) {
  std::vector<double> u;
  for (int s = cv->order - 1; s < cv->num_poles; ++s) {
    const double a = cv->knots[s], b = cv->knots[s + 1];
    if (b > a)
      for (int j = 0; j <= 50; ++j) u.push_back(a + (b - a) * j / 50.0);
  }
  return u;
}

double distance_to(const Handle(Geom2d_Curve) & exact, const gp_Pnt2d &p) {
  double d = std::fmin(p.Distance(exact->Value(exact->FirstParameter())),
                       p.Distance(exact->Value(exact->LastParameter())));
  try {
    Geom2dAPI_ProjectPointOnCurve proj(p, exact);
    if (proj.NbPoints() > 0) d = std::fmin(d, proj.LowerDistance());
  } catch (const Standard_Failure &) {
  }
  return d;
}

TEST(SpanOffsetOracle, WithinTwiceTheToleranceOfTheExactOffset) {
  std::mt19937 rng(8505);
  const double tol = BStoltab[bstol::offset_tol], up[3] = {0, 0, 1};
  int ours = 0, theirs = 0;
  for (int trial = 0; trial < 24; ++trial) {
    const bool rational = trial % 2;
    auto c = smooth_planar(rng, rational ? 3 : 4, rational);
    Handle(Geom2d_BSplineCurve) base = occt2d(*c);
    double rmin = INFINITY;
    for (double u : samples(&c->cv)) {
      gp_Pnt2d p;
      gp_Vec2d v1, v2;
      base->D2(u, p, v1, v2);
      rmin = std::fmin(rmin, std::pow(v1.Magnitude(), 3) / std::fabs(v1.Crossed(v2)));
    }
    const double d = 0.45 * rmin;
    for (int side : {1, -1}) {
      VOQbsp_curve *out = nullptr;
      int rc = 0;
      BSallocvoqcv(c->cv.order, c->cv.num_poles, c->cv.rational, 0, &out, &rc);
      BSspnoffset(&c->cv, d, up, side, &out, &rc);
      ASSERT_EQ(rc, 0) << trial << " side " << side;
      // Positive offsets lie to the right of the tangent in OpenCASCADE, as side +1 about +z does here.
      Handle(Geom2d_Curve) exact = new Geom2d_OffsetCurve(base, side * d);
      for (double u : samples(out)) {
        double p[3];
        BScveval_n(out, u, 0, p, &rc);
        EXPECT_LE(distance_to(exact, gp_Pnt2d(p[0], p[1])), 2 * tol) << trial << " side " << side << " at " << u;
      }
      for (double u : samples(&c->cv)) {
        const gp_Pnt2d e = exact->Value(u);
        const double q[3] = {e.X(), e.Y(), 0};
        double par = 0, foot[3], dist = 0;
        BSmdstptcv(out, q, &par, foot, &dist, &rc);
        ASSERT_EQ(rc, 0);
        EXPECT_LE(dist, 2 * tol) << trial << " side " << side << " exact point at " << u;
      }
      ours += out->num_poles;
      BSfreevoqcv(out, &rc);

      std::vector<double> coef;
      for (int i = 0; i < c->n(); ++i) {
        for (int k = 0; k < 2; ++k) coef.push_back(c->poles[3 * i + k]);
        if (rational) coef.push_back(c->weights[i]);
      }
      SISLCurve *sc = newCurve(c->n(), c->order(), c->knots.data(), coef.data(), rational ? 2 : 1, 2, 1), *so = nullptr;
      double norm[3] = {0, 0, 1};
      int stat = 0;
      // SISL offsets to the left in the plane.
      s1360(sc, -side * d, tol, norm, 0, 2, &so, &stat);
      if (stat >= 0 && so) theirs += so->in;
      if (so) freeCurve(so);
      freeCurve(sc);
    }
  }
  std::printf("offset poles over 48 offsets at tolerance %g: ours %d, SISL s1360 %d\n", tol, ours, theirs);
}

}  // namespace

// Conics of the peers for the oracle tests: random placements of OpenCASCADE's conics, and its conversions to
// rational B-splines in our form with the knots mapped onto [0, 1].
#pragma once

#include <GeomConvert.hxx>
#include <Geom_TrimmedCurve.hxx>
#include <gp_Ax2.hxx>

#include <cmath>
#include <random>

#include "tests/bspline/conic_fixtures.h"
#include "tests/bspline/oracle/flat_curves.h"

// A right-handed placement with its origin in [-10, 10]^3.
inline gp_Ax2 random_axes(std::mt19937 &rng) {
  std::uniform_real_distribution<double> d(-1, 1), o(-10, 10);
  gp_Dir n, x;
  for (;;) {
    const gp_Vec vn(d(rng), d(rng), d(rng)), vx(d(rng), d(rng), d(rng));
    const gp_Vec perp = vx - vn.Normalized() * vx.Dot(vn.Normalized());
    if (vn.Magnitude() < 0.2 || perp.Magnitude() < 0.2) continue;
    n = gp_Dir(vn);
    x = gp_Dir(perp);
    break;
  }
  return gp_Ax2(gp_Pnt(o(rng), o(rng), o(rng)), n, x);
}

// A peer's curve in our record: its order and whether its weights count.
inline std::unique_ptr<TestCurve> curve_of(const Flat &f, int order, bool rational) {
  return std::make_unique<TestCurve>(order, f.poles, f.knots, rational ? f.weights : std::vector<double>{});
}

// The peer's conversion with the given number of spans (1 to 3), knots mapped onto [0, 1].
inline Flat converted_on_unit(const Handle(Geom_TrimmedCurve) & arc, int spans) {
  static const Convert_ParameterisationType kHow[3] = {Convert_TgtThetaOver2_1, Convert_TgtThetaOver2_2,
                                                       Convert_TgtThetaOver2_3};
  Flat f = flat_of(GeomConvert::CurveToBSplineCurve(arc, kHow[spans - 1]));
  const double a = f.knots.front(), b = f.knots.back();
  for (double &t : f.knots) t = (t - a) / (b - a);
  return f;
}

// The distance from q to SISL's curve near the parameter *par (Newton from there; s1957 alone may settle on an
// end of a closed curve), *par moved to the foot.
inline double sisl_distance_near(SISLCurve *sc, const double q[3], double *par) {
  int stat = 0, left = 0;
  double foot = *par, p[3];
  s1774(sc, const_cast<double *>(q), 3, 1e-15, sc->et[sc->ik - 1], sc->et[sc->in], *par, &foot, &stat);
  s1221(sc, 0, foot, &left, p, &stat);
  *par = foot;
  return std::sqrt((p[0] - q[0]) * (p[0] - q[0]) + (p[1] - q[1]) * (p[1] - q[1]) + (p[2] - q[2]) * (p[2] - q[2]));
}

// Our closed curve along SISL's, both starting at one point: each of 47 points of ours, a 48th further on each
// time, lies within tol of SISL's curve at a parameter beyond the previous one.
inline void expect_along_sisl(const ArcRecord &ours, SISLCurve *sc, double tol) {
  const double a = sc->et[sc->ik - 1], b = sc->et[sc->in];
  double last = a;
  for (int i = 1; i < 48; ++i) {
    double q[3], par = last + (b - a) / 48;
    ours.point(i / 48.0, q);
    EXPECT_LT(sisl_distance_near(sc, q, &par), tol) << i;
    EXPECT_GT(par, last) << i;
    last = par;
  }
}

// Random pairs of planar cubic Bezier spans for the span-intersection oracle test and benchmark, with the
// crossings OpenCASCADE and SISL find. A pair is kept when both peers agree on the count, see no overlap, and
// every crossing is transversal (tangent sine at least 0.2), 0.02 from the span ends and 0.05 from the others.
#pragma once

#include <Geom2dAPI_InterCurveCurve.hxx>
#include <Geom2d_BezierCurve.hxx>
#include <TColgp_Array1OfPnt2d.hxx>
#include <sisl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

namespace bzpairs {

struct Crossing {
  double x, y, t1, t2;
};

struct Pair {
  double a[8], b[8];  // four poles (x, y) each
  std::vector<Crossing> want;
};

inline Handle(Geom2d_BezierCurve) OcctBezier(const double *p) {
  TColgp_Array1OfPnt2d poles(1, 4);
  for (int i = 0; i < 4; ++i) poles.SetValue(i + 1, gp_Pnt2d(p[2 * i], p[2 * i + 1]));
  return new Geom2d_BezierCurve(poles);
}

inline SISLCurve *SislBezier(const double *p) {
  double knots[8] = {0, 0, 0, 0, 1, 1, 1, 1}, coef[8];
  std::copy(p, p + 8, coef);
  return newCurve(4, 4, knots, coef, 1, 2, 1);
}

// Either peer's crossings; *overlap when it also found a common stretch (or, SISL, failed).
inline std::vector<Crossing> Occt(const Handle(Geom2d_Curve) & c1, const Handle(Geom2d_Curve) & c2, bool *overlap) {
  Geom2dAPI_InterCurveCurve x(c1, c2, 1e-12);
  *overlap = x.NbSegments() > 0;
  std::vector<Crossing> out;
  for (int i = 1; i <= x.NbPoints(); ++i) {
    const IntRes2d_IntersectionPoint &p = x.Intersector().Point(i);
    out.push_back({p.Value().X(), p.Value().Y(), p.ParamOnFirst(), p.ParamOnSecond()});
  }
  return out;
}

inline std::vector<Crossing> Sisl(SISLCurve *c1, SISLCurve *c2, bool *overlap) {
  int n = 0, ncurves = 0, stat = 0;
  double *par1 = nullptr, *par2 = nullptr;
  SISLIntcurve **curves = nullptr;
  s1857(c1, c2, 1e-12, 1e-12, &n, &par1, &par2, &ncurves, &curves, &stat);
  std::vector<Crossing> out;
  for (int i = 0; i < n; ++i) out.push_back({0, 0, par1[i], par2[i]});
  *overlap = ncurves > 0 || stat < 0;
  if (curves) freeIntcrvlist(curves, ncurves);
  std::free(par1);
  std::free(par2);
  return out;
}

inline std::vector<Pair> MakePairs(unsigned seed, int count) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(0, 1);
  std::vector<Pair> pairs;
  while (static_cast<int>(pairs.size()) < count) {
    Pair q;
    for (double &v : q.a) v = u(rng);
    for (double &v : q.b) v = u(rng);
    const Handle(Geom2d_BezierCurve) c1 = OcctBezier(q.a), c2 = OcctBezier(q.b);
    SISLCurve *s1 = SislBezier(q.a), *s2 = SislBezier(q.b);
    bool overlap = false, sisl_overlap = false;
    q.want = Occt(c1, c2, &overlap);
    bool keep = Sisl(s1, s2, &sisl_overlap).size() == q.want.size() && !overlap && !sisl_overlap;
    freeCurve(s1);
    freeCurve(s2);
    for (size_t i = 0; i < q.want.size() && keep; ++i) {
      const Crossing &c = q.want[i];
      gp_Pnt2d p;
      gp_Vec2d d1, d2;
      c1->D1(c.t1, p, d1);
      c2->D1(c.t2, p, d2);
      keep = std::min({c.t1, c.t2, 1 - c.t1, 1 - c.t2}) >= 0.02 &&
             std::fabs(d1.Crossed(d2)) >= 0.2 * d1.Magnitude() * d2.Magnitude();
      for (size_t j = 0; j < i && keep; ++j)
        keep = std::fabs(q.want[j].t1 - c.t1) >= 0.05 && std::fabs(q.want[j].t2 - c.t2) >= 0.05;
    }
    if (keep) pairs.push_back(std::move(q));
  }
  return pairs;
}

}  // namespace bzpairs

// Random pairs of planar cubic Bezier spans for the span-intersection oracle test and benchmark, with the
// crossings OpenCASCADE and SISL find. A pair is kept when both peers agree on the count, see no overlap, and
// every crossing is transversal (tangent sine at least 0.2), 0.02 from the span ends and 0.05 from the others.
// Beside them, pairs built to defeat a polygon-based intersector, with SISL's crossings.
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
  int family = -1;  // of MakeHardPairs
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

// The sine of the angle between the tangents of a at t1 and b at t2, as OpenCASCADE evaluates them.
inline double Sine(const double *a, const double *b, double t1, double t2) {
  gp_Pnt2d p;
  gp_Vec2d d1, d2;
  OcctBezier(a)->D1(t1, p, d1);
  OcctBezier(b)->D1(t2, p, d2);
  return std::fabs(d1.Crossed(d2)) / (d1.Magnitude() * d2.Magnitude());
}

// SISL's crossings of a and b along a, with their points as OpenCASCADE evaluates them; false when SISL fails or
// finds a common stretch.
inline bool SislCrossings(const double *a, const double *b, std::vector<Crossing> *out) {
  SISLCurve *s1 = SislBezier(a), *s2 = SislBezier(b);
  bool stretch = false;
  *out = Sisl(s1, s2, &stretch);
  freeCurve(s1);
  freeCurve(s2);
  const Handle(Geom2d_BezierCurve) c1 = OcctBezier(a);
  for (Crossing &c : *out) c.x = c1->Value(c.t1).X(), c.y = c1->Value(c.t1).Y();
  std::sort(out->begin(), out->end(), [](const Crossing &l, const Crossing &r) { return l.t1 < r.t1; });
  return !stretch;
}

// The poles p turned and scaled by s about the point of their curve at t, then moved so that the curve passes
// through (x, y) there in the direction ang.
inline void Place(double *p, double t, double x, double y, double ang, double s) {
  gp_Pnt2d at;
  gp_Vec2d d;
  OcctBezier(p)->D1(t, at, d);
  const double turn = ang - std::atan2(d.Y(), d.X()), c = s * std::cos(turn), sn = s * std::sin(turn);
  for (int i = 0; i < 4; ++i) {
    const double dx = p[2 * i] - at.X(), dy = p[2 * i + 1] - at.Y();
    p[2 * i] = x + c * dx - sn * dy, p[2 * i + 1] = y + sn * dx + c * dy;
  }
}

// Pairs on which the node polygons of the spans are too coarse, by turns of three families:
//  0: a loop (0, 0) (1 + a, h) (-a, h) (1, 0), which crosses itself on its axis of symmetry at 0.5 -+
//     sqrt(0.25 - 1 / (4 + 6 a)), and a gently bent cubic through a point 1e-7 to 5e-3 from there;
//  1: a hairpin whose arms lie 5e-4 to 4e-3 apart, and a gently bent cubic across both arms, up to its turn;
//  2: a crossing at 6 to 25 degrees within 1e-5 to 0.02 of parameter from an end of one span (on the other span
//     as near an end, or inside).
// Either span comes first. A pair is kept with SISL's crossings when it finds some, no common stretch, and as many
// with the spans the other way round.
inline std::vector<Pair> MakeHardPairs(unsigned seed, int count) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(0, 1);
  auto in = [&](double lo, double hi) { return lo + (hi - lo) * u(rng); };
  std::vector<Pair> pairs;
  for (int family = 0; static_cast<int>(pairs.size()) < count; family = (family + 1) % 3) {
    Pair q;
    q.family = family;
    // The other span: straight but for inner poles that stray by up to 5% of its length.
    for (int i = 0; i < 4; ++i) q.b[2 * i] = i / 3.0, q.b[2 * i + 1] = i % 3 ? in(-0.05, 0.05) : 0;
    if (family < 2) {
      const double a = in(0.1, 1), h = in(0.5, 1.6), w = in(5e-4, 4e-3), j = in(-0.2, 0.2);
      const double loop[8] = {0, 0, 1 + a, h, -a, h, 1, 0}, pin[8] = {0, 0, 1, j * w, 1, w, 0, w};
      std::copy(family ? pin : loop, (family ? pin : loop) + 8, q.a);
      // Where the other span passes, and in which direction.
      const double s = 0.5 - std::sqrt(0.25 - 1 / (4 + 6 * a)), r = std::pow(10.0, in(-7, -2.3)), off = in(0, 2 * M_PI);
      const double along = in(0.05, 0.74), steep = in(0.35, 1.4), back = u(rng) < 0.5 ? 0 : M_PI, any = in(0, M_PI);
      const double x = family ? along : 0.5 + r * std::cos(off);
      const double y = family ? w / 2 : 3 * h * s * (1 - s) + r * std::sin(off);
      const double at = in(0.2, 0.8), length = in(0.3, 0.8);
      Place(q.b, at, x, y, family ? steep + back : any, length);
      // Both turned, scaled and moved together into the unit square.
      const double turn = in(0, 2 * M_PI), size = family ? 1 : in(0.3, 0.7), dx = in(0.2, 0.6), dy = in(0.2, 0.6);
      const double c = size * std::cos(turn), sn = size * std::sin(turn);
      for (double *p : {q.a, q.b})
        for (int i = 0; i < 4; ++i) {
          const double px = p[2 * i], py = p[2 * i + 1];
          p[2 * i] = c * px - sn * py + dx, p[2 * i + 1] = sn * px + c * py + dy;
        }
    } else {
      for (double &v : q.a) v = u(rng);
      const double gap = std::pow(10.0, in(-5, -1.7)), t0 = u(rng) < 0.5 ? gap : 1 - gap;
      gp_Pnt2d p;
      gp_Vec2d d;
      OcctBezier(q.a)->D1(t0, p, d);
      const double pick = u(rng), inside = in(0.1, 0.9), s0 = pick < 0.15 ? gap : pick < 0.3 ? 1 - gap : inside;
      const double side = u(rng) < 0.5 ? -1 : 1, angle = in(6, 25) * M_PI / 180, speed = in(0.5, 1.5);
      Place(q.b, s0, p.X(), p.Y(), std::atan2(d.Y(), d.X()) + side * angle, speed * d.Magnitude());
    }
    if (u(rng) < 0.5) std::swap(q.a, q.b);
    std::vector<Crossing> back;
    if (SislCrossings(q.a, q.b, &q.want) && !q.want.empty() && SislCrossings(q.b, q.a, &back) &&
        back.size() == q.want.size())
      pairs.push_back(std::move(q));
  }
  return pairs;
}

}  // namespace bzpairs

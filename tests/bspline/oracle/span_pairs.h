// Random pairs of planar Bezier spans for the span-intersection oracle test and benchmark: cubics, segments and
// rational circular arcs against one another, half of them sharing an end point, and collinear segments that
// overlap; with what OpenCASCADE finds. A pair is kept when every crossing is transversal (tangent sine at least
// 0.2), lies at the shared end or 0.02 from the span ends, and stands 0.05 from the others on both spans; an
// overlapping pair when the peer finds its one common stretch and nothing else.
#pragma once

#include <Geom2dAPI_InterCurveCurve.hxx>
#include <Geom2d_BezierCurve.hxx>
#include <Geom2d_Line.hxx>
#include <Geom2d_TrimmedCurve.hxx>
#include <TColStd_Array1OfReal.hxx>
#include <TColgp_Array1OfPnt2d.hxx>
#include <sisl.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "tests/bspline/curve_fixtures.h"

namespace spanpairs {

struct Span {
  int order;
  std::vector<double> xy;  // order poles (x, y)
  std::vector<double> w;   // order weights, or empty
};

struct Meeting {
  double x, y, t1, t2;
};

struct Pair {
  Span a, b;
  bool overlap = false;       // the peer's answer is one common stretch, whose ends are `want`
  std::vector<Meeting> want;  // crossings, or the two ends of the common stretch
};

// A segment goes to the peer as a trimmed line, whose stretches with another line it finds exactly.
inline Handle(Geom2d_Curve) OcctSpan(const Span &s) {
  if (s.order == 2) {
    const gp_Pnt2d p0(s.xy[0], s.xy[1]), p1(s.xy[2], s.xy[3]);
    return new Geom2d_TrimmedCurve(new Geom2d_Line(p0, gp_Dir2d(gp_Vec2d(p0, p1))), 0, p0.Distance(p1));
  }
  TColgp_Array1OfPnt2d poles(1, s.order);
  for (int i = 0; i < s.order; ++i) poles.SetValue(i + 1, gp_Pnt2d(s.xy[2 * i], s.xy[2 * i + 1]));
  if (s.w.empty()) return new Geom2d_BezierCurve(poles);
  TColStd_Array1OfReal weights(1, s.order);
  for (int i = 0; i < s.order; ++i) weights.SetValue(i + 1, s.w[i]);
  return new Geom2d_BezierCurve(poles, weights);
}

inline std::unique_ptr<TestCurve> OurSpan(const Span &s) {
  std::vector<double> poles, knots(s.order, 0.0);
  knots.resize(2 * s.order, 1.0);
  for (int i = 0; i < s.order; ++i) poles.insert(poles.end(), {s.xy[2 * i], s.xy[2 * i + 1], 0});
  return std::make_unique<TestCurve>(s.order, poles, knots, s.w);
}

inline SISLCurve *SislSpan(const Span &s) {
  std::vector<double> knots(s.order, 0.0), coef;
  knots.resize(2 * s.order, 1.0);
  for (int i = 0; i < s.order; ++i) {
    const double w = s.w.empty() ? 1.0 : s.w[i];
    coef.insert(coef.end(), {s.xy[2 * i] * w, s.xy[2 * i + 1] * w});
    if (!s.w.empty()) coef.push_back(w);
  }
  return newCurve(s.order, s.order, knots.data(), coef.data(), s.w.empty() ? 1 : 2, 2, 1);
}

// SISL's count of meetings (a common stretch counts its two ends), or -1 when it fails.
inline int SislCount(const Span &a, const Span &b) {
  SISLCurve *c1 = SislSpan(a), *c2 = SislSpan(b);
  int n = 0, ncurves = 0, stat = 0;
  double *par1 = nullptr, *par2 = nullptr;
  SISLIntcurve **curves = nullptr;
  s1857(c1, c2, 1e-12, 1e-12, &n, &par1, &par2, &ncurves, &curves, &stat);
  if (curves) freeIntcrvlist(curves, ncurves);
  std::free(par1);
  std::free(par2);
  freeCurve(c1);
  freeCurve(c2);
  return stat < 0 ? -1 : n + 2 * ncurves;
}

// A peer's parameter on c as one in [0, 1], and back.
inline double Unit(const Handle(Geom2d_Curve) & c, double p) {
  return (p - c->FirstParameter()) / (c->LastParameter() - c->FirstParameter());
}
inline double Peer(const Handle(Geom2d_Curve) & c, double t) {
  return c->FirstParameter() + t * (c->LastParameter() - c->FirstParameter());
}

// The peer's crossings; *segments counts the common stretches it found (their ends are appended).
inline std::vector<Meeting> Occt(const Handle(Geom2d_Curve) & c1, const Handle(Geom2d_Curve) & c2, int *segments) {
  Geom2dAPI_InterCurveCurve x(c1, c2, 1e-12);
  std::vector<Meeting> out;
  auto add = [&](const IntRes2d_IntersectionPoint &p) {
    out.push_back({p.Value().X(), p.Value().Y(), Unit(c1, p.ParamOnFirst()), Unit(c2, p.ParamOnSecond())});
  };
  for (int i = 1; i <= x.NbPoints(); ++i) add(x.Intersector().Point(i));
  *segments = x.Intersector().NbSegments();
  for (int i = 1; i <= *segments; ++i) {
    add(x.Intersector().Segment(i).FirstPoint());
    add(x.Intersector().Segment(i).LastPoint());
  }
  return out;
}

inline std::vector<Pair> MakePairs(unsigned seed, int count) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(0, 1);
  auto cubic = [&] {
    Span s{4, std::vector<double>(8), {}};
    for (double &v : s.xy) v = u(rng);
    return s;
  };
  auto segment = [&] { return Span{2, {u(rng), u(rng), u(rng), u(rng)}, {}}; };
  // An arc of 0.3 to 2.5 rad about (cx, cy) from angle a0.
  auto arc = [&](double cx, double cy, double r, double a0) {
    const double sweep = 0.3 + 2.2 * u(rng), h = std::cos(sweep / 2), a1 = a0 + sweep / 2, a2 = a0 + sweep;
    return Span{3,
                {cx + r * std::cos(a0), cy + r * std::sin(a0), cx + r / h * std::cos(a1), cy + r / h * std::sin(a1),
                 cx + r * std::cos(a2), cy + r * std::sin(a2)},
                {1, h, 1}};
  };
  auto random_arc = [&] { return arc(u(rng), u(rng), 0.2 + 0.6 * u(rng), 2 * M_PI * u(rng)); };
  // Span b moved, or rebuilt for an arc, so that one of its ends is one of a's.
  auto share_end = [&](const Span &a, Span &b) {
    const int ia = u(rng) < 0.5 ? 0 : a.order - 1, ib = u(rng) < 0.5 ? 0 : b.order - 1;
    const double px = a.xy[2 * ia], py = a.xy[2 * ia + 1];
    if (b.w.empty()) {
      b.xy[2 * ib] = px, b.xy[2 * ib + 1] = py;
      return;
    }
    const double cx = u(rng), cy = u(rng);
    b = arc(cx, cy, std::hypot(px - cx, py - cy), std::atan2(py - cy, px - cx));
  };
  std::vector<Pair> pairs;
  for (int family = 0; static_cast<int>(pairs.size()) < count; family = (family + 1) % 6) {
    Pair q;
    if (family == 5) {
      // b from inside a to beyond it along a's line: the stretch from b's start to a's end is shared.
      q.a = segment();
      const double s = 0.2 + 0.3 * u(rng), e = 1.2 + 0.3 * u(rng), *p = q.a.xy.data();
      q.b = Span{2,
                 {p[0] + s * (p[2] - p[0]), p[1] + s * (p[3] - p[1]), p[0] + e * (p[2] - p[0]),
                  p[1] + e * (p[3] - p[1])},
                 {}};
      q.overlap = true;
    } else {
      q.a = family == 0 || family == 1 ? cubic() : family == 2 ? segment() : random_arc();
      q.b = family == 0 || family == 4 ? cubic() : family == 1 ? segment() : random_arc();
      if (u(rng) < 0.5) share_end(q.a, q.b);
    }
    const Handle(Geom2d_Curve) c1 = OcctSpan(q.a), c2 = OcctSpan(q.b);
    int segments = 0;
    q.want = Occt(c1, c2, &segments);
    if (SislCount(q.a, q.b) != static_cast<int>(q.want.size())) continue;
    if (q.overlap) {
      if (segments == 1 && q.want.size() == 2) pairs.push_back(std::move(q));
      continue;
    }
    bool keep = segments == 0;
    for (size_t i = 0; i < q.want.size() && keep; ++i) {
      const Meeting &c = q.want[i];
      gp_Pnt2d p, e1, e2, f1, f2;
      gp_Vec2d d1, d2;
      c1->D1(Peer(c1, c.t1), p, d1);
      c2->D1(Peer(c2, c.t2), p, d2);
      c1->D0(c1->FirstParameter(), e1), c1->D0(c1->LastParameter(), f1);
      c2->D0(c2->FirstParameter(), e2), c2->D0(c2->LastParameter(), f2);
      const gp_Pnt2d at(c.x, c.y);
      const bool shared_end = (at.Distance(e1) < 1e-9 || at.Distance(f1) < 1e-9) &&
                              (at.Distance(e2) < 1e-9 || at.Distance(f2) < 1e-9);
      keep = (shared_end || std::min({c.t1, c.t2, 1 - c.t1, 1 - c.t2}) >= 0.02) &&
             std::fabs(d1.Crossed(d2)) >= 0.2 * d1.Magnitude() * d2.Magnitude();
      for (size_t j = 0; j < i && keep; ++j)
        keep = std::fabs(q.want[j].t1 - c.t1) >= 0.05 && std::fabs(q.want[j].t2 - c.t2) >= 0.05;
    }
    if (keep) pairs.push_back(std::move(q));
  }
  return pairs;
}

}  // namespace spanpairs

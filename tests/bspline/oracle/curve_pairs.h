// Random planar B-spline pairs, polynomial and rational, for the curve/curve intersection oracle test, with the
// crossings OpenCASCADE and SISL find, and the two peers' answers for any plane curve. Curve a runs left to right and
// curve b bottom to top over the same square, so that they cross several times. A pair is kept when both peers find
// crossings, agree on their count (also each with the curves the other way round) and on their parameters within 1e-8
// of the range and see no common stretch; it is transversal when every crossing has a tangent sine of at least 0.2 and
// lies 1e-3 of the range from the others.
#pragma once

#include <sisl.h>

#include <Geom2dAPI_InterCurveCurve.hxx>
#include <Geom2d_BSplineCurve.hxx>
#include <TColStd_Array1OfInteger.hxx>
#include <TColStd_Array1OfReal.hxx>
#include <TColgp_Array1OfPnt2d.hxx>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <random>
#include <vector>

#include "tests/bspline/curve_fixtures.h"
#include "tests/bspline/oracle/bezier_pairs.h"
#include "tests/bspline/oracle/peer_curves.h"

namespace cvpairs {

using bzpairs::Crossing;

// OpenCASCADE's plane curve: the space curve's knots, multiplicities and weights with the poles' x and y.
inline Handle(Geom2d_BSplineCurve) Occt(const TestCurve &c) {
  const Handle(Geom_BSplineCurve) space = OcctCurve(c).cv;
  TColgp_Array1OfPnt2d poles(1, c.n());
  for (int i = 1; i <= c.n(); ++i) poles.SetValue(i, gp_Pnt2d(space->Pole(i).X(), space->Pole(i).Y()));
  TColStd_Array1OfReal knots(1, space->NbKnots()), weights(1, c.n());
  TColStd_Array1OfInteger mults(1, space->NbKnots());
  space->Knots(knots);
  space->Multiplicities(mults);
  space->Weights(weights);
  return new Geom2d_BSplineCurve(poles, weights, knots, mults, c.order() - 1);
}

// Homogeneous coefficients (x w, y w, w) for a rational curve.
inline SISLCurve *Sisl(const TestCurve &c) {
  std::vector<double> knots(c.knots), coef;
  const bool rational = !c.weights.empty();
  for (int i = 0; i < c.n(); ++i) {
    for (int k = 0; k < 2; ++k) coef.push_back(c.poles[3 * i + k]);
    if (rational) coef.push_back(c.weights[i]);
  }
  return newCurve(c.n(), c.order(), knots.data(), coef.data(), rational ? 2 : 1, 2, 1);
}

// Either peer's crossings along the first curve; *segments when it also found a common stretch (or, SISL, failed).
inline std::vector<Crossing> OcctCrossings(const Handle(Geom2d_BSplineCurve) & a, const Handle(Geom2d_BSplineCurve) & b,
                                           bool *segments) {
  std::vector<Crossing> out = bzpairs::Occt(a, b, segments);
  std::sort(out.begin(), out.end(), [](const Crossing &l, const Crossing &r) { return l.t1 < r.t1; });
  return out;
}

inline std::vector<Crossing> SislCrossings(SISLCurve *a, SISLCurve *b, bool *segments) {
  std::vector<Crossing> out = bzpairs::Sisl(a, b, segments);
  std::sort(out.begin(), out.end(), [](const Crossing &l, const Crossing &r) { return l.t1 < r.t1; });
  return out;
}

struct Pair {
  std::unique_ptr<TestCurve> a, b;
  std::vector<Crossing> want;  // OpenCASCADE's, along a
  bool transversal = false;
};

// Order k, n poles along the axis `along` (0: x, 1: y) over [0, 10], the other coordinate random in [0, 10];
// rational weights in [0.5, 2], or with a spread s > 0 log-uniform in [1/s, s].
inline std::unique_ptr<TestCurve> Curve(std::mt19937 &rng, int k, int n, int along, bool rational, double spread = 0) {
  std::uniform_real_distribution<double> u(0, 1), gap(0.2, 2.0), w(0.5, 2.0);
  std::uniform_real_distribution<double> log_w(-std::log(spread > 0 ? spread : 1), std::log(spread > 0 ? spread : 1));
  std::vector<double> poles, knots, weights;
  for (int i = 0; i < n; ++i) {
    double p[3] = {0, 0, 0};
    p[along] = 10.0 * (i + 0.8 * u(rng)) / n;
    p[1 - along] = 10 * u(rng);
    poles.insert(poles.end(), p, p + 3);
    if (rational) weights.push_back(spread > 0 ? std::exp(log_w(rng)) : w(rng));
  }
  double t = 4 * u(rng) - 2;
  knots.assign(k, t);
  for (int i = k; i < n; ++i) knots.push_back(t += gap(rng));
  t += gap(rng);
  for (int i = 0; i < k; ++i) knots.push_back(t);
  return std::make_unique<TestCurve>(k, poles, knots, weights);
}

inline std::vector<Pair> MakePairs(unsigned seed, int count, int min_order = 2, int max_order = 6, int max_poles = 30,
                                   double spread = 0) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> order(min_order, max_order), coin(0, 1);
  std::vector<Pair> pairs;
  while (static_cast<int>(pairs.size()) < count) {
    Pair q;
    for (int side = 0; side < 2; ++side) {
      const int k = order(rng);
      std::uniform_int_distribution<int> poles(k, std::max(k, max_poles));
      (side ? q.b : q.a) = Curve(rng, k, poles(rng), side, coin(rng) == 1, spread);
    }
    const Handle(Geom2d_BSplineCurve) c1 = Occt(*q.a), c2 = Occt(*q.b);
    SISLCurve *s1 = Sisl(*q.a), *s2 = Sisl(*q.b);
    bool occt_seg = false, sisl_seg = false;
    q.want = OcctCrossings(c1, c2, &occt_seg);
    const std::vector<Crossing> sisl = SislCrossings(s1, s2, &sisl_seg);
    // Either peer may miss a crossing: the count must also hold with the curves the other way round.
    const size_t occt_back = OcctCrossings(c2, c1, &occt_seg).size(),
                 sisl_back = SislCrossings(s2, s1, &sisl_seg).size();
    freeCurve(s1);
    freeCurve(s2);
    if (occt_seg || sisl_seg || sisl.size() != q.want.size() || q.want.empty() || occt_back != q.want.size() ||
        sisl_back != q.want.size())
      continue;
    const double r1 = q.a->end() - q.a->start(), r2 = q.b->end() - q.b->start();
    bool agree = true;
    q.transversal = true;
    for (size_t i = 0; i < q.want.size(); ++i) {
      const Crossing &c = q.want[i];
      agree = agree && std::fabs(c.t1 - sisl[i].t1) <= 1e-8 * r1 && std::fabs(c.t2 - sisl[i].t2) <= 1e-8 * r2;
      gp_Pnt2d p;
      gp_Vec2d d1, d2;
      c1->D1(c.t1, p, d1);
      c2->D1(c.t2, p, d2);
      q.transversal = q.transversal && std::fabs(d1.Crossed(d2)) >= 0.2 * d1.Magnitude() * d2.Magnitude();
      for (size_t j = 0; j < i; ++j)
        q.transversal =
            q.transversal && std::fabs(q.want[j].t1 - c.t1) >= 1e-3 * r1 && std::fabs(q.want[j].t2 - c.t2) >= 1e-3 * r2;
    }
    if (agree) pairs.push_back(std::move(q));
  }
  return pairs;
}

}  // namespace cvpairs

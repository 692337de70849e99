// Curves with known lengths for the tests and benchmarks of lengths: rational circular arcs, a reference length by
// brute-force quadrature of the speed, a scope that sets a tolerance entry, and the short form of the length.
// Free of the test framework, so that the benchmarks can use it too.
#pragma once

#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "bspline/measure.h"
#include "tests/bspline/curve_fixtures.h"

// A tolerance entry set for one test and put back when it ends.
struct TolScope {
  int index;
  double saved;
  TolScope(int i, double value) : index(i), saved(BStoltab[i]) { BStoltab[i] = value; }
  ~TolScope() { BStoltab[index] = saved; }
  TolScope(const TolScope &) = delete;
  TolScope &operator=(const TolScope &) = delete;
};

// A circular arc of radius r about (cx, cy, cz) in the plane z = cz from angle a0 through sweep, as `segments`
// rational quadratic pieces (weights cos(half the piece's sweep) at the inner poles), knots 0 .. segments.
inline std::unique_ptr<TestCurve> circular_arc(double r, double a0, double sweep, int segments, double cx = 0,
                                               double cy = 0, double cz = 0) {
  const double step = sweep / segments, w = std::cos(step / 2);
  std::vector<double> poles, weights, knots = {0, 0, 0};
  for (int s = 0; s < segments; ++s) {
    const double a = a0 + s * step, m = a + step / 2, rm = r / w;
    if (s == 0) {
      poles.insert(poles.end(), {cx + r * std::cos(a), cy + r * std::sin(a), cz});
      weights.push_back(1);
    }
    poles.insert(poles.end(), {cx + rm * std::cos(m), cy + rm * std::sin(m), cz});
    weights.push_back(w);
    poles.insert(poles.end(), {cx + r * std::cos(a + step), cy + r * std::sin(a + step), cz});
    weights.push_back(1);
    if (s + 1 < segments) knots.insert(knots.end(), {double(s + 1), double(s + 1)});
  }
  knots.insert(knots.end(), {double(segments), double(segments), double(segments)});
  return std::make_unique<TestCurve>(3, poles, knots, weights);
}

// Length by 20-point Gauss-Legendre on each of `pieces` equal parts of every non-empty span.
inline double reference_length(const VOQbsp_curve &cv, double a, double b, int pieces = 64) {
  static const double x[10] = {0.0765265211334973, 0.2277858511416451, 0.3737060887154195, 0.5108670019508271,
                               0.6360536807265150, 0.7463319064601508, 0.8391169718222188, 0.9122344282513259,
                               0.9639719272779138, 0.9931285991850949};
  static const double w[10] = {0.1527533871307258, 0.1491729864726037, 0.1420961093183820, 0.1316886384491766,
                               0.1181945319615184, 0.1019301198172404, 0.0832767415767048, 0.0626720483341091,
                               0.0406014298003869, 0.0176140071391521};
  if (a > b) std::swap(a, b);
  double total = 0;
  for (int s = cv.order - 1; s < cv.num_poles; ++s) {
    const double lo = std::fmax(a, cv.knots[s]), hi = std::fmin(b, cv.knots[s + 1]);
    if (!(hi > lo)) continue;
    for (int p = 0; p < pieces; ++p) {
      const double p0 = lo + (hi - lo) * p / pieces, p1 = lo + (hi - lo) * (p + 1) / pieces;
      const double mid = (p0 + p1) / 2, half = (p1 - p0) / 2;
      for (int i = 0; i < 10; ++i)
        for (int sign = -1; sign <= 1; sign += 2) {
          double d[6];
          int rc = 0;
          // Inside the span, so the evaluator's own span choice cannot matter.
          BScveval1(&rc, cv.order, cv.poles, cv.rational ? cv.weights : nullptr, cv.knots, s, mid + sign * half * x[i],
                    d);
          total += half * w[i] * std::sqrt(d[3] * d[3] + d[4] * d[4] + d[5] * d[5]);
        }
    }
  }
  return total;
}

inline double arclength(VOQbsp_curve &cv, double a, double b, int *rc) {
  double len = -1;
  BSarclength(rc, &cv, &a, &b, &len);
  return len;
}

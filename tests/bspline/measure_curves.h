// Curves with known lengths for the tests and benchmarks of lengths: rational circular arcs, a reference length by
// brute-force quadrature of the speed, a scope that sets a tolerance entry, and the short form of the length.
// Free of the test framework, so that the benchmarks can use it too.
#pragma once

#include <cmath>
#include <memory>
#include <string>
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

// A curve whose pieces are quadratics of known length, each reparametrised so that it runs nearly all of its way
// within a sliver of its parameter beside a pole of tiny weight: a piece A(v) with weights w_i becomes B(u) =
// A(v(u)) with weights w_i rho^i (v = rho u / (1 - u + rho u) on the piece's [0, 1]), here rho = 1e-3 and weights
// from 1e3 down to 1e-3, so that B covers the last 5e-4 of A's parameter in the last 5e-7 of its own. The pieces
// are parabola arcs (polynomial A), quarter circles (rational A) or straight legs (poles on a line). kLinger is
// another way to squeeze: a straight leg whose middle pole weighs 1e3 and whose end pole 1e-3, so that the curve
// lingers at the middle pole over most of the parameter and races to its end within the last 1e-6. `joint`: two
// pieces meeting at knot 1, the first squeezed towards its end, the second towards its start, so that the curve
// races through the knot; else one piece squeezed towards its end (or its start, by `at_start`).
struct SqueezedCurve {
  enum Kind { kParabola, kCircle, kLine, kLinger };
  Kind kind;
  bool joint, at_start;
  double scale, offset;
  std::vector<std::vector<double>> pieces;  // each piece's three Cartesian poles, x y per pole
  std::unique_ptr<TestCurve> curve;

  static constexpr double kRho = 1e-3;

  SqueezedCurve(Kind k, bool two_pieces, bool squeezed_at_start, double s, double o)
      : kind(k), joint(two_pieces), at_start(squeezed_at_start && !two_pieces), scale(s), offset(o) {
    const std::vector<double> shapes[4][2] = {{{0, 0, 1, 2, 2, 0}, {2, 0, 3, -2, 4, 0}},
                                              {{1, 0, 1, 1, 0, 1}, {0, 1, -1, 1, -1, 0}},
                                              {{0, 0, 0.5, 1, 1, 2}, {1, 2, 1.5, 3, 2, 4}},
                                              {{0, 0, 1, 0, 3, 0}, {3, 0, 5, 0, 6, 0}}};
    pieces.push_back(shapes[kind][0]);
    if (joint) pieces.push_back(shapes[kind][1]);
    const double mid = kind == kCircle ? std::sqrt(0.5) : 1.0;
    std::vector<double> poles, weights, knots = {0, 0, 0};
    for (std::size_t p = 0; p < pieces.size(); ++p) {
      const bool towards_start = p == 1 || at_start;
      for (int i = p == 0 ? 0 : 1; i < 3; ++i) {
        poles.insert(poles.end(), {offset + scale * pieces[p][2 * i], offset + scale * pieces[p][2 * i + 1], 0});
        const double w = kind == kLinger ? (i == 1 ? 1e3 : i == (towards_start ? 0 : 2) ? 1e-3 : 1.0)
                                         : (i == 1 ? mid : 1.0) * 1e3 * std::pow(kRho, towards_start ? 2 - i : i);
        weights.push_back(w);
      }
      if (p + 1 < pieces.size()) knots.insert(knots.end(), {1, 1});
    }
    const double end = static_cast<double>(pieces.size());
    knots.insert(knots.end(), {end, end, end});
    curve = std::make_unique<TestCurve>(3, poles, knots, weights);
  }

  // The length of piece p of A from 0 to v, in closed form (for kLinger, of the piece itself, v its parameter).
  double piece_length(int p, double v) const {
    const std::vector<double> &P = pieces[p];
    if (kind == kLinger) {
      const bool towards_start = p == 1 || at_start;
      const double w0 = towards_start ? 1e-3 : 1, w2 = towards_start ? 1 : 1e-3;
      const double b0 = w0 * (1 - v) * (1 - v), b1 = 1e3 * 2 * v * (1 - v), b2 = w2 * v * v;
      return scale * (b0 * P[0] + b1 * P[2] + b2 * P[4]) / (b0 + b1 + b2) - scale * P[0];
    }
    if (kind == kCircle) {
      const double w = std::sqrt(0.5), b0 = (1 - v) * (1 - v), b1 = 2 * v * (1 - v) * w, b2 = v * v;
      const double W = b0 + b1 + b2;
      const double x = (b0 * P[0] + b1 * P[2] + b2 * P[4]) / W, y = (b0 * P[1] + b1 * P[3] + b2 * P[5]) / W;
      const double a0 = std::atan2(P[1], P[0]), a = std::atan2(y, x);
      double turn = std::fabs(a - a0);
      if (turn > M_PI) turn = 2 * M_PI - turn;
      return scale * turn;
    }
    // |A'(v)| = 2 sqrt(al v^2 + be v + ga) with a = P1 - P0, b = P2 - 2 P1 + P0.
    const double ax = P[2] - P[0], ay = P[3] - P[1], bx = P[4] - 2 * P[2] + P[0], by = P[5] - 2 * P[3] + P[1];
    const double al = bx * bx + by * by, be = 2 * (ax * bx + ay * by), ga = ax * ax + ay * ay;
    if (al == 0) return scale * 2 * std::sqrt(ga) * v;  // evenly spaced poles on a line
    const auto F = [&](double t) {
      const double q = std::sqrt(al * t * t + be * t + ga);
      return (2 * al * t + be) * q / (4 * al) +
             (4 * al * ga - be * be) / (8 * al * std::sqrt(al)) * std::log(2 * std::sqrt(al) * q + 2 * al * t + be);
    };
    return scale * 2 * (F(v) - F(0));
  }

  // Piece p's parameter of A at the curve's parameter u.
  double inner(int p, double u) const {
    const double s = std::min(std::max(u - p, 0.0), 1.0);
    if (kind == kLinger) return s;
    const bool towards_start = p == 1 || at_start;
    return towards_start ? s / (kRho * (1 - s) + s) : kRho * s / ((1 - s) + kRho * s);
  }

  // The exact length of the curve between a and b.
  double length(double a, double b) const {
    if (a > b) std::swap(a, b);
    double total = 0;
    for (int p = 0; p < static_cast<int>(pieces.size()); ++p)
      total += piece_length(p, inner(p, b)) - piece_length(p, inner(p, a));
    return total;
  }
};

// Every squeezed curve the tables read: each kind, squeezed at the end, at the start and at an inner knot, at the
// origin, far out (1e6) and small (1e-3). fn(curve, where it is squeezed (the parameter), what it is).
template <class Fn>
void for_each_squeezed(Fn fn) {
  static const char *const kinds[] = {"parabola", "quarter circle", "straight leg", "lingering leg"};
  using K = SqueezedCurve::Kind;
  for (const auto kind : {K::kParabola, K::kCircle, K::kLine, K::kLinger})
    for (int where = 0; where < 3; ++where)
      for (const auto &[scale, offset] : {std::pair{1.0, 0.0}, {1.0, 1e6}, {1e-3, 0.0}}) {
        const SqueezedCurve sq(kind, where == 2, where == 1, scale, offset);
        const double at = where == 0 ? sq.curve->end() : where == 1 ? sq.curve->start() : 1.0;
        const char *place = where == 0   ? " squeezed at the end"
                            : where == 1 ? " squeezed at the start"
                                         : " squeezed at the knot";
        const std::string what = std::string(kinds[kind]) + place + ", scale " + std::to_string(scale) +
                                 ", offset " + std::to_string(offset);
        fn(sq, at, what);
      }
}

// Reference answers for the fuzz targets, computed by plain sampling and Newton steps on the curve's own
// evaluation, so that they share no method with the routines they judge: the distance from a point to a curve,
// the crossings of two plane curves (or of one with itself) and the perpendicular feet of a point.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "bspline/intersect.h"
#include "bspline/measure.h"
#include "tests/fuzz/fuzz_input.h"

namespace fuzz {

// The Legendre series c[0..n] at t, by the three-term recurrence.
inline double legendre_value(int n, const double *c, double t) {
  double p0 = 1, p1 = t, sum = n >= 0 ? c[0] : 0;
  if (n >= 1) sum += c[1] * t;
  for (int j = 1; j < n; ++j) {
    const double p2 = ((2 * j + 1) * t * p1 - j * p0) / (j + 1);
    sum += c[j + 1] * p2;
    p0 = p1, p1 = p2;
  }
  return sum;
}

// The arc length over the whole range, NaN when it cannot be had.
inline double curve_length(VOQbsp_curve &cv) {
  double a = range_start(cv), b = range_end(cv), len = -1;
  int rc = 0;
  BSarclength(&rc, &cv, &a, &b, &len);
  return rc == 0 ? len : std::numeric_limits<double>::quiet_NaN();
}

// An upper bound of the distance from p to cv, shared by no routine under test: per_span samples of every
// non-empty span (of the part from `from` to `to` when given), each sample nearer than its neighbours refined by a
// golden-section search between them. *par gets the parameter of the bound.
inline double sampled_distance(const VOQbsp_curve &cv, const double p[3], double *par = nullptr, int per_span = 32,
                               double from = -std::numeric_limits<double>::infinity(),
                               double to = std::numeric_limits<double>::infinity()) {
  double best = std::numeric_limits<double>::infinity(), at = range_start(cv);
  auto try_at = [&](double u) {
    const double d = gap_at(cv, u, p);
    if (d < best) best = d, at = u;
    return std::isnan(d) ? std::numeric_limits<double>::infinity() : d;
  };
  std::vector<double> f(static_cast<std::size_t>(per_span) + 1);
  for (int s = cv.order - 1; s < cv.num_poles; ++s) {
    const double a = std::fmax(cv.knots[s], from), b = std::fmin(cv.knots[s + 1], to);
    if (!(a < b)) continue;
    for (int i = 0; i <= per_span; ++i) f[i] = try_at(a + (b - a) * i / per_span);
    for (int i = 0; i <= per_span; ++i) {
      // A run of equal samples (a curve standing still) is refined once.
      if ((i > 0 && f[i - 1] <= f[i]) || (i < per_span && f[i + 1] < f[i])) continue;
      double lo = a + (b - a) * std::max(i - 1, 0) / per_span, hi = a + (b - a) * std::min(i + 1, per_span) / per_span;
      const double g = 0.6180339887498949;
      double x1 = hi - g * (hi - lo), x2 = lo + g * (hi - lo), f1 = try_at(x1), f2 = try_at(x2);
      for (int it = 0; it < 80 && hi - lo > 1e-15 * (std::fabs(lo) + std::fabs(hi)); ++it) {
        if (f1 < f2)
          hi = x2, x2 = x1, f2 = f1, x1 = hi - g * (hi - lo), f1 = try_at(x1);
        else
          lo = x1, x1 = x2, f1 = f2, x2 = lo + g * (hi - lo), f2 = try_at(x2);
      }
    }
  }
  if (par) *par = at;
  return best;
}

// The distance from p to cv as the checks take it: the smaller of the sampled bound and the library's own nearest
// point (which the point-distance target holds to that bound). Sampling alone can miss where the curve passes
// the point twice between two samples.
inline double distance_to(const VOQbsp_curve &cv, const double p[3]) {
  double par = 0, base[3], dist = std::numeric_limits<double>::infinity();
  int rc = 0;
  BSmdstptcv(&cv, p, &par, base, &dist, &rc);
  const double sampled = sampled_distance(cv, p);
  return rc == 0 && std::isfinite(dist) ? std::fmin(sampled, dist) : sampled;
}

// Point and first derivative of cv at u; false when the evaluation fails or is not finite.
inline bool point_and_tangent(const VOQbsp_curve &cv, double u, double p[3], double d[3]) {
  double out[6];
  int rc = 0;
  BScveval_n(&cv, u, 1, out, &rc);
  if (rc != 0 || !finite(out, 6)) return false;
  for (int j = 0; j < 3; ++j) p[j] = out[j], d[j] = out[3 + j];
  return true;
}

struct Crossing {
  double s, t;  // parameters on the first and the second curve
  double p[3];
};

// The nearest points of the segments [p, q] and [a, b] in xy, as fractions f and g along them; false when they
// lie farther apart than half the longer one's length, or either has no length.
inline bool nearest_on_chords(const double *p, const double *q, const double *a, const double *b, double *f,
                              double *g) {
  const double ux = q[0] - p[0], uy = q[1] - p[1], vx = b[0] - a[0], vy = b[1] - a[1];
  const double uu = ux * ux + uy * uy, vv = vx * vx + vy * vy;
  if (!(uu > 0 && vv > 0)) return false;
  auto gap = [&](double s, double t) {
    return std::hypot(p[0] + s * ux - a[0] - t * vx, p[1] + s * uy - a[1] - t * vy);
  };
  // The nearest pair has an end of one segment on the other (they do not cross): the best of the four feet.
  auto foot = [](double ox, double oy, double dx, double dy, double dd) {
    return std::clamp((ox * dx + oy * dy) / dd, 0.0, 1.0);
  };
  const double cand[4][2] = {{0, foot(p[0] - a[0], p[1] - a[1], vx, vy, vv)},
                             {1, foot(q[0] - a[0], q[1] - a[1], vx, vy, vv)},
                             {foot(a[0] - p[0], a[1] - p[1], ux, uy, uu), 0},
                             {foot(b[0] - p[0], b[1] - p[1], ux, uy, uu), 1}};
  double best = std::numeric_limits<double>::infinity();
  for (const auto &c : cand)
    if (gap(c[0], c[1]) < best) best = gap(c[0], c[1]), *f = c[0], *g = c[1];
  return best <= 0.5 * std::sqrt(std::fmax(uu, vv));
}

// The crossings in the xy plane of cv1 and cv2 (the same record for a curve against itself) that a careful
// intersector cannot miss: a polyline of per_span chords in every non-empty span of each, every pair of chords
// that cross properly refined by Newton steps on C1(s) - C2(t) in xy, kept when the steps settle on both curves
// within the rounding of scale, both curves move there, their tangents meet at a sine above min_sine and no
// other crossing lies within `apart` of it (near-coincident crossings may be merged by any method). Crossings
// at a jump of either curve are left out. Against itself a crossing needs its two parameters farther apart than the two chords it came from.
// With `near_chords`, Newton also starts from the nearest points of chords that come within half the longer one's
// length without crossing: two crossings within one pair of chords cancel in the chords' test.
inline std::vector<Crossing> planar_crossings(const VOQbsp_curve &cv1, const VOQbsp_curve &cv2, double scale,
                                              double min_sine, double apart, int per_span = 24,
                                              bool near_chords = false) {
  struct Chord {
    double a, b, p[2], q[2];
  };
  auto chords = [per_span](const VOQbsp_curve &cv) {
    std::vector<Chord> out;
    for (int s = cv.order - 1; s < cv.num_poles; ++s) {
      const double a = cv.knots[s], b = cv.knots[s + 1];
      if (!(a < b)) continue;
      double prev[3];
      if (!point_at(cv, a, prev)) continue;
      for (int i = 1; i <= per_span; ++i) {
        const double u0 = a + (b - a) * (i - 1) / per_span, u1 = a + (b - a) * i / per_span;
        double cur[3];
        if (!point_at(cv, u1, cur)) break;
        out.push_back({u0, u1, {prev[0], prev[1]}, {cur[0], cur[1]}});
        std::copy(cur, cur + 3, prev);
      }
    }
    return out;
  };
  const bool self = &cv1 == &cv2;
  const std::vector<Chord> c1 = chords(cv1), c2 = self ? c1 : chords(cv2);
  const double r1 = range_end(cv1) - range_start(cv1), r2 = range_end(cv2) - range_start(cv2);
  std::vector<Crossing> found;
  auto cross = [](const double *o, const double *a, const double *b) {
    return (a[0] - o[0]) * (b[1] - o[1]) - (a[1] - o[1]) * (b[0] - o[0]);
  };
  for (std::size_t i = 0; i < c1.size(); ++i) {
    for (std::size_t j = self ? i + 2 : 0; j < c2.size(); ++j) {
      const Chord &x = c1[i], &y = c2[j];
      const double d1 = cross(x.p, x.q, y.p), d2 = cross(x.p, x.q, y.q), d3 = cross(y.p, y.q, x.p),
                   d4 = cross(y.p, y.q, x.q);
      double f = 0, g = 0;
      if ((d1 > 0) != (d2 > 0) && (d3 > 0) != (d4 > 0)) {
        // Start at the chords' crossing and let Newton settle it on the curves.
        f = d3 / (d3 - d4), g = d1 / (d1 - d2);
      } else if (!near_chords || !nearest_on_chords(x.p, x.q, y.p, y.q, &f, &g)) {
        continue;
      }
      double s = x.a + (x.b - x.a) * f, t = y.a + (y.b - y.a) * g;
      bool settled = false;
      double P[3], Q[3], dP[3], dQ[3];
      for (int it = 0; it < 40; ++it) {
        if (!point_and_tangent(cv1, s, P, dP) || !point_and_tangent(cv2, t, Q, dQ)) break;
        const double fx = P[0] - Q[0], fy = P[1] - Q[1];
        if (std::hypot(fx, fy) <= 1e-13 * scale) {
          settled = true;
          break;
        }
        const double det = -dP[0] * dQ[1] + dP[1] * dQ[0];
        if (!(std::fabs(det) > 0)) break;
        const double ds = (-fx * -dQ[1] + dQ[0] * -fy) / det, dt = (dP[0] * -fy - dP[1] * -fx) / det;
        s = std::clamp(s + ds, range_start(cv1), range_end(cv1));
        t = std::clamp(t + dt, range_start(cv2), range_end(cv2));
      }
      if (!settled || at_jump(cv1, s) || at_jump(cv2, t)) continue;
      // A curve that stands still (a speed lost in the rounding of its poles) crosses nothing there.
      const double n1 = std::hypot(dP[0], dP[1]), n2 = std::hypot(dQ[0], dQ[1]);
      if (!(n1 * r1 > 1e-6 * scale && n2 * r2 > 1e-6 * scale)) continue;
      if (std::fabs(dP[0] * dQ[1] - dP[1] * dQ[0]) < min_sine * n1 * n2) continue;
      // Against itself: the two parameters must be two places of the curve, not one.
      if (self && std::fabs(s - t) <= (x.b - x.a) + (y.b - y.a)) continue;
      if (self && s > t) std::swap(s, t);
      bool again = false;
      for (const Crossing &k : found)
        again = again || (std::fabs(k.s - s) <= 1e-9 * r1 && std::fabs(k.t - t) <= 1e-9 * r2);
      if (!again) found.push_back({s, t, {P[0], P[1], P[2]}});
    }
  }
  // Keep only the isolated ones.
  std::vector<Crossing> kept;
  for (std::size_t i = 0; i < found.size(); ++i) {
    bool alone = true;
    for (std::size_t j = 0; j < found.size() && alone; ++j)
      alone = i == j || std::hypot(found[i].p[0] - found[j].p[0], found[i].p[1] - found[j].p[1]) > apart;
    if (alone) kept.push_back(found[i]);
  }
  return kept;
}

// The signed distance along the unit tangent from p to cv's point at u: zero at a perpendicular foot. NaN where
// the evaluation fails or the curve stands still (a speed of 1e-9 of scale over the range, or less). With blur,
// how far the rounding of the tangent's direction may move that value: the distance to p times the tangent's
// rounding (noise, an absolute size) over the speed, so that where the curve barely moves its sign is not taken
// for a foot's.
inline double along_tangent(const VOQbsp_curve &cv, double u, const double p[3], double scale, double noise = 0,
                            double *blur = nullptr) {
  double q[3], d[3];
  if (!point_and_tangent(cv, u, q, d)) return std::numeric_limits<double>::quiet_NaN();
  const double speed = std::hypot(d[0], d[1], d[2]);
  if (!(speed * (range_end(cv) - range_start(cv)) > 1e-9 * scale)) return std::numeric_limits<double>::quiet_NaN();
  if (blur) *blur = dist3(q, p) * noise / speed;
  return ((q[0] - p[0]) * d[0] + (q[1] - p[1]) * d[1] + (q[2] - p[2]) * d[2]) / speed;
}

// The size of the rounding of cv's tangent over span s (knots[s] .. knots[s + 1]): evaluation mixes the span's
// poles, divided by knot intervals no shorter than the span, a few units each per level.
inline double tangent_noise(const VOQbsp_curve &cv, int s) {
  double top = 0, w_lo = 1, w_hi = 1;
  for (int j = s - cv.order + 1; j <= s; ++j) {
    for (int c = 0; c < 3; ++c) top = std::fmax(top, std::fabs(cv.poles[3 * j + c]));
    if (cv.rational) w_lo = std::fmin(w_lo, std::fabs(cv.weights[j])), w_hi = std::fmax(w_hi, std::fabs(cv.weights[j]));
  }
  const double ratio = cv.rational && w_lo > 0 ? w_hi / w_lo : 1;
  return 8.0 * cv.order * cv.order * std::numeric_limits<double>::epsilon() * top * ratio /
         (cv.knots[s + 1] - cv.knots[s]);
}

// The feet of the perpendiculars from p that no search may miss: per_span samples of along_tangent in every
// non-empty span, each clear change of sign inside a span bisected to its root; kept when the curve moves there
// and no other foot lies within `apart` of it in space (near-coincident feet may be taken for one).
inline std::vector<Crossing> perpendicular_feet(const VOQbsp_curve &cv, const double p[3], double scale, double apart,
                                                int per_span = 64) {
  std::vector<Crossing> found;
  const double clear = 1e-9 * scale;
  for (int s = cv.order - 1; s < cv.num_poles; ++s) {
    // The span's own ends are taken a hair inside, so that the tangent there is the span's, not its neighbour's.
    const double a = cv.knots[s] + 1e-9 * (cv.knots[s + 1] - cv.knots[s]), b = cv.knots[s + 1] - (a - cv.knots[s]);
    if (!(a < b)) continue;
    const double noise = tangent_noise(cv, s);
    double blur0 = 0, blur1 = 0, u0 = a, g0 = along_tangent(cv, a, p, scale, noise, &blur0);
    for (int i = 1; i <= per_span; ++i) {
      const double u1 = i == per_span ? b : a + (b - a) * i / per_span;
      const double g1 = along_tangent(cv, u1, p, scale, noise, &blur1);
      if (std::fabs(g0) > clear + blur0 && std::fabs(g1) > clear + blur1 && (g0 > 0) != (g1 > 0)) {
        double lo = u0, hi = u1, glo = g0;
        bool moving = true;
        for (int it = 0; it < 100 && lo < hi && moving; ++it) {
          const double mid = 0.5 * (lo + hi), g = along_tangent(cv, mid, p, scale);
          moving = !std::isnan(g);
          if (mid <= lo || mid >= hi) break;
          if ((g > 0) == (glo > 0))
            lo = mid, glo = g;
          else
            hi = mid;
        }
        Crossing f{0.5 * (lo + hi), 0, {}};
        if (moving && point_at(cv, f.s, f.p) && !at_jump(cv, f.s)) found.push_back(f);
      }
      u0 = u1, g0 = g1, blur0 = blur1;
    }
  }
  std::vector<Crossing> kept;
  for (std::size_t i = 0; i < found.size(); ++i) {
    bool alone = true;
    for (std::size_t j = 0; j < found.size() && alone; ++j) alone = i == j || dist3(found[i].p, found[j].p) > apart;
    if (alone) kept.push_back(found[i]);
  }
  return kept;
}

// The true offset point of cv at u to the right of travel (normal (0, 0, 1)) times side, at distance d; false where
// the curve stands still.
inline bool offset_point(const VOQbsp_curve &cv, double u, double d, int side, double scale, double out[3]) {
  double p[3], t[3];
  if (!point_and_tangent(cv, u, p, t)) return false;
  const double len = std::hypot(t[0], t[1]);
  if (!(len * (range_end(cv) - range_start(cv)) > 1e-6 * scale)) return false;
  out[0] = p[0] + side * d * t[1] / len;
  out[1] = p[1] - side * d * t[0] / len;
  out[2] = 0;
  return true;
}

// Whether cv is smooth enough that every point at distance d beside it belongs to its offset: no interior knot
// where the tangent may turn (multiplicity order - 1 or more), a radius of curvature above d at samples, and no
// turn of more than a right angle between neighbouring samples. The last catches a curve that stops and runs
// back along itself between samples (a cusp inside a span): its offset jumps sides there, which no sample of the
// curvature sees on a straight fold.
inline bool smooth_for(const TestCurve &c, double d) {
  const VOQbsp_curve &cv = c.cv;
  for (int i = cv.order; i < cv.num_poles; ++i) {
    int mult = 1;
    while (i + mult < cv.num_poles && cv.knots[i + mult] == cv.knots[i]) ++mult;
    if (mult >= cv.order - 1) return false;
  }
  double prev[2] = {0, 0};
  for (int s = 0; s <= 256; ++s) {
    double out[9];
    int rc = 0;
    BScveval_n(&cv, c.start() + (c.end() - c.start()) * s / 256, 2, out, &rc);
    const double speed = std::hypot(out[3], out[4]), cross = std::fabs(out[3] * out[7] - out[4] * out[6]);
    if (rc != 0 || !(speed > 0) || !(speed * speed * speed > 1.01 * d * cross)) return false;
    if (s > 0 && !(prev[0] * out[3] + prev[1] * out[4] > 0)) return false;
    prev[0] = out[3], prev[1] = out[4];
  }
  return true;
}

}  // namespace fuzz

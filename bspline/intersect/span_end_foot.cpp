// The span-end check projects span ends onto the other span several times for nearly every span pair, since
// neighbouring spans touch. The global search converts the span and bounds it at every call; a span whose squared
// distance to the point is convex has one minimum, which a few Newton steps reach directly.
#include "bspline/core/test_support.h"
#include "bspline/intersect/span_end_foot.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace bsendfoot {


namespace {

constexpr int kMaxOrder = 16;
constexpr int kDepth = 8;  // halvings before a near piece is left to the search

double dot3(const double *a, const double *b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Point, first and second derivative in t over [0, 1] of the Bezier span with poles P (x, y, z each).
void evaluate(int degree, const double *P, double t, double c[3], double d1[3], double d2[3]) {
  double q[3 * kMaxOrder];
  std::copy(P, P + 3 * (degree + 1), q);
  const double s = 1 - t;
  // Down to the three points of the quadratic stage (two for a segment).
  const int stop = degree >= 2 ? 2 : 1;
  for (int level = degree; level > stop; --level)
    for (int i = 0; i < level; ++i)
      for (int k = 0; k < 3; ++k) q[3 * i + k] = s * q[3 * i + k] + t * q[3 * (i + 1) + k];
  if (degree == 1) {
    for (int k = 0; k < 3; ++k) {
      c[k] = s * q[k] + t * q[3 + k];
      d1[k] = q[3 + k] - q[k];
      d2[k] = 0;
    }
    return;
  }
  const double p = degree;
  for (int k = 0; k < 3; ++k) {
    const double r0 = s * q[k] + t * q[3 + k], r1 = s * q[3 + k] + t * q[6 + k];
    c[k] = s * r0 + t * r1;
    d1[k] = p * (r1 - r0);
    d2[k] = p * (p - 1) * (q[6 + k] - 2 * q[3 + k] + q[k]);
  }
}

// True when |C'|^2 + (C - point) . C'' is certainly positive over the whole span: |C'| is bounded below by the
// hodograph's least extent along the chord; (C - point) . C'' below by the larger of two bounds, the product of
// the largest lengths, and the products of the components' ranges over the poles (which tightens as pieces
// shrink, so that pieces near a minimum qualify up to the centre of curvature).
bool certainly_convex(int degree, const double *P, const double point[3]) {
  double chord[3] = {P[3 * degree] - P[0], P[3 * degree + 1] - P[1], P[3 * degree + 2] - P[2]};
  const double len = std::sqrt(dot3(chord, chord));
  if (!(len > 0) || !std::isfinite(len)) return false;
  for (double &c : chord) c /= len;
  double m = DBL_MAX, K = 0, R = 0;
  double off_lo[3] = {DBL_MAX, DBL_MAX, DBL_MAX}, off_hi[3] = {-DBL_MAX, -DBL_MAX, -DBL_MAX};
  double bend_lo[3] = {0, 0, 0}, bend_hi[3] = {0, 0, 0};
  for (int i = 0; i <= degree; ++i) {
    const double *a = P + 3 * i;
    const double off[3] = {a[0] - point[0], a[1] - point[1], a[2] - point[2]};
    R = std::max(R, dot3(off, off));
    for (int c = 0; c < 3; ++c) off_lo[c] = std::min(off_lo[c], off[c]), off_hi[c] = std::max(off_hi[c], off[c]);
    if (i < degree) {
      const double h[3] = {a[3] - a[0], a[4] - a[1], a[5] - a[2]};
      m = std::min(m, dot3(h, chord));
    }
    if (i + 1 < degree) {
      const double s[3] = {a[6] - 2 * a[3] + a[0], a[7] - 2 * a[4] + a[1], a[8] - 2 * a[5] + a[2]};
      K = std::max(K, dot3(s, s));
      for (int c = 0; c < 3; ++c) {
        bend_lo[c] = i == 0 ? s[c] : std::min(bend_lo[c], s[c]);
        bend_hi[c] = i == 0 ? s[c] : std::max(bend_hi[c], s[c]);
      }
    }
  }
  if (!(m > 0)) return false;
  const double p = degree, speed = p * m, scale = p * (p - 1);
  double ranges = 0;
  for (int c = 0; c < 3; ++c)
    ranges += std::min(std::min(off_lo[c] * bend_lo[c], off_lo[c] * bend_hi[c]),
                       std::min(off_hi[c] * bend_lo[c], off_hi[c] * bend_hi[c]));
  const double lower = std::max(-std::sqrt(R) * scale * std::sqrt(K), scale * ranges);
  // The bounds hold exactly; the factor covers their own rounding.
  return speed * speed + (1 + 1e-6) * std::min(lower, 0.0) > 0;
}

}  // namespace

namespace {

// A piece [a, b] of a span: homogeneous poles, four components each, halved by de Casteljau.
struct Piece {
  double q[4 * kMaxOrder];
  double a, b;
  int depth;
  bool rational;
};

// The piece of the whole span; false for a weight that is not positive.
bool whole_span(const VOQbsp_curve &cv, Piece *p) {
  const int k = cv.order;
  for (int i = 0; i < k; ++i) {
    const double w = cv.rational ? cv.weights[i] : 1.0;
    if (!(w > 0)) return false;
    for (int c = 0; c < 3; ++c) p->q[4 * i + c] = cv.poles[3 * i + c];
    p->q[4 * i + 3] = w;
  }
  p->a = 0, p->b = 1, p->depth = 0;
  p->rational = cv.rational != 0;
  return true;
}

// The distance from point to the box of the piece's poles, less a margin for the rounding of the coordinates.
double box_gap(const Piece &p, int k, const double point[3]) {
  double sq = 0, extent = std::fabs(point[0]) + std::fabs(point[1]) + std::fabs(point[2]);
  for (int c = 0; c < 3; ++c) {
    double lo = DBL_MAX, hi = -DBL_MAX;
    for (int i = 0; i < k; ++i) {
      const double x = p.rational ? p.q[4 * i + c] / p.q[4 * i + 3] : p.q[4 * i + c];
      lo = std::min(lo, x);
      hi = std::max(hi, x);
    }
    const double d = point[c] < lo ? lo - point[c] : point[c] > hi ? point[c] - hi : 0;
    sq += d * d;
    extent = std::max(extent, std::fabs(lo) + std::fabs(hi));
  }
  return std::sqrt(sq) - 64 * DBL_EPSILON * extent;
}

// The piece on top of the stack becomes its left half, its right half goes on top.
void halve(Piece *stack, int *top, int k) {
  Piece &p = stack[*top], &right = stack[*top + 1];
  right.depth = ++p.depth;
  right.rational = p.rational;
  const double mid = 0.5 * (p.a + p.b);
  right.a = mid, right.b = p.b, p.b = mid;
  double *a = p.q, *b = right.q;
  std::copy(a, a + 4 * k, b);
  for (int level = 1; level < k; ++level)
    for (int i = k - 1; i >= level; --i)
      for (int c = 0; c < 4; ++c) a[4 * i + c] = 0.5 * (a[4 * i + c] + a[4 * (i - 1) + c]);
  for (int level = 1; level < k; ++level)
    for (int i = 0; i < k - level; ++i)
      for (int c = 0; c < 4; ++c) b[4 * i + c] = 0.5 * (b[4 * i + c] + b[4 * (i + 1) + c]);
  ++*top;
}

}  // namespace

bool beyond(const VOQbsp_curve &cv, const double point[3], double r) {
  const int k = cv.order;
  if (k < 2 || k > kMaxOrder || cv.num_poles != k || !(r >= 0)) return false;
  Piece stack[kDepth + 2];
  int top = 0;
  if (!whole_span(cv, &stack[0])) return false;
  while (top >= 0) {
    if (box_gap(stack[top], k, point) > r * (1 + 1e-9)) {
      --top;
      continue;
    }
    if (stack[top].depth == kDepth) return false;
    halve(stack, &top, k);
  }
  return true;
}

namespace {

void cross3(const double *a, const double *b, double *out) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

double norm3(const double *a) { return std::sqrt(dot3(a, a)); }

// The single minimum of a span whose squared distance to point is certainly convex: t in [0, 1] and its point.
bool convex_minimum(int degree, const double *P, const double point[3], double *t_out, double best[3]) {
  if (!certainly_convex(degree, P, point)) return false;
  // f = (C - point) . C' rises over the span: its sign at the ends brackets the single minimum.
  double c[3], d1[3], d2[3];
  auto slope = [&](double t) {
    evaluate(degree, P, t, c, d1, d2);
    const double r[3] = {c[0] - point[0], c[1] - point[1], c[2] - point[2]};
    return dot3(r, d1);
  };
  double lo = 0, hi = 1, t = 0;
  const double f_lo = slope(0), f_hi = slope(1);
  if (!std::isfinite(f_lo) || !std::isfinite(f_hi)) return false;
  if (f_lo >= 0 || f_hi <= 0) {
    const double *e = f_lo >= 0 ? P : P + 3 * degree;
    std::copy(e, e + 3, best);
    *t_out = f_lo >= 0 ? 0 : 1;
    return true;
  }
  t = f_lo / (f_lo - f_hi);
  bool converged = false;
  for (int step = 0; step < 100 && !converged; ++step) {
    const double f = slope(t);
    if (!std::isfinite(f)) return false;
    if (f == 0) break;
    (f < 0 ? lo : hi) = t;
    const double r[3] = {c[0] - point[0], c[1] - point[1], c[2] - point[2]};
    const double df = dot3(d1, d1) + dot3(r, d2);
    double next = df > 0 ? t - f / df : 0.5 * (lo + hi);
    if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
    converged = std::fabs(next - t) <= 4 * DBL_EPSILON || hi - lo <= 4 * DBL_EPSILON;
    t = next;
  }
  if (!converged && slope(t) != 0) return false;
  evaluate(degree, P, t, best, d1, d2);
  *t_out = t;
  return true;
}

// The single nearest point of a non-rational span, piece by piece: a piece whose pole box lies farther than the
// best point so far is dropped, a piece whose squared distance is certainly convex gives its one minimum, any
// other piece is halved. False after too many pieces, or when two minima apart on the span come within rounding
// of one distance (which of them the global search takes is not ours to guess).
bool minimum_by_pieces(const VOQbsp_curve &cv, const double point[3], double *t_out, double best[3]) {
  const int k = cv.order, degree = k - 1;
  constexpr int kPieces = 64;
  constexpr double kApart = 1e-7;
  Piece stack[kDepth + 2];
  int top = 0, seen = 0;
  if (!whole_span(cv, &stack[0])) return false;
  // The ends are points of the span: the nearer bounds the search from the start.
  double upper = DBL_MAX, runner = DBL_MAX, best_t = 0;
  for (const int end : {0, degree}) {
    const double *e = cv.poles + 3 * end;
    const double off[3] = {e[0] - point[0], e[1] - point[1], e[2] - point[2]};
    const double d = norm3(off);
    if (d < upper) upper = d, best_t = end == 0 ? 0 : 1, std::copy(e, e + 3, best);
  }
  while (top >= 0) {
    Piece &p = stack[top];
    if (++seen > kPieces) return false;
    if (box_gap(p, k, point) > upper * (1 + 1e-9)) {
      --top;
      continue;
    }
    double P[3 * kMaxOrder], q[3], t = 0;
    for (int i = 0; i < k; ++i)
      for (int c = 0; c < 3; ++c) P[3 * i + c] = p.q[4 * i + c];
    if (convex_minimum(degree, P, point, &t, q)) {
      const double off[3] = {q[0] - point[0], q[1] - point[1], q[2] - point[2]};
      const double d = norm3(off), at = t == 0 ? p.a : t == 1 ? p.b : p.a + (p.b - p.a) * t;
      const bool apart = std::fabs(at - best_t) > kApart;
      if (d < upper) {
        if (apart) runner = upper;
        upper = d, best_t = at;
        std::copy(q, q + 3, best);
      } else if (apart) {
        runner = std::min(runner, d);
      }
      --top;
      continue;
    }
    if (p.depth == kDepth) return false;
    halve(stack, &top, k);
  }
  if (!(upper < DBL_MAX) || runner - upper <= 1e-9 * (1 + upper)) return false;
  *t_out = best_t;
  return true;
}

// The nearest point of a rational quadratic span that is a circular arc, in closed form: the radial foot when the
// point's direction from the centre falls inside the sweep, else the nearer end. False for any other span, and
// for points too near the axis to tell.
bool arc_minimum(const VOQbsp_curve &cv, const double point[3], double *t_out, double best[3]) {
  if (cv.order != 3 || cv.num_poles != 3) return false;
  const double *w = cv.weights;
  if (!(w[0] > 0 && w[1] > 0 && w[2] > 0)) return false;
  double P[9];
  for (int i = 0; i < 3; ++i)
    for (int k = 0; k < 3; ++k) P[3 * i + k] = cv.poles[3 * i + k] / w[i];
  const double *P0 = P, *P1 = P + 3, *P2 = P + 6;
  // Equal legs, and the middle weight (in the form with end weights 1) the cosine of half the sweep.
  const double l0[3] = {P1[0] - P0[0], P1[1] - P0[1], P1[2] - P0[2]};
  const double l2[3] = {P1[0] - P2[0], P1[1] - P2[1], P1[2] - P2[2]};
  const double chord[3] = {P2[0] - P0[0], P2[1] - P0[1], P2[2] - P0[2]};
  const double leg = norm3(l0), leg2 = norm3(l2), span = norm3(chord);
  constexpr double kExact = 1e-12;
  if (!(leg > 0 && span > 0) || std::fabs(leg - leg2) > kExact * leg) return false;
  const double cos_half = dot3(l0, chord) / (leg * span), wm = w[1] / std::sqrt(w[0] * w[2]);
  if (!(cos_half > 1e-3) || std::fabs(wm - cos_half) > kExact) return false;
  // The centre lies beyond the chord's middle M, away from P1: |MO| = h^2 / d.
  const double M[3] = {(P0[0] + P2[0]) / 2, (P0[1] + P2[1]) / 2, (P0[2] + P2[2]) / 2};
  const double up[3] = {P1[0] - M[0], P1[1] - M[1], P1[2] - M[2]};
  const double d2 = dot3(up, up), h2 = span * span / 4;
  if (!(d2 > 1e-16 * h2)) return false;
  double O[3], normal[3];
  for (int k = 0; k < 3; ++k) O[k] = M[k] - up[k] * (h2 / d2);
  const double R = std::sqrt(h2 + h2 * h2 / d2);
  cross3(l0, chord, normal);
  const double nn = norm3(normal);
  if (!(nn > 0)) return false;
  for (double &c : normal) c /= nn;
  double v[3] = {point[0] - O[0], point[1] - O[1], point[2] - O[2]};
  const double off = dot3(v, normal);
  for (int k = 0; k < 3; ++k) v[k] -= off * normal[k];
  const double vn = norm3(v);
  if (!(vn > 1e-9 * R)) return false;
  // Inside the sweep (under half a turn) means on the inner side of both end radii: signs of cross products, which
  // keep their accuracy at the sweep's limits where cosines would not.
  const double to0[3] = {P0[0] - O[0], P0[1] - O[1], P0[2] - O[2]};
  const double to2[3] = {P2[0] - O[0], P2[1] - O[1], P2[2] - O[2]};
  double x0[3], x2[3], xs[3];
  cross3(to0, v, x0);
  cross3(v, to2, x2);
  cross3(to0, to2, xs);
  const double turn = dot3(xs, normal) > 0 ? 1 : -1;
  if (!(dot3(x0, normal) * turn >= 0 && dot3(x2, normal) * turn >= 0)) {
    // Outside the sweep the nearest point is an end: the first one here, the other weighed against it with the
    // ties.
    std::copy(P0, P0 + 3, best);
    *t_out = 0;
    return true;
  }
  for (int k = 0; k < 3; ++k) best[k] = O[k] + v[k] * (R / vn);
  // The parameter from the barycentric weights of the foot in the triangle of the poles: b0 : b2 is
  // w0 (1 - t)^2 : w2 t^2.
  double e0[3], e1[3], e2[3], x[3];
  for (int k = 0; k < 3; ++k) e0[k] = P0[k] - best[k], e1[k] = P1[k] - best[k], e2[k] = P2[k] - best[k];
  cross3(e1, e2, x);
  const double a0 = std::sqrt(norm3(x) / w[0]);
  cross3(e0, e1, x);
  const double a2 = std::sqrt(norm3(x) / w[2]);
  if (!(a0 + a2 > 0)) return false;
  *t_out = a2 / (a0 + a2);
  return std::isfinite(*t_out);
}

}  // namespace

bool local_foot(const VOQbsp_curve &cv, const double point[3], double tol, double *par, double foot[3],
                double *dist) {
  const int order = cv.order, degree = order - 1;
  if (bstest::switches.global_feet || order < 2 || order > kMaxOrder || cv.num_poles != order) return false;
  const double a = cv.knots[0], b = cv.knots[2 * order - 1];
  for (int i = 1; i < order; ++i)
    if (cv.knots[i] != a || cv.knots[order + i - 1] != b) return false;
  if (!(a < b) || !std::isfinite(tol)) return false;
  double t = 0, best[3];
  const bool found = cv.rational ? arc_minimum(cv, point, &t, best) : minimum_by_pieces(cv, point, &t, best);
  if (!found) return false;
  double r[3] = {best[0] - point[0], best[1] - point[1], best[2] - point[2]};
  double d = norm3(r);
  // Held to the span: the sum can round past b where b - a absorbs a tiny b.
  double u = t == 0 ? a : t == 1 ? b : std::fmax(a, std::fmin(b, a + (b - a) * t));
  // The ends win ties within half the tolerance, the last end tried first.
  for (const int end : {1, 0}) {
    const int i = end == 0 ? 0 : degree;
    const double w = cv.rational ? cv.weights[i] : 1.0;
    double e[3];
    for (int k = 0; k < 3; ++k) e[k] = cv.poles[3 * i + k] / w;
    const double off[3] = {e[0] - point[0], e[1] - point[1], e[2] - point[2]};
    const double de = norm3(off);
    if (de < d + tol / 2) {
      d = de;
      u = end == 0 ? a : b;
      std::copy(e, e + 3, best);
    }
  }
  if (!std::isfinite(d)) return false;
  *par = u;
  *dist = d;
  std::copy(best, best + 3, foot);
  return true;
}

}  // namespace bsendfoot

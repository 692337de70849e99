// Random planar rational curves whose weights spread far (log-uniform from 1e-3 to 1e3 pole by pole, some with an
// end pole below 0.01), and their crossings found without the library: each Bezier span is halved until its
// pieces are flat within a small fraction of the curve's size (a rational piece lies in the hull of its Cartesian
// poles, so a flat piece is its chord within that distance, however the weights squeeze its points into a sliver
// of parameter), and every pair of flat pieces whose chords come that close starts a Newton iteration on the two
// curves. Halving goes by the geometry, never by the parameter alone: a stretch a tiny end weight squeezes into a
// hundredth of the range is followed as finely as any other.
#pragma once

#include <sisl.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <random>
#include <vector>

#include "tests/bspline/curve_fixtures.h"

namespace weighted {

constexpr int kMaxOrder = 16;  // of the pieces' arrays; the table's curves go to order 9

// A piece of one Bezier span of a curve, homogeneous poles (x w, y w, w), over the curve's parameters [a, b].
struct Piece {
  int k = 0, span = 0;
  mutable signed char leaf = -1;  // whether the finder takes it as flat, once asked
  double a = 0, b = 0;
  double h[3 * kMaxOrder];
  double box[4];  // of its Cartesian poles: min x, min y, max x, max y

  void take_box() {
    box[0] = box[1] = INFINITY, box[2] = box[3] = -INFINITY;
    for (int j = 0; j < k; ++j) {
      const double x = h[3 * j] / h[3 * j + 2], y = h[3 * j + 1] / h[3 * j + 2];
      box[0] = std::min(box[0], x), box[1] = std::min(box[1], y);
      box[2] = std::max(box[2], x), box[3] = std::max(box[3], y);
    }
  }
  // The two halves at the parameter middle (de Casteljau on the homogeneous poles).
  void halve(Piece *left, Piece *right) const {
    double w[3 * kMaxOrder];
    std::memcpy(w, h, sizeof(double) * 3 * k);
    *left = *this, *right = *this;
    left->leaf = right->leaf = -1;
    left->b = right->a = 0.5 * (a + b);
    for (int r = 0; r < k; ++r) {
      std::memcpy(left->h + 3 * r, w, 3 * sizeof(double));
      std::memcpy(right->h + 3 * (k - 1 - r), w + 3 * (k - 1 - r), 3 * sizeof(double));
      for (int j = 0; j + 1 < k - r; ++j)
        for (int c = 0; c < 3; ++c) w[3 * j + c] = 0.5 * (w[3 * j + c] + w[3 * j + 3 + c]);
    }
    left->take_box(), right->take_box();
  }
  double size() const { return std::max(box[2] - box[0], box[3] - box[1]); }
};

inline double SegmentDistance(const double *p, const double *a, const double *b, double *s) {
  const double dx = b[0] - a[0], dy = b[1] - a[1], len = dx * dx + dy * dy;
  *s = len > 0 ? std::clamp(((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / len, 0.0, 1.0) : 0.0;
  return std::hypot(p[0] - a[0] - *s * dx, p[1] - a[1] - *s * dy);
}

// The nearest points of segments p0 p1 and q0 q1: their distance, and the places u, v along them.
inline double Segments(const double *p0, const double *p1, const double *q0, const double *q1, double *u, double *v) {
  const double rx = p1[0] - p0[0], ry = p1[1] - p0[1], sx = q1[0] - q0[0], sy = q1[1] - q0[1];
  const double den = rx * sy - ry * sx;
  if (den != 0) {
    const double wx = q0[0] - p0[0], wy = q0[1] - p0[1];
    const double uu = (wx * sy - wy * sx) / den, vv = (wx * ry - wy * rx) / den;
    if (uu >= 0 && uu <= 1 && vv >= 0 && vv <= 1) {
      *u = uu, *v = vv;
      return 0;
    }
  }
  double best = INFINITY, s = 0, d = 0;
  if ((d = SegmentDistance(p0, q0, q1, &s)) < best) best = d, *u = 0, *v = s;
  if ((d = SegmentDistance(p1, q0, q1, &s)) < best) best = d, *u = 1, *v = s;
  if ((d = SegmentDistance(q0, p0, p1, &s)) < best) best = d, *u = s, *v = 0;
  if ((d = SegmentDistance(q1, p0, p1, &s)) < best) best = d, *u = s, *v = 1;
  return best;
}

// A curve of the table with its Bezier spans.
struct Curve {
  std::unique_ptr<TestCurve> c;
  std::vector<Piece> spans;  // the non-empty knot intervals, in order
  double eps = 0;            // flatness of the pieces: a small part of the curve's size
  double settle = 0;         // the distance of two points taken for one: far smaller, above the rounding

  explicit Curve(std::unique_ptr<TestCurve> curve) : c(std::move(curve)) {
    const int k = c->order(), n = c->n();
    const std::vector<double> &t = c->knots;
    double lo[2] = {INFINITY, INFINITY}, hi[2] = {-INFINITY, -INFINITY};
    for (int i = 0; i < n; ++i)
      for (int d = 0; d < 2; ++d) lo[d] = std::min(lo[d], c->pole(i, d)), hi[d] = std::max(hi[d], c->pole(i, d));
    const double size = std::max(hi[0] - lo[0], hi[1] - lo[1]);
    const double far = std::max({std::fabs(lo[0]), std::fabs(lo[1]), std::fabs(hi[0]), std::fabs(hi[1])});
    eps = 1e-7 * size + 1e-13 * far;
    settle = 1e-11 * size + 1e-14 * far;
    for (int i = k - 1; i < n; ++i) {
      if (!(t[i] < t[i + 1])) continue;
      // Bezier pole j of the span is the blossom at (t_i x (k-1-j), t_{i+1} x j), by de Boor's steps.
      Piece p;
      p.k = k, p.span = static_cast<int>(spans.size()), p.a = t[i], p.b = t[i + 1];
      for (int j = 0; j < k; ++j) {
        double d[3 * kMaxOrder];
        for (int m = 0; m < k; ++m) {
          const double w = c->weights.empty() ? 1.0 : c->weights[i - k + 1 + m];
          d[3 * m] = c->pole(i - k + 1 + m, 0) * w, d[3 * m + 1] = c->pole(i - k + 1 + m, 1) * w, d[3 * m + 2] = w;
        }
        for (int r = 1; r < k; ++r) {
          const double u = r <= k - 1 - j ? t[i] : t[i + 1];
          for (int m = k - 1; m >= r; --m) {
            const double lo_k = t[i - k + 1 + m], hi_k = t[i + 1 + m - r];
            const double al = (u - lo_k) / (hi_k - lo_k);
            for (int cc = 0; cc < 3; ++cc) d[3 * m + cc] = (1 - al) * d[3 * m - 3 + cc] + al * d[3 * m + cc];
          }
        }
        std::memcpy(p.h + 3 * j, d + 3 * (k - 1), 3 * sizeof(double));
      }
      p.take_box();
      spans.push_back(p);
    }
  }
  double start() const { return c->start(); }
  double end() const { return c->end(); }

  // Point and first derivative at u, on span `span` (its polynomial continued when u lies beyond it).
  void Eval(int span, double u, double p[2], double d[2]) const {
    const Piece &s = spans[span];
    const int k = s.k;
    const double x = (u - s.a) / (s.b - s.a);
    double w[3 * kMaxOrder];
    std::memcpy(w, s.h, sizeof(double) * 3 * k);
    for (int r = 1; r + 1 < k; ++r)
      for (int j = 0; j + r < k; ++j)
        for (int cc = 0; cc < 3; ++cc) w[3 * j + cc] = (1 - x) * w[3 * j + cc] + x * w[3 * j + 3 + cc];
    double H[3], D[3];
    for (int cc = 0; cc < 3; ++cc) {
      H[cc] = k == 1 ? w[cc] : (1 - x) * w[cc] + x * w[3 + cc];
      D[cc] = k == 1 ? 0 : (k - 1) * (w[3 + cc] - w[cc]) / (s.b - s.a);
    }
    for (int cc = 0; cc < 2; ++cc) {
      p[cc] = H[cc] / H[2];
      d[cc] = (D[cc] - p[cc] * D[2]) / H[2];
    }
  }
  // The span that holds u, staying on `hint` where u lies on it (ends included).
  int SpanAt(double u, int hint) const {
    if (spans[hint].a <= u && u <= spans[hint].b) return hint;
    int i = 0;
    while (i + 1 < static_cast<int>(spans.size()) && spans[i].b <= u) ++i;
    return i;
  }
  void Point(double u, double p[2]) const {
    double d[2];
    Eval(SpanAt(u, 0), u, p, d);
  }
};

// A meeting found: the point, the parameters and the sine of the angle between the tangents; for a self-crossing,
// how far the loop between its parameters reaches from it (a loop within the tolerance is no crossing to find).
struct Meeting {
  double x, y, u, v, sine, loop = 0;
};

// Newton on C1(u) = C2(v) from (u, v) on spans su, sv; true when it settles on a meeting within both ranges.
inline bool Refine(const Curve &c1, const Curve &c2, int su, int sv, double u, double v, Meeting *m) {
  const double tol = std::max(c1.settle, c2.settle);
  // A step is held to the ranges (with a little room, for meetings at their ends).
  const double r1 = 1e-9 * (c1.end() - c1.start()), r2 = 1e-9 * (c2.end() - c2.start());
  double p[2], dp[2], q[2], dq[2];
  auto at = [&](double x, double y) {
    su = c1.SpanAt(std::clamp(x, c1.start(), c1.end()), su);
    sv = c2.SpanAt(std::clamp(y, c2.start(), c2.end()), sv);
    c1.Eval(su, x, p, dp);
    c2.Eval(sv, y, q, dq);
    return std::hypot(p[0] - q[0], p[1] - q[1]);
  };
  double gap = at(u, v);
  for (int it = 0; it < 100; ++it) {
    const double fx = p[0] - q[0], fy = p[1] - q[1], det = -dp[0] * dq[1] + dp[1] * dq[0];
    const double lp = std::hypot(dp[0], dp[1]), lq = std::hypot(dq[0], dq[1]);
    // Where a curve runs fast (a stretch squeezed into a sliver of parameter), its points are no finer than the
    // rounding of the parameter times the speed.
    const double grain = 4 * DBL_EPSILON * (std::fabs(u) * lp + std::fabs(v) * lq);
    if (gap <= std::max(tol, grain)) {
      if (u < c1.start() || u > c1.end() || v < c2.start() || v > c2.end()) return false;
      *m = {0.5 * (p[0] + q[0]), 0.5 * (p[1] + q[1]), u, v, std::fabs(det) / (lp * lq)};
      return lp > 0 && lq > 0;
    }
    if (!(std::fabs(det) > 0) || !std::isfinite(det)) return false;
    // J (du, dv) = -f with J = [dp, -dq]; the step halved until the gap shrinks, so that a start on a stretch
    // where the speed changes fast does not leap off.
    const double du = (-fx * -dq[1] - -fy * -dq[0]) / det, dv = (dp[0] * -fy - dp[1] * -fx) / det;
    bool closer = false;
    for (double h = 1; h > 1e-12 && !closer; h *= 0.5) {
      const double x = std::clamp(u + h * du, c1.start() - r1, c1.end() + r1);
      const double y = std::clamp(v + h * dv, c2.start() - r2, c2.end() + r2);
      if (!std::isfinite(x) || !std::isfinite(y)) return false;
      const double g = at(x, y);
      if (g < gap) u = x, v = y, gap = g, closer = true;
    }
    if (!closer) return false;
  }
  return false;
}


// A self-meeting with its parameters in order and how far the loop between them reaches from it; false where the
// two parameters are one (a span met at its own point).
inline bool OnLoop(const Curve &c, Meeting *m) {
  if (m->u > m->v) std::swap(m->u, m->v);
  if (m->u == m->v) return false;
  for (int i = 1; i < 256; ++i) {
    double p[2];
    c.Point(m->u + (m->v - m->u) * i / 256, p);
    m->loop = std::max(m->loop, std::hypot(p[0] - m->x, p[1] - m->y));
  }
  return true;
}
// Every meeting of c1 and c2 (or of c1 with itself when self), as Newton settles from the pairs of flat pieces
// within reach; repeats removed.
class Finder {
 public:
  Finder(const Curve &c1, const Curve &c2, bool self) : c1_(c1), c2_(c2), self_(self) {
    reach_ = 2 * std::max(c1.eps, c2.eps);
    for (int t = 0; t < (self ? 1 : 2); ++t)
      for (const Piece &p : (t ? c2 : c1).spans) tree_[t].push_back({p});
  }
  std::vector<Meeting> Run() {
    const int other = self_ ? 0 : 1;
    for (std::size_t i = 0; i < c1_.spans.size(); ++i) {
      if (self_) Self(static_cast<int>(i), 0);
      for (std::size_t j = self_ ? i + 1 : 0; j < (self_ ? c1_ : c2_).spans.size(); ++j)
        Pair(0, static_cast<int>(i), other, static_cast<int>(j), 0);
    }
    return found_;
  }

 private:
  // The pieces of each curve's spans, halved as the search asks: a piece's halves are made once however many
  // pieces of the other curve it meets.
  struct Node {
    Piece piece;
    int kids = -1;  // the first of its two halves
  };
  const Curve &c1_, &c2_;
  bool self_;
  double reach_;
  std::deque<Node> tree_[2];  // grown at the back: no piece moves
  std::vector<Meeting> found_;

  const Piece &At(int t, int i) const { return tree_[t][i].piece; }
  double Eps(int t) const { return (t ? c2_ : c1_).eps; }
  int Kids(int t, int i) {
    if (tree_[t][i].kids < 0) {
      Piece l, r;
      tree_[t][i].piece.halve(&l, &r);
      tree_[t][i].kids = static_cast<int>(tree_[t].size());
      tree_[t].push_back({l});
      tree_[t].push_back({r});
    }
    return tree_[t][i].kids;
  }
  // Flat: every Cartesian pole within eps of the chord; and the weights within a factor 4, so that the chord's
  // places map to parameters well enough to start from.
  static bool Leaf(const Piece &p, double eps) {
    if (p.leaf < 0) p.leaf = Flat(p, eps) ? 1 : 0;
    return p.leaf == 1;
  }
  static bool Flat(const Piece &p, double eps) {
    const int k = p.k;
    double a[2] = {p.h[0] / p.h[2], p.h[1] / p.h[2]}, b[2] = {p.h[3 * k - 3] / p.h[3 * k - 1],
                                                          p.h[3 * k - 2] / p.h[3 * k - 1]};
    double lo = p.h[2], hi = p.h[2];
    for (int j = 1; j < k; ++j) lo = std::min(lo, p.h[3 * j + 2]), hi = std::max(hi, p.h[3 * j + 2]);
    if (hi > 4 * lo) return false;
    for (int j = 1; j + 1 < k; ++j) {
      const double q[2] = {p.h[3 * j] / p.h[3 * j + 2], p.h[3 * j + 1] / p.h[3 * j + 2]};
      const double dx = b[0] - a[0], dy = b[1] - a[1], len = dx * dx + dy * dy;
      const double t = len > 0 ? std::clamp(((q[0] - a[0]) * dx + (q[1] - a[1]) * dy) / len, 0.0, 1.0) : 0.0;
      const double ex = q[0] - a[0] - t * dx, ey = q[1] - a[1] - t * dy;
      if (ex * ex + ey * ey > eps * eps) return false;
    }
    return true;
  }
  static bool Apart(const Piece &p, const Piece &q, double r) {
    return p.box[2] + r < q.box[0] || q.box[2] + r < p.box[0] || p.box[3] + r < q.box[1] || q.box[3] + r < p.box[1];
  }
  void Self(int i, int depth) {
    if (Leaf(At(0, i), c1_.eps) || depth > 60) return;  // a flat piece does not cross itself
    const int k = Kids(0, i);
    Self(k, depth + 1);
    Self(k + 1, depth + 1);
    Pair(0, k, 0, k + 1, depth + 1);
  }
  void Pair(int tp, int i, int tq, int j, int depth) {
    if (Apart(At(tp, i), At(tq, j), reach_)) return;
    const bool lp = Leaf(At(tp, i), Eps(tp)) || depth > 60, lq = Leaf(At(tq, j), Eps(tq)) || depth > 60;
    if (lp && lq) {
      Start(At(tp, i), At(tq, j));
      return;
    }
    if (!lp && (lq || At(tp, i).size() >= At(tq, j).size())) {
      const int k = Kids(tp, i);
      Pair(tp, k, tq, j, depth + 1);
      Pair(tp, k + 1, tq, j, depth + 1);
    } else {
      const int k = Kids(tq, j);
      Pair(tp, i, tq, k, depth + 1);
      Pair(tp, i, tq, k + 1, depth + 1);
    }
  }
  void Start(const Piece &p, const Piece &q) {
    // Neighbours on one curve meet where they join; that is no crossing.
    if (self_ && (p.b == q.a || q.b == p.a)) return;
    const int k = p.k, m = q.k;
    const double p0[2] = {p.h[0] / p.h[2], p.h[1] / p.h[2]}, p1[2] = {p.h[3 * k - 3] / p.h[3 * k - 1],
                                                                    p.h[3 * k - 2] / p.h[3 * k - 1]};
    const double q0[2] = {q.h[0] / q.h[2], q.h[1] / q.h[2]}, q1[2] = {q.h[3 * m - 3] / q.h[3 * m - 1],
                                                                    q.h[3 * m - 2] / q.h[3 * m - 1]};
    double u = 0, v = 0;
    if (Segments(p0, p1, q0, q1, &u, &v) > reach_) return;
    Meeting got;
    if (!Refine(c1_, c2_, p.span, q.span, p.a + u * (p.b - p.a), q.a + v * (q.b - q.a), &got)) return;
    if (self_ && !OnLoop(c1_, &got)) return;
    for (const Meeting &f : found_)
      if (std::hypot(f.x - got.x, f.y - got.y) <= 10 * reach_ &&
          std::fabs(f.u - got.u) <= 1e-6 * (c1_.end() - c1_.start()) &&
          std::fabs(f.v - got.v) <= 1e-6 * (c2_.end() - c2_.start()))
        return;
    found_.push_back(got);
  }
};

inline std::vector<Meeting> Crossings(const Curve &a, const Curve &b) { return Finder(a, b, false).Run(); }
inline std::vector<Meeting> SelfCrossings(const Curve &a) { return Finder(a, a, true).Run(); }

// Where the table's curves lie: near the origin in a unit square, far out, or tiny.
struct Place {
  double scale = 1, x = 0, y = 0;
};

// Order 2 to 9, poles in the unit square (then placed), weights log-uniform in [1e-3, 1e3] with, one curve in
// three, an end pole's weight below 0.01; clamped or not at each end, inner knots repeated up to order - 1 times,
// or up to the order (where the curve may jump) when asked.
inline std::unique_ptr<TestCurve> RandomCurve(std::mt19937 &rng, const Place &at, bool jumps = false) {
  std::uniform_real_distribution<double> u(0, 1), logw(std::log(1e-3), std::log(1e3)), light(std::log(1e-3),
                                                                                           std::log(1e-2));
  const int k = std::uniform_int_distribution<int>(2, 9)(rng);
  const int n = k + std::uniform_int_distribution<int>(0, 6)(rng);
  std::vector<double> poles, w;
  for (int i = 0; i < n; ++i) {
    poles.insert(poles.end(), {at.x + at.scale * u(rng), at.y + at.scale * u(rng), 0});
    w.push_back(std::exp(logw(rng)));
  }
  if (u(rng) < 1.0 / 3) w[u(rng) < 0.5 ? 0 : n - 1] = std::exp(light(rng));
  // Knots: clamped ends mostly; inner values with multiplicities up to order - 1.
  std::vector<double> t;
  const int front = u(rng) < 0.75 ? k : std::uniform_int_distribution<int>(1, k)(rng);
  const int back = u(rng) < 0.75 ? k : std::uniform_int_distribution<int>(1, k)(rng);
  double x = 0;
  for (int i = 0; i < front; ++i) t.push_back(x);
  while (static_cast<int>(t.size()) < n + k - back) {
    x += 0.1 + u(rng);
    const int most = jumps ? k : k - 1;
    const int mult = most > 1 && u(rng) < 0.3 ? std::uniform_int_distribution<int>(2, most)(rng) : 1;
    for (int j = 0; j < mult && static_cast<int>(t.size()) < n + k - back; ++j) t.push_back(x);
  }
  x += 0.1 + u(rng);
  for (int i = 0; i < back; ++i) t.push_back(x);
  // Unclamped ends leave knots beyond the range: the range is [t[k - 1], t[n]], which must not be empty.
  for (double &v : t) v /= x;
  if (!(t[k - 1] < t[n])) return RandomCurve(rng, at, jumps);
  return std::make_unique<TestCurve>(k, poles, t, w);
}

inline Place RandomPlace(std::mt19937 &rng) {
  std::uniform_real_distribution<double> u(0, 1);
  const double r = u(rng);
  if (r < 0.7) return {};
  if (r < 0.85) {
    const double far = std::pow(10.0, 5 + 2 * u(rng));
    return {1, (u(rng) < 0.5 ? -1 : 1) * far, (u(rng) < 0.5 ? -1 : 1) * far * u(rng)};
  }
  return {std::pow(10.0, -2 + u(rng)), 0, 0};
}

// SISL's crossings, each settled on the curves by Newton from SISL's parameters (SISL's own points are not
// given); its geometric tolerance follows the coordinates, within whose rounding it would search forever.
// SISL is given the curve's Bezier spans, each knot full: it copies an unclamped knot vector onto itself.
inline SISLCurve *Sisl(const Curve &c) {
  std::vector<double> knots, coef;
  for (const Piece &s : c.spans) {
    knots.insert(knots.end(), s.k, s.a);
    coef.insert(coef.end(), s.h, s.h + 3 * s.k);
  }
  knots.insert(knots.end(), c.spans.back().k, c.spans.back().b);
  const int n = static_cast<int>(coef.size() / 3), k = c.spans.front().k;
  return newCurve(n, k, knots.data(), coef.data(), 2, 2, 1);
}

inline std::vector<Meeting> SislCrossings(const Curve &a, const Curve &b, double far) {
  SISLCurve *s1 = Sisl(a), *s2 = Sisl(b);
  std::vector<Meeting> out;
  int n = 0, ncurves = 0, stat = 0;
  double *par1 = nullptr, *par2 = nullptr;
  SISLIntcurve **curves = nullptr;
  s1857(s1, s2, 1e-12, std::max(1e-9, 1e-14 * far), &n, &par1, &par2, &ncurves, &curves, &stat);
  for (int i = 0; i < n; ++i) {
    Meeting m;
    if (Refine(a, b, a.SpanAt(par1[i], 0), b.SpanAt(par2[i], 0), par1[i], par2[i], &m)) out.push_back(m);
  }
  if (curves) freeIntcrvlist(curves, ncurves);
  std::free(par1);
  std::free(par2);
  freeCurve(s1);
  freeCurve(s2);
  return out;
}

// SISL's self-crossings: it has no self-intersection of a curve, so every two of the curve's Bezier spans are
// crossed with s1857 and each meeting settled on the curve; neighbours' shared joint settles onto one parameter
// and is dropped.
inline std::vector<Meeting> SislSelfCrossings(const Curve &c, double far) {
  std::vector<Meeting> out;
  std::vector<SISLCurve *> spans;
  for (const Piece &s : c.spans) {
    std::vector<double> knots(s.k, s.a);
    knots.insert(knots.end(), s.k, s.b);
    spans.push_back(newCurve(s.k, s.k, knots.data(), const_cast<double *>(s.h), 2, 2, 1));
  }
  for (std::size_t i = 0; i < spans.size(); ++i)
    for (std::size_t j = i + 1; j < spans.size(); ++j) {
      int n = 0, ncurves = 0, stat = 0;
      double *par1 = nullptr, *par2 = nullptr;
      SISLIntcurve **curves = nullptr;
      s1857(spans[i], spans[j], 1e-12, std::max(1e-9, 1e-14 * far), &n, &par1, &par2, &ncurves, &curves, &stat);
      for (int q = 0; q < n; ++q) {
        Meeting m;
        if (Refine(c, c, static_cast<int>(i), static_cast<int>(j), par1[q], par2[q], &m) && OnLoop(c, &m))
          out.push_back(m);
      }
      if (curves) freeIntcrvlist(curves, ncurves);
      std::free(par1);
      std::free(par2);
    }
  for (SISLCurve *s : spans) freeCurve(s);
  return out;
}

// The distance of a meeting within which a result answers for it: the intersector's reach of one crossing
// (10 dist_tol), widened, for meetings closer together than three reaches, by the way to the nearest of them
// (such a cluster may come back as one result).
inline double Reach(const Meeting &m, const std::vector<Meeting> &all, double dist_tol) {
  double nearest = INFINITY;
  for (const Meeting &o : all)
    if (&o != &m && (o.x != m.x || o.y != m.y || o.u != m.u)) nearest = std::min(nearest, std::hypot(o.x - m.x, o.y - m.y));
  return 10 * dist_tol + (nearest < 30 * dist_tol ? nearest : 0);
}

}  // namespace weighted

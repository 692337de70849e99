// Plane geometry of the clearing: distances between points, segments and arcs, the circle through three points,
// the spans the proofs take a stretch between two probes for, and the indexes that find what lies near a box or a
// point. Nothing here knows of legs, stretches or what is kept of them.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/offset/offset_internal.h"

namespace bsoffset::clearance {

inline double flat_gap(const double a[3], const double b[3]) { return std::hypot(a[0] - b[0], a[1] - b[1]); }

// The length from a through m to b along the circle through the three (a line when they lie on one, and no end
// when m lies beyond a or b on the line through them): c x / sin x, with c the chord from a to b and x the turn
// between the chords a m and m b.
inline double through(const double a[3], const double m[3], const double b[3]) {
  const double ax = a[0] - m[0], ay = a[1] - m[1], bx = b[0] - m[0], by = b[1] - m[1];
  const double cross = std::fabs(ax * by - ay * bx), dot = ax * bx + ay * by;
  const double cx = a[0] - b[0], cy = a[1] - b[1];
  const double c = std::sqrt(cx * cx + cy * cy), sides = std::sqrt((ax * ax + ay * ay) * (bx * bx + by * by));
  if (!(sides > 0)) return c;
  if (!(cross > 0)) return dot <= 0 ? c : INFINITY;
  const double x = std::atan2(cross, -dot);
  return c * x / std::min(1.0, cross / sides);
}

// ---------------------------------------------------------------------------------------------------------------
// Plane geometry that shows a stretch between two probes to keep clear of a leg or a fill, or to lie inside a
// leg's band, without probing it.

// The squared distance from p to the segment a b, and the distance.
inline double seg_point2(const double p[2], const double a[2], const double b[2]) {
  const double dx = b[0] - a[0], dy = b[1] - a[1], l2 = dx * dx + dy * dy;
  const double t = l2 > 0 ? std::clamp(((p[0] - a[0]) * dx + (p[1] - a[1]) * dy) / l2, 0.0, 1.0) : 0.0;
  const double ex = p[0] - a[0] - t * dx, ey = p[1] - a[1] - t * dy;
  return ex * ex + ey * ey;
}
inline double seg_point(const double p[2], const double a[2], const double b[2]) {
  return std::sqrt(seg_point2(p, a, b));
}

inline double orient(const double a[2], const double b[2], const double c[2]) {
  return (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0]);
}

// The squared distance between the segments a b and c d; 0 where they may meet.
inline double seg_seg2(const double a[2], const double b[2], const double c[2], const double d[2]) {
  const double o1 = orient(a, b, c), o2 = orient(a, b, d), o3 = orient(c, d, a), o4 = orient(c, d, b);
  if (!(o1 * o2 > 0) && !(o3 * o4 > 0)) return 0.0;
  return std::min({seg_point2(a, c, d), seg_point2(b, c, d), seg_point2(c, a, b), seg_point2(d, a, b)});
}

// ---------------------------------------------------------------------------------------------------------------
// Where a segment passes into and out of a band, in closed form: the parameters f of the line a + f (b - a) (a
// differs from b) between which it lies strictly inside, as an open interval f[0] < f[1]; false where it stays
// outside (or only touches).

// Inside the disc about c of radius r: half the chord about the foot of c, from the foot's distance h as (r - h)
// (r + h), which keeps its digits where the line grazes the circle.
bool line_in_disc(const double a[2], const double b[2], const double c[2], double r, double f[2]);
// Inside the strip beside the segment p q: nearer than r to its line, strictly between the lines square to it
// through p and q.
bool line_in_strip(const double a[2], const double b[2], const double p[2], const double q[2], double r,
                   double f[2]);
// Inside the band of the segment p q (within r of it: the strip and the discs about its ends, which with the strip
// make a convex stadium). Where the band is a neighbour's seen through the end it shares (shared: 0 its start p, 1
// its end q, 2 both, -1 none), the half-plane beyond that end is no part of it: there the nearest point of the
// segment is that end, through which the offset turns; the disc about that end then adds nothing to the strip.
bool line_in_band(const double a[2], const double b[2], const double p[2], const double q[2], double r, int shared,
                  double f[2]);
// Where the lines a b and c d cross: f along a b; false where they run parallel.
bool line_cross(const double a[2], const double b[2], const double c[2], const double d[2], double *f);

// An arc of the circle about c of radius r from its start (angle a0) through the signed sweep, at most a turn.
struct Arc {
  double c[2] = {0, 0}, r = 0, a0 = 0, sweep = 0;
  static double norm(double x, double y) { return std::sqrt(x * x + y * y); }
  double ends[2][2] = {{0, 0}, {0, 0}};

  // The angle from the start to the direction of p from the centre, in the sweep's sense, on [0, 2 pi).
  double angle(const double p[2]) const {
    double a = std::atan2(p[1] - c[1], p[0] - c[0]) - a0;
    if (sweep < 0) a = -a;
    return std::fmod(std::fmod(a, 2 * M_PI) + 2 * M_PI, 2 * M_PI);
  }
  bool within(const double p[2]) const { return angle(p) <= std::fabs(sweep); }
  // Starting at ends[0], about the centre: the sweep from there through mid to ends[1].
  void set_sweep(const double mid[2]) {
    a0 = std::atan2(ends[0][1] - c[1], ends[0][0] - c[0]);
    sweep = 1;  // counter-clockwise while the sweep is found
    const double am = angle(mid), ae = angle(ends[1]);
    sweep = am <= ae ? ae : ae - 2 * M_PI;
  }
  // The distance from p to the arc.
  double to_point(const double p[2]) const {
    if (within(p)) return std::fabs(norm(p[0] - c[0], p[1] - c[1]) - r);
    return std::min(norm(p[0] - ends[0][0], p[1] - ends[0][1]), norm(p[0] - ends[1][0], p[1] - ends[1][1]));
  }
  // The distance from the segment a b to the arc: at an end of either, or where the radius stands square to the
  // segment; 0 where they meet.
  double to_segment(const double a[2], const double b[2]) const {
    double best = std::min({to_point(a), to_point(b), seg_point(ends[0], a, b), seg_point(ends[1], a, b)});
    const double dx = b[0] - a[0], dy = b[1] - a[1], len = norm(dx, dy);
    if (!(len > 0)) return best;
    const double u[2] = {dx / len, dy / len}, n[2] = {-u[1], u[0]};
    const double along = (c[0] - a[0]) * u[0] + (c[1] - a[1]) * u[1];
    const double off = (c[0] - a[0]) * n[0] + (c[1] - a[1]) * n[1];
    if (std::fabs(off) <= r) {
      const double h = std::sqrt(r * r - off * off);
      for (const double f : {along - h, along + h}) {
        const double q[2] = {a[0] + f * u[0], a[1] + f * u[1]};
        if (f >= 0 && f <= len && within(q)) return 0.0;
      }
    }
    for (const double sgn : {-1.0, 1.0}) {
      const double x[2] = {c[0] + sgn * r * n[0], c[1] + sgn * r * n[1]};
      const double f = (x[0] - a[0]) * u[0] + (x[1] - a[1]) * u[1];
      if (f >= 0 && f <= len && within(x))
        best = std::min(best, std::fabs((x[0] - a[0]) * n[0] + (x[1] - a[1]) * n[1]));
    }
    return best;
  }
  // The distance between the arc and another: at an end of either, or where both lie on the line through their
  // centres (where the segment between them stands square to both); 0 where they meet.
  double to_arc(const Arc &o) const {
    double best = std::min({to_point(o.ends[0]), to_point(o.ends[1]), o.to_point(ends[0]), o.to_point(ends[1])});
    const double dx = o.c[0] - c[0], dy = o.c[1] - c[1], dd = norm(dx, dy);
    if (!(dd > 0)) {
      // About one centre: |r - o.r| wherever they share a direction, which an end of one then shows.
      for (int e = 0; e < 2; ++e)
        if (o.within(ends[e]) || within(o.ends[e])) best = std::min(best, std::fabs(r - o.r));
      return best;
    }
    if (dd <= r + o.r && dd >= std::fabs(r - o.r)) {
      const double l = (r * r - o.r * o.r + dd * dd) / (2 * dd), h = std::sqrt(std::max(0.0, r * r - l * l));
      for (const double sgn : {-1.0, 1.0}) {
        const double p[2] = {c[0] + (l * dx - sgn * h * dy) / dd, c[1] + (l * dy + sgn * h * dx) / dd};
        if (within(p) && o.within(p)) return 0.0;
      }
    }
    const double u[2] = {dx / dd, dy / dd};
    for (const double s1 : {-1.0, 1.0})
      for (const double s2 : {-1.0, 1.0}) {
        const double p[2] = {c[0] + s1 * r * u[0], c[1] + s1 * r * u[1]};
        const double q[2] = {o.c[0] + s2 * o.r * u[0], o.c[1] + s2 * o.r * u[1]};
        if (within(p) && o.within(q)) best = std::min(best, norm(p[0] - q[0], p[1] - q[1]));
      }
    return best;
  }
  // A box that holds the arc.
  void box(double lo[2], double hi[2]) const {
    for (int k = 0; k < 2; ++k)
      lo[k] = std::min(ends[0][k], ends[1][k]), hi[k] = std::max(ends[0][k], ends[1][k]);
    for (int q = 0; q < 4; ++q) {
      const double x[2] = {c[0] + r * std::cos(q * M_PI / 2), c[1] + r * std::sin(q * M_PI / 2)};
      if (!within(x)) continue;
      for (int k = 0; k < 2; ++k) lo[k] = std::min(lo[k], x[k]), hi[k] = std::max(hi[k], x[k]);
    }
  }
};

// The centre and radius of the circle through s, m and e; false where they lie on a line to `rel` of the squared
// chords from s.
bool circle_through(const double s[2], const double m[2], const double e[2], double rel, double c[2], double *r);

// A stretch between two probes as the proofs see it: a segment or an arc, in a box.
struct Span {
  bool arc = false;
  double a[2] = {0, 0}, b[2] = {0, 0};  // a segment's ends
  Arc circle;
  double lo[2] = {0, 0}, hi[2] = {0, 0};
  // A half-plane n x >= c that holds the span (a segment's line, which holds it from both sides; an arc's chord,
  // away from the centre), and the slack its roundings and an arc's departure from its circle take: none where
  // unit is 0.
  double n[2] = {0, 0}, c = 0, slack = 0;
  int sides = 0;
  // Whether the points xy[0, 2 count) lie beyond the span's half-plane by more than far and the slack (from one
  // side of a segment's line): then nothing of a polyline through them comes within far of the span.
  bool behind(const double *xy, std::size_t count, double far) const {
    if (sides == 0 || bstest::slow_roads()) return false;
    const double reach = far + slack;
    double lo_s = INFINITY, hi_s = -INFINITY;
    for (std::size_t i = 0; i < count; ++i) {
      const double s = n[0] * xy[2 * i] + n[1] * xy[2 * i + 1] - c;
      lo_s = std::min(lo_s, s), hi_s = std::max(hi_s, s);
    }
    return hi_s <= -reach || (sides == 2 && lo_s >= reach);
  }
};

// The squared distance between two boxes, and whether they lie farther apart than `far` (not when far < 0).
inline double box_apart2(const double alo[2], const double ahi[2], const double blo[2], const double bhi[2]) {
  const double dx = std::max({alo[0] - bhi[0], blo[0] - ahi[0], 0.0});
  const double dy = std::max({alo[1] - bhi[1], blo[1] - ahi[1], 0.0});
  return dx * dx + dy * dy;
}
inline bool boxes_apart(const double alo[2], const double ahi[2], const double blo[2], const double bhi[2],
                        double far) {
  return far >= 0 && box_apart2(alo, ahi, blo, bhi) > far * far;
}

// A stretch as the proofs see it: a line, an arc of a circle that it strays from by dev at most, or neither.
struct Model {
  enum Kind { kNone, kLine, kArc } kind = kNone;
  Arc arc;
  double t0 = 0, t1 = 0, dev = 0;

  double scale = 0;

  bool make(const VOQbsp_curve *cv, double at_scale, int *rc);
  void chord(const double pa[3], const double pb[3], const double *away, Span *sp) const;
  bool span(double ta, const double pa[3], double tb, const double pb[3], Span *sp) const;
};

// The starts of items (kept stretches: a start p[0] each) by square cells of a side: those within half the side of a
// point lie in the point's cell or the eight about it.
class CellIndex {
 public:
  template <class Item>
  CellIndex(const std::vector<Item> &items, double side) : side_(side) {
    for (int q = 0; q < static_cast<int>(items.size()); ++q) {
      std::int64_t key[2];
      if (cell(items[q].p[0], key)) cells_[key[0]][key[1]].push_back(q);
    }
  }
  // The starts that may lie within half the side of p, ascending.
  void near(const double p[3], std::vector<int> *found) const;

 private:
  bool cell(const double p[3], std::int64_t key[2]) const;
  double side_;
  std::map<std::int64_t, std::map<std::int64_t, std::vector<int>>> cells_;
};

// Boxes in chain order under a tree of pairs, level by level up to one: a node's box holds the boxes beneath it
// and its reach is the farthest any of them reaches out of its box (a leg's distance, from the leg). Nothing
// beneath a node comes nearer to a region, less its reach, than the node's box does. Items along a chain lie near
// their neighbours, so that the boxes of a pair stay small.
class BoxTree {
 public:
  // The next item's box (lo, hi; empty with lo above hi) and reach.
  void add(const double lo[2], const double hi[2], double reach) {
    level_.resize(1);
    level_[0].push_back({{lo[0], lo[1]}, {hi[0], hi[1]}, reach});
  }
  void build();
  // The items whose boxes, less their reach, come nearer to the box (lo, hi) than bound.
  std::vector<int> near(const double lo[2], const double hi[2], double bound) const;


 private:
  struct Node {
    double lo[2], hi[2], reach;
    double gap2(const double qlo[2], const double qhi[2]) const {
      const double dx = std::max({lo[0] - qhi[0], qlo[0] - hi[0], 0.0});
      const double dy = std::max({lo[1] - qhi[1], qlo[1] - hi[1], 0.0});
      return dx * dx + dy * dy;
    }
  };
  std::vector<std::vector<Node>> level_;
};

}  // namespace bsoffset::clearance

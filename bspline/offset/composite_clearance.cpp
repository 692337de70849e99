// Offsets of a chain of ordinary components in which a leg gives way: the offset of a leg shorter than its
// neighbours leave room for is swallowed by theirs, and joined corner by corner the pieces about it would be
// bridged past it, nearer to the chain than the distance. Here the offset is made whole and then cleared: every
// leg's offset, and every corner curve, mitre or connecting line the corner joins make where the chain turns away
// from the offset side, is kept only where it stays clear of every leg by that leg's distance; what is kept is
// followed from one kept stretch to the next where they meet. The legs are the components, a polyline's legs
// each on its own. An offset that passes round an open chain's end within the distance of it follows the end's
// cap there; of an open chain's offset, what runs from its start or to its end is kept, and what else keeps clear
// lies apart from it, about a chain that crosses itself.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "bspline/conics.h"
#include "bspline/core/test_support.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "bspline/measure.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/offset.h"
#include "bspline/offset/clearance_plane.h"
#include "bspline/offset/offset_internal.h"

namespace bsoffset {

using namespace clearance;

namespace {

void release(VOQbsp_curve *&cv) {
  if (!cv) return;
  int ignored = 0;
  BSfreevoqcv(cv, &ignored);
  cv = nullptr;
}

// A copy of cv at z = 0.
VOQbsp_curve *flat_copy(const VOQbsp_curve *cv, int *rc) {
  VOQbsp_curve *c = copy_of(cv, 0, false, rc);
  if (c)
    for (int i = 0; i < c->num_poles; ++i) c->poles[3 * i + 2] = 0.0;
  return c;
}

// Whether every pole of cv lies within the distance tolerance of its first (flat): a piece that a corner join left one
// point (swallowed whole by its neighbour on a tiny chain) is only where the others meet, and keeps nothing.
bool on_one_point(const VOQbsp_curve *cv) {
  double p0[3], p[3];
  pole_point(cv, 0, p0);
  for (int i = 1; i < cv->num_poles; ++i) {
    pole_point(cv, i, p);
    if (!(flat_gap(p, p0) <= BStoltab[bstol::dist_tol])) return false;
  }
  return true;
}

// The part of cv between u and v (u < v) as a new record; a copy when that is all of it. A part shorter than its
// parameters' tolerances is one point and has no curve: nullptr with rc 0 and *point set.
VOQbsp_curve *part_curve(const VOQbsp_curve *cv, double u, double v, bool *point, int *rc) {
  *point = false;
  if (u <= start_of(cv) && v >= end_of(cv)) return copy_of(cv, 0, false, rc);
  VOQbsp_curve *out = nullptr;
  BSallocvoqcv(cv->order, cv->num_poles + 2 * cv->order, cv->rational, 0, &out, rc);
  if (*rc != 0) return nullptr;
  const BSboolean no = BSFALSE;
  if (!bsknots::active_split(rc, cv, &u, &v, out, &no, false, point) && *rc == 0 && !*point)
    *rc = BSRC_OUT_OF_RANGE;
  if (*rc != 0 || *point) release(out);
  return out;
}

// The 2-pole line from p to q at their own heights, as a new record.
VOQbsp_curve *segment(const double p[3], const double q[3], int *rc) {
  VOQbsp_curve *c = nullptr;
  BSallocvoqcv(2, 2, BSFALSE, 0, &c, rc);
  if (*rc != 0) return nullptr;
  c->order = 2, c->num_poles = 2, c->num_knots = 4, c->rational = BSFALSE, c->periodic = 0, c->non_uniform = 0;
  c->planar = BSTRUE, c->phy_closed = BSFALSE, c->num_boundaries = 0;
  const double knots[4] = {0, 0, 1, 1};
  for (int k = 0; k < 4; ++k) c->knots[k] = knots[k];
  for (int k = 0; k < 3; ++k) c->poles[k] = p[k], c->poles[3 + k] = q[k];
  return c;
}

// *acc followed by next, raised to one order and joined end to start into a new *acc (next is only read).
bool append_curve(VOQbsp_curve **acc, const VOQbsp_curve *next, int *rc) {
  VOQbsp_curve *b = copy_of(next, 0, false, rc);
  if (!b) return false;
  std::int16_t order = 0;
  BSboolean rational = BSFALSE;
  int poles = 0;
  BSofupdeg(acc, &b, &order, &rational, &poles, rc);
  VOQbsp_curve *joined = nullptr;
  if (*rc == 0) BSallocvoqcv(order, poles, rational, 0, &joined, rc);
  if (*rc == 0) BSofcvjoin(*acc, b, joined, rc);
  if (*rc == BSRC_DEGENERATE_INPUT) *rc = 0;  // a point-like part was joined: the result is complete
  release(b);
  if (*rc != 0) {
    release(joined);
    return false;
  }
  release(*acc);
  *acc = joined;
  return true;
}

// The parts, in order, each starting on the one before's last pole, joined end to start into one new record (the
// parts are released) by join_pairwise, so that no part's share of the parameter shrinks with the parts that follow
// it. Parts not clamped at both ends are joined one by one as append_curve joins them.
VOQbsp_curve *join_all(std::vector<VOQbsp_curve *> *parts, int *rc) {
  std::vector<VOQbsp_curve *> &ps = *parts;
  const auto drop_all = [&] {
    for (VOQbsp_curve *&p : ps) release(p);
    ps.clear();
  };
  if (ps.size() == 1) {
    VOQbsp_curve *one = ps[0];
    ps.clear();
    return one;
  }
  bool clamped = true;
  for (const VOQbsp_curve *p : ps) {
    const int o = p->order, n = p->num_poles;
    for (int i = 1; i < o && clamped; ++i)
      clamped = p->knots[i] == p->knots[0] && p->knots[n + i] == p->knots[n];
    clamped = clamped && !p->periodic && p->num_boundaries == 0;
  }
  if (!clamped) {
    VOQbsp_curve *acc = ps[0];
    ps[0] = nullptr;
    for (std::size_t q = 1; q < ps.size() && *rc == 0; ++q) append_curve(&acc, ps[q], rc);
    drop_all();
    if (*rc != 0) release(acc);
    return acc;
  }
  VOQbsp_curve *all = join_pairwise(&ps, rc);
  if (!all) return nullptr;
  bsknots::flag_planar(all, rc);
  if (*rc != 0) release(all);
  return all;
}

// A leg, or a leg's offset, as the clearing sees it: a polyline, a circular arc or any other curve, with its ends.
struct Piece : Arc {
  enum Kind { kLines, kArc, kCurve } kind = kCurve;
  const VOQbsp_curve *cv = nullptr;

  bool take_ends(const VOQbsp_curve *curve, int *rc) {
    cv = curve;
    double p[3];
    for (int e = 0; e < 2; ++e) {
      BScveval_n(cv, e ? end_of(cv) : start_of(cv), 0, p, rc);
      if (*rc != 0) return false;
      ends[e][0] = p[0], ends[e][1] = p[1];
    }
    return true;
  }
  // An arc about centre of radius rad from the start through mid to the end.
  void take_arc(const double centre[2], double rad, const double mid[2]) {
    kind = kArc, c[0] = centre[0], c[1] = centre[1], r = rad;
    set_sweep(mid);
  }
};

// A leg of the chain as its distance is measured: its pole box and its distance, and for a curve other than lines
// and arcs the leg at z = 0.
struct Shape : Piece {
  OwnedCurve flat;          // kCurve: the leg at z = 0
  std::vector<double> pts;  // kLines: its poles, x and y
  double lo[2] = {0, 0}, hi[2] = {0, 0};
  double d = 0;

  bool make(const VOQbsp_curve *cv_in, double dist, int *rc) {
    d = dist;
    if (!take_ends(cv_in, rc)) return false;
    double p[3];
    lo[0] = lo[1] = INFINITY, hi[0] = hi[1] = -INFINITY;
    for (int i = 0; i < cv->num_poles; ++i) {
      pole_point(cv, i, p);
      for (int k = 0; k < 2; ++k) lo[k] = std::min(lo[k], p[k]), hi[k] = std::max(hi[k], p[k]);
    }
    if (cv->order == 2) {
      // The ends are the end poles themselves, as the nearest points of the legs give them.
      kind = kLines;
      for (int i = 0; i < cv->num_poles; ++i) pole_point(cv, i, p), pts.push_back(p[0]), pts.push_back(p[1]);
      ends[0][0] = pts[0], ends[0][1] = pts[1];
      ends[1][0] = pts[pts.size() - 2], ends[1][1] = pts.back();
      return true;
    }
    if (cv->rational) {
      double centre[3], radius = 0;
      const std::uint16_t is_arc = circular_arc(cv, centre, &radius, rc);
      if (*rc != 0) return false;
      if (is_arc == 2) {
        kind = kArc, c[0] = centre[0], c[1] = centre[1], r = radius;
        a0 = std::atan2(ends[0][1] - c[1], ends[0][0] - c[0]), sweep = 2 * M_PI;
        return true;
      }
      if (is_arc == 1) {
        BScveval_n(cv, 0.5 * (start_of(cv) + end_of(cv)), 0, p, rc);
        if (*rc != 0) return false;
        take_arc(centre, radius, p);
        return true;
      }
    }
    kind = kCurve;
    return (flat.cv = flat_copy(cv, rc)) != nullptr;
  }

  // Whether the distance from p to the leg, less the leg's distance, surely comes to g or more: each nearest
  // point measured in squares, with room for the roundings of the measure itself. False where not plain (an arc
  // or another curve: only the measure tells).
  bool surely_beyond(const double p[2], double g) const {
    if (kind != kLines || bstest::slow_roads()) return false;
    for (std::size_t i = 0; i + 3 < pts.size(); i += 2) {
      const double ax = pts[i], ay = pts[i + 1], dx = pts[i + 2] - ax, dy = pts[i + 3] - ay;
      const double l2 = dx * dx + dy * dy;
      const double t = l2 > 0 ? ((p[0] - ax) * dx + (p[1] - ay) * dy) / l2 : 0.0;
      const double fx = t <= 0 ? ax : t >= 1 ? pts[i + 2] : ax + t * dx;
      const double fy = t <= 0 ? ay : t >= 1 ? pts[i + 3] : ay + t * dy;
      const double ex = p[0] - fx, ey = p[1] - fy;
      if (!at_least(ex * ex + ey * ey, d, g)) return false;
    }
    return true;
  }
  // Whether hypot(x, y) - d >= g holds for sure, from sq = x x + y y: a hypot within an ulp of the root of the
  // squares, their sum within two, and a margin far beyond both.
  static bool at_least(double sq, double d, double g) {
    if (bstest::slow_roads()) return false;
    if (g <= -d) return true;
    const double r = g + d, m = 1e-12 * (d + std::fabs(g));
    return sq > (r + m) * (r + m);
  }
  // Whether hypot(x, y) - d >= g: told in squares where x x + y y plainly falls short of (g + d) squared (the
  // other way at_least tells), measured where they come near.
  static bool reaches(double x, double y, double d, double g) {
    const double r = g + d;
    if (!bstest::slow_roads() && r > 0 && x * x + y * y < r * r * (1 - 1e-12)) return false;
    return std::hypot(x, y) - d >= g;
  }

  // A lower bound of the distance from p to the leg.
  double box_gap(const double p[2]) const {
    const double dx = std::max({lo[0] - p[0], p[0] - hi[0], 0.0}), dy = std::max({lo[1] - p[1], p[1] - hi[1], 0.0});
    return std::hypot(dx, dy);
  }

  // The distance from p to the leg, and its nearest point.
  double distance(const double p[2], double foot[2], int *rc) const {
    if (kind == kLines) {
      double best = INFINITY;
      for (std::size_t i = 0; i + 3 < pts.size(); i += 2) {
        const double ax = pts[i], ay = pts[i + 1], dx = pts[i + 2] - ax, dy = pts[i + 3] - ay;
        const double l2 = dx * dx + dy * dy;
        double t = l2 > 0 ? ((p[0] - ax) * dx + (p[1] - ay) * dy) / l2 : 0.0;
        double fx, fy;
        // The ends are the poles themselves, so that a nearest end is recognised exactly.
        if (t <= 0) {
          fx = ax, fy = ay;
        } else if (t >= 1) {
          fx = pts[i + 2], fy = pts[i + 3];
        } else {
          fx = ax + t * dx, fy = ay + t * dy;
        }
        const double g = std::hypot(p[0] - fx, p[1] - fy);
        if (g < best) best = g, foot[0] = fx, foot[1] = fy;
      }
      return best;
    }
    if (kind == kArc) {
      const double a = angle(p), rho = std::hypot(p[0] - c[0], p[1] - c[1]);
      if (a <= std::fabs(sweep) && rho > 0) {
        foot[0] = c[0] + r * (p[0] - c[0]) / rho, foot[1] = c[1] + r * (p[1] - c[1]) / rho;
        return std::fabs(rho - r);
      }
      const double g0 = std::hypot(p[0] - ends[0][0], p[1] - ends[0][1]);
      const double g1 = std::hypot(p[0] - ends[1][0], p[1] - ends[1][1]);
      const int e = g1 < g0 ? 1 : 0;
      foot[0] = ends[e][0], foot[1] = ends[e][1];
      return e ? g1 : g0;
    }
    const double q[3] = {p[0], p[1], 0.0};
    double u = 0, base[3], dist = 0;
    BSmdstptcv(flat.cv, q, &u, base, &dist, rc);
    foot[0] = base[0], foot[1] = base[1];
    // An end found within the knot tolerance is that end.
    for (int e = 0; e < 2; ++e)
      if (u == (e ? end_of(flat.cv) : start_of(flat.cv))) foot[0] = ends[e][0], foot[1] = ends[e][1];
    return dist;
  }
};

// A stretch of the whole offset before it is cleared: a leg's offset piece (own >= 0) or what a corner join put
// between two of them. Through the ends it shares with its neighbours (near[k], end of that leg near_end[k]) it
// keeps no clearance from them: there the offset turns about the chain's corner.
struct Stretch {
  VOQbsp_curve *cv = nullptr;  // released with the clearing
  int tag = 0;
  double dist = 0;
  int own = -1;
  int parent = -1;           // the component it belongs to when it is part of that component's offset, else -1
  int near[2] = {-1, -1}, near_end[2] = {0, 0};
  int corner[2] = {-1, -1};  // the corners whose fill it bounds
  bool never = false;        // the offset of an arc past its centre: it turns its corners, and keeps nothing
  bool chord = false;        // a corner curve standing for a connecting line: what it keeps goes straight
  bool bridge = false;       // an open chain's end cap: it only carries the offset from one kept stretch to another
};

// What a corner turning away from the offset side adds to the offset's reach: the area between the corner and
// what its join made (an extension to the crossing, a corner curve, a connecting line), as a polygon (x, y pairs)
// through the corner, the first piece's former end, the join, and the second piece's former start. Round and
// straight fills lie within the distance of the corner; a mitre reaches beyond it.
struct Fill {
  std::vector<double> xy;
  double lo[2] = {INFINITY, INFINITY}, hi[2] = {-INFINITY, -INFINITY};
  void add(const double p[3]) {
    xy.push_back(p[0]), xy.push_back(p[1]);
    for (int k = 0; k < 2; ++k) lo[k] = std::min(lo[k], p[k]), hi[k] = std::max(hi[k], p[k]);
  }
  // Side i of the outline (from corner j before it) as seen from p: whether the ray from p along +x crosses it,
  // and the way from its nearest point to p.
  bool side(std::size_t i, std::size_t j, const double p[2], double *ex, double *ey) const {
    const double ax = xy[2 * j], ay = xy[2 * j + 1], bx = xy[2 * i], by = xy[2 * i + 1];
    const double dx = bx - ax, dy = by - ay, l2 = dx * dx + dy * dy;
    const double t = l2 > 0 ? std::clamp(((p[0] - ax) * dx + (p[1] - ay) * dy) / l2, 0.0, 1.0) : 0.0;
    *ex = p[0] - ax - t * dx, *ey = p[1] - ay - t * dy;
    return (by > p[1]) != (ay > p[1]) && p[0] < ax + (bx - ax) * (p[1] - ay) / (by - ay);
  }
  // Whether p lies inside the outline and off it: signed_gap(p) < 0 without the measure.
  bool strictly_inside(const double p[2]) const {
    const std::size_t n = xy.size() / 2;
    bool inside = false, on = false;
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
      double ex, ey;
      if (side(i, j, p, &ex, &ey)) inside = !inside;
      on = on || (ex == 0 && ey == 0);
    }
    return inside && !on;
  }
  // The distance from p to the outline, negative inside. The sides are compared in squares; only those within
  // roundings of the nearest are measured, which gives the nearest measure itself.
  double signed_gap(const double p[2]) const {
    const std::size_t n = xy.size() / 2;
    bool inside = false;
    double least = INFINITY, ex, ey;
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
      if (side(i, j, p, &ex, &ey)) inside = !inside;
      least = std::min(least, ex * ex + ey * ey);
    }
    // Where nothing finite compares, or the squares lose their digits, every side is measured.
    const bool all = !(least < INFINITY) || least < 1e-290 || bstest::slow_roads();
    double best = INFINITY;
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
      side(i, j, p, &ex, &ey);
      if (all || ex * ex + ey * ey <= least * (1 + 1e-12)) best = std::min(best, std::hypot(ex, ey));
    }
    return inside ? -best : best;
  }
};

// Points of cv appended to fill: all of it (from NULL), or from the foot of `from` to its end (at_end), or from
// its start to the foot of `from`; what lies beyond the foot at the other side is not the join's.
bool trace(const VOQbsp_curve *cv, const double *from, bool at_end, Fill *fill, int *rc) {
  double a = start_of(cv), b = end_of(cv);
  if (from) {
    OwnedCurve flat;
    if (!(flat.cv = flat_copy(cv, rc))) return false;
    const double q[3] = {from[0], from[1], 0.0};
    double u = 0, foot[3], dist = 0;
    BSmdstptcv(flat.cv, q, &u, foot, &dist, rc);
    if (*rc != 0) return false;
    (at_end ? a : b) = u;
  }
  const int spans = std::max(1, cv->num_poles - cv->order + 1), n = cv->order == 2 ? spans : 16 * spans;
  for (int k = 0; k <= n; ++k) {
    double p[3];
    BScveval_n(cv, a + (b - a) * k / n, 0, p, rc);
    if (*rc != 0) return false;
    fill->add(p);
  }
  return true;
}

// A kept stretch of one stretch: parameters, end points, and whether each end is a cut (else the stretch's own
// end); next: the kept stretch that goes on from its end.
struct Kept {
  int stretch = 0;
  double t[2] = {0, 0};
  double p[2][3] = {{0, 0, 0}, {0, 0, 0}};
  bool cut[2] = {false, false};
  int next = -1;
  bool has_prev = false, used = false;
};

// A leg of the chain: a component, or one leg of a polyline component; its offset piece (NULL: nothing left).
struct Leg {
  const VOQbsp_curve *cv = nullptr;
  VOQbsp_curve *off = nullptr;
  VOQbsp_curve *own_cv = nullptr, *own_off = nullptr;  // records made here for a polyline's leg
  int parent = 0;
  double dist = 0;
  bool past = false;  // an arc offset past its centre
};

struct Clearing {
  const LegChain &ch;
  std::vector<Leg> legs;
  std::unique_ptr<Shape[]> shapes;
  std::vector<Fill> fills;
  std::vector<Stretch> parts;
  BoxTree leg_boxes, fill_boxes;  // the legs' boxes, reaching out by their distances; the fills'
  double margin = 0, scale = 0;

  explicit Clearing(const LegChain &c) : ch(c) {}
  Clearing(const Clearing &) = delete;
  Clearing &operator=(const Clearing &) = delete;
  ~Clearing() {
    for (Stretch &s : parts) release(s.cv);
    for (Leg &l : legs) release(l.own_cv), release(l.own_off);
  }

  // The legs of the chain, each with its offset: a polyline component (order 2, three poles or more) leg by leg,
  // legs of no length left out.
  bool split(int *rc) {
    const std::int16_t flag = ch.option == 1 ? 1 : 0;
    for (int k = 0; k < ch.n; ++k) {
      const VOQbsp_curve *cv = ch.cv[k];
      if (cv->order != 2 || cv->num_poles < 3 || (!ch.off[k] && !ch.legs_unmade)) {
        Leg l;
        l.cv = cv, l.off = ch.off[k], l.parent = k, l.dist = ch.dist[k];
        legs.push_back(l);
        continue;
      }
      for (int i = 0; i + 1 < cv->num_poles; ++i) {
        double p[3], q[3];
        pole_point(cv, i, p), pole_point(cv, i + 1, q);
        if (!(flat_gap(p, q) > BStoltab[bstol::dist_tol])) continue;
        Leg l;
        l.parent = k, l.dist = ch.dist[k];
        legs.push_back(l);
        Leg &n = legs.back();
        if (!(n.own_cv = segment(p, q, rc))) return false;
        BSxycvoff(n.own_cv, n.dist, flag, ch.normal, ch.side, &n.own_off, rc);
        if (*rc == 5 || *rc == BSRC_NO_JOIN) *rc = 0;
        if (*rc != 0) return false;
        n.cv = n.own_cv, n.off = n.own_off;
      }
    }
    for (Leg &l : legs) {
      l.past = offset_past_centre(l.cv, l.dist, ch.side, ch.normal, rc);
      if (*rc != 0) return false;
    }
    return true;
  }

  // What can come near a stretch: the legs and fills whose boxes, less their reach, lie nearer to the stretch's
  // box than its cap, in their order along the chain. A clearance above the cap is taken as the cap: it only
  // decides that the stretch between two probes keeps clear, which it then decides less often, never wrongly.
  struct Near {
    const Stretch *s = nullptr;
    std::vector<int> legs, fills;
    double cap = 0;
    // The positions in legs of the leg that last kept a span of the stretch from being shown clear, and of the
    // one whose band last held such a span: the next span beside it most likely meets the same one. Tried first,
    // they change no answer, which every leg must give alike.
    mutable std::size_t blocking = SIZE_MAX, holding = SIZE_MAX;
  };
  // Near a run of stretches: the legs and fills found near their boxes together.
  struct Around {
    std::vector<int> legs, fills;
  };
  // The box of a stretch's poles and its cap: twice the box's diagonal, and the margin.
  static double stretch_box(const Stretch &s, double lo[2], double hi[2], double margin) {
    double p[3];
    lo[0] = lo[1] = INFINITY, hi[0] = hi[1] = -INFINITY;
    for (int i = 0; i < s.cv->num_poles; ++i) {
      pole_point(s.cv, i, p);
      for (int k = 0; k < 2; ++k) lo[k] = std::min(lo[k], p[k]), hi[k] = std::max(hi[k], p[k]);
    }
    return 2 * std::hypot(hi[0] - lo[0], hi[1] - lo[1]) + 4 * margin;
  }
  // What lies near the stretches first to last - 1, looked up once for them all.
  Around around(int first, int last) const {
    double lo[2] = {INFINITY, INFINITY}, hi[2] = {-INFINITY, -INFINITY}, cap = 0;
    for (int i = first; i < last; ++i) {
      double l[2], h[2];
      cap = std::max(cap, stretch_box(parts[i], l, h, margin));
      for (int k = 0; k < 2; ++k) lo[k] = std::min(lo[k], l[k]), hi[k] = std::max(hi[k], h[k]);
    }
    Around a{leg_boxes.near(lo, hi, cap), fill_boxes.near(lo, hi, cap)};
    // In chain order once for the run: what each stretch keeps of them stays in it.
    std::sort(a.legs.begin(), a.legs.end());
    std::sort(a.fills.begin(), a.fills.end());
    return a;
  }
  Near near_of(const Stretch &s, const Around &a) const {
    Near n;
    n.s = &s;
    double lo[2], hi[2];
    n.cap = stretch_box(s, lo, hi, margin);
    for (const int k : a.legs)
      if (k != s.own && legs[k].off && !boxes_apart(lo, hi, shapes[k].lo, shapes[k].hi, n.cap + shapes[k].d))
        n.legs.push_back(k);
    for (const int f : a.fills)
      if (f != s.corner[0] && f != s.corner[1] && fills[f].xy.size() >= 6 &&
          !boxes_apart(lo, hi, fills[f].lo, fills[f].hi, n.cap))
        n.fills.push_back(f);
    return n;
  }
  // What of near can come near the box (lo, hi), with the box's own cap.
  Near near_box(const Near &near, const double lo[2], const double hi[2]) const {
    Near n;
    n.s = near.s;
    n.cap = 2 * std::hypot(hi[0] - lo[0], hi[1] - lo[1]) + 4 * margin;
    for (const int k : near.legs)
      if (!boxes_apart(lo, hi, shapes[k].lo, shapes[k].hi, n.cap + shapes[k].d)) n.legs.push_back(k);
    for (const int f : near.fills)
      if (!boxes_apart(lo, hi, fills[f].lo, fills[f].hi, n.cap)) n.fills.push_back(f);
    return n;
  }

  // Whether (dx, dy) reaches farther than r, where r is not positive or plainly.
  static bool beyond(double dx, double dy, double r) { return !(r > 0) || dx * dx + dy * dy > r * r; }
  // How far p keeps clear of the bands of the legs that stretch near.s answers to (negative: inside one), at most
  // the cap: the nearest band, less the distance, and then the fills in their order while p still keeps clear of
  // one by more than its box lies away; a fill that takes p in ends the search. What a box shows to lie farther
  // than the clearance found so far is passed over. *low (when asked) takes the neighbours' bands too, which p
  // sees through their common corner and a point beside p may not: how near a band the stretch may come beside p.
  // A leg that surely lowers neither the clearance nor the neighbours' share of it is passed over unmeasured.
  // With `stop`, the search ends once the clearance falls below it: only whether it reaches stop is then told.
  double clearance(const Near &near, const double p[3], int *rc, double *low = nullptr,
                   double stop = -INFINITY) const {
    const Stretch &s = *near.s;
    double g = near.cap, beside = INFINITY;
    for (const int k : near.legs) {
      const Shape &sh = shapes[k];
      const double dx = std::max({sh.lo[0] - p[0], p[0] - sh.hi[0], 0.0});
      const double dy = std::max({sh.lo[1] - p[1], p[1] - sh.hi[1], 0.0});
      if (beyond(dx, dy, g + sh.d + margin) || Shape::at_least(dx * dx + dy * dy, sh.d, g) ||
          sh.surely_beyond(p, g) || Shape::reaches(dx, dy, sh.d, g))
        continue;
      double foot[2] = {};
      const double dist = sh.distance(p, foot, rc);
      if (*rc != 0) return 0.0;
      bool through_corner = false;
      for (int e = 0; e < 2; ++e)
        if (s.near[e] == k && foot[0] == sh.ends[s.near_end[e]][0] && foot[1] == sh.ends[s.near_end[e]][1])
          through_corner = true;
      if (!through_corner) g = std::min(g, dist - sh.d);
      else beside = std::min(beside, dist - sh.d);
      if (g < stop) return g;
    }
    for (const int f : near.fills) {
      const Fill &fl = fills[f];
      const double dx = std::max({fl.lo[0] - p[0], p[0] - fl.hi[0], 0.0});
      const double dy = std::max({fl.lo[1] - p[1], p[1] - fl.hi[1], 0.0});
      if (g <= 0 || beyond(dx, dy, g + margin) || Shape::at_least(dx * dx + dy * dy, 0.0, g) ||
          Shape::reaches(dx, dy, 0.0, g))
        continue;
      g = std::min(g, fl.signed_gap(p));
      if (g < stop) return g;
    }
    if (low) *low = std::min(g, beside);
    return g;
  }
  struct Probe {
    double t = 0, p[3] = {0, 0, 0}, g = 0, low = 0;  // low: the clearance from the neighbours' bands too
    bool placed = false, measured = false;          // p found, g found
  };
  void place(const Near &near, Probe *q, int *rc) const {
    if (!q->placed && *rc == 0) BScveval_n(near.s->cv, q->t, 0, q->p, rc), q->placed = true;
  }
  void measure(const Near &near, Probe *q, int *rc) const {
    if (!q->measured && *rc == 0) q->g = clearance(near, q->p, rc, &q->low), q->measured = true;
  }
  bool clear(const Probe &q) const { return q.g >= -margin; }

  // Whether the span keeps farther than `far` from a leg.
  static bool leg_clear(const Shape &sh, const Span &sp, double far) {
    if (!(far > 0)) return true;
    if (boxes_apart(sp.lo, sp.hi, sh.lo, sh.hi, far)) return true;
    if (sh.kind == Piece::kLines) {
      if (sp.behind(sh.pts.data(), sh.pts.size() / 2, far)) return true;
      for (std::size_t i = 0; i + 3 < sh.pts.size(); i += 2) {
        const double *p = &sh.pts[i], *q = &sh.pts[i + 2];
        if (sp.arc ? !(sp.circle.to_segment(p, q) >= far) : !(seg_seg2(sp.a, sp.b, p, q) >= far * far)) return false;
      }
      return true;
    }
    if (sh.kind == Piece::kArc) return (sp.arc ? sh.to_arc(sp.circle) : sh.to_segment(sp.a, sp.b)) >= far;
    return false;
  }
  // Whether the span keeps outside a fill by `need` or more, from a lower bound of how far it does: its least
  // distance from the outline's sides (a side too far off to measure passes), and the side of the outline its
  // start lies on, which where it meets no side is the side of all of it. The first side nearer than need
  // settles it, and the start is measured in squares: only where it lies on the outline itself does it count as
  // outside.
  static bool fill_clear(const Fill &f, const Span &sp, double need) {
    const std::size_t n = f.xy.size() / 2;
    for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
      const double *p = &f.xy[2 * j], *q = &f.xy[2 * i];
      const double d = sp.arc ? sp.circle.to_segment(p, q) : std::sqrt(seg_seg2(sp.a, sp.b, p, q));
      if (std::isnan(d)) continue;
      if (!(d > 0) || !(d >= need)) return false;
    }
    return INFINITY >= need && !f.strictly_inside(sp.arc ? sp.circle.ends[0] : sp.a);
  }
  // Whether the span lies inside the band of a leg that is one segment: the band is convex, and so is what holds
  // the span (its ends; an arc's ends and the crossing of its end tangents). A leg that shares an end with the
  // stretch counts only where its nearest point is not that end: there the span must lie past it along the leg
  // (shared: 0 at the leg's start, 1 at its end, -1 none).
  static bool in_band(const Shape &sh, const Span &sp, double within, int shared) {
    if (!band_takes(sh, within)) return false;
    if (!sp.arc) return band_holds(sh, sp.a, within, shared) && band_holds(sh, sp.b, within, shared);
    double apex[2];
    return arc_apex(sp, apex) && band_holds(sh, sp.circle.ends[0], within, shared) &&
           band_holds(sh, sp.circle.ends[1], within, shared) && band_holds(sh, apex, within, shared);
  }
  // Whether the band of a leg can hold a span at all: a leg of one segment, a width.
  static bool band_takes(const Shape &sh, double within) {
    return sh.kind == Piece::kLines && sh.pts.size() == 4 && within > 0;
  }
  // Whether x lies in the band of a leg of one segment (band_takes), past the leg's shared end.
  static bool band_holds(const Shape &sh, const double x[2], double within, int shared) {
    const double *p = &sh.pts[0], *q = &sh.pts[2];
    const double dx = q[0] - p[0], dy = q[1] - p[1], l2 = dx * dx + dy * dy;
    if (!(seg_point2(x, p, q) <= within * within)) return false;
    const double t = ((x[0] - p[0]) * dx + (x[1] - p[1]) * dy) / l2;
    return shared == 0 ? t > 1e-9 : shared == 1 ? t < 1 - 1e-9 : true;
  }
  // An arc span's corner where its end tangents meet, which with its ends holds it; false past a quarter turn
  // each side, where no band is held to hold it.
  static bool arc_apex(const Span &sp, double apex[2]) {
    const Arc &c = sp.circle;
    const double half = 0.5 * c.sweep;
    if (!(std::fabs(half) < M_PI / 4)) return false;
    const double mid = c.a0 + half, reach = c.r / std::cos(half);
    apex[0] = c.c[0] + reach * std::cos(mid), apex[1] = c.c[1] + reach * std::sin(mid);
    return true;
  }
  // The legs near the stretch that may hold a span in their bands, with the width and the shared end the proofs
  // take them with; false for a leg they pass over.
  bool band_leg(const Near &near, const Model &model, std::size_t q, double *within, int *shared) const {
    const Stretch &s = *near.s;
    const int k = near.legs[q];
    if (k == s.near[0] && k == s.near[1]) return false;
    *shared = k == s.near[0] ? s.near_end[0] : k == s.near[1] ? s.near_end[1] : -1;
    *within = shapes[k].d - 2 * margin - 2 * model.dev;
    return band_takes(shapes[k], *within);
  }
  // What the geometry of the stretch and its neighbourhood shows of the stretch between two probes: that it keeps
  // clear of every band by the margin's half (where no probe of it can find it inside one), that it lies inside a
  // band by twice the margin, or neither. A neighbouring leg is held against it whole, as if no point of the
  // stretch saw it through their common corner; the bands of lines, arcs and fills are taken as they are measured.
  enum Proof { kUnknown, kClear, kInside };
  Proof prove(const Near &near, const Model &model, const Probe &a, const Probe &b) const {
    // A measured end settles half the proof, by the margin's half at least: one inside a band (below the margin)
    // lies nearer to that leg than the span could be shown to keep from it, and one that keeps clear lies in no
    // band that could hold the span. A span across a band's edge, as the search of a crossing makes them, then
    // needs neither half.
    const bool fast = !bstest::slow_roads();
    const bool end_inside = fast && ((a.measured && !clear(a)) || (b.measured && !clear(b)));
    const bool end_clear = fast && ((a.measured && clear(a)) || (b.measured && clear(b)));
    if (end_inside && end_clear) return kUnknown;
    Span sp;
    if (!model.span(a.t, a.p, b.t, b.p, &sp)) return kUnknown;
    const double need = 2 * model.dev - 0.5 * margin;
    const auto leg_blocks = [&](std::size_t q) {
      const Shape &sh = shapes[near.legs[q]];
      if (leg_clear(sh, sp, sh.d + need)) return false;
      near.blocking = q;
      return true;
    };
    const std::size_t first = near.blocking;
    bool clear = !end_inside && (first >= near.legs.size() || !leg_blocks(first));
    for (std::size_t q = 0; q < near.legs.size() && clear; ++q)
      if (q != first) clear = !leg_blocks(q);
    for (std::size_t q = 0; q < near.fills.size() && clear; ++q) {
      const Fill &f = fills[near.fills[q]];
      if (!boxes_apart(sp.lo, sp.hi, f.lo, f.hi, std::max(need, 0.0))) clear = fill_clear(f, sp, need);
    }
    if (clear) return kClear;
    if (end_clear) return kUnknown;
    const auto holds = [&](std::size_t q) {
      double within = 0;
      int shared = -1;
      if (!band_leg(near, model, q, &within, &shared) || !in_band(shapes[near.legs[q]], sp, within, shared))
        return false;
      near.holding = q;
      return true;
    };
    const std::size_t held = near.holding;
    if (held < near.legs.size() && holds(held)) return kInside;
    for (std::size_t q = 0; q < near.legs.size(); ++q)
      if (q != held && holds(q)) return kInside;
    return kUnknown;
  }

  // The parameters between a and b where the stretch passes into or out of a band, ascending. What the geometry
  // shows to keep clear, or to lie inside a band, is left alone. Else the clearance is measured at the probes:
  // between two probes a stretch that could not reach the other side is left alone. The distance from one band
  // changes no faster than the arc length, but a neighbour's band that a probe sees through the corner may be
  // near just beside it, so that the stretch's distance from every band is what bounds it clear. The length
  // between two probes is that of the circle through them and the stretch's point half-way between, as it is
  // for a line or an arc, and no less than 1.1 times their chord, for other curves.
  void cuts(const Near &near, const Model &model, Probe &a, Probe &b, double floor, int depth, bool proved,
            std::vector<double> *out, int *rc) const {
    if (*rc != 0) return;
    if (!proved && prove(near, model, a, b) != kUnknown) return;
    measure(near, &a, rc), measure(near, &b, rc);
    Probe m;
    m.t = 0.5 * (a.t + b.t);
    place(near, &m, rc);
    if (*rc != 0) return;
    const double h = std::max(1.1 * flat_gap(a.p, b.p), through(a.p, m.p, b.p));
    const bool ca = clear(a), cb = clear(b);
    if (ca == cb && (ca ? a.low + b.low - h >= -2 * margin : a.g + b.g + h < -2 * margin)) return;
    if (depth > 48 || std::fabs(b.t - a.t) <= floor) {
      // Two probes inside bands may hold between them a stretch that keeps clear where the edges of two bands
      // cross the stretch close together (three corner circles that nearly meet): left out, it leaves a gap as
      // long as itself. It is looked for until the probes lie closer than a gap may be.
      if (ca == cb && !ca && h > 0.25 * BStoltab[bstol::dist_tol] && depth <= 80) {
        measure(near, &m, rc);
        if (*rc != 0) return;
        cuts(near, model, a, m, floor, depth + 1, false, out, rc);
        cuts(near, model, m, b, floor, depth + 1, false, out, rc);
        return;
      }
      if (ca == cb) {
        // Two clear probes the proofs could not show clear between: a band's end can dip in between narrower than
        // their spacing. Where the geometry puts the stretch nearest to a leg or a fill, it is measured; inside a
        // band there, the stretch is cut on each side of it.
        Probe in;
        if (!ca || !dip(near, model, a, b, &in, rc) || *rc != 0) return;
        cuts(near, model, a, in, floor, depth + 1, true, out, rc);
        cuts(near, model, in, b, floor, depth + 1, true, out, rc);
        return;
      }
      // The margin only spares what grazes a band; a crossing is put where the band begins.
      const double at = std::min(0.0, ca ? a.g : b.g);
      // Whether a probe's clearance reaches `at` needs only what can come near the probes here: within the length
      // between them of the first. One that lies outside that box asks everything near the stretch.
      double lo_box[2], hi_box[2];
      for (int k = 0; k < 2; ++k) lo_box[k] = a.p[k] - h, hi_box[k] = a.p[k] + h;
      const Near cell = near_box(near, lo_box, hi_box);
      Probe lo = a, hi = b;
      for (int it = 0; it < 200; ++it) {
        const double mid = 0.5 * (lo.t + hi.t);
        if (mid <= std::min(lo.t, hi.t) || mid >= std::max(lo.t, hi.t)) break;
        Probe q;
        q.t = mid;
        place(near, &q, rc);
        const bool inside = q.p[0] >= lo_box[0] && q.p[0] <= hi_box[0] && q.p[1] >= lo_box[1] && q.p[1] <= hi_box[1];
        const double stop = bstest::slow_roads() ? -INFINITY : at;
        if (*rc == 0) q.g = clearance(inside ? cell : near, q.p, rc, nullptr, stop);
        if (*rc != 0) return;
        ((q.g >= at) == ca ? lo : hi) = q;
      }
      out->push_back(ca ? lo.t : hi.t);
      return;
    }
    measure(near, &m, rc);
    if (*rc != 0) return;
    cuts(near, model, a, m, floor, depth + 1, false, out, rc);
    cuts(near, model, m, b, floor, depth + 1, false, out, rc);
  }

  // Where between the clear probes a and b the stretch may dip into a band: the points of a line or an arc span
  // nearest to each leg of lines or arcs near it that it cannot be shown to keep clear of, and to each fill's
  // corners and sides, measured; the first inside a band to *in. False where none lies inside (or for a stretch
  // of another curve, which only its probes tell).
  bool dip(const Near &near, const Model &model, const Probe &a, const Probe &b, Probe *in, int *rc) const {
    Span sp;
    if (!model.span(a.t, a.p, b.t, b.p, &sp)) return false;
    std::vector<std::array<double, 2>> at;  // points of the span's line or circle to look at
    const auto toward = [&](const double x[2]) {
      if (!sp.arc) {
        const double dx = sp.b[0] - sp.a[0], dy = sp.b[1] - sp.a[1], l2 = dx * dx + dy * dy;
        if (!(l2 > 0)) return;
        const double f = ((x[0] - sp.a[0]) * dx + (x[1] - sp.a[1]) * dy) / l2;
        at.push_back({sp.a[0] + f * dx, sp.a[1] + f * dy});
        return;
      }
      const Arc &c = sp.circle;
      const double rho = std::hypot(x[0] - c.c[0], x[1] - c.c[1]);
      if (rho > 0)
        for (const double sgn : {-1.0, 1.0})
          at.push_back({c.c[0] + sgn * c.r * (x[0] - c.c[0]) / rho, c.c[1] + sgn * c.r * (x[1] - c.c[1]) / rho});
    };
    // Where the span comes nearest to the segment p q: the feet of its ends, their crossing, and for an arc the
    // points of the circle square to the segment.
    const auto segment_near = [&](const double p[2], const double q[2]) {
      toward(p), toward(q);
      const double dx = q[0] - p[0], dy = q[1] - p[1], len = std::hypot(dx, dy);
      if (!(len > 0)) return;
      if (!sp.arc) {
        const double rx = sp.b[0] - sp.a[0], ry = sp.b[1] - sp.a[1], den = rx * dy - ry * dx;
        if (den != 0) {
          const double f = ((p[0] - sp.a[0]) * dy - (p[1] - sp.a[1]) * dx) / den;
          at.push_back({sp.a[0] + f * rx, sp.a[1] + f * ry});
        }
        return;
      }
      const Arc &c = sp.circle;
      for (const double sgn : {-1.0, 1.0}) at.push_back({c.c[0] - sgn * c.r * dy / len, c.c[1] + sgn * c.r * dx / len});
    };
    for (const int k : near.legs) {
      const Shape &sh = shapes[k];
      if (sh.kind == Piece::kCurve || leg_clear(sh, sp, sh.d - margin)) continue;
      if (sh.kind == Piece::kLines) {
        for (std::size_t i = 0; i + 3 < sh.pts.size(); i += 2) segment_near(&sh.pts[i], &sh.pts[i + 2]);
      } else {
        toward(sh.ends[0]), toward(sh.ends[1]), toward(sh.c);
      }
    }
    for (const int f : near.fills) {
      const Fill &fl = fills[f];
      if (boxes_apart(sp.lo, sp.hi, fl.lo, fl.hi, margin)) continue;
      const std::size_t n = fl.xy.size() / 2;
      for (std::size_t i = 0, j = n - 1; i < n; j = i++) segment_near(&fl.xy[2 * j], &fl.xy[2 * i]);
    }
    // The parameter of a point of the span: along a line in proportion, along an arc by halving on its angle.
    const auto parameter = [&](const double x[2], double *t) {
      if (!sp.arc) {
        const double dx = sp.b[0] - sp.a[0], dy = sp.b[1] - sp.a[1], l2 = dx * dx + dy * dy;
        const double f = ((x[0] - sp.a[0]) * dx + (x[1] - sp.a[1]) * dy) / l2;
        *t = a.t + f * (b.t - a.t);
        return f > 0 && f < 1;
      }
      const Arc &c = sp.circle;
      const double want = c.angle(x);
      if (!(want > 0 && want < std::fabs(c.sweep))) return false;
      double lo = a.t, hi = b.t;
      for (int it = 0; it < 60 && *rc == 0; ++it) {
        const double mid = 0.5 * (lo + hi);
        double q[3];
        BScveval_n(near.s->cv, mid, 0, q, rc);
        const double got = c.angle(q);
        (got <= std::fabs(c.sweep) && got < want ? lo : hi) = mid;
      }
      *t = 0.5 * (lo + hi);
      return *rc == 0;
    };
    for (const auto &x : at) {
      double t = 0;
      if (!parameter(x.data(), &t) || !(t > std::min(a.t, b.t) && t < std::max(a.t, b.t))) continue;
      Probe q;
      q.t = t;
      place(near, &q, rc);
      measure(near, &q, rc);
      if (*rc != 0) return false;
      if (!clear(q)) {
        *in = q;
        return true;
      }
    }
    return false;
  }

  // The probes from k0 to k1 (above k0 + 1: first shown whole, then half by half) with their cuts appended to
  // out; the state of the stretch at probe k0, where the geometry shows it, to *first.
  void cuts_between(const Near &near, const Model &model, std::vector<Probe> &probes, int k0, int k1,
                    double floor, std::vector<double> *out, Proof *first, int *rc) const {
    place(near, &probes[k0], rc), place(near, &probes[k1], rc);
    if (*rc != 0) return;
    const Proof proof = prove(near, model, probes[k0], probes[k1]);
    if (proof != kUnknown) {
      *first = proof;
      return;
    }
    if (k1 - k0 == 1) {
      cuts(near, model, probes[k0], probes[k1], floor, 0, true, out, rc);
      return;
    }
    const int km = (k0 + k1) / 2;
    Proof ignored = kUnknown;
    cuts_between(near, model, probes, k0, km, floor, out, first, rc);
    cuts_between(near, model, probes, km, k1, floor, out, &ignored, rc);
  }

  // The kept stretches of stretch i appended to kept.
  void keep(int i, const Around &around, std::vector<Kept> *kept, int *rc) const {
    const Stretch &s = parts[i];
    const VOQbsp_curve *cv = s.cv;
    const double t0 = start_of(cv), t1 = end_of(cv);
    if (!(t1 > t0) || s.never || on_one_point(cv)) return;
    const Near near = near_of(s, around);
    Model model;
    if (!model.make(cv, scale, rc)) return;
    const int spans = std::max(1, cv->num_poles - cv->order + 1);
    const int n = std::max(16, 4 * spans);
    // The probes where the stretch is first measured, placed as they are needed.
    std::vector<Probe> probes(static_cast<std::size_t>(n) + 1);
    for (int k = 0; k <= n; ++k) probes[k].t = k == n ? t1 : t0 + (t1 - t0) * k / n;
    std::vector<double> at;
    const double floor = (t1 - t0) / 4096.0;
    Proof first = kUnknown;
    cuts_between(near, model, probes, 0, n, floor, &at, &first, rc);
    if (*rc != 0) return;
    // Walk the cuts: each one switches between kept and cleared.
    bool in = probes[0].measured ? clear(probes[0]) : first == kClear;
    double from = t0;
    bool from_cut = false;
    double ktol = 0;
    knot_tolerance(cv, &ktol, rc);
    if (*rc != 0) return;
    // A stretch too short to cut out of the piece is only a point where others meet.
    const auto add = [&](double a, bool a_cut, double b, bool b_cut) {
      if (!(b - a > ktol)) return;
      Kept k;
      k.stretch = i, k.t[0] = a, k.t[1] = b, k.cut[0] = a_cut, k.cut[1] = b_cut;
      for (int e = 0; e < 2 && *rc == 0; ++e) {
        Probe &end = probes[e ? n : 0];
        if (k.t[e] == end.t && end.placed) {
          for (int c = 0; c < 3; ++c) k.p[e][c] = end.p[c];
        } else {
          BScveval_n(cv, k.t[e], 0, k.p[e], rc);
        }
      }
      if (*rc == 0) kept->push_back(k);
    };
    for (double t : at) {
      if (in) add(from, from_cut, t, true);
      in = !in, from = t, from_cut = true;
    }
    if (in) add(from, from_cut, t1, false);
  }
};

// A leg's offset as the test of its room sees it: a segment, a circular arc or any other curve, with positions
// along it from 0 at its start to 1 at its end.
struct Track : Piece {
  bool make(const VOQbsp_curve *curve, int *rc) {
    if (!take_ends(curve, rc)) return false;
    if (cv->order == 2 && cv->num_poles == 2) {
      kind = kLines;
      return true;
    }
    kind = kCurve;
    if (!cv->rational || cv->order != 3) return true;
    // A circle through the ends and the middle that the quarter points lie on too.
    double q[3][3];
    const double t0 = start_of(cv), t1 = end_of(cv);
    for (int k = 0; k < 3; ++k) {
      BScveval_n(cv, t0 + (t1 - t0) * (k + 1) / 4, 0, q[k], rc);
      if (*rc != 0) return false;
    }
    double o[2], rad = 0;
    if (!circle_through(ends[0], q[1], ends[1], 1e-12, o, &rad)) return true;
    const double tol = 1e-12 * (std::fabs(o[0]) + std::fabs(o[1]) + rad);
    for (int k : {0, 2})
      if (!(std::fabs(std::hypot(q[k][0] - o[0], q[k][1] - o[1]) - rad) <= tol)) return true;
    take_arc(o, rad, q[1]);
    return true;
  }

  // The position of a point of the circle along the arc (outside [0, 1] off it, the nearer way round).
  double on_circle(const double p[2]) const {
    const double a = angle(p), f = a / std::fabs(sweep);
    return f > 1 && a - std::fabs(sweep) > 2 * M_PI - a ? (a - 2 * M_PI) / std::fabs(sweep) : f;
  }
  // The points where the line through p with direction d (p + t d) meets the circle: their count, and t.
  int line_meets(const double p[2], const double d[2], double t[2]) const {
    const double fx = p[0] - c[0], fy = p[1] - c[1], A = d[0] * d[0] + d[1] * d[1];
    const double B = 2 * (fx * d[0] + fy * d[1]), C = fx * fx + fy * fy - r * r, D = B * B - 4 * A * C;
    if (!(A > 0) || D < 0) return 0;
    const double q = std::sqrt(D);
    t[0] = (-B - q) / (2 * A), t[1] = (-B + q) / (2 * A);
    return 2;
  }
};

// Where two legs' offsets cross at a corner that turns towards the offset side, the one latest on the first: the
// positions along each and the point; false when they do not cross.
bool corner_crossing(const Track &a, const Track &b, double *fa, double *fb, double pt[2], int *rc) {
  const double tol = BStoltab[bstol::dist_tol];
  std::vector<std::array<double, 4>> found;  // position on a, on b, point
  const auto seg_len = [](const Track &t) {
    return std::hypot(t.ends[1][0] - t.ends[0][0], t.ends[1][1] - t.ends[0][1]);
  };
  // A position within the pieces, to the distance tolerance beyond their ends.
  const auto near_range = [&](double f, double len) {
    const double slack = tol / std::max(len, tol);
    return f >= -slack && f <= 1 + slack;
  };
  if (a.kind == Track::kLines && b.kind == Track::kLines) {
    const double *as = a.ends[0], *ae = a.ends[1], *bs = b.ends[0], *be = b.ends[1];
    const double r[2] = {ae[0] - as[0], ae[1] - as[1]}, s[2] = {be[0] - bs[0], be[1] - bs[1]};
    const double w[2] = {bs[0] - as[0], bs[1] - as[1]}, den = r[0] * s[1] - r[1] * s[0];
    const double lr = seg_len(a), ls = seg_len(b);
    if (std::fabs(den) > 1e-12 * lr * ls) {
      const double f = (w[0] * s[1] - w[1] * s[0]) / den, g = (w[0] * r[1] - w[1] * r[0]) / den;
      if (near_range(f, lr) && near_range(g, ls)) found.push_back({f, g, as[0] + f * r[0], as[1] + f * r[1]});
    }
  } else if ((a.kind == Track::kLines && b.kind == Track::kArc) ||
             (a.kind == Track::kArc && b.kind == Track::kLines)) {
    const Track &line = a.kind == Track::kLines ? a : b, &circle = a.kind == Track::kLines ? b : a;
    const double *ls = line.ends[0], *le = line.ends[1];
    const double d[2] = {le[0] - ls[0], le[1] - ls[1]}, len = seg_len(line);
    double t[2];
    const int n = circle.line_meets(ls, d, t);
    for (int k = 0; k < n; ++k) {
      const double p[2] = {ls[0] + t[k] * d[0], ls[1] + t[k] * d[1]}, g = circle.on_circle(p);
      if (near_range(t[k], len) && near_range(g, circle.r * std::fabs(circle.sweep)))
        found.push_back(a.kind == Track::kLines ? std::array<double, 4>{t[k], g, p[0], p[1]}
                                                : std::array<double, 4>{g, t[k], p[0], p[1]});
    }
  } else if (a.kind == Track::kArc && b.kind == Track::kArc) {
    const double dx = b.c[0] - a.c[0], dy = b.c[1] - a.c[1], d = std::hypot(dx, dy);
    if (d > 0 && d <= a.r + b.r && d >= std::fabs(a.r - b.r)) {
      const double l = (a.r * a.r - b.r * b.r + d * d) / (2 * d), h = std::sqrt(std::max(0.0, a.r * a.r - l * l));
      for (const double sgn : {-1.0, 1.0}) {
        const double p[2] = {a.c[0] + (l * dx - sgn * h * dy) / d, a.c[1] + (l * dy + sgn * h * dx) / d};
        const double f = a.on_circle(p), g = b.on_circle(p);
        if (near_range(f, a.r * std::fabs(a.sweep)) && near_range(g, b.r * std::fabs(b.sweep)))
          found.push_back({f, g, p[0], p[1]});
      }
    }
  } else {
    OwnedCurve flat_a, flat_b;
    if (!(flat_a.cv = flat_copy(a.cv, rc)) || !(flat_b.cv = flat_copy(b.cv, rc))) return false;
    Crossings x;
    x.find(flat_a.cv, flat_b.cv, rc);
    const double a0 = start_of(a.cv), a1 = end_of(a.cv), b0 = start_of(b.cv), b1 = end_of(b.cv);
    for (int q = 0; q < x.n_int && *rc == 0; ++q)
      found.push_back({(x.par1[q] - a0) / (a1 - a0), (x.par2[q] - b0) / (b1 - b0), x.pts[3 * q], x.pts[3 * q + 1]});
  }
  if (*rc != 0 || found.empty()) return false;
  const auto latest =
      std::max_element(found.begin(), found.end(), [](const auto &x, const auto &y) { return x[0] < y[0]; });
  *fa = (*latest)[0], *fb = (*latest)[1], pt[0] = (*latest)[2], pt[1] = (*latest)[3];
  return true;
}

// Where two line pieces a and b (offsets of the lines raw_a and raw_b) were joined end to start at a corner that
// turns away from the offset side, their junction put on the crossing of the two offset lines when it strays off
// them by more than low. Ends nearly in line are taken for overlapping, and joined in the middle of where they
// overlap, off both lines by up to ten times dist_tol: that tilts each piece, and past the corner a tilted piece
// comes nearer to the other leg than the distance by as much. Nothing changes where the crossing does not lie
// within both pieces.
void on_both_lines(const VOQbsp_curve *raw_a, const VOQbsp_curve *raw_b, VOQbsp_curve *a, VOQbsp_curve *b,
                   double low) {
  const auto line = [](const VOQbsp_curve *cv) { return cv && cv->order == 2 && cv->num_poles == 2; };
  if (!line(raw_a) || !line(raw_b) || !line(a) || !line(b)) return;
  double p[3], q[3], u[2], v[2], J[3], K[3], a0[3], b1[3];
  pole_point(raw_a, 0, p), pole_point(raw_a, 1, q);
  u[0] = q[0] - p[0], u[1] = q[1] - p[1];
  double r[3], s[3];
  pole_point(raw_b, 0, r), pole_point(raw_b, 1, s);
  v[0] = s[0] - r[0], v[1] = s[1] - r[1];
  pole_point(a, 1, J), pole_point(b, 0, K), pole_point(a, 0, a0), pole_point(b, 1, b1);
  const double lu = std::hypot(u[0], u[1]), lv = std::hypot(v[0], v[1]);
  if (!(lu > 0 && lv > 0)) return;
  const double off = std::max(std::fabs((J[0] - p[0]) * u[1] - (J[1] - p[1]) * u[0]) / lu,
                              std::fabs((K[0] - r[0]) * v[1] - (K[1] - r[1]) * v[0]) / lv);
  if (!(off > low && off <= 10 * BStoltab[bstol::dist_tol])) return;
  const double den = u[0] * v[1] - u[1] * v[0];
  if (!(std::fabs(den) > 0)) return;
  const double f = ((r[0] - p[0]) * v[1] - (r[1] - p[1]) * v[0]) / den;
  const double X[2] = {p[0] + f * u[0], p[1] + f * u[1]};
  // Within both pieces: past a's start along a, before b's end along b.
  if (!((X[0] - a0[0]) * u[0] + (X[1] - a0[1]) * u[1] > 0 && (b1[0] - X[0]) * v[0] + (b1[1] - X[1]) * v[1] > 0)) return;
  J[0] = K[0] = X[0], J[1] = K[1] = X[1];
  set_pole(a, 1, J), set_pole(b, 0, K);
}

}  // namespace

bool corner_kind(const VOQbsp_curve *a, const VOQbsp_curve *b, const double normal[3], int side, int *kind,
                 int *rc) {
  double P[3], T1[3], S[3], T2[3];
  if (!flat_end(a, true, P, T1, rc) || !flat_end(b, false, S, T2, rc)) return false;
  if (!BSnorvec(rc, T1) || !BSnorvec(rc, T2)) return false;
  double Q1[3], Q3[3];
  for (int c = 0; c < 3; ++c) Q1[c] = P[c] - T1[c], Q3[c] = P[c] + T2[c];
  int s = side;
  return BSzigzag(rc, Q1, P, Q3, normal, &s, kind) != 0;
}

bool offset_past_centre(const VOQbsp_curve *cv, double dist, int side, const double normal[3], int *rc) {
  if (!cv->rational || cv->order < 3) return false;
  // No radius is shorter than half the chord.
  double a[3], b[3];
  BScveval_n(cv, start_of(cv), 0, a, rc);
  if (*rc == 0) BScveval_n(cv, end_of(cv), 0, b, rc);
  if (*rc != 0 || 2 * dist < flat_gap(a, b) * (1 - 1e-9)) return false;
  double centre[3], radius = 0;
  if (circular_arc(cv, centre, &radius, rc) == 0 || *rc != 0) return false;
  double P[3], T[3];
  if (!flat_end(cv, false, P, T, rc)) return false;
  // The offset direction side (T x normal) against the way to the centre.
  const double n[2] = {side * (T[1] * normal[2]), side * (-T[0] * normal[2])};
  const bool inwards = n[0] * (centre[0] - P[0]) + n[1] * (centre[1] - P[1]) > 0;
  return inwards && dist >= radius - BStoltab[bstol::dist_tol];
}

// The box of a curve's poles in the plane.
void pole_box(const VOQbsp_curve *cv, double lo[2], double hi[2]) {
  lo[0] = lo[1] = INFINITY, hi[0] = hi[1] = -INFINITY;
  double p[3];
  for (int i = 0; i < cv->num_poles; ++i) {
    pole_point(cv, i, p);
    for (int e = 0; e < 2; ++e) lo[e] = std::min(lo[e], p[e]), hi[e] = std::max(hi[e], p[e]);
  }
}

// Drops each kept stretch (not a cap's) that runs along another one, within the match of it from end to end in the
// same sense (one shorter than the match only where it is no longer than `sliver` and cuts end it at both ends); of
// two that run along each other both ways, the earlier stretch's. False with rc set where a callee fails.
bool drop_twins(const Clearing &cl, double match, double sliver, std::vector<Kept> *kept, int *rc) {
  std::vector<Kept> &ks = *kept;
  const int nk = static_cast<int>(ks.size());
  std::vector<std::array<double, 4>> box(static_cast<std::size_t>(nk));
  BoxTree boxes;
  for (int k = 0; k < nk; ++k) {
    double lo[2], hi[2];
    pole_box(cl.parts[ks[k].stretch].cv, lo, hi);
    box[k] = {lo[0], lo[1], hi[0], hi[1]};
    boxes.add(lo, hi, 0.0);
  }
  boxes.build();
  const auto inside = [&](int q, const double p[3]) {
    return p[0] >= box[q][0] - match && p[1] >= box[q][1] - match && p[0] <= box[q][2] + match &&
           p[1] <= box[q][3] + match;
  };
  // Whether x runs along y: its ends on y's kept part (or at its ends), its middle inside it, both the same way.
  const auto along = [&](const Kept &x, const Kept &y, bool *yes) {
    *yes = false;
    if (!inside(static_cast<int>(&y - ks.data()), x.p[0]) || !inside(static_cast<int>(&y - ks.data()), x.p[1]))
      return true;
    OwnedCurve flat;
    if (!(flat.cv = flat_copy(cl.parts[y.stretch].cv, rc))) return false;
    double mid[6], at[3] = {0, 0, 0}, foot[3], u = 0, gap = 0;
    for (int e = 0; e < 2; ++e) {
      if (flat_gap(x.p[e], y.p[0]) <= match || flat_gap(x.p[e], y.p[1]) <= match) continue;
      at[0] = x.p[e][0], at[1] = x.p[e][1];
      BSmdstptcv(flat.cv, at, &u, foot, &gap, rc);
      if (*rc != 0) return false;
      if (!(gap <= match && u > y.t[0] && u < y.t[1])) return true;
    }
    BScveval_n(cl.parts[x.stretch].cv, 0.5 * (x.t[0] + x.t[1]), 1, mid, rc);
    if (*rc != 0) return false;
    at[0] = mid[0], at[1] = mid[1];
    BSmdstptcv(flat.cv, at, &u, foot, &gap, rc);
    if (*rc != 0) return false;
    if (!(gap <= match && u > y.t[0] && u < y.t[1])) return true;
    double ty[6];
    BScveval_n(cl.parts[y.stretch].cv, u, 1, ty, rc);
    if (*rc != 0) return false;
    *yes = mid[3] * ty[3] + mid[4] * ty[4] > 0;
    return true;
  };
  std::vector<char> twin(static_cast<std::size_t>(nk), 0);
  bool any = false;
  for (int k = 0; k < nk; ++k) {
    const Kept &x = ks[k];
    // A stretch shorter than the match is a junction's own piece, unless a leg's offset cut at both ends within
    // the roundings of bands' edges at a grazing angle: then it is a sliver that they left where two corners that
    // hardly turn lie together, along the stretch that goes on through the junction.
    const double length = flat_gap(x.p[0], x.p[1]);
    const bool cut_sliver = x.cut[0] && x.cut[1] && cl.parts[x.stretch].own >= 0 && length <= sliver;
    if (cl.parts[x.stretch].bridge || !(length > match || cut_sliver)) continue;
    const double lo[2] = {std::min(x.p[0][0], x.p[1][0]), std::min(x.p[0][1], x.p[1][1])};
    const double hi[2] = {std::max(x.p[0][0], x.p[1][0]), std::max(x.p[0][1], x.p[1][1])};
    for (const int q : boxes.near(lo, hi, match)) {
      const Kept &y = ks[q];
      if (q == k || twin[q] || cl.parts[y.stretch].bridge) continue;
      bool covered = false, back = false;
      if (!along(x, y, &covered)) return false;
      if (!covered) continue;
      if (!along(y, x, &back)) return false;
      if (!back || x.stretch < y.stretch) {
        twin[k] = 1, any = true;
        break;
      }
    }
  }
  if (!any) return true;
  std::vector<Kept> left;
  for (int k = 0; k < nk; ++k)
    if (!twin[k]) left.push_back(ks[k]);
  ks.swap(left);
  return true;
}

// Where the stretches a and b, cut at *u on a and *v on b a little apart, meet: Newton steps on a(u) = b(v) in the
// plane from the cuts. Two offsets that meet at a grazing angle stay within the intersector's tolerance of each
// other along a stretch that it reports as an overlap, with no crossing; far from the origin the two cuts, each
// found to the roundings of its own band, then lie apart along it by those roundings over the angle. The crossing
// itself is well posed: a line's offset meets the next in one step. False (nothing changed) where the steps leave
// the stretches' ranges (lo on a, hi on b) or do not close the gap below the roundings of the scale.
bool meet_from_cuts(const VOQbsp_curve *a, const VOQbsp_curve *b, double lo, double hi, double scale, double *u,
                    double *v, int *rc) {
  double s = *u, t = *v;
  const double a1 = end_of(a), b0 = start_of(b);
  for (int it = 0; it < 16; ++it) {
    double pa[6], pb[6];
    BScveval_n(a, s, 1, pa, rc);
    if (*rc == 0) BScveval_n(b, t, 1, pb, rc);
    if (*rc != 0) return false;
    const double fx = pa[0] - pb[0], fy = pa[1] - pb[1];
    if (std::hypot(fx, fy) <= 1e-13 * scale) {
      *u = s, *v = t;
      return true;
    }
    // [a' -b'] (ds, dt) = -(fx, fy)
    const double det = -pa[3] * pb[4] + pa[4] * pb[3];
    if (!(std::fabs(det) > 0)) return false;
    const double ds = (fx * pb[4] - fy * pb[3]) / det, dt = (pa[4] * fx - pa[3] * fy) / det;
    s += ds, t += dt;
    if (!(s > lo && s <= a1 && t >= b0 && t < hi)) return false;
  }
  return false;
}

// Whether the point x where the stretches of two cuts a and b cross lies inside a leg's band (by more than the
// distance tolerance) on whose edge both cuts lie: that band made both, and the edge between them, the only way
// round it, lies on the leg's far side or about its end, where no stretch of the offset side runs.
bool crossing_in_band(const Clearing &cl, const double a[3], const double x[3], const double b[3], bool *inside,
                      int *rc) {
  *inside = false;
  const double tol = BStoltab[bstol::dist_tol];
  double deepest = INFINITY, foot[2];
  int leg = -1;
  for (const int k : cl.leg_boxes.near(x, x, 0.0)) {
    if (!cl.legs[k].off) continue;
    const double g = cl.shapes[k].distance(x, foot, rc) - cl.shapes[k].d;
    if (*rc != 0) return false;
    if (g < deepest) deepest = g, leg = k;
  }
  if (!(deepest < -tol)) return true;
  const Shape &sh = cl.shapes[leg];
  for (const double *p : {a, b}) {
    const double g = sh.distance(p, foot, rc) - sh.d;
    if (*rc != 0) return false;
    if (!(std::fabs(g) <= tol)) return true;
  }
  *inside = true;
  return true;
}

bool clear_offset(const LegChain &c, int room, int *m, VOQbsp_curve **out, int *tags, double *odist, int *rc) {
  *m = 0;
  Clearing cl(c);
  if (!cl.split(rc)) return true;
  const std::vector<Leg> &legs = cl.legs;
  const int nl = static_cast<int>(legs.size());
  std::vector<int> alive;
  bool gives_way = false;
  for (int k = 0; k < nl; ++k) {
    if (legs[k].off) alive.push_back(k);
    gives_way = gives_way || (legs[k].off && legs[k].past);
  }
  const int a = static_cast<int>(alive.size());
  const int corners = a == 0 ? 0 : a - 1 + (c.closed ? 1 : 0);
  std::vector<int> kind(static_cast<std::size_t>(a), 0);
  for (int k = 0; k < corners; ++k) {
    const Leg &lj = legs[alive[k]], &li = legs[alive[(k + 1) % a]];
    if (!corner_kind(lj.cv, li.cv, c.normal, c.side, &kind[k], rc)) return true;
    if (c.kinds && lj.cv == c.cv[lj.parent] && li.cv == c.cv[li.parent])
      c.kinds->push_back({lj.parent, li.parent, kind[k]});
  }

  // A leg gives way where the offsets about a corner towards the offset side do not cross, or where a leg's
  // offset is cut at its two ends in reverse order.
  if (!gives_way && a > 0) {
    std::vector<Track> track(static_cast<std::size_t>(a));
    std::vector<std::array<double, 3>> from(static_cast<std::size_t>(a)), to(static_cast<std::size_t>(a));
    for (int k = 0; k < a; ++k) {
      if (!track[k].make(legs[alive[k]].off, rc)) return true;
      const double(&e)[2][2] = track[k].ends;
      from[k] = {0.0, e[0][0], e[0][1]}, to[k] = {1.0, e[1][0], e[1][1]};
    }
    for (int k = 0; k < corners && !gives_way; ++k) {
      if (kind[k] != 2) continue;
      const int kn = (k + 1) % a;
      double fa = 0, fb = 0, pt[2];
      gives_way = !corner_crossing(track[k], track[kn], &fa, &fb, pt, rc);
      if (*rc != 0) return true;
      if (fa < to[k][0]) to[k] = {fa, pt[0], pt[1]};
      if (fb > from[kn][0]) from[kn] = {fb, pt[0], pt[1]};
    }
    for (int k = 0; k < a && !gives_way; ++k)
      gives_way = to[k][0] < from[k][0] &&
                  std::hypot(to[k][1] - from[k][1], to[k][2] - from[k][2]) > BStoltab[bstol::dist_tol];
  }
  if (!gives_way && !c.tucked) return false;
  if (a == 0) {
    *rc = BSRC_NO_JOIN;
    return true;
  }

  cl.shapes.reset(new Shape[static_cast<std::size_t>(nl)]);
  double dmin = INFINITY, dmax = 0, extent = 0;
  for (int k = 0; k < nl; ++k) {
    if (!cl.shapes[k].make(legs[k].cv, legs[k].dist, rc)) return true;
    dmin = std::min(dmin, legs[k].dist), dmax = std::max(dmax, legs[k].dist);
    for (int e = 0; e < 2; ++e)
      extent = std::max({extent, std::fabs(cl.shapes[k].lo[e]), std::fabs(cl.shapes[k].hi[e])});
  }
  for (int k = 0; k < nl; ++k) {
    const Shape &sh = cl.shapes[k];
    const double none[2] = {INFINITY, INFINITY}, nowhere[2] = {-INFINITY, -INFINITY};
    cl.leg_boxes.add(legs[k].off ? sh.lo : none, legs[k].off ? sh.hi : nowhere, sh.d);
  }
  cl.leg_boxes.build();
  cl.scale = extent + dmax;
  // What a piece may graze a band by: the rounding of the offsets' points, some ulps of the farthest coordinate.
  cl.margin = 2e-14 * cl.scale;

  // The legs' pieces with their corners: a corner away from the offset side joined as the corner joins join it (a
  // polyline's own corners as its offset makes them), one towards it left open: the clearing cuts its pieces
  // where they cross. An arc offset past its centre turns the corners at its ends like any piece, round.
  std::vector<OwnedCurve> piece(static_cast<std::size_t>(a)), join(static_cast<std::size_t>(a));
  std::vector<int> join_tag(static_cast<std::size_t>(a), 0);
  std::vector<double> join_dist(static_cast<std::size_t>(a), 0.0);
  std::vector<char> chord(static_cast<std::size_t>(a), 0);
  cl.fills.resize(static_cast<std::size_t>(a));
  for (int k = 0; k < a; ++k)
    if (!(piece[k].cv = copy_of(legs[alive[k]].off, 0, false, rc))) return true;
  const double jtol = BStoltab[bstol::dist_tol];
  for (int k = 0; k < corners; ++k) {
    const int kn = (k + 1) % a;
    const Leg &lj = legs[alive[k]], &li = legs[alive[kn]];
    const bool inner = lj.parent == li.parent && alive[kn] == alive[k] + 1;
    if (kind[k] == 2) continue;
    double E[3], S[3];
    pole_point(piece[k].cv, piece[k].cv->num_poles - 1, E);
    pole_point(piece[kn].cv, 0, S);
    const double dmax2 = std::max(lj.dist, li.dist);
    const std::int16_t mode = lj.past || li.past ? 1 : inner ? (c.option == 1 ? 1 : 0) : c.option;
    // The ends about a corner that does not turn, or whose legs run on side by side, joined straight where the
    // legs run the same way (for a corner that does not turn, only ends apart). Where they run back along each other
    // (the tip of a spike) a straight join would cross the corner itself: as the corner joins end a reversal, the
    // tip is squared off a distance beyond the corner (sharp corners) or rounded about it, and that is its fill.
    const auto straight_or_tip = [&](bool apart_only) {
      double V[3], T1[3], P[3], T2[3];
      if (!flat_end(lj.cv, true, V, T1, rc) || !flat_end(li.cv, false, P, T2, rc)) return false;
      if (mode == 2 || !(T1[0] * T2[0] + T1[1] * T2[1] < 0)) {
        if (apart_only && !(flat_gap(E, S) > jtol)) return true;
        join_tag[k] = BSJOIN_SEGMENT, join_dist[k] = dmax2;
        return (join[k].cv = segment(E, S, rc)) != nullptr;
      }
      if (!BSnorvec(rc, T1)) return false;
      if (mode == 0) {
        const double G[3] = {E[0] + dmax2 * T1[0], E[1] + dmax2 * T1[1], E[2]};
        const double H[3] = {S[0] + dmax2 * T1[0], S[1] + dmax2 * T1[1], S[2]};
        BSallocvoqcv(2, 4, BSFALSE, 0, &join[k].cv, rc);
        if (*rc != 0) return false;
        VOQbsp_curve *sq = join[k].cv;
        sq->order = 2, sq->num_poles = 4, sq->num_knots = 6, sq->rational = BSFALSE, sq->periodic = 0;
        sq->non_uniform = 1, sq->planar = BSTRUE, sq->phy_closed = BSFALSE, sq->num_boundaries = 0;
        const double knots[6] = {0, 0, 1.0 / 3, 2.0 / 3, 1, 1};
        const double *corners[4] = {E, G, H, S};
        for (int q = 0; q < 6; ++q) sq->knots[q] = knots[q];
        for (int q = 0; q < 4; ++q)
          for (int e = 0; e < 3; ++e) sq->poles[3 * q + e] = corners[q][e];
        join_tag[k] = BSJOIN_POLYLINE, join_dist[k] = dmax2;
        cl.fills[k].add(V);
        for (const double *q : corners) cl.fills[k].add(q);
        return true;
      }
      const double M[3] = {V[0] + dmax2 * T1[0], V[1] + dmax2 * T1[1], E[2]};
      BSallocvoqcv(3, 7, BSTRUE, 0, &join[k].cv, rc);
      if (*rc == 0) BSarc3pts(rc, E, M, S, join[k].cv);
      if (*rc != 0) return false;
      join_tag[k] = BSJOIN_ARC, join_dist[k] = dmax2;
      cl.fills[k].add(V);
      return trace(join[k].cv, nullptr, true, &cl.fills[k], rc);
    };
    if (kind[k] == 1) {
      if (!straight_or_tip(true)) return true;
      continue;
    }
    int indices[4] = {0, 0, 0, 0};
    double dists[4] = {0, 0, 0, 0};
    VOQbsp_curve *r[3] = {nullptr, nullptr, nullptr};
    const auto corner_join = [&](std::int16_t mode) {
      std::int16_t pending = 0;
      double point[3] = {0, 0, 0};
      int count = 0;
      BScmpextoff(lj.cv, li.cv, piece[k].cv, piece[kn].cv, mode, lj.dist, li.dist, c.normal, c.side,
                  c.num[li.parent], &pending, point, &count, indices, dists, &r[0], &r[1], &r[2], rc);
    };
    const auto drop = [&] {
      for (VOQbsp_curve *&x : r) release(x);
    };
    corner_join(mode);
    // A connecting line is cleared as the corner curve it cuts across, so that what it keeps ends at the distance.
    if (*rc == 0 && mode == 2 && r[2] && indices[0] == BSJOIN_SEGMENT) {
      drop();
      corner_join(1);
      chord[k] = 1;
    }
    if (*rc == BSRC_NO_JOIN) {
      // The end tangents of a sharp join run side by side: the ends are joined straight, or round a spike's tip.
      *rc = 0;
      if (!straight_or_tip(false)) return true;
      continue;
    }
    if (*rc != 0) {
      drop();
      return true;
    }
    OwnedCurve made[3];
    for (int q = 0; q < 3; ++q) made[q].cv = r[q];
    const auto take = [](OwnedCurve &into, OwnedCurve &from) {
      if (!from.cv) return;
      into.release();
      into.cv = from.cv, from.cv = nullptr;
    };
    take(piece[k], made[0]);
    if (made[2].cv) {
      take(join[k], made[1]);
      join_tag[k] = indices[0], join_dist[k] = dists[0];
      take(piece[kn], made[2]);
    } else {
      take(piece[kn], made[1]);
      // Put back on both lines wherever it strays by more than a stretch may graze a band: a junction left
      // farther off tilts the piece into its neighbour's band beside a corner that hardly turns (far from the
      // origin the overlap's middle lies many margins off), and the cuts there part the offset.
      on_both_lines(lj.off, li.off, piece[k].cv, piece[kn].cv, cl.margin);
    }
    // The fill: from the corner to the first piece's former end, along the join, back from the second piece's
    // former start.
    double V[3];
    BScveval_n(lj.cv, end_of(lj.cv), 0, V, rc);
    if (*rc != 0) return true;
    Fill &fill = cl.fills[k];
    fill.add(V), fill.add(E);
    if (!trace(piece[k].cv, E, true, &fill, rc) || (join[k].cv && !trace(join[k].cv, nullptr, true, &fill, rc)) ||
        !trace(piece[kn].cv, S, false, &fill, rc))
      return true;
    fill.add(S);
  }
  for (const Fill &fill : cl.fills) cl.fill_boxes.add(fill.lo, fill.hi, 0.0);
  cl.fill_boxes.build();
  // The stretches in chain order, each piece followed by its corner's join.
  for (int k = 0; k < a; ++k) {
    const int i = alive[k];
    const bool has_prev = k > 0 || c.closed, has_next = k + 1 < a || c.closed;
    const int prev = alive[(k + a - 1) % a], next = alive[(k + 1) % a];
    Stretch s;
    s.cv = piece[k].cv, piece[k].cv = nullptr;
    s.tag = c.num[legs[i].parent], s.dist = legs[i].dist, s.own = i, s.parent = legs[i].parent, s.never = legs[i].past;
    s.corner[0] = has_prev ? (k + a - 1) % a : -1, s.corner[1] = has_next ? k : -1;
    if (has_prev) s.near[0] = prev, s.near_end[0] = 1;
    if (has_next) s.near[1] = next, s.near_end[1] = 0;
    cl.parts.push_back(s);
    if (join[k].cv) {
      const bool inner = legs[next].parent == legs[i].parent && next == i + 1;
      Stretch t;
      t.cv = join[k].cv, join[k].cv = nullptr;
      t.tag = chord[k] ? BSJOIN_SEGMENT : inner ? c.num[legs[i].parent] : join_tag[k];
      t.dist = join_dist[k], t.parent = inner ? legs[i].parent : -1, t.chord = chord[k] != 0;
      t.near[0] = i, t.near_end[0] = 1, t.near[1] = next, t.near_end[1] = 0;
      t.corner[0] = t.corner[1] = k;
      cl.parts.push_back(t);
    }
  }

  // An open chain's ends are capped: an offset that passes round an end within the distance of it follows the
  // cap there from where it is cut to where it comes clear again.
  const int np = static_cast<int>(cl.parts.size());
  for (int e = 0; e < 2 && !c.closed; ++e) {
    const int at = e ? alive.back() : alive.front();
    const Leg &leg = legs[at];
    double W[6], T[3];
    BScveval_n(leg.cv, e ? end_of(leg.cv) : start_of(leg.cv), 1, W, rc);
    if (*rc != 0) return true;
    for (int k = 0; k < 3; ++k) T[k] = W[3 + k];
    T[2] = 0.0;
    if (!BSnorvec(rc, T)) {
      *rc = 0;  // an end of no direction has no cap
      continue;
    }
    // side (T x normal): the offset side; the cap runs from the back side round the start to the offset side, or
    // from the offset side round the end to the back side.
    const double n[2] = {c.side * T[1] * c.normal[2], -c.side * T[0] * c.normal[2]};
    const double sgn = e ? 1.0 : -1.0;
    const double P0[3] = {W[0] + sgn * leg.dist * n[0], W[1] + sgn * leg.dist * n[1], W[2]};
    const double P1[3] = {W[0] - sgn * leg.dist * n[0], W[1] - sgn * leg.dist * n[1], W[2]};
    const double M[3] = {W[0] + sgn * leg.dist * T[0], W[1] + sgn * leg.dist * T[1], W[2]};
    Stretch cap;
    BSallocvoqcv(3, 7, BSTRUE, 0, &cap.cv, rc);
    if (*rc == 0) BSarc3pts(rc, P0, M, P1, cap.cv);
    if (*rc != 0) {
      release(cap.cv);
      return true;
    }
    cap.tag = BSJOIN_ARC, cap.dist = leg.dist, cap.bridge = true;
    cap.near[0] = at, cap.near_end[0] = e;
    cl.parts.push_back(cap);
  }

  // What each stretch keeps.
  std::vector<Kept> kept;
  // Stretches along the chain lie near each other: what lies near them is looked up for sixteen at a time.
  const int all = static_cast<int>(cl.parts.size());
  for (int first = 0; first < all && *rc == 0; first += 16) {
    const int last = std::min(all, first + 16);
    const Clearing::Around around = cl.around(first, last);
    for (int i = first; i < last && *rc == 0; ++i) cl.keep(i, around, &kept, rc);
  }
  if (*rc != 0) return true;
  if (kept.empty()) {
    *rc = BSRC_NO_JOIN;
    return true;
  }
  // Each kept stretch goes on where the next one starts: after its stretch's own end, the next stretch's start;
  // after a cut, the start of a stretch cut there too, the later one where there are two (the loop between is
  // cleared). Ends of a corner that hardly turns towards the offset side lie within the match of each other, and
  // offsets of curves other than lines and arcs stray from the true offset by up to the offset tolerance, and so
  // may the ends at a crossing they make; the crossing itself is then found below.
  const double match = std::max({2 * std::sqrt(2 * cl.margin * dmax), 1e-12 * cl.scale,
                                 std::min(2 * BStoltab[bstol::offset_tol], 0.1 * dmin)});
  // Where two offsets meet at a grazing angle far from the origin, one stays within the margin of the other's band
  // for the margin over the angle, and the roundings of its clearance may cut it in and out of that band there: a
  // dip no deeper than the roundings, which splits the stretch into two kept stretches whose cuts lie within the
  // match of each other, one of them then past the crossing with the next stretch. No point of such a dip comes
  // nearer to a band than the offset's own roundings; the stretch is kept across it.
  const double shallow = -std::max(2 * cl.margin, 0.1 * BStoltab[bstol::dist_tol]);
  // Whether the stretch `at` keeps clear of every band by `shallow` at 9 points from u0 to u1 on the curve cv.
  const auto stays_clear = [&](int at, const VOQbsp_curve *cv, double u0, double u1, bool *clear) {
    const Clearing::Around around = cl.around(at, at + 1);
    const Clearing::Near near = cl.near_of(cl.parts[at], around);
    *clear = true;
    for (int i = 0; i <= 8 && *clear; ++i) {
      double p[3];
      BScveval_n(cv, u0 + (u1 - u0) * i / 8, 0, p, rc);
      if (*rc != 0) return false;
      *clear = cl.clearance(near, p, rc) >= shallow;
      if (*rc != 0) return false;
    }
    return true;
  };
  {
    std::size_t w = 0;
    for (std::size_t k = 0; k < kept.size(); ++k) {
      if (w > 0) {
        Kept &x = kept[w - 1];
        const Kept &y = kept[k];
        bool dip = y.stretch == x.stretch && x.cut[1] && y.cut[0] && y.t[0] >= x.t[1] &&
                   flat_gap(x.p[1], y.p[0]) <= match;
        if (dip && !stays_clear(x.stretch, cl.parts[x.stretch].cv, x.t[1], y.t[0], &dip)) return true;
        if (dip) {
          x.t[1] = y.t[1], x.cut[1] = y.cut[1];
          for (int e = 0; e < 3; ++e) x.p[1][e] = y.p[1][e];
          continue;
        }
      }
      kept[w++] = kept[k];
    }
    kept.resize(w);
  }
  // Two offsets that lie on one line or circle both keep their common stretch where the legs between them vanish
  // (a notch or a bump as deep as its neighbours' steps): the loop between them has no width. Followed twice, one
  // copy leads off from the other's cut and the offset breaks there; a kept stretch that runs along another gives
  // way to it (the earlier of two that run along each other, as where one starts on the other).
  if (!drop_twins(cl, match, 2 * std::sqrt(2 * cl.margin * dmax), &kept, rc)) return true;
  const int nk = static_cast<int>(kept.size());
  // A cap is only followed from a cut to a cut: it never leads off the offset's own ends.
  const auto capped = [&](const Kept &x, int e) { return cl.parts[x.stretch].bridge && !x.cut[e]; };
  // The kept stretches' starts by cells of twice the match: a start within the match of a point lies in the
  // point's cell or one beside it, whatever the rounding of its cell.
  const CellIndex starts(kept, 2 * match);
  std::vector<int> found;
  for (int k = 0; k < nk; ++k) {
    Kept &x = kept[k];
    int best = -1;
    double gap = INFINITY;
    if (capped(x, 1)) continue;
    starts.near(x.p[1], &found);
    for (const int q : found) {
      const Kept &y = kept[q];
      if (q == k || y.has_prev || capped(y, 0)) continue;
      const double g = flat_gap(x.p[1], y.p[0]);
      if (!(g <= match)) continue;
      if (!x.cut[1] && !y.cut[0] && x.stretch < np && y.stretch == (x.stretch + 1) % np &&
          (c.closed || y.stretch > x.stretch)) {
        best = q;
        break;
      }
      if (g < gap - 1e-12 * cl.scale || (g <= gap + 1e-12 * cl.scale && y.stretch > kept[best].stretch))
        best = q, gap = g;
    }
    if (best >= 0) x.next = best, kept[best].has_prev = true;
  }
  // Offsets that run on along one line (or circle) both keep their common stretch, each at the distance; the
  // earlier one gives way where the later one starts on it, and goes on along it. Only the kept stretches whose
  // stretches' boxes come within the match of the start are asked.
  BoxTree stretch_boxes;
  for (const Kept &x : kept) {
    double lo[2], hi[2];
    pole_box(cl.parts[x.stretch].cv, lo, hi);
    stretch_boxes.add(lo, hi, 0.0);
  }
  stretch_boxes.build();
  for (int q = 0; q < nk; ++q) {
    Kept &y = kept[q];
    if (y.has_prev) continue;
    found = stretch_boxes.near(y.p[0], y.p[0], 2 * match);
    std::sort(found.begin(), found.end());
    for (const int k : found) {
      Kept &x = kept[k];
      if (k == q || x.next >= 0) continue;
      const VOQbsp_curve *xc = cl.parts[x.stretch].cv;
      OwnedCurve flat;
      if (!(flat.cv = flat_copy(xc, rc))) return true;
      const double at[3] = {y.p[0][0], y.p[0][1], 0.0};
      double u = 0, foot[3], gap = 0;
      BSmdstptcv(flat.cv, at, &u, foot, &gap, rc);
      if (*rc != 0) return true;
      if (!(gap <= match && u > x.t[0] && u < x.t[1])) continue;
      double tx[6], ty[6];
      BScveval_n(xc, u, 1, tx, rc);
      if (*rc == 0) BScveval_n(cl.parts[y.stretch].cv, y.t[0], 1, ty, rc);
      if (*rc != 0) return true;
      const double along = tx[3] * ty[3] + tx[4] * ty[4], across = tx[3] * ty[4] - tx[4] * ty[3];
      if (!(along > 0 && std::fabs(across) <= 1e-9 * along)) continue;
      x.t[1] = u, x.cut[1] = true, x.next = q, y.has_prev = true;
      for (int e = 0; e < 3; ++e) x.p[1][e] = y.p[0][e];
      break;
    }
  }
  // Where a cut meets a cut on another stretch apart from it, both are put on the crossing of the two. Of a chain of
  // lines and arcs, whose offsets are exact, two cuts that one leg's band made where the two stretches cross inside
  // it are not joined: the offset falls apart there. Nor are two such cuts farther apart than the distance tolerance
  // where their stretches do not cross between them: joined, the gap would be closed by moving a piece's end pole,
  // which bends an arc's offset, or tilts a line's, into the band beside it.
  bool exact = true;
  for (int k = 0; k < nl; ++k)
    exact = exact && (cl.shapes[k].kind == Piece::kLines || cl.shapes[k].kind == Piece::kArc);
  // Where the stretch of y is a line's offset whose start a corner that hardly turns cut off past the crossing with
  // x (the roundings of the corner's two bands put their cut anywhere along the margin over the turn), y's line
  // runs on back to where x crosses it: *met where it does, within the match, and what x or the line gains comes no
  // nearer to a band than the roundings; then *u on x and the point pt. The piece of y then starts there, its end
  // pole moved along its own line.
  const auto onto_line = [&](const Kept &x, const Kept &y, double lo, bool *met, double *u, double pt[3]) {
    *met = false;
    const VOQbsp_curve *xc = cl.parts[x.stretch].cv, *yc = cl.parts[y.stretch].cv;
    if (yc->order != 2 || yc->num_poles != 2 || yc->rational || cl.parts[y.stretch].chord) return true;
    double a[3], b[3];
    pole_point(yc, 0, a), pole_point(yc, 1, b);
    const double len = flat_gap(a, b);
    if (!(len > 0)) return true;
    const double dir[2] = {(b[0] - a[0]) / len, (b[1] - a[1]) / len};
    double s = x.t[1], e[6];
    for (int it = 0;; ++it) {
      BScveval_n(xc, s, 1, e, rc);
      if (*rc != 0) return false;
      const double f = dir[0] * (e[1] - y.p[0][1]) - dir[1] * (e[0] - y.p[0][0]);
      if (std::fabs(f) <= 1e-13 * cl.scale) break;
      const double fp = dir[0] * e[4] - dir[1] * e[3];
      if (it == 16 || !(std::fabs(fp) > 0)) return true;
      s -= f / fp;
      if (!(s > lo && s <= end_of(xc))) return true;
    }
    for (int c = 0; c < 3; ++c) pt[c] = e[c];
    const double back = (pt[0] - y.p[0][0]) * dir[0] + (pt[1] - y.p[0][1]) * dir[1];
    if (!(back <= 0 && flat_gap(pt, y.p[0]) <= match)) return true;
    bool clear = true;
    if (s > x.t[1] && !stays_clear(x.stretch, xc, x.t[1], s, &clear)) return false;
    if (!clear) return true;
    // The line's run back: the segment from pt to y's start.
    OwnedCurve run;
    if (!(run.cv = segment(pt, y.p[0], rc))) return false;
    if (!stays_clear(y.stretch, run.cv, start_of(run.cv), end_of(run.cv), &clear)) return false;
    *met = clear, *u = s;
    return true;
  };
  for (int k = 0; k < nk; ++k) {
    Kept &x = kept[k];
    if (x.next < 0 || !x.cut[1]) continue;
    Kept &y = kept[x.next];
    if (flat_gap(x.p[1], y.p[0]) <= 1e-12 * cl.scale) continue;
    OwnedCurve fa, fb;
    if (!(fa.cv = flat_copy(cl.parts[x.stretch].cv, rc)) || !(fb.cv = flat_copy(cl.parts[y.stretch].cv, rc)))
      return true;
    Crossings xs;
    xs.find(fa.cv, fb.cv, rc);
    if (*rc != 0) return true;
    const double mid[3] = {0.5 * (x.p[1][0] + y.p[0][0]), 0.5 * (x.p[1][1] + y.p[0][1]), 0.0};
    // The crossing leaves each of the two a stretch that can be cut out of its piece.
    double kx = 0, ky = 0;
    knot_tolerance(fa.cv, &kx, rc);
    if (*rc == 0) knot_tolerance(fb.cv, &ky, rc);
    if (*rc != 0) return true;
    int best = -1;
    double gap = match;
    for (int q = 0; q < xs.n_int; ++q) {
      const double g = flat_gap(xs.pts + 3 * q, mid);
      if (g <= gap && xs.par1[q] - x.t[0] > kx && y.t[1] - xs.par2[q] > ky) best = q, gap = g;
    }
    double u = 0, v = 0, pt[3];
    if (best >= 0) {
      u = xs.par1[best], v = xs.par2[best];
      for (int e = 0; e < 3; ++e) pt[e] = xs.pts[3 * best + e];
    } else {
      // No crossing where they part at a grazing angle: it is met from the two cuts.
      u = x.t[1], v = y.t[0];
      if (!meet_from_cuts(fa.cv, fb.cv, x.t[0] + kx, y.t[1] - ky, cl.scale, &u, &v, rc)) {
        if (*rc != 0) return true;
        bool onto = false;
        if (!onto_line(x, y, x.t[0] + kx, &onto, &u, pt)) return true;
        if (onto) {
          x.t[1] = u;
          for (int e = 0; e < 3; ++e) x.p[1][e] = y.p[0][e] = pt[e];
          continue;
        }
        if (exact && flat_gap(x.p[1], y.p[0]) > BStoltab[bstol::dist_tol]) x.next = -1, y.has_prev = false;
        continue;
      }
      BScveval_n(fa.cv, u, 0, pt, rc);
      if (*rc != 0) return true;
      if (!(flat_gap(pt, mid) <= match)) {
        if (exact && flat_gap(x.p[1], y.p[0]) > BStoltab[bstol::dist_tol]) x.next = -1, y.has_prev = false;
        continue;
      }
    }
    bool apart = false;
    if (exact && !crossing_in_band(cl, x.p[1], pt, y.p[0], &apart, rc)) return true;
    if (apart) {
      x.next = -1, y.has_prev = false;
      continue;
    }
    x.t[1] = u, y.t[0] = v;
    BScveval_n(cl.parts[x.stretch].cv, x.t[1], 0, x.p[1], rc);
    if (*rc == 0) BScveval_n(cl.parts[y.stretch].cv, y.t[0], 0, y.p[0], rc);
    if (*rc != 0) return true;
  }

  // Runs followed from each kept stretch with nothing before it (any, on a closed chain), a cap left out where a
  // run would begin or end on it. A run comes from the chain's start where it begins with the first leg's offset
  // (cut there too, where a leg the chain crosses back over swallows its start) or round the start's cap (the start
  // swallowed), and goes to its end likewise.
  std::vector<std::vector<int>> runs;
  std::vector<char> at_end;
  const auto on_cap = [&](const Kept &x, int e) {
    return cl.parts[x.stretch].bridge && cl.parts[x.stretch].near_end[0] == e;
  };
  // A cut end of the first or last leg's offset starts the chain's own run only where it lies at the distance from
  // that leg: a piece of a corner's extension past the leg's end that keeps clear beyond another leg lies apart,
  // its way back to its leg crossing the chain.
  const auto cut_on_leg = [&](const Kept &x, int e, bool *on) {
    const Stretch &s = cl.parts[x.stretch];
    double foot[2];
    const double g = cl.shapes[s.own].distance(x.p[e], foot, rc);
    *on = g <= legs[s.own].dist + match;
    return *rc == 0;
  };
  bool lines_only = true;
  for (int k = 0; k < nl; ++k) lines_only = lines_only && cl.shapes[k].kind == Piece::kLines;
  // Whether a kept stretch runs along its leg's own offset for more than the match, not only along a corner's
  // extension of it.
  const auto on_own_offset = [&](const Kept &x, bool *own) {
    *own = false;
    const Stretch &st = cl.parts[x.stretch];
    if (st.own < 0 || st.bridge) return true;
    const VOQbsp_curve *off = legs[st.own].off;
    OwnedCurve flat;
    if (!(flat.cv = flat_copy(st.cv, rc))) return false;
    double u[2];
    for (int e = 0; e < 2; ++e) {
      double p[3], foot[3], gap = 0;
      BScveval_n(off, e ? end_of(off) : start_of(off), 0, p, rc);
      if (*rc != 0) return false;
      p[2] = 0.0;
      BSmdstptcv(flat.cv, p, &u[e], foot, &gap, rc);
      if (*rc != 0) return false;
    }
    const double lo = std::max(x.t[0], std::min(u[0], u[1])), hi = std::min(x.t[1], std::max(u[0], u[1]));
    if (!(hi > lo)) return true;
    double a[3], b[3];
    BScveval_n(st.cv, lo, 0, a, rc);
    if (*rc == 0) BScveval_n(st.cv, hi, 0, b, rc);
    if (*rc != 0) return false;
    *own = flat_gap(a, b) > match;
    return true;
  };
  // Whether a point of a kept stretch lies behind a leg of lines: beyond its band, and nearer by more than the match
  // to a point inside the leg on the side away from the offset than to any other leg. Such a point lies on no
  // offset of the chain to that side; its way round to the leg whose offset it follows crosses the chain. (A cut
  // where the back edge of a band walls a stretch in lies on that edge.)
  const auto behind_a_leg = [&](const Kept &x, bool *behind) {
    *behind = false;
    const Stretch &st = cl.parts[x.stretch];
    const int mine = st.own >= 0 ? st.own : st.near[0] >= 0 ? st.near[0] : st.near[1];
    if (mine < 0) return true;
    for (int i = 0; i <= 32 && !*behind; ++i) {
      double p[3], foot[2];
      BScveval_n(st.cv, x.t[0] + (x.t[1] - x.t[0]) * i / 32, 0, p, rc);
      if (*rc != 0) return false;
      // Every leg nearer than the stretch's own (or a neighbour's where it has none) is asked.
      const double bound = cl.shapes[mine].distance(p, foot, rc) + match;
      if (*rc != 0) return false;
      double back = INFINITY, other = INFINITY;
      for (const int k : cl.leg_boxes.near(p, p, bound - dmin)) {
        const Shape &sh = cl.shapes[k];
        const double g = sh.distance(p, foot, rc);
        if (*rc != 0) return false;
        const double *a = sh.ends[0], *b = sh.ends[1], tx = b[0] - a[0], ty = b[1] - a[1];
        const double n[2] = {c.side * ty * c.normal[2], -c.side * tx * c.normal[2]};
        const bool inside = !(foot[0] == a[0] && foot[1] == a[1]) && !(foot[0] == b[0] && foot[1] == b[1]);
        const bool away = (p[0] - foot[0]) * n[0] + (p[1] - foot[1]) * n[1] < 0;
        if (inside && away && g > sh.d + match) back = std::min(back, g);
        else other = std::min(other, g);
      }
      *behind = back < std::min(other, bound) - match;
    }
    return true;
  };
  for (int pass = 0; pass < 2; ++pass)
    for (int k = 0; k < nk; ++k) {
      if (kept[k].used || (pass == 0 && kept[k].has_prev)) continue;
      std::vector<int> run;
      for (int q = k; q >= 0 && !kept[q].used; q = kept[q].next) kept[q].used = true, run.push_back(q);
      const Kept &first = kept[run.front()], &last = kept[run.back()];
      bool from_cut = false, to_cut = false;
      if (!c.closed && first.stretch == 0 && first.cut[0] && !cut_on_leg(first, 0, &from_cut)) return true;
      if (!c.closed && last.stretch == np - 1 && last.cut[1] && !cut_on_leg(last, 1, &to_cut)) return true;
      const bool ends = on_cap(first, 0) || (first.stretch == 0 && (!first.cut[0] || from_cut)) || on_cap(last, 1) ||
                        (last.stretch == np - 1 && (!last.cut[1] || to_cut));
      while (!run.empty() && cl.parts[kept[run.back()].stretch].bridge) run.pop_back();
      std::size_t lead = 0;
      while (lead < run.size() && cl.parts[kept[run[lead]].stretch].bridge) ++lead;
      run.erase(run.begin(), run.begin() + static_cast<std::ptrdiff_t>(lead));
      // An offset of lines, mitred or round, keeps a stretch of a leg's own offset line that other legs cut off at
      // both ends, as the corner road (whose chains turning back past a half turn come here) keeps every leg's line
      // where it has room; what runs along corners' extensions alone is a mitre's tip beyond the chain, and goes.
      // Straight corners extend a leg's offset towards the connecting line past the leg's end, and a run apart that
      // follows such an extension round beyond another leg is no part of the offset: with them a run apart is kept
      // only where no point of it lies behind a leg.
      bool own = false;
      if (!c.closed && !ends && lines_only)
        for (std::size_t q = 0; q < run.size() && !own; ++q)
          if (!on_own_offset(kept[run[q]], &own)) return true;
      for (std::size_t q = 0; q < run.size() && own && c.option == 2; ++q) {
        bool behind = false;
        if (!behind_a_leg(kept[run[q]], &behind)) return true;
        own = !behind;
      }
      if (!run.empty()) runs.push_back(run), at_end.push_back(ends || own);
    }
  // An open chain's offset is what runs from the offset of its start or to that of its end, and a mitred or round
  // one of lines also what runs along a leg's own offset between the bands of others; what else keeps clear lies
  // apart from it, about a chain that crosses itself.
  if (!c.closed) {
    std::vector<std::vector<int>> ends;
    for (std::size_t q = 0; q < runs.size(); ++q)
      if (at_end[q]) ends.push_back(runs[q]);
    if (!ends.empty()) runs.swap(ends);
  }
  std::vector<int> order;
  for (const std::vector<int> &run : runs) order.insert(order.end(), run.begin(), run.end());
  if (order.empty()) {
    *rc = BSRC_NO_JOIN;
    return true;
  }
  // A closed chain's offset that does not close on itself starts after its first joint, so that the break lies
  // between two of its pieces, where it is seen; a single kept stretch that does not close is handed back as its
  // second half before its first.
  if (c.closed && order.size() == 1 && kept[order[0]].next != order[0]) {
    Kept half = kept[order[0]];
    const double mid = 0.5 * (half.t[0] + half.t[1]);
    half.t[1] = mid, half.cut[1] = false;
    BScveval_n(cl.parts[half.stretch].cv, mid, 0, half.p[1], rc);
    if (*rc != 0) return true;
    Kept &rest = kept[order[0]];
    rest.t[0] = mid, rest.cut[0] = false, rest.next = -1;
    for (int e = 0; e < 3; ++e) rest.p[0][e] = half.p[1][e];
    half.next = order[0];
    order.push_back(static_cast<int>(kept.size()));
    kept.push_back(half);
  } else if (c.closed && order.size() > 1 && kept[order.back()].next != order.front()) {
    std::rotate(order.begin(), order.begin() + 1, order.end());
  }
  // The pieces: a stretch that follows another starts exactly where that one ends, and the stretches of one
  // component's offset that follow each other (a polyline's legs and their corners) are one piece again.
  const auto follows = [&](std::size_t q) { return q > 0 && kept[order[q - 1]].next == order[q]; };
  const auto owner = [&](std::size_t q) { return cl.parts[kept[order[q]].stretch].parent; };
  // More pieces than the caller has room for (a folded chain whose offset passes its legs twice, or runs round both
  // ends of an open chain where they lie together): the pieces no component owns that follow each other, such as
  // the two caps, are joined into one, and then such a piece into the one it follows, as a polyline's corners are
  // into its legs' piece, as far as that makes them fit.
  std::vector<char> onto_last(order.size(), 0);
  int count = 0;
  for (std::size_t q = 0; q < order.size(); ++q) count += !(follows(q) && owner(q) >= 0 && owner(q - 1) == owner(q));
  for (std::size_t q = 1; q < order.size() && count > room; ++q)
    if (follows(q) && owner(q) < 0 && owner(q - 1) < 0) onto_last[q] = 1, --count;
  for (std::size_t q = 1; q < order.size() && count > room; ++q)
    if (follows(q) && owner(q) < 0 && !onto_last[q]) onto_last[q] = 1, --count;
  // A kept stretch whose two ends lie within their parameters' tolerances of each other (where the crossings that
  // cut it fall together on a tiny chain) is one point: it is passed over, and what follows it follows the last
  // stretch made, where that one ends.
  std::size_t last_made = 0;
  bool open_end = false;  // the last piece made ends where the stretch before the current one ends
  // The parts that go on the last piece handed out, joined onto it all at once when the next piece begins.
  struct Tail {
    std::vector<VOQbsp_curve *> parts;
    ~Tail() {
      for (VOQbsp_curve *&p : parts) release(p);
    }
  } tail;
  const auto flush = [&] {
    if (tail.parts.empty() || *rc != 0) return *rc == 0;
    tail.parts.insert(tail.parts.begin(), out[*m - 1]);
    out[*m - 1] = join_all(&tail.parts, rc);
    if (!out[*m - 1]) --*m;
    return *rc == 0;
  };
  for (std::size_t q = 0; q < order.size(); ++q) {
    const Kept &x = kept[order[q]];
    const Stretch &s = cl.parts[x.stretch];
    const bool linked = follows(q) && open_end;
    OwnedCurve made;
    bool point = false;
    made.cv = s.chord ? segment(x.p[0], x.p[1], rc) : part_curve(s.cv, x.t[0], x.t[1], &point, rc);
    if (point) {
      open_end = linked;
      continue;
    }
    if (!made.cv) return true;
    open_end = true;
    const std::size_t before = last_made;
    last_made = q;
    if (linked) {
      const VOQbsp_curve *prev = tail.parts.empty() ? out[*m - 1] : tail.parts.back();
      double e[3], s0[3];
      pole_point(prev, prev->num_poles - 1, e);
      pole_point(made.cv, 0, s0);
      if (flat_gap(e, s0) <= match) set_pole(made.cv, 0, e);
      // A part that does not start where the piece ends (farther than a join bridges) begins a piece of its own,
      // as the same legs given apart would: the offset falls apart there.
      pole_point(made.cv, 0, s0);
      double w[3] = {0, 0, 0};
      for (int c = 0; c < 3; ++c) w[c] = e[c] - s0[c];
      const bool meets = w[0] * w[0] + w[1] * w[1] + w[2] * w[2] <= 100 * BStoltab[bstol::dist_sqtol];
      if (meets && ((s.parent >= 0 && owner(before) == s.parent) || onto_last[q])) {
        tail.parts.push_back(made.cv), made.cv = nullptr;
        continue;
      }
    }
    if (!flush()) return true;
    if (*m >= room) {
      // An offset that falls apart anyway is reported so, whatever of it does not fit left out.
      bool broken = c.closed && kept[order.back()].next != order.front();
      for (std::size_t r = 0; r + 1 < order.size(); ++r) broken = broken || kept[order[r]].next != order[r + 1];
      *rc = broken ? 47 : BSRC_OUT_OF_RANGE;
      return true;
    }
    out[*m] = made.cv, made.cv = nullptr;
    tags[*m] = s.parent >= 0 ? c.num[s.parent] : s.tag, odist[*m] = s.dist;
    ++*m;
  }
  if (!flush()) return true;
  if (*m == 0) {
    *rc = BSRC_NO_JOIN;
    return true;
  }
  // A closed chain's last piece ends where its first starts.
  if (c.closed && *m > 1 && kept[order.back()].next == order.front()) {
    double e[3], s0[3];
    pole_point(out[*m - 1], out[*m - 1]->num_poles - 1, e);
    pole_point(out[0], 0, s0);
    if (flat_gap(e, s0) <= match) set_pole(out[*m - 1], out[*m - 1]->num_poles - 1, s0);
  }
  return true;
}

bool keeps_distance(const LegChain &c, int m, VOQbsp_curve *const *pieces, const int *tags, int *rc,
                    const char *judge) {
  Clearing cl(c);
  if (!cl.split(rc)) return false;
  const std::vector<Leg> &legs = cl.legs;
  const int nl = static_cast<int>(legs.size());
  if (nl == 0 || m < 1) return true;
  cl.shapes.reset(new Shape[static_cast<std::size_t>(nl)]);
  double extent = 0, dmax = 0;
  for (int k = 0; k < nl; ++k) {
    Shape &sh = cl.shapes[k];
    if (!sh.make(legs[k].cv, legs[k].dist, rc)) return false;
    cl.leg_boxes.add(sh.lo, sh.hi, sh.d);
    dmax = std::max(dmax, sh.d);
    for (int e = 0; e < 2; ++e) extent = std::max({extent, std::fabs(sh.lo[e]), std::fabs(sh.hi[e])});
  }
  cl.leg_boxes.build();
  cl.scale = extent + dmax;
  const double tol = BStoltab[bstol::dist_tol] + 1e-13 * extent;
  // The legs of each position along the chain, by the component numbers the pieces carry.
  std::vector<int> first(static_cast<std::size_t>(c.n) + 1, nl);
  for (int k = nl - 1; k >= 0; --k) first[legs[k].parent] = k;
  for (int k = c.n - 1; k >= 0; --k) first[k] = std::min(first[k], first[k + 1]);
  std::map<int, int> position;
  for (int k = 0; k < c.n; ++k) position.emplace(c.num[k], k);
  const auto apart = [&](int a, int b) {
    const int gap = std::abs(a - b);
    return c.closed ? std::min(gap, nl - gap) : gap;
  };
  // Whether p lies at the distance from the line (or circle, or end tangents) of leg a.
  const auto on_line = [&](int a, const double p[2]) {
    const Shape &sh = cl.shapes[a];
    const auto from_line = [&](const double o[2], double dx, double dy) {
      const double l = std::hypot(dx, dy);
      return l > 0 && std::fabs(std::fabs(dx * (p[1] - o[1]) - dy * (p[0] - o[0])) / l - sh.d) <= tol;
    };
    if (sh.kind == Piece::kLines && sh.pts.size() == 4)
      return from_line(&sh.pts[0], sh.pts[2] - sh.pts[0], sh.pts[3] - sh.pts[1]);
    if (sh.kind != Piece::kArc) return false;
    const double rho = std::hypot(p[0] - sh.c[0], p[1] - sh.c[1]);
    if (std::fabs(rho - sh.r - sh.d) <= tol || std::fabs(rho - sh.r + sh.d) <= tol) return true;
    for (int e = 0; e < 2; ++e)
      if (from_line(sh.ends[e], sh.ends[e][1] - sh.c[1], sh.c[0] - sh.ends[e][0])) return true;
    return false;
  };
  // The point rule: p nearer to a leg than its distance lies at the distance from a leg (or from the line of one
  // of its own), and is nearer only to legs two or more places from that one.
  std::vector<int> own;
  std::vector<double> gap;
  const auto point_keeps = [&](const double p[3], const std::vector<int> &near_legs, bool *keeps) {
    *keeps = true;
    gap.resize(near_legs.size());
    bool inside = false;
    for (std::size_t q = 0; q < near_legs.size(); ++q) {
      double foot[2];
      gap[q] = cl.shapes[near_legs[q]].distance(p, foot, rc) - cl.shapes[near_legs[q]].d;
      if (*rc != 0) return false;
      inside = inside || gap[q] < -tol;
    }
    if (!inside) return true;
    *keeps = false;
    for (std::size_t q = 0; q < near_legs.size() + own.size() && !*keeps; ++q) {
      const bool mine = q >= near_legs.size();
      const int a = mine ? own[q - near_legs.size()] : near_legs[q];
      if (!(mine ? on_line(a, p) : std::fabs(gap[q]) <= tol)) continue;
      *keeps = true;
      for (std::size_t r = 0; r < near_legs.size() && *keeps; ++r)
        *keeps = !(gap[r] < -tol) || apart(a, near_legs[r]) >= 2;
    }
    return true;
  };
  // The pieces' pole boxes; what is near them looked up for sixteen pieces at a time, as they lie along the chain.
  std::vector<std::array<double, 4>> boxes(static_cast<std::size_t>(m));
  for (int k = 0; k < m; ++k) {
    double p[3];
    std::array<double, 4> &bx = boxes[k];
    bx = {INFINITY, INFINITY, -INFINITY, -INFINITY};
    for (int i = 0; i < pieces[k]->num_poles; ++i) {
      pole_point(pieces[k], i, p);
      for (int e = 0; e < 2; ++e) bx[e] = std::min(bx[e], p[e]), bx[2 + e] = std::max(bx[2 + e], p[e]);
    }
  }
  std::vector<int> group, near_piece;
  for (int k = 0; k < m; ++k) {
    const VOQbsp_curve *cv = pieces[k];
    const double *lo = &boxes[k][0], *hi = &boxes[k][2];
    if (k % 16 == 0) {
      double glo[2] = {INFINITY, INFINITY}, ghi[2] = {-INFINITY, -INFINITY};
      for (int q = k; q < std::min(m, k + 16); ++q)
        for (int e = 0; e < 2; ++e) glo[e] = std::min(glo[e], boxes[q][e]), ghi[e] = std::max(ghi[e], boxes[q][2 + e]);
      group = cl.leg_boxes.near(glo, ghi, tol);
    }
    if (judge && !judge[k]) continue;
    near_piece.clear();
    for (const int leg : group)
      if (!boxes_apart(lo, hi, cl.shapes[leg].lo, cl.shapes[leg].hi, cl.shapes[leg].d + tol)) near_piece.push_back(leg);
    // A join's piece belongs to the pieces about it.
    own.clear();
    for (const int q : {k, tags[k] >= 0 || k == 0 ? -1 : k - 1, tags[k] >= 0 || k + 1 == m ? -1 : k + 1}) {
      const auto at = q < 0 ? position.end() : position.find(tags[q]);
      if (at == position.end()) continue;
      for (int leg = first[at->second]; leg < first[at->second + 1]; ++leg) own.push_back(leg);
    }
    const double t0 = start_of(cv), t1 = end_of(cv);
    // A connecting line cuts its corner: judged by its ends, which lie at the distance.
    const bool chord = c.option == 2 && tags[k] == BSJOIN_SEGMENT;
    double p[3];
    // A line or an arc that keeps clear of every leg near it but its own (which it is offset from, or past the end
    // of; a polyline's other legs are not its own here) is shown so whole. Else, and for other curves, its points are judged; a line or an arc is also held whole
    // against the legs beside all of its own, where a point between the samples has no leg farther along to
    // explain it. A judged piece's points are all judged: the legs it takes for its own are not its corner's.
    Model model;
    if (!chord && !model.make(cv, cl.scale, rc)) return false;
    double a[3], b[3];
    BScveval_n(cv, t0, 0, a, rc);
    if (*rc == 0) BScveval_n(cv, t1, 0, b, rc);
    if (*rc != 0) return false;
    Span sp;
    bool sampled = true;
    if (!chord && !judge && model.span(t0, a, t1, b, &sp)) {
      sampled = false;
      for (const int leg : near_piece) {
        if (own.size() <= 2 && std::find(own.begin(), own.end(), leg) != own.end()) continue;
        const Shape &sh = cl.shapes[leg];
        if (sh.kind != Piece::kCurve && Clearing::leg_clear(sh, sp, sh.d - tol - 2 * model.dev)) continue;
        sampled = true;
        bool beside = !own.empty();
        for (const int o : own) beside = beside && apart(o, leg) <= 1;
        if (beside && sh.kind != Piece::kCurve) return false;
      }
    }
    if (!sampled) continue;
    const int spans = cv->num_poles - cv->order + 1, n = chord ? 1 : std::max(32, 32 * spans);
    // A piece of many spans (a polyline's offset, a leg by a span) is judged span by span: each point against the
    // legs that come near its span's poles, which hold it, and of its own legs those alone. A polyline's offset
    // then costs what its legs' offsets given apart cost, rather than every point against every leg.
    const bool by_span = spans > 1 && !chord;
    std::vector<int> own_piece, near_span;
    if (by_span) own_piece = own, std::sort(own_piece.begin(), own_piece.end());
    int listed = -1;
    // A line span shown to keep clear of every leg near it needs none of its points judged.
    bool span_clear = false;
    Model lines;
    lines.kind = Model::kLine, lines.scale = cl.scale;
    for (int i = 0, s = cv->order - 1; i <= n; ++i) {
      const double t = i == n ? t1 : t0 + (t1 - t0) * i / n;
      if (by_span) {
        while (s + 1 < cv->num_poles && t >= cv->knots[s + 1]) ++s;
        if (s != listed) {
          double slo[2] = {INFINITY, INFINITY}, shi[2] = {-INFINITY, -INFINITY}, q[3];
          for (int j = s - cv->order + 1; j <= s; ++j) {
            pole_point(cv, j, q);
            for (int e = 0; e < 2; ++e) slo[e] = std::min(slo[e], q[e]), shi[e] = std::max(shi[e], q[e]);
          }
          near_span = cl.leg_boxes.near(slo, shi, tol);
          std::sort(near_span.begin(), near_span.end());
          own.clear();
          for (const int leg : near_span)
            if (std::binary_search(own_piece.begin(), own_piece.end(), leg)) own.push_back(leg);
          listed = s;
          span_clear = false;
          if (cv->order == 2 && !cv->rational) {
            double pa[3], pb[3];
            pole_point(cv, s - 1, pa), pole_point(cv, s, pb);
            Span sp;
            span_clear = lines.span(cv->knots[s], pa, cv->knots[s + 1], pb, &sp);
            for (std::size_t q = 0; q < near_span.size() && span_clear; ++q) {
              const Shape &sh = cl.shapes[near_span[q]];
              span_clear = sh.kind != Piece::kCurve && Clearing::leg_clear(sh, sp, sh.d - tol);
            }
          }
        }
        if (span_clear) continue;
      }
      BScveval_n(cv, t, 0, p, rc);
      bool keeps = true;
      if (*rc != 0 || !point_keeps(p, by_span ? near_span : near_piece, &keeps)) return false;
      if (!keeps) return false;
    }
  }
  return true;
}

}  // namespace bsoffset

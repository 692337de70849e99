// The clearing of a chain's offset where a leg gives way (clear_offset, composite_clearance.cpp), laid out by stage:
// the models the stages share, and the stages in the order the driver calls them. Setup (clearance_setup.cpp) takes
// the legs, the corners' kinds, the legs' bands and the corners' fills, and lays the stretches out; the cuts
// (clearance_cuts.cpp) keep of each stretch what stays clear of every band; the links (clearance_links.cpp) follow
// the kept stretches from one to the next and hand the pieces out. The judge (keeps_distance,
// clearance_judge.cpp) measures pieces made otherwise against the same bands. The plane geometry and the indexes
// they all use are in clearance_plane.h.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "bspline/offset.h"
#include "bspline/offset/clearance_plane.h"
#include "bspline/offset/offset_internal.h"

namespace bsoffset::clearance {

// ---------------------------------------------------------------------------------------------------------------
// Records (composite_clearance.cpp).

void release(VOQbsp_curve *&cv);

// A copy of cv at z = 0.
VOQbsp_curve *flat_copy(const VOQbsp_curve *cv, int *rc);

// Whether every pole of cv lies within the distance tolerance of its first (flat): a piece that a corner join left one
// point (swallowed whole by its neighbour on a tiny chain) is only where the others meet, and keeps nothing.
bool on_one_point(const VOQbsp_curve *cv);

// The part of cv between u and v (u < v) as a new record; a copy when that is all of it. A part shorter than its
// parameters' tolerances is one point and has no curve: nullptr with rc 0 and *point set.
VOQbsp_curve *part_curve(const VOQbsp_curve *cv, double u, double v, bool *point, int *rc);

// The 2-pole line from p to q at their own heights, as a new record.
VOQbsp_curve *segment(const double p[3], const double q[3], int *rc);

// The box of a curve's poles in the plane.
void pole_box(const VOQbsp_curve *cv, double lo[2], double hi[2]);

// ---------------------------------------------------------------------------------------------------------------
// The shared models.

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

// The legs of a chain with their bands, the corners' fills and the stretches of the whole offset, and what can come
// near a stretch. The proofs, the probes and the cuts are in clearance_cuts.cpp.
struct Clearing {
  const LegChain &ch;
  std::vector<Leg> legs;
  std::unique_ptr<Shape[]> shapes;
  std::vector<Fill> fills;
  std::vector<Stretch> parts;
  BoxTree leg_boxes, fill_boxes;  // the legs' boxes, reaching out by their distances; the fills'
  double margin = 0, scale = 0;
  // The stretch of each leg's offset (-1: none), and the stretches that bound each fill: where a band's or a fill's
  // edge runs along one of them, what cuts a stretch there is where the two stretches cross (keep_all).
  std::vector<int> leg_part;
  std::vector<std::vector<int>> fill_parts;

  explicit Clearing(const LegChain &c) : ch(c) {}
  Clearing(const Clearing &) = delete;
  Clearing &operator=(const Clearing &) = delete;
  ~Clearing() {
    for (Stretch &s : parts) release(s.cv);
    for (Leg &l : legs) release(l.own_cv), release(l.own_off);
  }

  // The legs of the chain, each with its offset: a polyline component (order 2, three poles or more) leg by leg,
  // legs of no length left out.
  bool split(int *rc);

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
  static double stretch_box(const Stretch &s, double lo[2], double hi[2], double margin);
  Around around(int first, int last) const;
  Near near_of(const Stretch &s, const Around &a) const;
  Near near_box(const Near &near, const double lo[2], const double hi[2]) const;

  // Whether (dx, dy) reaches farther than r, where r is not positive or plainly.
  static bool beyond(double dx, double dy, double r) { return !(r > 0) || dx * dx + dy * dy > r * r; }
  double clearance(const Near &near, const double p[3], int *rc, double *low = nullptr,
                   double stop = -INFINITY) const;
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

  static bool leg_clear(const Shape &sh, const Span &sp, double far);
  static bool fill_clear(const Fill &f, const Span &sp, double need);
  static bool in_band(const Shape &sh, const Span &sp, double within, int shared);
  static bool band_takes(const Shape &sh, double within);
  static bool band_holds(const Shape &sh, const double x[2], double within, int shared);
  static bool arc_apex(const Span &sp, double apex[2]);
  bool band_leg(const Near &near, const Model &model, std::size_t q, double *within, int *shared) const;
  // What the proofs show of the stretch between two probes.
  enum Proof { kUnknown, kClear, kInside };
  Proof prove(const Near &near, const Model &model, const Probe &a, const Probe &b) const;
  void cuts(const Near &near, const Model &model, Probe &a, Probe &b, double floor, int depth, bool proved,
            std::vector<double> *out, int *rc) const;
  bool dip(const Near &near, const Model &model, const Probe &a, const Probe &b, Probe *in, int *rc) const;
  void cuts_between(const Near &near, const Model &model, std::vector<Probe> &probes, int k0, int k1,
                    double floor, std::vector<double> *out, Proof *first, int *rc) const;
  void keep(int i, const Around &around, std::vector<Kept> *kept, int *rc) const;

  // A cut of a stretch: its parameter, and its point where the cut was had in closed form (placed).
  struct Cut {
    double t = 0, p[3] = {0, 0, 0};
    bool placed = false;
  };
  // The cuts of a stretch found by probing and bisection against what is near it (the slow road, and the bands of
  // legs other than segments): parameters where it passes in or out, and whether its start keeps clear.
  void probe_cuts(const Near &near, std::vector<Cut> *cuts, bool *start_clear, int *rc) const;
  // The stretches whose cuts are had in closed form: polylines (clearance_exact.cpp).
  static bool exact_stretch(const Stretch &s);
  void exact_cuts(int i, const Near &near, std::vector<Cut> *cuts, bool *start_clear, int *rc) const;
  bool shared_cross(int i, int span, const int *partners, std::size_t count, double x[2], double *f) const;
};

// One call of clear_offset: the clearing and what each stage hands on to the next.
struct Run {
  Clearing cl;
  const LegChain &c;
  std::vector<int> alive;  // the legs with an offset, in chain order
  int a = 0, corners = 0;  // how many, and the corners between them
  std::vector<int> kind;   // each corner's join kind (corner_kind)
  bool gives_way = false;
  double dmin = INFINITY, dmax = 0, extent = 0;  // the legs' least and greatest distance, the farthest coordinate
  // Each leg's piece and its corner's join until they become stretches, with the join's tag and distance, and
  // whether it is a corner curve standing for a connecting line.
  std::vector<OwnedCurve> piece, join;
  std::vector<int> join_tag;
  std::vector<double> join_dist;
  std::vector<char> chord;
  int np = 0;               // the stretches before an open chain's caps
  std::vector<Kept> kept;   // what each stretch keeps, and how the kept stretches follow one another
  double match = 0;         // how far apart two ends may lie that meet
  double shallow = 0;       // the least clearance (below 0) of a stretch kept across a dip
  std::vector<int> order;   // the kept stretches in the order they are handed out

  explicit Run(const LegChain &chain) : cl(chain), c(chain) {}
};

// The stages, in order; each false with rc set (BSRC_NO_JOIN where nothing is kept) where the clearing ends there.
// Setup (clearance_setup.cpp).
bool find_corners(Run &r, int *rc);
bool find_give_way(Run &r, int *rc);
bool make_shapes(Run &r, int *rc);
bool join_corners(Run &r, int *rc);
void lay_stretches(Run &r);
bool cap_ends(Run &r, int *rc);
// The cuts (clearance_cuts.cpp).
bool keep_all(Run &r, int *rc);
bool stays_clear(const Run &r, int at, const VOQbsp_curve *cv, double u0, double u1, bool *clear, int *rc);
bool mend_dips(Run &r, int *rc);
// Links and assembly (clearance_links.cpp).
bool link_kept(Run &r, int *rc);
bool meet_cuts(Run &r, int *rc);
bool follow_runs(Run &r, int *rc);
void hand_out(Run &r, int room, int *m, VOQbsp_curve **out, int *tags, double *odist, int *rc);

}  // namespace bsoffset::clearance

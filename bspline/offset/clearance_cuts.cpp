// The clearing's cuts: what can come near a stretch, how far a point keeps clear of the bands, what the plane geometry
// proves of the stretch between two probes, the probes and the bisection that find where a stretch passes into or
// out of a band, and the kept stretches those cuts leave.
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
#include "bspline/offset/clearance_internal.h"
#include "bspline/offset/offset_internal.h"

namespace bsoffset::clearance {

// The box of a stretch's poles and its cap: twice the box's diagonal, and the margin.
double Clearing::stretch_box(const Stretch &s, double lo[2], double hi[2], double margin) {
  double p[3];
  lo[0] = lo[1] = INFINITY, hi[0] = hi[1] = -INFINITY;
  for (int i = 0; i < s.cv->num_poles; ++i) {
    pole_point(s.cv, i, p);
    for (int k = 0; k < 2; ++k) lo[k] = std::min(lo[k], p[k]), hi[k] = std::max(hi[k], p[k]);
  }
  return 2 * std::hypot(hi[0] - lo[0], hi[1] - lo[1]) + 4 * margin;
}
// What lies near the stretches first to last - 1, looked up once for them all.
Clearing::Around Clearing::around(int first, int last) const {
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
Clearing::Near Clearing::near_of(const Stretch &s, const Around &a) const {
  Near n;
  n.s = &s;
  double lo[2], hi[2];
  n.cap = stretch_box(s, lo, hi, margin);
  n.legs.reserve(a.legs.size());
  for (const int k : a.legs)
    if (k != s.own && legs[k].off && !boxes_apart(lo, hi, shapes[k].lo, shapes[k].hi, n.cap + shapes[k].d)) {
      // The stretch's neighbours most likely keep it from being shown clear, or hold it: tried first, rather
      // than the legs from the list's start.
      if (k == s.near[0] || k == s.near[1]) n.blocking = n.holding = n.legs.size();
      n.legs.push_back(k);
    }
  for (const int f : a.fills)
    if (f != s.corner[0] && f != s.corner[1] && fills[f].xy.size() >= 6 &&
        !boxes_apart(lo, hi, fills[f].lo, fills[f].hi, n.cap))
      n.fills.push_back(f);
  return n;
}
// What of near can come near the box (lo, hi), with the box's own cap.
Clearing::Near Clearing::near_box(const Near &near, const double lo[2], const double hi[2]) const {
  Near n;
  n.s = near.s;
  n.cap = 2 * std::hypot(hi[0] - lo[0], hi[1] - lo[1]) + 4 * margin;
  for (const int k : near.legs)
    if (!boxes_apart(lo, hi, shapes[k].lo, shapes[k].hi, n.cap + shapes[k].d)) n.legs.push_back(k);
  for (const int f : near.fills)
    if (!boxes_apart(lo, hi, fills[f].lo, fills[f].hi, n.cap)) n.fills.push_back(f);
  return n;
}

// How far p keeps clear of the bands of the legs that stretch near.s answers to (negative: inside one), at most
// the cap: the nearest band, less the distance, and then the fills in their order while p still keeps clear of
// one by more than its box lies away; a fill that takes p in ends the search. What a box shows to lie farther
// than the clearance found so far is passed over. *low (when asked) takes the neighbours' bands too, which p
// sees through their common corner and a point beside p may not: how near a band the stretch may come beside p.
// A leg that surely lowers neither the clearance nor the neighbours' share of it is passed over unmeasured.
// With `stop`, the search ends once the clearance falls below it: only whether it reaches stop is then told.
double Clearing::clearance(const Near &near, const double p[3], int *rc, double *low, double stop) const {
  const Stretch &s = *near.s;
  double g = near.cap, beside = INFINITY;
  for (const int k : near.legs) {
    const Shape &sh = shapes[k];
    const double dx = std::max({sh.lo[0] - p[0], p[0] - sh.hi[0], 0.0});
    const double dy = std::max({sh.lo[1] - p[1], p[1] - sh.hi[1], 0.0});
    if (beyond(dx, dy, g + sh.d + margin) || Shape::at_least(dx * dx + dy * dy, sh.d, g) ||
        Shape::reaches(dx, dy, sh.d, g))
      continue;
    double foot[2] = {}, dist = 0;
    if (sh.kind == Piece::kLines && sh.pts.size() == 4) {
      // One segment: its nearest point found once, for the test in squares and the measure alike.
      const double *a = &sh.pts[0], *b = &sh.pts[2];
      const double ex = b[0] - a[0], ey = b[1] - a[1], l2 = ex * ex + ey * ey;
      const double t = l2 > 0 ? ((p[0] - a[0]) * ex + (p[1] - a[1]) * ey) / l2 : 0.0;
      foot[0] = t <= 0 ? a[0] : t >= 1 ? b[0] : a[0] + t * ex;
      foot[1] = t <= 0 ? a[1] : t >= 1 ? b[1] : a[1] + t * ey;
      const double fx = p[0] - foot[0], fy = p[1] - foot[1];
      if (Shape::at_least(fx * fx + fy * fy, sh.d, g)) continue;
      dist = std::hypot(fx, fy);
    } else {
      if (sh.surely_beyond(p, g)) continue;
      dist = sh.distance(p, foot, rc);
      if (*rc != 0) return 0.0;
    }
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

// Whether the span keeps farther than `far` from a leg.
bool Clearing::leg_clear(const Shape &sh, const Span &sp, double far) {
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
bool Clearing::fill_clear(const Fill &f, const Span &sp, double need) {
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
bool Clearing::in_band(const Shape &sh, const Span &sp, double within, int shared) {
  if (!band_takes(sh, within)) return false;
  if (!sp.arc) return band_holds(sh, sp.a, within, shared) && band_holds(sh, sp.b, within, shared);
  double apex[2];
  return arc_apex(sp, apex) && band_holds(sh, sp.circle.ends[0], within, shared) &&
         band_holds(sh, sp.circle.ends[1], within, shared) && band_holds(sh, apex, within, shared);
}
// Whether the band of a leg can hold a span at all: a leg of one segment, a width.
bool Clearing::band_takes(const Shape &sh, double within) {
  return sh.kind == Piece::kLines && sh.pts.size() == 4 && within > 0;
}
// Whether x lies in the band of a leg of one segment (band_takes), past the leg's shared end.
bool Clearing::band_holds(const Shape &sh, const double x[2], double within, int shared) {
  const double *p = &sh.pts[0], *q = &sh.pts[2];
  const double dx = q[0] - p[0], dy = q[1] - p[1], l2 = dx * dx + dy * dy;
  if (!(seg_point2(x, p, q) <= within * within)) return false;
  const double t = ((x[0] - p[0]) * dx + (x[1] - p[1]) * dy) / l2;
  return shared == 0 ? t > 1e-9 : shared == 1 ? t < 1 - 1e-9 : true;
}
// An arc span's corner where its end tangents meet, which with its ends holds it; false past a quarter turn
// each side, where no band is held to hold it.
bool Clearing::arc_apex(const Span &sp, double apex[2]) {
  const Arc &c = sp.circle;
  const double half = 0.5 * c.sweep;
  if (!(std::fabs(half) < M_PI / 4)) return false;
  const double mid = c.a0 + half, reach = c.r / std::cos(half);
  apex[0] = c.c[0] + reach * std::cos(mid), apex[1] = c.c[1] + reach * std::sin(mid);
  return true;
}
// The legs near the stretch that may hold a span in their bands, with the width and the shared end the proofs
// take them with; false for a leg they pass over.
bool Clearing::band_leg(const Near &near, const Model &model, std::size_t q, double *within, int *shared) const {
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
Clearing::Proof Clearing::prove(const Near &near, const Model &model, const Probe &a, const Probe &b) const {
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
void Clearing::cuts(const Near &near, const Model &model, Probe &a, Probe &b, double floor, int depth,
                    bool proved, std::vector<double> *out, int *rc) const {
  if (*rc != 0) return;
  Probe m;
  m.t = 0.5 * (a.t + b.t);
  double h = 0;
  // Two measured ends that the length between them shows to keep their state settle the span without the
  // proof, which would leave it alone too; the proof comes first only where it spares measuring an end.
  const auto settled = [&] {
    place(near, &m, rc);
    if (*rc != 0) return true;
    h = std::max(1.1 * flat_gap(a.p, b.p), through(a.p, m.p, b.p));
    const bool ca = clear(a), cb = clear(b);
    return ca == cb && (ca ? a.low + b.low - h >= -2 * margin : a.g + b.g + h < -2 * margin);
  };
  if (!proved && a.measured && b.measured && settled()) return;
  if (!proved && prove(near, model, a, b) != kUnknown) return;
  measure(near, &a, rc), measure(near, &b, rc);
  if (*rc != 0) return;
  if (!m.placed && settled()) return;
  if (*rc != 0) return;
  const bool ca = clear(a), cb = clear(b);
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
    // Near a band's edge the clearance changes smoothly along the stretch: false position, the value of an end
    // kept twice halved, closes on the crossing in a few steps where halving takes some forty. A step lands
    // where halving would when it falls on an end, and every fourth step halves unless the three before shrank
    // the bracket eightfold. The bracket closes on neighbouring parameters as halving closes it.
    Probe lo = a, hi = b;
    double flo = a.g - at, fhi = b.g - at, checked = std::fabs(b.t - a.t);
    int kept_end = 0;
    for (int it = 0; it < 200; ++it) {
      const double mid = 0.5 * (lo.t + hi.t), t_lo = std::min(lo.t, hi.t), t_hi = std::max(lo.t, hi.t);
      if (mid <= t_lo || mid >= t_hi) break;
      double t = mid;
      if (it % 4 == 3) {
        const double width = t_hi - t_lo;
        if (width > 0.125 * checked) t = NAN;
        checked = width;
      }
      if (std::isnan(t)) {
        t = mid;
      } else if (flo != fhi && std::isfinite(flo) && std::isfinite(fhi)) {
        t = lo.t + flo / (flo - fhi) * (hi.t - lo.t);
        if (!(t > t_lo && t < t_hi)) t = mid;
      }
      Probe q;
      q.t = t;
      place(near, &q, rc);
      const bool inside = q.p[0] >= lo_box[0] && q.p[0] <= hi_box[0] && q.p[1] >= lo_box[1] && q.p[1] <= hi_box[1];
      if (*rc == 0) q.g = clearance(inside ? cell : near, q.p, rc);
      if (*rc != 0) return;
      if ((q.g >= at) == ca) {
        lo = q, flo = q.g - at;
        if (kept_end == 1) fhi *= 0.5;
        kept_end = 1;
      } else {
        hi = q, fhi = q.g - at;
        if (kept_end == -1) flo *= 0.5;
        kept_end = -1;
      }
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
bool Clearing::dip(const Near &near, const Model &model, const Probe &a, const Probe &b, Probe *in, int *rc) const {
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
void Clearing::cuts_between(const Near &near, const Model &model, std::vector<Probe> &probes, int k0, int k1,
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

// The cuts of the stretch near.s by probing: probes along it, the proofs between them, and bisection where its
// clearance changes side.
void Clearing::probe_cuts(const Near &near, std::vector<Cut> *cuts, bool *start_clear, int *rc) const {
  const VOQbsp_curve *cv = near.s->cv;
  const double t0 = start_of(cv), t1 = end_of(cv);
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
  *start_clear = probes[0].measured ? clear(probes[0]) : first == kClear;
  for (const double t : at) {
    Cut c;
    c.t = t;
    cuts->push_back(c);
  }
}

// The kept stretches of stretch i appended to kept.
void Clearing::keep(int i, const Around &around, std::vector<Kept> *kept, int *rc) const {
  const Stretch &s = parts[i];
  const VOQbsp_curve *cv = s.cv;
  const double t0 = start_of(cv), t1 = end_of(cv);
  if (!(t1 > t0) || s.never || on_one_point(cv)) return;
  const Near near = near_of(s, around);
  std::vector<Cut> at;
  bool in = true;
  if (exact_stretch(s)) {
    exact_cuts(i, near, &at, &in, rc);
  } else {
    probe_cuts(near, &at, &in, rc);
  }
  if (*rc != 0) return;
  // Walk the cuts: each one switches between kept and cleared.
  double ktol = 0;
  knot_tolerance(cv, &ktol, rc);
  if (*rc != 0) return;
  Cut from;
  from.t = t0;
  bool from_cut = false;
  // A stretch too short to cut out of the piece is only a point where others meet.
  const auto add = [&](const Cut &a, bool a_cut, const Cut &b, bool b_cut) {
    if (!(b.t - a.t > ktol)) return;
    Kept k;
    k.stretch = i, k.t[0] = a.t, k.t[1] = b.t, k.cut[0] = a_cut, k.cut[1] = b_cut;
    for (int e = 0; e < 2 && *rc == 0; ++e) {
      const Cut &end = e ? b : a;
      if (end.placed) {
        for (int c = 0; c < 3; ++c) k.p[e][c] = end.p[c];
      } else {
        BScveval_n(cv, k.t[e], 0, k.p[e], rc);
      }
    }
    if (*rc == 0) kept->push_back(k);
  };
  for (const Cut &c : at) {
    if (in) add(from, from_cut, c, true);
    in = !in, from = c, from_cut = true;
  }
  Cut end;
  end.t = t1;
  if (in) add(from, from_cut, end, false);
}

// What each stretch keeps; the match of two ends that meet.
bool keep_all(Run &r, int *rc) {
  r.cl.leg_part.assign(r.cl.legs.size(), -1);
  r.cl.fill_parts.assign(r.cl.fills.size(), {});
  for (int i = 0; i < static_cast<int>(r.cl.parts.size()); ++i) {
    const Stretch &s = r.cl.parts[i];
    if (s.own >= 0 && r.cl.leg_part[s.own] < 0) r.cl.leg_part[s.own] = i;
    for (int e = 0; e < 2; ++e)
      if (s.corner[e] >= 0 && (e == 0 || s.corner[1] != s.corner[0])) r.cl.fill_parts[s.corner[e]].push_back(i);
  }
  const Clearing &cl = r.cl;
  std::vector<Kept> &kept = r.kept;
  // Stretches along the chain lie near each other: what lies near them is looked up for sixteen at a time.
  const int all = static_cast<int>(cl.parts.size());
  for (int first = 0; first < all && *rc == 0; first += 16) {
    const int last = std::min(all, first + 16);
    const Clearing::Around around = cl.around(first, last);
    for (int i = first; i < last && *rc == 0; ++i) cl.keep(i, around, &kept, rc);
  }
  if (*rc != 0) return false;
  if (kept.empty()) {
    *rc = BSRC_NO_JOIN;
    return false;
  }
  // Each kept stretch goes on where the next one starts: after its stretch's own end, the next stretch's start;
  // after a cut, the start of a stretch cut there too, the later one where there are two (the loop between is
  // cleared). Ends of a corner that hardly turns towards the offset side lie within the match of each other, and
  // offsets of curves other than lines and arcs stray from the true offset by up to the offset tolerance, and so
  // may the ends at a crossing they make; the crossing itself is then found where the links meet two cuts.
  r.match = std::max({2 * std::sqrt(2 * cl.margin * r.dmax), 1e-12 * cl.scale,
                      std::min(2 * BStoltab[bstol::offset_tol], 0.1 * r.dmin)});
  return true;
}

// Whether the stretch `at` keeps clear of every band by `shallow` at 9 points from u0 to u1 on the curve cv.
bool stays_clear(const Run &r, int at, const VOQbsp_curve *cv, double u0, double u1, bool *clear, int *rc) {
  const Clearing &cl = r.cl;
  const double shallow = r.shallow;
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
}

// Where two offsets meet at a grazing angle far from the origin, one stays within the margin of the other's band
// for the margin over the angle, and the roundings of its clearance may cut it in and out of that band there: a
// dip no deeper than the roundings, which splits the stretch into two kept stretches whose cuts lie within the
// match of each other, one of them then past the crossing with the next stretch. No point of such a dip comes
// nearer to a band than the offset's own roundings; the stretch is kept across it.
bool mend_dips(Run &r, int *rc) {
  const Clearing &cl = r.cl;
  std::vector<Kept> &kept = r.kept;
  const double match = r.match;
  r.shallow = -std::max(2 * cl.margin, 0.1 * BStoltab[bstol::dist_tol]);
  std::size_t w = 0;
  for (std::size_t k = 0; k < kept.size(); ++k) {
    if (w > 0) {
      Kept &x = kept[w - 1];
      const Kept &y = kept[k];
      bool dip = y.stretch == x.stretch && x.cut[1] && y.cut[0] && y.t[0] >= x.t[1] &&
                 flat_gap(x.p[1], y.p[0]) <= match;
      if (dip && !stays_clear(r, x.stretch, cl.parts[x.stretch].cv, x.t[1], y.t[0], &dip, rc)) return false;
      if (dip) {
        x.t[1] = y.t[1], x.cut[1] = y.cut[1];
        for (int e = 0; e < 3; ++e) x.p[1][e] = y.p[1][e];
        continue;
      }
    }
    kept[w++] = kept[k];
  }
  kept.resize(w);
  return true;
}

}  // namespace bsoffset::clearance

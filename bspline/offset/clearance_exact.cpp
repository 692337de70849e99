// The clearing's cuts in closed form: a polyline stretch (a line leg's offset, a mitre's extension, a square tip)
// against the bands of segment legs and the corners' fills, segment by segment, where the probes and the bisection
// of clearance_cuts.cpp would only close in on the same crossings. A band's or a fill's edge that runs along another
// stretch cuts where the two stretches cross, that crossing computed once from the pair, so that the two kept
// stretches it ends meet in one point. The bands of other legs are still probed, and what the stretch keeps is
// what neither takes.
#include <algorithm>
#include <cmath>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/offset.h"
#include "bspline/offset/clearance_internal.h"
#include "bspline/offset/offset_internal.h"

namespace bsoffset::clearance {

namespace {

// A part of a stretch inside a band or a fill, from cut lo to cut hi, and whether any of it lies deeper inside
// than the margin (what only grazes a band is kept, as the probes keep it).
struct Inside {
  Clearing::Cut lo, hi;
  bool deep = false;
};

bool segment_leg(const Shape &sh) { return sh.kind == Piece::kLines && sh.pts.size() == 4; }

// How a stretch sees a leg's band through the ends they share: as line_in_band takes it.
int shared_ends(const Stretch &s, int k) {
  int shared = -1;
  for (int e = 0; e < 2; ++e)
    if (s.near[e] == k) shared = shared < 0 || shared == s.near_end[e] ? s.near_end[e] : 2;
  return shared;
}

}  // namespace

bool Clearing::exact_stretch(const Stretch &s) {
  const VOQbsp_curve *cv = s.cv;
  if (bstest::slow_roads() || cv->order != 2 || cv->rational || cv->num_poles < 2 || cv->periodic) return false;
  const int n = cv->num_poles;
  return cv->knots[0] == cv->knots[1] && cv->knots[n] == cv->knots[n + 1];
}

// Where span `span` of stretch i meets, at x (found from a band's or a fill's edge, f along the span), a span of
// one of the partners that runs along that edge: the crossing of the two spans' lines, computed from the pair in
// one order whichever of the two asks, to x and f. False (nothing changed) where no partner's line passes through
// x within the roundings, or their crossing lies off the span or apart from x.
bool Clearing::shared_cross(int i, int span, const int *partners, std::size_t count, double x[2], double *f) const {
  const VOQbsp_curve *cv = parts[i].cv;
  double a[3], b[3];
  pole_point(cv, span, a), pole_point(cv, span + 1, b);
  const double on = 64 * margin;
  for (std::size_t q = 0; q < count; ++q) {
    const int j = partners[q];
    if (j < 0 || j == i || !exact_stretch(parts[j])) continue;
    const VOQbsp_curve *pc = parts[j].cv;
    for (int sp = 0; sp + 1 < pc->num_poles; ++sp) {
      double c[3], d[3];
      pole_point(pc, sp, c), pole_point(pc, sp + 1, d);
      const double dx = d[0] - c[0], dy = d[1] - c[1], l2 = dx * dx + dy * dy, len = std::sqrt(l2);
      if (!(len > 0)) continue;
      const double off = std::fabs((x[0] - c[0]) * dy - (x[1] - c[1]) * dx) / len;
      const double along = ((x[0] - c[0]) * dx + (x[1] - c[1]) * dy) / l2, slack = on / len;
      if (!(off <= on && along >= -slack && along <= 1 + slack)) continue;
      double g = 0, y[2];
      if (i < j) {
        if (!line_cross(a, b, c, d, &g)) continue;
        y[0] = a[0] + g * (b[0] - a[0]), y[1] = a[1] + g * (b[1] - a[1]);
      } else {
        if (!line_cross(c, d, a, b, &g)) continue;
        y[0] = c[0] + g * dx, y[1] = c[1] + g * dy;
      }
      const double ex = b[0] - a[0], ey = b[1] - a[1];
      const double h = ((y[0] - a[0]) * ex + (y[1] - a[1]) * ey) / (ex * ex + ey * ey);
      if (!(h > 0 && h < 1 && std::hypot(y[0] - x[0], y[1] - x[1]) <= BStoltab[bstol::dist_tol])) continue;
      x[0] = y[0], x[1] = y[1], *f = h;
      return true;
    }
  }
  return false;
}

// The cuts of polyline stretch i: each segment's parts inside the bands of the segment legs near it and inside the
// fills near it, in closed form, with what probes find inside the bands of the other legs; parts that overlap or
// touch are one, and one that nowhere lies deeper than the margin is kept.
void Clearing::exact_cuts(int i, const Near &near, std::vector<Cut> *cuts, bool *start_clear, int *rc) const {
  const Stretch &s = parts[i];
  const VOQbsp_curve *cv = s.cv;
  const double t0 = start_of(cv), t1 = end_of(cv);
  std::vector<Inside> ins;
  Near rest;
  rest.s = near.s, rest.cap = near.cap;
  for (const int k : near.legs)
    if (!segment_leg(shapes[k])) rest.legs.push_back(k);
  if (!rest.legs.empty()) {
    std::vector<Cut> at;
    bool clear0 = true;
    probe_cuts(rest, &at, &clear0, rc);
    if (*rc != 0) return;
    bool in = !clear0;
    Inside part;
    part.lo.t = t0, part.deep = true;
    for (const Cut &c : at) {
      if (in) part.hi = c, ins.push_back(part);
      in = !in, part.lo = c;
    }
    if (in) part.hi.t = t1, ins.push_back(part);
  }
  std::vector<double> fs;
  for (int sp = 0; sp + 1 < cv->num_poles; ++sp) {
    const double u0 = cv->knots[sp + 1], u1 = cv->knots[sp + 2];
    if (!(u1 > u0)) continue;
    double a[3], b[3];
    pole_point(cv, sp, a), pole_point(cv, sp + 1, b);
    const double dx = b[0] - a[0], dy = b[1] - a[1];
    const double lo[2] = {std::min(a[0], b[0]), std::min(a[1], b[1])};
    const double hi[2] = {std::max(a[0], b[0]), std::max(a[1], b[1])};
    const bool point = !(dx != 0 || dy != 0);
    // A cut at f along the span: the span's own ends are its knots; one inside it is put where a partner crossing
    // the span there puts it.
    const auto cut_at = [&](double f, const int *partners, std::size_t count, Cut *c) {
      if (f <= 0 || f >= 1) {
        c->t = f <= 0 ? u0 : u1;
        return;
      }
      double x[2] = {a[0] + f * dx, a[1] + f * dy};
      shared_cross(i, sp, partners, count, x, &f);
      c->t = u0 + f * (u1 - u0), c->placed = true;
      c->p[0] = x[0], c->p[1] = x[1], c->p[2] = a[2] + f * (b[2] - a[2]);
    };
    const auto inside = [&](double f0, double f1, bool deep, const int *partners, std::size_t count) {
      Inside part;
      part.deep = deep;
      cut_at(f0, partners, count, &part.lo);
      cut_at(f1, partners, count, &part.hi);
      if (part.hi.t > part.lo.t) ins.push_back(part);
    };
    for (const int k : near.legs) {
      const Shape &sh = shapes[k];
      if (!segment_leg(sh) || boxes_apart(lo, hi, sh.lo, sh.hi, sh.d)) continue;
      const double *p = &sh.pts[0], *q = &sh.pts[2];
      const int shared = shared_ends(s, k);
      double f[2];
      if (point) {
        // A span of no length is inside where its point is, and as deep.
        const double ux = q[0] - p[0], uy = q[1] - p[1], l2 = ux * ux + uy * uy;
        const double t = l2 > 0 ? ((a[0] - p[0]) * ux + (a[1] - p[1]) * uy) / l2 : 0.5;
        if ((t <= 0 && (shared == 0 || shared == 2)) || (t >= 1 && (shared == 1 || shared == 2))) continue;
        const double g = sh.d - seg_point(a, p, q);
        if (g > 0) inside(0, 1, g > margin, nullptr, 0);
        continue;
      }
      // Most legs near the span keep farther from it than the distance, which their nearest points tell.
      if (!(seg_seg2(a, b, p, q) < sh.d * sh.d) || !line_in_band(a, b, p, q, sh.d, shared, f)) continue;
      f[0] = std::max(f[0], 0.0), f[1] = std::min(f[1], 1.0);
      if (!(f[0] < f[1])) continue;
      const double x0[2] = {a[0] + f[0] * dx, a[1] + f[0] * dy}, x1[2] = {a[0] + f[1] * dx, a[1] + f[1] * dy};
      const bool deep = sh.d - std::sqrt(seg_seg2(x0, x1, p, q)) > margin;
      const int partner = leg_part[k];
      inside(f[0], f[1], deep, &partner, 1);
    }
    for (const int fi : near.fills) {
      const Fill &fl = fills[fi];
      if (boxes_apart(lo, hi, fl.lo, fl.hi, margin)) continue;
      const std::vector<int> &partners = fill_parts[fi];
      if (point) {
        if (fl.strictly_inside(a)) inside(0, 1, -fl.signed_gap(a) > margin, nullptr, 0);
        continue;
      }
      // The span's crossings with the outline's sides part it into pieces each inside or outside all along.
      const std::size_t n = fl.xy.size() / 2;
      fs.assign({0.0, 1.0});
      for (std::size_t e = 0, j = n - 1; e < n; j = e++) {
        const double *p = &fl.xy[2 * j], *q = &fl.xy[2 * e];
        const double ex = q[0] - p[0], ey = q[1] - p[1], den = dx * ey - dy * ex;
        if (!(std::fabs(den) > 0)) continue;
        const double wx = p[0] - a[0], wy = p[1] - a[1];
        const double f = (wx * ey - wy * ex) / den, g = (wx * dy - wy * dx) / den;
        if (g >= 0 && g <= 1 && f > 0 && f < 1) fs.push_back(f);
      }
      std::sort(fs.begin(), fs.end());
      for (std::size_t m = 0; m + 1 < fs.size(); ++m) {
        const double f0 = fs[m], f1 = fs[m + 1];
        if (!(f1 > f0)) continue;
        const double mid[2] = {a[0] + 0.5 * (f0 + f1) * dx, a[1] + 0.5 * (f0 + f1) * dy};
        if (!fl.strictly_inside(mid)) continue;
        // How deep: at the middle, the quarters and the feet of the outline's corners.
        bool deep = -fl.signed_gap(mid) > margin;
        const double l2 = dx * dx + dy * dy;
        for (std::size_t v = 0; v < n + 2 && !deep; ++v) {
          double f = v == n ? 0.75 * f0 + 0.25 * f1 : v == n + 1 ? 0.25 * f0 + 0.75 * f1
                     : ((fl.xy[2 * v] - a[0]) * dx + (fl.xy[2 * v + 1] - a[1]) * dy) / l2;
          f = std::clamp(f, f0, f1);
          const double x[2] = {a[0] + f * dx, a[1] + f * dy};
          deep = -fl.signed_gap(x) > margin;
        }
        inside(f0, f1, deep, partners.data(), partners.size());
      }
    }
  }
  // The parts in order along the stretch, those that overlap or touch made one.
  std::sort(ins.begin(), ins.end(), [](const Inside &x, const Inside &y) { return x.lo.t < y.lo.t; });
  std::vector<Inside> merged;
  for (const Inside &x : ins) {
    if (!merged.empty() && x.lo.t <= merged.back().hi.t) {
      Inside &m = merged.back();
      if (x.hi.t > m.hi.t) m.hi = x.hi;
      m.deep = m.deep || x.deep;
      continue;
    }
    merged.push_back(x);
  }
  *start_clear = true;
  for (const Inside &x : merged) {
    if (!x.deep) continue;
    if (x.lo.t > t0) {
      cuts->push_back(x.lo);
    } else {
      *start_clear = false;
    }
    if (x.hi.t < t1) cuts->push_back(x.hi);
  }
}

}  // namespace bsoffset::clearance

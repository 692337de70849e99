// The clearing's plane geometry and indexes (clearance_plane.h) where they take more than a line or two.
#include "bspline/offset/clearance_plane.h"

#include <algorithm>
#include <cmath>

namespace bsoffset::clearance {

bool circle_through(const double s[2], const double m[2], const double e[2], double rel, double c[2], double *r) {
  const double bx = m[0] - s[0], by = m[1] - s[1], cx = e[0] - s[0], cy = e[1] - s[1];
  const double den = 2 * (bx * cy - by * cx), b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
  if (!(std::fabs(den) > rel * (b2 + c2))) return false;
  c[0] = s[0] + (cy * b2 - by * c2) / den, c[1] = s[1] + (bx * c2 - cx * b2) / den;
  *r = std::hypot(s[0] - c[0], s[1] - c[1]);
  return true;
}

bool line_in_disc(const double a[2], const double b[2], const double c[2], double r, double f[2]) {
  const double dx = b[0] - a[0], dy = b[1] - a[1], l2 = dx * dx + dy * dy, len = std::sqrt(l2);
  const double wx = c[0] - a[0], wy = c[1] - a[1];
  if (!(len > 0) || !(r > 0)) return false;
  const double h = std::fabs(wx * dy - wy * dx) / len;
  if (!(h < r)) return false;
  const double foot = (wx * dx + wy * dy) / l2, half = std::sqrt((r - h) * (r + h)) / len;
  f[0] = foot - half, f[1] = foot + half;
  return f[0] < f[1];
}

bool line_in_strip(const double a[2], const double b[2], const double p[2], const double q[2], double r,
                   double f[2]) {
  const double ux = q[0] - p[0], uy = q[1] - p[1], l2 = ux * ux + uy * uy, len = std::sqrt(l2);
  const double dx = b[0] - a[0], dy = b[1] - a[1], wx = a[0] - p[0], wy = a[1] - p[1];
  if (!(len > 0) || !(r > 0)) return false;
  f[0] = -INFINITY, f[1] = INFINITY;
  // lo < s0 + f s1 < hi, for f.
  const auto within = [&](double s0, double s1, double lo, double hi) {
    if (s1 == 0) {
      if (!(s0 > lo && s0 < hi)) f[0] = INFINITY;
      return;
    }
    double x = (lo - s0) / s1, y = (hi - s0) / s1;
    if (s1 < 0) std::swap(x, y);
    f[0] = std::max(f[0], x), f[1] = std::min(f[1], y);
  };
  // Across the line, in units of length; along it, in units of the segment.
  within((wx * uy - wy * ux) / len, (dx * uy - dy * ux) / len, -r, r);
  within((wx * ux + wy * uy) / l2, (dx * ux + dy * uy) / l2, 0.0, 1.0);
  return f[0] < f[1];
}

bool line_in_band(const double a[2], const double b[2], const double p[2], const double q[2], double r, int shared,
                  double f[2]) {
  f[0] = INFINITY, f[1] = -INFINITY;
  double g[2];
  const auto take = [&](bool found) {
    if (found) f[0] = std::min(f[0], g[0]), f[1] = std::max(f[1], g[1]);
  };
  const bool same = p[0] == q[0] && p[1] == q[1];
  if (!same) take(line_in_strip(a, b, p, q, r, g));
  if (shared != 0 && shared != 2) take(line_in_disc(a, b, p, r, g));
  if (shared != 1 && shared != 2 && !same) take(line_in_disc(a, b, q, r, g));
  return f[0] < f[1];
}

bool line_cross(const double a[2], const double b[2], const double c[2], const double d[2], double *f) {
  const double rx = b[0] - a[0], ry = b[1] - a[1], sx = d[0] - c[0], sy = d[1] - c[1];
  const double den = rx * sy - ry * sx;
  if (!(std::fabs(den) > 0)) return false;
  *f = ((c[0] - a[0]) * sy - (c[1] - a[1]) * sx) / den;
  return std::isfinite(*f);
}

bool Model::make(const VOQbsp_curve *cv, double at_scale, int *rc) {
  scale = at_scale;
  t0 = start_of(cv), t1 = end_of(cv);
  if (cv->order == 2 && cv->num_poles == 2) {
    kind = kLine;
    return true;
  }
  if (cv->order != 3 || !cv->rational) return true;
  // The circle through the ends and the middle, which five points of every span lie on: a conic span through
  // five points of a circle is an arc of it.
  double s[3], m[3], e[3];
  BScveval_n(cv, t0, 0, s, rc);
  if (*rc == 0) BScveval_n(cv, 0.5 * (t0 + t1), 0, m, rc);
  if (*rc == 0) BScveval_n(cv, t1, 0, e, rc);
  if (*rc != 0) return false;
  if (!circle_through(s, m, e, 1e-9, arc.c, &arc.r)) return true;
  const double tol = 1e-9 * scale;
  for (int k = cv->order - 1; k < cv->num_poles; ++k) {
    const double u0 = cv->knots[k], u1 = cv->knots[k + 1];
    if (!(u1 > u0)) continue;
    for (int q = 0; q <= 4; ++q) {
      double p[3];
      BScveval_n(cv, u0 + (u1 - u0) * q / 4, 0, p, rc);
      if (*rc != 0) return false;
      dev = std::max(dev, std::fabs(std::hypot(p[0] - arc.c[0], p[1] - arc.c[1]) - arc.r));
      if (!(dev <= tol)) return true;
    }
  }
  for (int k = 0; k < 2; ++k) arc.ends[0][k] = s[k], arc.ends[1][k] = e[k];
  arc.set_sweep(m);
  kind = kArc;
  return true;
}

// The half-plane of the chord from pa to pb, away from `away` (both sides when NULL), with the slack of
// roundings at this scale and of deviations up to dev.
void Model::chord(const double pa[3], const double pb[3], const double *away, Span *sp) const {
  sp->sides = 0;
  const double dx = pb[0] - pa[0], dy = pb[1] - pa[1], len = std::sqrt(dx * dx + dy * dy);
  if (!(len > 0) || !std::isfinite(len)) return;
  sp->n[0] = -dy / len, sp->n[1] = dx / len;
  if (away && sp->n[0] * (away[0] - pa[0]) + sp->n[1] * (away[1] - pa[1]) > 0)
    sp->n[0] = -sp->n[0], sp->n[1] = -sp->n[1];
  sp->c = sp->n[0] * pa[0] + sp->n[1] * pa[1];
  sp->slack = 1e-12 * scale + 4 * dev;
  sp->sides = away ? 1 : 2;
}
// The stretch from parameter ta (point pa) to tb (point pb) as a span; false when it cannot be had.
bool Model::span(double ta, const double pa[3], double tb, const double pb[3], Span *sp) const {
  if (kind == kLine) {
    sp->arc = false;
    for (int k = 0; k < 2; ++k)
      sp->a[k] = pa[k], sp->b[k] = pb[k], sp->lo[k] = std::min(pa[k], pb[k]), sp->hi[k] = std::max(pa[k], pb[k]);
    chord(pa, pb, nullptr, sp);
    return true;
  }
  if (kind != kArc) return false;
  const double full = std::fabs(arc.sweep);
  // Angles along the arc; one a rounding short of a turn at the start is the start.
  const auto along = [&](double t, const double p[3], double at_end) {
    if (t <= t0) return 0.0;
    if (t >= t1) return at_end;
    const double a = arc.angle(p);
    return a > full && 2 * M_PI - a < 1e-9 ? 0.0 : a;
  };
  const double fa = along(ta, pa, full), fb = along(tb, pb, full);
  if (!(fa <= fb && fb <= full)) return false;
  sp->arc = true;
  Arc &c = sp->circle;
  c = arc;
  c.a0 = arc.a0 + (arc.sweep < 0 ? -fa : fa), c.sweep = arc.sweep < 0 ? fa - fb : fb - fa;
  for (int k = 0; k < 2; ++k) c.ends[0][k] = pa[k], c.ends[1][k] = pb[k];
  c.box(sp->lo, sp->hi);
  // Short of a half turn, the arc lies beyond its chord from the centre.
  sp->sides = 0;
  if (std::fabs(c.sweep) < 0.9 * M_PI) chord(pa, pb, arc.c, sp);
  return true;
}

void CellIndex::near(const double p[3], std::vector<int> *found) const {
  found->clear();
  std::int64_t key[2];
  if (!cell(p, key)) return;
  for (std::int64_t i = key[0] - 1; i <= key[0] + 1; ++i) {
    const auto column = cells_.find(i);
    if (column == cells_.end()) continue;
    for (std::int64_t j = key[1] - 1; j <= key[1] + 1; ++j) {
      const auto at = column->second.find(j);
      if (at != column->second.end()) found->insert(found->end(), at->second.begin(), at->second.end());
    }
  }
  std::sort(found->begin(), found->end());
}

bool CellIndex::cell(const double p[3], std::int64_t key[2]) const {
  for (int e = 0; e < 2; ++e) {
    const double f = std::floor(p[e] / side_);
    if (!(std::fabs(f) < 0x1p62)) return false;
    key[e] = static_cast<std::int64_t>(f);
  }
  return true;
}

void BoxTree::build() {
  if (level_.empty()) return;
  while (level_.back().size() > 1) {
    const std::vector<Node> &below = level_.back();
    std::vector<Node> here((below.size() + 1) / 2);
    for (std::size_t i = 0; i < here.size(); ++i) {
      const Node &l = below[2 * i], &r = 2 * i + 1 < below.size() ? below[2 * i + 1] : l;
      for (int k = 0; k < 2; ++k)
        here[i].lo[k] = std::min(l.lo[k], r.lo[k]), here[i].hi[k] = std::max(l.hi[k], r.hi[k]);
      here[i].reach = std::max(l.reach, r.reach);
    }
    level_.push_back(std::move(here));
  }
}

std::vector<int> BoxTree::near(const double lo[2], const double hi[2], double bound) const {
  std::vector<int> found;
  if (level_.empty()) return found;
  // Depth first, each node's second child waiting beneath its first: one waiting node a level at most.
  std::array<std::pair<int, std::size_t>, 2 * 64 + 2> stack;
  std::size_t top = 0;
  stack[top++] = {static_cast<int>(level_.size()) - 1, 0};
  while (top > 0) {
    const auto [lv, i] = stack[--top];
    const Node &node = level_[lv][i];
    const double r = bound + node.reach;
    if (!(r > 0 && node.gap2(lo, hi) < r * r * (1 + 1e-12))) continue;
    if (lv == 0) {
      found.push_back(static_cast<int>(i));
      continue;
    }
    for (const std::size_t below : {2 * i, 2 * i + 1})
      if (below < level_[lv - 1].size()) stack[top++] = {lv - 1, below};
  }
  return found;
}

}  // namespace bsoffset::clearance

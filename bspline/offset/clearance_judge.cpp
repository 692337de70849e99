// The judge of a chain's offset made by the corner joins: whether its pieces keep the distance from every leg, by
// the clearing's bands and proofs (clearance_internal.h), point by point where those show nothing.
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

namespace bsoffset {

using namespace clearance;

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

// The clearing's setup: the legs of the chain, the join kind at each corner and whether a leg gives way, the legs'
// bands, each corner's join and fill, and the stretches of the whole offset in chain order with an open chain's caps.
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
#include "bspline/numerics.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/offset.h"
#include "bspline/offset/clearance_internal.h"
#include "bspline/offset/offset_internal.h"

namespace bsoffset::clearance {

namespace {

constexpr int kParallelTol = 4;  // tolerance entry: an offset's end tangent parallel to its leg's, as the joins take it

// Whether every corner of the fill's outline lies within r of p: then all of it does.
bool within_of(const Fill &f, const double p[3], double r) {
  for (std::size_t i = 0; i + 1 < f.xy.size(); i += 2)
    if (!(std::hypot(f.xy[i] - p[0], f.xy[i + 1] - p[1]) <= r)) return false;
  return true;
}

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

// The round join at a corner between two lines offset by one distance, made at once as the corner joins make it:
// the arc about the corner from the first offset's end to the second's start, built from the same three points.
// False, with nothing made, where the corner is not that plain (offsets not level with the corner or not parallel to
// their legs, ends that meet or lie in line with the corner, an arc too flat to build, a plane other than the
// frame's); the corner joins take it then.
bool round_line_join(const Leg &lj, const Leg &li, const VOQbsp_curve *a, const VOQbsp_curve *b,
                     const double normal[3], VOQbsp_curve **arc, int *rc) {
  const auto line = [](const VOQbsp_curve *cv) { return cv->order == 2 && cv->num_poles == 2 && !cv->rational; };
  if (bstest::slow_roads() || !line(lj.cv) || !line(li.cv) || !line(a) || !line(b)) return false;
  if (!(std::fabs(normal[0]) <= 1e-15 && std::fabs(normal[1]) <= 1e-15 && std::fabs(normal[2] - 1) <= 1e-15))
    return false;
  if (!(lj.dist > 0 && li.dist > 0 && std::fabs(lj.dist - li.dist) < BStoltab[bstol::dist_tol])) return false;
  double E[3], S[3], a0[3], b1[3], K[6], B0[6];
  pole_point(a, 1, E), pole_point(b, 0, S), pole_point(a, 0, a0), pole_point(b, 1, b1);
  const double tol = BStoltab[bstol::dist_tol];
  if (!(flat_gap(a0, E) > tol && flat_gap(S, b1) > tol)) return false;
  int erc = 0;
  BScveval_n(lj.cv, end_of(lj.cv), 1, K, &erc);
  if (erc == 0) BScveval_n(li.cv, start_of(li.cv), 1, B0, &erc);
  if (erc != 0 || E[2] != K[2] || S[2] != K[2]) return false;
  const double zK = K[2];
  E[2] = S[2] = K[2] = 0.0;
  const double *pairs[3][2] = {{E, K}, {K, S}, {E, S}};
  for (const auto &p : pairs) {
    double two[6] = {p[0][0], p[0][1], p[0][2], p[1][0], p[1][1], p[1][2]};
    const BSboolean same = BScoincida(2, two, &erc);
    if (erc != 0 || same) return false;
  }
  const BSboolean collinear = BScollin(&erc, E, K, S);
  if (erc != 0 || collinear) return false;
  // The offsets' end tangents against the legs', from the derivatives as evaluated.
  double dOa[6], dOb[6];
  BScveval_n(a, end_of(a), 1, dOa, &erc);
  if (erc == 0) BScveval_n(b, start_of(b), 1, dOb, &erc);
  if (erc != 0) return false;
  const double w1 = std::fabs(K[3] * dOa[4] - K[4] * dOa[3]), w2 = std::fabs(B0[3] * dOb[4] - B0[4] * dOb[3]);
  if (!(w1 <= BStoltab[kParallelTol] && w2 <= BStoltab[kParallelTol])) return false;
  const double Ez[3] = {E[0], E[1], zK}, Sz[3] = {S[0], S[1], zK}, Kz[3] = {K[0], K[1], zK};
  double u[3], v[3], w[3];
  BSvdiff(&erc, u, Kz, Ez);
  BSvdiff(&erc, v, Kz, Sz);
  BSvcross(&erc, u, v, w);
  BSallocvoqcv(3, 7, BSTRUE, 0, arc, rc);
  if (*rc != 0) return true;
  BSprepcarc(&erc, Ez, Kz, Sz, w, *arc, nullptr, nullptr);
  if (erc != 0) {
    release(*arc);
    return false;
  }
  return true;
}

}  // namespace

// The legs of the chain, each with its offset: a polyline component (order 2, three poles or more) leg by leg,
// legs of no length left out.
bool Clearing::split(int *rc) {
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
      if (!line_offset(n.own_cv, n.dist, ch.normal, ch.side, &n.own_off, rc))
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

// The legs with an offset left, in chain order, and the join kind at each corner between two of them; an arc offset
// past its centre gives way already.
bool find_corners(Run &r, int *rc) {
  const LegChain &c = r.c;
  const std::vector<Leg> &legs = r.cl.legs;
  const int nl = static_cast<int>(legs.size());
  std::vector<int> &alive = r.alive;
  bool &gives_way = r.gives_way;
  for (int k = 0; k < nl; ++k) {
    if (legs[k].off) alive.push_back(k);
    gives_way = gives_way || (legs[k].off && legs[k].past);
  }
  r.a = static_cast<int>(alive.size());
  const int a = r.a;
  r.corners = a == 0 ? 0 : a - 1 + (c.closed ? 1 : 0);
  r.kind.assign(static_cast<std::size_t>(a), 0);
  std::vector<int> &kind = r.kind;
  for (int k = 0; k < r.corners; ++k) {
    const Leg &lj = legs[alive[k]], &li = legs[alive[(k + 1) % a]];
    if (!corner_kind(lj.cv, li.cv, c.normal, c.side, &kind[k], rc)) return false;
    if (c.kinds && lj.cv == c.cv[lj.parent] && li.cv == c.cv[li.parent])
      c.kinds->push_back({lj.parent, li.parent, kind[k]});
  }
  return true;
}

// A leg gives way where the offsets about a corner towards the offset side do not cross, or where a leg's
// offset is cut at its two ends in reverse order.
bool find_give_way(Run &r, int *rc) {
  const std::vector<Leg> &legs = r.cl.legs;
  const std::vector<int> &alive = r.alive, &kind = r.kind;
  const int a = r.a, corners = r.corners;
  bool &gives_way = r.gives_way;
  if (!gives_way && a > 0) {
    std::vector<Track> track(static_cast<std::size_t>(a));
    std::vector<std::array<double, 3>> from(static_cast<std::size_t>(a)), to(static_cast<std::size_t>(a));
    for (int k = 0; k < a; ++k) {
      if (!track[k].make(legs[alive[k]].off, rc)) return false;
      const double(&e)[2][2] = track[k].ends;
      from[k] = {0.0, e[0][0], e[0][1]}, to[k] = {1.0, e[1][0], e[1][1]};
    }
    for (int k = 0; k < corners && !gives_way; ++k) {
      if (kind[k] != 2) continue;
      const int kn = (k + 1) % a;
      double fa = 0, fb = 0, pt[2];
      gives_way = !corner_crossing(track[k], track[kn], &fa, &fb, pt, rc);
      if (*rc != 0) return false;
      if (fa < to[k][0]) to[k] = {fa, pt[0], pt[1]};
      if (fb > from[kn][0]) from[kn] = {fb, pt[0], pt[1]};
    }
    for (int k = 0; k < a && !gives_way; ++k)
      gives_way = to[k][0] < from[k][0] &&
                  std::hypot(to[k][1] - from[k][1], to[k][2] - from[k][2]) > BStoltab[bstol::dist_tol];
  }
  return true;
}

// The legs' bands: each leg's shape and distance in the index of their boxes, and the scale and margin of the
// clearing.
bool make_shapes(Run &r, int *rc) {
  Clearing &cl = r.cl;
  const std::vector<Leg> &legs = cl.legs;
  const int nl = static_cast<int>(legs.size());
  cl.shapes.reset(new Shape[static_cast<std::size_t>(nl)]);
  double &dmin = r.dmin, &dmax = r.dmax, &extent = r.extent;
  for (int k = 0; k < nl; ++k) {
    if (!cl.shapes[k].make(legs[k].cv, legs[k].dist, rc)) return false;
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
  return true;
}

// The legs' pieces with their corners: a corner away from the offset side joined as the corner joins join it (a
// polyline's own corners as its offset makes them), one towards it left open: the clearing cuts its pieces
// where they cross. An arc offset past its centre turns the corners at its ends like any piece, round.
bool join_corners(Run &r, int *rc) {
  const LegChain &c = r.c;
  Clearing &cl = r.cl;
  const std::vector<Leg> &legs = cl.legs;
  const std::vector<int> &alive = r.alive, &kind = r.kind;
  const int a = r.a, corners = r.corners;
  r.piece = std::vector<OwnedCurve>(static_cast<std::size_t>(a));
  r.join = std::vector<OwnedCurve>(static_cast<std::size_t>(a));
  r.join_tag.assign(static_cast<std::size_t>(a), 0);
  r.join_dist.assign(static_cast<std::size_t>(a), 0.0);
  r.chord.assign(static_cast<std::size_t>(a), 0);
  std::vector<OwnedCurve> &piece = r.piece, &join = r.join;
  std::vector<int> &join_tag = r.join_tag;
  std::vector<double> &join_dist = r.join_dist;
  std::vector<char> &chord = r.chord;
  cl.fills.resize(static_cast<std::size_t>(a));
  for (int k = 0; k < a; ++k)
    if (!(piece[k].cv = copy_of(legs[alive[k]].off, 0, false, rc))) return false;
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
      if (!trace(join[k].cv, nullptr, true, &cl.fills[k], rc)) return false;
      // Rounded about the corner within the larger distance, it lies in both legs' bands: left out, as round
      // joins are.
      if (!lj.past && !li.past && within_of(cl.fills[k], V, dmax2 + cl.margin)) cl.fills[k] = Fill();
      return true;
    };
    if (kind[k] == 1) {
      if (!straight_or_tip(true)) return false;
      continue;
    }
    // Two lines rounded at one distance: the corner's arc made at once. Its fill is the disc's sector about the
    // corner, which both legs' bands hold: it is neither traced nor measured.
    if (mode == 1 && !lj.past && !li.past) {
      VOQbsp_curve *arc = nullptr;
      if (round_line_join(lj, li, piece[k].cv, piece[kn].cv, c.normal, &arc, rc)) {
        if (*rc != 0) return false;
        join[k].cv = arc, join_tag[k] = BSJOIN_ARC, join_dist[k] = dmax2;
        continue;
      }
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
      if (!straight_or_tip(false)) return false;
      continue;
    }
    if (*rc != 0) {
      drop();
      return false;
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
    if (*rc != 0) return false;
    // A round join that the pieces reach unchanged fills no more than the disc of the larger distance about the
    // corner, which both legs' bands hold: a stretch inside it lies inside a band already, and none that keeps clear
    // of the bands comes near it. It is left out of the clearing, and its outline is not traced.
    if (join[k].cv && (join_tag[k] == BSJOIN_ARC || chord[k]) && !lj.past && !li.past) {
      double e[3], s[3];
      pole_point(piece[k].cv, piece[k].cv->num_poles - 1, e);
      pole_point(piece[kn].cv, 0, s);
      if (e[0] == E[0] && e[1] == E[1] && s[0] == S[0] && s[1] == S[1]) {
        Fill round;
        round.add(E), round.add(S);
        if (!trace(join[k].cv, nullptr, true, &round, rc)) return false;
        if (within_of(round, V, dmax2 + cl.margin)) continue;
      }
    }
    Fill &fill = cl.fills[k];
    fill.add(V), fill.add(E);
    if (!trace(piece[k].cv, E, true, &fill, rc) || (join[k].cv && !trace(join[k].cv, nullptr, true, &fill, rc)) ||
        !trace(piece[kn].cv, S, false, &fill, rc))
      return false;
    fill.add(S);
  }
  for (const Fill &fill : cl.fills) cl.fill_boxes.add(fill.lo, fill.hi, 0.0);
  cl.fill_boxes.build();
  return true;
}

// The stretches in chain order, each piece followed by its corner's join.
void lay_stretches(Run &r) {
  const LegChain &c = r.c;
  Clearing &cl = r.cl;
  const std::vector<Leg> &legs = cl.legs;
  const std::vector<int> &alive = r.alive;
  const int a = r.a;
  std::vector<OwnedCurve> &piece = r.piece, &join = r.join;
  const std::vector<int> &join_tag = r.join_tag;
  const std::vector<double> &join_dist = r.join_dist;
  const std::vector<char> &chord = r.chord;
  cl.parts.reserve(static_cast<std::size_t>(2 * a + 2));
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
}

// An open chain's ends are capped: an offset that passes round an end within the distance of it follows the
// cap there from where it is cut to where it comes clear again.
bool cap_ends(Run &r, int *rc) {
  const LegChain &c = r.c;
  Clearing &cl = r.cl;
  const std::vector<Leg> &legs = cl.legs;
  const std::vector<int> &alive = r.alive;
  r.np = static_cast<int>(cl.parts.size());
  for (int e = 0; e < 2 && !c.closed; ++e) {
    const int at = e ? alive.back() : alive.front();
    const Leg &leg = legs[at];
    double W[6], T[3];
    BScveval_n(leg.cv, e ? end_of(leg.cv) : start_of(leg.cv), 1, W, rc);
    if (*rc != 0) return false;
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
      return false;
    }
    cap.tag = BSJOIN_ARC, cap.dist = leg.dist, cap.bridge = true;
    cap.near[0] = at, cap.near_end[0] = e;
    cl.parts.push_back(cap);
  }
  return true;
}

}  // namespace bsoffset::clearance

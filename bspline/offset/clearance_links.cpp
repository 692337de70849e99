// The clearing's links and assembly: kept stretches that run along one another dropped, each kept stretch linked to
// the one that goes on where it ends, two cuts that meet put on their crossing, the runs followed from one kept
// stretch to the next, and the pieces handed out, those of one component joined into one.
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

namespace {

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
  // Offsets of lines and arcs are exact: twins lie on one line or circle within the roundings, and a stretch whose
  // middle lies off the other by more is a part of the offset of its own (a tiny chain's spike, the match a tenth
  // of the distance there, would lie within the match of the stretch beside it). Other offsets stray from the true
  // one by up to the offset tolerance, and so may their twins.
  bool exact = true;
  for (std::size_t k = 0; k < cl.legs.size(); ++k)
    exact = exact && (cl.shapes[k].kind == Piece::kLines || cl.shapes[k].kind == Piece::kArc);
  const double on_it = exact ? std::min(match, std::max(sliver, BStoltab[bstol::dist_tol])) : match;
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
    if (!(gap <= on_it && u > y.t[0] && u < y.t[1])) return true;
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

}  // namespace

// Two offsets that lie on one line or circle both keep their common stretch where the legs between them vanish
// (a notch or a bump as deep as its neighbours' steps): the loop between them has no width. Followed twice, one
// copy leads off from the other's cut and the offset breaks there; a kept stretch that runs along another gives
// way to it (the earlier of two that run along each other, as where one starts on the other).
bool link_kept(Run &r, int *rc) {
  const LegChain &c = r.c;
  const Clearing &cl = r.cl;
  std::vector<Kept> &kept = r.kept;
  const double match = r.match;
  const int np = r.np;
  if (!drop_twins(cl, match, 2 * std::sqrt(2 * cl.margin * r.dmax), &kept, rc)) return false;
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
      if (!(flat.cv = flat_copy(xc, rc))) return false;
      const double at[3] = {y.p[0][0], y.p[0][1], 0.0};
      double u = 0, foot[3], gap = 0;
      BSmdstptcv(flat.cv, at, &u, foot, &gap, rc);
      if (*rc != 0) return false;
      if (!(gap <= match && u > x.t[0] && u < x.t[1])) continue;
      double tx[6], ty[6];
      BScveval_n(xc, u, 1, tx, rc);
      if (*rc == 0) BScveval_n(cl.parts[y.stretch].cv, y.t[0], 1, ty, rc);
      if (*rc != 0) return false;
      const double along = tx[3] * ty[3] + tx[4] * ty[4], across = tx[3] * ty[4] - tx[4] * ty[3];
      if (!(along > 0 && std::fabs(across) <= 1e-9 * along)) continue;
      x.t[1] = u, x.cut[1] = true, x.next = q, y.has_prev = true;
      for (int e = 0; e < 3; ++e) x.p[1][e] = y.p[0][e];
      break;
    }
  }
  return true;
}

namespace {

// Where the stretch of y is a line's offset whose start a corner that hardly turns cut off past the crossing with
// x (the roundings of the corner's two bands put their cut anywhere along the margin over the turn), y's line
// runs on back to where x crosses it: *met where it does, within the match, and what x or the line gains comes no
// nearer to a band than the roundings; then *u on x and the point pt. The piece of y then starts there, its end
// pole moved along its own line.
bool onto_line(const Run &r, const Kept &x, const Kept &y, double lo, bool *met, double *u, double pt[3], int *rc) {
  const Clearing &cl = r.cl;
  const double match = r.match;
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
  if (s > x.t[1] && !stays_clear(r, x.stretch, xc, x.t[1], s, &clear, rc)) return false;
  if (!clear) return true;
  // The line's run back: the segment from pt to y's start.
  OwnedCurve run;
  if (!(run.cv = segment(pt, y.p[0], rc))) return false;
  if (!stays_clear(r, y.stretch, run.cv, start_of(run.cv), end_of(run.cv), &clear, rc)) return false;
  *met = clear, *u = s;
  return true;
}

}  // namespace

// Where a cut meets a cut on another stretch apart from it, both are put on the crossing of the two. Of a chain of
// lines and arcs, whose offsets are exact, two cuts that one leg's band made where the two stretches cross inside
// it are not joined: the offset falls apart there. Nor are two such cuts farther apart than the distance tolerance
// where their stretches do not cross between them: joined, the gap would be closed by moving a piece's end pole,
// which bends an arc's offset, or tilts a line's, into the band beside it.
bool meet_cuts(Run &r, int *rc) {
  const Clearing &cl = r.cl;
  std::vector<Kept> &kept = r.kept;
  const int nl = static_cast<int>(cl.legs.size()), nk = static_cast<int>(kept.size());
  const double match = r.match;
  bool exact = true;
  for (int k = 0; k < nl; ++k)
    exact = exact && (cl.shapes[k].kind == Piece::kLines || cl.shapes[k].kind == Piece::kArc);
  for (int k = 0; k < nk; ++k) {
    Kept &x = kept[k];
    if (x.next < 0 || !x.cut[1]) continue;
    Kept &y = kept[x.next];
    if (flat_gap(x.p[1], y.p[0]) <= 1e-12 * cl.scale) continue;
    OwnedCurve fa, fb;
    if (!(fa.cv = flat_copy(cl.parts[x.stretch].cv, rc)) || !(fb.cv = flat_copy(cl.parts[y.stretch].cv, rc)))
      return false;
    Crossings xs;
    xs.find(fa.cv, fb.cv, rc);
    if (*rc != 0) return false;
    const double mid[3] = {0.5 * (x.p[1][0] + y.p[0][0]), 0.5 * (x.p[1][1] + y.p[0][1]), 0.0};
    // The crossing leaves each of the two a stretch that can be cut out of its piece.
    double kx = 0, ky = 0;
    knot_tolerance(fa.cv, &kx, rc);
    if (*rc == 0) knot_tolerance(fb.cv, &ky, rc);
    if (*rc != 0) return false;
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
        if (*rc != 0) return false;
        bool onto = false;
        if (!onto_line(r, x, y, x.t[0] + kx, &onto, &u, pt, rc)) return false;
        if (onto) {
          x.t[1] = u;
          for (int e = 0; e < 3; ++e) x.p[1][e] = y.p[0][e] = pt[e];
          continue;
        }
        if (exact && flat_gap(x.p[1], y.p[0]) > BStoltab[bstol::dist_tol]) x.next = -1, y.has_prev = false;
        continue;
      }
      BScveval_n(fa.cv, u, 0, pt, rc);
      if (*rc != 0) return false;
      if (!(flat_gap(pt, mid) <= match)) {
        if (exact && flat_gap(x.p[1], y.p[0]) > BStoltab[bstol::dist_tol]) x.next = -1, y.has_prev = false;
        continue;
      }
    }
    bool apart = false;
    if (exact && !crossing_in_band(cl, x.p[1], pt, y.p[0], &apart, rc)) return false;
    if (apart) {
      x.next = -1, y.has_prev = false;
      continue;
    }
    x.t[1] = u, y.t[0] = v;
    BScveval_n(cl.parts[x.stretch].cv, x.t[1], 0, x.p[1], rc);
    if (*rc == 0) BScveval_n(cl.parts[y.stretch].cv, y.t[0], 0, y.p[0], rc);
    if (*rc != 0) return false;
  }
  return true;
}

namespace {

// A cut end of the first or last leg's offset starts the chain's own run only where it lies at the distance from
// that leg: a piece of a corner's extension past the leg's end that keeps clear beyond another leg lies apart,
// its way back to its leg crossing the chain.
bool cut_on_leg(const Run &r, const Kept &x, int e, bool *on, int *rc) {
  const Clearing &cl = r.cl;
  const Stretch &s = cl.parts[x.stretch];
  double foot[2];
  const double g = cl.shapes[s.own].distance(x.p[e], foot, rc);
  *on = g <= cl.legs[s.own].dist + r.match;
  return *rc == 0;
}

// Whether a kept stretch runs along its leg's own offset for more than the match, not only along a corner's
// extension of it.
bool on_own_offset(const Run &r, const Kept &x, bool *own, int *rc) {
  const Clearing &cl = r.cl;
  *own = false;
  const Stretch &st = cl.parts[x.stretch];
  if (st.own < 0 || st.bridge) return true;
  const VOQbsp_curve *off = cl.legs[st.own].off;
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
  *own = flat_gap(a, b) > r.match;
  return true;
}

// Whether a point of a kept stretch lies behind a leg of lines: beyond its band, and nearer by more than the match
// to a point inside the leg on the side away from the offset than to any other leg. Such a point lies on no
// offset of the chain to that side; its way round to the leg whose offset it follows crosses the chain. (A cut
// where the back edge of a band walls a stretch in lies on that edge.)
bool behind_a_leg(const Run &r, const Kept &x, bool *behind, int *rc) {
  const LegChain &c = r.c;
  const Clearing &cl = r.cl;
  const double match = r.match, dmin = r.dmin;
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
      // The leg's way at the foot: a line's own, an arc's square to its radius there in the sweep's sense.
      const double *a = sh.ends[0], *b = sh.ends[1], s = sh.sweep < 0 ? -1.0 : 1.0;
      const double tx = sh.kind == Piece::kArc ? -s * (foot[1] - sh.c[1]) : b[0] - a[0];
      const double ty = sh.kind == Piece::kArc ? s * (foot[0] - sh.c[0]) : b[1] - a[1];
      const double n[2] = {c.side * ty * c.normal[2], -c.side * tx * c.normal[2]};
      const bool inside = !(foot[0] == a[0] && foot[1] == a[1]) && !(foot[0] == b[0] && foot[1] == b[1]);
      const bool away = (p[0] - foot[0]) * n[0] + (p[1] - foot[1]) * n[1] < 0;
      if (sh.kind != Piece::kCurve && inside && away && g > sh.d + match) back = std::min(back, g);
      else other = std::min(other, g);
    }
    *behind = back < std::min(other, bound) - match;
  }
  return true;
}

}  // namespace

// Runs followed from each kept stretch with nothing before it (any, on a closed chain), a cap left out where a
// run would begin or end on it. A run comes from the chain's start where it begins with the first leg's offset
// (cut there too, where a leg the chain crosses back over swallows its start) or round the start's cap (the start
// swallowed), and goes to its end likewise.
bool follow_runs(Run &r, int *rc) {
  const LegChain &c = r.c;
  const Clearing &cl = r.cl;
  std::vector<Kept> &kept = r.kept;
  const int nl = static_cast<int>(cl.legs.size()), nk = static_cast<int>(kept.size()), np = r.np;
  std::vector<int> &order = r.order;
  std::vector<std::vector<int>> runs;
  std::vector<char> at_end;
  const auto on_cap = [&](const Kept &x, int e) {
    return cl.parts[x.stretch].bridge && cl.parts[x.stretch].near_end[0] == e;
  };
  bool exact = true, lines_only = true;
  for (int k = 0; k < nl; ++k) {
    exact = exact && cl.shapes[k].kind != Piece::kCurve;
    lines_only = lines_only && cl.shapes[k].kind == Piece::kLines;
  }
  for (int pass = 0; pass < 2; ++pass)
    for (int k = 0; k < nk; ++k) {
      if (kept[k].used || (pass == 0 && kept[k].has_prev)) continue;
      std::vector<int> run;
      for (int q = k; q >= 0 && !kept[q].used; q = kept[q].next) kept[q].used = true, run.push_back(q);
      const Kept &first = kept[run.front()], &last = kept[run.back()];
      const bool rings = last.next == run.front();
      bool from_cut = false, to_cut = false;
      if (!c.closed && first.stretch == 0 && first.cut[0] && !cut_on_leg(r, first, 0, &from_cut, rc)) return false;
      if (!c.closed && last.stretch == np - 1 && last.cut[1] && !cut_on_leg(r, last, 1, &to_cut, rc)) return false;
      const bool ends = on_cap(first, 0) || (first.stretch == 0 && (!first.cut[0] || from_cut)) || on_cap(last, 1) ||
                        (last.stretch == np - 1 && (!last.cut[1] || to_cut));
      while (!run.empty() && cl.parts[kept[run.back()].stretch].bridge) run.pop_back();
      std::size_t lead = 0;
      while (lead < run.size() && cl.parts[kept[run[lead]].stretch].bridge) ++lead;
      run.erase(run.begin(), run.begin() + static_cast<std::ptrdiff_t>(lead));
      // An offset of lines, whatever its corners, keeps a stretch of a leg's own offset line that other legs cut
      // off at both ends, as the corner road (whose chains turning back past a half turn come here) keeps every
      // leg's line where it has room; what runs along corners' extensions alone is a mitre's tip beyond the chain,
      // and goes. With arcs such a run is kept where it closes on itself: the edge of a room the chain walls in
      // (behind a mouth narrower than twice the distance); an arc's offset that runs on apart past a crossing of
      // the chain lies on the far side of a leg. Straight corners extend a leg's offset towards the connecting
      // line past the leg's end, and a run apart that follows such an extension round beyond another leg is no
      // part of the offset: with them a run apart is kept only where no point of it lies behind a leg.
      bool own = false;
      if (!c.closed && !ends && (lines_only || (exact && rings)))
        for (std::size_t q = 0; q < run.size() && !own; ++q)
          if (!on_own_offset(r, kept[run[q]], &own, rc)) return false;
      for (std::size_t q = 0; q < run.size() && own && c.option == 2; ++q) {
        bool behind = false;
        if (!behind_a_leg(r, kept[run[q]], &behind, rc)) return false;
        own = !behind;
      }
      if (!run.empty()) runs.push_back(run), at_end.push_back(ends || own);
    }
  // An open chain's offset is what runs from the offset of its start or to that of its end, and also what runs
  // along a leg's own offset between the bands of others (with arcs, round a room the chain walls in); what else
  // keeps clear lies apart from it, about a chain that crosses itself.
  if (!c.closed) {
    std::vector<std::vector<int>> ends;
    for (std::size_t q = 0; q < runs.size(); ++q)
      if (at_end[q]) ends.push_back(runs[q]);
    if (!ends.empty()) runs.swap(ends);
  }
  for (const std::vector<int> &run : runs) order.insert(order.end(), run.begin(), run.end());
  if (order.empty()) {
    *rc = BSRC_NO_JOIN;
    return false;
  }
  // A closed chain's offset that does not close on itself starts after its first joint, so that the break lies
  // between two of its pieces, where it is seen; a single kept stretch that does not close is handed back as its
  // second half before its first.
  if (c.closed && order.size() == 1 && kept[order[0]].next != order[0]) {
    Kept half = kept[order[0]];
    const double mid = 0.5 * (half.t[0] + half.t[1]);
    half.t[1] = mid, half.cut[1] = false;
    BScveval_n(cl.parts[half.stretch].cv, mid, 0, half.p[1], rc);
    if (*rc != 0) return false;
    Kept &rest = kept[order[0]];
    rest.t[0] = mid, rest.cut[0] = false, rest.next = -1;
    for (int e = 0; e < 3; ++e) rest.p[0][e] = half.p[1][e];
    half.next = order[0];
    order.push_back(static_cast<int>(kept.size()));
    kept.push_back(half);
  } else if (c.closed && order.size() > 1 && kept[order.back()].next != order.front()) {
    std::rotate(order.begin(), order.begin() + 1, order.end());
  }
  return true;
}

namespace {

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

}  // namespace

// The pieces: a stretch that follows another starts exactly where that one ends, and the stretches of one
// component's offset that follow each other (a polyline's legs and their corners) are one piece again.
void hand_out(Run &r, int room, int *m, VOQbsp_curve **out, int *tags, double *odist, int *rc) {
  const LegChain &c = r.c;
  const Clearing &cl = r.cl;
  const std::vector<Kept> &kept = r.kept;
  const std::vector<int> &order = r.order;
  const double match = r.match;
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
    if (!made.cv) return;
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
    if (!flush()) return;
    if (*m >= room) {
      // An offset that falls apart anyway is reported so, whatever of it does not fit left out.
      bool broken = c.closed && kept[order.back()].next != order.front();
      for (std::size_t r = 0; r + 1 < order.size(); ++r) broken = broken || kept[order[r]].next != order[r + 1];
      *rc = broken ? 47 : BSRC_OUT_OF_RANGE;
      return;
    }
    out[*m] = made.cv, made.cv = nullptr;
    tags[*m] = s.parent >= 0 ? c.num[s.parent] : s.tag, odist[*m] = s.dist;
    ++*m;
  }
  if (!flush()) return;
  if (*m == 0) {
    *rc = BSRC_NO_JOIN;
    return;
  }
  // A closed chain's last piece ends where its first starts.
  if (c.closed && *m > 1 && kept[order.back()].next == order.front()) {
    double e[3], s0[3];
    pole_point(out[*m - 1], out[*m - 1]->num_poles - 1, e);
    pole_point(out[0], 0, s0);
    if (flat_gap(e, s0) <= match) set_pole(out[*m - 1], out[*m - 1]->num_poles - 1, s0);
  }
}

}  // namespace bsoffset::clearance

// The offset of a closed curve closed again at the curve's closing point, which is a corner like any other:
// nothing to do where the curve is smooth, the overlapping tails cut off at their crossing on the inner side, a
// corner join added on the outer side. Beside it, the two small steps every join of offset pieces needs: one
// order for both curves, and the join of two curves whose end and start meet.
#include <algorithm>
#include <cmath>
#include <utility>

#include "bspline/core/exit.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "bspline/offset.h"
#include "bspline/offset/offset_internal.h"
#include "bspline/offset/whole_offset_internal.h"

namespace {

using bsoffset::OwnedCurve;

// Tolerance entry 1 as the caller left it, put back on every way out: scaling it up and down again would not
// give the same bits back for most values.
struct DistTolGuard {
  double saved = BStoltab[bstol::dist_tol];
  DistTolGuard() = default;
  DistTolGuard(const DistTolGuard &) = delete;
  DistTolGuard &operator=(const DistTolGuard &) = delete;
  ~DistTolGuard() {
    int ignored = 0;
    BSchangepar(&ignored, bstol::dist_tol, saved);
  }
};

// The crossing of the offset's tails, as (u0, u1) on the offset: u0 on the first part, u1 on the second. Of
// several crossings the one latest on the second part; an overlap alone counts as a find.
bool tails_cross(VOQbsp_curve *first, VOQbsp_curve *second, double *u0, double *u1, int *rc) {
  for (VOQbsp_curve *c : {first, second})
    for (int i = 0; i < c->num_poles; ++i) c->poles[3 * i + 2] = 0.0;
  bsoffset::Crossings x;
  BSboolean int_alloc = BSFALSE, over_alloc = BSFALSE;
  BScvcvint(first, second, BSTRUE, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &x.n_int, &x.n_over,
            &int_alloc, &over_alloc, &x.pts, &x.par1, &x.par2, &x.over_pts, &x.over1, &x.over2, rc);
  if (*rc != 0) return false;
  if (x.n_int > 0) {
    int best = 0;
    for (int i = 1; i < x.n_int; ++i)
      if (x.par2[i] >= x.par2[best]) best = i;
    *u0 = x.par1[best], *u1 = x.par2[best];
    return true;
  }
  if (x.n_over > 0) {
    *u0 = x.over1[1], *u1 = x.over2[1];
    return true;
  }
  return false;
}

// Span index s of cv (order - 1 .. num_poles - 1) into a fresh record.
bool span_copy(const VOQbsp_curve *cv, int s, OwnedCurve *out, int *rc) {
  out->release();
  BSallocvoqcv(cv->order, cv->order, cv->rational, 0, &out->cv, rc);
  const BSboolean no = BSFALSE;
  return *rc == 0 && BSextrcvspn(rc, &s, cv, out->cv, &no, &no);
}

// The inner closing corner: the offset W cut at the crossing of its tails into *kept.
void cut_tails(VOQbsp_curve *W, OwnedCurve *kept, int *rc) {
  const int k = W->order, n = W->num_poles;
  int spans[2] = {-1, -1}, last[2] = {-1, -1}, count = 0;  // the first two and the last two spans of some length
  for (int s = k - 1; s <= n - 1; ++s)
    if (W->knots[s + 1] > W->knots[s]) {
      if (count < 2) spans[count] = s;
      last[0] = last[1], last[1] = s;
      ++count;
    }
  double u0 = 0, u1 = 0;
  bool found = false;
  OwnedCurve first, second;
  if (count < 2) {
    const double mid = (bsoffset::start_of(W) + bsoffset::end_of(W)) / 2;
    BSallocvoqcv(k, n + k, W->rational, 0, &first.cv, rc);
    if (*rc == 0) BSallocvoqcv(k, n + k, W->rational, 0, &second.cv, rc);
    const BSboolean no = BSFALSE;
    if (*rc == 0) BScvsplit(rc, W, &mid, first.cv, second.cv, &no);
    if (*rc == 0 && (first.cv->num_poles == 0 || second.cv->num_poles == 0)) *rc = BSRC_NULL_VECTOR;
    if (*rc == 0) found = tails_cross(first.cv, second.cv, &u0, &u1, rc);
    if (*rc == 0 && !found) *rc = BSRC_NULL_VECTOR;
  } else {
    // The last span against the first, then the last against the second, then the one before the last against
    // the first; a pair that is one span twice is no pair.
    const int pairs[3][2] = {{last[1], spans[0]}, {last[1], spans[1]}, {last[0], spans[0]}};
    for (int p = 0; p < 3 && *rc == 0 && !found; ++p) {
      if (pairs[p][0] == pairs[p][1]) continue;
      if (span_copy(W, pairs[p][0], &first, rc) && span_copy(W, pairs[p][1], &second, rc))
        found = tails_cross(first.cv, second.cv, &u0, &u1, rc);
    }
    if (*rc == 0 && !found) {
      OwnedCurve flat;
      flat.cv = bswhole::copy_of(W, rc);
      if (*rc != 0) return;
      for (int i = 0; i < n; ++i) flat.cv->poles[3 * i + 2] = 0.0;
      int n_int = 0, n_over = 0;
      double *f = nullptr, *s = nullptr, *ofs = nullptr, *ofe = nullptr, *oss = nullptr, *ose = nullptr;
      BScv_slfint(rc, flat.cv, &n_int, &f, &s, &n_over, &ofs, &ofe, &oss, &ose);
      if (*rc == 0 && n_int > 0) {
        int best = 0;
        for (int i = 1; i < n_int; ++i)
          if (s[i] >= s[best]) best = i;
        u0 = f[best], u1 = s[best], found = true;
      } else if (*rc == 0 && n_over > 0) {
        u0 = ofs[0], u1 = oss[0], found = true;
      }
      for (double *p : {f, s, ofs, ofe, oss, ose}) BSdbgfree(p);
      if (*rc == 0 && !found) *rc = BSRC_TRIM_FAILED;
    }
  }
  if (*rc != 0) return;
  // The kept part runs from the crossing near the start to the crossing near the end, whichever part each
  // parameter was found on.
  const double lo = std::min(u0, u1), hi = std::max(u0, u1);
  BSallocvoqcv(k, n, W->rational, 0, &kept->cv, rc);
  const BSboolean no = BSFALSE;
  if (*rc == 0) BSactivsplt(rc, W, &lo, &hi, kept->cv, &no);
  if (*rc == 0) kept->cv->phy_closed = 0;
}

// The cut offset with a short line from its end to its start merged on, into *out.
void close_by_line(VOQbsp_curve **kept, VOQbsp_curve **out, int *rc) {
  VOQbsp_curve *c = *kept;
  double t = 0;
  bsoffset::knot_tolerance(c, &t, rc);
  if (*rc != 0) return;
  const int k = c->order, n = c->num_poles;
  for (int i = n; i < n + k; ++i) c->knots[i] -= 1.1 * t;
  const double e = c->knots[n];
  double from[3], to[3];
  bsoffset::pole_point(c, n - 1, from);
  bsoffset::pole_point(c, 0, to);
  OwnedCurve line;
  bswhole::line_curve(from, to, e, e + 1.1 * t, &line.cv, rc);
  if (*rc != 0) return;
  std::int16_t order = 0;
  BSboolean rational = BSFALSE;
  int np = 0;
  BSofupdeg(kept, &line.cv, &order, &rational, &np, rc);
  if (*rc == 0) BSallocvoqcv(order, np, rational, 0, out, rc);
  if (*rc == 0) BSmergecvnn(*kept, line.cv, *out, rc);
  if (*rc == BSRC_DEGENERATE_INPUT) *rc = 0;  // a point-like piece was merged: the result is complete
}

}  // namespace

void BSofupdeg(VOQbsp_curve **a, VOQbsp_curve **b, std::int16_t *order, BSboolean *rational, int *num_poles,
               int *rc) {
  *rc = 0;
  if (!a || !b || !*a || !*b || !order || !rational || !num_poles) {
    *rc = BSRC_NULL_CURVE;
  } else if (BScvcheck(*a) != 0 || BScvcheck(*b) != 0) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    VOQbsp_curve **low = (*a)->order < (*b)->order ? a : b;
    const int k = std::max((*a)->order, (*b)->order);
    if ((*low)->order < k) BSupthedeg(*low, static_cast<std::int16_t>(k - 1), BSFALSE, low, rc);
    if (*rc == 0) {
      *order = static_cast<std::int16_t>(k);
      *rational = (*a)->rational || (*b)->rational ? BSTRUE : BSFALSE;
      *num_poles = (*a)->num_poles + (*b)->num_poles - 1;
    }
  }
  BSexit(rc, "BSofupdeg", "bsofupdeg");
}

void BSofcvjoin(const VOQbsp_curve *a, const VOQbsp_curve *b, VOQbsp_curve *out, int *rc) {
  *rc = 0;
  if (!a || !b || !out) {
    *rc = BSRC_NULL_CURVE;
  } else if (BScvcheck(a) != 0 || BScvcheck(b) != 0) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    double p[3], q[3];
    bsoffset::pole_point(a, a->num_poles - 1, p);
    bsoffset::pole_point(b, 0, q);
    const double sq = (p[0] - q[0]) * (p[0] - q[0]) + (p[1] - q[1]) * (p[1] - q[1]) + (p[2] - q[2]) * (p[2] - q[2]);
    if (!(sq <= 100 * BStoltab[bstol::dist_sqtol]))
      *rc = BSRC_TRIM_FAILED;
    else
      BS2cvsto1(rc, a, b, out);
  }
  BSexit(rc, "BSofcvjoin", "bsofcvjoin");
}

void BSofmkcls(const VOQbsp_curve *curve, const VOQbsp_curve *offset, const VOQbsp_curve *last_piece,
               const VOQbsp_curve *first_piece, const double normal[3], std::int16_t corner, double dist, int side,
               VOQbsp_curve **out, int *rc) {
  *rc = 0;
  const DistTolGuard tol;
  OwnedCurve W, result;
  do {
    if (!curve || !offset || !last_piece || !first_piece || !normal || !out) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    *out = nullptr;
    for (const VOQbsp_curve *c : {curve, offset, last_piece, first_piece})
      if (*rc == 0) *rc = BScvcheck(c);
    if (*rc != 0) break;
    if (!std::isfinite(dist) || (side != 1 && side != -1) || !BSallfinite(3, normal) || curve->order < 2 ||
        offset->order < 2) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    W.cv = bswhole::copy_of(offset, rc);
    if (*rc != 0) break;
    if (!curve->phy_closed) {
      std::swap(result.cv, W.cv);
      break;
    }
    // End poles are the end points only once the offset is clamped.
    W.cv->phy_closed = 0;
    if (!BScnvtomkt(rc, W.cv)) break;
    const double d = std::fabs(dist);
    const int sd = dist < 0 ? -side : side;
    double E[3], Te[3], S[3], Ts[3];
    if (!bswhole::end_direction(curve, true, E, Te, rc) || !bswhole::end_direction(curve, false, S, Ts, rc)) break;
    const double p0[3] = {E[0] - Te[0], E[1] - Te[1], 0}, p1[3] = {E[0], E[1], 0},
                 p2[3] = {E[0] + Ts[0], E[1] + Ts[1], 0};
    int kind = 1;
    if (!BSzigzag(rc, p0, p1, p2, normal, &sd, &kind)) break;
    if (kind == 2) {
      OwnedCurve kept;
      cut_tails(W.cv, &kept, rc);
      if (*rc != 0) break;
      double a[3], b[3];
      bsoffset::pole_point(kept.cv, 0, a);
      bsoffset::pole_point(kept.cv, kept.cv->num_poles - 1, b);
      if (BSpdist(rc, a, b) < BStoltab[bstol::dist_tol])
        std::swap(result.cv, kept.cv);
      else
        close_by_line(&kept.cv, &result.cv, rc);
    } else if (kind == 3) {
      OwnedCurve arc;
      int code = BSJOIN_NONE;
      BSofk3arc(last_piece, first_piece, W.cv, W.cv, corner, d, d, normal, sd, &code, &arc.cv, rc);
      if (*rc != 0) break;
      if (!arc.cv) {
        std::swap(result.cv, W.cv);
      } else {
        BSchangepar(rc, bstol::dist_tol, 5 * tol.saved);
        std::int16_t order = 0;
        BSboolean rational = BSFALSE;
        int np = 0;
        if (*rc == 0) BSofupdeg(&W.cv, &arc.cv, &order, &rational, &np, rc);
        if (*rc == 0) BSallocvoqcv(order, np, rational, 0, &result.cv, rc);
        double h = 0;
        if (*rc == 0) bsoffset::knot_tolerance(arc.cv, &h, rc);
        h *= 1.1;
        const double s = bsoffset::start_of(W.cv), e = bsoffset::end_of(W.cv);
        if (*rc == 0) BSofrparcv(W.cv, s, e - h, rc);
        if (*rc == 0) BSofrparcv(arc.cv, e - 2 * h, e - h, rc);
        W.cv->phy_closed = 0, arc.cv->phy_closed = 0;
        if (*rc == 0) BSofcvjoin(W.cv, arc.cv, result.cv, rc);
        if (*rc == 0) BSofrparcv(result.cv, s, e - h, rc);
      }
    } else {
      std::swap(result.cv, W.cv);
    }
    if (*rc != 0) break;
    bswhole::close_end_poles(result.cv);
    result.cv->phy_closed = 1;
  } while (false);
  if (*rc == 0 && out) *out = result.cv, result.cv = nullptr;
  BSexit(rc, "BSofmkcls", "bsofmkcls");
}

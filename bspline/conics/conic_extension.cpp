// Conic arcs continued along their own conic: an elliptical or circular arc completed to the whole closed curve,
// a parabolic or hyperbolic arc lengthened at both ends by one segment each, and an arc lengthened or shortened
// at one end by a given arc length.
#include "bspline/conics.h"
#include "bspline/core/exit.h"
#include "bspline/distance.h"
#include "bspline/extend.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/measure.h"
#include "bspline/offset.h"

#include <algorithm>
#include <cmath>

using bsknots::plain_view;

namespace {

// The one- to three-segment pieces that the extension builds.
using PieceRecord = bsknots::FixedCurve<7, 3>;

double distance(const double a[3], const double b[3]) { return std::sqrt(bsknots::squared_distance(a, b)); }

bool is_conic_type(std::int16_t type) { return type >= BSCONIC_PARABOLA && type <= BSCONIC_CIRCLE; }

// One end piece of a parabola or hyperbola from the Bezier segment b (unweighted) with weights w: the piece after
// the segment's end (after) or before its start, as poles p0, p1, p2 (unweighted) and middle weight *wmid. The
// shoulder s places the new far end; f, h and F are the weights of the segment re-expanded there. False when the
// segment is not an open conic segment (an ellipse declared a hyperbola gives q > 1) or a divisor vanishes.
bool end_piece(bool after, bool hyperbola, const double b[3][3], const double w[3], double p[3][3], double *wmid) {
  if (w[1] == 0) return false;
  const double q = hyperbola ? w[0] * w[2] / (w[1] * w[1]) : 1.0;
  if (!(q <= 1)) return false;
  const double root = std::sqrt(1 - q), sum = w[0] + 2 * w[1] + w[2];
  const double s = after ? 0.1 + 0.9 * ((1 + root) * w[1] + w[0]) / sum : 0.9 * ((w[0] + w[1]) - root * w[1]) / sum;
  const double f = (1 - s) * w[0] - s * w[1], h = s * w[2] - (1 - s) * w[1];
  if (f == 0 || h == 0) return false;
  const double ga = -s * w[1] / f, gc = s * w[2] / h, F = f * (1 - s) + s * h;
  if (F == 0) return false;
  const double t = s * h / F;
  double a[3], c[3], m[3];
  for (int i = 0; i < 3; ++i) {
    a[i] = (1 - ga) * b[0][i] + ga * b[1][i];
    c[i] = gc * b[2][i] + (1 - gc) * b[1][i];
    m[i] = (1 - t) * a[i] + t * c[i];
  }
  // The middle weight of the piece takes the weight of the old segment's pole that the piece's middle pole
  // continues: f for the piece before (pole a, from b0 and b1), h for the piece after (pole c, from b1 and b2).
  const double end_w = after ? w[2] : w[0];
  const double wm = hyperbola ? std::fabs(after ? h : f) / std::sqrt(F * end_w) : 1.0;
  const double *rows[3] = {after ? b[2] : m, after ? c : a, after ? m : b[0]};
  for (int r = 0; r < 3; ++r)
    for (int i = 0; i < 3; ++i) p[r][i] = rows[r][i];
  *wmid = wm;
  return std::isfinite(wm) && wm > 0 && BSallfinite(9, &p[0][0]);
}

// Writes a one-segment piece on 0 0 0 1 1 1 into rec.
void write_piece(const double p[3][3], double wmid, BSboolean rational, VOQbsp_curve *rec) {
  rec->order = 3;
  rec->periodic = 0;
  rec->non_uniform = 1;
  rec->num_poles = 3;
  rec->num_knots = 6;
  for (int i = 0; i < 6; ++i) rec->knots[i] = i < 3 ? 0.0 : 1.0;
  const double w[3] = {1.0, rational ? wmid : 1.0, 1.0};
  for (int r = 0; r < 3; ++r)
    for (int i = 0; i < 3; ++i) rec->poles[3 * r + i] = p[r][i] * w[r];
  rec->rational = rational;
  if (rational)
    for (int r = 0; r < 3; ++r) rec->weights[r] = w[r];
  rec->planar = 1;
  rec->phy_closed = 0;
  rec->num_boundaries = 0;
  rec->bdrys = nullptr;
}

// The curve's first or last span as an unweighted Bezier triangle with its weights (1 for a polynomial curve).
bool span_triangle(int *rc, const VOQbsp_curve &cv, bool last, double b[3][3], double w[3]) {
  PieceRecord bz;
  const int span = last ? cv.num_poles - 1 : cv.order - 1, three = 3;
  const BSboolean no = BSFALSE;
  if (!BSspn_t_bz(rc, &span, &cv, &bz.cv, &no, &no)) return false;
  for (int i = 0; i < 3; ++i) w[i] = cv.rational ? bz.weights[i] : 1.0;
  if (cv.rational) return BSunwght_p(rc, bz.poles, bz.weights, &three, &b[0][0]) != 0 && *rc == 0;
  for (int r = 0; r < 3; ++r)
    for (int i = 0; i < 3; ++i) b[r][i] = bz.poles[3 * r + i];
  return true;
}

}  // namespace

BSboolean BSphypxtnd(int *rc, const std::int16_t *type, const VOQbsp_curve *cv_in, VOQbsp_curve *before,
                     VOQbsp_curve *after) {
  *rc = 0;
  if (!type || !cv_in || !before || !after || !before->poles || !before->knots || !after->poles ||
      !after->knots) {
    *rc = BSRC_NULL_CURVE;
  } else if (*type != BSCONIC_PARABOLA && *type != BSCONIC_HYPERBOLA) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if ((*rc = BScvcheck(cv_in)) != 0) {
  } else if (cv_in->order != 3) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (cv_in->rational && (!before->weights || !after->weights)) {
    *rc = BSRC_NULL_CURVE;
  } else {
    const VOQbsp_curve cv = plain_view(*cv_in);
    const bool hyperbola = *type == BSCONIC_HYPERBOLA;
    double b[3][3], w[3], pa[3][3], pb[3][3], wa = 1, wb = 1;
    // Both pieces are made before either record is written, so that a failure leaves the caller's records alone.
    if (span_triangle(rc, cv, true, b, w) && !end_piece(true, hyperbola, b, w, pa, &wa)) *rc = BSRC_OUT_OF_RANGE;
    if (*rc == 0 && span_triangle(rc, cv, false, b, w) && !end_piece(false, hyperbola, b, w, pb, &wb))
      *rc = BSRC_OUT_OF_RANGE;
    if (*rc == 0) {
      write_piece(pa, wa, cv.rational, after);
      write_piece(pb, wb, cv.rational, before);
    }
  }
  BSexit(rc, "BSphypxtnd", "bsphypxtnd");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSarccomp(int *rc, const double normal[3], const VOQbsp_curve *cv_in, const double *unweighted_poles,
                    VOQbsp_curve *comp) {
  *rc = 0;
  if (!normal || !cv_in || !unweighted_poles || !comp) {
    *rc = BSRC_NULL_CURVE;
  } else if ((*rc = BScvcheck(cv_in)) != 0) {
  } else if (cv_in->num_poles < 3 || cv_in->order != 3 || !BSallfinite(3, normal) ||
             !BSallfinite(3 * cv_in->num_poles, unweighted_poles)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const VOQbsp_curve cv = plain_view(*cv_in);
    const double *P = unweighted_poles;
    const double w[3] = {cv.rational ? cv.weights[0] : 1.0, cv.rational ? cv.weights[1] : 1.0,
                         cv.rational ? cv.weights[2] : 1.0};
    int type = 0;
    double Z[3], a = 0, b = 0, F1[3], F2[3], V1[3], V2[3], M1[3], M2[3];
    BScncprop(rc, normal, P, P + 3, P + 6, &w[0], &w[1], &w[2], &type, Z, &a, &b, F1, F2, V1, V2, M1, M2);
    if (*rc != 0) {
    } else if (type != BSCONIC_ELLIPSE && type != BSCONIC_CIRCLE) {
      *rc = BSRC_OUT_OF_RANGE;
    } else if (cv.phy_closed) {
      *rc = BSRC_ARC_CLOSED;
    } else {
      const double start = cv.knots[cv.order - 1], end = cv.knots[cv.num_poles];
      double s[6], e[6];
      BScveval_n(&cv, start, 1, s, rc);
      if (*rc == 0) BScveval_n(&cv, end, 1, e, rc);
      const double *Ps = s, *Ds = s + 3, *Pe = e, *De = e + 3;
      double ra[3], rb[3], n[3];
      for (int i = 0; i < 3; ++i) ra[i] = Ps[i] - Z[i], rb[i] = Pe[i] - Z[i];
      BSvcross(rc, ra, rb, n);
      if (*rc != 0) {
      } else if (type == BSCONIC_ELLIPSE) {
        double toz[3], dz[3], S[3], mid[3], u = (start + end) / 2;
        for (int i = 0; i < 3; ++i) toz[i] = Z[i] - Ps[i];
        BSvcross(rc, Ds, toz, dz);
        if (n[0] * dz[0] + n[1] * dz[1] + n[2] * dz[2] < 0) {
          // More than half the ellipse: the point opposite an arc point lies on the complement only for arc
          // points between the opposites of the two ends, both of which lie on the arc. Halfway between them is
          // well inside that stretch whatever the arc's parametrisation.
          double opp[2][3], par[2] = {start, end};
          for (int i = 0; i < 3; ++i) opp[0][i] = 2 * Z[i] - Ps[i], opp[1][i] = 2 * Z[i] - Pe[i];
          for (int j = 0; j < 2 && *rc == 0; ++j) {
            BSboolean on = BSFALSE;
            if (BSprptoncv(rc, &cv, opp[j], &par[j], &on) && !on) *rc = BSRC_NOT_CONIC;
          }
          u = (par[0] + par[1]) / 2;
        }
        if (*rc == 0) BScveval_n(&cv, u, 0, mid, rc);
        if (*rc == 0) {
          double TA[3], TB[3];
          for (int i = 0; i < 3; ++i) {
            S[i] = 2 * Z[i] - mid[i];
            TA[i] = Pe[i] + De[i];
            TB[i] = Ps[i] + Ds[i];
          }
          BSconicgen3(rc, Pe, Ps, TA, TB, S, comp, nullptr, nullptr);
        }
      } else {
        // The corner of the first segment gives the plane and the way the arc turns for every sweep; the ends
        // alone lose the plane near a half circle, where their cross product is rounding noise of any direction.
        double corner[3];
        for (int i = 0; i < 3; ++i) corner[i] = P[3 + i] - Z[i];
        BSvcross(rc, ra, corner, n);
        if (*rc == 0) BSprepcarc(rc, Pe, Z, Ps, n, comp, nullptr, nullptr);
      }
    }
  }
  BSexit(rc, "BSarccomp", "bsarccomp");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSconextend(int *rc, const std::int16_t *type, const VOQbsp_curve *cv_in, VOQbsp_curve *out) {
  *rc = 0;
  if (!type || !cv_in || !out || !out->poles || !out->knots || !out->weights) {
    *rc = BSRC_NULL_CURVE;
  } else if (!is_conic_type(*type)) {
    *rc = BSRC_CONIC_TYPE;
  } else if ((*rc = BScvcheck(cv_in)) != 0) {
  } else if (cv_in->order != 3) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    const VOQbsp_curve cv = plain_view(*cv_in);
    const int n = cv.num_poles;
    // Merging a polynomial parabola clears the weights pointer of the record it writes: the caller's array is
    // put back, so that the record keeps the room it came with.
    double *const out_weights = out->weights;
    if (*type == BSCONIC_ELLIPSE || *type == BSCONIC_CIRCLE) {
      bool copy = cv.phy_closed != 0;
      double ps[3], pe[3];
      if (!copy) {
        BScveval_n(&cv, cv.knots[cv.order - 1], 0, ps, rc);
        if (*rc == 0) BScveval_n(&cv, cv.knots[n], 0, pe, rc);
        copy = *rc == 0 && distance(ps, pe) < BStoltab[bstol::dist_tol];
      }
      if (*rc != 0) {
      } else if (copy) {
        for (int i = 0; i < 3 * n; ++i) out->poles[i] = cv.poles[i];
        for (int i = 0; i < n; ++i) out->weights[i] = cv.rational ? cv.weights[i] : 1.0;
        for (int i = 0; i < n + 3; ++i) out->knots[i] = cv.knots[i];
        out->order = 3;
        out->periodic = cv.periodic;
        out->non_uniform = cv.non_uniform;
        out->num_poles = n;
        out->num_knots = n + 3;
        out->rational = 1;
        out->planar = 1;
        out->phy_closed = 1;
        out->num_boundaries = 0;
        out->bdrys = nullptr;
      } else {
        BSscratch<60> store;
        double *unweighted = store.take(3 * static_cast<std::size_t>(n)), normal[3];
        PieceRecord comp;
        if (!unweighted) {
          *rc = BSRC_NO_SCRATCH;
        } else if (cv.rational) {
          BSunwght_p(rc, cv.poles, cv.weights, &n, unweighted);
        } else {
          for (int i = 0; i < 3 * n; ++i) unweighted[i] = cv.poles[i];
        }
        if (*rc == 0 && BScvnormal(rc, &cv, normal) && BSarccomp(rc, normal, &cv, unweighted, &comp.cv))
          BSmergecvnn(&cv, &comp.cv, out, rc);
      }
    } else {
      PieceRecord before, after;
      if (BSphypxtnd(rc, type, &cv, &before.cv, &after.cv)) {
        BSmergecvnn(&before.cv, &cv, out, rc);
        out->weights = out_weights;
        if (*rc == 0) BSmergecvnn(out, &after.cv, out, rc);
      }
    }
    if (*rc == 0) BSnorkts(rc, &out->order, &out->num_poles, out->knots);
    if (*rc == 0) BSarclnparc(rc, out);
    out->weights = out_weights;
  }
  BSexit(rc, "BSconextend", "bsconextend");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

// ---------------------------------------------------------------------------------------------------------------
// Arcs lengthened or shortened by an arc length

namespace {

// Tolerance entry 15 follows the requested change of length while an arc is cut, so that no step under it works
// to a tolerance coarser than a hundredth of that change.
constexpr int kLengthTol = 15;

// One span of order up to 16.
using SpanRecord = bsknots::FixedCurve<16, 16>;

// A record whose arrays BScvsplit allocates (BSdbgmalloc); released with BSdbgfree.
struct SplitPart {
  VOQbsp_curve cv{};
  SplitPart() = default;
  SplitPart(const SplitPart &) = delete;
  SplitPart &operator=(const SplitPart &) = delete;
  ~SplitPart() { release(); }
  void release() {
    for (double **p : {&cv.poles, &cv.knots, &cv.weights}) {
      BSdbgfree(*p);
      *p = nullptr;
    }
    cv = VOQbsp_curve{};
  }
};

void release(VOQbsp_curve **cv, int *rc) {
  if (!*cv) return;
  int frc = 0;
  BSfreevoqcv(*cv, &frc);
  *cv = nullptr;
  if (*rc == 0) *rc = frc;
}

double range_start(const VOQbsp_curve &cv) { return cv.knots[cv.order - 1]; }
double range_end(const VOQbsp_curve &cv) { return cv.knots[cv.num_poles]; }

// The parameter of pt on cv; rc -1 when pt does not lie on it.
bool locate(int *rc, const VOQbsp_curve *cv, const double pt[3], double *u) {
  BSboolean on = BSFALSE;
  if (BSprptoncv(rc, cv, pt, u, &on) && !on) *rc = BSRC_NOT_CONIC;
  return *rc == 0;
}

// The arc length between two parameters of cv, the arc between them when cv is closed.
bool length_between(int *rc, VOQbsp_curve *cv, double u0, double u1, double *len) {
  BSboolean status = BSTRUE;
  const double through = (u0 + u1) / 2;
  BSarclen(rc, &status, cv, &u0, &u1, &through, len);
  return *rc == 0;
}

// The point at arc length dist from u0 towards the parameter e. The length search stops within dist_tol of the
// length; a few Newton steps on the measured length take the point to the accuracy of the length itself, which
// a cut that must meet a given far end needs.
bool point_along(int *rc, VOQbsp_curve *cv, double u0, double dist, double e, double point[3]) {
  double u = u0;
  if (!BSiarcln(rc, cv, &u0, &dist, &e, &u)) return false;
  const double lo = std::min(u0, e), hi = std::max(u0, e), sense = e >= u0 ? 1.0 : -1.0;
  for (int step = 0; step < 4; ++step) {
    double len = 0, d[6];
    if (!length_between(rc, cv, u0, u, &len)) return false;
    const double miss = dist - len;
    if (std::fabs(miss) <= 1e-13 * (1 + dist)) break;
    BScveval_n(cv, u, 1, d, rc);
    if (*rc != 0) return false;
    const double speed = std::sqrt(d[3] * d[3] + d[4] * d[4] + d[5] * d[5]);
    if (!(speed > 0)) break;
    u = std::clamp(u + sense * miss / speed, lo, hi);
  }
  BScveval_n(cv, u, 0, point, rc);
  return *rc == 0;
}

// The point at arc length dist beyond the open curve's end parameter e, along the polynomial continuation of the
// end span there.
void beyond_open_end(int *rc, VOQbsp_curve *cv, double e, double dist, double point[3]) {
  const bool at_end = e == range_end(*cv);
  const int span = at_end ? cv->num_poles - 1 : cv->order - 1;
  const BSboolean no = BSFALSE;
  const std::int16_t flag = at_end ? 1 : 0;
  SpanRecord spn;
  VOQbsp_curve *cont = nullptr, *normed = nullptr;
  double pe[3], ue = e, far = 0, room = 0;
  if (cv->order > 16) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (BSextrcvspn(rc, &span, cv, &spn.cv, &no, &no) && BScnvtomkt(rc, &spn.cv)) {
    BSallocvoqcv(cv->order, 2 * cv->order - 1, cv->rational, 0, &cont, rc);
  }
  if (*rc == 0) BSpoly_ext(rc, &spn.cv, &flag, cont);
  VOQbsp_curve *use = cont;
  if (*rc == 0 && cont->rational) {
    BSchgecvwts(cont, &normed, rc);
    use = normed;
  }
  // Normalising the weights moves parameters: the old end is found on the continuation again.
  if (*rc == 0) BScveval_n(cv, e, 0, pe, rc);
  if (*rc == 0 && locate(rc, use, pe, &ue)) {
    far = at_end ? range_end(*use) : range_start(*use);
    length_between(rc, use, ue, far, &room);
  }
  if (*rc == 0 && room < dist + BStoltab[bstol::dist_tol]) *rc = BSRC_OUT_OF_RANGE;
  if (*rc == 0) point_along(rc, use, ue, dist, far, point);
  release(&normed, rc);
  release(&cont, rc);
}

}  // namespace

BSboolean BSptsdlcv(int *rc, VOQbsp_curve *cv, const double *from_par, const double toward_point[3],
                    const double *dist, double point_out[3]) {
  *rc = 0;
  do {
    if (!cv || !from_par || !toward_point || !dist || !point_out) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (!std::isfinite(*from_par) || !std::isfinite(*dist) || *dist < 0 || !BSallfinite(3, toward_point)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if ((*rc = BScvcheck(cv)) != 0) break;
    const double start = range_start(*cv), end = range_end(*cv);
    if (*from_par < start || *from_par > end) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    BSboolean found = BSFALSE;
    double t = 0;
    int position = 0;
    if (!BSperpa(rc, cv, toward_point, toward_point, &found, &t, &position)) break;
    if (!found) {
      // No perpendicular foot: the direction point lies beyond an end of an open curve, or at a circle's
      // centre. Its nearest point still tells the side, or says there is none.
      double base[3], d = 0;
      BSmdstptcv(cv, toward_point, &t, base, &d, rc);
      if (*rc != 0) break;
    }
    double from = *from_par, e;
    if (!cv->phy_closed) {
      e = from <= t ? end : start;
    } else {
      // The far end lies the way round on which the direction point comes within half a turn.
      const double h = (end - start) / 2;
      if (from <= start + h)
        e = from < t && t < from + h ? end : start;
      else
        e = t <= from - h || t >= from ? end : start;
      // At the seam the way round begins at the other end parameter, the same point.
      double ktol = 0;
      BScvkttol2(cv->order, cv->knots, cv->num_poles, cv->poles, cv->rational ? cv->weights : nullptr, &ktol, rc);
      if (*rc != 0) break;
      if (std::fabs(from - e) <= ktol) from = e == end ? start : end;
    }
    double L = 0;
    if (!length_between(rc, cv, from, e, &L)) break;
    if (L <= BStoltab[bstol::basis_tol]) {
      *rc = BSRC_ZERO_STRETCH;
      break;
    }
    if (L - *dist > BStoltab[bstol::dist_tol]) {
      point_along(rc, cv, from, *dist, e, point_out);
      break;
    }
    double r = *dist - L;
    if (cv->phy_closed) {
      double full = 0;
      if (!length_between(rc, cv, start, end, &full)) break;
      if (full > 0) r -= std::floor(r / full) * full;
      const double again = e == end ? start : end;
      point_along(rc, cv, again, r, e, point_out);
    } else {
      beyond_open_end(rc, cv, e, r, point_out);
    }
  } while (false);
  BSexit(rc, "BSptsdlcv", "bsptsdlcv");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

void BScncxtdst(std::int16_t mode, VOQbsp_curve *curve, double dist, double par, VOQbsp_curve **out, int *rc) {
  *rc = 0;
  const double saved_tol = BStoltab[kLengthTol];
  bool lowered = false, too_short = false;
  VOQbsp_curve *ext = nullptr, *work = nullptr, *turned = nullptr;
  SplitPart cut[2], piece[2];
  do {
    if (!curve || !out || !*out) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (!std::isfinite(dist) || !std::isfinite(par)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if ((*rc = BScvcheck(curve)) != 0) break;
    const double dtol = BStoltab[bstol::dist_tol];
    if (curve->order != 3 || std::fabs(dist) < dtol || curve->phy_closed || mode < BSCONIC_PARABOLA ||
        mode > BSCONIC_CIRCLE) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const double start = range_start(*curve), end = range_end(*curve);
    if (par < start || par > end) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const int room = (*out)->num_poles;
    if (!BSchangepar(rc, kLengthTol, std::min(saved_tol, std::fabs(dist) * 0.01))) break;
    lowered = true;
    BSallocvoqcv(3, curve->num_poles + 6, BSTRUE, 0, &ext, rc);
    if (*rc != 0 || !BSconextend(rc, &mode, curve, ext)) break;
    double len_c = 0, len_e = 0;
    if (!length_between(rc, curve, start, end, &len_c) ||
        !length_between(rc, ext, range_start(*ext), range_end(*ext), &len_e))
      break;
    const double target = len_c + dist;
    if (target < dtol) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const bool end_side = (start + end) / 2 <= par, closed = mode >= BSCONIC_ELLIPSE;
    double ps[3], pe[3], pm[3], us = 0, ue = 0;
    BScveval_n(curve, start, 0, ps, rc);
    if (*rc == 0) BScveval_n(curve, end, 0, pe, rc);
    // The way into the arc from its fixed end: a point of the arc near that end. The arc's middle would not do:
    // on a closed conic an arc longer than half of it has its middle more than half a turn from its ends.
    if (*rc == 0) BScveval_n(curve, end_side ? start + (end - start) / 64 : end - (end - start) / 64, 0, pm, rc);
    if (*rc != 0 || !locate(rc, ext, ps, &us) || !locate(rc, ext, pe, &ue)) break;
    const BSboolean no = BSFALSE, yes = BSTRUE;
    const VOQbsp_curve *result = nullptr;
    bool turned_back = !end_side;
    BSallocvoqcv(3, ext->num_poles + 2, ext->rational, 0, &work, rc);
    if (*rc != 0) break;
    if (closed && dist > 0 && len_e - target < dtol) {
      // The whole conic: started at the arc's far end when the start is lengthened, so that it ends there.
      too_short = target > len_e + dtol;
      turned_back = false;
      if (end_side)
        result = ext;
      else if (BScv_shffl(rc, ext, &ue, &yes, work))
        result = work;
      if (*rc != 0) break;
    } else {
      if (closed) {
        BScv_copy(rc, ext, work);
      } else if (BScvsplit(rc, ext, end_side ? &us : &ue, &cut[0].cv, &cut[1].cv, &no)) {
        BScv_copy(rc, &cut[end_side ? 1 : 0].cv, work);
      }
      if (*rc != 0) break;
      // The walk starts at the arc's fixed end and runs through the arc: backwards when the start moves.
      VOQbsp_curve *walk = work;
      if (!end_side) {
        const double from_end = closed ? ue : range_end(*work);
        BSallocvoqcv(3, work->num_poles + 2, work->rational, 0, &turned, rc);
        if (*rc != 0 || !BScv_shffl(rc, work, &from_end, &no, turned)) break;
        walk = turned;
      }
      double from = 0, avail = 0, point[3], up = 0;
      if (!locate(rc, walk, end_side ? ps : pe, &from)) break;
      if (!closed) {
        // An open conic holds only the stretch from the fixed end on: a longer target takes all of it.
        if (!length_between(rc, walk, from, range_end(*walk), &avail)) break;
        if (target >= avail - dtol) {
          too_short = target > avail + dtol;
          result = walk;
        }
      }
      if (!result) {
        if (!BSptsdlcv(rc, walk, &from, pm, &target, point) || !locate(rc, walk, point, &up) ||
            !BScvsplit(rc, walk, &up, &piece[0].cv, &piece[1].cv, &no))
          break;
        if (piece[0].cv.num_poles == 0) {
          *rc = BSRC_NOT_CONIC;
          break;
        }
        result = &piece[0].cv;
      }
    }
    // The caller's record takes the result only when it has the room; otherwise a larger one replaces it.
    if (result->num_poles > room || (result->rational && !(*out)->weights)) {
      (*out)->rational = result->rational;
      BSreallocvoqcv(3, result->num_poles, 0, out, rc);
      if (*rc != 0) break;
    }
    if (!BScv_copy(rc, result, *out) || !BSnorkts(rc, &(*out)->order, &(*out)->num_poles, (*out)->knots)) break;
    if (turned_back && !BSrev_cv(rc, *out)) break;
    if ((*out)->rational) BSchgcvewlr(*out, end_side ? 1 : 0, out, rc);
  } while (false);
  if (*rc == 0 && too_short) *rc = BSRC_CONIC_TOO_SHORT;
  if (lowered) {
    int trc = 0;
    BSchangepar(&trc, kLengthTol, saved_tol);
    if (*rc == 0) *rc = trc;
  }
  for (SplitPart *p : {&cut[0], &cut[1], &piece[0], &piece[1]}) p->release();
  release(&turned, rc);
  release(&work, rc);
  release(&ext, rc);
  BSexit(rc, "BScncxtdst", "bscncxtdst");
}

// Conic arcs continued along their own conic: an elliptical or circular arc completed to the whole closed curve,
// a parabolic or hyperbolic arc lengthened at both ends by one segment each, and an arc lengthened or shortened
// at one end by a given arc length.
#include "bspline/conics.h"
#include "bspline/distance.h"
#include "bspline/extend.h"
#include "bspline/knots.h"
#include "bspline/knots_internal.h"
#include "bspline/measure.h"
#include "bspline/offset.h"

#include <algorithm>
#include <cmath>

using bsknots::plain_view;

namespace {

// A record over fixed arrays for the one- to three-segment pieces that the extension builds.
struct PieceRecord {
  double poles[21], knots[10], weights[7];
  VOQbsp_curve cv{};
  PieceRecord() {
    cv.poles = poles;
    cv.knots = knots;
    cv.weights = weights;
  }
};

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

// The nearest points of a curve record to one point or several: the poles laid out component by component for the
// minimisers, the on-curve judgement and the tidying of parameters at the ends of the range.
#include <cfloat>
#include <cmath>

#include "bspline/core/exit.h"
#include "bspline/distance.h"
#include "bspline/intersect.h"
#include "bspline/intersect/span_end_foot.h"
#include "bspline/knots.h"

namespace {

// Checks shared by both bodies: rc 0 when the call can go ahead.
int refuse(int npts, const double *points, const VOQbsp_curve *cv, void *out1, void *out2, void *out3, void *flag) {
  if (!points || !out1 || !out2 || !out3 || !flag) return BSRC_NULL_CURVE;
  if (const int bad = BScvcheck(cv)) return bad;
  if (npts < 1) return BSRC_OUT_OF_RANGE;
  if (cv->order < 2 || !BSallfinite(3 * npts, points)) return BSRC_OUT_OF_RANGE;
  return 0;
}

// All x, all y, all z (weighted, as stored), then the weights.
template <std::size_t Local>
double *pole_block(BSscratch<Local> &room, const VOQbsp_curve *cv) {
  const int n = cv->num_poles;
  double *b = room.take(static_cast<std::size_t>(n) * (3 + (cv->rational ? 1 : 0)));
  if (!b) return nullptr;
  for (int i = 0; i < n; ++i) {
    for (int c = 0; c < 3; ++c) b[c * n + i] = cv->poles[3 * i + c];
    if (cv->rational) b[3 * n + i] = cv->weights[i];
  }
  return b;
}

void judge_on_curve(int npts, const double *dist, BSboolean *on_curve) {
  const double limit = 2 * BStoltab[bstol::chrdht_tol];
  for (int i = 0; i < npts; ++i)
    if (dist[i] > limit) *on_curve = BSFALSE;
}

double knot_tolerance(const VOQbsp_curve *cv, int *rc) {
  double ktol = 0;
  BScvkttol2(cv->order, cv->knots, cv->num_poles, cv->poles, cv->rational ? cv->weights : nullptr, &ktol, rc);
  return ktol;
}

void tidy(const VOQbsp_curve *cv, double ktol, int npts, double *pars, int *rc) {
  BSchkuvpars(0, cv->knots[cv->order - 1], cv->knots[cv->num_poles], 0, 0, cv->phy_closed ? BSTRUE : BSFALSE, 0,
              ktol, npts, pars, rc);
}

}  // namespace

void BSmdstptscv1(int npts, const double *points, const VOQbsp_curve *cv, double *pars, double *base, double *dist,
                  BSboolean *on_curve, int *rc) {
  *rc = refuse(npts, points, cv, pars, base, dist, on_curve);
  if (*rc == 0 && npts == 1 && bsendfoot::local_foot(*cv, points, BStoltab[bstol::dist_tol], pars, base, dist)) {
    // One span with a single nearest point: settled without the search (one point needs no tidying).
    *on_curve = BSTRUE;
    judge_on_curve(1, dist, on_curve);
  } else if (*rc == 0) {
    *on_curve = BSTRUE;
    BSscratch<300> room;
    BSscratch<100> work_room;
    double *block = pole_block(room, cv), *work = work_room.take(static_cast<std::size_t>(npts));
    if (!block || !work) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      for (int i = 0; i < npts; ++i) dist[i] = work[i] = DBL_MAX;
      BSmdptbscv(cv->order - 1, cv->num_poles, 3, cv->rational ? BSTRUE : BSFALSE, block, cv->knots, npts, points,
                 BStoltab[bstol::dist_tol], work, dist, work, dist, pars, base, rc);
      if (*rc == 0) judge_on_curve(npts, dist, on_curve);
      const double ktol = *rc == 0 ? knot_tolerance(cv, rc) : 0;
      if (*rc == 0) tidy(cv, ktol, npts, pars, rc);
    }
  }
  BSexit(rc, "BSmdstptscv", "bsmdstptscv");
}

void BSmdstptscvn(int npts, const double *points, const VOQbsp_curve *cv, double *pars, double *base, double *dist,
                  BSboolean *on_curve, int *rc) {
  *rc = refuse(npts, points, cv, pars, base, dist, on_curve);
  if (*rc == 0) {
    *on_curve = BSTRUE;
    BSscratch<100> room;
    double *block = pole_block(room, cv);
    const int degree = cv->order - 1, n = cv->num_poles;
    const BSboolean rational = cv->rational ? BSTRUE : BSFALSE;
    if (!block) {
      *rc = BSRC_NO_SCRATCH;
    } else {
      BSmdptsbscv(degree, n, 3, rational, block, cv->knots, npts, points, BStoltab[bstol::dist_tol], dist, base, pars,
                  rc);
      if (*rc == 50) {
        // Spans above order 16 are beyond the span search: the global search takes every point.
        BSscratch<100> work_room;
        double *work = work_room.take(static_cast<std::size_t>(npts));
        *rc = work ? 0 : BSRC_NO_SCRATCH;
        for (int i = 0; work && i < npts; ++i) dist[i] = work[i] = DBL_MAX;
        if (work)
          BSmdptbscv(degree, n, 3, rational, block, cv->knots, npts, points, BStoltab[bstol::dist_tol], work, dist,
                     work, dist, pars, base, rc);
      }
      if (*rc == 0) judge_on_curve(npts, dist, on_curve);
      const double ktol = *rc == 0 ? knot_tolerance(cv, rc) : 0;
      if (*rc == 0 && cv->phy_closed) {
        const double start = cv->knots[degree], end = cv->knots[n];
        for (int i = 0; i < npts; ++i)
          if (std::fabs(end - pars[i]) < ktol) pars[i] = start;
      }
      if (*rc == 0) tidy(cv, ktol, npts, pars, rc);
    }
  }
  BSexit(rc, "BSmdstptscv", "bsmdstptscv");
}

void BSmdstptscv(int npts, const double *points, const VOQbsp_curve *cv, double *pars, double *base, double *dist,
                 BSboolean *on_curve, int *rc) {
  *rc = 0;
  if (npts < 1) {
    *rc = BSRC_OUT_OF_RANGE;
    BSexit(rc, "BSmdstptscv", "bsmdstptscv");
  } else if (npts < 2) {
    BSmdstptscv1(npts, points, cv, pars, base, dist, on_curve, rc);
  } else {
    BSmdstptscvn(npts, points, cv, pars, base, dist, on_curve, rc);
  }
}

void BSmdstptcv(const VOQbsp_curve *cv, const double point[3], double *par, double base[3], double *dist, int *rc) {
  BSboolean on_curve = BSFALSE;
  BSmdstptscv(1, point, cv, par, base, dist, &on_curve, rc);
  BSexit(rc, "BSmdstptcv", "bsmdstptcv");
}

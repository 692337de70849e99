// A Bezier span continued past one of its ends along its own polynomial (or rational function): de Casteljau's
// construction at a parameter outside the span gives the control polygon of the enlarged range.
#include <cmath>

#include "bspline/core/exit.h"
#include "bspline/extend/extend_internal.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/measure.h"
#include "bspline/offset.h"

namespace {

constexpr int kMaxOrder = 16;

using SpanCopy = bsknots::FixedCurve<kMaxOrder, 2 * kMaxOrder>;

// Whether no weight of the polygon of [a, t] (the triangle's diagonal, entry [j][j]) lies below a quarter of
// their mean.
bool weights_usable(int k, const double w[BSDCAST_SIZE][BSDCAST_SIZE]) {
  double mean = 0;
  for (int j = 0; j < k; ++j) mean += w[j][j];
  mean /= k;
  for (int j = 0; j < k; ++j)
    if (std::fabs(w[j][j]) < 0.25 * mean) return false;
  return true;
}

}  // namespace

void bsextend::continue_bezier(int *rc, const VOQbsp_curve *cv, bool at_end, double factor, VOQbsp_curve *out) {
  if (cv->order < 2 || cv->order > kMaxOrder || cv->num_poles != cv->order || cv->phy_closed) {
    *rc = BSRC_OUT_OF_RANGE;
  } else {
    SpanCopy work;
    const int k = cv->order;
    const bool reversed = !at_end, rational = cv->rational != 0;
    if (BScv_copy(rc, cv, &work.cv) && reversed) BSrev_cv(rc, &work.cv);
    if (*rc == 0 && rational) BSchgewts(&work.cv, &work.cv, rc);
    double pts[BSDCAST_SIZE][BSDCAST_SIZE][3], wts[BSDCAST_SIZE][BSDCAST_SIZE];
    const double a = work.knots[k - 1], b = work.knots[k];
    double t = a + factor * (b - a);
    BSboolean ok = BSFALSE;
    if (*rc == 0) {
      ok = BSdcastelj(rc, &work.cv, &t, pts, wts);
      if (*rc == BSRC_ZERO_WEIGHT) *rc = 0;
    }
    if (*rc != 0) {
    } else if (!rational || (ok && weights_usable(k, wts))) {
      for (int j = 0; j < k; ++j) {
        for (int c = 0; c < 3; ++c) out->poles[3 * j + c] = pts[j][j][c];
        if (rational) out->weights[j] = wts[j][j];
      }
      const double lo = reversed ? a - (t - b) : a, hi = reversed ? b : t;
      for (int j = 0; j < k; ++j) out->knots[j] = lo, out->knots[k + j] = hi;
      out->num_poles = k;
    } else {
      // The continuation is shortened towards the span until the weights stay clear of zero, then lengthened
      // once halfway back towards the last rejected reach.
      double rejected = t;
      ok = BSFALSE;
      for (int i = 0; i < 8 && !ok && *rc == 0; ++i) {
        rejected = t;
        t = (t + b) / 2;
        ok = BSdcastelj(rc, &work.cv, &t, pts, wts);
        if (*rc == BSRC_ZERO_WEIGHT) *rc = 0;
      }
      if (*rc == 0 && !ok) *rc = BSRC_ZERO_WEIGHT;
      double m = (rejected + t) / 2;
      if (*rc == 0) {
        double keep[BSDCAST_SIZE][BSDCAST_SIZE][3], keepw[BSDCAST_SIZE][BSDCAST_SIZE];
        for (int i = 0; i < k; ++i)
          for (int j = 0; j < k; ++j) {
            for (int c = 0; c < 3; ++c) keep[i][j][c] = pts[i][j][c];
            keepw[i][j] = wts[i][j];
          }
        if (!BSdcastelj(rc, &work.cv, &m, pts, wts)) {
          // The polygon is that of the accepted reach, so the range ends there: a knot at m would stretch the
          // continuation's parameter away from the span's own function.
          *rc = 0;
          m = t;
          for (int i = 0; i < k; ++i)
            for (int j = 0; j < k; ++j) {
              for (int c = 0; c < 3; ++c) pts[i][j][c] = keep[i][j][c];
              wts[i][j] = keepw[i][j];
            }
        }
        // The span as given, then the continuation [b, m]: the triangle's last row, which holds the polygon of
        // [m, b] read from b.
        for (int i = 0; i < k; ++i) {
          for (int c = 0; c < 3; ++c) out->poles[3 * i + c] = work.poles[3 * i + c];
          out->weights[i] = work.weights[i];
        }
        for (int j = 1; j < k; ++j) {
          for (int c = 0; c < 3; ++c) out->poles[3 * (k - 1 + j) + c] = pts[k - 1][j][c];
          out->weights[k - 1 + j] = wts[k - 1][j];
        }
        // Reversed, the work runs over [a - (m - b), b] with the given span first; turned back, the given span
        // keeps [a, b] and the continuation lies before it.
        const double lo = reversed ? a - (m - b) : a, mid = reversed ? lo + (b - a) : b, hi = reversed ? b : m;
        for (int j = 0; j < k; ++j) out->knots[j] = lo, out->knots[2 * k - 1 + j] = hi;
        for (int j = 0; j < k - 1; ++j) out->knots[k + j] = mid;
        out->num_poles = 2 * k - 1;
      }
    }
    if (*rc == 0) {
      out->order = static_cast<std::int16_t>(k);
      out->num_knots = out->num_poles + k;
      out->rational = cv->rational;
      out->periodic = cv->periodic;
      out->non_uniform = out->num_poles > k ? 1 : cv->non_uniform;
      out->planar = cv->planar;
      out->phy_closed = 0;
      out->num_boundaries = 0;
      out->bdrys = nullptr;
      if (reversed) BSrev_cv(rc, out);
    }
  }
}

BSboolean BSpoly_ext(int *rc, const VOQbsp_curve *cv, const std::int16_t *at_end, VOQbsp_curve *out) {
  *rc = 0;
  if (!cv || !at_end || !out || !out->poles || !out->knots || (cv->rational && !out->weights))
    *rc = BSRC_NULL_CURVE;
  else if ((*rc = BScvcheck(cv)) == 0)
    bsextend::continue_bezier(rc, cv, *at_end != 0, !cv->rational && cv->order == 2 ? 10.0 : 4.0, out);
  BSexit(rc, "BSpoly_ext", "bspoly_ext");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

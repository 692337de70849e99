// Corners of a curve: whether the curve turns at the pole it passes through at a C0 knot, the list of those
// cusps, and the C0 knots that are smooth after all (the polygon runs straight through their pole).
#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/knots/knots_internal.h"
#include "bspline/measure.h"
#include "bspline/measure/measure_internal.h"

#include <cmath>
#include <memory>
#include <new>

namespace {
constexpr double kCuspAngle = 1e-10;

bool usable(const VOQbsp_curve *cv) {
  return cv && cv->poles && cv->knots && (!cv->rational || cv->weights);
}

// The joints of a curve (interior knots of multiplicity order - 1): values and the index of each first copy.
struct Joints {
  std::unique_ptr<double[]> values;
  std::unique_ptr<int[]> indices;
  int count = 0;
  double ktol = 0;

  // rc of the knot tolerance, 33 without memory.
  int find(const VOQbsp_curve &cv) {
    const int n = cv.num_poles, nk = n + cv.order;
    values.reset(new (std::nothrow) double[nk]);
    indices.reset(new (std::nothrow) int[nk]);
    if (!values || !indices) return BSRC_NO_SCRATCH;
    int rc = 0;
    BScvkttol2(cv.order, cv.knots, n, cv.poles, cv.rational ? cv.weights : nullptr, &ktol, &rc);
    if (rc == 0) BSfindmkts(&rc, &cv.order, &n, cv.knots, &ktol, &count, values.get(), indices.get());
    return rc;
  }
};
}  // namespace

void BSangvecs(const double a[3], const double b[3], const double ref[3], double *angle, int *rc) {
  *rc = 0;
  double x[3];
  bsmeasure::cross3(a, b, x);
  double t = std::atan2(std::sqrt(bsmeasure::dot3(x, x)), bsmeasure::dot3(a, b));
  if (t < 0) t += 2 * M_PI;
  if (bsmeasure::dot3(x, ref) < 0) t = 2 * M_PI - t;
  *angle = t;
  BSexit(rc, "BSangvecs", "bsangvecs");
}

BSboolean BStstcvcusp(int *rc, const VOQbsp_curve *cv, int pole_index, BSboolean *is_cusp) {
  *rc = 0;
  *is_cusp = BSFALSE;
  do {
    if (!usable(cv)) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    const int n = cv->num_poles, i = pole_index;
    if (i < 0 || i > n - 1 || (!cv->phy_closed && (i == 0 || i == n - 1))) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    const double thr = 0.1 * BStoltab[bstol::dist_sqtol];
    double P[3], Q[3];
    bsknots::cartesian_pole(*cv, i, P);
    // The nearest poles on either side that stand apart from P; a closed curve continues over its seam.
    int prev = 0, next = n - 1;
    for (int j = i == 0 ? n - 2 : i - 1; j >= 0; --j) {
      bsknots::cartesian_pole(*cv, j, Q);
      if (bsknots::squared_distance(P, Q) > thr) {
        prev = j;
        break;
      }
    }
    for (int j = i == n - 1 ? 1 : i + 1; j <= n - 1; ++j) {
      bsknots::cartesian_pole(*cv, j, Q);
      if (bsknots::squared_distance(P, Q) > thr) {
        next = j;
        break;
      }
    }
    double A[3], B[3], in[3], out[3], ref[3];
    bsknots::cartesian_pole(*cv, prev, A);
    bsknots::cartesian_pole(*cv, next, B);
    for (int c = 0; c < 3; ++c) {
      in[c] = P[c] - A[c];
      out[c] = B[c] - P[c];
    }
    bsmeasure::cross3(in, out, ref);
    double angle = 0;
    BSangvecs(in, out, ref, &angle, rc);
    if (*rc == 0 && (angle > kCuspAngle || bsmeasure::dot3(in, out) < 0)) *is_cusp = BSTRUE;
  } while (false);
  BSexit(rc, "BStstcvcusp", "bststcvcusp");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

void BSfndcvcsp(const VOQbsp_curve *cv, int *count, double *params, int *rc) {
  *rc = 0;
  *count = 0;
  do {
    if (!usable(cv)) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    const int k = cv->order, n = cv->num_poles;
    BSboolean cusp = BSFALSE;
    if (cv->phy_closed && !cv->periodic) {
      BStstcvcusp(rc, cv, 0, &cusp);
      if (*rc != 0) break;
      if (cusp) params[(*count)++] = cv->knots[k - 1];
    }
    if (n <= k) break;
    Joints joints;
    if ((*rc = joints.find(*cv)) != 0) break;
    for (int j = 0; j < joints.count && *rc == 0; ++j) {
      BStstcvcusp(rc, cv, joints.indices[j] - 1, &cusp);
      if (*rc == 0 && cusp) params[(*count)++] = joints.values[j];
    }
  } while (false);
  BSexit(rc, "BSfndcvcsp", "bsfndcvcsp");
}

void BScvktncsp(const VOQbsp_curve *cv, int *count, double *params, int *indices, int *rc) {
  *rc = 0;
  *count = 0;
  do {
    if (!usable(cv)) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    // Every knot of a polyline is a corner candidate; none is reported.
    if (cv->order == 2) break;
    Joints joints;
    if ((*rc = joints.find(*cv)) != 0) break;
    std::unique_ptr<double[]> cusps(new (std::nothrow) double[joints.count + 1]);
    if (!cusps) {
      *rc = BSRC_NO_SCRATCH;
      break;
    }
    int ncusps = 0;
    BSfndcvcsp(cv, &ncusps, cusps.get(), rc);
    if (*rc != 0) break;
    // Both lists ascend, except that a cusp at the seam of a closed curve comes first: cusps lying below the
    // current knot by more than the tolerance are passed over, so such a cusp never pairs with a later knot.
    const double ktol = joints.ktol;
    int c = 0;
    for (int j = 0; j < joints.count; ++j) {
      const double t = joints.values[j];
      while (c < ncusps && cusps[c] < t - ktol) ++c;
      if (c < ncusps && std::fabs(cusps[c] - t) <= ktol) {
        ++c;
        continue;
      }
      params[*count] = t;
      indices[*count] = joints.indices[j];
      ++*count;
    }
  } while (false);
  BSexit(rc, "BScvktncsp", "bscvktncsp");
}

// The unit principal normal at a parameter, one for each side where the second derivative may jump, and the
// inward direction of a corner where a side is straight. The tangency search of the offset and intersection
// code asks for it at every step of its iteration.
//
// A squared length that is not a number must count as below every threshold: every test below is written so
// that a NaN fails the "greater" and "not below" branches.
#include "bspline/core/exit.h"
#include "bspline/measure.h"
#include "bspline/measure/measure_internal.h"

#include <cmath>

namespace {
double sqlen(const double v[3]) { return bsmeasure::dot3(v, v); }

void scale(double v[3], double s) {
  v[0] *= s;
  v[1] *= s;
  v[2] *= s;
}

// One side: T the unit tangent (the raw derivative when it is null, with *sT its squared length, else *sT = 1),
// normal the component of D2 perpendicular to T, normalised. False when the side has no normal.
bool side_normal(const double D1[3], const double D2[3], double e5, double T[3], double *sT, double normal[3]) {
  T[0] = D1[0], T[1] = D1[1], T[2] = D1[2];
  int rc = 0;
  if (!BSnorvec(&rc, T)) {
    *sT = sqlen(T);  // the null-derivative code is absorbed: the corner test may still decide
    return false;
  }
  *sT = 1;
  double B[3];
  BSvcross(&rc, T, D2, B);
  if (!(sqlen(B) > e5)) return false;  // straight, or an inflection
  BSnorvec(&rc, B);
  BSvcross(&rc, B, T, normal);
  const double s = sqlen(normal);
  if (!(s > e5)) return false;
  scale(normal, 1 / std::sqrt(s));
  return true;
}

// out = K x T, normalised when its squared length is not below sq; returns that squared length.
double corner_normal(const double K[3], const double T[3], double sq, double out[3]) {
  int rc = 0;
  BSvcross(&rc, K, T, out);
  const double s = sqlen(out);
  if (s >= sq) scale(out, 1 / std::sqrt(s));
  return s;
}
}  // namespace

BSboolean BSprncp_nor(int *rc, const VOQbsp_curve *cv, const double *u, double left[3], double right[3],
                      BSboolean *two_normals) {
  *rc = 0;
  *two_normals = 0;
  BSboolean result = BSFALSE;
  const double e5 = BStoltab[5], sq = BStoltab[bstol::dist_sqtol];
  do {
    if (!cv) {
      *rc = BSRC_NULL_CURVE;
      break;
    }
    if (!std::isfinite(*u)) {
      *rc = BSRC_OUT_OF_RANGE;
      break;
    }
    if (cv->order == 2 && cv->num_poles == 2) {
      *rc = BSRC_NO_NORMAL;  // one straight segment
      break;
    }
    const int nder = 2;
    BSboolean two_sided = 0;
    double L[9], R[9];
    if (!BScveval_b(rc, cv, u, &nder, nullptr, &two_sided, L, R)) break;
    double TL[3], TR[3], sL = 0, sR = 0;
    const bool has_left = side_normal(L + 3, L + 6, e5, TL, &sL, left);
    if (!two_sided) {
      if (has_left)
        result = BSTRUE;
      else
        *rc = BSRC_NO_NORMAL;
      break;
    }
    const bool has_right = side_normal(R + 3, R + 6, e5, TR, &sR, right);
    if (has_left && has_right) {
      double d[3] = {right[0] - left[0], right[1] - left[1], right[2] - left[2]};
      *two_normals = sqlen(d) >= sq ? 1 : 0;
      result = BSTRUE;
      break;
    }
    // At most one side curves: the turn of the tangent at u decides.
    if (!(sL >= sq) && !(sR >= sq)) {
      *rc = BSRC_NO_NORMAL;
      break;
    }
    if (sL > sq) scale(TL, 1 / std::sqrt(sL));
    if (sR > sq) scale(TR, 1 / std::sqrt(sR));
    double K[3];
    bsmeasure::cross3(TL, TR, K);
    const double c = sqlen(K);
    const bool turns = c >= e5;
    if (has_left) {
      result = BSTRUE;
      if (!turns) break;
      scale(K, 1 / std::sqrt(c));
      if (corner_normal(K, TR, sq, right) >= sq) *two_normals = 1;
    } else if (has_right) {
      result = BSTRUE;
      if (turns) {
        scale(K, 1 / std::sqrt(c));
        if (corner_normal(K, TL, sq, left) >= sq) {
          *two_normals = 1;
          break;
        }
      }
      left[0] = right[0], left[1] = right[1], left[2] = right[2];
    } else {
      if (!(c > e5)) {
        *rc = BSRC_NO_NORMAL;
        break;
      }
      scale(K, 1 / std::sqrt(c));
      corner_normal(K, TL, sq, left);
      corner_normal(K, TR, sq, right);
      *two_normals = 1;
      result = BSTRUE;
    }
  } while (false);
  if (*rc != 0) result = BSFALSE;
  BSexit(rc, "BSprncp_nor", "bsprncp_nor");
  return result;
}

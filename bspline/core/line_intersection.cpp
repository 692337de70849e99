// Intersection of two infinite lines, telling apart skew, parallel and coincident lines.
#include "bspline/bspline.h"
#include "bspline/core/exit.h"

BSboolean BSxln(int *rc, const double p1[3], const double p2[3], const double p3[3], const double p4[3], double x[3]) {
  *rc = 0;
  BSboolean met = BSFALSE;
  double d1[3], d2[3];
  for (int i = 0; i < 3; ++i) {
    d1[i] = p2[i] - p1[i];
    d2[i] = p4[i] - p3[i];
  }
  if (BSnorvec(rc, d1) && BSnorvec(rc, d2)) {
    BSboolean parallel = BSFALSE;
    double dist = 0, c1[3], c2[3];
    BSlldist(rc, p1, p3, d1, d2, &parallel, &dist, c1, c2);
    if (*rc == 0) {
      const double tol = BStoltab[bstol::dist_tol];
      if (parallel) {
        *rc = dist < tol ? 46 : 45;
      } else if (dist < tol) {
        for (int i = 0; i < 3; ++i) x[i] = 0.5 * (c1[i] + c2[i]);
        met = BSTRUE;
      } else {
        *rc = 43;
      }
    }
  }
  BSexit(rc, "BSxln", "bsxln");
  return met;
}

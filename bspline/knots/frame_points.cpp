// Single points carried into and out of a local frame (origin, rows of a 3 x 3 matrix, scale), by the same
// maps that carry pole arrays.
#include "bspline/core/exit.h"
#include "bspline/knots.h"

BSboolean BSptoldtnw(int *rc, const double origin[3], const double m[9], const double *scale, const double p_old[3],
                     double p_new[3]) {
  *rc = 0;
  BSptsoldtnw(origin, m, *scale, 1, BSFALSE, p_old, nullptr, p_new, rc);
  BSexit(rc, "BSptoldtnw", "bsptoldtnw");
  return BSTRUE;
}

BSboolean BSptnwtold(int *rc, const double origin[3], const double m[9], const double *scale, const double p_new[3],
                     double p_old[3]) {
  *rc = 0;
  BSptsnwtold(origin, m, *scale, 1, BSFALSE, p_new, nullptr, p_old, rc);
  BSexit(rc, "BSptnwtold", "bsptnwtold");
  return BSTRUE;
}

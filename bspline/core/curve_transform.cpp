// A curve carried between two frames: a copy whose poles go through BSptsnwtold or BSptsoldtnw.
#include "bspline/bspline.h"
#include "bspline/core/exit.h"

namespace {
using PointMap = BSboolean (*)(const double *, const double *, double, int, BSboolean, const double *, const double *,
                               double *, int *);

BSboolean transform_curve(int *rc, const double o[3], const double M[9], const double *s, const VOQbsp_curve *in,
                          VOQbsp_curve *out, PointMap map) {
  if (!in || !out) {
    *rc = BSRC_NULL_CURVE;
  } else if (BScv_copy(rc, in, out)) {
    map(o, M, *s, out->num_poles, out->rational, out->poles, out->weights, out->poles, rc);
  }
  return *rc == 0 ? BSTRUE : BSFALSE;
}
}  // namespace

BSboolean BScvntoo(int *rc, const double o[3], const double M[9], const double *s, const VOQbsp_curve *in,
                   VOQbsp_curve *out) {
  *rc = 0;
  const BSboolean done = transform_curve(rc, o, M, s, in, out, BSptsnwtold);
  BSexit(rc, "BScvntoo", "bscvntoo");
  return done;
}

BSboolean BScvoton(int *rc, const double o[3], const double M[9], const double *s, const VOQbsp_curve *in,
                   VOQbsp_curve *out) {
  *rc = 0;
  const BSboolean done = transform_curve(rc, o, M, s, in, out, BSptsoldtnw);
  BSexit(rc, "BScvoton", "bscvoton");
  return done;
}

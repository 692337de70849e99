// How two consecutive pieces of a path meet at a corner, seen from the side the offset lies on.
#include <cmath>

#include "bspline/core/exit.h"
#include "bspline/offset.h"

namespace {
constexpr int kAngleTol = 3;  // tolerance entry: 1 - |cos| below it is a straight corner
}  // namespace

BSboolean BSzigzag(int *rc, const double p0[3], const double p1[3], const double p2[3], const double normal[3],
                   const int *side, int *kind) {
  *rc = 0;
  if (!p0 || !p1 || !p2 || !normal || !side || !kind) {
    *rc = BSRC_NULL_CURVE;
  } else if (!BSallfinite(3, p0) || !BSallfinite(3, p1) || !BSallfinite(3, p2) || !BSallfinite(3, normal)) {
    *rc = BSRC_OUT_OF_RANGE;
  } else if (BSpdist(rc, p0, p2) < BStoltab[bstol::dist_tol]) {
    *kind = 3;  // the path folds back onto itself: its offsets leave a gap
  } else {
    double a[3], b[3];
    BSvdiff(rc, a, p0, p1);
    BSvdiff(rc, b, p1, p2);
    const double la = BSpdist(rc, p1, p0), lb = BSpdist(rc, p2, p1);
    if (la == 0 || lb == 0) {
      *kind = 1;  // a leg of no length has no direction to turn from
    } else {
      double c = 0;
      for (int i = 0; i < 3; ++i) c += (b[i] / lb) * (a[i] / la);
      // A full reversal counts as straight as well: the callers that must see it as a gap normalise their
      // tangents before they ask.
      if (1 - std::fabs(c) < BStoltab[kAngleTol]) {
        *kind = 1;
      } else {
        double n[3];
        BSvcross(rc, a, b, n);
        const double s = BSvdot(rc, normal, n) * static_cast<double>(*side);
        *kind = s > 0 ? 3 : 2;  // a product that overflowed to NaN falls to the overlap side
      }
    }
  }
  BSexit(rc, "BSzigzag", "bszigzag");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

// A curve lengthened by a distance at one of its ends: a line along itself, an arc along its circle, any other
// curve along its end span's continuation. The composite offset lengthens the pieces about a corner with it.
#include <cmath>
#include <cstdint>
#include <utility>

#include "bspline/conics.h"
#include "bspline/extend.h"
#include "bspline/offset.h"
#include "bspline/offset/offset_internal.h"

namespace {

using bsoffset::circular_arc;
using bsoffset::OwnedCurve;
using bsoffset::pole_point;
using bsoffset::start_of;

bool is_line(const VOQbsp_curve *cv) { return cv->num_poles == 2 && cv->order == 2; }

}  // namespace

void BScvextdst(const VOQbsp_curve *cv, double len, double u, VOQbsp_curve **ext, int *rc) {
  *rc = 0;
  if (!ext) {
    *rc = BSRC_NULL_CURVE;
    return;
  }
  *ext = nullptr;
  if ((*rc = BScvcheck(cv)) != 0) return;
  if (!std::isfinite(len) || !std::isfinite(u)) {
    *rc = BSRC_OUT_OF_RANGE;
    return;
  }
  const bool at_start = u == start_of(cv);
  if (is_line(cv)) {
    double P0[3], P1[3], d[3];
    pole_point(cv, 0, P0);
    pole_point(cv, 1, P1);
    for (int c = 0; c < 3; ++c) d[c] = P1[c] - P0[c];
    if (!BSnorvec(rc, d)) return;
    BSallocvoqcv(2, 2, BSFALSE, 0, ext, rc);
    if (*rc != 0) return;
    VOQbsp_curve *e = *ext;
    e->order = 2, e->num_poles = 2, e->rational = BSFALSE, e->periodic = cv->periodic;
    e->non_uniform = cv->non_uniform, e->planar = BSTRUE, e->phy_closed = BSFALSE, e->num_boundaries = 0;
    const double knots[4] = {0, 0, 1, 1};
    for (int k = 0; k < 4; ++k) e->knots[k] = knots[k];
    for (int c = 0; c < 3; ++c) {
      e->poles[c] = at_start ? P0[c] - len * d[c] : P0[c];
      e->poles[3 + c] = at_start ? P1[c] : P1[c] + len * d[c];
    }
    return;
  }
  OwnedCurve result;
  double centre[3], radius = 0;
  const std::uint16_t is_arc = circular_arc(cv, centre, &radius, rc);
  if (*rc != 0) return;
  if (is_arc == 1) {
    BSallocvoqcv(3, cv->num_poles + 12, BSTRUE, 0, &result.cv, rc);
    // The conic extension leaves the curve as it is; its signature only predates const.
    if (*rc == 0) BScncxtdst(9, const_cast<VOQbsp_curve *>(cv), len, u, &result.cv, rc);
  } else {
    BSallocvoqcv(cv->order, cv->num_poles + cv->order - 1, cv->rational, 0, &result.cv, rc);
    double p[3];
    if (*rc == 0) BScveval_n(cv, u, 0, p, rc);
    if (*rc == 0) BSpolyxtdst(cv, p, len, &result.cv, rc);
  }
  if (*rc == 0) std::swap(*ext, result.cv);
}

// Curve records the offset steps make alike: copies, and the circle a rational curve may be.
#include <cstring>

#include "bspline/conics.h"
#include "bspline/core/exit.h"
#include "bspline/offset/offset_internal.h"

namespace bsoffset {

VOQbsp_curve *copy_of(const VOQbsp_curve *cv, int extra_poles, bool boundaries, int *rc) {
  const int nb = boundaries && cv->bdrys ? cv->num_boundaries : 0;
  VOQbsp_curve *out = nullptr;
  BSallocvoqcv(cv->order, cv->num_poles + extra_poles, cv->rational, nb, &out, rc);
  if (*rc != 0) return nullptr;
  if (BScv_copy(rc, cv, out) && nb > 0) {
    out->num_boundaries = nb;
    std::memcpy(out->bdrys, cv->bdrys, sizeof(double) * 2 * static_cast<std::size_t>(nb));
  }
  if (*rc != 0) {
    int ignored = 0;
    BSfreevoqcv(out, &ignored);
    return nullptr;
  }
  return out;
}

std::uint16_t circular_arc(const VOQbsp_curve *cv, double centre[3], double *radius, int *rc) {
  OwnedCurve arc;
  BSallocvoqcv(3, 7, BSTRUE, 0, &arc.cv, rc);
  std::uint16_t is_arc = 0;
  if (*rc == 0) BStstcvfarc(cv, &is_arc, centre, radius, arc.cv, rc);
  return *rc == 0 ? is_arc : 0;
}

}  // namespace bsoffset

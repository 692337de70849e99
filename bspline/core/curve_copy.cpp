// Copy of a curve record into another record whose arrays are already large enough.
#include "bspline/bspline.h"
#include "bspline/core/exit.h"

#include <cstring>

BSboolean BScv_copy(int *rc, const VOQbsp_curve *in, VOQbsp_curve *out) {
  *rc = 0;
  if (in != out) {
    if (!out || !in) {
      *rc = BSRC_NULL_CURVE;
    } else {
      out->order = in->order;
      out->periodic = in->periodic;
      out->non_uniform = in->non_uniform;
      out->num_poles = in->num_poles;
      out->num_knots = in->num_knots;
      out->rational = in->rational;
      out->planar = in->planar;
      out->phy_closed = in->phy_closed;
      // Boundaries belong to the record they were made for; a copy starts without them.
      out->num_boundaries = 0;
      out->bdrys = nullptr;
      const std::size_t n = in->num_poles > 0 ? static_cast<std::size_t>(in->num_poles) : 0;
      const std::size_t nk = in->num_knots > 0 ? static_cast<std::size_t>(in->num_knots) : 0;
      if (!out->poles || (n && !in->poles)) {
        *rc = BSRC_NULL_CURVE;
      } else {
        if (n) std::memmove(out->poles, in->poles, 3 * n * sizeof(double));
        if (!out->knots || (nk && !in->knots)) {
          *rc = BSRC_NULL_CURVE;
        } else {
          if (nk) std::memmove(out->knots, in->knots, nk * sizeof(double));
          if (in->rational) {
            if (!in->weights)
              *rc = BSRC_OUT_OF_RANGE;
            else if (!out->weights)
              *rc = BSRC_NULL_CURVE;
            else if (n)
              std::memmove(out->weights, in->weights, n * sizeof(double));
          } else {
            out->rational = 0;
            out->weights = nullptr;
          }
        }
      }
    }
  }
  BSexit(rc, "BScv_copy", "bscv_copy");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

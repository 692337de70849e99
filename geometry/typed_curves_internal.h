// What the conversions and the evaluations of typed curves share.
#pragma once

#include "bspline/bspline.h"
#include "geometry/typed_curves.h"

namespace typedcurves {

// Arrays present and counts that agree: order at least 2, numPoles at least the order (and within the library's
// 32-bit counts), numKnots = numPoles + order. Values are not looked at.
inline bool IsShaped(const GBspCurve& cv) {
  return cv.pPoles && cv.pKnots && (!cv.rational || cv.pWeights) && cv.order >= 2 && cv.numPoles >= cv.order &&
         cv.numPoles <= 0x7FFFFF00u && cv.numKnots == cv.numPoles + cv.order;
}

inline double FirstParameter(const GBspCurve& cv) { return cv.pKnots[cv.order - 1]; }
inline double LastParameter(const GBspCurve& cv) { return cv.pKnots[cv.numPoles]; }

// Frees a library curve when there is one and clears the pointer; a failed free gives *rc 1 when *rc was 0.
inline void DropCurve(VOQbsp_curve** cv, int* rc) {
  if (!*cv) return;
  int freeRc = 0;
  BSfreevoqcv(*cv, &freeRc);
  *cv = nullptr;
  if (freeRc != 0 && *rc == 0) *rc = 1;
}

}  // namespace typedcurves

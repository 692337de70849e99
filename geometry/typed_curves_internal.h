// What the conversions and the evaluations of typed curves share.
#pragma once

#include <algorithm>
#include <cstdint>

#include "bspline/bspline.h"
#include "geometry/typed_curves.h"

namespace typedcurves {

// Arrays present and counts that agree: order at least 2, numPoles at least the order (and within the library's
// 32-bit counts), numKnots = numPoles + order. Values are not looked at.
inline bool IsShaped(const GBspCurve& cv) {
  return cv.pPoles && cv.pKnots && (!cv.rational || cv.pWeights) && cv.order >= 2 && cv.numPoles >= cv.order &&
         cv.numPoles <= 0x7FFFFF00u && cv.numKnots == cv.numPoles + cv.order;
}

// How many poles and knots of a record may be read when its counts disagree: one wrong count among numPoles,
// numKnots and order never leads past an array whose size the other two agree on. With sound counts these are
// numPoles and numKnots.
inline std::uint32_t ReadablePoles(const GBspCurve& cv) {
  return cv.numKnots >= cv.order ? std::min(cv.numPoles, cv.numKnots - cv.order) : 0;
}
inline std::uint32_t ReadableKnots(const GBspCurve& cv) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(cv.numKnots, std::uint64_t{cv.numPoles} + cv.order));
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

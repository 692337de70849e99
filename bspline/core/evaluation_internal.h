// The evaluation shortcut of BScveval_n for callers inside bspline/ that evaluate one checked cubic span many times.
#pragma once

#include "bspline/bspline.h"

namespace bseval {

// The point (and with tangent, the first derivative after it) of cv at u, the bits BScveval_n gives, by its
// shortcut alone. cv is a polynomial cubic that passed BScvcheck, and no fault hook is installed (BScveval_n's
// shortcut is then the one it takes, with no exit for a hook to see). False where BScveval_n's general road must
// answer: the caller calls BScveval_n then, which takes that road.
bool cubic_point(const VOQbsp_curve &cv, double u, double out[3]);
bool cubic_point_tangent(const VOQbsp_curve &cv, double u, double out[6]);

}  // namespace bseval

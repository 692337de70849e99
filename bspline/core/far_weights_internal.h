// Records whose weights all lie far from 1: for the routines inside bspline/ that form sums of weighted poles and
// weights. A rational record describes the same curve with its weights and weighted poles all scaled by one factor,
// and a power of two changes no digit of either while nothing underflows or overflows. Weights near the least
// subnormal carry the record's poles in a few bits, and sums of basis values times them round to those bits or to
// nothing; weights near the largest double overflow the derivative sums. Scaled about 1 first, the sums keep every
// digit that the record holds.
#pragma once

#include <cmath>
#include <cstddef>

namespace bsweights {

// A weight sum w lies near 1 where kNearOneLow < |w| < kNearOneHigh: there the sums it comes from, and their
// derivatives, neither underflow nor overflow unless the poles themselves are extreme. A NaN sum counts as above:
// an overflow within the sums (infinities of both signs) gives one too.
constexpr double kNearOneLow = 0x1p-500, kNearOneHigh = 0x1p501;
inline bool below(double w) { return std::fabs(w) <= kNearOneLow; }     // 0 too
inline bool above(double w) { return !(std::fabs(w) < kNearOneHigh); }  // infinities and NaN too
inline bool near_one(double w) { return !below(w) && !above(w); }

// The power of two e that brings the largest magnitude of count weights, stride apart, to [1/2, 1) when scaled by
// 2^-e; 0 where one of them is not finite or all are 0.
int largest_exponent(const double *w, std::size_t count, std::ptrdiff_t stride = 1);

// out[i] = in[i] 2^-e for count values; false where one of them would lose a digit (overflow, or round in the
// subnormal range), out then partly written.
bool scale_exactly(const double *in, std::size_t count, int e, double *out);

}  // namespace bsweights

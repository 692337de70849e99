// The library's one branch-free finiteness test of a block of values, for checks that must not call the fault
// hook as BSallfinite does; not for callers outside bspline/.
#pragma once

#include <cstddef>

namespace bsfinite {

// Whether the count values are all finite (none NaN or infinite); true for none.
bool all(const double *values, std::size_t count);

}  // namespace bsfinite

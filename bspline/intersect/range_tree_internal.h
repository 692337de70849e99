// Range trees as their builders grow them, level by level; not for callers outside bspline/intersect/.
#pragma once

#include "bspline/intersect.h"

namespace bsrange {

// A new top level of count nodes (at least one is taken), recorded in levels and counts at *n_levels, which grows
// by one; NULL with rc BSRC_NO_HEAP when the heap is exhausted, the tree as it was.
BSrangenode *add_level(int count, BSrangenode **levels, int *counts, int *n_levels, int *rc);

}  // namespace bsrange

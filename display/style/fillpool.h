// The process-wide free lists of the fill work blocks (edge, row and trapezoid nodes of the trapezoid
// decomposition), at most five cached blocks per list, guarded by one critical section.
#pragma once

// Frees every cached block. Called once by DllMain at process detach, before anything else is freed.
void FillTrapFlushPools();

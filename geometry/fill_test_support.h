// For tests only: what the fill code's pools hold, and its allocation failures on request. Nothing outside the
// tests (and the style server's table of internals, which hands them to the tests in its process) calls these.
// The switch is process-wide: a test that arms it switches it off (0) before it ends.
#pragma once

#include "geometry/fill.h"

// Blocks cached in one pool (at most 5).
int FillTrapPooledBlocks(FillBlockKind kind);
// The n-th allocation from now (1 = the next) of a table, scratch array, block or slab fails; 0 switches that
// off.
void FillAllocFailAt(int n);
// Allocations left before the armed failure (0: none armed, or it has happened).
int FillAllocFailPending();

// How every routine of the library, and of the geometry layer above it, leaves: for the library's own sources,
// not for its users.
#pragma once

#include "bspline/bspline.h"
#include "bspline/core/test_support.h"

// Inline, as every routine leaves through it: with no handler installed (outside tests, always) it is a load and a
// branch.
inline void BSfaulthook(const char *lname, int *rc) {
  if (bstest::switches.hook) bstest::switches.hook(lname, rc);
}

// Every routine leaves through this: the hook first, then the trace when rc is nonzero.
inline void BSexit(int *rc, const char *name, const char *lname) {
  BSfaulthook(lname, rc);
  if (rc && *rc != 0) BStracepush(*rc, name);
}

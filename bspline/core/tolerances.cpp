// The tolerance table: 19 entries read directly by the routines, changed only through the two setters.
#include "bspline/bspline.h"
#include "bspline/core/exit.h"

#include <cmath>
#include <cstring>

// The initial table, once for the live table and once for BStoldefault.
#define BS_TOLERANCE_DEFAULTS                                                                                   \
  {5e-7, 1e-6, 1e-12, 5e-11, 5e-7, 2.5e-13, 1e-9, 1e-6, 1e-6, 1e-3, 1e-3, 1e-2, 1e-6, 1e-7, 0.25, 1e-3, 1e-14,  \
   0.41421356237309503, 1e-6}

namespace {
constexpr double kDefaults[BSTOL_COUNT] = BS_TOLERANCE_DEFAULTS;

const char *const kNames[BSTOL_COUNT] = {nullptr, "dist_tol", "dist_sqtol", nullptr, nullptr, nullptr, nullptr,
                                         nullptr, nullptr, "offset_tol", "chrdht_tol", nullptr, "basis_tol",
                                         nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
}  // namespace

double BStoltab[BSTOL_COUNT] = BS_TOLERANCE_DEFAULTS;

const char *BStolname(int index) { return index >= 0 && index < BSTOL_COUNT ? kNames[index] : nullptr; }

int BStolindex(const char *name) {
  if (!name) return -1;
  for (int i = 0; i < BSTOL_COUNT; ++i)
    if (kNames[i] && std::strcmp(kNames[i], name) == 0) return i;
  return -1;
}

double BStoldefault(int index) { return index >= 0 && index < BSTOL_COUNT ? kDefaults[index] : 0.0; }

BSboolean BSchangepar(int *rc, int index, double value) {
  *rc = 0;
  if (index < 0 || index >= BSTOL_COUNT)
    *rc = BSRC_TOL_INDEX;
  else if (!(value >= 0) || !std::isfinite(value))
    *rc = BSRC_OUT_OF_RANGE;  // every entry is a distance, a square of one or a ratio: none is negative
  else
    BStoltab[index] = value;
  BSexit(rc, "BSchangepar", "bschangepar");
  return *rc == 0 ? BSTRUE : BSFALSE;
}

BSboolean BSchgdeppar(double t, int *rc) {
  *rc = 0;
  // The order matters only for a failure part way, which leaves the entries set so far changed.
  const struct {
    int index;
    double value;
  } steps[] = {{0, t / 2},     {3, t / 2},    {4, t / 2}, {8, t},  {13, t / 10}, {2, t * t},        {5, t * t / 4},
               {6, t / 1000}, {1, t},        {7, t},     {12, t}, {16, t * t / 100}, {18, t}};
  BSboolean ok = BSTRUE;
  // Refused before any entry changes.
  if (!(t >= 0) || !std::isfinite(t)) {
    *rc = BSRC_OUT_OF_RANGE;
    ok = BSFALSE;
  }
  for (const auto &s : steps) {
    if (!ok) break;
    ok = BSchangepar(rc, s.index, s.value);
    if (!ok) break;
  }
  BSexit(rc, "BSchgdeppar", "bschgdeppar");
  return ok;
}

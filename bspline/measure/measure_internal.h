// Pieces shared by the routines of bspline/measure.h; not for callers outside bspline/.
#pragma once

#include "bspline/bspline.h"

#include <cstddef>

namespace bsmeasure {

// A work array in the routine's frame up to Local doubles, else on the heap. Unlike BSscratch it carries no
// stack block, so recursive routines (the integrators bisect up to 30 levels) keep their frames small.
template <std::size_t Local>
class LocalWork {
 public:
  LocalWork() = default;
  LocalWork(const LocalWork &) = delete;
  LocalWork &operator=(const LocalWork &) = delete;
  ~LocalWork() { BSscratchrelease(heap_); }

  // NULL when the heap is exhausted.
  double *take(std::size_t m) {
    BSscratchrelease(heap_);
    heap_ = nullptr;
    if (m <= Local) return local_;
    heap_ = BSscratchtake(m, nullptr);
    return heap_;
  }

 private:
  double local_[Local];
  double *heap_ = nullptr;
};

// The Cartesian coordinates of a pole array in coordinate blocks (dim blocks of n, the weights after them when
// rational): the array itself, or its blocks divided by the weights into work. NULL without memory.
template <std::size_t Local>
const double *cartesian_blocks(LocalWork<Local> &work, int dim, int n, bool rational, const double *poles) {
  if (!rational) return poles;
  double *out = work.take(static_cast<std::size_t>(dim) * n);
  if (!out) return nullptr;
  const double *w = poles + static_cast<std::size_t>(dim) * n;
  for (int c = 0; c < dim; ++c)
    for (int i = 0; i < n; ++i) out[c * n + i] = poles[c * n + i] / w[i];
  return out;
}

// The length of a rational span from its span polynomial (dim components and the weight, degree `degree`, as
// BSspnlen4 takes it), its speed |P'W - PW'| / W^2 taken from the components at each node; degN and N (the
// squared numerator of the speed, formed as a polynomial) only say where the speed nearly vanishes. Reports
// under BSintsqrtpw.
void rational_span_length(int degree, int dim, const double *coef, int degN, const double *N, double tol,
                          double *result, int *rc);

inline double dot3(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

inline void cross3(const double a[3], const double b[3], double out[3]) {
  const double x = a[1] * b[2] - a[2] * b[1], y = a[2] * b[0] - a[0] * b[2], z = a[0] * b[1] - a[1] * b[0];
  out[0] = x;
  out[1] = y;
  out[2] = z;
}

}  // namespace bsmeasure

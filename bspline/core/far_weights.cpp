// Weights far from 1 brought about 1 by a power of two (see far_weights_internal.h).
#include "bspline/core/far_weights_internal.h"

#include <algorithm>
#include <cfloat>

namespace bsweights {

int largest_exponent(const double *w, std::size_t count, std::ptrdiff_t stride) {
  double top = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const double a = std::fabs(w[static_cast<std::ptrdiff_t>(i) * stride]);
    if (!std::isfinite(a)) return 0;
    top = std::fmax(top, a);
  }
  int e = 0;
  if (top > 0) std::frexp(top, &e);
  return e;
}

bool scale_exactly(const double *in, std::size_t count, int e, double *out) {
  // 2^-e as a product of two normal powers of two (the second 1 unless 2^-e lies beyond the normal range), so that
  // a value takes a multiplication or two; where scaled down, an intermediate is never nearer 0 than the result.
  const int a = std::clamp(-e, DBL_MIN_EXP - 1, DBL_MAX_EXP - 1), b = -e - a;
  const double fa = std::ldexp(1.0, a), fb = std::ldexp(1.0, b);
  for (std::size_t i = 0; i < count; ++i) {
    const double v = in[i], x = v * fa * fb;
    if (x != x || (std::isinf(x) && !std::isinf(v))) return false;  // NaN, or an overflow
    // Scaled down into the subnormal range, a value may lose digits: it keeps them all where 2^e takes it back.
    if (e > 0 && std::fabs(x) < DBL_MIN && std::ldexp(x, e) != v) return false;
    out[i] = x;
  }
  return true;
}

}  // namespace bsweights

// Polynomial roots of any degree and the real roots in an interval. An answer of rc 0 gives finite roots; a
// real root is a root of the polynomial given, within the rounding of its terms at that root.
#include <cfloat>

#include "bspline/core/test_support.h"
#include "bspline/numerics.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

// |p(x)| against the size of its terms at x.
bool is_root(int degree, const double *c, double x, double slack) {
  double value = 0, size = 0, power = 1;
  for (int j = 0; j <= degree; ++j) {
    value += c[j] * power;
    size += std::fabs(c[j] * power);
    power *= x;
  }
  return std::fabs(value) <= slack * size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  fuzz::Reader in(data, size);
  const std::int16_t degree = static_cast<std::int8_t>(in.byte());
  const int count = degree > 0 ? degree : 0;
  // Exactly the slots the header promises to fill, so that a write past them is caught.
  const std::size_t slots = count > 0 ? count : 1;
  std::vector<double> c(static_cast<std::size_t>(count) + 1), re(slots, -777), im(slots, -777);
  for (double &x : c) x = in.number();
  const double lo = in.number(), hi = in.number();
  BStraceclear();
  bool moderate = fuzz::finite(c.data(), c.size());
  for (double x : c) moderate = moderate && std::fabs(x) <= 1e6 && (x == 0 || std::fabs(x) >= 1e-6);

  int rc = 0;
  BSrpoly(&rc, c.data(), &degree, re.data(), im.data());
  if (rc == 0 && moderate && c[count] != 0) {
    for (int j = 0; j < count; ++j) {
      FUZZ_CHECK(std::isfinite(re[j]) && std::isfinite(im[j]));
      // From degree 4 on every root is refined and checked; below, closed forms within a few roundings.
      if (im[j] == 0) FUZZ_CHECK(is_root(count, c.data(), re[j], count >= 4 ? 1e-6 : 1e-6));
    }
  }

  std::uint16_t found = 0;
  std::vector<double> roots(slots, -777);
  BSpoly2(&rc, &degree, c.data(), &lo, &hi, &found, roots.data());
  if (rc == 0 && moderate && c[count] != 0) {
    FUZZ_CHECK(found <= count);
    for (int j = 0; j < found; ++j) FUZZ_CHECK(roots[j] >= lo && roots[j] <= hi);
  }
  return 0;
}

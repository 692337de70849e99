// Legendre series with known real roots, for the root finder's tests and benchmark (no test framework needed).
#pragma once

#include <vector>

// scale * prod (t - r) * prod (t^2 + b t + c) * sum factor[k] t^k over the roots, the quadratic factors {b, c}
// (complex pairs that raise the degree without real roots) and a last factor in powers of t (given in long double,
// such as a triple root lifted off zero, (t - r)^3 + e, whose one real root is no double). Long double, since
// partial products over roots on one side grow far beyond the final polynomial and would leave its roots visibly
// off in double.
struct Quadratic {
  double b, c;
};
inline std::vector<double> legendre_from_roots(const std::vector<double> &roots,
                                               const std::vector<Quadratic> &quads = {}, double scale = 1.0,
                                               const std::vector<long double> &factor = {}) {
  std::vector<long double> c{static_cast<long double>(scale)};
  const auto times_t = [](const std::vector<long double> &a) {  // t P_k = ((k+1) P_k+1 + k P_k-1) / (2k+1)
    std::vector<long double> o(a.size() + 1, 0.0L);
    for (std::size_t k = 0; k < a.size(); ++k) {
      o[k + 1] += a[k] * (k + 1.0L) / (2.0L * k + 1);
      if (k) o[k - 1] += a[k] * static_cast<long double>(k) / (2.0L * k + 1);
    }
    return o;
  };
  const auto add = [](std::vector<long double> &o, const std::vector<long double> &a, double f) {
    for (std::size_t k = 0; k < a.size(); ++k) o[k] += f * a[k];
  };
  for (double r : roots) {
    auto o = times_t(c);
    add(o, c, -r);
    c = o;
  }
  for (const Quadratic &f : quads) {
    const auto t1 = times_t(c);
    auto o = times_t(t1);
    add(o, t1, f.b);
    add(o, c, f.c);
    c = o;
  }
  if (!factor.empty()) {
    std::vector<long double> sum(c.size() + factor.size() - 1, 0.0L), power = c;
    for (std::size_t k = 0; k < factor.size(); ++k, power = times_t(power))
      for (std::size_t j = 0; j < power.size(); ++j) sum[j] += factor[k] * power[j];
    c = sum;
  }
  return std::vector<double>(c.begin(), c.end());
}

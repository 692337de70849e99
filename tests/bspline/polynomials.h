// Polynomials from known roots and their residuals, shared by the numerics tests and the benchmark (no test
// framework needed).
#pragma once

#include <cmath>
#include <complex>
#include <vector>

using cplx = std::complex<double>;

// Ascending real coefficients of lead * prod (x - r) over the roots (complex roots must come with their
// conjugates).
inline std::vector<double> poly_from_roots(const std::vector<cplx> &roots, double lead = 1.0) {
  std::vector<cplx> c{lead};
  for (const cplx &r : roots) {
    std::vector<cplx> next(c.size() + 1, 0.0);
    for (std::size_t i = 0; i < c.size(); ++i) {
      next[i + 1] += c[i];
      next[i] -= r * c[i];
    }
    c = next;
  }
  std::vector<double> out;
  for (const cplx &x : c) out.push_back(x.real());
  return out;
}

// |p(z)| relative to sum |c_i| |z|^i: what rounding alone can explain is a small multiple of the machine
// epsilon times the degree.
inline double relative_residual(const double *c, int degree, cplx z) {
  cplx v = 0.0;
  double scale = 0.0;
  for (int i = degree; i >= 0; --i) {
    v = v * z + c[i];
    scale = scale * std::abs(z) + std::fabs(c[i]);
  }
  return scale == 0.0 ? std::abs(v) : std::abs(v) / scale;
}

inline double relative_residual(const std::vector<double> &c, cplx z) {
  return relative_residual(c.data(), static_cast<int>(c.size()) - 1, z);
}

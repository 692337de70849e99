// Legendre series summed over GSL's Legendre polynomials, the peer value the library's series are checked against.
#pragma once

#include <gsl/gsl_sf_legendre.h>

#include <algorithm>
#include <vector>

inline double legendre_sum(int degree, const double *c, double t) {
  std::vector<double> P(std::max(degree, 1) + 1);
  gsl_sf_legendre_Pl_array(std::max(degree, 1), t, P.data());
  double sum = 0;
  for (int k = 0; k <= degree; ++k) sum += c[k] * P[k];
  return sum;
}

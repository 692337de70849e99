// Helpers of the numerics tests: matching of computed roots against known ones, and small dense matrix
// arithmetic written independently of the library.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "tests/bspline/polynomials.h"

// Every computed root is matched with a distinct expected root, the nearest in units of that root's tolerance,
// and lies within it: tols[i] times |root i| (tol_floor: at least tols[i]). A NaN root matches nothing.
inline ::testing::AssertionResult roots_match(const std::vector<cplx> &expected, const double *re, const double *im,
                                              const std::vector<double> &tols, bool tol_floor = false) {
  std::vector<bool> used(expected.size(), false);
  for (std::size_t j = 0; j < expected.size(); ++j) {
    const cplx z(re[j], im[j]);
    int best = -1;
    double bestd = 0.0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      if (used[i]) continue;
      const double scale = tol_floor ? std::max(1.0, std::abs(expected[i])) : std::abs(expected[i]);
      const double d = std::abs(z - expected[i]) / (scale * tols[i]);
      if (best < 0 || d < bestd) best = static_cast<int>(i), bestd = d;
    }
    if (best < 0 || !(bestd <= 1.0))
      return ::testing::AssertionFailure() << "root " << j << " = (" << re[j] << ", " << im[j]
                                           << ") matches no expected root (nearest off by " << bestd
                                           << " times its tolerance)";
    used[best] = true;
  }
  return ::testing::AssertionSuccess();
}

// The same with one tolerance tol relative to max(1, |root|).
inline ::testing::AssertionResult roots_match(const std::vector<cplx> &expected, const double *re, const double *im,
                                              double tol) {
  return roots_match(expected, re, im, std::vector<double>(expected.size(), tol), true);
}

// Complex roots come in adjacent conjugate slots (the positive imaginary part first when asked); real roots have
// im == 0.
inline ::testing::AssertionResult pairs_adjacent(int n, const double *re, const double *im,
                                                 bool positive_first = true) {
  for (int j = 0; j < n; ++j) {
    if (im[j] == 0.0) continue;
    if (j + 1 >= n || (positive_first && im[j] < 0.0) || re[j + 1] != re[j] || im[j + 1] != -im[j])
      return ::testing::AssertionFailure() << "slot " << j << " is not the first of a conjugate pair";
    ++j;
  }
  return ::testing::AssertionSuccess();
}

// Dense row-major matrices.
using Mat = std::vector<double>;

inline Mat random_matrix(std::mt19937 &rng, int rows, int cols, double lo = -1.0, double hi = 1.0) {
  std::uniform_real_distribution<double> d(lo, hi);
  Mat m(static_cast<std::size_t>(rows) * cols);
  for (double &x : m) x = d(rng);
  return m;
}

inline Mat random_symmetric(std::mt19937 &rng, int n) {
  Mat m = random_matrix(rng, n, n);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < i; ++j) m[i * n + j] = m[j * n + i];
  return m;
}

inline double dot(const double *a, const double *b, int n, int sa = 1, int sb = 1) {
  double s = 0.0;
  for (int i = 0; i < n; ++i) s += a[i * sa] * b[i * sb];
  return s;
}

// The largest |(A v)_i - lambda v_i| for the symmetric n x n A (row-major) and the vector v.
inline double eigen_residual(const Mat &a, int n, const double *v, double lambda) {
  double worst = 0.0;
  for (int i = 0; i < n; ++i) worst = std::max(worst, std::fabs(dot(&a[i * n], v, n) - lambda * v[i]));
  return worst;
}

// The largest deviation of the rows (n rows of len doubles) from an orthonormal set.
inline double orthonormality_error(const double *rows, int n, int len) {
  double worst = 0.0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      worst = std::max(worst, std::fabs(dot(rows + i * len, rows + j * len, len) - (i == j ? 1.0 : 0.0)));
  return worst;
}

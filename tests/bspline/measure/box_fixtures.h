// Helpers for the tests of boxes and distance bounds: pole arrays in coordinate blocks, points of Legendre
// series, and membership of a point in an oriented box, all computed without the library.
#pragma once

#include <cmath>
#include <random>
#include <vector>

#include "tests/bspline/measure_fixtures.h"

namespace bsbox {

inline double dot(const double *a, const double *b, int dim = 3) {
  double s = 0;
  for (int c = 0; c < dim; ++c) s += a[c] * b[c];
  return s;
}

inline void cross(const double *a, const double *b, double *out) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

// The first dim coordinates of the stored poles as blocks, the weights after them when rational.
inline std::vector<double> coordinate_blocks(const TestCurve &c, int dim) {
  const int n = c.n();
  std::vector<double> out(static_cast<size_t>(dim + (c.weights.empty() ? 0 : 1)) * n);
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < dim; ++k) out[k * n + i] = c.poles[3 * i + k];
    if (!c.weights.empty()) out[dim * n + i] = c.weights[i];
  }
  return out;
}

// The point at t of a Legendre series span (coordinate blocks of deg + 1, weight block last when rational).
inline void legendre_point(int deg, int dim, bool rational, const double *coef, double t, double *p) {
  std::vector<double> P(deg + 1);
  P[0] = 1;
  if (deg >= 1) P[1] = t;
  for (int j = 1; j < deg; ++j) P[j + 1] = ((2 * j + 1) * t * P[j] - j * P[j - 1]) / (j + 1);
  auto value = [&](const double *c) {
    double v = 0;
    for (int j = 0; j <= deg; ++j) v += c[j] * P[j];
    return v;
  };
  const double w = rational ? value(coef + dim * (deg + 1)) : 1.0;
  for (int k = 0; k < dim; ++k) p[k] = value(coef + k * (deg + 1)) / w;
}

// A random Legendre span: coordinates in [-3, 3]; when rational, the weight block w0, then coefficients in
// [-spread, spread], or all equal and summing to heavy_sum when that is given.
inline std::vector<double> random_legendre_span(std::mt19937 &rng, int deg, int dim, bool rational, double w0,
                                                double spread, double heavy_sum = 0) {
  std::uniform_real_distribution<double> ud(-3, 3), small(-spread, spread);
  std::vector<double> coef((dim + (rational ? 1 : 0)) * (deg + 1));
  for (int i = 0; i < dim * (deg + 1); ++i) coef[i] = ud(rng);
  if (rational) {
    double *w = coef.data() + dim * (deg + 1);
    w[0] = w0;
    for (int j = 1; j <= deg; ++j) w[j] = heavy_sum > 0 ? heavy_sum / deg : small(rng);
  }
  return coef;
}

// Whether p lies in {center + sum s_i a_i : |s_i| <= 1} within tol (relative to the box's size): the
// coordinates along the non-zero axes by least squares, then the residual and the coordinates are checked.
inline bool in_box(int dim, const double *center, const double *axes, const double *p, double tol) {
  std::vector<const double *> a;
  double size = 1;
  for (int i = 0; i < dim; ++i) size += std::sqrt(dot(axes + i * dim, axes + i * dim, dim));
  // An axis of rounding-error length (the flat direction of a plane curve's box) counts as none.
  for (int i = 0; i < dim; ++i)
    if (std::sqrt(dot(axes + i * dim, axes + i * dim, dim)) > 1e-12 * size) a.push_back(axes + i * dim);
  const int m = static_cast<int>(a.size());
  double v[3] = {};
  for (int c = 0; c < dim; ++c) v[c] = p[c] - center[c];
  double G[3][4] = {};
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < m; ++j) G[i][j] = dot(a[i], a[j], dim);
    G[i][m] = dot(a[i], v, dim);
  }
  for (int i = 0; i < m; ++i) {  // Gauss-Jordan with partial pivoting
    int piv = i;
    for (int r = i + 1; r < m; ++r)
      if (std::fabs(G[r][i]) > std::fabs(G[piv][i])) piv = r;
    for (int c = 0; c <= m; ++c) std::swap(G[i][c], G[piv][c]);
    for (int r = 0; r < m; ++r) {
      if (r == i) continue;
      const double f = G[r][i] / G[i][i];
      for (int c = i; c <= m; ++c) G[r][c] -= f * G[i][c];
    }
  }
  double resid[3] = {v[0], v[1], dim > 2 ? v[2] : 0};
  for (int i = 0; i < m; ++i) {
    const double s = G[i][m] / G[i][i];
    if (std::fabs(s) > 1 + tol) return false;
    for (int c = 0; c < dim; ++c) resid[c] -= s * a[i][c];
  }
  return std::sqrt(dot(resid, resid, dim)) <= tol * size;
}

// Parameter i of count + 1 equally spaced over the range, the last one exactly the range end.
inline double sample(const TestCurve &c, int i, int count) {
  return i == count ? c.end() : c.start() + (c.end() - c.start()) * i / count;
}

// A bound is a bound: min_sq at most, max_sq at least, the squared distance d2 (relative slack for rounding).
inline void expect_bounds(double min_sq, double max_sq, double d2, const char *what, int i) {
  EXPECT_LE(min_sq, d2 * (1 + 1e-9) + 1e-12) << what << " " << i;
  EXPECT_GE(max_sq, d2 * (1 - 1e-9) - 1e-12) << what << " " << i;
}

}  // namespace bsbox

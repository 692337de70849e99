// Curves for the B-spline tests: a record over owned arrays, random clamped and unclamped curves, and a
// reference evaluation by the plain Cox-de Boor definition that shares no code with the library.
#pragma once

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "bspline/bspline.h"

struct TestCurve {
  std::vector<double> poles;    // weighted when rational
  std::vector<double> knots;
  std::vector<double> weights;  // empty when not rational
  VOQbsp_curve cv{};

  TestCurve(int order, std::vector<double> cartesian_poles, std::vector<double> knot_vector,
            std::vector<double> w = {})
      : knots(std::move(knot_vector)), weights(std::move(w)) {
    const int n = static_cast<int>(cartesian_poles.size() / 3);
    poles = cartesian_poles;
    if (!weights.empty())
      for (int i = 0; i < n; ++i)
        for (int c = 0; c < 3; ++c) poles[3 * i + c] *= weights[i];
    cv.order = static_cast<std::int16_t>(order);
    cv.periodic = 0;
    cv.non_uniform = 1;
    cv.num_poles = n;
    cv.poles = poles.data();
    cv.num_knots = static_cast<std::int32_t>(knots.size());
    cv.knots = knots.data();
    cv.rational = weights.empty() ? 0 : 1;
    cv.weights = weights.empty() ? nullptr : weights.data();
    cv.planar = 0;
    cv.phy_closed = 0;
    cv.num_boundaries = 0;
    cv.bdrys = nullptr;
  }
  TestCurve(const TestCurve &) = delete;
  TestCurve &operator=(const TestCurve &) = delete;

  int order() const { return cv.order; }
  int n() const { return cv.num_poles; }
  double start() const { return knots[order() - 1]; }
  double end() const { return knots[n()]; }
  // Cartesian pole i
  double pole(int i, int c) const { return weights.empty() ? poles[3 * i + c] : poles[3 * i + c] / weights[i]; }
};

// Random curve of the given order and pole count: clamped or not, with interior knots of random spacing and,
// when asked, knots of multiplicity up to max_mult; rational ones get weights in [0.5, 2].
inline std::unique_ptr<TestCurve> random_curve(std::mt19937 &rng, int order, int n, bool rational, bool clamped,
                                               int max_mult = 1) {
  std::uniform_real_distribution<double> coord(-10, 10), gap(0.2, 2.0), wd(0.5, 2.0);
  std::uniform_int_distribution<int> mult(1, max_mult);
  std::vector<double> knots;
  double t = coord(rng);
  if (clamped) {
    for (int i = 0; i < order; ++i) knots.push_back(t);
    while (static_cast<int>(knots.size()) < n) {
      t += gap(rng);
      const int m = mult(rng);
      for (int j = 0; j < m && static_cast<int>(knots.size()) < n; ++j) knots.push_back(t);
    }
    t += gap(rng);
    for (int i = 0; i < order; ++i) knots.push_back(t);
  } else {
    while (static_cast<int>(knots.size()) < n + order) {
      knots.push_back(t);
      t += gap(rng);
    }
  }
  std::vector<double> poles(3 * n), w;
  for (double &p : poles) p = coord(rng);
  if (rational)
    for (int i = 0; i < n; ++i) w.push_back(wd(rng));
  return std::make_unique<TestCurve>(order, poles, knots, w);
}

// All basis functions of order k at u by the definition, raised order by order over the whole knot vector (the
// last span closed on the right): entry i belongs to pole i.
inline std::vector<double> ref_basis_all(const std::vector<double> &t, int k, double u, double end) {
  const int m = static_cast<int>(t.size());
  std::vector<double> N(m - 1, 0.0);
  // Spans are closed on the left, except that the end of the range belongs to the one span that ends there:
  // knots past an unclamped end must not add the next span's basis to it.
  for (int i = 0; i + 1 < m; ++i)
    N[i] = (u == end ? t[i] < u && u <= t[i + 1] : t[i] <= u && u < t[i + 1]) ? 1 : 0;
  for (int q = 2; q <= k; ++q)
    for (int i = 0; i + q < m; ++i) {
      double v = 0;
      const double d1 = t[i + q - 1] - t[i], d2 = t[i + q] - t[i + 1];
      if (d1 > 0) v += (u - t[i]) / d1 * N[i];
      if (d2 > 0) v += (t[i + q] - u) / d2 * N[i + 1];
      N[i] = v;
    }
  return N;
}

inline double ref_basis(const std::vector<double> &t, int i, int k, double u, double end) {
  return ref_basis_all(t, k, u, end)[i];
}

// Cartesian point of a test curve by the definition. from_left: inside the range, the point of the span that ends
// at u (the library's choice for a single parameter) rather than of the one that starts there; the two differ
// where the curve jumps at u.
inline void ref_point(const TestCurve &c, double u, double out[3], bool from_left = false) {
  double A[3] = {0, 0, 0}, W = 0;
  const std::vector<double> N = ref_basis_all(c.knots, c.order(), u, from_left && u > c.start() ? u : c.end());
  for (int i = 0; i < c.n(); ++i) {
    const double b = N[i];
    const double w = c.weights.empty() ? 1.0 : c.weights[i];
    for (int k = 0; k < 3; ++k) A[k] += b * c.poles[3 * i + k];
    W += b * w;
  }
  for (int k = 0; k < 3; ++k) out[k] = A[k] / W;
}

// The same for a record a routine wrote (weighted poles when rational).
inline void ref_point(const VOQbsp_curve &c, double u, double out[3]) {
  const std::vector<double> N =
      ref_basis_all({c.knots, c.knots + c.num_poles + c.order}, c.order, u, c.knots[c.num_poles]);
  double A[3] = {0, 0, 0}, W = 0;
  for (int i = 0; i < c.num_poles; ++i) {
    for (int k = 0; k < 3; ++k) A[k] += N[i] * c.poles[3 * i + k];
    W += N[i] * (c.rational ? c.weights[i] : 1.0);
  }
  for (int k = 0; k < 3; ++k) out[k] = A[k] / W;
}

// The polynomial of c's span [s0, s1] at u, by Lagrange's form through order points of the span: continued
// past the span, it is what a continuation of that span must follow.
inline void span_polynomial(const TestCurve &c, double s0, double s1, double u, double out[3]) {
  const int k = c.order();
  std::vector<double> x(k);
  for (int i = 0; i < k; ++i) x[i] = 0.5 * (s0 + s1) - 0.5 * (s1 - s0) * std::cos(M_PI * (i + 0.5) / k);
  out[0] = out[1] = out[2] = 0;
  for (int i = 0; i < k; ++i) {
    double l = 1, p[3];
    for (int j = 0; j < k; ++j)
      if (j != i) l *= (u - x[j]) / (x[i] - x[j]);
    ref_point(c, x[i], p);
    for (int d = 0; d < 3; ++d) out[d] += l * p[d];
  }
}

// The largest distance between c and a result over c's whole range (41 samples): a continuation or lengthening
// must leave the old range where it was.
inline double old_range_error(const TestCurve &c, const VOQbsp_curve &out) {
  double worst = 0;
  for (int i = 0; i <= 40; ++i) {
    const double u = c.start() + (c.end() - c.start()) * i / 40;
    double a[3], b[3];
    ref_point(c, u, a);
    ref_point(out, u, b);
    worst = std::max(worst, std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]));
  }
  return worst;
}

// An order-2 curve through the points xyz (x, y, z each), knots 0, 1, 2, ... at the corners.
inline std::unique_ptr<TestCurve> polyline_xyz(const std::vector<double> &xyz, bool closed = false) {
  std::vector<double> k = {0};
  for (std::size_t i = 0; i < xyz.size() / 3; ++i) k.push_back(static_cast<double>(i));
  k.push_back(k.back());
  auto c = std::make_unique<TestCurve>(2, xyz, k);
  c->cv.phy_closed = closed;
  return c;
}

// What a composite offset handed back, as numbers to compare to the bit: its code and counts, each loop's count,
// and each curve's tag, flags, knots, poles and weights (pieces, then the loops' curves).
inline std::vector<double> offset_bits(int rc, int m, int nl, const int *per_loop, const int *tags,
                                       VOQbsp_curve *const *pieces, const int *loop_tags,
                                       VOQbsp_curve *const *loops) {
  std::vector<double> out{double(rc), double(m), double(nl)};
  const auto curve = [&](int tag, const VOQbsp_curve *cv) {
    out.insert(out.end(), {double(tag), double(cv->order), double(cv->num_poles), double(cv->rational),
                           double(cv->planar), double(cv->phy_closed), double(cv->periodic), double(cv->non_uniform)});
    out.insert(out.end(), cv->knots, cv->knots + cv->num_poles + cv->order);
    out.insert(out.end(), cv->poles, cv->poles + 3 * cv->num_poles);
    if (cv->rational) out.insert(out.end(), cv->weights, cv->weights + cv->num_poles);
  };
  int in_loops = 0;
  for (int k = 0; k < nl; ++k) out.push_back(per_loop[k]), in_loops += per_loop[k];
  for (int k = 0; k < m; ++k) curve(tags[k], pieces[k]);
  for (int k = 0; k < in_loops; ++k) curve(loop_tags[k], loops[k]);
  return out;
}

// Helpers for the tests of knot insertion, splitting, degree raising, merging and weights: output records with
// room, owners of records the library allocates, and shape comparison between two curves.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/knots.h"
#include "tests/bspline/curve_fixtures.h"

// An output record with arrays for up to `poles` poles (and boundaries when asked).
struct RoomCurve {
  std::vector<double> poles, knots, weights, bdrys;
  VOQbsp_curve cv{};
  RoomCurve(int poles_room, int order_room, bool rational, int boundary_room = 0)
      : poles(3 * poles_room, -777), knots(poles_room + order_room, -777), weights(poles_room, -777),
        bdrys(2 * boundary_room, -777) {
    cv.poles = poles.data();
    cv.knots = knots.data();
    cv.weights = rational ? weights.data() : nullptr;
    cv.bdrys = boundary_room ? bdrys.data() : nullptr;
    cv.rational = rational;
  }
  RoomCurve(const RoomCurve &) = delete;
  RoomCurve &operator=(const RoomCurve &) = delete;
};

// Owner of a record made by BSallocvoqcv.
struct FreeCurve {
  void operator()(VOQbsp_curve *c) const {
    int rc = 0;
    if (c) BSfreevoqcv(c, &rc);
  }
};
using HeapCurve = std::unique_ptr<VOQbsp_curve, FreeCurve>;

inline HeapCurve heap_copy(const VOQbsp_curve &cv, int extra_poles = 0) {
  VOQbsp_curve *c = nullptr;
  int rc = 0;
  BSallocvoqcv(cv.order, cv.num_poles + extra_poles, cv.rational, 0, &c, &rc);
  EXPECT_EQ(rc, 0);
  BScv_copy(&rc, &cv, c);
  EXPECT_EQ(rc, 0);
  return HeapCurve(c);
}

inline std::vector<double> curve_point(const VOQbsp_curve &cv, double u) {
  std::vector<double> p(3);
  int rc = 0;
  BScveval_n(&cv, u, 0, p.data(), &rc);
  EXPECT_EQ(rc, 0) << "evaluation at " << u;
  return p;
}

inline std::vector<double> knots_of(const VOQbsp_curve &cv) {
  return std::vector<double>(cv.knots, cv.knots + cv.num_knots);
}

inline std::vector<double> cartesian_poles(const VOQbsp_curve &cv) {
  std::vector<double> out(3 * cv.num_poles);
  for (int i = 0; i < cv.num_poles; ++i)
    for (int c = 0; c < 3; ++c) out[3 * i + c] = cv.poles[3 * i + c] / (cv.rational ? cv.weights[i] : 1.0);
  return out;
}

// Points of b at the parameters of a mapped by b_of_a agree with a's within tol (relative to the coordinates'
// size, at least 1), at both ends of [lo, hi] and at random parameters between.
template <typename Map>
void expect_same_points(const VOQbsp_curve &a, const VOQbsp_curve &b, double lo, double hi, Map b_of_a,
                        std::mt19937 &rng, double tol = 1e-12, int samples = 25) {
  std::uniform_real_distribution<double> ud(lo, hi);
  for (int i = 0; i < samples; ++i) {
    const double u = i == 0 ? lo : i == 1 ? hi : ud(rng);
    const auto p = curve_point(a, u), q = curve_point(b, b_of_a(u));
    const double scale = std::max({1.0, std::fabs(p[0]), std::fabs(p[1]), std::fabs(p[2])});
    for (int c = 0; c < 3; ++c) ASSERT_NEAR(p[c], q[c], tol * scale) << "u " << u << " coordinate " << c;
  }
}

inline void expect_same_points(const VOQbsp_curve &a, const VOQbsp_curve &b, double lo, double hi,
                               std::mt19937 &rng, double tol = 1e-12, int samples = 25) {
  expect_same_points(a, b, lo, hi, [](double u) { return u; }, rng, tol, samples);
}

inline double range_start(const VOQbsp_curve &cv) { return cv.knots[cv.order - 1]; }
inline double range_end(const VOQbsp_curve &cv) { return cv.knots[cv.num_poles]; }

// Restores the fault hook when a test ends, whatever it asserted.
struct HookGuard {
  explicit HookGuard(BSfaulthandler h) { BSsetfaulthook(h); }
  ~HookGuard() { BSsetfaulthook(nullptr); }
};

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "bspline/legendre.h"

namespace {

// p = 1 + 2t + 3t^2 + 4t^3 + 5t^4 and q = 2 - t + t^3: derivatives 1 to 5 of p at 0.5 by hand, and a rational
// plane curve (p/q, t^2) in mode 1.
TEST(PowerSeries, DerivativesOfPolynomialsAndRationalCurves) {
  const double p[5] = {1, 2, 3, 4, 5};
  const double by_hand[6] = {1 + 1 + 0.75 + 0.5 + 0.3125, 2 + 3 + 3 + 2.5, 6 + 12 + 15, 24 + 60, 120, 0};
  for (int k = 0; k <= 5; ++k) {
    double v[2] = {NAN, NAN};
    int rc = 99;
    BSpocurvder(4, 1, p, k, 0.5, v, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NEAR(v[0], by_hand[k], 1e-13) << k;
    // Mode 0 is the polynomial evaluation itself, for any dimension.
    double w[2] = {NAN, NAN};
    BSevacansng(4, 1, 0, p, k, 0.5, w, &rc);
    EXPECT_EQ(w[0], v[0]) << k;
  }
  // Mode 1: (X/W, Y) with X = p, Y = t^2, W = q, all of degree 4.
  const double curve[15] = {1, 2, 3, 4, 5, 0, 0, 1, 0, 0, 2, -1, 0, 1, 0};
  const double t = 0.5, q = 2 - t + t * t * t, dq = -1 + 3 * t * t;
  double out[2] = {NAN, NAN};
  int rc = 99;
  BSevacansng(4, 2, 1, curve, 0, t, out, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NEAR(out[0], by_hand[0] / q, 1e-15);
  EXPECT_EQ(out[1], 0.25);
  BSevacansng(4, 2, 1, curve, 1, t, out, &rc);
  EXPECT_NEAR(out[0], (by_hand[1] * q - by_hand[0] * dq) / (q * q), 1e-14);
  EXPECT_EQ(out[1], 1.0);
  BSevacansng(4, 2, 1, curve, 3, t, out, &rc);
  EXPECT_EQ(out[1], 0.0);
}

// A denominator exactly 0 at t makes its coordinate DBL_MAX with rc -5 at every order; the other coordinate
// of a plane curve is still evaluated.
TEST(PowerSeries, ZeroDenominator) {
  // Plane, mode 3: X/Wx with Wx = t, Y/Wy with Wy = 1 + t. Space: W = t for all three.
  const double plane[8] = {1, 1, 2, 0, 0, 1, 1, 1};
  const double space[8] = {1, 0, 2, 0, 3, 1, 0, 1};
  for (int k = 0; k <= 4; ++k) {
    double out[3] = {NAN, NAN, NAN};
    int rc = 99;
    BSevacansng(1, 2, 3, plane, k, 0.0, out, &rc);
    EXPECT_EQ(rc, -5) << k;
    EXPECT_EQ(out[0], DBL_MAX) << k;
    const double y[5] = {2, -2, 4, -12, 48};  // derivatives of 2 / (1 + t) at 0
    EXPECT_NEAR(out[1], y[k], 1e-12) << k;
    BSevacansng(1, 3, 1, space, k, 0.0, out, &rc);
    EXPECT_EQ(rc, -5) << k;
    for (double v : out) EXPECT_EQ(v, DBL_MAX) << k;
  }
}

}  // namespace

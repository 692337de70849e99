// Where a symbol placed along a line lands and where it points, in both builds: what the client protocol's tests
// under Wine do not reach (the vertical-axis factor, the tolerances, input that is no number).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "display/style/styles/LinePointPlacement.h"

namespace {

TEST(LinePointPlacementTest, PositionAndDirectionFollowThePieceTheShiftsAndTheFlags) {
  const double s = std::sqrt(0.5);
  const struct {
    const char* what;
    double u[2];
    double distance;
    LinePointPlacement placement;
    double x, y, dx, dy;
  } cases[] = {
      {"absolute without angle", {s, s}, 0, {0, 0, 0, true}, 0, 0, 1, 0},
      {"shifts along and to the left", {s, s}, 0, {1, 2}, s - 2 * s, s + 2 * s, s, s},
      {"shifts below the tolerance count as none", {1, 0}, 1, {1e-8, -1e-8}, 1, 0, 1, 0},
      // Upright: a piece running left turns the symbol and the shifts round, not the place on the line.
      {"upright, leftwards", {-1, 0}, 3, {1, 1, 0, false, true}, -2, 1, 1, 0},
      {"upright, straight down", {0, -1}, 1, {0, 1, 0, false, true}, -1, -1, 0, 1},
      {"upright, down drawn up (f < 0)", {0, 1}, 1, {0, 1, 0, false, true, -1}, -1, 1, 0, -1},
      {"upright is not read with an absolute angle", {-1, 0}, 0, {0, 1, 0, true, true}, 0, -1, 1, 0},
      {"across scaled sideways by f stays one unit", {1, 0}, 0, {0, 2, 0, false, false, 3}, 0, 2, 1, 0},
  };
  const double base[3] = {0, 0, 7};
  for (const auto& c : cases) {
    LinePoint p{};
    ASSERT_TRUE(c.placement.Place(base, c.distance, c.u, &p)) << c.what;
    EXPECT_NEAR(p.position[0], c.x, 1e-12) << c.what;
    EXPECT_NEAR(p.position[1], c.y, 1e-12) << c.what;
    EXPECT_EQ(p.position[2], 0.0) << c.what;
    EXPECT_NEAR(p.direction[0], c.dx, 1e-12) << c.what;
    EXPECT_NEAR(p.direction[1], c.dy, 1e-12) << c.what;
    EXPECT_EQ(p.direction[2], 0.0) << c.what;
    EXPECT_EQ(p.normal[2], 1.0) << c.what;
  }
}

TEST(LinePointPlacementTest, WhatIsNoNumberPlacesNothing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double base[3] = {0, 0, 0};
  const double u[2] = {1, 0};
  const struct {
    double distance;
    LinePointPlacement placement;
  } cases[] = {{nan, {}}, {1, {inf}}, {1, {0, nan}}, {1, {0, 0, inf}}, {1, {0, 0, nan, true}}, {1e308, {1e308}}};
  for (const auto& c : cases) {
    LinePoint p{{7, 7, 7}, {7, 7, 7}, {7, 7, 7}};
    EXPECT_FALSE(c.placement.Place(base, c.distance, u, &p));
    EXPECT_EQ(p.position[0], 7.0);  // untouched
  }
}

}  // namespace

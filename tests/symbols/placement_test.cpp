// Where a placed symbol lands: the matrix built from the symbol scale, the vertical-axis factor, the angle of an
// oriented point and the point itself, in both builds.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "display/style/styles/SymbolPlacement.h"

namespace {

// A symbol point (row vector) times the matrix.
GPosition Placed(const G4x4& m, double x, double y, double z) {
  const double* a = m.m_matrix;
  return {x * a[0] + y * a[4] + z * a[8] + a[12], x * a[1] + y * a[5] + z * a[9] + a[13],
          x * a[2] + y * a[6] + z * a[10] + a[14]};
}

TEST(SymbolPlacementTest, PlainPointsAreScaledAndMovedOrientedOnesTurnedFirst) {
  const SymbolPlacement placement(2.0, 1.0);
  const double plain[] = {4, 5, 6};
  const G4x4 m = placement.At(plain);
  const double expected[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 4, 5, 6, 1};
  for (int k = 0; k < 16; ++k) EXPECT_EQ(m.m_matrix[k], expected[k]) << k;

  const double at[] = {10, 20, 0};
  const GPosition p = Placed(placement.At(at, placement.Angle(0, 1)), 1, 0, 0);
  EXPECT_NEAR(p.x, 10, 1e-12);
  EXPECT_NEAR(p.y, 22, 1e-12);
  EXPECT_NEAR(p.z, 0, 1e-12);

  // The vertical factor stretches y after the turn: a symbol point on x, turned a quarter, ends on y scaled by
  // S·f, while one on y, turned a quarter, ends on -x scaled by S alone.
  const SymbolPlacement stretched(2.0, 3.0);
  const G4x4 quarter = stretched.At(at, M_PI / 2);
  const GPosition up = Placed(quarter, 1, 0, 0);
  const GPosition left = Placed(quarter, 0, 1, 0);
  EXPECT_NEAR(up.y - 20, 6, 1e-12);
  EXPECT_NEAR(left.x - 10, -2, 1e-12);
}

TEST(SymbolPlacementTest, AnglesAreMeasuredAsTheVerticalAxisIsDrawn) {
  const struct {
    double f, dx, dy, angle;
  } cases[] = {{1, 1, 0, 0},     {1, 0, 1, M_PI / 2}, {1, -1, 0, M_PI}, {-1, 0, 1, -M_PI / 2},
               {2, 1, 1, std::atan2(2.0, 1.0)},    {1, 0, 0, 0}};
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(SymbolPlacement(1.0, c.f).Angle(c.dx, c.dy), c.angle) << c.f << " " << c.dx << " " << c.dy;
  }
}

TEST(SymbolPlacementTest, NothingThatIsNotANumberIsPlaced) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_TRUE(SymbolPlacement(0.0, 1.0).IsValid());
  EXPECT_FALSE(SymbolPlacement(nan, 1.0).IsValid());
  EXPECT_FALSE(SymbolPlacement(2.0, inf).IsValid());
  EXPECT_FALSE(SymbolPlacement(1e300, 1e300).IsValid());  // S·f overflows

  const double plain[] = {1, 2, 3, 4, nan, 6};
  EXPECT_TRUE(SymbolPlacement::ArePlaceable(plain, 1, false));
  EXPECT_FALSE(SymbolPlacement::ArePlaceable(plain, 2, false));
  // An oriented point: its normal is not read, its direction is.
  double oriented[9] = {1, 2, 3, nan, nan, nan, 1, 0, 0};
  EXPECT_TRUE(SymbolPlacement::ArePlaceable(oriented, 1, true));
  oriented[7] = inf;
  EXPECT_FALSE(SymbolPlacement::ArePlaceable(oriented, 1, true));
}

}  // namespace

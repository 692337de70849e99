// The placement of symbols against Eigen: Translation3d * Scaling(S, S·f, S) * AngleAxisd(a, UnitZ()), which
// maps column vectors, transposed to the row-vector form of G4x4, on random input.
#include <gtest/gtest.h>

#include <Eigen/Geometry>
#include <cmath>
#include <random>

#include "display/style/styles/SymbolPlacement.h"

namespace {

TEST(SymbolPlacementOracleTest, AgreesWithEigensAffineTransform) {
  std::mt19937_64 rng(20240534);
  std::uniform_real_distribution<double> any(-50, 50);
  std::uniform_real_distribution<double> positive(0.01, 20);
  std::uniform_real_distribution<double> angle(-4, 4);
  for (int round = 0; round < 500; ++round) {
    const double s = positive(rng);
    const double f = round % 3 == 0 ? -positive(rng) / 10 : positive(rng) / 10;
    const double a = angle(rng);
    const double point[3] = {any(rng), any(rng), any(rng)};
    const SymbolPlacement placement(s, f);
    const G4x4 mine = round % 5 == 0 ? placement.At(point) : placement.At(point, a);
    const double turn = round % 5 == 0 ? 0.0 : a;
    const Eigen::Affine3d theirs = Eigen::Translation3d(point[0], point[1], point[2]) *
                                   Eigen::Scaling(s, s * f, s) * Eigen::AngleAxisd(turn, Eigen::Vector3d::UnitZ());
    const Eigen::Matrix4d rowForm = theirs.matrix().transpose();
    for (int i = 0; i < 4; ++i) {
      for (int j = 0; j < 4; ++j) {
        EXPECT_NEAR(mine.m_matrix[4 * i + j], rowForm(i, j), 1e-14)
            << "round " << round << " element " << 4 * i + j;
      }
    }
  }
}

}  // namespace

// The offset of one curve with its loops split off, beside OpenCASCADE's exact offset: random planar cubics
// turning both ways, a rational arc and a closed curve with a dent, offset to both sides of a side point; and
// zig-zag polylines with sharp corners beside GEOS's mitred offset curve.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "bspline/intersect.h"
#include "bspline/offset.h"
#include "tests/bspline/oracle/offset/offset_checks.h"
#include "tests/bspline/oracle/peer_geos.h"

namespace {

TEST(SingleOffsetOracle, CubicsArcsAndClosedCurvesAgreeWithOpenCascade) {
  std::mt19937 rng(9101);
  std::uniform_real_distribution<double> turn(-0.6, 0.6);
  std::vector<std::unique_ptr<TestCurve>> bases;
  for (int t = 0; t < 8; ++t) {
    const int n = 5 + t % 4;
    std::vector<double> p, knots(4, 0.0);
    double angle = 0, x = 0, y = 0;
    for (int i = 0; i < n; ++i) {
      p.insert(p.end(), {x, y, 0.0});
      angle += turn(rng);
      x += 2 * std::cos(angle), y += 2 * std::sin(angle);
    }
    for (int i = 1; i <= n - 4; ++i) knots.push_back(i);
    knots.insert(knots.end(), 4, n - 3);
    bases.push_back(std::make_unique<TestCurve>(4, p, knots));
  }
  const double h = std::sqrt(0.5);
  bases.push_back(std::make_unique<TestCurve>(3, std::vector<double>{5, 0, 0, 5, 5, 0, 0, 5, 0},
                                              std::vector<double>{0, 0, 0, 1, 1, 1}, std::vector<double>{1, h, 1}));
  {
    std::vector<double> p, knots;
    for (int i = 0; i < 11; ++i) {
      const double a = 2 * M_PI * (i % 8) / 8;
      p.insert(p.end(), {6 * std::cos(a), 3 * std::sin(a) + 0.8 * std::cos(3 * a), 0.0});
    }
    for (int i = 0; i < 15; ++i) knots.push_back(i);
    bases.push_back(std::make_unique<TestCurve>(4, p, knots));
  }
  const double tol = 2e-3;
  for (size_t t = 0; t < bases.size(); ++t) {
    TestCurve &c = *bases[t];
    c.cv.planar = 1;
    for (double sign : {1.0, -1.0})
      offsets_oracle::CheckSingleOffset(c, 0.4 + 0.3 * (t % 3), sign, 1, tol,
                                        std::to_string(t) + " side " + std::to_string(sign));
  }
}

// Legs long beside d and turns of at most about 110 degrees, so that no loop forms; the side point just off the
// first leg, left or right, and a negative distance turning it round.
TEST(SingleOffsetOracle, ZigZagsWithSharpCornersAgreeWithGeosMitre) {
  std::mt19937 rng(9102);
  std::uniform_real_distribution<double> step(2.5, 4), amp(0.5, 1.5);
  for (int trial = 0; trial < 6; ++trial) {
    const int n = 3 + trial * 5;
    std::vector<double> p, k = {0};
    for (int i = 0; i < n; ++i) {
      p.insert(p.end(), {i ? p[3 * i - 3] + step(rng) : 0, (i % 2 ? 1 : -1) * amp(rng), 0.0});
      k.push_back(i);
    }
    k.push_back(n - 1);
    TestCurve c(2, p, k);
    c.cv.planar = 1;
    const double dx = p[3] - p[0], dy = p[4] - p[1], len = std::hypot(dx, dy);
    for (double left : {1.0, -1.0})
      for (double d : {0.4, -0.4}) {
        const double side[3] = {p[0] + dx / 2 - left * 0.1 * dy / len, p[1] + dy / 2 + left * 0.1 * dx / len, 0};
        const double zero[3] = {0, 0, 0};
        VOQbsp_curve *out = nullptr, **pieces = nullptr;
        int count = 0, rc = 0;
        BSboolean flag = 0;
        BScvoffsetd(&c.cv, d, side, BSFALSE, 0, 0, &flag, zero, &out, &count, &pieces, &rc);
        ASSERT_EQ(rc, 0) << trial;
        const std::vector<double> peer = geos_offset(c, left * d, false);
        ASSERT_EQ(out->num_poles * 2, static_cast<int>(peer.size())) << trial;
        for (int i = 0; i < out->num_poles; ++i)
          for (int j = 0; j < 2; ++j) EXPECT_NEAR(out->poles[3 * i + j], peer[2 * i + j], 1e-9) << trial << " " << d;
        BSfreevoqcv(out, &rc);
      }
  }
}

}  // namespace

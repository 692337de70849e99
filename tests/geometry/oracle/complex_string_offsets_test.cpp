// Offsets of complex strings of lines against GEOS: with corner flag 0 every random zig-zag string comes back
// as GEOS's mitred offset curve of the same polyline, and as a string whose members join end to end.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "geometry/geometry.h"
#include "tests/bspline/oracle/peer_geos.h"
#include "tests/geometry/geometry_test_support.h"
#include "tests/geometry/typed_curve_builders.h"

namespace {

using namespace tcb;

class ComplexOffsetsOracle : public TypedCurves {};

TEST_F(ComplexOffsetsOracle, LineStringsAgreeWithGeosMitredOffsets) {
  ScopedDebugValue enabled("ValidateMathEnabled", 1);
  ResetValidateMathCache();
  std::mt19937 rng(20261208);
  auto uniform = [&rng](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
  for (int round = 0; round < 80; ++round) {
    // Segments of length 1 to 3 turning up and down by up to 1.8 radians: the inner corners trim less than
    // half of any segment at these distances, so no segment vanishes from the offset.
    const int n = std::uniform_int_distribution<int>(2, 40)(rng);
    std::vector<double> poles{uniform(-5, 5), uniform(-5, 5), 0.0};
    const double heading = uniform(-kPi, kPi);
    for (int i = 0; i < n; ++i) {
      const double a = heading + (i % 2 ? -1 : 1) * uniform(0.2, 0.9), length = uniform(1, 3);
      poles.push_back(poles[3 * i] + length * std::cos(a));
      poles.push_back(poles[3 * i + 1] + length * std::sin(a));
      poles.push_back(0.0);
    }
    std::vector<double> knots{0.0};
    for (int i = 0; i <= n; ++i) knots.push_back(i);
    knots.push_back(n);
    const TestCurve polyline(2, poles, knots);
    std::vector<GTypedCurve> lines;
    for (int i = 0; i < n; ++i)
      lines.push_back(Line({poles[3 * i], poles[3 * i + 1], 0}, {poles[3 * i + 3], poles[3 * i + 4], 0}));
    GTypedCurve in = Complex(lines);

    // A side point just left (or right) of the first segment's middle; GEOS offsets to the left when positive.
    const bool left = round % 2 == 0;
    const double d = uniform(0.02, 0.25);
    const double ux = poles[3] - poles[0], uy = poles[4] - poles[1], ul = std::hypot(ux, uy);
    const double s = (left ? 0.01 : -0.01) / ul;
    const GPosition side{(poles[0] + poles[3]) / 2 - s * uy, (poles[1] + poles[4]) / 2 + s * ux, 0};
    GTypedCurve out{};
    std::vector<int> map(2 * n + 1, -999);
    int rc = -1;
    IMTCOffI(&in, &side, d, 0, &out, map.data(), &rc);
    ASSERT_EQ(rc, 0) << round;
    const GComplexString& cs = Rec<GComplexString>(out);
    int valid = 0;
    IMCSVal(&cs, &valid, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(valid, 1) << round;

    const std::vector<double> peer = geos_offset(polyline, left ? d : -d, false);
    ASSERT_EQ(2 * (cs.numCurves + 1), peer.size()) << round;
    for (std::uint32_t k = 0; k <= cs.numCurves; ++k) {
      if (k < cs.numCurves) {
        EXPECT_EQ(cs.curves[k].type, kCurveLine) << round;
        EXPECT_EQ(map[k], static_cast<int>(k)) << round;
      }
      GPosition start, end;
      IMGGTCEPts(&cs.curves[k < cs.numCurves ? k : k - 1], &start, &end, &rc);
      const GPosition& p = k < cs.numCurves ? start : end;
      EXPECT_NEAR(p.x, peer[2 * k], 1e-9) << round << " vertex " << k;
      EXPECT_NEAR(p.y, peer[2 * k + 1], 1e-9) << round << " vertex " << k;
    }
    Free(out);
    Free(in);
  }
  ResetValidateMathCache();
}

}  // namespace

// The place of a symbol along a straight piece against GEOS: the point at a length along a line, shifted across
// it, where GEOS puts a positive offset on the left. Through GEOS's C interface: the point at the length
// (GEOSInterpolate), then the nearest point of the line offset by the shift (GEOSOffsetCurve).
#include <gtest/gtest.h>

#include <geos_c.h>

#include <cmath>
#include <random>

#include "display/style/styles/LinePointPlacement.h"

namespace {

class Geos {
 public:
  Geos() : m_ctx(GEOS_init_r()) {}
  ~Geos() { GEOS_finish_r(m_ctx); }
  Geos(const Geos&) = delete;
  Geos& operator=(const Geos&) = delete;

  // The point at `length` along the segment from a to b, `offset` to its left.
  void ExtractPoint(const double* a, const double* b, double length, double offset, double* out) const {
    GEOSCoordSequence* seq = GEOSCoordSeq_create_r(m_ctx, 2, 2);
    GEOSCoordSeq_setXY_r(m_ctx, seq, 0, a[0], a[1]);
    GEOSCoordSeq_setXY_r(m_ctx, seq, 1, b[0], b[1]);
    GEOSGeometry* line = GEOSGeom_createLineString_r(m_ctx, seq);
    GEOSGeometry* at = GEOSInterpolate_r(m_ctx, line, length);
    GEOSGeomGetX_r(m_ctx, at, &out[0]);
    GEOSGeomGetY_r(m_ctx, at, &out[1]);
    if (offset != 0) {
      GEOSGeometry* shifted = GEOSOffsetCurve_r(m_ctx, line, offset, 8, GEOSBUF_JOIN_MITRE, 5.0);
      GEOSCoordSequence* nearest = GEOSNearestPoints_r(m_ctx, shifted, at);
      GEOSCoordSeq_getXY_r(m_ctx, nearest, 0, &out[0], &out[1]);
      GEOSCoordSeq_destroy_r(m_ctx, nearest);
      GEOSGeom_destroy_r(m_ctx, shifted);
    }
    GEOSGeom_destroy_r(m_ctx, at);
    GEOSGeom_destroy_r(m_ctx, line);
  }

 private:
  GEOSContextHandle_t m_ctx;
};

TEST(LinePointOracleTest, AStraightPieceAgreesWithGeosLengthAndOffset) {
  const Geos geos;
  std::mt19937_64 rng(35);
  std::uniform_real_distribution<double> coordinate(-100, 100);
  std::uniform_real_distribution<double> part(0, 1);
  std::uniform_real_distribution<double> shift(-10, 10);
  for (int round = 0; round < 400; ++round) {
    const double a[3] = {coordinate(rng), coordinate(rng), 0};
    const double b[2] = {coordinate(rng), coordinate(rng)};
    const double length = std::hypot(b[0] - a[0], b[1] - a[1]);
    const double u[2] = {(b[0] - a[0]) / length, (b[1] - a[1]) / length};
    const double distance = part(rng) * length;
    LinePointPlacement placement;
    placement.across = round % 4 == 0 ? 0.0 : shift(rng);
    LinePoint mine{};
    ASSERT_TRUE(placement.Place(a, distance, u, &mine));
    double theirs[2];
    geos.ExtractPoint(a, b, distance, placement.across, theirs);
    EXPECT_NEAR(mine.position[0], theirs[0], 1e-9) << "round " << round;
    EXPECT_NEAR(mine.position[1], theirs[1], 1e-9) << "round " << round;
  }
}

}  // namespace

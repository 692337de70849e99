// The paths the offset line style draws along, against GEOS: an L-shaped and a zig-zag polyline moved through
// the curve offset at the side point and distance the style computes (right of the first segment for a
// positive offset) lie on GEOS's mitred offset curve (positive to the left), and it on them.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "geometry/offset_side.h"
#include "tests/bspline/oracle/peer_geos.h"
#include "tests/geometry/typed_curve_builders.h"

namespace {

using namespace tcb;

// The distance from a point to a polyline given as x, y pairs.
double DistanceToPath(double x, double y, const std::vector<double>& xy) {
  double best = INFINITY;
  for (std::size_t i = 0; i + 3 < xy.size(); i += 2) {
    const double ax = xy[i], ay = xy[i + 1], dx = xy[i + 2] - ax, dy = xy[i + 3] - ay;
    const double length2 = dx * dx + dy * dy;
    double t = length2 > 0 ? ((x - ax) * dx + (y - ay) * dy) / length2 : 0.0;
    t = std::fmin(1.0, std::fmax(0.0, t));
    best = std::fmin(best, std::hypot(ax + t * dx - x, ay + t * dy - y));
  }
  return best;
}

// The polyline as GEOS's input: a curve of order 2 through the points.
std::vector<double> GeosOffset(const std::vector<GPosition>& points, double leftDistance) {
  std::vector<double> poles, knots = {0.0};
  for (std::size_t i = 0; i < points.size(); ++i) {
    poles.insert(poles.end(), {points[i].x, points[i].y, 0.0});
    knots.push_back(static_cast<double>(i));
  }
  knots.push_back(static_cast<double>(points.size() - 1));
  TestCurve curve(2, poles, knots);
  return geos_offset(curve, leftDistance, false);
}

class OffsetStylePaths : public TypedCurves {};

TEST_F(OffsetStylePaths, AgreeWithGeosMitredOffsets) {
  const std::vector<GPosition> ell = {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}};
  const std::vector<GPosition> zigzag = {{0, 0, 0}, {4, 3, 0}, {8, 0, 0}, {12, 3, 0}, {16, 0, 0}, {19, 5, 0}};
  const struct {
    const char* name;
    const std::vector<GPosition>* points;
    double offset;
  } rows[] = {
      {"L, right", &ell, 1.0},       {"L, left", &ell, -1.0},         {"L, far right", &ell, 3.25},
      {"zig-zag, right", &zigzag, 0.5}, {"zig-zag, left", &zigzag, -0.75}, {"zig-zag, far left", &zigzag, -1.2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<GPosition>& points = *row.points;
    GLineString path{const_cast<GPosition*>(points.data()), static_cast<std::uint32_t>(points.size()), 1, 1};
    const GTypedCurve curve{&path, kCurveLineString};
    const GPosition side = OffsetSidePoint(points[0], points[1], row.offset);
    const double distance = std::fabs(row.offset);
    const int corner = 0;
    GTypedCurve moved{};
    int rc = -1;
    IMTCOff(&curve, &side, &distance, &corner, &moved, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(moved.type, kCurveLineString);
    const auto& result = Rec<GLineString>(moved);
    std::vector<double> ours;
    for (std::uint32_t i = 0; i < result.numPoints; ++i) {
      ours.insert(ours.end(), {result.pPoints[i].x, result.pPoints[i].y});
    }
    Free(moved);

    // The style's right is GEOS's negative side.
    const std::vector<double> peer = GeosOffset(points, -row.offset);
    for (std::size_t i = 0; i < ours.size(); i += 2) EXPECT_LT(DistanceToPath(ours[i], ours[i + 1], peer), 1e-9) << i;
    for (std::size_t i = 0; i < peer.size(); i += 2) EXPECT_LT(DistanceToPath(peer[i], peer[i + 1], ours), 1e-9) << i;
    // Both ends are the ends' points moved square to the end segments.
    EXPECT_NEAR(ours[0], peer[0], 1e-9);
    EXPECT_NEAR(ours[1], peer[1], 1e-9);
  }
}

}  // namespace

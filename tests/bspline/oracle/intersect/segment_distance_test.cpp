// Nearest points of two segments beside GEOS's distance of the two line strings, on random planar pairs with
// parallel, collinear and end-sharing pairs built on dyadic points (so that they are exactly so).
#include <geos_c.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "bspline/intersect.h"

namespace {

TEST(SegmentDistanceOracle, SameDistanceAsGeos) {
  GEOSContextHandle_t ctx = GEOS_init_r();
  auto line = [ctx](const double *s) {
    GEOSCoordSequence *seq = GEOSCoordSeq_create_r(ctx, 2, 2);
    GEOSCoordSeq_setXY_r(ctx, seq, 0, s[0], s[1]);
    GEOSCoordSeq_setXY_r(ctx, seq, 1, s[3], s[4]);
    return GEOSGeom_createLineString_r(ctx, seq);
  };
  std::mt19937 rng(79);
  std::uniform_real_distribution<double> u(-1, 1);
  std::uniform_int_distribution<int> kind(0, 9), grid(-64, 64), step(-3, 3), at(-32, 32), side(-8, 8);
  double worst = 0;
  int parallel = 0, off_segment = 0;
  for (int n = 0; n < 100000; ++n) {
    double a[6] = {u(rng), u(rng), 0, u(rng), u(rng), 0}, b[6] = {u(rng), u(rng), 0, u(rng), u(rng), 0};
    const int k = kind(rng);
    const double ox = grid(rng) / 64.0, oy = grid(rng) / 64.0, dx = step(rng), dy = step(rng);
    const double shift = k >= 8 ? 0 : side(rng) / 16.0, t[4] = {at(rng) / 16.0, at(rng) / 16.0, at(rng) / 16.0,
                                                                 at(rng) / 16.0};
    if (k >= 6 && (dx != 0 || dy != 0) && t[0] != t[1] && t[2] != t[3]) {
      // Parallel (6, 7) or collinear (8, 9): ends at dyadic steps along one direction, b moved sideways.
      for (int e = 0; e < 4; ++e) {
        double *p = (e < 2 ? a : b) + 3 * (e % 2);
        p[0] = ox + t[e] * dx - (e >= 2 ? shift * dy : 0);
        p[1] = oy + t[e] * dy + (e >= 2 ? shift * dx : 0);
      }
      ++parallel;
    } else if (k == 5) {
      b[0] = a[3], b[1] = a[4];  // a shared end
    }
    double dist = -1, pa[3], pb[3], s = -1, v = -1, want = -1;
    int rc = 1;
    BSdlsegs2(a, a + 3, b, b + 3, &dist, pa, pb, &s, &v, &rc);
    GEOSGeometry *ga = line(a), *gb = line(b);
    GEOSDistance_r(ctx, ga, gb, &want);
    GEOSGeom_destroy_r(ctx, ga);
    GEOSGeom_destroy_r(ctx, gb);
    // The distance is GEOS's and is measured between the two points, which lie on the segments.
    worst = std::max({worst, std::fabs(dist - want), std::fabs(std::hypot(pa[0] - pb[0], pa[1] - pb[1]) - dist)});
    off_segment += rc != 0 || !(s >= 0 && s <= 1 && v >= 0 && v <= 1);
  }
  GEOS_finish_r(ctx);
  EXPECT_LE(worst, 1e-12);
  EXPECT_EQ(off_segment, 0);
  EXPECT_GT(parallel, 30000);
}

}  // namespace

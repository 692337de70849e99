// The fill geometry against peers on random input: the trapezoids of polygons with holes against GEOS's
// polygon (area and union), the trapezoids of self-crossing loops against AGG's even-odd scanline coverage, and
// the clipped pieces of random segments against GEOS's intersection of the segment with the polygon.
#include <gtest/gtest.h>

#include "tests/geometry/oracle/fill_peers.h"

namespace {

using namespace fillpeers;

// The trapezoids as GEOS polygons (their distinct corners), unioned.
GEOSGeometry* UnionOfTrapezoids(const Geos& geos, const FillTrap& trap) {
  std::vector<GEOSGeometry*> parts;
  for (const FillTrapTrapezoid* t : Trapezoids(trap)) {
    Loop ring;
    for (const FillTrapNode* c : t->corners) {
      if (ring.empty() || ring.back() != std::make_pair(c->x, c->y)) ring.emplace_back(c->x, c->y);
    }
    if (ring.size() > 1 && ring.front() == ring.back()) ring.pop_back();
    if (ring.size() < 3) continue;
    parts.push_back(GEOSGeom_createPolygon_r(geos.ctx(), geos.Ring(ring), nullptr, 0));
  }
  GEOSGeometry* all = GEOSGeom_createCollection_r(geos.ctx(), GEOS_MULTIPOLYGON, parts.data(),
                                                  static_cast<unsigned>(parts.size()));
  GEOSGeometry* united = GEOSUnaryUnion_r(geos.ctx(), all);
  geos.Destroy(all);
  return united;
}

TEST(FillGeometryOracleTest, PolygonsWithHolesMatchGeos) {
  Geos geos;
  Random random(5150);
  for (int round = 0; round < 150; ++round) {
    const std::vector<Loop> loops = PolygonWithHoles(random);
    const Boundary boundary = ToBoundary(loops);
    FillTrap trap;
    ASSERT_EQ(trap.Build(boundary.data(), boundary.size()), kFillOk);
    GEOSGeometry* polygon = geos.Polygon(loops);
    ASSERT_EQ(GEOSisValid_r(geos.ctx(), polygon), 1) << "round " << round;
    const double area = geos.Area(polygon);
    for (const FillTrapTrapezoid* t : Trapezoids(trap)) ASSERT_TRUE(WellFormed(*t)) << "round " << round;
    EXPECT_NEAR(TotalArea(trap), area, 1e-9 * area) << "round " << round;
    GEOSGeometry* united = UnionOfTrapezoids(geos, trap);
    GEOSGeometry* difference = GEOSSymDifference_r(geos.ctx(), united, polygon);
    EXPECT_LT(geos.Area(difference), 1e-9 * area) << "round " << round;
    geos.Destroy(difference);
    geos.Destroy(united);
    geos.Destroy(polygon);
  }
}

TEST(FillGeometryOracleTest, SelfCrossingLoopsMatchAggEvenOdd) {
  Random random(8086);
  const double scale = 100;  // 10 units to 1,000 pixels
  // Random loops, then loops folded over themselves (a few crossings in nearly every band; at most 60 vertices,
  // so that AGG's pixels stay finer than their zig-zags), ten units square.
  for (int round = 0; round < 180; ++round) {
    Loop loop;
    if (round < 150) {
      const int count = random.Int(5, 16);
      for (int k = 0; k < count; ++k) loop.emplace_back(random.Uniform(0, 10), random.Uniform(0, 10));
    } else {
      loop = random.Folded(random.Int(8, 60), 10);
      for (auto& p : loop) p.first *= 10;
    }
    const int n = static_cast<int>(loop.size());
    Boundary boundary;
    boundary.Loop(loop);
    FillTrap trap;
    ASSERT_EQ(trap.Build(boundary.data(), boundary.size()), kFillOk);
    double perimeter = 0;
    for (int k = 0; k < n; ++k) {
      const auto& a = loop[k];
      const auto& b = loop[(k + 1) % n];
      perimeter += std::hypot(b.first - a.first, b.second - a.second) * scale;
    }
    // Each pixel on an edge may be off by its cover's rounding and the 1/256-pixel grid of the edge.
    const double resolution = perimeter * 2.0 / 256 + 2;
    for (const FillTrapTrapezoid* t : Trapezoids(trap)) ASSERT_TRUE(WellFormed(*t)) << "round " << round;
    EXPECT_NEAR(TotalArea(trap) * scale * scale, AggEvenOddCoverage({loop}, scale), resolution) << "round " << round;
  }
}

TEST(FillGeometryOracleTest, ClippedSegmentsMatchGeosIntersection) {
  Geos geos;
  Random random(1984);
  int skipped = 0;
  for (int round = 0; round < 40; ++round) {
    const std::vector<Loop> loops = PolygonWithHoles(random);
    const Boundary boundary = ToBoundary(loops);
    FillTrap trap;
    ASSERT_EQ(trap.Build(boundary.data(), boundary.size()), kFillOk);
    GEOSGeometry* polygon = geos.Polygon(loops);
    for (int k = 0; k < 50; ++k) {
      const Span s{random.Uniform(-6, 6), random.Uniform(-6, 6), random.Uniform(-6, 6), random.Uniform(-6, 6)};
      if (!ClearOfTolerances(loops, s)) {
        ++skipped;
        continue;
      }
      std::vector<Span> ours;
      trap.ClearSegments();
      std::uint32_t count = 0;
      GPosition piece[2];
      ASSERT_EQ(trap.ClipSegment({s.x1, s.y1}, {s.x2, s.y2}, &count, piece), kFillOk);
      for (std::uint32_t i = 0; i < count; ++i) {
        if (i > 0) {
          ASSERT_TRUE(trap.NextSegment(piece));
        }
        ours.push_back({piece[0].x, piece[0].y, piece[1].x, piece[1].y});
      }
      const std::vector<Span> mine = Joined(ours, 1e-9);
      const std::vector<Span> theirs = Joined(GeosPieces(geos, polygon, s), 1e-9);
      ASSERT_EQ(mine.size(), theirs.size()) << "round " << round << ", segment " << k;
      for (std::size_t i = 0; i < mine.size(); ++i) {
        EXPECT_NEAR(mine[i].x1, theirs[i].x1, 1e-9);
        EXPECT_NEAR(mine[i].y1, theirs[i].y1, 1e-9);
        EXPECT_NEAR(mine[i].x2, theirs[i].x2, 1e-9);
        EXPECT_NEAR(mine[i].y2, theirs[i].y2, 1e-9);
        EXPECT_NEAR(Length(mine[i]), Length(theirs[i]), 1e-9 * (1 + Length(theirs[i])));
      }
    }
    geos.Destroy(polygon);
  }
  EXPECT_LT(skipped, 40 * 50 / 10);
}

}  // namespace

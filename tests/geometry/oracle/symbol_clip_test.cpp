// Symbol polygons cut to random boundaries with holes, against GEOS: per element the area inside the boundary,
// per element and fill trapezoid the polygon itself; every polygon closed, convex and counter-clockwise.
#include <cmath>
#include <vector>

#include "tests/geometry/oracle/fill_peers.h"

namespace {

using fillpeers::Geos;
using fillpeers::Loop;

double Area(const Loop& loop) {
  double twice = 0;
  for (std::size_t i = 0; i < loop.size(); ++i) {
    const auto& a = loop[i];
    const auto& b = loop[(i + 1) % loop.size()];
    twice += a.first * b.second - b.first * a.second;
  }
  return twice / 2;
}

// Without repeated and collinear points, counter-clockwise.
Loop Simplified(Loop loop) {
  for (bool changed = true; changed && loop.size() >= 3;) {
    changed = false;
    for (std::size_t i = 0; i < loop.size() && loop.size() >= 3; ++i) {
      const auto& a = loop[(i + loop.size() - 1) % loop.size()];
      const auto& b = loop[i];
      const auto& c = loop[(i + 1) % loop.size()];
      const double cross = (b.first - a.first) * (c.second - b.second) - (b.second - a.second) * (c.first - b.first);
      const double scale =
          std::hypot(b.first - a.first, b.second - a.second) * std::hypot(c.first - b.first, c.second - b.second);
      if (std::fabs(cross) <= 1e-9 * scale || scale == 0) {
        loop.erase(loop.begin() + static_cast<std::ptrdiff_t>(i));
        changed = true;
      }
    }
  }
  if (Area(loop) < 0) std::reverse(loop.begin(), loop.end());
  return loop;
}

// GEOS's polygon as an open loop; empty when it is not one polygon with area.
Loop GeosLoop(const Geos& geos, const GEOSGeometry* g) {
  Loop loop;
  if (GEOSGeomTypeId_r(geos.ctx(), g) != GEOS_POLYGON || geos.Area(g) <= 1e-12) return loop;
  const GEOSCoordSequence* seq = GEOSGeom_getCoordSeq_r(geos.ctx(), GEOSGetExteriorRing_r(geos.ctx(), g));
  unsigned size = 0;
  GEOSCoordSeq_getSize_r(geos.ctx(), seq, &size);
  for (unsigned k = 0; k + 1 < size; ++k) {
    double x, y;
    GEOSCoordSeq_getXY_r(geos.ctx(), seq, k, &x, &y);
    loop.emplace_back(x, y);
  }
  return loop;
}

bool SameLoop(const Loop& a, const Loop& b, double tolerance) {
  if (a.size() != b.size() || a.empty()) return false;
  for (std::size_t shift = 0; shift < b.size(); ++shift) {
    bool same = true;
    for (std::size_t k = 0; k < a.size() && same; ++k) {
      const auto& p = a[k];
      const auto& q = b[(k + shift) % b.size()];
      same = std::fabs(p.first - q.first) <= tolerance && std::fabs(p.second - q.second) <= tolerance;
    }
    if (same) return true;
  }
  return false;
}

bool Overlap(const Loop& a, const Loop& b) {
  const auto range = [](const Loop& l, bool y, double* lo, double* hi) {
    *lo = HUGE_VAL, *hi = -HUGE_VAL;
    for (const auto& p : l) *lo = std::min(*lo, y ? p.second : p.first), *hi = std::max(*hi, y ? p.second : p.first);
  };
  for (bool y : {false, true}) {
    double a0, a1, b0, b1;
    range(a, y, &a0, &a1);
    range(b, y, &b0, &b1);
    if (a1 < b0 || b1 < a0) return false;
  }
  return true;
}

Loop Corners(const TileGenElement& e) {
  Loop loop;
  for (const auto& s : e.sides) {
    if (loop.empty() || loop.back() != std::make_pair(s[0], s[1])) loop.emplace_back(s[0], s[1]);
  }
  if (loop.front() == loop.back()) loop.pop_back();
  return loop;
}

TEST(SymbolClipOracle, PolygonsEqualGeosIntersections) {
  fillpeers::Random r(3);
  Geos geos;
  int pairs = 0;
  for (int trial = 0; trial < 8; ++trial) {
    const std::vector<Loop> loops = fillpeers::PolygonWithHoles(r);
    const Boundary boundary = fillpeers::ToBoundary(loops);
    FillTrap trap;
    ASSERT_EQ(trap.Build(boundary.data(), boundary.size()), kFillOk);
    GEOSGeometry* polygon = geos.Polygon(loops);
    std::vector<Loop> trapezoids;
    for (const FillTrapTrapezoid* t : Trapezoids(trap)) {
      Loop q;
      for (const FillTrapNode* c : t->corners) {
        if (q.empty() || q.back() != std::make_pair(c->x, c->y)) q.emplace_back(c->x, c->y);
      }
      trapezoids.push_back(q);
    }
    std::vector<GPosition> star;
    for (const auto& [x, y] : r.Star(0.4, 0.4, 0.1, 0.5, r.Int(3, 12))) star.emplace_back(x, y, 0.0);
    const TileGenPiece piece{static_cast<std::uint32_t>(star.size()), star.data(), nullptr};
    TileGen gen;
    ASSERT_EQ(gen.SetSlot({r.Uniform(0, 7), 0.9, 0.8, 0.3, 0.1, 0, 0}, GBox2d(-5, -5, 5, 5)), kFillOk);
    ASSERT_EQ(gen.SetClosedPieces(&piece, 1, GBox2d(0, 0, 1, 1)), kFillOk);
    gen.Classify();
    std::uint32_t most = 0;
    ASSERT_EQ(gen.Start(&trap), kFillOk);
    ASSERT_EQ(gen.BuildBoundaryElements(&most), kFillOk);
    std::vector<TileGenElement> elements(most);
    for (bool found = true;;) {
      ASSERT_EQ(gen.NextTile(&found, nullptr), kFillOk);
      if (!found) break;
      std::uint32_t count = 0;
      void* style = nullptr;
      ASSERT_EQ(gen.NextClosedPieceElements(true, elements.data(), most, &count, &style, &found), kFillOk);
      for (std::uint32_t e = 0; e < count; ++e) {
        const Loop element = Corners(elements[e]);
        std::uint32_t polygons = 0, n = 0;
        const GPosition* p = nullptr;
        ASSERT_EQ(gen.ClipPieceElements(&elements[e], 1, &polygons, &p, &n, &trap), kFillOk);
        std::vector<Loop> ours;
        double ourArea = 0;
        for (bool more = polygons > 0; more; more = gen.NextClipPolygon(&p, &n)) {
          Loop loop;
          for (std::uint32_t k = 0; k + 1 < n; ++k) loop.emplace_back(p[k].x, p[k].y);
          ASSERT_TRUE(n >= 4 && p[0].x == p[n - 1].x && p[0].y == p[n - 1].y) << "not closed";
          for (std::size_t k = 0; k < loop.size(); ++k) {  // convex, counter-clockwise
            const auto& a = loop[k];
            const auto& b = loop[(k + 1) % loop.size()];
            const auto& c = loop[(k + 2) % loop.size()];
            EXPECT_GE((b.first - a.first) * (c.second - b.second) - (b.second - a.second) * (c.first - b.first),
                      -1e-12);
          }
          ourArea += Area(loop);
          if (Area(loop) > 1e-9) ours.push_back(Simplified(loop));
        }
        GEOSGeometry* quad = geos.Polygon({element});
        GEOSGeometry* inside = GEOSIntersection_r(geos.ctx(), quad, polygon);
        const double geosArea = geos.Area(inside);
        EXPECT_NEAR(ourArea, geosArea, 1e-9 * std::max(geosArea, 1e-3 * Area(element))) << trial;
        geos.Destroy(inside);
        // Each pair with area is one of our polygons, vertex for vertex.
        std::size_t matched = 0;
        for (const Loop& t : trapezoids) {
          if (!Overlap(t, element)) continue;
          GEOSGeometry* tq = geos.Polygon({t});
          GEOSGeometry* cut = GEOSIntersection_r(geos.ctx(), quad, tq);
          const Loop expected = Simplified(GeosLoop(geos, cut));
          if (!expected.empty() && Area(expected) > 1e-9) {
            ++matched;
            ++pairs;
            bool found = false;
            for (const Loop& o : ours) found = found || SameLoop(o, expected, 1e-9);
            EXPECT_TRUE(found) << "trial " << trial << ": a pair's polygon missing or different";
          }
          geos.Destroy(cut);
          geos.Destroy(tq);
        }
        EXPECT_EQ(matched, ours.size()) << trial;
        geos.Destroy(quad);
      }
    }
    geos.Destroy(polygon);
  }
  EXPECT_GT(pairs, 3000);
}

}  // namespace

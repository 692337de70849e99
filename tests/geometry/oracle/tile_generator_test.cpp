// The symbol lattice walk against GEOS: the cells visited are those whose footprint, built here from the lattice's
// definition, meets the region box; an inside answer means the footprint is covered by the boundary; a closed
// piece's elements cover the piece.
#include <cmath>
#include <set>
#include <utility>
#include <vector>

#include "tests/geometry/oracle/fill_peers.h"

namespace {

using fillpeers::Geos;
using fillpeers::Loop;
using fillpeers::Random;

// Cell (i, j)'s footprint as a loop: the cell rectangle and the symbol box joined in the lattice's axes, which
// run along (cos a, -sin a) and (sin a, cos a).
Loop Footprint(const TileGenLattice& l, const GBox2d& symbol, long i, long j) {
  const double ca = std::cos(l.angle), sa = std::sin(l.angle);
  const double sx = std::fabs(l.spacingX), sy = std::fabs(l.spacingY);
  double u0 = std::min(0.0, l.spacingX), u1 = std::max(0.0, l.spacingX);
  double v0 = std::min(0.0, l.spacingY), v1 = std::max(0.0, l.spacingY);
  for (double x : {std::min(0.0, symbol.low.x), std::max(0.0, symbol.high.x)}) {
    for (double y : {std::min(0.0, symbol.low.y), std::max(0.0, symbol.high.y)}) {
      const double u = x * ca - y * sa, v = x * sa + y * ca;
      u0 = std::min(u0, u), u1 = std::max(u1, u), v0 = std::min(v0, v), v1 = std::max(v1, v);
    }
  }
  const double u = i * sx + (j % 2 != 0 ? l.rowShift : 0.0);
  const double v = j * sy - (i % 2 != 0 ? l.columnShift : 0.0);
  Loop loop;
  for (const auto& [cu, cv] : {std::pair{u0, v0}, {u1, v0}, {u1, v1}, {u0, v1}}) {
    const double pu = u + cu, pv = v + cv;
    loop.emplace_back(l.originX + pu * ca + pv * sa, l.originY - pu * sa + pv * ca);
  }
  return loop;
}

GEOSGeometry* Quad(const Geos& geos, const Loop& loop) { return geos.Polygon({loop}); }

TileGenLattice RandomLattice(Random& r, int kind) {
  double angle = r.Uniform(0, 2 * M_PI);
  if (kind == 0) angle = r.Int(0, 1) * M_PI;
  if (kind == 1) angle = (r.Int(0, 1) * 2 + 1) * M_PI / 2;
  angle += r.Int(-1, 1) * 2 * M_PI;  // reduced by the walk
  const double sx = r.Uniform(0.3, 1.5) * (r.Int(0, 3) == 0 ? -1 : 1);
  const double sy = r.Uniform(0.3, 1.5) * (r.Int(0, 3) == 0 ? -1 : 1);
  const double rowShift = r.Int(0, 1) ? r.Uniform(-1, 1) : 0.0;
  const double columnShift = r.Int(0, 1) ? r.Uniform(-1, 1) : 0.0;
  return {angle, sx, sy, rowShift, columnShift, r.Uniform(-3, 3), r.Uniform(-3, 3)};
}

GBox2d RandomSymbol(Random& r) {
  // Often away from the symbol's own origin, on any side.
  const double x = r.Uniform(-2, 2), y = r.Uniform(-2, 2);
  return GBox2d(x, y, x + r.Uniform(0.05, 2.5), y + r.Uniform(0.05, 2.5));
}

TEST(TileGeneratorOracle, VisitsEveryCellWhoseFootprintMeetsTheRegion) {
  Random r(20261207);
  Geos geos;
  for (int trial = 0; trial < 300; ++trial) {
    const int kind = trial % 3;
    const TileGenLattice lattice = RandomLattice(r, kind);
    const GBox2d symbol = RandomSymbol(r);
    const double x = r.Uniform(-6, 4), y = r.Uniform(-6, 4);
    const GBox2d region(x, y, x + r.Uniform(0, 5), y + r.Uniform(0, 5));
    TileGen gen;
    ASSERT_EQ(gen.SetSlot(lattice, region), kFillOk);
    ASSERT_EQ(gen.SetClosedPieces(nullptr, 0, symbol), kFillOk);
    gen.Classify();
    ASSERT_EQ(gen.Start(nullptr), kFillOk);
    ASSERT_EQ(static_cast<int>(gen.LatticeMode()), kind) << trial;

    std::set<std::pair<long, long>> visited;
    for (bool found = true;;) {
      ASSERT_EQ(gen.NextTile(&found, nullptr), kFillOk);
      if (!found) break;
      const std::pair<long, long> cell(gen.Column(), gen.Row());
      ASSERT_TRUE(visited.insert(cell).second) << "trial " << trial << ": cell twice";
      const Loop expected = Footprint(lattice, symbol, cell.first, cell.second);
      for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(gen.Footprint()[k].x, expected[k].first, 1e-9) << trial;
        EXPECT_NEAR(gen.Footprint()[k].y, expected[k].second, 1e-9) << trial;
      }
      ASSERT_LT(visited.size(), 20000u);
    }

    GEOSGeometry* box = Quad(geos, {{region.low.x, region.low.y},
                                    {region.high.x, region.low.y},
                                    {region.high.x, region.high.y},
                                    {region.low.x, region.high.y}});
    if (region.high.x == region.low.x || region.high.y == region.low.y) {
      geos.Destroy(box);  // a flat box: GEOS makes no area of it
      continue;
    }
    const long n = 70;
    for (long i = -n; i <= n; ++i) {
      for (long j = -n; j <= n; ++j) {
        const Loop footprint = Footprint(lattice, symbol, i, j);
        double x0 = HUGE_VAL, x1 = -HUGE_VAL, y0 = HUGE_VAL, y1 = -HUGE_VAL;  // GEOS only for those near the box
        for (const auto& [px, py] : footprint)
          x0 = std::min(x0, px), x1 = std::max(x1, px), y0 = std::min(y0, py), y1 = std::max(y1, py);
        if (x1 < region.low.x - 1e-9 || x0 > region.high.x + 1e-9 || y1 < region.low.y - 1e-9 ||
            y0 > region.high.y + 1e-9)
          continue;
        GEOSGeometry* f = Quad(geos, footprint);
        const bool meets = GEOSIntersects_r(geos.ctx(), f, box) == 1;
        geos.Destroy(f);
        EXPECT_TRUE(!meets || visited.count({i, j})) << "trial " << trial << ": cell " << i << ", " << j << " missed";
      }
    }
    geos.Destroy(box);
  }
}

TEST(TileGeneratorOracle, InsideMeansCoveredByTheBoundary) {
  Random r(7);
  Geos geos;
  int insides = 0, clear = 0;
  for (int trial = 0; trial < 60; ++trial) {
    const std::vector<Loop> loops = fillpeers::PolygonWithHoles(r);
    const Boundary boundary = fillpeers::ToBoundary(loops);
    FillTrap trap;
    ASSERT_EQ(trap.Build(boundary.data(), boundary.size()), kFillOk);
    GEOSGeometry* polygon = geos.Polygon(loops);
    GEOSGeometry* rings = GEOSBoundary_r(geos.ctx(), polygon);
    TileGenLattice lattice = RandomLattice(r, trial % 3);
    lattice.spacingX *= 0.5;
    lattice.spacingY *= 0.5;
    GBox2d symbol = RandomSymbol(r);
    symbol = GBox2d(symbol.low.x * 0.2, symbol.low.y * 0.2, symbol.high.x * 0.2, symbol.high.y * 0.2);
    TileGen gen;
    ASSERT_EQ(gen.SetSlot(lattice, GBox2d(-5, -5, 5, 5)), kFillOk);
    ASSERT_EQ(gen.SetOpenPieces(nullptr, 0, symbol), kFillOk);
    gen.Classify();
    ASSERT_EQ(gen.Start(&trap), kFillOk);
    for (bool found = true;;) {
      bool inside = true;
      ASSERT_EQ(gen.NextTile(&found, &inside), kFillOk);
      if (!found) break;
      const GPosition2d* q = gen.Footprint();
      GEOSGeometry* f = Quad(geos, {{q[0].x, q[0].y}, {q[1].x, q[1].y}, {q[2].x, q[2].y}, {q[3].x, q[3].y}});
      double distance = 0;
      GEOSDistance_r(geos.ctx(), f, rings, &distance);
      const bool covered = GEOSCoveredBy_r(geos.ctx(), f, polygon) == 1;
      if (inside) {
        EXPECT_TRUE(covered) << "trial " << trial << ": inside answer for a footprint not covered";
        ++insides;
      }
      if (covered && distance >= 1e-6) {
        EXPECT_TRUE(inside) << "trial " << trial << ": footprint clear of the boundary not inside";
        ++clear;
      }
      geos.Destroy(f);
    }
    geos.Destroy(rings);
    geos.Destroy(polygon);
  }
  EXPECT_GT(insides, 1000);
  EXPECT_GT(clear, 1000);
}

TEST(TileGeneratorOracle, ElementsCoverTheirPiece) {
  Random r(11);
  for (int trial = 0; trial < 200; ++trial) {
    Loop star = r.Star(r.Uniform(-1, 1), r.Uniform(-1, 1), 0.2, 2, r.Int(3, 30));
    std::vector<GPosition> points;
    double twice = 0;
    for (std::size_t i = 0; i < star.size(); ++i) {
      const auto& a = star[i];
      const auto& b = star[(i + 1) % star.size()];
      twice += a.first * b.second - b.first * a.second;
      points.emplace_back(a.first, a.second, 0.0);
    }
    points.push_back(points.front());
    const TileGenPiece piece{static_cast<std::uint32_t>(points.size()), points.data(), nullptr};
    TileGen gen;
    ASSERT_EQ(gen.SetSlot({r.Uniform(0, 6), 0.7, 0.9, 0, 0, 1e3, -2e3}, GBox2d(1e3, -2e3, 1e3 + 3, -2e3 + 3)), kFillOk);
    ASSERT_EQ(gen.SetClosedPieces(&piece, 1, GBox2d(-3, -3, 3, 3)), kFillOk);
    gen.Classify();
    ASSERT_EQ(gen.Start(nullptr), kFillOk);
    std::uint32_t most = 0;
    ASSERT_EQ(gen.BuildBoundaryElements(&most), kFillOk);
    std::vector<TileGenElement> elements(most);
    bool found = false;
    ASSERT_EQ(gen.NextTile(&found, nullptr), kFillOk);
    ASSERT_TRUE(found);
    std::uint32_t count = 0;
    void* style = nullptr;
    ASSERT_EQ(gen.NextClosedPieceElements(true, elements.data(), most, &count, &style, &found), kFillOk);
    ASSERT_TRUE(found);
    double area = 0, xMin = HUGE_VAL, yMin = HUGE_VAL;
    for (std::uint32_t k = 0; k < count; ++k) {
      const auto& s = elements[k].sides;  // bottom from corner 0 to 1, top from corner 2 to 3
      area += 0.5 * ((s[0][2] - s[0][0]) + (s[2][0] - s[2][2])) * (elements[k].yMax - elements[k].yMin);
      xMin = std::min(xMin, elements[k].xMin);
      yMin = std::min(yMin, elements[k].yMin);
    }
    EXPECT_NEAR(area, std::fabs(twice) / 2, 1e-12 * std::fabs(twice)) << trial;
    // Translated as the piece is, to the last bit.
    double pieceX = HUGE_VAL, pieceY = HUGE_VAL;
    for (const GPosition& p : points) pieceX = std::min(pieceX, p.x), pieceY = std::min(pieceY, p.y);
    EXPECT_EQ(xMin, pieceX + gen.Translation().x) << trial;
    EXPECT_EQ(yMin, pieceY + gen.Translation().y) << trial;
  }
}

}  // namespace

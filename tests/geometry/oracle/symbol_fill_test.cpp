// One slot's symbols drawn over random boundaries with holes, against GEOS: the area of what is drawn of the
// polygons and the length of what is drawn of the line strings equal the sums, over the walk's cells, of GEOS's
// intersections of the translated symbol with the boundary.
#include <cmath>
#include <vector>

#include "tests/geometry/oracle/fill_peers.h"

namespace {

using fillpeers::Geos;
using fillpeers::Loop;

double Area(const GPosition* p, std::uint32_t n) {
  double twice = 0;
  for (std::uint32_t k = 0; k + 1 < n; ++k) twice += p[k].x * p[k + 1].y - p[k + 1].x * p[k].y;
  return twice / 2;
}

double Length(const GPosition* p, std::uint32_t n) {
  double length = 0;
  for (std::uint32_t k = 0; k + 1 < n; ++k) length += std::hypot(p[k + 1].x - p[k].x, p[k + 1].y - p[k].y);
  return length;
}

// Sums what is drawn, and counts the holds given back.
struct Totals : FillSymbolSink {
  double area = 0, length = 0;
  int released = 0;
  FillResult WholePiece(bool closed, const GPosition* points, std::uint32_t count, void*) override {
    (closed ? area : length) += closed ? Area(points, count) : Length(points, count);
    return kFillOk;
  }
  FillResult Segment(const GPosition& a, const GPosition& b, void*) override {
    length += std::hypot(b.x - a.x, b.y - a.y);
    return kFillOk;
  }
  FillResult Polygon(const GPosition* points, std::uint32_t count, void*) override {
    area += Area(points, count);
    return kFillOk;
  }
  void Release(void*) override { ++released; }
};

int held = 0;
void Hold(void*) { ++held; }

GEOSGeometry* Geometry(const Geos& geos, const std::vector<GPosition>& p, double dx, double dy, bool closed) {
  GEOSCoordSequence* seq = GEOSCoordSeq_create_r(geos.ctx(), static_cast<unsigned>(p.size()), 2);
  for (std::size_t k = 0; k < p.size(); ++k)
    GEOSCoordSeq_setXY_r(geos.ctx(), seq, static_cast<unsigned>(k), p[k].x + dx, p[k].y + dy);
  if (!closed) return GEOSGeom_createLineString_r(geos.ctx(), seq);
  return GEOSGeom_createPolygon_r(geos.ctx(), GEOSGeom_createLinearRing_r(geos.ctx(), seq), nullptr, 0);
}

TEST(SymbolFillOracle, DrawnAreaAndLengthEqualGeos) {
  fillpeers::Random r(5);
  Geos geos;
  for (int trial = 0; trial < 12; ++trial) {
    const std::vector<Loop> loops = fillpeers::PolygonWithHoles(r);
    const Boundary boundary = fillpeers::ToBoundary(loops);
    FillTrap trap;
    ASSERT_EQ(trap.Build(boundary.data(), boundary.size()), kFillOk);
    // A symbol of two polygons and two line strings within a cell of about 1 by 1.
    std::vector<std::vector<GPosition>> pieces;
    for (int k = 0; k < 4; ++k) {
      std::vector<GPosition> p;
      for (const auto& [x, y] : r.Star(r.Uniform(0.3, 0.7), r.Uniform(0.3, 0.7), 0.05, 0.3, r.Int(3, 9))) {
        p.emplace_back(x, y, 0.0);
      }
      if (k < 2) p.push_back(p.front());
      pieces.push_back(p);
    }
    const TileGenPiece closed[] = {{static_cast<std::uint32_t>(pieces[0].size()), pieces[0].data(), &held},
                                   {static_cast<std::uint32_t>(pieces[1].size()), pieces[1].data(), &held}};
    const TileGenPiece open[] = {{static_cast<std::uint32_t>(pieces[2].size()), pieces[2].data(), &held},
                                 {static_cast<std::uint32_t>(pieces[3].size()), pieces[3].data(), nullptr}};
    const TileGenLattice lattice{r.Uniform(-7, 7),     r.Uniform(0.8, 1.2), r.Uniform(0.8, 1.2), r.Uniform(-0.5, 0.5),
                                 r.Uniform(-0.5, 0.5), r.Uniform(-1, 1),    r.Uniform(-1, 1)};
    GBox2d region;
    FillBoundaryRange(boundary.size(), boundary.data(), &region);
    TileGen gen(Hold), cells;
    std::uint32_t most = 0, unused = 0;
    for (TileGen* g : {&gen, &cells}) {
      ASSERT_EQ(g->SetSlot(lattice, region), kFillOk);
      ASSERT_EQ(g->SetClosedPieces(closed, 2, GBox2d(0, 0, 1, 1)), kFillOk);
      ASSERT_EQ(g->SetOpenPieces(open, 2, GBox2d(0, 0, 1, 1)), kFillOk);
      g->Classify();
      ASSERT_EQ(g->Start(&trap), kFillOk);
      ASSERT_EQ(g->BuildBoundaryElements(g == &gen ? &most : &unused), kFillOk);
    }
    held = 0;
    Totals totals;
    ASSERT_EQ(FillSymbolLattice(&gen, &trap, 10, most, false, &totals), kFillOk);
    EXPECT_EQ(totals.released, held) << trial;

    GEOSGeometry* polygon = geos.Polygon(loops);
    double area = 0, length = 0;
    for (bool found = true;;) {
      ASSERT_EQ(cells.NextTile(&found, nullptr), kFillOk);
      if (!found) break;
      for (std::size_t k = 0; k < pieces.size(); ++k) {
        GEOSGeometry* g = Geometry(geos, pieces[k], cells.Translation().x, cells.Translation().y, k < 2);
        GEOSGeometry* inside = GEOSIntersection_r(geos.ctx(), g, polygon);
        double value = 0;
        (k < 2 ? GEOSArea_r : GEOSLength_r)(geos.ctx(), inside, &value);
        (k < 2 ? area : length) += value;
        geos.Destroy(inside);
        geos.Destroy(g);
      }
    }
    geos.Destroy(polygon);
    EXPECT_GT(area, 1.0) << trial;
    EXPECT_NEAR(totals.area, area, 1e-9 * area) << trial;
    EXPECT_NEAR(totals.length, length, 1e-9 * length) << trial;
  }
}

}  // namespace

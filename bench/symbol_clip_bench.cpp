// Cutting a small symbol's elements at the lattice cells over a 500-vertex boundary with four holes: ours cuts each
// cell's elements by the decomposed boundary, beside GEOS intersecting each element that the prepared boundary does
// not contain with the boundary. The lattice and the symbol scale together, so that the picture stays the same
// while the cells grow tenfold. Each answer, the area of the pieces, is checked before it is
// timed: GEOS's against its own to 1e-9, ours to 1e-7, since the cut joins points that meet within 5e-7: a
// sliver between a cell's corner and a scan row of the boundary thinner than that goes (here a few, of up to
// about 2e-8 each).
#include "bench/bench_checks.h"
#include "tests/geometry/oracle/fill_peers.h"

namespace {

using namespace fillpeers;

struct Scene {
  std::vector<Loop> loops;
  Boundary boundary;
  std::vector<std::vector<TileGenElement>> cells;  // the symbol's elements translated into each cell
  double reference = 0;                            // GEOS's area
};

double PolygonArea(const GPosition* p, std::uint32_t n) {
  double twice = 0;
  for (std::uint32_t k = 0; k + 1 < n; ++k) twice += p[k].x * p[k + 1].y - p[k + 1].x * p[k].y;
  return twice / 2;
}

double Ours(const Scene& s, FillTrap& trap) {
  TileGen gen;
  double area = 0;
  for (const auto& elements : s.cells) {
    std::uint32_t polygons = 0, n = 0;
    const GPosition* p = nullptr;
    if (gen.ClipPieceElements(elements.data(), static_cast<std::uint32_t>(elements.size()), &polygons, &p, &n, &trap) !=
        kFillOk) {
      return -1;
    }
    for (bool more = polygons > 0; more; more = gen.NextClipPolygon(&p, &n)) area += PolygonArea(p, n);
  }
  return area;
}

// The boundary as GEOS's polygon, prepared: built beforehand, as our decomposition is.
class GeosBoundary {
 public:
  explicit GeosBoundary(const std::vector<Loop>& loops)
      : polygon_(geos_.Polygon(loops)), prepared_(GEOSPrepare_r(geos_.ctx(), polygon_)) {}
  ~GeosBoundary() {
    GEOSPreparedGeom_destroy_r(geos_.ctx(), prepared_);
    geos_.Destroy(polygon_);
  }
  GeosBoundary(const GeosBoundary&) = delete;
  GeosBoundary& operator=(const GeosBoundary&) = delete;
  double Area(const Scene& s) const;

 private:
  Geos geos_;
  GEOSGeometry* polygon_;
  const GEOSPreparedGeometry* prepared_;
};

double GeosBoundary::Area(const Scene& s) const {
  const Geos& geos = geos_;
  GEOSGeometry* polygon = polygon_;
  const GEOSPreparedGeometry* prepared = prepared_;
  double area = 0;
  for (const auto& elements : s.cells) {
    for (const TileGenElement& e : elements) {
      Loop quad;
      for (const auto& side : e.sides) {
        if (quad.empty() || quad.back() != std::make_pair(side[0], side[1])) quad.emplace_back(side[0], side[1]);
      }
      if (quad.front() == quad.back()) quad.pop_back();
      GEOSGeometry* g = geos.Polygon({quad});
      if (GEOSPreparedContains_r(geos.ctx(), prepared, g)) {
        area += geos.Area(g);
      } else if (GEOSPreparedIntersects_r(geos.ctx(), prepared, g)) {
        GEOSGeometry* inside = GEOSIntersection_r(geos.ctx(), g, polygon);
        area += geos.Area(inside);
        geos.Destroy(inside);
      }
      geos.Destroy(g);
    }
  }
  return area;
}

// About `cells` cells of the lattice over the boundary's range: 100 by 100 with a symbol 0.08 across for 10,000,
// the lattice and the symbol scaled up together for fewer.
std::shared_ptr<const Scene> TheScene(int cells) {
  return bench::Once(cells, [cells] {
    const double f = std::sqrt(10000.0 / cells);
    Random random(1000);
    auto s = std::make_shared<Scene>();
    s->loops.push_back(random.Star(0, 0, 3, 5, 400));
    const double centres[4][2] = {{-1.2, -1.2}, {1.2, -1.2}, {1.2, 1.2}, {-1.2, 1.2}};
    for (const auto& c : centres) s->loops.push_back(random.Star(c[0], c[1], 0.3, 0.6, 25));
    s->boundary = ToBoundary(s->loops);
    std::vector<GPosition> symbol;
    for (const auto& [x, y] : random.Star(0.04, 0.04, 0.01, 0.04, 8)) symbol.emplace_back(f * x, f * y, 0.0);
    const TileGenPiece piece{static_cast<std::uint32_t>(symbol.size()), symbol.data(), nullptr};
    TileGen gen;
    std::uint32_t most = 0;
    if (gen.SetSlot({0.4, 0.1 * f, 0.1 * f, 0.03 * f, 0.0, 0, 0}, GBox2d(-5, -5, 4.8, 4.8)) != kFillOk ||
        gen.SetClosedPieces(&piece, 1, GBox2d(0, 0, 0.08 * f, 0.08 * f)) != kFillOk) {
      return std::shared_ptr<const Scene>(s);
    }
    gen.Classify();
    if (gen.Start(nullptr) != kFillOk || gen.BuildBoundaryElements(&most) != kFillOk) return std::shared_ptr<const Scene>(s);
    for (bool found = true;;) {
      if (gen.NextTile(&found, nullptr) != kFillOk || !found) break;
      std::vector<TileGenElement> elements(most);
      std::uint32_t count = 0;
      void* style = nullptr;
      if (gen.NextClosedPieceElements(true, elements.data(), most, &count, &style, &found) != kFillOk) break;
      elements.resize(count);
      s->cells.push_back(elements);
    }
    s->reference = GeosBoundary(s->loops).Area(*s);
    return std::shared_ptr<const Scene>(s);
  });
}

const bool registered = [] {
  bench::Describe("symbol_clipping",
                  "Cutting a small symbol's elements at the cells of a lattice over a boundary of 500 vertices with "
                  "four holes; size: cells (the lattice and the symbol scale together, so the picture stays the "
                  "same). Ours cuts each cell's elements by the decomposed boundary; GEOS intersects each element the "
                  "prepared boundary does not contain with the boundary; both boundaries are made beforehand. The area of the "
                  "pieces is checked: GEOS's against its own to 1e-9, ours to 1e-7, since the cut joins points that "
                  "meet within 5e-7 (a sliver thinner than that between a cell's corner and a scan row goes).");
  const std::vector<int> sizes = bench::Sizes({100, 1000, 10000});
  bench::Contender("symbol_clipping", "star_symbol", "ours", sizes, "cells", [](int cells) {
    const auto s = TheScene(cells);
    auto trap = std::make_shared<FillTrap>();
    if (trap->Build(s->boundary.data(), s->boundary.size()) != kFillOk)
      return bench::Failed("no decomposition");
    bench::Ready r = bench::CheckedValue(s->reference, 1e-7 * s->reference, [s, trap] { return Ours(*s, *trap); },
                                         "the area is wrong");
    r.counters["cells"] = static_cast<double>(s->cells.size());
    return r;
  }, benchmark::kMicrosecond);
  bench::Contender("symbol_clipping", "star_symbol", "geos_prepared_intersections", sizes, "cells", [](int cells) {
    const auto s = TheScene(cells);
    auto geos = std::make_shared<GeosBoundary>(s->loops);
    return bench::CheckedValue(s->reference, 1e-9 * s->reference, [s, geos] { return geos->Area(*s); },
                               "the area is wrong");
  }, benchmark::kMicrosecond);
  return true;
}();

}  // namespace

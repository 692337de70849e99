// Cutting a small symbol's elements at 10,000 lattice cells against a 1,000-vertex boundary with four holes: ours
// cuts each cell's elements by the decomposed boundary, beside GEOS intersecting each element that the prepared
// boundary does not contain with the boundary. Each answer, the area of the pieces, is checked before it is
// timed: GEOS's against its own to 1e-9, ours to 1e-7, since the cut joins points that meet within 5e-7: a
// sliver between a cell's corner and a scan row of the boundary thinner than that goes (here a few, of up to
// about 2e-8 each).
#include <benchmark/benchmark.h>

#include "bench/bench_checks.h"
#include "tests/geometry/oracle/fill_peers.h"

namespace {

using namespace fillpeers;

struct Scene {
  std::vector<Loop> loops;
  Boundary boundary;
  std::vector<std::vector<TileGenElement>> cells;  // the symbol's elements translated into each cell
};

const Scene& TheScene() {
  static const Scene scene = [] {
    Random random(1000);
    Scene s;
    s.loops.push_back(random.Star(0, 0, 3, 5, 900));
    const double centres[4][2] = {{-1.2, -1.2}, {1.2, -1.2}, {1.2, 1.2}, {-1.2, 1.2}};
    for (const auto& c : centres) s.loops.push_back(random.Star(c[0], c[1], 0.3, 0.6, 25));
    s.boundary = ToBoundary(s.loops);
    std::vector<GPosition> symbol;
    for (const auto& [x, y] : random.Star(0.04, 0.04, 0.01, 0.04, 8)) symbol.emplace_back(x, y, 0.0);
    const TileGenPiece piece{static_cast<std::uint32_t>(symbol.size()), symbol.data(), nullptr};
    TileGen gen;
    std::uint32_t most = 0;
    // 100 by 100 cells over the boundary's range.
    if (gen.SetSlot({0.4, 0.1, 0.1, 0.03, 0.0, 0, 0}, GBox2d(-5, -5, 4.8, 4.8)) != kFillOk ||
        gen.SetClosedPieces(&piece, 1, GBox2d(0, 0, 0.08, 0.08)) != kFillOk) {
      return s;
    }
    gen.Classify();
    if (gen.Start(nullptr) != kFillOk || gen.BuildBoundaryElements(&most) != kFillOk) return s;
    for (bool found = true; s.cells.size() < 10000;) {
      if (gen.NextTile(&found, nullptr) != kFillOk || !found) break;
      std::vector<TileGenElement> elements(most);
      std::uint32_t count = 0;
      void* style = nullptr;
      if (gen.NextClosedPieceElements(true, elements.data(), most, &count, &style, &found) != kFillOk) break;
      elements.resize(count);
      s.cells.push_back(elements);
    }
    return s;
  }();
  return scene;
}

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

double GeosArea(const Geos& geos, const Scene& s) {
  GEOSGeometry* polygon = geos.Polygon(s.loops);
  const GEOSPreparedGeometry* prepared = GEOSPrepare_r(geos.ctx(), polygon);
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
  GEOSPreparedGeom_destroy_r(geos.ctx(), prepared);
  geos.Destroy(polygon);
  return area;
}

double TheReference() {
  static const double reference = [] {
    Geos geos;
    return GeosArea(geos, TheScene());
  }();
  return reference;
}

void BM_OursSymbolClip(benchmark::State& state) {
  const Scene& s = TheScene();
  FillTrap trap;
  if (trap.Build(s.boundary.data(), s.boundary.size()) != kFillOk) return state.SkipWithError("no decomposition");
  const double expected = TheReference();
  TimeChecked(
      state, expected, 1e-7 * expected, [&] { return Ours(s, trap); }, "ours is wrong");
  state.counters["cells"] = static_cast<double>(s.cells.size());
}

void BM_GeosPreparedSymbolClip(benchmark::State& state) {
  const Scene& s = TheScene();
  const double expected = TheReference();
  Geos geos;
  TimeChecked(
      state, expected, 1e-9 * expected, [&] { return GeosArea(geos, s); }, "GEOS is wrong");
}

BENCHMARK(BM_OursSymbolClip)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GeosPreparedSymbolClip)->Unit(benchmark::kMicrosecond);

}  // namespace

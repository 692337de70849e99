// Drawing one slot's symbol, 3 polygons and 2 line strings, at the lattice cells over a 500-vertex boundary with
// four holes: ours walks the lattice and draws each symbol whole or cut, beside GEOS intersecting each translated
// piece (the cells' translations given) with the prepared boundary. The lattice and the symbol scale together, so
// that the picture stays the same while the cells grow tenfold. Each answer, the area of what is drawn of the polygons plus
// the length of what is drawn of the line strings, is checked before it is timed: GEOS's against its own to
// 1e-9, ours to 1e-7, since the cut takes a crossing within 5e-6 of a side's parameter range (a line string
// passing a boundary corner that closely gains or loses up to that part of its segment) and joins points that
// meet within 5e-7.
#include "bench/bench_checks.h"
#include "tests/geometry/oracle/fill_peers.h"

namespace {

using namespace fillpeers;

struct Scene {
  std::vector<Loop> loops;
  Boundary boundary;
  GBox2d region, box;
  TileGenLattice lattice;
  std::vector<std::vector<GPosition>> pieces;  // the polygons (closed), then the line strings
  std::vector<TileGenPiece> closed, open;
  std::vector<GPosition2d> cells;  // the cells' translations, as the walk visits them
  double reference = 0;            // GEOS's sum
};

struct Totals : FillSymbolSink {
  double sum = 0;
  FillResult WholePiece(bool closed, const GPosition* p, std::uint32_t n, void*) override {
    for (std::uint32_t k = 0; k + 1 < n; ++k) {
      sum += closed ? (p[k].x * p[k + 1].y - p[k + 1].x * p[k].y) / 2
                    : std::hypot(p[k + 1].x - p[k].x, p[k + 1].y - p[k].y);
    }
    return kFillOk;
  }
  FillResult Segment(const GPosition& a, const GPosition& b, void*) override {
    sum += std::hypot(b.x - a.x, b.y - a.y);
    return kFillOk;
  }
  FillResult Polygon(const GPosition* p, std::uint32_t n, void* style) override {
    return WholePiece(true, p, n, style);
  }
  void Release(void*) override {}
};

bool Ready(const Scene& s, TileGen& gen, FillTrap* trap, std::uint32_t* most) {
  return gen.SetSlot(s.lattice, s.region) == kFillOk &&
         gen.SetClosedPieces(s.closed.data(), 3, s.box) == kFillOk &&
         gen.SetOpenPieces(s.open.data(), 2, s.box) == kFillOk && (gen.Classify(), true) &&
         gen.Start(trap) == kFillOk && gen.BuildBoundaryElements(most) == kFillOk;
}

double Ours(const Scene& s) {
  FillTrap trap;
  TileGen gen;
  std::uint32_t most = 0;
  if (trap.Build(s.boundary.data(), s.boundary.size()) != kFillOk || !Ready(s, gen, &trap, &most)) return -1;
  Totals totals;
  if (FillSymbolLattice(&gen, &trap, 8, most, false, &totals) != kFillOk) return -1;
  return totals.sum;
}

double GeosSum(const Geos& geos, const Scene& s) {
  GEOSGeometry* polygon = geos.Polygon(s.loops);
  const GEOSPreparedGeometry* prepared = GEOSPrepare_r(geos.ctx(), polygon);
  double sum = 0;
  for (const GPosition2d& t : s.cells) {
    for (std::size_t k = 0; k < s.pieces.size(); ++k) {
      const auto& p = s.pieces[k];
      GEOSCoordSequence* seq = GEOSCoordSeq_create_r(geos.ctx(), static_cast<unsigned>(p.size()), 2);
      for (std::size_t i = 0; i < p.size(); ++i) {
        GEOSCoordSeq_setXY_r(geos.ctx(), seq, static_cast<unsigned>(i), p[i].x + t.x, p[i].y + t.y);
      }
      GEOSGeometry* g =
          k < 3 ? GEOSGeom_createPolygon_r(geos.ctx(), GEOSGeom_createLinearRing_r(geos.ctx(), seq), nullptr, 0)
                : GEOSGeom_createLineString_r(geos.ctx(), seq);
      double value = 0;
      if (GEOSPreparedContains_r(geos.ctx(), prepared, g)) {
        (k < 3 ? GEOSArea_r : GEOSLength_r)(geos.ctx(), g, &value);
      } else if (GEOSPreparedIntersects_r(geos.ctx(), prepared, g)) {
        GEOSGeometry* inside = GEOSIntersection_r(geos.ctx(), g, polygon);
        (k < 3 ? GEOSArea_r : GEOSLength_r)(geos.ctx(), inside, &value);
        geos.Destroy(inside);
      }
      sum += value;
      geos.Destroy(g);
    }
  }
  GEOSPreparedGeom_destroy_r(geos.ctx(), prepared);
  geos.Destroy(polygon);
  return sum;
}

// Cells of 0.13 by 0.13 over the 10 by 10 range, about 5,000 meeting the boundary, for 5,000; the lattice and the
// symbol scaled up together for fewer.
std::shared_ptr<const Scene> TheScene(int cells) {
  return bench::Once(cells, [cells] {
    const double f = std::sqrt(5000.0 / cells);
    Random random(5000);
    auto s = std::make_shared<Scene>();
    s->loops.push_back(random.Star(0, 0, 3, 5, 400));
    const double centres[4][2] = {{-1.2, -1.2}, {1.2, -1.2}, {1.2, 1.2}, {-1.2, 1.2}};
    for (const auto& c : centres) s->loops.push_back(random.Star(c[0], c[1], 0.3, 0.6, 25));
    s->boundary = ToBoundary(s->loops);
    FillBoundaryRange(s->boundary.size(), s->boundary.data(), &s->region);
    for (int k = 0; k < 5; ++k) {
      std::vector<GPosition> p;
      for (const auto& [x, y] : random.Star(random.Uniform(0.04, 0.09), random.Uniform(0.04, 0.09), 0.01, 0.04, 7)) {
        p.emplace_back(f * x, f * y, 0.0);
      }
      if (k < 3) p.push_back(p.front());
      s->pieces.push_back(p);
    }
    s->pieces.shrink_to_fit();
    for (std::size_t k = 0; k < s->pieces.size(); ++k) {
      const TileGenPiece piece{static_cast<std::uint32_t>(s->pieces[k].size()), s->pieces[k].data(), nullptr};
      (k < 3 ? s->closed : s->open).push_back(piece);
    }
    s->box = GBox2d(0, 0, 0.13 * f, 0.13 * f);
    s->lattice = {0.5, 0.13 * f, 0.13 * f, 0.04 * f, 0.02 * f, 0.01, -0.02};
    TileGen gen;
    std::uint32_t most = 0;
    if (Ready(*s, gen, nullptr, &most)) {
      for (bool found = true;;) {
        if (gen.NextTile(&found, nullptr) != kFillOk || !found) break;
        s->cells.push_back(gen.Translation());
      }
    }
    Geos geos;
    s->reference = GeosSum(geos, *s);
    return std::shared_ptr<const Scene>(s);
  });
}

const bool registered = [] {
  bench::Describe("symbol_fill",
                  "Drawing one slot's symbol (3 polygons, 2 line strings) at the cells of a lattice over a boundary "
                  "of 500 vertices with four holes; size: cells (the lattice and the symbol scale together). Ours "
                  "decomposes the boundary, walks the lattice and draws each symbol whole or cut; GEOS prepares the "
                  "boundary and intersects each translated piece with it, the cells' translations given. The area "
                  "drawn of the polygons plus the length drawn of the line strings is checked: GEOS's against its "
                  "own to 1e-9, ours to 1e-7 (the cut takes a crossing within 5e-6 of a side's parameter range and "
                  "joins points that meet within 5e-7).");
  const std::vector<int> sizes = bench::Sizes({50, 500, 5000});
  bench::Contender("symbol_fill", "three_polygons_two_line_strings", "ours", sizes, "cells", [](int cells) {
    const auto s = TheScene(cells);
    bench::Ready r = bench::CheckedValue(s->reference, 1e-7 * s->reference, [s] { return Ours(*s); },
                                         "the drawn area and length are wrong");
    r.counters["cells"] = static_cast<double>(s->cells.size());
    return r;
  }, benchmark::kMicrosecond);
  bench::Contender("symbol_fill", "three_polygons_two_line_strings", "geos_prepared_intersections", sizes, "cells",
                   [](int cells) {
                     const auto s = TheScene(cells);
                     auto geos = std::make_shared<Geos>();
                     return bench::CheckedValue(s->reference, 1e-9 * s->reference,
                                                [s, geos] { return GeosSum(*geos, *s); },
                                                "the drawn area and length are wrong");
                   }, benchmark::kMicrosecond);
  return true;
}();

}  // namespace

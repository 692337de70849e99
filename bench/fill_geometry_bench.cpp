// A boundary of n vertices (a star-shaped shell with four star-shaped holes): ours decomposes it, beside AGG
// rasterizing the same boundary even-odd; and ours decomposes it and clips 300 lines across it, beside GEOS (the
// polygon prepared, then one intersection per line). A loop folded over itself, whose edges cross a few times in
// nearly every band, is decomposed beside AGG too: its decomposition grows linearly with its vertices, and so
// must the time. Each contender's answer is checked before it is timed: the
// clipped length against GEOS's, the area against AGG's coverage within its resolution.
#include <cmath>

#include "bench/fill_bench.h"
#include "tests/geometry/oracle/fill_peers.h"

namespace {

using namespace fillpeers;

constexpr int kLargest = 10000;
constexpr int kLargestRepetitions = 2;

constexpr int kLines = 300;
constexpr double kAggScale = 200;  // 10 units to 2,000 pixels

struct Scene {
  std::vector<Loop> loops;
  Boundary boundary;
  std::vector<Span> lines;  // slightly tilted, from left of the boundary to right of it
  GeosReference reference;
  double area = 0, resolution = 0;  // AGG's coverage and its resolution, in units
};

double Perimeter(const std::vector<Loop> &loops) {
  double perimeter = 0;
  for (const Loop &loop : loops) {
    for (std::size_t i = 0; i < loop.size(); ++i) {
      const auto &a = loop[i];
      const auto &b = loop[(i + 1) % loop.size()];
      perimeter += std::hypot(b.first - a.first, b.second - a.second);
    }
  }
  return perimeter;
}

// A shell of 0.6 n vertices and four holes of 0.1 n each.
std::shared_ptr<const Scene> TheScene(int n) {
  return bench::Once(n, [n] {
    Random random(1000);
    auto s = std::make_shared<Scene>();
    s->loops.push_back(random.Star(0, 0, 3, 5, 6 * n / 10));
    const double centres[4][2] = {{-1.2, -1.2}, {1.2, -1.2}, {1.2, 1.2}, {-1.2, 1.2}};
    for (const auto &c : centres) s->loops.push_back(random.Star(c[0], c[1], 0.3, 0.6, n / 10));
    s->boundary = ToBoundary(s->loops);
    for (int k = 0; k < kLines; ++k) {
      const double y = -5 + 10.0 * (k + 0.5) / kLines;
      s->lines.push_back({-6, y - 0.3, 6, y + 0.3});
    }
    s->reference = GeosReferenceLengths(s->loops, s->lines);
    s->area = AggEvenOddCoverage(s->loops, kAggScale) / (kAggScale * kAggScale);
    s->resolution = (Perimeter(s->loops) * kAggScale * 2.0 / 256 + 2) / (kAggScale * kAggScale);
    return std::shared_ptr<const Scene>(s);
  });
}

// One loop folded four times over a strip one unit wide and n / 100 high (fillpeers::Random::Folded): its bands
// look alike at every n, and AGG's pixels stay finer than its zig-zags. AGG at 100 pixels a unit: its cells (at
// most about four million) hold the largest loop.
constexpr double kFoldedAggScale = 100;

struct FoldedScene {
  std::vector<Loop> loops;
  Boundary boundary;
  double area = 0, resolution = 0;
};

std::shared_ptr<const FoldedScene> TheFoldedScene(int n) {
  return bench::Once(n, [n] {
    Random random(2000);
    auto s = std::make_shared<FoldedScene>();
    s->loops.push_back(random.Folded(n, n / 100.0));
    s->boundary = ToBoundary(s->loops);
    s->area = AggEvenOddCoverage(s->loops, kFoldedAggScale) / (kFoldedAggScale * kFoldedAggScale);
    s->resolution = (Perimeter(s->loops) * kFoldedAggScale * 2.0 / 256 + 2) / (kFoldedAggScale * kFoldedAggScale);
    return std::shared_ptr<const FoldedScene>(s);
  });
}

// Decomposes the boundary and clips every line; answers the total length inside, or -1.
double Ours(const Scene &s) {
  FillTrap trap;
  if (trap.Build(s.boundary.data(), s.boundary.size()) != kFillOk) return -1;
  double length = 0;
  for (const Span &line : s.lines) {
    trap.ClearSegments();
    std::uint32_t count = 0;
    GPosition piece[2];
    if (trap.ClipSegment({line.x1, line.y1}, {line.x2, line.y2}, &count, piece) != kFillOk) return -1;
    for (std::uint32_t i = 0; i < count; ++i) {
      if (i > 0 && !trap.NextSegment(piece)) return -1;
      length += std::hypot(piece[1].x - piece[0].x, piece[1].y - piece[0].y);
    }
  }
  return length;
}

// Decomposes the boundary and sums its trapezoids' areas, row by row; -1 when it fails.
double OursArea(const Boundary &boundary) {
  FillTrap trap;
  if (trap.Build(boundary.data(), boundary.size()) != kFillOk) return -1;
  double area = 0;
  for (std::uint32_t r = 0; r + 1 < trap.RowCount(); ++r) {
    for (const FillTrapTrapezoid *t = trap.Rows()[r].firstTrapezoid; t; t = t->next) area += TrapezoidArea(*t);
  }
  return area;
}

// What our decomposition builds, beside its time: its size grows as the square of the vertices at most.
bench::Ready WithSize(bench::Ready r, const Boundary &boundary) {
  FillTrap trap;
  if (trap.Build(boundary.data(), boundary.size()) != kFillOk) return bench::Failed("no decomposition");
  r.counters["size_crossing_nodes"] = trap.CrossingNodeCount();
  r.counters["size_trapezoids"] = trap.TrapezoidCount();
  return r;
}

const bool registered = [] {
  bench::Describe("fill_decomposition",
                  "A boundary of n vertices, a star-shaped shell of 0.6 n and four star-shaped holes of 0.1 n each; "
                  "size: n. Decomposition: ours (its area) beside AGG rasterizing the boundary even-odd at 2,000 "
                  "pixels across, each checked against the other within AGG's resolution. Decomposition and "
                  "clipping of 300 lines: ours beside GEOS (the polygon prepared, then one intersection per line), "
                  "the clipped length checked to 1e-9 against GEOS's pieces (ours with the gaps below 5e-5 "
                  "closed, as our clipping joins them, and the clipping's tolerance of 5e-6 of a line's length "
                  "allowed at each end of a line that passes a vertex or ends near the boundary closer than 1e-4). "
                  "Folded loop: one loop of n vertices in four passes up, down, up and down a strip 1 by n / 100, "
                  "each zig-zagging from side to side, so that a few edges cross in nearly every band; ours beside AGG "
                  "as above, at 100 pixels a unit (the decomposition's size grows linearly with n).");
  // Crossing nodes grow as the square of the vertices, and the decomposition holds at most 2^24 of them: 30,000 vertices would make about 26 million (the decomposition answers E_OUTOFMEMORY).
  // At 10,000 GEOS takes many seconds a call, so that size is measured twice whatever the run asks.
  const std::vector<int> sizes = bench::Sizes({30, 300, 3000, 10000});
  bench::ContenderFewerFrom("fill_decomposition", "decompose", "ours", sizes, "vertices", [](int n) {
    const auto s = TheScene(n);
    return WithSize(bench::CheckedValue(s->area, s->resolution, [s] { return OursArea(s->boundary); },
                                        "ours differs from AGG's coverage"),
                    s->boundary);
  }, benchmark::kMicrosecond, kLargest, kLargestRepetitions);
  bench::ContenderFewerFrom("fill_decomposition", "decompose", "agg_rasterize_even_odd", sizes, "vertices", [](int n) {
    const auto s = TheScene(n);
    const double area = OursArea(s->boundary) * kAggScale * kAggScale, resolution = s->resolution * kAggScale * kAggScale;
    return bench::CheckedValue(area, resolution, [s] { return AggEvenOddCoverage(s->loops, kAggScale); },
                               "AGG's coverage differs from our area");
  }, benchmark::kMicrosecond, kLargest, kLargestRepetitions);
  bench::ContenderFewerFrom("fill_decomposition", "decompose_and_clip_300_lines", "ours", sizes, "vertices", [](int n) {
    const auto s = TheScene(n);
    // Lines that pass a vertex or end near the boundary closer than the clipping's tolerances may gain or lose
    // that part of their length.
    const double expected = s->reference.joined;
    return WithSize(bench::CheckedValue(expected, 1e-9 * expected + s->reference.tolerance, [s] { return Ours(*s); },
                                        "the clipped length is wrong"),
                    s->boundary);
  }, benchmark::kMicrosecond, kLargest, kLargestRepetitions);
  bench::ContenderFewerFrom("fill_decomposition", "decompose_and_clip_300_lines", "geos_prepared_intersections", sizes,
                   "vertices", [](int n) {
                     const auto s = TheScene(n);
                     auto geos = std::make_shared<Geos>();
                     const double expected = s->reference.plain;
                     return bench::CheckedValue(expected, 1e-9 * expected,
                                                [s, geos] { return GeosPreparedLength(*geos, s->loops, s->lines); },
                                                "the clipped length is wrong");
                   }, benchmark::kMicrosecond, kLargest, kLargestRepetitions);
  const std::vector<int> folded = bench::Sizes({1000, 10000, 40000});
  bench::Contender("fill_decomposition", "decompose_folded_loop", "ours", folded, "vertices", [](int n) {
    const auto s = TheFoldedScene(n);
    return WithSize(bench::CheckedValue(s->area, s->resolution, [s] { return OursArea(s->boundary); },
                                        "ours differs from AGG's coverage"),
                    s->boundary);
  }, benchmark::kMicrosecond);
  bench::Contender("fill_decomposition", "decompose_folded_loop", "agg_rasterize_even_odd", folded, "vertices",
                   [](int n) {
    const auto s = TheFoldedScene(n);
    const double scale2 = kFoldedAggScale * kFoldedAggScale;
    return bench::CheckedValue(OursArea(s->boundary) * scale2, s->resolution * scale2,
                               [s] { return AggEvenOddCoverage(s->loops, kFoldedAggScale); },
                               "AGG's coverage differs from our area");
  }, benchmark::kMicrosecond);
  return true;
}();

}  // namespace

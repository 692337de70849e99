// A 1,000-vertex boundary with four holes: ours decomposes it and clips 1,000 lines across it, beside GEOS
// (the polygon prepared, then one intersection per line) and AGG rasterizing the same boundary even-odd. Each
// contender's answer is checked before it is timed: the clipped length against GEOS's, the area against AGG's
// coverage within its resolution; a wrong answer fails its benchmark.
#include <benchmark/benchmark.h>

#include <cmath>

#include "bench/bench_checks.h"
#include "tests/geometry/oracle/fill_peers.h"

namespace {

using namespace fillpeers;

constexpr int kLines = 1000;
constexpr double kAggScale = 200;  // 10 units to 2,000 pixels

struct Scene {
  std::vector<Loop> loops;
  Boundary boundary;
  std::vector<Span> lines;  // slightly tilted, from left of the boundary to right of it
};

const Scene& TheScene() {
  static const Scene scene = [] {
    Random random(1000);
    Scene s;
    s.loops.push_back(random.Star(0, 0, 3, 5, 600));
    const double centres[4][2] = {{-1.2, -1.2}, {1.2, -1.2}, {1.2, 1.2}, {-1.2, 1.2}};
    for (const auto& c : centres) s.loops.push_back(random.Star(c[0], c[1], 0.3, 0.6, 100));
    s.boundary = ToBoundary(s.loops);
    for (int k = 0; k < kLines; ++k) {
      const double y = -5 + 10.0 * (k + 0.5) / kLines;
      s.lines.push_back({-6, y - 0.3, 6, y + 0.3});
    }
    return s;
  }();
  return scene;
}

// Decomposes the boundary and clips every line; answers the total length inside, or -1.
double Ours(const Scene& s) {
  FillTrap trap;
  if (trap.Build(s.boundary.data(), s.boundary.size()) != kFillOk) return -1;
  double length = 0;
  for (const Span& line : s.lines) {
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

double OursArea(const Scene& s) {
  FillTrap trap;
  return trap.Build(s.boundary.data(), s.boundary.size()) == kFillOk ? TotalArea(trap) : -1;
}

double Perimeter(const Scene& s) {
  double perimeter = 0;
  for (const Loop& loop : s.loops) {
    for (std::size_t i = 0; i < loop.size(); ++i) {
      const auto& a = loop[i];
      const auto& b = loop[(i + 1) % loop.size()];
      perimeter += std::hypot(b.first - a.first, b.second - a.second);
    }
  }
  return perimeter;
}

const GeosReference& TheReference() {
  static const GeosReference reference = GeosReferenceLengths(TheScene().loops, TheScene().lines);
  return reference;
}

void BM_OursDecomposeAndClip(benchmark::State& state) {
  const Scene& s = TheScene();
  const double expected = TheReference().joined;
  TimeChecked(state, expected, 1e-9 * expected, [&s] { return Ours(s); }, "ours is wrong");
}

void BM_GeosPreparedIntersections(benchmark::State& state) {
  const Scene& s = TheScene();
  const double expected = TheReference().plain;
  Geos geos;
  TimeChecked(
      state, expected, 1e-9 * expected, [&] { return GeosPreparedLength(geos, s.loops, s.lines); }, "GEOS is wrong");
}

void BM_AggRasterizeEvenOdd(benchmark::State& state) {
  const Scene& s = TheScene();
  const double area = OursArea(s) * kAggScale * kAggScale;
  const double resolution = Perimeter(s) * kAggScale * 2.0 / 256 + 2;
  TimeChecked(state, area, resolution, [&s] { return AggEvenOddCoverage(s.loops, kAggScale); },
              "AGG's coverage differs from our area");
}

void BM_OursDecomposeOnly(benchmark::State& state) {
  const Scene& s = TheScene();
  const double area = AggEvenOddCoverage(s.loops, kAggScale) / (kAggScale * kAggScale);
  const double resolution = (Perimeter(s) * kAggScale * 2.0 / 256 + 2) / (kAggScale * kAggScale);
  TimeChecked(state, area, resolution, [&s] { return OursArea(s); }, "ours differs from AGG's coverage");
}

BENCHMARK(BM_OursDecomposeAndClip)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GeosPreparedIntersections)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OursDecomposeOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AggRasterizeEvenOdd)->Unit(benchmark::kMicrosecond);

}  // namespace

// Hatching a 500-vertex boundary with four holes with two families of about 1,000 lines each: ours decomposes it
// and walks both families, beside GEOS intersecting each stepped line with the prepared polygon. Each answer, the
// length of the lines inside, is checked before it is timed: GEOS's against its own pieces, ours against them
// with the gaps below 5e-5 closed (as our clipping joins them), to 1e-9 and the clipping's tolerances.
#include <benchmark/benchmark.h>

#include "bench/bench_checks.h"
#include "tests/geometry/oracle/fill_peers.h"

namespace {

using namespace fillpeers;

struct Scene {
  std::vector<Loop> loops;
  Boundary boundary;
  GBox2d range;
  std::vector<FillHatchFamily> families;
  std::vector<Span> lines;  // the families' stepped lines
};

const Scene& TheScene() {
  static const Scene scene = [] {
    Random random(500);
    Scene s;
    s.loops.push_back(random.Star(0, 0, 3, 5, 400));
    const double centres[4][2] = {{-1.2, -1.2}, {1.2, -1.2}, {1.2, 1.2}, {-1.2, 1.2}};
    for (const auto& c : centres) s.loops.push_back(random.Star(c[0], c[1], 0.3, 0.6, 25));
    s.boundary = ToBoundary(s.loops);
    FillBoundaryRange(s.boundary.size(), s.boundary.data(), &s.range);
    // About 1,000 lines each across the range's 10 units.
    s.families = {{0.3, 0.0125, 0.02, 0.001, 0.002, false, nullptr}, {2.2, 0.014, -0.03, 0.5, 0.1, false, nullptr}};
    for (const FillHatchFamily& f : s.families) {
      FillLineState state = FillHatchLines::Stepping(s.range, f);
      for (std::uint32_t i = 0; i < state.lineCount; ++i) {
        if (state.NextLine()) s.lines.push_back({state.startX, state.startY, state.endX, state.endY});
      }
    }
    return s;
  }();
  return scene;
}

// Decomposes the boundary and walks both families; the length inside, or -1.
double Ours(const Scene& s) {
  FillTrap trap;
  if (trap.Build(s.boundary.data(), s.boundary.size()) != kFillOk) return -1;
  double length = 0;
  for (const FillHatchFamily& family : s.families) {
    FillHatchLines walk;
    if (walk.Start(&trap, s.range, family) != kFillOk) return -1;
    FillHatchPiece piece{};
    for (bool found = true; found;) {
      if (walk.Next(&piece, &found) != kFillOk) return -1;
      if (found) length += std::hypot(piece.end.x - piece.start.x, piece.end.y - piece.start.y);
    }
  }
  return length;
}

const GeosReference& TheReference() {
  static const GeosReference reference = GeosReferenceLengths(TheScene().loops, TheScene().lines);
  return reference;
}

void BM_OursHatch(benchmark::State& state) {
  const Scene& s = TheScene();
  const GeosReference& reference = TheReference();
  const double expected = reference.joined;
  TimeChecked(state, expected, 1e-9 * expected + reference.tolerance, [&s] { return Ours(s); }, "ours is wrong");
  state.counters["lines"] = static_cast<double>(s.lines.size());
}

void BM_GeosPreparedHatch(benchmark::State& state) {
  const Scene& s = TheScene();
  const double expected = TheReference().plain;
  Geos geos;
  TimeChecked(
      state, expected, 1e-9 * expected, [&] { return GeosPreparedLength(geos, s.loops, s.lines); }, "GEOS is wrong");
}

BENCHMARK(BM_OursHatch)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GeosPreparedHatch)->Unit(benchmark::kMicrosecond);

}  // namespace

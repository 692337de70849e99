// Hatching a boundary of n vertices (a star-shaped shell with four star-shaped holes) with two families of about
// 150 lines each: ours decomposes it and walks both families, beside GEOS intersecting each stepped line with the
// prepared polygon. Each answer, the length of the lines inside, is checked before it is timed: GEOS's against
// its own pieces, ours against them with the gaps below 5e-5 closed (as our clipping joins them), to 1e-9 and the
// clipping's tolerances.
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
  GeosReference reference;
};

// A shell of 0.8 n vertices and four holes of 0.05 n each (at least three).
std::shared_ptr<const Scene> TheScene(int n) {
  return bench::Once(n, [n] {
    Random random(500);
    auto s = std::make_shared<Scene>();
    s->loops.push_back(random.Star(0, 0, 3, 5, 8 * n / 10));
    const double centres[4][2] = {{-1.2, -1.2}, {1.2, -1.2}, {1.2, 1.2}, {-1.2, 1.2}};
    for (const auto &c : centres) s->loops.push_back(random.Star(c[0], c[1], 0.3, 0.6, std::max(3, n / 20)));
    s->boundary = ToBoundary(s->loops);
    FillBoundaryRange(s->boundary.size(), s->boundary.data(), &s->range);
    // About 150 lines each across the range's 10 units.
    s->families = {{0.3, 0.08, 0.02, 0.001, 0.002, false, nullptr}, {2.2, 0.09, -0.03, 0.5, 0.1, false, nullptr}};
    for (const FillHatchFamily &f : s->families) {
      FillLineState state = FillHatchLines::Stepping(s->range, f);
      for (std::uint32_t i = 0; i < state.lineCount; ++i) {
        if (state.NextLine()) s->lines.push_back({state.startX, state.startY, state.endX, state.endY});
      }
    }
    s->reference = GeosReferenceLengths(s->loops, s->lines);
    return std::shared_ptr<const Scene>(s);
  });
}

// Decomposes the boundary and walks both families; the length inside, or -1.
double Ours(const Scene &s) {
  FillTrap trap;
  if (trap.Build(s.boundary.data(), s.boundary.size()) != kFillOk) return -1;
  double length = 0;
  for (const FillHatchFamily &family : s.families) {
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

const bool registered = [] {
  bench::Describe("hatch_lines",
                  "Hatching a boundary of n vertices (a star-shaped shell of 0.8 n, four star-shaped holes of 0.05 n "
                  "each) with two families of about 150 lines each; size: n. Ours decomposes the boundary and walks "
                  "both families; GEOS intersects each stepped line with the prepared polygon. The length inside is "
                  "checked to 1e-9 against GEOS's own pieces (ours with the gaps below 5e-5 closed, as our clipping "
                  "joins them, and the clipping's tolerances allowed).");
  const std::vector<int> sizes = bench::Sizes({30, 300, 3000});
  bench::Contender("hatch_lines", "two_families", "ours", sizes, "vertices", [](int n) {
    const auto s = TheScene(n);
    const double expected = s->reference.joined;
    bench::Ready r = bench::CheckedValue(expected, 1e-9 * expected + s->reference.tolerance,
                                         [s] { return Ours(*s); }, "the hatched length is wrong");
    r.counters["lines"] = static_cast<double>(s->lines.size());
    return r;
  }, benchmark::kMicrosecond);
  bench::Contender("hatch_lines", "two_families", "geos_prepared_intersections", sizes, "vertices", [](int n) {
    const auto s = TheScene(n);
    auto geos = std::make_shared<Geos>();
    const double expected = s->reference.plain;
    return bench::CheckedValue(expected, 1e-9 * expected,
                               [s, geos] { return GeosPreparedLength(*geos, s->loops, s->lines); },
                               "the hatched length is wrong");
  }, benchmark::kMicrosecond);
  return true;
}();

}  // namespace

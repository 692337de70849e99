// Hatching a boundary of n vertices (a star-shaped shell with four star-shaped holes) with two families of about
// 150 lines each: ours decomposes it and walks both families, beside GEOS intersecting each stepped line with the
// prepared polygon, and Clipper cutting all the lines as open paths by the boundary even-odd. Each answer, the
// length of the lines inside, is checked before it is timed: GEOS's and Clipper's against GEOS's own pieces, ours
// against them with the gaps below 5e-5 closed (as our clipping joins them), to 1e-9 and the clipping's
// tolerances.
#include <polyclipping/clipper.hpp>

#include "bench/fill_bench.h"
#include "tests/geometry/oracle/fill_peers.h"

namespace {

using namespace fillpeers;

constexpr int kLargest = 10000;
constexpr int kLargestRepetitions = 2;

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

// Clipper's integer grid: 1e-12, so that rounding the ends of every piece moves the length by far less than the
// check allows.
constexpr double kClipperGrid = 1e12;

ClipperLib::IntPoint OnGrid(double x, double y) {
  return {static_cast<ClipperLib::cInt>(std::llround(x * kClipperGrid)),
          static_cast<ClipperLib::cInt>(std::llround(y * kClipperGrid))};
}

// Every line an open path, cut by the loops filled even-odd in one execution; the length of what is inside.
double ClipperLength(const Scene &s) {
  ClipperLib::Paths loops, lines;
  for (const Loop &loop : s.loops) {
    ClipperLib::Path path;
    for (const auto &[x, y] : loop) path.push_back(OnGrid(x, y));
    loops.push_back(std::move(path));
  }
  for (const Span &line : s.lines) lines.push_back({OnGrid(line.x1, line.y1), OnGrid(line.x2, line.y2)});
  ClipperLib::Clipper clipper;
  clipper.AddPaths(lines, ClipperLib::ptSubject, false);
  clipper.AddPaths(loops, ClipperLib::ptClip, true);
  ClipperLib::PolyTree tree;
  if (!clipper.Execute(ClipperLib::ctIntersection, tree, ClipperLib::pftEvenOdd, ClipperLib::pftEvenOdd)) return -1;
  ClipperLib::Paths inside;
  ClipperLib::OpenPathsFromPolyTree(tree, inside);
  double length = 0;
  for (const ClipperLib::Path &path : inside) {
    for (std::size_t k = 1; k < path.size(); ++k) {
      length += std::hypot(static_cast<double>(path[k].X - path[k - 1].X), static_cast<double>(path[k].Y - path[k - 1].Y));
    }
  }
  return length / kClipperGrid;
}

const bool registered = [] {
  bench::Describe("hatch_lines",
                  "Hatching a boundary of n vertices (a star-shaped shell of 0.8 n, four star-shaped holes of 0.05 n "
                  "each) with two families of about 150 lines each; size: n. Ours decomposes the boundary and walks "
                  "both families; GEOS intersects each stepped line with the prepared polygon; Clipper cuts all the "
                  "stepped lines as open paths by the boundary even-odd in one execution, on a grid of 1e-12. The "
                  "length inside is checked to 1e-9 against GEOS's own pieces (ours with the gaps below 5e-5 closed, "
                  "as our clipping joins them, and the clipping's tolerances allowed; Clipper's with 1e-12 for each "
                  "line's rounding).");
  // Crossing nodes grow as the square of the vertices, and the decomposition holds at most 2^24 of them: 30,000 vertices would make about 33 million (the decomposition answers E_OUTOFMEMORY).
  // At 10,000 GEOS takes many seconds a call, so that size is measured twice whatever the run asks.
  const std::vector<int> sizes = bench::Sizes({30, 300, 3000, 10000});
  bench::ContenderFewerFrom("hatch_lines", "two_families", "ours", sizes, "vertices", [](int n) {
    const auto s = TheScene(n);
    const double expected = s->reference.joined;
    bench::Ready r = bench::CheckedValue(expected, 1e-9 * expected + s->reference.tolerance,
                                         [s] { return Ours(*s); }, "the hatched length is wrong");
    r.counters["lines"] = static_cast<double>(s->lines.size());
    // What the decomposition builds, beside the time.
    FillTrap trap;
    if (trap.Build(s->boundary.data(), s->boundary.size()) != kFillOk) return bench::Failed("no decomposition");
    r.counters["size_crossing_nodes"] = trap.CrossingNodeCount();
    r.counters["size_trapezoids"] = trap.TrapezoidCount();
    return r;
  }, benchmark::kMicrosecond, kLargest, kLargestRepetitions);
  bench::ContenderFewerFrom("hatch_lines", "two_families", "geos_prepared_intersections", sizes, "vertices", [](int n) {
    const auto s = TheScene(n);
    auto geos = std::make_shared<Geos>();
    const double expected = s->reference.plain;
    return bench::CheckedValue(expected, 1e-9 * expected,
                               [s, geos] { return GeosPreparedLength(*geos, s->loops, s->lines); },
                               "the hatched length is wrong");
  }, benchmark::kMicrosecond, kLargest, kLargestRepetitions);
  bench::ContenderFewerFrom("hatch_lines", "two_families", "clipper_open_paths_even_odd", sizes, "vertices", [](int n) {
    const auto s = TheScene(n);
    const double expected = s->reference.plain;
    return bench::CheckedValue(expected, 1e-9 * expected + 1e-12 * static_cast<double>(s->lines.size()),
                               [s] { return ClipperLength(*s); }, "the hatched length is wrong");
  }, benchmark::kMicrosecond, kLargest, kLargestRepetitions);
  return true;
}();

}  // namespace

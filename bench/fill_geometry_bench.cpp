// A boundary of n vertices (a star-shaped shell with four star-shaped holes): ours decomposes it, beside AGG
// rasterizing the same boundary even-odd; and ours decomposes it and clips 300 lines across it, beside GEOS (the
// polygon prepared, then one intersection per line). A loop folded over itself, whose edges cross a few times in
// nearly every band, is decomposed beside AGG too: its decomposition grows linearly with its vertices, and so
// must the time. Each contender's answer is checked before it is timed: the clipped length against GEOS's, our
// decomposition's area against AGG's coverage within its resolution (a pixel more for each crossing of two edges).
//
// The decomposition rows time what a caller meets: ours builds the decomposition and frees it (the area walk that
// checks it runs beforehand, untimed), AGG rasterizes and sums its coverage. Each size has eight distinct
// boundaries, every one checked, and both contenders cycle through them one a call: one small boundary decomposed
// over and over is learnt by the processor's branch predictor, as no caller's boundaries are. A time is one
// boundary's, and the decomposition's size the mean over the eight. The clip row keeps the first boundary alone:
// at 10,000 vertices GEOS takes many seconds a call, checks and reference included.
#include <algorithm>
#include <cmath>

#include "bench/fill_bench.h"
#include "tests/geometry/oracle/fill_peers.h"

namespace {

using namespace fillpeers;

constexpr int kLargest = 10000;
constexpr int kLargestRepetitions = 2;

constexpr int kLines = 300;
constexpr double kAggScale = 200;  // 10 units to 2,000 pixels

// The boundaries of one size that a decomposition row cycles through.
constexpr int kBoundaries = 8;

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

// How many times the loops' edges cross one another. AGG sums a cell's signed areas before folding them even-odd,
// so a cell in which two edges cross may be off by as much as the whole pixel: a folded loop's coverage overshoots
// by a tenth to two fifths of a pixel a crossing, beyond what its resolution allows for some loops, while our area
// matches the exact even-odd area to 1e-14.
int Crossings(const std::vector<Loop> &loops) {
  struct Edge {
    double x0, y0, x1, y1;
  };
  std::vector<Edge> edges;
  for (const Loop &loop : loops) {
    for (std::size_t i = 0; i < loop.size(); ++i) {
      const auto &a = loop[i];
      const auto &b = loop[(i + 1) % loop.size()];
      edges.push_back({a.first, a.second, b.first, b.second});
    }
  }
  const auto low = [](const Edge &e) { return std::min(e.y0, e.y1); };
  std::sort(edges.begin(), edges.end(), [&](const Edge &a, const Edge &b) { return low(a) < low(b); });
  int crossings = 0;
  for (std::size_t i = 0; i < edges.size(); ++i) {
    const Edge &p = edges[i];
    const double top = std::max(p.y0, p.y1);
    for (std::size_t j = i + 1; j < edges.size() && low(edges[j]) <= top; ++j) {
      const Edge &q = edges[j];
      const double dx1 = p.x1 - p.x0, dy1 = p.y1 - p.y0, dx2 = q.x1 - q.x0, dy2 = q.y1 - q.y0;
      const double den = dx1 * dy2 - dy1 * dx2;
      if (den == 0) continue;
      const double t = ((q.x0 - p.x0) * dy2 - (q.y0 - p.y0) * dx2) / den;
      const double u = ((q.x0 - p.x0) * dy1 - (q.y0 - p.y0) * dx1) / den;
      if (t > 0 && t < 1 && u > 0 && u < 1) ++crossings;
    }
  }
  return crossings;
}

// One boundary with both contenders' answers, made once before any timing.
struct Shape {
  std::vector<Loop> loops;
  Boundary boundary;
  double coverage = 0;    // AGG's, in pixels
  double resolution = 0;  // AGG's, in units
  double area = NAN;      // our decomposition's, summed over its trapezoids; NaN when it failed
  double nodes = 0, trapezoids = 0;
};

struct Shapes {
  std::vector<Shape> shapes;
  double scale = 0;  // AGG's pixels a unit
};

Shape Measured(std::vector<Loop> loops, double scale) {
  Shape s;
  s.loops = std::move(loops);
  s.boundary = ToBoundary(s.loops);
  s.coverage = AggEvenOddCoverage(s.loops, scale);
  s.resolution = (Perimeter(s.loops) * scale * 2.0 / 256 + 2 + Crossings(s.loops)) / (scale * scale);
  FillTrap trap;
  if (trap.Build(s.boundary.data(), s.boundary.size()) != kFillOk) return s;
  double area = 0;
  for (std::uint32_t r = 0; r + 1 < trap.RowCount(); ++r) {
    for (const FillTrapTrapezoid *t = trap.Rows()[r].firstTrapezoid; t; t = t->next) area += TrapezoidArea(*t);
  }
  s.area = area;
  s.nodes = trap.CrossingNodeCount();
  s.trapezoids = trap.TrapezoidCount();
  return s;
}

// A shell of 0.6 n vertices and four holes of 0.1 n each, kBoundaries of them from one generator (the first as
// the clip row has always had it).
std::shared_ptr<const Shapes> TheStars(int n) {
  return bench::Once(n, [n] {
    Random random(1000);
    auto s = std::make_shared<Shapes>();
    s->scale = kAggScale;
    for (int k = 0; k < kBoundaries; ++k) {
      std::vector<Loop> loops{random.Star(0, 0, 3, 5, 6 * n / 10)};
      const double centres[4][2] = {{-1.2, -1.2}, {1.2, -1.2}, {1.2, 1.2}, {-1.2, 1.2}};
      for (const auto &c : centres) loops.push_back(random.Star(c[0], c[1], 0.3, 0.6, n / 10));
      s->shapes.push_back(Measured(std::move(loops), kAggScale));
    }
    return std::shared_ptr<const Shapes>(s);
  });
}

// One loop folded four times over a strip one unit wide and n / 100 high (fillpeers::Random::Folded): its bands
// look alike at every n, and AGG's pixels stay finer than its zig-zags. AGG at 100 pixels a unit: its cells (at
// most about four million) hold the largest loop.
constexpr double kFoldedAggScale = 100;

std::shared_ptr<const Shapes> TheFoldedLoops(int n) {
  return bench::Once(n, [n] {
    Random random(2000);
    auto s = std::make_shared<Shapes>();
    s->scale = kFoldedAggScale;
    for (int k = 0; k < kBoundaries; ++k) s->shapes.push_back(Measured({random.Folded(n, n / 100.0)}, kFoldedAggScale));
    return std::shared_ptr<const Shapes>(s);
  });
}

// The first boundary of the stars, the lines across it and GEOS's clipped lengths.
struct ClipScene {
  const Shape *shape = nullptr;
  std::shared_ptr<const Shapes> stars;  // keeps shape
  std::vector<Span> lines;  // slightly tilted, from left of the boundary to right of it
  GeosReference reference;
};

std::shared_ptr<const ClipScene> TheClipScene(int n) {
  return bench::Once(n, [n] {
    auto s = std::make_shared<ClipScene>();
    s->stars = TheStars(n);
    s->shape = &s->stars->shapes.front();
    for (int k = 0; k < kLines; ++k) {
      const double y = -5 + 10.0 * (k + 0.5) / kLines;
      s->lines.push_back({-6, y - 0.3, 6, y + 0.3});
    }
    s->reference = GeosReferenceLengths(s->shape->loops, s->lines);
    return std::shared_ptr<const ClipScene>(s);
  });
}

// Decomposes the boundary and clips every line; answers the total length inside, or -1.
double Ours(const ClipScene &s) {
  FillTrap trap;
  if (trap.Build(s.shape->boundary.data(), s.shape->boundary.size()) != kFillOk) return -1;
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

// What our decomposition builds, beside its time: its size grows as the square of the vertices at most.
bench::Ready WithSize(bench::Ready r, double nodes, double trapezoids) {
  r.counters["size_crossing_nodes"] = nodes;
  r.counters["size_trapezoids"] = trapezoids;
  return r;
}

// Our decomposition of each boundary checked against AGG's coverage; the timed call builds the next one and frees
// it. Its size is the mean over the boundaries.
bench::Ready OursDecomposing(std::shared_ptr<const Shapes> s) {
  const double scale2 = s->scale * s->scale;
  bench::Ready r = bench::CheckedCycle(
      s->shapes.size(),
      [s, scale2](std::size_t i) {
        const Shape &shape = s->shapes[i];
        return std::isnan(shape.area) ? INFINITY : std::fabs(shape.area - shape.coverage / scale2);
      },
      [s](std::size_t i) { return s->shapes[i].resolution; },
      [s](std::size_t i) {
        FillTrap trap;
        benchmark::DoNotOptimize(trap.Build(s->shapes[i].boundary.data(), s->shapes[i].boundary.size()));
      },
      "ours differs from AGG's coverage");
  double nodes = 0, trapezoids = 0;
  for (const Shape &shape : s->shapes) nodes += shape.nodes, trapezoids += shape.trapezoids;
  return WithSize(r, nodes / s->shapes.size(), trapezoids / s->shapes.size());
}

// AGG's coverage of each boundary checked against our area; the timed call rasterizes the next one.
bench::Ready AggRasterizing(std::shared_ptr<const Shapes> s) {
  const double scale2 = s->scale * s->scale;
  return bench::CheckedCycle(
      s->shapes.size(),
      [s, scale2](std::size_t i) {
        const Shape &shape = s->shapes[i];
        return std::isnan(shape.area) ? INFINITY : std::fabs(shape.coverage - shape.area * scale2);
      },
      [s, scale2](std::size_t i) { return s->shapes[i].resolution * scale2; },
      [s](std::size_t i) { benchmark::DoNotOptimize(AggEvenOddCoverage(s->shapes[i].loops, s->scale)); },
      "AGG's coverage differs from our area");
}

const bool registered = [] {
  bench::Describe("fill_decomposition",
                  "A boundary of n vertices, a star-shaped shell of 0.6 n and four star-shaped holes of 0.1 n each; "
                  "size: n. Decomposition: ours building the decomposition and freeing it, beside AGG rasterizing the "
                  "boundary even-odd at 2,000 pixels across, our area (walked over the trapezoids beforehand, "
                  "untimed) and AGG's coverage each checked against the other within AGG's resolution; both cycle "
                  "through eight distinct boundaries of each size, one a call, the time one boundary's and the "
                  "decomposition's size the mean over the eight. Decomposition and clipping of 300 lines, on the "
                  "first of those boundaries: ours beside GEOS (the polygon prepared, then one intersection per line), "
                  "the clipped length checked to 1e-9 against GEOS's pieces (ours with the gaps below 5e-5 "
                  "closed, as our clipping joins them, and the clipping's tolerance of 5e-6 of a line's length "
                  "allowed at each end of a line that passes a vertex or ends near the boundary closer than 1e-4). "
                  "Folded loop: one loop of n vertices in four passes up, down, up and down a strip 1 by n / 100, "
                  "each zig-zagging from side to side, so that a few edges cross in nearly every band, eight of "
                  "them at each size; ours beside AGG as above, at 100 pixels a unit, with a pixel more allowed for "
                  "each crossing of two edges, in whose cell AGG's even-odd coverage may be off by as much (the "
                  "decomposition's size grows linearly with n).");
  // Crossing nodes grow as the square of the vertices, and the decomposition holds at most 2^24 of them: 30,000 vertices would make about 26 million (the decomposition answers E_OUTOFMEMORY).
  // At 10,000 GEOS takes many seconds a call, so that size is measured twice whatever the run asks.
  const std::vector<int> sizes = bench::Sizes({30, 300, 3000, 10000});
  bench::ContenderFewerFrom("fill_decomposition", "decompose", "ours", sizes, "vertices",
                            [](int n) { return OursDecomposing(TheStars(n)); }, benchmark::kMicrosecond, kLargest,
                            kLargestRepetitions);
  bench::ContenderFewerFrom("fill_decomposition", "decompose", "agg_rasterize_even_odd", sizes, "vertices",
                            [](int n) { return AggRasterizing(TheStars(n)); }, benchmark::kMicrosecond, kLargest,
                            kLargestRepetitions);
  bench::ContenderFewerFrom("fill_decomposition", "decompose_and_clip_300_lines", "ours", sizes, "vertices", [](int n) {
    const auto s = TheClipScene(n);
    // Lines that pass a vertex or end near the boundary closer than the clipping's tolerances may gain or lose
    // that part of their length.
    const double expected = s->reference.joined;
    return WithSize(bench::CheckedValue(expected, 1e-9 * expected + s->reference.tolerance, [s] { return Ours(*s); },
                                        "the clipped length is wrong"),
                    s->shape->nodes, s->shape->trapezoids);
  }, benchmark::kMicrosecond, kLargest, kLargestRepetitions);
  bench::ContenderFewerFrom("fill_decomposition", "decompose_and_clip_300_lines", "geos_prepared_intersections", sizes,
                   "vertices", [](int n) {
                     const auto s = TheClipScene(n);
                     auto geos = std::make_shared<Geos>();
                     const double expected = s->reference.plain;
                     return bench::CheckedValue(
                         expected, 1e-9 * expected,
                         [s, geos] { return GeosPreparedLength(*geos, s->shape->loops, s->lines); },
                         "the clipped length is wrong");
                   }, benchmark::kMicrosecond, kLargest, kLargestRepetitions);
  const std::vector<int> folded = bench::Sizes({1000, 10000, 40000});
  bench::Contender("fill_decomposition", "decompose_folded_loop", "ours", folded, "vertices",
                   [](int n) { return OursDecomposing(TheFoldedLoops(n)); }, benchmark::kMicrosecond);
  bench::Contender("fill_decomposition", "decompose_folded_loop", "agg_rasterize_even_odd", folded, "vertices",
                   [](int n) { return AggRasterizing(TheFoldedLoops(n)); }, benchmark::kMicrosecond);
  return true;
}();

}  // namespace

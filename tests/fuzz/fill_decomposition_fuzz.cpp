// The trapezoid decomposition of a fill boundary and the clipping of segments against it. A boundary is refused
// with E_INVALIDARG, reported, exactly when a coordinate is not finite or its extent overflows, and with E_FAIL,
// not reported, when nothing is left of its points; otherwise every trapezoid is well formed and together they
// cover the even-odd inside: their area is the boundary's, and away from the edges a point lies in one exactly
// when it lies inside. Every piece of a clipped segment lies on the segment and inside the boundary, within the
// clipping's tolerances, and every point of the segment well inside lies on a piece. An earlier boundary, or an
// allocation that fails, leaves nothing that changes this; clipping after a failed decomposition finds nothing.
#include "geometry/fill_test_support.h"
#include "tests/fuzz/geometry_input.h"

namespace {

using gfuzz::Edge;

std::vector<const FillTrapTrapezoid*> Trapezoids(const FillTrap& trap) {
  std::vector<const FillTrapTrapezoid*> all;
  for (std::uint32_t r = 0; r + 1 < trap.RowCount(); ++r)
    for (const FillTrapTrapezoid* t = trap.Rows()[r].firstTrapezoid; t; t = t->next) all.push_back(t);
  return all;
}

bool InsideTrapezoids(const std::vector<const FillTrapTrapezoid*>& all, double x, double y) {
  for (const FillTrapTrapezoid* t : all) {
    if (y <= t->yBottom || y >= t->yTop) continue;
    const auto* c = t->corners;
    const double s = (y - t->yBottom) / (t->yTop - t->yBottom);
    const double left = c[0]->x + s * (c[3]->x - c[0]->x), right = c[1]->x + s * (c[2]->x - c[1]->x);
    if (x > left && x < right) return true;
  }
  return false;
}

// Corners on the trapezoid's rows, left of right at both (to rounding), the range box over the corners, rows in
// ascending y.
void CheckDecomposition(const FillTrap& trap, const std::vector<const FillTrapTrapezoid*>& all, double extent) {
  FUZZ_CHECK(trap.RowCount() >= 1);
  for (std::uint32_t r = 0; r + 1 < trap.RowCount(); ++r) FUZZ_CHECK(trap.Rows()[r].y < trap.Rows()[r + 1].y);
  FUZZ_CHECK(trap.Rows()[trap.RowCount() - 1].firstTrapezoid == nullptr);
  FUZZ_CHECK(all.size() == trap.TrapezoidCount());
  for (const FillTrapTrapezoid* t : all) {
    const auto* c = t->corners;
    FUZZ_CHECK(c[0]->y == t->yBottom && c[1]->y == t->yBottom && c[2]->y == t->yTop && c[3]->y == t->yTop);
    FUZZ_CHECK(t->yBottom < t->yTop);
    // Two edges that cross on a row meet there only to rounding, and nodes within 1e-12 of the coordinates of
    // their edges are taken as one point, their edges ordered by their upper ends: such nodes may change places.
    // A band one ulp high has no row between for a crossing within it: there the sides may change places by as
    // much as they travel across the band.
    const double travel = t->yTop == std::nextafter(t->yBottom, HUGE_VAL)
                              ? std::fabs(c[3]->x - c[0]->x) + std::fabs(c[2]->x - c[1]->x)
                              : 0.0;
    const auto ordered = [&](double left, double right) { return left <= right + 1e-12 * (1 + 4 * extent) + travel; };
    FUZZ_CHECK(ordered(c[0]->x, c[1]->x) && ordered(c[3]->x, c[2]->x));
    FUZZ_CHECK(t->xMin == std::fmin(std::fmin(c[0]->x, c[1]->x), std::fmin(c[2]->x, c[3]->x)));
    FUZZ_CHECK(t->xMax == std::fmax(std::fmax(c[0]->x, c[1]->x), std::fmax(c[2]->x, c[3]->x)));
  }
}

void CheckCover(const std::vector<const FillTrapTrapezoid*>& all, const std::vector<Edge>& edges, double extent) {
  double area = 0;
  for (const FillTrapTrapezoid* t : all) {
    const auto* c = t->corners;
    area += 0.5 * ((c[1]->x - c[0]->x) + (c[2]->x - c[3]->x)) * (t->yTop - t->yBottom);
  }
  const double expected = gfuzz::EvenOddArea(edges);
  if (!(std::fabs(area - expected) <= 1e-10 * extent * extent * (all.size() + edges.size() + 1))) {
    std::fprintf(stderr, "trapezoids cover %.17g, the boundary %.17g\n", area, expected);
    FUZZ_CHECK(false);
  }
  double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
  for (const Edge& e : edges) {
    x0 = std::fmin(x0, std::fmin(e.x0, e.x1)), x1 = std::fmax(x1, std::fmax(e.x0, e.x1));
    y0 = std::fmin(y0, std::fmin(e.y0, e.y1)), y1 = std::fmax(y1, std::fmax(e.y0, e.y1));
  }
  const double away = 1e-7 * extent;
  for (int i = 0; i < 13; ++i)
    for (int j = 0; j < 13; ++j) {
      const double x = x0 + (x1 - x0) * (i + 0.3183) / 13, y = y0 + (y1 - y0) * (j + 0.2718) / 13;
      if (gfuzz::DistanceToEdges(edges, x, y) <= away) continue;
      if (InsideTrapezoids(all, x, y) != gfuzz::InsideLoops(edges, x, y)) {
        std::fprintf(stderr, "at (%.17g, %.17g) the trapezoids and the loops disagree\n", x, y);
        FUZZ_CHECK(false);
      }
    }
}

// Clips a to b and holds the pieces to the segment and the boundary.
void CheckClip(FillTrap& trap, bool built, const std::vector<Edge>& edges, double extent, const GPosition2d& a,
               const GPosition2d& b) {
  trap.ClearSegments();
  std::uint32_t count = 99;
  GPosition first[2];
  const FillResult hr = trap.ClipSegment(a, b, &count, first);
  const bool finite = std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(b.x) && std::isfinite(b.y);
  FUZZ_CHECK(hr == (finite ? kFillOk : kFillInvalidArg));
  if (hr != kFillOk) return;
  if (!built) {
    FUZZ_CHECK(count == 0);
    return;
  }
  std::vector<std::pair<GPosition, GPosition>> pieces;
  GPosition p[2] = {first[0], first[1]};
  for (bool more = count > 0; more && pieces.size() <= count; more = trap.NextSegment(p)) pieces.push_back({p[0], p[1]});
  FUZZ_CHECK(pieces.size() == count);
  const double length = std::hypot(b.x - a.x, b.y - a.y);
  if (!(length <= 1e6) || !(extent <= 1e6)) return;
  const double tol = 1e-4 + 1e-5 * (length + 4 * extent);
  for (const auto& [s, e] : pieces) {
    for (int k = 0; k <= 4; ++k) {
      const double x = s.x + (e.x - s.x) * k / 4, y = s.y + (e.y - s.y) * k / 4;
      FUZZ_CHECK(gfuzz::SegmentDistance(x, y, a.x, a.y, b.x, b.y) <= tol);
      if (!gfuzz::InsideOrNear(edges, x, y, tol)) {
        std::fprintf(stderr, "piece (%.17g, %.17g)-(%.17g, %.17g) of (%.17g, %.17g)-(%.17g, %.17g) leaves the boundary\n",
                     s.x, s.y, e.x, e.y, a.x, a.y, b.x, b.y);
        FUZZ_CHECK(false);
      }
    }
  }
  for (int k = 0; k <= 32; ++k) {
    const double x = a.x + (b.x - a.x) * k / 32, y = a.y + (b.y - a.y) * k / 32;
    if (!gfuzz::InsideLoops(edges, x, y) || gfuzz::DistanceToEdges(edges, x, y) <= tol) continue;
    bool covered = false;
    for (const auto& [s, e] : pieces) covered = covered || gfuzz::SegmentDistance(x, y, s.x, s.y, e.x, e.y) <= tol;
    if (!covered) {
      std::fprintf(stderr, "(%.17g, %.17g) of (%.17g, %.17g)-(%.17g, %.17g) is inside but on no piece\n", x, y, a.x,
                   a.y, b.x, b.y);
      FUZZ_CHECK(false);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  gfuzz::Reader in(data, size);
  geomplatform::ClearFillFailures();
  const std::uint8_t flags = in.byte();
  FillTrap trap;
  if (flags & 1) {
    // A boundary built first, so that the second build starts over from its state.
    const gfuzz::Boundary earlier = gfuzz::ReadBoundary(in);
    trap.Build(earlier.points.data(), static_cast<std::uint32_t>(earlier.points.size()));
  }
  const gfuzz::Boundary boundary = gfuzz::ReadBoundary(in);
  const auto count = static_cast<std::uint32_t>(boundary.points.size());
  // Bits 1 to 3 fail the n-th allocation of the build.
  const int failAt = (flags >> 1) & 7;
  geomplatform::ClearFillFailures();
  FillAllocFailAt(failAt);
  const FillResult hr = trap.Build(boundary.points.data(), count);
  const bool failed = FillAllocFailPending() == 0 && failAt > 0;
  FillAllocFailAt(0);

  const std::vector<Edge> edges = gfuzz::EdgesOf(boundary.points);
  // A vertex is left where a loop has more points, repeats in a row counted once, than a closing point.
  bool anyVertex = false;
  for (std::size_t start = 0, end = 0; start < boundary.points.size(); start = end + 1) {
    const auto& p = boundary.points;
    for (end = start; end < p.size() && p[end].x != kFillLoopSeparatorX;) ++end;
    int runs = 0;
    for (std::size_t i = start; i < end; ++i) runs += i == start || p[i].x != p[i - 1].x || p[i].y != p[i - 1].y;
    if (runs > 0 && p[start].x == p[end - 1].x && p[start].y == p[end - 1].y) --runs;
    anyVertex = anyVertex || runs > 0;
  }
  const bool overflows = [&] {
    double x0 = HUGE_VAL, x1 = -HUGE_VAL, y0 = HUGE_VAL, y1 = -HUGE_VAL;
    bool any = false;
    for (const GPosition& p : boundary.points) {
      if (p.x == kFillLoopSeparatorX) continue;
      x0 = std::fmin(x0, p.x), x1 = std::fmax(x1, p.x), y0 = std::fmin(y0, p.y), y1 = std::fmax(y1, p.y);
      any = true;
    }
    return any && !(std::isfinite(x1 - x0) && std::isfinite(y1 - y0));
  }();
  if (!boundary.finite || overflows) {
    FUZZ_CHECK(hr == kFillInvalidArg);
  } else if (!anyVertex) {
    FUZZ_CHECK(hr == kFillFail || (failed && hr == kFillOutOfMemory));
  } else {
    FUZZ_CHECK(hr == kFillOk || (failed && hr == kFillOutOfMemory));
  }
  // Refusals and failures are reported; nothing to decompose is left to the caller.
  FUZZ_CHECK((geomplatform::FillFailureCount() > 0) == (hr == kFillInvalidArg || hr == kFillOutOfMemory));

  const bool built = hr == kFillOk;
  if (built) {
    const auto all = Trapezoids(trap);
    CheckDecomposition(trap, all, boundary.extent);
    if (boundary.extent <= 1e100) CheckCover(all, edges, boundary.extent);
  }
  // Segments: ends on the boundary's grid, or any numbers.
  const int segments = in.byte() % 6;
  for (int s = 0; s < segments; ++s) {
    const int kind = in.byte() % 4;
    const GPosition2d a(gfuzz::ReadCoordinate(in, kind), gfuzz::ReadCoordinate(in, kind));
    const GPosition2d b(gfuzz::ReadCoordinate(in, kind), gfuzz::ReadCoordinate(in, kind));
    CheckClip(trap, built, edges, boundary.extent, a, b);
  }
  geomplatform::ClearFillFailures();
  return 0;
}

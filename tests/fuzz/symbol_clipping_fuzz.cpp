// One slot's symbols drawn over a fill boundary. Whole pieces come only where a cell lies inside and are the
// stored pieces moved into the cell; cut segments lie on their piece's segments and inside the boundary, and
// cover the part of each that lies well inside; cut polygons are closed, convex and counter-clockwise, lie inside
// both the boundary and their piece, and cover what the two have in common. Every hold on a style that the walk
// takes is given back, also when the sink ends the walk with a failure, which the walk answers.
#include <map>

#include "tests/fuzz/geometry_input.h"

namespace {

using gfuzz::Edge;

struct Style {
  int holds = 0;
};

void Hold(void* style) { ++static_cast<Style*>(style)->holds; }

struct Polyline {
  std::vector<GPosition> points;
  Style* style;
};

bool InPolygon(const GPosition* p, std::uint32_t n, double x, double y, double tol) {
  for (std::uint32_t k = 0; k + 1 < n; ++k) {
    const double ex = p[k + 1].x - p[k].x, ey = p[k + 1].y - p[k].y, len = std::hypot(ex, ey);
    if (ex * (y - p[k].y) - ey * (x - p[k].x) < -tol * len) return false;
  }
  return true;
}

class Sink : public FillSymbolSink {
 public:
  Sink(TileGen& gen, const std::vector<Edge>& boundary, const std::vector<Polyline>& open,
       const std::vector<Polyline>& closed, bool roundEnds, bool boxHolds, double tol, int failAt)
      : gen_(gen), boundary_(boundary), open_(open), closed_(closed), round_(roundEnds), boxHolds_(boxHolds),
        tol_(tol), failAt_(failAt) {}

  FillResult WholePiece(bool closed, const GPosition* points, std::uint32_t count, void* style) override {
    const Polyline& piece = Find(closed, style);
    FUZZ_CHECK(count == piece.points.size() && count >= (closed ? 3u : 2u));
    const GPosition2d move = gen_.Translation();
    for (std::uint32_t k = 0; k < count; ++k) {
      FUZZ_CHECK(points[k].x == piece.points[k].x + move.x && points[k].y == piece.points[k].y + move.y);
      if (boxHolds_) FUZZ_CHECK(gfuzz::InsideOrNear(boundary_, points[k].x, points[k].y, tol_));
    }
    whole_ = true;
    return Answer();
  }

  FillResult Segment(const GPosition& a, const GPosition& b, void* style) override {
    const Polyline& piece = Find(false, style);
    const GPosition2d move = gen_.Translation();
    for (int t = 0; t <= 4; ++t) {
      const double x = a.x + (b.x - a.x) * t / 4, y = a.y + (b.y - a.y) * t / 4;
      FUZZ_CHECK(gfuzz::InsideOrNear(boundary_, x, y, tol_));
      double best = HUGE_VAL;
      for (std::size_t k = 0; k + 1 < piece.points.size(); ++k) {
        const GPosition p = Cell(piece.points[k], move), q = Cell(piece.points[k + 1], move);
        best = std::fmin(best, gfuzz::SegmentDistance(x, y, p.x, p.y, q.x, q.y));
      }
      if (!(best <= tol_)) {
        std::fprintf(stderr, "segment (%.17g, %.17g)-(%.17g, %.17g) off its piece by %.17g in cell (%lld, %lld)\n", a.x,
                     a.y, b.x, b.y, best, static_cast<long long>(gen_.Column()), static_cast<long long>(gen_.Row()));
        FUZZ_CHECK(false);
      }
    }
    segments_.push_back({a, b});
    return Answer();
  }

  FillResult Polygon(const GPosition* points, std::uint32_t count, void* style) override {
    const Polyline& piece = Find(true, style);
    FUZZ_CHECK(count >= 4 && count <= 10);
    FUZZ_CHECK(points[0].x == points[count - 1].x && points[0].y == points[count - 1].y);
    const std::vector<Edge> own = Moved(piece);
    double twice = 0;
    for (std::uint32_t k = 0; k + 1 < count; ++k) {
      twice += points[k].x * points[k + 1].y - points[k + 1].x * points[k].y;
      FUZZ_CHECK(points[k].z == 0);
      FUZZ_CHECK(gfuzz::InsideOrNear(boundary_, points[k].x, points[k].y, tol_));
      FUZZ_CHECK(gfuzz::InsideOrNear(own, points[k].x, points[k].y, tol_));
    }
    FUZZ_CHECK(twice > 0);
    // Convex and counter-clockwise: every point on the left of every side.
    for (std::uint32_t k = 0; k + 1 < count; ++k) FUZZ_CHECK(InPolygon(points, count, points[k].x, points[k].y, tol_));
    polygons_.emplace_back(points, points + count);
    return Answer();
  }

  void Release(void* style) override {
    auto* s = static_cast<Style*>(style);
    --s->holds;
    ++releases_;
    if (!failed_) Covered(style);
    whole_ = false;
    segments_.clear();
    polygons_.clear();
  }

  int releases() const { return releases_; }
  int calls() const { return calls_; }

 private:
  static GPosition Moved(const GPosition& p, const GPosition2d& move) { return {p.x + move.x, p.y + move.y, 0}; }

  // A point of an open piece as it is cut in the cell: moved, and rounded to whole units when asked.
  GPosition Cell(const GPosition& p, const GPosition2d& move) const {
    const GPosition q = Moved(p, move);
    return round_ ? GPosition(std::floor(q.x + 0.5), std::floor(q.y + 0.5), 0) : q;
  }

  std::vector<Edge> Moved(const Polyline& piece) const {
    std::vector<GPosition> points;
    for (const GPosition& p : piece.points) points.push_back(Moved(p, gen_.Translation()));
    return gfuzz::EdgesOf(points);
  }

  const Polyline& Find(bool closed, void* style) const {
    for (const Polyline& p : closed ? closed_ : open_)
      if (p.style == style) return p;
    FUZZ_CHECK(false);
    return closed_.front();
  }

  FillResult Answer() {
    if (calls_++ == failAt_) {
      failed_ = true;
      return kFillOutOfMemory;
    }
    return kFillOk;
  }

  // What a piece drew in this cell covers what it has well inside the boundary.
  void Covered(void* style) {
    if (whole_) return;
    const GPosition2d move = gen_.Translation();
    for (const Polyline& piece : open_) {
      if (piece.style != style) continue;
      for (std::size_t k = 0; k + 1 < piece.points.size(); ++k) {
        const GPosition p = Cell(piece.points[k], move), q = Cell(piece.points[k + 1], move);
        for (int t = 0; t <= 8; ++t) {
          const double x = p.x + (q.x - p.x) * t / 8, y = p.y + (q.y - p.y) * t / 8;
          if (!gfuzz::InsideLoops(boundary_, x, y) || gfuzz::DistanceToEdges(boundary_, x, y) <= tol_) continue;
          bool on = false;
          for (const auto& [a, b] : segments_) on = on || gfuzz::SegmentDistance(x, y, a.x, a.y, b.x, b.y) <= tol_;
          if (!on) {
            std::fprintf(stderr, "(%.17g, %.17g) of (%.17g, %.17g)-(%.17g, %.17g) inside but on no cut segment\n", x,
                         y, p.x, p.y, q.x, q.y);
            FUZZ_CHECK(false);
          }
        }
      }
    }
    for (const Polyline& piece : closed_) {
      if (piece.style != style || piece.points.size() < 3) continue;
      const std::vector<Edge> own = Moved(piece);
      double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
      for (const Edge& e : own) x0 = std::fmin(x0, e.x0), x1 = std::fmax(x1, e.x0), y0 = std::fmin(y0, e.y0), y1 = std::fmax(y1, e.y0);
      for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j) {
          const double x = x0 + (x1 - x0) * (i + 0.37) / 5, y = y0 + (y1 - y0) * (j + 0.61) / 5;
          if (!gfuzz::InsideLoops(own, x, y) || !gfuzz::InsideLoops(boundary_, x, y)) continue;
          if (gfuzz::DistanceToEdges(own, x, y) <= tol_ || gfuzz::DistanceToEdges(boundary_, x, y) <= tol_) continue;
          bool in = false;
          for (const auto& polygon : polygons_)
            in = in || InPolygon(polygon.data(), static_cast<std::uint32_t>(polygon.size()), x, y, tol_);
          if (!in) {
            std::fprintf(stderr, "(%.17g, %.17g) inside the piece and the boundary but in no polygon\n", x, y);
            FUZZ_CHECK(false);
          }
        }
    }
  }

  TileGen& gen_;
  const std::vector<Edge>& boundary_;
  const std::vector<Polyline>& open_;
  const std::vector<Polyline>& closed_;
  bool round_, boxHolds_;
  double tol_;
  int failAt_;
  int calls_ = 0, releases_ = 0;
  bool failed_ = false, whole_ = false;
  std::vector<std::pair<GPosition, GPosition>> segments_;
  std::vector<std::vector<GPosition>> polygons_;
};

// A piece: a point count byte (% 9) and the points on a grid of eighths in [-4, 4), a closed one with its first
// point repeated at the end when the count byte asks.
Polyline ReadPiece(gfuzz::Reader& in, bool closed, Style* style) {
  Polyline p{{}, style};
  const std::uint8_t b = in.byte();
  const int n = b % 9;
  for (int k = 0; k < n; ++k) p.points.emplace_back((in.byte() - 128) / 32.0, (in.byte() - 128) / 32.0, 0.0);
  if (closed && n > 0 && (b & 0x80)) p.points.push_back(p.points.front());
  return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  gfuzz::Reader in(data, size);
  geomplatform::ClearFillFailures();
  gfuzz::Decomposed fill(in);
  const gfuzz::Boundary& boundary = fill.boundary;
  FillTrap& trap = fill.trap;
  if (!fill.built || boundary.extent > 1e3) return 0;

  const std::uint8_t form = in.byte();
  TileGenLattice lattice{};
  lattice.angle = form & 1 ? (in.byte() / 256.0) * kFillTwoPi : (in.byte() % 4) * kFillHalfPi;
  lattice.spacingX = (in.byte() % 64 + 4) / 8.0;
  lattice.spacingY = (in.byte() % 64 + 4) / 8.0;
  lattice.rowShift = form & 2 ? (in.byte() - 128) / 32.0 : 0.0;
  lattice.columnShift = form & 4 ? (in.byte() - 128) / 32.0 : 0.0;
  lattice.originX = (in.byte() - 128) / 16.0;
  lattice.originY = (in.byte() - 128) / 16.0;
  const bool roundEnds = form & 8;

  std::vector<Style> styles(6);
  std::vector<Polyline> open, closed;
  const int openCount = in.byte() % 3, closedCount = in.byte() % 4;
  for (int k = 0; k < openCount; ++k) open.push_back(ReadPiece(in, false, &styles[k]));
  // Each piece has a style of its own, by which the sink tells which piece a call belongs to.
  for (int k = 0; k < closedCount; ++k) closed.push_back(ReadPiece(in, true, &styles[3 + k]));
  GBox2d symbol(0, 0, 0, 0);
  std::uint32_t mostPoints = 1;
  for (const auto* list : {&open, &closed})
    for (const Polyline& p : *list) {
      mostPoints = std::max<std::uint32_t>(mostPoints, static_cast<std::uint32_t>(p.points.size()));
      for (const GPosition& q : p.points) {
        symbol.low.x = std::fmin(symbol.low.x, q.x), symbol.high.x = std::fmax(symbol.high.x, q.x);
        symbol.low.y = std::fmin(symbol.low.y, q.y), symbol.high.y = std::fmax(symbol.high.y, q.y);
      }
    }
  // A symbol box smaller than the pieces is the caller's mistake: the walk must still be sound, but a whole
  // piece may then leave the boundary.
  const bool boxHolds = !(form & 16);
  if (!boxHolds) symbol = GBox2d(0, 0, symbol.high.x / 2, symbol.high.y / 2);
  std::vector<TileGenPiece> openPieces, closedPieces;
  for (const Polyline& p : open) openPieces.push_back({static_cast<std::uint32_t>(p.points.size()), p.points.data(), p.style});
  for (const Polyline& p : closed)
    closedPieces.push_back({static_cast<std::uint32_t>(p.points.size()), p.points.data(), p.style});

  GBox2d region;
  FillBoundaryRange(fill.count(), fill.points(), &region);
  {
    TileGen gen(Hold);
    FUZZ_CHECK(gen.SetOpenPieces(openPieces.data(), static_cast<std::uint32_t>(openPieces.size()), symbol) == kFillOk);
    FUZZ_CHECK(gen.SetClosedPieces(closedPieces.data(), static_cast<std::uint32_t>(closedPieces.size()), symbol) ==
               kFillOk);
    FUZZ_CHECK(gen.SetSlot(lattice, region) == kFillOk);
    gen.Classify();
    // A walk of a thousand cells at most, so that a run stays well within a second.
    const double w = region.high.x - region.low.x + symbol.high.x - symbol.low.x + 2 * std::fabs(lattice.rowShift);
    const double h = region.high.y - region.low.y + symbol.high.y - symbol.low.y + 2 * std::fabs(lattice.columnShift);
    const double diagonal = std::hypot(w, h);
    if ((diagonal / lattice.spacingX + 3) * (diagonal / lattice.spacingY + 3) > 1000) return 0;
    FUZZ_CHECK(gen.Start(&trap) == kFillOk);
    std::uint32_t mostElements = 0;
    FUZZ_CHECK(gen.BuildBoundaryElements(&mostElements) == kFillOk);

    const std::vector<Edge> edges = gfuzz::EdgesOf(boundary.points);
    const int failAt = form & 32 ? in.byte() * 4 : -1;
    Sink sink(gen, edges, open, closed, roundEnds, boxHolds, 1e-4 + 1e-5 * (boundary.extent + 8), failAt);
    const FillResult hr = FillSymbolLattice(&gen, &trap, mostPoints, mostElements, roundEnds, &sink);
    FUZZ_CHECK(hr == (failAt >= 0 && sink.calls() > failAt ? kFillOutOfMemory : kFillOk));
  }
  for (const Style& s : styles) FUZZ_CHECK(s.holds == 0);
  geomplatform::ClearFillFailures();
  return 0;
}

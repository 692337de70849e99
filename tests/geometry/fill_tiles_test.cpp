// The symbol lattice walk: how angles are classified, what is refused before a cell is walked, where shifted
// cells sit, and the pieces handed out per cell. The oracle test checks the visited cells, the inside answers
// and the elements against GEOS.
#include <cmath>
#include <limits>
#include <map>
#include <utility>
#include <vector>

#include "geometry/fill_test_support.h"
#include "tests/geometry/fill_fixtures.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kPi = 3.141592653589793;

TileGenLattice Lattice(double angle, double sx = 1, double sy = 1, double rowShift = 0, double columnShift = 0,
                       double ox = 0, double oy = 0) {
  return {angle, sx, sy, rowShift, columnShift, ox, oy};
}

// The translation of every cell of the walk by its indices.
std::map<std::pair<std::int64_t, std::int64_t>, GPosition2d> Walk(TileGen& gen) {
  std::map<std::pair<std::int64_t, std::int64_t>, GPosition2d> cells;
  for (bool found = true; found && cells.size() < 1000;) {
    EXPECT_EQ(gen.NextTile(&found, nullptr), kFillOk);
    if (found) cells.emplace(std::make_pair(gen.Column(), gen.Row()), gen.Translation());
  }
  return cells;
}

FillResult Ready(TileGen& gen, const TileGenLattice& lattice, const GBox2d& region, const GBox2d& symbol,
                 const TileGenPiece* pieces = nullptr, std::uint32_t count = 0) {
  FillResult hr = gen.SetSlot(lattice, region);
  if (hr == kFillOk) hr = gen.SetClosedPieces(pieces, count, symbol);
  if (hr != kFillOk) return hr;
  gen.Classify();
  return gen.Start(nullptr);
}

TEST(FillTilesTest, AnglesAreReducedAndClassified) {
  const double nearHalfPi = kFillHalfPi + 1e-9;
  const struct {
    double angle;
    TileGen::Mode mode;
    std::uint32_t quadrant;
    double reduced, cos, sin, slope;
  } cases[] = {
      {0, TileGen::kHorizontal, 0, 0, 1, 0, 0},
      {kPi, TileGen::kHorizontal, 2, kPi, -1, 0, 0},
      {kFillHalfPi, TileGen::kVertical, 1, kFillHalfPi, 0, -1, 0},
      {kFillThreeHalfPi, TileGen::kVertical, 3, kFillThreeHalfPi, 0, 1, 0},
      {nearHalfPi, TileGen::kVertical, 1, nearHalfPi, 0, -1, 0},
      {-kPi / 4, TileGen::kGeneral, 3, 7 * kPi / 4, std::sqrt(0.5), std::sqrt(0.5), 1},
      {kFillTwoPi, TileGen::kHorizontal, 0, 0, 1, 0, 0},
      {-1e-300, TileGen::kHorizontal, 0, 0, 1, 0, 0},  // + 2pi rounds to 2pi itself
      {5 * kFillTwoPi + 1, TileGen::kGeneral, 0, 1, std::cos(1), -std::sin(1), -std::tan(1)},
  };
  for (const auto& c : cases) {
    TileGen gen;
    ASSERT_EQ(gen.SetSlot(Lattice(c.angle), GBox2d(0, 0, 1, 1)), kFillOk) << c.angle;
    gen.Classify();
    EXPECT_EQ(gen.LatticeMode(), c.mode) << c.angle;
    EXPECT_EQ(gen.Quadrant(), c.quadrant) << c.angle;
    EXPECT_NEAR(gen.Angle(), c.reduced, 1e-12) << c.angle;
    // Values near 0 and 1 are snapped to exactly that.
    EXPECT_NEAR(gen.Cos(), c.cos, std::fabs(c.cos) == 1 || c.cos == 0 ? 0.0 : 1e-12) << c.angle;
    EXPECT_NEAR(gen.Sin(), c.sin, std::fabs(c.sin) == 1 || c.sin == 0 ? 0.0 : 1e-12) << c.angle;
    EXPECT_NEAR(gen.Slope(), c.slope, 1e-9) << c.angle;
  }
}

// Refusals come before any cell: not finite, spacing too small, damaged pieces, or a walk too large to count.
TEST(FillTilesTest, RefusedSlotsAndWalks) {
  const GBox2d unit(0, 0, 1, 1);
  const GPosition bad[] = {{0, 0, 0}, {kNaN, 0, 0}, {0, 1, 0}};
  const TileGenPiece damaged[] = {{3, bad, nullptr}}, pointless[] = {{3, nullptr, nullptr}};
  const struct {
    const char* name;
    TileGenLattice lattice;
    GBox2d region;
    GBox2d symbol;
    const TileGenPiece* pieces = nullptr;
    std::uint32_t count = 0;
  } cases[] = {
      {"NaN angle", Lattice(kNaN), unit, unit},
      {"infinite origin", Lattice(0, 1, 1, 0, 0, kInf), unit, unit},
      {"NaN shift", Lattice(0, 1, 1, kNaN), unit, unit},
      {"spacing 0", Lattice(0, 0, 1), unit, unit},
      {"spacing below 1.19e-7", Lattice(0, 1, -1e-7), unit, unit},
      {"region not finite", Lattice(0), GBox2d(0, 0, kInf, 1), unit},
      {"symbol NaN", Lattice(0), unit, GBox2d(0, kNaN, 1, 1)},
      {"piece with a NaN point", Lattice(0), unit, unit, damaged, 1},
      {"piece without points", Lattice(0), unit, unit, pointless, 1},
      {"no piece list", Lattice(0), unit, unit, nullptr, 2},
      {"walk above 2^31 cells", Lattice(0.3, 2e-7, 2e-7), GBox2d(0, 0, 1e3, 1e3), unit},
      {"walk beyond the doubles", Lattice(0, 1, 1), GBox2d(-1.7e308, 0, 1.7e308, 1), unit},
      {"indices beyond 2^53", Lattice(0, 1, 1), GBox2d(1e17, 0, 1e17 + 1e3, 1), unit},
  };
  for (const auto& c : cases) {
    ClearFillReports();
    TileGen gen;
    EXPECT_EQ(Ready(gen, c.lattice, c.region, c.symbol, c.pieces, c.count), kFillInvalidArg) << c.name;
    ASSERT_EQ(FillReports().size(), 1u) << c.name;
    EXPECT_EQ(FillReports()[0].source, "TILEGEN") << c.name;
    bool found = true;
    EXPECT_EQ(gen.NextTile(&found, nullptr), kFillOk) << c.name;
    EXPECT_FALSE(found) << c.name;
  }
}

// Axis-aligned lattices of spacing 2 by 1, row shift 0.5, column shift 0.25: where chosen cells sit at each of
// the four axis angles, with the overlap counts; column -3 is odd.
TEST(FillTilesTest, ShiftedCellsOfAxisLattices) {
  const struct {
    const char* name;
    double angle;
    GBox2d region;
    GBox2d symbol;
    std::int64_t column, row;
    double dx, dy;
    std::uint32_t overlapColumns, overlapRows;
  } cases[] = {
      {"0: odd column down", 0, GBox2d(0, 0, 4, 2), GBox2d(0, 0, 1, 0.5), 1, 0, 2, -0.25, 1, 1},
      {"0: odd row along", 0, GBox2d(0, 0, 4, 2), GBox2d(0, 0, 1, 0.5), 0, 1, 0.5, 1, 1, 1},
      {"pi: odd column up", kPi, GBox2d(-4, -2, 0, 0), GBox2d(0, 0, 1, 0.5), 1, 0, -2, 0.25, 1, 1},
      {"pi: odd row back", kPi, GBox2d(-4, -2, 0, 0), GBox2d(0, 0, 1, 0.5), 0, 1, -0.5, -1, 1, 1},
      {"pi/2: odd column left", kFillHalfPi, GBox2d(-2, -4, 2, 0), GBox2d(-4, 0, 0, 1), 1, 0, -0.25, -2, 3, 2},
      {"pi/2: odd row down", kFillHalfPi, GBox2d(-2, -4, 2, 0), GBox2d(-4, 0, 0, 1), 0, 1, 1, -0.5, 3, 2},
      {"3pi/2: odd column right", kFillThreeHalfPi, GBox2d(-2, 0, 2, 4), GBox2d(0, 0, 1, 1), 1, 0, 0.25, 2, 1, 2},
      {"3pi/2: odd row up", kFillThreeHalfPi, GBox2d(-2, 0, 2, 4), GBox2d(0, 0, 1, 1), 0, 1, -1, 0.5, 1, 2},
      {"negative odd start column", 0, GBox2d(-5, 0.2, -3.5, 0.8), GBox2d(0, 0, 0.5, 0.5), -3, 0, -6, -0.25, 1, 1},
  };
  for (const auto& c : cases) {
    TileGen gen;
    ASSERT_EQ(Ready(gen, Lattice(c.angle, 2, 1, 0.5, 0.25), c.region, c.symbol), kFillOk) << c.name;
    EXPECT_EQ(gen.OverlapColumns(), c.overlapColumns) << c.name;
    EXPECT_EQ(gen.OverlapRows(), c.overlapRows) << c.name;
    const auto cells = Walk(gen);
    const auto at = cells.find({c.column, c.row});
    ASSERT_NE(at, cells.end()) << c.name;
    EXPECT_NEAR(at->second.x, c.dx, 1e-12) << c.name;
    EXPECT_NEAR(at->second.y, c.dy, 1e-12) << c.name;
  }
}

struct Held {
  int holds = 0;
};

void Hold(void* style) { ++static_cast<Held*>(style)->holds; }

// One cell at (13, 20): pieces come out in order, translated, each style with one more hold; a piece larger than
// the buffer is skipped; a closed piece that encloses nothing has no elements.
TEST(FillTilesTest, PiecesHandedOutPerCell) {
  Held first, second;
  const GPosition square[] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 0}};
  const GPosition flat[] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {0, 0, 0}};
  const TileGenPiece closed[] = {{5, square, &first}, {4, flat, &second}};
  const TileGenPiece open[] = {{2, square, nullptr}, {3, square + 1, &second}};
  TileGen gen(Hold);
  ASSERT_EQ(gen.SetOpenPieces(open, 2, GBox2d(0, 0, 1, 1)), kFillOk);
  ASSERT_EQ(Ready(gen, Lattice(0, 3, 3, 0, 0, 10, 20), GBox2d(13.5, 20.5, 14, 21), GBox2d(0, 0, 1, 1), closed, 2),
            kFillOk);
  std::uint32_t most = 0;
  ASSERT_EQ(gen.BuildBoundaryElements(&most), kFillOk);
  EXPECT_EQ(most, 1u);
  bool found = false;
  ASSERT_EQ(gen.NextTile(&found, nullptr), kFillOk);
  ASSERT_TRUE(found);
  EXPECT_EQ(gen.Translation().x, 13.0);
  EXPECT_EQ(gen.Translation().y, 20.0);

  GPosition buffer[5];
  void* style = nullptr;
  std::uint32_t count = 0;
  const struct {
    bool restart, closed;
    std::uint32_t capacity;
    FillResult hr;
    bool found;
    std::uint32_t count;
    void* style;
    double x0, y0;
    bool stored = false;  // the untranslated twin
  } steps[] = {
      {true, false, 5, kFillOk, true, 2, nullptr, 13, 20},
      {false, false, 5, kFillOk, true, 3, &second, 14, 20},
      {false, false, 5, kFillOk, false, 0, nullptr, 0, 0},
      {true, false, 5, kFillOk, true, 2, nullptr, 13, 20},        // restart
      {true, true, 4, kFillInvalidArg, false, 0, nullptr, 0, 0},  // larger than the buffer: skipped
      {false, true, 4, kFillOk, true, 4, &second, 13, 20},
      {true, true, 5, kFillOk, true, 5, &first, 13, 20},
      {true, false, 5, kFillOk, true, 2, nullptr, 0, 0, true},  // the points as stored, the cell's move left out
  };
  for (const auto& s : steps) {
    const FillResult hr =
        s.stored   ? gen.NextOpenPieceAsStored(s.restart, buffer, s.capacity, &style, &count, &found)
        : s.closed ? gen.NextClosedPiece(s.restart, buffer, s.capacity, &style, &count, &found)
                   : gen.NextOpenPiece(s.restart, buffer, s.capacity, &style, &count, &found);
    EXPECT_EQ(hr, s.hr);
    EXPECT_EQ(found, s.found);
    EXPECT_EQ(count, s.count);
    EXPECT_EQ(style, s.style);
    if (s.found) {
      EXPECT_EQ(buffer[0].x, s.x0);
      EXPECT_EQ(buffer[0].y, s.y0);
    }
  }
  EXPECT_EQ(first.holds, 1);
  EXPECT_EQ(second.holds, 2);

  TileGenElement element[2];
  ASSERT_EQ(gen.NextClosedPieceElements(true, element, 2, &count, &style, &found), kFillOk);
  EXPECT_TRUE(found && count == 1 && style == &first && first.holds == 2);
  ASSERT_EQ(gen.NextClosedPieceElements(false, element, 2, &count, &style, &found), kFillOk);
  EXPECT_FALSE(found);
}

// Each allocation of the copies and the elements fails in turn: E_OUTOFMEMORY, reported; the generator is
// destroyed without a leak; then everything succeeds.
TEST(FillTilesTest, EveryAllocationFailureIsReported) {
  const GPosition star[] = {{0, 0, 0}, {2, 1, 0}, {4, 0, 0}, {3, 2, 0}, {4, 4, 0}, {2, 3, 0}, {0, 4, 0}};
  const TileGenPiece pieces[] = {{7, star, nullptr}, {7, star, nullptr}};
  for (int n = 1;; ++n) {
    ClearFillReports();
    FillTrapFlushPools();
    TileGen gen;
    FillAllocFailAt(n);
    std::uint32_t most = 0;
    FillResult hr = gen.SetClosedPieces(pieces, 2, GBox2d(0, 0, 4, 4));
    if (hr == kFillOk) hr = gen.SetOpenPieces(pieces, 2, GBox2d(0, 0, 4, 4));
    if (hr == kFillOk) hr = gen.BuildBoundaryElements(&most);
    const bool armed = FillAllocFailPending() > 0;
    FillAllocFailAt(0);
    if (armed) {
      ASSERT_EQ(hr, kFillOk) << "allocation " << n;
      EXPECT_EQ(most, 6u);
      break;
    }
    ASSERT_EQ(hr, kFillOutOfMemory) << "allocation " << n;
    ASSERT_FALSE(FillReports().empty());
    ASSERT_LT(n, 100);
  }
}

// Drawing one slot over a square with a hole: a sink failure, or a piece larger than the buffer, ends the walk
// with every hold given back; device units round the ends of cut segments.
TEST(FillTilesTest, LatticeDrawingEnds) {
  struct Sink : FillSymbolSink {
    int failAt = -1, calls = 0;
    std::vector<GPosition> ends;
    FillResult Answer() { return calls++ == failAt ? kFillOutOfMemory : kFillOk; }
    FillResult WholePiece(bool, const GPosition*, std::uint32_t, void*) override { return Answer(); }
    FillResult Segment(const GPosition& a, const GPosition& b, void*) override {
      ends.push_back(a);
      ends.push_back(b);
      return Answer();
    }
    FillResult Polygon(const GPosition*, std::uint32_t, void*) override { return Answer(); }
    void Release(void* style) override { --static_cast<Held*>(style)->holds; }
  };
  const Boundary boundary = SquareWithHole();
  FillTrap trap;
  ASSERT_EQ(trap.Build(boundary.data(), boundary.size()), kFillOk);
  const GPosition line[] = {{0.4, 0.4, 0}, {1.6, 0.4, 0}}, square[] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 0}};
  const struct {
    const char* name;
    int failAt;
    std::uint32_t mostPoints;
    bool round;
    FillResult hr;
  } cases[] = {
      {"every cell", -1, 4, false, kFillOk},
      {"device units", -1, 4, true, kFillOk},
      {"the sink fails later", 7, 4, false, kFillOutOfMemory},
      {"a piece larger than the buffer", -1, 1, false, kFillInvalidArg},
  };
  for (const auto& c : cases) {
    Held held;
    const TileGenPiece open[] = {{2, line, &held}}, closed[] = {{4, square, &held}};
    TileGen gen(Hold);
    ASSERT_EQ(gen.SetOpenPieces(open, 1, GBox2d(0, 0, 1.6, 1)), kFillOk);
    ASSERT_EQ(Ready(gen, Lattice(0, 2, 2, 0, 0, 0.5, -0.5), GBox2d(0, 0, 4, 4), GBox2d(0, 0, 1.6, 1), closed, 1),
              kFillOk);
    std::uint32_t most = 0;
    ASSERT_EQ(gen.BuildBoundaryElements(&most), kFillOk);
    Sink sink;
    sink.failAt = c.failAt;
    EXPECT_EQ(FillSymbolLattice(&gen, &trap, c.mostPoints, most, c.round, &sink), c.hr) << c.name;
    EXPECT_EQ(held.holds, 0) << c.name;
    if (c.failAt >= 0 || c.hr != kFillOk) {
      EXPECT_EQ(sink.calls, c.failAt + 1) << c.name;
    } else {
      EXPECT_GT(sink.calls, 9) << c.name;  // nine cells, most drawing both pieces
    }
    for (const GPosition& p : sink.ends) {
      EXPECT_TRUE(!c.round || (p.x == std::floor(p.x) && p.y == std::floor(p.y))) << c.name;
    }
  }
  EXPECT_EQ(FillSymbolLattice(nullptr, &trap, 4, 1, false, nullptr), kFillInvalidArg);
}

}  // namespace

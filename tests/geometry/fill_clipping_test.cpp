// Segments clipped against a decomposed boundary: the pieces a segment gives, the piece list across blocks and
// across calls, row lookup, the two modes of one trapezoid, and refused or failing clips.
#include <algorithm>
#include <cmath>
#include <cfloat>
#include <iomanip>
#include <limits>
#include <random>

#include "geometry/fill_test_support.h"
#include "tests/geometry/fill_fixtures.h"

namespace {

using Piece = FillClipSegment;

Boundary Hexagon() { return Boundary{{0, 0}, {4, 0}, {5, 2}, {4, 4}, {0, 4}, {-1, 2}}; }  // rows 0, 2, 4

// Clips one segment on a cleared list and reads every piece.
std::vector<Piece> Clip(FillTrap& trap, GPosition2d a, GPosition2d b) {
  trap.ClearSegments();
  std::uint32_t count = 0;
  GPosition piece[2] = {{0, 0, 7}, {0, 0, 8}};
  EXPECT_EQ(trap.ClipSegment(a, b, &count, piece), kFillOk);
  std::vector<Piece> pieces;
  if (count == 0) {
    EXPECT_FALSE(trap.NextSegment(piece));
    return pieces;
  }
  EXPECT_EQ(piece[0].z, 7.0);  // z is the caller's
  EXPECT_EQ(piece[1].z, 8.0);
  pieces.push_back({piece[0].x, piece[0].y, piece[1].x, piece[1].y});
  while (trap.NextSegment(piece)) pieces.push_back({piece[0].x, piece[0].y, piece[1].x, piece[1].y});
  EXPECT_EQ(pieces.size(), count);
  return pieces;
}

struct ClipCase {
  const char* name;
  Boundary boundary;
  GPosition2d a, b;
  std::vector<Piece> pieces;
};

TEST(FillClippingTest, PiecesOfASegment) {
  const ClipCase cases[] = {
      {"across the square", Boundary{{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {-1, 0.5}, {2, 0.5}, {{0, 0.5, 1, 0.5}}},
      {"across the square, right to left",
       Boundary{{0, 0}, {1, 0}, {1, 1}, {0, 1}},
       {2, 0.5},
       {-1, 0.5},
       {{0, 0.5, 1, 0.5}}},
      {"up through every row", Hexagon(), {2, 5}, {2, -1}, {{2, 0, 2, 4}}},
      {"slanted through every row", Hexagon(), {0.5, -1}, {3.5, 5}, {{1, 0, 3, 4}}},
      {"inside, over a row", Hexagon(), {2, 3}, {1, 1}, {{1, 1, 2, 3}}},
      {"zero length inside", Hexagon(), {1.25, 0.5}, {1.25, 0.5}, {{1.25, 0.5, 1.25, 0.5}}},
      // Shorter than the point tolerance, across a row: a stretch on each side of it, joined.
      {"shorter than the tolerance across a row",
       Hexagon(),
       {1, 2 + 1e-7},
       {1, 2 - 1e-7},
       {{1, 2 - 1e-7, 1, 2 + 1e-7}}},
      {"corner touch", Boundary{{0, 0}, {1, 0}, {1, 1}, {0, 1}}, {0.5, 1.5}, {1.5, 0.5}, {}},
      {"across a hole", SquareWithHole(), {-1, 2}, {5, 2}, {{0, 2, 1, 2}, {3, 2, 4, 2}}},
      // Two squares side by side: after the left trapezoid the row ends at the right one, which starts where the
      // segment ends; taken too, it would give the same piece again, not joined (it starts at the lower end).
      {"along the side two trapezoids of a row share",
       Boundary{{0, 0}, {1, 0}, {1, 1}, {0, 1}}.Loop({{1, 0}, {2, 0}, {2, 1}, {1, 1}}),
       {1, 0.8},
       {1, 0.2},
       {{1, 0.2, 1, 0.8}}},
      // With a gap before it, the trapezoid that starts where the segment ends is the one tested.
      {"along a left side with a gap before it",
       Boundary{{0, 0}, {1, 0}, {1, 1}, {0, 1}}.Loop({{2, 0}, {3, 0}, {3, 1}, {2, 1}}),
       {2, 0.2},
       {2, 0.8},
       {{2, 0.2, 2, 0.8}}},
      // Rising 1e-7 over its length, it meets the band above y = 0 only at its right end, but passes under the
      // square there closer than the tolerance: both sides are crossed, and the piece is taken.
      {"under a trapezoid closer than the tolerance",
       Boundary{{2, 0}, {3, 0}, {3, 1}, {2, 1}},
       {0, -1e-7},
       {10, 1e-12},
       {{2, -1e-7 + 0.2 * (1e-7 + 1e-12), 3, -1e-7 + 0.3 * (1e-7 + 1e-12)}}},
      // Far from the origin the tolerance grows with the coordinates: passing 2e-5 under a square 10 high at 1e7.
      {"under a trapezoid far from the origin closer than the tolerance there",
       Boundary{{1e7 + 2, 1e7}, {1e7 + 3, 1e7}, {1e7 + 3, 1e7 + 10}, {1e7 + 2, 1e7 + 10}},
       {1e7, 1e7 - 2e-5},
       {1e7 + 10, 1e7 + 1e-9},
       {{1e7 + 2, 9999999.9999840017, 1e7 + 3, 9999999.9999860004}}},
      {"above", Hexagon(), {-5, 10}, {5, 11}, {}},
      {"below", Hexagon(), {-5, -10}, {5, -1}, {}},
      {"beside", Hexagon(), {6, 0}, {7, 4}, {}},
      // Lying on a row, a segment is met by the band below it and the one above; each stretch comes once, and
      // where the bands' stretches differ, the pieces are the stretches of either, joined where they overlap.
      {"on an inner row", Hexagon(), {-2, 2}, {6, 2}, {{-1, 2, 5, 2}}},
      {"on the row of a vertex", Boundary{{0, 0}, {2, 1}, {0, 2}}, {-1, 1}, {3, 1}, {{0, 1, 2, 1}}},
      {"on a row, right to left, ending inside", Boundary{{0, 0}, {2, 1}, {0, 2}}, {1.5, 1}, {-1, 1}, {{0, 1, 1.5, 1}}},
      {"on a row the bands below and above cover differently",
       Boundary{{0, 0}, {2, 0}, {2, 1}, {3, 1}, {3, 2}, {1, 2}, {1, 1}, {0, 1}},
       {-1, 1},
       {4, 1},
       {{0, 1, 3, 1}}},
      {"on a row, the band above covering a gap of the band below",
       Boundary{{0, 0}, {1, 0}, {1, 1}, {0, 1}}.Loop({{2, 0}, {3, 0}, {3, 1}, {2, 1}}).Loop(
           {{0.5, 1}, {2.5, 1}, {2.5, 2}, {0.5, 2}}),
       {-1, 1},
       {4, 1},
       {{0, 1, 3, 1}}},
      // Along a hole's bottom the band below covers the hole's width, along its top the band above: both are
      // found, wherever the search for the lower end's row lands.
      {"along a hole's bottom", SquareWithHole(), {-1, 1}, {5, 1}, {{0, 1, 4, 1}}},
      {"along a hole's top, right to left", SquareWithHole(), {5, 3}, {-1, 3}, {{0, 3, 4, 3}}},
      {"on a row with a gap in both bands",
       Boundary{{0, 0}, {1, 0}, {1, 1}, {0, 1}}.Loop({{2, 0}, {3, 0}, {3, 2}, {2, 2}}),
       {-1, 1},
       {4, 1},
       {{0, 1, 1, 1}, {2, 1, 3, 1}}},
      // Two triangles sharing their long side: the segment along it lies in both.
      {"along a slanted side two loops share",
       Boundary{{0, 0}, {2, 0}, {0, 2}}.Loop({{2, 0}, {2, 2}, {0, 2}}),
       {0, 2},
       {2, 0},
       {{2, 0, 0, 2}}},
      {"horizontal loop only", Boundary{{0, 0}, {3, 0}}, {-1, 0}, {4, 0}, {}},
      // The segment's upper end is the bottom-left corner of a trapezoid whose left side, from (-3, -2) to
      // (-43 / 13, -22 / 13), runs on along the segment's line but for rounding: that side is no crossing.
      {"ending where a side runs on along it",
       Boundary{{-7, -4}, {1, 1}, {-4, 1}, {2, -4.0625}}.Loop({{-5, -2}, {-4, -1}, {0, -5}, {-1, -6}}),
       {-3, -2},
       {-1, -4},
       {{-1, -4, -3, -2}}},
      // Along a row at y = 1: the band below meets the segment where rounding puts one end an ulp under the row,
      // and its piece must still run from the lower end, or the band above's piece is joined to it backwards.
      {"along a row that edges cross",
       Boundary{{-6, -4}, {-5, 4}, {-4, -3}, {-3, 4}, {-2, -3}, {6.875, 6.875}, {6.875, -1}, {4, 1}, {-3, 1}, {4, 2},
                {-1, 4}},
       {-4.5, 1},
       {-9.5, 1},
       {{-5.375, 1, -32.0 / 7, 1}}},
      // The edge from (1, -3) to (-126976, -1) is all but level: its crossing with the segment lies 3e-6 of
      // its length past the corner of the triangle above it, and 6e-6 below that triangle, where the segment is
      // outside. Taken there, the triangle's piece ran from that crossing and covered the part outside.
      {"past the corner of a long level side",
       Boundary{{-14.75, -15}, {-15, -14.5}, {-3, -3}, {-1, -1}, {-3, 7}}.Loop(
           {{-1, -4.75}, {1, -3}, {-126976, -1}, {7, 1}}),
       {-7.9375, -3.6875},
       {-7.9375, -2.125},
       {{-7.9375, -3.6875, -7.9375, -3 + 2 * 8.9375 / 126977}, {-7.9375, 7 - 22 * 4.9375 / 11.75, -7.9375, -2.125}}},
  };
  for (const ClipCase& c : cases) {
    SCOPED_TRACE(c.name);
    FillTrap trap;
    ASSERT_EQ(trap.Build(c.boundary.data(), c.boundary.size()), kFillOk);
    const std::vector<Piece> pieces = Clip(trap, c.a, c.b);
    ASSERT_EQ(pieces.size(), c.pieces.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      EXPECT_NEAR(pieces[i].x1, c.pieces[i].x1, 1e-12);
      EXPECT_NEAR(pieces[i].y1, c.pieces[i].y1, 1e-12);
      EXPECT_NEAR(pieces[i].x2, c.pieces[i].x2, 1e-12);
      EXPECT_NEAR(pieces[i].y2, c.pieces[i].y2, 1e-12);
    }
  }
}

// A side strewn with vertices closer together than the point tolerance makes bands thinner than it: a segment
// across them keeps every band's stretch, however many there are, at any size; one wholly inside them is kept
// whole, and one that leans across them too.
TEST(FillClippingTest, BandsThinnerThanThePointToleranceLoseNothing) {
  const auto strewn = [](int vertices, double size, double step) {
    std::vector<std::pair<double, double>> loop{{0, 0}, {size, 0}};
    for (int i = 1; i <= vertices; ++i) loop.emplace_back(size, i * step);
    loop.emplace_back(size, size);
    loop.emplace_back(0, size);
    return Boundary().Loop(loop);
  };
  const struct {
    int vertices;
    double size, step;
    GPosition2d a, b;
    Piece piece;
  } cases[] = {
      {10, 1, 4.9e-7, {0.5, -0.001}, {0.5, 0.001}, {0.5, 0, 0.5, 0.001}},
      {104, 1, 4.9e-7, {0.5, 0.001}, {0.5, -0.001}, {0.5, 0, 0.5, 0.001}},
      {1000, 1, 4.9e-7, {0.5, -0.001}, {0.5, 0.001}, {0.5, 0, 0.5, 0.001}},
      {1000, 1, 4.9e-7, {0.25, -0.001}, {0.75, 0.001}, {0.5, 0, 0.75, 0.001}},
      {1000, 1, 4.9e-7, {0.5, 1e-7}, {0.5, 3e-4}, {0.5, 1e-7, 0.5, 3e-4}},
      {1000, 1e-3, 4.9e-10, {5e-4, -1e-6}, {5e-4, 1e-6}, {5e-4, 0, 5e-4, 1e-6}},
      {1000, 1e-3, 4.9e-10, {5e-4, 1e-10}, {5e-4, 4e-7}, {5e-4, 1e-10, 5e-4, 4e-7}},
      {1000, 1e-3, 4.9e-10, {4e-4, 1e-10}, {6e-4, 4e-7}, {4e-4, 1e-10, 6e-4, 4e-7}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.vertices << " vertices, size " << c.size << ", from " << c.a.x << ", "
                                    << c.a.y);
    const Boundary boundary = strewn(c.vertices, c.size, c.step);
    FillTrap trap;
    ASSERT_EQ(trap.Build(boundary.data(), boundary.size()), kFillOk);
    const std::vector<Piece> pieces = Clip(trap, c.a, c.b);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_NEAR(pieces[0].x1, c.piece.x1, 1e-15);
    EXPECT_NEAR(pieces[0].y1, c.piece.y1, 1e-15);
    EXPECT_NEAR(pieces[0].x2, c.piece.x2, 1e-15);
    EXPECT_NEAR(pieces[0].y2, c.piece.y2, 1e-15);
  }
}

// 130 separate squares in a row: the 129th piece starts a second block, and reading goes on into it.
TEST(FillClippingTest, PiecesContinueInASecondBlock) {
  Boundary squares;
  for (int k = 0; k < 130; ++k) squares.Loop({{2.0 * k, 0}, {2.0 * k + 1, 0}, {2.0 * k + 1, 1}, {2.0 * k, 1}});
  FillTrap trap;
  ASSERT_EQ(trap.Build(squares.data(), squares.size()), kFillOk);
  const std::vector<Piece> pieces = Clip(trap, {-1, 0.5}, {300, 0.5});
  ASSERT_EQ(pieces.size(), 130u);
  for (int k = 0; k < 130; ++k) {
    EXPECT_EQ(pieces[k].x1, 2.0 * k);
    EXPECT_EQ(pieces[k].x2, 2.0 * k + 1);
  }
  const FillSegmentBlock* first = trap.SegmentBlocks();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->count, 128u);
  ASSERT_NE(first->Next(), nullptr);
  EXPECT_EQ(first->Next()->count, 2u);

  // A shorter segment after clearing reuses the blocks and reads only its own pieces.
  EXPECT_EQ(Clip(trap, {-1, 0.5}, {4.5, 0.5}).size(), 3u);
  EXPECT_EQ(trap.SegmentBlocks()->Next()->count, 0u);
}

// Squares stacked two high share the row between them: a segment along it finds 260 pieces over three blocks and
// keeps 130, the blocks after the last one kept emptied. Kept after pieces already in the list, they start inside
// a block, and a segment after them continues the list.
TEST(FillClippingTest, PiecesKeptOnceAcrossBlocks) {
  Boundary squares;
  for (int k = 0; k < 130; ++k) {
    for (const double y : {0.0, 1.0}) {
      squares.Loop({{2.0 * k, y}, {2.0 * k + 1, y}, {2.0 * k + 1, y + 1}, {2.0 * k, y + 1}});
    }
  }
  FillTrap trap;
  ASSERT_EQ(trap.Build(squares.data(), squares.size()), kFillOk);
  const auto expectSquares = [&trap](std::uint32_t from, std::uint32_t count, double y) {
    std::vector<Piece> all;
    for (const FillSegmentBlock* b = trap.SegmentBlocks(); b; b = b->Next()) {
      for (std::uint32_t i = 0; i < b->count; ++i) all.push_back(b->records[i]);
    }
    ASSERT_EQ(all.size(), trap.SegmentCount());
    ASSERT_GE(all.size(), from + count);
    for (std::uint32_t k = 0; k < count; ++k) {
      EXPECT_EQ(all[from + k].x1, 2.0 * k) << k;
      EXPECT_EQ(all[from + k].x2, 2.0 * k + 1) << k;
      EXPECT_EQ(all[from + k].y1, y) << k;
    }
  };
  const std::vector<Piece> pieces = Clip(trap, {-1, 1}, {300, 1});
  ASSERT_EQ(pieces.size(), 130u);
  expectSquares(0, 130, 1);
  EXPECT_EQ(trap.SegmentBlocks()->Next()->count, 2u);
  ASSERT_NE(trap.SegmentBlocks()->Next()->Next(), nullptr);
  EXPECT_EQ(trap.SegmentBlocks()->Next()->Next()->count, 0u);

  trap.ClearSegments();
  std::uint32_t count = 0;
  GPosition piece[2];
  ASSERT_EQ(trap.ClipSegment({-1, 0.5}, {100, 0.5}, &count, piece), kFillOk);
  ASSERT_EQ(count, 50u);
  ASSERT_EQ(trap.ClipSegment({300, 1}, {-1, 1}, &count, piece), kFillOk);
  ASSERT_EQ(count, 180u);
  ASSERT_EQ(trap.ClipSegment({-1, 1.5}, {5.5, 1.5}, &count, piece), kFillOk);
  ASSERT_EQ(count, 183u);
  expectSquares(0, 50, 0.5);
  expectSquares(50, 130, 1);
  expectSquares(180, 3, 1.5);
}

// Without ClearSegments the list keeps what earlier segments left; a failing block answers E_OUTOFMEMORY and
// keeps the pieces stored so far.
TEST(FillClippingTest, ListAcrossCallsAndFailures) {
  const Boundary hole = SquareWithHole();
  FillTrap trap;
  ASSERT_EQ(trap.Build(hole.data(), hole.size()), kFillOk);
  std::uint32_t count = 0;
  GPosition piece[2];
  ASSERT_EQ(trap.ClipSegment({-1, 2}, {5, 2}, &count, piece), kFillOk);
  ASSERT_EQ(trap.ClipSegment({-1, 0.5}, {5, 0.5}, &count, piece), kFillOk);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(piece[0].x, 0.0);  // the list's first piece again
  EXPECT_EQ(piece[0].y, 2.0);

  ClearFillReports();
  FillTrapFlushPools();
  FillTrap fresh;
  ASSERT_EQ(fresh.Build(hole.data(), hole.size()), kFillOk);
  FillAllocFailAt(1);
  EXPECT_EQ(fresh.ClipSegment({-1, 2}, {5, 2}, &count, piece), kFillOutOfMemory);
  FillAllocFailAt(0);
  EXPECT_EQ(count, 0u);
  ASSERT_EQ(FillReports().size(), 1u);
  EXPECT_EQ(FillReports()[0].hr, kFillOutOfMemory);
  EXPECT_EQ(FillReports()[0].source, "FILLCLIP");

  // Sorting a segment's pieces along it takes room once: without it, E_OUTOFMEMORY, and the pieces found stay.
  ClearFillReports();
  EXPECT_EQ(Clip(fresh, {-1, 2}, {5, 2}).size(), 2u);  // its block is had
  fresh.ClearSegments();
  FillAllocFailAt(1);
  EXPECT_EQ(fresh.ClipSegment({-1, 3}, {5, 3}, &count, piece), kFillOutOfMemory);
  FillAllocFailAt(0);
  EXPECT_EQ(count, 3u);  // along the hole's top: two pieces from the band below, one from the band above
  ASSERT_EQ(FillReports().size(), 1u);
  EXPECT_EQ(FillReports()[0].source, "FILLCLIP");
  EXPECT_EQ(Clip(fresh, {-1, 3}, {5, 3}).size(), 1u);

  ClearFillReports();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(trap.ClipSegment({nan, 2}, {5, 2}, &count, piece), kFillInvalidArg);
  EXPECT_EQ(trap.ClipSegment({0, 2}, {5, inf}, &count, piece), kFillInvalidArg);
  EXPECT_EQ(trap.ClipSegment({0, 2}, {5, 2}, nullptr, piece), kFillInvalidArg);
  EXPECT_EQ(trap.ClipSegment({0, 2}, {5, 2}, &count, nullptr), kFillInvalidArg);
  EXPECT_EQ(FillReports().size(), 4u);
  EXPECT_FALSE(trap.NextSegment(nullptr));

  FillTrap empty;  // never built
  EXPECT_EQ(empty.ClipSegment({0, 2}, {5, 2}, &count, piece), kFillOk);
  EXPECT_EQ(count, 0u);
}

TEST(FillClippingTest, FindRow) {
  const Boundary hexagon = Hexagon();
  FillTrap trap;
  ASSERT_EQ(trap.Build(hexagon.data(), hexagon.size()), kFillOk);
  const FillTrapRow* rows = trap.Rows();
  const struct {
    double y;
    const FillTrapRow* row;
  } cases[] = {{-5, &rows[0]}, {0, &rows[0]}, {1, &rows[0]},  {2, &rows[0]},
               {3, &rows[1]},  {4, &rows[1]}, {4.5, nullptr}, {std::numeric_limits<double>::quiet_NaN(), nullptr}};
  for (const auto& c : cases) EXPECT_EQ(trap.FindRow(c.y), c.row) << c.y;

  const Boundary flat{{0, 0}, {3, 0}};
  FillTrap one;
  ASSERT_EQ(one.Build(flat.data(), flat.size()), kFillOk);
  ASSERT_EQ(one.RowCount(), 1u);
  EXPECT_EQ(one.FindRow(-1), one.Rows());
  EXPECT_EQ(one.FindRow(0.5), nullptr);
}

// The overlap mode takes a trapezoid's bottom and top only under a segment that lies on them.
TEST(FillClippingTest, OneTrapezoidInBothModes) {
  const Boundary square{{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  FillTrap trap;
  ASSERT_EQ(trap.Build(square.data(), square.size()), kFillOk);
  const FillTrapTrapezoid& t = *trap.Rows()[0].firstTrapezoid;
  const struct {
    GPosition2d a, b;
    FillClipMode mode;
    bool found;
    Piece piece;
  } cases[] = {
      {{0.5, 2}, {0.5, -1}, kFillClipCrossing, true, {0.5, 0, 0.5, 1}},
      {{0.5, 2}, {0.5, -1}, kFillClipOverlap, false, {}},
      {{2, 1}, {0.25, 1}, kFillClipOverlap, true, {0.25, 1, 1, 1}},
      {{-1, 0}, {0.5, 0}, kFillClipOverlap, true, {0, 0, 0.5, 0}},
      {{1, 1}, {1.5, 1}, kFillClipOverlap, false, {}},  // meets the top at its end only
      {{0.25, 0.25}, {0.75, 0.5}, kFillClipCrossing, true, {0.25, 0.25, 0.75, 0.5}},
  };
  for (const auto& c : cases) {
    FillClipDescriptor segment = FillClipDescriptor::FromEnds(c.a, c.b);
    GPosition2d points[2];
    ASSERT_EQ(FillTrap::ClipAgainstTrapezoid(segment, t, points, c.mode), c.found);
    if (!c.found) continue;
    EXPECT_EQ(points[0].x, c.piece.x1);
    EXPECT_EQ(points[0].y, c.piece.y1);
    EXPECT_EQ(points[1].x, c.piece.x2);
    EXPECT_EQ(points[1].y, c.piece.y2);
  }
  // Out past a corner within the parameter tolerance of both sides there: the two crossings lie 3e-6 apart, and
  // the piece still runs to the end inside.
  FillClipDescriptor past = FillClipDescriptor::FromEnds({0.5, 0.5}, {1.5, -0.5 + 4e-6});
  GPosition2d points[2];
  ASSERT_TRUE(FillTrap::ClipAgainstTrapezoid(past, t, points, kFillClipCrossing));
  EXPECT_NEAR(points[0].x, 1.0, 3e-6);
  EXPECT_NEAR(points[0].y, 0.0, 3e-6);
  EXPECT_EQ(points[1].x, 0.5);
  EXPECT_EQ(points[1].y, 0.5);
}

// The trapezoids' pieces, not joined, as the clipping finds them walking each row from its first trapezoid: a
// trapezoid is tested when the x ranges meet, and the row ends after a tested one at the next that does not start
// left of the segment's largest x, after an untested one at itself.
std::vector<Piece> WalkedPieces(const FillTrap& trap, GPosition2d a, GPosition2d b) {
  FillClipDescriptor segment = FillClipDescriptor::FromEnds(a, b);
  std::vector<Piece> pieces;
  const FillTrapRow* row = trap.FindRow(segment.lowerY);
  if (row && row > trap.Rows() && row->y == segment.lowerY) --row;  // the band below a lower end on a row too
  for (; row && row < trap.Rows() + trap.RowCount() - 1 && row->y <= segment.upperY; ++row) {
    for (const FillTrapTrapezoid* t = row->firstTrapezoid; t; t = t->next) {
      if (segment.xMax >= t->xMin && segment.xMin <= t->xMax) {
        GPosition2d p[2];
        if (FillTrap::ClipAgainstTrapezoid(segment, *t, p, kFillClipCrossing)) {
          pieces.push_back({p[0].x, p[0].y, p[1].x, p[1].y});
        }
        if (!t->next || !(t->next->xMin < segment.xMax)) break;
      } else if (!(t->xMin < segment.xMax)) {
        break;
      }
    }
  }
  return pieces;
}

// The stretches the pieces cover along the segment, in order from its lower end: pieces that overlap or meet
// within the join tolerance become one, from the nearest start to the furthest end. The walk hands out a
// stretch that two bands or two trapezoids share twice, the clipping once.
std::vector<Piece> Stretches(std::vector<Piece> pieces, GPosition2d a, GPosition2d b) {
  const FillClipDescriptor s = FillClipDescriptor::FromEnds(a, b);
  const double ex = s.upperX - s.lowerX, ey = s.upperY - s.lowerY;
  const auto along = [&](double x, double y) { return (x - s.lowerX) * ex + (y - s.lowerY) * ey; };
  std::stable_sort(pieces.begin(), pieces.end(), [&](const Piece& p, const Piece& q) {
    return along(p.x1, p.y1) < along(q.x1, q.y1);
  });
  std::vector<Piece> united;
  for (const Piece& p : pieces) {
    if (!united.empty()) {
      Piece& last = united.back();
      const bool meet =
          std::fabs(p.x1 - last.x2) <= kFillJoinTolerance && std::fabs(p.y1 - last.y2) <= kFillJoinTolerance;
      if (along(p.x1, p.y1) <= along(last.x2, last.y2) || meet) {
        if (along(p.x2, p.y2) > along(last.x2, last.y2)) last.x2 = p.x2, last.y2 = p.y2;
        continue;
      }
    }
    united.push_back(p);
  }
  return united;
}

// Boundaries of many kinds: stars with holes, loops that cross themselves and each other, rows shared by many
// vertices (points on a grid), collinear and level edges, far from the origin and tiny.
Boundary RandomBoundary(std::mt19937& random) {
  const auto uniform = [&random](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(random); };
  const auto pick = [&random](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  const bool grid = pick(0, 2) == 0;
  const auto point = [grid](double x, double y) {
    return grid ? std::make_pair(std::round(4 * x) / 4, std::round(4 * y) / 4) : std::make_pair(x, y);
  };
  const auto star = [&](double cx, double cy, double r0, double r1, int n) {
    std::vector<std::pair<double, double>> loop;
    for (int k = 0; k < n; ++k) {
      const double a = (k + uniform(0.05, 0.95)) * 2 * M_PI / n, r = uniform(r0, r1);
      loop.push_back(point(cx + r * std::cos(a), cy + r * std::sin(a)));
    }
    return loop;
  };
  std::vector<std::vector<std::pair<double, double>>> loops;
  switch (pick(0, 3)) {
    case 0:
      loops.push_back(star(0, 0, 3, 5, pick(3, 80)));
      for (const double c : {-1.2, 1.2}) loops.push_back(star(c, -c, 0.2, 0.6, pick(3, 12)));
      break;
    case 1:
      for (int n = pick(1, 3); n > 0; --n) {
        loops.emplace_back();
        for (int k = pick(3, 25); k > 0; --k) loops.back().push_back(point(uniform(-5, 5), uniform(-5, 5)));
      }
      break;
    case 2:
      loops.push_back(star(0, 0, 1, 5, pick(3, 100)));
      break;
    default:
      for (int n = pick(1, 6); n > 0; --n) {
        const double x = pick(-5, 5), y = pick(-5, 5), w = pick(1, 4), h = pick(1, 4);
        loops.push_back({{x, y}, {x + w / 2, y}, {x + w, y}, {x + w, y + h}, {x, y + h}});
      }
  }
  const double scales[][3] = {{1, 0, 0}, {1e-6, 0, 0}, {1e3, 1e7, -3e6}, {1, 1e5, 2e5}};
  const auto& s = scales[pick(0, 3)];
  Boundary boundary;
  for (const auto& loop : loops) {
    std::vector<std::pair<double, double>> placed;
    for (const auto& [x, y] : loop) placed.emplace_back(s[1] + s[0] * x, s[2] + s[0] * y);
    boundary.Loop(placed);
  }
  return boundary;
}

// Searching within a row for the trapezoids a segment passes gives, to the last bits, the stretches of the walk along
// the row: over random boundaries, and one whose second row rounding has tangled (its trapezoids' xMax falls by an ulp,
// so that row is walked), for segments across them, between vertices, along rows and columns through vertices, from a
// vertex, and of no length.
TEST(FillClippingTest, SearchWithinRowsGivesThePiecesOfTheWalk) {
  std::mt19937 random(2024);
  const auto uniform = [&random](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(random); };
  int compared = 0, found = 0;
  const auto compare = [&](const Boundary& boundary, int segments) {
    FillTrap trap;
    ASSERT_EQ(trap.Build(boundary.data(), boundary.size()), kFillOk);
    GBox2d range;
    FillBoundaryRange(boundary.size(), boundary.data(), &range);
    const double w = range.high.x - range.low.x, h = range.high.y - range.low.y;
    std::vector<GPosition> vertices;
    for (const GPosition& p : boundary.points) {
      if (p.x != kFillLoopSeparatorX) vertices.push_back(p);
    }
    for (int k = 0; k < segments; ++k) {
      GPosition2d a(range.low.x + uniform(-0.2, 1.2) * w, range.low.y + uniform(-0.2, 1.2) * h);
      GPosition2d b(range.low.x + uniform(-0.2, 1.2) * w, range.low.y + uniform(-0.2, 1.2) * h);
      const GPosition& v = vertices[std::uniform_int_distribution<std::size_t>(0, vertices.size() - 1)(random)];
      const GPosition& u = vertices[std::uniform_int_distribution<std::size_t>(0, vertices.size() - 1)(random)];
      switch (k % 6) {
        case 1: a = {v.x, v.y}, b = {u.x, u.y}; break;
        case 2: a = {range.low.x - w, v.y}, b = {range.high.x + w, v.y}; break;
        case 3: a = {v.x, range.low.y - h}, b = {v.x, range.high.y + h}; break;
        case 4: b = a; break;
        case 5: a = {v.x, v.y}; break;
        default: break;
      }
      const std::vector<Piece> expected = Stretches(WalkedPieces(trap, a, b), a, b);
      const std::vector<Piece> got = Stretches(Clip(trap, a, b), a, b);
      ASSERT_EQ(got.size(), expected.size()) << "segment " << k;
      for (std::size_t i = 0; i < got.size(); ++i) {
        // A stretch's end may come from two pieces that meet at it, computed a few ulps apart.
        const auto close = [](double u, double v) {
          return std::fabs(u - v) <= 8 * DBL_EPSILON * std::fmax(std::fabs(u), std::fabs(v));
        };
        ASSERT_TRUE(close(got[i].x1, expected[i].x1) && close(got[i].y1, expected[i].y1) &&
                    close(got[i].x2, expected[i].x2) && close(got[i].y2, expected[i].y2))
            << "segment " << k << ", piece " << i << std::setprecision(17) << ": " << got[i].x1 << " " << got[i].y1
            << " " << got[i].x2 << " " << got[i].y2 << " against " << expected[i].x1 << " " << expected[i].y1 << " "
            << expected[i].x2 << " " << expected[i].y2 << "; a " << a.x << " " << a.y << ", b " << b.x << " " << b.y;
      }
      ++compared;
      found += !got.empty();
    }
  };
  Boundary tangled;
  for (const auto& [x, y] : std::vector<std::pair<double, double>>{{-1.5, 2.5}, {-0.75, 1.25}, {-1, 1.5}, {-0.5, 1}, {-0.75, 1.25}}) {
    tangled.points.emplace_back(1e-6 * x, 1e-6 * y, 0.0);
  }
  {
    FillTrap trap;
    ASSERT_EQ(trap.Build(tangled.data(), tangled.size()), kFillOk);
    ASSERT_FALSE(trap.TrapezoidsOf(&trap.Rows()[1]).Ordered());
  }
  compare(tangled, 600);
  for (int shape = 0; shape < 80; ++shape) {
    SCOPED_TRACE(shape);
    compare(RandomBoundary(random), 60);
  }
  EXPECT_GT(found, compared / 3);
}

// A piece that starts within 5e-5 of the last one's end extends it, wherever the last one lies.
TEST(FillClippingTest, TouchingPiecesJoin) {
  FillTrap trap;
  ASSERT_EQ(trap.AddSegment({0, 0, 1, 0}), kFillOk);
  ASSERT_EQ(trap.AddSegment({1 + 4e-5, -4e-5, 2, 0}), kFillOk);
  EXPECT_EQ(trap.SegmentCount(), 1u);
  ASSERT_EQ(trap.AddSegment({2 + 6e-5, 0, 3, 0}), kFillOk);
  EXPECT_EQ(trap.SegmentCount(), 2u);
  for (int k = 0; k < 200; ++k) ASSERT_EQ(trap.AddSegment({10.0 + k, 0, 10.5 + k, 0}), kFillOk);
  ASSERT_EQ(trap.AddSegment({209.5, 0, 300, 0}), kFillOk);  // joins the last piece, in the second block
  EXPECT_EQ(trap.SegmentCount(), 202u);
  EXPECT_EQ(trap.SegmentBlocks()->Next()->records[202 - 128 - 1].x2, 300.0);
  EXPECT_EQ(trap.SegmentBlocks()->records[0].x2, 2.0);
}

}  // namespace

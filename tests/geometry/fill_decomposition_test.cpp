// The trapezoid decomposition: corners of the plain shapes, what it covers for holes, touching, crossing and
// overlapping loops, refused and damaged boundaries, the block chains and the pools they come from, and
// allocation failures at every step.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <ostream>
#include <string>
#include <vector>

#include "geometry/fill_test_support.h"
#include "tests/geometry/fill_fixtures.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Corner {
  double x, y;
};

void ExpectCorners(const FillTrapTrapezoid& t, Corner bl, Corner br, Corner tr, Corner tl) {
  const Corner expected[4] = {bl, br, tr, tl};
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(t.corners[k]->x, expected[k].x) << "corner " << k;
    EXPECT_EQ(t.corners[k]->y, expected[k].y) << "corner " << k;
  }
}

TEST(FillDecompositionTest, UnitSquareIsOneTrapezoidOnTwoRows) {
  const Boundary square{{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  FillTrap trap;
  FillTrapRowsInfo info{};
  ASSERT_EQ(trap.BuildRows(square.data(), square.size(), &info), kFillOk);
  EXPECT_EQ(trap.RowCount(), 2u);
  EXPECT_EQ(info.trapezoidCount, 1u);
  EXPECT_EQ(info.lastRowY, 1.0);
  EXPECT_EQ(info.rows, trap.Rows());
  EXPECT_EQ(trap.CrossingNodeCount(), 0u);  // the horizontal edges cross no row
  const FillTrapTrapezoid& t = *info.rows[0].firstTrapezoid;
  ExpectCorners(t, {0, 0}, {1, 0}, {1, 1}, {0, 1});
  EXPECT_EQ(t.xMin, 0.0);
  EXPECT_EQ(t.xMax, 1.0);
  EXPECT_EQ(t.yBottom, 0.0);
  EXPECT_EQ(t.yTop, 1.0);
  EXPECT_EQ(info.rows[1].firstTrapezoid, nullptr);
}

TEST(FillDecompositionTest, DiamondBottomIsASinglePointTrapezoid) {
  const Boundary diamond{{0, -1}, {1, 0}, {0, 1}, {-1, 0}};
  FillTrap trap;
  ASSERT_EQ(trap.Build(diamond.data(), diamond.size()), kFillOk);
  ASSERT_EQ(trap.RowCount(), 3u);
  const FillTrapTrapezoid& bottom = *trap.Rows()[0].firstTrapezoid;
  EXPECT_EQ(bottom.corners[FillTrapTrapezoid::kBottomLeft], bottom.corners[FillTrapTrapezoid::kBottomRight]);
  ExpectCorners(bottom, {0, -1}, {0, -1}, {1, 0}, {-1, 0});
  EXPECT_EQ(bottom.next, nullptr);
  ExpectCorners(*trap.Rows()[1].firstTrapezoid, {-1, 0}, {1, 0}, {0, 1}, {0, 1});
}

// A loop closed with its first point, or with points repeated in a row, decomposes as the plain loop.
TEST(FillDecompositionTest, ClosingAndRepeatedPointsAreDropped) {
  const Boundary plain{{0, 0}, {4, 0}, {4, 3}, {2, 5}, {0, 3}};
  const Boundary repeated{{0, 0}, {0, 0}, {4, 0}, {4, 3}, {4, 3}, {4, 3}, {2, 5}, {0, 3}, {0, 0}};
  FillTrap a, b;
  ASSERT_EQ(a.Build(plain.data(), plain.size()), kFillOk);
  ASSERT_EQ(b.Build(repeated.data(), repeated.size()), kFillOk);
  EXPECT_EQ(b.VertexCount(), 5u);
  const auto ta = Trapezoids(a), tb = Trapezoids(b);
  ASSERT_EQ(ta.size(), tb.size());
  for (std::size_t i = 0; i < ta.size(); ++i) {
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(ta[i]->corners[k]->x, tb[i]->corners[k]->x);
      EXPECT_EQ(ta[i]->corners[k]->y, tb[i]->corners[k]->y);
    }
  }
}

// What the trapezoids cover, for shapes whose rows hold more than one loop's vertices: the area, every
// trapezoid well formed, and the even-odd inside of the loops at sample points.
struct CoverCase {
  const char* name;
  Boundary boundary;
  double area;
};

void PrintTo(const CoverCase& c, std::ostream* os) { *os << c.name; }

class FillCoverTest : public ::testing::TestWithParam<CoverCase> {};

TEST_P(FillCoverTest, TrapezoidsCoverTheEvenOddInside) {
  const CoverCase& c = GetParam();
  FillTrap trap;
  ASSERT_EQ(trap.Build(c.boundary.data(), c.boundary.size()), kFillOk);
  for (const FillTrapTrapezoid* t : Trapezoids(trap)) EXPECT_TRUE(WellFormed(*t));
  EXPECT_NEAR(TotalArea(trap), c.area, 1e-12 * (1 + c.area));
  for (double x = -0.9573; x < 12; x += 0.2311) {
    for (double y = -0.9127; y < 12; y += 0.1937) {
      EXPECT_EQ(InsideTrapezoids(trap, x, y), InsideLoops(c.boundary, x, y)) << "at " << x << ", " << y;
    }
  }
}

// A rectangle with two diamond holes whose bottoms share a row with the bottom of a separate island.
Boundary HolesAndIslandOnOneRow() {
  Boundary b{{0, 0}, {8, 0}, {8, 6}, {0, 6}};
  b.Loop({{2, 2}, {3, 3}, {2, 4}, {1, 3}});
  b.Loop({{5, 2}, {6, 3}, {5, 4}, {4, 3}});
  return b.Loop({{10, 2}, {11, 3}, {10, 4}, {9, 3}});
}

Boundary OverlappingSquares() {
  Boundary b{{0, 0}, {2, 0}, {2, 2}, {0, 2}};
  return b.Loop({{1, 1}, {3, 1}, {3, 3}, {1, 3}});
}

Boundary Pentagram() {
  std::vector<std::pair<double, double>> star;
  for (int k = 0; k < 5; ++k) {
    const double a = M_PI / 2 + k * 4 * M_PI / 5;
    star.emplace_back(5 + 4 * std::cos(a), 5 + 4 * std::sin(a));
  }
  Boundary b;
  return b.Loop(star);
}

// The pentagram's five points, without the pentagon they enclose twice.
double PentagramEvenOddArea() {
  const double r = 4, inner = r * std::cos(2 * M_PI / 5) / std::cos(M_PI / 5);
  const double pentagon = 2.5 * inner * inner * std::sin(2 * M_PI / 5);
  const double star = 5 * r * inner * std::sin(M_PI / 5);  // the ten-sided outline
  return star - pentagon;
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, FillCoverTest,
    ::testing::Values(CoverCase{"hole", SquareWithHole(), 12},
                      CoverCase{"holes_and_island", HolesAndIslandOnOneRow(), 48 - 2 - 2 + 2},
                      CoverCase{"corner_touch", Boundary{{0, 0}, {2, 0}, {2, 2}, {0, 2}}.Loop({{2, 2}, {4, 2}, {4, 4}, {2, 4}}),
                                8},
                      CoverCase{"vertex_on_edge",
                                Boundary{{0, 0}, {4, 0}, {4, 4}, {0, 4}}.Loop({{4, 2}, {6, 1}, {6, 3}}), 18},
                      // The rectangle's right edge runs through the triangle's bottom, between its two edges.
                      CoverCase{"edge_through_minimum",
                                Boundary{{0, 0}, {2, 0}, {2, 5}, {0, 5}}.Loop({{2, 2}, {3, 4}, {1, 4}}), 10},
                      CoverCase{"bowtie", Boundary{{0, 0}, {2, 2}, {2, 0}, {0, 2}}, 2},
                      CoverCase{"overlapping", OverlappingSquares(), 6},
                      CoverCase{"pentagram", Pentagram(), PentagramEvenOddArea()},
                      CoverCase{"two_vertex_loop", Boundary{{0, 0}, {1, 0}, {1, 1}, {0, 1}}.Loop({{5, 0}, {5, 3}}),
                                1},
                      // Three edges cross at (-16/91, -349/91), each pair's crossing a little apart in rounding;
                      // the even-odd area by slabs between the crossings, in exact fractions.
                      CoverCase{"three_edges_through_one_point",
                                Boundary{{-3.5, 1}, {2, -7}, {-2, -4}, {0, -6}, {-1, 6.3125}, {-1, -7.75}, {0, -3}},
                                11574461113.0 / 1457320480.0},
                      // The small triangle's top edge, all but level, starts 8.8e-9 left of the large one's steep
                      // edge and crosses it 3.3e-16 higher, which rounds onto the row of its start; the area by
                      // exact slabs.
                      CoverCase{"crossing_an_ulp_above_a_row",
                                Boundary{{3.2e-8, -7.75}, {-0.99999992, 4.999999984}, {-8, -5.4375}}.Loop(
                                    {{-0.99999992, 4.999999872}, {1.9999999049999999, 4.9999999839999996},
                                     {1.999999984, 2.00000008}}),
                                54.34374978900001},
                      // The edge from (7.9375001, 7.93750005) to (-6.000000064, 7.9375001) is all but level and
                      // crosses both edges into (-5.874999873, 7.9375001) at one rounded height 7e-10 below it;
                      // its node there must be theirs, or the band below twists.
                      CoverCase{"one_edge_crossing_two_at_one_height",
                                Boundary{{7.9374998720000001, -8.0000001160000007},
                                         {-6.000000064, 7.9375001269999998},
                                         {7.9375001269999998, 7.9375000480000004},
                                         {-4.999999936, -4.0000000480000004},
                                         {-3.000000016, 4},
                                         {-2.999999984, -1.000000016},
                                         {5.0000000460000003, -7.999999968},
                                         {-0.99999993600000003, 4.0000001269999998},
                                         {-5.8749998730000002, 7.9375001269999998},
                                         {-6.1874998730000002, -5.7499998730000002},
                                         {7.9374999519999996, 0.99999987199999996},
                                         {-8.0000001279999999, -8.0000001279999999}},
                                128.14065882733811},
                      // The triangle's left edge runs to x -2e13, so its far top takes the node 4.6 left of its
                      // bottom as one point with it; the two edges cross 2.3e-12 up, below the bowtie's crossing,
                      // whose row brings the tops near again. The area by slabs.
                      CoverCase{"far_top_beside_a_nearby_node",
                                Boundary{{0, 0}, {-2e13, 10}, {1, 10}}
                                    .Loop({{-5, -1}, {-1, 10}, {5, -1}})
                                    .Loop({{2, 0}, {12, 10}, {2, 10}, {2.02, 0}}),
                                100000000000049.73}),
    [](const ::testing::TestParamInfo<CoverCase>& info) { return std::string(info.param.name); });

// Every edge of the band gets a node on the row at the crossing; the two crossing edges share theirs.
TEST(FillDecompositionTest, CrossingEdgesGetARowAtTheCrossing) {
  const Boundary bowtie{{0, 0}, {2, 2}, {2, 0}, {0, 2}};
  FillTrap trap;
  ASSERT_EQ(trap.Build(bowtie.data(), bowtie.size()), kFillOk);
  ASSERT_EQ(trap.RowCount(), 3u);
  const FillTrapRow& middle = trap.Rows()[1];
  EXPECT_EQ(middle.y, 1.0);
  std::vector<double> xs;
  for (const FillTrapNode* n = middle.first; n; n = n->rowNext) xs.push_back(n->x);
  EXPECT_EQ(xs, (std::vector<double>{0, 1, 1, 2}));
  EXPECT_EQ(middle.count, 4u);
  EXPECT_EQ(trap.CrossingNodeCount(), 4u);
  EXPECT_EQ(trap.TrapezoidCount(), 4u);  // four triangles
}

struct RefusedCase {
  const char* name;
  std::vector<GPosition> points;
  FillResult hr;
};

// Nothing to decompose is the caller's to report; damaged input is reported here.
TEST(FillDecompositionTest, RefusedBoundaries) {
  const GPosition sep(kFillLoopSeparatorX, 0, 0);
  const RefusedCase cases[] = {
      {"none", {}, kFillFail},
      {"separators", {sep, sep, sep}, kFillFail},
      {"one point", {{1, 2, 0}}, kFillFail},
      {"one repeated point", {{1, 2, 0}, {1, 2, 0}, {1, 2, 0}}, kFillFail},
      {"one point per loop", {{1, 2, 0}, sep, {3, 4, 0}}, kFillFail},
      {"NaN x", {{0, 0, 0}, {kNaN, 0, 0}, {1, 1, 0}}, kFillInvalidArg},
      {"infinite y", {{0, 0, 0}, {1, kInf, 0}, {1, 1, 0}}, kFillInvalidArg},
      {"largest x", {{0, 0, 0}, {DBL_MAX, 0, 0}, {1, 1, 0}}, kFillOk},
      {"extent beyond the doubles", {{-DBL_MAX / 2 - 1e300, 0, 0}, {DBL_MAX, 0, 0}, {0, 1, 0}}, kFillInvalidArg},
      {"separator with NaN y", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {kFillLoopSeparatorX, kNaN, 0}}, kFillOk},
      {"NaN z is ignored", {{0, 0, kNaN}, {1, 0, 0}, {0, 1, 0}}, kFillOk},
  };
  for (const RefusedCase& c : cases) {
    ClearFillReports();
    FillTrap trap;
    FillTrapRowsInfo info{};
    const auto count = static_cast<std::uint32_t>(c.points.size());
    EXPECT_EQ(trap.BuildRows(c.points.data(), count, &info), c.hr) << c.name;
    const bool reported = !FillReports().empty();
    EXPECT_EQ(reported, c.hr == kFillInvalidArg) << c.name;
    if (reported) {
      EXPECT_EQ(FillReports()[0].source, "FILLTRAP") << c.name;
    }
  }
  FillTrap trap;
  EXPECT_EQ(trap.Build(nullptr, 3), kFillInvalidArg);
}

// Every way through the pools and blocks: a comb whose teeth end at distinct heights has many rows, each
// crossed by many edges.
Boundary Comb(int teeth) {
  std::vector<std::pair<double, double>> loop{{0, 0}, {2.0 * teeth, 0}};
  for (int i = teeth - 1; i >= 0; --i) {
    loop.emplace_back(2.0 * i + 2, 1 + 0.01 * i);
    loop.emplace_back(2.0 * i + 1, 1 + 0.01 * i + 5);
    loop.emplace_back(2.0 * i, 1 + 0.01 * i);
  }
  Boundary b;
  return b.Loop(loop);
}

int ChainLength(const FillBlockHeader* block) {
  int n = 0;
  for (; block; block = block->next) ++n;
  return n;
}

TEST(FillDecompositionTest, BlocksChainAndReturnToBoundedPools) {
  FillTrapFlushPools();
  const Boundary comb = Comb(60);
  {
    auto trap = std::make_unique<FillTrap>();
    ASSERT_EQ(trap->Build(comb.data(), comb.size()), kFillOk);
    EXPECT_GT(trap->CrossingNodeCount(), 5u * FillNodeBlock::kCapacity);
    EXPECT_GT(trap->TrapezoidCount(), FillTrapezoidBlock::kCapacity);
    const int nodeBlocks = ChainLength(trap->NodeBlocks());
    EXPECT_EQ(nodeBlocks, static_cast<int>((trap->CrossingNodeCount() + 127) / 128));
    EXPECT_EQ(ChainLength(trap->TrapezoidBlocks()), static_cast<int>((trap->TrapezoidCount() + 511) / 512));
    EXPECT_NEAR(TotalArea(*trap), LoopArea(comb), 1e-9);
  }
  EXPECT_EQ(FillTrapPooledBlocks(FillBlockKind::kNode), 5);
  EXPECT_EQ(FillTrapPooledBlocks(FillBlockKind::kTrapezoid), 5);
  {
    // A small boundary takes its blocks from the pools.
    const Boundary diamond{{0, -1}, {1, 0}, {0, 1}, {-1, 0}};
    FillTrap trap;
    ASSERT_EQ(trap.Build(diamond.data(), diamond.size()), kFillOk);
    EXPECT_EQ(FillTrapPooledBlocks(FillBlockKind::kTrapezoid), 4);
  }
  EXPECT_EQ(FillTrapPooledBlocks(FillBlockKind::kTrapezoid), 5);
  FillTrapFlushPools();
  for (FillBlockKind kind : {FillBlockKind::kTrapezoid, FillBlockKind::kNode, FillBlockKind::kSegment}) {
    EXPECT_EQ(FillTrapPooledBlocks(kind), 0);
  }
}

// The elements of a row in ascending x; a crossing node goes before every element of its x already in the row,
// so that among equal x the edges split last come first, then the row's vertices. Row y = 1 holds the vertex
// (2, 1) and the crossings of the vertical edges at x = 2 of three loops, split in the order of their lower
// vertices (y, then x, then input order); each element is named by the input place of the vertex its edge rises
// from, or its own.
TEST(FillDecompositionTest, RowElementsInAscendingXWithLaterArrivalsFirst) {
  Boundary b{{0, 0}, {2, 0}, {2, 2}, {0, 2}};  // 0..3: right side x = 2 from (2, 0)
  b.Loop({{2, 0}, {4, 0}, {4, 2}, {2, 2}});     // 4..7: left side x = 2 from (2, 0)
  b.Loop({{2, 1}, {3, 3}, {1, 3}});             // 8..10: the vertex (2, 1)
  b.Loop({{2, -1}, {2.5, -1}, {2, 3}});         // 11..13: x = 2 from (2, -1), and a slanted side from (2.5, -1)
  FillTrap trap;
  ASSERT_EQ(trap.Build(b.data(), b.size()), kFillOk);
  const FillTrapRow* row = trap.FindRow(1);
  ASSERT_NE(row, nullptr);
  ASSERT_EQ(row->y, 1.0);
  const FillTrapNode* vertices = trap.Vertices();
  const auto isVertex = [&](const FillTrapNode* n) { return n >= vertices && n < vertices + trap.VertexCount(); };
  std::vector<std::uint32_t> names;
  std::vector<double> xs;
  for (const FillTrapNode* n = row->first; n; n = n->rowNext) {
    const FillTrapNode* from = n;
    while (!isVertex(from)) from = from->lowNeighbour;
    names.push_back(from->index);
    xs.push_back(n->x);
    if (n->rowNext) {
      EXPECT_EQ(n->rowNext->rowPrev, n);
    }
  }
  EXPECT_EQ(names, (std::vector<std::uint32_t>{0, 4, 1, 11, 8, 12, 5}));
  EXPECT_EQ(xs, (std::vector<double>{0, 2, 2, 2, 2, 2.25, 4}));
  EXPECT_EQ(row->count, 7u);
  EXPECT_EQ(row->last->x, 4.0);
}

// The two edges that rise from one vertex, where they pass a row at the same x: the high one (split last) comes
// first, and each keeps the links it had. An element is named by the input places of the vertices its edge runs
// between, each with the link (l, h) of that vertex which leads along the edge; a vertex by its own place. A loop
// of two vertices has both links of each vertex on the other one: its low edge keeps the low links at both ends.
TEST(FillDecompositionTest, EdgesOfOneVertexKeepTheirLinksAndPlaces) {
  const auto offset = [](Boundary b, double d) {
    for (GPosition& p : b.points) {
      if (p.x != kFillLoopSeparatorX) p.x += d, p.y += d;
    }
    return b;
  };
  // Two collinear edges of (0, 0), and the one from (1, 2) on with them; a triangle adds the rows y = 1 and 3.
  Boundary collinear{{0, 0}, {2, 4}, {1, 2}};
  collinear.Loop({{5, 1}, {6, 1}, {5.5, 3}});
  Boundary twoVertices{{0, 0}, {2, 4}};
  twoVertices.Loop({{5, 1}, {6, 1}, {5.5, 3}});
  const struct {
    const char* name;
    Boundary boundary;
    double rowY;  // from the first row's y
    std::vector<std::string> elements;
  } cases[] = {
      {"collinear edges", collinear, 1, {"0h-1l", "0l-2l", "v3", "v4"}},
      {"collinear edges, the higher row", collinear, 3, {"2h-1h", "0h-1l", "v5"}},
      {"collinear edges far out", offset(collinear, 1048576), 1, {"0h-1l", "0l-2l", "v3", "v4"}},
      {"loop of two vertices", twoVertices, 1, {"0h-1h", "0l-1l", "v2", "v3"}},
      {"loop of two vertices, the higher row", twoVertices, 3, {"0h-1h", "0l-1l", "v4"}},
      {"loop of two vertices far out", offset(twoVertices, -1048576), 3, {"0h-1h", "0l-1l", "v4"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FillTrap trap;
    ASSERT_EQ(trap.Build(c.boundary.data(), c.boundary.size()), kFillOk);
    const FillTrapRow* row = trap.Rows();
    while (row < trap.Rows() + trap.RowCount() && row->y != trap.Rows()[0].y + c.rowY) ++row;
    ASSERT_LT(row, trap.Rows() + trap.RowCount());
    const FillTrapNode* vertices = trap.Vertices();
    const auto isVertex = [&](const FillTrapNode* n) { return n >= vertices && n < vertices + trap.VertexCount(); };
    // The end of the edge through n, and the link of that end which leads to the node next to it.
    const auto end = [&](const FillTrapNode* n, bool down) {
      const FillTrapNode* before = n;
      const FillTrapNode* at = down ? n->lowNeighbour : n->highNeighbour;
      while (!isVertex(at)) {
        EXPECT_EQ(down ? at->highNeighbour : at->lowNeighbour, before);
        before = at;
        at = down ? at->lowNeighbour : at->highNeighbour;
      }
      const char* link = at->lowNeighbour == before ? "l" : (at->highNeighbour == before ? "h" : "?");
      return std::to_string(at->index) + link;
    };
    std::vector<std::string> names;
    for (const FillTrapNode* n = row->first; n; n = n->rowNext) {
      names.push_back(isVertex(n) ? "v" + std::to_string(n->index) : end(n, true) + "-" + end(n, false));
    }
    EXPECT_EQ(names, c.elements);
    EXPECT_EQ(row->count, c.elements.size());
  }
}

// A second build on the same object answers as a first one does.
TEST(FillDecompositionTest, RebuildStartsOver) {
  const Boundary comb = Comb(8);
  const Boundary hole = SquareWithHole();
  FillTrap fresh, reused;
  ASSERT_EQ(fresh.Build(hole.data(), hole.size()), kFillOk);
  ASSERT_EQ(reused.Build(comb.data(), comb.size()), kFillOk);
  const GPosition none[1] = {{kFillLoopSeparatorX, 0, 0}};
  EXPECT_EQ(reused.Build(none, 1), kFillFail);
  EXPECT_EQ(reused.RowCount(), 0u);
  ASSERT_EQ(reused.Build(hole.data(), hole.size()), kFillOk);
  EXPECT_EQ(reused.TrapezoidCount(), fresh.TrapezoidCount());
  EXPECT_EQ(reused.CrossingNodeCount(), fresh.CrossingNodeCount());
  EXPECT_EQ(TotalArea(reused), TotalArea(fresh));
}

// Each allocation of a build fails in turn: the build answers E_OUTOFMEMORY, reported, leaves no rows or
// trapezoids for a clipping to find, and the object is destroyed without a leak; then the build succeeds. On both
// roads of the block supply: pools empty (every block allocated) and pools full (a chain's first blocks taken
// from its pool); the boundary needs slabs for its nodes and its trapezoids, and rows beyond the vertex rows.
TEST(FillDecompositionTest, EveryAllocationFailureIsReportedAndReleased) {
  Boundary crossing = Comb(40);
  crossing.Loop({{-1, 0.5}, {81, 3}, {81, 0.4}, {-1, 3.2}});  // crosses every tooth
  for (const bool poolsFull : {false, true}) {
    for (int n = 1;; ++n) {
      ClearFillReports();
      FillTrapFlushPools();
      if (poolsFull) {
        FillTrap filler;
        ASSERT_EQ(filler.Build(crossing.data(), crossing.size()), kFillOk);
      }
      FillTrap trap;
      FillAllocFailAt(n);
      const FillResult hr = trap.Build(crossing.data(), crossing.size());
      const bool armed = FillAllocFailPending() > 0;
      FillAllocFailAt(0);
      if (armed) {
        ASSERT_EQ(hr, kFillOk) << "allocation " << n;
        ASSERT_GT(n, 5);
        ASSERT_GT(ChainLength(trap.NodeBlocks()), 6);
        ASSERT_GT(ChainLength(trap.TrapezoidBlocks()), 6);
        ASSERT_GT(trap.RowCount(), crossing.size());
        break;
      }
      ASSERT_EQ(hr, kFillOutOfMemory) << "allocation " << n << (poolsFull ? ", pools full" : "");
      ASSERT_FALSE(FillReports().empty());
      EXPECT_EQ(FillReports()[0].source, "FILLTRAP");
      EXPECT_EQ(trap.RowCount() + trap.TrapezoidCount(), 0u) << "allocation " << n;
      std::uint32_t pieces = 99;
      GPosition piece[2];
      EXPECT_EQ(trap.ClipSegment({-1, 1}, {82, 2}, &pieces, piece), kFillOk);
      EXPECT_EQ(pieces, 0u) << "allocation " << n;
      ASSERT_LT(n, 200);
    }
  }
  FillTrapFlushPools();
}

// A build takes each chain's first five blocks one at a time from the kind's pool (or the allocator) and cuts the
// rest from slabs of its own, freed whole with it: so a pool holds afterwards what it would had every block come
// and gone one at a time: what it held, less what the build took from it, plus the blocks given back while it has
// room for them (five at most). Builds of none, a few and many blocks of each kind (clipped pieces too), after
// pools left holding none, a few or five; and two decompositions alive at once.
TEST(FillDecompositionTest, PoolsHoldAfterABuildWhatBlocksOneAtATimeWouldLeave) {
  struct Use {
    const char* name;
    Boundary boundary;
    int lines;  // clipped across the teeth into one list, 60 pieces each
  };
  const std::vector<Use> uses = {{"diamond", Boundary{{0, -1}, {1, 0}, {0, 1}, {-1, 0}}, 0},
                                 {"comb of 8", Comb(8), 3},
                                 {"comb of 60", Comb(60), 15}};
  const FillBlockKind kinds[3] = {FillBlockKind::kTrapezoid, FillBlockKind::kNode, FillBlockKind::kSegment};
  const auto use = [](FillTrap& trap, const Use& u) {
    ASSERT_EQ(trap.Build(u.boundary.data(), u.boundary.size()), kFillOk);
    for (int k = 0; k < u.lines; ++k) {
      std::uint32_t count = 0;
      GPosition piece[2];
      const double y = 1.5 + 0.25 * k;
      ASSERT_EQ(trap.ClipSegment({-1, y}, {200, y}, &count, piece), kFillOk);
    }
  };
  for (const Use& before : uses) {
    for (const Use& now : uses) {
      FillTrapFlushPools();
      {
        FillTrap earlier;
        use(earlier, before);
      }
      int held[3], taken[3];
      for (int k = 0; k < 3; ++k) held[k] = FillTrapPooledBlocks(kinds[k]);
      {
        FillTrap trap;
        use(trap, now);
        taken[0] = ChainLength(trap.TrapezoidBlocks());
        taken[1] = ChainLength(trap.NodeBlocks());
        taken[2] = ChainLength(trap.SegmentBlocks());
      }
      for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(FillTrapPooledBlocks(kinds[k]), std::min(5, held[k] - std::min(held[k], taken[k]) + taken[k]))
            << now.name << " after " << before.name << ", kind " << k << ": held " << held[k] << ", used "
            << taken[k];
      }
    }
  }
  // The largest use reaches past five blocks of every kind, into the slabs.
  {
    FillTrap trap;
    use(trap, uses.back());
    EXPECT_GT(ChainLength(trap.TrapezoidBlocks()), 5);
    EXPECT_GT(ChainLength(trap.NodeBlocks()), 5);
    EXPECT_GT(ChainLength(trap.SegmentBlocks()), 5);
  }
  FillTrapFlushPools();
  {
    auto first = std::make_unique<FillTrap>();
    auto second = std::make_unique<FillTrap>();
    use(*first, uses.back());
    use(*second, uses[1]);
    first.reset();
    for (FillBlockKind kind : kinds) EXPECT_EQ(FillTrapPooledBlocks(kind), 5);
  }
  for (FillBlockKind kind : kinds) EXPECT_EQ(FillTrapPooledBlocks(kind), 5);
  FillTrapFlushPools();
}

// Loops folded over themselves cross in nearly every band, so most rows are made at crossings, as their bands are
// cut, and the row table grows past the vertex rows while it is read. Rows ascend; each row's trapezoids stand on
// it and reach the next row, and are the ones its place among all trapezoids names, in the same order; the
// trapezoids cover the even-odd inside.
TEST(FillDecompositionTest, FoldedLoopsAreCutRowByRow) {
  std::mt19937 rng(77);
  for (const int n : {8, 40, 400, 2000}) {
    Boundary b;
    b.Loop(FoldedLoop(rng, n, 10));
    FillTrap trap;
    ASSERT_EQ(trap.Build(b.data(), b.size()), kFillOk) << n;
    const FillTrapRow* rows = trap.Rows();
    EXPECT_GT(trap.RowCount(), b.size()) << n;
    std::uint32_t trapezoids = 0;
    for (std::uint32_t r = 0; r + 1 < trap.RowCount(); ++r) {
      ASSERT_LT(rows[r].y, rows[r + 1].y) << n << ", row " << r;
      const FillTrap::RowTrapezoids placed = trap.TrapezoidsOf(&rows[r]);
      std::uint32_t k = 0;
      for (const FillTrapTrapezoid* t = rows[r].firstTrapezoid; t; t = t->next, ++k) {
        ASSERT_TRUE(WellFormed(*t)) << n << ", row " << r;
        ASSERT_EQ(t->yBottom, rows[r].y);
        ASSERT_EQ(t->yTop, rows[r + 1].y);
        ASSERT_LT(k, placed.Count()) << n << ", row " << r;
        ASSERT_EQ(&placed[k], t) << n << ", row " << r << ", trapezoid " << k;
      }
      ASSERT_EQ(k, placed.Count()) << n << ", row " << r;
      trapezoids += k;
    }
    EXPECT_EQ(rows[trap.RowCount() - 1].firstTrapezoid, nullptr);
    EXPECT_EQ(trapezoids, trap.TrapezoidCount());
    for (double x = -0.0431; x < 1.05; x += 0.0977) {
      for (double y = -0.0713; y < 10.1; y += 0.1093) {
        EXPECT_EQ(InsideTrapezoids(trap, x, y), InsideLoops(b, x, y)) << n << " at " << x << ", " << y;
      }
    }
  }
}

}  // namespace

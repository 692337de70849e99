// Hatching against peers on random input: every stepped line's pieces inside polygons with holes against GEOS's
// intersection of that line with the polygon, and the outcode clip of dashed pieces against AGG's Liang-Barsky
// clip_line_segment.
#include <agg_clip_liang_barsky.h>
#include <gtest/gtest.h>

#include <map>

#include "tests/geometry/oracle/fill_peers.h"

namespace {

using namespace fillpeers;

// Plain and dashed families (no clip box) of any direction, the plain directions included, either sign of
// spacing: per line, the joined pieces are GEOS's pieces with the gaps the clipping closes (5e-5) closed; in
// all, the lengths agree to 1e-9.
TEST(HatchLinesOracleTest, PiecesMatchGeosIntersectionOfTheSteppedLines) {
  Geos geos;
  Random random(2718);
  int lines = 0, skipped = 0;
  for (int round = 0; round < 60; ++round) {
    const std::vector<Loop> loops = PolygonWithHoles(random);
    const Boundary boundary = ToBoundary(loops);
    FillTrap trap;
    ASSERT_EQ(trap.Build(boundary.data(), boundary.size()), kFillOk);
    GEOSGeometry* polygon = geos.Polygon(loops);
    const double plainAngles[] = {0, M_PI / 2, M_PI, 3 * M_PI / 2};
    const double angle = round % 5 == 0 ? plainAngles[round / 5 % 4] : random.Uniform(0, 2 * M_PI);
    const double spacing = random.Uniform(0.15, 0.8) * (round % 3 == 0 ? -1 : 1);
    const FillHatchFamily family{angle,      spacing, random.Uniform(-1, 1), random.Uniform(-5, 5),
                                 random.Uniform(-5, 5), round % 2 == 1, nullptr};
    GBox2d range;
    FillBoundaryRange(boundary.size(), boundary.data(), &range);

    // Ours, by the position of the line each piece lies on.
    std::uint32_t walked = 0;
    std::map<double, std::vector<Span>> ours = HatchPiecesByLine(trap, range, family, &walked);

    // The lines the family steps, one by one.
    FillLineState state = FillHatchLines::Stepping(range, family);
    ASSERT_EQ(state.lineCount, walked);
    double mineTotal = 0, theirsTotal = 0;
    for (std::uint32_t i = 0; i < state.lineCount; ++i) {
      if (!state.NextLine()) continue;
      const Span line{state.startX, state.startY, state.endX, state.endY};
      ++lines;
      if (!ClearOfTolerances(loops, line)) {
        ++skipped;
        continue;
      }
      const std::vector<Span> mine = Joined(ours[state.position], 1e-9);
      const std::vector<Span> theirs = Joined(GeosPieces(geos, polygon, line), kFillJoinTolerance);
      ASSERT_EQ(mine.size(), theirs.size()) << "round " << round << ", line " << i;
      for (std::size_t k = 0; k < mine.size(); ++k) {
        EXPECT_NEAR(mine[k].x1, theirs[k].x1, 1e-9) << "round " << round << ", line " << i;
        EXPECT_NEAR(mine[k].y1, theirs[k].y1, 1e-9) << "round " << round << ", line " << i;
        EXPECT_NEAR(mine[k].x2, theirs[k].x2, 1e-9) << "round " << round << ", line " << i;
        EXPECT_NEAR(mine[k].y2, theirs[k].y2, 1e-9) << "round " << round << ", line " << i;
        mineTotal += Length(mine[k]);
        theirsTotal += Length(theirs[k]);
      }
    }
    EXPECT_NEAR(mineTotal, theirsTotal, 1e-9 * theirsTotal) << "round " << round;
    geos.Destroy(polygon);
  }
  EXPECT_GT(lines, 1000);
  EXPECT_LT(skipped, lines / 10);
}

// Where AGG keeps a piece inside the box, ours is that piece; where AGG drops it, ours is dropped or shrinks
// to a point (AGG drops those); AGG's answer for a segment that passes a corner outside the box lies outside
// it, and ours drops that segment.
TEST(HatchLinesOracleTest, OutcodeClipMatchesLiangBarsky) {
  Random random(1729);
  int kept = 0;
  for (int n = 0; n < 20000; ++n) {
    const double x0 = random.Uniform(-3, 3), y0 = random.Uniform(-3, 3);
    const GBox2d box(x0, y0, x0 + random.Uniform(0.1, 4), y0 + random.Uniform(0.1, 4));
    double p[4];
    for (double& v : p) v = random.Uniform(-8, 8);
    switch (n % 4) {  // axis-parallel segments and ends on the sides, besides general ones
      case 1:
        p[3] = p[1];
        break;
      case 2:
        p[2] = p[0];
        break;
      case 3:
        p[0] = box.low.x;
        p[3] = box.high.y;
        break;
      default:
        break;
    }
    GPosition2d a(p[0], p[1]), b(p[2], p[3]);
    const bool ours = FillClipToBox(a, b, box);
    double x1 = p[0], y1 = p[1], x2 = p[2], y2 = p[3];
    const unsigned theirs =
        agg::clip_line_segment(&x1, &y1, &x2, &y2, agg::rect_d(box.low.x, box.low.y, box.high.x, box.high.y));
    const auto inBox = [&](double x, double y) {
      return x >= box.low.x - 1e-9 && x <= box.high.x + 1e-9 && y >= box.low.y - 1e-9 && y <= box.high.y + 1e-9;
    };
    if (theirs >= 4) {
      EXPECT_TRUE(!ours || std::hypot(b.x - a.x, b.y - a.y) < 1e-9) << "segment " << n;
    } else if (!inBox(x1, y1) || !inBox(x2, y2)) {
      EXPECT_FALSE(ours) << "segment " << n;
    } else {
      ASSERT_TRUE(ours) << "segment " << n;
      EXPECT_NEAR(a.x, x1, 1e-9) << "segment " << n;
      EXPECT_NEAR(a.y, y1, 1e-9) << "segment " << n;
      EXPECT_NEAR(b.x, x2, 1e-9) << "segment " << n;
      EXPECT_NEAR(b.y, y2, 1e-9) << "segment " << n;
      ++kept;
    }
  }
  EXPECT_GT(kept, 2000);
}

}  // namespace

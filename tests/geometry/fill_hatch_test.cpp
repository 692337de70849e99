// Hatching one family: what the walk refuses and the state it leaves, and how dashed pieces are turned, cut to
// the clip box and given their phases. The oracle tests check the pieces against GEOS, the hatch fill's tests
// the lines it draws and a clipping failure half-way.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/geometry/fill_fixtures.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Piece {
  double x1, y1, x2, y2;
  double phase = 0;
};

Boundary Rectangle() { return Boundary{{0, 0}, {4, 0}, {4, 3}, {0, 3}}; }

FillHatchFamily Plain(double angle, double spacing, double shift = 0, double ox = 0, double oy = 0) {
  return {angle, spacing, shift, ox, oy, false, nullptr};
}

FillHatchFamily Dashed(double angle, double spacing, double shift = 0, const GBox2d* clip = nullptr) {
  return {angle, spacing, shift, 0, 0, true, clip};
}

// Every piece the walk hands out; an unexpected answer fails the test.
std::vector<Piece> Walk(FillHatchLines& walk) {
  std::vector<Piece> pieces;
  FillHatchPiece piece{};
  bool found = true;
  while (found) {
    EXPECT_EQ(walk.Next(&piece, &found), kFillOk);
    if (found) pieces.push_back({piece.start.x, piece.start.y, piece.end.x, piece.end.y, piece.phase});
    if (pieces.size() > 10000) break;
  }
  return pieces;
}

std::vector<Piece> Hatch(const Boundary& boundary, const FillHatchFamily& family) {
  FillTrap trap;
  EXPECT_EQ(trap.Build(boundary.data(), boundary.size()), kFillOk);
  GBox2d range;
  FillBoundaryRange(boundary.size(), boundary.data(), &range);
  FillHatchLines walk;
  EXPECT_EQ(walk.Start(&trap, range, family), kFillOk);
  return Walk(walk);
}

void ExpectPieces(const std::vector<Piece>& got, const std::vector<Piece>& want, const std::string& name) {
  ASSERT_EQ(got.size(), want.size()) << name;
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_NEAR(got[i].x1, want[i].x1, 1e-12) << name << ", piece " << i;
    EXPECT_NEAR(got[i].y1, want[i].y1, 1e-12) << name << ", piece " << i;
    EXPECT_NEAR(got[i].x2, want[i].x2, 1e-12) << name << ", piece " << i;
    EXPECT_NEAR(got[i].y2, want[i].y2, 1e-12) << name << ", piece " << i;
  }
}

// One walk object through every row: a refusal, or an empty range, ends what an earlier family left.
TEST(FillHatchTest, FamiliesThatAreNotWalked) {
  const Boundary rectangle = Rectangle();
  FillTrap trap, unbuilt;
  ASSERT_EQ(trap.Build(rectangle.data(), rectangle.size()), kFillOk);
  const GBox2d range(0, 0, 4, 3);
  const GBox2d badClip(0, 0, kNaN, 3);
  const struct {
    const char* name;
    FillTrap* trap;
    GBox2d range;
    FillHatchFamily family;
    FillResult result;
  } cases[] = {
      {"no decomposition", nullptr, range, Plain(0, 1), kFillInvalidArg},
      {"a decomposition never built", &unbuilt, range, Plain(0, 1), kFillInvalidArg},
      {"spacing 0", &trap, range, Plain(0, 0), kFillInvalidArg},
      {"angle NaN", &trap, range, Plain(kNaN, 1), kFillInvalidArg},
      {"spacing infinite", &trap, range, Plain(0, kInf), kFillInvalidArg},
      {"shift NaN", &trap, range, Plain(0.4, 1, kNaN), kFillInvalidArg},
      {"origin x infinite", &trap, range, Plain(0.4, 1, 0, -kInf), kFillInvalidArg},
      {"origin y NaN", &trap, range, Plain(0.4, 1, 0, 0, kNaN), kFillInvalidArg},
      {"range NaN", &trap, GBox2d(0, kNaN, 4, 3), Plain(0, 1), kFillInvalidArg},
      {"more lines than a count holds", &trap, GBox2d(0, 0, 4, 1e4), Plain(0, 1e-12), kFillInvalidArg},
      {"a dashed family's clip box NaN", &trap, range, Dashed(0, 1, 0, &badClip), kFillInvalidArg},
      {"empty range", &trap, GBox2d(0, 3, 4, 0), Plain(0, 1), kFillOk},
      {"the empty box", &trap, GBox2d(), Plain(0.7, 1), kFillOk},
  };
  FillHatchLines walk;
  FillHatchPiece piece{};
  bool found = false;
  EXPECT_EQ(walk.Next(&piece, &found), kFillOk);  // never started
  EXPECT_FALSE(found);
  for (const auto& c : cases) {
    ASSERT_EQ(walk.Start(&trap, range, Plain(0, 1)), kFillOk);
    ASSERT_EQ(walk.Next(&piece, &found), kFillOk);
    ASSERT_TRUE(found);
    EXPECT_EQ(walk.Start(c.trap, c.range, c.family), c.result) << c.name;
    EXPECT_EQ(walk.LineCount(), 0u) << c.name;
    EXPECT_TRUE(Walk(walk).empty()) << c.name;
  }
  // A plain family takes no notice of a clip box.
  EXPECT_EQ(walk.Start(&trap, range, {0, 1, 0, 0, 0, false, &badClip}), kFillOk);
  EXPECT_EQ(Walk(walk).size(), 4u);
  EXPECT_EQ(walk.Next(nullptr, &found), kFillInvalidArg);
  EXPECT_EQ(walk.Next(&piece, nullptr), kFillInvalidArg);
}

// A dashed piece runs with the family's quadrant: 0 rising x, 1 falling y, 2 falling x, 3 rising y; a fourth
// quadrant (an angle just short of 2pi) and plain pieces keep the clipping's order, lower end first.
TEST(FillHatchTest, DashedPiecesRunWithTheQuadrant) {
  using Rule = bool (*)(const Piece&);
  const Rule risingX = [](const Piece& p) { return p.x1 < p.x2; };
  const Rule fallingY = [](const Piece& p) { return p.y1 > p.y2; };
  const Rule fallingX = [](const Piece& p) { return p.x1 > p.x2; };
  const Rule risingY = [](const Piece& p) { return p.y1 < p.y2; };
  const Rule lowerFirst = [](const Piece& p) { return p.y1 < p.y2 || (p.y1 == p.y2 && p.x1 < p.x2); };
  const struct {
    double angle;
    bool dashed;
    Rule rule;
  } cases[] = {
      {0, true, risingX},          {0.3, true, risingX},        {M_PI / 2, true, fallingY},
      {2.0, true, fallingY},       {M_PI, true, fallingX},      {3.5, true, fallingX},
      {3 * M_PI / 2, true, risingY}, {5.5, true, risingY},      {2 * M_PI - 1e-9, true, lowerFirst},
      {M_PI, false, lowerFirst},   {2.0, false, lowerFirst},
  };
  for (const auto& c : cases) {
    FillHatchFamily family = Dashed(c.angle, 0.7, 0.2);
    family.dashed = c.dashed;
    const std::vector<Piece> pieces = Hatch(SquareWithHole(), family);
    EXPECT_GT(pieces.size(), 5u) << c.angle;
    for (const Piece& p : pieces) EXPECT_TRUE(c.rule(p)) << c.angle << ": " << p.x1 << "," << p.y1 << " to " << p.x2
                                                         << "," << p.y2;
  }
}

// A dashed piece's phase is the distance to its end from its start, when the line's pattern reference point
// lies strictly on the end's side of the start (along x, or along y for vertical pieces), else from that
// point; a clip box cuts the turned piece and drops what lies beyond it. Plain pieces have no phase.
TEST(FillHatchTest, DashedPiecesPhasesAndClipBox) {
  const GBox2d inner(1, 0.5, 3, 2.5), apart(10, 10, 11, 11), corner(-1, -1, 0, 0);
  const struct {
    const char* name;
    FillHatchFamily family;
    std::vector<Piece> pieces;
  } cases[] = {
      {"reference behind the start", Dashed(0, 1, 0.5), {{0, 0, 4, 0, 4}, {0, 1, 4, 1, 4.5}, {0, 2, 4, 2, 5},
                                                          {0, 3, 4, 3, 5.5}}},
      {"reference ahead of the start", Dashed(0, 1, -0.5), {{0, 0, 4, 0, 4}, {0, 1, 4, 1, 4}, {0, 2, 4, 2, 4},
                                                            {0, 3, 4, 3, 4}}},
      {"falling x", Dashed(M_PI, 1, 0.5), {{4, 0, 0, 0, 4}, {4, 1, 0, 1, 4}, {4, 2, 0, 2, 4}, {4, 3, 0, 3, 4}}},
      {"vertical, measured along y", Dashed(M_PI / 2, 1, 4), {{0, 3, 0, 0, 3}, {1, 3, 1, 0, 4}, {2, 3, 2, 0, 8},
                                                              {3, 3, 3, 0, 12}, {4, 3, 4, 0, 16}}},
      {"plain", Plain(0, 1, 0.5), {{0, 0, 4, 0, 0}, {0, 1, 4, 1, 0}, {0, 2, 4, 2, 0}, {0, 3, 4, 3, 0}}},
      {"cut at both ends, lines beyond the box dropped", Dashed(0, 1, 0, &inner), {{1, 1, 3, 1, 3}, {1, 2, 3, 2, 3}}},
      {"falling x, cut the same", Dashed(M_PI, 1, 0, &inner), {{3, 1, 1, 1, 2}, {3, 2, 1, 2, 2}}},
      {"a box apart", Dashed(0, 1, 0, &apart), {}},
      {"a box on the corner", Dashed(0, 1, 0, &corner), {{0, 0, 0, 0, 0}}},
  };
  for (const auto& c : cases) {
    const std::vector<Piece> pieces = Hatch(Rectangle(), c.family);
    ExpectPieces(pieces, c.pieces, c.name);
    for (std::size_t i = 0; i < pieces.size() && i < c.pieces.size(); ++i) {
      EXPECT_NEAR(pieces[i].phase, c.pieces[i].phase, 1e-12) << c.name << ", piece " << i;
    }
  }
}

// Level lines a quarter apart over a diamond of whole-number corners: the line through its left and right corners
// lies on a row of the decomposition and is handed out once, and the lines' length is the diamond's.
TEST(FillHatchTest, LevelLinesOnRowsComeOnce) {
  const Boundary diamond{{1, 0}, {2, 1}, {1, 2}, {0, 1}};
  for (const bool dashed : {false, true}) {
    FillHatchFamily family = Plain(0, 0.25);
    family.dashed = dashed;
    const std::vector<Piece> pieces = Hatch(diamond, family);
    double total = 0;
    int throughCorners = 0;
    for (const Piece& p : pieces) {
      total += std::hypot(p.x2 - p.x1, p.y2 - p.y1);
      throughCorners += p.y1 == 1 && p.y2 == 1;
    }
    EXPECT_NEAR(total, 8, 1e-12) << (dashed ? "dashed" : "plain");
    EXPECT_EQ(throughCorners, 1) << (dashed ? "dashed" : "plain");
  }
}

}  // namespace

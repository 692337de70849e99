// Stepping a family of parallel lines: the direction classes, the lines of the plain directions, families
// that cannot be stepped, lines that only graze the grown range, and, for general directions, every line that
// meets the range against a brute-force count.
#include <cmath>
#include <limits>
#include <random>
#include <set>

#include "tests/geometry/fill_fixtures.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

FillLineState Family(double angle, double spacing, double shift = 0) {
  FillLineState state{};
  state.angle = angle;
  state.spacing = spacing;
  state.shift = shift;
  return state;
}

TEST(FillLinesTest, DirectionClasses) {
  const double e = 1e-7;
  const struct {
    double angle;
    std::uint32_t mode;
  } cases[] = {
      {0, FillLineState::kHorizontal},           {-e, FillLineState::kHorizontal},
      {M_PI + e, FillLineState::kHorizontal},    {M_PI / 2, FillLineState::kVertical},
      {M_PI / 2 - e, FillLineState::kVertical},  {3 * M_PI / 2 + e, FillLineState::kVertical},
      {2 * M_PI, FillLineState::kGeneral},       {-M_PI / 2, FillLineState::kGeneral},
      {3e-7, FillLineState::kGeneral},           {0.3, FillLineState::kGeneral},
      {kNaN, FillLineState::kGeneral},
  };
  for (const auto& c : cases) {
    FillLineState state = Family(c.angle, 2, 0.5);
    state.ClassifyAngle();
    EXPECT_EQ(state.mode, c.mode) << c.angle;
  }
  // The pattern reference moves across the lines by the spacing and along them by the shift.
  FillLineState horizontal = Family(0, 2, 0.5), vertical = Family(M_PI / 2, 2, 0.5), general = Family(0.3, 2, 0.5);
  horizontal.ClassifyAngle();
  vertical.ClassifyAngle();
  general.ClassifyAngle();
  EXPECT_EQ(horizontal.stepX, -0.5);
  EXPECT_EQ(horizontal.stepY, 2.0);
  EXPECT_EQ(vertical.stepX, 2.0);
  EXPECT_EQ(vertical.stepY, 0.5);
  EXPECT_NEAR(std::hypot(general.stepX, general.stepY), std::hypot(2, 0.5), 1e-12);
  EXPECT_NEAR(general.slope, std::tan(-0.3), 1e-12);
}

TEST(FillLinesTest, HorizontalLinesFromTheOrigin) {
  FillLineState state = Family(0, 1);
  state.yMin = 2.5;
  state.yMax = 4.5;
  state.xMin = -1;
  state.xMax = 3;
  state.ClassifyAngle();
  state.FirstLine();
  ASSERT_EQ(state.lineCount, 4u);
  for (double y : {2.0, 3.0, 4.0, 5.0}) {
    ASSERT_TRUE(state.NextLine());
    EXPECT_EQ(state.startY, y);
    EXPECT_EQ(state.endY, y);
    EXPECT_EQ(state.startX, -2.0);
    EXPECT_EQ(state.endX, 4.0);
  }
}

TEST(FillLinesTest, VerticalLinesStepTheirReference) {
  FillLineState state = Family(3 * M_PI / 2, 0.5, 0.25);
  state.originX = 0.1;
  state.originY = 7;
  state.xMin = 1;
  state.xMax = 2;
  state.yMin = -1;
  state.yMax = 1;
  state.ClassifyAngle();
  state.FirstLine();
  EXPECT_EQ(state.lineCount, 4u);  // x 0.6 to 2.1, the last within the grown range
  ASSERT_TRUE(state.NextLine());
  EXPECT_DOUBLE_EQ(state.startX, 0.6);
  EXPECT_EQ(state.startY, -1.5);
  EXPECT_EQ(state.endY, 1.5);
  EXPECT_DOUBLE_EQ(state.referenceX, 0.6);  // origin plus line number times the step
  EXPECT_DOUBLE_EQ(state.referenceY, 7.25);
}

// A family that cannot be stepped has no lines instead of a count made from infinities.
TEST(FillLinesTest, FamiliesWithoutLines) {
  const struct {
    const char* name;
    double angle, spacing, yMax, originY;
  } cases[] = {
      {"spacing 0", 0, 0, 1, 0},
      {"NaN spacing", 0, kNaN, 1, 0},
      {"infinite spacing", 0.4, kInf, 1, 0},
      {"NaN angle", kNaN, 1, 1, 0},
      {"infinite range", 0, 1, kInf, 0},
      {"NaN origin", 0.4, 1, 1, kNaN},
      {"more than 2^32 lines", 0, 1e-6, 1e4, 0},
      {"general, more than 2^32 lines", 0.4, 1e-6, 1e4, 0},
      // Its remainder by 2pi gives another direction than its cosine: the lines would not lie the spacing apart.
      {"an angle of 1e22 radians", 1e22, 1, 1, 0},
  };
  for (const auto& c : cases) {
    FillLineState state = Family(c.angle, c.spacing);
    state.yMax = c.yMax;
    state.xMax = 1;
    state.originY = c.originY;
    state.ClassifyAngle();
    state.FirstLine();
    EXPECT_EQ(state.lineCount, 0u) << c.name;
  }
  FillLineState many = Family(0, 0.5);  // above the largest 32-bit signed count, and still stepped
  many.yMax = 1e9;
  many.ClassifyAngle();
  many.FirstLine();
  EXPECT_EQ(many.lineCount, 2000000002u);
}

// A general line through a corner of the grown range, and no other point of it, has one end only.
TEST(FillLinesTest, LineGrazingACornerIsNotValid) {
  FillLineState state = Family(M_PI / 4, 1);
  state.xMax = 2;
  state.yMax = 2;
  state.ClassifyAngle();
  state.FirstLine();
  ASSERT_EQ(state.mode, FillLineState::kGeneral);
  ASSERT_NEAR(state.slope, -1, 1e-15);
  // y = -x + c through the grown range's low corner (-1, -1).
  state.previousPosition = -2 - state.positionStep;
  EXPECT_FALSE(state.NextLine());
  EXPECT_TRUE(state.NextLine());
}

// For general directions every line of the family that meets the range is stepped, each once, with its pattern
// reference point on it, for angles of any turn.
TEST(FillLinesTest, GeneralLinesCoverTheRange) {
  std::mt19937 rng(77);
  std::uniform_real_distribution<double> unit(0, 1);
  for (int round = 0; round < 400; ++round) {
    FillLineState state = Family(unit(rng) * 4 * M_PI - M_PI, 0.05 + unit(rng), unit(rng));
    state.originX = unit(rng) * 20 - 10;
    state.originY = unit(rng) * 20 - 10;
    state.xMin = unit(rng) * 10 - 5;
    state.yMin = unit(rng) * 10 - 5;
    state.xMax = state.xMin + unit(rng) * 6;
    state.yMax = state.yMin + unit(rng) * 6;
    state.ClassifyAngle();
    if (state.mode != FillLineState::kGeneral) continue;
    state.FirstLine();
    const double c0 = state.originY - state.slope * state.originX;
    std::set<long long> stepped;
    for (std::uint32_t i = 0; i < state.lineCount; ++i) {
      if (!state.NextLine()) continue;
      const long long j = std::llround((state.position - c0) / state.positionStep);
      EXPECT_TRUE(stepped.insert(j).second) << "line " << j << " twice";
      EXPECT_NEAR(state.startY, state.slope * state.startX + state.position, 1e-9 * (1 + std::fabs(state.startY)));
      const double onLine = state.slope * state.referenceX + state.position;
      EXPECT_NEAR(state.referenceY, onLine, 1e-9 * (1 + std::fabs(onLine) + std::fabs(state.referenceY)))
          << "reference of line " << j << ", angle " << state.angle;
    }
    // Brute force: y = slope x + c meets the range when c lies between the corners' intercepts.
    double cLow = HUGE_VAL, cHigh = -HUGE_VAL;
    for (double x : {state.xMin, state.xMax}) {
      for (double y : {state.yMin, state.yMax}) {
        cLow = std::fmin(cLow, y - state.slope * x);
        cHigh = std::fmax(cHigh, y - state.slope * x);
      }
    }
    const double margin = 1e-9 * (1 + std::fabs(cLow) + std::fabs(cHigh));
    for (long long j = std::llround(std::floor((cLow - c0) / state.positionStep)) - 1;
         c0 + j * state.positionStep <= cHigh + state.positionStep; ++j) {
      const double c = c0 + j * state.positionStep;
      if (c < cLow + margin || c > cHigh - margin) continue;
      EXPECT_EQ(stepped.count(j), 1u) << "round " << round << ": line " << j << " meets the range, angle "
                                      << state.angle;
    }
  }
}

// General lines lie on the family's lines, the spacing apart across the direction 2pi - angle, with their
// reference points on them, also just past the axis classes, where the intercepts step by far more than the
// spacing and a step off the slope by rounding's share moves lines far from the origin off their places.
TEST(FillLinesTest, GeneralLinesLieTheSpacingApart) {
  const struct {
    double angle, spacing, shift, originX, originY;
  } cases[] = {
      {M_PI / 2 - 2e-7, 1.0 / 64, -15, -536.0625, 9},
      {3 * M_PI / 2 + 1.5e-7, 0.5, 2, 1000, -3},
      {-M_PI / 2 - 3e-7, 0.25, 0, -2000, 50},
      {M_PI / 2 - 2e-7 + 200 * M_PI, 1.0 / 64, 1, 600, 0},
      {0.3, 0.7, 0.2, 900, -900},
  };
  for (const auto& c : cases) {
    FillLineState state = Family(c.angle, c.spacing, c.shift);
    state.originX = c.originX;
    state.originY = c.originY;
    state.xMin = -8, state.yMin = -8, state.xMax = 8, state.yMax = 2;
    state.ClassifyAngle();
    ASSERT_EQ(state.mode, FillLineState::kGeneral) << c.angle;
    state.FirstLine();
    ASSERT_GT(state.lineCount, 0u) << c.angle;
    const double b = kFillTwoPi - c.angle, nx = -std::sin(b), ny = std::cos(b);
    const auto number = [&](double x, double y) { return ((x - c.originX) * nx + (y - c.originY) * ny) / c.spacing; };
    // The worst distance of a line's ends or reference point from the family line it is nearest to.
    double off = 0;
    int stepped = 0;
    for (std::uint32_t i = 0; i < state.lineCount; ++i) {
      if (!state.NextLine()) continue;
      ++stepped;
      const double k = std::nearbyint(number(state.startX, state.startY));
      for (double n : {number(state.startX, state.startY), number(state.endX, state.endY),
                       number(state.referenceX, state.referenceY)}) {
        off = std::fmax(off, std::fabs(n - k) * c.spacing);
      }
    }
    EXPECT_GT(stepped, 0) << c.angle;
    EXPECT_LE(off, 1e-12 * (1 + std::fabs(c.originX) + std::fabs(c.originY))) << c.angle;
  }
}

// Two range functions cover the first loop: the decomposition's stops at -DBL_MAX only, the pattern's at
// either largest double. The boundary's range covers every loop and skips both separators.
TEST(FillLinesTest, RangesOfABoundary) {
  using RangeFunction = void (*)(std::uint32_t, const GPosition*, GBox2d*);
  const GPosition sep(kFillLoopSeparatorX, 9, 0);
  const GPosition largest(DBL_MAX, DBL_MAX, DBL_MAX);
  const struct {
    RangeFunction range;
    std::vector<GPosition> points;
    GBox2d box;
  } cases[] = {
      {FillTrapPointRange, {}, {0, 0, 0, 0}},
      {FillPointRange, {}, {0, 0, 0, 0}},
      {FillTrapPointRange, {{3, -2, 7}}, {3, -2, 3, -2}},
      {FillTrapPointRange, {{3, -2, 0}, sep, {10, 10, 0}}, {3, -2, 3, -2}},
      {FillPointRange, {{3, -2, 0}, sep, {10, 10, 0}}, {3, -2, 3, -2}},
      {FillTrapPointRange, {sep, {1, 1, 0}}, {0, 0, 0, 0}},
      {FillTrapPointRange, {{1, 5, 0}, {-2, 0, 0}, {4, 3, 0}, sep, {-9, -9, 0}}, {-2, 0, 4, 5}},
      {FillPointRange, {{2, 3, 0}, {-1, 5, 0}, largest, {9, 9, 0}}, {-1, 3, 2, 5}},
      {FillTrapPointRange, {{2, 3, 0}, {-1, 5, 0}, largest, {9, 9, 0}}, {-1, 3, DBL_MAX, DBL_MAX}},
      {FillBoundaryRange, {}, {0, 0, 0, 0}},
      {FillBoundaryRange, {sep, largest, sep}, {0, 0, 0, 0}},
      {FillBoundaryRange, {sep, {1, 1, 0}}, {1, 1, 1, 1}},
      {FillBoundaryRange, {{3, -2, 0}, sep, {10, 10, 0}, largest, {-4, 0, 0}}, {-4, -2, 10, 10}},
  };
  for (const auto& c : cases) {
    GBox2d box(7, 7, 7, 7);
    c.range(static_cast<std::uint32_t>(c.points.size()), c.points.data(), &box);
    EXPECT_EQ(box.low.x, c.box.low.x);
    EXPECT_EQ(box.low.y, c.box.low.y);
    EXPECT_EQ(box.high.x, c.box.high.x);
    EXPECT_EQ(box.high.y, c.box.high.y);
  }
}

}  // namespace

// A dashed closed star in each pattern mode: the dashes across its ten corners, and its picture written beside
// the tests.
#include <cmath>

#include "tests/dash/dash_fixtures.h"

using ::testing::IsEmpty;
using stylesrv_test::Reports;

namespace {

constexpr double kDash = 3.0, kGap = 1.5;
constexpr DWORD kColour = 0x00336699;  // 0x00BBGGRR
constexpr double kWidth = 0.25;

// A closed five-pointed star: ten corners and the first again.
std::vector<double> Star() {
  std::vector<double> xy;
  for (int i = 0; i <= 10; ++i) {
    const double angle = M_PI / 2 + (i % 10) * M_PI / 5;
    const double radius = (i % 2) ? 4.0 : 10.0;
    xy.push_back(radius * std::cos(angle));
    xy.push_back(radius * std::sin(angle));
  }
  return xy;
}

// Draws the star with its pen set first, as the line does before it hands a run to its dash type.
HRESULT DrawStar(const DashType& dash, const TestTarget& target, const PointRun& star, DWORD fitRequest) {
  target.target()->SetPenColor(kColour);
  target.target()->SetPenWidth(kWidth);
  RenderContextScales context = UnitContext();
  return Dash(dash, star, target, &context, fitRequest, nullptr, nullptr, kColour, kWidth);
}

class DashPictureTest : public ::testing::TestWithParam<DWORD> {
 protected:
  void SetUp() override { stylesrv_test::ClearReports(); }
  void TearDown() override { EXPECT_THAT(Reports(), IsEmpty()); }
};

TEST_P(DashPictureTest, DashesAcrossTheStarsCornersFollowTheMode) {
  const DWORD mode = GetParam();
  RegisterDashTypeVersion();
  DashType dash;
  ASSERT_EQ(dash.Set({kDash, -kGap}, mode, 0.5, 14), S_OK);
  TestTarget target;
  PointRun star(Star());
  ASSERT_EQ(DrawStar(dash, target, star, 1), S_OK);

  const std::vector<DrawnLine> drawn = Polylines(target);
  ASSERT_GE(drawn.size(), 2u);
  double perimeter = 0, total = 0;
  for (DWORD i = 1; i < star.run.count; ++i) {
    perimeter += std::hypot(star.points[3 * i] - star.points[3 * i - 3], star.points[3 * i + 1] - star.points[3 * i - 2]);
  }
  for (const DrawnLine& line : drawn) total += line.Length();
  const DrawnLine& first = drawn.front();
  const DrawnLine& last = drawn.back();
  switch (mode) {
    case DASH_MODE_REPEAT: {
      // Whole dashes one after another, the last one cut by the end of the run.
      const double periods = std::floor(perimeter / (kDash + kGap));
      const double rest = perimeter - periods * (kDash + kGap);
      EXPECT_NEAR(total, periods * kDash + std::min(rest, kDash), 1e-9);
      for (std::size_t i = 0; i + 1 < drawn.size(); ++i) EXPECT_NEAR(drawn[i].Length(), kDash, 1e-9) << i;
      break;
    }
    case DASH_MODE_STRETCH:
      // The pattern once: half a dash at each end, one long gap between.
      ASSERT_EQ(drawn.size(), 2u);
      EXPECT_NEAR(first.Length(), kDash / 2, 1e-9);
      EXPECT_NEAR(last.Length(), kDash / 2, 1e-9);
      break;
    default: {
      // Fitted: whole dashes between half dashes at both ends, so that the closed star looks seamless.
      EXPECT_NEAR(first.Length(), kDash / 2, 1e-9);
      EXPECT_NEAR(last.Length(), kDash / 2, 1e-9);
      for (std::size_t i = 1; i + 1 < drawn.size(); ++i) EXPECT_NEAR(drawn[i].Length(), kDash, 1e-9) << i;
      EXPECT_NEAR(total, (drawn.size() - 1) * kDash, 1e-9);
      break;
    }
  }
  EXPECT_EQ(first.X(0), star.points[0]);
  EXPECT_EQ(first.Y(0), star.points[1]);

  // The picture, for the eye; the recorded polylines above are what is checked.
  EXPECT_EQ(target.recording()->WriteSvg(("dash_star_mode" + std::to_string(mode) + ".svg").c_str()), S_OK);
}

INSTANTIATE_TEST_SUITE_P(EachMode, DashPictureTest,
                         ::testing::Values(DWORD{DASH_MODE_REPEAT}, DWORD{DASH_MODE_STRETCH}, DWORD{DASH_MODE_FIT},
                                           DWORD{DASH_MODE_AUTOMATIC}));

}  // namespace

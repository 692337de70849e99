// The picture of a dashed star polygon in each pattern mode, written beside the tests: what the SVG shows must
// be what the dash type drew, dash for dash.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

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

struct SvgPolyline {
  std::string stroke;
  double width = 0;
  std::string dashes;
  std::vector<double> xy;
};

std::string Attribute(const std::string& element, const char* name) {
  const std::regex pattern(std::string(" ") + name + "=\"([^\"]*)\"");
  std::smatch match;
  return std::regex_search(element, match, pattern) ? match[1].str() : std::string();
}

std::vector<SvgPolyline> ParseSvg(const std::string& svg) {
  std::vector<SvgPolyline> lines;
  const std::regex element("<polyline[^>]*/>");
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), element); it != std::sregex_iterator(); ++it) {
    const std::string text = it->str();
    SvgPolyline line;
    line.stroke = Attribute(text, "stroke");
    line.width = std::stod(Attribute(text, "stroke-width"));
    line.dashes = Attribute(text, "stroke-dasharray");
    std::string points = Attribute(text, "points");
    for (char& c : points) {
      if (c == ',') c = ' ';
    }
    std::istringstream in(points);
    double v;
    while (in >> v) line.xy.push_back(v);
    lines.push_back(line);
  }
  return lines;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class DashPictureTest : public ::testing::TestWithParam<DWORD> {
 protected:
  void SetUp() override { stylesrv_test::ClearReports(); }
  void TearDown() override { EXPECT_THAT(Reports(), IsEmpty()); }

  // Writes the target's picture and checks that it shows exactly the recorded polylines, in order, in the
  // pen they were drawn with.
  static void CheckPicture(const TestTarget& target, const std::string& path, const std::string& dashes) {
    ASSERT_EQ(target.recording()->WriteSvg(path.c_str()), S_OK);
    const std::vector<SvgPolyline> shown = ParseSvg(ReadFile(path));
    const std::vector<DrawnLine> drawn = Polylines(target);
    ASSERT_EQ(shown.size(), drawn.size()) << path;
    for (std::size_t i = 0; i < drawn.size(); ++i) {
      EXPECT_EQ(shown[i].stroke, "#996633") << i;
      EXPECT_EQ(shown[i].width, kWidth) << i;
      EXPECT_EQ(shown[i].dashes, dashes) << i;
      ASSERT_EQ(shown[i].xy.size(), 2 * drawn[i].Count()) << i;
      for (DWORD k = 0; k < drawn[i].Count(); ++k) {
        EXPECT_NEAR(shown[i].xy[2 * k], drawn[i].X(k), 1e-7) << i << ":" << k;
        EXPECT_NEAR(shown[i].xy[2 * k + 1], -drawn[i].Y(k), 1e-7) << i << ":" << k;  // y upwards
      }
    }
  }
};

TEST_P(DashPictureTest, StarShowsTheDashesThatWereDrawn) {
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

  CheckPicture(target, "dash_star_mode" + std::to_string(mode) + ".svg", "");
}

INSTANTIATE_TEST_SUITE_P(EachMode, DashPictureTest,
                         ::testing::Values(DWORD{DASH_MODE_REPEAT}, DWORD{DASH_MODE_STRETCH}, DWORD{DASH_MODE_FIT},
                                           DWORD{DASH_MODE_AUTOMATIC}));

TEST(DashPicture, TargetThatDashesByItselfShowsThePatternOnTheWholeStar) {
  stylesrv_test::ClearReports();
  DashType dash;
  ASSERT_EQ(dash.Set({kDash, -kGap}, DASH_MODE_REPEAT, 0.5, 14), S_OK);
  TestTarget target;
  target.recording()->SetDashesItself(TRUE);
  PointRun star(Star());
  ASSERT_EQ(DrawStar(dash, target, star, 0), S_OK);
  const std::vector<DrawnLine> drawn = Polylines(target);
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_EQ(drawn[0].points, star.points);

  const std::string path = "dash_star_target.svg";
  ASSERT_EQ(target.recording()->WriteSvg(path.c_str()), S_OK);
  const std::vector<SvgPolyline> shown = ParseSvg(ReadFile(path));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].dashes, "3 1.5");
  EXPECT_EQ(shown[0].stroke, "#996633");
  EXPECT_EQ(shown[0].width, kWidth);
  EXPECT_EQ(shown[0].xy.size(), 22u);
  EXPECT_THAT(Reports(), IsEmpty());
}

}  // namespace

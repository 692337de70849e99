// Drawing a hatch fill: the calls refused before anything is drawn, where the lines of a family lie, which
// families draw the same, what each family draws with, and families refused or failing half-way.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "geometry/fill.h"
#include "tests/fill/fill_fixtures.h"
#include "tests/hatch/hatch_fixtures.h"

using stylesrv_test::Reports;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kLoop = -DBL_MAX;
const std::vector<double> kRectangle = {0, 0, 0, 4, 0, 0, 4, 3, 0, 0, 3, 0};
constexpr DWORD kRed = 0x0000FF, kBlue = 0xFF0000, kGrey = 0x808080;

HatchFamilyDesc Lines(double angle, double spacing, double shift = 0, double originY = 0,
                      IJStyleDashTypeRender* dash = nullptr, DWORD colour = kRed, double width = 0.5) {
  HatchFamilyDesc family{};
  family.angle = angle;
  family.spacing = spacing;
  family.shift = shift;
  family.originY = originY;
  family.color = colour;
  family.width = width;
  family.dashType = dash;
  return family;
}

// A hatch fill in units 11 at the origin, and what one render of it is given.
struct Scene {
  std::vector<HatchFamilyDesc> families;
  std::vector<double> xyz = kRectangle;
  DWORD units = STYLE_UNITS_11;
  DWORD hatchFlags = HATCH_SCALE_SPACING | HATCH_SCALE_ORIGINS;
  tagStyleOverride record = EmptyRecord();
  RenderContextScales context = UnitScales();
  G4x4 transform = G4x4::Identity();
  double clipBox[4] = {0, 0, 0, 0};
  double rangeBox[6] = {0, 0, 0, 0, 0, 0};
  bool throughSimpleFill = false;  // drawn by a simple fill without a colour of its own
};

// What one render drew: the calls by name, the ends of each line, the pieces handed to dash types with their
// phases (x1, y1, x2, y2, phase), and the pen and area values.
struct Drawing {
  HRESULT hr = S_OK;
  std::vector<std::string> calls;
  std::vector<std::vector<double>> lines;
  std::vector<std::vector<double>> dashes;
  std::vector<DWORD> colours;
  std::vector<double> widths;
  std::vector<DWORD> fillColours;
  std::vector<DWORD> areaPoints;
};

// Renders the scene through the fill-type render interface (or a simple fill); the dash types of the scene
// are recording ones, whose runs are read and emptied.
Drawing Draw(Scene scene, std::vector<RecordingDash*> dashes = {}) {
  StyleComPtr<IJStyleHatchFill> hatch = NewHatch();
  EXPECT_EQ(hatch->SetUnits(scene.units), S_OK);
  EXPECT_EQ(hatch->SetFlags(scene.hatchFlags), S_OK);
  for (const HatchFamilyDesc& family : scene.families) {
    LONG index = -1;
    EXPECT_EQ(hatch->AddFamily(&family, &index), S_OK);
  }
  TestRenderContext context;
  context.transform = scene.transform;
  FillDrawingSetup setup = DrawingSetup(&context, STYLE_UNITS_11);
  std::copy(scene.clipBox, scene.clipBox + 4, setup.clipBox);
  TestGeometry geometry(scene.xyz);
  std::copy(scene.rangeBox, scene.rangeBox + 6, geometry.record.rangeBox);
  TestTarget target;
  Drawing drawing;
  if (scene.throughSimpleFill) {
    StyleComPtr<IJStyleSimpleFill> fill(NewStyle<IJStyleSimpleFill>(CLSID_JStyleSimpleFill, IID_IJStyleSimpleFill));
    EXPECT_EQ(fill->SetColor(kNoFillColour), S_OK);
    EXPECT_EQ(fill->SetPattern(hatch.Get()), S_OK);
    drawing.hr = Query<IJStyleRender>(fill.Get(), IID_IJStyleRender)
                     ->RenderWithContext(&geometry.record, target.target(), &scene.context, nullptr, &scene.record,
                                         AsSeventhArgument(&setup));
  } else {
    drawing.hr = Query<IJStyleFillTypeRender>(hatch.Get(), IID_IJStyleFillTypeRender)
                     ->Render(&geometry.record, target.target(), &scene.context, nullptr, &scene.record, TRUE, &setup);
  }
  const std::vector<SitheCall> calls = target.Calls();
  for (DWORD i = 0; i < calls.size(); ++i) {
    const SitheCall& call = calls[i];
    drawing.calls.push_back(call.name);
    if (call.slot == 3) drawing.colours.push_back(call.u[0]);
    if (call.slot == 7) drawing.widths.push_back(call.d[0]);
    if (call.slot == 15) drawing.fillColours.push_back(call.u[0]);
    if (call.slot == 16) drawing.areaPoints.push_back(call.pointCount);
    if (call.slot == 18) {
      EXPECT_TRUE(call.u[0] == 0 && call.u[1] == 0);
    }
    if (call.slot != 17) continue;
    double ends[6];
    target.recording()->GetCallPoints(i, 2, ends);
    drawing.lines.push_back({ends[0], ends[1], ends[3], ends[4]});
  }
  for (RecordingDash* dash : dashes) {
    for (const RecordingDash::Run& run : dash->runs) {
      EXPECT_EQ(run.count, 2u);
      EXPECT_FALSE(run.recordHasDashType);
      drawing.dashes.push_back({run.points[0], run.points[1], run.points[3], run.points[4], run.phase});
    }
    dash->runs.clear();
  }
  return drawing;
}

void ExpectNear(const std::vector<std::vector<double>>& got, const std::vector<std::vector<double>>& want,
                const std::string& name) {
  ASSERT_EQ(got.size(), want.size()) << name;
  for (std::size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(got[i].size(), want[i].size()) << name;
    for (std::size_t k = 0; k < got[i].size(); ++k) EXPECT_NEAR(got[i][k], want[i][k], 1e-9) << name << ", " << i;
  }
}

// Whether the fill reported a failure (the fill-type interface reports it again, under its own name).
bool ReportedByHatch() {
  const std::vector<PellowReport> reports = Reports();
  return std::any_of(reports.begin(), reports.end(),
                     [](const PellowReport& r) { return std::string(r.source) == kHatchSource; });
}

class HatchRenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterHatchVersions();
    stylesrv_test::ClearReports();
  }
};

// Nothing is drawn; a refusal or a failure of the units transform, the rotation or the decomposition is
// reported under the fill's name, and fewer than 3 points are no failure.
TEST_F(HatchRenderTest, CallsRefusedBeforeDrawing) {
  StyleComPtr<IJStyleHatchFill> hatch = NewHatch();
  const HatchFamilyDesc family = Lines(0, 1);
  LONG index = -1;
  ASSERT_EQ(hatch->AddFamily(&family, &index), S_OK);
  StyleComPtr<IJStyleFillTypeRender> render = Query<IJStyleFillTypeRender>(hatch.Get(), IID_IJStyleFillTypeRender);
  TestRenderContext context, failing, stranger;
  failing.answer = E_ACCESSDENIED;
  stranger.answersContext = false;
  const RenderContextScales scales = UnitScales();
  TestTarget target;
  struct Case {
    const char* name;
    std::vector<double> xyz;
    std::function<void(StyleGeometryRecord&, FillDrawingSetup&, tagStyleOverride&)> damage;
    HRESULT expected;
  };
  const Case cases[] = {
      {"no boundary", kRectangle, [](auto& g, auto&, auto&) { g.pointList = nullptr; }, E_INVALIDARG},
      {"no points", kRectangle, [](auto& g, auto&, auto&) { g.pointList->points = nullptr; }, E_INVALIDARG},
      {"two points", {0, 0, 0, 4, 0, 0}, [](auto&, auto&, auto&) {}, S_OK},
      {"none at all", {}, [](auto&, auto&, auto&) {}, S_OK},
      {"no render context", kRectangle, [](auto&, auto& s, auto&) { s.context = nullptr; }, E_FAIL},
      {"not a render context", kRectangle, [&](auto&, auto& s, auto&) { s.context = &stranger; }, E_NOINTERFACE},
      {"the transform fails", kRectangle, [&](auto&, auto& s, auto&) { s.context = &failing; }, E_ACCESSDENIED},
      {"clip box NaN", kRectangle, [](auto&, auto& s, auto&) { s.clipBox[2] = kNaN; }, E_INVALIDARG},
      {"rotation NaN", kRectangle, [](auto&, auto&, auto& r) { r.rotationAngle = kNaN; }, E_INVALIDARG},
      {"a point NaN", {0, 0, 0, 4, kNaN, 0, 4, 3, 0}, [](auto&, auto&, auto&) {}, E_INVALIDARG},
      {"one point thrice", {1, 1, 0, 1, 1, 0, 1, 1, 0}, [](auto&, auto&, auto&) {}, E_FAIL},
  };
  for (const Case& c : cases) {
    stylesrv_test::ClearReports();
    target.recording()->Clear();
    TestGeometry geometry(c.xyz);
    FillDrawingSetup setup = DrawingSetup(&context, STYLE_UNITS_11);
    tagStyleOverride record = EmptyRecord();
    c.damage(geometry.record, setup, record);
    EXPECT_EQ(render->Render(&geometry.record, target.target(), &scales, nullptr, &record, TRUE, &setup), c.expected)
        << c.name;
    EXPECT_TRUE(target.Calls().empty()) << c.name;
    EXPECT_EQ(ReportedByHatch(), FAILED(c.expected)) << c.name;
  }
  TestGeometry geometry(kRectangle);
  const FillDrawingSetup setup = DrawingSetup(&context, STYLE_UNITS_11);
  tagStyleOverride record = EmptyRecord();
  EXPECT_EQ(render->Render(nullptr, target.target(), &scales, nullptr, &record, TRUE, &setup), E_INVALIDARG);
  EXPECT_EQ(render->Render(&geometry.record, nullptr, &scales, nullptr, &record, TRUE, &setup), E_INVALIDARG);
  EXPECT_EQ(render->Render(&geometry.record, target.target(), &scales, nullptr, nullptr, TRUE, &setup), E_INVALIDARG);
  EXPECT_EQ(context.references, 1u);
}

// The lines of one family: stepped across the range of every loop (or the range box given), cut by the clip
// box's range, placed by the units transform, the record's rotation and fill scale and the units conversion.
TEST_F(HatchRenderTest, WhereTheLinesLie) {
  const auto scene = [](HatchFamilyDesc family, std::function<void(Scene&)> more = nullptr) {
    Scene s;
    s.families = {family};
    if (more) more(s);
    return s;
  };
  std::vector<double> twoLoops = kRectangle;
  twoLoops.insert(twoLoops.end(), {kLoop, 0, 0, 6, 0, 0, 7, 0, 0, 7, 1, 0, 6, 1, 0});
  const struct {
    const char* name;
    Scene scene;
    std::vector<std::vector<double>> lines;
    double width;
  } cases[] = {
      {"spacing 1 across a 4 by 3 rectangle", scene(Lines(0, 1)), {{0, 0, 4, 0}, {0, 1, 4, 1}, {0, 2, 4, 2},
                                                                   {0, 3, 4, 3}}, 0.5},
      {"a units transform moves the origin",
       scene(Lines(0, 1, 0, 0.25), [](Scene& s) { s.transform.m_matrix[13] = 0.5; }),
       {{0, .75, 4, .75}, {0, 1.75, 4, 1.75}, {0, 2.75, 4, 2.75}}, 0.5},
      {"the fill scale scales spacing and origins", scene(Lines(0, 1, 0, 0.25), [](Scene& s) {
         s.record.scaleFactor = 2;
       }), {{0, .5, 4, .5}, {0, 2.5, 4, 2.5}}, 0.5},
      {"unless the fill says not", scene(Lines(0, 1, 0, 0.25), [](Scene& s) {
         s.record.scaleFactor = 2;
         s.hatchFlags = 0;
       }), {{0, .25, 4, .25}, {0, 1.25, 4, 1.25}, {0, 2.25, 4, 2.25}}, 0.5},
      {"the record's rotation turns lines and origins", scene(Lines(0, 1, 0, 0.25), [](Scene& s) {
         s.record.rotationAngle = M_PI / 2;
       }), {{.75, 0, .75, 3}, {1.75, 0, 1.75, 3}, {2.75, 0, 2.75, 3}, {3.75, 0, 3.75, 3}}, 0.5},
      {"origins converted by units", scene(Lines(0, 1, 0, 0.25), [](Scene& s) {
         s.context.originsConverted = 1;
         s.context.scale11 = 2;
       }), {{0, .5, 4, .5}, {0, 2.5, 4, 2.5}}, 1.0},
      {"converted, y turned for an orientation below 0", scene(Lines(0, 1, 0, 0.25), [](Scene& s) {
         s.context.originsConverted = 1;
         s.context.scale11 = 2;
         s.context.orientation = -1;
       }), {{0, 1.5, 4, 1.5}}, 1.0},
      {"but not in units 13", scene(Lines(0, 1, 0, 0.25), [](Scene& s) {
         s.units = STYLE_UNITS_13;
         s.context.originsConverted = 1;
         s.context.scale13 = 2;
         s.context.orientation = -1;
       }), {{0, .5, 4, .5}, {0, 2.5, 4, 2.5}}, 1.0},
      {"every loop's range", scene(Lines(0, 1, 0, 0.5), [&](Scene& s) { s.xyz = twoLoops; }),
       {{0, .5, 4, .5}, {6, .5, 7, .5}, {0, 1.5, 4, 1.5}, {0, 2.5, 4, 2.5}}, 0.5},
      {"the range box given", scene(Lines(0, 1, 0, 0.5), [&](Scene& s) {
         s.xyz = twoLoops;
         const double box[6] = {0, 0, 0, 4, 3, 0};
         std::copy(box, box + 6, s.rangeBox);
       }), {{0, .5, 4, .5}, {0, 1.5, 4, 1.5}, {0, 2.5, 4, 2.5}}, 0.5},
      {"the clip box cuts the range, not plain lines", scene(Lines(0, 1), [](Scene& s) {
         const double box[4] = {0, 0, 4, 0.5};
         std::copy(box, box + 4, s.clipBox);
       }), {{0, 0, 4, 0}, {0, 1, 4, 1}}, 0.5},
  };
  for (const auto& c : cases) {
    const Drawing drawing = Draw(c.scene);
    EXPECT_EQ(drawing.hr, S_OK) << c.name;
    ExpectNear(drawing.lines, c.lines, c.name);
    EXPECT_EQ(drawing.colours, std::vector<DWORD>{kRed}) << c.name;
    EXPECT_EQ(drawing.widths, std::vector<double>{c.width}) << c.name;
    EXPECT_EQ(drawing.calls.front(), "BeginDrawing") << c.name;
  }
}

// Pairs of families that draw the same, and one that does not: dashed, so that the phases count too.
TEST_F(HatchRenderTest, FamiliesThatDrawTheSame) {
  RecordingDash* dash = RecordingDash::Create();
  const auto scene = [dash](double angle, double spacing, double shift, double orientation = 0) {
    Scene s;
    s.families = {Lines(angle, spacing, shift, 0.1, dash)};
    s.context.orientation = orientation;
    return s;
  };
  Scene viaFill = scene(0.4, 0.7, 0.3);
  viaFill.throughSimpleFill = true;
  const struct {
    const char* name;
    Scene a, b;
    bool same;
  } cases[] = {
      {"7 rad as 7 - 2pi", scene(7, 0.7, 0.3), scene(7 - 2 * M_PI, 0.7, 0.3), true},
      {"30 degrees as 330 for an orientation above 0", scene(M_PI / 6, 0.7, 0.3, 1), scene(11 * M_PI / 6, 0.7, 0.3),
       true},
      {"negative spacing with the stagger reversed", scene(0.4, -0.7, 0.3), scene(0.4, 0.7, -0.3), true},
      {"negative spacing alone", scene(0.4, -0.7, 0.3), scene(0.4, 0.7, 0.3), false},
      {"through a simple fill", scene(0.4, 0.7, 0.3), viaFill, true},
  };
  for (const auto& c : cases) {
    const Drawing a = Draw(c.a, {dash}), b = Draw(c.b, {dash});
    EXPECT_EQ(a.hr, S_OK);
    EXPECT_EQ(b.hr, S_OK);
    EXPECT_GT(a.dashes.size(), 3u) << c.name;
    bool same = a.calls == b.calls && a.dashes.size() == b.dashes.size();
    for (std::size_t i = 0; same && i < a.dashes.size(); ++i) {
      for (std::size_t k = 0; k < 5; ++k) same = same && std::fabs(a.dashes[i][k] - b.dashes[i][k]) < 1e-9;
    }
    EXPECT_EQ(same, c.same) << c.name;
  }
  dash->Release();
}

// A family closer than the smallest spacing, without a dash type, fills the boundary once; the record's
// colour, width and line style take the place of every family's.
TEST_F(HatchRenderTest, WhatEachFamilyDrawsWith) {
  RecordingDash* dash = RecordingDash::Create();
  RecordingDash* lineStyle = RecordingDash::Create();
  const auto scene = [](std::vector<HatchFamilyDesc> families, std::function<void(Scene&)> more = nullptr) {
    Scene s;
    s.families = std::move(families);
    s.context.smallestSpacing = 1;
    if (more) more(s);
    return s;
  };
  const HatchFamilyDesc blue = Lines(M_PI / 2, 2, 0, 0, nullptr, kBlue, 0.7);
  const auto overrides = [&](DWORD flags) {
    return [&, flags](Scene& s) {
      s.record.flags = flags;
      s.record.colour = kGrey;
      s.record.width = 3;
      s.record.unitsCode = STYLE_UNITS_11;
      s.record.dashType = lineStyle;
    };
  };
  const struct {
    const char* name;
    Scene scene;
    std::vector<DWORD> fillColours, colours;
    std::vector<double> widths;
    std::size_t lines, dashes;
  } cases[] = {
      {"dense: the boundary filled", scene({Lines(0, 0.5)}), {kRed}, {}, {}, 0, 0},
      {"dense by its size", scene({Lines(0, -0.5)}), {kRed}, {}, {}, 0, 0},
      {"dense with a dash type: lines", scene({Lines(0, 0.5, 0, 0, dash)}), {}, {kRed}, {0.5}, 0, 7},
      {"as close as the smallest spacing: lines", scene({Lines(0, 1)}), {}, {kRed}, {0.5}, 4, 0},
      {"scaled apart", scene({Lines(0, 0.5)}, [](Scene& s) { s.record.scaleFactor = 4; }), {}, {kRed}, {0.5}, 2, 0},
      {"each family its own", scene({Lines(0, 1), blue}), {}, {kRed, kBlue}, {0.5, 0.7}, 7, 0},
      {"the record's colour", scene({Lines(0, 1), blue}, overrides(OVR_COLOUR)), {}, {kGrey, kGrey}, {0.5, 0.7}, 7,
       0},
      {"the record's width", scene({Lines(0, 1), blue}, overrides(OVR_WIDTH)), {}, {kRed, kBlue}, {3, 3}, 7, 0},
      {"the record's line style", scene({Lines(0, 0.5), blue}, overrides(OVR_DASH_TYPE)), {}, {kRed, kBlue},
       {0.5, 0.7}, 0, 10},
  };
  for (const auto& c : cases) {
    const Drawing drawing = Draw(c.scene, {dash, lineStyle});
    EXPECT_EQ(drawing.hr, S_OK) << c.name;
    EXPECT_EQ(drawing.calls.front(), "BeginDrawing") << c.name;
    EXPECT_EQ(std::count(drawing.calls.begin(), drawing.calls.end(), "BeginDrawing"), 1) << c.name;
    EXPECT_EQ(drawing.fillColours, c.fillColours) << c.name;
    EXPECT_EQ(drawing.areaPoints, std::vector<DWORD>(c.fillColours.size(), 4)) << c.name;
    EXPECT_EQ(drawing.colours, c.colours) << c.name;
    EXPECT_EQ(drawing.widths, c.widths) << c.name;
    EXPECT_EQ(drawing.lines.size(), c.lines) << c.name;
    EXPECT_EQ(drawing.dashes.size(), c.dashes) << c.name;
  }
  lineStyle->Release();
  dash->Release();
}

// A family that cannot be drawn is left out and the others drawn; a failure half-way is handed back. Either
// way the decomposition's blocks go back to the pools and no reference is left behind.
TEST_F(HatchRenderTest, RefusedFamiliesAndFailuresHalfWay) {
  stylesrv_test::ServerModule server;
  const StyleServerInternals& internals = server.internals();
  const auto pools = [&] {
    return std::vector<int>{internals.FillTrapPooledBlocks(FillBlockKind::kTrapezoid),
                            internals.FillTrapPooledBlocks(FillBlockKind::kNode),
                            internals.FillTrapPooledBlocks(FillBlockKind::kSegment)};
  };
  // 131 unit squares in a row: a vertical family meets one at a time, a horizontal line all of them, whose
  // pieces fill more than one block.
  Scene squares;
  squares.xyz.clear();
  for (int i = 0; i < 131; ++i) {
    if (i) squares.xyz.insert(squares.xyz.end(), {kLoop, 0, 0});
    const double x = 2.0 * i;
    squares.xyz.insert(squares.xyz.end(), {x, 0, 0, x + 1, 0, 0, x + 1, 1, 0, x, 1, 0});
  }
  squares.families = {Lines(M_PI / 2, 1, 0, 0)};
  internals.FillTrapFlushPools();
  ASSERT_EQ(Draw(squares).hr, S_OK);  // one block of each kind it uses stays in the pools
  const std::vector<int> warm = pools();

  RecordingDash* dash = RecordingDash::Create();
  dash->answer = E_ACCESSDENIED;
  HatchFamilyDesc distant = Lines(0, 1);
  distant.originX = 1e308;
  Scene tenfold{{Lines(0, 1), distant}};
  for (int i : {0, 5, 10}) tenfold.transform.m_matrix[i] = 10;
  Scene nanScale{{Lines(0, 1), Lines(1, 1)}};
  nanScale.record.scaleFactor = kNaN;
  const struct {
    const char* name;
    Scene scene;
    HRESULT hr;
    std::size_t lines, dashes;
  } cases[] = {
      {"too many lines to count", Scene{{Lines(0, 1), Lines(0, 1e-300), Lines(M_PI / 2, 1)}}, E_INVALIDARG, 9, 0},
      {"an origin beyond the doubles once placed", tenfold, E_INVALIDARG, 4, 0},
      {"a fill scale that is no number", nanScale, E_INVALIDARG, 0, 0},
      {"a dash type that fails", Scene{{Lines(0, 1, 0, 0, dash), Lines(0, 1)}}, E_ACCESSDENIED, 0, 1},
  };
  for (const auto& c : cases) {
    stylesrv_test::ClearReports();
    const Drawing drawing = Draw(c.scene, {dash});
    EXPECT_EQ(drawing.hr, c.hr) << c.name;
    EXPECT_EQ(drawing.lines.size(), c.lines) << c.name;
    EXPECT_EQ(drawing.dashes.size(), c.dashes) << c.name;
    EXPECT_TRUE(ReportedByHatch()) << c.name;
    EXPECT_EQ(pools(), warm) << c.name;
  }
  EXPECT_EQ(dash->Release(), 0u);

  // Each allocation in turn fails, until the drawing needs none that fails: the vertical lines are drawn
  // before the horizontal ones need a second block of pieces.
  squares.families.push_back(Lines(0, 1, 0, 0.5));
  bool failedHalfWay = false;
  for (int n = 1; n < 50; ++n) {
    stylesrv_test::ClearReports();
    internals.FillAllocFailAt(n);
    const Drawing drawing = Draw(squares);
    internals.FillAllocFailAt(0);
    if (drawing.hr == S_OK) break;
    ASSERT_EQ(drawing.hr, E_OUTOFMEMORY) << n;
    EXPECT_TRUE(ReportedByHatch()) << n;
    EXPECT_EQ(pools(), warm) << n;
    failedHalfWay = failedHalfWay || !drawing.lines.empty();
  }
  EXPECT_TRUE(failedHalfWay);
}

}  // namespace

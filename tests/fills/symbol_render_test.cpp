// Drawing a symbol fill: calls that draw nothing, what a draw captures again after earlier draws, slots too
// dense for their symbols, symbols cut at the boundary and the colour each piece takes, and a slot left out.
#include <algorithm>
#include <cfloat>
#include <cstring>
#include <string>

#include "tests/fill/fill_fixtures.h"
#include "tests/fills/symbol_fill_fixtures.h"

using stylesrv_test::Reports;

namespace {

constexpr DWORD kNoColour = 0xFFFFFFFF;

std::vector<double> Box(double x0, double y0, double x1, double y1) {
  return {x0, y0, 0, x1, y0, 0, x1, y1, 0, x0, y1, 0};
}

tagStyleOverride Turned(double rotation, double scale = 1.0) {
  tagStyleOverride record = EmptyRecord();
  record.flags = OVR_SCALE | OVR_ROTATION;
  record.scaleFactor = scale;
  record.rotationAngle = rotation;
  return record;
}

// A record that brings its own colour.
tagStyleOverride Coloured() {
  tagStyleOverride record = Turned(0);
  record.flags |= OVR_COLOUR;
  record.colour = 0x123456;
  return record;
}

SymbolSlotRecord Lattice(IJGraphic* symbol, double spacingX, double spacingY, DWORD colour = 7) {
  return {colour, 0x55, 0.0, spacingX, spacingY, 0.0, 0.0, 1.0, 2.0, 2.0, 0.0, symbol, 0};
}

// What one draw did: its answer, each polyline and filled area (x, y per point), the fill colours.
struct Drawn {
  HRESULT hr = S_OK;
  std::vector<std::vector<double>> lines, areas;
  std::vector<DWORD> fillColours;
};

class SymbolRenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterSymbolFillVersions();
    ASSERT_EQ(SitheCreateRecordingTarget(display.Put()), S_OK);
    stylesrv_test::ClearReports();
    host_app::ClearElementCalls();
  }

  Drawn Draw(IJStyleSymbolFill* fill, const std::vector<double>& xyz, const tagStyleOverride& record,
             DWORD setupUnits = STYLE_UNITS_11, const RenderContextScales& context = UnitScales()) {
    TestRenderContext host;
    FillDrawingSetup setup = DrawingSetup(&host, setupUnits);
    setup.display = display.Get();
    TestGeometry geometry(xyz);
    TestTarget target;
    tagStyleOverride given = record;
    Drawn drawn;
    drawn.hr = Query<IJStyleFillTypeRender>(fill, IID_IJStyleFillTypeRender)
                   ->Render(&geometry.record, target.target(), &context, nullptr, &given, TRUE, &setup);
    EXPECT_EQ(std::memcmp(&given, &record, sizeof record), 0) << "the caller's record stays as it was";
    const std::vector<SitheCall> calls = target.Calls();
    for (DWORD i = 0; i < calls.size(); ++i) {
      const SitheCall& call = calls[i];
      if (call.slot == 15) drawn.fillColours.push_back(call.u[0]);
      if (call.slot != 14 && call.slot != 16) continue;
      std::vector<double> xyz(3 * call.pointCount);
      target.recording()->GetCallPoints(i, call.pointCount, xyz.data());
      std::vector<double> xy;
      for (DWORD k = 0; k < call.pointCount; ++k) xy.insert(xy.end(), {xyz[3 * k], xyz[3 * k + 1]});
      (call.slot == 14 ? drawn.lines : drawn.areas).push_back(xy);
    }
    return drawn;
  }
  static std::size_t Captures() { return host_app::ElementsCalled(host_app::ElementOp::Draw).size(); }

  StyleComPtr<ISitheRecording> display;
};

// Nothing is drawn and no symbol captured; an empty fill and a run too short to enclose anything are no failure.
TEST_F(SymbolRenderTest, CallsThatDrawNothing) {
  StyleComPtr<IJGraphic> symbol = Scripted({Primitive({0, 0, 1, 0})});
  StyleComPtr<IJStyleSymbolFill> filled = NewSymbolFill(), empty = NewSymbolFill();
  AddSlots(filled.Get(), {Lattice(symbol.Get(), 5, 5)});
  const FillDrawingSetup setup{};
  TestGeometry square(Box(0, 0, 10, 10)), segment({0, 0, 0, 10, 0, 0});
  TestTarget target;
  tagStyleOverride record = Turned(0);
  const RenderContextScales context = UnitScales();
  const struct {
    IJStyleSymbolFill* fill;
    const StyleGeometryRecord* boundary;
    IRenderTarget2d* target;
    tagStyleOverride* record;
    HRESULT hr;
  } cases[] = {{filled.Get(), &segment.record, target.target(), &record, S_OK},
               {empty.Get(), &square.record, target.target(), &record, S_OK},
               {filled.Get(), &square.record, nullptr, &record, E_INVALIDARG},
               {filled.Get(), &square.record, target.target(), nullptr, E_INVALIDARG}};
  for (const auto& c : cases) {
    EXPECT_EQ(Query<IJStyleFillTypeRender>(c.fill, IID_IJStyleFillTypeRender)
                  ->Render(c.boundary, c.target, &context, nullptr, c.record, TRUE, &setup),
              c.hr);
  }
  EXPECT_TRUE(target.Names().empty());
  EXPECT_EQ(Captures(), 0u);
}

// Each draw captures only when the symbols' size may have changed, and draws what a new fill would draw with
// the same record, whatever the draws before it were.
TEST_F(SymbolRenderTest, DrawsCaptureOnlyWhatChanged) {
  StyleComPtr<IJGraphic> symbol = Scripted({Primitive({0, 0, 1, 0})});
  const std::vector<SymbolSlotRecord> slots = {Lattice(symbol.Get(), 3, 4), Lattice(symbol.Get(), 5, 2.5)};
  StyleComPtr<IJStyleSymbolFill> fill = NewSymbolFill();
  AddSlots(fill.Get(), slots);
  tagStyleOverride unscaled = Turned(0.5);
  unscaled.flags &= ~DWORD{OVR_SCALE};
  RenderContextScales halved = UnitScales();
  halved.scale11 = 0.5;
  RenderContextScales doubled = halved;
  doubled.contextScale = 2.0;
  doubled.contextUnitsCode = STYLE_UNITS_11;
  const struct {
    const char* name;
    tagStyleOverride record;
    RenderContextScales context;
    bool edit;
    std::size_t captures;
  } steps[] = {
      {"the first draw", Turned(0), UnitScales(), false, 2},
      {"the same record", Turned(0), UnitScales(), false, 0},
      {"a turn alone", Turned(0.5), UnitScales(), false, 0},
      {"a new scale keeps the turn", Turned(0.5, 2), UnitScales(), false, 2},
      {"a new unit scale", Turned(0.5, 2), halved, false, 2},
      {"the context's own scale", Turned(0.5, 2), doubled, false, 2},
      {"an edit", Turned(0.5, 2), halved, true, 2},
      {"no scale flag", unscaled, UnitScales(), false, 2},
      {"no scale flag again", unscaled, UnitScales(), false, 2},
  };
  for (const auto& step : steps) {
    if (step.edit) {
      ASSERT_EQ(fill->InvalidateRenderCache(), S_OK);
    }
    host_app::ClearElementCalls();
    const Drawn drawn = Draw(fill.Get(), Box(0, 0, 20, 20), step.record, STYLE_UNITS_11, step.context);
    ASSERT_EQ(drawn.hr, S_OK) << step.name;
    EXPECT_EQ(Captures(), step.captures) << step.name;
    StyleComPtr<IJStyleSymbolFill> fresh = NewSymbolFill();
    AddSlots(fresh.Get(), slots);
    const Drawn expected = Draw(fresh.Get(), Box(0, 0, 20, 20), step.record, STYLE_UNITS_11, step.context);
    ASSERT_FALSE(expected.lines.empty()) << step.name;
    EXPECT_EQ(drawn.lines, expected.lines) << step.name;
  }
}

// In device units a slot whose cells are closer than 3.5 fills the run in its colour (the record's when the
// slot has none) and draws no symbol; in other units any spacing draws symbols.
TEST_F(SymbolRenderTest, DenseDeviceSlotsFillTheRun) {
  StyleComPtr<IJGraphic> symbol = Scripted({Primitive({0, 0, 1, 0})});
  const struct {
    const char* name;
    double spacingX, spacingY;
    DWORD units, slotColour;
    tagStyleOverride record;
    std::vector<DWORD> fillColours;
  } cases[] = {
      {"spacing 3 in device units", 3.0, 10.0, STYLE_UNITS_13, 7, Turned(0), {7}},
      {"the record's colour", 3.0, 3.0, STYLE_UNITS_13, kNoColour, Coloured(), {0x123456}},
      {"spacing 4", 4.0, 4.0, STYLE_UNITS_13, 7, Turned(0), {}},
      {"spacing 3 in other units", 3.0, 3.0, STYLE_UNITS_11, 7, Turned(0), {}},
  };
  for (const auto& c : cases) {
    StyleComPtr<IJStyleSymbolFill> fill = NewSymbolFill();
    AddSlots(fill.Get(), {Lattice(symbol.Get(), c.spacingX, c.spacingY, c.slotColour)});
    const Drawn drawn = Draw(fill.Get(), Box(0, 0, 20, 20), c.record, c.units);
    EXPECT_EQ(drawn.hr, S_OK) << c.name;
    EXPECT_EQ(drawn.fillColours, c.fillColours) << c.name;
    if (c.fillColours.empty()) {
      EXPECT_TRUE(drawn.areas.empty()) << c.name;
      EXPECT_FALSE(drawn.lines.empty()) << c.name;
    } else {
      EXPECT_EQ(drawn.areas, std::vector<std::vector<double>>({{0, 0, 20, 0, 20, 20, 0, 20}})) << c.name;
      EXPECT_TRUE(drawn.lines.empty()) << c.name;
    }
  }
}

// A cell inside the run draws its symbol whole, a cell across its edge cut: the area as closed polygons through
// its attribute style, the line as two-point lines of the target. The slot's colour goes to the pieces unless
// the record brings one.
TEST_F(SymbolRenderTest, SymbolsAreCutAtTheBoundary) {
  AttributeStyle area(1, STYLE_KIND_FILL);
  StyleComPtr<IJGraphic> symbol = Scripted(
      {Attributes(&area), Primitive({0, 0, 4, 0, 4, 4, 0, 4}, true), NullAttributes(), Primitive({0, 1, 4, 1})});
  const struct {
    const char* name;
    DWORD slotColour;
    tagStyleOverride record;
    DWORD colour, flags;
  } cases[] = {
      {"the slot's colour", 7, Turned(0), 7, OVR_SCALE | OVR_ROTATION | OVR_COLOUR | OVR_FILL_COLOUR},
      {"the record's colour first", 7, Coloured(), 0x123456, OVR_SCALE | OVR_ROTATION | OVR_COLOUR},
  };
  for (const auto& c : cases) {
    area.drawn.clear();
    StyleComPtr<IJStyleSymbolFill> fill = NewSymbolFill();
    // Cells at x = 2 and x = 22, the second across the run's edge at x = 25.
    AddSlots(fill.Get(), {Lattice(symbol.Get(), 20, 100, c.slotColour)});
    const Drawn drawn = Draw(fill.Get(), Box(0, 0, 25, 10), c.record);
    EXPECT_EQ(drawn.hr, S_OK) << c.name;
    EXPECT_EQ(drawn.lines, std::vector<std::vector<double>>({{2, 3, 6, 3}, {22, 3, 25, 3}})) << c.name;
    ASSERT_EQ(area.drawn.size(), 2u) << c.name;
    EXPECT_EQ(area.drawn[0].xy, std::vector<double>({2, 2, 6, 2, 6, 6, 2, 6, 2, 2})) << c.name;
    EXPECT_EQ(area.drawn[1].xy, std::vector<double>({22, 2, 25, 2, 25, 6, 22, 6, 22, 2})) << c.name;
    for (const AttributeStyle::Piece& piece : area.drawn) {
      EXPECT_EQ(piece.type, 1) << c.name;
      EXPECT_EQ(piece.colour, c.colour) << c.name;
      EXPECT_EQ(piece.flags, c.flags) << c.name;
    }
  }
  EXPECT_EQ(area.refs, 1) << "every piece gave its style back";
}

// A slot whose lattice cannot be walked is left out and reported; the slots after it still draw.
TEST_F(SymbolRenderTest, AnUndrawableSlotIsLeftOut) {
  StyleComPtr<IJGraphic> symbol = Scripted({Primitive({0, 0, 1, 0})});
  StyleComPtr<IJStyleSymbolFill> fill = NewSymbolFill();
  AddSlots(fill.Get(), {Lattice(symbol.Get(), 1.2e-7, 1.2e-7), Lattice(symbol.Get(), 20, 100)});
  const Drawn drawn = Draw(fill.Get(), Box(0, 0, 1000, 1000), Turned(0));
  EXPECT_EQ(drawn.hr, E_INVALIDARG);
  EXPECT_EQ(drawn.lines.size(), 500u);
  const std::vector<PellowReport> reports = Reports();
  EXPECT_TRUE(std::any_of(reports.begin(), reports.end(),
                          [](const PellowReport& r) { return std::string(r.source) == "SYMBLSYM"; }));
}

}  // namespace

// The default style set built into a new document's library: each section read back through the styles'
// interfaces, the active styles, a second build, and a failure at every kind of step.
#include <numbers>
#include <string>
#include <vector>

#include "display/style/stylspt/AddStyles.h"
#include "host/sithe/sithe.h"
#include "tests/stylspt/stylspt_fixtures.h"

namespace stylspt_test {
namespace {

using ::testing::ElementsAreArray;
using stylesrv_test::ClearReports;

constexpr double kPi = std::numbers::pi;
constexpr DWORD kDashFlags = 0x01000000;

class DefaultStyleSetTest : public StyleExportsTest {
 protected:
  void SetUp() override {
    StyleExportsTest::SetUp();
    SetFonts(GetUserDefaultLangID());
  }
  void TearDown() override {
    Set().FailAt(0, S_OK);
    SitheSetFonts(nullptr, 0);
    SitheSetDefaultFont(nullptr);
    SitheFailRenderService(S_OK, S_OK);
    StyleExportsTest::TearDown();
  }
  // A language that is not the user's.
  static WORD Other() { return GetUserDefaultLangID() == 0x0407 ? 0x040C : 0x0407; }
  // "Arial" taking the language (and another), "Courier" taking only the other.
  static void SetFonts(WORD language) {
    const WORD arial[] = {language, Other()}, courier[] = {Other()};
    const SitheFont fonts[] = {{L"Arial", arial, 2, FALSE}, {L"Courier", courier, 1, FALSE}};
    SitheSetFonts(fonts, 2);
  }
  const DefaultStyleFunctions& Set() const { return *server.internals().GetDefaultStyles(); }
  std::wstring Text(UINT id) const {
    wchar_t text[128] = {};
    EXPECT_GT(LoadStringW(server.internals().GetResourceModule(), id, text, 128), 0) << id;
    return text;
  }
  static DWORD IdOf(const Drawing& drawing, const std::wstring& name, const GUID& type) {
    DWORD id = 0;
    EXPECT_EQ(drawing->FindStyleIDByName(name.c_str(), &type, &id), S_OK) << std::string(name.begin(), name.end());
    return id;
  }
  static DWORD Active(const Drawing& drawing, const GUID& type) {
    DWORD id = 0;
    drawing->GetActiveStyleID(&type, &id, 0);
    return id;
  }
};

TEST_F(DefaultStyleSetTest, DashTypesAndLineStylesReadBackTheirRowsAndUses) {
  Drawing drawing;
  ASSERT_EQ(Set().AddDefaultStyleSet(drawing.D()), S_OK);

  struct DashCase {
    std::wstring name;
    std::vector<double> lengths;
    DWORD flags;
    double endFraction;
    DWORD uses;  // lines and hatch families that name it
  };
  const DashCase dashes[] = {
      {Text(12210), {-0.0035, -0.00175}, kDashFlags, 0.5, 1},
      {Text(12212), {-0.014, 0.00175, 0.00175, 0.00175}, kDashFlags | 1, 0.5, 0},
      {Text(12213), {0.00035, -0.00175}, kDashFlags, 1.0, 1},
      {Text(12202), {0.0, 0.0015875, -0.003175, 0.0015875}, kDashFlags | 1, 0.0, 0},
      {L"Hatch Dash 1", {0.003175, 0.003175}, kDashFlags, 1.0, 5},
      {L"Hatch Dash 9", {0.00635, 0.00635}, kDashFlags, 1.0, 8},
      {L"Hatch Dash 17", {0.004763, 0.0311585245}, kDashFlags, 1.0, 1},
      {L"Hatch Dash 18", {0.004763, 0.0206375}, kDashFlags, 1.0, 2},
  };
  for (const DashCase& c : dashes) {
    SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
    const DWORD id = IdOf(drawing, c.name, STYLETYPE_Dash);
    auto dash = drawing.Style<IJStyleSimpleDashType>(id, IID_IJStyleSimpleDashType);
    ASSERT_TRUE(dash);
    double lengths[8] = {};
    tagStyleSimpleDashTypeData data{0, 8, lengths, 0, 0.0, 0};
    ASSERT_EQ(dash->GetData(&data), S_OK);
    EXPECT_EQ(data.unitsCode, STYLE_UNITS_11);
    EXPECT_THAT(std::vector<double>(lengths, lengths + data.count), ElementsAreArray(c.lengths));
    EXPECT_EQ(data.flags, c.flags);
    EXPECT_EQ(data.endFraction, c.endFraction);
    EXPECT_EQ(drawing.UseCount(id), c.uses);
  }

  struct LineCase {
    UINT name;
    double width;
    UINT dash;  // 0: solid
  };
  const LineCase lines[] = {{12200, 0.00035, 0},     {12204, 0.0007, 0},      {12205, 0.00035, 12210},
                            {12211, 0.00035, 12211}, {12203, 0.00035, 12203}, {12206, 0.00035, 12213},
                            {12214, 0.00035, 12214}, {12207, 0.00035, 12209}, {12208, 0.00035, 12201}};
  DWORD previous = IdOf(drawing, L"Hatch Dash 18", STYLETYPE_Dash);
  for (const LineCase& c : lines) {
    SCOPED_TRACE(c.name);
    const DWORD id = IdOf(drawing, Text(c.name), STYLETYPE_Linear);
    EXPECT_GT(id, previous) << "created in the table's order, after the dash types";
    previous = id;
    auto line = drawing.Style<IJStyleSimpleLine>(id, IID_IJStyleSimpleLine);
    ASSERT_TRUE(line);
    tagStyleSimpleLineData data{};
    ASSERT_EQ(line->GetData(&data), S_OK);
    EXPECT_EQ(data.colour, 0u);
    EXPECT_EQ(data.unitsCode, STYLE_UNITS_11);
    EXPECT_EQ(data.width, c.width);
    EXPECT_EQ(data.styleFlags & SLINE_FIT, SLINE_FIT);
    DWORD dashID = 0;
    EXPECT_EQ(line->GetDashTypeID(&dashID), S_OK);
    EXPECT_EQ(dashID, c.dash ? IdOf(drawing, Text(c.dash), STYLETYPE_Dash) : 0u);
  }
}

TEST_F(DefaultStyleSetTest, HatchPatternsCarryTheirFamiliesAndEachPatternFillItsPattern) {
  Drawing drawing;
  ASSERT_EQ(Set().AddDefaultStyleSet(drawing.D()), S_OK);
  const UINT names[] = {12200, 12171, 12173, 12174, 12175, 12176, 12177, 12178, 12179, 12180, 12181,
                        12182, 12183, 12184, 12185, 12186, 12187, 12188, 12189, 12190, 12191, 12192};
  const DWORD familyCounts[] = {1, 2, 1, 2, 3, 3, 2, 3, 3, 3, 2, 2, 4, 3, 6, 4, 4, 2, 1, 3, 2, 3};
  DWORD previous = IdOf(drawing, Text(12199), STYLETYPE_Fill);
  for (size_t row = 0; row < std::size(names); ++row) {
    SCOPED_TRACE(names[row]);
    const DWORD hatchID = IdOf(drawing, Text(names[row]), STYLETYPE_HatchFillPattern);
    const DWORD fillID = IdOf(drawing, Text(names[row]), STYLETYPE_Fill);
    EXPECT_EQ(hatchID, previous + 1);
    EXPECT_EQ(fillID, hatchID + 1);
    previous = fillID;
    auto hatch = drawing.Style<IJStyleHatchFill>(hatchID, IID_IJStyleHatchFill);
    ASSERT_TRUE(hatch);
    DWORD count = 0, units = 0;
    EXPECT_EQ(hatch->GetFamilyCount(&count), S_OK);
    EXPECT_EQ(count, familyCounts[row]);
    EXPECT_EQ(hatch->GetUnits(&units), S_OK);
    EXPECT_EQ(units, STYLE_UNITS_11);
    for (LONG i = 0; i < static_cast<LONG>(count); ++i) {
      HatchFamilyDesc family{};
      ASSERT_EQ(hatch->GetFamily(i, &family), S_OK);
      EXPECT_EQ(family.originZ, 0.0);
      EXPECT_EQ(family.color, 0u);
      EXPECT_EQ(family.width, 0.00035);
      EXPECT_EQ(family.keepMask, 0u);
      if (family.dashType) family.dashType->Release();
    }
    auto fill = drawing.Style<IJStyleSimpleFill>(fillID, IID_IJStyleSimpleFill);
    ASSERT_TRUE(fill);
    DWORD colour = 0, patternID = 0;
    EXPECT_EQ(fill->GetColor(&colour), S_OK);
    EXPECT_EQ(colour, kNoFillColour);
    EXPECT_EQ(fill->GetPatternID(&patternID), S_OK);
    EXPECT_EQ(patternID, hatchID);
  }

  struct FamilyCase {
    UINT name;
    LONG index;
    double angle, spacing, shift, originX, originY;
    const wchar_t* dash;  // null: solid
  };
  const FamilyCase families[] = {
      {12200, 0, 0.0, 0.003175, 0.0, 0.0, 0.0, nullptr},
      {12175, 2, 2 * kPi / 3, 0.003175, 0.0, 0.0, 0.0, nullptr},
      {12177, 1, kPi / 4, 0.00449013, 0.00449013, 0.00635, 0.0, L"Hatch Dash 5"},
      {12180, 0, 0.0, 0.00824889196, 0.004763, -0.00238125, 0.00412444598, L"Hatch Dash 6"},
      {12183, 3, 3 * kPi / 4, 0.0089802462, 0.0, 0.003175, 0.001588, L"Hatch Dash 3"},
      {12185, 5, kPi / 2, 0.00635, 0.00635, 0.00555625, 0.00555625, L"Hatch Dash 9"},
      {12187, 3, -0.7417649321, 0.0680212, 0.04123436, -0.031242, 0.0, L"Hatch Dash 14"},
      {12188, 1, kPi / 2, 0.00635, 0.00635, 0.001588, -0.001588, L"Hatch Dash 15"},
      {12192, 2, 0.0, 0.009525, 0.0, 0.0, 0.00635, L"Hatch Dash 8"},
  };
  for (const FamilyCase& c : families) {
    SCOPED_TRACE(c.name);
    auto hatch = drawing.Style<IJStyleHatchFill>(IdOf(drawing, Text(c.name), STYLETYPE_HatchFillPattern),
                                                 IID_IJStyleHatchFill);
    ASSERT_TRUE(hatch);
    HatchFamilyDesc family{};
    ASSERT_EQ(hatch->GetFamily(c.index, &family), S_OK);
    if (family.dashType) family.dashType->Release();
    EXPECT_EQ(family.angle, c.angle);
    EXPECT_EQ(family.spacing, c.spacing);
    EXPECT_EQ(family.shift, c.shift);
    EXPECT_EQ(family.originX, c.originX);
    EXPECT_EQ(family.originY, c.originY);
    DWORD dashID = 0;
    EXPECT_EQ(hatch->GetFamilyDashTypeId(c.index, &dashID), S_OK);
    EXPECT_EQ(dashID, c.dash ? IdOf(drawing, c.dash, STYLETYPE_Dash) : 0u);
  }
}

TEST_F(DefaultStyleSetTest, TextStylesTakeTheDefaultFontAndTheUsersLanguageWhenTheFontHasIt) {
  const LANGID user = GetUserDefaultLangID();
  const std::wstring longName(40, L'W');
  struct Case {
    const wchar_t* font;  // what the render service answers
    std::wstring stored;
    WORD language;
  };
  const Case cases[] = {
      {nullptr, L"Arial", user},
      {L"Courier", L"Courier", Other()},  // the font's own: the user's is refused
      {longName.c_str(), longName.substr(0, 31), 0},  // unterminated: cut to the buffer; a font it does not know
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.stored.begin(), c.stored.end()));
    SitheSetDefaultFont(c.font);
    Drawing drawing;
    ASSERT_EQ(Set().AddDefaultStyleSet(drawing.D()), S_OK);
    const DWORD charID = IdOf(drawing, Text(12200), STYLETYPE_TextChar);
    auto text = drawing.Style<IJStyleTextChar>(charID, IID_IJStyleTextChar);
    ASSERT_TRUE(text);
    wchar_t font[64] = {};
    EXPECT_EQ(text->GetFontName(font), S_OK);
    EXPECT_EQ(font, c.stored);
    double size = 0.0;
    DWORD sizeUnits = 0, units = 0;
    WORD language = 0xFFFF;
    EXPECT_EQ(text->GetSize(&size, &sizeUnits), S_OK);
    EXPECT_EQ(size, 0.003175);
    EXPECT_EQ(sizeUnits, 13u);
    EXPECT_EQ(text->GetUnits(&units), S_OK);
    EXPECT_EQ(units, STYLE_UNITS_11);
    EXPECT_EQ(text->GetLanguage(&language), S_OK);
    EXPECT_EQ(language, c.language);

    const DWORD paraID = IdOf(drawing, Text(12200), STYLETYPE_TextPara);
    auto para = drawing.Style<IJStyleTextPara>(paraID, IID_IJStyleTextPara);
    ASSERT_TRUE(para);
    DWORD referred = 0, mode = 0;
    double spacing = 0.0;
    ParaStopEntry stops[kParaStopCount] = {};
    EXPECT_EQ(para->GetCharStyleID(&referred), S_OK);
    EXPECT_EQ(referred, charID);
    EXPECT_EQ(para->GetStopEntries(kParaStopCount, stops), S_OK);
    for (const ParaStopEntry& stop : stops) EXPECT_EQ(stop.value, 0.00635);
    EXPECT_EQ(para->GetLineSpacingWithMode(&spacing, &mode), S_OK);
    EXPECT_EQ(spacing, 1.0);
    EXPECT_EQ(mode, 18u);
    EXPECT_EQ(Active(drawing, STYLETYPE_TextPara), paraID);
  }
}

// After a full build the first line, the first pattern fill (not the solid fill made active before it) and the
// paragraph are active; a second build adds nothing and leaves a style the user changed as it is.
TEST_F(DefaultStyleSetTest, ActiveStylesAndASecondBuildThatChangesNothing) {
  Drawing drawing;
  ASSERT_EQ(Set().AddDefaultStyleSet(drawing.D()), S_OK);
  EXPECT_EQ(Active(drawing, STYLETYPE_Linear), IdOf(drawing, Text(12200), STYLETYPE_Linear));
  EXPECT_EQ(Active(drawing, STYLETYPE_Fill), IdOf(drawing, Text(12200), STYLETYPE_Fill));
  EXPECT_EQ(Active(drawing, STYLETYPE_Dash), 0u);
  const DWORD count = drawing.StyleCount();
  EXPECT_EQ(count, 27u + 9u + 1u + 44u + 2u);

  const DWORD wideID = IdOf(drawing, Text(12204), STYLETYPE_Linear);
  ASSERT_EQ(drawing.Style<IJStyleSimpleLine>(wideID, IID_IJStyleSimpleLine)->SetWidth(0.002), S_OK);
  const DWORD dashUses = drawing.UseCount(IdOf(drawing, L"Hatch Dash 9", STYLETYPE_Dash));
  ClearReports();
  ASSERT_EQ(Set().AddDefaultStyleSet(drawing.D()), S_OK);
  EXPECT_EQ(drawing.StyleCount(), count);
  double width = 0.0;
  drawing.Style<IJStyleSimpleLine>(wideID, IID_IJStyleSimpleLine)->GetWidth(&width);
  EXPECT_EQ(width, 0.002);
  EXPECT_EQ(drawing.UseCount(IdOf(drawing, L"Hatch Dash 9", STYLETYPE_Dash)), dashUses);
  DWORD families = 0;
  drawing.Style<IJStyleHatchFill>(IdOf(drawing, Text(12185), STYLETYPE_HatchFillPattern), IID_IJStyleHatchFill)
      ->GetFamilyCount(&families);
  EXPECT_EQ(families, 6u);
  EXPECT_TRUE(ReportedBy("addstyls").empty());
}

// A failure at any checked step ends the build with that failure, reported, keeping what was made; the render
// service's failures are the builder's too. The suite's leak check covers every path.
TEST_F(DefaultStyleSetTest, AFailureAtAnyStepEndsTheBuildReportedAndKeepsWhatWasMade) {
  const HRESULT failure = static_cast<HRESULT>(0x8004DEAD);
  LONG steps = 0;
  DWORD full = 0;
  {
    Drawing drawing;
    Set().FailAt(0, S_OK);
    ASSERT_EQ(Set().AddDefaultStyleSet(drawing.D()), S_OK);
    steps = Set().FailAt(0, S_OK);
    full = drawing.StyleCount();
  }
  ASSERT_GT(steps, 300);
  DWORD before = 0;
  for (LONG n = 1; n <= steps; n += (n < 8 || n > steps - 8) ? 1 : 23) {
    SCOPED_TRACE(n);
    Drawing drawing;
    ClearReports();
    Set().FailAt(n, failure);
    EXPECT_EQ(Set().AddDefaultStyleSet(drawing.D()), failure);
    EXPECT_THAT(ReportedBy("addstyls"), ElementsAreArray({failure}));
    Set().FailAt(0, S_OK);
    EXPECT_GE(drawing.StyleCount(), before) << "a later failure keeps at least what an earlier one did";
    before = drawing.StyleCount();
    EXPECT_LE(before, full);
  }

  const HRESULT service[][2] = {{E_ACCESSDENIED, S_OK}, {S_OK, E_ACCESSDENIED}};
  for (const auto& answers : service) {
    Drawing drawing;
    ClearReports();
    SitheFailRenderService(answers[0], answers[1]);
    EXPECT_EQ(Set().AddDefaultStyleSet(drawing.D()), E_ACCESSDENIED);
    EXPECT_THAT(ReportedBy("addstyls"), ElementsAreArray({E_ACCESSDENIED}));
    EXPECT_EQ(drawing.StyleCount(), 27u + 9u + 1u + 44u) << "no text style without a font";
  }
  SitheFailRenderService(S_OK, S_OK);
}

}  // namespace
}  // namespace stylspt_test

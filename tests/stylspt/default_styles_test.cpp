// The default style set built into a new document's library: each section read back through the styles'
// interfaces, the active styles, a second build, and a failure at every kind of step.
#include <algorithm>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include "display/style/stylspt/AddStyles.h"
#include "host/app/dimension_style.h"
#include "host/app/graphic_element.h"
#include "host/app/symbol_graphics.h"
#include "host/quarnet/quarnet.h"
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
    ASSERT_EQ(HostDimensionStyle::Register(&m_dimensionCookie), S_OK);
    ASSERT_EQ(host_app::RegisterSymbolGraphicClasses(&m_graphicCookies), S_OK);
  }
  void TearDown() override {
    CoRevokeClassObject(m_dimensionCookie);
    host_app::RevokeSymbolGraphicClasses(m_graphicCookies);
    QnFailTwoPointsAt(0, 0);
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
  // The host document calls of one kind since the last clear.
  static std::vector<HostDocumentCall> CallsOf(DWORD kind) {
    std::vector<HostDocumentCall> calls;
    for (LONG i = 0; i < HostDocumentCallCount(); ++i) {
      HostDocumentCall call{};
      HostGetDocumentCall(i, &call);
      if (call.kind == kind) calls.push_back(call);
    }
    return calls;
  }
  // The record a dimension style of the set was given.
  std::vector<BYTE> DimRecord(const Drawing& drawing, UINT name) const {
    auto style = drawing.Style<IUnknown>(IdOf(drawing, Text(name), STYLETYPE_Dimension), IID_IUnknown);
    HostDimensionStyle* dimension = HostDimensionStyle::From(style.Get());
    return dimension ? dimension->Record() : std::vector<BYTE>{};
  }

 private:
  DWORD m_dimensionCookie = 0;
  host_app::SymbolGraphicClasses m_graphicCookies;
};

constexpr DWORD kMainSetCount = 27 + 9 + 1 + 44 + 2 + 6;

// A drawing whose document keeps style symbols in a "StyleCluster", as a new document of the host does.
class ClusterDrawing : public Drawing {
 public:
  ClusterDrawing() {
    StyleComPtr<IUnknown> cluster(host_app::CreatePolylineElement({}));
    DWORD id = 0;
    EXPECT_EQ(document->RegisterObject(cluster.Get(), &id, nullptr), S_OK);
    EXPECT_EQ(HostDocumentSetNamedObject(document, L"StyleCluster", cluster.Get()), S_OK);
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
    WORD language = 0xFFFF;
    EXPECT_EQ(text->GetFontName(font), S_OK);
    EXPECT_EQ(font, c.stored);
    EXPECT_EQ(text->GetLanguage(&language), S_OK);
    EXPECT_EQ(language, c.language);
    const DWORD paraID = IdOf(drawing, Text(12200), STYLETYPE_TextPara);
    EXPECT_EQ(Active(drawing, STYLETYPE_TextPara), paraID);
    if (&c != cases) continue;  // the rest does not depend on the font

    double size = 0.0;
    DWORD sizeUnits = 0, units = 0;
    EXPECT_EQ(text->GetSize(&size, &sizeUnits), S_OK);
    EXPECT_EQ(size, 0.003175);
    EXPECT_EQ(sizeUnits, 13u);
    EXPECT_EQ(text->GetUnits(&units), S_OK);
    EXPECT_EQ(units, STYLE_UNITS_11);
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
  EXPECT_EQ(Active(drawing, STYLETYPE_Dimension), IdOf(drawing, Text(12193), STYLETYPE_Dimension));
  EXPECT_EQ(count, kMainSetCount);

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

// The full set-up builds both sets; a failure at any checked step ends it with that failure, reported, keeping
// what was made; the render service's failures are the builder's too. The suite's leak check covers every path.
TEST_F(DefaultStyleSetTest, AFailureAtAnyStepEndsTheBuildReportedAndKeepsWhatWasMade) {
  const HRESULT failure = static_cast<HRESULT>(0x8004DEAD);
  LONG steps = 0;
  DWORD full = 0;
  {
    ClusterDrawing drawing;
    Set().FailAt(0, S_OK);
    ASSERT_EQ(HAddDefaultStyles(drawing.D(), TRUE), S_OK);
    steps = Set().FailAt(0, S_OK);
    full = drawing.StyleCount();
  }
  ASSERT_GT(steps, 300);
  EXPECT_EQ(full, kMainSetCount + 5) << "both sets";
  EXPECT_EQ(HAddDefaultStyles(nullptr, TRUE), E_INVALIDARG);
  DWORD before = 0;
  for (LONG n = 1; n <= steps; ++n) {
    SCOPED_TRACE(n);
    ClusterDrawing drawing;
    ClearReports();
    Set().FailAt(n, failure);
    EXPECT_EQ(HAddDefaultStyles(drawing.D(), TRUE), failure);
    const std::vector<HRESULT> reported = ReportedBy("addstyls");
    EXPECT_THAT(reported, ::testing::AllOf(::testing::Not(::testing::IsEmpty()), ::testing::Each(failure)));
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
    EXPECT_EQ(drawing.StyleCount(), 27u + 9u + 1u + 44u) << "nothing after the text styles without a font";
  }
  SitheFailRenderService(S_OK, S_OK);
}

// Every dimension style has byte 888 set; the first is the exception record in the default's colours, the fourth
// the default with two more bytes, the others their variant of it.
TEST_F(DefaultStyleSetTest, DimensionStylesCarryTheirVariantOfTheDefaultRecord) {
  Drawing drawing;
  ASSERT_EQ(Set().AddDefaultStyleSet(drawing.D()), S_OK);
  const std::vector<BYTE> base = DimRecord(drawing, 12197);
  ASSERT_EQ(base.size(), 1321u);
  std::vector<BYTE> exception;
  {
    Drawing other;
    DWORD id = 0;
    StyleComPtr<IUnknown> object;
    ASSERT_EQ(HGetDimExceptionStyle(&id, object.Put(), other.D()), S_OK);
    exception = HostDimensionStyle::From(object.Get())->Record();
  }
  ASSERT_EQ(exception.size(), base.size());
  std::copy(base.begin() + 892, base.begin() + 904, exception.begin() + 892);
  EXPECT_EQ(DimRecord(drawing, 12193), exception);
  std::vector<BYTE> row4 = base;
  row4[866] = 7;
  row4[872] = 1;
  EXPECT_EQ(DimRecord(drawing, 12196), row4);

  auto doubleAt = [](const std::vector<BYTE>& record, size_t at) {
    double value = 0.0;
    std::memcpy(&value, record.data() + at, sizeof value);
    return value;
  };
  const std::vector<BYTE> v4 = DimRecord(drawing, 12194), v2 = DimRecord(drawing, 12195),
                          v3 = DimRecord(drawing, 12198);
  EXPECT_EQ(std::vector<BYTE>(v4.begin() + 2, v4.begin() + 5), (std::vector<BYTE>{2, 1, 0x12}));
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(v4.data() + 16)), L"'");
  EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(v4.data() + 58)), L"\"");
  EXPECT_EQ(v4[497], 3);
  EXPECT_EQ(v2[865], 1);
  EXPECT_EQ(doubleAt(v2, 224), 0.8);
  EXPECT_EQ(doubleAt(v3, 200), 0.0045);
  EXPECT_EQ(v3[501], 3);
  for (UINT name = 12193; name <= 12198; ++name) EXPECT_EQ(DimRecord(drawing, name).at(888), 1) << name;
}

TEST_F(DefaultStyleSetTest, TheSymbolLineRepeatsAZigzagDrawnWithItsOwnUnnamedLine) {
  ClusterDrawing drawing;
  const DWORD before = drawing.StyleCount();
  HostClearNotifications();
  HostClearDocumentCalls();
  ASSERT_EQ(Set().AddDefaultSymbolLineStyle(drawing.D()), S_OK) << ::testing::PrintToString(stylesrv_test::Reports());
  ASSERT_EQ(drawing.StyleCount(), before + 5);
  const std::wstring name = Text(12215);
  const DWORD symbolID = IdOf(drawing, name, STYLETYPE_PointSymbol);
  const DWORD segmentStyleID = symbolID - 1, generatorID = symbolID + 1;
  EXPECT_EQ(IdOf(drawing, name, STYLETYPE_Dash), symbolID + 2);
  EXPECT_EQ(IdOf(drawing, name, STYLETYPE_Linear), symbolID + 3);

  auto symbol = drawing.Style<IJStylePointSymbol>(symbolID, IID_IJStylePointSymbol);
  ASSERT_TRUE(symbol);
  StyleComPtr<IJGraphic> graphic;
  ASSERT_EQ(symbol->GetGraphic(graphic.Put()), S_OK);
  const std::vector<IUnknown*> members = host_app::GroupMembers(graphic.Get());
  ASSERT_EQ(members.size(), 3u);
  const double ends[3][4] = {{-0.01, 0.0, -0.005, 0.005}, {-0.005, 0.005, 0.005, -0.005}, {0.005, -0.005, 0.01, 0.0}};
  std::vector<IUnknown*> placed = {IdentityOf(graphic.Get())};
  for (size_t i = 0; i < 3; ++i) {
    host_app::SegmentState segment{};
    ASSERT_TRUE(host_app::ReadSegment(members[i], &segment));
    EXPECT_THAT(segment.geometry.start, ElementsAreArray({ends[i][0], ends[i][1]}));
    EXPECT_THAT(segment.geometry.end, ElementsAreArray({ends[i][2], ends[i][3]}));
    EXPECT_EQ(segment.styleID, segmentStyleID);
    placed.push_back(IdentityOf(members[i]));
  }
  std::vector<IUnknown*> inserted;
  for (const HostDocumentCall& call : CallsOf(HOST_DOC_INSERT)) inserted.push_back(call.object);
  EXPECT_EQ(inserted, placed);
  std::vector<GUID> placements;
  for (const HostNotification& n : styllib_test::NotificationsOf(HOST_DOCUMENT_CALL_SERVICE)) {
    placements.push_back(*reinterpret_cast<const GUID*>(static_cast<UINT_PTR>(n.mode)));
  }
  const GUID graphicIid = {0xC1430B82, 0xCE5D, 0x11CE, {0x94, 0x72, 0x08, 0x00, 0x36, 0x1C, 0x06, 0x02}};
  const GUID lineIid = {0x77169D81, 0xEC58, 0x11CD, {0xBB, 0x2E, 0x08, 0x00, 0x36, 0x01, 0xBD, 0xA9}};
  EXPECT_EQ(placements, (std::vector<GUID>{graphicIid, lineIid, lineIid, lineIid}));

  auto dash = drawing.Style<IJStyleSimpleDashType>(symbolID + 2, IID_IJStyleSimpleDashType);
  double lengths[4] = {};
  tagStyleSimpleDashTypeData data{0, 4, lengths, 0, 0.0, 0};
  ASSERT_EQ(dash->GetData(&data), S_OK);
  EXPECT_THAT(lengths, ElementsAreArray({-0.007, 0.0, -0.007, 0.0}));
  EXPECT_EQ(data.endFraction, 1.0);
  DWORD clients[4] = {};
  EXPECT_TRUE(SUCCEEDED(drawing.Style<IJStyleDashType>(symbolID + 2, IID_IJStyleDashType)->GetClientIDs(4, clients)));
  EXPECT_THAT(clients, ElementsAreArray({DWORD{0}, generatorID, DWORD{0}, DWORD{0}}));
  DWORD entrySymbol = 0, absolute = 1, upright = 1;
  float fraction = 0.0f;
  double along = 1.0, across = 1.0, angle = 1.0;
  EXPECT_EQ(drawing.Style<IJStyleLinePointGen>(generatorID, IID_IJStyleLinePointGen)
                ->GetEntryByID(1, &entrySymbol, &fraction, &along, &across, &angle, &absolute, &upright),
            S_OK);
  EXPECT_EQ(entrySymbol, symbolID);
  EXPECT_EQ(fraction, 0.5f);

  auto line = drawing.Style<IJStyleSimpleLine>(symbolID + 3, IID_IJStyleSimpleLine);
  tagStyleSimpleLineData lineData{};
  DWORD dashID = 0;
  ASSERT_EQ(line->GetData(&lineData), S_OK);
  EXPECT_EQ(lineData.styleFlags, SLINE_FIT | SLINE_WIDTH_FIXED | SLINE_COLOUR_FIXED);
  EXPECT_EQ(lineData.width, 0.00035);
  EXPECT_EQ(line->GetDashTypeID(&dashID), S_OK);
  EXPECT_EQ(dashID, symbolID + 2);

  EXPECT_EQ(Set().AddDefaultSymbolLineStyle(drawing.D()), S_OK);
  EXPECT_EQ(drawing.StyleCount(), before + 5) << "a second call adds nothing";
}

// A segment the geometry library refuses ends the build with E_FAIL and no report; the unnamed line and the
// group with the segments before it stay.
TEST_F(DefaultStyleSetTest, ARefusedSegmentEndsTheSymbolLineUnreported) {
  ClusterDrawing drawing;
  const DWORD before = drawing.StyleCount();
  ClearReports();
  HostClearDocumentCalls();
  QnFailTwoPointsAt(2, 7);
  EXPECT_EQ(Set().AddDefaultSymbolLineStyle(drawing.D()), E_FAIL);
  EXPECT_TRUE(stylesrv_test::Reports().empty());
  EXPECT_EQ(drawing.StyleCount(), before + 1);
  const std::vector<HostDocumentCall> adds = CallsOf(HOST_DOC_GROUP_ADD);
  EXPECT_EQ(std::count_if(adds.begin(), adds.end(), [](const HostDocumentCall& c) { return SUCCEEDED(c.result); }), 1);
}

// Activation only makes the default names active type by type and stops at the first type without its name.
TEST_F(DefaultStyleSetTest, ActivationOnlyStopsAtTheFirstTypeWithoutItsName) {
  struct Named {
    CLSID clsid;
    GUID type;
    UINT name;
  };
  const Named kinds[] = {{CLSID_JStyleSimpleLine, STYLETYPE_Linear, 12200},
                         {CLSID_JStyleSimpleFill, STYLETYPE_Fill, 12200},
                         {CLSID_JStyleTextPara, STYLETYPE_TextPara, 12200},
                         {CLSID_HostDimensionStyle, STYLETYPE_Dimension, 12193}};
  const struct {
    size_t named;  // the first `named` kinds have their name
    HRESULT answer;
  } cases[] = {{0, static_cast<HRESULT>(0x80040221)}, {3, static_cast<HRESULT>(0x80040221)}, {4, S_OK}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.named);
    Drawing drawing;
    std::vector<DWORD> ids;
    for (size_t i = 0; i < c.named; ++i) ids.push_back(drawing.Create(kinds[i].clsid, Text(kinds[i].name).c_str(), kinds[i].type));
    std::vector<DWORD> activeBefore;
    for (const Named& k : kinds) activeBefore.push_back(Active(drawing, k.type));
    EXPECT_EQ(HAddDefaultStyles(drawing.D(), FALSE), c.answer);
    for (size_t i = 0; i < std::size(kinds); ++i) {
      EXPECT_EQ(Active(drawing, kinds[i].type), i < c.named ? ids[i] : activeBefore[i]) << i;
    }
  }
}

}  // namespace
}  // namespace stylspt_test

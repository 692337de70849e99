// Styles made from description records: fills found by name and overridden, fresh fills with hatch lines and
// their dashes, lines by dash code, 3D multiplexers through the workbench, refused descriptions, and failures of
// the library and of the engine's allocator part way through.
#include <limits>

#include "display/style/styltrn/StyleDescriptions.h"
#include "host/app/graphic_element.h"
#include "host/app/mux3d_components.h"
#include "tests/bases/recording_librarian.h"
#include "tests/stylspt/stylspt_fixtures.h"

namespace stylspt_test {
namespace {

constexpr HRESULT kInjected = static_cast<HRESULT>(0x8004AB01);
const double kLengths[] = {0.004, -0.002};

UFHatchLine Line(DWORD kind = UF_DASH_NONE) {
  return UFHatchLine{0.5, 0.01, 0.0, 0.0, 0.0, 0.0, kUFColourNotGiven, 0, 0.0, {kind, {nullptr}, 0, 0}};
}

UFFillData Fill(LPCWSTR name, LONG count = 0, const UFHatchLine* lines = nullptr) {
  return UFFillData{name, 0.0, 0.0, 0.0, 0.0, kUFColourNotGiven, 12, count, lines, 0, 0.0};
}

HRESULT Make(const GUID& type, const UFStyleRecord& description, IUnknown* document, DWORD* id,
             IUnknown** style = nullptr) {
  return HCreateStyleFromUF(type, &description, document, nullptr, id, style);
}

HRESULT MakeFill(const UFFillData& fill, IUnknown* document, DWORD* id, IUnknown** style = nullptr) {
  UFStyleRecord description{};
  description.fill = &fill;
  return Make(STYLETYPE_Fill, description, document, id, style);
}

template <class T>
StyleComPtr<T> As(IUnknown* object, REFIID iid) {
  T* typed = nullptr;
  if (object) object->QueryInterface(iid, reinterpret_cast<void**>(&typed));
  return StyleComPtr<T>(typed);
}

DWORD IdByName(const Drawing& drawing, LPCWSTR name, const GUID& type) {
  DWORD id = 0;
  return SUCCEEDED(drawing->FindStyleIDByName(name, &type, &id)) ? id : 0;
}

// With the host's 3D multiplexer components registered, as the workbench needs them.
class DescriptionTest : public StyleExportsTest {
 protected:
  void SetUp() override {
    StyleExportsTest::SetUp();
    ASSERT_EQ(host_app::RegisterMux3dStyleClass(&m_styleCookie), S_OK);
    ASSERT_EQ(host_app::RegisterMux3dAppearanceClass(&m_appearanceCookie), S_OK);
  }
  void TearDown() override {
    CoRevokeClassObject(m_styleCookie);
    CoRevokeClassObject(m_appearanceCookie);
    host_app::Mux3dComponentCalls() = {};
    StyleExportsTest::TearDown();
  }
  DWORD m_styleCookie = 0, m_appearanceCookie = 0;
};

// A found fill is reused as it is when the description gives no value, else overridden in exactly that value.
TEST_F(DescriptionTest, AFoundFillIsOverriddenInEachValueTheDescriptionGives) {
  struct Row {
    const char* what;
    void (*edit)(UFFillData&, UFHatchLine&);
    DWORD flags;
  };
  const Row rows[] = {
      {"no value", [](UFFillData&, UFHatchLine&) {}, 0},
      {"fill scale 1.0 means none", [](UFFillData& f, UFHatchLine&) { f.fillScale = 1.0; }, 0},
      {"a negative line count reads no line", [](UFFillData& f, UFHatchLine& l) { f.lineCount = -1, l.width = 3; }, 0},
      {"fill colour", [](UFFillData& f, UFHatchLine&) { f.fillColour = 0x00FF00; }, OVR_FILL_COLOUR},
      {"pattern scale", [](UFFillData& f, UFHatchLine&) { f.patternScale = 2.5; }, OVR_ROTATION},
      {"fill scale", [](UFFillData& f, UFHatchLine&) { f.fillScale = 3.0; }, OVR_SCALE},
      {"line colour", [](UFFillData& f, UFHatchLine& l) { f.lineCount = 1, l.colour = 0xFF; }, OVR_COLOUR},
      {"line width", [](UFFillData& f, UFHatchLine& l) { f.lineCount = 1, l.width = 0.5; }, OVR_WIDTH},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Drawing drawing;
    const DWORD brick = drawing.Create(CLSID_JStyleSimpleFill, L"Brick", STYLETYPE_Fill);
    UFHatchLine line = Line();
    UFFillData fill = Fill(L"BRICK", 0, &line);
    row.edit(fill, line);
    const DWORD count = drawing.StyleCount();
    DWORD id = 0;
    StyleComPtr<IUnknown> style;
    ASSERT_EQ(MakeFill(fill, drawing.D(), &id, style.Put()), S_OK);
    EXPECT_EQ(IdentityOf(style.Get()), IdentityOf(drawing.Style<IUnknown>(id, IID_IUnknown).Get()));
    if (row.flags == 0) {
      EXPECT_EQ(id, brick);
      EXPECT_EQ(drawing.StyleCount(), count);
      continue;
    }
    EXPECT_EQ(drawing.StyleCount(), count + 1);
    tagStyleOverride got{};
    ASSERT_EQ(As<IJStyleOverride>(style.Get(), IID_IJStyleOverride)->GetData(&got), S_OK);
    EXPECT_EQ(got.flags & 0x1FF, row.flags);
    EXPECT_EQ(got.unitsCode, 12u);
    if (row.flags & OVR_FILL_COLOUR) { EXPECT_EQ(got.fillColour, 0x00FF00u); }
    if (row.flags & OVR_ROTATION) { EXPECT_EQ(got.rotationAngle, 2.5); }
    if (row.flags & OVR_SCALE) { EXPECT_EQ(got.scaleFactor, 3.0); }
    if (row.flags & OVR_COLOUR) { EXPECT_EQ(got.colour, 0xFFu); }
    if (row.flags & OVR_WIDTH) { EXPECT_EQ(got.width, 0.5); }
    StyleComPtr<IJStyleRender> base;
    ASSERT_EQ(As<IJStyleRender>(style.Get(), IID_IJStyleRender)->GetReferencedStyle(base.Put()), S_OK);
    EXPECT_EQ(IdentityOf(base.Get()), IdentityOf(drawing.Style<IUnknown>(brick, IID_IUnknown).Get()));
  }
}

// A fresh fill: without lines a plain simple fill; with lines an unnamed hatch of one family per line, each with
// the dash its reference resolves to.
TEST_F(DescriptionTest, AFreshFillGetsAHatchFamilyPerLineWithItsResolvedDash) {
  Drawing drawing;
  const DWORD given = drawing.Create(CLSID_JStyleSimpleDashType, L"Given", STYLETYPE_Dash);
  const DWORD dashDot = drawing.Create(CLSID_JStyleSimpleDashType, L"Dash dot", STYLETYPE_Dash);
  StyleComPtr<IUnknown> givenObject = drawing.Style<IUnknown>(given, IID_IUnknown);
  IUnknown* const dashDotObject = IdentityOf(drawing.Style<IUnknown>(dashDot, IID_IUnknown).Get());
  const double dashed[] = {-0.0035, -0.00175};
  struct Row {
    UFDashRef dash;
    IUnknown* same;         // the family's dash type, or null
    const double* lengths;  // or two lengths it has (and end fraction 0.5)
  };
  const Row rows[] = {
      {{UF_DASH_GIVEN, {givenObject.Get()}, 0, 0}, IdentityOf(givenObject.Get()), nullptr},
      {{UF_DASH_NONE, {nullptr}, 0, 0}, nullptr, nullptr},
      {{UF_DASH_LENGTHS, {.lengths = kLengths}, 2, 0}, nullptr, kLengths},
      {{UF_DASH_NAMED, {.name = L"Absent"}, 0, 0}, nullptr, nullptr},  // an entry without object when absent
      {{UF_DASH_NUMBER, {.number = 3}, 0, 0}, dashDotObject, nullptr},  // "Dash dot", which the library has
      {{UF_DASH_NUMBER, {.number = 10}, 0, 0}, nullptr, dashed},        // "Dashed", loaded from the table
      {{UF_DASH_NUMBER, {.number = 9}, 0, 0}, nullptr, nullptr},        // continuous
      {{7, {nullptr}, 0, 0}, nullptr, nullptr},
  };
  UFHatchLine lines[std::size(rows)];
  for (size_t i = 0; i < std::size(rows); ++i) lines[i] = Line(), lines[i].dash = rows[i].dash, lines[i].angle = i;
  UFFillData fill = Fill(L"Tiles", std::size(rows), lines);
  fill.fillColour = 0x123456;
  DWORD id = 0;
  StyleComPtr<IUnknown> style;
  ASSERT_EQ(MakeFill(fill, drawing.D(), &id, style.Put()), S_OK);
  EXPECT_EQ(IdByName(drawing, L"Tiles", STYLETYPE_Fill), id);
  const DWORD count = drawing.StyleCount();
  DWORD absent = 0;  // the name is there already, as an entry without object
  EXPECT_TRUE(SUCCEEDED(drawing->FindOrAddName(L"Absent", &STYLETYPE_Dash, &absent)));
  EXPECT_EQ(drawing.StyleCount(), count);
  auto simple = As<IJStyleSimpleFill>(style.Get(), IID_IJStyleSimpleFill);
  DWORD colour = 0, mask = 0;
  EXPECT_TRUE(SUCCEEDED(simple->GetColor(&colour)) && SUCCEEDED(simple->GetLockMask(&mask)));
  EXPECT_EQ(colour, 0x123456u);
  EXPECT_EQ(mask, 3u);
  StyleComPtr<IJStyleFillTypeRender> pattern;
  ASSERT_EQ(simple->GetPattern(pattern.Put()), S_OK);
  auto hatch = As<IJStyleHatchFill>(pattern.Get(), IID_IJStyleHatchFill);
  ASSERT_TRUE(hatch);
  DWORD families = 0;
  EXPECT_EQ(hatch->GetFamilyCount(&families), S_OK);
  ASSERT_EQ(families, std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    SCOPED_TRACE(i);
    HatchFamilyDesc family{};
    ASSERT_EQ(hatch->GetFamily(i, &family), S_OK);
    StyleComPtr<IJStyleDashTypeRender> dash(family.dashType);
    EXPECT_EQ(family.angle, static_cast<double>(i));
    if (!rows[i].lengths) {
      EXPECT_EQ(IdentityOf(dash.Get()), rows[i].same);
      continue;
    }
    double got[2] = {};
    tagStyleSimpleDashTypeData data{0, 2, got, 0, 0.0, 0};
    ASSERT_EQ(As<IJStyleSimpleDashType>(dash.Get(), IID_IJStyleSimpleDashType)->GetData(&data), S_OK);
    EXPECT_THAT(got, ::testing::ElementsAre(rows[i].lengths[0], rows[i].lengths[1]));
    EXPECT_EQ(data.endFraction, 0.5);
  }
  // Without lines: a plain fill with no pattern.
  ASSERT_EQ(MakeFill(Fill(L"Plain"), drawing.D(), &id, style.Put()), S_OK);
  ASSERT_EQ(As<IJStyleSimpleFill>(style.Get(), IID_IJStyleSimpleFill)->GetPattern(pattern.Put()), S_OK);
  EXPECT_EQ(pattern.Get(), nullptr);
}

// Lines by dash code: continuous, custom (line and dash share the name), a dash number (added under the
// number's name, then unnamed below it), and an override of a named line (code 16).
TEST_F(DescriptionTest, ALineDescriptionIsAddedAsItsDashCodeSays) {
  Drawing drawing;
  UFStyleRecord line{};
  line.colour = 0xFF, line.width = 0.7, line.unitsCode = 11;
  const auto dashOf = [&](DWORD id) {
    StyleComPtr<IJStyleDashTypeRender> dash;
    drawing.Style<IJStyleSimpleLine>(id, IID_IJStyleSimpleLine)->GetDashType(dash.Put());
    return IdentityOf(dash.Get());
  };
  DWORD id = 0, second = 0;
  line.dashCode = 9, line.name = L"Nine";
  ASSERT_EQ(Make(STYLETYPE_Linear, line, drawing.D(), &id), S_OK);
  EXPECT_EQ(IdByName(drawing, L"Nine", STYLETYPE_Linear), id);
  EXPECT_EQ(dashOf(id), nullptr);

  line.dashCode = 1, line.name = L"Custom", line.customCount = 2, line.customLengths = kLengths;
  ASSERT_EQ(Make(STYLETYPE_Linear, line, drawing.D(), &id), S_OK);
  EXPECT_EQ(IdByName(drawing, L"Custom", STYLETYPE_Linear), id);
  const DWORD customDash = IdByName(drawing, L"Custom", STYLETYPE_Dash);
  ASSERT_NE(customDash, 0u);
  EXPECT_EQ(dashOf(id), IdentityOf(drawing.Style<IUnknown>(customDash, IID_IUnknown).Get()));

  line.name = L"Mine", line.customCount = 0;
  ASSERT_EQ(Make(STYLETYPE_Linear, line, drawing.D(), &id), S_OK);
  EXPECT_EQ(IdByName(drawing, L"Dashed", STYLETYPE_Linear), id);
  EXPECT_EQ(IdByName(drawing, L"Mine", STYLETYPE_Linear), 0u);
  line.name = L"Also mine";
  ASSERT_EQ(Make(STYLETYPE_Linear, line, drawing.D(), &second), S_OK);
  DWORD parent = 0;
  EXPECT_EQ(drawing->GetParentID(second, &parent), S_OK);
  EXPECT_EQ(parent, id);
  EXPECT_EQ(dashOf(second), dashOf(id));
  EXPECT_NE(dashOf(id), nullptr);

  line.dashCode = UF_CODE_NAMED_LINE, line.name = L"Custom", line.scale = 2.0;
  StyleComPtr<IUnknown> style;
  ASSERT_EQ(Make(STYLETYPE_Linear, line, drawing.D(), &id, style.Put()), S_OK);
  tagStyleOverride got{};
  ASSERT_EQ(As<IJStyleOverride>(style.Get(), IID_IJStyleOverride)->GetData(&got), S_OK);
  EXPECT_EQ(got.flags & 0x1FF, static_cast<DWORD>(OVR_COLOUR | OVR_SCALE | OVR_WIDTH));
  EXPECT_EQ(got.dashScale, 2.0);
  EXPECT_EQ(got.colour, 0xFFu);
  EXPECT_EQ(got.unitsCode, 11u);
}

// A description that cannot be used whole is refused before anything is added or made.
TEST_F(DescriptionTest, AnUnusableDescriptionIsRefusedWithNothingAdded) {
  static UFHatchLine lines[2];
  struct Row {
    const char* what;
    GUID type;
    void (*edit)(UFStyleRecord&, UFFillData&);
    HRESULT answer;
    bool reported;
  };
  const Row rows[] = {
      {"custom count without lengths", STYLETYPE_Linear, [](UFStyleRecord& d, UFFillData&) { d.customCount = 2; },
       E_INVALIDARG, true},
      {"a width that is not a number", STYLETYPE_Linear,
       [](UFStyleRecord& d, UFFillData&) { d.width = std::numeric_limits<double>::quiet_NaN(); }, E_INVALIDARG, true},
      {"a dash number without a name", STYLETYPE_Linear, [](UFStyleRecord& d, UFFillData&) { d.dashCode = 77; },
       E_FAIL, true},
      {"code 16 without a name", STYLETYPE_Linear,
       [](UFStyleRecord& d, UFFillData&) { d.dashCode = 16, d.name = nullptr; }, E_FAIL, true},
      {"hatch lines missing", STYLETYPE_Fill, [](UFStyleRecord&, UFFillData& f) { f.lines = nullptr; }, E_INVALIDARG,
       true},
      {"a line without spacing", STYLETYPE_Fill, [](UFStyleRecord&, UFFillData&) { lines[1].spacing = 0.0; },
       E_INVALIDARG, true},
      {"lengths counted 0", STYLETYPE_Fill, [](UFStyleRecord&, UFFillData&) { lines[1].dash.count = 0; },
       E_INVALIDARG, true},
      {"a line dash number without a name", STYLETYPE_Fill,
       [](UFStyleRecord&, UFFillData&) { lines[1].dash = {UF_DASH_NUMBER, {nullptr}, 0, 0}, lines[1].dash.number = 22; },
       E_FAIL, true},
      {"no fill data", STYLETYPE_Fill, [](UFStyleRecord& d, UFFillData&) { d.fill = nullptr; }, S_FALSE, false},
      {"another style type", STYLETYPE_TextChar, [](UFStyleRecord&, UFFillData&) {}, E_FAIL, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Drawing drawing;
    lines[0] = Line(UF_DASH_LENGTHS), lines[1] = Line(UF_DASH_LENGTHS);
    lines[0].dash.lengths = lines[1].dash.lengths = kLengths, lines[0].dash.count = lines[1].dash.count = 2;
    UFFillData fill = Fill(L"Tiles", 2, lines);
    UFStyleRecord description{};
    description.dashCode = 1, description.name = L"Mine", description.colour = 0xFF, description.width = 0.5;
    description.fill = &fill;
    row.edit(description, fill);
    const DWORD count = drawing.StyleCount();
    const LONG live = Live();
    stylesrv_test::ClearReports();
    DWORD id = 0xDEAD;
    EXPECT_EQ(Make(row.type, description, drawing.D(), &id), row.answer);
    EXPECT_EQ(drawing.StyleCount(), count);
    EXPECT_EQ(Live(), live);
    EXPECT_EQ(ReportedBy("STYLETRN").empty() && ReportedBy("STYLESPT").empty(), !row.reported);
  }
  DWORD id = 0;
  EXPECT_EQ(HCreateStyleFromUF(STYLETYPE_Linear, nullptr, nullptr, nullptr, &id, nullptr), E_INVALIDARG);
  UFStyleRecord line{};
  EXPECT_EQ(HCreateStyleFromUF(STYLETYPE_Linear, &line, nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);
}

// Writing a description into a fill and hatch of the caller's: bad pointers answer unreported; the first family
// the hatch refuses ends the call with the families before it kept.
TEST_F(DescriptionTest, FillDataStopsAtTheFirstFamilyTheHatchRefuses) {
  StyleComPtr<IUnknown> fillObject, hatchObject;
  ASSERT_EQ(HCreateStyle(fillObject.Put(), nullptr, &CLSID_JStyleSimpleFill, 0, nullptr), S_OK);
  ASSERT_EQ(HCreateStyle(hatchObject.Put(), nullptr, &CLSID_JStyleHatchFill, 0, nullptr), S_OK);
  auto fill = As<IJStyleSimpleFill>(fillObject.Get(), IID_IJStyleSimpleFill);
  auto hatch = As<IJStyleHatchFill>(hatchObject.Get(), IID_IJStyleHatchFill);
  UFHatchLine lines[] = {Line(), Line(), Line()};
  lines[1].spacing = 0.0;
  const UFFillData data = Fill(nullptr, 3, lines);
  IUnknown* dashes[3] = {};
  stylesrv_test::ClearReports();
  EXPECT_EQ(HSetFillDataFromUF(nullptr, hatch.Get(), &data, dashes), E_INVALIDARG);
  EXPECT_EQ(HSetFillDataFromUF(fill.Get(), hatch.Get(), nullptr, dashes), E_INVALIDARG);
  EXPECT_EQ(HSetFillDataFromUF(fill.Get(), nullptr, &data, dashes), E_INVALIDARG);
  EXPECT_EQ(HSetFillDataFromUF(fill.Get(), hatch.Get(), &data, nullptr), E_INVALIDARG);
  EXPECT_TRUE(stylesrv_test::Reports().empty());
  EXPECT_EQ(HSetFillDataFromUF(fill.Get(), hatch.Get(), &data, dashes), E_INVALIDARG);
  DWORD families = 0;
  EXPECT_EQ(hatch->GetFamilyCount(&families), S_OK);
  EXPECT_EQ(families, 1u);
}

// A class object that makes nothing: a host whose workbench cannot be had.
class RefusingFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory) ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives on the test's stack
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void** out) override {
    *out = nullptr;
    return E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// The 3D multiplexer is built by the workbench in the document's library with the description's name and colour;
// a workbench that cannot be made is a fatal report first.
TEST_F(DescriptionTest, AMux3dDescriptionIsBuiltByTheWorkbench) {
  Drawing drawing;
  UFStyleRecord tube{};
  tube.name = L"Tube", tube.colour = 0x3366CC;
  DWORD id = 0;
  StyleComPtr<IUnknown> style;
  ASSERT_EQ(Make(STYLETYPE_Mux3d, tube, drawing.D(), &id, style.Put()), S_OK);
  EXPECT_EQ(IdByName(drawing, L"Tube", STYLETYPE_Mux3d), id);
  EXPECT_EQ(IdentityOf(style.Get()), IdentityOf(drawing.Style<IUnknown>(id, IID_IUnknown).Get()));
  ASSERT_FALSE(host_app::Mux3dComponentCalls().copies.empty());
  EXPECT_EQ(host_app::Mux3dComponentCalls().copies.back().a.colour, 0x3366CCu);

  RefusingFactory refusing;
  DWORD benchCookie = 0;
  ASSERT_EQ(CoRegisterClassObject(CLSID_Mux3dStyleWorkbench, &refusing, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                  &benchCookie),
            S_OK);
  stylesrv_test::ClearReports();
  EXPECT_EQ(Make(STYLETYPE_Mux3d, tube, drawing.D(), &id, style.Put()), E_OUTOFMEMORY);
  CoRevokeClassObject(benchCookie);
  EXPECT_EQ(id, 0u);
  const auto reports = stylesrv_test::Reports();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_TRUE(reports[0].fatal && IsEqualCLSID(reports[0].clsid, CLSID_Mux3dStyleWorkbench));
  EXPECT_EQ(reports[1].hr, E_OUTOFMEMORY);
}

// A library step that fails is answered as it failed, reported, with nothing of the call left alive.
TEST_F(DescriptionTest, ALibraryFailureIsAnsweredAndLeavesNothingAlive) {
  const UFHatchLine lines[] = {Line(UF_DASH_NUMBER)};
  const UFFillData fill = Fill(nullptr, 1, lines);
  struct Row {
    const char* operation;
    GUID type;
    LPCWSTR name;
    HRESULT answer;
  };
  const Row rows[] = {
      {"AddStyle", STYLETYPE_Fill, nullptr, kInjected},
      {"GetStyle", STYLETYPE_Fill, nullptr, kInjected},
      {"AddStyle", STYLETYPE_Linear, L"Thin", kInjected},
      {"GetStyle", STYLETYPE_Linear, L"Thin", kInjected},
      {"AddStyle", STYLETYPE_Mux3d, L"Tube", E_FAIL},  // the workbench's own answer
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.operation);
    RecordingLibrarian* library = RecordingLibrarian::Create();
    library->failures[row.operation] = kInjected;
    SetProcessLibrarian(library->Librarian());
    HostStyledElement* loose = HostStyledElement::Create();  // in no document: the process library serves it
    const LONG live = Live();
    stylesrv_test::ClearReports();
    UFStyleRecord description{};
    description.name = row.name;
    description.fill = &fill;
    DWORD id = 0xDEAD;
    EXPECT_EQ(Make(row.type, description, loose->Unknown(), &id), row.answer);
    EXPECT_EQ(id, 0u);
    EXPECT_THAT(ReportedBy("STYLETRN"), ::testing::Contains(row.answer));
    SetProcessLibrarian(nullptr);
    loose->Release();
    library->Release();
    EXPECT_EQ(Live(), live);
  }
}

// An allocation of the engine that fails anywhere in making a hatched fill fails the call, and what the call
// made goes: the sweep fails each allocation in turn until the call makes none that fail.
TEST_F(DescriptionTest, AFailedAllocationAnywhereFailsTheCallWithoutLeaks) {
  UFHatchLine lines[] = {Line(UF_DASH_LENGTHS), Line(UF_DASH_NUMBER)};
  lines[0].dash.lengths = kLengths, lines[0].dash.count = 2, lines[1].dash.number = 1;
  const UFFillData fill = Fill(L"Tiles", 2, lines);
  const LONG live = Live();
  const LONG blocks = EngineLiveBlocks();
  for (LONG skip = 0;; ++skip) {
    SCOPED_TRACE(skip);
    HRESULT hr = S_OK;
    {
      Drawing drawing;
      DWORD id = 0;
      EngineFailAllocationAfter(skip);
      hr = MakeFill(fill, drawing.D(), &id);
      if (EngineFailAllocationAfter(-1) >= 0) {
        EXPECT_EQ(hr, S_OK);
        break;
      }
    }
    EXPECT_EQ(hr, E_OUTOFMEMORY);
    EXPECT_EQ(Live(), live);
    EXPECT_EQ(EngineLiveBlocks(), blocks);
    ASSERT_LT(skip, 200);
  }
}

}  // namespace
}  // namespace stylspt_test

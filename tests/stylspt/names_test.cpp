// Names through the exports: the fall-back of an unnamed style to the style it refers to, the dash type's name
// of a line, an override or a dash type, and the name of a style given as an object.
#include "tests/stylspt/stylspt_fixtures.h"

namespace stylspt_test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr HRESULT kNoNameFound = 0x40223;

// An unnamed override in a drawing with a line "Thin"; it refers to nothing yet.
struct OverrideOfThin {
  explicit OverrideOfThin(const Drawing& drawing) {
    thinID = drawing.Create(CLSID_JStyleSimpleLine, L"Thin");
    EXPECT_EQ(HCreateStyle(object.Put(), nullptr, &CLSID_JStyleOverride, 0, nullptr), S_OK);
    EXPECT_EQ(HAddStyleToLibrary(&id, nullptr, drawing.D(), object.Get(), &STYLETYPE_Linear, nullptr, 0), S_OK);
  }
  DWORD thinID = 0;
  DWORD id = 0;
  StyleComPtr<IUnknown> object;
};

TEST_F(StyleExportsTest, AnUnnamedStyleGoesByTheNameOfTheStyleItRefersTo) {
  Drawing drawing;
  OverrideOfThin over(drawing);
  StyleComPtr<IJStyleSetup2d> setup = drawing.Style<IJStyleSetup2d>(over.id, IID_IJStyleSetup2d);
  ASSERT_TRUE(setup);
  auto getStyleName = stylesrv_test::FindExport<decltype(&HGetStyleName)>(server.handle(), "HGetStyleName");
  ASSERT_NE(getStyleName, nullptr);

  WCHAR buffer[16] = L"unchanged";
  DWORD length = 16;
  EXPECT_EQ(getStyleName(drawing.D(), over.id, buffer, &length), kNoNameFound);
  EXPECT_STREQ(buffer, L"unchanged");

  ASSERT_EQ(setup->SetReferencedStyleID(over.thinID), S_OK);
  length = 16;
  EXPECT_EQ(getStyleName(drawing.D(), over.id, buffer, &length), S_OK);
  EXPECT_STREQ(buffer, L"Thin");
  EXPECT_EQ(length, 5u);

  buffer[0] = 0;
  length = 16;
  EXPECT_EQ(HGetStyleNameFromPtr(drawing.D(), over.object.Get(), buffer, &length), S_OK);
  EXPECT_STREQ(buffer, L"Thin");
  EXPECT_THAT(ReportedBy(kSource), IsEmpty());
}

TEST_F(StyleExportsTest, TheDashNameOfAnIDIsThatOfTheDashTypeItUsesOrItsOwn) {
  Drawing drawing;
  const DWORD dotsID = drawing.Create(CLSID_JStyleSimpleDashType, L"Dots", STYLETYPE_Dash);
  const DWORD dottedID = drawing.Create(CLSID_JStyleSimpleLine, L"Dotted");
  const DWORD plainID = drawing.Create(CLSID_JStyleSimpleLine, L"Plain");
  const DWORD solidID = drawing.Create(CLSID_JStyleLineSolid, L"Solid");
  OverrideOfThin over(drawing);
  StyleComPtr<IUnknown> dots = drawing.Style<IUnknown>(dotsID, IID_IUnknown);
  ASSERT_EQ(drawing.Style<IJStyleSimpleLine>(dottedID, IID_IJStyleSimpleLine)->SetDashType(dots.Get()), S_OK);
  ASSERT_EQ(drawing.Style<IJStyleOverride>(over.id, IID_IJStyleOverride)->SetDashType(dots.Get()), S_OK);

  struct Row {
    const char* what;
    DWORD id;
    HRESULT answer;
    const wchar_t* name;  // null: buffer and length stay as they were
  };
  const Row rows[] = {
      {"line with a dash type", dottedID, S_OK, L"Dots"},
      {"override with a dash type", over.id, S_OK, L"Dots"},
      {"the dash type itself", dotsID, S_OK, L"Dots"},
      {"line without a dash type", plainID, S_OK, nullptr},
      {"neither line, override nor dash type", solidID, E_NOINTERFACE, nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    stylesrv_test::ClearReports();
    WCHAR buffer[16] = L"unchanged";
    DWORD length = 16;
    EXPECT_EQ(HGetDashStyleName(drawing.D(), row.id, buffer, &length), row.answer);
    EXPECT_STREQ(buffer, row.name ? row.name : L"unchanged");
    EXPECT_EQ(length, row.name ? wcslen(row.name) + 1 : 16u);
    EXPECT_THAT(ReportedBy(kSource), IsEmpty());
  }
}

// The object forms ask the style's own library: a style in none is a reported E_NOINTERFACE.
TEST_F(StyleExportsTest, TheNameOfAStyleObjectComesFromTheLibraryThatOwnsIt) {
  Drawing drawing;
  StyleComPtr<IUnknown> dots = drawing.Style<IUnknown>(
      drawing.Create(CLSID_JStyleSimpleDashType, L"Dots", STYLETYPE_Dash), IID_IUnknown);
  StyleComPtr<IUnknown> loose;
  ASSERT_EQ(HCreateStyle(loose.Put(), nullptr, &CLSID_JStyleSimpleDashType, 0, nullptr), S_OK);
  using Form = HRESULT(WINAPI*)(IUnknown*, IUnknown*, LPWSTR, DWORD*);
  const std::pair<const char*, Form> forms[] = {{"linear", &HGetLinearStyleName}, {"dash", &HGetDashStyleName}};
  for (const auto& [what, form] : forms) {
    SCOPED_TRACE(what);
    stylesrv_test::ClearReports();
    WCHAR buffer[16] = {};
    DWORD length = 16;
    EXPECT_EQ(form(nullptr, dots.Get(), buffer, &length), S_OK);
    EXPECT_STREQ(buffer, L"Dots");
    length = 16;
    EXPECT_EQ(form(nullptr, loose.Get(), buffer, &length), E_NOINTERFACE);
    EXPECT_THAT(ReportedBy(kSource), ElementsAre(E_NOINTERFACE));
  }
}

}  // namespace
}  // namespace stylspt_test

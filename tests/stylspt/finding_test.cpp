// Finding styles by name and the active line style through the exports, in both forms of each name.
#include <functional>

#include "tests/stylspt/stylspt_fixtures.h"

namespace stylspt_test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr HRESULT kNameUnknown = static_cast<HRESULT>(0x80040221);
IUnknown* const kUntouched = reinterpret_cast<IUnknown*>(0x5EED);

// A known name is found by both forms; an unknown one is 0x80040221, except in the object form of the dash
// lookup, where it is no failure and leaves the caller's pointer alone. Only the linear object form reports it.
TEST_F(StyleExportsTest, NamesAreFoundByBothFormsAndUnknownNamesAnswerByForm) {
  Drawing drawing;
  const DWORD thinID = drawing.Create(CLSID_JStyleSimpleLine, L"Thin");
  const DWORD dotsID = drawing.Create(CLSID_JStyleSimpleDashType, L"Dots", STYLETYPE_Dash);
  WCHAR thin[] = L"thin", dots[] = L"Dots", missing[] = L"Missing";

  struct Row {
    const char* what;
    std::function<HRESULT(IUnknown**, DWORD*)> call;  // object form, then ID form
    DWORD knownID;
  };
  IUnknown* D = drawing.D();
  const Row known[] = {
      {"linear", [&](IUnknown** o, DWORD* id) { return o ? HGetLinearStyle(D, thin, o) : HGetLinearStyle(D, thin, id); },
       thinID},
      {"dash", [&](IUnknown** o, DWORD* id) { return o ? HGetDashStyle(D, static_cast<LPCWSTR>(dots), o)
                                                       : HGetDashStyle(D, dots, id); },
       dotsID},
  };
  for (const Row& row : known) {
    SCOPED_TRACE(row.what);
    StyleComPtr<IUnknown> object;
    DWORD id = 0;
    EXPECT_EQ(row.call(object.Put(), nullptr), S_OK);
    EXPECT_EQ(row.call(nullptr, &id), S_OK);
    EXPECT_EQ(id, row.knownID);
    EXPECT_EQ(IdentityOf(object.Get()), drawing.Style<IUnknown>(row.knownID, IID_IUnknown).Get());
  }

  struct Unknown {
    const char* what;
    std::function<HRESULT(IUnknown**)> call;
    HRESULT answer;
    bool reported;
  };
  DWORD id = 0;
  const Unknown unknown[] = {
      {"linear object", [&](IUnknown** o) { return HGetLinearStyle(D, missing, o); }, kNameUnknown, true},
      {"linear ID", [&](IUnknown**) { return HGetLinearStyle(D, missing, &id); }, kNameUnknown, false},
      {"dash object", [&](IUnknown** o) { return HGetDashStyle(D, static_cast<LPCWSTR>(missing), o); }, S_OK,
       false},
      {"dash ID", [&](IUnknown**) { return HGetDashStyle(D, missing, &id); }, kNameUnknown, false},
  };
  for (const Unknown& row : unknown) {
    SCOPED_TRACE(row.what);
    stylesrv_test::ClearReports();
    IUnknown* out = kUntouched;
    EXPECT_EQ(row.call(&out), row.answer);
    if (row.answer == S_OK) {
      EXPECT_EQ(out, kUntouched);
    }
    if (row.reported) {
      EXPECT_THAT(ReportedBy(kSource), ElementsAre(kNameUnknown));
    } else {
      EXPECT_THAT(ReportedBy(kSource), IsEmpty());
    }
  }
}

TEST_F(StyleExportsTest, SettingTheActiveLineTellsTheEngineOnceAndActivatesTheStyle) {
  Drawing drawing;
  const DWORD thinID = drawing.Create(CLSID_JStyleSimpleLine, L"Thin");
  const DWORD wideID = drawing.Create(CLSID_JStyleSimpleLine, L"Wide");
  StyleComPtr<IUnknown> wide = drawing.Style<IUnknown>(wideID, IID_IUnknown);
  const std::pair<DWORD, std::function<HRESULT()>> forms[] = {
      {thinID, [&] { return HSetActiveLinearStyle(drawing.D(), thinID); }},
      {wideID, [&] { return HSetActiveLinearStyle(drawing.D(), wide.Get()); }},
  };
  for (const auto& [expected, call] : forms) {
    HostClearNotifications();
    ASSERT_EQ(call(), S_OK);
    const auto marks = styllib_test::NotificationsOf(HOST_MARK_MODIFIED);
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0].object, IdentityOf(drawing.librarian));
    DWORD active = 0;
    EXPECT_EQ(drawing->GetActiveStyleID(&STYLETYPE_Linear, &active, 0), S_OK);
    EXPECT_EQ(active, expected);
  }
}

TEST_F(StyleExportsTest, TheActiveLineOfAnEmptyLibraryIsMadeOnceAsASimpleLine) {
  Drawing drawing;
  DWORD id = 0;
  ASSERT_EQ(HGetActiveLinearStyle(drawing.D(), &id), S_OK);
  ASSERT_NE(id, 0u);
  const DWORD count = drawing.StyleCount();
  StyleComPtr<IUnknown> active;
  ASSERT_EQ(HGetActiveLinearStyle(drawing.D(), active.Put()), S_OK);
  EXPECT_EQ(IdentityOf(active.Get()), drawing.Style<IUnknown>(id, IID_IUnknown).Get());
  EXPECT_TRUE(drawing.Style<IJStyleSimpleLine>(id, IID_IJStyleSimpleLine));
  EXPECT_EQ(drawing.StyleCount(), count);
}

// What a host finds by name with GetProcAddress: every single-form export; a two-form name only mangled.
TEST_F(StyleExportsTest, SingleFormExportsAreFoundByTheirPlainNames) {
  for (const char* name : {"HCreateStyle", "HAddStyleToLibrary", "HCreateStyleInLib", "HCreateSimpleLineStyle",
                           "HCreateSimpleDashTypeStyle", "HGetStyleFromID", "HGetLinearStyleName", "HGetStyleName",
                           "HGetStyleNameFromPtr", "HGetTextStyle", "HGetActiveTextStyle", "HSetActiveTextStyle",
                           "HCreateRawStyleTextPara", "HCreateRawStyleTextChar", "HGetParaOverride",
                           "HAddParaToLibrary", "HAddCharToLibrary", "HGetCharOverride", "HGetFillStyleName",
                           "HGetPatternStyleType", "HGetFillPattern", "HCreateFillStyle"}) {
    EXPECT_NE(GetProcAddress(server.handle(), name), nullptr) << name;
  }
  for (const char* name : {"HGetLinearStyle", "HGetDashStyle", "HSetActiveLinearStyle", "HGetActiveLinearStyle",
                           "HGetDashStyleName", "HGetFillStyle", "HGetActiveFillStyle", "HSetActiveFillStyle"}) {
    EXPECT_EQ(GetProcAddress(server.handle(), name), nullptr) << name;
  }
}

}  // namespace
}  // namespace stylspt_test

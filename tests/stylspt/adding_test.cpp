// Creating styles and adding them to a document's library through the exports: names the type already has,
// equal unnamed styles, what a refusing library leaves behind, and lines made by the engine's extension.
#include <functional>
#include <string>

#include "tests/stylspt/stylspt_fixtures.h"

namespace stylspt_test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

IUnknown* const kUntouched = reinterpret_cast<IUnknown*>(0x5EED);

TEST_F(StyleExportsTest, ANameTheTypeHasHandsOutThatStyleAndAddsNothing) {
  Drawing drawing;
  const DWORD thinID = drawing.Create(CLSID_JStyleSimpleLine, L"Thin");
  ASSERT_NE(thinID, 0u);
  StyleComPtr<IUnknown> thin = drawing.Style<IUnknown>(thinID, IID_IUnknown);
  StyleComPtr<IUnknown> spare;
  ASSERT_EQ(HCreateStyle(spare.Put(), nullptr, &CLSID_JStyleSimpleLine, 0, nullptr), S_OK);
  const DWORD count = drawing.StyleCount();
  const LONG live = Live();
  HostClearNotifications();

  DWORD id = 0;
  StyleComPtr<IUnknown> found;
  EXPECT_EQ(HCreateStyleInLib(drawing.D(), &CLSID_JStyleSimpleLine, L"THIN", &STYLETYPE_Linear, 0, &id,
                              found.Put()),
            kStyleNameExists);
  EXPECT_EQ(id, thinID);
  EXPECT_EQ(IdentityOf(found.Get()), thin.Get());

  id = 0;
  EXPECT_EQ(HAddStyleToLibrary(&id, found.Put(), drawing.D(), spare.Get(), &STYLETYPE_Linear, L"Thin", 0),
            kStyleNameExists);
  EXPECT_EQ(id, thinID);
  EXPECT_EQ(IdentityOf(found.Get()), thin.Get());

  EXPECT_EQ(drawing.StyleCount(), count);
  EXPECT_EQ(Live(), live);
  EXPECT_THAT(styllib_test::NotificationsOf(HOST_ENTRY_CHANGE), IsEmpty());
  EXPECT_THAT(styllib_test::NotificationsOf(HOST_MARK_MODIFIED), IsEmpty());
}

TEST_F(StyleExportsTest, ANewNameAddsTheCreatedLineRegisteredInTheDocument) {
  Drawing drawing;
  const DWORD thinID = drawing.Create(CLSID_JStyleSimpleLine, L"Thin");
  DWORD id = 0;
  StyleComPtr<IUnknown> line;
  ASSERT_EQ(HCreateStyleInLib(drawing.D(), &CLSID_JStyleSimpleLine, L"Wide", &STYLETYPE_Linear, thinID, &id,
                              line.Put()),
            S_OK);
  EXPECT_NE(id, 0u);
  EXPECT_NE(id, thinID);
  StyleComPtr<IJDocumentNamedObjects> home;
  ASSERT_EQ(GetObjectDocument(line.Get(), home.Put()), S_OK);
  EXPECT_EQ(IdentityOf(home.Get()), IdentityOf(drawing.document));
  DWORD parent = 0;
  EXPECT_EQ(drawing->GetParentID(id, &parent), S_OK);
  EXPECT_EQ(parent, thinID);
}

// A second unnamed line equal to one under the same named ancestor is not added: the first is handed out.
TEST_F(StyleExportsTest, AnEqualUnnamedStyleIsHandedOutInPlaceOfAddingIt) {
  Drawing drawing;
  StyleComPtr<IUnknown> first, second, found;
  ASSERT_EQ(HCreateStyle(first.Put(), nullptr, &CLSID_JStyleSimpleLine, 0, nullptr), S_OK);
  ASSERT_EQ(HCreateStyle(second.Put(), nullptr, &CLSID_JStyleSimpleLine, 0, nullptr), S_OK);
  DWORD firstID = 0, secondID = 0;
  ASSERT_EQ(HAddStyleToLibrary(&firstID, nullptr, drawing.D(), first.Get(), &STYLETYPE_Linear, nullptr, 0), S_OK);
  const DWORD count = drawing.StyleCount();

  EXPECT_EQ(HAddStyleToLibrary(&secondID, found.Put(), drawing.D(), second.Get(), &STYLETYPE_Linear, nullptr, 0),
            0x40222);
  EXPECT_EQ(secondID, firstID);
  EXPECT_EQ(IdentityOf(found.Get()), IdentityOf(first.Get()));
  EXPECT_EQ(drawing.StyleCount(), count);
}

// A library that refuses a style: the caller's style goes to the engine, a style made for the call goes away,
// and the refusal is the answer with nothing handed out.
TEST_F(StyleExportsTest, ARefusedStyleIsAFailureThatLeavesNothingBehind) {
  struct Row {
    const char* what;
    HRESULT addFails;        // AddStyle's failure, or S_OK for an add that gives no ID
    HRESULT noticeFails;     // the engine's NotifyObjectRegistration
    HRESULT addAnswer;       // of HAddStyleToLibrary
    HRESULT createAnswer;    // of HCreateStyleInLib
  };
  const Row rows[] = {
      {"AddStyle fails", E_OUTOFMEMORY, S_OK, E_OUTOFMEMORY, E_OUTOFMEMORY},
      {"AddStyle gives no ID", S_OK, S_OK, E_FAIL, E_FAIL},
      {"the notice fails too", E_OUTOFMEMORY, E_ACCESSDENIED, E_ACCESSDENIED, E_OUTOFMEMORY},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    RecordingLibrarian* library = RecordingLibrarian::Create();
    if (FAILED(row.addFails)) library->failures["AddStyle"] = row.addFails;
    library->addGivesNoID = SUCCEEDED(row.addFails);
    SetProcessLibrarian(library->Librarian());
    HostStyledElement* loose = HostStyledElement::Create();  // in no document: the process library serves it
    StyleComPtr<IUnknown> style;
    ASSERT_EQ(HCreateStyle(style.Put(), nullptr, &CLSID_JStyleSimpleLine, 0, nullptr), S_OK);
    const LONG live = Live();

    HostClearNotifications();
    if (FAILED(row.noticeFails)) HostFailNotification(HOST_OBJECT_REGISTRATION, 1, row.noticeFails);
    DWORD id = 0xDEAD;
    IUnknown* out = kUntouched;
    EXPECT_EQ(HAddStyleToLibrary(&id, &out, loose->Unknown(), style.Get(), &STYLETYPE_Linear, L"Thin", 0),
              row.addAnswer);
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(out, kUntouched);
    const auto notices = styllib_test::NotificationsOf(HOST_OBJECT_REGISTRATION);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].object, IdentityOf(style.Get()));

    HostClearNotifications();
    if (FAILED(row.noticeFails)) HostFailNotification(HOST_OBJECT_REGISTRATION, 1, row.noticeFails);
    id = 0xDEAD;
    EXPECT_EQ(HCreateStyleInLib(loose->Unknown(), &CLSID_JStyleSimpleLine, L"Thin", &STYLETYPE_Linear, 0, &id,
                                &out),
              row.createAnswer);
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(Live(), live);
    EXPECT_THAT(styllib_test::NotificationsOf(HOST_OBJECT_REGISTRATION), IsEmpty());

    HostFailNotification(HOST_OBJECT_REGISTRATION, 0, S_OK);
    SetProcessLibrarian(nullptr);
    loose->Release();
    library->Release();
  }
}

// An empty name names nothing: every road that adds a style adds it unnamed, as with no name, and never as an
// entry that counts as named while no name finds it.
TEST_F(StyleExportsTest, AnEmptyNameAddsAnUnnamedStyle) {
  using Add = std::function<HRESULT(Drawing&, IUnknown* style, LPCWSTR name, DWORD* id)>;
  struct Row {
    const char* road;
    Add add;
  };
  const Row rows[] = {
      {"AddStyle",
       [](Drawing& drawing, IUnknown* style, LPCWSTR name, DWORD* id) {
         StyleRecord record{const_cast<LPWSTR>(name), nullptr, style, const_cast<GUID*>(&STYLETYPE_Linear), 0, 0};
         return drawing->AddStyle(&record, id);
       }},
      {"AddStyleNoCreate",
       [](Drawing& drawing, IUnknown* style, LPCWSTR name, DWORD* id) {
         StyleRecord record{const_cast<LPWSTR>(name), nullptr, style, const_cast<GUID*>(&STYLETYPE_Linear), 0, 0};
         return drawing->AddStyleNoCreate(&record, id);
       }},
      {"HAddStyleToLibrary",
       [](Drawing& drawing, IUnknown* style, LPCWSTR name, DWORD* id) {
         return HAddStyleToLibrary(id, nullptr, drawing.D(), style, &STYLETYPE_Linear, name, 0);
       }},
      {"HCreateStyleInLib",
       [](Drawing& drawing, IUnknown*, LPCWSTR name, DWORD* id) {
         return HCreateStyleInLib(drawing.D(), &CLSID_JStyleSimpleLine, name, &STYLETYPE_Linear, 0, id, nullptr);
       }},
  };
  for (const Row& row : rows) {
    for (LPCWSTR name : {static_cast<LPCWSTR>(nullptr), L""}) {
      SCOPED_TRACE(std::string(row.road) + (name ? " with an empty name" : " without a name"));
      Drawing drawing;
      drawing.Create(CLSID_JStyleSimpleLine, L"Thin");
      StyleComPtr<IUnknown> style;
      ASSERT_EQ(HCreateStyle(style.Put(), nullptr, &CLSID_JStyleSimpleLine, 0, nullptr), S_OK);
      DWORD named = 0, tableCount = 0;
      drawing->GetNamedStyleCount(&named);
      drawing->GetTypeNameCount(&STYLETYPE_Linear, &tableCount);

      DWORD id = 0;
      EXPECT_EQ(row.add(drawing, style.Get(), name, &id), S_OK);
      ASSERT_NE(id, 0u);
      WCHAR buffer[16] = {};
      DWORD length = 16;
      EXPECT_EQ(drawing->GetStyleName(id, buffer, &length), 0x40223);  // no name, nor an ancestor's
      EXPECT_EQ(length, 0u);
      DWORD count = 0;
      drawing->GetNamedStyleCount(&count);
      EXPECT_EQ(count, named);
      drawing->GetTypeNameCount(&STYLETYPE_Linear, &count);
      EXPECT_EQ(count, tableCount);
      DWORD found = 0xDEAD;
      EXPECT_EQ(drawing->FindStyleIDByName(L"", &STYLETYPE_Linear, &found), E_FAIL);
      EXPECT_EQ(found, 0u);
    }
  }
}

// Each required pointer, left null, answers E_INVALIDARG and adds or makes nothing.
TEST_F(StyleExportsTest, NullRequiredArgumentsAreRefused) {
  Drawing drawing;
  const DWORD thinID = drawing.Create(CLSID_JStyleSimpleLine, L"Thin");
  StyleComPtr<IUnknown> thin = drawing.Style<IUnknown>(thinID, IID_IUnknown);
  const tagStyleSimpleLineData line{};
  const tagStyleSimpleDashTypeData dash{};
  IUnknown* D = drawing.D();
  WCHAR name[] = L"Thin";
  WCHAR buffer[8] = {};
  IUnknown* out = nullptr;
  DWORD id = 0;
  const DWORD count = drawing.StyleCount();
  const LONG live = Live();

  const std::pair<const char*, HRESULT> calls[] = {
      {"HCreateStyle out", HCreateStyle(nullptr, D, &CLSID_JStyleSimpleLine, 0, nullptr)},
      {"HCreateStyle class", HCreateStyle(&out, D, nullptr, 0, nullptr)},
      {"HCreateStyleInLib outID", HCreateStyleInLib(D, &CLSID_JStyleSimpleLine, L"New", &STYLETYPE_Linear, 0,
                                                    nullptr, &out)},
      {"HAddStyleToLibrary style", HAddStyleToLibrary(&id, &out, D, nullptr, &STYLETYPE_Linear, L"New", 0)},
      {"HCreateSimpleLineStyle data", HCreateSimpleLineStyle(L"a", L"b", D, nullptr, &dash, &out)},
      {"HCreateSimpleLineStyle out", HCreateSimpleLineStyle(L"a", L"b", D, &line, &dash, nullptr)},
      {"HCreateSimpleDashTypeStyle data", HCreateSimpleDashTypeStyle(nullptr, nullptr, nullptr, nullptr, &out)},
      {"HCreateSimpleDashTypeStyle out", HCreateSimpleDashTypeStyle(nullptr, nullptr, nullptr, &dash, nullptr)},
      {"HGetLinearStyle D", HGetLinearStyle(nullptr, name, &out)},
      {"HGetLinearStyle name", HGetLinearStyle(D, nullptr, &id)},
      {"HGetDashStyle name", HGetDashStyle(D, static_cast<LPCWSTR>(nullptr), &out)},
      {"HGetStyleName length", HGetStyleName(D, thinID, buffer, nullptr)},
      {"HGetDashStyleName length", HGetDashStyleName(D, thinID, buffer, nullptr)},
      {"HGetLinearStyleName length", HGetLinearStyleName(D, thin.Get(), buffer, nullptr)},
      {"HGetStyleNameFromPtr style", HGetStyleNameFromPtr(D, nullptr, buffer, &id)},
  };
  for (const auto& [what, hr] : calls) EXPECT_EQ(hr, E_INVALIDARG) << what;
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(drawing.StyleCount(), count);
  EXPECT_EQ(Live(), live);
}

// ---- lines made by the engine's extension ----

std::vector<double> LengthsOf(IJStyleSimpleDashType* dash) {
  DWORD count = 0;
  if (!dash || FAILED(dash->GetCount(&count))) return {};
  std::vector<double> lengths(count);
  if (FAILED(dash->GetLengths(&count, lengths.data()))) return {};
  return lengths;
}

TEST_F(StyleExportsTest, ASimpleLineComesFromTheExtensionWithTheCallersDashPattern) {
  HostSimpleLineMaker* maker = HostSimpleLineMaker::Create();
  HostSimpleLineMaker::Install(maker);
  const tagStyleSimpleLineData lineData{11, 0.5, 0x00FF00, 0, 0};
  double lengths[] = {2.0, -1.0, 0.5, -1.0};
  tagStyleSimpleDashTypeData dashData{};
  dashData.unitsCode = 11;
  dashData.count = 4;
  dashData.lengths = lengths;
  dashData.endFraction = 0.5;

  StyleComPtr<IUnknown> made;
  ASSERT_EQ(HCreateSimpleLineStyle(L"Centre", L"", nullptr, &lineData, &dashData, made.Put()), S_OK);
  EXPECT_EQ(maker->calls, 1);
  EXPECT_EQ(maker->first, L"Centre");
  EXPECT_EQ(maker->second, L"");
  StyleComPtr<IJStyleSimpleLine> line;
  ASSERT_EQ(made->QueryInterface(IID_IJStyleSimpleLine, line.PutVoid()), S_OK);
  DWORD colour = 0;
  double width = 0;
  EXPECT_EQ(line->GetColor(&colour), S_OK);
  EXPECT_EQ(line->GetWidth(&width), S_OK);
  EXPECT_EQ(colour, 0x00FF00u);
  EXPECT_EQ(width, 0.5);
  StyleComPtr<IJStyleDashTypeRender> dash;
  ASSERT_EQ(line->GetDashType(dash.Put()), S_OK);
  ASSERT_TRUE(dash);
  StyleComPtr<IJStyleSimpleDashType> pattern;
  ASSERT_EQ(dash->QueryInterface(IID_IJStyleSimpleDashType, pattern.PutVoid()), S_OK);
  EXPECT_THAT(LengthsOf(pattern.Get()), ElementsAre(2.0, -1.0, 0.5, -1.0));

  // The dash type alone carries the same data.
  StyleComPtr<IUnknown> alone;
  ASSERT_EQ(HCreateSimpleDashTypeStyle(nullptr, nullptr, nullptr, &dashData, alone.Put()), S_OK);
  StyleComPtr<IJStyleSimpleDashType> alonePattern;
  ASSERT_EQ(alone->QueryInterface(IID_IJStyleSimpleDashType, alonePattern.PutVoid()), S_OK);
  EXPECT_THAT(LengthsOf(alonePattern.Get()), ElementsAre(2.0, -1.0, 0.5, -1.0));
  maker->Release();
}

// Without a line from the extension there is nothing to set up: the failure is reported and answered.
TEST_F(StyleExportsTest, ASimpleLineWithoutTheExtensionsLineIsAReportedFailure) {
  struct Row {
    const char* what;
    bool installed;
    HRESULT answer;
    bool answerNothing;
    HRESULT expected;
  };
  const Row rows[] = {
      {"no extension", false, S_OK, false, E_NOINTERFACE},
      {"slot 8 fails", true, E_OUTOFMEMORY, false, E_OUTOFMEMORY},
      {"slot 8 answers no object", true, S_OK, true, E_FAIL},
  };
  const tagStyleSimpleLineData lineData{};
  const LONG live = Live();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    stylesrv_test::ClearReports();
    HostSimpleLineMaker* maker = HostSimpleLineMaker::Create();
    maker->answer = row.answer;
    maker->answerNothing = row.answerNothing;
    HostSimpleLineMaker::Install(row.installed ? maker : nullptr);
    IUnknown* out = kUntouched;
    EXPECT_EQ(HCreateSimpleLineStyle(L"a", L"b", nullptr, &lineData, nullptr, &out), row.expected);
    EXPECT_EQ(out, nullptr);
    EXPECT_THAT(ReportedBy(kSource), ElementsAre(row.expected));
    EXPECT_EQ(Live(), live);
    HostSimpleLineMaker::Install(nullptr);
    maker->Release();
  }
}

}  // namespace
}  // namespace stylspt_test

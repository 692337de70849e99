// Proxy styles (not offered), the automation flag that tells a style whether it may be edited, and what the
// override exports leave behind when an argument is missing or a step fails.
#include <algorithm>

#include "host/app/automation_style.h"
#include "tests/stylspt/stylspt_fixtures.h"

namespace stylspt_test {
namespace {

using daxutil_test::RefCount;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr HRESULT kNameUnknown = static_cast<HRESULT>(0x80040221);

// Every kind but 2 answers at once; kind 2 looks the name up first and then builds nothing, not even the
// override its record asks for. Only bad kinds and failed lookups are reported.
TEST_F(StyleExportsTest, ProxyStylesAreNotOfferedAndAddNothing) {
  Drawing drawing;
  drawing.Create(CLSID_JStyleSimpleLine, L"Thin");
  tagStyleOverride record{};
  record.recordCode = kStyleOverrideRecordCode;
  record.flags = OVR_COLOUR;
  struct Row {
    DWORD kind;
    const wchar_t* name;
    HRESULT answer;
    bool reported;
    DWORD out;  // what *out holds afterwards
  };
  const Row rows[] = {
      {0, L"Thin", E_INVALIDARG, true, 0xDEAD},         {1, L"Thin", kProxyKindNotOffered, false, 0xDEAD},
      {2, L"Thin", kProxyKindNotOffered, false, 0},     {2, L"Nowhere", kNameUnknown, true, 0},
      {3, L"Thin", kProxyKindNotOffered, false, 0xDEAD}, {4, L"Thin", kProxyKindNotOffered, false, 0xDEAD},
      {5, L"Thin", E_INVALIDARG, true, 0xDEAD},
  };
  const DWORD count = drawing.StyleCount();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.kind);
    stylesrv_test::ClearReports();
    DWORD out = 0xDEAD;
    EXPECT_EQ(HGetProxyStyle(drawing.D(), row.name, drawing.D(), row.kind, 0, record, &out), row.answer);
    EXPECT_EQ(out, row.out);
    EXPECT_EQ(ReportedBy(kSource).size(), row.reported ? 1u : 0u);
    EXPECT_EQ(drawing.StyleCount(), count);
  }
}

// "SetIsEditable" gets one VT_BOOL: whether the style may be edited. A style of the library may, unless it is a
// multiplexer; a text style outside it may when the host's text interface answers non-zero.
TEST_F(StyleExportsTest, TheAutomationFlagTellsAStyleWhetherItMayBeEdited) {
  struct Row {
    const char* what;
    bool inLibrary;
    const GUID* type;
    bool multiplexer;
    bool text;
    DWORD textValue;
    HRESULT textAnswer;
    bool method;
    HRESULT answer;
    bool reported;
    int editable;  // -1: no call
  };
  const Row rows[] = {
      {"library style", true, &STYLETYPE_Linear, false, false, 0, S_OK, true, S_OK, false, 1},
      {"library multiplexer", true, &STYLETYPE_Linear, true, false, 0, S_OK, true, S_OK, false, 0},
      {"library text style", true, &STYLETYPE_TextChar, false, true, 0, S_OK, true, S_OK, false, 1},
      {"loose character style", false, &STYLETYPE_TextChar, false, true, 7, S_OK, true, S_OK, false, 1},
      {"loose paragraph style, not editable", false, &STYLETYPE_TextPara, false, true, 0, S_OK, true, S_OK, false, 0},
      {"loose line, text says editable", false, &STYLETYPE_Linear, false, true, 1, S_OK, true, S_OK, false, 0},
      {"text interface fails", false, &STYLETYPE_TextChar, false, true, 1, E_OUTOFMEMORY, true, E_OUTOFMEMORY, true,
       -1},
      {"no SetIsEditable", true, &STYLETYPE_Linear, false, false, 0, S_OK, false, DISP_E_UNKNOWNNAME, true, -1},
      {"dimension without IJManageStyle2", true, &STYLETYPE_Dimension, false, false, 0, S_OK, true, E_NOINTERFACE,
       true, -1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    stylesrv_test::ClearReports();
    Drawing drawing;
    HostAutomationStyle* style = HostAutomationStyle::Create();
    style->offersMultiplexer = row.multiplexer;
    style->offersText = row.text;
    style->textValue = row.textValue;
    style->textAnswer = row.textAnswer;
    style->offersMethod = row.method;
    if (row.inLibrary) {
      DWORD id = 0;
      ASSERT_EQ(HAddStyleToLibrary(&id, nullptr, drawing.D(), style->Unknown(), row.type, L"Auto", 0), S_OK);
    }

    EXPECT_EQ(HSetStyleWritableAutomationFlag(style->Dispatch(), drawing.librarian, row.type), row.answer);
    EXPECT_EQ(ReportedBy(kSource).size(), row.reported ? 1u : 0u);
    ASSERT_EQ(style->invokes, row.editable < 0 ? 0 : 1);
    if (row.editable >= 0) {
      EXPECT_EQ(style->askedName, L"SetIsEditable");
      EXPECT_EQ(style->askedNameCount, 1u);
      EXPECT_TRUE(style->namesIidNull);
      EXPECT_EQ(style->namesLocale, 0x800u);
      EXPECT_EQ(style->invokedMethod, HostAutomationStyle::kSetIsEditable);
      EXPECT_TRUE(style->invokeIidNull);
      EXPECT_EQ(style->invokeLocale, 0x800u);
      EXPECT_EQ(style->invokeFlags, DISPATCH_METHOD);
      EXPECT_EQ(style->argumentCount, 1u);
      EXPECT_EQ(style->namedArgumentCount, 0u);
      EXPECT_FALSE(style->askedResult || style->askedException || style->askedArgumentError);
      EXPECT_EQ(style->argument.vt, VT_BOOL);
      EXPECT_EQ(style->argument.boolVal, row.editable ? VARIANT_TRUE : VARIANT_FALSE);
    }
    style->Release();
  }
}

// Each required pointer, left null, answers E_INVALIDARG (reported) and adds or makes nothing.
TEST_F(StyleExportsTest, NullRequiredArgumentsOfTheOverrideExportsAreRefused) {
  Drawing drawing;
  auto line = drawing.Style<IUnknown>(drawing.Create(CLSID_JStyleSimpleLine, L"Thin"), IID_IUnknown);
  HostAutomationStyle* style = HostAutomationStyle::Create();
  IUnknown* D = drawing.D();
  IUnknown* base = line.Get();
  tagStyleOverride data{};
  tagStyleSimpleDashTypeData dash{};
  IUnknown* out = nullptr;
  DWORD id = 0;
  const DWORD count = drawing.StyleCount();
  const LONG live = Live();
  auto* noRecord = static_cast<tagStyleOverride*>(nullptr);
  auto* noDashData = static_cast<tagStyleSimpleDashTypeData*>(nullptr);
  auto* noDashType = static_cast<IJStyleDashTypeRender*>(nullptr);
  auto* noOut = static_cast<IUnknown**>(nullptr);
  auto* noID = static_cast<DWORD*>(nullptr);

  const std::pair<const char*, HRESULT> calls[] = {
      {"record form, data", HGetOverrideStyle(D, noRecord, base, &out)},
      {"record form, base", HGetOverrideStyle(D, &data, nullptr, &out)},
      {"record form, out", HGetOverrideStyle(D, &data, base, noOut)},
      {"record form, ID", HGetOverrideStyle(D, &data, base, noID)},
      {"dash data form, base", HGetOverrideStyle(D, &dash, nullptr, &out)},
      {"dash data form, out", HGetOverrideStyle(D, noDashData, base, noOut)},
      {"dash data form, ID", HGetOverrideStyle(D, &dash, base, noID)},
      {"dash type form, base", HGetOverrideStyle(D, noDashType, nullptr, &id)},
      {"dash type form, out", HGetOverrideStyle(D, noDashType, base, noOut)},
      {"HCreateOverrideStyle data", HCreateOverrideStyle(D, nullptr, base, &out, nullptr)},
      {"HCreateOverrideStyle base", HCreateOverrideStyle(D, &data, nullptr, &out, nullptr)},
      {"HCreateOverrideStyle out", HCreateOverrideStyle(D, &data, base, nullptr, nullptr)},
      {"HGetProxyStyle D", HGetProxyStyle(nullptr, L"Thin", D, 2, 0, data, &id)},
      {"HGetProxyStyle name", HGetProxyStyle(D, nullptr, D, 2, 0, data, &id)},
      {"HGetProxyStyle target", HGetProxyStyle(D, L"Thin", nullptr, 2, 0, data, &id)},
      {"HGetProxyStyle out", HGetProxyStyle(D, L"Thin", D, 2, 0, data, nullptr)},
      {"automation style", HSetStyleWritableAutomationFlag(nullptr, drawing.librarian, &STYLETYPE_Linear)},
      {"automation librarian", HSetStyleWritableAutomationFlag(style->Dispatch(), nullptr, &STYLETYPE_Linear)},
      {"automation type", HSetStyleWritableAutomationFlag(style->Dispatch(), drawing.librarian, nullptr)},
  };
  for (const auto& [what, hr] : calls) EXPECT_EQ(hr, E_INVALIDARG) << what;
  EXPECT_EQ(ReportedBy(kSource).size(), std::size(calls));
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(style->nameCalls, 0);
  EXPECT_EQ(drawing.StyleCount(), count);
  EXPECT_EQ(Live(), live);
  style->Release();
}

// A step that fails is reported and answered. Before the add nothing stays; after it the new override stays in
// the library, held by the library alone. Every record taken is freed once.
TEST_F(StyleExportsTest, AFailedOverrideStepLeavesNoReferenceBehind) {
  struct Row {
    const char* what;
    const char* operation;  // of the library, or null
    bool markFails;         // the engine's MarkObjectModified
    bool noID;              // AddStyle succeeds without an ID
    HRESULT answer;
    bool stays;
  };
  const Row rows[] = {
      {"the base is unknown", "FindStyleID", false, false, E_ACCESSDENIED, false},
      {"no base record", "GetStyleRecord", false, false, E_ACCESSDENIED, false},
      {"the engine refuses the change", nullptr, true, false, E_ACCESSDENIED, false},
      {"the add fails", "AddStyle", false, false, E_ACCESSDENIED, false},
      {"the add gives no ID", nullptr, false, true, E_FAIL, false},
      {"the new entry cannot be had", "GetStyle", false, false, E_ACCESSDENIED, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    stylesrv_test::ClearReports();
    HostClearNotifications();
    RecordingLibrarian* library = RecordingLibrarian::Create();
    SetProcessLibrarian(library->Librarian());
    HostStyledElement* loose = HostStyledElement::Create();  // in no document: the process library serves it
    StyleComPtr<IUnknown> line;
    ASSERT_EQ(HCreateStyle(line.Put(), nullptr, &CLSID_JStyleSimpleLine, 0, nullptr), S_OK);
    library->Add(line.Get(), L"Thin");
    const LONG live = Live();
    const DWORD count = library->Count();
    if (row.operation) library->failures[row.operation] = E_ACCESSDENIED;
    library->addGivesNoID = row.noID;
    if (row.markFails) HostFailNotification(HOST_MARK_MODIFIED, 1, E_ACCESSDENIED);

    tagStyleOverride data{};
    data.flags = OVR_COLOUR;
    IUnknown* out = reinterpret_cast<IUnknown*>(0x5EED);
    EXPECT_EQ(HCreateOverrideStyle(loose->Unknown(), &data, line.Get(), &out, nullptr), row.answer);
    EXPECT_EQ(out, nullptr);
    EXPECT_THAT(ReportedBy(kSource), ElementsAre(row.answer));
    EXPECT_EQ(std::count(library->log.begin(), library->log.end(), "FreeStyleRecord(0)"),
              std::count_if(library->log.begin(), library->log.end(),
                            [](const std::string& call) { return call.rfind("GetStyleRecord", 0) == 0; }) -
                  (row.operation && std::string(row.operation) == "GetStyleRecord" ? 1 : 0));
    ASSERT_EQ(library->Count(), count + (row.stays ? 1 : 0));
    if (row.stays) {
      EXPECT_EQ(RefCount(library->At(count + 1).object), 1);
    }
    EXPECT_EQ(Live(), live + (row.stays ? 1 : 0));

    HostFailNotification(HOST_MARK_MODIFIED, 0, S_OK);
    SetProcessLibrarian(nullptr);
    loose->Release();
    library->Release();
  }
}

}  // namespace
}  // namespace stylspt_test

// The description of a linear style: name, colour, width and dash parts in the resource module's words, built
// by stylesrv.dll's linear workbench in the real style library. Expectations load the same string IDs.
#include <string>

#include "display/style/stylspt/StyleExports.h"
#include "display/style/wrkbnch/JWorkbenchLinear.h"
#include "tests/bases/recording_librarian.h"
#include "tests/wrkbnch/workbench_fixtures.h"

using styllib_test::CreateObject;

namespace {

std::wstring S(UINT id) {
  GUserText text;
  EXPECT_TRUE(text.LoadStringResource(GetModuleHandleA("Tellury.drx"), id)) << id;
  return text.Wide();
}

std::wstring ColourName(DWORD colour) {
  GUserText text;
  auto name = stylesrv_test::FindExport<decltype(&HGetNameFromColorRef)>(GetModuleHandleA("stylesrv.dll"),
                                                                        "HGetNameFromColorRef");
  EXPECT_EQ(name(GetModuleHandleA("Tellury.drx"), static_cast<LONG>(colour), &text), S_OK);
  return text.Wide();
}

// name part, colour part, width part: each value followed by its label and the separators.
std::wstring Expected(const std::wstring& name, DWORD colour, const std::wstring& width, const std::wstring& dash) {
  return (name.empty() ? L"" : name + S(182)) + S(213) + S(185) + ColourName(colour) + S(182) + S(12160) + S(185) +
         width + S(182) + S(12161) + S(185) + dash;
}

class LinearDescriptionTest : public SymbolLibraryTest {
 protected:
  void NewBench(DWORD parent, StyleComPtr<IWorkbenchLinear>& bench, IUnknown* lib = nullptr) {
    ASSERT_EQ(CreateObject(library.server(), CLSID_JWorkbenchLinear, IID_IWorkbenchLinear, bench.PutVoid()), S_OK);
    ASSERT_EQ(Admin(bench)->AttachNew(parent, lib ? lib : library.librarian), S_OK);
  }
  static IWorkbenchAdmin* Admin(StyleComPtr<IWorkbenchLinear>& bench) {
    return WorkbenchOfClass<JWorkbenchLinear>(bench.Get())->Admin();
  }
  static HRESULT Describe(StyleComPtr<IWorkbenchLinear>& bench, std::wstring* out) {
    LPWSTR* field = nullptr;
    const HRESULT hr = Admin(bench)->GetDescription(&field);
    *out = field && *field ? *field : L"(none)";
    return hr;
  }
  void DashBench(const wchar_t* name, StyleComPtr<IWorkbenchLinearPattern>& dash) {
    ASSERT_EQ(CreateObject(library.server(), CLSID_JWorkbenchDash, IID_IWorkbenchLinearPattern, dash.PutVoid()),
              S_OK);
    StyleComPtr<IWorkbenchAdmin> admin;
    ASSERT_EQ(dash->QueryInterface(IID_IWorkbenchAdmin, admin.PutVoid()), S_OK);
    ASSERT_EQ(admin->AttachNew(0, library.librarian), S_OK);
    ASSERT_EQ(dash->SetDashes(2, std::vector<double>{4, -2}.data()), S_OK);
    if (name) {
      ASSERT_EQ(admin->SetName(name), S_OK);
    }
  }
};

TEST_F(LinearDescriptionTest, NameColourWidthAndDashParts) {
  StyleComPtr<IWorkbenchLinear> base;
  NewBench(0, base);
  ASSERT_EQ(Admin(base)->SetName(L"Base"), S_OK);
  DWORD baseID = 0;
  ASSERT_EQ(Admin(base)->Save(&baseID), S_OK);
  StyleComPtr<IWorkbenchLinearPattern> d1, unnamed;
  DashBench(L"D1", d1);
  DashBench(nullptr, unnamed);
  const std::wstring longName(600, L'N');

  const struct {
    const char* what;
    DWORD parent;
    const wchar_t* name;
    DWORD units;
    std::vector<double> widths;
    std::vector<IUnknown*> dashes;  // one per line
    std::wstring expected;
  } rows[] = {
      {"a nameless child of Base", baseID, nullptr, 11, {0.35}, {nullptr}, Expected(L"Base", 0, L"0.350", S(192))},
      {"no name anywhere", 0, nullptr, 13, {2.9}, {d1.Get()}, Expected(L"", 0, L"2 " + S(12216), L"D1")},
      {"a dash without a name", 0, L"L", 13, {-7.5}, {unnamed.Get()}, Expected(L"L", 0, L"-7 " + S(12216), S(12166))},
      {"widths 1e-9 apart", 0, L"W", 11, {0.35, 0.35 + 1e-9}, {d1.Get(), d1.Get()}, Expected(L"W", 0, L"0.350", L"D1")},
      {"mixed widths and dashes", 0, L"M", 11, {0.35, 0.5}, {d1.Get(), unnamed.Get()},
       Expected(L"M", 0, S(12169), S(12170))},
      {"a long name", 0, longName.c_str(), 11, {1.0}, {nullptr}, Expected(longName, 0, L"1.000", S(192))}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    StyleComPtr<IWorkbenchLinear> bench;
    NewBench(r.parent, bench);
    if (r.name) {
      ASSERT_EQ(Admin(bench)->SetName(r.name), S_OK);
    }
    for (std::size_t i = 0; i < r.widths.size(); ++i) {
      DWORD index = 0;
      if (i) {
        ASSERT_EQ(bench->AddComponent(&index), S_OK);
      }
      ASSERT_EQ(bench->SetUnits(r.units), S_OK);
      ASSERT_EQ(bench->SetWidth(r.widths[i]), S_OK);
      if (r.dashes[i]) {
        ASSERT_EQ(bench->SetDashWorkbench(r.dashes[i]), S_OK);
      }
    }
    const LONG calls = PellowFormatCallCount();
    std::wstring text;
    ASSERT_EQ(Describe(bench, &text), S_OK);
    EXPECT_EQ(text, r.expected);
    if (r.units != 11 || r.widths.size() > 1) continue;
    // The width in units 11 comes from the host's formatter, with its format record and limit.
    ASSERT_EQ(PellowFormatCallCount(), calls + 1);
    PellowFormatCall call{};
    ASSERT_TRUE(PellowGetFormatCall(calls, &call));
    const BYTE format[20] = {0, 2, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_EQ(std::vector<BYTE>(call.format, call.format + 20), std::vector<BYTE>(format, format + 20));
    EXPECT_EQ(std::vector<double>({double(call.mode), call.value, double(call.limit), double(call.extrasNull)}),
              std::vector<double>({1, r.widths[0], 61, 1}));
  }
}

// A parent name the library cannot give fails the description, which is built again on the next request; an
// edit makes the description follow the working state.
TEST_F(LinearDescriptionTest, AFailureStoresNothingAndAnEditIsFollowed) {
  StyleComPtr<RecordingLibrarian> lib(RecordingLibrarian::Create());
  StyleComPtr<IJStyleSimpleLine> line;
  ASSERT_EQ(CreateObject(server, CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine, line.PutVoid()), S_OK);
  const DWORD parent = lib->Add(line.Get());
  StyleComPtr<IWorkbenchLinear> bench;
  NewBench(parent, bench, lib->Librarian());
  std::wstring text;
  for (int attempt = 0; attempt < 2; ++attempt) {
    stylesrv_test::ClearReports();
    EXPECT_EQ(Describe(bench, &text), E_NOTIMPL);
    EXPECT_EQ(text, L"(none)");
    EXPECT_FALSE(stylesrv_test::Reports().empty());
  }
  ASSERT_EQ(Admin(bench)->SetName(L"Named"), S_OK);
  ASSERT_EQ(Describe(bench, &text), S_OK);
  ASSERT_EQ(bench->SetColor(0x0000FF), S_OK);
  ASSERT_EQ(Describe(bench, &text), S_OK);
  EXPECT_EQ(text, Expected(L"Named", 0x0000FF, L"1 " + S(12216), S(192)));  // the parent line is in units 13
}

}  // namespace

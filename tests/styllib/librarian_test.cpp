// The librarian's operations on names, types, active and default styles, equal styles and copies between
// libraries.
#include <string>
#include <vector>

#include "tests/styllib/library_fixtures.h"

using styllib_test::TestLibrary;

namespace {

constexpr HRESULT kEqualStyleExists = 0x40222;
constexpr HRESULT kNoNameFound = 0x40223;
constexpr HRESULT kNameUnknown = static_cast<HRESULT>(0x80040221);
constexpr HRESULT kNameTakenInType = static_cast<HRESULT>(0x80040228);

class LibrarianTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stylesrv_test::ClearReports();
    HostClearNotifications();
  }
  std::wstring Name(DWORD id, HRESULT* hr = nullptr) {
    WCHAR buffer[64] = {};
    DWORD length = 64;
    const HRESULT answer = library->GetStyleName(id, buffer, &length);
    if (hr) *hr = answer;
    return buffer;
  }
  DWORD ByName(const wchar_t* name, const GUID& type = STYLETYPE_Linear) {
    DWORD id = 0;
    library->FindStyleIDByName(name, &type, &id);
    return id;
  }
  TestLibrary library;
};

TEST_F(LibrarianTest, AddingRefusesATakenNameAndSharesEqualUnnamedStyles) {
  const DWORD a = library.AddLine(L"A", 1);
  TestLineStyle* second = TestLineStyle::Create(2);
  StyleRecord record{const_cast<LPWSTR>(L"a"), nullptr, second->Unknown(), const_cast<GUID*>(&STYLETYPE_Linear),
                     0, 0};
  DWORD id = 0xDEAD;
  EXPECT_EQ(library->AddStyle(&record, &id), E_FAIL);
  EXPECT_EQ(id, a);  // the first one is persisted
  EXPECT_EQ(library.StyleCount(), 1u);

  const DWORD unnamed = library.AddLine(nullptr, 7, a);
  TestLineStyle* twin = TestLineStyle::Create(7);
  record = {nullptr, nullptr, twin->Unknown(), const_cast<GUID*>(&STYLETYPE_Linear), a, 0};
  EXPECT_EQ(library->AddStyle(&record, &id), kEqualStyleExists);
  EXPECT_EQ(id, unnamed);
  EXPECT_EQ(library->AddStyleNoCreate(&record, &id), S_OK);
  EXPECT_NE(id, unnamed);
  // Under another named ancestor an equal style is a style of its own.
  record.parentID = 0;
  EXPECT_EQ(library->AddStyle(&record, &id), S_OK);
  EXPECT_NE(id, unnamed);
  EXPECT_EQ(library.StyleCount(), 4u);
  second->Release();
  twin->Release();
}

TEST_F(LibrarianTest, NamesAreInheritedAndHandedOutByLength) {
  const DWORD named = library.AddLine(L"Border", 1);
  const DWORD child = library.AddLine(nullptr, 2, named);
  const DWORD grandchild = library.AddLine(nullptr, 3, child);
  const DWORD orphan = library.AddLine(nullptr, 4);
  EXPECT_EQ(Name(grandchild), L"Border");

  WCHAR small[6] = {L'x', 0};
  DWORD length = 6;  // "Border" needs 7
  EXPECT_EQ(library->GetStyleName(child, small, &length), S_OK);
  EXPECT_EQ(length, 7u);
  EXPECT_EQ(std::wstring(small), L"x");
  length = 99;
  EXPECT_EQ(library->GetStyleName(named, nullptr, &length), S_OK);
  EXPECT_EQ(length, 7u);

  HRESULT hr = S_OK;
  EXPECT_EQ(Name(orphan, &hr), L"");
  EXPECT_EQ(hr, kNoNameFound);
  length = 5;
  EXPECT_EQ(library->GetStyleName(orphan + 1, small, &length), E_FAIL);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(library->SetParentID(named, grandchild), E_FAIL);  // would make a loop three deep
}

TEST_F(LibrarianTest, FindOrCreateStyleIDKnowsOnlyTheNamesOfTheType) {
  const DWORD solid = library.AddLine(L"Solid");
  DWORD id = 0xDEAD;
  EXPECT_EQ(library->FindOrCreateStyleID(L"SOLID", &STYLETYPE_Linear, &id), S_OK);
  EXPECT_EQ(id, solid);
  EXPECT_EQ(library->FindOrCreateStyleID(L"Dotted", &STYLETYPE_Linear, &id), kNameUnknown);
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(library->FindOrCreateStyleID(L"Solid", &STYLETYPE_Fill, &id), kNameUnknown);
  EXPECT_EQ(library->RemoveStyleByName(L"Dotted", &STYLETYPE_Linear), kNameUnknown);
  EXPECT_EQ(library.StyleCount(), 1u);
}

TEST_F(LibrarianTest, RenamingMovesTheNameInTheTypesTable) {
  library.AddLine(L"Solid", 1);
  const DWORD dashed = library.AddLine(L"Dashed", 2);
  ASSERT_EQ(library->RenameStyle(dashed, L"Long dashes", 0), S_OK);
  EXPECT_EQ(Name(dashed), L"Long dashes");
  EXPECT_EQ(ByName(L"Long dashes"), dashed);
  EXPECT_EQ(ByName(L"Dashed"), 0u);
  EXPECT_FALSE(library.Names(STYLETYPE_Linear)->Exists(L"Dashed"));
  TestLineStyle* style = library.Line(dashed);
  ASSERT_NE(style, nullptr);
  EXPECT_EQ(style->colour, 2u);
  style->Release();
}

// What a refused rename must leave as it was: every entry's name and use count, the names in the type's table,
// and the counts of named, live and all styles.
struct NamesState {
  std::vector<std::wstring> names;  // per ID: the name GetStyleName answers, or its code
  std::vector<DWORD> uses;
  std::vector<bool> inTable;  // per probed name
  DWORD named = 0, live = 0, styles = 0, tableCount = 0;
};

NamesState NamesOf(TestLibrary& library, const std::vector<const wchar_t*>& probes) {
  NamesState state;
  for (DWORD id = 1; id <= 6; ++id) {
    WCHAR buffer[64] = {};
    DWORD length = 64;
    const HRESULT hr = library->GetStyleName(id, buffer, &length);
    state.names.push_back(hr == S_OK ? std::wstring(buffer) : L"code " + std::to_wstring(hr));
    state.uses.push_back(library.UseCount(id));
  }
  for (const wchar_t* probe : probes) state.inTable.push_back(library.Names(STYLETYPE_Linear)->Exists(probe));
  library->GetNamedStyleCount(&state.named);
  state.live = library.LiveCount();
  state.styles = library.StyleCount();
  library->GetTypeNameCount(&STYLETYPE_Linear, &state.tableCount);
  return state;
}

// A rename is refused, changing nothing, for an empty name (which would leave an entry counted as named that no
// name finds), no name, a name the type has, a style without a name, and an ID that names no style.
TEST_F(LibrarianTest, ARefusedRenameChangesNothing) {
  enum Target : DWORD { kDashed, kUnnamed, kFreed, kPastEnd, kZero, kInvalid };
  struct Row {
    const char* what;
    Target target;
    const wchar_t* name;
    DWORD force;
    HRESULT expected;
  };
  const Row rows[] = {
      {"an empty name", kDashed, L"", 0, E_INVALIDARG},
      {"an empty name, forced", kDashed, L"", 1, E_INVALIDARG},
      {"an empty name for an unnamed style", kUnnamed, L"", 0, E_INVALIDARG},
      {"no name", kDashed, nullptr, 0, E_FAIL},
      {"no name, forced", kDashed, nullptr, 1, E_FAIL},
      {"a name the type has, in other letters", kDashed, L"SOLID", 0, E_FAIL},
      {"a style without a name", kUnnamed, L"New", 0, E_FAIL},
      {"a freed ID", kFreed, L"New", 0, E_FAIL},
      {"an ID past the last", kPastEnd, L"New", 0, E_FAIL},
      {"ID 0", kZero, L"New", 0, E_FAIL},
      {"the invalid ID", kInvalid, L"New", 0, E_FAIL},
      {"the invalid ID with an empty name", kInvalid, L"", 0, E_FAIL},
  };
  const std::vector<const wchar_t*> probes = {L"Solid", L"Dashed", L"New", L""};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TestLibrary names;
    const DWORD solid = names.AddLine(L"Solid", 1);
    const DWORD dashed = names.AddLine(L"Dashed", 2);
    const DWORD unnamed = names.AddLine(nullptr, 3);
    const DWORD freed = names.AddLine(nullptr, 4);
    names->AddRefStyleID(solid);
    names->AddRefStyleID(freed);
    names->ReleaseStyleID(freed);  // an unnamed style goes with its last use
    ASSERT_EQ(names->IsDeletedSlot(freed), E_FAIL);
    const DWORD ids[] = {dashed, unnamed, freed, freed + 1, 0, kInvalidStyleID};
    const NamesState before = NamesOf(names, probes);
    ASSERT_EQ(before.names[dashed - 1], L"Dashed");

    EXPECT_EQ(names->RenameStyle(ids[row.target], row.name, row.force), row.expected);
    const NamesState after = NamesOf(names, probes);
    EXPECT_EQ(after.names, before.names);
    EXPECT_EQ(after.uses, before.uses);
    EXPECT_EQ(after.inTable, before.inTable);
    EXPECT_EQ(after.named, before.named);
    EXPECT_EQ(after.live, before.live);
    EXPECT_EQ(after.styles, before.styles);
    EXPECT_EQ(after.tableCount, before.tableCount);
  }
}

TEST_F(LibrarianTest, RemovingAStyleInUseOnlyDropsItsName) {
  const DWORD solid = library.AddLine(L"Solid", 1);
  const DWORD active = library.AddLine(L"Active", 2);
  ASSERT_EQ(library->SetActiveStyleID(&STYLETYPE_Linear, active), S_OK);
  library->AddRefStyleID(solid);
  EXPECT_EQ(library->RemoveStyle(solid), S_OK);
  EXPECT_EQ(library->IsDeletedSlot(solid), S_OK);  // still there
  EXPECT_EQ(library.UseCount(solid), 1u);
  EXPECT_EQ(ByName(L"Solid"), 0u);
  EXPECT_FALSE(library.Names(STYLETYPE_Linear)->Exists(L"Solid"));
  EXPECT_EQ(library->RemoveStyle(solid), S_FALSE);  // no name left to drop
  // The last use of the now unnamed style frees it.
  EXPECT_EQ(library->ReleaseStyleID(solid), S_OK);
  EXPECT_EQ(library->IsDeletedSlot(solid), E_FAIL);

  EXPECT_EQ(library->RemoveStyle(active), S_OK);  // the active style stays
  EXPECT_EQ(ByName(L"Active"), active);
  EXPECT_EQ(library->IsDeletedSlot(active + 1), E_FAIL);
  EXPECT_EQ(library->RemoveStyle(active + 1), E_FAIL);
}

TEST_F(LibrarianTest, DropStyleNameFreesValidSlotsOnly) {
  const DWORD solid = library.AddLine(L"Solid", 1);
  const DWORD other = library.AddLine(L"Other", 2);
  for (DWORD bad : {DWORD{0}, other + 1, kInvalidStyleID}) EXPECT_EQ(library->DropStyleName(bad), E_FAIL);
  ASSERT_EQ(library->DropStyleName(solid), S_OK);
  EXPECT_EQ(library->DropStyleName(solid), E_FAIL);  // free now
  EXPECT_FALSE(library.Names(STYLETYPE_Linear)->Exists(L"Solid"));
  EXPECT_EQ(library.LiveCount(), 1u);
  EXPECT_EQ(library.AddLine(L"Reused"), solid);
}

TEST_F(LibrarianTest, ChangingTypesMovesTheNameAndRefusesATakenOne) {
  const DWORD solid = library.AddLine(L"Solid", 1);
  library.AddLine(L"Solid", 2, 0, STYLETYPE_Fill);
  const DWORD border = library.AddLine(L"Border", 3);
  EXPECT_EQ(library->ChangeStyleType(solid, &STYLETYPE_Fill), kNameTakenInType);
  EXPECT_EQ(ByName(L"Solid"), solid);

  ASSERT_EQ(library->ChangeStyleType(border, &STYLETYPE_Fill), S_OK);
  EXPECT_EQ(ByName(L"Border"), 0u);
  EXPECT_EQ(ByName(L"Border", STYLETYPE_Fill), border);
  EXPECT_FALSE(library.Names(STYLETYPE_Linear)->Exists(L"Border"));
  EXPECT_TRUE(library.Names(STYLETYPE_Fill)->Exists(L"Border"));
  // Its object is still found through its new type's name table after the library let it go.
  ASSERT_EQ(library.server().internals().DropLibraryObjects(library.librarian), S_OK);
  TestLineStyle* style = library.Line(border);
  ASSERT_NE(style, nullptr);
  EXPECT_EQ(style->colour, 3u);
  style->Release();
  EXPECT_EQ(library->ChangeStyleType(border + 1, &STYLETYPE_Fill), E_FAIL);
}

TEST_F(LibrarianTest, ActiveAndDefaultStylesMoveUses) {
  DWORD id = 0xDEAD;
  EXPECT_EQ(library->GetActiveStyleID(&STYLETYPE_Linear, &id, 0), S_OK);
  EXPECT_EQ(id, 0u);
  library.AddLine(nullptr, 1);
  const DWORD b = library.AddLine(L"B", 2);
  const DWORD c = library.AddLine(L"C", 3);
  ASSERT_EQ(library->GetActiveStyleID(&STYLETYPE_Linear, &id, 1), S_OK);
  EXPECT_EQ(id, b);  // the lowest named one
  EXPECT_EQ(library.UseCount(b), 1u);

  ASSERT_EQ(library->SetExceptionStyleID(STYLETYPE_Linear, c), S_OK);
  EXPECT_EQ(library->SetExceptionStyleID(STYLETYPE_Linear, c), E_FAIL);  // already the default
  EXPECT_EQ(library.UseCount(c), 1u);
  ASSERT_EQ(library->SetExceptionStyleID(STYLETYPE_Linear, b), S_OK);
  EXPECT_EQ(library.UseCount(c), 0u);
  EXPECT_EQ(library.UseCount(b), 2u);
  ASSERT_EQ(library->GetExceptionStyleID(STYLETYPE_Linear, &id), S_OK);
  EXPECT_EQ(id, b);
  EXPECT_EQ(library->GetExceptionStyleID(CLSID_TestLineStyle, &id), E_FAIL);

  // Types without a default object answer S_FALSE; a default that needs a class not served yet fails with a
  // fatal report of that class.
  EXPECT_EQ(library->GetExceptionStyleID(STYLETYPE_HatchFillPattern, &id), S_FALSE);
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(library->GetActiveStyleID(&STYLETYPE_HatchFillPattern, &id, 1), S_FALSE);
  stylesrv_test::ClearReports();
  EXPECT_TRUE(FAILED(library->GetExceptionStyleID(STYLETYPE_Dimension, &id)));
  const auto reports = stylesrv_test::Reports();
  ASSERT_FALSE(reports.empty());
  EXPECT_TRUE(reports.front().fatal);
  const CLSID hostDimensionStyle = {0x47FCC33E, 0x2D0F, 0x11D0, {0xA1, 0xFF, 0x08, 0x00, 0x36, 0xA1, 0xCF, 0x02}};
  EXPECT_TRUE(IsEqualCLSID(reports.front().clsid, hostDimensionStyle));
  EXPECT_EQ(library.StyleCount(), 3u);

  // A line type's default is a new unnamed simple line in the exception colour, held as the default.
  ASSERT_EQ(library->GetExceptionStyleID(STYLETYPE_Dash, &id), S_OK);
  ASSERT_NE(id, 0u);
  EXPECT_EQ(library.StyleCount(), 4u);
  EXPECT_EQ(library.UseCount(id), 1u);
  DWORD again = 0;
  ASSERT_EQ(library->GetExceptionStyleID(STYLETYPE_Dash, &again), S_OK);
  EXPECT_EQ(again, id);
  IUnknown* object = nullptr;
  ASSERT_EQ(library->GetStyle(id, &object), S_OK);
  IJStyleSimpleLine* line = nullptr;
  ASSERT_EQ(object->QueryInterface(IID_IJStyleSimpleLine, reinterpret_cast<void**>(&line)), S_OK);
  DWORD colour = 0;
  ASSERT_EQ(line->GetColor(&colour), S_OK);
  EXPECT_EQ(colour, library.server().GetExceptionColor());
  line->Release();
  object->Release();

  // The fill type's default is a simple fill in the exception colour.
  ASSERT_EQ(library->GetExceptionStyleID(STYLETYPE_Fill, &id), S_OK);
  ASSERT_EQ(library->GetStyle(id, &object), S_OK);
  IJStyleSimpleFill* fill = nullptr;
  ASSERT_EQ(object->QueryInterface(IID_IJStyleSimpleFill, reinterpret_cast<void**>(&fill)), S_OK);
  ASSERT_EQ(fill->GetColor(&colour), S_OK);
  EXPECT_EQ(colour, library.server().GetExceptionColor());
  fill->Release();
  object->Release();

  // The character type's default: the exception colour, height 0.003175 in units 11, "Arial", units 11.
  ASSERT_EQ(library->GetExceptionStyleID(STYLETYPE_TextChar, &id), S_OK);
  ASSERT_EQ(library->GetStyle(id, &object), S_OK);
  IJStyleTextChar* text = nullptr;
  ASSERT_EQ(object->QueryInterface(IID_IJStyleTextChar, reinterpret_cast<void**>(&text)), S_OK);
  TextCharData data{};
  ASSERT_EQ(text->GetCharData(&data), S_OK);
  EXPECT_EQ(data.colour, library.server().GetExceptionColor());
  EXPECT_EQ(data.size, 0.003175);
  EXPECT_EQ(data.sizeUnits, 11u);
  EXPECT_EQ(data.unitsCode, 11u);
  EXPECT_STREQ(data.fontName, L"Arial");
  CoTaskMemFree(data.fontName);
  text->Release();
  object->Release();
}

TEST_F(LibrarianTest, EqualStylesAndCopiesBetweenLibraries) {
  TestLibrary other;
  const DWORD red = library.AddLine(nullptr, 0xFF);
  const DWORD named = library.AddLine(L"Named", 0xF0);
  const DWORD theirRed = other.AddLine(nullptr, 0xFF);
  other.AddLine(L"Named", 0x0F);

  TestLineStyle* probe = TestLineStyle::Create(0xFF);
  DWORD id = 0;
  ASSERT_EQ(library->FindEqualStyleID(probe->Unknown(), &id), S_OK);
  EXPECT_EQ(id, red);
  ASSERT_EQ(library->FindEqualStyleIDUnderParent(0, probe->Unknown(), &id), S_OK);
  EXPECT_EQ(id, red);
  probe->colour = 0x12;
  ASSERT_EQ(library->FindEqualStyleID(probe->Unknown(), &id), S_OK);
  EXPECT_EQ(id, 0u);
  probe->Release();

  ASSERT_EQ(library->CopyStyleTo(red, other.librarian, &id), S_OK);
  EXPECT_EQ(id, theirRed);
  ASSERT_EQ(library->CopyStyleTo(named, other.librarian, &id), S_OK);  // by name
  DWORD theirs = 0;
  other->FindStyleIDByName(L"Named", &STYLETYPE_Linear, &theirs);
  EXPECT_EQ(id, theirs);
  ASSERT_EQ(library->CopyStyleFromLibrary(theirRed, other.librarian, &id), S_OK);
  EXPECT_EQ(id, red);

  // A record that cannot be had is one failure, reported, not a retry.
  stylesrv_test::ClearReports();
  EXPECT_EQ(library->CopyStyleFromLibrary(theirRed + 10, other.librarian, &id), E_FAIL);
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(stylesrv_test::Reports().size(), 1u);
  EXPECT_EQ(library->CopyStyleFromLibrary(theirRed, nullptr, &id), E_FAIL);
  EXPECT_EQ(library->CopyStyleTo(named + 1, other.librarian, &id), E_FAIL);
}

TEST_F(LibrarianTest, UnusedStylesGoAndUsedOnesStay) {
  const DWORD used = library.AddLine(L"Used", 1);
  const DWORD unusedNamed = library.AddLine(L"Unused", 2);
  const DWORD unusedPlain = library.AddLine(nullptr, 3);
  library->AddRefStyleID(used);
  ASSERT_EQ(library->RemoveUnusedStyles(0), S_OK);
  EXPECT_EQ(library->IsDeletedSlot(used), S_OK);
  EXPECT_EQ(library->IsDeletedSlot(unusedPlain), E_FAIL);
  EXPECT_EQ(ByName(L"Unused"), 0u);
  EXPECT_NE(library->IsDeletedSlot(unusedNamed), S_OK);
}

TEST_F(LibrarianTest, AuxiliaryTextsAndCategories) {
  const DWORD solid = library.AddLine(L"Solid");
  ASSERT_EQ(library->SetStyleNameString(L"solid", &STYLETYPE_Linear, L"a note"), S_OK);
  StyleRecord* record = nullptr;
  ASSERT_EQ(library->GetStyleRecord(solid, &record), S_OK);
  EXPECT_EQ(std::wstring(record->auxText), L"a note");
  library->FreeStyleRecord(&record);
  JSymbolDescriptor* descriptor = nullptr;
  ASSERT_EQ(library.Names(STYLETYPE_Linear)->Find(L"Solid", &descriptor), S_OK);
  LPCWSTR text = nullptr;
  descriptor->GetAuxText(&text);
  EXPECT_EQ(std::wstring(text), L"a note");
  EXPECT_EQ(library->SetStyleNameString(L"Dotted", &STYLETYPE_Linear, nullptr), E_FAIL);
  EXPECT_EQ(library->SetStyleNameString(L"Solid", &CLSID_TestLineStyle, nullptr), E_INVALIDARG);

  // A new category is asked of the styles already loaded: the render path hands out the new interface.
  IJSLRender* render = nullptr;
  ASSERT_EQ(library->QueryInterface(IID_IJSLRender, reinterpret_cast<void**>(&render)), S_OK);
  IUnknown* typed = nullptr;
  ASSERT_EQ(render->GetStyleForRender(solid, &typed, nullptr), S_OK);
  EXPECT_NE(typed, styllib_test::IdentityOf(typed));
  ASSERT_EQ(library->SetTypeCategory(STYLETYPE_Linear, IID_IUnknown), S_OK);
  ASSERT_EQ(render->GetStyleForRender(solid, &typed, nullptr), S_OK);
  EXPECT_EQ(typed, styllib_test::IdentityOf(typed));
  render->Release();
  EXPECT_EQ(library->SetTypeCategory(CLSID_TestLineStyle, IID_IUnknown), E_FAIL);
}

HRESULT WINAPI CollectName(JSymbolDescriptor* descriptor, void* context) {
  LPCWSTR name = nullptr;
  descriptor->GetName(&name);
  auto* names = static_cast<std::vector<std::wstring>*>(context);
  names->push_back(name);
  return names->size() == 2 ? E_ABORT : S_OK;
}

TEST_F(LibrarianTest, EnumTypeItemsWalksANameTableUntilTheCallbackFails) {
  IJSLibAccess* access = nullptr;
  ASSERT_EQ(library->QueryInterface(IID_IJSLibAccess, reinterpret_cast<void**>(&access)), S_OK);
  std::vector<std::wstring> names;
  EXPECT_EQ(access->EnumTypeItems(&STYLETYPE_Linear, CollectName, &names), S_OK);  // no names
  EXPECT_EQ(access->EnumTypeItems(&CLSID_TestLineStyle, CollectName, &names), S_OK);  // unknown type
  EXPECT_TRUE(names.empty());
  library.AddLine(L"One");
  EXPECT_EQ(access->EnumTypeItems(&STYLETYPE_Linear, CollectName, &names), S_OK);
  EXPECT_EQ(names, (std::vector<std::wstring>{L"One"}));
  library.AddLine(L"Two");
  library.AddLine(L"Three");
  names.clear();
  stylesrv_test::ClearReports();
  EXPECT_EQ(access->EnumTypeItems(&STYLETYPE_Linear, CollectName, &names), E_ABORT);
  EXPECT_EQ(names.size(), 2u);
  const auto reports = stylesrv_test::Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(std::string(reports[0].source), "SLACCESS");
  access->Release();
}

}  // namespace

namespace {

TEST(PersistedStyleNameTest, HandsOutTheEntrysOwnNameOrNull) {
  TestLibrary library;
  const DWORD solid = library.AddLine(L"Solid");
  IJSLManageStyleServices* services = nullptr;
  ASSERT_EQ(library->QueryInterface(IID_IJSLManageStyleServices, reinterpret_cast<void**>(&services)), S_OK);
  LPWSTR name = nullptr;
  ASSERT_EQ(services->GetPersistedStyleName(solid, &name), S_OK);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(std::wstring(name), L"Solid");
  // No such style: still S_OK, and the caller's pointer does not keep a stale name.
  EXPECT_EQ(services->GetPersistedStyleName(solid + 1, &name), S_OK);
  EXPECT_EQ(name, nullptr);
  services->Release();
}

}  // namespace

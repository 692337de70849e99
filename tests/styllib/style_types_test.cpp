// The style types of a new library and their name tables.
#include <algorithm>
#include <cwctype>

#include "tests/styllib/library_fixtures.h"

using styllib_test::TestLibrary;

namespace {

// The name tables' hash, written out here to check the order the tables walk in.
DWORD BucketOf(const wchar_t* name) {
  DWORD h = 0;
  for (; *name; ++name) h = h * 33 + static_cast<WORD>(std::towlower(*name));
  return h % StyleNameMap::kBucketCount;
}

std::vector<std::wstring> Walk(StyleNameMap* names) {
  std::vector<std::wstring> order;
  ULONG_PTR position = names->GetStartPosition();
  while (position) {
    LPCWSTR name = nullptr;
    if (FAILED(names->GetNext(&position, &name))) break;
    order.emplace_back(name);
  }
  return order;
}

TEST(StyleTypesTest, ANewLibraryRegistersTheThirteenTypesInOrderWithTheirCategories) {
  TestLibrary library;
  struct Expected {
    const GUID* type;
    const IID* category;
  };
  const Expected expected[] = {
      {&STYLETYPE_Dash, &IID_IJStyleDashTypeRender},      {&STYLETYPE_Linear, &IID_IJStyleRender},
      {&STYLETYPE_Fill, &IID_IJStyleRender},              {&STYLETYPE_TextChar, &IID_IJStyleRender},
      {&STYLETYPE_TextPara, &IID_IJStyleTextPara},        {&STYLETYPE_Dimension, &IID_IUnknown},
      {&STYLETYPE_BriskFrame, &IID_IUnknown},             {&STYLETYPE_HatchFillPattern, &IID_IJStyleFillTypeRender},
      {&STYLETYPE_SymbolFillPattern, &IID_IJStyleFillTypeRender},
      {&STYLETYPE_SegmentedStyle, &IID_IJStylePrerender}, {&STYLETYPE_PointSymbol, &IID_IJStyleRender},
      {&STYLETYPE_LinePointGen, &IID_IJStyleRender},      {&STYLETYPE_Mux3d, &IID_IJStyleRender},
  };
  DWORD count = 0;
  ASSERT_EQ(library->GetTypeCount(&count), S_OK);
  ASSERT_EQ(count, 13u);
  for (WORD i = 0; i < 13; ++i) {
    GUID type{};
    ASSERT_EQ(library->GetTypeGUID(i, &type), S_OK);
    EXPECT_TRUE(IsEqualGUID(type, *expected[i].type)) << "type " << i;
    // The render path hands out the type record of a style of the type.
    StyleNameMap* names = library.Names(type);
    ASSERT_NE(names, nullptr);
    DWORD n = 99;
    EXPECT_EQ(names->GetCount(&n), S_OK);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(names->GetStartPosition(), 0u);
  }
  GUID beyond{};
  EXPECT_EQ(library->GetTypeGUID(13, &beyond), E_FAIL);

  // Each type's record carries its fixed category and no active or default style.
  IJSLRender* render = nullptr;
  ASSERT_EQ(library->QueryInterface(IID_IJSLRender, reinterpret_cast<void**>(&render)), S_OK);
  for (WORD i = 0; i < 13; ++i) {
    const DWORD id = library.AddLine(nullptr, 0x100 + i, 0, *expected[i].type);
    ASSERT_NE(id, 0u);
    IUnknown* typed = nullptr;
    StyleTypeRecord* record = nullptr;
    ASSERT_EQ(render->GetStyleForRender(id, &typed, &record), S_OK);
    ASSERT_NE(record, nullptr);
    EXPECT_TRUE(IsEqualGUID(record->type, *expected[i].type));
    EXPECT_TRUE(IsEqualIID(record->category, *expected[i].category)) << "type " << i;
    EXPECT_EQ(record->activeID, 0u);
    EXPECT_EQ(record->defaultID, 0u);
  }
  render->Release();
}

TEST(StyleTypesTest, ARegisteredTypeTakesItsFixedCategoryWhateverTheCallerSays) {
  TestLibrary library;
  const GUID custom = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
  ASSERT_EQ(library->RegisterType(custom, 0, 0, IID_IJStyleTextPara), S_OK);
  ASSERT_EQ(library->RegisterType(STYLETYPE_Dash, 0, 0, IID_IUnknown), S_OK);  // known: unchanged
  DWORD count = 0;
  library->GetTypeCount(&count);
  ASSERT_EQ(count, 14u);

  IJSLRender* render = nullptr;
  ASSERT_EQ(library->QueryInterface(IID_IJSLRender, reinterpret_cast<void**>(&render)), S_OK);
  StyleTypeRecord* record = nullptr;
  IUnknown* typed = nullptr;
  ASSERT_EQ(render->GetStyleForRender(library.AddLine(nullptr, 1, 0, custom), &typed, &record), S_OK);
  EXPECT_TRUE(IsEqualIID(record->category, IID_IJStyleRender));
  // A test line answers IJStyleRender, so that is what the library hands out for it.
  IJStyleRender* asRender = nullptr;
  ASSERT_EQ(typed->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&asRender)), S_OK);
  EXPECT_EQ(static_cast<IUnknown*>(asRender), typed);
  asRender->Release();
  ASSERT_EQ(render->GetStyleForRender(library.AddLine(nullptr, 2, 0, STYLETYPE_Dash), &typed, &record), S_OK);
  EXPECT_TRUE(IsEqualIID(record->category, IID_IJStyleDashTypeRender));
  // A style without the category interface is handed out as itself.
  EXPECT_EQ(typed, styllib_test::IdentityOf(typed));
  render->Release();
}

TEST(StyleTypesTest, NameTablesIgnoreCaseAndWalkInBucketOrderNewestFirst) {
  TestLibrary library;
  ASSERT_NE(library.AddLine(L"Solid"), 0u);
  StyleNameMap* names = library.Names(STYLETYPE_Linear);
  JSymbolDescriptor* solid = nullptr;
  JSymbolDescriptor* upper = nullptr;
  ASSERT_EQ(names->Find(L"Solid", &solid), S_OK);
  ASSERT_EQ(names->Find(L"SOLID", &upper), S_OK);
  EXPECT_EQ(solid, upper);
  EXPECT_TRUE(names->Exists(L"sOlId"));
  EXPECT_FALSE(names->Exists(L"Solid "));
  EXPECT_EQ(names->Find(nullptr, &solid), E_INVALIDARG);
  EXPECT_EQ(names->Find(L"Dotted", &solid), E_FAIL);
  // A second style of that name (in any case) is refused in the type, and allowed in another.
  EXPECT_EQ(library.AddLine(L"SOLID"), 0u);
  EXPECT_NE(library.AddLine(L"SOLID", 0xFF, 0, STYLETYPE_Fill), 0u);

  // Names of one bucket come newest first; buckets in order.
  const wchar_t* added[] = {L"Center", L"Dashed", L"border", L"Hidden", L"Phantom", L"dot", L"Chain"};
  for (const wchar_t* name : added) ASSERT_NE(library.AddLine(name), 0u);
  std::vector<std::pair<DWORD, int>> expected;  // (bucket, -order of adding)
  std::vector<std::wstring> all = {L"Solid"};
  all.insert(all.end(), std::begin(added), std::end(added));
  for (std::size_t i = 0; i < all.size(); ++i) expected.emplace_back(BucketOf(all[i].c_str()), -static_cast<int>(i));
  std::sort(expected.begin(), expected.end());
  std::vector<std::wstring> order;
  for (const auto& e : expected) order.push_back(all[static_cast<std::size_t>(-e.second)]);
  EXPECT_EQ(Walk(names), order);
  DWORD count = 0;
  names->GetCount(&count);
  EXPECT_EQ(count, all.size());
}

// A name filed again under another descriptor (as a custodian files a file's names) replaces the old one: the
// old descriptor is released, the count stays.
TEST(StyleTypesTest, FilingANameAgainReleasesTheReplacedDescriptor) {
  TestLibrary library;
  ASSERT_NE(library.AddLine(L"Solid"), 0u);
  ASSERT_NE(library.AddLine(L"SOLID", 0x00FF00, 0, STYLETYPE_Fill), 0u);
  StyleNameMap* lines = library.Names(STYLETYPE_Linear);
  JSymbolDescriptor* old = nullptr;
  JSymbolDescriptor* other = nullptr;
  ASSERT_EQ(lines->Find(L"solid", &old), S_OK);
  ASSERT_EQ(library.Names(STYLETYPE_Fill)->Find(L"solid", &other), S_OK);
  ASSERT_EQ(old->AddRef(), 2u);  // the table's and ours

  ASSERT_EQ(lines->Add(other), S_OK);
  DWORD count = 0;
  lines->GetCount(&count);
  EXPECT_EQ(count, 1u);
  JSymbolDescriptor* found = nullptr;
  ASSERT_EQ(lines->Find(L"Solid", &found), S_OK);
  EXPECT_EQ(found, other);
  // Only our reference is left: Release answers the count it found.
  EXPECT_EQ(old->Release(), 1u);
}

TEST(StyleTypesTest, ADescriptorKeepsItsOwnTextsAndItsStyleBeyondItsLibrary) {
  JSymbolDescriptor* descriptor = nullptr;
  IUnknown* style = nullptr;
  {
    TestLibrary library;
    const DWORD id = library.AddLine(L"Solid");
    StyleRecord* record = nullptr;
    ASSERT_EQ(library->GetStyleRecord(id, &record), S_OK);
    style = record->styleObject;
    style->AddRef();
    library->FreeStyleRecord(&record);
    ASSERT_EQ(library.Names(STYLETYPE_Linear)->Find(L"SOLID", &descriptor), S_OK);
    descriptor->AddRef();
  }
  // The library and its document are gone; the descriptor still answers its name and its style.
  LPCWSTR name = nullptr;
  ASSERT_EQ(descriptor->GetName(&name), S_OK);
  EXPECT_STREQ(name, L"Solid");
  IJStyleRender* render = nullptr;
  ASSERT_EQ(descriptor->QueryStyle(IID_IJStyleRender, reinterpret_cast<void**>(&render)), S_OK);
  EXPECT_EQ(styllib_test::IdentityOf(render), style);
  render->Release();
  EXPECT_EQ(descriptor->GetKind(), 2u);
  EXPECT_EQ(descriptor->QueryStyle(IID_IJStyleRender, nullptr), E_INVALIDARG);
  EXPECT_EQ(descriptor->Release(), 1u);
  style->Release();
}

}  // namespace

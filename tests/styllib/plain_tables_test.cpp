// Every table the server hands out, called as a caller built apart from it calls it: through the table's slot
// numbers alone, in the COM calling convention for interfaces and in the compiler's convention for member
// operations of the library's own tables. Each probe calls an operation late in its table, so that a slot
// taken or moved anywhere before it (a C++ virtual destructor takes two) shows.
#include <algorithm>

#include "display/style/server.h"
#include "tests/styllib/library_fixtures.h"

using styllib_test::CreateObject;
using styllib_test::IdentityOf;
using styllib_test::TestLibrary;

namespace {

void* Slot(void* table, int slot) { return (*static_cast<void***>(table))[slot]; }

// An interface operation: the COM calling convention, the interface pointer first.
template <class R = HRESULT, class... A>
R Com(void* itf, int slot, A... args) {
  return reinterpret_cast<R(__stdcall*)(void*, A...)>(Slot(itf, slot))(itf, args...);
}

// A member operation of one of the library's own tables.
template <class R = HRESULT, class... A>
R Member(void* object, int slot, A... args) {
  return reinterpret_cast<R(__attribute__((thiscall))*)(void*, A...)>(Slot(object, slot))(object, args...);
}

// An interface of an object that others keep alive, without a reference.
void* Itf(IUnknown* object, REFIID iid) {
  IUnknown* itf = nullptr;
  if (FAILED(object->QueryInterface(iid, reinterpret_cast<void**>(&itf)))) {
    ADD_FAILURE() << "interface missing";
    return nullptr;
  }
  itf->Release();
  return itf;
}

// The count an object's references stand at, without changing it.
ULONG RefsOf(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

HRESULT WINAPI CountDescriptor(JSymbolDescriptor*, void* context) {
  ++*static_cast<int*>(context);
  return S_OK;
}

TEST(PlainTableTest, NameMapAndItsDescriptors) {
  TestLibrary library;
  const DWORD alpha = library.AddLine(L"Alpha");
  StyleNameMap* linear = library.Names(STYLETYPE_Linear);
  StyleNameMap* fill = library.Names(STYLETYPE_Fill);
  // Deleting destructor 0; Init 1, Add 2, Remove 3, Find 4, Exists 5, GetStartPosition 6, GetNext 7, GetCount 8.
  JSymbolDescriptor* descriptor = nullptr;
  ASSERT_EQ(Member(linear, 4, L"ALPHA", &descriptor), S_OK);
  ASSERT_NE(descriptor, nullptr);
  DWORD count = 9;
  EXPECT_EQ(Member(fill, 1), S_OK);
  EXPECT_EQ(Member<ULONG_PTR>(fill, 6), 0u);
  EXPECT_EQ(Member(fill, 2, descriptor), S_OK);
  EXPECT_EQ(Member(fill, 8, &count), S_OK);
  EXPECT_EQ(count, 1u);
  ULONG_PTR position = Member<ULONG_PTR>(fill, 6);
  EXPECT_EQ(position, 0xFFFFFFFFu);
  LPCWSTR name = nullptr;
  EXPECT_EQ(Member(fill, 7, &position, &name), S_OK);
  EXPECT_STREQ(name, L"Alpha");
  EXPECT_EQ(position, 0u);
  EXPECT_TRUE(Member<BOOL>(fill, 5, L"alpha"));
  EXPECT_EQ(Member(fill, 3, L"alpha"), S_OK);
  EXPECT_EQ(Member(fill, 8, &count), S_OK);
  EXPECT_EQ(count, 0u);

  // GetTypeRecord 0, QueryStyle 1, GetName 2, GetAuxText 3, GetLastWord 4, not offered 5, AddRef 6,
  // Release 7 (the count before), GetKind 8, deleting destructor 9.
  StyleTypeRecord* type = nullptr;
  EXPECT_EQ(Member(descriptor, 0, &type), S_OK);
  EXPECT_TRUE(IsEqualGUID(type->type, STYLETYPE_Linear));
  IUnknown* style = nullptr;
  EXPECT_EQ(Member(descriptor, 1, &IID_IUnknown, reinterpret_cast<void**>(&style)), S_OK);
  TestLineStyle* line = library.Line(alpha);
  EXPECT_EQ(style, line->Unknown());
  style->Release();
  line->Release();
  EXPECT_EQ(Member(descriptor, 5, 0u), E_NOTIMPL);
  EXPECT_EQ(Member<ULONG>(descriptor, 6), 2u);
  EXPECT_EQ(Member<ULONG>(descriptor, 7), 2u);
  EXPECT_EQ(Member<DWORD>(descriptor, 8), 2u);
}

TEST(PlainTableTest, LibraryInterfaces) {
  TestLibrary library;
  const DWORD alpha = library.AddLine(L"Alpha");
  library.AddLine();
  IUnknown* unknown = library.librarian;
  void* librarian = Itf(unknown, IID_IJSLLibrarian);
  DWORD n = 0;
  EXPECT_EQ(Com(librarian, 34, &n), S_OK);  // GetTypeCount
  EXPECT_EQ(n, 13u);
  EXPECT_EQ(Com(librarian, 65, &n), S_OK);  // GetLiveCount, the last but two
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(Com(librarian, 67, BYTE{1}), S_OK);  // SetDocumentBacked

  void* render = Itf(unknown, IID_IJSLRender);
  const DWORD uses = library.UseCount(alpha);
  EXPECT_EQ(Com(render, 4, alpha), S_OK);  // AddRefStyleID
  EXPECT_EQ(library.UseCount(alpha), uses + 1);
  EXPECT_EQ(Com(render, 5, alpha), S_OK);  // ReleaseStyleID
  EXPECT_EQ(Com(render, 6, alpha), S_OK);  // AddRefStyleID2
  EXPECT_EQ(Com(render, 7, alpha), S_OK);  // ReleaseStyleID2, the last
  EXPECT_EQ(library.UseCount(alpha), uses);
  LPWSTR name = nullptr;
  EXPECT_EQ(Com(Itf(unknown, IID_IJSLManageStyleServices), 3, alpha, &name), S_OK);
  EXPECT_STREQ(name, L"Alpha");
  int named = 0;
  EXPECT_EQ(Com(Itf(unknown, IID_IJSLibAccess), 3, &STYLETYPE_Linear, &CountDescriptor, &named), S_OK);
  EXPECT_EQ(named, 1);
  stylesrv_test::ClearReports();
  EXPECT_EQ(Com(Itf(unknown, IID_IJSLWorkShop), 8, 2u, 1u, static_cast<IUnknown*>(nullptr)), E_INVALIDARG);
  CLSID clsid{};
  void* persist = Itf(unknown, IID_IJPersist);
  EXPECT_EQ(Com(persist, 3, &clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_JStyleLib));

  StyleUnitTable table{};
  table.count = 3;
  void* units = Itf(unknown, IID_IJStyleUnitSettings);
  EXPECT_EQ(Com(units, 5, &table), S_OK);  // SetUnitTable
  table.count = 0;
  EXPECT_EQ(Com(units, 6, &table), S_OK);  // GetUnitTable
  EXPECT_EQ(table.count, 3u);
}

TEST(PlainTableTest, ResourceListAndItsEnumerator) {
  stylesrv_test::ServerModule server;
  IUnknown* object = nullptr;
  ASSERT_EQ(CreateObject(server, CLSID_JStyleResource, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
  void* list = Itf(object, IID_IJStyleResourceList);
  DWORD n = 0;
  EXPECT_EQ(Com(list, 7, L"a.sty"), S_OK);  // Add
  EXPECT_EQ(Com(list, 10, &n), S_OK);       // GetCount
  EXPECT_EQ(n, 1u);
  // Its own table: the deleting destructor in slot 3, a slot that answers 0, then Contains.
  EXPECT_EQ(Member<DWORD>(object, 4), 0u);
  EXPECT_TRUE(Member<BOOL>(object, 5, L"A.STY"));
  // The enumerator's deleting destructor in slot 7 lets go of the list it holds.
  IEnumString* names = nullptr;
  ASSERT_EQ(Com(list, 3, 0u, &names), S_OK);  // Enum
  EXPECT_EQ(RefsOf(object), 2u);
  Member<void>(names, 7, 1u);
  EXPECT_EQ(RefsOf(object), 1u);
  EXPECT_EQ(Com(list, 11, 0u), S_OK);  // RemoveAt, the last
  EXPECT_EQ(Com(list, 10, &n), S_OK);
  EXPECT_EQ(n, 0u);
  Member<void>(object, 3, 1u);
}

TEST(PlainTableTest, StyleEnumerators) {
  TestLibrary library;
  const DWORD alpha = library.AddLine(L"Alpha");
  IUnknown* unknown = library.librarian;
  TestLineStyle* line = library.Line(alpha);
  // IEnumUnknown's seven operations, then the deleting destructor: the one over all IDs holds the library, the
  // one over a type's names its objects.
  IEnumUnknown* all = nullptr;
  IEnumUnknown* named = nullptr;
  ASSERT_EQ(library->EnumStyles(nullptr, &all), S_OK);
  ASSERT_EQ(library->NewEnumStyles(&STYLETYPE_Linear, &named), S_OK);
  IUnknown* object = nullptr;
  ULONG fetched = 0;
  EXPECT_EQ(Com(all, 3, 1ul, &object, &fetched), S_OK);  // Next
  EXPECT_EQ(object, line->Unknown());
  object->Release();
  EXPECT_EQ(Com(named, 4, 1ul), S_FALSE);  // Skip past the one name
  const ULONG libraryRefs = RefsOf(unknown);
  const ULONG lineRefs = line->GetRefCount();
  Member<void>(all, 7, 1u);
  Member<void>(named, 7, 1u);
  EXPECT_EQ(RefsOf(unknown), libraryRefs - 1);
  EXPECT_EQ(line->GetRefCount(), lineRefs - 1);
  line->Release();
}

TEST(PlainTableTest, StyleInterfacesAndMainTable) {
  TestLibrary library;
  IUnknown* over = nullptr;
  ASSERT_EQ(CreateObject(library.server(), CLSID_JStyleOverride, IID_IUnknown, reinterpret_cast<void**>(&over)),
            S_OK);
  EXPECT_EQ(Com(Itf(over, IID_IJStyleOverride), 10, 2.5), S_OK);  // SetWidth
  DWORD id = 9;
  EXPECT_EQ(Com(Itf(over, IID_IJStyleOverride), 35, &id), S_OK);  // GetOtherStyleID, the last
  EXPECT_EQ(id, 0u);
  void* render = Itf(over, IID_IJStyleRender);
  EXPECT_EQ(Com<DWORD>(render, 3), 1u);  // the variant
  tagStyleOverride record{};
  EXPECT_EQ(Com(render, 13, &record), S_OK);  // ApplyToGraphic, the last
  EXPECT_EQ(record.width, 2.5);
  void* setup = Itf(over, IID_IJStyleSetup2d);
  EXPECT_EQ(Com(setup, 8, &id), S_OK);  // GetReferencedStyleID, the last
  void* manage = Itf(over, IID_IJManageStyle2);
  EXPECT_EQ(Com(manage, 8, WORD{1}), S_OK);  // SetFlagWord
  EXPECT_FALSE(Com<BOOL>(manage, 5));        // IsFlagWordClear
  GUID category{};
  EXPECT_EQ(Com(manage, 14, &category), S_OK);  // GetStyleCategory
  EXPECT_TRUE(IsEqualGUID(category, STYLETYPE_Linear));
  EXPECT_FALSE(Com<BOOL>(Itf(over, IID_IJStyleUser), 5, 7u));  // UsesStyleID
  EXPECT_EQ(Com(Itf(over, IID_IJStyleCopy), 3, nullptr, nullptr, nullptr, &id), E_INVALIDARG);
  // The main table behind GetImplementation: UUnknown's 15 operations, JStyleBase's 19, then the render
  // base's, which start with GetStyleKind.
  void* persist = Itf(over, IID_IJPersist);
  void* object = Com<void*>(persist, 4);
  EXPECT_STREQ(Member<const char*>(object, 14), "JStyleOverride");
  EXPECT_EQ(Member<DWORD>(object, 34), DWORD{STYLE_KIND_LINE});
  over->Release();

  IUnknown* line = nullptr;
  IUnknown* solid = nullptr;
  IUnknown* dash = nullptr;
  ASSERT_EQ(CreateObject(library.server(), CLSID_JStyleSimpleLine, IID_IUnknown, reinterpret_cast<void**>(&line)),
            S_OK);
  ASSERT_EQ(CreateObject(library.server(), CLSID_JStyleLineSolid, IID_IUnknown, reinterpret_cast<void**>(&solid)),
            S_OK);
  ASSERT_EQ(CreateObject(library.server(), CLSID_JStyleSimpleDashType, IID_IUnknown, reinterpret_cast<void**>(&dash)),
            S_OK);
  DWORD value = 0;
  EXPECT_EQ(Com(Itf(line, IID_IJStyleSimpleLine), 31, 1u), S_OK);  // SetModeSkip
  EXPECT_EQ(Com(Itf(line, IID_IJStyleSimpleLine), 32, &value), S_OK);  // GetModeSkip, the last
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(Com(Itf(solid, IID_IJStyleLineSolid), 12, 3u), S_OK);  // SetLockedFields, the last
  EXPECT_EQ(Com(Itf(solid, IID_IJStyleLineSolid), 11, &value), S_OK);
  EXPECT_EQ(value, 3u);
  const double lengths[] = {4, -2};
  void* simple = Itf(dash, IID_IJStyleSimpleDashType);
  EXPECT_EQ(Com(simple, 5, 2u, lengths), S_OK);  // SetLengths
  double length = 0;
  EXPECT_EQ(Com(simple, 12, &value, &length), S_OK);  // GetPatternLength, the last
  EXPECT_EQ(length, 6.0);
  EXPECT_EQ(Com(Itf(dash, IID_IJStyleDashType), 15, &value), S_OK);  // GetClientCount, the last
  EXPECT_EQ(value, 0u);
  // The dash type's drawing interface: one operation not offered, GetExtents, then RenderDashes.
  EXPECT_EQ(Com(Itf(dash, IID_IJStyleDashTypeRender), 3, 0u), E_NOTIMPL);
  TestTarget target;
  TestGeometry run({0, 0, 0, 10, 0, 0});
  const RenderContextScales context = Scales(1, 1, 1);
  EXPECT_EQ(Com(Itf(dash, IID_IJStyleDashTypeRender), 5, &run.run, target.target(), &context, 0u,
                static_cast<const tagStyleOverride*>(nullptr), static_cast<const StyleElementRecord*>(nullptr),
                DWORD{0}, 1.0),
            S_OK);
  const std::vector<std::string> names = target.Names();
  EXPECT_EQ(std::count(names.begin(), names.end(), "DrawPolyline"), 2);  // 0 to 4 and 6 to 10
  line->Release();
  solid->Release();
  dash->Release();

  // The symbol definition's tables are called by place in its own tests.
  // The placeholder graphic: GetGraphicType 3 ... GetRange 6.
  StyleExtent extent{};
  IJGraphic* graphic = library.server().internals().GetMissingGraphic();
  EXPECT_EQ(Com(graphic, 3, &value), S_OK);
  EXPECT_EQ(value, 10u);
  EXPECT_EQ(Com(graphic, 6, static_cast<GraphicRange*>(nullptr), &extent), S_OK);
  EXPECT_EQ(extent.first, 0.00035);
}

}  // namespace

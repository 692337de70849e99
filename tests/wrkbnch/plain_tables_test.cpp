// The workbenches' and creators' tables called as a caller built apart from the server calls them: by slot
// number alone, in the COM calling convention for interfaces and the compiler's for the main and creator tables.
#include <iterator>
#include <string>

#include "display/style/wrkbnch/CStylCreator.h"
#include "display/style/wrkbnch/JWorkbenchPointSymbol.h"
#include "tests/styllib/library_fixtures.h"
#include "tests/wrkbnch/workbench_fixtures.h"

using stylesrv_test::CallSlot;

namespace {

template <class R = HRESULT, class... A>
R Member(void* object, int slot, A... args) {
  void** table = *static_cast<void***>(object);
  return reinterpret_cast<R(__attribute__((thiscall))*)(void*, A...)>(table[slot])(object, args...);
}

std::wstring At(LPWSTR* field) { return field && *field ? *field : L"(null)"; }

TEST(WorkbenchPlainTableTest, GenericWorkbenchByPlace) {
  styllib_test::TestLibrary library;
  const DWORD hatch = library.AddLine(L"Hatch", 1, 0, STYLETYPE_Fill);
  IWorkbenchAdmin* admin = nullptr;
  ASSERT_EQ(styllib_test::CreateObject(library.server(), CLSID_JWorkbenchGenericFill, IID_IWorkbenchAdmin,
                                       reinterpret_cast<void**>(&admin)),
            S_OK);
  TestLineStyle* foreign = TestLineStyle::Create();

  // IWorkbenchAdmin, slots 3 to 16.
  EXPECT_EQ(CallSlot(admin, 3, DWORD{hatch}, static_cast<IUnknown*>(library.librarian)), E_NOTIMPL);
  EXPECT_EQ(CallSlot(admin, 5, foreign->Unknown()), S_OK);
  ASSERT_EQ(CallSlot(admin, 4, DWORD{hatch}, static_cast<IUnknown*>(library.librarian)), S_OK);
  IJSLLibrarian* held = nullptr;
  EXPECT_EQ(CallSlot(admin, 8, &held), S_OK);
  EXPECT_EQ(stylesrv_test::IdentityOf(held), stylesrv_test::IdentityOf(library.librarian));
  held->Release();
  LPWSTR* field = nullptr;
  EXPECT_EQ(CallSlot(admin, 9, &field), S_OK);
  EXPECT_EQ(At(field), L"Hatch");
  EXPECT_EQ(CallSlot(admin, 10, L"hatch"), S_FALSE);
  EXPECT_EQ(CallSlot(admin, 11, &field), S_OK);
  EXPECT_EQ(CallSlot(admin, 13, L"T"), S_OK);
  EXPECT_EQ(CallSlot(admin, 12, &field), S_OK);
  EXPECT_EQ(At(field), L"T");
  EXPECT_EQ(CallSlot(admin, 15), S_OK);
  IUnknown* parent = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(CallSlot(admin, 14, &parent), S_OK);
  EXPECT_EQ(parent, nullptr);
  EXPECT_EQ(CallSlot(admin, 16, &field), S_OK);
  EXPECT_EQ(At(field), L"Hatch");
  // Dirty after the edits, and a generic workbench stores nothing: the save fails, the object still comes.
  DWORD id = 7;
  EXPECT_EQ(CallSlot(admin, 6, &id), E_NOTIMPL);
  IUnknown* object = nullptr;
  EXPECT_EQ(CallSlot(admin, 7, reinterpret_cast<void**>(&object), &IID_IUnknown), S_OK);
  ASSERT_NE(object, nullptr);
  object->Release();

  // IWorkbenchNotify, slots 3 and 4: a parent that is no workbench of this server has nothing to copy.
  IWorkbenchNotify* notify = nullptr;
  ASSERT_EQ(admin->QueryInterface(IID_IWorkbenchNotify, reinterpret_cast<void**>(&notify)), S_OK);
  EXPECT_EQ(CallSlot(notify, 3, foreign->Unknown()), S_FALSE);
  EXPECT_EQ(CallSlot(notify, 4, foreign->Unknown()), S_FALSE);
  notify->Release();

  // The main table, slots 14 to 25.
  JWorkbenchBase* base = BaseOf(admin);
  EXPECT_STREQ(Member<const char*>(base, 14), "JWorkbenchGeneric");
  const HRESULT answers[] = {Member(base, 15), Member(base, 16), Member(base, 17), Member(base, 18),
                             Member(base, 19), Member(base, 20), Member(base, 21, DWORD{3}),
                             Member(base, 22, foreign->Unknown()), Member(base, 23, foreign->Unknown()),
                             Member(base, 24, foreign->Unknown()), Member(base, 25, foreign->Unknown())};
  const HRESULT expected[] = {E_NOTIMPL, S_OK, E_NOTIMPL, E_NOTIMPL, S_OK, S_OK, S_OK, S_OK, S_OK, S_FALSE, S_FALSE};
  for (std::size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(answers[i], expected[i]) << "slot " << 15 + i;

  admin->Release();
  foreign->Release();
}

// The point-symbol workbench's own slots of its main table (IWorkbenchPointSymbol is called by place in its own
// test): storing and creating both make a point symbol, the notices take a point-symbol parent's graphic.
TEST(WorkbenchPlainTableTest, PointSymbolWorkbenchByPlace) {
  stylesrv_test::ServerModule server;
  ProbeGraphic g;
  IWorkbenchPointSymbol* edited = nullptr;
  IWorkbenchPointSymbol* plain = nullptr;
  for (IWorkbenchPointSymbol** bench : {&edited, &plain}) {
    ASSERT_EQ(styllib_test::CreateObject(server, CLSID_JWorkbenchPointSymbol, IID_IWorkbenchPointSymbol,
                                         reinterpret_cast<void**>(bench)),
              S_OK);
  }
  auto* state = WorkbenchOfClass<JWorkbenchPointSymbol>(edited);
  ASSERT_NE(state, nullptr);
  ASSERT_EQ(edited->SetGraphic(g.AsGraphic()), S_OK);
  EXPECT_STREQ(Member<const char*>(state, 14), "JWorkbenchPointSymbol");
  EXPECT_EQ(Member(state, 18), S_OK);  // CreateStyleObject
  IUnknown* made = state->StyleObject();
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(Member(state, 17), S_OK);  // StoreStyle, into the same object
  EXPECT_EQ(state->StyleObject(), made);
  EXPECT_EQ(Member(state, 16), S_OK);  // LoadStyle, from the held object
  EXPECT_EQ(Member(state, 15), S_OK);  // InitNewStyle, with no parent
  EXPECT_EQ(state->StyleType(), STYLETYPE_PointSymbol);
  for (int slot : {19, 20}) EXPECT_EQ(Member(state, slot), S_OK) << slot;
  EXPECT_EQ(Member(state, 21, DWORD{4}), S_OK);

  auto* other = WorkbenchOfClass<JWorkbenchPointSymbol>(plain);
  EXPECT_EQ(Member(other, 22, static_cast<IUnknown*>(edited)), S_FALSE);
  EXPECT_EQ(other->Graphic(), g.AsGraphic());
  EXPECT_EQ(Member(other, 23, static_cast<IUnknown*>(edited)), S_OK);  // nothing left to take
  plain->Release();
  edited->Release();
  EXPECT_EQ(g.refs, 1u);
}

// A creator's table: the deleting destructor, then MakeStyle and MakeTopStyle in the compiler's convention.
TEST(WorkbenchPlainTableTest, CreatorsByPlace) {
  TestLineStyle* style = TestLineStyle::Create();
  CStylCreator* creators[] = {new CStylCreator, new CStylCreatorDirect, new CStylCreatorLibrary};
  const HRESULT expected[] = {E_NOTIMPL, S_OK, S_OK};
  for (int i = 0; i < 3; ++i) {
    for (int slot : {1, 2}) {
      DWORD id = 7;
      IUnknown* made = nullptr;
      EXPECT_EQ(Member(creators[i], slot, style->Unknown(), GUID(STYLETYPE_Linear), &id, &made), expected[i]);
      EXPECT_EQ(id, expected[i] == S_OK ? 0u : 7u);
      if (made) made->Release();
    }
    Member<void>(creators[i], 0, 1u);
  }
  EXPECT_EQ(style->GetRefCount(), 1);
  style->Release();
}

}  // namespace

// The generic workbench's tables called as a caller built apart from the server calls them: by slot number
// alone, in the COM calling convention for its interfaces and the compiler's for its main table.
#include <iterator>
#include <string>

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

}  // namespace

// Workbenches inside the real style library: the generic workbench that the library's registry makes for the
// style types without an editor, its copy of a changed parent, and the base's saves against the library's own
// use counts and registry.
#include <string>

#include "tests/styllib/library_fixtures.h"
#include "tests/wrkbnch/workbench_fixtures.h"

using styllib_test::CreateObject;
using styllib_test::TestLibrary;

namespace {

class GenericWorkbenchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stylesrv_test::ClearReports();
    ASSERT_EQ(library->QueryInterface(IID_IJSLWorkShop, reinterpret_cast<void**>(&shop)), S_OK);
  }
  void TearDown() override { shop->Release(); }

  // The library's workbench of an ID, with a reference; null when it cannot be had.
  IWorkbenchAdmin* Workbench(DWORD id, BOOL forceNew = FALSE) {
    IWorkbenchAdmin* out = nullptr;
    last = shop->GetWorkbench(id, forceNew, &out);
    return out;
  }
  // A simple line of stylesrv.dll in a named entry of the type.
  DWORD AddSimpleLine(const wchar_t* name, DWORD colour, DWORD parent, const GUID& type = STYLETYPE_Mux3d) {
    IJStyleSimpleLine* line = nullptr;
    EXPECT_EQ(CreateObject(library.server(), CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine,
                           reinterpret_cast<void**>(&line)),
              S_OK);
    line->SetColor(colour);
    GUID typeCopy = type;
    StyleRecord record{const_cast<LPWSTR>(name), nullptr, line, &typeCopy, parent, 0};
    DWORD id = 0;
    EXPECT_EQ(library->AddStyle(&record, &id), S_OK);
    line->Release();
    return id;
  }
  DWORD ColourOf(DWORD id) {
    IJStyleSimpleLine* line = nullptr;
    IUnknown* object = nullptr;
    DWORD colour = 0xDEAD;
    if (SUCCEEDED(library->GetStyle(id, &object))) {
      if (SUCCEEDED(object->QueryInterface(IID_IJStyleSimpleLine, reinterpret_cast<void**>(&line)))) {
        line->GetColor(&colour);
        line->Release();
      }
      object->Release();
    }
    return colour;
  }

  TestLibrary library;
  IJSLWorkShop* shop = nullptr;
  HRESULT last = S_OK;
};

TEST_F(GenericWorkbenchTest, ARegisteredGenericWorkbenchIsMadeForATypeWithoutAnEditor) {
  const DWORD hatch = library.AddLine(L"Hatch", 1, 0, STYLETYPE_Fill);
  const DWORD usesBefore = library.UseCount(hatch);
  IWorkbenchAdmin* opened = Workbench(hatch);
  ASSERT_NE(opened, nullptr);
  EXPECT_STREQ(BaseOf(opened)->GetClassName(), "JWorkbenchGeneric");
  EXPECT_EQ(library.UseCount(hatch), usesBefore + 1);
  LPWSTR* name = nullptr;
  ASSERT_EQ(opened->GetName(&name), S_OK);
  EXPECT_STREQ(*name, L"Hatch");
  IWorkbenchAdmin* byName = nullptr;
  ASSERT_EQ(shop->GetWorkbenchByName(L"HATCH", &STYLETYPE_Fill, FALSE, FALSE, &byName), S_OK);
  EXPECT_EQ(byName, opened);
  byName->Release();

  // A generic workbench cannot start a new style: every way to a new one fails cleanly, registering nothing.
  EXPECT_EQ(Workbench(hatch, TRUE), nullptr);
  EXPECT_EQ(last, E_NOTIMPL);
  for (BOOL detached : {FALSE, TRUE}) {
    IWorkbenchAdmin* none = nullptr;
    EXPECT_EQ(shop->GetWorkbenchByName(detached ? L"Hatch" : L"Fresh", &STYLETYPE_Fill, !detached, detached, &none),
              E_NOTIMPL);
    EXPECT_EQ(none, nullptr);
  }
  IWorkbenchAdmin* again = Workbench(hatch);
  EXPECT_EQ(again, opened);
  again->Release();

  // Gone, it leaves the registry: the next request makes a new one.
  opened->Release();
  EXPECT_EQ(library.UseCount(hatch), usesBefore);
  IWorkbenchAdmin* fresh = Workbench(hatch);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(library.UseCount(hatch), usesBefore + 1);
  fresh->Release();
}

// P <- C, both simple lines of the 3D multiplexer's type.
TEST_F(GenericWorkbenchTest, AChangedParentsLineIsCopiedIntoTheChildsOwnObject) {
  const DWORD parent = AddSimpleLine(L"P", 1, 0);
  const DWORD child = AddSimpleLine(L"C", 2, parent);
  IWorkbenchAdmin* childBench = Workbench(child);
  ASSERT_NE(childBench, nullptr);
  IUnknown* childObject = nullptr;
  ASSERT_EQ(library->GetStyle(child, &childObject), S_OK);

  IJStyleSimpleLine* edited = nullptr;
  ASSERT_EQ(CreateObject(library.server(), CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine,
                         reinterpret_cast<void**>(&edited)),
            S_OK);
  edited->SetColor(9);
  HostClearNotifications();
  ASSERT_EQ(library->ReplaceStyle(parent, edited), S_OK);
  EXPECT_EQ(ColourOf(child), 9u);
  EXPECT_TRUE(styllib_test::NotificationsOf(HOST_MARK_MODIFIED).empty());
  IUnknown* now = nullptr;
  ASSERT_EQ(library->GetStyle(child, &now), S_OK);
  EXPECT_EQ(now, childObject);  // copied in place, not replaced
  now->Release();
  EXPECT_FALSE(BaseOf(childBench)->IsDirty());

  // Told directly, it answers S_FALSE; a parent that is not this server's workbench has nothing to copy.
  IWorkbenchNotify* notify = nullptr;
  ASSERT_EQ(childBench->QueryInterface(IID_IWorkbenchNotify, reinterpret_cast<void**>(&notify)), S_OK);
  IWorkbenchAdmin* parentBench = Workbench(parent);
  edited->SetColor(10);
  EXPECT_EQ(notify->ParentRemoved(parentBench), S_FALSE);
  EXPECT_EQ(ColourOf(child), 10u);
  edited->SetColor(11);
  EXPECT_EQ(notify->ParentChanged(edited), S_FALSE);
  EXPECT_EQ(ColourOf(child), 10u);
  notify->Release();
  parentBench->Release();
  childBench->Release();
  childObject->Release();
  edited->Release();
}

TEST_F(GenericWorkbenchTest, SavesKeepTheLibrarysUsesAndRegistryTrue) {
  // Saving a nameless style under the name of another entry moves the workbench onto that entry.
  const DWORD nameless = library.AddLine(nullptr, 1, 0, STYLETYPE_Mux3d);
  TestWorkbench* bench = TestWorkbench::Create();
  ASSERT_EQ(bench->Admin()->Attach(nameless, library.librarian), S_OK);
  ASSERT_EQ(bench->Admin()->SetName(L"X"), S_OK);
  const DWORD named = library.AddLine(L"X", 2, 0, STYLETYPE_Mux3d);
  DWORD saved = 0;
  ASSERT_EQ(bench->Admin()->Save(&saved), S_OK);
  EXPECT_EQ(saved, named);
  EXPECT_EQ(library.UseCount(named), 1u);
  EXPECT_EQ(library->IsDeletedSlot(nameless), E_FAIL);  // its last use went with the move
  IWorkbenchAdmin* registered = Workbench(named);
  EXPECT_EQ(registered, bench->Admin());
  registered->Release();
  bench->Release();
  registered = Workbench(named);
  ASSERT_NE(registered, nullptr);
  EXPECT_STREQ(BaseOf(registered)->GetClassName(), "JWorkbenchGeneric");
  registered->Release();

  // Two equal new styles under one parent share one entry: the library's 0x40222 is a save.
  const DWORD parent = library.AddLine(L"P", 3, 0, STYLETYPE_Mux3d);
  TestWorkbench* first = TestWorkbench::Create(STYLETYPE_Mux3d);
  TestWorkbench* second = TestWorkbench::Create(STYLETYPE_Mux3d);
  DWORD ids[2] = {};
  for (TestWorkbench* w : {first, second}) {
    ASSERT_EQ(w->Admin()->AttachNew(parent, library.librarian), S_OK);
    w->SetColour(5);
    ASSERT_EQ(w->Admin()->Save(&ids[w == second]), S_OK);
    EXPECT_FALSE(w->IsDirty());
  }
  EXPECT_NE(ids[0], 0u);
  EXPECT_EQ(ids[1], ids[0]);
  EXPECT_EQ(library.UseCount(ids[0]), 2u);
  first->Release();
  second->Release();
}

// A rename goes through the library's own name rules: a free name renames the entry, a taken one (in any
// case) fails and leaves the edit pending.
TEST_F(GenericWorkbenchTest, RenamesFollowTheLibrarysNames) {
  const DWORD id = library.AddLine(L"A", 1, 0, STYLETYPE_Mux3d);
  TestWorkbench* bench = TestWorkbench::Create();
  ASSERT_EQ(bench->Admin()->Attach(id, library.librarian), S_OK);
  for (const wchar_t* name : {L"B", L"C"}) {
    ASSERT_EQ(bench->Admin()->SetName(name), S_OK);
    if (*name == L'C') library.AddLine(L"c", 2, 0, STYLETYPE_Mux3d);
    DWORD saved = 0;
    EXPECT_EQ(bench->Admin()->Save(&saved), *name == L'B' ? S_OK : E_FAIL);
    EXPECT_EQ(bench->IsDirty(), *name == L'C');
  }
  DWORD found = 0;
  EXPECT_EQ(library->FindStyleIDByName(L"B", &STYLETYPE_Mux3d, &found), S_OK);
  EXPECT_EQ(found, id);
  EXPECT_EQ(library->FindStyleIDByName(L"A", &STYLETYPE_Mux3d, &found), E_FAIL);
  bench->Release();
}

}  // namespace

// The workbench base against the recording librarian: what binding, saving and parent notices call, in order,
// and what state each leaves for the next call.
#include <string>
#include <vector>

#include "tests/wrkbnch/workbench_fixtures.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

constexpr char kBase[] = "display/style/wrkbnch/wbbase";

MATCHER_P2(ReportOf, hr, source, "") {
  return !arg.fatal && arg.hr == static_cast<HRESULT>(hr) && arg.source == std::string(source);
}

class WorkbenchBaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stylesrv_test::ClearReports();
    HostClearNotifications();
    lib->logsMarks = true;
  }
  void TearDown() override {
    if (bench) bench->Release();
    lib->Release();
  }
  // Entries up to `id` (nameless fillers before it), the last named as given.
  DWORD AddEntry(DWORD id, const wchar_t* name = nullptr, DWORD parent = 0, RecordingLibrarian* owner = nullptr) {
    while (lib->Count() + lib->firstID < id) Add(nullptr, 0);
    return Add(name, parent, owner);
  }
  DWORD Add(const wchar_t* name, DWORD parent, RecordingLibrarian* owner = nullptr) {
    TestLineStyle* style = TestLineStyle::Create();
    const DWORD id = lib->Add(style->Unknown(), name, parent, true);
    if (owner) style->Manage()->SetLibrarian(owner->Librarian());
    style->Release();
    return id;
  }
  void Open(DWORD id) {
    bench = TestWorkbench::Create();
    ASSERT_EQ(bench->Admin()->Attach(id, lib->Librarian()), S_OK);
    lib->log.clear();
  }
  std::vector<std::string> Calls() {
    std::vector<std::string> calls = lib->Calls();
    lib->log.clear();
    return calls;
  }
  std::wstring Text(HRESULT (STDMETHODCALLTYPE IWorkbenchAdmin::*get)(LPWSTR**)) {
    LPWSTR* field = nullptr;
    EXPECT_EQ((bench->Admin()->*get)(&field), S_OK);
    return field && *field ? *field : L"(null)";
  }

  RecordingLibrarian* lib = RecordingLibrarian::Create();
  TestWorkbench* bench = nullptr;
};

TEST_F(WorkbenchBaseTest, AttachTakesTheEntryAndOneUseAndIsDirtyForAnotherLibrarysStyle) {
  RecordingLibrarian* other = RecordingLibrarian::Create();
  for (RecordingLibrarian* owner : {lib, other}) {
    SCOPED_TRACE(owner == lib ? "owned here" : "owned elsewhere");
    const DWORD id = AddEntry(owner == lib ? 7 : 8, L"Rail", 2, owner);
    lib->EntryOf(id).second = L"S";
    lib->log.clear();
    if (!bench) bench = TestWorkbench::Create();
    ASSERT_EQ(bench->Admin()->Attach(id, lib->Librarian()), S_OK);
    EXPECT_EQ(bench->IsDirty(), owner != lib);
    EXPECT_EQ(Text(&IWorkbenchAdmin::GetName), L"Rail");
    EXPECT_EQ(Text(&IWorkbenchAdmin::GetSecondString), L"S");
    EXPECT_EQ(bench->ParentID(), 2u);
    EXPECT_EQ(lib->UseCount(id), 1u);
    const std::string n = std::to_string(id);
    // Re-binding gives the previous ID's use back and takes it out of the registry.
    std::vector<std::string> expected;
    if (owner == other) expected = {"ReleaseStyleID(7)", "ForgetWorkbench(7)"};
    for (std::string call : {"AddRefStyleID(", "GetStyleRecord(", "FreeStyleRecord(", "GetStyle("}) {
      expected.push_back(call + (call == "FreeStyleRecord(" ? "0" : n) + ")");
    }
    EXPECT_THAT(Calls(), ElementsAreArray(expected));
  }
  EXPECT_EQ(lib->UseCount(7), 0u);
  other->Release();

  // Nothing that is not a librarian is held or called through; a new style needs no library.
  TestLineStyle* notALibrary = TestLineStyle::Create();
  for (IUnknown* library : {static_cast<IUnknown*>(nullptr), notALibrary->Unknown()}) {
    EXPECT_EQ(bench->Admin()->Attach(7, library), E_INVALIDARG);
    EXPECT_EQ(bench->Librarian(), nullptr);
  }
  EXPECT_EQ(notALibrary->GetRefCount(), 1);
  notALibrary->Release();
  EXPECT_EQ(bench->Admin()->AttachNew(7, nullptr), S_OK);
  EXPECT_TRUE(bench->IsDirty());
  EXPECT_EQ(lib->UseCount(8), 0u);
}

TEST_F(WorkbenchBaseTest, NamelessSavesAddEntriesAndMoveTheRegistration) {
  AddEntry(3);
  bench = TestWorkbench::Create();
  ASSERT_EQ(bench->Admin()->AttachNew(3, lib->Librarian()), S_OK);
  bench->SetSecondString(L"S");
  DWORD first = 0, second = 0, again = 0;
  ASSERT_EQ(bench->Admin()->Save(&first), S_OK);
  EXPECT_THAT(Calls(), ElementsAre("MarkObjectModified", "AddStyle(0)", "GetStyle(4)", "AddRefStyleID(4)",
                                   "RegisterWorkbench(4)"));
  EXPECT_EQ(first, 4u);
  EXPECT_EQ(lib->At(4).parentID, 3u);
  EXPECT_EQ(lib->At(4).second, L"S");
  EXPECT_TRUE(lib->At(4).name.empty());

  ASSERT_EQ(bench->Admin()->SetSecondString(L"T"), S_OK);
  ASSERT_EQ(bench->Admin()->Save(&second), S_OK);
  EXPECT_EQ(second, 5u);
  EXPECT_THAT(Calls(), ElementsAre("MarkObjectModified", "AddStyle(0)", "GetStyle(5)", "AddRefStyleID(5)",
                                   "MoveWorkbench(5, 4)", "ReleaseStyleID(4)"));
  ASSERT_EQ(bench->Admin()->Save(&again), S_OK);
  EXPECT_EQ(again, 5u);
  EXPECT_THAT(Calls(), IsEmpty());
  EXPECT_EQ(lib->workbenches.count(4), 0u);
  EXPECT_EQ(lib->workbenches.at(5), bench->Admin());

  // Its last release gives the use back and leaves nothing in the registry.
  bench->Release();
  bench = nullptr;
  EXPECT_THAT(Calls(), ElementsAre("ReleaseStyleID(5)", "ForgetWorkbench(5)"));
  EXPECT_TRUE(lib->workbenches.empty());
  EXPECT_EQ(lib->UseCount(5), 0u);
}

// A new style whose store adds nothing saves to ID 0 and then, unchanged, resolves to its parent.
TEST_F(WorkbenchBaseTest, AnUnchangedNewStyleResolvesToItsParent) {
  AddEntry(3);
  bench = TestWorkbench::Create();
  bench->storesNothing = true;
  ASSERT_EQ(bench->Admin()->AttachNew(3, lib->Librarian()), S_OK);
  DWORD id = 9;
  ASSERT_EQ(bench->Admin()->Save(&id), S_OK);
  EXPECT_EQ(id, 0u);
  ASSERT_EQ(bench->Admin()->Save(&id), S_OK);
  EXPECT_EQ(id, 3u);
  EXPECT_EQ(bench->ParentID(), 0u);
  EXPECT_THAT(Calls(), ElementsAre("AddRefStyleID(3)"));
}

// Each failed save keeps the workbench dirty and leaves IDs, uses and the registry as they were.
TEST_F(WorkbenchBaseTest, FailedSavesKeepTheEditsPending) {
  struct Case {
    const char* what;
    HRESULT addStyle;  // what AddStyle answers
    bool noID;         // AddStyle answers success without an ID
    HRESULT validate;
    HRESULT expected;
    bool reported;
  } cases[] = {
      {"refused by the library", E_OUTOFMEMORY, false, S_OK, E_OUTOFMEMORY, false},
      {"success without an ID", S_OK, true, S_OK, E_FAIL, true},
      {"invalid edits", S_OK, false, E_UNEXPECTED, E_UNEXPECTED, true},
  };
  AddEntry(3);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    stylesrv_test::ClearReports();
    lib->failures.clear();
    if (FAILED(c.addStyle)) lib->failures["AddStyle"] = c.addStyle;
    lib->addGivesNoID = c.noID;
    if (bench) bench->Release();
    bench = TestWorkbench::Create();
    bench->validateAnswer = c.validate;
    ASSERT_EQ(bench->Admin()->AttachNew(3, lib->Librarian()), S_OK);
    DWORD id = 7;
    EXPECT_EQ(bench->Admin()->Save(&id), c.expected);
    EXPECT_EQ(id, 0u);
    EXPECT_TRUE(bench->IsDirty());
    EXPECT_EQ(bench->StyleID(), 0u);
    EXPECT_TRUE(lib->workbenches.empty());
    EXPECT_EQ(lib->Count(), 3u);
    EXPECT_EQ(!stylesrv_test::Reports().empty(), c.reported);
  }

  // The object is still handed out after a failed save, and the workbench stays dirty.
  IJStyleRender* render = nullptr;
  ASSERT_EQ(bench->Admin()->GetStyleObject(reinterpret_cast<void**>(&render), IID_IJStyleRender), S_OK);
  ASSERT_NE(render, nullptr);
  render->Release();
  EXPECT_TRUE(bench->IsDirty());
  bench->validateAnswer = S_OK;
  ASSERT_EQ(bench->Admin()->GetStyleObject(reinterpret_cast<void**>(&render), IID_IJStyleRender), S_OK);
  render->Release();
  EXPECT_FALSE(bench->IsDirty());
  EXPECT_EQ(bench->StyleID(), 4u);
}

TEST_F(WorkbenchBaseTest, RenamingAStoredStyleRenamesItsEntry) {
  AddEntry(5, L"A");
  lib->EntryOf(5).second = L"S";
  Open(5);
  ASSERT_EQ(bench->Admin()->SetName(L"B"), S_OK);
  Calls();
  DWORD id = 0;
  ASSERT_EQ(bench->Admin()->Save(&id), S_OK);
  EXPECT_THAT(Calls(), ElementsAre("GetStyleRecord(5)", "MarkObjectModified", "ReplaceStyle(5)", "RegisterWorkbench(5)",
                                   "RenameStyle(5, B, 0)", "SetStyleNameString(B, S)", "FreeStyleRecord(0)"));
  EXPECT_EQ(id, 5u);
  EXPECT_FALSE(bench->IsDirty());
  EXPECT_EQ(lib->At(5).name, L"B");

  // A name taken since it was set: the rename fails and the edit stays pending.
  ASSERT_EQ(bench->Admin()->SetName(L"C"), S_OK);
  AddEntry(6, L"c");
  EXPECT_EQ(bench->Admin()->Save(&id), E_FAIL);
  EXPECT_TRUE(bench->IsDirty());
  EXPECT_EQ(lib->At(5).name, L"B");
}

TEST_F(WorkbenchBaseTest, SavingUnderAnotherStylesNameMovesToThatStyle) {
  AddEntry(5);
  Open(5);
  ASSERT_EQ(bench->Admin()->SetName(L"X"), S_OK);
  AddEntry(9, L"X");
  lib->EntryOf(9).useCount = 1;
  Calls();
  DWORD id = 0;
  ASSERT_EQ(bench->Admin()->Save(&id), S_OK);
  EXPECT_THAT(Calls(), ElementsAre("GetStyleRecord(5)", "FreeStyleRecord(0)", "FindStyleIDByName(X)",
                                   "AddRefStyleID(9)", "MoveWorkbench(9, 5)", "ReleaseStyleID(5)",
                                   "MarkObjectModified", "ReplaceStyle(9)", "RegisterWorkbench(9)",
                                   "SetStyleNameString(X, null)"));
  EXPECT_EQ(id, 9u);
  EXPECT_EQ(lib->UseCount(9), 2u);
  EXPECT_EQ(lib->UseCount(5), 0u);
  EXPECT_EQ(lib->workbenches.count(5), 0u);
  EXPECT_EQ(lib->workbenches.at(9), bench->Admin());
}

TEST_F(WorkbenchBaseTest, NamesAreRefusedWhenTakenAndDisplayedByID) {
  lib->firstID = 1000000;
  Add(L"Taken", 0);
  Add(nullptr, 0);
  Open(1000001);
  for (const wchar_t* name : {L"taken", L"TAKEN"}) EXPECT_EQ(bench->Admin()->SetName(name), S_FALSE);
  EXPECT_FALSE(bench->IsDirty());
  EXPECT_EQ(Text(&IWorkbenchAdmin::GetDisplayName), L"1000001");
  ASSERT_EQ(bench->Admin()->SetName(L"Own"), S_OK);
  EXPECT_EQ(Text(&IWorkbenchAdmin::GetDisplayName), L"Own");
  lib->EntryOf(1000001).name = L"Own";
  EXPECT_EQ(bench->Admin()->SetName(L"own"), S_FALSE);  // its own name counts as taken too
  ASSERT_EQ(bench->Admin()->SetName(L""), S_OK);
  EXPECT_EQ(Text(&IWorkbenchAdmin::GetName), L"(null)");
  EXPECT_TRUE(bench->IsDirty());
  ASSERT_EQ(bench->Admin()->AttachNew(1000000, lib->Librarian()), S_OK);
  EXPECT_EQ(Text(&IWorkbenchAdmin::GetDisplayName), L"");
}

TEST_F(WorkbenchBaseTest, TheDescriptionIsRebuiltOnlyAfterAnEdit) {
  AddEntry(1);
  Open(1);
  LPWSTR* field = nullptr;
  ASSERT_EQ(bench->Admin()->GetDescription(&field), S_OK);
  ASSERT_EQ(bench->Admin()->GetDescription(&field), S_OK);
  EXPECT_EQ(bench->descriptionsBuilt, 1);
  bench->SetColour(42);
  EXPECT_STREQ(*field, L"0");  // kept until asked for again
  ASSERT_EQ(bench->Admin()->GetDescription(&field), S_OK);
  EXPECT_STREQ(*field, L"42");
  EXPECT_EQ(bench->descriptionsBuilt, 2);
}

TEST_F(WorkbenchBaseTest, NullOutPointersAndNoticesAreRefused) {
  bench = TestWorkbench::Create();
  IWorkbenchAdmin* admin = bench->Admin();
  const HRESULT answers[] = {
      admin->Save(nullptr),          admin->GetStyleObject(nullptr, IID_IUnknown),
      admin->GetLibrarian(nullptr),  admin->GetName(nullptr),
      admin->GetDescription(nullptr), admin->GetSecondString(nullptr),
      admin->GetParentWorkbench(nullptr), admin->GetDisplayName(nullptr),
      bench->Notify()->ParentChanged(nullptr), bench->Notify()->ParentRemoved(nullptr),
  };
  for (HRESULT hr : answers) EXPECT_EQ(hr, E_INVALIDARG);
}

// Top <- Parent <- Child: what the child does with each answer of its class to a notice, and what the save of
// the workbench that replaces the removed parent makes of the child's parent ID.
TEST_F(WorkbenchBaseTest, ParentNoticesCommitChangedChildrenAndFollowTheParentsSave) {
  AddEntry(1, L"Top");
  AddEntry(2, L"Parent", 1);
  AddEntry(3, L"Child", 2);
  // An unchanged new style under Top, saved once: its next save resolves to Top.
  TestWorkbench* parent = TestWorkbench::Create();
  parent->storesNothing = true;
  ASSERT_EQ(parent->Admin()->AttachNew(1, lib->Librarian()), S_OK);
  DWORD unused = 0;
  ASSERT_EQ(parent->Admin()->Save(&unused), S_OK);
  Open(3);

  bench->parentAnswer = S_FALSE;
  EXPECT_EQ(bench->Notify()->ParentChanged(parent->Admin()), S_FALSE);
  EXPECT_THAT(Calls(), ElementsAre("MarkObjectModified", "ReplaceStyle(3)", "RegisterWorkbench(3)",
                                   "SetStyleNameString(Child, null)"));
  EXPECT_FALSE(bench->IsDirty());
  lib->failures["ReplaceStyle"] = E_OUTOFMEMORY;
  EXPECT_EQ(bench->Notify()->ParentChanged(parent->Admin()), E_OUTOFMEMORY);
  EXPECT_TRUE(bench->IsDirty());

  // The commit of a removed parent's child is not returned; a failing save of the new parent changes nothing.
  parent->validateAnswer = E_ACCESSDENIED;
  EXPECT_EQ(bench->Notify()->ParentRemoved(parent->Admin()), E_ACCESSDENIED);
  EXPECT_EQ(bench->ParentID(), 2u);
  parent->validateAnswer = S_OK;
  EXPECT_EQ(bench->Notify()->ParentRemoved(parent->Admin()), S_OK);
  EXPECT_EQ(bench->ParentID(), 1u);
  parent->Release();
}

// A use that cannot be given back still leaves the registry.
TEST_F(WorkbenchBaseTest, ReleaseForgetsTheRegistrationEvenWhenTheUseStays) {
  AddEntry(4);
  Open(4);
  lib->workbenches[4] = bench->Admin();
  lib->failures["ReleaseStyleID"] = E_UNEXPECTED;
  bench->Release();
  bench = nullptr;
  EXPECT_THAT(Calls(), ElementsAre("ReleaseStyleID(4)", "ForgetWorkbench(4)"));
  EXPECT_TRUE(lib->workbenches.empty());
  EXPECT_THAT(stylesrv_test::Reports(), ElementsAre(ReportOf(E_UNEXPECTED, kBase)));
}

}  // namespace

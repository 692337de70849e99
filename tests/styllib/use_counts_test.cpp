// Use and hold counts of entries, and what goes when the last one does: the entry, its document object, its
// name, and its place as a parent.
#include "tests/styllib/library_fixtures.h"

using styllib_test::NotificationsOf;
using styllib_test::TestLibrary;

namespace {

class UseCountsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stylesrv_test::ClearReports();
    HostClearNotifications();
  }
  DWORD Parent(DWORD id) {
    DWORD parent = 0xDEAD;
    library->GetParentID(id, &parent);
    return parent;
  }
  TestLibrary library;
};

TEST_F(UseCountsTest, CountsMoveByOneAndBadIDsAreRefused) {
  const DWORD id = library.AddLine(L"Solid");
  EXPECT_EQ(library.UseCount(id), 0u);
  EXPECT_EQ(library->AddRefStyleID(id), S_OK);
  EXPECT_EQ(library->AddRefStyleID(id), S_OK);
  EXPECT_EQ(library.UseCount(id), 2u);
  EXPECT_EQ(library->ReleaseStyleID(id), S_OK);
  EXPECT_EQ(library.UseCount(id), 1u);

  // ID 0 is no style: the use-count pair takes it as nothing to do, the hold pair refuses it.
  EXPECT_EQ(library->AddRefStyleID(0), S_OK);
  EXPECT_EQ(library->ReleaseStyleID(0), S_OK);
  EXPECT_EQ(library->AddRefStyleID2(0), E_INVALIDARG);
  for (DWORD bad : {id + 1, kInvalidStyleID}) {
    EXPECT_EQ(library->AddRefStyleID(bad), E_INVALIDARG);
    EXPECT_EQ(library->ReleaseStyleID(bad), E_INVALIDARG);
    EXPECT_EQ(library->AddRefStyleID2(bad), E_INVALIDARG);
    EXPECT_EQ(library->ReleaseStyleID2(bad), E_INVALIDARG);
    DWORD n = 0;
    EXPECT_EQ(library->GetUseCount(bad, &n), E_INVALIDARG);
  }
  // A hold count cannot go below 0.
  EXPECT_EQ(library->ReleaseStyleID2(id), E_FAIL);
}

TEST_F(UseCountsTest, TheLastUseFreesAnUnnamedStyleAndKeepsANamedOne) {
  const DWORD named = library.AddLine(L"Solid");
  const DWORD unnamed = library.AddLine(nullptr, 2);
  EXPECT_EQ(library.LiveCount(), 2u);
  TestLineStyle* style = library.Line(unnamed);
  for (DWORD id : {named, unnamed}) {
    library->AddRefStyleID(id);
    library->ReleaseStyleID(id);
  }
  EXPECT_EQ(library->IsDeletedSlot(named), S_OK);
  EXPECT_EQ(library->IsDeletedSlot(unnamed), E_FAIL);
  EXPECT_EQ(library.StyleCount(), 1u);
  EXPECT_EQ(library.LiveCount(), 1u);

  // The freed style left the library and the document: the engine heard of both, and the style lost its
  // references there.
  const auto leaving = NotificationsOf(HOST_OBJECT_REGISTRATION);
  ASSERT_EQ(leaving.size(), 1u);
  EXPECT_EQ(leaving[0].object, style->Unknown());
  const auto released = NotificationsOf(HOST_RELEASE_ENTRY);
  ASSERT_EQ(released.size(), 1u);
  EXPECT_EQ(released[0].result, S_OK);
  IJDocumentNamedObjects* document = nullptr;
  EXPECT_EQ(GetObjectDocument(style->Unknown(), &document), E_FAIL);
  style->Release();

  // Counting never wraps: adding and removing again leaves the count where it was.
  const DWORD again = library.AddLine(nullptr, 3);
  EXPECT_EQ(again, unnamed);
  EXPECT_EQ(library.LiveCount(), 2u);
  library->AddRefStyleID(again);
  library->ReleaseStyleID(again);
  EXPECT_EQ(library.LiveCount(), 1u);
}

// The render path keeps the last style it handed out; a freed entry must not leave it there for the next
// style that takes the ID.
TEST_F(UseCountsTest, AFreedIDIsNotAnsweredFromTheRenderCache) {
  IJSLRender* render = nullptr;
  ASSERT_EQ(library->QueryInterface(IID_IJSLRender, reinterpret_cast<void**>(&render)), S_OK);
  library.AddLine(nullptr, 1);
  const DWORD id = library.AddLine(nullptr, 2);
  IUnknown* first = nullptr;
  ASSERT_EQ(render->GetStyleForRender(id, &first, nullptr), S_OK);
  first->AddRef();  // so that the next style cannot take its place in memory
  ASSERT_EQ(render->AddRefStyleID(id), S_OK);
  ASSERT_EQ(render->ReleaseStyleID(id), S_OK);
  IUnknown* none = nullptr;
  EXPECT_EQ(render->GetStyleForRender(id, &none, nullptr), E_INVALIDARG);
  ASSERT_EQ(library.AddLine(nullptr, 3), id);
  IUnknown* second = nullptr;
  ASSERT_EQ(render->GetStyleForRender(id, &second, nullptr), S_OK);
  TestLineStyle* style = library.Line(id);
  EXPECT_EQ(second, static_cast<IUnknown*>(style->RenderItf()));
  EXPECT_EQ(style->colour, 3u);
  style->Release();
  first->Release();
  EXPECT_EQ(render->GetStyleForRender(id, nullptr, nullptr), E_INVALIDARG);
  render->Release();
}

TEST_F(UseCountsTest, AHoldKeepsTheEntryUntilItIsGivenBackToo) {
  const DWORD id = library.AddLine(nullptr, 2);
  ASSERT_EQ(library->AddRefStyleID2(id), S_OK);
  ASSERT_EQ(library->AddRefStyleID(id), S_OK);
  ASSERT_EQ(library->ReleaseStyleID(id), S_OK);
  EXPECT_EQ(library.StyleCount(), 1u);
  ASSERT_EQ(library->ReleaseStyleID2(id), S_OK);
  EXPECT_EQ(library.StyleCount(), 0u);
}

TEST_F(UseCountsTest, TheActiveStyleOfATypeIsNeverRemoved) {
  const DWORD id = library.AddLine(nullptr, 2);
  ASSERT_EQ(library->SetActiveStyleID(&STYLETYPE_Linear, id), S_OK);
  EXPECT_EQ(library.UseCount(id), 1u);
  ASSERT_EQ(library->ReleaseStyleID(id), S_OK);
  EXPECT_EQ(library.UseCount(id), 0u);
  EXPECT_EQ(library.StyleCount(), 1u);
  EXPECT_TRUE(NotificationsOf(HOST_OBJECT_REGISTRATION).empty());
  // Another active style gives the use back, and the old one goes then.
  const DWORD next = library.AddLine(nullptr, 3);
  library->AddRefStyleID(id);
  ASSERT_EQ(library->SetActiveStyleID(&STYLETYPE_Linear, next), S_OK);
  library->ReleaseStyleID(id);
  EXPECT_EQ(library->IsDeletedSlot(id), E_FAIL);
  EXPECT_EQ(library->SetActiveStyleID(&STYLETYPE_Linear, id), E_FAIL);
}

// The children of a removed style move up to its parent when they are of its type and are cut loose when not;
// the parent, now their parent, counts as used.
TEST_F(UseCountsTest, RemovingAParentRelinksItsChildren) {
  const DWORD grandparent = library.AddLine(L"Base");
  const DWORD parent = library.AddLine(nullptr, 2, grandparent);
  // Named, so that they stay when the workbenches that hear of the move let go of them.
  const DWORD sameType = library.AddLine(L"Same", 3, parent);
  const DWORD otherType = library.AddLine(L"Other", 4, parent, STYLETYPE_Fill);
  const DWORD unrelated = library.AddLine(L"Unrelated", 5, grandparent);
  ASSERT_NE(otherType, 0u);
  EXPECT_EQ(library.UseCount(grandparent), 0u);

  library->AddRefStyleID(parent);
  ASSERT_EQ(library->ReleaseStyleID(parent), S_OK);
  EXPECT_EQ(library->IsDeletedSlot(parent), E_FAIL);
  EXPECT_EQ(Parent(sameType), grandparent);
  EXPECT_EQ(Parent(otherType), 0u);
  EXPECT_EQ(Parent(unrelated), grandparent);
  EXPECT_EQ(library.UseCount(grandparent), 1u);
}

// A name of a style-library file (a descriptor filed into the table, as a custodian files it) becomes an
// entry on request: shared as it is while the library does not share styles, copied into the document while
// it does. A name-only entry goes with its last use, and its name with it.
TEST_F(UseCountsTest, NamesOfOtherLibrariesBecomeEntriesAndGoAgain) {
  TestLibrary file;
  const DWORD fileID = file.AddLine(L"Dotted", 0x123456);
  TestLineStyle* fileStyle = file.Line(fileID);
  JSymbolDescriptor* descriptor = nullptr;
  ASSERT_EQ(file.Names(STYLETYPE_Linear)->Find(L"Dotted", &descriptor), S_OK);
  StyleNameMap* names = library.Names(STYLETYPE_Linear);
  ASSERT_EQ(names->Add(descriptor), S_OK);

  DWORD id = 0;
  EXPECT_EQ(library->FindOrAddName(L"Dashed", &STYLETYPE_Linear, &id), 0x40221);
  EXPECT_EQ(id, 0u);

  // Sharing off: an entry of the name alone, whose object is the file's.
  ASSERT_EQ(library->SetFlags(0), S_OK);
  ASSERT_EQ(library->FindOrAddName(L"DOTTED", &STYLETYPE_Linear, &id), S_OK);
  ASSERT_EQ(id, 1u);
  DWORD kept = 9;
  library->GetKeptStyleCount(&kept);
  EXPECT_EQ(kept, 0u);
  IUnknown* object = nullptr;
  ASSERT_EQ(library->GetStyle(id, &object), S_OK);
  EXPECT_EQ(object, fileStyle->Unknown());
  object->Release();
  library->AddRefStyleID(id);
  ASSERT_EQ(library->ReleaseStyleID(id), S_OK);
  EXPECT_EQ(library.StyleCount(), 0u);
  EXPECT_FALSE(names->Exists(L"Dotted"));

  // Sharing on: the file's style is copied into this library's document under its name.
  ASSERT_EQ(names->Add(descriptor), S_OK);
  ASSERT_EQ(library->SetFlags(1), S_OK);
  ASSERT_EQ(library->FindOrAddName(L"Dotted", &STYLETYPE_Linear, &id), S_OK);
  ASSERT_NE(id, 0u);
  TestLineStyle* copy = library.Line(id);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, fileStyle);
  EXPECT_EQ(copy->colour, 0x123456u);
  JSymbolDescriptor* filed = nullptr;
  ASSERT_EQ(names->Find(L"Dotted", &filed), S_OK);
  EXPECT_NE(filed, descriptor);  // the document's own style now answers to the name
  copy->Release();
  fileStyle->Release();
}

}  // namespace

// The library object and its entries: creation, interfaces, IDs, persistent IDs, fetching objects from the
// document, records, adopting styles of other libraries.
#include "tests/styllib/library_fixtures.h"

using stylesrv_test::IsReport;
using styllib_test::IdentityOf;
using styllib_test::NotificationsOf;
using styllib_test::TestLibrary;
using ::testing::Contains;

namespace {

class EntriesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stylesrv_test::ClearReports();
    HostClearNotifications();
  }
};

TEST_F(EntriesTest, TheLibraryAnswersItsInterfacesAndCompanionsByCLSID) {
  TestLibrary library;
  const LONG live = library.server().internals().GetLiveObjectCount();
  EXPECT_GE(live, 1);

  IUnknown* second = nullptr;
  ASSERT_EQ(library->QueryInterface(IID_IJSLLibrarian2, reinterpret_cast<void**>(&second)), S_OK);
  EXPECT_EQ(second, static_cast<IUnknown*>(library.librarian));
  second->Release();
  // The other interfaces are called through their tables in plain_tables_test.
  IUnknown* convert = nullptr;
  EXPECT_EQ(library->QueryInterface(IID_IJStyleConvertR1Elements, reinterpret_cast<void**>(&convert)), S_OK);
  if (convert) convert->Release();
  IUnknown* none = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(library->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&none)), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);

  // The workshop's class is not served, yet the library's own companions are there, one object each, made on
  // the first request and aggregated: their interfaces lead back to the library.
  IJStyleResourceList* list = nullptr;
  IJStyleResourceList* again = nullptr;
  ASSERT_EQ(library->QueryInterface(IID_IJStyleResourceList, reinterpret_cast<void**>(&list)), S_OK);
  ASSERT_EQ(library->QueryInterface(IID_IJStyleResourceList, reinterpret_cast<void**>(&again)), S_OK);
  EXPECT_EQ(list, again);
  EXPECT_EQ(IdentityOf(list), IdentityOf(library.librarian));
  IJStyleUnitSettings* units = nullptr;
  ASSERT_EQ(library->QueryInterface(IID_IJStyleUnitSettings, reinterpret_cast<void**>(&units)), S_OK);
  EXPECT_EQ(library.server().internals().GetLiveObjectCount(), live + 2);
  units->Release();
  again->Release();
  list->Release();

  IJPersist* persist = nullptr;
  ASSERT_EQ(library->QueryInterface(IID_IJPersist, reinterpret_cast<void**>(&persist)), S_OK);
  IUnknown* clone = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(persist->Clone(nullptr, &clone), E_NOTIMPL);
  EXPECT_EQ(clone, nullptr);
  persist->Release();

  // The library's object in its document is the library itself.
  IUnknown* documentObject = nullptr;
  ASSERT_EQ(library->GetLibraryDocumentObject(&documentObject), S_OK);
  EXPECT_EQ(documentObject, IdentityOf(library.librarian));
  documentObject->Release();
}

TEST_F(EntriesTest, IDsStartAtOneAndTheLowestFreedIDIsReusedFirst) {
  TestLibrary library;
  const DWORD first = library.AddLine(nullptr, 1);
  const DWORD second = library.AddLine(nullptr, 2);
  const DWORD third = library.AddLine(nullptr, 3);
  EXPECT_EQ(first, 1u);
  EXPECT_EQ(second, 2u);
  EXPECT_EQ(third, 3u);
  IUnknown* object = nullptr;
  EXPECT_EQ(library->GetStyle(0, &object), E_FAIL);
  EXPECT_EQ(library->GetStyle(kInvalidStyleID, &object), E_FAIL);
  EXPECT_EQ(library->GetStyle(4, &object), E_FAIL);
  EXPECT_EQ(object, nullptr);

  // Unnamed styles go with their last use.
  ASSERT_EQ(library->AddRefStyleID(second), S_OK);
  ASSERT_EQ(library->AddRefStyleID(first), S_OK);
  ASSERT_EQ(library->ReleaseStyleID(second), S_OK);
  ASSERT_EQ(library->ReleaseStyleID(first), S_OK);
  EXPECT_EQ(library.StyleCount(), 1u);
  EXPECT_EQ(library->GetStyle(first, &object), E_FAIL);
  EXPECT_EQ(library.AddLine(nullptr, 4), first);
  EXPECT_EQ(library.AddLine(nullptr, 5), second);
  EXPECT_EQ(library.AddLine(nullptr, 6), 4u);
}

TEST_F(EntriesTest, AnAddedStyleIsRegisteredWithTheDocumentAndGetsOwnerAndID) {
  TestLibrary library;
  const DWORD id = library.AddLine(L"Solid");
  ASSERT_EQ(id, 1u);
  TestLineStyle* style = library.Line(id);
  ASSERT_NE(style, nullptr);
  EXPECT_EQ(style->StyleID(), id);
  EXPECT_TRUE(style->OwnerIsLibrarian());

  // The document holds the style under a persistent ID of its own.
  IJDocumentNamedObjects* document = nullptr;
  ASSERT_EQ(GetObjectDocument(style->Unknown(), &document), S_OK);
  EXPECT_EQ(document, library.document);
  DWORD persistentID = 0;
  ASSERT_EQ(document->RegisterObject(style->Unknown(), &persistentID, nullptr), S_OK);
  EXPECT_NE(persistentID, 0u);
  EXPECT_NE(persistentID, kPersistentIDNoDocument);
  document->Release();
  DWORD kept = 0;
  library->GetKeptStyleCount(&kept);
  EXPECT_EQ(kept, 1u);

  // The engine heard of the change before the add and of the new entry after it.
  const auto marks = NotificationsOf(HOST_MARK_MODIFIED);
  ASSERT_FALSE(marks.empty());
  EXPECT_EQ(marks.back().object, IdentityOf(library.librarian));
  const auto changes = NotificationsOf(HOST_ENTRY_CHANGE);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].object, style->Unknown());
  // A named line style is announced to the application, with its document and type.
  const auto added = NotificationsOf(HOST_STYLE_ADDED);
  ASSERT_EQ(added.size(), 1u);
  EXPECT_STREQ(added[0].name, L"Solid");
  EXPECT_EQ(added[0].value, STYLETYPE_Linear.Data1);
  EXPECT_EQ(added[0].document, IdentityOf(library.document));
  style->Release();

  // Unnamed styles and named styles of unannounced types are not announced.
  library.AddLine(nullptr, 7);
  library.AddLine(L"Para", 7, 0, STYLETYPE_TextPara);
  EXPECT_EQ(NotificationsOf(HOST_STYLE_ADDED).size(), 1u);
}

TEST_F(EntriesTest, WithoutADocumentStylesAreKeptUnderTheNoDocumentID) {
  TestLibrary library(false);
  const DWORD id = library.AddLine(L"Solid");
  ASSERT_EQ(id, 1u);
  TestLineStyle* style = library.Line(id);
  IJDocumentNamedObjects* document = nullptr;
  EXPECT_EQ(GetObjectDocument(style->Unknown(), &document), E_FAIL);
  style->Release();
  DWORD kept = 0;
  library->GetKeptStyleCount(&kept);
  EXPECT_EQ(kept, 1u);  // 0x77777777 counts as kept
  // A named style kept that way stays when its last use goes.
  library->AddRefStyleID(id);
  library->ReleaseStyleID(id);
  EXPECT_EQ(library->IsDeletedSlot(id), S_OK);
  EXPECT_TRUE(NotificationsOf(HOST_STYLE_ADDED).empty());
  IUnknown* object = nullptr;
  EXPECT_EQ(library->GetLibraryDocumentObject(&object), E_INVALIDARG);
}

// On first use after a load the library fetches a style from the document by its persistent ID and makes
// itself the style's owner under the entry's ID; the name's descriptor gets the style back as well.
TEST_F(EntriesTest, AStyleNotLoadedIsFetchedFromTheDocumentOnFirstUse) {
  TestLibrary library;
  library.AddLine(nullptr, 1);
  const DWORD id = library.AddLine(L"Solid", 2);
  TestLineStyle* style = library.Line(id);
  ASSERT_NE(style, nullptr);
  ASSERT_EQ(library.server().internals().DropLibraryObjects(library.librarian), S_OK);
  // As a freshly loaded object: no owner, no ID.
  ASSERT_EQ(style->Manage()->SetLibrarian(nullptr), S_OK);
  style->Manage()->SetID(0);
  JSymbolDescriptor* descriptor = nullptr;
  ASSERT_EQ(library.Names(STYLETYPE_Linear)->Find(L"Solid", &descriptor), S_OK);
  IUnknown* viaName = nullptr;
  EXPECT_EQ(descriptor->QueryStyle(IID_IUnknown, reinterpret_cast<void**>(&viaName)), E_FAIL);

  IUnknown* fetched = nullptr;
  ASSERT_EQ(library->GetStyle(id, &fetched), S_OK);
  EXPECT_EQ(fetched, style->Unknown());
  EXPECT_EQ(style->StyleID(), id);
  EXPECT_EQ(IdentityOf(style->Owner()), IdentityOf(library.librarian));
  ASSERT_EQ(descriptor->QueryStyle(IID_IUnknown, reinterpret_cast<void**>(&viaName)), S_OK);
  EXPECT_EQ(viaName, style->Unknown());
  viaName->Release();
  fetched->Release();
  style->Release();
  EXPECT_EQ(library.server().internals().DropLibraryObjects(nullptr), E_INVALIDARG);
}

TEST_F(EntriesTest, StyleRecordsAreCopiesTheCallerFrees) {
  TestLibrary library;
  const DWORD parent = library.AddLine(L"Parent");
  const DWORD id = library.AddLine(L"Child", 2, parent, STYLETYPE_Linear);
  StyleRecord* record = nullptr;
  ASSERT_EQ(library->GetStyleRecord(id, &record), S_OK);
  EXPECT_STREQ(record->name, L"Child");
  EXPECT_EQ(record->auxText, nullptr);
  EXPECT_TRUE(IsEqualGUID(*record->type, STYLETYPE_Linear));
  EXPECT_EQ(record->parentID, parent);
  TestLineStyle* style = library.Line(id);
  EXPECT_EQ(record->styleObject, style->Unknown());
  style->Release();
  StyleRecord* busy = record;
  EXPECT_EQ(library->GetStyleRecord(id, &busy), E_FAIL);
  ASSERT_EQ(library->FreeStyleRecord(&record), S_OK);
  EXPECT_EQ(record, nullptr);
  EXPECT_EQ(library->GetStyleRecord(99, &record), E_FAIL);
  EXPECT_EQ(library->FreeStyleRecord(&record), E_INVALIDARG);

  DWORD found = 0;
  EXPECT_EQ(library->FindStyleIDByName(L"CHILD", &STYLETYPE_Linear, &found), S_OK);
  EXPECT_EQ(found, id);
  EXPECT_EQ(library->FindStyleIDByName(L"Child", &STYLETYPE_Fill, &found), E_FAIL);
  EXPECT_EQ(found, 0u);
}

TEST_F(EntriesTest, AParentMustBeAStyleOfTheLibrary) {
  TestLibrary library;
  EXPECT_EQ(library.AddLine(nullptr, 1, 5), 0u);
  EXPECT_EQ(library.StyleCount(), 0u);
  const DWORD parent = library.AddLine(L"Parent");
  const DWORD child = library.AddLine(nullptr, 1, parent);
  ASSERT_NE(child, 0u);
  EXPECT_EQ(library->SetParentID(parent, child), E_FAIL);  // would be its own ancestor
  EXPECT_EQ(library->SetParentID(child, 0), S_OK);
  DWORD value = 9;
  EXPECT_EQ(library->GetParentID(child, &value), S_OK);
  EXPECT_EQ(value, 0u);
}

// Once stored, an entry keeps its references when a notice after it fails: the failure is reported, the style
// is usable, and the end-of-run check finds nothing released twice or leaked.
TEST_F(EntriesTest, AFailingNoticeAfterTheStoreLeavesTheEntryWhole) {
  TestLibrary library;
  HostFailNotification(HOST_ENTRY_CHANGE, 1, E_FAIL);
  const DWORD id = library.AddLine(L"Solid");
  ASSERT_EQ(id, 1u);
  EXPECT_THAT(stylesrv_test::Reports(), Contains(::testing::Field(&PellowReport::hr, E_FAIL)));
  TestLineStyle* style = library.Line(id);
  ASSERT_NE(style, nullptr);
  EXPECT_EQ(style->StyleID(), id);
  style->Release();
  JSymbolDescriptor* descriptor = nullptr;
  EXPECT_EQ(library.Names(STYLETYPE_Linear)->Find(L"Solid", &descriptor), S_OK);

  // A failing notice before anything is stored adds nothing.
  HostFailNotification(HOST_MARK_MODIFIED, 1, E_ACCESSDENIED);
  EXPECT_EQ(library.AddLine(L"Dotted"), 0u);
  EXPECT_EQ(library.StyleCount(), 1u);
}

// A style of another library is adopted: a named one under its name, copied into this library's document.
TEST_F(EntriesTest, GetStyleIDCopiesAStyleOfAnotherLibraryInUnderItsName) {
  TestLibrary source;
  TestLibrary target;
  const DWORD sourceID = source.AddLine(L"Solid", 0x00AA00);
  TestLineStyle* original = source.Line(sourceID);
  target.AddLine(nullptr, 1);

  DWORD id = 0;
  ASSERT_EQ(target->GetStyleID(original->Unknown(), &id), S_OK);
  EXPECT_EQ(id, 2u);
  TestLineStyle* copy = target.Line(id);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, original);
  EXPECT_EQ(copy->colour, 0x00AA00u);
  DWORD byName = 0;
  EXPECT_EQ(target->FindStyleIDByName(L"Solid", &STYLETYPE_Linear, &byName), S_OK);
  EXPECT_EQ(byName, id);
  // Asked again, the name finds the copy.
  DWORD again = 0;
  ASSERT_EQ(target->GetStyleID(original->Unknown(), &again), S_OK);
  EXPECT_EQ(again, id);
  EXPECT_EQ(target.StyleCount(), 2u);
  EXPECT_EQ(source.StyleCount(), 1u);
  copy->Release();
  original->Release();

  DWORD none = 7;
  EXPECT_EQ(target->GetStyleID(nullptr, &none), S_OK);
  EXPECT_EQ(none, 0u);
}

}  // namespace

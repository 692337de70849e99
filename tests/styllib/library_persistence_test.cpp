// The style library's record: what a round trip keeps, how stored records of other kinds load, and that a
// damaged record fails cleanly, whatever byte it is cut at or which count is wrong.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "display/style/stylspt/ConversionPlugin.h"
#include "tests/styllib/library_fixtures.h"

using stylesrv_test::FindExport;
using stylesrv_test::Reports;
using styllib_test::CreateObject;
using styllib_test::IdentityOf;
using styllib_test::TestLibrary;

namespace {

constexpr HRESULT kNoNameFound = 0x40223;
constexpr DWORD kReleased = 0xFFFFFFFF;
constexpr GUID kLibraryTag = {0x9196D9D1, 0xE94A, 0x11CF, {0x80, 0x94, 0x08, 0x00, 0x36, 0xCE, 0x6C, 0x02}};

template <class I>
I* Query(IUnknown* object, REFIID iid) {
  I* out = nullptr;
  EXPECT_EQ(object->QueryInterface(iid, reinterpret_cast<void**>(&out)), S_OK);
  return out;
}

// A library record built byte by byte, as the archive holds it (no class header: a plain archive).
class RecordBuilder {
 public:
  template <class T>
  RecordBuilder& Put(T value) {
    const BYTE* p = reinterpret_cast<const BYTE*>(&value);
    bytes.insert(bytes.end(), p, p + sizeof value);
    return *this;
  }
  RecordBuilder& Text(const wchar_t* text) {
    const DWORD units = text ? static_cast<DWORD>(std::wcslen(text)) : 0;
    Put(units);
    for (DWORD i = 0; i < units; ++i) Put(static_cast<WCHAR>(text[i]));
    return *this;
  }
  // One type (Linear), no active or default style.
  RecordBuilder& OneType() {
    Put(WORD{1});
    Put(STYLETYPE_Linear);
    Put(DWORD{0}).Put(DWORD{0});
    return Put(IID_NULL);
  }
  RecordBuilder& Entry(WORD type, const wchar_t* name, DWORD persistentID, DWORD parent, DWORD use = 0,
                       const wchar_t* aux = nullptr) {
    Put(type).Put(DWORD{0}).Text(name).Text(aux);
    return Put(use).Put(persistentID).Put(parent).Put(DWORD{0});
  }
  RecordBuilder& NoCompanions() { return Put(DWORD{0}).Put(DWORD{0}); }

  std::vector<BYTE> bytes;
};

// Everything the librarian answers about a library, to compare a reloaded library with its original.
struct EntryView {
  HRESULT valid, nameHr;
  std::wstring name;  // GetStyleName
  DWORD use, parent;
  HRESULT recordHr;
  std::wstring recordName, aux;
  GUID type;
  DWORD flags;
  bool operator==(const EntryView&) const = default;
};

struct LibraryView {
  DWORD styles, named, live, types;
  std::vector<GUID> typeGuids;
  std::vector<DWORD> active;
  std::vector<DWORD> namedOfType;
  std::vector<EntryView> entries;
  std::vector<DWORD> byName;  // FindStyleIDByName of every entry's name
  bool operator==(const LibraryView&) const = default;
};

LibraryView View(IJSLLibrarian* library, DWORD highestID) {
  LibraryView view{};
  library->GetStyleCount(&view.styles);
  library->GetNamedStyleCount(&view.named);
  library->GetLiveCount(&view.live);
  library->GetTypeCount(&view.types);
  for (WORD i = 0; i < view.types; ++i) {
    GUID type{};
    library->GetTypeGUID(i, &type);
    view.typeGuids.push_back(type);
    DWORD active = 0, named = 0;
    library->GetActiveStyleID(&type, &active, 0);
    library->GetNamedStyleCountOfType(&type, &named);
    view.active.push_back(active);
    view.namedOfType.push_back(named);
  }
  for (DWORD id = 1; id <= highestID + 1; ++id) {
    EntryView entry{};
    entry.valid = library->IsDeletedSlot(id);
    WCHAR buffer[64] = {};
    DWORD length = 64;
    entry.nameHr = library->GetStyleName(id, buffer, &length);
    entry.name = buffer;
    library->GetUseCount(id, &entry.use);
    library->GetParentID(id, &entry.parent);
    StyleRecord* record = nullptr;
    entry.recordHr = library->GetStyleRecord(id, &record);
    if (record) {
      entry.recordName = record->name ? record->name : L"";
      entry.aux = record->auxText ? record->auxText : L"";
      entry.type = *record->type;
      entry.flags = record->entryFlags;
      if (record->name) {
        DWORD found = 0;
        library->FindStyleIDByName(record->name, record->type, &found);
        view.byName.push_back(found);
      }
      library->FreeStyleRecord(&record);
    }
    view.entries.push_back(entry);
  }
  return view;
}

class LibraryPersistenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stylesrv_test::ClearReports();
    unload = FindExport<decltype(&UnloadMossgraveDll)>(original.server().handle(), "UnloadMossgraveDll");
    ASSERT_NE(unload, nullptr);
  }
  void TearDown() override {
    // A load through the document posts the library for the auxiliary conversion; the flag is this thread's.
    unload();
  }

  // A new library with its standard types; registered in the original's document, or document-less.
  IJSLLibrarian* NewLibrary(bool inDocument) {
    IJSLLibrarian* library = nullptr;
    EXPECT_EQ(CreateObject(original.server(), CLSID_JStyleLib, IID_IJSLLibrarian, reinterpret_cast<void**>(&library)),
              S_OK);
    if (!library) return nullptr;
    if (inDocument) {
      DWORD id = 0;
      EXPECT_EQ(original.document->RegisterObject(library, &id, nullptr), S_OK);
    } else {
      EXPECT_EQ(library->SetDocumentBacked(0), S_OK);
    }
    return library;
  }

  // Loads bytes through the record operation (plain) or the document's operation (versioned).
  static HRESULT LoadInto(IJSLLibrarian* library, const std::vector<BYTE>& bytes, DWORD flags) {
    TestArchive archive(flags | ARCHIVE_LOADING);
    ArchiveSetData(archive.get(), bytes.data(), static_cast<DWORD>(bytes.size()));
    if (flags & ARCHIVE_VERSIONED) return ArchiveSerializeObject(archive.get(), library);
    IJPersist* persist = Query<IJPersist>(library, IID_IJPersist);
    const HRESULT hr = persist->Load(archive.get());
    persist->Release();
    return hr;
  }

  static std::vector<BYTE> Store(IJSLLibrarian* library, DWORD flags) {
    TestArchive archive(flags | ARCHIVE_STORING);
    HRESULT hr;
    if (flags & ARCHIVE_VERSIONED) {
      hr = ArchiveSerializeObject(archive.get(), library);
    } else {
      IJPersist* persist = Query<IJPersist>(library, IID_IJPersist);
      hr = persist->Load(archive.get());
      persist->Release();
    }
    EXPECT_EQ(hr, S_OK);
    return archive.Bytes();
  }

  // A library with named and unnamed styles, texts, use counts, parents, an active style, unit settings and a
  // style-resource list. Answers its highest ID.
  DWORD Populate() {
    GUID linear = STYLETYPE_Linear;
    StyleRecord record{const_cast<LPWSTR>(L"Border"), const_cast<LPWSTR>(L"the outer frame"), nullptr, &linear,
                       0, 0x20};
    TestLineStyle* style = TestLineStyle::Create(0x00FF00);
    record.styleObject = style->Unknown();
    DWORD border = 0;
    EXPECT_EQ(original->AddStyleNoCreate(&record, &border), S_OK);
    style->Release();
    const DWORD axis = original.AddLine(L"Axis", 0xFF0000);
    const DWORD child = original.AddLine(nullptr, 0x123456, border);
    const DWORD grandchild = original.AddLine(nullptr, 0x654321, child);
    const DWORD dash = original.AddLine(L"Dotted", 0x1, 0, STYLETYPE_Dash);
    EXPECT_EQ(original->AddRefStyleID(child), S_OK);
    EXPECT_EQ(original->AddRefStyleID(child), S_OK);
    EXPECT_EQ(original->AddRefStyleID(grandchild), S_OK);
    EXPECT_EQ(original->SetActiveStyleID(&linear, axis), S_OK);
    EXPECT_NE(dash, 0u);

    IJStyleUnitSettings* units = Query<IJStyleUnitSettings>(original.librarian, IID_IJStyleUnitSettings);
    const double value = 0.0254;
    const DWORD code = 12;
    EXPECT_EQ(units->SetUnitValues(&value, &code), S_OK);
    units->Release();
    IJStyleResourceList* list = Query<IJStyleResourceList>(original.librarian, IID_IJStyleResourceList);
    EXPECT_EQ(list->Add(L"BASE.SLB"), S_OK);
    EXPECT_EQ(list->Add(L"Extra.slb"), S_OK);
    list->Release();
    return dash;
  }

  TestLibrary original;
  decltype(&UnloadMossgraveDll) unload = nullptr;
};

// The class tag and the record of a new library: the type count, 13 type records with the dash type first, no
// entries, no resource list, no unit settings.
TEST_F(LibraryPersistenceTest, ANewLibraryStoresItsTypesAndNothingElse) {
  IJSLLibrarian* library = NewLibrary(false);
  IJPersist* persist = Query<IJPersist>(library, IID_IJPersist);
  EXPECT_EQ(persist->InitNew(), S_OK);
  CLSID clsid{};
  EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, kLibraryTag);
  EXPECT_EQ(persist->GetClassID(nullptr), E_INVALIDARG);
  const std::vector<BYTE> bytes = Store(library, 0);
  ASSERT_EQ(bytes.size(), 2u + 13u * 40u + 4u + 4u + 4u);
  EXPECT_EQ(ReadAt<WORD>(bytes, 0), 13);
  EXPECT_EQ(ReadAt<GUID>(bytes, 2), STYLETYPE_Dash);
  EXPECT_EQ(ReadAt<DWORD>(bytes, 2 + 13 * 40), 0u);
  persist->Release();
  library->Release();
}

TEST_F(LibraryPersistenceTest, ARoundTripAnswersEveryQueryAsTheOriginalDid) {
  const DWORD highest = Populate();
  const LibraryView before = View(original.librarian, highest);
  ASSERT_EQ(before.styles, 5u);
  std::vector<IUnknown*> objects;
  for (DWORD id = 1; id <= highest; ++id) {
    IUnknown* object = nullptr;
    ASSERT_EQ(original->GetStyle(id, &object), S_OK);
    objects.push_back(IdentityOf(object));
    object->Release();
  }

  for (DWORD flags : {DWORD{0}, DWORD{ARCHIVE_VERSIONED}}) {
    const std::vector<BYTE> bytes = Store(original.librarian, flags);
    for (DWORD drop : {DWORD{0}, DWORD{ARCHIVE_DROP_CACHED}}) {
      SCOPED_TRACE(testing::Message() << "flags " << flags << " drop " << drop);
      IJSLLibrarian* reloaded = NewLibrary(true);
      ASSERT_EQ(LoadInto(reloaded, bytes, flags | drop), S_OK);
      EXPECT_TRUE(View(reloaded, highest) == before);
      // The objects come back from the document through the stored persistent IDs.
      for (DWORD id = 1; id <= highest; ++id) {
        IUnknown* object = nullptr;
        ASSERT_EQ(reloaded->GetStyle(id, &object), S_OK);
        EXPECT_EQ(IdentityOf(object), objects[id - 1]);
        object->Release();
      }
      IJStyleUnitSettings* units = Query<IJStyleUnitSettings>(reloaded, IID_IJStyleUnitSettings);
      double value = 0;
      DWORD code = 0;
      EXPECT_EQ(units->GetUnitValues(&value, &code), S_OK);
      EXPECT_EQ(value, 0.0254);
      EXPECT_EQ(code, 12u);
      units->Release();
      IJStyleResourceList* list = Query<IJStyleResourceList>(reloaded, IID_IJStyleResourceList);
      DWORD count = 0;
      WCHAR name[32] = {};
      DWORD size = sizeof name;
      EXPECT_EQ(list->GetCount(&count), S_OK);
      EXPECT_EQ(count, 2u);
      EXPECT_EQ(list->GetAt(1, name, &size), S_OK);
      EXPECT_STREQ(name, L"Extra.slb");
      list->Release();
      reloaded->Release();
    }
  }
}

TEST_F(LibraryPersistenceTest, LoadingWithoutTheDropFlagTurnsReleasedEntriesIntoFreeSlots) {
  RecordBuilder record;
  record.OneType().Put(DWORD{3});
  record.Entry(0, L"Kept", 0x101, 0).Entry(0, L"Gone", kReleased, 0, 4, L"aux").Entry(0, nullptr, 0x103, 2);
  record.NoCompanions();

  IJSLLibrarian* plain = NewLibrary(false);
  ASSERT_EQ(LoadInto(plain, record.bytes, 0), S_OK);
  DWORD styles = 0, live = 0, parent = 7;
  plain->GetStyleCount(&styles);
  plain->GetLiveCount(&live);
  EXPECT_EQ(styles, 2u);
  EXPECT_EQ(live, 2u);
  EXPECT_EQ(plain->IsDeletedSlot(2), E_FAIL);
  // The child of the dropped entry points at a free slot, as it was stored; nothing walks through it.
  EXPECT_EQ(plain->GetParentID(3, &parent), S_OK);
  EXPECT_EQ(parent, 2u);
  // The counted free slot is the one the next style takes.
  GUID linear = STYLETYPE_Linear;
  TestLineStyle* style = TestLineStyle::Create(0x0000FF);
  StyleRecord added{const_cast<LPWSTR>(L"Later"), nullptr, style->Unknown(), &linear, 0, 0};
  DWORD id = 0;
  EXPECT_EQ(plain->AddStyleNoCreate(&added, &id), S_OK);
  style->Release();
  EXPECT_EQ(id, 2u);
  plain->Release();

  // With the drop flag the released entry stays, marked as released from the document.
  IJSLLibrarian* dropping = NewLibrary(false);
  ASSERT_EQ(LoadInto(dropping, record.bytes, ARCHIVE_DROP_CACHED), S_OK);
  EXPECT_EQ(dropping->IsDeletedSlot(2), S_FALSE);
  DWORD use = 0;
  EXPECT_EQ(dropping->GetUseCount(2, &use), S_OK);
  EXPECT_EQ(use, 4u);
  dropping->Release();
}

TEST_F(LibraryPersistenceTest, ARecordOfAnotherVersionIsSkippedWithoutError) {
  Populate();
  TestArchive archive(ARCHIVE_STORING | ARCHIVE_VERSIONED);
  ArchiveSetClassVersion(archive.get(), &kLibraryTag, 2);
  ASSERT_EQ(ArchiveSerializeObject(archive.get(), original.librarian), S_OK);
  // Two headers and no body.
  EXPECT_EQ(ArchiveSize(archive.get()), 2u * (16u + 2u));

  archive.Reload();
  DWORD before = 0, after = 0;
  original->GetStyleCount(&before);
  stylesrv_test::ClearReports();
  EXPECT_EQ(ArchiveSerializeObject(archive.get(), original.librarian), S_OK);
  original->GetStyleCount(&after);
  EXPECT_EQ(after, before);
  EXPECT_TRUE(Reports().empty());
}

TEST_F(LibraryPersistenceTest, StoredParentLoopsAreCutOnLoadForAnyNumberOfEntries) {
  for (DWORD filler : {DWORD{0}, DWORD{10000}}) {
    SCOPED_TRACE(filler);
    RecordBuilder record;
    record.OneType().Put(DWORD{filler + 3});
    for (DWORD i = 0; i < filler; ++i) record.Entry(0, nullptr, 0, 0);
    const DWORD a = filler + 1, b = filler + 2, c = filler + 3;
    // a and b are each other's parent; c hangs below the loop; a parent ID beyond the table becomes 0.
    record.Entry(0, nullptr, 0x201, b).Entry(0, nullptr, 0x202, a).Entry(0, nullptr, 0x203, a);
    record.NoCompanions();
    // One more entry whose parent lies beyond the entry count.
    std::vector<BYTE> bytes = record.bytes;

    IJSLLibrarian* library = NewLibrary(false);
    ASSERT_EQ(LoadInto(library, bytes, 0), S_OK);
    DWORD pa = 0, pb = 0;
    library->GetParentID(a, &pa);
    library->GetParentID(b, &pb);
    EXPECT_TRUE(pa == 0 || pb == 0) << pa << " " << pb;
    // An unnamed style in or below the former loop has no name to inherit, and the walk ends.
    DWORD length = 0;
    EXPECT_EQ(library->GetStyleName(c, nullptr, &length), kNoNameFound);
    EXPECT_EQ(library->GetStyleName(a, nullptr, &length), kNoNameFound);
    library->Release();
  }
}

TEST_F(LibraryPersistenceTest, OutOfRangeIndicesInARecordAreRefusedOrCleared) {
  // A parent ID beyond the entry count becomes 0.
  RecordBuilder parents;
  parents.OneType().Put(DWORD{1}).Entry(0, L"Lone", 0x301, 99).NoCompanions();
  IJSLLibrarian* library = NewLibrary(false);
  ASSERT_EQ(LoadInto(library, parents.bytes, 0), S_OK);
  DWORD parent = 7;
  EXPECT_EQ(library->GetParentID(1, &parent), S_OK);
  EXPECT_EQ(parent, 0u);

  // A type index at the type count fails the load, reported, and leaves the loaded library as it was.
  RecordBuilder types;
  types.OneType().Put(DWORD{2}).Entry(0, L"Fine", 0x302, 0).Entry(1, L"Bad", 0x303, 0).NoCompanions();
  stylesrv_test::ClearReports();
  EXPECT_EQ(LoadInto(library, types.bytes, 0), E_FAIL);
  EXPECT_THAT(Reports(), testing::Contains(testing::Field(&PellowReport::hr, E_FAIL)));
  DWORD styles = 0;
  library->GetStyleCount(&styles);
  EXPECT_EQ(styles, 1u);
  WCHAR name[16] = {};
  DWORD length = 16;
  EXPECT_EQ(library->GetStyleName(1, name, &length), S_OK);
  EXPECT_STREQ(name, L"Lone");
  library->Release();
}

// Every prefix of a stored library, and the stored library with a count made huge, fails with a reported
// failure; the library is left with either none or all of the stored entries.
TEST_F(LibraryPersistenceTest, TruncatedAndDamagedRecordsFailCleanly) {
  Populate();
  const std::vector<BYTE> whole = Store(original.librarian, ARCHIVE_VERSIONED);
  DWORD wholeCount = 0;
  original->GetStyleCount(&wholeCount);
  ASSERT_EQ(wholeCount, 5u);
  // Two headers, the types, five entries and both companions with their own headers.
  ASSERT_GT(whole.size(), 2u * 18u + 2u + 13u * 40u + 5u * 30u + 2u * 22u);

  auto expectCleanFailure = [&](const std::vector<BYTE>& bytes, DWORD drop) {
    IJSLLibrarian* library = NewLibrary(false);
    stylesrv_test::ClearReports();
    const HRESULT hr = LoadInto(library, bytes, ARCHIVE_VERSIONED | drop);
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_THAT(Reports(), testing::Contains(testing::Field(&PellowReport::hr, hr)));
    DWORD styles = 99;
    EXPECT_EQ(library->GetStyleCount(&styles), S_OK);
    EXPECT_TRUE(styles == 0 || styles == wholeCount) << styles;
    library->Release();
  };

  for (std::size_t cut = 0; cut < whole.size(); ++cut) {
    SCOPED_TRACE(cut);
    const std::vector<BYTE> prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
    expectCleanFailure(prefix, cut % 2 ? DWORD{ARCHIVE_DROP_CACHED} : DWORD{0});
    if (HasFatalFailure() || HasNonfatalFailure()) break;
  }

  // The counts: types (after two headers), entries, the first name length.
  const std::size_t types = 2 * 18;
  const std::size_t entries = types + 2 + 13 * 40;
  const std::size_t firstName = entries + 4 + 2 + 4;
  ASSERT_EQ(ReadAt<DWORD>(whole, entries), 5u);
  ASSERT_EQ(ReadAt<DWORD>(whole, firstName), 6u);  // "Border"
  // Each value describes more than the record still holds after it.
  ASSERT_LT(whole.size() - firstName - 4, 0xFFu * 2);
  const std::pair<std::size_t, BYTE> damage[] = {{types, 0xFF},   {types, 0x7F},       {types + 1, 0x01},
                                                  {entries, 0xFF}, {entries, 0x7F},     {entries + 2, 0x01},
                                                  {entries + 3, 0x80}, {firstName, 0xFF}, {firstName + 3, 0x01}};
  for (const auto& [at, value] : damage) {
    SCOPED_TRACE(testing::Message() << "offset " << at << " value " << int{value});
    std::vector<BYTE> damaged = whole;
    damaged[at] = value;
    expectCleanFailure(damaged, 0);
    expectCleanFailure(damaged, ARCHIVE_DROP_CACHED);
  }
}

TEST_F(LibraryPersistenceTest, ALoadThroughTheDocumentPostsTheLibraryForTheAuxiliaryConversion) {
  const std::vector<BYTE> bytes = Store(original.librarian, ARCHIVE_VERSIONED);
  std::uint32_t* pending = original.server().internals().GetTlsConversionState();
  ASSERT_NE(pending, nullptr);
  unload();
  ASSERT_EQ(*pending, 0u);
  // Storing posts nothing.
  Store(original.librarian, ARCHIVE_VERSIONED);
  EXPECT_EQ(*pending, 0u);

  IJSLLibrarian* library = NewLibrary(false);
  EXPECT_EQ(LoadInto(library, bytes, ARCHIVE_VERSIONED), S_OK);
  EXPECT_EQ(*pending, 1u);
  library->Release();
}

}  // namespace

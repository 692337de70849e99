// The multiplexed line style: its kind rule and arguments, its entries drawn and measured in order, its IDs and
// their uses, its record, entries that name each other, its engine extensions and the tables of both
// multiplexers.
#include <functional>
#include <tuple>

#include "display/style/stylesrv_itf.h"
#include "tests/lines/line_fixtures.h"
#include "tests/styllib/library_fixtures.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using stylesrv_test::IsReport;
using stylesrv_test::Reports;

namespace {

IJStyleMultiplexer* NewMux() { return NewStyle<IJStyleMultiplexer>(CLSID_JStyleMultiplexer, IID_IJStyleMultiplexer); }

DWORD KindOf(IUnknown* style) {
  DWORD kind = 99;
  EXPECT_EQ(Query<IJStyleRender>(style, IID_IJStyleRender)->GetStyleKind(&kind), S_OK);
  return kind;
}

// The unversioned record of a multiplexer in units code 11 with the given entry IDs.
std::vector<BYTE> CurrentRecord(const std::vector<DWORD>& ids) {
  std::vector<BYTE> bytes = {0x01, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00};
  bytes.push_back(static_cast<BYTE>(ids.size()));
  bytes.push_back(0);
  for (DWORD id : ids) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<BYTE>(id >> shift));
  }
  return bytes;
}

HRESULT Load(IUnknown* style, const std::vector<BYTE>& bytes, DWORD flags) {
  TestArchive archive(ARCHIVE_LOADING | flags);
  ArchiveSetData(archive.get(), bytes.data(), static_cast<DWORD>(bytes.size()));
  return Query<IJPersist>(style, IID_IJPersist)->Load(archive.get());
}

std::vector<BYTE> Stored(IUnknown* style, DWORD flags, WORD version = 0) {
  TestArchive archive(ARCHIVE_STORING | flags);
  if (version) ArchiveSetClassVersion(archive.get(), &CLSID_JStyleMultiplexer, version);
  EXPECT_EQ(Query<IJPersist>(style, IID_IJPersist)->Store(archive.get()), S_OK);
  return archive.Bytes();
}

class MultiplexerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterLineVersions();
    stylesrv_test::ClearReports();
    mux = NewMux();
    ASSERT_TRUE(mux);
  }
  void TearDown() override { mux->Release(); }

  StyleComPtr<IJStyleRender> Render() { return Query<IJStyleRender>(mux, IID_IJStyleRender); }

  IJStyleMultiplexer* mux = nullptr;
};

// What a multiplexer of each kind takes and the kind it has then; a refused entry leaves its slot as it was.
TEST_F(MultiplexerTest, KindRuleDecidesWhichEntriesAreTaken) {
  const struct {
    DWORD own;
    DWORD entry;
    HRESULT hr;
    DWORD after;
  } rows[] = {
      {0, 0, E_INVALIDARG, 0}, {0, 1, S_OK, 2}, {0, 2, S_OK, 2}, {0, 3, S_OK, 3}, {0, 4, E_INVALIDARG, 0},
      {0, 5, S_OK, 3},         {2, 0, S_OK, 2}, {2, 1, S_OK, 2}, {2, 3, E_INVALIDARG, 2}, {2, 5, E_INVALIDARG, 2},
      {3, 0, S_OK, 3},         {3, 5, S_OK, 3}, {3, 2, E_INVALIDARG, 3}, {3, 4, E_INVALIDARG, 3},
      {1, 2, E_FAIL, 1},       {4, 4, E_FAIL, 4}, {5, 3, E_FAIL, 5},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::Message() << "own kind " << row.own << ", entry kind " << row.entry);
    StyleComPtr<IJStyleMultiplexer> own(NewMux());
    ASSERT_EQ(own->SetCount(2), S_OK);
    if (row.own) own->SetKind(row.own);
    // Kind 0 is another multiplexer still without entries; kind 2 a simple line.
    StyleComPtr<IUnknown> entry(row.entry == 0   ? static_cast<IUnknown*>(NewMux())
                                : row.entry == 2 ? NewObject(CLSID_JStyleSimpleLine, IID_IUnknown)
                                                 : EntryStyle::Create(row.entry)->Unknown());
    StyleComPtr<IJStyleRender> render = Query<IJStyleRender>(entry.Get(), IID_IJStyleRender);
    stylesrv_test::ClearReports();
    EXPECT_EQ(own->SetEntry(1, render.Get()), row.hr);
    EXPECT_EQ(KindOf(own.Get()), row.after);
    EXPECT_EQ(Reports().size(), SUCCEEDED(row.hr) ? 0u : 1u);
    StyleComPtr<IJStyleRender> held;
    EXPECT_EQ(own->GetEntry(1, held.Put()), S_OK);
    EXPECT_EQ(held.Get(), SUCCEEDED(row.hr) ? render.Get() : nullptr);
  }
}

// Bad counts, indexes and pointers answer E_INVALIDARG, reported (a current index past the entries quietly), and
// change nothing; 65535 entries is the most the record can count.
TEST_F(MultiplexerTest, BadArgumentsAreRefused) {
  ASSERT_EQ(mux->SetCount(2), S_OK);
  mux->SetKind(STYLE_KIND_LINE);
  StyleComPtr<IUnknown> line(EntryStyle::Create(STYLE_KIND_LINE)->Unknown());
  StyleComPtr<IJStyleRender> style = Query<IJStyleRender>(line.Get(), IID_IJStyleRender);
  StyleComPtr<IJStyleRender> self = Render();
  IJStyleRender* none = nullptr;
  const struct {
    const char* name;
    std::function<HRESULT()> call;
    int line;  // 0: not reported
  } rows[] = {
      {"SetCount(0)", [&] { return mux->SetCount(0); }, 402},
      {"SetCount(65536)", [&] { return mux->SetCount(65536); }, 402},
      {"SetEntry(count)", [&] { return mux->SetEntry(2, style.Get()); }, 470},
      {"SetEntry(null)", [&] { return mux->SetEntry(0, nullptr); }, 470},
      {"SetEntry(itself)", [&] { return mux->SetEntry(0, self.Get()); }, 472},
      {"GetEntry(count)", [&] { return mux->GetEntry(2, &none); }, 544},
      {"SetEntryID(count)", [&] { return mux->SetEntryID(2, 0); }, 620},
      {"GetCurrentIndex(null)", [&] { return mux->GetCurrentIndex(nullptr); }, 700},
      {"SetCurrentIndex(count)", [&] { return mux->SetCurrentIndex(2); }, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    stylesrv_test::ClearReports();
    EXPECT_EQ(row.call(), E_INVALIDARG);
    if (row.line) {
      EXPECT_THAT(Reports(), ElementsAre(IsReport(E_INVALIDARG, kMuxSource, row.line)));
    } else {
      EXPECT_THAT(Reports(), IsEmpty());
    }
  }
  EXPECT_EQ(EntryIDs(mux), (std::vector<DWORD>{0, 0}));
  EXPECT_EQ(mux->SetCount(65535), S_OK);
}

// An entry moves to a new ID by taking the new use before giving the old one back; an ID the owner refuses leaves
// the entry with its old ID and that ID's use.
TEST_F(MultiplexerTest, EntryIDsMoveTheirUses) {
  RecordingLibrarian* library = RecordingLibrarian::Create();
  StyleComPtr<IUnknown> a(EntryStyle::Create(2)->Unknown());
  StyleComPtr<IUnknown> b(EntryStyle::Create(2)->Unknown());
  const DWORD idA = library->Add(a.Get());
  const DWORD idB = library->Add(b.Get());
  ASSERT_EQ(Query<IJManageStyle2>(mux, IID_IJManageStyle2)->SetLibrarian(library->Librarian()), S_OK);
  ASSERT_EQ(mux->SetCount(1), S_OK);
  ASSERT_EQ(mux->SetEntryID(0, idA), S_OK);
  library->log.clear();
  ASSERT_EQ(mux->SetEntryID(0, idB), S_OK);
  EXPECT_THAT(library->log, ElementsAre("AddRefStyleID(2)", "ReleaseStyleID(1)"));
  stylesrv_test::ClearReports();
  EXPECT_EQ(mux->SetEntryID(0, idB + 7), E_INVALIDARG);
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_INVALIDARG, kMuxSource, 631)));
  EXPECT_EQ(EntryIDs(mux), std::vector<DWORD>{idB});
  EXPECT_EQ(library->UseCount(idB), 1u);
  EXPECT_EQ(library->UseCount(idA), 0u);
  ASSERT_EQ(mux->RemoveAll(), S_OK);
  EXPECT_EQ(library->UseCount(idB), 0u);
  library->Release();
}

// Entries draw in index order with the caller's arguments; an entry without a style is skipped; the first failing
// entry stops the walk with its answer; without the caller's record the entries get none.
TEST_F(MultiplexerTest, EntriesDrawInOrderWithTheCallersArguments) {
  const struct {
    const char* name;
    std::vector<DWORD> colours;  // 0: an entry that names no style
    int failing;                 // the entry that answers E_ABORT, -1 none
    bool record;                 // the caller hands a record with its width flagged
    HRESULT hr;
    std::vector<DWORD> drawn;
  } rows[] = {
      {"empty", {}, -1, true, S_OK, {}},
      {"in order", {1, 2, 3}, -1, true, S_OK, {1, 2, 3}},
      {"gap skipped", {1, 0, 3}, -1, true, S_OK, {1, 3}},
      {"failure stops", {1, 2, 3}, 1, true, E_ABORT, {1, 2}},
      {"no record", {1, 2}, -1, false, S_OK, {1, 2}},
  };
  StyleComPtr<IUnknown> fill(EntryStyle::Create(STYLE_KIND_FILL)->Unknown());
  StyleComPtr<IJStyleRender> otherKind = Query<IJStyleRender>(fill.Get(), IID_IJStyleRender);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    StyleComPtr<IJStyleMultiplexer> own(NewMux());
    std::vector<EntryStyle*> entries;
    if (!row.colours.empty()) {
      ASSERT_EQ(own->SetCount(static_cast<LONG>(row.colours.size())), S_OK);
    }
    for (std::size_t i = 0; i < row.colours.size(); ++i) {
      if (!row.colours[i]) continue;
      EntryStyle* entry = EntryStyle::Create(STYLE_KIND_LINE, row.colours[i]);
      if (static_cast<int>(i) == row.failing) entry->answer = E_ABORT;
      ASSERT_EQ(own->SetEntry(static_cast<LONG>(i), entry->RenderItf()), S_OK);
      entries.push_back(entry);
    }
    TestTarget target;
    TestGeometry geometry{{0, 0, 0, 5, 0, 0}};
    const RenderContextScales context = UnitScales();
    tagStyleOverride record = EmptyRecord();
    record.flags = OVR_WIDTH;
    record.width = 7.0;
    stylesrv_test::ClearReports();
    // Without a record, a substitute of another kind makes the multiplexer draw with none.
    EXPECT_EQ(Query<IJStyleRender>(own.Get(), IID_IJStyleRender)
                  ->RenderWithContext(&geometry.record, target.target(), &context,
                                      row.record ? nullptr : otherKind.Get(), row.record ? &record : nullptr, nullptr),
              row.hr);
    EXPECT_EQ(PenColours(target), row.drawn);
    EXPECT_EQ(PenWidths(target), std::vector<double>(row.drawn.size(), row.record ? 7.0 : 1.0));
    EXPECT_EQ(PolylineCounts(target), std::vector<DWORD>(row.drawn.size(), 2u));
    for (EntryStyle* entry : entries) {
      for (bool given : entry->given) EXPECT_EQ(given, row.record);
      entry->Release();
    }
    if (FAILED(row.hr)) {
      EXPECT_THAT(Reports(), ElementsAre(IsReport(row.hr, kMuxSource, 1215)));
    }
  }
}

// The extent without context is the entries' field-wise maximum over a cleared record, its u32 compared
// unsigned; the range merges into what the caller's record already holds.
TEST_F(MultiplexerTest, ExtentsAreFieldWiseMaximaOfTheEntries) {
  EntryStyle* wide = EntryStyle::Create(STYLE_KIND_LINE);
  EntryStyle* tall = EntryStyle::Create(STYLE_KIND_LINE);
  wide->delta = {0x80000001, 1.0, 0.5};
  tall->delta = {7, 3.0, 0.25};
  wide->ownExtent = {3, 1.0, 2.0};
  tall->ownExtent = {9, 0.5, 1.0};
  ASSERT_EQ(mux->SetCount(3), S_OK);
  ASSERT_EQ(mux->SetEntry(0, wide->RenderItf()), S_OK);
  ASSERT_EQ(mux->SetEntry(2, tall->RenderItf()), S_OK);
  StyleExtent extent{0xFFFFFFFF, 100.0, 100.0};
  ASSERT_EQ(Render()->GetExtentDelta(&extent), S_OK);
  EXPECT_EQ(std::make_tuple(extent.value, extent.first, extent.second), std::make_tuple(0x80000001u, 3.0, 0.5));
  StyleExtent range{5, 10.0, 0.0};
  const RenderContextScales context = UnitScales();
  ASSERT_EQ(Render()->GetRangeWithContext(&range, &context, nullptr, nullptr), S_OK);
  EXPECT_EQ(std::make_tuple(range.value, range.first, range.second), std::make_tuple(9u, 10.0, 2.0));
  wide->Release();
  tall->Release();
}

// The record without header is the base record, a reserved u16, a u16 count and the IDs; the old version counts
// in 32 bits after the render base's older record. Both load to the same entries, known by ID until first use.
TEST_F(MultiplexerTest, RecordsOfBothVersionsCarryTheEntryIDs) {
  const std::vector<BYTE> one = CurrentRecord({3});
  ASSERT_EQ(one, (std::vector<BYTE>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 3, 0, 0, 0}));
  ASSERT_EQ(Load(mux, one, 0), S_OK);
  EXPECT_EQ(EntryIDs(mux), std::vector<DWORD>{3});
  EXPECT_EQ(Stored(mux, 0), one);

  ASSERT_EQ(Load(mux, CurrentRecord({3, 0, 7}), 0), S_OK);
  const std::vector<BYTE> current = Stored(mux, ARCHIVE_VERSIONED, 3);
  const std::vector<BYTE> old = Stored(mux, ARCHIVE_VERSIONED, 2);
  EXPECT_EQ(ReadAt<WORD>(current, current.size() - 14), 3u);
  EXPECT_EQ(ReadAt<DWORD>(old, old.size() - 16), 3u);
  for (const auto* record : {&current, &old}) {
    StyleComPtr<IJStyleMultiplexer> loaded(NewMux());
    ASSERT_EQ(Load(loaded.Get(), *record, ARCHIVE_VERSIONED), S_OK);
    EXPECT_EQ(EntryIDs(loaded.Get()), (std::vector<DWORD>{3, 0, 7}));
  }
}

// A record cut short anywhere, or counting more entries than it holds, fails the load with a report and leaves
// the entries as they were.
TEST_F(MultiplexerTest, DamagedRecordsFailAndKeepTheEntries) {
  ASSERT_EQ(Load(mux, CurrentRecord({3, 0, 7}), 0), S_OK);
  std::vector<BYTE> current = Stored(mux, ARCHIVE_VERSIONED, 3);
  std::vector<BYTE> old = Stored(mux, ARCHIVE_VERSIONED, 2);
  ASSERT_EQ(Load(mux, CurrentRecord({5}), 0), S_OK);
  for (std::size_t cut = 0; cut < current.size(); ++cut) {
    SCOPED_TRACE(cut);
    stylesrv_test::ClearReports();
    EXPECT_TRUE(FAILED(Load(mux, std::vector<BYTE>(current.begin(), current.begin() + cut), ARCHIVE_VERSIONED)));
    EXPECT_THAT(Reports(), ::testing::Not(IsEmpty()));
    EXPECT_EQ(EntryIDs(mux), std::vector<DWORD>{5});
  }
  current[current.size() - 14] = 4;
  std::memcpy(old.data() + old.size() - 16, "\0\0\0\x40", 4);
  const HRESULT damaged = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
  for (const auto* record : {&current, &old}) {
    stylesrv_test::ClearReports();
    EXPECT_EQ(Load(mux, *record, ARCHIVE_VERSIONED), damaged);
    EXPECT_THAT(Reports(), ::testing::Contains(IsReport(damaged, kMuxSource, 1720)));
    EXPECT_EQ(EntryIDs(mux), std::vector<DWORD>{5});
  }
}

// Only an old record can hold more than 65535 entries; such a list is not stored, and nothing is written.
TEST_F(MultiplexerTest, ListBeyondTheSixteenBitCountIsNotStored) {
  ASSERT_EQ(Load(mux, CurrentRecord({3}), 0), S_OK);
  std::vector<BYTE> old = Stored(mux, ARCHIVE_VERSIONED, 2);
  const DWORD count = 65536;
  std::memcpy(old.data() + old.size() - 8, &count, 4);
  old.resize(old.size() + 4 * (count - 1), 7);
  ASSERT_EQ(Load(mux, old, ARCHIVE_VERSIONED), S_OK);
  DWORD loaded = 0;
  mux->GetCount(&loaded);
  EXPECT_EQ(loaded, count);
  for (DWORD flags : {DWORD{0}, DWORD{ARCHIVE_VERSIONED}}) {
    TestArchive archive(ARCHIVE_STORING | flags);
    stylesrv_test::ClearReports();
    EXPECT_EQ(Query<IJPersist>(mux, IID_IJPersist)->Store(archive.get()), E_INVALIDARG);
    EXPECT_EQ(ArchiveSize(archive.get()), 0u);
    EXPECT_THAT(Reports(), ElementsAre(IsReport(E_INVALIDARG, kMuxSource, 1620)));
  }
}

// Two multiplexers whose entries name each other: drawing ends at the depth bound with one report, and asking
// what they use ends too.
TEST_F(MultiplexerTest, MultiplexersNamingEachOtherEnd) {
  RecordingLibrarian* library = RecordingLibrarian::Create();
  IJStyleMultiplexer* other = NewMux();
  const DWORD idA = library->Add(mux);
  const DWORD idB = library->Add(other);
  ASSERT_EQ(mux->SetCount(1), S_OK);
  ASSERT_EQ(other->SetCount(1), S_OK);
  ASSERT_EQ(mux->SetEntryID(0, idB), S_OK);
  ASSERT_EQ(other->SetEntryID(0, idA), S_OK);
  TestTarget target;
  TestGeometry geometry{{0, 0, 0, 5, 0, 0}};
  const RenderContextScales context = UnitScales();
  stylesrv_test::ClearReports();
  StyleComPtr<IJStyleRender> render = Render();
  EXPECT_EQ(render->RenderWithContext(&geometry.record, target.target(), &context, nullptr, nullptr, nullptr), E_FAIL);
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_FAIL, "STYDEPTH", 1)));
  StyleComPtr<IJStyleUser> user = Query<IJStyleUser>(mux, IID_IJStyleUser);
  EXPECT_TRUE(user->UsesStyleID(idA));
  EXPECT_FALSE(user->UsesStyleID(idB + 1));
  // Each caches the other: the cycle is cut before they go.
  mux->SetEntryID(0, 0);
  other->SetEntryID(0, 0);
  other->Release();
  library->Release();
}

// An interface the class does not answer is asked of the engine: of the line styles' extension for a multiplexer
// of lines, of the fills' for one of fills, for the five extension IIDs only. A kind still open is settled from
// the first entry first.
TEST_F(MultiplexerTest, EngineExtensionsFollowTheKind) {
  const IID* asked[] = {&IID_OverrideExtension1, &IID_IDispatch, &IID_OverrideExtension2,
                        &IID_MultiplexerFillExtension, &IID_MultiplexerLineExtension, &IID_IJStyleOverride};
  const GUID& line = CLASSEXT_LineStyle;
  const GUID& fill = CLASSEXT_OverrideExtension2;
  const struct {
    DWORD entryKind;  // 0: no entry
    DWORD kind;
    std::vector<std::pair<GUID, IID>> calls;
  } rows[] = {
      {STYLE_KIND_POINTS, STYLE_KIND_LINE,
       {{line, IID_OverrideExtension1}, {line, IID_IDispatch}, {line, IID_MultiplexerLineExtension}}},
      {STYLE_KIND_FILL, STYLE_KIND_FILL,
       {{fill, IID_IDispatch}, {fill, IID_OverrideExtension2}, {fill, IID_MultiplexerFillExtension}}},
      {0, 0, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.entryKind);
    RecordingLibrarian* library = RecordingLibrarian::Create();
    StyleComPtr<IJStyleMultiplexer> own(NewMux());
    ASSERT_EQ(own->SetCount(1), S_OK);
    if (row.entryKind) {
      StyleComPtr<IUnknown> entry(EntryStyle::Create(row.entryKind)->Unknown());
      const DWORD id = library->Add(entry.Get());
      Query<IJManageStyle2>(own.Get(), IID_IJManageStyle2)->SetLibrarian(library->Librarian());
      ASSERT_EQ(own->SetEntryID(0, id), S_OK);
    }
    HostClearClassExtensionCalls();
    for (const IID* iid : asked) {
      void* extension = reinterpret_cast<void*>(1);
      EXPECT_EQ(own->QueryInterface(*iid, &extension), E_NOINTERFACE);
      EXPECT_EQ(extension, nullptr);
    }
    std::vector<std::pair<GUID, IID>> calls;
    HostClassExtensionCall call;
    for (LONG i = 0; HostGetClassExtensionCall(i, &call); ++i) calls.emplace_back(call.extension, call.iid);
    EXPECT_EQ(calls, row.calls);
    EXPECT_EQ(KindOf(own.Get()), row.kind);
    own->RemoveAll();
    library->Release();
  }
}

// Both multiplexers' own tables, called by slot as a host that knows only the places.
TEST_F(MultiplexerTest, InterfaceSlotsKeepTheirPlaces) {
  using stylesrv_test::CallSlot;
  StyleComPtr<IUnknown> line(NewObject(CLSID_JStyleSimpleLine, IID_IUnknown));
  StyleComPtr<IJStyleRender> lineRender = Query<IJStyleRender>(line.Get(), IID_IJStyleRender);
  DWORD n = 0, index = 0, id = 0;
  StyleComPtr<IJStyleRender> got;
  EXPECT_EQ(CallSlot(mux, 3, DWORD{STYLE_KIND_LINE}), S_OK);
  EXPECT_EQ(CallSlot(mux, 4, LONG{2}), S_OK);
  EXPECT_EQ(CallSlot(mux, 6, LONG{1}, lineRender.Get()), S_OK);
  EXPECT_EQ(CallSlot(mux, 7, LONG{1}, got.Put()), S_OK);
  EXPECT_EQ(got.Get(), lineRender.Get());
  for (int reserved : {9, 10}) EXPECT_EQ(CallSlot(mux, reserved, DWORD{0}), S_OK);
  EXPECT_EQ(CallSlot(mux, 13, DWORD{1}), S_OK);
  EXPECT_EQ(CallSlot(mux, 14, &index), S_OK);
  EXPECT_EQ(CallSlot(mux, 11, LONG{0}, DWORD{0}), S_OK);
  EXPECT_EQ(CallSlot(mux, 12, DWORD{1}, &id), S_OK);
  EXPECT_EQ(CallSlot(mux, 8), S_OK);
  EXPECT_EQ(CallSlot(mux, 5, &n), S_OK);
  EXPECT_EQ(std::make_tuple(KindOf(mux), index, id, n), std::make_tuple(2u, 1u, kInvalidStyleID, 0u));

  StyleComPtr<IUnknown> simple(NewObject(CLSID_JStyleSimpleMultiplexer, IID_IJStyleSimpleMultiplexer));
  StyleComPtr<IUnknown> fill(EntryStyle::Create(STYLE_KIND_FILL)->Unknown());
  StyleComPtr<IUnknown> first, second;
  EXPECT_EQ(CallSlot(simple.Get(), 3, line.Get()), S_OK);
  EXPECT_EQ(CallSlot(simple.Get(), 4, first.Put()), S_OK);
  EXPECT_EQ(CallSlot(simple.Get(), 5, fill.Get()), S_OK);
  EXPECT_EQ(CallSlot(simple.Get(), 6, second.Put()), S_OK);
  for (int reserved : {7, 8}) EXPECT_EQ(CallSlot(simple.Get(), reserved, DWORD{0}), S_OK);
  EXPECT_EQ(first.Get(), line.Get());
  EXPECT_EQ(second.Get(), fill.Get());
  EXPECT_EQ(KindOf(simple.Get()), DWORD{STYLE_KIND_FILL});
}

// An entry that has an ID but neither its style nor an owner to resolve it cannot be copied into another
// library: the copy fails, reported, and nothing is added there.
TEST_F(MultiplexerTest, EntryKnownOnlyByIDWithoutOwnerIsNotCopied) {
  styllib_test::TestLibrary target;
  ASSERT_EQ(Load(mux, CurrentRecord({3}), 0), S_OK);
  const DWORD before = target.StyleCount();
  DWORD id = 9;
  EXPECT_EQ(Query<IJManageStyle2>(mux, IID_IJManageStyle2)
                ->CopyStyleToLibrary(nullptr, target.librarian, target.document, &id),
            E_FAIL);
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(target.StyleCount(), before);
  EXPECT_THAT(Reports(), ::testing::Contains(IsReport(E_FAIL, kMuxSource, 2693)));
}

}  // namespace

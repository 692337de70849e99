// Loading and storing styles: class headers, the JStyleBase legacy block, the base record with its units code
// and referenced style ID, the older render-base record, failures at every exchange, damaged counts, and
// references to document objects.
#include <cstring>

#include "tests/bases/test_styles.h"

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using stylesrv_test::IsReport;
using stylesrv_test::Reports;

namespace {

constexpr DWORD kStoreVersioned = ARCHIVE_STORING | ARCHIVE_VERSIONED;
constexpr std::size_t kHeaderSize = 18;  // 16-byte tag and 16-bit version
// Byte offsets in a non-versioned record of the test line.
constexpr std::size_t kFlagsAt = 0, kStyleIdAt = 2, kReferencedIdAt = 10, kCountAt = 26;

class PersistenceTest : public ::testing::Test {
 protected:
  void SetUp() override { stylesrv_test::ClearReports(); }
};

// Codes 0 and 11 to 14 travel in the low three bits of the base record's flags; 15, which three bits cannot
// carry, is refused before the base record.
TEST_F(PersistenceTest, UnitsCodeTravelsInThreeBitsOrIsRefused) {
  for (DWORD code : {0u, 11u, 12u, 13u, 14u, 15u}) {
    SCOPED_TRACE(code);
    stylesrv_test::ClearReports();
    TestLineStyle* stored = TestLineStyle::Create();
    stored->SetUnitsCode(code);
    TestArchive archive(kStoreVersioned);
    if (code == 15) {
      EXPECT_EQ(stored->Persist()->Store(archive.get()), E_INVALIDARG);
      EXPECT_EQ(ArchiveSize(archive.get()), 2 * kHeaderSize);
      EXPECT_THAT(Reports(), ElementsAre(IsReport(E_INVALIDARG, "ustylr2d", 804), IsReport(E_INVALIDARG, "TESTLINE", 20),
                                         IsReport(E_INVALIDARG, "STYLEBAS", 1660)));
      stored->Release();
      continue;
    }
    ASSERT_EQ(stored->Persist()->Store(archive.get()), S_OK);
    EXPECT_EQ(ReadAt<WORD>(archive.Bytes(), 2 * kHeaderSize) & 7, code == 0 ? 0u : code - 10);
    TestLineStyle* loaded = TestLineStyle::Create();
    archive.Reload();
    ASSERT_EQ(loaded->Persist()->Load(archive.get()), S_OK);
    EXPECT_EQ(loaded->UnitsCode(), code);
    EXPECT_TRUE(loaded->WasVersioned());
    loaded->Release();
    stored->Release();
  }
}

TEST_F(PersistenceTest, NonVersionedArchiveCarriesNoClassHeaders) {
  TestLineStyle* style = TestLineStyle::Create(0x00112233, 2.5);
  style->lengths = {4.0, -2.0};
  style->SetUnitsCode(12);
  style->Manage()->SetID(0x01020304);
  TestArchive archive(ARCHIVE_STORING);
  ASSERT_EQ(style->Persist()->Store(archive.get()), S_OK);
  const std::vector<BYTE> bytes = archive.Bytes();
  ASSERT_EQ(bytes.size(), 14u + 4 + 8 + 4 + 2 * 8);
  EXPECT_EQ(ReadAt<WORD>(bytes, kFlagsAt), 2u);
  EXPECT_EQ(ReadAt<DWORD>(bytes, kStyleIdAt), 0x01020304u);
  EXPECT_EQ(ReadAt<DWORD>(bytes, 14), 0x00112233u);
  EXPECT_FALSE(style->WasVersioned());

  TestLineStyle* loaded = TestLineStyle::Create(0, 0);
  archive.Reload();
  ASSERT_EQ(loaded->Persist()->Load(archive.get()), S_OK);
  EXPECT_EQ(loaded->colour, 0x00112233u);
  EXPECT_EQ(loaded->width, 2.5);
  EXPECT_EQ(loaded->lengths, (std::vector<double>{4.0, -2.0}));
  EXPECT_EQ(loaded->StyleID(), 0x01020304u);
  loaded->Release();
  style->Release();
}

// Versions 2 and 3 of the JStyleBase header carry the 16-bit style ID and the flag word; 1 and 4 do not. With
// a class version the class does not know, the legacy ID is all that identifies the style.
TEST_F(PersistenceTest, JStyleBaseHeaderVersionChoosesTheLegacyBlock) {
  for (WORD version : {1, 2, 3, 4}) {
    SCOPED_TRACE(version);
    TestLineStyle* style = TestLineStyle::Create();
    style->Manage()->SetID(0x00012345);
    style->Manage()->SetFlagWord(0x0A0B);
    TestArchive archive(kStoreVersioned);
    ArchiveSetClassVersion(archive.get(), &CLASSTAG_JStyleBase, version);
    ArchiveSetClassVersion(archive.get(), &CLSID_TestLineStyle, 9);
    ASSERT_EQ(style->Persist()->Store(archive.get()), S_OK);
    const bool legacy = version == 2 || version == 3;
    const std::vector<BYTE> bytes = archive.Bytes();
    ASSERT_EQ(bytes.size(), 2 * kHeaderSize + (legacy ? 4 : 0));
    if (legacy) {
      EXPECT_EQ(ReadAt<WORD>(bytes, kHeaderSize), 0x2345u);
      EXPECT_EQ(ReadAt<WORD>(bytes, kHeaderSize + 2), 0x0A0Bu);
    }
    TestLineStyle* loaded = TestLineStyle::Create();
    loaded->Manage()->SetID(77);
    archive.Reload();
    ASSERT_EQ(loaded->Persist()->Load(archive.get()), S_OK);
    EXPECT_EQ(loaded->StyleID(), legacy ? 0x2345u : 77u);
    EXPECT_EQ(loaded->FlagWord(), legacy ? 0x0A0Bu : 0u);
    loaded->Release();
    style->Release();
  }
}

TEST_F(PersistenceTest, UnknownClassVersionExchangesNothingAndIsNoError) {
  TestLineStyle* style = TestLineStyle::Create(0x55, 3.0);
  TestArchive archive(kStoreVersioned);
  ArchiveSetClassVersion(archive.get(), &CLSID_TestLineStyle, 7);
  ASSERT_EQ(style->Persist()->Store(archive.get()), S_OK);
  EXPECT_EQ(ArchiveSize(archive.get()), 2 * kHeaderSize);
  TestLineStyle* loaded = TestLineStyle::Create(0x66, 4.0);
  archive.Reload();
  EXPECT_EQ(loaded->Persist()->Load(archive.get()), S_OK);
  EXPECT_EQ(loaded->colour, 0x66u);
  EXPECT_EQ(loaded->width, 4.0);
  EXPECT_THAT(Reports(), IsEmpty());
  loaded->Release();
  style->Release();
}

// A load restores the stored ID as it is: the library's counts were stored with it.
TEST_F(PersistenceTest, ReloadKeepsTheCachedStyleOnlyForTheSameReferencedIDAndMovesNoUse) {
  RecordingLibrarian* library = RecordingLibrarian::Create();
  TestLineStyle* referenced = TestLineStyle::Create();
  TestLineStyle* style = TestLineStyle::Create();
  const DWORD refID = library->Add(referenced->Unknown());
  library->Add(style->Unknown());
  ASSERT_EQ(style->Setup()->SetReferencedStyleID(refID), S_OK);
  IJStyleRender* resolved = style->GetReferencedStyle();
  ASSERT_NE(resolved, nullptr);
  resolved->Release();

  TestArchive archive(ARCHIVE_STORING);
  ASSERT_EQ(style->Persist()->Store(archive.get()), S_OK);
  EXPECT_EQ(ReadAt<DWORD>(archive.Bytes(), kReferencedIdAt), refID);
  library->log.clear();
  archive.Reload();
  ASSERT_EQ(style->Persist()->Load(archive.get()), S_OK);
  EXPECT_EQ(style->CachedReferencedStyle(), resolved);

  WriteAt<DWORD>(archive.get(), kReferencedIdAt, 42);
  archive.Reload();
  ASSERT_EQ(style->Persist()->Load(archive.get()), S_OK);
  EXPECT_EQ(style->CachedReferencedStyle(), nullptr);
  EXPECT_EQ(style->ReferencedID(), 42u);
  EXPECT_EQ(library->UseCount(refID), 1u);
  EXPECT_THAT(library->log, IsEmpty());
  style->Release();
  referenced->Release();
  library->Release();
}

struct FailedExchange {
  LONG exchange;
  WORD baseVersion;
  std::vector<std::pair<const char*, int>> reports;
};

class ExchangeFailure : public PersistenceTest, public ::testing::WithParamInterface<FailedExchange> {};

// The first failing exchange is reported where it arises, and by every caller on the way out, and its result
// is returned unchanged.
TEST_P(ExchangeFailure, IsReportedAtItsLineAndReturned) {
  const FailedExchange& failure = GetParam();
  constexpr HRESULT kInjected = static_cast<HRESULT>(0x80030102);
  TestLineStyle* style = TestLineStyle::Create();
  TestArchive archive(kStoreVersioned);
  ArchiveSetClassVersion(archive.get(), &CLASSTAG_JStyleBase, failure.baseVersion);
  ArchiveFailExchange(archive.get(), failure.exchange, kInjected);
  EXPECT_EQ(style->Persist()->Store(archive.get()), kInjected);
  std::vector<::testing::Matcher<PellowReport>> expected;
  for (const auto& [source, line] : failure.reports) expected.push_back(IsReport(kInjected, source, line));
  EXPECT_THAT(Reports(), ::testing::ElementsAreArray(expected));
  style->Release();
}

INSTANTIATE_TEST_SUITE_P(
    EveryExchange, ExchangeFailure,
    ::testing::Values(
        FailedExchange{1, 4, {{"STYLEBAS", 1634}}},
        FailedExchange{2, 2, {{"STYLEBAS", 1738}, {"STYLEBAS", 1643}}},
        FailedExchange{3, 3, {{"STYLEBAS", 1746}, {"STYLEBAS", 1643}}},
        FailedExchange{2, 4, {{"TESTLINE", 10}, {"STYLEBAS", 1660}}},
        FailedExchange{3, 4, {{"STYLEBAS", 1694}, {"ustylr2d", 811}, {"TESTLINE", 20}, {"STYLEBAS", 1660}}},
        FailedExchange{4, 4, {{"STYLEBAS", 1696}, {"ustylr2d", 811}, {"TESTLINE", 20}, {"STYLEBAS", 1660}}},
        FailedExchange{5, 4, {{"STYLEBAS", 1698}, {"ustylr2d", 811}, {"TESTLINE", 20}, {"STYLEBAS", 1660}}},
        FailedExchange{6, 4, {{"STYLEBAS", 1700}, {"ustylr2d", 811}, {"TESTLINE", 20}, {"STYLEBAS", 1660}}}));

// A record cut short, or a count that the rest of the archive cannot hold or whose byte size overflows, fails
// the load before anything is allocated for it, reported where it was read; the style keeps what it had.
TEST_F(PersistenceTest, DamagedRecordsFailTheLoadAndKeepTheStyle) {
  const HRESULT eof = HRESULT_FROM_WIN32(ERROR_HANDLE_EOF), invalid = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
  struct Damage {
    DWORD count;     // written over the count; 0: the record cut inside the width instead
    HRESULT hr;
    int line;
  };
  TestLineStyle* style = TestLineStyle::Create(0x77, 1.5);
  style->lengths = {1.0, 2.0, 3.0};
  TestArchive archive(ARCHIVE_STORING);
  ASSERT_EQ(style->Persist()->Store(archive.get()), S_OK);
  const std::vector<BYTE> whole = archive.Bytes();
  for (const Damage& d : {Damage{0, eof, 22}, Damage{4, invalid, 24}, Damage{0x20000000, invalid, 24},
                          Damage{0xFFFFFFFF, invalid, 24}}) {
    SCOPED_TRACE(d.count);
    stylesrv_test::ClearReports();
    ArchiveSetData(archive.get(), whole.data(), d.count ? static_cast<DWORD>(whole.size()) : 20);
    if (d.count) WriteAt<DWORD>(archive.get(), kCountAt, d.count);
    archive.Reload();
    style->lengths = {9.0};
    EXPECT_EQ(style->Persist()->Load(archive.get()), d.hr);
    if (d.count) {
      EXPECT_EQ(style->lengths, std::vector<double>{9.0});
    }
    EXPECT_THAT(Reports(), Contains(IsReport(d.hr, "TESTLINE", d.line)));
  }
  ArchiveSetData(archive.get(), whole.data(), static_cast<DWORD>(whole.size()));
  archive.Reload();
  EXPECT_EQ(style->Persist()->Load(archive.get()), S_OK);
  EXPECT_EQ(style->lengths, (std::vector<double>{1.0, 2.0, 3.0}));
  style->Release();
}

// Older class layouts begin with the render base's own record: its header, the referenced style ID (header
// version 2 only) and the style kind.
TEST_F(PersistenceTest, OlderLayoutCarriesTheRenderBaseRecord) {
  for (WORD baseVersion : {1, 2}) {
    SCOPED_TRACE(baseVersion);
    TestLineStyle* style = TestLineStyle::Create(0x42, 0.5);
    style->SetUnitsCode(11);
    style->Setup()->SetReferencedStyleID(kInvalidStyleID);
    TestArchive archive(kStoreVersioned);
    ArchiveSetClassVersion(archive.get(), &CLSID_TestLineStyle, 1);
    ArchiveSetClassVersion(archive.get(), &CLASSTAG_CStyleRdr2dBase, baseVersion);
    ASSERT_EQ(style->Persist()->Store(archive.get()), S_OK);
    EXPECT_EQ(ArchiveSize(archive.get()), 3 * kHeaderSize + (baseVersion == 2 ? 4 : 0) + 4 + 4 + 8 + 4);

    TestLineStyle* loaded = TestLineStyle::Create();
    archive.Reload();
    ASSERT_EQ(loaded->Persist()->Load(archive.get()), S_OK);
    EXPECT_EQ(loaded->GetStyleKind(), STYLE_KIND_LINE);
    EXPECT_EQ(loaded->UnitsCode(), 11u);
    EXPECT_EQ(loaded->colour, 0x42u);
    EXPECT_EQ(loaded->ReferencedID(), baseVersion == 2 ? kInvalidStyleID : kNoStyleID);
    loaded->Release();
    style->Release();
  }
}

// The drop flag releases the cached style before the older record is read; a different stored ID drops it
// too, so that the old style is never drawn under the new ID.
TEST_F(PersistenceTest, OlderLayoutDropsTheCacheOnRequestAndForAnotherID) {
  TestLineStyle* referenced = TestLineStyle::Create();
  TestLineStyle* style = TestLineStyle::Create();
  style->Setup()->SetReferencedStyle(referenced->RenderItf());
  TestArchive archive(ARCHIVE_STORING);
  ASSERT_EQ(style->SerializeClass(archive.get()), S_OK);
  ASSERT_EQ(ArchiveSize(archive.get()), 8u);

  archive.Reload();
  ASSERT_EQ(style->SerializeClass(archive.get()), S_OK);
  EXPECT_NE(style->CachedReferencedStyle(), nullptr);
  archive.Reload(ARCHIVE_DROP_CACHED);
  ASSERT_EQ(style->SerializeClass(archive.get()), S_OK);
  EXPECT_EQ(style->CachedReferencedStyle(), nullptr);

  style->Setup()->SetReferencedStyle(referenced->RenderItf());
  WriteAt<DWORD>(archive.get(), 0, 0);
  archive.Reload();
  ASSERT_EQ(style->SerializeClass(archive.get()), S_OK);
  EXPECT_EQ(style->CachedReferencedStyle(), nullptr);
  EXPECT_EQ(style->ReferencedID(), 0u);
  style->Release();
  referenced->Release();
}

// References to objects of the document travel as persistent IDs of the document that holds the style or,
// failing that, its owner.
TEST_F(PersistenceTest, DocumentObjectsTravelAsPersistentIDs) {
  IJDocumentNamedObjects* document = nullptr;
  ASSERT_EQ(HostDocumentCreate(&document), S_OK);
  RecordingLibrarian* library = RecordingLibrarian::Create();
  TestLineStyle* style = TestLineStyle::Create();
  TestParaStyle* object = TestParaStyle::Create();
  DWORD libraryID = 0;
  ASSERT_EQ(document->RegisterObject(library->Librarian(), &libraryID, nullptr), S_OK);

  DWORD id = 5;
  EXPECT_EQ(style->GetDocumentObjectID(&id, nullptr), S_OK);
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(style->GetDocumentObjectID(&id, object->Unknown()), E_FAIL);  // no owner, in no document
  library->Add(style->Unknown());
  ASSERT_EQ(style->GetDocumentObjectID(&id, object->Persist()), S_OK);
  EXPECT_NE(id, 0u);
  DWORD again = 0;
  ASSERT_EQ(style->GetDocumentObjectID(&again, object->Unknown()), S_OK);
  EXPECT_EQ(again, id);

  IUnknown* found = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(style->GetActiveDocStyleObject(&found, id), E_FAIL);  // the style itself is in no document
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_FAIL, "STYLEBAS", 1911)));
  DWORD styleID = 0;
  ASSERT_EQ(document->RegisterObject(style->Unknown(), &styleID, nullptr), S_OK);
  ASSERT_EQ(style->GetActiveDocStyleObject(&found, id), S_OK);
  EXPECT_EQ(found, object->Unknown());
  found->Release();
  EXPECT_EQ(style->GetActiveDocStyleObject(&found, 0), S_OK);
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(style->GetActiveDocStyleObject(&found, id + 1000), E_FAIL);

  object->Release();
  style->Release();
  library->Release();
  document->Release();
  EXPECT_EQ(HostDocumentLiveCount(), 0);
}

}  // namespace

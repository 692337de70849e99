// The records of a simple dash type: the current record (also that of archives without class headers), the
// older versions 2 and 3 with their repairs, the client list, and damaged or oversized counts.
#include <cfloat>
#include <cstring>

#include "tests/dash/dash_fixtures.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using stylesrv_test::IsReport;
using stylesrv_test::Reports;

namespace {

constexpr DWORD kStoreVersioned = ARCHIVE_STORING | ARCHIVE_VERSIONED;
constexpr std::size_t kHeaderSize = 18;  // 16-byte tag and 16-bit version
// Byte offsets in the current record.
constexpr std::size_t kBaseFlagsAt = 0, kFlagsAt = 14, kLockedAt = 18, kEndFractionAt = 22, kClientCountAt = 34,
                      kCountAt = 36, kLengthsAt = 38;

class DashPersistenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterDashTypeVersion();
    stylesrv_test::ClearReports();
  }

  // Stores the dash type under the given record version of its class.
  static void StoreAs(DashType& dash, TestArchive& archive, WORD version) {
    ArchiveSetClassVersion(archive.get(), &CLSID_JStyleSimpleDashType, version);
    ASSERT_EQ(dash.persist->Store(archive.get()), S_OK);
  }
};

TEST_F(DashPersistenceTest, CurrentRecordLaysOutItsFieldsAndReloads) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2, 1}, 0x21, 0.25, 12), S_OK);
  dash.manage->SetID(9);
  dash.simple->SetLockedFields(0x30);
  TestArchive archive(ARCHIVE_STORING);
  ASSERT_EQ(dash.persist->Store(archive.get()), S_OK);
  const std::vector<BYTE> bytes = archive.Bytes();
  ASSERT_EQ(bytes.size(), kLengthsAt + 3 * 8);
  EXPECT_EQ(ReadAt<WORD>(bytes, kBaseFlagsAt), 2);  // units code 12
  EXPECT_EQ(ReadAt<DWORD>(bytes, 2), 9u);
  EXPECT_EQ(ReadAt<DWORD>(bytes, 10), 0u);         // no referenced style
  EXPECT_EQ(ReadAt<DWORD>(bytes, kFlagsAt), 0x1000021u);
  EXPECT_EQ(ReadAt<DWORD>(bytes, kLockedAt), 0x30u);
  EXPECT_EQ(ReadAt<double>(bytes, kEndFractionAt), 0.25);
  EXPECT_EQ(ReadAt<DWORD>(bytes, 30), 0u);
  EXPECT_EQ(ReadAt<WORD>(bytes, kClientCountAt), 0);
  EXPECT_EQ(ReadAt<WORD>(bytes, kCountAt), 3);
  EXPECT_EQ(ReadAt<double>(bytes, kLengthsAt + 8), -2.0);

  archive.Reload();
  DashType loaded;
  ASSERT_EQ(loaded.persist->Load(archive.get()), S_OK);
  std::vector<double> lengths;
  const tagStyleSimpleDashTypeData data = loaded.Data(&lengths);
  EXPECT_EQ(data.unitsCode, 12u);
  EXPECT_THAT(lengths, ElementsAre(4, -2, 1));
  EXPECT_EQ(data.flags, 0x1000021u);
  EXPECT_EQ(data.endFraction, 0.25);
  // A loaded record with lengths locks the fields the loader fixes.
  EXPECT_EQ(loaded.LockedFields(), 179u);
  BOOL same = FALSE;
  EXPECT_EQ(dash.manage->IsSameStyle(loaded.unknown, &same), S_OK);
  EXPECT_TRUE(same);
  EXPECT_THAT(Reports(), IsEmpty());
}

// The base record carries the units code in three bits (its round trip is the bases' test): a code they cannot
// carry is refused before anything is written, reported on the way out.
TEST_F(DashPersistenceTest, UnitsCodeBeyondThreeBitsIsRefused) {
  DashType dash;
  ASSERT_EQ(dash.Set({1, -1}, 0, 0.5, 15), S_OK);
  TestArchive archive(ARCHIVE_STORING);
  EXPECT_EQ(dash.persist->Store(archive.get()), E_INVALIDARG);
  EXPECT_EQ(ArchiveSize(archive.get()), 0u);
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_INVALIDARG, kSimpleDashSource, 2110),
                                     IsReport(E_INVALIDARG, kSimpleDashSource, 2239),
                                     IsReport(E_INVALIDARG, "STYLEBAS", 1660)));
}

TEST_F(DashPersistenceTest, CurrentRecordTakesFlagsAsStoredAndLocksOnlyWithLengths) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}), S_OK);
  TestArchive archive(ARCHIVE_STORING);
  ASSERT_EQ(dash.persist->Store(archive.get()), S_OK);
  WriteAt<DWORD>(archive.get(), kFlagsAt, 0x7E000005);
  WriteAt<DWORD>(archive.get(), kLockedAt, 0x4);
  archive.Reload();
  DashType loaded;
  ASSERT_EQ(loaded.persist->Load(archive.get()), S_OK);
  EXPECT_EQ(loaded.Data().flags, 0x7E000005u);
  EXPECT_EQ(loaded.LockedFields(), 179u);

  // Without lengths the stored mask stays and the style is left without lengths.
  DashType none;
  none.simple->SetLockedFields(0x4);
  TestArchive empty(ARCHIVE_STORING);
  ASSERT_EQ(none.persist->Store(empty.get()), S_OK);
  empty.Reload();
  ASSERT_EQ(loaded.persist->Load(empty.get()), S_OK);
  EXPECT_EQ(loaded.LockedFields(), 0x4u);
  EXPECT_THAT(loaded.Lengths(), IsEmpty());
}

TEST_F(DashPersistenceTest, Version2RecordWithoutModeLoadsAsAutomatic) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}, 0, 0.25, 11), S_OK);
  TestArchive archive(kStoreVersioned);
  StoreAs(dash, archive, 2);
  // Header of JStyleBase, header of the class, client count, then the body: an older flags word of 0.
  const std::size_t body = 2 * kHeaderSize + 4;
  const std::vector<BYTE> bytes = archive.Bytes();
  ASSERT_EQ(bytes.size(), body + 4 + 4 + 2 * 8 + 4 + 8 + 4);
  EXPECT_EQ(ReadAt<DWORD>(bytes, body), 11u);
  EXPECT_EQ(ReadAt<DWORD>(bytes, body + 4), 2u);
  WriteAt<DWORD>(archive.get(), body + 24, 0);
  archive.Reload();
  DashType loaded;
  loaded.simple->SetLockedFields(0x1);
  ASSERT_EQ(loaded.persist->Load(archive.get()), S_OK);
  std::vector<double> lengths;
  const tagStyleSimpleDashTypeData data = loaded.Data(&lengths);
  EXPECT_EQ(data.flags, 0x1000008u);
  EXPECT_EQ(data.unitsCode, 11u);
  EXPECT_THAT(lengths, ElementsAre(4, -2));
  EXPECT_EQ(data.endFraction, 0.25);
  EXPECT_EQ(loaded.LockedFields(), 179u);
  EXPECT_THAT(Reports(), IsEmpty());
}

TEST_F(DashPersistenceTest, OlderRecordsRepairTheirFlags) {
  struct Case {
    DWORD stored;
    DWORD hidden;
    DWORD loaded;
  };
  // Old form means mode 1; bits 25-30 and the stored bit 4 go, the separate hidden flag decides bit 4.
  for (const Case& c : {Case{0x80000000, 1, 0x1000011}, Case{0x7E000012, 0, 0x1000002},
                        Case{0x01000000, 0, 0x1000000}, Case{0x00000020, 1, 0x1000038}, Case{0x10, 0, 0x1000008}}) {
    DashType dash;
    ASSERT_EQ(dash.Set({4, -2}), S_OK);
    TestArchive archive(kStoreVersioned);
    StoreAs(dash, archive, 2);
    const std::size_t flagsAt = 2 * kHeaderSize + 4 + 8 + 16;
    WriteAt<DWORD>(archive.get(), flagsAt, c.stored);
    WriteAt<DWORD>(archive.get(), flagsAt + 12, c.hidden);
    archive.Reload();
    DashType loaded;
    ASSERT_EQ(loaded.persist->Load(archive.get()), S_OK);
    EXPECT_EQ(loaded.Data().flags, c.loaded) << std::hex << c.stored;
  }
}

TEST_F(DashPersistenceTest, Version3RecordKeepsItsLockedFields) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}, 0x22, 0.75, 13), S_OK);
  dash.simple->SetLockedFields(0x21);
  TestArchive archive(kStoreVersioned);
  StoreAs(dash, archive, 3);
  archive.Reload();
  DashType loaded;
  ASSERT_EQ(loaded.persist->Load(archive.get()), S_OK);
  EXPECT_EQ(loaded.LockedFields(), 0x21u);
  EXPECT_EQ(loaded.Data().flags, 0x1000022u);
  EXPECT_EQ(loaded.Data().endFraction, 0.75);

  // A version-2 or -3 record without lengths leaves the style without lengths.
  DashType none;
  TestArchive empty(kStoreVersioned);
  StoreAs(none, empty, 3);
  empty.Reload();
  ASSERT_EQ(loaded.persist->Load(empty.get()), S_OK);
  EXPECT_THAT(loaded.Lengths(), IsEmpty());
}

TEST_F(DashPersistenceTest, UnknownVersionExchangesNothing) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}), S_OK);
  TestArchive archive(kStoreVersioned);
  StoreAs(dash, archive, 5);
  EXPECT_EQ(ArchiveSize(archive.get()), 2 * kHeaderSize);
  archive.Reload();
  DashType loaded;
  ASSERT_EQ(loaded.persist->Load(archive.get()), S_OK);
  EXPECT_THAT(loaded.Lengths(), IsEmpty());
  EXPECT_THAT(Reports(), IsEmpty());
}

TEST_F(DashPersistenceTest, DamagedCountsAreRefusedBeforeAnythingIsAllocated) {
  const HRESULT invalid = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}), S_OK);

  // The older record's length count, and its client count.
  TestArchive older(kStoreVersioned);
  StoreAs(dash, older, 2);
  WriteAt<DWORD>(older.get(), 2 * kHeaderSize + 4 + 4, 0x7FFFFFFF);
  older.Reload();
  DashType loaded;
  ASSERT_EQ(loaded.Set({1, -1}), S_OK);
  EXPECT_EQ(loaded.persist->Load(older.get()), invalid);
  EXPECT_THAT(loaded.Lengths(), ElementsAre(1, -1));
  ASSERT_FALSE(Reports().empty());
  EXPECT_THAT(Reports().front(), IsReport(invalid, kSimpleDashSource, 2001));

  stylesrv_test::ClearReports();
  TestArchive clients(kStoreVersioned);
  StoreAs(dash, clients, 3);
  WriteAt<DWORD>(clients.get(), 2 * kHeaderSize, 0x40000000);
  clients.Reload();
  EXPECT_EQ(loaded.persist->Load(clients.get()), invalid);
  ASSERT_FALSE(Reports().empty());
  EXPECT_THAT(Reports().front(), IsReport(invalid, kDashTypeSource, 1731));

  // The current record's 16-bit counts.
  stylesrv_test::ClearReports();
  TestArchive current(ARCHIVE_STORING);
  ASSERT_EQ(dash.persist->Store(current.get()), S_OK);
  WriteAt<WORD>(current.get(), kCountAt, 0xFFFF);
  current.Reload();
  EXPECT_EQ(loaded.persist->Load(current.get()), invalid);
  EXPECT_THAT(Reports().front(), IsReport(invalid, kSimpleDashSource, 2146));
  EXPECT_THAT(loaded.Lengths(), ElementsAre(1, -1));
}

TEST_F(DashPersistenceTest, MoreLengthsThanTheRecordCountsAreRefused) {
  DashType dash;
  std::vector<double> lengths(0x10000, 1.0);
  ASSERT_EQ(dash.Set(lengths), S_OK);
  TestArchive archive(ARCHIVE_STORING);
  EXPECT_EQ(dash.persist->Store(archive.get()), E_INVALIDARG);
  EXPECT_EQ(ArchiveSize(archive.get()), 0u);
  // The older records count in 32 bits and carry them.
  TestArchive older(kStoreVersioned);
  StoreAs(dash, older, 3);
  older.Reload();
  DashType loaded;
  ASSERT_EQ(loaded.persist->Load(older.get()), S_OK);
  EXPECT_EQ(loaded.Lengths().size(), 0x10000u);
}

TEST_F(DashPersistenceTest, ClientIDsTravelWithoutMovingUses) {
  RecordingLibrarian* library = RecordingLibrarian::Create();
  ClientLog log;
  TestDashClient* a = TestDashClient::Create("a", &log);
  TestDashClient* b = TestDashClient::Create("b", &log);
  const DWORD idA = library->Add(a->Unknown());
  const DWORD idB = library->Add(b->Unknown());
  for (WORD version : {WORD{3}, kDashCurrentVersion}) {
    DashType dash;
    ASSERT_EQ(dash.Set({4, -2}), S_OK);
    library->Add(dash.unknown);
    const DWORD ids[] = {idA, idB};
    ASSERT_EQ(dash.list->SetClientIDs(2, ids), S_OK);
    ASSERT_EQ(library->UseCount(idA), 1u);
    TestArchive archive(kStoreVersioned);
    StoreAs(dash, archive, version);
    archive.Reload();

    DashType loaded;
    ASSERT_EQ(loaded.persist->Load(archive.get()), S_OK);
    EXPECT_EQ(loaded.ClientCount(), 2u) << version;
    EXPECT_THAT(loaded.ClientIDs(2), ElementsAre(idA, idB));
    EXPECT_EQ(library->UseCount(idA), 1u);
    EXPECT_EQ(library->UseCount(idB), 1u);

    // Once in the library, the loaded dash type fetches its clients by ID on first use.
    library->Add(loaded.unknown);
    library->log.clear();
    IJStyleDashTypeClient* clients[2] = {};
    EXPECT_EQ(loaded.list->GetClients(2, clients), S_OK);
    EXPECT_EQ(clients[0], a->Client());
    EXPECT_EQ(clients[1], b->Client());
    EXPECT_THAT(library->log, ElementsAre("GetStyle(" + std::to_string(idA) + ")",
                                          "GetStyle(" + std::to_string(idB) + ")"));
    for (IJStyleDashTypeClient* client : clients) client->Release();
    dash.manage->ReleaseStyleRefs(0);
  }
  a->Release();
  b->Release();
  library->Release();
  EXPECT_THAT(Reports(), IsEmpty());
}

TEST_F(DashPersistenceTest, FailedExchangeIsReportedWhereItHappened) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}), S_OK);
  TestArchive archive(ARCHIVE_STORING);
  // Base record (4 exchanges), flags, locked fields, end fraction: the seventh is the end fraction.
  ArchiveFailExchange(archive.get(), 7, E_FAIL);
  EXPECT_EQ(dash.persist->Store(archive.get()), E_FAIL);
  ASSERT_FALSE(Reports().empty());
  EXPECT_THAT(Reports().front(), IsReport(E_FAIL, kSimpleDashSource, 2122));
}

}  // namespace

// The symbol definition's record: the ID list, behind the class header in a versioned archive; loads that
// replace the lists whole or not at all; elements fetched from the document after a load; older records
// handed to the conversion plug-in.
#include <cstdio>
#include <string>

#include "display/style/stylspt/ConversionPlugin.h"
#include "host/mossgrave/mossgrave.h"
#include "tests/symdef/symdef_fixtures.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using stylesrv_test::Reports;

namespace symdef_test {
namespace {

std::vector<BYTE> Bytes(std::initializer_list<DWORD> words) {
  std::vector<BYTE> bytes(words.size() * 4);
  std::size_t at = 0;
  for (DWORD w : words) {
    std::memcpy(bytes.data() + at, &w, 4);
    at += 4;
  }
  return bytes;
}

// A versioned record: the class header (tag, version), then the words.
std::vector<BYTE> VersionedBytes(WORD version, std::initializer_list<DWORD> words, const GUID& tag = CLSID_JSymbolDef) {
  std::vector<BYTE> bytes(sizeof tag + sizeof version);
  std::memcpy(bytes.data(), &tag, sizeof tag);
  std::memcpy(bytes.data() + sizeof tag, &version, sizeof version);
  const std::vector<BYTE> rest = Bytes(words);
  bytes.insert(bytes.end(), rest.begin(), rest.end());
  return bytes;
}

// Loads the bytes through the exchange that the archive's form selects; answers what it answered.
HRESULT LoadInto(const Definition& d, const std::vector<BYTE>& bytes, DWORD flags = ARCHIVE_LOADING) {
  TestArchive archive(flags);
  ArchiveSetData(archive.get(), bytes.data(), static_cast<DWORD>(bytes.size()));
  return flags & ARCHIVE_VERSIONED ? d.persist->Store(archive.get()) : d.persist->Load(archive.get());
}

TEST_F(SymbolDefTest, TheRecordIsTheIDCountAndTheIDs) {
  Definition d = Make();
  ASSERT_EQ(LoadInto(d, Bytes({1, 0x10001})), S_OK);

  TestArchive plain(ARCHIVE_STORING);
  ASSERT_EQ(d.persist->Load(plain.get()), S_OK);
  EXPECT_THAT(plain.Bytes(), ElementsAre(0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00));

  TestArchive versioned(ARCHIVE_STORING | ARCHIVE_VERSIONED);
  ASSERT_EQ(d.persist->Store(versioned.get()), S_OK);
  EXPECT_EQ(versioned.Bytes(), VersionedBytes(2, {1, 0x10001}));
  Definition reloaded = Make();
  ASSERT_EQ(LoadInto(reloaded, versioned.Bytes(), ARCHIVE_LOADING | ARCHIVE_VERSIONED), S_OK);
  EXPECT_THAT(reloaded.StoredIDs(), ElementsAre(0x10001u));
}

// A damaged record fails with a reported HRESULT and leaves the definition as it was; a whole one replaces both
// lists, the elements released.
TEST_F(SymbolDefTest, ALoadReplacesTheListsWholeOrNotAtAll) {
  const GUID otherTag = CLSID_JStyleUnit;
  const DWORD versioned = ARCHIVE_LOADING | ARCHIVE_VERSIONED;
  const struct {
    const char* what;
    std::vector<BYTE> bytes;
    DWORD flags;
    HRESULT expected;
  } cases[] = {
      {"nothing", {}, ARCHIVE_LOADING, HRESULT_FROM_WIN32(ERROR_HANDLE_EOF)},
      {"a cut count", {1, 0}, ARCHIVE_LOADING, HRESULT_FROM_WIN32(ERROR_HANDLE_EOF)},
      {"more IDs counted than stored", Bytes({3, 0x10001, 0x10002}), ARCHIVE_LOADING,
       HRESULT_FROM_WIN32(ERROR_INVALID_DATA)},
      {"a count far beyond the record", Bytes({0xFFFFFFFF, 0x10001}), ARCHIVE_LOADING,
       HRESULT_FROM_WIN32(ERROR_INVALID_DATA)},
      {"another class's header", VersionedBytes(2, {1, 0x10001}, otherTag), versioned,
       HRESULT_FROM_WIN32(ERROR_INVALID_DATA)},
      {"a header without its list", VersionedBytes(2, {}), versioned, HRESULT_FROM_WIN32(ERROR_HANDLE_EOF)},
  };
  IUnknown* a = Element();
  Definition d = Make({a});
  for (const auto& c : cases) {
    stylesrv_test::ClearReports();
    EXPECT_EQ(LoadInto(d, c.bytes, c.flags), c.expected) << c.what;
    ASSERT_FALSE(Reports().empty()) << c.what;
    EXPECT_EQ(Reports()[0].hr, c.expected) << c.what;
    EXPECT_STREQ(Reports()[0].source, kSource) << c.what;
    EXPECT_THAT(d.Elements(), ElementsAre(a)) << c.what;
  }

  ASSERT_EQ(LoadInto(d, Bytes({2, 0x10001, 0x10002})), S_OK);
  EXPECT_EQ(d.def->IsElement(a), S_FALSE);
  EXPECT_EQ(d.Count(), 0u);  // not in a document: nothing to fetch from
  EXPECT_THAT(d.StoredIDs(), ElementsAre(0x10001u, 0x10002u));
  ASSERT_EQ(LoadInto(d, Bytes({0})), S_OK);
  EXPECT_THAT(d.StoredIDs(), IsEmpty());
}

TEST_F(SymbolDefTest, AReloadFetchesItsElementsAtTheFirstElementOperation) {
  TestDocument document;
  IUnknown* a = Element();
  IUnknown* b = Element();
  const DWORD idA = document.Register(a);
  const DWORD idB = document.Register(b);
  const DWORD missing = idB + 1000;
  Definition d = Make();
  document.Register(d.unknown.Get());
  HostClearDocumentCalls();
  ASSERT_EQ(LoadInto(d, Bytes({3, idA, missing, idB})), S_OK);
  EXPECT_THAT(DocumentCalls(), IsEmpty());

  // The element that the document lacks is left out; the one after it is still fetched.
  EXPECT_EQ(d.Count(), 2u);
  const std::vector<HostDocumentCall> fetched = DocumentCallsOf(HOST_DOC_FETCH_BY_ID);
  ASSERT_EQ(fetched.size(), 3u);
  EXPECT_EQ(fetched[0].persistentID, idA);
  EXPECT_EQ(fetched[1].persistentID, missing);
  EXPECT_EQ(fetched[2].persistentID, idB);
  EXPECT_THAT(d.Elements(), ElementsAre(a, b));
  EXPECT_EQ(DocumentCallsOf(HOST_DOC_FETCH_BY_ID).size(), 3u);
  // The lacking ID is kept: a later save does not lose it.
  EXPECT_THAT(d.StoredIDs(), ElementsAre(idA, missing, idB));
  // The loaded definition keeps document elements only.
  EXPECT_EQ(d.def->AddElement(Element(), 0), S_FALSE);
}

// Elements added before the definition reached a document are registered there when it is stored.
TEST_F(SymbolDefTest, StoringRegistersElementsThatHaveNoIDYet) {
  TestDocument document;
  IUnknown* a = Element();
  Definition d = Make({a});
  document.Register(d.unknown.Get());
  EXPECT_THAT(d.StoredIDs(), ElementsAre(document.Register(a)));
  EXPECT_EQ(d.def->AddElement(Element(), 0), S_FALSE);
}

class SymbolConversionTest : public SymbolDefTest {
 protected:
  void SetUp() override {
    SymbolDefTest::SetUp();
    unload = stylesrv_test::FindExport<decltype(&UnloadMossgraveDll)>(server.handle(), "UnloadMossgraveDll");
    ASSERT_NE(unload, nullptr);
    char address[32];
    std::snprintf(address, sizeof address, "%lx",
                  static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(&log)));
    SetEnvironmentVariableA(MOSSGRAVE_LOG_VARIABLE, address);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string folder = std::string(path).substr(0, std::string(path).find_last_of("\\/") + 1);
    // In the run's own working folder, where the platform's search finds it and no other test program does.
    char current[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, current);
    installed = std::string(current) + "\\Mossgrave.dex";
    ASSERT_TRUE(CopyFileA((folder + "..\\mossgrave\\full\\Mossgrave.dex").c_str(), installed.c_str(), FALSE));
    unload();
  }
  void TearDown() override {
    unload();
    DeleteFileA(installed.c_str());
    SetEnvironmentVariableA(MOSSGRAVE_LOG_VARIABLE, nullptr);
    SymbolDefTest::TearDown();
  }

  std::vector<DWORD> PostedIDs() const {
    std::vector<DWORD> ids;
    for (LONG i = 0; i < log.count && i < 64; ++i) {
      if (log.calls[i].entry == MOSSGRAVE_POST_EXCEPTIONS) ids.push_back(log.calls[i].args[0]);
    }
    return ids;
  }

  MossgraveLog log{};
  std::string installed;
  decltype(&UnloadMossgraveDll) unload = nullptr;
};

TEST_F(SymbolConversionTest, AnOlderRecordPostsEachIDForConversion) {
  Definition d = Make();
  const DWORD versioned = ARCHIVE_LOADING | ARCHIVE_VERSIONED;
  ASSERT_EQ(LoadInto(d, VersionedBytes(1, {2, 0x20001, 0x20002}), versioned), S_OK);
  EXPECT_THAT(PostedIDs(), ElementsAre(0x20001u, 0x20002u));
  ASSERT_EQ(LoadInto(d, VersionedBytes(2, {1, 0x20003}), versioned), S_OK);
  EXPECT_THAT(PostedIDs(), ElementsAre(0x20001u, 0x20002u));

  // Without the plug-in the record still loads.
  unload();
  DeleteFileA(installed.c_str());
  ASSERT_EQ(LoadInto(d, VersionedBytes(1, {1, 0x20004}), versioned), S_OK);
  EXPECT_THAT(d.StoredIDs(), ElementsAre(0x20004u));
}

}  // namespace
}  // namespace symdef_test

// The names of style-library files in a document's library: files saved by host documents, found along the
// custodian's search path, opened once, copied into the name tables in the order of the resource list, and
// usable after the custodian is gone.
#include <cmath>
#include <cwctype>

#include "host/app/rsc_access.h"
#include "tests/stylcst/custodian_fixtures.h"

namespace {

using stylcst_test::DocumentLibrary;

constexpr HRESULT kNameUnknown = static_cast<HRESULT>(0x80040221);

class SharedNamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stylcst_test::SetCurrentVersion();
    CreateDirectoryW(first.c_str(), nullptr);
    CreateDirectoryW(second.c_str(), nullptr);
    // B lists itself: opening it must not load it again.
    stylcst_test::WriteLibraryFile(first + L"\\A.stl",
                                   {{L"Thin", 0.5, L"Dots"}, {L"OnlyA", 0.7}, {L"Spare", 0.8}, {L"Own", 0.9}});
    stylcst_test::WriteLibraryFile(first + L"\\B.stl", {{L"Thin", 0.25, L"Dashes"}, {L"OnlyB", 0.3}}, 3, L"B.stl");
    stylcst_test::WriteLibraryFile(second + L"\\Old.stl", {{L"OnlyOld", 0.6}}, 2);
    CloseHandle(CreateFileW((second + L"\\X.rsc").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    host_app::RscAccessCalls() = {};
    StartCustodian();
    copies = stylcst_test::TemporaryCopies();
    documents = HostDocumentLiveCount();
  }
  void TearDown() override {
    const HRESULT stopped = service.stop();
    EXPECT_TRUE(stopped == S_OK || stopped == 1062) << std::hex << stopped;
    EXPECT_EQ(stylcst_test::TemporaryCopies(), copies) << "a temporary copy stayed behind";
  }

  // The thread's custodian looks in the two folders and opens ".stl" files with the server's accessor.
  void StartCustodian() {
    IJSCustodian* custodian = nullptr;
    ASSERT_EQ(service.get(&custodian), S_OK);
    EXPECT_EQ(custodian->RegisterFileType(&CLSID_JVOQStyleAccess, L"stl"), S_OK);
    IJStyleSearchPath* path = stylcst_test::Query<IJStyleSearchPath>(custodian, IID_IJStyleSearchPath);
    EXPECT_EQ(path->Add(first.c_str(), nullptr), S_OK);
    EXPECT_EQ(path->Add(second.c_str(), nullptr), S_OK);
    path->Release();
    EXPECT_EQ(service.release(custodian), S_OK);
  }

  struct Found {
    HRESULT hr;
    DWORD id;
    double width;
    bool dashed;
  };
  // FindOrCreateStyleID of a linear style's name, and what its style is.
  static Found Find(IJSLLibrarian* library, const wchar_t* name) {
    Found found{E_FAIL, 0, std::nan(""), false};
    found.hr = library->FindOrCreateStyleID(name, &STYLETYPE_Linear, &found.id);
    IUnknown* style = nullptr;
    if (FAILED(found.hr) || FAILED(library->GetStyle(found.id, &style))) return found;
    found.width = stylcst_test::WidthOf(style);
    IJStyleSimpleLine* line = stylcst_test::Query<IJStyleSimpleLine>(style, IID_IJStyleSimpleLine);
    IJStyleDashTypeRender* dash = nullptr;
    found.dashed = line && SUCCEEDED(line->GetDashType(&dash)) && dash;
    if (dash) dash->Release();
    if (line) line->Release();
    style->Release();
    return found;
  }

  stylesrv_test::ServerModule server;
  stylcst_test::ClassRegistration classes{server};
  stylcst_test::Service service{server};
  const std::wstring first = stylcst_test::Folder(L"first");
  const std::wstring second = stylcst_test::Folder(L"second");
  std::vector<std::wstring> copies;
  LONG documents = 0;
};

TEST_F(SharedNamesTest, EarlierFilesAndTheDocumentsOwnNamesWinAndEachFileOpensOnce) {
  DocumentLibrary document(server);
  const DWORD own = document.AddLine(L"Own", 0.1);
  document.ListFiles({L"A.stl", L"somewhere\\b.STL", L"x.rsc", L"missing.stl", L"unregistered.txt"});
  std::wstring rsc = second + L"\\x.rsc";
  for (wchar_t& c : rsc) c = static_cast<wchar_t>(std::towupper(c));
  for (int load = 0; load < 2; ++load) {
    EXPECT_EQ(document.librarian->LoadResourceStyleNames(), S_OK);
    // Thirteen types asked each time; every file opened once and kept open.
    EXPECT_EQ(HostDocumentLiveCount(), documents + 3) << "the library's own document and two files";
    EXPECT_EQ(host_app::RscAccessCalls().opened, std::vector<std::wstring>{rsc});
  }
  const std::tuple<const wchar_t*, HRESULT, double> rows[] = {
      {L"Thin", S_OK, 0.5},          {L"thin", S_OK, 0.5}, {L"OnlyB", S_OK, 0.3}, {L"Own", S_OK, 0.1},
      {L"Dots", kNameUnknown, 0.0},  // a dash type, not a linear style
      {L"OnlyOld", kNameUnknown, 0.0},  // a file on the search path that the list does not name
  };
  for (const auto& [name, hr, width] : rows) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
    const Found found = Find(document.librarian, name);
    EXPECT_EQ(found.hr, hr);
    if (hr == S_OK) { EXPECT_EQ(found.width, width); }
  }
  EXPECT_EQ(Find(document.librarian, L"Own").id, own);
  EXPECT_TRUE(Find(document.librarian, L"Thin").dashed);
}

TEST_F(SharedNamesTest, AFileOfAnotherVersionStopsTheLoadAndItsCopyIsDeletedAtOnce) {
  DocumentLibrary document(server);
  document.ListFiles({L"A.stl", L"Old.stl", L"B.stl"});
  const std::string before = server.internals().GetStyleFileVersionMessage();
  EXPECT_EQ(document.librarian->LoadResourceStyleNames(), E_ACCESSDENIED);
  EXPECT_NE(server.internals().GetStyleFileVersionMessage(), before);
  // "Dash", the first type asked, has the names of the file before; the walk ends there.
  DWORD id = 0;
  EXPECT_EQ(document.librarian->FindOrCreateStyleID(L"Dots", &STYLETYPE_Dash, &id), S_OK);
  EXPECT_EQ(document.librarian->FindOrCreateStyleID(L"Dashes", &STYLETYPE_Dash, &id), kNameUnknown);
  EXPECT_EQ(Find(document.librarian, L"Thin").hr, kNameUnknown);
  EXPECT_EQ(stylcst_test::TemporaryCopies(), copies);
}

TEST_F(SharedNamesTest, AFileHeldByAnotherOpenerIsReadThroughACopyThatGoesWithTheCustodian) {
  const std::wstring held = first + L"\\Held.stl";
  stylcst_test::WriteLibraryFile(held, {{L"Held", 0.4}});
  IStorage* holder = nullptr;
  ASSERT_EQ(StgOpenStorage(held.c_str(), nullptr, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, nullptr, 0, &holder), S_OK);
  DocumentLibrary document(server);
  document.ListFiles({L"Held.stl"});
  EXPECT_EQ(document.librarian->LoadResourceStyleNames(), S_OK);
  EXPECT_EQ(stylcst_test::TemporaryCopies().size(), copies.size() + 1);
  EXPECT_EQ(service.stop(), S_OK);
  EXPECT_EQ(stylcst_test::TemporaryCopies(), copies) << "the copy went with the custodian";
  EXPECT_EQ(Find(document.librarian, L"Held").width, 0.4);
  holder->Release();
}

// Both ways a library takes a file's style by its name: a copy of its own, and the file's style object itself.
TEST_F(SharedNamesTest, SharedNamesStayUsableAfterTheCustodianStops) {
  for (const DWORD sharesCopies : {1u, 0u}) {
    SCOPED_TRACE(sharesCopies ? "copied in" : "the file's object");
    DocumentLibrary document(server);
    const DWORD own = document.AddLine(L"Own", 0.1);
    EXPECT_EQ(document.librarian->SetFlags(sharesCopies), S_OK);
    document.ListFiles({L"A.stl"});
    ASSERT_EQ(document.librarian->LoadResourceStyleNames(), S_OK);
    EXPECT_EQ(Find(document.librarian, L"OnlyA").width, 0.7);
    ASSERT_EQ(service.stop(), S_OK);
    EXPECT_EQ(HostDocumentLiveCount(), documents + 1) << "the file's document went with the custodian";
    // Taken after the stop; its dash type not asked for yet.
    DWORD thin = 0;
    IUnknown* style = nullptr;
    ASSERT_EQ(document.librarian->FindOrCreateStyleID(L"Thin", &STYLETYPE_Linear, &thin), S_OK);
    ASSERT_EQ(document.librarian->GetStyle(thin, &style), S_OK);
    EXPECT_EQ(stylcst_test::WidthOf(style), 0.5);
    style->Release();
    // Renaming a style reloads the names through a new custodian, which finds no file: the names not taken
    // go, the styles taken stay whole, their dash types resolved through their file's library.
    EXPECT_EQ(document.librarian->RenameStyle(own, L"Renamed", 0), S_OK);
    EXPECT_EQ(Find(document.librarian, L"Spare").hr, kNameUnknown);
    EXPECT_EQ(Find(document.librarian, L"OnlyA").width, 0.7);
    const Found after = Find(document.librarian, L"Thin");
    EXPECT_EQ(after.id, thin);
    EXPECT_TRUE(after.dashed);
    EXPECT_EQ(service.stop(), S_OK);
    StartCustodian();
  }
}

// A library loaded from its record learns the names of its files, unless the application fills them itself.
TEST_F(SharedNamesTest, ALoadedLibraryLearnsTheNamesOfItsFilesUnlessTheApplicationFillsThem) {
  for (const DWORD applicationFills : {0u, 1u}) {
    DocumentLibrary original(server), loaded(server);
    original.ListFiles({L"A.stl"});
    JArchive* archive = ArchiveCreate(ARCHIVE_STORING | ARCHIVE_VERSIONED);
    ASSERT_EQ(ArchiveSerializeObject(archive, original.librarian), S_OK);
    ArchiveRestart(archive, ARCHIVE_LOADING | ARCHIVE_VERSIONED);
    HostSetLoadsStyleFileNames(applicationFills);
    EXPECT_EQ(ArchiveSerializeObject(archive, loaded.librarian), S_OK);
    HostSetLoadsStyleFileNames(0);
    ArchiveDestroy(archive);
    EXPECT_EQ(Find(loaded.librarian, L"OnlyA").hr, applicationFills ? kNameUnknown : S_OK) << applicationFills;
  }
}

}  // namespace

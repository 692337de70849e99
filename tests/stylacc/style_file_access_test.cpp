// The style-library file access: compound files that a host document saved, opened through the accessor as
// the custodian opens them. The version test against the registry, the path rules, the storage modes beside
// other openers, damaged files, and both tables called by place as a caller built apart from the server calls
// them.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/JSymbolDescriptor.h"
#include "tests/support/stylesrv_test.h"

namespace {

using stylesrv_test::Reports;
using ::testing::ElementsAre;

constexpr char kFileType[] = "StyleFileTest";
// Sound files stay here for the native readers; damaged ones go to the temporary folder.
constexpr wchar_t kFolder[] = L"stylacc-files";
const std::vector<BYTE> kVersion23 = {0x03, 0x00, 0x02, 0x00};

void SetCurrentVersion(const char* text) {
  const std::string path = std::string(HALVORN_REGISTRY_KEY "\\FileTypes\\") + kFileType + "\\Version";
  if (text) {
    RegSetKeyValueA(HKEY_CURRENT_USER, path.c_str(), "CurVer", REG_SZ, text, std::strlen(text) + 1);
  } else {
    RegDeleteKeyValueA(HKEY_CURRENT_USER, path.c_str(), "CurVer");
  }
}

std::wstring FullPath(const std::wstring& path) {
  wchar_t full[2 * MAX_PATH] = L"";
  GetFullPathNameW(path.c_str(), 2 * MAX_PATH, full, nullptr);
  return full;
}

std::string Narrow(const std::wstring& text) {
  char narrow[3 * MAX_PATH] = "";
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, narrow, sizeof narrow, nullptr, nullptr);
  return narrow;
}

// What EnumTypeItems handed out: the names, sorted, and how many came without a style object.
struct Walk {
  std::vector<std::wstring> names;
  int withoutStyle = 0;
};

HRESULT WINAPI Collect(JSymbolDescriptor* descriptor, void* context) {
  Walk* walk = static_cast<Walk*>(context);
  LPCWSTR name = nullptr;
  descriptor->GetName(&name);
  walk->names.push_back(name ? name : L"");
  IUnknown* style = nullptr;
  if (FAILED(descriptor->QueryStyle(IID_IUnknown, reinterpret_cast<void**>(&style)))) ++walk->withoutStyle;
  if (style) style->Release();
  return S_OK;
}

Walk WalkLinear(IJSLAccess* access, HRESULT* hr) {
  Walk walk;
  *hr = access->EnumTypeItems(&STYLETYPE_Linear, &Collect, &walk);
  std::sort(walk.names.begin(), walk.names.end());
  return walk;
}

// Calls a slot with `count` zero arguments after the interface pointer, in the COM calling convention, and
// says whether the callee took exactly those arguments off the stack.
HRESULT CallCounting(void* itf, int slot, int count, bool* balanced) {
  void* operation = (*static_cast<void***>(itf))[slot];
  HRESULT hr;
  int drift;
  __asm__ volatile(
      "movl %%esp, %%esi\n"
      "1: testl %%ecx, %%ecx; jz 2f; pushl $0; decl %%ecx; jmp 1b\n"
      "2: pushl %%edi; call *%%ebx\n"
      "movl %%esp, %%edx; subl %%esi, %%edx; movl %%esi, %%esp"
      : "=a"(hr), "=d"(drift), "+c"(count)
      : "D"(itf), "b"(operation)
      : "esi", "memory", "cc");
  *balanced = drift == 0;
  return hr;
}

// An object of a class the platform's class registry has, or of an interface of another object.
template <class T>
T* Make(const CLSID& clsid, REFIID iid) {
  T* object = nullptr;
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&object)), S_OK);
  return object;
}
template <class T>
T* Query(IUnknown* object, REFIID iid) {
  T* itf = nullptr;
  EXPECT_EQ(object->QueryInterface(iid, reinterpret_cast<void**>(&itf)), S_OK);
  return itf;
}

class StyleFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.loaded());
    HostSetFileTypeName(kFileType);
    SetCurrentVersion("2.3");
    CreateDirectoryW(kFolder, nullptr);
    // The engine makes a file's objects through the platform's class registry, as a host has them registered.
    for (const CLSID* clsid : {&CLSID_JStyleLib, &CLSID_JStyleSimpleLine, &CLSID_JVOQStyleAccess}) {
      IClassFactory* factory = nullptr;
      ASSERT_EQ(server.GetClassObject(*clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
      DWORD cookie = 0;
      EXPECT_EQ(CoRegisterClassObject(*clsid, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
      factory->Release();
      cookies.push_back(cookie);
    }
    documents = HostDocumentLiveCount();
    stylesrv_test::ClearReports();
  }

  void TearDown() override {
    for (DWORD cookie : cookies) CoRevokeClassObject(cookie);
    EXPECT_EQ(HostDocumentLiveCount(), documents) << "a document outlived its accessor";
  }

  IJSLAccess* NewAccessor() { return Make<IJSLAccess>(CLSID_JVOQStyleAccess, IID_IJSLAccess); }

  // Saves a host document whose style library holds the line styles "Alpha" and "Beta" to a compound file at
  // `path`, with "DocVersion2" holding `version` (no such stream for null). Answers the full path.
  std::wstring WriteLibraryFile(const std::wstring& path, const std::vector<BYTE>* version) {
    IJSLLibrarian* library = Make<IJSLLibrarian>(CLSID_JStyleLib, IID_IJSLLibrarian);
    IJPersist* persist = Query<IJPersist>(library, IID_IJPersist);
    EXPECT_EQ(persist->InitNew(), S_OK);
    persist->Release();
    IJDocumentNamedObjects* document = nullptr;
    EXPECT_EQ(HostDocumentCreate(&document), S_OK);
    DWORD id = 0;
    EXPECT_EQ(document->RegisterObject(library, &id, nullptr), S_OK);
    HostDocumentSetNamedObject(document, L"StyleLibrarian", library);
    for (const wchar_t* name : {L"Alpha", L"Beta"}) {
      IUnknown* style = Make<IUnknown>(CLSID_JStyleSimpleLine, IID_IUnknown);
      GUID type = STYLETYPE_Linear;
      StyleRecord record{const_cast<LPWSTR>(name), nullptr, style, &type, 0, 0};
      EXPECT_EQ(library->AddStyleNoCreate(&record, &id), S_OK);
      style->Release();
    }
    IStorage* storage = nullptr;
    EXPECT_EQ(StgCreateDocfile(path.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &storage), S_OK);
    IPersistStorage* saver = Query<IPersistStorage>(document, IID_IPersistStorage);
    EXPECT_EQ(saver->Save(storage, FALSE), S_OK);
    saver->Release();
    IStream* stream = nullptr;
    if (version && SUCCEEDED(storage->CreateStream(L"DocVersion2", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                                   0, 0, &stream))) {
      stream->Write(version->data(), static_cast<ULONG>(version->size()), nullptr);
      stream->Release();
    }
    EXPECT_EQ(storage->Commit(STGC_DEFAULT), S_OK);
    storage->Release();
    library->Release();
    document->Release();
    return FullPath(path);
  }

  std::wstring InFolder(const std::wstring& name) { return std::wstring(kFolder) + L"\\" + name; }

  bool Reported(HRESULT hr) {
    for (const PellowReport& report : Reports()) {
      if (report.hr == hr) return true;
    }
    return false;
  }

  stylesrv_test::ServerModule server;
  std::vector<DWORD> cookies;
  LONG documents = 0;
};

TEST_F(StyleFileTest, TheFilesVersionMustBeTheCurrentOne) {
  const std::vector<BYTE> shortStream = {0x00, 0x00};
  const std::vector<BYTE> emptyStream;
  const std::vector<BYTE> longerStream = {0x03, 0x00, 0x02, 0x00, 0x09, 0x09};
  struct Row {
    const char* what;
    const std::vector<BYTE>* version;
    const char* current;
    HRESULT expected;
  };
  const Row rows[] = {
      {"the same version", &kVersion23, "2.3", S_OK},
      {"an older file", &kVersion23, "2.4", E_ACCESSDENIED},
      {"a newer file", &kVersion23, "1.3", E_ACCESSDENIED},
      {"no version stream", nullptr, "7.1", S_OK},
      {"only the first four bytes count", &longerStream, "2.3", S_OK},
      {"a short stream is no version, not 0.0", &shortStream, "0.0", E_ACCESSDENIED},
      {"an empty stream", &emptyStream, "0.0", E_ACCESSDENIED},
      {"no current version in the registry", &kVersion23, nullptr, E_FAIL},
  };
  int index = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::wstring path = WriteLibraryFile(InFolder(L"version-" + std::to_wstring(index++) + L".stl"), row.version);
    SetCurrentVersion(row.current);
    stylesrv_test::ClearReports();
    const std::string before = server.internals().GetStyleFileVersionMessage();
    IJSLAccess* access = NewAccessor();
    EXPECT_EQ(access->Open(path.c_str()), row.expected);
    HRESULT walked = E_FAIL;
    const Walk walk = WalkLinear(access, &walked);
    const std::string message = server.internals().GetStyleFileVersionMessage();
    if (row.expected == S_OK) {
      EXPECT_EQ(walked, S_OK);
      EXPECT_THAT(walk.names, ElementsAre(L"Alpha", L"Beta"));
      EXPECT_EQ(walk.withoutStyle, 0) << "the file's styles come with their names";
      EXPECT_EQ(HostDocumentLiveCount(), documents + 1);
      EXPECT_THAT(Reports(), ::testing::IsEmpty());
    } else {
      EXPECT_EQ(walked, E_UNEXPECTED);
      EXPECT_EQ(HostDocumentLiveCount(), documents) << "no document is left for a refused file";
      // Only a refusal for the version shows the message, and it is no fault to report.
      if (row.expected == E_ACCESSDENIED) {
        EXPECT_EQ(message, "old styles file - " + Narrow(path) + " - please update");
        EXPECT_THAT(Reports(), ::testing::IsEmpty());
      } else {
        EXPECT_EQ(message, before);
        EXPECT_TRUE(Reported(row.expected));
      }
    }
    access->Release();
    SetCurrentVersion("2.3");
  }
}

TEST_F(StyleFileTest, PathsAreCheckedBeforeAnythingIsOpened) {
  // A path of exactly 259 characters, to a real file: as many nested folders as the name needs.
  std::wstring longPath = FullPath(InFolder(L"long"));
  CreateDirectoryW(longPath.c_str(), nullptr);
  while (longPath.size() + 1 + 200 < 255) {
    longPath += L"\\" + std::wstring(200, L'd');
    CreateDirectoryW(longPath.c_str(), nullptr);
  }
  longPath += L"\\" + std::wstring(259 - longPath.size() - 5, L'f') + L".stl";
  ASSERT_EQ(longPath.size(), 259u);
  WriteLibraryFile(InFolder(L"constant.stl"), &kVersion23);
  ASSERT_TRUE(CopyFileW(FullPath(InFolder(L"constant.stl")).c_str(), longPath.c_str(), FALSE));
  const std::wstring tooLong = longPath + L"x";
  void* noAccess = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_NOACCESS);

  struct Row {
    const char* what;
    LPCWSTR path;
    HRESULT expected;
    bool reported;
  };
  const Row rows[] = {
      {"null", nullptr, E_INVALIDARG, true},
      {"unreadable memory", static_cast<LPCWSTR>(noAccess), E_INVALIDARG, true},
      {"260 characters", tooLong.c_str(), E_INVALIDARG, false},
      {"259 characters", longPath.c_str(), S_OK, false},
      {"a constant in read-only memory", L"stylacc-files\\constant.stl", S_OK, false},
      {"a missing file", L"stylacc-files\\no such file.stl", E_ACCESSDENIED, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    stylesrv_test::ClearReports();
    IJSLAccess* access = NewAccessor();
    EXPECT_EQ(access->Open(row.path), row.expected);
    EXPECT_EQ(Reported(row.expected), row.reported);
    HRESULT walked = E_FAIL;
    WalkLinear(access, &walked);
    EXPECT_EQ(walked, row.expected == S_OK ? S_OK : E_UNEXPECTED);
    access->Release();
  }
  VirtualFree(noAccess, 0, MEM_RELEASE);
}

TEST_F(StyleFileTest, AFileHeldForWritingOpensReadOnly) {
  const std::wstring path = WriteLibraryFile(InFolder(L"modes.stl"), &kVersion23);
  auto openStorage = [&](DWORD mode) {
    IStorage* storage = nullptr;
    const HRESULT hr = StgOpenStorage(path.c_str(), nullptr, mode, nullptr, 0, &storage);
    if (storage) storage->Release();
    return hr;
  };
  constexpr DWORD kWriter = STGM_TRANSACTED | STGM_READWRITE | STGM_SHARE_DENY_WRITE;
  // What a writer gets while the accessor holds the file, once the other handle is gone: refused while the
  // accessor has it read-write, let in while it has it read-only. A reader gets in either way.
  for (const bool heldForWriting : {false, true}) {
    SCOPED_TRACE(heldForWriting ? "held for writing" : "free");
    HANDLE handle = heldForWriting ? CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                 nullptr, OPEN_EXISTING, 0, nullptr)
                                   : INVALID_HANDLE_VALUE;
    IJSLAccess* access = NewAccessor();
    EXPECT_EQ(access->Open(path.c_str()), S_OK);
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    EXPECT_EQ(openStorage(kWriter), heldForWriting ? S_OK : STG_E_SHAREVIOLATION);
    EXPECT_EQ(openStorage(STGM_TRANSACTED | STGM_READ), S_OK);
    access->Release();
    EXPECT_EQ(openStorage(kWriter), S_OK) << "the accessor let go of the file";
  }
}

TEST_F(StyleFileTest, DamagedFilesFailReportedAndLeaveNothing) {
  const std::wstring sound = WriteLibraryFile(InFolder(L"sound.stl"), &kVersion23);
  std::ifstream in(Narrow(sound), std::ios::binary);
  const std::vector<BYTE> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_GT(bytes.size(), 1024u);

  std::vector<std::vector<BYTE>> inputs;
  inputs.emplace_back();  // empty
  std::vector<BYTE> noise(4096);
  unsigned state = 12345;
  for (BYTE& b : noise) b = static_cast<BYTE>((state = state * 1103515245u + 12345u) >> 16);
  inputs.push_back(noise);
  // Cuts inside sectors and between them: a cut directory, FAT or stream sector, down to one byte short.
  for (std::size_t cut = 1; cut < bytes.size(); cut += 97) inputs.emplace_back(bytes.begin(), bytes.begin() + cut);
  for (std::size_t cut = 512; cut < bytes.size(); cut += 512) inputs.emplace_back(bytes.begin(), bytes.begin() + cut);
  inputs.emplace_back(bytes.begin(), bytes.end() - 1);

  wchar_t folder[MAX_PATH] = L"";
  GetTempPathW(MAX_PATH, folder);
  const std::wstring path = std::wstring(folder) + L"stylacc-damaged.stl";
  // Each one free, and held for writing by another handle, which sends the accessor down the read-only modes.
  for (std::size_t i = 0; i < 2 * inputs.size(); ++i) {
    const std::vector<BYTE>& input = inputs[i / 2];
    SCOPED_TRACE("input of " + std::to_string(input.size()) + (i % 2 ? " bytes held for writing" : " bytes"));
    std::ofstream(Narrow(path), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
    HANDLE writer = i % 2 ? CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        OPEN_EXISTING, 0, nullptr)
                          : INVALID_HANDLE_VALUE;
    stylesrv_test::ClearReports();
    IJSLAccess* access = NewAccessor();
    const HRESULT hr = access->Open(path.c_str());
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_TRUE(Reported(hr)) << std::hex << hr;
    EXPECT_EQ(HostDocumentLiveCount(), documents);
    HRESULT walked = S_OK;
    WalkLinear(access, &walked);
    EXPECT_EQ(walked, E_UNEXPECTED);
    access->Release();
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  }
  DeleteFileW(path.c_str());
}

TEST_F(StyleFileTest, ASecondOpenLetsTheFirstFileGo) {
  const std::wstring path = WriteLibraryFile(InFolder(L"twice.stl"), &kVersion23);
  IJSLAccess* access = NewAccessor();
  EXPECT_EQ(access->Open(path.c_str()), S_OK);
  EXPECT_EQ(access->Open(path.c_str()), S_OK);
  EXPECT_EQ(HostDocumentLiveCount(), documents + 1);
  EXPECT_EQ(access->Open(L"stylacc-files\\no such file.stl"), E_ACCESSDENIED);
  EXPECT_EQ(HostDocumentLiveCount(), documents);
  access->Release();
}

TEST_F(StyleFileTest, BothTablesCalledByPlace) {
  IJSLAccess* access = NewAccessor();
  IJDocument2* document = Query<IJDocument2>(access, IID_IJDocument2);
  struct Row {
    void* itf;
    int slot;
    int arguments;
    HRESULT expected;
  };
  // Every slot but Open with zero arguments: EnumTypeItems before Open, slot 20 with a null out, slot 43.
  const int accessArity[13] = {0, 0, 0, 1, 1, 3, 3, 2, 3, 3, 2, 3, 2};
  const int documentArity[53] = {0, 0, 0, 0, 1, 2, 2, 2, 2, 0, 1, 0, 2, 2, 1, 2, 2, 2, 1, 1, 2, 1, 1, 1, 1, 1, 1,
                                 2, 4, 4, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 1};
  std::vector<Row> rows;
  for (int slot = 3; slot < 13; ++slot) {
    if (slot != 4) rows.push_back({access, slot, accessArity[slot], slot == 11 ? E_UNEXPECTED : E_NOTIMPL});
  }
  for (int slot = 3; slot < 53; ++slot) {
    rows.push_back({document, slot, documentArity[slot], slot == 20 || slot == 43 ? S_OK : E_NOTIMPL});
  }
  for (const Row& row : rows) {
    SCOPED_TRACE((row.itf == access ? "IJSLAccess slot " : "IJDocument2 slot ") + std::to_string(row.slot));
    bool balanced = false;
    EXPECT_EQ(CallCounting(row.itf, row.slot, row.arguments, &balanced), row.expected);
    EXPECT_TRUE(balanced) << "the callee popped another number of arguments";
  }

  // Before a file is open slot 20 has no library to lead to; afterwards it leads to the file's.
  IJSLLibrarian* librarian = nullptr;
  stylesrv_test::ClearReports();
  EXPECT_EQ(stylesrv_test::CallSlot(document, 20, &IID_IJSLLibrarian, &librarian), E_UNEXPECTED);
  EXPECT_EQ(librarian, nullptr);
  EXPECT_TRUE(Reported(E_UNEXPECTED));
  const std::wstring path = WriteLibraryFile(InFolder(L"tables.stl"), &kVersion23);
  ASSERT_EQ(stylesrv_test::CallSlot(access, 4, path.c_str()), S_OK);
  ASSERT_EQ(stylesrv_test::CallSlot(document, 20, &IID_IJSLLibrarian, &librarian), S_OK);
  DWORD id = 0;
  EXPECT_EQ(librarian->FindStyleIDByName(L"Beta", &STYLETYPE_Linear, &id), S_OK);
  EXPECT_NE(id, 0u);
  librarian->Release();
  stylesrv_test::ClearReports();
  IUnknown* none = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(stylesrv_test::CallSlot(document, 20, &IID_IClassFactory, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_TRUE(Reported(E_NOINTERFACE));
  document->Release();
  access->Release();
}

// A file that another program's compound-file writer made from the streams of one of ours. The native check
// after the run makes it and runs this test with its path; the run under CTest has none.
TEST_F(StyleFileTest, AFileOfAnotherWriterOpens) {
  const char* foreign = std::getenv("STYLACC_FOREIGN_FILE");
  if (!foreign || !*foreign) GTEST_SKIP() << "no file of another writer given";
  wchar_t wide[MAX_PATH] = L"";
  MultiByteToWideChar(CP_ACP, 0, foreign, -1, wide, MAX_PATH);
  IJSLAccess* access = NewAccessor();
  EXPECT_EQ(access->Open(FullPath(wide).c_str()), S_OK);
  HRESULT walked = E_FAIL;
  const Walk walk = WalkLinear(access, &walked);
  EXPECT_EQ(walked, S_OK);
  EXPECT_THAT(walk.names, ElementsAre(L"Alpha", L"Beta"));
  EXPECT_EQ(walk.withoutStyle, 0);
  access->Release();
}

}  // namespace

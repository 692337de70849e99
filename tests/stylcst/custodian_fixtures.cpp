#include "tests/stylcst/custodian_fixtures.h"

#include <cstring>
#include <limits>

#include "host/app/rsc_access.h"

namespace stylcst_test {

namespace {

constexpr char kFileType[] = "CustodianTest";

DWORD AddStyle(IJSLLibrarian* library, const wchar_t* name, const CLSID& clsid, GUID type, double width = 0) {
  IUnknown* style = nullptr;
  EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&style)),
            S_OK);
  IJStyleSimpleLine* line = nullptr;
  if (SUCCEEDED(style->QueryInterface(IID_IJStyleSimpleLine, reinterpret_cast<void**>(&line)))) {
    EXPECT_EQ(line->SetWidth(width), S_OK);
    line->Release();
  }
  StyleRecord record{const_cast<LPWSTR>(name), nullptr, style, &type, 0, 0};
  DWORD id = 0;
  EXPECT_EQ(library->AddStyleNoCreate(&record, &id), S_OK);
  style->Release();
  return id;
}

}  // namespace

Service::Service(const stylesrv_test::ServerModule& server)
    : start(stylesrv_test::FindExport<decltype(start)>(server.handle(), "StartJSCustodianService")),
      stop(stylesrv_test::FindExport<decltype(stop)>(server.handle(), "StopJSCustodianService")),
      get(stylesrv_test::FindExport<decltype(get)>(server.handle(), "GetJSCustodian")),
      release(stylesrv_test::FindExport<decltype(release)>(server.handle(), "ReleaseJSCustodian")) {
  EXPECT_TRUE(start && stop && get && release) << "the service exports under their plain names";
}

void SetCurrentVersion() {
  HostSetFileTypeName(kFileType);
  const std::string key = std::string(HALVORN_REGISTRY_KEY "\\FileTypes\\") + kFileType + "\\Version";
  RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), "CurVer", REG_SZ, "2.3", 4);
}

std::wstring Folder(const std::wstring& name) {
  wchar_t full[MAX_PATH] = L"";
  GetFullPathNameW(L"stylcst-files", MAX_PATH, full, nullptr);
  CreateDirectoryW(full, nullptr);
  return std::wstring(full) + L"\\" + name;
}

void WriteLibraryFile(const std::wstring& path, const std::vector<FileStyle>& styles, WORD minor, const wchar_t* listed) {
  IJSLLibrarian* library = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_JStyleLib, nullptr, CLSCTX_INPROC_SERVER, IID_IJSLLibrarian,
                             reinterpret_cast<void**>(&library)),
            S_OK);
  IJPersist* persist = Query<IJPersist>(library, IID_IJPersist);
  EXPECT_EQ(persist->InitNew(), S_OK);
  persist->Release();
  IJDocumentNamedObjects* document = nullptr;
  ASSERT_EQ(HostDocumentCreate(&document), S_OK);
  DWORD id = 0;
  EXPECT_EQ(document->RegisterObject(library, &id, nullptr), S_OK);
  HostDocumentSetNamedObject(document, L"StyleLibrarian", library);
  if (listed) {
    IJStyleResourceList* list = Query<IJStyleResourceList>(library, IID_IJStyleResourceList);
    EXPECT_EQ(list->Add(listed), S_OK);
    list->Release();
  }
  for (const FileStyle& style : styles) {
    const DWORD line = AddStyle(library, style.name, CLSID_JStyleSimpleLine, STYLETYPE_Linear, style.width);
    if (!style.dash) continue;
    IUnknown* object = nullptr;
    EXPECT_EQ(library->GetStyle(line, &object), S_OK);
    IJStyleSimpleLine* simple = Query<IJStyleSimpleLine>(object, IID_IJStyleSimpleLine);
    EXPECT_EQ(simple->SetDashTypeID(AddStyle(library, style.dash, CLSID_JStyleSimpleDashType, STYLETYPE_Dash)), S_OK);
    simple->Release();
    object->Release();
  }
  IStorage* storage = nullptr;
  ASSERT_EQ(StgCreateDocfile(path.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &storage), S_OK);
  IPersistStorage* saver = Query<IPersistStorage>(document, IID_IPersistStorage);
  EXPECT_EQ(saver->Save(storage, FALSE), S_OK);
  saver->Release();
  IStream* stream = nullptr;
  ASSERT_EQ(storage->CreateStream(L"DocVersion2", STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &stream),
            S_OK);
  const WORD version[2] = {minor, 2};
  EXPECT_EQ(stream->Write(version, sizeof version, nullptr), S_OK);
  stream->Release();
  EXPECT_EQ(storage->Commit(STGC_DEFAULT), S_OK);
  storage->Release();
  library->Release();
  document->Release();
}

std::vector<std::wstring> TemporaryCopies() {
  wchar_t folder[MAX_PATH] = L"";
  GetTempPathW(MAX_PATH, folder);
  std::vector<std::wstring> files;
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((std::wstring(folder) + L"rad*.tmp").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return files;
  do {
    files.push_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return files;
}

void UseOwnTemporaryFolder(const std::wstring& name) {
  const std::wstring folder = Folder(name);
  CreateDirectoryW(folder.c_str(), nullptr);
  // The platform's temporary folder is the first of these two that is set.
  SetEnvironmentVariableW(L"TMP", folder.c_str());
  SetEnvironmentVariableW(L"TEMP", folder.c_str());
}

ClassRegistration::ClassRegistration(const stylesrv_test::ServerModule& server) {
  for (const CLSID* clsid :
       {&CLSID_JStyleLib, &CLSID_JStyleSimpleLine, &CLSID_JStyleSimpleDashType, &CLSID_JVOQStyleAccess}) {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(server.GetClassObject(*clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    DWORD cookie = 0;
    EXPECT_EQ(CoRegisterClassObject(*clsid, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
    factory->Release();
    m_cookies.push_back(cookie);
  }
  DWORD cookie = 0;
  EXPECT_EQ(host_app::RegisterRscAccessClass(&cookie), S_OK);
  m_cookies.push_back(cookie);
}

ClassRegistration::~ClassRegistration() {
  for (DWORD cookie : m_cookies) CoRevokeClassObject(cookie);
}

DocumentLibrary::DocumentLibrary(const stylesrv_test::ServerModule& server) {
  IClassFactory* factory = nullptr;
  EXPECT_EQ(server.GetClassObject(CLSID_JStyleLib, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IJSLLibrarian, reinterpret_cast<void**>(&librarian)), S_OK);
  factory->Release();
  IJPersist* persist = Query<IJPersist>(librarian, IID_IJPersist);
  EXPECT_EQ(persist->InitNew(), S_OK);
  persist->Release();
  EXPECT_EQ(HostDocumentCreate(&document), S_OK);
  DWORD id = 0;
  EXPECT_EQ(document->RegisterObject(librarian, &id, nullptr), S_OK);
}

DocumentLibrary::~DocumentLibrary() {
  librarian->Release();
  document->Release();
}

DWORD DocumentLibrary::AddLine(const wchar_t* name, double width) {
  return AddStyle(librarian, name, CLSID_JStyleSimpleLine, STYLETYPE_Linear, width);
}

void DocumentLibrary::ListFiles(const std::vector<std::wstring>& names) {
  IJStyleResourceList* list = Query<IJStyleResourceList>(librarian, IID_IJStyleResourceList);
  for (const std::wstring& name : names) EXPECT_EQ(list->Add(name.c_str()), S_OK);
  list->Release();
}

double WidthOf(IUnknown* style) {
  double width = std::numeric_limits<double>::quiet_NaN();
  IJStyleSimpleLine* line = nullptr;
  if (style && SUCCEEDED(style->QueryInterface(IID_IJStyleSimpleLine, reinterpret_cast<void**>(&line)))) {
    line->GetWidth(&width);
    line->Release();
  }
  return width;
}

}  // namespace stylcst_test

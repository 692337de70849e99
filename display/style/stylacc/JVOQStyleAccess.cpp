#include "display/style/stylacc/JVOQStyleAccess.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "display/style/server.h"
#include "display/style/stylacc/CompoundFileCheck.h"
#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/styllib/StyleReport.h"

namespace {

constexpr char kSource[] = "STYLACC";

// The storage modes tried, in order: read-write denying other writers, then with priority; read-only
// transacted, then with priority.
constexpr DWORD kReadWrite = STGM_READWRITE | STGM_SHARE_DENY_WRITE;                       // 0x22
constexpr DWORD kReadWriteTransacted = STGM_TRANSACTED | STGM_READWRITE | STGM_SHARE_DENY_WRITE;  // 0x10022
constexpr DWORD kReadWritePriority = STGM_PRIORITY | STGM_READWRITE;                      // 0x40002
constexpr DWORD kRead = STGM_TRANSACTED | STGM_READ;                                       // 0x10000
constexpr DWORD kReadPriority = STGM_PRIORITY | STGM_READ;                                 // 0x40000

// The message shown for the last file of another version. Only tests read it back.
char g_versionMessage[1024] = "";

HRESULT OpenStorage(LPCWSTR path, DWORD mode, IStorage** out) {
  return StgOpenStorage(path, nullptr, mode, nullptr, 0, out);
}

// Opens the file read-write when it can, read-only otherwise; *readOnly says which. Nothing is ever committed:
// the transacted modes leave the file as it was.
HRESULT OpenFileStorage(LPCWSTR path, BOOL* readOnly, IStorage** out) {
  HRESULT hr = E_FAIL;
  if (!*readOnly) {
    hr = OpenStorage(path, kReadWrite, out);
    // Some platforms refuse direct read-write with shared reading; the same access and sharing, transacted,
    // is what they take.
    if (hr == STG_E_INVALIDFLAG) hr = OpenStorage(path, kReadWriteTransacted, out);
    if (FAILED(hr)) hr = OpenStorage(path, kReadWritePriority, out);
    if (SUCCEEDED(hr)) return hr;
  }
  *readOnly = TRUE;
  hr = OpenStorage(path, kRead, out);
  if (FAILED(hr)) hr = OpenStorage(path, kReadPriority, out);
  return hr;
}

// Compares the file's "DocVersion2" stream with `current`: S_OK when they match or the file has no such stream,
// S_FALSE when it names another version or holds less than two numbers, the read's failure when the stream
// cannot be read (a damaged file is no file of another version).
HRESULT CompareVersion(IStorage* storage, DWORD current) {
  IStream* stream = nullptr;
  if (FAILED(storage->OpenStream(L"DocVersion2", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream)) ||
      !stream) {
    return S_OK;
  }
  WORD minor = 0;
  WORD major = 0;
  ULONG first = 0;
  ULONG second = 0;
  HRESULT hr = stream->Read(&minor, sizeof minor, &first);
  if (SUCCEEDED(hr)) hr = stream->Read(&major, sizeof major, &second);
  stream->Release();
  if (FAILED(hr)) return hr;
  const bool whole = first == sizeof minor && second == sizeof major;
  return whole && ((DWORD{major} << 16) | minor) == current ? S_OK : S_FALSE;
}

void ShowVersionMessage(LPCWSTR path) {
  char narrow[3 * MAX_PATH] = "";
  WideCharToMultiByte(CP_ACP, 0, path, -1, narrow, sizeof narrow, nullptr, nullptr);
  narrow[sizeof narrow - 1] = 0;
  std::snprintf(g_versionMessage, sizeof g_versionMessage, "old styles file - %s - please update", narrow);
  MessageBoxA(nullptr, g_versionMessage, "", MB_OK);
}

}  // namespace

JVOQStyleAccess::JVOQStyleAccess(IUnknown* outer) : UUnknown(outer) { IncrementLiveObjectCount(); }

JVOQStyleAccess::~JVOQStyleAccess() { DecrementLiveObjectCount(); }

void JVOQStyleAccess::FinalRelease() { Close(); }

void* JVOQStyleAccess::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJSLAccess)) return &m_IJSLAccessImp;
  if (IsEqualIID(iid, IID_IJDocument2)) return &m_IJDocument2Imp;
  return UUnknown::GetInterface(iid);
}

const char* JVOQStyleAccess::GetClassName() { return "JVOQStyleAccess"; }

const char* JVOQStyleAccess::LastVersionMessage() { return g_versionMessage; }

void JVOQStyleAccess::Close() {
  // The named-object interface is the document's; it goes with it.
  m_namedObjects = nullptr;
  if (IJSLibAccess* access = m_libraryAccess) {
    m_libraryAccess = nullptr;
    access->Release();
  }
  if (IUnknown* document = m_document) {
    m_document = nullptr;
    document->Release();
  }
}

HRESULT JVOQStyleAccess::Open(LPCWSTR path) {
  // The path need only be readable: a constant path in read-only memory is a path like any other.
  if (!path || IsBadStringPtrW(path, MAX_PATH)) return REPORT(E_INVALIDARG);
  const std::size_t length = wcsnlen(path, MAX_PATH);
  if (length >= MAX_PATH) return E_INVALIDARG;
  // A second Open starts again from nothing rather than lose what the first one held.
  Close();
  std::memcpy(m_fileName, path, (length + 1) * sizeof(WCHAR));
  if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) {
    m_fileName[0] = 0;
    return E_ACCESSDENIED;
  }
  const HRESULT hr = ReachLibrary(path);
  if (FAILED(hr)) {
    Close();
    m_fileName[0] = 0;
  }
  return hr;
}

HRESULT JVOQStyleAccess::ReachLibrary(LPCWSTR path) {
  StyleComPtr<IStorage> storage;
  BOOL readOnly = FALSE;
  HRESULT hr = OpenLibraryFile(path, &m_document, &m_namedObjects, storage.Put(), &readOnly);
  // Without a current version there is no document to reach a library in.
  if (hr == S_FALSE) hr = E_FAIL;
  // A file of another version was refused with its message; the refusal is the answer, not a fault.
  if (hr == E_ACCESSDENIED) return hr;
  if (FAILED(hr)) return REPORT(hr);
  // The document keeps its named-object interface alive; the accessor only borrows it.
  m_namedObjects->Release();

  StyleComPtr<IJNamedObjectHolder> holder;
  hr = m_namedObjects->GetNamedObject(L"StyleLibrarian", holder.Put());
  if (FAILED(hr)) return REPORT(hr);
  if (!holder) return REPORT(E_FAIL);
  StyleComPtr<IUnknown> library;
  hr = holder->GetTarget(library.Put());
  if (FAILED(hr)) return REPORT(hr);
  if (!library) return REPORT(E_FAIL);
  library->QueryInterface(IID_IJSLibAccess, reinterpret_cast<void**>(&m_libraryAccess));
  return m_libraryAccess ? S_OK : E_NOINTERFACE;
}

HRESULT JVOQStyleAccess::OpenLibraryFile(LPCWSTR path, IUnknown** document, IJDocumentNamedObjects** namedObjects,
                                         IStorage** storageOut, BOOL* readOnly) {
  *document = nullptr;
  *namedObjects = nullptr;
  StyleComPtr<IJApplicationFileType> application;
  HRESULT hr = GetAppInterface(&IID_IJApplicationFileType, application.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJRegistryAccess> registry;
  hr = GetRegistryAccess(&IID_IJRegistryAccess, registry.PutVoid());
  if (FAILED(hr)) return REPORT(hr);

  char fileType[MAX_PATH] = "";
  hr = application->GetFileTypeName(fileType, sizeof fileType);
  if (FAILED(hr)) return REPORT(hr);
  fileType[sizeof fileType - 1] = 0;
  char key[MAX_PATH + 32];
  std::snprintf(key, sizeof key, "FileTypes\\%s\\Version\\CurVer", fileType);
  char value[MAX_PATH] = "";
  DWORD size = sizeof value;
  if (registry->QueryRegistryValue(0, key, 0, value, &size) != 0) return S_FALSE;
  value[sizeof value - 1] = 0;
  short major = 0;
  short minor = 0;
  std::sscanf(value, "%hd.%hd", &major, &minor);
  const DWORD current = (DWORD{static_cast<WORD>(major)} << 16) | static_cast<WORD>(minor);

  hr = CheckCompoundFileFrame(path);
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IStorage> storage;
  hr = OpenFileStorage(path, readOnly, storage.Put());
  if (FAILED(hr)) return REPORT(hr);
  hr = CompareVersion(storage.Get(), current);
  if (FAILED(hr)) return REPORT(hr);
  if (hr == S_FALSE) {
    ShowVersionMessage(path);
    return E_ACCESSDENIED;
  }

  StyleComPtr<IUnknown> made;
  hr = CreateDocumentObject(GetControllingUnknown(), made.Put());
  if (FAILED(hr)) return REPORT(hr);
  if (!made) return REPORT(E_FAIL);
  StyleComPtr<IJDocumentNamedObjects> named;
  hr = made->QueryInterface(IID_IJDocumentNamedObjects, named.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IPersistStorage> persist;
  hr = made->QueryInterface(IID_IPersistStorage, persist.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  hr = persist->Load(storage.Get());
  if (FAILED(hr)) return REPORT(hr);

  if (storageOut) *storageOut = storage.Detach();
  *document = made.Detach();
  *namedObjects = named.Detach();
  return S_OK;
}

// ---- IJSLAccess ----

HRESULT STDMETHODCALLTYPE JVOQStyleAccess::IJSLAccessImp::Open(LPCWSTR path) { return Object()->Open(path); }

HRESULT STDMETHODCALLTYPE JVOQStyleAccess::IJSLAccessImp::EnumTypeItems(const GUID* type,
                                                                         StyleDescriptorCallback callback,
                                                                         void* context) {
  IJSLibAccess* access = Object()->m_libraryAccess;
  if (!access) return E_UNEXPECTED;
  return access->EnumTypeItems(type, callback, context);
}

// ---- IJDocument2 ----

HRESULT STDMETHODCALLTYPE JVOQStyleAccess::IJDocument2Imp::GetLibraryInterface(REFIID iid, void** out) {
  if (!out) return S_OK;
  IJSLibAccess* access = Object()->m_libraryAccess;
  if (!access) {
    *out = nullptr;
    return REPORT(E_UNEXPECTED);
  }
  const HRESULT hr = access->QueryInterface(iid, out);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

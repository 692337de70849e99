// Change notifications and the application object: the engine is told around edits of styles and libraries,
// and a library tells the application of named styles it adds. Every call is recorded for the tests, which can
// also make a call of a kind fail.
#include <cwchar>
#include <new>
#include <vector>

#include "host/halvorn/engine_internal.h"
#include "host/halvorn/halvorn.h"

namespace {

constexpr DWORD kKinds = 32;  // room for every kind of HostNotificationKind and HostEngineCallKind

struct NotificationLog {
  SRWLOCK lock = SRWLOCK_INIT;
  std::vector<HostNotification> calls;
  LONG failAt[kKinds] = {};  // the call of the kind, counted from when it was set, that fails; 0 for none
  HRESULT failWith[kKinds] = {};
};

NotificationLog& Log() {
  static NotificationLog log;
  return log;
}

IUnknown* Identity(IUnknown* object) {
  if (!object) return nullptr;
  IUnknown* identity = nullptr;
  if (FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)))) return object;
  identity->Release();
  return identity;
}

// The injected failure of this call of the kind, or S_OK.
HRESULT InjectedFailure(DWORD kind) {
  NotificationLog& log = Log();
  AcquireSRWLockExclusive(&log.lock);
  HRESULT hr = S_OK;
  if (log.failAt[kind] != 0 && --log.failAt[kind] == 0) hr = log.failWith[kind];
  ReleaseSRWLockExclusive(&log.lock);
  return hr;
}

HRESULT Record(DWORD kind, IUnknown* object, IUnknown* document, DWORD value, LPCWSTR name, HRESULT result) {
  HostNotification n{};
  n.kind = kind;
  n.object = Identity(object);
  n.document = Identity(document);
  n.value = value;
  if (name) std::wcsncpy(n.name, name, sizeof n.name / sizeof n.name[0] - 1);
  n.result = result;
  NotificationLog& log = Log();
  AcquireSRWLockExclusive(&log.lock);
  log.calls.push_back(n);
  ReleaseSRWLockExclusive(&log.lock);
  return result;
}

HRESULT Notice(DWORD kind, IUnknown* object) {
  if (!object) return Record(kind, object, nullptr, 0, nullptr, E_INVALIDARG);
  return Record(kind, object, nullptr, 0, nullptr, InjectedFailure(kind));
}

#define HOST_APP_UNUSED_SLOT(n) \
  HRESULT STDMETHODCALLTYPE Slot##n() override { return E_NOTIMPL; }

volatile LONG g_loadsStyleFileNames = 0;

// The application's active document, with a reference.
SRWLOCK g_activeLock = SRWLOCK_INIT;
IUnknown* g_activeDocument = nullptr;

class HostStyleFiles final : public IJApplicationStyleFiles {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IJApplicationStyleFiles)) {
      *out = static_cast<IJApplicationStyleFiles*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetLoadsStyleFileNames(DWORD* value) override {
    if (!value) return E_INVALIDARG;
    *value = static_cast<DWORD>(g_loadsStyleFileNames);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetActiveDocument(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    AcquireSRWLockShared(&g_activeLock);
    IUnknown* document = g_activeDocument;
    if (document) document->AddRef();
    ReleaseSRWLockShared(&g_activeLock);
    if (!document) return E_FAIL;
    const HRESULT hr = document->QueryInterface(iid, out);
    document->Release();
    return hr;
  }
};

HostStyleFiles g_styleFiles;

// The host application, as far as the style library reaches it. One per process, never destroyed.
class HostApplication final : public IJApplicationStyles {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IJApplicationStyles)) {
      *out = static_cast<IJApplicationStyles*>(this);
      return S_OK;
    }
    if (IsEqualIID(iid, IID_IJApplicationStyleFiles)) return g_styleFiles.QueryInterface(iid, out);
    if (IsEqualIID(iid, IID_IJApplicationFileType)) return ApplicationFileTypeInterface(iid, out);
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HOST_APP_UNUSED_SLOT(3) HOST_APP_UNUSED_SLOT(4) HOST_APP_UNUSED_SLOT(5) HOST_APP_UNUSED_SLOT(6)
  HOST_APP_UNUSED_SLOT(7) HOST_APP_UNUSED_SLOT(8) HOST_APP_UNUSED_SLOT(9) HOST_APP_UNUSED_SLOT(10)
  HOST_APP_UNUSED_SLOT(11) HOST_APP_UNUSED_SLOT(12) HOST_APP_UNUSED_SLOT(13) HOST_APP_UNUSED_SLOT(14)
  HOST_APP_UNUSED_SLOT(15) HOST_APP_UNUSED_SLOT(16) HOST_APP_UNUSED_SLOT(17) HOST_APP_UNUSED_SLOT(18)
  HOST_APP_UNUSED_SLOT(19) HOST_APP_UNUSED_SLOT(20) HOST_APP_UNUSED_SLOT(21) HOST_APP_UNUSED_SLOT(22)
  HOST_APP_UNUSED_SLOT(23) HOST_APP_UNUSED_SLOT(24) HOST_APP_UNUSED_SLOT(25) HOST_APP_UNUSED_SLOT(26)
  HOST_APP_UNUSED_SLOT(27) HOST_APP_UNUSED_SLOT(28) HOST_APP_UNUSED_SLOT(29) HOST_APP_UNUSED_SLOT(30)
  HOST_APP_UNUSED_SLOT(31) HOST_APP_UNUSED_SLOT(32) HOST_APP_UNUSED_SLOT(33) HOST_APP_UNUSED_SLOT(34)
  HOST_APP_UNUSED_SLOT(35) HOST_APP_UNUSED_SLOT(36)

  HRESULT STDMETHODCALLTYPE NotifyStyleAdded(IUnknown* document, LPCWSTR name, DWORD typeData1) override {
    const HRESULT hr = document ? InjectedFailure(HOST_STYLE_ADDED) : E_INVALIDARG;
    return Record(HOST_STYLE_ADDED, nullptr, document, typeData1, name, hr);
  }
};

HostApplication g_application;

// The class extensions the tests installed, each with a reference.
struct InstalledExtension {
  GUID extension;
  IID iid;
  IUnknown* object;
};
SRWLOCK g_extensionLock = SRWLOCK_INIT;
std::vector<InstalledExtension> g_extensions;

// Every QueryClassExtension call: the extension class and the IID asked.
SRWLOCK g_extensionCallLock = SRWLOCK_INIT;
std::vector<HostClassExtensionCall> g_extensionCalls;

}  // namespace

extern "C" {

HRESULT MarkObjectModified(IUnknown* object) { return Notice(HOST_MARK_MODIFIED, object); }

HRESULT NotifyEntryChange(IUnknown* object) { return Notice(HOST_ENTRY_CHANGE, object); }

HRESULT NotifyObjectRegistration(IUnknown* object) { return Notice(HOST_OBJECT_REGISTRATION, object); }

HRESULT ReleaseEntryInDocument(IJDocumentNamedObjects* document, IUnknown* object) {
  if (!document || !object) return Record(HOST_RELEASE_ENTRY, object, document, 0, nullptr, E_INVALIDARG);
  // Recorded before the document lets go: the object may go with it.
  const LONG index = HostNotificationCount();
  HRESULT hr = Record(HOST_RELEASE_ENTRY, object, document, 0, nullptr, InjectedFailure(HOST_RELEASE_ENTRY));
  if (SUCCEEDED(hr)) {
    hr = ForgetDocumentObject(document, object);
    NotificationLog& log = Log();
    AcquireSRWLockExclusive(&log.lock);
    log.calls[static_cast<std::size_t>(index)].result = hr;
    ReleaseSRWLockExclusive(&log.lock);
  }
  return hr;
}

HRESULT GetAppInterface(const IID* iid, void** out) {
  if (!iid || !out) return E_INVALIDARG;
  if (IsEqualIID(*iid, IID_IJApplicationFileType) && FAILED(ApplicationInterfaceRefusal())) {
    *out = nullptr;
    return ApplicationInterfaceRefusal();
  }
  return g_application.QueryInterface(*iid, out);
}

void HostSetLoadsStyleFileNames(DWORD value) { InterlockedExchange(&g_loadsStyleFileNames, static_cast<LONG>(value)); }

void HostSetActiveDocument(IUnknown* document) {
  if (document) document->AddRef();
  AcquireSRWLockExclusive(&g_activeLock);
  IUnknown* previous = g_activeDocument;
  g_activeDocument = document;
  ReleaseSRWLockExclusive(&g_activeLock);
  if (previous) previous->Release();
}

HRESULT QueryLibraryExtension(IUnknown*, DWORD, void** out) {
  if (out) *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT QueryClassExtension(const GUID* extension, IUnknown* outer, REFIID iid, void** out) {
  AcquireSRWLockExclusive(&g_extensionCallLock);
  g_extensionCalls.push_back({extension ? *extension : GUID_NULL, iid, outer});
  ReleaseSRWLockExclusive(&g_extensionCallLock);
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!extension) return E_NOINTERFACE;
  IUnknown* object = nullptr;
  AcquireSRWLockShared(&g_extensionLock);
  for (const InstalledExtension& installed : g_extensions) {
    if (IsEqualGUID(installed.extension, *extension) && IsEqualIID(installed.iid, iid)) {
      object = installed.object;
      object->AddRef();
      break;
    }
  }
  ReleaseSRWLockShared(&g_extensionLock);
  if (!object) return E_NOINTERFACE;
  const HRESULT hr = object->QueryInterface(iid, out);
  object->Release();
  return hr;
}

void HostSetClassExtension(const GUID* extension, const IID* iid, IUnknown* object) {
  if (!extension || !iid) return;
  if (object) object->AddRef();
  IUnknown* previous = nullptr;
  AcquireSRWLockExclusive(&g_extensionLock);
  auto found = g_extensions.begin();
  while (found != g_extensions.end() &&
         !(IsEqualGUID(found->extension, *extension) && IsEqualIID(found->iid, *iid))) {
    ++found;
  }
  if (found != g_extensions.end()) {
    previous = found->object;
    if (object) {
      found->object = object;
    } else {
      g_extensions.erase(found);
    }
  } else if (object) {
    g_extensions.push_back({*extension, *iid, object});
  }
  ReleaseSRWLockExclusive(&g_extensionLock);
  if (previous) previous->Release();
}

LONG HostClassExtensionCallCount() {
  AcquireSRWLockShared(&g_extensionCallLock);
  const LONG n = static_cast<LONG>(g_extensionCalls.size());
  ReleaseSRWLockShared(&g_extensionCallLock);
  return n;
}

BOOL HostGetClassExtensionCall(LONG index, HostClassExtensionCall* out) {
  AcquireSRWLockShared(&g_extensionCallLock);
  const BOOL ok = out && index >= 0 && index < static_cast<LONG>(g_extensionCalls.size());
  if (ok) *out = g_extensionCalls[static_cast<std::size_t>(index)];
  ReleaseSRWLockShared(&g_extensionCallLock);
  return ok;
}

void HostClearClassExtensionCalls() {
  AcquireSRWLockExclusive(&g_extensionCallLock);
  g_extensionCalls.clear();
  ReleaseSRWLockExclusive(&g_extensionCallLock);
}

LONG HostNotificationCount() {
  NotificationLog& log = Log();
  AcquireSRWLockShared(&log.lock);
  const LONG n = static_cast<LONG>(log.calls.size());
  ReleaseSRWLockShared(&log.lock);
  return n;
}

BOOL HostGetNotification(LONG index, HostNotification* out) {
  NotificationLog& log = Log();
  AcquireSRWLockShared(&log.lock);
  const BOOL ok = out && index >= 0 && index < static_cast<LONG>(log.calls.size());
  if (ok) *out = log.calls[static_cast<std::size_t>(index)];
  ReleaseSRWLockShared(&log.lock);
  return ok;
}

void HostClearNotifications() {
  NotificationLog& log = Log();
  AcquireSRWLockExclusive(&log.lock);
  log.calls.clear();
  ReleaseSRWLockExclusive(&log.lock);
}

void HostFailNotification(DWORD kind, LONG n, HRESULT hr) {
  if (kind == 0 || kind >= kKinds) return;
  NotificationLog& log = Log();
  AcquireSRWLockExclusive(&log.lock);
  log.failAt[kind] = n;
  log.failWith[kind] = hr;
  ReleaseSRWLockExclusive(&log.lock);
}

}  // extern "C"

HRESULT InjectedEngineFailure(DWORD kind) { return kind < kKinds ? InjectedFailure(kind) : S_OK; }

HRESULT RecordEngineCall(HostNotification call) {
  call.object = Identity(call.object);
  call.document = Identity(call.document);
  call.other = Identity(call.other);
  NotificationLog& log = Log();
  AcquireSRWLockExclusive(&log.lock);
  log.calls.push_back(call);
  ReleaseSRWLockExclusive(&log.lock);
  return call.result;
}

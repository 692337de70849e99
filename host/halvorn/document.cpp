// Host documents: they hold objects under persistent IDs, and the engine knows which document holds an object.
#include <cstdio>
#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include "host/halvorn/engine_internal.h"
#include "host/halvorn/elements.h"
#include "host/halvorn/halvorn.h"

namespace {

class HostDocument;

// Which document holds which object (by COM identity). Guarded: any thread may ask the engine.
SRWLOCK g_membersLock = SRWLOCK_INIT;
struct Membership {
  IUnknown* identity;
  HostDocument* document;
};
std::vector<Membership>& Members() {
  static std::vector<Membership> members;
  return members;
}
volatile LONG g_liveDocuments = 0;

// Persistent IDs come from one sequence, so that an ID never names objects of two documents; they start far
// from the style IDs of a library so that tests cannot mistake one for the other.
volatile LONG g_nextPersistentID = 0x10000;

// The document that holds an identity, or null; the caller holds the lock.
HostDocument* HolderLocked(IUnknown* identity) {
  for (const Membership& m : Members()) {
    if (m.identity == identity) return m.document;
  }
  return nullptr;
}

IUnknown* IdentityOf(IUnknown* object) {
  IUnknown* identity = nullptr;
  if (FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)))) return nullptr;
  identity->Release();  // the document keeps its own reference on what it registers
  return identity;
}

volatile LONG g_documentSequence = 0;

// What a document answers for a named object: the object, with a reference of its own.
class NamedObjectHolder final : public IJNamedObjectHolder {
 public:
  explicit NamedObjectHolder(IUnknown* target) : m_target(target) { m_target->AddRef(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    if (IsEqualIID(iid, IID_IUnknown)) {
      *out = static_cast<IJNamedObjectHolder*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
  }
  HRESULT STDMETHODCALLTYPE GetTarget(IUnknown** out) override {
    if (!out) return E_INVALIDARG;
    *out = m_target;
    m_target->AddRef();
    return S_OK;
  }

 private:
  ~NamedObjectHolder() { m_target->Release(); }

  volatile LONG m_refs = 1;
  IUnknown* m_target;
};

// Drops a reference outside any lock (releasing an object may reach the engine again).
void ReleaseIfAny(IUnknown* object) {
  if (object) object->Release();
}

// What documents were asked through the slots the symbol definitions use, for the tests.
struct DocumentCallLog {
  SRWLOCK lock = SRWLOCK_INIT;
  std::vector<HostDocumentCall> calls;
  struct Failure {
    DWORD kind;
    LONG countdown;
    HRESULT hr;
  };
  std::vector<Failure> failures;
};

DocumentCallLog& CallLog() {
  static DocumentCallLog log;
  return log;
}

// The injected failure of this call of the kind, or S_OK.
HRESULT InjectedCallFailure(DWORD kind) {
  DocumentCallLog& log = CallLog();
  HRESULT hr = S_OK;
  AcquireSRWLockExclusive(&log.lock);
  for (std::size_t i = 0; i < log.failures.size(); ++i) {
    if (log.failures[i].kind != kind || --log.failures[i].countdown != 0) continue;
    hr = log.failures[i].hr;
    log.failures.erase(log.failures.begin() + static_cast<std::ptrdiff_t>(i));
    break;
  }
  ReleaseSRWLockExclusive(&log.lock);
  return hr;
}

HRESULT RecordCall(DWORD kind, IUnknown* document, IUnknown* object, IUnknown* container, DWORD id,
                   HRESULT result) {
  HostDocumentCall call{kind, document, object ? IdentityOf(object) : nullptr,
                        container ? IdentityOf(container) : nullptr, id, result};
  DocumentCallLog& log = CallLog();
  AcquireSRWLockExclusive(&log.lock);
  log.calls.push_back(call);
  ReleaseSRWLockExclusive(&log.lock);
  return result;
}

// The kind under which a symbol's graphic is placed in a document.
constexpr GUID kSymbolGraphicKind = {0xC1430B82, 0xCE5D, 0x11CE, {0x94, 0x72, 0x08, 0x00, 0x36, 0x1C, 0x06, 0x02}};

#define HOST_DOCUMENT_UNUSED_SLOT(n) \
  HRESULT STDMETHODCALLTYPE Slot##n() override { return E_NOTIMPL; }
// The stand-in's class of documents, as IPersistStorage answers it.
constexpr CLSID kHostDocumentClass = {0x6E5C2D30, 0x2B97, 0x11D0, {0x83, 0x94, 0x08, 0x00, 0x36, 0x55, 0x7B, 0x02}};

class HostDocument final : public IJDocumentNamedObjects, public IJDocument2, public IPersistStorage {
 public:
  HostDocument() {
    InterlockedIncrement(&g_liveDocuments);
    std::snprintf(m_name, sizeof m_name, "Document%ld", static_cast<long>(InterlockedIncrement(&g_documentSequence)));
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IJDocumentNamedObjects)) {
      *out = static_cast<IJDocumentNamedObjects*>(this);
      AddRef();
      return S_OK;
    }
    if (IsEqualIID(iid, IID_IJDocument2)) {
      *out = static_cast<IJDocument2*>(this);
      AddRef();
      return S_OK;
    }
    if (IsEqualIID(iid, IID_IPersistStorage) || IsEqualIID(iid, IID_IPersist)) {
      *out = static_cast<IPersistStorage*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
  }

  HOST_DOCUMENT_UNUSED_SLOT(3) HOST_DOCUMENT_UNUSED_SLOT(4) HOST_DOCUMENT_UNUSED_SLOT(5)
  HOST_DOCUMENT_UNUSED_SLOT(6) HOST_DOCUMENT_UNUSED_SLOT(7) HOST_DOCUMENT_UNUSED_SLOT(8)
  HOST_DOCUMENT_UNUSED_SLOT(10)

  HRESULT STDMETHODCALLTYPE FindNamedObject(LPCWSTR name, IUnknown** object) override {
    if (object) *object = nullptr;
    HRESULT hr = InjectedCallFailure(HOST_DOC_NAMED_OBJECT);
    if (SUCCEEDED(hr)) hr = NamedObject(name, object);
    return RecordCall(HOST_DOC_NAMED_OBJECT, Identity(), nullptr, nullptr, 0, hr);
  }

  HRESULT STDMETHODCALLTYPE GetContainerOfID(DWORD persistentID, IUnknown** container) override {
    HRESULT hr = InjectedCallFailure(HOST_DOC_CONTAINER_OF_ID);
    if (SUCCEEDED(hr)) hr = ContainerOfID(persistentID, container);
    return RecordCall(HOST_DOC_CONTAINER_OF_ID, Identity(), nullptr, nullptr, persistentID, hr);
  }

  HOST_DOCUMENT_UNUSED_SLOT(13) HOST_DOCUMENT_UNUSED_SLOT(15)
  HOST_DOCUMENT_UNUSED_SLOT(18)

  // ---- named objects and services (IJDocumentNamedObjects) ----

  HRESULT STDMETHODCALLTYPE GetNamedObject(LPCWSTR name, IJNamedObjectHolder** holder) override {
    if (!holder) return E_INVALIDARG;
    *holder = nullptr;
    IUnknown* target = nullptr;
    if (FAILED(NamedObject(name, &target))) return name ? E_FAIL : E_INVALIDARG;
    *holder = new (std::nothrow) NamedObjectHolder(target);
    target->Release();
    return *holder ? S_OK : E_OUTOFMEMORY;
  }

  // The object kept under the name, with a reference.
  HRESULT NamedObject(LPCWSTR name, IUnknown** out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (!name) return E_INVALIDARG;
    AcquireSRWLockShared(&m_ownLock);
    for (const Named& n : m_named) {
      if (_wcsicmp(n.name.c_str(), name) == 0) *out = n.object;
    }
    if (*out) (*out)->AddRef();
    ReleaseSRWLockShared(&m_ownLock);
    return *out ? S_OK : HALVORN_E_NO_NAMED_OBJECT;
  }

  HRESULT STDMETHODCALLTYPE GetServiceContext(IUnknown** out) override {
    return AnswerService(HOST_DOCUMENT_SERVICE_CONTEXT, m_context, out);
  }

  HRESULT STDMETHODCALLTYPE EnumObjects(DWORD, IEnumUnknown** out) override {
    HRESULT hr = InjectedCallFailure(HOST_DOC_ENUM_OBJECTS);
    if (SUCCEEDED(hr)) {
      hr = Enumerate(out);
    } else if (out) {
      *out = nullptr;
    }
    return RecordCall(HOST_DOC_ENUM_OBJECTS, Identity(), nullptr, nullptr, 0, hr);
  }

  // The objects held now, in the order they were registered, in one of the engine's collections.
  HRESULT Enumerate(IEnumUnknown** out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    std::vector<IUnknown*> objects;
    AcquireSRWLockShared(&g_membersLock);
    for (const Entry& e : m_entries) {
      e.identity->AddRef();
      objects.push_back(e.identity);
    }
    ReleaseSRWLockShared(&g_membersLock);
    IJObjectCollection* collection = nullptr;
    HRESULT hr = CreateObjectCollection(static_cast<ULONG>(objects.size()), 0, &collection);
    for (std::size_t i = 0; i < objects.size(); ++i) {
      if (SUCCEEDED(hr)) hr = collection->SetItem(static_cast<ULONG>(i), objects[i]);
      objects[i]->Release();
    }
    if (FAILED(hr)) {
      if (collection) collection->Release();
      return hr;
    }
    *out = collection;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE CallService(IUnknown* target, DWORD value, ULONG_PTR context, ULONG_PTR mode) override {
    HostNotification call{};
    call.kind = HOST_DOCUMENT_CALL_SERVICE;
    call.document = static_cast<IJDocumentNamedObjects*>(this);
    call.object = target;
    call.value = value;
    call.context = context;
    call.mode = static_cast<DWORD>(mode);
    call.result = InjectedEngineFailure(HOST_DOCUMENT_CALL_SERVICE);
    // A context that is a container of this document makes the call an insertion. The word is compared with
    // what the document knows before it is taken for an object: it may be a plain code.
    IUnknown* container = ContainerWord(context);
    // A symbol's graphic placed under the document goes where the document keeps its style symbols.
    IUnknown* cluster = nullptr;
    if (container == Identity() && mode && IsEqualGUID(*reinterpret_cast<const GUID*>(mode), kSymbolGraphicKind) &&
        SUCCEEDED(NamedObject(L"StyleCluster", &cluster))) {
      container = cluster;
    }
    if (SUCCEEDED(call.result) && container) {
      HRESULT hr = InjectedCallFailure(HOST_DOC_INSERT);
      if (SUCCEEDED(hr)) hr = Insert(target, container);
      call.result = RecordCall(HOST_DOC_INSERT, Identity(), target, container, 0, hr);
    }
    if (cluster) cluster->Release();
    return RecordEngineCall(call);
  }

  HRESULT STDMETHODCALLTYPE GetRelinkService(IUnknown** out) override {
    return AnswerService(HOST_DOCUMENT_RELINK_SERVICE, m_relink, out);
  }

  // ---- IJDocument2 ----

  HRESULT STDMETHODCALLTYPE GetName(LPSTR buffer, DWORD size) override {
    if (!buffer || size == 0) return E_INVALIDARG;
    std::snprintf(buffer, size, "%s", m_name);
    return S_OK;
  }

  HALVORN_DOC2_REFUSED_SLOTS HALVORN_DOC2_REFUSE(43, ULONG_PTR)

  HRESULT STDMETHODCALLTYPE GetLibraryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    IJNamedObjectHolder* holder = nullptr;
    HRESULT hr = GetNamedObject(L"StyleLibrarian", &holder);
    if (FAILED(hr)) return hr;
    IUnknown* librarian = nullptr;
    hr = holder->GetTarget(&librarian);
    holder->Release();
    if (FAILED(hr)) return hr;
    hr = librarian->QueryInterface(iid, out);
    librarian->Release();
    return hr;
  }

  HRESULT STDMETHODCALLTYPE RegisterObject(IUnknown* object, DWORD* persistentID, DWORD* second) override {
    HRESULT hr = InjectedCallFailure(HOST_DOC_REGISTER);
    if (SUCCEEDED(hr)) {
      hr = Register(object, persistentID, second);
    } else if (persistentID) {
      *persistentID = 0;
    }
    return RecordCall(HOST_DOC_REGISTER, Identity(), object, nullptr, persistentID ? *persistentID : 0, hr);
  }

  HRESULT Register(IUnknown* object, DWORD* persistentID, DWORD* second) {
    if (!object || !persistentID) return E_INVALIDARG;
    *persistentID = 0;
    if (second) *second = 0;
    IUnknown* identity = IdentityOf(object);
    if (!identity) return E_NOINTERFACE;
    AcquireSRWLockExclusive(&g_membersLock);
    HRESULT hr = S_OK;
    HostDocument* holder = HolderLocked(identity);
    if (holder == this) {
      for (const Entry& e : m_entries) {
        if (e.identity == identity) *persistentID = e.persistentID;
      }
    } else if (holder) {
      hr = E_FAIL;  // an object lives in one document
    } else {
      const DWORD id = static_cast<DWORD>(InterlockedIncrement(&g_nextPersistentID));
      m_entries.push_back({identity, id, nullptr});
      Members().push_back({identity, this});
      identity->AddRef();
      *persistentID = id;
    }
    ReleaseSRWLockExclusive(&g_membersLock);
    return hr;
  }

  // Registers the object under a persistent ID it had in a saved document. The sequence moves past the ID, so
  // that no later registration answers it again.
  HRESULT RegisterAs(IUnknown* object, DWORD persistentID) {
    IUnknown* identity = IdentityOf(object);
    if (!identity) return E_NOINTERFACE;
    HRESULT hr = S_OK;
    AcquireSRWLockExclusive(&g_membersLock);
    for (const Entry& e : m_entries) {
      if (e.persistentID == persistentID) hr = E_FAIL;
    }
    if (HolderLocked(identity)) hr = E_FAIL;
    if (SUCCEEDED(hr)) {
      m_entries.push_back({identity, persistentID, nullptr});
      Members().push_back({identity, this});
      identity->AddRef();
    }
    ReleaseSRWLockExclusive(&g_membersLock);
    for (LONG seen = g_nextPersistentID; static_cast<DWORD>(seen) < persistentID;
         seen = g_nextPersistentID) {
      InterlockedCompareExchange(&g_nextPersistentID, static_cast<LONG>(persistentID), seen);
    }
    return hr;
  }

  // ---- IPersistStorage ----

  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* out) override {
    if (!out) return E_INVALIDARG;
    *out = kHostDocumentClass;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IsDirty() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE InitNew(IStorage* storage) override {
    if (!storage) return E_INVALIDARG;
    return KeepStorage(storage) ? S_OK : CO_E_ALREADYINITIALIZED;
  }

  // Every object that persists through IJPersist, and the names of those objects; objects of the host's own
  // kinds (without IJPersist) are not kept.
  HRESULT STDMETHODCALLTYPE Save(IStorage* storage, BOOL) override {
    if (!storage) return E_INVALIDARG;
    std::vector<Entry> entries;
    AcquireSRWLockShared(&g_membersLock);
    entries = m_entries;
    for (const Entry& e : entries) e.identity->AddRef();
    ReleaseSRWLockShared(&g_membersLock);
    std::vector<DocumentObjectRecord> objects;
    HRESULT hr = S_OK;
    for (const Entry& e : entries) {
      DocumentObjectRecord record{e.persistentID, {}, {}};
      const HRESULT stored = StoreObjectRecord(e.identity, &record.clsid, &record.record);
      if (SUCCEEDED(stored)) {
        objects.push_back(std::move(record));
      } else if (stored != E_NOINTERFACE && SUCCEEDED(hr)) {
        hr = stored;
      }
    }
    std::vector<DocumentNameRecord> names;
    AcquireSRWLockShared(&m_ownLock);
    for (const Named& n : m_named) {
      for (const Entry& e : entries) {
        if (e.identity == IdentityOf(n.object)) names.push_back({n.name, e.persistentID});
      }
    }
    ReleaseSRWLockShared(&m_ownLock);
    for (const Entry& e : entries) e.identity->Release();
    if (SUCCEEDED(hr)) hr = WriteDocumentStreams(storage, objects, names);
    return hr;
  }

  // Into a document that holds nothing yet. What loaded before a failure stays until the document goes.
  HRESULT STDMETHODCALLTYPE Load(IStorage* storage) override {
    if (!storage) return E_INVALIDARG;
    AcquireSRWLockShared(&g_membersLock);
    const bool empty = m_entries.empty();
    ReleaseSRWLockShared(&g_membersLock);
    if (!empty || !KeepStorage(storage)) return CO_E_ALREADYINITIALIZED;
    std::vector<DocumentObjectRecord> objects;
    std::vector<DocumentNameRecord> names;
    HRESULT hr = ReadDocumentStreams(storage, &objects, &names);
    for (std::size_t i = 0; SUCCEEDED(hr) && i < objects.size(); ++i) {
      const DocumentObjectRecord& record = objects[i];
      IUnknown* object = nullptr;
      hr = CoCreateInstance(record.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                            reinterpret_cast<void**>(&object));
      if (FAILED(hr)) break;
      // Registered first: what the record loads may ask the document about the object.
      hr = RegisterAs(object, record.persistentID);
      if (SUCCEEDED(hr)) hr = LoadObjectRecord(object, record.record);
      object->Release();
    }
    for (std::size_t i = 0; SUCCEEDED(hr) && i < names.size(); ++i) {
      IUnknown* object = nullptr;
      hr = FindObjectByID(names[i].persistentID, IID_IUnknown, reinterpret_cast<void**>(&object));
      if (FAILED(hr)) hr = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);  // a name of an object the file lacks
      if (SUCCEEDED(hr)) hr = SetNamed(names[i].name.c_str(), object);
      if (object) object->Release();
    }
    return hr;
  }

  HRESULT STDMETHODCALLTYPE SaveCompleted(IStorage*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE HandsOffStorage() override {
    IStorage* storage = nullptr;
    AcquireSRWLockExclusive(&m_ownLock);
    std::swap(storage, m_storage);
    ReleaseSRWLockExclusive(&m_ownLock);
    if (storage) storage->Release();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE NotifyID(DWORD persistentID, DWORD* out) override {
    if (out) *out = 0;
    return RecordCall(HOST_DOC_NOTIFY_ID, Identity(), nullptr, nullptr, persistentID,
                      InjectedCallFailure(HOST_DOC_NOTIFY_ID));
  }

  HRESULT STDMETHODCALLTYPE FetchObjectByID(DWORD persistentID, REFIID iid, void** out) override {
    HRESULT hr = InjectedCallFailure(HOST_DOC_FETCH_BY_ID);
    if (SUCCEEDED(hr)) {
      hr = FindObjectByID(persistentID, iid, out);
    } else if (out) {
      *out = nullptr;
    }
    return RecordCall(HOST_DOC_FETCH_BY_ID, Identity(), nullptr, nullptr, persistentID, hr);
  }

  HOST_DOCUMENT_UNUSED_SLOT(22) HOST_DOCUMENT_UNUSED_SLOT(24) HOST_DOCUMENT_UNUSED_SLOT(25)
  HOST_DOCUMENT_UNUSED_SLOT(26) HOST_DOCUMENT_UNUSED_SLOT(27) HOST_DOCUMENT_UNUSED_SLOT(28)
  HOST_DOCUMENT_UNUSED_SLOT(29) HOST_DOCUMENT_UNUSED_SLOT(30) HOST_DOCUMENT_UNUSED_SLOT(31)
  HOST_DOCUMENT_UNUSED_SLOT(32) HOST_DOCUMENT_UNUSED_SLOT(33) HOST_DOCUMENT_UNUSED_SLOT(34)
  HOST_DOCUMENT_UNUSED_SLOT(35) HOST_DOCUMENT_UNUSED_SLOT(36) HOST_DOCUMENT_UNUSED_SLOT(37)
  HOST_DOCUMENT_UNUSED_SLOT(38) HOST_DOCUMENT_UNUSED_SLOT(39) HOST_DOCUMENT_UNUSED_SLOT(40)
  HOST_DOCUMENT_UNUSED_SLOT(41) HOST_DOCUMENT_UNUSED_SLOT(42) HOST_DOCUMENT_UNUSED_SLOT(43)
  HOST_DOCUMENT_UNUSED_SLOT(44)

  HRESULT STDMETHODCALLTYPE FindObjectByID(DWORD persistentID, REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    IUnknown* found = nullptr;
    AcquireSRWLockShared(&g_membersLock);
    for (const Entry& e : m_entries) {
      if (e.persistentID == persistentID) found = e.identity;
    }
    if (found) found->AddRef();
    ReleaseSRWLockShared(&g_membersLock);
    if (!found) return E_FAIL;
    HRESULT hr = found->QueryInterface(iid, out);
    found->Release();
    return hr;
  }

  HRESULT STDMETHODCALLTYPE GetObjectOfID(DWORD persistentID, IUnknown** out) override {
    return FindObjectByID(persistentID, IID_IUnknown, reinterpret_cast<void**>(out));
  }

  HOST_DOCUMENT_UNUSED_SLOT(47)

  // The context word of slot 17 as an object when the document knows it as one: itself, an object it holds or
  // a named object; null for anything else (it may be a plain code, so nothing else is dereferenced).
  IUnknown* ContainerWord(ULONG_PTR word) {
    auto* candidate = reinterpret_cast<IUnknown*>(word);
    if (!candidate) return nullptr;
    if (candidate == Identity() || candidate == static_cast<IJDocument2*>(this)) return Identity();
    bool known = false;
    AcquireSRWLockShared(&g_membersLock);
    for (const Entry& e : m_entries) known = known || e.identity == candidate;
    ReleaseSRWLockShared(&g_membersLock);
    AcquireSRWLockShared(&m_ownLock);
    for (const Named& n : m_named) known = known || n.object == candidate;
    ReleaseSRWLockShared(&m_ownLock);
    return known ? candidate : nullptr;
  }

  // Registers the object (an object of another document fails) and keeps it under the container, which must
  // be the document or an object it holds.
  HRESULT Insert(IUnknown* object, IUnknown* container) {
    if (!object) return E_INVALIDARG;
    IUnknown* containerIdentity = IdentityOf(container);
    if (containerIdentity != Identity()) {
      HostDocument* holder = containerIdentity ? Holding(containerIdentity) : nullptr;
      const bool here = holder == this;
      if (holder) holder->Release();
      if (!here) return E_FAIL;
    }
    DWORD id = 0;
    HRESULT hr = Register(object, &id, nullptr);
    if (SUCCEEDED(hr)) SetContainer(IdentityOf(object), container);
    return hr;
  }

  // The document's COM identity.
  IUnknown* Identity() { return static_cast<IJDocumentNamedObjects*>(this); }

  // The object's entry is now held by the container (null: the document itself). False when this document
  // does not hold the object.
  bool SetContainer(IUnknown* identity, IUnknown* container) {
    IUnknown* containerIdentity = container ? IdentityOf(container) : nullptr;
    if (containerIdentity == Identity()) containerIdentity = nullptr;
    if (containerIdentity) containerIdentity->AddRef();
    IUnknown* old = nullptr;
    bool found = false;
    AcquireSRWLockExclusive(&g_membersLock);
    for (Entry& e : m_entries) {
      if (e.identity != identity) continue;
      old = e.container;
      e.container = containerIdentity;
      found = true;
      break;
    }
    ReleaseSRWLockExclusive(&g_membersLock);
    // Outside the lock: releasing an object may reach the engine again.
    if (!found && containerIdentity) containerIdentity->Release();
    if (old) old->Release();
    return found;
  }

  HRESULT ContainerOfID(DWORD persistentID, IUnknown** container) {
    if (!container) return E_INVALIDARG;
    *container = nullptr;
    bool found = false;
    AcquireSRWLockShared(&g_membersLock);
    for (const Entry& e : m_entries) {
      if (e.persistentID != persistentID) continue;
      found = true;
      *container = e.container ? e.container : Identity();
      (*container)->AddRef();
      break;
    }
    ReleaseSRWLockShared(&g_membersLock);
    return found ? S_OK : E_FAIL;
  }

  // Forgets the object; false when this document does not hold it.
  bool Forget(IUnknown* identity) {
    IUnknown* released = nullptr;
    IUnknown* container = nullptr;
    AcquireSRWLockExclusive(&g_membersLock);
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
      if (m_entries[i].identity != identity) continue;
      released = identity;
      container = m_entries[i].container;
      m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
    if (released) {
      std::vector<Membership>& members = Members();
      for (std::size_t i = 0; i < members.size(); ++i) {
        if (members[i].identity == identity) {
          members.erase(members.begin() + static_cast<std::ptrdiff_t>(i));
          break;
        }
      }
    }
    ReleaseSRWLockExclusive(&g_membersLock);
    // Outside the lock: releasing an object may reach the engine again.
    if (container) container->Release();
    if (released) released->Release();
    return released != nullptr;
  }

  // Keeps the object under the name, or drops the name for a null object.
  HRESULT SetNamed(LPCWSTR name, IUnknown* object) {
    if (!name) return E_INVALIDARG;
    if (object) object->AddRef();
    IUnknown* previous = nullptr;
    AcquireSRWLockExclusive(&m_ownLock);
    bool kept = false;
    for (std::size_t i = 0; i < m_named.size() && !kept; ++i) {
      if (_wcsicmp(m_named[i].name.c_str(), name) != 0) continue;
      previous = m_named[i].object;
      if (object) {
        m_named[i].object = object;
      } else {
        m_named.erase(m_named.begin() + static_cast<std::ptrdiff_t>(i));
      }
      kept = true;
    }
    if (!kept && object) m_named.push_back({name, object});
    ReleaseSRWLockExclusive(&m_ownLock);
    ReleaseIfAny(previous);
    return S_OK;
  }

  // The storage the document was loaded from or made for, kept open until the document goes; false when it
  // already has one.
  bool KeepStorage(IStorage* storage) {
    AcquireSRWLockExclusive(&m_ownLock);
    const bool kept = !m_storage;
    if (kept) {
      m_storage = storage;
      storage->AddRef();
    }
    ReleaseSRWLockExclusive(&m_ownLock);
    return kept;
  }

  void SetServices(IUnknown* context, IUnknown* relink) {
    if (context) context->AddRef();
    if (relink) relink->AddRef();
    AcquireSRWLockExclusive(&m_ownLock);
    IUnknown* oldContext = m_context;
    IUnknown* oldRelink = m_relink;
    m_context = context;
    m_relink = relink;
    ReleaseSRWLockExclusive(&m_ownLock);
    ReleaseIfAny(oldContext);
    ReleaseIfAny(oldRelink);
  }

  // The document that holds `identity`, with a reference; null when none does.
  static HostDocument* Holding(IUnknown* identity) {
    AcquireSRWLockShared(&g_membersLock);
    HostDocument* holder = HolderLocked(identity);
    if (holder) holder->AddRef();
    ReleaseSRWLockShared(&g_membersLock);
    return holder;
  }

 private:
  struct Entry {
    IUnknown* identity;  // holds a reference
    DWORD persistentID;
    IUnknown* container;  // an object of the document, with a reference; null for the document itself
  };
  struct Named {
    std::wstring name;
    IUnknown* object;  // holds a reference
  };

  // Answers one of the document's service objects (with a reference) and records the call.
  HRESULT AnswerService(DWORD kind, IUnknown* const& service, IUnknown** out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    HostNotification call{};
    call.kind = kind;
    call.document = static_cast<IJDocumentNamedObjects*>(this);
    call.result = InjectedEngineFailure(kind);
    if (SUCCEEDED(call.result)) {
      AcquireSRWLockShared(&m_ownLock);
      *out = service;
      if (*out) (*out)->AddRef();
      ReleaseSRWLockShared(&m_ownLock);
    }
    call.other = *out;
    return RecordEngineCall(call);
  }

  ~HostDocument() {
    std::vector<Entry> entries;
    AcquireSRWLockExclusive(&g_membersLock);
    entries.swap(m_entries);
    std::vector<Membership>& members = Members();
    for (std::size_t i = members.size(); i-- > 0;) {
      if (members[i].document == this) members.erase(members.begin() + static_cast<std::ptrdiff_t>(i));
    }
    ReleaseSRWLockExclusive(&g_membersLock);
    // Outside the lock: releasing an object may reach the engine again.
    for (const Entry& e : entries) {
      if (e.container) e.container->Release();
    }
    for (const Entry& e : entries) e.identity->Release();
    for (const Named& n : m_named) n.object->Release();
    ReleaseIfAny(m_context);
    ReleaseIfAny(m_relink);
    ReleaseIfAny(m_storage);
    InterlockedDecrement(&g_liveDocuments);
  }

  volatile LONG m_refs = 1;
  std::vector<Entry> m_entries;
  SRWLOCK m_ownLock = SRWLOCK_INIT;  // the named objects and the service objects
  std::vector<Named> m_named;
  IUnknown* m_context = nullptr;
  IUnknown* m_relink = nullptr;
  IStorage* m_storage = nullptr;  // a reference, once loaded or made for a storage
  char m_name[32] = {};
};

}  // namespace

extern "C" {

HRESULT GetObjectDocument(IUnknown* object, IJDocumentNamedObjects** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!object) return E_INVALIDARG;
  IUnknown* identity = IdentityOf(object);
  if (!identity) return E_FAIL;
  HostDocument* holder = HostDocument::Holding(identity);
  if (!holder) return E_FAIL;
  *out = holder;
  return S_OK;
}

}  // extern "C"

HRESULT ForgetDocumentObject(IJDocumentNamedObjects* document, IUnknown* object) {
  if (!document || !object) return E_INVALIDARG;
  IUnknown* identity = IdentityOf(object);
  if (!identity) return E_FAIL;
  HostDocument* holder = HostDocument::Holding(identity);
  if (!holder) return E_FAIL;
  const bool ours = static_cast<IJDocumentNamedObjects*>(holder) == document;
  HRESULT hr = ours && holder->Forget(identity) ? S_OK : E_FAIL;
  holder->Release();
  return hr;
}

extern "C" {

HRESULT HostDocumentCreate(IJDocumentNamedObjects** out) {
  if (!out) return E_INVALIDARG;
  *out = new (std::nothrow) HostDocument;
  return *out ? S_OK : E_OUTOFMEMORY;
}

LONG HostDocumentLiveCount() { return g_liveDocuments; }

HRESULT CreateDocumentObject(IUnknown*, IUnknown** document) {
  // The real engine ties the document to the object that opens the file; the stand-in needs nothing of it.
  if (!document) return E_INVALIDARG;
  HostDocument* made = new (std::nothrow) HostDocument;
  *document = static_cast<IJDocumentNamedObjects*>(made);
  return made ? S_OK : E_OUTOFMEMORY;
}

HRESULT HostDocumentSetNamedObject(IJDocumentNamedObjects* document, LPCWSTR name, IUnknown* object) {
  if (!document) return E_INVALIDARG;
  return static_cast<HostDocument*>(document)->SetNamed(name, object);
}

HRESULT HostDocumentSetServices(IJDocumentNamedObjects* document, IUnknown* context, IUnknown* relinkService) {
  if (!document) return E_INVALIDARG;
  static_cast<HostDocument*>(document)->SetServices(context, relinkService);
  return S_OK;
}

}  // extern "C"

extern "C" {

HRESULT LinkElementToContainer(IJDocumentNamedObjects* document, IUnknown* element, IUnknown* container) {
  HRESULT hr = InjectedCallFailure(HOST_DOC_LINK_ELEMENT);
  if (SUCCEEDED(hr) && (!document || !element)) hr = E_INVALIDARG;
  IUnknown* identity = SUCCEEDED(hr) ? IdentityOf(element) : nullptr;
  if (SUCCEEDED(hr) && !identity) hr = E_FAIL;
  if (SUCCEEDED(hr)) {
    HostDocument* holder = HostDocument::Holding(identity);
    const bool ours = holder && static_cast<IJDocumentNamedObjects*>(holder) == document;
    if (!ours || !holder->SetContainer(identity, container)) hr = E_FAIL;
    if (holder) holder->Release();
  }
  return RecordCall(HOST_DOC_LINK_ELEMENT, document, element, container, 0, hr);
}

HRESULT AddDefaultStyleObject(IUnknown* group, IUnknown* object) {
  HRESULT hr = InjectedCallFailure(HOST_DOC_GROUP_ADD);
  if (SUCCEEDED(hr) && (!group || !object)) hr = E_INVALIDARG;
  IJHostGroupMembers* members = nullptr;
  if (SUCCEEDED(hr)) hr = group->QueryInterface(IID_IJHostGroupMembers, reinterpret_cast<void**>(&members));
  if (SUCCEEDED(hr)) {
    hr = members->AddMember(object);
    members->Release();
  }
  return RecordCall(HOST_DOC_GROUP_ADD, nullptr, object, group, 0, hr);
}

LONG HostDocumentCallCount() {
  DocumentCallLog& log = CallLog();
  AcquireSRWLockShared(&log.lock);
  const LONG n = static_cast<LONG>(log.calls.size());
  ReleaseSRWLockShared(&log.lock);
  return n;
}

BOOL HostGetDocumentCall(LONG index, HostDocumentCall* out) {
  DocumentCallLog& log = CallLog();
  AcquireSRWLockShared(&log.lock);
  const BOOL ok = out && index >= 0 && index < static_cast<LONG>(log.calls.size());
  if (ok) *out = log.calls[static_cast<std::size_t>(index)];
  ReleaseSRWLockShared(&log.lock);
  return ok;
}

void HostClearDocumentCalls() {
  DocumentCallLog& log = CallLog();
  AcquireSRWLockExclusive(&log.lock);
  log.calls.clear();
  ReleaseSRWLockExclusive(&log.lock);
}

void HostFailDocumentCall(DWORD kind, LONG n, HRESULT hr) {
  DocumentCallLog& log = CallLog();
  AcquireSRWLockExclusive(&log.lock);
  for (std::size_t i = log.failures.size(); i-- > 0;) {
    if (log.failures[i].kind == kind) log.failures.erase(log.failures.begin() + static_cast<std::ptrdiff_t>(i));
  }
  if (n > 0) log.failures.push_back({kind, n, hr});
  ReleaseSRWLockExclusive(&log.lock);
}

}  // extern "C"

// Host documents: they hold objects under persistent IDs, and the engine knows which document holds an object.
#include <new>
#include <vector>

#include "host/halvorn/engine_internal.h"
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

#define HOST_DOCUMENT_UNUSED_SLOT(n) \
  HRESULT STDMETHODCALLTYPE Slot##n() override { return E_NOTIMPL; }

class HostDocument final : public IJDocumentNamedObjects {
 public:
  HostDocument() { InterlockedIncrement(&g_liveDocuments); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IJDocumentNamedObjects)) {
      *out = static_cast<IJDocumentNamedObjects*>(this);
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
  HOST_DOCUMENT_UNUSED_SLOT(9) HOST_DOCUMENT_UNUSED_SLOT(10) HOST_DOCUMENT_UNUSED_SLOT(11)
  HOST_DOCUMENT_UNUSED_SLOT(12) HOST_DOCUMENT_UNUSED_SLOT(13) HOST_DOCUMENT_UNUSED_SLOT(14)
  HOST_DOCUMENT_UNUSED_SLOT(15) HOST_DOCUMENT_UNUSED_SLOT(16) HOST_DOCUMENT_UNUSED_SLOT(17)
  HOST_DOCUMENT_UNUSED_SLOT(18)

  HRESULT STDMETHODCALLTYPE RegisterObject(IUnknown* object, DWORD* persistentID, DWORD* second) override {
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
      m_entries.push_back({identity, id});
      Members().push_back({identity, this});
      identity->AddRef();
      *persistentID = id;
    }
    ReleaseSRWLockExclusive(&g_membersLock);
    return hr;
  }

  HOST_DOCUMENT_UNUSED_SLOT(20) HOST_DOCUMENT_UNUSED_SLOT(21) HOST_DOCUMENT_UNUSED_SLOT(22)
  HOST_DOCUMENT_UNUSED_SLOT(23) HOST_DOCUMENT_UNUSED_SLOT(24) HOST_DOCUMENT_UNUSED_SLOT(25)
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

  HRESULT STDMETHODCALLTYPE InsertObject(IUnknown* object, DWORD, IUnknown* container, REFGUID) override {
    if (!object) return E_INVALIDARG;
    if (container) {
      IUnknown* containerIdentity = IdentityOf(container);
      HostDocument* holder = containerIdentity ? Holding(containerIdentity) : nullptr;
      const bool here = holder == this;
      if (holder) holder->Release();
      if (!here) return E_FAIL;
    }
    DWORD id = 0;
    return RegisterObject(object, &id, nullptr);
  }

  // Forgets the object; false when this document does not hold it.
  bool Forget(IUnknown* identity) {
    IUnknown* released = nullptr;
    AcquireSRWLockExclusive(&g_membersLock);
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
      if (m_entries[i].identity != identity) continue;
      released = identity;
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
    if (released) released->Release();
    return released != nullptr;
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
  };

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
    for (const Entry& e : entries) e.identity->Release();
    InterlockedDecrement(&g_liveDocuments);
  }

  volatile LONG m_refs = 1;
  std::vector<Entry> m_entries;
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

}  // extern "C"

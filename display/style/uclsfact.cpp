#include "display/style/uclsfact.h"

#include "display/style/server.h"
#include "host/pellow/pellow.h"

namespace {
constexpr const char kSource[] = "uclsfact";
}

HRESULT STDMETHODCALLTYPE UClassFactory::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
  *out = static_cast<IClassFactory*>(this);
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE UClassFactory::AddRef() { return static_cast<ULONG>(++m_refCount); }

ULONG STDMETHODCALLTYPE UClassFactory::Release() {
  if (m_refCount == 1) {
    delete this;
    return 0;
  }
  return static_cast<ULONG>(--m_refCount);
}

HRESULT STDMETHODCALLTYPE UClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (outer) {
    if (!m_aggregationAllowed) return CLASS_E_NOAGGREGATION;
    // An aggregated object hands its outer object nothing but its own IUnknown.
    if (!IsEqualIID(iid, IID_IUnknown)) return E_NOINTERFACE;
  }

  IUnknown* object = m_row.create(outer);
  if (!object) {
    HRerr(E_OUTOFMEMORY, 0, kSource, 121);
    return E_OUTOFMEMORY;
  }
  object->AddRef();
  HRESULT hr = m_row.init ? m_row.init(object) : S_OK;
  if (FAILED(hr)) {
    HRerr(hr, 0, kSource, 126);
  } else {
    hr = object->QueryInterface(iid, out);
    if (FAILED(hr)) HRerr(hr, 0, kSource, 129);
  }
  // After a failure this destroys the object; after success the caller's reference keeps it.
  object->Release();
  return hr;
}

HRESULT STDMETHODCALLTYPE UClassFactory::LockServer(BOOL lock) {
  if (lock) {
    ++m_lockCount;
    IncrementServerLockCount();
  } else {
    if (m_lockCount == 0) {
      HRerr(E_UNEXPECTED, 0, kSource, 154);
      return E_UNEXPECTED;
    }
    --m_lockCount;
    DecrementServerLockCount();
  }
  HRESULT hr = CoLockObjectExternal(static_cast<IClassFactory*>(this), lock, m_lockCount == 0);
  if (FAILED(hr)) {
    HRerr(hr, 0, kSource, 159);
    // A lock the caller was told failed must not keep the server loaded: nobody will take it off again.
    if (lock) {
      --m_lockCount;
      DecrementServerLockCount();
    }
  }
  return hr;
}

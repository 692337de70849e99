// What the host's doubles of outside classes share: their class objects, registered with the platform's class
// registry for the calling thread's apartment, where the host's JCoCreateInstance finds them; and identities.
#pragma once

#include <windows.h>

#include <new>

namespace host_app {

// The identity of an object (its IUnknown), without a reference; null for none.
inline IUnknown* IdentityOf(IUnknown* object) {
  IUnknown* identity = nullptr;
  if (!object || FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)))) return nullptr;
  identity->Release();
  return identity;
}

// One static object per class.

class HostClassFactory final : public IClassFactory {
 public:
  // `make` answers a new object without a reference, or null when the memory is not there.
  constexpr explicit HostClassFactory(IUnknown* (*make)()) : m_make(make) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
    *out = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  // One static object: the registry's references do not decide its life.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    IUnknown* object = m_make();
    if (!object) return E_OUTOFMEMORY;
    object->AddRef();
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  // *cookie revokes the registration (CoRevokeClassObject).
  HRESULT Register(REFCLSID clsid, DWORD* cookie) {
    return CoRegisterClassObject(clsid, this, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, cookie);
  }

 private:
  IUnknown* (*m_make)();
};

// A static class object for objects born holding one reference, which the first interface asked for takes over.
template <class T>
class HostFactoryOf final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory) ? this : nullptr;
    return *out ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // one per process, never destroyed
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* object = new (std::nothrow) T;
    if (!object) return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

}  // namespace host_app

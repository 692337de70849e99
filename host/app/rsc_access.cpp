#include "host/app/rsc_access.h"

#include <new>

#include "host/app/graphic_element.h"
#include "host/app/host_double.h"

namespace host_app {

namespace {

class RscAccess final : public IJSLAccess {
 public:
  RscAccess() { CountLiveObject(1); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IJSLAccess)) return E_NOINTERFACE;
    *out = static_cast<IJSLAccess*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_refs); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG refs = --m_refs;
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
  }

  HRESULT STDMETHODCALLTYPE NotOffered3(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Open(LPCWSTR path) override {
    RscAccessCalls().opened.push_back(path ? path : L"");
    return RscAccessCalls().openAnswer;
  }
  HRESULT STDMETHODCALLTYPE NotOffered5(DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotOffered6(DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotOffered7(DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotOffered8(DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotOffered9(DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotOffered10(DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumTypeItems(const GUID*, StyleDescriptorCallback, void*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE NotOffered12(DWORD, DWORD) override { return E_NOTIMPL; }

 private:
  ~RscAccess() { CountLiveObject(-1); }
  LONG m_refs = 0;
};

HostClassFactory g_factory([]() -> IUnknown* { return new (std::nothrow) RscAccess; });

}  // namespace

RscAccessLog& RscAccessCalls() {
  static RscAccessLog log;
  return log;
}

HRESULT RegisterRscAccessClass(DWORD* cookie) {
  return g_factory.Register(CLSID_HostRscAccess, cookie);
}

}  // namespace host_app

#include "host/app/copy_context.h"

#include "host/app/graphic_element.h"

namespace host_app {

TestCopyContext::TestCopyContext() { CountLiveObject(1); }

TestCopyContext::~TestCopyContext() {
  for (IUnknown* object : m_kept) object->Release();
  CountLiveObject(-1);
}

TestCopyContext* TestCopyContext::Create() { return new TestCopyContext; }

HRESULT STDMETHODCALLTYPE TestCopyContext::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!IsEqualIID(iid, IID_IUnknown)) return E_NOINTERFACE;
  *out = static_cast<IJCopyContext*>(this);
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE TestCopyContext::AddRef() { return static_cast<ULONG>(++m_refs); }

ULONG STDMETHODCALLTYPE TestCopyContext::Release() {
  const LONG refs = --m_refs;
  if (refs == 0) delete this;
  return static_cast<ULONG>(refs);
}

IUnknown* TestCopyContext::Keep(IUnknown* object) {
  if (!object) return nullptr;
  IUnknown* identity = nullptr;
  if (FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)))) return nullptr;
  m_kept.push_back(identity);
  return identity;
}

HRESULT STDMETHODCALLTYPE TestCopyContext::GetCopy(IUnknown* original, IUnknown** copy, DWORD* flags) {
  if (!copy || !flags) return E_INVALIDARG;
  *copy = nullptr;
  *flags = 0;
  IUnknown* identity = Keep(original);
  m_getCopyCalls.push_back(identity);
  for (const Mapping& m : m_mappings) {
    if (m.original != identity) continue;
    *copy = m.copy;
    if (*copy) (*copy)->AddRef();
    *flags = m.flags;
    return m.answer;
  }
  return S_FALSE;
}

HRESULT STDMETHODCALLTYPE TestCopyContext::SetCopy(IUnknown* original, IUnknown* copy, DWORD flags) {
  IUnknown* identity = Keep(original);
  IUnknown* copyIdentity = Keep(copy);
  m_setCopyCalls.push_back({identity, copyIdentity, flags});
  MapCopy(identity, copyIdentity, flags, copyIdentity ? S_OK : S_FALSE);
  return S_OK;
}

void TestCopyContext::MapCopy(IUnknown* original, IUnknown* copy, DWORD flags, HRESULT answer) {
  IUnknown* identity = Keep(original);
  IUnknown* copyIdentity = Keep(copy);
  for (Mapping& m : m_mappings) {
    if (m.original == identity) {
      m = {identity, copyIdentity, flags, answer};
      return;
    }
  }
  m_mappings.push_back({identity, copyIdentity, flags, answer});
}

}  // namespace host_app

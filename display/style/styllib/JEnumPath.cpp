#include "display/style/styllib/JEnumPath.h"

#include "display/style/styllib/JStyleResource.h"
#include "display/style/styllib/StyleReport.h"
#include "display/style/styllib/StyleText.h"

namespace {

constexpr char kSource[] = "ENUMPATH";


}  // namespace

JEnumPath::JEnumPath(JStyleResource* list, DWORD current, DWORD end)
    : StyleOwnUnknown(nullptr), m_current(current), m_end(end), m_list(list) {
  m_list->ControllingUnknown()->AddRef();
}

JEnumPath::~JEnumPath() { m_list->ControllingUnknown()->Release(); }

JEnumPath* JEnumPath::Create(JStyleResource* list, DWORD current, DWORD end) {
  auto* enumerator = new JEnumPath(list, current, end);
  if (enumerator) enumerator->AddRef();
  return enumerator;
}

DWORD JEnumPath::End() const {
  const DWORD names = m_list->NameCount();
  return m_end < names ? m_end : names;
}

HRESULT STDMETHODCALLTYPE JEnumPath::QueryInterface(REFIID iid, void** out) {
  if (!out) return REPORT(E_INVALIDARG);
  IUnknown* found = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumString)) {
    found = this;
  } else if (IsEqualIID(iid, IID_IEnumVARIANT)) {
    found = &m_IEnumVARIANTImp;
  }
  return HandOut(found, out);
}

HRESULT STDMETHODCALLTYPE JEnumPath::Next(ULONG count, LPOLESTR* out, ULONG* fetched) {
  const auto nameAt = [](const void* list, DWORD index) {
    return static_cast<const JStyleResource*>(list)->NameAt(index);
  };
  return StyleEnumNextTexts(count, out, fetched, &m_current, End(), nameAt, m_list, kSource);
}

HRESULT STDMETHODCALLTYPE JEnumPath::Skip(ULONG count) { return StyleEnumSkip(count, &m_current, End()); }

HRESULT STDMETHODCALLTYPE JEnumPath::Reset() {
  m_current = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JEnumPath::Clone(IEnumString** out) {
  if (!out) return E_INVALIDARG;
  *out = Create(m_list, m_current, m_end);
  return *out ? S_OK : E_OUTOFMEMORY;
}

// ---- IEnumVARIANT ----

HRESULT STDMETHODCALLTYPE JEnumPath::IEnumVARIANTImp::Next(ULONG count, VARIANT* out, ULONG* fetched) {
  if (!out || count != 1) return E_INVALIDARG;
  LPOLESTR name = nullptr;
  HRESULT hr = Object()->Next(1, &name, fetched);
  if (FAILED(hr)) return REPORT(hr);
  if (hr != S_OK) return hr;
  BSTR text = SysAllocString(name);
  CoTaskMemFree(name);
  if (!text) {
    if (fetched) *fetched = 0;
    return REPORT(E_OUTOFMEMORY);
  }
  VariantInit(&out[0]);
  out[0].vt = VT_BSTR;
  out[0].bstrVal = text;
  return hr;
}

HRESULT STDMETHODCALLTYPE JEnumPath::IEnumVARIANTImp::Skip(ULONG count) { return Object()->Skip(count); }

HRESULT STDMETHODCALLTYPE JEnumPath::IEnumVARIANTImp::Reset() { return Object()->Reset(); }

HRESULT STDMETHODCALLTYPE JEnumPath::IEnumVARIANTImp::Clone(IEnumVARIANT** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  IEnumString* clone = nullptr;
  HRESULT hr = Object()->Clone(&clone);
  if (FAILED(hr)) return hr;
  hr = clone->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(out));
  clone->Release();
  return hr;
}

#include "display/style/styllib/JEnumPath.h"

#include <cwchar>

#include "display/style/styllib/JStyleResource.h"
#include "display/style/styllib/StyleReport.h"

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
  if (!out || count == 0) return E_INVALIDARG;
  ULONG given = 0;
  const DWORD end = End();
  while (given < count && m_current < end) {
    LPCWSTR name = m_list->NameAt(m_current);
    const std::size_t units = std::wcslen(name) + 1;
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(units * sizeof(WCHAR)));
    if (!copy) {
      REPORT(E_OUTOFMEMORY);
      break;
    }
    std::wmemcpy(copy, name, units);
    out[given++] = copy;
    ++m_current;
  }
  if (fetched) *fetched = given;
  return given == count ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE JEnumPath::Skip(ULONG count) {
  const DWORD end = End();
  const DWORD left = m_current < end ? end - m_current : 0;
  const DWORD step = count < left ? count : left;
  m_current += step;
  return step == count ? S_OK : S_FALSE;
}

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

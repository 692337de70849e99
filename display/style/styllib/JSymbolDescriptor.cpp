#include "display/style/styllib/JSymbolDescriptor.h"

#include "display/style/styllib/StyleText.h"
#include "host/pellow/pellow.h"

namespace {
constexpr char kSource[] = "SYMBDESC";
}

JSymbolDescriptor* JSymbolDescriptor::Create(StyleTypeRecord* type, IUnknown* style, LPCWSTR name,
                                             LPCWSTR auxText) {
  auto* descriptor = new JSymbolDescriptor;
  if (!descriptor) return nullptr;
  descriptor->m_type = type;
  descriptor->m_name = StyleDupText(name);
  descriptor->m_auxText = StyleDupText(auxText);
  if ((name && !descriptor->m_name) || (auxText && !descriptor->m_auxText)) {
    descriptor->DeletingDestructor(1);
    return nullptr;
  }
  descriptor->SetStyle(style);
  return descriptor;
}

JSymbolDescriptor* JSymbolDescriptor::CreateKeeping(StyleTypeRecord* type, IUnknown* style, LPCWSTR name,
                                                    LPCWSTR auxText, IUnknown* const (&keep)[2]) {
  JSymbolDescriptor* copy = Create(type, style, name, auxText);
  if (!copy) return nullptr;
  for (int i = 0; i < 2; ++i) {
    copy->m_keep[i] = keep[i];
    if (keep[i]) keep[i]->AddRef();
  }
  return copy;
}

JSymbolDescriptor::~JSymbolDescriptor() {
  // The style first: releasing it may still reach the library it belongs to.
  if (m_style) m_style->Release();
  for (IUnknown* kept : m_keep) {
    if (kept) kept->Release();
  }
  StyleFreeText(m_name);
  StyleFreeText(m_auxText);
}

HRESULT JSymbolDescriptor::GetTypeRecord(StyleTypeRecord** out) {
  if (!out) return E_INVALIDARG;
  *out = m_type;
  return S_OK;
}

HRESULT JSymbolDescriptor::QueryStyle(REFIID iid, void** out) {
  if (!out || IsBadReadPtr(out, 4) || IsBadWritePtr(out, 4)) return E_INVALIDARG;
  if (!m_style) return E_FAIL;
  HRESULT hr = m_style->QueryInterface(iid, out);
  if (FAILED(hr)) HRerr(hr, 0, kSource, __LINE__);
  return hr;
}

HRESULT JSymbolDescriptor::GetName(LPCWSTR* out) {
  if (!out) return E_INVALIDARG;
  *out = m_name;
  return S_OK;
}

HRESULT JSymbolDescriptor::GetAuxText(LPCWSTR* out) {
  if (!out) return E_INVALIDARG;
  *out = m_auxText;
  return S_OK;
}

HRESULT JSymbolDescriptor::GetLastWord(DWORD* out) {
  if (!out) return E_INVALIDARG;
  *out = m_zero2;
  return S_OK;
}

HRESULT JSymbolDescriptor::NotOffered(DWORD) { return E_NOTIMPL; }

ULONG JSymbolDescriptor::AddRef() { return ++m_refCount; }

ULONG JSymbolDescriptor::Release() {
  const ULONG before = m_refCount;
  if (before <= 1) {
    DeletingDestructor(1);
  } else {
    --m_refCount;
  }
  return before;
}

DWORD JSymbolDescriptor::GetKind() { return 2; }

void JSymbolDescriptor::DeletingDestructor(unsigned flags) {
  this->~JSymbolDescriptor();
  if (flags & 1) operator delete(this);
}

void JSymbolDescriptor::SetStyle(IUnknown* style) {
  if (style) style->AddRef();
  if (m_style) m_style->Release();
  m_style = style;
}

bool JSymbolDescriptor::SetAuxText(LPCWSTR text) { return StyleReplaceText(&m_auxText, text); }

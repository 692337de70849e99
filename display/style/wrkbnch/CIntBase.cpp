#include "display/style/wrkbnch/CIntBase.h"

#include "display/style/styllib/StyleReport.h"

namespace {

constexpr char kSource[] = "display/style/wrkbnch/CIntBase";

}  // namespace

CIntBase::~CIntBase() { ReleaseHeld(); }

void CIntBase::ReleaseHeld() {
  if (IUnknown* style = m_style) {
    m_style = nullptr;
    style->Release();
  }
  if (IJSLLibrarian* librarian = m_librarian) {
    m_librarian = nullptr;
    librarian->Release();
  }
}

HRESULT CIntBase::Init() {
  HRESULT hr = UUnknown::Init();
  if (FAILED(hr)) return hr;
  m_styleID = m_parentID = kNoStyleID;
  m_changed = 0;
  ReleaseHeld();
  return S_OK;
}

HRESULT CIntBase::HoldStyle(IUnknown* style) {
  IUnknown* identity = nullptr;
  if (style) {
    const HRESULT hr = style->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    if (FAILED(hr)) return REPORT(hr);
  }
  IUnknown* previous = m_style;
  m_style = identity;
  if (previous) previous->Release();
  return S_OK;
}

HRESULT CIntBase::MergeFromParent(CIntBase*) { return S_OK; }
HRESULT CIntBase::MergeFromFormerParent(CIntBase*) { return S_OK; }
HRESULT CIntBase::CheckSubWorkbenchIDs() { return S_OK; }
HRESULT CIntBase::ReadFromLibrary(DWORD, IJSLLibrarian*) { return S_OK; }
HRESULT CIntBase::ReadFromObject(IUnknown*) { return S_OK; }
HRESULT CIntBase::Build(CStylCreator*) { return S_OK; }

HRESULT CIntBase::LoadFromLibrary(DWORD id, IJSLLibrarian* librarian) {
  HRESULT hr = Reset();
  if (FAILED(hr)) return REPORT(hr);
  if (librarian) librarian->AddRef();
  m_librarian = librarian;
  hr = ReadFromLibrary(id, librarian);
  return FAILED(hr) ? REPORT(hr) : hr;
}

HRESULT CIntBase::LoadFromObject(IUnknown* style) {
  HRESULT hr = Reset();
  if (FAILED(hr)) return REPORT(hr);
  hr = ReadFromObject(style);
  return FAILED(hr) ? REPORT(hr) : hr;
}

HRESULT CIntBase::GetStyle(IUnknown** out) const {
  if (!out) return REPORT(E_INVALIDARG);
  *out = m_style;
  if (*out) (*out)->AddRef();
  return S_OK;
}

HRESULT CIntBase::InheritChanged(CIntBase* other) {
  if (!other) return REPORT(E_INVALIDARG);
  const HRESULT hr = MergeFromParent(other);
  if (FAILED(hr)) return REPORT(hr);
  if (hr == S_FALSE) SetChanged();
  return hr;
}

HRESULT CIntBase::InheritRemoved(CIntBase* other) {
  if (!other) return REPORT(E_INVALIDARG);
  const HRESULT hr = MergeFromFormerParent(other);
  if (FAILED(hr)) return REPORT(hr);
  if (hr == S_FALSE) SetChanged();
  m_parentID = other->m_styleID;
  return hr;
}

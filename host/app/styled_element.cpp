#include "host/app/styled_element.h"

#include <new>

HostStyledElement* HostStyledElement::Create(IJDocumentNamedObjects* document, DWORD styleID) {
  auto* element = new (std::nothrow) HostStyledElement(styleID);
  if (element && document) {
    DWORD persistentID = 0;
    document->RegisterObject(element->Unknown(), &persistentID, nullptr);
  }
  return element;
}

HostStyledElement::~HostStyledElement() {
  if (m_styleObject) m_styleObject->Release();
}

void HostStyledElement::SetStyleObject(IUnknown* object) {
  if (object) object->AddRef();
  if (m_styleObject) m_styleObject->Release();
  m_styleObject = object;
}

HRESULT STDMETHODCALLTYPE HostStyledElement::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IJStyledElement)) {
    *out = static_cast<IJStyledElement*>(this);
  } else if (IsEqualIID(iid, IID_IJElementStyleSource) && offersStyleSource) {
    *out = static_cast<IJElementStyleSource*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE HostStyledElement::Release() {
  const LONG refs = InterlockedDecrement(&m_refs);
  if (refs == 0) delete this;
  return static_cast<ULONG>(refs);
}

HRESULT STDMETHODCALLTYPE HostStyledElement::SetStyleID(DWORD id) {
  ++setCalls;
  if (FAILED(setResult)) return setResult;
  m_id = id;
  return setResult;
}

HRESULT STDMETHODCALLTYPE HostStyledElement::GetStyleID(DWORD* id) {
  if (!id) return E_INVALIDARG;
  *id = m_id;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE HostStyledElement::EnumStyleIDs(StyledElementIDCallback callback) {
  if (!callback) return E_INVALIDARG;
  return m_id != 0 ? callback(m_id) : S_OK;
}

HRESULT STDMETHODCALLTYPE HostStyledElement::GetStyleObject(IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = m_styleObject;
  if (*out) (*out)->AddRef();
  return S_OK;
}

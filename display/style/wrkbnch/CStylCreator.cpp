#include "display/style/wrkbnch/CStylCreator.h"

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/styllib/StyleReport.h"
#include "display/style/styllib/StyleText.h"
#include "host/halvorn/halvorn.h"

namespace {

constexpr char kSource[] = "display/style/wrkbnch/CStylCr8";

// Both outputs emptied first, so that no failure leaves a caller with a stale answer.
HRESULT ClearOutputs(DWORD* id, IUnknown** made) {
  if (!id || !made) return REPORT(E_POINTER);
  *id = 0;
  *made = nullptr;
  return S_OK;
}

template <class T>
void ReleaseHeld(T*& held) {
  if (T* p = held) {
    held = nullptr;
    p->Release();
  }
}

template <class T>
void ReplaceHeld(T*& held, T* with) {
  if (!with) return;
  with->AddRef();
  ReleaseHeld(held);
  held = with;
}

}  // namespace

CStylCreator::~CStylCreator() {
  StyleFreeText(m_name);
  StyleFreeText(m_secondString);
  ReleaseHeld(m_library);
  ReleaseHeld(m_librarian);
}

void CStylCreator::DeletingDestructor(unsigned flags) {
  this->~CStylCreator();
  if (flags & 1) operator delete(this);
}

HRESULT CStylCreator::MakeStyle(IUnknown*, GUID, DWORD*, IUnknown**) { return E_NOTIMPL; }
HRESULT CStylCreator::MakeTopStyle(IUnknown*, GUID, DWORD*, IUnknown**) { return E_NOTIMPL; }

void CStylCreator::SetLibraries(IJSLLibrarian* library, IJSLLibrarian* librarian) {
  ReplaceHeld(m_library, library);
  ReplaceHeld(m_librarian, librarian);
}

HRESULT CStylCreator::HandBack(IUnknown* style, DWORD* id, IUnknown** made) {
  const HRESULT hr = ClearOutputs(id, made);
  if (FAILED(hr)) return hr;
  if (style) style->AddRef();
  *made = style;
  return S_OK;
}

// ---- the direct creator ----

HRESULT CStylCreatorDirect::MakeStyle(IUnknown* style, GUID, DWORD* id, IUnknown** made) {
  return HandBack(style, id, made);
}

HRESULT CStylCreatorDirect::MakeTopStyle(IUnknown* style, GUID, DWORD* id, IUnknown** made) {
  return HandBack(style, id, made);
}

// ---- the library creator ----

HRESULT CStylCreatorLibrary::MakeStyle(IUnknown* style, GUID type, DWORD* id, IUnknown** made) {
  HRESULT hr = ClearOutputs(id, made);
  if (FAILED(hr)) return hr;
  // Nothing to add: no style, or no library to add it to.
  if (!style || !m_library) return HandBack(style, id, made);

  StyleComPtr<IUnknown> identity;
  hr = style->QueryInterface(IID_IUnknown, identity.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  StyleRecord record{m_name, m_secondString, identity.Get(), &type, 0, 0};
  MarkObjectModified(m_library);
  DWORD newID = kNoStyleID;
  // The library reports its own refusals.
  hr = m_library->AddStyle(&record, &newID);
  if (FAILED(hr)) return hr;
  // A success without an entry stored nothing: the caller must not go on with a style that is nowhere.
  if (newID == kNoStyleID || newID == kInvalidStyleID) return REPORT(E_FAIL);
  StyleComPtr<IUnknown> entry;
  hr = m_library->GetStyle(newID, entry.Put());
  if (FAILED(hr)) return REPORT(hr);
  *id = newID;
  *made = entry.Detach();
  return S_OK;
}

HRESULT CStylCreatorLibrary::MakeTopStyle(IUnknown* style, GUID type, DWORD* id, IUnknown** made) {
  // Outside a multiplexer the outermost style is the workbench's to commit.
  if (!PartOfMultiplexer()) return HandBack(style, id, made);
  return MakeStyle(style, type, id, made);
}

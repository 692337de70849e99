// Small helpers the exported style functions share among their source files.
#pragma once

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_itf.h"

namespace stylspt {

// An interface of an object; a success without a pointer counts as E_NOINTERFACE.
template <class T>
HRESULT Ask(IUnknown* object, REFIID iid, StyleComPtr<T>& out) {
  HRESULT hr = object->QueryInterface(iid, out.PutVoid());
  if (SUCCEEDED(hr) && !out) hr = E_NOINTERFACE;
  return hr;
}

inline bool Answers(IUnknown* object, REFIID iid) {
  StyleComPtr<IUnknown> found;
  return SUCCEEDED(Ask(object, iid, found));
}

// The class of a style, through its IJPersist.
HRESULT ClassOf(IUnknown* style, CLSID* clsid);

// The steps that the find and activate exports of every style type share, after their own argument checks.
// Failures are reported under `source`, except where a step says otherwise.
struct TypedStyleSteps {
  const GUID* type;
  const char* source;

  // The librarian of the document's library, with a reference.
  HRESULT Librarian(IUnknown* document, StyleComPtr<IJSLLibrarian>& librarian) const;
  // The style of the name (FindOrCreateStyleID, then GetStyle; GetStyle's failure reported only with
  // `reportObject`), or its ID (the librarian's answer unreported).
  HRESULT Find(IUnknown* document, LPCWSTR name, IUnknown** out, bool reportObject) const;
  HRESULT FindID(IUnknown* document, LPCWSTR name, DWORD* outID) const;
  // The active style, made when the type has none; the ID form reports only with `report`.
  HRESULT Active(IUnknown* document, IUnknown** out) const;
  HRESULT ActiveID(IUnknown* document, DWORD* outID, bool report) const;
  // The engine hears that the library changes, then the style (one the library holds) or ID becomes active.
  HRESULT SetActive(IUnknown* document, IUnknown* style) const;
  HRESULT SetActiveID(IUnknown* document, DWORD id) const;
};

}  // namespace stylspt

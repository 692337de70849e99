// Small helpers the exported style functions share among their source files.
#pragma once

#include "display/style/stylbas/StyleComPtr.h"

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

}  // namespace stylspt

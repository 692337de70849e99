#include "display/style/styles/LineStyleShared.h"

#include "host/pellow/pellow.h"

HRESULT CopyReferenceToLibrary(JStyleBase* style, DWORD id, IUnknown* cached, IJSLLibrarian* source,
                               IJSLLibrarian* target, IUnknown* targetDocument, DWORD* newID, const char* reportSource,
                               int cachedLine, int getLine, int queryLine, int copyLine) {
  *newID = kNoStyleID;
  IUnknown* owner = style->Owner();
  if (owner && id != kInvalidStyleID && target && SUCCEEDED(target->CopyStyleFromLibrary(id, owner, newID))) {
    return S_OK;
  }
  HRESULT hr;
  StyleComPtr<IJManageStyle2> manage;
  if (cached) {
    StyleComPtr<IUnknown> object;
    hr = cached->QueryInterface(IID_IUnknown, object.PutVoid());
    if (SUCCEEDED(hr)) hr = object->QueryInterface(IID_IJManageStyle2, manage.PutVoid());
    if (FAILED(hr)) {
      HRerr(hr, 0, reportSource, cachedLine);
      return hr;
    }
  } else {
    StyleComPtr<IJSLLibrarian> librarian;
    StyleComPtr<IUnknown> object;
    hr = owner ? owner->QueryInterface(IID_IJSLLibrarian, librarian.PutVoid()) : E_FAIL;
    if (SUCCEEDED(hr)) hr = librarian->GetStyle(id, object.Put());
    if (SUCCEEDED(hr) && !object) hr = E_FAIL;
    if (FAILED(hr)) {
      HRerr(hr, 0, reportSource, getLine);
      return hr;
    }
    hr = object->QueryInterface(IID_IJManageStyle2, manage.PutVoid());
    if (FAILED(hr)) {
      HRerr(hr, 0, reportSource, queryLine);
      return hr;
    }
  }
  *newID = kNoStyleID;
  hr = manage->CopyStyleToLibrary(source, target, targetDocument, newID);
  if (FAILED(hr)) HRerr(hr, 0, reportSource, copyLine);
  return hr;
}

HRESULT SameReferencedStyle(IUnknown* mine, IUnknown* theirs, BOOL* same, const char* source, int line) {
  *same = FALSE;
  if (mine == theirs) {
    *same = TRUE;
    return S_OK;
  }
  if (!mine || !theirs) return S_OK;
  StyleComPtr<IJManageStyle2> manage;
  if (FAILED(mine->QueryInterface(IID_IJManageStyle2, manage.PutVoid()))) return S_OK;
  const HRESULT hr = manage->IsSameStyle(theirs, same);
  if (FAILED(hr)) HRerr(hr, 0, source, line);
  return hr;
}

// Style IDs of copied elements, and the thread's assign-persist-IDs state that the host keeps with the server.
#include "display/style/server.h"
#include "display/style/stylspt/StyleExportHelpers.h"
#include "display/style/stylspt/StyleExports.h"
#include "display/style/styllib/StyleReport.h"

namespace {

constexpr char kSource[] = "styidspt";

// The ID in `target` of the style `id` of `source`, copying the style over.
HRESULT CopiedID(DWORD flags, DWORD id, IJSLLibrarian* source, IUnknown* targetDocument, IJSLLibrarian* target,
                 DWORD* newID) {
  *newID = kNoStyleID;
  if (!(flags & kCopyStyleByObject)) {
    if (StyleSameObject(source, target)) {
      *newID = id;
      return S_OK;
    }
    // The source library finds or makes the entry by name, or an equal unnamed style, in the target.
    if (SUCCEEDED(source->CopyStyleTo(id, target, newID)) && *newID != kNoStyleID) return S_OK;
    *newID = kNoStyleID;
  }
  StyleComPtr<IUnknown> style;
  HRESULT hr = source->GetStyle(id, style.Put());
  if (SUCCEEDED(hr) && !style) hr = E_POINTER;
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJManageStyle2> manage;
  hr = stylspt::Ask(style.Get(), IID_IJManageStyle2, manage);
  if (FAILED(hr)) return REPORT(hr);
  hr = manage->CopyStyleToLibrary(source, target, targetDocument, newID);
  // A copy that names no entry would take the element's style away.
  if (SUCCEEDED(hr) && *newID == kNoStyleID) hr = E_FAIL;
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

}  // namespace

HRESULT WINAPI HAssignCopiedObjectStyleID(DWORD flags, DWORD styleID, IJSLLibrarian* source,
                                          IUnknown* targetDocument, IJSLLibrarian* target, DWORD* slot) {
  if (!slot || !source || !target) return REPORT(E_INVALIDARG);
  DWORD newID = styleID;
  if (IsUsableStyleID(styleID)) {
    const HRESULT hr = CopiedID(flags, styleID, source, targetDocument, target, &newID);
    if (FAILED(hr)) return hr;
  }
  const HRESULT hr = HAssignStyleID(target, newID, slot, flags & kCopyEngineTold);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI HStyleAssignPersistIdsCallback(DWORD value) {
  StyleTlsBlock* block = GetStyleTlsBlock();
  if (!block) return REPORT(E_FAIL);
  block->assignPersistIds = value;
  return S_OK;
}

HRESULT WINAPI HStyleGetAssignPersistIdsState(DWORD* out) {
  if (!out) return REPORT(E_INVALIDARG);
  StyleTlsBlock* block = GetStyleTlsBlock();
  if (!block) return REPORT(E_FAIL);
  *out = block->assignPersistIds;
  return S_OK;
}

// How an element changes the style ID it keeps: the one place where an element's reference and the library's
// use count move together.
#include "display/style/stylspt/StyleExports.h"

#include "display/style/styllib/StyleReport.h"
#include "host/halvorn/halvorn.h"

namespace {

constexpr char kSource[] = "AssignID";

}  // namespace

HRESULT WINAPI HAssignStyleID(IJSLLibrarian* librarian, DWORD newID, DWORD* slot, DWORD alreadyMarked) {
  if (!slot) return REPORT(E_INVALIDARG);
  const DWORD oldID = *slot;
  if (oldID == newID) return S_OK;
  const bool adds = IsUsableStyleID(newID);
  const bool releases = IsUsableStyleID(oldID);
  if (!adds && !releases) {
    *slot = newID;
    return S_OK;
  }
  if (!librarian) return REPORT(E_INVALIDARG);

  // Until the new ID holds its use, a refusal leaves the slot and every count as they were: the element keeps a
  // style that is still counted for it.
  HRESULT hr = S_OK;
  if (!alreadyMarked) {
    hr = MarkObjectModified(librarian);
    if (FAILED(hr)) return REPORT(hr);
  }
  if (adds) {
    hr = librarian->AddRefStyleID(newID);
    if (FAILED(hr)) return REPORT(hr);
  }
  *slot = newID;
  if (!releases) return hr;
  // The old ID's use goes last, as with every stored style reference: a style that only the old ID's chain kept
  // alive stays until the new chain holds it.
  hr = librarian->ReleaseStyleID(oldID);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI HSetStyleID(IJSLLibrarian* librarian, DWORD newID, DWORD* slot) {
  return HAssignStyleID(librarian, newID, slot, 0);
}

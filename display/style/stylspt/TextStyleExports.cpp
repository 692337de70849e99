// The H functions of text styles: finding and activating paragraph styles, bare text style objects, and the
// unnamed children through which a host keeps a text element's own values. How they are exported:
// StyleExports.h.
#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/StyleReport.h"
#include "display/style/stylspt/StyleExportHelpers.h"
#include "display/style/stylspt/StyleExports.h"

namespace {

constexpr char kSource[] = "TEXTSPT";

constexpr stylspt::TypedStyleSteps kPara{&STYLETYPE_TextPara, kSource};

HRESULT CreateRaw(REFCLSID clsid, IUnknown** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  return CreateInProcessInstanceOrFatal(clsid, IID_IUnknown, reinterpret_cast<void**>(out), kSource, __LINE__);
}

// Adds `style` unnamed under `parent`, whose ID in this library GetStyleID finds or makes.
HRESULT AddUnder(IUnknown** added, IUnknown* document, IUnknown* parent, IUnknown* style, const GUID* type) {
  if (!style || !parent) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = kPara.Librarian(document, librarian);
  if (FAILED(hr)) return hr;
  DWORD parentID = kNoStyleID;
  hr = librarian->GetStyleID(parent, &parentID);
  if (FAILED(hr)) return REPORT(hr);
  librarian.Reset();
  DWORD id = kNoStyleID;
  hr = HAddStyleToLibrary(&id, added, document, style, type, nullptr, parentID);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

}  // namespace

HRESULT WINAPI HGetTextStyle(IUnknown* document, LPCWSTR name, IUnknown** out) {
  if (!document) return REPORT(E_INVALIDARG);
  if (!name) return REPORT(E_INVALIDARG);
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  return kPara.Find(document, name, out, true);
}

HRESULT WINAPI HGetActiveTextStyle(IUnknown* document, IUnknown** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  return kPara.Active(document, out);
}

HRESULT WINAPI HSetActiveTextStyle(IUnknown* document, IUnknown* style) {
  if (!style) return REPORT(E_INVALIDARG);
  return kPara.SetActive(document, style);
}

HRESULT WINAPI HCreateRawStyleTextPara(IUnknown** out) { return CreateRaw(CLSID_JStyleTextPara, out); }

HRESULT WINAPI HCreateRawStyleTextChar(IUnknown** out) { return CreateRaw(CLSID_JStyleTextChar, out); }

HRESULT WINAPI HGetParaOverride(IUnknown* document, IUnknown** out) {
  if (!out) return REPORT(E_INVALIDARG);
  const HRESULT hr = HCreateStyle(out, document, &CLSID_JStyleTextPara, 0, nullptr);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI HAddParaToLibrary(IUnknown** added, IUnknown* document, IUnknown* parent, IUnknown* style) {
  return AddUnder(added, document, parent, style, &STYLETYPE_TextPara);
}

HRESULT WINAPI HAddCharToLibrary(IUnknown** added, IUnknown* document, IUnknown* parent, IUnknown* style) {
  return AddUnder(added, document, parent, style, &STYLETYPE_TextChar);
}

HRESULT WINAPI HGetCharOverride(IUnknown* document, IUnknown* base, IUnknown** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  if (!base) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = kPara.Librarian(document, librarian);
  if (FAILED(hr)) return hr;
  DWORD baseID = kNoStyleID;
  hr = librarian->FindStyleID(base, &baseID);
  if (FAILED(hr)) return REPORT(hr);
  librarian.Reset();
  DWORD id = kNoStyleID;
  hr = HCreateStyleInLib(document, &CLSID_JStyleTextChar, nullptr, &STYLETYPE_TextChar, baseID, &id, out);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

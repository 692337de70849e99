// The H functions that create, add, find, activate and name styles. How they are exported: StyleExports.h.
#include "display/style/stylspt/StyleExports.h"

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/StyleReport.h"
#include "host/halvorn/halvorn.h"
#include "services/daxutil/daxutil.h"

namespace {

constexpr char kSource[] = "STYLESPT";

// The librarian's answers passed through.
constexpr HRESULT kNameUnknown = static_cast<HRESULT>(0x80040221);
constexpr HRESULT kNoNameFound = 0x40223;

HRESULT LibrarianOf(IUnknown* document, StyleComPtr<IJSLLibrarian>& librarian) {
  const HRESULT hr = GetStyleLibrarian(document, librarian.Put());
  if (FAILED(hr)) return REPORT(hr);
  return librarian ? hr : E_FAIL;
}

// Adds `style` to the library as the add exports do. The object of an existing name, or of the entry made, goes
// to *outObject when asked for; nothing is written for a refusal. `created` says that the style is this call's
// own, which a refusal simply destroys; a caller's style goes to the engine instead.
HRESULT AddToLibrary(IJSLLibrarian* librarian, IUnknown* style, bool created, const GUID* type, LPCWSTR name,
                     DWORD parentID, DWORD* outID, IUnknown** outObject) {
  StyleRecord record{const_cast<LPWSTR>(name), nullptr, style, const_cast<GUID*>(type), parentID, 0};
  MarkObjectModified(librarian);
  DWORD id = kNoStyleID;
  HRESULT hr = librarian->AddStyle(&record, &id);
  if (FAILED(hr) || id == kNoStyleID) {
    const HRESULT refusal = REPORT(FAILED(hr) ? hr : E_FAIL);
    if (created) return refusal;
    const HRESULT told = NotifyObjectRegistration(style);
    return FAILED(told) ? REPORT(told) : refusal;
  }
  *outID = id;
  if (!outObject) return hr;
  // An equal unnamed style that was there first (0x40222) is handed out like a new one.
  const HRESULT got = librarian->GetStyle(id, outObject);
  if (FAILED(got)) REPORT(got);
  return created ? got : hr;
}

// The style of an existing name of the type, handed out in place of adding one: S_FALSE when there is none.
HRESULT HandOutExisting(IJSLLibrarian* librarian, const GUID* type, LPCWSTR name, DWORD* outID,
                        IUnknown** outObject) {
  DWORD id = kNoStyleID;
  if (!name || FAILED(librarian->FindStyleIDByName(name, type, &id)) || id == kNoStyleID) return S_FALSE;
  if (outObject) {
    const HRESULT hr = librarian->GetStyle(id, outObject);
    if (FAILED(hr)) return REPORT(hr);
  }
  *outID = id;
  return kStyleNameExists;
}

HRESULT NewSimpleDashType(const tagStyleSimpleDashTypeData* data, StyleComPtr<IJStyleSimpleDashType>& dash) {
  HRESULT hr = CreateInProcessInstanceOrFatal(CLSID_JStyleSimpleDashType, IID_IJStyleSimpleDashType,
                                              dash.PutVoid(), kSource, __LINE__);
  if (FAILED(hr)) return hr;
  hr = dash->SetData(data);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

// The name of a style in the library that owns it.
HRESULT NameInOwnerLibrary(IUnknown* style, LPWSTR buffer, DWORD* length) {
  if (!length) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = GetStyleOwnerLibrarian(style, librarian.Put());
  if (SUCCEEDED(hr) && !librarian) hr = E_NOINTERFACE;
  if (FAILED(hr)) return REPORT(hr);
  DWORD id = kNoStyleID;
  hr = librarian->FindStyleID(style, &id);
  if (FAILED(hr)) return REPORT(hr);
  hr = librarian->GetStyleName(id, buffer, length);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

// The name of a line's or an override's dash type; success without a name when it has none.
template <class Style>
HRESULT DashNameOf(Style* style, IUnknown* document, LPWSTR buffer, DWORD* length) {
  StyleComPtr<IJStyleDashTypeRender> dash;
  HRESULT hr = style->GetDashType(dash.Put());
  if (FAILED(hr)) return REPORT(hr);
  if (!dash) return hr;
  hr = HGetDashStyleName(document, dash.Get(), buffer, length);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

}  // namespace

// ---- creation and adding ----

HRESULT WINAPI HCreateStyle(IUnknown** out, IUnknown*, const CLSID* clsid, DWORD, void*) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  if (!clsid) return REPORT(E_INVALIDARG);
  return CreateInProcessInstanceOrFatal(*clsid, IID_IUnknown, reinterpret_cast<void**>(out), kSource, __LINE__);
}

HRESULT WINAPI HAddStyleToLibrary(DWORD* outID, IUnknown** outObject, IUnknown* document, IUnknown* style,
                                  const GUID* type, LPCWSTR name, DWORD parentID) {
  if (!outID) return REPORT(E_INVALIDARG);
  *outID = kNoStyleID;
  if (!style || !type) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  hr = HandOutExisting(librarian.Get(), type, name, outID, outObject);
  if (hr != S_FALSE) return hr;
  return AddToLibrary(librarian.Get(), style, false, type, name, parentID, outID, outObject);
}

HRESULT WINAPI HCreateStyleInLib(IUnknown* document, const CLSID* clsid, LPCWSTR name, const GUID* type,
                                 DWORD parentID, DWORD* outID, IUnknown** outObject) {
  if (!outID) return REPORT(E_INVALIDARG);
  *outID = kNoStyleID;
  if (outObject) *outObject = nullptr;
  if (!clsid || !type) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  hr = HandOutExisting(librarian.Get(), type, name, outID, outObject);
  if (hr != S_FALSE) return hr;
  StyleComPtr<IUnknown> created;
  hr = CreateInProcessInstanceOrFatal(*clsid, IID_IUnknown, created.PutVoid(), kSource, __LINE__);
  if (FAILED(hr)) return hr;
  return AddToLibrary(librarian.Get(), created.Get(), true, type, name, parentID, outID, outObject);
}

HRESULT WINAPI HCreateSimpleLineStyle(LPCWSTR first, LPCWSTR second, IUnknown* object,
                                      const tagStyleSimpleLineData* lineData,
                                      const tagStyleSimpleDashTypeData* dashData, IUnknown** out) {
  if (!lineData || !out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  StyleComPtr<IJSimpleLineMaker> maker;
  HRESULT hr = QueryClassExtension(&CLASSEXT_SimpleLineMaker, object, IID_IJSimpleLineMaker, maker.PutVoid());
  if (SUCCEEDED(hr) && !maker) hr = E_NOINTERFACE;
  if (FAILED(hr)) return REPORT(hr);

  BSTR firstText = SysAllocString(first);
  BSTR secondText = SysAllocString(second);
  StyleComPtr<IUnknown> made;
  hr = (first && !firstText) || (second && !secondText)
           ? E_OUTOFMEMORY
           : maker->MakeSimpleLine(firstText, secondText, made.Put());
  SysFreeString(firstText);
  SysFreeString(secondText);
  if (SUCCEEDED(hr) && !made) hr = E_FAIL;
  if (FAILED(hr)) return REPORT(hr);

  StyleComPtr<IJStyleSimpleLine> line;
  hr = made->QueryInterface(IID_IJStyleSimpleLine, line.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  MarkObjectModified(line.Get());
  hr = line->SetData(lineData);
  if (FAILED(hr)) return REPORT(hr);
  if (dashData) {
    StyleComPtr<IJStyleSimpleDashType> dash;
    hr = NewSimpleDashType(dashData, dash);
    if (FAILED(hr)) return hr;
    // The caller's dash description is the line's pattern.
    const HRESULT set = line->SetDashType(dash.Get());
    if (FAILED(set)) return REPORT(set);
  }
  *out = line.Detach();
  return hr;
}

HRESULT WINAPI HCreateSimpleDashTypeStyle(LPCWSTR, LPCWSTR, IUnknown*, const tagStyleSimpleDashTypeData* data,
                                          IUnknown** out) {
  if (!data || !out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  StyleComPtr<IJStyleSimpleDashType> dash;
  const HRESULT hr = NewSimpleDashType(data, dash);
  if (FAILED(hr)) return hr;
  *out = dash.Detach();
  return hr;
}

// ---- finding by name, the active line style, objects of IDs ----

HRESULT WINAPI HGetLinearStyle(IUnknown* document, LPWSTR name, IUnknown** out) {
  if (!document || !name || !out) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  DWORD id = kNoStyleID;
  hr = librarian->FindOrCreateStyleID(name, &STYLETYPE_Linear, &id);
  if (FAILED(hr)) return REPORT(hr);
  return librarian->GetStyle(id, out);
}

HRESULT WINAPI HGetLinearStyle(IUnknown* document, LPWSTR name, DWORD* outID) {
  if (!document || !name || !outID) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  const HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  return librarian->FindOrCreateStyleID(name, &STYLETYPE_Linear, outID);
}

HRESULT WINAPI HGetDashStyle(IUnknown* document, LPCWSTR name, IUnknown** out) {
  if (!document || !name || !out) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  DWORD id = kNoStyleID;
  hr = librarian->FindOrCreateStyleID(name, &STYLETYPE_Dash, &id);
  // An unknown dash name is no failure of this form: *out keeps what the caller put there.
  if (hr == kNameUnknown) return S_OK;
  if (FAILED(hr)) return REPORT(hr);
  hr = librarian->GetStyle(id, out);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI HGetDashStyle(IUnknown* document, LPWSTR name, DWORD* outID) {
  if (!document || !name || !outID) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  const HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  return librarian->FindOrCreateStyleID(name, &STYLETYPE_Dash, outID);
}

HRESULT WINAPI HSetActiveLinearStyle(IUnknown* document, IUnknown* style) {
  if (!style) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  MarkObjectModified(librarian.Get());
  DWORD id = kNoStyleID;
  hr = librarian->FindStyleID(style, &id);
  if (FAILED(hr)) return REPORT(hr);
  hr = librarian->SetActiveStyleID(&STYLETYPE_Linear, id);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI HSetActiveLinearStyle(IUnknown* document, DWORD id) {
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  MarkObjectModified(librarian.Get());
  hr = librarian->SetActiveStyleID(&STYLETYPE_Linear, id);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI HGetActiveLinearStyle(IUnknown* document, IUnknown** out) {
  if (!out) return REPORT(E_INVALIDARG);
  DWORD id = kNoStyleID;
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  hr = librarian->GetActiveStyleID(&STYLETYPE_Linear, &id, 1);
  if (FAILED(hr)) return REPORT(hr);
  hr = librarian->GetStyle(id, out);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI HGetActiveLinearStyle(IUnknown* document, DWORD* outID) {
  if (!outID) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  hr = librarian->GetActiveStyleID(&STYLETYPE_Linear, outID, 1);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI HGetStyleFromID(IUnknown* document, DWORD id, IUnknown** out) {
  if (!out) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  hr = librarian->GetStyle(id, out);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

// ---- names ----

HRESULT WINAPI HGetLinearStyleName(IUnknown*, IUnknown* style, LPWSTR buffer, DWORD* length) {
  return NameInOwnerLibrary(style, buffer, length);
}

HRESULT WINAPI HGetDashStyleName(IUnknown*, IUnknown* style, LPWSTR buffer, DWORD* length) {
  return NameInOwnerLibrary(style, buffer, length);
}

HRESULT WINAPI HGetDashStyleName(IUnknown* document, DWORD id, LPWSTR buffer, DWORD* length) {
  if (!length) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  StyleComPtr<IUnknown> style;
  hr = librarian->GetStyle(id, style.Put());
  if (SUCCEEDED(hr) && !style) hr = E_FAIL;
  if (FAILED(hr)) return REPORT(hr);

  StyleComPtr<IJStyleSimpleLine> line;
  if (SUCCEEDED(style->QueryInterface(IID_IJStyleSimpleLine, line.PutVoid())) && line) {
    return DashNameOf(line.Get(), document, buffer, length);
  }
  StyleComPtr<IJStyleOverride> override;
  if (SUCCEEDED(style->QueryInterface(IID_IJStyleOverride, override.PutVoid())) && override) {
    return DashNameOf(override.Get(), document, buffer, length);
  }
  StyleComPtr<IJStyleDashTypeRender> dash;
  hr = style->QueryInterface(IID_IJStyleDashTypeRender, dash.PutVoid());
  if (FAILED(hr)) return hr;  // no line, no override, no dash type: nothing to name
  hr = librarian->GetStyleName(id, buffer, length);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI HGetStyleName(IUnknown* document, DWORD id, LPWSTR buffer, DWORD* length) {
  if (!length) return REPORT(E_INVALIDARG);
  const DWORD capacity = *length;
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  hr = librarian->GetStyleName(id, buffer, length);
  if (FAILED(hr)) return REPORT(hr);
  if (hr != kNoNameFound) return hr;

  // An unnamed style without named ancestors goes by the name of the style it refers to, one level deep.
  StyleComPtr<IUnknown> style;
  hr = librarian->GetStyle(id, style.Put());
  if (SUCCEEDED(hr) && !style) hr = E_FAIL;
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJStyleSetup2d> setup;
  if (FAILED(style->QueryInterface(IID_IJStyleSetup2d, setup.PutVoid())) || !setup) return kNoNameFound;
  DWORD referenced = kNoStyleID;
  hr = setup->GetReferencedStyleID(&referenced);
  if (FAILED(hr)) return REPORT(hr);
  if (referenced == kNoStyleID || referenced == kInvalidStyleID) return kNoNameFound;
  *length = capacity;
  hr = librarian->GetStyleName(referenced, buffer, length);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI HGetStyleNameFromPtr(IUnknown* document, IUnknown* style, LPWSTR buffer, DWORD* length) {
  if (!style || !length) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  DWORD id = kNoStyleID;
  hr = librarian->FindStyleID(style, &id);
  if (FAILED(hr)) return REPORT(hr);
  librarian.Reset();
  hr = HGetStyleName(document, id, buffer, length);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

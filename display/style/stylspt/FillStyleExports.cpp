// The H functions of fill styles: finding, naming and activating fills, the pattern a fill uses, and fills
// made by the engine's fill factories. How they are exported: StyleExports.h.
#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/StyleReport.h"
#include "display/style/stylspt/StyleExportHelpers.h"
#include "display/style/stylspt/StyleExports.h"
#include "host/halvorn/halvorn.h"

namespace {

constexpr char kSource[] = "FILLSPT";

constexpr stylspt::TypedStyleSteps kFill{&STYLETYPE_Fill, kSource};

using stylspt::Ask;

DWORD PatternKindOf(REFCLSID clsid) {
  if (IsEqualCLSID(clsid, CLSID_JStyleHatchFill)) return kFillPatternHatch;
  if (IsEqualCLSID(clsid, CLSID_JStyleSymbolFill)) return kFillPatternSymbol;
  return kFillPatternNone;
}

// The style an override is built on; S_OK with none when it is built on nothing.
HRESULT ReferencedStyleOf(IUnknown* override, StyleComPtr<IUnknown>& out) {
  StyleComPtr<IJStyleRender> render;
  HRESULT hr = Ask(override, IID_IJStyleRender, render);
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJStyleRender> referenced;
  hr = render->GetReferencedStyle(referenced.Put());
  if (FAILED(hr)) return REPORT(hr);
  if (referenced) *out.Put() = referenced.Detach();
  return S_OK;
}

// The pattern of a fill that should be a simple fill.
HRESULT PatternOf(IUnknown* fill, StyleComPtr<IJStyleFillTypeRender>& pattern) {
  StyleComPtr<IJStyleSimpleFill> simple;
  HRESULT hr = Ask(fill, IID_IJStyleSimpleFill, simple);
  if (FAILED(hr)) return REPORT(hr);
  hr = simple->GetPattern(pattern.Put());
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

template <class T>
HRESULT EngineExtension(const GUID& extension, IUnknown* context, REFIID iid, StyleComPtr<T>& out) {
  HRESULT hr = QueryClassExtension(&extension, context, iid, out.PutVoid());
  if (SUCCEEDED(hr) && !out) hr = E_NOINTERFACE;
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

// The pattern the factory of `extension` makes of the fill's pattern data, handed out as `patternIID` before
// the fill hears that it is in place.
HRESULT MakePattern(const GUID& extension, REFIID factoryIID, REFIID patternIID, DWORD first, DWORD data,
                    IUnknown* context, IJEngineFill* fill, IUnknown** out) {
  StyleComPtr<IJPatternFactory> factory;
  HRESULT hr = EngineExtension(extension, context, factoryIID, factory);
  if (FAILED(hr)) return hr;
  StyleComPtr<IUnknown> made;
  hr = factory->MakePattern(first, data, made.Put());
  if (SUCCEEDED(hr) && !made) hr = E_FAIL;
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IUnknown> pattern;
  hr = Ask(made.Get(), patternIID, pattern);
  if (FAILED(hr)) return REPORT(hr);
  made.Reset();
  *out = pattern.Detach();
  hr = fill->AttachPattern(first);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

}  // namespace

HRESULT WINAPI HGetFillStyle(IUnknown* document, LPCWSTR name, IUnknown** out) {
  if (!document || !name || !out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  return kFill.Find(document, name, out, false);
}

HRESULT WINAPI HGetFillStyle(IUnknown* document, LPWSTR name, DWORD* outID) {
  if (!document || !name || !outID) return REPORT(E_INVALIDARG);
  return kFill.FindID(document, name, outID);
}

HRESULT WINAPI HGetActiveFillStyle(IUnknown* document, IUnknown** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  return kFill.Active(document, out);
}

HRESULT WINAPI HGetActiveFillStyle(IUnknown* document, DWORD* outID) {
  if (!outID) return REPORT(E_INVALIDARG);
  return kFill.ActiveID(document, outID, false);
}

HRESULT WINAPI HSetActiveFillStyle(IUnknown* document, IUnknown* style) {
  if (!style) return REPORT(E_INVALIDARG);
  return kFill.SetActive(document, style);
}

HRESULT WINAPI HSetActiveFillStyle(IUnknown* document, DWORD id) { return kFill.SetActiveID(document, id); }

HRESULT WINAPI HGetFillStyleName(IUnknown* document, IUnknown* style, LPWSTR buffer, DWORD* length) {
  if (!style || !length) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = kFill.Librarian(document, librarian);
  if (FAILED(hr)) return hr;
  DWORD id = kNoStyleID;
  hr = librarian->FindStyleID(style, &id);
  if (FAILED(hr)) return REPORT(hr);
  hr = librarian->GetStyleName(id, buffer, length);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI HGetPatternStyleType(IUnknown* style, DWORD* kind) {
  if (!style || !kind) return REPORT(E_INVALIDARG);
  *kind = kFillPatternNone;
  CLSID clsid = CLSID_NULL;
  HRESULT hr = stylspt::ClassOf(style, &clsid);
  if (FAILED(hr)) return REPORT(hr);
  *kind = PatternKindOf(clsid);
  if (*kind != kFillPatternNone) return S_OK;

  StyleComPtr<IUnknown> fill;
  if (IsEqualCLSID(clsid, CLSID_JStyleSimpleFill)) {
    style->AddRef();
    *fill.Put() = style;
  } else if (IsEqualCLSID(clsid, CLSID_JStyleOverride)) {
    hr = ReferencedStyleOf(style, fill);
    if (FAILED(hr)) return hr;
    if (!fill) return E_FAIL;  // an override built on nothing has no pattern to speak of
  } else {
    return S_OK;
  }
  StyleComPtr<IJStyleFillTypeRender> pattern;
  hr = PatternOf(fill.Get(), pattern);
  if (FAILED(hr) || !pattern) return hr;
  hr = stylspt::ClassOf(pattern.Get(), &clsid);
  if (FAILED(hr)) return REPORT(hr);
  *kind = PatternKindOf(clsid);
  return S_OK;
}

HRESULT WINAPI HGetFillPattern(IUnknown* style, IUnknown** pattern, DWORD* kind) {
  if (!style || !pattern || !kind) return REPORT(E_INVALIDARG);
  *pattern = nullptr;
  *kind = kFillPatternNone;
  StyleComPtr<IUnknown> fill;
  if (stylspt::Answers(style, IID_IJStyleOverride)) {
    const HRESULT hr = ReferencedStyleOf(style, fill);
    if (FAILED(hr)) return hr;
    if (!fill) return REPORT(E_FAIL);
  } else {
    style->AddRef();
    *fill.Put() = style;
  }
  if (!stylspt::Answers(fill.Get(), IID_IJStyleSimpleFill)) return REPORT(E_FAIL);
  StyleComPtr<IJStyleFillTypeRender> found;
  HRESULT hr = PatternOf(fill.Get(), found);
  if (FAILED(hr) || !found) return hr;
  hr = found->QueryInterface(IID_IJStyleHatchFill, reinterpret_cast<void**>(pattern));
  if (SUCCEEDED(hr) && *pattern) {
    *kind = kFillPatternHatch;
    return hr;
  }
  hr = found->QueryInterface(IID_IJStyleSymbolFill, reinterpret_cast<void**>(pattern));
  if (SUCCEEDED(hr) && !*pattern) hr = E_NOINTERFACE;
  if (FAILED(hr)) return REPORT(hr);
  *kind = kFillPatternSymbol;
  return hr;
}

HRESULT WINAPI HCreateFillStyle(DWORD first, DWORD second, IUnknown* context, IUnknown** fill,
                                IUnknown** hatchPattern, IUnknown** symbolPattern) {
  if (!fill || !hatchPattern || !symbolPattern) return REPORT(E_INVALIDARG);
  *fill = nullptr;
  *hatchPattern = nullptr;
  *symbolPattern = nullptr;
  StyleComPtr<IJFillFactory> factory;
  HRESULT hr = EngineExtension(CLASSEXT_FillFactory, context, IID_IJFillFactory, factory);
  if (FAILED(hr)) return hr;
  StyleComPtr<IUnknown> made;
  hr = factory->MakeFill(first, second, made.Put());
  if (SUCCEEDED(hr) && !made) hr = E_FAIL;
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJEngineFill> engineFill;
  hr = Ask(made.Get(), IID_IJEngineFill, engineFill);
  if (FAILED(hr)) return REPORT(hr);
  made.Reset();
  engineFill->AddRef();
  *fill = engineFill.Get();

  DWORD kind = 0;
  hr = engineFill->GetPatternKind(&kind);
  if (FAILED(hr)) return REPORT(hr);
  if (kind == 0 || kind == 1) return S_OK;
  DWORD data = 0;
  hr = engineFill->GetPatternData(&data);
  if (FAILED(hr)) return REPORT(hr);
  if (kind == kFillPatternHatch) {
    return MakePattern(CLASSEXT_HatchPatternFactory, IID_IJHatchPatternFactory, IID_IJHatchPattern, first, data,
                       context, engineFill.Get(), hatchPattern);
  }
  if (kind == kFillPatternSymbol) {
    return MakePattern(CLASSEXT_SymbolPatternFactory, IID_IJSymbolPatternFactory, IID_IJSymbolPattern, first,
                       data, context, engineFill.Get(), symbolPattern);
  }
  return S_OK;
}

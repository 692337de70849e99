// HCreateStyleFromUF: its dispatch, its line and 3D-multiplexer branches, and the steps that lines and hatch
// lines share. The fill branch and HSetFillDataFromUF are in FillDescriptions.cpp.
#include "display/style/styltrn/DescriptionSteps.h"

#include <cmath>
#include <cwchar>

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/StyleReport.h"
#include "display/style/stylspt/StyleExportHelpers.h"
#include "display/style/stylspt/StyleExports.h"
#include "host/halvorn/halvorn.h"
#include "services/daxutil/daxutil.h"

namespace styltrn {

using stylspt::Ask;

namespace {

constexpr double kCustomEndFraction = 0.5;

bool IsContinuousNumber(DWORD number) { return number == UF_CODE_CONTINUOUS || number == UF_CODE_CONTINUOUS_TOO; }

// The dash numbers with a standard name; 22 has lengths but no name, and goes to the resource module.
bool HasStandardName(DWORD number) {
  return number <= 4 || (number >= 9 && number <= 13) || (number >= 18 && number <= 23 && number != 22);
}

// A reused style answers as it is.
HRESULT HandOut(DWORD id, StyleComPtr<IUnknown>& object, DWORD* outID, IUnknown** outObject) {
  *outID = id;
  *outObject = object.Detach();
  return S_OK;
}

HRESULT CheckLineDescription(const UFStyleRecord& description) {
  if (description.customCount > 0 && !description.customLengths) return REPORT(E_INVALIDARG);
  const bool readsScale = description.customCount == 0 && description.dashCode == UF_CODE_NAMED_LINE;
  if (!AllFinite({description.width, readsScale ? description.scale : 0.0})) return REPORT(E_INVALIDARG);
  return S_OK;
}

// Code 16: an unnamed override of the named line with the description's colour, and its scale and width when
// they are given.
HRESULT OverrideNamedLine(const UFStyleRecord& description, IUnknown* document, IJSLLibrarian* librarian,
                          DWORD* outID, IUnknown** outObject) {
  if (!description.name) return REPORT(E_FAIL);
  DWORD id = kNoStyleID;
  HRESULT hr = librarian->FindOrAddName(description.name, &STYLETYPE_Linear, &id);
  if (FAILED(hr)) return REPORT(hr);
  if (id == kNoStyleID) return S_OK;
  tagStyleOverride record{};
  record.unitsCode = STYLE_UNITS_11;
  record.flags = OVR_COLOUR;
  record.colour = description.colour;
  if (description.scale != 0.0 && description.scale != 1.0) {
    record.dashScale = description.scale;
    record.flags |= OVR_COLOUR | OVR_SCALE;
  }
  if (description.width > 0.0) {
    record.width = description.width;
    record.flags |= OVR_WIDTH;
  }
  StyleComPtr<IUnknown> named;
  hr = librarian->GetStyle(id, named.Put());
  if (SUCCEEDED(hr) && !named) hr = E_FAIL;
  if (FAILED(hr)) return REPORT(hr);
  return AddOverride(document, librarian, record, named.Get(), STYLETYPE_Linear, outID, outObject);
}

// A custom dash of the description's lengths, under the description's name in "Dash", as the line's dash type.
HRESULT GiveCustomDash(const UFStyleRecord& description, IUnknown* document, IJSLLibrarian* librarian,
                       IJStyleSimpleLine* line) {
  StyleComPtr<IUnknown> made;
  HRESULT hr = HCreateStyle(made.Put(), document, &CLSID_JStyleSimpleDashType, 0, nullptr);
  if (FAILED(hr)) return hr;
  StyleComPtr<IJStyleSimpleDashType> dash;
  hr = Ask(made.Get(), IID_IJStyleSimpleDashType, dash);
  if (FAILED(hr)) return REPORT(hr);
  hr = HSetCustomDashStyleData(line, dash.Get(), description.customCount, description.customLengths,
                               description.colour, description.width, description.unitsCode);
  if (FAILED(hr)) return hr;
  DWORD dashID = kNoStyleID;
  StyleComPtr<IUnknown> stored;
  hr = AddToLibrary(librarian, made.Get(), STYLETYPE_Dash, description.name, kNoStyleID, &dashID, stored.Put());
  if (FAILED(hr)) return hr;
  hr = line->SetDashType(stored.Get());
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

// A dash number's line goes under the number's name, or, when a line has that name, unnamed below it; the
// description's own name only decides whether a line is reused.
HRESULT AddNumberedLine(const UFStyleRecord& description, IUnknown* document, IJSLLibrarian* librarian,
                        HINSTANCE resourceModule, IUnknown* made, IJStyleSimpleLine* line, DWORD* outID,
                        IUnknown** outObject) {
  GUserText name;
  bool standard = false;
  HRESULT hr = DashNumberName(description.dashCode, resourceModule, &name, &standard);
  if (FAILED(hr)) return hr;
  DWORD dashID = kNoStyleID;
  StyleComPtr<IUnknown> dashObject;
  hr = FindOrCreateStdDashType(description.dashCode, document, librarian, resourceModule, &dashID, dashObject.Put());
  if (FAILED(hr)) return hr;
  StyleComPtr<IJStyleSimpleDashType> dash;
  if (dashObject && FAILED(hr = Ask(dashObject.Get(), IID_IJStyleSimpleDashType, dash))) return REPORT(hr);
  hr = HSetStdDashStyleData(line, dash.Get(), description.dashCode, description.colour, description.width,
                            description.unitsCode, FALSE);
  if (FAILED(hr)) return hr;
  DWORD parent = kNoStyleID;
  const bool taken =
      SUCCEEDED(librarian->FindOrCreateStyleID(name.Wide(), &STYLETYPE_Linear, &parent)) && parent != kNoStyleID;
  return AddToLibrary(librarian, made, STYLETYPE_Linear, taken ? nullptr : name.Wide(), taken ? parent : kNoStyleID,
                      outID, outObject);
}

HRESULT CreateLine(const UFStyleRecord& description, IUnknown* document, IJSLLibrarian* librarian,
                   HINSTANCE resourceModule, DWORD* outID, IUnknown** outObject) {
  const bool continuous = IsContinuousNumber(description.dashCode);
  if (!continuous && description.customCount == 0 && description.dashCode == UF_CODE_NAMED_LINE) {
    return OverrideNamedLine(description, document, librarian, outID, outObject);
  }
  DWORD id = kNoStyleID;
  StyleComPtr<IUnknown> made;
  BOOL found = FALSE;
  HRESULT hr = FindOrCreateStyleByName(description.name, librarian, CLSID_JStyleSimpleLine, document,
                                       STYLETYPE_Linear, &id, made.Put(), &found);
  if (FAILED(hr)) return hr;
  if (found) return HandOut(id, made, outID, outObject);
  StyleComPtr<IJStyleSimpleLine> line;
  if (FAILED(hr = Ask(made.Get(), IID_IJStyleSimpleLine, line))) return REPORT(hr);
  if (continuous) {
    hr = HSetContinuousLineStyleData(line.Get(), description.colour, description.width, description.unitsCode);
  } else if (description.customCount > 0) {
    hr = GiveCustomDash(description, document, librarian, line.Get());
  } else {
    return AddNumberedLine(description, document, librarian, resourceModule, made.Get(), line.Get(), outID,
                           outObject);
  }
  if (FAILED(hr)) return hr;
  return AddToLibrary(librarian, made.Get(), STYLETYPE_Linear, description.name, kNoStyleID, outID, outObject);
}

// A host may serve the workbench itself through the platform's class registry; otherwise this server's is used.
HRESULT CreateMux3dWorkbench(StyleComPtr<IMux3dWrkBench>& bench) {
  HRESULT hr = JCoCreateInstance(CLSID_Mux3dStyleWorkbench, nullptr, CLSCTX_INPROC_SERVER, IID_IMux3dWrkBench,
                                 bench.PutVoid(), 1);
  if (hr == REGDB_E_CLASSNOTREG || hr == CO_E_NOTINITIALIZED) {
    hr = CreateInProcessInstance(CLSID_Mux3dStyleWorkbench, IID_IMux3dWrkBench, bench.PutVoid());
  }
  if (SUCCEEDED(hr) && !bench) hr = E_NOINTERFACE;
  if (SUCCEEDED(hr)) return hr;
  // The server's own class missing is a broken installation, worth a stop under the debugger.
  if (RCfatalerr(CLSID_Mux3dStyleWorkbench, 1, hr, kSource, __LINE__) != 0 && IsDebuggerPresent()) DebugBreak();
  return REPORT(hr);
}

HRESULT CreateMux3d(const UFStyleRecord& description, IJSLLibrarian* librarian, DWORD* outID,
                    IUnknown** outObject) {
  StyleComPtr<IMux3dWrkBench> bench;
  HRESULT hr = CreateMux3dWorkbench(bench);
  if (FAILED(hr)) return hr;
  if (FAILED(hr = bench->SetName(description.name))) return REPORT(hr);
  if (FAILED(hr = bench->SetColour(description.colour))) return REPORT(hr);
  StyleComPtr<ICommonWrkBench> common;
  if (FAILED(hr = Ask(bench.Get(), IID_ICommonWrkBench, common))) return REPORT(hr);
  if (FAILED(hr = common->CreateStyle(librarian))) return REPORT(hr);
  DWORD id = kNoStyleID;
  if (FAILED(hr = common->GetCreatedStyleID(&id))) return REPORT(hr);
  StyleComPtr<IUnknown> style;
  if (FAILED(hr = common->QueryStyle(IID_IUnknown, style.PutVoid()))) return REPORT(hr);
  return HandOut(id, style, outID, outObject);
}

}  // namespace

bool AllFinite(std::initializer_list<double> values) {
  for (double value : values) {
    if (!std::isfinite(value)) return false;
  }
  return true;
}

HRESULT AddToLibrary(IJSLLibrarian* librarian, IUnknown* object, const GUID& type, LPCWSTR name, DWORD parentID,
                     DWORD* outID, IUnknown** outObject) {
  *outID = kNoStyleID;
  DWORD id = kNoStyleID;
  HRESULT hr;
  if (!name || FAILED(librarian->FindStyleIDByName(name, &type, &id)) || id == kNoStyleID) {
    if (FAILED(hr = MarkObjectModified(librarian))) return REPORT(hr);
    StyleRecord record{const_cast<LPWSTR>(name), nullptr, object, const_cast<GUID*>(&type), parentID, 0};
    hr = librarian->AddStyle(&record, &id);
    if (SUCCEEDED(hr) && id == kNoStyleID) hr = E_FAIL;
    if (FAILED(hr)) return REPORT(hr);
  }
  hr = librarian->GetStyle(id, outObject);
  if (SUCCEEDED(hr) && !*outObject) hr = E_FAIL;
  if (FAILED(hr)) return REPORT(hr);
  *outID = id;
  return S_OK;
}

HRESULT AddOverride(IUnknown* document, IJSLLibrarian* librarian, const tagStyleOverride& record, IUnknown* base,
                    const GUID& type, DWORD* outID, IUnknown** outObject) {
  StyleComPtr<IUnknown> made;
  HRESULT hr = HCreateStyle(made.Put(), document, &CLSID_JStyleOverride, 0, nullptr);
  if (FAILED(hr)) return hr;
  StyleComPtr<IJStyleOverride> override;
  if (FAILED(hr = Ask(made.Get(), IID_IJStyleOverride, override))) return REPORT(hr);
  if (FAILED(hr = override->SetData(&record))) return REPORT(hr);
  StyleComPtr<IJStyleRender> render;
  StyleComPtr<IJStyleRender> baseRender;
  if (FAILED(hr = Ask(made.Get(), IID_IJStyleRender, render))) return REPORT(hr);
  if (FAILED(hr = Ask(base, IID_IJStyleRender, baseRender))) return REPORT(hr);
  if (FAILED(hr = render->SetReferencedStyle(baseRender.Get()))) return REPORT(hr);
  return AddToLibrary(librarian, made.Get(), type, nullptr, kNoStyleID, outID, outObject);
}

HRESULT DashNumberName(DWORD number, HINSTANCE resourceModule, GUserText* name, bool* standard) {
  *standard = HasStandardName(number);
  // The standard names are loaded, and their failures reported, by the standard-dash export.
  if (*standard) return HGetStdDashStyleNameFromNumber(static_cast<LONG>(number), name);
  if (resourceModule && number <= 0xFFFF && name->LoadStringResource(resourceModule, number) && *name->Wide()) {
    return S_OK;
  }
  return REPORT(E_FAIL);
}

HRESULT CheckDashRef(const UFDashRef& dash, HINSTANCE resourceModule) {
  switch (dash.kind) {
    case UF_DASH_LENGTHS:
      if (dash.count == 0 || !dash.lengths) return REPORT(E_INVALIDARG);
      for (DWORD i = 0; i < dash.count; ++i) {
        if (!std::isfinite(dash.lengths[i])) return REPORT(E_INVALIDARG);
      }
      return S_OK;
    case UF_DASH_NAMED:
      return dash.name ? S_OK : REPORT(E_INVALIDARG);
    case UF_DASH_NUMBER: {
      if (IsContinuousNumber(dash.number)) return S_OK;
      GUserText name;
      bool standard = false;
      return DashNumberName(dash.number, resourceModule, &name, &standard);
    }
    default:
      return S_OK;
  }
}

HRESULT FindOrCreateStyleByName(LPCWSTR name, IJSLLibrarian* librarian, REFCLSID clsid, IUnknown* document,
                                const GUID& type, DWORD* outID, IUnknown** outObject, BOOL* found) {
  if (!outObject) return REPORT(E_INVALIDARG);
  *outObject = nullptr;
  *outID = kNoStyleID;
  *found = FALSE;
  DWORD id = kNoStyleID;
  if (name && SUCCEEDED(librarian->FindOrCreateStyleID(name, &type, &id)) && id != kNoStyleID) {
    HRESULT hr = librarian->GetStyle(id, outObject);
    if (SUCCEEDED(hr) && !*outObject) hr = E_FAIL;
    if (FAILED(hr)) return REPORT(hr);
    *outID = id;
    *found = TRUE;
    return S_OK;
  }
  return HCreateStyle(outObject, document, &clsid, 0, nullptr);
}

HRESULT ResolveUFDashRef(IUnknown* document, const UFDashRef& dash, IJSLLibrarian* librarian,
                         HINSTANCE resourceModule, DWORD* outID, IUnknown** outObject, DWORD unitsCode) {
  *outID = kNoStyleID;
  *outObject = nullptr;
  switch (dash.kind) {
    case UF_DASH_GIVEN:
      if (dash.dashType) {
        dash.dashType->AddRef();
        *outObject = dash.dashType;
      }
      return S_OK;
    case UF_DASH_LENGTHS: {
      StyleComPtr<IUnknown> made;
      HRESULT hr = HCreateStyle(made.Put(), document, &CLSID_JStyleSimpleDashType, 0, nullptr);
      if (FAILED(hr)) return hr;
      StyleComPtr<IJStyleSimpleDashType> simple;
      if (FAILED(hr = Ask(made.Get(), IID_IJStyleSimpleDashType, simple))) return REPORT(hr);
      const tagStyleSimpleDashTypeData data{unitsCode, dash.count, dash.lengths, 0, kCustomEndFraction, 0};
      if (FAILED(hr = simple->SetData(&data))) return REPORT(hr);
      return AddToLibrary(librarian, made.Get(), STYLETYPE_Dash, nullptr, kNoStyleID, outID, outObject);
    }
    case UF_DASH_NAMED: {
      const HRESULT hr = librarian->FindOrAddName(dash.name, &STYLETYPE_Dash, outID);
      if (FAILED(hr)) {
        *outID = kNoStyleID;
        return REPORT(hr);
      }
      return S_OK;
    }
    case UF_DASH_NUMBER:
      return FindOrCreateStdDashType(dash.number, document, librarian, resourceModule, outID, outObject);
    default:
      return S_OK;
  }
}

HRESULT FindOrCreateStdDashType(DWORD number, IUnknown* document, IJSLLibrarian* librarian,
                                HINSTANCE resourceModule, DWORD* outID, IUnknown** outObject) {
  *outID = kNoStyleID;
  *outObject = nullptr;
  // By number: a module of another language names the continuous line otherwise.
  if (IsContinuousNumber(number)) return S_OK;
  GUserText name;
  bool standard = false;
  HRESULT hr = DashNumberName(number, resourceModule, &name, &standard);
  if (FAILED(hr)) return hr;
  if (std::wcscmp(name.Wide(), L"Continuous") == 0) return standard ? S_OK : REPORT(E_FAIL);
  DWORD id = kNoStyleID;
  if (SUCCEEDED(librarian->FindOrCreateStyleID(name.Wide(), &STYLETYPE_Dash, &id)) && id != kNoStyleID) {
    hr = librarian->GetStyle(id, outObject);
    if (SUCCEEDED(hr) && !*outObject) hr = E_FAIL;
    if (FAILED(hr)) return REPORT(hr);
    *outID = id;
    return S_OK;
  }
  // Loaded before it is added: an unnamed dash type may be shared with an equal one already there, which must
  // not be changed under the styles that use it.
  StyleComPtr<IUnknown> made;
  if (FAILED(hr = HCreateStyle(made.Put(), document, &CLSID_JStyleSimpleDashType, 0, nullptr))) return hr;
  if (standard) {
    StyleComPtr<IJStyleSimpleDashType> dash;
    if (FAILED(hr = Ask(made.Get(), IID_IJStyleSimpleDashType, dash))) return REPORT(hr);
    if (FAILED(hr = HSetStdDashTypeData(number, dash.Get()))) return hr;
  }
  return AddToLibrary(librarian, made.Get(), STYLETYPE_Dash, nullptr, kNoStyleID, outID, outObject);
}

}  // namespace styltrn

using namespace styltrn;

HRESULT WINAPI HCreateStyleFromUF(GUID type, const UFStyleRecord* description, IUnknown* document,
                                  HINSTANCE resourceModule, DWORD* outID, IUnknown** outStyle) {
  if (!description || !outID) return REPORT(E_INVALIDARG);
  const bool fill = IsEqualGUID(type, STYLETYPE_Fill);
  const bool linear = IsEqualGUID(type, STYLETYPE_Linear);
  const bool mux3d = IsEqualGUID(type, STYLETYPE_Mux3d);
  HRESULT hr = S_OK;
  if (fill && description->fill) hr = CheckFillDescription(*description->fill, resourceModule);
  if (linear) hr = CheckLineDescription(*description);
  if (FAILED(hr)) return hr;
  if (fill || linear || mux3d) {
    *outID = kNoStyleID;
    if (outStyle) *outStyle = nullptr;
  }

  StyleComPtr<IJSLLibrarian> librarian;
  hr = GetStyleLibrarian(document, librarian.Put());
  if (SUCCEEDED(hr) && !librarian) hr = E_FAIL;
  if (FAILED(hr)) return REPORT(hr);
  DWORD id = kNoStyleID;
  StyleComPtr<IUnknown> style;
  if (fill) {
    if (!description->fill) return S_FALSE;
    hr = CreateFillFromDescription(*description->fill, document, librarian.Get(), resourceModule, &id, style.Put());
  } else if (linear) {
    hr = CreateLine(*description, document, librarian.Get(), resourceModule, &id, style.Put());
  } else if (mux3d) {
    hr = CreateMux3d(*description, librarian.Get(), &id, style.Put());
  } else {
    return E_FAIL;
  }
  if (FAILED(hr)) return hr;
  *outID = id;
  if (outStyle) *outStyle = style.Detach();
  return S_OK;
}

// The exported utilities around a document's style library: clashes of style-library files, names of special
// colours, the check of style names, the workshop, the exception styles and the default line for imported line
// codes.
#include <cwctype>
#include <string>
#include <string_view>

#include "display/style/server.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/StyleReport.h"
#include "display/style/stylspt/StyleExportHelpers.h"
#include "display/style/stylspt/StyleExports.h"
#include "host/pellow/pellow.h"
#include "services/daxutil/daxutil.h"

namespace {

constexpr char kSource[] = "USTYLSPT";

// Longer names do not fit where the host keeps them.
constexpr std::size_t kLongestStyleName = 253;

// The exception text: 1/8 inch in units code 11.
constexpr double kExceptionTextHeight = 0.003175;
constexpr double kImportedLineWidth = 0.00035;
constexpr DWORD kImportedLineFlag = 0x1;

std::wstring Upper(LPCWSTR text) {
  std::wstring upper(text);
  if (!upper.empty()) CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
  return upper;
}

// The text after the last backslash, or all of it.
std::wstring_view FileNameOf(std::wstring_view path) {
  const std::size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

UINT ColourNameID(DWORD colour) {
  switch (colour) {
    case 0x000000: return 12132;
    case 0xFF0000: return 12133;
    case 0xFFFF00: return 12134;
    case 0x00FF00: return 12135;
    case 0xFF00FF: return 12136;
    case 0x0000FF: return 12137;
    case 0x00FFFF: return 12139;
    case 0xFFFFFF: return 12140;
    case 0x800000: return 12142;
    case 0x808000: return 12144;
    case 0x008000: return 12146;
    case 0x800080: return 12148;
    case 0x000080: return 12150;
    case 0x008080: return 12152;
    case 0x808080: return 12154;
    case 0xC0C0C0: return 12156;
    case 0x949494: return 12157;
    case 0x3F3F3F: return 12158;
    case 0xFFFFFFFF: return 12168;
    default: return 12159;
  }
}

// The library's exception style of a type, and its object when asked for.
HRESULT ExceptionStyle(const GUID& type, DWORD* outID, IUnknown** outObject, IUnknown* librarian) {
  if (!outID || !librarian) return REPORT(E_INVALIDARG);
  *outID = kNoStyleID;
  if (outObject) *outObject = nullptr;
  StyleComPtr<IJSLLibrarian> library;
  HRESULT hr = stylspt::Ask(librarian, IID_IJSLLibrarian, library);
  if (FAILED(hr)) return REPORT(hr);
  hr = library->GetExceptionStyleID(type, outID);
  if (FAILED(hr)) return REPORT(hr);
  if (!outObject) return hr;
  hr = library->GetStyle(*outID, outObject);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

// A librarian to add to: only asked whether it is one; the add finds the library through the lookup.
HRESULT CheckLibrarian(IUnknown* librarian) {
  StyleComPtr<IJSLLibrarian> library;
  const HRESULT hr = stylspt::Ask(librarian, IID_IJSLLibrarian, library);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

}  // namespace

DWORD WINAPI HStyleResource_PotentialConflicts(IJStyleResourceList* list, LPCWSTR path) {
  if (!list || !path) {
    REPORT(E_INVALIDARG);
    return 0;
  }
  const std::wstring full = Upper(path);
  const std::wstring_view fileName = FileNameOf(full);
  StyleComPtr<IEnumString> names;
  if (FAILED(list->Enum(0, names.Put())) || !names) return 0;  // an empty list names nothing
  for (;;) {
    LPOLESTR name = nullptr;
    ULONG fetched = 0;
    const HRESULT hr = names->Next(1, &name, &fetched);
    if (FAILED(hr)) {
      REPORT(hr);
      return 0;
    }
    if (hr != S_OK || !name) {
      CoTaskMemFree(name);
      return 0;
    }
    const std::wstring listed = Upper(name);
    CoTaskMemFree(name);
    if (listed == full) return 1;
    if (FileNameOf(listed) == fileName) return 2;
  }
}

HRESULT WINAPI HGetNameFromColorRef(HMODULE module, LONG colour, GUserText* out) {
  if (!out) return REPORT(E_INVALIDARG);
  out->LoadStringResource(module, ColourNameID(static_cast<DWORD>(colour)));
  return S_OK;
}

HRESULT WINAPI ValidateStyleName(LPCWSTR name, DWORD* valid) {
  if (!valid || IsBadWritePtr(valid, sizeof *valid)) return REPORT(E_INVALIDARG);
  *valid = 0;
  // The whole name up to its terminator must be readable; it need not be writable.
  if (!name || IsBadStringPtrW(name, static_cast<UINT_PTR>(-1))) return REPORT(E_INVALIDARG);
  std::wstring_view trimmed(name);
  while (!trimmed.empty() && std::iswspace(trimmed.front())) trimmed.remove_prefix(1);
  while (!trimmed.empty() && std::iswspace(trimmed.back())) trimmed.remove_suffix(1);
  *valid = !trimmed.empty() && trimmed.size() <= kLongestStyleName &&
           trimmed.find_first_of(L"\\;{}") == std::wstring_view::npos;
  return S_OK;
}

HRESULT WINAPI HGetStyleWorkshop(IUnknown* document, void** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = GetStyleLibrarian(document, librarian.Put());
  if (SUCCEEDED(hr) && !librarian) hr = E_POINTER;
  if (FAILED(hr)) return REPORT(hr);
  hr = librarian->QueryInterface(IID_IJWrkShop, out);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

// ---- exception styles ----

HRESULT WINAPI HGetCharExceptionStyle(DWORD* outID, IUnknown** outObject, DWORD unitsCode, IUnknown* librarian) {
  if (!outID || !outObject || !librarian) return REPORT(E_INVALIDARG);
  StyleComPtr<IJStyleTextChar> text;
  HRESULT hr = CreateInProcessInstanceOrFatal(CLSID_JStyleTextChar, IID_IJStyleTextChar, text.PutVoid(), kSource,
                                              __LINE__);
  if (FAILED(hr)) return hr;
  if (FAILED(hr = text->SetColor(GetExceptionColor())) ||
      FAILED(hr = text->SetSize(kExceptionTextHeight, STYLE_UNITS_11)) ||
      FAILED(hr = text->SetFontName(L"Arial")) || FAILED(hr = text->SetUnits(unitsCode))) {
    return REPORT(hr);
  }
  if (FAILED(hr = CheckLibrarian(librarian))) return hr;
  hr = HAddStyleToLibrary(outID, outObject, librarian, text.Get(), &STYLETYPE_TextChar, nullptr, kNoStyleID);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI HGetDimExceptionStyle(DWORD* outID, IUnknown** outObject, IUnknown* document) {
  if (!outID || !document) return REPORT(E_INVALIDARG);
  StyleComPtr<IJHostDimensionStyle> dimension;
  HRESULT hr = CreateInProcessInstanceOrFatal(CLSID_HostDimensionStyle, IID_IJHostDimensionStyle,
                                              dimension.PutVoid(), kSource, __LINE__);
  if (FAILED(hr)) return hr;
  BYTE record[kDimensionRecordSize] = {};
  InitDefaultDimensionRecord(record);
  ApplyDimensionExceptionChanges(record, GetExceptionColor());
  hr = dimension->SetRecord(record);
  if (FAILED(hr)) return REPORT(hr);
  hr = HAddStyleToLibrary(outID, outObject, document, dimension.Get(), &STYLETYPE_Dimension, nullptr, kNoStyleID);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI HGetLinearExceptionStyle(DWORD* outID, IUnknown** outObject, IUnknown* librarian) {
  return ExceptionStyle(STYLETYPE_Linear, outID, outObject, librarian);
}

HRESULT WINAPI HGetFillExceptionStyle(DWORD* outID, IUnknown** outObject, IUnknown* librarian) {
  return ExceptionStyle(STYLETYPE_Fill, outID, outObject, librarian);
}

HRESULT WINAPI HGetDefaultUSTNLineStyle(IUnknown* librarian, DWORD* outID) {
  if (!outID || !librarian) return REPORT(E_INVALIDARG);
  *outID = kNoStyleID;
  StyleComPtr<IJStyleSimpleLine> line;
  HRESULT hr = CreateInProcessInstanceOrFatal(CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine, line.PutVoid(),
                                              kSource, __LINE__);
  if (FAILED(hr)) return hr;
  if (FAILED(hr = CheckLibrarian(librarian))) return hr;
  tagStyleSimpleLineData data{};
  if (FAILED(hr = line->SetColor(0)) || FAILED(hr = line->SetWidth(kImportedLineWidth)) ||
      FAILED(hr = line->SetUnits(STYLE_UNITS_11)) || FAILED(hr = line->GetData(&data))) {
    return REPORT(hr);
  }
  data.styleFlags |= kImportedLineFlag;
  if (FAILED(hr = line->SetData(&data))) return REPORT(hr);
  StyleComPtr<IUnknown> added;
  hr = HAddStyleToLibrary(outID, added.Put(), librarian, line.Get(), &STYLETYPE_Linear, nullptr, kNoStyleID);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

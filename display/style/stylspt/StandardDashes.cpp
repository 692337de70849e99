// The standard dash numbers and the exports that write a continuous, standard or custom dash into a simple
// line. How they are exported: StyleExports.h.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

#include "display/style/styllib/StyleReport.h"
#include "display/style/stylspt/StdDashResources.h"
#include "display/style/stylspt/StyleExports.h"

namespace {

constexpr char kSource[] = "STYLESPT";

constexpr DWORD kLockedColour = 0x1;
constexpr DWORD kLockedWidth = 0x2;
constexpr DWORD kLockedDashType = 0x90;
constexpr double kCustomEndFraction = 0.5;

// The lengths as the host's drawings have always stored them, signs included.
constexpr double kDashed[] = {-0.0035, -0.00175};
constexpr double kDotted[] = {0.00035, -0.00175};
constexpr double kDashDot[] = {-0.007, 0.00175, 0.00035, 0.00175};
constexpr double kDashDotDot[] = {-0.014, 0.00175, 0.00035, 0.00175, 0.00035, 0.00175};
constexpr double kLongShort[] = {-0.014, 0.00175, 0.00175, 0.00175};
constexpr double kLongTwoShort[] = {-0.014, 0.00175, 0.00175, 0.00175, 0.00175, 0.00175};
constexpr double kTwoLongDot[] = {-0.014, 0.00175, -0.014, 0.00175, 0.00035, 0.00175};
constexpr double kLongGap[] = {-0.014, 0.007};
constexpr double kFine[] = {0.0, 0.0015875, -0.003175, 0.0015875};

struct StdDashRow {
  std::span<const double> lengths;
  DWORD flags;
  double endFraction;
};

// The row of a number; null for a number without lengths (0 and 9 among them).
const StdDashRow* RowOf(DWORD number) {
  static constexpr StdDashRow kDashedRow{kDashed, 0, 0.5};
  static constexpr StdDashRow kDottedRow{kDotted, 0, 1.0};
  static constexpr StdDashRow kDashDotRow{kDashDot, 0, 0.5};
  static constexpr StdDashRow kDashDotDotRow{kDashDotDot, 0, 0.5};
  static constexpr StdDashRow kRow18{kLongShort, 0, 0.5};
  static constexpr StdDashRow kRow19{kLongShort, 1, 0.5};
  static constexpr StdDashRow kRow20{kLongTwoShort, 0, 0.5};
  static constexpr StdDashRow kRow21{kTwoLongDot, 0, 0.5};
  static constexpr StdDashRow kRow22{kLongGap, 1, 0.5};
  static constexpr StdDashRow kRow23{kFine, 1, 0.0};
  switch (number) {
    case 1: case 10: return &kDashedRow;
    case 2: case 11: return &kDottedRow;
    case 3: case 12: return &kDashDotRow;
    case 4: case 13: return &kDashDotDotRow;
    case 18: return &kRow18;
    case 19: return &kRow19;
    case 20: return &kRow20;
    case 21: return &kRow21;
    case 22: return &kRow22;
    case 23: return &kRow23;
    default: return nullptr;
  }
}

// The string ID of a number's name; 0 for a number without one (22 among them).
DWORD NameIdOf(LONG number) {
  switch (number) {
    case 0: case 9: return 12217;
    case 1: case 10: return 12218;
    case 18: return 12219;
    case 19: return 12220;
    case 20: return 12221;
    case 2: case 11: return 12222;
    case 3: case 12: return 12223;
    case 21: return 12224;
    case 4: case 13: return 12225;
    case 23: return 12226;
    default: return 0;
  }
}

DWORD GivenMask(DWORD colour, double width) {
  return (colour != 0 ? kLockedColour : 0) | (width != 0.0 ? kLockedWidth : 0);
}

// Colour, width and units code, then the locked fields, as every line function ends.
HRESULT SetLineValues(IJStyleSimpleLine* line, DWORD colour, double width, DWORD unitsCode, DWORD locked) {
  HRESULT hr = line->SetColor(colour);
  if (FAILED(hr)) return REPORT(hr);
  if (FAILED(hr = line->SetWidth(width))) return REPORT(hr);
  if (FAILED(hr = line->SetUnits(unitsCode))) return REPORT(hr);
  if (FAILED(hr = line->SetLockedFields(locked))) return REPORT(hr);
  return S_OK;
}

// The dash type (null for none) and the fit flag, then the values; the dash functions' common tail.
HRESULT SetDashedLine(IJStyleSimpleLine* line, IJStyleSimpleDashType* dash, DWORD colour, double width,
                      DWORD unitsCode) {
  HRESULT hr = line->SetDashType(dash);
  if (FAILED(hr)) return REPORT(hr);
  tagStyleSimpleLineData data{};
  if (FAILED(hr = line->GetData(&data))) return REPORT(hr);
  data.styleFlags |= SLINE_FIT;
  if (FAILED(hr = line->SetData(&data))) return REPORT(hr);
  return SetLineValues(line, colour, width, unitsCode, GivenMask(colour, width) | (dash ? kLockedDashType : 0));
}

}  // namespace

HRESULT __cdecl HGetStdDashStyleNameFromNumber(LONG number, GUserText* name) {
  if (!name) return REPORT(E_INVALIDARG);
  const DWORD id = NameIdOf(number);
  if (id == 0) return REPORT(E_FAIL);
  // The holder reports a name it cannot load.
  return StdDashGetNameById(id, name);
}

HRESULT __cdecl HSetStdDashTypeData(DWORD number, IJStyleSimpleDashType* dash) {
  if (!dash) return REPORT(E_INVALIDARG);
  const StdDashRow* row = RowOf(number);
  if (!row) return S_OK;
  const tagStyleSimpleDashTypeData data{STYLE_UNITS_11, static_cast<DWORD>(row->lengths.size()),
                                        row->lengths.data(), row->flags, row->endFraction, 0};
  const HRESULT hr = dash->SetData(&data);
  return FAILED(hr) ? REPORT(hr) : hr;
}

HRESULT __cdecl HSetContinuousLineStyleData(IJStyleSimpleLine* line, DWORD colour, double width,
                                            DWORD unitsCode) {
  if (!line || !std::isfinite(width)) return REPORT(E_INVALIDARG);
  HRESULT hr = line->SetColor(colour);
  if (FAILED(hr)) return REPORT(hr);
  if (FAILED(hr = line->SetWidth(width))) return REPORT(hr);
  if (FAILED(hr = line->SetUnits(unitsCode))) return REPORT(hr);
  if (FAILED(hr = line->SetDashType(nullptr))) return REPORT(hr);
  if (FAILED(hr = line->SetLockedFields(GivenMask(colour, width)))) return REPORT(hr);
  return S_OK;
}

HRESULT __cdecl HSetStdDashStyleData(IJStyleSimpleLine* line, IJStyleSimpleDashType* dash, DWORD number,
                                     DWORD colour, double width, DWORD unitsCode, BOOL loadDash) {
  if (!line || (!dash && loadDash) || !std::isfinite(width)) return REPORT(E_INVALIDARG);
  if (loadDash) {
    const HRESULT hr = HSetStdDashTypeData(number, dash);
    if (FAILED(hr)) return hr;
  }
  return SetDashedLine(line, dash, colour, width, unitsCode);
}

HRESULT __cdecl HSetCustomDashStyleData(IJStyleSimpleLine* line, IJStyleSimpleDashType* dash, DWORD count,
                                        const double* lengths, DWORD colour, double width, DWORD unitsCode) {
  if (!line || !dash || count == 0 || !lengths || !std::isfinite(width)) return REPORT(E_INVALIDARG);
  if (count > SIZE_MAX / sizeof(double)) return REPORT(E_OUTOFMEMORY);
  std::unique_ptr<double, decltype(&std::free)> copy(
      static_cast<double*>(std::malloc(std::size_t{count} * sizeof(double))), &std::free);
  if (!copy) return REPORT(E_OUTOFMEMORY);
  for (DWORD i = 0; i < count; ++i) {
    if (!std::isfinite(lengths[i])) return REPORT(E_INVALIDARG);
    copy.get()[i] = lengths[i];
  }
  // A custom pattern keeps its first length at or below 0.0, as drawings made with it always have.
  if (copy.get()[0] > 0.0) copy.get()[0] = -copy.get()[0];
  const tagStyleSimpleDashTypeData data{unitsCode, count, copy.get(), 0, kCustomEndFraction, 0};
  const HRESULT hr = dash->SetData(&data);
  if (FAILED(hr)) return REPORT(hr);
  return SetDashedLine(line, dash, colour, width, unitsCode);
}

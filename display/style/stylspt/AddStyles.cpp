// The default style set of a new document: dash types, line styles, the solid fill, hatch patterns with their
// pattern fills, the text and dimension styles, and the zigzag symbol line, each created in the document's
// library and set up through its class's interface; the registration of the style types; HAddDefaultStyles.
#include "display/style/stylspt/AddStyles.h"

#include <cstring>
#include <initializer_list>
#include <numbers>
#include <span>

#include "display/style/server.h"
#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/StyleReport.h"
#include "display/style/stylspt/StyleExportHelpers.h"
#include "display/style/stylspt/StyleExports.h"
#include "host/halvorn/elements.h"
#include "host/halvorn/halvorn.h"
#include "host/quarnet/quarnet.h"
#include "host/sithe/sithe.h"
#include "services/daxutil/daxutil.h"

namespace {

constexpr char kSource[] = "addstyls";

using stylspt::Ask;

// ---- the failure a test puts in place of a call ----

struct FailPoint {
  LONG at;
  LONG seen;
  HRESULT hr;
};
FailPoint g_failPoint{};

bool FailsHere() { return ++g_failPoint.seen == g_failPoint.at; }

#define CALL(call) (FailsHere() ? g_failPoint.hr : (call))
#define TRY(call)                              \
  do {                                         \
    const HRESULT tried_ = CALL(call);         \
    if (FAILED(tried_)) return REPORT(tried_); \
  } while (0)

// ---- the set ----

constexpr DWORD kUnits = STYLE_UNITS_11;
constexpr DWORD kPlain = DASH_CURRENT_FORM;
constexpr DWORD kStretched = DASH_CURRENT_FORM | DASH_MODE_STRETCH;
constexpr double kPi = std::numbers::pi;

struct DashRow {
  UINT nameId;              // 0: the literal
  const wchar_t* literal;
  DWORD count;
  double lengths[6];        // signs as stored
  DWORD flags;
  double endFraction;
};

constexpr DashRow kDashRows[] = {
    {12210, nullptr, 2, {-0.0035, -0.00175}, kPlain, 0.5},
    {12211, nullptr, 4, {-0.014, 0.00175, 0.00175, 0.00175}, kPlain, 0.5},
    {12212, nullptr, 4, {-0.014, 0.00175, 0.00175, 0.00175}, kStretched, 0.5},
    {12203, nullptr, 6, {-0.014, 0.00175, 0.00175, 0.00175, 0.00175, 0.00175}, kPlain, 0.5},
    {12213, nullptr, 2, {0.00035, -0.00175}, kPlain, 1.0},
    {12214, nullptr, 4, {-0.007, 0.00175, 0.00035, 0.00175}, kPlain, 0.5},
    {12209, nullptr, 6, {-0.014, 0.00175, 0.00035, 0.00175, 0.00035, 0.00175}, kPlain, 0.5},
    {12201, nullptr, 6, {-0.014, 0.00175, -0.014, 0.00175, 0.00035, 0.00175}, kPlain, 0.5},
    {12202, nullptr, 4, {0.0, 0.0015875, -0.003175, 0.0015875}, kStretched, 0.0},
    {0, L"Hatch Dash 1", 2, {0.003175, 0.003175}, kPlain, 1.0},
    {0, L"Hatch Dash 2", 2, {0.003175, 0.00635}, kPlain, 1.0},
    {0, L"Hatch Dash 3", 2, {0.00449013, 0.00449013}, kPlain, 1.0},
    {0, L"Hatch Dash 4", 2, {0.00635, 0.00635}, kPlain, 1.0},
    {0, L"Hatch Dash 5", 4, {0.001588, 0.00580517, 0.001588, 0.00898017}, kPlain, 1.0},
    {0, L"Hatch Dash 6", 2, {0.004763, 0.004763}, kPlain, 1.0},
    {0, L"Hatch Dash 7", 2, {0.00508, 0.001905}, kPlain, 1.0},
    {0, L"Hatch Dash 8", 2, {0.003175, 0.003175}, kPlain, 1.0},
    {0, L"Hatch Dash 9", 2, {0.00635, 0.00635}, kPlain, 1.0},
    {0, L"Hatch Dash 10", 2, {0.004763, 0.003175}, kPlain, 1.0},
    {0, L"Hatch Dash 11", 6, {0.00035, 0.038608, 0.00035, 0.04315, 0.00035, 0.041275}, kPlain, 1.0},
    {0, L"Hatch Dash 12", 6, {0.00035, 0.020828, 0.00035, 0.034798, 0.00035, 0.013335}, kPlain, 1.0},
    {0, L"Hatch Dash 13", 6, {0.00035, 0.0127, 0.00035, 0.04572, 0.00035, 0.05969}, kPlain, 1.0},
    {0, L"Hatch Dash 14", 6, {0.00035, 0.00635, 0.00035, 0.029972, 0.00035, 0.03429}, kPlain, 1.0},
    {0, L"Hatch Dash 15", 2, {0.003175, 0.009525}, kPlain, 1.0},
    {0, L"Hatch Dash 16", 2, {0.00035, 0.001588}, kPlain, 1.0},
    {0, L"Hatch Dash 17", 2, {0.004763, 0.0311585245}, kPlain, 1.0},
    {0, L"Hatch Dash 18", 2, {0.004763, 0.0206375}, kPlain, 1.0},
};

struct LineRow {
  UINT nameId;
  double width;
  UINT dashNameId;  // 0: solid
};

constexpr LineRow kLineRows[] = {
    {12200, 0.00035, 0},     {12204, 0.0007, 0},      {12205, 0.00035, 12210},
    {12211, 0.00035, 12211}, {12203, 0.00035, 12203}, {12206, 0.00035, 12213},
    {12214, 0.00035, 12214}, {12207, 0.00035, 12209}, {12208, 0.00035, 12201},
};

struct Family {
  double angle, spacing, shift, originX, originY;
  int dash;  // "Hatch Dash <n>"; 0 for solid lines
};

struct HatchRow {
  UINT nameId;
  DWORD count;
  Family families[6];
};

// Spacings and origins as the set has always had them; the angles of row 12187 are 37.5, 7.5, -32.5 and -42.5
// degrees.
constexpr HatchRow kHatchRows[] = {
    {12200, 1, {{0, 0.003175, 0, 0, 0, 0}}},
    {12171, 2, {{0, 0.006985, 0, 0, 0, 7}, {kPi / 2, 0.006985, 0, 0, 0, 7}}},
    {12173, 1, {{0, 0.003175, 0.003175, 0, 0, 1}}},
    {12174, 2, {{0, 0.003175, 0, 0, 0, 0}, {kPi / 2, 0.003175, 0, 0, 0, 0}}},
    {12175, 3, {{0, 0.003175, 0, 0, 0, 0}, {kPi / 3, 0.003175, 0, 0, 0, 0}, {2 * kPi / 3, 0.003175, 0, 0, 0, 0}}},
    {12176, 3,
     {{0, 0.00274955, 0.004763, 0, 0, 2},
      {kPi / 3, 0.00274955, 0.004763, 0.003175, 0, 2},
      {2 * kPi / 3, 0.00274955, 0.004763, 0, 0, 2}}},
    {12177, 2, {{0, 0.00635, 0, 0, 0, 4}, {kPi / 4, 0.00449013, 0.00449013, 0.00635, 0, 5}}},
    {12178, 3,
     {{0, 0.005499261315, 0, 0, 0, 8},
      {kPi / 3, 0.005499261315, 0, 0, 0, 8},
      {2 * kPi / 3, 0.005499261315, 0, 0.001588, 0.00274963067, 8}}},
    {12179, 3,
     {{0, 0.005499261315, 0, 0, 0, 2},
      {kPi / 3, 0.005499261315, 0, 0.003175, 0, 2},
      {2 * kPi / 3, 0.005499261315, 0, 0, 0, 2}}},
    {12180, 3,
     {{0, 0.00824889196, 0.004763, -0.00238125, 0.00412444598, 6},
      {kPi / 3, 0.00824889196, 0.004763, 0, 0, 6},
      {2 * kPi / 3, 0.00824889196, 0.004763, 0, 0, 6}}},
    {12181, 2, {{0, 0.003175, 0, 0, 0, 1}, {kPi / 2, 0.003175, 0, 0, 0, 1}}},
    {12182, 2, {{0, 0.003175, 0.003175, 0, 0, 1}, {kPi / 2, 0.003175, 0.003175, 0.003175, 0, 1}}},
    {12183, 4,
     {{0, 0.003175, 0, 0, 0, 0},
      {3 * kPi / 4, 0.0089802462, 0, 0.001588, 0.001588, 3},
      {3 * kPi / 4, 0.0089802462, 0, 0.00238125, 0.001588, 3},
      {3 * kPi / 4, 0.0089802462, 0, 0.003175, 0.001588, 3}}},
    {12184, 3,
     {{0, 0.00635, 0, 0, 0, 0}, {kPi / 2, 0.0127, 0, 0, 0, 9}, {kPi / 2, 0.0127, 0, 0.00635, 0.00635, 9}}},
    {12185, 6,
     {{0, 0.00635, 0.00635, 0, 0, 9},
      {0, 0.00635, 0.00635, 0, 0.00238125, 9},
      {0, 0.00635, 0.00635, 0, 0.004763, 9},
      {kPi / 2, 0.00635, 0.00635, 0.00079375, 0.00555625, 9},
      {kPi / 2, 0.00635, 0.00635, 0.003175, 0.00555625, 9},
      {kPi / 2, 0.00635, 0.00635, 0.00555625, 0.00555625, 9}}},
    {12186, 4,
     {{0, 0.004763, 0, 0, 0, 0},
      {0, 0.004763, 0, 0, 0.00079375, 0},
      {0, 0.004763, 0, 0, 0.001588, 0},
      {0, 0.004763, 0, 0, 0.003175, 10}}},
    {12187, 4,
     {{0.6544984695, 0.0398018, 0.0285242, 0, 0, 11},
      {0.1308996939, 0.0652018, 0.0539242, 0, 0, 12},
      {-0.5672320069, 0.0426212, 0.06663436, -0.031242, 0, 13},
      {-0.7417649321, 0.0680212, 0.04123436, -0.031242, 0, 14}}},
    {12188, 2, {{0, 0.00635, 0.00635, 0, 0, 15}, {kPi / 2, 0.00635, 0.00635, 0.001588, -0.001588, 15}}},
    {12189, 1, {{0, 0.001588, 0.00079375, 0, 0, 16}}},
    {12190, 3,
     {{kPi / 2, 0.01796051224, 0.01796051224, 0, 0, 17},
      {kPi / 4, 0.0254, 0, 0, 0, 18},
      {3 * kPi / 4, 0.0254, 0, 0, 0, 18}}},
    {12191, 2, {{0, 0.00079375, 0.00635, 0, 0, 0}, {kPi / 2, 0.003175, 0.00635, 0.001588, -0.001588, 0}}},
    {12192, 3,
     {{0, 0.009525, 0, 0, 0, 0}, {0, 0.009525, 0, 0, 0.003175, 8}, {0, 0.009525, 0, 0, 0.00635, 8}}},
};

constexpr UINT kFirstNameId = 12200;
constexpr UINT kSolidFillNameId = 12199;
constexpr double kLineWidth = 0.00035;
constexpr double kTextSize = 0.003175;
constexpr DWORD kTextSizeUnits = 13;
constexpr double kStopSpacing = 0.00635;
constexpr DWORD kLineSpacingMode = 18;
constexpr DWORD kSolidFillColour = 0x00FF0000;

struct Builder {
  IUnknown* document;
  IJSLLibrarian* librarian;
  HMODULE module;
};

HRESULT LoadName(const Builder& b, UINT id, GUserText& text) {
  return text.LoadStringResource(b.module, id) ? S_OK : REPORT(E_FAIL);
}

// A new style of the class, or the one of that name the library already holds (*kept true), which stays as it
// is: configured again it would gain every hatch family a second time and lose its user's settings.
HRESULT Create(const Builder& b, REFCLSID clsid, LPCWSTR name, const GUID& type, DWORD* id,
               StyleComPtr<IUnknown>& object, bool* kept) {
  HRESULT hr = CALL(HCreateStyleInLib(b.document, &clsid, name, &type, 0, id, object.Put()));
  if (SUCCEEDED(hr) && !object) hr = E_FAIL;
  if (FAILED(hr)) return REPORT(hr);
  *kept = hr == kStyleNameExists;
  return S_OK;
}

// The library's object of the named style of the type.
HRESULT Lookup(const Builder& b, LPCWSTR name, const GUID& type, StyleComPtr<IUnknown>& object) {
  DWORD id = 0;
  TRY(b.librarian->FindOrCreateStyleID(name, &type, &id));
  HRESULT hr = CALL(b.librarian->GetStyle(id, object.Put()));
  if (SUCCEEDED(hr) && !object) hr = E_FAIL;
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT AddDashTypes(const Builder& b) {
  GUserText text;
  for (const DashRow& row : kDashRows) {
    LPCWSTR name = row.literal;
    if (!name) {
      if (FAILED(LoadName(b, row.nameId, text))) return E_FAIL;
      name = text.Wide();
    }
    DWORD id = 0;
    bool kept = false;
    StyleComPtr<IUnknown> object;
    HRESULT hr = Create(b, CLSID_JStyleSimpleDashType, name, STYLETYPE_Dash, &id, object, &kept);
    if (FAILED(hr)) return hr;
    if (kept) continue;
    StyleComPtr<IJStyleSimpleDashType> dash;
    TRY(Ask(object.Get(), IID_IJStyleSimpleDashType, dash));
    const tagStyleSimpleDashTypeData data{kUnits, row.count, row.lengths, row.flags, row.endFraction, 0};
    TRY(dash->SetData(&data));
  }
  return S_OK;
}

HRESULT SetUpLine(const Builder& b, IUnknown* object, const LineRow& row) {
  StyleComPtr<IJStyleSimpleLine> line;
  TRY(Ask(object, IID_IJStyleSimpleLine, line));
  TRY(line->SetColor(0));
  TRY(line->SetWidth(row.width));
  TRY(line->SetUnits(kUnits));
  if (row.dashNameId != 0) {
    GUserText dashName;
    if (FAILED(LoadName(b, row.dashNameId, dashName))) return E_FAIL;
    StyleComPtr<IUnknown> dash;
    const HRESULT hr = Lookup(b, dashName.Wide(), STYLETYPE_Dash, dash);
    if (FAILED(hr)) return hr;
    TRY(line->SetDashType(dash.Get()));
  }
  tagStyleSimpleLineData data{};
  TRY(line->GetData(&data));
  data.styleFlags |= SLINE_FIT;
  TRY(line->SetData(&data));
  return S_OK;
}

HRESULT AddLineStyles(const Builder& b) {
  GUserText name;
  for (const LineRow& row : kLineRows) {
    if (FAILED(LoadName(b, row.nameId, name))) return E_FAIL;
    DWORD id = 0;
    bool kept = false;
    StyleComPtr<IUnknown> object;
    HRESULT hr = Create(b, CLSID_JStyleSimpleLine, name.Wide(), STYLETYPE_Linear, &id, object, &kept);
    if (FAILED(hr)) return hr;
    if (&row == &kLineRows[0]) TRY(b.librarian->SetActiveStyleID(&STYLETYPE_Linear, id));
    if (kept) continue;
    if (FAILED(hr = SetUpLine(b, object.Get(), row))) return hr;
  }
  return S_OK;
}

HRESULT AddSolidFill(const Builder& b) {
  GUserText name;
  if (FAILED(LoadName(b, kSolidFillNameId, name))) return E_FAIL;
  DWORD id = 0;
  bool kept = false;
  StyleComPtr<IUnknown> object;
  const HRESULT hr = Create(b, CLSID_JStyleSimpleFill, name.Wide(), STYLETYPE_Fill, &id, object, &kept);
  if (FAILED(hr)) return hr;
  TRY(b.librarian->SetActiveStyleID(&STYLETYPE_Fill, id));
  if (kept) return S_OK;
  StyleComPtr<IJStyleSimpleFill> fill;
  TRY(Ask(object.Get(), IID_IJStyleSimpleFill, fill));
  TRY(fill->SetHasColor(TRUE));
  TRY(fill->SetColor(kSolidFillColour));
  return S_OK;
}

// The families of a row; a family drawn with the dash type of the one before reuses its interface.
HRESULT AddFamilies(const Builder& b, IUnknown* object, const HatchRow& row) {
  StyleComPtr<IJStyleHatchFill> hatch;
  TRY(Ask(object, IID_IJStyleHatchFill, hatch));
  TRY(hatch->SetUnits(kUnits));
  StyleComPtr<IJStyleDashTypeRender> dash;
  int dashNumber = 0;
  for (DWORD i = 0; i < row.count; ++i) {
    const Family& family = row.families[i];
    if (family.dash != dashNumber) {
      dash.Reset();
      dashNumber = family.dash;
      if (dashNumber != 0) {
        wchar_t dashName[24];
        wsprintfW(dashName, L"Hatch Dash %d", dashNumber);
        StyleComPtr<IUnknown> found;
        const HRESULT hr = Lookup(b, dashName, STYLETYPE_Dash, found);
        if (FAILED(hr)) return hr;
        TRY(Ask(found.Get(), IID_IJStyleDashTypeRender, dash));
      }
    }
    HatchFamilyDesc desc{};
    desc.angle = family.angle;
    desc.spacing = family.spacing;
    desc.shift = family.shift;
    desc.originX = family.originX;
    desc.originY = family.originY;
    desc.width = kLineWidth;
    desc.dashType = dash.Get();
    LONG index = -1;
    TRY(hatch->AddFamily(&desc, &index));
  }
  return S_OK;
}

HRESULT AddPatternFill(const Builder& b, LPCWSTR name, IUnknown* pattern, bool first) {
  DWORD id = 0;
  bool kept = false;
  StyleComPtr<IUnknown> object;
  const HRESULT hr = Create(b, CLSID_JStyleSimpleFill, name, STYLETYPE_Fill, &id, object, &kept);
  if (FAILED(hr)) return hr;
  if (!kept) {
    StyleComPtr<IJStyleSimpleFill> fill;
    TRY(Ask(object.Get(), IID_IJStyleSimpleFill, fill));
    TRY(fill->SetHasColor(FALSE));
    TRY(fill->SetColor(kNoFillColour));
    TRY(fill->SetPattern(pattern));
  }
  if (first) TRY(b.librarian->SetActiveStyleID(&STYLETYPE_Fill, id));
  return S_OK;
}

HRESULT AddHatchPatterns(const Builder& b) {
  GUserText name;
  for (const HatchRow& row : kHatchRows) {
    if (FAILED(LoadName(b, row.nameId, name))) return E_FAIL;
    DWORD id = 0;
    bool kept = false;
    StyleComPtr<IUnknown> hatch;
    HRESULT hr = Create(b, CLSID_JStyleHatchFill, name.Wide(), STYLETYPE_HatchFillPattern, &id, hatch, &kept);
    if (FAILED(hr)) return hr;
    if (!kept && FAILED(hr = AddFamilies(b, hatch.Get(), row))) return hr;
    if (FAILED(hr = AddPatternFill(b, name.Wide(), hatch.Get(), &row == &kHatchRows[0]))) return hr;
  }
  return S_OK;
}

// The render service's default font, cut to the buffer: an answer without its terminator cannot run past it.
HRESULT DefaultFontName(wchar_t (&buffer)[kSitheFontNameLength]) {
  StyleComPtr<IUnknown> object;
  TRY(GetRenderService(object.Put()));
  StyleComPtr<ISitheRenderService> service;
  HRESULT hr = CALL(object ? Ask(object.Get(), IID_ISitheRenderService, service) : E_FAIL);
  if (FAILED(hr)) return REPORT(hr);
  TRY(service->GetDefaultFontName(buffer));
  buffer[kSitheFontNameLength - 1] = L'\0';
  return S_OK;
}

HRESULT SetUpCharStyle(IUnknown* object, LPWSTR font, LANGID language) {
  StyleComPtr<IJStyleTextChar> text;
  TRY(Ask(object, IID_IJStyleTextChar, text));
  TextCharData data{};
  data.unitsCode = kUnits;
  data.fontName = font;
  data.sizeUnits = kTextSizeUnits;
  data.size = kTextSize;
  TRY(text->SetCharData(&data));
  TRY(text->SetUnits(kUnits));
  TRY(text->SetAttributeBits(0));
  TRY(text->SetLanguage(language));
  return S_OK;
}

HRESULT SetUpParaStyle(IUnknown* object, IUnknown* charStyle) {
  StyleComPtr<IJStyleTextPara> para;
  TRY(Ask(object, IID_IJStyleTextPara, para));
  TRY(para->SetCharStyle(charStyle, 1));
  TRY(para->SetParaUnits(kUnits));
  TRY(para->SetParaValueByte1(0));
  TRY(para->SetDistance4(0.0));
  TRY(para->SetDistance5(0.0));
  ParaStopEntry stops[kParaStopCount] = {};
  for (ParaStopEntry& stop : stops) stop.value = kStopSpacing;
  TRY(para->SetStopEntries(kParaStopCount, stops));
  TRY(para->SetLineSpacingWithMode(1.0, kLineSpacingMode));
  return S_OK;
}

HRESULT AddTextStyles(const Builder& b) {
  wchar_t font[kSitheFontNameLength] = {};
  HRESULT hr = DefaultFontName(font);
  if (FAILED(hr)) return hr;
  const LANGID language = GetUserDefaultLangID();
  GUserText name;
  if (FAILED(LoadName(b, kFirstNameId, name))) return E_FAIL;

  DWORD charID = 0, paraID = 0;
  bool kept = false;
  StyleComPtr<IUnknown> charStyle, paraStyle;
  if (FAILED(hr = Create(b, CLSID_JStyleTextChar, name.Wide(), STYLETYPE_TextChar, &charID, charStyle, &kept))) {
    return hr;
  }
  if (!kept && FAILED(hr = SetUpCharStyle(charStyle.Get(), font, language))) return hr;
  if (FAILED(hr = Create(b, CLSID_JStyleTextPara, name.Wide(), STYLETYPE_TextPara, &paraID, paraStyle, &kept))) {
    return hr;
  }
  if (!kept && FAILED(hr = SetUpParaStyle(paraStyle.Get(), charStyle.Get()))) return hr;
  TRY(b.librarian->SetActiveStyleID(&STYLETYPE_TextPara, paraID));
  return S_OK;
}

// ---- dimension styles ----

struct DimByte {
  WORD at;
  BYTE value;
};
struct DimDouble {
  WORD at;
  double value;
};
struct DimText {
  WORD at;
  const wchar_t* text;
};

// What each variant writes over the library's default record.
struct DimVariant {
  std::span<const DimByte> bytes;
  std::span<const DimDouble> doubles;
  std::span<const DimText> texts;
};

constexpr DimByte kVariant1Bytes[] = {{3, 1},    {8, 5},    {11, 5},   {13, 0},   {14, 1},   {100, 3},
                                      {103, 4},  {105, 1},  {106, 0},  {497, 1},  {498, 2},  {505, 1},
                                      {593, 0},  {866, 7},  {1297, 2}, {1298, 2}};
constexpr DimDouble kVariant1Doubles[] = {{200, 0.003175}, {224, 0.8}, {552, 0.5}};
constexpr DimByte kVariant2Bytes[] = {{3, 1}, {593, 0}, {865, 1}};
constexpr DimDouble kVariant2Doubles[] = {{224, 0.8}};
constexpr DimByte kVariant3Bytes[] = {{3, 1}, {501, 3}, {503, 3}, {505, 1}};
constexpr DimDouble kVariant3Doubles[] = {{200, 0.0045}};
constexpr DimByte kVariant4Bytes[] = {{2, 2},   {3, 1},   {4, 0x12}, {8, 1},   {9, 1},   {10, 2},  {11, 3},
                                      {100, 4}, {101, 1}, {102, 2},  {103, 3}, {105, 1}, {106, 0}, {498, 2},
                                      {504, 4}, {592, 1}, {593, 0},  {866, 0}};
constexpr DimDouble kVariant4Doubles[] = {{200, 0.003175}, {224, 0.8}, {552, 0.5}};
constexpr DimText kVariant4Texts[] = {{16, L"'"}, {58, L"\""}};

constexpr DimVariant kLibraryDefault{};
constexpr DimVariant kVariant1{kVariant1Bytes, kVariant1Doubles, {}};
constexpr DimVariant kVariant2{kVariant2Bytes, kVariant2Doubles, {}};
constexpr DimVariant kVariant3{kVariant3Bytes, kVariant3Doubles, {}};
constexpr DimVariant kVariant4{kVariant4Bytes, kVariant4Doubles, kVariant4Texts};

constexpr DimByte kEveryRow[] = {{888, 1}};
constexpr DimByte kRow4[] = {{866, 7}, {872, 1}, {888, 1}};

struct DimRow {
  UINT nameId;
  const DimVariant* variant;
  std::span<const DimByte> changes;
};

constexpr DimRow kDimRows[] = {
    {12193, &kVariant1, kEveryRow}, {12194, &kVariant4, kEveryRow}, {12195, &kVariant2, kEveryRow},
    {12196, &kLibraryDefault, kRow4}, {12197, &kLibraryDefault, kEveryRow}, {12198, &kVariant3, kEveryRow},
};

void Apply(BYTE* record, std::span<const DimByte> bytes) {
  for (const DimByte& b : bytes) record[b.at] = b.value;
}

void FillDimRecord(BYTE (&record)[kDimensionRecordSize], const DimRow& row) {
  std::memset(record, 0, sizeof record);
  InitDefaultDimensionRecord(record);
  Apply(record, row.variant->bytes);
  for (const DimDouble& d : row.variant->doubles) std::memcpy(record + d.at, &d.value, sizeof d.value);
  for (const DimText& t : row.variant->texts) {
    std::memcpy(record + t.at, t.text, (wcslen(t.text) + 1) * sizeof(wchar_t));
  }
  Apply(record, row.changes);
}

HRESULT AddDimensionStyles(const Builder& b) {
  GUserText name;
  for (const DimRow& row : kDimRows) {
    if (FAILED(LoadName(b, row.nameId, name))) return E_FAIL;
    DWORD id = 0;
    bool kept = false;
    StyleComPtr<IUnknown> object;
    const HRESULT hr = Create(b, CLSID_HostDimensionStyle, name.Wide(), STYLETYPE_Dimension, &id, object, &kept);
    if (FAILED(hr)) return hr;
    if (!kept) {
      StyleComPtr<IJHostDimensionStyle> dimension;
      TRY(Ask(object.Get(), IID_IJHostDimensionStyle, dimension));
      BYTE record[kDimensionRecordSize];
      FillDimRecord(record, row);
      TRY(dimension->SetRecord(record));
    }
    if (&row == &kDimRows[0]) TRY(b.librarian->SetActiveStyleID(&STYLETYPE_Dimension, id));
  }
  return S_OK;
}

// ---- the symbol line ----

constexpr UINT kSymbolNameId = 12215;
// The zigzag: three segments in symbol coordinates, start and end.
constexpr double kZigzag[3][2][2] = {{{-0.01, 0.0}, {-0.005, 0.005}},
                                     {{-0.005, 0.005}, {0.005, -0.005}},
                                     {{0.005, -0.005}, {0.01, 0.0}}};
constexpr double kSymbolDashLengths[] = {-0.007, 0.0, -0.007, 0.0};
// The IIDs under which the document takes the symbol's graphic and its segments.
constexpr IID kGraphicPlacement = {0xC1430B82, 0xCE5D, 0x11CE, {0x94, 0x72, 0x08, 0x00, 0x36, 0x1C, 0x06, 0x02}};
constexpr IID kSegmentPlacement = {0x77169D81, 0xEC58, 0x11CD, {0xBB, 0x2E, 0x08, 0x00, 0x36, 0x01, 0xBD, 0xA9}};
constexpr DWORD kHostCreation = 1;

// The object is placed in the document under the document itself.
HRESULT PlaceInDocument(IJDocumentNamedObjects* home, IUnknown* object, const IID& iid) {
  TRY(DocumentInsertObject(home, object, 0, home, iid));
  return S_OK;
}

HRESULT AddSegment(IJDocumentNamedObjects* home, IUnknown* group, const double (&ends)[2][2], DWORD styleID) {
  QuarnetGeometry2d geometry{};
  LONG rc = 0;
  GeomFromTwoPoints2d(&geometry, ends[0], ends[1], &rc);
  if (rc != 0) return E_FAIL;
  StyleComPtr<IUnknown> segment;
  HRESULT hr = CALL(JCoCreateInstance(CLSID_HostLineSegment, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                      segment.PutVoid(), kHostCreation));
  if (SUCCEEDED(hr) && !segment) hr = E_FAIL;
  if (FAILED(hr)) {
    if (RCfatalerr(CLSID_HostLineSegment, 1, hr, kSource, __LINE__) != 0 && IsDebuggerPresent()) DebugBreak();
    return REPORT(hr);
  }
  StyleComPtr<IJHostLineGeometry> line;
  TRY(Ask(segment.Get(), IID_IJHostLineGeometry, line));
  TRY(line->SetGeometry(&geometry));
  if (FAILED(hr = PlaceInDocument(home, segment.Get(), kSegmentPlacement))) return hr;
  TRY(AddDefaultStyleObject(group, segment.Get()));
  StyleComPtr<IJStyledElement> styled;
  TRY(Ask(segment.Get(), IID_IJStyledElement, styled));
  TRY(styled->SetStyleID(styleID));
  return S_OK;
}

// ---- the style types and the activation of existing defaults ----

struct TypeRow {
  const GUID* type;
  const IID* iid;
};

constexpr TypeRow kTypeRows[] = {
    {&STYLETYPE_Dash, &IID_IJStyleDashTypeRender},
    {&STYLETYPE_Linear, &IID_IJStyleRender},
    {&STYLETYPE_Fill, &IID_IJStyleRender},
    {&STYLETYPE_TextChar, &IID_IJStyleRender},
    {&STYLETYPE_TextPara, &IID_IJStyleTextPara},
    {&STYLETYPE_Dimension, &IID_IUnknown},
    {&STYLETYPE_BriskFrame, &IID_IUnknown},
    {&STYLETYPE_HatchFillPattern, &IID_IJStyleFillTypeRender},
    {&STYLETYPE_SymbolFillPattern, &IID_IJStyleFillTypeRender},
    {&STYLETYPE_SegmentedStyle, &IID_IJStylePrerender},
    {&STYLETYPE_PointSymbol, &IID_IJStyleRender},
    {&STYLETYPE_LinePointGen, &IID_IJStyleRender},
};

// The librarian of the document, which the caller releases.
HRESULT LibrarianOf(IUnknown* document, StyleComPtr<IJSLLibrarian>& librarian) {
  HRESULT hr = CALL(GetStyleLibrarian(document, librarian.Put()));
  if (SUCCEEDED(hr) && !librarian) hr = E_FAIL;
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT ActivateByName(IJSLLibrarian* librarian, LPCWSTR name, const GUID& type) {
  DWORD id = 0;
  TRY(librarian->FindOrCreateStyleID(name, &type, &id));
  TRY(librarian->SetActiveStyleID(&type, id));
  return S_OK;
}

// The default names made active where the library has them; stops at the first type without its name.
HRESULT ActivateDefaults(IJSLLibrarian* librarian) {
  HMODULE module = GetStyleResourceModule();
  GUserText name;
  if (!module || !name.LoadStringResource(module, kFirstNameId)) return REPORT(E_FAIL);
  for (const GUID* type : {&STYLETYPE_Linear, &STYLETYPE_Fill, &STYLETYPE_TextPara}) {
    const HRESULT hr = ActivateByName(librarian, name.Wide(), *type);
    if (FAILED(hr)) return hr;
  }
  if (!name.LoadStringResource(module, kDimRows[0].nameId)) return REPORT(E_FAIL);
  return ActivateByName(librarian, name.Wide(), STYLETYPE_Dimension);
}

}  // namespace

HRESULT AddDefaultStyleSet(IUnknown* document) {
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  const Builder builder{document, librarian.Get(), GetStyleResourceModule()};
  if (!builder.module) return REPORT(E_FAIL);
  for (HRESULT (*section)(const Builder&) : {AddDashTypes, AddLineStyles, AddSolidFill, AddHatchPatterns,
                                             AddTextStyles, AddDimensionStyles}) {
    if (FAILED(hr = section(builder))) return hr;
  }
  return S_OK;
}

HRESULT AddDefaultSymbolLineStyle(IUnknown* document) {
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  const Builder b{document, librarian.Get(), GetStyleResourceModule()};
  GUserText name;
  if (!b.module || FAILED(LoadName(b, kSymbolNameId, name))) return REPORT(E_FAIL);
  // Built before: a second symbol, generator and unnamed line would only be orphans.
  DWORD id = 0;
  if (SUCCEEDED(librarian->FindStyleIDByName(name.Wide(), &STYLETYPE_Linear, &id)) && id != 0) return S_OK;

  // The document that owns the library, which also takes the symbol's graphic objects.
  StyleComPtr<IJDocumentNamedObjects> home;
  TRY(GetObjectDocument(librarian.Get(), home.Put()));
  StyleComPtr<IUnknown> group;
  hr = CALL(JCoCreateInstance(CLSID_HostGraphicGroup, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, group.PutVoid(),
                              kHostCreation));
  if (SUCCEEDED(hr) && !group) hr = E_FAIL;
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJGraphic> graphic;
  TRY(Ask(group.Get(), IID_IJGraphic, graphic));
  if (FAILED(hr = PlaceInDocument(home.Get(), graphic.Get(), kGraphicPlacement))) return hr;

  bool kept = false;
  DWORD segmentStyleID = 0;
  StyleComPtr<IUnknown> segmentStyle;
  if (FAILED(hr = Create(b, CLSID_JStyleSimpleLine, nullptr, STYLETYPE_Linear, &segmentStyleID, segmentStyle,
                         &kept))) {
    return hr;
  }
  {
    StyleComPtr<IJStyleSimpleLine> line;
    TRY(Ask(segmentStyle.Get(), IID_IJStyleSimpleLine, line));
    TRY(line->SetColor(0));
    TRY(line->SetWidth(kLineWidth));
    TRY(line->SetUnits(kUnits));
  }
  for (const auto& ends : kZigzag) {
    if (FAILED(hr = AddSegment(home.Get(), graphic.Get(), ends, segmentStyleID))) return hr;
  }

  DWORD symbolID = 0, generatorID = 0, dashID = 0, lineID = 0;
  StyleComPtr<IUnknown> symbol, generator, dash, line;
  if (FAILED(hr = Create(b, CLSID_JStylePointSymbol, name.Wide(), STYLETYPE_PointSymbol, &symbolID, symbol, &kept))) {
    return hr;
  }
  if (!kept) {
    StyleComPtr<IJStylePointSymbol> point;
    TRY(Ask(symbol.Get(), IID_IJStylePointSymbol, point));
    TRY(point->SetUnits(kUnits));
    TRY(point->SetGraphic(graphic.Get()));
  }
  if (FAILED(hr = Create(b, CLSID_JStyleLinePointGen, nullptr, STYLETYPE_LinePointGen, &generatorID, generator,
                         &kept))) {
    return hr;
  }
  {
    StyleComPtr<IJStyleLinePointGen> points;
    TRY(Ask(generator.Get(), IID_IJStyleLinePointGen, points));
    TRY(points->SetEntry(1, symbol.Get(), 0.5f, 0.0, 0.0, 0.0, 0, 0));
    TRY(points->SetUnits(kUnits));
  }
  if (FAILED(hr = Create(b, CLSID_JStyleSimpleDashType, name.Wide(), STYLETYPE_Dash, &dashID, dash, &kept))) {
    return hr;
  }
  if (!kept) {
    StyleComPtr<IJStyleSimpleDashType> simple;
    TRY(Ask(dash.Get(), IID_IJStyleSimpleDashType, simple));
    const tagStyleSimpleDashTypeData data{kUnits, 4, kSymbolDashLengths, kStretched, 1.0, 0};
    TRY(simple->SetData(&data));
    // The generator serves the pattern's second entry: without it no symbol would be drawn.
    StyleComPtr<IJStyleDashType> clients;
    TRY(Ask(dash.Get(), IID_IJStyleDashType, clients));
    const DWORD ids[4] = {0, generatorID, 0, 0};
    TRY(clients->SetClientIDs(4, ids));
  }
  if (FAILED(hr = Create(b, CLSID_JStyleSimpleLine, name.Wide(), STYLETYPE_Linear, &lineID, line, &kept))) {
    return hr;
  }
  StyleComPtr<IJStyleSimpleLine> styled;
  TRY(Ask(line.Get(), IID_IJStyleSimpleLine, styled));
  TRY(styled->SetDashType(dash.Get()));
  TRY(styled->SetColor(0));
  TRY(styled->SetWidth(kLineWidth));
  TRY(styled->SetWidthFixed());
  TRY(styled->SetColorFixed());
  TRY(styled->SetUnits(kUnits));
  tagStyleSimpleLineData data{};
  TRY(styled->GetData(&data));
  data.styleFlags |= SLINE_FIT;
  TRY(styled->SetData(&data));
  return S_OK;
}

HRESULT RegisterDefaultStyleTypes(IUnknown* document) {
  StyleComPtr<IJSLLibrarian> librarian;
  const HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  for (const TypeRow& row : kTypeRows) TRY(librarian->RegisterType(*row.type, 0, 0, *row.iid));
  return S_OK;
}

HRESULT WINAPI HAddDefaultStyles(IUnknown* document, BOOL fullSet) {
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  if (!fullSet) return ActivateDefaults(librarian.Get());
  for (HRESULT (*builder)(IUnknown*) : {RegisterDefaultStyleTypes, AddDefaultStyleSet, AddDefaultSymbolLineStyle}) {
    if (FAILED(hr = builder(document))) return hr;
  }
  return S_OK;
}

LONG DefaultStylesFailAt(LONG n, HRESULT hr) {
  const LONG seen = g_failPoint.seen;
  g_failPoint = FailPoint{n, 0, hr};
  return seen;
}

const DefaultStyleFunctions* GetDefaultStyleFunctions() {
  static constexpr DefaultStyleFunctions kFunctions{&AddDefaultStyleSet, &DefaultStylesFailAt,
                                                    &RegisterDefaultStyleTypes, &AddDefaultSymbolLineStyle};
  return &kFunctions;
}

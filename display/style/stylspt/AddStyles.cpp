// The default style set: dash types, line styles, the solid fill, hatch patterns with their pattern fills and
// the text styles, each created in the document's library and set up through its class's interface.
#include "display/style/stylspt/AddStyles.h"

#include <initializer_list>
#include <numbers>

#include "display/style/server.h"
#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/StyleReport.h"
#include "display/style/stylspt/StyleExportHelpers.h"
#include "display/style/stylspt/StyleExports.h"
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

}  // namespace

HRESULT AddDefaultStyleSet(IUnknown* document) {
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = CALL(GetStyleLibrarian(document, librarian.Put()));
  if (SUCCEEDED(hr) && !librarian) hr = E_FAIL;
  if (FAILED(hr)) return REPORT(hr);
  const Builder builder{document, librarian.Get(), GetStyleResourceModule()};
  if (!builder.module) return REPORT(E_FAIL);
  for (HRESULT (*section)(const Builder&) : {AddDashTypes, AddLineStyles, AddSolidFill, AddHatchPatterns,
                                             AddTextStyles}) {
    if (FAILED(hr = section(builder))) return hr;
  }
  return S_OK;
}

LONG DefaultStylesFailAt(LONG n, HRESULT hr) {
  const LONG seen = g_failPoint.seen;
  g_failPoint = FailPoint{n, 0, hr};
  return seen;
}

const DefaultStyleFunctions* GetDefaultStyleFunctions() {
  static constexpr DefaultStyleFunctions kFunctions{&AddDefaultStyleSet, &DefaultStylesFailAt};
  return &kFunctions;
}

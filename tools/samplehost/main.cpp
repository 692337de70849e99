// The sample host: what a drafting host does with stylesrv.dll. It loads the library, asks a class object for every
// CLSID the server serves, creates an object of each class that exists, draws a solid, a dashed and an overridden
// line, a line with an arrow symbol at each of its points, a dashed line with arrows generated along it, a gallery
// of fills, a multiplexed line, a line with arrowheads at both ends, hatches, symbol fills, pictures, text, a
// library's line style before and after the host's line-style page edited it through its workbench, and a rectangle
// with its offset outline into the rendering library's recording target and writes the picture as an SVG file, keeps
// a style library in a document and creates, finds and names a line style there through the exported functions,
// gives elements of a drawing styles and has the library check the use counts against the references they hold,
// chooses the font and language of a text style, builds the default style set into a new document and draws a
// gallery of it, checks that the library may be unloaded and unloads it, telling each step on standard output. It
// ends non-zero when a step goes wrong.
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include "display/style/stylesrv_clsid.h"
#include "display/style/stylesrv_itf.h"
#include "display/style/stylspt/StyleExports.h"
#include "host/app/dimension_style.h"
#include "host/app/graphic_element.h"
#include "host/app/render_context.h"
#include "host/app/styled_element.h"
#include "host/app/symbol_graphics.h"
#include "host/halvorn/halvorn.h"
#include "host/pellow/pellow.h"
#include "host/sithe/sithe.h"

namespace {

template <class F>
F FindExport(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

const char* Name(HRESULT hr) {
  switch (hr) {
    case S_OK: return "S_OK";
    case S_FALSE: return "S_FALSE";
    case E_FAIL: return "E_FAIL";
    case E_NOINTERFACE: return "E_NOINTERFACE";
    case E_OUTOFMEMORY: return "E_OUTOFMEMORY";
    case E_INVALIDARG: return "E_INVALIDARG";
    case CLASS_E_NOAGGREGATION: return "CLASS_E_NOAGGREGATION";
    default: return "error";
  }
}

void PrintClsid(REFCLSID clsid) {
  wchar_t text[40];
  StringFromGUID2(clsid, text, 40);
  std::printf("%ls", text);
}

// An object of a class of the library, asked for one of its interfaces; null (and said so) on failure.
template <class T>
T* Create(decltype(&DllGetClassObject) getClassObject, REFCLSID clsid, REFIID iid, const char* what) {
  IClassFactory* factory = nullptr;
  T* object = nullptr;
  HRESULT hr = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (SUCCEEDED(hr)) {
    hr = factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&object));
    factory->Release();
  }
  if (FAILED(hr)) std::printf("samplehost: no %s: %s (0x%08lX)\n", what, Name(hr), static_cast<unsigned long>(hr));
  return object;
}

template <class T>
void ReleaseAll(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

// Draws a style along a point list with the given record, or an empty one.
HRESULT DrawPoints(IJStyleRender* style, IRenderTarget2d* target, const RenderContextScales& context, double* points,
                   DWORD count, const StyleElementRecord* element = nullptr, const tagStyleOverride* given = nullptr) {
  StylePointRun run{points, count, {0, 0}};
  StyleGeometryRecord geometry{};
  geometry.pointList = &run;
  tagStyleOverride record{};
  record.recordCode = kStyleOverrideRecordCode;
  return style->RenderWithContext(&geometry, target, &context, nullptr, given ? given : &record, element);
}

// Draws one line of the picture: a polyline with a kink, placed at height y.
HRESULT DrawLine(IJStyleRender* style, IRenderTarget2d* target, const RenderContextScales& context, double y,
                 const StyleElementRecord* element = nullptr) {
  double points[] = {10, y, 0, 90, y, 0, 120, y + 15, 0, 190, y + 15, 0};
  return DrawPoints(style, target, context, points, 4, element);
}

// An arrow head pointing along x to the origin, made of two line elements of the host, as a symbol definition.
IUnknown* ArrowSymbol(HMODULE library) {
  const auto createLiteSymbol =
      FindExport<HRESULT(WINAPI*)(IUnknown**, DWORD, IUnknown**)>(library, "CreateLiteSymbol");
  if (!createLiteSymbol) return nullptr;
  IUnknown* lines[] = {host_app::CreatePolylineElement({-6, 3, 0, 0, 0, 0}),
                       host_app::CreatePolylineElement({-6, -3, 0, 0, 0, 0})};
  IUnknown* arrow = nullptr;
  if (FAILED(createLiteSymbol(lines, 2, &arrow))) arrow = nullptr;
  for (IUnknown* line : lines) line->Release();
  return arrow;
}

// The arrow at every point of the line at height y, turned along the segment that leaves the point (the last
// point along the one that reaches it); the recording target is the element's display, which places them.
HRESULT DrawArrows(IJStyleRender* style, IRenderTarget2d* target, const RenderContextScales& context, double y) {
  const double line[] = {10, y, 0, 90, y, 0, 120, y + 15, 0, 190, y + 15, 0};
  StyleOrientedPoint points[4];
  for (int i = 0; i < 4; ++i) {
    const int from = i < 3 ? i : 2;
    points[i] = StyleOrientedPoint{{line[3 * i], line[3 * i + 1], 0},
                                   {0, 0, 1},
                                   {line[3 * from + 3] - line[3 * from], line[3 * from + 4] - line[3 * from + 1], 0}};
  }
  StylePointRun run{points, 4, {0, 0}};
  StyleGeometryRecord geometry{};
  geometry.type = kGeometryOrientedPoints;
  geometry.pointList = &run;
  StyleElementRecord element{};
  element.display = target;
  return style->RenderWithContext(&geometry, target, &context, nullptr, nullptr, &element);
}

// A simple fill and its render interface; null (and no fill) when either is missing.
IJStyleRender* NewSimpleFill(decltype(&DllGetClassObject) getClassObject, IJStyleSimpleFill** fill) {
  *fill = Create<IJStyleSimpleFill>(getClassObject, CLSID_JStyleSimpleFill, IID_IJStyleSimpleFill, "simple fill");
  IJStyleRender* render = nullptr;
  if (*fill) (*fill)->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&render));
  if (!render) ReleaseAll(*fill);
  return render;
}

// A gallery of fills above the arrows: a square with a square hole (one run of two loops), two triangles in one
// boundary (two runs), and a colourless fill, which fills nothing and is outlined with the given line style.
int DrawFills(decltype(&DllGetClassObject) getClassObject, ISitheRecording* recording, IRenderTarget2d* target,
              const RenderContextScales& context, IJStyleRender* outline) {
  IJStyleSimpleFill* fill = nullptr;
  IJStyleRender* render = NewSimpleFill(getClassObject, &fill);
  if (!render) return 1;
  constexpr double kRun = DBL_MAX, kLoop = -DBL_MAX;
  double holed[] = {10, 180, 0, 60, 180, 0, 60, 230, 0, 10, 230, 0, kLoop, 0, 0,
                    25, 195, 0, 45, 195, 0, 45, 215, 0, 25, 215, 0};
  double twoRuns[] = {75, 180, 0, 125, 180, 0, 75, 230, 0, kRun, kRun, kRun, 130, 185, 0, 130, 235, 0, 80, 235, 0};
  double frame[] = {145, 180, 0, 190, 180, 0, 190, 230, 0, 145, 230, 0, 145, 180, 0};
  const struct {
    const char* name;
    DWORD colour;
    double* points;
    DWORD count;
  } shapes[] = {{"a square with a hole", 0x000080FF, holed, 9},
                {"two triangles in two runs", 0x00C04000, twoRuns, 7},
                {"a colourless fill", kNoFillColour, frame, 5}};
  int failures = 0;
  for (const auto& shape : shapes) {
    fill->SetColor(shape.colour);
    const DWORD before = recording->CallCount();
    const HRESULT hr = DrawPoints(render, target, context, shape.points, shape.count);
    std::printf("samplehost: filled %s: %s, %lu calls on the target\n", shape.name, Name(hr),
                recording->CallCount() - before);
    if (FAILED(hr)) ++failures;
  }
  const HRESULT hr = DrawPoints(outline, target, context, frame, 5);
  std::printf("samplehost: outlined the colourless fill: %s\n", Name(hr));
  if (FAILED(hr)) ++failures;
  ReleaseAll(render);
  ReleaseAll(fill);
  return failures;
}

// A dashed line whose dash type has a line point generator among its clients: the arrow in the middle of every
// dash, turned along the line, at height y.
int DrawTickedLine(decltype(&DllGetClassObject) getClassObject, IUnknown* arrow, IRenderTarget2d* target,
                   const RenderContextScales& context, double y) {
  auto* line = Create<IJStyleSimpleLine>(getClassObject, CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine, "simple line");
  auto* dash = Create<IJStyleSimpleDashType>(getClassObject, CLSID_JStyleSimpleDashType, IID_IJStyleSimpleDashType,
                                             "simple dash type");
  auto* generator = Create<IJStyleLinePointGen>(getClassObject, CLSID_JStyleLinePointGen, IID_IJStyleLinePointGen,
                                                "line point generator");
  auto* symbol =
      Create<IJStylePointSymbol>(getClassObject, CLSID_JStylePointSymbol, IID_IJStylePointSymbol, "point symbol");
  IJStyleDashType* clients = nullptr;
  IJStyleDashTypeClient* client = nullptr;
  IJStyleRender* render = nullptr;
  HRESULT hr = line && dash && generator && symbol ? S_OK : E_FAIL;
  if (SUCCEEDED(hr)) hr = dash->QueryInterface(IID_IJStyleDashType, reinterpret_cast<void**>(&clients));
  if (SUCCEEDED(hr)) hr = generator->QueryInterface(IID_IJStyleDashTypeClient, reinterpret_cast<void**>(&client));
  if (SUCCEEDED(hr)) hr = line->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&render));
  if (SUCCEEDED(hr)) {
    double lengths[] = {16.0, -8.0};
    tagStyleSimpleDashTypeData pattern{STYLE_UNITS_13, 2, lengths, DASH_MODE_REPEAT, 0.5, 0};
    symbol->SetUnits(STYLE_UNITS_13);
    symbol->SetGraphic(arrow);
    generator->SetUnits(STYLE_UNITS_13);
    dash->SetData(&pattern);
    line->SetColor(0x00C08000);
    line->SetWidth(1.0);
    line->SetUnits(STYLE_UNITS_13);
    hr = generator->SetEntry(0, symbol, 0.5f, 3.0, 0.0, 0.0, 0, 0);
    if (SUCCEEDED(hr)) hr = clients->SetClients(1, &client);
    if (SUCCEEDED(hr)) hr = line->SetDashType(dash);
  }
  if (SUCCEEDED(hr)) {
    // The element's display places the symbols.
    StyleElementRecord element{};
    element.display = target;
    hr = DrawLine(render, target, context, y, &element);
  }
  std::printf("samplehost: drew the line with points generated along it: %s\n", Name(hr));
  ReleaseAll(render);
  ReleaseAll(client);
  ReleaseAll(clients);
  ReleaseAll(symbol);
  ReleaseAll(generator);
  ReleaseAll(dash);
  ReleaseAll(line);
  return FAILED(hr) ? 1 : 0;
}

// A multiplexer above the other lines: a wide grey solid line with the thin dashed line drawn over it.
int DrawMultiplexer(decltype(&DllGetClassObject) getClassObject, IRenderTarget2d* target,
                    const RenderContextScales& context, IUnknown* dashed) {
  auto* mux = Create<IJStyleMultiplexer>(getClassObject, CLSID_JStyleMultiplexer, IID_IJStyleMultiplexer,
                                         "multiplexer");
  auto* grey = Create<IJStyleLineSolid>(getClassObject, CLSID_JStyleLineSolid, IID_IJStyleLineSolid, "solid line");
  IJStyleRender* under = nullptr;
  IJStyleRender* over = nullptr;
  IJStyleRender* render = nullptr;
  HRESULT hr = mux && grey ? S_OK : E_FAIL;
  if (SUCCEEDED(hr)) {
    grey->SetColor(0x00A0A0A0);
    grey->SetWidth(9.0);
    grey->SetUnits(STYLE_UNITS_13);
    hr = grey->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&under));
  }
  if (SUCCEEDED(hr)) hr = dashed->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&over));
  if (SUCCEEDED(hr)) hr = mux->SetCount(2);
  if (SUCCEEDED(hr)) hr = mux->SetEntry(0, under);
  if (SUCCEEDED(hr)) hr = mux->SetEntry(1, over);
  if (SUCCEEDED(hr)) hr = mux->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&render));
  if (SUCCEEDED(hr)) hr = DrawLine(render, target, context, 300);
  std::printf("samplehost: drew a multiplexer of a wide grey line under the dashed line: %s\n", Name(hr));
  ReleaseAll(render);
  ReleaseAll(over);
  ReleaseAll(under);
  ReleaseAll(grey);
  ReleaseAll(mux);
  return FAILED(hr) ? 1 : 0;
}

// A rectangle drawn solid, and its outline moved outwards by an offset line over a solid line of another colour.
int DrawOffsetOutline(decltype(&DllGetClassObject) getClassObject, IRenderTarget2d* target,
                      const RenderContextScales& context, double y) {
  auto* edge = Create<IJStyleLineSolid>(getClassObject, CLSID_JStyleLineSolid, IID_IJStyleLineSolid, "solid line");
  auto* outline = Create<IJStyleLineSolid>(getClassObject, CLSID_JStyleLineSolid, IID_IJStyleLineSolid, "solid line");
  auto* offset = Create<IJStyleOLG>(getClassObject, CLSID_JStyleOLG, IID_IJStyleOLG, "offset line");
  IJStyleRender* edgeRender = nullptr;
  IJStyleRender* offsetRender = nullptr;
  HRESULT hr = edge && outline && offset ? S_OK : E_FAIL;
  if (SUCCEEDED(hr)) {
    edge->SetColor(0x00404040);
    edge->SetWidth(2.0);
    outline->SetColor(0x00C000C0);
    outline->SetWidth(2.0);
    // Counter-clockwise, so that the right-hand side of a positive offset is the outside.
    offset->SetMode(0);
    offset->SetUnits(STYLE_UNITS_13);
    hr = offset->SetOffset(8.0);
  }
  if (SUCCEEDED(hr)) hr = offset->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&offsetRender));
  if (SUCCEEDED(hr)) hr = offsetRender->SetReferencedStyle(outline);
  if (SUCCEEDED(hr)) hr = edge->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&edgeRender));
  double rectangle[] = {20, y, 0, 120, y, 0, 120, y + 40, 0, 20, y + 40, 0, 20, y, 0};
  if (SUCCEEDED(hr)) hr = DrawPoints(edgeRender, target, context, rectangle, 5);
  if (SUCCEEDED(hr)) hr = DrawPoints(offsetRender, target, context, rectangle, 5);
  std::printf("samplehost: drew a rectangle and its outline moved out by an offset line: %s\n", Name(hr));
  ReleaseAll(edgeRender);
  ReleaseAll(offsetRender);
  ReleaseAll(offset);
  ReleaseAll(outline);
  ReleaseAll(edge);
  return FAILED(hr) ? 1 : 0;
}

// A hatch family as the gallery draws it: angle in degrees, spacing, colour, width; with a dash type or none.
HatchFamilyDesc HatchLines(double degrees, double spacing, DWORD colour, IJStyleDashTypeRender* dash = nullptr) {
  HatchFamilyDesc family{};
  family.angle = degrees * 3.141592653589793 / 180;
  family.spacing = spacing;
  family.shift = spacing / 2;
  family.color = colour;
  family.width = 0.4;
  family.dashType = dash;
  return family;
}

// Two symbol fills after the hatches, each the pattern of a simple fill: a turned lattice of small squares and
// strokes whose odd rows shift half a cell, over a shape with a hole and cut at its edges; and a lattice too
// dense for its symbols in device units, which fills its shape solid in the slot's colour. The squares draw
// through a second simple fill as their area style.
int DrawSymbolFills(decltype(&DllGetClassObject) getClassObject, ISitheRecording* recording,
                    IRenderTarget2d* target, const RenderContextScales& context) {
  IJStyleSimpleFill *fill = nullptr, *squares = nullptr;
  IJStyleRender* render = NewSimpleFill(getClassObject, &fill);
  IJStyleRender* squareStyle = NewSimpleFill(getClassObject, &squares);
  HRESULT hr = render && squareStyle ? squares->SetColor(0x00C08000) : E_FAIL;
  host_app::GraphicElementSetup symbol;
  symbol.category = STYLETYPE_PointSymbol;
  host_app::CaptureStep area, square, none, stroke;
  area.kind = host_app::CaptureStep::Attributes;
  area.attributes = {kSymbolAttributesStyle, 3, squareStyle, 0};
  square.points = {0, 0, 0, 1.5, 0, 0, 1.5, 1.5, 0, 0, 1.5, 0};
  square.oneOutline = true;
  none.kind = host_app::CaptureStep::NullAttributes;
  stroke.points = {2.5, 0, 0, 4, 1.5, 0};
  symbol.capture = {area, square, none, stroke};
  IUnknown* element = host_app::CreateGraphicElement(symbol);
  IJGraphic* graphic = nullptr;
  if (SUCCEEDED(hr)) hr = element->QueryInterface(IID_IJGraphic, reinterpret_cast<void**>(&graphic));
  host_app::RenderContext host;
  FillDrawingSetup setup{};
  setup.context = &host;
  setup.display = target;
  constexpr double kLoop = -DBL_MAX;
  const struct {
    const char* name;
    std::vector<double> points;
    double angle, spacing;
    DWORD units;
  } shapes[] = {
      {"a turned, row-shifted lattice around a hole",
       {215, 380, 0, 275, 380, 0, 275, 420, 0, 215, 420, 0, kLoop, 0, 0, 235, 392, 0, 255, 392, 0, 255, 408, 0, 235,
        408, 0},
       0.4, 6.0, STYLE_UNITS_11},
      {"a lattice too dense for device units", {285, 380, 0, 315, 380, 0, 315, 420, 0, 285, 420, 0}, 0.0, 3.0,
       STYLE_UNITS_13},
  };
  int failures = SUCCEEDED(hr) ? 0 : 1;
  for (const auto& shape : shapes) {
    if (FAILED(hr)) break;
    auto* symbols =
        Create<IJStyleSymbolFill>(getClassObject, CLSID_JStyleSymbolFill, IID_IJStyleSymbolFill, "symbol fill");
    const SymbolSlotRecord slot{0x000000A0, 0, shape.angle, shape.spacing, shape.spacing, shape.spacing / 2, 0.0,
                                1.0,        0.0, 0.0,         0.0,         graphic,       0};
    DWORD index = 0;
    hr = symbols ? symbols->AddSlot(&slot, &index) : E_FAIL;
    if (SUCCEEDED(hr)) hr = fill->SetPattern(symbols);
    if (SUCCEEDED(hr)) hr = fill->SetColor(kNoFillColour);
    setup.unitsCode = shape.units;
    const DWORD before = recording->CallCount();
    if (SUCCEEDED(hr)) {
      std::vector<double> points = shape.points;
      StylePointRun run{points.data(), static_cast<DWORD>(points.size() / 3), {0, 0}};
      StyleGeometryRecord geometry{};
      geometry.pointList = &run;
      hr = render->RenderWithContext(&geometry, target, &context, nullptr, nullptr, AsSeventhArgument(&setup));
    }
    std::printf("samplehost: symbol fill, %s: %s, %lu calls on the target\n", shape.name, Name(hr),
                recording->CallCount() - before);
    if (FAILED(hr)) ++failures;
    if (fill) fill->SetPattern(nullptr);
    ReleaseAll(symbols);
  }
  ReleaseAll(graphic);
  ReleaseAll(element);
  ReleaseAll(squareStyle);
  ReleaseAll(squares);
  ReleaseAll(render);
  ReleaseAll(fill);
  return failures;
}

// A row of hatched fills at the top of the picture, each a simple fill with a hatch pattern: two families
// crossing, a family at 30 degrees, a dashed family, a family around a hole over a pale fill, and a family
// closer than the context's smallest spacing, which fills its boundary solid. The drawing set-up carries the
// host's render context; style and drawing share one space here.
int DrawHatches(decltype(&DllGetClassObject) getClassObject, ISitheRecording* recording, IRenderTarget2d* target,
                const RenderContextScales& lineContext, IJStyleDashTypeRender* dash) {
  IJStyleSimpleFill* fill = nullptr;
  IJStyleRender* render = NewSimpleFill(getClassObject, &fill);
  if (!render) return 1;
  // The context's orientation above 0 (its y axis points up, as the picture's) turns the hatch angles to
  // run counter-clockwise.
  RenderContextScales context = lineContext;
  context.smallestSpacing = 1.0;
  host_app::RenderContext host;
  FillDrawingSetup setup{};
  setup.context = &host;
  setup.unitsCode = STYLE_UNITS_11;
  constexpr double kLoop = -DBL_MAX;
  const auto square = [](double x) {
    return std::vector<double>{x, 380, 0, x + 30, 380, 0, x + 30, 420, 0, x, 420, 0};
  };
  std::vector<double> holed = square(130);
  holed.insert(holed.end(), {kLoop, 0, 0, 138, 392, 0, 152, 392, 0, 152, 408, 0, 138, 408, 0});
  const struct {
    const char* name;
    std::vector<double> points;
    std::vector<HatchFamilyDesc> families;
    DWORD colour;
  } shapes[] = {
      {"two crossing families", square(10), {HatchLines(45, 3, 0x000000C0), HatchLines(135, 3, 0x00C00000)},
       kNoFillColour},
      {"a family at 30 degrees", square(50), {HatchLines(30, 2.5, 0x00008000)}, kNoFillColour},
      {"a dashed family", square(90), {HatchLines(0, 4, 0x00404040, dash)}, kNoFillColour},
      {"a family around a hole", holed, {HatchLines(60, 2.5, 0x00800080)}, 0x00E0F0FF},
      {"a family dense enough to be solid", square(170), {HatchLines(0, 0.5, 0x00A0A0A0)}, kNoFillColour},
  };
  int failures = 0;
  for (const auto& shape : shapes) {
    auto* hatch = Create<IJStyleHatchFill>(getClassObject, CLSID_JStyleHatchFill, IID_IJStyleHatchFill, "hatch fill");
    HRESULT hr = hatch ? S_OK : E_FAIL;
    for (const HatchFamilyDesc& family : shape.families) {
      LONG index = -1;
      if (SUCCEEDED(hr)) hr = hatch->AddFamily(&family, &index);
    }
    if (SUCCEEDED(hr)) hr = fill->SetPattern(hatch);
    if (SUCCEEDED(hr)) hr = fill->SetColor(shape.colour);
    const DWORD before = recording->CallCount();
    if (SUCCEEDED(hr)) {
      std::vector<double> points = shape.points;
      StylePointRun run{points.data(), static_cast<DWORD>(points.size() / 3), {0, 0}};
      StyleGeometryRecord geometry{};
      geometry.pointList = &run;
      hr = render->RenderWithContext(&geometry, target, &context, nullptr, nullptr, AsSeventhArgument(&setup));
    }
    std::printf("samplehost: hatched %s: %s, %lu calls on the target\n", shape.name, Name(hr),
                recording->CallCount() - before);
    if (FAILED(hr)) ++failures;
    fill->SetPattern(nullptr);
    ReleaseAll(hatch);
  }
  ReleaseAll(render);
  ReleaseAll(fill);
  return failures;
}

// Two pictures drawn by a bitmap style at points of the row at height y, each 30 units on its longer side; the
// picture frames where each lands, labelled with its size in pixels.
int DrawBitmaps(decltype(&DllGetClassObject) getClassObject, IRenderTarget2d* target,
                const RenderContextScales& context, double y) {
  auto* bitmap = Create<IJStyleBitmap>(getClassObject, CLSID_JStyleBitmap, IID_IJStyleBitmap, "bitmap style");
  IJStyleRender* render = nullptr;
  if (bitmap) bitmap->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&render));
  if (!render) {
    ReleaseAll(bitmap);
    return 1;
  }
  const struct {
    LONG width, height;
    WORD bits;
    double x;
  } pictures[] = {{32, 16, 24, 10}, {12, 20, 8, 70}};
  int failures = 0;
  for (const auto& p : pictures) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), p.width, p.height, 1, p.bits, BI_RGB, 0, 0, 0, 0, 0};
    void* pixels = nullptr;
    HBITMAP picture = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    HRESULT hr = picture ? bitmap->SetBitmap(picture) : E_FAIL;  // the style owns it from here
    if (FAILED(hr) && picture) DeleteObject(picture);
    if (SUCCEEDED(hr)) hr = bitmap->SetSize(STYLE_UNITS_12, 30.0);
    double point[] = {p.x, y, 0};
    if (SUCCEEDED(hr)) hr = DrawPoints(render, target, context, point, 1);
    std::printf("samplehost: drew a %ldx%ld picture of %u bits: %s\n", static_cast<long>(p.width),
                static_cast<long>(p.height), static_cast<unsigned>(p.bits), Name(hr));
    if (FAILED(hr)) ++failures;
  }
  ReleaseAll(render);
  ReleaseAll(bitmap);
  return failures;
}

// Two pieces of text at height y through text character styles: one in a font the font manager knows, one in a
// font it does not, which shows in the exception colour.
int DrawTexts(decltype(&DllGetClassObject) getClassObject, IRenderTarget2d* target,
              const RenderContextScales& context, double y) {
  const WORD arial[] = {1033};
  const SitheFont fonts[] = {{L"Arial", arial, 1, FALSE}};
  SitheSetFonts(fonts, 1);
  int failures = 0;
  const struct {
    const wchar_t* font;
    double x, degrees;
  } texts[] = {{L"Arial", 0.0, 0.0}, {L"No Such Font", 120.0, 30.0}};
  for (const auto& text : texts) {
    auto* style = Create<IJStyleTextChar>(getClassObject, CLSID_JStyleTextChar, IID_IJStyleTextChar, "text style");
    IJStyleRender* render = nullptr;
    HRESULT hr = style ? style->SetFontName(text.font) : E_FAIL;
    if (SUCCEEDED(hr)) hr = style->SetSize(12.0, STYLE_UNITS_13);
    if (SUCCEEDED(hr)) hr = style->SetColor(0x00800000);
    if (SUCCEEDED(hr)) hr = style->SetAngle(text.degrees);
    if (SUCCEEDED(hr)) hr = style->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&render));
    TextDrawingState state{0, 0, {text.x, y, 0.0}};
    TextDrawItem item{};
    item.state = &state;
    if (SUCCEEDED(hr)) {
      hr = render->RenderWithContext(reinterpret_cast<const StyleGeometryRecord*>(&item), target, &context, nullptr,
                                     nullptr, nullptr);
    }
    ReleaseAll(render);
    ReleaseAll(style);
    std::printf("samplehost: drew text in \"%ls\": %s\n", text.font, Name(hr));
    if (FAILED(hr)) ++failures;
  }
  SitheSetFonts(nullptr, 0);
  return failures;
}

int LineStylePage(decltype(&DllGetClassObject) getClassObject, IRenderTarget2d* target,
                  const RenderContextScales& context, double y);

// A solid, a dashed and an overridden line, a line with arrows, a line with points generated along it, a
// gallery of fills, a multiplexed line, a line with arrowheads at its ends, a row of hatches, a row of pictures,
// two pieces of text, a library's line style and a rectangle with its offset outline, drawn into a recording
// target whose picture goes to `path`.
int DrawPicture(decltype(&DllGetClassObject) getClassObject, HMODULE library, const char* path) {
  int failures = 0;
  auto* solid = Create<IJStyleLineSolid>(getClassObject, CLSID_JStyleLineSolid, IID_IJStyleLineSolid, "solid line");
  auto* dashed =
      Create<IJStyleSimpleLine>(getClassObject, CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine, "simple line");
  auto* dash = Create<IJStyleSimpleDashType>(getClassObject, CLSID_JStyleSimpleDashType, IID_IJStyleSimpleDashType,
                                             "simple dash type");
  auto* parent =
      Create<IJStyleSimpleLine>(getClassObject, CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine, "simple line");
  auto* override = Create<IJStyleOverride>(getClassObject, CLSID_JStyleOverride, IID_IJStyleOverride, "override");
  auto* arrows =
      Create<IJStylePointSymbol>(getClassObject, CLSID_JStylePointSymbol, IID_IJStylePointSymbol, "point symbol");
  auto* ends = Create<IJStyleLineTerminator>(getClassObject, CLSID_JStyleLineTerminator, IID_IJStyleLineTerminator,
                                             "line terminator");
  IUnknown* arrow = ArrowSymbol(library);
  if (!arrow) std::printf("samplehost: no arrow symbol\n");
  ISitheRecording* recording = nullptr;
  IRenderTarget2d* target = nullptr;
  if (SUCCEEDED(SitheCreateRecordingTarget(&recording))) {
    recording->QueryInterface(IID_IRenderTarget2d, reinterpret_cast<void**>(&target));
  }
  if (!solid || !dashed || !dash || !parent || !override || !arrows || !ends || !arrow || !target) {
    ++failures;
  } else {
    RenderContextScales context{};
    context.scale11 = context.scale12 = context.scale13 = 1.0;
    context.verticalAxisFactor = 1.0;
    solid->SetColor(0x000000FF);
    solid->SetWidth(3.0);
    solid->SetUnits(STYLE_UNITS_13);

    double lengths[] = {12.0, -6.0, 2.0, -6.0};
    tagStyleSimpleDashTypeData pattern{};
    pattern.unitsCode = STYLE_UNITS_13;
    pattern.count = 4;
    pattern.lengths = lengths;
    pattern.endFraction = 0.5;
    dash->SetData(&pattern);
    dashed->SetColor(0x00008000);
    dashed->SetWidth(2.0);
    dashed->SetDashType(dash);

    // The override changes only the colour and the width of its parent, a grey hairline.
    parent->SetColor(0x00808080);
    parent->SetWidth(1.0);
    override->SetColor(0x00FF0000);
    override->SetWidth(5.0);
    IJStyleSetup2d* setup = nullptr;
    IJStyleRender* parentRender = nullptr;
    override->QueryInterface(IID_IJStyleSetup2d, reinterpret_cast<void**>(&setup));
    parent->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&parentRender));
    if (setup && parentRender) setup->SetReferencedStyle(parentRender);
    ReleaseAll(setup);
    ReleaseAll(parentRender);

    const struct {
      IUnknown* style;
      const char* name;
      double y;
    } lines[] = {{solid, "solid line", 20}, {dashed, "dashed simple line", 60}, {override, "overridden line", 100}};
    for (const auto& line : lines) {
      IJStyleRender* render = nullptr;
      HRESULT hr = line.style->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&render));
      if (SUCCEEDED(hr)) hr = DrawLine(render, target, context, line.y);
      ReleaseAll(render);
      std::printf("samplehost: drew the %s: %s\n", line.name, Name(hr));
      if (FAILED(hr)) ++failures;
    }
    // The arrows sit on a solid line of their own.
    IJStyleRender* render = nullptr;
    HRESULT hr = solid->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&render));
    if (SUCCEEDED(hr)) hr = DrawLine(render, target, context, 140);
    ReleaseAll(render);
    if (SUCCEEDED(hr)) hr = arrows->SetGraphic(arrow);
    if (SUCCEEDED(hr)) hr = arrows->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&render));
    if (SUCCEEDED(hr)) hr = DrawArrows(render, target, context, 140);
    ReleaseAll(render);
    std::printf("samplehost: drew the line with arrows: %s\n", Name(hr));
    if (FAILED(hr)) ++failures;
    failures += DrawTickedLine(getClassObject, arrow, target, context, 260);

    IJStyleRender* outline = nullptr;
    if (SUCCEEDED(solid->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&outline)))) {
      failures += DrawFills(getClassObject, recording, target, context, outline);
    } else {
      ++failures;
    }
    ReleaseAll(outline);
    failures += DrawMultiplexer(getClassObject, target, context, dashed);

    // The same arrow at both ends of a solid line, each pointing away from it.
    hr = solid->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&render));
    if (SUCCEEDED(hr)) hr = DrawLine(render, target, context, 340);
    ReleaseAll(render);
    if (SUCCEEDED(hr)) hr = ends->SetStartStyle(arrows);
    if (SUCCEEDED(hr)) hr = ends->SetEndStyle(arrows);
    if (SUCCEEDED(hr)) hr = ends->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&render));
    // The element's display places the symbols.
    StyleElementRecord element{};
    element.display = target;
    if (SUCCEEDED(hr)) hr = DrawLine(render, target, context, 340, &element);
    ReleaseAll(render);
    std::printf("samplehost: drew the line with arrowheads at its ends: %s\n", Name(hr));
    if (FAILED(hr)) ++failures;

    IJStyleDashTypeRender* dashRender = nullptr;
    if (SUCCEEDED(dash->QueryInterface(IID_IJStyleDashTypeRender, reinterpret_cast<void**>(&dashRender)))) {
      failures += DrawHatches(getClassObject, recording, target, context, dashRender);
    } else {
      ++failures;
    }
    ReleaseAll(dashRender);
    failures += DrawSymbolFills(getClassObject, recording, target, context);
    failures += DrawBitmaps(getClassObject, target, context, 440);
    failures += DrawTexts(getClassObject, target, context, 500);
    failures += LineStylePage(getClassObject, target, context, 560);
    failures += DrawOffsetOutline(getClassObject, target, context, 640);
    std::printf("samplehost: the target recorded %lu calls\n", recording->CallCount());
    hr = recording->WriteSvg(path);
    std::printf("samplehost: picture written to %s: %s\n", path, Name(hr));
    if (FAILED(hr)) ++failures;
  }
  ReleaseAll(target);
  ReleaseAll(recording);
  ReleaseAll(ends);
  ReleaseAll(arrows);
  ReleaseAll(arrow);
  ReleaseAll(override);
  ReleaseAll(parent);
  ReleaseAll(dash);
  ReleaseAll(dashed);
  ReleaseAll(solid);
  return failures;
}

// A new document that keeps a new style library as its named object "StyleLibrarian", as a host keeps one.
HRESULT NewDrawing(decltype(&DllGetClassObject) getClassObject, IJDocumentNamedObjects** document) {
  auto* librarian = Create<IJSLLibrarian>(getClassObject, CLSID_JStyleLib, IID_IJSLLibrarian, "style library");
  IJPersist* persist = nullptr;
  HRESULT hr = librarian ? HostDocumentCreate(document) : E_FAIL;
  if (SUCCEEDED(hr)) hr = librarian->QueryInterface(IID_IJPersist, reinterpret_cast<void**>(&persist));
  if (SUCCEEDED(hr)) hr = persist->InitNew();
  DWORD persistentID = 0;
  if (SUCCEEDED(hr)) hr = (*document)->RegisterObject(librarian, &persistentID, nullptr);
  if (SUCCEEDED(hr)) hr = HostDocumentSetNamedObject(*document, L"StyleLibrarian", librarian);
  ReleaseAll(persist);
  ReleaseAll(librarian);  // the document keeps it
  return hr;
}

// The host's line-style page: the workbench of a library's line style, opened through the library's workbench
// service, takes a new colour, a new width and, through a dash workbench, a dash pattern, and saves; the style is
// drawn as it was at height y and as it is then at y + 30.
int LineStylePage(decltype(&DllGetClassObject) getClassObject, IRenderTarget2d* target,
                  const RenderContextScales& context, double y) {
  IJDocumentNamedObjects* document = nullptr;
  IJSLLibrarian* librarian = nullptr;
  IJSLWorkShop* shop = nullptr;
  IWorkbenchAdmin* admin = nullptr;
  IWorkbenchLinear* linear = nullptr;
  IWorkbenchAdmin* dashAdmin = nullptr;
  auto* rail = Create<IJStyleSimpleLine>(getClassObject, CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine, "simple line");
  auto* dash = Create<IWorkbenchLinearPattern>(getClassObject, CLSID_JWorkbenchDash, IID_IWorkbenchLinearPattern,
                                               "dash workbench");
  HRESULT hr = rail && dash ? NewDrawing(getClassObject, &document) : E_FAIL;
  IJDocument2* drawing = nullptr;
  if (SUCCEEDED(hr)) hr = document->QueryInterface(IID_IJDocument2, reinterpret_cast<void**>(&drawing));
  if (SUCCEEDED(hr)) hr = drawing->GetLibraryInterface(IID_IJSLLibrarian, reinterpret_cast<void**>(&librarian));
  ReleaseAll(drawing);
  DWORD id = 0;
  if (SUCCEEDED(hr)) {
    rail->SetColor(0x00808080);
    rail->SetWidth(3.0);
    rail->SetUnits(STYLE_UNITS_13);
    GUID type = STYLETYPE_Linear;
    StyleRecord record{const_cast<LPWSTR>(L"Rail"), nullptr, rail, &type, 0, 0};
    hr = librarian->AddStyle(&record, &id);
  }
  auto draw = [&](double at) {
    IUnknown* style = nullptr;
    IJStyleRender* render = nullptr;
    HRESULT drawn = librarian->GetStyle(id, &style);
    if (SUCCEEDED(drawn)) drawn = style->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&render));
    if (SUCCEEDED(drawn)) drawn = DrawLine(render, target, context, at);
    ReleaseAll(render);
    ReleaseAll(style);
    return drawn;
  };
  if (SUCCEEDED(hr)) hr = draw(y);
  std::printf("samplehost: the line style \"Rail\" drawn before its page: %s\n", Name(hr));
  if (SUCCEEDED(hr)) hr = librarian->QueryInterface(IID_IJSLWorkShop, reinterpret_cast<void**>(&shop));
  if (SUCCEEDED(hr)) hr = shop->GetWorkbench(id, FALSE, &admin);
  if (SUCCEEDED(hr)) hr = admin->QueryInterface(IID_IWorkbenchLinear, reinterpret_cast<void**>(&linear));
  if (SUCCEEDED(hr)) hr = linear->SetColor(0x000080FF);
  if (SUCCEEDED(hr)) hr = linear->SetWidth(5.0);
  if (SUCCEEDED(hr)) hr = dash->QueryInterface(IID_IWorkbenchAdmin, reinterpret_cast<void**>(&dashAdmin));
  if (SUCCEEDED(hr)) hr = dashAdmin->AttachNew(0, librarian);
  double lengths[] = {10.0, -5.0};
  if (SUCCEEDED(hr)) hr = dash->SetUnits(STYLE_UNITS_13);
  if (SUCCEEDED(hr)) hr = dash->SetDashes(2, lengths);
  if (SUCCEEDED(hr)) hr = dashAdmin->SetName(L"Rail dash");
  if (SUCCEEDED(hr)) hr = linear->SetDashWorkbench(dash);
  DWORD saved = 0;
  if (SUCCEEDED(hr)) hr = admin->Save(&saved);
  std::printf("samplehost: the line-style page made \"Rail\" orange, wider and dashed and saved it: %s\n", Name(hr));
  LPWSTR* description = nullptr;
  if (SUCCEEDED(hr)) hr = admin->GetDescription(&description);
  if (SUCCEEDED(hr)) std::printf("samplehost: the page describes it as \"%ls\"\n", *description);
  if (SUCCEEDED(hr)) hr = draw(y + 30);
  std::printf("samplehost: the line style \"Rail\" drawn after its page: %s\n", Name(hr));
  ReleaseAll(dashAdmin);
  ReleaseAll(linear);
  ReleaseAll(admin);
  ReleaseAll(shop);
  ReleaseAll(librarian);
  ReleaseAll(document);
  ReleaseAll(dash);
  ReleaseAll(rail);
  return FAILED(hr) ? 1 : 0;
}

// A document that keeps a style library, as a host keeps one: a named line style is created in it, found again
// by its name and its name read back, through the exported functions. A host that loads the library finds the
// form of HGetLinearStyle that hands out an object under the compiler's name for it.
int NamedStyle(HMODULE library, decltype(&DllGetClassObject) getClassObject) {
  auto createStyleInLib = FindExport<decltype(&HCreateStyleInLib)>(library, "HCreateStyleInLib");
  auto getStyleName = FindExport<decltype(&HGetStyleName)>(library, "HGetStyleName");
  using GetLinearStyle = HRESULT(WINAPI*)(IUnknown*, LPWSTR, IUnknown**);
  auto getLinearStyle = FindExport<GetLinearStyle>(library, "_Z15HGetLinearStyleP8IUnknownPwPS0_");
  if (!createStyleInLib || !getStyleName || !getLinearStyle) {
    std::printf("samplehost: stylesrv.dll lacks HCreateStyleInLib, HGetStyleName or HGetLinearStyle\n");
    return 1;
  }
  IJDocumentNamedObjects* document = nullptr;
  HRESULT hr = NewDrawing(getClassObject, &document);
  std::printf("samplehost: a document keeps a style library: %s\n", Name(hr));

  WCHAR name[] = L"Centre line";
  DWORD id = 0;
  if (SUCCEEDED(hr)) hr = createStyleInLib(document, &CLSID_JStyleSimpleLine, name, &STYLETYPE_Linear, 0, &id, nullptr);
  std::printf("samplehost: created the line style \"%ls\" in it: %s, ID %lu\n", name, Name(hr), id);
  IUnknown* found = nullptr;
  if (SUCCEEDED(hr)) hr = getLinearStyle(document, name, &found);
  std::printf("samplehost: found it by its name: %s\n", Name(hr));
  ReleaseAll(found);
  WCHAR buffer[64] = {};
  DWORD length = 64;
  if (SUCCEEDED(hr)) hr = getStyleName(document, id, buffer, &length);
  std::printf("samplehost: the name of ID %lu is \"%ls\" (%lu characters with the terminator): %s\n", id, buffer,
              length, Name(hr));
  if (SUCCEEDED(hr) && std::wcscmp(buffer, name) != 0) hr = E_FAIL;
  ReleaseAll(document);
  return FAILED(hr) ? 1 : 0;
}

// The host's debug entry that switches the style reference-count check on, set for the run and put back.
class CheckSwitch {
 public:
  explicit CheckSwitch(DWORD level) {
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, PELLOW_DEBUG_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_key,
                        nullptr) != ERROR_SUCCESS) {
      m_key = nullptr;
      return;
    }
    DWORD size = sizeof m_saved;
    m_had = RegQueryValueExA(m_key, kName, nullptr, nullptr, reinterpret_cast<BYTE*>(&m_saved), &size) ==
            ERROR_SUCCESS;
    RegSetValueExA(m_key, kName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&level), sizeof level);
  }
  ~CheckSwitch() {
    if (!m_key) return;
    if (m_had) {
      RegSetValueExA(m_key, kName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&m_saved), sizeof m_saved);
    } else {
      RegDeleteValueA(m_key, kName);
    }
    RegCloseKey(m_key);
  }
  CheckSwitch(const CheckSwitch&) = delete;
  CheckSwitch& operator=(const CheckSwitch&) = delete;

 private:
  static constexpr char kName[] = "VERIFY_STYLE_REF_CNT";
  HKEY m_key = nullptr;
  DWORD m_saved = 0;
  bool m_had = false;
};

// Elements of a drawing take styles of its library and change them through the exported functions, as a host's
// elements do; one element keeps an ID that nobody counted for it, as data from an older host may. The library's
// reference check then makes the use counts match the references the elements hold.
int ElementStyles(HMODULE library, decltype(&DllGetClassObject) getClassObject) {
  auto createStyleInLib = FindExport<decltype(&HCreateStyleInLib)>(library, "HCreateStyleInLib");
  auto setStyleID = FindExport<decltype(&HSetStyleID)>(library, "HSetStyleID");
  if (!createStyleInLib || !setStyleID) {
    std::printf("samplehost: stylesrv.dll lacks HCreateStyleInLib or HSetStyleID\n");
    return 1;
  }
  IJDocumentNamedObjects* document = nullptr;
  HRESULT hr = NewDrawing(getClassObject, &document);
  HostStyledElement* elements[3] = {};
  for (HostStyledElement*& element : elements) {
    if (SUCCEEDED(hr)) element = HostStyledElement::Create(document);
    if (SUCCEEDED(hr) && !element) hr = E_OUTOFMEMORY;
  }

  // The library as a host finds it from one of its elements: the element's document, asked for its library.
  IJDocumentNamedObjects* home = nullptr;
  IJDocument2* homeDocument = nullptr;
  IJSLLibrarian* librarian = nullptr;
  if (SUCCEEDED(hr)) hr = GetObjectDocument(elements[0]->Unknown(), &home);
  if (SUCCEEDED(hr)) hr = home->QueryInterface(IID_IJDocument2, reinterpret_cast<void**>(&homeDocument));
  if (SUCCEEDED(hr)) hr = homeDocument->GetLibraryInterface(IID_IJSLLibrarian, reinterpret_cast<void**>(&librarian));
  ReleaseAll(homeDocument);
  ReleaseAll(home);
  std::printf("samplehost: found the drawing's style library from an element: %s\n", Name(hr));

  WCHAR centreName[] = L"Centre line";
  WCHAR hiddenName[] = L"Hidden line";
  DWORD centre = 0, hidden = 0;
  if (SUCCEEDED(hr)) {
    hr = createStyleInLib(elements[0]->Unknown(), &CLSID_JStyleSimpleLine, centreName, &STYLETYPE_Linear, 0, &centre,
                          nullptr);
  }
  if (SUCCEEDED(hr)) {
    hr = createStyleInLib(elements[0]->Unknown(), &CLSID_JStyleSimpleLine, hiddenName, &STYLETYPE_Linear, 0, &hidden,
                          nullptr);
  }
  std::printf("samplehost: created \"%ls\" (ID %lu) and \"%ls\" (ID %lu): %s\n", centreName, centre, hiddenName,
              hidden, Name(hr));
  if (SUCCEEDED(hr)) hr = setStyleID(librarian, centre, elements[0]->Slot());
  if (SUCCEEDED(hr)) hr = setStyleID(librarian, centre, elements[1]->Slot());
  if (SUCCEEDED(hr)) hr = setStyleID(librarian, hidden, elements[1]->Slot());
  if (SUCCEEDED(hr)) *elements[2]->Slot() = centre;  // kept without the exports: nobody counts it
  std::printf("samplehost: the elements hold the IDs %lu, %lu and %lu (the last one uncounted): %s\n",
              elements[0]->StoredID(), elements[1]->StoredID(), elements[2]->StoredID(), Name(hr));

  DWORD before = 0;
  if (SUCCEEDED(hr)) hr = librarian->GetUseCount(centre, &before);
  std::printf("samplehost: before the check \"%ls\" has use count %lu: %s\n", centreName, before, Name(hr));

  IJStyleConvertR1Elements* check = nullptr;
  if (SUCCEEDED(hr)) hr = librarian->QueryInterface(IID_IJStyleConvertR1Elements, reinterpret_cast<void**>(&check));
  if (SUCCEEDED(hr)) {
    CheckSwitch on(1);
    hr = check->CheckStyleReferences(0);
  }
  ReleaseAll(check);
  std::printf("samplehost: the library checked its references (VERIFY_STYLE_REF_CNT set): %s\n", Name(hr));

  for (const auto& [id, name] : {std::pair<DWORD, const WCHAR*>{centre, centreName}, {hidden, hiddenName}}) {
    if (FAILED(hr)) break;
    DWORD uses = 0;
    hr = librarian->GetUseCount(id, &uses);
    DWORD held = 0;
    for (HostStyledElement* element : elements) held += element->StoredID() == id ? 1 : 0;
    std::printf("samplehost: \"%ls\" has use count %lu for %lu references held: %s\n", name, uses, held, Name(hr));
    if (SUCCEEDED(hr) && uses != held) hr = E_FAIL;
  }
  ReleaseAll(librarian);
  for (HostStyledElement*& element : elements) ReleaseAll(element);
  ReleaseAll(document);
  return FAILED(hr) ? 1 : 0;
}

// A text style chosen as a host's text dialog does: a font and a language, which the style checks against the
// languages the rendering library's font manager knows for the font.
int ChooseTextStyle(decltype(&DllGetClassObject) getClassObject) {
  const WORD arial[] = {1033, 1031}, gothic[] = {1041};
  const SitheFont fonts[] = {
      {L"Arial", arial, 2, FALSE}, {L"MS Gothic", gothic, 1, FALSE}, {L"Symbol", nullptr, 0, TRUE}};
  SitheSetFonts(fonts, 3);
  auto* text = Create<IJStyleTextChar>(getClassObject, CLSID_JStyleTextChar, IID_IJStyleTextChar, "text style");
  HRESULT hr = text ? S_OK : E_FAIL;
  for (const wchar_t* font : {L"Arial", L"MS Gothic", L"Symbol"}) {
    WORD language = 0;
    if (SUCCEEDED(hr)) hr = text->SetFontName(font);
    if (SUCCEEDED(hr)) hr = text->SetLanguage(1031);
    if (SUCCEEDED(hr)) hr = text->GetLanguage(&language);
    std::printf("samplehost: text in \"%ls\" asked for language 1031 is set in %u: %s\n", font, language, Name(hr));
  }
  ReleaseAll(text);
  SitheSetFonts(nullptr, 0);
  return FAILED(hr) ? 1 : 0;
}


// ---- the default style set ----

// A label for the gallery: its text at a point of the drawing (y upwards).
struct Label {
  double x, y;
  std::wstring text;
};

// The named styles of a type in the library, in the order of their IDs, with their names.
std::vector<std::pair<IUnknown*, std::wstring>> NamedStyles(IJSLLibrarian* librarian, const GUID& type) {
  std::vector<std::pair<IUnknown*, std::wstring>> styles;
  IEnumUnknown* all = nullptr;
  if (FAILED(librarian->EnumStyles(&type, &all)) || !all) return styles;
  IUnknown* style = nullptr;
  while (all->Next(1, &style, nullptr) == S_OK) {
    DWORD id = 0;
    WCHAR name[64] = {};
    DWORD length = 64;
    IJManageStyle2* manage = nullptr;
    WORD n = 0;
    if (SUCCEEDED(style->QueryInterface(IID_IJManageStyle2, reinterpret_cast<void**>(&manage)))) {
      manage->GetID(&n, &id);
      manage->Release();
    }
    // The unnamed styles (answered under their named ancestor's name, or 0x40223) are the set's parts.
    DWORD own = 0;
    if (id && librarian->GetStyleName(id, name, &length) == S_OK &&
        SUCCEEDED(librarian->FindStyleIDByName(name, &type, &own)) && own == id) {
      styles.emplace_back(style, name);
    } else {
      style->Release();
    }
  }
  all->Release();
  return styles;
}

// How large a fill's hatch pattern is, in the hatch's units: the longest length over which it repeats (the widest
// spacing of its families, or the longest period of their dashes) and the widest pen of its families. Zero for a
// fill without a hatch pattern.
struct PatternSize {
  DWORD unitsCode = 0;
  double repeat = 0.0;
  double pen = 0.0;
};

PatternSize SizeOfPattern(IUnknown* fill) {
  PatternSize size;
  IJStyleSimpleFill* simple = nullptr;
  IJStyleFillTypeRender* pattern = nullptr;
  IJStyleHatchFill* hatch = nullptr;
  DWORD families = 0;
  if (SUCCEEDED(fill->QueryInterface(IID_IJStyleSimpleFill, reinterpret_cast<void**>(&simple))) &&
      SUCCEEDED(simple->GetPattern(&pattern)) && pattern &&
      SUCCEEDED(pattern->QueryInterface(IID_IJStyleHatchFill, reinterpret_cast<void**>(&hatch))) &&
      SUCCEEDED(hatch->GetUnits(&size.unitsCode)) && SUCCEEDED(hatch->GetFamilyCount(&families))) {
    for (DWORD i = 0; i < families; ++i) {
      HatchFamilyDesc family{};
      if (FAILED(hatch->GetFamily(static_cast<LONG>(i), &family))) continue;
      size.repeat = std::max(size.repeat, std::fabs(family.spacing));
      size.pen = std::max(size.pen, family.width);
      IJStyleSimpleDashType* dash = nullptr;
      if (family.dashType &&
          SUCCEEDED(family.dashType->QueryInterface(IID_IJStyleSimpleDashType, reinterpret_cast<void**>(&dash)))) {
        double lengths[64];
        DWORD count = 64;
        if (dash->GetLengths(&count, lengths) == S_OK) {
          double period = 0.0;
          for (DWORD j = 0; j < count; ++j) period += lengths[j] == -DBL_MAX ? 0.0 : std::fabs(lengths[j]);
          size.repeat = std::max(size.repeat, period);
        }
      }
      ReleaseAll(dash);
      ReleaseAll(family.dashType);
    }
  }
  ReleaseAll(hatch);
  ReleaseAll(pattern);
  ReleaseAll(simple);
  return size;
}

// The picture with the labels written in, to `path`.
HRESULT WriteLabelled(ISitheRecording* recording, const std::vector<Label>& labels, const char* path) {
  DWORD length = 0;
  HRESULT hr = recording->GetSvg(nullptr, 0, &length);
  if (FAILED(hr)) return hr;
  std::string svg(length + 1, '\0');
  if (FAILED(hr = recording->GetSvg(svg.data(), length + 1, &length))) return hr;
  svg.resize(length);
  std::string text;
  for (const Label& label : labels) {
    char line[256];
    std::snprintf(line, sizeof line,
                  "  <text font-size=\"3\" font-family=\"sans-serif\" x=\"%g\" y=\"%g\">%ls</text>\n",
                  label.x, -label.y, label.text.c_str());
    text += line;
  }
  const std::size_t end = svg.rfind("</svg>");
  if (end == std::string::npos) return E_FAIL;
  svg.insert(end, text);
  FILE* file = std::fopen(path, "wb");
  if (!file) return E_FAIL;
  const bool written = std::fwrite(svg.data(), 1, svg.size(), file) == svg.size();
  return std::fclose(file) == 0 && written ? S_OK : E_FAIL;
}

// A new document gets the default style set through HAddDefaultStyles, and every line style of it is drawn along
// a polyline, the solid and each pattern fill in a square (reduced where its pattern would not repeat twice in
// it) and the text style's sample, each labelled with its name, into `path`. The host's dimension, graphic-group and line classes are registered for the run, and the
// document keeps its style symbols in a cluster as a host's new document does.
int DrawDefaultStyles(HMODULE library, decltype(&DllGetClassObject) getClassObject, const char* path) {
  constexpr double kSwatch = 25.0;  // the side of a fill's square, in millimetres
  auto addDefaultStyles = FindExport<HRESULT(WINAPI*)(IUnknown*, BOOL)>(library, "HAddDefaultStyles");
  if (!addDefaultStyles) {
    std::printf("samplehost: stylesrv.dll lacks HAddDefaultStyles\n");
    return 1;
  }
  DWORD dimensionCookie = 0;
  host_app::SymbolGraphicClasses graphicCookies;
  HRESULT hr = HostDimensionStyle::Register(&dimensionCookie);
  if (SUCCEEDED(hr)) hr = host_app::RegisterSymbolGraphicClasses(&graphicCookies);
  const WORD english[] = {1033};
  const SitheFont fonts[] = {{L"Arial", english, 1, FALSE}};
  SitheSetFonts(fonts, 1);

  IJDocumentNamedObjects* document = nullptr;
  if (SUCCEEDED(hr)) hr = NewDrawing(getClassObject, &document);
  IUnknown* cluster = SUCCEEDED(hr) ? host_app::CreatePolylineElement({}) : nullptr;
  DWORD clusterID = 0;
  if (SUCCEEDED(hr)) hr = document->RegisterObject(cluster, &clusterID, nullptr);
  if (SUCCEEDED(hr)) hr = HostDocumentSetNamedObject(document, L"StyleCluster", cluster);
  ReleaseAll(cluster);
  if (SUCCEEDED(hr)) hr = addDefaultStyles(document, TRUE);
  std::printf("samplehost: a new document got the default style set: %s (0x%08lX)\n", Name(hr),
              static_cast<unsigned long>(hr));
  IUnknown* found = nullptr;
  IJSLLibrarian* librarian = nullptr;
  if (SUCCEEDED(hr)) hr = document->FindNamedObject(L"StyleLibrarian", &found);
  if (SUCCEEDED(hr)) hr = found->QueryInterface(IID_IJSLLibrarian, reinterpret_cast<void**>(&librarian));
  ReleaseAll(found);

  ISitheRecording* recording = nullptr;
  IRenderTarget2d* target = nullptr;
  if (SUCCEEDED(hr)) hr = SitheCreateRecordingTarget(&recording);
  if (SUCCEEDED(hr)) hr = recording->QueryInterface(IID_IRenderTarget2d, reinterpret_cast<void**>(&target));
  // The set's lengths are in metres; the picture is in millimetres.
  RenderContextScales context{};
  context.scale11 = 1000.0;
  context.scale12 = context.scale13 = 1.0;
  context.textFactor = 1.0;
  context.verticalAxisFactor = 1.0;
  context.smallestSpacing = 0.1;
  std::vector<Label> labels;
  int drawn = 0, failed = 0;
  // A fill's patterns come from metres into the picture's millimetres through the host's render context.
  host_app::RenderContext host;
  for (int i : {0, 5, 10}) host.transform.m_matrix[i] = 1000.0;
  FillDrawingSetup setup{};
  setup.context = &host;
  setup.unitsCode = STYLE_UNITS_13;
  StyleElementRecord element{};
  element.display = target;  // it places the symbols of the symbol line
  auto draw = [&](IUnknown* style, double* points, DWORD count, const std::wstring& name, double x, double y,
                  const StyleElementRecord* seventh, const RenderContextScales& scales,
                  const tagStyleOverride* record) {
    IJStyleRender* render = nullptr;
    HRESULT result = style->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&render));
    if (SUCCEEDED(result)) result = DrawPoints(render, target, scales, points, count, seventh, record);
    ReleaseAll(render);
    labels.push_back({x, y, name});
    if (FAILED(result)) std::printf("samplehost: \"%ls\" did not draw: %s\n", name.c_str(), Name(result));
    ++(FAILED(result) ? failed : drawn);
  };
  if (SUCCEEDED(hr)) {
    double y = 0.0;
    for (auto& [style, name] : NamedStyles(librarian, STYLETYPE_Linear)) {
      double points[] = {0, y, 0, 50, y, 0, 62, y + 5, 0, 100, y + 5, 0};
      draw(style, points, 4, name, 105, y, &element, context, nullptr);
      style->Release();
      y -= 10.0;
    }
    int column = 0;
    y -= 30.0;
    for (auto& [style, name] : NamedStyles(librarian, STYLETYPE_Fill)) {
      const double x = 32.0 * column;
      double square[] = {x, y, 0, x + kSwatch, y, 0, x + kSwatch, y + kSwatch, 0, x, y + kSwatch, 0, x, y, 0};
      // Each swatch shows at least two repeats of its pattern: one too large for that is drawn reduced by a whole
      // factor, its pens kept at their own width, with the reduction under its name.
      const PatternSize pattern = SizeOfPattern(style);
      const double perUnit = pattern.unitsCode == STYLE_UNITS_11 ? context.scale11 : 1.0;
      const int reduction = std::max(1, static_cast<int>(std::ceil(2.0 * pattern.repeat * perUnit / kSwatch)));
      if (reduction == 1) {
        draw(style, square, 5, name, x, y - 4, AsSeventhArgument(&setup), context, nullptr);
      } else {
        RenderContextScales reduced = context;
        reduced.scale11 /= reduction;
        host_app::RenderContext reducedHost;
        for (int i : {0, 5, 10}) reducedHost.transform.m_matrix[i] = host.transform.m_matrix[i] / reduction;
        FillDrawingSetup reducedSetup = setup;
        reducedSetup.context = &reducedHost;
        tagStyleOverride pens{};
        pens.recordCode = kStyleOverrideRecordCode;
        pens.flags = OVR_WIDTH;
        pens.unitsCode = STYLE_UNITS_13;
        pens.width = pattern.pen * perUnit;
        draw(style, square, 5, name, x, y - 4, AsSeventhArgument(&reducedSetup), reduced, &pens);
        labels.push_back({x, y - 8, L"at 1:" + std::to_wstring(reduction)});
      }
      style->Release();
      if (++column == 6) {
        column = 0;
        y -= 40.0;
      }
    }
    y -= 40.0;
    for (auto& [style, name] : NamedStyles(librarian, STYLETYPE_TextChar)) {
      IJStyleRender* render = nullptr;
      TextDrawingState state{0, 0, {0.0, y, 0.0}};
      TextDrawItem item{};
      item.state = &state;
      HRESULT result = style->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&render));
      if (SUCCEEDED(result)) {
        result = render->RenderWithContext(reinterpret_cast<const StyleGeometryRecord*>(&item), target, &context,
                                           nullptr, nullptr, nullptr);
      }
      ReleaseAll(render);
      style->Release();
      labels.push_back({40, y, name});
      ++(FAILED(result) ? failed : drawn);
      y -= 10.0;
    }
    std::printf("samplehost: drew %d default styles (%d failed)\n", drawn, failed);
    if (failed != 0 || drawn == 0) hr = E_FAIL;
  }
  if (SUCCEEDED(hr)) hr = WriteLabelled(recording, labels, path);
  std::printf("samplehost: the default styles written to %s: %s\n", path, Name(hr));
  ReleaseAll(target);
  ReleaseAll(recording);
  ReleaseAll(librarian);
  ReleaseAll(document);
  SitheSetFonts(nullptr, 0);
  if (graphicCookies.groupCookie) host_app::RevokeSymbolGraphicClasses(graphicCookies);
  if (dimensionCookie) CoRevokeClassObject(dimensionCookie);
  return FAILED(hr) ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::printf("samplehost: COM initialised on this thread: %s\n", Name(com));

  HMODULE library = LoadLibraryA("stylesrv.dll");
  if (!library) {
    std::printf("samplehost: stylesrv.dll did not load (error %lu)\n", GetLastError());
    return 1;
  }
  std::printf("samplehost: loaded stylesrv.dll\n");

  auto getClassObject = FindExport<decltype(&DllGetClassObject)>(library, "DllGetClassObject");
  auto canUnloadNow = FindExport<decltype(&DllCanUnloadNow)>(library, "DllCanUnloadNow");
  auto getExceptionColor = FindExport<DWORD(WINAPI*)()>(library, "GetExceptionColor");
  if (!getClassObject || !canUnloadNow || !getExceptionColor) {
    std::printf("samplehost: stylesrv.dll lacks DllGetClassObject, DllCanUnloadNow or GetExceptionColor\n");
    FreeLibrary(library);
    return 1;
  }
  std::printf("samplehost: exception colour 0x%08lX\n", getExceptionColor());

  int failures = 0;
  int created = 0;
  int served = 0;
  for (const StyleServedClsid& entry : kStyleServedClsids) {
    std::printf("  ");
    PrintClsid(*entry.clsid);
    std::printf(" %-24s ", entry.className);
    IClassFactory* factory = nullptr;
    HRESULT hr = getClassObject(*entry.clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (hr == E_FAIL) {
      std::printf("not served yet\n");
      continue;
    }
    if (FAILED(hr)) {
      std::printf("class object: %s (0x%08lX)\n", Name(hr), static_cast<unsigned long>(hr));
      ++failures;
      continue;
    }
    ++served;
    IUnknown* object = nullptr;
    hr = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object));
    factory->Release();
    if (FAILED(hr)) {
      std::printf("class object, but CreateInstance: %s (0x%08lX)\n", Name(hr), static_cast<unsigned long>(hr));
      ++failures;
      continue;
    }
    ++created;
    std::printf("created, %s while it lives, released\n", Name(canUnloadNow()));
    object->Release();
  }
  std::printf("samplehost: %zu CLSIDs asked, %d served, %d objects created\n", std::size(kStyleServedClsids),
              served, created);

  // Where the picture goes: the first argument, else lines.svg in the working directory.
  failures += DrawPicture(getClassObject, library, argc > 1 ? argv[1] : "lines.svg");
  failures += NamedStyle(library, getClassObject);
  failures += ElementStyles(library, getClassObject);
  failures += ChooseTextStyle(getClassObject);
  // Where the default styles go: the second argument, else gallery.svg in the working directory.
  failures += DrawDefaultStyles(library, getClassObject, argc > 2 ? argv[2] : "gallery.svg");

  HRESULT unload = canUnloadNow();
  std::printf("samplehost: DllCanUnloadNow: %s\n", Name(unload));
  if (unload != S_OK) ++failures;
  FreeLibrary(library);
  std::printf("samplehost: unloaded stylesrv.dll\n");
  if (SUCCEEDED(com)) CoUninitialize();
  return failures == 0 ? 0 : 1;
}

// The host's rendering library (stand-in), as far as stylesrv uses it: the render target that styles draw
// into, which here records every call in order with its arguments and can write what it drew as an SVG
// picture; the solid-line render record and RealRender2d, through which the missing-graphic placeholder draws.
#pragma once

#include <windows.h>
#include <objbase.h>

#include "display/style/stylesrv_itf.h"
#include "host/quarnet/quarnet.h"

#ifdef SITHE_BUILD
#define SITHE_API __declspec(dllexport)
#else
#define SITHE_API __declspec(dllimport)
#endif

inline constexpr IID IID_IRenderTarget2d = {0x7D2C5A10, 0x31B4, 0x4E6A, {0x9F, 0x02, 0x6B, 0x51, 0xC8, 0x3E, 0x10, 0x01}};

#define SITHE_UNUSED_SLOT(n) virtual HRESULT STDMETHODCALLTYPE Slot##n() = 0;

// The host's render target. Its operations are known by their place in the table; the slots that nothing
// calls yet are placeholders.
struct IRenderTarget2d : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetPenColor(DWORD colour) = 0;  // 3
  SITHE_UNUSED_SLOT(4) SITHE_UNUSED_SLOT(5) SITHE_UNUSED_SLOT(6)
  virtual HRESULT STDMETHODCALLTYPE SetPenWidth(double width) = 0;  // 7
  // 8: the lengths of the pattern in which later polylines are dashed, drawn and skipped in turn (-DBL_MAX is
  // an empty entry); (0, null) draws solid. S_OK (0) when the target dashes by itself, anything else when the
  // caller must dash.
  virtual HRESULT STDMETHODCALLTYPE SetDashPattern(DWORD count, const double* lengths) = 0;
  SITHE_UNUSED_SLOT(9) SITHE_UNUSED_SLOT(10) SITHE_UNUSED_SLOT(11) SITHE_UNUSED_SLOT(12) SITHE_UNUSED_SLOT(13)
  // 14: `count` points of three f64 each (x, y, z).
  virtual HRESULT STDMETHODCALLTYPE DrawPolyline(DWORD count, const double* points) = 0;
  // 15: the colour in which later areas are filled (0x00BBGGRR).
  virtual HRESULT STDMETHODCALLTYPE SetFillColor(DWORD colour) = 0;
  // 16: fills the area bounded by `count` points of three f64 each. A point whose x is -DBL_MAX ends a loop and
  // belongs to none; what the loops enclose by the even-odd rule is filled, so a loop inside another is a hole.
  virtual HRESULT STDMETHODCALLTYPE FillArea(DWORD count, const double* points) = 0;
  // 17: a line from one point to another, three f64 each, with the pen as a polyline takes it.
  virtual HRESULT STDMETHODCALLTYPE DrawLine(const double* start, const double* end) = 0;
  // 18: a fill pattern's drawing begins; the two values are kept.
  virtual HRESULT STDMETHODCALLTYPE BeginDrawing(DWORD first, DWORD second) = 0;
  // 19: a picture drawn at the point (x, y), given y first, at the drawn size, with a second bitmap and a mode
  // word that the target interprets.
  virtual HRESULT STDMETHODCALLTYPE DrawBitmap(double y, double x, HBITMAP picture, HBITMAP second, double size,
                                               DWORD mode) = 0;
  SITHE_UNUSED_SLOT(20) SITHE_UNUSED_SLOT(21) SITHE_UNUSED_SLOT(22) SITHE_UNUSED_SLOT(23) SITHE_UNUSED_SLOT(24)
  SITHE_UNUSED_SLOT(25) SITHE_UNUSED_SLOT(26) SITHE_UNUSED_SLOT(27) SITHE_UNUSED_SLOT(28) SITHE_UNUSED_SLOT(29)
  // 30, 31 and 37: three drawing codes of a line, handed on by line styles.
  virtual HRESULT STDMETHODCALLTYPE SetFirstCode(DWORD code) = 0;  // 30
  virtual HRESULT STDMETHODCALLTYPE SetThirdCode(DWORD code) = 0;  // 31
  SITHE_UNUSED_SLOT(32) SITHE_UNUSED_SLOT(33) SITHE_UNUSED_SLOT(34) SITHE_UNUSED_SLOT(35) SITHE_UNUSED_SLOT(36)
  virtual HRESULT STDMETHODCALLTYPE SetSecondCode(DWORD code) = 0;  // 37
  virtual HRESULT STDMETHODCALLTYPE GetRenderMode(DWORD* mode) = 0;  // 38
};

#undef SITHE_UNUSED_SLOT

// ---- the recording target, as tests read it ----
// It is also an element display object (IJElementDisplay and IJElementDisplayScope of stylesrv_itf.h), so that
// a test or the sample host can hand it to a point symbol as the element's display and see the placed symbols.

inline constexpr IID IID_ISitheRecording = {0x7D2C5A11, 0x31B4, 0x4E6A, {0x9F, 0x02, 0x6B, 0x51, 0xC8, 0x3E, 0x10, 0x01}};

// Which interface of the recording target a call came through.
enum : DWORD {
  SITHE_RENDER_TARGET = 0,     // IRenderTarget2d
  SITHE_ELEMENT_DISPLAY = 1,   // IJElementDisplay: BeginPlacement (flag in u[0]), EndPlacement
  SITHE_DISPLAY_SCOPE = 2,     // IJElementDisplayScope: BeginOwner (the owner pointer in u[0]), EndOwner,
                               // SetDisplayTransform (its matrix read apart), EndDisplayPass
  SITHE_FONT_TEXT = 3,         // text the font manager drew (slot 21): its origin as the one point, the height
                               // in d[0], the angle in degrees in d[1], the colour in u[0]
};

// One call on the render target: its slot and name, its arguments and its answer (the points of DrawPolyline,
// DrawLine and FillArea, the lengths of SetDashPattern and the matrix of BeginPlacement are read apart).
// SetDashPattern keeps its count in u[0] and in pointCount; BeginDrawing its values in u[0] and u[1]. The points
// of DrawPolyline, DrawLine and FillArea are kept as drawn: placed by the placements begun and not yet ended,
// innermost first (loop separators stay as they are).
struct SitheCall {
  DWORD slot;
  char name[24];
  DWORD u[2];
  double d[2];
  DWORD pointCount;
  HRESULT result;
  DWORD itf;  // SITHE_RENDER_TARGET, SITHE_ELEMENT_DISPLAY or SITHE_DISPLAY_SCOPE
  // DrawBitmap keeps y and x in d[0] and d[1], the picture and the second bitmap in u[0] and u[1], its position
  // as one point (placed as the points of DrawPolyline are), and these two.
  double size;
  DWORD mode;
};

struct ISitheRecording : public IUnknown {
  virtual DWORD STDMETHODCALLTYPE CallCount() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCall(DWORD index, SitheCall* out) = 0;
  // The points of a DrawPolyline, DrawLine or FillArea call, three f64 each; at most `capacity` points are
  // written.
  virtual HRESULT STDMETHODCALLTYPE GetCallPoints(DWORD index, DWORD capacity, double* points) = 0;
  virtual void STDMETHODCALLTYPE Clear() = 0;
  // The picture of what was drawn, y upwards. *length is the text's length without its terminating zero; the
  // text is copied only when it fits, with the zero.
  virtual HRESULT STDMETHODCALLTYPE GetSvg(char* buffer, DWORD capacity, DWORD* length) = 0;
  virtual HRESULT STDMETHODCALLTYPE WriteSvg(const char* path) = 0;
  // The lengths of a SetDashPattern call; at most `capacity` are written.
  virtual HRESULT STDMETHODCALLTYPE GetCallLengths(DWORD index, DWORD capacity, double* lengths) = 0;
  // TRUE: the target dashes by itself and accepts every pattern; FALSE (at creation): it refuses patterns.
  virtual void STDMETHODCALLTYPE SetDashesItself(BOOL dashes) = 0;
  // What GetRenderMode answers (0 at creation).
  virtual void STDMETHODCALLTYPE SetRenderMode(DWORD mode) = 0;
  // The sixteen f64 of a BeginPlacement or SetDisplayTransform call.
  virtual HRESULT STDMETHODCALLTYPE GetCallMatrix(DWORD index, double* matrix) = 0;
  // How the font manager draws text into the target: recorded, and shown in the picture at its origin.
  virtual HRESULT STDMETHODCALLTYPE RecordText(const double* origin, double height, double degrees, DWORD colour) = 0;
  // The transform of the display pass under way; the identity with S_FALSE outside one.
  virtual HRESULT STDMETHODCALLTYPE GetDisplayTransform(double* matrix) = 0;
};

// ---- records of the rendering library ----

enum : DWORD { SITHE_RECORD_SOLID_LINE = 1 };

// A render record: how a graphic's outline is drawn.
struct SitheRenderRecord {
  DWORD kind;
  DWORD unitsCode;
  double width;
  DWORD colour;
  DWORD reserved;
};

// The description of a graphic handed to RealRender2d: six words.
struct SitheGraphicDescription {
  DWORD count;        // graphics described (1)
  DWORD elementCode;  // the host's element code of the graphic
  DWORD reserved0;
  const QuarnetFigure2d* figure;
  DWORD reserved1;
  const GraphicRange* range;
};
static_assert(sizeof(SitheGraphicDescription) == 24);

// What RealRender2d was given, for the tests.
struct SitheRealRenderCall {
  SitheGraphicDescription description;
  SitheRenderRecord record;
  DWORD flags;
  HRESULT result;
};

extern "C" {

// A solid-line record: the width in the given units code, the colour.
SITHE_API HRESULT BuildRenderSolidLine(SitheRenderRecord* record, DWORD unitsCode, double width, DWORD colour);

// Draws the described figure with the record into the display interface of the draw context (which must
// answer IRenderTarget2d): pen colour, pen width, then the closed outline as one polyline at z = 0.
SITHE_API HRESULT RealRender2d(const GraphicDrawContext* context, const SitheGraphicDescription* description,
                               const SitheRenderRecord* record, DWORD flags);

// ---- for the tests ----

// A new recording target with one reference.
SITHE_API HRESULT SitheCreateRecordingTarget(ISitheRecording** out);
// Recording targets alive.
SITHE_API LONG SitheLiveTargets();

SITHE_API LONG SitheRealRenderCount();
SITHE_API BOOL SitheGetRealRender(LONG index, SitheRealRenderCall* out);
SITHE_API void SitheClearRealRenders();

}  // extern "C"

// ---- the font manager ----

#define SITHE_FONT_UNUSED_SLOT(n) virtual HRESULT STDMETHODCALLTYPE FontSlot##n() = 0;

// The font manager a text style draws and measures through. Its operations are known by their place in the
// table; the slots that nothing calls yet are placeholders. Each handle has a current font: the one last named
// to it.
struct ISitheFontMgr {
  SITHE_FONT_UNUSED_SLOT(0) SITHE_FONT_UNUSED_SLOT(1) SITHE_FONT_UNUSED_SLOT(2) SITHE_FONT_UNUSED_SLOT(3)
  // 4: makes the font current; non-zero when it takes no language at all.
  virtual LONG STDMETHODCALLTYPE HasNoLanguage(LPCWSTR fontName) = 0;
  SITHE_FONT_UNUSED_SLOT(5) SITHE_FONT_UNUSED_SLOT(6)
  // 7: writes the font's number and answers 0; non-zero, with nothing written, for a font it does not know.
  virtual LONG STDMETHODCALLTYPE GetFontNumber(WORD* number, LPCWSTR fontName) = 0;
  SITHE_FONT_UNUSED_SLOT(8) SITHE_FONT_UNUSED_SLOT(9) SITHE_FONT_UNUSED_SLOT(10) SITHE_FONT_UNUSED_SLOT(11)
  // 12: the text attributes of the calls that follow.
  virtual HRESULT STDMETHODCALLTYPE SetTextAttributes(const TextAttributeRecord* record) = 0;
  SITHE_FONT_UNUSED_SLOT(13)
  // 14 to 23: the text operations; the text styles pass their arguments through.
  virtual HRESULT STDMETHODCALLTYPE TextOp14(void* a1) = 0;
  // 15: at least eight doubles of the current text's metrics.
  virtual HRESULT STDMETHODCALLTYPE QueryTextMetrics(double* metrics) = 0;
  // 16: measures; three results.
  virtual HRESULT STDMETHODCALLTYPE MeasureText(double* r1, double* r2, double* r3, DWORD a5, DWORD a6,
                                                DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE TextOp17(void* a1, DWORD a3, DWORD a4, DWORD flags, DWORD a6,
                                             double direction) = 0;
  virtual HRESULT STDMETHODCALLTYPE TextOp18(void* a1, DWORD a3, DWORD a4, DWORD flags, DWORD a6, DWORD a7) = 0;
  virtual HRESULT STDMETHODCALLTYPE TextOp19(void* a1, DWORD a2, DWORD a4, DWORD a5, DWORD flags, DWORD a7,
                                             DWORD a8) = 0;
  SITHE_FONT_UNUSED_SLOT(20)
  // 21: draws the text of the drawing state into the target.
  virtual HRESULT STDMETHODCALLTYPE DrawTextAt(IRenderTarget2d* target, const TextDrawingState* state,
                                             double direction, double value) = 0;
  virtual HRESULT STDMETHODCALLTYPE TextOp22(void* a1, DWORD flags, void* a4) = 0;
  virtual HRESULT STDMETHODCALLTYPE TextOp23(DWORD a1, DWORD a2) = 0;
  // 24: calls back once for each language of the current font, in the font's order, before it returns.
  virtual HRESULT STDMETHODCALLTYPE EnumLanguages(TextLanguageCallback callback) = 0;
};

#undef SITHE_FONT_UNUSED_SLOT

// A font the font manager knows, as a test describes it.
struct SitheFont {
  const wchar_t* name;       // compared without regard to case
  const WORD* languages;     // in the font's order
  DWORD languageCount;
  BOOL noLanguage;           // the font takes no language
};

extern "C" {

// A new font manager handle.
SITHE_API HRESULT GetFontMgr2(ISitheFontMgr** out);
// Gives a handle back; null does nothing.
SITHE_API void ReleaseFontMgr2(ISitheFontMgr* manager);

// ---- for the tests ----

// Replaces the fonts every handle knows (copied); (null, 0) forgets them all.
SITHE_API void SitheSetFonts(const SitheFont* fonts, DWORD count);
// Handles given out and not yet given back.
SITHE_API LONG SitheLiveFontMgrs();
// Makes the font manager answer `hr` from now on: op 0 for GetFontMgr2, else the operation of that slot (12 and
// 14 to 24; 12 then keeps its record current no more); S_OK cancels.
SITHE_API void SitheFailFontOp(DWORD op, HRESULT hr);

// One call of the operations 7 and 12 to 23 on any handle, with its arguments in order: words in u (pointers as
// their address), doubles in d, and for op 12 the record's bytes.
struct SitheFontCall {
  DWORD op;
  DWORD u[7];
  double d[2];
  BYTE record[64];
  HRESULT result;
};
SITHE_API LONG SitheFontCallCount();
SITHE_API BOOL SitheGetFontCall(LONG index, SitheFontCall* out);
SITHE_API void SitheClearFontCalls();

}  // extern "C"

// ---- the render service ----

inline constexpr IID IID_ISitheRenderService = {0x7D2C5A12, 0x31B4, 0x4E6A, {0x9F, 0x02, 0x6B, 0x51, 0xC8, 0x3E, 0x10, 0x01}};

// The length of a font-name buffer, terminator included.
inline constexpr DWORD kSitheFontNameLength = 32;

struct ISitheRenderService : public IUnknown {
  // 3: writes the default font's name, UTF-16 and terminated when it fits, into a buffer of
  // kSitheFontNameLength characters.
  virtual HRESULT STDMETHODCALLTYPE GetDefaultFontName(LPWSTR buffer) = 0;
};

extern "C" {

// The process's render service, with a reference (ordinal 24).
SITHE_API HRESULT GetRenderService(IUnknown** out);

// ---- for the tests ----

// The name the default-font operation writes from now on; null brings back "Arial".
SITHE_API void SitheSetDefaultFont(const wchar_t* name);
// What GetRenderService and the default-font operation answer from now on; S_OK cancels.
SITHE_API void SitheFailRenderService(HRESULT service, HRESULT defaultFont);
// Calls of the default-font operation so far.
SITHE_API LONG SitheDefaultFontCalls();

}  // extern "C"

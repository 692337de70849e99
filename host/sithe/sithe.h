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
  SITHE_UNUSED_SLOT(8) SITHE_UNUSED_SLOT(9) SITHE_UNUSED_SLOT(10) SITHE_UNUSED_SLOT(11) SITHE_UNUSED_SLOT(12)
  SITHE_UNUSED_SLOT(13)
  // 14: `count` points of three f64 each (x, y, z).
  virtual HRESULT STDMETHODCALLTYPE DrawPolyline(DWORD count, const double* points) = 0;
};

#undef SITHE_UNUSED_SLOT

// ---- the recording target, as tests read it ----

inline constexpr IID IID_ISitheRecording = {0x7D2C5A11, 0x31B4, 0x4E6A, {0x9F, 0x02, 0x6B, 0x51, 0xC8, 0x3E, 0x10, 0x01}};

// One call on the render target: its slot and name and its arguments (DrawPolyline's points are read apart).
struct SitheCall {
  DWORD slot;
  char name[24];
  DWORD u[2];
  double d[2];
  DWORD pointCount;
};

struct ISitheRecording : public IUnknown {
  virtual DWORD STDMETHODCALLTYPE CallCount() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetCall(DWORD index, SitheCall* out) = 0;
  // The points of a DrawPolyline call, three f64 each; at most `capacity` points are written.
  virtual HRESULT STDMETHODCALLTYPE GetCallPoints(DWORD index, DWORD capacity, double* points) = 0;
  virtual void STDMETHODCALLTYPE Clear() = 0;
  // The picture of what was drawn, y upwards. *length is the text's length without its terminating zero; the
  // text is copied only when it fits, with the zero.
  virtual HRESULT STDMETHODCALLTYPE GetSvg(char* buffer, DWORD capacity, DWORD* length) = 0;
  virtual HRESULT STDMETHODCALLTYPE WriteSvg(const char* path) = 0;
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

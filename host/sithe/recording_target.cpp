// The recording render target: every call kept in order with its arguments, and the picture they make.
#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "host/sithe/sithe.h"

namespace {

volatile LONG g_liveTargets = 0;

#define RECORDING_UNUSED_SLOT(n) \
  HRESULT STDMETHODCALLTYPE Slot##n() override { return Record(n, "Slot" #n); }

struct Call {
  SitheCall head;
  std::vector<double> points;   // DrawPolyline, DrawLine, FillArea
  std::vector<double> lengths;  // SetDashPattern
  std::vector<double> matrix;   // BeginPlacement
  LONG pixels[2] = {0, 0};      // DrawBitmap: the picture's width and height when it was drawn
};

// Row vectors times a 4x4 matrix in row order: a * b applies a first.
using Matrix = std::array<double, 16>;

Matrix Multiply(const Matrix& a, const Matrix& b) {
  Matrix r{};
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      for (int k = 0; k < 4; ++k) r[4 * i + j] += a[4 * i + k] * b[4 * k + j];
    }
  }
  return r;
}

// The point (x, y, z, 1) times the matrix, divided by its weight unless that is 0.
void Place(const Matrix& m, double* p) {
  const double in[4] = {p[0], p[1], p[2], 1.0};
  double out[4] = {0, 0, 0, 0};
  for (int j = 0; j < 4; ++j) {
    for (int k = 0; k < 4; ++k) out[j] += in[k] * m[4 * k + j];
  }
  const double w = out[3] != 0.0 ? out[3] : 1.0;
  for (int j = 0; j < 3; ++j) p[j] = out[j] / w;
}

void AppendNumber(std::string& out, double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  out += text;
}

// A point the picture places: separators (x or y at the end of the doubles) and damage are not drawn.
bool Placeable(double x, double y) { return std::fabs(x) < DBL_MAX && std::fabs(y) < DBL_MAX; }

// A colour value is 0x00BBGGRR.
std::string SvgColour(DWORD colour) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", static_cast<unsigned>(colour & 0xFF),
                static_cast<unsigned>((colour >> 8) & 0xFF), static_cast<unsigned>((colour >> 16) & 0xFF));
  return text;
}

class RecordingTarget final : public IRenderTarget2d,
                              public ISitheRecording,
                              public IJElementDisplay,
                              public IJElementDisplayScope {
 public:
  RecordingTarget() { InterlockedIncrement(&g_liveTargets); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IRenderTarget2d)) {
      *out = static_cast<IRenderTarget2d*>(this);
    } else if (IsEqualIID(iid, IID_ISitheRecording)) {
      *out = static_cast<ISitheRecording*>(this);
    } else if (IsEqualIID(iid, IID_IJElementDisplay)) {
      *out = static_cast<IJElementDisplay*>(this);
    } else if (IsEqualIID(iid, IID_IJElementDisplayScope)) {
      *out = static_cast<IJElementDisplayScope*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
  }

  // ---- IRenderTarget2d ----

  HRESULT STDMETHODCALLTYPE SetPenColor(DWORD colour) override {
    Call& call = Add(3, "SetPenColor");
    call.head.u[0] = colour;
    return S_OK;
  }
  RECORDING_UNUSED_SLOT(4) RECORDING_UNUSED_SLOT(5) RECORDING_UNUSED_SLOT(6)
  HRESULT STDMETHODCALLTYPE SetPenWidth(double width) override {
    Call& call = Add(7, "SetPenWidth");
    call.head.d[0] = width;
    return S_OK;
  }
  // A solid pen is always taken; a pattern only by a target that dashes by itself.
  HRESULT STDMETHODCALLTYPE SetDashPattern(DWORD count, const double* lengths) override {
    if (count && !lengths) return E_INVALIDARG;
    Call& call = Add(8, "SetDashPattern");
    call.head.u[0] = count;
    call.head.pointCount = count;
    if (count) call.lengths.assign(lengths, lengths + count);
    call.head.result = count == 0 || m_dashesItself ? S_OK : S_FALSE;
    return call.head.result;
  }
  RECORDING_UNUSED_SLOT(9) RECORDING_UNUSED_SLOT(10) RECORDING_UNUSED_SLOT(11) RECORDING_UNUSED_SLOT(12)
  RECORDING_UNUSED_SLOT(13)
  HRESULT STDMETHODCALLTYPE DrawPolyline(DWORD count, const double* points) override {
    return RecordPoints(14, "DrawPolyline", count, points);
  }
  HRESULT STDMETHODCALLTYPE SetFillColor(DWORD colour) override {
    Add(15, "SetFillColor").head.u[0] = colour;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE FillArea(DWORD count, const double* points) override {
    return RecordPoints(16, "FillArea", count, points);
  }
  HRESULT STDMETHODCALLTYPE DrawLine(const double* start, const double* end) override {
    if (!start || !end) return E_INVALIDARG;
    const double points[6] = {start[0], start[1], start[2], end[0], end[1], end[2]};
    return RecordPoints(17, "DrawLine", 2, points);
  }
  HRESULT STDMETHODCALLTYPE BeginDrawing(DWORD first, DWORD second) override {
    Call& call = Add(18, "BeginDrawing");
    call.head.u[0] = first;
    call.head.u[1] = second;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DrawBitmap(double y, double x, HBITMAP picture, HBITMAP second, double size,
                                       DWORD mode) override {
    const double point[3] = {x, y, 0.0};
    RecordPoints(19, "DrawBitmap", 1, point);
    Call& call = m_calls.back();
    call.head.d[0] = y;
    call.head.d[1] = x;
    call.head.u[0] = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(picture));
    call.head.u[1] = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(second));
    call.head.size = size;
    call.head.mode = mode;
    BITMAP bitmap{};
    if (picture && GetObjectA(picture, sizeof bitmap, &bitmap)) {
      call.pixels[0] = bitmap.bmWidth;
      call.pixels[1] = std::labs(bitmap.bmHeight);
    }
    return S_OK;
  }
  RECORDING_UNUSED_SLOT(20) RECORDING_UNUSED_SLOT(21) RECORDING_UNUSED_SLOT(22)
  RECORDING_UNUSED_SLOT(23) RECORDING_UNUSED_SLOT(24) RECORDING_UNUSED_SLOT(25) RECORDING_UNUSED_SLOT(26)
  RECORDING_UNUSED_SLOT(27) RECORDING_UNUSED_SLOT(28) RECORDING_UNUSED_SLOT(29)
  HRESULT STDMETHODCALLTYPE SetFirstCode(DWORD code) override { return RecordCode(30, "SetFirstCode", code); }
  HRESULT STDMETHODCALLTYPE SetThirdCode(DWORD code) override { return RecordCode(31, "SetThirdCode", code); }
  RECORDING_UNUSED_SLOT(32) RECORDING_UNUSED_SLOT(33) RECORDING_UNUSED_SLOT(34) RECORDING_UNUSED_SLOT(35)
  RECORDING_UNUSED_SLOT(36)
  HRESULT STDMETHODCALLTYPE SetSecondCode(DWORD code) override { return RecordCode(37, "SetSecondCode", code); }
  HRESULT STDMETHODCALLTYPE GetRenderMode(DWORD* mode) override {
    Call& call = Add(38, "GetRenderMode");
    call.head.u[0] = m_renderMode;
    if (!mode) return call.head.result = E_INVALIDARG;
    *mode = m_renderMode;
    return S_OK;
  }

  // ---- IJElementDisplay and IJElementDisplayScope ----

  HRESULT STDMETHODCALLTYPE BeginPlacement(const double* matrix, DWORD flag) override {
    Call& call = Add(3, "BeginPlacement", SITHE_ELEMENT_DISPLAY);
    call.head.u[0] = flag;
    if (!matrix) return call.head.result = E_INVALIDARG;
    call.matrix.assign(matrix, matrix + 16);
    Matrix placed;
    std::copy(matrix, matrix + 16, placed.begin());
    // A placement inside another applies first.
    m_placements.push_back(m_placements.empty() ? placed : Multiply(placed, m_placements.back()));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EndPlacement() override {
    Call& call = Add(5, "EndPlacement", SITHE_ELEMENT_DISPLAY);
    if (m_placements.empty()) return call.head.result = E_UNEXPECTED;
    m_placements.pop_back();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE BeginOwner(IUnknown* owner) override {
    Add(21, "BeginOwner", SITHE_DISPLAY_SCOPE).head.u[0] = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(owner));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EndOwner() override {
    Add(22, "EndOwner", SITHE_DISPLAY_SCOPE);
    return S_OK;
  }
  // The display object keeps the transform for what is displayed into it; the graphic doubles read it.
  HRESULT STDMETHODCALLTYPE SetDisplayTransform(const double* matrix) override {
    Call& call = Add(3, "SetDisplayTransform", SITHE_DISPLAY_SCOPE);
    if (!matrix) return call.head.result = E_INVALIDARG;
    call.matrix.assign(matrix, matrix + 16);
    m_displayTransform = call.matrix;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EndDisplayPass() override {
    Add(4, "EndDisplayPass", SITHE_DISPLAY_SCOPE);
    m_displayTransform.clear();
    return S_OK;
  }
#define DISPLAY_UNUSED_SLOT(n) \
  HRESULT STDMETHODCALLTYPE NotCalled##n() override { return E_NOTIMPL; }
  DISPLAY_UNUSED_SLOT(4) DISPLAY_UNUSED_SLOT(5) DISPLAY_UNUSED_SLOT(6) DISPLAY_UNUSED_SLOT(7)
  DISPLAY_UNUSED_SLOT(8) DISPLAY_UNUSED_SLOT(9) DISPLAY_UNUSED_SLOT(10) DISPLAY_UNUSED_SLOT(11)
  DISPLAY_UNUSED_SLOT(12) DISPLAY_UNUSED_SLOT(13) DISPLAY_UNUSED_SLOT(14) DISPLAY_UNUSED_SLOT(15)
  DISPLAY_UNUSED_SLOT(16) DISPLAY_UNUSED_SLOT(17) DISPLAY_UNUSED_SLOT(18) DISPLAY_UNUSED_SLOT(19)
  DISPLAY_UNUSED_SLOT(20)
#undef DISPLAY_UNUSED_SLOT

  // ---- ISitheRecording ----

  DWORD STDMETHODCALLTYPE CallCount() override { return static_cast<DWORD>(m_calls.size()); }

  HRESULT STDMETHODCALLTYPE GetCall(DWORD index, SitheCall* out) override {
    if (!out || index >= m_calls.size()) return E_INVALIDARG;
    *out = m_calls[index].head;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetCallPoints(DWORD index, DWORD capacity, double* points) override {
    if (!points || index >= m_calls.size()) return E_INVALIDARG;
    return CopyOut(m_calls[index].points, std::size_t{capacity} * 3, points);
  }

  HRESULT STDMETHODCALLTYPE GetCallLengths(DWORD index, DWORD capacity, double* lengths) override {
    if (!lengths || index >= m_calls.size()) return E_INVALIDARG;
    return CopyOut(m_calls[index].lengths, capacity, lengths);
  }

  HRESULT STDMETHODCALLTYPE GetCallMatrix(DWORD index, double* matrix) override {
    if (!matrix || index >= m_calls.size() || m_calls[index].matrix.size() != 16) return E_INVALIDARG;
    return CopyOut(m_calls[index].matrix, 16, matrix);
  }

  HRESULT STDMETHODCALLTYPE RecordText(const double* origin, double height, double degrees, DWORD colour) override {
    if (!origin) return E_INVALIDARG;
    Call& call = Add(21, "DrawText", SITHE_FONT_TEXT);
    call.head.pointCount = 1;
    call.points.assign(origin, origin + 3);
    call.head.d[0] = height;
    call.head.d[1] = degrees;
    call.head.u[0] = colour;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetDisplayTransform(double* matrix) override {
    if (!matrix) return E_INVALIDARG;
    if (m_displayTransform.empty()) {
      Matrix identity{};
      for (int i = 0; i < 4; ++i) identity[5 * i] = 1.0;
      std::copy(identity.begin(), identity.end(), matrix);
      return S_FALSE;
    }
    return CopyOut(m_displayTransform, 16, matrix);
  }

  void STDMETHODCALLTYPE SetDashesItself(BOOL dashes) override { m_dashesItself = dashes != FALSE; }
  void STDMETHODCALLTYPE SetRenderMode(DWORD mode) override { m_renderMode = mode; }

  void STDMETHODCALLTYPE Clear() override { m_calls.clear(); }

  HRESULT STDMETHODCALLTYPE GetSvg(char* buffer, DWORD capacity, DWORD* length) override {
    if (!length) return E_INVALIDARG;
    const std::string svg = Picture();
    *length = static_cast<DWORD>(svg.size());
    if (buffer && svg.size() < capacity) std::memcpy(buffer, svg.c_str(), svg.size() + 1);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE WriteSvg(const char* path) override {
    if (!path) return E_INVALIDARG;
    const std::string svg = Picture();
    std::FILE* file = std::fopen(path, "wb");
    if (!file) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    const bool written = std::fwrite(svg.data(), 1, svg.size(), file) == svg.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed ? S_OK : HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
  }

 private:
  ~RecordingTarget() { InterlockedDecrement(&g_liveTargets); }

  Call& Add(DWORD slot, const char* name, DWORD itf = SITHE_RENDER_TARGET) {
    m_calls.emplace_back();
    Call& call = m_calls.back();
    std::memset(&call.head, 0, sizeof call.head);
    call.head.slot = slot;
    call.head.itf = itf;
    std::snprintf(call.head.name, sizeof call.head.name, "%s", name);
    return call;
  }

  HRESULT Record(DWORD slot, const char* name) {
    return Add(slot, name).head.result = E_NOTIMPL;
  }

  HRESULT RecordPoints(DWORD slot, const char* name, DWORD count, const double* points) {
    if (count && !points) return E_INVALIDARG;
    Call& call = Add(slot, name);
    call.head.pointCount = count;
    call.points.assign(points, points + std::size_t{count} * 3);
    if (!m_placements.empty()) {
      for (std::size_t i = 0; i < call.points.size(); i += 3) {
        if (call.points[i] != -DBL_MAX) Place(m_placements.back(), &call.points[i]);
      }
    }
    return S_OK;
  }

  HRESULT RecordCode(DWORD slot, const char* name, DWORD code) {
    Add(slot, name).head.u[0] = code;
    return S_OK;
  }

  static HRESULT CopyOut(const std::vector<double>& src, std::size_t capacity, double* out) {
    const std::size_t n = std::min(src.size(), capacity);
    std::copy(src.begin(), src.begin() + static_cast<std::ptrdiff_t>(n), out);
    return S_OK;
  }

  // Each polyline and line in the pen colour and width set before it, dashed by the last pattern the target took; each
  // area in the fill colour set before it, as one even-odd path of its loops. The view box holds every point
  // and half the widest pen, with a margin.
  std::string Picture() const {
    double lo[2] = {0, 0}, hi[2] = {0, 0};
    bool any = false;
    double widest = 0;
    for (const Call& call : m_calls) {
      if (call.head.itf == SITHE_RENDER_TARGET && call.head.slot == 7) widest = std::max(widest, call.head.d[0]);
      // A picture's frame, not only its point, lies in the view.
      std::vector<double> frame;
      if (IsBitmap(call) && !call.points.empty()) {
        const Box box = BitmapBox(call);
        frame = {box.x, -box.y, 0, box.x + box.width, -box.y - box.height, 0};
      }
      const std::vector<double>& points = frame.empty() ? call.points : frame;
      for (std::size_t i = 0; i + 2 < points.size(); i += 3) {
        if (!Placeable(points[i], points[i + 1])) continue;
        const double p[2] = {points[i], -points[i + 1]};
        for (int k = 0; k < 2; ++k) {
          lo[k] = any ? std::min(lo[k], p[k]) : p[k];
          hi[k] = any ? std::max(hi[k], p[k]) : p[k];
        }
        any = true;
      }
    }
    double size[2] = {hi[0] - lo[0], hi[1] - lo[1]};
    const double extent = std::max(std::max(size[0], size[1]), 1e-9);
    const double margin = widest / 2 + extent * 0.05;
    for (int k = 0; k < 2; ++k) {
      lo[k] -= margin;
      size[k] += 2 * margin;
    }
    const double pixels = 400.0 / std::max(size[0], size[1]);

    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"";
    AppendNumber(svg, size[0] * pixels);
    svg += "\" height=\"";
    AppendNumber(svg, size[1] * pixels);
    svg += "\" viewBox=\"";
    AppendNumber(svg, lo[0]);
    svg += ' ';
    AppendNumber(svg, lo[1]);
    svg += ' ';
    AppendNumber(svg, size[0]);
    svg += ' ';
    AppendNumber(svg, size[1]);
    svg += "\">\n";

    DWORD colour = 0;
    DWORD fillColour = 0;
    double width = 0;
    std::string dashes;  // the stroke-dasharray of the pattern in force, empty for a solid pen
    for (const Call& call : m_calls) {
      if (call.head.itf == SITHE_FONT_TEXT) svg += TextMark(call);
      if (call.head.itf != SITHE_RENDER_TARGET) continue;
      if (call.head.slot == 3) colour = call.head.u[0];
      if (call.head.slot == 7) width = call.head.d[0];
      if (call.head.slot == 8 && call.head.result == S_OK) dashes = DashArray(call.lengths);
      if (call.head.slot == 15) fillColour = call.head.u[0];
      if (call.head.slot == 16) svg += AreaPath(call.points, fillColour);
      if (IsBitmap(call)) svg += BitmapFrame(call);
      if ((call.head.slot != 14 && call.head.slot != 17) || call.points.empty()) continue;
      svg += "  <polyline fill=\"none\" stroke=\"";
      svg += SvgColour(colour);
      svg += "\" stroke-width=\"";
      AppendNumber(svg, width);
      if (!dashes.empty()) {
        svg += "\" stroke-dasharray=\"";
        svg += dashes;
      }
      svg += "\" points=\"";
      for (std::size_t i = 0; i + 2 < call.points.size(); i += 3) {
        if (i) svg += ' ';
        AppendNumber(svg, call.points[i]);
        svg += ',';
        AppendNumber(svg, 0.0 - call.points[i + 1]);  // y upwards, and no "-0"
      }
      svg += "\"/>\n";
    }
    svg += "</svg>\n";
    return svg;
  }

  // Where text starts, as a baseline of its height turned by its angle, in its colour.
  static std::string TextMark(const Call& call) {
    const double x = call.points[0], y = call.points[1], height = call.head.d[0];
    if (!Placeable(x, y) || !std::isfinite(height) || !std::isfinite(call.head.d[1])) return {};
    std::string mark = "  <text fill=\"" + SvgColour(call.head.u[0]) + "\" font-size=\"";
    AppendNumber(mark, height);
    mark += "\" x=\"";
    AppendNumber(mark, x);
    mark += "\" y=\"";
    AppendNumber(mark, 0.0 - y);
    mark += "\" transform=\"rotate(";
    AppendNumber(mark, 0.0 - call.head.d[1]);
    mark += ' ';
    AppendNumber(mark, x);
    mark += ' ';
    AppendNumber(mark, 0.0 - y);
    return mark + ")\">Text</text>\n";
  }

  // One subpath per loop; a loop ends at a point whose x is -DBL_MAX.
  static std::string AreaPath(const std::vector<double>& points, DWORD colour) {
    std::string d;
    bool open = false;
    for (std::size_t i = 0; i + 2 < points.size(); i += 3) {
      if (points[i] == -DBL_MAX) {
        if (open) d += " Z";
        open = false;
        continue;
      }
      if (!Placeable(points[i], points[i + 1])) continue;
      d += d.empty() ? "" : " ";
      d += open ? "L" : "M";
      AppendNumber(d, points[i]);
      d += ',';
      AppendNumber(d, 0.0 - points[i + 1]);
      open = true;
    }
    if (open) d += " Z";
    if (d.empty()) return {};
    return "  <path fill=\"" + SvgColour(colour) + "\" fill-rule=\"evenodd\" stroke=\"none\" d=\"" + d + "\"/>\n";
  }

  static bool IsBitmap(const Call& call) { return call.head.itf == SITHE_RENDER_TARGET && call.head.slot == 19; }

  // Where a picture lands in the picture's coordinates (y downwards): its lower left corner at the point, its
  // longer side the drawn size, its sides in the proportion of its pixels (square without picture).
  struct Box {
    double x, y, width, height;
  };
  static Box BitmapBox(const Call& call) {
    const double size = std::fabs(call.head.size);
    const double longer = static_cast<double>(std::max(call.pixels[0], call.pixels[1]));
    const double width = longer > 0 ? size * call.pixels[0] / longer : size;
    const double height = longer > 0 ? size * call.pixels[1] / longer : size;
    return {call.points[0], -call.points[1] - height, width, height};
  }

  // The frame of a picture, labelled with its pixel size inside it.
  static std::string BitmapFrame(const Call& call) {
    if (call.points.empty() || !Placeable(call.points[0], call.points[1]) || !std::isfinite(call.head.size)) return {};
    const Box box = BitmapBox(call);
    char label[32];
    const int length = std::snprintf(label, sizeof label, "%ldx%ld", static_cast<long>(call.pixels[0]),
                                     static_cast<long>(call.pixels[1]));
    const double shorter = std::min(box.width, box.height);
    std::string svg = "  <rect fill=\"none\" stroke=\"#000000\" stroke-width=\"";
    AppendNumber(svg, shorter / 50);
    svg += "\" x=\"";
    AppendNumber(svg, box.x);
    svg += "\" y=\"";
    AppendNumber(svg, box.y);
    svg += "\" width=\"";
    AppendNumber(svg, box.width);
    svg += "\" height=\"";
    AppendNumber(svg, box.height);
    svg += "\"/>\n  <text font-size=\"";
    AppendNumber(svg, std::min(box.height / 4, 0.9 * box.width / (0.6 * std::max(length, 1))));
    svg += "\" x=\"";
    AppendNumber(svg, box.x + box.width / 20);
    svg += "\" y=\"";
    AppendNumber(svg, box.y + box.height / 2);
    svg += "\">";
    svg += label;
    svg += "</text>\n";
    return svg;
  }

  // Drawn and skipped lengths in turn; an empty entry (-DBL_MAX) has no length.
  static std::string DashArray(const std::vector<double>& lengths) {
    std::string text;
    for (double length : lengths) {
      if (!text.empty()) text += ' ';
      AppendNumber(text, length > 0 ? length : 0.0);
    }
    return text;
  }

  volatile LONG m_refs = 1;
  std::vector<Call> m_calls;
  bool m_dashesItself = false;
  DWORD m_renderMode = 0;
  std::vector<double> m_displayTransform;  // of the display pass under way; empty outside one
  std::vector<Matrix> m_placements;  // the placements in force, each composed with those outside it
};

}  // namespace

extern "C" {

HRESULT SitheCreateRecordingTarget(ISitheRecording** out) {
  if (!out) return E_INVALIDARG;
  RecordingTarget* target = new (std::nothrow) RecordingTarget;
  *out = target;
  return target ? S_OK : E_OUTOFMEMORY;
}

LONG SitheLiveTargets() { return g_liveTargets; }

}  // extern "C"

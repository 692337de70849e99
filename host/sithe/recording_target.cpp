// The recording render target: every call kept in order with its arguments, and the picture they make.
#include <algorithm>
#include <cstdio>
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
  std::vector<double> points;   // DrawPolyline
  std::vector<double> lengths;  // SetDashPattern
};

void AppendNumber(std::string& out, double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", value);
  out += text;
}

class RecordingTarget final : public IRenderTarget2d, public ISitheRecording {
 public:
  RecordingTarget() { InterlockedIncrement(&g_liveTargets); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IRenderTarget2d)) {
      *out = static_cast<IRenderTarget2d*>(this);
    } else if (IsEqualIID(iid, IID_ISitheRecording)) {
      *out = static_cast<ISitheRecording*>(this);
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
    if (count && !points) return E_INVALIDARG;
    Call& call = Add(14, "DrawPolyline");
    call.head.pointCount = count;
    call.points.assign(points, points + std::size_t{count} * 3);
    return S_OK;
  }
  RECORDING_UNUSED_SLOT(15) RECORDING_UNUSED_SLOT(16) RECORDING_UNUSED_SLOT(17) RECORDING_UNUSED_SLOT(18)
  RECORDING_UNUSED_SLOT(19) RECORDING_UNUSED_SLOT(20) RECORDING_UNUSED_SLOT(21) RECORDING_UNUSED_SLOT(22)
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

  Call& Add(DWORD slot, const char* name) {
    m_calls.emplace_back();
    Call& call = m_calls.back();
    std::memset(&call.head, 0, sizeof call.head);
    call.head.slot = slot;
    std::snprintf(call.head.name, sizeof call.head.name, "%s", name);
    return call;
  }

  HRESULT Record(DWORD slot, const char* name) {
    return Add(slot, name).head.result = E_NOTIMPL;
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

  // Each polyline in the pen colour and width set before it, dashed by the last pattern the target took; the
  // view box holds every point and half the widest pen, with a margin.
  std::string Picture() const {
    double lo[2] = {0, 0}, hi[2] = {0, 0};
    bool any = false;
    double widest = 0;
    for (const Call& call : m_calls) {
      if (call.head.slot == 7) widest = std::max(widest, call.head.d[0]);
      for (std::size_t i = 0; i + 2 < call.points.size(); i += 3) {
        const double p[2] = {call.points[i], -call.points[i + 1]};
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
    double width = 0;
    std::string dashes;  // the stroke-dasharray of the pattern in force, empty for a solid pen
    for (const Call& call : m_calls) {
      if (call.head.slot == 3) colour = call.head.u[0];
      if (call.head.slot == 7) width = call.head.d[0];
      if (call.head.slot == 8 && call.head.result == S_OK) dashes = DashArray(call.lengths);
      if (call.head.slot != 14 || call.points.empty()) continue;
      char stroke[8];
      // A colour value is 0x00BBGGRR.
      std::snprintf(stroke, sizeof stroke, "#%02X%02X%02X", static_cast<unsigned>(colour & 0xFF),
                    static_cast<unsigned>((colour >> 8) & 0xFF), static_cast<unsigned>((colour >> 16) & 0xFF));
      svg += "  <polyline fill=\"none\" stroke=\"";
      svg += stroke;
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

// The rendering library's drawing of graphics: solid-line records and RealRender2d.
#include <vector>

#include "host/sithe/sithe.h"

namespace {

SRWLOCK g_logLock = SRWLOCK_INIT;
std::vector<SitheRealRenderCall>& Log() {
  static std::vector<SitheRealRenderCall> log;
  return log;
}

HRESULT Draw(const GraphicDrawContext* context, const SitheGraphicDescription* description,
             const SitheRenderRecord* record) {
  if (!context || !description || !record || !context->display) return E_INVALIDARG;
  if (record->kind != SITHE_RECORD_SOLID_LINE) return E_INVALIDARG;
  const QuarnetFigure2d* figure = description->figure;
  if (!figure || figure->pointCount > 5) return E_INVALIDARG;
  IRenderTarget2d* target = nullptr;
  HRESULT hr = context->display->QueryInterface(IID_IRenderTarget2d, reinterpret_cast<void**>(&target));
  if (FAILED(hr)) return hr;
  double points[5 * 3];
  for (DWORD i = 0; i < figure->pointCount; ++i) {
    points[3 * i] = figure->points[i][0];
    points[3 * i + 1] = figure->points[i][1];
    points[3 * i + 2] = 0.0;
  }
  hr = target->SetPenColor(record->colour);
  if (SUCCEEDED(hr)) hr = target->SetPenWidth(record->width);
  if (SUCCEEDED(hr)) hr = target->DrawPolyline(figure->pointCount, points);
  target->Release();
  return hr;
}

}  // namespace

extern "C" {

HRESULT BuildRenderSolidLine(SitheRenderRecord* record, DWORD unitsCode, double width, DWORD colour) {
  if (!record) return E_INVALIDARG;
  *record = SitheRenderRecord{SITHE_RECORD_SOLID_LINE, unitsCode, width, colour, 0};
  return S_OK;
}

HRESULT RealRender2d(const GraphicDrawContext* context, const SitheGraphicDescription* description,
                     const SitheRenderRecord* record, DWORD flags) {
  const HRESULT hr = Draw(context, description, record);
  SitheRealRenderCall call{};
  if (description) call.description = *description;
  if (record) call.record = *record;
  call.flags = flags;
  call.result = hr;
  AcquireSRWLockExclusive(&g_logLock);
  Log().push_back(call);
  ReleaseSRWLockExclusive(&g_logLock);
  return hr;
}

LONG SitheRealRenderCount() {
  AcquireSRWLockShared(&g_logLock);
  const LONG n = static_cast<LONG>(Log().size());
  ReleaseSRWLockShared(&g_logLock);
  return n;
}

BOOL SitheGetRealRender(LONG index, SitheRealRenderCall* out) {
  BOOL found = FALSE;
  AcquireSRWLockShared(&g_logLock);
  if (out && index >= 0 && static_cast<std::size_t>(index) < Log().size()) {
    *out = Log()[static_cast<std::size_t>(index)];
    found = TRUE;
  }
  ReleaseSRWLockShared(&g_logLock);
  return found;
}

void SitheClearRealRenders() {
  AcquireSRWLockExclusive(&g_logLock);
  Log().clear();
  ReleaseSRWLockExclusive(&g_logLock);
}

}  // extern "C"

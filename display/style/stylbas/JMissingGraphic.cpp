#include "display/style/stylbas/JMissingGraphic.h"

#include <initializer_list>

#include "display/style/server.h"
#include "host/pellow/pellow.h"

namespace {

constexpr char kSource[] = "MissingGraphic";

constexpr double kSide = 0.01;
constexpr double kLineWidth = 0.00035;
// The host's element code of the figure drawn.
constexpr DWORD kFigureElementCode = 115;

}  // namespace

JMissingGraphic::JMissingGraphic() {
  const double origin[2] = {0.0, 0.0};
  LONG rc = 0;
  QnRectangle2d(origin, kSide, kSide, 0.0, &m_figure, &rc);
  double range[4] = {0.0, 0.0, 0.0, 0.0};
  QnRange2d(&m_figure, range, &rc);
  m_range = GraphicRange{range[0], range[1], 0.0, range[2], range[3], 0.0};
  BuildRenderSolidLine(&m_record, STYLE_UNITS_11, kLineWidth, GetExceptionColor());
  m_extent = StyleExtent{0, kLineWidth, 0.0};
}

HRESULT STDMETHODCALLTYPE JMissingGraphic::QueryInterface(REFIID iid, void** out) {
  if (!out) {
    HRerr(E_INVALIDARG, 0, kSource, 138);
    return E_INVALIDARG;
  }
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IJGraphic)) {
    *out = static_cast<IJGraphic*>(this);
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT STDMETHODCALLTYPE JMissingGraphic::GetGraphicType(DWORD* out) {
  if (!out) return E_INVALIDARG;
  *out = 10;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JMissingGraphic::Notify(DWORD, DWORD, DWORD, IUnknown* sink) {
  if (sink) static_cast<IJGraphicNotifySink*>(sink)->Second();
  return S_FALSE;
}

HRESULT STDMETHODCALLTYPE JMissingGraphic::Draw(GraphicDrawContext* context) {
  if (!context) return E_INVALIDARG;
  // A context of its own for each call: the caller's is not changed and nothing of it is kept.
  GraphicDrawContext own{};
  own.word400 = context->word400;
  own.display = context->display;
  own.displayIid = context->displayIid;
  if (own.display) own.display->AddRef();
  const SitheGraphicDescription description{1, kFigureElementCode, 0, &m_figure, 0, &m_range};
  RealRender2d(&own, &description, &m_record, 0);
  for (IUnknown* held : {own.display, own.slot412, own.filter}) {
    if (held) held->Release();
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JMissingGraphic::GetRange(GraphicRange* range, StyleExtent* extent) {
  if (range) *range = m_range;
  if (extent) *extent = m_extent;
  return S_OK;
}

namespace {

__attribute__((init_priority(STYLESRV_INIT_PLACEHOLDER))) JMissingGraphic g_missingGraphic;

}  // namespace

IJGraphic* GetMissingGraphic() { return &g_missingGraphic; }

// The missing-graphic placeholder: one static graphic of the process, drawn, measured and queried in place of a
// symbol that cannot be found, so that a lost symbol still shows as a small square. It is never reference
// counted and never destroyed; after construction it holds no changing state.
#pragma once

#include "display/style/stylesrv_itf.h"
#include "host/quarnet/quarnet.h"
#include "host/sithe/sithe.h"

class JMissingGraphic final : public IJGraphic {
 public:
  // Builds the square, its range and the render record in the exception colour current at construction.
  JMissingGraphic();

  // IUnknown and IJGraphic answer the object itself, without a reference.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 0; }
  ULONG STDMETHODCALLTYPE Release() override { return 0; }

  // Answers 10.
  HRESULT STDMETHODCALLTYPE GetGraphicType(DWORD* out) override;
  // Passes the notice on to the sink's second operation; always S_FALSE.
  HRESULT STDMETHODCALLTYPE Notify(DWORD a, DWORD b, DWORD c, IUnknown* sink) override;
  // Draws the square through the rendering library into the display interface of the caller's context.
  HRESULT STDMETHODCALLTYPE Draw(GraphicDrawContext* context) override;
  HRESULT STDMETHODCALLTYPE GetRange(GraphicRange* range, StyleExtent* extent) override;

  // What the placeholder draws, for the tests.
  const SitheRenderRecord& RenderRecord() const { return m_record; }

 private:
  QuarnetFigure2d m_figure;
  GraphicRange m_range;
  SitheRenderRecord m_record;
  StyleExtent m_extent;
};

// The process's placeholder, built at start-up.
IJGraphic* GetMissingGraphic();

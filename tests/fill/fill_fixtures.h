// What the fill styles' tests share: the host's render context, a drawing set-up that carries it, and a
// pattern fill that records the runs a simple fill hands it.
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "display/style/stylesrv_itf.h"
#include "display/style/styles/JStyleFillType.h"
#include "geometry/geometry.h"
#include "host/app/render_context.h"

// The host's render context, answering the space transform a test sets.
using TestRenderContext = host_app::RenderContext;

// A drawing set-up in the given units with the context, and no clip box.
inline FillDrawingSetup DrawingSetup(IUnknown* context, DWORD unitsCode) {
  FillDrawingSetup setup{};
  setup.context = context;
  setup.unitsCode = unitsCode;
  return setup;
}

// Each call answers `hr` and is reported once, under `source`.
void ExpectEachRefused(const std::vector<std::function<HRESULT()>>& calls, HRESULT hr, const char* source);

// ---- a pattern fill for the tests of the fills that hand their boundaries on ----

inline constexpr CLSID CLSID_RecordingPattern = {0x5B1E0C03, 0x77A2, 0x4C1D, {0x8E, 0x31, 0x40, 0x9A, 0x12, 0x6F, 0x20, 0x01}};

// A pattern that records each run it is handed with what the record carried, then answers `answer`, or, when
// that is a success, draws its referenced style as the render base does. Its ApplyToGraphic puts `dash` (when
// set) into a record without one, with a reference for the record's holder, as a line style does.
class RecordingPattern : public JStyleFillType {
 public:
  struct Run {
    std::vector<double> points;
    tagStyleOverride record;
    BOOL recordGiven;
    const FillDrawingSetup* setup;
  };
  // With one reference.
  static RecordingPattern* Create();
  STYLE_DECLARE_DELETING_DESTRUCTOR(RecordingPattern)

  GUID* GetClassID(GUID* out) override;
  HRESULT Clone(IUnknown* outer, IUnknown** out) override;
  HRESULT SerializeCurrent(JArchive*) override { return S_OK; }
  HRESULT Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target, const RenderContextScales* context,
                 IJStyleRender* substitute, tagStyleOverride* record, BOOL recordGiven,
                 const StyleElementRecord* element) override;
  HRESULT ApplyToGraphic(tagStyleOverride* record) override;

  IUnknown* Unknown() { return static_cast<UUnknown*>(this); }
  IJStyleSetup2d* Setup() { return &m_IJStyleSetup2dImp; }

  std::vector<Run> runs;
  HRESULT answer = S_OK;
  IJStyleDashTypeRender* dash = nullptr;  // not held

 protected:
  RecordingPattern() : JStyleFillType(nullptr) { m_styleKind = STYLE_KIND_FILL; }
  ~RecordingPattern() = default;
};

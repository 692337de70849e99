// What the line point generator's tests share: generators made through stylesrv.dll's class object, a symbol
// style that records what it is asked to draw, and the record of one dash-generation call as a client gets it.
#pragma once

#include <vector>

#include "display/style/styles/JStyleLinePointGen.h"
#include "tests/symbols/point_symbol_fixtures.h"

namespace line_points_test {

inline constexpr char kSource[] = "LINPNTGN";
inline constexpr CLSID CLSID_RecordingSymbol = {0x5B1E0C35, 0x77A2, 0x4C1D, {0x8E, 0x31, 0x40, 0x9A, 0x12, 0x6F, 0x20, 0x35}};

using stylesrv_test::CallSlot;
using stylesrv_test::IdentityOf;

// A generator with the interfaces the tests use, one reference each.
struct Generator {
  explicit Generator(const stylesrv_test::ServerModule& server);
  StyleComPtr<IUnknown> unknown;
  StyleComPtr<IJStyleLinePointGen> gen;
  StyleComPtr<IJStyleDashTypeClient> client;
  StyleComPtr<IJPersist> persist;
  StyleComPtr<IJManageStyle2> manage;
  JStyleLinePointGen* Style() const { return AsStyle<JStyleLinePointGen>(unknown.Get()); }
  DWORD Count() const;
};

// A symbol style that records every drawing call with its arguments as given, and answers a fixed range.
class RecordingSymbol : public CStyleRdr2dBase {
 public:
  explicit RecordingSymbol(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(RecordingSymbol)
  // With one reference.
  static RecordingSymbol* Create();

  GUID* GetClassID(GUID* out) override;
  const char* GetClassName() override { return "RecordingSymbol"; }
  HRESULT SerializeCurrent(JArchive* archive) override;
  HRESULT RenderWithContext(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                            const RenderContextScales* context, IJStyleRender* substitute,
                            const tagStyleOverride* record, const StyleElementRecord* element) override;
  HRESULT GetRangeWithContext(StyleExtent* extent, const RenderContextScales* context, IJStyleRender* substitute,
                              const tagStyleOverride* record) override;

  IUnknown* Unknown() { return static_cast<UUnknown*>(this); }
  IJStyleRender* Render() { return &m_IJStyleRenderImp; }

  struct Call {
    WORD type;
    std::vector<StyleOrientedPoint> points;
    IRenderTarget2d* target;
    const RenderContextScales* context;
    IJStyleRender* substitute;
    const tagStyleOverride* record;
    const StyleElementRecord* element;
  };
  std::vector<Call> calls;
  StyleExtent range{};
  HRESULT answer = E_FAIL;  // of every drawing call; the generator must not pass it on

 protected:
  ~RecordingSymbol() = default;
};

// The record of one drawing call, as the dash generation hands it to its clients.
struct ClientCall {
  ClientCall();
  RenderContextScales scales;
  tagStyleOverride record{};
  StyleElementRecord element{};
  DashClientContext context{};
};

}  // namespace line_points_test

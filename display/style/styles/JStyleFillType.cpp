#include "display/style/styles/JStyleFillType.h"

#include "display/style/server.h"
#include "display/style/stylbas/StyleCallDepth.h"
#include "geometry/geometry.h"
#include "host/pellow/pellow.h"

namespace {

constexpr char kSource[] = "FILLTYPE";

HRESULT Report(HRESULT hr, int line) {
  HRerr(hr, 0, kSource, line);
  return hr;
}

// The render context's space of a units code.
bool SpaceOfUnits(DWORD unitsCode, DWORD* space) {
  switch (unitsCode) {
    case STYLE_UNITS_11:
      *space = 2;
      return true;
    case STYLE_UNITS_12:
      *space = 3;
      return true;
    case STYLE_UNITS_13:
      *space = 0;
      return true;
    default:
      return false;
  }
}

}  // namespace

JStyleFillType::JStyleFillType(IUnknown* outer) : CStyleRdr2dBase(outer, Counted{}) { IncrementLiveObjectCount(); }

JStyleFillType::~JStyleFillType() { DecrementLiveObjectCount(); }

void* JStyleFillType::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJStyleFillTypeRender)) return &m_IJStyleFillTypeRenderImp;
  return CStyleRdr2dBase::GetInterface(iid);
}

HRESULT JStyleFillType::GetUnitsTransform(G4x4* out, DWORD styleUnitsCode, const FillDrawingSetup* setup) {
  if (!out || !setup || !setup->context) return Report(E_FAIL, __LINE__);
  *out = G4x4::Identity();
  StyleComPtr<IJRenderContext> context;
  HRESULT hr = setup->context->QueryInterface(IID_IJRenderContext, context.PutVoid());
  if (FAILED(hr)) return Report(hr, __LINE__);
  DWORD styleSpace = 0, drawingSpace = 0;
  if (!SpaceOfUnits(styleUnitsCode, &styleSpace) || !SpaceOfUnits(setup->unitsCode, &drawingSpace)) {
    return Report(E_INVALIDARG, __LINE__);
  }
  hr = context->GetSpaceTransform(out, styleSpace, drawingSpace);
  if (FAILED(hr)) return Report(hr, __LINE__);
  return hr;
}

// The seventh argument reaches the class's Render in the place of the element record (stylesrv_itf.h). A
// pattern draws other styles, which may lead back to it: past the depth bound it draws nothing more.
HRESULT JStyleFillType::IJStyleFillTypeRenderImp::Render(const StyleGeometryRecord* boundary, IRenderTarget2d* target,
                                                         const RenderContextScales* context,
                                                         IJStyleRender* substitute, tagStyleOverride* record,
                                                         BOOL recordGiven, const FillDrawingSetup* setup) {
  StyleCallDepth depth;
  if (!depth.Entered()) return S_OK;
  const HRESULT hr =
      Object()->Render(boundary, target, context, substitute, record, recordGiven, AsSeventhArgument(setup));
  if (FAILED(hr)) Report(hr, __LINE__);
  return depth.Answer(hr);
}

// JStyleFillType: the base of the pattern fills (hatch and symbol). A simple fill hands each run of its
// boundary to its pattern through IJStyleFillTypeRender, which draws with the class's own Render; the base
// also supplies the transform between the style's units and the drawing's. It has no CLSID of its own, and
// counts as one more live object of the server for as long as it exists.
#pragma once

#include "display/style/stylbas/CStyleRdr2dBase.h"

class G4x4;

class JStyleFillType : public CStyleRdr2dBase {
 public:
  explicit JStyleFillType(IUnknown* outer = nullptr);

  void* GetInterface(REFIID iid) override;
  const char* GetClassName() override { return "JStyleFillType"; }

  // The transform from the space of the style's units code to that of the drawing's, as the drawing set-up's
  // render context answers it: E_FAIL without a matrix, a set-up or a context in it; E_INVALIDARG for a code
  // other than 11, 12 and 13; the context's failures as they come. The matrix is the identity on failure
  // after the context was asked.
  static HRESULT GetUnitsTransform(G4x4* out, DWORD styleUnitsCode, const FillDrawingSetup* setup);

  STYLE_BEGIN_INTERFACE_PART(JStyleFillType, IJStyleFillTypeRender)
  HRESULT STDMETHODCALLTYPE Render(const StyleGeometryRecord* boundary, IRenderTarget2d* target,
                                   const RenderContextScales* context, IJStyleRender* substitute,
                                   tagStyleOverride* record, BOOL recordGiven,
                                   const FillDrawingSetup* setup) override;
  STYLE_END_INTERFACE_PART(IJStyleFillTypeRender)

 protected:
  ~JStyleFillType();
};

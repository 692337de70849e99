// JStyleOLG: the offset line, a decorator that draws nothing itself. It moves the element's path sideways by its
// offset and hands a copy of the caller's geometry record carrying the moved points to its referenced style.
// The path moves either as a whole to one side (through the geometry layer's curve offset), or, for elements of
// codes 103 to 105 and a mode other than 0, segment by segment towards a quadrant, with the corners where the
// moved segments' lines meet.
#pragma once

#include "display/style/stylbas/CStyleRdr2dBase.h"

class JStyleOLG : public CStyleRdr2dBase {
 public:
  explicit JStyleOLG(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleOLG)

  static constexpr WORD kCurrentVersion = 3;

  void* GetInterface(REFIID iid) override;
  void* GetAggregateInterface(REFIID iid) override;
  const char* GetClassName() override { return "JStyleOLG"; }

  // ---- JStyleBase and render-base operations ----

  GUID* GetClassID(GUID* out) override;
  HRESULT Serialize(JArchive* archive) override;
  HRESULT Clone(IUnknown* outer, IUnknown** out) override;
  HRESULT CopyFrom(IUnknown* source, DWORD flags) override;
  HRESULT IsEqual(IUnknown* other, BOOL* same) override;
  HRESULT Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target, const RenderContextScales* context,
                 IJStyleRender* substitute, tagStyleOverride* record, BOOL recordGiven,
                 const StyleElementRecord* element) override;
  HRESULT RenderDefault(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                        const RenderContextScales* context, const StyleElementRecord* element) override;
  HRESULT GetExtentDelta(StyleExtent* extent) override;
  HRESULT GetExtentRecord(StyleExtent* extent, const RenderContextScales* context,
                          tagStyleOverride* record) override;
  HRESULT GetRange(StyleExtent* extent, const RenderContextScales* context, IJStyleRender* substitute,
                   tagStyleOverride* record, BOOL recordGiven) override;
  HRESULT SerializeCurrent(JArchive* archive) override;

  // ---- the class's own operation after the shared ones ----

  virtual HRESULT SerializeWithHeader(JArchive* archive);

  // ---- IJStyleOLG ----

  HRESULT SetData(const OLGData* data);
  HRESULT GetData(OLGData* data);
  HRESULT SetMode(DWORD mode);

  STYLE_BEGIN_INTERFACE_PART(JStyleOLG, IJStyleOLG)
  HRESULT STDMETHODCALLTYPE SetOffset(double offset) override;
  HRESULT STDMETHODCALLTYPE GetOffset(double* out) override;
  HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) override;
  HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetData(const OLGData* data) override;
  HRESULT STDMETHODCALLTYPE GetData(OLGData* data) override;
  HRESULT STDMETHODCALLTYPE SetMode(DWORD mode) override;
  HRESULT STDMETHODCALLTYPE GetMode(DWORD* out) override;
  STYLE_END_INTERFACE_PART(IJStyleOLG)

 protected:
  ~JStyleOLG() = default;

 private:
  // One run of points without separators, moved and drawn.
  HRESULT DrawSideOffset(const StyleGeometryRecord* run, IRenderTarget2d* target, const RenderContextScales* context,
                         IJStyleRender* substitute, tagStyleOverride* record, const StyleElementRecord* element,
                         double scale);
  HRESULT DrawQuadrantOffset(const StyleGeometryRecord* run, IRenderTarget2d* target,
                             const RenderContextScales* context, IJStyleRender* substitute, tagStyleOverride* record,
                             const StyleElementRecord* element, double scale);
  // The unit normal of a segment that points towards the mode's quadrant.
  void QuadrantNormal(const double* a, const double* b, double* u) const;
  HRESULT SerializeOldRecord(JArchive* archive);
  struct UnitsFollowBase;
  void SetFactorsFromMode();

  DWORD m_offsetUnits = STYLE_UNITS_13;  // kept equal to the base's units code
  double m_offset = 0.0;
  DWORD m_mode = 1;
  double m_xFactor = 1.0;
  double m_yFactor = -1.0;
};

// JStyleSimpleFill: the area fill a drawing element names. A fill colour (or none), a pattern style (a hatch or
// symbol fill) referred to by style ID, and a scale that multiplies the pattern's lengths. Its boundary comes in
// runs separated by a point whose three coordinates are DBL_MAX; each run is filled with the colour and then
// handed to the pattern.
#pragma once

#include "display/style/stylbas/CStyleRdr2dBase.h"

class JStyleSimpleFill : public CStyleRdr2dBase {
 public:
  explicit JStyleSimpleFill(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleSimpleFill)

  static constexpr WORD kCurrentVersion = 3;
  // Boundaries of up to this many points are drawn from a buffer the style keeps between renders.
  static constexpr DWORD kKeptPoints = 100;

  void* GetInterface(REFIID iid) override;
  const char* GetClassName() override { return "JStyleSimpleFill"; }

  // ---- JStyleBase and render-base operations ----

  BOOL UsesStyleID(DWORD id) override;
  GUID* GetClassID(GUID* out) override;
  HRESULT Serialize(JArchive* archive) override;
  // A load that fails leaves the whole style as it was, its ID included.
  HRESULT SerializeVersioned(JArchive* archive) override { return SerializeVersionedWhole(archive); }
  HRESULT Clone(IUnknown* outer, IUnknown** out) override;
  HRESULT CopyFrom(IUnknown* source, DWORD flags) override;
  HRESULT IsEqual(IUnknown* other, BOOL* same) override;
  HRESULT SetOwner(IUnknown* owner) override;
  HRESULT ReleaseStyleRefs(DWORD value) override;
  HRESULT EnumStyleRefs(StyleRefCallback callback) override;
  HRESULT CopyToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                        IUnknown** out) override;
  GUID* GetStyleCategory(GUID* out) override;
  HRESULT OnStyleChanged(DWORD id, DWORD newStyle) override;
  // A simple fill draws through no referenced style: setting one only forgets it.
  HRESULT SetReferencedStyle(IUnknown* style) override;
  IJStyleRender* GetReferencedStyle() override { return nullptr; }
  HRESULT Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target, const RenderContextScales* context,
                 IJStyleRender* substitute, tagStyleOverride* record, BOOL recordGiven,
                 const StyleElementRecord* element) override;
  HRESULT GetExtentDelta(StyleExtent* extent) override;
  HRESULT GetExtentRecord(StyleExtent* extent, const RenderContextScales* context,
                          tagStyleOverride* record) override;
  HRESULT ApplyToGraphic(tagStyleOverride* record) override;
  HRESULT PrepareRenderRecord(tagStyleOverride* record, const RenderContextScales* context, double scale) override;
  HRESULT SerializeCurrent(JArchive* archive) override;

  // ---- IJStyleSimpleFill ----

  HRESULT SetPattern(IUnknown* pattern);
  HRESULT GetPattern(IJStyleFillTypeRender** out);
  HRESULT SetFillData(const SimpleFillData* data);
  HRESULT GetFillData(SimpleFillData* data);
  HRESULT SetScale(double scale);

  STYLE_BEGIN_INTERFACE_PART(JStyleSimpleFill, IJStyleSolidFill)
  HRESULT STDMETHODCALLTYPE SetFillColor(DWORD colour) override;
  HRESULT STDMETHODCALLTYPE GetFillColor(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetFillColorByRef(const DWORD* colour) override;
  HRESULT STDMETHODCALLTYPE GetFillColor2(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE AnswersOk1(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE AnswersOk2(DWORD) override { return S_OK; }
  STYLE_END_INTERFACE_PART(IJStyleSolidFill)

  STYLE_BEGIN_INTERFACE_PART(JStyleSimpleFill, IJStyleSimpleFill)
  HRESULT STDMETHODCALLTYPE SetColor(DWORD colour) override;
  HRESULT STDMETHODCALLTYPE GetColor(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetHasColor(BOOL hasColour) override;
  HRESULT STDMETHODCALLTYPE GetHasColor(BOOL* out) override;
  HRESULT STDMETHODCALLTYPE SetPattern(IUnknown* pattern) override;
  HRESULT STDMETHODCALLTYPE GetPattern(IJStyleFillTypeRender** out) override;
  HRESULT STDMETHODCALLTYPE SetFillData(const SimpleFillData* data) override;
  HRESULT STDMETHODCALLTYPE GetFillData(SimpleFillData* data) override;
  HRESULT STDMETHODCALLTYPE SetLockMask(DWORD mask) override;
  HRESULT STDMETHODCALLTYPE GetLockMask(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetPatternID(DWORD id) override;
  HRESULT STDMETHODCALLTYPE GetPatternID(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetScale(double scale) override;
  HRESULT STDMETHODCALLTYPE GetScale(double* out) override;
  STYLE_END_INTERFACE_PART(IJStyleSimpleFill)

 protected:
  ~JStyleSimpleFill();

 private:
  // Caches the pattern of the pattern ID when it is not at hand; the cache may stay empty (no pattern).
  HRESULT ResolvePattern(int line);
  void DropPattern();
  // The pattern's render interface, or null when there is no pattern; failures reported at `line`.
  HRESULT PatternRender(IJStyleRender** out, int line);
  HRESULT SerializeVersion2(JArchive* archive);
  // Merges the style's scale into the record's.
  void MergeScale(tagStyleOverride* record) const;

  DWORD m_colour = kNoFillColour;
  DWORD m_patternID = kNoStyleID;
  IJStyleFillTypeRender* m_pattern = nullptr;  // the cache of m_patternID; one reference
  double m_scale = 1.0;
  DWORD m_lockMask = 0;
  double* m_points = nullptr;  // three f64 a point, from the engine allocator
  DWORD m_pointCapacity = 0;
  bool m_rendering = false;  // m_points is in use by a render further up the stack
};

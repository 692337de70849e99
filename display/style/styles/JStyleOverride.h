// JStyleOverride: a style that changes some values of another style (its parent, the render base's referenced
// style) without copying it. It keeps its own render record in which only the values it overrides carry their
// flags, merges them into the caller's record and draws the parent with it. It can hold a substitute style that
// replaces the one callers pass, and it passes prerender calls along a chain of parents that prepare records.
#pragma once

#include "display/style/stylbas/CStyleRdr2dBase.h"

class JStyleOverride : public CStyleRdr2dBase {
 public:
  explicit JStyleOverride(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleOverride)

  static constexpr WORD kCurrentVersion = 3;

  void* GetInterface(REFIID iid) override;
  void* GetAggregateInterface(REFIID iid) override;
  const char* GetClassName() override { return "JStyleOverride"; }

  // ---- JStyleBase and render-base operations ----

  GUID* GetClassID(GUID* out) override;
  BOOL UsesStyleID(DWORD id) override;
  HRESULT Serialize(JArchive* archive) override;
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
  DWORD GetStyleKind() override;
  HRESULT SetReferencedStyle(IUnknown* style) override;
  IJStyleRender* GetReferencedStyle() override;
  HRESULT Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target, const RenderContextScales* context,
                 IJStyleRender* substitute, tagStyleOverride* record, BOOL recordGiven,
                 const StyleElementRecord* element) override;
  HRESULT RenderDefault(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                        const RenderContextScales* context, const StyleElementRecord* element) override;
  HRESULT GetExtentDelta(StyleExtent* extent) override;
  HRESULT ApplyToGraphic(tagStyleOverride* record) override;
  HRESULT SetReferencedStyleID(DWORD id) override;
  HRESULT GetReferencedStyleID(DWORD* out) override;
  HRESULT GetRange(StyleExtent* extent, const RenderContextScales* context, IJStyleRender* substitute,
                   tagStyleOverride* record, BOOL recordGiven) override;
  HRESULT PrepareRenderRecord(tagStyleOverride* record, const RenderContextScales* context, double scale) override;
  HRESULT SerializeCurrent(JArchive* archive) override;

  // ---- IJStyleOverride ----

  HRESULT SetFlags(DWORD flags);
  HRESULT SetDashType(IUnknown* dashType);
  HRESULT GetDashType(IJStyleDashTypeRender** out);
  HRESULT SetOtherStyle(IUnknown* style);
  HRESULT GetOtherStyle(IUnknown** out);
  HRESULT SetData(const tagStyleOverride* data);
  HRESULT GetData(tagStyleOverride* data);

  // ---- state, for the tests ----

  const tagStyleOverride& OwnRecord() const { return m_record; }
  DWORD DashTypeID() const { return m_dashTypeID; }
  DWORD OtherStyleID() const { return m_otherID; }
  bool PrerenderCached() const { return m_prerender != nullptr; }

  STYLE_BEGIN_INTERFACE_PART(JStyleOverride, IJStyleOverride)
  HRESULT STDMETHODCALLTYPE SetKind(DWORD kind) override;
  HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) override;
  HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE GetFlags(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetFlags(DWORD flags) override;
  HRESULT STDMETHODCALLTYPE SetColor(DWORD colour) override;
  HRESULT STDMETHODCALLTYPE GetColor(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetWidth(double width) override;
  HRESULT STDMETHODCALLTYPE GetWidth(double* out) override;
  HRESULT STDMETHODCALLTYPE SetSecondLength(double value) override;
  HRESULT STDMETHODCALLTYPE GetSecondLength(double* out) override;
  HRESULT STDMETHODCALLTYPE SetThirdLength(double value) override;
  HRESULT STDMETHODCALLTYPE GetThirdLength(double* out) override;
  HRESULT STDMETHODCALLTYPE SetFitRequest(DWORD value) override;
  HRESULT STDMETHODCALLTYPE GetFitRequest(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetFourthLength(double value) override;
  HRESULT STDMETHODCALLTYPE GetFourthLength(double* out) override;
  HRESULT STDMETHODCALLTYPE SetFirstValue(WORD value) override;
  HRESULT STDMETHODCALLTYPE GetFirstValue(WORD* out) override;
  HRESULT STDMETHODCALLTYPE SetSecondValue(WORD value) override;
  HRESULT STDMETHODCALLTYPE GetSecondValue(WORD* out) override;
  HRESULT STDMETHODCALLTYPE SetFillColor(DWORD colour) override;
  HRESULT STDMETHODCALLTYPE GetFillColor(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetDashType(IUnknown* dashType) override;
  HRESULT STDMETHODCALLTYPE GetDashType(IJStyleDashTypeRender** out) override;
  HRESULT STDMETHODCALLTYPE SetOtherStyle(IUnknown* style) override;
  HRESULT STDMETHODCALLTYPE GetOtherStyle(IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE SetData(const tagStyleOverride* data) override;
  HRESULT STDMETHODCALLTYPE GetData(tagStyleOverride* data) override;
  HRESULT STDMETHODCALLTYPE SetDashTypeID(DWORD id) override;
  HRESULT STDMETHODCALLTYPE GetDashTypeID(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetOtherStyleID(DWORD id) override;
  HRESULT STDMETHODCALLTYPE GetOtherStyleID(DWORD* out) override;
  STYLE_END_INTERFACE_PART(IJStyleOverride)

  STYLE_BEGIN_INTERFACE_PART(JStyleOverride, IJStylePrerender)
  DWORD STDMETHODCALLTYPE GetVariant() override;
  HRESULT STDMETHODCALLTYPE Prepare(UINT_PTR a1, UINT_PTR a2, UINT_PTR a3, UINT_PTR a4) override;
  HRESULT STDMETHODCALLTYPE PrepareRecord(UINT_PTR a1, UINT_PTR a2, UINT_PTR a3, StylePrerenderBlock* block,
                                          UINT_PTR a5, UINT_PTR a6) override;
  STYLE_END_INTERFACE_PART(IJStylePrerender)

 protected:
  ~JStyleOverride();

 private:
  // The prerender interface of the style of `id` when that style prepares records (variant 2), else null.
  HRESULT ResolvePrerender(DWORD id, IJStylePrerender** out);
  // Resolves the dash type of an ID when the override has one by flag but no object yet.
  HRESULT ResolveDashType(int line);
  // The substitute style, resolved when only its ID is known; without a reference.
  IJStyleRender* OwnSubstitute();
  // Draws the parent through its render interface; a parent reachable only through prerender draws nothing.
  HRESULT DrawParent(const StyleGeometryRecord* geometry, IRenderTarget2d* target, const RenderContextScales* context,
                     IJStyleRender* substitute, tagStyleOverride* record, const StyleElementRecord* element);
  HRESULT SerializeVersion2Record(JArchive* archive);
  // What a load leaves behind: no cache of an ID that changed, and no dash object without its flag.
  void SettleLoadedReferences(DWORD dashID, DWORD otherID);
  void DropDashType();
  void DropOtherStyle();
  void DropPrerender();

  tagStyleOverride m_record{};  // its dash type field is the cache of m_dashTypeID; one reference
  IJStyleRender* m_other = nullptr;  // the substitute style; one reference
  DWORD m_dashTypeID = kNoStyleID;
  DWORD m_otherID = kNoStyleID;
  IJStylePrerender* m_prerender = nullptr;  // the parent's prerender interface; one reference
};

// JStyleSimpleLine: the ordinary line style. A colour, a width in a units code, an optional dash type, three
// drawing codes, a few flags and an optional overlay style drawn over the line. It cuts the point list into
// runs at separator points and draws each run solid or through its dash type.
#pragma once

#include "display/style/stylbas/CStyleRdr2dBase.h"

class JStyleSimpleLine : public CStyleRdr2dBase {
 public:
  explicit JStyleSimpleLine(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleSimpleLine)

  static constexpr WORD kCurrentVersion = 3;

  void* GetInterface(REFIID iid) override;
  void* GetAggregateInterface(REFIID iid) override;
  const char* GetClassName() override { return "JStyleSimpleLine"; }

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
  HRESULT OnStyleChanged(DWORD id, DWORD newStyle) override;
  // A simple line draws through no referenced style: setting one only forgets it.
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

  // Draws one run solid with the record's values.
  virtual HRESULT RenderSolid(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                              const RenderContextScales* context, IJStyleRender* substitute,
                              tagStyleOverride* record, const StyleElementRecord* element);

  // ---- IJStyleSimpleLine ----

  HRESULT SetData(const tagStyleSimpleLineData* data);
  HRESULT GetData(tagStyleSimpleLineData* data);
  HRESULT SetDashType(IUnknown* dashType);
  HRESULT GetDashType(IJStyleDashTypeRender** out);
  HRESULT SetOverlayStyle(IUnknown* style);
  HRESULT GetOverlayStyle(IJStyleRender** out);

  // ---- state, for the tests ----

  DWORD StyleFlags() const { return m_styleFlags; }
  DWORD DashTypeID() const { return m_dashTypeID; }
  DWORD OverlayID() const { return m_overlayID; }
  bool DashTypeCached() const { return m_dashType != nullptr; }
  bool OverlayCached() const { return m_overlay != nullptr; }

  STYLE_BEGIN_INTERFACE_PART(JStyleSimpleLine, IJStyleSimpleLine)
  HRESULT STDMETHODCALLTYPE SetColor(DWORD colour) override;
  HRESULT STDMETHODCALLTYPE GetColor(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetWidth(double width) override;
  HRESULT STDMETHODCALLTYPE GetWidth(double* out) override;
  HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) override;
  HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetData(const tagStyleSimpleLineData* data) override;
  HRESULT STDMETHODCALLTYPE GetData(tagStyleSimpleLineData* data) override;
  HRESULT STDMETHODCALLTYPE GetLockedFields(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetLockedFields(DWORD fields) override;
  HRESULT STDMETHODCALLTYPE SetDashType(IUnknown* dashType) override;
  HRESULT STDMETHODCALLTYPE GetDashType(IJStyleDashTypeRender** out) override;
  HRESULT STDMETHODCALLTYPE SetOverlayStyle(IUnknown* style) override;
  HRESULT STDMETHODCALLTYPE GetOverlayStyle(IJStyleRender** out) override;
  HRESULT STDMETHODCALLTYPE SetDashTypeID(DWORD id) override;
  HRESULT STDMETHODCALLTYPE GetDashTypeID(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetOverlayStyleID(DWORD id) override;
  HRESULT STDMETHODCALLTYPE GetOverlayStyleID(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetWidthFixed() override;
  HRESULT STDMETHODCALLTYPE ClearWidthFixed() override;
  HRESULT STDMETHODCALLTYPE SetColorFixed() override;
  HRESULT STDMETHODCALLTYPE ClearColorFixed() override;
  HRESULT STDMETHODCALLTYPE SetFirstCode(DWORD code) override;
  HRESULT STDMETHODCALLTYPE GetFirstCode(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetSecondCode(DWORD code) override;
  HRESULT STDMETHODCALLTYPE GetSecondCode(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetThirdCode(DWORD code) override;
  HRESULT STDMETHODCALLTYPE GetThirdCode(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetModeSkip(DWORD skip) override;
  HRESULT STDMETHODCALLTYPE GetModeSkip(DWORD* out) override;
  STYLE_END_INTERFACE_PART(IJStyleSimpleLine)

 protected:
  ~JStyleSimpleLine();

 private:
  HRESULT RenderRun(const StyleGeometryRecord* geometry, IRenderTarget2d* target, const RenderContextScales* context,
                    IJStyleRender* substitute, tagStyleOverride* record, BOOL recordGiven,
                    const StyleElementRecord* element);
  HRESULT SerializeVersion2(JArchive* archive);
  void DropDashType();
  void DropOverlay();
  // Reads a code of the style flags; values beyond `max` read as 0.
  DWORD Code(DWORD shift, DWORD max) const;
  void SetCode(DWORD shift, DWORD code);

  double m_width = 1.0;
  double m_reserved = 0.0;  // kept only through the current record
  DWORD m_colour = 0;
  IJStyleDashTypeRender* m_dashType = nullptr;  // the cache of m_dashTypeID; one reference
  DWORD m_dashTypeID = kNoStyleID;
  DWORD m_styleFlags = 0;
  DWORD m_lockedFields = 0;
  IJStyleRender* m_overlay = nullptr;  // the cache of m_overlayID; one reference
  DWORD m_overlayID = kNoStyleID;
};

// JStyleLineSolid: the plain line style, a colour and a width in a units code. When it fills a render record it
// fixes both, so that no style further down the chain changes them; it draws solid unless the record handed to
// it carries a dash type.
#pragma once

#include "display/style/stylbas/CStyleRdr2dBase.h"

class JStyleLineSolid : public CStyleRdr2dBase {
 public:
  explicit JStyleLineSolid(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleLineSolid)

  static constexpr WORD kCurrentVersion = 2;

  void* GetInterface(REFIID iid) override;
  const char* GetClassName() override { return "JStyleLineSolid"; }

  GUID* GetClassID(GUID* out) override;
  HRESULT Serialize(JArchive* archive) override;
  HRESULT Clone(IUnknown* outer, IUnknown** out) override;
  HRESULT CopyFrom(IUnknown* source, DWORD flags) override;
  HRESULT IsEqual(IUnknown* other, BOOL* same) override;
  HRESULT CopyToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                        IUnknown** out) override;
  // A solid line draws through no referenced style: setting one only forgets it.
  HRESULT SetReferencedStyle(IUnknown* style) override;
  IJStyleRender* GetReferencedStyle() override { return nullptr; }
  HRESULT Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target, const RenderContextScales* context,
                 IJStyleRender* substitute, tagStyleOverride* record, BOOL recordGiven,
                 const StyleElementRecord* element) override;
  HRESULT RenderDefault(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                        const RenderContextScales* context, const StyleElementRecord* element) override;
  HRESULT GetExtentDelta(StyleExtent* extent) override;
  HRESULT GetExtentRecord(StyleExtent* extent, const RenderContextScales* context,
                          tagStyleOverride* record) override;
  HRESULT ApplyToGraphic(tagStyleOverride* record) override;
  HRESULT PrepareRenderRecord(tagStyleOverride* record, const RenderContextScales* context, double scale) override;
  HRESULT SerializeCurrent(JArchive* archive) override;

  HRESULT SetData(const tagStyleLineSolidData* data);
  HRESULT GetData(tagStyleLineSolidData* data);

  STYLE_BEGIN_INTERFACE_PART(JStyleLineSolid, IJStyleLineSolid)
  HRESULT STDMETHODCALLTYPE SetColor(DWORD colour) override;
  HRESULT STDMETHODCALLTYPE GetColor(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetWidth(double width) override;
  HRESULT STDMETHODCALLTYPE GetWidth(double* out) override;
  HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) override;
  HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetData(const tagStyleLineSolidData* data) override;
  HRESULT STDMETHODCALLTYPE GetData(tagStyleLineSolidData* data) override;
  HRESULT STDMETHODCALLTYPE GetLockedFields(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetLockedFields(DWORD fields) override;
  STYLE_END_INTERFACE_PART(IJStyleLineSolid)

 protected:
  ~JStyleLineSolid() = default;

 private:
  HRESULT RenderRun(const StyleGeometryRecord* geometry, IRenderTarget2d* target, const RenderContextScales* context,
                    tagStyleOverride* record, BOOL recordGiven, const StyleElementRecord* element);

  double m_width = 1.0;
  DWORD m_colour = 0;
  DWORD m_lockedFields = 0;
};

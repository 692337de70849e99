// JStyleSimpleMultiplexer: one geometry drawn with two styles, first and second. Unlike the multiplexed line style
// it holds the two as plain objects rather than library references, takes no uses, and its record names them by
// the host document's persistent object IDs; a loaded record's styles are fetched from the document when first
// needed. The second style decides the kind.
#pragma once

#include "display/style/stylbas/CStyleRdr2dBase.h"

class JStyleSimpleMultiplexer : public CStyleRdr2dBase {
 public:
  explicit JStyleSimpleMultiplexer(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleSimpleMultiplexer)

  void* GetInterface(REFIID iid) override;
  const char* GetClassName() override { return "JStyleSimpleMultiplexer"; }

  // ---- JStyleBase and render-base operations ----

  GUID* GetClassID(GUID* out) override;
  HRESULT Serialize(JArchive* archive) override;
  HRESULT Clone(IUnknown* outer, IUnknown** out) override;
  HRESULT CopyFrom(IUnknown* source, DWORD flags) override;
  HRESULT IsEqual(IUnknown* other, BOOL* same) override;
  HRESULT OnStyleChanged(DWORD id, DWORD newStyle) override;
  // The two styles are drawn in place of a referenced style: setting one only forgets it.
  HRESULT SetReferencedStyle(IUnknown* style) override;
  IJStyleRender* GetReferencedStyle() override { return nullptr; }
  HRESULT Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target, const RenderContextScales* context,
                 IJStyleRender* substitute, tagStyleOverride* record, BOOL recordGiven,
                 const StyleElementRecord* element) override;
  HRESULT GetExtentDelta(StyleExtent* extent) override;
  HRESULT GetRange(StyleExtent* extent, const RenderContextScales* context, IJStyleRender* substitute,
                   tagStyleOverride* record, BOOL recordGiven) override;
  // The class's one record: the render base's older record and the two object IDs, without a class header.
  HRESULT SerializeCurrent(JArchive* archive) override;

  // ---- the class's own operation after the shared ones ----

  // The record behind the class's own header.
  virtual HRESULT SerializeWithHeader(JArchive* archive);

  // ---- IJStyleSimpleMultiplexer ----

  HRESULT SetStyle(int which, IUnknown* style);
  HRESULT GetStyle(int which, IUnknown** out);

  STYLE_BEGIN_INTERFACE_PART(JStyleSimpleMultiplexer, IJStyleSimpleMultiplexer)
  HRESULT STDMETHODCALLTYPE SetFirstStyle(IUnknown* style) override;
  HRESULT STDMETHODCALLTYPE GetFirstStyle(IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE SetSecondStyle(IUnknown* style) override;
  HRESULT STDMETHODCALLTYPE GetSecondStyle(IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE Reserved1(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Reserved2(DWORD) override { return S_OK; }
  STYLE_END_INTERFACE_PART(IJStyleSimpleMultiplexer)

 protected:
  ~JStyleSimpleMultiplexer();

 private:
  // One of the two styles: the object (one reference) and its persistent ID in the document as last loaded.
  struct Held {
    IJStyleRender* style = nullptr;
    DWORD objectID = 0;
  };

  bool IsSelf(IUnknown* style) { return StyleSameObject(style, Identity()); }
  // The style of a slot, fetched from the document by its object ID when only the ID is known; null when the
  // slot names none. Failures are reported.
  HRESULT Fetch(Held& held, int line);
  // Calls `call` with the first and then the second style, fetching each when only its ID is known; the first
  // failure is reported at `line` and stops. Answers the last call's result, S_OK when there was none.
  template <class Call>
  HRESULT ForEachStyle(Call call, int line);
  // Takes both styles, their IDs, the kind and the units code of another simple multiplexer.
  void CopyStylesFrom(const JStyleSimpleMultiplexer& source);

  Held m_held[2];
};

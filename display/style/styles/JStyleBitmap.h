// JStyleBitmap: a raster style. It owns a picture and a second bitmap that travels with it, and draws the
// picture at the first point of a drawing item, at a size in its units code, through the render target's bitmap
// operation. The picture persists inside the style's record as a device-independent bitmap; pictures it loads or
// copies are DIB sections, so that they keep their depth, colour table and pixels.
#pragma once

#include "display/style/stylbas/CStyleRdr2dBase.h"

class JStyleBitmap : public CStyleRdr2dBase {
 public:
  explicit JStyleBitmap(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleBitmap)

  static constexpr WORD kCurrentVersion = 3;

  void* GetInterface(REFIID iid) override;
  // What the class does not answer itself, the engine's extension hook may.
  void* GetAggregateInterface(REFIID iid) override;
  const char* GetClassName() override { return "JStyleBitmap"; }

  // ---- JStyleBase and render-base operations ----

  GUID* GetClassID(GUID* out) override;
  HRESULT Serialize(JArchive* archive) override;
  // A load that fails leaves the whole style as it was, its ID included.
  HRESULT SerializeVersioned(JArchive* archive) override { return SerializeVersionedWhole(archive); }
  // The same kind, units code, size and mode, with copies of both bitmaps.
  HRESULT Clone(IUnknown* outer, IUnknown** out) override;
  // Takes copies of the source's bitmaps, its size, units code and mode; the flag changes nothing.
  HRESULT CopyFrom(IUnknown* source, DWORD flags) override;
  // Equal only with the very same bitmap handles: copies compare unequal.
  HRESULT IsEqual(IUnknown* other, BOOL* same) override;
  GUID* GetStyleCategory(GUID* out) override;
  // A bitmap draws through no referenced style: setting one only forgets it.
  HRESULT SetReferencedStyle(IUnknown* style) override;
  IJStyleRender* GetReferencedStyle() override { return nullptr; }
  HRESULT Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target, const RenderContextScales* context,
                 IJStyleRender* substitute, tagStyleOverride* record, BOOL recordGiven,
                 const StyleElementRecord* element) override;
  // The picture's longer side in pixels plus one; 0 without picture.
  HRESULT GetExtentDelta(StyleExtent* extent) override;
  HRESULT GetExtentRecord(StyleExtent* extent, const RenderContextScales* context,
                          tagStyleOverride* record) override;
  HRESULT SerializeCurrent(JArchive* archive) override;

  // ---- IJStyleBitmap ----

  HRESULT SetBitmaps(HBITMAP picture, HBITMAP second);
  HRESULT SetSize(DWORD unitsCode, double size);

  STYLE_BEGIN_INTERFACE_PART(JStyleBitmap, IJStyleBitmap)
  HRESULT STDMETHODCALLTYPE SetBitmap(HBITMAP picture) override;
  HRESULT STDMETHODCALLTYPE GetBitmap(HBITMAP* out) override;
  HRESULT STDMETHODCALLTYPE Reserved1(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Reserved2(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetBitmaps(HBITMAP picture, HBITMAP second) override;
  HRESULT STDMETHODCALLTYPE GetBitmaps(HBITMAP* picture, HBITMAP* second) override;
  HRESULT STDMETHODCALLTYPE SetSize(DWORD unitsCode, double size) override;
  HRESULT STDMETHODCALLTYPE GetSizeAndUnits(DWORD* unitsCode, double* size) override;
  HRESULT STDMETHODCALLTYPE SetMode(DWORD mode) override;
  HRESULT STDMETHODCALLTYPE GetMode(DWORD* out) override;
  STYLE_END_INTERFACE_PART(IJStyleBitmap)

 protected:
  ~JStyleBitmap();

 private:
  // The version-2 record: the older base record, the bitmap, units code, mode and size.
  HRESULT SerializeOld(JArchive* archive);
  // Replaces the picture, deleting the one it held unless the second bitmap is the same handle.
  void TakePicture(HBITMAP picture);
  HRESULT Extent(StyleExtent* extent);

  HBITMAP m_picture = nullptr;
  HBITMAP m_second = nullptr;  // may be the picture's handle: then both are one owned bitmap
  double m_size = 1.0;
  DWORD m_mode = 1;
};

// JStyleHatchFill: the fill pattern made of families of parallel lines. Each family has its own direction,
// spacing, stagger, origin, colour, width and dash type (held by style ID in the owner library); the fill as a
// whole has an origin, a scale, a units code and the two switches that say what the fill scale scales. Two
// hatch fills merge family by family, matched by the family IDs that AddFamily makes.
#pragma once

#include "display/style/styles/JStyleFillType.h"

// One family as the fill keeps it: the descriptor's values and the dash type's reference.
struct HatchFamily {
  DWORD marker;
  DWORD familyId;
  double angle;
  double spacing;
  double shift;
  double originX, originY, originZ;
  DWORD color;
  double width;
  IJStyleDashTypeRender* dashType;  // the cache of dashTypeId; one reference
  DWORD keepMask;
  DWORD dashTypeId;   // 0 none
  DWORD hasDashType;  // 1 when dashTypeId refers to a dash type
};

// The ID of a family added at the given UTC time: the product of its milliseconds, seconds, minutes, hours and
// day of the month, wrapping in 32 bits. It is 0 whenever one of them is; such a family never matches in a
// merge, and stored families rely on it.
inline DWORD HatchFamilyIdAt(const SYSTEMTIME& time) {
  return DWORD{time.wMilliseconds} * time.wSecond * time.wMinute * time.wHour * time.wDay;
}

class JStyleHatchFill : public JStyleFillType {
 public:
  explicit JStyleHatchFill(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleHatchFill)

  static constexpr WORD kCurrentVersion = 3;
  // The current record counts its families in one byte.
  static constexpr DWORD kMostStoredFamilies = 255;

  void* GetInterface(REFIID iid) override;
  void* GetAggregateInterface(REFIID iid) override;
  const char* GetClassName() override { return "JStyleHatchFill"; }

  // ---- JStyleBase and render-base operations ----

  BOOL UsesStyleID(DWORD id) override;
  GUID* GetClassID(GUID* out) override;
  HRESULT Serialize(JArchive* archive) override;
  // A load that fails leaves the whole style as it was, its ID included.
  HRESULT SerializeVersioned(JArchive* archive) override { return SerializeVersionedWhole(archive); }
  HRESULT Clone(IUnknown* outer, IUnknown** out) override;
  // A non-zero `flags` merges the source into this fill family by family.
  HRESULT CopyFrom(IUnknown* source, DWORD flags) override;
  HRESULT IsEqual(IUnknown* other, BOOL* same) override;
  HRESULT SetOwner(IUnknown* owner) override;
  HRESULT ReleaseStyleRefs(DWORD value) override;
  HRESULT EnumStyleRefs(StyleRefCallback callback) override;
  HRESULT CopyToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                        IUnknown** out) override;
  GUID* GetStyleCategory(GUID* out) override;
  HRESULT OnStyleChanged(DWORD id, DWORD newStyle) override;
  HRESULT Render(const StyleGeometryRecord* boundary, IRenderTarget2d* target, const RenderContextScales* context,
                 IJStyleRender* substitute, tagStyleOverride* record, BOOL recordGiven,
                 const StyleElementRecord* setup) override;
  HRESULT GetExtentDelta(StyleExtent* extent) override;
  HRESULT GetExtentRecord(StyleExtent* extent, const RenderContextScales* context, tagStyleOverride* record) override;
  HRESULT ApplyToGraphic(tagStyleOverride* record) override;
  HRESULT PrepareRenderRecord(tagStyleOverride* record, const RenderContextScales* context, double scale) override;
  // The base record, then the version-3 record.
  HRESULT SerializeCurrent(JArchive* archive) override;
  // The version-3 record after the base record.
  virtual HRESULT SerializeVersion3(JArchive* archive);

  // ---- IJStyleHatchFill ----

  HRESULT AddFamily(const HatchFamilyDesc* family, LONG* index);
  HRESULT SetFamily(LONG index, const HatchFamilyDesc* family);
  HRESULT GetFamily(LONG index, HatchFamilyDesc* out);
  HRESULT SetFamilyDashType(LONG index, IJStyleDashTypeRender* dashType);
  HRESULT GetFamilyDashType(LONG index, IJStyleDashTypeRender** out);
  HRESULT SetFamilyDashTypeId(LONG index, DWORD id);
  HRESULT GetFamilyDashTypeId(LONG index, DWORD* out);
  HRESULT MoveFamily(LONG from, LONG to);
  HRESULT SetData(const HatchFillData* data);
  HRESULT GetData(HatchFillData* out);

  STYLE_BEGIN_INTERFACE_PART(JStyleHatchFill, IJStyleHatchFill)
  HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) override;
  HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetOriginScaling(BOOL scale) override;
  HRESULT STDMETHODCALLTYPE GetOriginScaling(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetFlags(DWORD flags) override;
  HRESULT STDMETHODCALLTYPE GetFlags(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE GetFamilyCount(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE AddFamily(const HatchFamilyDesc* family, LONG* index) override;
  HRESULT STDMETHODCALLTYPE SetFamily(LONG index, const HatchFamilyDesc* family) override;
  HRESULT STDMETHODCALLTYPE GetFamily(LONG index, HatchFamilyDesc* out) override;
  HRESULT STDMETHODCALLTYPE SetFamilyAngle(LONG index, double angle) override;
  HRESULT STDMETHODCALLTYPE GetFamilyAngle(LONG index, double* out) override;
  HRESULT STDMETHODCALLTYPE SetFamilyOrigin(LONG index, const GPosition* origin) override;
  HRESULT STDMETHODCALLTYPE GetFamilyOrigin(LONG index, GPosition* out) override;
  HRESULT STDMETHODCALLTYPE SetFamilySpacing(LONG index, double spacing) override;
  HRESULT STDMETHODCALLTYPE GetFamilySpacing(LONG index, double* out) override;
  HRESULT STDMETHODCALLTYPE SetFamilyShift(LONG index, double shift) override;
  HRESULT STDMETHODCALLTYPE GetFamilyShift(LONG index, double* out) override;
  HRESULT STDMETHODCALLTYPE SetFamilyColor(LONG index, DWORD colour) override;
  HRESULT STDMETHODCALLTYPE GetFamilyColor(LONG index, DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetFamilyWidth(LONG index, double width) override;
  HRESULT STDMETHODCALLTYPE GetFamilyWidth(LONG index, double* out) override;
  HRESULT STDMETHODCALLTYPE SetFamilyDashType(LONG index, IJStyleDashTypeRender* dashType) override;
  HRESULT STDMETHODCALLTYPE GetFamilyDashType(LONG index, IJStyleDashTypeRender** out) override;
  HRESULT STDMETHODCALLTYPE GetFamilyKeepMask(LONG index, DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetFamilyKeepMask(LONG index, DWORD keepMask) override;
  HRESULT STDMETHODCALLTYPE MoveFamily(LONG from, LONG to) override;
  HRESULT STDMETHODCALLTYPE GetScale(double* out) override;
  HRESULT STDMETHODCALLTYPE SetScale(double scale) override;
  HRESULT STDMETHODCALLTYPE GetOrigin(GPosition* out) override;
  HRESULT STDMETHODCALLTYPE SetOrigin(const GPosition* origin) override;
  HRESULT STDMETHODCALLTYPE SetData(const HatchFillData* data) override;
  HRESULT STDMETHODCALLTYPE GetData(HatchFillData* out) override;
  HRESULT STDMETHODCALLTYPE SetFamilyDashTypeId(LONG index, DWORD id) override;
  HRESULT STDMETHODCALLTYPE GetFamilyDashTypeId(LONG index, DWORD* out) override;
  STYLE_END_INTERFACE_PART(IJStyleHatchFill)

 protected:
  ~JStyleHatchFill();

 private:
  // The family of an index, or the answer for a bad one: E_INVALIDARG for a negative index or one past the
  // families, E_FAIL for a fill without families; reported at `line`.
  HRESULT FamilyAt(LONG index, HatchFamily** out, int line);
  // One value of the family of an index. The getter refuses a null out pointer first; the setter refuses a
  // value that is not `acceptable` once the index is good, changing nothing.
  template <class T>
  HRESULT GetFamilyValue(LONG index, T HatchFamily::*field, T* out);
  template <class T>
  HRESULT SetFamilyValue(LONG index, T HatchFamily::*field, T value, bool acceptable);
  // Resolves the family's dash type by ID when it is not cached. A style of that ID that is no dash type
  // leaves the family without one; other failures are reported at `line` and answered.
  HRESULT ResolveDashType(HatchFamily* family, int line);
  // Takes the use of `id` for a family whose ID field is free: through the owner when there is one.
  void HoldDashTypeID(HatchFamily* family, DWORD id);
  // Drops the families' caches, and with `dropUses` their uses at the owner, and frees the array.
  void ReleaseFamilies(HatchFamily* families, DWORD count, bool dropUses);
  // Replaces the family array; the old one is released without moving uses.
  void ReplaceFamilies(HatchFamily* families, DWORD count);
  // SetData without checking the values: copies take what the source holds.
  HRESULT ApplyData(const HatchFillData& data);
  HRESULT Merge(const HatchFillData& source, DWORD sourceFlags);
  HRESULT SerializeVersion2(JArchive* archive);
  // The families of a record in the archive's direction. Loading reads them into a new array, *loaded, which
  // the caller puts in place once the whole record was read.
  HRESULT SerializeFamilies(JArchive* archive, DWORD count, WORD version, HatchFamily** loaded);

  DWORD m_familyCount = 0;
  HatchFamily* m_families = nullptr;  // ordinary allocator
  double m_originX = 0.0, m_originY = 0.0, m_originZ = 0.0;
  double m_scale = 0.0;
  DWORD m_keepMask = 0;
  WORD m_flags = HATCH_SCALE_SPACING | HATCH_SCALE_ORIGINS;
};

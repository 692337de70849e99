// JStyleSymbolFill: the fill pattern that covers an area with repeated symbols. It keeps an ordered list of
// slots; each names a graphic of the owner library (held by style ID, and cached as an object) with its own
// lattice, colour and scale.
#pragma once

#include "display/style/styles/JStyleFillType.h"

// A line string of a captured symbol. Points are three f64 each; a piece whose points could not be allocated
// keeps count 0.
struct OpenPiece {
  LONG count;
  double* points;
  IJStyleRender* style;  // one reference, or null
  OpenPiece* next;
};

// A polygon of a captured symbol, its last point equal to its first.
struct ClosedPiece {
  LONG count;
  double* points;
  IJStyleRender* style;  // one reference, or null
  LONG elementCount;     // boundary elements of a tile generator's copy; 0 and null here
  void* elements;        // freed with the piece
  ClosedPiece* next;
};

// The box of a captured symbol; it always contains the symbol's own origin (0, 0).
struct SymbolExtent {
  double xmin, ymin, xmax, ymax;
  double width, height;
};

// One slot of the fill, allocated with the ordinary allocator and owned by the fill, with what it captured of
// its symbol. Everything from maxPiecePoints on is zero when nothing is captured.
struct SymbolSlot {
  SymbolSlotRecord record;   // the graphic with one reference, the ID with one use at the owner
  SymbolSlotRecord working;  // the copy that drawing adjusts
  LONG maxPiecePoints;       // the largest point count of a piece, as the symbol gave it
  LONG openPieceCount;
  LONG closedPieceCount;
  SymbolExtent extent;
  OpenPiece* openHead;
  OpenPiece* openTail;
  ClosedPiece* closedHead;
  ClosedPiece* closedTail;
};

// The slots of a fill: entries 0..highest of an array of `capacity`, which grows five entries at a time.
struct SymbolSlotList {
  SymbolSlot** slots = nullptr;  // ordinary allocator
  LONG highest = -1;
  LONG capacity = 0;

  LONG Count() const { return highest + 1; }
  // Appends a node; false when the array cannot grow (the node stays the caller's).
  bool Append(SymbolSlot* node);
};

class JStyleSymbolFill : public JStyleFillType {
 public:
  explicit JStyleSymbolFill(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleSymbolFill)

  void* GetInterface(REFIID iid) override;
  void* GetAggregateInterface(REFIID iid) override;
  const char* GetClassName() override { return "JStyleSymbolFill"; }

  // ---- JStyleBase and render-base operations ----

  BOOL UsesStyleID(DWORD id) override;
  GUID* GetClassID(GUID* out) override;
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
  HRESULT SetReferencedStyle(IUnknown* style) override;
  HRESULT Render(const StyleGeometryRecord* boundary, IRenderTarget2d* target, const RenderContextScales* context,
                 IJStyleRender* substitute, tagStyleOverride* record, BOOL recordGiven,
                 const StyleElementRecord* setup) override;
  HRESULT GetExtentDelta(StyleExtent* extent) override;
  HRESULT GetExtentRecord(StyleExtent* extent, const RenderContextScales* context, tagStyleOverride* record) override;
  HRESULT PrepareRenderRecord(tagStyleOverride* record, const RenderContextScales* context, double scale) override;
  // The class header, then the record of the version it names: 1 the older layout, any other the current one.
  HRESULT SerializeCurrent(JArchive* archive) override;

  // ---- the slot list ----

  HRESULT AddSlot(const SymbolSlotRecord* record, DWORD* index);
  HRESULT ReplaceSlot(LONG index, const SymbolSlotRecord* record);
  HRESULT RemoveSlot(LONG index);
  HRESULT MoveSlot(LONG from, LONG to);
  // Fetches the slot's graphic by its ID from the owner library when it has none cached.
  HRESULT ResolveSlotGraphic(LONG index);
  HRESULT SetAllSlots(const SymbolFillData* data);
  HRESULT GetAllSlots(SymbolFillData* out);
  HRESULT GetSlotRecord(LONG index, SymbolSlotRecord* out);
  HRESULT SetSlotGraphic(LONG index, IUnknown* graphic);
  HRESULT GetSlotGraphic(LONG index, IJGraphic** out);
  void InvalidateRenderCache();

  // ---- captured symbol geometry ----

  // Frees the slot's pieces with their styles and empties its extent.
  HRESULT ClearSlotGeometry(LONG index);
  // Appends a copy of the points as a line string; a polygon closed by its first point when the last differs.
  HRESULT AddOpenPiece(LONG count, const double* points, IJStyleRender* style, LONG index);
  HRESULT AddClosedPiece(LONG count, const double* points, IJStyleRender* style, LONG index);
  // One polygon for each run of at least 3 points between points whose x is +DBL_MAX.
  HRESULT AddClosedPieces(const StyleGeometryRecord* primitive, IJStyleRender* style, LONG index);
  HRESULT GrowExtent(LONG count, const double* points, LONG index);
  // Has the slot's graphic display itself, scaled by `scale`, through the host display object into this fill's
  // capture, replacing what the slot held. S_FALSE, with nothing held, for a slot whose graphic cannot be had.
  HRESULT CaptureSlotGeometry(LONG index, IUnknown* display, double scale);
  // CaptureSlotGeometry of a fill of this class given by any of its interfaces.
  static HRESULT CaptureSlotOf(IUnknown* fill, LONG index, IUnknown* display, double scale);
  // The capture callback's work on the fill that captures on the calling thread.
  HRESULT TakeCaptureAttributes(const SymbolCaptureAttributes* attributes);
  HRESULT CapturePrimitive(const StyleGeometryRecord* primitive);

  // ---- state, for drawing and the tests ----

  const SymbolSlot* SlotNode(LONG index) const {
    return index >= 0 && index <= m_slots.highest ? m_slots.slots[index] : nullptr;
  }
  const SymbolCaptureRecord& CaptureRecord() const { return m_capture; }
  LONG CaptureSlot() const { return m_captureSlot; }

  STYLE_BEGIN_INTERFACE_PART(JStyleSymbolFill, IJStyleSymbolFill)
  HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) override;
  HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE GetSlotCount(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetSlotColor(LONG slot, DWORD colour) override;
  HRESULT STDMETHODCALLTYPE GetSlotColor(LONG slot, DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetSlotOffset(LONG slot, const GPosition* offset) override;
  HRESULT STDMETHODCALLTYPE GetSlotOffset(LONG slot, GPosition* out) override;
  HRESULT STDMETHODCALLTYPE SetSlotAngle(LONG slot, double angle) override;
  HRESULT STDMETHODCALLTYPE GetSlotAngle(LONG slot, double* out) override;
  HRESULT STDMETHODCALLTYPE SetSlotScale(LONG slot, double scale) override;
  HRESULT STDMETHODCALLTYPE GetSlotScale(LONG slot, double* out) override;
  HRESULT STDMETHODCALLTYPE SetSlotSpacingX(LONG slot, double spacing) override;
  HRESULT STDMETHODCALLTYPE GetSlotSpacingX(LONG slot, double* out) override;
  HRESULT STDMETHODCALLTYPE SetSlotSpacingY(LONG slot, double spacing) override;
  HRESULT STDMETHODCALLTYPE GetSlotSpacingY(LONG slot, double* out) override;
  HRESULT STDMETHODCALLTYPE SetSlotRowShift(LONG slot, double shift) override;
  HRESULT STDMETHODCALLTYPE GetSlotRowShift(LONG slot, double* out) override;
  HRESULT STDMETHODCALLTYPE SetSlotColumnShift(LONG slot, double shift) override;
  HRESULT STDMETHODCALLTYPE GetSlotColumnShift(LONG slot, double* out) override;
  HRESULT STDMETHODCALLTYPE SetSlotGraphic(LONG slot, IUnknown* graphic) override;
  HRESULT STDMETHODCALLTYPE GetSlotGraphic(LONG slot, IJGraphic** out) override;
  HRESULT STDMETHODCALLTYPE AddSlot(const SymbolSlotRecord* record, DWORD* index) override;
  HRESULT STDMETHODCALLTYPE GetSlotRecord(LONG slot, SymbolSlotRecord* out) override;
  HRESULT STDMETHODCALLTYPE ReplaceSlot(LONG slot, const SymbolSlotRecord* record) override;
  HRESULT STDMETHODCALLTYPE RemoveSlot(LONG slot) override;
  HRESULT STDMETHODCALLTYPE MoveSlot(LONG from, LONG to) override;
  HRESULT STDMETHODCALLTYPE SetFillTag(DWORD tag) override;
  HRESULT STDMETHODCALLTYPE GetFillTag(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetFillRotation(double rotation) override;
  HRESULT STDMETHODCALLTYPE GetFillRotation(double* out) override;
  HRESULT STDMETHODCALLTYPE SetFillOrigin(const GPosition* origin) override;
  HRESULT STDMETHODCALLTYPE GetFillOrigin(GPosition* out) override;
  HRESULT STDMETHODCALLTYPE SetAllSlots(const SymbolFillData* data) override;
  HRESULT STDMETHODCALLTYPE GetAllSlots(SymbolFillData* out) override;
  HRESULT STDMETHODCALLTYPE InvalidateRenderCache() override;
  STYLE_END_INTERFACE_PART(IJStyleSymbolFill)

  STYLE_BEGIN_INTERFACE_PART(JStyleSymbolFill, IJStyleSymbolFillGeometry)
  HRESULT STDMETHODCALLTYPE Operation1() override;
  HRESULT STDMETHODCALLTYPE Operation2(DWORD a, DWORD b, DWORD c, DWORD d) override;
  HRESULT STDMETHODCALLTYPE Operation3() override;
  HRESULT STDMETHODCALLTYPE Operation4(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE Operation5() override;
  HRESULT STDMETHODCALLTYPE Operation6(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE Operation7() override;
  HRESULT STDMETHODCALLTYPE Operation8() override;
  HRESULT STDMETHODCALLTYPE CapturePrimitive(const StyleGeometryRecord* primitive, DWORD a, DWORD b, DWORD c,
                                             DWORD d, DWORD e) override;
  HRESULT STDMETHODCALLTYPE Operation10() override;
  HRESULT STDMETHODCALLTYPE Operation11() override;
  STYLE_END_INTERFACE_PART(IJStyleSymbolFillGeometry)

  STYLE_BEGIN_INTERFACE_PART(JStyleSymbolFill, IJStyleSymbolFillFilter)
  HRESULT STDMETHODCALLTYPE GetCaptureRecord(SymbolCaptureRecord** out) override;
  HRESULT STDMETHODCALLTYPE NotOffered4() override;
  STYLE_END_INTERFACE_PART(IJStyleSymbolFillFilter)

 protected:
  ~JStyleSymbolFill();

 private:
  // The slot of an index, or the answer for a bad one (E_INVALIDARG outside the slots, E_FAIL for an empty
  // entry), reported at `line`.
  HRESULT SlotAt(LONG index, SymbolSlot** out, int line);
  // A new node for a record, holding its own reference on the graphic; with `takeUse` its ID's use at the owner
  // (a graphic given without ID is looked up there), else the ID as it is (a loaded slot: the library counted
  // it when it stored it).
  HRESULT NewSlot(const SymbolSlotRecord& record, bool takeUse, SymbolSlot** out);
  // Frees a node: its graphic and, with `dropUse`, its ID's use at the owner.
  void DeleteSlot(SymbolSlot* node, bool dropUse);
  // Puts a new list in place of the old, whose nodes go as DeleteSlot does with `dropUses`.
  void ReplaceSlots(SymbolSlotList& fresh, bool dropUses);
  // The slot's graphic becomes the object's IJGraphic (null for none) and its ID the one the owner knows it by,
  // the use moving with it; an object without IJGraphic changes nothing.
  HRESULT HoldGraphic(SymbolSlotRecord* record, IUnknown* graphic);
  // One value of a slot. The getter refuses a null out pointer first; the setter refuses a value that is not
  // `acceptable` with `refusal` (reported or not) once the index is good, changing nothing.
  template <class T>
  HRESULT GetSlotValue(LONG index, T SymbolSlotRecord::*field, T* out);
  template <class Edit>
  HRESULT EditSlot(LONG index, bool acceptable, HRESULT refusal, bool report, Edit edit);
  HRESULT SerializeSlots(JArchive* archive, bool older, LONG highest, SymbolSlotList* loaded);
  // Appends a piece to the slot's open or closed list and counts it, with the slot's extent and largest count.
  HRESULT AddPiece(bool closed, LONG count, const double* points, IJStyleRender* style, LONG index);
  // The capture record's attributes back to plain lines, its style released.
  void ResetCaptureAttributes();
  // The style a primitive is captured with (no reference) and its mode: 2 lines, 3 areas, another nothing.
  HRESULT CaptureModeOf(IJStyleRender** style, DWORD* mode);

  SymbolCaptureRecord m_capture;
  LONG m_captureSlot = -1;
  bool m_capturing = false;
  DWORD m_fillTag = 0;
  double m_originX = 0.0, m_originY = 0.0, m_originZ = 0.0;
  double m_rotation = 0.0;
  SymbolSlotList m_slots;
  // What drawing keeps between calls; any edit invalidates it.
  double m_cachedUnitScale = 0.0;
  double m_cachedScale = 0.0;
  double m_cachedRotation = 0.0;
  DWORD m_dirtyFlags = 0xFFFFFFFF;
};

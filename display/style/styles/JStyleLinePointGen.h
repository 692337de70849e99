// JStyleLinePointGen: points generated along a line. It draws no line of its own: a dash type that has it among
// its clients tells it where each entry of its pattern starts, turns and ends as it walks a run, and for every
// pattern entry it serves it places at most one point symbol per occurrence, at a fraction of the entry's length,
// shifted along and across the line and turned with it or to a fixed angle. The symbols are collected as
// oriented points and drawn through the point symbol style in batches.
#pragma once

#include "display/style/StyleGrowableArray.h"
#include "display/style/stylbas/CStyleRdr2dBase.h"

// The placement of one pattern entry.
struct LinePointEntry {
  DWORD symbolID;         // of the point symbol in the owner library; 0: the entry is not served
  IJStyleRender* symbol;  // the cache of that ID's style; one reference
  float fraction;         // where in the pattern entry the symbol sits
  double along;           // in the style's units code
  double across;
  double angle;  // radians
  DWORD absolute;
  DWORD upright;
};

class JStyleLinePointGen : public CStyleRdr2dBase {
 public:
  explicit JStyleLinePointGen(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleLinePointGen)

  static constexpr WORD kCurrentVersion = 4;
  // A new generator has this many entries, and never fewer.
  static constexpr DWORD kMinEntries = 4;
  // The current record counts entries in 16 bits.
  static constexpr DWORD kMaxEntries = 0xFFFF;

  HRESULT Init() override;
  void* GetInterface(REFIID iid) override;
  const char* GetClassName() override { return "JStyleLinePointGen"; }

  // ---- JStyleBase and render-base operations ----

  BOOL UsesStyleID(DWORD id) override;
  GUID* GetClassID(GUID* out) override;
  HRESULT Serialize(JArchive* archive) override;
  // The same count and placements, without symbols.
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
  // Drawn only through a dash type: E_FAIL.
  HRESULT Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target, const RenderContextScales* context,
                 IJStyleRender* substitute, tagStyleOverride* record, BOOL recordGiven,
                 const StyleElementRecord* element) override;
  HRESULT GetExtentDelta(StyleExtent* extent) override;
  // The referenced style's range, raised to each symbol's range widened by its entry's across offset.
  HRESULT GetExtentRecord(StyleExtent* extent, const RenderContextScales* context,
                          tagStyleOverride* record) override;
  HRESULT SerializeCurrent(JArchive* archive) override;

  // After the shared table: the entry's symbol goes, with its use in the owner library.
  virtual HRESULT RemoveSymbol(LONG index);

  // ---- IJStyleLinePointGen ----

  HRESULT SetSymbol(LONG index, IUnknown* style);
  HRESULT GetSymbol(LONG index, IJStylePointSymbol** out);
  HRESULT SetEntry(LONG index, IUnknown* style, float fraction, double along, double across, double angle,
                   DWORD absolute, DWORD upright);
  HRESULT GetEntry(LONG index, IJStylePointSymbol** style, float* fraction, double* along, double* across,
                   double* angle, DWORD* absolute, DWORD* upright);
  HRESULT SetEntryByID(LONG index, DWORD id, float fraction, double along, double across, double angle,
                       DWORD absolute, DWORD upright);

  // ---- the client protocol ----

  HRESULT AcceptsEntry(DWORD index);
  HRESULT BeginRun(void** state, const DashClientContext* context, DWORD index);
  HRESULT EndRun(void** state, const DashClientContext* context);

  // ---- state, for the tests ----

  DWORD EntryCount() const { return m_entries.Size(); }
  const LinePointEntry& Entry(DWORD i) const { return m_entries[i]; }
  // Whether a run holds the process's one static run state.
  static bool StaticRunStateInUse();

  STYLE_BEGIN_INTERFACE_PART(JStyleLinePointGen, IJStyleLinePointGen)
  HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) override;
  HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetOrientation(LONG index, double angle, DWORD absolute, DWORD upright) override;
  HRESULT STDMETHODCALLTYPE GetOrientation(LONG index, double* angle, DWORD* absolute, DWORD* upright) override;
  HRESULT STDMETHODCALLTYPE SetOffsets(LONG index, double along, double across) override;
  HRESULT STDMETHODCALLTYPE GetOffsets(LONG index, double* along, double* across) override;
  HRESULT STDMETHODCALLTYPE SetSymbol(LONG index, IUnknown* style) override;
  HRESULT STDMETHODCALLTYPE GetSymbol(LONG index, IJStylePointSymbol** out) override;
  HRESULT STDMETHODCALLTYPE SetEntry(LONG index, IUnknown* style, float fraction, double along, double across,
                                     double angle, DWORD absolute, DWORD upright) override;
  HRESULT STDMETHODCALLTYPE GetEntry(LONG index, IJStylePointSymbol** style, float* fraction, double* along,
                                     double* across, double* angle, DWORD* absolute, DWORD* upright) override;
  HRESULT STDMETHODCALLTYPE SetEntryByID(LONG index, DWORD symbolID, float fraction, double along, double across,
                                         double angle, DWORD absolute, DWORD upright) override;
  HRESULT STDMETHODCALLTYPE GetEntryByID(LONG index, DWORD* symbolID, float* fraction, double* along,
                                         double* across, double* angle, DWORD* absolute, DWORD* upright) override;
  HRESULT STDMETHODCALLTYPE GetCount(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE RemoveSymbol(LONG index) override;
  STYLE_END_INTERFACE_PART(IJStyleLinePointGen)

  STYLE_BEGIN_INTERFACE_PART(JStyleLinePointGen, IJStyleDashTypeClient)
  HRESULT STDMETHODCALLTYPE AcceptsEntry(DWORD index) override;
  HRESULT STDMETHODCALLTYPE BeginRun(void** state, const DashClientContext* context, DWORD index) override;
  HRESULT STDMETHODCALLTYPE EndRun(void** state, const DashClientContext* context, DWORD index) override;
  HRESULT STDMETHODCALLTYPE EntryStart(void** state, const DashClientContext* context, DWORD index, double x,
                                       double y, double z, double offset, double value) override;
  HRESULT STDMETHODCALLTYPE CornerReached(void** state, const DashClientContext* context, DWORD index, double x,
                                          double y, double z, double pieceLength, const double* direction) override;
  HRESULT STDMETHODCALLTYPE EntryEnd(void** state, const DashClientContext* context, DWORD index, double x,
                                     double y, double z, double pieceLength, const double* direction,
                                     double value) override;
  STYLE_END_INTERFACE_PART(IJStyleDashTypeClient)

 protected:
  ~JStyleLinePointGen();

 private:
  // The entry of an index the caller gave: null for an index outside 0..count-1.
  LinePointEntry* At(LONG index);
  // Makes the entry of a setter's index exist; *grown tells whether it was new. E_INVALIDARG for an index the
  // record cannot count, E_OUTOFMEMORY when the array cannot grow (nothing changed then).
  HRESULT Reach(LONG index, DWORD* oldCount);
  // The entry's symbol: the cache, else fetched by its ID and kept. S_OK with null when there is none.
  HRESULT Resolve(LinePointEntry& entry, IJStyleRender** out);
  // Gives the array back down to `count` entries, dropping the caches of the entries that go.
  void ShrinkTo(DWORD count);
  HRESULT SerializeOlder(JArchive* archive, WORD version);
  // Exchanges the entries of one record layout; a load reads them all before it changes any.
  HRESULT ExchangeEntries(JArchive* archive, WORD version, DWORD count);

  StyleGrowableArray<LinePointEntry> m_entries{8};
};

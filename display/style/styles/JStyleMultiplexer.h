// JStyleMultiplexer: one geometry drawn with several styles of the owning library, one over the other, in the
// order of an entry list. Each entry is a style ID with a use in the owner, and the style's render interface
// once it has been resolved. The multiplexer's kind follows its entries: a multiplexer of lines is a line style,
// one of fills a fill, and entries of the other family are refused.
#pragma once

#include "display/style/StyleGrowableArray.h"
#include "display/style/stylbas/CStyleRdr2dBase.h"

// One entry: the cached style (one reference, or null until resolved) and its ID in the owner.
struct MuxEntry {
  IJStyleRender* style;
  DWORD id;
};
static_assert(sizeof(MuxEntry) == 8);

class JStyleMultiplexer : public CStyleRdr2dBase {
 public:
  explicit JStyleMultiplexer(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleMultiplexer)

  static constexpr WORD kCurrentVersion = 3;
  static constexpr DWORD kGrowBy = 8;
  // The current record counts its entries in 16 bits.
  static constexpr LONG kMaxEntries = 0xFFFF;

  void* GetInterface(REFIID iid) override;
  void* GetAggregateInterface(REFIID iid) override;
  const char* GetClassName() override { return "JStyleMultiplexer"; }

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
  HRESULT OnStyleChanged(DWORD id, DWORD newStyle) override;
  // A multiplexer draws through no referenced style: setting one only forgets it.
  HRESULT SetReferencedStyle(IUnknown* style) override;
  IJStyleRender* GetReferencedStyle() override { return nullptr; }
  HRESULT Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target, const RenderContextScales* context,
                 IJStyleRender* substitute, tagStyleOverride* record, BOOL recordGiven,
                 const StyleElementRecord* element) override;
  HRESULT RenderDefault(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                        const RenderContextScales* context, const StyleElementRecord* element) override;
  HRESULT GetExtentDelta(StyleExtent* extent) override;
  HRESULT GetRange(StyleExtent* extent, const RenderContextScales* context, IJStyleRender* substitute,
                   tagStyleOverride* record, BOOL recordGiven) override;
  HRESULT SerializeCurrent(JArchive* archive) override;
  // A count the current record cannot carry is refused before anything is written.
  HRESULT SerializeVersioned(JArchive* archive) override;

  // ---- the class's own operation after the shared ones ----

  // The kind, decided from the first entry while it is still 0.
  virtual HRESULT ResolveKind(DWORD* kind);

  // ---- IJStyleMultiplexer ----

  HRESULT SetCount(LONG count);
  HRESULT SetEntry(LONG index, IJStyleRender* style);
  HRESULT GetEntry(LONG index, IJStyleRender** out);
  HRESULT RemoveAll();
  HRESULT SetEntryID(LONG index, DWORD id);
  HRESULT GetEntryID(DWORD index, DWORD* id);

  // ---- state, for the tests ----

  DWORD Count() const { return m_entries.Size(); }
  const MuxEntry& Entry(DWORD index) const { return m_entries[index]; }

  STYLE_BEGIN_INTERFACE_PART(JStyleMultiplexer, IJStyleMultiplexer)
  HRESULT STDMETHODCALLTYPE SetKind(DWORD kind) override;
  HRESULT STDMETHODCALLTYPE SetCount(LONG count) override;
  HRESULT STDMETHODCALLTYPE GetCount(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetEntry(LONG index, IJStyleRender* style) override;
  HRESULT STDMETHODCALLTYPE GetEntry(LONG index, IJStyleRender** out) override;
  HRESULT STDMETHODCALLTYPE RemoveAll() override;
  HRESULT STDMETHODCALLTYPE Reserved1(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Reserved2(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetEntryID(LONG index, DWORD id) override;
  HRESULT STDMETHODCALLTYPE GetEntryID(DWORD index, DWORD* id) override;
  HRESULT STDMETHODCALLTYPE SetCurrentIndex(DWORD index) override;
  HRESULT STDMETHODCALLTYPE GetCurrentIndex(DWORD* out) override;
  STYLE_END_INTERFACE_PART(IJStyleMultiplexer)

 protected:
  ~JStyleMultiplexer();

 private:
  bool ValidIndex(LONG index) const { return index >= 0 && static_cast<DWORD>(index) < m_entries.Size(); }
  // Whether an interface is this multiplexer's own: an entry that held it would keep it alive for ever.
  bool IsSelf(IUnknown* style) { return StyleSameObject(style, Identity()); }
  // The entry's style, resolved through the owner and cached when it is not yet; null for an entry that names
  // no style. Reports nothing.
  HRESULT ResolveEntry(DWORD index, IJStyleRender** out);
  // Gives up the entries from `first` on: their cached styles and, with an owner, their uses.
  void ReleaseEntries(DWORD first);
  // Drops every cached style; the IDs and their uses stay.
  void DropCachedStyles();
  // Makes `count` empty entries in place of the present ones, which give up their cached styles and, with
  // `releaseUses`, their uses. Nothing changes when the memory is not there.
  HRESULT ReplaceEntries(DWORD count, bool releaseUses);
  // Calls `call` with every entry's style in index order, skipping entries that name none; the first failure
  // (a style that cannot be resolved, or the call's, reported at `line`) stops the walk. Answers the last call's
  // result, S_OK when there was none.
  template <class Call>
  HRESULT ForEachEntryStyle(Call call, int line);
  HRESULT SerializeVersion2(JArchive* archive);
  // The entry IDs of a record: the count in 16 or 32 bits, then the IDs. A load replaces the entries only once
  // the whole list was read.
  HRESULT SerializeEntryIDs(JArchive* archive, bool wideCount);

  StyleGrowableArray<MuxEntry> m_entries{kGrowBy};
  DWORD m_currentIndex = 0;
};

// JStylePointSymbol: the style that draws one graphic, its symbol, at every point of what it renders, scaled by
// its units code and, at oriented points, turned to the point's direction. The symbol is an object of the host
// document (typically a symbol definition) known by its persistent ID; the style keeps it in its owner's
// document, in the document's "StyleCluster", copying it there when it comes from elsewhere. The style is itself
// a graphic whose operations go to its symbol, or to the missing-graphic placeholder when the symbol cannot be
// found, so that a lost symbol still shows.
#pragma once

#include "display/style/stylbas/CStyleRdr2dBase.h"

class JStylePointSymbol : public CStyleRdr2dBase {
 public:
  explicit JStylePointSymbol(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStylePointSymbol)

  static constexpr WORD kCurrentVersion = 3;

  void* GetInterface(REFIID iid) override;
  void* GetAggregateInterface(REFIID iid) override;
  const char* GetClassName() override { return "JStylePointSymbol"; }

  // ---- JStyleBase and render-base operations ----

  BOOL UsesStyleID(DWORD id) override;
  GUID* GetClassID(GUID* out) override;
  HRESULT Serialize(JArchive* archive) override;
  // A new point symbol of the same kind and units code, without symbol.
  HRESULT Clone(IUnknown* outer, IUnknown** out) override;
  HRESULT CopyFrom(IUnknown* source, DWORD flags) override;
  // Equal only when both hold the very same symbol object.
  HRESULT IsEqual(IUnknown* other, BOOL* same) override;
  // The owner's document adopts a symbol that has no persistent ID yet.
  HRESULT SetOwner(IUnknown* owner) override;
  // The copy gets a copy of the symbol in the target document's cluster.
  HRESULT CopyToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                        IUnknown** out) override;
  GUID* GetStyleCategory(GUID* out) override;
  // A point symbol draws through no referenced style: setting one only forgets it.
  HRESULT SetReferencedStyle(IUnknown* style) override;
  IJStyleRender* GetReferencedStyle() override { return nullptr; }
  HRESULT Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target, const RenderContextScales* context,
                 IJStyleRender* substitute, tagStyleOverride* record, BOOL recordGiven,
                 const StyleElementRecord* element) override;
  // Both add the symbol's reach around its insertion point to the field the units code selects.
  HRESULT GetExtentDelta(StyleExtent* extent) override;
  HRESULT GetExtentRecord(StyleExtent* extent, const RenderContextScales* context,
                          tagStyleOverride* record) override;
  HRESULT SerializeCurrent(JArchive* archive) override;

  // ---- IJStylePointSymbol ----

  HRESULT SetGraphic(IUnknown* symbol);
  HRESULT GetGraphic(IJGraphic** out);

  // ---- state, for the tests ----

  DWORD SymbolID() const { return m_symbolID; }
  IJGraphic* CachedSymbol() const { return m_symbol; }
  const StylePointSymbolFilterBlock& FilterBlock() const { return m_filter; }

  STYLE_BEGIN_INTERFACE_PART(JStylePointSymbol, IJStylePointSymbol)
  HRESULT STDMETHODCALLTYPE SetGraphic(IUnknown* symbol) override;
  HRESULT STDMETHODCALLTYPE GetGraphic(IJGraphic** out) override;
  HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) override;
  HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE GetSymbolFlags(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetSymbolFlags(DWORD flags) override;
  STYLE_END_INTERFACE_PART(IJStylePointSymbol)

  STYLE_BEGIN_INTERFACE_PART(JStylePointSymbol, IJStylePointSymbolFilter)
  HRESULT STDMETHODCALLTYPE GetFilterBlock(StylePointSymbolFilterBlock** out) override;
  HRESULT STDMETHODCALLTYPE NotOffered4() override;
  STYLE_END_INTERFACE_PART(IJStylePointSymbolFilter)

  // The style as a graphic: each operation goes to the symbol, or to the placeholder for a missing one.
  STYLE_BEGIN_INTERFACE_PART(JStylePointSymbol, IJGraphic)
  HRESULT STDMETHODCALLTYPE GetGraphicType(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE Notify(DWORD a, DWORD b, DWORD c, IUnknown* sink) override;
  HRESULT STDMETHODCALLTYPE Draw(GraphicDrawContext* context) override;
  HRESULT STDMETHODCALLTYPE GetRange(GraphicRange* range, StyleExtent* extent) override;
  STYLE_END_INTERFACE_PART(IJGraphic)

 protected:
  ~JStylePointSymbol();

 private:
  // The symbol with a reference: S_OK with it, or with null when the style has none; S_FALSE with null when
  // its ID names no object of the style's document.
  HRESULT ResolveSymbol(IJGraphic** out);
  // What the style draws and measures: the symbol, or the placeholder when it is missing (*placeholder true);
  // null when the style has no symbol.
  HRESULT DrawnSymbol(IJGraphic** out, bool* placeholder);
  // Passes a graphic operation to what the style draws; E_FAIL without symbol.
  template <class Call>
  HRESULT ThroughSymbol(bool draws, Call call);
  // Tells the symbol of the owner library, once per style.
  void AnnounceOwner(IJGraphic* symbol);
  // Keeps the symbol and takes its persistent ID in the style's document, 0 when it has none there.
  void KeepSymbol(IJGraphic* symbol);
  void DropSymbol();
  // Keeps the symbol in the owner's document (Algorithms, adoption).
  HRESULT AdoptSymbol();
  HRESULT DrawAtPoints(const StyleGeometryRecord* geometry, const RenderContextScales* context,
                       tagStyleOverride* record, BOOL recordGiven, const StyleElementRecord* element,
                       IJGraphic* symbol, bool placeholder);
  HRESULT AddSymbolReach(StyleExtent* extent, bool withSymbolExtent);
  HRESULT ExchangeSymbolID(JArchive* archive);

  StylePointSymbolFilterBlock m_filter;
  IJGraphic* m_symbol = nullptr;  // the cache of the symbol ID's object; one reference
  DWORD m_symbolID = 0;           // the persistent ID of the symbol in the style's document; 0 for none
  DWORD m_symbolFlags = 0;        // kept for the caller, neither read, persisted nor copied
  BYTE m_ownerAnnounced = 0;
};

// CStyleRdr2dBase: the base of every style that draws into a 2D render target. On top of JStyleBase it adds
// the render and set-up interfaces, the style kind, the units code of the style's lengths, one referenced style
// (the style it draws through by default), the shared drawing entry points that fill the render record before
// a class draws, and the conversion of lengths by units code.
#pragma once

#include "display/style/stylbas/JStyleBase.h"

class CStyleRdr2dBase : public JStyleBase {
 public:
  // Selects the constructor of the concrete classes: it counts the object as live while it exists.
  struct Counted {};

  CStyleRdr2dBase();
  explicit CStyleRdr2dBase(IUnknown* outer);
  CStyleRdr2dBase(IUnknown* outer, Counted);

  void* GetInterface(REFIID iid) override;
  const char* GetClassName() override { return "CStyleRdr2dBase"; }

  // ---- JStyleBase operations that the render base replaces ----

  // True for the referenced style's ID and for every ID that style uses.
  BOOL UsesStyleID(DWORD id) override;
  // The older record of the render base (SerializeClass); classes put their own serializer here.
  HRESULT Serialize(JArchive* archive) override;
  HRESULT Clone(IUnknown* outer, IUnknown** out) override;
  HRESULT InitNew() override;
  HRESULT CopyFrom(IUnknown* source, DWORD flags) override;
  HRESULT IsEqual(IUnknown* other, BOOL* same) override;
  BOOL AlwaysTrueHook() override;
  // Moves the use of the referenced style from the old owner's library to the new one's.
  HRESULT SetOwner(IUnknown* owner) override;
  HRESULT ReleaseStyleRefs(DWORD value) override;
  HRESULT EnumStyleRefs(StyleRefCallback callback) override;
  // The copy with its referenced style copied into the target first.
  HRESULT CopyToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                        IUnknown** out) override;
  HRESULT OnStyleChanged(DWORD id, DWORD value) override;
  // The base record with the units code in bits 0-2 of its flags and the referenced style ID.
  HRESULT SerializeBase(JArchive* archive, StyleBaseRecord* record) override;

  // ---- the render base's main-table operations, in slot order ----

  virtual DWORD GetStyleKind();
  virtual HRESULT SetReferencedStyle(IUnknown* style);
  // With a reference, or null.
  virtual IJStyleRender* GetReferencedStyle();
  virtual DWORD FixedQuery1();
  virtual DWORD FixedQuery2();
  virtual DWORD FixedQuery3(DWORD value);
  // Draws the style with a record that PrepareRenderRecord has filled. The base draws its referenced style.
  virtual HRESULT Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                         const RenderContextScales* context, IJStyleRender* substitute, tagStyleOverride* record,
                         BOOL recordGiven, const StyleElementRecord* element);
  // Draws with the style's own values only.
  virtual HRESULT RenderDefault(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                const RenderContextScales* context, const StyleElementRecord* element);
  // The style's extent without render context.
  virtual HRESULT GetExtentDelta(StyleExtent* extent);
  // The style's extent under a render context.
  virtual HRESULT GetExtentRecord(StyleExtent* extent, const RenderContextScales* context,
                                  tagStyleOverride* record);
  virtual HRESULT ApplyToGraphic(tagStyleOverride* record);
  virtual HRESULT SetReferencedStyleID(DWORD id);
  virtual HRESULT GetReferencedStyleID(DWORD* out);
  // The drawing entry point: fills a copy of the caller's record and draws it, or lets a substitute style of
  // the same kind draw instead. The caller's record is never changed.
  virtual HRESULT RenderWithContext(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                    const RenderContextScales* context, IJStyleRender* substitute,
                                    const tagStyleOverride* record, const StyleElementRecord* element);
  virtual HRESULT GetRangeWithContext(StyleExtent* extent, const RenderContextScales* context,
                                      IJStyleRender* substitute, const tagStyleOverride* record);
  // Merges the style's own extent into *extent, then its referenced style's range.
  virtual HRESULT GetRange(StyleExtent* extent, const RenderContextScales* context, IJStyleRender* substitute,
                           tagStyleOverride* record, BOOL recordGiven);
  // Fills the fields of the record whose flag bit is still clear from the style's own data; fields already
  // flagged keep their values. `scale` converts the style's lengths for the record's units.
  virtual HRESULT PrepareRenderRecord(tagStyleOverride* record, const RenderContextScales* context, double scale);
  virtual HRESULT RenderReferenced(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                   const RenderContextScales* context, IJStyleRender* substitute,
                                   tagStyleOverride* record, BOOL recordGiven, const StyleElementRecord* element);
  // The class's current record layout; it begins with SerializeBase.
  virtual HRESULT SerializeCurrent(JArchive* archive) = 0;

  // ---- the render base's older record, for the classes' older layouts ----

  HRESULT SerializeClass(JArchive* archive);

  // ---- lengths ----

  // The render context's factor for a units code: 11, 12, 13 select the first, second, third scale; any other
  // code, and a null context, answer 1.0.
  static double GetScaleForUnits(DWORD code, const RenderContextScales* context);
  double GetUnitsScale(const RenderContextScales* context) { return GetScaleForUnits(m_unitsCode, context); }
  // A length of the given units code in the render context's units; in device mode, code-11 lengths map to
  // device units (with `clamp`, to at least one device unit and at most the device maximum).
  static double ConvertStyleLength(double value, DWORD code, const RenderContextScales* context, BOOL clamp);

  // ---- state, for the classes and the tests ----

  DWORD UnitsCode() const { return m_unitsCode; }
  void SetUnitsCode(DWORD code) { m_unitsCode = code; }
  DWORD ReferencedID() const { return m_referencedStyleID; }
  IJStyleRender* CachedReferencedStyle() const { return m_referencedStyle; }
  DWORD ChangeWord() const { return m_changeWord; }

  // ---- nested interfaces ----

  STYLE_BEGIN_INTERFACE_PART(CStyleRdr2dBase, IJStyleRender)
  DWORD STDMETHODCALLTYPE GetVariant() override;
  HRESULT STDMETHODCALLTYPE GetRangeWithContext(StyleExtent* extent, const RenderContextScales* context,
                                                IJStyleRender* substitute, const tagStyleOverride* record) override;
  HRESULT STDMETHODCALLTYPE SetReferencedStyle(IUnknown* style) override;
  HRESULT STDMETHODCALLTYPE GetStyleKind(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE GetReferencedStyle(IJStyleRender** out) override;
  HRESULT STDMETHODCALLTYPE GetFixedQuery1(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE GetFixedQuery2(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE GetFixedQuery3(DWORD value, DWORD* out) override;
  HRESULT STDMETHODCALLTYPE RenderWithContext(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                              const RenderContextScales* context, IJStyleRender* substitute,
                                              const tagStyleOverride* record,
                                              const StyleElementRecord* element) override;
  HRESULT STDMETHODCALLTYPE GetExtentDelta(StyleExtent* extent) override;
  HRESULT STDMETHODCALLTYPE ApplyToGraphic(tagStyleOverride* record) override;
  STYLE_END_INTERFACE_PART(IJStyleRender)

  STYLE_BEGIN_INTERFACE_PART(CStyleRdr2dBase, IJStyleSetup2d)
  HRESULT STDMETHODCALLTYPE GetOwner(IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE SetLibrarian(IUnknown* librarian) override;
  HRESULT STDMETHODCALLTYPE SetReferencedStyle(IUnknown* style) override;
  HRESULT STDMETHODCALLTYPE SetReferencedStyleID(DWORD id) override;
  HRESULT STDMETHODCALLTYPE GetReferencedStyle(IJStyleRender** out) override;
  HRESULT STDMETHODCALLTYPE GetReferencedStyleID(DWORD* out) override;
  STYLE_END_INTERFACE_PART(IJStyleSetup2d)

 protected:
  ~CStyleRdr2dBase();

  // Drops the cached referenced style (its ID stays) and clears the word that follows it.
  void DropReferencedStyle();

  // What the headers and the base part of a record change as they load, so that a record that fails further on
  // can leave the style as it was, its ID included.
  struct BaseState {
    DWORD styleID;
    WORD flagWord;
    DWORD versioned, unitsCode, referencedStyleID, styleKind;
  };
  BaseState SaveBase() const;
  void RestoreBase(const BaseState& state);
  // The JStyleBase SerializeVersioned, for a class whose serializer takes its own fields only from a record read
  // whole and found sound, to override it with: a load that fails leaves the base part as it was too, so the
  // whole style is as it was.
  HRESULT SerializeVersionedWhole(JArchive* archive);
  // Fills a copy of the caller's record and scales it as the drawing and range entry points do.
  HRESULT PrepareCopy(const tagStyleOverride* record, const RenderContextScales* context, tagStyleOverride* copy,
                      int line);
  // Whether a substitute style is of this style's kind and so acts in its place; a failure to ask is reported
  // at `line`.
  HRESULT SubstituteActs(IJStyleRender* substitute, int line, bool* acts);

  DWORD m_styleKind = STYLE_KIND_MULTIPLEXER;
  DWORD m_unitsCode = STYLE_UNITS_13;
  IJStyleRender* m_referencedStyle = nullptr;  // the cache of the referenced style ID; one reference
  DWORD m_changeWord = 0;                      // cleared whenever the referenced style changes
  DWORD m_referencedStyleID = kNoStyleID;

 private:
  bool m_counted = false;
};

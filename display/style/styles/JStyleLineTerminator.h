// JStyleLineTerminator: a symbol at each end of a line, the start terminator at its first point and the end
// terminator at its last, each turned to point away from the line. The terminators are point symbol styles of
// the owning library, referred to by style ID; the style draws nothing of the line itself. Its two lengths
// widen its extent.
#pragma once

#include "display/style/stylbas/CStyleRdr2dBase.h"

class JStyleLineTerminator : public CStyleRdr2dBase {
 public:
  explicit JStyleLineTerminator(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleLineTerminator)

  static constexpr WORD kCurrentVersion = 3;

  // Which end of the line; the index of that terminator's fields.
  enum End { kStart = 0, kEnd = 1 };

  void* GetInterface(REFIID iid) override;
  void* GetAggregateInterface(REFIID iid) override;
  const char* GetClassName() override { return "JStyleLineTerminator"; }

  // ---- JStyleBase and render-base operations ----

  BOOL UsesStyleID(DWORD id) override;
  GUID* GetClassID(GUID* out) override;
  HRESULT Serialize(JArchive* archive) override;
  // The same kind, units code and lengths, without terminators.
  HRESULT Clone(IUnknown* outer, IUnknown** out) override;
  // Takes the source's base data, units code, lengths and terminators, so that the copy compares equal to it.
  HRESULT CopyFrom(IUnknown* source, DWORD flags) override;
  HRESULT IsEqual(IUnknown* other, BOOL* same) override;
  // Moves the uses of both terminators from the old owner's library to the new one's.
  HRESULT SetOwner(IUnknown* owner) override;
  HRESULT ReleaseStyleRefs(DWORD value) override;
  HRESULT EnumStyleRefs(StyleRefCallback callback) override;
  // The copy refers to copies of both terminators in the target library.
  HRESULT CopyToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                        IUnknown** out) override;
  HRESULT OnStyleChanged(DWORD id, DWORD newStyle) override;
  HRESULT Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target, const RenderContextScales* context,
                 IJStyleRender* substitute, tagStyleOverride* record, BOOL recordGiven,
                 const StyleElementRecord* element) override;
  HRESULT GetExtentDelta(StyleExtent* extent) override;
  // The terminators' ranges, then the smaller length in the field the units code selects.
  HRESULT GetExtentRecord(StyleExtent* extent, const RenderContextScales* context,
                          tagStyleOverride* record) override;
  HRESULT SerializeCurrent(JArchive* archive) override;

  // ---- IJStyleLineTerminator ----

  HRESULT SetTerminator(End end, IUnknown* style);
  HRESULT GetTerminator(End end, IUnknown** out);
  HRESULT SetTerminatorID(End end, DWORD id);
  HRESULT GetTerminatorID(End end, DWORD* out);
  HRESULT GetLength(End end, double* out);

  // ---- state, for the tests ----

  IJStyleRender* CachedStyle(End end) const { return m_styles[end]; }
  DWORD StyleIDOf(End end) const { return m_ids[end]; }

  STYLE_BEGIN_INTERFACE_PART(JStyleLineTerminator, IJStyleLineTerminator)
  HRESULT STDMETHODCALLTYPE SetStartLength(double length) override;
  HRESULT STDMETHODCALLTYPE GetStartLength(double* out) override;
  HRESULT STDMETHODCALLTYPE SetEndLength(double length) override;
  HRESULT STDMETHODCALLTYPE GetEndLength(double* out) override;
  HRESULT STDMETHODCALLTYPE SetStartStyle(IUnknown* style) override;
  HRESULT STDMETHODCALLTYPE GetStartStyle(IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE SetEndStyle(IUnknown* style) override;
  HRESULT STDMETHODCALLTYPE GetEndStyle(IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) override;
  HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetStartStyleID(DWORD id) override;
  HRESULT STDMETHODCALLTYPE GetStartStyleID(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetEndStyleID(DWORD id) override;
  HRESULT STDMETHODCALLTYPE GetEndStyleID(DWORD* out) override;
  STYLE_END_INTERFACE_PART(IJStyleLineTerminator)

 protected:
  ~JStyleLineTerminator();

 private:
  // The terminator's drawing interface, resolved by ID when it is not cached; null when there is none.
  HRESULT ResolveStyle(End end);
  void DropStyle(End end);
  // Draws the terminator of one end at the point `at`, turned along at - from.
  HRESULT DrawEnd(End end, const double* at, const double* from, const StyleGeometryRecord* geometry,
                  IRenderTarget2d* target, const RenderContextScales* context, IJStyleRender* substitute,
                  tagStyleOverride* record, const StyleElementRecord* element);
  // Whether the other terminator style's terminators are the same styles as these (Algorithms, equality).
  HRESULT SameTerminators(IUnknown* other, IJStyleLineTerminator* theirs, BOOL* same);
  // The lengths and IDs that end both record layouts.
  HRESULT SerializeFields(JArchive* archive);

  IJStyleRender* m_styles[2] = {};  // the caches of the two IDs; one reference each
  DWORD m_ids[2] = {kNoStyleID, kNoStyleID};
  double m_lengths[2] = {0.0, 0.0};
};

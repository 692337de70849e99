// JStyleSimpleDashType: the concrete dash type. A dash pattern (signed lengths in a units code, a pattern mode,
// the part of the first entry that shows at each run end) with its record versions, and the drawing of runs in
// that pattern: the lengths scaled or fitted to the run, each dash drawn as polylines, and the clients told of
// every entry along the way.
#pragma once

#include "display/style/styles/DashGeneration.h"
#include "display/style/styles/JStyleDashType.h"

class JStyleSimpleDashType : public JStyleDashType {
 public:
  explicit JStyleSimpleDashType(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleSimpleDashType)

  // Bits of the locked-fields mask that a selective CopyFrom honours.
  enum : DWORD {
    LOCK_LENGTHS = 0x1,
    LOCK_STROKES_HIDDEN = 0x2,
    LOCK_MODE = 0x10,
    LOCK_END_FRACTION = 0x20,
  };
  // The mask that loading a record with lengths leaves.
  static constexpr DWORD kLoadedLockedFields = 179;
  static constexpr WORD kCurrentVersion = 4;

  void* GetInterface(REFIID iid) override;
  void* GetAggregateInterface(REFIID iid) override;
  const char* GetClassName() override { return "JStyleSimpleDashType"; }

  GUID* GetClassID(GUID* out) override;
  HRESULT Serialize(JArchive* archive) override;
  HRESULT Clone(IUnknown* outer, IUnknown** out) override;
  HRESULT CopyFrom(IUnknown* source, DWORD selective) override;
  HRESULT IsEqual(IUnknown* other, BOOL* same) override;
  HRESULT OnStyleChanged(DWORD id, DWORD newStyle) override;
  HRESULT RenderDashes(const StylePointRun* run, IRenderTarget2d* target, const RenderContextScales* context,
                       DWORD fitRequest, const tagStyleOverride* record, const StyleElementRecord* element,
                       DWORD colour, double width) override;
  HRESULT ReleaseClientInterfaces() override;

  // ---- the class's own main-table operations ----

  virtual HRESULT SerializeChecked(JArchive* archive);
  // The version 4 record, which is also the whole record of an archive without class headers.
  virtual HRESULT SerializeCurrent(JArchive* archive);

  // ---- the description ----

  HRESULT SetLengths(DWORD count, const double* lengths);
  HRESULT SetData(const tagStyleSimpleDashTypeData* data);
  HRESULT GetData(tagStyleSimpleDashTypeData* data);
  HRESULT GetPatternLength(DWORD* mode, double* length);

  STYLE_BEGIN_INTERFACE_PART(JStyleSimpleDashType, IJStyleSimpleDashType)
  HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) override;
  HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetLengths(DWORD count, const double* lengths) override;
  HRESULT STDMETHODCALLTYPE GetCount(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE GetLengths(DWORD* count, double* out) override;
  HRESULT STDMETHODCALLTYPE SetData(const tagStyleSimpleDashTypeData* data) override;
  HRESULT STDMETHODCALLTYPE GetData(tagStyleSimpleDashTypeData* data) override;
  HRESULT STDMETHODCALLTYPE GetLockedFields(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetLockedFields(DWORD fields) override;
  HRESULT STDMETHODCALLTYPE GetPatternLength(DWORD* mode, double* length) override;
  STYLE_END_INTERFACE_PART(IJStyleSimpleDashType)

 protected:
  ~JStyleSimpleDashType();

 private:
  bool StrokesHidden() const { return (m_flags & DASH_STROKES_HIDDEN) != 0; }
  // Replaces the lengths by a copy of `count` values; without the memory the style is left without lengths.
  HRESULT ReplaceLengths(DWORD count, const double* lengths);
  // Every drawing cache goes; the next drawing builds afresh.
  void DescriptionChanged();
  void UpdateLengthTotals();

  // The record versions 2 and 3 (their body after the client list), and the repair of their flags.
  HRESULT SerializeOlderBody(JArchive* archive, WORD version);

  // One piece of a run: the pattern scaled or fitted, then the dashes drawn and the clients told.
  HRESULT GenerateDashes(const double* points, DWORD count, IRenderTarget2d* target,
                         const RenderContextScales* context, DWORD fitRequest, const tagStyleOverride* record,
                         const StyleElementRecord* element, DWORD colour, double width);
  HRESULT BuildPattern(DWORD mode, double runLength, double dashScale, const RenderContextScales* context,
                       const DashContextKey& key, bool* endFractionApplies);
  // The converted gap and dash totals, for the fitting modes.
  void UpdateConvertedTotals(const RenderContextScales* context, double dashScale);
  HRESULT AssignEntryClients();
  DashPatternSource PatternSource(const RenderContextScales* context) const;

  DWORD m_units = STYLE_UNITS_13;
  DWORD m_count = 0;
  double* m_lengths = nullptr;
  DWORD m_flags = DASH_CURRENT_FORM;
  double m_endFraction = 0.5;
  DWORD m_cloneFlag = 0;  // in a clone, the source's strokes-hidden bit
  DWORD m_lockedFields = 0;

  DashEntryClientTable m_entryClients;
  // The converted totals and what they were converted for (the render context and the dash scale).
  double m_gapTotal = 0.0;
  double m_dashTotal = 0.0;
  DashContextKey m_totalsContext;
  double m_totalsDashScale = std::numeric_limits<double>::quiet_NaN();
  double m_rawGapTotal = 0.0;
  double m_rawDashTotal = 0.0;
  DashScaledPattern m_pattern;
};

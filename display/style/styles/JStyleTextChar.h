// JStyleTextChar: the character style of text. A font name and the language the text is set in, a height with
// its units, a colour, attribute bits and a row of further character values that the style keeps, compares,
// copies and hands on to the font manager. Whenever the font or the language changes, the style settles on a
// language the font really has.
#pragma once

#include "display/style/stylbas/CStyleRdr2dBase.h"

struct ISitheFontMgr;

class JStyleTextChar : public CStyleRdr2dBase {
 public:
  explicit JStyleTextChar(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleTextChar)

  static constexpr WORD kCurrentVersion = 3;
  // The current record counts the name's characters in 16 bits.
  static constexpr std::size_t kMostStoredNameLength = 0xFFFF;
  // The font number of a font not yet looked up, and the colour override that is none.
  static constexpr WORD kFontUnresolved = 0xFFFF;
  static constexpr DWORD kNoColourOverride = 0xFFFFFFFF;

  void* GetInterface(REFIID iid) override;
  void* GetAggregateInterface(REFIID iid) override;
  const char* GetClassName() override { return "JStyleTextChar"; }

  // ---- JStyleBase and render-base operations ----

  GUID* GetClassID(GUID* out) override;
  HRESULT Serialize(JArchive* archive) override;
  HRESULT SerializeVersioned(JArchive* archive) override;
  HRESULT Clone(IUnknown* outer, IUnknown** out) override;
  HRESULT CopyFrom(IUnknown* source, DWORD flags) override;
  HRESULT IsEqual(IUnknown* other, BOOL* same) override;
  GUID* GetStyleCategory(GUID* out) override;
  // A character style draws through no referenced style: setting one only forgets it.
  HRESULT SetReferencedStyle(IUnknown* style) override;
  IJStyleRender* GetReferencedStyle() override { return nullptr; }
  HRESULT SerializeCurrent(JArchive* archive) override;
  // Draws the text of a TextDrawItem through the font manager; the seventh argument is the TextDrawOptions, or
  // null. The record is taken as the caller prepared it.
  HRESULT Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target, const RenderContextScales* context,
                 IJStyleRender* substitute, tagStyleOverride* record, BOOL recordGiven,
                 const StyleElementRecord* element) override;
  // The style's colour and attribute bits where the record has none of its own; the style's attribute bits that
  // the record's mask leaves open are added to the record's.
  HRESULT PrepareRenderRecord(tagStyleOverride* record, const RenderContextScales* context, double scale) override;

  // The language the font takes for the requested one: the request when the font has it, else the first of
  // the keyboard's, the thread's, the user's and the system's languages that it has, else its own first; 0 for
  // no font name or a font without languages. Failures are reported; *result is then 0.
  HRESULT ResolveFontLanguage(LPCWSTR fontName, WORD requested, WORD* result);

  // ---- state, for the tests ----

  WORD FontNumber() const { return m_fontNumber; }
  DWORD ColourOverride() const { return m_colourOverride; }
  bool HasFontManager() const { return m_fontMgr != nullptr; }

  // ---- IJStyleTextChar ----

  STYLE_BEGIN_INTERFACE_PART(JStyleTextChar, IJStyleTextChar)
  HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) override;
  HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetLanguage(WORD language) override;
  HRESULT STDMETHODCALLTYPE SetSize(double size, DWORD sizeUnits) override;
  HRESULT STDMETHODCALLTYPE SetThousandths(WORD value) override;
  HRESULT STDMETHODCALLTYPE SetAttributeBits(WORD bits) override;
  HRESULT STDMETHODCALLTYPE SetFontName(LPCWSTR name) override;
  HRESULT STDMETHODCALLTYPE SetFontNameA(LPCSTR name) override;
  HRESULT STDMETHODCALLTYPE SetFactor(double factor) override;
  HRESULT STDMETHODCALLTYPE SetPercent(double fraction) override;
  HRESULT STDMETHODCALLTYPE SetValueByte1(BYTE value) override;
  HRESULT STDMETHODCALLTYPE SetColor(DWORD colour) override;
  HRESULT STDMETHODCALLTYPE SetFourBytes(const DWORD* value) override;
  HRESULT STDMETHODCALLTYPE SetAngle(double degrees) override;
  HRESULT STDMETHODCALLTYPE SetValueByte2(BYTE value) override;
  HRESULT STDMETHODCALLTYPE SetValueByte3(BYTE value) override;
  HRESULT STDMETHODCALLTYPE SetLockMask(DWORD mask) override;
  HRESULT STDMETHODCALLTYPE SetScaledLength(WORD value) override;
  HRESULT STDMETHODCALLTYPE GetLanguage(WORD* out) override;
  HRESULT STDMETHODCALLTYPE GetSize(double* size, DWORD* sizeUnits) override;
  HRESULT STDMETHODCALLTYPE GetThousandths(WORD* out) override;
  HRESULT STDMETHODCALLTYPE GetAttributeBits(WORD* out) override;
  HRESULT STDMETHODCALLTYPE GetFontName(LPWSTR buffer) override;
  HRESULT STDMETHODCALLTYPE GetFactor(double* out) override;
  HRESULT STDMETHODCALLTYPE GetPercent(double* out) override;
  HRESULT STDMETHODCALLTYPE GetValueByte1(BYTE* out) override;
  HRESULT STDMETHODCALLTYPE GetColor(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE GetFourBytes(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE GetAngle(double* out) override;
  HRESULT STDMETHODCALLTYPE GetValueByte2(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE GetValueByte3(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE GetLockMask(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE GetScaledLength(WORD* out) override;
  HRESULT STDMETHODCALLTYPE SetCharData(const TextCharData* data) override;
  HRESULT STDMETHODCALLTYPE GetCharData(TextCharData* data) override;
  HRESULT STDMETHODCALLTYPE GetLockMask2(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetLockMask2(DWORD mask) override;
  HRESULT STDMETHODCALLTYPE FontOperation23(DWORD a1, DWORD a2) override;
  HRESULT STDMETHODCALLTYPE EnumFontLanguages(TextLanguageCallback callback) override;
  STYLE_END_INTERFACE_PART(IJStyleTextChar)

  // ---- IJStyleRenderText: IJStyleRender's operations, then the text operations ----

  STYLE_BEGIN_INTERFACE_PART(JStyleTextChar, IJStyleRenderText)
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
  HRESULT STDMETHODCALLTYPE NotOffered14(DWORD) override;
  HRESULT STDMETHODCALLTYPE MeasureInUnits(const TextDrawItem* item, DWORD ignored, const double* factors,
                                           DWORD unitsCode, double* a, double* b) override;
  HRESULT STDMETHODCALLTYPE NotOffered16(DWORD) override;
  HRESULT STDMETHODCALLTYPE TextOp17(void* a1, const RenderContextScales* context,
                                     const tagStyleOverride* record) override;
  HRESULT STDMETHODCALLTYPE TextOp18(double* metrics, const RenderContextScales* context,
                                     const tagStyleOverride* record) override;
  HRESULT STDMETHODCALLTYPE TextOp19(double* metrics, const RenderContextScales* context, DWORD flags,
                                     const tagStyleOverride* record) override;
  HRESULT STDMETHODCALLTYPE TextOp20(void* a1, const RenderContextScales* context, DWORD a3, DWORD a4, DWORD flags,
                                     DWORD a6, DWORD a7, const tagStyleOverride* record) override;
  HRESULT STDMETHODCALLTYPE TextOp21(void* a1, DWORD a2, const RenderContextScales* context, DWORD a4, DWORD a5,
                                     DWORD flags, DWORD a7, DWORD a8, const tagStyleOverride* record) override;
  HRESULT STDMETHODCALLTYPE TextOp22(double* a1, double* a2, double* a3, const RenderContextScales* context,
                                     DWORD a5, DWORD a6, DWORD flags, const tagStyleOverride* record) override;
  HRESULT STDMETHODCALLTYPE TextOp23(void* a1, const RenderContextScales* context, DWORD a3, DWORD a4, DWORD flags,
                                     DWORD a6, const tagStyleOverride* record) override;
  HRESULT STDMETHODCALLTYPE TextOp24(void* a1, const RenderContextScales* context, DWORD flags, void* a4,
                                     const tagStyleOverride* record) override;
  HRESULT STDMETHODCALLTYPE FontOperation23(DWORD a1, DWORD a2) override;
  HRESULT STDMETHODCALLTYPE EnumFontLanguages(TextLanguageCallback callback) override;
  STYLE_END_INTERFACE_PART(IJStyleRenderText)

 protected:
  ~JStyleTextChar();

 private:
  HRESULT SerializeVersion2(JArchive* archive);
  // The end of either record layout's exchange: checks what was loaded, and takes it or leaves all as it was.
  HRESULT EndExchange(HRESULT hr, JArchive* archive, const BaseState& before, TextCharData d, LPWSTR name);
  // Takes a new owned name (null for none): the font is looked up again, and the language settled for it.
  void ReplaceFontName(LPWSTR name);
  // Settles the stored language for the current font; a failure keeps it as it is.
  void ResettleLanguage();
  // Whether the name is too long for the current record.
  bool NameTooLongToStore() const;

  // ---- the font manager ----

  // The style's handle, obtained on first need; a failure is reported at `line`.
  HRESULT NeedFontManager(int line);
  // The context a call without one is measured in: factors 1.0, and a direction that suits the units code.
  RenderContextScales DefaultTextContext() const;
  // The style's units factor under the context, times its text factor for units code 11.
  double TextScale(const RenderContextScales& context) const;
  // The attribute record for the context (the default one for null), the caller's flags and a record that
  // PrepareRenderRecord has filled (a fresh one for null). An unknown font is drawn with font number 0 in the
  // exception colour.
  HRESULT BuildAttributeRecord(TextAttributeRecord* out, const RenderContextScales* context, DWORD flags,
                               tagStyleOverride* prepared);
  // Prepares a copy of the caller's record, builds the attribute record from it and makes it current in the font
  // manager: what every text operation does first. Failures are reported.
  HRESULT SetUpFontManager(const RenderContextScales* context, DWORD flags, const tagStyleOverride* record);
  // The stored height in other units, from the font manager's metrics.
  HRESULT SizeInUnits(DWORD units, double* size);

  TextCharData m_data{};  // its name is owned, from the engine allocator
  WORD m_fontNumber = kFontUnresolved;
  DWORD m_colourOverride = kNoColourOverride;
  ISitheFontMgr* m_fontMgr = nullptr;  // from GetFontMgr2, given back with ReleaseFontMgr2
};

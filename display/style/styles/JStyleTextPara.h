// JStyleTextPara: the paragraph style of text. Units, a line spacing with its mode, five distances, two value
// bytes, fourteen stops and a lock mask for partial copies, and the character style its text is set in, referred
// to by ID in the owner library. It draws nothing itself. A paragraph in a library that names no character
// style takes the library's character exception style the first time it needs one.
#pragma once

#include "display/style/stylbas/JStyleBase.h"

class JStyleTextPara : public JStyleBase {
 public:
  explicit JStyleTextPara(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleTextPara)

  static constexpr WORD kCurrentVersion = 4;
  // What GetCharStyle and SyncUnitsFromCharStyle answer when there is no character style.
  static constexpr HRESULT kNoCharStyle = 0x40221;

  void* GetInterface(REFIID iid) override;
  void* GetAggregateInterface(REFIID iid) override;
  const char* GetClassName() override { return "JStyleTextPara"; }

  // ---- JStyleBase operations ----

  GUID* GetClassID(GUID* out) override;
  HRESULT Serialize(JArchive* archive) override;
  // The copy has no owner: it holds the character style as an object, and takes its ID where it is added.
  HRESULT Clone(IUnknown* outer, IUnknown** out) override;
  HRESULT CopyFrom(IUnknown* source, DWORD flags) override;
  HRESULT IsEqual(IUnknown* other, BOOL* same) override;
  // Moves the character style's use from the old owner's library to the new one's.
  HRESULT SetOwner(IUnknown* owner) override;
  HRESULT ReleaseStyleRefs(DWORD value) override;
  HRESULT EnumStyleRefs(StyleRefCallback callback) override;
  // The copy, with the character style brought into the target library first.
  HRESULT CopyToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                        IUnknown** out) override;
  GUID* GetStyleCategory(GUID* out) override;
  // `newStyle` is the replacing style object (an IUnknown pointer in the word).
  HRESULT OnStyleChanged(DWORD id, DWORD newStyle) override;
  // A load that fails leaves the style ID and flag word that the header's older block may have changed.
  HRESULT SerializeVersioned(JArchive* archive) override;

  // ---- the paragraph style's own main-table operations, in slot order ----

  // The whole exchange, headers first: SerializeVersioned.
  virtual HRESULT SerializeWithHeader(JArchive* archive);
  // The current record: the base record, then the paragraph's fields without its stops.
  virtual HRESULT SerializeCurrent(JArchive* archive);
  virtual DWORD Reserved() { return 0; }

  // ---- IJStyleTextPara ----

  STYLE_BEGIN_INTERFACE_PART(JStyleTextPara, IJStyleTextPara)
  HRESULT STDMETHODCALLTYPE SetParaUnits(DWORD unitsCode) override;
  HRESULT STDMETHODCALLTYPE SetParaValueByte1(BYTE value) override;
  HRESULT STDMETHODCALLTYPE SetParaValueByte2(BYTE value) override;
  HRESULT STDMETHODCALLTYPE SetDistance2(double distance) override;
  HRESULT STDMETHODCALLTYPE SetDistance1(double distance) override;
  HRESULT STDMETHODCALLTYPE SetDistance3(double distance) override;
  HRESULT STDMETHODCALLTYPE SetLineSpacing(double spacing) override;
  HRESULT STDMETHODCALLTYPE SetLineSpacingWithMode(double spacing, DWORD mode) override;
  HRESULT STDMETHODCALLTYPE SetExtraValue(double value) override;
  HRESULT STDMETHODCALLTYPE SetDistance4(double distance) override;
  HRESULT STDMETHODCALLTYPE SetDistance5(double distance) override;
  HRESULT STDMETHODCALLTYPE SetStopEntries(DWORD count, const ParaStopEntry* entries) override;
  HRESULT STDMETHODCALLTYPE SetCharStyle(IUnknown* style, DWORD) override;
  HRESULT STDMETHODCALLTYPE SetParaLockMask(DWORD mask) override;
  HRESULT STDMETHODCALLTYPE GetParaUnits(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE GetParaValueByte1(BYTE* out) override;
  HRESULT STDMETHODCALLTYPE GetParaValueByte2(BYTE* out) override;
  HRESULT STDMETHODCALLTYPE GetDistance2(double* out) override;
  HRESULT STDMETHODCALLTYPE GetDistance1(double* out) override;
  HRESULT STDMETHODCALLTYPE GetDistance3(double* out) override;
  HRESULT STDMETHODCALLTYPE GetLineSpacing(double* out) override;
  HRESULT STDMETHODCALLTYPE GetLineSpacingWithMode(double* spacing, DWORD* mode) override;
  HRESULT STDMETHODCALLTYPE GetExtraValue(double* out) override;
  HRESULT STDMETHODCALLTYPE GetDistance4(double* out) override;
  HRESULT STDMETHODCALLTYPE GetDistance5(double* out) override;
  HRESULT STDMETHODCALLTYPE GetStopEntries(DWORD count, ParaStopEntry* entries) override;
  HRESULT STDMETHODCALLTYPE GetCharStyle(IUnknown** style) override;
  HRESULT STDMETHODCALLTYPE GetParaLockMask(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetParaData(const TextParaData* data, DWORD) override;
  HRESULT STDMETHODCALLTYPE GetParaData(TextParaData* data) override;
  HRESULT STDMETHODCALLTYPE ClearCharStyle() override;
  HRESULT STDMETHODCALLTYPE SetCharStyleID(DWORD id) override;
  HRESULT STDMETHODCALLTYPE SyncUnitsFromCharStyle() override;
  HRESULT STDMETHODCALLTYPE GetCharStyleID(DWORD* out) override;
  STYLE_END_INTERFACE_PART(IJStyleTextPara)

 protected:
  ~JStyleTextPara();

 private:
  // Versions 2 and 3 share this record; version 2 remaps the line-spacing mode of what it loads.
  HRESULT SerializeVersion3(JArchive* archive, WORD version);
  // The end of either record's exchange: a load that was read whole and found sound is taken, any other leaves
  // the style as it was (`styleID` is its ID before the exchange).
  HRESULT EndExchange(HRESULT hr, JArchive* archive, DWORD styleID, TextParaData d, DWORD charID, bool remapMode);

  // Caches the character style of the ID through the owner, unless it is cached or there is none to fetch.
  HRESULT FetchCharStyle();
  // As FetchCharStyle, after taking the owner library's character exception style when the ID is 0.
  HRESULT ResolveCharStyle();
  // The character style's ID becomes `id`: the new use is taken before the old one is given back, and an ID the
  // owner refuses leaves the reference as it was. Without an owner only 0 and 0xFFFFFFFF are taken.
  HRESULT MoveCharStyleID(DWORD id);
  // Gives back a use of an ID that the style no longer refers to.
  void GiveBackUse(DWORD id);
  // A style's IJStyleRenderText becomes the character style: in an owner, the style of the ID the owner knows
  // it by (a style the owner cannot name is refused with E_FAIL); without one, the style itself under the ID
  // 0xFFFFFFFF.
  HRESULT TakeCharStyle(IUnknown* renderText);
  void DropCharStyle();

  TextParaData m_data{};  // its character-style pointer stays null: the cache below is the style
  DWORD m_charID = kNoStyleID;
  IUnknown* m_charStyle = nullptr;  // IJStyleRenderText of m_charID, one reference
  double m_extraValue = 0.0;
};

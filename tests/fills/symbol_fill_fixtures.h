// What the symbol fill tests share: fills made by stylesrv.dll's class object, slot records that tell apart by
// their colour, and the host's graphic doubles as the symbols, kept in style libraries as point symbols.
#pragma once

#include <string>
#include <vector>

#include "display/style/styles/JStyleSymbolFill.h"
#include "host/app/graphic_element.h"
#include "tests/hatch/hatch_fixtures.h"

inline constexpr char kSymbolFillSource[] = "SYMBFILL";

// The engine keeps the current record version of every class it stores; the tests tell it the symbol fill's.
void RegisterSymbolFillVersions();

inline StyleComPtr<IJStyleSymbolFill> NewSymbolFill() {
  return StyleComPtr<IJStyleSymbolFill>(NewStyle<IJStyleSymbolFill>(CLSID_JStyleSymbolFill, IID_IJStyleSymbolFill));
}

// A slot whose values follow from n: colour n, angle n / 10, spacings n + 1 and n + 2, row shift n / 4, scale
// n + 0.5, offset (n, -n, 0); the word is n + 100.
SymbolSlotRecord Slot(DWORD n, IJGraphic* graphic = nullptr, DWORD id = 0);

// A graphic double of the description, of the point-symbol type, with one reference.
StyleComPtr<IJGraphic> SymbolFrom(host_app::GraphicElementSetup setup);
// A symbol drawing a segment from (x, 0) to (x, 1), with one reference. Symbols of one x compare equal.
StyleComPtr<IJGraphic> Symbol(double x, const std::vector<DWORD>& usedStyleIDs = {}, bool managed = true);

// Appends the slots in order.
void AddSlots(IJStyleSymbolFill* fill, const std::vector<SymbolSlotRecord>& slots);

// The fill's description; the caller gives it back with FreeSymbolFillData.
SymbolFillData AllOf(IJStyleSymbolFill* fill);
// The colour and the graphic ID of each slot, in order.
std::vector<DWORD> Colours(IJStyleSymbolFill* fill);
std::vector<DWORD> GraphicIDs(IJStyleSymbolFill* fill);
// Two descriptions with the same fields and slot records, graphic pointers included.
bool SameData(const SymbolFillData& a, const SymbolFillData& b);
// The identity of the graphic a slot answers.
IUnknown* GraphicOf(IJStyleSymbolFill* fill, LONG slot);

// ---- symbols that draw into a capture ----

// An attribute style of a symbol: answers its render table's variant and its kind as set, and records each piece
// it is asked to draw with the render record's colour and flags.
class AttributeStyle final : public IJStyleRender {
 public:
  struct Piece {
    WORD type;
    std::vector<double> xy;  // x, y per point
    DWORD colour, flags;
  };
  AttributeStyle(DWORD variant, DWORD kind, HRESULT kindAnswer = S_OK)
      : m_variant(variant), m_kind(kind), m_kindAnswer(kindAnswer) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  DWORD STDMETHODCALLTYPE GetVariant() override { return m_variant; }
  HRESULT STDMETHODCALLTYPE GetRangeWithContext(StyleExtent*, const RenderContextScales*, IJStyleRender*,
                                                const tagStyleOverride*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetReferencedStyle(IUnknown*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetStyleKind(DWORD* out) override {
    *out = m_kind;
    return m_kindAnswer;
  }
  HRESULT STDMETHODCALLTYPE GetReferencedStyle(IJStyleRender**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFixedQuery1(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFixedQuery2(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFixedQuery3(DWORD, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RenderWithContext(const StyleGeometryRecord* geometry, IRenderTarget2d*,
                                              const RenderContextScales*, IJStyleRender*,
                                              const tagStyleOverride* record, const StyleElementRecord*) override;
  HRESULT STDMETHODCALLTYPE GetExtentDelta(StyleExtent*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ApplyToGraphic(tagStyleOverride*) override { return E_NOTIMPL; }
  LONG refs = 1;
  std::vector<Piece> drawn;

 private:
  DWORD m_variant, m_kind;
  HRESULT m_kindAnswer;
};

host_app::CaptureStep Attributes(IJStyleRender* style, DWORD mode = 0, DWORD code = kSymbolAttributesStyle,
                                 DWORD id = 0);
host_app::CaptureStep NullAttributes();
// A primitive of the points (x, y per point).
host_app::CaptureStep Primitive(std::vector<double> xy, bool oneOutline = false, DWORD count = 0);
// A symbol that runs the steps when it draws into a capture, with one reference.
StyleComPtr<IJGraphic> Scripted(std::vector<host_app::CaptureStep> steps, std::vector<HRESULT>* answers = nullptr,
                                HRESULT drawResult = S_OK);

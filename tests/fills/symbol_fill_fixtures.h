// What the symbol fill tests share: fills made by stylesrv.dll's class object, slot records that tell apart by
// their colour, and the host's graphic doubles as the symbols, kept in style libraries as point symbols.
#pragma once

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

#include "tests/fills/symbol_fill_fixtures.h"

void RegisterSymbolFillVersions() {
  RegisterHatchVersions();
  ArchiveRegisterClassVersion(&CLSID_JStyleSymbolFill, 2);
}

SymbolSlotRecord Slot(DWORD n, IJGraphic* graphic, DWORD id) {
  const double v = n;
  return {n, n + 100, v / 10, v + 1, v + 2, v / 4, 0.0, v + 0.5, v, -v, 0.0, graphic, id};
}

StyleComPtr<IJGraphic> SymbolFrom(host_app::GraphicElementSetup setup) {
  setup.category = STYLETYPE_PointSymbol;
  StyleComPtr<IUnknown> element(host_app::CreateGraphicElement(setup));
  return Query<IJGraphic>(element.Get(), IID_IJGraphic);
}

StyleComPtr<IJGraphic> Symbol(double x, const std::vector<DWORD>& usedStyleIDs, bool managed) {
  host_app::GraphicElementSetup setup;
  setup.points = {x, 0, 0, x, 1, 0};
  setup.styleUser = true;
  setup.usedStyleIDs = usedStyleIDs;
  setup.managed = managed;
  return SymbolFrom(setup);
}

void AddSlots(IJStyleSymbolFill* fill, const std::vector<SymbolSlotRecord>& slots) {
  for (const SymbolSlotRecord& slot : slots) {
    DWORD index = 0;
    EXPECT_EQ(fill->AddSlot(&slot, &index), S_OK);
  }
}

SymbolFillData AllOf(IJStyleSymbolFill* fill) {
  SymbolFillData data{};
  EXPECT_EQ(fill->GetAllSlots(&data), S_OK);
  return data;
}

namespace {

std::vector<DWORD> SlotField(IJStyleSymbolFill* fill, DWORD SymbolSlotRecord::*field) {
  SymbolFillData data = AllOf(fill);
  std::vector<DWORD> values;
  for (LONG i = 0; i <= data.highestSlot; ++i) values.push_back(data.slots[i]->*field);
  FreeSymbolFillData(&data);
  return values;
}

}  // namespace

std::vector<DWORD> Colours(IJStyleSymbolFill* fill) { return SlotField(fill, &SymbolSlotRecord::color); }
std::vector<DWORD> GraphicIDs(IJStyleSymbolFill* fill) { return SlotField(fill, &SymbolSlotRecord::graphicID); }

// Neither record has padding: their bytes compare, pointers included.
bool SameData(const SymbolFillData& a, const SymbolFillData& b) {
  if (std::memcmp(&a, &b, offsetof(SymbolFillData, slots)) != 0 || !a.slots != !b.slots) return false;
  for (LONG i = 0; i < a.slotCapacity; ++i) {
    if (!a.slots[i] != !b.slots[i]) return false;
    if (a.slots[i] && std::memcmp(a.slots[i], b.slots[i], sizeof(SymbolSlotRecord)) != 0) return false;
  }
  return true;
}

IUnknown* GraphicOf(IJStyleSymbolFill* fill, LONG slot) {
  StyleComPtr<IJGraphic> graphic;
  EXPECT_EQ(fill->GetSlotGraphic(slot, graphic.Put()), S_OK);
  return styllib_test::IdentityOf(graphic.Get());
}

HRESULT STDMETHODCALLTYPE AttributeStyle::QueryInterface(REFIID iid, void** out) {
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IJStyleRender)) return E_NOINTERFACE;
  *out = this;
  AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE AttributeStyle::RenderWithContext(const StyleGeometryRecord* geometry, IRenderTarget2d*,
                                                            const RenderContextScales*, IJStyleRender*,
                                                            const tagStyleOverride* record,
                                                            const StyleElementRecord*) {
  Piece piece{geometry->type, {}, record->colour, record->flags};
  const auto* p = static_cast<const double*>(geometry->pointList->points);
  for (DWORD i = 0; i < geometry->pointList->count; ++i) piece.xy.insert(piece.xy.end(), {p[3 * i], p[3 * i + 1]});
  drawn.push_back(piece);
  return S_OK;
}

host_app::CaptureStep Attributes(IJStyleRender* style, DWORD mode, DWORD code, DWORD id) {
  host_app::CaptureStep step;
  step.kind = host_app::CaptureStep::Attributes;
  step.attributes = {code, mode, style, id};
  return step;
}

host_app::CaptureStep NullAttributes() {
  host_app::CaptureStep step;
  step.kind = host_app::CaptureStep::NullAttributes;
  return step;
}

host_app::CaptureStep Primitive(std::vector<double> xy, bool oneOutline, DWORD count) {
  host_app::CaptureStep step;
  for (std::size_t i = 0; i + 1 < xy.size(); i += 2) step.points.insert(step.points.end(), {xy[i], xy[i + 1], 0.0});
  step.oneOutline = oneOutline;
  step.count = count;
  return step;
}

StyleComPtr<IJGraphic> Scripted(std::vector<host_app::CaptureStep> steps, std::vector<HRESULT>* answers,
                                HRESULT drawResult) {
  host_app::GraphicElementSetup setup;
  setup.capture = std::move(steps);
  setup.answers = answers;
  setup.drawResult = drawResult;
  setup.managed = true;
  return SymbolFrom(std::move(setup));
}

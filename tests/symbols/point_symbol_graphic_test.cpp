// The point symbol as a graphic and as a measured style: the proxy's operations, the owner announced to the
// symbol, the extents the symbol's reach adds, and the operations at their places in the tables.
#include <cmath>

#include "display/style/styles/JStylePointSymbol.h"
#include "tests/symbols/point_symbol_fixtures.h"

using ::testing::ElementsAre;

namespace symbols_test {
namespace {

// An element whose range is the box (-4, -1)-(3, 2) and whose extent record is {5, 0.25, 0.5}.
IUnknown* BoxedElement(bool styleUser = false) {
  host_app::GraphicElementSetup setup;
  setup.points = {-4, -1, 0, 3, 2, 0};
  setup.range = {-4, -1, 0, 3, 2, 0};
  setup.extent = {5, 0.25, 0.5};
  setup.styleUser = styleUser;
  return host_app::CreateGraphicElement(setup);
}

TEST_F(PointSymbolTest, TheProxyPassesItsOperationsToTheSymbol) {
  PointSymbol symbol(server);
  IUnknown* element = Hold(BoxedElement());
  ASSERT_EQ(symbol.style->SetGraphic(element), S_OK);
  DWORD type = 0;
  EXPECT_EQ(CallSlot(symbol.graphic.Get(), 3, &type), S_OK);
  EXPECT_EQ(type, 1u);  // the element's answer
  GraphicRange range{};
  StyleExtent extent{};
  EXPECT_EQ(CallSlot(symbol.graphic.Get(), 6, &range, &extent), S_OK);
  EXPECT_EQ(range.xmin, -4);
  EXPECT_EQ(extent.value, 5u);
  GraphicDrawContext context{};
  EXPECT_EQ(CallSlot(symbol.graphic.Get(), 5, &context), S_OK);
  EXPECT_THAT(host_app::ElementsCalled(host_app::ElementOp::Draw), ElementsAre(IdentityOf(element)));

  // The style is not its own symbol.
  EXPECT_EQ(symbol.style->SetGraphic(symbol.unknown.Get()), E_INVALIDARG);
  StyleComPtr<IJGraphic> kept;
  EXPECT_EQ(symbol.style->GetGraphic(kept.Put()), S_OK);
  EXPECT_EQ(IdentityOf(kept.Get()), IdentityOf(element));
}

TEST_F(PointSymbolTest, TheOwnerIsAnnouncedOncePerSymbol) {
  PointSymbol symbol(server);
  StyleComPtr<RecordingLibrarian> owner(RecordingLibrarian::Create());
  owner->Add(symbol.unknown.Get());
  IUnknown* first = Hold(BoxedElement(true));
  ASSERT_EQ(symbol.style->SetGraphic(first), S_OK);
  const Points points = Points::Plain({0, 0, 0, 1, 1, 0});
  for (int i = 0; i < 2; ++i) ASSERT_EQ(Draw(symbol.render.Get(), points, Context(1.0)), S_OK);
  GraphicDrawContext context{};
  ASSERT_EQ(symbol.graphic->Draw(&context), S_OK);
  // A new symbol hears of the owner too.
  IUnknown* second = Hold(BoxedElement(true));
  ASSERT_EQ(symbol.style->SetGraphic(second), S_OK);
  ASSERT_EQ(Draw(symbol.render.Get(), points, Context(1.0)), S_OK);
  std::vector<std::pair<IUnknown*, const void*>> announced;
  for (const host_app::ElementCall& call : host_app::ElementCalls()) {
    if (call.op == host_app::ElementOp::AnnounceOwner) announced.emplace_back(call.element, call.argument);
  }
  const void* librarian = owner->Librarian();
  EXPECT_THAT(announced, ElementsAre(std::make_pair(IdentityOf(first), librarian),
                                     std::make_pair(IdentityOf(second), librarian)));
}

TEST_F(PointSymbolTest, ExtentsGrowByTheSymbolsReachInTheUnitsField) {
  PointSymbol symbol(server);
  ASSERT_EQ(symbol.style->SetGraphic(Hold(BoxedElement())), S_OK);
  const double reach = std::sqrt(20.0);
  const struct {
    DWORD units;
    StyleExtent delta;   // from {10, 1, 1} through GetExtentDelta
    StyleExtent record;  // from {10, 1, 1} through the range: the own extent merged by maximum
  } cases[] = {
      {13, {14, 1, 1}, {14, 1, 1}},  // r + 2·5 = 14.47 truncated; the merge keeps the larger
      {11, {10, 1 + reach, 1}, {10, reach + 0.5, 1}},
      {12, {10, 1, 1 + reach}, {10, 1, reach + 1.0}},
      {14, {10, 1, 1}, {10, 1, 1}},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(symbol.style->SetUnits(c.units), S_OK);
    StyleExtent delta{10, 1, 1};
    ASSERT_EQ(symbol.render->GetExtentDelta(&delta), S_OK);
    EXPECT_EQ(delta.value, c.delta.value) << c.units;
    EXPECT_DOUBLE_EQ(delta.first, c.delta.first) << c.units;
    EXPECT_DOUBLE_EQ(delta.second, c.delta.second) << c.units;
    StyleExtent ranged{10, 1, 1};
    const RenderContextScales context = Context(1.0);
    ASSERT_EQ(symbol.render->GetRangeWithContext(&ranged, &context, nullptr, nullptr), S_OK);
    EXPECT_EQ(ranged.value, c.record.value) << c.units;
    EXPECT_DOUBLE_EQ(ranged.first, c.record.first) << c.units;
    EXPECT_DOUBLE_EQ(ranged.second, c.record.second) << c.units;
  }
  EXPECT_EQ(symbol.style->SetUnits(15), E_INVALIDARG);
  DWORD units = 0;
  EXPECT_EQ(symbol.style->GetUnits(&units), S_OK);
  EXPECT_EQ(units, 14u);

  // Without a symbol the extent stays as it was.
  ASSERT_EQ(symbol.style->SetGraphic(nullptr), S_OK);
  StyleExtent untouched{7, 2, 3};
  EXPECT_EQ(symbol.render->GetExtentDelta(&untouched), S_OK);
  EXPECT_EQ(untouched.value, 7u);
  EXPECT_EQ(untouched.first, 2.0);
}

TEST_F(PointSymbolTest, OperationsSitAtTheirPlaces) {
  PointSymbol symbol(server);
  IUnknown* element = Hold(BoxedElement());
  void* itf = symbol.style.Get();
  EXPECT_EQ(CallSlot(itf, 3, element), S_OK);
  IJGraphic* got = nullptr;
  EXPECT_EQ(CallSlot(itf, 4, &got), S_OK);
  EXPECT_EQ(IdentityOf(got), IdentityOf(element));
  got->Release();
  EXPECT_EQ(CallSlot(itf, 4, static_cast<IJGraphic**>(nullptr)), E_INVALIDARG);
  EXPECT_EQ(CallSlot(itf, 5, DWORD{11}), S_OK);
  DWORD value = 0;
  EXPECT_EQ(CallSlot(itf, 6, &value), S_OK);
  EXPECT_EQ(value, 11u);
  EXPECT_EQ(CallSlot(itf, 8, DWORD{0x55}), S_OK);
  EXPECT_EQ(CallSlot(itf, 7, &value), S_OK);
  EXPECT_EQ(value, 0x55u);
  EXPECT_EQ(CallSlot(itf, 7, static_cast<DWORD*>(nullptr)), S_OK);

  // The filter, reached only through the draw context.
  StyleComPtr<IUnknown> filter;
  EXPECT_EQ(symbol.unknown->QueryInterface(IID_IJStylePointSymbolFilter, filter.PutVoid()), E_NOINTERFACE);
  auto* style = AsStyle<JStylePointSymbol>(symbol.unknown.Get());
  void* imp = &style->m_IJStylePointSymbolFilterImp;
  StylePointSymbolFilterBlock* block = nullptr;
  EXPECT_EQ(CallSlot(imp, 3, &block), S_OK);
  EXPECT_EQ(block, &style->FilterBlock());
  EXPECT_EQ(CallSlot(imp, 4), E_NOTIMPL);

  // The element display's places, as the style calls them.
  StyleComPtr<IJElementDisplay> display;
  StyleComPtr<IJElementDisplayScope> scope;
  ASSERT_EQ(target.target()->QueryInterface(IID_IJElementDisplay, display.PutVoid()), S_OK);
  ASSERT_EQ(target.target()->QueryInterface(IID_IJElementDisplayScope, scope.PutVoid()), S_OK);
  const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  EXPECT_EQ(CallSlot(display.Get(), 3, identity, DWORD{1}), S_OK);
  EXPECT_EQ(CallSlot(display.Get(), 5), S_OK);
  EXPECT_EQ(CallSlot(scope.Get(), 21, symbol.unknown.Get()), S_OK);
  EXPECT_EQ(CallSlot(scope.Get(), 22), S_OK);
  EXPECT_THAT(target.Names(), ElementsAre("BeginPlacement", "EndPlacement", "BeginOwner", "EndOwner"));
}

}  // namespace
}  // namespace symbols_test

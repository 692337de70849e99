// Drawing a point symbol: the element display's calls in order, the placement of each symbol, the filter block
// and draw context the symbol sees, failures part way, the placeholder for a lost symbol, and refused input.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "tests/symbols/point_symbol_fixtures.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using stylesrv_test::Reports;

namespace symbols_test {
namespace {

// A symbol that keeps what each Draw was handed: the draw context's words 400 to 436 and the filter block, and
// that fails the Draw of a chosen number.
class ProbeSymbol final : public IJGraphic {
 public:
  struct Seen {
    BYTE words[40];  // bytes 400 to 439 of the context
    bool filter = false;
    StylePointSymbolFilterBlock block{};
  };
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IJGraphic)) return E_NOINTERFACE;
    *out = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE GetGraphicType(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Notify(DWORD, DWORD, DWORD, IUnknown*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Draw(GraphicDrawContext* context) override {
    Seen s;
    std::memcpy(s.words, reinterpret_cast<const BYTE*>(context) + 400, sizeof s.words);
    if (context->filter) {
      StylePointSymbolFilterBlock* block = nullptr;
      s.filter = static_cast<IJStylePointSymbolFilter*>(context->filter)->GetFilterBlock(&block) == S_OK;
      if (block) s.block = *block;
    }
    seen.push_back(s);
    return static_cast<int>(seen.size()) == failAt ? failure : S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetRange(GraphicRange*, StyleExtent*) override { return S_OK; }

  std::vector<Seen> seen;
  int failAt = 0;
  HRESULT failure = E_ABORT;
  ULONG refs = 1;
};

template <class T>
T WordAt(const BYTE* words, std::size_t byte) {
  T value;
  std::memcpy(&value, words + byte - 400, sizeof value);
  return value;
}

std::vector<double> Scaling(double s, double x, double y, double z) {
  return {s, 0, 0, 0, 0, s, 0, 0, 0, 0, s, 0, x, y, z, 1};
}

TEST_F(PointSymbolTest, OwnerScopeThenOnePlacedDrawPerPoint) {
  PointSymbol symbol(server);
  StyleComPtr<RecordingLibrarian> owner(RecordingLibrarian::Create());
  owner->Add(symbol.unknown.Get());
  // The symbol draws the segment from (0, 0) to (1, 0).
  ASSERT_EQ(symbol.style->SetGraphic(Definition({Element({0, 0, 0, 1, 0, 0})})), S_OK);

  ASSERT_EQ(Draw(symbol.render.Get(), Points::Plain({4, 5, 6, 0, 0, 0}), Context(2.0)), S_OK);
  EXPECT_THAT(target.Names(), ElementsAre("BeginOwner", "BeginPlacement", "DrawPolyline", "EndPlacement",
                                          "BeginPlacement", "DrawPolyline", "EndPlacement", "EndOwner"));
  const std::vector<SitheCall> calls = target.Calls();
  EXPECT_EQ(calls[0].u[0], static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(owner->Librarian())));
  EXPECT_EQ(calls[1].u[0], 1u);
  EXPECT_THAT(Placements(), ElementsAre(Scaling(2, 4, 5, 6), Scaling(2, 0, 0, 0)));

  // Oriented: turned first, then scaled, then moved.
  target.recording()->Clear();
  ASSERT_EQ(Draw(symbol.render.Get(), Points::Oriented({10, 20, 0, 0, 1}), Context(2.0)), S_OK);
  double drawn[6] = {};
  ASSERT_EQ(target.recording()->GetCallPoints(2, 2, drawn), S_OK);
  const double expected[6] = {10, 20, 0, 10, 22, 0};
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(drawn[k], expected[k], 1e-12) << k;

  // Without an owner there is no owner scope; a record's scale multiplies the symbol's.
  PointSymbol free(server);
  ASSERT_EQ(free.style->SetGraphic(Element()), S_OK);
  target.recording()->Clear();
  tagStyleOverride record{};
  record.recordCode = kStyleOverrideRecordCode;
  record.flags = OVR_SCALE;
  record.scaleFactor = 0.5;
  ASSERT_EQ(Draw(free.render.Get(), Points::Plain({1, 2, 3}), Context(2.0), &record), S_OK);
  EXPECT_THAT(target.Names(), ElementsAre("BeginPlacement", "DrawPolyline", "EndPlacement"));
  EXPECT_THAT(Placements(), ElementsAre(Scaling(1, 1, 2, 3)));
}

TEST_F(PointSymbolTest, TheSymbolSeesTheDrawContextAndTheFilterBlock) {
  ProbeSymbol probe;
  PointSymbol symbol(server);
  ASSERT_EQ(symbol.style->SetGraphic(&probe), S_OK);
  const Points turning = Points::Oriented({0, 0, 0, 0, 1, 5, 0, 0, 1, 0});

  // Without a record: the first oriented point's angle is stored, the second keeps it.
  ASSERT_EQ(Draw(symbol.render.Get(), turning, Context(1.0)), S_OK);
  ASSERT_EQ(probe.seen.size(), 2u);
  for (const ProbeSymbol::Seen& s : probe.seen) {
    EXPECT_EQ(WordAt<DWORD>(s.words, 400), 1u);
    EXPECT_NE(WordAt<IUnknown*>(s.words, 404), nullptr);
    EXPECT_TRUE(IsEqualIID(*WordAt<const IID*>(s.words, 408), IID_IJElementDisplay));
    EXPECT_EQ(WordAt<DWORD>(s.words, 412), 0u);
    EXPECT_TRUE(IsEqualIID(*WordAt<const IID*>(s.words, 416), IID_IUnknown));
    EXPECT_TRUE(IsEqualIID(*WordAt<const IID*>(s.words, 424), IID_IJStylePointSymbolFilter));
    for (std::size_t at : {428u, 432u, 436u}) EXPECT_EQ(WordAt<DWORD>(s.words, at), 0u) << at;
    ASSERT_TRUE(s.filter);
    EXPECT_EQ(s.block.code, 22u);
    EXPECT_EQ(s.block.version, 2u);
    EXPECT_EQ(s.block.record.flags, DWORD{OVR_ROTATION});
    EXPECT_DOUBLE_EQ(s.block.record.rotationAngle, M_PI / 2);
  }
  // A later render without a record clears the flag first, so its own first angle counts.
  probe.seen.clear();
  ASSERT_EQ(Draw(symbol.render.Get(), Points::Oriented({0, 0, 0, -1, 0}), Context(1.0)), S_OK);
  EXPECT_DOUBLE_EQ(probe.seen.at(0).block.record.rotationAngle, M_PI);

  // A caller's record that carries an angle keeps it; plain points without a record get no filter.
  probe.seen.clear();
  tagStyleOverride record{};
  record.recordCode = kStyleOverrideRecordCode;
  record.flags = OVR_ROTATION | OVR_COLOUR;
  record.rotationAngle = 0.25;
  record.colour = 0x123456;
  ASSERT_EQ(Draw(symbol.render.Get(), turning, Context(1.0), &record), S_OK);
  EXPECT_DOUBLE_EQ(probe.seen.at(1).block.record.rotationAngle, 0.25);
  EXPECT_EQ(probe.seen.at(1).block.record.colour, 0x123456u);
  probe.seen.clear();
  ASSERT_EQ(Draw(symbol.render.Get(), Points::Plain({0, 0, 0}), Context(1.0)), S_OK);
  EXPECT_FALSE(probe.seen.at(0).filter);
  EXPECT_EQ(WordAt<IUnknown*>(probe.seen.at(0).words, 420), nullptr);

  ASSERT_EQ(symbol.style->SetGraphic(nullptr), S_OK);
  EXPECT_EQ(probe.refs, 1u);  // every reference the drawing took is back
}

TEST_F(PointSymbolTest, AFailingDrawStopsAtItsPointAndTheScopesStillClose) {
  ProbeSymbol probe;
  probe.failAt = 2;
  PointSymbol symbol(server);
  StyleComPtr<RecordingLibrarian> owner(RecordingLibrarian::Create());
  owner->Add(symbol.unknown.Get());
  ASSERT_EQ(symbol.style->SetGraphic(&probe), S_OK);
  EXPECT_EQ(Draw(symbol.render.Get(), Points::Plain({0, 0, 0, 1, 0, 0, 2, 0, 0}), Context(1.0)), E_ABORT);
  EXPECT_EQ(probe.seen.size(), 2u);
  EXPECT_THAT(target.Names(), ElementsAre("BeginOwner", "BeginPlacement", "EndPlacement", "BeginPlacement",
                                          "EndPlacement", "EndOwner"));
  EXPECT_THAT(Reports(), testing::Contains(testing::Field(&PellowReport::hr, E_ABORT)));
  ASSERT_EQ(symbol.style->SetGraphic(nullptr), S_OK);
}

TEST_F(PointSymbolTest, ALostSymbolIsDrawnAndAnsweredAsThePlaceholder) {
  ClusterDocument document;
  PointSymbol symbol(server);
  document.Register(symbol.unknown.Get());
  IUnknown* element = Element();
  document.Register(element);
  ASSERT_EQ(symbol.style->SetGraphic(element), S_OK);
  const Points points = Points::Plain({1, 1, 0, 3, 4, 0});
  ASSERT_EQ(Draw(symbol.render.Get(), points, Context(2.0)), S_OK);
  const std::vector<std::vector<double>> placed = Placements();

  // The document loses the element; a load that drops cached references makes the style look for it again.
  TestArchive archive(ARCHIVE_STORING);
  ASSERT_EQ(symbol.persist->Store(archive.get()), S_OK);
  ASSERT_EQ(ReleaseEntryInDocument(document.get(), element), S_OK);
  archive.Reload(ARCHIVE_DROP_CACHED);
  ASSERT_EQ(symbol.persist->Load(archive.get()), S_OK);

  StyleComPtr<IJGraphic> got;
  EXPECT_EQ(symbol.style->GetGraphic(got.Put()), S_FALSE);
  EXPECT_EQ(got.Get(), nullptr);
  DWORD type = 0;
  EXPECT_EQ(symbol.graphic->GetGraphicType(&type), S_OK);
  EXPECT_EQ(type, 10u);  // the placeholder's

  target.recording()->Clear();
  ASSERT_EQ(Draw(symbol.render.Get(), points, Context(2.0)), S_OK);
  EXPECT_EQ(Placements(), placed);
  // The placeholder's square, placed: its first corner at each point, its side 0.01 scaled by 2.
  std::vector<double> corners;
  for (DWORD i = 0; i < target.recording()->CallCount(); ++i) {
    SitheCall call{};
    target.recording()->GetCall(i, &call);
    if (call.slot != 14 || call.itf != SITHE_RENDER_TARGET) continue;
    std::vector<double> square(3 * call.pointCount);
    target.recording()->GetCallPoints(i, call.pointCount, square.data());
    corners.insert(corners.end(), {square[0], square[1], square[6] - square[0], square[7] - square[1]});
  }
  const double expected[] = {1, 1, 0.02, 0.02, 3, 4, 0.02, 0.02};
  ASSERT_EQ(corners.size(), std::size(expected));
  for (std::size_t k = 0; k < corners.size(); ++k) EXPECT_NEAR(corners[k], expected[k], 1e-12) << k;
}

TEST_F(PointSymbolTest, BadInputIsRefusedAndNothingToDrawIsNoFailure) {
  PointSymbol symbol(server);
  const Points one = Points::Plain({0, 0, 0});
  // No symbol: nothing is drawn, and the style as a graphic has nothing to pass on.
  EXPECT_EQ(Draw(symbol.render.Get(), one, Context(1.0)), S_OK);
  EXPECT_EQ(target.recording()->CallCount(), 0u);
  EXPECT_EQ(symbol.graphic->Draw(nullptr), E_FAIL);
  StyleComPtr<IJGraphic> none;
  EXPECT_EQ(symbol.style->GetGraphic(none.Put()), S_OK);
  EXPECT_EQ(none.Get(), nullptr);

  ASSERT_EQ(symbol.style->SetGraphic(Element()), S_OK);
  const RenderContextScales context = Context(1.0);
  StyleElementRecord element{};
  element.display = target.target();
  StyleElementRecord noDisplay{};
  StyleGeometryRecord noList{};
  Points empty = Points::Plain({});
  Points pointless = Points::Plain({0, 0, 0});
  pointless.run.points = nullptr;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  tagStyleOverride nanScale{};
  nanScale.flags = OVR_SCALE;
  nanScale.scaleFactor = nan;
  const Points nanPoint = Points::Plain({0, nan, 0});
  const Points endlessDirection = Points::Oriented({0, 0, 0, INFINITY, 0});
  const struct {
    const StyleGeometryRecord* geometry;
    const StyleElementRecord* element;
    const tagStyleOverride* record;
    HRESULT expected;
  } cases[] = {
      {nullptr, &element, nullptr, E_INVALIDARG},
      {&noList, &element, nullptr, E_INVALIDARG},
      {&one.record, nullptr, nullptr, E_INVALIDARG},
      {&one.record, &noDisplay, nullptr, E_INVALIDARG},
      {&pointless.record, &element, nullptr, E_INVALIDARG},
      {&one.record, &element, &nanScale, E_INVALIDARG},
      {&nanPoint.record, &element, nullptr, E_INVALIDARG},
      {&endlessDirection.record, &element, nullptr, E_INVALIDARG},
      {&empty.record, &element, nullptr, S_OK},
  };
  for (const auto& c : cases) {
    target.recording()->Clear();
    stylesrv_test::ClearReports();
    EXPECT_EQ(symbol.render->RenderWithContext(c.geometry, target.target(), &context, nullptr, c.record, c.element),
              c.expected);
    EXPECT_EQ(target.recording()->CallCount(), 0u);
    EXPECT_EQ(Reports().size(), c.expected == S_OK ? 0u : 1u);
  }

  // A display object that does not place symbols.
  StyleComPtr<IUnknown> notADisplay(host_app::CreatePolylineElement({}));
  element.display = notADisplay.Get();
  EXPECT_EQ(symbol.render->RenderWithContext(&one.record, target.target(), &context, nullptr, nullptr, &element),
            E_NOINTERFACE);
}

}  // namespace
}  // namespace symbols_test

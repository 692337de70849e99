// Capture of a slot's symbol: the primitives a scripted symbol hands to the fill's geometry interface as pieces
// with their attribute styles, the attributes the callback takes, the display pass around the symbol's drawing
// and the thread's capture context, and the capture interfaces at their places.
#include <cfloat>
#include <limits>

#include "tests/fills/symbol_fill_fixtures.h"
#include "tests/text/text_fixtures.h"

using host_app::CaptureStep;
using stylesrv_test::CallSlot;
using stylesrv_test::IdentityOf;
using stylesrv_test::IsReport;
using stylesrv_test::Reports;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

CaptureStep Hook(std::function<void()> hook) {
  CaptureStep step;
  step.kind = CaptureStep::Hook;
  step.hook = std::move(hook);
  return step;
}

constexpr double kSep = DBL_MAX;
const std::vector<double> kSquare = {0, 0, 1, 0, 1, 1, 0, 1};

std::vector<double> Join(std::initializer_list<std::vector<double>> parts) {
  std::vector<double> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

JStyleSymbolFill* ObjectOf(IJStyleSymbolFill* fill) { return AsStyle<JStyleSymbolFill>(IdentityOf(fill)); }

// The stored point counts of a slot's pieces, with their styles.
struct Pieces {
  std::vector<LONG> open, closed;
  std::vector<const void*> openStyles, closedStyles;
};
Pieces PiecesOf(const SymbolSlot* node) {
  Pieces pieces;
  for (const OpenPiece* p = node->openHead; p; p = p->next) {
    pieces.open.push_back(p->count);
    pieces.openStyles.push_back(p->style);
  }
  for (const ClosedPiece* p = node->closedHead; p; p = p->next) {
    pieces.closed.push_back(p->count);
    pieces.closedStyles.push_back(p->style);
  }
  EXPECT_EQ(node->openPieceCount, static_cast<LONG>(pieces.open.size()));
  EXPECT_EQ(node->closedPieceCount, static_cast<LONG>(pieces.closed.size()));
  return pieces;
}

class SymbolCaptureTest : public ::testing::Test {
 public:
  void SetUp() override {
    RegisterSymbolFillVersions();
    ASSERT_EQ(SitheCreateRecordingTarget(recording.Put()), S_OK);
    stylesrv_test::ClearReports();
    host_app::ClearElementCalls();
  }
  void TearDown() override {
    EXPECT_EQ(host_app::LiveObjects(), 0) << "a symbol is still held";
    EXPECT_EQ(GetStyleBlock()->symbolFillContext, nullptr);
  }
  StyleTlsBlock* GetStyleBlock() { return server.internals().GetStyleTlsBlock(); }
  HRESULT Capture(IJStyleSymbolFill* fill, LONG slot, double scale = 1.0) {
    return server.internals().CaptureSymbolSlot(fill, slot, recording.Get(), scale);
  }
  // A fill with one slot of the symbol.
  static StyleComPtr<IJStyleSymbolFill> FillOf(IJGraphic* symbol) {
    StyleComPtr<IJStyleSymbolFill> fill = NewSymbolFill();
    AddSlots(fill.Get(), {Slot(1, symbol)});
    return StyleComPtr<IJStyleSymbolFill>(fill.Detach());
  }
  std::vector<SitheCall> DisplayCalls() {
    std::vector<SitheCall> calls;
    for (DWORD i = 0; i < recording->CallCount(); ++i) {
      SitheCall call{};
      recording->GetCall(i, &call);
      if (call.itf != SITHE_RENDER_TARGET) calls.push_back(call);
    }
    return calls;
  }

  stylesrv_test::ServerModule server;
  StyleComPtr<ISitheRecording> recording;
};

TEST_F(SymbolCaptureTest, PrimitivesBecomePiecesByTheirMode) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  AttributeStyle area(1, STYLE_KIND_FILL), line(1, STYLE_KIND_LINE), prerender(2, STYLE_KIND_FILL),
      text(1, STYLE_KIND_TEXT), failing(1, STYLE_KIND_FILL, E_ACCESSDENIED);
  CaptureStep unlisted = Primitive(kSquare);
  unlisted.withoutPointList = true;
  struct Case {
    const char* name;
    std::vector<CaptureStep> steps;
    std::vector<HRESULT> answers;
    Pieces expected;
    LONG maxPoints = 0;
    int failAt = 0;  // the allocation of the fill code that fails
  };
  const Case cases[] = {
      {"a square of 4 points is closed", {Attributes(&area), Primitive(kSquare, true)}, {S_OK, S_OK},
       {{}, {5}, {}, {&area}}, 4},
      {"a square that repeats its first point", {Attributes(&area), Primitive(Join({kSquare, {0, 0}}), true)},
       {S_OK, S_OK}, {{}, {5}, {}, {&area}}, 5},
      {"outlines split at +DBL_MAX, runs of 2 dropped",
       {Attributes(&area), Primitive(Join({{0, 0, 1, 0, 0, 1}, {kSep, 0}, {5, 5, 6, 6}, {kSep, 9}, kSquare}))},
       {S_OK, S_OK}, {{}, {4, 5}, {}, {&area, &area}}, 4},
      {"a primitive without point list", {unlisted}, {E_INVALIDARG}, {}},
      {"lines need 2 points", {Attributes(&line), Primitive({0, 0, 1, 1}), Primitive({0, 0})},
       {S_OK, S_OK, E_INVALIDARG}, {{2}, {}, {&line}, {}}, 2},
      {"areas need 3 points", {Attributes(&area), Primitive({0, 0, 1, 1}, true)}, {S_OK, E_INVALIDARG}, {}},
      {"a prerendering style draws plain lines", {Attributes(&prerender), Primitive(kSquare, true)}, {S_OK, S_OK},
       {{4}, {}, {nullptr}, {}}, 4},
      {"another kind captures nothing", {Attributes(&text), Primitive(kSquare, true)}, {S_OK, S_OK}, {}},
      {"the record's mode before the kind", {Attributes(&line, 3), Primitive(kSquare, true)}, {S_OK, S_OK},
       {{}, {5}, {}, {&line}}, 4},
      {"null attributes are plain lines", {Attributes(&area), NullAttributes(), Primitive({0, 0, 1, 1})},
       {S_OK, S_OK, S_OK}, {{2}, {}, {nullptr}, {}}, 2},
      {"a kind that cannot be asked", {Attributes(&failing), Primitive({0, 0, 1, 1})}, {S_OK, E_ACCESSDENIED}, {}},
      {"damaged coordinates add nothing",
       {Primitive({0, 0, nan, 1}), Primitive({0, 0, 1, HUGE_VAL}), Primitive({-1e308, 0, 1e308, 0}),
        Attributes(&area), Primitive(Join({kSquare, {kSep, 0, 0, nan, 1, 1, 2, 2}}))},
       {E_INVALIDARG, E_INVALIDARG, E_INVALIDARG, S_OK, E_INVALIDARG}, {}},
      {"a count whose copy overflows", {Primitive({0, 0, 1, 1}, false, 0x0AAAAAAB)}, {E_OUTOFMEMORY}, {}},
      {"points that cannot be allocated", {Primitive({0, 0, 1, 1})}, {E_OUTOFMEMORY}, {{0}, {}, {nullptr}, {}}, 0, 2},
      {"a piece that cannot be allocated", {Primitive({0, 0, 1, 1})}, {E_OUTOFMEMORY}, {}, 0, 1},
  };
  for (const Case& c : cases) {
    std::vector<HRESULT> answers;
    StyleComPtr<IJGraphic> symbol = Scripted(c.steps, &answers);
    StyleComPtr<IJStyleSymbolFill> fill = FillOf(symbol.Get());
    server.internals().FillAllocFailAt(c.failAt);
    EXPECT_EQ(Capture(fill.Get(), 0), S_OK) << c.name;
    server.internals().FillAllocFailAt(0);
    EXPECT_EQ(answers, c.answers) << c.name;
    const SymbolSlot* node = ObjectOf(fill.Get())->SlotNode(0);
    const Pieces pieces = PiecesOf(node);
    EXPECT_EQ(pieces.open, c.expected.open) << c.name;
    EXPECT_EQ(pieces.closed, c.expected.closed) << c.name;
    EXPECT_EQ(pieces.openStyles, c.expected.openStyles) << c.name;
    EXPECT_EQ(pieces.closedStyles, c.expected.closedStyles) << c.name;
    EXPECT_EQ(node->maxPiecePoints, c.maxPoints) << c.name;
    if (pieces.open.empty() && pieces.closed.empty()) {
      EXPECT_EQ(node->extent.width, 0.0) << c.name;
      EXPECT_EQ(node->extent.height, 0.0) << c.name;
    }
  }
  // Every piece gave its style back with the fills.
  for (const AttributeStyle* style : {&area, &line, &prerender, &text, &failing}) EXPECT_EQ(style->refs, 1);
  EXPECT_EQ(Reports().size(), 11u) << "each refused primitive is reported once";
}

// The symbol is captured through the display's transform; the box always holds the symbol's origin.
TEST_F(SymbolCaptureTest, PiecesAreScaledAndTheExtentHoldsTheOrigin) {
  AttributeStyle area(1, STYLE_KIND_FILL);
  StyleComPtr<IJGraphic> symbol =
      Scripted({Attributes(&area), Primitive({2, 3, 5, 3, 5, 7}, true), Primitive({1, 1, 2, 1}, true)});
  StyleComPtr<IJStyleSymbolFill> fill = FillOf(symbol.Get());
  ASSERT_EQ(Capture(fill.Get(), 0, 2.0), S_OK);
  const SymbolSlot* node = ObjectOf(fill.Get())->SlotNode(0);
  ASSERT_EQ(node->closedPieceCount, 1);  // the two-point outline is refused
  const double* p = node->closedHead->points;
  EXPECT_THAT(std::vector<double>(p, p + 12), ElementsAre(4, 6, 0, 10, 6, 0, 10, 14, 0, 4, 6, 0));
  const SymbolExtent& e = node->extent;
  EXPECT_THAT(std::vector<double>({e.xmin, e.ymin, e.xmax, e.ymax, e.width, e.height}),
              ElementsAre(0, 0, 10, 14, 10, 14));

  // A capture starts from nothing: the pieces of the one before are gone, and so is their box.
  ASSERT_EQ(Capture(fill.Get(), 0, 0.5), S_OK);
  EXPECT_EQ(node->closedPieceCount, 1);
  EXPECT_EQ(node->extent.xmax, 2.5);
  EXPECT_EQ(node->extent.height, 3.5);
}

// What each report of attributes leaves in the capture record, seen by the symbol right after it; a refused
// report changes nothing.
TEST_F(SymbolCaptureTest, TheCallbackTakesTheReportedAttributes) {
  styllib_test::TestLibrary library;
  const DWORD lineID = library.AddLine(L"L");
  AttributeStyle own(1, STYLE_KIND_FILL);
  std::vector<SymbolCaptureRecord> seen;
  JStyleSymbolFill* object = nullptr;
  const auto look = Hook([&] { seen.push_back(object->CaptureRecord()); });
  std::vector<HRESULT> answers;
  StyleComPtr<IJGraphic> symbol = Scripted({NullAttributes(), look, Attributes(&own, 3), look,
                                            Attributes(nullptr, 0, kSymbolAttributesStyleID, 999), look,
                                            Attributes(nullptr, 0, kSymbolAttributesStyleID, lineID), look,
                                            Primitive({0, 0, 1, 1}), Attributes(&own, 3, 7), look},
                                           &answers);
  const DWORD symbolID = AddTo(library, symbol.Get(), L"S", STYLETYPE_PointSymbol);
  StyleComPtr<IJStyleSymbolFill> fill = NewSymbolFill();
  AddTo(library, fill.Get(), nullptr, STYLETYPE_SymbolFillPattern);
  object = ObjectOf(fill.Get());
  AddSlots(fill.Get(), {Slot(1, nullptr, symbolID)});  // the symbol is fetched by its ID
  ASSERT_EQ(Capture(fill.Get(), 0), S_OK);

  StyleComPtr<IUnknown> lineStyle;
  ASSERT_EQ(library->GetStyle(lineID, lineStyle.Put()), S_OK);
  StyleComPtr<IJStyleRender> lineRender = Query<IJStyleRender>(lineStyle.Get(), IID_IJStyleRender);
  ASSERT_EQ(seen.size(), 5u);
  const struct {
    DWORD code, mode;
    const void* style;
  } expected[] = {{21, 2, nullptr}, {21, 3, &own}, {21, 3, &own}, {29, 0, lineRender.Get()}, {21, 2, nullptr}};
  for (std::size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].attributeCode, expected[i].code) << i;
    EXPECT_EQ(seen[i].captureMode, expected[i].mode) << i;
    EXPECT_EQ(static_cast<const void*>(seen[i].attributeStyle), expected[i].style) << i;
  }
  EXPECT_NE(answers[4], S_OK);  // ID 999 names no style
  // The line style's kind makes its primitive a line string drawn with it.
  const SymbolSlot* node = object->SlotNode(0);
  ASSERT_EQ(node->openPieceCount, 1);
  EXPECT_EQ(node->openHead->style, lineRender.Get());
  EXPECT_EQ(own.refs, 1) << "the record gives its style back when the pass ends";

  // With no fill capturing on the thread the callback has nothing to act on.
  stylesrv_test::ClearReports();
  EXPECT_EQ(object->CaptureRecord().callback(nullptr), E_UNEXPECTED);
  EXPECT_EQ(Reports().size(), 1u);
}

TEST_F(SymbolCaptureTest, TheCaptureInterfacesSitAtTheirPlaces) {
  StyleComPtr<IJStyleSymbolFill> fill = NewSymbolFill();
  JStyleSymbolFill* object = ObjectOf(fill.Get());
  void* geometry = &object->m_IJStyleSymbolFillGeometryImp;
  DWORD value = 0;
  EXPECT_EQ(CallSlot(geometry, 3), S_FALSE);
  EXPECT_EQ(CallSlot(geometry, 4, DWORD{1}, DWORD{2}, DWORD{3}, DWORD{4}), S_FALSE);
  EXPECT_EQ(CallSlot(geometry, 6, &value), S_OK);
  EXPECT_EQ(value, 2u);
  EXPECT_EQ(CallSlot(geometry, 8, &value), S_OK);
  EXPECT_EQ(value, 4u);
  for (int slot : {5, 7, 9, 10, 12, 13}) EXPECT_EQ(CallSlot(geometry, slot), E_NOTIMPL) << slot;
  EXPECT_EQ(CallSlot(geometry, 11, static_cast<const StyleGeometryRecord*>(nullptr), 0, 0, 0, 0, 0), E_INVALIDARG);

  void* filter = &object->m_IJStyleSymbolFillFilterImp;
  SymbolCaptureRecord* record = nullptr;
  EXPECT_EQ(CallSlot(filter, 3, static_cast<SymbolCaptureRecord**>(nullptr)), E_INVALIDARG);
  ASSERT_EQ(CallSlot(filter, 3, &record), S_OK);
  EXPECT_EQ(record, &object->CaptureRecord());
  EXPECT_EQ(record->size, 28u);
  EXPECT_EQ(record->value, 3u);
  EXPECT_EQ(static_cast<void*>(record->geometry), geometry);
  EXPECT_EQ(CallSlot(filter, 4), E_NOTIMPL);

  // Neither is handed out by QueryInterface, not even under the draw context's filter IID.
  StyleComPtr<IUnknown> asked;
  EXPECT_EQ(fill->QueryInterface(IID_IJStylePointSymbolFilter, asked.PutVoid()), E_NOINTERFACE);
}

// The display pass in its order; the thread's context is the fill while its symbol draws, goes back to the
// outer fill's after a nested capture, and to what it was on every way out.
TEST_F(SymbolCaptureTest, TheDisplayPassSetsAndRestoresTheThreadContext) {
  StyleTlsBlock* block = GetStyleBlock();
  std::vector<const void*> contexts;
  const auto lookAtContext = Hook([&] { contexts.push_back(block->symbolFillContext); });
  StyleComPtr<IJGraphic> innerSymbol = Scripted({lookAtContext});
  StyleComPtr<IJStyleSymbolFill> inner = FillOf(innerSymbol.Get());
  StyleComPtr<IJStyleSymbolFill> outer = NewSymbolFill();
  std::vector<HRESULT> nested;
  DWORD callsDuringDraw = 0;
  StyleComPtr<IJGraphic> outerSymbol = Scripted(
      {Hook([&] { callsDuringDraw = recording->CallCount(); }), lookAtContext,
       Hook([&] { nested = {Capture(inner.Get(), 0), Capture(outer.Get(), 1)}; }), lookAtContext,
       Primitive({0, 0, 1, 1})},
      nullptr, E_FAIL);
  AddSlots(outer.Get(), {Slot(1), Slot(2, outerSymbol.Get())});

  ASSERT_EQ(Capture(outer.Get(), 1, 3.0), E_FAIL);  // the symbol's failure
  EXPECT_THAT(nested, ElementsAre(S_OK, E_UNEXPECTED));
  const void* o = ObjectOf(outer.Get());
  EXPECT_THAT(contexts, ElementsAre(o, ObjectOf(inner.Get()), o));
  EXPECT_EQ(block->symbolFillContext, nullptr);
  EXPECT_EQ(ObjectOf(outer.Get())->CaptureSlot(), -1);
  EXPECT_EQ(ObjectOf(outer.Get())->SlotNode(1)->openPieceCount, 1) << "what arrived before the failure stays";
  const std::vector<SitheCall> calls = DisplayCalls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_STREQ(calls[0].name, "SetDisplayTransform");
  EXPECT_STREQ(calls[1].name, "SetDisplayTransform");  // the nested pass
  EXPECT_STREQ(calls[2].name, "EndDisplayPass");
  EXPECT_STREQ(calls[3].name, "EndDisplayPass");
  EXPECT_EQ(callsDuringDraw, 1u);
  double matrix[16];
  ASSERT_EQ(recording->GetCallMatrix(0, matrix), S_OK);
  EXPECT_THAT(std::vector<double>(matrix, matrix + 16), ElementsAre(3, 0, 0, 0, 0, 3, 0, 0, 0, 0, 3, 0, 0, 0, 0, 1));

  // A slot without a symbol to be had is skipped without a pass; refused arguments change nothing.
  recording->Clear();
  host_app::ClearElementCalls();
  StyleComPtr<IJStyleSymbolFill> loose = NewSymbolFill();
  AddSlots(loose.Get(), {Slot(1, nullptr, 42)});  // no owner to fetch 42 from
  EXPECT_EQ(Capture(loose.Get(), 0), S_FALSE);
  EXPECT_EQ(Capture(outer.Get(), 2), E_INVALIDARG);
  EXPECT_EQ(Capture(outer.Get(), 1, std::numeric_limits<double>::quiet_NaN()), E_INVALIDARG);
  EXPECT_EQ(server.internals().CaptureSymbolSlot(outer.Get(), 1, nullptr, 1.0), E_INVALIDARG);
  EXPECT_EQ(server.internals().CaptureSymbolSlot(Query<IUnknown>(innerSymbol.Get(), IID_IUnknown).Get(), 0,
                                                 recording.Get(), 1.0),
            E_INVALIDARG);
  EXPECT_THAT(DisplayCalls(), IsEmpty());
  EXPECT_THAT(host_app::ElementsCalled(host_app::ElementOp::Draw), IsEmpty());
  EXPECT_EQ(ObjectOf(outer.Get())->SlotNode(1)->openPieceCount, 1);
}

// A thread that runs no block of the server's cannot capture: nothing is drawn and nothing changes.
TEST_F(SymbolCaptureTest, AThreadWithoutBlockCapturesNothing) {
  StyleComPtr<IJGraphic> symbol = Scripted({Primitive({0, 0, 1, 1})});
  StyleComPtr<IJStyleSymbolFill> fill = FillOf(symbol.Get());
  ASSERT_EQ(Capture(fill.Get(), 0), S_OK);
  host_app::ClearElementCalls();
  recording->Clear();
  struct Job {
    SymbolCaptureTest* test;
    IJStyleSymbolFill* fill;
    HRESULT hr;
  } job{this, fill.Get(), S_OK};
  RunOnThreadOlderThanTheServer([](void* argument) {
    auto* j = static_cast<Job*>(argument);
    j->hr = j->test->Capture(j->fill, 0);
  }, &job);
  EXPECT_EQ(job.hr, E_FAIL);
  EXPECT_EQ(Reports().size(), 1u);
  EXPECT_THAT(host_app::ElementsCalled(host_app::ElementOp::Draw), IsEmpty());
  EXPECT_THAT(DisplayCalls(), IsEmpty());
  EXPECT_EQ(ObjectOf(fill.Get())->SlotNode(0)->openPieceCount, 1);
}

}  // namespace

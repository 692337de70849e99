// Styles whose references lead back to themselves: every path that follows references ends, and drawing,
// measuring or applying such a style answers E_FAIL, reported once.
#include <thread>

#include "display/style/stylbas/StyleCallDepth.h"
#include "tests/bases/test_styles.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using stylesrv_test::IsReport;
using stylesrv_test::Reports;

namespace {

// The one report of a call that met the bound.
auto BoundReport() { return IsReport(E_FAIL, StyleCallDepth::kReportSource, StyleCallDepth::kReportLine); }

// A style that draws its referenced style twice, as a style with two references to one style does.
class ForkStyle : public TestLineStyle {
 public:
  STYLE_DECLARE_DELETING_DESTRUCTOR(ForkStyle)
  static ForkStyle* Create() {
    auto* style = new ForkStyle;
    style->AddRef();
    return style;
  }
  HRESULT Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target, const RenderContextScales* context,
                 IJStyleRender* substitute, tagStyleOverride* record, BOOL recordGiven,
                 const StyleElementRecord* element) override {
    ++renders;
    HRESULT hr = RenderReferenced(geometry, target, context, substitute, record, recordGiven, element);
    if (SUCCEEDED(hr)) hr = RenderReferenced(geometry, target, context, substitute, record, recordGiven, element);
    return hr;
  }

 protected:
  ~ForkStyle() = default;
};

class CycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stylesrv_test::ClearReports();
    library = RecordingLibrarian::Create();
    a = TestLineStyle::Create(0x1, 1.0);
    b = TestLineStyle::Create(0x2, 1.0);
    idA = library->Add(a->Unknown());
    idB = library->Add(b->Unknown());
    a->Setup()->SetReferencedStyleID(idB);
    b->Setup()->SetReferencedStyleID(idA);
  }
  void TearDown() override {
    // Each caches the other: the cycle of references has to be cut before the library goes.
    a->Setup()->SetReferencedStyleID(0);
    b->Setup()->SetReferencedStyleID(0);
    EXPECT_EQ(StyleCallDepth::Current(), 0u);
    a->Release();
    b->Release();
    library->Release();
  }

  RecordingLibrarian* library = nullptr;
  TestLineStyle* a = nullptr;
  TestLineStyle* b = nullptr;
  DWORD idA = 0, idB = 0;
};

TEST_F(CycleTest, DrawingMeasuringAndApplyingACycleFailOnceEach) {
  TestTarget target;
  TestGeometry line({0, 0, 0, 1, 0, 0});
  RenderContextScales context = Scales(1, 1, 1);
  a->ownExtent = {3, 1.0, 1.0};
  b->ownExtent = {4, 2.0, 0.5};
  StyleExtent extent{};
  tagStyleOverride record{};
  IJStyleRender* render = a->RenderItf();
  // Each call goes the cycle round to the bound, answers E_FAIL and reports it once; the next starts afresh.
  for (int round = 0; round < 2; ++round) {
    a->renders = b->renders = 0;
    EXPECT_EQ(render->RenderWithContext(&line.record, target.target(), &context, nullptr, nullptr, nullptr), E_FAIL);
    EXPECT_EQ(a->renders + b->renders, static_cast<int>(StyleCallDepth::kLimit));
    EXPECT_EQ(render->GetRangeWithContext(&extent, &context, nullptr, nullptr), E_FAIL);
    EXPECT_EQ(render->ApplyToGraphic(&record), E_FAIL);
    EXPECT_THAT(Reports(), ElementsAre(BoundReport(), BoundReport(), BoundReport()));
    stylesrv_test::ClearReports();
    EXPECT_EQ(StyleCallDepth::Current(), 0u);
  }
  // Whether a style is used asks no more than yes or no: the cycle answers what it found.
  EXPECT_FALSE(a->User()->UsesStyleID(idB + 100));
  EXPECT_TRUE(a->User()->UsesStyleID(idA));  // through B
  EXPECT_THAT(Reports(), IsEmpty());
}

// A style that reaches itself along two references stops at the bound once, instead of branching at every level
// of it.
TEST(StyleCallDepthTest, ForkingCycleStopsAtTheFirstBound) {
  stylesrv_test::ClearReports();
  ForkStyle* fork = ForkStyle::Create();
  ASSERT_EQ(fork->Setup()->SetReferencedStyle(fork->RenderItf()), S_OK);
  TestTarget target;
  TestGeometry line({0, 0, 0, 1, 0, 0});
  RenderContextScales context = Scales(1, 1, 1);
  EXPECT_EQ(fork->RenderItf()->RenderWithContext(&line.record, target.target(), &context, nullptr, nullptr, nullptr),
            E_FAIL);
  EXPECT_EQ(fork->renders, static_cast<int>(StyleCallDepth::kLimit));
  EXPECT_THAT(Reports(), ElementsAre(BoundReport()));
  fork->Setup()->SetReferencedStyle(nullptr);
  fork->Release();
}

TEST_F(CycleTest, ComparingAndCopyingCyclesEnd) {
  RecordingLibrarian* other = RecordingLibrarian::Create();
  TestLineStyle* c = TestLineStyle::Create(0x1, 1.0);
  TestLineStyle* d = TestLineStyle::Create(0x2, 1.0);
  const DWORD idC = other->Add(c->Unknown());
  const DWORD idD = other->Add(d->Unknown());
  c->Setup()->SetReferencedStyleID(idD);
  d->Setup()->SetReferencedStyleID(idC);
  BOOL same = TRUE;
  EXPECT_EQ(a->Manage()->IsSameStyle(c->Unknown(), &same), S_OK);
  EXPECT_FALSE(same);

  RecordingLibrarian* target = RecordingLibrarian::Create();
  DWORD newID = 0;
  EXPECT_EQ(a->Manage()->CopyStyleToLibrary(nullptr, target->Librarian(), nullptr, &newID), E_FAIL);
  EXPECT_EQ(newID, 0u);
  // Nothing half-copied refers to anything that could keep it alive.
  for (DWORD id = 1; id <= target->Count(); ++id) {
    AsStyle<TestLineStyle>(target->At(id).object)->Setup()->SetReferencedStyleID(0);
  }
  target->Release();
  c->Setup()->SetReferencedStyleID(0);
  d->Setup()->SetReferencedStyleID(0);
  c->Release();
  d->Release();
  other->Release();
}

// A chain that merely is long, but shorter than the bound, draws every style.
TEST(StyleCallDepthTest, AcyclicChainBelowTheBoundDrawsEveryStyle) {
  stylesrv_test::ClearReports();
  std::vector<TestLineStyle*> chain;
  for (int i = 0; i < 20; ++i) chain.push_back(TestLineStyle::Create());
  for (int i = 0; i + 1 < 20; ++i) chain[i]->Setup()->SetReferencedStyle(chain[i + 1]->RenderItf());
  TestTarget target;
  TestGeometry line({0, 0, 0, 1, 0, 0});
  RenderContextScales context = Scales(1, 1, 1);
  EXPECT_EQ(chain[0]->RenderItf()->RenderWithContext(&line.record, target.target(), &context, nullptr, nullptr,
                                                     nullptr),
            S_OK);
  for (TestLineStyle* style : chain) EXPECT_EQ(style->renders, 1);
  for (TestLineStyle* style : chain) style->Release();
  EXPECT_THAT(Reports(), IsEmpty());
}

// The bound is the calling thread's: another thread starts from zero.
TEST(StyleCallDepthTest, EachThreadHasItsOwnDepth) {
  std::vector<StyleCallDepth*> held;
  for (DWORD i = 0; i < StyleCallDepth::kLimit; ++i) held.push_back(new StyleCallDepth);
  StyleCallDepth beyond;
  EXPECT_FALSE(beyond.Entered());
  bool enteredElsewhere = false;
  DWORD depthElsewhere = 99;
  std::thread([&] {
    StyleCallDepth depth;
    enteredElsewhere = depth.Entered();
    depthElsewhere = StyleCallDepth::Current();
  }).join();
  EXPECT_TRUE(enteredElsewhere);
  EXPECT_EQ(depthElsewhere, 1u);
  for (auto depth = held.rbegin(); depth != held.rend(); ++depth) delete *depth;
  EXPECT_EQ(StyleCallDepth::Current(), 0u);
}

}  // namespace

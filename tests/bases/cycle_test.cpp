// Styles whose references lead back to themselves: every path that follows references ends.
#include <thread>

#include "display/style/stylbas/StyleCallDepth.h"
#include "tests/bases/test_styles.h"

using ::testing::IsEmpty;

namespace {

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

TEST_F(CycleTest, RenderingACycleStopsAtTheBound) {
  TestTarget target;
  TestGeometry line({0, 0, 0, 1, 0, 0});
  RenderContextScales context = Scales(1, 1, 1);
  EXPECT_EQ(a->RenderItf()->RenderWithContext(&line.record, target.target(), &context, nullptr, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(a->renders + b->renders, static_cast<int>(StyleCallDepth::kLimit));
  EXPECT_EQ(a->renders, b->renders);
}

TEST_F(CycleTest, RangeApplyAndUseOfACycleEnd) {
  RenderContextScales context = Scales(1, 1, 1);
  a->ownExtent = {3, 1.0, 1.0};
  b->ownExtent = {4, 2.0, 0.5};
  StyleExtent extent{};
  EXPECT_EQ(a->RenderItf()->GetRangeWithContext(&extent, &context, nullptr, nullptr), S_OK);
  EXPECT_EQ(extent.value, 4u);
  EXPECT_EQ(extent.first, 2.0);

  EXPECT_FALSE(a->User()->UsesStyleID(idB + 100));
  EXPECT_TRUE(a->User()->UsesStyleID(idA));  // through B

  tagStyleOverride record{};
  EXPECT_EQ(a->RenderItf()->ApplyToGraphic(&record), S_OK);  // both are cached by now
  EXPECT_EQ(record.colour, 0x1u);
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
  for (StyleCallDepth* depth : held) delete depth;
  EXPECT_EQ(StyleCallDepth::Current(), 0u);
}

}  // namespace

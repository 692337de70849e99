// The missing-graphic placeholder of the loaded server.
#include "tests/bases/test_styles.h"

using ::testing::ElementsAre;
using stylesrv_test::IsReport;
using stylesrv_test::Reports;

namespace {

class MissingGraphicTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stylesrv_test::ClearReports();
    ASSERT_TRUE(server.loaded());
    graphic = server.internals().GetMissingGraphic();
    ASSERT_NE(graphic, nullptr);
  }

  // Draws the placeholder into a recording target, the exception colour changed before.
  void DrawInto(TestTarget& target) {
    const DWORD colour = server.GetExceptionColor();
    server.SetExceptionColor(0x00123456);
    GraphicDrawContext context{};
    context.word400 = 1;
    context.display = target.target();
    context.displayIid = &IID_IRenderTarget2d;
    SitheClearRealRenders();
    EXPECT_EQ(graphic->Draw(&context), S_OK);
    server.SetExceptionColor(colour);
  }

  stylesrv_test::ServerModule server;
  IJGraphic* graphic = nullptr;
};

// The placeholder is one static object: it answers itself, counts nothing and is never destroyed.
TEST_F(MissingGraphicTest, AnswersItselfAndCountsNothing) {
  void* out = nullptr;
  ASSERT_EQ(graphic->QueryInterface(IID_IJGraphic, &out), S_OK);
  EXPECT_EQ(out, static_cast<void*>(graphic));
  ASSERT_EQ(graphic->QueryInterface(IID_IUnknown, &out), S_OK);
  EXPECT_EQ(out, static_cast<void*>(graphic));
  EXPECT_EQ(graphic->AddRef(), 0u);
  EXPECT_EQ(graphic->Release(), 0u);
  EXPECT_EQ(graphic->Release(), 0u);
  EXPECT_EQ(graphic->QueryInterface(IID_IJStyleRender, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(graphic->QueryInterface(IID_IJGraphic, nullptr), E_INVALIDARG);
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_INVALIDARG, "MissingGraphic", 138)));
  DWORD type = 0;
  EXPECT_EQ(graphic->GetGraphicType(&type), S_OK);
  EXPECT_EQ(type, 10u);
  EXPECT_EQ(graphic->Draw(nullptr), E_INVALIDARG);
}

TEST_F(MissingGraphicTest, RangeIsTheSquareAndTheLineWidth) {
  EXPECT_EQ(graphic->GetRange(nullptr, nullptr), S_OK);
  GraphicRange range{9, 9, 9, 9, 9, 9};
  StyleExtent extent{9, 9, 9};
  ASSERT_EQ(graphic->GetRange(&range, nullptr), S_OK);
  EXPECT_EQ(extent.value, 9u);
  ASSERT_EQ(graphic->GetRange(&range, &extent), S_OK);
  EXPECT_EQ(range.xmin, 0.0);
  EXPECT_EQ(range.ymin, 0.0);
  EXPECT_EQ(range.zmin, 0.0);
  EXPECT_DOUBLE_EQ(range.xmax, 0.01);
  EXPECT_DOUBLE_EQ(range.ymax, 0.01);
  EXPECT_EQ(range.zmax, 0.0);
  EXPECT_EQ(extent.value, 0u);
  EXPECT_EQ(extent.first, 0.00035);
  EXPECT_EQ(extent.second, 0.0);
}

// The square is drawn as a solid line of width 0.00035 in units code 11, in the exception colour of load time.
TEST_F(MissingGraphicTest, DrawsTheSquareInTheColourOfLoadTime) {
  TestTarget target;
  const ULONG before = target.target()->AddRef() - 1;
  target.target()->Release();
  DrawInto(target);
  EXPECT_EQ(target.target()->AddRef() - 1, before);  // the display reference was given back
  target.target()->Release();

  ASSERT_EQ(SitheRealRenderCount(), 1);
  SitheRealRenderCall call{};
  ASSERT_TRUE(SitheGetRealRender(0, &call));
  EXPECT_EQ(call.description.count, 1u);
  EXPECT_EQ(call.description.elementCode, 115u);
  EXPECT_EQ(call.record.kind, static_cast<DWORD>(SITHE_RECORD_SOLID_LINE));
  EXPECT_EQ(call.record.unitsCode, 11u);
  EXPECT_EQ(call.record.width, 0.00035);
  EXPECT_EQ(call.record.colour, 0x0000FFC6u);
  EXPECT_EQ(call.result, S_OK);

  const std::vector<SitheCall> calls = target.Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].u[0], 0x0000FFC6u);
  EXPECT_EQ(calls[1].d[0], 0.00035);
  ASSERT_EQ(calls[2].pointCount, 5u);
  double points[15];
  ASSERT_EQ(target.recording()->GetCallPoints(2, 5, points), S_OK);
  const double square[5][2] = {{0, 0}, {0.01, 0}, {0.01, 0.01}, {0, 0.01}, {0, 0}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_DOUBLE_EQ(points[3 * i], square[i][0]) << i;
    EXPECT_DOUBLE_EQ(points[3 * i + 1], square[i][1]) << i;
    EXPECT_EQ(points[3 * i + 2], 0.0) << i;
  }
}

// The notice goes on to the sink's second operation; without a sink there is nothing to tell.
TEST_F(MissingGraphicTest, NoticeGoesToTheSinksSecondOperation) {
  struct Sink : public IJGraphicNotifySink {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE First() override {
      ++first;
      return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Second() override {
      ++second;
      return S_OK;
    }
    int first = 0, second = 0;
  } sink;
  EXPECT_EQ(graphic->Notify(1, 2, 3, &sink), S_FALSE);
  EXPECT_EQ(sink.first, 0);
  EXPECT_EQ(sink.second, 1);
  EXPECT_EQ(graphic->Notify(1, 2, 3, nullptr), S_FALSE);
}

}  // namespace

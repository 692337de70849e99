// The fill type base: its render interface called through a plain table of operations, what it hands to the
// class's Render and what it reports, its count of live objects, and the units transform from the drawing
// set-up's render context.
#include "display/style/stylbas/StyleCallDepth.h"
#include "display/style/styles/JStyleFillType.h"
#include "tests/fill/fill_fixtures.h"
#include "tests/support/stylesrv_test.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using stylesrv_test::Reports;

namespace {

// A pattern fill that records what its Render got and answers what the test sets.
class TestFill : public JStyleFillType {
 public:
  TestFill() : JStyleFillType(nullptr) { m_styleKind = STYLE_KIND_FILL; }
  STYLE_DECLARE_DELETING_DESTRUCTOR(TestFill)

  GUID* GetClassID(GUID* out) override {
    *out = GUID_NULL;
    return out;
  }
  HRESULT SerializeCurrent(JArchive*) override { return S_OK; }
  HRESULT Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target, const RenderContextScales* context,
                 IJStyleRender* substitute, tagStyleOverride* record, BOOL recordGiven,
                 const StyleElementRecord* element) override {
    got = {geometry, target, context, substitute, record, recordGiven, AsFillDrawingSetup(element)};
    ++renders;
    if (again) return again->Render(geometry, target, context, substitute, record, recordGiven, got.setup);
    return answer;
  }

  IUnknown* Unknown() { return static_cast<UUnknown*>(this); }

  struct Arguments {
    const StyleGeometryRecord* geometry;
    IRenderTarget2d* target;
    const RenderContextScales* context;
    IJStyleRender* substitute;
    tagStyleOverride* record;
    BOOL recordGiven;
    const FillDrawingSetup* setup;
  } got{};
  int renders = 0;
  HRESULT answer = S_OK;
  IJStyleFillTypeRender* again = nullptr;  // a pattern that draws through this one

 protected:
  ~TestFill() = default;
};

TestFill* NewFill() {
  auto* fill = new TestFill;
  fill->AddRef();
  return fill;
}

class FillTypeTest : public ::testing::Test {
 protected:
  void SetUp() override { stylesrv_test::ClearReports(); }
};

TEST_F(FillTypeTest, CountsAsOneMoreLiveObject) {
  stylesrv_test::ServerModule server;
  ASSERT_TRUE(server.loaded());
  const LONG before = server.internals().GetLiveObjectCount();
  TestFill* fill = NewFill();
  EXPECT_EQ(server.internals().GetLiveObjectCount(), before + 2);  // the render base and the fill type
  fill->Release();
  EXPECT_EQ(server.internals().GetLiveObjectCount(), before);
}

using RenderSlot = HRESULT(STDMETHODCALLTYPE*)(void* self, const StyleGeometryRecord*, IRenderTarget2d*,
                                               const RenderContextScales*, IJStyleRender*, tagStyleOverride*, BOOL,
                                               const FillDrawingSetup*);

// Slot 3, after IUnknown's three, hands its seven arguments on and answers the class's result; a failure is
// reported under "FILLTYPE", success (S_FALSE too) is not.
TEST_F(FillTypeTest, RenderThroughThePlainTable) {
  TestFill* fill = NewFill();
  void* itf = nullptr;
  ASSERT_EQ(fill->Unknown()->QueryInterface(IID_IJStyleFillTypeRender, &itf), S_OK);
  const auto render = reinterpret_cast<RenderSlot>((*static_cast<void***>(itf))[3]);

  StyleGeometryRecord boundary{};
  RenderContextScales context{};
  tagStyleOverride record{};
  TestRenderContext host;
  const FillDrawingSetup setup = DrawingSetup(&host, STYLE_UNITS_12);
  // Only compared, never called.
  auto* target = reinterpret_cast<IRenderTarget2d*>(std::uintptr_t{0x1000});
  auto* substitute = reinterpret_cast<IJStyleRender*>(std::uintptr_t{0x2000});

  for (HRESULT answer : {S_OK, S_FALSE, E_ABORT}) {
    stylesrv_test::ClearReports();
    fill->answer = answer;
    EXPECT_EQ(render(itf, &boundary, target, &context, substitute, &record, TRUE, &setup), answer);
    EXPECT_EQ(fill->got.geometry, &boundary);
    EXPECT_EQ(fill->got.target, target);
    EXPECT_EQ(fill->got.context, &context);
    EXPECT_EQ(fill->got.substitute, substitute);
    EXPECT_EQ(fill->got.record, &record);
    EXPECT_EQ(fill->got.recordGiven, TRUE);
    EXPECT_EQ(fill->got.setup, &setup);
    const std::vector<PellowReport> reports = Reports();
    if (FAILED(answer)) {
      ASSERT_EQ(reports.size(), 1u);
      EXPECT_EQ(reports[0].hr, E_ABORT);
      EXPECT_STREQ(reports[0].source, "FILLTYPE");
    } else {
      EXPECT_THAT(reports, IsEmpty());
    }
  }
  EXPECT_EQ(fill->renders, 3);

  // The other interfaces come from the render base.
  IJStyleRender* base = nullptr;
  ASSERT_EQ(static_cast<IUnknown*>(itf)->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&base)), S_OK);
  DWORD kind = 0;
  EXPECT_EQ(base->GetStyleKind(&kind), S_OK);
  EXPECT_EQ(kind, static_cast<DWORD>(STYLE_KIND_FILL));
  base->Release();
  static_cast<IUnknown*>(itf)->Release();
  fill->Release();
}

// A pattern that draws itself again stops at the depth bound, and its drawing fails, reported once.
TEST_F(FillTypeTest, PatternThatDrawsItselfFailsOnce) {
  TestFill* fill = NewFill();
  IJStyleFillTypeRender* render = nullptr;
  ASSERT_EQ(fill->Unknown()->QueryInterface(IID_IJStyleFillTypeRender, reinterpret_cast<void**>(&render)), S_OK);
  fill->again = render;
  StyleGeometryRecord boundary{};
  tagStyleOverride record{};
  EXPECT_EQ(render->Render(&boundary, nullptr, nullptr, nullptr, &record, TRUE, nullptr), E_FAIL);
  EXPECT_EQ(fill->renders, static_cast<int>(StyleCallDepth::kLimit));
  ASSERT_EQ(Reports().size(), 1u);
  EXPECT_STREQ(Reports()[0].source, StyleCallDepth::kReportSource);
  fill->again = nullptr;
  render->Release();
  fill->Release();
}

struct TransformCase {
  const char* name;
  DWORD styleUnits;
  DWORD drawingUnits;
  HRESULT answer;
  HRESULT expected;
  std::vector<std::pair<DWORD, DWORD>> spaces;
};

TEST_F(FillTypeTest, UnitsTransformFromTheRenderContext) {
  G4x4 scaled = G4x4::Identity();
  scaled.m_matrix[0] = 1000;
  scaled.m_matrix[5] = 1000;
  scaled.m_matrix[12] = 7;
  const TransformCase cases[] = {
      {"11 to 12", 11, 12, S_OK, S_OK, {{2, 3}}},
      {"13 to 11", 13, 11, S_OK, S_OK, {{0, 2}}},
      {"12 to 13", 12, 13, S_OK, S_OK, {{3, 0}}},
      {"style code 14", 14, 11, S_OK, E_INVALIDARG, {}},
      {"style code 0", 0, 11, S_OK, E_INVALIDARG, {}},
      {"drawing code 10", 11, 10, S_OK, E_INVALIDARG, {}},
      {"context fails", 11, 11, E_UNEXPECTED, E_UNEXPECTED, {{2, 2}}},
  };
  for (const TransformCase& c : cases) {
    SCOPED_TRACE(c.name);
    stylesrv_test::ClearReports();
    TestRenderContext context;
    context.transform = scaled;
    context.answer = c.answer;
    const FillDrawingSetup setup = DrawingSetup(&context, c.drawingUnits);
    G4x4 out;
    EXPECT_EQ(JStyleFillType::GetUnitsTransform(&out, c.styleUnits, &setup), c.expected);
    EXPECT_EQ(context.spaces, c.spaces);
    EXPECT_TRUE(out.IsEqual(SUCCEEDED(c.expected) ? scaled : G4x4::Identity()));
    EXPECT_EQ(context.references, 1u);
    const std::vector<PellowReport> reports = Reports();
    if (FAILED(c.expected)) {
      ASSERT_EQ(reports.size(), 1u);
      EXPECT_EQ(reports[0].hr, c.expected);
      EXPECT_STREQ(reports[0].source, "FILLTYPE");
    } else {
      EXPECT_THAT(reports, IsEmpty());
    }
  }
}

// A render context made as the host makes it, a table of plain functions: the transform is asked of slot 6.
struct PlainContext {
  void* const* table;
  DWORD from = 99;
  DWORD to = 99;
  int otherCalls = 0;

  static HRESULT STDMETHODCALLTYPE QueryInterface(PlainContext* self, REFIID, void** out) {
    *out = self;
    return S_OK;
  }
  static ULONG STDMETHODCALLTYPE Count(PlainContext*) { return 1; }
  static HRESULT STDMETHODCALLTYPE Other(PlainContext* self) {
    ++self->otherCalls;
    return E_NOTIMPL;
  }
  static HRESULT STDMETHODCALLTYPE Transform(PlainContext* self, double* matrix, DWORD from, DWORD to) {
    self->from = from;
    self->to = to;
    matrix[15] = 4;
    return S_OK;
  }
};

TEST_F(FillTypeTest, UnitsTransformThroughThePlainTable) {
  void* const table[] = {reinterpret_cast<void*>(&PlainContext::QueryInterface),
                         reinterpret_cast<void*>(&PlainContext::Count),
                         reinterpret_cast<void*>(&PlainContext::Count),
                         reinterpret_cast<void*>(&PlainContext::Other),
                         reinterpret_cast<void*>(&PlainContext::Other),
                         reinterpret_cast<void*>(&PlainContext::Other),
                         reinterpret_cast<void*>(&PlainContext::Transform)};
  PlainContext context{table};
  const FillDrawingSetup setup = DrawingSetup(reinterpret_cast<IUnknown*>(&context), STYLE_UNITS_13);
  G4x4 out;
  ASSERT_EQ(JStyleFillType::GetUnitsTransform(&out, STYLE_UNITS_12, &setup), S_OK);
  EXPECT_EQ(context.from, 3u);
  EXPECT_EQ(context.to, 0u);
  EXPECT_EQ(context.otherCalls, 0);
  EXPECT_EQ(out.m_matrix[15], 4.0);
  EXPECT_EQ(out.m_matrix[0], 1.0);  // the identity it started from
}

TEST_F(FillTypeTest, UnitsTransformWithoutItsInputs) {
  TestRenderContext context;
  const FillDrawingSetup setup = DrawingSetup(&context, 11);
  const FillDrawingSetup noContext = DrawingSetup(nullptr, 11);
  G4x4 out;
  EXPECT_EQ(JStyleFillType::GetUnitsTransform(nullptr, 11, &setup), E_FAIL);
  EXPECT_EQ(JStyleFillType::GetUnitsTransform(&out, 11, nullptr), E_FAIL);
  EXPECT_EQ(JStyleFillType::GetUnitsTransform(&out, 11, &noContext), E_FAIL);
  context.answersContext = false;
  EXPECT_EQ(JStyleFillType::GetUnitsTransform(&out, 11, &setup), E_NOINTERFACE);
  EXPECT_TRUE(context.spaces.empty());
  EXPECT_EQ(context.references, 1u);
  std::vector<HRESULT> reported;
  for (const PellowReport& report : Reports()) reported.push_back(report.hr);
  EXPECT_THAT(reported, ElementsAre(E_FAIL, E_FAIL, E_FAIL, E_NOINTERFACE));
}

}  // namespace

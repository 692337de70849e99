// The renderable style base: lengths by units code, the drawing and range entry points, substitute styles,
// the render record, referenced styles.
#include <cstring>

#include "tests/bases/test_styles.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using stylesrv_test::IsReport;
using stylesrv_test::Reports;

namespace {

// A renderable style that sets nothing of its own.
class BareStyle : public CStyleRdr2dBase {
 public:
  BareStyle() : CStyleRdr2dBase(nullptr, Counted{}) {}
  STYLE_DECLARE_DELETING_DESTRUCTOR(BareStyle)
  GUID* GetClassID(GUID* out) override {
    *out = GUID_NULL;
    return out;
  }
  HRESULT SerializeCurrent(JArchive*) override { return S_OK; }
  void SetKind(DWORD kind) { m_styleKind = kind; }
  IJStyleRender* RenderItf() { return &m_IJStyleRenderImp; }
  IJStyleSetup2d* Setup() { return &m_IJStyleSetup2dImp; }

 protected:
  ~BareStyle() = default;
};

class RenderBaseTest : public ::testing::Test {
 protected:
  void SetUp() override { stylesrv_test::ClearReports(); }
};

// Lengths convert by their units code: 11, 12 and 13 take the context's first, second and third scale (1
// without a context or for any other code). Device mode maps code-11 lengths to device units by a factor and an
// offset, measures them in the third scale, and with a maximum caps them where they are not raw.
TEST_F(RenderBaseTest, LengthsConvertByTheirUnitsCode) {
  RenderContextScales plain = Scales(1, 3, 5), device = plain, capped;
  device.deviceMode = 1;
  device.deviceFactor = 100.0;
  device.deviceOffset = 0.5;
  capped = device;
  capped.deviceMaximum = 50;
  const struct {
    double length;
    DWORD code;
    const RenderContextScales* context;
    BOOL raw;
    double expected;
  } rows[] = {
      {2.0, 11, &plain, FALSE, 2.0},     {2.0, 12, &plain, FALSE, 6.0},       {2.0, 13, &plain, FALSE, 10.0},
      {2.0, 14, &plain, FALSE, 2.0},     {2.0, 0, &plain, TRUE, 2.0},         {2.0, 12, nullptr, TRUE, 2.0},
      {2.0, 11, &device, FALSE, 1002.5}, {2.0, 11, &device, TRUE, 1002.5},    {0.001, 11, &device, FALSE, 3.0},
      {0.001, 11, &device, TRUE, 5.0},   {2.0, 11, &capped, TRUE, 250.0},     {2.0, 11, &capped, FALSE, 1002.5},
      {2.0, 12, &capped, TRUE, 6.0},     {2.0, 13, &capped, TRUE, 10.0},      {2.0, 14, &capped, TRUE, 2.0},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(CStyleRdr2dBase::ConvertStyleLength(row.length, row.code, row.context, row.raw), row.expected)
        << row.length << " in " << row.code << (row.context == &plain ? "" : " (device)") << " raw " << row.raw;
  }
  const RenderContextScales scales = Scales(2, 3, 4);
  for (DWORD code : {0u, 10u, 11u, 12u, 13u, 14u, 15u}) {
    EXPECT_EQ(CStyleRdr2dBase::GetScaleForUnits(code, nullptr), 1.0) << code;
    EXPECT_EQ(CStyleRdr2dBase::GetScaleForUnits(code, &scales), code >= 11 && code <= 13 ? code - 9.0 : 1.0) << code;
  }
}

TEST_F(RenderBaseTest, NewStyleHasUnitsCode13KindZeroAndTheFixedAnswers) {
  auto* style = new BareStyle;
  style->AddRef();
  IJStyleRender* render = style->RenderItf();
  DWORD value = 99;
  EXPECT_EQ(style->UnitsCode(), 13u);
  EXPECT_EQ(render->GetStyleKind(&value), S_OK);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(render->GetVariant(), 1u);
  EXPECT_EQ(render->GetFixedQuery1(&value), S_OK);
  EXPECT_EQ(value, 4u);
  EXPECT_EQ(render->GetFixedQuery2(&value), S_OK);
  EXPECT_EQ(value, 0u);
  EXPECT_EQ(render->GetFixedQuery3(7, &value), S_OK);
  EXPECT_EQ(value, 0u);
  StyleExtent extent{1, 2, 3};
  EXPECT_EQ(render->GetExtentDelta(&extent), S_OK);
  EXPECT_EQ(extent.value, 0u);
  EXPECT_EQ(extent.first, 0.0);

  // Without a referenced style the base draws nothing and succeeds.
  TestTarget target;
  TestGeometry line({0, 0, 0, 1, 1, 0});
  RenderContextScales context = Scales(1, 1, 1);
  EXPECT_EQ(render->RenderWithContext(&line.record, target.target(), &context, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(target.recording()->CallCount(), 0u);
  style->Release();
}

// Without a record and without a substitute a style draws with its own values only.
TEST_F(RenderBaseTest, RenderWithNothingGivenDrawsTheStylesOwnValues) {
  TestLineStyle* style = TestLineStyle::Create(0x00ABCDEF, 2.0);
  style->SetUnitsCode(12);
  TestTarget target;
  TestGeometry line({0, 0, 0, 4, 0, 0});
  RenderContextScales context = Scales(1, 3, 5);
  ASSERT_EQ(style->RenderItf()->RenderWithContext(&line.record, target.target(), &context, nullptr, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(style->lastScale, 3.0);
  const std::vector<SitheCall> calls = target.Calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_STREQ(calls[0].name, "SetPenColor");
  EXPECT_EQ(calls[0].u[0], 0x00ABCDEFu);
  EXPECT_STREQ(calls[1].name, "SetPenWidth");
  EXPECT_EQ(calls[1].d[0], 6.0);
  EXPECT_STREQ(calls[2].name, "DrawPolyline");
  EXPECT_EQ(calls[2].pointCount, 2u);
  style->Release();
}

// The style fills a copy; what the caller passed is the same byte for byte afterwards, on every path.
TEST_F(RenderBaseTest, CallersRecordIsNeverChanged) {
  TestLineStyle* style = TestLineStyle::Create(0x11, 1.0);
  TestLineStyle* substitute = TestLineStyle::Create(0x22, 1.0);
  TestTarget target;
  TestGeometry line({0, 0, 0, 1, 0, 0});
  RenderContextScales context = Scales(1, 1, 1);
  tagStyleOverride record{};
  record.recordCode = kStyleOverrideRecordCode;
  record.unitsCode = 13;
  record.dashScale = 2.0;
  tagStyleOverride before;
  std::memcpy(&before, &record, sizeof record);
  StyleExtent extent{};
  for (IJStyleRender* other : {static_cast<IJStyleRender*>(nullptr), substitute->RenderItf()}) {
    EXPECT_EQ(style->RenderItf()->RenderWithContext(&line.record, target.target(), &context, other, &record, nullptr),
              S_OK);
    EXPECT_EQ(style->RenderItf()->GetRangeWithContext(&extent, &context, other, &record), S_OK);
    EXPECT_EQ(std::memcmp(&before, &record, sizeof record), 0);
  }
  substitute->Release();
  style->Release();
}

TEST_F(RenderBaseTest, RecordsOwnUnitsCodeChoosesTheScaleOnlyWhenItsWidthIsGiven) {
  TestLineStyle* style = TestLineStyle::Create();
  style->SetUnitsCode(13);
  TestTarget target;
  TestGeometry line({0, 0, 0, 1, 0, 0});
  RenderContextScales context = Scales(2, 3, 5);
  tagStyleOverride record{};
  record.unitsCode = 11;
  ASSERT_EQ(style->RenderItf()->RenderWithContext(&line.record, target.target(), &context, nullptr, &record, nullptr),
            S_OK);
  EXPECT_EQ(style->lastScale, 5.0);
  record.flags = OVR_WIDTH;
  record.width = 0.25;
  ASSERT_EQ(style->RenderItf()->RenderWithContext(&line.record, target.target(), &context, nullptr, &record, nullptr),
            S_OK);
  EXPECT_EQ(style->lastScale, 2.0);
  EXPECT_EQ(target.Calls().back().name, std::string("DrawPolyline"));
  style->Release();
}

// A substitute of the same kind draws in place of the style, with the style's values where the caller left
// fields unset; one of another kind is handed on and the style draws itself.
TEST_F(RenderBaseTest, SubstituteOfTheSameKindDrawsInstead) {
  TestLineStyle* style = TestLineStyle::Create(0x0000FF, 1.0);
  TestLineStyle* substitute = TestLineStyle::Create(0xFF0000, 1.0);
  auto* fill = new BareStyle;
  fill->AddRef();
  fill->SetKind(STYLE_KIND_FILL);
  TestGeometry line({0, 0, 0, 1, 0, 0});
  RenderContextScales context = Scales(1, 1, 1);
  tagStyleOverride record{};
  {
    TestTarget target;
    ASSERT_EQ(style->RenderItf()->RenderWithContext(&line.record, target.target(), &context, substitute->RenderItf(),
                                                    &record, nullptr),
              S_OK);
    EXPECT_EQ(style->renders, 0);
    EXPECT_EQ(substitute->renders, 1);
    EXPECT_EQ(target.Calls().at(0).u[0], 0x0000FFu);
  }
  {
    // Without a record the substitute gets none and draws with its own values.
    TestTarget target;
    ASSERT_EQ(style->RenderItf()->RenderWithContext(&line.record, target.target(), &context, substitute->RenderItf(),
                                                    nullptr, nullptr),
              S_OK);
    EXPECT_EQ(substitute->renders, 2);
    EXPECT_EQ(target.Calls().at(0).u[0], 0xFF0000u);
  }
  {
    TestTarget target;
    ASSERT_EQ(style->RenderItf()->RenderWithContext(&line.record, target.target(), &context, fill->RenderItf(),
                                                    &record, nullptr),
              S_OK);
    EXPECT_EQ(style->renders, 1);
  }
  fill->Release();
  substitute->Release();
  style->Release();
}

// Extents merge field by field, each keeping the larger value; a negative caller value is raised by the
// style's own extent of zero.
TEST_F(RenderBaseTest, RangeMergesByMaximumFieldByField) {
  TestLineStyle* style = TestLineStyle::Create();
  TestLineStyle* referenced = TestLineStyle::Create();
  style->ownExtent = {5, 1.0, 4.0};
  referenced->ownExtent = {7, 3.0, 2.0};
  style->Setup()->SetReferencedStyle(referenced->RenderItf());
  RenderContextScales context = Scales(1, 1, 1);
  StyleExtent extent{6, 2.0, 0.5};
  ASSERT_EQ(style->RenderItf()->GetRangeWithContext(&extent, &context, nullptr, nullptr), S_OK);
  EXPECT_EQ(extent.value, 7u);
  EXPECT_EQ(extent.first, 3.0);
  EXPECT_EQ(extent.second, 4.0);

  TestLineStyle* alone = TestLineStyle::Create();
  StyleExtent negative{0, -1.0, 2.0};
  ASSERT_EQ(alone->RenderItf()->GetRangeWithContext(&negative, &context, nullptr, nullptr), S_OK);
  EXPECT_EQ(negative.first, 0.0);
  EXPECT_EQ(negative.second, 2.0);
  alone->Release();
  style->Release();
  referenced->Release();
}

// Applying collects the values of the style and of the referenced styles at hand, unconverted; nothing is
// resolved through the library for it.
TEST_F(RenderBaseTest, ApplyToGraphicCollectsTheCachedChainWithoutConversion) {
  RecordingLibrarian* library = RecordingLibrarian::Create();
  TestLineStyle* style = TestLineStyle::Create(0x5, 0.5);
  TestLineStyle* referenced = TestLineStyle::Create(0x6, 0.75);
  library->Add(style->Unknown());
  const DWORD refID = library->Add(referenced->Unknown());
  style->Setup()->SetReferencedStyleID(refID);
  library->log.clear();
  tagStyleOverride record{};
  ASSERT_EQ(style->RenderItf()->ApplyToGraphic(&record), S_OK);
  EXPECT_EQ(record.colour, 0x5u);
  EXPECT_EQ(record.width, 0.5);
  EXPECT_EQ(style->lastScale, 1.0);
  EXPECT_EQ(referenced->lastScale, 0.0);
  EXPECT_THAT(library->log, IsEmpty());

  IJStyleRender* resolved = style->GetReferencedStyle();
  resolved->Release();
  record = tagStyleOverride{};
  ASSERT_EQ(style->RenderItf()->ApplyToGraphic(&record), S_OK);
  EXPECT_EQ(referenced->lastScale, 1.0);
  style->Release();
  referenced->Release();
  library->Release();
}

TEST_F(RenderBaseTest, CopyFromTakesTheReferencedStyleAndKind) {
  auto* style = new BareStyle;
  style->AddRef();
  TestLineStyle* source = TestLineStyle::Create();
  TestLineStyle* referenced = TestLineStyle::Create();
  source->Setup()->SetReferencedStyle(referenced->RenderItf());
  ASSERT_EQ(style->CopyFrom(source->Unknown(), 0), S_OK);
  DWORD kind = 0;
  style->RenderItf()->GetStyleKind(&kind);
  EXPECT_EQ(kind, STYLE_KIND_LINE);
  EXPECT_EQ(style->CachedReferencedStyle(), referenced->RenderItf());
  source->Release();
  referenced->Release();
  style->Release();
}

// Equal render styles have the same kind and the same referenced style, or referenced styles that are equal.
TEST_F(RenderBaseTest, IsEqualComparesKindAndReferencedStyles) {
  TestLineStyle* a = TestLineStyle::Create();
  TestLineStyle* b = TestLineStyle::Create();
  TestLineStyle* refA = TestLineStyle::Create(0x1, 1.0);
  TestLineStyle* refB = TestLineStyle::Create(0x1, 1.0);
  BOOL same = FALSE;
  a->Setup()->SetReferencedStyle(refA->RenderItf());
  EXPECT_EQ(a->Manage()->IsSameStyle(b->Unknown(), &same), S_OK);
  EXPECT_FALSE(same);
  b->Setup()->SetReferencedStyle(refB->RenderItf());
  EXPECT_EQ(a->Manage()->IsSameStyle(b->Unknown(), &same), S_OK);
  EXPECT_TRUE(same);
  refB->colour = 0x2;
  EXPECT_EQ(a->Manage()->IsSameStyle(b->Unknown(), &same), S_OK);
  EXPECT_FALSE(same);
  b->Setup()->SetReferencedStyle(refA->RenderItf());
  EXPECT_EQ(a->Manage()->IsSameStyle(b->Unknown(), &same), S_OK);
  EXPECT_TRUE(same);
  a->Release();
  b->Release();
  refA->Release();
  refB->Release();
}

}  // namespace

// Drawing and measuring text through the font manager: the render record a character style fills, the attribute
// record it makes current, the order and arguments of the font manager's operations, and the conversions of the
// height. The font manager's metrics are k times the current height, so every expected value is exact.
#include <algorithm>
#include <functional>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/text/text_fixtures.h"

using stylesrv_test::CallSlot;
using stylesrv_test::ClearReports;
using stylesrv_test::Reports;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr DWORD kStyleColour = 0x00112233;
constexpr DWORD kExceptionColour = 0x00ABCDEF;

std::vector<SitheFontCall> FontCalls() {
  std::vector<SitheFontCall> calls(static_cast<std::size_t>(SitheFontCallCount()));
  for (std::size_t i = 0; i < calls.size(); ++i) SitheGetFontCall(static_cast<LONG>(i), &calls[i]);
  return calls;
}

// The text operations called, without the font lookups (op 7) that come first once per font name.
std::vector<SitheFontCall> TextCalls() {
  std::vector<SitheFontCall> calls = FontCalls();
  calls.erase(std::remove_if(calls.begin(), calls.end(), [](const SitheFontCall& c) { return c.op == 7; }),
              calls.end());
  return calls;
}

std::vector<DWORD> Ops(const std::vector<SitheFontCall>& calls) {
  std::vector<DWORD> ops;
  for (const SitheFontCall& call : calls) ops.push_back(call.op);
  return ops;
}

// The record of the last op 12.
TextAttributeRecord CurrentRecord() {
  TextAttributeRecord record{};
  bool found = false;
  for (const SitheFontCall& call : FontCalls()) {
    if (call.op == 12) {
      std::memcpy(&record, call.record, sizeof record);
      found = true;
    }
  }
  EXPECT_TRUE(found) << "no record made current";
  return record;
}

RenderContextScales Context(double s11, double s12, double s13, double text, double direction) {
  RenderContextScales context{};
  context.scale11 = s11;
  context.scale12 = s12;
  context.scale13 = s13;
  context.textFactor = text;
  context.orientation = direction;
  return context;
}

// A style in Arial (font number 1) with every value the attribute record carries set apart.
StyleComPtr<IJStyleTextChar> DistinctStyle(DWORD units, DWORD sizeUnits = 12, double size = 4.0) {
  StyleComPtr<IJStyleTextChar> style = NewTextChar();
  EXPECT_EQ(style->SetFontName(L"Arial"), S_OK);
  EXPECT_EQ(style->SetLanguage(1031), S_OK);
  EXPECT_EQ(style->SetUnits(units), S_OK);
  EXPECT_EQ(style->SetSize(size, sizeUnits), S_OK);
  EXPECT_EQ(style->SetThousandths(250), S_OK);
  EXPECT_EQ(style->SetFactor(0.5), S_OK);
  EXPECT_EQ(style->SetAttributeBits(0x0006), S_OK);
  EXPECT_EQ(style->SetAngle(30.0), S_OK);
  EXPECT_EQ(style->SetColor(kStyleColour), S_OK);
  EXPECT_EQ(style->SetScaledLength(10), S_OK);
  return StyleComPtr<IJStyleTextChar>(style.Detach());
}

stylesrv_test::ServerModule& Server() {
  static stylesrv_test::ServerModule server;
  return server;
}

int g_languagesReported = 0;
void WINAPI CountLanguage(DWORD, WORD) { ++g_languagesReported; }

class TextRenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetFonts({{L"Arial", {1033, 1031}}, {L"Courier", {1033}}});
    m_previousColour = Server().SetExceptionColor(kExceptionColour);
    SitheClearFontCalls();
    ClearReports();
  }
  void TearDown() override {
    for (DWORD op : {12u, 15u, 16u, 21u, 22u, 23u, 24u}) SitheFailFontOp(op, S_OK);
    Server().SetExceptionColor(m_previousColour);
    SetFonts({});
  }

  DWORD m_previousColour = 0;
};

TEST_F(TextRenderTest, PreparedRecordTakesTheStylesValuesWhereTheRecordHasNone) {
  StyleComPtr<IJStyleTextChar> style = DistinctStyle(12);
  auto* object = static_cast<CStyleRdr2dBase*>(
      static_cast<JStyleBase*>(QueryText<IJPersist>(style.Get(), IID_IJPersist)->GetImplementation()));
  const struct {
    DWORD flags;
    WORD mask, bits;
    DWORD colour;
    WORD expectedBits;
    DWORD expectedColour, expectedFlags;
  } rows[] = {
      {0x40, 0x0003, 0x0001, 0x0, 0x0005, kStyleColour, 0x41},          // the open style bit added
      {0x41, 0x0000, 0x0010, 0x445566, 0x0016, 0x445566, 0x41},          // the caller's colour kept
      {0x40, 0xFFFF, 0x0000, 0x0, 0x0000, kStyleColour, 0x41},           // every bit the caller's
      {0x04, 0x0000, 0x0099, 0x0, 0x0006, kStyleColour, 0x45},           // unflagged bits replaced
      {0x800, 0x1234, 0x0001, 0x0, 0x0006, kStyleColour, 0x841},         // other flags kept
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.flags);
    tagStyleOverride record{};
    record.flags = row.flags;
    record.firstValue = row.mask;
    record.secondValue = row.bits;
    record.colour = row.colour;
    ASSERT_EQ(object->PrepareRenderRecord(&record, nullptr, 1.0), S_OK);
    EXPECT_EQ(record.secondValue, row.expectedBits);
    EXPECT_EQ(record.firstValue, 0xFFFF);
    EXPECT_EQ(record.colour, row.expectedColour);
    EXPECT_EQ(record.flags, row.expectedFlags);
  }
  EXPECT_EQ(object->PrepareRenderRecord(nullptr, nullptr, 1.0), S_OK);
  EXPECT_TRUE(FontCalls().empty());
}

// Height and scaled length take the style's base units scale, times the text factor for units 11, and the
// height also the record's scale when flagged; only the caller's low four flag bits pass.
TEST_F(TextRenderTest, AttributeRecordUnderContextAndRecord) {
  const RenderContextScales context = Context(2.0, 3.0, 5.0, 7.0, 1.0);
  const struct {
    DWORD units;
    bool withContext;
    DWORD recordFlags;
    double height, scaledLength;
    DWORD colour;
  } rows[] = {
      {12, true, 0x0, 12.0, 30.0, kStyleColour},
      {12, true, 0x4, 24.0, 30.0, kStyleColour},
      {11, true, 0x0, 56.0, 140.0, kStyleColour},
      {11, true, 0x5, 112.0, 140.0, 0x445566},
      {13, true, 0x2, 20.0, 50.0, kStyleColour},  // the record's units code does not change the height
      {11, false, 0x4, 8.0, 10.0, kStyleColour},  // the default context: factors 1.0
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.units << " " << row.recordFlags << " " << row.withContext);
    StyleComPtr<IJStyleTextChar> style = DistinctStyle(row.units);
    auto render = QueryText<IJStyleRenderText>(style.Get(), IID_IJStyleRenderText);
    tagStyleOverride record{};
    record.flags = row.recordFlags;
    record.unitsCode = 11;
    record.scaleFactor = 2.0;
    record.colour = 0x445566;
    double metrics[8] = {};
    SitheClearFontCalls();
    ASSERT_EQ(render->TextOp19(metrics, row.withContext ? &context : nullptr, 0x1F, &record), S_OK);
    const TextAttributeRecord made = CurrentRecord();
    EXPECT_EQ(made.fontNumber, 1);
    EXPECT_EQ(made.language, 1031);
    EXPECT_EQ(made.sizeUnits, 12u);
    EXPECT_EQ(made.height, row.height);
    EXPECT_EQ(made.thousandths, 0.25);
    EXPECT_EQ(made.factor, 0.5);
    EXPECT_EQ(made.attributeBits, 0x0006);
    EXPECT_EQ(made.callerFlags, 0xFu);
    EXPECT_EQ(made.angle, 30.0);
    EXPECT_EQ(made.colour, row.colour);
    EXPECT_EQ(made.scaledLength, row.scaledLength);
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&made);
    for (std::size_t at : {34, 35, 52, 53, 54, 55}) EXPECT_EQ(bytes[at], 0) << at;
    EXPECT_EQ(metrics[0], row.height);  // the metrics of the record made current
  }
  EXPECT_TRUE(Reports().empty());
}

// Each text operation, called by its place: op 12 first, then its own with the arguments in the font manager's
// order; a failure of either is reported and answered.
TEST_F(TextRenderTest, EachOperationMakesTheRecordCurrentThenCallsItsOwn) {
  StyleComPtr<IJStyleTextChar> style = DistinctStyle(13);
  auto render = QueryText<IJStyleRenderText>(style.Get(), IID_IJStyleRenderText);
  IJStyleRenderText* itf = render.Get();
  const RenderContextScales context = Context(1, 1, 1, 1, 0.25);
  const RenderContextScales* ctx = &context;
  const tagStyleOverride* none = nullptr;
  void* p = reinterpret_cast<void*>(0x1000);
  void* q = reinterpret_cast<void*>(0x2000);
  double metrics[8] = {};
  const DWORD m = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(metrics));
  double r[3] = {};
  const DWORD r0 = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(&r[0]));
  const TextLanguageCallback languages = &CountLanguage;
  const struct {
    const char* what;
    std::function<HRESULT()> call;
    DWORD op;
    std::vector<DWORD> words;
    std::vector<double> doubles;
    bool reportsOwnFailure;
  } rows[] = {
      {"17", [&] { return CallSlot(itf, 17, p, ctx, none); }, 14, {0x1000}, {}, true},
      {"18", [&] { return CallSlot(itf, 18, metrics, ctx, none); }, 15, {m}, {}, true},
      {"19", [&] { return CallSlot(itf, 19, metrics, ctx, DWORD{3}, none); }, 15, {m}, {}, true},
      {"20", [&] { return CallSlot(itf, 20, p, ctx, 3u, 4u, 5u, 6u, 7u, none); }, 18, {0x1000, 3, 4, 5, 6, 7}, {},
       true},
      {"21", [&] { return CallSlot(itf, 21, p, 2u, ctx, 4u, 5u, 6u, 7u, 8u, none); }, 19,
       {0x1000, 2, 4, 5, 6, 7, 8}, {}, true},
      {"22", [&] { return CallSlot(itf, 22, &r[0], &r[1], &r[2], ctx, 5u, 6u, 7u, none); }, 16,
       {r0, r0 + 8, r0 + 16, 5, 6, 7}, {}, true},
      {"23", [&] { return CallSlot(itf, 23, p, ctx, 3u, 4u, 5u, 6u, none); }, 17, {0x1000, 3, 4, 5, 6}, {0.25},
       true},
      {"23 without context",
       [&] { return CallSlot(itf, 23, p, static_cast<const RenderContextScales*>(nullptr), 3u, 4u, 5u, 6u, none); }, 17,
       {0x1000, 3, 4, 5, 6}, {-1.0}, true},
      {"24", [&] { return CallSlot(itf, 24, p, ctx, 9u, q, none); }, 22, {0x1000, 9, 0x2000}, {}, false},
      {"font operation 23", [&] { return CallSlot(itf, 25, 1u, 2u); }, 23, {1, 2}, {}, true},
      {"languages", [&] { return CallSlot(itf, 26, languages); }, 24, {}, {}, true},
      {"font operation 23 of IJStyleTextChar", [&] { return style->FontOperation23(8u, 9u); }, 23, {8, 9}, {},
       true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    SitheClearFontCalls();
    ClearReports();
    g_languagesReported = 0;
    ASSERT_EQ(row.call(), S_OK);
    std::vector<SitheFontCall> calls = TextCalls();
    if (row.op == 24) {
      // The enumeration is not among the recorded calls: it reports the current font's two languages.
      EXPECT_EQ(Ops(calls), std::vector<DWORD>{12});
      EXPECT_EQ(g_languagesReported, 2);
    } else {
      ASSERT_EQ(Ops(calls), (std::vector<DWORD>{12, row.op}));
      for (std::size_t i = 0; i < row.words.size(); ++i) EXPECT_EQ(calls[1].u[i], row.words[i]) << i;
      for (std::size_t i = 0; i < row.doubles.size(); ++i) EXPECT_EQ(calls[1].d[i], row.doubles[i]) << i;
    }
    EXPECT_TRUE(Reports().empty());

    // The font manager refuses its own operation: answered, and reported unless it is operation 22's.
    SitheFailFontOp(row.op, E_ACCESSDENIED);
    ClearReports();
    EXPECT_EQ(row.call(), E_ACCESSDENIED);
    EXPECT_EQ(Reports().size(), row.reportsOwnFailure ? 1u : 0u);
    SitheFailFontOp(row.op, S_OK);

    // It refuses the record: the operation is not called.
    SitheFailFontOp(12, E_FAIL);
    SitheClearFontCalls();
    ClearReports();
    EXPECT_EQ(row.call(), E_FAIL);
    EXPECT_EQ(Ops(TextCalls()), std::vector<DWORD>{12});
    EXPECT_FALSE(Reports().empty());
    SitheFailFontOp(12, S_OK);
  }

  // Operation 24 refuses null pointers itself, after the set-up and without a report.
  for (auto [a1, a4] : {std::pair{p, static_cast<void*>(nullptr)}, std::pair{static_cast<void*>(nullptr), q}}) {
    SitheClearFontCalls();
    ClearReports();
    EXPECT_EQ(itf->TextOp24(a1, nullptr, 0, a4, nullptr), E_INVALIDARG);
    EXPECT_EQ(Ops(TextCalls()), std::vector<DWORD>{12});
    EXPECT_TRUE(Reports().empty());
  }
  EXPECT_EQ(CallSlot(itf, 14, 0u), E_NOTIMPL);
  EXPECT_EQ(CallSlot(itf, 16, 0u), E_NOTIMPL);
}

// Drawing goes through IJStyleRender, which a character style answers with its text interface.
TEST_F(TextRenderTest, RenderDrawsTheItemThroughTheFontManager) {
  StyleComPtr<IJStyleTextChar> style = DistinctStyle(12);
  auto text = QueryText<IJStyleRenderText>(style.Get(), IID_IJStyleRenderText);
  auto render = QueryText<IJStyleRender>(style.Get(), IID_IJStyleRender);
  EXPECT_EQ(static_cast<void*>(render.Get()), static_cast<void*>(text.Get()));
  EXPECT_EQ(CallSlot(render.Get(), 3), 1);  // GetVariant
  DWORD kind = 0;
  EXPECT_EQ(CallSlot(render.Get(), 6, &kind), S_OK);  // GetStyleKind
  EXPECT_EQ(kind, DWORD{STYLE_KIND_TEXT});

  StyleComPtr<ISitheRecording> recording;
  ASSERT_EQ(SitheCreateRecordingTarget(recording.Put()), S_OK);
  auto target = QueryText<IRenderTarget2d>(recording.Get(), IID_IRenderTarget2d);
  TextDrawingState state{0x35, 0, {1.5, -2.5, 0.0}};
  TextDrawItem item{};
  item.state = &state;
  const RenderContextScales context = Context(1.0, 2.0, 1.0, 1.0, 0.5);
  const TextDrawOptions options{7.5};
  const auto draw = [&](const TextDrawItem* what, const TextDrawOptions* given) {
    return CallSlot(render.Get(), 11, reinterpret_cast<const StyleGeometryRecord*>(what), target.Get(), &context,
                    static_cast<IJStyleRender*>(nullptr), static_cast<const tagStyleOverride*>(nullptr),
                    given ? AsSeventhArgument(given) : static_cast<const StyleElementRecord*>(nullptr));
  };
  for (const TextDrawOptions* given : {static_cast<const TextDrawOptions*>(nullptr), &options}) {
    SitheClearFontCalls();
    ASSERT_EQ(draw(&item, given), S_OK);
    const std::vector<SitheFontCall> calls = TextCalls();
    ASSERT_EQ(Ops(calls), (std::vector<DWORD>{12, 21}));
    EXPECT_EQ(calls[1].u[0], static_cast<DWORD>(reinterpret_cast<UINT_PTR>(target.Get())));
    EXPECT_EQ(calls[1].u[1], static_cast<DWORD>(reinterpret_cast<UINT_PTR>(&state)));
    EXPECT_EQ(calls[1].d[0], 0.5);
    EXPECT_EQ(calls[1].d[1], given ? 7.5 : 3.0);
    const TextAttributeRecord made = CurrentRecord();
    EXPECT_EQ(made.callerFlags, 0x5u);
    EXPECT_EQ(made.height, 8.0);
    EXPECT_EQ(made.attributeBits, 0x0006);
  }
  // The target shows where the text went.
  SitheCall shown{};
  ASSERT_EQ(recording->CallCount(), 2u);
  ASSERT_EQ(recording->GetCall(1, &shown), S_OK);
  EXPECT_EQ(shown.itf, DWORD{SITHE_FONT_TEXT});
  EXPECT_EQ(std::make_tuple(shown.d[0], shown.d[1], shown.u[0]), std::make_tuple(8.0, 30.0, kStyleColour));
  double origin[3] = {};
  ASSERT_EQ(recording->GetCallPoints(1, 1, origin), S_OK);
  EXPECT_EQ(origin[1], -2.5);
  char svg[2048];
  DWORD length = 0;
  ASSERT_EQ(recording->GetSvg(svg, sizeof svg, &length), S_OK);
  EXPECT_NE(std::string(svg).find("<text fill=\"#332211\" font-size=\"8\" x=\"1.5\" y=\"2.5\""), std::string::npos);

  // No item, or an item without drawing state: refused and reported, nothing asked of the font manager.
  TextDrawItem stateless{};
  for (const TextDrawItem* bad : {static_cast<const TextDrawItem*>(nullptr), &std::as_const(stateless)}) {
    SitheClearFontCalls();
    ClearReports();
    EXPECT_EQ(draw(bad, nullptr), E_INVALIDARG);
    EXPECT_TRUE(FontCalls().empty());
    EXPECT_FALSE(Reports().empty());
  }
  SitheFailFontOp(21, E_FAIL);
  EXPECT_EQ(draw(&item, nullptr), E_FAIL);
}

TEST_F(TextRenderTest, UnknownFontDrawsInTheExceptionColourAndIsLookedUpOncePerName) {
  StyleComPtr<IJStyleTextChar> style = DistinctStyle(12);
  ASSERT_EQ(style->SetFontName(L"Nowhere"), S_OK);
  auto text = QueryText<IJStyleRenderText>(style.Get(), IID_IJStyleRenderText);
  tagStyleOverride coloured{};
  coloured.flags = 0x1;
  coloured.colour = 0x445566;
  const auto lookups = [] {
    int count = 0;
    for (const SitheFontCall& call : FontCalls()) count += call.op == 7;
    return count;
  };
  SitheClearFontCalls();
  for (int i = 0; i < 2; ++i) ASSERT_EQ(text->TextOp17(nullptr, nullptr, &coloured), S_OK);
  EXPECT_EQ(lookups(), 1);
  TextAttributeRecord made = CurrentRecord();
  EXPECT_EQ(made.fontNumber, 0);
  EXPECT_EQ(made.colour, kExceptionColour);  // over the caller's colour too

  ASSERT_EQ(style->SetFontName(L"courier"), S_OK);
  SitheClearFontCalls();
  ASSERT_EQ(text->TextOp17(nullptr, nullptr, &coloured), S_OK);
  EXPECT_EQ(lookups(), 1);
  made = CurrentRecord();
  EXPECT_EQ(made.fontNumber, 2);
  EXPECT_EQ(made.colour, 0x445566u);
  EXPECT_TRUE(Reports().empty());
}

// The stand-in's metrics are 1, 2 and 8 times the height in their first, second and eighth doubles.
TEST_F(TextRenderTest, SizeInOtherUnitsFollowsTheMetrics) {
  const struct {
    DWORD sizeUnits, asked;
    double expected;
    DWORD answeredUnits;
    bool asksFontManager;
  } rows[] = {
      {11, 11, 3.0, 11, false},         {11, 12, 6.0, 12, true},  {11, 14, 3.0 * 18288.0, 14, true},
      {12, 11, 6.0, 11, true},          {12, 13, 48.0, 13, true}, {13, 10, 24.0, 10, true},
      {10, 12, 6.0, 12, true},          {14, 11, 3.0, 11, true},  {0, 11, 3.0, 11, true},
      {12, 99, 3.0, 12, false},         {12, 0, 3.0, 12, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.sizeUnits << " in " << row.asked);
    StyleComPtr<IJStyleTextChar> style = DistinctStyle(11, row.sizeUnits, 3.0);
    SitheClearFontCalls();
    double size = 0;
    DWORD units = row.asked;
    ASSERT_EQ(style->GetSize(&size, &units), S_OK);
    EXPECT_EQ(size, row.expected);
    EXPECT_EQ(units, row.answeredUnits);
    EXPECT_EQ(!FontCalls().empty(), row.asksFontManager);
  }
  StyleComPtr<IJStyleTextChar> style = DistinctStyle(11, 12, 3.0);
  DWORD units = 13;
  EXPECT_EQ(style->GetSize(nullptr, &units), E_INVALIDARG);
  SitheFailFontOp(15, E_FAIL);
  double size = -1;
  ClearReports();
  EXPECT_EQ(style->GetSize(&size, &units), E_FAIL);
  EXPECT_EQ(size, -1);
  EXPECT_FALSE(Reports().empty());
}

TEST_F(TextRenderTest, MeasureDividesByTheFactorOfTheUnitsAndRefusesWhatItCannotDivideBy) {
  // Measured without context: height 3, so the results are 3, 6 and 9.
  StyleComPtr<IJStyleTextChar> style = DistinctStyle(12, 12, 3.0);
  auto text = QueryText<IJStyleRenderText>(style.Get(), IID_IJStyleRenderText);
  TextDrawItem item{};
  item.measureCount = 5;
  item.measureText = 0x4000;
  double factors[17] = {2.0, 4.0, 8.0};
  factors[16] = 0.5;
  const struct {
    DWORD units;
    int changed;
    double value;
    HRESULT expected;
    double divisor;
  } rows[] = {
      {11, -1, 0, S_OK, 1.0},           {12, -1, 0, S_OK, 4.0},          {13, -1, 0, S_OK, 8.0},
      {0, -1, 0, S_OK, 8.0},            {12, 1, 0.0, E_INVALIDARG, 0},   {11, 16, kNaN, E_INVALIDARG, 0},
      {11, 0, kInf, E_INVALIDARG, 0},   {13, 2, -0.0, E_INVALIDARG, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.units << " " << row.changed);
    double given[17];
    std::memcpy(given, factors, sizeof given);
    if (row.changed >= 0) given[row.changed] = row.value;
    double a = -1, b = -1;
    SitheClearFontCalls();
    ASSERT_EQ(CallSlot(text.Get(), 15, static_cast<const TextDrawItem*>(&item), 0u,
                       static_cast<const double*>(given), row.units, &a, &b),
              row.expected);
    if (FAILED(row.expected)) {
      EXPECT_EQ(std::make_pair(a, b), std::make_pair(-1.0, -1.0));
      EXPECT_TRUE(FontCalls().empty());
      continue;
    }
    EXPECT_EQ(a, 15.0 / row.divisor);
    EXPECT_EQ(b, 3.0 / row.divisor);
    const std::vector<SitheFontCall> calls = TextCalls();
    ASSERT_EQ(Ops(calls), (std::vector<DWORD>{12, 16}));
    EXPECT_EQ(std::make_tuple(calls[1].u[3], calls[1].u[4], calls[1].u[5]), std::make_tuple(0x4000ul, 5ul, 0ul));
  }
  double a = 0, b = 0;
  SitheClearFontCalls();
  EXPECT_EQ(text->MeasureInUnits(nullptr, 0, factors, 12, &a, &b), E_INVALIDARG);
  EXPECT_EQ(text->MeasureInUnits(&item, 0, nullptr, 12, &a, &b), E_INVALIDARG);
  EXPECT_EQ(text->MeasureInUnits(&item, 0, factors, 12, nullptr, &b), E_INVALIDARG);
  EXPECT_EQ(text->MeasureInUnits(&item, 0, factors, 12, &a, nullptr), E_INVALIDARG);
  EXPECT_TRUE(FontCalls().empty());
  SitheFailFontOp(16, E_FAIL);
  EXPECT_EQ(text->MeasureInUnits(&item, 0, factors, 12, &a, &b), E_FAIL);
}

}  // namespace

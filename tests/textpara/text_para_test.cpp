// The paragraph style on its own: what a new one holds, what its setters refuse, its interface at its places,
// the whole record in and out, copies and comparison.
#include <functional>
#include <limits>
#include <string>
#include <tuple>

#include "tests/textpara/para_fixtures.h"

using ::testing::IsEmpty;
using stylesrv_test::CallSlot;
using stylesrv_test::ClearReports;
using stylesrv_test::IdentityOf;
using stylesrv_test::IsReport;
using stylesrv_test::Reports;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

class TextParaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    para = NewPara();
    ASSERT_NE(para, nullptr);
    ClearReports();
  }
  void TearDown() override { para->Release(); }

  static TextParaData Defaults() {
    TextParaData d{};
    d.lineSpacing = 1.0;
    d.lineSpacingMode = 2;
    return d;
  }
  static BOOL Same(IJStyleTextPara* a, IJStyleTextPara* b) {
    BOOL same = 2;
    EXPECT_EQ(Query<IJManageStyle2>(a, IID_IJManageStyle2)->IsSameStyle(b, &same), S_OK);
    return same;
  }

  IJStyleTextPara* para = nullptr;
};

// Every refusal leaves the style as new; the mode is written even when the spacing is refused for want of a
// pointer.
TEST_F(TextParaTest, NewStyleHoldsTheDefaultsAndRefusalsChangeNothing) {
  EXPECT_TRUE(SameBytes(ReadPara(para), Defaults()));
  DWORD id = 9;
  EXPECT_EQ(para->GetCharStyleID(&id), S_OK);
  EXPECT_EQ(id, 0u);

  ParaStopEntry stops[kParaStopCount] = {};
  DWORD mode = 0;
  StyleComPtr<IUnknown> line(NewObject(CLSID_JStyleSimpleLine, IID_IUnknown));
  const struct {
    const char* what;
    std::function<HRESULT()> call;
    HRESULT hr;
  } refusals[] = {
      {"distance 1 -0.5", [&] { return para->SetDistance1(-0.5); }, E_INVALIDARG},
      {"distance 2 NaN", [&] { return para->SetDistance2(kNaN); }, E_INVALIDARG},
      {"distance 3 infinite", [&] { return para->SetDistance3(kInf); }, E_INVALIDARG},
      {"distance 4 -infinite", [&] { return para->SetDistance4(-kInf); }, E_INVALIDARG},
      {"line spacing -1", [&] { return para->SetLineSpacing(-1.0); }, E_INVALIDARG},
      {"line spacing NaN", [&] { return para->SetLineSpacing(kNaN); }, E_INVALIDARG},
      {"line spacing -1 with mode", [&] { return para->SetLineSpacingWithMode(-1.0, 7); }, E_INVALIDARG},
      {"units 10", [&] { return para->SetParaUnits(10); }, E_INVALIDARG},
      {"13 stops", [&] { return para->SetStopEntries(13, stops); }, E_INVALIDARG},
      {"no stops", [&] { return para->SetStopEntries(14, nullptr); }, E_POINTER},
      {"no stops out", [&] { return para->GetStopEntries(14, nullptr); }, E_POINTER},
      {"no character style", [&] { return para->SetCharStyle(nullptr, 1); }, E_INVALIDARG},
      {"a line as character style", [&] { return para->SetCharStyle(line.Get(), 1); }, E_NOINTERFACE},
      {"spacing out null", [&] { return para->GetLineSpacingWithMode(nullptr, &mode); }, E_INVALIDARG},
      {"mode out null", [&] { return para->GetLineSpacingWithMode(&stops[0].value, nullptr); }, E_INVALIDARG},
      {"extra value out null", [&] { return para->GetExtraValue(nullptr); }, E_INVALIDARG},
      {"character style out null", [&] { return para->GetCharStyle(nullptr); }, E_INVALIDARG},
      {"record out null", [&] { return para->GetParaData(nullptr); }, E_INVALIDARG},
      {"record in null", [&] { return para->SetParaData(nullptr, 1); }, E_INVALIDARG},
  };
  for (const auto& refusal : refusals) EXPECT_EQ(refusal.call(), refusal.hr) << refusal.what;
  EXPECT_EQ(mode, 2u);
  EXPECT_TRUE(SameBytes(ReadPara(para), Defaults()));
  EXPECT_THAT(Reports(), ::testing::Contains(::testing::Field(&PellowReport::hr, E_NOINTERFACE)));

  EXPECT_EQ(para->SetDistance1(0.0), S_OK);
  EXPECT_EQ(para->SetParaUnits(0), S_OK);
  EXPECT_EQ(para->SetLineSpacingWithMode(0.0, 0x12345), S_OK);
  double spacing = 1;
  EXPECT_EQ(para->GetLineSpacingWithMode(&spacing, &mode), S_OK);
  EXPECT_EQ(std::make_tuple(spacing, mode), std::make_tuple(0.0, DWORD{0x12345}));
}

// Every operation at its place, as a host that knows only the places calls them.
TEST_F(TextParaTest, InterfaceThroughThePlainTable) {
  StyleComPtr<IUnknown> text(NewCharStyle());
  const TextParaData v = ParaValues(1);
  ParaStopEntry stopsOut[kParaStopCount] = {};
  DWORD units = 0, mask = 0, mode = 0, id = 5;
  BYTE b1 = 0, b2 = 0;
  double d1 = 0, d2 = 0, d3 = 0, d4 = 0, d5 = 0, spacing = 0, spacing2 = 0, extra = 0;
  IUnknown* got = nullptr;
  TextParaData whole{};
  // A braced list runs its calls in order.
  const HRESULT setters[] = {
      CallSlot(para, 3, DWORD{12}),     CallSlot(para, 4, BYTE{7}),  CallSlot(para, 5, BYTE{8}),
      CallSlot(para, 6, 2.0),           CallSlot(para, 7, 1.0),      CallSlot(para, 8, 3.0),
      CallSlot(para, 9, 1.5),           CallSlot(para, 10, 1.75, DWORD{18}), CallSlot(para, 11, -9.5),
      CallSlot(para, 12, 4.0),          CallSlot(para, 13, 5.0),
      CallSlot(para, 14, kParaStopCount, static_cast<const ParaStopEntry*>(v.stops)),
      CallSlot(para, 15, text.Get(), DWORD{1}), CallSlot(para, 16, DWORD{0x3FF})};
  EXPECT_THAT(setters, ::testing::Each(S_OK));
  const HRESULT getters[] = {
      CallSlot(para, 17, &units),  CallSlot(para, 18, &b1),      CallSlot(para, 19, &b2),
      CallSlot(para, 20, &d2),     CallSlot(para, 21, &d1),      CallSlot(para, 22, &d3),
      CallSlot(para, 23, &spacing), CallSlot(para, 24, &spacing2, &mode), CallSlot(para, 25, &extra),
      CallSlot(para, 26, &d4),     CallSlot(para, 27, &d5),      CallSlot(para, 28, kParaStopCount, stopsOut),
      CallSlot(para, 29, &got),    CallSlot(para, 30, &mask),    CallSlot(para, 32, &whole)};
  EXPECT_THAT(getters, ::testing::Each(S_OK));
  EXPECT_EQ(std::make_tuple(units, b1, b2, mask, mode), std::make_tuple(DWORD{12}, BYTE{7}, BYTE{8}, DWORD{0x3FF},
                                                                          DWORD{18}));
  EXPECT_EQ(std::make_tuple(d1, d2, d3, d4, d5, spacing, spacing2, extra),
            std::make_tuple(1.0, 2.0, 3.0, 4.0, 5.0, 1.75, 1.75, -9.5));
  EXPECT_EQ(std::memcmp(stopsOut, v.stops, sizeof stopsOut), 0);
  EXPECT_EQ(IdentityOf(got), IdentityOf(text.Get()));
  EXPECT_EQ(IdentityOf(whole.charStyle), IdentityOf(text.Get()));
  got->Release();

  // The record in, the character style cleared, taken by ID and read back.
  TextParaData in = ParaValues(2);
  EXPECT_EQ(CallSlot(para, 31, static_cast<const TextParaData*>(&in), DWORD{1}), S_OK);
  EXPECT_TRUE(SameBytes(ReadPara(para), in));
  in.charStyle = text.Get();
  ASSERT_EQ(para->SetParaData(&in, 1), S_OK);
  EXPECT_EQ(CallSlot(para, 33), S_OK);
  EXPECT_EQ(CallSlot(para, 36, &id), S_OK);
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(ReadPara(para).charStyle, nullptr);
  EXPECT_EQ(CallSlot(para, 34, DWORD{0}), S_OK);
  EXPECT_EQ(CallSlot(para, 35), kNoCharStyle);
}

// The record goes in whole: a refused distance becomes 0.0, a refused units code or unusable line spacing keeps
// the style's, a negative line spacing is kept; the rest is taken and the filler reads back as zero.
TEST_F(TextParaTest, RecordInTakesWhatItCanAndSaysWhatItRefused) {
  const struct {
    const char* what;
    std::function<void(TextParaData&)> damage;
    std::function<void(TextParaData&)> expect;
    HRESULT hr;
  } rows[] = {
      {"sound", [](TextParaData&) {}, [](TextParaData&) {}, S_OK},
      {"distance 3 -1", [](TextParaData& d) { d.distance3 = -1; }, [](TextParaData& d) { d.distance3 = 0; },
       E_INVALIDARG},
      {"distance 1 NaN, distance 5 infinite", [](TextParaData& d) { d.distance1 = kNaN, d.distance5 = kInf; },
       [](TextParaData& d) { d.distance1 = 0, d.distance5 = 0; }, E_INVALIDARG},
      {"line spacing -2", [](TextParaData& d) { d.lineSpacing = -2; }, [](TextParaData& d) { d.lineSpacing = -2; },
       S_OK},
      {"line spacing NaN", [](TextParaData& d) { d.lineSpacing = kNaN; },
       [](TextParaData& d) { d.lineSpacing = 1.0; }, E_INVALIDARG},
      {"units 7", [](TextParaData& d) { d.unitsCode = 7; }, [](TextParaData& d) { d.unitsCode = 0; }, E_INVALIDARG},
      {"filler set", [](TextParaData& d) { d.filler9 = 1, d.filler12[3] = 2, d.stops[13].filler12[0] = 3; },
       [](TextParaData& d) { d.filler9 = 0, d.filler12[3] = 0, d.stops[13].filler12[0] = 0; }, S_OK},
  };
  for (const auto& row : rows) {
    IJStyleTextPara* fresh = NewPara();
    TextParaData in = ParaValues(3);
    row.damage(in);
    EXPECT_EQ(fresh->SetParaData(&in, 1), row.hr) << row.what;
    TextParaData expected = ParaValues(3);
    row.damage(expected);
    row.expect(expected);
    EXPECT_TRUE(SameBytes(ReadPara(fresh), expected)) << row.what;
    fresh->Release();
  }
}

// The record hands out the character style without a reference. Handed back in, it is the style the paragraph
// already holds, and perhaps the only holder of: it must still be there afterwards.
TEST_F(TextParaTest, CharacterStyleOfTheRecordSurvivesBeingSetBack) {
  IUnknown* text = NewCharStyle();
  ASSERT_EQ(para->SetCharStyle(text, 1), S_OK);
  text->Release();
  TextParaData d = ReadPara(para);
  ASSERT_NE(d.charStyle, nullptr);
  ASSERT_EQ(para->SetParaData(&d, 1), S_OK);
  IUnknown* got = nullptr;
  ASSERT_EQ(para->GetCharStyle(&got), S_OK);
  EXPECT_EQ(got, d.charStyle);
  EXPECT_EQ(Refs(got), 2u);  // the paragraph's and ours
  DWORD units = 0;
  EXPECT_EQ(Query<IJStyleTextChar>(got, IID_IJStyleTextChar)->GetUnits(&units), S_OK);
  EXPECT_EQ(units, 11u);

  // What the caller's pointer held is given back before the style is handed out.
  IUnknown* held = got;
  held->AddRef();
  ASSERT_EQ(para->GetCharStyle(&got), S_OK);
  EXPECT_EQ(Refs(held), 3u);
  got->Release();
  held->Release();
}

// A clone takes the record, the character style and the extra value; a whole copy the record; a partial copy
// each field its own mask leaves open, in turn.
TEST_F(TextParaTest, CopiesTakeWhatTheirMaskLeavesOpen) {
  StyleComPtr<IUnknown> text(NewCharStyle());
  TextParaData source = ParaValues(4);
  source.charStyle = text.Get();
  ASSERT_EQ(para->SetParaData(&source, 1), S_OK);
  ASSERT_EQ(para->SetExtraValue(-3.5), S_OK);

  StyleComPtr<IUnknown> clone;
  ASSERT_EQ(Query<IJPersist>(para, IID_IJPersist)->Clone(nullptr, clone.Put()), S_OK);
  StyleComPtr<IJStyleTextPara> copy = Query<IJStyleTextPara>(clone.Get(), IID_IJStyleTextPara);
  double extra = 0;
  EXPECT_EQ(copy->GetExtraValue(&extra), S_OK);
  EXPECT_EQ(extra, -3.5);
  EXPECT_TRUE(SameBytes(ReadPara(copy.Get()), ReadPara(para)));

  const struct {
    DWORD bit;
    std::function<void(TextParaData&, const TextParaData&)> keep;
  } fields[] = {
      {0x001, [](TextParaData& e, const TextParaData& t) { e.valueByte1 = t.valueByte1; }},
      {0x002, [](TextParaData& e, const TextParaData& t) { e.valueByte2 = t.valueByte2; }},
      {0x004, [](TextParaData& e, const TextParaData& t) { e.distance1 = t.distance1; }},
      {0x008, [](TextParaData& e, const TextParaData& t) { e.distance2 = t.distance2; }},
      {0x010, [](TextParaData& e, const TextParaData& t) { e.distance3 = t.distance3; }},
      {0x020, [](TextParaData& e, const TextParaData& t) {
         e.lineSpacing = t.lineSpacing, e.lineSpacingMode = t.lineSpacingMode;
       }},
      {0x040, [](TextParaData& e, const TextParaData& t) { e.distance4 = t.distance4; }},
      {0x080, [](TextParaData& e, const TextParaData& t) { e.distance5 = t.distance5; }},
      {0x100, [](TextParaData& e, const TextParaData& t) { std::memcpy(e.stops, t.stops, sizeof e.stops); }},
      {0x200, [](TextParaData& e, const TextParaData& t) { e.charStyle = t.charStyle; }},
  };
  StyleComPtr<IUnknown> ownText(NewCharStyle(12));
  for (const auto& field : fields) {
    IJStyleTextPara* target = NewPara();
    TextParaData mine = ParaValues(6);
    mine.lockMask = field.bit;
    mine.charStyle = ownText.Get();
    ASSERT_EQ(target->SetParaData(&mine, 1), S_OK);
    const TextParaData before = ReadPara(target);
    ASSERT_EQ(Query<IJManageStyle2>(target, IID_IJManageStyle2)->CopyFrom(para, 1), S_OK) << field.bit;
    // Units and mask are not copied; each open field comes from the source.
    TextParaData expected = ReadPara(para);
    expected.unitsCode = before.unitsCode;
    expected.lockMask = before.lockMask;
    field.keep(expected, before);
    EXPECT_TRUE(SameBytes(ReadPara(target), expected)) << field.bit;
    // A whole copy ignores the mask.
    ASSERT_EQ(Query<IJManageStyle2>(target, IID_IJManageStyle2)->CopyFrom(para, 0), S_OK);
    EXPECT_TRUE(SameBytes(ReadPara(target), ReadPara(para))) << field.bit;
    target->Release();
  }

  // A source without a character style takes the target's away.
  IJStyleTextPara* bare = NewPara();
  ASSERT_EQ(copy->SetParaLockMask(0), S_OK);
  ASSERT_EQ(Query<IJManageStyle2>(copy.Get(), IID_IJManageStyle2)->CopyFrom(bare, 1), S_OK);
  EXPECT_EQ(ReadPara(copy.Get()).charStyle, nullptr);
  bare->Release();
  EXPECT_THAT(Reports(), IsEmpty());
}

// Compared: units, mask, value bytes, the mode and the six doubles to within the single-precision epsilon, and the
// character style; never stops or the extra value, and never a paragraph that holds its character style as an
// object.
TEST_F(TextParaTest, ComparisonWithinTheEpsilonIgnoringStopsAndExtra) {
  constexpr double eps = 1.1920928955078125e-7;
  StyleComPtr<IUnknown> text(NewCharStyle());
  StyleComPtr<IUnknown> otherText(NewCharStyle(11, 0x0000FF));
  const struct {
    const char* what;
    std::function<void(TextParaData&)> change;
    std::function<void(IJStyleTextPara*)> then;
    BOOL same;
  } rows[] = {
      {"identical", [](TextParaData&) {}, nullptr, TRUE},
      {"distance 1 under the epsilon", [&](TextParaData& d) { d.distance1 += eps * 0.75; }, nullptr, TRUE},
      {"distance 5 at the epsilon", [&](TextParaData& d) { d.distance5 += eps * 1.0000001; }, nullptr, FALSE},
      {"line spacing", [&](TextParaData& d) { d.lineSpacing += 1e-6; }, nullptr, FALSE},
      {"stops", [](TextParaData& d) { d.stops[3].word ^= 1; }, nullptr, TRUE},
      {"extra value", [](TextParaData&) {}, [](IJStyleTextPara* p) { p->SetExtraValue(42); }, TRUE},
      {"units", [](TextParaData& d) { d.unitsCode = 14; }, nullptr, FALSE},
      {"mask", [](TextParaData& d) { d.lockMask ^= 0x200; }, nullptr, FALSE},
      {"value byte 1", [](TextParaData& d) { d.valueByte1 ^= 1; }, nullptr, FALSE},
      {"value byte 2", [](TextParaData& d) { d.valueByte2 ^= 1; }, nullptr, FALSE},
      {"mode", [](TextParaData& d) { d.lineSpacingMode ^= 1; }, nullptr, FALSE},
      {"an equal character style", [&](TextParaData&) {},
       [&](IJStyleTextPara* p) {
         StyleComPtr<IUnknown> equal(NewCharStyle());
         p->SetCharStyle(equal.Get(), 1);
       },
       TRUE},
      {"another character style", [&](TextParaData&) {},
       [&](IJStyleTextPara* p) { p->SetCharStyle(otherText.Get(), 1); }, FALSE},
      {"held as an object", [](TextParaData& d) { d.charStyleMode = 1; }, nullptr, FALSE},
  };
  TextParaData base = ParaValues(1);
  base.charStyle = text.Get();
  ASSERT_EQ(para->SetParaData(&base, 1), S_OK);
  for (const auto& row : rows) {
    IJStyleTextPara* other = NewPara();
    TextParaData d = base;
    row.change(d);
    ASSERT_EQ(other->SetParaData(&d, 1), S_OK) << row.what;
    if (row.then) row.then(other);
    EXPECT_EQ(Same(para, other), row.same) << row.what;
    EXPECT_EQ(Same(other, para), row.same) << row.what;
    other->Release();
  }
}

}  // namespace

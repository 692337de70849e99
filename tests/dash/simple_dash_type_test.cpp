// The description of a simple dash type: the record handed in and out, the lengths, the pattern length, the
// locked fields, selective copies, comparison and clones.
#include <cfloat>
#include <functional>

#include "tests/dash/dash_fixtures.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using stylesrv_test::IsReport;
using stylesrv_test::Reports;

namespace {

class SimpleDashTypeTest : public ::testing::Test {
 protected:
  void SetUp() override { stylesrv_test::ClearReports(); }
};

TEST_F(SimpleDashTypeTest, NewDashTypeIsAnEmptyDashOfTheDashStyleType) {
  DashType dash;
  DWORD units = 0, count = 99;
  EXPECT_EQ(dash.simple->GetUnits(&units), S_OK);
  EXPECT_EQ(units, 13u);
  EXPECT_EQ(dash.simple->GetCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  const tagStyleSimpleDashTypeData data = dash.Data();
  EXPECT_EQ(data.flags, 0x1000000u);
  EXPECT_EQ(data.endFraction, 0.5);
  EXPECT_EQ(data.strokesHidden, 0u);
  EXPECT_EQ(dash.LockedFields(), 0u);

  GUID category{}, clsid{};
  EXPECT_EQ(dash.manage->GetStyleCategory(&category), S_OK);
  EXPECT_TRUE(IsEqualGUID(category, STYLETYPE_Dash));
  EXPECT_EQ(dash.persist->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_JStyleSimpleDashType));

  // The second CLSID makes the same class.
  {
    DashType second(CLSID_JStyleSimpleDashType2);
    ASSERT_NE(second.persist, nullptr);
    EXPECT_EQ(second.persist->GetClassID(&clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_JStyleSimpleDashType));
  }
  EXPECT_THAT(Reports(), IsEmpty());
}

TEST_F(SimpleDashTypeTest, SetDataTakesTheRecordAndNormalisesItsFlags) {
  DashType dash;
  dash.simple->SetLockedFields(0x55);
  const double lengths[] = {4, -2, 1};
  tagStyleSimpleDashTypeData in{12, 3, lengths, 0x7E000022, 0.25, 1};
  ASSERT_EQ(dash.simple->SetData(&in), S_OK);
  std::vector<double> out;
  tagStyleSimpleDashTypeData data = dash.Data(&out);
  EXPECT_EQ(data.unitsCode, 12u);
  EXPECT_THAT(out, ElementsAre(4, -2, 1));
  // Bits 25-30 go, bit 24 marks the current form, bit 4 follows the record's own flag.
  EXPECT_EQ(data.flags, 0x1000032u);
  EXPECT_EQ(data.strokesHidden, 1u);
  EXPECT_EQ(data.endFraction, 0.25);
  EXPECT_EQ(dash.LockedFields(), 0x55u);  // SetData leaves the editor's mask alone
  EXPECT_EQ(dash.simple->GetLockedFields(nullptr), S_OK);

  // An old-form word stands for mode 1 and keeps nothing else.
  in.flags = 0x80000FF0;
  in.strokesHidden = 0;
  ASSERT_EQ(dash.simple->SetData(&in), S_OK);
  EXPECT_EQ(dash.Data().flags, 0x1000001u);
  in.flags = 0x80000000;
  in.strokesHidden = 7;
  ASSERT_EQ(dash.simple->SetData(&in), S_OK);
  EXPECT_EQ(dash.Data().flags, 0x1000011u);
  EXPECT_THAT(Reports(), IsEmpty());
}

// Every refused call answers E_INVALIDARG, reports where it arrived (a null record is refused without a
// report) and leaves the description as it was.
TEST_F(SimpleDashTypeTest, RefusedCallsChangeNothing) {
  DashType dash, empty;
  ASSERT_EQ(dash.Set({4, -2}, 2, 0.25), S_OK);
  const double nine[] = {9};
  tagStyleSimpleDashTypeData noLengths{11, 0, nine, 1, 0.75, 1};
  tagStyleSimpleDashTypeData nullLengths{0, 3, nullptr, 0, 0, 0};
  double buffer[3] = {};
  DWORD count = 3;
  struct Case {
    const char* what;
    std::function<HRESULT()> call;
    std::vector<std::pair<const char*, int>> reports;
  };
  const Case cases[] = {
      {"SetData without lengths", [&] { return dash.simple->SetData(&noLengths); }, {{kSimpleDashSource, 1654}}},
      {"SetData of null", [&] { return dash.simple->SetData(nullptr); }, {}},
      {"SetLengths of null", [&] { return dash.simple->SetLengths(4, nullptr); }, {{kSimpleDashSource, 1525}}},
      {"GetData into null lengths", [&] { return dash.simple->GetData(&nullLengths); }, {{kSimpleDashSource, 1737}}},
      {"GetLengths into null", [&] { return dash.simple->GetLengths(&count, nullptr); }, {{kSimpleDashSource, 1618}}},
      {"GetLengths of null count", [&] { return dash.simple->GetLengths(nullptr, buffer); },
       {{kSimpleDashSource, 1611}}},
      {"GetUnits", [&] { return dash.simple->GetUnits(nullptr); }, {{kSimpleDashSource, 1493}}},
      {"GetCount", [&] { return dash.simple->GetCount(nullptr); }, {{kSimpleDashSource, 1577}}},
      {"CopyFrom null", [&] { return dash.manage->CopyFrom(nullptr, 0); },
       {{kDashTypeSource, 1386}, {kSimpleDashSource, 2382}}},
      {"CopyFrom a dash without lengths", [&] { return dash.manage->CopyFrom(empty.unknown, 0); },
       {{kSimpleDashSource, 2408}}},
  };
  for (const Case& c : cases) {
    stylesrv_test::ClearReports();
    EXPECT_EQ(c.call(), E_INVALIDARG) << c.what;
    std::vector<::testing::Matcher<PellowReport>> expected;
    for (const auto& [source, at] : c.reports) expected.push_back(IsReport(E_INVALIDARG, source, at));
    EXPECT_THAT(Reports(), ::testing::ElementsAreArray(expected)) << c.what;
    std::vector<double> kept;
    const tagStyleSimpleDashTypeData data = dash.Data(&kept);
    EXPECT_THAT(kept, ElementsAre(4, -2)) << c.what;
    EXPECT_EQ(data.unitsCode, 13u) << c.what;
    EXPECT_EQ(data.flags, 0x1000002u) << c.what;
    EXPECT_EQ(data.endFraction, 0.25) << c.what;
  }
}

TEST_F(SimpleDashTypeTest, TooSmallBuffersAnswer8AndWriteNothingButTheUnits) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2, 1}, 1, 0.25, 12), S_OK);

  double buffer[3] = {-7, -7, -7};
  tagStyleSimpleDashTypeData data{99, 2, buffer, 0xABCD, 9.0, 5};
  EXPECT_EQ(dash.simple->GetData(&data), kDashBufferTooSmall);
  EXPECT_EQ(data.unitsCode, 12u);
  EXPECT_EQ(data.count, 2u);
  EXPECT_EQ(data.flags, 0xABCDu);
  EXPECT_EQ(data.endFraction, 9.0);
  EXPECT_EQ(data.strokesHidden, 5u);
  EXPECT_THAT(buffer, ElementsAre(-7, -7, -7));

  DWORD count = 2;
  EXPECT_EQ(dash.simple->GetLengths(&count, buffer), kDashBufferTooSmall);
  EXPECT_EQ(count, 2u);
  EXPECT_THAT(buffer, ElementsAre(-7, -7, -7));
  count = 5;
  EXPECT_EQ(dash.simple->GetLengths(&count, buffer), S_OK);
  EXPECT_EQ(count, 3u);
  EXPECT_THAT(buffer, ElementsAre(4, -2, 1));
  EXPECT_THAT(Reports(), IsEmpty());
}

TEST_F(SimpleDashTypeTest, SetLengthsReplacesOnlyTheLengths) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}, 2, 0.25, 11), S_OK);
  const double lengths[] = {1, -1, 3, -3};
  EXPECT_EQ(dash.simple->SetLengths(4, lengths), S_OK);
  const tagStyleSimpleDashTypeData data = dash.Data();
  EXPECT_THAT(dash.Lengths(), ElementsAre(1, -1, 3, -3));
  EXPECT_EQ(data.unitsCode, 11u);
  EXPECT_EQ(data.flags, 0x1000002u);
  // Setting no lengths leaves a dash type that draws solid.
  EXPECT_EQ(dash.simple->SetLengths(0, lengths), S_OK);
  EXPECT_THAT(dash.Lengths(), IsEmpty());
}

TEST_F(SimpleDashTypeTest, PatternLengthShowsTheEndFractionOnlyWhenStretched) {
  DashType dash;
  double length = 0;
  DWORD mode = 99;
  ASSERT_EQ(dash.Set({4, -2}, 1, 0.25), S_OK);
  EXPECT_EQ(dash.simple->GetPatternLength(&mode, &length), S_OK);
  EXPECT_EQ(mode, 1u);
  EXPECT_EQ(length, 4.0);  // 6 - 4 + 2 * 4 * 0.25

  ASSERT_EQ(dash.Set({4, -2}, 0, 0.25), S_OK);
  EXPECT_EQ(dash.simple->GetPatternLength(&mode, &length), S_OK);
  EXPECT_EQ(mode, 0u);
  EXPECT_EQ(length, 6.0);

  // An empty last entry keeps the whole first entry; empty entries add nothing.
  ASSERT_EQ(dash.Set({4, -2, -DBL_MAX}, 1, 0.25), S_OK);
  EXPECT_EQ(dash.simple->GetPatternLength(&mode, &length), S_OK);
  EXPECT_EQ(length, 6.0);
  ASSERT_EQ(dash.Set({-DBL_MAX, 3, 0}, 1, 0.25), S_OK);
  EXPECT_EQ(dash.simple->GetPatternLength(&mode, &length), S_OK);
  EXPECT_EQ(length, 3.0);
  ASSERT_EQ(dash.Set({8, -2, 2}, 9, 0.5), S_OK);
  EXPECT_EQ(dash.simple->GetPatternLength(&mode, &length), S_OK);
  EXPECT_EQ(mode, 9u);
  EXPECT_EQ(length, 12.0);
}

TEST_F(SimpleDashTypeTest, FullCopyTakesTheWholeDescriptionAndClearsTheMask) {
  DashType source, copy;
  ASSERT_EQ(source.Set({5, -1, 2}, 0x22, 0.125, 12), S_OK);
  ASSERT_EQ(copy.Set({1, -1}, 0, 0.5, 11), S_OK);
  copy.simple->SetLockedFields(0x33);
  EXPECT_EQ(copy.manage->CopyFrom(source.unknown, 0), S_OK);
  std::vector<double> lengths;
  const tagStyleSimpleDashTypeData data = copy.Data(&lengths);
  EXPECT_THAT(lengths, ElementsAre(5, -1, 2));
  EXPECT_EQ(data.unitsCode, 12u);
  EXPECT_EQ(data.flags, 0x1000022u);
  EXPECT_EQ(data.endFraction, 0.125);
  EXPECT_EQ(copy.LockedFields(), 0u);
  EXPECT_THAT(Reports(), IsEmpty());
}

TEST_F(SimpleDashTypeTest, SelectiveCopyLeavesTheLockedFields) {
  DashType source;
  ASSERT_EQ(source.Set({5, -1, 2}, 0x32, 0.125, 12), S_OK);

  DashType lengthsLocked;
  ASSERT_EQ(lengthsLocked.Set({1, -1}, 0x21, 0.5, 11), S_OK);
  lengthsLocked.simple->SetLockedFields(0x1);
  EXPECT_EQ(lengthsLocked.manage->CopyFrom(source.unknown, 1), S_OK);
  std::vector<double> lengths;
  tagStyleSimpleDashTypeData data = lengthsLocked.Data(&lengths);
  EXPECT_THAT(lengths, ElementsAre(1, -1));
  EXPECT_EQ(data.flags, 0x1000032u);  // the source's mode and hidden flag, its own restart bit
  EXPECT_EQ(data.endFraction, 0.125);
  EXPECT_EQ(data.unitsCode, 11u);     // never taken by a selective copy
  EXPECT_EQ(lengthsLocked.LockedFields(), 0x1u);

  DashType restLocked;
  ASSERT_EQ(restLocked.Set({1, -1}, 0x1, 0.5, 11), S_OK);
  restLocked.simple->SetLockedFields(0x2 | 0x10 | 0x20);
  EXPECT_EQ(restLocked.manage->CopyFrom(source.unknown, 1), S_OK);
  data = restLocked.Data(&lengths);
  EXPECT_THAT(lengths, ElementsAre(5, -1, 2));
  EXPECT_EQ(data.flags, 0x1000001u);
  EXPECT_EQ(data.endFraction, 0.5);
  EXPECT_THAT(Reports(), IsEmpty());
}

// A style of another kind has nothing to copy: nothing changes and nothing is reported.
TEST_F(SimpleDashTypeTest, CopyFromIgnoresOtherStyles) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}), S_OK);
  TestDashClient* other = TestDashClient::Create("other", nullptr);
  EXPECT_EQ(dash.manage->CopyFrom(other->Unknown(), 0), S_OK);
  other->Release();
  EXPECT_THAT(dash.Lengths(), ElementsAre(4, -2));
  EXPECT_THAT(Reports(), IsEmpty());
}

TEST_F(SimpleDashTypeTest, EqualityToleratesTinyDifferencesOnly) {
  DashType a, b;
  ASSERT_EQ(a.Set({4, -2}, 2, 0.25), S_OK);
  ASSERT_EQ(b.Set({4 + 1e-8, -2 - 1e-8}, 2, 0.25 + 1e-8), S_OK);
  BOOL same = FALSE;
  EXPECT_EQ(a.manage->IsSameStyle(b.unknown, &same), S_OK);
  EXPECT_TRUE(same);

  ASSERT_EQ(b.Set({4 + 1e-6, -2}, 2, 0.25), S_OK);
  EXPECT_EQ(a.manage->IsSameStyle(b.unknown, &same), S_OK);
  EXPECT_FALSE(same);
  ASSERT_EQ(b.Set({4, -2}, 0, 0.25), S_OK);
  EXPECT_EQ(a.manage->IsSameStyle(b.unknown, &same), S_OK);
  EXPECT_FALSE(same);
  ASSERT_EQ(b.Set({4, -2}, 2, 0.25, 12), S_OK);
  EXPECT_EQ(a.manage->IsSameStyle(b.unknown, &same), S_OK);
  EXPECT_FALSE(same);
  ASSERT_EQ(b.Set({4, -2, 0}, 2, 0.25), S_OK);
  EXPECT_EQ(a.manage->IsSameStyle(b.unknown, &same), S_OK);
  EXPECT_FALSE(same);
  // Not numbers are never equal.
  ASSERT_EQ(a.Set({4, std::numeric_limits<double>::quiet_NaN()}), S_OK);
  ASSERT_EQ(b.Set({4, std::numeric_limits<double>::quiet_NaN()}), S_OK);
  EXPECT_EQ(a.manage->IsSameStyle(b.unknown, &same), S_OK);
  EXPECT_FALSE(same);
}

TEST_F(SimpleDashTypeTest, CloneCopiesTheDescriptionAndRemembersHiddenStrokes) {
  DashType source;
  ASSERT_EQ(source.Set({4, -2, 1}, 0x22, 0.25, 12), S_OK);
  source.simple->SetLockedFields(0x13);
  IUnknown* object = nullptr;
  ASSERT_EQ(source.persist->Clone(nullptr, &object), S_OK);
  DashType clone(object);
  std::vector<double> lengths;
  const tagStyleSimpleDashTypeData data = clone.Data(&lengths);
  EXPECT_THAT(lengths, ElementsAre(4, -2, 1));
  EXPECT_EQ(data.unitsCode, 12u);
  EXPECT_EQ(data.flags, 0x1000022u);
  EXPECT_EQ(data.endFraction, 0.25);
  EXPECT_EQ(clone.LockedFields(), 0u);
  BOOL same = FALSE;
  EXPECT_EQ(source.manage->IsSameStyle(clone.unknown, &same), S_OK);
  EXPECT_TRUE(same);

  // A clone of a style whose strokes are hidden carries that in its clone flag, so the two differ.
  ASSERT_EQ(source.Set({4, -2}, DASH_STROKES_HIDDEN), S_OK);
  ASSERT_EQ(source.persist->Clone(nullptr, &object), S_OK);
  DashType hiddenClone(object);
  EXPECT_EQ(hiddenClone.Data().flags, source.Data().flags);
  EXPECT_EQ(source.manage->IsSameStyle(hiddenClone.unknown, &same), S_OK);
  EXPECT_FALSE(same);
}

TEST_F(SimpleDashTypeTest, InterfacesTheDashTypeDoesNotOfferAnswerNotImplemented) {
  DashType dash;
  EXPECT_EQ(dash.list->NotOffered3(0), E_NOTIMPL);
  EXPECT_EQ(dash.list->NotOffered7(0, 0), E_NOTIMPL);
  EXPECT_EQ(dash.list->NotOffered10(0, 0, 0, 0, 0), E_NOTIMPL);
  EXPECT_EQ(dash.render->NotOffered3(0), E_NOTIMPL);

  // A dash type refers to no other style.
  IJStyleSetup2d* setup = nullptr;
  ASSERT_EQ(dash.unknown->QueryInterface(IID_IJStyleSetup2d, reinterpret_cast<void**>(&setup)), S_OK);
  EXPECT_EQ(setup->SetReferencedStyleID(7), S_OK);
  DWORD id = 99;
  EXPECT_EQ(setup->GetReferencedStyleID(&id), S_OK);
  EXPECT_EQ(id, 0u);
  IJStyleRender* referenced = reinterpret_cast<IJStyleRender*>(0x1);
  EXPECT_EQ(setup->GetReferencedStyle(&referenced), S_OK);
  EXPECT_EQ(referenced, nullptr);
  setup->Release();
  IUnknown* none = nullptr;
  EXPECT_EQ(dash.unknown->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&none)), E_NOINTERFACE);
}

}  // namespace

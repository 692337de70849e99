// The symbol fill on its own: its interface through a plain table, the index and value rules, the slot list,
// the whole description in both directions and what it puts into render records.
#include <functional>
#include <limits>
#include <numbers>
#include <string>

#include "tests/fills/symbol_fill_fixtures.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using stylesrv_test::Reports;

namespace {

constexpr double kPi = std::numbers::pi;

class SymbolFillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterSymbolFillVersions();
    stylesrv_test::ClearReports();
  }
  void TearDown() override { EXPECT_EQ(host_app::LiveObjects(), 0) << "a symbol is still held"; }
};

template <class F>
F Op(IJStyleSymbolFill* fill, int n) {
  return reinterpret_cast<F>((*reinterpret_cast<void***>(fill))[n]);
}

TEST_F(SymbolFillTest, InterfaceSlotsKeepTheirPlaces) {
  StyleComPtr<IJStyleSymbolFill> fill = NewSymbolFill();
  IJStyleSymbolFill* f = fill.Get();
  using Add = HRESULT(STDMETHODCALLTYPE*)(IJStyleSymbolFill*, const SymbolSlotRecord*, DWORD*);
  using SetIndexed = HRESULT(STDMETHODCALLTYPE*)(IJStyleSymbolFill*, LONG, DWORD);
  using GetIndexed = HRESULT(STDMETHODCALLTYPE*)(IJStyleSymbolFill*, LONG, double*);
  using SetWord = HRESULT(STDMETHODCALLTYPE*)(IJStyleSymbolFill*, DWORD);
  using GetWord = HRESULT(STDMETHODCALLTYPE*)(IJStyleSymbolFill*, DWORD*);
  using GetAll = HRESULT(STDMETHODCALLTYPE*)(IJStyleSymbolFill*, SymbolFillData*);
  DWORD units = 0, count = 9, index = 9;
  ASSERT_EQ(Op<GetWord>(f, 4)(f, &units), S_OK);
  ASSERT_EQ(Op<GetWord>(f, 5)(f, &count), S_OK);
  EXPECT_EQ(units, 11u);
  EXPECT_EQ(count, 0u);
  const SymbolSlotRecord slot = Slot(3);
  ASSERT_EQ(Op<Add>(f, 24)(f, &slot, &index), S_OK);
  ASSERT_EQ(Op<Add>(f, 24)(f, &slot, &index), S_OK);
  EXPECT_EQ(index, 1u);
  ASSERT_EQ(Op<SetIndexed>(f, 6)(f, 1, 0x123), S_OK);   // SetSlotColor
  ASSERT_EQ(Op<SetIndexed>(f, 28)(f, 1, 0), S_OK);      // MoveSlot
  ASSERT_EQ(Op<SetWord>(f, 29)(f, 0xBEEF), S_OK);       // SetFillTag
  double scale = 0;
  ASSERT_EQ(Op<GetIndexed>(f, 13)(f, 0, &scale), S_OK);  // GetSlotScale
  SymbolFillData data{};
  ASSERT_EQ(Op<GetAll>(f, 36)(f, &data), S_OK);
  EXPECT_EQ(scale, 3.5);
  EXPECT_EQ(data.fillTag, 0xBEEFu);
  EXPECT_EQ(data.slots[0]->color, 0x123u);
  FreeSymbolFillData(&data);
}

// Each refused call answers its code, reported or not as the fill's rules say, and leaves the whole fill as it
// was, its symbols included.
TEST_F(SymbolFillTest, RefusedCallsChangeNothing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  using Call = std::function<HRESULT(IJStyleSymbolFill*)>;
  struct Case {
    std::string name;
    bool slots;
    Call call;
    HRESULT expected = E_INVALIDARG;
    bool reported = true;
  };
  // Adds (index -1), replaces (index 1) or sets as the whole fill (index 2, after a null entry) a slot whose
  // field has the value.
  const auto slotWith = [](double SymbolSlotRecord::*field, double value, int how) -> Call {
    return [=](IJStyleSymbolFill* f) {
      SymbolSlotRecord good = Slot(1), bad = Slot(7);
      bad.*field = value;
      DWORD index = 0;
      SymbolSlotRecord* slots[] = {&good, nullptr, &bad};
      const SymbolFillData data{0, 1, 0, 0, 0, 0, 11, 2, 3, slots};
      return how < 0 ? f->AddSlot(&bad, &index) : how == 1 ? f->ReplaceSlot(1, &bad) : f->SetAllSlots(&data);
    };
  };
  const auto whole = [](LONG highest, LONG capacity, bool array, DWORD units = 11) -> Call {
    return [=](IJStyleSymbolFill* f) {
      SymbolSlotRecord slot = Slot(1);
      SymbolSlotRecord* slots[] = {&slot, &slot};
      const SymbolFillData data{0, 1, 0, 0, 0, 0, units, highest, capacity, array ? slots : nullptr};
      return f->SetAllSlots(&data);
    };
  };
  double d;
  DWORD w;
  SymbolSlotRecord r;
  const GPosition unusable(0, nan, 0);
  const Case cases[] = {
      {"new fill, colour 0", false, [&](IJStyleSymbolFill* f) { return f->GetSlotColor(0, &w); }},
      {"new fill, angle 0", false, [](IJStyleSymbolFill* f) { return f->SetSlotAngle(0, 1.0); }},
      {"new fill, record 0", false, [&](IJStyleSymbolFill* f) { return f->GetSlotRecord(0, &r); }},
      {"index -1", true, [](IJStyleSymbolFill* f) { return f->RemoveSlot(-1); }},
      {"index = count", true, [&](IJStyleSymbolFill* f) { return f->GetSlotSpacingY(2, &d); }},
      {"null out", true, [](IJStyleSymbolFill* f) { return f->GetSlotAngle(0, nullptr); }},
      {"move from count", true, [](IJStyleSymbolFill* f) { return f->MoveSlot(2, 0); }},
      {"spacing 1e-9", true, [](IJStyleSymbolFill* f) { return f->SetSlotSpacingX(0, 1e-9); }},
      {"spacing NaN", true, [nan](IJStyleSymbolFill* f) { return f->SetSlotSpacingY(1, nan); }},
      {"scale 1e-9", true, [](IJStyleSymbolFill* f) { return f->SetSlotScale(0, -1e-9); }, E_FAIL, false},
      {"scale infinite", true, [inf](IJStyleSymbolFill* f) { return f->SetSlotScale(1, inf); }, E_FAIL, false},
      {"angle NaN", true, [nan](IJStyleSymbolFill* f) { return f->SetSlotAngle(0, nan); }},
      {"shift infinite", true, [inf](IJStyleSymbolFill* f) { return f->SetSlotColumnShift(0, -inf); }},
      {"offset NaN", true, [&](IJStyleSymbolFill* f) { return f->SetSlotOffset(0, &unusable); }},
      {"rotation NaN", true, [nan](IJStyleSymbolFill* f) { return f->SetFillRotation(nan); }},
      {"origin NaN", true, [&](IJStyleSymbolFill* f) { return f->SetFillOrigin(&unusable); }},
      {"units 15", true, [](IJStyleSymbolFill* f) { return f->SetUnits(15); }},
      {"graphic of no graphic", true, [](IJStyleSymbolFill* f) { return f->SetSlotGraphic(0, f); }, E_NOINTERFACE},
      {"added with spacing 0", true, slotWith(&SymbolSlotRecord::spacingY, 0.0, -1)},
      {"added with offset z infinite", true, slotWith(&SymbolSlotRecord::offsetZ, inf, -1)},
      {"replaced with scale 1e-8", true, slotWith(&SymbolSlotRecord::scale, 1e-8, 1)},
      {"all, a record with angle NaN", true, slotWith(&SymbolSlotRecord::angle, nan, 2)},
      {"all, highest -2", true, whole(-2, 0, false)},
      {"all, highest = capacity", true, whole(1, 1, true)},
      {"all, slots without array", true, whole(0, 5, false)},
      {"all, units 9", true, whole(-1, 0, false, 9)},
  };
  StyleComPtr<IJGraphic> a = Symbol(1), b = Symbol(2);
  for (const Case& c : cases) {
    StyleComPtr<IJStyleSymbolFill> fill = NewSymbolFill();
    if (c.slots) AddSlots(fill.Get(), {Slot(1, a.Get()), Slot(2, b.Get())});
    SymbolFillData before = AllOf(fill.Get());
    stylesrv_test::ClearReports();
    EXPECT_EQ(c.call(fill.Get()), c.expected) << c.name;
    EXPECT_EQ(Reports().empty(), !c.reported) << c.name;
    if (c.reported && !Reports().empty()) {
      EXPECT_EQ(Reports().front().hr, c.expected) << c.name;
    }
    SymbolFillData after = AllOf(fill.Get());
    EXPECT_TRUE(SameData(before, after)) << c.name;
    FreeSymbolFillData(&before);
    FreeSymbolFillData(&after);
  }
}

TEST_F(SymbolFillTest, AcceptedValuesFollowTheirRules) {
  StyleComPtr<IJStyleSymbolFill> fill = NewSymbolFill();
  AddSlots(fill.Get(), {Slot(1), Slot(2), Slot(3)});
  ASSERT_EQ(fill->SetSlotAngle(0, -kPi / 2), S_OK);
  ASSERT_EQ(fill->SetSlotAngle(1, 7.0), S_OK);
  ASSERT_EQ(fill->SetSlotAngle(2, -7.0), S_OK);
  ASSERT_EQ(fill->SetSlotColumnShift(0, 0.25), S_OK);
  ASSERT_EQ(fill->SetSlotRowShift(0, 0.5), S_OK);
  ASSERT_EQ(fill->SetSlotColumnShift(1, 0.25), S_OK);
  ASSERT_EQ(fill->SetSlotRowShift(1, 0.0), S_OK);
  ASSERT_EQ(fill->SetSlotSpacingX(2, -0.5), S_OK);  // the magnitude counts
  const GPosition raised(1, 2, 5);
  ASSERT_EQ(fill->SetFillOrigin(&raised), S_OK);
  SymbolFillData data = AllOf(fill.Get());
  EXPECT_DOUBLE_EQ(data.slots[0]->angle, 3 * kPi / 2);
  EXPECT_EQ(data.slots[1]->angle, 7.0);
  EXPECT_DOUBLE_EQ(data.slots[2]->angle, 2 * kPi - 7.0);  // 2 pi added once: still negative
  EXPECT_EQ(data.slots[0]->rowShift, 0.5);
  EXPECT_EQ(data.slots[0]->columnShift, 0.0);
  EXPECT_EQ(data.slots[1]->rowShift, 0.0);
  EXPECT_EQ(data.slots[1]->columnShift, 0.25);
  EXPECT_EQ(data.slots[2]->spacingX, -0.5);
  EXPECT_EQ(data.originZ, 0.0);
  // The whole description keeps the z it is given.
  data.originZ = 5.0;
  ASSERT_EQ(fill->SetAllSlots(&data), S_OK);
  GPosition origin;
  ASSERT_EQ(fill->GetFillOrigin(&origin), S_OK);
  EXPECT_EQ(origin.z, 5.0);
  FreeSymbolFillData(&data);
  EXPECT_THAT(Reports(), IsEmpty());
}

// Slots tell apart by their colour; each case starts from slots 0 .. n - 1.
TEST_F(SymbolFillTest, SlotListKeepsItsOrder) {
  struct Case {
    std::string name;
    DWORD slots;
    std::function<HRESULT(IJStyleSymbolFill*)> edit;
    std::vector<DWORD> expected;
    LONG capacity;
  };
  const Case cases[] = {
      {"a sixth slot grows the array", 6, [](IJStyleSymbolFill*) { return S_OK; }, {0, 1, 2, 3, 4, 5}, 10},
      {"remove 1 of 3", 3, [](IJStyleSymbolFill* f) { return f->RemoveSlot(1); }, {0, 2}, 5},
      {"replace keeps the index", 3,
       [](IJStyleSymbolFill* f) {
         const SymbolSlotRecord slot = Slot(9);
         return f->ReplaceSlot(1, &slot);
       },
       {0, 9, 2}, 5},
      {"move forward", 4, [](IJStyleSymbolFill* f) { return f->MoveSlot(0, 2); }, {1, 2, 0, 3}, 5},
      {"move back", 4, [](IJStyleSymbolFill* f) { return f->MoveSlot(3, 1); }, {0, 3, 1, 2}, 5},
      {"move past the end", 4, [](IJStyleSymbolFill* f) { return f->MoveSlot(1, 99); }, {0, 2, 3, 1}, 5},
      {"move before the start", 4, [](IJStyleSymbolFill* f) { return f->MoveSlot(2, -4); }, {2, 0, 1, 3}, 5},
  };
  for (const Case& c : cases) {
    StyleComPtr<IJStyleSymbolFill> fill = NewSymbolFill();
    for (DWORD i = 0; i < c.slots; ++i) AddSlots(fill.Get(), {Slot(i)});
    ASSERT_EQ(c.edit(fill.Get()), S_OK) << c.name;
    EXPECT_EQ(Colours(fill.Get()), c.expected) << c.name;
    SymbolFillData data = AllOf(fill.Get());
    EXPECT_EQ(data.slotCapacity, c.capacity) << c.name;
    FreeSymbolFillData(&data);
  }
}

// What GetAllSlots hands out can be given back; a fill never given a slot has no array at all.
TEST_F(SymbolFillTest, AllSlotsGoBothWays) {
  StyleComPtr<IJStyleSymbolFill> fill = NewSymbolFill();
  SymbolFillData data = AllOf(fill.Get());
  EXPECT_EQ(data.highestSlot, -1);
  EXPECT_EQ(data.slotCapacity, 0);
  EXPECT_EQ(data.slots, nullptr);
  ASSERT_EQ(fill->SetAllSlots(&data), S_OK);

  StyleComPtr<IJGraphic> symbol = Symbol(1);
  AddSlots(fill.Get(), {Slot(4, symbol.Get())});
  ASSERT_EQ(fill->SetFillRotation(0.5), S_OK);
  data = AllOf(fill.Get());
  ASSERT_EQ(data.slotCapacity, 5);
  EXPECT_THAT(std::vector<SymbolSlotRecord*>(data.slots + 1, data.slots + 5), ::testing::Each(nullptr));
  EXPECT_EQ(data.slots[0]->graphic, symbol.Get());
  EXPECT_EQ(data.slots[0]->graphicID, kInvalidStyleID);  // no owner to name it
  // Given back to another fill with an empty entry between, and one past the highest that is not read.
  data.slots[2] = data.slots[0];
  data.slots[4] = data.slots[0];
  data.highestSlot = 2;
  StyleComPtr<IJStyleSymbolFill> copy = NewSymbolFill();
  ASSERT_EQ(copy->SetAllSlots(&data), S_OK);
  data.slots[2] = data.slots[4] = nullptr;
  FreeSymbolFillData(&data);
  EXPECT_THAT(Colours(copy.Get()), ElementsAre(4u, 4u));
  ASSERT_EQ(copy->RemoveSlot(1), S_OK);
  BOOL same = FALSE;
  ASSERT_EQ(Query<IJManageStyle2>(fill.Get(), IID_IJManageStyle2)->IsSameStyle(copy.Get(), &same), S_OK);
  EXPECT_TRUE(same);
  // Emptied, the fill keeps its array.
  ASSERT_EQ(fill->RemoveSlot(0), S_OK);
  data = AllOf(fill.Get());
  EXPECT_EQ(data.highestSlot, -1);
  EXPECT_EQ(data.slotCapacity, 5);
  FreeSymbolFillData(&data);
  EXPECT_THAT(Reports(), IsEmpty());
}

// What the fill puts into a record it is applied to: its rotation and scale 1 where the record has none, and
// its units where the record names none.
TEST_F(SymbolFillTest, AppliedRecordTakesRotationScaleAndUnits) {
  struct Case {
    DWORD flagsIn;
    DWORD unitsIn;
    double rotation, scale;
    DWORD units;
  };
  const DWORD both = OVR_ROTATION | OVR_SCALE;
  const Case cases[] = {
      {0, 0, 0.75, 1.0, 12},
      {OVR_ROTATION, 13, 9.0, 1.0, 13},
      {OVR_SCALE | OVR_COLOUR, 0, 0.75, 9.0, 12},
  };
  for (const Case& c : cases) {
    StyleComPtr<IJStyleSymbolFill> fill = NewSymbolFill();
    ASSERT_EQ(fill->SetFillRotation(0.75), S_OK);
    ASSERT_EQ(fill->SetUnits(12), S_OK);
    tagStyleOverride record = EmptyRecord();
    record.flags = c.flagsIn;
    record.unitsCode = c.unitsIn;
    record.rotationAngle = record.scaleFactor = 9.0;
    ASSERT_EQ(Query<IJStyleRender>(fill.Get(), IID_IJStyleRender)->ApplyToGraphic(&record), S_OK);
    EXPECT_EQ(record.flags, c.flagsIn | both);
    EXPECT_EQ(record.rotationAngle, c.rotation);
    EXPECT_EQ(record.scaleFactor, c.scale);
    EXPECT_EQ(record.unitsCode, c.units);
  }
}

}  // namespace

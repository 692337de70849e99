// The hatch fill on its own: its interface through a plain table, the index and value rules, the family IDs,
// plain and merging copies, and what it puts into render records and extents.
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

#include "tests/fill/fill_fixtures.h"
#include "tests/hatch/hatch_fixtures.h"

using ::testing::IsEmpty;
using stylesrv_test::Reports;

namespace {

class HatchFillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterHatchVersions();
    stylesrv_test::ClearReports();
  }
};

template <class F>
F Slot(IJStyleHatchFill* hatch, int n) {
  return reinterpret_cast<F>((*reinterpret_cast<void***>(hatch))[n]);
}

TEST_F(HatchFillTest, InterfaceSlotsKeepTheirPlaces) {
  StyleComPtr<IJStyleHatchFill> hatch = NewHatch();
  IJStyleHatchFill* h = hatch.Get();
  using Add = HRESULT(STDMETHODCALLTYPE*)(IJStyleHatchFill*, const HatchFamilyDesc*, LONG*);
  using SetIndexed = HRESULT(STDMETHODCALLTYPE*)(IJStyleHatchFill*, LONG, DWORD);
  using GetIndexed = HRESULT(STDMETHODCALLTYPE*)(IJStyleHatchFill*, LONG, DWORD*);
  using SetDouble = HRESULT(STDMETHODCALLTYPE*)(IJStyleHatchFill*, double);
  const HatchFamilyDesc family = Family(0, 0.5);
  LONG index = 7;
  ASSERT_EQ(Slot<Add>(h, 10)(h, &family, &index), S_OK);
  EXPECT_EQ(index, 0);
  ASSERT_EQ(Slot<SetIndexed>(h, 21)(h, 0, 0x123), S_OK);  // SetFamilyColor
  ASSERT_EQ(Slot<SetIndexed>(h, 28)(h, -1, 0x12), S_OK);  // SetFamilyKeepMask
  ASSERT_EQ(Slot<SetDouble>(h, 31)(h, 2.5), S_OK);        // SetScale
  DWORD colour = 0, keep = 0, id = 9;
  ASSERT_EQ(Slot<GetIndexed>(h, 22)(h, 0, &colour), S_OK);
  ASSERT_EQ(Slot<GetIndexed>(h, 27)(h, -1, &keep), S_OK);
  ASSERT_EQ(Slot<GetIndexed>(h, 37)(h, 0, &id), S_OK);  // GetFamilyDashTypeId
  double scale = 0;
  ASSERT_EQ(h->GetScale(&scale), S_OK);
  EXPECT_EQ(colour, 0x123u);
  EXPECT_EQ(keep, 0x12u);
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(scale, 2.5);
}

// Each refused call answers its code and leaves the whole description as it was.
TEST_F(HatchFillTest, BadIndicesAndValuesAreRefusedWithoutChange) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    std::string name;
    int families;
    std::function<HRESULT(IJStyleHatchFill*)> call;
    HRESULT expected;
  };
  const auto withFamily = [](double HatchFamilyDesc::*field, double value) {
    HatchFamilyDesc family = Family(5, 1.0);
    family.*field = value;
    return family;
  };
  double a;
  DWORD m;
  const Case cases[] = {
      {"no families, index 0", 0, [&](IJStyleHatchFill* h) { return h->GetFamilyAngle(0, &a); }, E_FAIL},
      {"no families, index -2", 0, [](IJStyleHatchFill* h) { return h->SetFamilyColor(-2, 1); }, E_INVALIDARG},
      {"keep mask of the fill", 0, [&](IJStyleHatchFill* h) { return h->GetFamilyKeepMask(-1, &m); }, S_OK},
      {"keep mask -2", 2, [&](IJStyleHatchFill* h) { return h->GetFamilyKeepMask(-2, &m); }, E_INVALIDARG},
      {"-1 is no family", 2, [](IJStyleHatchFill* h) { return h->SetFamilyWidth(-1, 1); }, E_INVALIDARG},
      {"index = count", 2, [&](IJStyleHatchFill* h) { return h->GetFamilyShift(2, &a); }, E_INVALIDARG},
      {"null out", 2, [](IJStyleHatchFill* h) { return h->GetFamilySpacing(1, nullptr); }, E_INVALIDARG},
      {"move from count", 2, [](IJStyleHatchFill* h) { return h->MoveFamily(2, 0); }, E_INVALIDARG},
      {"move to -1", 2, [](IJStyleHatchFill* h) { return h->MoveFamily(0, -1); }, E_INVALIDARG},
      {"spacing 0", 2, [](IJStyleHatchFill* h) { return h->SetFamilySpacing(0, 0.0); }, E_INVALIDARG},
      {"spacing NaN", 2, [nan](IJStyleHatchFill* h) { return h->SetFamilySpacing(0, nan); }, E_INVALIDARG},
      {"scale infinite", 2, [inf](IJStyleHatchFill* h) { return h->SetScale(inf); }, E_INVALIDARG},
      {"units 0", 2, [](IJStyleHatchFill* h) { return h->SetUnits(0); }, E_INVALIDARG},
      {"added with spacing 0", 2,
       [&](IJStyleHatchFill* h) {
         const HatchFamilyDesc family = withFamily(&HatchFamilyDesc::spacing, 0.0);
         LONG index = 9;
         const HRESULT hr = h->AddFamily(&family, &index);
         return index == -1 ? hr : E_UNEXPECTED;
       },
       E_INVALIDARG},
      {"set with a width NaN", 2,
       [&](IJStyleHatchFill* h) {
         const HatchFamilyDesc family = withFamily(&HatchFamilyDesc::width, nan);
         return h->SetFamily(1, &family);
       },
       E_INVALIDARG},
      {"described with an infinite shift", 2,
       [&](IJStyleHatchFill* h) { return SetFamilies(h, {withFamily(&HatchFamilyDesc::shift, inf)}); }, E_INVALIDARG},
  };
  for (const Case& c : cases) {
    StyleComPtr<IJStyleHatchFill> hatch = NewHatch();
    std::vector<HatchFamilyDesc> families;
    for (int i = 0; i < c.families; ++i) families.push_back(Family(i + 1, i + 0.5, 0x10));
    ASSERT_EQ(SetFamilies(hatch.Get(), families, 0x8), S_OK);
    HatchFillData before = DataOf(hatch.Get());
    EXPECT_EQ(c.call(hatch.Get()), c.expected) << c.name;
    HatchFillData after = DataOf(hatch.Get());
    ASSERT_EQ(after.familyCount, before.familyCount) << c.name;
    EXPECT_EQ(std::memcmp(&after, &before, offsetof(HatchFillData, families)), 0) << c.name;
    for (DWORD i = 0; i < after.familyCount; ++i) {
      EXPECT_TRUE(SameFamily(after.families[i], before.families[i])) << c.name;
    }
    FreeHatchFillData(&before);
    FreeHatchFillData(&after);
  }
}

// A negative spacing is taken as it is; origins keep z at 0; a move past the end goes to the end.
TEST_F(HatchFillTest, AcceptedValuesKeepTheirRules) {
  StyleComPtr<IJStyleHatchFill> hatch = NewHatch();
  ASSERT_EQ(SetFamilies(hatch.Get(), {Family(1, 1.0), Family(2, 2.0), Family(3, 3.0)}), S_OK);
  ASSERT_EQ(hatch->SetFamilySpacing(1, -0.5), S_OK);
  const GPosition raised(4.0, 5.0, 6.0);
  ASSERT_EQ(hatch->SetFamilyOrigin(1, &raised), S_OK);
  ASSERT_EQ(hatch->SetOrigin(&raised), S_OK);
  GPosition origin;
  ASSERT_EQ(hatch->GetOrigin(&origin), S_OK);
  EXPECT_EQ(origin.z, 0.0);
  ASSERT_EQ(hatch->MoveFamily(1, 99), S_OK);
  HatchFillData data = DataOf(hatch.Get());
  ASSERT_EQ(data.familyCount, 3u);
  EXPECT_EQ(data.families[0].angle, 1.0);
  EXPECT_EQ(data.families[1].angle, 3.0);
  EXPECT_EQ(data.families[2].angle, 2.0);
  EXPECT_EQ(data.families[2].spacing, -0.5);
  EXPECT_EQ(data.families[2].originY, 5.0);
  EXPECT_EQ(data.families[2].originZ, 0.0);
  FreeHatchFillData(&data);
  EXPECT_THAT(Reports(), IsEmpty());
}

// Fields: year, month, day of week, day, hour, minute, second, milliseconds.
TEST_F(HatchFillTest, FamilyIdIsTheProductOfTheTime) {
  EXPECT_EQ(HatchFamilyIdAt({2024, 1, 1, 1, 0, 0, 0, 0}), 0u);
  EXPECT_EQ(HatchFamilyIdAt({2024, 1, 1, 31, 23, 59, 59, 0}), 0u);
  EXPECT_EQ(HatchFamilyIdAt({2024, 1, 1, 31, 23, 59, 59, 999}), 999u * 59 * 59 * 23 * 31);
}

struct Merged {
  DWORD id;
  double angle;
  double spacing;
  bool operator==(const Merged&) const = default;
};

void PrintTo(const Merged& m, std::ostream* os) { *os << "{" << m.id << ", " << m.angle << ", " << m.spacing << "}"; }

// Families of the own fill (angles 1..) and of the source (angles 10..), copied and merged by family ID.
TEST_F(HatchFillTest, CopiesMergeFamiliesByID) {
  struct Case {
    std::string name;
    DWORD flags;     // of CopyFrom: 0 copies, 1 merges
    DWORD ownKeep;   // the own fill's keep mask
    std::vector<HatchFamilyDesc> own, source;
    std::vector<Merged> expected;
    DWORD expectedFlags;
    double expectedScale;
    DWORD sourceUnits = 11;
    DWORD expectedUnits = 11;
  };
  const std::vector<HatchFamilyDesc> own = {Family(1, 1), Family(2, 2), Family(0, 3), Family(0, 4), Family(7, 5),
                                            Family(7, 6)};
  const std::vector<HatchFamilyDesc> source = {Family(2, 12), Family(0, 10), Family(1, 11), Family(9, 19),
                                               Family(9, 29)};
  const Case cases[] = {
      {"whole copy", 0, HATCH_KEEP_FLAGS, own, source,
       {{2, 12, 13}, {0, 10, 11}, {1, 11, 12}, {9, 19, 20}, {9, 29, 30}}, 0, 4.0},
      {"source order", 1, 0, own, source,
       {{2, 12, 13}, {1, 11, 12}, {9, 19, 20}, {9, 29, 30}, {0, 3, 4}, {0, 4, 5}, {7, 5, 6}, {7, 6, 7}}, 0, 4.0},
      {"own order, flags and scale kept", 1, HATCH_KEEP_OWN_ORDER | HATCH_KEEP_FLAGS | HATCH_KEEP_SCALE, own,
       source, {{1, 11, 12}, {2, 12, 13}, {0, 3, 4}, {0, 4, 5}, {7, 5, 6}, {7, 6, 7}, {9, 19, 20}, {9, 29, 30}}, 3,
       0.5},
      {"per-family keep masks", 1, 0, {Family(1, 1, HATCH_KEEP_ANGLE), Family(2, 2, HATCH_KEEP_SPACING)},
       {Family(1, 11), Family(2, 12), Family(2, 22)}, {{1, 1, 12}, {2, 12, 3}, {2, 22, 3}}, 0, 4.0},
      {"one source family merges with every own family of its ID", 1, 0, {Family(4, 1), Family(4, 2)},
       {Family(4, 14)}, {{4, 14, 15}, {4, 14, 15}}, 0, 4.0},
      {"other units, masks in force: nothing more", 1, HATCH_KEEP_SCALE, {Family(1, 1, HATCH_KEEP_COLOUR)},
       {Family(1, 11), Family(5, 15)}, {{1, 1, 2}}, 3, 0.5, 13, 11},
      {"other units without family masks", 1, HATCH_KEEP_SCALE, {Family(1, 1)}, {Family(1, 11), Family(5, 15)},
       {{1, 11, 12}, {5, 15, 16}}, 0, 0.5, 13, 13},
  };
  for (const Case& c : cases) {
    StyleComPtr<IJStyleHatchFill> mine = NewHatch();
    StyleComPtr<IJStyleHatchFill> theirs = NewHatch();
    ASSERT_EQ(SetFamilies(mine.Get(), c.own, c.ownKeep), S_OK);
    ASSERT_EQ(SetFamilies(theirs.Get(), c.source, 0x4), S_OK);
    theirs->SetScale(4.0);
    theirs->SetFlags(0);
    theirs->SetUnits(c.sourceUnits);
    ASSERT_EQ(Query<IJManageStyle2>(mine.Get(), IID_IJManageStyle2)->CopyFrom(theirs.Get(), c.flags), S_OK);
    HatchFillData data = DataOf(mine.Get());
    std::vector<Merged> got;
    for (DWORD i = 0; i < data.familyCount; ++i) {
      got.push_back({data.families[i].familyId, data.families[i].angle, data.families[i].spacing});
    }
    EXPECT_EQ(got, c.expected) << c.name;
    EXPECT_EQ(data.scale, c.expectedScale) << c.name;
    DWORD flags = 0;
    mine->GetFlags(&flags);
    EXPECT_EQ(flags, c.expectedFlags) << c.name;
    EXPECT_EQ(data.unitsCode, c.expectedUnits) << c.name;
    FreeHatchFillData(&data);
  }
  EXPECT_THAT(Reports(), IsEmpty());
}

// What the fill puts into a record it is applied to: width and colour only where every family agrees.
TEST_F(HatchFillTest, AppliedRecordTakesWhatEveryFamilyAgreesOn) {
  struct Case {
    std::string name;
    std::vector<std::pair<double, DWORD>> families;  // width, colour
    DWORD flagsIn;
    DWORD flagsOut;
    double width;
    DWORD colour;
  };
  const DWORD set = OVR_ROTATION | OVR_SCALE;
  const Case cases[] = {
      {"no families", {}, OVR_DASH_TYPE, set | OVR_WIDTH | OVR_COLOUR, 0.0, 0},
      {"all agree", {{0.5, 7}, {0.5, 7}}, 0, set | OVR_WIDTH | OVR_COLOUR, 0.5, 7},
      {"widths differ", {{0.5, 7}, {0.25, 7}}, 0, set | OVR_COLOUR, 9.0, 7},
      {"given width kept", {{0.5, 7}, {0.5, 8}}, OVR_WIDTH, set | OVR_WIDTH, 9.0, 3},
  };
  for (const Case& c : cases) {
    StyleComPtr<IJStyleHatchFill> hatch = NewHatch();
    std::vector<HatchFamilyDesc> families;
    for (const auto& [width, colour] : c.families) {
      families.push_back(Family(1, 1));
      families.back().width = width;
      families.back().color = colour;
    }
    ASSERT_EQ(SetFamilies(hatch.Get(), families), S_OK);
    tagStyleOverride record = EmptyRecord();
    record.flags = c.flagsIn;
    record.width = 9.0;
    record.colour = 3;
    ASSERT_EQ(Query<IJStyleRender>(hatch.Get(), IID_IJStyleRender)->ApplyToGraphic(&record), S_OK);
    EXPECT_EQ(record.flags, c.flagsOut) << c.name;
    EXPECT_EQ(record.width, c.width) << c.name;
    EXPECT_EQ(record.colour, c.colour) << c.name;
  }
}

// A referenced style that lends the record a line style: the fill gives the record a reference of its own.
class LendingStyle final : public TestLineStyle {
 public:
  STYLE_DECLARE_DELETING_DESTRUCTOR(LendingStyle)
  static LendingStyle* Create(IJStyleDashTypeRender* lent) {
    auto* style = new LendingStyle;
    style->m_lent = lent;
    style->AddRef();
    return style;
  }
  HRESULT PrepareRenderRecord(tagStyleOverride* record, const RenderContextScales*, double) override {
    if (!(record->flags & OVR_DASH_TYPE)) {
      record->dashType = m_lent;
      record->flags |= OVR_DASH_TYPE;
    }
    return S_OK;
  }

 private:
  ~LendingStyle() = default;
  IJStyleDashTypeRender* m_lent = nullptr;
};

ULONG Refs(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

// Applied to a graphic, the record holds one reference on the line style it names, before and after, whether
// the referenced style hands one over with it (a simple line) or only lends it; one the fill's preparation took
// out of the record is released. A simple fill's render only borrows them. Nothing is left held.
TEST_F(HatchFillTest, ApplyingLeavesOneReferenceOnTheRecordsLineStyle) {
  enum Path { kHatchApplied, kSimpleFillApplied, kSimpleFillDrawn };
  RecordingDash* dash = RecordingDash::Create();
  RecordingDash* other = RecordingDash::Create();
  LendingStyle* lending = LendingStyle::Create(dash);
  StyleComPtr<IJStyleSimpleLine> line(NewStyle<IJStyleSimpleLine>(CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine));
  ASSERT_EQ(line->SetDashType(dash), S_OK);
  TestRenderContext context;
  const FillDrawingSetup setup = DrawingSetup(&context, STYLE_UNITS_11);
  TestGeometry square({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0});
  TestTarget target;
  const RenderContextScales scales = UnitScales();
  for (IUnknown* referenced : {lending->Unknown(), static_cast<IUnknown*>(line.Get())}) {
    for (IJStyleDashTypeRender* incoming : {static_cast<IJStyleDashTypeRender*>(nullptr),
                                            static_cast<IJStyleDashTypeRender*>(dash),
                                            static_cast<IJStyleDashTypeRender*>(other)}) {
      for (Path path : {kHatchApplied, kSimpleFillApplied, kSimpleFillDrawn}) {
        const std::string name = std::string(referenced == lending->Unknown() ? "lent" : "handed") + ", incoming " +
                                 (!incoming ? "none" : incoming == dash ? "the same" : "another") + ", path " +
                                 std::to_string(path);
        StyleComPtr<IJStyleHatchFill> hatch = NewHatch();
        ASSERT_EQ(Query<IJStyleSetup2d>(hatch.Get(), IID_IJStyleSetup2d)->SetReferencedStyle(referenced), S_OK);
        StyleComPtr<IJStyleSimpleFill> fill(NewStyle<IJStyleSimpleFill>(CLSID_JStyleSimpleFill, IID_IJStyleSimpleFill));
        ASSERT_EQ(fill->SetPattern(hatch.Get()), S_OK);
        const ULONG dashRefs = Refs(dash), otherRefs = Refs(other);
        tagStyleOverride record = EmptyRecord();
        if (incoming) {
          record.dashType = incoming;
          record.flags = OVR_DASH_TYPE;
        }
        if (path == kSimpleFillDrawn) {
          ASSERT_EQ(Query<IJStyleRender>(fill.Get(), IID_IJStyleRender)
                        ->RenderWithContext(&square.record, target.target(), &scales, nullptr, &record,
                                            AsSeventhArgument(&setup)),
                    S_OK)
              << name;
          EXPECT_EQ(Refs(dash), dashRefs) << name;
          EXPECT_EQ(Refs(other), otherRefs) << name;
          continue;
        }
        if (incoming) incoming->AddRef();  // the record's, as its holder gives it
        IUnknown* applied = path == kHatchApplied ? static_cast<IUnknown*>(hatch.Get()) : fill.Get();
        ASSERT_EQ(Query<IJStyleRender>(applied, IID_IJStyleRender)->ApplyToGraphic(&record), S_OK) << name;
        ASSERT_EQ(record.dashType, dash) << name;
        EXPECT_EQ(Refs(dash), dashRefs + 1) << name;
        EXPECT_EQ(Refs(other), otherRefs) << name;
        record.dashType->Release();
      }
    }
  }
  line.Reset();
  lending->Release();
  other->Release();
  EXPECT_EQ(dash->Release(), 0u);
}

// The widest line by units code: 13 in whole device units, 11 and 12 as lengths; a width the record gives
// takes the place of the families'.
TEST_F(HatchFillTest, ExtentIsTheWidestLineByUnitsCode) {
  struct Case {
    DWORD units;
    bool recordWidth;
    StyleExtent expected;
  };
  const Case cases[] = {{13, false, {3, 0, 0}}, {11, false, {0, 2.7, 0}}, {12, false, {0, 0, 2.7}},
                        {11, true, {0, 4.0, 0}}};
  for (const Case& c : cases) {
    StyleComPtr<IJStyleHatchFill> hatch = NewHatch();
    std::vector<HatchFamilyDesc> families = {Family(1, 1), Family(2, 2)};
    families[1].width = 2.7;
    ASSERT_EQ(SetFamilies(hatch.Get(), families), S_OK);
    ASSERT_EQ(hatch->SetUnits(c.units), S_OK);
    StyleComPtr<IJStyleRender> render = Query<IJStyleRender>(hatch.Get(), IID_IJStyleRender);
    StyleExtent extent{99, 0, 0};  // the extent without context starts from nothing
    if (c.recordWidth) {
      tagStyleOverride record = EmptyRecord();
      record.flags = OVR_WIDTH;
      record.width = 4.0;
      record.unitsCode = c.units;
      extent.value = 0;
      ASSERT_EQ(render->GetRangeWithContext(&extent, nullptr, nullptr, &record), S_OK);
    } else {
      ASSERT_EQ(render->GetExtentDelta(&extent), S_OK);
    }
    EXPECT_EQ(extent.value, c.expected.value) << c.units;
    EXPECT_EQ(extent.first, c.expected.first) << c.units;
    EXPECT_EQ(extent.second, c.expected.second) << c.units;
  }
}

}  // namespace

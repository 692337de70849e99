// The override style: its values merged into the caller's record over its parent's, its record, and cycles
// through its parent.
#include "display/style/stylesrv_itf.h"
#include "tests/lines/line_fixtures.h"

using ::testing::ElementsAre;

namespace {

class OverrideTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterLineVersions();
    parent = NewStyle<IJStyleSimpleLine>(CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine);
    over = NewStyle<IJStyleOverride>(CLSID_JStyleOverride, IID_IJStyleOverride);
    ASSERT_TRUE(parent && over);
    parent->SetColor(0x404040);
    parent->SetWidth(4.0);
    dash = RecordingDash::Create(target.recording());
    parent->SetDashType(dash);
    StyleComPtr<IJStyleRender> parentRender = Query<IJStyleRender>(parent, IID_IJStyleRender);
    ASSERT_EQ(Query<IJStyleSetup2d>(over, IID_IJStyleSetup2d)->SetReferencedStyle(parentRender.Get()), S_OK);
    render = Query<IJStyleRender>(over, IID_IJStyleRender).Detach();
  }
  void TearDown() override {
    if (render) render->Release();
    if (over) {
      Query<IJStyleSetup2d>(over, IID_IJStyleSetup2d)->SetReferencedStyle(nullptr);
      over->Release();
    }
    if (parent) {
      parent->SetDashType(nullptr);
      parent->Release();
    }
    if (dash) dash->Release();
  }

  HRESULT Draw(const tagStyleOverride& record) {
    const RenderContextScales context = UnitScales();
    return render->RenderWithContext(&geometry.record, target.target(), &context, nullptr, &record, nullptr);
  }

  IJStyleSimpleLine* parent = nullptr;
  IJStyleOverride* over = nullptr;
  IJStyleRender* render = nullptr;
  RecordingDash* dash = nullptr;
  TestTarget target;
  TestGeometry geometry{{0, 0, 0, 3, 4, 0}};
};

TEST_F(OverrideTest, OnlyAColourOverAnUnflaggedRecordKeepsTheParentsWidthAndDashType) {
  over->SetColor(0x0000FF);
  ASSERT_EQ(Draw(EmptyRecord()), S_OK);
  ASSERT_EQ(dash->runs.size(), 1u);
  EXPECT_EQ(dash->runs[0].colour, 0x0000FFu);
  EXPECT_EQ(dash->runs[0].width, 4.0);
  DWORD flags = 0;
  over->GetFlags(&flags);
  EXPECT_EQ(flags, DWORD{OVR_COLOUR});

  // The merge itself, as the parent sees it: colour flagged, the fill colour filled in by the override.
  tagStyleOverride record = EmptyRecord();
  ASSERT_EQ(Query<IJStyleRender>(over, IID_IJStyleRender)->ApplyToGraphic(&record), S_OK);
  EXPECT_EQ(record.colour, 0x0000FFu);
  EXPECT_EQ(record.flags & OVR_FILL_COLOUR_BY_OVERRIDE, DWORD{OVR_FILL_COLOUR_BY_OVERRIDE});
}

TEST_F(OverrideTest, FlaggedCallerColourStaysUnlessTheOverrideForcesIt) {
  over->SetColor(0x0000FF);
  tagStyleOverride record = EmptyRecord();
  record.flags = OVR_COLOUR;
  record.colour = 0x00FF00;
  ASSERT_EQ(Draw(record), S_OK);
  ASSERT_EQ(Draw(record), S_OK);
  over->SetColor(0x80000000);
  ASSERT_EQ(Draw(record), S_OK);
  ASSERT_EQ(dash->runs.size(), 3u);
  EXPECT_EQ(dash->runs[0].colour, 0x00FF00u);
  EXPECT_EQ(dash->runs[1].colour, 0x00FF00u);
  EXPECT_EQ(dash->runs[2].colour, 0x80000000u);
}

TEST_F(OverrideTest, WidthAndDashTypeOfTheOverrideWin) {
  RecordingDash* own = RecordingDash::Create();
  over->SetWidth(9.0);
  ASSERT_EQ(over->SetDashType(own), S_OK);
  ASSERT_EQ(Draw(EmptyRecord()), S_OK);
  EXPECT_TRUE(dash->runs.empty());
  ASSERT_EQ(own->runs.size(), 1u);
  EXPECT_EQ(own->runs[0].width, 9.0);
  DWORD id = 7;
  over->GetDashTypeID(&id);
  EXPECT_EQ(id, kInvalidStyleID);  // a reference without owner

  // Without the dash flag the reference goes, and GetDashTypeID answers 0.
  over->SetFlags(OVR_WIDTH);
  over->GetDashTypeID(&id);
  EXPECT_EQ(id, 0u);
  StyleComPtr<IJStyleDashTypeRender> none;
  over->GetDashType(none.Put());
  EXPECT_FALSE(none);
  own->Release();
}

TEST_F(OverrideTest, CurrentRecordCarriesTheRecordsUnitsCode) {
  over->SetUnits(11);
  over->SetWidth(2.5);
  over->SetFillColor(0x123456);
  over->SetKind(STYLE_KIND_FILL);
  TestArchive archive(ARCHIVE_STORING | ARCHIVE_VERSIONED);
  ASSERT_EQ(Query<IJPersist>(over, IID_IJPersist)->Store(archive.get()), S_OK);

  IJStyleOverride* loaded = NewStyle<IJStyleOverride>(CLSID_JStyleOverride, IID_IJStyleOverride);
  archive.Reload();
  ASSERT_EQ(Query<IJPersist>(loaded, IID_IJPersist)->Load(archive.get()), S_OK);
  DWORD units = 0, flags = 0, fill = 0, kind = 0;
  double width = 0;
  loaded->GetUnits(&units);
  loaded->GetFlags(&flags);
  loaded->GetFillColor(&fill);
  loaded->GetWidth(&width);
  Query<IJStyleRender>(loaded, IID_IJStyleRender)->GetStyleKind(&kind);
  EXPECT_EQ(units, 11u);
  EXPECT_EQ(flags, DWORD{OVR_WIDTH | OVR_FILL_COLOUR});
  EXPECT_EQ(fill, 0x123456u);
  EXPECT_EQ(width, 2.5);
  // The kind is not part of the current record.
  EXPECT_EQ(kind, DWORD{STYLE_KIND_LINE});

  // Equal values under different flags words are different overrides.
  BOOL same = TRUE;
  StyleComPtr<IJManageStyle2> manage = Query<IJManageStyle2>(loaded, IID_IJManageStyle2);
  loaded->SetColor(0);
  ASSERT_EQ(manage->IsSameStyle(over, &same), S_OK);
  EXPECT_FALSE(same);
  loaded->Release();
}

// Two overrides that are each other's parent: the host can tell them from styles that draw nothing.
TEST_F(OverrideTest, ParentCycleFailsOnceAtTheDepthBound) {
  IJStyleOverride* second = NewStyle<IJStyleOverride>(CLSID_JStyleOverride, IID_IJStyleOverride);
  StyleComPtr<IJStyleRender> secondRender = Query<IJStyleRender>(second, IID_IJStyleRender);
  ASSERT_EQ(Query<IJStyleSetup2d>(over, IID_IJStyleSetup2d)->SetReferencedStyle(secondRender.Get()), S_OK);
  ASSERT_EQ(Query<IJStyleSetup2d>(second, IID_IJStyleSetup2d)->SetReferencedStyle(render), S_OK);
  stylesrv_test::ClearReports();
  const auto bound = stylesrv_test::IsReport(E_FAIL, "STYDEPTH", 1);
  EXPECT_EQ(Draw(EmptyRecord()), E_FAIL);
  EXPECT_TRUE(target.Names().empty());
  EXPECT_THAT(stylesrv_test::Reports(), ElementsAre(bound));
  StyleExtent extent{};
  const RenderContextScales context = UnitScales();
  EXPECT_EQ(render->GetRangeWithContext(&extent, &context, nullptr, nullptr), E_FAIL);
  EXPECT_EQ(render->GetExtentDelta(&extent), E_FAIL);
  tagStyleOverride record = EmptyRecord();
  EXPECT_EQ(render->ApplyToGraphic(&record), E_FAIL);
  EXPECT_THAT(stylesrv_test::Reports(), ElementsAre(bound, bound, bound, bound));
  // The kind asks for no more than a value: the cycle answers the override's own.
  DWORD kind = 9;
  EXPECT_EQ(render->GetStyleKind(&kind), S_OK);
  EXPECT_EQ(kind, DWORD{STYLE_KIND_LINE});
  Query<IJStyleSetup2d>(second, IID_IJStyleSetup2d)->SetReferencedStyle(nullptr);
  secondRender.Reset();
  second->Release();
}

// The parent may be handed in as any of its interfaces, its identity among them; an object that cannot draw
// is refused and left as it was, and so is the override.
TEST_F(OverrideTest, ParentIsAskedForItsRenderTable) {
  IUnknown* solid = NewObject(CLSID_JStyleLineSolid, IID_IUnknown);
  Query<IJStyleLineSolid>(solid, IID_IJStyleLineSolid)->SetWidth(6.0);
  IJStyleSetup2d* setup = Query<IJStyleSetup2d>(over, IID_IJStyleSetup2d).Detach();
  ASSERT_EQ(setup->SetReferencedStyle(solid), S_OK);
  over->SetColor(0x0000FF);
  ASSERT_EQ(Draw(EmptyRecord()), S_OK);
  EXPECT_THAT(PolylineCounts(target), ElementsAre(2u));
  std::vector<SitheCall> calls = target.Calls();
  EXPECT_EQ(calls[0].d[0], 6.0);  // the solid line's width
  EXPECT_EQ(calls[1].u[0], 0x0000FFu);  // the override's colour
  StyleComPtr<IJStyleRender> cached;
  ASSERT_EQ(setup->GetReferencedStyle(cached.Put()), S_OK);
  EXPECT_EQ(cached.Get(), Query<IJStyleRender>(solid, IID_IJStyleRender).Get());

  stylesrv_test::ClearReports();
  IUnknown* dashType = NewObject(CLSID_JStyleSimpleDashType, IID_IUnknown);
  EXPECT_EQ(setup->SetReferencedStyle(dashType), E_NOINTERFACE);
  EXPECT_THAT(stylesrv_test::Reports(), ElementsAre(stylesrv_test::IsReport(E_NOINTERFACE, kOverrideSource, 3029)));
  EXPECT_EQ(dashType->AddRef(), 2u);
  EXPECT_EQ(dashType->Release(), 1u);
  target.recording()->Clear();
  ASSERT_EQ(Draw(EmptyRecord()), S_OK);
  EXPECT_THAT(PolylineCounts(target), ElementsAre(2u));
  EXPECT_EQ(dashType->Release(), 0u);
  setup->Release();
  cached.Reset();
  EXPECT_EQ(solid->Release(), 1u);  // the override's reference
}

TEST_F(OverrideTest, NullOutPointersAreReported) {
  stylesrv_test::ClearReports();
  EXPECT_EQ(over->GetColor(nullptr), E_INVALIDARG);
  EXPECT_EQ(over->GetDashTypeID(nullptr), E_INVALIDARG);
  EXPECT_THAT(stylesrv_test::Reports(), ElementsAre(stylesrv_test::IsReport(E_INVALIDARG, kOverrideSource, 328),
                                                    stylesrv_test::IsReport(E_INVALIDARG, kOverrideSource, 1200)));
}

}  // namespace

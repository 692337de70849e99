// The simple line: runs cut at separator points, the order of its calls on the target, dashing through its
// dash type and drawing its overlay, extents, and its records.
#include "display/style/stylesrv_itf.h"
#include "tests/lines/line_fixtures.h"

using ::testing::ElementsAre;

namespace {

class SimpleLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterLineVersions();
    line = NewStyle<IJStyleSimpleLine>(CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine);
    ASSERT_NE(line, nullptr);
    render = Query<IJStyleRender>(line, IID_IJStyleRender).Detach();
    line->SetColor(0x112233);
    line->SetWidth(2.0);
  }
  void TearDown() override {
    if (render) render->Release();
    if (line) line->Release();
  }

  HRESULT Draw(const TestGeometry& geometry, const tagStyleOverride* record = nullptr) {
    const RenderContextScales context = UnitScales();
    const tagStyleOverride empty = EmptyRecord();
    return render->RenderWithContext(&geometry.record, target.target(), &context, nullptr, record ? record : &empty,
                                     nullptr);
  }

  IJStyleSimpleLine* line = nullptr;
  IJStyleRender* render = nullptr;
  TestTarget target;
};

TEST_F(SimpleLineTest, SeparatorsCutTheListIntoRunsAndAreNeverDrawn) {
  TestGeometry geometry({0, 0, 0, 0, kSep, 0, kSep, 0, 0, 1, 1, 0, 2, 2, 0, 0, kSep, 0});
  EXPECT_EQ(Draw(geometry), S_OK);
  EXPECT_THAT(PolylineCounts(target), ElementsAre(1u, 2u));
  std::vector<double> second(6);
  target.recording()->GetCallPoints(target.recording()->CallCount() - 1, 2, second.data());
  EXPECT_THAT(second, ElementsAre(1, 1, 0, 2, 2, 0));

  target.recording()->Clear();
  TestGeometry separators({kSep, 0, 0, 0, kSep, 0});
  EXPECT_EQ(Draw(separators), S_OK);
  EXPECT_TRUE(target.Names().empty());

  // Flagged as one run, the list is drawn whole, separators included.
  geometry.record.word0 |= 0x10000;
  EXPECT_EQ(Draw(geometry), S_OK);
  EXPECT_THAT(PolylineCounts(target), ElementsAre(6u));
}

// A run without points is never handed to a target as an empty polyline: not by the line styles drawing a
// point list as one run, with or without a record, nor by a dash type handed an empty run.
TEST(EmptyRunTest, DrawsNothing) {
  RegisterLineVersions();
  IUnknown* dashType = NewObject(CLSID_JStyleSimpleDashType, IID_IUnknown);
  Query<IJStyleSimpleDashType>(dashType, IID_IJStyleSimpleDashType)->SetLengths(2, std::vector<double>{4, -2}.data());
  IJStyleSimpleLine* dashed = NewStyle<IJStyleSimpleLine>(CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine);
  ASSERT_EQ(dashed->SetDashType(dashType), S_OK);
  IUnknown* styles[] = {NewObject(CLSID_JStyleSimpleLine, IID_IUnknown), dashed,
                        NewObject(CLSID_JStyleLineSolid, IID_IUnknown)};
  TestGeometry empty({});
  empty.record.word0 |= 0x10000;
  const RenderContextScales context = UnitScales();
  const tagStyleOverride record = EmptyRecord();
  for (IUnknown* style : styles) {
    for (const tagStyleOverride* given : {&record, static_cast<const tagStyleOverride*>(nullptr)}) {
      TestTarget target;
      EXPECT_EQ(Query<IJStyleRender>(style, IID_IJStyleRender)
                    ->RenderWithContext(&empty.record, target.target(), &context, nullptr, given, nullptr),
                S_OK);
      EXPECT_TRUE(PolylineCounts(target).empty());
    }
  }
  TestTarget target;
  EXPECT_EQ(Query<IJStyleDashTypeRender>(dashType, IID_IJStyleDashTypeRender)
                ->RenderDashes(&empty.run, target.target(), &context, 0, nullptr, nullptr, 0, 1.0),
            S_OK);
  EXPECT_TRUE(target.Names().empty());
  dashed->SetDashType(nullptr);
  for (IUnknown* style : styles) style->Release();
  dashType->Release();
}

TEST_F(SimpleLineTest, SolidRunSetsThePenAndCodesBeforeItDraws) {
  line->SetFirstCode(3);
  line->SetSecondCode(2);
  line->SetThirdCode(1);
  TestGeometry geometry({0, 0, 0, 5, 0, 0});
  ASSERT_EQ(Draw(geometry), S_OK);
  EXPECT_THAT(target.Names(), ElementsAre("SetDashPattern", "SetPenWidth", "SetPenColor", "SetFirstCode",
                                          "SetSecondCode", "SetThirdCode", "DrawPolyline"));
  const std::vector<SitheCall> calls = target.Calls();
  EXPECT_EQ(calls[0].u[0], 0u);
  EXPECT_EQ(calls[1].d[0], 2.0);
  EXPECT_EQ(calls[2].u[0], 0x112233u);
  EXPECT_EQ(calls[3].u[0], 3u);
  EXPECT_EQ(calls[4].u[0], 2u);
  EXPECT_EQ(calls[5].u[0], 1u);

  // Codes beyond their range are refused and leave the flags alone.
  EXPECT_EQ(line->SetFirstCode(4), E_INVALIDARG);
  EXPECT_EQ(line->SetThirdCode(3), E_INVALIDARG);
  DWORD code = 0;
  line->GetFirstCode(&code);
  EXPECT_EQ(code, 3u);
}

TEST_F(SimpleLineTest, DashedRunsHandTheDashTypeARecordWithoutItAndGetItBack) {
  RecordingDash* dash = RecordingDash::Create(target.recording());
  ASSERT_EQ(line->SetDashType(dash), S_OK);
  line->SetWidthFixed();  // makes the record count as given
  tagStyleSimpleLineData data{};
  line->GetData(&data);
  data.styleFlags |= SLINE_FIT;
  line->SetData(&data);
  TestGeometry geometry({0, 0, 0, 4, 0, 0, kSep, 0, 0, 9, 9, 0, 9, 12, 0});
  ASSERT_EQ(Draw(geometry), S_OK);
  // The second run is dashed too: the first one's dashing left the record as it found it.
  ASSERT_EQ(dash->runs.size(), 2u);
  for (const RecordingDash::Run& run : dash->runs) {
    EXPECT_TRUE(run.record);
    EXPECT_FALSE(run.recordHasDashType);
    EXPECT_EQ(run.colour, 0x112233u);
    EXPECT_EQ(run.width, 2.0);
    EXPECT_EQ(run.fitRequest, 1u);
  }
  EXPECT_EQ(dash->runs[0].count, 2u);
  EXPECT_EQ(dash->runs[1].count, 2u);
  EXPECT_TRUE(PolylineCounts(target).empty());

  // The dash type's failure is the run's answer; it is not reported by the line.
  stylesrv_test::ClearReports();
  dash->answer = E_UNEXPECTED;
  EXPECT_EQ(Draw(geometry), E_UNEXPECTED);
  EXPECT_TRUE(stylesrv_test::Reports().empty());
  line->SetDashType(nullptr);
  dash->Release();
}

TEST_F(SimpleLineTest, OverlayIsDrawnAfterTheLineWithoutTheLinesDashType) {
  RecordingDash* dash = RecordingDash::Create(target.recording());
  line->SetDashType(dash);
  TestLineStyle* overlay = TestLineStyle::Create(0x00FF00, 7.0);
  ASSERT_EQ(line->SetOverlayStyle(overlay->Unknown()), S_OK);
  TestGeometry geometry({0, 0, 0, 4, 0, 0});
  ASSERT_EQ(Draw(geometry), S_OK);
  ASSERT_EQ(dash->runs.size(), 1u);
  EXPECT_EQ(dash->runs[0].targetCalls, 5u);  // pen width, colour and the three codes came first
  EXPECT_EQ(overlay->renders, 1);
  // The overlay's own polyline follows the dashing, in the line's colour that the record carries.
  EXPECT_THAT(PolylineCounts(target), ElementsAre(2u));

  // An overlay that reaches the line again ends at the depth bound instead of exhausting the stack, and the
  // drawing fails, once.
  ASSERT_EQ(overlay->Setup()->SetReferencedStyle(render), S_OK);
  stylesrv_test::ClearReports();
  EXPECT_EQ(Draw(geometry), E_FAIL);
  EXPECT_GT(overlay->renders, 2);
  EXPECT_THAT(stylesrv_test::Reports(), ElementsAre(stylesrv_test::IsReport(E_FAIL, "STYDEPTH", 1)));
  overlay->Setup()->SetReferencedStyle(nullptr);
  line->SetOverlayStyle(nullptr);
  line->SetDashType(nullptr);
  overlay->Release();
  dash->Release();
}

TEST_F(SimpleLineTest, ModeSkipDrawsNothingInRenderModesTwoAndFour) {
  line->SetModeSkip(1);
  TestGeometry geometry({0, 0, 0, 4, 0, 0});
  target.recording()->SetRenderMode(4);
  EXPECT_EQ(Draw(geometry), S_OK);
  EXPECT_TRUE(PolylineCounts(target).empty());
  target.recording()->SetRenderMode(3);
  EXPECT_EQ(Draw(geometry), S_OK);
  EXPECT_THAT(PolylineCounts(target), ElementsAre(2u));
}

TEST_F(SimpleLineTest, ExtentsFollowUnitsCodeAndCodes) {
  StyleExtent extent{};
  line->SetUnits(11);
  line->SetThirdCode(2);
  ASSERT_EQ(render->GetExtentDelta(&extent), S_OK);
  EXPECT_EQ(extent.first, 10.0);
  EXPECT_EQ(extent.value, 0u);
  line->SetThirdCode(0);
  line->SetFirstCode(1);
  render->GetExtentDelta(&extent);
  EXPECT_EQ(extent.first, 1.5);
  line->SetFirstCode(0);
  line->SetUnits(13);
  line->SetWidth(3.0);
  render->GetExtentDelta(&extent);
  EXPECT_EQ(extent.value, 2u);
  EXPECT_EQ(extent.first, 0.0);

  // Under a context: the dash type's extent is a maximum, the overlay's range is added.
  RecordingDash* dash = RecordingDash::Create();
  dash->extent = {9, 0.25, 4.0};
  line->SetDashType(dash);
  TestLineStyle* overlay = TestLineStyle::Create();
  overlay->ownExtent = {1, 1.0, 1.0};
  line->SetOverlayStyle(overlay->Unknown());
  const RenderContextScales context = UnitScales();
  StyleExtent range{};
  ASSERT_EQ(render->GetRangeWithContext(&range, &context, nullptr, nullptr), S_OK);
  EXPECT_EQ(range.value, 10u);
  EXPECT_EQ(range.first, 1.25);
  EXPECT_EQ(range.second, 5.0);
  line->SetOverlayStyle(nullptr);
  line->SetDashType(nullptr);
  overlay->Release();
  dash->Release();
}

TEST_F(SimpleLineTest, RecordFieldsFlaggedByTheCallerStay) {
  tagStyleOverride record = EmptyRecord();
  record.flags = OVR_COLOUR;
  record.colour = 0xABCDEF;
  ASSERT_EQ(render->ApplyToGraphic(&record), S_OK);
  EXPECT_EQ(record.colour, 0xABCDEFu);
  EXPECT_EQ(record.width, 2.0);
  EXPECT_EQ(record.flags & (OVR_COLOUR | OVR_WIDTH), DWORD{OVR_COLOUR | OVR_WIDTH});
  stylesrv_test::ClearReports();
  EXPECT_EQ(line->SetData(nullptr), E_INVALIDARG);
  EXPECT_THAT(stylesrv_test::Reports(), ElementsAre(stylesrv_test::IsReport(E_INVALIDARG, kSimpleLineSource, 493)));
}

// ---- records ----

class SimpleLineRecordTest : public SimpleLineTest {
 protected:
  IJPersist* Persist(IUnknown* object) { return Query<IJPersist>(object, IID_IJPersist).Detach(); }
};

TEST_F(SimpleLineRecordTest, CurrentRecordFlagsStoredIDsAndReloadsEqual) {
  RecordingLibrarian* library = RecordingLibrarian::Create();
  std::vector<TestLineStyle*> others;
  for (int i = 0; i < 6; ++i) {
    others.push_back(TestLineStyle::Create());
    library->Add(others.back()->Unknown());
  }
  const DWORD lineID = library->Add(line);
  EXPECT_EQ(lineID, 7u);
  ASSERT_EQ(line->SetOverlayStyleID(5), S_OK);
  line->SetColor(0xFFFFFFFF);

  TestArchive archive(ARCHIVE_STORING | ARCHIVE_VERSIONED);
  IJPersist* persist = Persist(line);
  ASSERT_EQ(persist->Store(archive.get()), S_OK);
  const std::vector<BYTE> bytes = archive.Bytes();
  // Two class headers and the base record come first.
  ASSERT_EQ(bytes.size(), 82u);
  const DWORD flags = ReadAt<DWORD>(bytes, 50);
  EXPECT_EQ(flags & SLINE_OVERLAY_ID_STORED, DWORD{SLINE_OVERLAY_ID_STORED});
  EXPECT_EQ(flags & SLINE_DASH_ID_STORED, 0u);
  EXPECT_EQ(ReadAt<DWORD>(bytes, 74), 0u);  // the colour that cannot be stored
  EXPECT_EQ(ReadAt<DWORD>(bytes, 78), 5u);

  IJStyleSimpleLine* copy = NewStyle<IJStyleSimpleLine>(CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine);
  IJPersist* copyPersist = Persist(copy);
  archive.Reload();
  ASSERT_EQ(copyPersist->Load(archive.get()), S_OK);
  tagStyleSimpleLineData mine{}, theirs{};
  line->GetData(&mine);
  copy->GetData(&theirs);
  EXPECT_EQ(theirs.colour, 0u);
  EXPECT_EQ(theirs.width, mine.width);
  EXPECT_EQ(theirs.styleFlags, mine.styleFlags);
  EXPECT_EQ(theirs.unitsCode, mine.unitsCode);
  DWORD id = 99;
  copy->GetOverlayStyleID(&id);
  EXPECT_EQ(id, 5u);
  copy->GetDashTypeID(&id);
  EXPECT_EQ(id, 0u);

  line->SetOverlayStyleID(0);
  EXPECT_EQ(library->UseCount(5), 0u);
  copyPersist->Release();
  copy->Release();
  persist->Release();
  for (TestLineStyle* other : others) other->Release();
  library->Release();
}

TEST_F(SimpleLineRecordTest, LoadedUnitsCodeZeroFollowsTheWidth) {
  for (const auto& [width, units] : {std::pair{0.5, 11u}, std::pair{1.0, 13u}}) {
    line->SetUnits(0);
    line->SetWidth(width);
    TestArchive archive(ARCHIVE_STORING | ARCHIVE_VERSIONED);
    IJPersist* persist = Persist(line);
    ASSERT_EQ(persist->Store(archive.get()), S_OK);
    archive.Reload();
    ASSERT_EQ(persist->Load(archive.get()), S_OK);
    DWORD loaded = 0;
    line->GetUnits(&loaded);
    EXPECT_EQ(loaded, units) << width;
    persist->Release();
  }
}

TEST_F(SimpleLineRecordTest, OlderRecordReloadedWithDropFlagDrawsTheNewOverlay) {
  RecordingLibrarian* library = RecordingLibrarian::Create();
  TestLineStyle* first = TestLineStyle::Create(0x0000AA);
  TestLineStyle* second = TestLineStyle::Create(0x00BB00);
  library->Add(first->Unknown());
  library->Add(second->Unknown());
  library->Add(line);
  IJStyleSimpleLine* other = NewStyle<IJStyleSimpleLine>(CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine);
  library->Add(other);
  line->SetOverlayStyle(first->Unknown());
  other->SetOverlayStyle(second->Unknown());
  TestGeometry geometry({0, 0, 0, 1, 0, 0});
  ASSERT_EQ(Draw(geometry), S_OK);  // caches the first overlay
  EXPECT_EQ(first->renders, 1);

  TestArchive archive(ARCHIVE_STORING | ARCHIVE_VERSIONED);
  ArchiveSetClassVersion(archive.get(), &CLSID_JStyleSimpleLine, 2);
  IJPersist* otherPersist = Persist(other);
  ASSERT_EQ(otherPersist->Store(archive.get()), S_OK);
  archive.Reload(ARCHIVE_DROP_CACHED);
  IJPersist* persist = Persist(line);
  ASSERT_EQ(persist->Load(archive.get()), S_OK);
  DWORD id = 0;
  line->GetOverlayStyleID(&id);
  EXPECT_EQ(id, 2u);
  ASSERT_EQ(Draw(geometry), S_OK);
  EXPECT_EQ(first->renders, 1);
  EXPECT_EQ(second->renders, 1);

  // The load moved no use counts: the library's stored counts stand for the loaded IDs.
  line->SetOverlayStyleID(0);
  other->SetOverlayStyle(nullptr);
  persist->Release();
  otherPersist->Release();
  other->Release();
  first->Release();
  second->Release();
  library->Release();
}

TEST_F(SimpleLineRecordTest, SelectiveCopyHonoursLockedFields) {
  IJStyleSimpleLine* source = NewStyle<IJStyleSimpleLine>(CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine);
  RecordingDash* dash = RecordingDash::Create();
  source->SetColor(0x0000FF);
  source->SetWidth(8.0);
  source->SetDashType(dash);
  line->SetLockedFields(SLINE_LOCK_COLOUR_WIDTH);
  StyleComPtr<IJManageStyle2> manage = Query<IJManageStyle2>(line, IID_IJManageStyle2);
  ASSERT_EQ(manage->CopyFrom(source, 1), S_OK);
  DWORD colour = 0;
  double width = 0;
  line->GetColor(&colour);
  line->GetWidth(&width);
  EXPECT_EQ(colour, 0x112233u);
  EXPECT_EQ(width, 2.0);
  StyleComPtr<IJStyleDashTypeRender> taken;
  line->GetDashType(taken.Put());
  EXPECT_EQ(taken.Get(), dash);

  // A full copy takes everything and unlocks.
  ASSERT_EQ(manage->CopyFrom(source, 0), S_OK);
  line->GetColor(&colour);
  EXPECT_EQ(colour, 0x0000FFu);
  DWORD locked = 1;
  line->GetLockedFields(&locked);
  EXPECT_EQ(locked, 0u);
  BOOL same = FALSE;
  ASSERT_EQ(manage->IsSameStyle(source, &same), S_OK);
  EXPECT_TRUE(same);
  source->SetWidth(8.0 + 1e-8);
  manage->IsSameStyle(source, &same);
  EXPECT_TRUE(same);
  source->SetWidth(8.001);
  manage->IsSameStyle(source, &same);
  EXPECT_FALSE(same);

  taken.Reset();
  line->SetDashType(nullptr);
  source->SetDashType(nullptr);
  source->Release();
  dash->Release();
}

}  // namespace

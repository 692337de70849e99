// The solid line: it fixes colour and width in the record, draws each run solid or through the record's dash
// type, answers its target's result, and keeps its records.
#include "display/style/stylesrv_itf.h"
#include "tests/lines/line_fixtures.h"

using ::testing::ElementsAre;

namespace {

class SolidLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterLineVersions();
    line = NewStyle<IJStyleLineSolid>(CLSID_JStyleLineSolid, IID_IJStyleLineSolid);
    ASSERT_NE(line, nullptr);
    render = Query<IJStyleRender>(line, IID_IJStyleRender).Detach();
    line->SetColor(0x00AA00);
    line->SetWidth(4.0);
  }
  void TearDown() override {
    if (render) render->Release();
    if (line) line->Release();
  }

  HRESULT Draw(IRenderTarget2d* to, const TestGeometry& geometry, const tagStyleOverride* record) {
    const RenderContextScales context = UnitScales();
    return render->RenderWithContext(&geometry.record, to, &context, nullptr, record, nullptr);
  }

  IJStyleLineSolid* line = nullptr;
  IJStyleRender* render = nullptr;
  TestTarget target;
};

TEST_F(SolidLineTest, AnswersWhatItsLastDrawPolylineAnswered) {
  TestGeometry geometry({0, 0, 0, 1, 0, 0, kSep, 0, 0, 2, 0, 0});
  const tagStyleOverride record = EmptyRecord();
  AnsweringTarget failing(E_ACCESSDENIED);
  EXPECT_EQ(Draw(&failing, geometry, &record), E_ACCESSDENIED);
  EXPECT_EQ(failing.draws, 2);  // the failing first run does not stop the second
  AnsweringTarget fine(S_FALSE);
  EXPECT_EQ(Draw(&fine, geometry, &record), S_FALSE);

  ASSERT_EQ(Draw(target.target(), geometry, &record), S_OK);
  EXPECT_THAT(target.Names(), ElementsAre("SetPenWidth", "SetPenColor", "SetDashPattern", "DrawPolyline",
                                          "SetPenWidth", "SetPenColor", "SetDashPattern", "DrawPolyline"));
}

TEST_F(SolidLineTest, CallerValuesStayAndBothFlagsAreAlwaysSet) {
  tagStyleOverride record = EmptyRecord();
  record.flags = OVR_COLOUR | OVR_WIDTH;
  record.colour = 0x0000FF;
  record.width = 1.5;
  record.unitsCode = 13;
  ASSERT_EQ(render->ApplyToGraphic(&record), S_OK);
  EXPECT_EQ(record.colour, 0x0000FFu);
  EXPECT_EQ(record.width, 1.5);
  tagStyleOverride empty = EmptyRecord();
  ASSERT_EQ(render->ApplyToGraphic(&empty), S_OK);
  EXPECT_EQ(empty.colour, 0x00AA00u);
  EXPECT_EQ(empty.width, 4.0);
  EXPECT_EQ(empty.flags, DWORD{OVR_COLOUR | OVR_WIDTH});
}

TEST_F(SolidLineTest, RecordsDashTypeDashesWithTheRecordsValues) {
  RecordingDash* dash = RecordingDash::Create();
  tagStyleOverride record = EmptyRecord();
  record.flags = OVR_DASH_TYPE;
  record.dashType = dash;
  TestGeometry geometry({0, 0, 0, 1, 0, 0});
  ASSERT_EQ(Draw(target.target(), geometry, &record), S_OK);
  ASSERT_EQ(dash->runs.size(), 1u);
  EXPECT_EQ(dash->runs[0].colour, 0x00AA00u);
  EXPECT_EQ(dash->runs[0].width, 4.0);
  EXPECT_FALSE(dash->runs[0].recordHasDashType);
  dash->answer = E_ABORT;
  EXPECT_EQ(Draw(target.target(), geometry, &record), E_ABORT);
  dash->Release();
}

TEST_F(SolidLineTest, DefaultDrawingIgnoresDashTypesAndDrawsEachRun) {
  TestGeometry geometry({0, 0, 0, kSep, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0});
  const RenderContextScales context = UnitScales();
  ASSERT_EQ(render->RenderWithContext(&geometry.record, target.target(), &context, nullptr, nullptr, nullptr), S_OK);
  EXPECT_THAT(PolylineCounts(target), ElementsAre(1u, 3u));
  EXPECT_THAT(PenColours(target), ElementsAre(0x00AA00u));
}

TEST_F(SolidLineTest, ExtentsByUnitsCode) {
  StyleExtent extent{};
  ASSERT_EQ(render->GetExtentDelta(&extent), S_OK);
  EXPECT_EQ(extent.value, 3u);
  line->SetUnits(11);
  render->GetExtentDelta(&extent);
  EXPECT_EQ(extent.first, 2.0);
  EXPECT_EQ(extent.value, 0u);
}

TEST_F(SolidLineTest, VersionOneRecordLoadsAndStoresAsVersionTwo) {
  line->SetUnits(11);
  line->SetLockedFields(LSOLID_LOCK_WIDTH);
  TestArchive older(ARCHIVE_STORING | ARCHIVE_VERSIONED);
  ArchiveSetClassVersion(older.get(), &CLSID_JStyleLineSolid, 1);
  ASSERT_EQ(Query<IJPersist>(line, IID_IJPersist)->Store(older.get()), S_OK);

  IJStyleLineSolid* loaded = NewStyle<IJStyleLineSolid>(CLSID_JStyleLineSolid, IID_IJStyleLineSolid);
  older.Reload();
  ASSERT_EQ(Query<IJPersist>(loaded, IID_IJPersist)->Load(older.get()), S_OK);
  TestArchive current(ARCHIVE_STORING | ARCHIVE_VERSIONED);
  ASSERT_EQ(Query<IJPersist>(loaded, IID_IJPersist)->Store(current.get()), S_OK);
  const std::vector<BYTE> bytes = current.Bytes();
  // Two class headers and the base record, then locked fields, a reserved word, width, a reserved length, colour.
  ASSERT_EQ(bytes.size(), 50u + 28u);
  EXPECT_EQ(ReadAt<WORD>(bytes, 34), 2u);
  EXPECT_EQ(ReadAt<WORD>(bytes, 36) & kStyleBaseUnitsMask, 1u);
  EXPECT_EQ(ReadAt<DWORD>(bytes, 50), DWORD{LSOLID_LOCK_WIDTH});
  EXPECT_EQ(ReadAt<DWORD>(bytes, 54), 0u);
  EXPECT_EQ(ReadAt<double>(bytes, 58), 4.0);
  EXPECT_EQ(ReadAt<double>(bytes, 66), 0.0);
  EXPECT_EQ(ReadAt<DWORD>(bytes, 74), 0x00AA00u);

  // Selective copy with the width locked takes the colour only.
  IJStyleLineSolid* source = NewStyle<IJStyleLineSolid>(CLSID_JStyleLineSolid, IID_IJStyleLineSolid);
  source->SetColor(0x0000FF);
  source->SetWidth(9.0);
  source->SetUnits(12);
  ASSERT_EQ(Query<IJManageStyle2>(loaded, IID_IJManageStyle2)->CopyFrom(source, 1), S_OK);
  tagStyleLineSolidData data{};
  loaded->GetData(&data);
  EXPECT_EQ(data.colour, 0x0000FFu);
  EXPECT_EQ(data.width, 4.0);
  EXPECT_EQ(data.unitsCode, 11u);
  source->Release();
  loaded->Release();
}

}  // namespace

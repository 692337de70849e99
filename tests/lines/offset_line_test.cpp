// The offset line: its referenced style drawn along the path moved to one side or towards a quadrant, its
// comparison, its records of each version, its extents and its interface table.
#include <cmath>
#include <functional>
#include <limits>
#include <tuple>

#include "display/style/stylesrv_itf.h"
#include "host/quarnet/quarnet.h"
#include "tests/lines/line_fixtures.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using stylesrv_test::IsReport;
using stylesrv_test::Reports;

namespace {

constexpr char kSource[] = "OLG";
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

using Path = std::vector<double>;  // x, y pairs

// Where the lines through a0-a1 and b0-b1 meet, by Cramer's rule on the 2x2 system a0 + s (a1 - a0) = b0 + t (b1 - b0).
std::pair<double, double> Meet(std::pair<double, double> a0, std::pair<double, double> a1,
                               std::pair<double, double> b0, std::pair<double, double> b1) {
  const double m11 = a1.first - a0.first, m12 = -(b1.first - b0.first);
  const double m21 = a1.second - a0.second, m22 = -(b1.second - b0.second);
  const double r1 = b0.first - a0.first, r2 = b0.second - a0.second;
  const double s = (r1 * m22 - m12 * r2) / (m11 * m22 - m12 * m21);
  return {a0.first + s * m11, a0.second + s * m21};
}

class OffsetLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterLineVersions();
    stylesrv_test::ClearReports();
    QnClearGeomCalls();
    olg = NewStyle<IJStyleOLG>(CLSID_JStyleOLG, IID_IJStyleOLG);
    ASSERT_NE(olg, nullptr);
    solid = NewStyle<IJStyleLineSolid>(CLSID_JStyleLineSolid, IID_IJStyleLineSolid);
    ASSERT_NE(solid, nullptr);
    ASSERT_EQ(Render(olg)->SetReferencedStyle(solid), S_OK);
  }
  void TearDown() override {
    QnFailTwoPointsAt(0, 0);
    olg->Release();
    solid->Release();
  }

  static StyleComPtr<IJStyleRender> Render(IUnknown* style) { return Query<IJStyleRender>(style, IID_IJStyleRender); }

  // The paths the referenced solid line drew (x, y of each point) when the offset line drew the geometry.
  std::vector<Path> Drawn(const TestGeometry& geometry, const StyleElementRecord* element,
                          const tagStyleOverride* record, HRESULT* hr,
                          const RenderContextScales& context = UnitScales()) {
    TestTarget target;
    *hr = Render(olg)->RenderWithContext(&geometry.record, target.target(), &context, nullptr, record, element);
    std::vector<Path> paths;
    const std::vector<SitheCall> calls = target.Calls();
    for (DWORD i = 0; i < calls.size(); ++i) {
      if (std::string(calls[i].name) != "DrawPolyline") continue;
      std::vector<double> xyz(3 * calls[i].pointCount);
      target.recording()->GetCallPoints(i, calls[i].pointCount, xyz.data());
      Path xy;
      for (DWORD k = 0; k < calls[i].pointCount; ++k) xy.insert(xy.end(), {xyz[3 * k], xyz[3 * k + 1]});
      paths.push_back(xy);
    }
    return paths;
  }

  // An override record whose dash scale is flagged, or an empty one for scale 0.
  static tagStyleOverride ScaledRecord(double scale) {
    tagStyleOverride record = EmptyRecord();
    if (scale != 0) {
      record.flags = OVR_SCALE;
      record.dashScale = scale;
    }
    return record;
  }

  static void ExpectPaths(const std::vector<Path>& got, const std::vector<Path>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(got[i].size(), want[i].size()) << "path " << i;
      for (std::size_t k = 0; k < got[i].size(); ++k) EXPECT_NEAR(got[i][k], want[i][k], 1e-9) << i << ", " << k;
    }
  }

  IJStyleOLG* olg = nullptr;
  IJStyleLineSolid* solid = nullptr;
};

// The side offset moves every run to the right of its first segment for a positive offset and to the left
// otherwise, by the offset scaled by the record's dash scale; what cannot be moved draws nothing.
TEST_F(OffsetLineTest, SideOffsetMovesEachRunToTheSideOfTheOffsetsSign) {
  const std::vector<double> across = {0, 0, 0, 10, 0, 0};
  const std::vector<double> ell = {0, 0, 0, 10, 0, 0, 10, 10, 0};
  const struct {
    const char* name;
    double offset;
    DWORD mode, code;
    std::vector<double> points;
    double scale;  // the record's dash scale; 0: none flagged
    double scale13;
    DWORD whole;  // bit 16 of the geometry record's first word
    std::vector<Path> drawn;
  } rows[] = {
      {"+1 goes to the right", 1, 1, 0, across, 0, 1, 0, {{0, -1, 10, -1}}},
      {"-1 goes to the left", -1, 1, 0, across, 0, 1, 0, {{0, 1, 10, 1}}},
      {"0 in mode 0 is distance 0", 0, 0, 0, across, 0, 1, 0, {{0, 0, 10, 0}}},
      {"a lone point is a unit segment along +x", 1, 0, 0, {3, 4, 0}, 0, 1, 0, {{3, 3, 4, 3}}},
      {"the record's scale multiplies", 1, 0, 0, across, 2.5, 1, 0, {{0, -2.5, 10, -2.5}}},
      {"the context's scale of code 13 too", 1, 0, 0, across, 0, 3, 0, {{0, -3, 10, -3}}},
      {"an L comes back mitred", 1, 0, 0, ell, 0, 1, 0, {{0, -1, 11, -1, 11, 10}}},
      {"each run on its own, whole or not", 1, 0, 0, {0, 0, 0, 10, 0, 0, kSep, 0, 0, 0, 5, 0, 10, 5, 0}, 0, 1,
       0x10000, {{0, -1, 10, -1}, {0, 4, 10, 4}}},
      {"no points", 1, 0, 0, {}, 0, 1, 0, {}},
      {"a point that is no number", 1, 0, 0, {0, 0, 0, kNaN, 0, 0}, 0, 1, 0, {}},
      {"an offset too long to make", 1, 0, 0, across, 0, kInf, 0, {}},
      {"mode 1 of an element of another code", 1, 1, 102, across, 0, 1, 0, {{0, -1, 10, -1}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    stylesrv_test::ClearReports();
    ASSERT_EQ(olg->SetOffset(row.offset), S_OK);
    ASSERT_EQ(olg->SetMode(row.mode), S_OK);
    TestGeometry geometry(row.points);
    geometry.record.word0 = row.whole;
    tagStyleOverride record = ScaledRecord(row.scale);
    StyleElementRecord element{0, 0, nullptr, row.code, 0};
    HRESULT hr = E_UNEXPECTED;
    ExpectPaths(Drawn(geometry, &element, &record, &hr, Scales(1, 1, row.scale13)), row.drawn);
    EXPECT_EQ(hr, S_OK);
    EXPECT_THAT(Reports(), IsEmpty());
  }

  // A record without geometry, or without points, is refused and reported.
  StyleGeometryRecord bare{};
  TestTarget target;
  const RenderContextScales context = UnitScales();
  StyleComPtr<IJStyleRender> render = Render(olg);
  EXPECT_EQ(render->RenderWithContext(nullptr, target.target(), &context, nullptr, nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(render->RenderWithContext(&bare, target.target(), &context, nullptr, nullptr, nullptr), E_INVALIDARG);
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_INVALIDARG, kSource, 1208), IsReport(E_INVALIDARG, kSource, 1208)));
}

// Elements of codes 103 to 105 in a mode other than 0 move each segment towards the mode's quadrant; the corners
// are where the moved segments' lines meet, and a closed element's last corner closes on the first segment.
TEST_F(OffsetLineTest, QuadrantOffsetMovesSegmentsTowardsTheModesQuadrant) {
  using P = std::pair<double, double>;
  // Mode 1 on the rectangle: vertical sides move right, horizontal ones down; the corners by an independent solve.
  const P bottom[2] = {{0, -1}, {10, -1}}, right[2] = {{11, 0}, {11, 5}}, top[2] = {{10, 4}, {0, 4}},
          left[2] = {{1, 5}, {1, 0}};
  const P c1 = Meet(bottom[0], bottom[1], right[0], right[1]), c2 = Meet(right[0], right[1], top[0], top[1]),
          c3 = Meet(top[0], top[1], left[0], left[1]), c0 = Meet(left[0], left[1], bottom[0], bottom[1]);
  const Path rectangle = {c0.first, c0.second, c1.first, c1.second, c2.first, c2.second,
                          c3.first, c3.second, c0.first, c0.second};
  const std::vector<double> box = {0, 0, 0, 10, 0, 0, 10, 5, 0, 0, 5, 0, 0, 0, 0};
  const std::vector<double> ell = {0, 0, 0, 10, 0, 0, 10, 10, 0};
  const struct {
    const char* name;
    DWORD mode, code;
    std::vector<double> points;
    double offset, referenceLength, scale;
    std::vector<Path> drawn;
  } rows[] = {
      {"mode 1 on a closed rectangle", 1, 105, box, -1, 0, 0, {rectangle}},
      {"mode 2 moves left and down; open ends stay moved ends", 2, 104, ell, -1, 0, 0, {{0, -1, 9, -1, 9, 10}}},
      {"mode 9 moves as mode 3, right and up", 9, 103, ell, 1, 0, 0, {{0, 1, 11, 1, 11, 10}}},
      {"the record's scale multiplies", 2, 104, ell, 1, 0, 2, {{0, -2, 8, -2, 8, 10}}},
      {"45 degrees goes by the y factor", 1, 103, {0, 0, 0, 10, 10, 0}, std::sqrt(0.5), 0, 0,
       {{0.5, -0.5, 10.5, 9.5}}},
      {"a collinear point stays on the moved line", 1, 103, {0, 0, 0, 5, 0, 0, 10, 0, 0}, 1, 0, 0,
       {{0, -1, 5, -1, 10, -1}}},
      {"half the reference length is drawn", 2, 104, ell, 1, 2, 0, {{0, -1, 9, -1, 9, 10}}},
      {"less is not", 2, 104, ell, 1, 2.001, 0, {}},
      {"a lone point takes the side offset", 1, 105, {3, 4, 0}, -1, 0, 0, {{3, 5, 4, 5}}},
      {"one segment of a closed element stays whole", 1, 105, {0, 0, 0, 10, 0, 0}, -1, 0, 0, {{0, -1, 10, -1}}},
      {"mode 0 takes the side offset", 0, 104, ell, -1, 0, 0, {{0, 1, 9, 1, 9, 10}}},
      {"each run on its own", 1, 103, {0, 0, 0, 10, 0, 0, kSep, kSep, 0, 0, 5, 0, 0, 10, 0}, 1, 0, 0,
       {{0, -1, 10, -1}, {1, 5, 1, 10}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    QnClearGeomCalls();
    ASSERT_EQ(olg->SetMode(row.mode), S_OK);
    ASSERT_EQ(olg->SetOffset(row.offset), S_OK);
    TestGeometry geometry(row.points);
    tagStyleOverride record = ScaledRecord(row.scale);
    StyleElementRecord element{0, 0, nullptr, row.code, row.referenceLength};
    HRESULT hr = E_UNEXPECTED;
    ExpectPaths(Drawn(geometry, &element, &record, &hr), row.drawn);
    EXPECT_EQ(hr, S_OK);
    // Separators never reach the geometry library.
    QnGeomCall call{};
    for (LONG i = 0; QnGetGeomCall(i, &call); ++i) {
      for (double v : call.in) EXPECT_NE(std::fabs(v), DBL_MAX) << i;
    }
  }

  // A segment the geometry library refuses fails the drawing, reported, and nothing is drawn.
  ASSERT_EQ(olg->SetMode(1), S_OK);
  stylesrv_test::ClearReports();
  QnFailTwoPointsAt(2, 7);
  TestGeometry geometry(box);
  StyleElementRecord element{0, 0, nullptr, 105, 0};
  HRESULT hr = S_OK;
  EXPECT_TRUE(Drawn(geometry, &element, nullptr, &hr).empty());
  EXPECT_EQ(hr, E_FAIL);
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_FAIL, kSource, 1568)));

  // A failed run stays the answer when a later run is drawn.
  QnFailTwoPointsAt(1, 7);
  TestGeometry runs({0, 0, 0, 10, 0, 0, kSep, kSep, 0, 0, 5, 0, 0, 10, 0});
  StyleElementRecord open{0, 0, nullptr, 103, 0};
  ExpectPaths(Drawn(runs, &open, nullptr, &hr), {{1, 5, 1, 10}});
  EXPECT_EQ(hr, E_FAIL);
}

// Offsets closer than single-precision epsilon are the same; modes and units codes must match; clones and copies
// are equal, a copy whatever the target held before.
TEST_F(OffsetLineTest, EqualityAllowsSinglePrecisionOffsets) {
  ASSERT_EQ(olg->SetOffset(2.0), S_OK);
  const struct {
    const char* name;
    std::function<void(IJStyleOLG*)> change;
    bool same;
  } rows[] = {
      {"as made", [](IJStyleOLG*) {}, true},
      {"1.19e-07 apart", [](IJStyleOLG* o) { o->SetOffset(2.0 + 1.19e-07); }, true},
      {"epsilon apart", [](IJStyleOLG* o) { o->SetOffset(2.0 + 1.1920928955078125e-07); }, false},
      {"another mode", [](IJStyleOLG* o) { o->SetMode(2); }, false},
      {"another units code", [](IJStyleOLG* o) { o->SetUnits(12); }, false},
      {"a changed style copied over",
       [this](IJStyleOLG* o) {
         o->SetMode(2);
         o->SetOffset(-9.0);
         o->SetUnits(12);
         ASSERT_EQ(Query<IJManageStyle2>(o, IID_IJManageStyle2)->CopyFrom(olg, 0), S_OK);
       },
       true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    StyleComPtr<IUnknown> clone;
    ASSERT_EQ(Query<IJPersist>(olg, IID_IJPersist)->Clone(nullptr, clone.Put()), S_OK);
    StyleComPtr<IJStyleOLG> other = Query<IJStyleOLG>(clone.Get(), IID_IJStyleOLG);
    ASSERT_EQ(Render(other.Get())->SetReferencedStyle(solid), S_OK);
    row.change(other.Get());
    BOOL same = !row.same;
    ASSERT_EQ(Query<IJManageStyle2>(olg, IID_IJManageStyle2)->IsSameStyle(other.Get(), &same), S_OK);
    EXPECT_EQ(same != FALSE, row.same);
  }
  // A style of another class cannot be copied from.
  EXPECT_EQ(Query<IJManageStyle2>(olg, IID_IJManageStyle2)->CopyFrom(solid, 0), E_NOINTERFACE);
}

// The current record is the base record, whose flags carry the mode in bits 3 to 5 beside the units code, and
// the offset; older records carry no mode and load with mode 0. A loaded mode past 4 is kept but not stored.
TEST_F(OffsetLineTest, RecordsOfEachVersion) {
  const OLGData data{13, 2.5, 2};
  ASSERT_EQ(olg->SetData(&data), S_OK);
  TestArchive current(ARCHIVE_STORING);
  ASSERT_EQ(Query<IJPersist>(olg, IID_IJPersist)->Store(current.get()), S_OK);
  const std::vector<BYTE> record = current.Bytes();
  ASSERT_EQ(record.size(), 22u);
  EXPECT_EQ(ReadAt<WORD>(record, 0), 0x0013u);
  EXPECT_EQ(ReadAt<double>(record, 14), 2.5);

  const struct {
    const char* name;
    WORD version;  // 0: the unversioned current record with its flags word replaced
    WORD flags;
    OLGData loaded;
    HRESULT storedAgain;
  } rows[] = {
      {"version 3", 3, 0, {13, 2.5, 2}, S_OK},
      {"version 2", 2, 0, {13, 2.5, 0}, S_OK},
      {"version 1", 1, 0, {13, 2.5, 0}, S_OK},
      {"a stored mode 7", 0, 0x3B, {13, 2.5, 7}, E_INVALIDARG},
      {"mode 4 in code 11", 0, 0x21, {11, 2.5, 4}, S_OK},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    stylesrv_test::ClearReports();
    TestArchive archive(row.version ? ARCHIVE_STORING | ARCHIVE_VERSIONED : ARCHIVE_STORING);
    if (row.version) {
      ArchiveSetClassVersion(archive.get(), &CLSID_JStyleOLG, row.version);
      ASSERT_EQ(Query<IJPersist>(olg, IID_IJPersist)->Store(archive.get()), S_OK);
      archive.Reload();
    } else {
      ArchiveSetData(archive.get(), record.data(), static_cast<DWORD>(record.size()));
      WriteAt<WORD>(archive.get(), 0, row.flags);
      ArchiveRestart(archive.get(), ARCHIVE_LOADING);
    }
    StyleComPtr<IJStyleOLG> loaded(NewStyle<IJStyleOLG>(CLSID_JStyleOLG, IID_IJStyleOLG));
    ASSERT_EQ(Query<IJPersist>(loaded.Get(), IID_IJPersist)->Load(archive.get()), S_OK);
    OLGData got{};
    ASSERT_EQ(loaded->GetData(&got), S_OK);
    EXPECT_EQ(std::make_tuple(got.unitsCode, got.offset, got.mode),
              std::make_tuple(row.loaded.unitsCode, row.loaded.offset, row.loaded.mode));
    TestArchive again(ARCHIVE_STORING);
    EXPECT_EQ(Query<IJPersist>(loaded.Get(), IID_IJPersist)->Store(again.get()), row.storedAgain);
    if (FAILED(row.storedAgain)) {
      EXPECT_EQ(ArchiveSize(again.get()), 0u);
      EXPECT_THAT(Reports(), ::testing::Contains(IsReport(E_INVALIDARG, kSource, 520)));
    }
  }
  // Storing an older record leaves the style's own mode alone.
  DWORD mode = 0;
  ASSERT_EQ(olg->GetMode(&mode), S_OK);
  EXPECT_EQ(mode, 2u);

  // Damaged records: an offset that is no number, an old record's units code the current one cannot carry.
  TestArchive old(ARCHIVE_STORING | ARCHIVE_VERSIONED);
  ArchiveSetClassVersion(old.get(), &CLSID_JStyleOLG, 2);
  ASSERT_EQ(Query<IJPersist>(olg, IID_IJPersist)->Store(old.get()), S_OK);
  const DWORD size = ArchiveSize(old.get());
  WriteAt<DWORD>(old.get(), size - 4, 99);
  old.Reload();
  TestArchive nan(ARCHIVE_LOADING);
  ArchiveSetData(nan.get(), record.data(), static_cast<DWORD>(record.size()));
  WriteAt<double>(nan.get(), 14, kNaN);
  WriteAt<WORD>(nan.get(), 0, 0x11);  // units 11, read before the offset is refused
  ArchiveRestart(nan.get(), ARCHIVE_LOADING);
  for (TestArchive* damaged : {&old, &nan}) {
    StyleComPtr<IJStyleOLG> loaded(NewStyle<IJStyleOLG>(CLSID_JStyleOLG, IID_IJStyleOLG));
    EXPECT_EQ(Query<IJPersist>(loaded.Get(), IID_IJPersist)->Load(damaged->get()), E_FAIL);
    double offset = 9;
    loaded->GetOffset(&offset);
    EXPECT_EQ(offset, 0.0);
    // Whatever the failed load left of the base, the offset's units code still follows it.
    DWORD units = 0;
    ASSERT_EQ(loaded->GetUnits(&units), S_OK);
    TestArchive stored(ARCHIVE_STORING);
    ASSERT_EQ(Query<IJPersist>(loaded.Get(), IID_IJPersist)->Store(stored.get()), S_OK);
    EXPECT_EQ(10u + (ReadAt<WORD>(stored.Bytes(), 0) & 7u), units);
  }
}

// Without context the offset's length and one more is added to the referenced style's u32, the length to both
// doubles; under a context the referenced range and the own extent are added and merged into the caller's.
TEST_F(OffsetLineTest, ExtentsAddTheOffsetToTheReferencedStyles) {
  ASSERT_EQ(solid->SetWidth(4.0), S_OK);
  ASSERT_EQ(olg->SetOffset(-2.5), S_OK);
  RecordingLibrarian* library = RecordingLibrarian::Create();
  const DWORD solidID = library->Add(solid);
  library->Add(olg);
  const struct {
    const char* name;
    std::function<void()> set;
    StyleExtent delta;
  } rows[] = {
      {"a solid line of code 13", [] {}, {3 + 3, 2.5, 2.5}},
      {"of code 11", [&] { solid->SetUnits(11); }, {0 + 3, 2.0 + 2.5, 2.5}},
      {"known by ID only",
       [&] {
         Query<IJStyleSetup2d>(olg, IID_IJStyleSetup2d)->SetReferencedStyleID(0);
         Query<IJStyleSetup2d>(olg, IID_IJStyleSetup2d)->SetReferencedStyleID(solidID);
       },
       {0 + 3, 2.0 + 2.5, 2.5}},
      {"none", [&] { Query<IJStyleSetup2d>(olg, IID_IJStyleSetup2d)->SetReferencedStyleID(0); }, {3, 2.5, 2.5}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    row.set();
    StyleExtent extent{77, 77, 77};
    ASSERT_EQ(Render(olg)->GetExtentDelta(&extent), S_OK);
    EXPECT_EQ(std::make_tuple(extent.value, extent.first, extent.second),
              std::make_tuple(row.delta.value, row.delta.first, row.delta.second));
  }

  TestLineStyle* referenced = TestLineStyle::Create();
  referenced->ownExtent = {5, 1.0, 2.0};
  ASSERT_EQ(Render(olg)->SetReferencedStyle(referenced->Unknown()), S_OK);
  const struct {
    DWORD units;
    StyleExtent range;
  } ranges[] = {{13, {10, 1.0, 7.0}}, {11, {10, 3.5, 7.0}}, {12, {10, 1.0, 7.0}}};
  const RenderContextScales context = UnitScales();
  for (const auto& row : ranges) {
    SCOPED_TRACE(row.units);
    ASSERT_EQ(olg->SetUnits(row.units), S_OK);
    StyleExtent extent{10, 0.5, 7.0};
    ASSERT_EQ(Render(olg)->GetRangeWithContext(&extent, &context, nullptr, nullptr), S_OK);
    EXPECT_EQ(std::make_tuple(extent.value, extent.first, extent.second),
              std::make_tuple(row.range.value, row.range.first, row.range.second));
  }
  // The own extent's value grows once the offset's length outgrows the caller's.
  ASSERT_EQ(olg->SetUnits(13), S_OK);
  ASSERT_EQ(olg->SetOffset(7.0), S_OK);
  StyleExtent extent{};
  ASSERT_EQ(Render(olg)->GetRangeWithContext(&extent, &context, nullptr, nullptr), S_OK);
  EXPECT_EQ(extent.value, 5u + 8u);
  referenced->Release();
  library->Release();
}

// The interface's table, called by slot as a host that knows only the places; bad arguments are refused.
TEST_F(OffsetLineTest, InterfaceSlotsKeepTheirPlaces) {
  using stylesrv_test::CallSlot;
  double offset = 0;
  DWORD units = 0, mode = 0;
  OLGData data{12, -4.0, 3}, got{};
  EXPECT_EQ(CallSlot(olg, 3, 1.5), S_OK);
  EXPECT_EQ(CallSlot(olg, 4, &offset), S_OK);
  EXPECT_EQ(CallSlot(olg, 5, DWORD{11}), S_OK);
  EXPECT_EQ(CallSlot(olg, 6, &units), S_OK);
  EXPECT_EQ(CallSlot(olg, 9, DWORD{4}), S_OK);
  EXPECT_EQ(CallSlot(olg, 10, &mode), S_OK);
  EXPECT_EQ(std::make_tuple(offset, units, mode), std::make_tuple(1.5, 11u, 4u));
  EXPECT_EQ(CallSlot(olg, 7, static_cast<const OLGData*>(&data)), S_OK);
  EXPECT_EQ(CallSlot(olg, 8, &got), S_OK);
  EXPECT_EQ(std::make_tuple(got.unitsCode, got.offset, got.mode), std::make_tuple(12u, -4.0, 3u));

  const struct {
    const char* name;
    std::function<HRESULT()> call;
    int line;
  } rows[] = {
      {"GetOffset(null)", [&] { return olg->GetOffset(nullptr); }, 245},
      {"GetUnits(null)", [&] { return olg->GetUnits(nullptr); }, 302},
      {"GetMode(null)", [&] { return olg->GetMode(nullptr); }, 760},
      {"GetData(null)", [&] { return olg->GetData(nullptr); }, 676},
      {"SetData(null)", [&] { return olg->SetData(nullptr); }, 640},
      {"SetOffset(NaN)", [&] { return olg->SetOffset(kNaN); }, 210},
      {"SetOffset(-inf)", [&] { return olg->SetOffset(-kInf); }, 210},
      {"SetData(offset inf)", [&] { const OLGData bad{13, kInf, 1}; return olg->SetData(&bad); }, 640},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    stylesrv_test::ClearReports();
    EXPECT_EQ(row.call(), E_INVALIDARG);
    EXPECT_THAT(Reports(), ElementsAre(IsReport(E_INVALIDARG, kSource, row.line)));
  }
  ASSERT_EQ(olg->GetData(&got), S_OK);
  EXPECT_EQ(std::make_tuple(got.unitsCode, got.offset, got.mode), std::make_tuple(12u, -4.0, 3u));
}

}  // namespace

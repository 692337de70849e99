// The simple fill: boundary runs filled and handed to the pattern, the record it prepares, its point buffer,
// its interfaces at their places, its records, and its pattern as a reference counted by the style library.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <tuple>

#include "display/style/stylbas/StyleCallDepth.h"
#include "tests/fill/fill_fixtures.h"
#include "tests/lines/line_fixtures.h"
#include "tests/styllib/library_fixtures.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using stylesrv_test::ClearReports;
using stylesrv_test::Reports;
using styllib_test::IdentityOf;
using styllib_test::TestLibrary;

namespace {

constexpr char kSource[] = "SIMPFILL";
constexpr double R = DBL_MAX;   // with all three coordinates, ends a run
constexpr double L = -DBL_MAX;  // as x, ends a loop inside a run
constexpr double kNear = 1e-8;  // closer than the merging distance
const std::vector<double> kTriangle = {0, 0, 0, 1, 0, 0, 0, 1, 0};

ULONG Refs(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

// n distinct points on a circle.
std::vector<double> Ring(DWORD n) {
  std::vector<double> xyz;
  for (DWORD i = 0; i < n; ++i) xyz.insert(xyz.end(), {std::cos(i * 6.283 / n), std::sin(i * 6.283 / n), 0});
  return xyz;
}

// Slot `slot` of an interface's table, called as a host that knows only the places would.
template <class... Args>
HRESULT CallSlot(IUnknown* itf, int slot, Args... args) {
  using Fn = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, Args...);
  return reinterpret_cast<Fn>((*reinterpret_cast<void***>(itf))[slot])(itf, args...);
}

// A simple fill made by stylesrv.dll's class object, and a recording pattern.
class SimpleFillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ArchiveRegisterClassVersion(&CLSID_JStyleSimpleFill, 3);
    fill = NewStyle<IJStyleSimpleFill>(CLSID_JStyleSimpleFill, IID_IJStyleSimpleFill);
    ASSERT_NE(fill, nullptr);
    render = Query<IJStyleRender>(fill, IID_IJStyleRender).Detach();
    pattern = RecordingPattern::Create();
    ClearReports();
  }
  void TearDown() override {
    if (render) render->Release();
    if (fill) fill->Release();
    pattern->Release();
  }

  HRESULT Draw(const std::vector<double>& xyz, const tagStyleOverride& record = EmptyRecord(),
               const FillDrawingSetup* setup = nullptr) {
    TestGeometry geometry(xyz);
    return DrawRecord(geometry.record, record, setup);
  }
  HRESULT DrawRecord(const StyleGeometryRecord& geometry, const tagStyleOverride& record = EmptyRecord(),
                     const FillDrawingSetup* setup = nullptr) {
    const RenderContextScales context = UnitScales();
    return render->RenderWithContext(&geometry, target.target(), &context, nullptr, &record,
                                     AsSeventhArgument(setup));
  }
  // The point counts of the area fills, their points one after another, and the colours they were set.
  std::vector<DWORD> Areas(std::vector<double>* points = nullptr, std::vector<DWORD>* colours = nullptr) const {
    std::vector<DWORD> counts;
    const std::vector<SitheCall> calls = target.Calls();
    for (DWORD i = 0; i < calls.size(); ++i) {
      if (colours && std::strcmp(calls[i].name, "SetFillColor") == 0) colours->push_back(calls[i].u[0]);
      if (std::strcmp(calls[i].name, "FillArea") != 0) continue;
      counts.push_back(calls[i].pointCount);
      std::vector<double> xyz(std::size_t{calls[i].pointCount} * 3);
      target.recording()->GetCallPoints(i, calls[i].pointCount, xyz.data());
      if (points) points->insert(points->end(), xyz.begin(), xyz.end());
    }
    return counts;
  }
  std::vector<DWORD> PatternCounts() const {
    std::vector<DWORD> counts;
    for (const RecordingPattern::Run& run : pattern->runs) counts.push_back(static_cast<DWORD>(run.points.size() / 3));
    return counts;
  }

  IJStyleSimpleFill* fill = nullptr;
  IJStyleRender* render = nullptr;
  RecordingPattern* pattern = nullptr;
  TestTarget target;
};

TEST_F(SimpleFillTest, EachRunIsFilledInTheRecordColourAndHandedToThePattern) {
  const DWORD green = 0x00AA00;
  const struct {
    const char* what;
    std::vector<double> xyz;
    std::vector<DWORD> runs;
    DWORD colour = 0x00AA00;
  } rows[] = {
      {"two runs", {0, 0, 0, 4, 0, 0, 4, 3, 0, R, R, R, 5, 5, 0, 6, 5, 0, 6, 6, 0, 5, 6, 0}, {3, 4}},
      {"empty runs", {R, R, R, 0, 0, 0, 1, 0, 0, 1, 1, 0, R, R, R, R, R, R, 2, 2, 0, 3, 2, 0, 3, 3, 0, R, R, R}, {3, 3}},
      {"near points merged, the last kept", {0, 0, 0, kNear, kNear, 0, 1, 0, 0, 1, 1, 0, 1 + kNear, 1, 7}, {3}},
      {"points 2e-7 apart", {0, 0, 0, 2e-7, 0, 0, 1, 1, 0}, {3}},
      {"one point over and over", {2, 2, 0, 2, 2, 0, 2 + kNear, 2 - kNear, 0}, {1}},
      {"a loop ends inside its run", {0, 0, 0, 9, 0, 0, 0, 9, 0, L, 0, 0, 1, 1, 0, 2, 1, 0, 1, 2, 0}, {7}},
      {"no points", {}, {}},
      {"no colour", {0, 0, 0, 4, 0, 0, 4, 3, 0, R, R, R, 5, 5, 0, 6, 5, 0, 6, 6, 0}, {3, 3}, kNoFillColour},
  };
  ASSERT_EQ(fill->SetPattern(pattern->Unknown()), S_OK);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    fill->SetColor(green);
    if (row.colour == kNoFillColour) fill->SetHasColor(FALSE);
    fill->SetHasColor(TRUE);  // a colour comes only through SetColor
    target.recording()->Clear();
    pattern->runs.clear();
    ASSERT_EQ(Draw(row.xyz), S_OK);
    std::vector<double> filled, handed;
    std::vector<DWORD> colours;
    const std::vector<DWORD> areas = Areas(&filled, &colours);
    EXPECT_EQ(areas, row.colour == kNoFillColour ? std::vector<DWORD>{} : row.runs);
    EXPECT_EQ(colours, std::vector<DWORD>(areas.size(), green));
    EXPECT_EQ(PatternCounts(), row.runs);
    for (const RecordingPattern::Run& run : pattern->runs) handed.insert(handed.end(), run.points.begin(), run.points.end());
    if (!areas.empty()) {
      EXPECT_EQ(handed, filled);
    }
  }
  // A merge keeps the second of two near points, and always the last point.
  EXPECT_EQ(Draw(rows[2].xyz), S_OK);
  EXPECT_EQ(pattern->runs.back().points, (std::vector<double>{kNear, kNear, 0, 1, 0, 0, 1 + kNear, 1, 7}));
  EXPECT_THAT(Reports(), IsEmpty());
}

// The pattern gets the caller's drawing set-up; its first failing run ends the render, what was drawn stays.
TEST_F(SimpleFillTest, PatternGetsTheSetUpAndItsFailureEndsTheRender) {
  fill->SetColor(0x0000FF);
  fill->SetPattern(pattern->Unknown());
  TestRenderContext host;
  const FillDrawingSetup setup = DrawingSetup(&host, STYLE_UNITS_12);
  pattern->answer = E_ABORT;
  EXPECT_EQ(Draw({0, 0, 0, 4, 0, 0, 4, 3, 0, R, R, R, 5, 5, 0, 6, 5, 0, 6, 6, 0}, EmptyRecord(), &setup), E_ABORT);
  EXPECT_THAT(Areas(), ElementsAre(3u));
  ASSERT_EQ(pattern->runs.size(), 1u);
  EXPECT_EQ(pattern->runs[0].setup, &setup);
  EXPECT_TRUE(pattern->runs[0].recordGiven);
  EXPECT_STREQ(Reports().at(1).source, kSource);  // after the pattern's own report
}

TEST_F(SimpleFillTest, RecordTakesTheStyleColourUnlessItsOwnMayStayAndMergesTheScale) {
  const DWORD given = OVR_FILL_COLOUR, byOverride = OVR_FILL_COLOUR | OVR_FILL_COLOUR_BY_OVERRIDE;
  const struct {
    DWORD styleColour, flags, colour;
    double scale;
    DWORD seenColour;
    double seenScale;
  } rows[] = {
      {0x0000FF, 0, 0, 0, 0x0000FF, 2.0},
      {0x0000FF, given, 0x111111, 0, 0x111111, 2.0},
      {kNoFillColour, byOverride, 0x111111, 0, 0x111111, 2.0},
      {kNoFillColour, given, 0x111111, 0, kNoFillColour, 2.0},
      {0x0000FF, OVR_SCALE, 0, 3.0, 0x0000FF, 6.0},
  };
  fill->SetPattern(pattern->Unknown());
  ASSERT_EQ(fill->SetScale(2.0), S_OK);
  for (const auto& row : rows) {
    fill->SetColor(row.styleColour);
    tagStyleOverride record = EmptyRecord();
    record.flags = row.flags;
    record.fillColour = row.colour;
    record.scaleFactor = row.scale;
    pattern->runs.clear();
    target.recording()->Clear();
    ASSERT_EQ(Draw(kTriangle, record), S_OK);
    const tagStyleOverride& seen = pattern->runs.at(0).record;
    EXPECT_EQ(seen.fillColour, row.seenColour);
    EXPECT_EQ(seen.scaleFactor, row.seenScale);
    EXPECT_EQ(seen.flags & (OVR_FILL_COLOUR | OVR_SCALE), DWORD{OVR_FILL_COLOUR | OVR_SCALE});
    EXPECT_EQ(Areas().size(), row.seenColour == kNoFillColour ? 0u : 1u);
  }
  // Applied to a graphic the scale is merged once, as when drawing.
  tagStyleOverride record = EmptyRecord();
  ASSERT_EQ(render->ApplyToGraphic(&record), S_OK);
  EXPECT_EQ(record.scaleFactor, 2.0);
  EXPECT_EQ(record.fillColour, 0x0000FFu);
}

// A dash type the pattern puts into the record is only borrowed while drawing; ApplyToGraphic hands it to the
// caller with a reference of its own.
TEST_F(SimpleFillTest, DashTypeFromThePatternIsBorrowedWhileDrawingAndHeldWhenApplied) {
  RecordingDash* dash = RecordingDash::Create();
  pattern->dash = dash;
  fill->SetPattern(pattern->Unknown());
  const ULONG start = Refs(dash);
  ASSERT_EQ(Draw(kTriangle), S_OK);
  EXPECT_EQ(pattern->runs.at(0).record.dashType, dash);
  EXPECT_EQ(Refs(dash), start);
  tagStyleOverride record = EmptyRecord();
  ASSERT_EQ(render->ApplyToGraphic(&record), S_OK);
  EXPECT_EQ(record.dashType, dash);
  EXPECT_EQ(Refs(dash), start + 1);
  record.dashType->Release();
  dash->Release();
}

TEST_F(SimpleFillTest, BadBoundariesAndScalesAreRefusedAndReported) {
  fill->SetColor(0x0000FF);
  fill->SetPattern(pattern->Unknown());
  TestGeometry noList({});
  noList.record.pointList = nullptr;
  TestGeometry noPoints({0, 0, 0, 1, 1, 0});
  noPoints.run.points = nullptr;
  TestGeometry nan({0, 0, 0, NAN, 1, 0, 2, 2, 0});
  TestGeometry infinite({0, 0, 0, 1, 1, INFINITY, 2, 2, 0});
  const tagStyleOverride empty = EmptyRecord();
  const std::vector<std::function<HRESULT()>> calls = {
      [&] { return render->RenderWithContext(nullptr, target.target(), nullptr, nullptr, &empty, nullptr); },
      [&] { return render->RenderWithContext(&noPoints.record, nullptr, nullptr, nullptr, &empty, nullptr); },
      [&] { return DrawRecord(noList.record); },
      [&] { return DrawRecord(noPoints.record); },
      [&] { return DrawRecord(nan.record); },
      [&] { return DrawRecord(infinite.record); },
      [&] { return fill->SetScale(1e-9); },
      [&] { return fill->SetScale(-1e-9); },
      [&] { return fill->SetScale(NAN); },
      [&] { return fill->SetScale(-INFINITY); },
  };
  ExpectEachRefused(calls, E_INVALIDARG, kSource);
  EXPECT_TRUE(target.Names().empty());
  EXPECT_TRUE(pattern->runs.empty());
  double scale = 0;
  fill->GetScale(&scale);
  EXPECT_EQ(scale, 1.0);
  EXPECT_EQ(fill->SetScale(-1.2e-7), S_OK);
}

// Boundaries up to 100 points draw from a buffer the style keeps; a larger one gets a buffer for the call only.
TEST_F(SimpleFillTest, PointBufferIsKeptForSmallBoundariesAndSurvivesFailures) {
  fill->SetColor(0x0000FF);
  const LONG blocks = EngineLiveBlocks();
  const auto drawFailingAllocation = [&](const std::vector<double>& xyz) {
    EngineFailNextAllocations(1);
    const HRESULT hr = Draw(xyz);
    EngineFailNextAllocations(0);
    return hr;
  };
  ASSERT_EQ(Draw(Ring(80)), S_OK);
  ASSERT_EQ(Draw(Ring(150)), S_OK);
  EXPECT_EQ(EngineLiveBlocks(), blocks + 1);
  EXPECT_EQ(drawFailingAllocation(Ring(80)), S_OK);  // nothing to allocate
  // A buffer that cannot be had ends the render, reported, and leaves the kept buffer as it was.
  EXPECT_EQ(drawFailingAllocation(Ring(150)), E_OUTOFMEMORY);
  EXPECT_EQ(drawFailingAllocation(Ring(90)), E_OUTOFMEMORY);
  TestGeometry huge({0, 0, 0});
  huge.run.count = 0x0AAAAAAB;  // 24 bytes each overflow 32 bits
  EXPECT_EQ(DrawRecord(huge.record), E_OUTOFMEMORY);
  EXPECT_EQ(Reports().size(), 3u);
  EXPECT_EQ(drawFailingAllocation(Ring(80)), S_OK);
  EXPECT_THAT(Areas(), ElementsAre(80u, 150u, 80u, 80u));
  EXPECT_EQ(EngineLiveBlocks(), blocks + 1);
}

// A pattern that leads back to the fill ends at the depth bound; the outermost call answers for it, once.
TEST_F(SimpleFillTest, PatternThatLeadsBackToTheFillEndsAtTheDepthBound) {
  fill->SetPattern(pattern->Unknown());
  ASSERT_EQ(pattern->Setup()->SetReferencedStyle(render), S_OK);
  EXPECT_EQ(Draw({0, 0, 0, 3, 0, 0, 3, 3, 0, R, R, R, 5, 5, 0, 6, 5, 0, 6, 6, 0}), E_FAIL);
  EXPECT_THAT(Reports(), ElementsAre(stylesrv_test::IsReport(E_FAIL, StyleCallDepth::kReportSource,
                                                             StyleCallDepth::kReportLine)));
  EXPECT_LE(pattern->runs.size(), 4 * StyleCallDepth::kLimit);
  pattern->Setup()->SetReferencedStyle(nullptr);
  EXPECT_EQ(Draw(kTriangle), S_OK);
}

TEST_F(SimpleFillTest, InterfacesThroughThePlainTable) {
  DWORD colour = 0, mask = 0, id = 9, first = 0, second = 0;
  BOOL has = TRUE;
  double scale = 0;
  IJStyleFillTypeRender* got = nullptr;
  SimpleFillData in{0x20, TRUE, nullptr, 0x3}, out{};
  // A braced list runs its calls in order.
  const HRESULT answers[] = {
      CallSlot(fill, 3, DWORD{0x10}), CallSlot(fill, 4, &colour), CallSlot(fill, 5, BOOL{FALSE}),
      CallSlot(fill, 6, &has), CallSlot(fill, 7, pattern->Unknown()), CallSlot(fill, 8, &got),
      CallSlot(fill, 9, static_cast<const SimpleFillData*>(&in)), CallSlot(fill, 10, &out),
      CallSlot(fill, 11, DWORD{6}), CallSlot(fill, 12, &mask), CallSlot(fill, 13, DWORD{0}), CallSlot(fill, 14, &id),
      CallSlot(fill, 15, 2.5), CallSlot(fill, 16, &scale)};
  EXPECT_THAT(answers, ::testing::Each(S_OK));
  EXPECT_EQ(std::make_tuple(colour, has, IdentityOf(got)), std::make_tuple(DWORD{0x10}, FALSE, pattern->Unknown()));
  EXPECT_EQ(std::make_tuple(out.colour, out.pattern, out.lockMask), std::make_tuple(DWORD{0x20}, nullptr, DWORD{3}));
  EXPECT_EQ(std::make_tuple(mask, id, scale), std::make_tuple(DWORD{6}, DWORD{0}, 2.5));
  got->Release();

  // The solid-fill interface reaches the same colour.
  StyleComPtr<IJStyleSolidFill> solid = Query<IJStyleSolidFill>(fill, IID_IJStyleSolidFill);
  const DWORD red = 0x0000FF;
  const HRESULT solidAnswers[] = {CallSlot(solid.Get(), 3, DWORD{0x30}), CallSlot(solid.Get(), 4, &first),
                                  CallSlot(solid.Get(), 5, &red),        CallSlot(solid.Get(), 6, &second),
                                  CallSlot(solid.Get(), 7, DWORD{1}),    CallSlot(solid.Get(), 8, DWORD{1})};
  EXPECT_THAT(solidAnswers, ::testing::Each(S_OK));
  fill->GetColor(&colour);
  EXPECT_EQ(std::make_tuple(first, second, colour), std::make_tuple(DWORD{0x30}, red, red));
}

TEST_F(SimpleFillTest, PartialCopyKeepsLockedFieldsComparisonIsExactAndACloneHasNoPattern) {
  IJStyleSimpleFill* source = NewStyle<IJStyleSimpleFill>(CLSID_JStyleSimpleFill, IID_IJStyleSimpleFill);
  source->SetColor(0x0000AA);
  source->SetScale(3.0);
  source->SetPattern(pattern->Unknown());
  fill->SetColor(0x00BB00);
  fill->SetLockMask(SFILL_LOCK_COLOUR | SFILL_LOCK_SCALE);
  StyleComPtr<IJManageStyle2> manage = Query<IJManageStyle2>(fill, IID_IJManageStyle2);
  ASSERT_EQ(manage->CopyFrom(source, 1), S_OK);
  SimpleFillData data{};
  double scale = 0;
  ASSERT_EQ(fill->GetFillData(&data), S_OK);
  fill->GetScale(&scale);
  EXPECT_EQ(std::make_tuple(data.colour, scale, IdentityOf(data.pattern)),
            std::make_tuple(DWORD{0x00BB00}, 1.0, pattern->Unknown()));
  data.pattern->Release();

  ASSERT_EQ(manage->CopyFrom(source, 0), S_OK);  // everything, the lock mask too
  BOOL same = FALSE;
  ASSERT_EQ(manage->IsSameStyle(source, &same), S_OK);
  EXPECT_TRUE(same);
  source->SetScale(3.0 + 1e-12);
  manage->IsSameStyle(source, &same);
  EXPECT_FALSE(same);

  IUnknown* clone = nullptr;
  ASSERT_EQ(Query<IJPersist>(fill, IID_IJPersist)->Clone(nullptr, &clone), S_OK);
  IJStyleFillTypeRender* none = nullptr;
  ASSERT_EQ(Query<IJStyleSimpleFill>(clone, IID_IJStyleSimpleFill)->GetPattern(&none), S_OK);
  EXPECT_EQ(none, nullptr);
  clone->Release();
  source->Release();
}

// ---- records ----

// A record as a byte image.
struct Image {
  std::vector<BYTE> bytes;
  template <class T>
  Image& Put(T value) {
    const auto* p = reinterpret_cast<const BYTE*>(&value);
    bytes.insert(bytes.end(), p, p + sizeof value);
    return *this;
  }
  // The current record: the base record (units code 13, no IDs), mask, colour, pattern ID and perhaps scale.
  static Image Current(DWORD mask, DWORD colour, DWORD patternID, double scale) {
    Image image;
    image.Put(WORD{3}).Put(DWORD{0}).Put(DWORD{0}).Put(DWORD{0}).Put(mask).Put(colour).Put(patternID);
    return (mask & 0x80000000) ? image.Put(scale) : image;
  }
};

class SimpleFillRecordTest : public SimpleFillTest {
 protected:
  HRESULT Load(const Image& image, DWORD flags = 0) {
    TestArchive archive(ARCHIVE_LOADING | flags);
    ArchiveSetData(archive.get(), image.bytes.data(), static_cast<DWORD>(image.bytes.size()));
    return Query<IJPersist>(fill, IID_IJPersist)->Load(archive.get());
  }
  // Colour, lock mask, pattern ID and scale.
  std::tuple<DWORD, DWORD, DWORD, double> State() {
    DWORD colour = 0, mask = 0, id = 0;
    double scale = 0;
    fill->GetColor(&colour);
    fill->GetLockMask(&mask);
    fill->GetPatternID(&id);
    fill->GetScale(&scale);
    return {colour, mask, id, scale};
  }
};

TEST_F(SimpleFillRecordTest, CurrentRecordAlwaysStoresTheScaleAndLoadsOnlyWhatIsSound) {
  const Image image = Image::Current(0x80000005, 0x123456, 7, 2.5);
  ASSERT_EQ(Load(image), S_OK);
  EXPECT_EQ(State(), std::make_tuple(0x123456u, 5u, 7u, 2.5));
  TestArchive stored(ARCHIVE_STORING);
  ASSERT_EQ(Query<IJPersist>(fill, IID_IJPersist)->Store(stored.get()), S_OK);
  EXPECT_EQ(stored.Bytes(), image.bytes);

  // Without bit 31 no scale follows, and the scale stays.
  ASSERT_EQ(Load(Image::Current(0x1, 0xABCDEF, 0, 0)), S_OK);
  const auto loaded = std::make_tuple(0xABCDEFu, 1u, 0u, 2.5);
  EXPECT_EQ(State(), loaded);
  // A damaged scale or a record cut short changes nothing.
  for (double scale : {1e-9, -0.0, double{NAN}, double{INFINITY}}) {
    EXPECT_EQ(Load(Image::Current(0x80000004, 0x111111, 3, scale)), E_FAIL) << scale;
    EXPECT_EQ(State(), loaded);
  }
  for (std::size_t size = 14; size < image.bytes.size(); size += 4) {
    Image cut = image;
    cut.bytes.resize(size);
    EXPECT_TRUE(FAILED(Load(cut))) << size;
    EXPECT_EQ(State(), loaded) << size;
  }
}

TEST_F(SimpleFillRecordTest, OlderRecordAndDroppedReferences) {
  Image old;
  old.Put(CLASSTAG_JStyleBase).Put(WORD{1}).Put(CLSID_JStyleSimpleFill).Put(WORD{2});
  old.Put(CLASSTAG_CStyleRdr2dBase).Put(WORD{2}).Put(DWORD{0}).Put(DWORD{STYLE_KIND_FILL});
  old.Put(DWORD{0x654321}).Put(DWORD{4}).Put(DWORD{0x6});
  fill->SetScale(1.5);
  ASSERT_EQ(Load(old, ARCHIVE_VERSIONED), S_OK);
  EXPECT_EQ(State(), std::make_tuple(0x654321u, 6u, 4u, 1.5));

  // The drop flags release the cached pattern and clear its ID before the ID is read: a record cut short
  // there leaves none.
  fill->SetPatternID(0);
  fill->SetPattern(pattern->Unknown());
  const ULONG held = Refs(pattern->Unknown());
  Image cut = Image::Current(0x80000000, 0x1, 9, 1.0);
  cut.bytes.resize(22);
  EXPECT_TRUE(FAILED(Load(cut, ARCHIVE_DROP_CACHED)));
  EXPECT_EQ(Refs(pattern->Unknown()), held - 1);
  EXPECT_EQ(std::get<2>(State()), 0u);
}

// ---- the pattern as a reference of the library ----

class SimpleFillLibraryTest : public SimpleFillTest {
 protected:
  // Adds a style under a name; the library holds it. Answers the ID.
  static DWORD Add(TestLibrary& library, IUnknown* style, const wchar_t* name, const GUID& type) {
    GUID typeCopy = type;
    StyleRecord record{const_cast<LPWSTR>(name), nullptr, IdentityOf(style), &typeCopy, 0, 0};
    DWORD id = 0;
    EXPECT_TRUE(SUCCEEDED(library->AddStyleNoCreate(&record, &id)));
    return id;
  }
  static DWORD PatternID(IJStyleSimpleFill* of) {
    DWORD id = 0xDEAD;
    of->GetPatternID(&id);
    return id;
  }
  static std::vector<DWORD> enumerated;
  static HRESULT WINAPI Enumerate(DWORD id) {
    enumerated.push_back(id);
    return S_OK;
  }
};

std::vector<DWORD> SimpleFillLibraryTest::enumerated;

TEST_F(SimpleFillLibraryTest, PatternIDMovesUsesAndIsReportedToTheLibrary) {
  TestLibrary library;
  RecordingPattern* other = RecordingPattern::Create();
  const DWORD lineID = library.AddLine(L"Line");
  const DWORD firstID = Add(library, pattern->Unknown(), L"First", STYLETYPE_HatchFillPattern);
  const DWORD secondID = Add(library, other->Unknown(), L"Second", STYLETYPE_HatchFillPattern);
  Add(library, fill, L"Fill", STYLETYPE_Fill);
  ASSERT_EQ(other->Setup()->SetReferencedStyleID(lineID), S_OK);

  const ULONG unused = Refs(pattern->Unknown());
  ASSERT_EQ(fill->SetPatternID(firstID), S_OK);
  ASSERT_EQ(Draw(kTriangle), S_OK);  // caches the first pattern
  EXPECT_EQ(pattern->runs.size(), 1u);
  ASSERT_EQ(fill->SetPatternID(secondID), S_OK);
  EXPECT_EQ(Refs(pattern->Unknown()), unused);
  EXPECT_EQ(library.UseCount(firstID), 0u);
  EXPECT_EQ(library.UseCount(secondID), 1u);

  StyleComPtr<IJStyleUser> user = Query<IJStyleUser>(fill, IID_IJStyleUser);
  EXPECT_TRUE(user->UsesStyleID(secondID));
  EXPECT_TRUE(user->UsesStyleID(lineID));  // through the pattern's own uses
  EXPECT_FALSE(user->UsesStyleID(firstID));
  StyleComPtr<IJManageStyle2> manage = Query<IJManageStyle2>(fill, IID_IJManageStyle2);
  enumerated.clear();
  ASSERT_EQ(manage->EnumStyleRefs(&Enumerate), S_OK);
  EXPECT_EQ(enumerated.at(0), secondID);
  ASSERT_EQ(manage->ReleaseStyleRefs(0), S_OK);
  EXPECT_EQ(library.UseCount(secondID), 0u);
  EXPECT_EQ(PatternID(fill), 0u);
  other->Setup()->SetReferencedStyleID(0);
  other->Release();
}

TEST_F(SimpleFillLibraryTest, CopiedOrMovedFillTakesItsPatternAlong) {
  TestLibrary source;
  TestLibrary target;
  target.AddLine(L"Filler");  // the copies' IDs must differ from the source's
  const DWORD patternID = Add(source, pattern->Unknown(), L"Hatch", STYLETYPE_HatchFillPattern);
  Add(source, fill, L"Filled", STYLETYPE_Fill);
  ASSERT_EQ(fill->SetPatternID(patternID), S_OK);

  DWORD copyID = 0, patternThere = 0;
  ASSERT_EQ(Query<IJManageStyle2>(fill, IID_IJManageStyle2)
                ->CopyStyleToLibrary(source.librarian, target.librarian, target.document, &copyID),
            S_OK);
  const GUID type = STYLETYPE_HatchFillPattern;
  ASSERT_EQ(target->FindStyleIDByName(L"Hatch", &type, &patternThere), S_OK);
  EXPECT_NE(patternThere, patternID);
  StyleComPtr<IUnknown> copy, there;
  ASSERT_EQ(target->GetStyle(copyID, copy.Put()), S_OK);
  ASSERT_EQ(target->GetStyle(patternThere, there.Put()), S_OK);
  StyleComPtr<IJStyleSimpleFill> copied = Query<IJStyleSimpleFill>(copy.Get(), IID_IJStyleSimpleFill);
  EXPECT_EQ(PatternID(copied.Get()), patternThere);
  StyleComPtr<IJStyleFillTypeRender> copiedPattern;
  ASSERT_EQ(copied->GetPattern(copiedPattern.Put()), S_OK);
  EXPECT_EQ(IdentityOf(copiedPattern.Get()), IdentityOf(there.Get()));
  EXPECT_EQ(target.UseCount(patternThere), 1u);
  EXPECT_EQ(source.UseCount(patternID), 1u);

  // A fill given to another owner gives its use back and takes one there.
  IJStyleSimpleFill* loose = NewStyle<IJStyleSimpleFill>(CLSID_JStyleSimpleFill, IID_IJStyleSimpleFill);
  StyleComPtr<IJManageStyle2> manage = Query<IJManageStyle2>(loose, IID_IJManageStyle2);
  ASSERT_EQ(manage->SetLibrarian(source.librarian), S_OK);
  ASSERT_EQ(loose->SetPatternID(patternID), S_OK);
  ASSERT_EQ(manage->SetLibrarian(target.librarian), S_OK);
  EXPECT_EQ(source.UseCount(patternID), 1u);
  EXPECT_EQ(PatternID(loose), patternThere);
  EXPECT_EQ(target.UseCount(patternThere), 2u);
  ASSERT_EQ(manage->SetLibrarian(nullptr), S_OK);
  EXPECT_EQ(target.UseCount(patternThere), 1u);
  loose->Release();
  EXPECT_THAT(Reports(), IsEmpty());
}

}  // namespace

// The line terminator style: what each end's style is handed, refused and failing input, extents, equality,
// its interface by slot, and its records.
#include <limits>

#include "display/style/styles/JStyleLineTerminator.h"
#include "tests/symbols/line_terminator_fixtures.h"

using stylesrv_test::Reports;

namespace symbols_test {
namespace {

TEST_F(LineTerminatorTest, EachEndGetsOneOrientedPointTurnedOutward) {
  Terminator t(server);
  Probe* ends[2] = {NewProbe(), NewProbe()};
  t.style->SetStartStyle(ends[0]->Unknown());
  t.style->SetEndStyle(ends[1]->Unknown());
  const struct {
    Points points;
    std::vector<double> expected[2];  // position, normal, direction of each end
  } cases[] = {
      {Points::Plain({0, 0, 0, 10, 0, 0}), {{0, 0, 0, 0, 0, 1, -10, 0, 0}, {10, 0, 0, 0, 0, 1, 10, 0, 0}}},
      {Points::Plain({3, 4, 5}), {{3, 4, 0, 0, 0, 1, 0, 0, 0}, {3, 4, 0, 0, 0, 1, 0, 0, 0}}},
      {Points::Plain({0, 0, 1, 1, 1, 4, 2, 2, 9}), {{0, 0, 0, 0, 0, 1, -1, -1, -3}, {2, 2, 0, 0, 0, 1, 1, 1, 5}}},
      // Oriented points are walked by their positions.
      {Points::Oriented({1, 0, 0, 7, 7, 4, 0, 0, 7, 7}), {{1, 0, 0, 0, 0, 1, -3, 0, 0}, {4, 0, 0, 0, 0, 1, 3, 0, 0}}},
  };
  tagStyleOverride record{};
  record.flags = OVR_COLOUR;
  record.colour = 0x123456;
  for (const auto& c : cases) {
    for (const tagStyleOverride* given : {static_cast<tagStyleOverride*>(nullptr), &record}) {
      for (Probe* probe : ends) probe->seen.clear();
      ASSERT_EQ(DrawTerminators(t.render.Get(), c.points, given), S_OK);
      for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(ends[i]->seen.size(), 1u);
        const Probe::Seen& seen = ends[i]->seen[0];
        EXPECT_EQ(seen.type, kGeometryOrientedPoints);
        EXPECT_EQ(seen.count, 1u);
        EXPECT_EQ(seen.point, c.expected[i]);
        // A record reaches the terminator whether the caller gave one or not.
        EXPECT_TRUE(seen.recordGiven);
        EXPECT_EQ(seen.colour, given ? 0x123456u : 0u);
        EXPECT_EQ(seen.element, &element);
      }
    }
  }
}

TEST_F(LineTerminatorTest, RefusedInputAndFailuresPartWay) {
  Terminator t(server);
  StyleComPtr<RecordingLibrarian> owner(RecordingLibrarian::Create());
  owner->Add(t.unknown.Get());
  Probe* ends[2] = {NewProbe(), NewProbe()};
  const DWORD s = owner->Add(ends[0]->Unknown()), e = owner->Add(ends[1]->Unknown());
  const Points line = Points::Plain({0, 0, 0, 1, 0, 0});
  Points empty = Points::Plain({}), pointless = Points::Plain({0, 0, 0});
  pointless.run.points = nullptr;
  const StyleGeometryRecord noList{};
  const struct {
    const StyleGeometryRecord* geometry;
    DWORD ids[2];
    HRESULT answers[2], getStyle, expected;
    std::size_t drawn[2];
  } cases[] = {
      {&line.record, {0, 0}, {S_OK, S_OK}, S_OK, S_OK, {0, 0}},  // without terminators nothing is drawn
      {&empty.record, {s, e}, {S_OK, S_OK}, S_OK, S_OK, {0, 0}},
      {nullptr, {s, e}, {S_OK, S_OK}, S_OK, E_INVALIDARG, {0, 0}},
      {&noList, {s, e}, {S_OK, S_OK}, S_OK, E_INVALIDARG, {0, 0}},
      {&pointless.record, {s, e}, {S_OK, S_OK}, S_OK, E_INVALIDARG, {0, 0}},
      {&line.record, {s, e}, {S_OK, E_ABORT}, S_OK, E_ABORT, {1, 1}},  // the start stays drawn
      {&line.record, {s, e}, {E_ABORT, S_OK}, S_OK, E_ABORT, {1, 0}},
      {&line.record, {s, e}, {S_OK, S_OK}, E_OUTOFMEMORY, E_OUTOFMEMORY, {0, 0}},  // unresolved: nothing drawn
  };
  for (const auto& c : cases) {
    // Each case resolves its terminators anew.
    for (DWORD id : {DWORD{0}, c.ids[0]}) ASSERT_EQ(t.style->SetStartStyleID(id), S_OK);
    for (DWORD id : {DWORD{0}, c.ids[1]}) ASSERT_EQ(t.style->SetEndStyleID(id), S_OK);
    for (int i = 0; i < 2; ++i) ends[i]->answer = c.answers[i], ends[i]->seen.clear();
    if (FAILED(c.getStyle)) owner->failures["GetStyle"] = c.getStyle;
    stylesrv_test::ClearReports();
    EXPECT_EQ(t.render->RenderWithContext(c.geometry, target.target(), &context, nullptr, nullptr, &element),
              c.expected);
    owner->failures.clear();
    for (int i = 0; i < 2; ++i) EXPECT_EQ(ends[i]->seen.size(), c.drawn[i]);
    EXPECT_EQ(Reports().empty(), c.expected == S_OK);
  }
}

TEST_F(LineTerminatorTest, ExtentsTakeBothRangesAndTheShorterLength) {
  Terminator t(server);
  Probe* ends[2] = {NewProbe(), NewProbe()};
  ends[0]->ownExtent = {5, 1.0, 0.0};
  ends[1]->ownExtent = {0, 0.0, 3.0};
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    DWORD units;
    double lengths[2];
    bool withStyles;
    StyleExtent expected;
  } cases[] = {
      {13, {2, -1}, false, {0, 0, 0}}, {11, {2, 3}, false, {0, 2, 0}},   {12, {2, 3}, false, {0, 0, 2}},
      {14, {3, 2}, false, {0, 0, 2}},  {13, {2.9, 3}, false, {2, 0, 0}}, {13, {nan, 3}, false, {0, 0, 0}},
      {11, {INFINITY, INFINITY}, false, {0, 0, 0}}, {13, {2, 3}, true, {7, 1, 3}},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(t.style->SetUnits(c.units), S_OK);
    t.style->SetStartLength(c.lengths[0]);
    t.style->SetEndLength(c.lengths[1]);
    t.style->SetStartStyle(c.withStyles ? ends[0]->Unknown() : nullptr);
    t.style->SetEndStyle(c.withStyles ? ends[1]->Unknown() : nullptr);
    StyleExtent extent{};
    ASSERT_EQ(t.render->GetRangeWithContext(&extent, &context, nullptr, nullptr), S_OK);
    EXPECT_EQ(extent.value, c.expected.value) << c.units;
    EXPECT_EQ(extent.first, c.expected.first) << c.units;
    EXPECT_EQ(extent.second, c.expected.second) << c.units;
    extent = {9, 9, 9};
    ASSERT_EQ(t.render->GetExtentDelta(&extent), S_OK);
    EXPECT_EQ(extent.value + extent.first + extent.second, 0);
  }
}

TEST_F(LineTerminatorTest, EqualityByOwnerAndIDsElseByTheStyles) {
  StyleComPtr<RecordingLibrarian> owner(RecordingLibrarian::Create());
  Terminator a(server), b(server);
  for (Terminator* t : {&a, &b}) owner->Add(t->unknown.Get());
  // p and r hold one symbol, q another.
  IUnknown* symbol = Element();
  PointSymbol ps[3] = {PointSymbol(server), PointSymbol(server), PointSymbol(server)};
  DWORD ids[3];
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(ps[i].style->SetGraphic(i == 1 ? Element() : symbol), S_OK);
    ids[i] = owner->Add(ps[i].unknown.Get());
  }
  const DWORD p = ids[0], q = ids[1], r = ids[2];
  const struct {
    DWORD a[2], b[2];
    double bEndLength;
    BOOL same;
    bool resolved;  // whether the styles had to be fetched
  } cases[] = {
      {{p, q}, {p, q}, 1 + 1e-7, TRUE, false}, {{p, q}, {p, q}, 1 + 2e-7, FALSE, false},
      {{0, 0}, {0, 0}, 1, TRUE, false},        {{p, q}, {r, q}, 1, TRUE, true},
      {{p, q}, {q, p}, 1, FALSE, true},        {{p, 0}, {p, q}, 1, FALSE, true},
      {{0, q}, {0, p}, 1, FALSE, true},        {{0, p}, {0, r}, 1, TRUE, true},  // no start on either side is alike
  };
  a.style->SetEndLength(1.0);
  auto* style = AsStyle<JStyleLineTerminator>(a.unknown.Get());
  for (const auto& c : cases) {
    for (Terminator* t : {&a, &b}) t->style->SetStartStyleID(0), t->style->SetEndStyleID(0);
    a.style->SetStartStyleID(c.a[0]), a.style->SetEndStyleID(c.a[1]);
    b.style->SetStartStyleID(c.b[0]), b.style->SetEndStyleID(c.b[1]);
    b.style->SetEndLength(c.bEndLength);
    BOOL same = !c.same;
    EXPECT_EQ(a.manage->IsSameStyle(b.unknown.Get(), &same), S_OK);
    EXPECT_EQ(same, c.same) << c.a[0] << c.a[1] << c.b[0] << c.b[1];
    EXPECT_EQ(style->CachedStyle(JStyleLineTerminator::kStart) || style->CachedStyle(JStyleLineTerminator::kEnd),
              c.resolved);
  }
  // A copy takes all that is compared, and the units.
  Terminator copy(server);
  a.style->SetUnits(11);
  ASSERT_EQ(copy.manage->CopyFrom(a.unknown.Get(), 0), S_OK);
  BOOL copied = FALSE;
  DWORD units = 0;
  EXPECT_EQ(copy.manage->IsSameStyle(a.unknown.Get(), &copied), S_OK);
  copy.style->GetUnits(&units);
  EXPECT_TRUE(copied);
  EXPECT_EQ(units, 11u);
  // Without an owner the IDs name nothing: the styles decide.
  Terminator x(server), y(server);
  x.style->SetStartStyle(ps[0].unknown.Get());
  for (int i : {2, 1}) {
    y.style->SetStartStyle(ps[i].unknown.Get());
    BOOL same = i == 1;
    EXPECT_EQ(x.manage->IsSameStyle(y.unknown.Get(), &same), S_OK);
    EXPECT_EQ(same, i == 2);
  }
  stylesrv_test::ClearReports();
  BOOL same = TRUE;
  EXPECT_EQ(style->IsEqual(nullptr, &same), E_INVALIDARG);
  EXPECT_EQ(style->IsEqual(b.unknown.Get(), nullptr), E_INVALIDARG);
  EXPECT_TRUE(Reports().empty());
}

TEST_F(LineTerminatorTest, TheInterfaceBySlot) {
  Terminator t(server);
  void* itf = t.style.Get();
  double length = 0;
  DWORD value = 0;
  IUnknown* got = nullptr;
  EXPECT_EQ(CallSlot(itf, 5, -4.0), S_OK);
  EXPECT_EQ(CallSlot(itf, 6, &length), S_OK);
  EXPECT_EQ(length, -4.0);
  EXPECT_EQ(CallSlot(itf, 7, t.unknown.Get()), E_INVALIDARG);  // not its own terminator
  EXPECT_EQ(CallSlot(itf, 9, NewProbe()->Unknown()), S_OK);
  EXPECT_EQ(CallSlot(itf, 10, &got), E_NOINTERFACE);  // a probe is no point symbol
  EXPECT_EQ(CallSlot(itf, 15, DWORD{5}), E_FAIL);      // an ID without an owner
  EXPECT_EQ(CallSlot(itf, 16, &value), S_OK);
  EXPECT_EQ(value, kInvalidStyleID);                      // a style of no library
  EXPECT_EQ(CallSlot(itf, 11, DWORD{99}), E_INVALIDARG);  // no record could carry it
  EXPECT_EQ(CallSlot(itf, 11, DWORD{11}), S_OK);
  EXPECT_EQ(CallSlot(itf, 12, &value), S_OK);
  EXPECT_EQ(value, 11u);
  stylesrv_test::ClearReports();
  for (int slot : {4, 6, 8, 10, 12, 14, 16}) EXPECT_EQ(CallSlot(itf, slot, static_cast<void*>(nullptr)), E_INVALIDARG);
  EXPECT_EQ(Reports().size(), 7u);
}

TEST_F(LineTerminatorTest, RecordsOfEveryVersion) {
  Terminator t(server);
  StyleComPtr<RecordingLibrarian> owner(RecordingLibrarian::Create());
  owner->Add(t.unknown.Get());
  const DWORD p = owner->Add(NewProbe()->Unknown());
  ASSERT_EQ(t.style->SetUnits(12), S_OK);
  t.style->SetStartLength(2.5);
  t.style->SetEndLength(-1.5);
  t.style->SetEndStyleID(p);
  constexpr std::size_t kHeaders = 36;  // JStyleBase's and the class's: a 16-byte tag and a version each
  const struct {
    DWORD flags;
    WORD version;
    std::size_t size, fieldsAt;  // of the whole record; where the lengths and IDs begin (0: none)
  } cases[] = {
      {0, 0, 38, 14},
      {ARCHIVE_VERSIONED, 3, kHeaders + 38, kHeaders + 14},
      // The older base record (its header, the referenced ID and the kind), then the units code.
      {ARCHIVE_VERSIONED, 2, kHeaders + 54, kHeaders + 30},
      {ARCHIVE_VERSIONED, 7, kHeaders, 0},
  };
  for (const auto& c : cases) {
    TestArchive archive(ARCHIVE_STORING | c.flags);
    if (c.version) ArchiveSetClassVersion(archive.get(), &CLSID_JStyleLineTerminator, c.version);
    ASSERT_EQ(t.persist->Store(archive.get()), S_OK) << c.version;
    const std::vector<BYTE> bytes = archive.Bytes();
    ASSERT_EQ(bytes.size(), c.size) << c.version;
    Terminator loaded(server);
    archive.Reload();
    ASSERT_EQ(loaded.persist->Load(archive.get()), S_OK) << c.version;
    if (!c.fieldsAt) continue;
    EXPECT_EQ(ReadAt<double>(bytes, c.fieldsAt), 2.5);
    EXPECT_EQ(ReadAt<DWORD>(bytes, c.fieldsAt + 20), p);
    double length = 0;
    DWORD units = 0, id = 0;
    loaded.style->GetEndLength(&length), loaded.style->GetUnits(&units), loaded.style->GetEndStyleID(&id);
    EXPECT_EQ(length, -1.5);
    EXPECT_EQ(units, 12u);
    EXPECT_EQ(id, p);
    EXPECT_EQ(owner->UseCount(p), 1u);  // a load takes no use
    // Records cut short fail, reported.
    for (std::size_t cut : {c.size - 1, c.fieldsAt + 4}) {
      ArchiveSetData(archive.get(), bytes.data(), static_cast<DWORD>(cut));
      archive.Reload();
      stylesrv_test::ClearReports();
      EXPECT_TRUE(FAILED(loaded.persist->Load(archive.get()))) << c.version << " " << cut;
      EXPECT_FALSE(Reports().empty());
    }
  }
}

}  // namespace
}  // namespace symbols_test

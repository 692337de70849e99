// Dashing a run: the pattern scaled, stretched or fitted to the run, the walk along the run with its phase, the
// polylines of at most 50 points, targets that dash by themselves, restarts at corners, and what the clients
// are told.
#include <algorithm>
#include <cfloat>
#include <cmath>

#include "tests/dash/dash_fixtures.h"

using ::testing::DoubleNear;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pointwise;
using stylesrv_test::Reports;

namespace {

// The x ranges of polylines drawn along the x axis.
std::vector<std::pair<double, double>> Spans(const std::vector<DrawnLine>& lines) {
  std::vector<std::pair<double, double>> spans;
  for (const DrawnLine& line : lines) spans.emplace_back(line.X(0), line.X(line.Count() - 1));
  return spans;
}

MATCHER_P2(SpanIs, from, to, "") {
  return std::fabs(arg.first - from) < 1e-9 && std::fabs(arg.second - to) < 1e-9;
}

class DashGenerationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stylesrv_test::ClearReports();
    log.target = target.recording();
  }
  void TearDown() override {
    for (TestDashClient* client : clients) client->Release();
    if (library) library->Release();
    EXPECT_THAT(Reports(), IsEmpty());
  }
  // A client in a library that also holds the dash type, set as the dash type's client.
  TestDashClient* AddClient(DashType& dash, const char* name, std::set<DWORD> entries) {
    if (!library) library = RecordingLibrarian::Create();
    TestDashClient* client = TestDashClient::Create(name, &log, std::move(entries));
    clients.push_back(client);
    library->Add(client->Unknown());
    DWORD owned = 0;
    if (FAILED(dash.manage->GetID(nullptr, &owned)) || owned == 0) library->Add(dash.unknown);
    std::vector<IJStyleDashTypeClient*> list;
    for (TestDashClient* c : clients) list.push_back(c->Client());
    EXPECT_EQ(dash.list->SetClients(static_cast<LONG>(list.size()), list.data()), S_OK);
    return client;
  }

  TestTarget target;
  ClientLog log;
  RenderContextScales context = UnitContext();
  RecordingLibrarian* library = nullptr;
  std::vector<TestDashClient*> clients;
};

TEST_F(DashGenerationTest, RepeatedPatternOnATargetThatRefusesToDash) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}), S_OK);
  PointRun run({0, 0, 10, 0});
  ASSERT_EQ(Dash(dash, run, target, &context), S_OK);
  EXPECT_THAT(DashPatterns(target), ElementsAre(ElementsAre(4, 2), IsEmpty()));
  const std::vector<DrawnLine> lines = Polylines(target);
  EXPECT_THAT(Spans(lines), ElementsAre(SpanIs(0, 4), SpanIs(6, 10)));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].Count(), 2u);
  EXPECT_EQ(lines[1].Count(), 2u);
}

TEST_F(DashGenerationTest, TargetThatDashesByItselfGetsThePatternAndTheWholeRun) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2, 1}), S_OK);
  target.recording()->SetDashesItself(TRUE);
  PointRun run({0, 0, 10, 0, 10, 5});
  ASSERT_EQ(Dash(dash, run, target, &context), S_OK);
  EXPECT_THAT(target.Names(), ElementsAre("SetDashPattern", "DrawPolyline"));
  EXPECT_THAT(DashPatterns(target), ElementsAre(ElementsAre(4, 2, 1, -DBL_MAX)));
  const std::vector<DrawnLine> lines = Polylines(target);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].points, run.points);

  // A phase, a fitted pattern or clients need the walk even then.
  target.recording()->Clear();
  StyleElementRecord element{0.0, 1.0, 0, 0, 0.0};
  ASSERT_EQ(Dash(dash, run, target, &context, 0, nullptr, &element), S_OK);
  EXPECT_THAT(DashPatterns(target), ElementsAre(IsEmpty()));
  target.recording()->Clear();
  ASSERT_EQ(dash.Set({4, -2}, DASH_MODE_FIT), S_OK);
  ASSERT_EQ(Dash(dash, run, target, &context), S_OK);
  EXPECT_THAT(DashPatterns(target), ElementsAre(IsEmpty()));
}

TEST_F(DashGenerationTest, FittedPatternEndsTheRunOnADash) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}, DASH_MODE_FIT, 0.5), S_OK);
  PointRun run({0, 0, 20, 0});
  ASSERT_EQ(Dash(dash, run, target, &context), S_OK);
  // Three gaps of 8/3 between half a dash, two dashes and half a dash.
  const double gap = 8.0 / 3;
  EXPECT_THAT(Spans(Polylines(target)), ElementsAre(SpanIs(0, 2), SpanIs(2 + gap, 6 + gap),
                                                    SpanIs(6 + 2 * gap, 10 + 2 * gap), SpanIs(18, 20)));

  // Pattern {10, -5}: k = trunc((L + 1.25) / 15) dashes, gaps stretched by (L - 10k) / 5k.
  target.recording()->Clear();
  ASSERT_EQ(dash.Set({10, -5}, DASH_MODE_FIT, 0.5), S_OK);
  PointRun longer({0, 0, 50, 0});
  ASSERT_EQ(Dash(dash, longer, target, &context), S_OK);
  const double stretched = 5 * (50.0 - 30) / 15;  // k = 3
  EXPECT_THAT(Spans(Polylines(target)), ElementsAre(SpanIs(0, 5), SpanIs(5 + stretched, 15 + stretched),
                                                    SpanIs(15 + 2 * stretched, 25 + 2 * stretched),
                                                    SpanIs(45, 50)));
}

TEST_F(DashGenerationTest, StretchedPatternRunsOnceOverTheRun) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}, DASH_MODE_STRETCH, 0.5), S_OK);
  PointRun run({0, 0, 10, 0});
  ASSERT_EQ(Dash(dash, run, target, &context), S_OK);
  EXPECT_THAT(Spans(Polylines(target)), ElementsAre(SpanIs(0, 2), SpanIs(8, 10)));
  // The element record's run length stands for the run's own.
  target.recording()->Clear();
  StyleElementRecord element{20.0, 0.0, 0, 0, 0.0};
  ASSERT_EQ(Dash(dash, run, target, &context, 0, nullptr, &element), S_OK);
  EXPECT_THAT(Spans(Polylines(target)), ElementsAre(SpanIs(0, 2)));
}

TEST_F(DashGenerationTest, AutomaticModeFitsOnlyWhenTheLineAsks) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}, DASH_MODE_AUTOMATIC, 0.5), S_OK);
  PointRun run({0, 0, 10, 0});
  ASSERT_EQ(Dash(dash, run, target, &context, 0), S_OK);
  EXPECT_THAT(Spans(Polylines(target)), ElementsAre(SpanIs(0, 4), SpanIs(6, 10)));
  target.recording()->Clear();
  ASSERT_EQ(Dash(dash, run, target, &context, 1), S_OK);
  EXPECT_THAT(Spans(Polylines(target)), ElementsAre(SpanIs(0, 2), SpanIs(8, 10)));
  // A mode the class does not know repeats.
  target.recording()->Clear();
  ASSERT_EQ(dash.Set({4, -2}, 5), S_OK);
  ASSERT_EQ(Dash(dash, run, target, &context, 1), S_OK);
  EXPECT_THAT(Spans(Polylines(target)), ElementsAre(SpanIs(0, 4), SpanIs(6, 10)));
}

TEST_F(DashGenerationTest, DashScaleAndUnitsScaleThePattern) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}), S_OK);
  PointRun run({0, 0, 20, 0});
  tagStyleOverride record{};
  record.flags = OVR_SCALE;
  record.dashScale = 2.0;
  ASSERT_EQ(Dash(dash, run, target, &context, 0, &record), S_OK);
  EXPECT_THAT(Spans(Polylines(target)), ElementsAre(SpanIs(0, 8), SpanIs(12, 20)));

  // Without its flag, or when 0, the dash scale is not taken.
  for (tagStyleOverride other : {tagStyleOverride{}, record}) {
    other.dashScale = other.flags ? 0.0 : 2.0;
    target.recording()->Clear();
    ASSERT_EQ(Dash(dash, run, target, &context, 0, &other), S_OK);
    EXPECT_EQ(Polylines(target).size(), 4u);
  }

  // Units code 11 takes the first scale of the context.
  target.recording()->Clear();
  ASSERT_EQ(dash.Set({4, -2}, 0, 0.5, 11), S_OK);
  RenderContextScales half = Scales(0.5, 1, 1);
  ASSERT_EQ(Dash(dash, run, target, &half), S_OK);
  EXPECT_THAT(DashPatterns(target).front(), ElementsAre(2, 1));
  EXPECT_EQ(Polylines(target).size(), 7u);
}

TEST_F(DashGenerationTest, ChangedDashScaleFitsAsAFreshDashTypeWould) {
  DashType dash, fresh;
  ASSERT_EQ(dash.Set({4, -2}, DASH_MODE_FIT), S_OK);
  ASSERT_EQ(fresh.Set({4, -2}, DASH_MODE_FIT), S_OK);
  PointRun run({0, 0, 30, 0});
  tagStyleOverride record{};
  record.flags = OVR_SCALE;
  record.dashScale = 1.0;
  ASSERT_EQ(Dash(dash, run, target, &context, 0, &record), S_OK);
  record.dashScale = 2.0;
  target.recording()->Clear();
  ASSERT_EQ(Dash(dash, run, target, &context, 0, &record), S_OK);
  const std::vector<DrawnLine> reused = Polylines(target);
  target.recording()->Clear();
  ASSERT_EQ(Dash(fresh, run, target, &context, 0, &record), S_OK);
  const std::vector<DrawnLine> first = Polylines(target);
  ASSERT_EQ(reused.size(), first.size());
  for (std::size_t i = 0; i < first.size(); ++i) EXPECT_THAT(reused[i].points, Pointwise(DoubleNear(1e-9), first[i].points));
  EXPECT_THAT(Spans(first).back(), SpanIs(26, 30));
}

// A dash type keeps what it built for one drawing for the next; whatever of the render context changed, each
// drawing is the one a fresh dash type makes. The third scale is also the smallest length that shows, whatever
// the units code, and device units convert by a factor and an offset.
TEST_F(DashGenerationTest, EachContextDrawsAsAFreshDashTypeWould) {
  RenderContextScales device = UnitContext();
  device.deviceMode = 1;
  device.deviceFactor = 2;
  const RenderContextScales third5 = Scales(1, 1, 5), third1 = UnitContext();
  RenderContextScales offsetDevice = device;
  offsetDevice.deviceFactor = 1;
  offsetDevice.deviceOffset = 1;  // converts 1 as the other device context does, but not 4 or 2
  const struct {
    const RenderContextScales* context;
    double dashScale;
  } steps[] = {{&third5, 1}, {&third1, 1}, {&third5, 1}, {&third1, 2}, {&device, 1}, {&offsetDevice, 1}};
  PointRun run({0, 0, 30, 0});
  for (DWORD mode : {DASH_MODE_REPEAT, DASH_MODE_STRETCH, DASH_MODE_FIT}) {
    for (DWORD units : {11u, 12u, 13u}) {
      DashType reused;
      ASSERT_EQ(reused.Set({4, -2}, mode, 0.5, units), S_OK);
      for (const auto& step : steps) {
        SCOPED_TRACE(::testing::Message() << "mode " << mode << " units " << units << " step " << &step - steps);
        tagStyleOverride record{};
        record.flags = OVR_SCALE;
        record.dashScale = step.dashScale;
        target.recording()->Clear();
        ASSERT_EQ(Dash(reused, run, target, step.context, 0, &record), S_OK);
        const std::vector<std::string> names = target.Names();
        const std::vector<DrawnLine> lines = Polylines(target);
        DashType fresh;
        ASSERT_EQ(fresh.Set({4, -2}, mode, 0.5, units), S_OK);
        target.recording()->Clear();
        ASSERT_EQ(Dash(fresh, run, target, step.context, 0, &record), S_OK);
        EXPECT_EQ(names, target.Names());
        const std::vector<DrawnLine> expected = Polylines(target);
        EXPECT_EQ(lines.size(), expected.size());
        for (std::size_t i = 0; i < lines.size() && i < expected.size(); ++i) {
          EXPECT_THAT(lines[i].points, Pointwise(DoubleNear(1e-9), expected[i].points));
        }
      }
    }
  }
}

TEST_F(DashGenerationTest, LongDashIsDrawnInPiecesOfFiftyPointsThatJoin) {
  DashType dash;
  ASSERT_EQ(dash.Set({0.25, -0.25, 60, -100}), S_OK);
  std::vector<double> xy;
  for (int x = 0; x <= 62; ++x) {
    xy.push_back(x);
    xy.push_back(0);
  }
  PointRun run(xy);
  ASSERT_EQ(Dash(dash, run, target, &context), S_OK);
  const std::vector<DrawnLine> lines = Polylines(target);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].Count(), 2u);
  // The dash from 0.5 to 60.5 holds its two ends and the 60 vertices between: 62 points.
  ASSERT_EQ(lines[1].Count(), 50u);
  ASSERT_EQ(lines[2].Count(), 13u);
  EXPECT_EQ(lines[1].X(0), 0.5);
  EXPECT_EQ(lines[1].X(49), 49.0);
  EXPECT_EQ(lines[2].X(0), 49.0);
  EXPECT_EQ(lines[2].X(12), 60.5);
}

TEST_F(DashGenerationTest, VerticesKeepTheirZAndPointsMadeOnSegmentsHaveNone) {
  DashType dash;
  ASSERT_EQ(dash.Set({6, -2}), S_OK);
  PointRun run({0, 0, 7, 4, 0, 7, 10, 0, 3}, true);
  ASSERT_EQ(Dash(dash, run, target, &context), S_OK);
  const std::vector<DrawnLine> lines = Polylines(target);
  ASSERT_EQ(lines.size(), 2u);
  ASSERT_EQ(lines[0].Count(), 3u);
  EXPECT_THAT(lines[0].points, ElementsAre(0, 0, 7, 4, 0, 7, 6, 0, 0));
  EXPECT_THAT(lines[1].points, ElementsAre(8, 0, 0, 10, 0, 3));
}

TEST_F(DashGenerationTest, PhaseStartsTheRunInsideThePattern) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}), S_OK);
  PointRun run({0, 0, 10, 0});
  // A phase beyond the period counts modulo the pattern.
  StyleElementRecord element{0.0, 7.0, 0, 0, 0.0};
  ASSERT_EQ(Dash(dash, run, target, &context, 0, nullptr, &element), S_OK);
  EXPECT_THAT(Spans(Polylines(target)), ElementsAre(SpanIs(0, 3), SpanIs(5, 9)));
  // A negative phase counts back from the end of the period.
  target.recording()->Clear();
  element.phase = -1.0;
  ASSERT_EQ(Dash(dash, run, target, &context, 0, nullptr, &element), S_OK);
  EXPECT_THAT(Spans(Polylines(target)), ElementsAre(SpanIs(1, 5), SpanIs(7, 10)));
  // A phase that ends an entry exactly starts the next.
  target.recording()->Clear();
  element.phase = 4.0;
  ASSERT_EQ(Dash(dash, run, target, &context, 0, nullptr, &element), S_OK);
  EXPECT_THAT(Spans(Polylines(target)), ElementsAre(SpanIs(2, 6), SpanIs(8, 10)));
}

TEST_F(DashGenerationTest, PatternsWithoutGapsDrawSolid) {
  PointRun run({0, 0, 10, 0, 10, 10});
  for (const std::vector<double>& lengths :
       {std::vector<double>{5}, std::vector<double>{-5}, std::vector<double>{3, 0},
        std::vector<double>{std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}}) {
    DashType dash;
    ASSERT_EQ(dash.Set(lengths), S_OK);
    target.recording()->Clear();
    ASSERT_EQ(Dash(dash, run, target, &context), S_OK);
    EXPECT_THAT(target.Names(), ElementsAre("SetDashPattern", "DrawPolyline")) << lengths[0];
    EXPECT_THAT(DashPatterns(target), ElementsAre(IsEmpty()));
    EXPECT_EQ(Polylines(target).front().points, run.points);
  }
  // Positive lengths alternate all the same.
  DashType positive;
  ASSERT_EQ(positive.Set({4, 2}), S_OK);
  target.recording()->Clear();
  PointRun line({0, 0, 10, 0});
  ASSERT_EQ(Dash(positive, line, target, &context), S_OK);
  EXPECT_THAT(Spans(Polylines(target)), ElementsAre(SpanIs(0, 4), SpanIs(6, 10)));
}

TEST_F(DashGenerationTest, NoLengthsOrNoRunLengthDrawSolidUnlessStrokesAreHidden) {
  DashType none;
  PointRun run({0, 0, 10, 0});
  ASSERT_EQ(Dash(none, run, target, &context), S_OK);
  EXPECT_THAT(target.Names(), ElementsAre("SetDashPattern", "DrawPolyline"));

  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}), S_OK);
  PointRun point({3, 3});
  PointRun coincident({3, 3, 3, 3});
  for (const PointRun* r : {&point, &coincident}) {
    target.recording()->Clear();
    ASSERT_EQ(Dash(dash, *r, target, &context), S_OK);
    EXPECT_THAT(target.Names(), ElementsAre("SetDashPattern", "DrawPolyline"));
    EXPECT_EQ(Polylines(target).front().points, r->points);
  }
  ASSERT_EQ(dash.Set({4, -2}, DASH_STROKES_HIDDEN), S_OK);
  for (const PointRun* r : {&point, &run}) {
    target.recording()->Clear();
    ASSERT_EQ(Dash(dash, *r, target, &context), S_OK);
    EXPECT_THAT(target.Names(), IsEmpty());
  }
}

TEST_F(DashGenerationTest, EmptyEntriesDrawNothingAndTinyOnesAPoint) {
  DashType dash;
  ASSERT_EQ(dash.Set({0.0, -1, 1e-9, -1, 3, -1}), S_OK);
  PointRun run({0, 0, 10, 0});
  ASSERT_EQ(Dash(dash, run, target, &context), S_OK);
  const std::vector<DrawnLine> lines = Polylines(target);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0].Count(), 1u);
  EXPECT_EQ(lines[0].X(0), 1.0);
  EXPECT_THAT(Spans(lines)[1], SpanIs(2 + 1e-9, 5 + 1e-9));
}

TEST_F(DashGenerationTest, CornerRestartStartsThePatternAgainAtSharpTurnsOnly) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}, DASH_CORNER_RESTART), S_OK);
  PointRun square({0, 0, 10, 0, 10, 10});
  ASSERT_EQ(Dash(dash, square, target, &context, 0, nullptr, nullptr, 0x00FF00, 0.75), S_OK);
  EXPECT_THAT(target.Names(), ElementsAre("SetPenWidth", "SetPenColor", "SetDashPattern", "SetDashPattern",
                                          "DrawPolyline", "DrawPolyline", "SetPenWidth", "SetPenColor",
                                          "SetDashPattern", "SetDashPattern", "DrawPolyline", "DrawPolyline"));
  const std::vector<DrawnLine> lines = Polylines(target);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_THAT(lines[2].points, ElementsAre(10, 0, 0, 10, 4, 0));
  EXPECT_THAT(lines[3].points, ElementsAre(10, 6, 0, 10, 10, 0));
  EXPECT_EQ(target.Calls()[0].d[0], 0.75);
  EXPECT_EQ(target.Calls()[1].u[0], 0x00FF00u);

  // Without the flag the pattern goes on round the corner.
  target.recording()->Clear();
  ASSERT_EQ(dash.Set({4, -2}), S_OK);
  ASSERT_EQ(Dash(dash, square, target, &context), S_OK);
  EXPECT_EQ(Polylines(target).size(), 4u);
  EXPECT_THAT(Polylines(target)[2].points, ElementsAre(10, 2, 0, 10, 6, 0));

  // A turn of exactly pi/6 does not restart.
  ASSERT_EQ(dash.Set({4, -2}, DASH_CORNER_RESTART), S_OK);
  const double along[2] = {6.928203230275509, 4.0};  // 4 * (sqrt 3, 1)
  ASSERT_EQ(std::atan2(4 * along[1], 4 * along[0]), 0.5235987755982989);
  PointRun shallow({-4, 0, 0, 0, along[0], along[1]});
  target.recording()->Clear();
  ASSERT_EQ(Dash(dash, shallow, target, &context), S_OK);
  const std::vector<std::string> names = target.Names();
  EXPECT_EQ(std::count(names.begin(), names.end(), "SetPenWidth"), 1);
  EXPECT_EQ(names.front(), "SetPenWidth");
  // A little sharper does.
  PointRun sharper({-4, 0, 0, 0, along[0], along[1] + 1e-3});
  target.recording()->Clear();
  ASSERT_EQ(Dash(dash, sharper, target, &context), S_OK);
  EXPECT_EQ(target.Calls()[5].slot, 7u);

  // Elements of codes 115, 116 and 127 keep the pattern going; others restart.
  for (DWORD code : {115u, 116u, 127u, 114u}) {
    StyleElementRecord element{};
    element.elementCode = code;
    target.recording()->Clear();
    ASSERT_EQ(Dash(dash, square, target, &context, 0, nullptr, &element), S_OK);
    EXPECT_EQ(target.Calls()[0].slot, code == 114 ? 7u : 8u) << code;
  }
}

TEST_F(DashGenerationTest, ClientsAreFramedAndToldOfEveryEntryInOrder) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}), S_OK);
  AddClient(dash, "dashes", {0});
  TestDashClient* gaps = AddClient(dash, "gaps", {1});
  PointRun run({0, 0, 10, 0});
  ASSERT_EQ(Dash(dash, run, target, &context), S_OK);
  EXPECT_THAT(log.Ops(),
              ElementsAre("dashes.BeginRun(0)", "gaps.BeginRun(1)", "dashes.EntryStart(0)", "dashes.EntryEnd(0)",
                          "gaps.EntryStart(1)", "gaps.EntryEnd(1)", "dashes.EntryStart(0)", "dashes.EntryEnd(0)",
                          "gaps.EntryStart(1)", "gaps.EntryEnd(1)", "dashes.EndRun(0)", "gaps.EndRun(1)"));
  const std::vector<ClientCall> ends = log.Of("EntryEnd");
  EXPECT_EQ(ends[0].x, 4.0);
  EXPECT_EQ(ends[0].length, 4.0);
  EXPECT_EQ(ends[0].value, 4.0);
  EXPECT_EQ(ends[1].x, 6.0);
  EXPECT_EQ(ends[1].length, 2.0);
  EXPECT_EQ(ends[2].x, 10.0);
  // The run ends where the last gap begins: nothing of it is covered.
  EXPECT_EQ(ends[3].x, 10.0);
  EXPECT_EQ(ends[3].length, 0.0);
  EXPECT_EQ(ends[3].value, 0.0);
  EXPECT_EQ(log.Of("EntryStart")[2].x, 6.0);
  EXPECT_EQ(log.Of("EntryStart")[2].length, 0.0);
  for (const ClientCall& call : log.calls) {
    if (call.op != "BeginRun") {
      EXPECT_TRUE(call.stateHeld) << call.op;
    }
  }
  EXPECT_EQ(gaps->runsOpen, 0);
  // The walk still draws the dashes.
  EXPECT_THAT(Spans(Polylines(target)), ElementsAre(SpanIs(0, 4), SpanIs(6, 10)));
  // The context names the target, the render context and the records of the call.
  EXPECT_EQ(gaps->lastContext.target, target.target());
  EXPECT_EQ(gaps->lastContext.context, &context);
  EXPECT_EQ(gaps->lastContext.context2, &context);
  EXPECT_EQ(gaps->lastContext.zero, 0u);
  EXPECT_EQ(gaps->lastContext.record, nullptr);
}

TEST_F(DashGenerationTest, LaterClientTakesOverAnEntry) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}), S_OK);
  AddClient(dash, "first", {0, 1});
  AddClient(dash, "second", {1});
  PointRun run({0, 0, 5, 0});
  ASSERT_EQ(Dash(dash, run, target, &context), S_OK);
  EXPECT_THAT(log.Ops(), ElementsAre("first.BeginRun(0)", "second.BeginRun(1)", "first.EntryStart(0)",
                                     "first.EntryEnd(0)", "second.EntryStart(1)", "second.EntryEnd(1)",
                                     "first.EndRun(0)", "second.EndRun(1)"));
}

TEST_F(DashGenerationTest, ClientHearsOfCornersWithThePieceAndItsDirection) {
  DashType dash;
  ASSERT_EQ(dash.Set({5, -100}), S_OK);
  AddClient(dash, "c", {0});
  PointRun run({0, 0, 3, 0, 3, 10});
  ASSERT_EQ(Dash(dash, run, target, &context), S_OK);
  const std::vector<ClientCall> corners = log.Of("CornerReached");
  ASSERT_EQ(corners.size(), 1u);
  EXPECT_EQ(corners[0].x, 3.0);
  EXPECT_EQ(corners[0].length, 3.0);
  EXPECT_THAT(corners[0].u, ElementsAre(1.0, 0.0));
  const ClientCall end = log.Of("EntryEnd").front();
  EXPECT_EQ(end.y, 2.0);
  EXPECT_EQ(end.length, 2.0);
  EXPECT_THAT(end.u, ElementsAre(0.0, 1.0));
  EXPECT_THAT(Polylines(target).front().points, ElementsAre(0, 0, 0, 3, 0, 0, 3, 2, 0));
}

TEST_F(DashGenerationTest, ClientThatDrewGetsThePenSetAgain) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}), S_OK);
  TestDashClient* client = AddClient(dash, "c", {1});
  client->entryEndAnswer = 1;
  PointRun run({0, 0, 5, 0});
  ASSERT_EQ(Dash(dash, run, target, &context, 0, nullptr, nullptr, 0x123456, 0.5), S_OK);
  const std::vector<ClientCall> ends = log.Of("EntryEnd");
  ASSERT_EQ(ends.size(), 1u);
  const std::vector<SitheCall> calls = target.Calls();
  ASSERT_GE(calls.size(), ends[0].targetCalls + 3);
  EXPECT_STREQ(calls[ends[0].targetCalls].name, "SetPenColor");
  EXPECT_EQ(calls[ends[0].targetCalls].u[0], 0x123456u);
  EXPECT_STREQ(calls[ends[0].targetCalls + 1].name, "SetDashPattern");
  EXPECT_EQ(calls[ends[0].targetCalls + 1].u[0], 0u);
  EXPECT_STREQ(calls[ends[0].targetCalls + 2].name, "SetPenWidth");
  EXPECT_EQ(calls[ends[0].targetCalls + 2].d[0], 0.5);
}

TEST_F(DashGenerationTest, FrameStaysWhenThereIsNothingToWalk) {
  DashType dash;
  ASSERT_EQ(dash.Set({0, 0}), S_OK);
  AddClient(dash, "c", {0, 1});
  PointRun run({0, 0, 10, 0});
  ASSERT_EQ(Dash(dash, run, target, &context), S_OK);
  EXPECT_THAT(log.Ops(), ElementsAre("c.BeginRun(0)", "c.BeginRun(1)", "c.EndRun(0)", "c.EndRun(1)"));

  // A run without length is drawn solid, and its clients still see it begin and end.
  ASSERT_EQ(dash.Set({4, -2}), S_OK);
  for (const std::vector<double>& xy : {std::vector<double>{3, 3}, std::vector<double>{3, 3, 3, 3}}) {
    log.calls.clear();
    target.recording()->Clear();
    PointRun empty(xy);
    ASSERT_EQ(Dash(dash, empty, target, &context), S_OK);
    EXPECT_THAT(log.Ops(), ElementsAre("c.BeginRun(0)", "c.BeginRun(1)", "c.EndRun(0)", "c.EndRun(1)"));
    EXPECT_THAT(target.Names(), ElementsAre("SetDashPattern", "DrawPolyline"));
  }
}

TEST_F(DashGenerationTest, HiddenStrokesLeaveTheRunToTheClients) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}, DASH_STROKES_HIDDEN), S_OK);
  AddClient(dash, "c", {0});
  PointRun run({0, 0, 10, 0});
  ASSERT_EQ(Dash(dash, run, target, &context), S_OK);
  EXPECT_THAT(target.Names(), IsEmpty());
  EXPECT_EQ(log.Of("EntryEnd").size(), 2u);

  // Without gaps the run is drawn solid and the clients walk it.
  ASSERT_EQ(dash.Set({4}), S_OK);
  log.calls.clear();
  PointRun shorter({0, 0, 3, 0});
  ASSERT_EQ(Dash(dash, shorter, target, &context), S_OK);
  EXPECT_THAT(target.Names(), ElementsAre("SetDashPattern", "DrawPolyline"));
  EXPECT_THAT(log.Ops(), ElementsAre("c.BeginRun(0)", "c.EntryStart(0)", "c.EntryEnd(0)", "c.EndRun(0)"));
}

TEST_F(DashGenerationTest, NewPatternLengthReassignsTheEntries) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}), S_OK);
  AddClient(dash, "c", {2});
  PointRun run({0, 0, 10, 0});
  ASSERT_EQ(Dash(dash, run, target, &context), S_OK);
  EXPECT_THAT(log.calls, IsEmpty());
  ASSERT_EQ(dash.Set({1, -1, 2, -1}), S_OK);
  ASSERT_EQ(Dash(dash, run, target, &context), S_OK);
  EXPECT_EQ(log.Of("BeginRun").size(), 1u);
  EXPECT_EQ(log.Of("EntryStart").size(), 2u);
}

TEST_F(DashGenerationTest, RunsThatCannotBeDashedSensiblyStillEnd) {
  // A pattern far finer than the run: drawn solid at once rather than in millions of pieces.
  DashType dash;
  ASSERT_EQ(dash.Set({1e-3, -1e-3}, 0, 0.5, 14), S_OK);
  RenderContextScales fine = Scales(1, 1, 1e-6);
  PointRun run({0, 0, 1e6, 0});
  ASSERT_EQ(Dash(dash, run, target, &fine), S_OK);
  EXPECT_THAT(target.Names(), ElementsAre("SetDashPattern", "SetDashPattern", "DrawPolyline"));
  EXPECT_EQ(Polylines(target).front().points, run.points);

  // A point at no finite place is stepped over.
  DashType plain;
  ASSERT_EQ(plain.Set({4, -2}), S_OK);
  const double inf = std::numeric_limits<double>::infinity();
  PointRun broken({0, 0, inf, 0, 10, 0});
  target.recording()->Clear();
  ASSERT_EQ(Dash(plain, broken, target, &context), S_OK);
  EXPECT_THAT(Spans(Polylines(target)), ElementsAre(SpanIs(0, 4), SpanIs(6, 10)));

  // Lengths that are not numbers count as empty entries.
  ASSERT_EQ(plain.Set({std::numeric_limits<double>::quiet_NaN(), -2, 4, -2}), S_OK);
  target.recording()->Clear();
  ASSERT_EQ(Dash(plain, broken, target, &context), S_OK);
  // The gap that ends with the run starts a dash there: a dot.
  EXPECT_THAT(Spans(Polylines(target)), ElementsAre(SpanIs(2, 6), SpanIs(10, 10)));
}

TEST_F(DashGenerationTest, BadArgumentsAreRefused) {
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}), S_OK);
  PointRun run({0, 0, 10, 0});
  EXPECT_EQ(dash.render->RenderDashes(nullptr, target.target(), &context, 0, nullptr, nullptr, 0, 1.0),
            E_INVALIDARG);
  EXPECT_EQ(dash.render->RenderDashes(&run.run, nullptr, &context, 0, nullptr, nullptr, 0, 1.0), E_INVALIDARG);
  EXPECT_THAT(Reports(), ElementsAre(stylesrv_test::IsReport(E_INVALIDARG, kSimpleDashSource, 2590),
                                     stylesrv_test::IsReport(E_INVALIDARG, kDashTypeSource, 277),
                                     stylesrv_test::IsReport(E_INVALIDARG, kSimpleDashSource, 2590),
                                     stylesrv_test::IsReport(E_INVALIDARG, kDashTypeSource, 277)));
  stylesrv_test::ClearReports();
}

}  // namespace

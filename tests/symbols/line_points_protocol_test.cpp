// The line point generator's entries and the client protocol of the dash generation: which entries it serves,
// where it places a symbol in each occurrence of an entry, how it batches the placed points into drawing calls of
// its symbol, and the run states it takes and gives back, also with two threads drawing at once.
#include <cfloat>
#include <cmath>

#include "tests/symbols/line_points_fixtures.h"

using ::testing::ElementsAre;
using stylesrv_test::Reports;

namespace line_points_test {
namespace {

class LinePointsTest : public symbols_test::PointSymbolTest {
 protected:
  void SetUp() override {
    PointSymbolTest::SetUp();
    symbol = RecordingSymbol::Create();
  }
  void TearDown() override {
    symbol->Release();
    PointSymbolTest::TearDown();
  }
  RecordingSymbol* symbol = nullptr;
};

TEST_F(LinePointsTest, EntriesGrowToTheIndexAndOnlyThoseWithASymbolAreServed) {
  Generator g(server);
  ASSERT_EQ(g.Count(), 4u);
  for (DWORD i = 0; i <= 4; ++i) EXPECT_EQ(g.client->AcceptsEntry(i), S_FALSE) << i;

  ASSERT_EQ(g.gen->SetSymbol(6, symbol->Unknown()), S_OK);
  EXPECT_EQ(g.Count(), 7u);
  EXPECT_THAT(std::vector<HRESULT>({g.client->AcceptsEntry(4), g.client->AcceptsEntry(5), g.client->AcceptsEntry(6)}),
              ElementsAre(S_FALSE, S_FALSE, S_OK));
  DWORD id = 7;
  float fraction = 7;
  double along = 7, across = 7, angle = 7;
  DWORD absolute = 7, upright = 7;
  EXPECT_EQ(g.gen->GetEntryByID(4, &id, &fraction, &along, &across, &angle, &absolute, &upright), E_FAIL);
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(along, 0.0);  // cleared before the answer
  // Without an owner the reference keeps the object and no usable ID.
  EXPECT_EQ(g.gen->GetEntryByID(6, &id, &fraction, &along, &across, &angle, &absolute, &upright), S_OK);
  EXPECT_EQ(id, kInvalidStyleID);
  // The symbol is no point symbol: the entry serves, but cannot be handed out as one.
  StyleComPtr<IJStylePointSymbol> asked;
  EXPECT_EQ(g.gen->GetSymbol(6, asked.Put()), E_NOINTERFACE);

  // Every refusal leaves the entries as they were.
  const double nan = std::nan("");
  const struct {
    const char* what;
    HRESULT answer;
  } refused[] = {
      {"SetSymbol at 65535", g.gen->SetSymbol(65535, symbol->Unknown())},
      {"SetEntry at 65535", g.gen->SetEntry(65535, symbol->Unknown(), 0.5f, 0, 0, 0, 0, 0)},
      {"SetEntryByID at 65535", g.gen->SetEntryByID(65535, 0, 0.5f, 0, 0, 0, 0, 0)},
      {"SetSymbol at -1", g.gen->SetSymbol(-1, symbol->Unknown())},
      {"SetEntry with a NaN fraction", g.gen->SetEntry(9, symbol->Unknown(), std::nanf(""), 0, 0, 0, 0, 0)},
      {"SetEntryByID with an infinite angle", g.gen->SetEntryByID(9, 0, 0.5f, 0, 0, HUGE_VAL, 0, 0)},
      {"SetOffsets with NaN", g.gen->SetOffsets(1, 0, nan)},
      {"SetOrientation beyond the count", g.gen->SetOrientation(7, 0, 0, 0)},
      {"RemoveSymbol beyond the count", g.gen->RemoveSymbol(7)},
      {"GetOffsets beyond the count", g.gen->GetOffsets(7, &along, &across)},
      {"SetUnits 9", g.gen->SetUnits(9)},
  };
  for (const auto& r : refused) EXPECT_EQ(r.answer, E_INVALIDARG) << r.what;
  EXPECT_EQ(Reports().size(), std::size(refused) + 2);  // with the E_FAIL and the E_NOINTERFACE above
  EXPECT_EQ(g.Count(), 7u);

  // The table as a host that knows only the places calls it; the fraction travels as one 32-bit word.
  IJStyleLinePointGen* table = g.gen.Get();
  ASSERT_EQ(CallSlot(table, 11, LONG{1}, symbol->Unknown(), 0.25f, 1.5, -2.5, 0.75, DWORD{1}, DWORD{0}), S_OK);
  ASSERT_EQ(CallSlot(table, 14, LONG{1}, &id, &fraction, &along, &across, &angle, &absolute, &upright), S_OK);
  EXPECT_EQ(fraction, 0.25f);
  EXPECT_EQ(along, 1.5);
  EXPECT_EQ(across, -2.5);
  EXPECT_EQ(angle, 0.75);
  EXPECT_EQ(absolute, 1u);
  DWORD count = 0;
  EXPECT_EQ(CallSlot(table, 15, &count), S_OK);
  EXPECT_EQ(count, 7u);
  EXPECT_EQ(CallSlot(table, 16, LONG{1}), S_OK);
  EXPECT_EQ(CallSlot(g.client.Get(), 3, DWORD{1}), S_FALSE);
  // Removing took the symbol and kept the placement.
  EXPECT_EQ(g.gen->GetOffsets(1, &along, &across), S_OK);
  EXPECT_EQ(across, -2.5);
}

// One occurrence of pattern entry 0, walked from (0, 0): the generator is told where the walk enters it, each
// corner, and where it ends, as the dash generation tells it.
struct Piece {
  double length;
  double u[2];
};

TEST_F(LinePointsTest, OneSymbolIsPlacedWhereTheFractionOfTheEntryFalls) {
  const double q = M_PI / 2;
  const struct {
    const char* what;
    float fraction;
    double value;   // the entry's scaled length
    double offset;  // how far into the entry the walk begins
    std::vector<Piece> pieces;
    double along, across, angle;
    DWORD absolute, upright;
    DWORD units;
    double s13;
    double recordScale;  // 0: the record carries none
    std::vector<double> expected;  // x, y, dx, dy, or nothing
  } cases[] = {
      {"half way along +x", 0.5f, 10, 0, {{10, {1, 0}}}, 0, 0, 0, 0, 0, 11, 1, 0, {5, 0, 1, 0}},
      {"entered past its place", 0.5f, 10, 7, {{3, {1, 0}}}, 0, 0, 0, 0, 0, 11, 1, 0, {}},
      {"beyond a bend", 0.5f, 10, 0, {{3, {1, 0}}, {7, {0, 1}}}, 0, 0, 0, 0, 0, 11, 1, 0, {3, 2, 0, 1}},
      {"on the bend", 0.25f, 12, 0, {{3, {1, 0}}, {9, {0, 1}}}, 0, 0, 0, 0, 0, 11, 1, 0, {3, 0, 1, 0}},
      {"beyond the end of the entry", 1.5f, 10, 0, {{10, {1, 0}}}, 0, 0, 0, 0, 0, 11, 1, 0, {}},
      {"empty entry at its start", 0.5f, -DBL_MAX, 0, {{0, {1, 0}}}, 0, 0, 0, 0, 0, 11, 1, 0, {0, 0, 1, 0}},
      {"empty entry entered later", 0.5f, -DBL_MAX, 1, {{0, {1, 0}}}, 0, 0, 0, 0, 0, 11, 1, 0, {}},
      {"absolute quarter turn", 0.5f, 10, 0, {{10, {-1, 0}}}, 0, 0, q, 1, 0, 11, 1, 0, {-5, 0, 0, 1}},
      {"turned with the line", 0.5f, 10, 0, {{10, {0, 1}}}, 0, 0, q, 0, 0, 11, 1, 0, {0, 5, -1, 0}},
      {"leftwards, across", 0.5f, 10, 0, {{10, {-1, 0}}}, 0, 1, 0, 0, 0, 11, 1, 0, {-5, -1, -1, 0}},
      {"leftwards, upright", 0.5f, 10, 0, {{10, {-1, 0}}}, 0, 1, 0, 0, 1, 11, 1, 0, {-5, 1, 1, 0}},
      // The shifts are lengths of the style's units code, scaled by the record of the drawing call.
      {"units 13 at scale 4", 0.5f, 10, 0, {{10, {1, 0}}}, 1, 0, 0, 0, 0, 13, 4, 0, {9, 0, 1, 0}},
      {"record scale 2", 0.5f, 10, 0, {{10, {1, 0}}}, 1, 0, 0, 0, 0, 11, 1, 2, {7, 0, 1, 0}},
      {"the next call without one", 0.5f, 10, 0, {{10, {1, 0}}}, 1, 0, 0, 0, 0, 11, 1, 0, {6, 0, 1, 0}},
  };
  Generator g(server);
  for (const auto& c : cases) {
    ASSERT_EQ(g.gen->SetUnits(c.units), S_OK);
    ASSERT_EQ(g.gen->SetEntry(0, symbol->Unknown(), c.fraction, c.along, c.across, c.angle, c.absolute, c.upright),
              S_OK);
    symbol->calls.clear();
    ClientCall call;
    call.scales.scale13 = c.s13;
    if (c.recordScale) {
      call.record.flags = OVR_SCALE;
      call.record.scaleFactor = c.recordScale;
    }
    void* state = nullptr;
    ASSERT_EQ(g.client->BeginRun(&state, &call.context, 0), S_OK) << c.what;
    double at[2] = {0, 0};
    EXPECT_EQ(g.client->EntryStart(&state, &call.context, 0, 0, 0, 0, c.offset, c.value), S_OK);
    for (std::size_t i = 0; i < c.pieces.size(); ++i) {
      const Piece& p = c.pieces[i];
      at[0] += p.length * p.u[0];
      at[1] += p.length * p.u[1];
      if (i + 1 < c.pieces.size()) {
        EXPECT_EQ(g.client->CornerReached(&state, &call.context, 0, at[0], at[1], 0, p.length, p.u), S_OK);
      } else {
        EXPECT_EQ(g.client->EntryEnd(&state, &call.context, 0, at[0], at[1], 0, p.length, p.u, c.value), S_OK);
      }
    }
    EXPECT_EQ(g.client->EndRun(&state, &call.context, 0), c.expected.empty() ? S_OK : 1) << c.what;
    EXPECT_EQ(state, nullptr);
    if (c.expected.empty()) {
      EXPECT_TRUE(symbol->calls.empty()) << c.what;
      continue;
    }
    ASSERT_EQ(symbol->calls.size(), 1u) << c.what;
    ASSERT_EQ(symbol->calls[0].points.size(), 1u) << c.what;
    const StyleOrientedPoint& p = symbol->calls[0].points[0];
    EXPECT_THAT((std::vector<double>{p.position[0], p.position[1], p.direction[0], p.direction[1]}),
                ::testing::Pointwise(::testing::DoubleNear(1e-12), c.expected))
        << c.what;
  }
}

TEST_F(LinePointsTest, PointsAreDrawnThirtyOneAtATimeWithTheCallersArguments) {
  Generator g(server);
  ASSERT_EQ(g.gen->SetEntry(2, symbol->Unknown(), 0.5f, 0, 0, 0, 0, 0), S_OK);
  ClientCall call;
  const double u[2] = {1, 0};
  void* state = nullptr;
  ASSERT_EQ(g.client->BeginRun(&state, &call.context, 2), S_OK);
  std::vector<HRESULT> answers;
  for (int i = 0; i < 40; ++i) {
    g.client->EntryStart(&state, &call.context, 2, 2.0 * i, 0, 0, 0, 2);
    answers.push_back(g.client->EntryEnd(&state, &call.context, 2, 2.0 * i + 2, 0, 0, 2, u, 2));
    if (i == 30) {
      ASSERT_EQ(symbol->calls.size(), 1u);
    }
  }
  // The symbol's own answer is not passed on: the points were handed over.
  for (int i = 0; i < 40; ++i) EXPECT_EQ(answers[i], i == 30 ? 1 : S_OK) << i;
  EXPECT_EQ(g.client->EndRun(&state, &call.context, 2), 1);
  ASSERT_EQ(symbol->calls.size(), 2u);
  for (const RecordingSymbol::Call& drawn : symbol->calls) {
    EXPECT_EQ(drawn.type, kGeometryOrientedPoints);
    EXPECT_EQ(drawn.target, call.context.target);
    EXPECT_EQ(drawn.context, &call.scales);
    EXPECT_EQ(drawn.substitute, nullptr);
    EXPECT_EQ(drawn.record, &call.record);
    EXPECT_EQ(drawn.element, &call.element);
  }
  EXPECT_EQ(symbol->calls[0].points.size(), 31u);
  ASSERT_EQ(symbol->calls[1].points.size(), 9u);
  EXPECT_EQ(symbol->calls[1].points[8].position[0], 79.0);

  // A run that placed nothing draws nothing.
  ASSERT_EQ(g.client->BeginRun(&state, &call.context, 2), S_OK);
  EXPECT_EQ(g.client->EndRun(&state, &call.context, 2), S_OK);
  EXPECT_EQ(symbol->calls.size(), 2u);
}

TEST_F(LinePointsTest, RunsRefuseWhatTheDashTypeNeverSends) {
  Generator g(server);
  ASSERT_EQ(g.gen->SetSymbol(3, symbol->Unknown()), S_OK);
  ClientCall call;
  void* state = reinterpret_cast<void*>(0x77);
  const struct {
    const char* what;
    HRESULT answer, expected;
  } cases[] = {
      {"BeginRun beyond the count", g.client->BeginRun(&state, &call.context, 4), E_INVALIDARG},
      {"BeginRun without a state word", g.client->BeginRun(nullptr, &call.context, 3), E_INVALIDARG},
      {"BeginRun of an entry without symbol", g.client->BeginRun(&state, &call.context, 1), E_FAIL},
      {"EndRun beyond the count", g.client->EndRun(&state, &call.context, 4), E_INVALIDARG},
      {"EndRun without a state word", g.client->EndRun(nullptr, &call.context, 3), E_INVALIDARG},
      {"EntryEnd of a run that never began", g.client->EntryEnd(&state, &call.context, 1, 0, 0, 0, 1, nullptr, 1),
       S_OK},
  };
  for (const auto& c : cases) EXPECT_EQ(c.answer, c.expected) << c.what;
  EXPECT_EQ(state, nullptr);
  EXPECT_EQ(Reports().size(), 5u);
}

// Two threads draw with a generator each: one run state is the static block, the other comes from the heap, and
// the static block is free again when both have ended.
struct HeldRun {
  const stylesrv_test::ServerModule* server;
  IJStyleDashTypeClient* client;
  DashClientContext* context;
  HANDLE begun;
  HANDLE release;
  void* state = nullptr;
  HRESULT began = E_FAIL;
};

DWORD WINAPI HoldRun(void* argument) {
  auto* run = static_cast<HeldRun*>(argument);
  run->began = run->client->BeginRun(&run->state, run->context, 0);
  SetEvent(run->begun);
  WaitForSingleObject(run->release, INFINITE);
  run->client->EndRun(&run->state, run->context, 0);
  return 0;
}

TEST_F(LinePointsTest, ConcurrentRunsShareOnlyTheStaticRunState) {
  const auto inUse = server.internals().IsLinePointRunStateInUse;
  ASSERT_FALSE(inUse());
  Generator first(server);
  Generator second(server);
  ASSERT_EQ(first.gen->SetSymbol(0, symbol->Unknown()), S_OK);
  RecordingSymbol* other = RecordingSymbol::Create();
  ASSERT_EQ(second.gen->SetSymbol(0, other->Unknown()), S_OK);
  ClientCall call;
  HeldRun held{&server, first.client.Get(), &call.context, CreateEventA(nullptr, TRUE, FALSE, nullptr),
               CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  HANDLE thread = CreateThread(nullptr, 0, &HoldRun, &held, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(held.begun, INFINITE);
  ASSERT_EQ(held.began, S_OK);
  EXPECT_TRUE(inUse());

  void* state = nullptr;
  ClientCall mine;
  ASSERT_EQ(second.client->BeginRun(&state, &mine.context, 0), S_OK);
  EXPECT_NE(state, nullptr);
  EXPECT_NE(state, held.state);
  EXPECT_EQ(second.client->EndRun(&state, &mine.context, 0), S_OK);
  EXPECT_TRUE(inUse());  // the heap block went; the other thread still holds the static one
  void* staticBlock = held.state;

  SetEvent(held.release);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  CloseHandle(held.begun);
  CloseHandle(held.release);
  EXPECT_FALSE(inUse());
  ASSERT_EQ(second.client->BeginRun(&state, &mine.context, 0), S_OK);
  EXPECT_EQ(state, staticBlock);
  EXPECT_TRUE(inUse());
  EXPECT_EQ(second.client->EndRun(&state, &mine.context, 0), S_OK);
  EXPECT_FALSE(inUse());
  other->Release();
}

TEST_F(LinePointsTest, TheRangeIsTheSymbolsWidenedByTheShiftAcross) {
  const struct {
    DWORD units;
    StyleExtent expected;
  } cases[] = {{13, {3, 1.0, 1.0}}, {11, {1, 3.5, 1.0}}, {12, {1, 1.0, 3.5}}};
  symbol->range = {1, 1.0, 1.0};
  Generator g(server);
  ASSERT_EQ(g.gen->SetEntry(1, symbol->Unknown(), 0.5f, 0, -2.5, 0, 0, 0), S_OK);
  StyleComPtr<IJStyleRender> render;
  ASSERT_EQ(g.unknown->QueryInterface(IID_IJStyleRender, render.PutVoid()), S_OK);
  for (const auto& c : cases) {
    ASSERT_EQ(g.gen->SetUnits(c.units), S_OK);
    StyleExtent extent{};
    ASSERT_EQ(render->GetRangeWithContext(&extent, nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(extent.value, c.expected.value) << c.units;
    EXPECT_EQ(extent.first, c.expected.first) << c.units;
    EXPECT_EQ(extent.second, c.expected.second) << c.units;
  }
}

}  // namespace
}  // namespace line_points_test

// The dash-pattern workbench of stylesrv.dll: its editing rules called by place, what it stores into and reads
// from real simple dash types and line point generators, and its parent notices in the real style library.
#include <cfloat>
#include <vector>

#include "display/style/wrkbnch/JWorkbenchDash.h"
#include "host/halvorn/halvorn.h"
#include "tests/wrkbnch/workbench_fixtures.h"

using stylesrv_test::CallSlot;
using stylesrv_test::IdentityOf;
using styllib_test::CreateObject;

namespace {

JWorkbenchDash* StateOf(IUnknown* bench) { return WorkbenchOfClass<JWorkbenchDash>(bench); }

template <class I>
void Make(const stylesrv_test::ServerModule& server, REFCLSID clsid, REFIID iid, StyleComPtr<I>& made) {
  EXPECT_EQ(CreateObject(server, clsid, iid, made.PutVoid()), S_OK);
}

std::vector<double> DashesOf(IUnknown* style, tagStyleSimpleDashTypeData* data, DWORD* locked) {
  StyleComPtr<IJStyleSimpleDashType> dash;
  std::vector<double> lengths(16);
  *data = {};
  data->count = 16;
  data->lengths = lengths.data();
  if (!style || FAILED(style->QueryInterface(IID_IJStyleSimpleDashType, dash.PutVoid()))) return {};
  EXPECT_EQ(dash->GetData(data), S_OK);
  EXPECT_EQ(dash->GetLockedFields(locked), S_OK);
  lengths.resize(data->count);
  return lengths;
}

// The only client of a dash style, as a line point generator.
void OnlyClient(IUnknown* style, StyleComPtr<IJStyleLinePointGen>& generator) {
  StyleComPtr<IJStyleDashType> dash;
  DWORD count = 0;
  IJStyleDashTypeClient* client = nullptr;
  EXPECT_EQ(style->QueryInterface(IID_IJStyleDashType, dash.PutVoid()), S_OK);
  EXPECT_EQ(dash->GetClientCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  if (count != 1 || FAILED(dash->GetClients(1, &client)) || !client) return;
  client->QueryInterface(IID_IJStyleLinePointGen, generator.PutVoid());
  client->Release();
}

class DashWorkbenchTest : public SymbolLibraryTest {
 protected:
  JWorkbenchDash* NewBench(StyleComPtr<IWorkbenchLinearPattern>& bench) {
    Make(library.server(), CLSID_JWorkbenchDash, IID_IWorkbenchLinearPattern, bench);
    JWorkbenchDash* state = StateOf(bench.Get());
    EXPECT_NE(state, nullptr);
    return state;
  }
  // A dash style saved into the library under `name`, deriving from `parent`.
  void SaveNew(DWORD parent, std::vector<double> dashes, const wchar_t* name, DWORD* id,
               StyleComPtr<IWorkbenchLinearPattern>& bench) {
    IWorkbenchAdmin* admin = NewBench(bench)->Admin();
    EXPECT_EQ(admin->AttachNew(parent, library.librarian), S_OK);
    if (!dashes.empty()) {
      EXPECT_EQ(bench->SetDashes(static_cast<LONG>(dashes.size()), dashes.data()), S_OK);
    }
    EXPECT_EQ(admin->SetName(name), S_OK);
    EXPECT_EQ(admin->Save(id), S_OK);
  }
  IUnknown* Stored(DWORD id) {
    StyleComPtr<IUnknown> style;
    EXPECT_EQ(library->GetStyle(id, style.Put()), S_OK);
    return IdentityOf(style.Get());
  }
};

TEST_F(DashWorkbenchTest, EditsByPlaceKeepOneRealDash) {
  StyleComPtr<IWorkbenchLinearPattern> bench;
  JWorkbenchDash* state = NewBench(bench);
  IWorkbenchLinearPattern* p = bench.Get();
  DWORD units = 0, kind = 9, flagA = 0, flagB = 9;
  LONG count = -1, index = -1;
  double scale = 0;
  EXPECT_EQ(CallSlot(p, 3, &units), S_OK);
  EXPECT_EQ(CallSlot(p, 7, &count), S_OK);
  EXPECT_EQ(CallSlot(p, 9, &kind), S_OK);
  EXPECT_EQ(CallSlot(p, 11, &flagA), S_OK);
  EXPECT_EQ(CallSlot(p, 13, &scale), S_OK);
  EXPECT_EQ(CallSlot(p, 31, &flagB), S_OK);
  EXPECT_EQ(std::vector<double>({double(units), double(count), double(kind), double(flagA), scale, double(flagB)}),
            std::vector<double>({11, 0, 0, 1, 1.0, 0}));

  // One AddDash makes room for four appends; the count moves only with them.
  EXPECT_EQ(CallSlot(p, 14, &index), S_OK);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(state->DashCount(), 0);
  for (LONG i = 0; i < 4; ++i) EXPECT_EQ(CallSlot(p, 15, i, i % 2 ? -0.5 : 1.0), S_OK) << i;
  EXPECT_EQ(CallSlot(p, 15, LONG{4}, 1.0), E_INVALIDARG);
  EXPECT_EQ(state->DashCount(), 4);
  EXPECT_EQ(state->ElementCount(), 1u);  // SetDash never sizes the elements

  // Clearing a position needs another real dash elsewhere; bad arrays and short buffers are refused.
  const struct {
    std::vector<double> dashes;
    double value;
    HRESULT answer;
  } clears[] = {{{1.0, -DBL_MAX}, 0.0, E_INVALIDARG},      {{1.0, -DBL_MAX}, -DBL_MAX, E_INVALIDARG},
                {{1.0, 1e-8}, 0.0, E_INVALIDARG},          {{1.0, -0.5}, 0.0, S_OK},
                {{1.0, -0.5}, -DBL_MAX, S_OK}};
  for (const auto& c : clears) {
    ASSERT_EQ(CallSlot(p, 5, LONG{2}, c.dashes.data()), S_OK);
    EXPECT_EQ(CallSlot(p, 15, LONG{0}, c.value), c.answer) << c.dashes[1] << " " << c.value;
  }
  double out[2] = {7, 7};
  EXPECT_EQ(CallSlot(p, 5, LONG{-1}, out), E_INVALIDARG);
  EXPECT_EQ(CallSlot(p, 5, LONG{1}, static_cast<const double*>(nullptr)), E_INVALIDARG);
  EXPECT_EQ(CallSlot(p, 6, DWORD{1}, out), kDashBufferTooSmall);
  EXPECT_EQ(out[0], 7.0);
  EXPECT_EQ(CallSlot(p, 6, DWORD{2}, static_cast<double*>(nullptr)), E_INVALIDARG);
  BOOL drawn = TRUE;
  EXPECT_EQ(CallSlot(p, 17, LONG{0}, &drawn), S_OK);
  EXPECT_FALSE(drawn);  // -DBL_MAX now

  // Kind 8 reads as 0 or 2 by its detail; the detail is no edit.
  const DWORD before = state->ChangeMask();
  for (DWORD detail : {0u, 1u}) {
    ASSERT_EQ(CallSlot(p, 8, DWORD{8}), S_OK);
    ASSERT_EQ(CallSlot(p, 32, detail), S_OK);
    EXPECT_EQ(CallSlot(p, 9, &kind), S_OK);
    EXPECT_EQ(kind, detail ? 2u : 0u);
  }
  EXPECT_EQ(state->ChangeMask(), before | JWorkbenchDash::kKindChanged);

  // A bad element index is refused and a getter zeroes its out.
  double value = 5;
  EXPECT_EQ(CallSlot(p, 28, LONG{1}, 1.0), E_INVALIDARG);
  EXPECT_EQ(CallSlot(p, 29, LONG{-1}, &value), E_INVALIDARG);
  EXPECT_EQ(value, 0.0);
}

TEST_F(DashWorkbenchTest, StoresIntoASimpleDashTypeAndReadsItBack) {
  const struct {
    DWORD kind, flagA, flagB;
    DWORD flags, strokesHidden, readKind;
  } rows[] = {{2, 1, 0, 0x01000002, 0, 2}, {8, 0, 1, 0x01000038, 1, 0}, {5, 1, 0, 0x01000000, 0, 0}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.kind);
    StyleComPtr<IWorkbenchLinearPattern> bench;
    JWorkbenchDash* state = NewBench(bench);
    // Without dashes nothing is made.
    ASSERT_EQ(state->StoreStyle(), S_OK);
    EXPECT_EQ(state->StyleObject(), nullptr);
    const double dashes[] = {4.0, -2.0};
    ASSERT_EQ(bench->SetDashes(2, dashes), S_OK);
    ASSERT_EQ(bench->SetUnits(12), S_OK);
    ASSERT_EQ(bench->SetKind(r.kind), S_OK);
    ASSERT_EQ(bench->SetScale(0.5), S_OK);
    ASSERT_EQ(bench->SetFlagA(r.flagA), S_OK);
    ASSERT_EQ(bench->SetFlagB(r.flagB), S_OK);
    ASSERT_EQ(state->StoreStyle(), S_OK);

    tagStyleSimpleDashTypeData data{};
    DWORD locked = 0;
    EXPECT_EQ(DashesOf(state->StyleObject(), &data, &locked), std::vector<double>({4.0, -2.0}));
    EXPECT_EQ(std::vector<double>({double(data.unitsCode), double(data.flags), data.endFraction,
                                   double(data.strokesHidden), double(locked)}),
              std::vector<double>({12, double(r.flags), 0.5, double(r.strokesHidden), 0x133}));

    // A workbench bound to the object reads it back, starting from its stored mask.
    StyleComPtr<IWorkbenchLinearPattern> reader;
    JWorkbenchDash* read = NewBench(reader);
    ASSERT_EQ(read->Admin()->AttachObject(state->StyleObject()), S_OK);
    DWORD kind = 9;
    double got[2] = {};
    EXPECT_EQ(reader->GetDashes(2, got), S_OK);
    EXPECT_EQ(std::vector<double>(got, got + 2), std::vector<double>({4.0, -2.0}));
    EXPECT_EQ(reader->GetKind(&kind), S_OK);
    EXPECT_EQ(std::vector<double>({double(kind), double(read->Units()), read->Scale(), double(read->FlagA()),
                                   double(read->FlagB()), double(read->ChangeMask()), double(read->ElementCount())}),
              std::vector<double>({double(r.readKind), 12, 0.5, double(r.flagA), double(r.flagB), 0x133, 2}));
    EXPECT_FALSE(read->IsDirty());
  }
}

// A parent's notice takes only what the child did not set, also after the child's workbench was closed; values
// within FLT_EPSILON are no change, and a parent that is no dash workbench gives nothing.
TEST_F(DashWorkbenchTest, AChildKeepsItsOwnDashesAcrossNotices) {
  DWORD pid = 0, cid = 0, did = 0;
  StyleComPtr<IWorkbenchLinearPattern> parent, own, derived;
  SaveNew(0, {4, -2}, L"D1", &pid, parent);
  SaveNew(pid, {1, -1}, L"Own", &cid, own);
  SaveNew(pid, {}, L"Derived", &did, derived);
  // Closed: the library opens them again for its notices.
  own.Reset();
  derived.Reset();
  ASSERT_NE(Stored(did), nullptr);

  ASSERT_EQ(parent->SetDashes(2, std::vector<double>{6, -3}.data()), S_OK);
  ASSERT_EQ(parent->SetScale(2.0), S_OK);
  DWORD again = 0;
  ASSERT_EQ(StateOf(parent.Get())->Admin()->Save(&again), S_OK);
  tagStyleSimpleDashTypeData data{};
  DWORD locked = 0;
  EXPECT_EQ(DashesOf(Stored(cid), &data, &locked), std::vector<double>({1, -1}));
  EXPECT_EQ(data.endFraction, 2.0);
  EXPECT_EQ(locked, JWorkbenchDash::kDashesChanged);
  EXPECT_EQ(DashesOf(Stored(did), &data, &locked), std::vector<double>({6, -3}));

  StyleComPtr<IWorkbenchAdmin> child;
  ASSERT_EQ(shop->GetWorkbench(did, FALSE, child.Put()), S_OK);
  StyleComPtr<IWorkbenchNotify> notify;
  ASSERT_EQ(child->QueryInterface(IID_IWorkbenchNotify, notify.PutVoid()), S_OK);
  TestWorkbench* foreign = TestWorkbench::Create(STYLETYPE_Dash);
  IUnknown* before = Stored(did);
  ASSERT_EQ(parent->SetScale(2.0 + 1e-8), S_OK);
  for (IUnknown* from : {static_cast<IUnknown*>(parent.Get()), static_cast<IUnknown*>(foreign->Admin())}) {
    EXPECT_EQ(notify->ParentChanged(from), S_OK);
  }
  EXPECT_EQ(Stored(did), before);
  EXPECT_EQ(StateOf(child.Get())->Scale(), 2.0);
  foreign->Release();
}

TEST_F(DashWorkbenchTest, SymbolsGoIntoTheDashStylesOnlyGenerator) {
  StyleComPtr<IWorkbenchPointSymbol> symbol, empty;
  Make(library.server(), CLSID_JWorkbenchPointSymbol, IID_IWorkbenchPointSymbol, symbol);
  Make(library.server(), CLSID_JWorkbenchPointSymbol, IID_IWorkbenchPointSymbol, empty);
  StyleComPtr<IWorkbenchAdmin> symbolAdmin;
  ASSERT_EQ(symbol->QueryInterface(IID_IWorkbenchAdmin, symbolAdmin.PutVoid()), S_OK);
  ASSERT_EQ(symbolAdmin->AttachNew(0, library.librarian), S_OK);
  ASSERT_EQ(symbol->SetGraphic(g.AsGraphic()), S_OK);

  DWORD id = 0;
  StyleComPtr<IWorkbenchLinearPattern> bench;
  JWorkbenchDash* state = NewBench(bench);
  ASSERT_EQ(state->Admin()->AttachNew(0, library.librarian), S_OK);
  ASSERT_EQ(bench->SetDashes(2, std::vector<double>{4, -2}.data()), S_OK);
  ASSERT_EQ(bench->SetUnits(13), S_OK);
  LONG index = 0;
  ASSERT_EQ(bench->AddDash(&index), S_OK);
  ASSERT_EQ(bench->SetSymbolWorkbench(0, empty.Get()), S_OK);  // no graphic: left out
  ASSERT_EQ(bench->SetSymbolWorkbench(1, symbol.Get()), S_OK);
  ASSERT_EQ(bench->SetPlacement(1, 2), S_OK);
  ASSERT_EQ(bench->SetFirstValue(1, 0.5), S_OK);
  ASSERT_EQ(bench->SetSecondValue(1, 1.5), S_OK);
  ASSERT_EQ(bench->SetThirdValue(1, 2.5), S_OK);
  ASSERT_EQ(bench->SetFourthValue(1, 0.25), S_OK);
  ASSERT_EQ(state->Admin()->SetName(L"Marks"), S_OK);
  ASSERT_EQ(state->Admin()->Save(&id), S_OK);
  ASSERT_TRUE(JWorkbenchBase::IsValidID(id)) << id;

  StyleComPtr<IJStylePointSymbol> placed;
  ASSERT_EQ(symbolAdmin->GetStyleObject(placed.PutVoid(), IID_IJStylePointSymbol), S_OK);
  StyleComPtr<IJStyleLinePointGen> generator;
  OnlyClient(Stored(id), generator);
  ASSERT_TRUE(generator);
  DWORD units = 0, absolute = 9, upright = 9, genID = 0;
  ASSERT_EQ(generator->GetUnits(&units), S_OK);
  EXPECT_EQ(units, 13u);
  StyleComPtr<IJStylePointSymbol> got;
  float fraction = 0;
  double along = 0, across = 0, angle = 0;
  EXPECT_EQ(generator->GetEntry(0, got.Put(), &fraction, &along, &across, &angle, &absolute, &upright), E_FAIL);
  ASSERT_EQ(generator->GetEntry(1, got.Put(), &fraction, &along, &across, &angle, &absolute, &upright), S_OK);
  EXPECT_EQ(IdentityOf(got.Get()), IdentityOf(placed.Get()));
  EXPECT_EQ(std::vector<double>({fraction, along, across, angle, double(absolute), double(upright)}),
            std::vector<double>({0.25, 1.5, 2.5, 0.5, 0, 1}));
  ASSERT_EQ(library->FindStyleID(IdentityOf(generator.Get()), &genID), S_OK);
  StyleRecord* record = nullptr;
  ASSERT_EQ(library->GetStyleRecord(genID, &record), S_OK);
  EXPECT_EQ(*record->type, STYLETYPE_LinePointGen);
  EXPECT_EQ(record->name, nullptr);
  library->FreeStyleRecord(&record);

  // Opened again, the library's workbench of the symbol comes back at its element.
  bench.Reset();
  StyleComPtr<IWorkbenchAdmin> reopened;
  ASSERT_EQ(shop->GetWorkbench(id, FALSE, reopened.Put()), S_OK);
  JWorkbenchDash* read = StateOf(reopened.Get());
  ASSERT_EQ(read->ElementCount(), 2u);
  StyleComPtr<IWorkbenchLinearPattern> pattern;
  ASSERT_EQ(reopened->QueryInterface(IID_IWorkbenchLinearPattern, pattern.PutVoid()), S_OK);
  StyleComPtr<IUnknown> s0, s1;
  DWORD placement = 0;
  double values[4] = {};
  ASSERT_EQ(pattern->GetSymbolWorkbench(0, s0.Put()), S_OK);
  ASSERT_EQ(pattern->GetSymbolWorkbench(1, s1.Put()), S_OK);
  EXPECT_EQ(s0.Get(), nullptr);
  EXPECT_EQ(IdentityOf(s1.Get()), IdentityOf(symbol.Get()));
  ASSERT_EQ(pattern->GetPlacement(1, &placement), S_OK);
  EXPECT_EQ(placement, 2u);
  int slot = 21;  // the getters of the first to fourth value
  for (double& v : values) {
    EXPECT_EQ(CallSlot(pattern.Get(), slot, LONG{1}, &v), S_OK);
    slot += slot == 21 ? 4 : 2;
  }
  EXPECT_EQ(std::vector<double>(values, values + 4), std::vector<double>({0.5, 1.5, 2.5, 0.25}));
}

// A free-standing dash style whose generator holds a symbol past the pattern's entries, with both placement
// words set: it loads at its own index as an absolute angle and is stored back there.
TEST_F(DashWorkbenchTest, AGeneratorPointPastThePatternSurvivesARoundTrip) {
  StyleComPtr<IJStyleSimpleDashType> dash;
  StyleComPtr<IJStyleLinePointGen> generator, stored;
  StyleComPtr<IJStylePointSymbol> point;
  Make(server, CLSID_JStyleSimpleDashType, IID_IJStyleSimpleDashType, dash);
  Make(server, CLSID_JStyleLinePointGen, IID_IJStyleLinePointGen, generator);
  Make(server, CLSID_JStylePointSymbol, IID_IJStylePointSymbol, point);
  ASSERT_EQ(point->SetGraphic(h.AsGraphic()), S_OK);
  ASSERT_EQ(dash->SetLengths(2, std::vector<double>{4, -2}.data()), S_OK);
  ASSERT_EQ(generator->SetEntry(5, point.Get(), 0.5f, 1, 2, 3, 1, 1), S_OK);
  StyleComPtr<IJStyleDashTypeClient> client;
  StyleComPtr<IJStyleDashType> clients;
  ASSERT_EQ(generator->QueryInterface(IID_IJStyleDashTypeClient, client.PutVoid()), S_OK);
  ASSERT_EQ(dash->QueryInterface(IID_IJStyleDashType, clients.PutVoid()), S_OK);
  IJStyleDashTypeClient* list[] = {client.Get()};
  ASSERT_EQ(clients->SetClients(1, list), S_OK);

  StyleComPtr<IWorkbenchLinearPattern> bench;
  JWorkbenchDash* state = NewBench(bench);
  ASSERT_EQ(state->Admin()->AttachObject(dash.Get()), S_OK);
  ASSERT_EQ(state->ElementCount(), 6u);
  DWORD placement = 0;
  ASSERT_EQ(bench->GetPlacement(5, &placement), S_OK);
  EXPECT_EQ(placement, 1u);
  ASSERT_EQ(state->StoreStyle(), S_OK);

  OnlyClient(dash.Get(), stored);
  ASSERT_TRUE(stored);
  EXPECT_NE(IdentityOf(stored.Get()), IdentityOf(generator.Get()));
  StyleComPtr<IJStylePointSymbol> got;
  float fraction = 0;
  double along = 0, across = 0, angle = 0;
  DWORD absolute = 9, upright = 9;
  ASSERT_EQ(stored->GetEntry(5, got.Put(), &fraction, &along, &across, &angle, &absolute, &upright), S_OK);
  EXPECT_EQ(IdentityOf(got.Get()), IdentityOf(point.Get()));
  EXPECT_EQ(std::vector<double>({fraction, along, across, angle, double(absolute), double(upright)}),
            std::vector<double>({0.5, 1, 2, 3, 1, 0}));
}

}  // namespace

// The point-symbol workbench of stylesrv.dll: its editing state, what it stores into and loads from real point
// symbols, the adopted copy it reads back, and how its graphic follows a parent's in the real style library.
#include <string>

#include "display/style/wrkbnch/JWorkbenchPointSymbol.h"
#include "tests/styllib/library_fixtures.h"
#include "tests/symbols/point_symbol_fixtures.h"
#include "tests/wrkbnch/workbench_fixtures.h"

using stylesrv_test::CallSlot;
using stylesrv_test::IdentityOf;
using styllib_test::CreateObject;

namespace {

constexpr char kPoint[] = "display/style/wrkbnch/wbpoint";

JWorkbenchPointSymbol* StateOf(IUnknown* bench) { return WorkbenchOfClass<JWorkbenchPointSymbol>(bench); }

bool ReportedBy(const char* source) {
  for (const PellowReport& report : stylesrv_test::Reports()) {
    if (std::string(report.source) == source) return true;
  }
  return false;
}

ULONG RefsOf(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

// A point-symbol workbench as the class object leaves it.
void NewBench(const stylesrv_test::ServerModule& server, StyleComPtr<IWorkbenchPointSymbol>& bench) {
  ASSERT_EQ(CreateObject(server, CLSID_JWorkbenchPointSymbol, IID_IWorkbenchPointSymbol, bench.PutVoid()), S_OK);
  ASSERT_NE(StateOf(bench.Get()), nullptr);
}

// A real point symbol of stylesrv.dll with units and graphic.
void NewSymbol(const stylesrv_test::ServerModule& server, DWORD units, IUnknown* graphic,
               StyleComPtr<IJStylePointSymbol>& symbol) {
  ASSERT_EQ(CreateObject(server, CLSID_JStylePointSymbol, IID_IJStylePointSymbol, symbol.PutVoid()), S_OK);
  ASSERT_EQ(symbol->SetUnits(units), S_OK);
  ASSERT_EQ(symbol->SetGraphic(graphic), S_OK);
}

// What a stored point symbol answers: its graphic's identity (null for none) and its units code.
IUnknown* GraphicOf(IUnknown* style) {
  StyleComPtr<IJStylePointSymbol> symbol;
  StyleComPtr<IJGraphic> graphic;
  if (!style || FAILED(style->QueryInterface(IID_IJStylePointSymbol, symbol.PutVoid()))) return nullptr;
  symbol->GetGraphic(graphic.Put());
  return IdentityOf(graphic.Get());
}
DWORD UnitsOf(IUnknown* style) {
  StyleComPtr<IJStylePointSymbol> symbol;
  DWORD units = 0;
  if (style && SUCCEEDED(style->QueryInterface(IID_IJStylePointSymbol, symbol.PutVoid()))) symbol->GetUnits(&units);
  return units;
}

class PointSymbolWorkbenchTest : public SymbolWorkbenchTest {};

TEST_F(PointSymbolWorkbenchTest, EditsCountTheGraphicOnceByIdentity) {
  StyleComPtr<IWorkbenchPointSymbol> bench;
  NewBench(server, bench);
  JWorkbenchPointSymbol* state = StateOf(bench.Get());
  // Slots 3 GetUnits, 4 SetUnits, 5 SetGraphic, 6 GetGraphic, called by place.
  DWORD units = 0;
  IUnknown* got = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(CallSlot(bench.Get(), 3, &units), S_OK);
  EXPECT_EQ(units, 11u);
  EXPECT_EQ(CallSlot(bench.Get(), 6, &got), S_OK);
  EXPECT_EQ(got, nullptr);
  EXPECT_EQ(CallSlot(bench.Get(), 5, static_cast<IUnknown*>(nullptr)), S_OK);
  EXPECT_FALSE(state->IsDirty());
  EXPECT_EQ(state->ChangeMask(), 0u);

  // One graphic handed in under two interfaces is held once; both times it counts as set here.
  for (IUnknown* same : {g.AsGraphic(), g.AsPersist()}) {
    EXPECT_EQ(CallSlot(bench.Get(), 5, same), S_OK);
    EXPECT_EQ(g.refs, 2u);
  }
  EXPECT_TRUE(state->IsDirty());
  EXPECT_EQ(state->ChangeMask(), 0x1u);
  EXPECT_EQ(CallSlot(bench.Get(), 6, &got), S_OK);
  EXPECT_EQ(got, g.AsGraphic());
  EXPECT_EQ(g.refs, 3u);
  got->Release();
  EXPECT_EQ(CallSlot(bench.Get(), 4, DWORD{12}), S_OK);
  EXPECT_EQ(CallSlot(bench.Get(), 3, &units), S_OK);
  EXPECT_EQ(units, 12u);
  ASSERT_EQ(bench->SetGraphic(h.AsGraphic()), S_OK);
  EXPECT_EQ(g.refs, 1u);
  EXPECT_EQ(h.refs, 2u);

  // The typed-workbench IID is the same interface; a new bind forgets every edit.
  StyleComPtr<IUnknown> typed;
  ASSERT_EQ(bench->QueryInterface(IID_IWorkbenchTyped, typed.PutVoid()), S_OK);
  EXPECT_EQ(typed.Get(), static_cast<IUnknown*>(bench.Get()));
  ASSERT_EQ(state->Admin()->AttachNew(0, nullptr), S_OK);
  EXPECT_EQ(h.refs, 1u);
  EXPECT_EQ(state->Units(), 11u);
  EXPECT_EQ(state->ChangeMask(), 0u);
  EXPECT_EQ(bench->GetGraphic(nullptr), E_INVALIDARG);
}

TEST_F(PointSymbolWorkbenchTest, StoresIntoANewPointSymbolAndLoadsBoundOnes) {
  StyleComPtr<RecordingLibrarian> lib(RecordingLibrarian::Create());
  StyleComPtr<IWorkbenchPointSymbol> bench;
  NewBench(server, bench);
  JWorkbenchPointSymbol* state = StateOf(bench.Get());
  IWorkbenchAdmin* admin = state->Admin();

  // Without a graphic nothing is made.
  ASSERT_EQ(admin->AttachNew(0, lib->Librarian()), S_OK);
  DWORD id = 9;
  EXPECT_EQ(admin->Save(&id), S_OK);
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(lib->Count(), 0u);

  // A units code no point symbol can carry fails the save, reported, and leaves the edits pending.
  ASSERT_EQ(bench->SetGraphic(g.AsGraphic()), S_OK);
  ASSERT_EQ(bench->SetUnits(15), S_OK);
  EXPECT_EQ(admin->Save(&id), E_INVALIDARG);
  EXPECT_TRUE(state->IsDirty());
  EXPECT_EQ(lib->Count(), 0u);
  EXPECT_TRUE(ReportedBy(kPoint));

  ASSERT_EQ(bench->SetUnits(12), S_OK);
  ASSERT_EQ(admin->Save(&id), S_OK);
  ASSERT_EQ(id, 1u);
  IUnknown* stored = lib->At(id).object;
  EXPECT_EQ(UnitsOf(stored), 12u);
  EXPECT_EQ(GraphicOf(stored), g.AsGraphic());
  EXPECT_EQ(lib->At(id).type, STYLETYPE_PointSymbol);
  StyleComPtr<IUnknown> owner;
  ASSERT_EQ(JWorkbenchBase::GetStyleOwner(stored, owner.Put()), S_OK);
  EXPECT_EQ(IdentityOf(owner.Get()), IdentityOf(lib->Librarian()));
  EXPECT_EQ(g.refs, 3u);  // the workbench's and the symbol's

  // Bound by ID, by a new style's parent and to a free-standing object, the workbench reads units and graphic.
  StyleComPtr<IJStylePointSymbol> entry, free;
  NewSymbol(server, 13, h.AsGraphic(), entry);
  NewSymbol(server, 12, k.AsGraphic(), free);
  const DWORD bound = lib->Add(entry.Get());
  const struct {
    std::string how;
    DWORD units;
    IUnknown* graphic;
    bool dirty;
  } binds[] = {{"Attach", 13, h.AsGraphic(), false},
               {"AttachNew", 13, h.AsGraphic(), true},
               {"AttachObject", 12, k.AsGraphic(), false}};
  for (const auto& b : binds) {
    SCOPED_TRACE(b.how);
    ASSERT_EQ(bench->SetGraphic(g.AsGraphic()), S_OK);
    const HRESULT hr = b.how == "Attach"      ? admin->Attach(bound, lib->Librarian())
                       : b.how == "AttachNew" ? admin->AttachNew(bound, lib->Librarian())
                                              : admin->AttachObject(free.Get());
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(state->Units(), b.units);
    EXPECT_EQ(state->Graphic(), b.graphic);
    EXPECT_EQ(state->ChangeMask(), 0u);
    EXPECT_EQ(state->IsDirty(), b.dirty);
  }
  EXPECT_EQ(g.refs, 2u);  // the stored symbol's alone
}

// The owner library lives in a document with a cluster; the symbol comes from another document, so the stored
// point symbol keeps a copy, and the workbench holds that copy from then on.
TEST_F(PointSymbolWorkbenchTest, TheAdoptedCopyReplacesTheHeldGraphic) {
  symbols_test::ClusterDocument home(true), elsewhere(false);
  StyleComPtr<RecordingLibrarian> lib(RecordingLibrarian::Create());
  home.Register(lib->Librarian());
  IUnknown* definition = Definition({Element()});
  elsewhere.Register(definition);
  const ULONG before = RefsOf(definition);

  StyleComPtr<IWorkbenchPointSymbol> bench;
  NewBench(server, bench);
  JWorkbenchPointSymbol* state = StateOf(bench.Get());
  ASSERT_EQ(state->Admin()->AttachNew(0, lib->Librarian()), S_OK);
  ASSERT_EQ(bench->SetGraphic(definition), S_OK);
  DWORD id = 0;
  ASSERT_EQ(state->Admin()->Save(&id), S_OK);
  IUnknown* copy = GraphicOf(lib->At(id).object);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, IdentityOf(definition));
  EXPECT_EQ(IdentityOf(state->Graphic()), copy);
  EXPECT_EQ(RefsOf(definition), before);
}

class PointSymbolLibraryTest : public SymbolLibraryTest {
 protected:
  // A new workbench of the library deriving from `parent`, its graphic set when one is given, saved by name.
  void SaveNew(DWORD parent, IUnknown* graphic, const wchar_t* name, StyleComPtr<IWorkbenchPointSymbol>& bench,
               DWORD* id) {
    NewBench(library.server(), bench);
    IWorkbenchAdmin* admin = StateOf(bench.Get())->Admin();
    ASSERT_EQ(admin->AttachNew(parent, library.librarian), S_OK);
    if (graphic) {
      ASSERT_EQ(bench->SetGraphic(graphic), S_OK);
    }
    ASSERT_EQ(admin->SetName(name), S_OK);
    ASSERT_EQ(admin->Save(id), S_OK);
  }
  IUnknown* StoredGraphic(DWORD id) {
    StyleComPtr<IUnknown> style;
    EXPECT_EQ(library->GetStyle(id, style.Put()), S_OK);
    return GraphicOf(style.Get());
  }
};

TEST_F(PointSymbolLibraryTest, AChildTakesAChangedParentsGraphicUnlessItSetItsOwn) {
  StyleComPtr<IWorkbenchPointSymbol> parent, taking, keeping;
  DWORD p = 0, c1 = 0, c2 = 0;
  SaveNew(0, g.AsGraphic(), L"Tick", parent, &p);
  SaveNew(p, nullptr, L"Inherits", taking, &c1);
  SaveNew(p, h.AsGraphic(), L"Own", keeping, &c2);
  EXPECT_EQ(StoredGraphic(c1), g.AsGraphic());

  // The parent's save replaces its entry; the library's walk tells both children.
  ASSERT_EQ(parent->SetGraphic(k.AsGraphic()), S_OK);
  DWORD again = 0;
  ASSERT_EQ(StateOf(parent.Get())->Admin()->Save(&again), S_OK);
  EXPECT_EQ(again, p);
  EXPECT_EQ(StoredGraphic(p), k.AsGraphic());
  EXPECT_EQ(StoredGraphic(c1), k.AsGraphic());
  EXPECT_EQ(StateOf(taking.Get())->Graphic(), k.AsGraphic());
  EXPECT_FALSE(StateOf(taking.Get())->IsDirty());
  EXPECT_EQ(StoredGraphic(c2), h.AsGraphic());
  EXPECT_EQ(StateOf(keeping.Get())->Graphic(), h.AsGraphic());
}

// G <- P <- C; P goes, and C hears of it with G's workbench. What P had set itself, C keeps as its own; what P
// only inherited, C takes from G. A parent that is no point-symbol workbench gives nothing.
TEST_F(PointSymbolLibraryTest, ARemovedParentsOwnGraphicStaysWithTheChild) {
  for (bool parentSetIt : {true, false}) {
    SCOPED_TRACE(parentSetIt ? "the parent set its graphic" : "the parent's workbench was reopened");
    StyleComPtr<IWorkbenchPointSymbol> grand, parent, child;
    DWORD gid = 0, pid = 0, cid = 0;
    SaveNew(0, g.AsGraphic(), parentSetIt ? L"G1" : L"G2", grand, &gid);
    SaveNew(gid, h.AsGraphic(), parentSetIt ? L"P1" : L"P2", parent, &pid);
    SaveNew(pid, nullptr, parentSetIt ? L"C1" : L"C2", child, &cid);
    ASSERT_EQ(StateOf(child.Get())->Graphic(), h.AsGraphic());
    if (!parentSetIt) {
      // The library's registry makes a new workbench for P, whose change mask is clear.
      parent.Reset();
      StyleComPtr<IWorkbenchAdmin> reopened;
      ASSERT_EQ(shop->GetWorkbench(pid, FALSE, reopened.Put()), S_OK);
      ASSERT_EQ(StateOf(reopened.Get())->ChangeMask(), 0u);
      reopened->QueryInterface(IID_IWorkbenchPointSymbol, parent.PutVoid());
    }

    StyleComPtr<IWorkbenchNotify> notify;
    ASSERT_EQ(child->QueryInterface(IID_IWorkbenchNotify, notify.PutVoid()), S_OK);
    TestWorkbench* foreign = TestWorkbench::Create();
    EXPECT_EQ(notify->ParentChanged(foreign->Admin()), S_OK);
    foreign->Release();
    EXPECT_EQ(StateOf(child.Get())->Graphic(), h.AsGraphic());

    // The answer is that of the new parent's save; the commit shows in the library.
    EXPECT_EQ(notify->ParentRemoved(grand.Get()), S_OK);
    JWorkbenchPointSymbol* state = StateOf(child.Get());
    EXPECT_EQ(state->ChangeMask(), parentSetIt ? 0x1u : 0u);
    EXPECT_EQ(state->Graphic(), parentSetIt ? h.AsGraphic() : g.AsGraphic());
    EXPECT_EQ(StoredGraphic(cid), state->Graphic());
    EXPECT_EQ(state->ParentID(), gid);
  }
}

}  // namespace

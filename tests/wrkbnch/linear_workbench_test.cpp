// The linear-style workbench of stylesrv.dll: its line list called by place, the multiplexers it reads and
// builds, and a linear style's edits reaching its children in the real style library.
#include <algorithm>
#include <string>
#include <utility>

#include "display/style/wrkbnch/JWorkbenchLinear.h"
#include "tests/bases/recording_librarian.h"
#include "tests/wrkbnch/workbench_fixtures.h"

using stylesrv_test::CallSlot;
using styllib_test::CreateObject;

namespace {

JWorkbenchLinear* StateOf(IUnknown* bench) { return WorkbenchOfClass<JWorkbenchLinear>(bench); }

DWORD ColourOf(CIntLine* line) {
  DWORD colour = 0;
  line->GetColor(&colour);
  return colour;
}

class LinearWorkbenchTest : public SymbolLibraryTest {
 protected:
  JWorkbenchLinear* NewBench(StyleComPtr<IWorkbenchLinear>& bench) {
    EXPECT_EQ(CreateObject(library.server(), CLSID_JWorkbenchLinear, IID_IWorkbenchLinear, bench.PutVoid()), S_OK);
    JWorkbenchLinear* state = StateOf(bench.Get());
    EXPECT_NE(state, nullptr);
    return state;
  }
  // A simple line of the colour as a nameless library entry.
  DWORD AddLine(DWORD colour) {
    StyleComPtr<IJStyleSimpleLine> line;
    EXPECT_EQ(CreateObject(server, CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine, line.PutVoid()), S_OK);
    line->SetColor(colour);
    return Add(line.Get(), nullptr);
  }
  DWORD Add(IUnknown* style, const wchar_t* name) {
    GUID type = STYLETYPE_Linear;
    StyleRecord record{const_cast<LPWSTR>(name), nullptr, style, &type, 0, 0};
    DWORD id = 0;
    EXPECT_EQ(library->AddStyle(&record, &id), S_OK);
    return id;
  }
  // A multiplexer of the entries, current entry `current`, as a library entry named `name`.
  DWORD AddMultiplexer(std::vector<DWORD> entries, DWORD current, const wchar_t* name, IJStyleMultiplexer** out) {
    EXPECT_EQ(CreateObject(server, CLSID_JStyleMultiplexer, IID_IJStyleMultiplexer, reinterpret_cast<void**>(out)),
              S_OK);
    IJStyleMultiplexer* mux = *out;
    mux->SetKind(2);
    StyleComPtr<IJManageStyle2> manage;
    mux->QueryInterface(IID_IJManageStyle2, manage.PutVoid());
    manage->SetLibrarian(library.librarian);
    mux->SetCount(static_cast<LONG>(entries.size()));
    for (LONG i = 0; i < static_cast<LONG>(entries.size()); ++i) EXPECT_EQ(mux->SetEntryID(i, entries[i]), S_OK);
    mux->SetCurrentIndex(current);
    return Add(mux, name);
  }
};

TEST_F(LinearWorkbenchTest, TheLineListByPlace) {
  StyleComPtr<RecordingLibrarian> lib(RecordingLibrarian::Create());
  StyleComPtr<IWorkbenchLinear> bench;
  JWorkbenchLinear* state = NewBench(bench);
  IWorkbenchLinear* p = bench.Get();
  // A new style without a parent or an object: one default line, and the library is never asked.
  ASSERT_EQ(state->Admin()->AttachNew(kInvalidStyleID, lib->Librarian()), S_OK);
  DWORD count = 0, units = 0, current = 9, index = 9;
  double width = 0;
  EXPECT_EQ(CallSlot(p, 36, &count), S_OK);
  EXPECT_EQ(CallSlot(p, 3, &units), S_OK);
  EXPECT_EQ(CallSlot(p, 9, &width), S_OK);
  EXPECT_EQ(std::vector<double>({double(count), double(units), width}), std::vector<double>({1, 11, 1.0}));
  EXPECT_TRUE(lib->log.empty());

  // Bound to an entry: adding a line detaches the style from its parent and makes the new line current.
  StyleComPtr<IJStyleSimpleLine> line;
  ASSERT_EQ(CreateObject(server, CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine, line.PutVoid()), S_OK);
  const DWORD id = lib->Add(line.Get(), L"L");
  ASSERT_EQ(state->Admin()->Attach(id, lib->Librarian()), S_OK);
  EXPECT_FALSE(state->IsDirty());
  // Refused and unimplemented operations leave the workbench clean.
  EXPECT_EQ(CallSlot(p, 13, lib->Librarian()), E_INVALIDARG);
  for (int slot : {24, 26, 28}) EXPECT_EQ(CallSlot(p, slot, &units), E_NOTIMPL) << slot;
  for (int slot : {23, 25, 27}) EXPECT_EQ(CallSlot(p, slot, DWORD{1}, DWORD{2}), E_NOTIMPL) << slot;
  EXPECT_FALSE(state->IsDirty());
  lib->log.clear();
  EXPECT_EQ(CallSlot(p, 33, &index), S_OK);
  EXPECT_EQ(index, 1u);
  EXPECT_NE(std::find(lib->log.begin(), lib->log.end(), "SetParentID(" + std::to_string(id) + ")"), lib->log.end());
  EXPECT_EQ(CallSlot(p, 35, &current), S_OK);
  EXPECT_EQ(current, 1u);
  EXPECT_TRUE(state->IsDirty());
  EXPECT_EQ(CallSlot(p, 34, DWORD{2}), E_INVALIDARG);
  EXPECT_EQ(state->CurrentIndex(), 1u);
  EXPECT_EQ(CallSlot(p, 37, DWORD{7}), S_OK);
  EXPECT_EQ(state->ComponentCount(), 2u);
  // The last line deleted leaves one default line.
  ASSERT_EQ(CallSlot(p, 6, DWORD{0x123}), S_OK);
  for (DWORD left : {1u, 1u}) {
    EXPECT_EQ(CallSlot(p, 37, DWORD{0}), S_OK);
    EXPECT_EQ(state->ComponentCount(), left);
  }
  EXPECT_EQ(ColourOf(state->Current()), 0u);

  // A style that cannot be read: the typed interface still comes, IUnknown does not.
  ASSERT_EQ(state->Admin()->Attach(id, lib->Librarian()), S_OK);
  lib->failures["GetStyle"] = E_FAIL;
  StyleComPtr<IUnknown> unknown;
  StyleComPtr<IWorkbenchLinear> typed;
  EXPECT_EQ(bench->QueryInterface(IID_IUnknown, unknown.PutVoid()), E_NOINTERFACE);
  EXPECT_EQ(bench->QueryInterface(IID_IWorkbenchLinear, typed.PutVoid()), S_OK);
  lib->failures.clear();
}

// A multiplexer loads one line per entry; an override's record counts for each line only when the workbench is
// bound to the library; an empty multiplexer is one default line.
TEST_F(LinearWorkbenchTest, LoadsAMultiplexerLinePerEntry) {
  StyleComPtr<IJStyleMultiplexer> three, two, none;
  const DWORD threeID = AddMultiplexer({AddLine(0x1), AddLine(0x2), AddLine(0x3)}, 1, L"Three", three.Put());
  const DWORD twoID = AddMultiplexer({AddLine(0x4), AddLine(0x5)}, 7, L"Two", two.Put());
  const DWORD noneID = AddMultiplexer({}, 0, L"None", none.Put());
  StyleComPtr<IJStyleOverride> override;
  StyleComPtr<IJStyleSetup2d> setup;
  ASSERT_EQ(CreateObject(server, CLSID_JStyleOverride, IID_IJStyleOverride, override.PutVoid()), S_OK);
  ASSERT_EQ(override->SetColor(0x99), S_OK);
  ASSERT_EQ(override->QueryInterface(IID_IJStyleSetup2d, setup.PutVoid()), S_OK);
  StyleComPtr<IUnknown> twoObject;
  ASSERT_EQ(library->GetStyle(twoID, twoObject.Put()), S_OK);
  ASSERT_EQ(setup->SetReferencedStyle(twoObject.Get()), S_OK);
  const DWORD overrideID = Add(override.Get(), L"Over");

  const struct {
    const char* what;
    DWORD id;
    DWORD count, current;
    std::vector<DWORD> colours;
  } rows[] = {{"three entries", threeID, 3, 1, {0x1, 0x2, 0x3}},
              {"override by ID", overrideID, 2, 0, {0x99, 0x99}},
              {"override as an object", 0, 2, 0, {0x4, 0x5}},
              {"no entries", noneID, 1, 0, {0}}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    StyleComPtr<IWorkbenchLinear> bench;
    JWorkbenchLinear* state = NewBench(bench);
    StyleComPtr<IUnknown> object;
    ASSERT_EQ(library->GetStyle(overrideID, object.Put()), S_OK);
    ASSERT_EQ(r.id ? state->Admin()->Attach(r.id, library.librarian) : state->Admin()->AttachObject(object.Get()),
              S_OK);
    DWORD count = 0, current = 9, colour = 0;
    ASSERT_EQ(bench->GetComponentCount(&count), S_OK);
    ASSERT_EQ(bench->GetCurrentComponent(&current), S_OK);
    ASSERT_EQ(bench->GetColor(&colour), S_OK);
    EXPECT_EQ(count, r.count);
    EXPECT_EQ(current, r.current);
    EXPECT_EQ(colour, r.colours[r.current]);
    for (DWORD i = 0; i < count; ++i) EXPECT_EQ(ColourOf(state->Component(i)), r.colours[i]) << i;
  }
}

// Three lines are stored as a multiplexer: into the library its lines become entries set by ID; as a free object
// they are set as objects.
TEST_F(LinearWorkbenchTest, StoresSeveralLinesAsAMultiplexer) {
  for (bool intoLibrary : {true, false}) {
    SCOPED_TRACE(intoLibrary ? "library" : "free-standing");
    StyleComPtr<IWorkbenchLinear> bench;
    JWorkbenchLinear* state = NewBench(bench);
    ASSERT_EQ(state->Admin()->AttachNew(0, intoLibrary ? library.librarian : nullptr), S_OK);
    DWORD index = 0;
    for (DWORD colour : {0x10u, 0x20u, 0x30u}) {
      if (colour != 0x10) {
        ASSERT_EQ(bench->AddComponent(&index), S_OK);
      }
      ASSERT_EQ(bench->SetColor(colour), S_OK);
    }
    ASSERT_EQ(bench->SetCurrentComponent(1), S_OK);
    if (intoLibrary) {
      ASSERT_EQ(state->Admin()->SetName(L"Triple"), S_OK);
    }
    StyleComPtr<IJStyleMultiplexer> mux;
    ASSERT_EQ(state->Admin()->GetStyleObject(mux.PutVoid(), IID_IJStyleMultiplexer), S_OK);
    DWORD count = 0, current = 0;
    ASSERT_EQ(mux->GetCount(&count), S_OK);
    ASSERT_EQ(mux->GetCurrentIndex(&current), S_OK);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(current, 1u);
    for (DWORD i = 0; i < 3; ++i) {
      DWORD entryID = 0, colour = 0;
      StyleComPtr<IJStyleRender> entry;
      StyleComPtr<IJStyleSimpleLine> line;
      mux->GetEntryID(i, &entryID);
      ASSERT_EQ(mux->GetEntry(static_cast<LONG>(i), entry.Put()), S_OK);
      ASSERT_EQ(entry->QueryInterface(IID_IJStyleSimpleLine, line.PutVoid()), S_OK);
      line->GetColor(&colour);
      EXPECT_EQ(JWorkbenchBase::IsValidID(entryID), intoLibrary) << i;
      EXPECT_EQ(colour, 0x10u * (i + 1));
    }
  }
}

// "Rail" edited and saved is replaced by a new simple line; a child that set nothing takes the colour, a child
// with its own colour keeps it; a child that copied its parent's lines edits its own copies.
TEST_F(LinearWorkbenchTest, ARailsEditsReachItsChildren) {
  auto saveNew = [&](DWORD parent, const wchar_t* name, DWORD colour, StyleComPtr<IWorkbenchLinear>& bench) {
    IWorkbenchAdmin* admin = NewBench(bench)->Admin();
    EXPECT_EQ(admin->AttachNew(parent, library.librarian), S_OK);
    if (colour) {
      EXPECT_EQ(bench->SetColor(colour), S_OK);
    }
    EXPECT_EQ(admin->SetName(name), S_OK);
    DWORD id = 0;
    EXPECT_EQ(admin->Save(&id), S_OK);
    return id;
  };
  // Colour and width of the stored simple line; 0 for another style.
  auto storedLine = [&](DWORD id) {
    StyleComPtr<IUnknown> style;
    StyleComPtr<IJStyleSimpleLine> line;
    DWORD colour = 0;
    double width = 0;
    EXPECT_EQ(library->GetStyle(id, style.Put()), S_OK);
    if (style && SUCCEEDED(style->QueryInterface(IID_IJStyleSimpleLine, line.PutVoid()))) {
      line->GetColor(&colour);
      line->GetWidth(&width);
    }
    return std::make_pair(colour, width);
  };
  StyleComPtr<IWorkbenchLinear> rail, child, own;
  const DWORD railID = saveNew(0, L"Rail", 0xFF0000, rail);
  const DWORD childID = saveNew(railID, L"Child", 0, child);
  const DWORD ownID = saveNew(railID, L"Own", 0x00FF00, own);
  rail.Reset();
  child.Reset();

  StyleComPtr<IWorkbenchAdmin> reopened;
  ASSERT_EQ(shop->GetWorkbench(railID, FALSE, reopened.Put()), S_OK);
  ASSERT_EQ(reopened->QueryInterface(IID_IWorkbenchLinear, rail.PutVoid()), S_OK);
  StyleComPtr<IUnknown> before;
  ASSERT_EQ(library->GetStyle(railID, before.Put()), S_OK);
  ASSERT_EQ(rail->SetColor(0x0000FF), S_OK);
  ASSERT_EQ(rail->SetWidth(0.5), S_OK);
  DWORD saved = 0;
  ASSERT_EQ(reopened->Save(&saved), S_OK);
  EXPECT_EQ(saved, railID);
  StyleComPtr<IUnknown> after;
  ASSERT_EQ(library->GetStyle(railID, after.Put()), S_OK);
  EXPECT_NE(after.Get(), before.Get());
  EXPECT_EQ(storedLine(railID), std::make_pair(DWORD{0x0000FF}, 0.5));
  EXPECT_EQ(storedLine(childID).first, 0x0000FFu);
  EXPECT_EQ(storedLine(ownID).first, 0x00FF00u);

  // The parent gains a line: the open child copies the structure and then edits its own copy.
  DWORD index = 0;
  ASSERT_EQ(rail->AddComponent(&index), S_OK);
  ASSERT_EQ(rail->SetColor(0x444444), S_OK);
  ASSERT_EQ(reopened->Save(&saved), S_OK);
  JWorkbenchLinear* ownState = StateOf(own.Get());
  ASSERT_EQ(ownState->ComponentCount(), 2u);
  ASSERT_EQ(own->SetCurrentComponent(1), S_OK);
  ASSERT_EQ(own->SetColor(0x777777), S_OK);
  EXPECT_EQ(ColourOf(StateOf(rail.Get())->Component(1)), 0x444444u);
}

}  // namespace

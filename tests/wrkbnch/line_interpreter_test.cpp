// The linear-style interpreter's line component, compiled into the test: chains of override, offset line and
// simple line read into values and built back through the creators, with stylesrv.dll's styles and workbenches
// in the real style library.
#include <cfloat>

#include "display/style/wrkbnch/CIntLine.h"
#include "display/style/wrkbnch/CStylCreator.h"
#include "display/style/wrkbnch/JWorkbenchDash.h"
#include "display/style/wrkbnch/JWorkbenchPointSymbol.h"
#include "tests/wrkbnch/workbench_fixtures.h"

using stylesrv_test::IdentityOf;
using styllib_test::CreateObject;

namespace {

// Colour, units, width and offset of a line component.
std::vector<double> ValuesOf(CIntLine* line) {
  DWORD colour = 1, units = 0;
  double width = 0, offset = 9;
  line->GetColor(&colour);
  line->GetUnits(&units);
  line->GetWidth(&width);
  line->GetOffset(&offset);
  return {double(colour), double(units), width, offset};
}

// A component as a workbench holds it: one reference, reset.
class Line {
 public:
  Line() : m_line(new CIntLine) {
    m_line->AddRef();
    EXPECT_EQ(m_line->Init(), S_OK);
  }
  ~Line() { m_line->Release(); }
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;
  CIntLine* operator->() const { return m_line; }
  CIntLine* get() const { return m_line; }
  IUnknown* Style() const {
    StyleComPtr<IUnknown> style;
    m_line->GetStyle(style.Put());
    return style.Get();  // the component keeps it
  }

 private:
  CIntLine* m_line;
};

class InterpreterTest : public SymbolLibraryTest {
 protected:
  // A workbench of the class saved into the library under `name` (its ID in *id), held by `bench`.
  template <class Itf>
  void SavedBench(REFCLSID clsid, REFIID iid, const wchar_t* name, StyleComPtr<Itf>& bench, DWORD* id) {
    ASSERT_EQ(CreateObject(library.server(), clsid, iid, bench.PutVoid()), S_OK);
    StyleComPtr<IWorkbenchAdmin> admin;
    ASSERT_EQ(bench->QueryInterface(IID_IWorkbenchAdmin, admin.PutVoid()), S_OK);
    ASSERT_EQ(admin->AttachNew(0, library.librarian), S_OK);
    if constexpr (std::is_same_v<Itf, IWorkbenchLinearPattern>) {
      ASSERT_EQ(bench->SetDashes(2, std::vector<double>{4, -2}.data()), S_OK);
    } else {
      ASSERT_EQ(bench->SetGraphic(g.AsGraphic()), S_OK);
    }
    ASSERT_EQ(admin->SetName(name), S_OK);
    ASSERT_EQ(admin->Save(id), S_OK);
  }
  // The type of the library entry that holds `style`, GUID_NULL for none.
  GUID EntryType(IUnknown* style) {
    DWORD id = 0;
    StyleRecord* record = nullptr;
    if (!style || FAILED(library->FindStyleID(IdentityOf(style), &id)) ||
        FAILED(library->GetStyleRecord(id, &record))) {
      return GUID_NULL;
    }
    const GUID type = *record->type;
    library->FreeStyleRecord(&record);
    return type;
  }

  CStylCreatorDirect direct;
  CStylCreatorLibrary toLibrary;
};

TEST_F(InterpreterTest, ReadsOverrideOffsetAndSimpleLine) {
  StyleComPtr<IJStyleSimpleLine> simple;
  ASSERT_EQ(CreateObject(server, CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine, simple.PutVoid()), S_OK);
  const tagStyleSimpleLineData data{13, 2.0, 0xFF, 0, 0x4000};
  ASSERT_EQ(simple->SetData(&data), S_OK);
  auto override = [&](IUnknown* referenced, IUnknown** out) {
    StyleComPtr<IJStyleOverride> made;
    StyleComPtr<IJStyleSetup2d> setup;
    ASSERT_EQ(CreateObject(server, CLSID_JStyleOverride, IID_IJStyleOverride, made.PutVoid()), S_OK);
    ASSERT_EQ(made->SetColor(0x00FF00), S_OK);
    ASSERT_EQ(made->SetUnits(12), S_OK);
    ASSERT_EQ(made->SetWidth(0.5), S_OK);
    ASSERT_EQ(made->QueryInterface(IID_IJStyleSetup2d, setup.PutVoid()), S_OK);
    if (referenced) {
      ASSERT_EQ(setup->SetReferencedStyle(referenced), S_OK);
    }
    made->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(out));
  };
  StyleComPtr<IUnknown> offset, full, empty, solid;
  StyleComPtr<IJStyleOLG> offsetLine;
  ASSERT_EQ(CreateObject(server, CLSID_JStyleOLG, IID_IJStyleOLG, offsetLine.PutVoid()), S_OK);
  ASSERT_EQ(offsetLine->SetOffset(0.25), S_OK);
  ASSERT_EQ(offsetLine->SetMode(2), S_OK);
  StyleComPtr<IJStyleSetup2d> offsetSetup;
  ASSERT_EQ(offsetLine->QueryInterface(IID_IJStyleSetup2d, offsetSetup.PutVoid()), S_OK);
  ASSERT_EQ(offsetSetup->SetReferencedStyle(simple.Get()), S_OK);
  ASSERT_EQ(offsetLine->QueryInterface(IID_IUnknown, offset.PutVoid()), S_OK);
  override(offset.Get(), full.Put());
  override(nullptr, empty.Put());
  ASSERT_EQ(CreateObject(server, CLSID_JStyleLineSolid, IID_IUnknown, solid.PutVoid()), S_OK);

  const struct {
    const char* chain;
    IUnknown* style;
    DWORD colour, units;
    double width, offset;
    DWORD direction, mask;
  } rows[] = {{"override, offset, simple", full.Get(), 0x00FF00, 12, 0.5, 0.25, 2, 0x4003},
              {"simple", simple.Get(), 0xFF, 13, 2.0, 0, 0, 0x4000},
              {"solid", solid.Get(), 0, 11, 1.0, 0, 0, 0},
              {"override of nothing", empty.Get(), 0, 11, 1.0, 0, 0, 0}};
  ProbeGraphic held;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.chain);
    Line line;
    // What an earlier read left is gone: the reset lets the sub-workbenches go.
    ASSERT_EQ(line->SetTerminatorWorkbench(TRUE, held.AsGraphic()), S_OK);
    ASSERT_EQ(line->SetColor(7), S_OK);
    ASSERT_EQ(line->LoadFromObject(r.style), S_OK);
    EXPECT_EQ(held.refs, 1u);
    DWORD direction = 9, code = 9;
    line->GetOffsetDirection(&direction);
    line->GetHeldCode(&code);
    EXPECT_EQ(ValuesOf(line.get()), std::vector<double>({double(r.colour), double(r.units), r.width, r.offset}));
    EXPECT_EQ(std::vector<DWORD>({direction, code}), std::vector<DWORD>({r.direction, 0}));
    EXPECT_EQ(line->ChangeMask(), r.mask);
    EXPECT_FALSE(line->Changed());
  }
}

// The sub-workbenches of a line read by ID are the library's open ones; read as an object, they are new
// workbenches bound to the objects the line refers to.
TEST_F(InterpreterTest, SubWorkbenchesByIDAreTheLibrarysOwn) {
  StyleComPtr<IWorkbenchLinearPattern> dash;
  StyleComPtr<IWorkbenchPointSymbol> start, end;
  DWORD dashID = 0, startID = 0, endID = 0, lineID = 0;
  SavedBench(CLSID_JWorkbenchDash, IID_IWorkbenchLinearPattern, L"D", dash, &dashID);
  SavedBench(CLSID_JWorkbenchPointSymbol, IID_IWorkbenchPointSymbol, L"P1", start, &startID);
  SavedBench(CLSID_JWorkbenchPointSymbol, IID_IWorkbenchPointSymbol, L"P2", end, &endID);
  {
    Line built;
    ASSERT_EQ(built->SetDashWorkbench(dash.Get()), S_OK);
    ASSERT_EQ(built->SetTerminatorWorkbench(TRUE, start.Get()), S_OK);
    ASSERT_EQ(built->SetTerminatorWorkbench(FALSE, end.Get()), S_OK);
    toLibrary.SetLibraries(library.librarian, library.librarian);
    ASSERT_EQ(built->BuildWith(&toLibrary), S_OK);
    GUID type = STYLETYPE_Linear;
    StyleRecord record{const_cast<LPWSTR>(L"Rail"), nullptr, built.Style(), &type, 0, 0};
    ASSERT_EQ(library->AddStyle(&record, &lineID), S_OK);
  }
  StyleComPtr<IUnknown> stored;
  ASSERT_EQ(library->GetStyle(lineID, stored.Put()), S_OK);

  for (bool byID : {true, false}) {
    SCOPED_TRACE(byID ? "by ID" : "as an object");
    Line line;
    ASSERT_EQ(byID ? line->LoadFromLibrary(lineID, library.librarian) : line->LoadFromObject(stored.Get()), S_OK);
    const struct {
      IUnknown* own;
      DWORD id;
    } subs[] = {{dash.Get(), dashID}, {start.Get(), startID}, {end.Get(), endID}};
    StyleComPtr<IUnknown> first, second;
    line->GetTerminatorWorkbench(TRUE, first.Put());
    line->GetTerminatorWorkbench(FALSE, second.Put());
    IUnknown* held[] = {line->DashWorkbench(), first.Get(), second.Get()};
    for (int i = 0; i < 3; ++i) {
      ASSERT_NE(held[i], nullptr) << i;
      JWorkbenchBase* bench = WorkbenchImplementationOf(held[i]);
      ASSERT_NE(bench, nullptr);
      EXPECT_EQ(IdentityOf(held[i]) == IdentityOf(subs[i].own), byID) << i;
      StyleComPtr<IUnknown> entry;
      ASSERT_EQ(library->GetStyle(subs[i].id, entry.Put()), S_OK);
      StyleComPtr<IUnknown> edited;
      ASSERT_EQ(bench->Admin()->GetStyleObject(edited.PutVoid(), IID_IUnknown), S_OK);
      EXPECT_EQ(IdentityOf(edited.Get()), IdentityOf(entry.Get())) << i;
    }
  }
}

TEST_F(InterpreterTest, BuildsFlagsDashAndOffsetThroughTheCreators) {
  StyleComPtr<IWorkbenchLinearPattern> dash, other;
  ASSERT_EQ(CreateObject(server, CLSID_JWorkbenchDash, IID_IWorkbenchLinearPattern, dash.PutVoid()), S_OK);
  ASSERT_EQ(CreateObject(server, CLSID_JWorkbenchDash, IID_IWorkbenchLinearPattern, other.PutVoid()), S_OK);
  ASSERT_EQ(dash->SetDashes(2, std::vector<double>{4, -2}.data()), S_OK);
  Line line;
  ASSERT_EQ(line->SetLineCode1(1), S_OK);
  ASSERT_EQ(line->SetLineCode2(2), S_OK);
  ASSERT_EQ(line->SetColorFixed(TRUE), S_OK);
  ASSERT_EQ(line->SetWidthFixed(FALSE), S_OK);
  // The kind detail goes along with the dash workbench's successor.
  ASSERT_EQ(line->SetDashWorkbench(other.Get()), S_OK);
  ASSERT_EQ(other->SetKindDetail(1), S_OK);
  ASSERT_EQ(line->SetDashWorkbench(dash.Get()), S_OK);
  DWORD detail = 0;
  ASSERT_EQ(dash->GetKindDetail(&detail), S_OK);
  EXPECT_EQ(detail, 1u);
  ASSERT_EQ(line->BuildWith(&direct), S_OK);
  StyleComPtr<IJStyleSimpleLine> simple;
  ASSERT_EQ(line.Style()->QueryInterface(IID_IJStyleSimpleLine, simple.PutVoid()), S_OK);
  tagStyleSimpleLineData data{};
  ASSERT_EQ(simple->GetData(&data), S_OK);
  EXPECT_EQ(data.styleFlags, 0x8Du);
  StyleComPtr<IJStyleDashTypeRender> dashType;
  ASSERT_EQ(simple->GetDashType(dashType.Put()), S_OK);
  EXPECT_EQ(IdentityOf(dashType.Get()), WorkbenchImplementationOf(dash.Get())->StyleObject());

  // A code the simple line refuses fails the build only while it is set here, and changes nothing.
  IUnknown* before = line.Style();
  ASSERT_EQ(line->SetLineCode1(5), S_OK);
  EXPECT_EQ(line->BuildWith(&direct), E_INVALIDARG);
  EXPECT_EQ(line.Style(), before);
  line->ClearChangeMask();
  EXPECT_EQ(line->BuildWith(&direct), S_OK);
  EXPECT_NE(line.Style(), before);

  // The offset line: made at FLT_EPSILON and above; with the library creator the terminator and the inner line
  // become entries, the outermost style does not.
  StyleComPtr<IWorkbenchPointSymbol> start;
  DWORD startID = 0;
  SavedBench(CLSID_JWorkbenchPointSymbol, IID_IWorkbenchPointSymbol, L"P", start, &startID);
  toLibrary.SetLibraries(library.librarian, library.librarian);
  const struct {
    CStylCreator* creator;
    double offset;
    bool offsetLine;
    DWORD added;
  } rows[] = {{&toLibrary, 0.5, true, 2}, {&direct, 0.5, true, 0}, {&direct, 1e-8, false, 0},
              {&direct, FLT_EPSILON, true, 0}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.offset);
    Line wrapped;
    ASSERT_EQ(wrapped->SetOffset(r.offset), S_OK);
    ASSERT_EQ(wrapped->SetOffsetDirection(4), S_OK);
    ASSERT_EQ(wrapped->SetTerminatorWorkbench(TRUE, start.Get()), S_OK);
    const DWORD count = library.StyleCount();
    ASSERT_EQ(wrapped->BuildWith(r.creator), S_OK);
    EXPECT_EQ(library.StyleCount(), count + r.added);
    StyleComPtr<IJStyleOLG> outer;
    EXPECT_EQ(SUCCEEDED(wrapped.Style()->QueryInterface(IID_IJStyleOLG, outer.PutVoid())), r.offsetLine);
    if (!outer) continue;
    DWORD mode = 0;
    outer->GetMode(&mode);
    EXPECT_EQ(mode, 4u);
    StyleComPtr<IJStyleRender> outerRender, innerRender;
    ASSERT_EQ(outer->QueryInterface(IID_IJStyleRender, outerRender.PutVoid()), S_OK);
    ASSERT_EQ(outerRender->GetReferencedStyle(innerRender.Put()), S_OK);
    ASSERT_TRUE(innerRender);
    IUnknown* inner = IdentityOf(innerRender.Get());
    StyleComPtr<IJStyleSimpleLine> innerLine;
    StyleComPtr<IJStyleRender> terminator;
    ASSERT_EQ(inner->QueryInterface(IID_IJStyleSimpleLine, innerLine.PutVoid()), S_OK);
    ASSERT_EQ(innerLine->GetOverlayStyle(terminator.Put()), S_OK);
    const bool entries = r.added != 0;
    EXPECT_EQ(EntryType(inner) == STYLETYPE_Linear, entries);
    EXPECT_EQ(EntryType(terminator.Get()) == STYLETYPE_LinePointGen, entries);
    EXPECT_EQ(EntryType(wrapped.Style()), GUID_NULL);
  }
}

TEST_F(InterpreterTest, InheritsOnlyWhatTheChildDidNotSet) {
  const struct {
    const char* what;
    DWORD childColour, childUnits;
    double childWidth;
    DWORD mask;
    double parentWidth, parentOffset;
    HRESULT answer;
    DWORD colour, units;
    double width, offset;
  } rows[] = {{"widths 1e-9 apart are equal", 5, 11, 1.0, 0, 1.0 + 1e-9, 0, S_OK, 5, 11, 1.0, 0},
              {"a set width keeps its units; the offset is always taken", 5, 13, 2.0, CIntLine::kWidth, 1.0, 0.5,
               S_FALSE, 5, 13, 2.0, 0.5},
              {"a set colour stays", 9, 11, 1.0, CIntLine::kColour, 3.0, 0, S_FALSE, 9, 11, 3.0, 0}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    Line parent, child;
    ASSERT_EQ(parent->SetColor(5), S_OK);
    ASSERT_EQ(parent->SetWidth(r.parentWidth), S_OK);
    ASSERT_EQ(parent->SetOffset(r.parentOffset), S_OK);
    ASSERT_EQ(child->SetColor(r.childColour), S_OK);
    ASSERT_EQ(child->SetUnits(r.childUnits), S_OK);
    ASSERT_EQ(child->SetWidth(r.childWidth), S_OK);
    child->ClearChangeMask();
    if (r.mask & CIntLine::kColour) {
      ASSERT_EQ(child->SetColor(r.childColour), S_OK);
    }
    if (r.mask & CIntLine::kWidth) {
      ASSERT_EQ(child->SetWidth(r.childWidth), S_OK);
    }
    EXPECT_EQ(child->InheritChanged(parent.get()), r.answer);
    EXPECT_EQ(ValuesOf(child.get()), std::vector<double>({double(r.colour), double(r.units), r.width, r.offset}));
  }
}

}  // namespace

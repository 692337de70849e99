// The line styles inside the real style library: their dash types, overlays, substitute styles and parents as
// library references, copied into another library, moved to another owner, replaced under their IDs, and the
// override's prerender chain.
#include <functional>

#include "display/style/stylbas/StyleCallDepth.h"
#include "display/style/stylesrv_itf.h"
#include "tests/lines/line_fixtures.h"
#include "tests/styllib/library_fixtures.h"

using styllib_test::IdentityOf;
using styllib_test::TestLibrary;

namespace {

// A line style whose render interface is the prerender one (variant 2): it records what reaches the end of a
// prerender chain.
class PrerenderLineStyle final : public TestLineStyle {
 public:
  struct Call {
    int operation = 0;
    UINT_PTR args[5] = {};
    bool block = false;
    tagStyleOverride record{};
  };
  static PrerenderLineStyle* Create() {
    auto* style = new PrerenderLineStyle;
    style->AddRef();
    return style;
  }
  STYLE_DECLARE_DELETING_DESTRUCTOR(PrerenderLineStyle)

  void* GetInterface(REFIID iid) override {
    if (IsEqualIID(iid, IID_IJStyleRender2) || IsEqualIID(iid, IID_IJStylePrerender)) return &m_prerender;
    return TestLineStyle::GetInterface(iid);
  }
  IJStylePrerender* Prerender() { return &m_prerender; }

  std::vector<Call> calls;

 private:
  struct PrerenderImp final : IJStylePrerender {
    PrerenderLineStyle* self = nullptr;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
      return self->GetControllingUnknown()->QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return self->GetControllingUnknown()->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return self->GetControllingUnknown()->Release(); }
    DWORD STDMETHODCALLTYPE GetVariant() override { return 2; }
    HRESULT STDMETHODCALLTYPE Prepare(UINT_PTR a1, UINT_PTR a2, UINT_PTR a3, UINT_PTR a4) override {
      Call call;
      call.operation = 2;
      call.args[0] = a1, call.args[1] = a2, call.args[2] = a3, call.args[3] = a4;
      self->calls.push_back(call);
      return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PrepareRecord(UINT_PTR a1, UINT_PTR a2, UINT_PTR a3, StylePrerenderBlock* block,
                                            UINT_PTR a5, UINT_PTR a6) override {
      Call call;
      call.operation = 3;
      call.args[0] = a1, call.args[1] = a2, call.args[2] = a3, call.args[3] = a5, call.args[4] = a6;
      call.block = block != nullptr;
      if (block) call.record = block->record;
      self->calls.push_back(call);
      return S_OK;
    }
  };

  PrerenderLineStyle() { m_prerender.self = this; }
  ~PrerenderLineStyle() = default;
  PrerenderImp m_prerender;
};

// The ID of a style by its name in a library.
DWORD Named(TestLibrary& library, const wchar_t* name, const GUID& type = STYLETYPE_Linear) {
  DWORD id = 0;
  EXPECT_EQ(library->FindStyleIDByName(name, &type, &id), S_OK) << "no style of that name";
  return id;
}

// Copies a style of `source` into `target` as a host copies it; answers the copy's ID there.
DWORD CopyInto(IUnknown* style, TestLibrary& source, TestLibrary& target) {
  DWORD id = 0;
  EXPECT_EQ(Query<IJManageStyle2>(style, IID_IJManageStyle2)
                ->CopyStyleToLibrary(source.librarian, target.librarian, target.document, &id),
            S_OK);
  EXPECT_NE(id, 0u);
  return id;
}

class RealLibraryLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterLineVersions();
    stylesrv_test::ClearReports();
  }
  // Nothing of this goes wrong on the way: a failure reported and swallowed would hide a lost reference.
  void TearDown() override { EXPECT_THAT(stylesrv_test::Reports(), ::testing::IsEmpty()); }

  // Adds a style under a name (the library holds it; the caller keeps its own reference). Answers the ID.
  static DWORD Add(TestLibrary& library, IUnknown* style, const wchar_t* name, const GUID& type = STYLETYPE_Linear) {
    GUID typeCopy = type;
    StyleRecord record{const_cast<LPWSTR>(name), nullptr, IdentityOf(style), &typeCopy, 0, 0};
    DWORD id = 0;
    EXPECT_TRUE(SUCCEEDED(library->AddStyleNoCreate(&record, &id))) << "adding a style failed";
    EXPECT_NE(id, 0u);
    return id;
  }

  // New styles, with one reference.
  static IJStyleSimpleDashType* NewDash(std::vector<double> lengths) {
    auto* dash = NewStyle<IJStyleSimpleDashType>(CLSID_JStyleSimpleDashType, IID_IJStyleSimpleDashType);
    EXPECT_EQ(dash->SetLengths(static_cast<DWORD>(lengths.size()), lengths.data()), S_OK);
    return dash;
  }

  static IJStyleLineSolid* NewSolid(DWORD colour) {
    auto* solid = NewStyle<IJStyleLineSolid>(CLSID_JStyleLineSolid, IID_IJStyleLineSolid);
    solid->SetColor(colour);
    return solid;
  }

  // The style of an ID, as the interface asked.
  template <class T>
  static StyleComPtr<T> StyleOf(TestLibrary& library, DWORD id, REFIID iid) {
    StyleComPtr<IUnknown> object;
    EXPECT_EQ(library->GetStyle(id, object.Put()), S_OK);
    return Query<T>(object.Get(), iid);
  }

  // What a style draws of a 10-unit segment with an unflagged record, as the counts of its polylines and the
  // colours of its pens.
  struct Drawn {
    std::vector<DWORD> polylines;
    std::vector<DWORD> colours;
  };
  static Drawn Draw(IUnknown* style) {
    TestTarget target;
    TestGeometry geometry{{0, 0, 0, 10, 0, 0}};
    const RenderContextScales context = UnitScales();
    const tagStyleOverride record = EmptyRecord();
    EXPECT_EQ(Query<IJStyleRender>(style, IID_IJStyleRender)
                  ->RenderWithContext(&geometry.record, target.target(), &context, nullptr, &record, nullptr),
              S_OK);
    return {PolylineCounts(target), PenColours(target)};
  }
};

// A line's dash type and overlay arrive in the target library as copies there, the copy refers to them by
// their IDs in the target, and each library counts exactly the uses its styles hold.
TEST_F(RealLibraryLineTest, CopiedSimpleLineRefersToCopiesOfItsDashTypeAndOverlay) {
  TestLibrary source;
  TestLibrary target;
  target.AddLine(L"Filler", 9);  // the copies' IDs must differ from the source's
  StyleComPtr<IJStyleSimpleDashType> dash(NewDash({2, -1}));
  StyleComPtr<IJStyleLineSolid> overlay(NewSolid(0x00FF00));
  overlay->SetWidth(3.0);
  StyleComPtr<IJStyleSimpleLine> line(NewStyle<IJStyleSimpleLine>(CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine));
  line->SetColor(0x0000FF);
  const DWORD dashID = Add(source, dash.Get(), L"Dots", STYLETYPE_Dash);
  const DWORD overlayID = Add(source, overlay.Get(), L"Green");
  const DWORD lineID = Add(source, line.Get(), L"Dotted");
  ASSERT_EQ(line->SetDashTypeID(dashID), S_OK);
  ASSERT_EQ(line->SetOverlayStyleID(overlayID), S_OK);
  EXPECT_EQ(source.UseCount(dashID), 1u);
  EXPECT_EQ(source.UseCount(overlayID), 1u);

  const DWORD copyID = CopyInto(line.Get(), source, target);
  EXPECT_EQ(copyID, Named(target, L"Dotted"));
  const DWORD dashThere = Named(target, L"Dots", STYLETYPE_Dash);
  const DWORD overlayThere = Named(target, L"Green");
  ASSERT_NE(dashThere, 0u);
  ASSERT_NE(overlayThere, 0u);
  EXPECT_NE(dashThere, dashID);
  EXPECT_NE(overlayThere, overlayID);

  StyleComPtr<IJStyleSimpleLine> copy = StyleOf<IJStyleSimpleLine>(target, copyID, IID_IJStyleSimpleLine);
  DWORD id = 0;
  ASSERT_EQ(copy->GetDashTypeID(&id), S_OK);
  EXPECT_EQ(id, dashThere);
  ASSERT_EQ(copy->GetOverlayStyleID(&id), S_OK);
  EXPECT_EQ(id, overlayThere);
  // The objects behind the copy's references are the target's, not the source's.
  StyleComPtr<IJStyleDashTypeRender> copiedDash;
  ASSERT_EQ(copy->GetDashType(copiedDash.Put()), S_OK);
  EXPECT_EQ(IdentityOf(copiedDash.Get()), IdentityOf(StyleOf<IUnknown>(target, dashThere, IID_IUnknown).Get()));
  EXPECT_NE(IdentityOf(copiedDash.Get()), IdentityOf(dash.Get()));
  StyleComPtr<IJStyleRender> copiedOverlay;
  ASSERT_EQ(copy->GetOverlayStyle(copiedOverlay.Put()), S_OK);
  EXPECT_EQ(IdentityOf(copiedOverlay.Get()),
            IdentityOf(StyleOf<IUnknown>(target, overlayThere, IID_IUnknown).Get()));
  // The solid overlay came along with its own values.
  double width = 0;
  DWORD colour = 0;
  StyleComPtr<IJStyleLineSolid> solidThere = Query<IJStyleLineSolid>(copiedOverlay.Get(), IID_IJStyleLineSolid);
  solidThere->GetWidth(&width);
  solidThere->GetColor(&colour);
  EXPECT_EQ(width, 3.0);
  EXPECT_EQ(colour, 0x00FF00u);

  EXPECT_EQ(target.UseCount(dashThere), 1u);
  EXPECT_EQ(target.UseCount(overlayThere), 1u);
  EXPECT_EQ(source.UseCount(dashID), 1u);
  EXPECT_EQ(source.UseCount(overlayID), 1u);
  EXPECT_EQ(source.UseCount(lineID), 0u);

  // Drawn from the target, the copy dashes and overlays as the original does.
  const Drawn original = Draw(line.Get());
  const Drawn copied = Draw(copy.Get());
  EXPECT_GT(original.polylines.size(), 2u);
  EXPECT_EQ(copied.polylines, original.polylines);
  EXPECT_EQ(copied.colours, original.colours);
}

// An override copied into another library takes its parent, dash type and substitute style along; the copy's
// references are the target's IDs, counted once each there.
TEST_F(RealLibraryLineTest, CopiedOverrideRefersToCopiesOfParentDashTypeAndSubstitute) {
  TestLibrary source;
  TestLibrary target;
  target.AddLine(L"Filler", 9);
  StyleComPtr<IJStyleSimpleLine> parent(NewStyle<IJStyleSimpleLine>(CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine));
  parent->SetColor(0x404040);
  StyleComPtr<IJStyleSimpleDashType> dash(NewDash({1, -1}));
  StyleComPtr<IJStyleLineSolid> other(NewSolid(0xFF0000));
  StyleComPtr<IJStyleOverride> over(NewStyle<IJStyleOverride>(CLSID_JStyleOverride, IID_IJStyleOverride));
  over->SetColor(0x0000FF);
  const DWORD parentID = Add(source, parent.Get(), L"Parent");
  const DWORD dashID = Add(source, dash.Get(), L"Dots", STYLETYPE_Dash);
  const DWORD otherID = Add(source, other.Get(), L"Red");
  const DWORD overID = Add(source, over.Get(), L"Blue over parent");
  ASSERT_EQ(Query<IJStyleSetup2d>(over.Get(), IID_IJStyleSetup2d)->SetReferencedStyleID(parentID), S_OK);
  ASSERT_EQ(over->SetDashTypeID(dashID), S_OK);
  ASSERT_EQ(over->SetOtherStyleID(otherID), S_OK);
  EXPECT_EQ(source.UseCount(parentID), 1u);
  EXPECT_EQ(source.UseCount(dashID), 1u);
  EXPECT_EQ(source.UseCount(otherID), 1u);

  const DWORD copyID = CopyInto(over.Get(), source, target);
  EXPECT_EQ(copyID, Named(target, L"Blue over parent"));
  const DWORD parentThere = Named(target, L"Parent");
  const DWORD dashThere = Named(target, L"Dots", STYLETYPE_Dash);
  const DWORD otherThere = Named(target, L"Red");
  StyleComPtr<IJStyleOverride> copy = StyleOf<IJStyleOverride>(target, copyID, IID_IJStyleOverride);
  DWORD id = 0;
  ASSERT_EQ(Query<IJStyleSetup2d>(copy.Get(), IID_IJStyleSetup2d)->GetReferencedStyleID(&id), S_OK);
  EXPECT_EQ(id, parentThere);
  ASSERT_EQ(copy->GetDashTypeID(&id), S_OK);
  EXPECT_EQ(id, dashThere);
  ASSERT_EQ(copy->GetOtherStyleID(&id), S_OK);
  EXPECT_EQ(id, otherThere);
  DWORD colour = 0;
  copy->GetColor(&colour);
  EXPECT_EQ(colour, 0x0000FFu);
  StyleComPtr<IUnknown> otherOfCopy;
  ASSERT_EQ(copy->GetOtherStyle(otherOfCopy.Put()), S_OK);
  EXPECT_EQ(IdentityOf(otherOfCopy.Get()), IdentityOf(StyleOf<IUnknown>(target, otherThere, IID_IUnknown).Get()));

  EXPECT_EQ(target.UseCount(parentThere), 1u);
  EXPECT_EQ(target.UseCount(dashThere), 1u);
  EXPECT_EQ(target.UseCount(otherThere), 1u);
  EXPECT_EQ(source.UseCount(parentID), 1u);
  EXPECT_EQ(source.UseCount(dashID), 1u);
  EXPECT_EQ(source.UseCount(otherID), 1u);
  EXPECT_EQ(source.UseCount(overID), 0u);
}

// A style with two references (a dash type and an overlay or substitute style, or two multiplexer entries), moved
// from one owner to another: its uses go back to the first library and are taken in the second, where the
// referenced styles are known by their names; giving the references back then leaves no use in either. `set` and
// `get` reach the two IDs of the style's own interface; the first reference is to `firstName` of `firstType`, the
// second to the line "Green".
template <class Style, class Set, class Get>
void ExpectReferencesMove(Style* style, TestLibrary& first, TestLibrary& second, Set set, Get get,
                          const wchar_t* firstName = L"Dashes", const GUID& firstType = STYLETYPE_Dash) {
  const DWORD dashID = Named(first, firstName, firstType);
  const DWORD overlayID = Named(first, L"Green");
  StyleComPtr<IJManageStyle2> manage = Query<IJManageStyle2>(style, IID_IJManageStyle2);
  ASSERT_EQ(manage->SetLibrarian(first.librarian), S_OK);
  ASSERT_EQ(set(style, dashID, overlayID), S_OK);
  EXPECT_EQ(first.UseCount(dashID), 1u);
  EXPECT_EQ(first.UseCount(overlayID), 1u);

  ASSERT_EQ(manage->SetLibrarian(second.librarian), S_OK);
  EXPECT_EQ(first.UseCount(dashID), 0u);
  EXPECT_EQ(first.UseCount(overlayID), 0u);
  const DWORD dashThere = Named(second, firstName, firstType);
  const DWORD overlayThere = Named(second, L"Green");
  DWORD dash = 0, overlay = 0;
  ASSERT_EQ(get(style, &dash, &overlay), S_OK);
  EXPECT_EQ(dash, dashThere);
  EXPECT_EQ(overlay, overlayThere);
  EXPECT_EQ(second.UseCount(dashThere), 1u);
  EXPECT_EQ(second.UseCount(overlayThere), 1u);

  ASSERT_EQ(manage->ReleaseStyleRefs(0), S_OK);
  EXPECT_EQ(second.UseCount(dashThere), 0u);
  EXPECT_EQ(second.UseCount(overlayThere), 0u);
  EXPECT_EQ(first.UseCount(dashID), 0u);
  manage->SetLibrarian(nullptr);
}

// A simple line, an override and a multiplexer moved to another owner move the uses of their references along.
TEST_F(RealLibraryLineTest, MovingALineMovesTheUsesOfItsReferences) {
  TestLibrary first;
  TestLibrary second;
  second.AddLine(L"Filler", 9);
  StyleComPtr<IJStyleSimpleDashType> dash(NewDash({2, -2}));
  StyleComPtr<IJStyleLineSolid> overlay(NewSolid(0x00FF00));
  Add(first, dash.Get(), L"Dashes", STYLETYPE_Dash);
  Add(first, overlay.Get(), L"Green");

  StyleComPtr<IJStyleSimpleLine> line(NewStyle<IJStyleSimpleLine>(CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine));
  ExpectReferencesMove(
      line.Get(), first, second,
      [](IJStyleSimpleLine* s, DWORD d, DWORD o) {
        return FAILED(s->SetDashTypeID(d)) ? E_FAIL : s->SetOverlayStyleID(o);
      },
      [](IJStyleSimpleLine* s, DWORD* d, DWORD* o) {
        return FAILED(s->GetDashTypeID(d)) ? E_FAIL : s->GetOverlayStyleID(o);
      });

  StyleComPtr<IJStyleOverride> over(NewStyle<IJStyleOverride>(CLSID_JStyleOverride, IID_IJStyleOverride));
  ExpectReferencesMove(
      over.Get(), first, second,
      [](IJStyleOverride* s, DWORD d, DWORD o) {
        return FAILED(s->SetDashTypeID(d)) ? E_FAIL : s->SetOtherStyleID(o);
      },
      [](IJStyleOverride* s, DWORD* d, DWORD* o) {
        return FAILED(s->GetDashTypeID(d)) ? E_FAIL : s->GetOtherStyleID(o);
      });

  first.AddLine(L"Wide", 1);
  StyleComPtr<IJStyleMultiplexer> mux(NewStyle<IJStyleMultiplexer>(CLSID_JStyleMultiplexer, IID_IJStyleMultiplexer));
  ExpectReferencesMove(
      mux.Get(), first, second,
      [](IJStyleMultiplexer* s, DWORD a, DWORD b) {
        return FAILED(s->SetCount(2)) || FAILED(s->SetEntryID(0, a)) ? E_FAIL : s->SetEntryID(1, b);
      },
      [](IJStyleMultiplexer* s, DWORD* a, DWORD* b) {
        const std::vector<DWORD> ids = EntryIDs(s);
        if (ids.size() != 2) return E_FAIL;
        *a = ids[0], *b = ids[1];
        return S_OK;
      },
      L"Wide", STYLETYPE_Linear);
}

// A dash type or overlay replaced under its ID in the library is what the line draws next: the cached one is
// dropped rather than drawn on.
TEST_F(RealLibraryLineTest, ReplacedDashTypeAndOverlayAreDrawnNext) {
  TestLibrary library;
  StyleComPtr<IJStyleSimpleDashType> fine(NewDash({1, -1}));
  StyleComPtr<IJStyleSimpleDashType> coarse(NewDash({4, -4}));
  StyleComPtr<IJStyleLineSolid> green(NewSolid(0x00FF00));
  StyleComPtr<IJStyleLineSolid> blue(NewSolid(0xFF0000));
  const DWORD dashID = Add(library, fine.Get(), L"Dashes", STYLETYPE_Dash);
  const DWORD overlayID = Add(library, green.Get(), L"Overlay");
  StyleComPtr<IJStyleSimpleLine> line(NewStyle<IJStyleSimpleLine>(CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine));
  Add(library, line.Get(), L"Line");
  ASSERT_EQ(line->SetDashTypeID(dashID), S_OK);
  ASSERT_EQ(line->SetOverlayStyleID(overlayID), S_OK);
  StyleComPtr<IJStyleOverride> over(NewStyle<IJStyleOverride>(CLSID_JStyleOverride, IID_IJStyleOverride));
  StyleComPtr<IJStyleSimpleLine> plain(NewStyle<IJStyleSimpleLine>(CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine));
  const DWORD plainID = Add(library, plain.Get(), L"Plain");
  Add(library, over.Get(), L"Dashed plain");
  ASSERT_EQ(Query<IJStyleSetup2d>(over.Get(), IID_IJStyleSetup2d)->SetReferencedStyleID(plainID), S_OK);
  ASSERT_EQ(over->SetDashTypeID(dashID), S_OK);

  const Drawn before = Draw(line.Get());
  const Drawn overBefore = Draw(over.Get());
  ASSERT_EQ(library->ReplaceStyle(dashID, IdentityOf(coarse.Get())), S_OK);
  ASSERT_EQ(library->ReplaceStyle(overlayID, IdentityOf(blue.Get())), S_OK);

  StyleComPtr<IJStyleDashTypeRender> current;
  ASSERT_EQ(line->GetDashType(current.Put()), S_OK);
  EXPECT_EQ(IdentityOf(current.Get()), IdentityOf(coarse.Get()));
  ASSERT_EQ(over->GetDashType(current.Put()), S_OK);
  EXPECT_EQ(IdentityOf(current.Get()), IdentityOf(coarse.Get()));

  // What a line with the coarse dashes and the blue overlay draws, made outside any library.
  StyleComPtr<IJStyleSimpleLine> expected(
      NewStyle<IJStyleSimpleLine>(CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine));
  ASSERT_EQ(expected->SetDashType(coarse.Get()), S_OK);
  const Drawn dashedOnly = Draw(expected.Get());
  ASSERT_EQ(expected->SetOverlayStyle(Query<IJStyleRender>(blue.Get(), IID_IJStyleRender).Get()), S_OK);
  const Drawn wanted = Draw(expected.Get());
  ASSERT_NE(wanted.polylines, before.polylines);  // the two dash types must tell apart
  const Drawn after = Draw(line.Get());
  EXPECT_EQ(after.polylines, wanted.polylines);
  EXPECT_EQ(after.colours, wanted.colours);
  EXPECT_NE(after.colours, before.colours);
  const Drawn overAfter = Draw(over.Get());
  EXPECT_NE(overAfter.polylines, overBefore.polylines);
  EXPECT_EQ(overAfter.polylines, dashedOnly.polylines);
  expected->SetDashType(nullptr);
  expected->SetOverlayStyle(nullptr);
}

// An override over a parent that prepares records is reached through the prerender interface only; a chain of
// two overrides hands the caller's arguments to the end unchanged, with each override's values merged where
// the one before left them open. The engine's class extensions are asked for and answer nothing here.
TEST_F(RealLibraryLineTest, PrerenderChainMergesEachOverrideAndPassesArgumentsOn) {
  TestLibrary library;
  PrerenderLineStyle* end = PrerenderLineStyle::Create();
  const DWORD endID = Add(library, end->Unknown(), L"End");
  StyleComPtr<IJStyleOverride> inner(NewStyle<IJStyleOverride>(CLSID_JStyleOverride, IID_IJStyleOverride));
  StyleComPtr<IJStyleOverride> outer(NewStyle<IJStyleOverride>(CLSID_JStyleOverride, IID_IJStyleOverride));
  inner->SetColor(0x111111);
  inner->SetWidth(2.0);
  outer->SetColor(0x222222);
  const DWORD innerID = Add(library, inner.Get(), L"Inner");
  Add(library, outer.Get(), L"Outer");
  ASSERT_EQ(Query<IJStyleSetup2d>(inner.Get(), IID_IJStyleSetup2d)->SetReferencedStyleID(endID), S_OK);

  // The inner override is now prerender-capable and no longer answers the ordinary render interface.
  IJStylePrerender* innerPrerender = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IJStylePrerender, reinterpret_cast<void**>(&innerPrerender)), S_OK);
  EXPECT_EQ(innerPrerender->GetVariant(), 2u);
  innerPrerender->Release();
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(inner->QueryInterface(IID_IJStyleRender, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);

  ASSERT_EQ(Query<IJStyleSetup2d>(outer.Get(), IID_IJStyleSetup2d)->SetReferencedStyleID(innerID), S_OK);
  EXPECT_EQ(library.UseCount(innerID), 1u);
  EXPECT_EQ(library.UseCount(endID), 1u);
  StyleComPtr<IJStylePrerender> chain = Query<IJStylePrerender>(outer.Get(), IID_IJStylePrerender);
  ASSERT_TRUE(chain);
  StyleComPtr<IJStyleRender> parentOfOuter;
  ASSERT_EQ(Query<IJStyleSetup2d>(outer.Get(), IID_IJStyleSetup2d)->GetReferencedStyle(parentOfOuter.Put()), S_OK);
  ASSERT_TRUE(parentOfOuter);
  EXPECT_EQ(IdentityOf(parentOfOuter.Get()), IdentityOf(inner.Get()));

  ASSERT_EQ(chain->Prepare(1, 2, 3, 4), S_OK);
  ASSERT_EQ(chain->PrepareRecord(11, 12, 13, nullptr, 15, 16), S_OK);
  StylePrerenderBlock block{};
  block.record = EmptyRecord();
  block.record.flags = OVR_WIDTH;
  block.record.width = 7.0;
  ASSERT_EQ(chain->PrepareRecord(21, 22, 23, &block, 25, 26), S_OK);

  ASSERT_EQ(end->calls.size(), 3u);
  EXPECT_EQ(end->calls[0].operation, 2);
  EXPECT_EQ(std::vector<UINT_PTR>(end->calls[0].args, end->calls[0].args + 4), (std::vector<UINT_PTR>{1, 2, 3, 4}));
  // Without a block the outer override's own record starts the chain; the inner fills the width it left open.
  const PrerenderLineStyle::Call& own = end->calls[1];
  EXPECT_EQ(own.operation, 3);
  EXPECT_EQ(std::vector<UINT_PTR>(own.args, own.args + 5), (std::vector<UINT_PTR>{11, 12, 13, 15, 16}));
  ASSERT_TRUE(own.block);
  EXPECT_EQ(own.record.colour, 0x222222u);
  EXPECT_EQ(own.record.width, 2.0);
  EXPECT_EQ(own.record.flags & (OVR_COLOUR | OVR_WIDTH), DWORD{OVR_COLOUR | OVR_WIDTH});
  // A caller's block keeps what it flagged; the caller's own block is not written.
  const PrerenderLineStyle::Call& given = end->calls[2];
  EXPECT_EQ(std::vector<UINT_PTR>(given.args, given.args + 5), (std::vector<UINT_PTR>{21, 22, 23, 25, 26}));
  EXPECT_EQ(given.record.width, 7.0);
  EXPECT_EQ(given.record.colour, 0x222222u);
  EXPECT_EQ(block.record.flags, DWORD{OVR_WIDTH});

  // The stand-in engine offers no class extension: asked for one, the styles answer none and stay usable.
  for (const IID* iid : {&IID_OverrideExtension1, &IID_OverrideExtension2}) {
    void* extension = reinterpret_cast<void*>(1);
    EXPECT_EQ(outer->QueryInterface(*iid, &extension), E_NOINTERFACE);
    EXPECT_EQ(extension, nullptr);
  }
  StyleComPtr<IJStyleSimpleLine> line(NewStyle<IJStyleSimpleLine>(CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine));
  void* extension = reinterpret_cast<void*>(1);
  EXPECT_EQ(line->QueryInterface(IID_OverrideExtension1, &extension), E_NOINTERFACE);
  EXPECT_EQ(extension, nullptr);
  end->Release();
}

// Overrides that name their parents by ID ask each parent whether it prepares records; one whose own parent is
// not at hand yet says no, which is no failure: a chain of them draws without a report. Two that name each
// other fail every drawing, measuring and applying call with E_FAIL, reported once where the depth bound
// tripped, whether the cycle was closed over styles that had drawn before or over new ones.
TEST_F(RealLibraryLineTest, OverridesNamingEachOtherFailEachCallWithOneReport) {
  for (const bool drawnBefore : {true, false}) {
    SCOPED_TRACE(drawnBefore ? "closed after drawing as a chain" : "closed at once");
    TestLibrary library;
    StyleComPtr<IJStyleLineSolid> solid(NewSolid(0x0000FF));
    StyleComPtr<IJStyleOverride> a(NewStyle<IJStyleOverride>(CLSID_JStyleOverride, IID_IJStyleOverride));
    StyleComPtr<IJStyleOverride> b(NewStyle<IJStyleOverride>(CLSID_JStyleOverride, IID_IJStyleOverride));
    const DWORD solidID = Add(library, solid.Get(), L"Solid");
    const DWORD idA = Add(library, a.Get(), L"A"), idB = Add(library, b.Get(), L"B");
    StyleComPtr<IJStyleSetup2d> setupA = Query<IJStyleSetup2d>(a.Get(), IID_IJStyleSetup2d);
    StyleComPtr<IJStyleSetup2d> setupB = Query<IJStyleSetup2d>(b.Get(), IID_IJStyleSetup2d);
    if (drawnBefore) {
      ASSERT_EQ(setupB->SetReferencedStyleID(solidID), S_OK);
      ASSERT_EQ(setupA->SetReferencedStyleID(idB), S_OK);
      EXPECT_EQ(Draw(a.Get()).polylines, Draw(solid.Get()).polylines);
      EXPECT_THAT(stylesrv_test::Reports(), ::testing::IsEmpty());
    }
    ASSERT_EQ(setupA->SetReferencedStyleID(idB), S_OK);
    ASSERT_EQ(setupB->SetReferencedStyleID(idA), S_OK);

    StyleComPtr<IJStyleRender> render = Query<IJStyleRender>(a.Get(), IID_IJStyleRender);
    TestTarget target;
    TestGeometry geometry{{0, 0, 0, 10, 0, 0}};
    const RenderContextScales context = UnitScales();
    const tagStyleOverride given = EmptyRecord();
    const struct {
      const char* what;
      std::function<HRESULT()> call;
    } calls[] = {
        {"draw", [&] { return render->RenderWithContext(&geometry.record, target.target(), &context, nullptr, &given,
                                                        nullptr); }},
        {"draw plain", [&] { return render->RenderWithContext(&geometry.record, target.target(), &context, nullptr,
                                                              nullptr, nullptr); }},
        {"range", [&] {
           StyleExtent extent{};
           return render->GetRangeWithContext(&extent, &context, nullptr, &given);
         }},
        {"extent", [&] {
           StyleExtent extent{};
           return render->GetExtentDelta(&extent);
         }},
        {"apply", [&] {
           tagStyleOverride record = EmptyRecord();
           return render->ApplyToGraphic(&record);
         }},
    };
    for (const auto& c : calls) {
      SCOPED_TRACE(c.what);
      stylesrv_test::ClearReports();
      EXPECT_EQ(c.call(), E_FAIL);
      EXPECT_THAT(stylesrv_test::Reports(), ::testing::ElementsAre(stylesrv_test::IsReport(
                                                E_FAIL, StyleCallDepth::kReportSource, StyleCallDepth::kReportLine)));
    }
    stylesrv_test::ClearReports();
    // Each caches the other: the cycle is cut before the library goes.
    setupA->SetReferencedStyleID(0);
    setupB->SetReferencedStyleID(0);
  }
}

// Each entry of a multiplexer in a library holds one use of its style; a shrinking count and emptying the list give
// the dropped entries' uses back, and an entry cleared before gives nothing back a second time.
TEST_F(RealLibraryLineTest, MultiplexerEntriesHoldOneUseEach) {
  TestLibrary library;
  const DWORD a = library.AddLine(L"A", 1);
  const DWORD b = library.AddLine(L"B", 2);
  const DWORD c = library.AddLine(L"C", 3);
  StyleComPtr<IJStyleMultiplexer> mux(NewStyle<IJStyleMultiplexer>(CLSID_JStyleMultiplexer, IID_IJStyleMultiplexer));
  Add(library, mux.Get(), L"Mux");
  ASSERT_EQ(mux->SetCount(5), S_OK);
  const DWORD ids[] = {a, b, c, c, a};
  for (LONG i = 0; i < 5; ++i) ASSERT_EQ(mux->SetEntryID(i, ids[i]), S_OK);
  const auto uses = [&] { return std::vector<DWORD>{library.UseCount(a), library.UseCount(b), library.UseCount(c)}; };
  EXPECT_EQ(uses(), (std::vector<DWORD>{2, 1, 2}));
  ASSERT_EQ(mux->SetEntryID(4, b), S_OK);
  EXPECT_EQ(uses(), (std::vector<DWORD>{1, 2, 2}));
  ASSERT_EQ(mux->SetEntryID(3, 0), S_OK);
  EXPECT_EQ(uses(), (std::vector<DWORD>{1, 2, 1}));
  ASSERT_EQ(mux->SetCount(3), S_OK);
  EXPECT_EQ(uses(), (std::vector<DWORD>{1, 1, 1}));
  EXPECT_EQ(Draw(mux.Get()).colours, (std::vector<DWORD>{1, 2, 3}));
  ASSERT_EQ(mux->RemoveAll(), S_OK);
  EXPECT_EQ(uses(), (std::vector<DWORD>{0, 0, 0}));
}

// A multiplexer copied into another library refers to copies of its entries' styles there, one use each, and
// draws as the original does; an entry that names no style stays empty.
TEST_F(RealLibraryLineTest, CopiedMultiplexerRefersToCopiesOfItsEntries) {
  TestLibrary source;
  TestLibrary target;
  target.AddLine(L"Filler", 9);
  const DWORD grey = source.AddLine(L"Grey", 0x808080);
  const DWORD blue = source.AddLine(L"Blue", 0xFF0000);
  StyleComPtr<IJStyleMultiplexer> mux(NewStyle<IJStyleMultiplexer>(CLSID_JStyleMultiplexer, IID_IJStyleMultiplexer));
  Add(source, mux.Get(), L"Both");
  ASSERT_EQ(mux->SetCount(3), S_OK);
  ASSERT_EQ(mux->SetEntryID(0, grey), S_OK);
  ASSERT_EQ(mux->SetEntryID(2, blue), S_OK);
  const DWORD copyID = CopyInto(mux.Get(), source, target);
  StyleComPtr<IJStyleMultiplexer> copy = StyleOf<IJStyleMultiplexer>(target, copyID, IID_IJStyleMultiplexer);
  const DWORD greyThere = Named(target, L"Grey");
  const DWORD blueThere = Named(target, L"Blue");
  EXPECT_NE(greyThere, grey);
  EXPECT_EQ(EntryIDs(copy.Get()), (std::vector<DWORD>{greyThere, 0, blueThere}));
  EXPECT_EQ(target.UseCount(greyThere), 1u);
  EXPECT_EQ(target.UseCount(blueThere), 1u);
  EXPECT_EQ(source.UseCount(grey), 1u);
  EXPECT_EQ(Draw(copy.Get()).colours, Draw(mux.Get()).colours);
  EXPECT_EQ(Draw(copy.Get()).colours, (std::vector<DWORD>{0x808080, 0xFF0000}));
}

// A copy made outside any library holds its entries' styles before it has IDs for them; copied into a library it
// takes them along all the same.
TEST_F(RealLibraryLineTest, LooseCopyOfAMultiplexerTakesItsStylesIntoALibrary) {
  TestLibrary source;
  TestLibrary target;
  const DWORD grey = source.AddLine(L"Grey", 0x808080);
  StyleComPtr<IJStyleMultiplexer> mux(NewStyle<IJStyleMultiplexer>(CLSID_JStyleMultiplexer, IID_IJStyleMultiplexer));
  ASSERT_EQ(Query<IJManageStyle2>(mux.Get(), IID_IJManageStyle2)->SetLibrarian(source.librarian), S_OK);
  ASSERT_EQ(mux->SetCount(1), S_OK);
  ASSERT_EQ(mux->SetEntryID(0, grey), S_OK);
  StyleComPtr<IJStyleMultiplexer> loose(NewStyle<IJStyleMultiplexer>(CLSID_JStyleMultiplexer, IID_IJStyleMultiplexer));
  ASSERT_EQ(Query<IJManageStyle2>(loose.Get(), IID_IJManageStyle2)->CopyFrom(mux.Get(), 0), S_OK);
  const DWORD copyID = CopyInto(loose.Get(), source, target);
  StyleComPtr<IJStyleMultiplexer> copy = StyleOf<IJStyleMultiplexer>(target, copyID, IID_IJStyleMultiplexer);
  EXPECT_EQ(EntryIDs(copy.Get()), std::vector<DWORD>{Named(target, L"Grey")});
  EXPECT_EQ(Draw(copy.Get()).colours, std::vector<DWORD>{0x808080});
}

}  // namespace

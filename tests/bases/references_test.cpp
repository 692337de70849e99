// References to other styles by ID: use counts at the owner, resolution through the owner, owners changing,
// and what a style uses along its chain.
#include "tests/bases/test_styles.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using stylesrv_test::IsReport;
using stylesrv_test::Reports;

namespace {

class ReferencesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stylesrv_test::ClearReports();
    library = RecordingLibrarian::Create();
  }
  void TearDown() override {
    for (TestLineStyle* style : styles) style->Release();
    library->Release();
  }
  // A style held by the test and added to the library; answers its ID.
  DWORD AddStyle(TestLineStyle** out = nullptr, const wchar_t* name = nullptr) {
    TestLineStyle* style = TestLineStyle::Create();
    styles.push_back(style);
    if (out) *out = style;
    return library->Add(style->Unknown(), name);
  }
  std::string Id(const char* operation, DWORD id) { return std::string(operation) + "(" + std::to_string(id) + ")"; }

  RecordingLibrarian* library = nullptr;
  std::vector<TestLineStyle*> styles;
};

TEST_F(ReferencesTest, WithoutOwnerOnlyNoneAndInvalidIDsAreAccepted) {
  TestLineStyle* style = TestLineStyle::Create();
  DWORD field = 3;
  EXPECT_EQ(style->SetStyleRefID(&field, 5), E_FAIL);
  EXPECT_EQ(field, 3u);
  EXPECT_EQ(style->SetStyleRefID(&field, kInvalidStyleID), S_OK);
  EXPECT_EQ(field, kInvalidStyleID);
  EXPECT_EQ(style->Setup()->SetReferencedStyleID(5), E_FAIL);
  EXPECT_EQ(style->ReferencedID(), 0u);
  EXPECT_EQ(style->Setup()->SetReferencedStyleID(kInvalidStyleID), S_OK);
  EXPECT_EQ(style->Setup()->SetReferencedStyleID(0), S_OK);
  EXPECT_EQ(style->ReferencedID(), 0u);

  // A refused ID leaves a reference set by pointer as it was.
  TestLineStyle* referenced = TestLineStyle::Create();
  style->Setup()->SetReferencedStyle(referenced->RenderItf());
  EXPECT_EQ(style->Setup()->SetReferencedStyleID(5), E_FAIL);
  EXPECT_EQ(style->ReferencedID(), kInvalidStyleID);
  EXPECT_EQ(style->CachedReferencedStyle(), referenced->RenderItf());
  style->Release();
  referenced->Release();
}

// The new use comes first, so that a style referred to under both IDs never drops to zero uses in between.
TEST_F(ReferencesTest, RepointingAddsTheNewUseBeforeReleasingTheOld) {
  TestLineStyle* style = nullptr;
  AddStyle(&style);
  for (int i = 0; i < 7; ++i) AddStyle();
  const DWORD five = 5, seven = 7;
  library->log.clear();
  ASSERT_EQ(style->Setup()->SetReferencedStyleID(five), S_OK);
  EXPECT_THAT(library->log, ElementsAre(Id("AddRefStyleID", five)));
  library->log.clear();
  ASSERT_EQ(style->Setup()->SetReferencedStyleID(seven), S_OK);
  EXPECT_THAT(library->log, ElementsAre(Id("AddRefStyleID", seven), Id("ReleaseStyleID", five)));
  EXPECT_EQ(library->UseCount(five), 0u);
  EXPECT_EQ(library->UseCount(seven), 1u);
  library->log.clear();
  ASSERT_EQ(style->Setup()->SetReferencedStyleID(seven), S_OK);
  EXPECT_THAT(library->log, IsEmpty());
  EXPECT_EQ(library->UseCount(seven), 1u);

  // Releasing the style's references gives the use back.
  EXPECT_EQ(style->Manage()->ReleaseStyleRefs(0), S_OK);
  EXPECT_EQ(library->UseCount(seven), 0u);
  EXPECT_EQ(style->ReferencedID(), 0u);
}

// A reference set by pointer before the style has an owner has no ID; the owner gives it one and counts it.
TEST_F(ReferencesTest, PointerReferenceGetsItsIDWhenTheStyleGetsAnOwner) {
  TestLineStyle* referenced = nullptr;
  const DWORD refID = AddStyle(&referenced);
  TestLineStyle* style = TestLineStyle::Create();
  styles.push_back(style);
  ASSERT_EQ(style->Setup()->SetReferencedStyle(referenced->RenderItf()), S_OK);
  DWORD id = 0;
  ASSERT_EQ(style->Setup()->GetReferencedStyleID(&id), S_OK);
  EXPECT_EQ(id, kInvalidStyleID);
  library->Add(style->Unknown());
  ASSERT_EQ(style->Setup()->GetReferencedStyleID(&id), S_OK);
  EXPECT_EQ(id, refID);
  EXPECT_EQ(library->UseCount(refID), 1u);
  EXPECT_EQ(style->CachedReferencedStyle(), referenced->RenderItf());
}

TEST_F(ReferencesTest, AStyleUsesEveryStyleAlongItsChain) {
  TestLineStyle *a = nullptr, *b = nullptr, *c = nullptr;
  const DWORD idA = AddStyle(&a), idB = AddStyle(&b), idC = AddStyle(&c), idD = AddStyle();
  ASSERT_EQ(a->Setup()->SetReferencedStyleID(idB), S_OK);
  ASSERT_EQ(b->Setup()->SetReferencedStyleID(idC), S_OK);
  library->log.clear();
  EXPECT_TRUE(a->User()->UsesStyleID(idC));
  EXPECT_THAT(library->log, ElementsAre(Id("GetStyle", idB)));  // B resolved on the way; C needs no object
  EXPECT_TRUE(a->User()->UsesStyleID(idB));
  EXPECT_FALSE(a->User()->UsesStyleID(idD));
  EXPECT_FALSE(c->User()->UsesStyleID(idA));
  // The chain is followed through objects, so a style that cannot be resolved ends it.
  b->Setup()->SetReferencedStyleID(0);
  EXPECT_FALSE(a->User()->UsesStyleID(idC));
}

std::vector<DWORD> g_enumerated;
HRESULT g_enumerateAnswer = S_OK;
HRESULT WINAPI Enumerate(DWORD id) {
  g_enumerated.push_back(id);
  return g_enumerateAnswer;
}

TEST_F(ReferencesTest, EnumStyleRefsCallsBackWithTheReferencedIDAlsoWhenZero) {
  TestLineStyle* style = nullptr;
  AddStyle(&style);
  const DWORD other = AddStyle();
  g_enumerated.clear();
  g_enumerateAnswer = S_OK;
  EXPECT_EQ(style->Manage()->EnumStyleRefs(&Enumerate), S_OK);
  style->Setup()->SetReferencedStyleID(other);
  EXPECT_EQ(style->Manage()->EnumStyleRefs(&Enumerate), S_OK);
  EXPECT_THAT(g_enumerated, ElementsAre(0u, other));
  EXPECT_EQ(style->Manage()->EnumStyleRefs(nullptr), E_INVALIDARG);
  g_enumerateAnswer = E_ABORT;
  EXPECT_EQ(style->Manage()->EnumStyleRefs(&Enumerate), E_ABORT);
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_ABORT, "ustylr2d", 1086)));
}

// Changing owners moves the use: released at the old library, added at the new one for the style's ID there.
TEST_F(ReferencesTest, NewOwnerTakesOverTheUseOfTheReferencedStyle) {
  TestLineStyle* style = nullptr;
  TestLineStyle* referenced = nullptr;
  AddStyle(&style);
  const DWORD refID = AddStyle(&referenced, L"Base");
  ASSERT_EQ(style->Setup()->SetReferencedStyleID(refID), S_OK);
  RecordingLibrarian* other = RecordingLibrarian::Create();
  TestLineStyle* otherBase = TestLineStyle::Create();
  const DWORD otherBaseID = other->Add(otherBase->Unknown(), L"Base");
  TestLineStyle* filler = TestLineStyle::Create();
  other->Add(filler->Unknown());  // so that the IDs of the two libraries differ
  filler->Release();

  ASSERT_EQ(style->Manage()->SetLibrarian(other->Librarian()), S_OK);
  EXPECT_EQ(library->UseCount(refID), 0u);
  EXPECT_EQ(other->UseCount(otherBaseID), 1u);
  EXPECT_EQ(style->ReferencedID(), otherBaseID);

  // Back again, so that the style's owner outlives it.
  ASSERT_EQ(style->Manage()->SetLibrarian(library->Librarian()), S_OK);
  EXPECT_EQ(other->UseCount(otherBaseID), 0u);
  EXPECT_EQ(library->UseCount(refID), 1u);
  otherBase->Release();
  other->Release();
}

TEST_F(ReferencesTest, ChangeOfTheReferencedStyleDropsTheCache) {
  TestLineStyle* style = nullptr;
  AddStyle(&style);
  const DWORD refID = AddStyle();
  style->Setup()->SetReferencedStyleID(refID);
  IJStyleRender* resolved = nullptr;
  ASSERT_EQ(style->Setup()->GetReferencedStyle(&resolved), S_OK);
  ASSERT_NE(resolved, nullptr);
  resolved->Release();
  EXPECT_EQ(style->Manage()->OnStyleChanged(refID + 1, 0), S_FALSE);
  EXPECT_EQ(style->CachedReferencedStyle(), resolved);
  EXPECT_EQ(style->Manage()->OnStyleChanged(refID, 0), S_OK);
  EXPECT_EQ(style->CachedReferencedStyle(), nullptr);
  EXPECT_EQ(style->ReferencedID(), refID);
  EXPECT_EQ(style->ChangeWord(), 0u);
}

TEST_F(ReferencesTest, UnresolvableReferenceIsReportedAndDrawsNothing) {
  TestLineStyle* style = nullptr;
  AddStyle(&style);
  const DWORD refID = AddStyle();
  style->Setup()->SetReferencedStyleID(refID);
  library->failures["GetStyle"] = E_OUTOFMEMORY;
  IJStyleRender* resolved = reinterpret_cast<IJStyleRender*>(1);
  EXPECT_EQ(style->Setup()->GetReferencedStyle(&resolved), S_OK);
  EXPECT_EQ(resolved, nullptr);
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_OUTOFMEMORY, "ustylr2d", 2096), IsReport(E_OUTOFMEMORY, "ustylr2d", 1161)));
  TestTarget target;
  TestGeometry line({0, 0, 0, 1, 0, 0});
  RenderContextScales context = Scales(1, 1, 1);
  EXPECT_EQ(style->RenderItf()->RenderWithContext(&line.record, target.target(), &context, nullptr, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(style->renders, 1);
}

// A style without the interface is refused: the reference keeps its ID, its use and the style it held.
TEST_F(ReferencesTest, ReferenceByInterfaceKeepsItsStyleWhenTheNewOneLacksIt) {
  TestLineStyle* style = nullptr;
  TestLineStyle* first = nullptr;
  AddStyle(&style);
  const DWORD firstID = AddStyle(&first);
  TestParaStyle* para = TestParaStyle::Create();
  DWORD id = 0;
  IUnknown* pointer = nullptr;
  ASSERT_EQ(style->SetStyleRefQI(&id, &pointer, first->Unknown(), IID_IJStyleRender), S_OK);
  EXPECT_EQ(id, firstID);
  EXPECT_EQ(pointer, static_cast<IUnknown*>(first->RenderItf()));
  EXPECT_EQ(style->SetStyleRefQI(&id, &pointer, para->Unknown(), IID_IJStyleRender), E_NOINTERFACE);
  EXPECT_EQ(id, firstID);
  EXPECT_EQ(pointer, static_cast<IUnknown*>(first->RenderItf()));
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_NOINTERFACE, "STYLEBAS", 2078)));
  EXPECT_EQ(library->UseCount(firstID), 1u);
  EXPECT_EQ(style->SetStyleRefPtr(&id, &pointer, nullptr), S_OK);
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(pointer, nullptr);
  EXPECT_EQ(library->UseCount(firstID), 0u);
  para->Release();
}

}  // namespace

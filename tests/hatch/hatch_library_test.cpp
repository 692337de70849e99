// The hatch fill inside the real style library: its families' dash types as library references, whose use
// counts stay exact through setting, replacing, releasing, merging, cloning, copying to another library and
// moving to another owner.
#include "tests/dash/dash_fixtures.h"
#include "tests/hatch/hatch_fixtures.h"

using styllib_test::IdentityOf;
using styllib_test::TestLibrary;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

std::vector<DWORD> g_enumerated;
HRESULT WINAPI Enumerate(DWORD id) {
  g_enumerated.push_back(id);
  return S_OK;
}

class HatchLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterHatchVersions();
    stylesrv_test::ClearReports();
  }
  // Nothing goes wrong on the way: a failure reported and swallowed would hide a lost reference.
  void TearDown() override { EXPECT_THAT(stylesrv_test::Reports(), IsEmpty()); }

  static DWORD Named(TestLibrary& library, const wchar_t* name) {
    DWORD id = 0;
    EXPECT_EQ(library->FindStyleIDByName(name, &STYLETYPE_Dash, &id), S_OK);
    return id;
  }
  // The library's object of an ID (the library holds it).
  static IUnknown* ObjectOf(TestLibrary& library, DWORD id) {
    StyleComPtr<IUnknown> object;
    EXPECT_EQ(library->GetStyle(id, object.Put()), S_OK);
    return IdentityOf(object.Get());
  }
  static IUnknown* DashOf(IJStyleHatchFill* hatch, LONG index) {
    StyleComPtr<IJStyleDashTypeRender> dash;
    EXPECT_EQ(hatch->GetFamilyDashType(index, dash.Put()), S_OK);
    return IdentityOf(dash.Get());
  }
};

TEST_F(HatchLibraryTest, FamilyDashTypesKeepUseCountsExact) {
  TestLibrary library;
  StyleComPtr<IJStyleDashTypeRender> a = NewDash({1, -1});
  StyleComPtr<IJStyleDashTypeRender> b = NewDash({2, -1});
  StyleComPtr<IJStyleDashTypeRender> c = NewDash({3, -1});
  const DWORD idA = AddTo(library, a.Get(), L"A", STYLETYPE_Dash);
  const DWORD idB = AddTo(library, b.Get(), L"B", STYLETYPE_Dash);
  ClientLog log;
  TestDashClient* clientStyle = TestDashClient::Create("client", &log);
  const DWORD client = AddTo(library, clientStyle->Unknown(), L"Client", STYLETYPE_Linear);
  clientStyle->Release();
  ASSERT_EQ(Query<IJStyleDashType>(b.Get(), IID_IJStyleDashType)->SetClientIDs(1, &client), S_OK);
  StyleComPtr<IJStyleHatchFill> hatch = NewHatch();
  AddTo(library, hatch.Get(), nullptr, STYLETYPE_HatchFillPattern);

  LONG index = 0;
  HatchFamilyDesc family = Family(0, 1, 0, a.Get());
  ASSERT_EQ(hatch->AddFamily(&family, &index), S_OK);
  ASSERT_EQ(hatch->AddFamily(&family, &index), S_OK);
  EXPECT_THAT(UseCounts(library, {idA, idB}), ElementsAre(2u, 0u));
  ASSERT_EQ(hatch->SetFamilyDashType(0, b.Get()), S_OK);
  ASSERT_EQ(hatch->SetFamilyDashTypeId(1, idB), S_OK);
  EXPECT_THAT(UseCounts(library, {idA, idB}), ElementsAre(0u, 2u));
  ASSERT_EQ(hatch->SetFamilyDashTypeId(1, idA), S_OK);
  EXPECT_THAT(UseCounts(library, {idA, idB}), ElementsAre(1u, 1u));

  StyleComPtr<IJManageStyle2> manage = Query<IJManageStyle2>(hatch.Get(), IID_IJManageStyle2);
  g_enumerated.clear();
  ASSERT_EQ(manage->EnumStyleRefs(Enumerate), S_OK);
  EXPECT_THAT(g_enumerated, ElementsAre(idB, idA, 0u));
  StyleComPtr<IJStyleUser> user = Query<IJStyleUser>(hatch.Get(), IID_IJStyleUser);
  EXPECT_TRUE(user->UsesStyleID(idA));
  EXPECT_TRUE(user->UsesStyleID(client));  // through dash type B
  EXPECT_FALSE(user->UsesStyleID(client + 100));

  // A dash type replaced under its ID is what the family holds next; the use stays with the ID.
  ASSERT_EQ(library->ReplaceStyle(idA, IdentityOf(c.Get())), S_OK);
  EXPECT_EQ(DashOf(hatch.Get(), 1), IdentityOf(c.Get()));
  EXPECT_THAT(DashIDs(hatch.Get()), ElementsAre(idB, idA));
  EXPECT_THAT(UseCounts(library, {idA, idB}), ElementsAre(1u, 1u));

  ASSERT_EQ(manage->ReleaseStyleRefs(0), S_OK);
  EXPECT_THAT(UseCounts(library, {idA, idB}), ElementsAre(0u, 0u));
  EXPECT_THAT(DashIDs(hatch.Get()), ElementsAre(0u, 0u));
}

// A merge takes the source's dash type where the family does not keep its own; a clone holds its dash types
// itself, uses none of the library's counts and compares equal.
TEST_F(HatchLibraryTest, MergeAndCloneHoldExactReferences) {
  TestLibrary library;
  StyleComPtr<IJStyleDashTypeRender> a = NewDash({1, -1});
  StyleComPtr<IJStyleDashTypeRender> b = NewDash({2, -1});
  const DWORD idA = AddTo(library, a.Get(), L"A", STYLETYPE_Dash);
  const DWORD idB = AddTo(library, b.Get(), L"B", STYLETYPE_Dash);
  StyleComPtr<IJStyleHatchFill> mine = NewHatch();
  StyleComPtr<IJStyleHatchFill> theirs = NewHatch();
  AddTo(library, mine.Get(), nullptr, STYLETYPE_HatchFillPattern);
  AddTo(library, theirs.Get(), nullptr, STYLETYPE_HatchFillPattern);
  ASSERT_EQ(SetFamilies(mine.Get(), {Family(1, 1, 0, a.Get()), Family(2, 2, HATCH_KEEP_DASH_TYPE, a.Get()),
                                     Family(0, 3, 0, a.Get())}),
            S_OK);
  ASSERT_EQ(SetFamilies(theirs.Get(), {Family(1, 11, 0, b.Get()), Family(2, 12, 0, b.Get()),
                                       Family(6, 16, 0, b.Get()), Family(0, 10, 0, a.Get())}),
            S_OK);
  EXPECT_THAT(UseCounts(library, {idA, idB}), ElementsAre(4u, 3u));

  ASSERT_EQ(Query<IJManageStyle2>(mine.Get(), IID_IJManageStyle2)->CopyFrom(theirs.Get(), 1), S_OK);
  // Families 1 (B), 2 (A, kept), 6 (B), then the own family without an ID (A).
  EXPECT_THAT(DashIDs(mine.Get()), ElementsAre(idB, idA, idB, idA));
  EXPECT_THAT(UseCounts(library, {idA, idB}), ElementsAre(3u, 5u));

  StyleComPtr<IUnknown> clone;
  ASSERT_EQ(Query<IJPersist>(mine.Get(), IID_IJPersist)->Clone(nullptr, clone.Put()), S_OK);
  StyleComPtr<IJStyleHatchFill> copy = Query<IJStyleHatchFill>(clone.Get(), IID_IJStyleHatchFill);
  EXPECT_EQ(DashOf(copy.Get(), 2), IdentityOf(b.Get()));
  BOOL same = FALSE;
  ASSERT_EQ(Query<IJManageStyle2>(mine.Get(), IID_IJManageStyle2)->IsSameStyle(clone.Get(), &same), S_OK);
  EXPECT_TRUE(same);
  ASSERT_EQ(copy->SetFamilyWidth(3, 0.25 + 1e-6), S_OK);
  ASSERT_EQ(Query<IJManageStyle2>(mine.Get(), IID_IJManageStyle2)->IsSameStyle(clone.Get(), &same), S_OK);
  EXPECT_FALSE(same);
  copy.Reset();
  clone.Reset();
  EXPECT_THAT(UseCounts(library, {idA, idB}), ElementsAre(3u, 5u));
  Query<IJManageStyle2>(theirs.Get(), IID_IJManageStyle2)->ReleaseStyleRefs(0);
  Query<IJManageStyle2>(mine.Get(), IID_IJManageStyle2)->ReleaseStyleRefs(0);
  EXPECT_THAT(UseCounts(library, {idA, idB}), ElementsAre(0u, 0u));
}

// Copied into a second library, the fill's dash types arrive first and the copy refers to them there; moved to
// that library, its uses go from the first to the second.
TEST_F(HatchLibraryTest, CopyAndMoveToAnotherLibraryCarryTheDashTypes) {
  TestLibrary first;
  TestLibrary second;
  second.AddLine(L"Filler");  // the copies' IDs must differ from the originals'
  second.AddLine(L"Filler 2");
  StyleComPtr<IJStyleDashTypeRender> a = NewDash({1, -1});
  StyleComPtr<IJStyleDashTypeRender> b = NewDash({2, -1});
  const DWORD idA = AddTo(first, a.Get(), L"A", STYLETYPE_Dash);
  const DWORD idB = AddTo(first, b.Get(), L"B", STYLETYPE_Dash);
  StyleComPtr<IJStyleHatchFill> hatch = NewHatch();
  AddTo(first, hatch.Get(), L"Hatch", STYLETYPE_HatchFillPattern);
  ASSERT_EQ(SetFamilies(hatch.Get(), {Family(1, 1, 0, a.Get()), Family(2, 2), Family(3, 3, 0, b.Get()),
                                      Family(4, 4, 0, a.Get())}),
            S_OK);

  DWORD copyID = 0;
  ASSERT_EQ(Query<IJManageStyle2>(hatch.Get(), IID_IJManageStyle2)
                ->CopyStyleToLibrary(first.librarian, second.librarian, second.document, &copyID),
            S_OK);
  const DWORD aThere = Named(second, L"A");
  const DWORD bThere = Named(second, L"B");
  ASSERT_NE(aThere, idA);
  StyleComPtr<IUnknown> object;
  ASSERT_EQ(second->GetStyle(copyID, object.Put()), S_OK);
  StyleComPtr<IJStyleHatchFill> copy = Query<IJStyleHatchFill>(object.Get(), IID_IJStyleHatchFill);
  EXPECT_THAT(DashIDs(copy.Get()), ElementsAre(aThere, 0u, bThere, aThere));
  EXPECT_EQ(DashOf(copy.Get(), 3), ObjectOf(second, aThere));
  EXPECT_THAT(UseCounts(second, {aThere, bThere}), ElementsAre(2u, 1u));
  EXPECT_THAT(UseCounts(first, {idA, idB}), ElementsAre(2u, 1u));

  StyleComPtr<IJManageStyle2> manage = Query<IJManageStyle2>(copy.Get(), IID_IJManageStyle2);
  ASSERT_EQ(Query<IJManageStyle2>(hatch.Get(), IID_IJManageStyle2)->SetLibrarian(second.librarian), S_OK);
  EXPECT_THAT(UseCounts(first, {idA, idB}), ElementsAre(0u, 0u));
  EXPECT_THAT(UseCounts(second, {aThere, bThere}), ElementsAre(4u, 2u));
  EXPECT_THAT(DashIDs(hatch.Get()), ElementsAre(aThere, 0u, bThere, aThere));
  Query<IJManageStyle2>(hatch.Get(), IID_IJManageStyle2)->ReleaseStyleRefs(0);
  manage->ReleaseStyleRefs(0);
  EXPECT_EQ(second.UseCount(aThere), 0u);
  Query<IJManageStyle2>(hatch.Get(), IID_IJManageStyle2)->SetLibrarian(nullptr);
}

}  // namespace

// The client list of a dash type: client styles kept by style ID with their uses in the owner's library,
// resolved through the owner, compared, moved between owners and libraries, replaced, and asked for extents.
#include "tests/dash/dash_fixtures.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using stylesrv_test::IsReport;
using stylesrv_test::Reports;

namespace {

std::vector<DWORD> g_enumerated;

HRESULT WINAPI CollectStyleRef(DWORD id) {
  g_enumerated.push_back(id);
  return S_OK;
}

class DashClientsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stylesrv_test::ClearReports();
    library = RecordingLibrarian::Create();
  }
  void TearDown() override {
    for (TestDashClient* client : clients) client->Release();
    library->Release();
  }
  // A client held by the test and added to the library.
  TestDashClient* AddClient(const char* name, DWORD* id = nullptr, RecordingLibrarian* to = nullptr) {
    TestDashClient* client = TestDashClient::Create(name, &log);
    clients.push_back(client);
    const DWORD added = (to ? to : library)->Add(client->Unknown());
    if (id) *id = added;
    return client;
  }

  RecordingLibrarian* library = nullptr;
  ClientLog log;
  std::vector<TestDashClient*> clients;
};

TEST_F(DashClientsTest, NewDashTypeHasNoClientsAndTenEmptyIDs) {
  DashType dash;
  EXPECT_EQ(dash.ClientCount(), 0u);
  DWORD ids[12] = {7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7};
  EXPECT_EQ(dash.list->GetClientIDs(2, ids), S_FALSE);
  EXPECT_THAT(std::vector<DWORD>(ids, ids + 3), ElementsAre(0u, 0u, 7u));
  EXPECT_EQ(dash.list->GetClientIDs(12, ids), S_OK);
  EXPECT_EQ(ids[9], 0u);
  EXPECT_EQ(ids[10], 7u);
  EXPECT_EQ(dash.list->GetClientCount(nullptr), E_INVALIDARG);
}

TEST_F(DashClientsTest, ClientsHoldOneUseEachUntilTheirReferencesGo) {
  DWORD idA = 0, idB = 0;
  TestDashClient* a = AddClient("a", &idA);
  TestDashClient* b = AddClient("b", &idB);
  DashType dash;
  library->Add(dash.unknown);
  IJStyleDashTypeClient* list[] = {a->Client(), b->Client()};
  ASSERT_EQ(dash.list->SetClients(2, list), S_OK);
  EXPECT_EQ(dash.ClientCount(), 2u);
  EXPECT_THAT(dash.ClientIDs(2), ElementsAre(idA, idB));
  EXPECT_EQ(library->UseCount(idA), 1u);
  EXPECT_EQ(library->UseCount(idB), 1u);
  // The ID array now holds exactly the clients.
  DWORD two[2] = {};
  EXPECT_EQ(dash.list->GetClientIDs(2, two), S_OK);

  // Setting the list again keeps one use per reference: a dropped client gives its use back.
  IJStyleDashTypeClient* onlyB[] = {b->Client()};
  ASSERT_EQ(dash.list->SetClients(1, onlyB), S_OK);
  EXPECT_EQ(library->UseCount(idA), 0u);
  EXPECT_EQ(library->UseCount(idB), 1u);
  ASSERT_EQ(dash.list->SetClients(2, list), S_OK);
  EXPECT_EQ(library->UseCount(idA), 1u);
  EXPECT_EQ(library->UseCount(idB), 1u);

  g_enumerated.clear();
  EXPECT_EQ(dash.manage->EnumStyleRefs(&CollectStyleRef), S_OK);
  EXPECT_THAT(g_enumerated, ElementsAre(idA, idB));

  EXPECT_EQ(dash.manage->ReleaseStyleRefs(0), S_OK);
  EXPECT_EQ(library->UseCount(idA), 0u);
  EXPECT_EQ(library->UseCount(idB), 0u);
  EXPECT_THAT(Reports(), IsEmpty());
}

TEST_F(DashClientsTest, SettingFewerIDsChangesOnlyThoseAndKeepsTheCount) {
  DWORD ids[4] = {};
  for (int i = 0; i < 4; ++i) AddClient("c", &ids[i]);
  DashType dash;
  library->Add(dash.unknown);
  ASSERT_EQ(dash.list->SetClientIDs(3, ids), S_OK);
  ASSERT_EQ(library->UseCount(ids[0]), 1u);
  ASSERT_EQ(dash.list->SetClientIDs(1, &ids[3]), S_OK);
  EXPECT_EQ(dash.ClientCount(), 3u);
  EXPECT_THAT(dash.ClientIDs(3), ElementsAre(ids[3], ids[1], ids[2]));
  EXPECT_EQ(library->UseCount(ids[0]), 0u);
  EXPECT_EQ(library->UseCount(ids[3]), 1u);

  // Without an owner there is no library to hold the uses: real IDs are refused.
  DashType loose;
  EXPECT_EQ(loose.list->SetClientIDs(1, ids), E_FAIL);
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_FAIL, kDashTypeSource, 1356), IsReport(E_FAIL, kDashTypeSource, 791)));
  EXPECT_EQ(loose.list->SetClientIDs(-1, ids), E_INVALIDARG);
}

TEST_F(DashClientsTest, ClientListsCompareInOrder) {
  TestDashClient* a = AddClient("a");
  TestDashClient* b = AddClient("b");
  a->value = 1;
  b->value = 2;
  DashType one, two;
  library->Add(one.unknown);
  library->Add(two.unknown);
  IJStyleDashTypeClient* ab[] = {a->Client(), b->Client()};
  IJStyleDashTypeClient* ba[] = {b->Client(), a->Client()};
  ASSERT_EQ(one.Set({4, -2}), S_OK);
  ASSERT_EQ(two.Set({4, -2}), S_OK);
  ASSERT_EQ(one.list->SetClients(2, ab), S_OK);
  ASSERT_EQ(two.list->SetClients(2, ab), S_OK);
  BOOL same = FALSE;
  EXPECT_EQ(one.manage->IsSameStyle(two.unknown, &same), S_OK);
  EXPECT_TRUE(same);
  ASSERT_EQ(two.list->SetClients(2, ba), S_OK);
  EXPECT_EQ(one.manage->IsSameStyle(two.unknown, &same), S_OK);
  EXPECT_FALSE(same);
  ASSERT_EQ(two.list->SetClients(1, ab), S_OK);
  EXPECT_EQ(one.manage->IsSameStyle(two.unknown, &same), S_OK);
  EXPECT_FALSE(same);

  // Different client objects that are equal styles make equal dash types.
  TestDashClient* a2 = AddClient("a2");
  a2->value = 1;
  IJStyleDashTypeClient* a2b[] = {a2->Client(), b->Client()};
  ASSERT_EQ(two.list->SetClients(2, a2b), S_OK);
  EXPECT_EQ(one.manage->IsSameStyle(two.unknown, &same), S_OK);
  EXPECT_TRUE(same);
  a2->value = 3;
  EXPECT_EQ(one.manage->IsSameStyle(two.unknown, &same), S_OK);
  EXPECT_FALSE(same);
}

TEST_F(DashClientsTest, DashTypeUsesItsClientsAndWhatTheyUse) {
  DWORD idA = 0, idUsed = 0, idOther = 0;
  TestDashClient* a = AddClient("a", &idA);
  TestDashClient* used = AddClient("used", &idUsed);
  AddClient("other", &idOther);
  a->Setup()->SetReferencedStyle(used->Unknown());
  DashType dash;
  library->Add(dash.unknown);
  ASSERT_EQ(dash.list->SetClientIDs(1, &idA), S_OK);
  IJStyleUser* user = nullptr;
  ASSERT_EQ(dash.unknown->QueryInterface(IID_IJStyleUser, reinterpret_cast<void**>(&user)), S_OK);
  EXPECT_TRUE(user->UsesStyleID(idA));
  EXPECT_TRUE(user->UsesStyleID(idUsed));
  EXPECT_FALSE(user->UsesStyleID(idOther));
  user->Release();
  a->Setup()->SetReferencedStyle(nullptr);
}

TEST_F(DashClientsTest, NewOwnerTakesTheClientsUses) {
  DWORD idA = 0;
  TestDashClient* a = AddClient("a", &idA);
  DashType dash;
  library->Add(dash.unknown);
  ASSERT_EQ(dash.list->SetClientIDs(1, &idA), S_OK);
  ASSERT_EQ(library->UseCount(idA), 1u);

  RecordingLibrarian* other = RecordingLibrarian::Create();
  const DWORD idInOther = other->Add(a->Unknown());
  ASSERT_EQ(dash.manage->SetLibrarian(other->Librarian()), S_OK);
  EXPECT_EQ(library->UseCount(idA), 0u);
  EXPECT_EQ(other->UseCount(idInOther), 1u);
  EXPECT_THAT(dash.ClientIDs(1), ElementsAre(idInOther));
  // Leaving the library gives the use back there too.
  ASSERT_EQ(dash.manage->SetLibrarian(nullptr), S_OK);
  EXPECT_EQ(other->UseCount(idInOther), 0u);
  other->Release();
}

TEST_F(DashClientsTest, CopyToAnotherLibraryCopiesTheClientsFirst) {
  DWORD idA = 0;
  TestDashClient* a = AddClient("a", &idA);
  a->value = 5;
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}), S_OK);
  library->Add(dash.unknown);
  ASSERT_EQ(dash.list->SetClientIDs(1, &idA), S_OK);

  RecordingLibrarian* target = RecordingLibrarian::Create();
  DWORD newID = 0;
  ASSERT_EQ(dash.manage->CopyStyleToLibrary(library->Librarian(), target->Librarian(), nullptr, &newID), S_OK);
  ASSERT_EQ(target->Count(), 2u);  // the client's copy, then the dash type's
  EXPECT_EQ(newID, 2u);
  DashType copy(target->At(newID).object);
  copy.unknown->AddRef();
  EXPECT_EQ(copy.ClientCount(), 1u);
  EXPECT_THAT(copy.ClientIDs(1), ElementsAre(1u));
  EXPECT_EQ(target->UseCount(1), 1u);
  EXPECT_EQ(library->UseCount(idA), 1u);
  IJStyleDashTypeClient* copied = nullptr;
  ASSERT_EQ(copy.list->GetClients(1, &copied), S_OK);
  EXPECT_EQ(AsStyle<TestDashClient>(target->At(1).object)->Client(), copied);
  EXPECT_EQ(AsStyle<TestDashClient>(target->At(1).object)->value, 5);
  copied->Release();
  copy.manage->ReleaseStyleRefs(0);
  dash.manage->ReleaseStyleRefs(0);
  target->Release();
}

TEST_F(DashClientsTest, ChangedClientStyleReplacesTheCachedOne) {
  DWORD idA = 0;
  AddClient("a", &idA);
  TestDashClient* replacement = AddClient("replacement");
  DashType dash;
  ASSERT_EQ(dash.Set({4, -2}), S_OK);
  library->Add(dash.unknown);
  ASSERT_EQ(dash.list->SetClientIDs(1, &idA), S_OK);

  TestTarget target;
  RenderContextScales context = UnitContext();
  PointRun run({0, 0, 10, 0});
  ASSERT_EQ(Dash(dash, run, target, &context), S_OK);
  ASSERT_FALSE(log.calls.empty());
  EXPECT_EQ(log.calls.front().client, "a");

  EXPECT_EQ(dash.manage->OnStyleChanged(idA, StyleWord(replacement->Unknown())), S_OK);
  log.calls.clear();
  ASSERT_EQ(Dash(dash, run, target, &context), S_OK);
  ASSERT_FALSE(log.calls.empty());
  for (const ClientCall& call : log.calls) EXPECT_EQ(call.client, "replacement");
  // An ID that is no client's changes nothing.
  EXPECT_EQ(dash.manage->OnStyleChanged(idA + 100, StyleWord(replacement->Unknown())), S_FALSE);
  dash.manage->ReleaseStyleRefs(0);
}

TEST_F(DashClientsTest, ExtentsAreTheLargestOfTheClients) {
  TestDashClient* a = AddClient("a");
  TestDashClient* b = AddClient("b");
  a->extent = StyleExtent{3, 1.5, 0.5};
  b->extent = StyleExtent{1, 2.5, 0.25};
  DashType dash;
  library->Add(dash.unknown);
  IJStyleDashTypeClient* list[] = {a->Client(), b->Client()};
  ASSERT_EQ(dash.list->SetClients(2, list), S_OK);
  StyleExtent extent{2, 0.0, 1.0};
  RenderContextScales context = UnitContext();
  EXPECT_EQ(dash.render->GetExtents(&extent, &context, 0, nullptr), S_OK);
  EXPECT_EQ(extent.value, 3u);
  EXPECT_EQ(extent.first, 2.5);
  EXPECT_EQ(extent.second, 1.0);
  dash.manage->ReleaseStyleRefs(0);
}

TEST_F(DashClientsTest, ClientThatCannotBeFetchedIsSkippedByExtents) {
  DWORD idA = 0;
  TestDashClient* a = AddClient("a", &idA);
  a->extent = StyleExtent{4, 1.0, 1.0};
  DashType dash;
  library->Add(dash.unknown);
  ASSERT_EQ(dash.list->SetClientIDs(1, &idA), S_OK);
  StyleExtent extent{1, 0.5, 0.5};
  RenderContextScales context = UnitContext();
  library->failures["GetStyle"] = E_FAIL;
  EXPECT_EQ(dash.render->GetExtents(&extent, &context, 0, nullptr), S_OK);
  EXPECT_EQ(extent.value, 1u);
  EXPECT_EQ(extent.first, 0.5);
  EXPECT_THAT(Reports(), ::testing::Contains(IsReport(E_FAIL, kDashTypeSource, 1082)));
  library->failures.clear();
  EXPECT_EQ(dash.render->GetExtents(&extent, &context, 0, nullptr), S_OK);
  EXPECT_EQ(extent.value, 4u);
  dash.manage->ReleaseStyleRefs(0);
}

}  // namespace

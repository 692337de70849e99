// The style object base: identity, owner, comparison, the shared interfaces.
#include <functional>

#include "tests/bases/test_styles.h"

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using stylesrv_test::IsReport;
using stylesrv_test::Reports;

namespace {

class StyleBaseTest : public ::testing::Test {
 protected:
  void SetUp() override { stylesrv_test::ClearReports(); }
};

TEST_F(StyleBaseTest, NewStyleHasNoIdentityAndAnswersItsInterfacesOnOneObject) {
  TestLineStyle* style = TestLineStyle::Create();
  DWORD id = 0xABCD;
  WORD n = 0;
  EXPECT_EQ(style->Manage()->GetID(nullptr, &id), S_OK);
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(style->Manage()->GetID(&n, nullptr), S_OK);
  EXPECT_EQ(n, 1u);

  void* a = nullptr;
  void* b = nullptr;
  ASSERT_EQ(style->QueryInterface(IID_IJManageStyle, &a), S_OK);
  ASSERT_EQ(style->QueryInterface(IID_IJManageStyle2, &b), S_OK);
  EXPECT_EQ(a, b);
  static_cast<IUnknown*>(a)->Release();
  static_cast<IUnknown*>(b)->Release();
  ASSERT_EQ(style->QueryInterface(IID_IPersist, &a), S_OK);
  EXPECT_EQ(a, static_cast<void*>(style->Persist()));
  static_cast<IUnknown*>(a)->Release();
  for (const IID* iid : {&IID_IJStyleCopy, &IID_IJStyleUser, &IID_IJStyleRender, &IID_IJStyleRender2,
                         &IID_IJStyleSetup2d}) {
    EXPECT_EQ(style->QueryInterface(*iid, &a), S_OK);
    static_cast<IUnknown*>(a)->Release();
  }

  // The category, flag word and ID are called by place in the library's table tests and travel in the records.
  EXPECT_TRUE(style->Manage()->IsFlagWordClear());
  IUnknown* owner = reinterpret_cast<IUnknown*>(1);
  EXPECT_EQ(style->Manage()->GetOwner(&owner), S_OK);
  EXPECT_EQ(owner, nullptr);
  EXPECT_EQ(style->Release(), 0u);
}

TEST_F(StyleBaseTest, PersistInterfaceGivesClassAndImplementation) {
  TestLineStyle* style = TestLineStyle::Create();
  CLSID clsid{};
  EXPECT_EQ(style->Persist()->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_TestLineStyle));
  EXPECT_EQ(style->Persist()->GetImplementation(), static_cast<void*>(static_cast<JStyleBase*>(style)));
  style->Release();
}

TEST_F(StyleBaseTest, IsSameStyleComparesClassThenData) {
  TestLineStyle* a = TestLineStyle::Create(0xFF, 1.0);
  TestLineStyle* b = TestLineStyle::Create(0xFF, 1.0);
  TestLineStyle* c = TestLineStyle::Create(0xFF00, 1.0);
  TestParaStyle* para = TestParaStyle::Create();
  RecordingLibrarian* notAStyle = RecordingLibrarian::Create();
  BOOL same = 7;
  EXPECT_EQ(a->Manage()->IsSameStyle(b->Manage(), &same), S_OK);
  EXPECT_TRUE(same);
  EXPECT_EQ(a->Manage()->IsSameStyle(a->RenderItf(), &same), S_OK);
  EXPECT_TRUE(same);
  EXPECT_EQ(a->Manage()->IsSameStyle(c->Unknown(), &same), S_OK);
  EXPECT_FALSE(same);
  same = TRUE;
  EXPECT_EQ(a->Manage()->IsSameStyle(para->Unknown(), &same), S_OK);
  EXPECT_FALSE(same);
  same = TRUE;
  EXPECT_EQ(a->Manage()->IsSameStyle(notAStyle->Librarian(), &same), S_OK);
  EXPECT_FALSE(same);
  notAStyle->Release();
  para->Release();
  c->Release();
  b->Release();
  a->Release();
}

// Two equal-valued styles of one library are the same style unless one is persisted under a name; the second
// style's name is asked only when the first has none.
TEST_F(StyleBaseTest, PersistedNamedStyleNeverEqualsAnother) {
  RecordingLibrarian* library = RecordingLibrarian::Create();
  TestLineStyle* named = TestLineStyle::Create();
  TestLineStyle* plain = TestLineStyle::Create();
  TestLineStyle* plain2 = TestLineStyle::Create();
  const DWORD namedID = library->Add(named->Unknown(), L"Thick", 0, true);
  const DWORD plainID = library->Add(plain->Unknown());
  const DWORD plain2ID = library->Add(plain2->Unknown());
  BOOL same = TRUE;

  library->log.clear();
  EXPECT_EQ(named->Manage()->IsSameStyle(plain->Unknown(), &same), S_OK);
  EXPECT_FALSE(same);
  EXPECT_THAT(library->log, ElementsAre("GetPersistedStyleName(" + std::to_string(namedID) + ")"));

  library->log.clear();
  EXPECT_EQ(plain->Manage()->IsSameStyle(named->Unknown(), &same), S_OK);
  EXPECT_FALSE(same);
  EXPECT_THAT(library->log, ElementsAre("GetPersistedStyleName(" + std::to_string(plainID) + ")",
                                        "GetPersistedStyleName(" + std::to_string(namedID) + ")"));

  EXPECT_EQ(plain->Manage()->IsSameStyle(plain2->Unknown(), &same), S_OK);
  EXPECT_TRUE(same);

  // A failing name service is reported and leaves the answer as it stood.
  library->failures["GetPersistedStyleName"] = E_UNEXPECTED;
  stylesrv_test::ClearReports();
  EXPECT_EQ(plain->Manage()->IsSameStyle(plain2->Unknown(), &same), S_OK);
  EXPECT_TRUE(same);
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_UNEXPECTED, "STYLEBAS", 1307),
                                     IsReport(E_UNEXPECTED, "STYLEBAS", 1329)));
  (void)plain2ID;
  plain2->Release();
  plain->Release();
  named->Release();
  library->Release();
}

TEST_F(StyleBaseTest, SetLibrarianTakesOnlyALibrarianAndNeverCountsIt) {
  RecordingLibrarian* library = RecordingLibrarian::Create();
  RecordingLibrarian* other = RecordingLibrarian::Create();
  TestParaStyle* notALibrarian = TestParaStyle::Create();
  TestLineStyle* style = TestLineStyle::Create();

  ASSERT_EQ(style->Manage()->SetLibrarian(library->Librarian()), S_OK);
  EXPECT_EQ(style->Owner(), static_cast<IUnknown*>(library->Librarian()));
  EXPECT_TRUE(style->OwnerIsLibrarian());
  EXPECT_EQ(library->AddRef(), 2u);  // the owner holds no reference
  library->Release();

  EXPECT_EQ(style->Manage()->SetLibrarian(notALibrarian->Unknown()), E_NOINTERFACE);
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_NOINTERFACE, "STYLEBAS", 712)));
  EXPECT_EQ(style->Owner(), static_cast<IUnknown*>(library->Librarian()));

  IUnknown* owner = nullptr;
  ASSERT_EQ(style->Manage()->GetOwner(&owner), S_OK);
  EXPECT_EQ(owner, static_cast<IUnknown*>(library->Librarian()));
  owner->Release();

  ASSERT_EQ(style->Setup()->SetLibrarian(other->Librarian()), S_OK);
  EXPECT_EQ(style->Owner(), static_cast<IUnknown*>(other->Librarian()));
  ASSERT_EQ(style->Manage()->SetLibrarian(nullptr), S_OK);
  EXPECT_EQ(style->Owner(), nullptr);
  EXPECT_FALSE(style->OwnerIsLibrarian());
  style->Release();
  notALibrarian->Release();
  other->Release();
  library->Release();
}

// A class that makes no copy must not look as if it did.
TEST_F(StyleBaseTest, BaseCloneMakesNothingAndSaysSo) {
  TestParaStyle* style = TestParaStyle::Create();
  IUnknown* out = reinterpret_cast<IUnknown*>(0x1234);
  EXPECT_EQ(style->Persist()->Clone(nullptr, &out), E_NOTIMPL);
  EXPECT_EQ(out, nullptr);

  DWORD newID = 0xDEAD;
  RecordingLibrarian* target = RecordingLibrarian::Create();
  EXPECT_EQ(style->Manage()->CopyStyleToLibrary(nullptr, target->Librarian(), nullptr, &newID), E_NOTIMPL);
  EXPECT_EQ(newID, 0u);
  EXPECT_EQ(target->Count(), 0u);
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_NOTIMPL, "STYLEBAS", 1547), IsReport(E_NOTIMPL, "STYLEBAS", 814)));
  target->Release();
  style->Release();
}

TEST_F(StyleBaseTest, BaseOperationsOfTheManageAndUserInterfaces) {
  TestParaStyle* style = TestParaStyle::Create();
  EXPECT_EQ(style->Manage()->CopyFrom(style->Unknown(), 0), S_OK);
  EXPECT_EQ(style->Manage()->OnStyleChanged(3, 0), S_FALSE);
  EXPECT_EQ(style->Manage()->ReleaseStyleRefs(0), S_OK);

  IJStyleUser* user = nullptr;
  ASSERT_EQ(style->QueryInterface(IID_IJStyleUser, reinterpret_cast<void**>(&user)), S_OK);
  EXPECT_EQ(user->CopyStyleUse(nullptr, nullptr, nullptr, nullptr, 0), E_FAIL);
  DWORD word = 5;
  EXPECT_EQ(user->AnnounceOwner(nullptr, &word), S_OK);
  EXPECT_EQ(word, 5u);
  EXPECT_FALSE(user->UsesStyleID(0));
  EXPECT_FALSE(user->UsesStyleID(3));
  user->Release();
  style->Release();
}

// Every null the bases refuse: the answer, and the reports that say where it arrived (none from Load and Store,
// whose callers report).
TEST_F(StyleBaseTest, NullArgumentsAreRefusedAndReportedWhereTheyArrive) {
  TestLineStyle* line = TestLineStyle::Create();
  TestParaStyle* para = TestParaStyle::Create();
  BOOL same = FALSE;
  IJStyleRender* render = line->RenderItf();
  struct Case {
    const char* what;
    std::function<HRESULT()> call;
    std::vector<std::pair<const char*, int>> reports;
  };
  const Case cases[] = {
      {"GetID", [&] { return line->Manage()->GetID(nullptr, nullptr); }, {{"STYLEBAS", 657}}},
      {"Load", [&] { return line->Persist()->Load(nullptr); }, {}},
      {"Store", [&] { return line->Persist()->Store(nullptr); }, {}},
      {"GetClassID", [&] { return line->Persist()->GetClassID(nullptr); }, {{"STYLEBAS", 320}}},
      {"IsSameStyle of null", [&] { return line->Manage()->IsSameStyle(nullptr, &same); }, {}},
      {"IsSameStyle into null", [&] { return line->Manage()->IsSameStyle(para->Unknown(), nullptr); }, {}},
      {"GetOwner", [&] { return line->Manage()->GetOwner(nullptr); }, {{"STYLEBAS", 1435}, {"STYLEBAS", 682}}},
      {"setup GetOwner", [&] { return line->Setup()->GetOwner(nullptr); }, {{"STYLEBAS", 1435}, {"ustylr2d", 569}}},
      {"CopyFrom", [&] { return para->Manage()->CopyFrom(nullptr, 0); }, {{"STYLEBAS", 1229}}},
      {"render CopyFrom", [&] { return line->Manage()->CopyFrom(nullptr, 0); }, {{"ustylr2d", 889}}},
      {"GetStyleKind", [&] { return render->GetStyleKind(nullptr); }, {{"ustylr2d", 303}}},
      {"GetReferencedStyle", [&] { return render->GetReferencedStyle(nullptr); }, {{"ustylr2d", 333}}},
      {"GetFixedQuery1", [&] { return render->GetFixedQuery1(nullptr); }, {{"ustylr2d", 363}}},
      {"GetFixedQuery2", [&] { return render->GetFixedQuery2(nullptr); }, {{"ustylr2d", 393}}},
      {"GetFixedQuery3", [&] { return render->GetFixedQuery3(0, nullptr); }, {{"ustylr2d", 424}}},
      {"ApplyToGraphic", [&] { return render->ApplyToGraphic(nullptr); }, {{"ustylr2d", 523}}},
      {"setup GetReferencedStyle", [&] { return line->Setup()->GetReferencedStyle(nullptr); }, {{"ustylr2d", 655}}},
      {"setup GetReferencedStyleID", [&] { return line->Setup()->GetReferencedStyleID(nullptr); },
       {{"ustylr2d", 686}}},
  };
  for (const Case& c : cases) {
    stylesrv_test::ClearReports();
    EXPECT_EQ(c.call(), E_INVALIDARG) << c.what;
    if (c.reports.empty()) continue;
    std::vector<::testing::Matcher<PellowReport>> expected;
    for (const auto& [source, at] : c.reports) expected.push_back(IsReport(E_INVALIDARG, source, at));
    EXPECT_THAT(Reports(), ::testing::ElementsAreArray(expected)) << c.what;
  }
  para->Release();
  line->Release();
}

}  // namespace

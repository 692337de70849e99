// A new unnamed "SegmentedStyle" added to a library: the style added, an equal one handed out in its place, and
// every refusal answered as a failure with nothing handed out and nothing left alive.
#include "display/style/stylesrv_clsid.h"
#include "tests/daxutil/daxutil_fixtures.h"

namespace daxutil_test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A class the server does not serve, registered with COM as a host registers its classes; it makes element
// doubles.
constexpr CLSID kHostClass = {0x6C0F3A10, 0x52D1, 0x4E8B, {0x9A, 0x07, 0x31, 0xC4, 0x5E, 0x22, 0x8D, 0x01}};

class HostClassFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
    *out = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    HostStyledElement* made = HostStyledElement::Create();
    const HRESULT hr = made->QueryInterface(iid, out);
    made->Release();
    ++instances;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  int instances = 0;
};

class SegmentedStyleTest : public DocumentServicesTest {
 protected:
  LONG Live() const { return server.internals().GetLiveObjectCount(); }
  HRESULT Add(IJSLLibrarian* librarian, const CLSID& clsid, IUnknown** object, DWORD* id) const {
    return services->AddNewSegmentedStyle(0, librarian, &clsid, object, id);
  }
};

TEST_F(SegmentedStyleTest, AnEqualUnnamedStyleIsHandedOutInsteadOfTheNewOne) {
  TestLibrary library;
  IUnknown* first = nullptr;
  DWORD firstID = 0;
  ASSERT_EQ(Add(library.librarian, CLSID_JStyleSimpleLine, &first, &firstID), S_OK);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(firstID, 0u);
  StyleRecord* record = nullptr;
  ASSERT_EQ(library->GetStyleRecord(firstID, &record), S_OK);
  EXPECT_EQ(record->name, nullptr);
  EXPECT_TRUE(IsEqualGUID(*record->type, STYLETYPE_SegmentedStyle));
  library->FreeStyleRecord(&record);
  // The engine hears of the change before the library makes it.
  const std::vector<HostNotification> calls = styllib_test::Notifications();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front().kind, HOST_MARK_MODIFIED);
  EXPECT_EQ(calls.front().object, IdentityOf(library.librarian));
  EXPECT_THAT(styllib_test::NotificationsOf(HOST_OBJECT_REGISTRATION), IsEmpty());

  HostClearNotifications();
  const LONG live = Live();
  IUnknown* second = nullptr;
  DWORD secondID = 0;
  ASSERT_EQ(Add(library.librarian, CLSID_JStyleSimpleLine, &second, &secondID), S_OK);
  EXPECT_EQ(secondID, firstID);
  EXPECT_EQ(IdentityOf(second), IdentityOf(first));
  EXPECT_THAT(styllib_test::NotificationsOf(HOST_OBJECT_REGISTRATION), ::testing::SizeIs(1));
  EXPECT_EQ(Live(), live) << "the new object outlived the add";
  second->Release();
  first->Release();
}

// A library that refuses (with a code, or quietly with ID 0) and an engine that fails to hear of it.
TEST_F(SegmentedStyleTest, ARefusalIsAFailureWithNothingHandedOut) {
  struct Row {
    const char* what;
    HRESULT addFails;
    bool quiet;
    HRESULT registrationFails;
    HRESULT answer;
  };
  const Row rows[] = {
      {"add fails", E_OUTOFMEMORY, false, S_OK, E_OUTOFMEMORY},
      {"ID 0", S_OK, true, S_OK, E_FAIL},
      {"engine fails too", E_OUTOFMEMORY, false, E_UNEXPECTED, E_UNEXPECTED},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    HostClearNotifications();
    RecordingLibrarian* librarian = RecordingLibrarian::Create();
    if (FAILED(row.addFails)) librarian->failures["AddStyle"] = row.addFails;
    librarian->addGivesNoID = row.quiet;
    HostFailNotification(HOST_OBJECT_REGISTRATION, FAILED(row.registrationFails) ? 1 : 0, row.registrationFails);
    const LONG live = Live();

    IUnknown* object = reinterpret_cast<IUnknown*>(0x1234);
    DWORD id = 77;
    EXPECT_EQ(Add(librarian, CLSID_JStyleSimpleLine, &object, &id), row.answer);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(id, 0u);
    EXPECT_THAT(styllib_test::NotificationsOf(HOST_OBJECT_REGISTRATION), ::testing::SizeIs(1));
    EXPECT_EQ(Live(), live);
    librarian->Release();
  }
}

TEST_F(SegmentedStyleTest, AFailedStepBeforeTheAddAddsNothing) {
  RecordingLibrarian* librarian = RecordingLibrarian::Create();

  // A class nobody serves: fatal, then reported; the engine hears nothing.
  constexpr CLSID kNobodys = {0x6C0F3A11, 0x52D1, 0x4E8B, {0x9A, 0x07, 0x31, 0xC4, 0x5E, 0x22, 0x8D, 0x01}};
  IUnknown* object = nullptr;
  DWORD id = 0;
  const HRESULT hr = Add(librarian, kNobodys, &object, &id);
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(object, nullptr);
  const std::vector<PellowReport> reports = stylesrv_test::Reports();
  ASSERT_FALSE(reports.empty());
  EXPECT_TRUE(reports.front().fatal);
  EXPECT_TRUE(IsEqualCLSID(reports.front().clsid, kNobodys));
  EXPECT_THAT(ReportedBy("ustyle"), ElementsAre(hr, hr));
  EXPECT_THAT(EngineCalls(), IsEmpty());

  // The engine refuses the change of the library.
  HostFailNotification(HOST_MARK_MODIFIED, 1, E_ACCESSDENIED);
  const LONG live = Live();
  EXPECT_EQ(Add(librarian, CLSID_JStyleSimpleLine, &object, &id), E_ACCESSDENIED);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(librarian->Count(), 0u);
  EXPECT_EQ(Live(), live);
  librarian->Release();
}

TEST_F(SegmentedStyleTest, AHostClassIsMadeThroughTheHostsClassObjects) {
  HostClassFactory factory;
  DWORD cookie = 0;
  ASSERT_EQ(CoRegisterClassObject(kHostClass, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie), S_OK);
  RecordingLibrarian* librarian = RecordingLibrarian::Create();

  IUnknown* object = nullptr;
  DWORD id = 0;
  EXPECT_EQ(Add(librarian, kHostClass, &object, &id), S_OK);
  EXPECT_EQ(factory.instances, 1);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(librarian->IdOf(object), id);
  EXPECT_TRUE(IsEqualGUID(librarian->At(id).type, STYLETYPE_SegmentedStyle));

  object->Release();
  librarian->Release();
  EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
}

}  // namespace
}  // namespace daxutil_test

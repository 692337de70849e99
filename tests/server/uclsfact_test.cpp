#include "tests/server/test_objects.h"
#include "tests/support/stylesrv_test.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using stylesrv_test::IsReport;
using stylesrv_test::Reports;

namespace {

class ClassObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.loaded());
    Events().clear();
    stylesrv_test::ClearReports();
    TestObject::initResult = S_OK;
    TestObject::touchCountInFinalRelease = false;
    TestObject::server = &server.internals();
    ASSERT_EQ(GetClassObject(CLSID_TestObject, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  }
  void TearDown() override {
    if (factory) factory->Release();
    EXPECT_EQ(server.internals().GetServerLockCount(), 0);
    EXPECT_EQ(server.CanUnloadNow(), S_OK);
    TestObject::server = nullptr;
  }

  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    return server.internals().GetClassObjectFromTable(&TestClassTable(), clsid, iid, out);
  }

  stylesrv_test::ServerModule server;
  IClassFactory* factory = nullptr;
};

TEST_F(ClassObjectTest, EveryCallMakesANewClassObjectAndAliasesShareTheRow) {
  IUnknown* second = nullptr;
  ASSERT_EQ(GetClassObject(CLSID_TestObject, IID_IUnknown, reinterpret_cast<void**>(&second)), S_OK);
  EXPECT_NE(second, static_cast<IUnknown*>(factory));

  IClassFactory* alias = nullptr;
  ASSERT_EQ(GetClassObject(CLSID_TestObjectAlias, IID_IClassFactory, reinterpret_cast<void**>(&alias)), S_OK);
  IUnknown* object = nullptr;
  ASSERT_EQ(alias->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
  EXPECT_STREQ(static_cast<TestObject*>(object)->GetClassName(), "TestObject");
  object->Release();
  alias->Release();

  // A class object answers IUnknown and IClassFactory with itself, and nothing else.
  IClassFactory* same = nullptr;
  ASSERT_EQ(second->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&same)), S_OK);
  EXPECT_EQ(static_cast<IUnknown*>(same), second);
  EXPECT_EQ(CountOf(second), 2u);
  same->Release();
  void* none = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(second->QueryInterface(IID_IDispatch, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(second->Release(), 0u);
}

TEST_F(ClassObjectTest, UnbuiltRowAnswersAsAnUnknownClsid) {
  void* out = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(GetClassObject(CLSID_TestUnbuilt, IID_IClassFactory, &out), E_FAIL);
  EXPECT_EQ(out, nullptr);
  EXPECT_THAT(Reports(), IsEmpty());
}

// Nothing is written through a null out pointer, and nothing is made for it.
TEST_F(ClassObjectTest, NullOutPointerIsRefused) {
  EXPECT_EQ(GetClassObject(CLSID_TestObject, IID_IClassFactory, nullptr), E_INVALIDARG);
  EXPECT_EQ(factory->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_INVALIDARG);
  EXPECT_THAT(Events(), IsEmpty());
  EXPECT_EQ(CountOf(factory), 1u);
}

TEST_F(ClassObjectTest, CreatedObjectHoldsOnlyTheCallersReference) {
  ITestProbe* probe = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_ITestProbe, reinterpret_cast<void**>(&probe)), S_OK);
  LONG count = 0;
  probe->Ping(&count);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(server.CanUnloadNow(), S_FALSE);
  EXPECT_EQ(probe->Release(), 0u);
  EXPECT_THAT(Events(), ElementsAre("FinalRelease", "destructor"));
  EXPECT_THAT(Reports(), IsEmpty());
}

TEST_F(ClassObjectTest, AggregationAsksForIUnknownOnly) {
  const LONG blocks = EngineLiveBlocks();
  TestObject* outer = new TestObject(nullptr);
  outer->AddRef();
  void* out = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(factory->CreateInstance(outer, IID_ITestProbe, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(EngineLiveBlocks(), blocks + 1);  // the outer object only
  EXPECT_THAT(Events(), IsEmpty());
  EXPECT_THAT(Reports(), IsEmpty());
  outer->Release();
}

TEST_F(ClassObjectTest, FailedInitIsReportedAndTheObjectDestroyedOnce) {
  const LONG blocks = EngineLiveBlocks();
  TestObject::initResult = E_ABORT;
  void* out = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_ITestProbe, &out), E_ABORT);
  EXPECT_EQ(out, nullptr);
  EXPECT_THAT(Events(), ElementsAre("FinalRelease", "destructor"));
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_ABORT, "uclsfact", 126)));
  EXPECT_EQ(EngineLiveBlocks(), blocks);
}

TEST_F(ClassObjectTest, MissingInterfaceIsReportedAndTheObjectDestroyed) {
  void* out = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_THAT(Events(), ElementsAre("FinalRelease", "destructor"));
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_NOINTERFACE, "uclsfact", 129)));
}

TEST_F(ClassObjectTest, NoMemoryForTheObjectIsReported) {
  EngineFailNextAllocations(1);
  void* out = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, &out), E_OUTOFMEMORY);
  EngineFailNextAllocations(0);
  EXPECT_EQ(out, nullptr);
  EXPECT_THAT(Events(), IsEmpty());
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_OUTOFMEMORY, "uclsfact", 121)));
}

TEST_F(ClassObjectTest, UnlockWithoutALockIsUnexpectedAndChangesNothing) {
  EXPECT_EQ(factory->LockServer(FALSE), E_UNEXPECTED);
  EXPECT_EQ(server.internals().GetServerLockCount(), 0);
  EXPECT_EQ(server.CanUnloadNow(), S_OK);
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_UNEXPECTED, "uclsfact", 154)));
}

TEST_F(ClassObjectTest, LocksOfEveryClassObjectKeepTheServerUntilEachIsTakenOff) {
  IClassFactory* other = nullptr;
  ASSERT_EQ(GetClassObject(CLSID_TestObject, IID_IClassFactory, reinterpret_cast<void**>(&other)), S_OK);
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  ASSERT_EQ(other->LockServer(TRUE), S_OK);
  EXPECT_EQ(server.internals().GetServerLockCount(), 2);
  EXPECT_EQ(server.CanUnloadNow(), S_FALSE);

  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(server.CanUnloadNow(), S_FALSE);
  // Each class object takes off only its own locks.
  EXPECT_EQ(factory->LockServer(FALSE), E_UNEXPECTED);
  EXPECT_EQ(other->LockServer(FALSE), S_OK);
  EXPECT_EQ(server.CanUnloadNow(), S_OK);
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_UNEXPECTED, "uclsfact", 154)));
  other->Release();
}

// A thread on which COM was never initialised cannot lock an object externally.
DWORD WINAPI LockWithoutCom(void* factory) {
  return static_cast<DWORD>(static_cast<IClassFactory*>(factory)->LockServer(TRUE));
}

TEST_F(ClassObjectTest, FailedExternalLockIsReportedAndLeavesNoLock) {
  HANDLE thread = CreateThread(nullptr, 0, &LockWithoutCom, factory, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  DWORD result = 0;
  GetExitCodeThread(thread, &result);
  CloseHandle(thread);

  const HRESULT hr = static_cast<HRESULT>(result);
  ASSERT_TRUE(FAILED(hr)) << "CoLockObjectExternal without COM answered " << hr;
  EXPECT_THAT(Reports(), ElementsAre(IsReport(hr, "uclsfact", 159)));
  EXPECT_EQ(server.internals().GetServerLockCount(), 0);
  EXPECT_EQ(server.CanUnloadNow(), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), E_UNEXPECTED);
}

}  // namespace

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

// A creation that fails answers why, leaves null out, destroys what it made exactly once, leaks no block and
// reports where it failed. Nothing is written through a null out pointer, and an aggregate may ask only for
// IUnknown; neither makes anything.
TEST_F(ClassObjectTest, FailedCreationsLeaveNothingBehind) {
  TestObject* outer = new TestObject(nullptr);
  outer->AddRef();
  struct Case {
    const char* what;
    HRESULT init;
    LONG failAllocations;
    IUnknown* outer;
    const IID* iid;
    bool nullOut;
    HRESULT hr;
    bool made;  // an object was made and must be destroyed once
    int line;   // 0: not reported
  };
  const Case cases[] = {
      {"null out", S_OK, 0, nullptr, &IID_IUnknown, true, E_INVALIDARG, false, 0},
      {"aggregate asking for another interface", S_OK, 0, outer, &IID_ITestProbe, false, E_NOINTERFACE, false, 0},
      {"failed init", E_ABORT, 0, nullptr, &IID_ITestProbe, false, E_ABORT, true, 126},
      {"missing interface", S_OK, 0, nullptr, &IID_IDispatch, false, E_NOINTERFACE, true, 129},
      {"no memory", S_OK, 1, nullptr, &IID_IUnknown, false, E_OUTOFMEMORY, false, 121},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Events().clear();
    stylesrv_test::ClearReports();
    TestObject::initResult = c.init;
    const LONG blocks = EngineLiveBlocks();
    void* out = reinterpret_cast<void*>(0x1234);
    EngineFailNextAllocations(c.failAllocations);
    EXPECT_EQ(factory->CreateInstance(c.outer, *c.iid, c.nullOut ? nullptr : &out), c.hr);
    EngineFailNextAllocations(0);
    if (!c.nullOut) {
      EXPECT_EQ(out, nullptr);
    }
    if (c.made) {
      EXPECT_THAT(Events(), ElementsAre("FinalRelease", "destructor"));
    } else {
      EXPECT_THAT(Events(), IsEmpty());
    }
    if (c.line) {
      EXPECT_THAT(Reports(), ElementsAre(IsReport(c.hr, "uclsfact", c.line)));
    } else {
      EXPECT_THAT(Reports(), IsEmpty());
    }
    EXPECT_EQ(EngineLiveBlocks(), blocks);
  }
  TestObject::initResult = S_OK;
  EXPECT_EQ(GetClassObject(CLSID_TestObject, IID_IClassFactory, nullptr), E_INVALIDARG);
  EXPECT_EQ(factory->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);
  EXPECT_EQ(CountOf(factory), 1u);
  outer->Release();
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

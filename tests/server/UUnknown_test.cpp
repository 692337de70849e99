#include <cstdint>

#include "tests/server/test_objects.h"
#include "tests/support/stylesrv_test.h"

using ::testing::ElementsAre;

namespace {

class UUnknownTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Events().clear();
    TestObject::initResult = S_OK;
    TestObject::touchCountInFinalRelease = false;
    TestObject::server = nullptr;
  }
};

TEST_F(UUnknownTest, OneCountServesTheMainTableAndEveryNestedInterface) {
  TestObject* object = new TestObject(nullptr);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(object->GetControllingUnknown(), static_cast<IUnknown*>(object));
  EXPECT_EQ(object->AddRef(), 1u);

  ITestProbe* probe = nullptr;
  ASSERT_EQ(object->QueryInterface(IID_ITestProbe, reinterpret_cast<void**>(&probe)), S_OK);
  EXPECT_EQ(static_cast<void*>(probe), static_cast<void*>(&object->m_ITestProbeImp));
  EXPECT_EQ(object->GetRefCount(), 2);
  EXPECT_STREQ(object->lastTrace, "TestObject::ITestProbeImp");

  LONG seen = 0;
  ASSERT_EQ(probe->Ping(&seen), S_OK);
  EXPECT_EQ(seen, 2);

  // Asked through the nested interface, IUnknown is the object itself.
  IUnknown* unknown = nullptr;
  ASSERT_EQ(probe->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(unknown, static_cast<IUnknown*>(object));
  EXPECT_EQ(object->GetRefCount(), 3);

  EXPECT_EQ(unknown->Release(), 2u);
  EXPECT_EQ(probe->Release(), 1u);

  // An interface the object lacks: null out and no reference taken; a null out pointer is refused.
  void* out = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(object->QueryInterface(IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_INVALIDARG);
  EXPECT_EQ(object->GetRefCount(), 1);
  EXPECT_TRUE(Events().empty());
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_THAT(Events(), ElementsAre("FinalRelease", "destructor"));
}

TEST_F(UUnknownTest, EngineObjectSitsFourBytesIntoItsBlockOnAnEightByteBoundary) {
  const LONG blocks = EngineLiveBlocks();
  TestObject* object = new TestObject(nullptr);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(EngineLiveBlocks(), blocks + 1);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(object) % 8, 0u);
  object->AddRef();
  // The allocator stops the process if the object frees anything but the block it was given.
  object->Release();
  EXPECT_EQ(EngineLiveBlocks(), blocks);
}

TEST_F(UUnknownTest, FinalReleaseMayTakeAndGiveBackAReference) {
  TestObject::touchCountInFinalRelease = true;
  TestObject* object = new TestObject(nullptr);
  object->AddRef();
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_THAT(Events(), ElementsAre("FinalRelease", "destructor"));
}

TEST_F(UUnknownTest, SetOuterMakesAnotherObjectTheControllingUnknown) {
  TestObject* outer = new TestObject(nullptr);
  TestObject* inner = new TestObject(nullptr);
  outer->AddRef();
  inner->SetOuter(outer);
  EXPECT_EQ(inner->GetControllingUnknown(), static_cast<IUnknown*>(outer));
  EXPECT_EQ(inner->GetRefCount(), 0);
  inner->AddRef();

  ITestProbe* probe = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_ITestProbe, reinterpret_cast<void**>(&probe)), S_OK);
  EXPECT_EQ(outer->GetRefCount(), 2);
  EXPECT_EQ(inner->GetRefCount(), 1);
  probe->Release();
  EXPECT_EQ(outer->GetRefCount(), 1);

  inner->SetOuter(nullptr);
  EXPECT_EQ(inner->GetControllingUnknown(), static_cast<IUnknown*>(inner));
  inner->AddRef();
  inner->Release();
  outer->Release();
  EXPECT_THAT(Events(), ElementsAre("FinalRelease", "destructor", "FinalRelease", "destructor"));
}

// Aggregation through a real class object of the server: the outer object creates the inner one with itself as
// controlling unknown and hands out the inner object's interface.
class AggregationTest : public UUnknownTest {
 protected:
  void SetUp() override {
    UUnknownTest::SetUp();
    ASSERT_TRUE(server.loaded());
    TestObject::server = &server.internals();
    ASSERT_EQ(server.internals().GetClassObjectFromTable(&TestClassTable(), CLSID_TestObject, IID_IClassFactory,
                                                         reinterpret_cast<void**>(&factory)),
              S_OK);
  }
  void TearDown() override {
    if (factory) factory->Release();
    EXPECT_EQ(server.CanUnloadNow(), S_OK);
    TestObject::server = nullptr;
  }

  stylesrv_test::ServerModule server;
  IClassFactory* factory = nullptr;
};

TEST_F(AggregationTest, NestedInterfacesCountOnTheOuterObjectAndTheMainTableOnTheInner) {
  OuterObject* outer = new OuterObject(factory);
  outer->AddRef();
  ASSERT_EQ(outer->Init(), S_OK);
  ASSERT_NE(outer->inner(), nullptr);
  auto* inner = static_cast<TestObject*>(outer->inner());
  EXPECT_EQ(inner->GetControllingUnknown(), static_cast<IUnknown*>(outer));
  EXPECT_EQ(inner->GetRefCount(), 1);
  EXPECT_EQ(server.CanUnloadNow(), S_FALSE);

  ITestProbe* probe = nullptr;
  ASSERT_EQ(outer->QueryInterface(IID_ITestProbe, reinterpret_cast<void**>(&probe)), S_OK);
  EXPECT_EQ(static_cast<void*>(probe), static_cast<void*>(&inner->m_ITestProbeImp));
  EXPECT_EQ(outer->GetRefCount(), 2);
  EXPECT_EQ(inner->GetRefCount(), 1);

  EXPECT_EQ(probe->AddRef(), 3u);
  EXPECT_STREQ(inner->lastTrace, "TestObject::ITestProbeImp");
  EXPECT_EQ(inner->GetRefCount(), 1);

  // IUnknown through the nested interface is the outer object; through the inner main table, the inner one.
  IUnknown* unknown = nullptr;
  ASSERT_EQ(probe->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(unknown, static_cast<IUnknown*>(outer));
  unknown->Release();
  ASSERT_EQ(inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  EXPECT_EQ(unknown, static_cast<IUnknown*>(inner));
  EXPECT_EQ(inner->GetRefCount(), 2);
  EXPECT_EQ(outer->GetRefCount(), 3);
  unknown->Release();

  // An interface neither object has.
  void* none = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(probe->QueryInterface(IID_IDispatch, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);

  probe->Release();
  probe->Release();
  EXPECT_TRUE(Events().empty());
  EXPECT_EQ(outer->Release(), 0u);
  EXPECT_THAT(Events(), ElementsAre("outer FinalRelease", "FinalRelease", "destructor", "outer destructor"));
  EXPECT_EQ(server.CanUnloadNow(), S_OK);
}

}  // namespace

#include <iterator>
#include <set>
#include <string>

#include "display/style/stylesrv_clsid.h"
#include "tests/server/test_objects.h"
#include "tests/support/stylesrv_test.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using stylesrv_test::IsReport;
using stylesrv_test::Reports;

namespace {

class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.loaded());
    stylesrv_test::ClearReports();
  }
  void TearDown() override {
    if (server.loaded()) {
      EXPECT_EQ(server.CanUnloadNow(), S_OK);
    }
  }

  stylesrv_test::ServerModule server;
};

TEST_F(ServerTest, ClassObjectForAnotherInterfaceIsRefusedAndOutLeftAlone) {
  void* const untouched = reinterpret_cast<void*>(0x5A5A5A5A);
  void* out = untouched;
  EXPECT_EQ(server.GetClassObject(CLSID_JStyleSimpleLine, IID_IDispatch, &out), E_NOINTERFACE);
  EXPECT_EQ(out, untouched);
  EXPECT_THAT(Reports(), IsEmpty());
}

TEST_F(ServerTest, UnknownClsidAnswersFailWithNull) {
  const CLSID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  void* out = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(server.GetClassObject(unknown, IID_IClassFactory, &out), E_FAIL);
  EXPECT_EQ(out, nullptr);
  EXPECT_THAT(Reports(), IsEmpty());
}

TEST_F(ServerTest, ClassTableServesFortyClsidsWithThirtyClasses) {
  const StyleClassTable& table = *server.internals().GetClassTable();
  ASSERT_EQ(table.count, 40u);
  ASSERT_EQ(std::size(kStyleServedClsids), 40u);

  std::set<std::string> clsids;
  std::set<const StyleClassRow*> rows;
  for (const StyleServedClsid& served : kStyleServedClsids) {
    wchar_t text[40];
    StringFromGUID2(*served.clsid, text, 40);
    EXPECT_TRUE(clsids.insert(std::string(text, text + 38)).second) << "CLSID twice: " << served.className;
    const StyleClassRow* row = table.Find(*served.clsid);
    ASSERT_NE(row, nullptr) << served.className;
    EXPECT_STREQ(row->className, served.className);
    rows.insert(row);
  }
  EXPECT_EQ(rows.size(), 30u);

  // The simple dash type has two CLSIDs and one class object; so has the generic workbench for ten.
  EXPECT_EQ(table.Find(CLSID_JStyleSimpleDashType), table.Find(CLSID_JStyleSimpleDashType2));
  EXPECT_EQ(table.Find(CLSID_JWorkbenchGenericFill), table.Find(CLSID_JWorkbenchGenericMux3d));
  EXPECT_NE(table.Find(CLSID_JWorkbenchGenericFill), table.Find(CLSID_JWorkbenchLinear));

  // Style objects and the library live in the engine allocator, services and editors in the ordinary one.
  EXPECT_EQ(table.Find(CLSID_JStyleSimpleLine)->allocator, StyleAllocator::Engine);
  EXPECT_EQ(table.Find(CLSID_JStyleLib)->allocator, StyleAllocator::Engine);
  EXPECT_EQ(table.Find(CLSID_JSCustodian)->allocator, StyleAllocator::Ordinary);
  EXPECT_EQ(table.Find(CLSID_JStyleObjectCallback)->allocator, StyleAllocator::Ordinary);
}

TEST_F(ServerTest, LibrarianSlotRefusesBadModesAndPointers) {
  IUnknown* slot = nullptr;
  EXPECT_EQ(server.UseStyleLibrarian(2, &slot), E_INVALIDARG);
  EXPECT_EQ(server.UseStyleLibrarian(0, nullptr), E_INVALIDARG);
  EXPECT_EQ(server.UseStyleLibrarian(1, reinterpret_cast<IUnknown**>(0x10)), E_INVALIDARG);
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_INVALIDARG, "SERVER", 637), IsReport(E_INVALIDARG, "SERVER", 637),
                                     IsReport(E_INVALIDARG, "SERVER", 637)));
}

TEST_F(ServerTest, LibrarianSlotKeepsThePointerWithoutAReference) {
  TestObject* librarian = new TestObject(nullptr);
  librarian->AddRef();
  IUnknown* slot = librarian;
  ASSERT_EQ(server.UseStyleLibrarian(1, &slot), S_OK);
  slot = nullptr;
  ASSERT_EQ(server.UseStyleLibrarian(0, &slot), S_OK);
  EXPECT_EQ(slot, static_cast<IUnknown*>(librarian));
  EXPECT_EQ(librarian->GetRefCount(), 1);

  // A pointer that cannot be read is refused and the stored one kept.
  slot = reinterpret_cast<IUnknown*>(0x20);
  EXPECT_EQ(server.UseStyleLibrarian(1, &slot), E_INVALIDARG);
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_INVALIDARG, "SERVER", 642)));
  ASSERT_EQ(server.UseStyleLibrarian(0, &slot), S_OK);
  EXPECT_EQ(slot, static_cast<IUnknown*>(librarian));

  // Null clears it.
  slot = nullptr;
  ASSERT_EQ(server.UseStyleLibrarian(1, &slot), S_OK);
  slot = librarian;
  ASSERT_EQ(server.UseStyleLibrarian(0, &slot), S_OK);
  EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(librarian->Release(), 0u);
}

// The end of the run counts what a copy of the library still held when it was unloaded: an object leaked by a
// copy that is gone is still leaked. Here the copy that is loaded next owes the run that object back, so the
// run ends even.
TEST(LeakCheckTest, CopyUnloadedWithALiveObjectStillCounts) {
  ASSERT_EQ(GetModuleHandleA("stylesrv.dll"), nullptr);
  const LONG before = stylesrv_test::UnloadedCopyCounts().objects;
  {
    stylesrv_test::ServerModule copy;
    copy.internals().IncrementLiveObjectCount();
  }
  EXPECT_EQ(stylesrv_test::UnloadedCopyCounts().objects, before + 1);
  stylesrv_test::ServerModule next;
  EXPECT_EQ(next.internals().GetLiveObjectCount(), 0);
  next.internals().DecrementLiveObjectCount();
}

TEST_F(ServerTest, ExceptionColourStartsAtItsDefaultOnEveryLoad) {
  EXPECT_EQ(server.GetExceptionColor(), 0x0000FFC6u);
  EXPECT_EQ(server.SetExceptionColor(0x00112233), 0x00112233u);
  EXPECT_EQ(server.GetExceptionColor(), 0x00112233u);
  server.Unload();
  stylesrv_test::ServerModule reloaded;
  ASSERT_TRUE(reloaded.loaded());
  EXPECT_EQ(reloaded.GetExceptionColor(), 0x0000FFC6u);
}

}  // namespace

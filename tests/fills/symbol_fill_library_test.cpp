// The symbol fill inside the real style library: its slots' graphics as library references, whose use counts
// stay exact through adding, setting, replacing, removing, releasing, cloning, storing, copying to another
// library and moving to another owner.
#include <map>

#include "tests/fills/symbol_fill_fixtures.h"

using styllib_test::IdentityOf;
using styllib_test::TestLibrary;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

std::vector<DWORD> g_enumerated;

// Each ID's use count in the library is the number of slots of the fills that refer to it.
void ExpectExactUses(const TestLibrary& library, std::vector<IJStyleSymbolFill*> fills) {
  std::map<DWORD, DWORD> held;
  for (IJStyleSymbolFill* fill : fills) {
    for (DWORD id : GraphicIDs(fill)) {
      if (id) ++held[id];
    }
  }
  for (const auto& [id, uses] : held) EXPECT_EQ(library.UseCount(id), uses) << id;
}
HRESULT WINAPI Enumerate(DWORD id) {
  g_enumerated.push_back(id);
  return S_OK;
}

class SymbolFillLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterSymbolFillVersions();
    stylesrv_test::ClearReports();
  }
  // Nothing goes wrong on the way: a failure reported and swallowed would hide a lost reference.
  void TearDown() override {
    EXPECT_THAT(stylesrv_test::Reports(), IsEmpty());
    EXPECT_EQ(host_app::LiveObjects(), 0) << "a symbol is still held";
  }
};

TEST_F(SymbolFillLibraryTest, SlotGraphicsKeepUseCountsExact) {
  TestLibrary library;
  StyleComPtr<IJGraphic> a = Symbol(1), b = Symbol(2, {77}), c = Symbol(3), d = Symbol(4);
  const DWORD idA = AddTo(library, a.Get(), L"A", STYLETYPE_PointSymbol);
  const DWORD idB = AddTo(library, b.Get(), L"B", STYLETYPE_PointSymbol);
  const DWORD idC = AddTo(library, c.Get(), nullptr, STYLETYPE_PointSymbol);  // leaves with its last use
  StyleComPtr<IJStyleSymbolFill> fill = NewSymbolFill();
  AddTo(library, fill.Get(), nullptr, STYLETYPE_SymbolFillPattern);
  StyleComPtr<IJManageStyle2> manage = Query<IJManageStyle2>(fill.Get(), IID_IJManageStyle2);

  AddSlots(fill.Get(), {Slot(0, a.Get()), Slot(1, nullptr, idB), Slot(2, c.Get(), idC)});
  EXPECT_THAT(GraphicIDs(fill.Get()), ElementsAre(idA, idB, idC));
  EXPECT_THAT(UseCounts(library, {idA, idB, idC}), ElementsAre(1u, 1u, 1u));
  EXPECT_EQ(GraphicOf(fill.Get(), 1), IdentityOf(b.Get()));  // fetched by its ID

  // The slot's use of C is never the last while the slot is replaced by one of the same symbol.
  const SymbolSlotRecord again = Slot(5, c.Get());
  ASSERT_EQ(fill->ReplaceSlot(2, &again), S_OK);
  ASSERT_EQ(fill->SetSlotGraphic(0, b.Get()), S_OK);
  EXPECT_THAT(UseCounts(library, {idA, idB, idC}), ElementsAre(0u, 2u, 1u));

  // A record handed out carries a hold of the ID for the caller, and a reference on the graphic.
  SymbolSlotRecord record{};
  ASSERT_EQ(fill->GetSlotRecord(2, &record), S_OK);
  EXPECT_EQ(record.graphic, c.Get());
  record.graphic->Release();
  EXPECT_EQ(library->ReleaseStyleID2(idC), S_OK);
  EXPECT_EQ(library.UseCount(idC), 1u);

  g_enumerated.clear();
  ASSERT_EQ(manage->EnumStyleRefs(Enumerate), S_OK);
  EXPECT_THAT(g_enumerated, ElementsAre(idB, idB, idC, 0u));
  StyleComPtr<IJStyleUser> user = Query<IJStyleUser>(fill.Get(), IID_IJStyleUser);
  EXPECT_TRUE(user->UsesStyleID(idC));
  EXPECT_TRUE(user->UsesStyleID(77));  // through symbol B
  EXPECT_FALSE(user->UsesStyleID(idA));

  // A symbol replaced under its ID is what the slot draws next; the use stays with the ID.
  ASSERT_EQ(library->ReplaceStyle(idB, IdentityOf(d.Get())), S_OK);
  EXPECT_EQ(GraphicOf(fill.Get(), 0), IdentityOf(d.Get()));
  ASSERT_EQ(fill->RemoveSlot(0), S_OK);
  EXPECT_THAT(UseCounts(library, {idB, idC}), ElementsAre(1u, 1u));
  ASSERT_EQ(manage->ReleaseStyleRefs(0), S_OK);
  EXPECT_THAT(UseCounts(library, {idB}), ElementsAre(0u));
  EXPECT_THAT(GraphicIDs(fill.Get()), ElementsAre(0u, 0u));
  StyleComPtr<IUnknown> gone;
  EXPECT_NE(library->GetStyle(idC, gone.Put()), S_OK);  // its last use went with the slot
}

// A clone holds the symbols themselves and compares equal; symbols compare through their own equality, and one
// that cannot compare makes the fills unequal.
TEST_F(SymbolFillLibraryTest, ClonesAndComparisonsTakeNoUses) {
  TestLibrary library;
  StyleComPtr<IJGraphic> a = Symbol(1), twin = Symbol(1), other = Symbol(2), plain = Symbol(1, {}, false);
  const DWORD idA = AddTo(library, a.Get(), L"A", STYLETYPE_PointSymbol);
  StyleComPtr<IJStyleSymbolFill> fill = NewSymbolFill();
  AddTo(library, fill.Get(), nullptr, STYLETYPE_SymbolFillPattern);
  AddSlots(fill.Get(), {Slot(0, nullptr, idA), Slot(1)});
  StyleComPtr<IJManageStyle2> manage = Query<IJManageStyle2>(fill.Get(), IID_IJManageStyle2);

  StyleComPtr<IUnknown> clone;
  ASSERT_EQ(Query<IJPersist>(fill.Get(), IID_IJPersist)->Clone(nullptr, clone.Put()), S_OK);
  StyleComPtr<IJStyleSymbolFill> copy = Query<IJStyleSymbolFill>(clone.Get(), IID_IJStyleSymbolFill);
  EXPECT_EQ(GraphicOf(copy.Get(), 0), IdentityOf(a.Get()));
  EXPECT_THAT(GraphicIDs(copy.Get()), ElementsAre(kInvalidStyleID, 0u));
  EXPECT_EQ(library.UseCount(idA), 1u);
  struct Case {
    IJGraphic* graphic;
    BOOL same;
  };
  for (const Case& c : {Case{a.Get(), TRUE}, Case{twin.Get(), TRUE}, Case{other.Get(), FALSE}}) {
    ASSERT_EQ(copy->SetSlotGraphic(0, c.graphic), S_OK);
    BOOL same = !c.same;
    ASSERT_EQ(manage->IsSameStyle(clone.Get(), &same), S_OK);
    EXPECT_EQ(same, c.same);
  }
  ASSERT_EQ(copy->SetSlotGraphic(0, plain.Get()), S_OK);
  BOOL same = TRUE;
  ASSERT_EQ(Query<IJManageStyle2>(clone.Get(), IID_IJManageStyle2)->IsSameStyle(fill.Get(), &same), S_OK);
  EXPECT_FALSE(same);
  copy.Reset();
  clone.Reset();
  EXPECT_EQ(library.UseCount(idA), 1u);
  manage->ReleaseStyleRefs(0);
}

// Stored and loaded in the library, a fill holds its symbols by ID again; the load moves no use counts.
TEST_F(SymbolFillLibraryTest, StoredSlotsFetchTheirSymbolsByID) {
  TestLibrary library;
  StyleComPtr<IJGraphic> a = Symbol(1), b = Symbol(2);
  const DWORD idA = AddTo(library, a.Get(), L"A", STYLETYPE_PointSymbol);
  const DWORD idB = AddTo(library, b.Get(), L"B", STYLETYPE_PointSymbol);
  StyleComPtr<IJStyleSymbolFill> fill = NewSymbolFill();
  AddTo(library, fill.Get(), nullptr, STYLETYPE_SymbolFillPattern);
  AddSlots(fill.Get(), {Slot(0, b.Get()), Slot(1, a.Get())});
  TestArchive archive(ARCHIVE_STORING | ARCHIVE_VERSIONED);
  ASSERT_EQ(Query<IJPersist>(fill.Get(), IID_IJPersist)->Store(archive.get()), S_OK);
  archive.Reload();
  ASSERT_EQ(Query<IJPersist>(fill.Get(), IID_IJPersist)->Load(archive.get()), S_OK);
  EXPECT_THAT(GraphicIDs(fill.Get()), ElementsAre(idB, idA));
  EXPECT_EQ(GraphicOf(fill.Get(), 0), IdentityOf(b.Get()));
  EXPECT_EQ(GraphicOf(fill.Get(), 1), IdentityOf(a.Get()));
  EXPECT_THAT(UseCounts(library, {idA, idB}), ElementsAre(1u, 1u));
  Query<IJManageStyle2>(fill.Get(), IID_IJManageStyle2)->ReleaseStyleRefs(0);
}

// Copied into a second library, the fill's symbols arrive first and the copy refers to them there; moved to that
// library, its uses go from the first to the second.
TEST_F(SymbolFillLibraryTest, CopyAndMoveToAnotherLibraryCarryTheSymbols) {
  TestLibrary first;
  TestLibrary second;
  second.AddLine(L"Filler");  // the copies' IDs must differ from the originals'
  StyleComPtr<IJGraphic> a = Symbol(1), b = Symbol(2);
  const DWORD idA = AddTo(first, a.Get(), L"A", STYLETYPE_PointSymbol);
  const DWORD idB = AddTo(first, b.Get(), nullptr, STYLETYPE_PointSymbol);
  StyleComPtr<IJStyleSymbolFill> fill = NewSymbolFill();
  AddTo(first, fill.Get(), L"Fill", STYLETYPE_SymbolFillPattern);
  AddSlots(fill.Get(), {Slot(0, a.Get()), Slot(1), Slot(2, b.Get()), Slot(3, a.Get())});
  StyleComPtr<IJManageStyle2> manage = Query<IJManageStyle2>(fill.Get(), IID_IJManageStyle2);

  DWORD copyID = 0;
  ASSERT_EQ(manage->CopyStyleToLibrary(first.librarian, second.librarian, second.document, &copyID), S_OK);
  StyleComPtr<IUnknown> object;
  ASSERT_EQ(second->GetStyle(copyID, object.Put()), S_OK);
  StyleComPtr<IJStyleSymbolFill> copy = Query<IJStyleSymbolFill>(object.Get(), IID_IJStyleSymbolFill);
  const std::vector<DWORD> there = GraphicIDs(copy.Get());
  ASSERT_EQ(there.size(), 4u);
  EXPECT_EQ(there[1], 0u);
  EXPECT_NE(there[0], idA);
  EXPECT_NE(there[2], idB);
  StyleComPtr<IUnknown> copiedA;
  ASSERT_EQ(second->GetStyle(there[3], copiedA.Put()), S_OK);
  EXPECT_EQ(GraphicOf(copy.Get(), 3), IdentityOf(copiedA.Get()));
  EXPECT_NE(IdentityOf(copiedA.Get()), IdentityOf(a.Get()));
  ExpectExactUses(second, {copy.Get()});
  EXPECT_THAT(UseCounts(first, {idA, idB}), ElementsAre(2u, 1u));

  ASSERT_EQ(manage->SetLibrarian(second.librarian), S_OK);
  EXPECT_EQ(first.UseCount(idA), 0u);
  const std::vector<DWORD> moved = GraphicIDs(fill.Get());
  EXPECT_EQ(std::count(moved.begin(), moved.end(), 0u), 1);  // the slot without symbol
  ExpectExactUses(second, {copy.Get(), fill.Get()});
  Query<IJManageStyle2>(copy.Get(), IID_IJManageStyle2)->ReleaseStyleRefs(0);
  manage->ReleaseStyleRefs(0);
  manage->SetLibrarian(nullptr);
}

}  // namespace

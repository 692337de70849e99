// The point symbol's records in the archive, its clone, and when two point symbols are equal.
#include "display/style/styles/JStylePointSymbol.h"
#include "tests/symbols/point_symbol_fixtures.h"

namespace symbols_test {
namespace {

constexpr DWORD kVersioned = ARCHIVE_VERSIONED;
// JStyleBase's header (16-byte tag, 16-bit version) of an archive that writes no legacy block.
constexpr std::size_t kBaseHeader = 18;
constexpr std::size_t kClassHeader = 18;

// A style with units code 12 and symbol ID `id`, as loaded from a current record.
void Prepare(PointSymbol& symbol, DWORD id) {
  ASSERT_EQ(symbol.style->SetUnits(12), S_OK);
  TestArchive stored(ARCHIVE_STORING);
  ASSERT_EQ(symbol.persist->Store(stored.get()), S_OK);
  WriteAt(stored.get(), 14, id);
  stored.Reload();
  ASSERT_EQ(symbol.persist->Load(stored.get()), S_OK);
}

TEST_F(PointSymbolTest, RecordsOfEveryVersionCarryTheSymbolID) {
  PointSymbol symbol(server);
  Prepare(symbol, 0x10203);
  const struct {
    DWORD flags;
    WORD version;          // 0: unversioned
    std::size_t size;      // of the whole record
    std::size_t idAt;      // where the symbol ID lies
    std::size_t unitsAt;   // where the units code lies (0: in the base record's flags)
  } cases[] = {
      {0, 0, 18, 14, 0},
      {kVersioned, 3, kBaseHeader + kClassHeader + 18, kBaseHeader + kClassHeader + 14, 0},
      // The older base record: its header, the referenced style ID and the style kind; then the units code.
      {kVersioned, 2, kBaseHeader + kClassHeader + 18 + 4 + 4 + 4 + 4, kBaseHeader + kClassHeader + 30,
       kBaseHeader + kClassHeader + 26},
      {kVersioned, 7, kBaseHeader + kClassHeader + 4, kBaseHeader + kClassHeader, 0},
  };
  for (const auto& c : cases) {
    TestArchive archive(ARCHIVE_STORING | c.flags);
    if (c.version) ArchiveSetClassVersion(archive.get(), &CLSID_JStylePointSymbol, c.version);
    ASSERT_EQ(symbol.persist->Store(archive.get()), S_OK) << c.version;
    const std::vector<BYTE> bytes = archive.Bytes();
    ASSERT_EQ(bytes.size(), c.size) << c.version;
    EXPECT_EQ(ReadAt<DWORD>(bytes, c.idAt), 0x10203u) << c.version;
    if (c.unitsAt) {
      EXPECT_EQ(ReadAt<DWORD>(bytes, c.unitsAt), 12u);
    }
    if (c.version == 0) {
      EXPECT_EQ(ReadAt<WORD>(bytes, 0), 2u);  // units code minus 10
    }

    // Each loads back into a new style; a different ID in the record is what the new style takes.
    PointSymbol loaded(server);
    WriteAt(archive.get(), c.idAt, DWORD{0x4711});
    archive.Reload();
    ASSERT_EQ(loaded.persist->Load(archive.get()), S_OK) << c.version;
    EXPECT_EQ(AsStyle<JStylePointSymbol>(loaded.unknown.Get())->SymbolID(), 0x4711u) << c.version;
    DWORD units = 0;
    loaded.style->GetUnits(&units);
    EXPECT_EQ(units, c.version == 7 ? 13u : 12u) << c.version;

    // An older record with a units code no record can carry is refused, and the style keeps its own.
    if (c.unitsAt) {
      PointSymbol damaged(server);
      WriteAt(archive.get(), c.unitsAt, DWORD{99});
      archive.Reload();
      EXPECT_EQ(damaged.persist->Load(archive.get()), HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
      damaged.style->GetUnits(&units);
      EXPECT_EQ(units, 13u);
    }
  }
}

TEST_F(PointSymbolTest, AClonesBlockIsANewStylesAndEqualityNeedsTheSameSymbol) {
  PointSymbol symbol(server);
  ASSERT_EQ(symbol.style->SetUnits(11), S_OK);
  ASSERT_EQ(symbol.style->SetSymbolFlags(7), S_OK);
  ASSERT_EQ(symbol.style->SetGraphic(Element()), S_OK);
  StyleComPtr<IUnknown> cloned;
  ASSERT_EQ(symbol.persist->Clone(nullptr, cloned.Put()), S_OK);
  auto* clone = AsStyle<JStylePointSymbol>(cloned.Get());
  EXPECT_EQ(clone->UnitsCode(), 11u);
  EXPECT_EQ(clone->CachedSymbol(), nullptr);
  EXPECT_EQ(clone->SymbolID(), 0u);
  EXPECT_EQ(clone->FilterBlock().code, 22u);
  EXPECT_EQ(clone->FilterBlock().version, 2u);
  DWORD flags = 1;
  StyleComPtr<IJStylePointSymbol> cloneStyle;
  ASSERT_EQ(cloned->QueryInterface(IID_IJStylePointSymbol, cloneStyle.PutVoid()), S_OK);
  cloneStyle->GetSymbolFlags(&flags);
  EXPECT_EQ(flags, 0u);

  // Equal only with the very same symbol object: equal but distinct symbols, or one missing, are not.
  IUnknown* shared = Element();
  IUnknown* twin = Element();
  PointSymbol a(server), b(server), none(server), none2(server);
  ASSERT_EQ(a.style->SetGraphic(shared), S_OK);
  const struct {
    IUnknown* left;
    IUnknown* right;
    IUnknown* rightSymbol;
    BOOL same;
  } cases[] = {
      {a.unknown.Get(), b.unknown.Get(), shared, TRUE},
      {a.unknown.Get(), b.unknown.Get(), twin, FALSE},
      {a.unknown.Get(), none.unknown.Get(), nullptr, FALSE},
      {none.unknown.Get(), none2.unknown.Get(), nullptr, TRUE},
      {a.unknown.Get(), a.unknown.Get(), shared, TRUE},
  };
  for (const auto& c : cases) {
    if (c.right == b.unknown.Get()) {
      ASSERT_EQ(b.style->SetGraphic(c.rightSymbol), S_OK);
    }
    BOOL same = !c.same;
    StyleComPtr<IJManageStyle2> manage;
    ASSERT_EQ(c.left->QueryInterface(IID_IJManageStyle2, manage.PutVoid()), S_OK);
    EXPECT_EQ(manage->IsSameStyle(c.right, &same), S_OK);
    EXPECT_EQ(same, c.same);
  }
  BOOL same = TRUE;
  EXPECT_EQ(AsStyle<JStylePointSymbol>(a.unknown.Get())->IsEqual(nullptr, &same), E_INVALIDARG);
}

}  // namespace
}  // namespace symbols_test

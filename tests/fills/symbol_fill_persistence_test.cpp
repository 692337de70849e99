// The symbol fill's records: the current and the older layout against hand-built images in both directions, and
// damaged or truncated records, which leave the fill as it was.
#include <string>

#include "tests/fills/symbol_fill_fixtures.h"

using stylesrv_test::Reports;

namespace {

// The record after the class header and the base record, as the layout lays it out.
std::vector<BYTE> Body(const SymbolFillData& d, bool older) {
  ByteImage image;
  if (older) {
    image << d.fillTag << d.originX << d.originY << d.originZ << d.rotation << d.highestSlot;
  } else {
    image << d.fillTag << d.highestSlot << d.rotation << d.originX << d.originY;
  }
  for (LONG i = 0; i <= d.highestSlot; ++i) {
    const SymbolSlotRecord& s = *d.slots[i];
    if (older) {
      image << s.color << s.fillStyleWord << s.graphicID;
    } else {
      image << s.fillStyleWord << s.graphicID << s.color << DWORD{0};
    }
    image << s.angle << s.spacingX << s.spacingY << s.rowShift << s.columnShift << s.scale << s.offsetX << s.offsetY;
    if (older) image << s.offsetZ;
  }
  return image.bytes;
}

// A description whose slots carry raw IDs and an offset z; without an owner the fill keeps the IDs as given.
struct Description {
  Description(DWORD tag, double rotation, std::vector<SymbolSlotRecord> given) : slots(std::move(given)) {
    // As the fill's own array would be: five entries at a time, those past the slots null.
    pointers.resize((slots.size() + 4) / 5 * 5);
    for (std::size_t i = 0; i < slots.size(); ++i) pointers[i] = &slots[i];
    const LONG n = static_cast<LONG>(slots.size());
    data = {0, tag, 1.5, -2.5, 3.0, rotation, 11, n - 1, static_cast<LONG>(pointers.size()), pointers.data()};
  }
  std::vector<SymbolSlotRecord> slots;
  std::vector<SymbolSlotRecord*> pointers;
  SymbolFillData data;
};

SymbolSlotRecord Raised(DWORD n, DWORD id, double z) {
  SymbolSlotRecord slot = Slot(n, nullptr, id);
  slot.columnShift = n / 8.0;
  slot.offsetZ = z;
  return slot;
}

class SymbolFillPersistenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterSymbolFillVersions();
    stylesrv_test::ClearReports();
  }
  // The class header comes first in every archive; the version it carries chooses the layout.
  static void Store(IJStyleSymbolFill* fill, TestArchive& archive, WORD version) {
    ArchiveSetClassVersion(archive.get(), &CLSID_JStyleSymbolFill, version);
    ASSERT_EQ(Query<IJPersist>(fill, IID_IJPersist)->Store(archive.get()), S_OK);
  }
};

TEST_F(SymbolFillPersistenceTest, RecordsMatchHandBuiltImagesBothWays) {
  Description written(0xA1, 0.25, {Raised(1, 5, 2.0), Raised(2, 0, 0.0)});
  for (WORD version : {WORD{2}, WORD{7}, WORD{1}}) {
    const bool older = version == 1;
    Description read(0xB2, -1.0, {Raised(3, 0, 4.0), Raised(4, 9, 0.0), Raised(5, 0xFFFFFFFF, 0.0)});
    StyleComPtr<IJStyleSymbolFill> fill = NewSymbolFill();
    ASSERT_EQ(fill->SetAllSlots(&written.data), S_OK);
    TestArchive archive(ARCHIVE_STORING);
    Store(fill.Get(), archive, version);
    std::vector<BYTE> bytes = archive.Bytes();
    const std::vector<BYTE> body = Body(written.data, older);
    ASSERT_GE(bytes.size(), body.size());
    const std::size_t bodyAt = bytes.size() - body.size();
    EXPECT_TRUE(std::equal(body.begin(), body.end(), bytes.begin() + bodyAt)) << version;
    EXPECT_EQ(ReadAt<GUID>(bytes, 0), CLSID_JStyleSymbolFill);
    EXPECT_EQ(ReadAt<WORD>(bytes, 16), version);
    EXPECT_EQ(bodyAt, older ? 18u + 8 : 18u + 14) << version;  // the older or the current base record

    bytes.resize(bodyAt);
    const std::vector<BYTE> other = Body(read.data, older);
    bytes.insert(bytes.end(), other.begin(), other.end());
    ArchiveSetData(archive.get(), bytes.data(), static_cast<DWORD>(bytes.size()));
    archive.Reload();
    StyleComPtr<IJStyleSymbolFill> loaded = NewSymbolFill();
    ASSERT_EQ(Query<IJPersist>(loaded.Get(), IID_IJPersist)->Load(archive.get()), S_OK);
    SymbolFillData got = AllOf(loaded.Get());
    SymbolFillData expected = read.data;
    if (!older) {
      expected.originZ = 0.0;  // the current layout stores no z
      for (SymbolSlotRecord& slot : read.slots) slot.offsetZ = 0.0;
    }
    EXPECT_TRUE(SameData(got, expected)) << version;
    FreeSymbolFillData(&got);
  }
  EXPECT_THAT(Reports(), ::testing::IsEmpty());
}

// A record whose slot count was damaged or that ends too early fails, reported, and the fill keeps its units,
// its slots and their library references.
TEST_F(SymbolFillPersistenceTest, DamagedRecordsKeepTheFillAsItWas) {
  const HRESULT invalid = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
  const HRESULT eof = HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
  struct Case {
    std::string name;
    WORD version;
    LONG highest;     // written in place of the stored one; 0 keeps it
    std::size_t cut;  // bytes taken from the end
    HRESULT expected;
  };
  const Case cases[] = {
      {"count flipped", 2, 0x40000000, 0, invalid},    {"count below -1", 2, -5, 0, invalid},
      {"one slot too many", 2, 2, 0, invalid},         {"truncated in the slots", 2, 0, 1, invalid},
      {"truncated before the slots", 2, 0, 170, eof},  {"older, count flipped", 1, 0x7FFFFFFF, 0, invalid},
      {"older, truncated in the slots", 1, 0, 84, invalid},
  };
  styllib_test::TestLibrary library;
  StyleComPtr<IJGraphic> symbol = Symbol(1);
  const DWORD id = AddTo(library, symbol.Get(), L"S", STYLETYPE_PointSymbol);
  StyleComPtr<IJStyleSymbolFill> target = NewSymbolFill();
  AddTo(library, target.Get(), nullptr, STYLETYPE_SymbolFillPattern);
  AddSlots(target.Get(), {Slot(1, symbol.Get())});
  ASSERT_EQ(target->SetUnits(12), S_OK);

  StyleComPtr<IJStyleSymbolFill> source = NewSymbolFill();
  AddSlots(source.Get(), {Slot(2), Slot(3)});
  for (const Case& c : cases) {
    TestArchive archive(ARCHIVE_STORING);
    Store(source.Get(), archive, c.version);
    std::vector<BYTE> bytes = archive.Bytes();
    const std::size_t highestAt = c.version == 1 ? 18 + 8 + 36 : 18 + 14 + 4;
    if (c.highest) std::memcpy(&bytes[highestAt], &c.highest, sizeof c.highest);
    bytes.resize(bytes.size() - c.cut);
    ArchiveSetData(archive.get(), bytes.data(), static_cast<DWORD>(bytes.size()));
    archive.Reload();
    stylesrv_test::ClearReports();
    EXPECT_EQ(Query<IJPersist>(target.Get(), IID_IJPersist)->Load(archive.get()), c.expected) << c.name;
    ASSERT_FALSE(Reports().empty()) << c.name;
    EXPECT_EQ(Reports().front().hr, c.expected) << c.name;
    EXPECT_STREQ(Reports().front().source, kSymbolFillSource) << c.name;
    DWORD units = 0;
    target->GetUnits(&units);
    EXPECT_EQ(units, 12u) << c.name;
    EXPECT_EQ(Colours(target.Get()), std::vector<DWORD>{1}) << c.name;
    EXPECT_EQ(GraphicIDs(target.Get()), std::vector<DWORD>{id}) << c.name;
    EXPECT_EQ(library.UseCount(id), 1u) << c.name;
  }
  Query<IJManageStyle2>(target.Get(), IID_IJManageStyle2)->ReleaseStyleRefs(0);
}

}  // namespace

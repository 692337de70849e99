// The hatch fill's records: versions 3 and 2 against hand-built images in both directions, the count byte's
// limit, and damaged or truncated records, which leave the fill as it was.
#include <string>

#include "tests/hatch/hatch_fixtures.h"

using stylesrv_test::Reports;

namespace {

constexpr std::size_t kBaseRecordSize = 14;

using Image = ByteImage;

struct Stored {
  DWORD units;
  WORD flags;
  DWORD keep;
  double scale, originX, originY;
  std::vector<HatchFamilyDesc> families;  // no dash type objects
  std::vector<DWORD> dashIDs;
};

// The record after the base part, as the version lays it out.
std::vector<BYTE> Body(const Stored& s, WORD version) {
  Image image;
  if (version == 3) {
    image << s.keep << s.flags << BYTE{0} << static_cast<BYTE>(s.families.size()) << s.scale << s.originX
          << s.originY;
  } else {
    image << static_cast<DWORD>(s.families.size());
  }
  for (std::size_t i = 0; i < s.families.size(); ++i) {
    const HatchFamilyDesc& f = s.families[i];
    if (version == 3) {
      image << ((f.marker ? 0x80000000u : 0u) | f.keepMask) << s.dashIDs[i] << f.familyId << f.color << f.angle
            << f.spacing << f.shift << f.originX << f.originY << f.width;
    } else {
      image << DWORD{s.dashIDs[i] != 0} << s.dashIDs[i] << f.angle << f.spacing << f.shift << f.originX << f.originY
            << f.originZ << f.color << f.width << f.keepMask << f.familyId << f.marker;
    }
  }
  if (version == 2) image << s.units << DWORD{s.flags} << s.keep << s.scale << s.originX << s.originY;
  return image.bytes;
}

HatchFamilyDesc Described(DWORD marker, DWORD id, double angle, double spacing, DWORD colour, DWORD keep,
                          double z = 0.0) {
  HatchFamilyDesc f = Family(id, angle, keep);
  f.marker = marker;
  f.spacing = spacing;
  f.color = colour;
  f.originZ = z;
  return f;
}

class HatchPersistenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterHatchVersions();
    stylesrv_test::ClearReports();
  }

  // An archive holding the fill under the version: 3 without class headers, 2 with them.
  static void Store(IJStyleHatchFill* hatch, TestArchive& archive, WORD version) {
    if (version == 2) ArchiveSetClassVersion(archive.get(), &CLSID_JStyleHatchFill, 2);
    ASSERT_EQ(Query<IJPersist>(hatch, IID_IJPersist)->Store(archive.get()), S_OK);
  }
  static DWORD ArchiveFlags(WORD version) {
    return version == 2 ? DWORD{ARCHIVE_STORING | ARCHIVE_VERSIONED} : DWORD{ARCHIVE_STORING};
  }
};

TEST_F(HatchPersistenceTest, RecordsMatchHandBuiltImagesBothWays) {
  const Stored written{12, 1, 0x12, 2.5, 3.0, 4.0,
                       {Described(1, 77, 0.5, 2.0, 0xABC, 0x30), Described(0, 0, 1.5, -1.0, 7, 0x200)}, {0, 0}};
  const Stored read{13, 2, 0x8, 0.75, 5.0, 6.0,
                    {Described(0, 78, 0.25, 0.0, 9, 0x1, 9.0), Described(1, 3, 4.0, 1e300, 0, 0),
                     Described(0, 0, -1.0, 2.0, 1, 0x3FF)},
                    {5, 0, 9}};
  for (WORD version : {WORD{3}, WORD{2}}) {
    StyleComPtr<IJStyleHatchFill> hatch = NewHatch();
    HatchFillData data{written.originX, written.originY, 9.0, written.scale, written.units,
                       static_cast<DWORD>(written.families.size()),
                       const_cast<HatchFamilyDesc*>(written.families.data()), 0, written.keep};
    ASSERT_EQ(hatch->SetData(&data), S_OK);
    ASSERT_EQ(hatch->SetFlags(written.flags), S_OK);
    TestArchive archive(ArchiveFlags(version));
    Store(hatch.Get(), archive, version);
    std::vector<BYTE> bytes = archive.Bytes();
    const std::vector<BYTE> body = Body(written, version);
    ASSERT_GE(bytes.size(), body.size());
    const std::size_t bodyAt = bytes.size() - body.size();
    EXPECT_TRUE(std::equal(body.begin(), body.end(), bytes.begin() + bodyAt)) << version;
    if (version == 3) {
      EXPECT_EQ(bodyAt, kBaseRecordSize);
      EXPECT_EQ(ReadAt<WORD>(bytes, 0), 2);  // units code 12 in the base record
    }

    // Another image in the place of the body: a version-3 record takes its units code from the base record.
    bytes.resize(bodyAt);
    const std::vector<BYTE> other = Body(read, version);
    bytes.insert(bytes.end(), other.begin(), other.end());
    ArchiveSetData(archive.get(), bytes.data(), static_cast<DWORD>(bytes.size()));
    archive.Reload();
    StyleComPtr<IJStyleHatchFill> loaded = NewHatch();
    ASSERT_EQ(Query<IJPersist>(loaded.Get(), IID_IJPersist)->Load(archive.get()), S_OK);
    DWORD units = 0, flags = 0, keep = 0;
    loaded->GetUnits(&units);
    loaded->GetFlags(&flags);
    loaded->GetFamilyKeepMask(-1, &keep);
    EXPECT_EQ(units, version == 2 ? read.units : written.units) << version;
    EXPECT_EQ(flags, read.flags) << version;
    EXPECT_EQ(keep, read.keep) << version;
    HatchFillData got = DataOf(loaded.Get());
    EXPECT_EQ(got.scale, read.scale);
    EXPECT_EQ(got.originX, read.originX);
    EXPECT_EQ(got.originY, read.originY);
    ASSERT_EQ(got.familyCount, read.families.size());
    for (DWORD i = 0; i < got.familyCount; ++i) {
      HatchFamilyDesc expected = read.families[i];
      expected.originZ = 0.0;  // loaded origins keep z at 0
      EXPECT_TRUE(SameFamily(got.families[i], expected)) << version << " family " << i;
      DWORD id = 0;
      loaded->GetFamilyDashTypeId(static_cast<LONG>(i), &id);
      EXPECT_EQ(id, read.dashIDs[i]) << version << " family " << i;
    }
    FreeHatchFillData(&got);
  }
  EXPECT_THAT(Reports(), ::testing::IsEmpty());
}

TEST_F(HatchPersistenceTest, CountByteHoldsAtMost255Families) {
  StyleComPtr<IJStyleHatchFill> hatch = NewHatch();
  for (int i = 0; i < 255; ++i) {
    const HatchFamilyDesc family = Family(0, i * 0.01);
    LONG index = 0;
    ASSERT_EQ(hatch->AddFamily(&family, &index), S_OK);
  }
  TestArchive archive(ARCHIVE_STORING);
  Store(hatch.Get(), archive, 3);
  archive.Reload();
  StyleComPtr<IJStyleHatchFill> loaded = NewHatch();
  ASSERT_EQ(Query<IJPersist>(loaded.Get(), IID_IJPersist)->Load(archive.get()), S_OK);
  BOOL same = FALSE;
  ASSERT_EQ(Query<IJManageStyle2>(hatch.Get(), IID_IJManageStyle2)->IsSameStyle(loaded.Get(), &same), S_OK);
  EXPECT_TRUE(same);

  const HatchFamilyDesc family = Family(0, 9.0);
  LONG index = 0;
  ASSERT_EQ(hatch->AddFamily(&family, &index), S_OK);
  TestArchive refused(ARCHIVE_STORING);
  EXPECT_EQ(Query<IJPersist>(hatch.Get(), IID_IJPersist)->Store(refused.get()), E_FAIL);
  EXPECT_EQ(ArchiveSize(refused.get()), 0u);
  ASSERT_FALSE(Reports().empty());
  EXPECT_EQ(Reports().front().hr, E_FAIL);
  EXPECT_STREQ(Reports().front().source, kHatchSource);
}

// A record whose counts were damaged or that ends too early fails, reported, and the fill keeps its families
// and their library references.
TEST_F(HatchPersistenceTest, DamagedRecordsKeepTheOldFamilies) {
  const HRESULT invalid = HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
  const HRESULT eof = HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
  struct Case {
    std::string name;
    WORD version;
    std::size_t countAt;  // from the body's start
    DWORD count;          // written there (in one byte for version 3); 0 truncates the record by one byte
    HRESULT expected;
  };
  const Case cases[] = {
      {"count byte flipped", 3, 7, 0xFF, invalid},  {"one family too many", 3, 7, 3, invalid},
      {"truncated in the families", 3, 0, 0, invalid},                 {"count flipped", 2, 0, 0x40000000, invalid},
      {"one family too many", 2, 0, 3, invalid},    {"truncated after the families", 2, 0, 0, eof},
  };
  styllib_test::TestLibrary library;
  StyleComPtr<IJStyleDashTypeRender> dash = NewDash({1, -1});
  const DWORD idA = AddTo(library, dash.Get(), L"A", STYLETYPE_Dash);
  StyleComPtr<IJStyleHatchFill> target = NewHatch();
  AddTo(library, target.Get(), nullptr, STYLETYPE_HatchFillPattern);
  ASSERT_EQ(SetFamilies(target.Get(), {Family(1, 1, 0, dash.Get())}), S_OK);

  StyleComPtr<IJStyleHatchFill> source = NewHatch();
  ASSERT_EQ(SetFamilies(source.Get(), {Family(1, 1), Family(2, 2)}), S_OK);
  for (const Case& c : cases) {
    TestArchive archive(ArchiveFlags(c.version));
    Store(source.Get(), archive, c.version);
    std::vector<BYTE> bytes = archive.Bytes();
    const std::size_t bodyAt = bytes.size() - (c.version == 3 ? 24 + 8 + 2 * 64 : 4 + 2 * 80 + 36);
    if (c.count == 0) {
      bytes.pop_back();
    } else if (c.version == 3) {
      bytes[bodyAt + c.countAt] = static_cast<BYTE>(c.count);
    } else {
      std::memcpy(&bytes[bodyAt + c.countAt], &c.count, sizeof c.count);
    }
    ArchiveSetData(archive.get(), bytes.data(), static_cast<DWORD>(bytes.size()));
    archive.Reload();
    stylesrv_test::ClearReports();
    EXPECT_EQ(Query<IJPersist>(target.Get(), IID_IJPersist)->Load(archive.get()), c.expected) << c.name;
    ASSERT_FALSE(Reports().empty()) << c.name;
    EXPECT_EQ(Reports().front().hr, c.expected) << c.name;
    EXPECT_STREQ(Reports().front().source, kHatchSource) << c.name;
    DWORD count = 0, id = 0;
    target->GetFamilyCount(&count);
    target->GetFamilyDashTypeId(0, &id);
    EXPECT_EQ(count, 1u) << c.name;
    EXPECT_EQ(id, idA) << c.name;
    EXPECT_EQ(library.UseCount(idA), 1u) << c.name;
  }
  Query<IJManageStyle2>(target.Get(), IID_IJManageStyle2)->ReleaseStyleRefs(0);
}

}  // namespace

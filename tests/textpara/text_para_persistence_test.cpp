// The paragraph style's records: versions 4, 3 and 2 against hand-built images in both directions, the old
// line-spacing modes, what a record without units becomes, and damaged or cut records,
// which leave the style as it was.
#include <limits>
#include <string>

#include "tests/textpara/para_fixtures.h"

using stylesrv_test::ClearReports;
using stylesrv_test::Reports;

namespace {

constexpr std::size_t kCurrentBody = 4 + 4 + 4 + 4 + 6 * 8;
constexpr std::size_t kOlderBody = 4 + 3 + 6 * 8 + 14 * 12 + 3 * 4;

// The record's fields after the base record (version 4) or the class header (versions 2 and 3).
std::vector<BYTE> Body(const TextParaData& d, DWORD charID, WORD version) {
  ByteImage i;
  if (version == 4) {
    i << (d.lineSpacingMode << 16) << d.lockMask << d.charStyleMode << d.valueByte1 << d.valueByte2 << BYTE{0}
      << charID << d.distance1 << d.distance2 << d.distance3 << d.lineSpacing << d.distance4 << d.distance5;
    return i.bytes;
  }
  i << d.unitsCode << d.charStyleMode << d.valueByte1 << d.valueByte2 << d.distance1 << d.distance2 << d.distance3
    << d.lineSpacing << d.distance4 << d.distance5;
  for (const ParaStopEntry& stop : d.stops) i << stop.value << stop.byte1 << stop.byte2 << stop.word;
  i << d.lockMask << d.lineSpacingMode << charID;
  return i.bytes;
}

struct Layout {
  const char* what;
  WORD version;
  bool versioned;
};
const Layout kLayouts[] = {{"4 without versions", 4, false}, {"4", 4, true}, {"3", 3, true}, {"2", 2, true}};

class TextParaPersistenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ArchiveRegisterClassVersion(&CLSID_JStyleTextPara, 4);
    ClearReports();
  }

  static IJStyleTextPara* Styled(const TextParaData& values) {
    IJStyleTextPara* para = NewPara();
    EXPECT_EQ(para->SetParaData(&values, 1), S_OK);
    return para;
  }
  static HRESULT Store(IJStyleTextPara* para, TestArchive& archive, const Layout& layout) {
    if (layout.versioned) ArchiveSetClassVersion(archive.get(), &CLSID_JStyleTextPara, layout.version);
    return Query<IJPersist>(para, IID_IJPersist)->Store(archive.get());
  }
  static HRESULT Load(IJStyleTextPara* para, TestArchive& archive, DWORD extraFlags = 0) {
    archive.Reload(extraFlags);
    return Query<IJPersist>(para, IID_IJPersist)->Load(archive.get());
  }
  static DWORD Flags(const Layout& layout) {
    return ARCHIVE_STORING | (layout.versioned ? DWORD{ARCHIVE_VERSIONED} : 0);
  }
  static std::size_t BodySize(const Layout& layout) { return layout.version == 4 ? kCurrentBody : kOlderBody; }
  // The stored record with its body replaced.
  static void ReplaceBody(TestArchive& archive, const Layout& layout, const std::vector<BYTE>& body) {
    std::vector<BYTE> bytes = archive.Bytes();
    bytes.resize(bytes.size() - BodySize(layout));
    bytes.insert(bytes.end(), body.begin(), body.end());
    ArchiveSetData(archive.get(), bytes.data(), static_cast<DWORD>(bytes.size()));
  }
  static DWORD CharID(IJStyleTextPara* para) {
    DWORD id = 0xDEAD;
    EXPECT_EQ(para->GetCharStyleID(&id), S_OK);
    return id;
  }
};

// The current record carries the mode in the high half of a u32 and no stops, so storing it clears them; an
// older record keeps them. A current record takes its units from the base record.
TEST_F(TextParaPersistenceTest, RecordsMatchHandBuiltImagesBothWays) {
  for (const Layout& layout : kLayouts) {
    SCOPED_TRACE(layout.what);
    const TextParaData written = ParaValues(1);
    IJStyleTextPara* style = Styled(written);
    TestArchive archive(Flags(layout));
    ASSERT_EQ(Store(style, archive, layout), S_OK);
    const std::vector<BYTE> bytes = archive.Bytes();
    const std::vector<BYTE> body = Body(written, 0, layout.version);
    ASSERT_EQ(body.size(), BodySize(layout));
    EXPECT_TRUE(std::equal(body.begin(), body.end(), bytes.end() - static_cast<long>(body.size())));
    if (!layout.versioned) {
      // The base record: units 12 as 2 in the flags, style ID 0.
      const std::vector<BYTE> base = (ByteImage() << WORD{2} << DWORD{0} << DWORD{0} << DWORD{0}).bytes;
      EXPECT_EQ(std::vector<BYTE>(bytes.begin(), bytes.end() - static_cast<long>(body.size())), base);
    }
    TextParaData kept = written;
    if (layout.version == 4) std::memset(kept.stops, 0, sizeof kept.stops);
    EXPECT_TRUE(SameBytes(ReadPara(style), kept));

    TextParaData read = ParaValues(2);
    read.lineSpacingMode = 7;
    read.lineSpacing = -0.5;  // a paragraph may hold one
    ReplaceBody(archive, layout, Body(read, 7, layout.version));
    IJStyleTextPara* loaded = Styled(ParaValues(5));
    ASSERT_EQ(Load(loaded, archive), S_OK);
    if (layout.version == 4) {
      read.unitsCode = written.unitsCode;
      std::memset(read.stops, 0, sizeof read.stops);
    }
    if (layout.version == 2) read.lineSpacingMode = 17;
    EXPECT_TRUE(SameBytes(ReadPara(loaded), read));
    EXPECT_EQ(CharID(loaded), 7u);
    loaded->Release();
    style->Release();
  }
  EXPECT_THAT(Reports(), ::testing::IsEmpty());
}

// The modes of a version-2 record become today's, and only when the record loaded without fault; a version-3
// record keeps its mode.
TEST_F(TextParaPersistenceTest, OldModesAreRemappedOnlyAfterASoundLoad) {
  const DWORD modes[][2] = {{0, 0},   {1, 2},   {2, 1},   {3, 1},   {4, 32},  {5, 17},  {15, 17},
                            {16, 16}, {17, 18}, {18, 17}, {19, 18}, {20, 18}, {21, 17}, {31, 17},
                            {32, 16}, {33, 18}, {34, 17}, {35, 16}, {36, 17}, {200, 17}};
  const Layout& v2 = kLayouts[3];
  const Layout& v3 = kLayouts[2];
  for (const auto& [stored, becomes] : modes) {
    for (const Layout* layout : {&v2, &v3}) {
      TextParaData d = ParaValues(0);
      d.lineSpacingMode = stored;
      IJStyleTextPara* style = Styled(d);
      TestArchive archive(Flags(*layout));
      ASSERT_EQ(Store(style, archive, *layout), S_OK);
      ASSERT_EQ(Load(style, archive), S_OK);
      DWORD mode = 0;
      double spacing = 0;
      EXPECT_EQ(style->GetLineSpacingWithMode(&spacing, &mode), S_OK);
      EXPECT_EQ(mode, layout == &v2 ? becomes : stored) << stored << " in version " << layout->version;
      style->Release();
    }
  }
  // A record that cannot be taken keeps the mode the style had.
  TextParaData d = ParaValues(0);
  d.unitsCode = 0;
  d.charStyleMode = 1;
  d.lineSpacingMode = 1;
  TestArchive archive(Flags(v2));
  IJStyleTextPara* style = NewPara();
  ASSERT_EQ(Store(style, archive, v2), S_OK);
  ReplaceBody(archive, v2, Body(d, 0, 2));
  EXPECT_EQ(Load(style, archive), E_NOINTERFACE);
  IJStyleTextPara* fresh = NewPara();
  EXPECT_TRUE(SameBytes(ReadPara(style), ReadPara(fresh)));
  fresh->Release();
  style->Release();
}

// A record without units takes units 11, unless its paragraph holds its character style as an object: that
// one is refused, reported, and the style stays as it was.
TEST_F(TextParaPersistenceTest, RecordWithoutUnitsTakesUnits11UnlessHeldAsObject) {
  for (const Layout& layout : kLayouts) {
    for (BYTE mode : {BYTE{0}, BYTE{1}}) {
      const std::string what = std::string(layout.what) + " mode " + std::to_string(mode);
      TextParaData d = ParaValues(3);
      d.unitsCode = 0;
      d.charStyleMode = mode;
      IJStyleTextPara* source = Styled(d);
      TestArchive archive(Flags(layout));
      ASSERT_EQ(Store(source, archive, layout), S_OK);
      IJStyleTextPara* target = Styled(ParaValues(4));
      const TextParaData before = ReadPara(target);
      ClearReports();
      const HRESULT hr = Load(target, archive);
      if (mode == 0) {
        EXPECT_EQ(hr, S_OK) << what;
        DWORD units = 0;
        EXPECT_EQ(target->GetParaUnits(&units), S_OK);
        EXPECT_EQ(units, 11u) << what;
      } else {
        EXPECT_EQ(hr, E_NOINTERFACE) << what;
        EXPECT_FALSE(Reports().empty()) << what;
        EXPECT_TRUE(SameBytes(ReadPara(target), before)) << what;
      }
      source->Release();
      target->Release();
    }
  }
}

// A record cut short anywhere, or damaged so that no setter could have given it, fails reported; the style keeps
// its record, its style ID and its character style, and nothing is left allocated. A mode the current record
// cannot carry is refused when stored.
TEST_F(TextParaPersistenceTest, DamagedOrCutRecordsLeaveTheStyleAsItWas) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const auto of = [](auto value) {
    std::vector<BYTE> b(sizeof value);
    std::memcpy(b.data(), &value, sizeof value);
    return b;
  };
  const struct {
    const char* what;
    const Layout& layout;
    long at;  // from the body's start; negative: from its end
    std::vector<BYTE> bytes;
  } damages[] = {
      {"units 15 in the base record", kLayouts[0], -static_cast<long>(kCurrentBody) - 14, of(WORD{5})},
      {"distance 1 NaN", kLayouts[0], 16, of(nan)},
      {"distance 5 negative", kLayouts[1], 56, of(-1.0)},
      {"line spacing infinite", kLayouts[1], 40, of(std::numeric_limits<double>::infinity())},
      {"units 7", kLayouts[2], 0, of(DWORD{7})},
      {"units 10", kLayouts[3], 0, of(DWORD{10})},
      {"distance 3 negative", kLayouts[2], 7 + 16, of(-0.25)},
  };
  StyleComPtr<IUnknown> text(NewCharStyle());
  IJStyleTextPara* source = Styled(ParaValues(0));
  IJStyleTextPara* target = Styled(ParaValues(3));
  ASSERT_EQ(target->SetCharStyle(text.Get(), 1), S_OK);
  StyleComPtr<IJManageStyle2> manage = Query<IJManageStyle2>(target, IID_IJManageStyle2);
  ASSERT_EQ(manage->SetID(77), S_OK);
  const TextParaData before = ReadPara(target);
  const LONG blocks = EngineLiveBlocks();
  const auto loadFails = [&](TestArchive& archive, const std::string& what) {
    ClearReports();
    EXPECT_TRUE(FAILED(Load(target, archive))) << what;
    EXPECT_FALSE(Reports().empty()) << what;
    EXPECT_TRUE(SameBytes(ReadPara(target), before)) << what;
    DWORD id = 0;
    EXPECT_EQ(manage->GetID(nullptr, &id), S_OK);
    EXPECT_EQ(id, 77u) << what;
    EXPECT_EQ(EngineLiveBlocks(), blocks) << what;
  };
  for (const auto& damage : damages) {
    TestArchive archive(Flags(damage.layout));
    ASSERT_EQ(Store(source, archive, damage.layout), S_OK);
    std::vector<BYTE> bytes = archive.Bytes();
    const long bodyAt = static_cast<long>(bytes.size() - BodySize(damage.layout));
    const long at = damage.at >= 0 ? bodyAt + damage.at : static_cast<long>(bytes.size()) + damage.at;
    std::copy(damage.bytes.begin(), damage.bytes.end(), bytes.begin() + at);
    ArchiveSetData(archive.get(), bytes.data(), static_cast<DWORD>(bytes.size()));
    loadFails(archive, damage.what);
  }
  for (const Layout& layout : kLayouts) {
    TestArchive archive(Flags(layout));
    ASSERT_EQ(Store(source, archive, layout), S_OK);
    const std::vector<BYTE> whole = archive.Bytes();
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
      ArchiveSetData(archive.get(), whole.data(), static_cast<DWORD>(cut));
      loadFails(archive, "cut at " + std::to_string(cut) + " of version " + layout.what);
    }
  }

  ASSERT_EQ(source->SetLineSpacingWithMode(1.0, 0x10000), S_OK);
  for (const Layout& layout : kLayouts) {
    TestArchive archive(Flags(layout));
    ClearReports();
    EXPECT_EQ(Store(source, archive, layout), layout.version == 4 ? E_FAIL : S_OK) << layout.what;
  }
  source->Release();
  target->Release();
}

}  // namespace

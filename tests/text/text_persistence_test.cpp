// The character style's records: versions 3 and 2 against hand-built images in both directions, what storing
// settles, the name's 16-bit count, and damaged or truncated records, which leave the style as it was.
#include <limits>

#include "tests/text/text_fixtures.h"

using stylesrv_test::ClearReports;
using stylesrv_test::Reports;

namespace {

struct Image {
  template <class T>
  Image& operator<<(T value) {
    const auto* p = reinterpret_cast<const BYTE*>(&value);
    bytes.insert(bytes.end(), p, p + sizeof value);
    return *this;
  }
  std::vector<BYTE> bytes;
};

std::vector<BYTE> operator+(std::vector<BYTE> a, const std::vector<BYTE>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The record fields in the order of the version's layout, after the base part.
std::vector<BYTE> Body(const TextCharData& d, const std::wstring& name, WORD version) {
  Image i;
  const auto chars = [&] {
    for (wchar_t c : name) i << static_cast<WCHAR>(c);
  };
  const auto four = [&] {
    for (BYTE b : d.fourBytes) i << b;
  };
  if (version == 3) {
    i << d.lockMask << d.language << d.attributeBits << d.colour << d.valueByte1 << d.valueByte2 << d.valueByte3
      << static_cast<BYTE>(d.sizeUnits) << d.size << WORD{0} << d.thousandths << d.factor << d.percent;
    four();
    i << d.spareByte1 << d.scaledLength << d.angle << d.spareByte2 << static_cast<WORD>(name.size());
    chars();
  } else {
    i << d.unitsCode << static_cast<DWORD>(name.size());
    chars();
    i << d.language << d.attributeBits << d.valueByte1 << d.spareByte1 << d.colour << d.sizeUnits << d.valueByte2
      << d.valueByte3 << d.size << d.thousandths << d.factor << d.percent;
    four();
    i << d.scaledLength << d.angle << d.spareByte2 << d.lockMask;
  }
  return i.bytes;
}

// A record whose every field differs with the seed.
TextCharData Values(int s) {
  const auto b = [](int v) { return static_cast<BYTE>(v); };
  const auto w = [](int v) { return static_cast<WORD>(v); };
  const auto c = [](int v) { return static_cast<signed char>(v); };
  return TextCharData{11u + s % 4, nullptr, w(0x0407 + s), w(0x1230 + s), b(s + 1), b(s + 2), {}, 0x00A0B0u + s,
                      10u + s % 5, b(s + 3), b(s + 4), {}, 2.5 + s, w(700 + s), {}, 1.5f + s, c(-3 - s),
                      {b(4 * s), b(4 * s + 1), b(4 * s + 2), b(4 * s + 3)}, 0, w(9 + s), c(s - 45), b(s + 5), {},
                      0x4001u + s};
}

class TextPersistenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ArchiveRegisterClassVersion(&CLSID_JStyleTextChar, 3);
    SetFonts({{L"Ab", {0x0407, 0x0408}}, {L"Xyz", {0x0408}}});
    ClearReports();
  }
  void TearDown() override { SetFonts({}); }

  static StyleComPtr<IJStyleTextChar> Styled(const TextCharData& values, const wchar_t* name) {
    StyleComPtr<IJStyleTextChar> style = NewTextChar();
    TextCharData data = values;
    data.fontName = const_cast<LPWSTR>(name);
    EXPECT_EQ(style->SetCharData(&data), S_OK);
    return StyleComPtr<IJStyleTextChar>(style.Detach());
  }
  // Version 3 without class headers, version 2 with them.
  static DWORD Flags(WORD version) { return ARCHIVE_STORING | (version == 2 ? DWORD{ARCHIVE_VERSIONED} : 0); }
  static HRESULT Store(IJStyleTextChar* style, TestArchive& archive, WORD version) {
    if (version == 2) ArchiveSetClassVersion(archive.get(), &CLSID_JStyleTextChar, 2);
    return QueryText<IJPersist>(style, IID_IJPersist)->Store(archive.get());
  }
  static HRESULT Load(IJStyleTextChar* style, TestArchive& archive) {
    archive.Reload();
    return QueryText<IJPersist>(style, IID_IJPersist)->Load(archive.get());
  }
};

// Storing writes an unset colour as 0 in a current record, and the style keeps 0; loading turns the old
// language codes into today's.
TEST_F(TextPersistenceTest, RecordsMatchHandBuiltImagesBothWays) {
  const WORD keyboard = LOWORD(reinterpret_cast<UINT_PTR>(GetKeyboardLayout(0)));
  for (WORD version : {WORD{3}, WORD{2}}) {
    SCOPED_TRACE(version);
    TextCharData written = Values(0);
    written.colour = 0xFFFFFFFF;
    StyleComPtr<IJStyleTextChar> style = Styled(written, L"Ab");
    TestArchive archive(Flags(version));
    ASSERT_EQ(Store(style.Get(), archive, version), S_OK);
    if (version == 3) written.colour = 0;
    EXPECT_EQ(ReadRecord(style.Get()).data.colour, written.colour);
    std::vector<BYTE> bytes = archive.Bytes();
    const std::vector<BYTE> body = Body(written, L"Ab", version);
    ASSERT_EQ(body.size(), (version == 3 ? 44u : 51u) + 4u);
    const std::size_t bodyAt = bytes.size() - body.size();
    EXPECT_TRUE(std::equal(body.begin(), body.end(), bytes.begin() + bodyAt));
    if (version == 3) {
      EXPECT_EQ(bytes, (Image() << WORD{1} << DWORD{0} << DWORD{0} << DWORD{0}).bytes + body);
    }

    // Another image in the body's place: the old language codes, an unset colour, no name.
    TextCharData read = Values(1);
    read.language = version == 3 ? 0 : 9;
    read.colour = 0xFFFFFFFF;
    bytes.resize(bodyAt);
    bytes = bytes + Body(read, L"", version);
    ArchiveSetData(archive.get(), bytes.data(), static_cast<DWORD>(bytes.size()));
    StyleComPtr<IJStyleTextChar> loaded = Styled(Values(2), L"Xyz");
    ASSERT_EQ(Load(loaded.Get(), archive), S_OK);
    const CharRecord got = ReadRecord(loaded.Get());
    // A current record takes its units code from the base record.
    if (version == 3) read.unitsCode = written.unitsCode;
    read.language = version == 3 ? keyboard : 1033;
    if (version == 3) read.colour = 0;
    EXPECT_EQ(std::memcmp(&got.data, &read, sizeof read), 0);
    EXPECT_EQ(got.baseUnits, read.unitsCode);
    EXPECT_FALSE(got.hasName);
  }
  EXPECT_THAT(Reports(), ::testing::IsEmpty());
}

// The current record counts the name in 16 bits: a longer name is refused before anything is written.
TEST_F(TextPersistenceTest, NameCountedIn16Bits) {
  for (DWORD flags : {DWORD{ARCHIVE_STORING}, DWORD{ARCHIVE_STORING | ARCHIVE_VERSIONED}}) {
    const std::wstring longest(0xFFFF, L'n');
    StyleComPtr<IJStyleTextChar> style = NewTextChar();
    ASSERT_EQ(style->SetFontName(longest.c_str()), S_OK);
    TestArchive archive(flags);
    ASSERT_EQ(Store(style.Get(), archive, 3), S_OK);
    StyleComPtr<IJStyleTextChar> loaded = NewTextChar();
    ASSERT_EQ(Load(loaded.Get(), archive), S_OK);
    EXPECT_EQ(ReadRecord(loaded.Get()).name, longest);

    ASSERT_EQ(style->SetFontName((longest + L"n").c_str()), S_OK);
    TestArchive refused(flags);
    ClearReports();
    EXPECT_EQ(Store(style.Get(), refused, 3), E_FAIL) << flags;
    EXPECT_EQ(ArchiveSize(refused.get()), 0u);
    ASSERT_FALSE(Reports().empty());
    EXPECT_STREQ(Reports().front().source, kTextSource);
  }
}

// A record cut short anywhere, or damaged in its counts, sizes or units, fails reported; the style keeps every
// value, its base part's included, and nothing is left allocated.
TEST_F(TextPersistenceTest, DamagedRecordsLeaveTheStyleAsItWas) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Damage {
    const char* what;
    WORD version;
    long at;  // from the body's start; negative: from the record's start
    std::vector<BYTE> bytes;
  };
  const auto of = [](auto value) {
    std::vector<BYTE> b(sizeof value);
    std::memcpy(b.data(), &value, sizeof value);
    return b;
  };
  // With the two-character name "Ab" the version-2 body has its size units at 22 and its size at 28.
  const Damage damages[] = {
      {"name count past the record", 3, 42, of(WORD{0xFFFF})}, {"name count one too many", 3, 42, of(WORD{3})},
      {"size NaN", 3, 16, of(nan)},          {"size infinite", 3, 16, of(inf)},
      {"size negative", 3, 16, of(-1.0)},    {"size 0", 3, 16, of(0.0)},
      {"size units 9", 3, 15, of(BYTE{9})},  {"size units 15", 3, 15, of(BYTE{15})},
      {"units code 15 in the base record", 3, -14, of(WORD{5})},
      {"name count huge", 2, 4, of(DWORD{0x80000000})}, {"name count past the record", 2, 4, of(DWORD{24})},
      {"units code 10", 2, 0, of(DWORD{10})}, {"size NaN", 2, 28, of(nan)},
      {"size units 16", 2, 22, of(DWORD{16})},
  };
  StyleComPtr<IJStyleTextChar> source = Styled(Values(0), L"Ab");
  StyleComPtr<IJStyleTextChar> target = Styled(Values(3), L"Xyz");
  const CharRecord before = ReadRecord(target.Get());
  const LONG blocks = EngineLiveBlocks();
  const auto loadFails = [&](TestArchive& archive, const std::string& what) {
    ClearReports();
    const HRESULT hr = Load(target.Get(), archive);
    EXPECT_TRUE(FAILED(hr)) << what;
    EXPECT_FALSE(Reports().empty()) << what;
    EXPECT_TRUE(SameRecord(ReadRecord(target.Get()), before)) << what;
    EXPECT_EQ(EngineLiveBlocks(), blocks) << what;
    return hr;
  };
  for (const Damage& damage : damages) {
    TestArchive archive(Flags(damage.version));
    ASSERT_EQ(Store(source.Get(), archive, damage.version), S_OK);
    const std::size_t size = ArchiveSize(archive.get());
    const std::size_t bodyAt = size - (damage.version == 3 ? 48 : 55);
    std::vector<BYTE> bytes = archive.Bytes();
    std::copy(damage.bytes.begin(), damage.bytes.end(), bytes.begin() + (static_cast<long>(bodyAt) + damage.at));
    ArchiveSetData(archive.get(), bytes.data(), static_cast<DWORD>(bytes.size()));
    const std::string what = std::string(damage.what) + " (version " + std::to_string(damage.version) + ")";
    EXPECT_EQ(loadFails(archive, what), E_FAIL) << what;
  }
  for (WORD version : {WORD{3}, WORD{2}}) {
    TestArchive archive(Flags(version));
    ASSERT_EQ(Store(source.Get(), archive, version), S_OK);
    const std::vector<BYTE> whole = archive.Bytes();
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
      ArchiveSetData(archive.get(), whole.data(), static_cast<DWORD>(cut));
      loadFails(archive, "cut at " + std::to_string(cut) + " of version " + std::to_string(version));
    }
  }
}

}  // namespace

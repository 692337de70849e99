// The character style's values: what its setters take and refuse, the record handed over whole, copies with the
// lock mask, comparisons, and its interface at its places.
#include <functional>
#include <limits>
#include <tuple>

#include "tests/text/text_fixtures.h"

using stylesrv_test::CallSlot;
using stylesrv_test::ClearReports;
using stylesrv_test::Reports;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class TextCharTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetFonts({{L"Arial", {1033, 1031}}});
    ClearReports();
  }
  void TearDown() override { SetFonts({}); }
};

TEST_F(TextCharTest, NewStyleAndWhatEachSetterTakesOrRefuses) {
  const CharRecord fresh = ReadRecord(NewTextChar().Get());
  EXPECT_EQ(fresh.baseUnits, 13u);
  EXPECT_EQ(fresh.data.unitsCode, 0u);
  EXPECT_EQ(fresh.data.size, 12.0);
  EXPECT_EQ(fresh.data.sizeUnits, 11u);
  EXPECT_EQ(fresh.data.language, 0);
  EXPECT_FALSE(fresh.hasName);

  using Set = std::function<HRESULT(IJStyleTextChar*)>;
  using Field = std::function<double(const CharRecord&)>;
  const Field angle = [](auto& r) { return r.data.angle; }, percent = [](auto& r) { return r.data.percent; };
  const Field size = [](auto& r) { return r.data.size; }, sizeUnits = [](auto& r) { return r.data.sizeUnits; };
  const Field units = [](auto& r) { return r.data.unitsCode * 100.0 + r.baseUnits; };
  const Field name = [](auto& r) { return static_cast<double>(r.name.size()); };  // "Arial" before
  const Field four = [](auto& r) {
    DWORD value;
    std::memcpy(&value, r.data.fourBytes, sizeof value);
    return static_cast<double>(value);
  };
  const std::string long255(255, 'x'), long256(256, 'x');
  const struct {
    const char* what;
    Set set;
    HRESULT expected;
    Field field;
    double value;
  } rows[] = {
      {"angle 90", [](auto* s) { return s->SetAngle(90.0); }, E_INVALIDARG, angle, 0},
      {"angle -90", [](auto* s) { return s->SetAngle(-90.0); }, E_INVALIDARG, angle, 0},
      {"angle NaN", [](auto* s) { return s->SetAngle(kNaN); }, E_INVALIDARG, angle, 0},
      {"angle 45.7", [](auto* s) { return s->SetAngle(45.7); }, S_OK, angle, 45},
      {"angle -89.9", [](auto* s) { return s->SetAngle(-89.9); }, S_OK, angle, -89},
      {"percent 0.257", [](auto* s) { return s->SetPercent(0.257); }, S_OK, percent, 25},
      {"percent past a byte", [](auto* s) { return s->SetPercent(2.55); }, S_OK, percent, -2},  // 254's low byte
      {"percent NaN", [](auto* s) { return s->SetPercent(kNaN); }, S_OK, percent, 0},
      {"percent past 32 bits", [](auto* s) { return s->SetPercent(3e7); }, S_OK, percent, 0},
      {"size 0", [](auto* s) { return s->SetSize(0.0, 11); }, E_INVALIDARG, size, 12},
      {"size NaN", [](auto* s) { return s->SetSize(kNaN, 11); }, E_INVALIDARG, size, 12},
      {"size infinite", [](auto* s) { return s->SetSize(kInf, 11); }, E_INVALIDARG, size, 12},
      {"size units 9", [](auto* s) { return s->SetSize(1.0, 9); }, E_INVALIDARG, sizeUnits, 11},
      {"size units 10", [](auto* s) { return s->SetSize(1.0, 10); }, S_OK, sizeUnits, 10},
      {"units 10", [](auto* s) { return s->SetUnits(10); }, E_INVALIDARG, units, 13},
      {"units 14", [](auto* s) { return s->SetUnits(14); }, S_OK, units, 1414},
      {"factor past single precision", [](auto* s) { return s->SetFactor(1e39); }, E_INVALIDARG,
       [](auto& r) { return r.data.factor; }, 0},
      {"four bytes from nowhere", [](auto* s) { return s->SetFourBytes(nullptr); }, E_INVALIDARG, four, 0},
      {"four bytes", [](auto* s) { DWORD v = 0x01020304; return s->SetFourBytes(&v); }, S_OK, four, 0x01020304},
      {"empty name", [](auto* s) { return s->SetFontName(L""); }, E_OUTOFMEMORY, name, 5},
      {"narrow name of 255", [&](auto* s) { return s->SetFontNameA(long255.c_str()); }, S_OK, name, 255},
      {"narrow name of 256", [&](auto* s) { return s->SetFontNameA(long256.c_str()); }, E_INVALIDARG, name, 5},
      {"empty narrow name", [](auto* s) { return s->SetFontNameA(""); }, E_OUTOFMEMORY, name, 5},
  };
  for (const auto& row : rows) {
    StyleComPtr<IJStyleTextChar> style = NewTextChar();
    ASSERT_EQ(style->SetFontName(L"Arial"), S_OK);
    EXPECT_EQ(row.set(style.Get()), row.expected) << row.what;
    EXPECT_EQ(row.field(ReadRecord(style.Get())), row.value) << row.what;
  }
  double fraction = 0;
  StyleComPtr<IJStyleTextChar> style = NewTextChar();
  style->SetPercent(0.257);
  ASSERT_EQ(style->GetPercent(&fraction), S_OK);
  EXPECT_DOUBLE_EQ(fraction, 0.25);
}

// A record's refused size becomes 1.0, a refused units code keeps the old one; the rest is taken all the same.
TEST_F(TextCharTest, WholeRecordTakesWhatItCanAndSaysWhatItRefused) {
  const struct {
    double size;
    DWORD units, sizeUnits;
    HRESULT expected;
    double keptSize;
    DWORD keptUnits, keptSizeUnits;
  } rows[] = {
      {3.0, 12, 10, S_OK, 3.0, 12, 10},          {0.0, 12, 12, E_INVALIDARG, 1.0, 12, 12},
      {-2.0, 12, 12, E_INVALIDARG, 1.0, 12, 12}, {kNaN, 12, 12, E_INVALIDARG, 1.0, 12, 12},
      {kInf, 12, 12, E_INVALIDARG, 1.0, 12, 12}, {3.0, 10, 12, E_INVALIDARG, 3.0, 14, 12},
      {3.0, 15, 12, E_INVALIDARG, 3.0, 14, 12},  {3.0, 12, 9, E_INVALIDARG, 3.0, 12, 13},
      {3.0, 12, 15, E_INVALIDARG, 3.0, 12, 13},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.size << " " << row.units << " " << row.sizeUnits);
    StyleComPtr<IJStyleTextChar> style = NewTextChar();
    ASSERT_EQ(style->SetUnits(14), S_OK);
    ASSERT_EQ(style->SetSize(5.0, 13), S_OK);
    TextCharData data{};
    data.fontName = const_cast<LPWSTR>(L"Arial");
    data.size = row.size;
    data.unitsCode = row.units;
    data.sizeUnits = row.sizeUnits;
    data.colour = 0x123456;
    EXPECT_EQ(style->SetCharData(&data), row.expected);
    const CharRecord r = ReadRecord(style.Get());
    EXPECT_EQ(r.data.size, row.keptSize);
    EXPECT_EQ(r.data.unitsCode, row.keptUnits);
    EXPECT_EQ(r.baseUnits, row.keptUnits);
    EXPECT_EQ(r.data.sizeUnits, row.keptSizeUnits);
    EXPECT_EQ(r.data.colour, 0x123456u);
    EXPECT_EQ(r.name, L"Arial");
  }

  // Handed out, the filler is zero and the name goes where the caller wants it: into its buffer, or a copy.
  for (const wchar_t* name : {L"Arial", L""}) {
    StyleComPtr<IJStyleTextChar> style = NewTextChar();
    if (*name) {
      ASSERT_EQ(style->SetFontName(name), S_OK);
    }
    TextCharData data;
    std::memset(&data, 0xCC, sizeof data);
    WCHAR buffer[8];
    data.fontName = buffer;
    ASSERT_EQ(style->GetCharData(&data), S_OK);
    EXPECT_EQ(data.fontName, buffer);
    EXPECT_STREQ(buffer, name);
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&data);
    for (std::size_t at : {14, 15, 26, 27, 28, 29, 30, 31, 42, 43, 53, 58, 59}) EXPECT_EQ(bytes[at], 0) << at;
    const CharRecord copy = ReadRecord(style.Get());
    EXPECT_EQ(copy.hasName, *name != 0);
    EXPECT_EQ(copy.name, name);
  }
  EXPECT_TRUE(Reports().empty());
}

// A partial copy leaves what this style's own mask locks; the mask and the spare bytes are never copied.
TEST_F(TextCharTest, PartialCopyLeavesLockedFields) {
  TextCharData data{};
  data.unitsCode = 12;
  data.fontName = const_cast<LPWSTR>(L"arial");
  data.language = 1033;
  data.spareByte1 = 7;
  data.colour = 0xABCDEF;
  data.sizeUnits = 14;
  data.size = 8.5;
  data.factor = 0.75f;
  data.percent = 29;  // 0.29 read back and multiplied by 100 is 28.999...
  data.angle = -30;
  data.spareByte2 = 8;
  data.lockMask = 0xFFFF;
  StyleComPtr<IJStyleTextChar> source = NewTextChar();
  ASSERT_EQ(source->SetCharData(&data), S_OK);
  const struct {
    DWORD lock;
    bool unitsKept, sizeKept, factorKept, nameKept, percentKept;
  } rows[] = {
      {0x0000, false, false, false, false, false},
      {0x2000, true, true, true, false, false},
      {0x0002, false, true, false, false, false},
      {0x0070, false, false, true, true, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.lock);
    StyleComPtr<IJStyleTextChar> target = NewTextChar();
    ASSERT_EQ(target->SetFontName(L"Arial"), S_OK);
    ASSERT_EQ(target->SetLockMask(row.lock), S_OK);
    const TextCharData before = ReadRecord(target.Get()).data;
    ASSERT_EQ(QueryText<IJManageStyle2>(target.Get(), IID_IJManageStyle2)->CopyFrom(source.Get(), 1), S_OK);
    const CharRecord after = ReadRecord(target.Get());
    EXPECT_EQ(after.data.unitsCode, (row.unitsKept ? before : data).unitsCode);
    EXPECT_EQ(after.data.size, (row.sizeKept ? before : data).size);
    EXPECT_EQ(after.data.sizeUnits, (row.sizeKept ? before : data).sizeUnits);
    EXPECT_EQ(after.data.factor, (row.factorKept ? before : data).factor);
    EXPECT_EQ(after.name, row.nameKept ? L"Arial" : L"arial");
    EXPECT_EQ(after.data.percent, (row.percentKept ? before : data).percent);
    EXPECT_EQ(after.data.colour, 0xABCDEFu);
    EXPECT_EQ(after.data.angle, -30);
    EXPECT_EQ(after.data.lockMask, row.lock);
    EXPECT_EQ(after.data.spareByte1 + after.data.spareByte2, 0);
  }

  // A source without a name passes that on, and a whole copy takes everything.
  StyleComPtr<IJStyleTextChar> nameless = NewTextChar(), target = NewTextChar();
  ASSERT_EQ(target->SetFontName(L"Arial"), S_OK);
  ASSERT_EQ(QueryText<IJManageStyle2>(target.Get(), IID_IJManageStyle2)->CopyFrom(nameless.Get(), 1), S_OK);
  EXPECT_FALSE(ReadRecord(target.Get()).hasName);
  ASSERT_EQ(QueryText<IJManageStyle2>(target.Get(), IID_IJManageStyle2)->CopyFrom(source.Get(), 0), S_OK);
  EXPECT_TRUE(SameRecord(ReadRecord(target.Get()), ReadRecord(source.Get())));
}

TEST_F(TextCharTest, EqualityNeedsNamesOfTheSameCaseAndIgnoresTheUncomparedBytes) {
  const auto make = [](const wchar_t* name, const std::function<void(TextCharData&)>& change) {
    StyleComPtr<IJStyleTextChar> style = NewTextChar();
    TextCharData data{};
    data.fontName = const_cast<LPWSTR>(name);
    data.language = 1033;
    data.size = 2.0;
    data.sizeUnits = 11;
    if (change) change(data);
    EXPECT_EQ(style->SetCharData(&data), S_OK);
    return StyleComPtr<IJStyleTextChar>(style.Detach());
  };
  const struct {
    const char* what;
    const wchar_t* name;
    std::function<void(TextCharData&)> change;
    bool same;
  } rows[] = {
      {"alike", L"Arial", nullptr, true},
      {"name in another case", L"arial", nullptr, false},
      {"no names", nullptr, nullptr, false},
      {"size within the epsilon", L"Arial", [](auto& d) { d.size = 2.0 + 1e-8; }, true},
      {"size past it", L"Arial", [](auto& d) { d.size = 2.0 + 1e-6; }, false},
      {"factor", L"Arial", [](auto& d) { d.factor = 1e-3f; }, false},
      {"lock mask", L"Arial", [](auto& d) { d.lockMask = 1; }, false},
      {"four bytes and spares", L"Arial", [](auto& d) { d.fourBytes[0] = d.spareByte1 = d.spareByte2 = 1; }, true},
  };
  for (const auto& row : rows) {
    StyleComPtr<IJStyleTextChar> mine = make(row.name == nullptr ? nullptr : L"Arial", nullptr);
    StyleComPtr<IJStyleTextChar> other = make(row.name, row.change);
    BOOL same = !row.same;
    ASSERT_EQ(QueryText<IJManageStyle2>(mine.Get(), IID_IJManageStyle2)->IsSameStyle(other.Get(), &same), S_OK);
    EXPECT_EQ(same != FALSE, row.same) << row.what;
  }
}

TEST_F(TextCharTest, InterfaceAnswersAtItsPlaces) {
  StyleComPtr<IJStyleTextChar> style = NewTextChar();
  IJStyleTextChar* itf = style.Get();
  EXPECT_EQ(CallSlot(itf, 3, DWORD{12}), S_OK);         // SetUnits
  EXPECT_EQ(CallSlot(itf, 6, 2.5, DWORD{13}), S_OK);    // SetSize
  EXPECT_EQ(CallSlot(itf, 9, L"Arial"), S_OK);          // SetFontName
  EXPECT_EQ(CallSlot(itf, 14, DWORD{0x0000FF}), S_OK);  // SetColor
  EXPECT_EQ(CallSlot(itf, 39, DWORD{0x2000}), S_OK);    // SetLockMask2
  DWORD colour = 0, lock = 0, valueByte3 = 1;
  double size = 0;
  EXPECT_EQ(CallSlot(itf, 29, &colour), S_OK);                                // GetColor
  EXPECT_EQ(CallSlot(itf, 34, &lock), S_OK);                                  // GetLockMask
  EXPECT_EQ(CallSlot(itf, 22, &size, static_cast<DWORD*>(nullptr)), S_OK);   // GetSize
  EXPECT_EQ(CallSlot(itf, 33, &valueByte3), S_OK);                            // GetValueByte3
  EXPECT_EQ(CallSlot(itf, 29, static_cast<DWORD*>(nullptr)), E_INVALIDARG);  // reported
  EXPECT_EQ(std::make_tuple(colour, lock, size, valueByte3), std::make_tuple(0xFFul, 0x2000ul, 2.5, 0ul));
  TextCharData data{};
  EXPECT_EQ(CallSlot(itf, 37, &data), S_OK);  // GetCharData
  EXPECT_EQ(data.unitsCode, 12u);
  EXPECT_STREQ(data.fontName, L"Arial");
  CoTaskMemFree(data.fontName);
  EXPECT_THAT(Reports(), ::testing::ElementsAre(::testing::Field(&PellowReport::hr, E_INVALIDARG)));
}

}  // namespace

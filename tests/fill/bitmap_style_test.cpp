// The bitmap style: the picture drawn at a point at its converted size, its interface at its places, the bitmaps
// it owns, pictures of every depth through both record layouts, and damaged records.
#include <cmath>
#include <cstring>
#include <tuple>

#include "display/style/styles/JStyleBitmap.h"
#include "tests/fill/fill_fixtures.h"
#include "tests/lines/line_fixtures.h"

using stylesrv_test::CallSlot;
using stylesrv_test::ClearReports;
using stylesrv_test::Reports;
using ::testing::IsEmpty;

namespace {

constexpr char kSource[] = "STYLEBMP";
constexpr std::size_t kDibAt = 14 + 8 + 4;  // after the base record, the size and the mode
constexpr std::size_t kTableAt = kDibAt + 40;

struct Info {
  BITMAPINFOHEADER header;
  RGBQUAD colours[256];
  BITMAPINFO* get() { return reinterpret_cast<BITMAPINFO*>(this); }
};

std::size_t RowBytes(LONG width, WORD bits) { return (std::size_t(width) * bits + 31) / 32 * 4; }

// A DIB section whose table (up to 8 bits) has `used` entries, 0 for all, its table and pixels differing from
// byte to byte.
HBITMAP MakePicture(WORD bits, LONG width, LONG height, DWORD used = 0) {
  Info info{{sizeof(BITMAPINFOHEADER), width, height, 1, bits, BI_RGB, 0, 0, 0, used, 0}, {}};
  for (DWORD i = 0; i < (bits > 8 ? 0 : used ? used : 1u << bits); ++i) {
    info.colours[i] = {BYTE(i * 7 + 1), BYTE(i * 13 + 2), BYTE(255 - i), 0};
  }
  void* pixels = nullptr;
  HBITMAP picture = CreateDIBSection(nullptr, info.get(), DIB_RGB_COLORS, &pixels, nullptr, 0);
  for (std::size_t i = 0; picture && i < RowBytes(width, bits) * std::size_t(std::labs(height)); ++i) {
    static_cast<BYTE*>(pixels)[i] = BYTE(i * 37 + 11);
  }
  return picture;
}

// What GDI reads of a picture: header, table (up to 8 bits) and pixels, at its depth or at `asBits`.
struct Dib {
  BITMAPINFOHEADER header{};
  std::vector<DWORD> table;  // without the fourth byte
  std::vector<BYTE> pixels;
};
Dib ReadPicture(HBITMAP picture, WORD asBits = 0) {
  Dib dib;
  HDC dc = CreateCompatibleDC(nullptr);
  Info info{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  EXPECT_TRUE(GetDIBits(dc, picture, 0, 0, nullptr, info.get(), DIB_RGB_COLORS));
  dib.header = info.header;
  info.header.biBitCount = asBits ? asBits : info.header.biBitCount;
  info.header.biCompression = BI_RGB;
  info.header.biClrUsed = 0;
  const LONG rows = std::labs(info.header.biHeight);
  dib.pixels.resize(RowBytes(info.header.biWidth, info.header.biBitCount) * std::size_t(rows));
  EXPECT_EQ(GetDIBits(dc, picture, 0, rows, dib.pixels.data(), info.get(), DIB_RGB_COLORS), rows);
  for (DWORD i = 0; info.header.biBitCount <= 8 && i < (1u << info.header.biBitCount); ++i) {
    dib.table.push_back(RGB(info.colours[i].rgbRed, info.colours[i].rgbGreen, info.colours[i].rgbBlue));
  }
  DeleteDC(dc);
  return dib;
}

bool Alive(HBITMAP bitmap) { return GetObjectType(bitmap) == OBJ_BITMAP; }

class BitmapStyleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ArchiveRegisterClassVersion(&CLSID_JStyleBitmap, JStyleBitmap::kCurrentVersion);
    style = New();
    ClearReports();
  }
  void TearDown() override {
    if (style) style->Release();
  }
  static IJStyleBitmap* New() { return NewStyle<IJStyleBitmap>(CLSID_JStyleBitmap, IID_IJStyleBitmap); }
  static std::vector<BYTE> Store(IJStyleBitmap* of, DWORD flags = ARCHIVE_STORING, WORD version = 3) {
    TestArchive archive(flags);
    ArchiveSetClassVersion(archive.get(), &CLSID_JStyleBitmap, version);
    EXPECT_EQ(Query<IJPersist>(of, IID_IJPersist)->Store(archive.get()), S_OK);
    return archive.Bytes();
  }
  static HRESULT Load(IJStyleBitmap* into, const std::vector<BYTE>& bytes, DWORD flags = 0) {
    TestArchive archive(ARCHIVE_LOADING | flags);
    ArchiveSetData(archive.get(), bytes.data(), static_cast<DWORD>(bytes.size()));
    return Query<IJPersist>(into, IID_IJPersist)->Load(archive.get());
  }
  static HBITMAP Picture(IJStyleBitmap* of) {
    HBITMAP picture = nullptr, second = nullptr;
    of->GetBitmaps(&picture, &second);
    return picture;
  }
  // Units code, size and mode.
  static std::tuple<DWORD, double, DWORD> State(IJStyleBitmap* of) {
    DWORD units = 0, mode = 0;
    double size = 0;
    of->GetSizeAndUnits(&units, &size);
    of->GetMode(&mode);
    return {units, size, mode};
  }

  IJStyleBitmap* style = nullptr;
};

TEST_F(BitmapStyleTest, RenderHandsThePointPicturesModeAndConvertedSizeToTheTarget) {
  const struct {
    DWORD units;
    double size, drawn;  // with the scales 2, 3, 5
  } rows[] = {{12, 0.0, 3.0}, {11, 2.5, 5.0}, {13, 7.0, 5.0}, {14, 2.0, 2.0}, {0, -4.0, -4.0}};
  HBITMAP picture = MakePicture(8, 10, 3), second = MakePicture(1, 4, 4);
  ASSERT_EQ(style->SetBitmaps(picture, second), S_OK);
  ASSERT_EQ(style->SetMode(7), S_OK);
  StyleComPtr<IJStyleRender> render = Query<IJStyleRender>(style, IID_IJStyleRender);
  const RenderContextScales scales = Scales(2.0, 3.0, 5.0);
  TestGeometry at({4.0, -6.5, 1.0, 9.0, 9.0, 0.0});
  const tagStyleOverride record = EmptyRecord();
  for (const auto& row : rows) {
    ASSERT_EQ(style->SetSize(row.units, row.size), S_OK);
    TestTarget target;
    ASSERT_EQ(render->RenderWithContext(&at.record, target.target(), &scales, nullptr, &record, nullptr), S_OK);
    ASSERT_EQ(render->RenderWithContext(&at.record, target.target(), &scales, nullptr, nullptr, nullptr), S_OK);
    ASSERT_EQ(target.Calls().size(), 2u) << row.units;
    for (const SitheCall& call : target.Calls()) {
      EXPECT_STREQ(call.name, "DrawBitmap");
      EXPECT_EQ(std::make_tuple(call.d[0], call.d[1], call.size, call.mode, call.u[0], call.u[1]),
                std::make_tuple(-6.5, 4.0, row.drawn, 7u, DWORD(ULONG_PTR(picture)), DWORD(ULONG_PTR(second))));
    }
  }
  EXPECT_THAT(Reports(), IsEmpty());
}

TEST_F(BitmapStyleTest, BadArgumentsAreRefusedAndReported) {
  JStyleBitmap* object = AsStyle<JStyleBitmap>(stylesrv_test::IdentityOf(style));
  TestTarget target;
  TestGeometry good({1, 2, 0}), noList({1, 2, 0}), noPoints({1, 2, 0}), none({1, 2, 0}), nan({NAN, 2, 0});
  noList.record.pointList = nullptr;
  noPoints.run.points = nullptr;
  none.run.count = 0;
  tagStyleOverride record = EmptyRecord();
  const RenderContextScales scales = UnitScales(), infinite = Scales(1.0, INFINITY, 1.0);
  const auto draw = [&](const TestGeometry* at, IRenderTarget2d* to, tagStyleOverride* with,
                        const RenderContextScales* context = nullptr) {
    return object->Render(at ? &at->record : nullptr, to, context ? context : &scales, nullptr, with, TRUE, nullptr);
  };
  HBITMAP bitmap = nullptr;
  HBRUSH brush = CreateSolidBrush(0);
  ASSERT_EQ(style->SetSize(12, 1.0), S_OK);
  ExpectEachRefused({[&] { return draw(nullptr, target.target(), &record); },
                     [&] { return draw(&noList, target.target(), &record); },
                     [&] { return draw(&noPoints, target.target(), &record); },
                     [&] { return draw(&none, target.target(), &record); },
                     [&] { return draw(&good, nullptr, &record); },
                     [&] { return draw(&good, target.target(), nullptr); },
                     [&] { return draw(&nan, target.target(), &record); },
                     [&] { return draw(&good, target.target(), &record, &infinite); },
                     [&] { return style->SetSize(12, NAN); },
                     [&] { return style->SetSize(12, -INFINITY); },
                     [&] { return style->GetBitmaps(nullptr, &bitmap); },
                     [&] { return style->GetBitmaps(&bitmap, nullptr); },
                     [&] { return style->SetBitmaps(reinterpret_cast<HBITMAP>(brush), nullptr); },
                     [&] { return style->SetBitmap(reinterpret_cast<HBITMAP>(ULONG_PTR{0x7FFF0000})); }},
                    E_INVALIDARG, kSource);
  EXPECT_TRUE(target.Names().empty());
  EXPECT_EQ(State(style), std::make_tuple(12u, 1.0, 1u));
  EXPECT_TRUE(DeleteObject(brush));  // refused, so not taken
}

TEST_F(BitmapStyleTest, ExtentIsTheLongerSidePlusOne) {
  StyleComPtr<IJStyleRender> render = Query<IJStyleRender>(style, IID_IJStyleRender);
  for (const auto& [picture, value] : {std::make_pair(HBITMAP{}, 0u), std::make_pair(MakePicture(8, 10, 3), 11u),
                                       std::make_pair(MakePicture(1, 2, -40), 41u)}) {
    ASSERT_EQ(style->SetBitmap(picture), S_OK);
    StyleExtent extent{7, 1.0, 2.0};
    ASSERT_EQ(render->GetExtentDelta(&extent), S_OK);
    EXPECT_EQ(std::make_tuple(extent.value, extent.first, extent.second), std::make_tuple(value, 0.0, 0.0));
  }
}

TEST_F(BitmapStyleTest, InterfaceThroughThePlainTable) {
  HBITMAP a = MakePicture(1, 8, 8), b = MakePicture(4, 2, 2), c = MakePicture(8, 3, 3);
  HBITMAP picture = nullptr, first = nullptr, second = nullptr;
  DWORD units = 0, mode = 0;
  double size = 0;
  const HRESULT answers[] = {CallSlot(style, 3, a),          CallSlot(style, 4, &picture),
                             CallSlot(style, 5, DWORD{1}),   CallSlot(style, 6, DWORD{2}),
                             CallSlot(style, 7, b, c),       CallSlot(style, 8, &first, &second),
                             CallSlot(style, 9, DWORD{11}, 0.0), CallSlot(style, 10, &units, &size),
                             CallSlot(style, 11, DWORD{5}),  CallSlot(style, 12, &mode)};
  EXPECT_THAT(answers, ::testing::Each(S_OK));
  EXPECT_EQ(std::make_tuple(picture, first, second, units, size, mode), std::make_tuple(a, b, c, 11u, 1.0, 5u));
  EXPECT_FALSE(Alive(a));  // let go by SetBitmaps
}

// Bitmaps are let go when replaced or with the style, never while kept, and once when given as both.
TEST_F(BitmapStyleTest, OwnedBitmapsAreDeletedOnceAndOnlyWhenLetGo) {
  HBITMAP a = MakePicture(1, 8, 8), b = MakePicture(1, 8, 8), c = MakePicture(1, 8, 8), d = MakePicture(1, 8, 8);
  const struct {
    HBITMAP picture, second;
    std::vector<HBITMAP> alive, gone;
  } steps[] = {{a, b, {a, b}, {}}, {b, a, {a, b}, {}},    {b, nullptr, {b}, {a}},
               {c, c, {c}, {b}},   {nullptr, c, {c}, {}}, {d, d, {d}, {c}}};
  for (const auto& step : steps) {
    ASSERT_EQ(style->SetBitmaps(step.picture, step.second), S_OK);
    for (HBITMAP bitmap : step.alive) EXPECT_TRUE(Alive(bitmap));
    for (HBITMAP bitmap : step.gone) EXPECT_FALSE(Alive(bitmap));
  }
  style->Release();
  style = nullptr;
  EXPECT_FALSE(Alive(d));
  EXPECT_THAT(Reports(), IsEmpty());
}

TEST_F(BitmapStyleTest, ClonesAndCopiesHoldTheirOwnPicturesAndCompareUnequal) {
  HBITMAP picture = MakePicture(8, 5, 4, 16), second = MakePicture(32, 3, -2);
  ASSERT_EQ(style->SetBitmaps(picture, second), S_OK);
  style->SetSize(11, 2.5);
  style->SetMode(9);
  StyleComPtr<IJManageStyle2> manage = Query<IJManageStyle2>(style, IID_IJManageStyle2);
  IUnknown* object = nullptr;
  ASSERT_EQ(Query<IJPersist>(style, IID_IJPersist)->Clone(nullptr, &object), S_OK);
  StyleComPtr<IJStyleBitmap> clone = Query<IJStyleBitmap>(object, IID_IJStyleBitmap);
  object->Release();
  StyleComPtr<IJStyleBitmap> copy(New());
  ASSERT_EQ(Query<IJManageStyle2>(copy.Get(), IID_IJManageStyle2)->CopyFrom(style, 1), S_OK);
  for (IJStyleBitmap* other : {clone.Get(), copy.Get()}) {
    HBITMAP theirs[2] = {};
    other->GetBitmaps(&theirs[0], &theirs[1]);
    for (HBITMAP mine : {picture, second}) {
      const HBITMAP copied = theirs[mine == second];
      ASSERT_NE(copied, mine);
      const Dib a = ReadPicture(mine), b = ReadPicture(copied);
      EXPECT_EQ(std::make_tuple(b.header.biWidth, b.header.biHeight, b.header.biBitCount, b.table, b.pixels),
                std::make_tuple(a.header.biWidth, a.header.biHeight, a.header.biBitCount, a.table, a.pixels));
    }
    EXPECT_EQ(State(other), std::make_tuple(11u, 2.5, 9u));
    BOOL same = TRUE;
    ASSERT_EQ(manage->IsSameStyle(other, &same), S_OK);
    EXPECT_FALSE(same);
  }
  // Without pictures, sizes within the tolerance are the same; another units code is not.
  style->SetBitmaps(nullptr, nullptr);
  for (const auto& [units, size, same] : {std::make_tuple(11u, 2.5 + 1e-8, TRUE), std::make_tuple(12u, 2.5, FALSE)}) {
    copy->SetBitmaps(nullptr, nullptr);
    copy->SetSize(units, size);
    BOOL answer = !same;
    ASSERT_EQ(manage->IsSameStyle(copy.Get(), &answer), S_OK);
    EXPECT_EQ(answer, same);
  }
  // One handle as both bitmaps is copied once.
  picture = MakePicture(4, 6, 6);
  style->SetBitmaps(picture, picture);
  ASSERT_EQ(Query<IJManageStyle2>(copy.Get(), IID_IJManageStyle2)->CopyFrom(style, 0), S_OK);
  HBITMAP first = nullptr, again = nullptr;
  copy->GetBitmaps(&first, &again);
  EXPECT_EQ(first, again);
  EXPECT_NE(first, picture);
  copy.Reset();
  EXPECT_FALSE(Alive(first));
  EXPECT_THAT(Reports(), IsEmpty());
}

// Stored, a picture keeps its depth (up to 8 bits, and 24) with its table, or becomes 24 bits; reloaded it is the
// same picture, and stored again the same record.
TEST_F(BitmapStyleTest, PicturesOfEveryDepthGoThroughTheRecordAndBack) {
  const struct {
    WORD bits;
    LONG width, height;
    DWORD used;
    WORD storedBits;
    std::size_t entries, row;
  } rows[] = {{1, 10, 3, 0, 1, 2, 4},    {4, 5, 2, 0, 4, 16, 4},   {8, 7, 2, 0, 8, 256, 8}, {8, 3, 2, 16, 8, 16, 4},
              {24, 5, -3, 0, 24, 0, 16}, {32, 4, 2, 0, 24, 0, 12}, {16, 3, 2, 0, 24, 0, 12}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.bits * 1000 + row.used);
    HBITMAP picture = MakePicture(row.bits, row.width, row.height, row.used);
    ASSERT_EQ(style->SetBitmap(picture), S_OK);
    const std::vector<BYTE> bytes = Store(style);
    const Dib original = ReadPicture(picture, row.storedBits);
    const DWORD used = ReadAt<DWORD>(bytes, kDibAt + 32);
    const std::size_t entries = used ? used : row.storedBits <= 8 ? std::size_t{1} << row.storedBits : 0;
    // GDI may answer a picture made with fewer colours with its whole table, and a top-down one bottom-up.
    EXPECT_TRUE(entries == row.entries || (row.used && entries == std::size_t{1} << row.bits)) << entries;
    const LONG height = ReadAt<LONG>(bytes, kDibAt + 8);
    EXPECT_EQ(std::make_tuple(ReadAt<LONG>(bytes, kDibAt + 4), std::labs(height), ReadAt<WORD>(bytes, kDibAt + 14)),
              std::make_tuple(row.width, std::labs(row.height), row.storedBits));
    ASSERT_EQ(bytes.size(), kTableAt + 3 * entries + row.row * std::size_t(std::labs(row.height)));
    for (std::size_t i = 0; i < entries; ++i) {
      const BYTE* entry = &bytes[kTableAt + 3 * i];
      EXPECT_EQ(RGB(entry[2], entry[1], entry[0]), original.table.at(i));
    }
    EXPECT_TRUE(std::equal(original.pixels.begin(), original.pixels.end(), bytes.begin() + kTableAt + 3 * entries));

    StyleComPtr<IJStyleBitmap> loaded(New());
    ASSERT_EQ(Load(loaded.Get(), bytes), S_OK);
    const Dib back = ReadPicture(Picture(loaded.Get()));
    EXPECT_EQ(std::make_tuple(back.header.biBitCount, back.header.biHeight, back.pixels),
              std::make_tuple(row.storedBits, height, original.pixels));
    EXPECT_TRUE(std::equal(original.table.begin(), original.table.begin() + entries, back.table.begin()));
    EXPECT_EQ(Store(loaded.Get()), bytes);
  }
  // A record whose table is shorter than its depth allows loads with those colours.
  ASSERT_EQ(style->SetBitmap(MakePicture(8, 4, 2)), S_OK);
  std::vector<BYTE> bytes = Store(style);
  bytes.erase(bytes.begin() + kTableAt + 3 * 5, bytes.begin() + kTableAt + 3 * 256);
  bytes[kDibAt + 32] = 5;
  StyleComPtr<IJStyleBitmap> loaded(New());
  ASSERT_EQ(Load(loaded.Get(), bytes), S_OK);
  const Dib full = ReadPicture(Picture(style)), back = ReadPicture(Picture(loaded.Get()));
  EXPECT_TRUE(std::equal(full.table.begin(), full.table.begin() + 5, back.table.begin()));
  EXPECT_EQ(back.pixels, full.pixels);
  EXPECT_THAT(Reports(), IsEmpty());
}

// Version 3: size, mode, picture after the base record; version 2: picture, units, mode, size after the older
// one. Each is stored so and loads another body laid out so.
TEST_F(BitmapStyleTest, BothLayoutsBothWays) {
  const auto dib = [](HBITMAP picture) {
    StyleComPtr<IJStyleBitmap> holder(New());
    holder->SetBitmap(picture);
    std::vector<BYTE> bytes = Store(holder.Get());
    return std::vector<BYTE>(bytes.begin() + kDibAt, bytes.end());
  };
  const auto body = [](WORD version, std::vector<BYTE> picture, DWORD units, DWORD mode, double size) {
    std::vector<BYTE> image;
    const auto put = [&](const auto& value) {
      image.insert(image.end(), reinterpret_cast<const BYTE*>(&value), reinterpret_cast<const BYTE*>(&value + 1));
    };
    if (version == 3) put(size), put(mode);
    image.insert(image.end(), picture.begin(), picture.end());
    if (version == 2) put(units), put(mode), put(size);
    return image;
  };
  HBITMAP read = MakePicture(4, 3, 1);
  for (WORD version : {WORD{3}, WORD{2}}) {
    SCOPED_TRACE(version);
    style->SetBitmap(MakePicture(1, 10, 2));
    style->SetSize(12, 0.5);
    style->SetMode(3);
    std::vector<BYTE> bytes = Store(style, ARCHIVE_STORING | ARCHIVE_VERSIONED, version);
    const std::vector<BYTE> expected = body(version, dib(MakePicture(1, 10, 2)), 12, 3, 0.5);
    ASSERT_GE(bytes.size(), expected.size());
    const std::size_t bodyAt = bytes.size() - expected.size();
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.begin() + bodyAt));
    bytes.resize(bodyAt);
    const std::vector<BYTE> other = body(version, dib(MakePicture(4, 3, 1)), 11, 8, 0.0);
    bytes.insert(bytes.end(), other.begin(), other.end());
    StyleComPtr<IJStyleBitmap> loaded(New());
    ASSERT_EQ(Load(loaded.Get(), bytes, ARCHIVE_VERSIONED), S_OK);
    // Version 3 keeps the units code in the base record; a stored size of 0 is 1.0.
    EXPECT_EQ(State(loaded.Get()), std::make_tuple(version == 3 ? 12u : 11u, 1.0, 8u));
    EXPECT_EQ(ReadPicture(Picture(loaded.Get())).pixels, ReadPicture(read).pixels);
  }
  DeleteObject(read);
  EXPECT_THAT(Reports(), IsEmpty());
}

// A damaged record fails, reported, and leaves the style and the engine's blocks as they were; a failure after
// the picture was made, repeated past the process's room for pictures, leaves none behind. A style without
// picture stores nothing.
TEST_F(BitmapStyleTest, DamagedRecordsAndMissingPicturesFail) {
  StyleComPtr<IJStyleBitmap> source(New());
  source->SetBitmap(MakePicture(8, 6, 2));
  const std::vector<BYTE> good = Store(source.Get());
  const struct {
    const char* what;
    std::size_t at;  // in the record; 0: the record cut by `value` bytes
    DWORD value;
  } rows[] = {{"biSize", kDibAt, 12},          {"width 0", kDibAt + 4, 0},  {"negative width", kDibAt + 4, 0xFFFFFFFF},
              {"width 0x7FFFFFFF", kDibAt + 4, 0x7FFFFFFF}, {"height 0", kDibAt + 8, 0},
              {"two planes", kDibAt + 12, 0x00080002}, {"7 bits", kDibAt + 12, 0x00070001}, {"RLE", kDibAt + 16, 1},
              {"biClrUsed 0xFFFFFFFF", kDibAt + 32, 0xFFFFFFFF}, {"257 colours", kDibAt + 32, 257},
              {"pixels cut short", 0, 1},       {"table cut short", 0, 16 + 30}, {"size not a number", 18, 0x7FF80000}};
  HBITMAP kept = MakePicture(1, 2, 2);
  style->SetBitmap(kept);
  style->SetSize(12, 2.0);
  const LONG blocks = EngineLiveBlocks();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    std::vector<BYTE> bytes = good;
    if (row.at) std::memcpy(bytes.data() + row.at, &row.value, sizeof row.value);
    if (!row.at) bytes.resize(bytes.size() - row.value);
    ClearReports();
    EXPECT_EQ(Load(style, bytes), E_FAIL);
    ASSERT_FALSE(Reports().empty());
    EXPECT_STREQ(Reports()[0].source, kSource);
    EXPECT_EQ(std::make_tuple(Picture(style), State(style), EngineLiveBlocks()),
              std::make_tuple(kept, std::make_tuple(12u, 2.0, 1u), blocks));
  }

  TestArchive archive(ARCHIVE_LOADING);
  ArchiveSetData(archive.get(), good.data(), static_cast<DWORD>(good.size()));
  ASSERT_EQ(Query<IJPersist>(style, IID_IJPersist)->Load(archive.get()), S_OK);
  const LONG exchanges = ArchiveExchangeCount(archive.get());  // of one load; the pixels' is the last
  for (int i = 0; i < 35000; ++i) {
    ArchiveSetData(archive.get(), good.data(), static_cast<DWORD>(good.size()));
    ArchiveFailExchange(archive.get(), exchanges, E_ABORT);
    const HRESULT hr = Query<IJPersist>(style, IID_IJPersist)->Load(archive.get());
    if (hr != E_ABORT) FAIL() << i << " " << std::hex << hr;
  }
  EXPECT_EQ(Load(style, good), S_OK);
  EXPECT_EQ(EngineLiveBlocks(), blocks);

  style->SetBitmap(nullptr);
  TestArchive stored(ARCHIVE_STORING);
  ClearReports();
  EXPECT_EQ(Query<IJPersist>(style, IID_IJPersist)->Store(stored.get()), E_FAIL);
  EXPECT_EQ(ArchiveSize(stored.get()), 0u);
  ASSERT_FALSE(Reports().empty());
  EXPECT_STREQ(Reports()[0].source, kSource);
}

}  // namespace

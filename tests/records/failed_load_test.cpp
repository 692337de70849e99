// Records of the hatch fill, the simple fill and the bitmap style, cut short or damaged, loaded into a style of
// the same class that holds other values under another ID: every such load fails and leaves the style as it
// was, its ID (asked through IJManageStyle2) and everything it stores included. The same style takes one damaged
// image after another, so what an earlier failure left behind shows in the next.
#include <cstring>
#include <limits>
#include <vector>

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/stylesrv_itf.h"
#include "tests/support/stylesrv_test.h"

namespace {

using stylesrv_test::ServerModule;

enum class Kind { Hatch, SimpleFill, Bitmap };

// How a record is laid out: the version of the base header (0: a plain archive, without headers) and of the
// class's own layout. Base header 2 carries the ID and the flag word ahead of the class's record; class layout 2
// is the older one.
struct Form {
  WORD baseVersion;
  WORD classVersion;
};
constexpr Form kPlain{0, 3}, kVersioned{4, 3}, kLegacyBase{2, 3}, kLegacyOlder{2, 2};

constexpr DWORD kRecordID = 0x51, kHeldID = 0x7;
constexpr std::size_t kEveryCut = static_cast<std::size_t>(-1);

template <class T>
std::vector<BYTE> BytesOf(T value) {
  std::vector<BYTE> bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

struct Damage {
  const char* what;
  Kind kind;
  Form form;
  std::size_t at;  // in the class's current record, after the headers; kEveryCut: the image cut at every length
  std::vector<BYTE> written;
};

const CLSID& ClassOf(Kind kind) {
  switch (kind) {
    case Kind::Hatch: return CLSID_JStyleHatchFill;
    case Kind::SimpleFill: return CLSID_JStyleSimpleFill;
    default: return CLSID_JStyleBitmap;
  }
}

// An 8-bit picture with a four-colour table, its pixels differing from byte to byte.
HBITMAP MakePicture(LONG width, LONG height) {
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[4];
  } info{{sizeof(BITMAPINFOHEADER), width, height, 1, 8, BI_RGB, 0, 0, 0, 4, 0},
         {{1, 2, 3, 0}, {40, 50, 60, 0}, {70, 80, 90, 0}, {200, 210, 220, 0}}};
  void* pixels = nullptr;
  HBITMAP picture =
      CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &pixels, nullptr, 0);
  for (LONG i = 0; picture && i < (width + 3) / 4 * 4 * height; ++i) static_cast<BYTE*>(pixels)[i] = BYTE(i * 37 % 4);
  return picture;
}

class FailedLoadTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.loaded()); }
  void TearDown() override { stylesrv_test::ClearReports(); }

  // A style of the kind under `id`, holding values that differ with `variant`; one reference for the caller.
  IUnknown* Make(Kind kind, int variant, DWORD id) {
    StyleComPtr<IClassFactory> factory;
    IUnknown* style = nullptr;
    EXPECT_EQ(server.GetClassObject(ClassOf(kind), IID_IClassFactory, factory.PutVoid()), S_OK);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&style)), S_OK);
    if (kind == Kind::Hatch) {
      const StyleComPtr<IJStyleHatchFill> hatch(As<IJStyleHatchFill>(style, IID_IJStyleHatchFill));
      EXPECT_EQ(hatch->SetUnits(variant ? 12 : 11), S_OK);
      EXPECT_EQ(hatch->SetScale(1.5 + variant), S_OK);
      EXPECT_EQ(hatch->SetFlags(variant), S_OK);
      for (int i = 0; i < 2 - variant; ++i) {
        HatchFamilyDesc family{};
        family.angle = 0.25 * (i + 1) + variant;
        family.spacing = 0.5 + i + variant;
        family.width = 0.1;
        family.color = 0x10u * i + variant;
        LONG index = -1;
        EXPECT_EQ(hatch->AddFamily(&family, &index), S_OK);
      }
    } else if (kind == Kind::SimpleFill) {
      const StyleComPtr<IJStyleSimpleFill> fill(As<IJStyleSimpleFill>(style, IID_IJStyleSimpleFill));
      EXPECT_EQ(fill->SetColor(0x123456u + variant), S_OK);
      EXPECT_EQ(fill->SetLockMask(variant ? 0x5 : 0x2), S_OK);
      EXPECT_EQ(fill->SetScale(2.5 + variant), S_OK);
    } else {
      const StyleComPtr<IJStyleBitmap> bitmap(As<IJStyleBitmap>(style, IID_IJStyleBitmap));
      EXPECT_EQ(bitmap->SetBitmap(MakePicture(4 - variant, 3)), S_OK);
      EXPECT_EQ(bitmap->SetSize(variant ? 12 : 11, 2.0 + variant), S_OK);
      EXPECT_EQ(bitmap->SetMode(variant), S_OK);
    }
    const StyleComPtr<IJManageStyle2> manage(As<IJManageStyle2>(style, IID_IJManageStyle2));
    EXPECT_EQ(manage->SetID(id), S_OK);
    EXPECT_EQ(manage->SetFlagWord(static_cast<WORD>(variant ? 0 : 0x3)), S_OK);
    return style;
  }

  static std::vector<BYTE> Store(IUnknown* style, Kind kind, Form form) {
    JArchive* archive = ArchiveCreate(ARCHIVE_STORING | (form.baseVersion ? DWORD{ARCHIVE_VERSIONED} : 0));
    ArchiveSetClassVersion(archive, &CLASSTAG_JStyleBase, form.baseVersion);
    ArchiveSetClassVersion(archive, &ClassOf(kind), form.classVersion);
    EXPECT_EQ(StyleComPtr<IJPersist>(As<IJPersist>(style, IID_IJPersist))->Store(archive), S_OK);
    std::vector<BYTE> bytes(ArchiveData(archive), ArchiveData(archive) + ArchiveSize(archive));
    ArchiveDestroy(archive);
    return bytes;
  }
  static HRESULT Load(IUnknown* style, Form form, const std::vector<BYTE>& bytes) {
    JArchive* archive = ArchiveCreate(ARCHIVE_LOADING | (form.baseVersion ? DWORD{ARCHIVE_VERSIONED} : 0));
    ArchiveSetData(archive, bytes.data(), static_cast<DWORD>(bytes.size()));
    const HRESULT hr = StyleComPtr<IJPersist>(As<IJPersist>(style, IID_IJPersist))->Load(archive);
    ArchiveDestroy(archive);
    return hr;
  }
  static DWORD IdOf(IUnknown* style) {
    DWORD id = 0xDEAD;
    EXPECT_EQ(StyleComPtr<IJManageStyle2>(As<IJManageStyle2>(style, IID_IJManageStyle2))->GetID(nullptr, &id), S_OK);
    return id;
  }
  // All the style stores: the current record and the older one behind the base header with the flag word.
  static std::vector<BYTE> Held(IUnknown* style, Kind kind) {
    std::vector<BYTE> held = Store(style, kind, kPlain);
    const std::vector<BYTE> older = Store(style, kind, kLegacyOlder);
    held.insert(held.end(), older.begin(), older.end());
    return held;
  }

  // With a reference.
  template <class T>
  static T* As(IUnknown* object, REFIID iid) {
    T* itf = nullptr;
    EXPECT_EQ(object->QueryInterface(iid, reinterpret_cast<void**>(&itf)), S_OK);
    return itf;
  }

  ServerModule server;
};

TEST_F(FailedLoadTest, ADamagedOrTruncatedRecordLeavesTheStyleAndItsIDAsTheyWere) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  const Damage rows[] = {
      {"hatch cut", Kind::Hatch, kPlain, kEveryCut, {}},
      {"hatch with headers cut", Kind::Hatch, kVersioned, kEveryCut, {}},
      {"hatch behind the older base header cut", Kind::Hatch, kLegacyBase, kEveryCut, {}},
      {"hatch in the older layout cut", Kind::Hatch, kLegacyOlder, kEveryCut, {}},
      {"hatch count byte raised", Kind::Hatch, kPlain, 21, {0xFF}},
      {"hatch count one too many", Kind::Hatch, kLegacyBase, 21, {3}},
      {"simple fill cut", Kind::SimpleFill, kPlain, kEveryCut, {}},
      {"simple fill with headers cut", Kind::SimpleFill, kVersioned, kEveryCut, {}},
      {"simple fill behind the older base header cut", Kind::SimpleFill, kLegacyBase, kEveryCut, {}},
      {"simple fill in the older layout cut", Kind::SimpleFill, kLegacyOlder, kEveryCut, {}},
      {"simple fill scale not a number", Kind::SimpleFill, kPlain, 26, BytesOf(nan)},
      {"simple fill scale 0", Kind::SimpleFill, kVersioned, 26, BytesOf(0.0)},
      {"simple fill scale infinite", Kind::SimpleFill, kLegacyBase, 26, BytesOf(-inf)},
      {"bitmap cut", Kind::Bitmap, kPlain, kEveryCut, {}},
      {"bitmap with headers cut", Kind::Bitmap, kVersioned, kEveryCut, {}},
      {"bitmap behind the older base header cut", Kind::Bitmap, kLegacyBase, kEveryCut, {}},
      {"bitmap in the older layout cut", Kind::Bitmap, kLegacyOlder, kEveryCut, {}},
      {"bitmap size not a number", Kind::Bitmap, kPlain, 14, BytesOf(nan)},
      {"bitmap header size 12", Kind::Bitmap, kVersioned, 26, BytesOf(DWORD{12})},
      {"bitmap width 0", Kind::Bitmap, kLegacyBase, 30, BytesOf(LONG{0})},
      {"bitmap with two planes", Kind::Bitmap, kPlain, 38, BytesOf(WORD{2})},
      {"bitmap of 7 bits", Kind::Bitmap, kPlain, 40, BytesOf(WORD{7})},
      {"bitmap compressed", Kind::Bitmap, kVersioned, 42, BytesOf(DWORD{BI_RLE8})},
      {"bitmap colour count huge", Kind::Bitmap, kLegacyBase, 58, BytesOf(DWORD{0xFFFFFFFF})},
  };
  for (const Damage& row : rows) {
    SCOPED_TRACE(row.what);
    const StyleComPtr<IUnknown> source(Make(row.kind, 0, kRecordID));
    const std::vector<BYTE> image = Store(source.Get(), row.kind, row.form);
    // The sound image loads, and changes the ID and what is held: what the damaged ones must not do.
    {
      const StyleComPtr<IUnknown> taker(Make(row.kind, 1, kHeldID));
      const std::vector<BYTE> before = Held(taker.Get(), row.kind);
      ASSERT_EQ(Load(taker.Get(), row.form, image), S_OK);
      ASSERT_EQ(IdOf(taker.Get()), kRecordID);
      ASSERT_NE(Held(taker.Get(), row.kind), before);
    }
    std::vector<std::vector<BYTE>> damaged;
    if (row.at == kEveryCut) {
      for (std::size_t size = 0; size < image.size(); ++size) damaged.emplace_back(image.begin(), image.begin() + size);
    } else {
      const std::size_t recordAt = image.size() - Store(source.Get(), row.kind, kPlain).size();
      ASSERT_LE(recordAt + row.at + row.written.size(), image.size());
      damaged.push_back(image);
      std::memcpy(damaged.back().data() + recordAt + row.at, row.written.data(), row.written.size());
    }
    const StyleComPtr<IUnknown> target(Make(row.kind, 1, kHeldID));
    const std::vector<BYTE> held = Held(target.Get(), row.kind);
    // One failure a row: the first damaged image that loads or changes the style.
    for (const std::vector<BYTE>& bytes : damaged) {
      const HRESULT hr = Load(target.Get(), row.form, bytes);
      const DWORD id = IdOf(target.Get());
      if (FAILED(hr) && id == kHeldID && Held(target.Get(), row.kind) == held) continue;
      ADD_FAILURE() << bytes.size() << " of " << image.size() << " bytes: answered 0x" << std::hex << hr
                    << ", ID 0x" << id << (id == kHeldID ? ", other values changed" : "");
      break;
    }
  }
}

}  // namespace

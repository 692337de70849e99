#include "display/style/styles/JStyleBitmap.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "display/style/stylesrv_clsid.h"
#include "display/style/styles/LineStyleShared.h"
#include "display/style/styllib/StyleReport.h"
#include "host/sithe/sithe.h"

namespace {

constexpr char kSource[] = "STYLEBMP";

// Sizes closer than this are the same size.
constexpr double kSizeTolerance = 1.1920928955078125e-7;
// The largest colour table a picture of up to 8 bits carries.
constexpr DWORD kMaxColours = 256;
constexpr DWORD kLargestExchange = 0x7FFFFFFF;

bool IsBitmapOrNull(HBITMAP bitmap) { return !bitmap || GetObjectType(bitmap) == OBJ_BITMAP; }

// A header and the largest colour table, as GDI takes them.
struct DibInfo {
  BITMAPINFOHEADER header;
  RGBQUAD colours[kMaxColours];
  BITMAPINFO* get() { return reinterpret_cast<BITMAPINFO*>(this); }
};

std::uint64_t RowBytes(const BITMAPINFOHEADER& h) {
  return (std::uint64_t(std::uint32_t(h.biWidth)) * h.biPlanes * h.biBitCount + 31) / 32 * 4;
}

std::uint64_t Rows(const BITMAPINFOHEADER& h) { return std::uint64_t(std::llabs(std::int64_t{h.biHeight})); }

// The colour entries a stored bitmap carries: biClrUsed, else two to the depth (none at 24 bits). Deep pictures
// carry none as this class stores them, but a record that gives them some is read past them all the same.
std::uint64_t StoredColourCount(const BITMAPINFOHEADER& h) {
  if (h.biClrUsed) return h.biClrUsed;
  return h.biBitCount == 24 ? 0 : std::uint64_t{1} << (h.biBitCount % 32);
}

// Moves one value of the header; the caller reports at its own line.
template <class T>
HRESULT Move(JArchive* archive, T& value) {
  return ArchiveSerializeBytes(archive, sizeof(T), &value);
}

// A memory device context compatible with the screen, for a scope.
struct MemoryDC {
  HDC dc = CreateCompatibleDC(nullptr);
  ~MemoryDC() {
    if (dc) DeleteDC(dc);
  }
};

// A picture as a device-independent bitmap on its way between a bitmap and an archive: header, colour table,
// pixels. What it read or made is freed with it unless taken.
class DibRecord {
 public:
  DibRecord() = default;
  DibRecord(const DibRecord&) = delete;
  DibRecord& operator=(const DibRecord&) = delete;
  ~DibRecord() {
    EngineFree(m_pixels);
    if (m_made) DeleteObject(m_made);
  }

  // From a picture: depths of 1, 4 and 8 bits as they are, with their tables; 32 bits too when `keep32`; every
  // other depth as 24 bits, since no stored table can describe them.
  HRESULT Read(HBITMAP picture, bool keep32);
  // The header, table and pixels in the archive's direction. A load checks the header against the bytes left
  // before anything is allocated, and makes the picture.
  HRESULT Exchange(JArchive* archive);
  // A picture of what Read found.
  HRESULT MakeCopy();
  // The picture made, now the caller's.
  HBITMAP Take() {
    HBITMAP made = m_made;
    m_made = nullptr;
    return made;
  }

 private:
  HRESULT ExchangeHeader(JArchive* archive);
  HRESULT ExchangeColours(JArchive* archive);
  // A DIB section of the header and table, its pixels not yet set.
  HRESULT MakeSection(void** bits);

  DibInfo m_info{};
  DWORD m_colourCount = 0;
  BYTE* m_pixels = nullptr;  // from Read, from the engine allocator
  DWORD m_pixelBytes = 0;
  HBITMAP m_made = nullptr;
};

HRESULT DibRecord::Read(HBITMAP picture, bool keep32) {
  MemoryDC memory;
  if (!memory.dc) return REPORT(E_FAIL);
  BITMAPINFOHEADER& h = m_info.header;
  h.biSize = sizeof(BITMAPINFOHEADER);
  if (!picture || !GetDIBits(memory.dc, picture, 0, 0, nullptr, m_info.get(), DIB_RGB_COLORS)) return REPORT(E_FAIL);
  const bool tabled = h.biBitCount == 1 || h.biBitCount == 4 || h.biBitCount == 8;
  const DWORD fullTable = tabled ? DWORD{1} << h.biBitCount : 0;
  if (!tabled && h.biBitCount != 24 && !(keep32 && h.biBitCount == 32)) h.biBitCount = 24;
  h.biPlanes = 1;
  h.biCompression = BI_RGB;
  if (!tabled || h.biClrUsed > fullTable) h.biClrUsed = 0;
  if (!tabled) h.biClrImportant = 0;
  m_colourCount = h.biClrUsed ? h.biClrUsed : fullTable;
  const std::uint64_t rows = Rows(h);
  const std::uint64_t bytes = RowBytes(h) * rows;
  if (h.biWidth <= 0 || rows == 0 || bytes > kLargestExchange) return REPORT(E_FAIL);
  h.biSizeImage = m_pixelBytes = static_cast<DWORD>(bytes);
  m_pixels = static_cast<BYTE*>(EngineAlloc(bytes));
  if (!m_pixels) return REPORT(E_OUTOFMEMORY);
  // GDI rewrites the header it is given; the header kept is this one. A table of every entry is asked for, of
  // which the first m_colourCount are kept.
  DibInfo asked = m_info;
  asked.header.biClrUsed = 0;
  if (GetDIBits(memory.dc, picture, 0, static_cast<UINT>(rows), m_pixels, asked.get(), DIB_RGB_COLORS) !=
      static_cast<int>(rows)) {
    return REPORT(E_FAIL);
  }
  std::copy(asked.colours, asked.colours + m_colourCount, m_info.colours);
  return S_OK;
}

HRESULT DibRecord::MakeSection(void** bits) {
  // Deeper pictures are made without the table they may have been stored with: it describes no pixel.
  DibInfo info = m_info;
  if (info.header.biBitCount > 8) info.header.biClrUsed = info.header.biClrImportant = 0;
  info.header.biSizeImage = m_pixelBytes;
  MemoryDC memory;
  if (!memory.dc) return REPORT(E_FAIL);
  *bits = nullptr;
  m_made = CreateDIBSection(memory.dc, info.get(), DIB_RGB_COLORS, bits, nullptr, 0);
  if (!m_made || !*bits) return REPORT(E_FAIL);
  return S_OK;
}

HRESULT DibRecord::MakeCopy() {
  void* bits = nullptr;
  const HRESULT hr = MakeSection(&bits);
  if (FAILED(hr)) return hr;
  std::memcpy(bits, m_pixels, m_pixelBytes);
  return S_OK;
}

HRESULT DibRecord::ExchangeHeader(JArchive* archive) {
  BITMAPINFOHEADER& h = m_info.header;
  HRESULT hr;
  if (FAILED(hr = Move(archive, h.biSize))) return REPORT(hr);
  if (FAILED(hr = Move(archive, h.biWidth))) return REPORT(hr);
  if (FAILED(hr = Move(archive, h.biHeight))) return REPORT(hr);
  if (FAILED(hr = Move(archive, h.biPlanes))) return REPORT(hr);
  if (FAILED(hr = Move(archive, h.biBitCount))) return REPORT(hr);
  if (FAILED(hr = Move(archive, h.biCompression))) return REPORT(hr);
  if (FAILED(hr = Move(archive, h.biSizeImage))) return REPORT(hr);
  if (FAILED(hr = Move(archive, h.biXPelsPerMeter))) return REPORT(hr);
  if (FAILED(hr = Move(archive, h.biYPelsPerMeter))) return REPORT(hr);
  if (FAILED(hr = Move(archive, h.biClrUsed))) return REPORT(hr);
  if (FAILED(hr = Move(archive, h.biClrImportant))) return REPORT(hr);
  return S_OK;
}

// Three bytes an entry (blue, green, red); a load keeps the first 256 entries and reads past the rest.
HRESULT DibRecord::ExchangeColours(JArchive* archive) {
  BYTE chunk[kMaxColours * 3];
  for (DWORD done = 0; done < m_colourCount; done += kMaxColours) {
    const DWORD n = std::min(m_colourCount - done, kMaxColours);
    RGBQUAD* colours = done == 0 ? m_info.colours : nullptr;
    if (colours && JStyleBase::IsStoring(archive)) {
      for (DWORD i = 0; i < n; ++i) {
        chunk[3 * i] = colours[i].rgbBlue;
        chunk[3 * i + 1] = colours[i].rgbGreen;
        chunk[3 * i + 2] = colours[i].rgbRed;
      }
    }
    const HRESULT hr = ArchiveSerializeBytes(archive, n * 3, chunk);
    if (FAILED(hr)) return REPORT(hr);
    if (colours && JStyleBase::IsLoading(archive)) {
      for (DWORD i = 0; i < n; ++i) colours[i] = RGBQUAD{chunk[3 * i], chunk[3 * i + 1], chunk[3 * i + 2], 0};
    }
  }
  return S_OK;
}

HRESULT DibRecord::Exchange(JArchive* archive) {
  HRESULT hr = ExchangeHeader(archive);
  if (FAILED(hr)) return hr;
  if (JStyleBase::IsStoring(archive)) {
    if (FAILED(hr = ExchangeColours(archive))) return hr;
    hr = ArchiveSerializeBytes(archive, m_pixelBytes, m_pixels);
    return FAILED(hr) ? REPORT(hr) : S_OK;
  }
  // Only what a picture can be made of, and no more than the archive holds, is read further.
  const BITMAPINFOHEADER& h = m_info.header;
  const WORD bits = h.biBitCount;
  if (h.biSize != sizeof(BITMAPINFOHEADER) || h.biPlanes != 1 || h.biCompression != BI_RGB || h.biWidth <= 0 ||
      h.biHeight == 0 || !(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32)) {
    return REPORT(E_FAIL);
  }
  const std::uint64_t colours = StoredColourCount(h);
  if (bits <= 8 && colours > (std::uint64_t{1} << bits)) return REPORT(E_FAIL);
  const std::uint64_t left = ArchiveBytesLeft(archive);
  const std::uint64_t row = RowBytes(h);
  const std::uint64_t rows = Rows(h);
  if (row > left || rows > left / row || colours * 3 + row * rows > left) return REPORT(E_FAIL);
  m_colourCount = static_cast<DWORD>(colours);
  m_pixelBytes = static_cast<DWORD>(row * rows);
  if (FAILED(hr = ExchangeColours(archive))) return hr;
  void* pixels = nullptr;
  if (FAILED(hr = MakeSection(&pixels))) return hr;
  hr = ArchiveSerializeBytes(archive, m_pixelBytes, pixels);
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

// Copies of a picture and its second bitmap; one handle given as both gives one copy for both. Nothing is kept
// on failure.
HRESULT CopyBitmaps(HBITMAP picture, HBITMAP second, HBITMAP* pictureCopy, HBITMAP* secondCopy) {
  *pictureCopy = *secondCopy = nullptr;
  HBITMAP copies[2] = {};
  const HBITMAP sources[2] = {picture, second};
  for (int i = 0; i < 2; ++i) {
    if (!sources[i]) continue;
    if (i == 1 && second == picture) {
      copies[1] = copies[0];
      continue;
    }
    DibRecord dib;
    HRESULT hr = dib.Read(sources[i], true);
    if (SUCCEEDED(hr)) hr = dib.MakeCopy();
    if (FAILED(hr)) {
      if (copies[0]) DeleteObject(copies[0]);
      return hr;
    }
    copies[i] = dib.Take();
  }
  *pictureCopy = copies[0];
  *secondCopy = copies[1];
  return S_OK;
}

// What another bitmap style holds, read through its interface.
struct BitmapState {
  HBITMAP picture = nullptr;
  HBITMAP second = nullptr;
  DWORD units = 0;
  double size = 0;
  DWORD mode = 0;
  HRESULT Read(IJStyleBitmap* style) {
    HRESULT hr = style->GetBitmaps(&picture, &second);
    if (SUCCEEDED(hr)) hr = style->GetSizeAndUnits(&units, &size);
    return SUCCEEDED(hr) ? style->GetMode(&mode) : hr;
  }
};

}  // namespace

JStyleBitmap::JStyleBitmap(IUnknown* outer) : CStyleRdr2dBase(outer, Counted{}) {
  m_styleKind = STYLE_KIND_POINTS;
  m_unitsCode = STYLE_UNITS_13;
}

JStyleBitmap::~JStyleBitmap() { SetBitmaps(nullptr, nullptr); }

void* JStyleBitmap::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJStyleBitmap)) return &m_IJStyleBitmapImp;
  return CStyleRdr2dBase::GetInterface(iid);
}

void* JStyleBitmap::GetAggregateInterface(REFIID iid) {
  if (void* found = CStyleRdr2dBase::GetAggregateInterface(iid)) return found;
  void* extension = nullptr;
  if (FAILED(QueryClassExtension(&CLSID_JStyleBitmap, GetControllingUnknown(), iid, &extension))) return nullptr;
  return extension;
}

GUID* JStyleBitmap::GetClassID(GUID* out) {
  *out = CLSID_JStyleBitmap;
  return out;
}

GUID* JStyleBitmap::GetStyleCategory(GUID* out) {
  *out = STYLETYPE_Fill;
  return out;
}

HRESULT JStyleBitmap::SetReferencedStyle(IUnknown*) {
  DropReferencedStyle();
  m_referencedStyleID = kNoStyleID;
  return S_OK;
}

// ---- the bitmaps ----

HRESULT JStyleBitmap::SetBitmaps(HBITMAP picture, HBITMAP second) {
  if (!IsBitmapOrNull(picture) || !IsBitmapOrNull(second)) return REPORT(E_INVALIDARG);
  const HBITMAP oldPicture = m_picture;
  const HBITMAP oldSecond = m_second;
  m_picture = picture;
  m_second = second;
  // A handle the style keeps, or one it owned under both names, is deleted never or once.
  if (oldPicture && oldPicture != picture && oldPicture != second) DeleteObject(oldPicture);
  if (oldSecond && oldSecond != oldPicture && oldSecond != picture && oldSecond != second) DeleteObject(oldSecond);
  return S_OK;
}

void JStyleBitmap::TakePicture(HBITMAP picture) {
  if (m_picture && m_picture != m_second && m_picture != picture) DeleteObject(m_picture);
  m_picture = picture;
}

HRESULT JStyleBitmap::SetSize(DWORD unitsCode, double size) {
  if (!std::isfinite(size)) return REPORT(E_INVALIDARG);
  m_unitsCode = unitsCode;
  m_size = size == 0.0 ? 1.0 : size;
  return S_OK;
}

// ---- drawing ----

HRESULT JStyleBitmap::Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                             const RenderContextScales* context, IJStyleRender*, tagStyleOverride* record, BOOL,
                             const StyleElementRecord*) {
  if (!geometry || !geometry->pointList || !geometry->pointList->points || geometry->pointList->count == 0 ||
      !target || !record) {
    return REPORT(E_INVALIDARG);
  }
  // Oriented points carry their position first.
  const auto* position = static_cast<const double*>(geometry->pointList->points);
  // A style in units code 13 is drawn at one unit of that code, whatever its size.
  const double size = m_unitsCode == STYLE_UNITS_13 ? ConvertStyleLength(1.0, STYLE_UNITS_13, context, FALSE)
                                                    : ConvertStyleLength(m_size, m_unitsCode, context, FALSE);
  if (!std::isfinite(position[0]) || !std::isfinite(position[1]) || !std::isfinite(size)) {
    return REPORT(E_INVALIDARG);
  }
  const HRESULT hr = target->DrawBitmap(position[1], position[0], m_picture, m_second, size, m_mode);
  return FAILED(hr) ? REPORT(hr) : hr;
}

HRESULT JStyleBitmap::Extent(StyleExtent* extent) {
  if (!extent) return REPORT(E_INVALIDARG);
  *extent = StyleExtent{};
  if (!m_picture) return S_OK;
  BITMAP bitmap{};
  if (!GetObjectA(m_picture, sizeof bitmap, &bitmap)) return REPORT(E_FAIL);
  const LONG longer = std::max(std::labs(bitmap.bmWidth), std::labs(bitmap.bmHeight));
  extent->value = AddSaturated(static_cast<DWORD>(longer), 1);
  return S_OK;
}

HRESULT JStyleBitmap::GetExtentDelta(StyleExtent* extent) { return Extent(extent); }

HRESULT JStyleBitmap::GetExtentRecord(StyleExtent* extent, const RenderContextScales*, tagStyleOverride*) {
  return Extent(extent);
}

// ---- copying and comparing ----

HRESULT JStyleBitmap::Clone(IUnknown* outer, IUnknown** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  auto* copy = new JStyleBitmap(outer);
  if (!copy) return REPORT(E_OUTOFMEMORY);
  copy->AddRef();
  const HRESULT hr = CopyBitmaps(m_picture, m_second, &copy->m_picture, &copy->m_second);
  if (FAILED(hr)) {
    copy->Release();
    return hr;
  }
  copy->m_styleKind = m_styleKind;
  copy->m_unitsCode = m_unitsCode;
  copy->m_size = m_size;
  copy->m_mode = m_mode;
  *out = static_cast<UUnknown*>(copy);
  return S_OK;
}

HRESULT JStyleBitmap::CopyFrom(IUnknown* source, DWORD flags) {
  if (!source) return REPORT(E_INVALIDARG);
  HRESULT hr = CStyleRdr2dBase::CopyFrom(source, flags);
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJStyleBitmap> theirs;
  if (FAILED(hr = source->QueryInterface(IID_IJStyleBitmap, theirs.PutVoid()))) return REPORT(hr);
  // Everything is read before anything changes: a source that fails leaves this style as it was.
  BitmapState state;
  if (FAILED(hr = state.Read(theirs.Get()))) return REPORT(hr);
  if (!std::isfinite(state.size)) return REPORT(E_INVALIDARG);
  HBITMAP copies[2] = {};
  if (FAILED(hr = CopyBitmaps(state.picture, state.second, &copies[0], &copies[1]))) return hr;
  SetBitmaps(copies[0], copies[1]);
  SetSize(state.units, state.size);
  m_mode = state.mode;
  return S_OK;
}

HRESULT JStyleBitmap::IsEqual(IUnknown* other, BOOL* same) {
  if (!other || !same) return E_INVALIDARG;
  *same = FALSE;
  HRESULT hr = CStyleRdr2dBase::IsEqual(other, same);
  if (FAILED(hr)) return REPORT(hr);
  if (!*same) return S_OK;
  *same = FALSE;
  StyleComPtr<IJStyleBitmap> theirs;
  if (FAILED(other->QueryInterface(IID_IJStyleBitmap, theirs.PutVoid()))) return S_OK;
  BitmapState state;
  if (FAILED(hr = state.Read(theirs.Get()))) return REPORT(hr);
  // The same size in another units code draws at another size.
  *same = state.picture == m_picture && state.second == m_second && state.mode == m_mode &&
          state.units == m_unitsCode && std::fabs(state.size - m_size) < kSizeTolerance;
  return S_OK;
}

// ---- persistence ----

HRESULT JStyleBitmap::Serialize(JArchive* archive) {
  if (!IsVersioned(archive)) return SerializeCurrent(archive);
  WORD version = 0;
  DWORD scratch = 0;
  const HRESULT hr = ArchiveSerializeClassHeader(archive, &CLSID_JStyleBitmap, &version, &scratch);
  if (FAILED(hr)) return REPORT(hr);
  if (version == 2) return SerializeOld(archive);
  if (version == kCurrentVersion) return SerializeCurrent(archive);
  return S_OK;
}

// Both layouts read the whole record before the style takes any of it; a damaged one leaves the picture, size
// and mode as they were (the base part is put back by SerializeVersionedWhole). A store that cannot read the
// picture writes nothing.
HRESULT JStyleBitmap::SerializeCurrent(JArchive* archive) {
  HRESULT hr;
  DibRecord dib;
  if (IsStoring(archive) && FAILED(hr = dib.Read(m_picture, false))) return hr;
  StyleBaseRecord base{};
  if (FAILED(hr = SerializeBase(archive, &base))) return REPORT(hr);
  double size = m_size;
  DWORD mode = m_mode;
  if (FAILED(hr = Exchange(archive, size))) return REPORT(hr);
  if (FAILED(hr = Exchange(archive, mode))) return REPORT(hr);
  if (IsLoading(archive) && !std::isfinite(size)) return REPORT(E_FAIL);
  if (FAILED(hr = dib.Exchange(archive))) return hr;
  if (!IsLoading(archive)) return S_OK;
  TakePicture(dib.Take());
  m_size = size == 0.0 ? 1.0 : size;
  m_mode = mode;
  return S_OK;
}

HRESULT JStyleBitmap::SerializeOld(JArchive* archive) {
  HRESULT hr;
  DibRecord dib;
  if (IsStoring(archive) && FAILED(hr = dib.Read(m_picture, false))) return hr;
  if (FAILED(hr = SerializeClass(archive))) return REPORT(hr);
  if (FAILED(hr = dib.Exchange(archive))) return hr;
  DWORD units = m_unitsCode;
  DWORD mode = m_mode;
  double size = m_size;
  if (FAILED(hr = Exchange(archive, units))) return REPORT(hr);
  if (FAILED(hr = Exchange(archive, mode))) return REPORT(hr);
  if (FAILED(hr = Exchange(archive, size))) return REPORT(hr);
  if (!IsLoading(archive)) return S_OK;
  if (!std::isfinite(size)) return REPORT(E_FAIL);
  TakePicture(dib.Take());
  m_unitsCode = units;
  m_size = size == 0.0 ? 1.0 : size;
  m_mode = mode;
  return S_OK;
}

// ---- IJStyleBitmap ----

HRESULT STDMETHODCALLTYPE JStyleBitmap::IJStyleBitmapImp::SetBitmap(HBITMAP picture) {
  return Object()->SetBitmaps(picture, nullptr);
}

HRESULT STDMETHODCALLTYPE JStyleBitmap::IJStyleBitmapImp::GetBitmap(HBITMAP* out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = Object()->m_picture;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleBitmap::IJStyleBitmapImp::SetBitmaps(HBITMAP picture, HBITMAP second) {
  return Object()->SetBitmaps(picture, second);
}

HRESULT STDMETHODCALLTYPE JStyleBitmap::IJStyleBitmapImp::GetBitmaps(HBITMAP* picture, HBITMAP* second) {
  if (!picture || !second) return REPORT(E_INVALIDARG);
  *picture = Object()->m_picture;
  *second = Object()->m_second;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleBitmap::IJStyleBitmapImp::SetSize(DWORD unitsCode, double size) {
  return Object()->SetSize(unitsCode, size);
}

HRESULT STDMETHODCALLTYPE JStyleBitmap::IJStyleBitmapImp::GetSizeAndUnits(DWORD* unitsCode, double* size) {
  if (!unitsCode || !size) return REPORT(E_INVALIDARG);
  *unitsCode = Object()->m_unitsCode;
  *size = Object()->m_size;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleBitmap::IJStyleBitmapImp::SetMode(DWORD mode) {
  Object()->m_mode = mode;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleBitmap::IJStyleBitmapImp::GetMode(DWORD* out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = Object()->m_mode;
  return S_OK;
}

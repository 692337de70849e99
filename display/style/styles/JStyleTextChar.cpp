#include "display/style/styles/JStyleTextChar.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "display/style/server.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styles/TextFontLanguage.h"
#include "host/pellow/pellow.h"
#include "host/sithe/sithe.h"

namespace {

constexpr char kSource[] = "TEXTCHAR";
// Sizes and factors closer than this are equal.
constexpr double kTextEpsilon = 1.1920928955078125e-7;
// The old record's language code that stood for 1033.
constexpr WORD kOldEnglishLanguage = 9;
constexpr WORD kEnglishLanguage = 1033;
constexpr DWORD kUnsetColour = 0xFFFFFFFF;
// The narrow font name is taken in at most this many characters, its terminator included.
constexpr int kNarrowNameCharacters = 256;
// What the font manager's drawing is given when the caller gives no options.
constexpr double kDefaultDrawValue = 3.0;
// Size units of the metrics: the font manager's metrics hold the height in 10, 11 and 14 first, in 12 second and
// in 13 eighth; 14 counts 18288 to the unit of 11.
constexpr DWORD kSizeUnits10 = 10;
constexpr double kUnits14PerUnit11 = 18288.0;
// The font manager is given room for this many doubles of metrics, of which it fills at least eight.
constexpr int kMetricsRoom = 16;

HRESULT Report(HRESULT hr, int line) {
  HRerr(hr, 0, kSource, line);
  return hr;
}

bool IsStyleUnits(DWORD code) { return code == STYLE_UNITS_NONE || (code >= STYLE_UNITS_11 && code <= STYLE_UNITS_UNSCALED); }
bool IsSizeUnits(DWORD code) { return code == STYLE_UNITS_NONE || (code >= 10 && code <= STYLE_UNITS_UNSCALED); }
bool IsUsableSize(double size) { return std::isfinite(size) && size > 0.0; }

// Room for a name of `length` characters and its terminator, from the engine allocator, with `text` copied in
// when given; null when the memory is not there.
LPWSTR NewName(const wchar_t* text, std::size_t length) {
  if (length >= SIZE_MAX / sizeof(wchar_t)) return nullptr;
  auto* name = static_cast<LPWSTR>(EngineAlloc((length + 1) * sizeof(wchar_t)));
  if (!name) return nullptr;
  if (text && length) std::memcpy(name, text, length * sizeof(wchar_t));
  name[length] = L'\0';
  return name;
}

void ClearFiller(TextCharData& data) {
  std::memset(data.filler14, 0, sizeof data.filler14);
  std::memset(data.filler26, 0, sizeof data.filler26);
  std::memset(data.filler42, 0, sizeof data.filler42);
  data.filler53 = 0;
  std::memset(data.filler58, 0, sizeof data.filler58);
}

// The value × 100 truncated through 32 bits, its low byte kept; 0 for what 32 bits cannot hold.
signed char HundredthsOf(double fraction) {
  const double hundredths = fraction * 100.0;
  if (!(hundredths > -2147483649.0 && hundredths < 2147483648.0)) return 0;
  return static_cast<signed char>(static_cast<std::uint8_t>(static_cast<std::int32_t>(hundredths) & 0xFF));
}

// The language of the calling thread's keyboard layout, which a current record's language 0 stands for.
WORD KeyboardLayoutLanguage() { return LOWORD(reinterpret_cast<UINT_PTR>(GetKeyboardLayout(0))); }

// Moves a name of `length` characters: out of `stored` when storing; when loading, into a new buffer from the
// engine allocator handed out in *loaded, once the archive is found to hold that many (E_FAIL otherwise).
HRESULT ExchangeName(JArchive* archive, DWORD length, LPCWSTR stored, LPWSTR* loaded) {
  *loaded = nullptr;
  if (length == 0) return S_OK;
  if (!JStyleBase::IsLoading(archive)) {
    return ArchiveSerializeBytes(archive, length * sizeof(WCHAR), const_cast<LPWSTR>(stored));
  }
  if (FAILED(JStyleBase::CheckArchiveCount(archive, length, sizeof(WCHAR)))) return E_FAIL;
  LPWSTR name = NewName(nullptr, length);
  if (!name) return E_OUTOFMEMORY;
  const HRESULT hr = ArchiveSerializeBytes(archive, length * sizeof(WCHAR), name);
  if (FAILED(hr)) {
    EngineFree(name);
    return hr;
  }
  *loaded = name;
  return S_OK;
}

// A name the caller owns from CoTaskMemAlloc, given back when the scope ends.
struct TaskName {
  LPWSTR text = nullptr;
  ~TaskName() { CoTaskMemFree(text); }
};

}  // namespace

JStyleTextChar::JStyleTextChar(IUnknown* outer) : CStyleRdr2dBase(outer, Counted{}) {
  m_styleKind = STYLE_KIND_TEXT;
  m_data.sizeUnits = STYLE_UNITS_11;
  m_data.size = 12.0;
}

JStyleTextChar::~JStyleTextChar() {
  ReleaseFontMgr2(m_fontMgr);
  EngineFree(m_data.fontName);
}

void* JStyleTextChar::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJStyleTextChar)) return &m_IJStyleTextCharImp;
  // The text interface begins with the render operations, so it stands for them too.
  if (IsEqualIID(iid, IID_IJStyleRenderText) || IsEqualIID(iid, IID_IJStyleRender)) return &m_IJStyleRenderTextImp;
  return CStyleRdr2dBase::GetInterface(iid);
}

void* JStyleTextChar::GetAggregateInterface(REFIID iid) {
  if (void* found = CStyleRdr2dBase::GetAggregateInterface(iid)) return found;
  void* extension = nullptr;
  if (FAILED(QueryClassExtension(&CLSID_JStyleTextChar, GetControllingUnknown(), iid, &extension))) return nullptr;
  return extension;
}

GUID* JStyleTextChar::GetClassID(GUID* out) {
  *out = CLSID_JStyleTextChar;
  return out;
}

GUID* JStyleTextChar::GetStyleCategory(GUID* out) {
  *out = STYLETYPE_TextChar;
  return out;
}

HRESULT JStyleTextChar::SetReferencedStyle(IUnknown*) {
  DropReferencedStyle();
  m_referencedStyleID = kNoStyleID;
  return S_OK;
}

// ---- font and language ----

HRESULT JStyleTextChar::ResolveFontLanguage(LPCWSTR fontName, WORD requested, WORD* result) {
  if (!result) return E_INVALIDARG;
  *result = 0;
  if (!fontName) return S_OK;
  const HRESULT hr = NeedFontManager(__LINE__);
  if (FAILED(hr)) return hr;
  return ChooseFontLanguage(m_fontMgr, fontName, requested, result);
}

HRESULT JStyleTextChar::NeedFontManager(int line) {
  if (m_fontMgr) return S_OK;
  HRESULT hr = GetFontMgr2(&m_fontMgr);
  if (SUCCEEDED(hr) && !m_fontMgr) hr = E_FAIL;
  if (FAILED(hr)) {
    m_fontMgr = nullptr;
    return Report(hr, line);
  }
  return S_OK;
}

void JStyleTextChar::ReplaceFontName(LPWSTR name) {
  EngineFree(m_data.fontName);
  m_data.fontName = name;
  m_fontNumber = kFontUnresolved;
  m_colourOverride = kNoColourOverride;
}

// A style without a font keeps the language it was given: there is nothing to check it against, and settling
// it would answer 0 and lose it.
void JStyleTextChar::ResettleLanguage() {
  if (!m_data.fontName) return;
  WORD language = 0;
  if (SUCCEEDED(ResolveFontLanguage(m_data.fontName, m_data.language, &language))) m_data.language = language;
}

// ---- drawing and measuring through the font manager ----

RenderContextScales JStyleTextChar::DefaultTextContext() const {
  RenderContextScales context{};
  context.scale11 = context.scale12 = context.scale13 = 1.0;
  context.textFactor = 1.0;
  context.orientation = m_unitsCode == STYLE_UNITS_13 ? -1.0 : 1.0;
  return context;
}

double JStyleTextChar::TextScale(const RenderContextScales& context) const {
  const double scale = GetScaleForUnits(m_unitsCode, &context);
  return m_unitsCode == STYLE_UNITS_11 ? scale * context.textFactor : scale;
}

HRESULT JStyleTextChar::PrepareRenderRecord(tagStyleOverride* record, const RenderContextScales*, double) {
  if (!record) return S_OK;
  if (!(record->flags & OVR_COLOUR)) record->colour = m_data.colour;
  if (!(record->flags & OVR_VALUES)) {
    record->secondValue = m_data.attributeBits;
  } else {
    record->secondValue |= static_cast<WORD>(m_data.attributeBits & ~record->firstValue);
  }
  record->firstValue = 0xFFFF;
  record->flags |= OVR_COLOUR | OVR_VALUES;
  return S_OK;
}

HRESULT JStyleTextChar::BuildAttributeRecord(TextAttributeRecord* out, const RenderContextScales* context,
                                             DWORD flags, tagStyleOverride* prepared) {
  HRESULT hr = NeedFontManager(__LINE__);
  if (FAILED(hr)) return hr;
  // A font the manager does not know is no error: the text shows, in a colour that says something is amiss.
  if (m_fontNumber == kFontUnresolved && m_fontMgr->GetFontNumber(&m_fontNumber, m_data.fontName) != 0) {
    m_fontNumber = 0;
    m_colourOverride = GetExceptionColor();
  }
  const RenderContextScales fallback = DefaultTextContext();
  if (!context) context = &fallback;
  const double scale = TextScale(*context);
  tagStyleOverride fresh{};
  if (!prepared) {
    prepared = &fresh;
    if (FAILED(hr = PrepareRenderRecord(prepared, context, scale))) return Report(hr, __LINE__);
  }
  TextAttributeRecord record{};
  record.fontNumber = m_fontNumber;
  record.language = m_data.language;
  record.sizeUnits = m_data.sizeUnits;
  record.height = scale * m_data.size;
  if (prepared->flags & OVR_SCALE) record.height *= prepared->scaleFactor;
  record.thousandths = m_data.thousandths * 0.001;
  record.factor = m_data.factor;
  record.attributeBits = prepared->secondValue;
  record.callerFlags = flags & 0xF;
  record.angle = m_data.angle;
  record.colour = m_colourOverride != kNoColourOverride ? m_colourOverride : prepared->colour;
  record.scaledLength = m_data.scaledLength * scale;
  *out = record;
  return S_OK;
}

HRESULT JStyleTextChar::SetUpFontManager(const RenderContextScales* context, DWORD flags,
                                         const tagStyleOverride* record) {
  tagStyleOverride local = record ? *record : tagStyleOverride{};
  const DWORD units = (local.flags & OVR_WIDTH) ? local.unitsCode : m_unitsCode;
  HRESULT hr = PrepareRenderRecord(&local, context, GetScaleForUnits(units, context));
  if (FAILED(hr)) return Report(hr, __LINE__);
  TextAttributeRecord attributes;
  if (FAILED(hr = BuildAttributeRecord(&attributes, context, flags, &local))) return Report(hr, __LINE__);
  if (FAILED(hr = m_fontMgr->SetTextAttributes(&attributes))) return Report(hr, __LINE__);
  return S_OK;
}

HRESULT JStyleTextChar::Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                               const RenderContextScales* context, IJStyleRender*, tagStyleOverride* record, BOOL,
                               const StyleElementRecord* element) {
  const auto* item = reinterpret_cast<const TextDrawItem*>(geometry);
  if (!item || !item->state) return Report(E_INVALIDARG, __LINE__);
  TextAttributeRecord attributes;
  HRESULT hr = BuildAttributeRecord(&attributes, context, item->state->callerFlags, record);
  if (FAILED(hr)) return Report(hr, __LINE__);
  if (FAILED(hr = m_fontMgr->SetTextAttributes(&attributes))) return Report(hr, __LINE__);
  const double direction = context ? context->orientation : DefaultTextContext().orientation;
  const double value = element ? AsTextDrawOptions(element)->value : kDefaultDrawValue;
  if (FAILED(hr = m_fontMgr->DrawTextAt(target, item->state, direction, value))) return Report(hr, __LINE__);
  return hr;
}

// The stored size is what the metrics of the style's own size units make of it; the height in the requested
// units scales with the same ratio.
HRESULT JStyleTextChar::SizeInUnits(DWORD units, double* size) {
  const RenderContextScales context = DefaultTextContext();
  HRESULT hr = SetUpFontManager(&context, 0, nullptr);
  if (FAILED(hr)) return Report(hr, __LINE__);
  double metrics[kMetricsRoom] = {};
  if (FAILED(hr = m_fontMgr->QueryTextMetrics(metrics))) return Report(hr, __LINE__);
  const double m1 = metrics[0], m2 = metrics[1], m8 = metrics[7];
  const double stored = m_data.size;
  double ratio = 1.0;
  const DWORD own = m_data.sizeUnits;
  if (own >= kSizeUnits10 && own <= STYLE_UNITS_UNSCALED) {
    const double mine = own == STYLE_UNITS_12 ? m2 : own == STYLE_UNITS_13 ? m8 : m1;
    if (std::fabs(stored - mine) >= kTextEpsilon) ratio = mine / stored;
  }
  switch (units) {
    case STYLE_UNITS_12:
      *size = m2 * ratio;
      break;
    case STYLE_UNITS_13:
      *size = m8 * ratio;
      break;
    case STYLE_UNITS_UNSCALED:
      *size = m1 * ratio * kUnits14PerUnit11;
      break;
    default:
      *size = m1 * ratio;
      break;
  }
  return S_OK;
}

// ---- copying and comparing ----

HRESULT JStyleTextChar::Clone(IUnknown* outer, IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  auto* copy = new JStyleTextChar(outer);
  if (!copy) return Report(E_OUTOFMEMORY, __LINE__);
  copy->AddRef();
  copy->m_styleKind = m_styleKind;
  copy->m_unitsCode = m_unitsCode;
  TextCharData data{};
  HRESULT hr = m_IJStyleTextCharImp.GetCharData(&data);
  TaskName name{data.fontName};
  if (SUCCEEDED(hr)) hr = copy->m_IJStyleTextCharImp.SetCharData(&data);
  if (FAILED(hr)) {
    copy->Release();
    return Report(hr, __LINE__);
  }
  *out = static_cast<UUnknown*>(copy);
  return S_OK;
}

HRESULT JStyleTextChar::CopyFrom(IUnknown* source, DWORD flags) {
  if (!source) return Report(E_INVALIDARG, __LINE__);
  HRESULT hr = CStyleRdr2dBase::CopyFrom(source, flags);
  if (FAILED(hr)) return Report(hr, __LINE__);
  StyleComPtr<IJStyleTextChar> other;
  hr = source->QueryInterface(IID_IJStyleTextChar, other.PutVoid());
  if (FAILED(hr)) return Report(hr, __LINE__);
  TextCharData data{};
  hr = other->GetCharData(&data);
  TaskName name{data.fontName};
  if (FAILED(hr)) return Report(hr, __LINE__);
  IJStyleTextCharImp& self = m_IJStyleTextCharImp;
  if (flags == 0) {
    hr = self.SetCharData(&data);
    if (FAILED(hr)) Report(hr, __LINE__);
    return hr;
  }

  // Field by field, each through its setter, leaving alone what this style's own mask locks.
  const DWORD lock = m_data.lockMask;
  const auto open = [lock](DWORD bits) { return (lock & bits) == 0; };
  if (open(TCHAR_LOCK_UNITS) && FAILED(hr = self.SetUnits(data.unitsCode))) return Report(hr, __LINE__);
  if (open(TCHAR_LOCK_LANGUAGE) && FAILED(hr = self.SetLanguage(data.language))) return Report(hr, __LINE__);
  if (open(TCHAR_LOCK_SIZE | TCHAR_LOCK_UNITS) && FAILED(hr = self.SetSize(data.size, data.sizeUnits))) {
    return Report(hr, __LINE__);
  }
  if (open(TCHAR_LOCK_THOUSANDTHS)) self.SetThousandths(data.thousandths);
  if (open(TCHAR_LOCK_ATTRIBUTES)) self.SetAttributeBits(data.attributeBits);
  if (open(TCHAR_LOCK_FONT_NAME)) {
    // A source without a font passes that on; the name setter would refuse it and end the copy half done.
    if (data.fontName && data.fontName[0]) {
      if (FAILED(hr = self.SetFontName(data.fontName))) return Report(hr, __LINE__);
    } else {
      ReplaceFontName(nullptr);
    }
  }
  if (open(TCHAR_LOCK_FACTOR | TCHAR_LOCK_UNITS) && FAILED(hr = self.SetFactor(data.factor))) {
    return Report(hr, __LINE__);
  }
  // Taken as it is: hundredths read as a fraction and multiplied back may fall one short.
  if (open(TCHAR_LOCK_PERCENT)) m_data.percent = data.percent;
  if (open(TCHAR_LOCK_VALUE_BYTE_1)) self.SetValueByte1(data.valueByte1);
  if (open(TCHAR_LOCK_COLOUR)) self.SetColor(data.colour);
  if (open(TCHAR_LOCK_FOUR_BYTES)) std::memcpy(m_data.fourBytes, data.fourBytes, sizeof m_data.fourBytes);
  if (open(TCHAR_LOCK_ANGLE) && FAILED(hr = self.SetAngle(data.angle))) return Report(hr, __LINE__);
  if (open(TCHAR_LOCK_VALUE_BYTE_2)) self.SetValueByte2(data.valueByte2);
  if (open(TCHAR_LOCK_VALUE_BYTE_3)) self.SetValueByte3(data.valueByte3);
  if (open(TCHAR_LOCK_SCALED_LENGTH)) self.SetScaledLength(data.scaledLength);
  return S_OK;
}

HRESULT JStyleTextChar::IsEqual(IUnknown* other, BOOL* same) {
  if (!other || !same) return E_INVALIDARG;
  *same = FALSE;
  StyleComPtr<IJStyleTextChar> text;
  if (FAILED(other->QueryInterface(IID_IJStyleTextChar, text.PutVoid()))) return S_OK;
  TextCharData theirs{};
  HRESULT hr = text->GetCharData(&theirs);
  TaskName name{theirs.fontName};
  if (FAILED(hr)) return Report(hr, __LINE__);
  const TextCharData& mine = m_data;
  if (!mine.fontName || !theirs.fontName || std::wcscmp(mine.fontName, theirs.fontName) != 0) return S_OK;
  const bool equal =
      mine.unitsCode == theirs.unitsCode && mine.language == theirs.language &&
      mine.attributeBits == theirs.attributeBits && mine.valueByte1 == theirs.valueByte1 &&
      mine.colour == theirs.colour && mine.sizeUnits == theirs.sizeUnits &&
      std::fabs(mine.size - theirs.size) < kTextEpsilon && mine.valueByte2 == theirs.valueByte2 &&
      mine.valueByte3 == theirs.valueByte3 && mine.thousandths == theirs.thousandths &&
      std::fabs(mine.factor - theirs.factor) < static_cast<float>(kTextEpsilon) &&
      mine.percent == theirs.percent && mine.scaledLength == theirs.scaledLength && mine.angle == theirs.angle &&
      mine.lockMask == theirs.lockMask;
  if (!equal) return S_OK;
  hr = CStyleRdr2dBase::IsEqual(other, same);
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

// ---- persistence ----

bool JStyleTextChar::NameTooLongToStore() const {
  return m_data.fontName && std::wcslen(m_data.fontName) > kMostStoredNameLength;
}

// A name too long for the record is refused before the headers go out, so that nothing of the style is written.
HRESULT JStyleTextChar::SerializeVersioned(JArchive* archive) {
  if (IsStoring(archive) && NameTooLongToStore()) return Report(E_FAIL, __LINE__);
  return CStyleRdr2dBase::SerializeVersioned(archive);
}

HRESULT JStyleTextChar::Serialize(JArchive* archive) {
  HRESULT hr;
  if (!IsVersioned(archive)) {
    hr = SerializeCurrent(archive);
    if (FAILED(hr)) Report(hr, __LINE__);
    return hr;
  }
  WORD version = 0;
  DWORD scratch = 0;
  hr = ArchiveSerializeClassHeader(archive, &CLSID_JStyleTextChar, &version, &scratch);
  if (FAILED(hr)) return Report(hr, __LINE__);
  // Any other version exchanges nothing more.
  if (version == 2) {
    hr = SerializeVersion2(archive);
  } else if (version == kCurrentVersion) {
    hr = SerializeCurrent(archive);
  }
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

// Both layouts read into a copy of the record and take it only once all of it was read and found sound: a record
// that fails leaves the style, its base part included, as it was.
HRESULT JStyleTextChar::EndExchange(HRESULT hr, JArchive* archive, const BaseState& before, TextCharData d,
                                    LPWSTR name) {
  const bool loading = IsLoading(archive);
  if (SUCCEEDED(hr) && loading &&
      (!IsUsableSize(d.size) || !IsSizeUnits(d.sizeUnits) || !IsStyleUnits(d.unitsCode))) {
    hr = Report(E_FAIL, __LINE__);
  }
  if (FAILED(hr)) {
    EngineFree(name);
    if (loading) RestoreBase(before);
    return hr;
  }
  if (!loading) return S_OK;
  m_unitsCode = d.unitsCode;
  d.fontName = m_data.fontName;
  ClearFiller(d);
  m_data = d;
  ReplaceFontName(name);
  return S_OK;
}

HRESULT JStyleTextChar::SerializeCurrent(JArchive* archive) {
  const bool loading = IsLoading(archive);
  if (!loading && NameTooLongToStore()) return Report(E_FAIL, __LINE__);
  const BaseState before = SaveBase();
  // The base record carries the units code; the record's own follows it.
  m_unitsCode = m_data.unitsCode;
  StyleBaseRecord base{};
  HRESULT hr = SerializeBase(archive, &base);
  if (FAILED(hr)) {
    if (loading) RestoreBase(before);
    return Report(hr, __LINE__);
  }
  TextCharData d = m_data;
  d.unitsCode = m_unitsCode;
  if (!loading && d.colour == kUnsetColour) m_data.colour = d.colour = 0;
  BYTE sizeUnits = static_cast<BYTE>(d.sizeUnits);
  WORD reserved = 0;
  WORD nameLength = loading || !d.fontName ? 0 : static_cast<WORD>(std::wcslen(d.fontName));
  const auto move = [&](auto& value, int line) {
    if (SUCCEEDED(hr) && FAILED(hr = Exchange(archive, value))) Report(hr, line);
  };
  move(d.lockMask, __LINE__);
  move(d.language, __LINE__);
  move(d.attributeBits, __LINE__);
  move(d.colour, __LINE__);
  move(d.valueByte1, __LINE__);
  move(d.valueByte2, __LINE__);
  move(d.valueByte3, __LINE__);
  move(sizeUnits, __LINE__);
  move(d.size, __LINE__);
  move(reserved, __LINE__);
  move(d.thousandths, __LINE__);
  move(d.factor, __LINE__);
  move(d.percent, __LINE__);
  for (BYTE& byte : d.fourBytes) move(byte, __LINE__);
  move(d.spareByte1, __LINE__);
  move(d.scaledLength, __LINE__);
  move(d.angle, __LINE__);
  move(d.spareByte2, __LINE__);
  move(nameLength, __LINE__);
  LPWSTR name = nullptr;
  if (SUCCEEDED(hr) && FAILED(hr = ExchangeName(archive, nameLength, d.fontName, &name))) Report(hr, __LINE__);
  d.sizeUnits = sizeUnits;
  if (SUCCEEDED(hr)) {
    if (d.language == 0) d.language = KeyboardLayoutLanguage();
    if (!loading) m_data.language = d.language;
    if (d.colour == kUnsetColour) d.colour = 0;
  }
  return EndExchange(hr, archive, before, d, name);
}

HRESULT JStyleTextChar::SerializeVersion2(JArchive* archive) {
  const bool loading = IsLoading(archive);
  const BaseState before = SaveBase();
  HRESULT hr = SerializeClass(archive);
  if (FAILED(hr)) {
    if (loading) RestoreBase(before);
    return Report(hr, __LINE__);
  }
  TextCharData d = m_data;
  DWORD nameLength = loading || !d.fontName ? 0 : static_cast<DWORD>(std::wcslen(d.fontName));
  LPWSTR name = nullptr;
  const auto move = [&](auto& value, int line) {
    if (SUCCEEDED(hr) && FAILED(hr = Exchange(archive, value))) Report(hr, line);
  };
  move(d.unitsCode, __LINE__);
  move(nameLength, __LINE__);
  if (SUCCEEDED(hr) && FAILED(hr = ExchangeName(archive, nameLength, d.fontName, &name))) Report(hr, __LINE__);
  move(d.language, __LINE__);
  move(d.attributeBits, __LINE__);
  move(d.valueByte1, __LINE__);
  move(d.spareByte1, __LINE__);
  move(d.colour, __LINE__);
  move(d.sizeUnits, __LINE__);
  move(d.valueByte2, __LINE__);
  move(d.valueByte3, __LINE__);
  move(d.size, __LINE__);
  move(d.thousandths, __LINE__);
  move(d.factor, __LINE__);
  move(d.percent, __LINE__);
  for (BYTE& byte : d.fourBytes) move(byte, __LINE__);
  move(d.scaledLength, __LINE__);
  move(d.angle, __LINE__);
  move(d.spareByte2, __LINE__);
  move(d.lockMask, __LINE__);
  if (loading && d.language == kOldEnglishLanguage) d.language = kEnglishLanguage;
  return EndExchange(hr, archive, before, d, name);
}

// ---- IJStyleTextChar ----

using Imp = JStyleTextChar::IJStyleTextCharImp;

namespace {

// A value handed out through an out-pointer; a null pointer is refused.
template <class T, class V>
HRESULT Answer(T* out, V value) {
  if (!out) return E_INVALIDARG;
  *out = static_cast<T>(value);
  return S_OK;
}

}  // namespace

HRESULT STDMETHODCALLTYPE Imp::SetUnits(DWORD unitsCode) {
  if (!IsStyleUnits(unitsCode)) return E_INVALIDARG;
  JStyleTextChar* self = Object();
  self->m_data.unitsCode = unitsCode;
  self->m_unitsCode = unitsCode;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetUnits(DWORD* out) { return Answer(out, Object()->m_unitsCode); }

HRESULT STDMETHODCALLTYPE Imp::SetLanguage(WORD language) {
  JStyleTextChar* self = Object();
  if (!self->m_data.fontName) {
    self->m_data.language = language;
    return S_OK;
  }
  WORD settled = 0;
  const HRESULT hr = self->ResolveFontLanguage(self->m_data.fontName, language, &settled);
  if (FAILED(hr)) return hr;
  // A language the font does not take is not an error: the style keeps the one it has.
  if (settled == language) self->m_data.language = language;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetSize(double size, DWORD sizeUnits) {
  if (!IsUsableSize(size) || !IsSizeUnits(sizeUnits)) return E_INVALIDARG;
  TextCharData& data = Object()->m_data;
  data.size = size;
  data.sizeUnits = sizeUnits;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetThousandths(WORD value) {
  Object()->m_data.thousandths = value;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetAttributeBits(WORD bits) {
  Object()->m_data.attributeBits = bits;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetFontName(LPCWSTR name) {
  if (!name || !name[0]) return E_OUTOFMEMORY;
  LPWSTR copy = NewName(name, std::wcslen(name));
  if (!copy) return Report(E_OUTOFMEMORY, __LINE__);
  JStyleTextChar* self = Object();
  self->ReplaceFontName(copy);
  self->ResettleLanguage();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetFontNameA(LPCSTR name) {
  if (!name || !name[0]) return SetFontName(L"");
  WCHAR wide[kNarrowNameCharacters];
  if (MultiByteToWideChar(CP_ACP, 0, name, -1, wide, kNarrowNameCharacters) == 0) return E_INVALIDARG;
  return SetFontName(wide);
}

// The font manager takes the factor in single precision: what that cannot carry is refused.
HRESULT STDMETHODCALLTYPE Imp::SetFactor(double factor) {
  if (!(std::fabs(factor) <= FLT_MAX)) return E_INVALIDARG;
  Object()->m_data.factor = static_cast<float>(factor);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetPercent(double fraction) {
  Object()->m_data.percent = HundredthsOf(fraction);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetValueByte1(BYTE value) {
  Object()->m_data.valueByte1 = value;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetColor(DWORD colour) {
  Object()->m_data.colour = colour;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetFourBytes(const DWORD* value) {
  if (!value || IsBadReadPtr(value, sizeof *value)) return E_INVALIDARG;
  std::memcpy(Object()->m_data.fourBytes, value, sizeof *value);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetAngle(double degrees) {
  if (!(degrees > -90.0 && degrees < 90.0)) return E_INVALIDARG;
  Object()->m_data.angle = static_cast<signed char>(degrees);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetValueByte2(BYTE value) {
  Object()->m_data.valueByte2 = value;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetValueByte3(BYTE value) {
  Object()->m_data.valueByte3 = value;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetLockMask(DWORD mask) {
  Object()->m_data.lockMask = mask;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetScaledLength(WORD value) {
  Object()->m_data.scaledLength = value;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetLanguage(WORD* out) {
  if (!out || IsBadReadPtr(out, sizeof *out) || IsBadWritePtr(out, sizeof *out)) return E_INVALIDARG;
  *out = Object()->m_data.language;
  return S_OK;
}

// Units the font manager has no metrics for answer the stored size in its own units, without asking it.
HRESULT STDMETHODCALLTYPE Imp::GetSize(double* size, DWORD* sizeUnits) {
  JStyleTextChar* self = Object();
  const TextCharData& data = self->m_data;
  if (!sizeUnits || *sizeUnits == data.sizeUnits || *sizeUnits < kSizeUnits10 ||
      *sizeUnits > STYLE_UNITS_UNSCALED) {
    if (sizeUnits) *sizeUnits = data.sizeUnits;
    return Answer(size, data.size);
  }
  if (!size) return E_INVALIDARG;
  return self->SizeInUnits(*sizeUnits, size);
}

HRESULT STDMETHODCALLTYPE Imp::GetThousandths(WORD* out) { return Answer(out, Object()->m_data.thousandths); }

HRESULT STDMETHODCALLTYPE Imp::GetAttributeBits(WORD* out) { return Answer(out, Object()->m_data.attributeBits); }

HRESULT STDMETHODCALLTYPE Imp::GetFontName(LPWSTR buffer) {
  if (!buffer) return E_INVALIDARG;
  const LPCWSTR name = Object()->m_data.fontName;
  std::wcscpy(buffer, name ? name : L"");
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetFactor(double* out) { return Answer(out, Object()->m_data.factor); }

HRESULT STDMETHODCALLTYPE Imp::GetPercent(double* out) { return Answer(out, Object()->m_data.percent * 0.01); }

HRESULT STDMETHODCALLTYPE Imp::GetValueByte1(BYTE* out) { return Answer(out, Object()->m_data.valueByte1); }

HRESULT STDMETHODCALLTYPE Imp::GetColor(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  *out = Object()->m_data.colour;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetFourBytes(DWORD* out) {
  if (!out || IsBadReadPtr(out, sizeof *out) || IsBadWritePtr(out, sizeof *out)) return E_INVALIDARG;
  std::memcpy(out, Object()->m_data.fourBytes, sizeof *out);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetAngle(double* out) { return Answer(out, Object()->m_data.angle); }

HRESULT STDMETHODCALLTYPE Imp::GetValueByte2(DWORD* out) { return Answer(out, Object()->m_data.valueByte2); }

HRESULT STDMETHODCALLTYPE Imp::GetValueByte3(DWORD* out) { return Answer(out, Object()->m_data.valueByte3); }

HRESULT STDMETHODCALLTYPE Imp::GetLockMask(DWORD* out) { return Answer(out, Object()->m_data.lockMask); }

HRESULT STDMETHODCALLTYPE Imp::GetScaledLength(WORD* out) { return Answer(out, Object()->m_data.scaledLength); }

// The record's other fields are taken even when one is refused; a refused size becomes 1.0, a refused units code
// keeps the old one, and the answer says so.
HRESULT STDMETHODCALLTYPE Imp::SetCharData(const TextCharData* data) {
  if (!data) return E_INVALIDARG;
  JStyleTextChar* self = Object();
  HRESULT result = S_OK;
  LPWSTR name = nullptr;
  if (data->fontName && data->fontName[0] && !(name = NewName(data->fontName, std::wcslen(data->fontName)))) {
    result = Report(E_OUTOFMEMORY, __LINE__);
  }
  TextCharData next = *data;
  if (!IsUsableSize(next.size)) {
    next.size = 1.0;
    result = E_INVALIDARG;
  }
  if (!IsStyleUnits(next.unitsCode)) {
    next.unitsCode = self->m_data.unitsCode;
    result = E_INVALIDARG;
  }
  if (!IsSizeUnits(next.sizeUnits)) {
    next.sizeUnits = self->m_data.sizeUnits;
    result = E_INVALIDARG;
  }
  ClearFiller(next);
  next.fontName = self->m_data.fontName;
  self->m_data = next;
  self->ReplaceFontName(name);
  self->m_unitsCode = self->m_data.unitsCode;
  self->ResettleLanguage();
  return result;
}

HRESULT STDMETHODCALLTYPE Imp::GetCharData(TextCharData* data) {
  if (!data) return E_INVALIDARG;
  const TextCharData& mine = Object()->m_data;
  LPWSTR name = data->fontName;
  if (name) {
    std::wcscpy(name, mine.fontName ? mine.fontName : L"");
  } else if (mine.fontName) {
    const std::size_t bytes = (std::wcslen(mine.fontName) + 1) * sizeof(WCHAR);
    name = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (!name) return Report(E_OUTOFMEMORY, __LINE__);
    std::memcpy(name, mine.fontName, bytes);
  }
  TextCharData out = mine;
  ClearFiller(out);
  out.fontName = name;
  *data = out;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetLockMask2(DWORD* out) { return Answer(out, Object()->m_data.lockMask); }

HRESULT STDMETHODCALLTYPE Imp::SetLockMask2(DWORD mask) { return SetLockMask(mask); }

HRESULT STDMETHODCALLTYPE Imp::FontOperation23(DWORD a1, DWORD a2) {
  return Object()->m_IJStyleRenderTextImp.FontOperation23(a1, a2);
}

HRESULT STDMETHODCALLTYPE Imp::EnumFontLanguages(TextLanguageCallback callback) {
  return Object()->m_IJStyleRenderTextImp.EnumFontLanguages(callback);
}

// ---- IJStyleRenderText ----

using RenderImp = JStyleTextChar::IJStyleRenderTextImp;

// The render operations are the base's own, so that both tables behave alike.
DWORD STDMETHODCALLTYPE RenderImp::GetVariant() { return Object()->m_IJStyleRenderImp.GetVariant(); }

HRESULT STDMETHODCALLTYPE RenderImp::GetRangeWithContext(StyleExtent* extent, const RenderContextScales* context,
                                                        IJStyleRender* substitute, const tagStyleOverride* record) {
  return Object()->m_IJStyleRenderImp.GetRangeWithContext(extent, context, substitute, record);
}

HRESULT STDMETHODCALLTYPE RenderImp::SetReferencedStyle(IUnknown* style) {
  return Object()->m_IJStyleRenderImp.SetReferencedStyle(style);
}

HRESULT STDMETHODCALLTYPE RenderImp::GetStyleKind(DWORD* out) { return Object()->m_IJStyleRenderImp.GetStyleKind(out); }

HRESULT STDMETHODCALLTYPE RenderImp::GetReferencedStyle(IJStyleRender** out) {
  return Object()->m_IJStyleRenderImp.GetReferencedStyle(out);
}

HRESULT STDMETHODCALLTYPE RenderImp::GetFixedQuery1(DWORD* out) {
  return Object()->m_IJStyleRenderImp.GetFixedQuery1(out);
}

HRESULT STDMETHODCALLTYPE RenderImp::GetFixedQuery2(DWORD* out) {
  return Object()->m_IJStyleRenderImp.GetFixedQuery2(out);
}

HRESULT STDMETHODCALLTYPE RenderImp::GetFixedQuery3(DWORD value, DWORD* out) {
  return Object()->m_IJStyleRenderImp.GetFixedQuery3(value, out);
}

HRESULT STDMETHODCALLTYPE RenderImp::RenderWithContext(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                                      const RenderContextScales* context, IJStyleRender* substitute,
                                                      const tagStyleOverride* record,
                                                      const StyleElementRecord* element) {
  return Object()->m_IJStyleRenderImp.RenderWithContext(geometry, target, context, substitute, record, element);
}

HRESULT STDMETHODCALLTYPE RenderImp::GetExtentDelta(StyleExtent* extent) {
  return Object()->m_IJStyleRenderImp.GetExtentDelta(extent);
}

HRESULT STDMETHODCALLTYPE RenderImp::ApplyToGraphic(tagStyleOverride* record) {
  return Object()->m_IJStyleRenderImp.ApplyToGraphic(record);
}

HRESULT STDMETHODCALLTYPE RenderImp::NotOffered14(DWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE RenderImp::NotOffered16(DWORD) { return E_NOTIMPL; }

// A divisor of 0 or one that is not finite would hand back infinities or NaN: refused, the answers untouched.
HRESULT STDMETHODCALLTYPE RenderImp::MeasureInUnits(const TextDrawItem* item, DWORD, const double* factors,
                                                   DWORD unitsCode, double* a, double* b) {
  if (!item || !factors || !a || !b) return E_INVALIDARG;
  constexpr int kTextFactor = 16;
  const double divisor = unitsCode == STYLE_UNITS_11   ? factors[kTextFactor] * factors[0]
                         : unitsCode == STYLE_UNITS_12 ? factors[1]
                                                       : factors[2];
  if (!std::isfinite(divisor) || divisor == 0.0) return E_INVALIDARG;
  double r1 = 0.0, r2 = 0.0, r3 = 0.0;
  const HRESULT hr = TextOp22(&r1, &r2, &r3, nullptr, item->measureText, item->measureCount, 0, nullptr);
  if (FAILED(hr)) return hr;
  *a = (r2 + r3) / divisor;
  *b = r1 / divisor;
  return hr;
}

// Every text operation below: the attribute record made current first, then the font manager's own operation,
// whose failure is reported.
#define TEXT_FORWARD(context, flags, record, call)                        \
  JStyleTextChar* self = Object();                                       \
  HRESULT hr = self->SetUpFontManager(context, flags, record);           \
  if (FAILED(hr)) return hr;                                             \
  if (FAILED(hr = self->m_fontMgr->call)) return Report(hr, __LINE__);  \
  return hr

HRESULT STDMETHODCALLTYPE RenderImp::TextOp17(void* a1, const RenderContextScales* context,
                                             const tagStyleOverride* record) {
  TEXT_FORWARD(context, 0, record, TextOp14(a1));
}

HRESULT STDMETHODCALLTYPE RenderImp::TextOp18(double* metrics, const RenderContextScales* context,
                                             const tagStyleOverride* record) {
  TEXT_FORWARD(context, 0, record, QueryTextMetrics(metrics));
}

HRESULT STDMETHODCALLTYPE RenderImp::TextOp19(double* metrics, const RenderContextScales* context, DWORD flags,
                                             const tagStyleOverride* record) {
  TEXT_FORWARD(context, flags, record, QueryTextMetrics(metrics));
}

HRESULT STDMETHODCALLTYPE RenderImp::TextOp20(void* a1, const RenderContextScales* context, DWORD a3, DWORD a4,
                                             DWORD flags, DWORD a6, DWORD a7, const tagStyleOverride* record) {
  TEXT_FORWARD(context, flags, record, TextOp18(a1, a3, a4, flags, a6, a7));
}

HRESULT STDMETHODCALLTYPE RenderImp::TextOp21(void* a1, DWORD a2, const RenderContextScales* context, DWORD a4,
                                             DWORD a5, DWORD flags, DWORD a7, DWORD a8,
                                             const tagStyleOverride* record) {
  TEXT_FORWARD(context, flags, record, TextOp19(a1, a2, a4, a5, flags, a7, a8));
}

HRESULT STDMETHODCALLTYPE RenderImp::TextOp22(double* a1, double* a2, double* a3, const RenderContextScales* context,
                                             DWORD a5, DWORD a6, DWORD flags, const tagStyleOverride* record) {
  TEXT_FORWARD(context, flags, record, MeasureText(a1, a2, a3, a5, a6, flags));
}

HRESULT STDMETHODCALLTYPE RenderImp::TextOp23(void* a1, const RenderContextScales* context, DWORD a3, DWORD a4,
                                             DWORD flags, DWORD a6, const tagStyleOverride* record) {
  const double direction = context ? context->orientation : Object()->DefaultTextContext().orientation;
  TEXT_FORWARD(context, flags, record, TextOp17(a1, a3, a4, flags, a6, direction));
}

HRESULT STDMETHODCALLTYPE RenderImp::FontOperation23(DWORD a1, DWORD a2) {
  TEXT_FORWARD(nullptr, 0, nullptr, TextOp23(a1, a2));
}

HRESULT STDMETHODCALLTYPE RenderImp::EnumFontLanguages(TextLanguageCallback callback) {
  TEXT_FORWARD(nullptr, 0, nullptr, EnumLanguages(callback));
}

#undef TEXT_FORWARD

// Its own refusals and the font manager's answer go back as they are, unreported.
HRESULT STDMETHODCALLTYPE RenderImp::TextOp24(void* a1, const RenderContextScales* context, DWORD flags, void* a4,
                                             const tagStyleOverride* record) {
  JStyleTextChar* self = Object();
  const HRESULT hr = self->SetUpFontManager(context, flags, record);
  if (FAILED(hr)) return hr;
  if (!a1 || !a4) return E_INVALIDARG;
  return self->m_fontMgr->TextOp22(a1, flags, a4);
}

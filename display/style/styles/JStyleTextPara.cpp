#include "display/style/styles/JStyleTextPara.h"

#include <array>
#include <cmath>
#include <cstring>

#include "display/style/server.h"
#include "display/style/stylbas/StyleCallDepth.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styles/LineStyleShared.h"
#include "display/style/stylspt/StyleExports.h"
#include "host/pellow/pellow.h"

namespace {

constexpr char kSource[] = "TEXTPARA";
// Line spacings, distances and the like closer than this are equal.
constexpr double kParaEpsilon = 1.1920928955078125e-7;
constexpr DWORD kStopBytes = kParaStopCount * sizeof(ParaStopEntry);
// The current record carries the line-spacing mode in the high half of a u32.
constexpr DWORD kMostStoredMode = 0xFFFF;

HRESULT Report(HRESULT hr, int line) {
  HRerr(hr, 0, kSource, line);
  return hr;
}

// A distance, or a line spacing as the setters take it (SetParaData also keeps a negative spacing).
bool IsDistance(double value) { return std::isfinite(value) && value >= 0.0; }

template <class T>
HRESULT Answer(T* out, T value) {
  if (!out) return E_INVALIDARG;
  *out = value;
  return S_OK;
}

HRESULT SetDistance(double& field, double value) {
  if (!IsDistance(value)) return E_INVALIDARG;
  field = value;
  return S_OK;
}

// The six doubles in the order both records keep them: three distances, the line spacing, two distances.
std::array<double*, 6> Doubles(TextParaData& d) {
  return {&d.distance1, &d.distance2, &d.distance3, &d.lineSpacing, &d.distance4, &d.distance5};
}

double* Distances(TextParaData& d, int i) {
  double* fields[] = {&d.distance1, &d.distance2, &d.distance3, &d.distance4, &d.distance5};
  return fields[i];
}

void ClearFiller(TextParaData& d) {
  d.filler9 = 0;
  std::memset(d.filler12, 0, sizeof d.filler12);
  for (ParaStopEntry& stop : d.stops) std::memset(stop.filler12, 0, sizeof stop.filler12);
}

// What only damage gives: a units code no setter takes, a distance that is negative or not finite, a line
// spacing that is not finite.
bool IsSound(TextParaData& d) {
  if (!IsStorableUnitsCode(d.unitsCode) || !std::isfinite(d.lineSpacing)) return false;
  for (int i = 0; i < 5; ++i) {
    if (!IsDistance(*Distances(d, i))) return false;
  }
  return true;
}

// The line-spacing modes of the version-2 record, as today's codes.
DWORD RemapOldMode(DWORD mode) {
  static constexpr BYTE kModes[36] = {0,  2,  1,  1,  32, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 16, 18,
                                      17, 18, 18, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 16, 18, 17, 16};
  return mode < 36 ? kModes[mode] : 17;
}

// The units code in the three low bits of the base record's flags: 11 to 14 as 1 to 4, 0 as 0.
WORD UnitsBits(DWORD unitsCode) {
  return unitsCode >= STYLE_UNITS_11 && unitsCode <= STYLE_UNITS_UNSCALED ? static_cast<WORD>(unitsCode - 10) : 0;
}

}  // namespace

JStyleTextPara::JStyleTextPara(IUnknown* outer) : JStyleBase(outer) {
  m_data.lineSpacing = 1.0;
  m_data.lineSpacingMode = 2;
  IncrementLiveObjectCount();
}

JStyleTextPara::~JStyleTextPara() {
  // The use of the character style's ID stays with the library; ReleaseStyleRefs gives it back.
  DropCharStyle();
  DecrementLiveObjectCount();
}

void* JStyleTextPara::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJStyleTextPara)) return &m_IJStyleTextParaImp;
  return JStyleBase::GetInterface(iid);
}

void* JStyleTextPara::GetAggregateInterface(REFIID iid) {
  if (void* found = JStyleBase::GetAggregateInterface(iid)) return found;
  void* extension = nullptr;
  if (FAILED(QueryClassExtension(&CLSID_JStyleTextPara, GetControllingUnknown(), iid, &extension))) return nullptr;
  return extension;
}

GUID* JStyleTextPara::GetClassID(GUID* out) {
  *out = CLSID_JStyleTextPara;
  return out;
}

GUID* JStyleTextPara::GetStyleCategory(GUID* out) {
  *out = STYLETYPE_TextPara;
  return out;
}

// ---- the character style ----

void JStyleTextPara::DropCharStyle() { ReleaseCache(m_charStyle); }

void JStyleTextPara::GiveBackUse(DWORD id) {
  StyleComPtr<IJSLLibrarian> librarian;
  if (IsUsableStyleID(id) && SUCCEEDED(OwnerLibrarian(librarian.Put()))) librarian->ReleaseStyleID(id);
}

HRESULT JStyleTextPara::MoveCharStyleID(DWORD id) {
  if (id == m_charID) return S_OK;
  if (!m_owner) {
    if (IsUsableStyleID(id)) return E_FAIL;
    m_charID = id;
    return S_OK;
  }
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = OwnerLibrarian(librarian.Put());
  if (SUCCEEDED(hr) && IsUsableStyleID(id)) hr = librarian->AddRefStyleID(id);
  if (FAILED(hr)) return hr;
  const DWORD old = m_charID;
  m_charID = id;
  GiveBackUse(old);
  return S_OK;
}

HRESULT JStyleTextPara::TakeCharStyle(IUnknown* renderText) {
  if (m_owner) {
    const DWORD id = GetStyleID(renderText);
    if (id == kInvalidStyleID) return E_FAIL;
    const HRESULT hr = MoveCharStyleID(id);
    if (FAILED(hr)) return hr;
    // A style of another library is known here by its name or as a copy: the style is the one the ID names.
    DropCharStyle();
    return FetchCharStyle();
  }
  m_charID = kInvalidStyleID;
  renderText->AddRef();
  IUnknown* previous = m_charStyle;
  m_charStyle = renderText;
  if (previous) previous->Release();
  return S_OK;
}

HRESULT JStyleTextPara::FetchCharStyle() {
  if (m_charStyle || !IsUsableStyleID(m_charID) || !m_owner) return S_OK;
  const HRESULT hr = GetStyleByID(m_charID, IID_IJStyleRenderText, reinterpret_cast<void**>(&m_charStyle));
  if (FAILED(hr)) {
    m_charStyle = nullptr;
    return Report(hr, __LINE__);
  }
  return S_OK;
}

HRESULT JStyleTextPara::ResolveCharStyle() {
  // A character style refers to nothing, but whatever a library hands out may lead back here.
  StyleCallDepth depth;
  if (!depth.Entered()) return Report(E_FAIL, __LINE__);
  if (m_charID == kNoStyleID && !m_charStyle && m_owner && m_ownerIsLibrarian) {
    DWORD id = kNoStyleID;
    StyleComPtr<IUnknown> exception;
    HRESULT hr = HGetCharExceptionStyle(&id, exception.Put(), m_data.unitsCode, m_owner);
    if (FAILED(hr)) return Report(hr, __LINE__);
    if (FAILED(hr = MoveCharStyleID(id))) return Report(hr, __LINE__);
  }
  return FetchCharStyle();
}

// ---- copying and comparing ----

HRESULT JStyleTextPara::Clone(IUnknown* outer, IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  auto* copy = new JStyleTextPara(outer);
  if (!copy) return Report(E_OUTOFMEMORY, __LINE__);
  copy->AddRef();
  HRESULT hr = copy->Init();
  TextParaData data{};
  if (SUCCEEDED(hr)) hr = m_IJStyleTextParaImp.GetParaData(&data);
  if (SUCCEEDED(hr)) hr = copy->m_IJStyleTextParaImp.SetParaData(&data, 1);
  if (FAILED(hr)) {
    copy->Release();
    return Report(hr, __LINE__);
  }
  // Without an owner the copy counts no use of the ID; it takes one when it is given an owner.
  copy->m_charID = m_charID;
  copy->m_extraValue = m_extraValue;
  *out = static_cast<UUnknown*>(copy);
  return S_OK;
}

HRESULT JStyleTextPara::CopyFrom(IUnknown* source, DWORD flags) {
  HRESULT hr = JStyleBase::CopyFrom(source, flags);
  if (FAILED(hr)) return hr;
  StyleComPtr<IJStyleTextPara> other;
  hr = source->QueryInterface(IID_IJStyleTextPara, other.PutVoid());
  if (FAILED(hr)) return Report(hr, __LINE__);
  TextParaData d{};
  hr = other->GetParaData(&d);
  if (FAILED(hr)) return Report(hr, __LINE__);
  IJStyleTextParaImp& self = m_IJStyleTextParaImp;
  if (flags == 0) {
    hr = self.SetParaData(&d, 1);
    if (FAILED(hr)) Report(hr, __LINE__);
    return hr;
  }

  // Field by field through the setters, leaving alone what this style's own mask locks; the first refusal
  // ends the copy.
  const DWORD lock = m_data.lockMask;
  const auto open = [lock](DWORD bit) { return (lock & bit) == 0; };
  if (open(TPARA_LOCK_VALUE_BYTE_1)) self.SetParaValueByte1(d.valueByte1);
  if (open(TPARA_LOCK_VALUE_BYTE_2)) self.SetParaValueByte2(d.valueByte2);
  if (open(TPARA_LOCK_DISTANCE_1) && FAILED(hr = self.SetDistance1(d.distance1))) return Report(hr, __LINE__);
  if (open(TPARA_LOCK_DISTANCE_2) && FAILED(hr = self.SetDistance2(d.distance2))) return Report(hr, __LINE__);
  if (open(TPARA_LOCK_DISTANCE_3) && FAILED(hr = self.SetDistance3(d.distance3))) return Report(hr, __LINE__);
  if (open(TPARA_LOCK_LINE_SPACING) && FAILED(hr = self.SetLineSpacingWithMode(d.lineSpacing, d.lineSpacingMode))) {
    return Report(hr, __LINE__);
  }
  if (open(TPARA_LOCK_DISTANCE_4) && FAILED(hr = self.SetDistance4(d.distance4))) return Report(hr, __LINE__);
  if (open(TPARA_LOCK_DISTANCE_5) && FAILED(hr = self.SetDistance5(d.distance5))) return Report(hr, __LINE__);
  if (open(TPARA_LOCK_STOPS) && FAILED(hr = self.SetStopEntries(kParaStopCount, d.stops))) {
    return Report(hr, __LINE__);
  }
  if (open(TPARA_LOCK_CHAR_STYLE)) {
    // A source without a character style passes that on: the setter would refuse the null style and end the
    // copy half done.
    hr = d.charStyle ? self.SetCharStyle(d.charStyle, 1) : self.ClearCharStyle();
    if (FAILED(hr)) return Report(hr, __LINE__);
  }
  return S_OK;
}

HRESULT JStyleTextPara::IsEqual(IUnknown* other, BOOL* same) {
  if (!other || !same) return E_INVALIDARG;
  *same = FALSE;
  StyleComPtr<IJStyleTextPara> text;
  if (FAILED(other->QueryInterface(IID_IJStyleTextPara, text.PutVoid()))) return S_OK;
  TextParaData theirs{};
  HRESULT hr = text->GetParaData(&theirs);
  if (FAILED(hr)) return Report(hr, __LINE__);
  TextParaData& mine = m_data;
  const auto within = [](double a, double b) { return std::fabs(a - b) < kParaEpsilon; };
  const bool equal = mine.unitsCode == theirs.unitsCode && mine.lockMask == theirs.lockMask &&
                     mine.valueByte1 == theirs.valueByte1 && mine.lineSpacingMode == theirs.lineSpacingMode &&
                     within(mine.distance1, theirs.distance1) && within(mine.distance2, theirs.distance2) &&
                     within(mine.distance3, theirs.distance3) && within(mine.lineSpacing, theirs.lineSpacing) &&
                     within(mine.distance4, theirs.distance4) && within(mine.distance5, theirs.distance5) &&
                     mine.valueByte2 == theirs.valueByte2 && mine.charStyleMode == 0 && theirs.charStyleMode == 0;
  if (!equal) return S_OK;
  hr = JStyleBase::IsEqual(other, same);
  if (FAILED(hr)) return Report(hr, __LINE__);
  if (!*same) return S_OK;

  // One library's character styles are the same by ID; others are compared as styles.
  *same = FALSE;
  DWORD theirID = kNoStyleID;
  StyleComPtr<IJManageStyle2> manage;
  StyleComPtr<IUnknown> theirOwner;
  if (FAILED(hr = text->GetCharStyleID(&theirID))) return Report(hr, __LINE__);
  if (SUCCEEDED(other->QueryInterface(IID_IJManageStyle2, manage.PutVoid()))) manage->GetOwner(theirOwner.Put());
  if (IsUsableStyleID(m_charID) && m_charID == theirID && m_owner && StyleSameObject(m_owner, theirOwner.Get())) {
    *same = TRUE;
    return S_OK;
  }
  if (FAILED(hr = ResolveCharStyle())) return hr;
  return SameReferencedStyle(m_charStyle, theirs.charStyle, same, kSource, __LINE__);
}

// ---- references ----

HRESULT JStyleTextPara::SetOwner(IUnknown* owner) {
  HRESULT hr;
  if (!m_owner && !m_charStyle) {
    hr = JStyleBase::SetOwner(owner);
    if (FAILED(hr)) Report(hr, __LINE__);
    return hr;
  }
  // The character style is taken as an object, so that its use can move from the old library to the new.
  if (FAILED(hr = FetchCharStyle())) return hr;
  StyleComPtr<IUnknown> held(m_charStyle);
  m_charStyle = nullptr;
  if (FAILED(hr = MoveCharStyleID(kNoStyleID))) Report(hr, __LINE__);
  hr = JStyleBase::SetOwner(owner);
  if (FAILED(hr)) return Report(hr, __LINE__);
  if (held && FAILED(hr = TakeCharStyle(held.Get()))) Report(hr, __LINE__);
  return hr;
}

HRESULT JStyleTextPara::ReleaseStyleRefs(DWORD value) {
  DropCharStyle();
  MoveCharStyleID(kNoStyleID);
  return JStyleBase::ReleaseStyleRefs(value);
}

HRESULT JStyleTextPara::EnumStyleRefs(StyleRefCallback callback) {
  if (!callback) return E_INVALIDARG;
  HRESULT hr = callback(m_charID);
  if (FAILED(hr)) return Report(hr, __LINE__);
  hr = JStyleBase::EnumStyleRefs(callback);
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

// The style a paragraph held as an object (mode 1) is replaced by the new object; any other cache goes, so that
// the style of the ID is fetched again rather than the replaced one used on.
HRESULT JStyleTextPara::OnStyleChanged(DWORD id, DWORD newStyle) {
  const HRESULT hr = JStyleBase::OnStyleChanged(id, newStyle);
  if (FAILED(hr)) Report(hr, __LINE__);
  if (id == kNoStyleID || id != m_charID || !m_charStyle) return hr;
  DropCharStyle();
  auto* style = reinterpret_cast<IUnknown*>(static_cast<UINT_PTR>(newStyle));
  if (m_data.charStyleMode == 1 && style) {
    const HRESULT found = style->QueryInterface(IID_IJStyleRenderText, reinterpret_cast<void**>(&m_charStyle));
    if (FAILED(found)) {
      m_charStyle = nullptr;
      return Report(found, __LINE__);
    }
  }
  return S_OK;
}

HRESULT JStyleTextPara::CopyToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                                      IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!target) return E_INVALIDARG;
  StyleCallDepth depth;
  if (!depth.Entered()) return Report(E_FAIL, __LINE__);
  HRESULT hr;
  // The character style goes first, so that the copy can refer to it in the target.
  const bool hasCharStyle = IsUsableStyleID(m_charID) || m_charStyle;
  DWORD charThere = kNoStyleID;
  if (hasCharStyle) {
    hr = CopyReferenceToLibrary(this, m_charID, m_charStyle, source, target, targetDocument, &charThere, kSource,
                                __LINE__, __LINE__, __LINE__, __LINE__);
    if (FAILED(hr)) return hr;
  }
  StyleComPtr<IUnknown> clone;
  hr = JStyleBase::CopyToLibrary(source, target, targetDocument, clone.Put());
  if (FAILED(hr)) return Report(hr, __LINE__);
  if (hasCharStyle) {
    StyleComPtr<IJStyleTextPara> para;
    StyleComPtr<IUnknown> charStyle;
    if (FAILED(hr = clone->QueryInterface(IID_IJStyleTextPara, para.PutVoid()))) return Report(hr, __LINE__);
    if (FAILED(hr = target->GetStyle(charThere, charStyle.Put()))) return Report(hr, __LINE__);
    if (FAILED(hr = para->SetCharStyle(charStyle.Get(), 1))) return Report(hr, __LINE__);
  }
  *out = clone.Detach();
  return S_OK;
}

// ---- persistence ----

HRESULT JStyleTextPara::SerializeVersioned(JArchive* archive) {
  const DWORD styleID = m_styleID;
  const WORD flagWord = m_flagWord;
  const HRESULT hr = JStyleBase::SerializeVersioned(archive);
  if (FAILED(hr) && IsLoading(archive)) {
    m_styleID = styleID;
    m_flagWord = flagWord;
  }
  return hr;
}

HRESULT JStyleTextPara::SerializeWithHeader(JArchive* archive) { return SerializeVersioned(archive); }

HRESULT JStyleTextPara::Serialize(JArchive* archive) {
  HRESULT hr;
  if (!IsVersioned(archive)) {
    hr = SerializeCurrent(archive);
    if (FAILED(hr)) Report(hr, __LINE__);
    return hr;
  }
  WORD version = 0;
  DWORD scratch = 0;
  hr = ArchiveSerializeClassHeader(archive, &CLSID_JStyleTextPara, &version, &scratch);
  if (FAILED(hr)) return Report(hr, __LINE__);
  // Any other version exchanges nothing more.
  if (version == 2 || version == 3) {
    hr = SerializeVersion3(archive, version);
  } else if (version == kCurrentVersion) {
    hr = SerializeCurrent(archive);
  }
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

HRESULT JStyleTextPara::EndExchange(HRESULT hr, JArchive* archive, DWORD styleID, TextParaData d, DWORD charID,
                                    bool remapMode) {
  if (!IsLoading(archive)) return hr;
  if (SUCCEEDED(hr) && !IsSound(d)) hr = Report(E_FAIL, __LINE__);
  if (SUCCEEDED(hr) && d.unitsCode == STYLE_UNITS_NONE) {
    // A paragraph without units takes the usual ones, unless it holds its character style as an object.
    if (d.charStyleMode == 1) {
      hr = Report(E_NOINTERFACE, __LINE__);
    } else {
      d.unitsCode = STYLE_UNITS_11;
    }
  }
  if (FAILED(hr)) {
    m_styleID = styleID;
    return hr;
  }
  if (remapMode && hr == S_OK) d.lineSpacingMode = RemapOldMode(d.lineSpacingMode);
  // A load moves no use counts: the library's counts were stored with it. A cache of another ID goes.
  if (charID != m_charID) DropCharStyle();
  m_charID = charID;
  d.charStyle = nullptr;
  ClearFiller(d);
  m_data = d;
  return hr;
}

HRESULT JStyleTextPara::SerializeCurrent(JArchive* archive) {
  const bool loading = IsLoading(archive);
  // A reload may give the IDs to other styles: nothing cached under the old ID may be used under the new.
  if (DropsCachedReferences(archive)) DropCharStyle();
  if (!loading && m_data.lineSpacingMode > kMostStoredMode) return Report(E_FAIL, __LINE__);
  const DWORD styleID = m_styleID;
  StyleBaseRecord base{};
  base.flags = UnitsBits(m_data.unitsCode);
  HRESULT hr = SerializeBase(archive, &base);
  if (FAILED(hr)) return EndExchange(Report(hr, __LINE__), archive, styleID, m_data, m_charID, false);
  TextParaData d = m_data;
  DWORD charID = m_charID;
  DWORD modeWord = d.lineSpacingMode << 16;
  BYTE reserved = 0;
  const auto move = [&](auto& value, int line) {
    if (SUCCEEDED(hr) && FAILED(hr = Exchange(archive, value))) Report(hr, line);
  };
  move(modeWord, __LINE__);
  move(d.lockMask, __LINE__);
  move(d.charStyleMode, __LINE__);
  move(d.valueByte1, __LINE__);
  move(d.valueByte2, __LINE__);
  move(reserved, __LINE__);
  // The record has no stops: a stored or loaded paragraph has none.
  std::memset(d.stops, 0, sizeof d.stops);
  if (!loading) std::memset(m_data.stops, 0, sizeof m_data.stops);
  move(charID, __LINE__);
  for (double* value : Doubles(d)) move(*value, __LINE__);
  if (loading) {
    const WORD units = base.flags & kStyleBaseUnitsMask;
    d.unitsCode = units ? units + 10u : DWORD{STYLE_UNITS_NONE};
    d.lineSpacingMode = modeWord >> 16;
  }
  return EndExchange(hr, archive, styleID, d, charID, false);
}

HRESULT JStyleTextPara::SerializeVersion3(JArchive* archive, WORD version) {
  if (DropsCachedReferences(archive)) DropCharStyle();
  TextParaData d = m_data;
  DWORD charID = m_charID;
  HRESULT hr = S_OK;
  const auto move = [&](auto& value, int line) {
    if (SUCCEEDED(hr) && FAILED(hr = Exchange(archive, value))) Report(hr, line);
  };
  move(d.unitsCode, __LINE__);
  move(d.charStyleMode, __LINE__);
  move(d.valueByte1, __LINE__);
  move(d.valueByte2, __LINE__);
  for (double* value : Doubles(d)) move(*value, __LINE__);
  for (ParaStopEntry& stop : d.stops) {
    move(stop.value, __LINE__);
    move(stop.byte1, __LINE__);
    move(stop.byte2, __LINE__);
    move(stop.word, __LINE__);
  }
  move(d.lockMask, __LINE__);
  move(d.lineSpacingMode, __LINE__);
  move(charID, __LINE__);
  return EndExchange(hr, archive, m_styleID, d, charID, version == 2);
}

// ---- IJStyleTextPara ----

using Imp = JStyleTextPara::IJStyleTextParaImp;

HRESULT STDMETHODCALLTYPE Imp::SetParaUnits(DWORD unitsCode) {
  if (!IsStorableUnitsCode(unitsCode)) return E_INVALIDARG;
  Object()->m_data.unitsCode = unitsCode;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetParaValueByte1(BYTE value) {
  Object()->m_data.valueByte1 = value;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetParaValueByte2(BYTE value) {
  Object()->m_data.valueByte2 = value;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetDistance2(double distance) {
  return SetDistance(Object()->m_data.distance2, distance);
}

HRESULT STDMETHODCALLTYPE Imp::SetDistance1(double distance) {
  return SetDistance(Object()->m_data.distance1, distance);
}

HRESULT STDMETHODCALLTYPE Imp::SetDistance3(double distance) {
  return SetDistance(Object()->m_data.distance3, distance);
}

HRESULT STDMETHODCALLTYPE Imp::SetLineSpacing(double spacing) {
  return SetDistance(Object()->m_data.lineSpacing, spacing);
}

HRESULT STDMETHODCALLTYPE Imp::SetLineSpacingWithMode(double spacing, DWORD mode) {
  if (!IsDistance(spacing)) return E_INVALIDARG;
  TextParaData& data = Object()->m_data;
  data.lineSpacing = spacing;
  data.lineSpacingMode = mode;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetExtraValue(double value) {
  Object()->m_extraValue = value;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetDistance4(double distance) {
  return SetDistance(Object()->m_data.distance4, distance);
}

HRESULT STDMETHODCALLTYPE Imp::SetDistance5(double distance) {
  return SetDistance(Object()->m_data.distance5, distance);
}

HRESULT STDMETHODCALLTYPE Imp::SetStopEntries(DWORD count, const ParaStopEntry* entries) {
  if (count != kParaStopCount) return E_INVALIDARG;
  if (!entries || IsBadReadPtr(entries, kStopBytes)) return E_POINTER;
  TextParaData& data = Object()->m_data;
  std::memcpy(data.stops, entries, kStopBytes);
  ClearFiller(data);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetCharStyle(IUnknown* style, DWORD) {
  if (!style) return E_INVALIDARG;
  StyleComPtr<IUnknown> renderText;
  HRESULT hr = style->QueryInterface(IID_IJStyleRenderText, renderText.PutVoid());
  if (SUCCEEDED(hr) && !renderText) hr = E_NOINTERFACE;
  if (SUCCEEDED(hr)) hr = Object()->TakeCharStyle(renderText.Get());
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

HRESULT STDMETHODCALLTYPE Imp::SetParaLockMask(DWORD mask) {
  Object()->m_data.lockMask = mask;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetParaUnits(DWORD* out) { return Answer(out, Object()->m_data.unitsCode); }

HRESULT STDMETHODCALLTYPE Imp::GetParaValueByte1(BYTE* out) { return Answer(out, Object()->m_data.valueByte1); }

HRESULT STDMETHODCALLTYPE Imp::GetParaValueByte2(BYTE* out) { return Answer(out, Object()->m_data.valueByte2); }

HRESULT STDMETHODCALLTYPE Imp::GetDistance2(double* out) { return Answer(out, Object()->m_data.distance2); }

HRESULT STDMETHODCALLTYPE Imp::GetDistance1(double* out) { return Answer(out, Object()->m_data.distance1); }

HRESULT STDMETHODCALLTYPE Imp::GetDistance3(double* out) { return Answer(out, Object()->m_data.distance3); }

HRESULT STDMETHODCALLTYPE Imp::GetLineSpacing(double* out) { return Answer(out, Object()->m_data.lineSpacing); }

HRESULT STDMETHODCALLTYPE Imp::GetLineSpacingWithMode(double* spacing, DWORD* mode) {
  const TextParaData& data = Object()->m_data;
  if (mode) *mode = data.lineSpacingMode;
  if (!mode) return E_INVALIDARG;
  return Answer(spacing, data.lineSpacing);
}

HRESULT STDMETHODCALLTYPE Imp::GetExtraValue(double* out) {
  if (!out || IsBadReadPtr(out, sizeof *out) || IsBadWritePtr(out, sizeof *out)) return E_INVALIDARG;
  *out = Object()->m_extraValue;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetDistance4(double* out) { return Answer(out, Object()->m_data.distance4); }

HRESULT STDMETHODCALLTYPE Imp::GetDistance5(double* out) { return Answer(out, Object()->m_data.distance5); }

HRESULT STDMETHODCALLTYPE Imp::GetStopEntries(DWORD count, ParaStopEntry* entries) {
  if (count != kParaStopCount) return E_INVALIDARG;
  if (!entries || IsBadWritePtr(entries, kStopBytes)) return E_POINTER;
  std::memcpy(entries, Object()->m_data.stops, kStopBytes);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetCharStyle(IUnknown** style) {
  if (!style) return Report(E_INVALIDARG, __LINE__);
  if (IUnknown* held = *style) {
    *style = nullptr;
    held->Release();
  }
  JStyleTextPara* self = Object();
  const HRESULT hr = self->ResolveCharStyle();
  if (FAILED(hr)) return hr;
  if (!self->m_charStyle) return kNoCharStyle;
  self->m_charStyle->AddRef();
  *style = self->m_charStyle;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetParaLockMask(DWORD* out) { return Answer(out, Object()->m_data.lockMask); }

// The record's other fields are taken even when one is refused: a refused distance becomes 0.0, a refused units
// code or line spacing keeps the style's, and the answer says so. The incoming character style (asked for its
// IJStyleRenderText, which also holds it while the old one goes) replaces the old one, and the old ID's use is given back only once the new one is taken: the two may be one style,
// which the library would drop the moment its last use went.
HRESULT STDMETHODCALLTYPE Imp::SetParaData(const TextParaData* data, DWORD) {
  if (!data) return Report(E_INVALIDARG, __LINE__);
  JStyleTextPara* self = Object();
  TextParaData next = *data;
  StyleComPtr<IUnknown> incoming;
  HRESULT hr = next.charStyle ? next.charStyle->QueryInterface(IID_IJStyleRenderText, incoming.PutVoid()) : S_OK;
  if (SUCCEEDED(hr) && next.charStyle && !incoming) hr = E_NOINTERFACE;
  HRESULT result = S_OK;
  if (!IsStorableUnitsCode(next.unitsCode)) {
    next.unitsCode = self->m_data.unitsCode;
    result = E_INVALIDARG;
  }
  for (int i = 0; i < 5; ++i) {
    if (!IsDistance(*Distances(next, i))) {
      *Distances(next, i) = 0.0;
      result = E_INVALIDARG;
    }
  }
  if (!std::isfinite(next.lineSpacing)) {
    next.lineSpacing = self->m_data.lineSpacing;
    result = E_INVALIDARG;
  }
  next.charStyle = nullptr;
  ClearFiller(next);

  const DWORD oldID = self->m_charID;
  self->DropCharStyle();
  self->m_charID = kNoStyleID;
  self->m_data = next;
  if (SUCCEEDED(hr) && incoming) hr = self->TakeCharStyle(incoming.Get());
  self->GiveBackUse(oldID);
  if (FAILED(hr)) return Report(hr, __LINE__);
  return result;
}

HRESULT STDMETHODCALLTYPE Imp::GetParaData(TextParaData* data) {
  if (!data) return Report(E_INVALIDARG, __LINE__);
  JStyleTextPara* self = Object();
  const HRESULT hr = self->ResolveCharStyle();
  if (FAILED(hr)) return Report(hr, __LINE__);
  *data = self->m_data;
  data->charStyle = self->m_charStyle;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::ClearCharStyle() {
  JStyleTextPara* self = Object();
  self->DropCharStyle();
  const HRESULT hr = self->MoveCharStyleID(kNoStyleID);
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

HRESULT STDMETHODCALLTYPE Imp::SetCharStyleID(DWORD id) {
  JStyleTextPara* self = Object();
  HRESULT hr;
  if (id != self->m_charID) {
    if (FAILED(hr = self->MoveCharStyleID(id))) return Report(hr, __LINE__);
    self->DropCharStyle();
  }
  hr = self->ResolveCharStyle();
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

HRESULT STDMETHODCALLTYPE Imp::SyncUnitsFromCharStyle() {
  JStyleTextPara* self = Object();
  HRESULT hr = self->ResolveCharStyle();
  if (FAILED(hr)) return hr;
  if (!self->m_charStyle) return kNoCharStyle;
  StyleComPtr<IJStyleTextChar> text;
  DWORD units = 0;
  if (FAILED(hr = self->m_charStyle->QueryInterface(IID_IJStyleTextChar, text.PutVoid()))) {
    return Report(hr, __LINE__);
  }
  if (FAILED(hr = text->GetUnits(&units))) return Report(hr, __LINE__);
  if (units == self->m_data.unitsCode) return S_OK;
  // A units code no paragraph could store is not taken.
  if (!IsStorableUnitsCode(units)) return Report(E_FAIL, __LINE__);
  self->m_data.unitsCode = units;
  return E_FAIL;
}

HRESULT STDMETHODCALLTYPE Imp::GetCharStyleID(DWORD* out) { return Answer(out, Object()->m_charID); }

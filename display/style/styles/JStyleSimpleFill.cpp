#include "display/style/styles/JStyleSimpleFill.h"

#include <cfloat>
#include <cmath>
#include <cstdint>

#include "display/style/stylesrv_clsid.h"
#include "display/style/styles/LineStyleShared.h"
#include "host/pellow/pellow.h"
#include "host/sithe/sithe.h"

namespace {

constexpr char kSource[] = "SIMPFILL";

HRESULT Report(HRESULT hr, int line) {
  HRerr(hr, 0, kSource, line);
  return hr;
}

// The smallest scale magnitude, and the distance within which consecutive boundary points are one point.
constexpr double kFillEpsilon = 1.1920928955078125e-7;
// Set in the stored lock mask: a scale follows the pattern ID.
constexpr DWORD kScaleStored = 0x80000000;
constexpr std::size_t kPointBytes = 3 * sizeof(double);

// A point whose three coordinates are DBL_MAX ends a run. (A point whose x is -DBL_MAX ends a loop inside a
// run; the fill hands it on untouched.)
bool IsFillRunSeparator(const double* point) {
  return point[0] == DBL_MAX && point[1] == DBL_MAX && point[2] == DBL_MAX;
}

// A value handed out through an interface's out-pointer; a null pointer is refused, reported at `line`.
template <class T>
HRESULT Answer(T* out, T value, int line) {
  if (!out) return Report(E_INVALIDARG, line);
  *out = value;
  return S_OK;
}

bool IsUsableScale(double scale) { return std::isfinite(scale) && !(std::fabs(scale) < kFillEpsilon); }

// Room for `count` points from the engine allocator; null when the size does not fit or the memory is not there.
double* AllocatePoints(DWORD count) {
  if (count > SIZE_MAX / kPointBytes) return nullptr;
  return static_cast<double*>(EngineAlloc(std::size_t{count} * kPointBytes));
}

// A point buffer that lives for one render only.
struct CallPoints {
  double* block = nullptr;
  ~CallPoints() { EngineFree(block); }
};

// Restores a flag on every path out of a scope.
struct FlagScope {
  bool& flag;
  bool before;
  ~FlagScope() { flag = before; }
};

}  // namespace

JStyleSimpleFill::JStyleSimpleFill(IUnknown* outer) : CStyleRdr2dBase(outer, Counted{}) {
  m_styleKind = STYLE_KIND_FILL;
}

JStyleSimpleFill::~JStyleSimpleFill() {
  DropPattern();
  EngineFree(m_points);
}

void JStyleSimpleFill::DropPattern() { ReleaseCache(m_pattern); }

void* JStyleSimpleFill::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJStyleSimpleFill)) return &m_IJStyleSimpleFillImp;
  if (IsEqualIID(iid, IID_IJStyleSolidFill)) return &m_IJStyleSolidFillImp;
  return CStyleRdr2dBase::GetInterface(iid);
}

GUID* JStyleSimpleFill::GetClassID(GUID* out) {
  *out = CLSID_JStyleSimpleFill;
  return out;
}

GUID* JStyleSimpleFill::GetStyleCategory(GUID* out) {
  *out = STYLETYPE_Fill;
  return out;
}

HRESULT JStyleSimpleFill::SetReferencedStyle(IUnknown*) {
  DropReferencedStyle();
  m_referencedStyleID = kNoStyleID;
  return S_OK;
}

// ---- the pattern ----

HRESULT JStyleSimpleFill::ResolvePattern(int line) {
  if (m_pattern || m_patternID == kNoStyleID) return S_OK;
  const HRESULT hr = GetStyleByID(m_patternID, IID_IJStyleFillTypeRender, reinterpret_cast<void**>(&m_pattern));
  if (FAILED(hr)) {
    m_pattern = nullptr;
    return Report(hr, line);
  }
  return S_OK;
}

HRESULT JStyleSimpleFill::PatternRender(IJStyleRender** out, int line) {
  *out = nullptr;
  HRESULT hr = ResolvePattern(line);
  if (FAILED(hr) || !m_pattern) return hr;
  hr = m_pattern->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(out));
  if (FAILED(hr)) {
    *out = nullptr;
    return Report(hr, line);
  }
  return S_OK;
}

HRESULT JStyleSimpleFill::SetPattern(IUnknown* pattern) {
  const HRESULT hr = SetStyleRefQI(&m_patternID, AsUnknownSlot(&m_pattern), pattern, IID_IJStyleFillTypeRender);
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

HRESULT JStyleSimpleFill::GetPattern(IJStyleFillTypeRender** out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  *out = nullptr;
  const HRESULT hr = ResolvePattern(__LINE__);
  if (FAILED(hr)) return hr;
  if (m_pattern) m_pattern->AddRef();
  *out = m_pattern;
  return S_OK;
}

HRESULT JStyleSimpleFill::SetFillData(const SimpleFillData* data) {
  if (!data) return Report(E_INVALIDARG, __LINE__);
  const HRESULT hr = SetPattern(data->pattern);
  if (FAILED(hr)) return hr;
  m_colour = data->hasColour ? data->colour : kNoFillColour;
  m_lockMask = data->lockMask;
  return S_OK;
}

HRESULT JStyleSimpleFill::GetFillData(SimpleFillData* data) {
  if (!data) return Report(E_INVALIDARG, __LINE__);
  data->pattern = nullptr;
  const HRESULT hr = GetPattern(&data->pattern);
  if (FAILED(hr)) return hr;
  data->colour = m_colour;
  data->hasColour = m_colour != kNoFillColour;
  data->lockMask = m_lockMask;
  return S_OK;
}

HRESULT JStyleSimpleFill::SetScale(double scale) {
  if (!IsUsableScale(scale)) return Report(E_INVALIDARG, __LINE__);
  m_scale = scale;
  return S_OK;
}

// ---- filling the record and drawing ----

void JStyleSimpleFill::MergeScale(tagStyleOverride* record) const {
  if (record->flags & OVR_SCALE) {
    record->scaleFactor *= m_scale;
  } else {
    record->scaleFactor = m_scale;
    record->flags |= OVR_SCALE;
  }
}

HRESULT JStyleSimpleFill::PrepareRenderRecord(tagStyleOverride* record, const RenderContextScales*, double) {
  if (!record) return S_OK;
  // A fill colour of the record stays when the style has one of its own to give way, or when an override set it.
  const bool keepColour = (record->flags & OVR_FILL_COLOUR) &&
                          (m_colour != kNoFillColour || (record->flags & OVR_FILL_COLOUR_BY_OVERRIDE));
  if (!keepColour) {
    record->fillColour = m_colour;
    record->flags |= OVR_FILL_COLOUR;
  }
  MergeScale(record);

  StyleComPtr<IJStyleRender> pattern;
  if (FAILED(PatternRender(pattern.Put(), __LINE__)) || !pattern) return S_OK;
  // The pattern's apply takes the record as holding a reference on the line style it names, before and after;
  // this record only borrows its line styles, the one it came with and the one the pattern leaves in it, which
  // the pattern keeps alive while it draws.
  if (IJStyleDashTypeRender* before = NamedLineStyle(*record)) before->AddRef();
  const HRESULT hr = pattern->ApplyToGraphic(record);
  if (FAILED(hr)) Report(hr, __LINE__);
  if (IJStyleDashTypeRender* after = NamedLineStyle(*record)) after->Release();
  return S_OK;
}

HRESULT JStyleSimpleFill::ApplyToGraphic(tagStyleOverride* record) {
  if (!record) return E_INVALIDARG;
  IJStyleDashTypeRender* before = NamedLineStyle(*record);
  // The render base runs PrepareRenderRecord, which merges the scale once; merging it here too would square it.
  const HRESULT hr = CStyleRdr2dBase::ApplyToGraphic(record);
  if (FAILED(hr)) return Report(hr, __LINE__);
  // The record's holder releases the line style the record names, and no longer one it does not.
  IJStyleDashTypeRender* after = NamedLineStyle(*record);
  if (after != before) {
    if (after) after->AddRef();
    if (before) before->Release();
  }
  return hr;
}

HRESULT JStyleSimpleFill::Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                 const RenderContextScales* context, IJStyleRender* substitute,
                                 tagStyleOverride* record, BOOL recordGiven, const StyleElementRecord* element) {
  if (!HasPointList(geometry) || !target || !record) return Report(E_INVALIDARG, __LINE__);
  const StylePointRun* list = geometry->pointList;
  const DWORD count = list->count;

  // Small boundaries are drawn from the style's own buffer. A large one, or a render reached again through
  // the pattern while the buffer is being walked, gets a buffer of its own; the style's stays as it was.
  double* points = m_points;
  CallPoints callPoints;
  if (count > m_pointCapacity || (m_rendering && count != 0)) {
    double* fresh = AllocatePoints(count);
    if (!fresh) return Report(E_OUTOFMEMORY, __LINE__);
    if (count > kKeptPoints || m_rendering) {
      callPoints.block = fresh;
    } else {
      EngineFree(m_points);
      m_points = fresh;
      m_pointCapacity = count;
    }
    points = fresh;
  }

  // Consecutive points that are one point in x and y are drawn once; the last point is always kept.
  const auto* in = static_cast<const double*>(list->points);
  DWORD kept = 0;
  for (DWORD i = 0; i < count; ++i) {
    const double* p = in + std::size_t{i} * 3;
    if (!IsFillRunSeparator(p) && !(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]))) {
      return Report(E_INVALIDARG, __LINE__);
    }
    if (i + 1 < count && std::fabs(p[0] - p[3]) < kFillEpsilon && std::fabs(p[1] - p[4]) < kFillEpsilon) continue;
    double* out = points + std::size_t{kept++} * 3;
    out[0] = p[0];
    out[1] = p[1];
    out[2] = p[2];
  }

  HRESULT hr = ResolvePattern(__LINE__);
  if (FAILED(hr)) return hr;
  // Held for the whole walk: the pattern may reach this style again and change its pattern.
  StyleComPtr<IJStyleFillTypeRender> pattern(m_pattern);
  if (pattern) pattern->AddRef();
  FlagScope inUse{m_rendering, m_rendering};
  m_rendering = true;

  StyleGeometryRecord item = *geometry;
  StylePointRun run = *list;
  item.pointList = &run;
  DWORD start = 0;
  for (DWORD i = 0; i <= kept; ++i) {
    if (i < kept && !IsFillRunSeparator(points + std::size_t{i} * 3)) continue;
    // A separator at either end, or two in a row, leave an empty run: nothing to fill or pattern.
    if (i > start) {
      run.points = points + std::size_t{start} * 3;
      run.count = i - start;
      if (record->fillColour != kNoFillColour) {
        target->SetFillColor(record->fillColour);
        target->FillArea(run.count, static_cast<const double*>(run.points));
      }
      if (pattern) {
        hr = pattern->Render(&item, target, context, substitute, record, recordGiven, AsFillDrawingSetup(element));
        if (FAILED(hr)) return Report(hr, __LINE__);
      }
    }
    start = i + 1;
  }
  return S_OK;
}

HRESULT JStyleSimpleFill::GetExtentDelta(StyleExtent* extent) {
  if (!extent) return E_INVALIDARG;
  *extent = StyleExtent{};
  StyleComPtr<IJStyleRender> pattern;
  HRESULT hr = PatternRender(pattern.Put(), __LINE__);
  if (FAILED(hr) || !pattern) return hr;
  hr = pattern->GetExtentDelta(extent);
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

HRESULT JStyleSimpleFill::GetExtentRecord(StyleExtent* extent, const RenderContextScales* context,
                                          tagStyleOverride* record) {
  if (!extent) return E_INVALIDARG;
  StyleComPtr<IJStyleRender> pattern;
  HRESULT hr = PatternRender(pattern.Put(), __LINE__);
  if (FAILED(hr) || !pattern) return hr;
  hr = pattern->GetRangeWithContext(extent, context, nullptr, record);
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

// ---- references ----

BOOL JStyleSimpleFill::UsesStyleID(DWORD id) {
  if (id != kNoStyleID && id == m_patternID) return TRUE;
  StyleComPtr<IJStyleUser> user;
  if (SUCCEEDED(ResolvePattern(__LINE__)) && m_pattern &&
      SUCCEEDED(m_pattern->QueryInterface(IID_IJStyleUser, user.PutVoid()))) {
    return user->UsesStyleID(id);
  }
  return CStyleRdr2dBase::UsesStyleID(id);
}

HRESULT JStyleSimpleFill::SetOwner(IUnknown* owner) {
  HRESULT hr;
  if (!m_owner && !m_pattern) {
    hr = CStyleRdr2dBase::SetOwner(owner);
    if (FAILED(hr)) Report(hr, __LINE__);
    return hr;
  }
  // The pattern is taken as an object, so that its use can move from the old library to the new.
  StyleComPtr<IJStyleFillTypeRender> pattern;
  hr = GetPattern(pattern.Put());
  if (FAILED(hr)) return hr;
  DropPattern();
  if (m_owner && FAILED(hr = SetStyleRefID(&m_patternID, kNoStyleID))) Report(hr, __LINE__);
  hr = CStyleRdr2dBase::SetOwner(owner);
  if (FAILED(hr)) return Report(hr, __LINE__);
  hr = SetStyleRefPtr(&m_patternID, AsUnknownSlot(&m_pattern), pattern.Get());
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

HRESULT JStyleSimpleFill::ReleaseStyleRefs(DWORD value) {
  DropPattern();
  SetStyleRefID(&m_patternID, kNoStyleID);
  return CStyleRdr2dBase::ReleaseStyleRefs(value);
}

HRESULT JStyleSimpleFill::EnumStyleRefs(StyleRefCallback callback) {
  if (!callback) return E_INVALIDARG;
  HRESULT hr = callback(m_patternID);
  if (FAILED(hr)) return Report(hr, __LINE__);
  hr = CStyleRdr2dBase::EnumStyleRefs(callback);
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

HRESULT JStyleSimpleFill::OnStyleChanged(DWORD id, DWORD newStyle) {
  const HRESULT hr = CStyleRdr2dBase::OnStyleChanged(id, newStyle);
  if (FAILED(hr)) Report(hr, __LINE__);
  if (id == kNoStyleID || id != m_patternID || !m_pattern) return hr;
  DropPattern();
  if (auto* style = reinterpret_cast<IUnknown*>(static_cast<UINT_PTR>(newStyle))) {
    const HRESULT found = style->QueryInterface(IID_IJStyleFillTypeRender, reinterpret_cast<void**>(&m_pattern));
    if (FAILED(found)) {
      m_pattern = nullptr;
      return Report(found, __LINE__);
    }
  }
  return S_OK;
}

HRESULT JStyleSimpleFill::CopyToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                                        IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  HRESULT hr;
  // The pattern goes first, so that the copy can refer to it in the target.
  DWORD newPatternID = kNoStyleID;
  if (m_patternID != kNoStyleID) {
    hr = CopyReferenceToLibrary(this, m_patternID, m_pattern, source, target, targetDocument, &newPatternID, kSource,
                                __LINE__, __LINE__, __LINE__, __LINE__);
    if (FAILED(hr)) return hr;
  }
  StyleComPtr<IUnknown> clone;
  hr = CStyleRdr2dBase::CopyToLibrary(source, target, targetDocument, clone.Put());
  if (FAILED(hr)) return Report(hr, __LINE__);
  if (m_patternID != kNoStyleID) {
    StyleComPtr<IJStyleSimpleFill> fill;
    hr = clone->QueryInterface(IID_IJStyleSimpleFill, fill.PutVoid());
    if (FAILED(hr)) return Report(hr, __LINE__);
    StyleComPtr<IUnknown> pattern;
    hr = target ? target->GetStyle(newPatternID, pattern.Put()) : E_INVALIDARG;
    if (FAILED(hr)) return Report(hr, __LINE__);
    hr = fill->SetPattern(pattern.Get());
    if (FAILED(hr)) return Report(hr, __LINE__);
  }
  *out = clone.Detach();
  return S_OK;
}

// ---- copying and comparing ----

// A clone has no owner to count a use of the pattern, so it has none.
HRESULT JStyleSimpleFill::Clone(IUnknown* outer, IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  auto* copy = new JStyleSimpleFill(outer);
  if (!copy) return Report(E_OUTOFMEMORY, __LINE__);
  copy->AddRef();
  copy->m_styleKind = m_styleKind;
  copy->m_colour = m_colour;
  copy->m_lockMask = m_lockMask;
  copy->m_scale = m_scale;
  *out = static_cast<UUnknown*>(copy);
  return S_OK;
}

HRESULT JStyleSimpleFill::CopyFrom(IUnknown* source, DWORD flags) {
  if (!source) return Report(E_INVALIDARG, __LINE__);
  HRESULT hr = CStyleRdr2dBase::CopyFrom(source, flags);
  if (FAILED(hr)) return Report(hr, __LINE__);
  StyleComPtr<IJStyleSimpleFill> other;
  hr = source->QueryInterface(IID_IJStyleSimpleFill, other.PutVoid());
  if (FAILED(hr)) return Report(hr, __LINE__);
  SimpleFillData data{};
  hr = other->GetFillData(&data);
  if (FAILED(hr)) return Report(hr, __LINE__);
  StyleComPtr<IJStyleFillTypeRender> pattern(data.pattern);
  double scale = 1.0;
  hr = other->GetScale(&scale);
  if (FAILED(hr)) return Report(hr, __LINE__);
  if (flags == 0) {
    if (FAILED(hr = SetFillData(&data))) return Report(hr, __LINE__);
    if (FAILED(hr = SetScale(scale))) return Report(hr, __LINE__);
    return S_OK;
  }
  if (!(m_lockMask & SFILL_LOCK_COLOUR)) m_colour = data.hasColour ? data.colour : kNoFillColour;
  if (!(m_lockMask & SFILL_LOCK_PATTERN) && FAILED(hr = SetPattern(pattern.Get()))) return Report(hr, __LINE__);
  if (!(m_lockMask & SFILL_LOCK_SCALE) && FAILED(hr = SetScale(scale))) return Report(hr, __LINE__);
  return S_OK;
}

HRESULT JStyleSimpleFill::IsEqual(IUnknown* other, BOOL* same) {
  if (!other || !same) return E_INVALIDARG;
  *same = FALSE;
  StyleComPtr<IJStyleSimpleFill> fill;
  if (FAILED(other->QueryInterface(IID_IJStyleSimpleFill, fill.PutVoid()))) return S_OK;
  SimpleFillData data{};
  HRESULT hr = fill->GetFillData(&data);
  if (FAILED(hr)) return Report(hr, __LINE__);
  StyleComPtr<IJStyleFillTypeRender> theirs(data.pattern);
  double scale = 0;
  if (FAILED(hr = fill->GetScale(&scale))) return Report(hr, __LINE__);
  if (data.colour != m_colour || data.lockMask != m_lockMask || scale != m_scale) return S_OK;
  StyleComPtr<IJStyleFillTypeRender> mine;
  if (FAILED(hr = GetPattern(mine.Put()))) return hr;
  BOOL equal = FALSE;
  hr = SameReferencedStyle(mine.Get(), theirs.Get(), &equal, kSource, __LINE__);
  if (FAILED(hr) || !equal) return hr;
  hr = CStyleRdr2dBase::IsEqual(other, same);
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

// ---- persistence ----

HRESULT JStyleSimpleFill::Serialize(JArchive* archive) {
  HRESULT hr;
  if (!IsVersioned(archive)) {
    hr = SerializeCurrent(archive);
    if (FAILED(hr)) Report(hr, __LINE__);
    return hr;
  }
  WORD version = 0;
  DWORD scratch = 0;
  hr = ArchiveSerializeClassHeader(archive, &CLSID_JStyleSimpleFill, &version, &scratch);
  if (FAILED(hr)) return Report(hr, __LINE__);
  if (version == 2) return SerializeVersion2(archive);
  if (version != kCurrentVersion) return S_OK;
  hr = SerializeCurrent(archive);
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

// A record is taken whole or not at all: what is read goes into the style only once all of it has been read
// and found sound. A load moves no use counts; a cache of another ID goes.
HRESULT JStyleSimpleFill::SerializeVersion2(JArchive* archive) {
  // A reload may give the IDs to other styles: nothing cached under the old ID may be drawn under the new.
  if (DropsCachedReferences(archive)) {
    DropPattern();
    m_patternID = kNoStyleID;
  }
  HRESULT hr = SerializeClass(archive);
  if (FAILED(hr)) return Report(hr, __LINE__);
  DWORD colour = m_colour;
  DWORD patternID = m_patternID;
  DWORD lockMask = m_lockMask;
  if (FAILED(hr = Exchange(archive, colour))) return Report(hr, __LINE__);
  if (FAILED(hr = Exchange(archive, patternID))) return Report(hr, __LINE__);
  if (FAILED(hr = Exchange(archive, lockMask))) return Report(hr, __LINE__);
  if (IsLoading(archive)) {
    m_colour = colour;
    if (patternID != m_patternID) DropPattern();
    m_patternID = patternID;
    m_lockMask = lockMask;
  }
  return S_OK;
}

HRESULT JStyleSimpleFill::SerializeCurrent(JArchive* archive) {
  StyleBaseRecord base{};
  HRESULT hr = SerializeBase(archive, &base);
  if (FAILED(hr)) return Report(hr, __LINE__);
  // The stored mask says that a scale follows; a record without the bit keeps the style's scale.
  DWORD lockMask = m_lockMask | kScaleStored;
  DWORD colour = m_colour;
  if (FAILED(hr = Exchange(archive, lockMask))) return Report(hr, __LINE__);
  if (FAILED(hr = Exchange(archive, colour))) return Report(hr, __LINE__);
  if (DropsCachedReferences(archive)) {
    DropPattern();
    m_patternID = kNoStyleID;
  }
  DWORD patternID = m_patternID;
  if (FAILED(hr = Exchange(archive, patternID))) return Report(hr, __LINE__);
  double scale = m_scale;
  if (lockMask & kScaleStored) {
    if (FAILED(hr = Exchange(archive, scale))) return Report(hr, __LINE__);
    // Only damage gives such a scale: the setter refuses it.
    if (!IsUsableScale(scale)) return Report(E_FAIL, __LINE__);
  }
  if (IsLoading(archive)) {
    m_lockMask = lockMask & ~kScaleStored;
    m_colour = colour;
    if (patternID != m_patternID) DropPattern();
    m_patternID = patternID;
    m_scale = scale;
  }
  return S_OK;
}

// ---- IJStyleSolidFill ----

HRESULT STDMETHODCALLTYPE JStyleSimpleFill::IJStyleSolidFillImp::SetFillColor(DWORD colour) {
  return Object()->m_IJStyleSimpleFillImp.SetColor(colour);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleFill::IJStyleSolidFillImp::GetFillColor(DWORD* out) {
  return Answer(out, Object()->m_colour, __LINE__);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleFill::IJStyleSolidFillImp::SetFillColorByRef(const DWORD* colour) {
  if (!colour) return Report(E_INVALIDARG, __LINE__);
  return SetFillColor(*colour);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleFill::IJStyleSolidFillImp::GetFillColor2(DWORD* out) {
  return GetFillColor(out);
}

// ---- IJStyleSimpleFill ----

HRESULT STDMETHODCALLTYPE JStyleSimpleFill::IJStyleSimpleFillImp::SetColor(DWORD colour) {
  Object()->m_colour = colour;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleFill::IJStyleSimpleFillImp::GetColor(DWORD* out) {
  return Answer(out, Object()->m_colour, __LINE__);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleFill::IJStyleSimpleFillImp::SetHasColor(BOOL hasColour) {
  if (!hasColour) Object()->m_colour = kNoFillColour;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleFill::IJStyleSimpleFillImp::GetHasColor(BOOL* out) {
  return Answer(out, BOOL{Object()->m_colour != kNoFillColour}, __LINE__);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleFill::IJStyleSimpleFillImp::SetPattern(IUnknown* pattern) {
  return Object()->SetPattern(pattern);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleFill::IJStyleSimpleFillImp::GetPattern(IJStyleFillTypeRender** out) {
  return Object()->GetPattern(out);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleFill::IJStyleSimpleFillImp::SetFillData(const SimpleFillData* data) {
  return Object()->SetFillData(data);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleFill::IJStyleSimpleFillImp::GetFillData(SimpleFillData* data) {
  return Object()->GetFillData(data);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleFill::IJStyleSimpleFillImp::SetLockMask(DWORD mask) {
  Object()->m_lockMask = mask;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleFill::IJStyleSimpleFillImp::GetLockMask(DWORD* out) {
  return Answer(out, Object()->m_lockMask, __LINE__);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleFill::IJStyleSimpleFillImp::SetPatternID(DWORD id) {
  JStyleSimpleFill* self = Object();
  if (id == self->m_patternID) return S_OK;
  const HRESULT hr = self->SetStyleRefID(&self->m_patternID, id);
  // A refused ID leaves the reference as it was, cache included.
  if (FAILED(hr)) return Report(hr, __LINE__);
  self->DropPattern();
  return hr;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleFill::IJStyleSimpleFillImp::GetPatternID(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  JStyleSimpleFill* self = Object();
  if (self->m_patternID == kInvalidStyleID) self->m_patternID = self->GetStyleID(self->m_pattern);
  *out = self->m_patternID;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleFill::IJStyleSimpleFillImp::SetScale(double scale) {
  return Object()->SetScale(scale);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleFill::IJStyleSimpleFillImp::GetScale(double* out) {
  return Answer(out, Object()->m_scale, __LINE__);
}

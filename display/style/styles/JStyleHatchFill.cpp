#include "display/style/styles/JStyleHatchFill.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "display/style/styles/LineStyleShared.h"
#include "display/style/stylesrv_clsid.h"
#include "geometry/fill.h"
#include "geometry/geometry.h"
#include "host/pellow/pellow.h"
#include "host/sithe/sithe.h"

namespace {

constexpr char kSource[] = "HTCHFILL";

HRESULT Report(HRESULT hr, int line) {
  HRerr(hr, 0, kSource, line);
  return hr;
}

bool IsUsableID(DWORD id) { return id != kNoStyleID && id != kInvalidStyleID; }

// Lines of spacing 0 never advance; no value that is not a number can be drawn with.
bool AcceptableFamily(const HatchFamilyDesc& d) {
  return std::isfinite(d.angle) && std::isfinite(d.spacing) && d.spacing != 0.0 && std::isfinite(d.shift) &&
         std::isfinite(d.originX) && std::isfinite(d.originY) && std::isfinite(d.width);
}

bool Near(double a, double b) { return std::fabs(a - b) < FLT_EPSILON; }

// Bytes of one family in the records of each version.
constexpr DWORD kVersion2FamilyBytes = 80;
constexpr DWORD kVersion3FamilyBytes = 64;
constexpr DWORD kMarkerBit = 0x80000000;

HatchFamily* NewFamilies(DWORD count) {
  return count ? static_cast<HatchFamily*>(std::calloc(count, sizeof(HatchFamily))) : nullptr;
}

// The values a descriptor sets in every case; the marker, the family ID and the dash type are the caller's.
void TakeValues(HatchFamily* f, const HatchFamilyDesc& d) {
  f->angle = d.angle;
  f->spacing = d.spacing;
  f->shift = d.shift;
  f->originX = d.originX;
  f->originY = d.originY;
  f->originZ = 0.0;
  f->color = d.color;
  f->width = d.width;
  f->keepMask = d.keepMask;
}

// The family as a descriptor, its dash type with a reference for the receiver.
void Describe(const HatchFamily& f, HatchFamilyDesc* d) {
  *d = HatchFamilyDesc{};
  d->marker = f.marker;
  d->familyId = f.familyId;
  d->angle = f.angle;
  d->spacing = f.spacing;
  d->shift = f.shift;
  d->originX = f.originX;
  d->originY = f.originY;
  d->originZ = f.originZ;
  d->color = f.color;
  d->width = f.width;
  d->dashType = f.dashType;
  if (d->dashType) d->dashType->AddRef();
  d->keepMask = f.keepMask;
}

void NoteDashType(HatchFamily* f) { f->hasDashType = (f->dashType || f->dashTypeId != kNoStyleID) ? 1 : 0; }

// A family of the source that takes part in a merge, and whether it matches an own family.
bool TakesPart(const HatchFamilyDesc& s) { return s.familyId != 0; }
bool Matches(const HatchFamily& own, const HatchFamilyDesc& s) { return TakesPart(s) && s.familyId == own.familyId; }

// An extent length by units code, as the line styles write theirs.
void WriteExtent(StyleExtent* extent, DWORD unitsCode, double width) {
  switch (unitsCode) {
    case STYLE_UNITS_13:
      extent->value = TruncateExtent(width + 1.0);
      break;
    case STYLE_UNITS_11:
      extent->first = width;
      break;
    case STYLE_UNITS_12:
      extent->second = width;
      break;
    default:
      break;
  }
}

// ---- drawing ----

constexpr double kTurnFraction = 0.15915494309189535;  // 1 / 2pi
constexpr double kTurn = 6.283185307179586;

// What every family of one render shares.
struct HatchFrame {
  const RenderContextScales* context;  // may be null: lengths then stay as they are
  DWORD unitsCode;                     // the style's
  WORD flags;                          // what the fill scale scales
  G4x4 pattern;                        // carries family origins into the drawing
  GPosition centre;                    // the pattern reference centre, about which origins scale
  double rotation;
  double orientation;
  double yFactor;
  double scale;  // the record's fill scale
  GBox2d range;
  GBox2d clipBox;
  bool clipped;
};

// One family as the drawing has it.
struct PlacedFamily {
  double angle;
  double spacing;
  double shift;
  GPosition origin;
  DWORD colour;
  double width;
};

PlacedFamily Place(const HatchFamily& f, const HatchFrame& frame, const tagStyleOverride& record) {
  const RenderContextScales* context = frame.context;
  PlacedFamily placed{};
  placed.spacing = CStyleRdr2dBase::ConvertStyleLength(f.spacing, frame.unitsCode, context, FALSE);
  placed.shift = CStyleRdr2dBase::ConvertStyleLength(f.shift, frame.unitsCode, context, FALSE);
  if (placed.spacing < 0) {
    placed.spacing = -placed.spacing;
    placed.shift = -placed.shift;
  }
  if (frame.orientation >= 0) placed.shift = -placed.shift;

  double angle = f.angle + frame.rotation;
  angle -= std::trunc(angle * kTurnFraction) * kTurn;
  if (angle < 0) angle += kTurn;
  if (frame.orientation > 0 && angle > 0) angle = kTurn - angle;
  placed.angle = angle;

  const bool converted = context && context->originsConverted;
  const double x = converted ? CStyleRdr2dBase::ConvertStyleLength(f.originX, frame.unitsCode, context, FALSE)
                             : f.originX;
  const double y = converted ? CStyleRdr2dBase::ConvertStyleLength(f.originY, frame.unitsCode, context, FALSE)
                             : f.originY;
  placed.origin = frame.pattern * GPosition(x, y * frame.yFactor, 0.0);
  if (frame.scale != 0.0 && frame.scale != 1.0) {
    if (frame.flags & HATCH_SCALE_SPACING) {
      placed.spacing *= frame.scale;
      placed.shift *= frame.scale;
    }
    if (frame.flags & HATCH_SCALE_ORIGINS) {
      placed.origin.x = (placed.origin.x - frame.centre.x) * frame.scale + frame.centre.x;
      placed.origin.y = (placed.origin.y - frame.centre.y) * frame.scale + frame.centre.y;
    }
  }

  placed.colour = (record.flags & OVR_COLOUR) ? record.colour : f.color;
  if (record.flags & OVR_WIDTH) {
    const DWORD units = record.unitsCode != STYLE_UNITS_NONE ? record.unitsCode : frame.unitsCode;
    placed.width = CStyleRdr2dBase::ConvertStyleLength(record.width, units, context, TRUE);
  } else {
    placed.width = CStyleRdr2dBase::ConvertStyleLength(f.width, frame.unitsCode, context, TRUE);
  }
  return placed;
}

// Lines of spacing 0 never advance, and no value that is not a number places a line.
bool Drawable(const PlacedFamily& f) {
  const double values[] = {f.angle, f.spacing, f.shift, f.origin.x, f.origin.y};
  return f.spacing != 0.0 && AllFinite(values, 5);
}

// The record without its line style while a dash type draws through it, so that nothing the dash type draws
// dashes again; restored on every path.
struct LineStyleSetAside {
  explicit LineStyleSetAside(tagStyleOverride* r) : record(r), dashType(r->dashType), flags(r->flags) {
    record->dashType = nullptr;
    record->flags &= ~DWORD{OVR_DASH_TYPE};
  }
  ~LineStyleSetAside() {
    record->dashType = dashType;
    record->flags = flags;
  }
  tagStyleOverride* record;
  IJStyleDashTypeRender* dashType;
  DWORD flags;
};

// The piece as a run of two points whose dashes start at its phase (the element record's run length 0: the
// piece's own length counts).
HRESULT DrawDashedPiece(IJStyleDashTypeRender* dash, const FillHatchPiece& piece, IRenderTarget2d* target,
                        const RenderContextScales* context, const tagStyleOverride* record,
                        const PlacedFamily& family) {
  double points[6] = {piece.start.x, piece.start.y, piece.start.z, piece.end.x, piece.end.y, piece.end.z};
  const StylePointRun run{points, 2, {0, 0}};
  StyleElementRecord element{};
  element.phase = piece.phase;
  return dash->RenderDashes(&run, target, context, record->dashGenerationFlag, record, &element, family.colour,
                            family.width);
}

ULONG References(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

}  // namespace

JStyleHatchFill::JStyleHatchFill(IUnknown* outer) : JStyleFillType(outer) {
  m_styleKind = STYLE_KIND_FILL;
  m_unitsCode = STYLE_UNITS_11;
}

JStyleHatchFill::~JStyleHatchFill() { ReleaseFamilies(m_families, m_familyCount, false); }

void* JStyleHatchFill::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJStyleHatchFill)) return &m_IJStyleHatchFillImp;
  return JStyleFillType::GetInterface(iid);
}

// What the class does not answer itself, the host engine may add as an extension of the class.
void* JStyleHatchFill::GetAggregateInterface(REFIID iid) {
  if (void* found = JStyleFillType::GetAggregateInterface(iid)) return found;
  void* extension = nullptr;
  if (FAILED(QueryClassExtension(&CLSID_JStyleHatchFill, GetControllingUnknown(), iid, &extension))) return nullptr;
  return extension;
}

GUID* JStyleHatchFill::GetClassID(GUID* out) {
  *out = CLSID_JStyleHatchFill;
  return out;
}

GUID* JStyleHatchFill::GetStyleCategory(GUID* out) {
  *out = STYLETYPE_HatchFillPattern;
  return out;
}

// ---- families ----

HRESULT JStyleHatchFill::FamilyAt(LONG index, HatchFamily** out, int line) {
  *out = nullptr;
  if (index < 0) return Report(E_INVALIDARG, line);
  if (!m_families || m_familyCount == 0) return Report(E_FAIL, line);
  if (static_cast<DWORD>(index) >= m_familyCount) return Report(E_INVALIDARG, line);
  *out = &m_families[index];
  return S_OK;
}

HRESULT JStyleHatchFill::ResolveDashType(HatchFamily* f, int line) {
  if (f->dashType || !IsUsableID(f->dashTypeId)) return S_OK;
  const HRESULT hr = GetStyleByID(f->dashTypeId, IID_IJStyleDashTypeRender, reinterpret_cast<void**>(&f->dashType));
  if (SUCCEEDED(hr)) return hr;
  f->dashType = nullptr;
  // The style of that ID is no dash type: the family draws solid.
  if (hr == E_NOINTERFACE) return S_OK;
  return Report(hr, line);
}

void JStyleHatchFill::HoldDashTypeID(HatchFamily* f, DWORD id) {
  if (m_owner && IsUsableID(id)) {
    const HRESULT hr = SetStyleRefID(&f->dashTypeId, id);
    if (FAILED(hr)) Report(hr, __LINE__);
  } else {
    f->dashTypeId = id;
  }
  NoteDashType(f);
}

void JStyleHatchFill::ReleaseFamilies(HatchFamily* families, DWORD count, bool dropUses) {
  for (DWORD i = 0; i < count; ++i) {
    if (dropUses && m_owner && IsUsableID(families[i].dashTypeId)) SetStyleRefID(&families[i].dashTypeId, kNoStyleID);
    ReleaseCache(families[i].dashType);
  }
  std::free(families);
}

void JStyleHatchFill::ReplaceFamilies(HatchFamily* families, DWORD count) {
  HatchFamily* old = m_families;
  const DWORD oldCount = m_familyCount;
  m_families = families;
  m_familyCount = count;
  ReleaseFamilies(old, oldCount, false);
}

HRESULT JStyleHatchFill::AddFamily(const HatchFamilyDesc* family, LONG* index) {
  if (!index) return Report(E_INVALIDARG, __LINE__);
  *index = -1;
  if (!family || !AcceptableFamily(*family)) return Report(E_INVALIDARG, __LINE__);
  if (m_familyCount >= 0x7FFFFFFF) return Report(E_OUTOFMEMORY, __LINE__);
  HatchFamily* grown = NewFamilies(m_familyCount + 1);
  if (!grown) return Report(E_OUTOFMEMORY, __LINE__);
  HatchFamily* added = &grown[m_familyCount];
  TakeValues(added, *family);
  const HRESULT hr =
      SetStyleRefQI(&added->dashTypeId, AsUnknownSlot(&added->dashType), family->dashType, IID_IJStyleDashTypeRender);
  if (FAILED(hr)) {
    std::free(grown);
    return Report(hr, __LINE__);
  }
  NoteDashType(added);
  SYSTEMTIME now;
  GetSystemTime(&now);
  added->familyId = HatchFamilyIdAt(now);
  if (m_familyCount) std::memcpy(static_cast<void*>(grown), m_families, m_familyCount * sizeof(HatchFamily));
  std::free(m_families);  // its records moved, references and all
  m_families = grown;
  *index = static_cast<LONG>(m_familyCount++);
  return S_OK;
}

HRESULT JStyleHatchFill::SetFamily(LONG index, const HatchFamilyDesc* family) {
  if (!family) return Report(E_INVALIDARG, __LINE__);
  HatchFamily* f = nullptr;
  HRESULT hr = FamilyAt(index, &f, __LINE__);
  if (FAILED(hr)) return hr;
  if (!AcceptableFamily(*family)) return Report(E_INVALIDARG, __LINE__);
  hr = SetStyleRefQI(&f->dashTypeId, AsUnknownSlot(&f->dashType), family->dashType, IID_IJStyleDashTypeRender);
  NoteDashType(f);
  if (FAILED(hr)) return Report(hr, __LINE__);
  TakeValues(f, *family);
  f->marker = family->marker;
  return S_OK;
}

HRESULT JStyleHatchFill::GetFamily(LONG index, HatchFamilyDesc* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  HatchFamily* f = nullptr;
  HRESULT hr = FamilyAt(index, &f, __LINE__);
  if (SUCCEEDED(hr)) hr = ResolveDashType(f, __LINE__);
  if (FAILED(hr)) return hr;
  Describe(*f, out);
  return S_OK;
}

HRESULT JStyleHatchFill::SetFamilyDashType(LONG index, IJStyleDashTypeRender* dashType) {
  HatchFamily* f = nullptr;
  HRESULT hr = FamilyAt(index, &f, __LINE__);
  if (FAILED(hr)) return hr;
  hr = SetStyleRefQI(&f->dashTypeId, AsUnknownSlot(&f->dashType), dashType, IID_IJStyleDashTypeRender);
  NoteDashType(f);
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

HRESULT JStyleHatchFill::GetFamilyDashType(LONG index, IJStyleDashTypeRender** out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  *out = nullptr;
  HatchFamily* f = nullptr;
  HRESULT hr = FamilyAt(index, &f, __LINE__);
  if (SUCCEEDED(hr)) hr = ResolveDashType(f, __LINE__);
  if (FAILED(hr)) return hr;
  if (f->dashType) f->dashType->AddRef();
  *out = f->dashType;
  return S_OK;
}

HRESULT JStyleHatchFill::SetFamilyDashTypeId(LONG index, DWORD id) {
  HatchFamily* f = nullptr;
  HRESULT hr = FamilyAt(index, &f, __LINE__);
  if (FAILED(hr) || id == f->dashTypeId) return hr;
  hr = SetStyleRefID(&f->dashTypeId, id);
  // A refused ID leaves the reference as it was, cache included: without an owner the cache is all there is.
  if (FAILED(hr)) return Report(hr, __LINE__);
  ReleaseCache(f->dashType);
  NoteDashType(f);
  return hr;
}

HRESULT JStyleHatchFill::GetFamilyDashTypeId(LONG index, DWORD* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  HatchFamily* f = nullptr;
  const HRESULT hr = FamilyAt(index, &f, __LINE__);
  if (FAILED(hr)) return hr;
  if (f->dashTypeId == kInvalidStyleID) f->dashTypeId = GetStyleID(f->dashType);
  *out = f->dashTypeId;
  return S_OK;
}

HRESULT JStyleHatchFill::MoveFamily(LONG from, LONG to) {
  HatchFamily* f = nullptr;
  HRESULT hr = FamilyAt(from, &f, __LINE__);
  if (FAILED(hr)) return hr;
  if (to < 0) return Report(E_INVALIDARG, __LINE__);
  const DWORD source = static_cast<DWORD>(from);
  const DWORD target = static_cast<DWORD>(to) >= m_familyCount ? m_familyCount - 1 : static_cast<DWORD>(to);
  if (source == target) return S_OK;
  for (DWORD i = 0; i < m_familyCount; ++i) {
    if (FAILED(hr = ResolveDashType(&m_families[i], __LINE__))) return hr;
  }
  const HatchFamily moved = m_families[source];
  if (source < target) {
    std::memmove(static_cast<void*>(&m_families[source]), &m_families[source + 1],
                 (target - source) * sizeof(HatchFamily));
  } else {
    std::memmove(static_cast<void*>(&m_families[target + 1]), &m_families[target],
                 (source - target) * sizeof(HatchFamily));
  }
  m_families[target] = moved;
  return S_OK;
}

// ---- the whole description ----

HRESULT JStyleHatchFill::SetData(const HatchFillData* data) {
  if (!data || (data->familyCount && !data->families)) return Report(E_INVALIDARG, __LINE__);
  if (!std::isfinite(data->originX) || !std::isfinite(data->originY) || !std::isfinite(data->scale)) {
    return Report(E_INVALIDARG, __LINE__);
  }
  for (DWORD i = 0; i < data->familyCount; ++i) {
    if (!AcceptableFamily(data->families[i])) return Report(E_INVALIDARG, __LINE__);
  }
  const HRESULT hr = ApplyData(*data);
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

HRESULT JStyleHatchFill::ApplyData(const HatchFillData& data) {
  HatchFamily* fresh = NewFamilies(data.familyCount);
  if (data.familyCount && !fresh) return Report(E_OUTOFMEMORY, __LINE__);
  // The new uses are taken before the old go: the two may be one dash type's, whose count must not reach 0.
  for (DWORD i = 0; i < data.familyCount; ++i) {
    const HatchFamilyDesc& d = data.families[i];
    HatchFamily* f = &fresh[i];
    TakeValues(f, d);
    f->marker = d.marker;
    f->familyId = d.familyId;
    const HRESULT hr =
        SetStyleRefQI(&f->dashTypeId, AsUnknownSlot(&f->dashType), d.dashType, IID_IJStyleDashTypeRender);
    if (FAILED(hr)) {
      ReleaseFamilies(fresh, data.familyCount, true);
      return Report(hr, __LINE__);
    }
    NoteDashType(f);
  }
  ReleaseFamilies(m_families, m_familyCount, true);
  m_families = fresh;
  m_familyCount = data.familyCount;
  m_originX = data.originX;
  m_originY = data.originY;
  m_originZ = 0.0;
  m_scale = data.scale;
  m_unitsCode = data.unitsCode;
  m_keepMask = data.keepMask;
  return S_OK;
}

HRESULT JStyleHatchFill::GetData(HatchFillData* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  *out = HatchFillData{};
  HRESULT hr;
  for (DWORD i = 0; i < m_familyCount; ++i) {
    if (FAILED(hr = ResolveDashType(&m_families[i], __LINE__))) return hr;
  }
  HatchFamilyDesc* descs = nullptr;
  if (m_familyCount) {
    descs = static_cast<HatchFamilyDesc*>(CoTaskMemAlloc(m_familyCount * sizeof(HatchFamilyDesc)));
    if (!descs) return Report(E_OUTOFMEMORY, __LINE__);
  }
  for (DWORD i = 0; i < m_familyCount; ++i) Describe(m_families[i], &descs[i]);
  out->originX = m_originX;
  out->originY = m_originY;
  out->originZ = m_originZ;
  out->scale = m_scale;
  out->unitsCode = m_unitsCode;
  out->familyCount = m_familyCount;
  out->families = descs;
  out->keepMask = m_keepMask;
  return S_OK;
}

// ---- copying and comparing ----

HRESULT JStyleHatchFill::Clone(IUnknown* outer, IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  // The copy holds the dash types themselves: it has no owner to resolve their IDs through.
  HRESULT hr;
  for (DWORD i = 0; i < m_familyCount; ++i) {
    if (FAILED(hr = ResolveDashType(&m_families[i], __LINE__))) return hr;
  }
  HatchFamily* families = NewFamilies(m_familyCount);
  if (m_familyCount && !families) return Report(E_OUTOFMEMORY, __LINE__);
  auto* copy = new JStyleHatchFill(outer);
  if (!copy) {
    std::free(families);
    return Report(E_OUTOFMEMORY, __LINE__);
  }
  copy->AddRef();
  for (DWORD i = 0; i < m_familyCount; ++i) {
    HatchFamily* f = &families[i];
    *f = m_families[i];
    if (f->dashType) {
      f->dashType->AddRef();
      f->dashTypeId = kInvalidStyleID;
    } else if (m_owner) {
      // An ID that names no dash type in the owner means nothing to the copy.
      f->dashTypeId = kNoStyleID;
    }
    NoteDashType(f);
  }
  copy->m_families = families;
  copy->m_familyCount = m_familyCount;
  copy->m_styleKind = m_styleKind;
  copy->m_unitsCode = m_unitsCode;
  copy->m_originX = m_originX;
  copy->m_originY = m_originY;
  copy->m_originZ = m_originZ;
  copy->m_scale = m_scale;
  copy->m_keepMask = m_keepMask;
  copy->m_flags = m_flags;
  *out = static_cast<UUnknown*>(copy);
  return S_OK;
}

HRESULT JStyleHatchFill::CopyFrom(IUnknown* source, DWORD flags) {
  if (!source) return Report(E_INVALIDARG, __LINE__);
  StyleComPtr<IJStyleHatchFill> other;
  HRESULT hr = source->QueryInterface(IID_IJStyleHatchFill, other.PutVoid());
  if (FAILED(hr)) return Report(hr, __LINE__);
  hr = CStyleRdr2dBase::CopyFrom(source, flags);
  if (FAILED(hr)) return Report(hr, __LINE__);
  HatchFillData data{};
  hr = other->GetData(&data);
  if (FAILED(hr)) return Report(hr, __LINE__);
  DWORD sourceFlags = 0;
  hr = other->GetFlags(&sourceFlags);
  if (SUCCEEDED(hr)) {
    if (flags == 0) {
      // A whole copy carries the scaling switches too: they are no part of the description.
      hr = ApplyData(data);
      if (SUCCEEDED(hr)) m_flags = static_cast<WORD>(sourceFlags);
    } else {
      hr = Merge(data, sourceFlags);
    }
  }
  FreeHatchFillData(&data);
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

HRESULT JStyleHatchFill::Merge(const HatchFillData& source, DWORD sourceFlags) {
  bool familyMasks = false;
  for (DWORD i = 0; i < m_familyCount; ++i) familyMasks = familyMasks || m_families[i].keepMask != 0;
  // Lengths in other units cannot be merged into kept ones.
  if (m_keepMask && familyMasks && source.unitsCode != m_unitsCode) return S_OK;
  HRESULT hr;
  for (DWORD i = 0; i < m_familyCount; ++i) {
    if (FAILED(hr = ResolveDashType(&m_families[i], __LINE__))) return hr;
  }

  const HatchFamilyDesc* src = source.families;
  const DWORD srcCount = source.families ? source.familyCount : 0;
  const bool ownOrder = (m_keepMask & HATCH_KEEP_OWN_ORDER) != 0;
  const auto matchedOwn = [&](const HatchFamily& own) {
    for (DWORD s = 0; s < srcCount; ++s) {
      if (Matches(own, src[s])) return true;
    }
    return false;
  };
  const auto matchedSource = [&](const HatchFamilyDesc& s) {
    for (DWORD o = 0; o < m_familyCount; ++o) {
      if (Matches(m_families[o], s)) return true;
    }
    return false;
  };

  // Runs the merge twice: first only counting, then into the new list. Each entry notes the dash type ID it is
  // to hold; an own dash type keeps its ID, one taken from the source is known by its object.
  HatchFamily* merged = nullptr;
  DWORD* heldIDs = nullptr;
  DWORD n = 0;
  const auto fromOwn = [&](const HatchFamily& own) -> HatchFamily* {
    if (!merged) return ++n, nullptr;
    HatchFamily* f = &merged[n];
    *f = own;
    if (f->dashType) f->dashType->AddRef();
    heldIDs[n++] = own.dashTypeId;
    return f;
  };
  const auto takeDashType = [&](HatchFamily* f, IJStyleDashTypeRender* dash) {
    ReleaseCache(f->dashType);
    f->dashType = dash;
    if (dash) dash->AddRef();
    heldIDs[f - merged] = GetStyleID(dash);
  };
  const auto mergeWith = [&](const HatchFamily& own, const HatchFamilyDesc& s) {
    HatchFamily* f = fromOwn(own);
    if (!f) return;
    const DWORD keep = own.keepMask;
    if (!(keep & HATCH_KEEP_MARKER_ORIGIN)) {
      f->marker = s.marker;
      f->originX = s.originX;
      f->originY = s.originY;
    }
    if (!(keep & HATCH_KEEP_ANGLE)) f->angle = s.angle;
    if (!(keep & HATCH_KEEP_SPACING)) f->spacing = s.spacing;
    if (!(keep & HATCH_KEEP_SHIFT)) f->shift = s.shift;
    if (!(keep & HATCH_KEEP_COLOUR)) f->color = s.color;
    if (!(keep & HATCH_KEEP_WIDTH)) f->width = s.width;
    if (!(keep & HATCH_KEEP_DASH_TYPE) && s.dashType != f->dashType) takeDashType(f, s.dashType);
  };
  const auto appendSource = [&](const HatchFamilyDesc& s) {
    if (!merged) return void(++n);
    HatchFamily* f = &merged[n];
    *f = HatchFamily{};
    TakeValues(f, s);
    f->marker = s.marker;
    f->familyId = s.familyId;
    n++;
    takeDashType(f, s.dashType);
  };
  const auto build = [&] {
    n = 0;
    if (!ownOrder) {
      for (DWORD s = 0; s < srcCount; ++s) {
        if (!TakesPart(src[s])) continue;
        bool matched = false;
        for (DWORD o = 0; o < m_familyCount; ++o) {
          if (Matches(m_families[o], src[s])) matched = true, mergeWith(m_families[o], src[s]);
        }
        if (!matched) appendSource(src[s]);
      }
      // Every own family that no source family merged with keeps its place at the end, those without an ID
      // and those that share an ID among themselves included.
      for (DWORD o = 0; o < m_familyCount; ++o) {
        if (!matchedOwn(m_families[o])) fromOwn(m_families[o]);
      }
    } else {
      for (DWORD o = 0; o < m_familyCount; ++o) {
        bool matched = false;
        for (DWORD s = 0; s < srcCount; ++s) {
          if (Matches(m_families[o], src[s])) matched = true, mergeWith(m_families[o], src[s]);
        }
        if (!matched) fromOwn(m_families[o]);
      }
      for (DWORD s = 0; s < srcCount; ++s) {
        if (TakesPart(src[s]) && !matchedSource(src[s])) appendSource(src[s]);
      }
    }
  };

  build();
  const DWORD count = n;
  if (count) {
    merged = NewFamilies(count);
    heldIDs = static_cast<DWORD*>(std::calloc(count, sizeof(DWORD)));
    if (!merged || !heldIDs) {
      std::free(merged);
      std::free(heldIDs);
      return Report(E_OUTOFMEMORY, __LINE__);
    }
    build();
  }
  // The new list's uses are taken before the old list's go.
  for (DWORD i = 0; i < count; ++i) {
    merged[i].dashTypeId = kNoStyleID;
    HoldDashTypeID(&merged[i], heldIDs[i]);
  }
  std::free(heldIDs);
  ReleaseFamilies(m_families, m_familyCount, true);
  m_families = merged;
  m_familyCount = count;
  m_unitsCode = source.unitsCode;
  if (!(m_keepMask & HATCH_KEEP_FILL_ORIGIN)) {
    m_originX = source.originX;
    m_originY = source.originY;
    m_originZ = 0.0;
  }
  if (!(m_keepMask & HATCH_KEEP_SCALE)) m_scale = source.scale;
  if (!(m_keepMask & HATCH_KEEP_FLAGS)) m_flags = static_cast<WORD>(sourceFlags);
  return S_OK;
}

HRESULT JStyleHatchFill::IsEqual(IUnknown* other, BOOL* same) {
  if (!other || !same) return E_INVALIDARG;
  *same = FALSE;
  StyleComPtr<IJStyleHatchFill> hatch;
  if (FAILED(other->QueryInterface(IID_IJStyleHatchFill, hatch.PutVoid()))) return S_OK;
  HatchFillData data{};
  HRESULT hr = hatch->GetData(&data);
  if (FAILED(hr)) return Report(hr, __LINE__);
  DWORD flags = 0;
  hr = hatch->GetFlags(&flags);
  if (FAILED(hr)) Report(hr, __LINE__);
  bool equal = SUCCEEDED(hr) && m_unitsCode == data.unitsCode &&
               GPosition(m_originX, m_originY, m_originZ).IsEqual({data.originX, data.originY, data.originZ}) &&
               Near(m_scale, data.scale) && m_keepMask == data.keepMask && m_flags == flags &&
               m_familyCount == data.familyCount;
  for (DWORD i = 0; equal && i < m_familyCount; ++i) {
    HatchFamily& mine = m_families[i];
    const HatchFamilyDesc& theirs = data.families[i];
    equal =
        mine.marker == theirs.marker && mine.color == theirs.color && mine.keepMask == theirs.keepMask &&
        Near(mine.angle, theirs.angle) && Near(mine.spacing, theirs.spacing) && Near(mine.shift, theirs.shift) &&
        Near(mine.width, theirs.width) &&
        GPosition(mine.originX, mine.originY, mine.originZ).IsEqual({theirs.originX, theirs.originY, theirs.originZ});
    if (!equal) break;
    if (FAILED(hr = ResolveDashType(&mine, __LINE__))) break;
    BOOL sameDash = FALSE;
    hr = SameReferencedStyle(mine.dashType, theirs.dashType, &sameDash, kSource, __LINE__);
    equal = SUCCEEDED(hr) && sameDash;
  }
  FreeHatchFillData(&data);
  if (FAILED(hr) || !equal) return hr;
  hr = CStyleRdr2dBase::IsEqual(other, same);
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

// ---- references ----

BOOL JStyleHatchFill::UsesStyleID(DWORD id) {
  if (IsUsableID(id)) {
    for (DWORD i = 0; i < m_familyCount; ++i) {
      if (m_families[i].dashTypeId == id) return TRUE;
    }
  }
  for (DWORD i = 0; i < m_familyCount; ++i) {
    HatchFamily* f = &m_families[i];
    ResolveDashType(f, __LINE__);
    if (!f->dashType) continue;
    StyleComPtr<IJStyleUser> user;
    if (SUCCEEDED(f->dashType->QueryInterface(IID_IJStyleUser, user.PutVoid())) && user->UsesStyleID(id)) return TRUE;
  }
  return CStyleRdr2dBase::UsesStyleID(id);
}

// Each family's dash type is taken as an object at the old owner and its use dropped there, the base part moves,
// and the dash type is set again by object, so that the new owner counts it under its own ID. A style that
// gets its first owner keeps the IDs it was loaded with: the library counted them when it stored them.
HRESULT JStyleHatchFill::SetOwner(IUnknown* owner) {
  bool cached = false;
  for (DWORD i = 0; i < m_familyCount; ++i) cached = cached || m_families[i].dashType;
  HRESULT hr;
  if (!m_owner && !cached) {
    hr = CStyleRdr2dBase::SetOwner(owner);
    if (FAILED(hr)) Report(hr, __LINE__);
    return hr;
  }
  const bool hadOwner = m_owner != nullptr;
  if (hadOwner) {
    for (DWORD i = 0; i < m_familyCount; ++i) {
      // A dash type that cannot be had is not carried over; its use still goes.
      ResolveDashType(&m_families[i], __LINE__);
      if (IsUsableID(m_families[i].dashTypeId)) SetStyleRefID(&m_families[i].dashTypeId, kNoStyleID);
    }
  }
  hr = CStyleRdr2dBase::SetOwner(owner);
  if (FAILED(hr)) return Report(hr, __LINE__);
  for (DWORD i = 0; i < m_familyCount; ++i) {
    HatchFamily* f = &m_families[i];
    if (f->dashType) {
      SetStyleRefPtr(&f->dashTypeId, AsUnknownSlot(&f->dashType), f->dashType);
    } else if (hadOwner) {
      f->dashTypeId = kNoStyleID;
    }
    NoteDashType(f);
  }
  return S_OK;
}

HRESULT JStyleHatchFill::ReleaseStyleRefs(DWORD value) {
  for (DWORD i = 0; i < m_familyCount; ++i) {
    HatchFamily* f = &m_families[i];
    if (m_owner && IsUsableID(f->dashTypeId)) SetStyleRefID(&f->dashTypeId, kNoStyleID);
    f->dashTypeId = kNoStyleID;
    ReleaseCache(f->dashType);
    NoteDashType(f);
  }
  return CStyleRdr2dBase::ReleaseStyleRefs(value);
}

HRESULT JStyleHatchFill::EnumStyleRefs(StyleRefCallback callback) {
  if (!callback) return E_INVALIDARG;
  HRESULT hr;
  for (DWORD i = 0; i < m_familyCount; ++i) {
    if (FAILED(hr = callback(m_families[i].dashTypeId))) return Report(hr, __LINE__);
  }
  hr = CStyleRdr2dBase::EnumStyleRefs(callback);
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

HRESULT JStyleHatchFill::OnStyleChanged(DWORD id, DWORD newStyle) {
  const HRESULT hr = CStyleRdr2dBase::OnStyleChanged(id, newStyle);
  if (FAILED(hr)) Report(hr, __LINE__);
  if (!IsUsableID(id)) return hr;
  auto* style = reinterpret_cast<IUnknown*>(static_cast<UINT_PTR>(newStyle));
  bool matched = false;
  HRESULT result = S_OK;
  for (DWORD i = 0; i < m_familyCount; ++i) {
    HatchFamily* f = &m_families[i];
    if (f->dashTypeId != id) continue;
    matched = true;
    ReleaseCache(f->dashType);
    if (!style) continue;
    const HRESULT found = style->QueryInterface(IID_IJStyleDashTypeRender, reinterpret_cast<void**>(&f->dashType));
    if (FAILED(found)) {
      f->dashType = nullptr;
      result = Report(found, __LINE__);
    }
  }
  return matched ? result : hr;
}

// The dash types go to the target first, so that the copy can refer to them there.
HRESULT JStyleHatchFill::CopyToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                                       IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  DWORD* newIDs = nullptr;
  if (m_familyCount) {
    newIDs = static_cast<DWORD*>(std::calloc(m_familyCount, sizeof(DWORD)));
    if (!newIDs) return Report(E_OUTOFMEMORY, __LINE__);
  }
  const auto copies = [this](DWORD i) {
    return m_families[i].dashTypeId != kNoStyleID || m_families[i].dashType != nullptr;
  };
  HRESULT hr = S_OK;
  for (DWORD i = 0; SUCCEEDED(hr) && i < m_familyCount; ++i) {
    if (!copies(i)) continue;
    hr = CopyReferenceToLibrary(this, m_families[i].dashTypeId, m_families[i].dashType, source, target, targetDocument,
                                &newIDs[i], kSource, __LINE__, __LINE__, __LINE__, __LINE__);
  }
  StyleComPtr<IUnknown> clone;
  if (SUCCEEDED(hr)) {
    hr = CStyleRdr2dBase::CopyToLibrary(source, target, targetDocument, clone.Put());
    if (FAILED(hr)) Report(hr, __LINE__);
  }
  StyleComPtr<IJStyleHatchFill> copy;
  if (SUCCEEDED(hr) && m_familyCount) {
    hr = clone->QueryInterface(IID_IJStyleHatchFill, copy.PutVoid());
    if (FAILED(hr)) Report(hr, __LINE__);
  }
  for (DWORD i = 0; SUCCEEDED(hr) && i < m_familyCount; ++i) {
    if (!copies(i)) continue;
    StyleComPtr<IUnknown> object;
    StyleComPtr<IJStyleDashTypeRender> dash;
    hr = target ? target->GetStyle(newIDs[i], object.Put()) : E_INVALIDARG;
    if (SUCCEEDED(hr)) hr = object ? object->QueryInterface(IID_IJStyleDashTypeRender, dash.PutVoid()) : E_FAIL;
    if (SUCCEEDED(hr)) hr = copy->SetFamilyDashType(static_cast<LONG>(i), dash.Get());
    if (FAILED(hr)) Report(hr, __LINE__);
  }
  std::free(newIDs);
  if (SUCCEEDED(hr)) *out = clone.Detach();
  return hr;
}

// ---- drawing ----

// The seventh argument is the drawing set-up (FillDrawingSetup). Lines are stepped in the drawing's space over
// the boundary's range cut to the clip box; the decomposition's blocks go back to the pools on every path.
HRESULT JStyleHatchFill::Render(const StyleGeometryRecord* boundary, IRenderTarget2d* target,
                                const RenderContextScales* context, IJStyleRender*, tagStyleOverride* record, BOOL,
                                const StyleElementRecord* seventh) {
  if (!HasPointList(boundary) || !target || !record) return Report(E_INVALIDARG, __LINE__);
  const StylePointRun& list = *boundary->pointList;
  if (list.count < 3) return S_OK;
  const auto* points = static_cast<const GPosition*>(list.points);
  const FillDrawingSetup* setup = AsFillDrawingSetup(seventh);

  HatchFrame frame{};
  frame.context = context;
  frame.unitsCode = m_unitsCode;
  frame.flags = m_flags;
  frame.rotation = record->rotationAngle;
  frame.orientation = context ? context->orientation : 0.0;
  frame.scale = record->scaleFactor;
  const bool converted = context && context->originsConverted;
  frame.yFactor = converted && frame.orientation < 0 && m_unitsCode != STYLE_UNITS_13 ? -1.0 : 1.0;

  G4x4 units;
  HRESULT hr = GetUnitsTransform(&units, m_unitsCode, setup);
  if (FAILED(hr)) return Report(hr, __LINE__);
  const GPosition styleOrigin(m_originX, m_originY, 0.0);
  frame.centre = units * styleOrigin;
  G4x4 rotation;
  int rc = 0;
  u4x4RotateAngleAtPoint(converted ? -frame.rotation : frame.rotation, GUnitVector(0, 0, 1), styleOrigin, rotation,
                         &rc);
  if (rc != 0) return Report(E_INVALIDARG, __LINE__);
  frame.pattern = converted ? rotation : units * rotation;

  const double* clip = setup->clipBox;
  frame.clipped = !AllZero(clip, 4);
  if (frame.clipped && !AllFinite(clip, 4)) return Report(E_INVALIDARG, __LINE__);
  frame.clipBox = GBox2d(clip[0], clip[1], clip[2], clip[3]);
  // Every loop of the run, not only the first, gets its lines.
  const double* box = boundary->rangeBox;
  if (AllZero(box, 6)) {
    FillBoundaryRange(list.count, points, &frame.range);
  } else {
    frame.range = GBox2d(box[0], box[1], box[3], box[4]);
  }
  if (frame.clipped) frame.range = GBox2d::Intersect(frame.range, frame.clipBox);

  FillTrap trap;
  hr = trap.Build(points, list.count);
  if (FAILED(hr)) return Report(hr, __LINE__);
  if (m_familyCount == 0) return S_OK;

  target->BeginDrawing(0, 0);
  HRESULT refused = S_OK;
  // A dash type may lead back to this fill and change its families: each is read afresh by its index.
  for (DWORD i = 0; i < m_familyCount; ++i) {
    const PlacedFamily family = Place(m_families[i], frame, *record);
    if (!Drawable(family)) {
      refused = Report(E_INVALIDARG, __LINE__);
      continue;
    }
    // Held while it draws. One that cannot be resolved leaves the family without one (and is reported).
    if (!(record->flags & OVR_DASH_TYPE)) ResolveDashType(&m_families[i], __LINE__);
    IJStyleDashTypeRender* chosen = (record->flags & OVR_DASH_TYPE) ? record->dashType : m_families[i].dashType;
    if (chosen) chosen->AddRef();
    StyleComPtr<IJStyleDashTypeRender> dash(chosen);

    // Lines closer than the context can draw apart make a solid area; a negative fill scale leaves the spacing
    // negative, so its size is what counts.
    if (!dash && std::fabs(family.spacing) < (context ? context->smallestSpacing : 0.0)) {
      target->SetFillColor(family.colour);
      target->FillArea(list.count, static_cast<const double*>(list.points));
      continue;
    }
    target->SetPenColor(family.colour);
    target->SetPenWidth(family.width);
    const FillHatchFamily lines{family.angle,    family.spacing, family.shift,
                                family.origin.x, family.origin.y, dash.Get() != nullptr,
                                frame.clipped ? &frame.clipBox : nullptr};
    FillHatchLines walk;
    hr = walk.Start(&trap, frame.range, lines);
    if (hr == kFillInvalidArg) {
      refused = Report(E_INVALIDARG, __LINE__);
      continue;
    }
    if (FAILED(hr)) return Report(hr, __LINE__);
    LineStyleSetAside aside(record);
    FillHatchPiece piece;
    for (bool found = true; found;) {
      hr = walk.Next(&piece, &found);
      if (FAILED(hr)) return Report(hr, __LINE__);
      if (!found) break;
      if (!dash) {
        const double start[3] = {piece.start.x, piece.start.y, piece.start.z};
        const double end[3] = {piece.end.x, piece.end.y, piece.end.z};
        target->DrawLine(start, end);
        continue;
      }
      hr = DrawDashedPiece(dash.Get(), piece, target, context, record, family);
      if (FAILED(hr)) return Report(hr, __LINE__);
    }
  }
  return refused;
}

HRESULT JStyleHatchFill::PrepareRenderRecord(tagStyleOverride* record, const RenderContextScales*, double) {
  if (!record) return S_OK;
  // A fill without families agrees on width 0 and colour 0.
  const HatchFamily none{};
  const HatchFamily& first = m_familyCount ? m_families[0] : none;
  bool sameWidth = true, sameColour = true;
  for (DWORD i = 1; i < m_familyCount; ++i) {
    sameWidth = sameWidth && m_families[i].width == first.width;
    sameColour = sameColour && m_families[i].color == first.color;
  }
  if (!(record->flags & OVR_WIDTH) && sameWidth) {
    record->width = first.width;
    record->unitsCode = m_unitsCode;
    record->flags |= OVR_WIDTH;
  }
  if (!(record->flags & OVR_COLOUR) && sameColour) {
    record->colour = first.color;
    record->flags |= OVR_COLOUR;
  }
  record->flags = (record->flags | OVR_ROTATION | OVR_SCALE) & ~DWORD{OVR_DASH_TYPE};
  return S_OK;
}

// The record holds one reference on the line style it names, before and after. The fill's own preparation
// clears the line style, so one that the record names afterwards came from the referenced style: some hand the
// record a reference of their own with it (the line styles of this server do), others only lend it. A dry run
// on a copy tells the two apart, by the reference count it leaves.
HRESULT JStyleHatchFill::ApplyToGraphic(tagStyleOverride* record) {
  if (!record) return E_INVALIDARG;
  IJStyleDashTypeRender* before = NamedLineStyle(*record);
  tagStyleOverride dryRun = *record;
  HRESULT hr = CStyleRdr2dBase::ApplyToGraphic(&dryRun);
  if (FAILED(hr)) return Report(hr, __LINE__);
  IJStyleDashTypeRender* lent = NamedLineStyle(dryRun);
  const ULONG lentReferences = lent ? References(lent) : 0;
  hr = CStyleRdr2dBase::ApplyToGraphic(record);
  IJStyleDashTypeRender* after = NamedLineStyle(*record);
  if (lent && after == lent) {
    // Each run that handed a reference left one; the record keeps one, or none when it held this one before.
    const bool handed = References(lent) > lentReferences;
    int surplus = (handed ? 2 : 0) - (after == before ? 0 : 1);
    for (; surplus > 0; --surplus) lent->Release();
    for (; surplus < 0; ++surplus) lent->AddRef();
  }
  if (before && after != before) before->Release();
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

HRESULT JStyleHatchFill::GetExtentDelta(StyleExtent* extent) {
  if (!extent) return E_INVALIDARG;
  *extent = StyleExtent{};
  return GetExtentRecord(extent, nullptr, nullptr);
}

// The widest line the fill draws: the record's width when it gives one, else the widest family's.
HRESULT JStyleHatchFill::GetExtentRecord(StyleExtent* extent, const RenderContextScales*, tagStyleOverride* record) {
  if (!extent) return E_INVALIDARG;
  double width = 0.0;
  DWORD units = m_unitsCode;
  if (record && (record->flags & OVR_WIDTH)) {
    width = record->width;
    if (record->unitsCode != STYLE_UNITS_NONE) units = record->unitsCode;
  } else {
    for (DWORD i = 0; i < m_familyCount; ++i) {
      if (m_families[i].width > width) width = m_families[i].width;
    }
  }
  WriteExtent(extent, units, width);
  return S_OK;
}

// ---- persistence ----

HRESULT JStyleHatchFill::Serialize(JArchive* archive) {
  HRESULT hr;
  if (!IsVersioned(archive)) {
    hr = SerializeCurrent(archive);
    if (FAILED(hr)) Report(hr, __LINE__);
    return hr;
  }
  WORD version = 0;
  DWORD scratch = 0;
  hr = ArchiveSerializeClassHeader(archive, &CLSID_JStyleHatchFill, &version, &scratch);
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

HRESULT JStyleHatchFill::SerializeCurrent(JArchive* archive) {
  // The record counts its families in one byte: nothing of it is written when they do not fit.
  if (IsStoring(archive) && m_familyCount > kMostStoredFamilies) return Report(E_FAIL, __LINE__);
  StyleBaseRecord base{};
  HRESULT hr = SerializeBase(archive, &base);
  if (FAILED(hr)) return Report(hr, __LINE__);
  hr = SerializeVersion3(archive);
  if (FAILED(hr)) Report(hr, __LINE__);
  return hr;
}

HRESULT JStyleHatchFill::SerializeVersion3(JArchive* archive) {
  if (DropsCachedReferences(archive)) {
    for (DWORD i = 0; i < m_familyCount; ++i) ReleaseCache(m_families[i].dashType);
  }
  DWORD keepMask = m_keepMask;
  WORD flags = m_flags;
  BYTE reserved = 0;
  BYTE count = static_cast<BYTE>(m_familyCount);
  double scale = m_scale, originX = m_originX, originY = m_originY;
  HRESULT hr = S_OK;
  const auto move = [&](auto& value) {
    if (SUCCEEDED(hr)) hr = Exchange(archive, value);
  };
  move(keepMask);
  move(flags);
  move(reserved);
  move(count);
  move(scale);
  move(originX);
  move(originY);
  if (FAILED(hr)) return Report(hr, __LINE__);
  HatchFamily* loaded = nullptr;
  hr = SerializeFamilies(archive, count, 3, &loaded);
  if (FAILED(hr)) return Report(hr, __LINE__);
  if (IsLoading(archive)) {
    ReplaceFamilies(loaded, count);
    m_keepMask = keepMask;
    m_flags = flags;
    m_scale = scale;
    m_originX = originX;
    m_originY = originY;
    m_originZ = 0.0;
  }
  return S_OK;
}

HRESULT JStyleHatchFill::SerializeVersion2(JArchive* archive) {
  HRESULT hr = SerializeClass(archive);
  if (FAILED(hr)) return Report(hr, __LINE__);
  if (DropsCachedReferences(archive)) {
    for (DWORD i = 0; i < m_familyCount; ++i) ReleaseCache(m_families[i].dashType);
  }
  DWORD count = m_familyCount;
  if (FAILED(hr = Exchange(archive, count))) return Report(hr, __LINE__);
  HatchFamily* loaded = nullptr;
  hr = SerializeFamilies(archive, count, 2, &loaded);
  if (FAILED(hr)) return Report(hr, __LINE__);
  DWORD units = m_unitsCode, flags = m_flags, keepMask = m_keepMask;
  double scale = m_scale, originX = m_originX, originY = m_originY;
  const auto move = [&](auto& value) {
    if (SUCCEEDED(hr)) hr = Exchange(archive, value);
  };
  move(units);
  move(flags);
  move(keepMask);
  move(scale);
  move(originX);
  move(originY);
  if (FAILED(hr)) {
    std::free(loaded);
    return Report(hr, __LINE__);
  }
  if (IsLoading(archive)) {
    ReplaceFamilies(loaded, count);
    m_unitsCode = units;
    m_flags = static_cast<WORD>(flags);
    m_keepMask = keepMask;
    m_scale = scale;
    m_originX = originX;
    m_originY = originY;
    m_originZ = 0.0;
  }
  return S_OK;
}

// A load moves no use counts: the library's counts were stored with it. The loaded families hold no dash type
// yet; they resolve their IDs on first use.
HRESULT JStyleHatchFill::SerializeFamilies(JArchive* archive, DWORD count, WORD version, HatchFamily** loaded) {
  *loaded = nullptr;
  const bool loading = IsLoading(archive);
  HatchFamily* families = m_families;
  if (loading) {
    HRESULT hr = CheckArchiveCount(archive, count, version == 2 ? kVersion2FamilyBytes : kVersion3FamilyBytes);
    if (FAILED(hr)) return Report(hr, __LINE__);
    families = NewFamilies(count);
    if (count && !families) return Report(E_OUTOFMEMORY, __LINE__);
  }
  HRESULT hr = S_OK;
  const auto move = [&](auto& value) {
    if (SUCCEEDED(hr)) hr = Exchange(archive, value);
  };
  for (DWORD i = 0; SUCCEEDED(hr) && i < count; ++i) {
    HatchFamily f = families[i];
    if (!loading && f.dashTypeId == kInvalidStyleID) f.dashTypeId = GetStyleID(f.dashType);
    f.originZ = 0.0;
    if (version == 2) {
      move(f.hasDashType);
      move(f.dashTypeId);
      move(f.angle);
      move(f.spacing);
      move(f.shift);
      move(f.originX);
      move(f.originY);
      move(f.originZ);
      move(f.color);
      move(f.width);
      move(f.keepMask);
      move(f.familyId);
      move(f.marker);
    } else {
      DWORD word = (f.marker ? kMarkerBit : 0) | (f.keepMask & ~kMarkerBit);
      move(word);
      move(f.dashTypeId);
      move(f.familyId);
      move(f.color);
      move(f.angle);
      move(f.spacing);
      move(f.shift);
      move(f.originX);
      move(f.originY);
      move(f.width);
      f.marker = (word & kMarkerBit) ? 1 : 0;
      f.keepMask = word & ~kMarkerBit;
      f.hasDashType = f.dashTypeId != kNoStyleID ? 1 : 0;
    }
    if (loading) {
      f.originZ = 0.0;
      f.dashType = nullptr;
      families[i] = f;
    }
  }
  if (FAILED(hr)) {
    if (loading) std::free(families);
    return Report(hr, __LINE__);
  }
  if (loading) *loaded = families;
  return S_OK;
}

// ---- IJStyleHatchFill ----

using Imp = JStyleHatchFill::IJStyleHatchFillImp;

HRESULT STDMETHODCALLTYPE Imp::SetUnits(DWORD unitsCode) {
  if (unitsCode == STYLE_UNITS_NONE) return Report(E_INVALIDARG, __LINE__);
  Object()->m_unitsCode = unitsCode;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetUnits(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  *out = Object()->m_unitsCode;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetOriginScaling(BOOL scale) {
  WORD& flags = Object()->m_flags;
  flags = scale ? flags | HATCH_SCALE_ORIGINS : flags & ~WORD{HATCH_SCALE_ORIGINS};
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetOriginScaling(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  *out = Object()->m_flags & HATCH_SCALE_ORIGINS;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetFlags(DWORD flags) {
  Object()->m_flags = static_cast<WORD>(flags);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetFlags(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  *out = Object()->m_flags;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetFamilyCount(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  *out = Object()->m_familyCount;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::AddFamily(const HatchFamilyDesc* family, LONG* index) {
  return Object()->AddFamily(family, index);
}

HRESULT STDMETHODCALLTYPE Imp::SetFamily(LONG index, const HatchFamilyDesc* family) {
  return Object()->SetFamily(index, family);
}

HRESULT STDMETHODCALLTYPE Imp::GetFamily(LONG index, HatchFamilyDesc* out) { return Object()->GetFamily(index, out); }

template <class T>
HRESULT JStyleHatchFill::GetFamilyValue(LONG index, T HatchFamily::*field, T* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  HatchFamily* f = nullptr;
  const HRESULT hr = FamilyAt(index, &f, __LINE__);
  if (SUCCEEDED(hr)) *out = f->*field;
  return hr;
}

template <class T>
HRESULT JStyleHatchFill::SetFamilyValue(LONG index, T HatchFamily::*field, T value, bool acceptable) {
  HatchFamily* f = nullptr;
  const HRESULT hr = FamilyAt(index, &f, __LINE__);
  if (FAILED(hr)) return hr;
  if (!acceptable) return Report(E_INVALIDARG, __LINE__);
  f->*field = value;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetFamilyAngle(LONG index, double angle) {
  return Object()->SetFamilyValue(index, &HatchFamily::angle, angle, std::isfinite(angle));
}

HRESULT STDMETHODCALLTYPE Imp::GetFamilyAngle(LONG index, double* out) {
  return Object()->GetFamilyValue(index, &HatchFamily::angle, out);
}

HRESULT STDMETHODCALLTYPE Imp::SetFamilyOrigin(LONG index, const GPosition* origin) {
  if (!origin) return Report(E_INVALIDARG, __LINE__);
  JStyleHatchFill* self = Object();
  const bool acceptable = std::isfinite(origin->x) && std::isfinite(origin->y);
  HRESULT hr = self->SetFamilyValue(index, &HatchFamily::originX, origin->x, acceptable);
  if (SUCCEEDED(hr)) hr = self->SetFamilyValue(index, &HatchFamily::originY, origin->y, acceptable);
  return hr;
}

HRESULT STDMETHODCALLTYPE Imp::GetFamilyOrigin(LONG index, GPosition* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  JStyleHatchFill* self = Object();
  HRESULT hr = self->GetFamilyValue(index, &HatchFamily::originX, &out->x);
  if (SUCCEEDED(hr)) hr = self->GetFamilyValue(index, &HatchFamily::originY, &out->y);
  if (SUCCEEDED(hr)) out->z = 0.0;
  return hr;
}

HRESULT STDMETHODCALLTYPE Imp::SetFamilySpacing(LONG index, double spacing) {
  return Object()->SetFamilyValue(index, &HatchFamily::spacing, spacing, std::isfinite(spacing) && spacing != 0.0);
}

HRESULT STDMETHODCALLTYPE Imp::GetFamilySpacing(LONG index, double* out) {
  return Object()->GetFamilyValue(index, &HatchFamily::spacing, out);
}

HRESULT STDMETHODCALLTYPE Imp::SetFamilyShift(LONG index, double shift) {
  return Object()->SetFamilyValue(index, &HatchFamily::shift, shift, std::isfinite(shift));
}

HRESULT STDMETHODCALLTYPE Imp::GetFamilyShift(LONG index, double* out) {
  return Object()->GetFamilyValue(index, &HatchFamily::shift, out);
}

HRESULT STDMETHODCALLTYPE Imp::SetFamilyColor(LONG index, DWORD colour) {
  return Object()->SetFamilyValue(index, &HatchFamily::color, colour, true);
}

HRESULT STDMETHODCALLTYPE Imp::GetFamilyColor(LONG index, DWORD* out) {
  return Object()->GetFamilyValue(index, &HatchFamily::color, out);
}

HRESULT STDMETHODCALLTYPE Imp::SetFamilyWidth(LONG index, double width) {
  return Object()->SetFamilyValue(index, &HatchFamily::width, width, std::isfinite(width));
}

HRESULT STDMETHODCALLTYPE Imp::GetFamilyWidth(LONG index, double* out) {
  return Object()->GetFamilyValue(index, &HatchFamily::width, out);
}

HRESULT STDMETHODCALLTYPE Imp::SetFamilyDashType(LONG index, IJStyleDashTypeRender* dashType) {
  return Object()->SetFamilyDashType(index, dashType);
}

HRESULT STDMETHODCALLTYPE Imp::GetFamilyDashType(LONG index, IJStyleDashTypeRender** out) {
  return Object()->GetFamilyDashType(index, out);
}

// Index -1 names the fill's own keep mask.
HRESULT STDMETHODCALLTYPE Imp::GetFamilyKeepMask(LONG index, DWORD* out) {
  if (index != -1) return Object()->GetFamilyValue(index, &HatchFamily::keepMask, out);
  if (!out) return Report(E_INVALIDARG, __LINE__);
  *out = Object()->m_keepMask;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetFamilyKeepMask(LONG index, DWORD keepMask) {
  if (index != -1) return Object()->SetFamilyValue(index, &HatchFamily::keepMask, keepMask, true);
  Object()->m_keepMask = keepMask;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::MoveFamily(LONG from, LONG to) { return Object()->MoveFamily(from, to); }

HRESULT STDMETHODCALLTYPE Imp::GetScale(double* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  *out = Object()->m_scale;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetScale(double scale) {
  if (!std::isfinite(scale)) return Report(E_INVALIDARG, __LINE__);
  Object()->m_scale = scale;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetOrigin(GPosition* out) {
  if (!out) return Report(E_INVALIDARG, __LINE__);
  const JStyleHatchFill* self = Object();
  *out = GPosition(self->m_originX, self->m_originY, self->m_originZ);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetOrigin(const GPosition* origin) {
  if (!origin || !std::isfinite(origin->x) || !std::isfinite(origin->y)) return Report(E_INVALIDARG, __LINE__);
  JStyleHatchFill* self = Object();
  self->m_originX = origin->x;
  self->m_originY = origin->y;
  self->m_originZ = 0.0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetData(const HatchFillData* data) { return Object()->SetData(data); }

HRESULT STDMETHODCALLTYPE Imp::GetData(HatchFillData* out) { return Object()->GetData(out); }

HRESULT STDMETHODCALLTYPE Imp::SetFamilyDashTypeId(LONG index, DWORD id) {
  return Object()->SetFamilyDashTypeId(index, id);
}

HRESULT STDMETHODCALLTYPE Imp::GetFamilyDashTypeId(LONG index, DWORD* out) {
  return Object()->GetFamilyDashTypeId(index, out);
}

#include "display/style/styles/JStyleLineSolid.h"

#include "display/style/stylesrv_clsid.h"
#include "display/style/styles/LineStyleShared.h"
#include "host/pellow/pellow.h"
#include "host/sithe/sithe.h"

namespace {

constexpr char kSource[] = "linsolid";

HRESULT Report(HRESULT hr, int line) {
  HRerr(hr, 0, kSource, line);
  return hr;
}

void HalfWidthExtent(StyleExtent* extent, DWORD unitsCode, double width) {
  switch (unitsCode) {
    case STYLE_UNITS_13:
      extent->value = TruncateExtent(width * 0.5 + 1.0);
      break;
    case STYLE_UNITS_11:
      extent->first = width * 0.5;
      break;
    case STYLE_UNITS_12:
      extent->second = width * 0.5;
      break;
    default:
      break;
  }
}

}  // namespace

JStyleLineSolid::JStyleLineSolid(IUnknown* outer) : CStyleRdr2dBase(outer, Counted{}) {
  m_styleKind = STYLE_KIND_LINE;
}

void* JStyleLineSolid::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJStyleLineSolid)) return &m_IJStyleLineSolidImp;
  return CStyleRdr2dBase::GetInterface(iid);
}

GUID* JStyleLineSolid::GetClassID(GUID* out) {
  *out = CLSID_JStyleLineSolid;
  return out;
}

HRESULT JStyleLineSolid::SetData(const tagStyleLineSolidData* data) {
  if (!data) return Report(E_INVALIDARG, 315);
  m_unitsCode = data->unitsCode;
  m_width = data->width;
  m_colour = data->colour;
  return S_OK;
}

HRESULT JStyleLineSolid::GetData(tagStyleLineSolidData* data) {
  if (!data) return Report(E_INVALIDARG, 345);
  data->unitsCode = m_unitsCode;
  data->width = m_width;
  data->colour = m_colour;
  return S_OK;
}

// ---- filling the record and drawing ----

HRESULT JStyleLineSolid::PrepareRenderRecord(tagStyleOverride* record, const RenderContextScales*, double) {
  if (!record) return S_OK;
  if (!(record->flags & OVR_COLOUR)) record->colour = m_colour;
  if (!(record->flags & OVR_WIDTH)) {
    record->unitsCode = m_unitsCode;
    record->width = m_width;
  }
  record->flags |= OVR_COLOUR | OVR_WIDTH;
  return S_OK;
}

HRESULT JStyleLineSolid::Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                const RenderContextScales* context, IJStyleRender*, tagStyleOverride* record,
                                BOOL recordGiven, const StyleElementRecord* element) {
  if (!HasPointList(geometry) || !target || !record) return E_INVALIDARG;
  return ForEachRun(geometry, geometry->word0 & 0x10000, [&](const StyleGeometryRecord* run) {
    return RenderRun(run, target, context, record, recordGiven, element);
  });
}

HRESULT JStyleLineSolid::RenderRun(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                   const RenderContextScales* context, tagStyleOverride* record, BOOL recordGiven,
                                   const StyleElementRecord* element) {
  const double width = ConvertStyleLength(record->width, record->unitsCode, context, TRUE);
  target->SetPenWidth(width);
  target->SetPenColor(record->colour);
  const StylePointRun* run = geometry->pointList;
  if (!record->dashType) {
    target->SetDashPattern(0, nullptr);
    return target->DrawPolyline(run->count, static_cast<const double*>(run->points));
  }
  // The dash type gets the record without itself, so that nothing it draws through dashes again.
  IJStyleDashTypeRender* dash = record->dashType;
  const DWORD flags = record->flags;
  record->dashType = nullptr;
  record->flags &= ~DWORD{OVR_DASH_TYPE};
  const HRESULT hr = dash->RenderDashes(run, target, context, record->dashGenerationFlag,
                                        recordGiven ? record : nullptr, element, record->colour, width);
  record->dashType = dash;
  record->flags = flags;
  return hr;
}

HRESULT JStyleLineSolid::RenderDefault(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                       const RenderContextScales* context, const StyleElementRecord*) {
  if (!HasPointList(geometry) || !target) return E_INVALIDARG;
  target->SetDashPattern(0, nullptr);
  target->SetPenWidth(ConvertStyleLength(m_width, m_unitsCode, context, TRUE));
  target->SetPenColor(m_colour);
  const auto draw = [&](const StyleGeometryRecord* run) {
    return target->DrawPolyline(run->pointList->count, static_cast<const double*>(run->pointList->points));
  };
  return ForEachRun(geometry, geometry->word0 & 0x10000, draw);
}

// ---- extents ----

HRESULT JStyleLineSolid::GetExtentDelta(StyleExtent* extent) {
  if (!extent) return E_INVALIDARG;
  *extent = StyleExtent{};
  HalfWidthExtent(extent, m_unitsCode, m_width);
  return S_OK;
}

HRESULT JStyleLineSolid::GetExtentRecord(StyleExtent* extent, const RenderContextScales* context,
                                         tagStyleOverride* record) {
  if (!extent || !record) return E_INVALIDARG;
  HalfWidthExtent(extent, record->unitsCode, record->width);
  if (context && context->deviceMode) {
    extent->value = TruncateExtent(ConvertStyleLength(record->width, record->unitsCode, context, TRUE) * 0.5);
  }
  return S_OK;
}

HRESULT JStyleLineSolid::ApplyToGraphic(tagStyleOverride* record) {
  if (!record) return E_INVALIDARG;
  const bool hadDash = (record->flags & OVR_DASH_TYPE) != 0;
  const HRESULT hr = CStyleRdr2dBase::ApplyToGraphic(record);
  if (FAILED(hr)) return Report(hr, 1116);
  // The record's holder releases the dash type it was handed.
  if (!hadDash && (record->flags & OVR_DASH_TYPE) && record->dashType) record->dashType->AddRef();
  return hr;
}

// ---- references, copying and comparing ----

HRESULT JStyleLineSolid::SetReferencedStyle(IUnknown*) {
  DropReferencedStyle();
  m_referencedStyleID = kNoStyleID;
  return S_OK;
}

HRESULT JStyleLineSolid::CopyToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                                       IUnknown** out) {
  const HRESULT hr = CStyleRdr2dBase::CopyToLibrary(source, target, targetDocument, out);
  if (FAILED(hr)) Report(hr, 1025);
  return hr;
}

HRESULT JStyleLineSolid::Clone(IUnknown* outer, IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  auto* copy = new JStyleLineSolid(outer);
  if (!copy) return Report(E_OUTOFMEMORY, 566);
  copy->AddRef();
  copy->m_styleKind = m_styleKind;
  copy->m_unitsCode = m_unitsCode;
  copy->m_width = m_width;
  copy->m_colour = m_colour;
  copy->m_lockedFields = m_lockedFields;
  *out = static_cast<UUnknown*>(copy);
  return S_OK;
}

HRESULT JStyleLineSolid::CopyFrom(IUnknown* source, DWORD flags) {
  if (!source) return Report(E_INVALIDARG, 611);
  StyleComPtr<IJStyleLineSolid> other;
  HRESULT hr = source->QueryInterface(IID_IJStyleLineSolid, other.PutVoid());
  if (FAILED(hr)) return hr;
  hr = CStyleRdr2dBase::CopyFrom(source, flags);
  if (FAILED(hr)) return Report(hr, 611);
  tagStyleLineSolidData data{};
  hr = other->GetData(&data);
  if (FAILED(hr)) return Report(hr, 614);
  if (flags == 0) {
    if (FAILED(hr = SetData(&data))) return Report(hr, 627);
    m_lockedFields = 0;
    return S_OK;
  }
  if (!(m_lockedFields & LSOLID_LOCK_COLOUR)) m_colour = data.colour;
  if (!(m_lockedFields & LSOLID_LOCK_WIDTH)) m_width = data.width;
  return S_OK;
}

HRESULT JStyleLineSolid::IsEqual(IUnknown* other, BOOL* same) {
  if (!other || !same) return E_INVALIDARG;
  *same = FALSE;
  StyleComPtr<IJStyleLineSolid> line;
  if (FAILED(other->QueryInterface(IID_IJStyleLineSolid, line.PutVoid()))) return S_OK;
  tagStyleLineSolidData data{};
  DWORD locked = 0;
  if (FAILED(line->GetData(&data)) || FAILED(line->GetLockedFields(&locked))) return S_OK;
  if (!(std::fabs(m_width - data.width) < FLT_EPSILON) || m_unitsCode != data.unitsCode ||
      m_colour != data.colour || m_lockedFields != locked) {
    return S_OK;
  }
  const HRESULT hr = CStyleRdr2dBase::IsEqual(other, same);
  if (FAILED(hr)) Report(hr, 680);
  return hr;
}

// ---- persistence ----

HRESULT JStyleLineSolid::Serialize(JArchive* archive) {
  HRESULT hr;
  if (!IsVersioned(archive)) {
    hr = SerializeCurrent(archive);
    if (FAILED(hr)) Report(hr, 496);
    return hr;
  }
  WORD version = 0;
  DWORD scratch = 0;
  hr = ArchiveSerializeClassHeader(archive, &CLSID_JStyleLineSolid, &version, &scratch);
  if (FAILED(hr)) return Report(hr, 467);
  if (version == 1) {
    if (FAILED(hr = SerializeClass(archive))) return Report(hr, 473);
    DWORD units = m_unitsCode;
    double width = m_width;
    DWORD colour = m_colour;
    DWORD locked = m_lockedFields;
    if (FAILED(hr = Exchange(archive, units))) return Report(hr, 475);
    if (FAILED(hr = Exchange(archive, width))) return Report(hr, 477);
    if (FAILED(hr = Exchange(archive, colour))) return Report(hr, 479);
    if (FAILED(hr = Exchange(archive, locked))) return Report(hr, 481);
    if (IsLoading(archive)) {
      m_unitsCode = units;
      m_width = width;
      m_colour = colour;
      m_lockedFields = locked;
    }
  } else if (version == kCurrentVersion) {
    if (FAILED(hr = SerializeCurrent(archive))) return Report(hr, 485);
  }
  return S_OK;
}

HRESULT JStyleLineSolid::SerializeCurrent(JArchive* archive) {
  StyleBaseRecord base{};
  HRESULT hr = SerializeBase(archive, &base);
  if (FAILED(hr)) return Report(hr, 525);
  DWORD locked = m_lockedFields;
  DWORD reservedWord = 0;
  double width = m_width;
  double reservedLength = 0.0;
  DWORD colour = m_colour;
  if (FAILED(hr = Exchange(archive, locked))) return Report(hr, 527);
  if (FAILED(hr = Exchange(archive, reservedWord))) return Report(hr, 529);
  if (FAILED(hr = Exchange(archive, width))) return Report(hr, 531);
  if (FAILED(hr = Exchange(archive, reservedLength))) return Report(hr, 533);
  if (FAILED(hr = Exchange(archive, colour))) return Report(hr, 535);
  if (IsLoading(archive)) {
    m_lockedFields = locked;
    m_width = width;
    m_colour = colour;
  }
  return S_OK;
}

// ---- IJStyleLineSolid ----

HRESULT STDMETHODCALLTYPE JStyleLineSolid::IJStyleLineSolidImp::SetColor(DWORD colour) {
  Object()->m_colour = colour;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLineSolid::IJStyleLineSolidImp::GetColor(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 184);
  *out = Object()->m_colour;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLineSolid::IJStyleLineSolidImp::SetWidth(double width) {
  Object()->m_width = width;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLineSolid::IJStyleLineSolidImp::GetWidth(double* out) {
  if (!out) return Report(E_INVALIDARG, 235);
  *out = Object()->m_width;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLineSolid::IJStyleLineSolidImp::SetUnits(DWORD unitsCode) {
  Object()->m_unitsCode = unitsCode;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLineSolid::IJStyleLineSolidImp::GetUnits(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 286);
  *out = Object()->m_unitsCode;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLineSolid::IJStyleLineSolidImp::SetData(const tagStyleLineSolidData* data) {
  return Object()->SetData(data);
}

HRESULT STDMETHODCALLTYPE JStyleLineSolid::IJStyleLineSolidImp::GetData(tagStyleLineSolidData* data) {
  return Object()->GetData(data);
}

HRESULT STDMETHODCALLTYPE JStyleLineSolid::IJStyleLineSolidImp::GetLockedFields(DWORD* out) {
  if (out) *out = Object()->m_lockedFields;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLineSolid::IJStyleLineSolidImp::SetLockedFields(DWORD fields) {
  Object()->m_lockedFields = fields;
  return S_OK;
}

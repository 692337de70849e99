#include "display/style/styles/JStyleSimpleLine.h"

#include "display/style/stylbas/StyleCallDepth.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styles/LineStyleShared.h"
#include "host/pellow/pellow.h"
#include "host/sithe/sithe.h"

namespace {

constexpr char kSource[] = "SIMPLLIN";

HRESULT Report(HRESULT hr, int line) {
  HRerr(hr, 0, kSource, line);
  return hr;
}

constexpr DWORD kCodeMask = 0x7;
constexpr DWORD kStoredIDBits = SLINE_DASH_ID_STORED | SLINE_OVERLAY_ID_STORED;
// The colour that the record cannot carry; it is stored as 0.
constexpr DWORD kUnstorableColour = 0xFFFFFFFF;

// How far beyond the middle of the line its drawing reaches, as a part of the width.
double HalfWidthFactor(DWORD firstCode, DWORD thirdCode) {
  if (thirdCode == 2) return 5.0;
  if (firstCode == 1) return 0.75;
  return 0.5;
}

void ExtentByUnits(StyleExtent* extent, DWORD unitsCode, double e) {
  switch (unitsCode) {
    case STYLE_UNITS_13:
      extent->value = TruncateExtent(e + 1.0);
      break;
    case STYLE_UNITS_11:
      extent->first = e;
      break;
    case STYLE_UNITS_12:
      extent->second = e;
      break;
    default:
      break;
  }
}

DWORD DefaultUnits(double width) { return width >= 1.0 ? DWORD{STYLE_UNITS_13} : DWORD{STYLE_UNITS_11}; }

}  // namespace

JStyleSimpleLine::JStyleSimpleLine(IUnknown* outer) : CStyleRdr2dBase(outer, Counted{}) {
  m_styleKind = STYLE_KIND_LINE;
}

JStyleSimpleLine::~JStyleSimpleLine() {
  DropDashType();
  DropOverlay();
}

void JStyleSimpleLine::DropDashType() { ReleaseCache(m_dashType); }
void JStyleSimpleLine::DropOverlay() { ReleaseCache(m_overlay); }

void* JStyleSimpleLine::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJStyleSimpleLine)) return &m_IJStyleSimpleLineImp;
  return CStyleRdr2dBase::GetInterface(iid);
}

// What the class does not answer itself, the host engine may add as an extension of line styles.
void* JStyleSimpleLine::GetAggregateInterface(REFIID iid) {
  if (void* found = CStyleRdr2dBase::GetAggregateInterface(iid)) return found;
  void* extension = nullptr;
  if (FAILED(QueryClassExtension(&CLASSEXT_LineStyle, GetControllingUnknown(), iid, &extension))) return nullptr;
  return extension;
}

GUID* JStyleSimpleLine::GetClassID(GUID* out) {
  *out = CLSID_JStyleSimpleLine;
  return out;
}

DWORD JStyleSimpleLine::Code(DWORD shift, DWORD max) const {
  const DWORD code = (m_styleFlags >> shift) & kCodeMask;
  return code <= max ? code : 0;
}

void JStyleSimpleLine::SetCode(DWORD shift, DWORD code) {
  m_styleFlags = (m_styleFlags & ~(kCodeMask << shift)) | (code << shift);
}

// ---- the description ----

HRESULT JStyleSimpleLine::SetData(const tagStyleSimpleLineData* data) {
  if (!data) return Report(E_INVALIDARG, 493);
  m_unitsCode = data->unitsCode;
  m_width = data->width;
  m_colour = data->colour;
  m_styleFlags = (data->styleFlags & SLINE_OLD_FORM) ? data->styleFlags & SLINE_FIT : data->styleFlags;
  m_lockedFields = data->lockedFields;
  return S_OK;
}

HRESULT JStyleSimpleLine::GetData(tagStyleSimpleLineData* data) {
  if (!data) return Report(E_INVALIDARG, 537);
  data->unitsCode = m_unitsCode;
  data->width = m_width;
  data->colour = m_colour;
  data->styleFlags = m_styleFlags;
  data->lockedFields = m_lockedFields;
  return S_OK;
}

HRESULT JStyleSimpleLine::SetDashType(IUnknown* dashType) {
  const HRESULT hr = SetStyleRefQI(&m_dashTypeID, AsUnknownSlot(&m_dashType), dashType, IID_IJStyleDashTypeRender);
  if (FAILED(hr)) Report(hr, 620);
  return hr;
}

HRESULT JStyleSimpleLine::GetDashType(IJStyleDashTypeRender** out) {
  if (!out) return Report(E_INVALIDARG, 647);
  *out = nullptr;
  if (!m_dashType) {
    const HRESULT hr = GetStyleByID(m_dashTypeID, IID_IJStyleDashTypeRender, reinterpret_cast<void**>(&m_dashType));
    if (hr == E_NOINTERFACE) {
      // The style of that ID is no dash type: the line has none and draws solid.
      m_dashType = nullptr;
      m_dashTypeID = kNoStyleID;
      return S_OK;
    }
    if (FAILED(hr)) return Report(hr, 667);
  }
  if (m_dashType) m_dashType->AddRef();
  *out = m_dashType;
  return S_OK;
}

HRESULT JStyleSimpleLine::SetOverlayStyle(IUnknown* style) {
  const HRESULT hr = SetStyleRefQI(&m_overlayID, AsUnknownSlot(&m_overlay), style, IID_IJStyleRender);
  if (FAILED(hr)) Report(hr, 703);
  return hr;
}

HRESULT JStyleSimpleLine::GetOverlayStyle(IJStyleRender** out) {
  if (!out) return Report(E_INVALIDARG, 730);
  *out = nullptr;
  if (!m_overlay) {
    const HRESULT hr = GetStyleByID(m_overlayID, IID_IJStyleRender, reinterpret_cast<void**>(&m_overlay));
    if (FAILED(hr)) return Report(hr, 737);
  }
  if (m_overlay) m_overlay->AddRef();
  *out = m_overlay;
  return S_OK;
}

// ---- filling the record and drawing ----

HRESULT JStyleSimpleLine::PrepareRenderRecord(tagStyleOverride* record, const RenderContextScales*, double) {
  if (!record) return S_OK;
  if (!(record->flags & OVR_COLOUR)) {
    record->colour = m_colour;
    if (m_styleFlags & SLINE_COLOUR_FIXED) record->flags |= OVR_COLOUR;
  }
  if (!(record->flags & OVR_DASH_FLAG)) record->dashGenerationFlag = (m_styleFlags & SLINE_FIT) ? 1 : 0;
  if (!(record->flags & OVR_WIDTH)) {
    record->unitsCode = m_unitsCode;
    record->width = m_width;
    if (m_styleFlags & SLINE_WIDTH_FIXED) record->flags |= OVR_WIDTH;
  }
  if (!(record->flags & OVR_DASH_TYPE)) {
    if (!m_dashType) {
      const HRESULT hr =
          GetStyleByID(m_dashTypeID, IID_IJStyleDashTypeRender, reinterpret_cast<void**>(&m_dashType));
      if (FAILED(hr)) return Report(hr, 2182);
    }
    record->dashType = m_dashType;
    if (m_dashType) record->flags |= OVR_DASH_TYPE;
  }
  if (!(record->flags & OVR_FIRST_CODE)) record->firstCode = Code(SLINE_FIRST_CODE_SHIFT, 3);
  if (!(record->flags & OVR_SECOND_CODE)) record->secondCode = Code(SLINE_SECOND_CODE_SHIFT, 2);
  if (!(record->flags & OVR_THIRD_CODE)) record->thirdCode = Code(SLINE_THIRD_CODE_SHIFT, 2);
  return S_OK;
}

HRESULT JStyleSimpleLine::Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                 const RenderContextScales* context, IJStyleRender* substitute,
                                 tagStyleOverride* record, BOOL recordGiven, const StyleElementRecord* element) {
  if (!HasPointList(geometry) || !target || !record) return Report(E_INVALIDARG, 2438);
  if (m_styleFlags & SLINE_MODE_SKIP) {
    DWORD mode = 0;
    if (SUCCEEDED(target->GetRenderMode(&mode)) && (mode == 2 || mode == 4)) return S_OK;
  }
  if (m_styleFlags & (SLINE_WIDTH_FIXED | SLINE_COLOUR_FIXED)) recordGiven = TRUE;
  return ForEachRun(geometry, geometry->word0 & 0x10000, [&](const StyleGeometryRecord* run) {
    return RenderRun(run, target, context, substitute, record, recordGiven, element);
  });
}

HRESULT JStyleSimpleLine::RenderRun(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                    const RenderContextScales* context, IJStyleRender* substitute,
                                    tagStyleOverride* record, BOOL recordGiven, const StyleElementRecord* element) {
  HRESULT hr = S_OK;
  if (!record->dashType) {
    RenderSolid(geometry, target, context, substitute, record, element);
  } else {
    const double width = ConvertStyleLength(record->width, record->unitsCode, context, TRUE);
    target->SetPenWidth(width);
    target->SetPenColor(record->colour);
    target->SetFirstCode(record->firstCode);
    target->SetSecondCode(record->secondCode);
    target->SetThirdCode(record->thirdCode);
    // The dash type gets the record without itself, so that nothing it draws through dashes again.
    IJStyleDashTypeRender* dash = record->dashType;
    const DWORD flags = record->flags;
    record->dashType = nullptr;
    record->flags &= ~DWORD{OVR_DASH_TYPE};
    hr = dash->RenderDashes(geometry->pointList, target, context, record->dashGenerationFlag,
                            recordGiven ? record : nullptr, element, record->colour, width);
    record->dashType = dash;
    record->flags = flags;
  }

  if (m_overlayID == kNoStyleID) return hr;
  if (!m_overlay) {
    hr = GetStyleByID(m_overlayID, IID_IJStyleRender, reinterpret_cast<void**>(&m_overlay));
    if (FAILED(hr)) return Report(hr, 1972);
  }
  if (!m_overlay) return hr;
  StyleComPtr<IJStyleRender> overlay(m_overlay);
  overlay->AddRef();
  IJStyleDashTypeRender* dash = record->dashType;
  const DWORD flags = record->flags;
  // The line's own dash type is the line's; the overlay dashes only with one the caller chose.
  if ((flags & OVR_DASH_TYPE) && dash == m_dashType) {
    record->dashType = nullptr;
    record->flags &= ~DWORD{OVR_DASH_TYPE};
  }
  hr = overlay->RenderWithContext(geometry, target, context, substitute, recordGiven ? record : nullptr, element);
  record->dashType = dash;
  record->flags = flags;
  if (FAILED(hr)) Report(hr, 1988);
  return hr;
}

HRESULT JStyleSimpleLine::RenderSolid(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                      const RenderContextScales* context, IJStyleRender*, tagStyleOverride* record,
                                      const StyleElementRecord*) {
  if (!HasPointList(geometry) || !target || !record) return Report(E_INVALIDARG, 2438);
  if (geometry->pointList->count == 0) return S_OK;
  target->SetDashPattern(0, nullptr);
  target->SetPenWidth(ConvertStyleLength(record->width, record->unitsCode, context, TRUE));
  target->SetPenColor(record->colour);
  target->SetFirstCode(record->firstCode);
  target->SetSecondCode(record->secondCode);
  target->SetThirdCode(record->thirdCode);
  target->DrawPolyline(geometry->pointList->count, static_cast<const double*>(geometry->pointList->points));
  return S_OK;
}

// ---- extents ----

HRESULT JStyleSimpleLine::GetExtentDelta(StyleExtent* extent) {
  if (!extent) return E_INVALIDARG;
  *extent = StyleExtent{};
  const double e = m_width * HalfWidthFactor(Code(SLINE_FIRST_CODE_SHIFT, 3), Code(SLINE_THIRD_CODE_SHIFT, 2));
  ExtentByUnits(extent, m_unitsCode, e);
  return S_OK;
}

HRESULT JStyleSimpleLine::GetExtentRecord(StyleExtent* extent, const RenderContextScales* context,
                                          tagStyleOverride* record) {
  if (!extent || !record) return E_INVALIDARG;
  ExtentByUnits(extent, record->unitsCode, record->width * HalfWidthFactor(record->firstCode, record->thirdCode));
  if (context && context->deviceMode) {
    extent->value = TruncateExtent(ConvertStyleLength(record->width, record->unitsCode, context, TRUE) * 0.5);
  }
  HRESULT hr = S_OK;
  IJStyleDashTypeRender* dash = record->dashType ? record->dashType : m_dashType;
  if (dash) {
    StyleExtent local{};
    hr = dash->GetExtents(&local, context, 0, record);
    if (FAILED(hr)) {
      Report(hr, record->dashType ? 2539 : 2555);
    } else {
      if (local.value > extent->value) extent->value = local.value;
      if (!(extent->first >= local.first)) extent->first = local.first;
      if (!(extent->second >= local.second)) extent->second = local.second;
    }
  }
  if (m_overlayID != kNoStyleID && !m_overlay) {
    hr = GetStyleByID(m_overlayID, IID_IJStyleRender, reinterpret_cast<void**>(&m_overlay));
    if (FAILED(hr)) return Report(hr, 2570);
  }
  if (m_overlay) {
    StyleComPtr<IJStyleRender> overlay(m_overlay);
    overlay->AddRef();
    StyleExtent local{};
    hr = overlay->GetRangeWithContext(&local, context, nullptr, record);
    if (FAILED(hr)) {
      Report(hr, 2580);
    } else {
      extent->value += local.value;
      extent->first += local.first;
      extent->second += local.second;
    }
  }
  return hr;
}

HRESULT JStyleSimpleLine::ApplyToGraphic(tagStyleOverride* record) {
  if (!record) return E_INVALIDARG;
  const bool hadDash = (record->flags & OVR_DASH_TYPE) != 0;
  const HRESULT hr = CStyleRdr2dBase::ApplyToGraphic(record);
  if (FAILED(hr)) return Report(hr, 2618);
  record->flags |= OVR_COLOUR | OVR_WIDTH;
  // The record's holder releases the dash type it was handed.
  if (!hadDash && (record->flags & OVR_DASH_TYPE) && record->dashType) record->dashType->AddRef();
  return hr;
}

// ---- references ----

BOOL JStyleSimpleLine::UsesStyleID(DWORD id) {
  if (id != kNoStyleID && (id == m_dashTypeID || id == m_overlayID)) return TRUE;
  if (!m_dashType) GetStyleByID(m_dashTypeID, IID_IJStyleDashTypeRender, reinterpret_cast<void**>(&m_dashType));
  if (m_dashType) {
    StyleComPtr<IJStyleUser> user;
    if (SUCCEEDED(m_dashType->QueryInterface(IID_IJStyleUser, user.PutVoid()))) {
      if (const BOOL uses = user->UsesStyleID(id)) return uses;
    }
  }
  if (!m_overlay) GetStyleByID(m_overlayID, IID_IJStyleRender, reinterpret_cast<void**>(&m_overlay));
  if (m_overlay) {
    StyleComPtr<IJStyleUser> user;
    if (SUCCEEDED(m_overlay->QueryInterface(IID_IJStyleUser, user.PutVoid()))) {
      if (const BOOL uses = user->UsesStyleID(id)) return uses;
    }
  }
  return CStyleRdr2dBase::UsesStyleID(id);
}

HRESULT JStyleSimpleLine::SetOwner(IUnknown* owner) {
  HRESULT hr;
  if (!m_owner && !m_dashType && !m_overlay) {
    hr = CStyleRdr2dBase::SetOwner(owner);
    if (FAILED(hr)) Report(hr, 1775);
    return hr;
  }
  // The referenced styles are taken as objects, so that their uses can move from the old library to the new.
  StyleComPtr<IJStyleDashTypeRender> dash;
  hr = GetDashType(dash.Put());
  if (FAILED(hr)) return Report(hr, 1780);
  StyleComPtr<IJStyleRender> overlay;
  hr = GetOverlayStyle(overlay.Put());
  if (FAILED(hr)) return Report(hr, 1784);
  DropDashType();
  DropOverlay();
  if (m_owner) {
    if (FAILED(hr = SetStyleRefID(&m_dashTypeID, kNoStyleID))) Report(hr, 1790);
    if (FAILED(hr = SetStyleRefID(&m_overlayID, kNoStyleID))) Report(hr, 1793);
  }
  hr = CStyleRdr2dBase::SetOwner(owner);
  if (FAILED(hr)) return Report(hr, 1797);
  if (FAILED(hr = SetStyleRefPtr(&m_dashTypeID, AsUnknownSlot(&m_dashType), dash.Get()))) Report(hr, 1801);
  if (FAILED(hr = SetStyleRefPtr(&m_overlayID, AsUnknownSlot(&m_overlay), overlay.Get()))) Report(hr, 1805);
  return hr;
}

HRESULT JStyleSimpleLine::ReleaseStyleRefs(DWORD value) {
  SetStyleRefID(&m_dashTypeID, kNoStyleID);
  SetStyleRefID(&m_overlayID, kNoStyleID);
  return CStyleRdr2dBase::ReleaseStyleRefs(value);
}

HRESULT JStyleSimpleLine::EnumStyleRefs(StyleRefCallback callback) {
  if (!callback) return E_INVALIDARG;
  HRESULT hr = callback(m_dashTypeID);
  if (FAILED(hr)) return Report(hr, 1851);
  hr = callback(m_overlayID);
  if (FAILED(hr)) return Report(hr, 1853);
  hr = CStyleRdr2dBase::EnumStyleRefs(callback);
  if (FAILED(hr)) Report(hr, 1856);
  return hr;
}

HRESULT JStyleSimpleLine::OnStyleChanged(DWORD id, DWORD newStyle) {
  const HRESULT hr = CStyleRdr2dBase::OnStyleChanged(id, newStyle);
  if (FAILED(hr)) Report(hr, 2389);
  auto* style = reinterpret_cast<IUnknown*>(static_cast<UINT_PTR>(newStyle));
  if (id != kNoStyleID && id == m_overlayID) {
    DropOverlay();
    if (style) {
      const HRESULT found = style->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&m_overlay));
      if (FAILED(found)) return Report(found, 2395);
    }
    return S_OK;
  }
  if (id != kNoStyleID && id == m_dashTypeID) {
    DropDashType();
    if (style) {
      const HRESULT found = style->QueryInterface(IID_IJStyleDashTypeRender, reinterpret_cast<void**>(&m_dashType));
      if (FAILED(found)) return Report(found, 2403);
    }
    return S_OK;
  }
  return hr;
}

HRESULT JStyleSimpleLine::CopyToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                                        IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  HRESULT hr;
  DWORD newDashID = kNoStyleID;
  if (m_dashTypeID != kNoStyleID) {
    hr = CopyReferenceToLibrary(this, m_dashTypeID, m_dashType, source, target, targetDocument, &newDashID, kSource,
                                2273, 2279, 2283, 2289);
    if (FAILED(hr)) return hr;
  }
  DWORD newOverlayID = kNoStyleID;
  if (m_overlayID != kNoStyleID) {
    hr = CopyReferenceToLibrary(this, m_overlayID, m_overlay, source, target, targetDocument, &newOverlayID,
                                kSource, 2307, 2313, 2318, 2323);
    if (FAILED(hr)) return hr;
  }
  StyleComPtr<IUnknown> clone;
  hr = CStyleRdr2dBase::CopyToLibrary(source, target, targetDocument, clone.Put());
  if (FAILED(hr)) return Report(hr, 2330);
  if (m_dashTypeID != kNoStyleID || m_overlayID != kNoStyleID) {
    StyleComPtr<IJStyleSimpleLine> line;
    hr = clone->QueryInterface(IID_IJStyleSimpleLine, line.PutVoid());
    if (FAILED(hr)) return Report(hr, 2335);
    if (m_dashTypeID != kNoStyleID) {
      StyleComPtr<IUnknown> dash;
      hr = target ? target->GetStyle(newDashID, dash.Put()) : E_INVALIDARG;
      if (FAILED(hr)) return Report(hr, 2343);
      hr = line->SetDashType(dash.Get());
      if (FAILED(hr)) return Report(hr, 2346);
    }
    if (m_overlayID != kNoStyleID) {
      StyleComPtr<IUnknown> overlay;
      hr = target ? target->GetStyle(newOverlayID, overlay.Put()) : E_INVALIDARG;
      if (FAILED(hr)) return Report(hr, 2357);
      StyleComPtr<IJStyleRender> render;
      hr = overlay ? overlay->QueryInterface(IID_IJStyleRender, render.PutVoid()) : E_FAIL;
      if (FAILED(hr)) return Report(hr, 2360);
      hr = line->SetOverlayStyle(render.Get());
      if (FAILED(hr)) return Report(hr, 2363);
    }
  }
  *out = clone.Detach();
  return hr;
}

HRESULT JStyleSimpleLine::SetReferencedStyle(IUnknown*) {
  DropReferencedStyle();
  m_referencedStyleID = kNoStyleID;
  return S_OK;
}

// ---- copying and comparing ----

HRESULT JStyleSimpleLine::Clone(IUnknown* outer, IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  auto* copy = new JStyleSimpleLine(outer);
  if (!copy) return Report(E_OUTOFMEMORY, 1520);
  copy->AddRef();
  if (m_unitsCode == STYLE_UNITS_NONE) m_unitsCode = DefaultUnits(m_width);
  copy->m_styleKind = m_styleKind;
  copy->m_unitsCode = m_unitsCode;
  copy->m_width = m_width;
  copy->m_colour = m_colour;
  copy->m_lockedFields = m_lockedFields;
  copy->m_styleFlags = m_styleFlags;
  *out = static_cast<UUnknown*>(copy);
  return S_OK;
}

HRESULT JStyleSimpleLine::CopyFrom(IUnknown* source, DWORD flags) {
  if (!source) return Report(E_INVALIDARG, 1576);
  StyleComPtr<IJStyleSimpleLine> other;
  HRESULT hr = source->QueryInterface(IID_IJStyleSimpleLine, other.PutVoid());
  if (FAILED(hr)) return hr;
  hr = CStyleRdr2dBase::CopyFrom(source, flags);
  if (FAILED(hr)) return Report(hr, 1576);
  tagStyleSimpleLineData data{};
  hr = other->GetData(&data);
  if (FAILED(hr)) return Report(hr, 1579);
  StyleComPtr<IJStyleDashTypeRender> dash;
  hr = other->GetDashType(dash.Put());
  if (FAILED(hr)) return Report(hr, 1582);
  if (flags == 0) {
    if (FAILED(hr = SetData(&data))) return Report(hr, 1620);
    if (FAILED(hr = SetDashType(dash.Get()))) return Report(hr, 1623);
    m_lockedFields = 0;
    return S_OK;
  }
  const auto takeBit = [&](DWORD lock, DWORD bit) {
    if (!(m_lockedFields & lock)) m_styleFlags = (m_styleFlags & ~bit) | (data.styleFlags & bit);
  };
  if (!(m_lockedFields & SLINE_LOCK_COLOUR_WIDTH)) {
    m_colour = data.colour;
    m_width = data.width;
  }
  takeBit(SLINE_LOCK_COLOUR_FIXED, SLINE_COLOUR_FIXED);
  takeBit(SLINE_LOCK_WIDTH_FIXED, SLINE_WIDTH_FIXED);
  takeBit(SLINE_LOCK_FIT, SLINE_FIT);
  if (!(m_lockedFields & SLINE_LOCK_DASH_TYPE)) {
    if (FAILED(hr = SetDashType(dash.Get()))) return Report(hr, 1614);
  }
  return S_OK;
}

HRESULT JStyleSimpleLine::IsEqual(IUnknown* other, BOOL* same) {
  if (!other || !same) return E_INVALIDARG;
  *same = FALSE;
  StyleComPtr<IJStyleSimpleLine> line;
  if (FAILED(other->QueryInterface(IID_IJStyleSimpleLine, line.PutVoid()))) return S_OK;
  tagStyleSimpleLineData data{};
  if (FAILED(line->GetData(&data))) return S_OK;
  if (!(std::fabs(m_width - data.width) < FLT_EPSILON) || m_unitsCode != data.unitsCode ||
      m_colour != data.colour || m_styleFlags != data.styleFlags || m_lockedFields != data.lockedFields) {
    return S_OK;
  }
  StyleComPtr<IJStyleDashTypeRender> mineDash;
  HRESULT hr = GetDashType(mineDash.Put());
  if (FAILED(hr)) return Report(hr, 1685);
  StyleComPtr<IJStyleDashTypeRender> theirDash;
  hr = line->GetDashType(theirDash.Put());
  if (FAILED(hr)) return Report(hr, 1688);
  BOOL equal = FALSE;
  hr = SameReferencedStyle(mineDash.Get(), theirDash.Get(), &equal, kSource, 1699);
  if (FAILED(hr) || !equal) return hr;

  StyleComPtr<IJStyleRender> mineOverlay;
  hr = GetOverlayStyle(mineOverlay.Put());
  if (FAILED(hr)) return Report(hr, 1712);
  StyleComPtr<IJStyleRender> theirOverlay;
  hr = line->GetOverlayStyle(theirOverlay.Put());
  if (FAILED(hr)) return Report(hr, 1715);
  hr = SameReferencedStyle(mineOverlay.Get(), theirOverlay.Get(), &equal, kSource, 1726);
  if (FAILED(hr) || !equal) return hr;

  hr = CStyleRdr2dBase::IsEqual(other, same);
  if (FAILED(hr)) Report(hr, 1740);
  return hr;
}

// ---- persistence ----

HRESULT JStyleSimpleLine::Serialize(JArchive* archive) {
  HRESULT hr = S_OK;
  if (!IsVersioned(archive)) {
    hr = SerializeCurrent(archive);
    if (FAILED(hr)) Report(hr, 1361);
  } else {
    WORD version = 0;
    DWORD scratch = 0;
    hr = ArchiveSerializeClassHeader(archive, &CLSID_JStyleSimpleLine, &version, &scratch);
    if (FAILED(hr)) return Report(hr, 1284);
    if (version == 2) {
      hr = SerializeVersion2(archive);
    } else if (version == kCurrentVersion) {
      hr = SerializeCurrent(archive);
      if (FAILED(hr)) Report(hr, 1326);
    }
  }
  if (IsLoading(archive)) {
    if (m_styleFlags & SLINE_OLD_FORM) m_styleFlags &= SLINE_FIT;
    if (m_unitsCode == STYLE_UNITS_NONE) m_unitsCode = DefaultUnits(m_width);
  }
  return hr;
}

HRESULT JStyleSimpleLine::SerializeVersion2(JArchive* archive) {
  HRESULT hr = SerializeClass(archive);
  if (FAILED(hr)) return Report(hr, 1292);
  const bool loading = IsLoading(archive);
  // A reload may give the IDs to other styles: nothing cached under the old IDs may be drawn under the new.
  if (DropsCachedReferences(archive)) {
    DropDashType();
    DropOverlay();
    m_dashTypeID = kNoStyleID;
    m_overlayID = kNoStyleID;
  }
  DWORD units = m_unitsCode;
  double width = m_width;
  DWORD colour = m_colour == kUnstorableColour ? 0 : m_colour;
  DWORD flags = m_styleFlags;
  DWORD dashID = m_dashTypeID;
  DWORD overlayID = m_overlayID;
  DWORD locked = m_lockedFields;
  if (FAILED(hr = Exchange(archive, units))) return Report(hr, 1304);
  if (FAILED(hr = Exchange(archive, width))) return Report(hr, 1306);
  if (FAILED(hr = Exchange(archive, colour))) return Report(hr, 1311);
  if (FAILED(hr = Exchange(archive, flags))) return Report(hr, 1316);
  if (FAILED(hr = Exchange(archive, dashID))) return Report(hr, 1318);
  if (FAILED(hr = Exchange(archive, overlayID))) return Report(hr, 1320);
  if (FAILED(hr = Exchange(archive, locked))) return Report(hr, 1322);
  if (loading) {
    m_unitsCode = units;
    m_width = width;
    m_colour = colour == kUnstorableColour ? 0 : colour;
    m_styleFlags = flags;
    // A load moves no use counts; a cache of another ID goes.
    if (dashID != m_dashTypeID) DropDashType();
    if (overlayID != m_overlayID) DropOverlay();
    m_dashTypeID = dashID;
    m_overlayID = overlayID;
    m_lockedFields = locked;
  }
  return S_OK;
}

HRESULT JStyleSimpleLine::SerializeCurrent(JArchive* archive) {
  const bool loading = IsLoading(archive);
  StyleBaseRecord base{};
  HRESULT hr = SerializeBase(archive, &base);
  if (FAILED(hr)) return Report(hr, 1394);
  if (DropsCachedReferences(archive)) {
    DropDashType();
    DropOverlay();
    m_dashTypeID = kNoStyleID;
    m_overlayID = kNoStyleID;
  }
  DWORD flags = m_styleFlags & ~kStoredIDBits;
  if (!loading) {
    if (m_dashTypeID != kNoStyleID) flags |= SLINE_DASH_ID_STORED;
    if (m_overlayID != kNoStyleID) flags |= SLINE_OVERLAY_ID_STORED;
  }
  DWORD locked = m_lockedFields;
  double width = m_width;
  double reserved = m_reserved;
  DWORD colour = m_colour == kUnstorableColour ? 0 : m_colour;
  DWORD dashID = m_dashTypeID;
  DWORD overlayID = m_overlayID;
  if (FAILED(hr = Exchange(archive, flags))) return Report(hr, loading ? 1465 : 1428);
  if (FAILED(hr = Exchange(archive, locked))) return Report(hr, loading ? 1467 : 1430);
  if (FAILED(hr = Exchange(archive, width))) return Report(hr, loading ? 1469 : 1432);
  if (FAILED(hr = Exchange(archive, reserved))) return Report(hr, loading ? 1471 : 1434);
  if (FAILED(hr = Exchange(archive, colour))) return Report(hr, loading ? 1473 : 1439);
  if (flags & SLINE_DASH_ID_STORED) {
    if (FAILED(hr = Exchange(archive, dashID))) return Report(hr, loading ? 1480 : 1444);
  }
  if (flags & SLINE_OVERLAY_ID_STORED) {
    if (FAILED(hr = Exchange(archive, overlayID))) return Report(hr, loading ? 1485 : 1449);
  }
  if (loading) {
    m_styleFlags = flags & ~kStoredIDBits;
    m_lockedFields = locked;
    m_width = width;
    m_reserved = reserved;
    m_colour = colour == kUnstorableColour ? 0 : colour;
    // A load moves no use counts; a cache of another ID goes.
    if (dashID != m_dashTypeID) DropDashType();
    if (overlayID != m_overlayID) DropOverlay();
    m_dashTypeID = dashID;
    m_overlayID = overlayID;
  }
  return S_OK;
}

// ---- IJStyleSimpleLine ----

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::SetColor(DWORD colour) {
  Object()->m_colour = colour;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::GetColor(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 356);
  *out = Object()->m_colour;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::SetWidth(double width) {
  Object()->m_width = width;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::GetWidth(double* out) {
  if (!out) return Report(E_INVALIDARG, 409);
  *out = Object()->m_width;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::SetUnits(DWORD unitsCode) {
  Object()->m_unitsCode = unitsCode;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::GetUnits(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 462);
  *out = Object()->m_unitsCode;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::SetData(const tagStyleSimpleLineData* data) {
  return Object()->SetData(data);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::GetData(tagStyleSimpleLineData* data) {
  return Object()->GetData(data);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::GetLockedFields(DWORD* out) {
  if (out) *out = Object()->m_lockedFields;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::SetLockedFields(DWORD fields) {
  Object()->m_lockedFields = fields;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::SetDashType(IUnknown* dashType) {
  return Object()->SetDashType(dashType);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::GetDashType(IJStyleDashTypeRender** out) {
  return Object()->GetDashType(out);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::SetOverlayStyle(IUnknown* style) {
  return Object()->SetOverlayStyle(style);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::GetOverlayStyle(IJStyleRender** out) {
  return Object()->GetOverlayStyle(out);
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::SetDashTypeID(DWORD id) {
  JStyleSimpleLine* self = Object();
  if (id == self->m_dashTypeID) return S_OK;
  const HRESULT hr = self->SetStyleRefID(&self->m_dashTypeID, id);
  // A refused ID leaves the reference as it was, cache included.
  if (SUCCEEDED(hr)) self->DropDashType();
  return hr;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::GetDashTypeID(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 799);
  JStyleSimpleLine* self = Object();
  if (self->m_dashTypeID == kInvalidStyleID) self->m_dashTypeID = self->GetStyleID(self->m_dashType);
  *out = self->m_dashTypeID;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::SetOverlayStyleID(DWORD id) {
  JStyleSimpleLine* self = Object();
  if (id == self->m_overlayID) return S_OK;
  const HRESULT hr = self->SetStyleRefID(&self->m_overlayID, id);
  if (SUCCEEDED(hr)) self->DropOverlay();
  return hr;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::GetOverlayStyleID(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 863);
  JStyleSimpleLine* self = Object();
  if (self->m_overlayID == kInvalidStyleID) self->m_overlayID = self->GetStyleID(self->m_overlay);
  *out = self->m_overlayID;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::SetWidthFixed() {
  Object()->m_styleFlags |= SLINE_WIDTH_FIXED;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::ClearWidthFixed() {
  Object()->m_styleFlags &= ~DWORD{SLINE_WIDTH_FIXED};
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::SetColorFixed() {
  Object()->m_styleFlags |= SLINE_COLOUR_FIXED;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::ClearColorFixed() {
  Object()->m_styleFlags &= ~DWORD{SLINE_COLOUR_FIXED};
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::SetFirstCode(DWORD code) {
  if (code > 3) return Report(E_INVALIDARG, 989);
  Object()->SetCode(SLINE_FIRST_CODE_SHIFT, code);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::GetFirstCode(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 1017);
  *out = (Object()->m_styleFlags >> SLINE_FIRST_CODE_SHIFT) & kCodeMask;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::SetSecondCode(DWORD code) {
  if (code > 2) return Report(E_INVALIDARG, 1045);
  Object()->SetCode(SLINE_SECOND_CODE_SHIFT, code);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::GetSecondCode(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 1073);
  *out = (Object()->m_styleFlags >> SLINE_SECOND_CODE_SHIFT) & kCodeMask;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::SetThirdCode(DWORD code) {
  if (code > 2) return Report(E_INVALIDARG, 1102);
  Object()->SetCode(SLINE_THIRD_CODE_SHIFT, code);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::GetThirdCode(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 1130);
  *out = (Object()->m_styleFlags >> SLINE_THIRD_CODE_SHIFT) & kCodeMask;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::SetModeSkip(DWORD skip) {
  JStyleSimpleLine* self = Object();
  self->m_styleFlags = (skip & 1) ? self->m_styleFlags | SLINE_MODE_SKIP : self->m_styleFlags & ~DWORD{SLINE_MODE_SKIP};
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleSimpleLine::IJStyleSimpleLineImp::GetModeSkip(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 1181);
  *out = (Object()->m_styleFlags & SLINE_MODE_SKIP) ? 1 : 0;
  return S_OK;
}

#include "display/style/styles/JStyleOverride.h"

#include <initializer_list>

#include "display/style/stylbas/StyleCallDepth.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styles/LineStyleShared.h"
#include "host/pellow/pellow.h"

namespace {

constexpr char kSource[] = "OVERRIDE";

HRESULT Report(HRESULT hr, int line) {
  HRerr(hr, 0, kSource, line);
  return hr;
}

bool IsUsable(DWORD id) { return id != kNoStyleID && id != kInvalidStyleID; }

// A colour value that makes the override's colour win even over a colour the caller fixed.
constexpr DWORD kForcedColour = 0x80000000;
constexpr DWORD kFillFollowsColour = 0xFFFFFFFE;

}  // namespace

JStyleOverride::JStyleOverride(IUnknown* outer) : CStyleRdr2dBase(outer, Counted{}) {
  m_styleKind = STYLE_KIND_LINE;
  m_record.recordCode = kStyleOverrideRecordCode;
}

JStyleOverride::~JStyleOverride() {
  DropOtherStyle();
  DropPrerender();
  DropDashType();
}

void JStyleOverride::DropDashType() { ReleaseCache(m_record.dashType); }
void JStyleOverride::DropOtherStyle() { ReleaseCache(m_other); }
void JStyleOverride::DropPrerender() { ReleaseCache(m_prerender); }

GUID* JStyleOverride::GetClassID(GUID* out) {
  *out = CLSID_JStyleOverride;
  return out;
}

HRESULT JStyleOverride::ResolvePrerender(DWORD id, IJStylePrerender** out) {
  *out = nullptr;
  if (!IsUsable(id)) return S_OK;
  StyleComPtr<IJStyleRender> render;
  HRESULT hr = GetStyleByID(id, IID_IJStyleRender2, render.PutVoid());
  // A parent without that table prepares no records: a plain answer, not a failure. (An override answers it
  // only once its own parent is at hand, and a cycle of parents never.) Other failures go back to the caller
  // unreported here: the library reported its own, and a cycle is reported once where the depth bound trips.
  if (hr == E_NOINTERFACE) return S_OK;
  if (FAILED(hr)) return hr;
  if (render && render->GetVariant() == 2) {
    hr = GetStyleByID(id, IID_IJStylePrerender, reinterpret_cast<void**>(out));
    if (FAILED(hr)) return Report(hr, 3206);
  }
  return S_OK;
}

void* JStyleOverride::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJStyleOverride)) return &m_IJStyleOverrideImp;
  const bool canResolve = IsUsable(m_referencedStyleID) && m_owner;
  if (IsEqualIID(iid, IID_IJStylePrerender)) {
    if (!m_prerender && canResolve) ResolvePrerender(m_referencedStyleID, &m_prerender);
    return m_prerender ? &m_IJStylePrerenderImp : nullptr;
  }
  if (IsEqualIID(iid, IID_IJStyleRender)) {
    // A parent that prepares records is reached only through the prerender interface.
    if (m_prerender) return nullptr;
    if (!m_referencedStyle && canResolve) {
      ResolvePrerender(m_referencedStyleID, &m_prerender);
      if (m_prerender) return nullptr;
    }
    return CStyleRdr2dBase::GetInterface(iid);
  }
  if (IsEqualIID(iid, IID_IJStyleRender2)) {
    // The parent's table under this IID; a cycle of cached parents ends at the depth bound.
    StyleCallDepth depth;
    if (!depth.Entered()) return nullptr;
    IUnknown* parent = m_prerender ? static_cast<IUnknown*>(m_prerender) : m_referencedStyle;
    if (!parent) return nullptr;
    void* found = nullptr;
    if (FAILED(parent->QueryInterface(iid, &found)) || !found) return nullptr;
    // The caller's QueryInterface adds its own reference.
    static_cast<IUnknown*>(found)->Release();
    return found;
  }
  return CStyleRdr2dBase::GetInterface(iid);
}

void* JStyleOverride::GetAggregateInterface(REFIID iid) {
  if (void* found = CStyleRdr2dBase::GetAggregateInterface(iid)) return found;
  const GUID* extensionClass = nullptr;
  if (IsEqualIID(iid, IID_OverrideExtension1)) extensionClass = &CLASSEXT_LineStyle;
  if (IsEqualIID(iid, IID_OverrideExtension2)) extensionClass = &CLASSEXT_OverrideExtension2;
  if (!extensionClass) return nullptr;
  void* extension = nullptr;
  if (FAILED(QueryClassExtension(extensionClass, GetControllingUnknown(), iid, &extension))) return nullptr;
  return extension;
}

// ---- the own record ----

HRESULT JStyleOverride::SetFlags(DWORD flags) {
  m_record.flags = flags;
  if (!(flags & OVR_DASH_TYPE)) SetStyleRefPtr(&m_dashTypeID, AsUnknownSlot(&m_record.dashType), nullptr);
  return S_OK;
}

HRESULT JStyleOverride::SetDashType(IUnknown* dashType) {
  // Kept as the dash type's drawing interface, whichever interface of it the caller hands in: the record's
  // field is called through.
  const HRESULT hr =
      SetStyleRefQI(&m_dashTypeID, AsUnknownSlot(&m_record.dashType), dashType, IID_IJStyleDashTypeRender);
  if (FAILED(hr)) return Report(hr, 928);
  m_record.flags |= OVR_DASH_TYPE;
  return S_OK;
}

HRESULT JStyleOverride::ResolveDashType(int line) {
  if (!(m_record.flags & OVR_DASH_TYPE) || m_record.dashType || m_dashTypeID == kNoStyleID) return S_OK;
  const HRESULT hr =
      GetStyleByID(m_dashTypeID, IID_IJStyleDashTypeRender, reinterpret_cast<void**>(&m_record.dashType));
  if (FAILED(hr)) Report(hr, line);
  return hr;
}

HRESULT JStyleOverride::GetDashType(IJStyleDashTypeRender** out) {
  if (!out) return Report(E_INVALIDARG, 958);
  *out = nullptr;
  if (!(m_record.flags & OVR_DASH_TYPE)) return S_OK;
  const HRESULT hr = ResolveDashType(967);
  if (FAILED(hr)) return hr;
  if (m_record.dashType) m_record.dashType->AddRef();
  *out = m_record.dashType;
  return S_OK;
}

HRESULT JStyleOverride::SetOtherStyle(IUnknown* style) {
  const HRESULT hr = SetStyleRefQI(&m_otherID, AsUnknownSlot(&m_other), style, IID_IJStyleRender);
  if (FAILED(hr)) Report(hr, 1009);
  return hr;
}

HRESULT JStyleOverride::GetOtherStyle(IUnknown** out) {
  if (!out) return Report(E_INVALIDARG, 1036);
  *out = nullptr;
  if (!m_other) {
    const HRESULT hr = GetStyleByID(m_otherID, IID_IJStyleRender, reinterpret_cast<void**>(&m_other));
    if (FAILED(hr)) return Report(hr, 1043);
  }
  if (!m_other) return S_OK;
  const HRESULT hr = m_other->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(out));
  if (FAILED(hr)) Report(hr, 1049);
  return hr;
}

IJStyleRender* JStyleOverride::OwnSubstitute() {
  if (!m_other && IsUsable(m_otherID)) {
    GetStyleByID(m_otherID, IID_IJStyleRender, reinterpret_cast<void**>(&m_other));
  }
  return m_other;
}

HRESULT JStyleOverride::SetData(const tagStyleOverride* data) {
  if (!data) return Report(E_INVALIDARG, 1078);
  m_record.unitsCode = data->unitsCode;
  m_record.colour = data->colour;
  m_record.width = data->width;
  m_record.secondLength = data->secondLength;
  m_record.thirdLength = data->thirdLength;
  m_record.fourthLength = data->fourthLength;
  m_record.dashGenerationFlag = data->dashGenerationFlag;
  m_record.firstValue = data->firstValue;
  m_record.secondValue = data->secondValue;
  m_record.fillColour = data->fillColour;
  HRESULT hr;
  if (data->flags & OVR_DASH_TYPE) {
    hr = SetDashType(data->dashType);
    if (FAILED(hr)) return Report(hr, 1095);
  }
  hr = SetFlags(data->flags);
  if (FAILED(hr)) Report(hr, 1099);
  return hr;
}

HRESULT JStyleOverride::GetData(tagStyleOverride* data) {
  if (!data) return Report(E_INVALIDARG, 1126);
  const HRESULT hr = ResolveDashType(1133);
  if (FAILED(hr)) return hr;
  *data = m_record;
  // The caller holds the record's dash type and releases it.
  if ((m_record.flags & OVR_DASH_TYPE) && m_record.dashType) m_record.dashType->AddRef();
  return S_OK;
}

// ---- merging into the caller's record ----

HRESULT JStyleOverride::PrepareRenderRecord(tagStyleOverride* record, const RenderContextScales*, double) {
  if (!record) return S_OK;
  const DWORD f = record->flags;
  const tagStyleOverride& own = m_record;
  if (!(f & OVR_COLOUR) || own.colour == kForcedColour) record->colour = own.colour;
  if (!(f & OVR_FILL_COLOUR)) {
    record->fillColour = own.fillColour;
    record->flags |= OVR_FILL_COLOUR_BY_OVERRIDE;
  } else if ((f & OVR_COLOUR) && record->fillColour == record->colour &&
             (own.fillColour == kFillFollowsColour || own.fillColour == kForcedColour)) {
    record->fillColour = own.fillColour;
    record->flags |= OVR_FILL_COLOUR_BY_OVERRIDE;
  }
  if (!(f & OVR_WIDTH) && (own.flags & OVR_WIDTH)) {
    record->unitsCode = own.unitsCode;
    record->width = own.width;
  }
  if (!(f & OVR_SCALE)) record->secondLength = own.secondLength;
  if (!(f & OVR_ROTATION)) record->thirdLength = own.thirdLength;
  if (!(f & OVR_DASH_FLAG)) record->dashGenerationFlag = own.dashGenerationFlag;
  if (!(f & OVR_FURTHER_LENGTH)) record->fourthLength = own.fourthLength;
  if (!(f & OVR_VALUES)) {
    record->firstValue = own.firstValue;
    record->secondValue = own.secondValue;
  }
  if (!(f & OVR_DASH_TYPE)) {
    // A dash type that cannot be had leaves the record merged so far, without the override's flags.
    if (FAILED(ResolveDashType(2618))) return S_OK;
    record->dashType = m_record.dashType;
  }
  record->flags |= own.flags;
  return S_OK;
}

// ---- drawing and extents ----

HRESULT JStyleOverride::DrawParent(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                   const RenderContextScales* context, IJStyleRender* substitute,
                                   tagStyleOverride* record, const StyleElementRecord* element) {
  StyleComPtr<IJStyleRender> parent(GetReferencedStyle());
  if (!parent) return S_OK;
  // A parent that prepares records has no drawing operations of its own to call.
  StyleComPtr<IJStyleRender> render;
  if (FAILED(parent->QueryInterface(IID_IJStyleRender, render.PutVoid()))) return S_OK;
  return render->RenderWithContext(geometry, target, context, substitute, record, element);
}

HRESULT JStyleOverride::Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                               const RenderContextScales* context, IJStyleRender* substitute,
                               tagStyleOverride* record, BOOL, const StyleElementRecord* element) {
  IJStyleRender* own = OwnSubstitute();
  const HRESULT hr = DrawParent(geometry, target, context, own ? own : substitute, record, element);
  if (FAILED(hr)) Report(hr, 2388);
  return hr;
}

HRESULT JStyleOverride::RenderDefault(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                      const RenderContextScales* context, const StyleElementRecord* element) {
  HRESULT hr = ResolveDashType(2424);
  if (FAILED(hr)) return hr;
  if (m_record.flags & OVR_FILL_COLOUR) m_record.flags |= OVR_FILL_COLOUR_BY_OVERRIDE;
  hr = DrawParent(geometry, target, context, OwnSubstitute(), &m_record, element);
  if (FAILED(hr)) Report(hr, 2433);
  return hr;
}

HRESULT JStyleOverride::GetRange(StyleExtent* extent, const RenderContextScales* context, IJStyleRender* substitute,
                                 tagStyleOverride* record, BOOL) {
  if (!extent) return E_INVALIDARG;
  StyleExtent own{};
  if (SUCCEEDED(GetExtentRecord(&own, context, record))) {
    if (own.value > extent->value) extent->value = own.value;
    if (!(extent->first >= own.first)) extent->first = own.first;
    if (!(extent->second >= own.second)) extent->second = own.second;
  }
  StyleComPtr<IJStyleRender> parent(GetReferencedStyle());
  StyleComPtr<IJStyleRender> render;
  if (!parent || FAILED(parent->QueryInterface(IID_IJStyleRender, render.PutVoid()))) return S_OK;
  const HRESULT hr = render->GetRangeWithContext(extent, context, substitute, record);
  if (FAILED(hr)) Report(hr, 1770);
  return hr;
}

HRESULT JStyleOverride::GetExtentDelta(StyleExtent* extent) {
  if (!extent) return S_OK;
  if (m_referencedStyle) {
    const HRESULT hr = m_referencedStyle->GetExtentDelta(extent);
    if (FAILED(hr)) return Report(hr, 2464);
  }
  if (!(m_record.flags & OVR_WIDTH)) return S_OK;
  const double width = m_record.width;
  switch (m_record.unitsCode) {
    case STYLE_UNITS_11:
      extent->first = width * 0.5;
      break;
    case STYLE_UNITS_12:
      extent->second = width * 0.5;
      break;
    case STYLE_UNITS_13:
      extent->value = TruncateExtent(width * 0.5 + 1.0);
      break;
    default:
      extent->first = width;
      extent->second = width;
      extent->value = TruncateExtent(width + 1.0);
      break;
  }
  return S_OK;
}

HRESULT JStyleOverride::ApplyToGraphic(tagStyleOverride* record) {
  if (!record) return E_INVALIDARG;
  const HRESULT hr = CStyleRdr2dBase::ApplyToGraphic(record);
  if (FAILED(hr)) return Report(hr, 2988);
  // The record's holder releases the dash type it was handed.
  if ((m_record.flags & OVR_DASH_TYPE) && m_record.dashType && (record->flags & OVR_DASH_TYPE) && record->dashType) {
    record->dashType->AddRef();
  }
  return hr;
}

// ---- kind, category and the parent ----

DWORD JStyleOverride::GetStyleKind() {
  StyleCallDepth depth;
  if (!depth.Entered()) return m_styleKind;
  StyleComPtr<IJStyleRender> parent(GetReferencedStyle());
  StyleComPtr<IJStyleRender> render;
  if (!parent || FAILED(parent->QueryInterface(IID_IJStyleRender, render.PutVoid()))) return m_styleKind;
  DWORD kind = m_styleKind;
  const HRESULT hr = render->GetStyleKind(&kind);
  if (FAILED(hr)) {
    Report(hr, 2961);
    return m_styleKind;
  }
  return kind;
}

GUID* JStyleOverride::GetStyleCategory(GUID* out) {
  *out = STYLETYPE_Linear;
  StyleCallDepth depth;
  if (!depth.Entered() || !m_referencedStyle) return out;
  StyleComPtr<IJManageStyle2> manage;
  HRESULT hr = m_referencedStyle->QueryInterface(IID_IJManageStyle2, manage.PutVoid());
  if (FAILED(hr)) {
    Report(hr, 2338);
    return out;
  }
  GUID category = STYLETYPE_Linear;
  hr = manage->GetStyleCategory(&category);
  if (FAILED(hr)) {
    Report(hr, 2341);
    return out;
  }
  *out = category;
  return out;
}

HRESULT JStyleOverride::SetReferencedStyle(IUnknown* style) {
  if (!style) {
    const HRESULT hr = CStyleRdr2dBase::SetReferencedStyle(nullptr);
    if (FAILED(hr)) Report(hr, 3070);
    return hr;
  }
  // The style's render table tells which kind it is by its first operation. A style without a render table
  // is refused, and the override stays as it was.
  StyleComPtr<IJStyleRender> render;
  HRESULT asked = E_NOINTERFACE;
  for (const IID* iid : {&IID_IJStyleRender2, &IID_IJStyleRender, &IID_IJStylePrerender}) {
    if (SUCCEEDED(asked = style->QueryInterface(*iid, render.PutVoid()))) break;
  }
  if (FAILED(asked)) return Report(asked, 3029);
  if (render->GetVariant() == 2) {
    if (m_prerender) return S_OK;
    const HRESULT hr =
        SetStyleRefQI(&m_referencedStyleID, AsUnknownSlot(&m_prerender), style, IID_IJStylePrerender);
    if (FAILED(hr)) return Report(hr, 3065);
    // A parent cached before would otherwise still be drawn in place of the new one.
    DropReferencedStyle();
    return hr;
  }
  const HRESULT hr = CStyleRdr2dBase::SetReferencedStyle(style);
  if (FAILED(hr)) Report(hr, 3070);
  return hr;
}

IJStyleRender* JStyleOverride::GetReferencedStyle() {
  if (!m_referencedStyle) {
    if (!m_prerender && IsUsable(m_referencedStyleID)) ResolvePrerender(m_referencedStyleID, &m_prerender);
    if (m_prerender) {
      m_prerender->AddRef();
      // Both tables begin with the variant; callers ask it before they use the rest.
      return reinterpret_cast<IJStyleRender*>(m_prerender);
    }
  }
  return CStyleRdr2dBase::GetReferencedStyle();
}

HRESULT JStyleOverride::SetReferencedStyleID(DWORD id) {
  if (id == m_referencedStyleID) return S_OK;
  const HRESULT hr = SetStyleRefID(&m_referencedStyleID, id);
  // A refused ID leaves the parent as it was, both caches included.
  if (FAILED(hr)) return hr;
  DropReferencedStyle();
  DropPrerender();
  return hr;
}

HRESULT JStyleOverride::GetReferencedStyleID(DWORD* out) {
  if (!out) return E_INVALIDARG;
  if (m_referencedStyleID == kInvalidStyleID) {
    m_referencedStyleID = GetStyleID(m_prerender ? static_cast<IUnknown*>(m_prerender) : m_referencedStyle);
  }
  *out = m_referencedStyleID;
  return S_OK;
}

// ---- references ----

BOOL JStyleOverride::UsesStyleID(DWORD id) {
  if (id != kNoStyleID && (id == m_dashTypeID || id == m_otherID)) return TRUE;
  for (DWORD ref : {m_dashTypeID, m_otherID}) {
    if (!IsUsable(ref)) continue;
    StyleComPtr<IJStyleUser> user;
    if (SUCCEEDED(GetStyleByID(ref, IID_IJStyleUser, user.PutVoid())) && user) {
      if (const BOOL uses = user->UsesStyleID(id)) return uses;
    }
  }
  return CStyleRdr2dBase::UsesStyleID(id);
}

HRESULT JStyleOverride::ReleaseStyleRefs(DWORD value) {
  SetStyleRefID(&m_dashTypeID, kNoStyleID);
  SetStyleRefID(&m_otherID, kNoStyleID);
  return CStyleRdr2dBase::ReleaseStyleRefs(value);
}

HRESULT JStyleOverride::EnumStyleRefs(StyleRefCallback callback) {
  if (!callback) return E_INVALIDARG;
  HRESULT hr = callback(m_dashTypeID);
  if (FAILED(hr)) return Report(hr, 2302);
  hr = callback(m_otherID);
  if (FAILED(hr)) return Report(hr, 2304);
  hr = CStyleRdr2dBase::EnumStyleRefs(callback);
  if (FAILED(hr)) Report(hr, 2307);
  return hr;
}

HRESULT JStyleOverride::OnStyleChanged(DWORD id, DWORD newStyle) {
  const HRESULT hr = CStyleRdr2dBase::OnStyleChanged(id, newStyle);
  if (FAILED(hr)) Report(hr, 2823);
  auto* style = reinterpret_cast<IUnknown*>(static_cast<UINT_PTR>(newStyle));
  if (id != kNoStyleID && id == m_referencedStyleID && m_prerender) {
    DropPrerender();
    ResolvePrerender(m_referencedStyleID, &m_prerender);
    return S_OK;
  }
  if (id != kNoStyleID && id == m_otherID) {
    DropOtherStyle();
    if (style) {
      const HRESULT found = style->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&m_other));
      if (FAILED(found)) return Report(found, 2836);
    }
    return S_OK;
  }
  if (id != kNoStyleID && id == m_dashTypeID && (m_record.flags & OVR_DASH_TYPE)) {
    DropDashType();
    if (style) {
      const HRESULT found =
          style->QueryInterface(IID_IJStyleDashTypeRender, reinterpret_cast<void**>(&m_record.dashType));
      if (FAILED(found)) return Report(found, 2847);
    }
    return S_OK;
  }
  return hr;
}

HRESULT JStyleOverride::SetOwner(IUnknown* owner) {
  HRESULT hr;
  if (!m_owner && !m_other && !m_record.dashType && !m_prerender) {
    hr = CStyleRdr2dBase::SetOwner(owner);
    if (FAILED(hr)) return Report(hr, 2196);
    if (IsUsable(m_referencedStyleID) && !m_referencedStyle && !m_prerender) {
      hr = ResolvePrerender(m_referencedStyleID, &m_prerender);
      if (FAILED(hr)) return Report(hr, 2202);
      // Nothing prepares records: the parent is fetched once into the render base's cache.
      if (!m_prerender) {
        StyleComPtr<IJStyleRender> filled(CStyleRdr2dBase::GetReferencedStyle());
      }
    }
    return S_OK;
  }
  // The referenced styles are taken as objects, so that their uses can move from the old library to the new.
  StyleComPtr<IJStyleDashTypeRender> dash;
  hr = GetDashType(dash.Put());
  if (FAILED(hr)) return Report(hr, 2214);
  StyleComPtr<IUnknown> other;
  hr = GetOtherStyle(other.Put());
  if (FAILED(hr)) return Report(hr, 2218);
  DropDashType();
  DropOtherStyle();
  StyleComPtr<IJStylePrerender> prerender(m_prerender);
  m_prerender = nullptr;
  if (m_owner) {
    if (FAILED(hr = SetStyleRefID(&m_dashTypeID, kNoStyleID))) Report(hr, 2227);
    if (FAILED(hr = SetStyleRefID(&m_otherID, kNoStyleID))) Report(hr, 2230);
    if (prerender && FAILED(hr = SetStyleRefID(&m_referencedStyleID, kNoStyleID))) Report(hr, 2235);
  }
  hr = CStyleRdr2dBase::SetOwner(owner);
  if (FAILED(hr)) return Report(hr, 2240);
  if (FAILED(hr = SetStyleRefPtr(&m_dashTypeID, AsUnknownSlot(&m_record.dashType), dash.Get()))) Report(hr, 2244);
  if (other) {
    if (FAILED(hr = SetStyleRefQI(&m_otherID, AsUnknownSlot(&m_other), other.Get(), IID_IJStyleRender))) {
      Report(hr, 2248);
    }
  }
  if (prerender) {
    if (FAILED(hr = SetStyleRefPtr(&m_referencedStyleID, AsUnknownSlot(&m_prerender), prerender.Get()))) {
      Report(hr, 2254);
    }
  }
  return hr;
}

HRESULT JStyleOverride::CopyToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                                      IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  HRESULT hr;
  const bool withDash = (m_record.flags & OVR_DASH_TYPE) && m_dashTypeID != kNoStyleID;
  DWORD newDashID = kNoStyleID;
  if (withDash) {
    hr = CopyReferenceToLibrary(this, m_dashTypeID, m_record.dashType, source, target, targetDocument, &newDashID,
                                kSource, 2683, 2689, 2693, 2699);
    if (FAILED(hr)) return hr;
  }
  DWORD newOtherID = kNoStyleID;
  if (m_otherID != kNoStyleID) {
    hr = CopyReferenceToLibrary(this, m_otherID, m_other, source, target, targetDocument, &newOtherID, kSource,
                                2727, 2733, 2737, 2743);
    if (FAILED(hr)) return hr;
  }
  StyleComPtr<IUnknown> clone;
  hr = CStyleRdr2dBase::CopyToLibrary(source, target, targetDocument, clone.Put());
  if (FAILED(hr)) return Report(hr, 2751);
  if (m_prerender) DropReferencedStyle();
  if ((m_record.flags & OVR_DASH_TYPE) || m_otherID != kNoStyleID) {
    StyleComPtr<IJStyleOverride> copy;
    hr = clone->QueryInterface(IID_IJStyleOverride, copy.PutVoid());
    if (FAILED(hr)) return Report(hr, 2765);
    if ((m_record.flags & OVR_DASH_TYPE) && IsUsable(newDashID)) {
      StyleComPtr<IUnknown> object;
      hr = target ? target->GetStyle(newDashID, object.Put()) : E_INVALIDARG;
      if (FAILED(hr)) return Report(hr, 2777);
      StyleComPtr<IJStyleDashTypeRender> dash;
      hr = object ? object->QueryInterface(IID_IJStyleDashTypeRender, dash.PutVoid()) : E_FAIL;
      if (FAILED(hr)) return Report(hr, 2779);
      hr = copy->SetDashType(dash.Get());
      if (FAILED(hr)) return Report(hr, 2782);
    }
    if (m_otherID != kNoStyleID) {
      StyleComPtr<IUnknown> object;
      hr = target ? target->GetStyle(newOtherID, object.Put()) : E_INVALIDARG;
      if (FAILED(hr)) return Report(hr, 2794);
      copy->SetOtherStyle(object.Get());
    }
  }
  *out = clone.Detach();
  return S_OK;
}

// ---- copying and comparing ----

HRESULT JStyleOverride::Clone(IUnknown* outer, IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  auto* copy = new JStyleOverride(outer);
  if (!copy) return Report(E_OUTOFMEMORY, 1940);
  copy->AddRef();
  copy->m_styleKind = m_styleKind;
  copy->m_record = m_record;
  // The clone refers to nothing yet: CopyToLibrary gives it its dash type, substitute style and parent.
  copy->m_record.dashType = nullptr;
  *out = static_cast<UUnknown*>(copy);
  return S_OK;
}

HRESULT JStyleOverride::CopyFrom(IUnknown* source, DWORD flags) {
  HRESULT hr = CStyleRdr2dBase::CopyFrom(source, flags);
  if (FAILED(hr)) return Report(hr, 1976);
  StyleComPtr<IJStyleOverride> other;
  if (FAILED(source->QueryInterface(IID_IJStyleOverride, other.PutVoid()))) return S_OK;
  tagStyleOverride data{};
  hr = other->GetData(&data);
  if (FAILED(hr)) return Report(hr, 1983);
  hr = SetData(&data);
  if (FAILED(hr)) Report(hr, 1988);
  if ((data.flags & OVR_DASH_TYPE) && data.dashType) data.dashType->Release();
  return hr;
}

HRESULT JStyleOverride::IsEqual(IUnknown* other, BOOL* same) {
  if (!other || !same) return E_INVALIDARG;
  *same = FALSE;
  StyleComPtr<IJStyleOverride> theirs;
  if (FAILED(other->QueryInterface(IID_IJStyleOverride, theirs.PutVoid()))) return S_OK;
  tagStyleOverride data{};
  if (FAILED(theirs->GetData(&data))) return S_OK;
  // GetData handed a reference to the dash type; it is compared through GetDashType below.
  if ((data.flags & OVR_DASH_TYPE) && data.dashType) data.dashType->Release();
  const tagStyleOverride& own = m_record;
  const DWORD f = own.flags;
  if (f != data.flags) return S_OK;
  if ((f & OVR_COLOUR) && own.colour != data.colour) return S_OK;
  if ((f & OVR_WIDTH) && (own.width != data.width || own.unitsCode != data.unitsCode)) return S_OK;
  if ((f & OVR_SCALE) && own.secondLength != data.secondLength) return S_OK;
  if ((f & OVR_ROTATION) && own.thirdLength != data.thirdLength) return S_OK;
  if ((f & OVR_FURTHER_LENGTH) && own.fourthLength != data.fourthLength) return S_OK;
  if ((f & OVR_DASH_FLAG) && own.dashGenerationFlag != data.dashGenerationFlag) return S_OK;
  if ((f & OVR_VALUES) && (own.firstValue != data.firstValue || own.secondValue != data.secondValue)) return S_OK;
  if ((f & OVR_FILL_COLOUR) && own.fillColour != data.fillColour) return S_OK;
  HRESULT hr;
  BOOL equal = FALSE;
  if (f & OVR_DASH_TYPE) {
    StyleComPtr<IJStyleDashTypeRender> mine;
    if (FAILED(hr = GetDashType(mine.Put()))) return Report(hr, 2090);
    StyleComPtr<IJStyleDashTypeRender> their;
    if (FAILED(hr = theirs->GetDashType(their.Put()))) return Report(hr, 2093);
    hr = SameReferencedStyle(mine.Get(), their.Get(), &equal, kSource, 2104);
    if (FAILED(hr) || !equal) return hr;
  }
  StyleComPtr<IUnknown> mineOther;
  if (FAILED(hr = GetOtherStyle(mineOther.Put()))) return Report(hr, 2126);
  StyleComPtr<IUnknown> theirOther;
  if (FAILED(hr = theirs->GetOtherStyle(theirOther.Put()))) return Report(hr, 2129);
  hr = SameReferencedStyle(mineOther.Get(), theirOther.Get(), &equal, kSource, 2140);
  if (FAILED(hr) || !equal) return hr;
  hr = CStyleRdr2dBase::IsEqual(other, same);
  if (FAILED(hr)) Report(hr, 2154);
  return hr;
}

// ---- persistence ----

HRESULT JStyleOverride::Serialize(JArchive* archive) {
  if (!IsVersioned(archive)) return SerializeCurrent(archive);
  WORD version = 0;
  DWORD scratch = 0;
  HRESULT hr = ArchiveSerializeClassHeader(archive, &CLSID_JStyleOverride, &version, &scratch);
  if (FAILED(hr)) return Report(hr, 1769);
  if (version == 2) {
    if (FAILED(hr = SerializeClass(archive))) return Report(hr, 1777);
    return SerializeVersion2Record(archive);
  }
  if (version == kCurrentVersion) {
    if (FAILED(hr = SerializeCurrent(archive))) return Report(hr, 1813);
  }
  return S_OK;
}

void JStyleOverride::SettleLoadedReferences(DWORD dashID, DWORD otherID) {
  // A load moves no use counts; a cache of another ID goes, and without its flag the dash object goes too.
  if (dashID != m_dashTypeID || !(m_record.flags & OVR_DASH_TYPE)) DropDashType();
  if (otherID != m_otherID) DropOtherStyle();
  m_dashTypeID = dashID;
  m_otherID = otherID;
}

HRESULT JStyleOverride::SerializeVersion2Record(JArchive* archive) {
  const bool loading = IsLoading(archive);
  tagStyleOverride r = m_record;
  HRESULT hr;
  if (FAILED(hr = Exchange(archive, r.recordCode))) return Report(hr, 1780);
  if (FAILED(hr = Exchange(archive, r.unitsCode))) return Report(hr, 1781);
  if (FAILED(hr = Exchange(archive, r.flags))) return Report(hr, 1782);
  if (FAILED(hr = Exchange(archive, r.colour))) return Report(hr, 1783);
  if (FAILED(hr = Exchange(archive, r.width))) return Report(hr, 1784);
  if (FAILED(hr = Exchange(archive, r.secondLength))) return Report(hr, 1785);
  if (FAILED(hr = Exchange(archive, r.thirdLength))) return Report(hr, 1786);
  if (FAILED(hr = Exchange(archive, r.dashGenerationFlag))) return Report(hr, 1787);
  if (FAILED(hr = Exchange(archive, r.fourthLength))) return Report(hr, 1788);
  if (FAILED(hr = Exchange(archive, r.firstValue))) return Report(hr, 1789);
  if (FAILED(hr = Exchange(archive, r.secondValue))) return Report(hr, 1790);
  if (FAILED(hr = Exchange(archive, r.fillColour))) return Report(hr, 1791);
  if (DropsCachedReferences(archive)) {
    DropDashType();
    DropOtherStyle();
  }
  DWORD dashID = m_dashTypeID;
  DWORD otherID = m_otherID;
  if (FAILED(hr = Exchange(archive, dashID))) return Report(hr, 1807);
  if (FAILED(hr = Exchange(archive, otherID))) return Report(hr, 1809);
  if (loading) {
    r.dashType = m_record.dashType;
    m_record = r;
    SettleLoadedReferences(dashID, otherID);
  }
  return S_OK;
}

HRESULT JStyleOverride::SerializeCurrent(JArchive* archive) {
  const bool loading = IsLoading(archive);
  if (DropsCachedReferences(archive)) DropPrerender();
  // The base record carries the record's units code; the style's own code is not stored.
  const DWORD ownUnits = m_unitsCode;
  m_unitsCode = m_record.unitsCode;
  StyleBaseRecord base{};
  HRESULT hr = SerializeBase(archive, &base);
  m_unitsCode = ownUnits;
  if (FAILED(hr)) return Report(hr, 1695);
  tagStyleOverride r = m_record;
  if (loading) {
    const WORD units = base.flags & kStyleBaseUnitsMask;
    r.unitsCode = units ? units + 10u : DWORD{STYLE_UNITS_NONE};
  }
  if (FAILED(hr = Exchange(archive, r.recordCode))) return Report(hr, 1701);
  if (FAILED(hr = Exchange(archive, r.flags))) return Report(hr, 1703);
  if (FAILED(hr = Exchange(archive, r.colour))) return Report(hr, 1706);
  if (FAILED(hr = Exchange(archive, r.fillColour))) return Report(hr, 1708);
  if (FAILED(hr = Exchange(archive, r.width))) return Report(hr, 1711);
  if (FAILED(hr = Exchange(archive, r.secondLength))) return Report(hr, 1713);
  if (FAILED(hr = Exchange(archive, r.thirdLength))) return Report(hr, 1715);
  if (FAILED(hr = Exchange(archive, r.fourthLength))) return Report(hr, 1717);
  if (FAILED(hr = Exchange(archive, r.dashGenerationFlag))) return Report(hr, 1719);
  if (DropsCachedReferences(archive)) {
    DropDashType();
    DropOtherStyle();
  }
  DWORD dashID = m_dashTypeID;
  DWORD otherID = m_otherID;
  if (FAILED(hr = Exchange(archive, dashID))) return Report(hr, 1732);
  if (FAILED(hr = Exchange(archive, otherID))) return Report(hr, 1734);
  if (FAILED(hr = Exchange(archive, r.firstValue))) return Report(hr, 1737);
  if (FAILED(hr = Exchange(archive, r.secondValue))) return Report(hr, 1739);
  if (loading) {
    r.dashType = m_record.dashType;
    m_record = r;
    SettleLoadedReferences(dashID, otherID);
  }
  return S_OK;
}

// ---- IJStyleOverride ----

#define OVERRIDE_GETTER(Name, Type, field, line)                                              \
  HRESULT STDMETHODCALLTYPE JStyleOverride::IJStyleOverrideImp::Name(Type* out) {            \
    if (!out) return Report(E_INVALIDARG, line);                                              \
    *out = Object()->m_record.field;                                                          \
    return S_OK;                                                                              \
  }
#define OVERRIDE_SETTER(Name, Type, field, flag)                                              \
  HRESULT STDMETHODCALLTYPE JStyleOverride::IJStyleOverrideImp::Name(Type value) {           \
    Object()->m_record.field = value;                                                         \
    Object()->m_record.flags |= (flag);                                                       \
    return S_OK;                                                                              \
  }

HRESULT STDMETHODCALLTYPE JStyleOverride::IJStyleOverrideImp::SetKind(DWORD kind) {
  Object()->m_styleKind = kind;
  return S_OK;
}

OVERRIDE_SETTER(SetUnits, DWORD, unitsCode, 0)
OVERRIDE_GETTER(GetUnits, DWORD, unitsCode, 434)
OVERRIDE_GETTER(GetFlags, DWORD, flags, 495)

HRESULT STDMETHODCALLTYPE JStyleOverride::IJStyleOverrideImp::SetFlags(DWORD flags) {
  return Object()->SetFlags(flags);
}

OVERRIDE_SETTER(SetColor, DWORD, colour, OVR_COLOUR)
OVERRIDE_GETTER(GetColor, DWORD, colour, 328)
OVERRIDE_SETTER(SetWidth, double, width, OVR_WIDTH)
OVERRIDE_GETTER(GetWidth, double, width, 381)
OVERRIDE_SETTER(SetSecondLength, double, secondLength, OVR_SCALE)
OVERRIDE_GETTER(GetSecondLength, double, secondLength, 554)
OVERRIDE_SETTER(SetThirdLength, double, thirdLength, OVR_ROTATION)
OVERRIDE_GETTER(GetThirdLength, double, thirdLength, 612)
OVERRIDE_SETTER(SetFitRequest, DWORD, dashGenerationFlag, OVR_DASH_FLAG)
OVERRIDE_GETTER(GetFitRequest, DWORD, dashGenerationFlag, 671)
OVERRIDE_SETTER(SetFourthLength, double, fourthLength, OVR_FURTHER_LENGTH)
OVERRIDE_GETTER(GetFourthLength, double, fourthLength, 729)
OVERRIDE_SETTER(SetFirstValue, WORD, firstValue, OVR_VALUES)
OVERRIDE_GETTER(GetFirstValue, WORD, firstValue, 786)
OVERRIDE_SETTER(SetSecondValue, WORD, secondValue, 0)
OVERRIDE_GETTER(GetSecondValue, WORD, secondValue, 843)
OVERRIDE_SETTER(SetFillColor, DWORD, fillColour, OVR_FILL_COLOUR)
OVERRIDE_GETTER(GetFillColor, DWORD, fillColour, 897)

#undef OVERRIDE_GETTER
#undef OVERRIDE_SETTER

HRESULT STDMETHODCALLTYPE JStyleOverride::IJStyleOverrideImp::SetDashType(IUnknown* dashType) {
  return Object()->SetDashType(dashType);
}

HRESULT STDMETHODCALLTYPE JStyleOverride::IJStyleOverrideImp::GetDashType(IJStyleDashTypeRender** out) {
  return Object()->GetDashType(out);
}

HRESULT STDMETHODCALLTYPE JStyleOverride::IJStyleOverrideImp::SetOtherStyle(IUnknown* style) {
  return Object()->SetOtherStyle(style);
}

HRESULT STDMETHODCALLTYPE JStyleOverride::IJStyleOverrideImp::GetOtherStyle(IUnknown** out) {
  return Object()->GetOtherStyle(out);
}

HRESULT STDMETHODCALLTYPE JStyleOverride::IJStyleOverrideImp::SetData(const tagStyleOverride* data) {
  return Object()->SetData(data);
}

HRESULT STDMETHODCALLTYPE JStyleOverride::IJStyleOverrideImp::GetData(tagStyleOverride* data) {
  return Object()->GetData(data);
}

HRESULT STDMETHODCALLTYPE JStyleOverride::IJStyleOverrideImp::SetDashTypeID(DWORD id) {
  JStyleOverride* self = Object();
  if (id != self->m_dashTypeID) {
    // A refused ID changes nothing: neither the reference and its cache nor what the override forces.
    const HRESULT hr = self->SetStyleRefID(&self->m_dashTypeID, id);
    if (FAILED(hr)) return hr;
    self->DropDashType();
  }
  self->m_record.flags |= OVR_DASH_TYPE;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleOverride::IJStyleOverrideImp::GetDashTypeID(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 1200);
  JStyleOverride* self = Object();
  if (!(self->m_record.flags & OVR_DASH_TYPE)) {
    *out = kNoStyleID;
    return S_OK;
  }
  if (self->m_dashTypeID == kInvalidStyleID) self->m_dashTypeID = self->GetStyleID(self->m_record.dashType);
  *out = self->m_dashTypeID;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleOverride::IJStyleOverrideImp::SetOtherStyleID(DWORD id) {
  JStyleOverride* self = Object();
  if (id == self->m_otherID) return S_OK;
  const HRESULT hr = self->SetStyleRefID(&self->m_otherID, id);
  if (SUCCEEDED(hr)) self->DropOtherStyle();
  return hr;
}

HRESULT STDMETHODCALLTYPE JStyleOverride::IJStyleOverrideImp::GetOtherStyleID(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 1271);
  JStyleOverride* self = Object();
  if (self->m_otherID == kInvalidStyleID) self->m_otherID = self->GetStyleID(self->m_other);
  *out = self->m_otherID;
  return S_OK;
}

// ---- IJStylePrerender ----

DWORD STDMETHODCALLTYPE JStyleOverride::IJStylePrerenderImp::GetVariant() { return 2; }

HRESULT STDMETHODCALLTYPE JStyleOverride::IJStylePrerenderImp::Prepare(UINT_PTR a1, UINT_PTR a2, UINT_PTR a3,
                                                                        UINT_PTR a4) {
  JStyleOverride* self = Object();
  // The parent changed since the caller took this interface: look for its prerender interface again.
  if (!self->m_prerender) self->ResolvePrerender(self->m_referencedStyleID, &self->m_prerender);
  if (!self->m_prerender) return Report(E_FAIL, 1344);
  StyleCallDepth depth;
  if (!depth.Entered()) return S_OK;
  const HRESULT hr = self->m_prerender->Prepare(a1, a2, a3, a4);
  if (FAILED(hr)) Report(hr, 1344);
  return depth.Answer(hr);
}

HRESULT STDMETHODCALLTYPE JStyleOverride::IJStylePrerenderImp::PrepareRecord(UINT_PTR a1, UINT_PTR a2, UINT_PTR a3,
                                                                              StylePrerenderBlock* block,
                                                                              UINT_PTR a5, UINT_PTR a6) {
  JStyleOverride* self = Object();
  if (!self->m_prerender) self->ResolvePrerender(self->m_referencedStyleID, &self->m_prerender);
  if (!self->m_prerender) return Report(E_FAIL, 1392);
  StyleCallDepth depth;
  if (!depth.Entered()) return S_OK;
  StylePrerenderBlock next{};
  if (block) {
    next.record = block->record;
    const HRESULT hr = self->PrepareRenderRecord(&next.record, nullptr, 1.0);
    if (FAILED(hr)) return Report(hr, 1384);
  } else {
    next.record = self->m_record;
  }
  const HRESULT hr = self->m_prerender->PrepareRecord(a1, a2, a3, &next, a5, a6);
  if (FAILED(hr)) Report(hr, 1392);
  return depth.Answer(hr);
}

#include "display/style/stylbas/CStyleRdr2dBase.h"

#include "display/style/server.h"
#include "display/style/stylbas/StyleCallDepth.h"
#include "host/pellow/pellow.h"

namespace {

constexpr char kSource[] = "ustylr2d";

HRESULT Report(HRESULT hr, int line) {
  HRerr(hr, 0, kSource, line);
  return hr;
}

IUnknown** AsUnknownSlot(IJStyleRender** slot) { return reinterpret_cast<IUnknown**>(slot); }

}  // namespace

CStyleRdr2dBase::CStyleRdr2dBase() : JStyleBase() {}

CStyleRdr2dBase::CStyleRdr2dBase(IUnknown* outer) : JStyleBase(outer) {}

CStyleRdr2dBase::CStyleRdr2dBase(IUnknown* outer, Counted) : JStyleBase(outer), m_counted(true) {
  IncrementLiveObjectCount();
}

CStyleRdr2dBase::~CStyleRdr2dBase() {
  DropReferencedStyle();
  if (m_counted) DecrementLiveObjectCount();
}

void* CStyleRdr2dBase::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJStyleRender) || IsEqualIID(iid, IID_IJStyleRender2)) return &m_IJStyleRenderImp;
  if (IsEqualIID(iid, IID_IJStyleSetup2d)) return &m_IJStyleSetup2dImp;
  return JStyleBase::GetInterface(iid);
}

void CStyleRdr2dBase::DropReferencedStyle() {
  if (m_referencedStyle) {
    IJStyleRender* cached = m_referencedStyle;
    m_referencedStyle = nullptr;
    cached->Release();
  }
  m_changeWord = 0;
}

HRESULT CStyleRdr2dBase::SubstituteActs(IJStyleRender* substitute, int line, bool* acts) {
  *acts = false;
  if (!substitute) return S_OK;
  DWORD kind = 0;
  const HRESULT hr = substitute->GetStyleKind(&kind);
  if (FAILED(hr)) return Report(hr, line);
  *acts = kind == GetStyleKind();
  return S_OK;
}

// ---- JStyleBase operations ----

BOOL CStyleRdr2dBase::UsesStyleID(DWORD id) {
  if (m_referencedStyleID == kNoStyleID || m_referencedStyleID == kInvalidStyleID) {
    m_referencedStyleID = GetStyleID(m_referencedStyle);
  }
  if (id == m_referencedStyleID) return TRUE;
  StyleComPtr<IJStyleRender> referenced(GetReferencedStyle());
  if (!referenced) return FALSE;
  StyleComPtr<IJStyleUser> user;
  if (FAILED(referenced->QueryInterface(IID_IJStyleUser, user.PutVoid()))) return FALSE;
  return user->UsesStyleID(id);
}

HRESULT CStyleRdr2dBase::Serialize(JArchive* archive) { return SerializeClass(archive); }

HRESULT CStyleRdr2dBase::Clone(IUnknown* outer, IUnknown** out) { return JStyleBase::Clone(outer, out); }

HRESULT CStyleRdr2dBase::InitNew() { return S_OK; }

HRESULT CStyleRdr2dBase::CopyFrom(IUnknown* source, DWORD) {
  if (!source) return Report(E_INVALIDARG, 889);
  StyleComPtr<IJStyleRender> render;
  if (FAILED(source->QueryInterface(IID_IJStyleRender, render.PutVoid()))) return S_OK;
  StyleComPtr<IJStyleRender> referenced;
  HRESULT hr = render->GetReferencedStyle(referenced.Put());
  if (FAILED(hr)) return Report(hr, 898);
  if (referenced) {
    hr = SetReferencedStyle(referenced.Get());
    if (FAILED(hr)) return Report(hr, 903);
  }
  DWORD kind = 0;
  hr = render->GetStyleKind(&kind);
  if (FAILED(hr)) return Report(hr, 908);
  m_styleKind = kind;
  return S_OK;
}

HRESULT CStyleRdr2dBase::IsEqual(IUnknown* other, BOOL* same) {
  if (!other || !same) return E_INVALIDARG;
  *same = FALSE;
  StyleComPtr<IJStyleRender> otherRender;
  if (FAILED(other->QueryInterface(IID_IJStyleRender, otherRender.PutVoid()))) return S_OK;
  DWORD otherKind = 0;
  if (FAILED(otherRender->GetStyleKind(&otherKind)) || otherKind != GetStyleKind()) return S_OK;

  StyleComPtr<IJStyleRender> mine;
  HRESULT hr = m_IJStyleRenderImp.GetReferencedStyle(mine.Put());
  if (FAILED(hr)) return Report(hr, 949);
  StyleComPtr<IJStyleRender> theirs;
  hr = otherRender->GetReferencedStyle(theirs.Put());
  if (FAILED(hr)) return Report(hr, 952);
  if (mine.Get() != theirs.Get()) {
    if (!mine || !theirs) return S_OK;
    StyleComPtr<IJManageStyle2> manage;
    if (FAILED(mine->QueryInterface(IID_IJManageStyle2, manage.PutVoid()))) return S_OK;
    BOOL referencedSame = FALSE;
    hr = manage->IsSameStyle(theirs.Get(), &referencedSame);
    if (FAILED(hr)) return Report(hr, 963);
    if (!referencedSame) return S_OK;
  }
  hr = JStyleBase::IsEqual(other, same);
  if (FAILED(hr)) Report(hr, 977);
  return hr;
}

BOOL CStyleRdr2dBase::AlwaysTrueHook() { return TRUE; }

HRESULT CStyleRdr2dBase::SetOwner(IUnknown* owner) {
  HRESULT hr;
  if (!m_owner && !m_referencedStyle) {
    hr = JStyleBase::SetOwner(owner);
    if (FAILED(hr)) Report(hr, 1024);
    return hr;
  }
  // The referenced style is taken as an object, so that its use can move from the old library to the new.
  StyleComPtr<IJStyleRender> taken(GetReferencedStyle());
  DropReferencedStyle();
  if (m_owner) {
    hr = SetStyleRefID(&m_referencedStyleID, kNoStyleID);
    if (FAILED(hr)) return Report(hr, 1035);
  }
  hr = JStyleBase::SetOwner(owner);
  if (FAILED(hr)) return Report(hr, 1039);
  hr = SetStyleRefPtr(&m_referencedStyleID, AsUnknownSlot(&m_referencedStyle), taken.Get());
  if (FAILED(hr)) Report(hr, 1042);
  return hr;
}

HRESULT CStyleRdr2dBase::ReleaseStyleRefs(DWORD value) {
  const HRESULT hr = SetStyleRefID(&m_referencedStyleID, kNoStyleID);
  JStyleBase::ReleaseStyleRefs(value);
  return hr;
}

HRESULT CStyleRdr2dBase::EnumStyleRefs(StyleRefCallback callback) {
  if (!callback) return E_INVALIDARG;
  HRESULT hr = callback(m_referencedStyleID);
  if (FAILED(hr)) return Report(hr, 1086);
  hr = JStyleBase::EnumStyleRefs(callback);
  if (FAILED(hr)) Report(hr, 1089);
  return hr;
}

HRESULT CStyleRdr2dBase::CopyToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                                       IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  HRESULT hr;
  DWORD newID = 0;
  // The referenced style goes to the target first, so that the copy can refer to it there.
  if (m_referencedStyleID != kNoStyleID) {
    bool copied = false;
    if (m_owner && m_referencedStyleID < kInvalidStyleID && target) {
      copied = SUCCEEDED(target->CopyStyleFromLibrary(m_referencedStyleID, m_owner, &newID));
    }
    if (!copied) {
      StyleComPtr<IJManageStyle2> manage;
      if (m_referencedStyle) {
        hr = m_referencedStyle->QueryInterface(IID_IJManageStyle2, manage.PutVoid());
        if (FAILED(hr)) return Report(hr, 1475);
      } else {
        StyleComPtr<IJSLLibrarian> librarian;
        StyleComPtr<IUnknown> style;
        hr = OwnerLibrarian(librarian.Put());
        if (SUCCEEDED(hr)) hr = librarian->GetStyle(m_referencedStyleID, style.Put());
        if (FAILED(hr)) return Report(hr, 1481);
        hr = style->QueryInterface(IID_IJManageStyle2, manage.PutVoid());
        if (FAILED(hr)) return Report(hr, 1485);
      }
      StyleComPtr<IJSLLibrarian> ownerLibrarian;
      if (m_owner) OwnerLibrarian(ownerLibrarian.Put());
      newID = 0;
      hr = manage->CopyStyleToLibrary(ownerLibrarian.Get(), target, targetDocument, &newID);
      if (FAILED(hr)) return Report(hr, 1491);
    }
  }

  StyleComPtr<IUnknown> clone;
  hr = JStyleBase::CopyToLibrary(source, target, targetDocument, clone.Put());
  if (FAILED(hr)) return Report(hr, 1500);

  if (m_referencedStyleID != kNoStyleID) {
    StyleComPtr<IJStyleSetup2d> setup;
    hr = clone->QueryInterface(IID_IJStyleSetup2d, setup.PutVoid());
    if (FAILED(hr)) return Report(hr, 1511);
    StyleComPtr<IUnknown> copiedStyle;
    hr = target->GetStyle(newID, copiedStyle.Put());
    if (FAILED(hr)) return Report(hr, 1522);
    StyleComPtr<IJStyleRender> render;
    hr = copiedStyle->QueryInterface(IID_IJStyleRender2, render.PutVoid());
    if (FAILED(hr)) return Report(hr, 1525);
    StyleComPtr<IUnknown> referenced;
    if (render->GetVariant() == 2) {
      hr = copiedStyle->QueryInterface(IID_IJStylePrerender, referenced.PutVoid());
      if (FAILED(hr)) return Report(hr, 1530);
    } else {
      hr = copiedStyle->QueryInterface(IID_IJStyleRender, referenced.PutVoid());
      if (FAILED(hr)) return Report(hr, 1535);
    }
    hr = setup->SetReferencedStyle(referenced.Get());
    if (FAILED(hr)) return hr;
  }
  *out = clone.Detach();
  return S_OK;
}

HRESULT CStyleRdr2dBase::OnStyleChanged(DWORD id, DWORD value) {
  const HRESULT hr = JStyleBase::OnStyleChanged(id, value);
  if (FAILED(hr)) Report(hr, 1564);
  if (id == m_referencedStyleID) {
    DropReferencedStyle();
    return S_OK;
  }
  return hr;
}

// ---- persistence ----

HRESULT CStyleRdr2dBase::SerializeBase(JArchive* archive, StyleBaseRecord* record) {
  if (!record) return E_INVALIDARG;
  HRESULT hr;
  if (IsStoring(archive)) {
    WORD units;
    if (m_unitsCode >= STYLE_UNITS_11 && m_unitsCode <= STYLE_UNITS_UNSCALED) {
      units = static_cast<WORD>(m_unitsCode - 10);
    } else if (m_unitsCode == STYLE_UNITS_NONE) {
      units = 0;
    } else {
      // Three bits cannot carry it; nothing of the record is written.
      return Report(E_INVALIDARG, 804);
    }
    record->flags = static_cast<WORD>((record->flags & ~kStyleBaseUnitsMask) | units);
    hr = GetReferencedStyleID(&record->referencedStyleID);
    if (FAILED(hr)) return Report(hr, 807);
  }
  hr = JStyleBase::SerializeBase(archive, record);
  if (FAILED(hr)) return Report(hr, 811);
  if (IsLoading(archive)) {
    const WORD units = record->flags & kStyleBaseUnitsMask;
    // Three bits could name codes past the last one; a style loaded with one could never be stored again.
    if (units > STYLE_UNITS_UNSCALED - 10) return Report(E_FAIL, 814);
    m_unitsCode = units ? units + 10u : DWORD{STYLE_UNITS_NONE};
    // A load moves no use counts: the library's counts were stored with it.
    if (record->referencedStyleID != m_referencedStyleID) {
      DropReferencedStyle();
      m_referencedStyleID = record->referencedStyleID;
    }
  }
  return S_OK;
}

CStyleRdr2dBase::BaseState CStyleRdr2dBase::SaveBase() const {
  return {m_styleID, m_flagWord, m_versioned, m_unitsCode, m_referencedStyleID, m_styleKind};
}

void CStyleRdr2dBase::RestoreBase(const BaseState& state) {
  m_styleID = state.styleID;
  m_flagWord = state.flagWord;
  m_versioned = state.versioned;
  m_unitsCode = state.unitsCode;
  if (m_referencedStyleID != state.referencedStyleID) DropReferencedStyle();
  m_referencedStyleID = state.referencedStyleID;
  m_styleKind = state.styleKind;
}

HRESULT CStyleRdr2dBase::SerializeVersionedWhole(JArchive* archive) {
  const BaseState before = SaveBase();
  const HRESULT hr = JStyleBase::SerializeVersioned(archive);
  if (FAILED(hr) && IsLoading(archive)) RestoreBase(before);
  return hr;
}

HRESULT CStyleRdr2dBase::SerializeClass(JArchive* archive) {
  HRESULT hr = JStyleBase::Serialize(archive);
  if (FAILED(hr)) return Report(hr, 724);
  if (DropsCachedReferences(archive)) DropReferencedStyle();
  DWORD referencedID = m_referencedStyleID;
  if (IsVersioned(archive)) {
    WORD version = 0;
    DWORD scratch;
    hr = ArchiveSerializeClassHeader(archive, &CLASSTAG_CStyleRdr2dBase, &version, &scratch);
    if (FAILED(hr)) return Report(hr, 741);
    if (version == 2) {
      hr = Exchange(archive, referencedID);
      if (FAILED(hr)) return Report(hr, 750);
    }
  } else {
    hr = Exchange(archive, referencedID);
    if (FAILED(hr)) return Report(hr, 765);
  }
  // A cached style that another ID replaced would draw in its place; it goes, as with the current record.
  if (IsLoading(archive) && referencedID != m_referencedStyleID) {
    DropReferencedStyle();
    m_referencedStyleID = referencedID;
  }
  hr = Exchange(archive, m_styleKind);
  if (FAILED(hr)) return Report(hr, 772);
  return S_OK;
}

// ---- the render base's operations ----

DWORD CStyleRdr2dBase::GetStyleKind() { return m_styleKind; }

HRESULT CStyleRdr2dBase::SetReferencedStyle(IUnknown* style) {
  // The cache is called as a render interface, whichever interface of the style the caller hands in; a style
  // that has none is refused and the reference stays as it was.
  StyleComPtr<IJStyleRender> render;
  if (style) {
    const HRESULT hr = style->QueryInterface(IID_IJStyleRender, render.PutVoid());
    if (FAILED(hr)) return Report(hr, 1135);
  }
  const HRESULT hr = SetStyleRefPtr(&m_referencedStyleID, AsUnknownSlot(&m_referencedStyle), render.Get());
  if (FAILED(hr)) return Report(hr, 1135);
  m_changeWord = 0;
  return hr;
}

IJStyleRender* CStyleRdr2dBase::GetReferencedStyle() {
  if (!m_referencedStyle) {
    IJStyleRender* found = nullptr;
    HRESULT hr = GetStyleByID(m_referencedStyleID, IID_IJStyleRender, reinterpret_cast<void**>(&found));
    if (FAILED(hr)) {
      Report(hr, 1161);
      return nullptr;
    }
    m_referencedStyle = found;
  }
  if (m_referencedStyle) m_referencedStyle->AddRef();
  return m_referencedStyle;
}

DWORD CStyleRdr2dBase::FixedQuery1() { return 4; }

DWORD CStyleRdr2dBase::FixedQuery2() { return 0; }

DWORD CStyleRdr2dBase::FixedQuery3(DWORD) { return 0; }

HRESULT CStyleRdr2dBase::Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                const RenderContextScales* context, IJStyleRender* substitute,
                                tagStyleOverride* record, BOOL recordGiven, const StyleElementRecord* element) {
  return RenderReferenced(geometry, target, context, substitute, record, recordGiven, element);
}

HRESULT CStyleRdr2dBase::RenderDefault(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                       const RenderContextScales* context, const StyleElementRecord* element) {
  tagStyleOverride record{};
  record.recordCode = kStyleOverrideRecordCode;
  record.unitsCode = m_unitsCode;
  HRESULT hr = PrepareRenderRecord(&record, context, GetScaleForUnits(m_unitsCode, context));
  if (FAILED(hr)) return Report(hr, 1276);
  return Render(geometry, target, context, nullptr, &record, FALSE, element);
}

HRESULT CStyleRdr2dBase::GetExtentDelta(StyleExtent* extent) {
  if (!extent) return E_INVALIDARG;
  *extent = StyleExtent{};
  return S_OK;
}

HRESULT CStyleRdr2dBase::GetExtentRecord(StyleExtent* extent, const RenderContextScales*, tagStyleOverride*) {
  if (!extent) return E_INVALIDARG;
  *extent = StyleExtent{};
  return S_OK;
}

HRESULT CStyleRdr2dBase::ApplyToGraphic(tagStyleOverride* record) {
  if (!record) return E_INVALIDARG;
  RenderContextScales unscaled{};
  unscaled.scale11 = unscaled.scale12 = unscaled.scale13 = 1.0;
  unscaled.furtherFactor = 1.0;
  unscaled.deviceFactor = 1.0;
  unscaled.verticalAxisFactor = 1.0;
  HRESULT hr = PrepareRenderRecord(record, &unscaled, 1.0);
  if (FAILED(hr)) return Report(hr, 1355);
  // Only a referenced style that is already at hand: applying never loads styles.
  if (m_referencedStyle) {
    hr = m_referencedStyle->ApplyToGraphic(record);
    if (FAILED(hr)) Report(hr, 1361);
  }
  return hr;
}

HRESULT CStyleRdr2dBase::SetReferencedStyleID(DWORD id) {
  if (id == m_referencedStyleID) return S_OK;
  const HRESULT hr = SetStyleRefID(&m_referencedStyleID, id);
  // A refused ID leaves the reference as it was, cache included.
  if (SUCCEEDED(hr)) DropReferencedStyle();
  return hr;
}

HRESULT CStyleRdr2dBase::GetReferencedStyleID(DWORD* out) {
  if (!out) return E_INVALIDARG;
  if (m_referencedStyleID == kInvalidStyleID) m_referencedStyleID = GetStyleID(m_referencedStyle);
  *out = m_referencedStyleID;
  return S_OK;
}

HRESULT CStyleRdr2dBase::PrepareCopy(const tagStyleOverride* record, const RenderContextScales* context,
                                     tagStyleOverride* copy, int line) {
  if (record) {
    *copy = *record;
  } else {
    *copy = tagStyleOverride{};
  }
  const DWORD units = (copy->flags & OVR_WIDTH) ? copy->unitsCode : m_unitsCode;
  const HRESULT hr = PrepareRenderRecord(copy, context, GetScaleForUnits(units, context));
  if (FAILED(hr)) Report(hr, line);
  return hr;
}

HRESULT CStyleRdr2dBase::RenderWithContext(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                           const RenderContextScales* context, IJStyleRender* substitute,
                                           const tagStyleOverride* record, const StyleElementRecord* element) {
  if (!record && !substitute) return RenderDefault(geometry, target, context, element);
  tagStyleOverride copy;
  HRESULT hr = PrepareCopy(record, context, &copy, 1624);
  if (FAILED(hr)) return hr;
  const BOOL given = record != nullptr;
  bool substituted = false;
  if (FAILED(hr = SubstituteActs(substitute, 1633, &substituted))) return hr;
  if (substituted) {
    return substitute->RenderWithContext(geometry, target, context, nullptr, given ? &copy : nullptr, element);
  }
  return Render(geometry, target, context, substitute, &copy, given, element);
}

HRESULT CStyleRdr2dBase::GetRangeWithContext(StyleExtent* extent, const RenderContextScales* context,
                                             IJStyleRender* substitute, const tagStyleOverride* record) {
  if (!extent) return E_INVALIDARG;
  tagStyleOverride copy;
  HRESULT hr = PrepareCopy(record, context, &copy, 1696);
  if (FAILED(hr)) return hr;
  const BOOL given = record != nullptr;
  bool substituted = false;
  if (FAILED(hr = SubstituteActs(substitute, 1705, &substituted))) return hr;
  if (substituted) return substitute->GetRangeWithContext(extent, context, nullptr, given ? &copy : nullptr);
  return GetRange(extent, context, substitute, &copy, given);
}

HRESULT CStyleRdr2dBase::GetRange(StyleExtent* extent, const RenderContextScales* context,
                                  IJStyleRender* substitute, tagStyleOverride* record, BOOL recordGiven) {
  if (!extent) return E_INVALIDARG;
  StyleExtent own{};
  if (SUCCEEDED(GetExtentRecord(&own, context, record))) {
    if (own.value > extent->value) extent->value = own.value;
    if (!(extent->first >= own.first)) extent->first = own.first;
    if (!(extent->second >= own.second)) extent->second = own.second;
  }
  StyleComPtr<IJStyleRender> referenced(GetReferencedStyle());
  if (!referenced) return S_OK;
  const HRESULT hr = referenced->GetRangeWithContext(extent, context, substitute, recordGiven ? record : nullptr);
  if (FAILED(hr)) Report(hr, 1770);
  return hr;
}

HRESULT CStyleRdr2dBase::PrepareRenderRecord(tagStyleOverride*, const RenderContextScales*, double) { return S_OK; }

HRESULT CStyleRdr2dBase::RenderReferenced(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                          const RenderContextScales* context, IJStyleRender* substitute,
                                          tagStyleOverride* record, BOOL recordGiven,
                                          const StyleElementRecord* element) {
  StyleComPtr<IJStyleRender> referenced(GetReferencedStyle());
  if (!referenced) return S_OK;
  const HRESULT hr = referenced->RenderWithContext(geometry, target, context, substitute,
                                                   recordGiven ? record : nullptr, element);
  if (FAILED(hr)) Report(hr, 1827);
  return hr;
}

// ---- lengths ----

double CStyleRdr2dBase::GetScaleForUnits(DWORD code, const RenderContextScales* context) {
  if (!context) return 1.0;
  switch (code) {
    case STYLE_UNITS_11:
      return context->scale11;
    case STYLE_UNITS_12:
      return context->scale12;
    case STYLE_UNITS_13:
      return context->scale13;
    default:
      return 1.0;
  }
}

double CStyleRdr2dBase::ConvertStyleLength(double value, DWORD code, const RenderContextScales* context,
                                           BOOL clamp) {
  if (!context) return value;
  if (context->deviceMode && code == STYLE_UNITS_11) {
    double device = value * context->deviceFactor + context->deviceOffset;
    if (clamp) {
      // Never thinner than one device unit, never wider than the device allows.
      if (device < 1.0) return context->scale13;
      if (context->deviceMaximum != 0 && static_cast<double>(context->deviceMaximum) < device) {
        device = static_cast<double>(context->deviceMaximum);
      }
    }
    return device * context->scale13;
  }
  return value * GetScaleForUnits(code, context);
}

// ---- IJStyleRender ----

DWORD STDMETHODCALLTYPE CStyleRdr2dBase::IJStyleRenderImp::GetVariant() { return 1; }

HRESULT STDMETHODCALLTYPE CStyleRdr2dBase::IJStyleRenderImp::GetRangeWithContext(StyleExtent* extent,
                                                                                 const RenderContextScales* context,
                                                                                 IJStyleRender* substitute,
                                                                                 const tagStyleOverride* record) {
  StyleCallDepth depth;
  if (!depth.Entered()) return S_OK;
  return depth.Answer(Object()->GetRangeWithContext(extent, context, substitute, record));
}

HRESULT STDMETHODCALLTYPE CStyleRdr2dBase::IJStyleRenderImp::SetReferencedStyle(IUnknown* style) {
  return Object()->SetReferencedStyle(style);
}

HRESULT STDMETHODCALLTYPE CStyleRdr2dBase::IJStyleRenderImp::GetStyleKind(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 303);
  *out = Object()->GetStyleKind();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CStyleRdr2dBase::IJStyleRenderImp::GetReferencedStyle(IJStyleRender** out) {
  if (!out) return Report(E_INVALIDARG, 333);
  *out = Object()->GetReferencedStyle();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CStyleRdr2dBase::IJStyleRenderImp::GetFixedQuery1(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 363);
  *out = Object()->FixedQuery1();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CStyleRdr2dBase::IJStyleRenderImp::GetFixedQuery2(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 393);
  *out = Object()->FixedQuery2();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CStyleRdr2dBase::IJStyleRenderImp::GetFixedQuery3(DWORD value, DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 424);
  *out = Object()->FixedQuery3(value);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CStyleRdr2dBase::IJStyleRenderImp::RenderWithContext(
    const StyleGeometryRecord* geometry, IRenderTarget2d* target, const RenderContextScales* context,
    IJStyleRender* substitute, const tagStyleOverride* record, const StyleElementRecord* element) {
  // Every style that draws another draws it through here; past the bound a cycle draws nothing more.
  StyleCallDepth depth;
  if (!depth.Entered()) return S_OK;
  return depth.Answer(Object()->RenderWithContext(geometry, target, context, substitute, record, element));
}

HRESULT STDMETHODCALLTYPE CStyleRdr2dBase::IJStyleRenderImp::GetExtentDelta(StyleExtent* extent) {
  StyleCallDepth depth;
  if (!depth.Entered()) return S_OK;
  return depth.Answer(Object()->GetExtentDelta(extent));
}

HRESULT STDMETHODCALLTYPE CStyleRdr2dBase::IJStyleRenderImp::ApplyToGraphic(tagStyleOverride* record) {
  StyleCallDepth depth;
  if (!depth.Entered()) return S_OK;
  const HRESULT hr = Object()->ApplyToGraphic(record);
  if (FAILED(hr)) Report(hr, 523);
  return depth.Answer(hr);
}

// ---- IJStyleSetup2d ----

HRESULT STDMETHODCALLTYPE CStyleRdr2dBase::IJStyleSetup2dImp::GetOwner(IUnknown** out) {
  const HRESULT hr = Object()->GetOwner(out);
  if (FAILED(hr)) Report(hr, 569);
  return hr;
}

HRESULT STDMETHODCALLTYPE CStyleRdr2dBase::IJStyleSetup2dImp::SetLibrarian(IUnknown* librarian) {
  return Object()->SetLibrarian(librarian);
}

HRESULT STDMETHODCALLTYPE CStyleRdr2dBase::IJStyleSetup2dImp::SetReferencedStyle(IUnknown* style) {
  return Object()->SetReferencedStyle(style);
}

HRESULT STDMETHODCALLTYPE CStyleRdr2dBase::IJStyleSetup2dImp::SetReferencedStyleID(DWORD id) {
  return Object()->SetReferencedStyleID(id);
}

HRESULT STDMETHODCALLTYPE CStyleRdr2dBase::IJStyleSetup2dImp::GetReferencedStyle(IJStyleRender** out) {
  if (!out) return Report(E_INVALIDARG, 655);
  *out = Object()->GetReferencedStyle();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CStyleRdr2dBase::IJStyleSetup2dImp::GetReferencedStyleID(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 686);
  const HRESULT hr = Object()->GetReferencedStyleID(out);
  if (FAILED(hr)) Report(hr, 690);
  return hr;
}

#include "display/style/styles/JStyleLineTerminator.h"

#include <cmath>

#include "display/style/stylesrv_clsid.h"
#include "display/style/styles/LineStyleShared.h"
#include "display/style/styllib/StyleReport.h"

namespace {

constexpr char kSource[] = "LINETERM";

// Lengths closer than this are the same length.
constexpr double kLengthTolerance = 1.1920928955078125e-07;

constexpr JStyleLineTerminator::End kEnds[] = {JStyleLineTerminator::kStart, JStyleLineTerminator::kEnd};

}  // namespace

JStyleLineTerminator::JStyleLineTerminator(IUnknown* outer) : CStyleRdr2dBase(outer, Counted{}) {
  m_styleKind = STYLE_KIND_LINE;
  m_unitsCode = STYLE_UNITS_13;
}

JStyleLineTerminator::~JStyleLineTerminator() {
  for (End end : kEnds) DropStyle(end);
}

void JStyleLineTerminator::DropStyle(End end) { ReleaseCache(m_styles[end]); }

void* JStyleLineTerminator::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJStyleLineTerminator)) return &m_IJStyleLineTerminatorImp;
  return CStyleRdr2dBase::GetInterface(iid);
}

void* JStyleLineTerminator::GetAggregateInterface(REFIID iid) {
  if (void* found = CStyleRdr2dBase::GetAggregateInterface(iid)) return found;
  void* extension = nullptr;
  if (FAILED(QueryClassExtension(&CLASSEXT_LineStyle, GetControllingUnknown(), iid, &extension))) return nullptr;
  return extension;
}

GUID* JStyleLineTerminator::GetClassID(GUID* out) {
  *out = CLSID_JStyleLineTerminator;
  return out;
}

// ---- the terminators ----

HRESULT JStyleLineTerminator::ResolveStyle(End end) {
  if (m_styles[end]) return S_OK;
  const HRESULT hr = GetStyleByID(m_ids[end], IID_IJStyleRender, reinterpret_cast<void**>(&m_styles[end]));
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT JStyleLineTerminator::SetTerminator(End end, IUnknown* style) {
  if (style) {
    // Held by itself, the style would keep itself alive and draw itself at its own ends.
    if (StyleSameObject(style, Identity())) return REPORT(E_INVALIDARG);
    // A style that cannot draw is refused before the terminator held so far is let go.
    StyleComPtr<IJStyleRender> render;
    const HRESULT hr = style->QueryInterface(IID_IJStyleRender, render.PutVoid());
    if (FAILED(hr)) return REPORT(hr);
  }
  const HRESULT hr = SetStyleRefQI(&m_ids[end], AsUnknownSlot(&m_styles[end]), style, IID_IJStyleRender);
  return FAILED(hr) ? REPORT(hr) : hr;
}

HRESULT JStyleLineTerminator::GetTerminator(End end, IUnknown** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  HRESULT hr = ResolveStyle(end);
  if (FAILED(hr) || !m_styles[end]) return hr;
  hr = m_styles[end]->QueryInterface(IID_IJStylePointSymbol, reinterpret_cast<void**>(out));
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT JStyleLineTerminator::SetTerminatorID(End end, DWORD id) {
  if (id == m_ids[end]) return S_OK;
  const HRESULT hr = SetStyleRefID(&m_ids[end], id);
  // A refused ID leaves the terminator as it was, cache included.
  if (FAILED(hr)) return REPORT(hr);
  DropStyle(end);
  return hr;
}

HRESULT JStyleLineTerminator::GetTerminatorID(End end, DWORD* out) {
  if (!out) return REPORT(E_INVALIDARG);
  if (m_ids[end] == kInvalidStyleID) m_ids[end] = GetStyleID(m_styles[end]);
  *out = m_ids[end];
  return S_OK;
}

HRESULT JStyleLineTerminator::GetLength(End end, double* out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = m_lengths[end];
  return S_OK;
}

// ---- drawing ----

HRESULT JStyleLineTerminator::Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                     const RenderContextScales* context, IJStyleRender* substitute,
                                     tagStyleOverride* record, BOOL, const StyleElementRecord* element) {
  if (!HasPointList(geometry)) return REPORT(E_INVALIDARG);
  const StylePointRun* list = geometry->pointList;
  const DWORD n = list->count;
  if (n == 0) return S_OK;
  // Nothing is drawn unless both ends can be.
  HRESULT hr;
  for (End end : kEnds) {
    if (FAILED(hr = ResolveStyle(end))) return hr;
  }
  // Oriented points carry their position first.
  const std::size_t stride = geometry->type == kGeometryOrientedPoints ? 9 : 3;
  const auto* first = static_cast<const double*>(list->points);
  const double* last = first + (n - 1) * stride;
  // A single point is both ends, turned nowhere.
  const double* second = n > 1 ? first + stride : first;
  const double* beforeLast = n > 1 ? last - stride : last;
  hr = S_OK;
  if (m_styles[kStart]) {
    hr = DrawEnd(kStart, first, second, geometry, target, context, substitute, record, element);
    if (FAILED(hr)) return hr;
  }
  if (m_styles[kEnd]) hr = DrawEnd(kEnd, last, beforeLast, geometry, target, context, substitute, record, element);
  return hr;
}

HRESULT JStyleLineTerminator::DrawEnd(End end, const double* at, const double* from,
                                      const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                      const RenderContextScales* context, IJStyleRender* substitute,
                                      tagStyleOverride* record, const StyleElementRecord* element) {
  // Placed in the drawing plane; the direction keeps the line's slope out of it, and is not normalised.
  StyleOrientedPoint point{{at[0], at[1], 0.0}, {0.0, 0.0, 1.0}, {at[0] - from[0], at[1] - from[1], at[2] - from[2]}};
  StylePointRun run = *geometry->pointList;
  run.points = &point;
  run.count = 1;
  StyleGeometryRecord placed = *geometry;
  placed.type = kGeometryOrientedPoints;
  placed.pointList = &run;
  // The record goes to the terminator whether or not the caller gave one: it carries the units this style drew
  // with.
  const HRESULT hr = m_styles[end]->RenderWithContext(&placed, target, context, substitute, record, element);
  return FAILED(hr) ? REPORT(hr) : hr;
}

// ---- extents ----

HRESULT JStyleLineTerminator::GetExtentDelta(StyleExtent* extent) {
  if (!extent) return REPORT(E_INVALIDARG);
  *extent = StyleExtent{};
  return S_OK;
}

HRESULT JStyleLineTerminator::GetExtentRecord(StyleExtent* extent, const RenderContextScales* context,
                                              tagStyleOverride* record) {
  if (!extent) return REPORT(E_INVALIDARG);
  HRESULT hr;
  if (m_referencedStyle) {
    hr = m_referencedStyle->GetRangeWithContext(extent, context, nullptr, record);
    if (FAILED(hr)) return REPORT(hr);
  }
  // One record for both terminators: the end's range merges over what the start's left in it.
  StyleExtent local{};
  for (End end : kEnds) {
    if (FAILED(hr = ResolveStyle(end))) return hr;
    if (!m_styles[end]) continue;
    hr = m_styles[end]->GetRangeWithContext(&local, context, nullptr, record);
    if (FAILED(hr)) return REPORT(hr);
    MergeExtentMaximum(extent, local);
  }
  const double shorter = std::fmin(m_lengths[kStart], m_lengths[kEnd]);
  // A length that is not a number, negative or endless widens nothing.
  if (std::isnan(m_lengths[kStart]) || std::isnan(m_lengths[kEnd]) || !(shorter > 0.0) || std::isinf(shorter)) {
    return S_OK;
  }
  switch (m_unitsCode) {
    case STYLE_UNITS_13:
      extent->value = AddSaturated(extent->value, TruncateExtent(shorter));
      break;
    case STYLE_UNITS_11:
      extent->first += shorter;
      break;
    default:
      extent->second += shorter;
      break;
  }
  return S_OK;
}

// ---- references ----

BOOL JStyleLineTerminator::UsesStyleID(DWORD id) {
  if (id != kNoStyleID && (id == m_ids[kStart] || id == m_ids[kEnd])) return TRUE;
  for (End end : kEnds) {
    if (!m_styles[end]) GetStyleByID(m_ids[end], IID_IJStyleRender, reinterpret_cast<void**>(&m_styles[end]));
    if (!m_styles[end]) continue;
    StyleComPtr<IJStyleUser> user;
    if (SUCCEEDED(m_styles[end]->QueryInterface(IID_IJStyleUser, user.PutVoid()))) {
      if (const BOOL uses = user->UsesStyleID(id)) return uses;
    }
  }
  return CStyleRdr2dBase::UsesStyleID(id);
}

HRESULT JStyleLineTerminator::SetOwner(IUnknown* owner) {
  HRESULT hr;
  if (!m_owner && !m_styles[kStart] && !m_styles[kEnd]) {
    hr = CStyleRdr2dBase::SetOwner(owner);
    return FAILED(hr) ? REPORT(hr) : hr;
  }
  // The terminators are taken as objects, so that their uses can move from the old library to the new. One
  // that cannot be found is let go; the owner moves all the same, for the old one may be going away.
  HRESULT result = S_OK;
  StyleComPtr<IUnknown> taken[2];
  for (End end : kEnds) {
    if (FAILED(hr = GetTerminator(end, taken[end].Put())) && SUCCEEDED(result)) result = hr;
    DropStyle(end);
  }
  if (m_owner) {
    for (End end : kEnds) {
      if (FAILED(hr = SetStyleRefID(&m_ids[end], kNoStyleID))) {
        REPORT(hr);
        if (SUCCEEDED(result)) result = hr;
      }
    }
  }
  hr = CStyleRdr2dBase::SetOwner(owner);
  if (FAILED(hr)) return REPORT(hr);
  for (End end : kEnds) {
    if (!taken[end]) {
      // Without its style an ID names nothing here.
      if (m_ids[end] == kInvalidStyleID) m_ids[end] = kNoStyleID;
      continue;
    }
    hr = SetStyleRefQI(&m_ids[end], AsUnknownSlot(&m_styles[end]), taken[end].Get(), IID_IJStyleRender);
    if (FAILED(hr)) {
      REPORT(hr);
      if (SUCCEEDED(result)) result = hr;
    }
  }
  return result;
}

HRESULT JStyleLineTerminator::ReleaseStyleRefs(DWORD value) {
  for (End end : kEnds) SetStyleRefID(&m_ids[end], kNoStyleID);
  return CStyleRdr2dBase::ReleaseStyleRefs(value);
}

HRESULT JStyleLineTerminator::EnumStyleRefs(StyleRefCallback callback) {
  if (!callback) return REPORT(E_INVALIDARG);
  HRESULT hr;
  for (End end : kEnds) {
    if (FAILED(hr = callback(m_ids[end]))) return REPORT(hr);
  }
  hr = CStyleRdr2dBase::EnumStyleRefs(callback);
  return FAILED(hr) ? REPORT(hr) : hr;
}

HRESULT JStyleLineTerminator::OnStyleChanged(DWORD id, DWORD newStyle) {
  const HRESULT hr = CStyleRdr2dBase::OnStyleChanged(id, newStyle);
  if (FAILED(hr)) return REPORT(hr);
  auto* style = reinterpret_cast<IUnknown*>(static_cast<UINT_PTR>(newStyle));
  bool matched = false;
  // One style may terminate both ends.
  for (End end : kEnds) {
    if (id == kNoStyleID || id != m_ids[end]) continue;
    matched = true;
    DropStyle(end);
    if (!style) continue;
    const HRESULT found = style->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&m_styles[end]));
    if (FAILED(found)) return REPORT(found);
  }
  return matched ? S_OK : hr;
}

HRESULT JStyleLineTerminator::CopyToLibrary(IJSLLibrarian* source, IJSLLibrarian* target,
                                            IUnknown* targetDocument, IUnknown** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  HRESULT hr;
  DWORD newIDs[2] = {kNoStyleID, kNoStyleID};
  for (End end : kEnds) {
    if (m_ids[end] == kNoStyleID) continue;
    hr = CopyReferenceToLibrary(this, m_ids[end], m_styles[end], source, target, targetDocument, &newIDs[end],
                                kSource, __LINE__, __LINE__, __LINE__, __LINE__);
    if (FAILED(hr)) return hr;
  }
  StyleComPtr<IUnknown> clone;
  hr = CStyleRdr2dBase::CopyToLibrary(source, target, targetDocument, clone.Put());
  if (FAILED(hr)) return REPORT(hr);
  if (m_ids[kStart] != kNoStyleID || m_ids[kEnd] != kNoStyleID) {
    StyleComPtr<IJStyleLineTerminator> copy;
    if (FAILED(hr = clone->QueryInterface(IID_IJStyleLineTerminator, copy.PutVoid()))) return REPORT(hr);
    for (End end : kEnds) {
      if (m_ids[end] == kNoStyleID) continue;
      StyleComPtr<IUnknown> object;
      hr = target ? target->GetStyle(newIDs[end], object.Put()) : E_INVALIDARG;
      if (SUCCEEDED(hr) && !object) hr = E_FAIL;
      if (FAILED(hr)) return REPORT(hr);
      StyleComPtr<IUnknown> symbol;
      if (FAILED(hr = object->QueryInterface(IID_IJStylePointSymbol, symbol.PutVoid()))) return REPORT(hr);
      hr = end == kStart ? copy->SetStartStyle(symbol.Get()) : copy->SetEndStyle(symbol.Get());
      if (FAILED(hr)) return REPORT(hr);
    }
  }
  *out = clone.Detach();
  return S_OK;
}

// ---- copying and comparing ----

HRESULT JStyleLineTerminator::Clone(IUnknown* outer, IUnknown** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  auto* copy = new JStyleLineTerminator(outer);
  if (!copy) return REPORT(E_OUTOFMEMORY);
  copy->AddRef();
  copy->m_styleKind = m_styleKind;
  copy->m_unitsCode = m_unitsCode;
  copy->m_lengths[kStart] = m_lengths[kStart];
  copy->m_lengths[kEnd] = m_lengths[kEnd];
  *out = static_cast<UUnknown*>(copy);
  return S_OK;
}

HRESULT JStyleLineTerminator::CopyFrom(IUnknown* source, DWORD flags) {
  HRESULT hr = CStyleRdr2dBase::CopyFrom(source, flags);
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJStyleLineTerminator> theirs;
  if (FAILED(source->QueryInterface(IID_IJStyleLineTerminator, theirs.PutVoid()))) return S_OK;
  DWORD units = STYLE_UNITS_NONE;
  double lengths[2] = {};
  StyleComPtr<IUnknown> styles[2];
  // Everything is read before anything changes: a source that fails leaves this style as it was.
  if (FAILED(hr = theirs->GetUnits(&units)) || FAILED(hr = theirs->GetStartLength(&lengths[kStart])) ||
      FAILED(hr = theirs->GetEndLength(&lengths[kEnd])) || FAILED(hr = theirs->GetStartStyle(styles[kStart].Put())) ||
      FAILED(hr = theirs->GetEndStyle(styles[kEnd].Put()))) {
    return REPORT(hr);
  }
  for (End end : kEnds) {
    if (FAILED(hr = SetTerminator(end, styles[end].Get()))) return hr;
    m_lengths[end] = lengths[end];
  }
  m_unitsCode = units;
  return S_OK;
}

HRESULT JStyleLineTerminator::IsEqual(IUnknown* other, BOOL* same) {
  if (!other || !same) return E_INVALIDARG;
  *same = FALSE;
  HRESULT hr = CStyleRdr2dBase::IsEqual(other, same);
  if (FAILED(hr)) return REPORT(hr);
  if (!*same) return S_OK;
  *same = FALSE;
  StyleComPtr<IJStyleLineTerminator> theirs;
  if (FAILED(other->QueryInterface(IID_IJStyleLineTerminator, theirs.PutVoid()))) return S_OK;
  double lengths[2] = {};
  if (FAILED(hr = theirs->GetStartLength(&lengths[kStart])) || FAILED(hr = theirs->GetEndLength(&lengths[kEnd]))) {
    return REPORT(hr);
  }
  for (End end : kEnds) {
    if (!(std::fabs(m_lengths[end] - lengths[end]) < kLengthTolerance)) return S_OK;
  }
  return SameTerminators(other, theirs.Get(), same);
}

HRESULT JStyleLineTerminator::SameTerminators(IUnknown* other, IJStyleLineTerminator* theirs, BOOL* same) {
  HRESULT hr;
  // In one library, the same IDs are the same styles: nothing needs resolving. IDs of styles that no library
  // names say nothing of which styles they are.
  StyleComPtr<IJManageStyle2> manage;
  StyleComPtr<IUnknown> theirOwner;
  if (SUCCEEDED(other->QueryInterface(IID_IJManageStyle2, manage.PutVoid())) &&
      SUCCEEDED(manage->GetOwner(theirOwner.Put())) && StyleSameObject(m_owner, theirOwner.Get())) {
    DWORD mine[2] = {};
    DWORD their[2] = {};
    if (FAILED(hr = theirs->GetStartStyleID(&their[kStart])) || FAILED(hr = theirs->GetEndStyleID(&their[kEnd]))) {
      return REPORT(hr);
    }
    for (End end : kEnds) GetTerminatorID(end, &mine[end]);
    if (mine[kStart] == their[kStart] && mine[kEnd] == their[kEnd] && mine[kStart] != kInvalidStyleID &&
        mine[kEnd] != kInvalidStyleID) {
      *same = TRUE;
      return S_OK;
    }
  }
  for (End end : kEnds) {
    StyleComPtr<IUnknown> myStyle;
    if (FAILED(hr = GetTerminator(end, myStyle.Put()))) return hr;
    StyleComPtr<IUnknown> theirStyle;
    hr = end == kStart ? theirs->GetStartStyle(theirStyle.Put()) : theirs->GetEndStyle(theirStyle.Put());
    if (FAILED(hr)) return REPORT(hr);
    // Two ends without a terminator are alike.
    hr = SameReferencedStyle(myStyle.Get(), theirStyle.Get(), same, kSource, __LINE__);
    if (FAILED(hr) || !*same) return hr;
  }
  return S_OK;
}

// ---- persistence ----

HRESULT JStyleLineTerminator::Serialize(JArchive* archive) {
  if (!IsVersioned(archive)) return SerializeCurrent(archive);
  WORD version = 0;
  DWORD scratch = 0;
  HRESULT hr = ArchiveSerializeClassHeader(archive, &CLSID_JStyleLineTerminator, &version, &scratch);
  if (FAILED(hr)) return REPORT(hr);
  if (version == kCurrentVersion) return SerializeCurrent(archive);
  if (version != 2) return S_OK;
  if (FAILED(hr = SerializeClass(archive))) return REPORT(hr);
  DWORD units = m_unitsCode;
  if (FAILED(hr = Exchange(archive, units))) return REPORT(hr);
  if (IsLoading(archive)) {
    if (!IsStorableUnitsCode(units)) return REPORT(HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
    m_unitsCode = units;
  }
  return SerializeFields(archive);
}

HRESULT JStyleLineTerminator::SerializeCurrent(JArchive* archive) {
  StyleBaseRecord base{};
  const HRESULT hr = SerializeBase(archive, &base);
  if (FAILED(hr)) return REPORT(hr);
  return SerializeFields(archive);
}

HRESULT JStyleLineTerminator::SerializeFields(JArchive* archive) {
  double lengths[2] = {m_lengths[kStart], m_lengths[kEnd]};
  DWORD ids[2] = {m_ids[kStart], m_ids[kEnd]};
  HRESULT hr;
  if (FAILED(hr = Exchange(archive, lengths[kStart])) || FAILED(hr = Exchange(archive, lengths[kEnd])) ||
      FAILED(hr = Exchange(archive, ids[kStart])) || FAILED(hr = Exchange(archive, ids[kEnd]))) {
    return REPORT(hr);
  }
  if (!IsLoading(archive)) return S_OK;
  // A load moves no use counts; the terminators are fetched again by their IDs at their next use.
  for (End end : kEnds) {
    if (DropsCachedReferences(archive) || ids[end] != m_ids[end]) DropStyle(end);
    m_ids[end] = ids[end];
    m_lengths[end] = lengths[end];
  }
  return S_OK;
}

// ---- IJStyleLineTerminator ----

HRESULT STDMETHODCALLTYPE JStyleLineTerminator::IJStyleLineTerminatorImp::SetStartLength(double length) {
  Object()->m_lengths[kStart] = length;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLineTerminator::IJStyleLineTerminatorImp::GetStartLength(double* out) {
  return Object()->GetLength(kStart, out);
}

HRESULT STDMETHODCALLTYPE JStyleLineTerminator::IJStyleLineTerminatorImp::SetEndLength(double length) {
  Object()->m_lengths[kEnd] = length;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLineTerminator::IJStyleLineTerminatorImp::GetEndLength(double* out) {
  return Object()->GetLength(kEnd, out);
}

HRESULT STDMETHODCALLTYPE JStyleLineTerminator::IJStyleLineTerminatorImp::SetStartStyle(IUnknown* style) {
  return Object()->SetTerminator(kStart, style);
}

HRESULT STDMETHODCALLTYPE JStyleLineTerminator::IJStyleLineTerminatorImp::GetStartStyle(IUnknown** out) {
  return Object()->GetTerminator(kStart, out);
}

HRESULT STDMETHODCALLTYPE JStyleLineTerminator::IJStyleLineTerminatorImp::SetEndStyle(IUnknown* style) {
  return Object()->SetTerminator(kEnd, style);
}

HRESULT STDMETHODCALLTYPE JStyleLineTerminator::IJStyleLineTerminatorImp::GetEndStyle(IUnknown** out) {
  return Object()->GetTerminator(kEnd, out);
}

HRESULT STDMETHODCALLTYPE JStyleLineTerminator::IJStyleLineTerminatorImp::SetUnits(DWORD unitsCode) {
  if (!IsStorableUnitsCode(unitsCode)) return REPORT(E_INVALIDARG);
  Object()->m_unitsCode = unitsCode;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLineTerminator::IJStyleLineTerminatorImp::GetUnits(DWORD* out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = Object()->m_unitsCode;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLineTerminator::IJStyleLineTerminatorImp::SetStartStyleID(DWORD id) {
  return Object()->SetTerminatorID(kStart, id);
}

HRESULT STDMETHODCALLTYPE JStyleLineTerminator::IJStyleLineTerminatorImp::GetStartStyleID(DWORD* out) {
  return Object()->GetTerminatorID(kStart, out);
}

HRESULT STDMETHODCALLTYPE JStyleLineTerminator::IJStyleLineTerminatorImp::SetEndStyleID(DWORD id) {
  return Object()->SetTerminatorID(kEnd, id);
}

HRESULT STDMETHODCALLTYPE JStyleLineTerminator::IJStyleLineTerminatorImp::GetEndStyleID(DWORD* out) {
  return Object()->GetTerminatorID(kEnd, out);
}

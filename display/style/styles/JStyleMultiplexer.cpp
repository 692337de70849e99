#include "display/style/styles/JStyleMultiplexer.h"

#include <memory>
#include <new>

#include "display/style/stylbas/StyleCallDepth.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styles/LineStyleShared.h"
#include "host/pellow/pellow.h"

namespace {

constexpr char kSource[] = "MUX";

HRESULT Report(HRESULT hr, int line) {
  HRerr(hr, 0, kSource, line);
  return hr;
}

bool IsUsable(DWORD id) { return id != kNoStyleID && id != kInvalidStyleID; }

// A kind that fill patterns report besides the fills' own.
constexpr DWORD kFillPatternKind = 5;

// The kind a multiplexer of kind 0 takes from an entry of `kind`; 0 when no multiplexer takes such an entry.
DWORD KindFromEntry(DWORD kind) {
  switch (kind) {
    case STYLE_KIND_POINTS:
    case STYLE_KIND_LINE:
      return STYLE_KIND_LINE;
    case STYLE_KIND_FILL:
    case kFillPatternKind:
      return STYLE_KIND_FILL;
    default:
      return STYLE_KIND_MULTIPLEXER;
  }
}

// Whether a multiplexer of kind `own` (2 or 3) takes an entry of `kind`. An entry of kind 0, a multiplexer
// without entries, fits either.
bool FitsKind(DWORD own, DWORD kind) { return kind == STYLE_KIND_MULTIPLEXER || KindFromEntry(kind) == own; }

// Styles taken out of the entries for the length of one operation, one reference each.
using TakenStyles = std::unique_ptr<StyleComPtr<IJStyleRender>[]>;
TakenStyles TakeStyles(DWORD count) {
  if (count > 0xFFFFFFF) return nullptr;
  return TakenStyles(new (std::nothrow) StyleComPtr<IJStyleRender>[count + 1]);
}

}  // namespace

JStyleMultiplexer::JStyleMultiplexer(IUnknown* outer) : CStyleRdr2dBase(outer, Counted{}) {}

JStyleMultiplexer::~JStyleMultiplexer() { DropCachedStyles(); }

void* JStyleMultiplexer::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJStyleMultiplexer)) return &m_IJStyleMultiplexerImp;
  return CStyleRdr2dBase::GetInterface(iid);
}

// A multiplexer of lines may be extended as the line styles are, one of fills as the fills are; which one it is
// decides its first entry while its kind is still open.
void* JStyleMultiplexer::GetAggregateInterface(REFIID iid) {
  if (void* found = CStyleRdr2dBase::GetAggregateInterface(iid)) return found;
  const bool dispatch = IsEqualIID(iid, IID_IDispatch);
  const bool ofLines =
      dispatch || IsEqualIID(iid, IID_OverrideExtension1) || IsEqualIID(iid, IID_MultiplexerLineExtension);
  const bool ofFills =
      dispatch || IsEqualIID(iid, IID_OverrideExtension2) || IsEqualIID(iid, IID_MultiplexerFillExtension);
  if (!ofLines && !ofFills) return nullptr;
  DWORD kind = STYLE_KIND_MULTIPLEXER;
  const HRESULT hr = ResolveKind(&kind);
  if (FAILED(hr)) {
    Report(hr, 3512);
    return nullptr;
  }
  const GUID* extensionClass = nullptr;
  if (kind == STYLE_KIND_LINE && ofLines) extensionClass = &CLASSEXT_LineStyle;
  if (kind == STYLE_KIND_FILL && ofFills) extensionClass = &CLASSEXT_OverrideExtension2;
  if (!extensionClass) return nullptr;
  void* extension = nullptr;
  if (FAILED(QueryClassExtension(extensionClass, GetControllingUnknown(), iid, &extension))) return nullptr;
  return extension;
}

GUID* JStyleMultiplexer::GetClassID(GUID* out) {
  *out = CLSID_JStyleMultiplexer;
  return out;
}

HRESULT JStyleMultiplexer::ResolveKind(DWORD* kind) {
  if (!kind) return E_INVALIDARG;
  *kind = GetStyleKind();
  if (*kind != STYLE_KIND_MULTIPLEXER || m_entries.Size() == 0) return S_OK;
  StyleCallDepth depth;
  if (!depth.Entered()) return S_OK;
  StyleComPtr<IJStyleRender> first;
  if (FAILED(ResolveEntry(0, first.Put())) || !first) return S_OK;
  DWORD entryKind = STYLE_KIND_MULTIPLEXER;
  const HRESULT hr = first->GetStyleKind(&entryKind);
  if (FAILED(hr)) return hr;
  const DWORD taken = KindFromEntry(entryKind);
  if (taken == STYLE_KIND_MULTIPLEXER) return E_INVALIDARG;
  m_styleKind = taken;
  *kind = taken;
  return S_OK;
}

// ---- the entries ----

void JStyleMultiplexer::DropCachedStyles() {
  for (DWORD i = 0; i < m_entries.Size(); ++i) ReleaseCache(m_entries[i].style);
}

void JStyleMultiplexer::ReleaseEntries(DWORD first) {
  for (DWORD i = first; i < m_entries.Size(); ++i) {
    ReleaseCache(m_entries[i].style);
    SetStyleRefID(&m_entries[i].id, kNoStyleID);
  }
}

HRESULT JStyleMultiplexer::ReplaceEntries(DWORD count, bool releaseUses) {
  if (count > m_entries.Size() && !m_entries.SetSize(count)) return E_OUTOFMEMORY;
  if (releaseUses) {
    ReleaseEntries(0);
  } else {
    DropCachedStyles();
  }
  if (count == 0) {
    m_entries.RemoveAll();
    return S_OK;
  }
  m_entries.SetSize(count);
  for (DWORD i = 0; i < count; ++i) m_entries[i] = MuxEntry{nullptr, kNoStyleID};
  return S_OK;
}

HRESULT JStyleMultiplexer::ResolveEntry(DWORD index, IJStyleRender** out) {
  *out = nullptr;
  if (!m_entries[index].style) {
    StyleComPtr<IJStyleRender> found;
    const HRESULT hr = GetStyleByID(m_entries[index].id, IID_IJStyleRender, found.PutVoid());
    if (FAILED(hr)) return hr;
    // A style that is this multiplexer is handed out but never kept: it would keep itself alive. And the lookup
    // may have called back into the entries; what an entry holds by now wins.
    if (!found || IsSelf(found.Get()) || index >= m_entries.Size() || m_entries[index].style) {
      *out = found.Detach();
      return S_OK;
    }
    m_entries[index].style = found.Detach();
  }
  *out = m_entries[index].style;
  (*out)->AddRef();
  return S_OK;
}

template <class Call>
HRESULT JStyleMultiplexer::ForEachEntryStyle(Call call, int line) {
  HRESULT hr = S_OK;
  for (DWORD i = 0; i < m_entries.Size(); ++i) {
    StyleComPtr<IJStyleRender> style;
    const HRESULT got = GetEntry(static_cast<LONG>(i), style.Put());
    if (FAILED(got)) return got;
    if (!style) continue;
    hr = call(style.Get());
    if (FAILED(hr)) return Report(hr, line);
  }
  return hr;
}

HRESULT JStyleMultiplexer::SetCount(LONG count) {
  if (count <= 0 || count > kMaxEntries) return Report(E_INVALIDARG, 402);
  const auto n = static_cast<DWORD>(count);
  // Dropped entries give back what they hold, so that the owner's counts match the references kept.
  ReleaseEntries(n);
  if (!m_entries.SetSize(n)) return Report(E_OUTOFMEMORY, 410);
  return S_OK;
}

HRESULT JStyleMultiplexer::SetEntry(LONG index, IJStyleRender* style) {
  if (!style || !ValidIndex(index)) return Report(E_INVALIDARG, 470);
  if (IsSelf(style)) return Report(E_INVALIDARG, 472);
  StyleComPtr<IJStyleRender> render;
  HRESULT hr = style->QueryInterface(IID_IJStyleRender, render.PutVoid());
  if (FAILED(hr)) return Report(hr, 476);
  DWORD kind = STYLE_KIND_MULTIPLEXER;
  hr = render->GetStyleKind(&kind);
  if (FAILED(hr)) return Report(hr, 481);
  const DWORD own = GetStyleKind();
  DWORD taken = own;
  if (own == STYLE_KIND_MULTIPLEXER) {
    taken = KindFromEntry(kind);
    if (taken == STYLE_KIND_MULTIPLEXER) return Report(E_INVALIDARG, 490);
  } else if (own == STYLE_KIND_LINE || own == STYLE_KIND_FILL) {
    if (!FitsKind(own, kind)) return Report(E_INVALIDARG, 497);
  } else {
    return Report(E_FAIL, 500);
  }
  MuxEntry& entry = m_entries[static_cast<DWORD>(index)];
  hr = SetStyleRefPtr(&entry.id, AsUnknownSlot(&entry.style), render.Get());
  // A refused entry leaves the multiplexer as it was, its kind included.
  if (FAILED(hr)) return Report(hr, 508);
  m_styleKind = taken;
  return hr;
}

HRESULT JStyleMultiplexer::GetEntry(LONG index, IJStyleRender** out) {
  if (!out) return Report(E_INVALIDARG, 540);
  *out = nullptr;
  if (!ValidIndex(index)) return Report(E_INVALIDARG, 544);
  const HRESULT hr = ResolveEntry(static_cast<DWORD>(index), out);
  if (FAILED(hr)) Report(hr, 551);
  return hr;
}

HRESULT JStyleMultiplexer::RemoveAll() {
  ReleaseEntries(0);
  m_entries.RemoveAll();
  return S_OK;
}

HRESULT JStyleMultiplexer::SetEntryID(LONG index, DWORD id) {
  if (!ValidIndex(index)) return Report(E_INVALIDARG, 620);
  const auto i = static_cast<DWORD>(index);
  if (id == m_entries[i].id) return S_OK;
  const HRESULT hr = SetStyleRefID(&m_entries[i].id, id);
  // A refused ID leaves the entry as it was, its style included.
  if (FAILED(hr)) return Report(hr, 631);
  ReleaseCache(m_entries[i].style);
  return hr;
}

HRESULT JStyleMultiplexer::GetEntryID(DWORD index, DWORD* id) {
  if (!id) return Report(E_INVALIDARG, 660);
  *id = kNoStyleID;
  if (index >= m_entries.Size()) return Report(E_INVALIDARG, 664);
  if (IsUsable(m_entries[index].id)) {
    *id = m_entries[index].id;
    return S_OK;
  }
  *id = GetStyleID(m_entries[index].style);
  // An entry known so far only by its style takes the ID with the use it owes the owner.
  if (IsUsable(*id) && index < m_entries.Size()) SetStyleRefID(&m_entries[index].id, *id);
  return S_OK;
}

// ---- references ----

BOOL JStyleMultiplexer::UsesStyleID(DWORD id) {
  if (IsUsable(id)) {
    for (DWORD i = 0; i < m_entries.Size(); ++i) {
      if (m_entries[i].id == id) return TRUE;
    }
  }
  for (DWORD i = 0; i < m_entries.Size(); ++i) {
    StyleComPtr<IJStyleRender> style;
    if (FAILED(ResolveEntry(i, style.Put())) || !style) continue;
    StyleComPtr<IJStyleUser> user;
    if (FAILED(style->QueryInterface(IID_IJStyleUser, user.PutVoid()))) continue;
    if (const BOOL uses = user->UsesStyleID(id)) return uses;
  }
  return CStyleRdr2dBase::UsesStyleID(id);
}

HRESULT JStyleMultiplexer::SetOwner(IUnknown* owner) {
  const DWORD count = m_entries.Size();
  bool cached = false;
  for (DWORD i = 0; i < count; ++i) cached = cached || m_entries[i].style;
  HRESULT hr;
  if (!m_owner && !cached) {
    hr = CStyleRdr2dBase::SetOwner(owner);
    if (FAILED(hr)) Report(hr, 1024);
    return hr;
  }
  // Every style is taken before anything changes: an entry the old owner cannot give fails the move and leaves
  // the multiplexer as it was.
  TakenStyles taken = TakeStyles(count);
  if (!taken) return Report(E_OUTOFMEMORY, 1031);
  for (DWORD i = 0; i < count; ++i) {
    if (FAILED(hr = GetEntry(static_cast<LONG>(i), taken[i].Put()))) return hr;
  }
  const bool hadOwner = m_owner != nullptr;
  for (DWORD i = 0; i < count; ++i) {
    ReleaseCache(m_entries[i].style);
    if (hadOwner) SetStyleRefID(&m_entries[i].id, kNoStyleID);
  }
  hr = CStyleRdr2dBase::SetOwner(owner);
  if (FAILED(hr)) Report(hr, 1039);
  // The entries take their styles again, with their IDs and uses in whichever owner is now in place. An entry
  // without a style keeps its ID: without an old owner it names a style of the new one, as after a load.
  for (DWORD i = 0; i < count && i < m_entries.Size(); ++i) {
    if (!taken[i]) continue;
    MuxEntry& entry = m_entries[i];
    SetStyleRefPtr(&entry.id, AsUnknownSlot(&entry.style), taken[i].Get());
    if (IsSelf(entry.style)) ReleaseCache(entry.style);
  }
  return hr;
}

HRESULT JStyleMultiplexer::ReleaseStyleRefs(DWORD value) {
  for (DWORD i = 0; i < m_entries.Size(); ++i) SetStyleRefID(&m_entries[i].id, kNoStyleID);
  return CStyleRdr2dBase::ReleaseStyleRefs(value);
}

HRESULT JStyleMultiplexer::EnumStyleRefs(StyleRefCallback callback) {
  if (!callback) return Report(E_INVALIDARG, 1080);
  for (DWORD i = 0; i < m_entries.Size(); ++i) {
    const HRESULT hr = callback(m_entries[i].id);
    if (FAILED(hr)) return Report(hr, 1084);
  }
  const HRESULT hr = CStyleRdr2dBase::EnumStyleRefs(callback);
  if (FAILED(hr)) Report(hr, 1089);
  return hr;
}

HRESULT JStyleMultiplexer::OnStyleChanged(DWORD id, DWORD newStyle) {
  const HRESULT hr = CStyleRdr2dBase::OnStyleChanged(id, newStyle);
  if (FAILED(hr)) return Report(hr, 2823);
  if (!IsUsable(id)) return hr;
  auto* style = reinterpret_cast<IUnknown*>(static_cast<UINT_PTR>(newStyle));
  bool refreshed = false;
  for (DWORD i = 0; i < m_entries.Size(); ++i) {
    if (m_entries[i].id != id) continue;
    ReleaseCache(m_entries[i].style);
    refreshed = true;
    // Without the new object (or given this multiplexer) the entry is resolved again on first use.
    if (!style || IsSelf(style)) continue;
    IJStyleRender* render = nullptr;
    const HRESULT found = style->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&render));
    if (FAILED(found)) return Report(found, 2836);
    m_entries[i].style = render;
  }
  return refreshed ? S_OK : hr;
}

HRESULT JStyleMultiplexer::SetReferencedStyle(IUnknown*) {
  DropReferencedStyle();
  m_referencedStyleID = kNoStyleID;
  return S_OK;
}

HRESULT JStyleMultiplexer::CopyToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                                         IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  const DWORD count = m_entries.Size();
  StyleGrowableArray<DWORD> newIDs;
  if (!newIDs.SetSize(count)) return Report(E_OUTOFMEMORY, 2683);
  HRESULT hr;
  // The entries' styles go to the target first, so that the copy can name them there. An entry that holds a
  // style not yet named in a library goes along too; only entries that name nothing stay empty.
  for (DWORD i = 0; i < count && i < m_entries.Size(); ++i) {
    if (m_entries[i].id == kNoStyleID && !m_entries[i].style) continue;
    hr = CopyReferenceToLibrary(this, m_entries[i].id, m_entries[i].style, source, target, targetDocument,
                                &newIDs[i], kSource, 2689, 2693, 2699, 2705);
    if (FAILED(hr)) return hr;
  }
  StyleComPtr<IUnknown> clone;
  hr = CStyleRdr2dBase::CopyToLibrary(source, target, targetDocument, clone.Put());
  if (FAILED(hr)) return Report(hr, 2751);
  if (count > 0) {
    StyleComPtr<IJStyleMultiplexer> copy;
    if (FAILED(hr = clone->QueryInterface(IID_IJStyleMultiplexer, copy.PutVoid()))) return Report(hr, 2760);
    if (FAILED(hr = copy->SetCount(static_cast<LONG>(count)))) return Report(hr, 2763);
    // An index left behind by a shrinking count is not carried over.
    if (m_currentIndex < count && FAILED(hr = copy->SetCurrentIndex(m_currentIndex))) return Report(hr, 2766);
    for (DWORD i = 0; i < count && i < m_entries.Size(); ++i) {
      if (newIDs[i] == kNoStyleID) continue;
      StyleComPtr<IUnknown> object;
      hr = target->GetStyle(newIDs[i], object.Put());
      if (SUCCEEDED(hr) && !object) hr = E_FAIL;
      if (FAILED(hr)) return Report(hr, 2777);
      StyleComPtr<IJStyleRender> render;
      if (FAILED(hr = object->QueryInterface(IID_IJStyleRender, render.PutVoid()))) return Report(hr, 2779);
      if (FAILED(hr = copy->SetEntry(static_cast<LONG>(i), render.Get()))) return Report(hr, 2782);
    }
  }
  *out = clone.Detach();
  return S_OK;
}

// ---- copying and comparing ----

HRESULT JStyleMultiplexer::Clone(IUnknown* outer, IUnknown** out) {
  if (!out) return Report(E_INVALIDARG, 1935);
  auto* copy = new JStyleMultiplexer(outer);
  if (!copy) return Report(E_OUTOFMEMORY, 1940);
  copy->AddRef();
  // The entries are not copied: the caller's copy step fills them.
  copy->m_styleKind = m_styleKind;
  copy->m_unitsCode = m_unitsCode;
  *out = static_cast<UUnknown*>(copy);
  return S_OK;
}

HRESULT JStyleMultiplexer::CopyFrom(IUnknown* source, DWORD flags) {
  HRESULT hr = CStyleRdr2dBase::CopyFrom(source, flags);
  if (FAILED(hr)) return Report(hr, 1976);
  StyleComPtr<IJStyleMultiplexer> other;
  if (FAILED(hr = source->QueryInterface(IID_IJStyleMultiplexer, other.PutVoid()))) return Report(hr, 1980);
  if (IsSelf(source)) return S_OK;
  DWORD count = 0;
  if (FAILED(hr = other->GetCount(&count))) return Report(hr, 1983);
  // The source's styles are all taken before the entries change, so that a failure leaves them as they were.
  TakenStyles taken = TakeStyles(count);
  if (!taken) return Report(E_OUTOFMEMORY, 1986);
  for (DWORD i = 0; i < count; ++i) {
    if (FAILED(hr = other->GetEntry(static_cast<LONG>(i), taken[i].Put()))) return Report(hr, 1990);
  }
  DWORD current = 0;
  if (FAILED(hr = other->GetCurrentIndex(&current))) return Report(hr, 1995);
  if (FAILED(hr = ReplaceEntries(count, true))) return Report(hr, 1998);
  for (DWORD i = 0; i < count; ++i) {
    if (!IsSelf(taken[i].Get())) m_entries[i].style = taken[i].Detach();
  }
  m_currentIndex = current;
  // In a library the entries take their IDs and uses at once; without one they are named when they get one.
  if (m_owner) {
    for (DWORD i = 0; i < count; ++i) {
      DWORD id;
      GetEntryID(i, &id);
    }
  }
  return S_OK;
}

HRESULT JStyleMultiplexer::IsEqual(IUnknown* other, BOOL* same) {
  if (!other || !same) return E_INVALIDARG;
  *same = FALSE;
  StyleComPtr<IJStyleMultiplexer> theirs;
  if (FAILED(other->QueryInterface(IID_IJStyleMultiplexer, theirs.PutVoid()))) return S_OK;
  DWORD count = 0;
  HRESULT hr = theirs->GetCount(&count);
  if (FAILED(hr)) return Report(hr, 2070);
  if (count != m_entries.Size()) return S_OK;
  for (DWORD i = 0; i < count; ++i) {
    StyleComPtr<IJStyleRender> mine;
    if (FAILED(hr = GetEntry(static_cast<LONG>(i), mine.Put()))) return hr;
    StyleComPtr<IJStyleRender> their;
    if (FAILED(hr = theirs->GetEntry(static_cast<LONG>(i), their.Put()))) return Report(hr, 2083);
    BOOL equal = FALSE;
    hr = SameReferencedStyle(mine.Get(), their.Get(), &equal, kSource, 2090);
    if (FAILED(hr) || !equal) return hr;
  }
  hr = CStyleRdr2dBase::IsEqual(other, same);
  if (FAILED(hr)) Report(hr, 2154);
  return hr;
}

// ---- drawing and extents ----

HRESULT JStyleMultiplexer::Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                  const RenderContextScales* context, IJStyleRender* substitute,
                                  tagStyleOverride* record, BOOL recordGiven, const StyleElementRecord* element) {
  // Each entry fills its own copy of the record: later entries are drawn over earlier ones, each as itself.
  const tagStyleOverride* given = recordGiven ? record : nullptr;
  return ForEachEntryStyle(
      [&](IJStyleRender* style) {
        return style->RenderWithContext(geometry, target, context, substitute, given, element);
      },
      1215);
}

HRESULT JStyleMultiplexer::RenderDefault(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                                         const RenderContextScales* context, const StyleElementRecord* element) {
  return Render(geometry, target, context, nullptr, nullptr, TRUE, element);
}

HRESULT JStyleMultiplexer::GetExtentDelta(StyleExtent* extent) {
  if (!extent) return E_INVALIDARG;
  *extent = StyleExtent{};
  return ForEachEntryStyle([&](IJStyleRender* style) { return MergeExtentDeltaOf(style, extent); }, 1420);
}

HRESULT JStyleMultiplexer::GetRange(StyleExtent* extent, const RenderContextScales* context,
                                    IJStyleRender* substitute, tagStyleOverride* record, BOOL recordGiven) {
  if (!extent) return E_INVALIDARG;
  const tagStyleOverride* given = recordGiven ? record : nullptr;
  return ForEachEntryStyle(
      [&](IJStyleRender* style) { return MergeRangeOf(style, extent, context, substitute, given); }, 1770);
}

// ---- persistence ----

HRESULT JStyleMultiplexer::SerializeVersioned(JArchive* archive) {
  if (IsStoring(archive) && m_entries.Size() > static_cast<DWORD>(kMaxEntries)) return Report(E_INVALIDARG, 1620);
  return CStyleRdr2dBase::SerializeVersioned(archive);
}

HRESULT JStyleMultiplexer::Serialize(JArchive* archive) {
  if (!IsVersioned(archive)) return SerializeCurrent(archive);
  WORD version = 0;
  DWORD scratch = 0;
  const HRESULT hr = ArchiveSerializeClassHeader(archive, &CLSID_JStyleMultiplexer, &version, &scratch);
  if (FAILED(hr)) return Report(hr, 1769);
  if (version == kCurrentVersion) return SerializeCurrent(archive);
  if (version == 2) return SerializeVersion2(archive);
  return S_OK;
}

HRESULT JStyleMultiplexer::SerializeCurrent(JArchive* archive) {
  StyleBaseRecord base{};
  HRESULT hr = SerializeBase(archive, &base);
  if (FAILED(hr)) return Report(hr, 1695);
  WORD reserved = 0;
  if (FAILED(hr = Exchange(archive, reserved))) return Report(hr, 1701);
  return SerializeEntryIDs(archive, false);
}

HRESULT JStyleMultiplexer::SerializeVersion2(JArchive* archive) {
  const HRESULT hr = SerializeClass(archive);
  if (FAILED(hr)) return Report(hr, 1777);
  return SerializeEntryIDs(archive, true);
}

HRESULT JStyleMultiplexer::SerializeEntryIDs(JArchive* archive, bool wideCount) {
  HRESULT hr;
  DWORD count = m_entries.Size();
  if (IsStoring(archive) && !wideCount && count > static_cast<DWORD>(kMaxEntries)) return Report(E_INVALIDARG, 1706);
  if (wideCount) {
    hr = Exchange(archive, count);
  } else {
    WORD narrow = static_cast<WORD>(count);
    hr = Exchange(archive, narrow);
    count = narrow;
  }
  if (FAILED(hr)) return Report(hr, 1710);
  if (IsStoring(archive)) {
    for (DWORD i = 0; i < count; ++i) {
      DWORD id = m_entries[i].id;
      if (FAILED(hr = Exchange(archive, id))) return Report(hr, 1716);
    }
    return S_OK;
  }
  if (FAILED(hr = CheckArchiveCount(archive, count, sizeof(DWORD)))) return Report(hr, 1720);
  StyleGrowableArray<DWORD> ids;
  if (!ids.SetSize(count)) return Report(E_OUTOFMEMORY, 1723);
  for (DWORD i = 0; i < count; ++i) {
    if (FAILED(hr = Exchange(archive, ids[i]))) return Report(hr, 1726);
  }
  // A load moves no use counts (the library's were stored with it); the styles are resolved on first use.
  if (FAILED(hr = ReplaceEntries(count, false))) return Report(hr, 1730);
  for (DWORD i = 0; i < count; ++i) m_entries[i].id = ids[i];
  return S_OK;
}

// ---- IJStyleMultiplexer ----

HRESULT STDMETHODCALLTYPE JStyleMultiplexer::IJStyleMultiplexerImp::SetKind(DWORD kind) {
  Object()->m_styleKind = kind;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleMultiplexer::IJStyleMultiplexerImp::SetCount(LONG count) {
  return Object()->SetCount(count);
}

HRESULT STDMETHODCALLTYPE JStyleMultiplexer::IJStyleMultiplexerImp::GetCount(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 440);
  *out = Object()->m_entries.Size();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleMultiplexer::IJStyleMultiplexerImp::SetEntry(LONG index, IJStyleRender* style) {
  return Object()->SetEntry(index, style);
}

HRESULT STDMETHODCALLTYPE JStyleMultiplexer::IJStyleMultiplexerImp::GetEntry(LONG index, IJStyleRender** out) {
  return Object()->GetEntry(index, out);
}

HRESULT STDMETHODCALLTYPE JStyleMultiplexer::IJStyleMultiplexerImp::RemoveAll() { return Object()->RemoveAll(); }

HRESULT STDMETHODCALLTYPE JStyleMultiplexer::IJStyleMultiplexerImp::SetEntryID(LONG index, DWORD id) {
  return Object()->SetEntryID(index, id);
}

HRESULT STDMETHODCALLTYPE JStyleMultiplexer::IJStyleMultiplexerImp::GetEntryID(DWORD index, DWORD* id) {
  return Object()->GetEntryID(index, id);
}

HRESULT STDMETHODCALLTYPE JStyleMultiplexer::IJStyleMultiplexerImp::SetCurrentIndex(DWORD index) {
  // An index past the entries is refused quietly: editors probe with it.
  if (index >= Object()->m_entries.Size()) return E_INVALIDARG;
  Object()->m_currentIndex = index;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleMultiplexer::IJStyleMultiplexerImp::GetCurrentIndex(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 700);
  *out = Object()->m_currentIndex;
  return S_OK;
}

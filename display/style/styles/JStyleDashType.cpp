#include "display/style/styles/JStyleDashType.h"

#include <cstdlib>
#include <cstring>

#include "display/style/server.h"
#include "display/style/stylbas/CStyleRdr2dBase.h"
#include "display/style/stylbas/StyleCallDepth.h"
#include "host/pellow/pellow.h"

namespace {

constexpr char kSource[] = "DASHTYPE";

HRESULT Report(HRESULT hr, int line) {
  HRerr(hr, 0, kSource, line);
  return hr;
}

bool IsUsableID(DWORD id) { return id != kNoStyleID && id != kInvalidStyleID; }

// A zeroed array of n interface slots (null for n = 0 or when the memory is not there).
template <class T>
T** AllocSlots(LONG n) {
  return n > 0 ? static_cast<T**>(std::calloc(static_cast<std::size_t>(n), sizeof(T*))) : nullptr;
}

template <class T>
void ReleaseSlots(T** slots, LONG n) {
  for (LONG i = 0; i < n; ++i) {
    if (slots[i]) {
      T* p = slots[i];
      slots[i] = nullptr;
      p->Release();
    }
  }
}

}  // namespace

JStyleDashType::JStyleDashType(IUnknown* outer) : JStyleBase(outer) {
  // A new dash type holds ten empty client IDs.
  m_clientIDs.SetSize(10);
  IncrementLiveObjectCount();
}

JStyleDashType::~JStyleDashType() {
  // Direct, not through the virtual operation: the derived part is gone already. The uses of the client IDs
  // stay with the library; ReleaseStyleRefs gives them back.
  if (m_clientCache) {
    ReleaseSlots(m_clientCache, m_clientCacheSize);
    std::free(m_clientCache);
    m_clientCache = nullptr;
  }
  DecrementLiveObjectCount();
}

void* JStyleDashType::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJStyleDashType)) return &m_IJStyleDashTypeImp;
  if (IsEqualIID(iid, IID_IJStyleDashTypeRender)) return &m_IJStyleDashTypeRenderImp;
  if (IsEqualIID(iid, IID_IJStyleSetup2d)) return &m_IJStyleSetup2dImp;
  return JStyleBase::GetInterface(iid);
}

// ---- the ID array and the cache ----

HRESULT JStyleDashType::GrowClientIDs(DWORD size) {
  return size <= m_clientIDs.Size() || m_clientIDs.SetSize(size) ? S_OK : E_OUTOFMEMORY;
}

HRESULT JStyleDashType::ResizeClientCache(LONG n) {
  if (n < 1) return FreeClientCache();
  if (n > m_clientCacheSize) {
    IJStyleDashTypeClient** grown = AllocSlots<IJStyleDashTypeClient>(n);
    if (!grown) return Report(E_OUTOFMEMORY, m_clientCache ? 1260 : 1273);
    if (m_clientCache) {
      std::memcpy(grown, m_clientCache, static_cast<std::size_t>(m_clientCacheSize) * sizeof(*grown));
      std::free(m_clientCache);
    }
    m_clientCache = grown;
  } else {
    ReleaseSlots(m_clientCache + n, m_clientCacheSize - n);
  }
  m_clientCacheSize = n;
  return S_OK;
}

HRESULT JStyleDashType::ReleaseClientInterfaces() {
  if (m_clientCache) ReleaseSlots(m_clientCache, m_clientCacheSize);
  return S_OK;
}

HRESULT JStyleDashType::FreeClientCache() {
  // Also without a cache: a derived class may hold what it made of the clients.
  const HRESULT hr = ReleaseClientInterfaces();
  if (FAILED(hr)) return Report(hr, 1219);
  if (!m_clientCache) return S_OK;
  std::free(m_clientCache);
  m_clientCache = nullptr;
  m_clientCacheSize = 0;
  return S_OK;
}

HRESULT JStyleDashType::FetchClient(DWORD id, IJStyleDashTypeClient** out, int line) {
  *out = nullptr;
  StyleComPtr<IJSLLibrarian> librarian;
  StyleComPtr<IUnknown> style;
  HRESULT hr = OwnerLibrarian(librarian.Put());
  if (SUCCEEDED(hr)) hr = librarian->GetStyle(id, style.Put());
  if (FAILED(hr)) return Report(hr, line);
  if (!style) return Report(E_FAIL, line);
  hr = style->QueryInterface(IID_IJStyleDashTypeClient, reinterpret_cast<void**>(out));
  if (FAILED(hr)) Report(hr, line + 3);
  return hr;
}

HRESULT JStyleDashType::ResolveClients() {
  if (m_clientCache || m_clientCount < 1 || !m_owner) return S_OK;
  HRESULT hr = ResizeClientCache(m_clientCount);
  if (FAILED(hr)) return Report(hr, 1132);
  // Every client that can be had is fetched; the first failure is the answer.
  HRESULT first = S_OK;
  for (LONG i = 0; i < m_clientCount; ++i) {
    const DWORD id = ClientID(i);
    if (m_clientCache[i] || !IsUsableID(id)) continue;
    hr = FetchClient(id, &m_clientCache[i], 1149);
    if (FAILED(hr) && SUCCEEDED(first)) first = hr;
  }
  return first;
}

IJStyleDashTypeClient* JStyleDashType::GetClient(LONG i) {
  if (m_clientCount > 0) {
    const HRESULT hr = ResolveClients();
    if (FAILED(hr)) Report(hr, 1074);
  }
  if (!m_clientCache || i < 0 || i >= m_clientCacheSize) return nullptr;
  if (!m_clientCache[i] && m_owner && IsUsableID(ClientID(i))) FetchClient(ClientID(i), &m_clientCache[i], 1082);
  IJStyleDashTypeClient* client = m_clientCache[i];
  if (client) client->AddRef();
  return client;
}

HRESULT JStyleDashType::ClientObject(LONG i, IUnknown** out) {
  *out = GetClient(i);
  return *out ? S_OK : E_FAIL;
}

// ---- the client list ----

HRESULT JStyleDashType::SetClient(LONG i, IJStyleDashTypeClient* client) {
  HRESULT hr = S_OK;
  if (i >= m_clientCacheSize) hr = ResizeClientCache(i + 1);
  if (SUCCEEDED(hr)) hr = GrowClientIDs(static_cast<DWORD>(i) + 1);
  if (FAILED(hr)) return Report(hr, 1322);
  hr = SetStyleRefPtr(&m_clientIDs[i], reinterpret_cast<IUnknown**>(&m_clientCache[i]), client);
  if (FAILED(hr)) Report(hr, 1326);
  return hr;
}

HRESULT JStyleDashType::SetClients(LONG count, IJStyleDashTypeClient** clients) {
  if (count < 0 || (count > 0 && !clients)) return Report(E_INVALIDARG, 676);
  HRESULT hr = ReleaseClientInterfaces();
  if (FAILED(hr)) return Report(hr, 680);
  hr = ResizeClientCache(count);
  if (FAILED(hr)) return Report(hr, 692);
  const LONG held = m_clientCount < static_cast<LONG>(m_clientIDs.Size()) ? m_clientCount
                                                                            : static_cast<LONG>(m_clientIDs.Size());
  if (m_owner) {
    // The uses follow the references: a client that leaves the list gives its use back, and one replaced in
    // place gives it back when its slot takes the new client.
    for (LONG i = count; i < held; ++i) SetStyleRefID(&m_clientIDs[i], kNoStyleID);
  } else {
    // Without an owner the IDs may be another library's (a copy made for a target library): they are dropped
    // without giving back uses that this object never held.
    for (LONG i = 0; i < held; ++i) m_clientIDs[i] = kNoStyleID;
  }
  if (count == 0) {
    m_clientIDs.RemoveAll();
  } else if (!m_clientIDs.SetSize(static_cast<DWORD>(count))) {
    return Report(E_OUTOFMEMORY, 692);
  }
  m_clientCount = count;
  for (LONG i = 0; i < count; ++i) {
    hr = SetClient(i, clients[i]);
    if (FAILED(hr)) return Report(hr, 726);
  }
  return S_OK;
}

HRESULT JStyleDashType::SetClientID(LONG i, DWORD id) {
  HRESULT hr = S_OK;
  if (i >= m_clientCacheSize) hr = ResizeClientCache(i + 1);
  if (SUCCEEDED(hr)) hr = GrowClientIDs(static_cast<DWORD>(i) + 1);
  if (FAILED(hr)) return Report(hr, 1353);
  hr = SetStyleRefID(&m_clientIDs[i], id);
  if (FAILED(hr)) Report(hr, 1356);
  return hr;
}

HRESULT JStyleDashType::SetClientIDs(LONG count, const DWORD* ids) {
  if (count < 0 || (count > 0 && !ids)) return Report(E_INVALIDARG, 752);
  HRESULT hr = S_OK;
  const DWORD heldIDs = m_clientIDs.Size();
  LONG accepted = 0;
  bool changed = false;
  for (LONG i = count - 1; i >= 0; --i) {
    const DWORD before = ClientID(i);
    hr = SetClientID(i, ids[i]);
    if (FAILED(hr)) {
      Report(hr, 791);
      break;
    }
    ++accepted;
    changed = changed || ids[i] != before;
  }
  if (accepted == 0 && count > 0) {
    // Refused at its first ID, the call changes nothing: not the ID array, not the count of clients.
    if (m_clientIDs.Size() > heldIDs) m_clientIDs.SetSize(heldIDs);
    return hr;
  }
  // The cache mirrors the IDs and goes once one of them has moved. A call that moves none keeps it, which without
  // an owner is all there is of a client set by pointer.
  if (changed) {
    const HRESULT freed = FreeClientCache();
    if (FAILED(freed)) return Report(freed, 757);
  }
  // IDs beyond `count` stay; those set before a failure hold their uses and so count as clients.
  if (count > m_clientCount) m_clientCount = count;
  return hr;
}

HRESULT JStyleDashType::GetClients(LONG count, IJStyleDashTypeClient** out) {
  if (count < 0 || (count > 0 && !out)) return Report(E_INVALIDARG, 825);
  if (m_clientCount > 0) {
    const HRESULT hr = ResolveClients();
    if (FAILED(hr)) return Report(hr, 830);
  }
  const LONG n = count < m_clientCount ? count : m_clientCount;
  for (LONG i = 0; i < n; ++i) out[i] = GetClient(i);
  return count < m_clientCount ? S_FALSE : S_OK;
}

HRESULT JStyleDashType::GetClientIDs(LONG count, DWORD* out) {
  if (count < 0 || (count > 0 && !out)) return Report(E_INVALIDARG, 880);
  if (m_clientCount > 0) {
    const HRESULT hr = ResolveClients();
    if (FAILED(hr)) return Report(hr, 885);
  }
  const DWORD size = m_clientIDs.Size();
  const DWORD n = static_cast<DWORD>(count) < size ? static_cast<DWORD>(count) : size;
  if (n) std::memcpy(out, m_clientIDs.Data(), n * sizeof(DWORD));
  return n < size ? S_FALSE : S_OK;
}

HRESULT JStyleDashType::GetExtents(StyleExtent* extent, const RenderContextScales* context,
                                   const tagStyleOverride* record) {
  if (!extent) return Report(E_INVALIDARG, 322);
  // A client that cannot be had adds nothing: drawing never fails for want of a client.
  if (m_clientCount > 0) {
    const HRESULT hr = ResolveClients();
    if (FAILED(hr)) Report(hr, 327);
  }
  for (LONG i = 0; i < m_clientCount; ++i) {
    StyleComPtr<IJStyleDashTypeClient> client(GetClient(i));
    if (!client) continue;
    StyleComPtr<IJStyleRender> render;
    HRESULT hr = client->QueryInterface(IID_IJStyleRender, render.PutVoid());
    if (FAILED(hr)) {
      Report(hr, 346);
      continue;
    }
    StyleExtent local{};
    if (FAILED(render->GetRangeWithContext(&local, context, nullptr, record))) continue;
    if (local.value > extent->value) extent->value = local.value;
    if (local.first > extent->first) extent->first = local.first;
    if (local.second > extent->second) extent->second = local.second;
  }
  return S_OK;
}

// ---- JStyleBase operations ----

BOOL JStyleDashType::UsesStyleID(DWORD id) {
  HRESULT hr = ResolveClients();
  if (FAILED(hr)) {
    Report(hr, 1956);
    return FALSE;
  }
  for (LONG i = 0; i < m_clientCount; ++i) {
    const DWORD clientID = ClientID(i);
    if (clientID == kNoStyleID) continue;
    if (clientID == id) return TRUE;
    StyleComPtr<IUnknown> client;
    if (FAILED(ClientObject(i, client.Put()))) continue;
    StyleComPtr<IJStyleUser> user;
    if (SUCCEEDED(client->QueryInterface(IID_IJStyleUser, user.PutVoid())) && user->UsesStyleID(id)) return TRUE;
  }
  return JStyleBase::UsesStyleID(id);
}

HRESULT JStyleDashType::CopyFrom(IUnknown* source, DWORD) {
  if (!source) return Report(E_INVALIDARG, 1386);
  return S_OK;
}

HRESULT JStyleDashType::IsEqual(IUnknown* other, BOOL* same) {
  if (!other || !same) return E_INVALIDARG;
  *same = FALSE;
  StyleComPtr<IJStyleDashType> theirs;
  if (FAILED(other->QueryInterface(IID_IJStyleDashType, theirs.PutVoid()))) return S_OK;
  DWORD count = 0;
  if (FAILED(theirs->GetClientCount(&count)) || count != static_cast<DWORD>(m_clientCount)) return S_OK;
  if (m_clientCount > 0) {
    IJStyleDashTypeClient** list = AllocSlots<IJStyleDashTypeClient>(m_clientCount);
    if (!list) return Report(E_OUTOFMEMORY, 1428);
    HRESULT hr = theirs->GetClients(m_clientCount, list);
    if (FAILED(hr)) Report(hr, 1428);
    bool equal = SUCCEEDED(hr);
    for (LONG i = 0; equal && i < m_clientCount; ++i) {
      StyleComPtr<IJStyleDashTypeClient> mine(GetClient(i));
      if (mine.Get() == list[i]) continue;
      equal = false;
      if (!mine || !list[i]) break;
      StyleComPtr<IJManageStyle2> manage;
      if (FAILED(mine->QueryInterface(IID_IJManageStyle2, manage.PutVoid()))) break;
      BOOL clientSame = FALSE;
      hr = manage->IsSameStyle(list[i], &clientSame);
      if (FAILED(hr)) Report(hr, 1442);
      equal = SUCCEEDED(hr) && clientSame;
    }
    ReleaseSlots(list, m_clientCount);
    std::free(list);
    if (FAILED(hr)) return hr;
    if (!equal) return S_OK;
  }
  const HRESULT hr = JStyleBase::IsEqual(other, same);
  if (FAILED(hr)) Report(hr, 1461);
  return hr;
}

HRESULT JStyleDashType::SetOwner(IUnknown* owner) {
  bool anyCached = false;
  for (LONG i = 0; m_clientCache && i < m_clientCacheSize; ++i) anyCached = anyCached || m_clientCache[i];
  HRESULT hr;
  if (!m_owner && !anyCached) {
    hr = JStyleBase::SetOwner(owner);
    if (FAILED(hr)) Report(hr, 1512);
    return hr;
  }
  // The clients are taken as objects, so that their uses can move from the old library to the new.
  const LONG n = m_clientCount;
  IJStyleDashTypeClient** taken = AllocSlots<IJStyleDashTypeClient>(n);
  if (n > 0 && !taken) return Report(E_OUTOFMEMORY, 1518);
  for (LONG i = 0; i < n; ++i) taken[i] = GetClient(i);
  ReleaseClientInterfaces();
  if (m_owner) {
    for (LONG i = 0; i < n && static_cast<DWORD>(i) < m_clientIDs.Size(); ++i) {
      hr = SetStyleRefID(&m_clientIDs[i], kNoStyleID);
      if (FAILED(hr)) Report(hr, 1530);
    }
  }
  hr = JStyleBase::SetOwner(owner);
  if (FAILED(hr)) {
    Report(hr, 1535);
  } else {
    for (LONG i = 0; i < n; ++i) {
      const HRESULT set = SetClient(i, taken[i]);
      if (FAILED(set)) {
        hr = Report(set, 1541);
        break;
      }
    }
  }
  if (taken) {
    ReleaseSlots(taken, n);
    std::free(taken);
  }
  return hr;
}

HRESULT JStyleDashType::ReleaseStyleRefs(DWORD value) {
  for (LONG i = 0; i < m_clientCount && static_cast<DWORD>(i) < m_clientIDs.Size(); ++i) {
    SetStyleRefID(&m_clientIDs[i], kNoStyleID);
  }
  return JStyleBase::ReleaseStyleRefs(value);
}

HRESULT JStyleDashType::EnumStyleRefs(StyleRefCallback callback) {
  if (!callback) return E_INVALIDARG;
  HRESULT hr;
  for (LONG i = 0; i < m_clientCount; ++i) {
    hr = callback(ClientID(i));
    if (FAILED(hr)) return Report(hr, 1604);
  }
  hr = JStyleBase::EnumStyleRefs(callback);
  if (FAILED(hr)) Report(hr, 1608);
  return hr;
}

HRESULT JStyleDashType::CopyClientsToLibrary(IJSLLibrarian* source, IJSLLibrarian* target,
                                             IUnknown* targetDocument, IJStyleDashTypeClient** copies) {
  HRESULT hr = ResolveClients();
  if (FAILED(hr)) return Report(hr, 1817);
  for (LONG i = 0; i < m_clientCount; ++i) {
    const DWORD id = ClientID(i);
    if (id == kNoStyleID) continue;
    DWORD newID = 0;
    bool copied = false;
    if (m_owner && id != kInvalidStyleID) copied = SUCCEEDED(target->CopyStyleFromLibrary(id, m_owner, &newID));
    if (!copied) {
      StyleComPtr<IJManageStyle2> manage;
      if (i < m_clientCacheSize && m_clientCache[i]) {
        hr = m_clientCache[i]->QueryInterface(IID_IJManageStyle2, manage.PutVoid());
        if (FAILED(hr)) return Report(hr, 1838);
      } else {
        StyleComPtr<IJSLLibrarian> librarian;
        StyleComPtr<IUnknown> style;
        hr = OwnerLibrarian(librarian.Put());
        if (SUCCEEDED(hr)) hr = librarian->GetStyle(id, style.Put());
        if (FAILED(hr)) return Report(hr, 1844);
        hr = style->QueryInterface(IID_IJManageStyle2, manage.PutVoid());
        if (FAILED(hr)) return Report(hr, 1848);
      }
      newID = 0;
      hr = manage->CopyStyleToLibrary(source, target, targetDocument, &newID);
      if (FAILED(hr)) return Report(hr, 1854);
    }
    StyleComPtr<IUnknown> copiedStyle;
    hr = target->GetStyle(newID, copiedStyle.Put());
    if (FAILED(hr)) return Report(hr, 1862);
    hr = copiedStyle->QueryInterface(IID_IJStyleDashTypeClient, reinterpret_cast<void**>(&copies[i]));
    if (FAILED(hr)) return Report(hr, 1865);
  }
  return S_OK;
}

HRESULT JStyleDashType::CopyToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                                      IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!target) return E_INVALIDARG;
  const LONG n = m_clientCount;
  IJStyleDashTypeClient** copies = AllocSlots<IJStyleDashTypeClient>(n);
  if (n > 0 && !copies) return Report(E_OUTOFMEMORY, 1812);
  HRESULT hr = CopyClientsToLibrary(source, target, targetDocument, copies);
  StyleComPtr<IUnknown> clone;
  if (SUCCEEDED(hr)) {
    hr = JStyleBase::CopyToLibrary(source, target, targetDocument, clone.Put());
    if (FAILED(hr)) Report(hr, 1870);
  }
  if (SUCCEEDED(hr) && n > 0) {
    StyleComPtr<IJStyleDashType> dash;
    hr = clone->QueryInterface(IID_IJStyleDashType, dash.PutVoid());
    if (FAILED(hr)) {
      Report(hr, 1875);
    } else {
      hr = dash->SetClients(n, copies);
      if (FAILED(hr)) Report(hr, 1878);
    }
  }
  if (copies) {
    ReleaseSlots(copies, n);
    std::free(copies);
  }
  if (SUCCEEDED(hr)) *out = clone.Detach();
  return hr;
}

GUID* JStyleDashType::GetStyleCategory(GUID* out) {
  *out = STYLETYPE_Dash;
  return out;
}

HRESULT JStyleDashType::OnStyleChanged(DWORD id, DWORD newStyle) {
  HRESULT hr = JStyleBase::OnStyleChanged(id, newStyle);
  if (FAILED(hr)) Report(hr, 1917);
  if (id == kNoStyleID) return hr;
  auto* style = reinterpret_cast<IUnknown*>(static_cast<UINT_PTR>(newStyle));
  for (DWORD i = 0; i < m_clientIDs.Size(); ++i) {
    if (m_clientIDs[i] != id || static_cast<LONG>(i) >= m_clientCacheSize) continue;
    if (m_clientCache[i]) {
      IJStyleDashTypeClient* old = m_clientCache[i];
      m_clientCache[i] = nullptr;
      old->Release();
    }
    // Without a new object the slot stays empty and the client is fetched again by its ID.
    hr = style ? style->QueryInterface(IID_IJStyleDashTypeClient, reinterpret_cast<void**>(&m_clientCache[i]))
               : S_OK;
  }
  return hr;
}

// ---- persistence of the client list ----

HRESULT JStyleDashType::ExchangeClientIDs(JArchive* archive, DWORD count, int loadLine, int storeLine,
                                          int freeLine) {
  HRESULT hr;
  if (!IsLoading(archive)) {
    for (DWORD i = 0; i < count; ++i) {
      DWORD id = ClientID(static_cast<LONG>(i));
      if (FAILED(hr = Exchange(archive, id))) return Report(hr, storeLine);
    }
    return S_OK;
  }
  hr = CheckArchiveCount(archive, count, sizeof(DWORD));
  if (SUCCEEDED(hr)) hr = GrowClientIDs(count);
  if (FAILED(hr)) return Report(hr, loadLine);
  for (DWORD i = 0; i < count; ++i) {
    if (FAILED(hr = Exchange(archive, m_clientIDs[i]))) return Report(hr, loadLine);
  }
  // The clients are fetched again from the IDs loaded.
  if (FAILED(hr = FreeClientCache())) return Report(hr, freeLine);
  return S_OK;
}

HRESULT JStyleDashType::Serialize(JArchive* archive) {
  HRESULT hr = JStyleBase::Serialize(archive);
  if (FAILED(hr)) return Report(hr, 1716);
  DWORD count = static_cast<DWORD>(m_clientCount);
  hr = Exchange(archive, count);
  if (FAILED(hr)) return Report(hr, 1719);
  if (FAILED(hr = ExchangeClientIDs(archive, count, 1731, 1771, 1738))) return hr;
  if (IsLoading(archive)) m_clientCount = static_cast<LONG>(count);
  return S_OK;
}

HRESULT JStyleDashType::SerializeClientCount(JArchive* archive, WORD* scratch) {
  if (!scratch) return E_INVALIDARG;
  *scratch = static_cast<WORD>(m_clientCount);
  const HRESULT hr = ArchiveSerializeBytes(archive, sizeof(WORD), scratch);
  if (FAILED(hr)) return Report(hr, 1636);
  if (IsLoading(archive)) m_clientCount = *scratch;
  return S_OK;
}

HRESULT JStyleDashType::SerializeClientIDs(JArchive* archive) {
  return ExchangeClientIDs(archive, static_cast<DWORD>(m_clientCount), 1674, 1690, 1681);
}

// ---- lengths and drawing ----

double JStyleDashType::GetScaleForUnits(DWORD code, const RenderContextScales* context) {
  return CStyleRdr2dBase::GetScaleForUnits(code, context);
}

double JStyleDashType::ConvertStyleLength(double value, DWORD code, const RenderContextScales* context,
                                          BOOL clamp) {
  return CStyleRdr2dBase::ConvertStyleLength(value, code, context, clamp);
}

HRESULT JStyleDashType::RenderDashes(const StylePointRun*, IRenderTarget2d*, const RenderContextScales*, DWORD,
                                     const tagStyleOverride*, const StyleElementRecord*, DWORD, double) {
  return E_NOTIMPL;
}

// ---- IJStyleDashTypeRender ----

HRESULT STDMETHODCALLTYPE JStyleDashType::IJStyleDashTypeRenderImp::NotOffered3(DWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE JStyleDashType::IJStyleDashTypeRenderImp::GetExtents(StyleExtent* extent,
                                                                              const RenderContextScales* context,
                                                                              DWORD,
                                                                              const tagStyleOverride* record) {
  // The clients' ranges may lead back to this dash type.
  StyleCallDepth depth;
  if (!depth.Entered()) return S_OK;
  return depth.Answer(Object()->GetExtents(extent, context, record));
}

HRESULT STDMETHODCALLTYPE JStyleDashType::IJStyleDashTypeRenderImp::RenderDashes(
    const StylePointRun* run, IRenderTarget2d* target, const RenderContextScales* context, DWORD fitRequest,
    const tagStyleOverride* record, const StyleElementRecord* element, DWORD colour, double width) {
  // The clients draw styles of their own, which may lead back to this dash type.
  StyleCallDepth depth;
  if (!depth.Entered()) return S_OK;
  const HRESULT hr = Object()->RenderDashes(run, target, context, fitRequest, record, element, colour, width);
  if (FAILED(hr)) Report(hr, 277);
  return depth.Answer(hr);
}

// ---- IJStyleDashType ----

HRESULT STDMETHODCALLTYPE JStyleDashType::IJStyleDashTypeImp::NotOffered3(DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE JStyleDashType::IJStyleDashTypeImp::NotOffered4(DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE JStyleDashType::IJStyleDashTypeImp::NotOffered5(DWORD, DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE JStyleDashType::IJStyleDashTypeImp::NotOffered6(DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE JStyleDashType::IJStyleDashTypeImp::NotOffered7(DWORD, DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE JStyleDashType::IJStyleDashTypeImp::NotOffered8(DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE JStyleDashType::IJStyleDashTypeImp::NotOffered9(DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE JStyleDashType::IJStyleDashTypeImp::NotOffered10(DWORD, DWORD, DWORD, DWORD, DWORD) {
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE JStyleDashType::IJStyleDashTypeImp::SetClients(LONG count,
                                                                        IJStyleDashTypeClient** clients) {
  return Object()->SetClients(count, clients);
}

HRESULT STDMETHODCALLTYPE JStyleDashType::IJStyleDashTypeImp::SetClientIDs(LONG count, const DWORD* ids) {
  return Object()->SetClientIDs(count, ids);
}

HRESULT STDMETHODCALLTYPE JStyleDashType::IJStyleDashTypeImp::GetClients(LONG count,
                                                                        IJStyleDashTypeClient** out) {
  return Object()->GetClients(count, out);
}

HRESULT STDMETHODCALLTYPE JStyleDashType::IJStyleDashTypeImp::GetClientIDs(LONG count, DWORD* out) {
  return Object()->GetClientIDs(count, out);
}

HRESULT STDMETHODCALLTYPE JStyleDashType::IJStyleDashTypeImp::GetClientCount(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 935);
  *out = static_cast<DWORD>(Object()->m_clientCount);
  return S_OK;
}

// ---- IJStyleSetup2d ----

HRESULT STDMETHODCALLTYPE JStyleDashType::IJStyleSetup2dImp::GetOwner(IUnknown** out) {
  return Object()->GetOwner(out);
}

HRESULT STDMETHODCALLTYPE JStyleDashType::IJStyleSetup2dImp::SetLibrarian(IUnknown* librarian) {
  return Object()->SetLibrarian(librarian);
}

HRESULT STDMETHODCALLTYPE JStyleDashType::IJStyleSetup2dImp::SetReferencedStyle(IUnknown*) { return S_OK; }

HRESULT STDMETHODCALLTYPE JStyleDashType::IJStyleSetup2dImp::SetReferencedStyleID(DWORD) { return S_OK; }

HRESULT STDMETHODCALLTYPE JStyleDashType::IJStyleSetup2dImp::GetReferencedStyle(IJStyleRender** out) {
  if (!out) return Report(E_INVALIDARG, 1005);
  *out = nullptr;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleDashType::IJStyleSetup2dImp::GetReferencedStyleID(DWORD* out) {
  if (!out) return Report(E_INVALIDARG, 1025);
  *out = kNoStyleID;
  return S_OK;
}

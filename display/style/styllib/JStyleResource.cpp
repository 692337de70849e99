#include "display/style/styllib/JStyleResource.h"

#include <cstdlib>
#include <cwchar>

#include "display/style/server.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/JEnumPath.h"
#include "display/style/styllib/StyleText.h"
#include "display/style/styllib/StyleReport.h"

namespace {

constexpr char kSource[] = "STYLRES";


}  // namespace

JStyleResource::JStyleResource(IUnknown* outer) : StyleOwnUnknown(outer), m_names(8) {
  IncrementLiveObjectCount();
  ResetNames(kInitialSlots);
}

JStyleResource::~JStyleResource() {
  ResetNames(0);
  DecrementLiveObjectCount();
}

HRESULT STDMETHODCALLTYPE JStyleResource::QueryInterface(REFIID iid, void** out) {
  if (!out) return REPORT(E_INVALIDARG);
  IUnknown* found = nullptr;
  if (IsEqualIID(iid, IID_IUnknown)) {
    found = this;
  } else if (IsEqualIID(iid, IID_IJStyleResourceList)) {
    found = &m_IJStyleResourceListImp;
  } else if (IsEqualIID(iid, IID_IJPersist) || IsEqualIID(iid, IID_IPersist)) {
    found = &m_IJPersistImp;
  }
  return HandOut(found, out);
}

BOOL JStyleResource::Contains(LPCWSTR name) {
  for (DWORD i = 0; i < m_count; ++i) {
    if (StyleNamesEqualUpper(m_names[i], name)) return TRUE;
  }
  return FALSE;
}

bool JStyleResource::ResetNames(DWORD slots) {
  for (DWORD i = 0; i < m_names.Size(); ++i) StyleFreeText(m_names[i]);
  m_names.RemoveAll();
  m_count = 0;
  return m_names.SetSize(slots);
}

HRESULT JStyleResource::PutName(DWORD index, LPCWSTR name) {
  if (index > m_count) return E_INVALIDARG;
  if (index >= m_names.Size() && !m_names.SetSize(index + 1)) return E_OUTOFMEMORY;
  if (!StyleReplaceText(&m_names[index], name)) return E_OUTOFMEMORY;
  if (index == m_count) ++m_count;
  return S_OK;
}

HRESULT JStyleResource::Serialize(JArchive* archive) {
  if (!archive) return E_INVALIDARG;
  const bool loading = (archive->flags & ARCHIVE_LOADING) != 0;
  const bool storing = (archive->flags & ARCHIVE_STORING) != 0;
  if (loading && m_count > 0) ResetNames(kInitialSlots);
  DWORD count = m_count;
  HRESULT hr = ArchiveSerializeBytes(archive, sizeof count, &count);
  if (FAILED(hr)) return REPORT(hr);

  if (loading) {
    // Every name takes at least its length word: a count beyond that is damage, not a list.
    if (count > ArchiveBytesLeft(archive) / sizeof(DWORD)) return REPORT(HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
    m_count = 0;
    if (count > kInitialSlots && !m_names.SetSize(count)) return REPORT(E_OUTOFMEMORY);
    for (DWORD i = 0; i < count; ++i) {
      DWORD units = 0;
      if (FAILED(hr = ArchiveSerializeBytes(archive, sizeof units, &units))) return REPORT(hr);
      if (units > ArchiveBytesLeft(archive) / sizeof(WCHAR)) return REPORT(HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
      LPWSTR name = static_cast<LPWSTR>(std::malloc((units + 1) * sizeof(WCHAR)));
      if (!name) return REPORT(E_OUTOFMEMORY);
      if (units && FAILED(hr = ArchiveSerializeBytes(archive, units * sizeof(WCHAR), name))) {
        StyleFreeText(name);
        return REPORT(hr);
      }
      name[units] = 0;
      // A stored list may repeat a name in another case; the first one stays.
      if (!Contains(name)) hr = PutName(m_count, name);
      StyleFreeText(name);
      if (FAILED(hr)) return REPORT(hr);
    }
  } else if (storing) {
    for (DWORD i = 0; i < m_count; ++i) {
      LPWSTR name = m_names[i];
      DWORD units = name ? static_cast<DWORD>(std::wcslen(name)) : 0;
      if (FAILED(hr = ArchiveSerializeBytes(archive, sizeof units, &units))) return REPORT(hr);
      if (units && FAILED(hr = ArchiveSerializeBytes(archive, units * sizeof(WCHAR), name))) return REPORT(hr);
    }
  }
  return S_OK;
}

// ---- IJStyleResourceList ----

HRESULT STDMETHODCALLTYPE JStyleResource::IJStyleResourceListImp::Enum(DWORD, IEnumString** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  JStyleResource* list = Object();
  if (list->m_count == 0) return E_FAIL;
  JEnumPath* enumerator = JEnumPath::Create(list, 0, list->m_count);
  if (!enumerator) return E_FAIL;
  *out = enumerator;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleResource::IJStyleResourceListImp::NewEnum(DWORD value, IUnknown** out) {
  return Enum(value, reinterpret_cast<IEnumString**>(out));
}

HRESULT STDMETHODCALLTYPE JStyleResource::IJStyleResourceListImp::SetAt(DWORD index, LPCWSTR name) {
  if (!name) return E_INVALIDARG;
  JStyleResource* list = Object();
  if (list->Contains(name)) return S_FALSE;
  // A name may replace one in use or follow the last; a gap of empty names is not a list of files.
  HRESULT hr = list->PutName(index, name);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT STDMETHODCALLTYPE JStyleResource::IJStyleResourceListImp::GetAt(DWORD index, LPWSTR buffer,
                                                                        DWORD* byteSize) {
  const JStyleResource* list = Object();
  if ((!buffer && !byteSize) || index >= list->m_count) return REPORT(E_INVALIDARG);
  // Without its size a buffer cannot be known to hold the name.
  if (!byteSize) return REPORT(E_INVALIDARG);
  return StyleCopyTextOut(list->m_names[index], buffer, byteSize);
}

HRESULT STDMETHODCALLTYPE JStyleResource::IJStyleResourceListImp::Add(LPCWSTR name) {
  if (!name) return E_INVALIDARG;
  JStyleResource* list = Object();
  if (list->Contains(name)) return S_FALSE;
  HRESULT hr = list->PutName(list->m_count, name);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT STDMETHODCALLTYPE JStyleResource::IJStyleResourceListImp::InsertAt(DWORD index, LPCWSTR name) {
  if (!name) return E_INVALIDARG;
  JStyleResource* list = Object();
  if (list->Contains(name)) return S_FALSE;
  if (index > list->m_count) return REPORT(E_INVALIDARG);
  LPWSTR copy = StyleDupText(name);
  if (!copy || !list->m_names.InsertGap(index)) {
    StyleFreeText(copy);
    return REPORT(E_OUTOFMEMORY);
  }
  list->m_names[index] = copy;
  ++list->m_count;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleResource::IJStyleResourceListImp::RemoveAll() {
  Object()->ResetNames(0);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleResource::IJStyleResourceListImp::GetCount(DWORD* count) {
  if (!count) return E_INVALIDARG;
  *count = Object()->m_count;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleResource::IJStyleResourceListImp::RemoveAt(DWORD index) {
  JStyleResource* list = Object();
  if (index >= list->m_count) return REPORT(E_INVALIDARG);
  StyleFreeText(list->m_names[index]);
  list->m_names[index] = nullptr;
  list->m_names.RemoveAt(index);
  --list->m_count;
  return S_OK;
}

// ---- IJPersist ----

HRESULT STDMETHODCALLTYPE JStyleResource::IJPersistImp::GetClassID(CLSID* out) {
  if (!out) return E_INVALIDARG;
  *out = CLSID_JStyleResource;
  return S_OK;
}

void* STDMETHODCALLTYPE JStyleResource::IJPersistImp::GetImplementation() { return Object(); }

HRESULT STDMETHODCALLTYPE JStyleResource::IJPersistImp::Load(JArchive* archive) {
  return Object()->Serialize(archive);
}

HRESULT STDMETHODCALLTYPE JStyleResource::IJPersistImp::Store(JArchive* archive) {
  if (!archive) return E_INVALIDARG;
  HRESULT hr = StyleExchangeClassHeader(archive, CLSID_JStyleResource);
  if (FAILED(hr)) return REPORT(hr);
  return Object()->Serialize(archive);
}

HRESULT STDMETHODCALLTYPE JStyleResource::IJPersistImp::Clone(IUnknown* outer, IUnknown** out) {
  HRESULT hr = StyleNewOwnObject<JStyleResource>(outer, out);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT STDMETHODCALLTYPE JStyleResource::IJPersistImp::InitNew() { return S_OK; }

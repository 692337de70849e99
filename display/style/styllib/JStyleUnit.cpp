#include "display/style/styllib/JStyleUnit.h"

#include <cstring>

#include "display/style/server.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/StyleReport.h"

namespace {

constexpr char kSource[] = "STYLUNIT";


}  // namespace

JStyleUnit::JStyleUnit(IUnknown* outer) : StyleOwnUnknown(outer) { IncrementLiveObjectCount(); }

JStyleUnit::~JStyleUnit() { DecrementLiveObjectCount(); }

HRESULT STDMETHODCALLTYPE JStyleUnit::QueryInterface(REFIID iid, void** out) {
  if (!out) return REPORT(E_INVALIDARG);
  IUnknown* found = nullptr;
  if (IsEqualIID(iid, IID_IUnknown)) {
    found = this;
  } else if (IsEqualIID(iid, IID_IJStyleUnitSettings)) {
    found = &m_IJStyleUnitSettingsImp;
  } else if (IsEqualIID(iid, IID_IJPersist) || IsEqualIID(iid, IID_IPersist)) {
    found = &m_IJPersistImp;
  }
  return HandOut(found, out);
}

HRESULT JStyleUnit::SerializeRecord(JArchive* archive) {
  if (!archive) return E_INVALIDARG;
  if (archive->flags & ARCHIVE_LOADING) m_table = StyleUnitTable{};
  HRESULT hr;
  if (FAILED(hr = ArchiveSerializeBytes(archive, sizeof m_unitValue, m_unitValue))) return REPORT(hr);
  if (FAILED(hr = ArchiveSerializeBytes(archive, sizeof m_unitCode, &m_unitCode))) return REPORT(hr);
  if (FAILED(hr = ArchiveSerializeBytes(archive, 1, &m_table.count))) return REPORT(hr);
  // The count is a byte, so entry 255 (the 256th slot) never travels.
  for (DWORD i = 0; i < m_table.count; ++i) {
    if (FAILED(hr = ArchiveSerializeBytes(archive, 1, &m_table.first[i]))) return REPORT(hr);
    if (FAILED(hr = ArchiveSerializeBytes(archive, 1, &m_table.second[i]))) return REPORT(hr);
    if (FAILED(hr = ArchiveSerializeBytes(archive, 1, &m_table.third[i]))) return REPORT(hr);
  }
  return S_OK;
}

// ---- IJStyleUnitSettings ----

HRESULT STDMETHODCALLTYPE JStyleUnit::IJStyleUnitSettingsImp::SetUnitValues(const void* value, const DWORD* code) {
  if (!value) return E_INVALIDARG;
  std::memcpy(Object()->m_unitValue, value, sizeof Object()->m_unitValue);
  if (!code) return E_INVALIDARG;
  Object()->m_unitCode = *code;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleUnit::IJStyleUnitSettingsImp::GetUnitValues(void* value, DWORD* code) {
  if (!value) return E_INVALIDARG;
  std::memcpy(value, Object()->m_unitValue, sizeof Object()->m_unitValue);
  if (!code) return E_INVALIDARG;
  *code = Object()->m_unitCode;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleUnit::IJStyleUnitSettingsImp::SetUnitTable(const StyleUnitTable* table) {
  if (!table) return E_INVALIDARG;
  Object()->m_table = *table;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleUnit::IJStyleUnitSettingsImp::GetUnitTable(StyleUnitTable* table) {
  if (!table) return E_INVALIDARG;
  *table = Object()->m_table;
  return S_OK;
}

// ---- IJPersist ----

HRESULT STDMETHODCALLTYPE JStyleUnit::IJPersistImp::GetClassID(CLSID* out) {
  if (!out) return E_INVALIDARG;
  *out = CLSID_JStyleUnit;
  return S_OK;
}

void* STDMETHODCALLTYPE JStyleUnit::IJPersistImp::GetImplementation() { return Object(); }

HRESULT STDMETHODCALLTYPE JStyleUnit::IJPersistImp::Load(JArchive* archive) {
  return Object()->SerializeRecord(archive);
}

HRESULT STDMETHODCALLTYPE JStyleUnit::IJPersistImp::Store(JArchive* archive) {
  if (!archive) return E_INVALIDARG;
  HRESULT hr = StyleExchangeClassHeader(archive, CLSID_JStyleUnit);
  if (FAILED(hr)) return REPORT(hr);
  return Object()->SerializeRecord(archive);
}

HRESULT STDMETHODCALLTYPE JStyleUnit::IJPersistImp::Clone(IUnknown* outer, IUnknown** out) {
  HRESULT hr = StyleNewOwnObject<JStyleUnit>(outer, out);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT STDMETHODCALLTYPE JStyleUnit::IJPersistImp::InitNew() { return S_OK; }

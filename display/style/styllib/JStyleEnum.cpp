#include "display/style/styllib/JStyleEnum.h"

#include <new>

#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/StyleReport.h"

namespace {

constexpr char kSource[] = "ENUM";

}  // namespace

JStyleEnum::JStyleEnum(JStyleLib* library)
    : m_upperBound(library->HighestID()), m_idLimit(library->HighestID()), m_library(library) {}

JStyleEnum* JStyleEnum::Create(JStyleLib* library) {
  auto* enumerator = new (std::nothrow) JStyleEnum(library);
  if (enumerator) enumerator->AddRef();
  return enumerator;
}

HRESULT STDMETHODCALLTYPE JStyleEnum::QueryInterface(REFIID iid, void** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IEnumUnknown)) return E_NOINTERFACE;
  *out = static_cast<IEnumUnknown*>(this);
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE JStyleEnum::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }

ULONG STDMETHODCALLTYPE JStyleEnum::Release() {
  const LONG left = InterlockedDecrement(&m_refs);
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE JStyleEnum::Next(ULONG n, IUnknown** out, ULONG* fetched) {
  if (fetched) *fetched = 0;
  if (!out || n == 0) return E_INVALIDARG;
  ULONG given = 0;
  while (given < n && m_produced < m_upperBound && m_nextID <= m_idLimit) {
    const StyleEntry* entry = m_library->GetEntry(m_nextID++);
    // A style released from the document is gone for every caller but the library itself.
    if (!entry || entry->persistentID == kPersistentIDReleased || !entry->styleObject) continue;
    out[given] = entry->styleObject;
    out[given]->AddRef();
    ++given;
    ++m_produced;
  }
  if (fetched) *fetched = given;
  return given == n ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE JStyleEnum::Skip(ULONG n) { return n == 0 ? S_OK : S_FALSE; }

HRESULT STDMETHODCALLTYPE JStyleEnum::Reset() {
  m_produced = 0;
  m_upperBound = m_library->HighestID();
  m_nextID = 1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleEnum::Clone(IEnumUnknown** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

#include "display/style/styllib/JStyleEnum.h"

#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/StyleReport.h"

namespace {

constexpr char kSource[] = "ENUM";

}  // namespace

JStyleEnum::JStyleEnum(JStyleLib* library, DWORD idLimit)
    : StyleOwnUnknown(nullptr), m_upperBound(library->HighestID()), m_idLimit(idLimit), m_library(library) {
  m_library->Identity()->AddRef();
}

JStyleEnum::~JStyleEnum() { m_library->Identity()->Release(); }

JStyleEnum* JStyleEnum::Create(JStyleLib* library) {
  auto* enumerator = new JStyleEnum(library, library->HighestID());
  if (enumerator) enumerator->AddRef();
  return enumerator;
}

HRESULT STDMETHODCALLTYPE JStyleEnum::QueryInterface(REFIID iid, void** out) {
  if (!out) return REPORT(E_INVALIDARG);
  const bool mine = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumUnknown);
  return HandOut(mine ? this : nullptr, out);
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
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  auto* copy = new JStyleEnum(m_library, m_idLimit);
  if (!copy) return REPORT(E_OUTOFMEMORY);
  copy->m_produced = m_produced;
  copy->m_upperBound = m_upperBound;
  copy->m_nextID = m_nextID;
  copy->AddRef();
  *out = copy;
  return S_OK;
}

#include "display/style/stylcst/JEnumSearchPath.h"

#include "display/style/stylcst/JSCustodian.h"
#include "display/style/styllib/StyleReport.h"
#include "display/style/styllib/StyleText.h"

namespace {
constexpr char kSource[] = "ENUMSRCH";
}  // namespace

JEnumSearchPath::JEnumSearchPath(JSCustodian* custodian, DWORD current, DWORD end)
    : StyleOwnUnknown(nullptr), m_current(current), m_end(end), m_custodian(custodian) {
  m_custodian->GetControllingUnknown()->AddRef();
}

JEnumSearchPath::~JEnumSearchPath() { m_custodian->GetControllingUnknown()->Release(); }

JEnumSearchPath* JEnumSearchPath::Create(JSCustodian* custodian, DWORD current, DWORD end) {
  auto* enumerator = new JEnumSearchPath(custodian, current, end);
  if (enumerator) enumerator->AddRef();
  return enumerator;
}

DWORD JEnumSearchPath::End() const {
  const DWORD count = m_custodian->DirectoryCount();
  return m_end < count ? m_end : count;
}

HRESULT STDMETHODCALLTYPE JEnumSearchPath::QueryInterface(REFIID iid, void** out) {
  if (!out) return REPORT(E_INVALIDARG);
  const bool mine = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumString);
  return HandOut(mine ? this : nullptr, out);
}

HRESULT STDMETHODCALLTYPE JEnumSearchPath::Next(ULONG count, LPOLESTR* out, ULONG* fetched) {
  const auto directoryAt = [](const void* custodian, DWORD index) {
    return static_cast<const JSCustodian*>(custodian)->DirectoryAt(index);
  };
  return StyleEnumNextTexts(count, out, fetched, &m_current, End(), directoryAt, m_custodian, kSource);
}

HRESULT STDMETHODCALLTYPE JEnumSearchPath::Skip(ULONG count) { return StyleEnumSkip(count, &m_current, End()); }

HRESULT STDMETHODCALLTYPE JEnumSearchPath::Reset() {
  m_current = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JEnumSearchPath::Clone(IEnumString** out) {
  if (!out) return E_INVALIDARG;
  *out = Create(m_custodian, m_current, m_end);
  return *out ? S_OK : E_OUTOFMEMORY;
}

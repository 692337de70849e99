#include "display/style/styllib/JStyleNewEnum.h"

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/JSymbolDescriptor.h"
#include "display/style/styllib/StyleNameMap.h"
#include "display/style/styllib/StyleReport.h"

namespace {

constexpr char kSource[] = "newenum";

// The name has no style behind it in the library.
constexpr HRESULT kNameUnknown = static_cast<HRESULT>(0x80040221);

}  // namespace

HRESULT JStyleNewEnum::Create(JStyleLib* library, const GUID& type, IEnumUnknown** out) {
  *out = nullptr;
  WORD index = kUnregisteredType;
  if (!library->Types().FindType(type, &index)) index = kUnregisteredType;
  auto* enumerator = new JStyleNewEnum(index);
  if (!enumerator) return REPORT(E_OUTOFMEMORY);
  enumerator->AddRef();
  const HRESULT hr = enumerator->Fill(library);
  if (FAILED(hr)) {
    enumerator->Release();
    return hr;
  }
  *out = enumerator;
  return S_OK;
}

JStyleNewEnum::~JStyleNewEnum() { Empty(); }

void JStyleNewEnum::Empty() {
  for (DWORD i = 0; i < m_objects.Size(); ++i) {
    if (IUnknown* object = m_objects[i]) object->Release();
  }
  m_objects.SetSize(0);
  m_cursor = 0;
}

bool JStyleNewEnum::Append(IUnknown* object) {
  const DWORD at = m_objects.Size();
  if (!m_objects.SetSize(at + 1)) {
    object->Release();
    return false;
  }
  m_objects[at] = object;
  return true;
}

HRESULT JStyleNewEnum::Fill(JStyleLib* library) {
  Empty();
  StyleTypeRecord* type = library->Types().At(m_typeIndex);
  if (m_typeIndex == kUnregisteredType || !type) return S_OK;
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = library->Identity()->QueryInterface(IID_IJSLLibrarian, librarian.PutVoid());
  GUID typeGUID{};
  if (SUCCEEDED(hr)) hr = librarian->GetTypeGUID(m_typeIndex, &typeGUID);
  if (FAILED(hr)) return REPORT(hr);
  const StyleNameMap* names = type->names;
  ULONG_PTR position = names ? names->GetStartPosition() : 0;
  while (position) {
    LPCWSTR name = nullptr;
    if (FAILED(hr = names->GetNext(&position, &name))) return REPORT(hr);
    JSymbolDescriptor* descriptor = nullptr;
    if (FAILED(hr = names->Find(name, &descriptor))) return REPORT(hr);
    IUnknown* object = nullptr;
    if (!descriptor || FAILED(descriptor->QueryStyle(IID_IUnknown, reinterpret_cast<void**>(&object)))) {
      // A file's name that the library has not met yet: it gets an entry, and the entry its object.
      object = nullptr;
      DWORD id = 0;
      hr = librarian->FindOrCreateStyleID(name, &typeGUID, &id);
      if (FAILED(hr)) return REPORT(hr);
      if (id == 0) return REPORT(kNameUnknown);
      if (FAILED(hr = librarian->GetStyle(id, &object))) return REPORT(hr);
    }
    if (object && !Append(object)) return REPORT(E_OUTOFMEMORY);
  }
  m_cursor = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleNewEnum::QueryInterface(REFIID iid, void** out) {
  if (!out) return REPORT(E_INVALIDARG);
  const bool mine = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumUnknown);
  return HandOut(mine ? this : nullptr, out);
}

HRESULT STDMETHODCALLTYPE JStyleNewEnum::Next(ULONG n, IUnknown** out, ULONG* fetched) {
  if (fetched) *fetched = 0;
  if (!out && n != 0) return E_INVALIDARG;
  ULONG given = 0;
  while (given < n && m_cursor < m_objects.Size()) {
    out[given] = m_objects[m_cursor++];
    out[given]->AddRef();
    ++given;
  }
  if (fetched) *fetched = given;
  return given == n ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE JStyleNewEnum::Skip(ULONG n) {
  if (m_typeIndex == kUnregisteredType) return S_FALSE;
  // Moving onto the end is refused as well as moving past it.
  if (static_cast<ULONGLONG>(m_cursor) + n >= m_objects.Size()) return S_FALSE;
  m_cursor += n;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleNewEnum::Reset() {
  m_cursor = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleNewEnum::Clone(IEnumUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  auto* copy = new JStyleNewEnum(m_typeIndex);
  if (!copy) return REPORT(E_OUTOFMEMORY);
  copy->AddRef();
  if (!copy->m_objects.SetSize(m_objects.Size())) {
    copy->Release();
    return REPORT(E_OUTOFMEMORY);
  }
  for (DWORD i = 0; i < m_objects.Size(); ++i) {
    copy->m_objects[i] = m_objects[i];
    m_objects[i]->AddRef();
  }
  copy->m_cursor = m_cursor;
  *out = copy;
  return S_OK;
}

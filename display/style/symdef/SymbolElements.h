// The elements of a symbol definition taken out of it, each with a reference, for calls into them: an element
// may change the definition while it is called, so callers never walk the definition's own lists.
#pragma once

#include "display/style/ptrlist.h"
#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_itf.h"
#include "host/halvorn/halvorn.h"

// Element pointers, each with a reference, released with the buffer: up to five in place, more from the engine
// allocator.
class ElementBuffer {
 public:
  static constexpr DWORD kInPlace = 5;

  ElementBuffer() = default;
  ~ElementBuffer() {
    for (DWORD i = 0; i < m_count; ++i) {
      if (m_items[i]) m_items[i]->Release();
    }
    if (m_items != m_inPlace) EngineFree(m_items);
  }
  ElementBuffer(const ElementBuffer&) = delete;
  ElementBuffer& operator=(const ElementBuffer&) = delete;

  // Room for n pointers, all null; false when the memory is not there.
  bool Reserve(DWORD n) {
    if (n > kInPlace) {
      if (n > 0x7FFFFFFFu / sizeof(IUnknown*)) return false;
      m_items = static_cast<IUnknown**>(EngineAlloc(n * sizeof(IUnknown*)));
      if (!m_items) {
        m_items = m_inPlace;
        return false;
      }
    }
    for (DWORD i = 0; i < n; ++i) m_items[i] = nullptr;
    return true;
  }
  // The elements of the list, each with a reference of the buffer's.
  bool Take(const JPtrList& list) {
    if (!Reserve(list.GetCount())) return false;
    for (JPtrList::Node* node = list.GetHead(); node; node = node->next) {
      m_items[m_count] = static_cast<IUnknown*>(node->value);
      m_items[m_count++]->AddRef();
    }
    return true;
  }

  IUnknown** Data() { return m_items; }
  IUnknown* operator[](DWORD i) const { return m_items[i]; }
  DWORD Count() const { return m_count; }
  // How many of the reserved places hold references (set after a fetch into Data()).
  void SetCount(DWORD n) { m_count = n; }

 private:
  IUnknown* m_inPlace[kInPlace] = {};
  IUnknown** m_items = m_inPlace;
  DWORD m_count = 0;
};

// The first `count` elements of a definition, fetched at once from its element enumerator. Places the
// enumerator leaves empty stay null. E_OUTOFMEMORY when the buffer cannot hold them; other failures are the
// definition's or its enumerator's, unreported.
inline HRESULT FetchElements(IJSymbolDefinition* definition, DWORD count, ElementBuffer* out) {
  if (count == 0) return S_OK;
  StyleComPtr<IUnknown> collection;
  HRESULT hr = definition->GetElements(collection.Put());
  if (FAILED(hr)) return hr;
  if (!collection) return E_FAIL;
  StyleComPtr<IEnumUnknown> enumerator;
  if (FAILED(hr = collection->QueryInterface(IID_IEnumUnknown, enumerator.PutVoid()))) return hr;
  if (!out->Reserve(count)) return E_OUTOFMEMORY;
  ULONG fetched = 0;
  hr = enumerator->Next(count, out->Data(), &fetched);
  out->SetCount(fetched < count ? fetched : count);
  return FAILED(hr) ? hr : S_OK;
}

// The engine's object collections and object lists: fixed-size sets of places that callers fill by index and
// read in order, as symbol definitions hand out their elements and take part in the copy protocol.
#include <initializer_list>
#include <new>
#include <vector>

#include "host/halvorn/halvorn.h"

namespace {

volatile LONG g_liveCollections = 0;

// The reference count and the live count shared by both kinds. No virtual destructor: it would add to the
// interface's table; the last Release deletes the object as what it is.
template <class Itf, class Derived>
class Counted : public Itf {
 public:
  Counted() { InterlockedIncrement(&g_liveCollections); }
  ~Counted() { InterlockedDecrement(&g_liveCollections); }

  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) delete static_cast<Derived*>(this);
    return static_cast<ULONG>(refs);
  }

 protected:
  HRESULT Answer(REFIID iid, void** out, std::initializer_list<const IID*> iids) {
    if (!out) return E_INVALIDARG;
    for (const IID* known : iids) {
      if (IsEqualIID(iid, *known)) {
        *out = static_cast<Itf*>(this);
        AddRef();
        return S_OK;
      }
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }

 private:
  volatile LONG m_refs = 1;
};

class ObjectCollection final : public Counted<IJObjectCollection, ObjectCollection> {
 public:
  explicit ObjectCollection(ULONG count) : m_items(count, nullptr) {}
  ~ObjectCollection() {
    for (IUnknown* item : m_items) {
      if (item) item->Release();
    }
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return Answer(iid, out, {&IID_IUnknown, &IID_IEnumUnknown, &IID_IJObjectCollection});
  }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, IUnknown** out, ULONG* fetched) override {
    if (fetched) *fetched = 0;
    if (count && !out) return E_INVALIDARG;
    if (count > 1 && !fetched) return E_INVALIDARG;
    ULONG n = 0;
    for (; n < count && m_position < m_items.size(); ++n, ++m_position) {
      out[n] = m_items[m_position];
      if (out[n]) out[n]->AddRef();
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    const std::size_t left = m_items.size() - m_position;
    m_position += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    m_position = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumUnknown** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetItem(ULONG index, IUnknown* object) override {
    if (index >= m_items.size()) return E_INVALIDARG;
    if (object) object->AddRef();
    IUnknown* old = m_items[index];
    m_items[index] = object;
    if (old) old->Release();
    return S_OK;
  }

 private:
  std::vector<IUnknown*> m_items;
  std::size_t m_position = 0;
};

class ObjectList final : public Counted<IJObjectList, ObjectList> {
 public:
  explicit ObjectList(ULONG count) : m_entries(count, HostObjectEntry{}) {}
  ~ObjectList() {
    for (const HostObjectEntry& entry : m_entries) {
      if (entry.object) entry.object->Release();
    }
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return Answer(iid, out, {&IID_IUnknown, &IID_IJObjectList});
  }

  HRESULT STDMETHODCALLTYPE Next(ULONG count, HostObjectEntry* out, ULONG* fetched) override {
    if (fetched) *fetched = 0;
    if (count && !out) return E_INVALIDARG;
    ULONG n = 0;
    for (; n < count && m_position < m_entries.size(); ++n, ++m_position) out[n] = m_entries[m_position];
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    m_position = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetItem(ULONG index, const HostObjectEntry* entry) override {
    if (index >= m_entries.size() || !entry) return E_INVALIDARG;
    if (entry->object) entry->object->AddRef();
    IUnknown* old = m_entries[index].object;
    m_entries[index] = *entry;
    if (old) old->Release();
    return S_OK;
  }

 private:
  std::vector<HostObjectEntry> m_entries;
  std::size_t m_position = 0;
};

// A place count the stand-in refuses rather than try to allocate.
constexpr ULONG kMostPlaces = 0x100000;

}  // namespace

extern "C" {

HRESULT CreateObjectCollection(ULONG count, DWORD, IJObjectCollection** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (count > kMostPlaces) return E_OUTOFMEMORY;
  *out = new (std::nothrow) ObjectCollection(count);
  return *out ? S_OK : E_OUTOFMEMORY;
}

HRESULT CreateObjectList(ULONG count, DWORD, IJObjectList** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (count > kMostPlaces) return E_OUTOFMEMORY;
  *out = new (std::nothrow) ObjectList(count);
  return *out ? S_OK : E_OUTOFMEMORY;
}

LONG HostCollectionLiveCount() { return g_liveCollections; }

}  // extern "C"

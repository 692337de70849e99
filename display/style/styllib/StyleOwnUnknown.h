// The IUnknown of the few classes of the library that carry their own rather than UUnknown's: the unit
// settings, the resource list and the enumerators. Their main table is the interface `Itf` (IUnknown, or an
// enumerator's interface) followed by the deleting destructor; their nested interfaces go to the controlling
// unknown (the aggregating object, or the object itself). They live in the ordinary allocator unless the class
// says otherwise (STYLE_ENGINE_ALLOCATED).
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "display/style/stylesrv_com.h"
#include "host/halvorn/halvorn.h"

template <class Itf>
class StyleOwnUnknown : public Itf {
 public:
  STYLE_ORDINARY_ALLOCATED

  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_refCount); }
  ULONG STDMETHODCALLTYPE Release() override {
    if (m_refCount == 1) {
      m_refCount = 0;
      DeletingDestructor(1);
      return 0;
    }
    return static_cast<ULONG>(--m_refCount);
  }
  // Runs the destructors; with bit 0 of flags set also frees the storage.
  virtual void DeletingDestructor(unsigned flags) = 0;

  // For the nested interfaces (STYLE_BEGIN_INTERFACE_PART).
  HRESULT OuterQueryInterface(REFIID iid, void** out, const char*) {
    return m_controllingUnknown->QueryInterface(iid, out);
  }
  ULONG OuterAddRef(const char*) { return m_controllingUnknown->AddRef(); }
  ULONG OuterRelease(const char*) { return m_controllingUnknown->Release(); }
  IUnknown* ControllingUnknown() const { return m_controllingUnknown; }

 protected:
  explicit StyleOwnUnknown(IUnknown* outer) : m_controllingUnknown(outer ? outer : this) {}
  // Not virtual: destruction goes through DeletingDestructor.
  ~StyleOwnUnknown() = default;

  // The end of a QueryInterface: `found` (null for an interface the class does not have) with a reference.
  static HRESULT HandOut(IUnknown* found, void** out) {
    *out = found;
    if (!found) return E_NOINTERFACE;
    found->AddRef();
    return S_OK;
  }

 private:
  LONG m_refCount = 0;
  IUnknown* m_controllingUnknown;  // never reference counted
};

// A new, empty object of the class aggregated under `outer`, handed out as its own IUnknown with one reference
// (what a companion's Clone makes).
template <class T>
HRESULT StyleNewOwnObject(IUnknown* outer, IUnknown** out) {
  static_assert(noexcept(T::operator new(sizeof(T))), "a failed allocation must answer null, not throw");
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  T* object = new T(outer);
  if (!object) return E_OUTOFMEMORY;
  object->AddRef();
  *out = object;
  return S_OK;
}

// The class header before a companion's record. Each has one layout, so the version is not looked at.
inline HRESULT StyleExchangeClassHeader(JArchive* archive, const CLSID& tag) {
  WORD version = 0;
  DWORD scratch;
  return ArchiveSerializeClassHeader(archive, &tag, &version, &scratch);
}

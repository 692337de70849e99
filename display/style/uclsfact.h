// The class table and the class objects made from it. Each row says how one class is allocated and built; a
// row whose class is not built yet has no creator, and its CLSIDs answer as CLSIDs the server does not serve.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "display/style/stylesrv_com.h"

enum class StyleAllocator : std::uint32_t {
  Engine,    // the engine allocator; the object sits 4 bytes into the block
  Ordinary,  // the ordinary allocator
};

// Allocates and constructs an object with its outer unknown (null when not aggregated) and answers its own,
// non-delegating IUnknown; null when the memory is not there. The object's reference count is 0.
using StyleObjectCreator = IUnknown* (*)(IUnknown* outer);
// The second construction step of a class built on UUnknown, run after the first AddRef.
using StyleObjectInit = HRESULT (*)(IUnknown* object);

struct StyleClassRow {
  const char* className;
  StyleAllocator allocator;
  StyleObjectCreator create;      // null until the class is built
  StyleObjectInit init = nullptr;  // null for a class with an IUnknown of its own: it has no second step
};

struct StyleClsidEntry {
  const CLSID* clsid;
  const StyleClassRow* row;
};

struct StyleClassTable {
  const StyleClsidEntry* entries;
  std::size_t count;

  const StyleClassRow* Find(REFCLSID clsid) const {
    for (std::size_t i = 0; i < count; ++i) {
      if (IsEqualGUID(*entries[i].clsid, clsid)) return entries[i].row;
    }
    return nullptr;
  }
};

template <class T>
IUnknown* StyleNewObject(IUnknown* outer) {
  static_assert(noexcept(T::operator new(sizeof(T))), "a failed allocation must answer null, not throw");
  T* object = new T(outer);
  return object ? static_cast<IUnknown*>(object) : nullptr;
}

inline HRESULT StyleInitObject(IUnknown* object) { return static_cast<UUnknown*>(object)->Init(); }

// The row of a built class. Checks at compile time that the class lives in the allocator the table names and
// destroys itself as itself. Most classes derive from UUnknown; a few carry an IUnknown of their own, whose
// main table is their non-delegating IUnknown.
template <class T, StyleAllocator A>
constexpr StyleClassRow StyleClassRowFor(const char* className) {
  static_assert(std::is_base_of_v<IUnknown, T>, "a served class is an IUnknown");
  static_assert((A == StyleAllocator::Engine) == T::kEngineAllocated,
                "the class must use the allocator its table row names (STYLE_ENGINE_ALLOCATED)");
  static_assert(std::is_same_v<decltype(&T::DeletingDestructor), void (T::*)(unsigned)>,
                "the class must declare its own deleting destructor (STYLE_DECLARE_DELETING_DESTRUCTOR)");
  if constexpr (std::is_base_of_v<UUnknown, T>) {
    return {className, A, &StyleNewObject<T>, &StyleInitObject};
  } else {
    return {className, A, &StyleNewObject<T>, nullptr};
  }
}

// The row of a built class with an IUnknown of its own that still has a step after construction.
template <class T, StyleAllocator A>
constexpr StyleClassRow StyleClassRowWithStep(const char* className, StyleObjectInit step) {
  StyleClassRow row = StyleClassRowFor<T, A>(className);
  row.init = step;
  return row;
}

// The class object of one class; a new one for every DllGetClassObject call, from the ordinary allocator.
class UClassFactory final : public IClassFactory {
 public:
  UClassFactory(const StyleClassRow& row, BOOL aggregationAllowed)
      : m_aggregationAllowed(aggregationAllowed), m_row(row) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 private:
  LONG m_refCount = 0;
  LONG m_lockCount = 0;  // the locks this class object holds on the server
  BOOL m_aggregationAllowed;
  const StyleClassRow& m_row;
};

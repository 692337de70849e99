// An owned interface pointer for the style code's own use: released when it goes out of scope.
#pragma once

#include <unknwn.h>

template <class T>
class StyleComPtr {
 public:
  StyleComPtr() = default;
  // Takes over a reference the caller holds.
  explicit StyleComPtr(T* owned) : m_p(owned) {}
  ~StyleComPtr() { Reset(); }
  StyleComPtr(const StyleComPtr&) = delete;
  StyleComPtr& operator=(const StyleComPtr&) = delete;

  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }

  // For out arguments: drops what is held first.
  T** Put() {
    Reset();
    return &m_p;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  void Reset() {
    if (m_p) {
      T* p = m_p;
      m_p = nullptr;
      p->Release();
    }
  }
  // Hands the reference to the caller.
  T* Detach() {
    T* p = m_p;
    m_p = nullptr;
    return p;
  }

 private:
  T* m_p = nullptr;
};

// Whether two interface pointers belong to one COM object (their IUnknown identities are equal).
inline bool StyleSameObject(IUnknown* a, IUnknown* b) {
  if (a == b) return true;
  if (!a || !b) return false;
  StyleComPtr<IUnknown> ia, ib;
  if (FAILED(a->QueryInterface(IID_IUnknown, ia.PutVoid()))) return false;
  if (FAILED(b->QueryInterface(IID_IUnknown, ib.PutVoid()))) return false;
  return ia.Get() == ib.Get();
}

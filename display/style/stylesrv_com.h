// The object base of every COM class of stylesrv: UUnknown, the nested implementations through which a class
// hands out its further interfaces, and the two allocators a class may live in.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <cstddef>
#include <new>

#include "host/halvorn/halvorn.h"

// winuser.h maps GetClassName to GetClassNameA; here it is the main-table operation of every class.
#undef GetClassName

// Objects of a class with this line live in the ordinary allocator. Both operations answer null rather than
// throw, so that a new-expression of the class yields null when the memory is not there: no exception may leave
// a COM operation. The classes derived from UUnknown have it from there.
#define STYLE_ORDINARY_ALLOCATED                                                                    \
  static constexpr bool kEngineAllocated = false;                                                    \
  static void* operator new(std::size_t size) noexcept { return ::operator new(size, std::nothrow); } \
  static void operator delete(void* object) noexcept { ::operator delete(object); }

// The aggregatable IUnknown base. The object itself is its non-delegating IUnknown: its main table begins with
// QueryInterface, AddRef and Release in the COM calling convention. Every further interface is a nested
// implementation (STYLE_BEGIN_INTERFACE_PART) whose IUnknown operations go to the controlling unknown: the outer
// object when aggregated, the object itself otherwise.
//
// The main table has exactly these 15 operations in this order. The deleting destructor is one ordinary virtual
// operation rather than a C++ virtual destructor, which would take two slots; every class declares its own with
// STYLE_DECLARE_DELETING_DESTRUCTOR.
class UUnknown : public IUnknown {
 public:
  UUnknown();
  explicit UUnknown(IUnknown* outer);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // Runs the destructors; with bit 0 of flags set also frees the storage.
  virtual void DeletingDestructor(unsigned flags);
  // Second construction step, run by the class object after the first AddRef. Overrides call their base first.
  virtual HRESULT Init();
  // Runs once, just before the object deletes itself.
  virtual void FinalRelease();
  // The class's own interfaces, without a reference. Overrides answer their IIDs and end with their base's.
  virtual void* GetInterface(REFIID iid);
  // Asked when GetInterface answers null; a non-null answer already carries a reference.
  virtual void* GetAggregateInterface(REFIID iid);
  virtual ULONG InternalAddRef(const char* trace);
  virtual ULONG InternalRelease(const char* trace);
  virtual HRESULT InternalQueryInterface(REFIID iid, void** out, const char* trace);
  virtual ULONG OuterAddRef(const char* trace);
  virtual ULONG OuterRelease(const char* trace);
  virtual HRESULT OuterQueryInterface(REFIID iid, void** out, const char* trace);
  virtual const char* GetClassName();

  LONG GetRefCount() const { return m_refCount; }
  IUnknown* GetControllingUnknown() const { return m_controllingUnknown; }
  // The controlling unknown becomes outer (the object itself for null) and the count starts again at 0.
  void SetOuter(IUnknown* outer);

  STYLE_ORDINARY_ALLOCATED

 protected:
  // Not virtual: destruction goes through DeletingDestructor.
  ~UUnknown();

 private:
  IUnknown* m_controllingUnknown;  // never reference counted
  LONG m_refCount;
};

// Declares the class's deleting destructor; every class derived from UUnknown needs its own.
#define STYLE_DECLARE_DELETING_DESTRUCTOR(Class) \
  void DeletingDestructor(unsigned flags) override { \
    Class* self = this;                             \
    self->~Class();                                 \
    if (flags & 1) Class::operator delete(self);    \
  }

// Objects of a class with this line live in the engine allocator, 4 bytes into the block it hands out.
#define STYLE_ENGINE_ALLOCATED                                                                      \
  static constexpr bool kEngineAllocated = true;                                                     \
  static void* operator new(std::size_t size) noexcept { return StyleEngineAllocObject(size); }      \
  static void operator delete(void* object) noexcept { StyleEngineFreeObject(object); }

inline void* StyleEngineAllocObject(std::size_t size) {
  char* block = static_cast<char*>(EngineAlloc(size + 4));
  return block ? block + 4 : nullptr;
}

inline void StyleEngineFreeObject(void* object) {
  if (object) EngineFree(static_cast<char*>(object) - 4);
}

// Distance of a nested implementation from the start of its object. Classes with virtual operations are not
// standard-layout, where offsetof is only conditionally supported; GCC supports it for classes without virtual
// bases, which is all this code base has.
#define STYLE_MEMBER_OFFSET(Class, member)                                              \
  ([]() constexpr {                                                                     \
    _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Winvalid-offsetof\"") \
    return offsetof(Class, member);                                                     \
    _Pragma("GCC diagnostic pop")                                                       \
  }())

// A nested implementation of interface Itf inside class Outer, named Outer::ItfImp, held in the member
// m_ItfImp. It is the interface pointer handed out for Itf: its table of operations and nothing else. Its
// IUnknown operations step back to the object and pass "Outer::ItfImp" as trace name. The interface's own
// operations follow the opening line and are defined by the class; Object() reaches the object.
//
//   STYLE_BEGIN_INTERFACE_PART(JStyleBase, IJPersist)
//     HRESULT STDMETHODCALLTYPE GetClassID(CLSID* out) override;
//   STYLE_END_INTERFACE_PART(IJPersist)
#define STYLE_BEGIN_INTERFACE_PART(Outer, Itf)                                                        \
  struct Itf##Imp : public Itf {                                                                       \
    static constexpr const char kTraceName[] = #Outer "::" #Itf "Imp";                                 \
    Outer* Object() {                                                                                  \
      return reinterpret_cast<Outer*>(reinterpret_cast<char*>(this) -                                  \
                                      STYLE_MEMBER_OFFSET(Outer, m_##Itf##Imp));                       \
    }                                                                                                  \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {                        \
      return Object()->OuterQueryInterface(iid, out, kTraceName);                                      \
    }                                                                                                  \
    ULONG STDMETHODCALLTYPE AddRef() override { return Object()->OuterAddRef(kTraceName); }           \
    ULONG STDMETHODCALLTYPE Release() override { return Object()->OuterRelease(kTraceName); }

#define STYLE_END_INTERFACE_PART(Itf) \
  }                                   \
  m_##Itf##Imp;

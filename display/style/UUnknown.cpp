#include "display/style/stylesrv_com.h"

UUnknown::UUnknown() : m_controllingUnknown(this), m_refCount(0) {}

UUnknown::UUnknown(IUnknown* outer) : m_controllingUnknown(outer ? outer : this), m_refCount(0) {}

UUnknown::~UUnknown() = default;

HRESULT STDMETHODCALLTYPE UUnknown::QueryInterface(REFIID iid, void** out) {
  return InternalQueryInterface(iid, out, nullptr);
}

ULONG STDMETHODCALLTYPE UUnknown::AddRef() { return InternalAddRef(nullptr); }

ULONG STDMETHODCALLTYPE UUnknown::Release() { return InternalRelease(nullptr); }

void UUnknown::DeletingDestructor(unsigned flags) {
  UUnknown* self = this;
  self->~UUnknown();
  if (flags & 1) UUnknown::operator delete(self);
}

HRESULT UUnknown::Init() { return S_OK; }

void UUnknown::FinalRelease() {}

void* UUnknown::GetInterface(REFIID iid) {
  return IsEqualIID(iid, IID_IUnknown) ? static_cast<IUnknown*>(this) : nullptr;
}

void* UUnknown::GetAggregateInterface(REFIID) { return nullptr; }

ULONG UUnknown::InternalAddRef(const char*) { return static_cast<ULONG>(++m_refCount); }

ULONG UUnknown::InternalRelease(const char*) {
  if (m_refCount == 1) {
    // The count stays 1 while FinalRelease runs, so that a reference it takes and gives back cannot delete the
    // object a second time.
    FinalRelease();
    m_refCount = 0;
    DeletingDestructor(1);
    return 0;
  }
  return static_cast<ULONG>(--m_refCount);
}

HRESULT UUnknown::InternalQueryInterface(REFIID iid, void** out, const char* trace) {
  if (!out) return E_INVALIDARG;
  void* found = GetInterface(iid);
  if (!found) {
    found = GetAggregateInterface(iid);
    *out = found;
    return found ? S_OK : E_NOINTERFACE;
  }
  *out = found;
  if (found == static_cast<IUnknown*>(this)) {
    InternalAddRef(trace);
  } else {
    static_cast<IUnknown*>(found)->AddRef();
  }
  return S_OK;
}

ULONG UUnknown::OuterAddRef(const char* trace) {
  if (m_controllingUnknown != static_cast<IUnknown*>(this)) return m_controllingUnknown->AddRef();
  return InternalAddRef(trace);
}

ULONG UUnknown::OuterRelease(const char* trace) {
  if (m_controllingUnknown != static_cast<IUnknown*>(this)) return m_controllingUnknown->Release();
  return InternalRelease(trace);
}

HRESULT UUnknown::OuterQueryInterface(REFIID iid, void** out, const char* trace) {
  if (m_controllingUnknown != static_cast<IUnknown*>(this)) return m_controllingUnknown->QueryInterface(iid, out);
  return InternalQueryInterface(iid, out, trace);
}

const char* UUnknown::GetClassName() { return "UUnknown"; }

void UUnknown::SetOuter(IUnknown* outer) {
  m_controllingUnknown = outer ? outer : this;
  m_refCount = 0;
}

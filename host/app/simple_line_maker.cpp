#include "host/app/simple_line_maker.h"

#include <new>

#include "display/style/stylesrv_clsid.h"

namespace {

template <class F>
void* Slot(F f) {
  return reinterpret_cast<void*>(f);
}

std::wstring Text(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

}  // namespace

void* const HostSimpleLineMaker::s_table[9] = {
    Slot(&QueryInterface), Slot(&AddRefSlot), Slot(&ReleaseSlot), Slot(&NotCalled), Slot(&NotCalled),
    Slot(&NotCalled),      Slot(&NotCalled),  Slot(&NotCalled),   Slot(&MakeSimpleLine)};

HostSimpleLineMaker* HostSimpleLineMaker::Create() { return new (std::nothrow) HostSimpleLineMaker; }

ULONG HostSimpleLineMaker::Release() {
  const LONG refs = InterlockedDecrement(&m_refs);
  if (refs == 0) delete this;
  return static_cast<ULONG>(refs);
}

void HostSimpleLineMaker::Install(HostSimpleLineMaker* maker) {
  HostSetClassExtension(&CLASSEXT_SimpleLineMaker, &IID_IJSimpleLineMaker, maker ? maker->Unknown() : nullptr);
}

HRESULT STDMETHODCALLTYPE HostSimpleLineMaker::QueryInterface(HostSimpleLineMaker* self, REFIID iid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IJSimpleLineMaker)) return E_NOINTERFACE;
  self->AddRef();
  *out = self;
  return S_OK;
}

ULONG STDMETHODCALLTYPE HostSimpleLineMaker::AddRefSlot(HostSimpleLineMaker* self) { return self->AddRef(); }

ULONG STDMETHODCALLTYPE HostSimpleLineMaker::ReleaseSlot(HostSimpleLineMaker* self) { return self->Release(); }

HRESULT STDMETHODCALLTYPE HostSimpleLineMaker::NotCalled(HostSimpleLineMaker*) { return E_UNEXPECTED; }

HRESULT STDMETHODCALLTYPE HostSimpleLineMaker::MakeSimpleLine(HostSimpleLineMaker* self, BSTR first, BSTR second,
                                                              IUnknown** out) {
  ++self->calls;
  self->first = Text(first);
  self->second = Text(second);
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (FAILED(self->answer) || self->answerNothing) return self->answer;
  // The caller is inside stylesrv.dll, which stays loaded for the call.
  const HMODULE server = GetModuleHandleA("stylesrv.dll");
  auto getClassObject = reinterpret_cast<decltype(&DllGetClassObject)>(
      reinterpret_cast<void (*)()>(GetProcAddress(server, "DllGetClassObject")));
  if (!getClassObject) return E_UNEXPECTED;
  IClassFactory* factory = nullptr;
  HRESULT hr = getClassObject(CLSID_JStyleSimpleLine, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(out));
  factory->Release();
  return hr;
}

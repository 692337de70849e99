#include "host/app/automation_style.h"

#include <new>

namespace {

template <class F>
void* Slot(F f) {
  return reinterpret_cast<void*>(f);
}

}  // namespace

void* const HostAutomationStyle::s_textTable[7] = {
    Slot(&TextQueryInterface), Slot(&TextAddRef),    Slot(&TextRelease),    Slot(&TextNotCalled),
    Slot(&TextNotCalled),      Slot(&TextNotCalled), Slot(&TextGetEditable)};

HostAutomationStyle* HostAutomationStyle::Create() { return new (std::nothrow) HostAutomationStyle; }

HRESULT STDMETHODCALLTYPE HostAutomationStyle::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
    *out = static_cast<IDispatch*>(this);
  } else if (IsEqualIID(iid, IID_IJTextStyleEditable) && offersText) {
    *out = &m_text;
  } else if (IsEqualIID(iid, IID_IJStyleMultiplexer) && offersMultiplexer) {
    *out = &m_multiplexer;
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE HostAutomationStyle::Release() {
  const LONG refs = InterlockedDecrement(&m_refs);
  if (refs == 0) delete this;
  return static_cast<ULONG>(refs);
}

HRESULT STDMETHODCALLTYPE HostAutomationStyle::GetTypeInfoCount(UINT* count) {
  if (!count) return E_INVALIDARG;
  *count = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE HostAutomationStyle::GetTypeInfo(UINT, LCID, ITypeInfo** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE HostAutomationStyle::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                                             DISPID* ids) {
  ++nameCalls;
  askedNameCount = count;
  namesLocale = locale;
  namesIidNull = IsEqualIID(iid, IID_NULL);
  askedName = (names && count && names[0]) ? names[0] : L"";
  if (!ids || count != 1) return E_INVALIDARG;
  if (!offersMethod || lstrcmpiW(askedName.c_str(), L"SetIsEditable") != 0) {
    ids[0] = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
  }
  ids[0] = kSetIsEditable;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE HostAutomationStyle::Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                                      DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                                      UINT* argumentError) {
  ++invokes;
  invokedMethod = id;
  invokeIidNull = IsEqualIID(iid, IID_NULL);
  invokeLocale = locale;
  invokeFlags = flags;
  askedResult = result != nullptr;
  askedException = exception != nullptr;
  askedArgumentError = argumentError != nullptr;
  if (!params) return E_INVALIDARG;
  argumentCount = params->cArgs;
  namedArgumentCount = params->cNamedArgs;
  VariantClear(&argument);
  if (id != kSetIsEditable) return DISP_E_MEMBERNOTFOUND;
  if (params->cArgs != 1 || !params->rgvarg) return DISP_E_BADPARAMCOUNT;
  return VariantCopy(&argument, &params->rgvarg[0]);
}

HRESULT STDMETHODCALLTYPE HostAutomationStyle::TextQueryInterface(TextFace* face, REFIID iid, void** out) {
  return face->self->QueryInterface(iid, out);
}

ULONG STDMETHODCALLTYPE HostAutomationStyle::TextAddRef(TextFace* face) { return face->self->AddRef(); }

ULONG STDMETHODCALLTYPE HostAutomationStyle::TextRelease(TextFace* face) { return face->self->Release(); }

HRESULT STDMETHODCALLTYPE HostAutomationStyle::TextNotCalled(TextFace*) { return E_UNEXPECTED; }

HRESULT STDMETHODCALLTYPE HostAutomationStyle::TextGetEditable(TextFace* face, DWORD* value) {
  if (!value) return E_INVALIDARG;
  *value = face->self->textValue;
  return face->self->textAnswer;
}

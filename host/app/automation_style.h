// A host style as automation sees it: it answers IDispatch with the method "SetIsEditable" (or without it) and
// records the call it gets; as the test sets, it also answers the multiplexer's interface (only asked whether it
// does) and the host's text-style interface, whose slot 6 answers a chosen value. That interface's table is a
// plain array of function pointers, so that a caller that reaches the wrong slot fails.
#pragma once

#include <string>

#include <oaidl.h>

#include "display/style/stylesrv_itf.h"

class HostAutomationStyle final : public IDispatch {
 public:
  // A new style with one reference.
  static HostAutomationStyle* Create();

  IUnknown* Unknown() { return static_cast<IDispatch*>(this); }
  IDispatch* Dispatch() { return this; }

  // ---- what it answers ----
  bool offersMethod = true;       // GetIDsOfNames knows "SetIsEditable"
  bool offersMultiplexer = false;
  bool offersText = false;
  HRESULT textAnswer = S_OK;      // of slot 6 of the text interface
  DWORD textValue = 0;

  // ---- what it was told ----
  LONG nameCalls = 0;
  std::wstring askedName;         // the first name GetIDsOfNames was handed
  UINT askedNameCount = 0;
  LCID namesLocale = 0;
  bool namesIidNull = false;
  LONG invokes = 0;
  DISPID invokedMethod = 0;
  LCID invokeLocale = 0;
  WORD invokeFlags = 0;
  bool invokeIidNull = false;
  UINT argumentCount = 0;
  UINT namedArgumentCount = 0;
  VARIANT argument{};             // the one positional argument, copied
  bool askedResult = false;       // a result, exception or argument-error pointer was handed in
  bool askedException = false;
  bool askedArgumentError = false;

  static constexpr DISPID kSetIsEditable = 17;

  // ---- IUnknown ----
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  ULONG STDMETHODCALLTYPE Release() override;

  // ---- IDispatch ----
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** out) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override;

 private:
  // The multiplexer's interface as far as this double offers it: IUnknown's slots, leading back to the style.
  struct MultiplexerFace final : IUnknown {
    HostAutomationStyle* self = nullptr;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
      return self->QueryInterface(iid, out);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return self->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return self->Release(); }
  };

  // The text-style interface: its table first, then the style it belongs to.
  struct TextFace {
    const void* const* table;
    HostAutomationStyle* self;
  };
  static HRESULT STDMETHODCALLTYPE TextQueryInterface(TextFace* face, REFIID iid, void** out);
  static ULONG STDMETHODCALLTYPE TextAddRef(TextFace* face);
  static ULONG STDMETHODCALLTYPE TextRelease(TextFace* face);
  static HRESULT STDMETHODCALLTYPE TextNotCalled(TextFace* face);
  static HRESULT STDMETHODCALLTYPE TextGetEditable(TextFace* face, DWORD* value);
  static void* const s_textTable[7];

  HostAutomationStyle() : m_text{s_textTable, this} { m_multiplexer.self = this; }
  ~HostAutomationStyle() { VariantClear(&argument); }

  volatile LONG m_refs = 1;
  MultiplexerFace m_multiplexer;
  TextFace m_text;
};

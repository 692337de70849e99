// The engine's simple-line extension as a test double: installed with HostSetClassExtension, its slot 8 keeps
// both texts it is handed and makes a JStyleSimpleLine through the loaded stylesrv.dll, or answers as the test
// sets. Its table is a plain array of function pointers, so that a caller that reaches the wrong slot fails.
#pragma once

#include <string>

#include "host/halvorn/halvorn.h"

class HostSimpleLineMaker {
  // First: the object is its own interface pointer.
  const void* const* m_table;

 public:
  // A new maker with one reference.
  static HostSimpleLineMaker* Create();

  IUnknown* Unknown() { return reinterpret_cast<IUnknown*>(this); }
  ULONG AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  ULONG Release();

  // Installs the maker as the engine's extension (null maker: none installed).
  static void Install(HostSimpleLineMaker* maker);

  // What slot 8 answers: with `answer` a failure, that failure and no object; with `answerNothing`, S_OK and
  // no object.
  HRESULT answer = S_OK;
  bool answerNothing = false;
  // What slot 8 was handed the last time; `first` and `second` hold the BSTRs' characters, lengths included.
  LONG calls = 0;
  std::wstring first;
  std::wstring second;

 private:
  HostSimpleLineMaker() : m_table(s_table) {}

  static HRESULT STDMETHODCALLTYPE QueryInterface(HostSimpleLineMaker* self, REFIID iid, void** out);
  static ULONG STDMETHODCALLTYPE AddRefSlot(HostSimpleLineMaker* self);
  static ULONG STDMETHODCALLTYPE ReleaseSlot(HostSimpleLineMaker* self);
  static HRESULT STDMETHODCALLTYPE NotCalled(HostSimpleLineMaker* self);
  static HRESULT STDMETHODCALLTYPE MakeSimpleLine(HostSimpleLineMaker* self, BSTR first, BSTR second,
                                                  IUnknown** out);

  static void* const s_table[9];
  volatile LONG m_refs = 1;
};

// A test double of the host's copy context: it knows which copy each original got (set by the test, or by the
// participant through SetCopy) and records every SetCopy.
#pragma once

#include <windows.h>

#include <vector>

#include "display/style/stylesrv_itf.h"

namespace host_app {

class TestCopyContext final : public IJCopyContext {
 public:
  // A new context with one reference.
  static TestCopyContext* Create();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE NotCalled3() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotCalled4() override { return E_NOTIMPL; }
  // The mapped copy with a reference and its flags; S_FALSE with null for an original that has none.
  HRESULT STDMETHODCALLTYPE GetCopy(IUnknown* original, IUnknown** copy, DWORD* flags) override;
  // Recorded; maps the original to the copy (null: the original has none).
  HRESULT STDMETHODCALLTYPE SetCopy(IUnknown* original, IUnknown* copy, DWORD flags) override;

  // What GetCopy answers for the original; the context holds references on both.
  void MapCopy(IUnknown* original, IUnknown* copy, DWORD flags = 0, HRESULT answer = S_OK);

  struct SetCopyCall {
    IUnknown* original;  // identities, held by the context
    IUnknown* copy;
    DWORD flags;
  };
  const std::vector<SetCopyCall>& SetCopyCalls() const { return m_setCopyCalls; }
  // The originals GetCopy was asked for, in order.
  const std::vector<IUnknown*>& GetCopyCalls() const { return m_getCopyCalls; }

 private:
  TestCopyContext();
  ~TestCopyContext();

  struct Mapping {
    IUnknown* original;
    IUnknown* copy;
    DWORD flags;
    HRESULT answer;
  };
  // Holds a reference on the identity of the object, for as long as the context lives.
  IUnknown* Keep(IUnknown* object);

  LONG m_refs = 1;
  std::vector<Mapping> m_mappings;
  std::vector<SetCopyCall> m_setCopyCalls;
  std::vector<IUnknown*> m_getCopyCalls;
  std::vector<IUnknown*> m_kept;
};

}  // namespace host_app

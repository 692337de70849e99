// The enumerators of style objects a librarian hands out have no class object: the librarian makes them and
// hands them out with one reference. They hold no reference on their library, which outlives them in every use
// the librarian's callers make of them.
#pragma once

#include <windows.h>
#include <unknwn.h>


class JStyleLib;

// Walks the library's IDs and hands out the style objects of every type, loading them on the way. IDs added
// after the enumerator was made are not visited.
class JStyleEnum : public IEnumUnknown {
 public:
  // A new enumerator with one reference; null when out of memory.
  static JStyleEnum* Create(JStyleLib* library);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Next(ULONG n, IUnknown** out, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG n) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  // Copies are not made: E_NOTIMPL with *out null.
  HRESULT STDMETHODCALLTYPE Clone(IEnumUnknown** out) override;
  virtual ~JStyleEnum() = default;

 private:
  explicit JStyleEnum(JStyleLib* library);

  LONG m_refs = 0;
  DWORD m_produced = 0;
  DWORD m_upperBound = 0;
  DWORD m_nextID = 1;
  DWORD m_idLimit;
  JStyleLib* m_library;
};

// The enumerators of style objects a librarian hands out have no class object: the librarian makes them and
// hands them out with one reference. They hold no reference on their library, which outlives them in every use
// the librarian's callers make of them.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "display/style/StyleGrowableArray.h"

class JStyleLib;

// The style objects behind every name of one style type, gathered when it is made; names that come from
// style-library files get library entries on the way.
class JStyleNewEnum : public IEnumUnknown {
 public:
  static constexpr WORD kUnregisteredType = 65535;

  // A new, filled enumerator with one reference in *out. A failed fill answers its failure and hands out none.
  static HRESULT Create(JStyleLib* library, const GUID& type, IEnumUnknown** out);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE Next(ULONG n, IUnknown** out, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG n) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  // A copy holding the same objects, at the same place.
  HRESULT STDMETHODCALLTYPE Clone(IEnumUnknown** out) override;
  virtual ~JStyleNewEnum();

 private:
  JStyleNewEnum(JStyleLib* library, WORD typeIndex) : m_library(library), m_typeIndex(typeIndex) {}
  HRESULT Fill();
  bool Append(IUnknown* object);  // takes over the caller's reference; false (and released) when out of memory
  void Empty();

  LONG m_refs = 0;
  StyleGrowableArray<IUnknown*> m_objects{8};
  DWORD m_cursor = 0;
  JStyleLib* m_library;
  WORD m_typeIndex;
};

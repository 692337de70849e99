// The enumerator of the style objects behind the names of one type. It has no class object: the librarian makes
// it and hands it out with one reference. It reads the library only while it is made, and holds the objects
// themselves.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "display/style/StyleGrowableArray.h"
#include "display/style/styllib/StyleOwnUnknown.h"

class JStyleLib;

// The style objects behind every name of one style type, gathered when it is made; names that come from
// style-library files get library entries on the way.
class JStyleNewEnum : public StyleOwnUnknown<IEnumUnknown> {
 public:
  static constexpr WORD kUnregisteredType = 65535;

  // A new, filled enumerator with one reference in *out. A failed fill answers its failure and hands out none.
  static HRESULT Create(JStyleLib* library, const GUID& type, IEnumUnknown** out);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE Next(ULONG n, IUnknown** out, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG n) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  // A copy holding the same objects, at the same place.
  HRESULT STDMETHODCALLTYPE Clone(IEnumUnknown** out) override;
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleNewEnum)

 protected:
  ~JStyleNewEnum();

 private:
  explicit JStyleNewEnum(WORD typeIndex) : StyleOwnUnknown(nullptr), m_typeIndex(typeIndex) {}
  HRESULT Fill(JStyleLib* library);
  bool Append(IUnknown* object);  // takes over the caller's reference; false (and released) when out of memory
  void Empty();

  StyleGrowableArray<IUnknown*> m_objects{8};
  DWORD m_cursor = 0;
  WORD m_typeIndex;
};

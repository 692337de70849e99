// The enumerator of style objects a librarian hands out over all its IDs. It has no class object: the librarian
// makes it and hands it out with one reference. It holds a reference on its library, so that it may outlive the
// caller's own.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "display/style/styllib/StyleOwnUnknown.h"

class JStyleLib;

// Walks the library's IDs and hands out the style objects of every type, loading them on the way. IDs added
// after the enumerator was made are not visited.
class JStyleEnum : public StyleOwnUnknown<IEnumUnknown> {
 public:
  // A new enumerator with one reference; null when out of memory.
  static JStyleEnum* Create(JStyleLib* library);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE Next(ULONG n, IUnknown** out, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG n) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  // A copy at the same place of the same walk.
  HRESULT STDMETHODCALLTYPE Clone(IEnumUnknown** out) override;
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleEnum)

 protected:
  ~JStyleEnum();

 private:
  JStyleEnum(JStyleLib* library, DWORD idLimit);

  DWORD m_produced = 0;
  DWORD m_upperBound;
  DWORD m_nextID = 1;
  DWORD m_idLimit;
  JStyleLib* m_library;  // a reference on its controlling unknown
};

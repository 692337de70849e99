// JEnumPath: the enumerator over a style-resource list, as IEnumString and as IEnumVARIANT. It reads the list
// as it is at each call, up to the number of names it was made with, and holds a reference on the list, so
// that names removed under it or a list let go by everyone else are never read from freed memory.
#pragma once

#include <oaidl.h>

#include "display/style/stylesrv_com.h"
#include "display/style/styllib/StyleOwnUnknown.h"

class JStyleResource;

class JEnumPath : public StyleOwnUnknown<IEnumString> {
 public:
  // With one reference; null when the memory is not there.
  static JEnumPath* Create(JStyleResource* list, DWORD current, DWORD end);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE Next(ULONG count, LPOLESTR* out, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumString** out) override;
  STYLE_DECLARE_DELETING_DESTRUCTOR(JEnumPath)

  // One name per call: `count` must be 1.
  STYLE_BEGIN_INTERFACE_PART(JEnumPath, IEnumVARIANT)
  HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override;
  STYLE_END_INTERFACE_PART(IEnumVARIANT)

 protected:
  ~JEnumPath();

 private:
  JEnumPath(JStyleResource* list, DWORD current, DWORD end);
  // The end that holds now: the one the enumerator was made with, or fewer names when some went.
  DWORD End() const;

  DWORD m_current;
  DWORD m_end;
  JStyleResource* m_list;  // a reference on its controlling unknown
};

// JEnumSearchPath: the enumerator over a custodian's search directories. It reads the directories as they are
// at each call, up to the number it was made with, and holds a reference on the custodian, so that directories
// removed under it, or a custodian stopped meanwhile, are never read from freed memory.
#pragma once

#include "display/style/stylesrv_com.h"
#include "display/style/styllib/StyleOwnUnknown.h"

class JSCustodian;

class JEnumSearchPath : public StyleOwnUnknown<IEnumString> {
 public:
  // With one reference; null when the memory is not there.
  static JEnumSearchPath* Create(JSCustodian* custodian, DWORD current, DWORD end);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  HRESULT STDMETHODCALLTYPE Next(ULONG count, LPOLESTR* out, ULONG* fetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumString** out) override;
  STYLE_DECLARE_DELETING_DESTRUCTOR(JEnumSearchPath)

 protected:
  ~JEnumSearchPath();

 private:
  JEnumSearchPath(JSCustodian* custodian, DWORD current, DWORD end);
  // The end that holds now: the one the enumerator was made with, or fewer directories when some went.
  DWORD End() const;

  DWORD m_current;
  DWORD m_end;
  JSCustodian* m_custodian;  // a reference
};

// The interpreter compiled into the test makes its styles and workbenches as the server does: this server's
// classes through the loaded stylesrv.dll's class objects, any other class through the registry.
#include <windows.h>

#include "display/style/stylesrv_itf.h"
#include "host/pellow/pellow.h"

HRESULT CreateInProcessInstance(REFCLSID clsid, REFIID iid, void** out) {
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  HMODULE server = GetModuleHandleA("stylesrv.dll");
  auto getClassObject = server ? reinterpret_cast<GetClassObjectFn>(
                                     reinterpret_cast<void (*)()>(GetProcAddress(server, "DllGetClassObject")))
                               : nullptr;
  IClassFactory* factory = nullptr;
  if (getClassObject && SUCCEEDED(getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
    const HRESULT hr = factory->CreateInstance(nullptr, iid, out);
    factory->Release();
    return hr;
  }
  return JCoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out, 1);
}

#include "display/style/stylcst/CustodianService.h"

#include "display/style/server.h"
#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/StyleReport.h"

namespace {

constexpr char kSource[] = "JSCSERV";

// The references held on the word's custodian, read as one AddRef and the count its Release answers.
ULONG ReferenceCount(IUnknown* custodian) {
  custodian->AddRef();
  return custodian->Release();
}

// Fills an empty word with a new custodian.
HRESULT StartIn(IUnknown** word) {
  IUnknown* made = nullptr;
  const HRESULT hr = CreateInProcessInstanceOrFatal(CLSID_JSCustodian, IID_IUnknown, reinterpret_cast<void**>(&made),
                                                    kSource, __LINE__);
  if (FAILED(hr)) {
    if (made) made->Release();
    *word = nullptr;
    return hr;
  }
  *word = made;
  return S_OK;
}

}  // namespace

extern "C" HRESULT WINAPI StartJSCustodianService() {
  IUnknown** word = GetTlsCustodianSlot();
  if (!word) return REPORT(E_FAIL);
  // A second start keeps the custodian that runs, with the files it holds open and the references handed out.
  if (*word) return S_FALSE;
  return StartIn(word);
}

extern "C" HRESULT WINAPI StopJSCustodianService() {
  IUnknown** word = GetTlsCustodianSlot();
  if (!word || !*word) return kCustodianNotRunning;
  if (ReferenceCount(*word) != 1) return REPORT(E_UNEXPECTED);
  IUnknown* custodian = *word;
  *word = nullptr;
  custodian->Release();
  return S_OK;
}

extern "C" HRESULT WINAPI GetJSCustodian(IJSCustodian** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  IUnknown** word = GetTlsCustodianSlot();
  if (!word) return REPORT(E_FAIL);
  if (!*word) {
    const HRESULT hr = StartIn(word);
    if (FAILED(hr)) return hr;
  }
  const HRESULT hr = (*word)->QueryInterface(IID_IJSCustodian, reinterpret_cast<void**>(out));
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

extern "C" HRESULT WINAPI ReleaseJSCustodian(IJSCustodian* custodian) {
  IUnknown** word = GetTlsCustodianSlot();
  if (!word || !*word) return kCustodianNotRunning;
  if (!custodian) return REPORT(E_INVALIDARG);
  // Only a reference on the thread's own custodian can be given back here; the count read is that one's.
  if (!StyleSameObject(custodian, *word)) return REPORT(E_INVALIDARG);
  if (ReferenceCount(*word) == 1) return REPORT(E_FAIL);
  custodian->Release();
  return S_OK;
}

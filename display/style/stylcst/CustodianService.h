// The custodian service: each thread's custodian lives in the custodian word of the thread's block, and these
// four exports, the only users of that word, start, stop, hand out and take back the calling thread's one.
// A thread without a block (one that ran before the library was loaded) has no custodian service.
#pragma once

#include "display/style/stylesrv_com.h"
#include "display/style/stylesrv_itf.h"

// Answered as a plain positive value when the calling thread runs no custodian (ERROR_SERVICE_NOT_ACTIVE).
inline constexpr HRESULT kCustodianNotRunning = 1062;

extern "C" {
// Makes the thread's custodian; S_FALSE, keeping it, when one runs already.
HRESULT WINAPI StartJSCustodianService();
// Drops the thread's custodian; E_UNEXPECTED, keeping it, while anyone else holds a reference on it.
HRESULT WINAPI StopJSCustodianService();
// The thread's custodian with a reference for the caller, made first when none runs.
HRESULT WINAPI GetJSCustodian(IJSCustodian** out);
// Gives back a reference that GetJSCustodian handed out. E_FAIL, releasing nothing, when it would take the
// thread's own reference; E_INVALIDARG for a custodian that is not the thread's.
HRESULT WINAPI ReleaseJSCustodian(IJSCustodian* custodian);
}

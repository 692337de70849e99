// What the parts of the engine stand-in share among themselves.
#pragma once

#include "host/halvorn/halvorn.h"

// The document stops holding the object (ReleaseEntryInDocument without its record).
HRESULT ForgetDocumentObject(IJDocumentNamedObjects* document, IUnknown* object);

// The failure a test asked for on this call of the kind, or S_OK.
HRESULT InjectedEngineFailure(DWORD kind);
// Records the call (objects by identity) and answers its result.
HRESULT RecordEngineCall(HostNotification call);

// What the parts of the engine stand-in share among themselves.
#pragma once

#include "host/halvorn/halvorn.h"

// The document stops holding the object (ReleaseEntryInDocument without its record).
HRESULT ForgetDocumentObject(IJDocumentNamedObjects* document, IUnknown* object);

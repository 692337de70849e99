// A test double of the host's class for style-library files with the extension "RSC": an accessor that opens
// nothing and holds no names, and records every Open it gets with its path. The class object is registered
// with the platform's class registry, where a custodian finds the host's classes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "display/style/stylesrv_itf.h"

namespace host_app {

struct RscAccessLog {
  std::vector<std::wstring> opened;  // the paths given to Open, in order
  HRESULT openAnswer = S_OK;         // what Open answers
};

// The log of every accessor of the class (one per process).
RscAccessLog& RscAccessCalls();

// Registers the class object under CLSID_HostRscAccess for this thread's apartment; *cookie revokes it.
HRESULT RegisterRscAccessClass(DWORD* cookie);

}  // namespace host_app

// The application interface as a test sets it up: the failure GetAppInterface answers for it, or the class its
// class-ID query gives.
#include "host/halvorn/engine_internal.h"

namespace {

SRWLOCK g_identityLock = SRWLOCK_INIT;
HRESULT g_answer = S_OK;
CLSID g_clsid = GUID_NULL;
bool g_hasClass = false;

}  // namespace

HRESULT ApplicationInterfaceRefusal() {
  AcquireSRWLockShared(&g_identityLock);
  const HRESULT answer = g_answer;
  ReleaseSRWLockShared(&g_identityLock);
  return answer;
}

// The CLSID stays where it is for the life of the process; a test changes it only while nothing asks.
const CLSID* ApplicationClassID() {
  AcquireSRWLockShared(&g_identityLock);
  const CLSID* clsid = g_hasClass ? &g_clsid : nullptr;
  ReleaseSRWLockShared(&g_identityLock);
  return clsid;
}

extern "C" void HostSetApplicationIdentity(HRESULT answer, const CLSID* clsid) {
  AcquireSRWLockExclusive(&g_identityLock);
  g_answer = answer;
  g_hasClass = clsid != nullptr;
  g_clsid = clsid ? *clsid : GUID_NULL;
  ReleaseSRWLockExclusive(&g_identityLock);
}

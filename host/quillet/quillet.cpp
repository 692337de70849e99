#include "host/quillet/quillet.h"

#include <vector>

namespace {

struct CallLog {
  SRWLOCK lock = SRWLOCK_INIT;
  std::vector<QuilletCall> calls;
};

CallLog& Log() {
  static CallLog log;
  return log;
}

LONG Record(DWORD kind, IUnknown* library, DWORD id = 0, DWORD count = 0, BOOL named = FALSE) {
  CallLog& log = Log();
  AcquireSRWLockExclusive(&log.lock);
  log.calls.push_back({kind, library, id, count, named});
  ReleaseSRWLockExclusive(&log.lock);
  return 0;
}

class RecordingHook final : public IQuilletHook {
 public:
  LONG STDMETHODCALLTYPE LibraryCreated(IUnknown* library) override {
    return Record(QUILLET_LIBRARY_CREATED, library);
  }
  LONG STDMETHODCALLTYPE LibraryDestroyed(IUnknown* library) override {
    return Record(QUILLET_LIBRARY_DESTROYED, library);
  }
  LONG STDMETHODCALLTYPE EntryAdded(IUnknown* library, DWORD id, const StyleEntry* entry) override {
    return Record(QUILLET_ENTRY_ADDED, library, id, entry ? entry->persistentID : 0, entry && entry->name);
  }
  LONG STDMETHODCALLTYPE UseCountChanged(IUnknown* library, DWORD id, DWORD count) override {
    return Record(QUILLET_USE_COUNT, library, id, count);
  }
  LONG STDMETHODCALLTYPE HoldCountChanged(IUnknown* library, DWORD id, DWORD count) override {
    return Record(QUILLET_HOLD_COUNT, library, id, count);
  }
  LONG STDMETHODCALLTYPE EntryFreed(IUnknown* library, DWORD id) override {
    return Record(QUILLET_ENTRY_FREED, library, id);
  }
  LONG STDMETHODCALLTYPE LoadBegins(IUnknown* library) override { return Record(QUILLET_LOAD_BEGINS, library); }
  LONG STDMETHODCALLTYPE LoadEnds(IUnknown* library) override { return Record(QUILLET_LOAD_ENDS, library); }
};

RecordingHook g_hook;

}  // namespace

extern "C" {

__declspec(dllexport) IQuilletHook* GetQuillet() { return &g_hook; }

__declspec(dllexport) LONG QuilletCallCount() {
  CallLog& log = Log();
  AcquireSRWLockShared(&log.lock);
  const LONG n = static_cast<LONG>(log.calls.size());
  ReleaseSRWLockShared(&log.lock);
  return n;
}

__declspec(dllexport) BOOL QuilletGetCall(LONG index, QuilletCall* out) {
  CallLog& log = Log();
  AcquireSRWLockShared(&log.lock);
  const BOOL ok = out && index >= 0 && index < static_cast<LONG>(log.calls.size());
  if (ok) *out = log.calls[static_cast<std::size_t>(index)];
  ReleaseSRWLockShared(&log.lock);
  return ok;
}

__declspec(dllexport) void QuilletClearCalls() {
  CallLog& log = Log();
  AcquireSRWLockExclusive(&log.lock);
  log.calls.clear();
  ReleaseSRWLockExclusive(&log.lock);
}

}  // extern "C"

#include "host/pellow/pellow.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

// Reports may come from any thread of the host.
struct ReportLog {
  CRITICAL_SECTION lock;
  std::vector<PellowReport> reports;
  ReportLog() { InitializeCriticalSection(&lock); }
  ~ReportLog() { DeleteCriticalSection(&lock); }
};

ReportLog& Log() {
  static ReportLog log;
  return log;
}

void Record(BOOL fatal, HRESULT hr, DWORD flags, const CLSID* clsid, const char* source, int line) {
  PellowReport r{};
  r.fatal = fatal;
  r.hr = hr;
  r.flags = flags;
  if (clsid) r.clsid = *clsid;
  if (source) {
    std::strncpy(r.source, source, sizeof r.source - 1);
  }
  r.line = line;
  ReportLog& log = Log();
  EnterCriticalSection(&log.lock);
  log.reports.push_back(r);
  LeaveCriticalSection(&log.lock);
}

volatile LONG g_attachCount = 0;
volatile LONG g_attachesToFail = 0;

}  // namespace

extern "C" {

HRESULT HRerr(HRESULT hr, DWORD flags, const char* source, int line) {
  Record(FALSE, hr, flags, nullptr, source, line);
  return hr;
}

int RCfatalerr(REFCLSID clsid, DWORD flags, HRESULT hr, const char* source, int line) {
  Record(TRUE, hr, flags, &clsid, source, line);
  return 0;
}

HMODULE AttachLocaleResDLL(HMODULE module, const char* name, DWORD, DWORD, DWORD) {
  InterlockedIncrement(&g_attachCount);
  // Takes one from a positive count only, so that concurrent callers fail exactly as many times as asked.
  for (LONG left = g_attachesToFail; left > 0; left = g_attachesToFail) {
    if (InterlockedCompareExchange(&g_attachesToFail, left - 1, left) == left) return nullptr;
  }
  if (!name) return nullptr;
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  std::string full(path, n);
  std::string::size_type slash = full.find_last_of("\\/");
  full.erase(slash == std::string::npos ? 0 : slash + 1);
  full += name;
  return LoadLibraryA(full.c_str());
}

HRESULT JCoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** out, DWORD) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  return CoCreateInstance(clsid, outer, context, iid, out);
}

LONG PellowReportCount() {
  ReportLog& log = Log();
  EnterCriticalSection(&log.lock);
  LONG n = static_cast<LONG>(log.reports.size());
  LeaveCriticalSection(&log.lock);
  return n;
}

BOOL PellowGetReport(LONG index, PellowReport* out) {
  ReportLog& log = Log();
  EnterCriticalSection(&log.lock);
  BOOL ok = out && index >= 0 && index < static_cast<LONG>(log.reports.size());
  if (ok) *out = log.reports[index];
  LeaveCriticalSection(&log.lock);
  return ok;
}

LONG PellowAttachCount() { return g_attachCount; }

void PellowFailNextAttaches(LONG n) { InterlockedExchange(&g_attachesToFail, n > 0 ? n : 0); }

void PellowClearReports() {
  ReportLog& log = Log();
  EnterCriticalSection(&log.lock);
  log.reports.clear();
  LeaveCriticalSection(&log.lock);
}

}  // extern "C"

#include "tests/support/stylesrv_test.h"

#include <cstdio>

namespace stylesrv_test {

ServerModule::ServerModule() {
  m_module = LoadLibraryA("stylesrv.dll");
  if (!m_module) {
    ADD_FAILURE() << "stylesrv.dll did not load, error " << GetLastError();
    return;
  }
  m_getClassObject = FindExport<decltype(m_getClassObject)>(m_module, "DllGetClassObject");
  m_canUnloadNow = FindExport<decltype(m_canUnloadNow)>(m_module, "DllCanUnloadNow");
  m_useStyleLibrarian = FindExport<decltype(m_useStyleLibrarian)>(m_module, "HUseStyleLibrarian");
  m_setExceptionColor = FindExport<decltype(m_setExceptionColor)>(m_module, "SetExceptionColor");
  m_getExceptionColor = FindExport<decltype(m_getExceptionColor)>(m_module, "GetExceptionColor");
  auto internals = FindExport<decltype(&GetStyleServerInternals)>(m_module, "GetStyleServerInternals");
  if (!m_getClassObject || !m_canUnloadNow || !m_useStyleLibrarian || !m_setExceptionColor ||
      !m_getExceptionColor || !internals) {
    ADD_FAILURE() << "stylesrv.dll lacks an export";
    Unload();
    return;
  }
  m_internals = internals();
  if (m_internals->size < sizeof(StyleServerInternals)) {
    ADD_FAILURE() << "stylesrv.dll has an older internal table";
    Unload();
  }
}

namespace {

ServerCounts g_unloadedCopies;

}  // namespace

ServerCounts UnloadedCopyCounts() { return g_unloadedCopies; }

void ServerModule::Unload() {
  if (m_module) {
    // As a host ends its use of the server on a thread: the thread's custodian service, which the style
    // libraries start on demand, is stopped when nothing but the thread holds the custodian.
    IUnknown** custodian = m_internals ? m_internals->GetTlsCustodianSlot() : nullptr;
    auto stop = FindExport<HRESULT(WINAPI*)()>(m_module, "StopJSCustodianService");
    if (custodian && *custodian && stop) {
      (*custodian)->AddRef();
      if ((*custodian)->Release() == 1) stop();
    }
    // What this copy still counts is lost with it when this was its last load: the run keeps it.
    const ServerCounts left{m_internals ? m_internals->GetLiveObjectCount() : 0,
                            m_internals ? m_internals->GetServerLockCount() : 0};
    FreeLibrary(m_module);
    if (!GetModuleHandleA("stylesrv.dll")) {
      g_unloadedCopies.objects += left.objects;
      g_unloadedCopies.locks += left.locks;
    }
  }
  m_module = nullptr;
  m_getClassObject = nullptr;
  m_canUnloadNow = nullptr;
  m_useStyleLibrarian = nullptr;
  m_setExceptionColor = nullptr;
  m_getExceptionColor = nullptr;
  m_internals = nullptr;
}

std::vector<PellowReport> Reports() {
  std::vector<PellowReport> reports(PellowReportCount());
  for (LONG i = 0; i < static_cast<LONG>(reports.size()); ++i) PellowGetReport(i, &reports[i]);
  return reports;
}

void ClearReports() { PellowClearReports(); }

}  // namespace stylesrv_test

void PrintTo(const PellowReport& report, std::ostream* os) {
  char hr[16];
  std::snprintf(hr, sizeof hr, "0x%08lX", static_cast<unsigned long>(report.hr));
  *os << (report.fatal ? "RCfatalerr(" : "HRerr(") << hr << ", " << report.source << ", " << report.line << ")";
}

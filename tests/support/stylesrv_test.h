// Helpers shared by the Windows tests: stylesrv.dll loaded as a host loads it, and what was reported.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "display/style/server.h"
#include "host/halvorn/halvorn.h"
#include "host/pellow/pellow.h"

namespace stylesrv_test {

// stylesrv.dll loaded with LoadLibrary and its exports found with GetProcAddress, for the lifetime of the
// object (or until Unload). A failure to load fails the current test. An unload that takes the module out of
// the process adds what it still counted to UnloadedCopyCounts.
class ServerModule {
 public:
  ServerModule();
  ~ServerModule() { Unload(); }
  ServerModule(const ServerModule&) = delete;
  ServerModule& operator=(const ServerModule&) = delete;

  void Unload();
  bool loaded() const { return m_module != nullptr; }
  HMODULE handle() const { return m_module; }

  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const { return m_getClassObject(clsid, iid, out); }
  HRESULT CanUnloadNow() const { return m_canUnloadNow(); }
  HRESULT UseStyleLibrarian(DWORD mode, IUnknown** slot) const { return m_useStyleLibrarian(mode, slot); }
  DWORD SetExceptionColor(DWORD colour) const { return m_setExceptionColor(colour); }
  DWORD GetExceptionColor() const { return m_getExceptionColor(); }
  const StyleServerInternals& internals() const { return *m_internals; }

 private:
  HMODULE m_module = nullptr;
  decltype(&::DllGetClassObject) m_getClassObject = nullptr;
  decltype(&::DllCanUnloadNow) m_canUnloadNow = nullptr;
  decltype(&::HUseStyleLibrarian) m_useStyleLibrarian = nullptr;
  decltype(&::SetExceptionColor) m_setExceptionColor = nullptr;
  decltype(&::GetExceptionColor) m_getExceptionColor = nullptr;
  const StyleServerInternals* m_internals = nullptr;
};

// Live objects and server locks of stylesrv.dll.
struct ServerCounts {
  LONG objects = 0;
  LONG locks = 0;
};

// What the copies of stylesrv.dll that ServerModule unloaded during the run still counted when they went: a
// leak of a copy that is gone is still a leak of the run.
ServerCounts UnloadedCopyCounts();

// An export of a loaded module as a function pointer of the given type; null when it is not there.
template <class F>
F FindExport(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Everything reported through HRerr and RCfatalerr since the last ClearReports, in order.
std::vector<PellowReport> Reports();
void ClearReports();

// A report through HRerr with this HRESULT, source and line.
MATCHER_P3(IsReport, hr, source, line, "") {
  return !arg.fatal && arg.hr == static_cast<HRESULT>(hr) && std::string(arg.source) == source && arg.line == line;
}

// The identity of an object (its IUnknown), without a reference; null for none.
inline IUnknown* IdentityOf(IUnknown* object) {
  IUnknown* identity = nullptr;
  if (!object || FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)))) return nullptr;
  identity->Release();
  return identity;
}

// Calls slot `slot` of an interface's table directly, as a host that knows only the places would.
template <class... Args>
HRESULT CallSlot(void* itf, int slot, Args... args) {
  using Fn = HRESULT(STDMETHODCALLTYPE*)(void*, Args...);
  void** table = *reinterpret_cast<void***>(itf);
  return reinterpret_cast<Fn>(table[slot])(itf, args...);
}

}  // namespace stylesrv_test

// Shown by GoogleTest when a report does not match.
void PrintTo(const PellowReport& report, std::ostream* os);

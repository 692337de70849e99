#include "display/style/stylspt/ConversionPlugin.h"

#include "display/style/StaticSection.h"
#include "display/style/server.h"

namespace {

using Entry1 = HRESULT(WINAPI*)(DWORD);
using Entry2 = HRESULT(WINAPI*)(DWORD, DWORD);
using EntryPtr2 = HRESULT(WINAPI*)(void*, void*);
using Entry6 = HRESULT(WINAPI*)(DWORD, DWORD, DWORD, DWORD, DWORD, DWORD);

// The plug-in and its entry points. Only loading and unloading take the lock; the forwarding exports read the
// pointers without it, so that no entry point ever runs under the lock.
struct PluginState {
  HMODULE module;
  Entry6 styleConvertR1;
  Entry1 postUnknown;
  Entry1 postForAfterAux;
  Entry1 afterAux;
  Entry1 markStyleAsUsed;
  Entry1 postExceptions;
  EntryPtr2 setTlsListPtrs;
  Entry2 getTlsListPtrs;
};
PluginState g_plugin;

__attribute__((init_priority(STYLESRV_INIT_CONVERSION_LOADER))) StaticSection g_loaderLock;

template <class F>
F Find(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Each pointer is stored as it is found. The first five come as a chain that stops at the first one missing;
// the rest are asked only of a plug-in that has all five.
void LoadConversionPlugin() {
  g_loaderLock.Enter();
  if (!g_plugin.module) {
    if (HMODULE module = LoadLibraryA("Mossgrave.dex")) {
      g_plugin.module = module;
      if ((g_plugin.styleConvertR1 = Find<Entry6>(module, "HRealStyleConvertR1")) &&
          (g_plugin.postUnknown = Find<Entry1>(module, "HRealPostR1UnknownForConversion")) &&
          (g_plugin.postForAfterAux = Find<Entry1>(module, "HRealPostR1forAfterAuxConversion")) &&
          (g_plugin.afterAux = Find<Entry1>(module, "HRealAfterAuxConversion")) &&
          (g_plugin.markStyleAsUsed = Find<Entry1>(module, "HRealConvertMarkStyleAsUsed"))) {
        g_plugin.postExceptions = Find<Entry1>(module, "HRealPostR1ExceptionsforAfterAuxConversion");
        if ((g_plugin.setTlsListPtrs = Find<EntryPtr2>(module, "HRealSetTLSListPtrs"))) {
          g_plugin.getTlsListPtrs = Find<Entry2>(module, "HRealGetTLSListPtrs");
        }
      }
    }
  }
  g_loaderLock.Leave();
}

void LoadWhenNeeded() {
  if (!g_plugin.module) LoadConversionPlugin();
}

void SetPending() {
  if (std::uint32_t* pending = GetTlsConversionState()) *pending = 1;
}

bool Pending() {
  const std::uint32_t* pending = GetTlsConversionState();
  return pending && *pending != 0;
}

}  // namespace

extern "C" {

HRESULT WINAPI HStyleConvertR1(DWORD a1, DWORD a2, DWORD a3, DWORD a4, DWORD a5, DWORD a6) {
  // Without a third argument there is nothing to convert, and no reason to load the plug-in for it.
  if (!g_plugin.module && a3 == 0) return S_OK;
  LoadWhenNeeded();
  const Entry6 entry = g_plugin.styleConvertR1;
  return entry ? entry(a1, a2, a3, a4, a5, a6) : E_FAIL;
}

HRESULT WINAPI HPostR1UnknownForConversion(DWORD a) {
  LoadWhenNeeded();
  const Entry1 entry = g_plugin.postUnknown;
  return entry ? entry(a) : E_FAIL;
}

HRESULT WINAPI HPostR1forAfterAuxConversion(DWORD a) {
  LoadWhenNeeded();
  SetPending();
  const Entry1 entry = g_plugin.postForAfterAux;
  return entry ? entry(a) : E_FAIL;
}

HRESULT WINAPI HPostR1ExceptionsforAfterAuxConversion(DWORD a) {
  LoadWhenNeeded();
  SetPending();
  const Entry1 entry = g_plugin.postExceptions;
  return entry ? entry(a) : E_FAIL;
}

HRESULT WINAPI HConvertMarkStyleAsUsed(DWORD a) {
  LoadWhenNeeded();
  const Entry1 entry = g_plugin.markStyleAsUsed;
  return entry ? entry(a) : E_FAIL;
}

HRESULT WINAPI HGetTLSListPtrs(DWORD a, DWORD b) {
  LoadWhenNeeded();
  const Entry2 entry = g_plugin.getTlsListPtrs;
  return entry ? entry(a, b) : E_FAIL;
}

HRESULT WINAPI HSetTLSListPtrs(void* a, void* b) {
  const EntryPtr2 entry = g_plugin.setTlsListPtrs;
  const HRESULT hr = entry ? entry(a, b) : E_FAIL;
  if (g_plugin.module && !a && !b) UnloadMossgraveDll();
  return hr;
}

HRESULT WINAPI HAfterAuxConversion(DWORD a) {
  if (!Pending()) return S_OK;
  bool loadedHere = false;
  if (!g_plugin.module) {
    LoadConversionPlugin();
    loadedHere = g_plugin.module != nullptr;
  }
  const Entry1 entry = g_plugin.afterAux;
  const HRESULT hr = entry ? entry(a) : E_FAIL;
  // A plug-in that was there before the call belongs to whoever loaded it.
  if (loadedHere && g_plugin.module) UnloadMossgraveDll();
  return hr;
}

void WINAPI UnloadMossgraveDll() {
  g_loaderLock.Enter();
  if (g_plugin.module) FreeLibrary(g_plugin.module);
  g_plugin = PluginState{};
  g_loaderLock.Leave();
  if (std::uint32_t* pending = GetTlsConversionState()) *pending = 0;
}

}  // extern "C"

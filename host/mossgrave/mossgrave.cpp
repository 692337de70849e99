#include "host/mossgrave/mossgrave.h"

#include <cstdint>
#include <cstdlib>

namespace {

MossgraveLog* TestLog() {
  char text[32];
  const DWORD n = GetEnvironmentVariableA(MOSSGRAVE_LOG_VARIABLE, text, sizeof text);
  if (n == 0 || n >= sizeof text) return nullptr;
  return reinterpret_cast<MossgraveLog*>(static_cast<std::uintptr_t>(std::strtoul(text, nullptr, 16)));
}

HRESULT Record(MossgraveEntry entry, DWORD a1 = 0, DWORD a2 = 0, DWORD a3 = 0, DWORD a4 = 0, DWORD a5 = 0,
               DWORD a6 = 0) {
  MossgraveLog* log = TestLog();
  if (!log) return S_OK;
  const LONG index = InterlockedIncrement(&log->count) - 1;
  if (index < static_cast<LONG>(sizeof log->calls / sizeof log->calls[0])) {
    log->calls[index] = MossgraveCall{entry, {a1, a2, a3, a4, a5, a6}};
  }
  return log->answers[entry];
}

DWORD Word(void* p) { return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(p)); }

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (MossgraveLog* log = TestLog()) {
    if (reason == DLL_PROCESS_ATTACH) InterlockedIncrement(&log->attaches);
    if (reason == DLL_PROCESS_DETACH) InterlockedIncrement(&log->detaches);
  }
  return TRUE;
}

__declspec(dllexport) HRESULT WINAPI HRealStyleConvertR1(DWORD a1, DWORD a2, DWORD a3, DWORD a4, DWORD a5,
                                                         DWORD a6) {
  return Record(MOSSGRAVE_STYLE_CONVERT_R1, a1, a2, a3, a4, a5, a6);
}
__declspec(dllexport) HRESULT WINAPI HRealPostR1UnknownForConversion(DWORD a) {
  return Record(MOSSGRAVE_POST_UNKNOWN, a);
}
__declspec(dllexport) HRESULT WINAPI HRealPostR1forAfterAuxConversion(DWORD a) {
  return Record(MOSSGRAVE_POST_FOR_AFTER_AUX, a);
}
__declspec(dllexport) HRESULT WINAPI HRealAfterAuxConversion(DWORD a) { return Record(MOSSGRAVE_AFTER_AUX, a); }
__declspec(dllexport) HRESULT WINAPI HRealConvertMarkStyleAsUsed(DWORD a) {
  return Record(MOSSGRAVE_MARK_STYLE_AS_USED, a);
}
// The partial build lacks this one, as an older plug-in does.
#ifndef MOSSGRAVE_WITHOUT_EXCEPTIONS
__declspec(dllexport) HRESULT WINAPI HRealPostR1ExceptionsforAfterAuxConversion(DWORD a) {
  return Record(MOSSGRAVE_POST_EXCEPTIONS, a);
}
#endif
__declspec(dllexport) HRESULT WINAPI HRealSetTLSListPtrs(void* a, void* b) {
  return Record(MOSSGRAVE_SET_TLS_LIST_PTRS, Word(a), Word(b));
}
__declspec(dllexport) HRESULT WINAPI HRealGetTLSListPtrs(DWORD a, DWORD b) {
  return Record(MOSSGRAVE_GET_TLS_LIST_PTRS, a, b);
}

}  // extern "C"

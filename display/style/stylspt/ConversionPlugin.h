// The conversion of styles from the older data release lives in the host's plug-in Mossgrave.dex, loaded on
// first use; these exports forward to it. One conversion runs as the host calls them: elements are posted,
// styles marked as used, two per-thread list pointers may be handed over, and last the auxiliary conversion
// runs, on a thread that posted something for it.
//
// An export whose entry point is not there (no plug-in, or a plug-in without it) answers E_FAIL without a
// report; otherwise it answers what the plug-in answered.
#pragma once

#include <windows.h>

extern "C" {
HRESULT WINAPI HStyleConvertR1(DWORD a1, DWORD a2, DWORD a3, DWORD a4, DWORD a5, DWORD a6);
HRESULT WINAPI HPostR1UnknownForConversion(DWORD a);
HRESULT WINAPI HPostR1forAfterAuxConversion(DWORD a);
HRESULT WINAPI HPostR1ExceptionsforAfterAuxConversion(DWORD a);
HRESULT WINAPI HConvertMarkStyleAsUsed(DWORD a);
HRESULT WINAPI HGetTLSListPtrs(DWORD a, DWORD b);
// Two null pointers end the conversion: the plug-in is unloaded after it was told.
HRESULT WINAPI HSetTLSListPtrs(void* a, void* b);
HRESULT WINAPI HAfterAuxConversion(DWORD a);
// Frees the plug-in and forgets its entry points; clears the calling thread's pending auxiliary conversion.
void WINAPI UnloadMossgraveDll();
}

// Wide texts of the style library: names and auxiliary texts live on the runtime heap, and names compare
// without regard to case.
#pragma once

#include <windows.h>

// A copy of `text` on the runtime heap; null for null, and null when the memory is not there (check `text`
// to tell the two apart).
LPWSTR StyleDupText(LPCWSTR text);
// Frees a text of StyleDupText; null does nothing.
void StyleFreeText(LPWSTR text);
// Replaces *slot by a copy of `text`, freeing the old text. False, with *slot unchanged, when out of memory.
bool StyleReplaceText(LPWSTR* slot, LPCWSTR text);

// Style names are equal when their UTF-16 units are equal after towlower; null equals only null.
bool StyleNamesEqual(LPCWSTR a, LPCWSTR b);
// The resource list compares file names after towupper.
bool StyleNamesEqualUpper(LPCWSTR a, LPCWSTR b);

// A text handed out through a caller's buffer of *byteSize bytes: with no buffer, or one too small (then
// E_INVALIDARG), *byteSize becomes the bytes the text needs with its terminator; otherwise the text is copied.
// E_INVALIDARG without byteSize.
HRESULT StyleCopyTextOut(LPCWSTR text, LPWSTR buffer, DWORD* byteSize);

// The enumerators of texts (IEnumString): Next hands out copies from the task allocator, each the caller's, of
// the texts from *current up to `end` (textAt(index) answers one); an allocation failure ends the call, reported
// under `source`. Skip moves *current by up to `count`, not past `end`.
HRESULT StyleEnumNextTexts(ULONG count, LPOLESTR* out, ULONG* fetched, DWORD* current, DWORD end,
                           LPCWSTR (*textAt)(const void* owner, DWORD index), const void* owner, const char* source);
HRESULT StyleEnumSkip(ULONG count, DWORD* current, DWORD end);

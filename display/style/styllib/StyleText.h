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

#include "display/style/styllib/StyleText.h"

#include <cstdlib>
#include <cwchar>
#include <cwctype>

#include <objbase.h>

#include "display/style/styllib/StyleReport.h"

LPWSTR StyleDupText(LPCWSTR text) {
  if (!text) return nullptr;
  const std::size_t units = std::wcslen(text) + 1;
  auto* copy = static_cast<LPWSTR>(std::malloc(units * sizeof(WCHAR)));
  if (copy) std::wmemcpy(copy, text, units);
  return copy;
}

void StyleFreeText(LPWSTR text) { std::free(text); }

bool StyleReplaceText(LPWSTR* slot, LPCWSTR text) {
  LPWSTR copy = StyleDupText(text);
  if (text && !copy) return false;
  StyleFreeText(*slot);
  *slot = copy;
  return true;
}

namespace {

template <class Fold>
bool EqualFolded(LPCWSTR a, LPCWSTR b, Fold fold) {
  if (!a || !b) return a == b;
  for (;; ++a, ++b) {
    if (fold(*a) != fold(*b)) return false;
    if (*a == 0) return true;
  }
}

}  // namespace

bool StyleNamesEqual(LPCWSTR a, LPCWSTR b) {
  return EqualFolded(a, b, [](WCHAR c) { return static_cast<WCHAR>(std::towlower(c)); });
}

bool StyleNamesEqualUpper(LPCWSTR a, LPCWSTR b) {
  return EqualFolded(a, b, [](WCHAR c) { return static_cast<WCHAR>(std::towupper(c)); });
}

HRESULT StyleCopyTextOut(LPCWSTR text, LPWSTR buffer, DWORD* byteSize) {
  if (!byteSize) return E_INVALIDARG;
  const DWORD needed = static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(WCHAR));
  if (!buffer || *byteSize < needed) {
    *byteSize = needed;
    return buffer ? E_INVALIDARG : S_OK;
  }
  std::wmemcpy(buffer, text, needed / sizeof(WCHAR));
  return S_OK;
}

HRESULT StyleEnumNextTexts(ULONG count, LPOLESTR* out, ULONG* fetched, DWORD* current, DWORD end,
                           LPCWSTR (*textAt)(const void* owner, DWORD index), const void* owner, const char* source) {
  if (!out || count == 0) return E_INVALIDARG;
  ULONG given = 0;
  while (given < count && *current < end) {
    LPCWSTR text = textAt(owner, *current);
    const std::size_t units = std::wcslen(text) + 1;
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(units * sizeof(WCHAR)));
    if (!copy) {
      StyleReport(source, E_OUTOFMEMORY, __LINE__);
      break;
    }
    std::wmemcpy(copy, text, units);
    out[given++] = copy;
    ++*current;
  }
  if (fetched) *fetched = given;
  return given == count ? S_OK : S_FALSE;
}

HRESULT StyleEnumSkip(ULONG count, DWORD* current, DWORD end) {
  const DWORD left = *current < end ? end - *current : 0;
  const DWORD step = count < left ? count : left;
  *current += step;
  return step == count ? S_OK : S_FALSE;
}

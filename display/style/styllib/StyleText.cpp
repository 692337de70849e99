#include "display/style/styllib/StyleText.h"

#include <cstdlib>
#include <cwchar>
#include <cwctype>

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

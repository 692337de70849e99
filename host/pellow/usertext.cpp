// The utility library's text class and its reader of the host's debug switches.
#include <cwchar>

#include "host/pellow/pellow.h"

GUserText::GUserText() : m_text(nullptr) {}

GUserText::~GUserText() { delete[] m_text; }

BOOL GUserText::LoadStringResource(HMODULE module, UINT id) {
  delete[] m_text;
  m_text = nullptr;
  // With a zero length the platform hands out the string in place, read-only and not terminated.
  const WCHAR* resource = nullptr;
  const int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&resource), 0);
  if (length <= 0 || !resource) return FALSE;
  m_text = new WCHAR[static_cast<std::size_t>(length) + 1];
  std::wmemcpy(m_text, resource, static_cast<std::size_t>(length));
  m_text[length] = L'\0';
  return TRUE;
}

extern "C" DWORD CheckDebugRegEntry(const char* name, DWORD defaultValue) {
  if (!name) return defaultValue;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, PELLOW_DEBUG_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return defaultValue;
  }
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  const LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof value ? value : defaultValue;
}

// The utility library's text class and its reader of the host's debug switches.
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <vector>

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

GUserText& GUserText::operator=(LPCWSTR text) {
  if (text == m_text) return *this;
  const std::size_t length = text ? std::wcslen(text) : 0;
  auto* copy = new WCHAR[length + 1];
  if (length) std::wmemcpy(copy, text, length);
  copy[length] = L'\0';
  delete[] m_text;
  m_text = copy;
  return *this;
}

GUserText& GUserText::operator+=(LPCWSTR text) {
  const std::size_t have = m_text ? std::wcslen(m_text) : 0;
  const std::size_t add = text ? std::wcslen(text) : 0;
  auto* joined = new WCHAR[have + add + 1];
  if (have) std::wmemcpy(joined, m_text, have);
  if (add) std::wmemcpy(joined + have, text, add);
  joined[have + add] = L'\0';
  delete[] m_text;
  m_text = joined;
  return *this;
}

namespace {

std::mutex g_formatLock;
std::vector<PellowFormatCall>& FormatCalls() {
  static std::vector<PellowFormatCall> calls;
  return calls;
}

}  // namespace

HRESULT FormatUnit(DWORD mode, double value, GUserText* text, const BYTE* format, const DWORD* limit,
                   void* reserved1, void* reserved2) {
  if (!text || !format) return E_INVALIDARG;
  PellowFormatCall call{mode, value, {}, limit ? *limit : 0, !reserved1 && !reserved2};
  std::memcpy(call.format, format, sizeof call.format);
  {
    std::lock_guard<std::mutex> hold(g_formatLock);
    FormatCalls().push_back(call);
  }
  wchar_t written[64];
  std::swprintf(written, 64, L"%.3f", value);
  *text = written;
  return S_OK;
}

extern "C" LONG PellowFormatCallCount() {
  std::lock_guard<std::mutex> hold(g_formatLock);
  return static_cast<LONG>(FormatCalls().size());
}

extern "C" BOOL PellowGetFormatCall(LONG index, PellowFormatCall* out) {
  std::lock_guard<std::mutex> hold(g_formatLock);
  if (!out || index < 0 || index >= static_cast<LONG>(FormatCalls().size())) return FALSE;
  *out = FormatCalls()[static_cast<std::size_t>(index)];
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

#ifdef _WIN32
#include "geometry/platform.h"

#include <windows.h>

#include <cstring>

#include "host/pellow/pellow.h"

namespace geomplatform {

namespace {

// All zero until the static initialiser has run, and again after the exit list deleted it.
CRITICAL_SECTION gFillPoolSection;

bool FillPoolSectionInitialised() {
  static const CRITICAL_SECTION zero{};
  return std::memcmp(&gFillPoolSection, &zero, sizeof zero) != 0;
}

struct FillPoolSectionLifetime {
  FillPoolSectionLifetime() { InitializeCriticalSection(&gFillPoolSection); }
  ~FillPoolSectionLifetime() {
    DeleteCriticalSection(&gFillPoolSection);
    std::memset(&gFillPoolSection, 0, sizeof gFillPoolSection);
  }
};

__attribute__((init_priority(GEOM_INIT_FILL_POOL_LOCK))) FillPoolSectionLifetime gFillPoolSectionLifetime;

HKEY AsHkey(DebugKey key) { return static_cast<HKEY>(key); }

HKEY OpenKey(REGSAM access) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDebugKeyPath, 0, access, &key) != ERROR_SUCCESS) return nullptr;
  return key;
}

}  // namespace

DebugKey OpenDebugKeyForQuery() { return OpenKey(KEY_QUERY_VALUE); }

DebugKeyOpen CreateDebugKey(DebugKey* key) {
  char keyClass[] = "REG_DWORD";
  HKEY created = nullptr;
  DWORD disposition = 0;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDebugKeyPath, 0, keyClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &created, &disposition) != ERROR_SUCCESS) {
    return DebugKeyOpen::kFailed;
  }
  *key = created;
  return disposition == REG_CREATED_NEW_KEY ? DebugKeyOpen::kCreated : DebugKeyOpen::kOpened;
}

bool ReadDebugValue(DebugKey key, const char* name, std::uint32_t* value) {
  DWORD data = 0;
  DWORD size = sizeof data;
  if (RegQueryValueExA(AsHkey(key), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  *value = data;
  return true;
}

void WriteDebugDword(DebugKey key, const char* name, std::uint32_t value) {
  DWORD data = value;
  RegSetValueExA(AsHkey(key), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
}

void CloseDebugKey(DebugKey key) { RegCloseKey(AsHkey(key)); }

void DebuggerOutput(const char* text) { OutputDebugStringA(text); }

int AskAssertion(const char* message) {
  HWND active = GetActiveWindow();
  HWND owner = active ? GetLastActivePopup(active) : nullptr;
  return MessageBoxA(owner, message, "Assertion Failed!",
                     MB_TASKMODAL | MB_ICONHAND | MB_ABORTRETRYIGNORE | MB_SETFOREGROUND);
}

void BreakIntoDebugger() { DebugBreak(); }

bool StoreDebugValue(const char* name, const void* bytes, std::uint32_t size, std::uint32_t type) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDebugKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  LONG status = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(bytes), size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

bool LoadDebugDword(const char* name, std::uint32_t* value) {
  HKEY key = OpenKey(KEY_QUERY_VALUE);
  if (!key) return false;
  bool found = ReadDebugValue(key, name, value);
  RegCloseKey(key);
  return found;
}

bool RemoveDebugValue(const char* name) {
  HKEY key = OpenKey(KEY_SET_VALUE);
  if (!key) return true;
  LONG status = RegDeleteValueA(key, name);
  RegCloseKey(key);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool RemoveDebugKey() {
  LONG status = RegDeleteKeyA(HKEY_LOCAL_MACHINE, kDebugKeyPath);
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool EnterFillPoolLock() {
  if (!FillPoolSectionInitialised()) return false;
  EnterCriticalSection(&gFillPoolSection);
  return true;
}

void LeaveFillPoolLock() { LeaveCriticalSection(&gFillPoolSection); }

void ReportFillFailure(std::int32_t hr, const char* source, int line) { HRerr(hr, 0, source, line); }

}  // namespace geomplatform
#endif

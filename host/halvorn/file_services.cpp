// The application's file type and its registry settings, as the style-library file access reads them. The
// settings live in the real registry (of the build's Wine prefix), under the application's one key.
#include <cstring>

#include "host/halvorn/engine_internal.h"
#include "host/halvorn/halvorn.h"

namespace {

SRWLOCK g_nameLock = SRWLOCK_INIT;
char g_fileTypeName[64] = "Drawing";

class HostFileType final : public EngineStaticObject<IJApplicationFileType, &IID_IJApplicationFileType> {
 public:
  HRESULT STDMETHODCALLTYPE GetFileTypeName(LPSTR buffer, DWORD size) override {
    if (!buffer || size == 0) return E_INVALIDARG;
    AcquireSRWLockShared(&g_nameLock);
    const std::size_t length = std::strlen(g_fileTypeName);
    const bool fits = length < size;
    if (fits) std::memcpy(buffer, g_fileTypeName, length + 1);
    ReleaseSRWLockShared(&g_nameLock);
    if (fits) return S_OK;
    buffer[0] = 0;
    return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  }
  const CLSID* STDMETHODCALLTYPE GetApplicationClassID() override { return ApplicationClassID(); }
};

class HostRegistry final : public EngineStaticObject<IJRegistryAccess, &IID_IJRegistryAccess> {
 public:
  LONG STDMETHODCALLTYPE QueryRegistryValue(DWORD, LPCSTR key, DWORD, LPSTR buffer, DWORD* size) override {
    if (!key || !buffer || !size || *size == 0) return ERROR_INVALID_PARAMETER;
    const DWORD capacity = *size;
    *size = 0;
    buffer[0] = 0;
    // The application's key, the key part of `key`, and the value's name after its last backslash.
    char path[512] = HALVORN_REGISTRY_KEY "\\";
    const std::size_t base = std::strlen(path);
    const std::size_t length = std::strlen(key);
    if (base + length >= sizeof path) return ERROR_FILE_NOT_FOUND;
    std::memcpy(path + base, key, length + 1);
    char* split = std::strrchr(path + base, '\\');
    LPCSTR valueName = "";
    if (split) {
      *split = 0;
      valueName = split + 1;
    } else {
      path[base - 1] = 0;
      valueName = path + base;
    }
    HKEY opened = nullptr;
    LONG status = RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &opened);
    if (status != ERROR_SUCCESS) return status;
    DWORD type = 0;
    DWORD bytes = capacity;
    status = RegQueryValueExA(opened, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    RegCloseKey(opened);
    if (status != ERROR_SUCCESS) {
      buffer[0] = 0;
      return status;
    }
    if (type != REG_SZ && type != REG_EXPAND_SZ) {
      buffer[0] = 0;
      return ERROR_INVALID_DATA;
    }
    // A stored text need not carry its terminator; one that fills the buffer without it does not fit.
    if (bytes == 0 || buffer[bytes - 1] != 0) {
      if (bytes >= capacity) {
        buffer[0] = 0;
        return ERROR_MORE_DATA;
      }
      buffer[bytes++] = 0;
    }
    *size = bytes;
    return ERROR_SUCCESS;
  }
};

HostFileType g_fileType;
HostRegistry g_registry;

}  // namespace

HRESULT ApplicationFileTypeInterface(REFIID iid, void** out) { return g_fileType.QueryInterface(iid, out); }

extern "C" {

HRESULT GetRegistryAccess(const IID* iid, void** out) {
  if (!iid || !out) return E_INVALIDARG;
  return g_registry.QueryInterface(*iid, out);
}

void HostSetFileTypeName(LPCSTR name) {
  AcquireSRWLockExclusive(&g_nameLock);
  std::strncpy(g_fileTypeName, name ? name : "", sizeof g_fileTypeName - 1);
  g_fileTypeName[sizeof g_fileTypeName - 1] = 0;
  ReleaseSRWLockExclusive(&g_nameLock);
}

}  // extern "C"

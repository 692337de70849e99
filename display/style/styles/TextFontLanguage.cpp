#include "display/style/styles/TextFontLanguage.h"

#include <cstdio>
#include <cstdlib>

#include "display/style/textscratch.h"
#include "host/halvorn/halvorn.h"
#include "host/pellow/pellow.h"
#include "host/sithe/sithe.h"

namespace {

constexpr char kSource[] = "TEXTCHAR";
constexpr char kSwitchPath[] = "Software\\Vantrell\\Applications\\%s\\Draft\\Settings\\NoLangIDValidate";
constexpr int kCandidates = 5;
// The registry value is read into this many bytes, the last a terminator.
constexpr DWORD kSwitchBytes = 64;
constexpr std::size_t kProgIdBytes = 260;

HRESULT Report(HRESULT hr, int line) {
  HRerr(hr, 0, kSource, line);
  return hr;
}

WORD KeyboardLanguage() {
  char name[KL_NAMELENGTH] = {};
  unsigned int layout = 0;
  if (!GetKeyboardLayoutNameA(name)) return 0;
  name[KL_NAMELENGTH - 1] = '\0';
  if (std::sscanf(name, "%x", &layout) != 1) return 0;
  return LOWORD(layout);
}

// The key path of the switch for the host's ProgID; false when the ProgID does not fit.
bool SwitchPath(LPCOLESTR progId, char* path, std::size_t capacity) {
  char narrow[kProgIdBytes];
  const std::size_t length = std::wcstombs(narrow, progId, sizeof narrow);
  if (length == static_cast<std::size_t>(-1) || length >= sizeof narrow) return false;
  const int written = std::snprintf(path, capacity, kSwitchPath, narrow);
  return written > 0 && static_cast<std::size_t>(written) < capacity;
}

}  // namespace

void WINAPI OnFontLanguage(DWORD, WORD language) {
  bool noBlock = false;
  TextLanguageScratch* scratch = GetThreadTextScratch(&noBlock);
  // A callback with no choice running on the thread has nothing to tell.
  if (!scratch || !scratch->candidates) return;
  if (!scratch->found) {
    scratch->found = 1;
    scratch->first = language;
  }
  for (LONG i = 0; i < scratch->count; ++i) {
    if (scratch->candidates[i].language == language) scratch->candidates[i].mark = 1;
  }
}

HRESULT ChooseFontLanguage(ISitheFontMgr* manager, LPCWSTR fontName, WORD requested, WORD* result) {
  *result = 0;
  if (manager->HasNoLanguage(fontName)) return S_OK;

  bool noBlock = false;
  TextLanguageScratch* scratch = GetThreadTextScratch(&noBlock);
  // A thread the library never attached cannot hold a choice for the callback: its request stands unchecked.
  if (noBlock) {
    *result = requested;
    return S_OK;
  }
  if (!scratch) return Report(E_OUTOFMEMORY, __LINE__);
  *scratch = TextLanguageScratch{};

  LanguageCandidate candidates[kCandidates] = {
      {0, requested},
      {0, KeyboardLanguage()},
      {0, LOWORD(GetThreadLocale())},
      {0, LOWORD(GetUserDefaultLCID())},
      {0, LOWORD(GetSystemDefaultLCID())},
  };
  scratch->count = kCandidates;
  scratch->candidates = candidates;

  HRESULT hr = S_OK;
  if (IsLangIdValidationOff()) {
    *result = requested;
  } else {
    hr = manager->EnumLanguages(&OnFontLanguage);
    if (FAILED(hr)) Report(hr, __LINE__);
  }
  if (SUCCEEDED(hr)) {
    if (scratch->found) *result = scratch->first;
    for (const LanguageCandidate& candidate : candidates) {
      if (candidate.mark) {
        *result = candidate.language;
        break;
      }
    }
  }
  // The candidates live on this stack only.
  *scratch = TextLanguageScratch{};
  return hr;
}

namespace {

// Whether the switch under the ProgID of the host's class is on; a failure is reported and leaves it off.
bool SwitchOnForClass(const CLSID& clsid, IMalloc* allocator) {
  LPOLESTR progId = nullptr;
  HRESULT hr = ProgIDFromCLSID(clsid, &progId);
  if (FAILED(hr)) {
    Report(hr, __LINE__);
    return false;
  }
  BOOL flag = FALSE;
  char path[kProgIdBytes + sizeof kSwitchPath];
  if (!SwitchPath(progId, path, sizeof path)) {
    Report(HRESULT_FROM_WIN32(ERROR_BUFFER_OVERFLOW), __LINE__);
  } else if (FAILED(hr = ReadNoLangIdFlag(path, &flag))) {
    Report(hr, __LINE__);
    flag = FALSE;
  }
  allocator->Free(progId);
  return flag != FALSE;
}

}  // namespace

BOOL IsLangIdValidationOff() {
  IJApplicationFileType* application = nullptr;
  HRESULT hr = GetAppInterface(&IID_IJApplicationFileType, reinterpret_cast<void**>(&application));
  if (FAILED(hr) || !application) {
    // A host that offers no application interface keeps the check on without a word.
    if (hr != E_NOTIMPL && hr != E_NOINTERFACE) Report(FAILED(hr) ? hr : E_FAIL, __LINE__);
    return FALSE;
  }
  bool off = false;
  IMalloc* allocator = nullptr;
  hr = CoGetMalloc(1, &allocator);
  if (FAILED(hr)) {
    Report(hr, __LINE__);
    allocator = nullptr;
  } else if (const CLSID* clsid = application->GetApplicationClassID()) {
    // A host that names no class has no settings of its own.
    off = SwitchOnForClass(*clsid, allocator);
  }
  application->Release();
  if (allocator) allocator->Release();
  return off ? TRUE : FALSE;
}

HRESULT ReadNoLangIdFlag(const char* keyPath, BOOL* flag) {
  if (!keyPath || !flag) return Report(E_INVALIDARG, __LINE__);
  *flag = FALSE;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return S_OK;
  char text[kSwitchBytes] = {};
  DWORD type = 0;
  DWORD size = sizeof text;
  const LONG status = RegQueryValueExA(key, "", nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(key);
  // Only a text counts; one that does not fit is not a switch this code wrote.
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return S_OK;
  text[kSwitchBytes - 1] = '\0';
  if (text[0] != '\0') *flag = std::atoi(text) != 0;
  return S_OK;
}

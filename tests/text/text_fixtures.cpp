#include "tests/text/text_fixtures.h"

#include <cwchar>

namespace {

constexpr CLSID kHostClsid = {0x5B1E0C10, 0x77A2, 0x4C1D, {0x8E, 0x31, 0x40, 0x9A, 0x12, 0x6F, 0x20, 0x01}};
constexpr wchar_t kHostClassKey[] = L"CLSID\\{5B1E0C10-77A2-4C1D-8E31-409A126F2001}";
constexpr char kApplicationsKey[] = "Software\\Vantrell\\Applications";

// A thread made while this file's statics are built, before any test loads stylesrv.dll, which therefore never
// attaches it. It runs one job at a time.
struct {
  void (*run)(void*);
  void* argument;
} g_job;
const HANDLE g_jobStart = CreateEventA(nullptr, FALSE, FALSE, nullptr);
const HANDLE g_jobDone = CreateEventA(nullptr, FALSE, FALSE, nullptr);
DWORD WINAPI OlderThread(void*) {
  for (;;) {
    WaitForSingleObject(g_jobStart, INFINITE);
    g_job.run(g_job.argument);
    SetEvent(g_jobDone);
  }
}
const HANDLE g_olderThread = CreateThread(nullptr, 0, &OlderThread, nullptr, 0, nullptr);

}  // namespace

StyleComPtr<IJStyleTextChar> NewTextChar() {
  // Loaded once for the whole run: the styles must not outlive their module.
  static stylesrv_test::ServerModule server;
  StyleComPtr<IClassFactory> factory;
  StyleComPtr<IJStyleTextChar> style;
  if (FAILED(server.GetClassObject(CLSID_JStyleTextChar, IID_IClassFactory, factory.PutVoid())) ||
      FAILED(factory->CreateInstance(nullptr, IID_IJStyleTextChar, style.PutVoid()))) {
    ADD_FAILURE() << "no character style";
  }
  return StyleComPtr<IJStyleTextChar>(style.Detach());
}

CharRecord ReadRecord(IJStyleTextChar* style) {
  CharRecord record;
  EXPECT_EQ(style->GetCharData(&record.data), S_OK);
  if (record.data.fontName) {
    record.hasName = true;
    record.name = record.data.fontName;
    CoTaskMemFree(record.data.fontName);
    record.data.fontName = nullptr;
  }
  EXPECT_EQ(style->GetUnits(&record.baseUnits), S_OK);
  return record;
}

bool SameRecord(const CharRecord& a, const CharRecord& b) {
  return std::memcmp(&a.data, &b.data, sizeof a.data) == 0 && a.name == b.name && a.hasName == b.hasName &&
         a.baseUnits == b.baseUnits;
}

void SetFonts(const std::vector<FontEntry>& fonts) {
  std::vector<SitheFont> table;
  for (const FontEntry& font : fonts) {
    table.push_back({font.name.c_str(), font.languages.data(), static_cast<DWORD>(font.languages.size()),
                     font.noLanguage});
  }
  SitheSetFonts(table.data(), static_cast<DWORD>(table.size()));
}

TestHostApplication::TestHostApplication(const std::wstring& progId) : m_progId(progId) {
  HKEY key = nullptr;
  const std::wstring path = std::wstring(kHostClassKey) + L"\\ProgID";
  EXPECT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(progId.c_str()),
                 static_cast<DWORD>((progId.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  HostSetApplicationIdentity(S_OK, &kHostClsid);
}

TestHostApplication::~TestHostApplication() {
  HostSetApplicationIdentity(S_OK, nullptr);
  RegDeleteTreeW(HKEY_CLASSES_ROOT, kHostClassKey);
  RegDeleteTreeA(HKEY_CURRENT_USER, kApplicationsKey);
}

void TestHostApplication::SetSwitch(DWORD type, const void* data, DWORD bytes) {
  char narrow[400];
  std::snprintf(narrow, sizeof narrow, "%s\\%ls\\Draft\\Settings\\NoLangIDValidate", kApplicationsKey, m_progId.c_str());
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, narrow, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "", 0, type, static_cast<const BYTE*>(data), bytes);
  RegCloseKey(key);
}

void RunOnThreadOlderThanTheServer(void (*job)(void*), void* argument) {
  ASSERT_NE(g_olderThread, nullptr);
  g_job = {job, argument};
  SetEvent(g_jobStart);
  WaitForSingleObject(g_jobDone, INFINITE);
}

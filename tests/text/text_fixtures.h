// What the text style tests share: character styles made by stylesrv.dll's class object, the fonts the font
// manager knows, and the host application's ProgID and language switch in the registry.
#pragma once

#include <string>
#include <vector>

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_clsid.h"
#include "host/sithe/sithe.h"
#include "tests/bases/test_styles.h"

inline constexpr char kTextSource[] = "TEXTCHAR";

// A new character style, asked for IJStyleTextChar.
StyleComPtr<IJStyleTextChar> NewTextChar();

template <class T>
StyleComPtr<T> QueryText(IUnknown* object, REFIID iid) {
  T* raw = nullptr;
  if (FAILED(object->QueryInterface(iid, reinterpret_cast<void**>(&raw)))) ADD_FAILURE() << "interface missing";
  return StyleComPtr<T>(raw);
}

// The style's record with its name as text; the record's name pointer is null.
struct CharRecord {
  TextCharData data{};
  std::wstring name;
  bool hasName = false;
  DWORD baseUnits = 0;
};
CharRecord ReadRecord(IJStyleTextChar* style);
bool SameRecord(const CharRecord& a, const CharRecord& b);

struct FontEntry {
  std::wstring name;
  std::vector<WORD> languages;
  bool noLanguage = false;
};
// What the font manager knows from now on.
void SetFonts(const std::vector<FontEntry>& fonts);

// The host application as a test registers it: a CLSID with a ProgID, offered through the engine's
// application identity, and its language switch under HKEY_CURRENT_USER. All of it goes when the object does.
class TestHostApplication {
 public:
  explicit TestHostApplication(const std::wstring& progId = L"StylesrvTest.Host.1");
  ~TestHostApplication();
  TestHostApplication(const TestHostApplication&) = delete;
  TestHostApplication& operator=(const TestHostApplication&) = delete;
  // The switch's default value; `bytes` of data of the given type.
  void SetSwitch(DWORD type, const void* data, DWORD bytes);
  void SetSwitchText(const char* text) { SetSwitch(REG_SZ, text, static_cast<DWORD>(std::strlen(text) + 1)); }

 private:
  std::wstring m_progId;
};

// Runs a job on a thread that was already running when stylesrv.dll was loaded, and waits for it.
void RunOnThreadOlderThanTheServer(void (*job)(void*), void* argument);

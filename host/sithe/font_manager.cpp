// The font manager: fonts that the tests describe, each with its languages, and handles that name one of them
// at a time and enumerate its languages on the calling thread.
#include <cwchar>
#include <new>
#include <string>
#include <vector>

#include "host/sithe/sithe.h"

namespace {

struct KnownFont {
  std::wstring name;
  std::vector<WORD> languages;
  bool noLanguage;
};

SRWLOCK g_fontLock = SRWLOCK_INIT;
std::vector<KnownFont>& Fonts() {
  static std::vector<KnownFont> fonts;
  return fonts;
}
volatile LONG g_liveManagers = 0;
volatile LONG g_failGet = S_OK;
volatile LONG g_failEnum = S_OK;

#define FONT_SLOT(n) \
  HRESULT STDMETHODCALLTYPE FontSlot##n() override { return E_NOTIMPL; }

class FontManager final : public ISitheFontMgr {
 public:
  FONT_SLOT(0) FONT_SLOT(1) FONT_SLOT(2) FONT_SLOT(3)

  LONG STDMETHODCALLTYPE HasNoLanguage(LPCWSTR fontName) override {
    m_languages.clear();
    if (!fontName) return 0;
    AcquireSRWLockShared(&g_fontLock);
    bool none = false;
    for (const KnownFont& font : Fonts()) {
      if (_wcsicmp(font.name.c_str(), fontName) == 0) {
        m_languages = font.languages;
        none = font.noLanguage;
        break;
      }
    }
    ReleaseSRWLockShared(&g_fontLock);
    return none ? 1 : 0;
  }

  FONT_SLOT(5) FONT_SLOT(6) FONT_SLOT(7) FONT_SLOT(8) FONT_SLOT(9) FONT_SLOT(10) FONT_SLOT(11) FONT_SLOT(12)
  FONT_SLOT(13) FONT_SLOT(14) FONT_SLOT(15) FONT_SLOT(16) FONT_SLOT(17) FONT_SLOT(18) FONT_SLOT(19)
  FONT_SLOT(20) FONT_SLOT(21) FONT_SLOT(22) FONT_SLOT(23)

  HRESULT STDMETHODCALLTYPE EnumLanguages(TextLanguageCallback callback) override {
    const HRESULT fail = g_failEnum;
    if (FAILED(fail)) return fail;
    if (!callback) return E_INVALIDARG;
    for (WORD language : m_languages) {
      callback(0, language);
      // Gives another thread enumerating at the same time every chance to interleave with this one.
      SwitchToThread();
    }
    return S_OK;
  }

 private:
  std::vector<WORD> m_languages;  // of the current font
};

#undef FONT_SLOT

}  // namespace

extern "C" {

HRESULT GetFontMgr2(ISitheFontMgr** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  const HRESULT fail = g_failGet;
  if (FAILED(fail)) return fail;
  auto* manager = new (std::nothrow) FontManager;
  if (!manager) return E_OUTOFMEMORY;
  InterlockedIncrement(&g_liveManagers);
  *out = manager;
  return S_OK;
}

void ReleaseFontMgr2(ISitheFontMgr* manager) {
  if (!manager) return;
  delete static_cast<FontManager*>(manager);
  InterlockedDecrement(&g_liveManagers);
}

void SitheSetFonts(const SitheFont* fonts, DWORD count) {
  std::vector<KnownFont> copy;
  for (DWORD i = 0; fonts && i < count; ++i) {
    copy.push_back({fonts[i].name ? fonts[i].name : L"",
                    std::vector<WORD>(fonts[i].languages, fonts[i].languages + fonts[i].languageCount),
                    fonts[i].noLanguage != FALSE});
  }
  AcquireSRWLockExclusive(&g_fontLock);
  Fonts().swap(copy);
  ReleaseSRWLockExclusive(&g_fontLock);
}

LONG SitheLiveFontMgrs() { return g_liveManagers; }

void SitheFailFontOp(DWORD op, HRESULT hr) {
  if (op == 0) InterlockedExchange(&g_failGet, hr);
  if (op == 24) InterlockedExchange(&g_failEnum, hr);
}

}  // extern "C"

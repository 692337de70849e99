// The render service: its default-font operation writes the font name a test chose ("Arial" until one is
// chosen), and each call is counted.
#include <string>

#include "host/sithe/sithe.h"

namespace {

SRWLOCK g_lock = SRWLOCK_INIT;
std::wstring& DefaultFont() {
  static std::wstring name = L"Arial";
  return name;
}
volatile LONG g_fontCalls = 0;
volatile LONG g_serviceAnswer = S_OK;
volatile LONG g_fontAnswer = S_OK;

class RenderService final : public ISitheRenderService {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_ISitheRenderService) return E_NOINTERFACE;
    *out = static_cast<ISitheRenderService*>(this);
    AddRef();
    return S_OK;
  }
  // The one service lives as long as the process.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE GetDefaultFontName(LPWSTR buffer) override {
    InterlockedIncrement(&g_fontCalls);
    if (FAILED(g_fontAnswer)) return g_fontAnswer;
    if (!buffer) return E_POINTER;
    AcquireSRWLockShared(&g_lock);
    // At most the buffer's 32 characters: a name of 32 or more arrives without its terminator.
    const std::wstring& name = DefaultFont();
    const std::size_t count = name.size() < kSitheFontNameLength ? name.size() + 1 : kSitheFontNameLength;
    name.copy(buffer, count);
    if (count == name.size() + 1) buffer[name.size()] = L'\0';
    ReleaseSRWLockShared(&g_lock);
    return S_OK;
  }
};

RenderService g_service;

}  // namespace

extern "C" {

HRESULT GetRenderService(IUnknown** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (FAILED(g_serviceAnswer)) return g_serviceAnswer;
  *out = &g_service;
  return S_OK;
}

void SitheSetDefaultFont(const wchar_t* name) {
  AcquireSRWLockExclusive(&g_lock);
  DefaultFont() = name ? name : L"Arial";
  ReleaseSRWLockExclusive(&g_lock);
}

void SitheFailRenderService(HRESULT service, HRESULT defaultFont) {
  InterlockedExchange(&g_serviceAnswer, service);
  InterlockedExchange(&g_fontAnswer, defaultFont);
}

LONG SitheDefaultFontCalls() { return g_fontCalls; }

}  // extern "C"

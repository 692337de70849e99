// The font manager: fonts that the tests describe, each with its languages, and handles that name one of them
// at a time and enumerate its languages on the calling thread. The text operations are recorded with their
// arguments; the metrics they answer are multiples of the current record's height, so that a test can predict
// every conversion.
#include <cstring>
#include <initializer_list>
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
// What each operation answers when a test says so; slot 0 stands for GetFontMgr2.
constexpr DWORD kOps = 25;
volatile LONG g_answers[kOps] = {};

HRESULT SetAnswer(DWORD op) { return op < kOps ? g_answers[op] : S_OK; }

SRWLOCK g_callLock = SRWLOCK_INIT;
std::vector<SitheFontCall>& Calls() {
  static std::vector<SitheFontCall> calls;
  return calls;
}

DWORD Word(const void* pointer) { return static_cast<DWORD>(reinterpret_cast<UINT_PTR>(pointer)); }

// Records a call with its words and doubles, and answers what the test set for its slot.
HRESULT RecordCall(DWORD op, std::initializer_list<DWORD> words, std::initializer_list<double> doubles = {},
                   const TextAttributeRecord* record = nullptr) {
  SitheFontCall call{};
  call.op = op;
  std::size_t i = 0;
  for (DWORD word : words) call.u[i++] = word;
  i = 0;
  for (double value : doubles) call.d[i++] = value;
  if (record) std::memcpy(call.record, record, sizeof call.record);
  call.result = op == 7 ? S_OK : SetAnswer(op);
  AcquireSRWLockExclusive(&g_callLock);
  Calls().push_back(call);
  ReleaseSRWLockExclusive(&g_callLock);
  return call.result;
}

// The k-th of `count` doubles (from 1) is k times the height.
void WriteMultiples(double height, double* out, int count) {
  for (int k = 1; k <= count; ++k) out[k - 1] = k * height;
}

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

  FONT_SLOT(5) FONT_SLOT(6)

  // Fonts are numbered from 1 in the order the test gave them.
  LONG STDMETHODCALLTYPE GetFontNumber(WORD* number, LPCWSTR fontName) override {
    RecordCall(7, {Word(number), Word(fontName)});
    if (!number || !fontName) return 1;
    AcquireSRWLockShared(&g_fontLock);
    const std::vector<KnownFont>& fonts = Fonts();
    LONG unknown = 1;
    for (std::size_t i = 0; i < fonts.size(); ++i) {
      if (_wcsicmp(fonts[i].name.c_str(), fontName) == 0) {
        *number = static_cast<WORD>(i + 1);
        unknown = 0;
        break;
      }
    }
    ReleaseSRWLockShared(&g_fontLock);
    return unknown;
  }

  FONT_SLOT(8) FONT_SLOT(9) FONT_SLOT(10) FONT_SLOT(11)

  HRESULT STDMETHODCALLTYPE SetTextAttributes(const TextAttributeRecord* record) override {
    if (!record) return E_POINTER;
    const HRESULT hr = RecordCall(12, {}, {}, record);
    if (SUCCEEDED(hr)) m_current = *record;
    return hr;
  }

  FONT_SLOT(13)

  HRESULT STDMETHODCALLTYPE TextOp14(void* a1) override { return RecordCall(14, {Word(a1)}); }

  HRESULT STDMETHODCALLTYPE QueryTextMetrics(double* metrics) override {
    const HRESULT hr = RecordCall(15, {Word(metrics)});
    if (FAILED(hr)) return hr;
    if (!metrics) return E_POINTER;
    WriteMultiples(m_current.height, metrics, 8);
    return hr;
  }

  HRESULT STDMETHODCALLTYPE MeasureText(double* r1, double* r2, double* r3, DWORD a5, DWORD a6,
                                        DWORD flags) override {
    const HRESULT hr = RecordCall(16, {Word(r1), Word(r2), Word(r3), a5, a6, flags});
    if (FAILED(hr)) return hr;
    if (!r1 || !r2 || !r3) return E_POINTER;
    double results[3];
    WriteMultiples(m_current.height, results, 3);
    *r1 = results[0];
    *r2 = results[1];
    *r3 = results[2];
    return hr;
  }

  HRESULT STDMETHODCALLTYPE TextOp17(void* a1, DWORD a3, DWORD a4, DWORD flags, DWORD a6,
                                     double direction) override {
    return RecordCall(17, {Word(a1), a3, a4, flags, a6}, {direction});
  }
  HRESULT STDMETHODCALLTYPE TextOp18(void* a1, DWORD a3, DWORD a4, DWORD flags, DWORD a6, DWORD a7) override {
    return RecordCall(18, {Word(a1), a3, a4, flags, a6, a7});
  }
  HRESULT STDMETHODCALLTYPE TextOp19(void* a1, DWORD a2, DWORD a4, DWORD a5, DWORD flags, DWORD a7,
                                     DWORD a8) override {
    return RecordCall(19, {Word(a1), a2, a4, a5, flags, a7, a8});
  }

  FONT_SLOT(20)

  // A recording target shows the text at the drawing state's origin.
  HRESULT STDMETHODCALLTYPE DrawTextAt(IRenderTarget2d* target, const TextDrawingState* state, double direction,
                                       double value) override {
    const HRESULT hr = RecordCall(21, {Word(target), Word(state)}, {direction, value});
    if (FAILED(hr) || !target || !state) return hr;
    ISitheRecording* recording = nullptr;
    if (SUCCEEDED(target->QueryInterface(IID_ISitheRecording, reinterpret_cast<void**>(&recording)))) {
      recording->RecordText(state->origin, m_current.height, m_current.angle, m_current.colour);
      recording->Release();
    }
    return hr;
  }

  HRESULT STDMETHODCALLTYPE TextOp22(void* a1, DWORD flags, void* a4) override {
    return RecordCall(22, {Word(a1), flags, Word(a4)});
  }
  HRESULT STDMETHODCALLTYPE TextOp23(DWORD a1, DWORD a2) override { return RecordCall(23, {a1, a2}); }

  HRESULT STDMETHODCALLTYPE EnumLanguages(TextLanguageCallback callback) override {
    const HRESULT fail = SetAnswer(24);
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
  TextAttributeRecord m_current{};
};

#undef FONT_SLOT

}  // namespace

extern "C" {

HRESULT GetFontMgr2(ISitheFontMgr** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  const HRESULT fail = SetAnswer(0);
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
  if (op < kOps) InterlockedExchange(&g_answers[op], hr);
}

LONG SitheFontCallCount() {
  AcquireSRWLockShared(&g_callLock);
  const LONG count = static_cast<LONG>(Calls().size());
  ReleaseSRWLockShared(&g_callLock);
  return count;
}

BOOL SitheGetFontCall(LONG index, SitheFontCall* out) {
  if (!out) return FALSE;
  AcquireSRWLockShared(&g_callLock);
  const bool found = index >= 0 && static_cast<std::size_t>(index) < Calls().size();
  if (found) *out = Calls()[static_cast<std::size_t>(index)];
  ReleaseSRWLockShared(&g_callLock);
  return found ? TRUE : FALSE;
}

void SitheClearFontCalls() {
  AcquireSRWLockExclusive(&g_callLock);
  Calls().clear();
  ReleaseSRWLockExclusive(&g_callLock);
}

}  // extern "C"

#include "display/style/stylspt/StdDashResources.h"

#include "display/style/StaticSection.h"
#include "display/style/server.h"
#include "display/style/styllib/StyleReport.h"
#include "host/halvorn/halvorn.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

constexpr char kSource[] = "STDDASH";
constexpr DWORD kFirstStandardNameId = 12217;
constexpr DWORD kFirstStandardBitmapId = 101;

// The holder comes first and its section after it, so that at exit the section is gone before the holder: an
// attach at either end of the library's life runs unlocked, on the one thread there is then.
__attribute__((init_priority(STYLESRV_INIT_STANDARD_DASH))) StdDashResources g_stdDash;
__attribute__((init_priority(STYLESRV_INIT_STANDARD_DASH_LOCK))) StaticSection g_attachLock;

LPCSTR BitmapName(DWORD id) { return MAKEINTRESOURCEA(LOWORD(id)); }

}  // namespace

StdDashResources::StdDashResources() {
  m_nameIds[0] = kCustomNameId;
  m_bitmapIds[0] = kCustomBitmapId;
  for (DWORD i = 0; i < kStandardCount; ++i) {
    m_nameIds[i + 1] = kFirstStandardNameId + i;
    m_bitmapIds[i + 1] = kFirstStandardBitmapId + i;
  }
}

StdDashResources::~StdDashResources() {
  if (!m_module) return;
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (GetVersionExA(&version) && version.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS) FreeLibrary(m_module);
  m_module = nullptr;
}

HMODULE StdDashResources::AttachModule() {
  g_attachLock.Enter();
  if (!m_module) {
    m_module = AttachLocaleResDLL(reinterpret_cast<HMODULE>(&__ImageBase), "Tellury.drx", 3, 0, 1);
  }
  HMODULE module = m_module;
  g_attachLock.Leave();
  return module;
}

int StdDashResources::Slot(DWORD index, bool custom) {
  if (custom) return index <= kStandardCount ? static_cast<int>(index) : -1;
  return index < kStandardCount ? static_cast<int>(index) + 1 : -1;
}

HRESULT StdDashResources::GetCount(DWORD* count, bool custom) {
  if (!count) return REPORT(E_INVALIDARG);
  AttachModule();
  *count = custom ? kStandardCount + 1 : kStandardCount;
  return S_OK;
}

HRESULT StdDashResources::GetName(DWORD index, GUserText* text, bool custom) {
  const int slot = Slot(index, custom);
  if (slot < 0 || !text) return REPORT(E_INVALIDARG);
  return GetNameById(m_nameIds[slot], text);
}

HRESULT StdDashResources::GetNameId(DWORD index, DWORD* id, bool custom) {
  const int slot = Slot(index, custom);
  if (slot < 0 || !id) return REPORT(E_INVALIDARG);
  *id = m_nameIds[slot];
  return S_OK;
}

HRESULT StdDashResources::GetNameById(DWORD id, GUserText* text) {
  if (!text) return REPORT(E_INVALIDARG);
  HMODULE module = AttachModule();
  if (!module || !text->LoadStringResource(module, id)) return REPORT(E_FAIL);
  return S_OK;
}

HRESULT StdDashResources::GetBitmap(DWORD index, HBITMAP* bitmap, bool custom) {
  if (bitmap) *bitmap = nullptr;
  const int slot = Slot(index, custom);
  if (slot < 0 || !bitmap) return REPORT(E_INVALIDARG);
  return GetBitmapById(m_bitmapIds[slot], bitmap);
}

HRESULT StdDashResources::GetImage(DWORD index, DWORD* image, bool custom) {
  if (image) *image = 0;
  const int slot = Slot(index, custom);
  if (slot < 0 || !image) return REPORT(E_INVALIDARG);
  return GetImageById(m_bitmapIds[slot], image);
}

HRESULT StdDashResources::GetBitmapId(DWORD index, DWORD* id, bool custom) {
  const int slot = Slot(index, custom);
  if (slot < 0 || !id) return REPORT(E_INVALIDARG);
  *id = m_bitmapIds[slot];
  return S_OK;
}

HRESULT StdDashResources::GetBitmapById(DWORD id, HBITMAP* bitmap) {
  if (!bitmap) return REPORT(E_INVALIDARG);
  *bitmap = nullptr;
  HMODULE module = AttachModule();
  // LoadBitmapA cannot tell a missing resource from other failures; looking first keeps the two apart.
  if (!module || !FindResourceA(module, BitmapName(id), MAKEINTRESOURCEA(2))) return REPORT(E_FAIL);
  *bitmap = LoadBitmapA(module, BitmapName(id));
  return *bitmap ? S_OK : REPORT(E_FAIL);
}

HRESULT StdDashResources::GetImageById(DWORD id, DWORD* image) {
  if (!image) return REPORT(E_INVALIDARG);
  *image = 0;
  HMODULE module = AttachModule();
  if (!module) return REPORT(E_FAIL);
  *image = LoadResourceImage(module, LOWORD(id));
  return *image ? S_OK : REPORT(E_FAIL);
}

HRESULT StdDashResources::GetCustomName(GUserText* text) { return GetNameById(kCustomNameId, text); }

HRESULT StdDashResources::GetCustomBitmap(HBITMAP* bitmap) { return GetBitmapById(kCustomBitmapId, bitmap); }

HRESULT StdDashResources::GetCustomImage(DWORD* image) { return GetImageById(kCustomBitmapId, image); }

HRESULT StdDashGetCount(DWORD* count, bool custom) { return g_stdDash.GetCount(count, custom); }
HRESULT StdDashGetName(DWORD index, GUserText* text, bool custom) { return g_stdDash.GetName(index, text, custom); }
HRESULT StdDashGetNameId(DWORD index, DWORD* id, bool custom) { return g_stdDash.GetNameId(index, id, custom); }
HRESULT StdDashGetNameById(DWORD id, GUserText* text) { return g_stdDash.GetNameById(id, text); }
HRESULT StdDashGetBitmap(DWORD index, HBITMAP* bitmap, bool custom) {
  return g_stdDash.GetBitmap(index, bitmap, custom);
}
HRESULT StdDashGetImage(DWORD index, DWORD* image, bool custom) { return g_stdDash.GetImage(index, image, custom); }
HRESULT StdDashGetBitmapId(DWORD index, DWORD* id, bool custom) {
  return g_stdDash.GetBitmapId(index, id, custom);
}
HRESULT StdDashGetBitmapById(DWORD id, HBITMAP* bitmap) { return g_stdDash.GetBitmapById(id, bitmap); }
HRESULT StdDashGetImageById(DWORD id, DWORD* image) { return g_stdDash.GetImageById(id, image); }
HRESULT StdDashGetCustomName(GUserText* text) { return g_stdDash.GetCustomName(text); }

const StdDashResourceFunctions* GetStdDashResourceFunctions() {
  static constexpr StdDashResourceFunctions kFunctions{
      &StdDashGetCount,    &StdDashGetName,  &StdDashGetNameId,    &StdDashGetNameById,   &StdDashGetBitmap,
      &StdDashGetImage,    &StdDashGetBitmapId, &StdDashGetBitmapById, &StdDashGetImageById, &StdDashGetCustomName};
  return &kFunctions;
}

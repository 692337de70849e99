// The names and pictures of the standard dash patterns, and of the custom entry, in the localized resource
// module Tellury.drx, which is attached on the first use that needs it, not when stylesrv loads.
//
// Entries: with `custom` set, index 0 is the custom entry and 1 to 10 the standard ones; with it clear, 0 to 9
// are the standard ones. Another index answers E_INVALIDARG. A text, bitmap or image that cannot be loaded (no
// module, no such resource) answers E_FAIL, with *bitmap null and *image 0. Failures are reported.
#pragma once

#include <windows.h>

class GUserText;

class StdDashResources {
 public:
  static constexpr DWORD kStandardCount = 10;
  static constexpr DWORD kCustomNameId = 12227;
  static constexpr DWORD kCustomBitmapId = 232;

  StdDashResources();
  // Frees the module, except on the 9x platforms (or when the platform cannot be asked), which free a
  // library's modules themselves when the process ends.
  virtual ~StdDashResources();
  StdDashResources(const StdDashResources&) = delete;
  StdDashResources& operator=(const StdDashResources&) = delete;

  HRESULT GetCount(DWORD* count, bool custom);
  HRESULT GetName(DWORD index, GUserText* text, bool custom);
  HRESULT GetNameId(DWORD index, DWORD* id, bool custom);
  HRESULT GetNameById(DWORD id, GUserText* text);
  // The caller owns the bitmap.
  HRESULT GetBitmap(DWORD index, HBITMAP* bitmap, bool custom);
  // The engine's image of the entry's bitmap.
  HRESULT GetImage(DWORD index, DWORD* image, bool custom);
  HRESULT GetBitmapId(DWORD index, DWORD* id, bool custom);
  // Bitmaps and images of an ID take its low 16 bits.
  HRESULT GetBitmapById(DWORD id, HBITMAP* bitmap);
  HRESULT GetImageById(DWORD id, DWORD* image);
  HRESULT GetCustomName(GUserText* text);
  HRESULT GetCustomBitmap(HBITMAP* bitmap);
  HRESULT GetCustomImage(DWORD* image);

 private:
  // The module, attached now when it is not yet; null when it cannot be, and the next use tries again.
  HMODULE AttachModule();
  // The slot of an entry in the ID tables, or -1 for an index out of range.
  static int Slot(DWORD index, bool custom);

  HMODULE m_module = nullptr;
  // The custom entry first, then the standard ones.
  DWORD m_nameIds[kStandardCount + 1];
  DWORD m_bitmapIds[kStandardCount + 1];
};

// The same on the process's one holder.
HRESULT StdDashGetCount(DWORD* count, bool custom);
HRESULT StdDashGetName(DWORD index, GUserText* text, bool custom);
HRESULT StdDashGetNameId(DWORD index, DWORD* id, bool custom);
HRESULT StdDashGetNameById(DWORD id, GUserText* text);
HRESULT StdDashGetBitmap(DWORD index, HBITMAP* bitmap, bool custom);
HRESULT StdDashGetImage(DWORD index, DWORD* image, bool custom);
HRESULT StdDashGetBitmapId(DWORD index, DWORD* id, bool custom);
HRESULT StdDashGetBitmapById(DWORD id, HBITMAP* bitmap);
HRESULT StdDashGetImageById(DWORD id, DWORD* image);
HRESULT StdDashGetCustomName(GUserText* text);

// The functions above, for the project's tests (StyleServerInternals).
struct StdDashResourceFunctions {
  decltype(&StdDashGetCount) GetCount;
  decltype(&StdDashGetName) GetName;
  decltype(&StdDashGetNameId) GetNameId;
  decltype(&StdDashGetNameById) GetNameById;
  decltype(&StdDashGetBitmap) GetBitmap;
  decltype(&StdDashGetImage) GetImage;
  decltype(&StdDashGetBitmapId) GetBitmapId;
  decltype(&StdDashGetBitmapById) GetBitmapById;
  decltype(&StdDashGetImageById) GetImageById;
  decltype(&StdDashGetCustomName) GetCustomName;
};
const StdDashResourceFunctions* GetStdDashResourceFunctions();

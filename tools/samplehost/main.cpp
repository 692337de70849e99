// The sample host: what a drafting host does with stylesrv.dll. It loads the library, asks a class object for
// every CLSID the server serves, creates an object of each class that exists, checks that the library may be
// unloaded and unloads it, telling each step on standard output. It ends non-zero when a step goes wrong.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <iterator>

#include "display/style/stylesrv_clsid.h"

namespace {

template <class F>
F FindExport(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

const char* Name(HRESULT hr) {
  switch (hr) {
    case S_OK: return "S_OK";
    case S_FALSE: return "S_FALSE";
    case E_FAIL: return "E_FAIL";
    case E_NOINTERFACE: return "E_NOINTERFACE";
    case E_OUTOFMEMORY: return "E_OUTOFMEMORY";
    case E_INVALIDARG: return "E_INVALIDARG";
    case CLASS_E_NOAGGREGATION: return "CLASS_E_NOAGGREGATION";
    default: return "error";
  }
}

void PrintClsid(REFCLSID clsid) {
  wchar_t text[40];
  StringFromGUID2(clsid, text, 40);
  std::printf("%ls", text);
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  std::printf("samplehost: COM initialised on this thread: %s\n", Name(com));

  HMODULE library = LoadLibraryA("stylesrv.dll");
  if (!library) {
    std::printf("samplehost: stylesrv.dll did not load (error %lu)\n", GetLastError());
    return 1;
  }
  std::printf("samplehost: loaded stylesrv.dll\n");

  auto getClassObject = FindExport<decltype(&DllGetClassObject)>(library, "DllGetClassObject");
  auto canUnloadNow = FindExport<decltype(&DllCanUnloadNow)>(library, "DllCanUnloadNow");
  auto getExceptionColor = FindExport<DWORD(WINAPI*)()>(library, "GetExceptionColor");
  if (!getClassObject || !canUnloadNow || !getExceptionColor) {
    std::printf("samplehost: stylesrv.dll lacks DllGetClassObject, DllCanUnloadNow or GetExceptionColor\n");
    FreeLibrary(library);
    return 1;
  }
  std::printf("samplehost: exception colour 0x%08lX\n", getExceptionColor());

  int failures = 0;
  int created = 0;
  int served = 0;
  for (const StyleServedClsid& entry : kStyleServedClsids) {
    std::printf("  ");
    PrintClsid(*entry.clsid);
    std::printf(" %-24s ", entry.className);
    IClassFactory* factory = nullptr;
    HRESULT hr = getClassObject(*entry.clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (hr == E_FAIL) {
      std::printf("not served yet\n");
      continue;
    }
    if (FAILED(hr)) {
      std::printf("class object: %s (0x%08lX)\n", Name(hr), static_cast<unsigned long>(hr));
      ++failures;
      continue;
    }
    ++served;
    IUnknown* object = nullptr;
    hr = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object));
    factory->Release();
    if (FAILED(hr)) {
      std::printf("class object, but CreateInstance: %s (0x%08lX)\n", Name(hr), static_cast<unsigned long>(hr));
      ++failures;
      continue;
    }
    ++created;
    std::printf("created, %s while it lives, released\n", Name(canUnloadNow()));
    object->Release();
  }
  std::printf("samplehost: %zu CLSIDs asked, %d served, %d objects created\n", std::size(kStyleServedClsids),
              served, created);

  HRESULT unload = canUnloadNow();
  std::printf("samplehost: DllCanUnloadNow: %s\n", Name(unload));
  if (unload != S_OK) ++failures;
  FreeLibrary(library);
  std::printf("samplehost: unloaded stylesrv.dll\n");
  if (SUCCEEDED(com)) CoUninitialize();
  return failures == 0 ? 0 : 1;
}

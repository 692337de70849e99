#include "display/style/styllib/QuilletHook.h"

#include "display/style/server.h"
#include "host/pellow/pellow.h"

namespace {

constexpr char kSource[] = "QUILLET";

using GetQuilletEntry = IQuilletHook* (*)();

bool IsWindows9xFamily() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  return GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

// Loaded by file name, from where the host's libraries are found; the module stays until the library is
// unloaded, except on the 9x family, where unloading a module at process exit is not safe.
class QuilletLibrary {
 public:
  QuilletLibrary() {
    m_module = LoadLibraryA("Quillet.dll");
    if (!m_module) return;
    auto entry = reinterpret_cast<GetQuilletEntry>(reinterpret_cast<void (*)()>(GetProcAddress(m_module,
                                                                                                "GetQuillet")));
    if (entry) m_hook = entry();
  }
  ~QuilletLibrary() {
    m_hook = nullptr;
    if (m_module && !IsWindows9xFamily()) FreeLibrary(m_module);
    m_module = nullptr;
  }
  QuilletLibrary(const QuilletLibrary&) = delete;
  QuilletLibrary& operator=(const QuilletLibrary&) = delete;

  IQuilletHook* hook() const { return m_hook; }

 private:
  HMODULE m_module = nullptr;
  IQuilletHook* m_hook = nullptr;
};

__attribute__((init_priority(STYLESRV_INIT_QUILLET))) QuilletLibrary g_quillet;

}  // namespace

IQuilletHook* GetQuilletHook() { return g_quillet.hook(); }

void QuilletAnswered(LONG answer, int line) {
  if (answer == 0) return;
  HRerr(E_FAIL, 0, kSource, line);
  if (IsDebuggerPresent()) DebugBreak();
}

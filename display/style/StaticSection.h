// A critical section that lives in a static object of the server. It is made by a static initialiser and
// deleted from the runtime's exit list when stylesrv unloads; code that runs before the one or after the other
// finds the section zeroed and goes on without it (there is only the loading thread then).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstring>

class StaticSection {
 public:
  StaticSection() { InitializeCriticalSection(&m_section); }
  ~StaticSection() {
    DeleteCriticalSection(&m_section);
    std::memset(&m_section, 0, sizeof m_section);
  }
  StaticSection(const StaticSection&) = delete;
  StaticSection& operator=(const StaticSection&) = delete;

  bool Initialised() const {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&m_section);
    for (std::size_t i = 0; i < sizeof m_section; ++i) {
      if (bytes[i]) return true;
    }
    return false;
  }
  void Enter() {
    if (Initialised()) EnterCriticalSection(&m_section);
  }
  void Leave() {
    if (Initialised()) LeaveCriticalSection(&m_section);
  }

 private:
  CRITICAL_SECTION m_section;
};
static_assert(sizeof(CRITICAL_SECTION) == 24);

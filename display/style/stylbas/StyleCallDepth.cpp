#include "display/style/stylbas/StyleCallDepth.h"

#include <cstdint>

namespace {

// A slot of its own rather than a word of the per-thread block: the bound must hold on threads that were
// running before the library was loaded, which have no block.
class DepthSlot {
 public:
  DepthSlot() : m_slot(TlsAlloc()) {}
  ~DepthSlot() {
    if (m_slot != TLS_OUT_OF_INDEXES) TlsFree(m_slot);
  }
  bool Valid() const { return m_slot != TLS_OUT_OF_INDEXES; }
  DWORD Get() const {
    return Valid() ? static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(TlsGetValue(m_slot))) : 0;
  }
  void Set(DWORD depth) const {
    if (Valid()) TlsSetValue(m_slot, reinterpret_cast<void*>(static_cast<std::uintptr_t>(depth)));
  }

 private:
  DWORD m_slot;
};

DepthSlot g_depth;

}  // namespace

DWORD StyleCallDepth::Current() { return g_depth.Get(); }

bool StyleCallDepth::Enter() {
  const DWORD depth = g_depth.Get();
  if (depth >= kLimit) return false;
  g_depth.Set(depth + 1);
  return true;
}

void StyleCallDepth::Leave() {
  const DWORD depth = g_depth.Get();
  if (depth > 0) g_depth.Set(depth - 1);
}

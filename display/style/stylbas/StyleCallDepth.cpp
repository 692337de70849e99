#include "display/style/stylbas/StyleCallDepth.h"

#include <cstdint>

#include "host/pellow/pellow.h"

namespace {

// The thread's depth in the low bits and, in the top bit, whether its outermost call has met the bound.
constexpr DWORD kBoundMet = 0x80000000;

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
  void Set(DWORD word) const {
    if (Valid()) TlsSetValue(m_slot, reinterpret_cast<void*>(static_cast<std::uintptr_t>(word)));
  }

 private:
  DWORD m_slot;
};

DepthSlot g_depth;

}  // namespace

DWORD StyleCallDepth::Current() { return g_depth.Get() & ~kBoundMet; }

StyleCallDepth::StyleCallDepth() : m_entered(false), m_outermost(false) {
  const DWORD word = g_depth.Get();
  if (word & kBoundMet) return;
  if (word >= kLimit) {
    g_depth.Set(word | kBoundMet);
    return;
  }
  m_entered = true;
  m_outermost = word == 0;
  g_depth.Set(word + 1);
}

StyleCallDepth::~StyleCallDepth() {
  if (!m_entered) return;
  // The outermost call takes the mark with it: the thread's next call starts clean.
  const DWORD word = g_depth.Get();
  g_depth.Set(m_outermost || (word & ~kBoundMet) <= 1 ? 0 : word - 1);
}

HRESULT StyleCallDepth::Answer(HRESULT hr) {
  if (!m_outermost || !(g_depth.Get() & kBoundMet)) return hr;
  // Reported once: the mark goes, so a second Answer of the same call answers as the style did.
  g_depth.Set(1);
  HRerr(E_FAIL, 0, kReportSource, kReportLine);
  return E_FAIL;
}

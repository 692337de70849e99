#include "display/style/fillpool.h"

#include <cstdlib>
#include <cstring>

#include "display/style/server.h"

namespace {

struct CachedBlock {
  CachedBlock* next;
};

struct WorkBlockPool {
  CachedBlock* head;
  int count;  // at most five
};

enum { kEdgePool, kRowPool, kTrapezoidPool, kPoolCount };

WorkBlockPool g_pools[kPoolCount];

// Zero until the static initialiser has run, and again after the exit list deleted it; users skip it then.
CRITICAL_SECTION g_poolSection;

bool SectionInitialised() {
  static const CRITICAL_SECTION zero{};
  return std::memcmp(&g_poolSection, &zero, sizeof zero) != 0;
}

struct PoolSectionLifetime {
  PoolSectionLifetime() { InitializeCriticalSection(&g_poolSection); }
  ~PoolSectionLifetime() {
    DeleteCriticalSection(&g_poolSection);
    std::memset(&g_poolSection, 0, sizeof g_poolSection);
  }
};

__attribute__((init_priority(STYLESRV_INIT_FILL_POOLS))) PoolSectionLifetime g_poolSectionLifetime;

}  // namespace

void FillTrapFlushPools() {
  const bool guarded = SectionInitialised();
  if (guarded) EnterCriticalSection(&g_poolSection);
  for (WorkBlockPool& pool : g_pools) {
    while (CachedBlock* block = pool.head) {
      pool.head = block->next;
      std::free(block);
    }
    pool.count = 0;
  }
  if (guarded) LeaveCriticalSection(&g_poolSection);
}

#include "host/halvorn/halvorn.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

volatile LONG g_liveBlocks = 0;
volatile LONG g_failuresPending = 0;
volatile LONG g_skipBeforeFailure = -1;  // -1: no single failure armed

constexpr DWORD kLiveMagic = 0x4E564C48;  // "HLVN"
constexpr DWORD kDeadMagic = 0xDEADB10C;

// Lies just before each block, so that a wrong address or a second free is caught rather than corrupting the
// heap quietly.
struct BlockHeader {
  void* raw;
  DWORD size;
  DWORD magic;
};

BlockHeader* HeaderOf(void* block) {
  return reinterpret_cast<BlockHeader*>(static_cast<char*>(block) - sizeof(BlockHeader));
}

[[noreturn]] void Misuse(const char* what, void* block) {
  std::fprintf(stderr, "halvorn: EngineFree(%p): %s\n", block, what);
  std::fflush(stderr);
  std::abort();
}

bool TakeArmedFailure() {
  for (;;) {
    const LONG skip = g_skipBeforeFailure;
    if (skip < 0) return false;
    if (InterlockedCompareExchange(&g_skipBeforeFailure, skip - 1, skip) == skip) return skip == 0;
  }
}

bool TakeInjectedFailure() {
  if (TakeArmedFailure()) return true;
  for (;;) {
    LONG pending = g_failuresPending;
    if (pending <= 0) return false;
    if (InterlockedCompareExchange(&g_failuresPending, pending - 1, pending) == pending) return true;
  }
}

}  // namespace

extern "C" {

void* EngineAlloc(std::size_t size) {
  if (TakeInjectedFailure()) return nullptr;
  if (size > 0x7FFF0000u) return nullptr;
  // Room for the header, the alignment slack and the block itself.
  char* raw = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size + sizeof(BlockHeader) + 12));
  if (!raw) return nullptr;
  std::uintptr_t object = (reinterpret_cast<std::uintptr_t>(raw) + sizeof(BlockHeader) + 4 + 7) & ~std::uintptr_t{7};
  char* block = reinterpret_cast<char*>(object - 4);
  BlockHeader* header = HeaderOf(block);
  header->raw = raw;
  header->size = static_cast<DWORD>(size);
  header->magic = kLiveMagic;
  // Fresh blocks carry a pattern, not zeros: a class that relies on zeroed memory shows it at once.
  std::memset(block, 0xCD, size);
  InterlockedIncrement(&g_liveBlocks);
  return block;
}

void EngineFree(void* block) {
  if (!block) return;
  BlockHeader* header = HeaderOf(block);
  if (header->magic == kDeadMagic) Misuse("block freed twice", block);
  if (header->magic != kLiveMagic) Misuse("not a block of the engine allocator", block);
  header->magic = kDeadMagic;
  std::memset(block, 0xDD, header->size);
  InterlockedDecrement(&g_liveBlocks);
  HeapFree(GetProcessHeap(), 0, header->raw);
}

LONG EngineLiveBlocks() { return g_liveBlocks; }

void EngineFailNextAllocations(LONG count) { InterlockedExchange(&g_failuresPending, count < 0 ? 0 : count); }

LONG EngineFailAllocationAfter(LONG skip) { return InterlockedExchange(&g_skipBeforeFailure, skip < 0 ? -1 : skip); }

}  // extern "C"

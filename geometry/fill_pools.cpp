// The process-wide pools of the fill work blocks: one free list per block kind, at most five cached blocks
// each, all three guarded by one lock, so that drawing many fills allocates nothing once the lists are warm.
#include <cstdint>
#include <cstdlib>

#include "geometry/fill_internal.h"

namespace {

constexpr int kCachedPerKind = 5;

struct FreeList {
  FillBlockHeader* blocks[kCachedPerKind];
  int count;
};

FreeList gFreeLists[3];

int gAllocFailCountdown = 0;

FreeList& ListOf(FillBlockKind kind) { return gFreeLists[static_cast<int>(kind)]; }

std::size_t BlockBytes(FillBlockKind kind) {
  switch (kind) {
    case FillBlockKind::kTrapezoid:
      return sizeof(FillTrapezoidBlock);
    case FillBlockKind::kNode:
      return sizeof(FillNodeBlock);
    case FillBlockKind::kSegment:
      break;
  }
  return sizeof(FillSegmentBlock);
}

std::uint32_t BlockCapacity(FillBlockKind kind) {
  switch (kind) {
    case FillBlockKind::kTrapezoid:
      return FillTrapezoidBlock::kCapacity;
    case FillBlockKind::kNode:
      return FillNodeBlock::kCapacity;
    case FillBlockKind::kSegment:
      break;
  }
  return FillSegmentBlock::kCapacity;
}

// Holds the pool lock for a scope, when the lock exists.
class PoolHold {
 public:
  PoolHold() : m_entered(geomplatform::EnterFillPoolLock()) {}
  ~PoolHold() {
    if (m_entered) geomplatform::LeaveFillPoolLock();
  }
  PoolHold(const PoolHold&) = delete;
  PoolHold& operator=(const PoolHold&) = delete;

 private:
  bool m_entered;
};

FillBlockHeader* TakeBlock(FillBlockKind kind) {
  PoolHold hold;
  FreeList& list = ListOf(kind);
  if (list.count > 0) return list.blocks[--list.count];
  return static_cast<FillBlockHeader*>(FillAllocate(BlockBytes(kind)));
}

void ReleaseChain(FillTrap::BlockChain* chain, FillBlockKind kind) {
  FreeList& list = ListOf(kind);
  FillBlockHeader* block = chain->first;
  while (block) {
    FillBlockHeader* next = block->next;
    if (list.count < kCachedPerKind) {
      list.blocks[list.count++] = block;
    } else {
      FillFree(block);
    }
    block = next;
  }
  chain->first = chain->current = nullptr;
}

}  // namespace

void* FillAllocate(std::size_t bytes) {
  if (gAllocFailCountdown > 0 && --gAllocFailCountdown == 0) return nullptr;
  return std::malloc(bytes);
}

void FillFree(void* block) { std::free(block); }

void* FillAllocateArray(std::size_t count, std::size_t size) {
  if (size != 0 && count > SIZE_MAX / size) return nullptr;
  return FillAllocate(count * size);
}

FillBlockHeader* FillChainReserve(FillTrap::BlockChain* chain, FillBlockKind kind) {
  FillBlockHeader* current = chain->current;
  if (current && current->count < BlockCapacity(kind)) return current;
  if (current && current->next) {
    chain->current = current->next;
    chain->current->count = 0;
    return chain->current;
  }
  FillBlockHeader* block = TakeBlock(kind);
  if (!block) return nullptr;
  block->count = 0;
  block->next = nullptr;
  if (current) {
    current->next = block;
  } else {
    chain->first = block;
  }
  chain->current = block;
  return block;
}

void FillChainEmpty(FillTrap::BlockChain* chain) {
  for (FillBlockHeader* block = chain->first; block; block = block->next) block->count = 0;
  chain->current = chain->first;
}

void FillChainsRelease(FillTrap::BlockChain* trapezoids, FillTrap::BlockChain* nodes,
                       FillTrap::BlockChain* segments) {
  PoolHold hold;
  ReleaseChain(trapezoids, FillBlockKind::kTrapezoid);
  ReleaseChain(nodes, FillBlockKind::kNode);
  ReleaseChain(segments, FillBlockKind::kSegment);
}

void FillTrapFlushPools() {
  PoolHold hold;
  for (FreeList& list : gFreeLists) {
    while (list.count > 0) FillFree(list.blocks[--list.count]);
  }
}

int FillTrapPooledBlocks(FillBlockKind kind) {
  PoolHold hold;
  return ListOf(kind).count;
}

void FillAllocFailAt(int n) { gAllocFailCountdown = n > 0 ? n : 0; }

int FillAllocFailPending() { return gAllocFailCountdown; }

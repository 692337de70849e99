// The process-wide pools of the fill work blocks: one free list per block kind, at most five cached blocks
// each, all three guarded by one lock, so that drawing many fills allocates nothing once the lists are warm;
// and the slabs a large decomposition cuts its further blocks from.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "geometry/fill_internal.h"
#include "geometry/fill_test_support.h"

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

// A slab starts with the link to the one before it; blocks follow at the allocator's alignment.
constexpr std::size_t kSlabAlignment = alignof(std::max_align_t);
constexpr std::size_t kSlabHeader = (sizeof(void*) + kSlabAlignment - 1) / kSlabAlignment * kSlabAlignment;
// Each slab a quarter larger than all before it together, so that a decomposition holds a few slabs whatever its
// size and the newest is more than half of them: an allocator that keeps freed memory up to twice its largest
// recent block (as glibc's does) then keeps a decomposition's slabs for the next one, which finds its pages
// mapped already. Up to a size that a 32-bit address space still serves.
constexpr std::size_t kFirstSlabBytes = std::size_t{64} << 10;
constexpr std::size_t kLargestSlabBytes = sizeof(void*) >= 8 ? std::size_t{32} << 20 : std::size_t{8} << 20;

FillBlockHeader* CutBlock(FillTrap::Slabs* slabs, FillBlockKind kind) {
  const std::size_t bytes = (BlockBytes(kind) + kSlabAlignment - 1) / kSlabAlignment * kSlabAlignment;
  if (slabs->room < bytes) {
    const std::size_t grown = slabs->total + slabs->total / 4;
    const std::size_t size = std::max(std::min(std::max(grown, kFirstSlabBytes), kLargestSlabBytes),
                                      kSlabHeader + bytes);
    auto* slab = static_cast<unsigned char*>(FillAllocate(size));
    if (!slab) return nullptr;
    *reinterpret_cast<void**>(slab) = slabs->first;
    slabs->first = slab;
    slabs->free = slab + kSlabHeader;
    slabs->room = size - kSlabHeader;
    slabs->total += size;
  }
  auto* block = reinterpret_cast<FillBlockHeader*>(slabs->free);
  slabs->free += bytes;
  slabs->room -= bytes;
  return block;
}

// The chain's first blocks, which came one by one from the pool or the allocator, go back the same way; the rest
// lie in slabs.
void ReleaseChain(FillTrap::BlockChain* chain, FillBlockKind kind) {
  FreeList& list = ListOf(kind);
  FillBlockHeader* block = chain->first;
  for (std::uint32_t k = 0; block && k < kCachedPerKind; ++k) {
    FillBlockHeader* next = block->next;
    if (list.count < kCachedPerKind) {
      list.blocks[list.count++] = block;
    } else {
      FillFree(block);
    }
    block = next;
  }
  *chain = FillTrap::BlockChain();
}

void FreeSlabs(FillTrap::Slabs* slabs) {
  for (void* slab = slabs->first; slab;) {
    void* next = *static_cast<void**>(slab);
    FillFree(slab);
    slab = next;
  }
  *slabs = FillTrap::Slabs();
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

FillBlockHeader* FillChainReserve(FillTrap::BlockChain* chain, FillBlockKind kind, FillTrap::Slabs* slabs) {
  FillBlockHeader* current = chain->current;
  if (current && current->count < BlockCapacity(kind)) return current;
  if (current && current->next) {
    chain->current = current->next;
    chain->current->count = 0;
    return chain->current;
  }
  FillBlockHeader* block = chain->blocks < kCachedPerKind ? TakeBlock(kind) : CutBlock(slabs, kind);
  if (!block) return nullptr;
  block->count = 0;
  block->next = nullptr;
  if (current) {
    current->next = block;
  } else {
    chain->first = block;
  }
  chain->current = block;
  ++chain->blocks;
  return block;
}

void FillChainEmpty(FillTrap::BlockChain* chain) {
  for (FillBlockHeader* block = chain->first; block; block = block->next) block->count = 0;
  chain->current = chain->first;
}

void FillChainsRelease(FillTrap::BlockChain* trapezoids, FillTrap::BlockChain* nodes,
                       FillTrap::BlockChain* segments, FillTrap::Slabs* slabs) {
  {
    PoolHold hold;
    ReleaseChain(trapezoids, FillBlockKind::kTrapezoid);
    ReleaseChain(nodes, FillBlockKind::kNode);
    ReleaseChain(segments, FillBlockKind::kSegment);
  }
  FreeSlabs(slabs);
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

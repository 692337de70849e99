// What the fill code's topic files share: its allocator, the block chains of a FillTrap, and the reports.
#pragma once

#include <cstddef>

#include "geometry/fill.h"
#include "geometry/platform.h"

// The ordinary allocator of the fill code, failing where a test asked it to (FillAllocFailAt).
void* FillAllocate(std::size_t bytes);
void FillFree(void* block);
// count elements of size bytes, or null when the size does not fit in the address space or the memory is
// not there.
void* FillAllocateArray(std::size_t count, std::size_t size);

// A block with room for one more record: the block being written while it has room, else the next block of
// the chain (emptied earlier), else a block from the kind's pool, emptied and appended. Null without memory.
FillBlockHeader* FillChainReserve(FillTrap::BlockChain* chain, FillBlockKind kind);
// Every block's count to 0; writing starts again at the first.
void FillChainEmpty(FillTrap::BlockChain* chain);
// Gives the blocks of the three chains back under one hold of the pool lock: each is cached while its pool
// holds fewer than 5, else deleted. The chains are left empty.
void FillChainsRelease(FillTrap::BlockChain* trapezoids, FillTrap::BlockChain* nodes,
                       FillTrap::BlockChain* segments);

inline FillResult FillReport(FillResult hr, const char* source, int line) {
  geomplatform::ReportFillFailure(hr, source, line);
  return hr;
}

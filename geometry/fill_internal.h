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
// the chain (emptied earlier), else a new block appended: one of the kind's pool (or allocated) for the chain's
// first five, cut from the slabs beyond them. Null without memory.
FillBlockHeader* FillChainReserve(FillTrap::BlockChain* chain, FillBlockKind kind, FillTrap::Slabs* slabs);
// Every block's count to 0; writing starts again at the first.
void FillChainEmpty(FillTrap::BlockChain* chain);
// Gives the blocks of the three chains back under one hold of the pool lock, each chain's first five to the
// pools (each cached while its pool holds fewer than 5, else deleted); then frees the slabs, which hold the rest.
// The chains and slabs are left empty.
void FillChainsRelease(FillTrap::BlockChain* trapezoids, FillTrap::BlockChain* nodes,
                       FillTrap::BlockChain* segments, FillTrap::Slabs* slabs);

inline FillResult FillReport(FillResult hr, const char* source, int line) {
  geomplatform::ReportFillFailure(hr, source, line);
  return hr;
}

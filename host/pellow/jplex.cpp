#include "host/pellow/pellow.h"

namespace {
volatile LONG g_liveChunks = 0;
}

JPlex* JPlex::Create(JPlex*& head, UINT max, UINT elementSize) {
  if (max == 0 || elementSize == 0) return nullptr;
  // Refuse sizes that would wrap rather than hand out a chunk smaller than asked for.
  if (elementSize > (0x7FFFFFFFu - sizeof(JPlex)) / max) return nullptr;
  void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(JPlex) + max * elementSize);
  if (!memory) return nullptr;
  JPlex* chunk = static_cast<JPlex*>(memory);
  chunk->pNext = head;
  head = chunk;
  InterlockedIncrement(&g_liveChunks);
  return chunk;
}

void JPlex::FreeDataChain() {
  JPlex* chunk = this;
  while (chunk) {
    JPlex* next = chunk->pNext;
    HeapFree(GetProcessHeap(), 0, chunk);
    InterlockedDecrement(&g_liveChunks);
    chunk = next;
  }
}

extern "C" LONG JPlexLiveChunks() { return g_liveChunks; }

// Nodes of the library's hash maps: taken from chunks of ten of the utility library's block pool, given back to
// a free list and reused before a new chunk is taken; all memory goes with the pool.
#pragma once

#include <new>
#include <type_traits>

#include "host/pellow/pellow.h"

template <class Node>
class StyleNodePool {
 public:
  static constexpr UINT kChunkNodes = 10;

  StyleNodePool() = default;
  ~StyleNodePool() { FreeAll(); }
  StyleNodePool(const StyleNodePool&) = delete;
  StyleNodePool& operator=(const StyleNodePool&) = delete;

  // A zeroed node, or null when the memory is not there.
  Node* Take() {
    if (!m_free) {
      JPlex* chunk = JPlex::Create(m_chunks, kChunkNodes, sizeof(Slot));
      if (!chunk) return nullptr;
      Slot* slots = static_cast<Slot*>(chunk->data());
      for (UINT i = kChunkNodes; i-- > 0;) {
        slots[i].nextFree = m_free;
        m_free = &slots[i];
      }
    }
    Slot* slot = m_free;
    m_free = slot->nextFree;
    return new (&slot->node) Node{};
  }

  void Give(Node* node) {
    Slot* slot = reinterpret_cast<Slot*>(node);
    slot->nextFree = m_free;
    m_free = slot;
  }

  // Frees every chunk; nodes still handed out become invalid.
  void FreeAll() {
    if (m_chunks) m_chunks->FreeDataChain();
    m_chunks = nullptr;
    m_free = nullptr;
  }

 private:
  union Slot {
    Node node;
    Slot* nextFree;
  };
  static_assert(std::is_trivially_destructible_v<Node>);

  JPlex* m_chunks = nullptr;
  Slot* m_free = nullptr;
};

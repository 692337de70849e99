// A doubly linked list of pointers whose nodes come from a JPlex chain of the utility library, a chunk of
// `blockSize` nodes at a time. Removed nodes go onto a free chain and are reused before a new chunk is taken;
// the chunks go back only when the list is emptied.
#pragma once

#include <windows.h>

class JPlex;

class JPtrList {
 public:
  struct Node {
    Node* next;
    Node* prev;
    void* value;
  };

  explicit JPtrList(UINT blockSize = 10) : m_blockSize(blockSize ? blockSize : 10) {}
  ~JPtrList() { RemoveAll(); }
  JPtrList(const JPtrList&) = delete;
  JPtrList& operator=(const JPtrList&) = delete;

  // Each answers the new node, or null when no node could be had (the list is then unchanged).
  Node* AddHead(void* value);
  Node* AddTail(void* value);

  // The first node holding value, from the head; null when none does.
  Node* Find(const void* value) const;

  void RemoveAt(Node* node);

  // Empties the list and gives back its chunks.
  void RemoveAll();

  // Exchanges everything the two lists hold, nodes and chunks alike.
  void Swap(JPtrList& other);

  Node* GetHead() const { return m_head; }
  Node* GetTail() const { return m_tail; }
  UINT GetCount() const { return m_count; }

 private:
  Node* NewNode(Node* prev, Node* next, void* value);

  Node* m_head = nullptr;
  Node* m_tail = nullptr;
  UINT m_count = 0;
  Node* m_free = nullptr;
  JPlex* m_blocks = nullptr;
  UINT m_blockSize;
};

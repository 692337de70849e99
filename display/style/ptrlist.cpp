#include "display/style/ptrlist.h"

#include <utility>

#include "host/pellow/pellow.h"

JPtrList::Node* JPtrList::NewNode(Node* prev, Node* next, void* value) {
  if (!m_free) {
    JPlex* chunk = JPlex::Create(m_blocks, m_blockSize, sizeof(Node));
    if (!chunk) return nullptr;
    // Chain the new nodes so that the lowest address is taken first.
    Node* nodes = static_cast<Node*>(chunk->data());
    for (UINT i = m_blockSize; i-- > 0;) {
      nodes[i].next = m_free;
      m_free = &nodes[i];
    }
  }
  Node* node = m_free;
  m_free = node->next;
  node->prev = prev;
  node->next = next;
  node->value = value;
  ++m_count;
  return node;
}

JPtrList::Node* JPtrList::AddHead(void* value) {
  Node* node = NewNode(nullptr, m_head, value);
  if (!node) return nullptr;
  if (m_head) {
    m_head->prev = node;
  } else {
    m_tail = node;
  }
  m_head = node;
  return node;
}

JPtrList::Node* JPtrList::AddTail(void* value) {
  Node* node = NewNode(m_tail, nullptr, value);
  if (!node) return nullptr;
  if (m_tail) {
    m_tail->next = node;
  } else {
    m_head = node;
  }
  m_tail = node;
  return node;
}

JPtrList::Node* JPtrList::Find(const void* value) const {
  for (Node* node = m_head; node; node = node->next) {
    if (node->value == value) return node;
  }
  return nullptr;
}

void JPtrList::RemoveAt(Node* node) {
  if (!node) return;
  if (node == m_head) {
    m_head = node->next;
  } else {
    node->prev->next = node->next;
  }
  if (node == m_tail) {
    m_tail = node->prev;
  } else {
    node->next->prev = node->prev;
  }
  node->value = nullptr;
  node->prev = nullptr;
  node->next = m_free;
  m_free = node;
  --m_count;
}

void JPtrList::RemoveAll() {
  m_head = m_tail = nullptr;
  m_count = 0;
  m_free = nullptr;
  if (m_blocks) {
    m_blocks->FreeDataChain();
    m_blocks = nullptr;
  }
}

void JPtrList::Swap(JPtrList& other) {
  std::swap(m_head, other.m_head);
  std::swap(m_tail, other.m_tail);
  std::swap(m_count, other.m_count);
  std::swap(m_free, other.m_free);
  std::swap(m_blocks, other.m_blocks);
  std::swap(m_blockSize, other.m_blockSize);
}

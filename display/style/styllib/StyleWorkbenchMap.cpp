#include "display/style/styllib/StyleWorkbenchMap.h"

#include <cstdlib>

StyleWorkbenchMap::Node* StyleWorkbenchMap::FindNode(DWORD id) const {
  if (!m_buckets) return nullptr;
  for (Node* node = m_buckets[(id >> 4) % kBucketCount]; node; node = node->next) {
    if (node->key == id) return node;
  }
  return nullptr;
}

IUnknown* StyleWorkbenchMap::Lookup(DWORD id) const {
  Node* node = FindNode(id);
  return node ? node->value : nullptr;
}

bool StyleWorkbenchMap::SetAt(DWORD id, IUnknown* workbench) {
  if (Node* node = FindNode(id)) {
    node->value = workbench;
    return true;
  }
  if (!m_buckets) {
    m_buckets = static_cast<Node**>(std::calloc(kBucketCount, sizeof(Node*)));
    if (!m_buckets) return false;
  }
  Node* node = m_pool.Take();
  if (!node) return false;
  Node*& head = m_buckets[(id >> 4) % kBucketCount];
  *node = Node{head, id >> 4, id, workbench, 0};
  head = node;
  ++m_count;
  return true;
}

bool StyleWorkbenchMap::RemoveKey(DWORD id) {
  if (!m_buckets) return false;
  for (Node** link = &m_buckets[(id >> 4) % kBucketCount]; *link; link = &(*link)->next) {
    Node* node = *link;
    if (node->key != id) continue;
    *link = node->next;
    m_pool.Give(node);
    --m_count;
    return true;
  }
  return false;
}

void StyleWorkbenchMap::RemoveAll() {
  std::free(m_buckets);
  m_buckets = nullptr;
  m_pool.FreeAll();
  m_count = 0;
}

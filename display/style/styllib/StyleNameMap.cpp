#include "display/style/styllib/StyleNameMap.h"

#include <cstdlib>
#include <cwctype>

#include "display/style/styllib/JSymbolDescriptor.h"
#include "display/style/styllib/StyleText.h"

StyleNameMap::~StyleNameMap() { RemoveAll(); }

void StyleNameMap::DeletingDestructor(unsigned flags) {
  this->~StyleNameMap();
  if (flags & 1) operator delete(this);
}

HRESULT StyleNameMap::Init() {
  m_descriptorCount = 0;
  return S_OK;
}

DWORD StyleNameMap::HashName(LPCWSTR name) {
  DWORD hash = 0;
  for (; name && *name; ++name) hash = hash * 33 + static_cast<WORD>(std::towlower(*name));
  return hash;
}

StyleNameMap::Node* StyleNameMap::FindNode(LPCWSTR name, DWORD hash) const {
  if (!m_buckets) return nullptr;
  for (Node* node = m_buckets[hash % m_bucketCount]; node; node = node->next) {
    if (node->hash == hash && StyleNamesEqual(node->name, name)) return node;
  }
  return nullptr;
}

HRESULT StyleNameMap::Add(JSymbolDescriptor* descriptor) {
  if (!descriptor) return E_INVALIDARG;
  LPCWSTR name = nullptr;
  HRESULT hr = descriptor->GetName(&name);
  if (FAILED(hr)) return hr;
  if (!name) return E_INVALIDARG;
  const DWORD hash = HashName(name);
  if (Node* existing = FindNode(name, hash)) {
    descriptor->AddRef();
    JSymbolDescriptor* replaced = existing->descriptor;
    existing->descriptor = descriptor;
    existing->name = name;
    replaced->Release();
    return S_OK;
  }
  if (!m_buckets) {
    m_buckets = static_cast<Node**>(std::calloc(m_bucketCount, sizeof(Node*)));
    if (!m_buckets) return E_OUTOFMEMORY;
  }
  Node* node = m_pool.Take();
  if (!node) return E_OUTOFMEMORY;
  Node*& head = m_buckets[hash % m_bucketCount];
  *node = Node{head, hash, name, descriptor};
  head = node;
  ++m_nodeCount;
  ++m_descriptorCount;
  descriptor->AddRef();
  return S_OK;
}

HRESULT StyleNameMap::Remove(LPCWSTR name) {
  if (!name || !m_buckets) return E_FAIL;
  const DWORD hash = HashName(name);
  for (Node** link = &m_buckets[hash % m_bucketCount]; *link; link = &(*link)->next) {
    Node* node = *link;
    if (node->hash != hash || !StyleNamesEqual(node->name, name)) continue;
    *link = node->next;
    JSymbolDescriptor* descriptor = node->descriptor;
    m_pool.Give(node);
    --m_nodeCount;
    --m_descriptorCount;
    // Last: `name` may be the descriptor's own text.
    descriptor->Release();
    return S_OK;
  }
  return E_FAIL;
}

HRESULT StyleNameMap::Find(LPCWSTR name, JSymbolDescriptor** out) const {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!name) return E_INVALIDARG;
  Node* node = FindNode(name, HashName(name));
  if (!node) return E_FAIL;
  *out = node->descriptor;
  return S_OK;
}

BOOL StyleNameMap::Exists(LPCWSTR name) const { return name && FindNode(name, HashName(name)) ? TRUE : FALSE; }

ULONG_PTR StyleNameMap::GetStartPosition() const { return m_nodeCount ? kStartPosition : 0; }

const StyleNameMap::Node* StyleNameMap::FirstFrom(DWORD bucket) const {
  for (; m_buckets && bucket < m_bucketCount; ++bucket) {
    if (m_buckets[bucket]) return m_buckets[bucket];
  }
  return nullptr;
}

const StyleNameMap::Node* StyleNameMap::NodeAt(ULONG_PTR position) const {
  if (position == kStartPosition) return FirstFrom(0);
  return reinterpret_cast<const Node*>(position);
}

const StyleNameMap::Node* StyleNameMap::Successor(const Node* node) const {
  return node->next ? node->next : FirstFrom(node->hash % m_bucketCount + 1);
}

HRESULT StyleNameMap::GetNext(ULONG_PTR* position, LPCWSTR* name) const {
  if (!position || !name) return E_INVALIDARG;
  const Node* node = *position ? NodeAt(*position) : nullptr;
  if (!node) return E_FAIL;
  *name = node->name;
  *position = reinterpret_cast<ULONG_PTR>(Successor(node));
  return S_OK;
}

HRESULT StyleNameMap::GetNextDescriptor(ULONG_PTR* position, JSymbolDescriptor** out) const {
  if (!position || !out) return E_INVALIDARG;
  const Node* node = *position ? NodeAt(*position) : nullptr;
  if (!node) return E_FAIL;
  *out = node->descriptor;
  *position = reinterpret_cast<ULONG_PTR>(Successor(node));
  return S_OK;
}

HRESULT StyleNameMap::GetCount(DWORD* out) const {
  if (!out) return E_INVALIDARG;
  *out = m_descriptorCount;
  return S_OK;
}

void StyleNameMap::RemoveAll() {
  if (m_buckets) {
    for (DWORD b = 0; b < m_bucketCount; ++b) {
      for (Node* node = m_buckets[b]; node; node = node->next) node->descriptor->Release();
    }
    std::free(m_buckets);
    m_buckets = nullptr;
  }
  m_pool.FreeAll();
  m_nodeCount = 0;
  m_descriptorCount = 0;
}

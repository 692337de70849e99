// The library's registry of workbenches: style ID to the workbench editing that style. A chained hash map of
// 17 buckets (an ID's bucket is (ID >> 4) modulo 17), its bucket array made on the first insertion, its nodes
// from pooled chunks. It holds no reference on its workbenches.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "display/style/styllib/StyleNodePool.h"

class StyleWorkbenchMap {
 public:
  static constexpr DWORD kBucketCount = 17;

  StyleWorkbenchMap() = default;
  ~StyleWorkbenchMap() { RemoveAll(); }
  StyleWorkbenchMap(const StyleWorkbenchMap&) = delete;
  StyleWorkbenchMap& operator=(const StyleWorkbenchMap&) = delete;

  // The workbench of an ID (no reference added), or null.
  IUnknown* Lookup(DWORD id) const;
  // Files the workbench under the ID, replacing the value of an existing node. False when out of memory.
  bool SetAt(DWORD id, IUnknown* workbench);
  // False when the ID has no node.
  bool RemoveKey(DWORD id);
  // Forgets every node and frees the memory; the workbenches are not touched.
  void RemoveAll();
  DWORD GetCount() const { return m_count; }

 private:
  struct Node {
    Node* next;
    DWORD hash;  // ID >> 4
    DWORD key;
    IUnknown* value;
    DWORD zero;
  };
  Node* FindNode(DWORD id) const;

  Node** m_buckets = nullptr;
  DWORD m_count = 0;
  StyleNodePool<Node> m_pool;
};

// A style type's name table: style names, without regard to case, to the descriptors behind them. It holds the
// names of the library's own named styles and those a custodian copies in from style-library files. Callers
// of other modules reach it through the librarian (GetTypeNameMap) and use only its virtual operations, in the
// order of its table and in the compiler's convention for member operations. The table starts with the one-slot
// deleting destructor rather than a C++ virtual destructor, which would take two slots.
#pragma once

#include "display/style/stylesrv_com.h"
#include "display/style/stylesrv_itf.h"
#include "display/style/styllib/StyleNodePool.h"

class StyleNameMap {
 public:
  static constexpr DWORD kBucketCount = 17;
  // The position before the first name, as GetStartPosition answers it when there are names.
  static constexpr ULONG_PTR kStartPosition = 0xFFFFFFFF;

  StyleNameMap() = default;
  StyleNameMap(const StyleNameMap&) = delete;
  StyleNameMap& operator=(const StyleNameMap&) = delete;

  STYLE_ORDINARY_ALLOCATED

  // ---- the table, in order ----
  // Runs the destructor; with bit 0 of flags set also frees the storage.
  virtual void DeletingDestructor(unsigned flags);
  virtual HRESULT Init();
  // Files the descriptor under its name, taking a reference. A descriptor already filed under the name (case
  // ignored) is released and replaced; the count stays.
  virtual HRESULT Add(JSymbolDescriptor* descriptor);
  // E_FAIL when the name is not there.
  virtual HRESULT Remove(LPCWSTR name);
  // The descriptor of a name, without a reference. E_INVALIDARG for a null name, E_FAIL when not there.
  virtual HRESULT Find(LPCWSTR name, JSymbolDescriptor** out) const;
  virtual BOOL Exists(LPCWSTR name) const;
  // kStartPosition when there is a name, else 0.
  virtual ULONG_PTR GetStartPosition() const;
  // The name at *position (the descriptor's own text) and the position after it, 0 after the last. The order
  // is bucket order, then newest first within a bucket.
  virtual HRESULT GetNext(ULONG_PTR* position, LPCWSTR* name) const;
  virtual HRESULT GetCount(DWORD* out) const;

  // ---- for the library ----
  // As GetNext, handing out descriptors (without a reference).
  HRESULT GetNextDescriptor(ULONG_PTR* position, JSymbolDescriptor** out) const;
  // Releases every descriptor and frees the buckets and the nodes.
  void RemoveAll();

  // h * 33 + towlower(unit) over the name's UTF-16 units, in 32-bit arithmetic.
  static DWORD HashName(LPCWSTR name);

 protected:
  // Not virtual: destruction goes through DeletingDestructor.
  ~StyleNameMap();

 private:
  struct Node {
    Node* next;
    DWORD hash;
    LPCWSTR name;  // the descriptor's own text
    JSymbolDescriptor* descriptor;  // one reference
  };

  Node* FindNode(LPCWSTR name, DWORD hash) const;
  const Node* NodeAt(ULONG_PTR position) const;
  const Node* Successor(const Node* node) const;
  const Node* FirstFrom(DWORD bucket) const;

  Node** m_buckets = nullptr;  // made on the first Add
  DWORD m_bucketCount = kBucketCount;
  DWORD m_nodeCount = 0;
  StyleNodePool<Node> m_pool;
  DWORD m_descriptorCount = 0;
};

// The style types of a library: one record per type GUID with the type's active and default style, the
// interface its styles are handed out under and its name table. A type's index is its place in the table and
// never changes while the library lives: types are only appended.
#pragma once

#include "display/style/stylesrv_itf.h"
#include "display/style/StyleGrowableArray.h"

class JStyleTypeTable {
 public:
  // The types a new library registers, in order ("Dash" first).
  static constexpr WORD kStandardTypeCount = 13;
  static const GUID* const kStandardTypes[kStandardTypeCount];

  JStyleTypeTable() : m_records(8) {}
  ~JStyleTypeTable() { RemoveAll(); }
  JStyleTypeTable(const JStyleTypeTable&) = delete;
  JStyleTypeTable& operator=(const JStyleTypeTable&) = delete;

  // Room for `capacity` types with that grow-by, none registered. False when the memory is not there.
  bool Reserve(DWORD capacity, DWORD growBy);

  // Linear search; *index is 0 when the type is not there.
  bool FindType(const GUID& type, WORD* index) const;
  // Appends a type with a new, empty name table. Its category is the fixed one of the type, whatever `iid`
  // says. E_FAIL, with *index 0 and nothing appended, when the memory is not there.
  HRESULT AddType(const GUID& type, DWORD activeID, DWORD defaultID, const IID& iid, WORD* index);
  // Whether the type's name table holds the name.
  bool CallNameMap(WORD index, LPCWSTR name) const;
  // The named style of the type's name table under the type's category interface, with a reference. E_FAIL
  // (not reported) when the name is not there.
  HRESULT ForwardToStyle(WORD index, LPCWSTR name, void* unused, void** out) const;

  WORD Count() const { return m_count; }
  // Null for an index at or beyond the count.
  StyleTypeRecord* At(WORD index) const { return index < m_count ? m_records[index] : nullptr; }
  // Deletes every record with its name table.
  void RemoveAll();

  // The interface a type's styles are asked for: fixed per type GUID.
  static const IID& CategoryOf(const GUID& type);

 private:
  StyleGrowableArray<StyleTypeRecord*> m_records;
  WORD m_count = 0;
};

// JStyleResource: the list of style-library files whose styles a library shares. Ordered, without a name twice
// (names compare upper-cased); the library aggregates it on demand and stores it with its own record, the
// custodian walks it in order. Like the unit settings it carries an IUnknown of its own.
#pragma once

#include "display/style/stylesrv_com.h"
#include "display/style/stylesrv_itf.h"
#include "display/style/StyleGrowableArray.h"
#include "display/style/styllib/StyleOwnUnknown.h"

class JStyleResource : public StyleOwnUnknown<IUnknown> {
 public:
  STYLE_ENGINE_ALLOCATED

  // Slots the list starts with, and after it is emptied by a load.
  static constexpr DWORD kInitialSlots = 10;

  explicit JStyleResource(IUnknown* outer = nullptr);

  // ---- the main table: the non-delegating IUnknown, the deleting destructor, two more ----
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleResource)
  virtual DWORD AnswersZero() { return 0; }
  // Whether a name equal to `name` (upper-cased) is in use: the duplicate test of every add.
  virtual BOOL Contains(LPCWSTR name);

  // ---- for the enumerator ----
  DWORD NameCount() const { return m_count; }
  LPCWSTR NameAt(DWORD index) const { return index < m_count ? m_names[index] : nullptr; }

  // The list's record in the archive's direction.
  HRESULT Serialize(JArchive* archive);

  STYLE_BEGIN_INTERFACE_PART(JStyleResource, IJStyleResourceList)
  HRESULT STDMETHODCALLTYPE Enum(DWORD, IEnumString** out) override;
  HRESULT STDMETHODCALLTYPE NewEnum(DWORD, IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE SetAt(DWORD index, LPCWSTR name) override;
  HRESULT STDMETHODCALLTYPE GetAt(DWORD index, LPWSTR buffer, DWORD* byteSize) override;
  HRESULT STDMETHODCALLTYPE Add(LPCWSTR name) override;
  HRESULT STDMETHODCALLTYPE InsertAt(DWORD index, LPCWSTR name) override;
  HRESULT STDMETHODCALLTYPE RemoveAll() override;
  HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override;
  HRESULT STDMETHODCALLTYPE RemoveAt(DWORD index) override;
  STYLE_END_INTERFACE_PART(IJStyleResourceList)

  STYLE_BEGIN_INTERFACE_PART(JStyleResource, IJPersist)
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* out) override;
  void* STDMETHODCALLTYPE GetImplementation() override;
  // The record alone.
  HRESULT STDMETHODCALLTYPE Load(JArchive* archive) override;
  // The class header, then the record.
  HRESULT STDMETHODCALLTYPE Store(JArchive* archive) override;
  // A new, empty list aggregated under `outer`.
  HRESULT STDMETHODCALLTYPE Clone(IUnknown* outer, IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE InitNew() override;
  STYLE_END_INTERFACE_PART(IJPersist)

 protected:
  ~JStyleResource();

 private:
  // Frees every name; the list has `slots` empty slots and no name in use.
  bool ResetNames(DWORD slots);
  // Stores a copy of the name at the index, which is in use or the first one after the names in use.
  HRESULT PutName(DWORD index, LPCWSTR name);

  StyleGrowableArray<LPWSTR> m_names;  // owned texts; slots past the names in use are null
  DWORD m_count = 0;
};

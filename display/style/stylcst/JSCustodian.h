// JSCustodian: a thread's keeper of style-library files. It knows which class opens files of which extension,
// where to look for files (an ordered list of directories), and the files it has already opened (its accessor
// cache); a document library asks it for the style names of the files on its resource list, one style type at a
// time. One per thread, made and dropped by the custodian service (CustodianService.h); used by that thread only.
#pragma once

#include "display/style/StyleGrowableArray.h"
#include "display/style/stylcst/JAccessObjectCache.h"
#include "display/style/stylesrv_com.h"
#include "display/style/stylesrv_itf.h"

class JSCustodian : public UUnknown {
 public:
  explicit JSCustodian(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(JSCustodian)

  // Registers the host's class for the extension "RSC".
  HRESULT Init() override;
  void* GetInterface(REFIID iid) override;
  const char* GetClassName() override;

  // ---- for the search-path enumerator ----
  DWORD DirectoryCount() const { return m_directoryCount; }
  // "" for a slot left empty; null past the directories in use.
  LPCWSTR DirectoryAt(DWORD index) const;

  STYLE_BEGIN_INTERFACE_PART(JSCustodian, IJSCustodian)
  HRESULT STDMETHODCALLTYPE LoadLibraries(const GUID* type, IUnknown* resourceList, StyleNameMap* names) override;
  DWORD STDMETHODCALLTYPE IsLoading() override;
  HRESULT STDMETHODCALLTYPE RegisterFileType(const CLSID* clsid, LPCWSTR extension) override;
  HRESULT STDMETHODCALLTYPE UnregisterFileType(LPCWSTR extension) override;
  HRESULT STDMETHODCALLTYPE LookupFileType(BOOL* found, CLSID* clsid, LPCWSTR extension) override;
  HRESULT STDMETHODCALLTYPE CopyFileTypes(StyleFileTypeTable* out) override;
  STYLE_END_INTERFACE_PART(IJSCustodian)

  STYLE_BEGIN_INTERFACE_PART(JSCustodian, IJStyleSearchPath)
  HRESULT STDMETHODCALLTYPE Enum(DWORD, IEnumString** out) override;
  HRESULT STDMETHODCALLTYPE NotOffered4(DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindFile(LPCWSTR name, LPWSTR path, DWORD* byteSize, DWORD* index) override;
  HRESULT STDMETHODCALLTYPE GetAt(DWORD index, LPWSTR buffer, DWORD* byteSize) override;
  HRESULT STDMETHODCALLTYPE SetAt(DWORD index, LPCWSTR directory) override;
  HRESULT STDMETHODCALLTYPE Add(LPCWSTR directory, DWORD* index) override;
  HRESULT STDMETHODCALLTYPE InsertAt(DWORD index, LPCWSTR directory) override;
  HRESULT STDMETHODCALLTYPE Remove(LPCWSTR directory, DWORD* index) override;
  HRESULT STDMETHODCALLTYPE RemoveAt(DWORD index) override;
  STYLE_END_INTERFACE_PART(IJStyleSearchPath)

 protected:
  ~JSCustodian();

 private:
  // The names of the file's styles of the type that `names` does not know yet go into it.
  HRESULT LoadStyleFile(LPCWSTR name, const GUID* type, StyleNameMap* names);
  // Stores a copy of the directory at the index, which may lie past the directories in use (the slots between
  // stay empty); the count grows to cover it.
  HRESULT PutDirectory(DWORD index, LPCWSTR directory);

  StyleFileTypeArray m_fileTypes;
  JAccessObjectCache m_cache;
  StyleGrowableArray<LPWSTR> m_directories;  // owned texts; null for an empty slot
  DWORD m_directoryCount = 0;
  DWORD m_loading = 0;
};

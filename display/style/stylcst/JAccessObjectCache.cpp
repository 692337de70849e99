#include "display/style/stylcst/JAccessObjectCache.h"

#include <ole2.h>
#include <oleauto.h>

#include <cwchar>
#include <cwctype>

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/StyleReport.h"
#include "display/style/styllib/StyleText.h"

// ---- the Scripting runtime's FileSystemObject, as far as the cache calls it ----

constexpr CLSID CLSID_FileSystemObject = {0x0D43FE01, 0xF093, 0x11CF, {0x89, 0x40, 0x00, 0xA0, 0xC9, 0x05, 0x42, 0x28}};
constexpr IID IID_IFileSystem = {0x0AB5A3D0, 0xE5B6, 0x11D0, {0xAB, 0xF5, 0x00, 0xA0, 0xC9, 0x0F, 0xFF, 0xC0}};
constexpr LONG kTemporaryFolder = 2;

// The interfaces have external linkage: inside an unnamed namespace, where no class implements them, the
// compiler would take every call through them for one that cannot happen.
struct IScriptingFolder : public IDispatch {
  // 7: the folder's full path.
  virtual HRESULT STDMETHODCALLTYPE get_Path(BSTR* path) = 0;
};

// Slots 7 to 27 of the dual interface; the operations not called are known by their place only.
struct IScriptingFileSystem : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE NotCalled7() = 0;
  virtual HRESULT STDMETHODCALLTYPE BuildPath(BSTR path, BSTR name, BSTR* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled9() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled10() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled11() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled12() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled13() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled14() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTempName(BSTR* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled16() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled17() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled18() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled19() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled20() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled21() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSpecialFolder(LONG which, IScriptingFolder** folder) = 0;
  // 23 and 27: DeleteFile and CopyFile, named apart from the platform's macros of those names.
  virtual HRESULT STDMETHODCALLTYPE RemoveFile(BSTR filePath, VARIANT_BOOL force) = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled24() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled25() = 0;
  virtual HRESULT STDMETHODCALLTYPE NotCalled26() = 0;
  virtual HRESULT STDMETHODCALLTYPE CopyOneFile(BSTR source, BSTR destination, VARIANT_BOOL overwrite) = 0;
};

namespace {

constexpr char kSource[] = "JSCACHE";

// A BSTR released when it goes out of scope.
class StyleBstr {
 public:
  StyleBstr() = default;
  explicit StyleBstr(LPCWSTR text) : m_text(SysAllocString(text)) {}
  ~StyleBstr() { SysFreeString(m_text); }
  StyleBstr(const StyleBstr&) = delete;
  StyleBstr& operator=(const StyleBstr&) = delete;
  BSTR Get() const { return m_text; }
  BSTR* Put() {
    SysFreeString(m_text);
    m_text = nullptr;
    return &m_text;
  }

 private:
  BSTR m_text = nullptr;
};

HRESULT GetFileSystem(IScriptingFileSystem** out) {
  StyleComPtr<IUnknown> object;
  HRESULT hr = CoCreateInstance(CLSID_FileSystemObject, nullptr, CLSCTX_ALL, IID_IUnknown, object.PutVoid());
  if (FAILED(hr)) return hr;
  hr = OleRun(object.Get());
  if (FAILED(hr)) return hr;
  return object->QueryInterface(IID_IFileSystem, reinterpret_cast<void**>(out));
}

// Copies the file to a new name in the temporary folder; *copy is that name (runtime heap).
HRESULT CopyToTemporaryFolder(LPCWSTR path, LPWSTR* copy) {
  *copy = nullptr;
  StyleComPtr<IScriptingFileSystem> files;
  HRESULT hr = GetFileSystem(files.Put());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IScriptingFolder> folder;
  hr = files->GetSpecialFolder(kTemporaryFolder, folder.Put());
  if (FAILED(hr)) return REPORT(hr);
  if (!folder) return REPORT(E_FAIL);
  StyleBstr folderPath, tempName, full;
  hr = folder->get_Path(folderPath.Put());
  if (FAILED(hr)) return REPORT(hr);
  hr = files->GetTempName(tempName.Put());
  if (FAILED(hr)) return REPORT(hr);
  hr = files->BuildPath(folderPath.Get(), tempName.Get(), full.Put());
  if (FAILED(hr)) return REPORT(hr);
  if (!full.Get()) return REPORT(E_FAIL);
  StyleBstr source(path);
  if (!source.Get()) return REPORT(E_OUTOFMEMORY);
  hr = files->CopyOneFile(source.Get(), full.Get(), VARIANT_TRUE);
  if (FAILED(hr)) return REPORT(hr);
  *copy = StyleDupText(full.Get());
  if (!*copy) {
    StyleDeleteTempCopy(full.Get());
    return REPORT(E_OUTOFMEMORY);
  }
  return S_OK;
}

// The extension of the path's file part (after its last "."), or null when the file part has none.
LPCWSTR ExtensionOf(LPCWSTR path) {
  LPCWSTR dot = nullptr;
  for (LPCWSTR p = path; *p; ++p) {
    if (*p == L'.') dot = p;
    if (*p == L'\\' || *p == L'/') dot = nullptr;
  }
  return dot ? dot + 1 : nullptr;
}

}  // namespace

void StyleDeleteTempCopy(LPCWSTR path) {
  if (!path) return;
  StyleComPtr<IScriptingFileSystem> files;
  if (SUCCEEDED(GetFileSystem(files.Put()))) {
    StyleBstr filePath(path);
    if (filePath.Get() && SUCCEEDED(files->RemoveFile(filePath.Get(), VARIANT_TRUE))) return;
  }
  // Without the runtime the copy must not stay behind all the same.
  SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(path);
}

HRESULT StyleOpenWithTempCopy(LPCWSTR path, IJSLAccess* accessor, LPWSTR* tempCopy) {
  *tempCopy = nullptr;
  if (SUCCEEDED(accessor->Open(path))) return S_OK;
  LPWSTR copy = nullptr;
  HRESULT hr = CopyToTemporaryFolder(path, &copy);
  if (FAILED(hr)) return hr;
  hr = accessor->Open(copy);
  if (FAILED(hr)) {
    // Nothing holds a copy that did not open: left behind it would only fill the temporary folder.
    StyleDeleteTempCopy(copy);
    StyleFreeText(copy);
    return hr;
  }
  *tempCopy = copy;
  return S_OK;
}

JAccessObjectCache::~JAccessObjectCache() {
  for (DWORD i = m_entries.Size(); i-- > 0;) {
    Entry& entry = m_entries[i];
    // The accessor lets go of the file before its copy can be deleted.
    if (entry.accessor) entry.accessor->Release();
    StyleDeleteTempCopy(entry.tempCopy);
    StyleFreeText(entry.tempCopy);
    StyleFreeText(entry.path);
  }
}

HRESULT JAccessObjectCache::GetAccessor(LPCWSTR name, IJStyleSearchPath* searchPath,
                                        const StyleFileTypeArray& fileTypes, IJSLAccess** out) {
  if (!name || !searchPath || !out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  WCHAR path[MAX_PATH] = L"";
  HRESULT hr = searchPath->FindFile(name, path, nullptr, nullptr);
  if (FAILED(hr)) return hr;
  for (WCHAR* p = path; *p; ++p) *p = static_cast<WCHAR>(std::towupper(*p));
  for (DWORD i = m_entries.Size(); i-- > 0;) {
    if (std::wcscmp(m_entries[i].path, path) == 0) {
      *out = m_entries[i].accessor;
      (*out)->AddRef();
      return S_OK;
    }
  }
  hr = CreateAccessor(fileTypes, path, out);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT JAccessObjectCache::CreateAccessor(const StyleFileTypeArray& fileTypes, LPCWSTR path, IJSLAccess** out) {
  LPCWSTR extension = ExtensionOf(path);
  if (!extension) return REPORT(E_INVALIDARG);
  const CLSID* clsid = nullptr;
  for (DWORD i = fileTypes.Size(); i-- > 0 && !clsid;) {
    if (std::wcscmp(fileTypes[i].extension, extension) == 0) clsid = fileTypes[i].clsid;
  }
  if (!clsid) return E_INVALIDARG;
  StyleComPtr<IJSLAccess> accessor;
  HRESULT hr = CreateInProcessInstance(*clsid, IID_IJSLAccess, accessor.PutVoid());
  if (FAILED(hr)) return hr;
  if (!accessor) return E_NOINTERFACE;
  LPWSTR tempCopy = nullptr;
  hr = StyleOpenWithTempCopy(path, accessor.Get(), &tempCopy);
  if (FAILED(hr)) return hr;

  Entry entry{StyleDupText(path), accessor.Get(), tempCopy};
  const DWORD at = m_entries.Size();
  if (!entry.path || !m_entries.SetSize(at + 1)) {
    StyleFreeText(entry.path);
    accessor.Reset();
    StyleDeleteTempCopy(tempCopy);
    StyleFreeText(tempCopy);
    return REPORT(E_OUTOFMEMORY);
  }
  entry.accessor->AddRef();
  m_entries[at] = entry;
  *out = accessor.Detach();
  return S_OK;
}

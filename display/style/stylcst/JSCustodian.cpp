#include "display/style/stylcst/JSCustodian.h"

#include <cwchar>
#include <cwctype>

#include "display/style/server.h"
#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylcst/JEnumSearchPath.h"
#include "display/style/styllib/JSymbolDescriptor.h"
#include "display/style/styllib/StyleNameMap.h"
#include "display/style/styllib/StyleReport.h"
#include "display/style/styllib/StyleText.h"

namespace {

constexpr char kSource[] = "JSCUSTOD";

// Extensions are kept in a four-character buffer with its terminator.
constexpr std::size_t kLongestExtension = 3;
// FindFile's answer for an absolute name found as it is.
constexpr DWORD kNoDirectory = 0xFFFFFFFF;

bool IsFile(LPCWSTR path) {
  const DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Paths and names of MAX_PATH characters or more do not fit the buffers files are found in.
bool FitsPath(LPCWSTR text) { return wcsnlen(text, MAX_PATH) < MAX_PATH; }

// What the walk of a file's names copies into.
struct NameCopyContext {
  StyleNameMap* names;
  IUnknown* fileLibrary;  // the library of the file, when its accessor leads to it; no reference of its own
};

// The style's owning library, with a reference; null when the style has none or does not say.
IUnknown* OwnerOf(JSymbolDescriptor* descriptor, IUnknown** style) {
  *style = nullptr;
  if (FAILED(descriptor->QueryStyle(IID_IUnknown, reinterpret_cast<void**>(style))) || !*style) return nullptr;
  StyleComPtr<IJManageStyle2> manage;
  IUnknown* owner = nullptr;
  if (SUCCEEDED((*style)->QueryInterface(IID_IJManageStyle2, manage.PutVoid()))) manage->GetOwner(&owner);
  return owner;
}

// A name of the file's library goes into the target table unless the table knows it already: the document's
// own styles and the files earlier on the list win. The copy keeps the file's library and the style's owner
// alive, since the file itself may be closed long before the document lets go of its names.
HRESULT WINAPI CopyNameDescriptor(JSymbolDescriptor* descriptor, void* context) {
  const NameCopyContext* copy = static_cast<const NameCopyContext*>(context);
  if (!descriptor) return E_INVALIDARG;
  LPCWSTR name = nullptr;
  HRESULT hr = descriptor->GetName(&name);
  if (FAILED(hr) || !name) return hr;
  if (copy->names->Exists(name)) return S_OK;

  StyleTypeRecord* type = nullptr;
  LPCWSTR auxText = nullptr;
  if (FAILED(hr = descriptor->GetTypeRecord(&type)) || FAILED(hr = descriptor->GetAuxText(&auxText))) return hr;
  StyleComPtr<IUnknown> style;
  StyleComPtr<IUnknown> owner(OwnerOf(descriptor, style.Put()));
  IUnknown* keep[2] = {copy->fileLibrary, owner.Get()};
  if (keep[0] == keep[1]) keep[1] = nullptr;
  JSymbolDescriptor* shared = JSymbolDescriptor::CreateKeeping(type, style.Get(), name, auxText, keep);
  if (!shared) return REPORT(E_OUTOFMEMORY);
  shared->AddRef();
  hr = copy->names->Add(shared);
  shared->Release();
  return hr;
}

}  // namespace

JSCustodian::JSCustodian(IUnknown* outer) : UUnknown(outer), m_fileTypes(8), m_directories(8) {
  IncrementLiveObjectCount();
  // One empty slot to start with; no directory in use.
  m_directories.SetSize(1);
}

JSCustodian::~JSCustodian() {
  for (DWORD i = 0; i < m_fileTypes.Size(); ++i) StyleFreeText(m_fileTypes[i].extension);
  for (DWORD i = 0; i < m_directories.Size(); ++i) StyleFreeText(m_directories[i]);
  DecrementLiveObjectCount();
}

HRESULT JSCustodian::Init() {
  HRESULT hr = UUnknown::Init();
  if (FAILED(hr)) return hr;
  // Only the memory can be missing for the first extension; RegisterFileType reports it.
  return m_IJSCustodianImp.RegisterFileType(&CLSID_HostRscAccess, L"RSC");
}

void* JSCustodian::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJSCustodian)) return &m_IJSCustodianImp;
  if (IsEqualIID(iid, IID_IJStyleSearchPath)) return &m_IJStyleSearchPathImp;
  return UUnknown::GetInterface(iid);
}

const char* JSCustodian::GetClassName() { return "JSCustodian"; }

LPCWSTR JSCustodian::DirectoryAt(DWORD index) const {
  if (index >= m_directoryCount) return nullptr;
  return m_directories[index] ? m_directories[index] : L"";
}

HRESULT JSCustodian::PutDirectory(DWORD index, LPCWSTR directory) {
  if (index == 0xFFFFFFFF) return E_INVALIDARG;
  if (index >= m_directories.Size() && !m_directories.SetSize(index + 1)) return E_OUTOFMEMORY;
  if (!StyleReplaceText(&m_directories[index], directory)) return E_OUTOFMEMORY;
  if (index >= m_directoryCount) m_directoryCount = index + 1;
  return S_OK;
}

HRESULT JSCustodian::LoadStyleFile(LPCWSTR name, const GUID* type, StyleNameMap* names) {
  StyleComPtr<IJSLAccess> accessor;
  HRESULT hr = m_cache.GetAccessor(name, &m_IJStyleSearchPathImp, m_fileTypes, accessor.Put());
  // A file of another version stops the loading; any other file that cannot be had is passed over.
  if (hr == E_ACCESSDENIED) return hr;
  if (FAILED(hr)) return S_OK;

  StyleComPtr<IUnknown> fileLibrary;
  StyleComPtr<IJDocument2> document;
  if (SUCCEEDED(accessor->QueryInterface(IID_IJDocument2, document.PutVoid()))) {
    document->GetLibraryInterface(IID_IUnknown, fileLibrary.PutVoid());
  }
  NameCopyContext context{names, fileLibrary.Get()};
  hr = accessor->EnumTypeItems(type, &CopyNameDescriptor, &context);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

// ---- IJSCustodian ----

HRESULT STDMETHODCALLTYPE JSCustodian::IJSCustodianImp::LoadLibraries(const GUID* type, IUnknown* resourceList,
                                                                     StyleNameMap* names) {
  if (!type) return REPORT(E_INVALIDARG);
  if (!resourceList) return S_OK;
  if (!names) return REPORT(E_INVALIDARG);
  JSCustodian* custodian = Object();
  StyleComPtr<IJStyleResourceList> list;
  HRESULT hr = resourceList->QueryInterface(IID_IJStyleResourceList, list.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  // A list without names has no enumerator to give.
  StyleComPtr<IUnknown> made;
  StyleComPtr<IEnumString> files;
  if (FAILED(list->NewEnum(0, made.Put())) || !made ||
      FAILED(made->QueryInterface(IID_IEnumString, files.PutVoid()))) {
    return S_OK;
  }

  // A file's own library may ask while it is being opened: it finds the custodian loading and loads nothing.
  const DWORD wasLoading = custodian->m_loading;
  custodian->m_loading = 1;
  for (;;) {
    LPOLESTR name = nullptr;
    ULONG fetched = 0;
    hr = files->Next(1, &name, &fetched);
    if (hr != S_OK || fetched != 1) {
      if (name && fetched == 1) CoTaskMemFree(name);
      break;
    }
    hr = name ? custodian->LoadStyleFile(name, type, names) : S_OK;
    CoTaskMemFree(name);
    if (FAILED(hr)) break;
  }
  custodian->m_loading = wasLoading;
  if (FAILED(hr)) return REPORT(hr);
  return S_OK;
}

DWORD STDMETHODCALLTYPE JSCustodian::IJSCustodianImp::IsLoading() { return Object()->m_loading; }

HRESULT STDMETHODCALLTYPE JSCustodian::IJSCustodianImp::RegisterFileType(const CLSID* clsid, LPCWSTR extension) {
  if (!clsid || !extension) return REPORT(E_INVALIDARG);
  const std::size_t length = wcsnlen(extension, kLongestExtension + 1);
  if (length == 0 || length > kLongestExtension) return REPORT(E_INVALIDARG);
  WCHAR upper[kLongestExtension + 1] = {};
  for (std::size_t i = 0; i < length; ++i) upper[i] = static_cast<WCHAR>(std::towupper(extension[i]));
  StyleFileTypeArray& types = Object()->m_fileTypes;
  for (DWORD i = 0; i < types.Size(); ++i) {
    if (std::wcscmp(types[i].extension, upper) == 0) return REPORT(E_INVALIDARG);
  }
  LPWSTR copy = StyleDupText(upper);
  const DWORD at = types.Size();
  if (!copy || !types.SetSize(at + 1)) {
    StyleFreeText(copy);
    return REPORT(E_OUTOFMEMORY);
  }
  types[at] = StyleFileType{copy, clsid};
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JSCustodian::IJSCustodianImp::UnregisterFileType(LPCWSTR extension) {
  if (!extension) return S_OK;
  StyleFileTypeArray& types = Object()->m_fileTypes;
  for (DWORD i = types.Size(); i-- > 0;) {
    if (std::wcscmp(types[i].extension, extension) != 0) continue;
    StyleFreeText(types[i].extension);
    types.RemoveAt(i);
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JSCustodian::IJSCustodianImp::LookupFileType(BOOL* found, CLSID* clsid,
                                                                      LPCWSTR extension) {
  if (!found || !clsid || !extension) return REPORT(E_INVALIDARG);
  *found = FALSE;
  const StyleFileTypeArray& types = Object()->m_fileTypes;
  for (DWORD i = types.Size(); i-- > 0;) {
    if (std::wcscmp(types[i].extension, extension) == 0) {
      *clsid = *types[i].clsid;
      *found = TRUE;
      break;
    }
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JSCustodian::IJSCustodianImp::CopyFileTypes(StyleFileTypeTable* out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = StyleFileTypeTable{};
  const StyleFileTypeArray& types = Object()->m_fileTypes;
  StyleFileTypeTable copy{nullptr, 0, types.Size(), types.GrowBy()};
  if (types.Size() > 0) {
    copy.elements = static_cast<StyleFileType*>(CoTaskMemAlloc(types.Size() * sizeof(StyleFileType)));
    if (!copy.elements) return REPORT(E_OUTOFMEMORY);
  }
  for (; copy.count < types.Size(); ++copy.count) {
    const std::size_t units = std::wcslen(types[copy.count].extension) + 1;
    auto* extension = static_cast<LPWSTR>(CoTaskMemAlloc(units * sizeof(WCHAR)));
    if (!extension) {
      FreeStyleFileTypes(&copy);
      return REPORT(E_OUTOFMEMORY);
    }
    std::wmemcpy(extension, types[copy.count].extension, units);
    copy.elements[copy.count] = StyleFileType{extension, types[copy.count].clsid};
  }
  *out = copy;
  return S_OK;
}

// ---- IJStyleSearchPath ----

HRESULT STDMETHODCALLTYPE JSCustodian::IJStyleSearchPathImp::Enum(DWORD, IEnumString** out) {
  if (!out) return E_INVALIDARG;
  JSCustodian* custodian = Object();
  *out = JEnumSearchPath::Create(custodian, 0, custodian->m_directoryCount);
  return *out ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE JSCustodian::IJStyleSearchPathImp::FindFile(LPCWSTR name, LPWSTR path, DWORD* byteSize,
                                                                     DWORD* index) {
  if (!name) return REPORT(E_INVALIDARG);
  if (!FitsPath(name)) return E_INVALIDARG;
  const JSCustodian* custodian = Object();
  WCHAR found[MAX_PATH] = L"";
  DWORD at = kNoDirectory;
  const bool absolute = (name[0] == L'\\' && name[1] == L'\\') || (name[0] && name[1] == L':');
  if (absolute && IsFile(name)) {
    std::wcscpy(found, name);
  } else {
    LPCWSTR part = std::wcsrchr(name, L'\\');
    part = part ? part + 1 : name;
    for (DWORD i = 0; i < custodian->m_directoryCount && *part; ++i) {
      LPCWSTR directory = custodian->m_directories[i];
      if (!directory || !*directory) continue;
      const std::size_t length = std::wcslen(directory);
      const bool separated = directory[length - 1] == L'\\';
      if (length + !separated + std::wcslen(part) >= MAX_PATH) continue;
      std::wcscpy(found, directory);
      if (!separated) std::wcscat(found, L"\\");
      std::wcscat(found, part);
      if (IsFile(found)) {
        at = i;
        break;
      }
    }
    if (at == kNoDirectory) return E_INVALIDARG;
  }
  if (path) std::wcscpy(path, found);
  if (byteSize) *byteSize = static_cast<DWORD>((std::wcslen(found) + 1) * sizeof(WCHAR));
  if (index) *index = at;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JSCustodian::IJStyleSearchPathImp::GetAt(DWORD index, LPWSTR buffer, DWORD* byteSize) {
  LPCWSTR directory = Object()->DirectoryAt(index);
  if ((!buffer && !byteSize) || !directory) return REPORT(E_INVALIDARG);
  // Without its size a buffer cannot be known to hold the directory.
  if (!byteSize) return REPORT(E_INVALIDARG);
  const HRESULT hr = StyleCopyTextOut(directory, buffer, byteSize);
  // A copy answers the bytes it took.
  if (hr == S_OK && buffer) *byteSize = static_cast<DWORD>((std::wcslen(directory) + 1) * sizeof(WCHAR));
  return hr;
}

HRESULT STDMETHODCALLTYPE JSCustodian::IJStyleSearchPathImp::SetAt(DWORD index, LPCWSTR directory) {
  if (!directory || !FitsPath(directory)) return E_INVALIDARG;
  const HRESULT hr = Object()->PutDirectory(index, directory);
  if (hr == E_OUTOFMEMORY) REPORT(hr);
  return hr;
}

HRESULT STDMETHODCALLTYPE JSCustodian::IJStyleSearchPathImp::Add(LPCWSTR directory, DWORD* index) {
  if (!directory || !FitsPath(directory)) return E_INVALIDARG;
  JSCustodian* custodian = Object();
  const DWORD at = custodian->m_directoryCount;
  const HRESULT hr = custodian->PutDirectory(at, directory);
  if (FAILED(hr)) return REPORT(hr);
  if (index) *index = at;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JSCustodian::IJStyleSearchPathImp::InsertAt(DWORD index, LPCWSTR directory) {
  if (!directory || !FitsPath(directory)) return E_INVALIDARG;
  JSCustodian* custodian = Object();
  // Past the directories in use an insert is a store there.
  if (index >= custodian->m_directoryCount) return SetAt(index, directory);
  LPWSTR copy = StyleDupText(directory);
  if (!copy || !custodian->m_directories.InsertGap(index)) {
    StyleFreeText(copy);
    return REPORT(E_OUTOFMEMORY);
  }
  custodian->m_directories[index] = copy;
  ++custodian->m_directoryCount;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JSCustodian::IJStyleSearchPathImp::Remove(LPCWSTR directory, DWORD* index) {
  if (!directory) return E_INVALIDARG;
  JSCustodian* custodian = Object();
  for (DWORD i = 0; i < custodian->m_directoryCount; ++i) {
    LPCWSTR candidate = custodian->m_directories[i];
    if (!candidate || std::wcscmp(candidate, directory) != 0) continue;
    if (index) *index = i;
    return RemoveAt(i);
  }
  return E_INVALIDARG;
}

HRESULT STDMETHODCALLTYPE JSCustodian::IJStyleSearchPathImp::RemoveAt(DWORD index) {
  JSCustodian* custodian = Object();
  if (index >= custodian->m_directoryCount) return REPORT(E_INVALIDARG);
  StyleFreeText(custodian->m_directories[index]);
  custodian->m_directories[index] = nullptr;
  custodian->m_directories.RemoveAt(index);
  --custodian->m_directoryCount;
  return S_OK;
}

#include "tests/bases/recording_librarian.h"

#include <cwchar>

#include "host/halvorn/halvorn.h"

namespace {

std::string Narrow(LPCWSTR text) {
  std::string out;
  for (; text && *text; ++text) out += static_cast<char>(*text);
  return text ? out : "null";
}

LPWSTR CopyText(const std::wstring& text) {
  if (text.empty()) return nullptr;
  auto* copy = new wchar_t[text.size() + 1];
  std::wmemcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

}  // namespace

RecordingLibrarian* RecordingLibrarian::Create() { return new RecordingLibrarian; }

RecordingLibrarian::~RecordingLibrarian() {
  std::vector<Entry> entries;
  entries.swap(m_entries);
  for (Entry& entry : entries) {
    if (entry.object) entry.object->Release();
  }
}

ULONG STDMETHODCALLTYPE RecordingLibrarian::Release() {
  const ULONG refs = --m_refs;
  if (refs == 0) delete this;
  return refs;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IJSLLibrarian) || IsEqualIID(iid, IID_IJSLLibrarian2)) {
    *out = static_cast<IJSLLibrarian*>(this);
  } else if (IsEqualIID(iid, IID_IJSLWorkShop)) {
    *out = static_cast<IJSLWorkShop*>(this);
  } else if (offersServices && IsEqualIID(iid, IID_IJSLManageStyleServices)) {
    *out = static_cast<IJSLManageStyleServices*>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

HRESULT RecordingLibrarian::Enter(const char* operation, DWORD argument) {
  return EnterWith(operation, std::to_string(argument));
}

HRESULT RecordingLibrarian::EnterWith(const char* operation, const std::string& arguments) {
  TakeInMarks();
  log.push_back(std::string(operation) + "(" + arguments + ")");
  auto failure = failures.find(operation);
  return failure == failures.end() ? S_OK : failure->second;
}

void RecordingLibrarian::TakeInMarks() {
  if (!logsMarks) return;
  const LONG count = HostNotificationCount();
  if (count < m_marksSeen) m_marksSeen = 0;  // the test cleared the engine's log
  for (; m_marksSeen < count; ++m_marksSeen) {
    HostNotification notice{};
    if (HostGetNotification(m_marksSeen, &notice) && notice.kind == HOST_MARK_MODIFIED &&
        notice.object == static_cast<IJSLLibrarian*>(this)) {
      log.push_back("MarkObjectModified");
    }
  }
}

const std::vector<std::string>& RecordingLibrarian::Calls() {
  TakeInMarks();
  return log;
}

DWORD RecordingLibrarian::IdOf(IUnknown* object) const {
  if (!object) return 0;
  IUnknown* identity = nullptr;
  if (FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)))) return 0;
  identity->Release();
  for (std::size_t i = 0; i < m_entries.size(); ++i) {
    if (m_entries[i].object == identity) return static_cast<DWORD>(i) + firstID;
  }
  return 0;
}

DWORD RecordingLibrarian::FindByName(const std::wstring& name) const {
  for (std::size_t i = 0; i < m_entries.size(); ++i) {
    if (!name.empty() && m_entries[i].name == name) return static_cast<DWORD>(i) + firstID;
  }
  return 0;
}

DWORD RecordingLibrarian::Add(IUnknown* style, const wchar_t* name, DWORD parentID, bool persisted) {
  Entry entry;
  style->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&entry.object));
  if (name) entry.name = name;
  entry.type = STYLETYPE_Linear;
  entry.parentID = parentID;
  entry.persisted = persisted;
  m_entries.push_back(entry);
  const DWORD id = Count() - 1 + firstID;
  IJManageStyle2* manage = nullptr;
  if (SUCCEEDED(style->QueryInterface(IID_IJManageStyle2, reinterpret_cast<void**>(&manage)))) {
    manage->SetLibrarian(Librarian());
    manage->SetID(id);
    manage->Release();
  }
  return id;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::GetStyle(DWORD id, IUnknown** out) {
  HRESULT hr = Enter("GetStyle", id);
  if (FAILED(hr)) return hr;
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!Valid(id)) return E_FAIL;
  *out = At(id).object;
  (*out)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::AddRefStyleID(DWORD id) {
  HRESULT hr = Enter("AddRefStyleID", id);
  if (FAILED(hr) || id == 0) return hr;
  if (!Valid(id)) return E_INVALIDARG;
  ++EntryOf(id).useCount;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::ReleaseStyleID(DWORD id) {
  HRESULT hr = Enter("ReleaseStyleID", id);
  if (FAILED(hr) || id == 0) return hr;
  if (!Valid(id)) return E_INVALIDARG;
  if (EntryOf(id).useCount > 0) --EntryOf(id).useCount;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::FindStyleID(IUnknown* object, DWORD* id) {
  HRESULT hr = Enter("FindStyleID", 0);
  if (FAILED(hr)) return hr;
  *id = 0;
  if (!object) return E_FAIL;
  *id = IdOf(object);
  return *id ? S_OK : E_FAIL;
}

// As the library does: a style it holds answers its ID; a named style of another library is found by name;
// any other style is copied in.
HRESULT STDMETHODCALLTYPE RecordingLibrarian::GetStyleID(IUnknown* object, DWORD* id) {
  HRESULT hr = Enter("GetStyleID", 0);
  if (FAILED(hr)) return hr;
  *id = 0;
  if (!object) return S_OK;
  if ((*id = IdOf(object)) != 0) return S_OK;
  IJManageStyle2* manage = nullptr;
  hr = object->QueryInterface(IID_IJManageStyle2, reinterpret_cast<void**>(&manage));
  if (FAILED(hr)) return hr;
  IUnknown* owner = nullptr;
  IJSLLibrarian* source = nullptr;
  if (SUCCEEDED(manage->GetOwner(&owner)) && owner) {
    owner->QueryInterface(IID_IJSLLibrarian, reinterpret_cast<void**>(&source));
    owner->Release();
  }
  if (source) {
    DWORD sourceID = 0;
    StyleRecord* record = nullptr;
    if (SUCCEEDED(source->FindStyleID(object, &sourceID)) &&
        SUCCEEDED(source->GetStyleRecord(sourceID, &record))) {
      if (record->name) *id = FindByName(record->name);
      source->FreeStyleRecord(&record);
    }
  }
  hr = S_OK;
  if (*id == 0) hr = manage->CopyStyleToLibrary(source, Librarian(), nullptr, id);
  if (source) source->Release();
  manage->Release();
  return hr;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::GetStyleRecord(DWORD id, StyleRecord** out) {
  HRESULT hr = Enter("GetStyleRecord", id);
  if (FAILED(hr)) return hr;
  if (!out || *out || !Valid(id)) return E_FAIL;
  const Entry& entry = At(id);
  auto* record = new StyleRecord{};
  record->name = CopyText(entry.name);
  record->auxText = CopyText(entry.second);
  record->styleObject = entry.object;
  record->styleObject->AddRef();
  record->type = new GUID(entry.type);
  record->parentID = entry.parentID;
  *out = record;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::FreeStyleRecord(StyleRecord** record) {
  HRESULT hr = Enter("FreeStyleRecord", 0);
  if (FAILED(hr)) return hr;
  if (!record || !*record) return E_INVALIDARG;
  delete[] (*record)->name;
  delete[] (*record)->auxText;
  if ((*record)->styleObject) (*record)->styleObject->Release();
  delete (*record)->type;
  delete *record;
  *record = nullptr;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::AddStyle(StyleRecord* record, DWORD* id) {
  HRESULT hr = Enter("AddStyle", 0);
  if (FAILED(hr)) return hr;
  *id = 0;
  if (addGivesNoID) return S_OK;
  if (!record || !record->styleObject) return E_INVALIDARG;
  if (record->name) {
    if (const DWORD existing = FindByName(record->name)) {
      if (At(existing).persisted) *id = existing;
      return E_FAIL;
    }
  }
  *id = Add(record->styleObject, record->name, record->parentID, false);
  if (record->type) EntryOf(*id).type = *record->type;
  if (record->auxText) EntryOf(*id).second = record->auxText;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::GetUseCount(DWORD id, DWORD* n) {
  HRESULT hr = Enter("GetUseCount", id);
  if (FAILED(hr)) return hr;
  if (!Valid(id)) return E_INVALIDARG;
  *n = At(id).useCount;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::GetFlags(DWORD* value) {
  HRESULT hr = Enter("GetFlags", 0);
  if (FAILED(hr)) return hr;
  *value = flags;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::SetFlags(DWORD value) {
  HRESULT hr = Enter("SetFlags", value);
  if (FAILED(hr)) return hr;
  flags = value;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::CopyStyleFromLibrary(DWORD id, IUnknown* otherLibrary, DWORD* newID) {
  HRESULT hr = Enter("CopyStyleFromLibrary", id);
  if (FAILED(hr)) return hr;
  *newID = 0;
  if (!otherLibrary) return E_FAIL;
  IJSLLibrarian* other = nullptr;
  hr = otherLibrary->QueryInterface(IID_IJSLLibrarian, reinterpret_cast<void**>(&other));
  if (FAILED(hr)) return hr;
  StyleRecord* record = nullptr;
  hr = other->GetStyleRecord(id, &record);
  if (SUCCEEDED(hr)) {
    // Only named styles are found again here; an unnamed one is copied by its referring style.
    if (record->name) *newID = FindByName(record->name);
    other->FreeStyleRecord(&record);
  }
  other->Release();
  if (FAILED(hr)) return hr;
  return *newID ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::GetPersistedStyleName(DWORD id, LPWSTR* name) {
  HRESULT hr = Enter("GetPersistedStyleName", id);
  if (FAILED(hr)) return hr;
  if (Valid(id) && At(id).persisted && !At(id).name.empty()) *name = const_cast<LPWSTR>(At(id).name.c_str());
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::GetStyleCount(DWORD* n) {
  HRESULT hr = Enter("GetStyleCount", 0);
  if (FAILED(hr)) return hr;
  *n = styleCount ? styleCount : Count();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::IsDeletedSlot(DWORD id) {
  HRESULT hr = Enter("IsDeletedSlot", id);
  if (FAILED(hr)) return hr;
  const auto listed = slotAnswers.find(id);
  if (listed != slotAnswers.end()) return listed->second;
  return Valid(id) ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::GetParentID(DWORD id, DWORD* parent) {
  HRESULT hr = Enter("GetParentID", id);
  if (FAILED(hr)) return hr;
  *parent = 0;
  if (!Valid(id)) return E_FAIL;
  *parent = At(id).parentID;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::SetParentID(DWORD id, DWORD parent) {
  HRESULT hr = Enter("SetParentID", id);
  if (FAILED(hr)) return hr;
  if (!Valid(id) || (parent != 0 && !Valid(parent))) return E_FAIL;
  EntryOf(id).parentID = parent;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::FindStyleIDByName2(LPCWSTR name, const GUID* type, DWORD* id) {
  HRESULT hr = Enter("FindStyleIDByName2", 0);
  if (FAILED(hr)) return hr;
  *id = 0;
  if (!name || !type) return E_FAIL;
  for (DWORD i = firstID; Valid(i); ++i) {
    const Entry& entry = At(i);
    if (entry.persisted && entry.name == name && IsEqualGUID(entry.type, *type)) *id = i;
  }
  return *id ? S_OK : E_FAIL;
}

DWORD RecordingLibrarian::FindByNameOfType(LPCWSTR name, const GUID& type) const {
  for (DWORD i = firstID; name && *name && Valid(i); ++i) {
    const Entry& entry = At(i);
    if (_wcsicmp(entry.name.c_str(), name) == 0 && IsEqualGUID(entry.type, type)) return i;
  }
  return 0;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::FindStyleIDByName(LPCWSTR name, const GUID* type, DWORD* id) {
  HRESULT hr = EnterWith("FindStyleIDByName", Narrow(name));
  if (FAILED(hr)) return hr;
  *id = type ? FindByNameOfType(name, *type) : 0;
  return *id ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::RenameStyle(DWORD id, LPCWSTR name, DWORD force) {
  HRESULT hr = EnterWith("RenameStyle", std::to_string(id) + ", " + Narrow(name) + ", " + std::to_string(force));
  if (FAILED(hr)) return hr;
  if (!Valid(id) || !name) return E_FAIL;
  if (!force && FindByNameOfType(name, At(id).type) != 0) return E_FAIL;
  EntryOf(id).name = name;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::ReplaceStyle(DWORD id, IUnknown* object) {
  HRESULT hr = Enter("ReplaceStyle", id);
  if (FAILED(hr)) return hr;
  if (!Valid(id) || !object) return E_FAIL;
  IUnknown* identity = nullptr;
  object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
  EntryOf(id).object->Release();
  EntryOf(id).object = identity;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::SetStyleNameString(LPCWSTR name, const GUID* type, LPCWSTR text) {
  HRESULT hr = EnterWith("SetStyleNameString", Narrow(name) + ", " + Narrow(text));
  if (FAILED(hr)) return hr;
  if (!name || !type) return E_INVALIDARG;
  const DWORD id = FindByNameOfType(name, *type);
  if (id == 0) return E_FAIL;
  EntryOf(id).second = text ? text : L"";
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::GetWorkbench(DWORD id, BOOL forceNew, IWorkbenchAdmin** out) {
  HRESULT hr = EnterWith("GetWorkbench", std::to_string(id) + ", " + std::to_string(forceNew));
  if (FAILED(hr)) return hr;
  *out = nullptr;
  const auto found = workbenches.find(id);
  if (forceNew || found == workbenches.end()) return E_FAIL;
  return found->second->QueryInterface(IID_IWorkbenchAdmin, reinterpret_cast<void**>(out));
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::ForgetWorkbench(DWORD id) {
  HRESULT hr = Enter("ForgetWorkbench", id);
  if (FAILED(hr)) return hr;
  workbenches.erase(id);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::RegisterWorkbench(DWORD id, IUnknown* workbench) {
  HRESULT hr = Enter("RegisterWorkbench", id);
  if (FAILED(hr)) return hr;
  if (!workbench) return E_INVALIDARG;
  workbenches[id] = workbench;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingLibrarian::MoveWorkbench(DWORD newID, DWORD oldID, IUnknown* workbench) {
  HRESULT hr = EnterWith("MoveWorkbench", std::to_string(newID) + ", " + std::to_string(oldID));
  if (FAILED(hr)) return hr;
  if (!workbench) return E_INVALIDARG;
  workbenches.erase(oldID);
  workbenches[newID] = workbench;
  return S_OK;
}

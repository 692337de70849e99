// JStyleLib's IJSLLibrarian: how the host, the styles and other libraries use a style library.
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/styllib/JStyleEnum.h"
#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/JStyleNewEnum.h"
#include "display/style/styllib/JSymbolDescriptor.h"
#include "display/style/styllib/StyleNameMap.h"
#include "display/style/styllib/StyleText.h"
#include "display/style/styllib/StyleReport.h"

namespace {

constexpr char kSource[] = "JSTYLLIB";


// The name is not in the type's name table.
constexpr HRESULT kNameNotInTable = 0x40221;

using Imp = JStyleLib::IJSLLibrarianImp;

}  // namespace

HRESULT STDMETHODCALLTYPE Imp::GetStyle(DWORD id, IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  StyleEntry* entry = Object()->GetEntry(id);
  if (!entry) return E_FAIL;
  *out = entry->styleObject;
  (*out)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::AddRefStyleID(DWORD id) { return Object()->AddRefStyleID(id); }

HRESULT STDMETHODCALLTYPE Imp::ReleaseStyleID(DWORD id) { return Object()->ReleaseStyleID(id); }

HRESULT STDMETHODCALLTYPE Imp::AddRefStyleID2(DWORD id) { return Object()->AddRefStyleID2(id); }

HRESULT STDMETHODCALLTYPE Imp::ReleaseStyleID2(DWORD id) { return Object()->ReleaseStyleID2(id); }

HRESULT STDMETHODCALLTYPE Imp::GetStyleID(IUnknown* object, DWORD* id) {
  if (!id) return E_INVALIDARG;
  *id = 0;
  if (!object) return S_OK;
  if (SUCCEEDED(FindStyleID(object, id))) return S_OK;
  *id = 0;

  // A style of another library: known here by its name, or copied in.
  StyleComPtr<IJManageStyle2> manage;
  StyleComPtr<IJSLLibrarian> source;
  if (SUCCEEDED(object->QueryInterface(IID_IJManageStyle2, manage.PutVoid()))) {
    StyleComPtr<IUnknown> owner;
    if (SUCCEEDED(manage->GetOwner(owner.Put())) && owner) {
      owner->QueryInterface(IID_IJSLLibrarian2, source.PutVoid());
    }
  }
  if (source) {
    DWORD sourceID = 0;
    HRESULT hr = source->FindStyleID(object, &sourceID);
    if (FAILED(hr)) return hr;
    StyleRecord* record = nullptr;
    hr = source->GetStyleRecord(sourceID, &record);
    if (FAILED(hr)) return REPORT(hr);
    DWORD named = 0;
    if (record->name && record->type) FindOrAddName(record->name, record->type, &named);
    source->FreeStyleRecord(&record);
    if (named != 0) {
      *id = named;
      return S_OK;
    }
  }

  JStyleLib* library = Object();
  if (!library->DocumentBacked()) return E_FAIL;
  if (!manage) return REPORT(E_NOINTERFACE);
  StyleComPtr<IJDocumentNamedObjects> document;
  HRESULT hr = library->GetDocument(document.Put());
  if (FAILED(hr)) return REPORT(hr);
  return manage->CopyStyleToLibrary(source.Get(), this, document.Get(), id);
}

HRESULT STDMETHODCALLTYPE Imp::FindStyleID(IUnknown* object, DWORD* id) {
  if (!id) return E_INVALIDARG;
  *id = 0;
  if (!object) return E_FAIL;
  StyleComPtr<IUnknown> identity;
  if (FAILED(object->QueryInterface(IID_IUnknown, identity.PutVoid()))) return E_FAIL;
  JStyleLib* library = Object();
  for (DWORD i = 1; i <= library->HighestID(); ++i) {
    const StyleEntry* entry = library->GetEntry(i);
    if (entry && entry->styleObject == identity.Get()) {
      *id = i;
      return S_OK;
    }
  }
  return E_FAIL;
}

HRESULT STDMETHODCALLTYPE Imp::GetStyleRecord(DWORD id, StyleRecord** out) {
  if (!out) return E_INVALIDARG;
  if (*out) return E_FAIL;
  const StyleEntry* entry = Object()->GetEntry(id);
  if (!entry) return E_FAIL;
  const StyleTypeRecord* type = Object()->Types().At(entry->typeIndex);
  auto* record = static_cast<StyleRecord*>(std::calloc(1, sizeof(StyleRecord)));
  if (!record) return REPORT(E_OUTOFMEMORY);
  record->name = StyleDupText(entry->name);
  record->auxText = StyleDupText(entry->auxText);
  record->type = static_cast<GUID*>(std::malloc(sizeof(GUID)));
  if ((entry->name && !record->name) || (entry->auxText && !record->auxText) || !record->type) {
    FreeStyleRecord(&record);
    return REPORT(E_OUTOFMEMORY);
  }
  *record->type = type ? type->type : GUID_NULL;
  record->styleObject = entry->styleObject;
  record->styleObject->AddRef();
  record->parentID = entry->parentID;
  record->entryFlags = entry->entryFlags;
  *out = record;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::FreeStyleRecord(StyleRecord** record) {
  if (!record || !*record) return E_INVALIDARG;
  StyleRecord* r = *record;
  *record = nullptr;
  StyleFreeText(r->name);
  StyleFreeText(r->auxText);
  if (r->styleObject) r->styleObject->Release();
  std::free(r->type);
  std::free(r);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::AddStyle(StyleRecord* record, DWORD* id) {
  return Object()->AddStyleCore(record, id, TRUE);
}

HRESULT STDMETHODCALLTYPE Imp::AddStyleNoCreate(StyleRecord* record, DWORD* id) {
  return Object()->AddStyleCore(record, id, FALSE);
}

HRESULT STDMETHODCALLTYPE Imp::FindOrAddName(LPCWSTR name, const GUID* type, DWORD* id) {
  if (!id) return E_INVALIDARG;
  *id = 0;
  if (!name || !type) return E_INVALIDARG;
  JStyleLib* library = Object();
  WORD index = 0;
  if (library->Types().FindType(*type, &index)) {
    if (SUCCEEDED(library->FindIDByName(index, name, id))) return S_OK;
    *id = 0;
    if (!library->Types().CallNameMap(index, name)) return kNameNotInTable;
  } else {
    HRESULT hr = library->Types().AddType(*type, 0, 0, IID_NULL, &index);
    if (FAILED(hr)) return REPORT(hr);
  }
  return library->AddNameEntry(index, name, type, id);
}

HRESULT STDMETHODCALLTYPE Imp::SetActiveStyleID(const GUID* type, DWORD id) {
  JStyleLib* library = Object();
  WORD index = 0;
  if (!type || !library->IsValidID(id) || !library->Types().FindType(*type, &index)) return E_FAIL;
  StyleTypeRecord* record = library->Types().At(index);
  const DWORD old = record->activeID;
  if (old == id) return S_OK;
  HRESULT hr = library->AddRefStyleID(id);
  if (FAILED(hr)) return REPORT(hr);
  record->activeID = id;
  if (old != kNoStyleID) library->ReleaseStyleID(old);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetParentID(DWORD id, DWORD* parent) {
  if (!parent) return E_INVALIDARG;
  *parent = 0;
  const JStyleLib* library = Object();
  if (!library->IsValidID(id)) return E_FAIL;
  *parent = library->EntryAt(id)->parentID;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetParentID(DWORD id, DWORD parent) {
  JStyleLib* library = Object();
  if (!library->IsValidID(id) || (parent != 0 && !library->IsValidID(parent))) return E_FAIL;
  // The style may not become its own ancestor.
  DWORD current = parent;
  for (DWORD steps = 0; current != 0 && steps <= library->HighestID(); ++steps) {
    if (current == id) return E_FAIL;
    const StyleEntry* entry = library->EntryAt(current);
    current = entry ? entry->parentID : 0;
  }
  if (current != 0) return E_FAIL;  // a loop further up
  library->EntryAt(id)->parentID = parent;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::LoadResourceStyleNames() { return Object()->LoadResourceStyleNames(); }

HRESULT STDMETHODCALLTYPE Imp::GetTypeNameMap(GUID type, StyleNameMap** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  WORD index = 0;
  if (!Object()->Types().FindType(type, &index)) return E_FAIL;
  *out = Object()->Types().At(index)->names;
  return S_OK;
}

// ---- counts ----

namespace {

template <class Pred>
DWORD CountEntries(const JStyleLib* library, Pred pred) {
  DWORD n = 0;
  for (DWORD i = 1; i <= library->HighestID(); ++i) {
    if (pred(*library->EntryAt(i))) ++n;
  }
  return n;
}

bool IsFreeEntry(const StyleEntry& e) { return !e.name && e.persistentID == kPersistentIDNone; }

}  // namespace

HRESULT STDMETHODCALLTYPE Imp::GetNamedStyleCount(DWORD* n) {
  if (!n) return E_INVALIDARG;
  *n = CountEntries(Object(), [](const StyleEntry& e) { return e.name != nullptr; });
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetStyleCount(DWORD* n) {
  if (!n) return E_INVALIDARG;
  *n = CountEntries(Object(), [](const StyleEntry& e) { return !IsFreeEntry(e); });
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetNamedStyleCountOfType(const GUID* type, DWORD* n) {
  if (!n) return E_INVALIDARG;
  *n = 0;
  WORD index = 0;
  if (!type || !Object()->Types().FindType(*type, &index)) return E_FAIL;
  *n = CountEntries(Object(), [index](const StyleEntry& e) { return e.name && e.typeIndex == index; });
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetTypeNameCount(const GUID* type, DWORD* n) {
  if (!n) return E_INVALIDARG;
  *n = 0;
  WORD index = 0;
  if (!type || !Object()->Types().FindType(*type, &index)) return E_FAIL;
  const StyleTypeRecord* record = Object()->Types().At(index);
  if (record->names) record->names->GetCount(n);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetKeptStyleCount(DWORD* n) {
  if (!n) return E_INVALIDARG;
  *n = CountEntries(Object(), [](const StyleEntry& e) { return e.persistentID != kPersistentIDNone; });
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetUnkeptStyleCount(DWORD* n) {
  if (!n) return E_INVALIDARG;
  *n = CountEntries(Object(), [](const StyleEntry& e) {
    return !IsFreeEntry(e) && e.persistentID == kPersistentIDNone;
  });
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetTypeCount(DWORD* n) {
  if (!n) return E_INVALIDARG;
  *n = Object()->Types().Count();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetTypeGUID(WORD index, GUID* out) {
  if (!out) return E_INVALIDARG;
  const StyleTypeRecord* record = Object()->Types().At(index);
  if (!record) return E_FAIL;
  *out = record->type;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetLiveCount(DWORD* n) {
  if (!n) return E_INVALIDARG;
  *n = Object()->m_liveCount;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetUseCount(DWORD id, DWORD* n) {
  if (!n || !Object()->IsValidID(id)) return E_INVALIDARG;
  *n = Object()->EntryAt(id)->useCount;
  return S_OK;
}

// ---- lookups by name ----

HRESULT STDMETHODCALLTYPE Imp::FindStyleIDByName(LPCWSTR name, const GUID* type, DWORD* id) {
  if (!id) return E_INVALIDARG;
  *id = 0;
  WORD index = 0;
  JStyleLib* library = Object();
  if (!type || !library->Types().FindType(*type, &index) || library->HighestID() == 0) return E_FAIL;
  return library->FindIDByName(index, name, id);
}

HRESULT STDMETHODCALLTYPE Imp::FindStyleIDByName2(LPCWSTR name, const GUID* type, DWORD* id) {
  if (!id) return E_INVALIDARG;
  *id = 0;
  WORD index = 0;
  if (!type || !Object()->Types().FindType(*type, &index)) return E_FAIL;
  return Object()->FindIDByNameLoading(index, name, id);
}

HRESULT STDMETHODCALLTYPE Imp::IsDeletedSlot(DWORD id) {
  const JStyleLib* library = Object();
  if (!library->IsValidID(id)) return E_FAIL;
  return library->EntryAt(id)->persistentID == kPersistentIDReleased ? S_FALSE : S_OK;
}

// ---- types, flags and settings ----

HRESULT STDMETHODCALLTYPE Imp::RegisterType(GUID type, DWORD activeID, DWORD defaultID, GUID iid) {
  if (Object()->Types().FindType(type, nullptr)) return S_OK;
  HRESULT hr = Object()->Types().AddType(type, activeID, defaultID, iid, nullptr);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT STDMETHODCALLTYPE Imp::GetFlags(DWORD* flags) {
  if (!flags) return E_INVALIDARG;
  *flags = Object()->m_libraryFlags;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetFlags(DWORD flags) {
  Object()->m_libraryFlags = flags;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetLibraryValue(DWORD* value) {
  if (!value) return E_INVALIDARG;
  *value = Object()->m_libraryValue;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetDocumentBacked(BYTE backed) {
  Object()->m_documentBacked = backed;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetLibraryDocumentObject(IUnknown** out) {
  return Object()->GetLibraryDocumentObject(out);
}

HRESULT STDMETHODCALLTYPE Imp::NameChanged(DWORD) { return Object()->NameChanged(); }

// ---- operations the table keeps a place for ----

HRESULT STDMETHODCALLTYPE Imp::NotOffered16(DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE Imp::NoEffect41(DWORD, DWORD) { return S_OK; }
HRESULT STDMETHODCALLTYPE Imp::NoEffect42(DWORD, DWORD) { return S_OK; }
HRESULT STDMETHODCALLTYPE Imp::NotOffered44(DWORD, DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE Imp::NotOffered45(DWORD, DWORD, DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE Imp::NoEffect49(DWORD) { return S_OK; }

// ---- names ----

namespace {

// Neither the style nor any ancestor has a name.
constexpr HRESULT kNoNameFound = 0x40223;
// The name is unknown to FindOrCreateStyleID.
constexpr HRESULT kNameUnknown = static_cast<HRESULT>(0x80040221);
// The name already names a style of the target type.
constexpr HRESULT kNameTakenInType = static_cast<HRESULT>(0x80040228);

}  // namespace

HRESULT JStyleLib::AddNameEntry(WORD typeIndex, LPCWSTR name, const GUID* type, DWORD* id) {
  StyleRecord record{};
  record.name = const_cast<LPWSTR>(name);
  record.type = const_cast<GUID*>(type);
  return AddEntry(typeIndex, &record, FALSE, id);
}

HRESULT STDMETHODCALLTYPE Imp::FindOrCreateStyleID(LPCWSTR name, const GUID* type, DWORD* id) {
  if (!id) return E_INVALIDARG;
  *id = 0;
  if (!name || !type) return E_INVALIDARG;
  JStyleLib* library = Object();
  WORD index = 0;
  if (!library->Types().FindType(*type, &index)) {
    HRESULT hr = library->Types().AddType(*type, 0, 0, IID_NULL, &index);
    if (FAILED(hr)) return REPORT(hr);
    return library->AddNameEntry(index, name, type, id);
  }
  DWORD existing = 0;
  if (SUCCEEDED(library->FindIDByName(index, name, &existing))) {
    const HRESULT inDocument = library->CheckInDocument(existing);
    if (SUCCEEDED(inDocument)) {
      *id = existing;
      return S_OK;
    }
    // An entry whose object the document lost: unused, it makes way for the name; in use, it stays.
    if (library->EntryAt(existing)->useCount != 0) return inDocument;
    library->RemoveEntry(existing);
    DWORD still = 0;
    if (SUCCEEDED(library->FindIDByName(index, name, &still))) return inDocument;  // the type's active style
  }
  if (!library->Types().CallNameMap(index, name)) return kNameUnknown;
  return library->AddNameEntry(index, name, type, id);
}

HRESULT STDMETHODCALLTYPE Imp::GetStyleName(DWORD id, LPWSTR buffer, DWORD* length) {
  if (!length) return E_INVALIDARG;
  const DWORD capacity = *length;
  *length = 0;
  const JStyleLib* library = Object();
  if (!library->IsValidID(id)) return E_FAIL;
  // At most highestID steps: a stored loop of parents must not hold the walk.
  const StyleEntry* entry = library->EntryAt(id);
  for (DWORD steps = 0; !entry->name; ++steps) {
    if (entry->parentID == 0 || steps >= library->HighestID()) return kNoNameFound;
    entry = library->EntryAt(entry->parentID);
    if (!entry) return kNoNameFound;
  }
  const DWORD needed = static_cast<DWORD>(wcslen(entry->name)) + 1;
  *length = needed;
  if (buffer && needed <= capacity) memcpy(buffer, entry->name, needed * sizeof(WCHAR));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::RenameStyle(DWORD id, LPCWSTR name, DWORD force) {
  JStyleLib* library = Object();
  if (!library->IsValidID(id) || !name) return E_FAIL;
  // An entry named by nothing would count as named while no name finds it.
  if (!*name) return E_INVALIDARG;
  StyleEntry& entry = *library->EntryAt(id);
  StyleTypeRecord* type = library->TypeOf(entry);
  if (!type || !type->names) return REPORT(E_FAIL);
  // The editing classes rely on this failure to tell their user that the name is taken.
  if (!force && type->names->Exists(name)) return REPORT(E_FAIL);
  if (entry.persistentID == kPersistentIDNone || !entry.name) return E_FAIL;
  LPWSTR newName = StyleDupText(name);
  if (!newName) return REPORT(E_OUTOFMEMORY);
  HRESULT hr = type->names->Remove(entry.name);
  if (FAILED(hr)) {
    StyleFreeText(newName);
    return REPORT(hr);
  }
  LPWSTR oldName = entry.name;
  entry.name = newName;
  StyleFreeText(oldName);
  hr = library->FileName(entry, entry.styleObject);
  if (FAILED(hr)) return REPORT(hr);
  return library->NameChanged();
}

HRESULT STDMETHODCALLTYPE Imp::RemoveStyle(DWORD id) {
  JStyleLib* library = Object();
  if (!library->IsValidID(id)) return E_FAIL;
  StyleEntry& entry = *library->EntryAt(id);
  StyleTypeRecord* type = library->TypeOf(entry);
  if (type && type->activeID == id) return S_OK;
  if (entry.useCount == 0) return library->RemoveEntry(id);
  // In use: the style stays and only its name goes.
  if (!entry.name) return S_FALSE;
  // A name without a document object is all the entry is: without it the slot would count as free while in
  // use, and be handed out again.
  if (entry.persistentID == kPersistentIDNone) return REPORT(E_FAIL);
  if (type && type->names) type->names->Remove(entry.name);
  LPWSTR name = entry.name;
  entry.name = nullptr;
  StyleFreeText(name);
  return library->NameChanged();
}

HRESULT STDMETHODCALLTYPE Imp::RemoveStyleByName(LPCWSTR name, const GUID* type) {
  DWORD id = 0;
  HRESULT hr = FindOrCreateStyleID(name, type, &id);
  if (FAILED(hr)) return hr;
  return RemoveStyle(id);
}

HRESULT STDMETHODCALLTYPE Imp::DropStyleName(DWORD id) {
  JStyleLib* library = Object();
  if (!library->IsValidID(id)) return E_FAIL;
  StyleEntry& entry = *library->EntryAt(id);
  if (StyleTypeRecord* type = library->TypeOf(entry); type && type->names && entry.name) {
    type->names->Remove(entry.name);
  }
  DropEntryContents(&entry);
  library->ClearRenderCacheOf(id);
  library->CountFreedSlot(id);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetStyleNameString(LPCWSTR name, const GUID* type, LPCWSTR text) {
  JStyleLib* library = Object();
  WORD index = 0;
  if (!name || !type || !library->Types().FindType(*type, &index)) return E_INVALIDARG;
  DWORD id = 0;
  if (FAILED(library->FindIDByName(index, name, &id))) return E_FAIL;
  LPWSTR newText = StyleDupText(text);
  if (text && !newText) return REPORT(E_OUTOFMEMORY);
  StyleEntry& entry = *library->EntryAt(id);
  if (StyleNameMap* names = library->Types().At(index)->names) {
    JSymbolDescriptor* descriptor = nullptr;
    if (SUCCEEDED(names->Find(name, &descriptor)) && !descriptor->SetAuxText(text)) {
      StyleFreeText(newText);
      return REPORT(E_OUTOFMEMORY);
    }
  }
  LPWSTR oldText = entry.auxText;
  entry.auxText = newText;
  StyleFreeText(oldText);
  return S_OK;
}

// ---- active and default styles ----

HRESULT STDMETHODCALLTYPE Imp::GetActiveStyleID(const GUID* type, DWORD* id, BYTE create) {
  if (!id) return E_INVALIDARG;
  *id = 0;
  JStyleLib* library = Object();
  WORD index = 0;
  if (!type || !library->Types().FindType(*type, &index)) return S_OK;
  StyleTypeRecord* record = library->Types().At(index);
  if (record->activeID != 0 || !create) {
    *id = record->activeID;
    return S_OK;
  }
  for (DWORD i = 1; i <= library->HighestID(); ++i) {
    const StyleEntry& entry = *library->EntryAt(i);
    if (entry.typeIndex != index || !entry.name) continue;
    HRESULT hr = library->AddRefStyleID(i);
    if (FAILED(hr)) return REPORT(hr);
    record->activeID = i;
    *id = i;
    return S_OK;
  }
  DWORD made = 0;
  HRESULT hr = library->MakeDefaultStyle(index, &made);
  if (FAILED(hr)) return REPORT(hr);
  if (made == 0) return S_FALSE;
  // Asked again, the library finds the default it made before equal to the new one and answers that: it is
  // already the type's default.
  if (made != record->defaultID) {
    hr = SetExceptionStyleID(record->type, made);
    if (FAILED(hr)) return REPORT(hr);
  }
  *id = made;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::SetExceptionStyleID(GUID type, DWORD id) {
  JStyleLib* library = Object();
  WORD index = 0;
  if (!library->IsValidID(id) || !library->Types().FindType(type, &index)) return E_FAIL;
  StyleTypeRecord* record = library->Types().At(index);
  const DWORD old = record->defaultID;
  if (old == id) return E_FAIL;
  HRESULT hr = library->AddRefStyleID(id);
  if (FAILED(hr)) return REPORT(hr);
  record->defaultID = id;
  if (old != kNoStyleID && old != kInvalidStyleID) library->ReleaseStyleID(old);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetExceptionStyleID(GUID type, DWORD* id) {
  if (!id) return E_INVALIDARG;
  *id = 0;
  JStyleLib* library = Object();
  WORD index = 0;
  if (!library->Types().FindType(type, &index)) return E_FAIL;
  const DWORD current = library->Types().At(index)->defaultID;
  if (current != 0) {
    *id = current;
    return S_OK;
  }
  DWORD made = 0;
  HRESULT hr = library->MakeDefaultStyle(index, &made);
  if (FAILED(hr)) return REPORT(hr);
  if (made == 0) return S_FALSE;
  hr = SetExceptionStyleID(type, made);
  if (FAILED(hr)) return REPORT(hr);
  *id = made;
  return S_OK;
}

// ---- types ----

HRESULT STDMETHODCALLTYPE Imp::SetTypeCategory(GUID type, GUID iid) {
  JStyleLib* library = Object();
  WORD index = 0;
  if (!library->Types().FindType(type, &index)) return E_FAIL;
  StyleTypeRecord* record = library->Types().At(index);
  record->category = iid;
  for (DWORD i = 1; i <= library->HighestID(); ++i) {
    StyleEntry& entry = *library->EntryAt(i);
    if (entry.typeIndex != index || !entry.styleObject || library->IsFreeSlot(i)) continue;
    IUnknown* old = entry.typedStyle;
    entry.typedStyle = library->TypedInterface(entry.styleObject, index);
    library->ClearRenderCacheOf(i);
    // The name's descriptor hands out the style under the type's interface too.
    if (entry.name && entry.persistentID != kPersistentIDNone && record->names) {
      JSymbolDescriptor* descriptor = nullptr;
      if (SUCCEEDED(record->names->Find(entry.name, &descriptor))) descriptor->SetStyle(entry.typedStyle);
    }
    if (old) old->Release();
  }
  return S_OK;
}

HRESULT JStyleLib::MoveToType(DWORD id, WORD target) {
  StyleEntry& entry = m_entries[id];
  if (entry.typeIndex == target) return S_OK;
  // The name goes with the style: a named style's object is found through its type's name table.
  if (entry.name) {
    if (StyleTypeRecord* from = TypeOf(entry); from && from->names) from->names->Remove(entry.name);
  }
  entry.typeIndex = target;
  if (entry.styleObject) {
    IUnknown* old = entry.typedStyle;
    entry.typedStyle = TypedInterface(entry.styleObject, target);
    ClearRenderCacheOf(id);
    if (old) old->Release();
  }
  if (entry.name) {
    HRESULT hr = FileName(entry, entry.typedStyle);
    if (FAILED(hr)) return REPORT(hr);
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::ChangeStyleType(DWORD id, const GUID* type) {
  JStyleLib* library = Object();
  if (!library->IsValidID(id) || library->EntryAt(id)->persistentID == kPersistentIDNone || !type) return E_FAIL;
  WORD target = 0;
  if (library->Types().FindType(*type, &target)) {
    DWORD other = 0;
    LPCWSTR name = library->EntryAt(id)->name;
    if (name && SUCCEEDED(library->FindIDByName(target, name, &other)) && other != id) return kNameTakenInType;
  } else {
    HRESULT hr = library->Types().AddType(*type, 0, 0, IID_NULL, &target);
    if (FAILED(hr)) return REPORT(hr);
  }
  HRESULT hr = library->MoveToType(id, target);
  if (FAILED(hr)) return hr;
  return library->NameChanged();
}

HRESULT STDMETHODCALLTYPE Imp::ResyncStyleTypes() {
  JStyleLib* library = Object();
  for (DWORD i = 1; i <= library->HighestID(); ++i) {
    if (library->EntryAt(i)->persistentID == kPersistentIDNone) continue;
    StyleEntry* entry = library->GetEntry(i);
    if (!entry) continue;
    StyleComPtr<IJManageStyle2> manage;
    GUID category{};
    if (FAILED(entry->styleObject->QueryInterface(IID_IJManageStyle2, manage.PutVoid())) ||
        FAILED(manage->GetStyleCategory(&category))) {
      continue;
    }
    WORD target = 0;
    if (!library->Types().FindType(category, &target)) {
      HRESULT hr = library->Types().AddType(category, 0, 0, IID_NULL, &target);
      if (FAILED(hr)) return REPORT(hr);
    }
    if (target == entry->typeIndex) continue;
    DWORD other = 0;
    if (entry->name && SUCCEEDED(library->FindIDByName(target, entry->name, &other))) {
      // The name is taken in the style's true type: the style keeps its place and loses the name.
      if (StyleTypeRecord* from = library->TypeOf(*entry); from && from->names) from->names->Remove(entry->name);
      LPWSTR name = entry->name;
      entry->name = nullptr;
      StyleFreeText(name);
    }
    HRESULT hr = library->MoveToType(i, target);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

// ---- enumerators ----

HRESULT STDMETHODCALLTYPE Imp::EnumStyles(const GUID*, IEnumUnknown** out) {
  if (!out) return E_FAIL;
  *out = nullptr;
  if (Object()->HighestID() == 0) return E_FAIL;
  *out = JStyleEnum::Create(Object());
  return *out ? S_OK : REPORT(E_OUTOFMEMORY);
}

HRESULT STDMETHODCALLTYPE Imp::NewEnumStyles(const GUID* type, IEnumUnknown** out) {
  if (!out) return E_FAIL;
  *out = nullptr;
  if (!type || Object()->HighestID() == 0) return E_FAIL;
  return FAILED(JStyleNewEnum::Create(Object(), *type, out)) ? E_FAIL : S_OK;
}

// ---- equal styles and copies between libraries ----

namespace {

// The first style of the library equal to the object, among the children of `parent` (any style for 0). A
// failing comparison is skipped, or, with `stopOnFailure`, answered.
HRESULT FindEqual(JStyleLib* library, IUnknown* object, DWORD parent, bool stopOnFailure, DWORD* id) {
  if (!id) return E_INVALIDARG;
  *id = 0;
  if (!object) return E_FAIL;
  StyleComPtr<IJManageStyle2> manage;
  HRESULT hr = object->QueryInterface(IID_IJManageStyle2, manage.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  for (DWORD i = 1; i <= library->HighestID(); ++i) {
    if (library->IsFreeSlot(i) || (parent != 0 && library->EntryAt(i)->parentID != parent)) continue;
    const StyleEntry* entry = library->GetEntry(i);
    if (!entry) continue;
    BOOL same = FALSE;
    hr = manage->IsSameStyle(entry->styleObject, &same);
    if (FAILED(hr) && stopOnFailure) return hr;
    if (SUCCEEDED(hr) && same) {
      *id = i;
      return S_OK;
    }
  }
  return S_OK;
}

}  // namespace

HRESULT STDMETHODCALLTYPE Imp::FindEqualStyleIDUnderParent(DWORD parent, IUnknown* object, DWORD* id) {
  DWORD ancestor = 0;
  Object()->NearestNamedAncestor(parent, &ancestor);
  return FindEqual(Object(), object, ancestor, false, id);
}

HRESULT STDMETHODCALLTYPE Imp::FindEqualStyleID(IUnknown* object, DWORD* id) {
  return FindEqual(Object(), object, 0, true, id);
}

HRESULT STDMETHODCALLTYPE Imp::CopyStyleTo(DWORD id, IUnknown* otherLibrary, DWORD* newID) {
  if (!newID) return E_INVALIDARG;
  *newID = 0;
  JStyleLib* library = Object();
  if (!library->IsValidID(id) || !otherLibrary) return E_FAIL;
  StyleComPtr<IJSLLibrarian> other;
  HRESULT hr = otherLibrary->QueryInterface(IID_IJSLLibrarian, other.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  const StyleEntry& entry = *library->EntryAt(id);
  if (entry.name) {
    GUID type = library->TypeOf(entry)->type;
    hr = other->FindOrCreateStyleID(entry.name, &type, newID);
  } else {
    const StyleEntry* loaded = library->GetEntry(id);
    if (!loaded) return REPORT(E_FAIL);
    hr = other->FindEqualStyleIDUnderParent(0, loaded->styleObject, newID);
  }
  if (FAILED(hr)) return hr;
  return *newID == 0 ? E_FAIL : hr;
}

HRESULT STDMETHODCALLTYPE Imp::CopyStyleFromLibrary(DWORD id, IUnknown* otherLibrary, DWORD* newID) {
  if (!newID) return E_INVALIDARG;
  *newID = 0;
  if (!otherLibrary) return E_FAIL;
  StyleComPtr<IJSLLibrarian> other;
  HRESULT hr = otherLibrary->QueryInterface(IID_IJSLLibrarian, other.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  StyleRecord* record = nullptr;
  hr = other->GetStyleRecord(id, &record);
  if (FAILED(hr) || !record) return REPORT(FAILED(hr) ? hr : E_FAIL);
  if (record->name) {
    hr = FindOrCreateStyleID(record->name, record->type, newID);
  } else {
    hr = FindEqualStyleIDUnderParent(0, record->styleObject, newID);
  }
  other->FreeStyleRecord(&record);
  if (FAILED(hr)) return hr;
  return *newID == 0 ? E_FAIL : hr;
}

// ---- replacing and removing styles ----

HRESULT STDMETHODCALLTYPE Imp::ReplaceStyle(DWORD id, IUnknown* object) {
  JStyleLib* library = Object();
  if (!library->IsValidID(id) || !object) return E_FAIL;
  return library->ReplaceEntryObject(id, object);
}

HRESULT STDMETHODCALLTYPE Imp::RemoveUnusedStyles(DWORD) {
  JStyleLib* library = Object();
  for (DWORD i = 1; i <= library->HighestID(); ++i) {
    if (library->IsFreeSlot(i) || library->EntryAt(i)->useCount != 0) continue;
    HRESULT hr = library->RemoveEntry(i);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::UpdateChildStyles(DWORD id) { return Object()->UpdateChildStyles(id); }

// JStyleLib's IJSLLibrarian: how the host, the styles and other libraries use a style library.
#include <cstdlib>

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/styllib/JStyleLib.h"
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
  StyleRecord record{};
  record.name = const_cast<LPWSTR>(name);
  record.type = const_cast<GUID*>(type);
  return library->AddEntry(index, &record, FALSE, id);
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

// ---- not built yet ----
// Names, active and exception styles, enumerators, copies between libraries, replacement and re-typing of
// styles come with the rest of the librarian; until then they answer E_NOTIMPL and hand out nothing.

namespace {

template <class T>
HRESULT NotBuilt(T* out) {
  if (out) *out = T{};
  return E_NOTIMPL;
}

}  // namespace

HRESULT STDMETHODCALLTYPE Imp::FindOrCreateStyleID(LPCWSTR, const GUID*, DWORD* id) { return NotBuilt(id); }
HRESULT STDMETHODCALLTYPE Imp::GetStyleName(DWORD, LPWSTR, DWORD* length) { return NotBuilt(length); }
HRESULT STDMETHODCALLTYPE Imp::RenameStyle(DWORD, LPCWSTR, DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE Imp::RemoveStyle(DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE Imp::RemoveStyleByName(LPCWSTR, const GUID*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE Imp::DropStyleName(DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE Imp::GetActiveStyleID(const GUID*, DWORD* id, BYTE) { return NotBuilt(id); }
HRESULT STDMETHODCALLTYPE Imp::SetTypeCategory(GUID, GUID) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE Imp::EnumStyles(const GUID*, IEnumUnknown** out) { return NotBuilt(out); }
HRESULT STDMETHODCALLTYPE Imp::NewEnumStyles(const GUID*, IEnumUnknown** out) { return NotBuilt(out); }
HRESULT STDMETHODCALLTYPE Imp::CopyStyleTo(DWORD, IUnknown*, DWORD* newID) { return NotBuilt(newID); }
HRESULT STDMETHODCALLTYPE Imp::SetExceptionStyleID(GUID, DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE Imp::GetExceptionStyleID(GUID, DWORD* id) { return NotBuilt(id); }
HRESULT STDMETHODCALLTYPE Imp::FindEqualStyleIDUnderParent(DWORD, IUnknown*, DWORD* id) { return NotBuilt(id); }
HRESULT STDMETHODCALLTYPE Imp::ReplaceStyle(DWORD, IUnknown*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE Imp::CopyStyleFromLibrary(DWORD, IUnknown*, DWORD* newID) { return NotBuilt(newID); }
HRESULT STDMETHODCALLTYPE Imp::RemoveUnusedStyles(DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE Imp::FindEqualStyleID(IUnknown*, DWORD* id) { return NotBuilt(id); }
HRESULT STDMETHODCALLTYPE Imp::UpdateChildStyles(DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE Imp::ChangeStyleType(DWORD, const GUID*) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE Imp::ResyncStyleTypes() { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE Imp::SetStyleNameString(LPCWSTR, const GUID*, LPCWSTR) { return E_NOTIMPL; }

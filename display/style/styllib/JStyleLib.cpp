#include "display/style/styllib/JStyleLib.h"

#include <initializer_list>

#include "display/style/server.h"
#include "display/style/stylbas/StyleCallDepth.h"
#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/JSymbolDescriptor.h"
#include "display/style/styllib/QuilletHook.h"
#include "display/style/styllib/StyleNameMap.h"
#include "display/style/styllib/StyleText.h"
#include "display/style/styllib/StyleReport.h"
#include "services/daxutil/daxutil.h"

namespace {

constexpr char kSource[] = "JSTYLLIB";


bool IsFree(const StyleEntry& entry) { return !entry.name && entry.persistentID == kPersistentIDNone; }
bool IsNamedAndPersisted(const StyleEntry& entry) { return entry.name && entry.persistentID != kPersistentIDNone; }

}  // namespace

HRESULT CreateOwnInstance(REFCLSID clsid, IUnknown* outer, REFIID iid, void** out) {
  *out = nullptr;
  StyleComPtr<IClassFactory> factory;
  HRESULT hr = GetClassObjectFromTable(GetStyleClassTable(), clsid, IID_IClassFactory, factory.PutVoid());
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(outer, iid, out);
}

namespace {

// A class the system relies on that cannot be made is a broken installation, worth a stop under the debugger.
HRESULT ReportFatalCreation(REFCLSID clsid, HRESULT hr, const char* source, int line) {
  if (RCfatalerr(clsid, 1, hr, source, line) != 0 && IsDebuggerPresent()) DebugBreak();
  return StyleReport(source, hr, line);
}

}  // namespace

HRESULT CreateOwnInstanceOrFatal(REFCLSID clsid, REFIID iid, void** out, const char* source, int line) {
  const HRESULT hr = CreateOwnInstance(clsid, nullptr, iid, out);
  return SUCCEEDED(hr) ? hr : ReportFatalCreation(clsid, hr, source, line);
}

HRESULT CreateInProcessInstance(REFCLSID clsid, REFIID iid, void** out) {
  const StyleClassRow* row = GetStyleClassTable().Find(clsid);
  if (row && row->create) return CreateOwnInstance(clsid, nullptr, iid, out);
  return JCoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out, 1);
}

HRESULT CreateInProcessInstanceOrFatal(REFCLSID clsid, REFIID iid, void** out, const char* source, int line) {
  const HRESULT hr = CreateInProcessInstance(clsid, iid, out);
  return SUCCEEDED(hr) ? hr : ReportFatalCreation(clsid, hr, source, line);
}

JStyleLib::JStyleLib(IUnknown* outer) : UUnknown(outer), m_entries(8), m_spareWords(8), m_hook(GetQuilletHook()) {
  IncrementLiveObjectCount();
}

HRESULT JStyleLib::Init() {
  HRESULT hr = UUnknown::Init();
  if (FAILED(hr)) return hr;
  if (!m_types.Reserve(10, 10) || !m_entries.SetSize(32, 32) || !m_spareWords.SetSize(32, 32)) {
    return REPORT(E_FAIL);
  }
  m_highestID = 0;
  if (m_hook) m_hook->LibraryCreated(Identity());
  return S_OK;
}

// The objects go while the library is still whole: a style released here may still reach it.
void JStyleLib::FinalRelease() {
  ClearLibrary();
  for (DWORD i = 0; i < m_sharedNames.Size(); ++i) m_sharedNames[i]->Release();
  m_sharedNames.RemoveAll();
  if (m_documentObject) {
    IUnknown* object = m_documentObject;
    m_documentObject = nullptr;
    object->Release();
  }
  if (m_workshop) {
    IUnknown* workshop = m_workshop;
    m_workshop = nullptr;
    workshop->Release();
  }
}

JStyleLib::~JStyleLib() {
  DecrementLiveObjectCount();
  if (m_hook) m_hook->LibraryDestroyed(Identity());
}

// ---- interfaces ----

void* JStyleLib::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJSLRender)) return &m_IJSLRenderImp;
  if (IsEqualIID(iid, IID_IJSLLibrarian) || IsEqualIID(iid, IID_IJSLLibrarian2)) return &m_IJSLLibrarianImp;
  if (IsEqualIID(iid, IID_IJPersist)) return &m_IJPersistImp;
  if (IsEqualIID(iid, IID_IJSLibAccess)) return &m_IJSLibAccessImp;
  if (IsEqualIID(iid, IID_IJSLWorkShop)) return &m_IJSLWorkShopImp;
  if (IsEqualIID(iid, IID_IJSLManageStyleServices)) return &m_IJSLManageStyleServicesImp;
  if (IsEqualIID(iid, IID_IJStyleConvertR1Elements)) return &m_IJStyleConvertR1ElementsImp;
  if (IsEqualIID(iid, IID_IJSLDocumentInterface)) {
    // The document answers it for the library; the document keeps the interface alive, so the library hands
    // it out without holding a reference of its own.
    StyleComPtr<IJDocumentNamedObjects> document;
    if (FAILED(GetDocument(document.Put()))) return nullptr;
    IUnknown* answer = nullptr;
    if (FAILED(document->QueryInterface(iid, reinterpret_cast<void**>(&answer))) || !answer) return nullptr;
    answer->Release();
    return answer;
  }
  return UUnknown::GetInterface(iid);
}

// The workshop is asked first for whatever the library does not answer itself. A workshop that cannot be made
// does not hide the library's own companions: those are answered all the same.
void* JStyleLib::GetAggregateInterface(REFIID iid) {
  void* out = nullptr;
  if (IUnknown* workshop = Workshop()) {
    if (SUCCEEDED(workshop->QueryInterface(iid, &out)) && out) return out;
    out = nullptr;
  }
  if (IsEqualIID(iid, IID_IJSLExtension)) {
    return SUCCEEDED(QueryLibraryExtension(Identity(), 0, &out)) ? out : nullptr;
  }
  IUnknown* companion = nullptr;
  if (IsEqualIID(iid, IID_IJStyleResourceList)) {
    companion = Companion(&m_resourceList, CLSID_JStyleResource);
  } else if (IsEqualIID(iid, IID_IJStyleUnitSettings)) {
    companion = Companion(&m_unitSettings, CLSID_JStyleUnit);
  }
  if (companion && SUCCEEDED(companion->QueryInterface(iid, &out)) && out) return out;
  return UUnknown::GetAggregateInterface(iid);
}

IUnknown* JStyleLib::Companion(IUnknown** slot, REFCLSID clsid) {
  if (*slot) return *slot;
  HRESULT hr = CreateOwnInstance(clsid, Identity(), IID_IUnknown, reinterpret_cast<void**>(slot));
  if (FAILED(hr)) {
    *slot = nullptr;
    REPORT(hr);
  }
  return *slot;
}

IUnknown* JStyleLib::Workshop() {
  if (m_workshop || m_makingWorkshop) return m_workshop;
  m_makingWorkshop = true;
  IUnknown* workshop = nullptr;
  HRESULT hr = CreateOwnInstance(CLSID_JStyleWorkshop, Identity(), IID_IUnknown, reinterpret_cast<void**>(&workshop));
  if (SUCCEEDED(hr)) {
    StyleComPtr<IJShopServices> services;
    hr = workshop->QueryInterface(IID_IJShopServices, services.PutVoid());
    if (SUCCEEDED(hr)) hr = services->ConnectLibrary();
  }
  m_makingWorkshop = false;
  if (FAILED(hr)) {
    REPORT(hr);
    if (workshop) workshop->Release();
    return nullptr;
  }
  m_workshop = workshop;
  return m_workshop;
}

HRESULT JStyleLib::GetDocument(IJDocumentNamedObjects** out) { return GetObjectDocument(Identity(), out); }

// ---- entries ----

bool JStyleLib::IsFreeSlot(DWORD id) const {
  const StyleEntry* entry = EntryAt(id);
  return !entry || IsFree(*entry);
}

bool JStyleLib::IsValidID(DWORD id) const {
  const StyleEntry* entry = EntryAt(id);
  return entry && !IsFree(*entry);
}

IUnknown* JStyleLib::TypedInterface(IUnknown* object, WORD typeIndex) const {
  IUnknown* typed = nullptr;
  const StyleTypeRecord* type = m_types.At(typeIndex);
  if (type && SUCCEEDED(object->QueryInterface(type->category, reinterpret_cast<void**>(&typed))) && typed) {
    return typed;
  }
  object->AddRef();
  return object;
}

HRESULT JStyleLib::AttachStyle(IUnknown* object, DWORD id) {
  StyleComPtr<IJManageStyle2> manage;
  if (FAILED(object->QueryInterface(IID_IJManageStyle2, manage.PutVoid()))) return S_OK;
  HRESULT hr = manage->SetLibrarian(Librarian());
  if (SUCCEEDED(hr)) hr = manage->SetID(id);
  return hr;
}

void JStyleLib::DropEntryContents(StyleEntry* entry) {
  LPWSTR name = entry->name;
  LPWSTR auxText = entry->auxText;
  IUnknown* typed = entry->typedStyle;
  IUnknown* object = entry->styleObject;
  const DWORD hold = entry->holdCount;
  *entry = StyleEntry{};
  entry->holdCount = hold;
  // Last: releasing a style may reach the library again, which must find the slot settled.
  StyleFreeText(name);
  StyleFreeText(auxText);
  if (typed) typed->Release();
  if (object) object->Release();
}

void JStyleLib::ClearRenderCacheOf(DWORD id) {
  if (m_renderCacheID != id) return;
  m_renderCacheID = 0;
  m_renderCacheStyle = nullptr;
}

void JStyleLib::CountFreedSlot(DWORD id) {
  if (m_liveCount) --m_liveCount;
  ++m_freeSlotCount;
  if (m_hook) QuilletAnswered(m_hook->EntryFreed(Identity(), id), __LINE__);
}

void JStyleLib::HookCount(DWORD id, DWORD count, bool hold) {
  if (!m_hook) return;
  const LONG answer = hold ? m_hook->HoldCountChanged(Identity(), id, count)
                           : m_hook->UseCountChanged(Identity(), id, count);
  QuilletAnswered(answer, __LINE__);
}

HRESULT JStyleLib::FileName(const StyleEntry& entry, IUnknown* style) {
  StyleTypeRecord* type = TypeOf(entry);
  if (!type || !type->names) return E_FAIL;
  if (type->names->Exists(entry.name) && FAILED(type->names->Remove(entry.name))) return E_FAIL;
  JSymbolDescriptor* descriptor = JSymbolDescriptor::Create(type, style, entry.name, entry.auxText);
  if (!descriptor) return E_FAIL;
  descriptor->AddRef();
  HRESULT hr = type->names->Add(descriptor);
  descriptor->Release();
  return FAILED(hr) ? E_FAIL : S_OK;
}

HRESULT JStyleLib::AddEntry(WORD typeIndex, const StyleRecord* record, BOOL create, DWORD* id) {
  if (!id) return E_INVALIDARG;
  *id = 0;
  if (!record || !m_types.At(typeIndex)) return REPORT(E_INVALIDARG);
  // A parent must be an entry of this library: every walk up the parents relies on it.
  if (create && record->parentID != 0 && !IsValidID(record->parentID)) return REPORT(E_INVALIDARG);

  HRESULT hr = MarkObjectModified(Identity());
  if (FAILED(hr)) return REPORT(hr);

  if ((m_libraryFlags & 1) && !create) return AddSharedStyle(record, typeIndex, id);

  StyleEntry entry{};
  entry.typeIndex = typeIndex;
  entry.entryFlags = record->entryFlags;
  entry.name = StyleDupText(record->name);
  entry.auxText = StyleDupText(record->auxText);
  if ((record->name && !entry.name) || (record->auxText && !entry.auxText)) {
    DropEntryContents(&entry);
    return REPORT(E_OUTOFMEMORY);
  }
  if (create) {
    if (!record->styleObject) {
      DropEntryContents(&entry);
      return REPORT(E_INVALIDARG);
    }
    hr = record->styleObject->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&entry.styleObject));
    if (FAILED(hr)) {
      DropEntryContents(&entry);
      return REPORT(hr);
    }
    entry.typedStyle = TypedInterface(entry.styleObject, typeIndex);
    if (!m_documentBacked) {
      entry.persistentID = kPersistentIDNoDocument;
    } else {
      StyleComPtr<IJDocumentNamedObjects> document;
      hr = GetDocument(document.Put());
      if (SUCCEEDED(hr)) hr = document->RegisterObject(entry.styleObject, &entry.persistentID, nullptr);
      // An object the document answers no ID for could never be fetched again.
      if (SUCCEEDED(hr) && entry.persistentID == kPersistentIDNone) hr = E_FAIL;
      if (FAILED(hr)) {
        DropEntryContents(&entry);
        return REPORT(hr);
      }
    }
    entry.parentID = record->parentID;
  }

  DWORD newID = 0;
  if (m_freeSlotCount > 0) {
    for (DWORD i = 1; i <= m_highestID; ++i) {
      if (IsFree(m_entries[i])) {
        newID = i;
        break;
      }
    }
  }
  const bool reused = newID != 0;
  if (!reused) {
    if (m_highestID >= kInvalidStyleID - 1) {
      DropEntryContents(&entry);
      return REPORT(E_FAIL);
    }
    newID = m_highestID + 1;
  }
  if (m_entries.Size() < newID + 1 && !m_entries.SetSize(newID + 1)) {
    DropEntryContents(&entry);
    return REPORT(E_OUTOFMEMORY);
  }
  if (reused) {
    --m_freeSlotCount;
  } else {
    m_highestID = newID;
  }
  m_entries[newID] = entry;
  if (entry.name || entry.persistentID != kPersistentIDNone) ++m_liveCount;
  *id = newID;
  if (m_hook) QuilletAnswered(m_hook->EntryAdded(Identity(), newID, &m_entries[newID]), __LINE__);

  // The entry is stored and holds its references: what fails from here on is reported, and the entry stays.
  if (create) {
    hr = NotifyEntryChange(record->styleObject);
    if (FAILED(hr)) REPORT(hr);
    if (m_entries[newID].name && FAILED(FileName(m_entries[newID], record->styleObject))) return REPORT(E_FAIL);
  }
  return S_OK;
}

HRESULT JStyleLib::LoadEntryObject(DWORD id) {
  if (!IsValidID(id)) return REPORT(E_INVALIDARG);
  if (m_entries[id].styleObject) return S_OK;
  if (!m_documentBacked) return REPORT(E_INVALIDARG);
  // Giving a fetched style its librarian may make it resolve its references, which may come back here.
  StyleCallDepth depth;
  if (!depth.Entered()) return REPORT(E_FAIL);

  const WORD typeIndex = m_entries[id].typeIndex;
  StyleTypeRecord* type = m_types.At(typeIndex);
  if (!type) return REPORT(E_FAIL);
  HRESULT hr;

  if (m_entries[id].persistentID == kPersistentIDNone) {
    // A name of the type's name table: the style behind the name.
    StyleComPtr<IUnknown> typed;
    hr = m_types.ForwardToStyle(typeIndex, m_entries[id].name, nullptr, typed.PutVoid());
    if (FAILED(hr)) return REPORT(hr);
    IUnknown* object = nullptr;
    hr = typed->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&object));
    if (FAILED(hr)) return REPORT(hr);
    JSymbolDescriptor* descriptor = nullptr;
    if (SUCCEEDED(type->names->Find(m_entries[id].name, &descriptor)) && FAILED(hr = KeepSharedName(descriptor))) {
      object->Release();
      return REPORT(hr);
    }
    StyleEntry& entry = m_entries[id];
    if (entry.typedStyle) entry.typedStyle->Release();
    entry.typedStyle = typed.Detach();
    entry.styleObject = object;
    return S_OK;
  }

  if (m_entries[id].persistentID == kPersistentIDReleased) return ReplaceWithDefaultObject(typeIndex, id);

  StyleComPtr<IJDocumentNamedObjects> document;
  hr = GetDocument(document.Put());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IUnknown> object;
  hr = document->FindObjectByID(m_entries[id].persistentID, IID_IUnknown, object.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  hr = AttachStyle(object.Get(), id);
  if (FAILED(hr)) return REPORT(hr);
  if (m_entries[id].styleObject) return S_OK;  // loaded meanwhile, by the style's own calls

  StyleComPtr<IUnknown> typed(TypedInterface(object.Get(), typeIndex));
  if (LPCWSTR name = m_entries[id].name) {
    // The name's descriptor hands out the object from now on.
    JSymbolDescriptor* descriptor = nullptr;
    if (!type->names || FAILED(type->names->Find(name, &descriptor))) return REPORT(E_FAIL);
    descriptor->SetStyle(typed.Get());
  }
  StyleEntry& entry = m_entries[id];
  if (entry.typedStyle) entry.typedStyle->Release();
  entry.typedStyle = typed.Detach();
  entry.styleObject = object.Detach();
  return S_OK;
}

HRESULT JStyleLib::KeepSharedName(JSymbolDescriptor* descriptor) {
  for (DWORD i = 0; i < m_sharedNames.Size(); ++i) {
    if (m_sharedNames[i] == descriptor) return S_OK;
  }
  const DWORD at = m_sharedNames.Size();
  if (!m_sharedNames.SetSize(at + 1)) return E_OUTOFMEMORY;
  descriptor->AddRef();
  m_sharedNames[at] = descriptor;
  return S_OK;
}

StyleEntry* JStyleLib::GetEntry(DWORD id) {
  if (!IsValidID(id)) return nullptr;
  if (!m_entries[id].styleObject && FAILED(LoadEntryObject(id))) return nullptr;
  return EntryAt(id);
}

HRESULT JStyleLib::FindIDByName(WORD typeIndex, LPCWSTR name, DWORD* id) const {
  if (!id) return E_INVALIDARG;
  *id = 0;
  if (!name) return E_FAIL;
  for (DWORD i = 1; i <= m_highestID; ++i) {
    const StyleEntry& entry = m_entries[i];
    if (entry.typeIndex == typeIndex && entry.name && StyleNamesEqual(entry.name, name)) {
      *id = i;
      return S_OK;
    }
  }
  return E_FAIL;
}

HRESULT JStyleLib::FindIDByNameLoading(WORD typeIndex, LPCWSTR name, DWORD* id) {
  if (!id) return E_INVALIDARG;
  *id = 0;
  if (!name) return E_FAIL;
  for (DWORD i = 1; i <= m_highestID; ++i) {
    const StyleEntry* entry = GetEntry(i);
    if (entry && entry->persistentID != kPersistentIDNone && entry->typeIndex == typeIndex && entry->name &&
        StyleNamesEqual(entry->name, name)) {
      *id = i;
      return S_OK;
    }
  }
  return E_FAIL;
}

HRESULT JStyleLib::NearestNamedAncestor(DWORD id, DWORD* out) const {
  if (!out) return E_INVALIDARG;
  *out = 0;
  // At most highestID steps: a stored loop of parents must not hold the walk.
  DWORD current = id;
  for (DWORD steps = 0; current != 0 && steps <= m_highestID; ++steps) {
    const StyleEntry* entry = EntryAt(current);
    if (!entry) return S_OK;
    if (entry->name) {
      *out = current;
      return S_OK;
    }
    current = entry->parentID;
  }
  return S_OK;
}

HRESULT JStyleLib::CheckInDocument(DWORD id) {
  const StyleEntry* entry = EntryAt(id);
  if (!entry) return E_FAIL;
  if (entry->persistentID == kPersistentIDNone || !m_documentBacked) return S_OK;
  StyleComPtr<IJDocumentNamedObjects> document;
  HRESULT hr = GetDocument(document.Put());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IUnknown> object;
  if (FAILED(document->FindObjectByID(entry->persistentID, IID_IUnknown, object.PutVoid())) || !object) return E_FAIL;
  return S_OK;
}

HRESULT JStyleLib::RemoveEntry(DWORD id) {
  if (!IsValidID(id)) return REPORT(E_FAIL);
  // A removed style releases the styles it refers to, which may lead back to this entry.
  if (m_entries[id].removing) return S_OK;
  const WORD typeIndex = m_entries[id].typeIndex;
  if (const StyleTypeRecord* type = m_types.At(typeIndex)) {
    if (type->activeID == id || type->defaultID == id) return S_OK;
  }
  m_entries[id].removing = 1;
  const bool hadName = m_entries[id].name != nullptr;
  HRESULT result = S_OK;

  // The object leaves the library and the document.
  if (m_entries[id].persistentID != kPersistentIDNone && m_documentBacked) {
    if (!m_entries[id].styleObject) LoadEntryObject(id);  // a style that cannot be fetched has nothing to tell
    // Held here: the document's release may drop the last reference but the entry's.
    IUnknown* held = m_entries[id].useCount == 0 ? m_entries[id].styleObject : nullptr;
    if (held) held->AddRef();
    StyleComPtr<IUnknown> object(held);
    if (object) {
      HRESULT hr = NotifyObjectRegistration(object.Get());
      if (FAILED(hr)) {
        m_entries[id].removing = 0;
        return REPORT(hr);
      }
      if (m_entries[id].holdCount == 0) {
        StyleComPtr<IJManageStyle2> manage;
        if (SUCCEEDED(object->QueryInterface(IID_IJManageStyle2, manage.PutVoid()))) {
          m_entries[id].entryFlags |= kEntryDetached;
          // The style's references are given back to this library, whose librarian travels in the word.
          manage->ReleaseStyleRefs(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(Librarian())));
        }
      }
      if (m_entries[id].persistentID != kPersistentIDReleased) {
        StyleComPtr<IJDocumentNamedObjects> document;
        hr = GetDocument(document.Put());
        if (SUCCEEDED(hr)) hr = ReleaseEntryInDocument(document.Get(), object.Get());
        if (SUCCEEDED(hr)) {
          StyleEntry& entry = m_entries[id];
          entry.persistentID = kPersistentIDReleased;
          if (StyleTypeRecord* type = TypeOf(entry); type && type->names && entry.name) type->names->Remove(entry.name);
          StyleFreeText(entry.name);
          entry.name = nullptr;
        } else {
          result = REPORT(hr);
        }
      }
    }
    StyleEntry& entry = m_entries[id];
    if (StyleTypeRecord* type = TypeOf(entry); type && type->names && entry.name) type->names->Remove(entry.name);
  }

  if (m_entries[id].holdCount == 0) {
    // The children move up to the removed style's parent. Its use count is raised while a workbench hears of
    // a move, so that nothing removes it meanwhile.
    const DWORD parent = m_entries[id].parentID;
    if (StyleEntry* p = parent ? EntryAt(parent) : nullptr) {
      if (p->useCount == 0 && p->persistentID != kPersistentIDReleased) {
        p->useCount = 1;
        HookCount(parent, 1, false);
      }
    }
    for (DWORD i = 1; i <= m_highestID; ++i) {
      if (i == id || m_entries[i].parentID != id) continue;
      if (i == parent) {
        m_entries[i].parentID = 0;
        continue;
      }
      if (parent != 0 && !(m_entries[i].entryFlags & kEntryDetached)) {
        if (m_entries[i].typeIndex == typeIndex) {
          ++m_entries[id].useCount;
          const HRESULT hr = ReparentChild(i, parent);
          if (FAILED(hr)) REPORT(hr);
          --m_entries[id].useCount;
        } else {
          m_entries[i].parentID = 0;
        }
      }
      const DWORD now = m_entries[i].parentID;
      if (now == id) {
        m_entries[i].parentID = parent;
      } else if (now != 0 && now != parent) {
        m_entries[i].parentID = 0;
      }
    }
  }

  if (m_entries[id].holdCount == 0) {
    DropEntryContents(&m_entries[id]);
    ClearRenderCacheOf(id);
    CountFreedSlot(id);
  } else {
    m_entries[id].removing = 0;
  }

  if (SUCCEEDED(result) && hadName) result = NameChanged();
  return result;
}

void JStyleLib::ClearLibrary() {
  for (DWORD i = 1; i <= m_highestID; ++i) {
    StyleEntry& entry = m_entries[i];
    LPWSTR name = entry.name;
    LPWSTR auxText = entry.auxText;
    IUnknown* typed = entry.typedStyle;
    IUnknown* object = entry.styleObject;
    entry.name = entry.auxText = nullptr;
    entry.typedStyle = entry.styleObject = nullptr;
    StyleFreeText(name);
    StyleFreeText(auxText);
    if (typed) typed->Release();
    if (object) object->Release();
  }
  m_types.RemoveAll();
  for (IUnknown** slot : {&m_resourceList, &m_unitSettings}) {
    if (IUnknown* companion = *slot) {
      *slot = nullptr;
      companion->Release();
    }
  }
  m_workbenches.RemoveAll();
  m_renderCacheID = 0;
  m_renderCacheStyle = nullptr;
  ResetEntryTable();
}

// ---- use counts ----

HRESULT JStyleLib::AddRefStyleID(DWORD id) {
  if (id == kNoStyleID) return S_OK;
  if (!IsValidID(id)) return REPORT(E_INVALIDARG);
  StyleEntry& entry = m_entries[id];
  ++entry.useCount;
  HookCount(id, entry.useCount, false);
  return S_OK;
}

HRESULT JStyleLib::ReleaseStyleID(DWORD id) {
  if (id == kNoStyleID) return S_OK;
  if (!IsValidID(id)) return REPORT(E_INVALIDARG);
  StyleEntry& entry = m_entries[id];
  if (entry.useCount > 0) {
    --entry.useCount;
    HookCount(id, entry.useCount, false);
  }
  if (entry.useCount == 0 && entry.holdCount == 0 && !IsNamedAndPersisted(entry)) return RemoveEntry(id);
  return S_OK;
}

HRESULT JStyleLib::AddRefStyleID2(DWORD id) {
  if (!IsValidID(id)) return REPORT(E_INVALIDARG);
  StyleEntry& entry = m_entries[id];
  ++entry.holdCount;
  HookCount(id, entry.holdCount, true);
  return S_OK;
}

HRESULT JStyleLib::ReleaseStyleID2(DWORD id) {
  if (!IsValidID(id)) return REPORT(E_INVALIDARG);
  StyleEntry& entry = m_entries[id];
  if (entry.holdCount == 0) return REPORT(E_FAIL);
  --entry.holdCount;
  HookCount(id, entry.holdCount, true);
  if (entry.useCount == 0 && entry.holdCount == 0 && !IsNamedAndPersisted(entry)) return RemoveEntry(id);
  return S_OK;
}

void JStyleLib::DropDocumentObjects() {
  for (DWORD i = 1; i <= m_highestID; ++i) {
    StyleEntry& entry = m_entries[i];
    const DWORD id = entry.persistentID;
    if (!entry.styleObject || id == kPersistentIDNone || id == kPersistentIDNoDocument || id == kPersistentIDReleased) {
      continue;
    }
    if (StyleTypeRecord* type = TypeOf(entry); type && type->names && entry.name) {
      JSymbolDescriptor* descriptor = nullptr;
      if (SUCCEEDED(type->names->Find(entry.name, &descriptor))) descriptor->SetStyle(nullptr);
    }
    IUnknown* typed = entry.typedStyle;
    IUnknown* object = entry.styleObject;
    entry.typedStyle = entry.styleObject = nullptr;
    typed->Release();
    object->Release();
  }
  m_renderCacheID = 0;
  m_renderCacheStyle = nullptr;
}

HRESULT StyleLibDropObjects(IUnknown* library) {
  if (!library) return E_INVALIDARG;
  StyleComPtr<IJPersist> persist;
  CLSID clsid;
  if (FAILED(library->QueryInterface(IID_IJPersist, persist.PutVoid())) || FAILED(persist->GetClassID(&clsid)) ||
      !IsEqualCLSID(clsid, CLSID_JStyleLib)) {
    return E_INVALIDARG;
  }
  static_cast<JStyleLib*>(persist->GetImplementation())->DropDocumentObjects();
  return S_OK;
}

// ---- a new library ----

HRESULT JStyleLib::InitNew() {
  for (const GUID* type : JStyleTypeTable::kStandardTypes) {
    if (m_types.FindType(*type, nullptr)) continue;
    HRESULT hr = m_types.AddType(*type, 0, 0, IID_NULL, nullptr);
    if (FAILED(hr)) return REPORT(hr);
  }
  return S_OK;
}

HRESULT JStyleLib::GetLibraryDocumentObject(IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  if (!m_documentBacked) return E_INVALIDARG;
  if (m_documentObject) {
    *out = m_documentObject;
    m_documentObject->AddRef();
    return S_OK;
  }
  StyleComPtr<IJDocumentNamedObjects> document;
  HRESULT hr = GetDocument(document.Put());
  DWORD persistentID = 0;
  if (SUCCEEDED(hr)) hr = document->RegisterObject(Identity(), &persistentID, nullptr);
  if (SUCCEEDED(hr)) hr = document->GetObjectOfID(persistentID, out);
  if (FAILED(hr)) return REPORT(hr);
  // A document whose object for the library is the library itself: keeping it would keep the library alive
  // for ever, and asking again costs little.
  StyleComPtr<IUnknown> identity;
  if (SUCCEEDED((*out)->QueryInterface(IID_IUnknown, identity.PutVoid())) && identity.Get() == Identity()) {
    return S_OK;
  }
  m_documentObject = *out;
  m_documentObject->AddRef();
  return S_OK;
}

// ---- IJPersist ----

HRESULT STDMETHODCALLTYPE JStyleLib::IJPersistImp::GetClassID(CLSID* out) {
  if (!out) return E_INVALIDARG;
  *out = CLSID_JStyleLib;
  return S_OK;
}

void* STDMETHODCALLTYPE JStyleLib::IJPersistImp::GetImplementation() { return Object(); }

// Load and Store are in JStyleLibPersist.cpp.

// A library is not copied as a whole.
HRESULT STDMETHODCALLTYPE JStyleLib::IJPersistImp::Clone(IUnknown*, IUnknown** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE JStyleLib::IJPersistImp::InitNew() { return Object()->InitNew(); }

// ---- IJSLManageStyleServices ----

HRESULT STDMETHODCALLTYPE JStyleLib::IJSLManageStyleServicesImp::GetPersistedStyleName(DWORD id, LPWSTR* name) {
  if (!name) return REPORT(E_INVALIDARG);
  *name = nullptr;
  const JStyleLib* library = Object();
  if (!library->IsValidID(id) || library->m_entries[id].persistentID == kPersistentIDNone) {
    REPORT(E_INVALIDARG);
    return S_OK;
  }
  *name = library->m_entries[id].name;
  return S_OK;
}

// ---- IJSLRender ----

HRESULT STDMETHODCALLTYPE JStyleLib::IJSLRenderImp::GetStyleForRender(DWORD id, IUnknown** out,
                                                                      StyleTypeRecord** type) {
  JStyleLib* library = Object();
  if (!out || IsBadReadPtr(out, 4) || IsBadWritePtr(out, 4) || !library->IsValidID(id)) return E_INVALIDARG;
  if (id != library->m_renderCacheID || !library->m_renderCacheStyle) {
    if (!library->m_entries[id].styleObject) {
      HRESULT hr = library->LoadEntryObject(id);
      if (FAILED(hr)) return hr;
    }
    library->m_renderCacheStyle = library->m_entries[id].typedStyle;
    library->m_renderCacheID = id;
  }
  *out = library->m_renderCacheStyle;
  if (type) *type = library->TypeOf(library->m_entries[id]);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleLib::IJSLRenderImp::AddRefStyleID(DWORD id) { return Object()->AddRefStyleID(id); }

HRESULT STDMETHODCALLTYPE JStyleLib::IJSLRenderImp::ReleaseStyleID(DWORD id) {
  return Object()->ReleaseStyleID(id);
}

HRESULT STDMETHODCALLTYPE JStyleLib::IJSLRenderImp::AddRefStyleID2(DWORD id) {
  return Object()->AddRefStyleID2(id);
}

HRESULT STDMETHODCALLTYPE JStyleLib::IJSLRenderImp::ReleaseStyleID2(DWORD id) {
  return Object()->ReleaseStyleID2(id);
}

// ---- not built yet ----
// The reference-count check comes with its checker; until then it answers E_NOTIMPL.

// The check of this library's document at level 2, without a log; it runs only while the host's debug entry
// asks for checks. A library in no document has nothing to check.
HRESULT STDMETHODCALLTYPE JStyleLib::IJStyleConvertR1ElementsImp::CheckStyleReferences(DWORD) {
  StyleComPtr<IJDocumentNamedObjects> document;
  if (SUCCEEDED(GetObjectDocument(Object()->Identity(), document.Put())) && document) {
    StyleCheck(document.Get(), 2, FALSE);
  }
  return S_OK;
}

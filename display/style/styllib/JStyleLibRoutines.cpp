// JStyleLib's routines for adding styles, sharing the styles of style-library files and keeping the name
// tables in step with the entries.
#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/JSymbolDescriptor.h"
#include "display/style/styllib/StyleNameMap.h"
#include "display/style/styllib/StyleReport.h"

namespace {

constexpr char kSource[] = "SLHELPER";


// An equal unnamed style exists under the same named ancestor; its ID is handed out.
constexpr HRESULT kEqualStyleExists = 0x40222;

// Types whose named styles the application hears of.
bool AnnouncedType(const GUID& type) {
  return IsEqualGUID(type, STYLETYPE_Linear) || IsEqualGUID(type, STYLETYPE_Dash) ||
         IsEqualGUID(type, STYLETYPE_PointSymbol) || IsEqualGUID(type, STYLETYPE_Fill);
}

}  // namespace

HRESULT JStyleLib::AddStyleCore(StyleRecord* record, DWORD* id, BOOL shareEqual) {
  if (!id) return E_INVALIDARG;
  *id = 0;
  if (!record || !record->type || !record->styleObject) return REPORT(E_INVALIDARG);
  HRESULT hr;
  WORD index = 0;
  const bool knownType = m_types.FindType(*record->type, &index);
  if (!knownType) {
    hr = m_types.AddType(*record->type, 0, 0, IID_NULL, &index);
    if (FAILED(hr)) return REPORT(hr);
  } else if (record->name) {
    // A name is used once per type: the existing style is handed out when it is in the document.
    DWORD existing = 0;
    if (SUCCEEDED(FindIDByName(index, record->name, &existing))) {
      *id = m_entries[existing].persistentID != kPersistentIDNone ? existing : 0;
      return E_FAIL;
    }
  } else if (shareEqual) {
    DWORD ancestor = 0;
    hr = NearestNamedAncestor(record->parentID, &ancestor);
    if (FAILED(hr)) return REPORT(hr);
    DWORD equal = 0;
    hr = FindEqualUnnamedStyle(record->styleObject, ancestor, index, &equal);
    if (FAILED(hr)) return REPORT(hr);
    if (equal != 0) {
      *id = equal;
      return kEqualStyleExists;
    }
  }

  if (knownType || !record->name) {
    hr = EnsureInDocument(record->styleObject);
    if (FAILED(hr)) return REPORT(hr);
  }
  DWORD newID = 0;
  hr = AddEntry(index, record, TRUE, &newID);
  *id = newID;
  if (FAILED(hr)) return REPORT(hr);
  hr = AttachStyle(record->styleObject, newID);
  if (FAILED(hr)) return REPORT(hr);
  if (newID != 0 && record->name && m_documentBacked) {
    hr = NotifyStyleAdded(record);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT JStyleLib::NotifyStyleAdded(const StyleRecord* record) {
  StyleComPtr<IJDocumentNamedObjects> document;
  HRESULT hr = GetDocument(document.Put());
  if (FAILED(hr)) return REPORT(hr);
  if (!AnnouncedType(*record->type)) return S_OK;
  StyleComPtr<IJApplicationStyles> application;
  hr = GetAppInterface(&IID_IJApplicationStyles, application.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  hr = application->NotifyStyleAdded(document.Get(), record->name, record->type->Data1);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT JStyleLib::FindEqualUnnamedStyle(IUnknown* object, DWORD ancestor, WORD typeIndex, DWORD* id) {
  if (!id) return E_INVALIDARG;
  *id = 0;
  StyleComPtr<IJManageStyle2> manage;
  HRESULT hr = object->QueryInterface(IID_IJManageStyle2, manage.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  for (DWORD i = 1; i <= m_highestID; ++i) {
    const StyleEntry& candidate = m_entries[i];
    if (candidate.typeIndex != typeIndex || candidate.name || IsFreeSlot(i)) continue;
    if (!candidate.styleObject && FAILED(hr = LoadEntryObject(i))) {
      REPORT(hr);
      continue;
    }
    DWORD candidateAncestor = 0;
    hr = NearestNamedAncestor(m_entries[i].parentID, &candidateAncestor);
    if (FAILED(hr)) {
      REPORT(hr);
      continue;
    }
    if (candidateAncestor != ancestor) continue;
    BOOL same = FALSE;
    hr = manage->IsSameStyle(m_entries[i].styleObject, &same);
    if (FAILED(hr)) {
      REPORT(hr);
      continue;
    }
    if (same) {
      *id = i;
      return S_OK;
    }
  }
  return S_OK;
}

HRESULT JStyleLib::EnsureInDocument(IUnknown* object) {
  if (!m_documentBacked) return S_OK;
  StyleComPtr<IJDocumentNamedObjects> document;
  HRESULT hr = GetDocument(document.Put());
  if (FAILED(hr)) return REPORT(hr);
  DWORD persistentID = 0;
  if (SUCCEEDED(document->RegisterObject(object, &persistentID, nullptr)) && persistentID != 0) return S_OK;
  StyleComPtr<IUnknown> container;
  hr = GetLibraryDocumentObject(container.Put());
  if (FAILED(hr)) return REPORT(hr);
  hr = document->InsertObject(object, 2, container.Get(), GUID_NULL);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT JStyleLib::AddSharedStyle(const StyleRecord* given, WORD typeIndex, DWORD* id) {
  if (!id) return E_INVALIDARG;
  *id = 0;
  StyleRecord record = *given;
  // A name without an object: the style behind the name in the type's name table (a style-library file's).
  StyleComPtr<IUnknown> named;
  if (!record.styleObject) {
    HRESULT hr = m_types.ForwardToStyle(typeIndex, record.name, nullptr, named.PutVoid());
    if (FAILED(hr)) return hr;
    record.styleObject = named.Get();
  }
  if (!m_documentBacked) {
    HRESULT hr = AddEntry(typeIndex, &record, TRUE, id);
    if (FAILED(hr)) REPORT(hr);
    return hr;
  }
  if (!record.styleObject) return S_OK;
  // In a document the style is copied in: the document holds its own styles.
  StyleComPtr<IJDocumentNamedObjects> document;
  HRESULT hr = GetDocument(document.Put());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJManageStyle2> manage;
  hr = record.styleObject->QueryInterface(IID_IJManageStyle2, manage.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  hr = manage->CopyStyleToLibrary(nullptr, Librarian(), document.Get(), id);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT JStyleLib::NameChanged() {
  // Names that no persisted entry carries any more leave their tables; the names of the style-library files
  // come back with LoadResourceStyleNames.
  for (WORD t = 0; t < m_types.Count(); ++t) {
    StyleNameMap* names = m_types.At(t)->names;
    if (!names) break;
    StyleGrowableArray<JSymbolDescriptor*> orphans;
    ULONG_PTR position = names->GetStartPosition();
    while (position) {
      JSymbolDescriptor* descriptor = nullptr;
      if (FAILED(names->GetNextDescriptor(&position, &descriptor))) break;
      LPCWSTR name = nullptr;
      descriptor->GetName(&name);
      DWORD id = 0;
      if (SUCCEEDED(FindIDByNameLoading(t, name, &id))) continue;
      if (!orphans.SetSize(orphans.Size() + 1)) return REPORT(E_OUTOFMEMORY);
      descriptor->AddRef();
      orphans[orphans.Size() - 1] = descriptor;
    }
    for (DWORD i = 0; i < orphans.Size(); ++i) {
      LPCWSTR name = nullptr;
      orphans[i]->GetName(&name);
      names->Remove(name);
      orphans[i]->Release();
    }
  }
  return LoadResourceStyleNames();
}

// ---- not built yet ----

// The names of the resource list's style-library files come through the thread's custodian, which is not built
// yet: a library whose list names no file has nothing to load, any other cannot load them yet.
HRESULT JStyleLib::LoadResourceStyleNames() {
  DWORD count = 0;
  if (m_resourceList) {
    StyleComPtr<IJStyleResourceList> list;
    if (SUCCEEDED(m_resourceList->QueryInterface(IID_IJStyleResourceList, list.PutVoid()))) list->GetCount(&count);
  }
  if (count == 0) return S_OK;
  return REPORT(E_NOTIMPL);
}

// Workbenches hear of a new parent through the workbench registry, which is not built yet.
HRESULT JStyleLib::ReparentChild(DWORD, DWORD) { return E_NOTIMPL; }

// The default objects of the style types come with their classes.
HRESULT JStyleLib::ReplaceWithDefaultObject(WORD, DWORD) { return REPORT(E_NOTIMPL); }

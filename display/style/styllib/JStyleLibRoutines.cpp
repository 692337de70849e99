// JStyleLib's routines for adding styles, sharing the styles of style-library files and keeping the name
// tables in step with the entries.
#include <cstring>
#include <cwchar>
#include <initializer_list>
#include <utility>

#include "display/style/server.h"
#include "display/style/stylbas/StyleCallDepth.h"
#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylcst/CustodianService.h"
#include "display/style/stylesrv_clsid.h"
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
  // An empty name names nothing: the style is added as an unnamed one, as with a null name, rather than as an
  // entry that counts as named while no name finds it.
  StyleRecord unnamed;
  if (record->name && !*record->name) {
    unnamed = *record;
    unnamed.name = nullptr;
    record = &unnamed;
  }
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
  hr = DocumentInsertObject(document.Get(), object, 2, container.Get(), GUID_NULL);
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

// ---- shared names ----

HRESULT JStyleLib::LoadResourceStyleNames() {
  IJSCustodian* custodian = nullptr;
  HRESULT hr = GetJSCustodian(&custodian);
  if (FAILED(hr)) return hr;
  // Opening a file builds a document whose own library asks too: it is answered by the custodian being busy.
  if (!custodian->IsLoading()) {
    for (WORD t = 0; t < m_types.Count() && SUCCEEDED(hr); ++t) {
      StyleTypeRecord* type = m_types.At(t);
      hr = custodian->LoadLibraries(&type->type, m_resourceList, type->names);
    }
  }
  ReleaseJSCustodian(custodian);
  return hr;
}

// ---- children ----

HRESULT JStyleLib::UpdateChildStyles(DWORD id) {
  bool hasChildren = false;
  for (DWORD i = 1; i <= m_highestID && !hasChildren; ++i) hasChildren = i != id && m_entries[i].parentID == id;
  // Without children no workbench needs to be opened.
  if (!hasChildren) return S_OK;
  // A loop of parents in stored data must not carry the walk down for ever.
  StyleCallDepth depth;
  if (!depth.Entered()) return REPORT(E_FAIL);
  StyleComPtr<IWorkbenchAdmin> parent;
  HRESULT hr = m_IJSLWorkShopImp.GetWorkbench(id, FALSE, parent.Put());
  if (FAILED(hr)) return REPORT(hr);
  for (DWORD i = 1; i <= m_highestID; ++i) {
    if (i == id || m_entries[i].parentID != id || IsFreeSlot(i)) continue;
    StyleComPtr<IWorkbenchAdmin> child;
    StyleComPtr<IWorkbenchNotify> notify;
    hr = m_IJSLWorkShopImp.GetWorkbench(i, FALSE, child.Put());
    if (SUCCEEDED(hr)) hr = child->QueryInterface(IID_IWorkbenchNotify, notify.PutVoid());
    if (SUCCEEDED(hr)) hr = notify->ParentChanged(parent.Get());
    if (FAILED(hr)) {
      REPORT(hr);
      continue;
    }
    if (hr == S_FALSE) UpdateChildStyles(i);
  }
  return S_OK;
}

HRESULT JStyleLib::ReparentChild(DWORD child, DWORD newParent) {
  StyleComPtr<IWorkbenchAdmin> parent;
  HRESULT hr = m_IJSLWorkShopImp.GetWorkbench(newParent, FALSE, parent.Put());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IWorkbenchAdmin> own;
  hr = m_IJSLWorkShopImp.GetWorkbench(child, FALSE, own.Put());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IWorkbenchNotify> notify;
  hr = own->QueryInterface(IID_IWorkbenchNotify, notify.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  hr = notify->ParentRemoved(parent.Get());
  if (FAILED(hr)) return REPORT(hr);
  if (hr == S_FALSE) {
    hr = UpdateChildStyles(child);
    if (FAILED(hr)) return REPORT(hr);
  }
  return S_OK;
}

void JStyleLib::BroadcastStyleChanged(DWORD id, IUnknown* typed) {
  for (DWORD i = 1; i <= m_highestID; ++i) {
    const StyleEntry* entry = GetEntry(i);
    if (!entry || entry->persistentID == kPersistentIDNone || entry->persistentID == kPersistentIDReleased ||
        !entry->typedStyle) {
      continue;
    }
    StyleComPtr<IJManageStyle2> manage;
    if (FAILED(entry->typedStyle->QueryInterface(IID_IJManageStyle2, manage.PutVoid()))) continue;
    const HRESULT hr = manage->OnStyleChanged(id, static_cast<DWORD>(reinterpret_cast<UINT_PTR>(typed)));
    if (FAILED(hr)) REPORT(hr);
  }
}

HRESULT JStyleLib::ReplaceEntryObject(DWORD id, IUnknown* object) {
  StyleComPtr<IJDocumentNamedObjects> document;
  HRESULT hr;
  if (m_documentBacked) {
    hr = GetDocument(document.Put());
    if (FAILED(hr)) return REPORT(hr);
    DWORD persistentID = 0;
    hr = document->RegisterObject(object, &persistentID, nullptr);
    const bool known = SUCCEEDED(hr) && persistentID != kPersistentIDNone;
    if (known && persistentID == m_entries[id].persistentID) {
      // Already the entry's object: only its dependants hear of the edit.
      UpdateChildStyles(id);
      BroadcastStyleChanged(id, m_entries[id].typedStyle);
      return S_OK;
    }
    if (!known) {
      // The object is placed in the document first, under the library's own object.
      StyleComPtr<IUnknown> container;
      hr = GetLibraryDocumentObject(container.Put());
      if (SUCCEEDED(hr)) hr = DocumentInsertObject(document.Get(), object, 0, container.Get(), GUID_NULL);
      if (FAILED(hr)) return REPORT(hr);
    }
  }

  StyleComPtr<IUnknown> identity;
  hr = object->QueryInterface(IID_IUnknown, identity.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  DWORD persistentID = kPersistentIDNoDocument;
  if (m_documentBacked) {
    hr = document->RegisterObject(identity.Get(), &persistentID, nullptr);
    if (SUCCEEDED(hr) && persistentID == kPersistentIDNone) hr = E_FAIL;
    if (FAILED(hr)) return REPORT(hr);
  }
  // The old object is set aside; the entry holds the new one from here on.
  StyleEntry& entry = m_entries[id];
  StyleComPtr<IUnknown> oldObject(entry.styleObject);
  StyleComPtr<IUnknown> oldTyped(entry.typedStyle);
  const DWORD oldPersistentID = entry.persistentID;
  ClearRenderCacheOf(id);
  entry.typedStyle = TypedInterface(identity.Get(), entry.typeIndex);
  entry.styleObject = identity.Detach();
  entry.persistentID = persistentID;

  hr = NotifyEntryChange(object);
  if (FAILED(hr)) REPORT(hr);
  HRESULT result = AttachStyle(object, id);
  if (FAILED(result)) REPORT(result);

  if (oldObject && oldObject.Get() != m_entries[id].styleObject) {
    hr = NotifyObjectRegistration(oldObject.Get());
    if (FAILED(hr)) REPORT(hr);
    StyleComPtr<IJManageStyle2> manage;
    if (SUCCEEDED(oldObject->QueryInterface(IID_IJManageStyle2, manage.PutVoid()))) {
      manage->ReleaseStyleRefs(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(Librarian())));
    }
    if (m_documentBacked && oldPersistentID != kPersistentIDReleased && oldPersistentID != kPersistentIDNone) {
      hr = ReleaseEntryInDocument(document.Get(), oldObject.Get());
      if (FAILED(hr)) REPORT(hr);
    }
  }
  oldTyped.Reset();
  oldObject.Reset();

  StyleEntry& now = m_entries[id];
  if (now.name && now.persistentID != kPersistentIDNone) {
    StyleTypeRecord* type = TypeOf(now);
    JSymbolDescriptor* descriptor = nullptr;
    if (type && type->names && SUCCEEDED(type->names->Find(now.name, &descriptor))) {
      descriptor->SetStyle(now.typedStyle);
    }
  }
  UpdateChildStyles(id);
  BroadcastStyleChanged(id, m_entries[id].typedStyle);
  return result;
}

// ---- default styles ----

namespace {

// The classes of the default objects, by the type's index in the standard order.
const CLSID* DefaultClass(WORD typeIndex) {
  switch (typeIndex) {
    case 0:
    case 1:
      return &CLSID_JStyleSimpleLine;
    case 2:
      return &CLSID_JStyleSimpleFill;
    case 3:
      return &CLSID_JStyleTextChar;
    case 4:
      return &CLSID_JStyleTextPara;
    default:
      return nullptr;
  }
}

}  // namespace

HRESULT JStyleLib::CreateDefaultObject(WORD typeIndex, IUnknown** out) {
  *out = nullptr;
  if (typeIndex > 12) return REPORT(E_FAIL);
  const CLSID* clsid = DefaultClass(typeIndex);
  // The dimension style is the host's class (CLSID_HostDimensionStyle), asked for like the server's own.
  if (typeIndex == 5) clsid = &CLSID_HostDimensionStyle;
  if (!clsid) return S_FALSE;
  StyleComPtr<IUnknown> object;
  HRESULT hr = CreateOwnInstanceOrFatal(*clsid, IID_IUnknown, object.PutVoid(), kSource, __LINE__);
  if (FAILED(hr)) return hr;
  // Every default style is drawn in the exception colour.
  if (typeIndex <= 1) {
    StyleComPtr<IJStyleSimpleLine> line;
    hr = object->QueryInterface(IID_IJStyleSimpleLine, line.PutVoid());
    if (SUCCEEDED(hr)) hr = line->SetColor(GetExceptionColor());
    if (FAILED(hr)) return REPORT(hr);
    *out = object.Detach();
    return S_OK;
  }
  if (typeIndex == 2) {
    StyleComPtr<IJStyleSimpleFill> fill;
    hr = object->QueryInterface(IID_IJStyleSimpleFill, fill.PutVoid());
    if (SUCCEEDED(hr)) hr = fill->SetColor(GetExceptionColor());
    if (FAILED(hr)) return REPORT(hr);
    *out = object.Detach();
    return S_OK;
  }
  if (typeIndex == 3) {
    StyleComPtr<IJStyleTextChar> text;
    hr = object->QueryInterface(IID_IJStyleTextChar, text.PutVoid());
    if (SUCCEEDED(hr)) hr = text->SetColor(GetExceptionColor());
    if (SUCCEEDED(hr)) hr = text->SetSize(0.003175, STYLE_UNITS_11);
    if (SUCCEEDED(hr)) hr = text->SetFontName(L"Arial");
    if (SUCCEEDED(hr)) hr = text->SetUnits(STYLE_UNITS_11);
    if (FAILED(hr)) return REPORT(hr);
    *out = object.Detach();
    return S_OK;
  }
  if (typeIndex == 4) {
    hr = SetUpDefaultParagraph(object.Get());
    if (FAILED(hr)) return hr;
    *out = object.Detach();
    return S_OK;
  }
  // The settings of the dimension default go through a class this server does not serve yet: an object that
  // comes this far cannot be set up and is not handed out.
  return REPORT(E_NOTIMPL);
}

// The default paragraph refers to a new unnamed default character style of this library.
HRESULT JStyleLib::SetUpDefaultParagraph(IUnknown* object) {
  StyleComPtr<IUnknown> chars;
  HRESULT hr = CreateDefaultObject(3, chars.Put());
  if (FAILED(hr)) return REPORT(hr);
  const StyleTypeRecord* charType = m_types.At(3);
  if (!chars || !charType) return REPORT(E_POINTER);
  GUID typeGUID = charType->type;
  StyleRecord record{nullptr, nullptr, chars.Get(), &typeGUID, 0, 0};
  DWORD charID = 0;
  hr = m_IJSLLibrarianImp.AddStyleNoCreate(&record, &charID);
  if (FAILED(hr)) return REPORT(hr);
  hr = m_IJSLLibrarianImp.GetStyle(charID, chars.Put());
  if (SUCCEEDED(hr) && !chars) hr = E_POINTER;
  if (FAILED(hr)) return REPORT(hr);

  StyleComPtr<IJStyleTextPara> para;
  hr = object->QueryInterface(IID_IJStyleTextPara, para.PutVoid());
  ParaStopEntry stops[kParaStopCount] = {};
  for (ParaStopEntry& stop : stops) stop.value = 0.00635;
  if (SUCCEEDED(hr)) hr = para->SetCharStyle(chars.Get(), 1);
  if (SUCCEEDED(hr)) hr = para->SetParaUnits(STYLE_UNITS_11);
  if (SUCCEEDED(hr)) hr = para->SetParaValueByte1(0);
  if (SUCCEEDED(hr)) hr = para->SetDistance4(0.0);
  if (SUCCEEDED(hr)) hr = para->SetDistance5(0.0);
  if (SUCCEEDED(hr)) hr = para->SetStopEntries(kParaStopCount, stops);
  if (SUCCEEDED(hr)) hr = para->SetLineSpacingWithMode(1.0, 18);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT JStyleLib::MakeDefaultStyle(WORD typeIndex, DWORD* id) {
  *id = 0;
  StyleComPtr<IUnknown> object;
  HRESULT hr = CreateDefaultObject(typeIndex, object.Put());
  if (FAILED(hr)) return REPORT(hr);
  if (!object) return S_FALSE;
  const StyleTypeRecord* type = m_types.At(typeIndex);
  if (!type) return REPORT(E_FAIL);
  GUID typeGUID = type->type;
  StyleRecord record{nullptr, nullptr, object.Get(), &typeGUID, 0, 0};
  hr = m_IJSLLibrarianImp.AddStyle(&record, id);
  if (FAILED(hr)) return REPORT(hr);
  return S_OK;
}

HRESULT JStyleLib::ReplaceWithDefaultObject(WORD typeIndex, DWORD id) {
  StyleComPtr<IUnknown> object;
  HRESULT hr = CreateDefaultObject(typeIndex, object.Put());
  if (FAILED(hr)) return REPORT(hr);
  if (!object) return REPORT(E_FAIL);
  StyleEntry& entry = m_entries[id];
  if (entry.typedStyle) entry.typedStyle->Release();
  entry.typedStyle = TypedInterface(object.Get(), typeIndex);
  entry.styleObject = object.Detach();
  StyleComPtr<IJManageStyle2> manage;
  hr = entry.styleObject->QueryInterface(IID_IJManageStyle2, manage.PutVoid());
  if (FAILED(hr)) {
    entry.parentID = 0;
    return hr;
  }
  hr = manage->SetLibrarian(Librarian());
  if (FAILED(hr)) return REPORT(hr);
  hr = manage->SetID(id);
  if (FAILED(hr)) return REPORT(hr);
  m_entries[id].parentID = 0;
  return S_OK;
}

// ---- the default dimension style ----

namespace {

template <class T>
void PutAt(BYTE* record, std::size_t at, T value) {
  std::memcpy(record + at, &value, sizeof value);
}

void PutText(BYTE* record, std::size_t at, const wchar_t* text) {
  std::memcpy(record + at, text, (wcslen(text) + 1) * sizeof(WCHAR));
}

void PutBytes(BYTE* record, std::initializer_list<std::pair<std::size_t, BYTE>> values) {
  for (const auto& [at, value] : values) record[at] = value;
}

void PutDoubles(BYTE* record, std::initializer_list<std::pair<std::size_t, double>> values) {
  for (const auto& [at, value] : values) PutAt(record, at, value);
}

}  // namespace

void InitDefaultDimensionRecord(BYTE* record) {
  PutBytes(record, {{0, 1}, {1, 0}, {2, 1}, {3, 2}, {4, 12}, {5, 0}, {6, 2}, {7, 1}, {8, 3}, {9, 3}, {10, 1},
                    {11, 4}, {12, 1}, {13, 1}, {14, 0}});
  PutText(record, 16, L"");
  PutText(record, 58, L"");
  PutBytes(record, {{100, 5}, {101, 3}, {102, 1}, {103, 5}, {104, 1}, {105, 0}, {106, 1}});
  PutText(record, 108, L"");
  PutText(record, 150, L"");
  PutBytes(record, {{192, 3}, {193, 2}, {194, 1}, {195, 2}, {196, 1}});
  PutDoubles(record, {{200, 0.0035}, {208, 1.0}, {216, 0.0007}, {224, 0.5}, {232, 0.0007}});
  PutText(record, 240, L"Arial");
  PutBytes(record, {{496, 1}, {497, 3}, {498, 1}, {499, 2}, {500, 1}, {501, 2}, {502, 3}, {503, 2}, {504, 7},
                    {505, 2}});
  PutAt<DWORD>(record, 508, 0);
  PutAt<DWORD>(record, 512, 0);
  PutDoubles(record, {{520, 1.0}, {528, 3.0}, {536, 2.0}, {544, 0.00035}, {552, 0.0}, {560, 0.5}, {568, 0.0},
                      {576, 3.0}, {584, 3.0}});
  PutBytes(record, {{592, 0}, {593, 1}, {594, 1}, {595, 1}, {596, 1}, {597, 3}});
  PutText(record, 598, L"continuous");
  PutAt(record, 856, 2.0);
  PutBytes(record, {{864, 1}, {865, 2}, {866, 8}});
  PutAt<DWORD>(record, 868, 0);
  PutBytes(record, {{872, 0}, {873, 2}});
  PutAt(record, 880, 1.0);
  record[888] = 1;
  PutAt<DWORD>(record, 892, 0x00008080);
  PutAt<DWORD>(record, 896, 0);
  PutAt<DWORD>(record, 900, 0x00808000);
  PutDoubles(record, {{904, 0.5}, {912, 0.5}, {920, 0.25}, {928, 0.35}, {936, 0.3}, {944, 0.5}, {952, 0.2},
                      {960, 0.7}, {968, 0.2}, {976, 0.6}, {984, 0.1}, {992, 0.5}, {1000, 0.0}});
  PutBytes(record, {{1008, 1}, {1009, 1}});
  PutDoubles(record, {{1016, 2.0}, {1024, 2.0}, {1032, 0.0007}});
  PutText(record, 1040, L"Chain");
  PutBytes(record, {{1296, 0}, {1297, 1}, {1298, 1}, {1299, 1}});
  PutDoubles(record, {{1304, 1.0}, {1312, 0.0}});
  record[1320] = 0;
}

void ApplyDimensionExceptionChanges(BYTE* record, DWORD colour) {
  PutBytes(record, {{3, 1}, {8, 5}, {11, 5}, {13, 0}, {14, 1}, {100, 3}, {103, 4}, {105, 1}, {106, 0}, {497, 1},
                    {498, 2}, {505, 1}, {593, 0}, {866, 7}, {888, 1}, {1297, 2}, {1298, 2}});
  PutDoubles(record, {{200, 0.003175}, {224, 0.8}, {552, 0.5}});
  for (std::size_t at : {892u, 896u, 900u}) PutAt(record, at, colour);
}

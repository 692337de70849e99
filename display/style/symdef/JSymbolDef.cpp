#include "display/style/symdef/JSymbolDef.h"

#include <cmath>
#include <cstdint>

#include "display/style/server.h"
#include "display/style/stylbas/JStyleBase.h"
#include "display/style/stylbas/StyleCallDepth.h"
#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/StyleReport.h"
#include "display/style/stylspt/ConversionPlugin.h"
#include "display/style/symdef/SymbolElements.h"
#include "geometry/geometry.h"

namespace {

constexpr char kSource[] = "JSYMDEF";

// The class header's version of the older release, whose IDs go to the conversion of older data.
constexpr WORD kReleaseOneVersion = 1;

void* AsValue(DWORD id) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(id)); }
DWORD AsID(const void* value) { return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(value)); }

// A range that holds a NaN or an infinity says nothing about where the element lies.
bool IsFiniteRange(const GraphicRange& r) {
  const double values[] = {r.xmin, r.ymin, r.zmin, r.xmax, r.ymax, r.zmax};
  for (double v : values) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

}  // namespace

JSymbolDef::JSymbolDef(IUnknown* outer) : StyleOwnUnknown(outer) { IncrementLiveObjectCount(); }

JSymbolDef::~JSymbolDef() {
  ClearLists();
  DecrementLiveObjectCount();
}

HRESULT JSymbolDef::PostConstruct(IUnknown*) { return S_FALSE; }

HRESULT STDMETHODCALLTYPE JSymbolDef::QueryInterface(REFIID iid, void** out) {
  if (!out) return REPORT(E_INVALIDARG);
  IUnknown* found = nullptr;
  if (IsEqualIID(iid, IID_IUnknown)) {
    found = this;
  } else if (IsEqualIID(iid, IID_IJSymbolDefinition)) {
    found = &m_IJSymbolDefinitionImp;
  } else if (IsEqualIID(iid, IID_IJGraphic)) {
    found = &m_IJGraphicImp;
  } else if (IsEqualIID(iid, IID_IJCopyParticipant)) {
    found = &m_IJCopyParticipantImp;
  } else if (IsEqualIID(iid, IID_IJCopyProvider)) {
    found = &m_IJCopyProviderImp;
  } else if (IsEqualIID(iid, IID_IJPersist) || IsEqualIID(iid, IID_IPersist)) {
    found = &m_IJPersistImp;
  } else if (IsEqualIID(iid, IID_IJStyleUser)) {
    found = &m_IJStyleUserImp;
  }
  return HandOut(found, out);
}

IUnknown* JSymbolDef::Identity() {
  IUnknown* identity = nullptr;
  if (FAILED(ControllingUnknown()->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)))) {
    return ControllingUnknown();
  }
  identity->Release();
  return identity;
}

void JSymbolDef::ClearLists() {
  // The lists are empty before the first element goes: releasing one may reach this definition again.
  JPtrList elements(10);
  elements.Swap(m_elements);
  m_ids.RemoveAll();
  for (JPtrList::Node* node = elements.GetHead(); node; node = node->next) {
    static_cast<IUnknown*>(node->value)->Release();
  }
}

void JSymbolDef::Synchronise() {
  const bool fetch = m_elements.GetCount() == 0 && m_ids.GetCount() != 0;
  const bool registerIDs = m_elements.GetCount() != 0 && m_ids.GetCount() == 0;
  if (!fetch && !registerIDs) return;
  StyleComPtr<IJDocumentNamedObjects> document;
  if (FAILED(GetObjectDocument(Identity(), document.Put()))) return;

  if (fetch) {
    // An ID the document no longer holds is left out; the elements after it are still fetched.
    for (JPtrList::Node* node = m_ids.GetHead(); node; node = node->next) {
      IUnknown* element = nullptr;
      HRESULT hr = document->FetchObjectByID(AsID(node->value), IID_IUnknown, reinterpret_cast<void**>(&element));
      if (FAILED(hr) || !element) {
        REPORT(FAILED(hr) ? hr : E_FAIL);
        continue;
      }
      if (!m_elements.AddTail(element)) {
        element->Release();
        REPORT(E_OUTOFMEMORY);
        return;
      }
    }
    return;
  }

  for (JPtrList::Node* node = m_elements.GetHead(); node; node = node->next) {
    DWORD id = 0;
    HRESULT hr = document->RegisterObject(static_cast<IUnknown*>(node->value), &id, nullptr);
    if (FAILED(hr)) {
      REPORT(hr);
      continue;
    }
    if (id != 0 && !m_ids.AddTail(AsValue(id))) {
      REPORT(E_OUTOFMEMORY);
      break;
    }
  }
  // From now on the IDs are what the definition stores, so later elements must bring theirs.
  if (m_ids.GetCount() != 0) m_documentBound = 1;
}

template <class Itf, class Call>
HRESULT JSymbolDef::ForEachElement(REFIID iid, Call call) {
  Synchronise();
  ElementBuffer elements;
  if (!elements.Take(m_elements)) return REPORT(E_OUTOFMEMORY);
  for (DWORD i = 0; i < elements.Count(); ++i) {
    StyleComPtr<Itf> itf;
    if (FAILED(elements[i]->QueryInterface(iid, itf.PutVoid()))) continue;
    const HRESULT hr = call(itf.Get());
    if (FAILED(hr)) return REPORT(hr);
    if (hr != S_OK) return hr;
  }
  return S_OK;
}

HRESULT JSymbolDef::AddElementCore(IUnknown* element) {
  if (!element) return REPORT(E_INVALIDARG);
  StyleComPtr<IUnknown> identity;
  HRESULT hr = element->QueryInterface(IID_IUnknown, identity.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  // A definition that contains itself would hold its own last reference.
  if (identity.Get() == Identity()) return REPORT(E_INVALIDARG);

  Synchronise();
  StyleComPtr<IJDocumentNamedObjects> document;
  const bool inDocument = SUCCEEDED(GetObjectDocument(identity.Get(), document.Put()));
  if (m_documentBound && !inDocument) return S_FALSE;
  if (m_documentBound) {
    // The IDs of another document's elements would name other objects, or none, when the definition is loaded.
    StyleComPtr<IJDocumentNamedObjects> own;
    if (SUCCEEDED(GetObjectDocument(Identity(), own.Put())) && !StyleSameObject(own.Get(), document.Get())) {
      return REPORT(E_INVALIDARG);
    }
  }
  if (m_elements.GetCount() == 0 && inDocument) m_documentBound = 1;
  if (!m_elements.AddTail(identity.Get())) return REPORT(E_OUTOFMEMORY);
  IUnknown* added = identity.Detach();  // the list holds the reference now
  if (!m_documentBound) return S_OK;

  DWORD id = 0;
  if (FAILED(hr = document->RegisterObject(added, &id, nullptr))) return REPORT(hr);
  if (id != 0 && !m_ids.AddTail(AsValue(id))) return REPORT(E_OUTOFMEMORY);
  DWORD ownID = 0;
  if (FAILED(hr = document->RegisterObject(Identity(), &ownID, nullptr))) return REPORT(hr);
  StyleComPtr<IUnknown> container;
  if (FAILED(hr = document->GetContainerOfID(ownID, container.Put()))) return REPORT(hr);
  if (FAILED(hr = LinkElementToContainer(document.Get(), added, container.Get()))) return REPORT(hr);
  return S_OK;
}

HRESULT JSymbolDef::RemoveElementCore(IUnknown* element) {
  if (!element) return REPORT(E_INVALIDARG);
  StyleComPtr<IUnknown> identity;
  HRESULT hr = element->QueryInterface(IID_IUnknown, identity.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  Synchronise();
  JPtrList::Node* node = m_elements.Find(identity.Get());
  if (!node) return REPORT(E_INVALIDARG);

  // The ID leaves by value, not by place: a registration that failed while adding leaves no ID behind, and the
  // two lists need not line up.
  StyleComPtr<IJDocumentNamedObjects> document;
  if (m_documentBound && SUCCEEDED(GetObjectDocument(identity.Get(), document.Put()))) {
    DWORD id = 0;
    if (FAILED(hr = document->RegisterObject(identity.Get(), &id, nullptr))) return REPORT(hr);
    if (FAILED(hr = document->NotifyID(id, nullptr))) REPORT(hr);
    m_ids.RemoveAt(m_ids.Find(AsValue(id)));
  }
  m_elements.RemoveAt(node);
  identity->Release();  // the list's reference
  return S_OK;
}

HRESULT JSymbolDef::ExchangeIDs(JArchive* archive) {
  if (!archive) return REPORT(E_INVALIDARG);
  HRESULT hr;
  if (JStyleBase::IsStoring(archive)) {
    // Elements that never reached the document get their IDs first, or they would not be stored.
    Synchronise();
    DWORD count = m_ids.GetCount();
    if (FAILED(hr = JStyleBase::Exchange(archive, count))) return REPORT(hr);
    for (JPtrList::Node* node = m_ids.GetHead(); node; node = node->next) {
      DWORD id = AsID(node->value);
      if (FAILED(hr = JStyleBase::Exchange(archive, id))) return REPORT(hr);
    }
    return S_OK;
  }

  DWORD count = 0;
  if (FAILED(hr = JStyleBase::Exchange(archive, count))) return REPORT(hr);
  if (FAILED(hr = JStyleBase::CheckArchiveCount(archive, count, sizeof(DWORD)))) return REPORT(hr);
  JPtrList ids(10);
  for (DWORD i = 0; i < count; ++i) {
    DWORD id = 0;
    if (FAILED(hr = JStyleBase::Exchange(archive, id))) return REPORT(hr);
    if (!ids.AddTail(AsValue(id))) return REPORT(E_OUTOFMEMORY);
  }
  // Whole: the loaded IDs replace what the definition held.
  ClearLists();
  m_ids.Swap(ids);
  if (m_ids.GetCount() != 0) m_documentBound = 1;
  return S_OK;
}

HRESULT JSymbolDef::ExchangeVersioned(JArchive* archive) {
  if (!archive) return REPORT(E_INVALIDARG);
  WORD version = 0;
  DWORD scratch = 0;
  HRESULT hr = ArchiveSerializeClassHeader(archive, &CLSID_JSymbolDef, &version, &scratch);
  if (FAILED(hr)) return REPORT(hr);
  if (FAILED(hr = ExchangeIDs(archive))) return REPORT(hr);
  if (version == kReleaseOneVersion && JStyleBase::IsLoading(archive)) {
    // Older data read in is marked for its conversion. Without the plug-in there is nothing to convert; that is
    // no failure of the exchange.
    for (JPtrList::Node* node = m_ids.GetHead(); node; node = node->next) {
      HPostR1ExceptionsforAfterAuxConversion(AsID(node->value));
    }
  }
  return S_OK;
}

// ---- IJGraphic ----

HRESULT STDMETHODCALLTYPE JSymbolDef::IJGraphicImp::GetGraphicType(DWORD*) { return S_OK; }

HRESULT STDMETHODCALLTYPE JSymbolDef::IJGraphicImp::Notify(DWORD, DWORD, DWORD, IUnknown*) { return S_FALSE; }

HRESULT STDMETHODCALLTYPE JSymbolDef::IJGraphicImp::Draw(GraphicDrawContext* context) {
  if (!context) return REPORT(E_INVALIDARG);
  // Definitions may contain each other.
  StyleCallDepth depth;
  if (!depth.Entered()) return S_OK;
  // What an element answers does not stop the others.
  const HRESULT hr = Object()->ForEachElement<IJGraphic>(IID_IJGraphic, [context](IJGraphic* graphic) {
    graphic->Draw(context);
    return S_OK;
  });
  return depth.Answer(FAILED(hr) ? hr : S_OK);
}

HRESULT STDMETHODCALLTYPE JSymbolDef::IJGraphicImp::GetRange(GraphicRange* range, StyleExtent* extent) {
  StyleCallDepth depth;
  if (!depth.Entered()) return S_OK;
  const HRESULT hr = Object()->ForEachElement<IJGraphic>(IID_IJGraphic, [range, extent](IJGraphic* graphic) {
    const GBox empty;
    GraphicRange local{empty.low.x, empty.low.y, empty.low.z, empty.high.x, empty.high.y, empty.high.z};
    StyleExtent localExtent{};
    graphic->GetRange(&local, &localExtent);
    if (range && IsFiniteRange(local)) {
      GBox box(range->xmin, range->ymin, range->zmin, range->xmax, range->ymax, range->zmax);
      box.Extend(GBox(local.xmin, local.ymin, local.zmin, local.xmax, local.ymax, local.zmax));
      *range = {box.low.x, box.low.y, box.low.z, box.high.x, box.high.y, box.high.z};
    }
    if (extent) {
      // A NaN from an element never wins a comparison, so it leaves the caller's value alone.
      if (localExtent.value > extent->value) extent->value = localExtent.value;
      if (localExtent.first > extent->first) extent->first = localExtent.first;
      if (localExtent.second > extent->second) extent->second = localExtent.second;
    }
    return S_OK;
  });
  return depth.Answer(FAILED(hr) ? hr : S_OK);
}

// ---- IJSymbolDefinition ----

HRESULT STDMETHODCALLTYPE JSymbolDef::IJSymbolDefinitionImp::NotOffered3(DWORD, DWORD, DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE JSymbolDef::IJSymbolDefinitionImp::NotOffered4(DWORD, DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE JSymbolDef::IJSymbolDefinitionImp::AnswersFalse() { return S_FALSE; }

HRESULT STDMETHODCALLTYPE JSymbolDef::IJSymbolDefinitionImp::IsElement(IUnknown* object) {
  if (!object) return REPORT(E_INVALIDARG);
  JSymbolDef* self = Object();
  self->Synchronise();
  StyleComPtr<IUnknown> identity;
  if (FAILED(object->QueryInterface(IID_IUnknown, identity.PutVoid()))) return S_FALSE;
  return self->m_elements.Find(identity.Get()) ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE JSymbolDef::IJSymbolDefinitionImp::GetElementCount(DWORD* count) {
  if (!count) return REPORT(E_INVALIDARG);
  Object()->Synchronise();
  *count = Object()->m_elements.GetCount();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JSymbolDef::IJSymbolDefinitionImp::GetElements(IUnknown** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  JSymbolDef* self = Object();
  self->Synchronise();
  StyleComPtr<IJObjectCollection> collection;
  HRESULT hr = CreateObjectCollection(self->m_elements.GetCount(), 0, collection.Put());
  if (FAILED(hr)) return REPORT(hr);
  ULONG i = 0;
  for (JPtrList::Node* node = self->m_elements.GetHead(); node; node = node->next) {
    if (FAILED(hr = collection->SetItem(i++, static_cast<IUnknown*>(node->value)))) return REPORT(hr);
  }
  *out = collection.Detach();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JSymbolDef::IJSymbolDefinitionImp::AddElement(IUnknown* element, DWORD) {
  return Object()->AddElementCore(element);
}

HRESULT STDMETHODCALLTYPE JSymbolDef::IJSymbolDefinitionImp::AddElements(DWORD n, IUnknown** elements) {
  if (n != 0 && !elements) return REPORT(E_INVALIDARG);
  for (DWORD i = 0; i < n; ++i) {
    const HRESULT hr = AddElement(elements[i], 0);
    if (FAILED(hr)) return REPORT(hr);
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JSymbolDef::IJSymbolDefinitionImp::RemoveElement(IUnknown* element) {
  return Object()->RemoveElementCore(element);
}

HRESULT STDMETHODCALLTYPE JSymbolDef::IJSymbolDefinitionImp::RemoveElements(DWORD n, IUnknown** elements) {
  if (n != 0 && !elements) return REPORT(E_INVALIDARG);
  for (DWORD i = 0; i < n; ++i) {
    const HRESULT hr = RemoveElement(elements[i]);
    if (FAILED(hr)) return REPORT(hr);
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JSymbolDef::IJSymbolDefinitionImp::RemoveAllElements() {
  JSymbolDef* self = Object();
  self->Synchronise();
  StyleComPtr<IJDocumentNamedObjects> document;
  if (self->m_documentBound && SUCCEEDED(GetObjectDocument(self->Identity(), document.Put()))) {
    for (JPtrList::Node* node = self->m_ids.GetHead(); node; node = node->next) {
      const HRESULT hr = document->NotifyID(AsID(node->value), nullptr);
      if (FAILED(hr)) REPORT(hr);
    }
  }
  self->ClearLists();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JSymbolDef::IJSymbolDefinitionImp::NotOffered14(DWORD, DWORD, DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE JSymbolDef::IJSymbolDefinitionImp::NotOffered15(DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE JSymbolDef::IJSymbolDefinitionImp::NotOffered16(DWORD, DWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE JSymbolDef::IJSymbolDefinitionImp::ResolveElements() {
  StyleCallDepth depth;
  if (!depth.Entered()) return S_OK;
  // An element the document could not give is skipped: the synchronisation asked for it once already.
  const HRESULT hr = Object()->ForEachElement<IJSymbolDefinition>(
      IID_IJSymbolDefinition, [](IJSymbolDefinition* inner) {
        const HRESULT answer = inner->ResolveElements();
        return FAILED(answer) ? answer : S_OK;
      });
  return FAILED(hr) ? hr : S_OK;
}

HRESULT STDMETHODCALLTYPE JSymbolDef::IJSymbolDefinitionImp::NotOffered18(DWORD, DWORD, DWORD) { return E_NOTIMPL; }

// ---- IJPersist ----

HRESULT STDMETHODCALLTYPE JSymbolDef::IJPersistImp::GetClassID(CLSID* out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = CLSID_JSymbolDef;
  return S_OK;
}

void* STDMETHODCALLTYPE JSymbolDef::IJPersistImp::GetImplementation() { return Object(); }

HRESULT STDMETHODCALLTYPE JSymbolDef::IJPersistImp::Load(JArchive* archive) { return Object()->ExchangeIDs(archive); }

HRESULT STDMETHODCALLTYPE JSymbolDef::IJPersistImp::Store(JArchive* archive) {
  return Object()->ExchangeVersioned(archive);
}

HRESULT STDMETHODCALLTYPE JSymbolDef::IJPersistImp::Clone(IUnknown* outer, IUnknown** out) {
  HRESULT hr = StyleNewOwnObject<JSymbolDef>(outer, out);
  if (FAILED(hr)) return REPORT(hr);
  if (FAILED(hr = PostConstruct(*out))) {
    (*out)->Release();
    *out = nullptr;
    return REPORT(hr);
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JSymbolDef::IJPersistImp::InitNew() { return S_OK; }

// ---- IJCopyParticipant ----

HRESULT STDMETHODCALLTYPE JSymbolDef::IJCopyParticipantImp::ListRelatedObjects(IJObjectList** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  IUnknown* controlling = Object()->ControllingUnknown();
  StyleComPtr<IUnknown> self;
  HRESULT hr = controlling->QueryInterface(IID_IUnknown, self.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJSymbolDefinition> definition;
  if (FAILED(hr = controlling->QueryInterface(IID_IJSymbolDefinition, definition.PutVoid()))) return REPORT(hr);
  DWORD count = 0;
  if (FAILED(hr = definition->GetElementCount(&count))) return REPORT(hr);

  ElementBuffer elements;
  if (FAILED(hr = FetchElements(definition.Get(), count, &elements))) return REPORT(hr);

  StyleComPtr<IJObjectList> list;
  if (FAILED(hr = CreateObjectList(count + 1, 0, list.Put()))) return REPORT(hr);
  HostObjectEntry entry{self.Get(), IID_IUnknown, COPYENTRY_RELATED};
  if (FAILED(hr = list->SetItem(0, &entry))) return REPORT(hr);
  for (DWORD i = 0; i < elements.Count(); ++i) {
    if (!elements[i]) continue;
    entry.object = elements[i];
    if (FAILED(hr = list->SetItem(i + 1, &entry))) return REPORT(hr);
  }
  *out = list.Detach();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JSymbolDef::IJCopyParticipantImp::CopyPersistentEntries(IJObjectList* entries,
                                                                                 IJCopyContext* context) {
  if (!entries || !context) return REPORT(E_INVALIDARG);
  for (;;) {
    HostObjectEntry entry{};
    ULONG fetched = 0;
    HRESULT hr = entries->Next(1, &entry, &fetched);
    if (FAILED(hr)) return REPORT(hr);
    if (hr != S_OK || fetched != 1) return S_OK;
    if (!(entry.flags & COPYENTRY_PERSISTENT)) continue;
    if (!(entry.flags & COPYENTRY_CLONE)) {
      if (FAILED(hr = context->SetCopy(entry.object, nullptr, 0))) return REPORT(hr);
      continue;
    }
    if (!entry.object) return REPORT(E_INVALIDARG);
    StyleComPtr<IJPersist> persist;
    if (FAILED(hr = entry.object->QueryInterface(IID_IJPersist, persist.PutVoid()))) return REPORT(hr);
    StyleComPtr<IUnknown> clone;
    if (FAILED(hr = persist->Clone(nullptr, clone.Put()))) return REPORT(hr);
    if (FAILED(hr = context->SetCopy(entry.object, clone.Get(), COPYENTRY_CLONED))) return REPORT(hr);
  }
}

HRESULT STDMETHODCALLTYPE JSymbolDef::IJCopyParticipantImp::RelinkCopy(IJObjectList* entries, IJCopyContext* context,
                                                                      DWORD) {
  if (!entries || !context) return REPORT(E_INVALIDARG);
  HostObjectEntry first{};
  ULONG fetched = 0;
  HRESULT hr = entries->Next(1, &first, &fetched);
  if (FAILED(hr)) return REPORT(hr);
  if (hr != S_OK || fetched != 1) return REPORT(E_UNEXPECTED);
  StyleComPtr<IUnknown> copy;
  DWORD flags = 0;
  hr = context->GetCopy(first.object, copy.Put(), &flags);
  if (FAILED(hr)) return REPORT(hr);
  if (hr == S_FALSE || !copy) return REPORT(E_UNEXPECTED);
  StyleComPtr<IJSymbolDefinition> copied;
  if (FAILED(hr = copy->QueryInterface(IID_IJSymbolDefinition, copied.PutVoid()))) return REPORT(hr);

  for (;;) {
    HostObjectEntry entry{};
    hr = entries->Next(1, &entry, &fetched);
    if (FAILED(hr)) return REPORT(hr);
    if (hr != S_OK || fetched != 1) return S_OK;
    StyleComPtr<IUnknown> elementCopy;
    DWORD elementFlags = 0;
    hr = context->GetCopy(entry.object, elementCopy.Put(), &elementFlags);
    if (FAILED(hr)) return REPORT(hr);
    if (hr == S_OK && elementCopy) {
      // The definition's own copy may be listed again; it never becomes its own element.
      if (StyleSameObject(elementCopy.Get(), copy.Get())) continue;
      IUnknown* added = elementCopy.Get();
      if (FAILED(hr = copied->AddElements(1, &added))) return REPORT(hr);
    } else if (entry.flags & COPYENTRY_PERSISTENT) {
      if (FAILED(hr = context->SetCopy(entry.object, copy.Get(), entry.flags))) return REPORT(hr);
    }
  }
}

HRESULT STDMETHODCALLTYPE JSymbolDef::IJCopyParticipantImp::NotOffered6(DWORD, DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE JSymbolDef::IJCopyParticipantImp::AnswersFalse() { return S_FALSE; }

// ---- IJCopyProvider ----

HRESULT STDMETHODCALLTYPE JSymbolDef::IJCopyProviderImp::NotOffered3(DWORD, DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE JSymbolDef::IJCopyProviderImp::NotOffered4(DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE JSymbolDef::IJCopyProviderImp::NotOffered5(DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE JSymbolDef::IJCopyProviderImp::NotOffered6(DWORD, DWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE JSymbolDef::IJCopyProviderImp::GetParticipant(const IID* iid, void** first, void** second,
                                                                       DWORD) {
  if (!first || !second) return REPORT(E_INVALIDARG);
  *first = *second = nullptr;
  if (!iid) return REPORT(E_INVALIDARG);
  if (!IsEqualIID(*iid, IID_IJCopyParticipant)) return S_OK;
  const HRESULT hr = QueryInterface(IID_IJCopyParticipant, second);
  if (FAILED(hr)) return REPORT(hr);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JSymbolDef::IJCopyProviderImp::GetProviderType(GUID* out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = COPYPROVIDER_SymbolDefinition;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JSymbolDef::IJCopyProviderImp::NotOffered9(DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE JSymbolDef::IJCopyProviderImp::AnswersOk(DWORD) { return S_OK; }

// ---- IJStyleUser ----

HRESULT STDMETHODCALLTYPE JSymbolDef::IJStyleUserImp::CopyStyleUse(IUnknown*, IUnknown*, IUnknown*, IUnknown*, DWORD) {
  return E_FAIL;
}

HRESULT STDMETHODCALLTYPE JSymbolDef::IJStyleUserImp::AnnounceOwner(IUnknown* ownerLibrarian, DWORD* out) {
  StyleCallDepth depth;
  if (!depth.Entered()) return S_OK;
  const HRESULT hr = Object()->ForEachElement<IJStyleUser>(IID_IJStyleUser, [ownerLibrarian, out](IJStyleUser* user) {
    const HRESULT answer = user->AnnounceOwner(ownerLibrarian, out);
    return FAILED(answer) ? answer : S_OK;
  });
  return FAILED(hr) ? hr : S_OK;
}

BOOL STDMETHODCALLTYPE JSymbolDef::IJStyleUserImp::UsesStyleID(DWORD id) {
  StyleCallDepth depth;
  if (!depth.Entered()) return FALSE;
  // S_FALSE ends the walk at the first element that uses the ID.
  const HRESULT hr = Object()->ForEachElement<IJStyleUser>(
      IID_IJStyleUser, [id](IJStyleUser* user) { return user->UsesStyleID(id) ? S_FALSE : S_OK; });
  return hr == S_FALSE;
}

// ---- the export ----

extern "C" HRESULT WINAPI CreateLiteSymbol(IUnknown** elements, DWORD n, IUnknown** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  if (n != 0 && !elements) return REPORT(E_INVALIDARG);
  HRESULT hr = CreateOwnInstance(CLSID_JSymbolDef, nullptr, IID_IUnknown, reinterpret_cast<void**>(out));
  if (FAILED(hr)) return REPORT(hr);
  if (n == 0) return S_OK;
  StyleComPtr<IJSymbolDefinition> definition;
  if (FAILED(hr = (*out)->QueryInterface(IID_IJSymbolDefinition, definition.PutVoid()))) return REPORT(hr);
  if (FAILED(hr = definition->AddElements(n, elements))) return REPORT(hr);
  return S_OK;
}

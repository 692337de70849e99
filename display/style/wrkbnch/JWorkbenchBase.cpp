#include "display/style/wrkbnch/JWorkbenchBase.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <initializer_list>

#include "display/style/styllib/StyleReport.h"
#include "display/style/styllib/StyleText.h"
#include "host/halvorn/halvorn.h"

namespace {

constexpr char kSource[] = "display/style/wrkbnch/wbbase";

bool IsNameless(LPCWSTR name) { return !name || !*name; }

// A style record of the librarian, handed back on every way out of the scope that asked for it.
class HeldRecord {
 public:
  explicit HeldRecord(IJSLLibrarian* librarian) : m_librarian(librarian) {}
  ~HeldRecord() {
    if (m_record) m_librarian->FreeStyleRecord(&m_record);
  }
  HeldRecord(const HeldRecord&) = delete;
  HeldRecord& operator=(const HeldRecord&) = delete;
  StyleRecord** Put() { return &m_record; }
  StyleRecord* operator->() const { return m_record; }

 private:
  IJSLLibrarian* m_librarian;
  StyleRecord* m_record = nullptr;
};

}  // namespace

JWorkbenchBase::JWorkbenchBase() = default;

JWorkbenchBase::JWorkbenchBase(IUnknown* outer) : UUnknown(outer) {}

JWorkbenchBase::~JWorkbenchBase() {
  StyleFreeText(m_name);
  StyleFreeText(m_secondString);
  StyleFreeText(m_description);
  StyleFreeText(m_displayName);
  ReleaseLibrary();
  ReleaseStyleObject();
}

void* JWorkbenchBase::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IWorkbenchAdmin)) return &m_IWorkbenchAdminImp;
  if (IsEqualIID(iid, IID_IWorkbenchNotify)) return &m_IWorkbenchNotifyImp;
  if (IsEqualIID(iid, IID_IJWorkbenchImplementation)) return &m_IJWorkbenchImplementationImp;
  return UUnknown::GetInterface(iid);
}

// ---- life cycle ----

HRESULT JWorkbenchBase::Init() {
  HRESULT hr = UUnknown::Init();
  if (FAILED(hr)) return hr;
  for (LPWSTR* text : {&m_name, &m_secondString, &m_description}) {
    StyleFreeText(*text);
    *text = nullptr;
  }
  m_descriptionStale = false;
  if (IsValidID(m_styleID) && m_librarian) {
    hr = m_librarian->ReleaseStyleID(m_styleID);
    if (FAILED(hr)) REPORT(hr);
    // The registry must not keep a workbench under an ID the workbench no longer edits.
    ForgetRegistration(m_styleID);
  }
  if (SUCCEEDED(hr)) {
    m_styleID = kNoStyleID;
    m_parentID = kNoStyleID;
    m_type = GUID_NULL;
  }
  ReleaseLibrary();
  ReleaseStyleObject();
  return hr;
}

void JWorkbenchBase::FinalRelease() {
  if (!m_librarian || !IsValidID(m_styleID)) return;
  const HRESULT hr = m_librarian->ReleaseStyleID(m_styleID);
  if (FAILED(hr)) REPORT(hr);
  // Even when the use could not be given back, the registry must not outlive the workbench.
  ForgetRegistration(m_styleID);
}

HRESULT JWorkbenchBase::BindLibrary(IUnknown* library) {
  HRESULT hr = library->QueryInterface(IID_IJSLLibrarian, reinterpret_cast<void**>(&m_librarian));
  if (SUCCEEDED(hr) && m_librarian) {
    hr = library->QueryInterface(IID_IJSLLibrarian2, reinterpret_cast<void**>(&m_library));
  }
  if (SUCCEEDED(hr) && m_library) return S_OK;
  ReleaseLibrary();
  return FAILED(hr) ? hr : E_NOINTERFACE;
}

void JWorkbenchBase::ReleaseLibrary() {
  for (IJSLLibrarian** slot : {&m_librarian, &m_library}) {
    if (IJSLLibrarian* held = *slot) {
      *slot = nullptr;
      held->Release();
    }
  }
}

HRESULT JWorkbenchBase::SetStyleObject(IUnknown* object) {
  IUnknown* identity = nullptr;
  if (object) {
    HRESULT hr = object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    if (FAILED(hr)) return hr;
  }
  ReleaseStyleObject();
  m_styleObject = identity;
  return S_OK;
}

void JWorkbenchBase::ReleaseStyleObject() {
  if (IUnknown* held = m_styleObject) {
    m_styleObject = nullptr;
    held->Release();
  }
}

HRESULT JWorkbenchBase::SetDescriptionText(LPCWSTR text) {
  if (!StyleReplaceText(&m_description, text)) return REPORT(E_OUTOFMEMORY);
  return S_OK;
}

HRESULT JWorkbenchBase::SaveSubWorkbench(IUnknown* workbench, bool* moved) {
  *moved = false;
  StyleComPtr<IWorkbenchAdmin> admin;
  HRESULT hr = workbench->QueryInterface(IID_IWorkbenchAdmin, admin.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJSLLibrarian> librarian;
  hr = admin->GetLibrarian(librarian.Put());
  if (FAILED(hr)) return REPORT(hr);
  if (!librarian) return S_OK;
  StyleComPtr<IUnknown> object;
  hr = admin->GetStyleObject(object.PutVoid(), IID_IUnknown);
  if (FAILED(hr)) return REPORT(hr);
  DWORD before = kNoStyleID;
  if (object) {
    hr = librarian->FindStyleID(object.Get(), &before);
    if (FAILED(hr)) return REPORT(hr);
  }
  DWORD saved = kNoStyleID;
  hr = admin->Save(&saved);
  if (FAILED(hr)) return REPORT(hr);
  *moved = saved != before;
  return S_OK;
}

HRESULT JWorkbenchBase::AskStyleName(DWORD id, LPWSTR* out) {
  *out = nullptr;
  if (!m_librarian) return S_OK;
  DWORD length = 0;
  HRESULT hr = m_librarian->GetStyleName(id, nullptr, &length);
  if (hr != S_OK || length == 0) return hr;
  auto* name = static_cast<LPWSTR>(std::calloc(length, sizeof(WCHAR)));
  if (!name) return E_OUTOFMEMORY;
  DWORD written = length;
  hr = m_librarian->GetStyleName(id, name, &written);
  // A name that grew between the two questions was not copied: nothing is answered rather than a cut name.
  if (hr != S_OK || written > length) {
    StyleFreeText(name);
    return FAILED(hr) ? hr : E_FAIL;
  }
  *out = name;
  return S_OK;
}

HRESULT JWorkbenchBase::FetchLibraryStyleObject() {
  if (m_styleObject || !IsValidID(m_styleID) || !m_library) return S_OK;
  return m_library->GetStyle(m_styleID, &m_styleObject);
}

// ---- the library's registry ----

HRESULT JWorkbenchBase::Workshop(IJSLWorkShop** out) {
  *out = nullptr;
  if (!m_librarian) return E_FAIL;
  return m_librarian->QueryInterface(IID_IJSLWorkShop, reinterpret_cast<void**>(out));
}

HRESULT JWorkbenchBase::RegisterUnder(DWORD id, DWORD oldID) {
  StyleComPtr<IJSLWorkShop> shop;
  HRESULT hr = Workshop(shop.Put());
  if (FAILED(hr)) return REPORT(hr);
  if (!IsValidID(oldID)) {
    // A workbench the registry cannot file is only not found there; nothing dangles.
    shop->RegisterWorkbench(id, Admin());
    return S_OK;
  }
  hr = shop->MoveWorkbench(id, oldID, Admin());
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

void JWorkbenchBase::ForgetRegistration(DWORD id) {
  StyleComPtr<IJSLWorkShop> shop;
  HRESULT hr = Workshop(shop.Put());
  if (SUCCEEDED(hr)) hr = shop->ForgetWorkbench(id);
  if (FAILED(hr)) REPORT(hr);
}

// ---- binding ----

HRESULT JWorkbenchBase::AttachNew(DWORD parentID, IUnknown* library) {
  HRESULT hr = Init();
  if (FAILED(hr)) return REPORT(hr);
  if (library) {
    hr = BindLibrary(library);
    if (FAILED(hr)) return REPORT(hr);
  }
  m_parentID = parentID;
  hr = InitNewStyle();
  if (FAILED(hr)) return REPORT(hr);
  // The new style reaches the library only through Save.
  MarkEdited();
  return S_OK;
}

HRESULT JWorkbenchBase::Attach(DWORD id, IUnknown* library) {
  HRESULT hr = Init();
  if (FAILED(hr)) return REPORT(hr);
  // Everything below goes through the library: without one there is nothing to attach to.
  if (!library || FAILED(BindLibrary(library))) return REPORT(E_INVALIDARG);
  if (IsValidID(id)) {
    hr = m_librarian->AddRefStyleID(id);
    if (FAILED(hr)) return REPORT(hr);
  }
  // Only an ID whose use is held is the workbench's: its release gives that use back.
  m_styleID = id;

  {
    HeldRecord record(m_library);
    hr = m_library->GetStyleRecord(id, record.Put());
    if (FAILED(hr)) return REPORT(hr);
    if (!IsNameless(record->name) && !StyleReplaceText(&m_name, record->name)) return REPORT(E_OUTOFMEMORY);
    if (!IsNameless(record->auxText) && !StyleReplaceText(&m_secondString, record->auxText)) {
      return REPORT(E_OUTOFMEMORY);
    }
    m_parentID = record->parentID;
    if (record->type) m_type = *record->type;
  }

  hr = LoadStyle();
  if (FAILED(hr)) return REPORT(hr);
  BOOL owned = FALSE;
  hr = IsOwnedByLibrary(m_library, id, &owned);
  if (FAILED(hr)) return REPORT(hr);
  // A style of another library is written into this one at the next save.
  m_dirty = owned ? 0 : 1;
  return S_OK;
}

HRESULT JWorkbenchBase::AttachObject(IUnknown* style) {
  HRESULT hr = Init();
  if (FAILED(hr)) return REPORT(hr);
  if (!style) return REPORT(E_INVALIDARG);
  hr = SetStyleObject(style);
  if (FAILED(hr)) return REPORT(hr);
  hr = LoadStyle();
  if (FAILED(hr)) return REPORT(hr);
  m_dirty = 0;
  return S_OK;
}

HRESULT JWorkbenchBase::GetStyleOwner(IUnknown* style, IUnknown** owner) {
  if (!owner) return REPORT(E_INVALIDARG);
  *owner = nullptr;
  if (!style) return REPORT(E_INVALIDARG);
  StyleComPtr<IJManageStyle2> manage;
  HRESULT hr = style->QueryInterface(IID_IJManageStyle2, manage.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  hr = manage->GetOwner(owner);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT JWorkbenchBase::IsOwnedByLibrary(IUnknown* library, DWORD id, BOOL* out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = library == nullptr;
  if (!library) return S_OK;
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = library->QueryInterface(IID_IJSLLibrarian2, librarian.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IUnknown> style;
  hr = librarian->GetStyle(id, style.Put());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IUnknown> owner;
  hr = GetStyleOwner(style.Get(), owner.Put());
  if (FAILED(hr)) return hr;
  if (owner) *out = StyleSameObject(owner.Get(), library);
  return S_OK;
}

// ---- saving ----

HRESULT JWorkbenchBase::Save(DWORD* id) {
  if (!id) return REPORT(E_INVALIDARG);
  *id = kNoStyleID;
  HRESULT hr = ValidateEdits();
  if (FAILED(hr)) return REPORT(hr);
  if (m_dirty && m_librarian) {
    // Failures are reported where they arise; the workbench stays dirty.
    hr = SaveEdits();
    if (FAILED(hr)) return hr;
  }
  // A new style saved without any change is its parent: it takes the parent's ID and a use of it.
  if (!m_dirty && !IsValidID(m_styleID) && IsValidID(m_parentID)) {
    if (m_librarian) {
      hr = m_librarian->AddRefStyleID(m_parentID);
      if (FAILED(hr)) return REPORT(hr);
    }
    m_styleID = m_parentID;
    m_parentID = kNoStyleID;
  }
  m_dirty = 0;
  *id = m_styleID;
  return S_OK;
}

HRESULT JWorkbenchBase::SaveEdits() {
  if (IsNameless(m_name)) {
    // StoreStyle builds a fresh object.
    ReleaseStyleObject();
    return AddToLibrary();
  }
  HRESULT hr;
  if (IsValidID(m_styleID)) {
    HeldRecord record(m_librarian);
    hr = m_librarian->GetStyleRecord(m_styleID, record.Put());
    if (FAILED(hr)) return REPORT(hr);
    if (!IsNameless(record->name) && std::wcscmp(record->name, m_name) != 0) {
      ReleaseStyleObject();
      return CommitToLibrary(true);
    }
  }
  DWORD found = kNoStyleID;
  m_librarian->FindStyleIDByName(m_name, &m_type, &found);  // only the ID tells
  ReleaseStyleObject();
  if (!IsValidID(found)) return AddToLibrary();
  if (found != m_styleID) {
    // Saving under the name of another style of the type overwrites that style: the workbench moves to its ID,
    // the use of the new ID taken before the old one is given back.
    const DWORD old = m_styleID;
    hr = m_librarian->AddRefStyleID(found);
    if (FAILED(hr)) return REPORT(hr);
    hr = RegisterUnder(found, old);
    if (FAILED(hr)) {
      m_librarian->ReleaseStyleID(found);
      return hr;
    }
    m_styleID = found;
    if (IsValidID(old)) {
      hr = m_librarian->ReleaseStyleID(old);
      if (FAILED(hr)) return REPORT(hr);
    }
  }
  return CommitToLibrary(false);
}

HRESULT JWorkbenchBase::AddToLibrary() {
  HRESULT hr = StoreStyle();
  if (FAILED(hr)) return REPORT(hr);
  if (!m_styleObject) return S_OK;
  StyleRecord record{m_name, m_secondString, m_styleObject, &m_type, m_parentID, 0};
  MarkObjectModified(m_librarian);
  DWORD newID = kNoStyleID;
  // The library reports its own refusals. A shared equal nameless style (0x40222) is a success with its ID.
  hr = m_librarian->AddStyle(&record, &newID);
  if (FAILED(hr)) return hr;
  // A success without an ID stored nothing: the edits are not saved.
  if (!IsValidID(newID)) return REPORT(E_FAIL);

  ReleaseStyleObject();
  hr = m_librarian->GetStyle(newID, &m_styleObject);
  if (FAILED(hr)) return REPORT(hr);
  if (newID == m_styleID) return S_OK;
  hr = OnStyleIDChanged(newID);
  if (FAILED(hr)) return REPORT(hr);
  const DWORD old = m_styleID;
  hr = m_librarian->AddRefStyleID(newID);
  if (FAILED(hr)) return REPORT(hr);
  hr = RegisterUnder(newID, old);
  if (FAILED(hr)) {
    m_librarian->ReleaseStyleID(newID);
    return hr;
  }
  m_styleID = newID;
  if (IsValidID(old)) {
    hr = m_librarian->ReleaseStyleID(old);
    if (FAILED(hr)) return REPORT(hr);
  }
  return S_OK;
}

HRESULT JWorkbenchBase::CommitToLibrary(bool rename) {
  // Only a bound entry can take the working copy (and only its ID may be filed in the registry).
  if (!m_librarian || !IsValidID(m_styleID)) return REPORT(E_FAIL);
  HRESULT hr = StoreStyle();
  if (FAILED(hr)) return REPORT(hr);
  if (m_styleObject) {
    MarkObjectModified(m_librarian);
    hr = m_librarian->ReplaceStyle(m_styleID, m_styleObject);
    if (FAILED(hr)) return REPORT(hr);
  }
  StyleComPtr<IJSLWorkShop> shop;
  hr = Workshop(shop.Put());
  if (SUCCEEDED(hr)) hr = shop->RegisterWorkbench(m_styleID, Admin());
  if (FAILED(hr)) return REPORT(hr);
  if (rename) {
    hr = m_librarian->RenameStyle(m_styleID, m_name, 0);
    if (FAILED(hr)) return REPORT(hr);
  }
  if (m_name) {
    hr = m_librarian->SetStyleNameString(m_name, &m_type, m_secondString);
    if (FAILED(hr)) return REPORT(hr);
  }
  return S_OK;
}

HRESULT JWorkbenchBase::GetStyleObject(void** out, REFIID iid) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  bool saved = true;
  if (m_librarian && m_dirty) {
    DWORD id = kNoStyleID;
    saved = SUCCEEDED(Save(&id));
  }
  HRESULT hr;
  if (m_styleObject) {
    hr = m_styleObject->QueryInterface(iid, out);
    if (FAILED(hr)) return REPORT(hr);
  } else if (!IsValidID(m_styleID)) {
    hr = CreateStyleObject();
    if (FAILED(hr)) return REPORT(hr);
    if (m_styleObject) {
      hr = m_styleObject->QueryInterface(iid, out);
      if (FAILED(hr)) return REPORT(hr);
    }
  } else {
    IJSLLibrarian* source = m_library ? m_library : m_librarian;
    if (!source) return REPORT(E_FAIL);
    StyleComPtr<IUnknown> style;
    hr = source->GetStyle(m_styleID, style.Put());
    if (FAILED(hr)) return REPORT(hr);
    if (style) {
      hr = style->QueryInterface(iid, out);
      if (FAILED(hr)) return REPORT(hr);
      hr = SetStyleObject(style.Get());
      if (FAILED(hr)) return REPORT(hr);
    }
  }
  // The object handed out is the library's only when the edits reached it.
  if (saved) m_dirty = 0;
  return S_OK;
}

// ---- naming ----

HRESULT JWorkbenchBase::SetName(LPCWSTR name) {
  if (!IsNameless(name) && m_librarian) {
    DWORD id = kNoStyleID;
    m_librarian->FindStyleIDByName(name, &m_type, &id);
    // Taken, also by this workbench's own style.
    if (IsValidID(id)) return S_FALSE;
  }
  if (!StyleReplaceText(&m_name, IsNameless(name) ? nullptr : name)) return REPORT(E_OUTOFMEMORY);
  MarkEdited();
  return S_OK;
}

HRESULT JWorkbenchBase::GetDescription(LPWSTR** out) {
  if (!out) return REPORT(E_INVALIDARG);
  if (!m_description || m_descriptionStale) {
    HRESULT hr = BuildDescription();
    if (FAILED(hr)) return REPORT(hr);
    m_descriptionStale = false;
  }
  *out = &m_description;
  return S_OK;
}

HRESULT JWorkbenchBase::SetSecondString(LPCWSTR text) {
  if (!StyleReplaceText(&m_secondString, text)) return REPORT(E_OUTOFMEMORY);
  MarkEdited();
  return S_OK;
}

HRESULT JWorkbenchBase::GetDisplayName(LPWSTR** out) {
  if (!out) return REPORT(E_INVALIDARG);
  StyleFreeText(m_displayName);
  m_displayName = nullptr;
  if (m_name) {
    m_displayName = StyleDupText(m_name);
  } else {
    m_displayName = static_cast<LPWSTR>(std::calloc(32, sizeof(WCHAR)));
    if (m_displayName && IsValidID(m_styleID)) {
      // Style IDs are unsigned: every valid one prints as its own decimal text.
      char digits[16] = {};
      std::snprintf(digits, sizeof digits, "%lu", static_cast<unsigned long>(m_styleID));
      for (int i = 0; digits[i]; ++i) m_displayName[i] = static_cast<WCHAR>(digits[i]);
    }
  }
  if (!m_displayName) return REPORT(E_OUTOFMEMORY);
  *out = &m_displayName;
  return S_OK;
}

// ---- parents ----

HRESULT JWorkbenchBase::GetParentWorkbench(IUnknown** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  if (!m_librarian) return S_OK;
  HRESULT hr;
  // A new style has no entry to ask; its parent is the one it was attached with.
  if (!IsValidID(m_parentID) && IsValidID(m_styleID)) {
    DWORD parent = kNoStyleID;
    hr = m_librarian->GetParentID(m_styleID, &parent);
    if (FAILED(hr)) return REPORT(hr);
    m_parentID = parent;
  }
  if (!IsValidID(m_parentID)) return S_OK;
  StyleComPtr<IJSLWorkShop> shop;
  hr = Workshop(shop.Put());
  if (FAILED(hr)) return REPORT(hr);
  IWorkbenchAdmin* parent = nullptr;
  hr = shop->GetWorkbench(m_parentID, FALSE, &parent);
  if (FAILED(hr)) return REPORT(hr);
  *out = parent;
  return S_OK;
}

HRESULT JWorkbenchBase::DetachFromParent() {
  if (m_librarian) {
    if (IsValidID(m_styleID)) {
      HRESULT hr = m_librarian->SetParentID(m_styleID, kNoStyleID);
      if (FAILED(hr)) return REPORT(hr);
    }
    MarkEdited();
  }
  m_parentID = kNoStyleID;
  return S_OK;
}

HRESULT JWorkbenchBase::HandleParentChanged(IUnknown* parent) {
  HRESULT changed = OnParentChanged(parent);
  if (FAILED(changed)) return REPORT(changed);
  if (changed != S_FALSE) return changed;
  MarkEdited();
  HRESULT hr = CommitToLibrary(false);
  if (FAILED(hr)) return hr;
  m_dirty = 0;
  return S_FALSE;
}

HRESULT JWorkbenchBase::HandleParentRemoved(IUnknown* parent) {
  if (!parent) return REPORT(E_INVALIDARG);
  HRESULT hr = OnParentRemoved(parent);
  if (FAILED(hr)) return REPORT(hr);
  if (hr == S_FALSE) {
    MarkEdited();
    if (SUCCEEDED(CommitToLibrary(false))) m_dirty = 0;
  }
  // The style now derives from whatever the parent's workbench saves to: its own ID, or, for an unchanged new
  // style, its parent's.
  StyleComPtr<IWorkbenchAdmin> admin;
  hr = parent->QueryInterface(IID_IWorkbenchAdmin, admin.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  DWORD saved = kNoStyleID;
  hr = admin->Save(&saved);
  if (FAILED(hr)) return REPORT(hr);
  m_parentID = saved;
  return hr;
}

// ---- operations for the workbench classes ----

HRESULT JWorkbenchBase::InitNewStyle() { return S_OK; }
HRESULT JWorkbenchBase::LoadStyle() { return S_OK; }
HRESULT JWorkbenchBase::StoreStyle() { return S_OK; }
HRESULT JWorkbenchBase::CreateStyleObject() { return S_OK; }
HRESULT JWorkbenchBase::ValidateEdits() { return S_OK; }
HRESULT JWorkbenchBase::BuildDescription() { return S_OK; }
HRESULT JWorkbenchBase::OnStyleIDChanged(DWORD) { return S_OK; }
HRESULT JWorkbenchBase::OnParentChanged(IUnknown*) { return S_OK; }
HRESULT JWorkbenchBase::OnParentRemoved(IUnknown*) { return S_OK; }

// ---- IWorkbenchAdmin ----

using AdminImp = JWorkbenchBase::IWorkbenchAdminImp;

HRESULT STDMETHODCALLTYPE AdminImp::AttachNew(DWORD parentID, IUnknown* library) {
  return Object()->AttachNew(parentID, library);
}
HRESULT STDMETHODCALLTYPE AdminImp::Attach(DWORD id, IUnknown* library) { return Object()->Attach(id, library); }
HRESULT STDMETHODCALLTYPE AdminImp::AttachObject(IUnknown* style) { return Object()->AttachObject(style); }
HRESULT STDMETHODCALLTYPE AdminImp::Save(DWORD* id) { return Object()->Save(id); }
HRESULT STDMETHODCALLTYPE AdminImp::GetStyleObject(void** out, REFIID iid) {
  return Object()->GetStyleObject(out, iid);
}

HRESULT STDMETHODCALLTYPE AdminImp::GetLibrarian(IJSLLibrarian** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = Object()->m_librarian;
  if (*out) (*out)->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE AdminImp::GetName(LPWSTR** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = &Object()->m_name;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE AdminImp::SetName(LPCWSTR name) { return Object()->SetName(name); }
HRESULT STDMETHODCALLTYPE AdminImp::GetDescription(LPWSTR** out) { return Object()->GetDescription(out); }

HRESULT STDMETHODCALLTYPE AdminImp::GetSecondString(LPWSTR** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = &Object()->m_secondString;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE AdminImp::SetSecondString(LPCWSTR text) { return Object()->SetSecondString(text); }
HRESULT STDMETHODCALLTYPE AdminImp::GetParentWorkbench(IUnknown** out) { return Object()->GetParentWorkbench(out); }
HRESULT STDMETHODCALLTYPE AdminImp::DetachFromParent() { return Object()->DetachFromParent(); }
HRESULT STDMETHODCALLTYPE AdminImp::GetDisplayName(LPWSTR** out) { return Object()->GetDisplayName(out); }

// ---- IWorkbenchNotify ----

namespace {

// Hands the parent's workbench, as its IUnknown, to main slot 24 or 25.
template <class Handler>
HRESULT DeliverNotice(IUnknown* parentWorkbench, Handler handle) {
  if (!parentWorkbench) return REPORT(E_INVALIDARG);
  StyleComPtr<IUnknown> parent;
  HRESULT hr = parentWorkbench->QueryInterface(IID_IUnknown, parent.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  return handle(parent.Get());
}

}  // namespace

HRESULT STDMETHODCALLTYPE JWorkbenchBase::IWorkbenchNotifyImp::ParentChanged(IUnknown* parentWorkbench) {
  return DeliverNotice(parentWorkbench, [this](IUnknown* parent) { return Object()->HandleParentChanged(parent); });
}

HRESULT STDMETHODCALLTYPE JWorkbenchBase::IWorkbenchNotifyImp::ParentRemoved(IUnknown* parentWorkbench) {
  return DeliverNotice(parentWorkbench, [this](IUnknown* parent) { return Object()->HandleParentRemoved(parent); });
}

JWorkbenchBase* STDMETHODCALLTYPE JWorkbenchBase::IJWorkbenchImplementationImp::GetImplementation() {
  return Object();
}

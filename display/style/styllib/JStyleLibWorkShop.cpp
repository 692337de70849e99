// JStyleLib's registry of workbenches: at most one registered workbench per style ID, so that everyone who edits
// a style edits it in the same workbench. The registry holds no reference: a workbench forgets itself here when
// it goes away.
#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/StyleNameMap.h"
#include "display/style/styllib/StyleReport.h"

namespace {

constexpr char kSource[] = "SLWRKSHP";

using Imp = JStyleLib::IJSLWorkShopImp;

bool IsEmptyName(LPCWSTR name) { return !name || !*name; }

}  // namespace

HRESULT JStyleLib::NewWorkbench(const GUID& type, DWORD id, bool attachNew, IWorkbenchAdmin** out) {
  *out = nullptr;
  // A workbench's class is its style type.
  StyleComPtr<IWorkbenchAdmin> workbench;
  HRESULT hr = CreateOwnInstanceOrFatal(type, IID_IWorkbenchAdmin, workbench.PutVoid(), kSource, __LINE__);
  if (FAILED(hr)) return hr;
  hr = attachNew ? workbench->AttachNew(id, Librarian()) : workbench->Attach(id, Librarian());
  if (FAILED(hr)) return REPORT(hr);
  *out = workbench.Detach();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetWorkbench(DWORD id, BOOL forceNew, IWorkbenchAdmin** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  JStyleLib* library = Object();
  if (!library->IsValidID(id)) return REPORT(E_FAIL);
  if (!forceNew) {
    if (IUnknown* registered = library->m_workbenches.Lookup(id)) {
      *out = static_cast<IWorkbenchAdmin*>(registered);
      (*out)->AddRef();
      return S_OK;
    }
  }
  const GUID type = library->TypeOf(*library->EntryAt(id))->type;
  StyleComPtr<IWorkbenchAdmin> workbench;
  HRESULT hr = library->NewWorkbench(type, id, forceNew != FALSE, workbench.Put());
  if (FAILED(hr)) return hr;
  if (!forceNew && !library->m_workbenches.SetAt(id, workbench.Get())) return REPORT(E_OUTOFMEMORY);
  *out = workbench.Detach();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::GetWorkbenchByName(LPCWSTR name, const GUID* type, BOOL createNew, BOOL detached,
                                                  IWorkbenchAdmin** out) {
  if ((createNew && detached) || (detached && IsEmptyName(name)) || !out || !type) return REPORT(E_INVALIDARG);
  *out = nullptr;
  JStyleLib* library = Object();
  HRESULT hr;
  if (createNew) {
    if (!IsEmptyName(name)) {
      DWORD existing = 0;
      WORD index = 0;
      if (library->Types().FindType(*type, &index) &&
          (SUCCEEDED(library->FindIDByName(index, name, &existing)) || library->Types().CallNameMap(index, name))) {
        return REPORT(E_FAIL);
      }
    }
    StyleComPtr<IWorkbenchAdmin> workbench;
    hr = library->NewWorkbench(*type, 0, true, workbench.Put());
    if (FAILED(hr)) return hr;
    if (!IsEmptyName(name)) {
      hr = workbench->SetName(name);
      if (FAILED(hr)) return REPORT(hr);
    }
    *out = workbench.Detach();
    return S_OK;
  }
  if (IsEmptyName(name)) return REPORT(E_FAIL);
  DWORD id = 0;
  hr = library->Librarian()->FindOrCreateStyleID(name, type, &id);
  if (FAILED(hr)) return REPORT(hr);
  if (id == 0) return REPORT(E_FAIL);
  if (detached) return library->NewWorkbench(*type, id, true, out);
  return GetWorkbench(id, FALSE, out);
}

HRESULT STDMETHODCALLTYPE Imp::GetWorkbenchOfStyle(IUnknown* style, BOOL forceNew, IWorkbenchAdmin** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  DWORD id = 0;
  HRESULT hr = Object()->Librarian()->FindStyleID(style, &id);
  if (FAILED(hr)) return REPORT(hr);
  hr = GetWorkbench(id, forceNew, out);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT STDMETHODCALLTYPE Imp::ForgetWorkbench(DWORD id) {
  Object()->m_workbenches.RemoveKey(id);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::RegisterWorkbench(DWORD id, IUnknown* workbench) {
  if (!workbench) return REPORT(E_INVALIDARG);
  StyleComPtr<IWorkbenchAdmin> admin;
  HRESULT hr = workbench->QueryInterface(IID_IWorkbenchAdmin, admin.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  // The registry keeps the pointer without a reference: the workbench's users keep it alive.
  if (!Object()->m_workbenches.SetAt(id, admin.Get())) return REPORT(E_OUTOFMEMORY);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE Imp::MoveWorkbench(DWORD newID, DWORD oldID, IUnknown* workbench) {
  Object()->m_workbenches.RemoveKey(oldID);
  HRESULT hr = RegisterWorkbench(newID, workbench);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

// ---- IJSLibAccess ----

HRESULT STDMETHODCALLTYPE JStyleLib::IJSLibAccessImp::EnumTypeItems(const GUID* type,
                                                                    StyleDescriptorCallback callback,
                                                                    void* context) {
  JStyleLib* library = Object();
  if (!callback) return E_INVALIDARG;
  if (!library->m_objectsLoadedForAccess) {
    for (DWORD i = 1; i <= library->HighestID(); ++i) {
      if (library->EntryAt(i)->persistentID != kPersistentIDNone) library->GetEntry(i);
    }
    library->m_objectsLoadedForAccess = 1;
  }
  WORD index = 0;
  if (!type || !library->Types().FindType(*type, &index)) return S_OK;
  const StyleNameMap* names = library->Types().At(index)->names;
  if (!names) return E_FAIL;
  HRESULT hr = S_OK;
  ULONG_PTR position = names->GetStartPosition();
  while (position) {
    JSymbolDescriptor* descriptor = nullptr;
    if (FAILED(names->GetNextDescriptor(&position, &descriptor))) break;
    hr = callback(descriptor, context);
    if (FAILED(hr)) return StyleReport("SLACCESS", hr, __LINE__);
  }
  return hr;
}

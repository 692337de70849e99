#include "display/style/wrkshop/JStyleWorkshop.h"

#include <cstdlib>

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/StyleReport.h"
#include "display/style/styllib/StyleText.h"
#include "display/style/wrkshop/JStyleDescriptor.h"

namespace {

constexpr char kSource[] = "display/style/wrkshop/wrkshop";
constexpr char kServiceSource[] = "display/style/wrkshop/Service";

}  // namespace

HRESULT JStyleWorkshop::Init() {
  HRESULT hr = UUnknown::Init();
  if (SUCCEEDED(hr)) m_librarian = nullptr;
  return hr;
}

void* JStyleWorkshop::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJWrkShop)) return &m_IJWrkShopImp;
  if (IsEqualIID(iid, IID_IJStyleEdit)) return &m_IJStyleEditImp;
  if (IsEqualIID(iid, IID_IJShopServices)) return &m_IJShopServicesImp;
  return UUnknown::GetInterface(iid);
}

HRESULT StyleDescriptorRecordOf(IJStylDes* descriptor, IJStyleDescriptorRecord** out) {
  *out = nullptr;
  if (!descriptor || FAILED(descriptor->QueryInterface(IID_IJStyleDescriptorRecord, reinterpret_cast<void**>(out))) ||
      !*out) {
    *out = nullptr;
    return E_INVALIDARG;
  }
  return S_OK;
}

HRESULT JStyleWorkshop::CreateEditorForType(const GUID* type, IJTextStyleEditor** out) {
  *out = nullptr;
  const CLSID* editor = nullptr;
  if (type && IsEqualGUID(*type, STYLETYPE_TextPara)) editor = &CLSID_TextParaEditor;
  if (type && IsEqualGUID(*type, STYLETYPE_TextChar)) editor = &CLSID_TextCharEditor;
  if (!editor) return E_FAIL;
  HRESULT hr = JCoCreateInstance(*editor, nullptr, CLSCTX_INPROC_SERVER, IID_IJTextStyleEditor,
                                 reinterpret_cast<void**>(out), 1);
  if (FAILED(hr)) return REPORT(hr);
  return S_OK;
}

HRESULT JStyleWorkshop::NewDescriptor(StyleRecord* record, DWORD id, IJStylDes** out) {
  *out = nullptr;
  StyleComPtr<IJStyleDescriptorRecord> access;
  HRESULT hr = CreateInProcessInstance(CLSID_JStyleDescriptor, IID_IJStyleDescriptorRecord, access.PutVoid());
  if (SUCCEEDED(hr)) hr = access->QueryInterface(IID_IJStylDes, reinterpret_cast<void**>(out));
  if (FAILED(hr)) return REPORT(hr);
  // Last, so that a failure leaves the record with the caller.
  access->SetRecord(record);
  access->SetStyleID(id);
  return S_OK;
}

// ---- IJShopServices ----

HRESULT STDMETHODCALLTYPE JStyleWorkshop::IJShopServicesImp::ConnectLibrary() {
  JStyleWorkshop* self = Object();
  self->m_librarian = nullptr;
  IJSLLibrarian* librarian = nullptr;
  HRESULT hr = self->GetControllingUnknown()->QueryInterface(IID_IJSLLibrarian, reinterpret_cast<void**>(&librarian));
  if (FAILED(hr) || !librarian) return StyleReport(kServiceSource, FAILED(hr) ? hr : E_NOINTERFACE, __LINE__);
  self->m_librarian = librarian;
  librarian->Release();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleWorkshop::IJShopServicesImp::GetLibrarian(IJSLLibrarian** out) {
  if (!out) return StyleReport(kServiceSource, E_INVALIDARG, __LINE__);
  *out = Object()->m_librarian;
  if (*out) (*out)->AddRef();
  return S_OK;
}

// ---- IJWrkShop ----

HRESULT JStyleWorkshop::OpenEditor(DWORD id, BOOL derived, IUnknown** editor) {
  if (!editor) return REPORT(E_INVALIDARG);
  *editor = nullptr;
  if (!m_librarian) return REPORT(E_UNEXPECTED);
  StyleRecord* record = nullptr;
  HRESULT hr = m_librarian->GetStyleRecord(id, &record);
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJTextStyleEditor> textEditor;
  StyleComPtr<IJStylDes> descriptor;
  hr = CreateEditorForType(record->type, textEditor.Put());
  if (SUCCEEDED(hr)) hr = NewDescriptor(record, id, descriptor.Put());
  if (FAILED(hr)) {
    // No descriptor has taken the record: the librarian that made it frees it.
    m_librarian->FreeStyleRecord(&record);
    return REPORT(hr);
  }
  hr = textEditor->EditStyle(descriptor.Get(), &m_IJWrkShopImp);
  if (FAILED(hr)) return REPORT(hr);
  if (!derived) {
    *editor = textEditor.Detach();
    return S_OK;
  }
  return OpenDerivedEditor(id, descriptor.Get(), textEditor.Get(), editor);
}

// A new style that derives from `id`, edited by a second editor whose descriptor keeps the first editor as its
// context: the record of `id` without name, second string and object, with `id` as its parent.
HRESULT JStyleWorkshop::OpenDerivedEditor(DWORD id, IJStylDes* first, IJTextStyleEditor* firstEditor,
                                          IUnknown** editor) {
  StyleComPtr<IJStyleDescriptorRecord> firstAccess;
  StyleRecord* firstRecord = nullptr;
  HRESULT hr = StyleDescriptorRecordOf(first, firstAccess.Put());
  if (SUCCEEDED(hr)) hr = firstAccess->GetRecord(&firstRecord);
  if (FAILED(hr)) return REPORT(hr);
  StyleRecord* record = nullptr;
  hr = m_librarian->GetStyleRecord(id, &record);
  if (FAILED(hr)) return REPORT(hr);
  StyleFreeText(record->name);
  StyleFreeText(record->auxText);
  if (record->styleObject) record->styleObject->Release();
  record->name = record->auxText = nullptr;
  record->styleObject = nullptr;
  record->entryFlags = firstRecord->entryFlags;
  record->parentID = id;
  StyleComPtr<IJStylDes> descriptor;
  hr = NewDescriptor(record, kNoStyleID, descriptor.Put());
  if (FAILED(hr)) {
    m_librarian->FreeStyleRecord(&record);
    return REPORT(hr);
  }
  // The context is set once the descriptor has its record: a descriptor without one answers nothing.
  hr = descriptor->SetContext(firstEditor);
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJTextStyleEditor> textEditor;
  hr = CreateEditorForType(firstRecord->type, textEditor.Put());
  if (FAILED(hr)) return REPORT(hr);
  hr = textEditor->EditDerivedStyle(descriptor.Get(), &m_IJWrkShopImp);
  if (FAILED(hr)) return REPORT(hr);
  *editor = textEditor.Detach();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleWorkshop::IJWrkShopImp::OpenEditor(DWORD id, BOOL derived, IUnknown** editor) {
  return Object()->OpenEditor(id, derived, editor);
}

HRESULT STDMETHODCALLTYPE JStyleWorkshop::IJWrkShopImp::OpenEditorByName(LPCWSTR name, const GUID* type,
                                                                         BOOL newStyle, BOOL derived,
                                                                         IUnknown** editor) {
  JStyleWorkshop* self = Object();
  if (!editor) return REPORT(E_INVALIDARG);
  *editor = nullptr;
  if (!type) return REPORT(E_INVALIDARG);
  if (!self->m_librarian) return REPORT(E_UNEXPECTED);
  if (!newStyle) {
    DWORD id = kNoStyleID;
    HRESULT hr = self->m_librarian->FindOrCreateStyleID(name, type, &id);
    if (SUCCEEDED(hr) && id == kNoStyleID) hr = E_FAIL;
    if (FAILED(hr)) return REPORT(hr);
    return self->OpenEditor(id, derived, editor);
  }

  // A style not yet in the library: a record of its own, on the heap the descriptor frees it from.
  auto* record = static_cast<StyleRecord*>(std::calloc(1, sizeof(StyleRecord)));
  if (record) record->type = static_cast<GUID*>(std::malloc(sizeof(GUID)));
  if (record && name && *name) record->name = StyleDupText(name);
  if (!record || !record->type || (name && *name && !record->name)) {
    JStyleDescriptor::FreeRecord(record);
    return REPORT(E_FAIL);
  }
  *record->type = *type;
  StyleComPtr<IJStylDes> descriptor;
  HRESULT hr = NewDescriptor(record, kNoStyleID, descriptor.Put());
  if (FAILED(hr)) {
    JStyleDescriptor::FreeRecord(record);
    return REPORT(hr);
  }
  StyleComPtr<IJTextStyleEditor> textEditor;
  hr = CreateEditorForType(type, textEditor.Put());
  if (SUCCEEDED(hr)) hr = textEditor->EditNewStyle(descriptor.Get(), this);
  if (FAILED(hr)) return REPORT(hr);
  *editor = textEditor.Detach();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleWorkshop::IJWrkShopImp::OpenEditorForStyle(IUnknown* style, BOOL derived,
                                                                           IUnknown** editor) {
  JStyleWorkshop* self = Object();
  if (!editor) return REPORT(E_INVALIDARG);
  *editor = nullptr;
  if (!style) return REPORT(E_INVALIDARG);
  if (!self->m_librarian) return REPORT(E_UNEXPECTED);
  DWORD id = kNoStyleID;
  HRESULT hr = self->m_librarian->FindStyleID(style, &id);
  if (SUCCEEDED(hr)) hr = self->OpenEditor(id, derived, editor);
  if (FAILED(hr)) return REPORT(hr);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE JStyleWorkshop::IJWrkShopImp::AttachEditor(IUnknown* editor, DWORD* id) {
  if (!id) return REPORT(E_INVALIDARG);
  *id = kNoStyleID;
  if (!editor) return REPORT(E_INVALIDARG);
  StyleComPtr<IJTextStyleEditor> textEditor;
  HRESULT hr = editor->QueryInterface(IID_IJTextStyleEditor, textEditor.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJStyleEdit> edit;
  hr = QueryInterface(IID_IJStyleEdit, edit.PutVoid());
  if (SUCCEEDED(hr)) hr = textEditor->SetStyleEdit(edit.Get());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IUnknown> descriptor;
  hr = textEditor->GetDescriptor(descriptor.Put());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJStyleDescriptorRecord> access;
  if (!descriptor ||
      FAILED(descriptor->QueryInterface(IID_IJStyleDescriptorRecord, access.PutVoid()))) {
    return REPORT(E_FAIL);
  }
  hr = access->GetStyleID(id);
  if (FAILED(hr)) return REPORT(hr);
  return S_OK;
}

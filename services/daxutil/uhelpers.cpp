// The engine's change notifications around an edit and the calls into a document's services.
#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/styllib/StyleReport.h"
#include "host/halvorn/halvorn.h"
#include "services/daxutil/daxutil.h"

namespace {

constexpr char kSource[] = "UHELPERS";

// The document service under which a symbol definition registers.
constexpr IID kSymbolDefinitionService = {0x22A0C900, 0xC016, 0x11CD, {0xBF, 0x29, 0x08, 0x00, 0x36, 0x01, 0xB1, 0xFE}};

// What a call into the document services passes when neither the caller nor the document has a context.
constexpr ULONG_PTR kNoContext = 2;

// The engine's document of the object, with a reference; null when it is in none.
void DocumentOf(IUnknown* object, StyleComPtr<IJDocumentNamedObjects>& document) {
  if (FAILED(GetObjectDocument(object, document.Put()))) document.Detach();  // a failing engine hands out nothing
}

}  // namespace

HRESULT WINAPI UHelperBeginChange(IUnknown* object, const IID* iid) {
  if (!object) return S_OK;
  const HRESULT hr = NotifyBeforeChange(object, iid);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI UHelperNotifyChange(IUnknown* object, BOOL done) {
  if (!object) return S_OK;
  HRESULT hr = NotifyObjectChange(object);
  if (FAILED(hr)) return REPORT(hr);
  if (done) {
    hr = NotifyChangeDone(object);
    if (FAILED(hr)) REPORT(hr);
  }
  return hr;
}

HRESULT WINAPI UHelperRefreshObject(IUnknown* object) {
  if (!object) return S_OK;
  StyleComPtr<IJDocumentNamedObjects> document;
  DocumentOf(object, document);
  HRESULT hr;
  if (document) {
    StyleComPtr<IUnknown> relink;
    if (SUCCEEDED(document->GetRelinkService(relink.Put())) && relink) {
      DWORD persistentID = 0;
      hr = document->RegisterObject(object, &persistentID, nullptr);
      if (FAILED(hr)) return REPORT(hr);
      hr = EngineRelinkObject(relink.Get(), &persistentID, document.Get(), 0);
      if (FAILED(hr)) return REPORT(hr);
    }
  }
  hr = NotifyObjectRefresh(object);
  if (FAILED(hr)) return REPORT(hr);
  hr = NotifyChangeDone(object);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI UHelperRegisterSymbolDefinition(IUnknown* object, DWORD value) {
  if (!object) return REPORT(E_INVALIDARG);
  StyleComPtr<IJDocumentNamedObjects> document;
  DocumentOf(object, document);
  HRESULT hr;
  if (!document) {
    hr = object->QueryInterface(IID_IJDocumentNamedObjects, document.PutVoid());
    if (FAILED(hr)) return REPORT(hr);
  }
  hr = RegisterDocumentService(document.Get(), &kSymbolDefinitionService, value);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI UHelperCallDocument(IUnknown* object, IUnknown* target, DWORD value, IUnknown* context, DWORD mode) {
  if (!target) return REPORT(E_FAIL);
  if (EngineHandlesTarget(target) == 1) return S_OK;

  // The services: the object's document, the object itself, or without an object the active document.
  StyleComPtr<IJDocumentNamedObjects> services;
  HRESULT hr;
  if (object) {
    DocumentOf(object, services);
    if (!services) {
      hr = object->QueryInterface(IID_IJDocumentNamedObjects, services.PutVoid());
      if (FAILED(hr)) return REPORT(hr);
    }
  } else {
    StyleComPtr<IJApplicationStyleFiles> application;
    hr = GetAppInterface(&IID_IJApplicationStyleFiles, application.PutVoid());
    if (FAILED(hr)) return REPORT(hr);
    if (!application) return REPORT(E_FAIL);
    hr = application->GetActiveDocument(IID_IJDocumentNamedObjects, services.PutVoid());
    if (FAILED(hr)) return REPORT(hr);
  }
  if (!services) return REPORT(E_FAIL);

  // The context: the caller's, else the services' own, else the engine's default.
  StyleComPtr<IUnknown> own;
  if (!context) {
    hr = services->GetServiceContext(own.Put());
    if (FAILED(hr)) return REPORT(hr);
    context = own.Get();
  }
  if (!context) {
    hr = EngineObjectContext(object);
    if (FAILED(hr)) return REPORT(hr);
  }
  hr = services->CallService(target, value, context ? reinterpret_cast<ULONG_PTR>(context) : kNoContext, mode);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

BOOL WINAPI UHelperEngineToggle() {
  if (EngineGetState(0) != 0) return FALSE;
  EngineSetState(0);
  return TRUE;
}

const DocumentServiceTable* GetDocumentServiceTable() {
  static const DocumentServiceTable table{
      sizeof(DocumentServiceTable),
      &GetStyleLibrarian,
      &GetStyleOwnerLibrarian,
      &SetElementStyleID,
      &GetElementStyle,
      &ApplyActiveStyle,
      &ApplyActiveStyle2,
      &ApplyStyleObject,
      &AddNewSegmentedStyle,
      &GetProcessLibrarian,
      &SetProcessLibrarian,
      &UHelperBeginChange,
      &UHelperNotifyChange,
      &UHelperRefreshObject,
      &UHelperRegisterSymbolDefinition,
      &UHelperCallDocument,
      &UHelperEngineToggle,
      &StyleCheck,
  };
  return &table;
}

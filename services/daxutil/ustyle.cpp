// The librarian lookup of a document and the element and style helpers built on it.
#include "display/style/server.h"
#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/StyleReport.h"
#include "host/halvorn/elements.h"
#include "host/halvorn/halvorn.h"
#include "services/daxutil/daxutil.h"

namespace {

constexpr char kSource[] = "ustyle";

// AddStyle's answer when an equal unnamed style exists; its ID is handed out.
constexpr HRESULT kEqualStyleExists = 0x40222;

// The library of a document through its own interface. A success that hands out nothing is no librarian.
HRESULT LibrarianOfDocument(IJDocument2* document, IJSLLibrarian** out) {
  HRESULT hr = document->GetLibraryInterface(IID_IJSLLibrarian, reinterpret_cast<void**>(out));
  if (SUCCEEDED(hr) && !*out) hr = E_POINTER;
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

// The library of a document that offers only its named objects: its object "StyleLibrarian". Each failing
// call ends the lookup.
HRESULT LibrarianOfNamedObject(IJDocumentNamedObjects* document, IJSLLibrarian** out) {
  StyleComPtr<IJNamedObjectHolder> holder;
  HRESULT hr = document->GetNamedObject(L"StyleLibrarian", holder.Put());
  if (SUCCEEDED(hr) && !holder) hr = E_POINTER;
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IUnknown> named;
  hr = holder->GetTarget(named.Put());
  if (SUCCEEDED(hr) && !named) hr = E_POINTER;
  if (FAILED(hr)) return REPORT(hr);
  hr = named->QueryInterface(IID_IJSLLibrarian, reinterpret_cast<void**>(out));
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

// The library of the application's active document. Without an application or an active document the
// failure is answered unreported and *out is left alone.
HRESULT LibrarianOfActiveDocument(IJSLLibrarian** out) {
  StyleComPtr<IJApplicationStyleFiles> application;
  HRESULT hr = GetAppInterface(&IID_IJApplicationStyleFiles, application.PutVoid());
  if (FAILED(hr)) return hr;
  if (!application) return E_FAIL;
  StyleComPtr<IJDocument2> active;
  hr = application->GetActiveDocument(IID_IJDocument2, active.PutVoid());
  if (FAILED(hr)) return hr;
  if (!active) return E_FAIL;
  return LibrarianOfDocument(active.Get(), out);
}

}  // namespace

HRESULT WINAPI GetStyleLibrarian(IUnknown* object, IJSLLibrarian** out) {
  if (!object || !out) return REPORT(E_INVALIDARG);

  // An object that is a document answers for itself, whatever its answer.
  StyleComPtr<IJDocument2> document2;
  if (SUCCEEDED(object->QueryInterface(IID_IJDocument2, document2.PutVoid())) && document2) {
    return LibrarianOfDocument(document2.Get(), out);
  }

  // Next the document that holds the object; an object in no document is no error.
  StyleComPtr<IJDocumentNamedObjects> document;
  if (FAILED(GetObjectDocument(object, document.Put()))) document.Detach();  // a failing engine hands out nothing
  if (document && SUCCEEDED(document->QueryInterface(IID_IJDocument2, document2.PutVoid())) && document2) {
    return LibrarianOfDocument(document2.Get(), out);
  }

  // A document that offers only named objects decides too, also when it has no "StyleLibrarian".
  if (!document) object->QueryInterface(IID_IJDocumentNamedObjects, document.PutVoid());
  if (document) return LibrarianOfNamedObject(document.Get(), out);

  // The process-wide librarian holds no reference of its own: the caller gets one.
  IUnknown* process = nullptr;
  HRESULT hr = HUseStyleLibrarian(0, &process);
  if (FAILED(hr)) return REPORT(hr);
  if (process) {
    hr = process->QueryInterface(IID_IJSLLibrarian, reinterpret_cast<void**>(out));
    if (FAILED(hr)) REPORT(hr);
    return hr;
  }
  return LibrarianOfActiveDocument(out);
}

HRESULT WINAPI GetStyleOwnerLibrarian(IUnknown* style, IJSLLibrarian** out) {
  if (!out) return S_OK;
  *out = nullptr;
  if (!style) return REPORT(E_INVALIDARG);
  StyleComPtr<IJManageStyle2> manage;
  HRESULT hr = style->QueryInterface(IID_IJManageStyle2, manage.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IUnknown> owner;
  hr = manage->GetOwner(owner.Put());
  if (FAILED(hr)) return REPORT(hr);
  if (!owner) return E_NOINTERFACE;
  hr = owner->QueryInterface(IID_IJSLLibrarian, reinterpret_cast<void**>(out));
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI SetElementStyleID(IUnknown* element, DWORD id, DWORD notifyBefore, DWORD notifyAfter) {
  if (!element) return S_OK;
  StyleComPtr<IJStyledElement> styled;
  HRESULT hr = element->QueryInterface(IID_IJStyledElement, styled.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  if (notifyBefore) {
    hr = UHelperBeginChange(element, &IID_IJStyledElement);
    if (FAILED(hr)) return REPORT(hr);
  }
  hr = styled->SetStyleID(id);
  if (FAILED(hr)) REPORT(hr);
  if (!notifyAfter) return hr;
  // The engine hears that the change is over even when the element refused it; a refusal stays the answer.
  const HRESULT done = NotifyChangeDone(element);
  if (FAILED(done)) REPORT(done);
  return FAILED(hr) ? hr : done;
}

HRESULT WINAPI GetElementStyle(IUnknown* element, IUnknown** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  if (!element) return REPORT(E_INVALIDARG);
  StyleComPtr<IJStyledElement> styled;
  HRESULT hr = element->QueryInterface(IID_IJStyledElement, styled.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  DWORD id = kNoStyleID;
  hr = styled->GetStyleID(&id);
  if (FAILED(hr)) return REPORT(hr);

  if (id != kNoStyleID) {
    StyleComPtr<IJSLLibrarian> librarian;
    hr = GetStyleLibrarian(element, librarian.Put());
    if (FAILED(hr)) return REPORT(hr);
    hr = librarian->GetStyle(id, out);
    if (FAILED(hr)) REPORT(hr);
    return hr;
  }

  // Without an ID the element may still show a style of its own; not having one is no failure worth a report.
  StyleComPtr<IJElementStyleSource> source;
  hr = element->QueryInterface(IID_IJElementStyleSource, source.PutVoid());
  if (FAILED(hr) || !source) return hr;
  StyleComPtr<IUnknown> shown;
  hr = source->GetStyleObject(shown.Put());
  if (FAILED(hr) || !shown) return hr;
  hr = shown->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(out));
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI ApplyActiveStyle(IUnknown* element, const GUID* type, DWORD notifyBefore, DWORD notifyAfter) {
  if (!element) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = GetStyleLibrarian(element, librarian.Put());
  if (FAILED(hr)) return REPORT(hr);
  DWORD id = kNoStyleID;
  hr = librarian->GetActiveStyleID(type ? type : &STYLETYPE_Linear, &id, 1);
  if (FAILED(hr)) return REPORT(hr);
  if (id == kNoStyleID) return hr;
  hr = SetElementStyleID(element, id, notifyBefore, notifyAfter);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI ApplyActiveStyle2(IUnknown* element, const GUID* type, DWORD notifyBefore, DWORD notifyAfter) {
  return ApplyActiveStyle(element, type, notifyBefore, notifyAfter);
}

HRESULT WINAPI ApplyStyleObject(IUnknown* element, IUnknown* style) {
  if (!element || !style) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = GetStyleLibrarian(element, librarian.Put());
  if (FAILED(hr)) return REPORT(hr);
  DWORD id = kNoStyleID;
  hr = librarian->FindStyleID(style, &id);
  if (FAILED(hr)) return REPORT(hr);
  hr = SetElementStyleID(element, id, 0, 0);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI AddNewSegmentedStyle(DWORD, IJSLLibrarian* librarian, const CLSID* clsid, IUnknown** outObject,
                                    DWORD* outID) {
  if (!outObject) return REPORT(E_INVALIDARG);
  *outObject = nullptr;
  if (!librarian || !clsid || !outID) return REPORT(E_INVALIDARG);
  *outID = kNoStyleID;

  StyleComPtr<IUnknown> created;
  HRESULT hr = CreateInProcessInstanceOrFatal(*clsid, IID_IUnknown, created.PutVoid(), kSource, __LINE__);
  if (FAILED(hr)) return hr;
  hr = MarkObjectModified(librarian);
  if (FAILED(hr)) return REPORT(hr);

  GUID type = STYLETYPE_SegmentedStyle;
  StyleRecord record{nullptr, nullptr, created.Get(), &type, 0, 0};
  hr = librarian->AddStyle(&record, outID);

  if (FAILED(hr) || *outID == kNoStyleID) {
    // Refused: the engine hears of the object the library did not take, and the caller of the refusal.
    const HRESULT refusal = FAILED(hr) ? hr : E_FAIL;
    REPORT(refusal);
    *outID = kNoStyleID;
    const HRESULT told = NotifyObjectRegistration(created.Get());
    if (FAILED(told)) return REPORT(told);
    return refusal;
  }

  if (hr == kEqualStyleExists) {
    // The library hands out its equal style; the new object is told to the engine and goes.
    StyleComPtr<IUnknown> existing;
    const HRESULT got = librarian->GetStyle(*outID, existing.Put());
    if (FAILED(got)) REPORT(got);
    const HRESULT told = NotifyObjectRegistration(created.Get());
    if (FAILED(told)) REPORT(told);
    created.Reset();
    if (FAILED(got) || FAILED(told)) {
      *outID = kNoStyleID;
      return FAILED(got) ? got : told;
    }
    *outObject = existing.Detach();
    return told;
  }

  *outObject = created.Detach();
  return hr;
}

HRESULT WINAPI GetProcessLibrarian(IUnknown** out) {
  const HRESULT hr = HUseStyleLibrarian(0, out);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI SetProcessLibrarian(IUnknown* librarian) {
  const HRESULT hr = HUseStyleLibrarian(1, &librarian);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

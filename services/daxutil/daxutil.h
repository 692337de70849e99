// The document services: finding the style library of a document or of any object in one, the small element
// and style helpers built on that lookup, and the wrappers of the engine's change notifications. They live in
// stylesrv.dll and are not exported; the exported style functions and the reference-count checker call them.
//
// Every routine uses the stdcall convention. Failures are reported through HRerr where they arise (source
// "ustyle" for the lookup and the element helpers, "UHELPERS" for the engine wrappers) and answered unchanged.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <cstdint>

#include "display/style/stylesrv_itf.h"

// ---- the librarian lookup and the element helpers ----

// The librarian of the style library that serves `object` (a document, or any object of one), with one
// reference the caller releases. The sources are asked in this order, and the first that can answer decides:
// the object's IJDocument2; the IJDocument2 of the engine's document of the object; the named object
// "StyleLibrarian" of that document (or of the object's own IJDocumentNamedObjects); the process-wide librarian
// of HUseStyleLibrarian; the active document of the application. A null object or out answers E_INVALIDARG.
// *out is written only by the source that answers.
HRESULT WINAPI GetStyleLibrarian(IUnknown* object, IJSLLibrarian** out);

// The librarian that owns a style object. A null out answers S_OK and does nothing; a style without an owner
// answers E_NOINTERFACE (not reported) with *out null.
HRESULT WINAPI GetStyleOwnerLibrarian(IUnknown* style, IJSLLibrarian** out);

// Stores a style ID in an element (its IJStyledElement). A null element answers S_OK. With notifyBefore the
// engine hears first that the element is about to change (a refusal keeps the element's ID and is answered);
// with notifyAfter it hears that the change is done, also after a refused ID, and its answer is the answer
// unless the element refused the ID.
HRESULT WINAPI SetElementStyleID(IUnknown* element, DWORD id, DWORD notifyBefore, DWORD notifyAfter);

// The style object an element uses, with a reference: the object of its style ID in its document's library,
// or, for ID 0, what the element's style source (slot 12 of IJElementStyleSource) answers; *out null when it
// answers nothing.
HRESULT WINAPI GetElementStyle(IUnknown* element, IUnknown** out);

// Gives an element the active style of the type (the "Linear" type for null) in its document's library; the
// library creates one when the type has none.
HRESULT WINAPI ApplyActiveStyle(IUnknown* element, const GUID* type, DWORD notifyBefore, DWORD notifyAfter);
// The same under the module's second entry point.
HRESULT WINAPI ApplyActiveStyle2(IUnknown* element, const GUID* type, DWORD notifyBefore, DWORD notifyAfter);

// Gives an element the ID of a style object that its document's library holds.
HRESULT WINAPI ApplyStyleObject(IUnknown* element, IUnknown* style);

// Creates an object of the class and adds it to the library as an unnamed "SegmentedStyle". When the library
// already holds an equal unnamed style, that style is handed out instead and the new object goes. A style the
// library refuses goes to the engine's NotifyObjectRegistration and answers a failure (E_FAIL for a refusal
// without code) with *outObject null. The first argument is not used.
HRESULT WINAPI AddNewSegmentedStyle(DWORD unused, IJSLLibrarian* librarian, const CLSID* clsid,
                                    IUnknown** outObject, DWORD* outID);

// The process-wide librarian of HUseStyleLibrarian (mode 0, no reference added) and its setter (mode 1).
HRESULT WINAPI GetProcessLibrarian(IUnknown** out);
HRESULT WINAPI SetProcessLibrarian(IUnknown* librarian);

// ---- the engine's change notifications and document services ----

// The engine hears that the object is about to change through the interface `iid`; a null object answers S_OK
// and tells nothing.
HRESULT WINAPI UHelperBeginChange(IUnknown* object, const IID* iid);
// The engine hears that the object changed and, with `done`, that the change is done. Null object: S_OK.
HRESULT WINAPI UHelperNotifyChange(IUnknown* object, BOOL done);
// The object is re-linked through its document's re-link service (when the document has one) and refreshed.
// Null object: S_OK.
HRESULT WINAPI UHelperRefreshObject(IUnknown* object);
// Registers a symbol definition's service with the document of the object (or the object's own
// IJDocumentNamedObjects). A null object answers E_INVALIDARG.
HRESULT WINAPI UHelperRegisterSymbolDefinition(IUnknown* object, DWORD value);
// A call into the document services for the target: those of the object's document, of the object itself, or
// without an object those of the application's active document. A null target answers E_FAIL.
HRESULT WINAPI UHelperCallDocument(IUnknown* object, IUnknown* target, DWORD value, IUnknown* context, DWORD mode);
// Takes the engine's state word when it is free: TRUE when this call took it.
BOOL WINAPI UHelperEngineToggle();

// ---- the style reference-count checker ----

// Counts the references that the elements and styles of the object's document (the application's active
// document for null) hold on style IDs, compares them with its library's use counts, and with `writeLog` appends
// what differs to "%temp%\StyleCheck.log" (source "stylchk"). Level 1 only reports; 2 also raises counts that are
// too low and removes unused unnamed styles that count no use; 3 also lowers counts that are too high and
// releases unused unnamed styles until they go. Level 0 takes the level from the host's debug entry
// "VERIFY_STYLE_REF_CNT"; any other level runs only while that entry is not 0. A level above 3, or a check
// started while another runs, does nothing and answers S_OK. A failure ends the check (repairs already made stay)
// and is answered.
HRESULT WINAPI StyleCheck(IUnknown* object, DWORD level, BYTE writeLog);

// ---- internal access ----
// The routines above by address, for the project's tests (through the server's internal table). New entries go
// at the end.
struct DocumentServiceTable {
  std::uint32_t size;  // of this table
  decltype(&::GetStyleLibrarian) GetStyleLibrarian;
  decltype(&::GetStyleOwnerLibrarian) GetStyleOwnerLibrarian;
  decltype(&::SetElementStyleID) SetElementStyleID;
  decltype(&::GetElementStyle) GetElementStyle;
  decltype(&::ApplyActiveStyle) ApplyActiveStyle;
  decltype(&::ApplyActiveStyle2) ApplyActiveStyle2;
  decltype(&::ApplyStyleObject) ApplyStyleObject;
  decltype(&::AddNewSegmentedStyle) AddNewSegmentedStyle;
  decltype(&::GetProcessLibrarian) GetProcessLibrarian;
  decltype(&::SetProcessLibrarian) SetProcessLibrarian;
  decltype(&::UHelperBeginChange) UHelperBeginChange;
  decltype(&::UHelperNotifyChange) UHelperNotifyChange;
  decltype(&::UHelperRefreshObject) UHelperRefreshObject;
  decltype(&::UHelperRegisterSymbolDefinition) UHelperRegisterSymbolDefinition;
  decltype(&::UHelperCallDocument) UHelperCallDocument;
  decltype(&::UHelperEngineToggle) UHelperEngineToggle;
  decltype(&::StyleCheck) StyleCheck;
};

const DocumentServiceTable* GetDocumentServiceTable();

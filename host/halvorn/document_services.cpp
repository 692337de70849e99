// The engine's document services: the calls around an edit of an object and the services of the document that
// holds it. The stand-in only records what it was asked, so that tests see the order and the arguments.
#include "host/halvorn/engine_internal.h"
#include "host/halvorn/halvorn.h"

namespace {

volatile LONG g_engineState = 0;
volatile LONG g_handlesTarget = 0;

// A call about one object; null is refused.
HRESULT ObjectCall(DWORD kind, IUnknown* object) {
  HostNotification call{};
  call.kind = kind;
  call.object = object;
  call.result = object ? InjectedEngineFailure(kind) : E_INVALIDARG;
  return RecordEngineCall(call);
}

}  // namespace

extern "C" {

HRESULT NotifyBeforeChange(IUnknown* object, const IID* iid) {
  HostNotification call{};
  call.kind = HOST_BEFORE_CHANGE;
  call.object = object;
  if (iid) call.iid = *iid;
  call.result = object && iid ? InjectedEngineFailure(HOST_BEFORE_CHANGE) : E_INVALIDARG;
  return RecordEngineCall(call);
}

HRESULT NotifyChangeDone(IUnknown* object) { return ObjectCall(HOST_CHANGE_DONE, object); }

HRESULT NotifyObjectChange(IUnknown* object) { return ObjectCall(HOST_OBJECT_CHANGE, object); }

HRESULT NotifyObjectRefresh(IUnknown* object) { return ObjectCall(HOST_OBJECT_REFRESH, object); }

DWORD EngineGetState(DWORD which) {
  HostNotification call{};
  call.kind = HOST_ENGINE_GET_STATE;
  call.value = which;
  RecordEngineCall(call);
  return static_cast<DWORD>(g_engineState);
}

HRESULT EngineSetState(DWORD which) {
  HostNotification call{};
  call.kind = HOST_ENGINE_SET_STATE;
  call.value = which;
  call.result = InjectedEngineFailure(HOST_ENGINE_SET_STATE);
  if (SUCCEEDED(call.result)) InterlockedExchange(&g_engineState, 1);
  return RecordEngineCall(call);
}

// A call without an object takes the context of the active document.
HRESULT EngineObjectContext(IUnknown* object) {
  HostNotification call{};
  call.kind = HOST_OBJECT_CONTEXT;
  call.object = object;
  call.result = InjectedEngineFailure(HOST_OBJECT_CONTEXT);
  return RecordEngineCall(call);
}

DWORD EngineHandlesTarget(IUnknown* target) {
  HostNotification call{};
  call.kind = HOST_HANDLES_TARGET;
  call.object = target;
  RecordEngineCall(call);
  return static_cast<DWORD>(g_handlesTarget);
}

HRESULT EngineRelinkObject(IUnknown* service, DWORD* persistentID, IUnknown* document, DWORD flags) {
  HostNotification call{};
  call.kind = HOST_RELINK_OBJECT;
  call.other = service;
  call.value = persistentID ? *persistentID : 0;
  call.document = document;
  call.mode = flags;
  call.result = service && persistentID && document ? InjectedEngineFailure(HOST_RELINK_OBJECT) : E_INVALIDARG;
  return RecordEngineCall(call);
}

HRESULT RegisterDocumentService(IUnknown* document, const IID* iid, DWORD value) {
  HostNotification call{};
  call.kind = HOST_REGISTER_SERVICE;
  call.document = document;
  if (iid) call.iid = *iid;
  call.value = value;
  call.result = document && iid ? InjectedEngineFailure(HOST_REGISTER_SERVICE) : E_INVALIDARG;
  return RecordEngineCall(call);
}

void HostSetEngineState(DWORD value) { InterlockedExchange(&g_engineState, static_cast<LONG>(value)); }

DWORD LoadResourceImage(HMODULE module, DWORD id) {
  static volatile LONG lastImage = 0;
  HostNotification call{};
  call.kind = HOST_LOAD_RESOURCE_IMAGE;
  call.context = reinterpret_cast<ULONG_PTR>(module);
  call.value = id;
  const bool there = module && FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2));
  call.result = there ? static_cast<HRESULT>(InterlockedIncrement(&lastImage)) : 0;
  return static_cast<DWORD>(RecordEngineCall(call));
}

void HostSetEngineHandlesTarget(DWORD value) { InterlockedExchange(&g_handlesTarget, static_cast<LONG>(value)); }

}  // extern "C"

// What the parts of the engine stand-in share among themselves.
#pragma once

#include <string>
#include <vector>

#include "host/halvorn/halvorn.h"

// The document stops holding the object (ReleaseEntryInDocument without its record).
HRESULT ForgetDocumentObject(IJDocumentNamedObjects* document, IUnknown* object);

// The failure a test asked for on this call of the kind, or S_OK.
HRESULT InjectedEngineFailure(DWORD kind);
// Records the call (objects by identity) and answers its result.
HRESULT RecordEngineCall(HostNotification call);

// The application's file-type interface (GetAppInterface answers it).
HRESULT ApplicationFileTypeInterface(REFIID iid, void** out);

// ---- documents in compound files ----

struct DocumentObjectRecord {
  DWORD persistentID;
  CLSID clsid;
  std::vector<BYTE> record;  // as the object's IJPersist stores it in a versioned archive
};

struct DocumentNameRecord {
  std::wstring name;
  DWORD persistentID;  // of the named object
};

// The object's class ID and record; fails for an object without IJPersist.
HRESULT StoreObjectRecord(IUnknown* object, CLSID* clsid, std::vector<BYTE>* record);
// Loads the record into the object.
HRESULT LoadObjectRecord(IUnknown* object, const std::vector<BYTE>& record);
// The document's two streams, written at the root of the storage and read back from it. Reading checks every
// count and length against what the stream holds and answers HRESULT_FROM_WIN32(ERROR_INVALID_DATA) for damage.
HRESULT WriteDocumentStreams(IStorage* storage, const std::vector<DocumentObjectRecord>& objects,
                             const std::vector<DocumentNameRecord>& names);
HRESULT ReadDocumentStreams(IStorage* storage, std::vector<DocumentObjectRecord>* objects,
                            std::vector<DocumentNameRecord>* names);

// An object of the engine that lives as long as the process and answers one interface; it counts nothing.
template <class Itf, const IID* kIid>
class EngineStaticObject : public Itf {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, *kIid)) {
      *out = static_cast<Itf*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

// S_OK, or the failure a test asked GetAppInterface to answer for IJApplicationFileType.
HRESULT ApplicationInterfaceRefusal();
// The application's class that a test set, or null.
const CLSID* ApplicationClassID();

// The host's document engine (stand-in), as far as stylesrv uses it: the engine allocator, from which style
// objects and style libraries take their memory (every block it hands out lies 4 bytes short of an 8-byte
// boundary, so that an object placed 4 bytes into the block is 8-aligned); the persistence archive; the
// documents that hold objects under persistent IDs.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <cstddef>

#ifdef HALVORN_BUILD
#define HALVORN_API __declspec(dllexport)
#else
#define HALVORN_API __declspec(dllimport)
#endif

extern "C" {

// A block of `size` bytes whose contents are not set, or null when the memory is not there.
HALVORN_API void* EngineAlloc(std::size_t size);

// Frees a block from EngineAlloc (the block's own address, not that of an object inside it). Null does nothing.
HALVORN_API void EngineFree(void* block);

// ---- for the tests ----

// Blocks handed out and not yet freed.
HALVORN_API LONG EngineLiveBlocks();

// Makes the next `count` calls of EngineAlloc fail.
HALVORN_API void EngineFailNextAllocations(LONG count);

// Lets the next `skip` calls of EngineAlloc through and makes the one after them fail; a negative `skip` disarms.
// Answers the previous setting's remaining skip: -1 once its failure was taken (or when none was armed).
HALVORN_API LONG EngineFailAllocationAfter(LONG skip);

}  // extern "C"

// ---- the persistence archive ----

// Direction and form of an archive, in its flags word.
enum : DWORD {
  ARCHIVE_STORING = 0x1,
  ARCHIVE_LOADING = 0x2,
  ARCHIVE_DROP_CACHED = 0x8,  // drop cached references before loading
  ARCHIVE_VERSIONED = 0x10,   // class headers are exchanged
};

// The engine's archive object. Its flags word is the only part that callers read; the rest is the engine's.
struct JArchive {
  DWORD flags;
};

extern "C" {

// Moves `count` bytes in the archive's direction: into the archive when storing, out of it when loading.
// Reading past the end fails with HRESULT_FROM_WIN32(ERROR_HANDLE_EOF) and moves nothing.
HALVORN_API HRESULT ArchiveSerializeBytes(JArchive* archive, DWORD count, void* data);

// Exchanges a class header (16-byte tag, 16-bit version). Afterwards *version holds the version under which the
// record is exchanged: when storing, the version the engine keeps for the tag (the class's current layout);
// when loading, the stored one. A stored tag other than `tag` fails with HRESULT_FROM_WIN32(ERROR_INVALID_DATA).
// The scratch word belongs to the caller and is left alone.
HALVORN_API HRESULT ArchiveSerializeClassHeader(JArchive* archive, const GUID* tag, WORD* version, DWORD* scratch);

// Lets a sub-object persist itself in the archive's direction, through the operation of its IJPersist that
// exchanges its class header (the fourth) whichever the direction.
HALVORN_API HRESULT ArchiveSerializeObject(JArchive* archive, IUnknown* object);

// Bytes a loading archive still holds after its read position (0 for a storing one): what a count read from
// the archive can at most describe.
HALVORN_API DWORD ArchiveBytesLeft(JArchive* archive);

// ---- for the tests ----

// A new, empty archive with the given flags. Destroyed with ArchiveDestroy.
HALVORN_API JArchive* ArchiveCreate(DWORD flags);
HALVORN_API void ArchiveDestroy(JArchive* archive);
// New flags and the read and write position back at the start, so that what was stored can be loaded.
HALVORN_API void ArchiveRestart(JArchive* archive, DWORD flags);
// The bytes the archive holds.
HALVORN_API DWORD ArchiveSize(JArchive* archive);
HALVORN_API const BYTE* ArchiveData(JArchive* archive);
// Replaces the bytes (and restarts at position 0).
HALVORN_API void ArchiveSetData(JArchive* archive, const void* data, DWORD size);
HALVORN_API DWORD ArchivePosition(JArchive* archive);
// Exchanges (calls of the three operations) made so far.
HALVORN_API LONG ArchiveExchangeCount(JArchive* archive);
// Makes the `n`th exchange from now fail with `hr` (1 = the next one); 0 cancels.
HALVORN_API void ArchiveFailExchange(JArchive* archive, LONG n, HRESULT hr);
// The version this archive answers for `tag` when storing, in place of the engine's.
HALVORN_API void ArchiveSetClassVersion(JArchive* archive, const GUID* tag, WORD version);
// The engine's version for `tag` (the class's current layout), for every archive.
HALVORN_API void ArchiveRegisterClassVersion(const GUID* tag, WORD version);

}  // extern "C"

// ---- documents ----

inline constexpr IID IID_IJDocumentNamedObjects = {
    0x1FC155A0, 0x6BE3, 0x101B, {0x97, 0xA9, 0x08, 0x00, 0x36, 0x01, 0xCD, 0xC9}};

#define HALVORN_UNUSED_SLOT(n) virtual HRESULT STDMETHODCALLTYPE Slot##n() = 0;

// The holder a document answers for a named object.
struct IJNamedObjectHolder : public IUnknown {
  // 3: the named object, with one reference.
  virtual HRESULT STDMETHODCALLTYPE GetTarget(IUnknown** out) = 0;
};

// The host document's interface that GetObjectDocument answers. Its operations are known by their place in
// the table; the slots that nothing calls yet are placeholders.
struct IJDocumentNamedObjects : public IUnknown {
  HALVORN_UNUSED_SLOT(3) HALVORN_UNUSED_SLOT(4) HALVORN_UNUSED_SLOT(5) HALVORN_UNUSED_SLOT(6)
  HALVORN_UNUSED_SLOT(7) HALVORN_UNUSED_SLOT(8)
  // 9: a holder of the object the document keeps under that name (case ignored); E_FAIL for a name it does not
  // keep.
  virtual HRESULT STDMETHODCALLTYPE GetNamedObject(LPCWSTR name, IJNamedObjectHolder** holder) = 0;
  HALVORN_UNUSED_SLOT(10)
  // 11: the object the document keeps under that name (case ignored), with a reference; the engine's
  // HALVORN_E_NO_NAMED_OBJECT for a name it does not keep.
  virtual HRESULT STDMETHODCALLTYPE FindNamedObject(LPCWSTR name, IUnknown** object) = 0;
  // 12: the container that holds the object of a persistent ID (the container it was inserted or linked
  // under, else the document itself), with a reference; an ID the document does not hold fails with E_FAIL.
  virtual HRESULT STDMETHODCALLTYPE GetContainerOfID(DWORD persistentID, IUnknown** container) = 0;
  HALVORN_UNUSED_SLOT(13)
  // 14: the document's context object for calls into it, with a reference; S_OK and null when it has none.
  virtual HRESULT STDMETHODCALLTYPE GetServiceContext(IUnknown** out) = 0;
  HALVORN_UNUSED_SLOT(15)
  // 16: an enumerator over the objects the document holds (as they are when it is made), with a reference. The
  // flags word is the host's; callers pass 0.
  virtual HRESULT STDMETHODCALLTYPE EnumObjects(DWORD flags, IEnumUnknown** out) = 0;
  // 17: a call into the document's services for the target; `context` is a context object or a plain code.
  // With a container object of the document as context it places the target in the document under that
  // container (DocumentInsertObject); `mode` is then the address of a GUID of the host's. A symbol's graphic
  // (GUID {C1430B82-CE5D-11CE-9472-0800361C0602}) placed under the document goes under its "StyleCluster" when
  // it has one.
  virtual HRESULT STDMETHODCALLTYPE CallService(IUnknown* target, DWORD value, ULONG_PTR context,
                                                ULONG_PTR mode) = 0;
  HALVORN_UNUSED_SLOT(18)
  // 19: registers the object in the document (once; registering it again answers the same ID) and answers its
  // persistent ID; *second, when given, is set to 0.
  virtual HRESULT STDMETHODCALLTYPE RegisterObject(IUnknown* object, DWORD* persistentID, DWORD* second) = 0;
  // 20: tells the document that something changed about the object of a persistent ID (an element left a
  // symbol definition, a symbol was adopted); *out, when given, is set to 0. The stand-in only records it.
  virtual HRESULT STDMETHODCALLTYPE NotifyID(DWORD persistentID, DWORD* out) = 0;
  // 21: the object of a persistent ID, asked for `iid`, as slot 45 answers it.
  virtual HRESULT STDMETHODCALLTYPE FetchObjectByID(DWORD persistentID, REFIID iid, void** out) = 0;
  HALVORN_UNUSED_SLOT(22)
  // 23: the document's re-link service, with a reference; S_OK and null when it has none.
  virtual HRESULT STDMETHODCALLTYPE GetRelinkService(IUnknown** out) = 0;
  HALVORN_UNUSED_SLOT(24) HALVORN_UNUSED_SLOT(25) HALVORN_UNUSED_SLOT(26) HALVORN_UNUSED_SLOT(27)
  HALVORN_UNUSED_SLOT(28) HALVORN_UNUSED_SLOT(29) HALVORN_UNUSED_SLOT(30) HALVORN_UNUSED_SLOT(31)
  HALVORN_UNUSED_SLOT(32) HALVORN_UNUSED_SLOT(33) HALVORN_UNUSED_SLOT(34) HALVORN_UNUSED_SLOT(35)
  HALVORN_UNUSED_SLOT(36) HALVORN_UNUSED_SLOT(37) HALVORN_UNUSED_SLOT(38) HALVORN_UNUSED_SLOT(39)
  HALVORN_UNUSED_SLOT(40) HALVORN_UNUSED_SLOT(41) HALVORN_UNUSED_SLOT(42) HALVORN_UNUSED_SLOT(43)
  HALVORN_UNUSED_SLOT(44)
  // 45: the object of a persistent ID, asked for `iid`; an ID the document does not hold fails with E_FAIL.
  virtual HRESULT STDMETHODCALLTYPE FindObjectByID(DWORD persistentID, REFIID iid, void** out) = 0;
  // 46: the object of a persistent ID as IUnknown; E_FAIL as above.
  virtual HRESULT STDMETHODCALLTYPE GetObjectOfID(DWORD persistentID, IUnknown** out) = 0;
  HALVORN_UNUSED_SLOT(47)
};

// The engine's answer of slot 11 for a name the document does not keep.
inline constexpr HRESULT HALVORN_E_NO_NAMED_OBJECT = static_cast<HRESULT>(0x80040226);

// Places the object in the document under a container object of the document (slot 17); the mode and the GUID
// belong to the host. An object of another document fails with E_FAIL.
inline HRESULT DocumentInsertObject(IJDocumentNamedObjects* document, IUnknown* object, DWORD mode,
                                    IUnknown* container, REFGUID kind) {
  return document->CallService(object, mode, reinterpret_cast<ULONG_PTR>(container),
                               reinterpret_cast<ULONG_PTR>(&kind));
}

// The host document's own interface: 53 slots. Only 6 and 20 are called; every other slot is known by its
// arity alone, declared here so that an implementation pops what its callers push (stdcall). The lists give
// each such slot with its argument types, for the declaration below and for implementations.
#define HALVORN_DOC2_SLOTS_3_TO_5(X) X(3) X(4, ULONG_PTR) X(5, ULONG_PTR, ULONG_PTR)
#define HALVORN_DOC2_SLOTS_7_TO_19(X)                                                                      \
  X(7, ULONG_PTR, ULONG_PTR) X(8, ULONG_PTR, ULONG_PTR) X(9) X(10, ULONG_PTR) X(11)                       \
  X(12, ULONG_PTR, ULONG_PTR) X(13, ULONG_PTR, ULONG_PTR) X(14, ULONG_PTR) X(15, ULONG_PTR, ULONG_PTR)     \
  X(16, ULONG_PTR, ULONG_PTR) X(17, ULONG_PTR, ULONG_PTR) X(18, ULONG_PTR) X(19, ULONG_PTR)
#define HALVORN_DOC2_SLOTS_21_TO_42(X)                                                                     \
  X(21, ULONG_PTR) X(22, ULONG_PTR) X(23, ULONG_PTR) X(24, ULONG_PTR) X(25, ULONG_PTR) X(26, ULONG_PTR)    \
  X(27, ULONG_PTR, ULONG_PTR) X(28, ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR)                           \
  X(29, ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR) X(30, ULONG_PTR) X(31, ULONG_PTR) X(32, ULONG_PTR)     \
  X(33, ULONG_PTR) X(34, ULONG_PTR) X(35, ULONG_PTR) X(36, ULONG_PTR) X(37, ULONG_PTR) X(38, ULONG_PTR)    \
  X(39, ULONG_PTR) X(40, ULONG_PTR) X(41, ULONG_PTR) X(42, ULONG_PTR)
#define HALVORN_DOC2_SLOTS_44_TO_52(X)                                                                     \
  X(44, ULONG_PTR, ULONG_PTR) X(45, ULONG_PTR) X(46, ULONG_PTR) X(47, ULONG_PTR) X(48, ULONG_PTR)         \
  X(49, ULONG_PTR) X(50, ULONG_PTR) X(51, ULONG_PTR) X(52, ULONG_PTR)
#define HALVORN_DOC2_DECLARE(n, ...) virtual HRESULT STDMETHODCALLTYPE Doc2Slot##n(__VA_ARGS__) = 0;
// For implementations: the slot refused with E_NOTIMPL, its arguments left alone.
#define HALVORN_DOC2_REFUSE(n, ...) \
  HRESULT STDMETHODCALLTYPE Doc2Slot##n(__VA_ARGS__) override { return E_NOTIMPL; }
// Every slot but 6, 20 and 43 refused.
#define HALVORN_DOC2_REFUSED_SLOTS                                                                         \
  HALVORN_DOC2_SLOTS_3_TO_5(HALVORN_DOC2_REFUSE) HALVORN_DOC2_SLOTS_7_TO_19(HALVORN_DOC2_REFUSE)          \
  HALVORN_DOC2_SLOTS_21_TO_42(HALVORN_DOC2_REFUSE) HALVORN_DOC2_SLOTS_44_TO_52(HALVORN_DOC2_REFUSE)

inline constexpr IID IID_IJDocument2 = {0x1DFB4688, 0x1A1D, 0x11D0, {0x9D, 0xC9, 0x08, 0x00, 0x36, 0xD8, 0x27, 0x02}};
struct IJDocument2 : public IUnknown {
  HALVORN_DOC2_SLOTS_3_TO_5(HALVORN_DOC2_DECLARE)
  // 6: the document's name, narrow and terminated, cut to the buffer (260 bytes from its callers).
  virtual HRESULT STDMETHODCALLTYPE GetName(LPSTR buffer, DWORD size) = 0;
  HALVORN_DOC2_SLOTS_7_TO_19(HALVORN_DOC2_DECLARE)
  // 20: one of the document's component interfaces: the document's named object "StyleLibrarian" asked for
  // `iid`; E_FAIL with *out null when the document keeps no such object.
  virtual HRESULT STDMETHODCALLTYPE GetLibraryInterface(REFIID iid, void** out) = 0;
  HALVORN_DOC2_SLOTS_21_TO_42(HALVORN_DOC2_DECLARE)
  HALVORN_DOC2_DECLARE(43, ULONG_PTR)
  HALVORN_DOC2_SLOTS_44_TO_52(HALVORN_DOC2_DECLARE)
};

#undef HALVORN_UNUSED_SLOT

extern "C" {

// The document that holds the object (one that registered it), as IJDocumentNamedObjects with a reference.
// An object in no document fails with E_FAIL and *out null.
HALVORN_API HRESULT GetObjectDocument(IUnknown* object, IJDocumentNamedObjects** out);

// Releases an object from the document that holds it: the document forgets the object's persistent ID and
// drops its reference. E_FAIL when `document` does not hold the object.
HALVORN_API HRESULT ReleaseEntryInDocument(IJDocumentNamedObjects* document, IUnknown* object);

// ---- change notifications ----
// The engine is told around edits of styles and libraries. The stand-in records each call (with the object's
// identity) and answers S_OK unless a test asked for a failure.

// The object is about to change.
HALVORN_API HRESULT MarkObjectModified(IUnknown* object);
// An entry with a new object was made in a style library.
HALVORN_API HRESULT NotifyEntryChange(IUnknown* object);
// An object leaves a style library (or was refused by one).
HALVORN_API HRESULT NotifyObjectRegistration(IUnknown* object);

// ---- document services ----
// Calls around an edit of an object and services of the document that holds it. The real engine exports them
// by ordinal only (given with each; the stand-in exports both). Each call is recorded with its arguments and
// answers S_OK unless a test asked for a failure.

// 216: the object is about to change through the interface `iid`.
HALVORN_API HRESULT NotifyBeforeChange(IUnknown* object, const IID* iid);
// 217: the change of the object is done.
HALVORN_API HRESULT NotifyChangeDone(IUnknown* object);
// 214: the object changed.
HALVORN_API HRESULT NotifyObjectChange(IUnknown* object);
// 215: what shows the object is to be refreshed.
HALVORN_API HRESULT NotifyObjectRefresh(IUnknown* object);
// 290: the engine's state word (0 while free); 291 takes it (it answers 1 afterwards).
HALVORN_API DWORD EngineGetState(DWORD which);
HALVORN_API HRESULT EngineSetState(DWORD which);
// 1006: the engine takes the default context for a call about the object.
HALVORN_API HRESULT EngineObjectContext(IUnknown* object);
// 1009: 1 when the engine serves calls for the target itself, else 0.
HALVORN_API DWORD EngineHandlesTarget(IUnknown* target);
// 2068: the document's re-link service re-links the object of a persistent ID.
HALVORN_API HRESULT EngineRelinkObject(IUnknown* service, DWORD* persistentID, IUnknown* document, DWORD flags);
// 6: registers a service of the document under an IID.
HALVORN_API HRESULT RegisterDocumentService(IUnknown* document, const IID* iid, DWORD value);
// 2025: the engine's image of bitmap resource `id` of `module`: its image number, 0 when the module has no such
// bitmap.
HALVORN_API DWORD LoadResourceImage(HMODULE module, DWORD id);

// ---- the application ----

// An interface of the host application by IID; E_NOINTERFACE for one the stand-in does not offer.
HALVORN_API HRESULT GetAppInterface(const IID* iid, void** out);
// The engine's extension interface of a style library (asked by the library for the IID it names); the
// stand-in offers none and answers E_NOINTERFACE with *out null.
HALVORN_API HRESULT QueryLibraryExtension(IUnknown* outer, DWORD reserved, void** out);
// The interface `iid` of the engine's extension `extension` for the object whose controlling unknown is
// `outer`, asked by a style class for an interface it does not answer itself; the stand-in offers none and
// answers E_NOINTERFACE with *out null.
HALVORN_API HRESULT QueryClassExtension(const GUID* extension, IUnknown* outer, REFIID iid, void** out);

// ---- for the tests ----

// A new, empty document with one reference. It holds a reference on every object registered in it until it
// is destroyed.
HALVORN_API HRESULT HostDocumentCreate(IJDocumentNamedObjects** out);
// Documents alive.
HALVORN_API LONG HostDocumentLiveCount();

enum HostNotificationKind : DWORD {
  HOST_MARK_MODIFIED = 1,
  HOST_ENTRY_CHANGE,
  HOST_OBJECT_REGISTRATION,
  HOST_RELEASE_ENTRY,  // ReleaseEntryInDocument
  HOST_STYLE_ADDED,    // the application's NotifyStyleAdded
};

struct HostNotification {
  DWORD kind;
  IUnknown* object;    // its identity, without a reference (may be gone by the time a test looks)
  IUnknown* document;  // HOST_RELEASE_ENTRY and HOST_STYLE_ADDED
  DWORD value;         // HOST_STYLE_ADDED: the first 32 bits of the style type
  WCHAR name[64];      // HOST_STYLE_ADDED: the style's name, cut to 63 characters
  HRESULT result;      // what the call answered
  IID iid;
  IUnknown* other;     // identity, without a reference
  ULONG_PTR context;
  DWORD mode;
};

// The engine's document-service calls, recorded in the same log; `iid`, `other`, `context` and `mode` hold the
// arguments the other fields do not.
enum HostEngineCallKind : DWORD {
  HOST_BEFORE_CHANGE = 16,         // 216 (object, iid)
  HOST_CHANGE_DONE,                // 217 (object)
  HOST_OBJECT_CHANGE,              // 214 (object)
  HOST_OBJECT_REFRESH,             // 215 (object)
  HOST_ENGINE_GET_STATE,           // 290 (value)
  HOST_ENGINE_SET_STATE,           // 291 (value)
  HOST_OBJECT_CONTEXT,             // 1006 (object)
  HOST_HANDLES_TARGET,             // 1009 (object = the target)
  HOST_RELINK_OBJECT,              // 2068 (other = the service, value = the persistent ID, document, mode)
  HOST_REGISTER_SERVICE,           // 6 (document, iid, value)
  HOST_DOCUMENT_SERVICE_CONTEXT,   // document slot 14 (document; other = the context answered)
  HOST_DOCUMENT_CALL_SERVICE,      // document slot 17 (document, object = the target, value, context, mode)
  HOST_DOCUMENT_RELINK_SERVICE,    // document slot 23 (document; other = the service answered)
  HOST_LOAD_RESOURCE_IMAGE,        // 2025 (context = the module, value = the ID; result = the image number)
};

HALVORN_API LONG HostNotificationCount();
HALVORN_API BOOL HostGetNotification(LONG index, HostNotification* out);
HALVORN_API void HostClearNotifications();
// Makes the `n`th call of that kind from now (1 = the next one) fail with `hr`, doing nothing else; 0 cancels.
HALVORN_API void HostFailNotification(DWORD kind, LONG n, HRESULT hr);

// What EngineGetState answers (until EngineSetState takes it) and what EngineHandlesTarget answers.
HALVORN_API void HostSetEngineState(DWORD value);
HALVORN_API void HostSetEngineHandlesTarget(DWORD value);
// Keeps `object` under `name` in the document (with a reference); a null object drops the name.
HALVORN_API HRESULT HostDocumentSetNamedObject(IJDocumentNamedObjects* document, LPCWSTR name, IUnknown* object);
// What the document's slots 14 (context) and 23 (re-link service) answer; the document holds a reference on
// each; null for none.
HALVORN_API HRESULT HostDocumentSetServices(IJDocumentNamedObjects* document, IUnknown* context,
                                            IUnknown* relinkService);

}  // extern "C"

#define HALVORN_UNUSED_SLOT(n) virtual HRESULT STDMETHODCALLTYPE Slot##n() = 0;

// The application's setting asked after a style library was loaded with a style-resource list: non-zero means
// the application fills the name tables from the style-library files itself.
inline constexpr IID IID_IJApplicationStyleFiles = {
    0x2D38416E, 0x2A99, 0x11D0, {0x9D, 0xD8, 0x08, 0x00, 0x36, 0xD8, 0x27, 0x02}};
struct IJApplicationStyleFiles : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetLoadsStyleFileNames(DWORD* value) = 0;
  // 4: the active document asked for `iid`; E_FAIL with *out null when no document is active.
  virtual HRESULT STDMETHODCALLTYPE GetActiveDocument(REFIID iid, void** out) = 0;
};

extern "C" {
// The value the stand-in application answers through IJApplicationStyleFiles (0 at start), for the tests.
HALVORN_API void HostSetLoadsStyleFileNames(DWORD value);
// The application's active document (the application holds a reference; null clears it), for the tests.
HALVORN_API void HostSetActiveDocument(IUnknown* document);
}

// The application's style notices (GetAppInterface); only slot 37 is called.
inline constexpr IID IID_IJApplicationStyles = {
    0xC8046688, 0xF3D3, 0x11D0, {0x90, 0xD1, 0x08, 0x00, 0x36, 0x6D, 0xE1, 0x02}};
struct IJApplicationStyles : public IUnknown {
  HALVORN_UNUSED_SLOT(3) HALVORN_UNUSED_SLOT(4) HALVORN_UNUSED_SLOT(5) HALVORN_UNUSED_SLOT(6)
  HALVORN_UNUSED_SLOT(7) HALVORN_UNUSED_SLOT(8) HALVORN_UNUSED_SLOT(9) HALVORN_UNUSED_SLOT(10)
  HALVORN_UNUSED_SLOT(11) HALVORN_UNUSED_SLOT(12) HALVORN_UNUSED_SLOT(13) HALVORN_UNUSED_SLOT(14)
  HALVORN_UNUSED_SLOT(15) HALVORN_UNUSED_SLOT(16) HALVORN_UNUSED_SLOT(17) HALVORN_UNUSED_SLOT(18)
  HALVORN_UNUSED_SLOT(19) HALVORN_UNUSED_SLOT(20) HALVORN_UNUSED_SLOT(21) HALVORN_UNUSED_SLOT(22)
  HALVORN_UNUSED_SLOT(23) HALVORN_UNUSED_SLOT(24) HALVORN_UNUSED_SLOT(25) HALVORN_UNUSED_SLOT(26)
  HALVORN_UNUSED_SLOT(27) HALVORN_UNUSED_SLOT(28) HALVORN_UNUSED_SLOT(29) HALVORN_UNUSED_SLOT(30)
  HALVORN_UNUSED_SLOT(31) HALVORN_UNUSED_SLOT(32) HALVORN_UNUSED_SLOT(33) HALVORN_UNUSED_SLOT(34)
  HALVORN_UNUSED_SLOT(35) HALVORN_UNUSED_SLOT(36)
  // 37: a named style of type "Linear", "Dash", "Fill" or point symbol was added to the document's library.
  virtual HRESULT STDMETHODCALLTYPE NotifyStyleAdded(IUnknown* document, LPCWSTR name, DWORD typeData1) = 0;
};

#undef HALVORN_UNUSED_SLOT

// ---- element links, object collections and object lists ----

extern "C" {

// Records the element in the container (an object of the document, or the document itself): slot 12 answers
// that container for the element afterwards. E_FAIL when the document does not hold the element.
HALVORN_API HRESULT LinkElementToContainer(IJDocumentNamedObjects* document, IUnknown* element,
                                           IUnknown* container);

}  // extern "C"

inline constexpr IID IID_IJObjectCollection = {
    0x6A0E3F41, 0x52C7, 0x4B19, {0x8D, 0x20, 0x3C, 0x61, 0x95, 0x0B, 0x7E, 0x11}};

// The engine's collection of objects: a fixed number of places, each empty or holding an object with a
// reference, read as an enumerator (Next hands out each object with a reference of the caller's).
struct IJObjectCollection : public IEnumUnknown {
  // 7: puts the object at the place (< the count), replacing what was there; null empties the place.
  virtual HRESULT STDMETHODCALLTYPE SetItem(ULONG index, IUnknown* object) = 0;
};

// An entry of an object list: the object (held by the list), the interface it is meant under, flags.
struct HostObjectEntry {
  IUnknown* object;
  IID iid;
  DWORD flags;
};
static_assert(sizeof(HostObjectEntry) == 24);

inline constexpr IID IID_IJObjectList = {
    0x6A0E3F42, 0x52C7, 0x4B19, {0x8D, 0x20, 0x3C, 0x61, 0x95, 0x0B, 0x7E, 0x11}};

// The engine's list of object entries, as the copy protocol passes it around.
struct IJObjectList : public IUnknown {
  // 3: the next `count` entries; S_FALSE when fewer were left. The objects come without a reference: the
  // list keeps them.
  virtual HRESULT STDMETHODCALLTYPE Next(ULONG count, HostObjectEntry* out, ULONG* fetched) = 0;
  // 4: Next starts again at the first entry.
  virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
  // 5: sets the entry at the place (< the count); the list takes a reference on its object.
  virtual HRESULT STDMETHODCALLTYPE SetItem(ULONG index, const HostObjectEntry* entry) = 0;
};

extern "C" {

// A collection of `count` empty places, with one reference. The second argument is the engine's and is 0.
HALVORN_API HRESULT CreateObjectCollection(ULONG count, DWORD reserved, IJObjectCollection** out);
// A list of `count` zeroed entries, with one reference. The second argument is the engine's and is 0.
HALVORN_API HRESULT CreateObjectList(ULONG count, DWORD reserved, IJObjectList** out);

// ---- for the tests ----

// Collections and lists alive.
HALVORN_API LONG HostCollectionLiveCount();

// What documents were asked through the slots above (and LinkElementToContainer), in order.
enum HostDocumentCallKind : DWORD {
  HOST_DOC_NAMED_OBJECT = 11,
  HOST_DOC_CONTAINER_OF_ID = 12,
  HOST_DOC_ENUM_OBJECTS = 16,
  HOST_DOC_INSERT = 17,  // slot 17 with a container of the document (container = it)
  HOST_DOC_REGISTER = 19,
  HOST_DOC_NOTIFY_ID = 20,
  HOST_DOC_FETCH_BY_ID = 21,
  HOST_DOC_LINK_ELEMENT = 0x100,  // LinkElementToContainer
  HOST_DOC_GROUP_ADD = 0x101,     // AddDefaultStyleObject (container = the group; document null)
};

struct HostDocumentCall {
  DWORD kind;
  IUnknown* document;   // identities, without a reference (they may be gone by the time a test looks)
  IUnknown* object;     // HOST_DOC_REGISTER, HOST_DOC_LINK_ELEMENT, HOST_DOC_INSERT
  IUnknown* container;  // HOST_DOC_LINK_ELEMENT, HOST_DOC_INSERT
  DWORD persistentID;   // the ID asked for, or the one HOST_DOC_REGISTER answered
  HRESULT result;
};

HALVORN_API LONG HostDocumentCallCount();
HALVORN_API BOOL HostGetDocumentCall(LONG index, HostDocumentCall* out);
HALVORN_API void HostClearDocumentCalls();
// Makes the `n`th call of that kind from now (1 = the next one) fail with `hr`, doing nothing else; 0 cancels.
HALVORN_API void HostFailDocumentCall(DWORD kind, LONG n, HRESULT hr);

// Adds the object to the group's members (the group answers IJHostGroupMembers of host/halvorn/elements.h);
// recorded as HOST_DOC_GROUP_ADD.
HALVORN_API HRESULT AddDefaultStyleObject(IUnknown* group, IUnknown* object);

}  // extern "C"

// ---- the engine's simple-line extension ----

#define HALVORN_UNUSED_SLOT(n) virtual HRESULT STDMETHODCALLTYPE Slot##n() = 0;

// The extension class and interface under which the engine makes simple line styles from two texts
// (QueryClassExtension); what the texts mean is the engine's.
inline constexpr GUID CLASSEXT_SimpleLineMaker = {
    0xE4D115C0, 0x4999, 0x11CE, {0xA8, 0x2A, 0x08, 0x00, 0x36, 0x01, 0xE8, 0x55}};
inline constexpr IID IID_IJSimpleLineMaker = {
    0x25736050, 0xF726, 0x11CD, {0xA8, 0x2A, 0x08, 0x00, 0x36, 0x01, 0xE8, 0x55}};
struct IJSimpleLineMaker : public IUnknown {
  HALVORN_UNUSED_SLOT(3) HALVORN_UNUSED_SLOT(4) HALVORN_UNUSED_SLOT(5) HALVORN_UNUSED_SLOT(6)
  HALVORN_UNUSED_SLOT(7)
  // 8: a new simple line style made from the two texts, with one reference.
  virtual HRESULT STDMETHODCALLTYPE MakeSimpleLine(BSTR first, BSTR second, IUnknown** out) = 0;
};

// ---- the engine's fills and their pattern factories ----
// The extension classes under which the engine makes fills and the hatch and symbol patterns of fills
// (QueryClassExtension), and the interfaces they are asked for. What the values handed to the factories mean
// is the engine's.

inline constexpr GUID CLASSEXT_FillFactory = {
    0x1EA6C2D9, 0x1BB3, 0x11CF, {0x8E, 0xD0, 0x08, 0x00, 0x36, 0x06, 0x24, 0x02}};
inline constexpr IID IID_IJFillFactory = {0x6457BB90, 0x1AE1, 0x11CF, {0x8E, 0xD0, 0x08, 0x00, 0x36, 0x06, 0x24, 0x02}};
inline constexpr IID IID_IJEngineFill = {0x6457BB8E, 0x1AE1, 0x11CF, {0x8E, 0xD0, 0x08, 0x00, 0x36, 0x06, 0x24, 0x02}};
inline constexpr GUID CLASSEXT_HatchPatternFactory = {
    0x6457BB98, 0x1AE1, 0x11CF, {0x8E, 0xD0, 0x08, 0x00, 0x36, 0x06, 0x24, 0x02}};
inline constexpr IID IID_IJHatchPatternFactory = {
    0x6457BB95, 0x1AE1, 0x11CF, {0x8E, 0xD0, 0x08, 0x00, 0x36, 0x06, 0x24, 0x02}};
inline constexpr IID IID_IJHatchPattern = {0x6457BB92, 0x1AE1, 0x11CF, {0x8E, 0xD0, 0x08, 0x00, 0x36, 0x06, 0x24, 0x02}};
inline constexpr GUID CLASSEXT_SymbolPatternFactory = {
    0x0DAB84D0, 0x2450, 0x11CF, {0xB2, 0x66, 0x08, 0x00, 0x36, 0x82, 0x56, 0x02}};
inline constexpr IID IID_IJSymbolPatternFactory = {
    0xA8342060, 0x2455, 0x11CF, {0xAA, 0x89, 0xA7, 0xF2, 0xA6, 0xB2, 0xC3, 0x14}};
inline constexpr IID IID_IJSymbolPattern = {0x6457BB99, 0x1AE1, 0x11CF, {0x8E, 0xD0, 0x08, 0x00, 0x36, 0x06, 0x24, 0x02}};

// The fill factory of CLASSEXT_FillFactory.
struct IJFillFactory : public IUnknown {
  HALVORN_UNUSED_SLOT(3) HALVORN_UNUSED_SLOT(4) HALVORN_UNUSED_SLOT(5) HALVORN_UNUSED_SLOT(6)
  HALVORN_UNUSED_SLOT(7) HALVORN_UNUSED_SLOT(8) HALVORN_UNUSED_SLOT(9) HALVORN_UNUSED_SLOT(10)
  // 11: a new fill, with one reference.
  virtual HRESULT STDMETHODCALLTYPE MakeFill(DWORD first, DWORD second, IUnknown** out) = 0;
};

// A fill the engine made.
struct IJEngineFill : public IUnknown {
  HALVORN_UNUSED_SLOT(3) HALVORN_UNUSED_SLOT(4) HALVORN_UNUSED_SLOT(5) HALVORN_UNUSED_SLOT(6)
  HALVORN_UNUSED_SLOT(7) HALVORN_UNUSED_SLOT(8)
  // 9: the pattern made for the fill is in place.
  virtual HRESULT STDMETHODCALLTYPE AttachPattern(DWORD first) = 0;
  // 10: what the pattern factory makes the fill's pattern of.
  virtual HRESULT STDMETHODCALLTYPE GetPatternData(DWORD* data) = 0;
  // 11: the kind of the fill's pattern (2 hatch, 3 symbol; 0 and 1 none).
  virtual HRESULT STDMETHODCALLTYPE GetPatternKind(DWORD* kind) = 0;
};

// The hatch and the symbol pattern factories (IID_IJHatchPatternFactory, IID_IJSymbolPatternFactory).
struct IJPatternFactory : public IUnknown {
  HALVORN_UNUSED_SLOT(3) HALVORN_UNUSED_SLOT(4) HALVORN_UNUSED_SLOT(5) HALVORN_UNUSED_SLOT(6)
  HALVORN_UNUSED_SLOT(7) HALVORN_UNUSED_SLOT(8) HALVORN_UNUSED_SLOT(9) HALVORN_UNUSED_SLOT(10)
  // 11: a new pattern made of a fill's pattern data, with one reference.
  virtual HRESULT STDMETHODCALLTYPE MakePattern(DWORD first, DWORD data, IUnknown** out) = 0;
};

#undef HALVORN_UNUSED_SLOT

extern "C" {
// What QueryClassExtension answers for the extension class and interface: `object` asked for the interface
// (the engine holds a reference; null takes the extension away), for the tests.
HALVORN_API void HostSetClassExtension(const GUID* extension, const IID* iid, IUnknown* object);

// One QueryClassExtension call as the engine received it (GUID_NULL for a null extension class).
struct HostClassExtensionCall {
  GUID extension;
  IID iid;
  IUnknown* outer;  // the object the extension was asked for, without a reference
};
// The calls of QueryClassExtension so far, in order, for the tests.
HALVORN_API LONG HostClassExtensionCallCount();
HALVORN_API BOOL HostGetClassExtensionCall(LONG index, HostClassExtensionCall* out);
HALVORN_API void HostClearClassExtensionCalls();
}

// ---- style-library files ----
// What the style-library file access asks of the engine: the application's file type, the registry, and a
// document for each file it opens.

// The application's file type (GetAppInterface).
inline constexpr IID IID_IJApplicationFileType = {
    0x6E5C2D22, 0x2B97, 0x11D0, {0x83, 0x94, 0x08, 0x00, 0x36, 0x55, 0x7B, 0x02}};
struct IJApplicationFileType : public IUnknown {
  // 3: the file-type name, narrow and terminated; HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER) and an empty
  // buffer when it does not fit.
  virtual HRESULT STDMETHODCALLTYPE GetFileTypeName(LPSTR buffer, DWORD size) = 0;
  // 4: the host application's class, by which its settings are kept in the registry; the application keeps it.
  // Null when the host names none.
  virtual const CLSID* STDMETHODCALLTYPE GetApplicationClassID() = 0;
};

// The application's registry settings (GetRegistryAccess).
inline constexpr IID IID_IJRegistryAccess = {
    0x6E5C2D21, 0x2B97, 0x11D0, {0x83, 0x94, 0x08, 0x00, 0x36, 0x55, 0x7B, 0x02}};
struct IJRegistryAccess : public IUnknown {
  // 3: the text value named by the last part of `key` ("A\B\Value"), in the key named by the parts before it,
  // under the application's key. `root` and `reserved` are 0. *size: the buffer's bytes on entry, the bytes
  // stored with the terminator on return. Answers 0 or the registry's error code (ERROR_FILE_NOT_FOUND for a
  // missing key or value, ERROR_MORE_DATA for a value that does not fit, ERROR_INVALID_DATA for one that is
  // not text).
  virtual LONG STDMETHODCALLTYPE QueryRegistryValue(DWORD root, LPCSTR key, DWORD reserved, LPSTR buffer,
                                                    DWORD* size) = 0;
};

// The application's key, in HKEY_CURRENT_USER of the build's Wine prefix.
#define HALVORN_REGISTRY_KEY "Software\\Halvorn"

extern "C" {

// An interface of the application's registry settings by IID; E_NOINTERFACE for one the stand-in does not
// offer.
HALVORN_API HRESULT GetRegistryAccess(const IID* iid, void** out);

// A new, empty document for a file that `owner` opens, with one reference. Besides its named objects
// (IJDocumentNamedObjects) and IJDocument2 it answers IPersistStorage: Save writes the document's objects to
// the storage (stream "HostObjects": count, then per object its persistent ID, class ID, record size and
// record as its IJPersist stores it; stream "HostNames": count, then per name its length, UTF-16 units and the
// persistent ID of its object); Load makes each object again with CoCreateInstance of its class ID, under its
// persistent ID, loads its record, restores the names, and keeps the storage until the document goes.
HALVORN_API HRESULT CreateDocumentObject(IUnknown* owner, IUnknown** document);

// ---- for the tests ----

// The name IJApplicationFileType answers ("Drawing" at start); cut to 63 characters.
HALVORN_API void HostSetFileTypeName(LPCSTR name);
// What GetAppInterface answers for IJApplicationFileType: a failure is answered as it is; S_OK offers it, its
// class-ID query answering `clsid` (copied; null for none). At start S_OK and no class.
HALVORN_API void HostSetApplicationIdentity(HRESULT answer, const CLSID* clsid);

}  // extern "C"

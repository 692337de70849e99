// JStyleLib: the style library of one document. It numbers the document's styles (a style ID is the 1-based
// index of the style's entry), keeps their names per style type, their parents and two use counts, the active
// and default style of every type, and the document's persistent ID of each style object, through which it
// fetches objects on first use. It creates no style itself: styles are added to it, fetched from the document,
// or reached by name through a type's name table (names that come from style-library files).
//
// The entry operations live in JStyleLib.cpp, the librarian's table in JStyleLibLibrarian.cpp and the library
// routines that add styles and look after children and defaults in JStyleLibRoutines.cpp.
#pragma once

#include "display/style/stylesrv_com.h"
#include "display/style/stylesrv_itf.h"
#include "display/style/styllib/JStyleTypeTable.h"
#include "display/style/StyleGrowableArray.h"
#include "display/style/styllib/StyleWorkbenchMap.h"
#include "host/halvorn/halvorn.h"

class JStyleLib : public UUnknown {
 public:
  STYLE_ENGINE_ALLOCATED

  explicit JStyleLib(IUnknown* outer = nullptr);
  STYLE_DECLARE_DELETING_DESTRUCTOR(JStyleLib)

  HRESULT Init() override;
  void FinalRelease() override;
  void* GetInterface(REFIID iid) override;
  void* GetAggregateInterface(REFIID iid) override;
  const char* GetClassName() override { return "JStyleLib"; }

  // ---- entries ----

  // Adds an entry for the record's style of the type. With `create`, the entry takes the record's object and
  // the object is registered with the document; without, the entry is a name whose object comes from the
  // type's name table (and the record carries no object). *id is the new ID.
  HRESULT AddEntry(WORD typeIndex, const StyleRecord* record, BOOL create, DWORD* id);
  // Gives an entry whose object is not loaded its object: from the name table, the document or a default.
  HRESULT LoadEntryObject(DWORD id);
  // The entry of an ID with its object loaded; null for an ID out of range, a free slot or a failed load.
  StyleEntry* GetEntry(DWORD id);
  // The entry of an ID as it is (nothing loaded); null for an ID out of range.
  StyleEntry* EntryAt(DWORD id) const { return id >= 1 && id <= m_highestID ? &m_entries[id] : nullptr; }
  // 1..highestID and not free.
  bool IsValidID(DWORD id) const;
  // A slot without name and persistent ID.
  bool IsFreeSlot(DWORD id) const;
  // The lowest ID of the type with that name (case ignored), loading nothing; E_FAIL when there is none.
  HRESULT FindIDByName(WORD typeIndex, LPCWSTR name, DWORD* id) const;
  // As FindIDByName, loading objects on the way and taking only entries with a persistent ID.
  HRESULT FindIDByNameLoading(WORD typeIndex, LPCWSTR name, DWORD* id);
  // The first named entry on the way up from the ID through the parents; 0 when there is none.
  HRESULT NearestNamedAncestor(DWORD id, DWORD* out) const;
  // S_OK when the entry's object is in the document (or the entry has no document object); E_FAIL when not.
  HRESULT CheckInDocument(DWORD id);
  // Removes an entry that is no longer used: it leaves the document, its children are re-linked and its slot
  // is freed. The active and the default style of a type are never removed.
  HRESULT RemoveEntry(DWORD id);
  // Drops every object, text and type, the companions and the workbench registry, ahead of a load; no ID is in
  // use afterwards.
  void ClearLibrary();

  // Use counts. ID 0 does nothing for the first pair; an invalid ID is E_INVALIDARG.
  HRESULT AddRefStyleID(DWORD id);
  HRESULT ReleaseStyleID(DWORD id);
  HRESULT AddRefStyleID2(DWORD id);
  HRESULT ReleaseStyleID2(DWORD id);

  // ---- library routines ----

  // Adds a styled record: by name and type, or, for an unnamed style with `shareEqual`, by handing out an equal
  // unnamed style under the same named ancestor (0x40222).
  HRESULT AddStyleCore(StyleRecord* record, DWORD* id, BOOL shareEqual);
  // The add of a name without an object while the library shares styles (libraryFlags bit 0).
  HRESULT AddSharedStyle(const StyleRecord* record, WORD typeIndex, DWORD* id);
  HRESULT FindEqualUnnamedStyle(IUnknown* object, DWORD ancestor, WORD typeIndex, DWORD* id);
  // Places an object in the library's document when it is not there yet.
  HRESULT EnsureInDocument(IUnknown* object);
  // Tells the workbench of a child that its parent changed.
  HRESULT ReparentChild(DWORD child, DWORD newParent);
  // Gives an entry whose object was released from the document a default object of its type.
  HRESULT ReplaceWithDefaultObject(WORD typeIndex, DWORD id);
  // Tells the workbenches of the ID's children that their parent was edited, and goes on down from every child
  // that asks for it. A failing child is reported and skipped.
  HRESULT UpdateChildStyles(DWORD id);
  // Tells every loaded, persisted style that a style changed. Failures are reported and ignored.
  void BroadcastStyleChanged(DWORD id, IUnknown* typed);
  // The default object of the type at the index of the standard order; S_FALSE and null for a type without.
  HRESULT CreateDefaultObject(WORD typeIndex, IUnknown** out);
  // Gives a new paragraph style the default settings and a new default character style of this library.
  HRESULT SetUpDefaultParagraph(IUnknown* object);
  // Adds a default style of the type: its ID, or S_FALSE and 0 for a type without a default.
  HRESULT MakeDefaultStyle(WORD typeIndex, DWORD* id);
  // An entry takes a new object, as a workbench commits an edited style.
  HRESULT ReplaceEntryObject(DWORD id, IUnknown* object);
  // A name-only entry (the name's object comes from the type's name table).
  HRESULT AddNameEntry(WORD typeIndex, LPCWSTR name, const GUID* type, DWORD* id);
  // Moves an entry to another type, its name with it.
  HRESULT MoveToType(DWORD id, WORD target);
  // A new workbench of the type's class, bound to the ID: registered (Attach) or not (AttachNew).
  HRESULT NewWorkbench(const GUID& type, DWORD id, bool attachNew, IWorkbenchAdmin** out);
  // Names of the style-library files of the resource list into the name tables.
  HRESULT LoadResourceStyleNames();
  // After a name went away: names without a persisted entry leave the tables, and the files' names come back.
  HRESULT NameChanged();
  // The library's own object in its document (registered there on first use), with a reference.
  HRESULT GetLibraryDocumentObject(IUnknown** out);
  // A new library: the thirteen standard types.
  HRESULT InitNew();

  // Keeps the descriptor of a file name whose style an entry took, for as long as the library lives.
  HRESULT KeepSharedName(JSymbolDescriptor* descriptor);

  // Lets go of the objects of the entries the document keeps, as a load leaves them (the descriptors of their
  // names too); the next use fetches them from the document again.
  void DropDocumentObjects();

  // ---- state ----

  // The document that holds the library, with a reference.
  HRESULT GetDocument(IJDocumentNamedObjects** out);
  IJSLLibrarian* Librarian() { return &m_IJSLLibrarianImp; }
  // What the library is known by: its controlling unknown, without a reference.
  IUnknown* Identity() const { return GetControllingUnknown(); }
  JStyleTypeTable& Types() { return m_types; }
  DWORD HighestID() const { return m_highestID; }
  bool DocumentBacked() const { return m_documentBacked != 0; }

  // ---- interfaces ----

  STYLE_BEGIN_INTERFACE_PART(JStyleLib, IJSLRender)
  HRESULT STDMETHODCALLTYPE GetStyleForRender(DWORD id, IUnknown** out, StyleTypeRecord** type) override;
  HRESULT STDMETHODCALLTYPE AddRefStyleID(DWORD id) override;
  HRESULT STDMETHODCALLTYPE ReleaseStyleID(DWORD id) override;
  HRESULT STDMETHODCALLTYPE AddRefStyleID2(DWORD id) override;
  HRESULT STDMETHODCALLTYPE ReleaseStyleID2(DWORD id) override;
  STYLE_END_INTERFACE_PART(IJSLRender)

  STYLE_BEGIN_INTERFACE_PART(JStyleLib, IJSLLibrarian)
  HRESULT STDMETHODCALLTYPE GetStyle(DWORD id, IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE AddRefStyleID(DWORD id) override;
  HRESULT STDMETHODCALLTYPE ReleaseStyleID(DWORD id) override;
  HRESULT STDMETHODCALLTYPE GetStyleID(IUnknown* object, DWORD* id) override;
  HRESULT STDMETHODCALLTYPE FindStyleID(IUnknown* object, DWORD* id) override;
  HRESULT STDMETHODCALLTYPE GetStyleRecord(DWORD id, StyleRecord** out) override;
  HRESULT STDMETHODCALLTYPE FreeStyleRecord(StyleRecord** record) override;
  HRESULT STDMETHODCALLTYPE AddStyle(StyleRecord* record, DWORD* id) override;
  HRESULT STDMETHODCALLTYPE FindOrAddName(LPCWSTR name, const GUID* type, DWORD* id) override;
  HRESULT STDMETHODCALLTYPE FindOrCreateStyleID(LPCWSTR name, const GUID* type, DWORD* id) override;
  HRESULT STDMETHODCALLTYPE GetStyleName(DWORD id, LPWSTR buffer, DWORD* length) override;
  HRESULT STDMETHODCALLTYPE RenameStyle(DWORD id, LPCWSTR name, DWORD force) override;
  HRESULT STDMETHODCALLTYPE RemoveStyle(DWORD id) override;
  HRESULT STDMETHODCALLTYPE RemoveStyleByName(LPCWSTR name, const GUID* type) override;
  HRESULT STDMETHODCALLTYPE DropStyleName(DWORD id) override;
  HRESULT STDMETHODCALLTYPE NotOffered16(DWORD) override;
  HRESULT STDMETHODCALLTYPE GetActiveStyleID(const GUID* type, DWORD* id, BYTE create) override;
  HRESULT STDMETHODCALLTYPE SetActiveStyleID(const GUID* type, DWORD id) override;
  HRESULT STDMETHODCALLTYPE GetParentID(DWORD id, DWORD* parent) override;
  HRESULT STDMETHODCALLTYPE SetParentID(DWORD id, DWORD parent) override;
  HRESULT STDMETHODCALLTYPE SetTypeCategory(GUID type, GUID iid) override;
  HRESULT STDMETHODCALLTYPE LoadResourceStyleNames() override;
  HRESULT STDMETHODCALLTYPE GetTypeNameMap(GUID type, StyleNameMap** out) override;
  HRESULT STDMETHODCALLTYPE EnumStyles(const GUID* type, IEnumUnknown** out) override;
  HRESULT STDMETHODCALLTYPE NewEnumStyles(const GUID* type, IEnumUnknown** out) override;
  HRESULT STDMETHODCALLTYPE GetNamedStyleCount(DWORD* n) override;
  HRESULT STDMETHODCALLTYPE GetStyleCount(DWORD* n) override;
  HRESULT STDMETHODCALLTYPE GetNamedStyleCountOfType(const GUID* type, DWORD* n) override;
  HRESULT STDMETHODCALLTYPE GetTypeNameCount(const GUID* type, DWORD* n) override;
  HRESULT STDMETHODCALLTYPE GetKeptStyleCount(DWORD* n) override;
  HRESULT STDMETHODCALLTYPE GetUnkeptStyleCount(DWORD* n) override;
  HRESULT STDMETHODCALLTYPE GetTypeCount(DWORD* n) override;
  HRESULT STDMETHODCALLTYPE GetTypeGUID(WORD index, GUID* out) override;
  HRESULT STDMETHODCALLTYPE FindStyleIDByName(LPCWSTR name, const GUID* type, DWORD* id) override;
  HRESULT STDMETHODCALLTYPE CopyStyleTo(DWORD id, IUnknown* otherLibrary, DWORD* newID) override;
  HRESULT STDMETHODCALLTYPE GetLibraryDocumentObject(IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE SetExceptionStyleID(GUID type, DWORD id) override;
  HRESULT STDMETHODCALLTYPE GetExceptionStyleID(GUID type, DWORD* id) override;
  HRESULT STDMETHODCALLTYPE FindEqualStyleIDUnderParent(DWORD parent, IUnknown* object, DWORD* id) override;
  HRESULT STDMETHODCALLTYPE RegisterType(GUID type, DWORD activeID, DWORD defaultID, GUID iid) override;
  HRESULT STDMETHODCALLTYPE NoEffect41(DWORD, DWORD) override;
  HRESULT STDMETHODCALLTYPE NoEffect42(DWORD, DWORD) override;
  HRESULT STDMETHODCALLTYPE GetUseCount(DWORD id, DWORD* n) override;
  HRESULT STDMETHODCALLTYPE NotOffered44(DWORD, DWORD) override;
  HRESULT STDMETHODCALLTYPE NotOffered45(DWORD, DWORD, DWORD) override;
  HRESULT STDMETHODCALLTYPE AddStyleNoCreate(StyleRecord* record, DWORD* id) override;
  HRESULT STDMETHODCALLTYPE ReplaceStyle(DWORD id, IUnknown* object) override;
  HRESULT STDMETHODCALLTYPE NameChanged(DWORD) override;
  HRESULT STDMETHODCALLTYPE NoEffect49(DWORD) override;
  HRESULT STDMETHODCALLTYPE GetFlags(DWORD* flags) override;
  HRESULT STDMETHODCALLTYPE SetFlags(DWORD flags) override;
  HRESULT STDMETHODCALLTYPE GetLibraryValue(DWORD* value) override;
  HRESULT STDMETHODCALLTYPE CopyStyleFromLibrary(DWORD id, IUnknown* otherLibrary, DWORD* newID) override;
  HRESULT STDMETHODCALLTYPE FindStyleIDByName2(LPCWSTR name, const GUID* type, DWORD* id) override;
  HRESULT STDMETHODCALLTYPE IsDeletedSlot(DWORD id) override;
  HRESULT STDMETHODCALLTYPE RemoveUnusedStyles(DWORD) override;
  HRESULT STDMETHODCALLTYPE AddRefStyleID2(DWORD id) override;
  HRESULT STDMETHODCALLTYPE ReleaseStyleID2(DWORD id) override;
  HRESULT STDMETHODCALLTYPE FindEqualStyleID(IUnknown* object, DWORD* id) override;
  HRESULT STDMETHODCALLTYPE UpdateChildStyles(DWORD id) override;
  HRESULT STDMETHODCALLTYPE ChangeStyleType(DWORD id, const GUID* type) override;
  HRESULT STDMETHODCALLTYPE ResyncStyleTypes() override;
  HRESULT STDMETHODCALLTYPE GetLiveCount(DWORD* n) override;
  HRESULT STDMETHODCALLTYPE SetStyleNameString(LPCWSTR name, const GUID* type, LPCWSTR text) override;
  HRESULT STDMETHODCALLTYPE SetDocumentBacked(BYTE backed) override;
  STYLE_END_INTERFACE_PART(IJSLLibrarian)

  STYLE_BEGIN_INTERFACE_PART(JStyleLib, IJSLibAccess)
  HRESULT STDMETHODCALLTYPE EnumTypeItems(const GUID* type, StyleDescriptorCallback callback,
                                          void* context) override;
  STYLE_END_INTERFACE_PART(IJSLibAccess)

  STYLE_BEGIN_INTERFACE_PART(JStyleLib, IJSLWorkShop)
  HRESULT STDMETHODCALLTYPE GetWorkbench(DWORD id, BOOL forceNew, IWorkbenchAdmin** out) override;
  HRESULT STDMETHODCALLTYPE GetWorkbenchByName(LPCWSTR name, const GUID* type, BOOL createNew, BOOL detached,
                                               IWorkbenchAdmin** out) override;
  HRESULT STDMETHODCALLTYPE GetWorkbenchOfStyle(IUnknown* style, BOOL forceNew, IWorkbenchAdmin** out) override;
  HRESULT STDMETHODCALLTYPE ForgetWorkbench(DWORD id) override;
  HRESULT STDMETHODCALLTYPE RegisterWorkbench(DWORD id, IUnknown* workbench) override;
  HRESULT STDMETHODCALLTYPE MoveWorkbench(DWORD newID, DWORD oldID, IUnknown* workbench) override;
  STYLE_END_INTERFACE_PART(IJSLWorkShop)

  STYLE_BEGIN_INTERFACE_PART(JStyleLib, IJPersist)
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* out) override;
  void* STDMETHODCALLTYPE GetImplementation() override;
  HRESULT STDMETHODCALLTYPE Load(JArchive* archive) override;
  HRESULT STDMETHODCALLTYPE Store(JArchive* archive) override;
  HRESULT STDMETHODCALLTYPE Clone(IUnknown* outer, IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE InitNew() override;
  STYLE_END_INTERFACE_PART(IJPersist)

  STYLE_BEGIN_INTERFACE_PART(JStyleLib, IJSLManageStyleServices)
  HRESULT STDMETHODCALLTYPE GetPersistedStyleName(DWORD id, LPWSTR* name) override;
  STYLE_END_INTERFACE_PART(IJSLManageStyleServices)

  STYLE_BEGIN_INTERFACE_PART(JStyleLib, IJStyleConvertR1Elements)
  HRESULT STDMETHODCALLTYPE CheckStyleReferences(DWORD) override;
  STYLE_END_INTERFACE_PART(IJStyleConvertR1Elements)

 protected:
  ~JStyleLib();

 private:
  // The category interface of an object, or its identity with one more reference when it has none.
  IUnknown* TypedInterface(IUnknown* object, WORD typeIndex) const;
  // Releases an entry's texts and interfaces and zeroes every word but the hold count.
  static void DropEntryContents(StyleEntry* entry);
  // The slot of a removed or dropped entry is free again.
  void CountFreedSlot(DWORD id);
  void ClearRenderCacheOf(DWORD id);
  // The companion of a CLSID (resource list, unit settings), made on first request; its inner IUnknown.
  IUnknown* Companion(IUnknown** slot, REFCLSID clsid);
  // The workshop, made on first request and told of this library; null when it cannot be made.
  IUnknown* Workshop();
  // Persistence (JStyleLibPersist.cpp). The one routine that reads and writes the library's record.
  HRESULT Serialize(JArchive* archive);
  // The record's body after its class header: types, entries, companions; when loading, checked in full before
  // it replaces the library's types and entries.
  HRESULT StoreBody(JArchive* archive);
  HRESULT LoadBody(JArchive* archive, bool dropCached, bool* hadResourceList);
  // Takes over checked entries 1..count (their texts move into the library).
  HRESULT InstallEntries(StyleEntry* loaded, DWORD count, bool dropCached);
  HRESULT SerializeCompanion(JArchive* archive, IUnknown** slot, REFCLSID clsid, bool loading, DWORD* flag);
  // Cuts stored loops of parents, and parents of another type that have parents of their own.
  void RepairParents();
  // Every entry zeroed, no ID in use (after ClearLibrary let go of what the entries held).
  void ResetEntryTable();
  // The entry's type record (null for an unknown index).
  StyleTypeRecord* TypeOf(const StyleEntry& entry) const { return m_types.At(entry.typeIndex); }
  // Files a descriptor of a named entry in its type's name table, first removing one of the same name.
  HRESULT FileName(const StyleEntry& entry, IUnknown* style);
  HRESULT NotifyStyleAdded(const StyleRecord* record);
  // Tells the hook of a changed use or hold count.
  void HookCount(DWORD id, DWORD count, bool hold);
  // The object, through IJManageStyle2 when it has it, gets this library as librarian and the ID as its own.
  HRESULT AttachStyle(IUnknown* object, DWORD id);

  JStyleTypeTable m_types;
  StyleGrowableArray<StyleEntry> m_entries;
  DWORD m_highestID = 0;
  StyleWorkbenchMap m_workbenches;
  DWORD m_liveCount = 0;
  DWORD m_libraryFlags = 1;
  DWORD m_libraryValue = 0;
  StyleGrowableArray<DWORD> m_spareWords;
  IUnknown* m_resourceList = nullptr;  // inner IUnknown of the aggregated companion
  IUnknown* m_unitSettings = nullptr;
  IUnknown* m_workshop = nullptr;
  IUnknown* m_documentObject = nullptr;  // a reference
  IUnknown* m_renderCacheStyle = nullptr;  // no reference of its own: the entry holds it
  DWORD m_renderCacheID = 0;
  DWORD m_objectsLoadedForAccess = 0;
  DWORD m_freeSlotCount = 0;
  IQuilletHook* m_hook;
  BYTE m_documentBacked = 1;
  bool m_makingWorkshop = false;  // the workshop asks its outer object for interfaces while it is made
  // The descriptors of file names whose styles entries took, a reference each: they keep alive the libraries
  // those styles belong to after the names leave the tables and the files are closed.
  StyleGrowableArray<JSymbolDescriptor*> m_sharedNames;
};

// One of this server's own classes, made in process (aggregated under `outer` when given) through the server's
// class table, as a host would through its class object.
HRESULT CreateOwnInstance(REFCLSID clsid, IUnknown* outer, REFIID iid, void** out);
// The same, not aggregated, for a class the library relies on: a failure is reported as fatal (`RCfatalerr`)
// and through HRerr under the caller's source name and line, and answered.
HRESULT CreateOwnInstanceOrFatal(REFCLSID clsid, REFIID iid, void** out, const char* source, int line);
// An object of any class, made in process and not aggregated: this server's own classes through its class
// table (as CreateOwnInstance), any other class through the host's JCoCreateInstance, which finds the class
// objects the host registered.
HRESULT CreateInProcessInstance(REFCLSID clsid, REFIID iid, void** out);
// The same, with a failure reported as fatal and through HRerr under the caller's source name and line.
HRESULT CreateInProcessInstanceOrFatal(REFCLSID clsid, REFIID iid, void** out, const char* source, int line);

// The default dimension-style record handed to the host's dimension-style class: fills the fields it fixes and
// leaves every other byte of the kDimensionRecordSize bytes as it was.
inline constexpr std::size_t kDimensionRecordSize = 1321;
void InitDefaultDimensionRecord(BYTE* record);
// What the default (exception) dimension style changes in that record, drawn in `colour`.
void ApplyDimensionExceptionChanges(BYTE* record, DWORD colour);

// DropDocumentObjects of a library given by any of its interfaces; E_INVALIDARG for anything else. For the
// project's tests, through the server's internal table.
HRESULT StyleLibDropObjects(IUnknown* library);

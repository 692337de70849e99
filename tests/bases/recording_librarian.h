// A small style library for the tests of the style bases: it numbers styles, keeps their names, parents and
// use counts, answers the librarian operations the bases call, and records those calls in order. Operations
// the bases do not call answer E_NOTIMPL.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "display/style/stylesrv_itf.h"

class RecordingLibrarian final : public IJSLLibrarian, public IJSLManageStyleServices, public IJSLWorkShop {
 public:
  // With one reference.
  static RecordingLibrarian* Create();

  struct Entry {
    IUnknown* object = nullptr;  // identity, one reference
    std::wstring name;
    GUID type{};
    DWORD parentID = 0;
    DWORD useCount = 0;
    bool persisted = false;  // GetPersistedStyleName answers its name
    std::wstring second;     // the entry's second string
  };

  // Adds a style as the library does: the style gets this library as owner and its ID. Answers the ID.
  DWORD Add(IUnknown* style, const wchar_t* name = nullptr, DWORD parentID = 0, bool persisted = false);
  const Entry& At(DWORD id) const { return m_entries.at(id - firstID); }
  // For a test that changes an entry behind the librarian's back.
  Entry& EntryOf(DWORD id) { return m_entries.at(id - firstID); }
  DWORD Count() const { return static_cast<DWORD>(m_entries.size()); }
  DWORD UseCount(DWORD id) const { return At(id).useCount; }
  // The entry of an object, 0 when there is none.
  DWORD IdOf(IUnknown* object) const;

  // Calls in order, as "AddRefStyleID(7)", "GetStyle(3)", "SetFlags(0)".
  std::vector<std::string> log;
  // When true, the engine's MarkObjectModified of this librarian is logged too, as "MarkObjectModified", in
  // its place among the calls (see Calls).
  bool logsMarks = false;
  // The log with the marks made since the last call taken in.
  const std::vector<std::string>& Calls();
  // The ID of the first entry (1 unless a test needs large IDs); set before the first Add.
  DWORD firstID = 1;
  // The workbench registry: ID to workbench, no reference held.
  std::map<DWORD, IUnknown*> workbenches;
  // The next calls of an operation (by name) answer this failure instead.
  std::map<std::string, HRESULT> failures;
  // When false, the library does not answer IJSLManageStyleServices.
  bool offersServices = true;
  // When true, AddStyle takes nothing and answers S_OK with ID 0, as a library that refuses without a code.
  bool addGivesNoID = false;
  DWORD flags = 1;
  // What IsDeletedSlot answers for an ID not listed here: S_OK for an entry, E_FAIL past the last one. And the
  // count GetStyleCount answers when not 0 (else the number of entries).
  std::map<DWORD, HRESULT> slotAnswers;
  DWORD styleCount = 0;

  // ---- IUnknown ----
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override;

  // ---- IJSLLibrarian: what the bases call ----
  HRESULT STDMETHODCALLTYPE GetStyle(DWORD id, IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE AddRefStyleID(DWORD id) override;
  HRESULT STDMETHODCALLTYPE ReleaseStyleID(DWORD id) override;
  HRESULT STDMETHODCALLTYPE GetStyleID(IUnknown* object, DWORD* id) override;
  HRESULT STDMETHODCALLTYPE FindStyleID(IUnknown* object, DWORD* id) override;
  HRESULT STDMETHODCALLTYPE GetStyleRecord(DWORD id, StyleRecord** out) override;
  HRESULT STDMETHODCALLTYPE FreeStyleRecord(StyleRecord** record) override;
  HRESULT STDMETHODCALLTYPE AddStyle(StyleRecord* record, DWORD* id) override;
  HRESULT STDMETHODCALLTYPE GetUseCount(DWORD id, DWORD* n) override;
  HRESULT STDMETHODCALLTYPE GetFlags(DWORD* value) override;
  HRESULT STDMETHODCALLTYPE SetFlags(DWORD value) override;
  HRESULT STDMETHODCALLTYPE CopyStyleFromLibrary(DWORD id, IUnknown* otherLibrary, DWORD* newID) override;
  // The walk over the entries and their parents. Only persisted entries are found by name, as the library finds
  // only the entries of its document.
  HRESULT STDMETHODCALLTYPE GetStyleCount(DWORD* n) override;
  HRESULT STDMETHODCALLTYPE IsDeletedSlot(DWORD id) override;
  HRESULT STDMETHODCALLTYPE GetParentID(DWORD id, DWORD* parent) override;
  HRESULT STDMETHODCALLTYPE SetParentID(DWORD id, DWORD parent) override;
  HRESULT STDMETHODCALLTYPE FindStyleIDByName2(LPCWSTR name, const GUID* type, DWORD* id) override;

  // The editors' operations. Names are found without regard to case, among the entries of the type.
  HRESULT STDMETHODCALLTYPE FindStyleIDByName(LPCWSTR name, const GUID* type, DWORD* id) override;
  HRESULT STDMETHODCALLTYPE RenameStyle(DWORD id, LPCWSTR name, DWORD force) override;
  HRESULT STDMETHODCALLTYPE ReplaceStyle(DWORD id, IUnknown* object) override;
  HRESULT STDMETHODCALLTYPE SetStyleNameString(LPCWSTR name, const GUID* type, LPCWSTR text) override;

  // ---- IJSLWorkShop: the registry alone; nothing is made ----
  HRESULT STDMETHODCALLTYPE GetWorkbench(DWORD id, BOOL forceNew, IWorkbenchAdmin** out) override;
  HRESULT STDMETHODCALLTYPE GetWorkbenchByName(LPCWSTR, const GUID*, BOOL, BOOL, IWorkbenchAdmin**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetWorkbenchOfStyle(IUnknown*, BOOL, IWorkbenchAdmin**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ForgetWorkbench(DWORD id) override;
  HRESULT STDMETHODCALLTYPE RegisterWorkbench(DWORD id, IUnknown* workbench) override;
  HRESULT STDMETHODCALLTYPE MoveWorkbench(DWORD newID, DWORD oldID, IUnknown* workbench) override;

  // ---- IJSLManageStyleServices ----
  HRESULT STDMETHODCALLTYPE GetPersistedStyleName(DWORD id, LPWSTR* name) override;

  // ---- the rest ----
  HRESULT STDMETHODCALLTYPE FindOrAddName(LPCWSTR, const GUID*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindOrCreateStyleID(LPCWSTR, const GUID*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetStyleName(DWORD, LPWSTR, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RemoveStyle(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RemoveStyleByName(LPCWSTR, const GUID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DropStyleName(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotOffered16(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetActiveStyleID(const GUID*, DWORD*, BYTE) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetActiveStyleID(const GUID*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetTypeCategory(GUID, GUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE LoadResourceStyleNames() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeNameMap(GUID, StyleNameMap**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumStyles(const GUID*, IEnumUnknown**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NewEnumStyles(const GUID*, IEnumUnknown**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNamedStyleCount(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetNamedStyleCountOfType(const GUID*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeNameCount(const GUID*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetKeptStyleCount(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetUnkeptStyleCount(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeCount(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeGUID(WORD, GUID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CopyStyleTo(DWORD, IUnknown*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetLibraryDocumentObject(IUnknown**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetExceptionStyleID(GUID, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetExceptionStyleID(GUID, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindEqualStyleIDUnderParent(DWORD, IUnknown*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RegisterType(GUID, DWORD, DWORD, GUID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NoEffect41(DWORD, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE NoEffect42(DWORD, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE NotOffered44(DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotOffered45(DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE AddStyleNoCreate(StyleRecord*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NameChanged(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NoEffect49(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetLibraryValue(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RemoveUnusedStyles(DWORD) override { return E_NOTIMPL; }
  // Holds are logged and answered, not counted.
  HRESULT STDMETHODCALLTYPE AddRefStyleID2(DWORD id) override { return Enter("AddRefStyleID2", id); }
  HRESULT STDMETHODCALLTYPE ReleaseStyleID2(DWORD id) override { return Enter("ReleaseStyleID2", id); }
  HRESULT STDMETHODCALLTYPE FindEqualStyleID(IUnknown*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE UpdateChildStyles(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ChangeStyleType(DWORD, const GUID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ResyncStyleTypes() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetLiveCount(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetDocumentBacked(BYTE) override { return E_NOTIMPL; }

  IJSLLibrarian* Librarian() { return this; }

 private:
  RecordingLibrarian() = default;
  ~RecordingLibrarian();

  // Logs the call and answers the failure a test set for it, or S_OK.
  HRESULT Enter(const char* operation, DWORD argument);
  // The same with the call's arguments as logged text, as "RenameStyle(5, B, 0)".
  HRESULT EnterWith(const char* operation, const std::string& arguments);
  bool Valid(DWORD id) const { return id >= firstID && id - firstID < m_entries.size(); }
  DWORD FindByNameOfType(LPCWSTR name, const GUID& type) const;
  void TakeInMarks();
  DWORD FindByName(const std::wstring& name) const;

  ULONG m_refs = 1;
  std::vector<Entry> m_entries;
  LONG m_marksSeen = 0;  // engine notices looked at for marks
};

// JStyleBase: what every style object has. Its style ID in the library that holds it, its owner (that
// library's librarian, held without a reference), a 16-bit flag word, the persistence protocol shared by all
// style classes, references to other styles by ID, and four interfaces through which the host and the style
// library manage, persist, copy and query styles.
#pragma once

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_com.h"
#include "display/style/stylesrv_itf.h"
#include "host/halvorn/halvorn.h"

class JStyleBase : public UUnknown {
 public:
  STYLE_ENGINE_ALLOCATED

  JStyleBase();
  explicit JStyleBase(IUnknown* outer);

  void* GetInterface(REFIID iid) override;
  const char* GetClassName() override { return "JStyleBase"; }

  // ---- the main-table operations every style class shares, in slot order ----

  virtual BOOL UsesStyleID(DWORD id);
  // Writes the class's CLSID into *out and answers out.
  virtual GUID* GetClassID(GUID* out) = 0;
  // The class serializer, reached after the JStyleBase header (SerializeVersioned).
  virtual HRESULT Serialize(JArchive* archive);
  // A class that can be copied makes its copy here, constructed with `outer`. The bases make nothing: they set
  // *out to null and answer E_NOTIMPL, so a class that does not copy is never taken for one that did.
  virtual HRESULT Clone(IUnknown* outer, IUnknown** out);
  virtual HRESULT InitNew();
  virtual HRESULT CopyFrom(IUnknown* source, DWORD flags);
  // `other` is the other style's object (its IUnknown). Classes compare their own data first and then call
  // their base; two distinct styles are never equal when either is a named style persisted in its library.
  virtual HRESULT IsEqual(IUnknown* other, BOOL* same);
  virtual BOOL AlwaysTrueHook();
  virtual HRESULT SetID(DWORD id);
  // With an id pointer: the style ID. Without: *n = 1 (null n: E_INVALIDARG).
  virtual HRESULT GetID(WORD* n, DWORD* id);
  virtual HRESULT GetOwner(IUnknown** out);
  virtual HRESULT SetOwner(IUnknown* owner);
  virtual HRESULT ReleaseStyleRefs(DWORD);
  virtual HRESULT EnumStyleRefs(StyleRefCallback callback);
  // A copy of this style for the target library (source and target are not used here).
  virtual HRESULT CopyToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                                IUnknown** out);
  virtual GUID* GetStyleCategory(GUID* out);
  virtual HRESULT OnStyleChanged(DWORD id, DWORD);
  // The whole load or store of a style: the JStyleBase header in a versioned archive, then Serialize.
  virtual HRESULT SerializeVersioned(JArchive* archive);
  // The base record with which a current-layout record begins; `record` is the caller's zero-filled block.
  virtual HRESULT SerializeBase(JArchive* archive, StyleBaseRecord* record);

  // ---- operations of IJManageStyle2 that are the same for every class ----

  HRESULT IsSameStyle(IUnknown* other, BOOL* same);
  HRESULT SetLibrarian(IUnknown* librarian);
  // *newID is set to 0 first. The owner library's flags, cleared while the parent is copied, are restored on
  // every path.
  HRESULT CopyStyleToLibrary(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                             DWORD* newID);

  // ---- references to other styles by ID ----

  // 0 for a null style; 0xFFFFFFFF when there is no owner or the owner cannot name the style.
  DWORD GetStyleID(IUnknown* style);
  // Stores a new ID in a reference, adding a use of the new ID at the owner before releasing the old one.
  // Without an owner only 0 and 0xFFFFFFFF are accepted. An ID the owner refuses to count leaves the field and
  // the old ID's use as they were, and the refusal is the answer.
  HRESULT SetStyleRefID(DWORD* field, DWORD newID);
  // Points a reference at a style object; the ID follows from the owner. When the owner refuses that ID, the
  // pointer and the ID stay as they were and the refusal is the answer.
  HRESULT SetStyleRefPtr(DWORD* idField, IUnknown** pointerField, IUnknown* style);
  // As SetStyleRefPtr, keeping the style's interface of `iid`; a style without it is refused the same way.
  HRESULT SetStyleRefQI(DWORD* idField, IUnknown** pointerField, IUnknown* style, REFIID iid);
  // The interface `iid` of the style of an ID, resolved through the owner; null (S_OK) for ID 0, 0xFFFFFFFF
  // or a style without owner.
  HRESULT GetStyleByID(DWORD id, REFIID iid, void** out);

  // ---- references to objects of the document ----

  // The persistent ID of an object in the document that holds this style (or its owner).
  HRESULT GetDocumentObjectID(DWORD* out, IUnknown* object);
  // The object of a persistent ID in the document that holds this style; ID 0 answers null.
  HRESULT GetActiveDocStyleObject(IUnknown** out, DWORD id);

  // ---- state, for the classes and the tests ----

  DWORD StyleID() const { return m_styleID; }
  WORD FlagWord() const { return m_flagWord; }
  bool WasVersioned() const { return m_versioned != 0; }
  IUnknown* Owner() const { return m_owner; }
  bool OwnerIsLibrarian() const { return m_ownerIsLibrarian != 0; }

  // ---- archive helpers for the class serializers ----

  static bool IsStoring(const JArchive* archive) { return (archive->flags & ARCHIVE_STORING) != 0; }
  static bool IsLoading(const JArchive* archive) { return (archive->flags & ARCHIVE_LOADING) != 0; }
  static bool IsVersioned(const JArchive* archive) { return (archive->flags & ARCHIVE_VERSIONED) != 0; }
  // Loading, with the request to drop cached references first.
  static bool DropsCachedReferences(const JArchive* archive) {
    return IsLoading(archive) && (archive->flags & ARCHIVE_DROP_CACHED) != 0;
  }
  // Moves one value in the archive's direction.
  template <class T>
  static HRESULT Exchange(JArchive* archive, T& value) {
    return ArchiveSerializeBytes(archive, sizeof(T), &value);
  }
  // Before a count read from an archive drives an allocation: when loading, the count of `elementSize`-byte
  // elements must fit in what the archive still holds (HRESULT_FROM_WIN32(ERROR_INVALID_DATA) otherwise, for
  // the caller to report). Storing always passes.
  static HRESULT CheckArchiveCount(JArchive* archive, DWORD count, DWORD elementSize);

  // ---- nested interfaces ----

  STYLE_BEGIN_INTERFACE_PART(JStyleBase, IJPersist)
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* out) override;
  void* STDMETHODCALLTYPE GetImplementation() override;
  HRESULT STDMETHODCALLTYPE Load(JArchive* archive) override;
  HRESULT STDMETHODCALLTYPE Store(JArchive* archive) override;
  HRESULT STDMETHODCALLTYPE Clone(IUnknown* outer, IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE InitNew() override;
  STYLE_END_INTERFACE_PART(IJPersist)

  STYLE_BEGIN_INTERFACE_PART(JStyleBase, IJManageStyle2)
  HRESULT STDMETHODCALLTYPE CopyFrom(IUnknown* source, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE IsSameStyle(IUnknown* other, BOOL* same) override;
  BOOL STDMETHODCALLTYPE IsFlagWordClear() override;
  HRESULT STDMETHODCALLTYPE SetID(DWORD id) override;
  HRESULT STDMETHODCALLTYPE GetID(WORD* n, DWORD* id) override;
  HRESULT STDMETHODCALLTYPE SetFlagWord(WORD flags) override;
  HRESULT STDMETHODCALLTYPE GetOwner(IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE SetLibrarian(IUnknown* librarian) override;
  HRESULT STDMETHODCALLTYPE ReleaseStyleRefs(DWORD value) override;
  HRESULT STDMETHODCALLTYPE EnumStyleRefs(StyleRefCallback callback) override;
  HRESULT STDMETHODCALLTYPE CopyStyleToLibrary(IJSLLibrarian* source, IJSLLibrarian* target,
                                               IUnknown* targetDocument, DWORD* newID) override;
  HRESULT STDMETHODCALLTYPE GetStyleCategory(GUID* out) override;
  HRESULT STDMETHODCALLTYPE OnStyleChanged(DWORD id, DWORD value) override;
  STYLE_END_INTERFACE_PART(IJManageStyle2)

  STYLE_BEGIN_INTERFACE_PART(JStyleBase, IJStyleCopy)
  HRESULT STDMETHODCALLTYPE Copy(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                                 DWORD* newID) override;
  STYLE_END_INTERFACE_PART(IJStyleCopy)

  STYLE_BEGIN_INTERFACE_PART(JStyleBase, IJStyleUser)
  HRESULT STDMETHODCALLTYPE CopyStyleUse(IUnknown* sourceLibrary, IUnknown* targetLibrarian,
                                         IUnknown* targetDocument, IUnknown* source, DWORD value) override;
  HRESULT STDMETHODCALLTYPE AnnounceOwner(IUnknown* ownerLibrarian, DWORD* out) override;
  BOOL STDMETHODCALLTYPE UsesStyleID(DWORD id) override;
  STYLE_END_INTERFACE_PART(IJStyleUser)

 protected:
  ~JStyleBase();

  // The owner as a librarian, with a reference.
  HRESULT OwnerLibrarian(IJSLLibrarian** out) const;
  // The style's COM identity, without a reference: what libraries and documents know it by.
  IUnknown* Identity();

  DWORD m_styleID = 0;
  WORD m_flagWord = 0;
  DWORD m_versioned = 0;
  IUnknown* m_owner = nullptr;  // never reference counted
  BYTE m_ownerIsLibrarian = 0;

 private:
  HRESULT SerializeLegacyBlock(JArchive* archive);
  HRESULT CopyStyleToLibraryCore(IJSLLibrarian* source, IJSLLibrarian* target, IUnknown* targetDocument,
                                 DWORD* newID);
  HRESULT CopyParentToTarget(IJSLLibrarian* target, DWORD* parentID);
  // The common step of SetStyleRefPtr and SetStyleRefQI: the ID of `style`, then `kept` into the pointer field.
  HRESULT HoldStyleRef(DWORD* idField, IUnknown** pointerField, IUnknown* style, IUnknown* kept);
};

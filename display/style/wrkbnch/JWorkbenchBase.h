// JWorkbenchBase: the editing object of one style of a document's style library. It binds to a library entry
// (Attach), to a new style that derives from a parent (AttachNew) or to a free-standing style object
// (AttachObject); keeps the style's name, second string, parent and type; knows whether the working state
// differs from what the library holds; and writes the working copy back, as a new entry or into the bound one.
//
// A workbench class fills in the operations of main slots 15 to 23 (load, store, create, validate, describe,
// react to a new ID or a parent's notice); the base drives them. The library's workbench registry files a
// workbench under its style ID without a reference: the base keeps that entry true, registering the workbench
// when it gets an ID, moving it when the ID changes and taking it out when the workbench lets go of its ID.
#pragma once

#include <cstring>

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_com.h"
#include "display/style/stylesrv_itf.h"

class JWorkbenchBase;

// In-process only, never handed to a host: how the editing code recognises a workbench of this server behind
// an IUnknown before it reads that workbench's fields.
inline constexpr IID IID_IJWorkbenchImplementation = {
    0x4DDB1527, 0x69E7, 0x4AEF, {0xA9, 0x4F, 0x4F, 0x4F, 0x98, 0x83, 0x1F, 0x30}};
struct IJWorkbenchImplementation : public IUnknown {
  virtual JWorkbenchBase* STDMETHODCALLTYPE GetImplementation() = 0;
};

class JWorkbenchBase : public UUnknown {
 public:
  JWorkbenchBase();
  explicit JWorkbenchBase(IUnknown* outer);
  STYLE_DECLARE_DELETING_DESTRUCTOR(JWorkbenchBase)

  // The reset: strings freed, the use of the bound ID given back (and its registration dropped), the library
  // and the style object let go. A subclass resets its own working state after calling this.
  HRESULT Init() override;
  // Gives back the use of the bound ID and takes the workbench out of the library's registry.
  void FinalRelease() override;
  void* GetInterface(REFIID iid) override;
  const char* GetClassName() override { return "JWorkbenchBase"; }

  // ---- main slots 15 to 25, in slot order; 15 to 23 do nothing here and answer S_OK ----

  // Sets the type GUID and the working state of a new style (typically from the parent).
  virtual HRESULT InitNewStyle();
  // Reads the bound style into the working state.
  virtual HRESULT LoadStyle();
  // Writes the working state into a style object held in the style-object field (SetStyleObject).
  virtual HRESULT StoreStyle();
  // Makes the style object of a style that has neither object nor ID.
  virtual HRESULT CreateStyleObject();
  // Refuses an inconsistent state before anything is saved.
  virtual HRESULT ValidateEdits();
  // Builds the description text into the description field (SetDescriptionText).
  virtual HRESULT BuildDescription();
  virtual HRESULT OnStyleIDChanged(DWORD newID);
  // Take over what changed in the parent (`parent` is the parent's workbench): S_FALSE when this workbench
  // changed as a result, S_OK when not.
  virtual HRESULT OnParentChanged(IUnknown* parent);
  virtual HRESULT OnParentRemoved(IUnknown* parent);
  virtual HRESULT HandleParentChanged(IUnknown* parent);
  virtual HRESULT HandleParentRemoved(IUnknown* parent);

  // ---- IWorkbenchAdmin ----

  HRESULT AttachNew(DWORD parentID, IUnknown* library);
  HRESULT Attach(DWORD id, IUnknown* library);
  HRESULT AttachObject(IUnknown* style);
  HRESULT Save(DWORD* id);
  HRESULT GetStyleObject(void** out, REFIID iid);
  HRESULT SetName(LPCWSTR name);
  HRESULT GetDescription(LPWSTR** out);
  HRESULT SetSecondString(LPCWSTR text);
  HRESULT GetParentWorkbench(IUnknown** out);
  HRESULT DetachFromParent();
  HRESULT GetDisplayName(LPWSTR** out);

  // ---- for the workbench classes ----

  // The owning library of a style (through IJManageStyle2), with a reference; null when it has none.
  static HRESULT GetStyleOwner(IUnknown* style, IUnknown** owner);
  // Whether the style of `id` is owned by `library`; a null library counts as owning it.
  static HRESULT IsOwnedByLibrary(IUnknown* library, DWORD id, BOOL* out);
  // Fetches the library's object of the bound ID into the style-object field when none is held (unreported).
  HRESULT FetchLibraryStyleObject();

  static bool IsValidID(DWORD id) { return id != kNoStyleID && id != kInvalidStyleID; }
  // Saves a sub-workbench held by another workbench (a dash pattern's symbol, a line's dash pattern or
  // terminator) when it is bound to a library; *moved tells whether its style now lies in another entry than its
  // object did before, so that the holder stores its own style again.
  static HRESULT SaveSubWorkbench(IUnknown* workbench, bool* moved);

  DWORD StyleID() const { return m_styleID; }
  DWORD ParentID() const { return m_parentID; }
  const GUID& StyleType() const { return m_type; }
  LPCWSTR Name() const { return m_name; }
  LPCWSTR SecondString() const { return m_secondString; }
  IUnknown* StyleObject() const { return m_styleObject; }
  IJSLLibrarian* Librarian() const { return m_librarian; }
  bool IsDirty() const { return m_dirty != 0; }
  IWorkbenchAdmin* Admin() { return &m_IWorkbenchAdminImp; }

  // ---- nested interfaces ----

  STYLE_BEGIN_INTERFACE_PART(JWorkbenchBase, IWorkbenchAdmin)
  HRESULT STDMETHODCALLTYPE AttachNew(DWORD parentID, IUnknown* library) override;
  HRESULT STDMETHODCALLTYPE Attach(DWORD id, IUnknown* library) override;
  HRESULT STDMETHODCALLTYPE AttachObject(IUnknown* style) override;
  HRESULT STDMETHODCALLTYPE Save(DWORD* id) override;
  HRESULT STDMETHODCALLTYPE GetStyleObject(void** out, REFIID iid) override;
  HRESULT STDMETHODCALLTYPE GetLibrarian(IJSLLibrarian** out) override;
  HRESULT STDMETHODCALLTYPE GetName(LPWSTR** out) override;
  HRESULT STDMETHODCALLTYPE SetName(LPCWSTR name) override;
  HRESULT STDMETHODCALLTYPE GetDescription(LPWSTR** out) override;
  HRESULT STDMETHODCALLTYPE GetSecondString(LPWSTR** out) override;
  HRESULT STDMETHODCALLTYPE SetSecondString(LPCWSTR text) override;
  HRESULT STDMETHODCALLTYPE GetParentWorkbench(IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE DetachFromParent() override;
  HRESULT STDMETHODCALLTYPE GetDisplayName(LPWSTR** out) override;
  STYLE_END_INTERFACE_PART(IWorkbenchAdmin)

  STYLE_BEGIN_INTERFACE_PART(JWorkbenchBase, IWorkbenchNotify)
  HRESULT STDMETHODCALLTYPE ParentChanged(IUnknown* parentWorkbench) override;
  HRESULT STDMETHODCALLTYPE ParentRemoved(IUnknown* parentWorkbench) override;
  STYLE_END_INTERFACE_PART(IWorkbenchNotify)

 protected:
  ~JWorkbenchBase();

  // An edit of the working state: the workbench is dirty and the held description is stale (it keeps its text
  // until the next GetDescription rebuilds it).
  void MarkEdited() {
    m_dirty = 1;
    m_descriptionStale = true;
  }
  // The style object becomes `object` (its IUnknown is held; null lets go).
  HRESULT SetStyleObject(IUnknown* object);
  void ReleaseStyleObject();
  // The description field becomes a copy of `text`.
  HRESULT SetDescriptionText(LPCWSTR text);
  // The name the librarian answers for `id` (the style's own or its nearest named ancestor's), in a text sized
  // to it that the caller frees with StyleFreeText; null, with the librarian's answer, when it has none.
  HRESULT AskStyleName(DWORD id, LPWSTR* out);

  LPWSTR m_name = nullptr;
  LPWSTR m_secondString = nullptr;
  LPWSTR m_description = nullptr;
  IJSLLibrarian* m_librarian = nullptr;  // a reference
  IJSLLibrarian* m_library = nullptr;    // a second reference to the same library
  DWORD m_styleID = kNoStyleID;
  DWORD m_parentID = kNoStyleID;
  IUnknown* m_styleObject = nullptr;  // the working copy's identity, a reference
  GUID m_type{};
  DWORD m_dirty = 0;
  LPWSTR m_displayName = nullptr;
  bool m_descriptionStale = false;

 private:
  // Both library fields from the library's librarian interfaces; nothing held on failure.
  HRESULT BindLibrary(IUnknown* library);
  void ReleaseLibrary();
  HRESULT Workshop(IJSLWorkShop** out);
  // Files this workbench under `id`, moving it from `oldID` when that is valid.
  HRESULT RegisterUnder(DWORD id, DWORD oldID);
  void ForgetRegistration(DWORD id);
  // Save's step for a dirty workbench with a librarian.
  HRESULT SaveEdits();
  HRESULT AddToLibrary();
  HRESULT CommitToLibrary(bool rename);

 public:
  STYLE_BEGIN_INTERFACE_PART(JWorkbenchBase, IJWorkbenchImplementation)
  JWorkbenchBase* STDMETHODCALLTYPE GetImplementation() override;
  STYLE_END_INTERFACE_PART(IJWorkbenchImplementation)
};

// The workbench of this server behind an object, without a reference: the caller holds `object`, which keeps
// the workbench alive. Null for any other object.
inline JWorkbenchBase* WorkbenchImplementationOf(IUnknown* object) {
  StyleComPtr<IJWorkbenchImplementation> found;
  if (!object || FAILED(object->QueryInterface(IID_IJWorkbenchImplementation, found.PutVoid())) || !found) {
    return nullptr;
  }
  return found->GetImplementation();
}

// The workbench of class T behind an object (T::kClassName names the class), as WorkbenchImplementationOf; null
// for a workbench of another class.
template <class T>
T* WorkbenchOfClass(IUnknown* object) {
  JWorkbenchBase* base = WorkbenchImplementationOf(object);
  return base && std::strcmp(base->GetClassName(), T::kClassName) == 0 ? static_cast<T*>(base) : nullptr;
}

// CIntBase: one component of a style being edited in a workbench, as an interpreter sees it: the style it was
// read from or built into (with its library ID and parent), whether it changed since it was read, and the
// operations a workbench drives: read from a library entry or an object, build through a creator, take over from
// the matching component of a parent's workbench. The component classes fill in the hooks.
#pragma once

#include "display/style/stylesrv_com.h"
#include "display/style/stylesrv_itf.h"

class CStylCreator;
class CIntLine;

class CIntBase : public UUnknown {
 public:
  STYLE_ORDINARY_ALLOCATED

  CIntBase() = default;
  explicit CIntBase(IUnknown* outer) : UUnknown(outer) {}
  STYLE_DECLARE_DELETING_DESTRUCTOR(CIntBase)

  // The reset: no style, no IDs, nothing changed, the librarian let go.
  HRESULT Init() override;
  HRESULT Reset() { return Init(); }
  const char* GetClassName() override { return "JWorkbenchBase"; }

  // ---- the hooks, in order; S_OK here ----

  // Takes over from the parent's component what this one did not set: S_FALSE when something was taken.
  virtual HRESULT MergeFromParent(CIntBase* other);
  virtual HRESULT MergeFromFormerParent(CIntBase* other);
  // Saves the sub-workbenches and marks the component changed when one of them moved to another entry.
  virtual HRESULT CheckSubWorkbenchIDs();
  virtual HRESULT ReadFromLibrary(DWORD id, IJSLLibrarian* librarian);
  virtual HRESULT ReadFromObject(IUnknown* style);
  virtual HRESULT Build(CStylCreator* creator);

  // The line component behind a component, or null.
  virtual CIntLine* AsLine() { return nullptr; }

  // ---- what a workbench calls ----

  HRESULT LoadFromLibrary(DWORD id, IJSLLibrarian* librarian);
  HRESULT LoadFromObject(IUnknown* style);
  HRESULT BuildWith(CStylCreator* creator) { return Build(creator); }
  void GetStyleID(DWORD* out) const {
    if (out) *out = m_styleID;
  }
  void SetStyleID(DWORD id) { m_styleID = id; }
  DWORD ParentID() const { return m_parentID; }
  void SetParentID(DWORD id) { m_parentID = id; }
  // With a reference; null when there is none.
  HRESULT GetStyle(IUnknown** out) const;
  // Takes over from `other`, the parent's component; S_FALSE (and changed) when something was taken.
  HRESULT InheritChanged(CIntBase* other);
  // The same from the removed parent's component, whose style then becomes this one's parent.
  HRESULT InheritRemoved(CIntBase* other);
  bool Changed() const { return m_changed != 0; }
  IJSLLibrarian* Librarian() const { return m_librarian; }

 protected:
  ~CIntBase();
  void SetChanged() { m_changed = 1; }
  // The style field becomes `style` (its IUnknown; null lets go).
  HRESULT HoldStyle(IUnknown* style);

  DWORD m_styleID = kNoStyleID;
  DWORD m_parentID = kNoStyleID;
  IUnknown* m_style = nullptr;  // a reference
  DWORD m_changed = 0;
  IJSLLibrarian* m_librarian = nullptr;  // a reference

 private:
  void ReleaseHeld();
};

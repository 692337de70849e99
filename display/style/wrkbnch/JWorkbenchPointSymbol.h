// JWorkbenchPointSymbol: the workbench of point-symbol styles. Its working state is the symbol's graphic and the
// units code of its lengths; binding, saving and the parent notices are the base's.
//
// Storing writes the state into a point symbol (a new one when the workbench was bound by ID, the bound object
// itself when bound to a free-standing one) and reads the graphic back, because a point symbol owned by a
// library keeps the graphic in its owner's document and may hold a copy of what it was given: the workbench then
// holds that copy, so that a later comparison with a child's graphic sees the stored one.
//
// Only the graphic is inherited from a parent, and only while it was not set in this style (change mask bit
// 0x1). The point symbol keeps no change mask, so a workbench opened again on a stored child starts with a
// clear mask and takes its parent's graphic at the next notice.
#pragma once

#include "display/style/wrkbnch/JWorkbenchBase.h"

class JWorkbenchPointSymbol : public JWorkbenchBase {
 public:
  static constexpr char kClassName[] = "JWorkbenchPointSymbol";
  static constexpr DWORD kDefaultUnits = 11;
  static constexpr DWORD kGraphicChanged = 0x1;

  explicit JWorkbenchPointSymbol(IUnknown* outer = nullptr) : JWorkbenchBase(outer) {}
  STYLE_DECLARE_DELETING_DESTRUCTOR(JWorkbenchPointSymbol)

  // Units 11, no graphic, nothing changed; then the base's reset.
  HRESULT Init() override;
  void* GetInterface(REFIID iid) override;
  const char* GetClassName() override { return kClassName; }

  HRESULT InitNewStyle() override;
  // Reads the bound entry, or the bound free-standing object when there is no library.
  HRESULT LoadStyle() override { return LoadPointSymbol(m_styleID); }
  HRESULT StoreStyle() override { return StorePointSymbol(); }
  HRESULT CreateStyleObject() override { return StorePointSymbol(); }
  HRESULT OnParentChanged(IUnknown* parent) override;
  // `parent` is the new parent's workbench; the changes of the removed one count as this style's own.
  HRESULT OnParentRemoved(IUnknown* parent) override;

  // ---- IWorkbenchPointSymbol ----

  HRESULT SetUnits(DWORD unitsCode);
  HRESULT SetGraphic(IUnknown* graphic);

  // ---- working state ----

  DWORD Units() const { return m_units; }
  IUnknown* Graphic() const { return m_graphic; }
  DWORD ChangeMask() const { return m_changeMask; }

  STYLE_BEGIN_INTERFACE_PART(JWorkbenchPointSymbol, IWorkbenchPointSymbol)
  HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) override;
  HRESULT STDMETHODCALLTYPE SetGraphic(IUnknown* graphic) override;
  HRESULT STDMETHODCALLTYPE GetGraphic(IUnknown** out) override;
  STYLE_END_INTERFACE_PART(IWorkbenchPointSymbol)

 protected:
  ~JWorkbenchPointSymbol();

 private:
  // Units code and graphic of the point symbol of `id`, or of the held style object.
  HRESULT LoadPointSymbol(DWORD id);
  // Writes units and graphic into the held style object, made first when there is none.
  HRESULT StorePointSymbol();
  // Takes the parent's graphic unless this style set its own: S_FALSE when the graphic changed.
  HRESULT InheritGraphic(IUnknown* parent);
  // The graphic becomes `graphic` (a reference is taken; null empties it).
  void HoldGraphic(IUnknown* graphic);

  DWORD m_units = kDefaultUnits;
  IUnknown* m_graphic = nullptr;  // a reference
  DWORD m_changeMask = 0;
};

// JWorkbenchGeneric: the workbench of the style types that have no editing interface of their own. It binds,
// names and saves through the base but builds no style object; a parent's notice copies the parent's style
// into the library's own object of this style, in place.
#pragma once

#include "display/style/wrkbnch/JWorkbenchBase.h"

class JWorkbenchGeneric : public JWorkbenchBase {
 public:
  static constexpr char kClassName[] = "JWorkbenchGeneric";

  explicit JWorkbenchGeneric(IUnknown* outer = nullptr) : JWorkbenchBase(outer) {}
  STYLE_DECLARE_DELETING_DESTRUCTOR(JWorkbenchGeneric)

  const char* GetClassName() override { return kClassName; }
  HRESULT InitNewStyle() override { return E_NOTIMPL; }
  HRESULT StoreStyle() override { return E_NOTIMPL; }
  HRESULT CreateStyleObject() override { return E_NOTIMPL; }
  // Both notices copy the parent's style; neither commits nor marks the workbench dirty.
  HRESULT HandleParentChanged(IUnknown* parent) override { return CopyFromParent(parent); }
  HRESULT HandleParentRemoved(IUnknown* parent) override { return CopyFromParent(parent); }

  // S_FALSE when done (the library goes on to this style's children), also when either style is missing.
  HRESULT CopyFromParent(IUnknown* parent);

 protected:
  ~JWorkbenchGeneric() = default;
};

// What the workbench tests share: a workbench built on the base whose working state is one colour, stored as a
// test line style, and whose answers a test chooses.
#pragma once

#include "display/style/wrkbnch/JWorkbenchBase.h"
#include "tests/bases/test_styles.h"

class TestWorkbench : public JWorkbenchBase {
 public:
  static constexpr char kClassName[] = "TestWorkbench";
  // With one reference, reset as the class object leaves a workbench.
  static TestWorkbench* Create(const GUID& type = STYLETYPE_Linear);
  STYLE_DECLARE_DELETING_DESTRUCTOR(TestWorkbench)

  const char* GetClassName() override { return kClassName; }
  HRESULT InitNewStyle() override;
  HRESULT StoreStyle() override;
  HRESULT CreateStyleObject() override { return StoreStyle(); }
  HRESULT ValidateEdits() override { return validateAnswer; }
  HRESULT BuildDescription() override;
  HRESULT OnParentChanged(IUnknown*) override { return parentAnswer; }
  HRESULT OnParentRemoved(IUnknown*) override { return parentAnswer; }

  void SetColour(DWORD value) {
    colour = value;
    MarkEdited();
  }
  IWorkbenchNotify* Notify() { return &m_IWorkbenchNotifyImp; }

  DWORD colour = 0;
  bool storesNothing = false;  // StoreStyle leaves the style-object field empty
  HRESULT validateAnswer = S_OK;
  HRESULT parentAnswer = S_OK;
  int descriptionsBuilt = 0;

 protected:
  ~TestWorkbench() = default;

 private:
  explicit TestWorkbench(const GUID& type) : m_newType(type) {}
  GUID m_newType;
};

// The workbench of this server behind an object, or null.
inline JWorkbenchBase* BaseOf(IUnknown* object) { return WorkbenchImplementationOf(object); }

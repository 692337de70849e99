// What the workbench tests share: a workbench built on the base whose working state is one colour, stored as a
// test line style, and whose answers a test chooses.
#pragma once

#include "display/style/wrkbnch/JWorkbenchBase.h"
#include "tests/bases/test_styles.h"
#include "tests/styllib/library_fixtures.h"
#include "tests/symbols/point_symbol_fixtures.h"

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

// A graphic that counts its references and answers IPersist too, under a pointer of its own (so that one
// graphic can be handed over under two interfaces). It lives on the stack: declare it before what may hold it.
class ProbeGraphic final : public IJGraphic, public IPersist {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  HRESULT STDMETHODCALLTYPE GetGraphicType(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Notify(DWORD, DWORD, DWORD, IUnknown*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Draw(GraphicDrawContext*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetRange(GraphicRange*, StyleExtent*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }

  IUnknown* AsGraphic() { return static_cast<IJGraphic*>(this); }
  IUnknown* AsPersist() { return static_cast<IPersist*>(this); }
  ULONG refs = 1;
};

// Point symbols with probe graphics, declared first so that they outlive everything that holds them.
class SymbolWorkbenchTest : public symbols_test::PointSymbolTest {
 protected:
  ProbeGraphic g, h, k;
};

// A real style library in a host document that keeps its point symbols' graphics in its cluster, where the
// probes already are (so no copy is made of them), and the library's workbench registry.
class SymbolLibraryTest : public SymbolWorkbenchTest {
 protected:
  void SetUp() override;
  styllib_test::TestLibrary library;
  StyleComPtr<IJSLWorkShop> shop;
};

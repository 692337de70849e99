// JWorkbenchLinear: the workbench of linear styles. A linear style is edited as a list of lines (components,
// CIntLine): a multiplexer has one per entry, any other linear style one. The per-line operations go to the
// current component. The style is read lazily, on the first operation, and rebuilt from the components whenever
// the base stores or creates it: into the library (its parts become entries) or as a free-standing object.
//
// Every component is a counted object of its own. After a parent's notice that changed the number of lines,
// the child holds copies of the parent's lines, never the parent's objects, so that editing or building the
// child leaves the parent's working state alone.
#pragma once

#include "display/style/wrkbnch/CIntLine.h"
#include "display/style/wrkbnch/CStylCreator.h"
#include "display/style/wrkbnch/JWorkbenchBase.h"
#include "host/pellow/pellow.h"

class JWorkbenchLinear : public JWorkbenchBase {
 public:
  static constexpr char kClassName[] = "JWorkbenchLinear";

  explicit JWorkbenchLinear(IUnknown* outer = nullptr) : JWorkbenchBase(outer) {}
  STYLE_DECLARE_DELETING_DESTRUCTOR(JWorkbenchLinear)

  // One default component, nothing read yet, a new style's mode; then the base's reset.
  HRESULT Init() override;
  // IUnknown is answered only for a workbench whose style could be read: other workbenches read the lines.
  void* GetInterface(REFIID iid) override;
  const char* GetClassName() override { return kClassName; }

  HRESULT InitNewStyle() override;
  HRESULT LoadStyle() override;
  HRESULT StoreStyle() override;
  HRESULT CreateStyleObject() override;
  HRESULT ValidateEdits() override;
  // Name, colour, width and dash pattern of the style in words of the resource module.
  HRESULT BuildDescription() override;
  HRESULT OnStyleIDChanged(DWORD newID) override;
  HRESULT OnParentChanged(IUnknown* parent) override;
  HRESULT OnParentRemoved(IUnknown* parent) override;

  // Reads the style once per bind; a failure leaves it unread, so that the next operation tries again.
  HRESULT EnsureLoaded();

  // ---- the list ----

  HRESULT AddComponent(DWORD* index);
  HRESULT SetCurrentComponent(DWORD index);
  HRESULT DeleteComponent(DWORD index);
  DWORD ComponentCount() const { return m_lastIndex + 1; }
  DWORD CurrentIndex() const { return m_currentIndex; }
  CIntLine* Component(DWORD index) const { return index <= m_lastIndex ? m_components[index] : nullptr; }
  CIntLine* Current() const { return m_components[m_currentIndex]; }
  // Runs `operation` on the current component after loading; a setter's success marks the workbench edited.
  template <class Operation>
  HRESULT Forward(Operation operation, bool setter);

  STYLE_BEGIN_INTERFACE_PART(JWorkbenchLinear, IWorkbenchLinear)
  HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) override;
  HRESULT STDMETHODCALLTYPE GetColor(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetColor(DWORD colour) override;
  HRESULT STDMETHODCALLTYPE SetColorFixed(BOOL fixed) override;
  HRESULT STDMETHODCALLTYPE GetColorFixed(BOOL* out) override;
  HRESULT STDMETHODCALLTYPE GetWidth(double* out) override;
  HRESULT STDMETHODCALLTYPE SetWidth(double width) override;
  HRESULT STDMETHODCALLTYPE SetWidthFixed(BOOL fixed) override;
  HRESULT STDMETHODCALLTYPE GetWidthFixed(BOOL* out) override;
  HRESULT STDMETHODCALLTYPE SetDashWorkbench(IUnknown* workbench) override;
  HRESULT STDMETHODCALLTYPE GetDashWorkbench(IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE SetTerminatorWorkbench(BOOL first, IUnknown* workbench) override;
  HRESULT STDMETHODCALLTYPE GetTerminatorWorkbench(BOOL first, IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE SetHeldCode(DWORD value) override;
  HRESULT STDMETHODCALLTYPE GetHeldCode(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetHeldValue1(double value) override;
  HRESULT STDMETHODCALLTYPE GetHeldValue1(double* out) override;
  HRESULT STDMETHODCALLTYPE SetHeldValue2(double value) override;
  HRESULT STDMETHODCALLTYPE GetHeldValue2(double* out) override;
  HRESULT STDMETHODCALLTYPE NotImplemented23(DWORD, DWORD) override;
  HRESULT STDMETHODCALLTYPE NotImplemented24(DWORD*) override;
  HRESULT STDMETHODCALLTYPE NotImplemented25(DWORD, DWORD) override;
  HRESULT STDMETHODCALLTYPE NotImplemented26(DWORD*) override;
  HRESULT STDMETHODCALLTYPE NotImplemented27(DWORD, DWORD) override;
  HRESULT STDMETHODCALLTYPE NotImplemented28(DWORD*) override;
  HRESULT STDMETHODCALLTYPE SetOffset(double offset) override;
  HRESULT STDMETHODCALLTYPE GetOffset(double* out) override;
  HRESULT STDMETHODCALLTYPE SetOffsetDirection(DWORD code) override;
  HRESULT STDMETHODCALLTYPE GetOffsetDirection(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE AddComponent(DWORD* index) override;
  HRESULT STDMETHODCALLTYPE SetCurrentComponent(DWORD index) override;
  HRESULT STDMETHODCALLTYPE GetCurrentComponent(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE GetComponentCount(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE DeleteComponent(DWORD index) override;
  HRESULT STDMETHODCALLTYPE GetLineCode1(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetLineCode1(DWORD code) override;
  HRESULT STDMETHODCALLTYPE GetLineCode2(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetLineCode2(DWORD code) override;
  HRESULT STDMETHODCALLTYPE GetLineCode3(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetLineCode3(DWORD code) override;
  HRESULT STDMETHODCALLTYPE GetSkipFlag(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetSkipFlag(DWORD flag) override;
  STYLE_END_INTERFACE_PART(IWorkbenchLinear)

 protected:
  ~JWorkbenchLinear();

 private:
  HRESULT Load();
  HRESULT LoadMultiplexer(IJStyleMultiplexer* multiplexer, IJStyleOverride* override);
  HRESULT LoadSingle(DWORD id, IUnknown* style, IJStyleOverride* override);
  // The librarian of the style last loaded, from its owner; null when it has none.
  HRESULT OwnerLibrarian(IJSLLibrarian** out);
  // Makes the list `count` default components (at least one); the current one is the first.
  HRESULT MakeComponents(DWORD count);
  void ReleaseComponents();
  HRESULT GetCreator(bool library, CStylCreator** out);
  HRESULT BuildInto(CStylCreator* creator);
  HRESULT BuildMultiplexer(CStylCreator* creator, IUnknown** out);
  // The description of the lines' dash workbench into *out (heap text, null for none); a success code tells a
  // dash workbench without a description (0x40223) or lines with different dash styles (0x4023F).
  HRESULT DashDescription(LPWSTR* out);
  // The width part of the description.
  HRESULT DescribeWidth(HMODULE module, GUserText* text);
  // Gives this workbench a copy of each of the parent's lines when their number differs: S_FALSE then.
  HRESULT AdoptStructure(JWorkbenchLinear* other);

  DWORD m_loaded = 0;
  DWORD m_newStyleMode = 1;
  DWORD m_currentIndex = 0;
  DWORD m_lastIndex = 0;
  DWORD m_capacity = 0;
  CIntLine** m_components = nullptr;  // entries 0..last index, each a reference
  CStylCreatorDirect m_plainCreator;
  CStylCreatorLibrary m_libraryCreator;
  IUnknown* m_styleOwner = nullptr;  // a reference
};

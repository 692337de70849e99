// JWorkbenchDash: the workbench of dash styles. Its working state is what a simple dash type stores (lengths,
// units, pattern kind, scale and two flags) and, per pattern entry, a point symbol edited through a point-symbol
// workbench of its own, with a placement and four values. The symbols are stored as a line point generator that
// becomes the dash style's only client; binding, saving and the parent notices are the base's.
//
// The change mask says which groups of values were set in this style. It is stored into the dash style, and a
// workbench bound to a stored style starts from it, so that a child's own values survive its parent's notices
// after the child's workbench was closed and opened again.
#pragma once

#include "display/style/StyleGrowableArray.h"
#include "display/style/wrkbnch/JWorkbenchBase.h"

class JWorkbenchDash : public JWorkbenchBase {
 public:
  static constexpr char kClassName[] = "JWorkbenchDash";
  static constexpr DWORD kDefaultUnits = 11;

  // Change-mask bits.
  static constexpr DWORD kDashesChanged = 0x1;
  static constexpr DWORD kFlagAChanged = 0x2;
  static constexpr DWORD kKindChanged = 0x10;
  static constexpr DWORD kScaleChanged = 0x20;
  static constexpr DWORD kSymbolsChanged = 0x80;
  static constexpr DWORD kFlagBChanged = 0x100;

  // A symbol along the pattern. Zero is an empty element.
  struct Element {
    IUnknown* symbolWorkbench;  // a point-symbol workbench, a reference; null for none
    DWORD placement;            // 0 free, 1 absolute angle, 2 upright
    double first;               // the generator's angle
    double second;              // along
    double third;               // across
    double fourth;              // where in its entry (narrowed to a float when stored)
  };
  static_assert(sizeof(Element) == 40);

  explicit JWorkbenchDash(IUnknown* outer = nullptr) : JWorkbenchBase(outer) {}
  STYLE_DECLARE_DELETING_DESTRUCTOR(JWorkbenchDash)

  // Units 11, no dashes, kind 0, flag A 1, scale 1.0, no symbols, nothing changed; then the base's reset.
  HRESULT Init() override;
  void* GetInterface(REFIID iid) override;
  const char* GetClassName() override { return kClassName; }

  HRESULT InitNewStyle() override;
  HRESULT LoadStyle() override;
  HRESULT StoreStyle() override;
  HRESULT CreateStyleObject() override;
  HRESULT ValidateEdits() override;
  HRESULT BuildDescription() override;
  HRESULT OnParentChanged(IUnknown* parent) override;
  // `parent` is the new parent's workbench; what the removed one had set counts as this style's own.
  HRESULT OnParentRemoved(IUnknown* parent) override;

  // ---- IWorkbenchLinearPattern ----

  HRESULT SetUnits(DWORD unitsCode);
  HRESULT SetDashes(LONG count, const double* lengths);
  HRESULT GetDashes(DWORD size, double* out) const;
  HRESULT SetKind(DWORD kind);
  DWORD Kind() const;
  HRESULT SetFlagA(DWORD value);
  HRESULT SetFlagB(DWORD value);
  HRESULT SetScale(double scale);
  HRESULT AddDash(LONG* index);
  HRESULT SetDash(LONG index, double value);
  HRESULT GetDash(LONG index, double* out) const;
  BOOL IsDrawnDash(LONG index) const;
  HRESULT SetSymbolWorkbench(LONG index, IUnknown* workbench);
  HRESULT GetSymbolWorkbench(LONG index, IUnknown** out) const;
  // The element setters: dirty, no change-mask bit.
  template <class T>
  HRESULT SetElementValue(LONG index, T Element::*field, T value);
  template <class T>
  HRESULT GetElementValue(LONG index, T Element::*field, T* out) const;
  void SetKindDetail(DWORD value) { m_kindDetail = value; }

  // ---- working state ----

  DWORD Units() const { return m_units; }
  LONG DashCount() const { return m_dashCount; }
  const double* Dashes() const { return m_dashes; }
  DWORD KindDetail() const { return m_kindDetail; }
  DWORD FlagA() const { return m_flagA; }
  DWORD FlagB() const { return m_flagB; }
  double Scale() const { return m_scale; }
  DWORD ElementCount() const { return m_elements.Size(); }
  DWORD ChangeMask() const { return m_changeMask; }

  STYLE_BEGIN_INTERFACE_PART(JWorkbenchDash, IWorkbenchLinearPattern)
  HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetUnits(DWORD unitsCode) override;
  HRESULT STDMETHODCALLTYPE SetDashes(LONG count, const double* lengths) override;
  HRESULT STDMETHODCALLTYPE GetDashes(DWORD size, double* out) override;
  HRESULT STDMETHODCALLTYPE GetDashCount(LONG* out) override;
  HRESULT STDMETHODCALLTYPE SetKind(DWORD kind) override;
  HRESULT STDMETHODCALLTYPE GetKind(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetFlagA(DWORD value) override;
  HRESULT STDMETHODCALLTYPE GetFlagA(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetScale(double scale) override;
  HRESULT STDMETHODCALLTYPE GetScale(double* out) override;
  HRESULT STDMETHODCALLTYPE AddDash(LONG* index) override;
  HRESULT STDMETHODCALLTYPE SetDash(LONG index, double value) override;
  HRESULT STDMETHODCALLTYPE GetDash(LONG index, double* out) override;
  HRESULT STDMETHODCALLTYPE IsDrawnDash(LONG index, BOOL* out) override;
  HRESULT STDMETHODCALLTYPE SetSymbolWorkbench(LONG index, IUnknown* workbench) override;
  HRESULT STDMETHODCALLTYPE GetSymbolWorkbench(LONG index, IUnknown** out) override;
  HRESULT STDMETHODCALLTYPE SetFirstValue(LONG index, double value) override;
  HRESULT STDMETHODCALLTYPE GetFirstValue(LONG index, double* out) override;
  HRESULT STDMETHODCALLTYPE SetPlacement(LONG index, DWORD placement) override;
  HRESULT STDMETHODCALLTYPE GetPlacement(LONG index, DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetSecondValue(LONG index, double value) override;
  HRESULT STDMETHODCALLTYPE GetSecondValue(LONG index, double* out) override;
  HRESULT STDMETHODCALLTYPE SetThirdValue(LONG index, double value) override;
  HRESULT STDMETHODCALLTYPE GetThirdValue(LONG index, double* out) override;
  HRESULT STDMETHODCALLTYPE SetFourthValue(LONG index, double value) override;
  HRESULT STDMETHODCALLTYPE GetFourthValue(LONG index, double* out) override;
  HRESULT STDMETHODCALLTYPE SetFlagB(DWORD value) override;
  HRESULT STDMETHODCALLTYPE GetFlagB(DWORD* out) override;
  HRESULT STDMETHODCALLTYPE SetKindDetail(DWORD value) override;
  HRESULT STDMETHODCALLTYPE GetKindDetail(DWORD* out) override;
  STYLE_END_INTERFACE_PART(IWorkbenchLinearPattern)

 protected:
  ~JWorkbenchDash();

 private:
  // Reads the dash style of `id` (or the held object) into the working state; `takeMask`: start from the change
  // mask the style keeps.
  HRESULT LoadDash(DWORD id, bool takeMask);
  // The symbols of the dash style's point generators into the elements.
  HRESULT LoadSymbols(IUnknown* style);
  // The point-symbol workbench of a generator's symbol: the library's one of `symbolID`, or, without a library,
  // one bound to `symbol` (or a new one when there is none).
  HRESULT MakeSymbolWorkbench(DWORD symbolID, IUnknown* symbol, IUnknown** out);
  HRESULT StoreDash();
  // The point generator of the elements' symbols made the dash style's only client.
  HRESULT StoreSymbols(IJStyleSimpleDashType* dash);
  HRESULT TakeOverFromParent(JWorkbenchDash* parent);
  // Makes the element array `size` records, releasing the symbols of those that go; false without memory.
  bool SizeElements(DWORD size);
  void ClearElement(Element& element);
  void FreeDashes();
  Element* ElementAt(LONG index) const;
  void Edited(DWORD bits) {
    MarkEdited();
    m_changeMask |= bits;
  }

  DWORD m_units = kDefaultUnits;
  LONG m_dashCount = 0;
  LONG m_dashCapacity = 0;
  double* m_dashes = nullptr;  // owned
  DWORD m_kind = 0;
  DWORD m_kindDetail = 0;
  DWORD m_flagA = 1;
  DWORD m_flagB = 0;
  double m_scale = 1.0;
  StyleGrowableArray<Element> m_elements{8};
  DWORD m_changeMask = 0;
};

template <class T>
HRESULT JWorkbenchDash::SetElementValue(LONG index, T Element::*field, T value) {
  Element* element = ElementAt(index);
  if (!element) return E_INVALIDARG;
  element->*field = value;
  MarkEdited();
  return S_OK;
}

template <class T>
HRESULT JWorkbenchDash::GetElementValue(LONG index, T Element::*field, T* out) const {
  if (!out) return E_INVALIDARG;
  const Element* element = ElementAt(index);
  *out = element ? element->*field : T{};
  return element ? S_OK : E_INVALIDARG;
}

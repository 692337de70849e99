// CIntLine: one drawn line of a linear style as editable values (units, colour, width, fixed flags, codes,
// offset) and the sub-workbenches of its dash pattern and its two terminator symbols. It reads a chain of
// override, offset line and simple line into those values, builds an offset line (when there is an offset)
// around a simple line from them, and takes over from the matching component of a parent style's workbench every
// value this style did not set (its change mask, which travels as the simple line's locked-fields word).
#pragma once

#include "display/style/wrkbnch/CIntBase.h"

class CIntLine : public CIntBase {
 public:
  static constexpr DWORD kDefaultUnits = 11;

  // Change-mask bits.
  static constexpr DWORD kColour = 0x1;
  static constexpr DWORD kWidth = 0x2;  // and the units code
  static constexpr DWORD kFirstTerminator = 0x10;
  static constexpr DWORD kSecondTerminator = 0x20;
  static constexpr DWORD kDash = 0x80;
  static constexpr DWORD kHeldCode = 0x100;
  static constexpr DWORD kHeldValue1 = 0x200;
  static constexpr DWORD kHeldValue2 = 0x400;
  static constexpr DWORD kColourFixed = 0x800;
  static constexpr DWORD kWidthFixed = 0x1000;
  static constexpr DWORD kLineCode1 = 0x2000;
  static constexpr DWORD kLineCode2 = 0x4000;
  static constexpr DWORD kLineCode3 = 0x8000;

  CIntLine() = default;
  explicit CIntLine(IUnknown* outer) : CIntBase(outer) {}
  STYLE_DECLARE_DELETING_DESTRUCTOR(CIntLine)

  // Units 11, width 1.0, every other value 0, no sub-workbench; then the base's reset.
  HRESULT Init() override;
  CIntLine* AsLine() override { return this; }

  HRESULT MergeFromParent(CIntBase* other) override;
  HRESULT MergeFromFormerParent(CIntBase* other) override;
  HRESULT CheckSubWorkbenchIDs() override;
  HRESULT ReadFromLibrary(DWORD id, IJSLLibrarian* librarian) override;
  HRESULT ReadFromObject(IUnknown* style) override;
  HRESULT Build(CStylCreator* creator) override;

  void ClearChangeMask() { m_changeMask = 0; }
  // Own changes also count `other`'s: 1 (S_FALSE, and changed) when the mask grew.
  HRESULT MergeChangeMask(CIntLine* other);
  // Applies an override record's colour, width, dash type, dash scale and dash detail; changed is not set.
  HRESULT ApplyOverride(const tagStyleOverride* record, DWORD dashTypeID);

  // ---- the values; every setter sets changed and the field's mask bit ----

  HRESULT GetUnits(DWORD* out) const { return Get(&CIntLine::m_units, out); }
  HRESULT SetUnits(DWORD value) { return Set(&CIntLine::m_units, value, 0); }
  HRESULT GetColor(DWORD* out) const { return Get(&CIntLine::m_colour, out); }
  HRESULT SetColor(DWORD value) { return Set(&CIntLine::m_colour, value, kColour); }
  HRESULT SetColorFixed(BOOL fixed) { return SetLineFlag(0x1, fixed, kColourFixed); }
  HRESULT GetColorFixed(BOOL* out) const { return GetLineFlag(0x1, out); }
  HRESULT GetWidth(double* out) const { return Get(&CIntLine::m_width, out); }
  HRESULT SetWidth(double value) { return Set(&CIntLine::m_width, value, kWidth); }
  HRESULT SetWidthFixed(BOOL fixed) { return SetLineFlag(0x2, fixed, kWidthFixed); }
  HRESULT GetWidthFixed(BOOL* out) const { return GetLineFlag(0x2, out); }
  // Carries the kind detail of the dash workbench it replaces over to the new one; null empties the field
  // without marking the dash as set here.
  HRESULT SetDashWorkbench(IUnknown* workbench);
  HRESULT GetDashWorkbench(IUnknown** out) const { return HandOut(m_dash, out); }
  HRESULT SetTerminatorWorkbench(BOOL first, IUnknown* workbench);
  HRESULT GetTerminatorWorkbench(BOOL first, IUnknown** out) const {
    return HandOut(first ? m_firstTerminator : m_secondTerminator, out);
  }
  HRESULT SetHeldCode(DWORD value) { return Set(&CIntLine::m_heldCode, value, kHeldCode); }
  HRESULT GetHeldCode(DWORD* out) const { return Get(&CIntLine::m_heldCode, out); }
  HRESULT SetHeldValue1(double value) { return Set(&CIntLine::m_heldValue1, value, kHeldValue1); }
  HRESULT GetHeldValue1(double* out) const { return Get(&CIntLine::m_heldValue1, out); }
  HRESULT SetHeldValue2(double value) { return Set(&CIntLine::m_heldValue2, value, kHeldValue2); }
  HRESULT GetHeldValue2(double* out) const { return Get(&CIntLine::m_heldValue2, out); }
  HRESULT SetOffset(double value) { return Set(&CIntLine::m_offset, value, 0); }
  HRESULT GetOffset(double* out) const { return Get(&CIntLine::m_offset, out); }
  HRESULT SetOffsetDirection(DWORD value) { return Set(&CIntLine::m_direction, value, 0); }
  HRESULT GetOffsetDirection(DWORD* out) const { return Get(&CIntLine::m_direction, out); }
  HRESULT GetLineCode1(DWORD* out) const { return Get(&CIntLine::m_lineCode1, out); }
  HRESULT SetLineCode1(DWORD value) { return Set(&CIntLine::m_lineCode1, value, kLineCode1); }
  HRESULT GetLineCode2(DWORD* out) const { return Get(&CIntLine::m_lineCode2, out); }
  HRESULT SetLineCode2(DWORD value) { return Set(&CIntLine::m_lineCode2, value, kLineCode2); }
  HRESULT GetLineCode3(DWORD* out) const { return Get(&CIntLine::m_lineCode3, out); }
  HRESULT SetLineCode3(DWORD value) { return Set(&CIntLine::m_lineCode3, value, kLineCode3); }
  HRESULT GetSkipFlag(DWORD* out) const { return Get(&CIntLine::m_modeSkip, out); }
  HRESULT SetSkipFlag(DWORD value) { return Set(&CIntLine::m_modeSkip, value, 0); }

  // Becomes a line of its own with every value of `other` (direction and skip flag too) and its sub-workbenches
  // (shared), nothing set in this style.
  void AdoptValuesFrom(const CIntLine& other);

  DWORD ChangeMask() const { return m_changeMask; }
  bool ReadFromLibraryFlag() const { return m_readFromLibrary != 0; }
  // Without a reference.
  IUnknown* DashWorkbench() const { return m_dash; }

 protected:
  ~CIntLine();

 private:
  template <class T>
  HRESULT Set(T CIntLine::*field, T value, DWORD bit) {
    this->*field = value;
    m_changeMask |= bit;
    SetChanged();
    return S_OK;
  }
  template <class T>
  HRESULT Get(T CIntLine::*field, T* out) const {
    if (!out) return E_INVALIDARG;
    *out = this->*field;
    return S_OK;
  }
  HRESULT SetLineFlag(DWORD flag, BOOL on, DWORD bit);
  HRESULT GetLineFlag(DWORD flag, BOOL* out) const;
  static HRESULT HandOut(IUnknown* held, IUnknown** out);
  void ReleaseSubWorkbenches();

  HRESULT InheritFrom(CIntLine* other);
  HRESULT ReadSimpleLine(IJStyleSimpleLine* line, IJStyleOverride* override);
  HRESULT ReadDashType(IJStyleSimpleLine* line, DWORD flags);
  HRESULT ReadTerminators(IJStyleSimpleLine* line);
  // A sub-workbench field becomes the library's open workbench of `id`.
  HRESULT OpenByID(IUnknown** field, DWORD id);
  // A sub-workbench field becomes a new workbench of the class bound to the object.
  HRESULT OpenForObject(IUnknown** field, REFCLSID clsid, IUnknown* object);
  HRESULT PassKindDetail(DWORD detail);
  HRESULT BuildSimpleLine(CStylCreator* creator, IUnknown** chain);
  HRESULT WriteDashType(IJStyleSimpleLine* line, tagStyleSimpleLineData* record);
  HRESULT WriteTerminators(CStylCreator* creator, IJStyleSimpleLine* line);
  HRESULT WrapOffset(CStylCreator* creator, IJStyleSimpleLine* line, IUnknown** chain);

  DWORD m_units = kDefaultUnits;
  DWORD m_lineFlags = 0;  // 0x1 colour fixed, 0x2 width fixed
  DWORD m_colour = 0;
  double m_width = 1.0;
  IUnknown* m_dash = nullptr;              // identity, a reference
  IUnknown* m_firstTerminator = nullptr;   // identity, a reference
  IUnknown* m_secondTerminator = nullptr;  // identity, a reference
  DWORD m_heldCode = 0;
  double m_heldValue1 = 0;
  double m_heldValue2 = 0;
  DWORD m_changeMask = 0;
  DWORD m_lineCode1 = 0;
  DWORD m_lineCode2 = 0;
  DWORD m_lineCode3 = 0;
  DWORD m_modeSkip = 0;
  double m_offset = 0;
  DWORD m_direction = 0;
  DWORD m_readFromLibrary = 0;
};

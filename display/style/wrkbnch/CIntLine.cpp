#include "display/style/wrkbnch/CIntLine.h"

#include <cfloat>
#include <cmath>
#include <initializer_list>
#include <tuple>
#include <utility>

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/StyleReport.h"
#include "display/style/wrkbnch/CStylCreator.h"
#include "display/style/wrkbnch/JWorkbenchBase.h"

namespace {

constexpr char kSource[] = "display/style/wrkbnch/CIntLine";

bool Near(double a, double b) { return std::fabs(a - b) < FLT_EPSILON; }

bool IsValidID(DWORD id) { return JWorkbenchBase::IsValidID(id); }

void ReleaseField(IUnknown** field) {
  if (IUnknown* held = *field) {
    *field = nullptr;
    held->Release();
  }
}

// The field holds the identity of `object` (null empties it).
HRESULT HoldIdentity(IUnknown** field, IUnknown* object) {
  IUnknown* identity = nullptr;
  if (object) {
    const HRESULT hr = object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    if (FAILED(hr)) return hr;
  }
  ReleaseField(field);
  *field = identity;
  return S_OK;
}

// A creator's answer that is a success must carry a style: nothing below may call through null.
HRESULT MadeStyle(HRESULT hr, IUnknown* made) { return SUCCEEDED(hr) && !made ? E_FAIL : hr; }

}  // namespace

CIntLine::~CIntLine() { ReleaseSubWorkbenches(); }

void CIntLine::ReleaseSubWorkbenches() {
  ReleaseField(&m_dash);
  ReleaseField(&m_firstTerminator);
  ReleaseField(&m_secondTerminator);
}

HRESULT CIntLine::Init() {
  m_units = kDefaultUnits;
  m_width = 1.0;
  m_lineFlags = m_colour = m_heldCode = m_changeMask = 0;
  m_heldValue1 = m_heldValue2 = m_offset = 0;
  m_lineCode1 = m_lineCode2 = m_lineCode3 = m_modeSkip = m_direction = m_readFromLibrary = 0;
  ReleaseSubWorkbenches();
  return CIntBase::Init();
}

// ---- values ----

HRESULT CIntLine::SetLineFlag(DWORD flag, BOOL on, DWORD bit) {
  m_lineFlags = on ? (m_lineFlags | flag) : (m_lineFlags & ~flag);
  m_changeMask |= bit;
  SetChanged();
  return S_OK;
}

HRESULT CIntLine::GetLineFlag(DWORD flag, BOOL* out) const {
  if (!out) return E_INVALIDARG;
  *out = (m_lineFlags & flag) ? TRUE : FALSE;
  return S_OK;
}

HRESULT CIntLine::HandOut(IUnknown* held, IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = held;
  if (held) held->AddRef();
  return S_OK;
}

HRESULT CIntLine::SetDashWorkbench(IUnknown* workbench) {
  StyleComPtr<IWorkbenchLinearPattern> incoming;
  if (workbench) {
    // Only a dash workbench can take the pattern's detail along.
    if (FAILED(workbench->QueryInterface(IID_IWorkbenchLinearPattern2, incoming.PutVoid()))) {
      return REPORT(E_INVALIDARG);
    }
  }
  DWORD detail = 0;
  if (m_dash) {
    StyleComPtr<IWorkbenchLinearPattern> old;
    if (SUCCEEDED(m_dash->QueryInterface(IID_IWorkbenchLinearPattern2, old.PutVoid()))) old->GetKindDetail(&detail);
  }
  HRESULT hr = HoldIdentity(&m_dash, workbench);
  if (FAILED(hr)) return REPORT(hr);
  SetChanged();
  if (!incoming) return S_OK;
  m_changeMask |= kDash;
  hr = incoming->SetKindDetail(detail);
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT CIntLine::SetTerminatorWorkbench(BOOL first, IUnknown* workbench) {
  const HRESULT hr = HoldIdentity(first ? &m_firstTerminator : &m_secondTerminator, workbench);
  if (FAILED(hr)) return REPORT(hr);
  m_changeMask |= first ? kFirstTerminator : kSecondTerminator;
  SetChanged();
  return S_OK;
}

void CIntLine::AdoptValuesFrom(const CIntLine& other) {
  for (auto [mine, theirs] : {std::pair{&m_dash, other.m_dash}, std::pair{&m_firstTerminator, other.m_firstTerminator},
                              std::pair{&m_secondTerminator, other.m_secondTerminator}}) {
    if (theirs) theirs->AddRef();
    ReleaseField(mine);
    *mine = theirs;
  }
  m_units = other.m_units;
  m_lineFlags = other.m_lineFlags;
  m_colour = other.m_colour;
  m_width = other.m_width;
  m_heldCode = other.m_heldCode;
  m_heldValue1 = other.m_heldValue1;
  m_heldValue2 = other.m_heldValue2;
  m_lineCode1 = other.m_lineCode1;
  m_lineCode2 = other.m_lineCode2;
  m_lineCode3 = other.m_lineCode3;
  m_modeSkip = other.m_modeSkip;
  m_offset = other.m_offset;
  m_direction = other.m_direction;
  m_changeMask = 0;
}

HRESULT CIntLine::MergeChangeMask(CIntLine* other) {
  if (!other) return REPORT(E_INVALIDARG);
  const DWORD merged = m_changeMask | other->m_changeMask;
  if (merged == m_changeMask) return S_OK;
  m_changeMask = merged;
  SetChanged();
  return S_FALSE;
}

// ---- sub-workbenches ----

HRESULT CIntLine::OpenByID(IUnknown** field, DWORD id) {
  ReleaseField(field);
  if (!m_librarian) return REPORT(E_FAIL);
  StyleComPtr<IJSLWorkShop> shop;
  HRESULT hr = m_librarian->QueryInterface(IID_IJSLWorkShop, shop.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IWorkbenchAdmin> workbench;
  hr = shop->GetWorkbench(id, FALSE, workbench.Put());
  if (FAILED(hr)) return REPORT(hr);
  hr = HoldIdentity(field, workbench.Get());
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT CIntLine::OpenForObject(IUnknown** field, REFCLSID clsid, IUnknown* object) {
  ReleaseField(field);
  StyleComPtr<IUnknown> made;
  HRESULT hr = CreateInProcessInstance(clsid, IID_IUnknown, made.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IWorkbenchAdmin> admin;
  hr = made->QueryInterface(IID_IWorkbenchAdmin, admin.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  hr = admin->AttachObject(object);
  if (FAILED(hr)) return REPORT(hr);
  *field = made.Detach();
  return S_OK;
}

HRESULT CIntLine::PassKindDetail(DWORD detail) {
  StyleComPtr<IWorkbenchLinearPattern> pattern;
  HRESULT hr = m_dash->QueryInterface(IID_IWorkbenchLinearPattern2, pattern.PutVoid());
  if (SUCCEEDED(hr)) hr = pattern->SetKindDetail(detail);
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

// ---- reading ----

HRESULT CIntLine::ReadFromLibrary(DWORD id, IJSLLibrarian* librarian) {
  m_readFromLibrary = 1;
  if (!librarian) return REPORT(E_INVALIDARG);
  StyleComPtr<IUnknown> style;
  HRESULT hr = librarian->GetStyle(id, style.Put());
  if (FAILED(hr)) return REPORT(hr);
  m_styleID = id;
  StyleComPtr<IJSLLibrarian> entries;
  hr = librarian->QueryInterface(IID_IJSLLibrarian, entries.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  DWORD parent = kNoStyleID;
  hr = entries->GetParentID(id, &parent);
  if (FAILED(hr)) return REPORT(hr);
  m_parentID = parent;
  if (!style) return S_OK;
  hr = ReadFromObject(style.Get());
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT CIntLine::ReadFromObject(IUnknown* style) {
  if (!style) return S_OK;
  HRESULT hr = HoldStyle(style);
  if (FAILED(hr)) return hr;
  StyleComPtr<IUnknown> current;
  hr = style->QueryInterface(IID_IUnknown, current.PutVoid());
  if (FAILED(hr)) return REPORT(hr);

  StyleComPtr<IJStyleOverride> override;
  if (SUCCEEDED(current->QueryInterface(IID_IJStyleOverride, override.PutVoid())) && override) {
    StyleComPtr<IJStyleSetup2d> setup;
    hr = current->QueryInterface(IID_IJStyleSetup2d, setup.PutVoid());
    if (FAILED(hr)) return REPORT(hr);
    StyleComPtr<IJStyleRender> referenced;
    hr = setup->GetReferencedStyle(referenced.Put());
    if (FAILED(hr)) return REPORT(hr);
    // An override of nothing overrides nothing: a default line.
    if (!referenced) return S_OK;
    hr = referenced->QueryInterface(IID_IUnknown, current.PutVoid());
    if (FAILED(hr)) return REPORT(hr);
  }

  StyleComPtr<IJStyleOLG> offsetLine;
  if (SUCCEEDED(current->QueryInterface(IID_IJStyleOLG, offsetLine.PutVoid())) && offsetLine) {
    hr = offsetLine->GetOffset(&m_offset);
    if (SUCCEEDED(hr)) hr = offsetLine->GetMode(&m_direction);
    if (FAILED(hr)) return REPORT(hr);
    StyleComPtr<IJStyleRender> render, referenced;
    hr = current->QueryInterface(IID_IJStyleRender, render.PutVoid());
    if (SUCCEEDED(hr)) hr = render->GetReferencedStyle(referenced.Put());
    if (FAILED(hr)) return REPORT(hr);
    if (!referenced) return S_OK;
    hr = referenced->QueryInterface(IID_IUnknown, current.PutVoid());
    if (FAILED(hr)) return REPORT(hr);
  }

  StyleComPtr<IJStyleSimpleLine> line;
  if (FAILED(current->QueryInterface(IID_IJStyleSimpleLine, line.PutVoid())) || !line) return S_OK;
  hr = ReadSimpleLine(line.Get(), override.Get());
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT CIntLine::ReadSimpleLine(IJStyleSimpleLine* line, IJStyleOverride* override) {
  tagStyleSimpleLineData record{};
  HRESULT hr = line->GetData(&record);
  if (FAILED(hr)) return REPORT(hr);
  m_units = record.unitsCode;
  m_width = record.width;
  m_colour = record.colour;
  m_lineCode1 = (record.styleFlags >> SLINE_FIRST_CODE_SHIFT) & 7;
  m_lineCode2 = (record.styleFlags >> SLINE_SECOND_CODE_SHIFT) & 7;
  m_lineCode3 = (record.styleFlags >> SLINE_THIRD_CODE_SHIFT) & 7;
  m_modeSkip = (record.styleFlags & SLINE_MODE_SKIP) ? 1 : 0;
  m_changeMask |= record.lockedFields;
  m_lineFlags = ((record.styleFlags & SLINE_WIDTH_FIXED) ? 0x2 : 0) |
                ((record.styleFlags & SLINE_COLOUR_FIXED) ? 0x1 : 0);

  hr = ReadDashType(line, record.styleFlags);
  if (SUCCEEDED(hr)) hr = ReadTerminators(line);
  if (FAILED(hr) || !override) return hr;

  tagStyleOverride overrides{};
  hr = override->GetData(&overrides);
  if (FAILED(hr)) return REPORT(hr);
  // The record's dash type comes with a reference of the caller's.
  StyleComPtr<IJStyleDashTypeRender> dashType;
  if (overrides.flags & OVR_DASH_TYPE) *dashType.Put() = overrides.dashType;
  DWORD dashID = kNoStyleID;
  hr = override->GetDashTypeID(&dashID);
  if (FAILED(hr)) return REPORT(hr);
  hr = ApplyOverride(&overrides, dashID);
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT CIntLine::ReadDashType(IJStyleSimpleLine* line, DWORD flags) {
  HRESULT hr;
  DWORD id = kNoStyleID;
  if (m_readFromLibrary) {
    hr = line->GetDashTypeID(&id);
    if (FAILED(hr)) return REPORT(hr);
  }
  if (m_readFromLibrary && IsValidID(id)) {
    hr = OpenByID(&m_dash, id);
  } else {
    StyleComPtr<IJStyleDashTypeRender> dash;
    hr = line->GetDashType(dash.Put());
    if (FAILED(hr)) return REPORT(hr);
    if (!dash) return S_OK;
    hr = OpenForObject(&m_dash, CLSID_JWorkbenchDash, dash.Get());
  }
  if (FAILED(hr)) return hr;
  return PassKindDetail(flags & 1);
}

HRESULT CIntLine::ReadTerminators(IJStyleSimpleLine* line) {
  StyleComPtr<IJStyleRender> overlay;
  HRESULT hr = line->GetOverlayStyle(overlay.Put());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJStyleLineTerminator> terminator;
  if (!overlay || FAILED(overlay->QueryInterface(IID_IJStyleLineTerminator, terminator.PutVoid()))) return S_OK;
  for (bool first : {true, false}) {
    IUnknown** field = first ? &m_firstTerminator : &m_secondTerminator;
    DWORD id = kNoStyleID;
    if (m_readFromLibrary) {
      hr = first ? terminator->GetStartStyleID(&id) : terminator->GetEndStyleID(&id);
      if (FAILED(hr)) return REPORT(hr);
    }
    if (m_readFromLibrary && IsValidID(id)) {
      hr = OpenByID(field, id);
    } else {
      StyleComPtr<IUnknown> symbol;
      hr = first ? terminator->GetStartStyle(symbol.Put()) : terminator->GetEndStyle(symbol.Put());
      if (FAILED(hr)) return REPORT(hr);
      if (symbol) hr = OpenForObject(field, CLSID_JWorkbenchPointSymbol, symbol.Get());
    }
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT CIntLine::ApplyOverride(const tagStyleOverride* record, DWORD dashTypeID) {
  if (!record) return REPORT(E_INVALIDARG);
  if (record->flags & OVR_COLOUR) {
    m_colour = record->colour;
    m_changeMask |= kColour;
  }
  if (record->flags & OVR_WIDTH) {
    m_width = record->width;
    m_units = record->unitsCode;
    m_changeMask |= kWidth;
  }
  HRESULT hr;
  if (record->flags & OVR_DASH_TYPE) {
    // Without a librarian an ID leads nowhere: the record's own dash type is edited instead.
    if (IsValidID(dashTypeID) && m_librarian) {
      hr = OpenByID(&m_dash, dashTypeID);
    } else if (record->dashType) {
      hr = OpenForObject(&m_dash, CLSID_JWorkbenchDash, record->dashType);
    } else {
      ReleaseField(&m_dash);
      hr = S_OK;
    }
    if (FAILED(hr)) return hr;
    m_changeMask |= kDash;
  }
  if (!m_dash) return S_OK;
  StyleComPtr<IWorkbenchLinearPattern> pattern;
  hr = m_dash->QueryInterface(IID_IWorkbenchLinearPattern2, pattern.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  if (record->flags & OVR_FURTHER_LENGTH) {
    hr = pattern->SetScale(record->furtherLength);
    if (FAILED(hr)) return REPORT(hr);
  }
  if (record->flags & OVR_DASH_FLAG) {
    hr = pattern->SetKindDetail(record->dashGenerationFlag ? 1 : 0);
    if (FAILED(hr)) return REPORT(hr);
  }
  return S_OK;
}

// ---- building ----

HRESULT CIntLine::Build(CStylCreator* creator) {
  if (!creator) return REPORT(E_INVALIDARG);
  StyleComPtr<IUnknown> chain;
  HRESULT hr = BuildSimpleLine(creator, chain.Put());
  if (FAILED(hr)) return hr;
  DWORD id = kNoStyleID;
  StyleComPtr<IUnknown> made;
  hr = creator->MakeTopStyle(chain.Get(), STYLETYPE_Linear, &id, made.Put());
  hr = MadeStyle(hr, made.Get());
  if (FAILED(hr)) return REPORT(hr);
  hr = HoldStyle(made.Get());
  if (FAILED(hr)) return hr;
  m_styleID = id;
  return S_OK;
}

HRESULT CIntLine::BuildSimpleLine(CStylCreator* creator, IUnknown** chain) {
  StyleComPtr<IJStyleSimpleLine> line;
  HRESULT hr = CreateInProcessInstance(CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine, line.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  tagStyleSimpleLineData record{};
  record.unitsCode = m_units;
  record.width = m_width;
  record.colour = m_colour;
  record.styleFlags = (m_lineCode1 & 7) << SLINE_FIRST_CODE_SHIFT | (m_lineCode2 & 7) << SLINE_SECOND_CODE_SHIFT |
                      (m_lineCode3 & 7) << SLINE_THIRD_CODE_SHIFT | (m_modeSkip & 1) << 16;
  record.lockedFields = m_changeMask;
  hr = WriteDashType(line.Get(), &record);
  if (FAILED(hr)) return hr;
  hr = line->SetData(&record);
  if (FAILED(hr)) return REPORT(hr);
  hr = (m_lineFlags & 0x1) ? line->SetColorFixed() : line->ClearColorFixed();
  if (SUCCEEDED(hr)) hr = (m_lineFlags & 0x2) ? line->SetWidthFixed() : line->ClearWidthFixed();
  if (SUCCEEDED(hr) && (m_changeMask & kLineCode1)) hr = line->SetFirstCode(m_lineCode1);
  if (SUCCEEDED(hr) && (m_changeMask & kLineCode2)) hr = line->SetSecondCode(m_lineCode2);
  if (SUCCEEDED(hr) && (m_changeMask & kLineCode3)) hr = line->SetThirdCode(m_lineCode3);
  if (FAILED(hr)) return REPORT(hr);
  hr = WriteTerminators(creator, line.Get());
  if (FAILED(hr)) return hr;
  return WrapOffset(creator, line.Get(), chain);
}

HRESULT CIntLine::WriteDashType(IJStyleSimpleLine* line, tagStyleSimpleLineData* record) {
  if (!m_dash) return S_OK;
  StyleComPtr<IWorkbenchAdmin> admin;
  HRESULT hr = m_dash->QueryInterface(IID_IWorkbenchAdmin, admin.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IUnknown> dash;
  hr = admin->GetStyleObject(dash.PutVoid(), IID_IUnknown);
  if (FAILED(hr)) return REPORT(hr);
  hr = line->SetDashType(dash.Get());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IWorkbenchLinearPattern> pattern;
  DWORD detail = 0;
  hr = m_dash->QueryInterface(IID_IWorkbenchLinearPattern2, pattern.PutVoid());
  if (SUCCEEDED(hr)) hr = pattern->GetKindDetail(&detail);
  if (FAILED(hr)) return REPORT(hr);
  if (detail) record->styleFlags |= SLINE_FIT;
  return S_OK;
}

HRESULT CIntLine::WriteTerminators(CStylCreator* creator, IJStyleSimpleLine* line) {
  if (!m_firstTerminator && !m_secondTerminator) return S_OK;
  StyleComPtr<IJStyleLineTerminator> terminator;
  HRESULT hr = CreateInProcessInstance(CLSID_JStyleLineTerminator, IID_IJStyleLineTerminator, terminator.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  for (bool first : {true, false}) {
    IUnknown* bench = first ? m_firstTerminator : m_secondTerminator;
    if (!bench) continue;
    StyleComPtr<IWorkbenchAdmin> admin;
    hr = bench->QueryInterface(IID_IWorkbenchAdmin, admin.PutVoid());
    if (FAILED(hr)) return REPORT(hr);
    StyleComPtr<IJStylePointSymbol> symbol;
    hr = admin->GetStyleObject(symbol.PutVoid(), IID_IJStylePointSymbol);
    if (FAILED(hr)) return REPORT(hr);
    hr = first ? terminator->SetStartStyle(symbol.Get()) : terminator->SetEndStyle(symbol.Get());
    if (FAILED(hr)) return REPORT(hr);
  }
  DWORD id = kNoStyleID;
  StyleComPtr<IUnknown> made;
  hr = creator->MakeStyle(terminator.Get(), STYLETYPE_LinePointGen, &id, made.Put());
  hr = MadeStyle(hr, made.Get());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJStyleRender> render;
  hr = made->QueryInterface(IID_IJStyleRender, render.PutVoid());
  if (SUCCEEDED(hr)) hr = line->SetOverlayStyle(render.Get());
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT CIntLine::WrapOffset(CStylCreator* creator, IJStyleSimpleLine* line, IUnknown** chain) {
  if (std::fabs(m_offset) < FLT_EPSILON) {
    const HRESULT hr = line->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(chain));
    return FAILED(hr) ? REPORT(hr) : S_OK;
  }
  StyleComPtr<IJStyleOLG> offsetLine;
  HRESULT hr = CreateInProcessInstance(CLSID_JStyleOLG, IID_IJStyleOLG, offsetLine.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  hr = offsetLine->SetOffset(m_offset);
  if (SUCCEEDED(hr)) hr = offsetLine->SetMode(m_direction);
  if (SUCCEEDED(hr)) hr = offsetLine->SetUnits(m_units);
  if (FAILED(hr)) return REPORT(hr);
  DWORD id = kNoStyleID;
  StyleComPtr<IUnknown> made;
  hr = creator->MakeStyle(line, STYLETYPE_Linear, &id, made.Put());
  hr = MadeStyle(hr, made.Get());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJStyleRender> inner, outer;
  hr = made->QueryInterface(IID_IJStyleRender, inner.PutVoid());
  if (SUCCEEDED(hr)) hr = offsetLine->QueryInterface(IID_IJStyleRender, outer.PutVoid());
  if (SUCCEEDED(hr)) hr = outer->SetReferencedStyle(inner.Get());
  if (SUCCEEDED(hr)) hr = offsetLine->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(chain));
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

// ---- parents ----

HRESULT CIntLine::MergeFromParent(CIntBase* other) {
  CIntLine* line = other ? other->AsLine() : nullptr;
  return line ? InheritFrom(line) : S_OK;
}

HRESULT CIntLine::MergeFromFormerParent(CIntBase* other) { return MergeFromParent(other); }

HRESULT CIntLine::InheritFrom(CIntLine* other) {
  bool copied = false;
  auto take = [&](DWORD bit, auto& mine, const auto& theirs) {
    if ((m_changeMask & bit) || mine == theirs) return;
    mine = theirs;
    copied = true;
  };
  auto takeNear = [&](DWORD bit, double& mine, double theirs) {
    if ((m_changeMask & bit) || Near(mine, theirs)) return;
    mine = theirs;
    copied = true;
  };
  take(kColour, m_colour, other->m_colour);
  DWORD colourFixed = m_lineFlags & 0x1;
  take(kColourFixed, colourFixed, other->m_lineFlags & 0x1);
  takeNear(kWidth, m_width, other->m_width);
  take(kWidth, m_units, other->m_units);
  DWORD widthFixed = m_lineFlags & 0x2;
  take(kWidthFixed, widthFixed, other->m_lineFlags & 0x2);
  m_lineFlags = colourFixed | widthFixed;
  // The offset is always the parent's; its units only while this style did not set its own width.
  takeNear(0, m_offset, other->m_offset);
  take(kWidth, m_units, other->m_units);
  for (auto [bit, mine, theirs] : {std::tuple{kDash, &m_dash, other->m_dash},
                                   std::tuple{kFirstTerminator, &m_firstTerminator, other->m_firstTerminator},
                                   std::tuple{kSecondTerminator, &m_secondTerminator, other->m_secondTerminator}}) {
    if ((m_changeMask & bit) || *mine == theirs) continue;
    if (theirs) theirs->AddRef();
    ReleaseField(mine);
    *mine = theirs;
    copied = true;
  }
  take(kHeldCode, m_heldCode, other->m_heldCode);
  takeNear(kHeldValue1, m_heldValue1, other->m_heldValue1);
  takeNear(kHeldValue2, m_heldValue2, other->m_heldValue2);
  take(kLineCode1, m_lineCode1, other->m_lineCode1);
  take(kLineCode2, m_lineCode2, other->m_lineCode2);
  take(kLineCode3, m_lineCode3, other->m_lineCode3);
  return copied ? S_FALSE : S_OK;
}

HRESULT CIntLine::CheckSubWorkbenchIDs() {
  for (IUnknown* bench : {m_dash, m_firstTerminator, m_secondTerminator}) {
    if (!bench) continue;
    bool moved = false;
    const HRESULT hr = JWorkbenchBase::SaveSubWorkbench(bench, &moved);
    if (FAILED(hr)) return REPORT(hr);
    if (moved) SetChanged();
  }
  return S_OK;
}

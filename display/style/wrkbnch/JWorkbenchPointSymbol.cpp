#include "display/style/wrkbnch/JWorkbenchPointSymbol.h"

#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/StyleReport.h"

namespace {

constexpr char kSource[] = "display/style/wrkbnch/wbpoint";

}  // namespace

JWorkbenchPointSymbol::~JWorkbenchPointSymbol() { HoldGraphic(nullptr); }

HRESULT JWorkbenchPointSymbol::Init() {
  m_units = kDefaultUnits;
  HoldGraphic(nullptr);
  m_changeMask = 0;
  return JWorkbenchBase::Init();
}

void* JWorkbenchPointSymbol::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IWorkbenchPointSymbol) || IsEqualIID(iid, IID_IWorkbenchTyped)) {
    return &m_IWorkbenchPointSymbolImp;
  }
  return JWorkbenchBase::GetInterface(iid);
}

void JWorkbenchPointSymbol::HoldGraphic(IUnknown* graphic) {
  if (graphic) graphic->AddRef();
  IUnknown* previous = m_graphic;
  m_graphic = graphic;
  if (previous) previous->Release();
}

// ---- editing ----

HRESULT JWorkbenchPointSymbol::SetUnits(DWORD unitsCode) {
  m_units = unitsCode;
  MarkEdited();
  return S_OK;
}

HRESULT JWorkbenchPointSymbol::SetGraphic(IUnknown* graphic) {
  if (!graphic) return S_OK;
  // The held graphic handed in under another interface is the same graphic: no reference moves.
  if (!StyleSameObject(graphic, m_graphic)) HoldGraphic(graphic);
  MarkEdited();
  m_changeMask |= kGraphicChanged;
  return S_OK;
}

// ---- loading and storing ----

HRESULT JWorkbenchPointSymbol::InitNewStyle() {
  m_type = STYLETYPE_PointSymbol;
  const HRESULT hr = LoadPointSymbol(m_parentID);
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT JWorkbenchPointSymbol::LoadPointSymbol(DWORD id) {
  IJSLLibrarian* library = m_librarian ? m_librarian : m_library;
  const bool byID = IsValidID(id) && library;
  StyleComPtr<IUnknown> fetched;
  HRESULT hr;
  if (byID) {
    hr = library->GetStyle(id, fetched.Put());
    if (FAILED(hr)) return REPORT(hr);
  }
  IUnknown* style = byID ? fetched.Get() : m_styleObject;
  if (!style) return S_OK;

  StyleComPtr<IJStylePointSymbol> symbol;
  hr = style->QueryInterface(IID_IJStylePointSymbol, symbol.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  DWORD units = 0;
  hr = symbol->GetUnits(&units);
  if (FAILED(hr)) return REPORT(hr);
  m_units = units;
  // A symbol that cannot be found answers null (S_FALSE): the working state then has no graphic.
  StyleComPtr<IJGraphic> graphic;
  hr = symbol->GetGraphic(graphic.Put());
  if (FAILED(hr)) return REPORT(hr);
  HoldGraphic(graphic.Get());
  return S_OK;
}

HRESULT JWorkbenchPointSymbol::StorePointSymbol() {
  if (!m_graphic) return S_OK;
  HRESULT hr;
  if (!m_styleObject) {
    hr = CreateInProcessInstance(CLSID_JStylePointSymbol, IID_IUnknown, reinterpret_cast<void**>(&m_styleObject));
    if (FAILED(hr)) return REPORT(hr);
  }
  StyleComPtr<IJStylePointSymbol> symbol;
  hr = m_styleObject->QueryInterface(IID_IJStylePointSymbol, symbol.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  hr = symbol->SetUnits(m_units);
  if (FAILED(hr)) return REPORT(hr);
  // The owner first: the symbol adopts the graphic into its owner's document when it is given one.
  StyleComPtr<IJManageStyle2> manage;
  if (m_library && SUCCEEDED(m_styleObject->QueryInterface(IID_IJManageStyle2, manage.PutVoid()))) {
    hr = manage->SetLibrarian(m_library);
    if (FAILED(hr)) return REPORT(hr);
  }
  hr = symbol->SetGraphic(m_graphic);
  if (FAILED(hr)) return REPORT(hr);

  StyleComPtr<IJGraphic> stored;
  hr = symbol->GetGraphic(stored.Put());
  if (FAILED(hr)) return REPORT(hr);
  // Nothing read back (a symbol it cannot find) leaves the held graphic as it is.
  if (!stored || StyleSameObject(stored.Get(), m_graphic)) return S_OK;
  StyleComPtr<IJGraphic> copy;
  hr = stored->QueryInterface(IID_IJGraphic, copy.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  HoldGraphic(copy.Get());
  return S_OK;
}

// ---- parents ----

HRESULT JWorkbenchPointSymbol::InheritGraphic(IUnknown* parent) {
  // Only a point-symbol workbench of this server has a graphic to give.
  JWorkbenchPointSymbol* bench = WorkbenchOfClass<JWorkbenchPointSymbol>(parent);
  if (!bench || (m_changeMask & kGraphicChanged) || StyleSameObject(bench->m_graphic, m_graphic)) return S_OK;
  HoldGraphic(bench->m_graphic);
  return S_FALSE;
}

HRESULT JWorkbenchPointSymbol::OnParentChanged(IUnknown* parent) { return InheritGraphic(parent); }

HRESULT JWorkbenchPointSymbol::OnParentRemoved(IUnknown* parent) {
  // The parent ID still names the removed parent here: what it had set, this style now keeps as its own.
  StyleComPtr<IUnknown> former;
  const HRESULT hr = GetParentWorkbench(former.Put());
  if (FAILED(hr)) return REPORT(hr);
  if (JWorkbenchPointSymbol* bench = WorkbenchOfClass<JWorkbenchPointSymbol>(former.Get())) {
    m_changeMask |= bench->m_changeMask;
  }
  return InheritGraphic(parent);
}

// ---- IWorkbenchPointSymbol ----

using PointSymbolImp = JWorkbenchPointSymbol::IWorkbenchPointSymbolImp;

HRESULT STDMETHODCALLTYPE PointSymbolImp::GetUnits(DWORD* out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = Object()->m_units;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE PointSymbolImp::SetUnits(DWORD unitsCode) { return Object()->SetUnits(unitsCode); }
HRESULT STDMETHODCALLTYPE PointSymbolImp::SetGraphic(IUnknown* graphic) { return Object()->SetGraphic(graphic); }

HRESULT STDMETHODCALLTYPE PointSymbolImp::GetGraphic(IUnknown** out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = Object()->m_graphic;
  if (*out) (*out)->AddRef();
  return S_OK;
}

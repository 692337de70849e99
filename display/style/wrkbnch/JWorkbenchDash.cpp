#include "display/style/wrkbnch/JWorkbenchDash.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/StyleReport.h"
#include "display/style/styllib/StyleText.h"
#include "host/halvorn/halvorn.h"

namespace {

constexpr char kSource[] = "display/style/wrkbnch/wbdash";

// Marks a pattern position that is neither dash nor gap.
constexpr double kNoEntry = -DBL_MAX;
constexpr double kTolerance = FLT_EPSILON;
constexpr DWORD kFlagsVersion = 0x1000000;
constexpr DWORD kRestartAtCorners = 0x20;

bool Near(double a, double b) { return std::fabs(a - b) < kTolerance; }
bool IsKnownKind(DWORD kind) { return kind == 0 || kind == 1 || kind == 2 || kind == 8; }

// The generator's two placement words: an absolute angle wins over upright, so that no pair the generator holds
// reads as a placement that turns the symbol otherwise than it was drawn.
DWORD PlacementOf(DWORD absolute, DWORD upright) { return absolute ? 1 : upright ? 2 : 0; }

}  // namespace

JWorkbenchDash::~JWorkbenchDash() {
  SizeElements(0);
  FreeDashes();
}

HRESULT JWorkbenchDash::Init() {
  SizeElements(0);
  m_elements.RemoveAll();
  FreeDashes();
  m_units = kDefaultUnits;
  m_kind = m_kindDetail = m_flagB = m_changeMask = 0;
  m_flagA = 1;
  m_scale = 1.0;
  return JWorkbenchBase::Init();
}

void* JWorkbenchDash::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IWorkbenchLinearPattern) || IsEqualIID(iid, IID_IWorkbenchLinearPattern2) ||
      IsEqualIID(iid, IID_IWorkbenchTyped)) {
    return &m_IWorkbenchLinearPatternImp;
  }
  return JWorkbenchBase::GetInterface(iid);
}

void JWorkbenchDash::FreeDashes() {
  std::free(m_dashes);
  m_dashes = nullptr;
  m_dashCount = m_dashCapacity = 0;
}

void JWorkbenchDash::ClearElement(Element& element) {
  IUnknown* symbol = element.symbolWorkbench;
  element = Element{};
  if (symbol) symbol->Release();
}

bool JWorkbenchDash::SizeElements(DWORD size) {
  for (DWORD i = size; i < m_elements.Size(); ++i) ClearElement(m_elements[i]);
  return m_elements.SetSize(size);
}

JWorkbenchDash::Element* JWorkbenchDash::ElementAt(LONG index) const {
  if (index < 0 || static_cast<DWORD>(index) >= m_elements.Size()) return nullptr;
  return &m_elements[static_cast<DWORD>(index)];
}

// ---- editing ----

HRESULT JWorkbenchDash::SetUnits(DWORD unitsCode) {
  m_units = unitsCode;
  MarkEdited();
  return S_OK;
}

HRESULT JWorkbenchDash::SetDashes(LONG count, const double* lengths) {
  if (count < 0 || (count > 0 && !lengths)) return REPORT(E_INVALIDARG);
  if (count > m_dashCapacity) {
    auto* grown = static_cast<double*>(std::malloc(static_cast<std::size_t>(count) * sizeof(double)));
    if (!grown) return REPORT(E_OUTOFMEMORY);
    std::free(m_dashes);
    m_dashes = grown;
    m_dashCapacity = count;
  }
  if (count) std::memcpy(m_dashes, lengths, static_cast<std::size_t>(count) * sizeof(double));
  m_dashCount = count;
  Edited(kDashesChanged);
  return S_OK;
}

HRESULT JWorkbenchDash::GetDashes(DWORD size, double* out) const {
  if (!out) return E_INVALIDARG;
  if (size < static_cast<DWORD>(m_dashCount)) return kDashBufferTooSmall;
  if (m_dashCount) std::memcpy(out, m_dashes, static_cast<std::size_t>(m_dashCount) * sizeof(double));
  return S_OK;
}

HRESULT JWorkbenchDash::SetKind(DWORD kind) {
  m_kind = kind;
  m_kindDetail = 0;
  Edited(kKindChanged);
  return S_OK;
}

DWORD JWorkbenchDash::Kind() const {
  if (m_kind != 8) return m_kind;
  return m_kindDetail ? 2 : 0;
}

HRESULT JWorkbenchDash::SetFlagA(DWORD value) {
  m_flagA = value;
  Edited(kFlagAChanged);
  return S_OK;
}

HRESULT JWorkbenchDash::SetFlagB(DWORD value) {
  m_flagB = value;
  Edited(kFlagBChanged);
  return S_OK;
}

HRESULT JWorkbenchDash::SetScale(double scale) {
  m_scale = scale;
  Edited(kScaleChanged);
  return S_OK;
}

HRESULT JWorkbenchDash::AddDash(LONG* index) {
  if (!index) return REPORT(E_INVALIDARG);
  if (m_dashCount + 1 > m_dashCapacity) {
    const LONG capacity = m_dashCapacity + 4;
    auto* grown = static_cast<double*>(std::malloc(static_cast<std::size_t>(capacity) * sizeof(double)));
    if (!grown) return REPORT(E_OUTOFMEMORY);
    if (m_dashCount) std::memcpy(grown, m_dashes, static_cast<std::size_t>(m_dashCount) * sizeof(double));
    std::free(m_dashes);
    m_dashes = grown;
    m_dashCapacity = capacity;
  }
  const DWORD position = static_cast<DWORD>(m_dashCount);
  if (m_elements.Size() < position + 1 && !SizeElements(position + 1)) return REPORT(E_OUTOFMEMORY);
  ClearElement(m_elements[position]);
  *index = m_dashCount;
  return S_OK;
}

HRESULT JWorkbenchDash::SetDash(LONG index, double value) {
  if (value == 0.0 || value == kNoEntry) {
    // A pattern always keeps one real dash.
    bool another = false;
    for (LONG i = 0; i < m_dashCount && !another; ++i) {
      another = i != index && m_dashes[i] != kNoEntry && std::fabs(m_dashes[i]) >= kTolerance;
    }
    if (!another) return REPORT(E_INVALIDARG);
  }
  if (index >= 0 && index < m_dashCount) {
    m_dashes[index] = value;
  } else if (index == m_dashCount && index < m_dashCapacity) {
    m_dashes[index] = value;
    ++m_dashCount;
  } else {
    return REPORT(E_INVALIDARG);
  }
  Edited(kDashesChanged);
  return S_OK;
}

HRESULT JWorkbenchDash::GetDash(LONG index, double* out) const {
  if (!out || index < 0 || index >= m_dashCount) return E_INVALIDARG;
  *out = m_dashes[index];
  return S_OK;
}

BOOL JWorkbenchDash::IsDrawnDash(LONG index) const {
  return index >= 0 && index < m_dashCount && index % 2 == 0 && m_dashes[index] != kNoEntry;
}

HRESULT JWorkbenchDash::SetSymbolWorkbench(LONG index, IUnknown* workbench) {
  Element* element = ElementAt(index);
  if (!element) return REPORT(E_INVALIDARG);
  if (workbench) workbench->AddRef();
  IUnknown* previous = element->symbolWorkbench;
  element->symbolWorkbench = workbench;
  if (previous) previous->Release();
  Edited(kSymbolsChanged);
  return S_OK;
}

HRESULT JWorkbenchDash::GetSymbolWorkbench(LONG index, IUnknown** out) const {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  const Element* element = ElementAt(index);
  if (!element) return E_INVALIDARG;
  *out = element->symbolWorkbench;
  if (*out) (*out)->AddRef();
  return S_OK;
}

// ---- loading ----

HRESULT JWorkbenchDash::InitNewStyle() {
  m_type = STYLETYPE_Dash;
  // A new style's values all come from its parent: none of them is set in it yet.
  const HRESULT hr = LoadDash(m_parentID, false);
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT JWorkbenchDash::LoadStyle() {
  const HRESULT hr = LoadDash(m_styleID, true);
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT JWorkbenchDash::LoadDash(DWORD id, bool takeMask) {
  if (!IsValidID(id) && !m_styleObject) return S_OK;
  IJSLLibrarian* library = m_library ? m_library : m_librarian;
  StyleComPtr<IUnknown> fetched;
  HRESULT hr;
  if (IsValidID(id) && library) {
    hr = library->GetStyle(id, fetched.Put());
    if (FAILED(hr)) return REPORT(hr);
  }
  IUnknown* style = fetched ? fetched.Get() : m_styleObject;
  if (!style) return S_OK;

  StyleComPtr<IJStyleSimpleDashType> dash;
  hr = style->QueryInterface(IID_IJStyleSimpleDashType, dash.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  DWORD count = 0;
  hr = dash->GetCount(&count);
  if (FAILED(hr)) return REPORT(hr);
  if (count > 0x7FFFFFFu) return REPORT(E_OUTOFMEMORY);
  const LONG n = static_cast<LONG>(count);
  if (n > m_dashCapacity) {
    auto* grown = static_cast<double*>(std::malloc(static_cast<std::size_t>(n) * sizeof(double)));
    if (!grown) return REPORT(E_OUTOFMEMORY);
    std::free(m_dashes);
    m_dashes = grown;
    m_dashCapacity = n;
  }
  // The count follows the array, so that a failure below never leaves a count the array cannot hold.
  m_dashCount = 0;
  if (!SizeElements(0) || !SizeElements(count)) return REPORT(E_OUTOFMEMORY);
  if (count == 0) m_elements.RemoveAll();

  tagStyleSimpleDashTypeData data{};
  data.count = count;
  data.lengths = m_dashes;
  hr = dash->GetData(&data);
  if (FAILED(hr) || hr == kDashBufferTooSmall) return REPORT(FAILED(hr) ? hr : E_UNEXPECTED);
  m_dashCount = n;
  m_units = data.unitsCode;
  if (IsKnownKind(data.flags & 0xF)) m_kind = data.flags & 0xF;
  m_scale = data.endFraction;
  m_flagA = data.strokesHidden == 0 ? 1 : 0;
  m_flagB = (data.flags >> 5) & 1;

  hr = LoadSymbols(style);
  if (FAILED(hr)) return hr;

  DWORD mask = 0;
  hr = dash->GetLockedFields(&mask);
  if (FAILED(hr)) return REPORT(hr);
  if (takeMask) m_changeMask = mask;
  return S_OK;
}

HRESULT JWorkbenchDash::LoadSymbols(IUnknown* style) {
  StyleComPtr<IJStyleDashType> dashType;
  HRESULT hr = style->QueryInterface(IID_IJStyleDashType, dashType.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  DWORD clientCount = 0;
  hr = dashType->GetClientCount(&clientCount);
  if (FAILED(hr)) return REPORT(hr);
  if (clientCount == 0) return S_OK;
  if (clientCount > 0xFFFFu) return REPORT(E_UNEXPECTED);
  auto** clients = static_cast<IJStyleDashTypeClient**>(std::calloc(clientCount, sizeof(IJStyleDashTypeClient*)));
  if (!clients) return REPORT(E_OUTOFMEMORY);
  hr = dashType->GetClients(static_cast<LONG>(clientCount), clients);
  if (FAILED(hr)) REPORT(hr);

  for (DWORD c = 0; SUCCEEDED(hr) && c < clientCount; ++c) {
    StyleComPtr<IJStyleLinePointGen> generator;
    if (!clients[c] || FAILED(clients[c]->QueryInterface(IID_IJStyleLinePointGen, generator.PutVoid()))) continue;
    DWORD points = 0;
    hr = generator->GetCount(&points);
    if (FAILED(hr)) {
      REPORT(hr);
      break;
    }
    for (DWORD i = 0; i < points; ++i) {
      DWORD symbolID = kNoStyleID, absolute = 0, upright = 0;
      float fraction = 0;
      double along = 0, across = 0, angle = 0;
      // A point without a symbol has nothing to edit.
      if (FAILED(generator->GetEntryByID(static_cast<LONG>(i), &symbolID, &fraction, &along, &across, &angle,
                                         &absolute, &upright))) {
        continue;
      }
      StyleComPtr<IJStylePointSymbol> symbol;
      if (!IsValidID(symbolID)) generator->GetSymbol(static_cast<LONG>(i), symbol.Put());
      StyleComPtr<IUnknown> workbench;
      hr = MakeSymbolWorkbench(symbolID, symbol.Get(), workbench.Put());
      if (FAILED(hr)) break;
      // A generator may hold a symbol at any of its points, also past the pattern's entries.
      if (i >= m_elements.Size() && !SizeElements(i + 1)) {
        hr = REPORT(E_OUTOFMEMORY);
        break;
      }
      Element& element = m_elements[i];
      ClearElement(element);
      element = {workbench.Detach(), PlacementOf(absolute, upright), angle, along, across, fraction};
    }
  }
  for (DWORD c = 0; c < clientCount; ++c) {
    if (clients[c]) clients[c]->Release();
  }
  std::free(clients);
  return hr;
}

HRESULT JWorkbenchDash::MakeSymbolWorkbench(DWORD symbolID, IUnknown* symbol, IUnknown** out) {
  *out = nullptr;
  StyleComPtr<IJSLWorkShop> shop;
  HRESULT hr;
  if (m_librarian && SUCCEEDED(m_librarian->QueryInterface(IID_IJSLWorkShop, shop.PutVoid())) && shop) {
    StyleComPtr<IWorkbenchAdmin> admin;
    hr = IsValidID(symbolID)
             ? shop->GetWorkbench(symbolID, FALSE, admin.Put())
             : shop->GetWorkbenchByName(nullptr, &STYLETYPE_PointSymbol, TRUE, FALSE, admin.Put());
    if (FAILED(hr)) return REPORT(hr);
    if (!admin) return REPORT(E_FAIL);
    hr = admin->QueryInterface(IID_IWorkbenchPointSymbol, reinterpret_cast<void**>(out));
    return FAILED(hr) ? REPORT(hr) : S_OK;
  }
  StyleComPtr<IUnknown> made;
  hr = CreateInProcessInstance(CLSID_JWorkbenchPointSymbol, IID_IUnknown, made.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IWorkbenchAdmin> admin;
  hr = made->QueryInterface(IID_IWorkbenchAdmin, admin.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  // Without a library the symbol is edited as the object the generator holds; without one it is a new symbol.
  if (symbol) {
    hr = admin->AttachObject(symbol);
  } else if (IsValidID(symbolID) && m_library) {
    hr = admin->Attach(symbolID, m_library);
  } else {
    hr = admin->AttachNew(kNoStyleID, m_librarian);
  }
  if (FAILED(hr)) return REPORT(hr);
  *out = made.Detach();
  return S_OK;
}

// ---- storing ----

HRESULT JWorkbenchDash::StoreStyle() { return StoreDash(); }
HRESULT JWorkbenchDash::CreateStyleObject() { return StoreDash(); }

HRESULT JWorkbenchDash::StoreDash() {
  if (m_dashCount < 1) return S_OK;
  HRESULT hr;
  if (!m_styleObject) {
    StyleComPtr<IUnknown> made;
    hr = CreateInProcessInstance(CLSID_JStyleSimpleDashType, IID_IUnknown, made.PutVoid());
    if (FAILED(hr)) return REPORT(hr);
    hr = SetStyleObject(made.Get());
    if (FAILED(hr)) return REPORT(hr);
  }
  StyleComPtr<IJStyleSimpleDashType> dash;
  hr = m_styleObject->QueryInterface(IID_IJStyleSimpleDashType, dash.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  tagStyleSimpleDashTypeData data{};
  data.unitsCode = m_units;
  data.count = static_cast<DWORD>(m_dashCount);
  data.lengths = m_dashes;
  data.flags = (m_flagB & 1) << 5 | (IsKnownKind(m_kind) ? m_kind : 0) | kFlagsVersion;
  data.endFraction = m_scale;
  data.strokesHidden = m_flagA == 0 ? 1 : 0;
  hr = dash->SetData(&data);
  if (FAILED(hr)) return REPORT(hr);
  hr = dash->SetLockedFields(m_changeMask);
  if (FAILED(hr)) return REPORT(hr);
  return StoreSymbols(dash.Get());
}

HRESULT JWorkbenchDash::StoreSymbols(IJStyleSimpleDashType* dash) {
  bool any = false;
  for (DWORD i = 0; i < m_elements.Size() && !any; ++i) any = m_elements[i].symbolWorkbench != nullptr;
  if (!any) return S_OK;

  StyleComPtr<IJStyleLinePointGen> generator;
  HRESULT hr = CreateInProcessInstance(CLSID_JStyleLinePointGen, IID_IJStyleLinePointGen, generator.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  hr = generator->SetUnits(m_units);
  if (FAILED(hr)) return REPORT(hr);
  for (DWORD i = 0; i < m_elements.Size(); ++i) {
    const Element& element = m_elements[i];
    if (!element.symbolWorkbench) continue;
    StyleComPtr<IWorkbenchAdmin> admin;
    hr = element.symbolWorkbench->QueryInterface(IID_IWorkbenchAdmin, admin.PutVoid());
    if (FAILED(hr)) return REPORT(hr);
    StyleComPtr<IJStylePointSymbol> symbol;
    hr = admin->GetStyleObject(symbol.PutVoid(), IID_IJStylePointSymbol);
    if (FAILED(hr)) return REPORT(hr);
    // A symbol workbench without a graphic has no symbol to place.
    if (!symbol) continue;
    const DWORD absolute = element.placement == 1 ? 1 : 0;
    const DWORD upright = element.placement == 2 ? 1 : 0;
    hr = generator->SetEntry(static_cast<LONG>(i), symbol.Get(), static_cast<float>(element.fourth), element.second,
                             element.third, element.first, absolute, upright);
    if (FAILED(hr)) return REPORT(hr);
  }

  if (m_librarian) {
    GUID type = STYLETYPE_LinePointGen;
    StyleRecord record{nullptr, nullptr, generator.Get(), &type, kNoStyleID, 0};
    MarkObjectModified(m_librarian);
    DWORD id = kNoStyleID;
    // A library that does not take the generator leaves the dash style with the local one.
    if (SUCCEEDED(m_librarian->AddStyle(&record, &id)) && IsValidID(id)) {
      StyleComPtr<IUnknown> entry;
      hr = m_librarian->GetStyle(id, entry.Put());
      if (FAILED(hr)) return REPORT(hr);
      hr = entry->QueryInterface(IID_IJStyleLinePointGen, generator.PutVoid());
      if (FAILED(hr)) return REPORT(hr);
    }
  }

  StyleComPtr<IJStyleDashTypeClient> client;
  hr = generator->QueryInterface(IID_IJStyleDashTypeClient, client.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJStyleDashType> dashType;
  hr = dash->QueryInterface(IID_IJStyleDashType, dashType.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  IJStyleDashTypeClient* only[1] = {client.Get()};
  hr = dashType->SetClients(1, only);
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT JWorkbenchDash::ValidateEdits() {
  for (DWORD i = 0; i < m_elements.Size(); ++i) {
    if (!m_elements[i].symbolWorkbench) continue;
    bool moved = false;
    const HRESULT hr = SaveSubWorkbench(m_elements[i].symbolWorkbench, &moved);
    if (FAILED(hr)) return REPORT(hr);
    // The symbol moved to another entry: the generator must be stored again.
    if (moved) MarkEdited();
  }
  return S_OK;
}

HRESULT JWorkbenchDash::BuildDescription() {
  if (m_name) return SetDescriptionText(m_name);
  if (!IsValidID(m_parentID) || !m_librarian) return S_OK;
  LPWSTR parentName = nullptr;
  const HRESULT hr = AskStyleName(m_parentID, &parentName);
  if (FAILED(hr)) return REPORT(hr);
  HRESULT set = S_OK;
  if (parentName && *parentName) set = SetDescriptionText(parentName);
  StyleFreeText(parentName);
  return set;
}

// ---- parents ----

HRESULT JWorkbenchDash::TakeOverFromParent(JWorkbenchDash* parent) {
  bool changed = false;
  if (!(m_changeMask & kDashesChanged)) {
    bool differs = parent->m_dashCount != m_dashCount || parent->m_units != m_units;
    for (LONG i = 0; i < m_dashCount && !differs; ++i) differs = !Near(parent->m_dashes[i], m_dashes[i]);
    if (differs) {
      const LONG n = parent->m_dashCount;
      double* copy = nullptr;
      if (n) {
        copy = static_cast<double*>(std::malloc(static_cast<std::size_t>(n) * sizeof(double)));
        if (!copy) return REPORT(E_OUTOFMEMORY);
        std::memcpy(copy, parent->m_dashes, static_cast<std::size_t>(n) * sizeof(double));
      }
      std::free(m_dashes);
      m_dashes = copy;
      m_dashCount = m_dashCapacity = n;
      m_units = parent->m_units;
      changed = true;
    }
  }
  auto take = [&](DWORD bit, DWORD& mine, DWORD theirs) {
    if ((m_changeMask & bit) || mine == theirs) return;
    mine = theirs;
    changed = true;
  };
  take(kKindChanged, m_kind, parent->m_kind);
  take(kFlagAChanged, m_flagA, parent->m_flagA);
  take(kFlagBChanged, m_flagB, parent->m_flagB);
  if (!(m_changeMask & kScaleChanged) && !Near(m_scale, parent->m_scale)) {
    m_scale = parent->m_scale;
    changed = true;
  }
  if (m_changeMask & kSymbolsChanged) return changed ? S_FALSE : S_OK;

  // A record one side lacks compares as an empty one: a loaded style has a record per dash, a new one none.
  const DWORD count = parent->m_elements.Size();
  const DWORD longer = count > m_elements.Size() ? count : m_elements.Size();
  bool same = !changed;
  for (DWORD i = 0; i < longer && same; ++i) {
    const Element a = i < m_elements.Size() ? m_elements[i] : Element{};
    const Element b = i < count ? parent->m_elements[i] : Element{};
    same = StyleSameObject(a.symbolWorkbench, b.symbolWorkbench) && a.placement == b.placement &&
           Near(a.first, b.first) && Near(a.second, b.second) && Near(a.third, b.third) && Near(a.fourth, b.fourth);
  }
  if (same) return changed ? S_FALSE : S_OK;
  if (!SizeElements(0) || !SizeElements(count)) return REPORT(E_OUTOFMEMORY);
  for (DWORD i = 0; i < count; ++i) {
    m_elements[i] = parent->m_elements[i];
    if (m_elements[i].symbolWorkbench) m_elements[i].symbolWorkbench->AddRef();
  }
  return S_FALSE;
}

HRESULT JWorkbenchDash::OnParentChanged(IUnknown* parent) {
  // Only a dash workbench of this server has values to give.
  JWorkbenchDash* bench = WorkbenchOfClass<JWorkbenchDash>(parent);
  return bench ? TakeOverFromParent(bench) : S_OK;
}

HRESULT JWorkbenchDash::OnParentRemoved(IUnknown* parent) {
  // The parent ID still names the removed parent here: what it had set, this style now keeps as its own.
  StyleComPtr<IUnknown> former;
  const HRESULT hr = GetParentWorkbench(former.Put());
  if (FAILED(hr)) return REPORT(hr);
  if (JWorkbenchDash* bench = WorkbenchOfClass<JWorkbenchDash>(former.Get())) m_changeMask |= bench->m_changeMask;
  return OnParentChanged(parent);
}

// ---- IWorkbenchLinearPattern ----

using PatternImp = JWorkbenchDash::IWorkbenchLinearPatternImp;

namespace {

template <class T>
HRESULT Answer(T* out, T value) {
  if (!out) return E_INVALIDARG;
  *out = value;
  return S_OK;
}

}  // namespace

HRESULT STDMETHODCALLTYPE PatternImp::GetUnits(DWORD* out) { return Answer(out, Object()->m_units); }
HRESULT STDMETHODCALLTYPE PatternImp::SetUnits(DWORD unitsCode) { return Object()->SetUnits(unitsCode); }
HRESULT STDMETHODCALLTYPE PatternImp::SetDashes(LONG count, const double* lengths) {
  return Object()->SetDashes(count, lengths);
}
HRESULT STDMETHODCALLTYPE PatternImp::GetDashes(DWORD size, double* out) { return Object()->GetDashes(size, out); }
HRESULT STDMETHODCALLTYPE PatternImp::GetDashCount(LONG* out) { return Answer(out, Object()->m_dashCount); }
HRESULT STDMETHODCALLTYPE PatternImp::SetKind(DWORD kind) { return Object()->SetKind(kind); }
HRESULT STDMETHODCALLTYPE PatternImp::GetKind(DWORD* out) { return Answer(out, Object()->Kind()); }
HRESULT STDMETHODCALLTYPE PatternImp::SetFlagA(DWORD value) { return Object()->SetFlagA(value); }
HRESULT STDMETHODCALLTYPE PatternImp::GetFlagA(DWORD* out) { return Answer(out, Object()->m_flagA); }
HRESULT STDMETHODCALLTYPE PatternImp::SetScale(double scale) { return Object()->SetScale(scale); }
HRESULT STDMETHODCALLTYPE PatternImp::GetScale(double* out) { return Answer(out, Object()->m_scale); }
HRESULT STDMETHODCALLTYPE PatternImp::AddDash(LONG* index) { return Object()->AddDash(index); }
HRESULT STDMETHODCALLTYPE PatternImp::SetDash(LONG index, double value) { return Object()->SetDash(index, value); }
HRESULT STDMETHODCALLTYPE PatternImp::GetDash(LONG index, double* out) { return Object()->GetDash(index, out); }
HRESULT STDMETHODCALLTYPE PatternImp::IsDrawnDash(LONG index, BOOL* out) {
  return Answer(out, Object()->IsDrawnDash(index));
}
HRESULT STDMETHODCALLTYPE PatternImp::SetSymbolWorkbench(LONG index, IUnknown* workbench) {
  return Object()->SetSymbolWorkbench(index, workbench);
}
HRESULT STDMETHODCALLTYPE PatternImp::GetSymbolWorkbench(LONG index, IUnknown** out) {
  return Object()->GetSymbolWorkbench(index, out);
}

namespace {

template <class T>
HRESULT ReportedSet(JWorkbenchDash* bench, LONG index, T JWorkbenchDash::Element::*field, T value) {
  const HRESULT hr = bench->SetElementValue(index, field, value);
  return FAILED(hr) ? REPORT(hr) : hr;
}

}  // namespace

using Element = JWorkbenchDash::Element;

HRESULT STDMETHODCALLTYPE PatternImp::SetFirstValue(LONG index, double value) {
  return ReportedSet(Object(), index, &Element::first, value);
}
HRESULT STDMETHODCALLTYPE PatternImp::GetFirstValue(LONG index, double* out) {
  return Object()->GetElementValue(index, &Element::first, out);
}
HRESULT STDMETHODCALLTYPE PatternImp::SetPlacement(LONG index, DWORD placement) {
  return ReportedSet(Object(), index, &Element::placement, placement);
}
HRESULT STDMETHODCALLTYPE PatternImp::GetPlacement(LONG index, DWORD* out) {
  return Object()->GetElementValue(index, &Element::placement, out);
}
HRESULT STDMETHODCALLTYPE PatternImp::SetSecondValue(LONG index, double value) {
  return ReportedSet(Object(), index, &Element::second, value);
}
HRESULT STDMETHODCALLTYPE PatternImp::GetSecondValue(LONG index, double* out) {
  return Object()->GetElementValue(index, &Element::second, out);
}
HRESULT STDMETHODCALLTYPE PatternImp::SetThirdValue(LONG index, double value) {
  return ReportedSet(Object(), index, &Element::third, value);
}
HRESULT STDMETHODCALLTYPE PatternImp::GetThirdValue(LONG index, double* out) {
  return Object()->GetElementValue(index, &Element::third, out);
}
HRESULT STDMETHODCALLTYPE PatternImp::SetFourthValue(LONG index, double value) {
  return ReportedSet(Object(), index, &Element::fourth, value);
}
HRESULT STDMETHODCALLTYPE PatternImp::GetFourthValue(LONG index, double* out) {
  return Object()->GetElementValue(index, &Element::fourth, out);
}
HRESULT STDMETHODCALLTYPE PatternImp::SetFlagB(DWORD value) { return Object()->SetFlagB(value); }
HRESULT STDMETHODCALLTYPE PatternImp::GetFlagB(DWORD* out) { return Answer(out, Object()->m_flagB); }
HRESULT STDMETHODCALLTYPE PatternImp::SetKindDetail(DWORD value) {
  Object()->SetKindDetail(value);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE PatternImp::GetKindDetail(DWORD* out) { return Answer(out, Object()->m_kindDetail); }

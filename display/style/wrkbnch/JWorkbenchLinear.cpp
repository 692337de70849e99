#include "display/style/wrkbnch/JWorkbenchLinear.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/JStyleLib.h"
#include "display/style/server.h"
#include "display/style/styllib/StyleReport.h"
#include "display/style/styllib/StyleText.h"
#include "display/style/stylspt/StyleExports.h"

namespace {

constexpr char kSource[] = "display/style/wrkbnch/wbline";
constexpr DWORD kLineKind = 2;

// The resource strings of the description.
enum DescriptionString : UINT {
  kValueSeparator = 182,
  kPartSeparator = 185,
  kNoDash = 192,
  kStyleLabel = 213,
  kColourLabel = 12160,
  kWidthLabel = 12161,
  kUnnamedDash = 12166,
  kMixedWidths = 12169,
  kMixedDashes = 12170,
  kDotsUnit = 12216,
};
// DashDescription's answers that only choose the dash text.
constexpr HRESULT kDashWithoutDescription = 0x40223;
constexpr HRESULT kDifferentDashes = 0x4023F;

void AppendString(GUserText* text, HMODULE module, UINT id) {
  GUserText word;
  word.LoadStringResource(module, id);
  *text += word;
}

// A width in whole dots: truncated toward zero, clamped to the 32-bit range, NaN as 0.
int WholeDots(double width) {
  if (std::isnan(width)) return 0;
  if (width >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (width <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(width);
}

CIntLine* NewLine() {
  auto* line = new CIntLine;
  if (!line) return nullptr;
  line->AddRef();
  if (FAILED(line->Init())) {
    line->Release();
    return nullptr;
  }
  return line;
}

}  // namespace

JWorkbenchLinear::~JWorkbenchLinear() {
  ReleaseComponents();
  if (m_styleOwner) m_styleOwner->Release();
}

void JWorkbenchLinear::ReleaseComponents() {
  for (DWORD i = 0; i < m_capacity; ++i) {
    if (CIntLine* line = m_components[i]) {
      m_components[i] = nullptr;
      line->Release();
    }
  }
  std::free(m_components);
  m_components = nullptr;
  m_capacity = m_lastIndex = m_currentIndex = 0;
}

HRESULT JWorkbenchLinear::MakeComponents(DWORD count) {
  if (count == 0) count = 1;
  const DWORD capacity = (count + 3) / 4 * 4;
  if (capacity < count || capacity > 0x3FFFFFFFu / sizeof(CIntLine*)) return REPORT(E_OUTOFMEMORY);
  auto** array = static_cast<CIntLine**>(std::calloc(capacity, sizeof(CIntLine*)));
  if (!array) return REPORT(E_OUTOFMEMORY);
  for (DWORD i = 0; i < count; ++i) {
    array[i] = NewLine();
    if (!array[i]) {
      for (DWORD j = 0; j < i; ++j) array[j]->Release();
      std::free(array);
      return REPORT(E_OUTOFMEMORY);
    }
  }
  ReleaseComponents();
  m_components = array;
  m_capacity = capacity;
  m_lastIndex = count - 1;
  m_currentIndex = 0;
  return S_OK;
}

HRESULT JWorkbenchLinear::Init() {
  HRESULT hr = MakeComponents(1);
  if (FAILED(hr)) return hr;
  hr = JWorkbenchBase::Init();
  m_loaded = 0;
  m_newStyleMode = 1;
  if (IUnknown* owner = m_styleOwner) {
    m_styleOwner = nullptr;
    owner->Release();
  }
  return hr;
}

void* JWorkbenchLinear::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IWorkbenchLinear) || IsEqualIID(iid, IID_IWorkbenchTyped)) return &m_IWorkbenchLinearImp;
  void* found = JWorkbenchBase::GetInterface(iid);
  if (found && IsEqualIID(iid, IID_IUnknown) && EnsureLoaded() != S_OK) return nullptr;
  return found;
}

// ---- loading ----

HRESULT JWorkbenchLinear::InitNewStyle() {
  m_loaded = 0;
  m_newStyleMode = 1;
  m_type = STYLETYPE_Linear;
  Current()->SetStyleID(m_styleID);
  Current()->SetParentID(m_parentID);
  return S_OK;
}

HRESULT JWorkbenchLinear::LoadStyle() {
  m_loaded = 0;
  m_newStyleMode = 0;
  Current()->SetStyleID(m_styleID);
  Current()->SetParentID(m_parentID);
  return S_OK;
}

HRESULT JWorkbenchLinear::EnsureLoaded() {
  if (m_loaded) return S_OK;
  const HRESULT hr = Load();
  if (FAILED(hr)) return REPORT(hr);
  m_loaded = 1;
  return S_OK;
}

HRESULT JWorkbenchLinear::Load() {
  const DWORD id = m_newStyleMode ? m_parentID : m_styleID;
  StyleComPtr<IUnknown> style;
  HRESULT hr;
  if (m_librarian && IsValidID(id)) {
    hr = m_librarian->GetStyle(id, style.Put());
    if (FAILED(hr)) return REPORT(hr);
  } else if (m_styleObject) {
    hr = m_styleObject->QueryInterface(IID_IUnknown, style.PutVoid());
    if (FAILED(hr)) return REPORT(hr);
  }
  // An empty new style: one default line.
  if (!style) return S_OK;
  if (m_styleOwner) {
    m_styleOwner->Release();
    m_styleOwner = nullptr;
  }
  hr = GetStyleOwner(style.Get(), &m_styleOwner);
  if (FAILED(hr)) return REPORT(hr);

  StyleComPtr<IJStyleOverride> override;
  if (SUCCEEDED(style->QueryInterface(IID_IJStyleOverride, override.PutVoid())) && override) {
    StyleComPtr<IJStyleSetup2d> setup;
    hr = style->QueryInterface(IID_IJStyleSetup2d, setup.PutVoid());
    if (FAILED(hr)) return REPORT(hr);
    DWORD referencedID = kNoStyleID;
    hr = setup->GetReferencedStyleID(&referencedID);
    if (FAILED(hr)) return REPORT(hr);
    StyleComPtr<IUnknown> referenced;
    if (IsValidID(referencedID) && m_librarian) {
      hr = m_librarian->GetStyle(referencedID, referenced.Put());
    } else {
      StyleComPtr<IJStyleRender> render;
      hr = setup->GetReferencedStyle(render.Put());
      if (SUCCEEDED(hr) && render) hr = render->QueryInterface(IID_IUnknown, referenced.PutVoid());
    }
    if (FAILED(hr)) return REPORT(hr);
    // An override of nothing is one default line.
    if (!referenced) return S_OK;
    hr = referenced->QueryInterface(IID_IUnknown, style.PutVoid());
    if (FAILED(hr)) return REPORT(hr);
  }

  StyleComPtr<IJStyleMultiplexer> multiplexer;
  if (SUCCEEDED(style->QueryInterface(IID_IJStyleMultiplexer, multiplexer.PutVoid())) && multiplexer) {
    hr = LoadMultiplexer(multiplexer.Get(), override.Get());
  } else {
    hr = LoadSingle(id, style.Get(), override.Get());
  }
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT JWorkbenchLinear::OwnerLibrarian(IJSLLibrarian** out) {
  *out = nullptr;
  if (!m_styleOwner) return S_OK;
  const HRESULT hr = m_styleOwner->QueryInterface(IID_IJSLLibrarian2, reinterpret_cast<void**>(out));
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

namespace {

// An override's record and dash-type ID; the record's dash type is let go with the holder.
struct OverrideRecord {
  tagStyleOverride record{};
  DWORD dashTypeID = kNoStyleID;
  StyleComPtr<IJStyleDashTypeRender> dashType;
  HRESULT Read(IJStyleOverride* override) {
    HRESULT hr = override->GetData(&record);
    if (FAILED(hr)) return hr;
    if (record.flags & OVR_DASH_TYPE) *dashType.Put() = record.dashType;
    return override->GetDashTypeID(&dashTypeID);
  }
};

}  // namespace

HRESULT JWorkbenchLinear::LoadMultiplexer(IJStyleMultiplexer* multiplexer, IJStyleOverride* override) {
  DWORD count = 0;
  HRESULT hr = multiplexer->GetCount(&count);
  if (FAILED(hr)) return REPORT(hr);
  // An empty multiplexer is edited as one default line.
  hr = MakeComponents(count);
  if (FAILED(hr) || count == 0) return hr;
  OverrideRecord overrides;
  if (override) {
    hr = overrides.Read(override);
    if (FAILED(hr)) return REPORT(hr);
  }
  StyleComPtr<IJSLLibrarian> librarian;
  if (m_library) {
    hr = OwnerLibrarian(librarian.Put());
    if (FAILED(hr)) return hr;
  }
  for (DWORD i = 0; i < count; ++i) {
    CIntLine* line = m_components[i];
    if (librarian) {
      DWORD entryID = kNoStyleID;
      hr = multiplexer->GetEntryID(i, &entryID);
      if (SUCCEEDED(hr)) hr = line->LoadFromLibrary(entryID, librarian.Get());
      // The override's record counts for every line, but only on the library's road.
      if (SUCCEEDED(hr) && override) hr = line->ApplyOverride(&overrides.record, overrides.dashTypeID);
    } else {
      StyleComPtr<IJStyleRender> entry;
      hr = multiplexer->GetEntry(static_cast<LONG>(i), entry.Put());
      if (SUCCEEDED(hr)) hr = line->LoadFromObject(entry.Get());
    }
    if (FAILED(hr)) return REPORT(hr);
  }
  DWORD current = 0;
  hr = multiplexer->GetCurrentIndex(&current);
  if (FAILED(hr)) return REPORT(hr);
  m_currentIndex = current < count ? current : 0;
  return S_OK;
}

HRESULT JWorkbenchLinear::LoadSingle(DWORD id, IUnknown* style, IJStyleOverride* override) {
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr;
  if (IsValidID(id)) {
    hr = OwnerLibrarian(librarian.Put());
    if (FAILED(hr)) return hr;
  }
  // A style without an owner has no library to read its ID in: it is read as the object it is.
  if (librarian) {
    hr = Current()->LoadFromLibrary(id, librarian.Get());
    if (FAILED(hr)) return REPORT(hr);
    // A new style derived from its parent starts with no changes of its own.
    if (m_newStyleMode && id == m_parentID) Current()->ClearChangeMask();
  } else {
    hr = Current()->LoadFromObject(style);
    if (FAILED(hr)) return REPORT(hr);
  }
  if (!override) return S_OK;
  OverrideRecord overrides;
  hr = overrides.Read(override);
  if (SUCCEEDED(hr)) hr = Current()->ApplyOverride(&overrides.record, overrides.dashTypeID);
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

// ---- storing ----

HRESULT JWorkbenchLinear::GetCreator(bool library, CStylCreator** out) {
  if (!library) {
    m_plainCreator.SetPartOfMultiplexer(false);
    *out = &m_plainCreator;
    return S_OK;
  }
  // Without a library no part of the style could become an entry.
  if (!m_library && !m_librarian) return REPORT(E_FAIL);
  m_libraryCreator.SetLibraries(m_library, m_librarian);
  m_libraryCreator.SetPartOfMultiplexer(false);
  *out = &m_libraryCreator;
  return S_OK;
}

HRESULT JWorkbenchLinear::StoreStyle() {
  CStylCreator* creator = nullptr;
  HRESULT hr = GetCreator(true, &creator);
  if (SUCCEEDED(hr)) hr = BuildInto(creator);
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT JWorkbenchLinear::CreateStyleObject() {
  CStylCreator* creator = nullptr;
  HRESULT hr = GetCreator(false, &creator);
  if (SUCCEEDED(hr)) hr = BuildInto(creator);
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT JWorkbenchLinear::BuildInto(CStylCreator* creator) {
  HRESULT hr = EnsureLoaded();
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IUnknown> built;
  if (m_lastIndex != 0) {
    hr = BuildMultiplexer(creator, built.Put());
  } else {
    hr = Current()->BuildWith(creator);
    if (SUCCEEDED(hr)) hr = Current()->GetStyle(built.Put());
  }
  if (FAILED(hr)) return REPORT(hr);
  hr = SetStyleObject(built.Get());
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT JWorkbenchLinear::BuildMultiplexer(CStylCreator* creator, IUnknown** out) {
  StyleComPtr<IJStyleMultiplexer> multiplexer;
  HRESULT hr = CreateInProcessInstance(CLSID_JStyleMultiplexer, IID_IJStyleMultiplexer, multiplexer.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  hr = multiplexer->SetKind(kLineKind);
  if (SUCCEEDED(hr)) hr = multiplexer->SetCount(static_cast<LONG>(m_lastIndex + 1));
  if (FAILED(hr)) return REPORT(hr);
  creator->SetPartOfMultiplexer(true);
  const bool byID = creator->LibraryMode() == 1;
  if (byID) {
    StyleComPtr<IJManageStyle2> manage;
    hr = multiplexer->QueryInterface(IID_IJManageStyle2, manage.PutVoid());
    if (SUCCEEDED(hr)) hr = manage->SetLibrarian(m_librarian);
    if (FAILED(hr)) return REPORT(hr);
  }
  for (DWORD i = 0; i <= m_lastIndex; ++i) {
    CIntLine* line = m_components[i];
    hr = line->BuildWith(creator);
    if (FAILED(hr)) return REPORT(hr);
    if (byID) {
      DWORD id = kNoStyleID;
      line->GetStyleID(&id);
      hr = multiplexer->SetEntryID(static_cast<LONG>(i), id);
    } else {
      StyleComPtr<IUnknown> style;
      StyleComPtr<IJStyleRender> render;
      hr = line->GetStyle(style.Put());
      if (SUCCEEDED(hr) && style) hr = style->QueryInterface(IID_IJStyleRender, render.PutVoid());
      if (SUCCEEDED(hr)) hr = multiplexer->SetEntry(static_cast<LONG>(i), render.Get());
    }
    if (FAILED(hr)) return REPORT(hr);
  }
  hr = multiplexer->SetCurrentIndex(m_currentIndex);
  if (FAILED(hr)) return REPORT(hr);
  creator->SetPartOfMultiplexer(false);
  hr = multiplexer->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(out));
  return FAILED(hr) ? REPORT(hr) : S_OK;
}

HRESULT JWorkbenchLinear::ValidateEdits() {
  HRESULT hr = EnsureLoaded();
  if (FAILED(hr)) return REPORT(hr);
  for (DWORD i = 0; i <= m_lastIndex; ++i) {
    hr = m_components[i]->CheckSubWorkbenchIDs();
    if (FAILED(hr)) return REPORT(hr);
  }
  return S_OK;
}

HRESULT JWorkbenchLinear::OnStyleIDChanged(DWORD newID) {
  if (m_lastIndex == 0) Current()->SetStyleID(newID);
  return S_OK;
}

// ---- the description ----

HRESULT JWorkbenchLinear::BuildDescription() {
  HRESULT hr = EnsureLoaded();
  if (FAILED(hr)) return REPORT(hr);
  const HMODULE module = GetStyleServerInternals()->GetResourceModule();
  GUserText text;
  LPWSTR inherited = nullptr;
  LPCWSTR name = m_name;
  if ((!name || !*name) && IsValidID(m_parentID) && m_library) {
    // The library answers the nearest named ancestor's name, sized as it is.
    hr = AskStyleName(m_parentID, &inherited);
    if (FAILED(hr)) return REPORT(hr);
    name = inherited;
  }
  if (name && *name) {
    text = name;
    AppendString(&text, module, kValueSeparator);
  }
  StyleFreeText(inherited);
  AppendString(&text, module, kStyleLabel);
  AppendString(&text, module, kPartSeparator);

  DWORD colour = 0;
  hr = Current()->GetColor(&colour);
  if (FAILED(hr)) return REPORT(hr);
  GUserText colourName;
  hr = HGetNameFromColorRef(module, static_cast<LONG>(colour), &colourName);
  if (FAILED(hr)) return REPORT(hr);
  text += colourName;
  AppendString(&text, module, kValueSeparator);
  AppendString(&text, module, kColourLabel);
  AppendString(&text, module, kPartSeparator);

  hr = DescribeWidth(module, &text);
  if (FAILED(hr)) return hr;
  AppendString(&text, module, kValueSeparator);
  AppendString(&text, module, kWidthLabel);
  AppendString(&text, module, kPartSeparator);

  LPWSTR dash = nullptr;
  hr = DashDescription(&dash);
  if (FAILED(hr)) return REPORT(hr);
  if (hr == kDashWithoutDescription) {
    AppendString(&text, module, kUnnamedDash);
  } else if (hr == kDifferentDashes) {
    AppendString(&text, module, kMixedDashes);
  } else if (dash) {
    text += dash;
  } else {
    AppendString(&text, module, kNoDash);
  }
  StyleFreeText(dash);
  hr = SetDescriptionText(text.Wide());
  return FAILED(hr) ? hr : S_OK;
}

HRESULT JWorkbenchLinear::DescribeWidth(HMODULE module, GUserText* text) {
  double width = 0;
  HRESULT hr = (m_lastIndex == 0 ? Current() : m_components[0])->GetWidth(&width);
  if (FAILED(hr)) return REPORT(hr);
  for (DWORD i = 1; i <= m_lastIndex; ++i) {
    double other = 0;
    hr = m_components[i]->GetWidth(&other);
    if (FAILED(hr)) return REPORT(hr);
    // A flag, not a width of -1, tells widths apart: -1 is a width a line may have.
    if (!(std::fabs(other - width) < FLT_EPSILON)) {
      AppendString(text, module, kMixedWidths);
      return S_OK;
    }
  }
  DWORD units = 0;
  hr = Current()->GetUnits(&units);
  if (FAILED(hr)) return REPORT(hr);
  if (units == 13) {
    wchar_t dots[16];
    std::swprintf(dots, 16, L"%d ", WholeDots(width));
    *text += dots;
    AppendString(text, module, kDotsUnit);
    return S_OK;
  }
  BYTE format[20] = {};
  format[1] = 2;
  const DWORD one = 1;
  std::memcpy(format + 8, &one, sizeof one);
  std::memcpy(format + 16, &one, sizeof one);
  const DWORD limit = 61;
  GUserText written;
  hr = FormatUnit(1, width, &written, format, &limit, nullptr, nullptr);
  if (FAILED(hr)) return REPORT(hr);
  *text += written;
  return S_OK;
}

HRESULT JWorkbenchLinear::DashDescription(LPWSTR* out) {
  *out = nullptr;
  IUnknown* first = nullptr;
  StyleComPtr<IUnknown> firstStyle;
  for (DWORD i = 0; i <= m_lastIndex; ++i) {
    IUnknown* dash = m_lastIndex == 0 ? Current()->DashWorkbench() : m_components[i]->DashWorkbench();
    if (!dash) continue;
    StyleComPtr<IWorkbenchAdmin> admin;
    HRESULT hr = dash->QueryInterface(IID_IWorkbenchAdmin, admin.PutVoid());
    if (FAILED(hr)) return REPORT(hr);
    if (!first) {
      first = dash;
      if (m_lastIndex == 0) break;
      hr = admin->GetStyleObject(firstStyle.PutVoid(), IID_IUnknown);
      if (FAILED(hr)) return REPORT(hr);
      continue;
    }
    StyleComPtr<IUnknown> style;
    hr = admin->GetStyleObject(style.PutVoid(), IID_IUnknown);
    if (FAILED(hr)) return REPORT(hr);
    if (style.Get() != firstStyle.Get()) return kDifferentDashes;
  }
  if (!first) return S_OK;
  StyleComPtr<IWorkbenchAdmin> admin;
  HRESULT hr = first->QueryInterface(IID_IWorkbenchAdmin, admin.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  LPWSTR* description = nullptr;
  hr = admin->GetDescription(&description);
  if (FAILED(hr)) return REPORT(hr);
  if (!description || !*description) return kDashWithoutDescription;
  *out = StyleDupText(*description);
  return *out ? S_OK : REPORT(E_OUTOFMEMORY);
}

// ---- the list ----

HRESULT JWorkbenchLinear::AddComponent(DWORD* index) {
  if (!index) return REPORT(E_INVALIDARG);
  *index = 0;
  HRESULT hr = DetachFromParent();
  if (FAILED(hr)) return REPORT(hr);
  const DWORD added = m_lastIndex + 1;
  if (added >= m_capacity) {
    const DWORD capacity = m_capacity + 4;
    auto** grown = static_cast<CIntLine**>(std::calloc(capacity, sizeof(CIntLine*)));
    if (!grown) return REPORT(E_OUTOFMEMORY);
    std::memcpy(grown, m_components, m_capacity * sizeof(CIntLine*));
    std::free(m_components);
    m_components = grown;
    m_capacity = capacity;
  }
  CIntLine* line = NewLine();
  if (!line) return REPORT(E_OUTOFMEMORY);
  // The list grows only once the new line exists.
  m_components[added] = line;
  m_lastIndex = added;
  m_currentIndex = added;
  MarkEdited();
  *index = added;
  return S_OK;
}

HRESULT JWorkbenchLinear::SetCurrentComponent(DWORD index) {
  if (index > m_lastIndex) return REPORT(E_INVALIDARG);
  m_currentIndex = index;
  return S_OK;
}

HRESULT JWorkbenchLinear::DeleteComponent(DWORD index) {
  // The style no longer follows its parent, also when nothing is deleted.
  HRESULT hr = DetachFromParent();
  if (FAILED(hr)) return REPORT(hr);
  if (index > m_lastIndex) return S_OK;
  if (m_lastIndex == 0) {
    // The only line goes: one default line takes its place.
    hr = m_components[0]->Reset();
    if (FAILED(hr)) return REPORT(hr);
  } else {
    m_components[index]->Release();
    std::memmove(m_components + index, m_components + index + 1, (m_lastIndex - index) * sizeof(CIntLine*));
    m_components[m_lastIndex] = nullptr;
    --m_lastIndex;
  }
  m_currentIndex = 0;
  MarkEdited();
  return S_OK;
}

// ---- parents ----

HRESULT JWorkbenchLinear::AdoptStructure(JWorkbenchLinear* other) {
  if (other->m_lastIndex == m_lastIndex) return S_OK;
  HRESULT hr = MakeComponents(other->m_lastIndex + 1);
  if (FAILED(hr)) return hr;
  for (DWORD i = 0; i <= m_lastIndex; ++i) m_components[i]->AdoptValuesFrom(*other->m_components[i]);
  return S_FALSE;
}

HRESULT JWorkbenchLinear::OnParentChanged(IUnknown* parent) {
  // Only a linear workbench of this server has lines to give.
  JWorkbenchLinear* bench = WorkbenchOfClass<JWorkbenchLinear>(parent);
  if (!bench) return S_OK;
  HRESULT hr = EnsureLoaded();
  if (SUCCEEDED(hr)) hr = bench->EnsureLoaded();
  if (FAILED(hr)) return REPORT(hr);
  hr = AdoptStructure(bench);
  if (FAILED(hr)) return REPORT(hr);
  bool changed = hr == S_FALSE;
  for (DWORD i = 0; i <= m_lastIndex; ++i) {
    hr = m_components[i]->InheritChanged(bench->m_components[i]);
    if (FAILED(hr)) return REPORT(hr);
    changed = changed || hr == S_FALSE;
  }
  return changed ? S_FALSE : S_OK;
}

HRESULT JWorkbenchLinear::OnParentRemoved(IUnknown* parent) {
  JWorkbenchLinear* bench = WorkbenchOfClass<JWorkbenchLinear>(parent);
  if (!bench) return S_OK;
  HRESULT hr = EnsureLoaded();
  if (SUCCEEDED(hr)) hr = bench->EnsureLoaded();
  if (FAILED(hr)) return REPORT(hr);
  bool changed = false;
  // What the removed parent had set, this style now keeps as its own.
  StyleComPtr<IUnknown> former;
  hr = GetParentWorkbench(former.Put());
  if (FAILED(hr)) return REPORT(hr);
  JWorkbenchLinear* removed = WorkbenchOfClass<JWorkbenchLinear>(former.Get());
  if (removed && SUCCEEDED(removed->EnsureLoaded()) && removed->m_lastIndex == m_lastIndex) {
    for (DWORD i = 0; i <= m_lastIndex; ++i) {
      changed = m_components[i]->MergeChangeMask(removed->m_components[i]) == S_FALSE || changed;
    }
  }
  hr = AdoptStructure(bench);
  if (FAILED(hr)) return REPORT(hr);
  changed = changed || hr == S_FALSE;
  for (DWORD i = 0; i <= m_lastIndex; ++i) {
    hr = m_components[i]->InheritRemoved(bench->m_components[i]);
    if (FAILED(hr)) return REPORT(hr);
    changed = changed || hr == S_FALSE;
  }
  return changed ? S_FALSE : S_OK;
}

// ---- IWorkbenchLinear ----

template <class Operation>
HRESULT JWorkbenchLinear::Forward(Operation operation, bool setter) {
  HRESULT hr = EnsureLoaded();
  if (FAILED(hr)) return REPORT(hr);
  hr = operation(Current());
  if (FAILED(hr)) return REPORT(hr);
  if (setter) MarkEdited();
  return hr;
}

using LinearImp = JWorkbenchLinear::IWorkbenchLinearImp;

#define LINEAR_FORWARD(Name, Type, setter)                                                           \
  HRESULT STDMETHODCALLTYPE LinearImp::Name(Type value) {                                            \
    return Object()->Forward([value](CIntLine* line) { return line->Name(value); }, setter);         \
  }

LINEAR_FORWARD(GetUnits, DWORD*, false)
LINEAR_FORWARD(SetUnits, DWORD, true)
LINEAR_FORWARD(GetColor, DWORD*, false)
LINEAR_FORWARD(SetColor, DWORD, true)
LINEAR_FORWARD(SetColorFixed, BOOL, true)
LINEAR_FORWARD(GetColorFixed, BOOL*, false)
LINEAR_FORWARD(GetWidth, double*, false)
LINEAR_FORWARD(SetWidth, double, true)
LINEAR_FORWARD(SetWidthFixed, BOOL, true)
LINEAR_FORWARD(GetWidthFixed, BOOL*, false)
LINEAR_FORWARD(SetDashWorkbench, IUnknown*, true)
LINEAR_FORWARD(GetDashWorkbench, IUnknown**, false)
LINEAR_FORWARD(SetHeldCode, DWORD, true)
LINEAR_FORWARD(GetHeldCode, DWORD*, false)
LINEAR_FORWARD(SetHeldValue1, double, true)
LINEAR_FORWARD(GetHeldValue1, double*, false)
LINEAR_FORWARD(SetHeldValue2, double, true)
LINEAR_FORWARD(GetHeldValue2, double*, false)
LINEAR_FORWARD(SetOffset, double, true)
LINEAR_FORWARD(GetOffset, double*, false)
LINEAR_FORWARD(SetOffsetDirection, DWORD, true)
LINEAR_FORWARD(GetOffsetDirection, DWORD*, false)
LINEAR_FORWARD(GetLineCode1, DWORD*, false)
LINEAR_FORWARD(SetLineCode1, DWORD, true)
LINEAR_FORWARD(GetLineCode2, DWORD*, false)
LINEAR_FORWARD(SetLineCode2, DWORD, true)
LINEAR_FORWARD(GetLineCode3, DWORD*, false)
LINEAR_FORWARD(SetLineCode3, DWORD, true)
LINEAR_FORWARD(GetSkipFlag, DWORD*, false)
LINEAR_FORWARD(SetSkipFlag, DWORD, true)

#undef LINEAR_FORWARD

HRESULT STDMETHODCALLTYPE LinearImp::SetTerminatorWorkbench(BOOL first, IUnknown* workbench) {
  return Object()->Forward([=](CIntLine* line) { return line->SetTerminatorWorkbench(first, workbench); }, true);
}

HRESULT STDMETHODCALLTYPE LinearImp::GetTerminatorWorkbench(BOOL first, IUnknown** out) {
  return Object()->Forward([=](CIntLine* line) { return line->GetTerminatorWorkbench(first, out); }, false);
}

namespace {

HRESULT NotImplemented(JWorkbenchLinear* bench) {
  return bench->Forward([](CIntLine*) { return E_NOTIMPL; }, true);
}

}  // namespace

HRESULT STDMETHODCALLTYPE LinearImp::NotImplemented23(DWORD, DWORD) { return NotImplemented(Object()); }
HRESULT STDMETHODCALLTYPE LinearImp::NotImplemented24(DWORD*) { return NotImplemented(Object()); }
HRESULT STDMETHODCALLTYPE LinearImp::NotImplemented25(DWORD, DWORD) { return NotImplemented(Object()); }
HRESULT STDMETHODCALLTYPE LinearImp::NotImplemented26(DWORD*) { return NotImplemented(Object()); }
HRESULT STDMETHODCALLTYPE LinearImp::NotImplemented27(DWORD, DWORD) { return NotImplemented(Object()); }
HRESULT STDMETHODCALLTYPE LinearImp::NotImplemented28(DWORD*) { return NotImplemented(Object()); }

namespace {

// The list operations load the style first, as every operation of the interface does.
template <class Operation>
HRESULT Loaded(JWorkbenchLinear* bench, Operation operation) {
  const HRESULT hr = bench->EnsureLoaded();
  if (FAILED(hr)) return REPORT(hr);
  return operation();
}

}  // namespace

HRESULT STDMETHODCALLTYPE LinearImp::AddComponent(DWORD* index) {
  return Loaded(Object(), [&] { return Object()->AddComponent(index); });
}
HRESULT STDMETHODCALLTYPE LinearImp::SetCurrentComponent(DWORD index) {
  return Loaded(Object(), [&] { return Object()->SetCurrentComponent(index); });
}
HRESULT STDMETHODCALLTYPE LinearImp::GetCurrentComponent(DWORD* out) {
  return Loaded(Object(), [&] {
    if (!out) return REPORT(E_INVALIDARG);
    *out = Object()->CurrentIndex();
    return S_OK;
  });
}
HRESULT STDMETHODCALLTYPE LinearImp::GetComponentCount(DWORD* out) {
  return Loaded(Object(), [&] {
    if (!out) return REPORT(E_INVALIDARG);
    *out = Object()->ComponentCount();
    return S_OK;
  });
}
HRESULT STDMETHODCALLTYPE LinearImp::DeleteComponent(DWORD index) {
  return Loaded(Object(), [&] { return Object()->DeleteComponent(index); });
}

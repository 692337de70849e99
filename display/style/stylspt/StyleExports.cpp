// The H functions that create, add, find, activate and name styles. How they are exported: StyleExports.h.
#include "display/style/stylspt/StyleExports.h"
#include "display/style/stylspt/StyleExportHelpers.h"

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/StyleReport.h"
#include "host/halvorn/halvorn.h"
#include "services/daxutil/daxutil.h"

namespace {

constexpr char kSource[] = "STYLESPT";

// The librarian's answers passed through.
constexpr HRESULT kNameUnknown = static_cast<HRESULT>(0x80040221);
constexpr HRESULT kNoNameFound = 0x40223;

HRESULT LibrarianOf(IUnknown* document, StyleComPtr<IJSLLibrarian>& librarian) {
  return stylspt::TypedStyleSteps{&STYLETYPE_Linear, kSource}.Librarian(document, librarian);
}

// Adds `style` to the library as the add exports do. The object of an existing name, or of the entry made, goes
// to *outObject when asked for; nothing is written for a refusal. `created` says that the style is this call's
// own, which a refusal simply destroys; a caller's style goes to the engine instead.
HRESULT AddToLibrary(IJSLLibrarian* librarian, IUnknown* style, bool created, const GUID* type, LPCWSTR name,
                     DWORD parentID, DWORD* outID, IUnknown** outObject) {
  StyleRecord record{const_cast<LPWSTR>(name), nullptr, style, const_cast<GUID*>(type), parentID, 0};
  MarkObjectModified(librarian);
  DWORD id = kNoStyleID;
  HRESULT hr = librarian->AddStyle(&record, &id);
  if (FAILED(hr) || id == kNoStyleID) {
    const HRESULT refusal = REPORT(FAILED(hr) ? hr : E_FAIL);
    if (created) return refusal;
    const HRESULT told = NotifyObjectRegistration(style);
    return FAILED(told) ? REPORT(told) : refusal;
  }
  *outID = id;
  if (!outObject) return hr;
  // An equal unnamed style that was there first (0x40222) is handed out like a new one.
  const HRESULT got = librarian->GetStyle(id, outObject);
  if (FAILED(got)) REPORT(got);
  return created ? got : hr;
}

// The style of an existing name of the type, handed out in place of adding one: S_FALSE when there is none.
HRESULT HandOutExisting(IJSLLibrarian* librarian, const GUID* type, LPCWSTR name, DWORD* outID,
                        IUnknown** outObject) {
  DWORD id = kNoStyleID;
  if (!name || FAILED(librarian->FindStyleIDByName(name, type, &id)) || id == kNoStyleID) return S_FALSE;
  if (outObject) {
    const HRESULT hr = librarian->GetStyle(id, outObject);
    if (FAILED(hr)) return REPORT(hr);
  }
  *outID = id;
  return kStyleNameExists;
}

HRESULT NewSimpleDashType(const tagStyleSimpleDashTypeData* data, StyleComPtr<IJStyleSimpleDashType>& dash) {
  HRESULT hr = CreateInProcessInstanceOrFatal(CLSID_JStyleSimpleDashType, IID_IJStyleSimpleDashType,
                                              dash.PutVoid(), kSource, __LINE__);
  if (FAILED(hr)) return hr;
  hr = dash->SetData(data);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

// The name of a style in the library that owns it.
HRESULT NameInOwnerLibrary(IUnknown* style, LPWSTR buffer, DWORD* length) {
  if (!length) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = GetStyleOwnerLibrarian(style, librarian.Put());
  if (SUCCEEDED(hr) && !librarian) hr = E_NOINTERFACE;
  if (FAILED(hr)) return REPORT(hr);
  DWORD id = kNoStyleID;
  hr = librarian->FindStyleID(style, &id);
  if (FAILED(hr)) return REPORT(hr);
  hr = librarian->GetStyleName(id, buffer, length);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

// The name of a line's or an override's dash type; success without a name when it has none.
template <class Style>
HRESULT DashNameOf(Style* style, IUnknown* document, LPWSTR buffer, DWORD* length) {
  StyleComPtr<IJStyleDashTypeRender> dash;
  HRESULT hr = style->GetDashType(dash.Put());
  if (FAILED(hr)) return REPORT(hr);
  if (!dash) return hr;
  hr = HGetDashStyleName(document, dash.Get(), buffer, length);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

}  // namespace

// ---- creation and adding ----

HRESULT WINAPI HCreateStyle(IUnknown** out, IUnknown*, const CLSID* clsid, DWORD, void*) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  if (!clsid) return REPORT(E_INVALIDARG);
  return CreateInProcessInstanceOrFatal(*clsid, IID_IUnknown, reinterpret_cast<void**>(out), kSource, __LINE__);
}

HRESULT WINAPI HAddStyleToLibrary(DWORD* outID, IUnknown** outObject, IUnknown* document, IUnknown* style,
                                  const GUID* type, LPCWSTR name, DWORD parentID) {
  if (!outID) return REPORT(E_INVALIDARG);
  *outID = kNoStyleID;
  if (!style || !type) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  hr = HandOutExisting(librarian.Get(), type, name, outID, outObject);
  if (hr != S_FALSE) return hr;
  return AddToLibrary(librarian.Get(), style, false, type, name, parentID, outID, outObject);
}

HRESULT WINAPI HCreateStyleInLib(IUnknown* document, const CLSID* clsid, LPCWSTR name, const GUID* type,
                                 DWORD parentID, DWORD* outID, IUnknown** outObject) {
  if (!outID) return REPORT(E_INVALIDARG);
  *outID = kNoStyleID;
  if (outObject) *outObject = nullptr;
  if (!clsid || !type) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  hr = HandOutExisting(librarian.Get(), type, name, outID, outObject);
  if (hr != S_FALSE) return hr;
  StyleComPtr<IUnknown> created;
  hr = CreateInProcessInstanceOrFatal(*clsid, IID_IUnknown, created.PutVoid(), kSource, __LINE__);
  if (FAILED(hr)) return hr;
  return AddToLibrary(librarian.Get(), created.Get(), true, type, name, parentID, outID, outObject);
}

HRESULT WINAPI HCreateSimpleLineStyle(LPCWSTR first, LPCWSTR second, IUnknown* object,
                                      const tagStyleSimpleLineData* lineData,
                                      const tagStyleSimpleDashTypeData* dashData, IUnknown** out) {
  if (!lineData || !out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  StyleComPtr<IJSimpleLineMaker> maker;
  HRESULT hr = QueryClassExtension(&CLASSEXT_SimpleLineMaker, object, IID_IJSimpleLineMaker, maker.PutVoid());
  if (SUCCEEDED(hr) && !maker) hr = E_NOINTERFACE;
  if (FAILED(hr)) return REPORT(hr);

  BSTR firstText = SysAllocString(first);
  BSTR secondText = SysAllocString(second);
  StyleComPtr<IUnknown> made;
  hr = (first && !firstText) || (second && !secondText)
           ? E_OUTOFMEMORY
           : maker->MakeSimpleLine(firstText, secondText, made.Put());
  SysFreeString(firstText);
  SysFreeString(secondText);
  if (SUCCEEDED(hr) && !made) hr = E_FAIL;
  if (FAILED(hr)) return REPORT(hr);

  StyleComPtr<IJStyleSimpleLine> line;
  hr = made->QueryInterface(IID_IJStyleSimpleLine, line.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  MarkObjectModified(line.Get());
  hr = line->SetData(lineData);
  if (FAILED(hr)) return REPORT(hr);
  if (dashData) {
    StyleComPtr<IJStyleSimpleDashType> dash;
    hr = NewSimpleDashType(dashData, dash);
    if (FAILED(hr)) return hr;
    // The caller's dash description is the line's pattern.
    const HRESULT set = line->SetDashType(dash.Get());
    if (FAILED(set)) return REPORT(set);
  }
  *out = line.Detach();
  return hr;
}

HRESULT WINAPI HCreateSimpleDashTypeStyle(LPCWSTR, LPCWSTR, IUnknown*, const tagStyleSimpleDashTypeData* data,
                                          IUnknown** out) {
  if (!data || !out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  StyleComPtr<IJStyleSimpleDashType> dash;
  const HRESULT hr = NewSimpleDashType(data, dash);
  if (FAILED(hr)) return hr;
  *out = dash.Detach();
  return hr;
}

// ---- the steps shared by the find and activate exports of every type ----

namespace stylspt {

HRESULT TypedStyleSteps::Librarian(IUnknown* document, StyleComPtr<IJSLLibrarian>& librarian) const {
  const HRESULT hr = GetStyleLibrarian(document, librarian.Put());
  if (FAILED(hr)) return StyleReport(source, hr, __LINE__);
  return librarian ? hr : E_FAIL;
}

HRESULT TypedStyleSteps::Find(IUnknown* document, LPCWSTR name, IUnknown** out, bool reportObject) const {
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = Librarian(document, librarian);
  if (FAILED(hr)) return hr;
  DWORD id = kNoStyleID;
  hr = librarian->FindOrCreateStyleID(name, type, &id);
  if (FAILED(hr)) return StyleReport(source, hr, __LINE__);
  hr = librarian->GetStyle(id, out);
  if (FAILED(hr) && reportObject) StyleReport(source, hr, __LINE__);
  return hr;
}

HRESULT TypedStyleSteps::FindID(IUnknown* document, LPCWSTR name, DWORD* outID) const {
  StyleComPtr<IJSLLibrarian> librarian;
  const HRESULT hr = Librarian(document, librarian);
  if (FAILED(hr)) return hr;
  return librarian->FindOrCreateStyleID(name, type, outID);
}

HRESULT TypedStyleSteps::Active(IUnknown* document, IUnknown** out) const {
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = Librarian(document, librarian);
  if (FAILED(hr)) return hr;
  DWORD id = kNoStyleID;
  hr = librarian->GetActiveStyleID(type, &id, 1);
  if (FAILED(hr)) return StyleReport(source, hr, __LINE__);
  hr = librarian->GetStyle(id, out);
  if (FAILED(hr)) StyleReport(source, hr, __LINE__);
  return hr;
}

HRESULT TypedStyleSteps::ActiveID(IUnknown* document, DWORD* outID, bool report) const {
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = Librarian(document, librarian);
  if (FAILED(hr)) return hr;
  hr = librarian->GetActiveStyleID(type, outID, 1);
  if (FAILED(hr) && report) StyleReport(source, hr, __LINE__);
  return hr;
}

HRESULT TypedStyleSteps::SetActive(IUnknown* document, IUnknown* style) const {
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = Librarian(document, librarian);
  if (FAILED(hr)) return hr;
  MarkObjectModified(librarian.Get());
  DWORD id = kNoStyleID;
  hr = librarian->FindStyleID(style, &id);
  if (FAILED(hr)) return StyleReport(source, hr, __LINE__);
  hr = librarian->SetActiveStyleID(type, id);
  if (FAILED(hr)) StyleReport(source, hr, __LINE__);
  return hr;
}

HRESULT TypedStyleSteps::SetActiveID(IUnknown* document, DWORD id) const {
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = Librarian(document, librarian);
  if (FAILED(hr)) return hr;
  MarkObjectModified(librarian.Get());
  hr = librarian->SetActiveStyleID(type, id);
  if (FAILED(hr)) StyleReport(source, hr, __LINE__);
  return hr;
}

HRESULT ClassOf(IUnknown* style, CLSID* clsid) {
  StyleComPtr<IJPersist> persist;
  HRESULT hr = Ask(style, IID_IJPersist, persist);
  if (FAILED(hr)) return hr;
  return persist->GetClassID(clsid);
}

}  // namespace stylspt

// ---- finding by name, the active line style, objects of IDs ----

namespace {

constexpr stylspt::TypedStyleSteps kLinear{&STYLETYPE_Linear, kSource};
constexpr stylspt::TypedStyleSteps kDash{&STYLETYPE_Dash, kSource};

}  // namespace

HRESULT WINAPI HGetLinearStyle(IUnknown* document, LPWSTR name, IUnknown** out) {
  if (!document || !name || !out) return REPORT(E_INVALIDARG);
  return kLinear.Find(document, name, out, false);
}

HRESULT WINAPI HGetLinearStyle(IUnknown* document, LPWSTR name, DWORD* outID) {
  if (!document || !name || !outID) return REPORT(E_INVALIDARG);
  return kLinear.FindID(document, name, outID);
}

HRESULT WINAPI HGetDashStyle(IUnknown* document, LPCWSTR name, IUnknown** out) {
  if (!document || !name || !out) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  DWORD id = kNoStyleID;
  hr = librarian->FindOrCreateStyleID(name, &STYLETYPE_Dash, &id);
  // An unknown dash name is no failure of this form: *out keeps what the caller put there.
  if (hr == kNameUnknown) return S_OK;
  if (FAILED(hr)) return REPORT(hr);
  hr = librarian->GetStyle(id, out);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI HGetDashStyle(IUnknown* document, LPWSTR name, DWORD* outID) {
  if (!document || !name || !outID) return REPORT(E_INVALIDARG);
  return kDash.FindID(document, name, outID);
}

HRESULT WINAPI HSetActiveLinearStyle(IUnknown* document, IUnknown* style) {
  if (!style) return REPORT(E_INVALIDARG);
  return kLinear.SetActive(document, style);
}

HRESULT WINAPI HSetActiveLinearStyle(IUnknown* document, DWORD id) { return kLinear.SetActiveID(document, id); }

HRESULT WINAPI HGetActiveLinearStyle(IUnknown* document, IUnknown** out) {
  if (!out) return REPORT(E_INVALIDARG);
  return kLinear.Active(document, out);
}

HRESULT WINAPI HGetActiveLinearStyle(IUnknown* document, DWORD* outID) {
  if (!outID) return REPORT(E_INVALIDARG);
  return kLinear.ActiveID(document, outID, true);
}

HRESULT WINAPI HGetStyleFromID(IUnknown* document, DWORD id, IUnknown** out) {
  if (!out) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  hr = librarian->GetStyle(id, out);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

// ---- names ----

HRESULT WINAPI HGetLinearStyleName(IUnknown*, IUnknown* style, LPWSTR buffer, DWORD* length) {
  return NameInOwnerLibrary(style, buffer, length);
}

HRESULT WINAPI HGetDashStyleName(IUnknown*, IUnknown* style, LPWSTR buffer, DWORD* length) {
  return NameInOwnerLibrary(style, buffer, length);
}

HRESULT WINAPI HGetDashStyleName(IUnknown* document, DWORD id, LPWSTR buffer, DWORD* length) {
  if (!length) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  StyleComPtr<IUnknown> style;
  hr = librarian->GetStyle(id, style.Put());
  if (SUCCEEDED(hr) && !style) hr = E_FAIL;
  if (FAILED(hr)) return REPORT(hr);

  StyleComPtr<IJStyleSimpleLine> line;
  if (SUCCEEDED(style->QueryInterface(IID_IJStyleSimpleLine, line.PutVoid())) && line) {
    return DashNameOf(line.Get(), document, buffer, length);
  }
  StyleComPtr<IJStyleOverride> override;
  if (SUCCEEDED(style->QueryInterface(IID_IJStyleOverride, override.PutVoid())) && override) {
    return DashNameOf(override.Get(), document, buffer, length);
  }
  StyleComPtr<IJStyleDashTypeRender> dash;
  hr = style->QueryInterface(IID_IJStyleDashTypeRender, dash.PutVoid());
  if (FAILED(hr)) return hr;  // no line, no override, no dash type: nothing to name
  hr = librarian->GetStyleName(id, buffer, length);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI HGetStyleName(IUnknown* document, DWORD id, LPWSTR buffer, DWORD* length) {
  if (!length) return REPORT(E_INVALIDARG);
  const DWORD capacity = *length;
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  hr = librarian->GetStyleName(id, buffer, length);
  if (FAILED(hr)) return REPORT(hr);
  if (hr != kNoNameFound) return hr;

  // An unnamed style without named ancestors goes by the name of the style it refers to, one level deep.
  StyleComPtr<IUnknown> style;
  hr = librarian->GetStyle(id, style.Put());
  if (SUCCEEDED(hr) && !style) hr = E_FAIL;
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJStyleSetup2d> setup;
  if (FAILED(style->QueryInterface(IID_IJStyleSetup2d, setup.PutVoid())) || !setup) return kNoNameFound;
  DWORD referenced = kNoStyleID;
  hr = setup->GetReferencedStyleID(&referenced);
  if (FAILED(hr)) return REPORT(hr);
  if (referenced == kNoStyleID || referenced == kInvalidStyleID) return kNoNameFound;
  *length = capacity;
  hr = librarian->GetStyleName(referenced, buffer, length);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI HGetStyleNameFromPtr(IUnknown* document, IUnknown* style, LPWSTR buffer, DWORD* length) {
  if (!style || !length) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  DWORD id = kNoStyleID;
  hr = librarian->FindStyleID(style, &id);
  if (FAILED(hr)) return REPORT(hr);
  librarian.Reset();
  hr = HGetStyleName(document, id, buffer, length);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

// ---- override styles ----

namespace {

// Answered by the librarian's GetStyle for a name that its type's name table does not hold.
constexpr HRESULT kNameNotInTable = 0x40221;
// The locale in which the automation method of a style is asked for and called.
constexpr LCID kAutomationLocale = 0x800;

using stylspt::Answers;
using stylspt::Ask;

HRESULT ClassOf(IUnknown* style, CLSID* clsid) {
  const HRESULT hr = stylspt::ClassOf(style, clsid);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

// A record the librarian handed out, freed once, when the next one is asked for or when it goes.
class HeldRecord {
 public:
  explicit HeldRecord(IJSLLibrarian* librarian) : m_librarian(librarian) {}
  ~HeldRecord() { Free(); }
  HeldRecord(const HeldRecord&) = delete;
  HeldRecord& operator=(const HeldRecord&) = delete;

  StyleRecord** Put() {
    Free();
    return &m_record;
  }
  const StyleRecord* Get() const { return m_record; }
  void Free() {
    if (m_record) m_librarian->FreeStyleRecord(&m_record);
    m_record = nullptr;
  }

 private:
  IJSLLibrarian* m_librarian;
  StyleRecord* m_record = nullptr;
};

// What a new override is built on. For a plain style: the style. For an override: the style that override is
// built on (`innermost`), its record and, when asked, its second style; overrides do not nest.
struct OverrideBase {
  bool isOverride = false;
  StyleComPtr<IUnknown> innermost;
  tagStyleOverride record{};
  StyleComPtr<IJStyleDashTypeRender> dash;  // the record's dash type, held for the call; the record does not hold it
  StyleComPtr<IUnknown> second;

  IUnknown* BuildOn(IUnknown* base) const { return isOverride ? innermost.Get() : base; }
};

HRESULT ReadBase(IUnknown* base, bool withSecond, OverrideBase& out) {
  CLSID clsid = CLSID_NULL;
  HRESULT hr = ClassOf(base, &clsid);
  if (FAILED(hr)) return hr;
  if (!IsEqualCLSID(clsid, CLSID_JStyleOverride)) return S_OK;
  out.isOverride = true;

  StyleComPtr<IJStyleSetup2d> setup;
  hr = Ask(base, IID_IJStyleSetup2d, setup);
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJStyleRender> referenced;
  hr = setup->GetReferencedStyle(referenced.Put());
  if (SUCCEEDED(hr) && !referenced) hr = E_FAIL;  // an override built on nothing
  if (FAILED(hr)) return REPORT(hr);
  hr = Ask(referenced.Get(), IID_IUnknown, out.innermost);
  if (FAILED(hr)) return REPORT(hr);

  StyleComPtr<IJStyleOverride> override;
  hr = Ask(base, IID_IJStyleOverride, override);
  if (FAILED(hr)) return REPORT(hr);
  if (withSecond) override->GetOtherStyle(out.second.Put());  // a failure is no second style
  hr = override->GetData(&out.record);
  if (FAILED(hr)) return REPORT(hr);
  // GetData handed the dash type with a reference.
  if ((out.record.flags & OVR_DASH_TYPE) && out.record.dashType) *out.dash.Put() = out.record.dashType;
  return S_OK;
}

// An override of `base` whose only new value is the dash type (null: the override forces "no dash type").
HRESULT OverrideWithDash(IUnknown* document, const OverrideBase& from, IUnknown* base, IJStyleDashTypeRender* dash,
                         IUnknown** out) {
  tagStyleOverride record{};
  if (from.isOverride) HloadOverrideData(&from.record, &record);
  record.dashType = dash;
  record.flags |= OVR_DASH_TYPE;
  return HCreateOverrideStyle(document, &record, from.BuildOn(base), out, nullptr);
}

// A new unnamed dash type of the description in the document's library. The data is set before the dash type is
// added: the library hands out an equal unnamed style already there in place of a new one, and that style,
// which others use, must not take new data.
HRESULT NewLibraryDashType(IUnknown* document, const tagStyleSimpleDashTypeData* data,
                           StyleComPtr<IJStyleDashTypeRender>& dash) {
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  StyleComPtr<IJStyleSimpleDashType> made;
  hr = NewSimpleDashType(data, made);
  if (FAILED(hr)) return hr;
  DWORD id = kNoStyleID;
  StyleComPtr<IUnknown> added;
  hr = AddToLibrary(librarian.Get(), made.Get(), true, &STYLETYPE_Dash, nullptr, kNoStyleID, &id, added.Put());
  if (FAILED(hr)) return hr;
  if (!added) return REPORT(E_FAIL);
  hr = Ask(added.Get(), IID_IJStyleDashTypeRender, dash);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

// The ID form of an override export: the object form, then the ID the library gives its result.
template <class Data>
HRESULT OverrideID(IUnknown* document, Data data, IUnknown* base, DWORD* outID) {
  if (!outID) return REPORT(E_INVALIDARG);
  *outID = kNoStyleID;
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  StyleComPtr<IUnknown> made;
  hr = HGetOverrideStyle(document, data, base, made.Put());
  if (FAILED(hr)) return hr;
  hr = librarian->FindStyleID(made.Get(), outID);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

// Gives the override of an entry without a parent the ID of the style it is built on as parent.
HRESULT PatchParent(IJSLLibrarian* librarian, DWORD id, const StyleRecord* record) {
  if (!record || !record->styleObject) return S_OK;
  DWORD found = kNoStyleID;
  if (record->name && FAILED(librarian->FindStyleIDByName2(record->name, record->type, &found))) return S_OK;
  DWORD parent = kNoStyleID;
  if (SUCCEEDED(librarian->GetParentID(id, &parent)) && parent != kNoStyleID) return S_OK;

  StyleComPtr<IJStyleSetup2d> setup;
  StyleComPtr<IJStyleRender> referenced;
  if (!Answers(record->styleObject, IID_IJStyleOverride) ||
      FAILED(Ask(record->styleObject, IID_IJStyleSetup2d, setup)) ||
      FAILED(setup->GetReferencedStyle(referenced.Put())) || !referenced) {
    return S_OK;
  }
  // An override built on an override (or on a style that prepares records, as overrides do) has no parent.
  if (Answers(referenced.Get(), IID_IJStylePrerender) || Answers(referenced.Get(), IID_IJStyleOverride)) {
    return S_OK;
  }
  DWORD baseID = kNoStyleID;
  HRESULT hr = setup->GetReferencedStyleID(&baseID);
  if (FAILED(hr)) return REPORT(hr);
  if (baseID == kNoStyleID || baseID == kInvalidStyleID) return S_OK;
  hr = librarian->SetParentID(id, baseID);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

}  // namespace

HRESULT WINAPI HGetOverrideStyle(IUnknown* document, tagStyleOverride* data, IUnknown* base, IUnknown** out) {
  if (!data || !base || !out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  OverrideBase from;
  HRESULT hr = ReadBase(base, true, from);
  if (FAILED(hr)) return hr;
  if (!from.isOverride) return HCreateOverrideStyle(document, data, base, out, nullptr);
  // The caller's flagged values on top of the base override's.
  HloadOverrideData(data, &from.record);
  return HCreateOverrideStyle(document, &from.record, from.innermost.Get(), out, from.second.Get());
}

HRESULT WINAPI HGetOverrideStyle(IUnknown* document, tagStyleOverride* data, IUnknown* base, DWORD* outID) {
  return OverrideID(document, data, base, outID);
}

HRESULT WINAPI HGetOverrideStyle(IUnknown* document, tagStyleSimpleDashTypeData* dashData, IUnknown* base,
                                 IUnknown** out) {
  if (!base || !out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  OverrideBase from;
  HRESULT hr = ReadBase(base, false, from);
  if (FAILED(hr)) return hr;
  StyleComPtr<IJStyleDashTypeRender> dash;
  if (dashData && FAILED(hr = NewLibraryDashType(document, dashData, dash))) return hr;
  return OverrideWithDash(document, from, base, dash.Get(), out);
}

HRESULT WINAPI HGetOverrideStyle(IUnknown* document, tagStyleSimpleDashTypeData* dashData, IUnknown* base,
                                 DWORD* outID) {
  return OverrideID(document, dashData, base, outID);
}

HRESULT WINAPI HGetOverrideStyle(IUnknown* document, IJStyleDashTypeRender* dashType, IUnknown* base,
                                 IUnknown** out) {
  if (!base || !out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  OverrideBase from;
  const HRESULT hr = ReadBase(base, false, from);
  if (FAILED(hr)) return hr;
  return OverrideWithDash(document, from, base, dashType, out);
}

HRESULT WINAPI HGetOverrideStyle(IUnknown* document, IJStyleDashTypeRender* dashType, IUnknown* base,
                                 DWORD* outID) {
  return OverrideID(document, dashType, base, outID);
}

HRESULT WINAPI HCreateOverrideStyle(IUnknown* document, const tagStyleOverride* data, IUnknown* base,
                                    IUnknown** out, IUnknown* second) {
  if (!data || !base || !out) return REPORT(E_INVALIDARG);
  *out = nullptr;
  StyleComPtr<IUnknown> created;
  HRESULT hr = HCreateStyle(created.Put(), document, &CLSID_JStyleOverride, 0, nullptr);
  if (FAILED(hr)) return hr;

  // A base that prepares records (variant 2) is built on through its prerender interface; any other through
  // its render interface, and it becomes the new style's parent.
  StyleComPtr<IJStyleRender> table;
  hr = Ask(base, IID_IJStyleRender2, table);
  if (FAILED(hr)) return REPORT(hr);
  const bool prepares = table->GetVariant() == 2;
  StyleComPtr<IUnknown> builtOn;
  hr = Ask(base, prepares ? IID_IJStylePrerender : IID_IJStyleRender, builtOn);
  if (FAILED(hr)) return REPORT(hr);
  bool baseIsParent = !prepares;

  StyleComPtr<IJStyleOverride> override;
  hr = Ask(created.Get(), IID_IJStyleOverride, override);
  if (FAILED(hr)) return REPORT(hr);
  hr = override->SetData(data);
  if (FAILED(hr)) return REPORT(hr);
  if (second) {
    hr = override->SetOtherStyle(second);
    if (FAILED(hr)) return REPORT(hr);
    baseIsParent = false;
  }
  StyleComPtr<IJStyleRender> render;
  hr = Ask(created.Get(), IID_IJStyleRender, render);
  if (FAILED(hr)) return REPORT(hr);
  hr = render->SetReferencedStyle(builtOn.Get());
  if (FAILED(hr)) return REPORT(hr);

  StyleComPtr<IJSLLibrarian> librarian;
  hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  DWORD baseID = kNoStyleID;
  hr = librarian->FindStyleID(base, &baseID);
  if (FAILED(hr)) return REPORT(hr);
  HeldRecord baseRecord(librarian.Get());
  hr = librarian->GetStyleRecord(baseID, baseRecord.Put());
  if (SUCCEEDED(hr) && !baseRecord.Get()) hr = E_FAIL;
  if (FAILED(hr)) return REPORT(hr);
  StyleRecord record{nullptr, nullptr, created.Get(), baseRecord.Get()->type, baseIsParent ? baseID : kNoStyleID, 0};
  hr = MarkObjectModified(librarian.Get());
  if (FAILED(hr)) return REPORT(hr);
  DWORD id = kNoStyleID;
  hr = librarian->AddStyle(&record, &id);
  if (SUCCEEDED(hr) && id == kNoStyleID) hr = E_FAIL;
  if (FAILED(hr)) return REPORT(hr);
  // An equal unnamed override already there (0x40222) is handed out in place of the new one, which goes.
  hr = librarian->GetStyle(id, out);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI HloadOverrideData(const tagStyleOverride* source, tagStyleOverride* target) {
  if (!source || !target) return S_OK;
  const DWORD f = source->flags;
  if (f & OVR_COLOUR) target->colour = source->colour;
  if (f & OVR_FILL_COLOUR) target->fillColour = source->fillColour;
  if (f & OVR_WIDTH) target->width = source->width;
  if (f & OVR_SCALE) target->secondLength = source->secondLength;
  if (f & OVR_ROTATION) target->thirdLength = source->thirdLength;
  if (f & OVR_DASH_FLAG) target->dashGenerationFlag = source->dashGenerationFlag;
  if (f & OVR_FURTHER_LENGTH) target->fourthLength = source->fourthLength;
  if (f & OVR_VALUES) {
    target->firstValue = source->firstValue;
    target->secondValue = source->secondValue;
  }
  // Without a reference: whoever holds the source's dash type keeps holding it.
  if (f & OVR_DASH_TYPE) target->dashType = source->dashType;
  if (source->unitsCode != STYLE_UNITS_NONE) target->unitsCode = source->unitsCode;
  // The three codes' flags travel although their codes do not: callers rely on that.
  target->flags |= f;
  return S_OK;
}

HRESULT WINAPI HPatchOverrideParents(IJSLLibrarian* librarian) {
  if (!librarian) return REPORT(E_INVALIDARG);
  DWORD inUse = 0;
  HRESULT hr = librarian->GetStyleCount(&inUse);
  if (FAILED(hr)) return REPORT(hr);
  HeldRecord record(librarian);
  // Entries in use (S_OK) and deleted ones (S_FALSE) count as seen; a free slot (any other answer) does not.
  DWORD seen = 0;
  for (DWORD id = 1; seen < inUse && id != kInvalidStyleID; ++id) {
    record.Free();
    const HRESULT slot = librarian->IsDeletedSlot(id);
    if (slot != S_OK && slot != S_FALSE) continue;
    ++seen;
    if (slot == S_FALSE) continue;
    hr = librarian->GetStyleRecord(id, record.Put());
    if (FAILED(hr)) return REPORT(hr);
    hr = PatchParent(librarian, id, record.Get());
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT WINAPI HResetDashesOnLinearStyle(IUnknown* style) {
  if (!style) return REPORT(E_INVALIDARG);
  CLSID clsid = CLSID_NULL;
  HRESULT hr = ClassOf(style, &clsid);
  if (FAILED(hr)) return hr;
  if (IsEqualCLSID(clsid, CLSID_JStyleOverride)) {
    StyleComPtr<IJStyleOverride> override;
    hr = Ask(style, IID_IJStyleOverride, override);
    if (FAILED(hr)) return REPORT(hr);
    MarkObjectModified(override.Get());
    // Flag 0x80 without a dash type: the override now forces the absence of its parent's dash type.
    hr = override->SetDashType(nullptr);
  } else if (IsEqualCLSID(clsid, CLSID_JStyleSimpleLine)) {
    StyleComPtr<IJStyleSimpleLine> line;
    hr = Ask(style, IID_IJStyleSimpleLine, line);
    if (FAILED(hr)) return REPORT(hr);
    MarkObjectModified(line.Get());
    hr = line->SetDashType(nullptr);
  } else {
    return S_OK;
  }
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

HRESULT WINAPI HGetProxyStyle(IUnknown* document, LPCWSTR name, IUnknown* target, DWORD kind, DWORD,
                              tagStyleOverride, DWORD* out) {
  if (!document) return REPORT(E_INVALIDARG);
  if (!name || !target) return REPORT(E_INVALIDARG);
  StyleComPtr<IJSLLibrarian> librarian;
  HRESULT hr = LibrarianOf(document, librarian);
  if (FAILED(hr)) return hr;
  if (kind == 1 || kind == 3 || kind == 4) return kProxyKindNotOffered;
  if (kind != 2 || !out) return REPORT(E_INVALIDARG);
  *out = 0;
  DWORD id = kNoStyleID;
  hr = librarian->FindOrCreateStyleID(name, &STYLETYPE_Linear, &id);
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IUnknown> style;
  hr = librarian->GetStyle(id, style.Put());
  if (FAILED(hr)) return REPORT(hr);
  if (hr == kNameNotInTable) return hr;
  // No proxy object can be had, so no override of the style is built for one either: nothing is added.
  return kProxyKindNotOffered;
}

HRESULT WINAPI HSetStyleWritableAutomationFlag(IDispatch* style, IJSLLibrarian* librarian, const GUID* type) {
  if (!style || !librarian || !type) return REPORT(E_INVALIDARG);
  BOOL editable = FALSE;
  DWORD id = kNoStyleID;
  HRESULT hr;
  // Only whether the library knows the style matters, not why it does not.
  if (IsEqualGUID(*type, STYLETYPE_Dimension)) {
    StyleComPtr<IJManageStyle2> manage;
    hr = Ask(style, IID_IJManageStyle2, manage);
    if (FAILED(hr)) return REPORT(hr);
    StyleComPtr<IUnknown> identity;
    hr = Ask(manage.Get(), IID_IUnknown, identity);
    if (FAILED(hr)) return REPORT(hr);
    if (FAILED(librarian->FindStyleID(identity.Get(), &id))) id = kNoStyleID;
  } else if (FAILED(librarian->FindStyleID(style, &id))) {
    id = kNoStyleID;
  }

  if (id != kNoStyleID) {
    editable = !Answers(style, IID_IJStyleMultiplexer);
  } else if (IsEqualGUID(*type, STYLETYPE_TextChar) || IsEqualGUID(*type, STYLETYPE_TextPara)) {
    StyleComPtr<IJTextStyleEditable> text;
    if (SUCCEEDED(Ask(style, IID_IJTextStyleEditable, text))) {
      DWORD value = 0;
      hr = text->GetEditable(&value);
      if (FAILED(hr)) return REPORT(hr);
      editable = value != 0;
    }
  }

  DISPID method = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"SetIsEditable")};
  hr = style->GetIDsOfNames(IID_NULL, names, 1, kAutomationLocale, &method);
  if (FAILED(hr)) return REPORT(hr);
  if (hr != S_OK) return hr;
  VARIANT argument;
  VariantInit(&argument);
  argument.vt = VT_BOOL;
  argument.boolVal = editable ? VARIANT_TRUE : VARIANT_FALSE;
  DISPPARAMS params{&argument, nullptr, 1, 0};
  hr = style->Invoke(method, IID_NULL, kAutomationLocale, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
  if (FAILED(hr)) REPORT(hr);
  return hr;
}

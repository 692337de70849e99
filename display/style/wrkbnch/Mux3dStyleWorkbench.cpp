#include "display/style/wrkbnch/Mux3dStyleWorkbench.h"

#include "display/style/server.h"
#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/JStyleLib.h"
#include "display/style/styllib/StyleReport.h"
#include "display/style/styllib/StyleText.h"
#include "host/halvorn/halvorn.h"

namespace {

constexpr char kSource[] = "display/style/wrkbnch/mux3dwb";

// The lines' units code.
constexpr DWORD kLineUnits = 13;

void SetTriple(float* triple, COLORREF colour) {
  triple[0] = static_cast<float>(GetRValue(colour) * 0.003921569);
  triple[1] = static_cast<float>(GetGValue(colour) * 0.003921569);
  triple[2] = static_cast<float>(GetBValue(colour) * 0.003921569);
}

}  // namespace

Mux3dStyleWorkbench::Mux3dStyleWorkbench(IUnknown* outer) : UUnknown(outer) { IncrementLiveObjectCount(); }

Mux3dStyleWorkbench::~Mux3dStyleWorkbench() {
  StyleFreeText(m_name);
  ReleaseStyle();
  DecrementLiveObjectCount();
}

void* Mux3dStyleWorkbench::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IMux3dWrkBench)) return static_cast<IUnknown*>(&m_IMux3dWrkBenchImp);
  if (IsEqualIID(iid, IID_ICommonWrkBench)) return static_cast<IUnknown*>(&m_ICommonWrkBenchImp);
  return UUnknown::GetInterface(iid);
}

void Mux3dStyleWorkbench::ReleaseStyle() {
  m_styleID = 0;
  if (IUnknown* held = m_style) {
    m_style = nullptr;
    held->Release();
  }
}

// ---- name and colours ----

HRESULT Mux3dStyleWorkbench::SetName(LPCWSTR name) {
  if (name && !StyleReplaceText(&m_name, name)) return REPORT(E_OUTOFMEMORY);
  return S_OK;
}

HRESULT Mux3dStyleWorkbench::GetName(LPWSTR* out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = StyleDupText(m_name);
  if (m_name && !*out) return REPORT(E_OUTOFMEMORY);
  return S_OK;
}

HRESULT Mux3dStyleWorkbench::SetColour(COLORREF colour) {
  m_colour1 = m_colour2 = m_colour4 = m_colour5 = colour;
  m_colour3 = 0xFFFFFF;
  m_colour6 = 0;
  if (m_styleID == 0 || !m_style) return S_OK;
  return UpdateStyle();
}

HRESULT Mux3dStyleWorkbench::GetColour(COLORREF* out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = m_colour1;
  return S_OK;
}

void Mux3dStyleWorkbench::BuildRecords(Records* records) const {
  records->first = {kLineUnits, 2.0, m_colour1, 0, 0};
  records->second = {kLineUnits, 1.0, m_colour2, 0, 0};
  records->a = {3, m_colour1, 1, 0xFFFF, 1.0f};
  records->b = {};
  SetTriple(records->b.triples[0], m_colour4);
  SetTriple(records->b.triples[1], m_colour3);
  SetTriple(records->b.triples[2], m_colour5);
  SetTriple(records->b.triples[3], m_colour6);
  records->b.first = 1.0f;
  records->b.second = 1.0f;
  records->header = {1, 8, &records->a, &records->b, 0};
}

// ---- building the style ----

HRESULT Mux3dStyleWorkbench::CreateStyle(IUnknown* library) {
  if (!library) return REPORT(E_INVALIDARG);
  // Only the librarian is called, under either of its interfaces.
  StyleComPtr<IJSLLibrarian> librarian;
  if (FAILED(library->QueryInterface(IID_IJSLLibrarian, librarian.PutVoid())) &&
      FAILED(library->QueryInterface(IID_IJSLLibrarian2, librarian.PutVoid()))) {
    return REPORT(E_INVALIDARG);
  }
  if (!librarian) return REPORT(E_INVALIDARG);
  // What an earlier call built is let go: after a failure the workbench holds no style.
  ReleaseStyle();
  HRESULT hr;

  if (m_name) {
    DWORD found = 0;
    librarian->FindStyleIDByName(m_name, &STYLETYPE_Mux3d, &found);  // only the ID tells
    if (found != 0) {
      hr = librarian->GetStyle(found, &m_style);
      if (FAILED(hr)) {
        m_style = nullptr;
        return REPORT(hr);
      }
      m_styleID = found;
      return kMux3dStyleExists;
    }
  }

  Records records;
  BuildRecords(&records);
  StyleComPtr<IJMux3dStyle> multiplexer;
  hr = CreateInProcessInstance(CLSID_Mux3dStyle, IID_IJMux3dStyle, multiplexer.PutVoid());
  if (FAILED(hr)) return REPORT(hr);

  StyleComPtr<IJStyleRender> component;
  hr = AddLine(librarian.Get(), records.first, component.Put());
  if (FAILED(hr)) return hr;
  hr = multiplexer->SetFirstLine(component.Get());
  if (FAILED(hr)) return REPORT(hr);
  hr = AddLine(librarian.Get(), records.second, component.Put());
  if (FAILED(hr)) return hr;
  hr = multiplexer->SetSecondLine(component.Get());
  if (FAILED(hr)) return REPORT(hr);

  {
    StyleComPtr<IJMux3dAppearance> appearance;
    hr = CreateInProcessInstance(CLSID_Mux3dAppearance, IID_IJMux3dAppearance, appearance.PutVoid());
    if (FAILED(hr)) return REPORT(hr);
    hr = appearance->SetHeader(&records.header);
    if (FAILED(hr)) return REPORT(hr);
    hr = AddComponent(librarian.Get(), appearance.Get(), component.Put());
    if (FAILED(hr)) return hr;
  }
  hr = multiplexer->SetAppearance(component.Get());
  if (FAILED(hr)) return REPORT(hr);

  StyleComPtr<IUnknown> object;
  hr = multiplexer->QueryInterface(IID_IUnknown, object.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  GUID type = STYLETYPE_Mux3d;
  StyleRecord record{m_name, nullptr, object.Get(), &type, 0, 0};
  MarkObjectModified(librarian.Get());
  DWORD id = 0;
  hr = librarian->AddStyle(&record, &id);
  if (FAILED(hr)) return REPORT(hr);
  // A success without an ID added nothing the caller could be handed.
  if (id == 0) return REPORT(E_FAIL);
  hr = librarian->GetStyle(id, &m_style);
  if (FAILED(hr)) {
    m_style = nullptr;
    return REPORT(hr);
  }
  m_styleID = id;
  return S_OK;
}

HRESULT Mux3dStyleWorkbench::AddLine(IJSLLibrarian* librarian, const tagStyleSimpleLineData& data,
                                     IJStyleRender** out) {
  StyleComPtr<IJStyleSimpleLine> line;
  HRESULT hr = CreateOwnInstanceOrFatal(CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine, line.PutVoid(), kSource,
                                        __LINE__);
  if (FAILED(hr)) return hr;
  hr = line->SetData(&data);
  if (FAILED(hr)) return REPORT(hr);
  return AddComponent(librarian, line.Get(), out);
}

HRESULT Mux3dStyleWorkbench::AddComponent(IJSLLibrarian* librarian, IUnknown* component, IJStyleRender** out) {
  StyleComPtr<IUnknown> object;
  HRESULT hr = component->QueryInterface(IID_IUnknown, object.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  GUID type = STYLETYPE_Mux3d;
  StyleRecord record{nullptr, nullptr, object.Get(), &type, 0, 0};
  MarkObjectModified(librarian);
  DWORD id = 0;
  hr = librarian->AddStyle(&record, &id);
  // Without an entry the component has no library object to go into the multiplexer: the build stops.
  if (FAILED(hr) || id == 0) return REPORT(E_FAIL);
  StyleComPtr<IUnknown> stored;
  hr = librarian->GetStyle(id, stored.Put());
  if (FAILED(hr)) return REPORT(hr);
  if (!stored) return REPORT(E_FAIL);
  hr = stored->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(out));
  if (FAILED(hr)) return REPORT(hr);
  return S_OK;
}

// ---- recolouring the style built ----

namespace {

// A component of the 3D multiplexer (from one of its getters) under the interface its record goes through.
template <class T>
HRESULT TakeComponent(IJMux3dStyle* multiplexer, HRESULT (STDMETHODCALLTYPE IJMux3dStyle::*getter)(IUnknown**),
                      REFIID iid, T** out) {
  *out = nullptr;
  StyleComPtr<IUnknown> component;
  HRESULT hr = (multiplexer->*getter)(component.Put());
  if (FAILED(hr)) return REPORT(hr);
  if (!component) return REPORT(E_FAIL);
  hr = component->QueryInterface(iid, reinterpret_cast<void**>(out));
  if (FAILED(hr)) return REPORT(hr);
  return S_OK;
}

}  // namespace

HRESULT Mux3dStyleWorkbench::UpdateStyle() {
  Records records;
  BuildRecords(&records);
  StyleComPtr<IJMux3dStyle> multiplexer;
  // A style found by name may be of another kind: it is left alone.
  HRESULT hr = m_style->QueryInterface(IID_IJMux3dStyle, multiplexer.PutVoid());
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJStyleSimpleLine> line;
  hr = TakeComponent(multiplexer.Get(), &IJMux3dStyle::GetFirstLine, IID_IJStyleSimpleLine, line.Put());
  if (FAILED(hr)) return hr;
  hr = line->SetData(&records.first);
  if (FAILED(hr)) return REPORT(hr);
  hr = TakeComponent(multiplexer.Get(), &IJMux3dStyle::GetSecondLine, IID_IJStyleSimpleLine, line.Put());
  if (FAILED(hr)) return hr;
  hr = line->SetData(&records.second);
  if (FAILED(hr)) return REPORT(hr);
  StyleComPtr<IJMux3dAppearance> appearance;
  hr = TakeComponent(multiplexer.Get(), &IJMux3dStyle::GetAppearance, IID_IJMux3dAppearance, appearance.Put());
  if (FAILED(hr)) return hr;
  hr = appearance->SetHeader(&records.header);
  if (FAILED(hr)) return REPORT(hr);
  return S_OK;
}

// ---- handing out the style ----

HRESULT Mux3dStyleWorkbench::GetCreatedStyleID(DWORD* out) {
  if (!out) return REPORT(E_INVALIDARG);
  *out = m_styleID;
  return S_OK;
}

HRESULT Mux3dStyleWorkbench::QueryStyle(REFIID iid, void** out) {
  if (!out || !m_style) return S_OK;
  if (IsEqualIID(iid, IID_IUnknown)) {
    m_style->AddRef();
    *out = m_style;
    return S_OK;
  }
  const HRESULT hr = m_style->QueryInterface(iid, out);
  if (FAILED(hr)) return REPORT(hr);
  return S_OK;
}

// ---- the interfaces ----

using WrkBenchImp = Mux3dStyleWorkbench::IMux3dWrkBenchImp;

HRESULT STDMETHODCALLTYPE WrkBenchImp::SetName(LPCWSTR name) { return Object()->SetName(name); }
HRESULT STDMETHODCALLTYPE WrkBenchImp::GetName(LPWSTR* out) { return Object()->GetName(out); }
HRESULT STDMETHODCALLTYPE WrkBenchImp::NoEffect17(DWORD) { return S_OK; }
HRESULT STDMETHODCALLTYPE WrkBenchImp::NoEffect18(DWORD) { return S_OK; }
HRESULT STDMETHODCALLTYPE WrkBenchImp::SetColour(COLORREF colour) { return Object()->SetColour(colour); }
HRESULT STDMETHODCALLTYPE WrkBenchImp::GetColour(COLORREF* out) { return Object()->GetColour(out); }
HRESULT STDMETHODCALLTYPE WrkBenchImp::NoEffect21(DWORD) { return S_OK; }
HRESULT STDMETHODCALLTYPE WrkBenchImp::NoEffect22(DWORD) { return S_OK; }
HRESULT STDMETHODCALLTYPE WrkBenchImp::NoEffect23(DWORD, DWORD, DWORD) { return S_OK; }

using CommonImp = Mux3dStyleWorkbench::ICommonWrkBenchImp;

HRESULT STDMETHODCALLTYPE CommonImp::CreateStyle(IUnknown* library) { return Object()->CreateStyle(library); }
HRESULT STDMETHODCALLTYPE CommonImp::GetCreatedStyleID(DWORD* out) { return Object()->GetCreatedStyleID(out); }
HRESULT STDMETHODCALLTYPE CommonImp::QueryStyle(REFIID iid, void** out) { return Object()->QueryStyle(iid, out); }

#include "tests/wrkbnch/offset_line_double.h"

#include <gtest/gtest.h>

#include <new>

#include "display/style/stylesrv_clsid.h"
#include "host/pellow/pellow.h"

// The interpreter compiled into the test makes its styles and workbenches as the server does (CreateInProcessInstance).
HRESULT CreateInProcessInstance(REFCLSID clsid, REFIID iid, void** out) {
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  HMODULE server = GetModuleHandleA("stylesrv.dll");
  auto getClassObject = server ? reinterpret_cast<GetClassObjectFn>(
                                     reinterpret_cast<void (*)()>(GetProcAddress(server, "DllGetClassObject")))
                               : nullptr;
  IClassFactory* factory = nullptr;
  if (getClassObject && SUCCEEDED(getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
    const HRESULT hr = factory->CreateInstance(nullptr, iid, out);
    factory->Release();
    return hr;
  }
  return JCoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, out, 1);
}

namespace wrkbnch_test {

namespace {

class OffsetLine final : public IJStyleOLG, public IJStyleRender {
 public:
  OffsetLine() { OffsetLineReferences().push_back(nullptr); m_slot = OffsetLineReferences().size() - 1; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IJStyleOLG)) *out = static_cast<IJStyleOLG*>(this);
    if (IsEqualIID(iid, IID_IJStyleRender)) *out = static_cast<IJStyleRender*>(this);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG refs = --m_refs;
    if (refs == 0) delete this;
    return refs;
  }

  HRESULT STDMETHODCALLTYPE SetOffset(double offset) override {
    return Set(&m_data.offset, offset);
  }
  HRESULT STDMETHODCALLTYPE GetOffset(double* out) override { return Answer(out, m_data.offset); }
  HRESULT STDMETHODCALLTYPE SetUnits(DWORD code) override {
    return Set(&m_data.unitsCode, code);
  }
  HRESULT STDMETHODCALLTYPE GetUnits(DWORD* out) override { return Answer(out, m_data.unitsCode); }
  HRESULT STDMETHODCALLTYPE SetData(const OLGData*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetData(OLGData*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetMode(DWORD mode) override { return Set(&m_data.mode, mode); }
  HRESULT STDMETHODCALLTYPE GetMode(DWORD* out) override { return Answer(out, m_data.mode); }

  DWORD STDMETHODCALLTYPE GetVariant() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetRangeWithContext(StyleExtent*, const RenderContextScales*, IJStyleRender*,
                                                const tagStyleOverride*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetReferencedStyle(IUnknown* style) override {
    IJStyleRender* render = nullptr;
    if (style && FAILED(style->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&render)))) {
      return E_NOINTERFACE;
    }
    if (m_referenced) m_referenced->Release();
    m_referenced = render;
    IUnknown* identity = nullptr;
    if (render && SUCCEEDED(render->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)))) {
      identity->Release();
    }
    OffsetLineReferences()[m_slot] = identity;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetStyleKind(DWORD* out) override { return Answer(out, DWORD{2}); }
  HRESULT STDMETHODCALLTYPE GetReferencedStyle(IJStyleRender** out) override {
    if (!out) return E_INVALIDARG;
    *out = m_referenced;
    if (*out) (*out)->AddRef();
    return S_OK;
  }
  // Nothing draws an offset line here.
  HRESULT STDMETHODCALLTYPE GetFixedQuery1(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFixedQuery2(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFixedQuery3(DWORD, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RenderWithContext(const StyleGeometryRecord*, IRenderTarget2d*, const RenderContextScales*,
                                              IJStyleRender*, const tagStyleOverride*,
                                              const StyleElementRecord*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetExtentDelta(StyleExtent*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ApplyToGraphic(tagStyleOverride*) override { return E_NOTIMPL; }

 private:
  ~OffsetLine() {
    if (m_referenced) m_referenced->Release();
  }
  template <class T>
  static HRESULT Set(T* field, T set) {
    *field = set;
    return S_OK;
  }
  template <class T>
  static HRESULT Answer(T* out, T value) {
    if (!out) return E_INVALIDARG;
    *out = value;
    return S_OK;
  }
  ULONG m_refs = 0;
  OLGData m_data{13, 0.0, 1};
  IJStyleRender* m_referenced = nullptr;  // a reference
  std::size_t m_slot = 0;
};

class OffsetLineFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
    *out = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* line = new (std::nothrow) OffsetLine;
    if (!line) return E_OUTOFMEMORY;
    line->AddRef();
    const HRESULT hr = line->QueryInterface(iid, out);
    static_cast<IJStyleOLG*>(line)->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

OffsetLineFactory g_factory;

}  // namespace

std::vector<IUnknown*>& OffsetLineReferences() {
  static std::vector<IUnknown*> references;
  return references;
}

HRESULT MakeOffsetLine(double offset, DWORD mode, IUnknown* referenced, IUnknown** out) {
  IJStyleOLG* line = nullptr;
  HRESULT hr = g_factory.CreateInstance(nullptr, IID_IJStyleOLG, reinterpret_cast<void**>(&line));
  if (FAILED(hr)) return hr;
  line->SetOffset(offset);
  line->SetMode(mode);
  IJStyleRender* render = nullptr;
  line->QueryInterface(IID_IJStyleRender, reinterpret_cast<void**>(&render));
  hr = render->SetReferencedStyle(referenced);
  render->Release();
  *out = line;
  return hr;
}

OffsetLineClass::OffsetLineClass() {
  EXPECT_EQ(CoRegisterClassObject(CLSID_JStyleOLG, &g_factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &m_cookie),
            S_OK);
}

OffsetLineClass::~OffsetLineClass() {
  if (m_cookie) CoRevokeClassObject(m_cookie);
}

}  // namespace wrkbnch_test

#include "host/app/mux3d_components.h"

#include <new>

#include "host/app/graphic_element.h"
#include "host/app/host_double.h"

namespace host_app {

namespace {

// What both components share: the reference count, the live count of the doubles, and a style's part in a
// library (its owner and ID, equal to itself alone). Itf is the component's own interface.
template <class Itf>
class Mux3dComponent : public Itf, public IJManageStyle2 {
 public:
  Mux3dComponent() { CountLiveObject(1); }

  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++m_refs); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG refs = --m_refs;
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
  }

  HRESULT STDMETHODCALLTYPE CopyFrom(IUnknown*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsSameStyle(IUnknown* other, BOOL* same) override {
    if (!same) return E_INVALIDARG;
    *same = IdentityOf(other) == Identity();
    return S_OK;
  }
  BOOL STDMETHODCALLTYPE IsFlagWordClear() override { return TRUE; }
  HRESULT STDMETHODCALLTYPE SetID(DWORD id) override {
    m_id = id;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetID(WORD* n, DWORD* id) override {
    if (n) *n = 0;
    if (!id) return E_INVALIDARG;
    *id = m_id;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetFlagWord(WORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetOwner(IUnknown** out) override {
    if (!out) return E_INVALIDARG;
    *out = m_librarian;
    if (*out) (*out)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetLibrarian(IUnknown* librarian) override {
    m_librarian = librarian;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ReleaseStyleRefs(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnumStyleRefs(StyleRefCallback) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE CopyStyleToLibrary(IJSLLibrarian*, IJSLLibrarian*, IUnknown*, DWORD*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetStyleCategory(GUID* out) override {
    if (!out) return E_INVALIDARG;
    *out = STYLETYPE_Mux3d;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnStyleChanged(DWORD, DWORD) override { return S_OK; }

 protected:
  virtual ~Mux3dComponent() { CountLiveObject(-1); }
  IUnknown* Identity() { return static_cast<Itf*>(this); }
  // IUnknown, Itf (under itfID) and IJManageStyle2; false for any other IID.
  bool FindCommon(REFIID iid, REFIID itfID, void** out) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, itfID)) {
      *out = static_cast<Itf*>(this);
    } else if (IsEqualIID(iid, IID_IJManageStyle2)) {
      *out = static_cast<IJManageStyle2*>(this);
    } else {
      return false;
    }
    AddRef();
    return true;
  }

 private:
  LONG m_refs = 0;
  IUnknown* m_librarian = nullptr;  // the owning library, without a reference (it holds this style)
  DWORD m_id = 0;
};

class Mux3dStyle final : public Mux3dComponent<IJMux3dStyle> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    return FindCommon(iid, IID_IJMux3dStyle, out) ? S_OK : E_NOINTERFACE;
  }

  HRESULT STDMETHODCALLTYPE SetFirstLine(IJStyleRender* line) override { return Set(3, line); }
  HRESULT STDMETHODCALLTYPE GetFirstLine(IUnknown** out) override { return Get(3, out); }
  HRESULT STDMETHODCALLTYPE NotCalled5() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotCalled6() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetSecondLine(IJStyleRender* line) override { return Set(7, line); }
  HRESULT STDMETHODCALLTYPE GetSecondLine(IUnknown** out) override { return Get(7, out); }
  HRESULT STDMETHODCALLTYPE NotCalled9() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE NotCalled10() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetAppearance(IJStyleRender* appearance) override { return Set(11, appearance); }
  HRESULT STDMETHODCALLTYPE GetAppearance(IUnknown** out) override { return Get(11, out); }

 private:
  ~Mux3dStyle() override {
    for (IUnknown* component : m_components) {
      if (component) component->Release();
    }
  }
  // The setter's slot 3, 7 or 11 keeps its component at index 0, 1 or 2.
  HRESULT Set(int slot, IJStyleRender* component) {
    Mux3dComponentCalls().sets.push_back({Identity(), slot, IdentityOf(component)});
    IUnknown*& held = m_components[slot / 4];
    if (component) component->AddRef();
    if (held) held->Release();
    held = component;
    return S_OK;
  }
  HRESULT Get(int slot, IUnknown** out) {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    IUnknown* held = m_components[slot / 4];
    if (!held) return S_OK;
    return held->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(out));
  }

  IUnknown* m_components[3] = {};  // each a reference
};

class Mux3dAppearance final : public Mux3dComponent<IJMux3dAppearance>, public IJStyleRender {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (FindCommon(iid, IID_IJMux3dAppearance, out)) return S_OK;
    if (!IsEqualIID(iid, IID_IJStyleRender)) return E_NOINTERFACE;
    *out = static_cast<IJStyleRender*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Mux3dComponent::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return Mux3dComponent::Release(); }

  HRESULT STDMETHODCALLTYPE SetHeader(const Mux3dAppearanceHeader* header) override {
    if (!header || !header->a || !header->b) return E_POINTER;
    Mux3dComponentCalls().copies.push_back({Identity(), *header, *header->a, *header->b});
    return S_OK;
  }

  // What the library may ask of a style of the type; nothing draws an appearance here.
  DWORD STDMETHODCALLTYPE GetVariant() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetRangeWithContext(StyleExtent*, const RenderContextScales*, IJStyleRender*,
                                                const tagStyleOverride*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetReferencedStyle(IUnknown*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetStyleKind(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetReferencedStyle(IJStyleRender**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFixedQuery1(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFixedQuery2(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFixedQuery3(DWORD, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RenderWithContext(const StyleGeometryRecord*, IRenderTarget2d*,
                                              const RenderContextScales*, IJStyleRender*, const tagStyleOverride*,
                                              const StyleElementRecord*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetExtentDelta(StyleExtent*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ApplyToGraphic(tagStyleOverride*) override { return E_NOTIMPL; }

 private:
  ~Mux3dAppearance() override = default;
};

HostClassFactory g_styleFactory([]() -> IUnknown* {
  return static_cast<IJMux3dStyle*>(new (std::nothrow) Mux3dStyle);
});
HostClassFactory g_appearanceFactory([]() -> IUnknown* {
  return static_cast<IJMux3dAppearance*>(new (std::nothrow) Mux3dAppearance);
});

}  // namespace

Mux3dComponentLog& Mux3dComponentCalls() {
  static Mux3dComponentLog log;
  return log;
}

HRESULT RegisterMux3dStyleClass(DWORD* cookie) {
  return g_styleFactory.Register(CLSID_Mux3dStyle, cookie);
}

HRESULT RegisterMux3dAppearanceClass(DWORD* cookie) {
  return g_appearanceFactory.Register(CLSID_Mux3dAppearance, cookie);
}

}  // namespace host_app

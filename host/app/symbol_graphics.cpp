#include "host/app/symbol_graphics.h"

#include <algorithm>
#include <new>

#include "host/app/host_double.h"
#include "host/sithe/sithe.h"

namespace host_app {
namespace {

// Answered by the doubles with their own object, without a reference.
constexpr IID kGroupSelf = {0x3E1B7A41, 0x5C2D, 0x4F10, {0x9A, 0x61, 0x2B, 0x7C, 0x44, 0x0D, 0x81, 0x5E}};
constexpr IID kSegmentSelf = {0x3E1B7A42, 0x5C2D, 0x4F10, {0x9A, 0x61, 0x2B, 0x7C, 0x44, 0x0D, 0x81, 0x5E}};

volatile LONG g_live = 0;

// Reference counting and the graphic operations both doubles share.
template <class Derived>
class Counted : public IJGraphic {
 public:
  Counted() { InterlockedIncrement(&g_live); }
  virtual ~Counted() { InterlockedDecrement(&g_live); }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
  }
  HRESULT STDMETHODCALLTYPE GetGraphicType(DWORD* out) override {
    if (!out) return E_INVALIDARG;
    *out = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Notify(DWORD, DWORD, DWORD, IUnknown*) override { return S_FALSE; }

 protected:
  template <class Itf>
  HRESULT Answer(Itf* itf, void** out) {
    *out = itf;
    AddRef();
    return S_OK;
  }

 private:
  volatile LONG m_refs = 1;
};

void Widen(GraphicRange* range, double x, double y) {
  range->xmin = std::min(range->xmin, x);
  range->ymin = std::min(range->ymin, y);
  range->xmax = std::max(range->xmax, x);
  range->ymax = std::max(range->ymax, y);
}

class Segment final : public Counted<Segment>, public IJHostLineGeometry, public IJStyledElement {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IJGraphic)) return Answer<IJGraphic>(this, out);
    if (IsEqualIID(iid, IID_IJHostLineGeometry)) return Answer<IJHostLineGeometry>(this, out);
    if (IsEqualIID(iid, IID_IJStyledElement)) return Answer<IJStyledElement>(this, out);
    if (IsEqualIID(iid, kSegmentSelf)) {
      *out = this;
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Counted::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return Counted::Release(); }

  HRESULT STDMETHODCALLTYPE Draw(GraphicDrawContext* context) override {
    if (!context) return E_INVALIDARG;
    if (!context->display) return S_OK;
    IRenderTarget2d* target = nullptr;
    HRESULT hr = context->display->QueryInterface(IID_IRenderTarget2d, reinterpret_cast<void**>(&target));
    if (FAILED(hr)) return hr;
    const double points[6] = {state.geometry.start[0], state.geometry.start[1], 0.0,
                              state.geometry.end[0],   state.geometry.end[1],   0.0};
    hr = target->DrawPolyline(2, points);
    target->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetRange(GraphicRange* range, StyleExtent* extent) override {
    if (range) {
      *range = GraphicRange{state.geometry.start[0], state.geometry.start[1], 0.0,
                            state.geometry.start[0], state.geometry.start[1], 0.0};
      Widen(range, state.geometry.end[0], state.geometry.end[1]);
    }
    if (extent) *extent = StyleExtent{};
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetGeometry(const QuarnetGeometry2d* geometry) override {
    if (!geometry) return E_INVALIDARG;
    state.geometry = *geometry;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetStyleID(DWORD id) override {
    state.styleID = id;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetStyleID(DWORD* id) override {
    if (!id) return E_INVALIDARG;
    *id = state.styleID;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumStyleIDs(StyledElementIDCallback callback) override {
    return callback && state.styleID ? callback(state.styleID) : S_OK;
  }

  SegmentState state{};
};

class Group final : public Counted<Group>, public IJHostGroupMembers {
 public:
  ~Group() override {
    for (IUnknown* member : members) member->Release();
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IJGraphic)) return Answer<IJGraphic>(this, out);
    if (IsEqualIID(iid, IID_IJHostGroupMembers)) return Answer<IJHostGroupMembers>(this, out);
    if (IsEqualIID(iid, kGroupSelf)) {
      *out = this;
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return Counted::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return Counted::Release(); }

  HRESULT STDMETHODCALLTYPE Draw(GraphicDrawContext* context) override {
    for (IUnknown* member : members) {
      IJGraphic* graphic = nullptr;
      if (FAILED(member->QueryInterface(IID_IJGraphic, reinterpret_cast<void**>(&graphic)))) continue;
      const HRESULT hr = graphic->Draw(context);
      graphic->Release();
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetRange(GraphicRange* range, StyleExtent* extent) override {
    bool first = true;
    for (IUnknown* member : members) {
      IJGraphic* graphic = nullptr;
      if (FAILED(member->QueryInterface(IID_IJGraphic, reinterpret_cast<void**>(&graphic)))) continue;
      GraphicRange part{};
      graphic->GetRange(&part, nullptr);
      graphic->Release();
      if (range && first) *range = part;
      if (range && !first) {
        Widen(range, part.xmin, part.ymin);
        Widen(range, part.xmax, part.ymax);
      }
      first = false;
    }
    if (extent) *extent = StyleExtent{};
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE AddMember(IUnknown* object) override {
    if (!object) return E_INVALIDARG;
    object->AddRef();
    members.push_back(object);
    return S_OK;
  }

  std::vector<IUnknown*> members;
};


host_app::HostFactoryOf<Group> g_groupFactory;
host_app::HostFactoryOf<Segment> g_segmentFactory;

}  // namespace

HRESULT RegisterSymbolGraphicClasses(SymbolGraphicClasses* cookies) {
  if (!cookies) return E_INVALIDARG;
  HRESULT hr = CoRegisterClassObject(CLSID_HostGraphicGroup, &g_groupFactory, CLSCTX_INPROC_SERVER,
                                     REGCLS_MULTIPLEUSE, &cookies->groupCookie);
  if (FAILED(hr)) return hr;
  hr = CoRegisterClassObject(CLSID_HostLineSegment, &g_segmentFactory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                             &cookies->lineCookie);
  if (FAILED(hr)) CoRevokeClassObject(cookies->groupCookie);
  return hr;
}

void RevokeSymbolGraphicClasses(const SymbolGraphicClasses& cookies) {
  CoRevokeClassObject(cookies.lineCookie);
  CoRevokeClassObject(cookies.groupCookie);
}

LONG SymbolGraphicsLive() { return g_live; }

bool ReadSegment(IUnknown* object, SegmentState* out) {
  void* self = nullptr;
  if (!object || !out || FAILED(object->QueryInterface(kSegmentSelf, &self)) || !self) return false;
  *out = static_cast<Segment*>(self)->state;
  return true;
}

std::vector<IUnknown*> GroupMembers(IUnknown* object) {
  void* self = nullptr;
  if (!object || FAILED(object->QueryInterface(kGroupSelf, &self)) || !self) return {};
  return static_cast<Group*>(self)->members;
}

}  // namespace host_app

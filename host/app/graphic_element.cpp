#include "host/app/graphic_element.h"

#include <algorithm>
#include <initializer_list>
#include <cfloat>

#include "host/halvorn/elements.h"
#include "host/sithe/sithe.h"

namespace host_app {
namespace {

volatile LONG g_liveObjects = 0;

// Elements are called from whichever thread draws.
struct CallLog {
  SRWLOCK lock = SRWLOCK_INIT;
  std::vector<ElementCall> calls;
};

CallLog& Log() {
  static CallLog log;
  return log;
}

class GraphicElement final : public IJGraphic,
                             public IJStyleUser,
                             public IJPersist,
                             public IJStyledElement,
                             public IJManageStyle2,
                             public IJElementStyleCopy {
 public:
  explicit GraphicElement(const GraphicElementSetup& setup) : m_setup(setup) { CountLiveObject(1); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IJGraphic)) {
      *out = static_cast<IJGraphic*>(this);
    } else if (IsEqualIID(iid, IID_IJStyleUser) && m_setup.styleUser) {
      *out = static_cast<IJStyleUser*>(this);
    } else if (IsEqualIID(iid, IID_IJPersist)) {
      *out = static_cast<IJPersist*>(this);
    } else if (IsEqualIID(iid, IID_IJStyledElement) && m_setup.styled) {
      *out = static_cast<IJStyledElement*>(this);
    } else if (IsEqualIID(iid, IID_IJManageStyle2) && m_setup.managed) {
      *out = static_cast<IJManageStyle2*>(this);
    } else if (IsEqualIID(iid, IID_IJElementStyleCopy) && m_setup.copiesStyles) {
      *out = static_cast<IJElementStyleCopy*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG refs = InterlockedDecrement(&m_refs);
    if (refs == 0) delete this;
    return static_cast<ULONG>(refs);
  }

  // ---- IJGraphic ----
  HRESULT STDMETHODCALLTYPE GetGraphicType(DWORD* out) override {
    if (!out) return E_INVALIDARG;
    *out = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Notify(DWORD, DWORD, DWORD, IUnknown*) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE Draw(GraphicDrawContext* context) override {
    Record(ElementOp::Draw, context, 0);
    if (!context) return E_INVALIDARG;
    if (!m_setup.capture.empty()) return DrawIntoCapture(*context);
    if (!context->display || m_setup.points.size() < 3) return S_OK;
    IRenderTarget2d* target = nullptr;
    HRESULT hr = context->display->QueryInterface(IID_IRenderTarget2d, reinterpret_cast<void**>(&target));
    if (FAILED(hr)) return hr;
    hr = target->DrawPolyline(static_cast<DWORD>(m_setup.points.size() / 3), m_setup.points.data());
    target->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetRange(GraphicRange* range, StyleExtent* extent) override {
    Record(ElementOp::GetRange, range, 0);
    if (range && m_setup.hasRange) *range = m_setup.range;
    if (extent) *extent = m_setup.extent;
    return S_OK;
  }

  // ---- IJStyleUser ----
  HRESULT STDMETHODCALLTYPE CopyStyleUse(IUnknown* sourceLibrary, IUnknown* targetLibrarian, IUnknown* targetDocument,
                                         IUnknown* source, DWORD value) override {
    Record(ElementOp::CopyStyleUse, sourceLibrary, value, {targetLibrarian, targetDocument, source});
    return m_setup.copyStyleUseResult;
  }
  HRESULT STDMETHODCALLTYPE AnnounceOwner(IUnknown* owner, DWORD* out) override {
    Record(ElementOp::AnnounceOwner, owner, 0);
    if (out) *out = 0;
    return m_setup.announceResult;
  }
  BOOL STDMETHODCALLTYPE UsesStyleID(DWORD id) override {
    Record(ElementOp::UsesStyleID, nullptr, id);
    const std::vector<DWORD>& used = m_setup.usedStyleIDs;
    return std::find(used.begin(), used.end(), id) != used.end();
  }

  // ---- IJPersist ----
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* out) override {
    if (!out) return E_INVALIDARG;
    *out = CLSID_HostGraphicElement;
    return S_OK;
  }
  void* STDMETHODCALLTYPE GetImplementation() override { return this; }
  HRESULT STDMETHODCALLTYPE Load(JArchive*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Store(JArchive*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(IUnknown* outer, IUnknown** out) override {
    Record(ElementOp::Clone, outer, 0);
    if (!out) return E_INVALIDARG;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    *out = static_cast<IJGraphic*>(new GraphicElement(m_setup));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE InitNew() override { return S_OK; }

  // ---- IJStyledElement ----
  HRESULT STDMETHODCALLTYPE SetStyleID(DWORD id) override {
    Record(ElementOp::SetStyleID, nullptr, id);
    m_setup.styleID = id;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetStyleID(DWORD* id) override {
    if (!id) return E_INVALIDARG;
    *id = m_setup.styleID;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumStyleIDs(StyledElementIDCallback callback) override {
    if (!callback) return E_INVALIDARG;
    return m_setup.styleID ? callback(m_setup.styleID) : S_OK;
  }

  // ---- IJManageStyle2, as a library keeps its styles ----
  HRESULT STDMETHODCALLTYPE CopyFrom(IUnknown*, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsSameStyle(IUnknown* other, BOOL* same) override {
    if (!other || !same) return E_INVALIDARG;
    IJPersist* persist = nullptr;
    CLSID clsid{};
    *same = FALSE;
    if (SUCCEEDED(other->QueryInterface(IID_IJPersist, reinterpret_cast<void**>(&persist)))) {
      if (SUCCEEDED(persist->GetClassID(&clsid)) && IsEqualCLSID(clsid, CLSID_HostGraphicElement)) {
        *same = static_cast<GraphicElement*>(persist->GetImplementation())->m_setup.points == m_setup.points;
      }
      persist->Release();
    }
    return S_OK;
  }
  BOOL STDMETHODCALLTYPE IsFlagWordClear() override { return TRUE; }
  HRESULT STDMETHODCALLTYPE SetID(DWORD id) override {
    m_libraryID = id;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetID(WORD* n, DWORD* id) override {
    if (!id && !n) return E_INVALIDARG;
    if (id) {
      *id = m_libraryID;
    } else {
      *n = 1;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetFlagWord(WORD) override { return S_OK; }
  // The library is kept without a reference, as styles keep it.
  HRESULT STDMETHODCALLTYPE GetOwner(IUnknown** out) override {
    if (!out) return E_INVALIDARG;
    *out = m_owner;
    if (m_owner) m_owner->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetLibrarian(IUnknown* librarian) override {
    m_owner = librarian;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ReleaseStyleRefs(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnumStyleRefs(StyleRefCallback) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE CopyStyleToLibrary(IJSLLibrarian*, IJSLLibrarian* target, IUnknown*,
                                               DWORD* newID) override {
    if (!target || !newID) return E_INVALIDARG;
    *newID = 0;
    GraphicElement* copy = new GraphicElement(m_setup);
    GUID type = m_setup.category;
    StyleRecord record{nullptr, nullptr, static_cast<IJGraphic*>(copy), &type, 0, 0};
    const HRESULT hr = target->AddStyleNoCreate(&record, newID);
    copy->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetStyleCategory(GUID* out) override {
    if (!out) return E_INVALIDARG;
    *out = m_setup.category;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnStyleChanged(DWORD, DWORD) override { return S_FALSE; }

  // ---- IJElementStyleCopy ----
  HRESULT STDMETHODCALLTYPE CopyStylesTo(IUnknown* sourceLibrarian, IUnknown* targetLibrarian,
                                         IUnknown* targetContainer, IUnknown* copy) override {
    Record(ElementOp::CopyStylesTo, sourceLibrarian, 0, {targetLibrarian, targetContainer, copy});
    return m_setup.copyStylesResult;
  }

 private:
  ~GraphicElement() { CountLiveObject(-1); }

  // The filter of a capture's draw context is the fill's capture filter, reached by its place, not by
  // QueryInterface.
  HRESULT DrawIntoCapture(const GraphicDrawContext& context) {
    if (!context.filter || !context.display) return E_INVALIDARG;
    SymbolCaptureRecord* record = nullptr;
    HRESULT hr = static_cast<IJStyleSymbolFillFilter*>(context.filter)->GetCaptureRecord(&record);
    if (FAILED(hr)) return hr;
    double transform[16];
    ISitheRecording* display = nullptr;
    hr = context.display->QueryInterface(IID_ISitheRecording, reinterpret_cast<void**>(&display));
    if (FAILED(hr)) return hr;
    display->GetDisplayTransform(transform);
    display->Release();
    for (const CaptureStep& step : m_setup.capture) {
      HRESULT answer = S_OK;
      if (step.kind == CaptureStep::Hook) {
        step.hook();
      } else if (step.kind != CaptureStep::Primitive) {
        answer = record->callback(step.kind == CaptureStep::Attributes ? &step.attributes : nullptr);
      } else {
        std::vector<double> mapped = step.points;
        for (std::size_t i = 0; i + 2 < mapped.size(); i += 3) {
          if (mapped[i] == DBL_MAX) continue;  // an outline separator stays one
          const double in[4] = {mapped[i], mapped[i + 1], mapped[i + 2], 1.0};
          for (int j = 0; j < 3; ++j) {
            mapped[i + j] = 0.0;
            for (int k = 0; k < 4; ++k) mapped[i + j] += in[k] * transform[4 * k + j];
          }
        }
        StylePointRun run{mapped.data(), step.count ? step.count : static_cast<DWORD>(mapped.size() / 3), {}};
        StyleGeometryRecord primitive{};
        primitive.word0 = step.oneOutline ? 0x10000 : 0;
        primitive.pointList = step.withoutPointList ? nullptr : &run;
        answer = record->geometry->CapturePrimitive(&primitive, 0, 0, 0, 0, 0);
      }
      if (m_setup.answers) m_setup.answers->push_back(answer);
    }
    return m_setup.drawResult;
  }

  void Record(ElementOp op, const void* argument, DWORD value, std::initializer_list<const void*> more = {}) {
    ElementCall call{static_cast<IJGraphic*>(this), op, argument, value, {}};
    std::copy(more.begin(), more.end(), call.more);
    CallLog& log = Log();
    AcquireSRWLockExclusive(&log.lock);
    log.calls.push_back(call);
    ReleaseSRWLockExclusive(&log.lock);
  }

  volatile LONG m_refs = 1;
  GraphicElementSetup m_setup;
  DWORD m_libraryID = 0;
  IUnknown* m_owner = nullptr;
};

}  // namespace

IUnknown* CreateGraphicElement(const GraphicElementSetup& setup) {
  return static_cast<IJGraphic*>(new GraphicElement(setup));
}

IUnknown* CreatePolylineElement(const std::vector<double>& points, bool styleUser,
                                const std::vector<DWORD>& usedStyleIDs) {
  GraphicElementSetup setup;
  setup.points = points;
  setup.range = {DBL_MAX, DBL_MAX, DBL_MAX, -DBL_MAX, -DBL_MAX, -DBL_MAX};
  for (std::size_t i = 0; i + 2 < points.size(); i += 3) {
    setup.range.xmin = std::min(setup.range.xmin, points[i]);
    setup.range.ymin = std::min(setup.range.ymin, points[i + 1]);
    setup.range.zmin = std::min(setup.range.zmin, points[i + 2]);
    setup.range.xmax = std::max(setup.range.xmax, points[i]);
    setup.range.ymax = std::max(setup.range.ymax, points[i + 1]);
    setup.range.zmax = std::max(setup.range.zmax, points[i + 2]);
  }
  setup.hasRange = points.size() >= 3;
  setup.styleUser = styleUser;
  setup.usedStyleIDs = usedStyleIDs;
  return CreateGraphicElement(setup);
}

std::vector<ElementCall> ElementCalls() {
  CallLog& log = Log();
  AcquireSRWLockShared(&log.lock);
  std::vector<ElementCall> calls = log.calls;
  ReleaseSRWLockShared(&log.lock);
  return calls;
}

std::vector<IUnknown*> ElementsCalled(ElementOp op) {
  std::vector<IUnknown*> elements;
  for (const ElementCall& call : ElementCalls()) {
    if (call.op == op) elements.push_back(call.element);
  }
  return elements;
}

void ClearElementCalls() {
  CallLog& log = Log();
  AcquireSRWLockExclusive(&log.lock);
  log.calls.clear();
  ReleaseSRWLockExclusive(&log.lock);
}

DWORD ElementStyleID(IUnknown* element) {
  IJStyledElement* styled = nullptr;
  if (!element || FAILED(element->QueryInterface(IID_IJStyledElement, reinterpret_cast<void**>(&styled)))) return 0;
  DWORD id = 0;
  styled->GetStyleID(&id);
  styled->Release();
  return id;
}

LONG LiveObjects() { return g_liveObjects; }

void CountLiveObject(LONG delta) { InterlockedExchangeAdd(&g_liveObjects, delta); }

}  // namespace host_app

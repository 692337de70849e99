// What the line style tests share: styles made through stylesrv.dll's class objects, a dash type that records
// what a line hands it, a point list with separators, and a render target whose DrawPolyline answers a chosen
// result.
#pragma once

#include <cfloat>
#include <string>
#include <vector>

#include "display/style/stylesrv_clsid.h"
#include "tests/bases/test_styles.h"

inline constexpr char kSimpleLineSource[] = "SIMPLLIN";
inline constexpr char kOverrideSource[] = "OVERRIDE";
inline constexpr char kSolidLineSource[] = "linsolid";

// The engine keeps the current record version of every class it stores; the tests tell it the line styles'.
void RegisterLineVersions();

// An object of a class of stylesrv.dll, asked for `iid`; one reference, null (and a failure) when there is none.
IUnknown* NewObject(REFCLSID clsid, REFIID iid);

template <class T>
T* NewStyle(REFCLSID clsid, REFIID iid) {
  return static_cast<T*>(NewObject(clsid, iid));
}

// Another interface of an object, with a reference.
template <class T>
StyleComPtr<T> Query(IUnknown* object, REFIID iid) {
  T* raw = nullptr;
  if (!object || FAILED(object->QueryInterface(iid, reinterpret_cast<void**>(&raw)))) {
    ADD_FAILURE() << "interface missing";
    raw = nullptr;
  }
  return StyleComPtr<T>(raw);
}

// A dash type that records every run a line hands it, with the record it came with.
class RecordingDash final : public IJStyleDashTypeRender {
 public:
  struct Run {
    DWORD count = 0;
    bool record = false;            // a record was handed
    bool recordHasDashType = false;  // it still carried a dash type (pointer or flag)
    DWORD colour = 0;
    double width = 0;
    DWORD fitRequest = 0;
    DWORD targetCalls = 0;  // calls the target had recorded before
    std::vector<double> points;  // of the run, three f64 each
    double phase = 0;            // the element record's
  };
  // With one reference.
  static RecordingDash* Create(ISitheRecording* recording = nullptr);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE NotOffered3(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetExtents(StyleExtent* extent, const RenderContextScales*, DWORD,
                                       const tagStyleOverride*) override;
  HRESULT STDMETHODCALLTYPE RenderDashes(const StylePointRun* run, IRenderTarget2d* target,
                                         const RenderContextScales* context, DWORD fitRequest,
                                         const tagStyleOverride* record, const StyleElementRecord* element,
                                         DWORD colour, double width) override;

  std::vector<Run> runs;
  HRESULT answer = S_OK;
  StyleExtent extent{};  // what GetExtents raises the caller's extent to

 private:
  ISitheRecording* m_recording = nullptr;
  ULONG m_refs = 1;
};

// A point that separates runs.
inline constexpr double kSep = -DBL_MAX;

// A render context whose three scales are 1.
inline RenderContextScales UnitScales() { return Scales(1.0, 1.0, 1.0); }

// A render record with nothing set.
inline tagStyleOverride EmptyRecord() {
  tagStyleOverride record{};
  record.recordCode = kStyleOverrideRecordCode;
  return record;
}

// The point counts of every DrawPolyline the target recorded, in order.
std::vector<DWORD> PolylineCounts(const TestTarget& target);
// The colours of every SetPenColor, in order.
std::vector<DWORD> PenColours(const TestTarget& target);
// The widths of every SetPenWidth, in order.
std::vector<double> PenWidths(const TestTarget& target);

// A render target that records nothing and answers `drawAnswer` to DrawPolyline.
class AnsweringTarget final : public IRenderTarget2d {
 public:
  explicit AnsweringTarget(HRESULT drawAnswer) : m_drawAnswer(drawAnswer) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE SetPenColor(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetPenWidth(double) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetDashPattern(DWORD, const double*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DrawPolyline(DWORD, const double*) override {
    ++draws;
    return m_drawAnswer;
  }
  HRESULT STDMETHODCALLTYPE SetFillColor(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE FillArea(DWORD, const double*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DrawLine(const double*, const double*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE BeginDrawing(DWORD, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DrawBitmap(double, double, HBITMAP, HBITMAP, double, DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetFirstCode(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetThirdCode(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE SetSecondCode(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetRenderMode(DWORD* mode) override {
    *mode = 0;
    return S_OK;
  }
#define ANSWERING_SLOT(n) \
  HRESULT STDMETHODCALLTYPE Slot##n() override { return E_NOTIMPL; }
  ANSWERING_SLOT(4) ANSWERING_SLOT(5) ANSWERING_SLOT(6) ANSWERING_SLOT(9) ANSWERING_SLOT(10) ANSWERING_SLOT(11)
  ANSWERING_SLOT(12) ANSWERING_SLOT(13)
  ANSWERING_SLOT(20) ANSWERING_SLOT(21) ANSWERING_SLOT(22) ANSWERING_SLOT(23) ANSWERING_SLOT(24)
  ANSWERING_SLOT(25) ANSWERING_SLOT(26) ANSWERING_SLOT(27) ANSWERING_SLOT(28) ANSWERING_SLOT(29) ANSWERING_SLOT(32)
  ANSWERING_SLOT(33) ANSWERING_SLOT(34) ANSWERING_SLOT(35) ANSWERING_SLOT(36)
#undef ANSWERING_SLOT
  int draws = 0;

 private:
  HRESULT m_drawAnswer;
};

inline constexpr char kMuxSource[] = "MUX";
inline constexpr char kSimpleMuxSource[] = "SIMPLMUX";

// A line style of any kind for the multiplexers' entries: it draws as the test line style does, answers the
// extent and the drawing result the test sets, and notes whether each drawing call brought the caller's record.
class EntryStyle final : public TestLineStyle {
 public:
  // With one reference.
  static EntryStyle* Create(DWORD kind, DWORD colour = 0) {
    auto* style = new EntryStyle;
    style->m_styleKind = kind;
    style->colour = colour;
    style->width = 1.0;
    style->AddRef();
    return style;
  }
  STYLE_DECLARE_DELETING_DESTRUCTOR(EntryStyle)

  HRESULT Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target, const RenderContextScales* context,
                 IJStyleRender* substitute, tagStyleOverride* record, BOOL recordGiven,
                 const StyleElementRecord* element) override {
    given.push_back(recordGiven != FALSE);
    const HRESULT hr = TestLineStyle::Render(geometry, target, context, substitute, record, recordGiven, element);
    return FAILED(answer) ? answer : hr;
  }
  HRESULT GetExtentDelta(StyleExtent* extent) override {
    *extent = delta;
    return S_OK;
  }

  HRESULT answer = S_OK;
  StyleExtent delta{};
  std::vector<bool> given;

 private:
  EntryStyle() = default;
  ~EntryStyle() = default;
};

// The entry IDs of a multiplexer, in order.
std::vector<DWORD> EntryIDs(IJStyleMultiplexer* mux);

#include "tests/lines/line_fixtures.h"

void RegisterLineVersions() {
  ArchiveRegisterClassVersion(&CLSID_JStyleSimpleLine, 3);
  ArchiveRegisterClassVersion(&CLSID_JStyleOverride, 3);
  ArchiveRegisterClassVersion(&CLSID_JStyleLineSolid, 2);
  ArchiveRegisterClassVersion(&CLSID_JStyleSimpleDashType, 4);
  ArchiveRegisterClassVersion(&CLSID_TestLineStyle, kTestLineCurrentVersion);
  ArchiveRegisterClassVersion(&CLSID_JStyleMultiplexer, 3);
}

IUnknown* NewObject(REFCLSID clsid, REFIID iid) {
  // Loaded once for the whole run: the styles must not outlive their module.
  static stylesrv_test::ServerModule server;
  IClassFactory* factory = nullptr;
  if (FAILED(server.GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
    ADD_FAILURE() << "no class object";
    return nullptr;
  }
  IUnknown* object = nullptr;
  if (FAILED(factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&object)))) {
    ADD_FAILURE() << "the object was not created";
  }
  factory->Release();
  return object;
}

RecordingDash* RecordingDash::Create(ISitheRecording* recording) {
  auto* dash = new RecordingDash;
  dash->m_recording = recording;
  return dash;
}

HRESULT STDMETHODCALLTYPE RecordingDash::QueryInterface(REFIID iid, void** out) {
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IJStyleDashTypeRender)) {
    *out = static_cast<IJStyleDashTypeRender*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE RecordingDash::Release() {
  const ULONG refs = --m_refs;
  if (refs == 0) delete this;
  return refs;
}

HRESULT STDMETHODCALLTYPE RecordingDash::GetExtents(StyleExtent* out, const RenderContextScales*, DWORD,
                                                    const tagStyleOverride*) {
  *out = extent;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RecordingDash::RenderDashes(const StylePointRun* run, IRenderTarget2d*,
                                                      const RenderContextScales*, DWORD fitRequest,
                                                      const tagStyleOverride* record,
                                                      const StyleElementRecord* element, DWORD colour, double width) {
  Run seen;
  seen.count = run ? run->count : 0;
  seen.record = record != nullptr;
  seen.recordHasDashType = record && (record->dashType || (record->flags & OVR_DASH_TYPE));
  seen.colour = colour;
  seen.width = width;
  seen.fitRequest = fitRequest;
  seen.targetCalls = m_recording ? m_recording->CallCount() : 0;
  if (run && run->points) {
    const auto* xyz = static_cast<const double*>(run->points);
    seen.points.assign(xyz, xyz + std::size_t{run->count} * 3);
  }
  seen.phase = element ? element->phase : 0.0;
  runs.push_back(seen);
  return answer;
}

namespace {

template <class T, class Take>
std::vector<T> CallsNamed(const TestTarget& target, const char* name, Take take) {
  std::vector<T> values;
  for (const SitheCall& call : target.Calls()) {
    if (std::string(call.name) == name) values.push_back(take(call));
  }
  return values;
}

}  // namespace

std::vector<DWORD> PolylineCounts(const TestTarget& target) {
  return CallsNamed<DWORD>(target, "DrawPolyline", [](const SitheCall& c) { return c.pointCount; });
}

std::vector<DWORD> PenColours(const TestTarget& target) {
  return CallsNamed<DWORD>(target, "SetPenColor", [](const SitheCall& c) { return c.u[0]; });
}

std::vector<double> PenWidths(const TestTarget& target) {
  return CallsNamed<double>(target, "SetPenWidth", [](const SitheCall& c) { return c.d[0]; });
}

std::vector<DWORD> EntryIDs(IJStyleMultiplexer* mux) {
  DWORD count = 0;
  EXPECT_EQ(mux->GetCount(&count), S_OK);
  std::vector<DWORD> ids(count);
  for (DWORD i = 0; i < count; ++i) EXPECT_EQ(mux->GetEntryID(i, &ids[i]), S_OK);
  return ids;
}

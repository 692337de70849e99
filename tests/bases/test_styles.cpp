#include "tests/bases/test_styles.h"

#include "display/style/server.h"
#include "host/pellow/pellow.h"

namespace {

HRESULT Report(HRESULT hr, int line) {
  HRerr(hr, 0, kTestLineSource, line);
  return hr;
}

// The engine keeps the current version of every class it stores; the test classes tell it theirs.
struct RegisterTestVersions {
  RegisterTestVersions() {
    ArchiveRegisterClassVersion(&CLSID_TestLineStyle, kTestLineCurrentVersion);
    ArchiveRegisterClassVersion(&CLSID_TestParaStyle, kTestParaCurrentVersion);
  }
} g_registerTestVersions;

}  // namespace

// ---- TestLineStyle ----

TestLineStyle::TestLineStyle(IUnknown* outer) : CStyleRdr2dBase(outer, Counted{}) { m_styleKind = STYLE_KIND_LINE; }

TestLineStyle* TestLineStyle::Create(DWORD colour, double width) {
  auto* style = new TestLineStyle(nullptr);
  style->colour = colour;
  style->width = width;
  style->AddRef();
  return style;
}

GUID* TestLineStyle::GetClassID(GUID* out) {
  *out = CLSID_TestLineStyle;
  return out;
}

HRESULT TestLineStyle::Serialize(JArchive* archive) {
  if (!IsVersioned(archive)) return SerializeCurrent(archive);
  WORD version = 0;
  DWORD scratch;
  HRESULT hr = ArchiveSerializeClassHeader(archive, &CLSID_TestLineStyle, &version, &scratch);
  if (FAILED(hr)) return Report(hr, 10);
  switch (version) {
    case kTestLineCurrentVersion:
      return SerializeCurrent(archive);
    case 1:
      return SerializeVersion1(archive);
    default:
      return S_OK;
  }
}

HRESULT TestLineStyle::SerializeCurrent(JArchive* archive) {
  StyleBaseRecord base{};
  HRESULT hr = SerializeBase(archive, &base);
  if (FAILED(hr)) return Report(hr, 20);
  if (FAILED(hr = Exchange(archive, colour))) return Report(hr, 21);
  if (FAILED(hr = Exchange(archive, width))) return Report(hr, 22);
  DWORD count = static_cast<DWORD>(lengths.size());
  if (FAILED(hr = Exchange(archive, count))) return Report(hr, 23);
  if (FAILED(hr = CheckArchiveCount(archive, count, sizeof(double)))) return Report(hr, 24);
  std::vector<double> moved = lengths;
  moved.resize(count);
  for (double& length : moved) {
    if (FAILED(hr = Exchange(archive, length))) return Report(hr, 25);
  }
  lengths = moved;
  return S_OK;
}

HRESULT TestLineStyle::SerializeVersion1(JArchive* archive) {
  HRESULT hr = SerializeClass(archive);
  if (FAILED(hr)) return Report(hr, 30);
  if (FAILED(hr = Exchange(archive, colour))) return Report(hr, 31);
  if (FAILED(hr = Exchange(archive, width))) return Report(hr, 32);
  if (FAILED(hr = Exchange(archive, m_unitsCode))) return Report(hr, 33);
  return S_OK;
}

HRESULT TestLineStyle::Clone(IUnknown* outer, IUnknown** out) {
  if (!out) return E_INVALIDARG;
  *out = nullptr;
  auto* copy = new TestLineStyle(outer);
  if (!copy) return E_OUTOFMEMORY;
  copy->m_styleKind = m_styleKind;
  copy->m_unitsCode = m_unitsCode;
  copy->colour = colour;
  copy->width = width;
  copy->lengths = lengths;
  copy->AddRef();
  *out = copy->Unknown();
  return S_OK;
}

HRESULT TestLineStyle::IsEqual(IUnknown* other, BOOL* same) {
  if (!other || !same) return E_INVALIDARG;
  const TestLineStyle* that = AsStyle<TestLineStyle>(other);
  if (that->colour != colour || that->width != width) {
    *same = FALSE;
    return S_OK;
  }
  return CStyleRdr2dBase::IsEqual(other, same);
}

HRESULT TestLineStyle::PrepareRenderRecord(tagStyleOverride* record, const RenderContextScales*, double scale) {
  lastScale = scale;
  if (!(record->flags & OVR_COLOUR)) {
    record->colour = colour;
    record->flags |= OVR_COLOUR;
  }
  if (!(record->flags & OVR_WIDTH)) {
    record->width = width * scale;
    record->unitsCode = m_unitsCode;
    record->flags |= OVR_WIDTH;
  }
  return S_OK;
}

HRESULT TestLineStyle::Render(const StyleGeometryRecord* geometry, IRenderTarget2d* target,
                              const RenderContextScales* context, IJStyleRender* substitute,
                              tagStyleOverride* record, BOOL recordGiven, const StyleElementRecord* element) {
  ++renders;
  if (target && geometry && geometry->pointList) {
    if (record->flags & OVR_COLOUR) target->SetPenColor(record->colour);
    if (record->flags & OVR_WIDTH) target->SetPenWidth(record->width);
    target->DrawPolyline(geometry->pointList->count, static_cast<const double*>(geometry->pointList->points));
  }
  return RenderReferenced(geometry, target, context, substitute, record, recordGiven, element);
}

HRESULT TestLineStyle::GetExtentRecord(StyleExtent* extent, const RenderContextScales*, tagStyleOverride*) {
  *extent = ownExtent;
  return S_OK;
}

// ---- TestParaStyle ----

TestParaStyle::TestParaStyle(IUnknown* outer) : JStyleBase(outer) { IncrementLiveObjectCount(); }

TestParaStyle::~TestParaStyle() { DecrementLiveObjectCount(); }

TestParaStyle* TestParaStyle::Create() {
  auto* style = new TestParaStyle(nullptr);
  style->AddRef();
  return style;
}

GUID* TestParaStyle::GetClassID(GUID* out) {
  *out = CLSID_TestParaStyle;
  return out;
}

HRESULT TestParaStyle::Serialize(JArchive* archive) {
  if (IsVersioned(archive)) {
    WORD version = 0;
    DWORD scratch;
    HRESULT hr = ArchiveSerializeClassHeader(archive, &CLSID_TestParaStyle, &version, &scratch);
    if (FAILED(hr)) return hr;
    if (version != kTestParaCurrentVersion) return S_OK;
  }
  StyleBaseRecord base{};
  HRESULT hr = SerializeBase(archive, &base);
  if (FAILED(hr)) return hr;
  return Exchange(archive, value);
}

// ---- fixtures ----

TestTarget::TestTarget() {
  SitheCreateRecordingTarget(&m_recording);
  m_recording->QueryInterface(IID_IRenderTarget2d, reinterpret_cast<void**>(&m_target));
}

TestTarget::~TestTarget() {
  m_target->Release();
  m_recording->Release();
}

std::vector<SitheCall> TestTarget::Calls() const {
  std::vector<SitheCall> calls(m_recording->CallCount());
  for (DWORD i = 0; i < calls.size(); ++i) m_recording->GetCall(i, &calls[i]);
  return calls;
}

std::vector<std::string> TestTarget::Names() const {
  std::vector<std::string> names;
  for (const SitheCall& call : Calls()) names.emplace_back(call.name);
  return names;
}

std::string TestTarget::Svg() const {
  DWORD length = 0;
  m_recording->GetSvg(nullptr, 0, &length);
  std::string text(length + 1, '\0');
  m_recording->GetSvg(text.data(), length + 1, &length);
  text.resize(length);
  return text;
}

TestGeometry::TestGeometry(std::vector<double> xyz) : points(std::move(xyz)) {
  run.points = points.data();
  run.count = static_cast<DWORD>(points.size() / 3);
  record.pointList = &run;
}

RenderContextScales Scales(double s11, double s12, double s13) {
  RenderContextScales context{};
  context.scale11 = s11;
  context.scale12 = s12;
  context.scale13 = s13;
  return context;
}

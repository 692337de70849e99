#include "tests/dash/dash_fixtures.h"

#include <cmath>

namespace {

template <class T>
void ReleaseAndNull(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

}  // namespace

void RegisterDashTypeVersion() {
  ArchiveRegisterClassVersion(&CLSID_JStyleSimpleDashType, kDashCurrentVersion);
  ArchiveRegisterClassVersion(&CLSID_TestDashClient, 1);
}

// ---- DashType ----

DashType::DashType(const CLSID& clsid) {
  // Loaded once for the whole run: the dash types must not outlive their module.
  static stylesrv_test::ServerModule server;
  IClassFactory* factory = nullptr;
  if (FAILED(server.GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
    ADD_FAILURE() << "no class object for the dash type";
    return;
  }
  if (FAILED(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&unknown)))) {
    ADD_FAILURE() << "the dash type was not created";
  }
  factory->Release();
  Query();
}

DashType::DashType(IUnknown* object) : unknown(object) { Query(); }

void DashType::Query() {
  if (!unknown) return;
  unknown->QueryInterface(IID_IJStyleSimpleDashType, reinterpret_cast<void**>(&simple));
  unknown->QueryInterface(IID_IJStyleDashType, reinterpret_cast<void**>(&list));
  unknown->QueryInterface(IID_IJStyleDashTypeRender, reinterpret_cast<void**>(&render));
  unknown->QueryInterface(IID_IJManageStyle2, reinterpret_cast<void**>(&manage));
  unknown->QueryInterface(IID_IJPersist, reinterpret_cast<void**>(&persist));
  if (!simple || !list || !render || !manage || !persist) ADD_FAILURE() << "the dash type lacks an interface";
}

DashType::~DashType() {
  ReleaseAndNull(simple);
  ReleaseAndNull(list);
  ReleaseAndNull(render);
  ReleaseAndNull(manage);
  ReleaseAndNull(persist);
  ReleaseAndNull(unknown);
}

HRESULT DashType::Set(std::vector<double> lengths, DWORD flags, double endFraction, DWORD units) {
  tagStyleSimpleDashTypeData data{};
  data.unitsCode = units;
  data.count = static_cast<DWORD>(lengths.size());
  data.lengths = lengths.data();
  data.flags = flags;
  data.endFraction = endFraction;
  data.strokesHidden = (flags & DASH_STROKES_HIDDEN) ? 1 : 0;
  return simple->SetData(&data);
}

std::vector<double> DashType::Lengths() const {
  DWORD count = 0;
  simple->GetCount(&count);
  std::vector<double> lengths(count);
  simple->GetLengths(&count, lengths.data());
  return lengths;
}

tagStyleSimpleDashTypeData DashType::Data(std::vector<double>* lengths) const {
  std::vector<double> buffer = Lengths();
  tagStyleSimpleDashTypeData data{};
  data.count = static_cast<DWORD>(buffer.size());
  data.lengths = buffer.data();
  EXPECT_EQ(simple->GetData(&data), S_OK);
  data.lengths = nullptr;
  if (lengths) *lengths = buffer;
  return data;
}

DWORD DashType::LockedFields() const {
  DWORD fields = 0;
  simple->GetLockedFields(&fields);
  return fields;
}

DWORD DashType::ClientCount() const {
  DWORD count = 0;
  EXPECT_EQ(list->GetClientCount(&count), S_OK);
  return count;
}

std::vector<DWORD> DashType::ClientIDs(LONG count) const {
  std::vector<DWORD> ids(static_cast<std::size_t>(count), 0xCDCDCDCD);
  list->GetClientIDs(count, ids.data());
  return ids;
}

// ---- ClientLog ----

std::vector<ClientCall> ClientLog::Of(const std::string& op) const {
  std::vector<ClientCall> found;
  for (const ClientCall& call : calls) {
    if (call.op == op) found.push_back(call);
  }
  return found;
}

std::vector<std::string> ClientLog::Ops() const {
  std::vector<std::string> ops;
  for (const ClientCall& call : calls) ops.push_back(call.client + "." + call.op + "(" + std::to_string(call.index) + ")");
  return ops;
}

// ---- TestDashClient ----

TestDashClient::TestDashClient(IUnknown* outer) : CStyleRdr2dBase(outer, Counted{}) {
  m_styleKind = STYLE_KIND_POINTS;
}

TestDashClient* TestDashClient::Create(std::string name, ClientLog* log, std::set<DWORD> entries) {
  auto* client = new TestDashClient(nullptr);
  client->name = std::move(name);
  client->log = log;
  client->entries = std::move(entries);
  client->AddRef();
  return client;
}

GUID* TestDashClient::GetClassID(GUID* out) {
  *out = CLSID_TestDashClient;
  return out;
}

void* TestDashClient::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_IJStyleDashTypeClient)) return &m_IJStyleDashTypeClientImp;
  return CStyleRdr2dBase::GetInterface(iid);
}

HRESULT TestDashClient::Serialize(JArchive* archive) {
  if (IsVersioned(archive)) {
    WORD version = 0;
    DWORD scratch;
    HRESULT hr = ArchiveSerializeClassHeader(archive, &CLSID_TestDashClient, &version, &scratch);
    if (FAILED(hr) || version != 1) return hr;
  }
  return SerializeCurrent(archive);
}

HRESULT TestDashClient::SerializeCurrent(JArchive* archive) {
  StyleBaseRecord base{};
  HRESULT hr = SerializeBase(archive, &base);
  if (FAILED(hr)) return hr;
  return Exchange(archive, value);
}

HRESULT TestDashClient::Clone(IUnknown* outer, IUnknown** out) {
  if (!out) return E_INVALIDARG;
  auto* copy = new TestDashClient(outer);
  copy->name = name + "'";
  copy->log = log;
  copy->entries = entries;
  copy->value = value;
  copy->AddRef();
  *out = copy->Unknown();
  return S_OK;
}

HRESULT TestDashClient::IsEqual(IUnknown* other, BOOL* same) {
  if (!other || !same) return E_INVALIDARG;
  if (AsStyle<TestDashClient>(other)->value != value) {
    *same = FALSE;
    return S_OK;
  }
  return CStyleRdr2dBase::IsEqual(other, same);
}

HRESULT TestDashClient::GetExtentRecord(StyleExtent* out, const RenderContextScales*, tagStyleOverride*) {
  *out = extent;
  return S_OK;
}

ClientCall& TestDashClient::Record(const char* op, void** state, DWORD index) {
  static ClientLog unlogged;
  ClientLog& target = log ? *log : unlogged;
  target.calls.emplace_back();
  ClientCall& call = target.calls.back();
  call.client = name;
  call.op = op;
  call.index = index;
  call.state = state;
  if (target.target) call.targetCalls = target.target->CallCount();
  return call;
}

ClientCall& TestDashClient::RecordAt(const char* op, void** state, const DashClientContext* context, DWORD index,
                                     double x, double y, double z, double length) {
  ClientCall& call = Record(op, state, index);
  call.x = x;
  call.y = y;
  call.z = z;
  call.length = length;
  call.stateHeld = *state == &runState;
  lastContext = *context;
  return call;
}

HRESULT STDMETHODCALLTYPE TestDashClient::IJStyleDashTypeClientImp::AcceptsEntry(DWORD index) {
  TestDashClient* self = Object();
  ++self->accepts;
  return self->entries.count(index) ? S_OK : S_FALSE;
}

// The state word carries a pointer of the client's from BeginRun to EndRun.
HRESULT STDMETHODCALLTYPE TestDashClient::IJStyleDashTypeClientImp::BeginRun(void** state,
                                                                            const DashClientContext* context,
                                                                            DWORD index) {
  TestDashClient* self = Object();
  self->Record("BeginRun", state, index);
  self->lastContext = *context;
  ++self->runsOpen;
  *state = &self->runState;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TestDashClient::IJStyleDashTypeClientImp::EndRun(void** state,
                                                                          const DashClientContext* context,
                                                                          DWORD index) {
  TestDashClient* self = Object();
  ClientCall& call = self->Record("EndRun", state, index);
  call.stateHeld = *state == &self->runState;
  self->lastContext = *context;
  --self->runsOpen;
  *state = nullptr;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TestDashClient::IJStyleDashTypeClientImp::EntryStart(void** state,
                                                                              const DashClientContext* context,
                                                                              DWORD index, double x, double y,
                                                                              double z, double offset,
                                                                              double value) {
  Object()->RecordAt("EntryStart", state, context, index, x, y, z, offset).value = value;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TestDashClient::IJStyleDashTypeClientImp::CornerReached(
    void** state, const DashClientContext* context, DWORD index, double x, double y, double z, double pieceLength,
    const double* direction) {
  ClientCall& call = Object()->RecordAt("CornerReached", state, context, index, x, y, z, pieceLength);
  call.u[0] = direction[0];
  call.u[1] = direction[1];
  return S_OK;
}

HRESULT STDMETHODCALLTYPE TestDashClient::IJStyleDashTypeClientImp::EntryEnd(void** state,
                                                                            const DashClientContext* context,
                                                                            DWORD index, double x, double y,
                                                                            double z, double pieceLength,
                                                                            const double* direction, double value) {
  ClientCall& call = Object()->RecordAt("EntryEnd", state, context, index, x, y, z, pieceLength);
  call.u[0] = direction[0];
  call.u[1] = direction[1];
  call.value = value;
  return Object()->entryEndAnswer;
}

// ---- runs and drawings ----

PointRun::PointRun(const std::vector<double>& values, bool withZ) {
  const std::size_t stride = withZ ? 3 : 2;
  for (std::size_t i = 0; i + stride <= values.size(); i += stride) {
    points.push_back(values[i]);
    points.push_back(values[i + 1]);
    points.push_back(withZ ? values[i + 2] : 0.0);
  }
  run.points = points.data();
  run.count = static_cast<DWORD>(points.size() / 3);
}

double DrawnLine::Length() const {
  double length = 0;
  for (DWORD i = 1; i < Count(); ++i) length += std::hypot(X(i) - X(i - 1), Y(i) - Y(i - 1));
  return length;
}

std::vector<DrawnLine> Polylines(const TestTarget& target) {
  std::vector<DrawnLine> lines;
  const std::vector<SitheCall> calls = target.Calls();
  for (DWORD i = 0; i < calls.size(); ++i) {
    if (calls[i].slot != 14) continue;
    DrawnLine line;
    line.points.resize(std::size_t{calls[i].pointCount} * 3);
    target.recording()->GetCallPoints(i, calls[i].pointCount, line.points.data());
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::vector<double>> DashPatterns(const TestTarget& target) {
  std::vector<std::vector<double>> patterns;
  const std::vector<SitheCall> calls = target.Calls();
  for (DWORD i = 0; i < calls.size(); ++i) {
    if (calls[i].slot != 8) continue;
    std::vector<double> lengths(calls[i].u[0]);
    if (!lengths.empty()) target.recording()->GetCallLengths(i, calls[i].u[0], lengths.data());
    patterns.push_back(lengths);
  }
  return patterns;
}

RenderContextScales UnitContext() { return Scales(1, 1, 1); }

HRESULT Dash(const DashType& dash, const PointRun& run, const TestTarget& target, const RenderContextScales* context,
             DWORD fitRequest, const tagStyleOverride* record, const StyleElementRecord* element, DWORD colour,
             double width) {
  return dash.render->RenderDashes(&run.run, target.target(), context, fitRequest, record, element, colour, width);
}

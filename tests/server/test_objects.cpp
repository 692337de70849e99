#include "tests/server/test_objects.h"

std::vector<std::string>& Events() {
  static std::vector<std::string> events;
  return events;
}

TestObject::TestObject(IUnknown* outer) : UUnknown(outer) {
  if (server) server->IncrementLiveObjectCount();
}

TestObject::~TestObject() {
  Events().push_back("destructor");
  if (server) server->DecrementLiveObjectCount();
}

HRESULT TestObject::Init() {
  HRESULT hr = UUnknown::Init();
  return FAILED(hr) ? hr : initResult;
}

void TestObject::FinalRelease() {
  Events().push_back("FinalRelease");
  if (touchCountInFinalRelease) {
    AddRef();
    Release();
  }
}

void* TestObject::GetInterface(REFIID iid) {
  if (IsEqualIID(iid, IID_ITestProbe)) return &m_ITestProbeImp;
  return UUnknown::GetInterface(iid);
}

ULONG TestObject::OuterAddRef(const char* trace) {
  lastTrace = trace;
  return UUnknown::OuterAddRef(trace);
}

HRESULT STDMETHODCALLTYPE TestObject::ITestProbeImp::Ping(LONG* out) {
  *out = Object()->GetRefCount();
  return S_OK;
}

HRESULT OuterObject::Init() {
  HRESULT hr = UUnknown::Init();
  if (FAILED(hr)) return hr;
  return m_innerFactory->CreateInstance(static_cast<IUnknown*>(this), IID_IUnknown,
                                        reinterpret_cast<void**>(&m_inner));
}

void OuterObject::FinalRelease() {
  Events().push_back("outer FinalRelease");
  if (m_inner) m_inner->Release();
  m_inner = nullptr;
}

void* OuterObject::GetAggregateInterface(REFIID iid) {
  void* found = nullptr;
  if (m_inner && IsEqualIID(iid, IID_ITestProbe) && SUCCEEDED(m_inner->QueryInterface(iid, &found))) return found;
  return nullptr;
}

namespace {
constexpr StyleClassRow kTestObjectRow = StyleClassRowFor<TestObject, StyleAllocator::Engine>("TestObject");
constexpr StyleClsidEntry kTestEntries[] = {
    {&CLSID_TestObject, &kTestObjectRow},
    {&CLSID_TestObjectAlias, &kTestObjectRow},
};
constexpr StyleClassTable kTestTable{kTestEntries, 2};
}  // namespace

const StyleClassTable& TestClassTable() { return kTestTable; }

ULONG CountOf(IUnknown* unknown) {
  unknown->AddRef();
  return unknown->Release();
}

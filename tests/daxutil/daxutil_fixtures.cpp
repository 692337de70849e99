#include "tests/daxutil/daxutil_fixtures.h"

namespace daxutil_test {

void DocumentServicesTest::SetUp() {
  ASSERT_TRUE(server.loaded());
  ASSERT_GE(server.internals().size, sizeof(StyleServerInternals));
  services = server.internals().GetDocumentServices();
  ASSERT_NE(services, nullptr);
  ASSERT_EQ(services->size, sizeof(DocumentServiceTable));
  stylesrv_test::ClearReports();
  HostClearNotifications();
}

void DocumentServicesTest::TearDown() {
  if (services) services->SetProcessLibrarian(nullptr);
  HostSetActiveDocument(nullptr);
  HostSetEngineState(0);
  HostSetEngineHandlesTarget(0);
  for (DWORD kind = 1; kind < 32; ++kind) HostFailNotification(kind, 0, S_OK);
}

std::vector<HRESULT> ReportedBy(const char* source) {
  std::vector<HRESULT> codes;
  for (const PellowReport& r : stylesrv_test::Reports()) {
    if (std::string(r.source) == source) codes.push_back(r.hr);
  }
  return codes;
}

std::vector<DWORD> EngineCalls() {
  std::vector<DWORD> kinds;
  for (const HostNotification& n : styllib_test::Notifications()) kinds.push_back(n.kind);
  return kinds;
}

LONG RefCount(IUnknown* object) {
  object->AddRef();
  return static_cast<LONG>(object->Release());
}

HRESULT STDMETHODCALLTYPE NamedObjectsView::QueryInterface(REFIID iid, void** out) {
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown)) {
    *out = static_cast<IUnknown*>(this);
    return S_OK;
  }
  if (IsEqualIID(iid, IID_IJDocumentNamedObjects)) {
    m_document->AddRef();
    *out = m_document;
    return S_OK;
  }
  return E_NOINTERFACE;
}

}  // namespace daxutil_test

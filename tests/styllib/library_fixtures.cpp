#include "tests/styllib/library_fixtures.h"

namespace styllib_test {

HRESULT CreateObject(const stylesrv_test::ServerModule& server, REFCLSID clsid, REFIID iid, void** out,
                     IUnknown* outer) {
  *out = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr = server.GetClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(outer, iid, out);
  factory->Release();
  return hr;
}

IUnknown* IdentityOf(IUnknown* object) {
  IUnknown* identity = nullptr;
  if (!object || FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)))) return nullptr;
  identity->Release();
  return identity;
}

TestLibrary::TestLibrary(bool withDocument) {
  HRESULT hr = CreateObject(m_server, CLSID_JStyleLib, IID_IJSLLibrarian, reinterpret_cast<void**>(&librarian));
  if (FAILED(hr)) {
    ADD_FAILURE() << "no style library: " << std::hex << hr;
    return;
  }
  IJPersist* persist = nullptr;
  if (SUCCEEDED(librarian->QueryInterface(IID_IJPersist, reinterpret_cast<void**>(&persist)))) {
    EXPECT_EQ(persist->InitNew(), S_OK);
    persist->Release();
  }
  if (withDocument) {
    EXPECT_EQ(HostDocumentCreate(&document), S_OK);
    DWORD id = 0;
    EXPECT_EQ(document->RegisterObject(librarian, &id, nullptr), S_OK);
  } else {
    EXPECT_EQ(librarian->SetDocumentBacked(0), S_OK);
  }
}

TestLibrary::~TestLibrary() {
  if (librarian) librarian->Release();
  // The document goes last: it holds the library and every style added to it.
  if (document) document->Release();
}

DWORD TestLibrary::AddLine(const wchar_t* name, DWORD colour, DWORD parentID, const GUID& type) {
  TestLineStyle* style = TestLineStyle::Create(colour);
  GUID typeCopy = type;
  StyleRecord record{const_cast<LPWSTR>(name), nullptr, style->Unknown(), &typeCopy, parentID, 0};
  DWORD id = 0;
  const HRESULT hr = librarian->AddStyleNoCreate(&record, &id);
  style->Release();
  return SUCCEEDED(hr) ? id : 0;
}

TestLineStyle* TestLibrary::Line(DWORD id) const {
  IUnknown* object = nullptr;
  if (FAILED(librarian->GetStyle(id, &object))) return nullptr;
  return AsStyle<TestLineStyle>(object);
}

DWORD TestLibrary::UseCount(DWORD id) const {
  DWORD n = 0xDEAD;
  librarian->GetUseCount(id, &n);
  return n;
}

DWORD TestLibrary::StyleCount() const {
  DWORD n = 0;
  librarian->GetStyleCount(&n);
  return n;
}

DWORD TestLibrary::LiveCount() const {
  DWORD n = 0;
  librarian->GetLiveCount(&n);
  return n;
}

StyleNameMap* TestLibrary::Names(const GUID& type) const {
  StyleNameMap* names = nullptr;
  librarian->GetTypeNameMap(type, &names);
  return names;
}

std::vector<HostNotification> Notifications() {
  std::vector<HostNotification> calls(static_cast<std::size_t>(HostNotificationCount()));
  for (LONG i = 0; i < static_cast<LONG>(calls.size()); ++i) HostGetNotification(i, &calls[i]);
  return calls;
}

std::vector<HostNotification> NotificationsOf(DWORD kind) {
  std::vector<HostNotification> calls;
  for (const HostNotification& n : Notifications()) {
    if (n.kind == kind) calls.push_back(n);
  }
  return calls;
}

QuilletRecord::QuilletRecord() {
  HMODULE module = GetModuleHandleA("Quillet.dll");
  if (!module) return;
  m_count = stylesrv_test::FindExport<QuilletCallCountFn>(module, "QuilletCallCount");
  m_get = stylesrv_test::FindExport<QuilletGetCallFn>(module, "QuilletGetCall");
  m_clear = stylesrv_test::FindExport<QuilletClearCallsFn>(module, "QuilletClearCalls");
  if (!m_get || !m_clear) m_count = nullptr;
}

void QuilletRecord::Clear() const {
  if (m_clear) m_clear();
}

std::vector<QuilletCall> QuilletRecord::CallsAbout(IUnknown* library) const {
  std::vector<QuilletCall> calls;
  if (!present()) return calls;
  for (LONG i = 0, n = m_count(); i < n; ++i) {
    QuilletCall call{};
    if (m_get(i, &call) && call.library == library) calls.push_back(call);
  }
  return calls;
}

}  // namespace styllib_test

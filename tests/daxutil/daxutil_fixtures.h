// Fixtures of the document-service tests: the services of the loaded stylesrv.dll, the host state they read
// put back after each test, and readers of what the engine and the utility library were told.
#pragma once

#include <string>
#include <vector>

#include "host/app/styled_element.h"
#include "host/halvorn/elements.h"
#include "services/daxutil/daxutil.h"
#include "tests/styllib/library_fixtures.h"

namespace daxutil_test {

using styllib_test::IdentityOf;
using styllib_test::TestLibrary;

class DocumentServicesTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The process-wide librarian of HUseStyleLibrarian (no reference is held for it).
  void SetProcessLibrarian(IUnknown* librarian) const { services->SetProcessLibrarian(librarian); }
  // The library answers as the document's named object "StyleLibrarian".
  static void Name(const TestLibrary& library, IJDocumentNamedObjects* document) {
    HostDocumentSetNamedObject(document, L"StyleLibrarian", library.librarian);
  }

  stylesrv_test::ServerModule server;
  const DocumentServiceTable* services = nullptr;
};

// The reports with that source since the last ClearReports, as their HRESULTs in order.
std::vector<HRESULT> ReportedBy(const char* source);

// The kinds of the engine's recorded calls since the last HostClearNotifications, in order.
std::vector<DWORD> EngineCalls();

// An object's reference count, read by adding and dropping one.
LONG RefCount(IUnknown* object);

// An object that offers a document's named objects but is no document itself (it answers no IJDocument2), as
// a host object that keeps its library only as a named object does.
class NamedObjectsView final : public IUnknown {
 public:
  explicit NamedObjectsView(IJDocumentNamedObjects* document) : m_document(document) { m_document->AddRef(); }
  ~NamedObjectsView() { m_document->Release(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // lives on the test's stack
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

 private:
  IJDocumentNamedObjects* m_document;
};

}  // namespace daxutil_test

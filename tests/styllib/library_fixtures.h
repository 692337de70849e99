// Fixtures of the style library's tests: stylesrv.dll's library classes made as a host makes them, a library
// kept by a host document as a host keeps it, the engine's and Quillet's records of what they were told.
#pragma once

#include <string>
#include <vector>

#include "display/style/stylesrv_clsid.h"
#include "display/style/styllib/JSymbolDescriptor.h"
#include "display/style/styllib/StyleNameMap.h"
#include "host/quillet/quillet.h"
#include "tests/bases/test_styles.h"

namespace styllib_test {

// An object of stylesrv.dll's class, made through its class object; one reference (or a failure).
HRESULT CreateObject(const stylesrv_test::ServerModule& server, REFCLSID clsid, REFIID iid, void** out,
                     IUnknown* outer = nullptr);

// A new style library with its standard types. With a document (the default) the library is registered in a
// new host document, as a host keeps it, and adds styles to that document; without one it works document-less.
class TestLibrary {
 public:
  explicit TestLibrary(bool withDocument = true);
  ~TestLibrary();
  TestLibrary(const TestLibrary&) = delete;
  TestLibrary& operator=(const TestLibrary&) = delete;

  IJSLLibrarian* operator->() const { return librarian; }
  const stylesrv_test::ServerModule& server() const { return m_server; }

  // Adds a new test line style of the type (the library and the document hold it; the test does not).
  // Answers the ID, 0 when the add failed.
  DWORD AddLine(const wchar_t* name = nullptr, DWORD colour = 0x0000FF, DWORD parentID = 0,
                const GUID& type = STYLETYPE_Linear);
  // The style of an ID as the test style it is, with a reference the caller releases.
  TestLineStyle* Line(DWORD id) const;
  DWORD UseCount(DWORD id) const;
  DWORD StyleCount() const;
  DWORD LiveCount() const;
  StyleNameMap* Names(const GUID& type) const;

  IJSLLibrarian* librarian = nullptr;   // one reference
  IJDocumentNamedObjects* document = nullptr;  // one reference; null without a document

 private:
  stylesrv_test::ServerModule m_server;
};

// What the engine was told, in order, as "kind" records.
std::vector<HostNotification> Notifications();
std::vector<HostNotification> NotificationsOf(DWORD kind);

// The test build of Quillet when the run has it beside stylesrv.dll; otherwise present() is false and the
// record is empty.
class QuilletRecord {
 public:
  QuilletRecord();
  bool present() const { return m_count != nullptr; }
  void Clear() const;
  // The calls about one library, in order.
  std::vector<QuilletCall> CallsAbout(IUnknown* library) const;

 private:
  QuilletCallCountFn m_count = nullptr;
  QuilletGetCallFn m_get = nullptr;
  QuilletClearCallsFn m_clear = nullptr;
};

// The identity of an object (its IUnknown), without a reference.
IUnknown* IdentityOf(IUnknown* object);

}  // namespace styllib_test

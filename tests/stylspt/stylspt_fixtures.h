// Fixtures of the export tests: a drawing (a host document that keeps a real style library as its
// "StyleLibrarian"), the host state put back after each test, and small readers.
#pragma once

#include "display/style/stylbas/StyleComPtr.h"
#include "display/style/stylspt/StyleExports.h"
#include "host/app/simple_line_maker.h"
#include "tests/daxutil/daxutil_fixtures.h"

namespace stylspt_test {

using daxutil_test::ReportedBy;
using styllib_test::IdentityOf;
using styllib_test::TestLibrary;

inline constexpr char kSource[] = "STYLESPT";

// A document whose library the exports find; D() is what a host hands them.
class Drawing : public TestLibrary {
 public:
  Drawing() { HostDocumentSetNamedObject(document, L"StyleLibrarian", librarian); }
  IUnknown* D() const { return document; }
  // A new style of the class added under the name and type through HCreateStyleInLib; its ID, 0 on failure.
  DWORD Create(REFCLSID clsid, const wchar_t* name, const GUID& type = STYLETYPE_Linear) const;
  // The style of an ID asked for `iid`.
  template <class T>
  StyleComPtr<T> Style(DWORD id, REFIID iid) const {
    StyleComPtr<IUnknown> object;
    T* typed = nullptr;
    if (SUCCEEDED(librarian->GetStyle(id, object.Put())) && object) {
      object->QueryInterface(iid, reinterpret_cast<void**>(&typed));
    }
    return StyleComPtr<T>(typed);
  }
};

class StyleExportsTest : public daxutil_test::DocumentServicesTest {
 protected:
  void TearDown() override {
    HostSimpleLineMaker::Install(nullptr);
    DocumentServicesTest::TearDown();
  }
  LONG Live() const { return server.internals().GetLiveObjectCount(); }
};

}  // namespace stylspt_test

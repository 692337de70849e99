// Fixtures of the custodian's tests: the service exports of stylesrv.dll loaded as a host loads it, style-library
// files saved by host documents, and a document's style library.
#pragma once

#include <string>
#include <vector>

#include "display/style/stylcst/CustodianService.h"
#include "display/style/stylesrv_clsid.h"
#include "tests/support/stylesrv_test.h"

namespace stylcst_test {

struct Service {
  explicit Service(const stylesrv_test::ServerModule& server);
  decltype(&::StartJSCustodianService) start;
  decltype(&::StopJSCustodianService) stop;
  decltype(&::GetJSCustodian) get;
  decltype(&::ReleaseJSCustodian) release;
};

template <class T>
T* Query(IUnknown* object, REFIID iid) {
  T* itf = nullptr;
  EXPECT_EQ(object->QueryInterface(iid, reinterpret_cast<void**>(&itf)), S_OK);
  return itf;
}

// A simple line of a file, dashed by a dash type of the file of the name given.
struct FileStyle {
  const wchar_t* name;
  double width;
  const wchar_t* dash = nullptr;
};

// Makes the registry's current version of the application's file type "2.3".
void SetCurrentVersion();
// A full path in the test's folder.
std::wstring Folder(const std::wstring& name);
// A compound file saved by a host document whose style library holds the styles and lists the file `listed` (when
// given) as its own style-library file; its "DocVersion2" holds the version 2.minor.
void WriteLibraryFile(const std::wstring& path, const std::vector<FileStyle>& styles, WORD minor = 3,
                      const wchar_t* listed = nullptr);
// The copies the FileSystemObject made in the temporary folder (its temporary names begin with "rad").
std::vector<std::wstring> TemporaryCopies();
// From now on this process's temporary folder is a folder of its own in the test's folder, so that test programs
// running beside it see none of its temporary copies, nor it theirs.
void UseOwnTemporaryFolder(const std::wstring& name);

// The server's classes a file's document is made of, and the host's "RSC" class, registered with the platform.
class ClassRegistration {
 public:
  explicit ClassRegistration(const stylesrv_test::ServerModule& server);
  ~ClassRegistration();

 private:
  std::vector<DWORD> m_cookies;
};

// A new style library kept by a new host document.
struct DocumentLibrary {
  explicit DocumentLibrary(const stylesrv_test::ServerModule& server);
  ~DocumentLibrary();
  DWORD AddLine(const wchar_t* name, double width);
  void ListFiles(const std::vector<std::wstring>& names);

  IJSLLibrarian* librarian = nullptr;
  IJDocumentNamedObjects* document = nullptr;
};

// The width of a simple line; NaN for anything else.
double WidthOf(IUnknown* style);

}  // namespace stylcst_test

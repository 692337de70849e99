// The librarian lookup, one source at a time: the first source that can answer decides, even with a failure,
// and the process-wide librarian's count moves only when it is the one handed out.
#include "tests/daxutil/daxutil_fixtures.h"

namespace daxutil_test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class LibrarianLookupTest : public DocumentServicesTest {
 protected:
  // A library set process-wide, whose count the tests watch.
  TestLibrary process{false};
};

TEST_F(LibrarianLookupTest, ADocumentWithoutALibraryAnswersItsOwnFailure) {
  IJDocumentNamedObjects* document = nullptr;
  ASSERT_EQ(HostDocumentCreate(&document), S_OK);
  SetProcessLibrarian(process.librarian);
  const LONG before = RefCount(process.librarian);

  IJSLLibrarian* found = nullptr;
  EXPECT_EQ(services->GetStyleLibrarian(document, &found), E_FAIL);
  EXPECT_EQ(found, nullptr);
  EXPECT_THAT(ReportedBy("ustyle"), ElementsAre(E_FAIL));
  EXPECT_EQ(RefCount(process.librarian), before);
  document->Release();
}

TEST_F(LibrarianLookupTest, AnElementGetsTheLibraryOfItsDocument) {
  TestLibrary library;
  Name(library, library.document);
  HostStyledElement* element = HostStyledElement::Create(library.document);
  SetProcessLibrarian(process.librarian);

  IJSLLibrarian* found = nullptr;
  ASSERT_EQ(services->GetStyleLibrarian(element->Unknown(), &found), S_OK);
  EXPECT_EQ(IdentityOf(found), IdentityOf(library.librarian));
  found->Release();
  element->Release();
}

// A document reached only through its named objects decides by its "StyleLibrarian", present or not.
TEST_F(LibrarianLookupTest, NamedObjectsDecideWithoutFallingBackToTheProcessLibrarian) {
  SetProcessLibrarian(process.librarian);
  const LONG before = RefCount(process.librarian);
  for (const bool named : {true, false}) {
    SCOPED_TRACE(named ? "named" : "not named");
    stylesrv_test::ClearReports();
    TestLibrary library;
    if (named) Name(library, library.document);
    NamedObjectsView view(library.document);

    IJSLLibrarian* found = nullptr;
    const HRESULT hr = services->GetStyleLibrarian(&view, &found);
    if (named) {
      ASSERT_EQ(hr, S_OK);
      EXPECT_EQ(IdentityOf(found), IdentityOf(library.librarian));
      found->Release();
      EXPECT_THAT(ReportedBy("ustyle"), IsEmpty());
    } else {
      EXPECT_EQ(hr, E_FAIL);
      EXPECT_EQ(found, nullptr);
      EXPECT_THAT(ReportedBy("ustyle"), ElementsAre(E_FAIL));
    }
    EXPECT_EQ(RefCount(process.librarian), before);
  }
}

TEST_F(LibrarianLookupTest, AnObjectInNoDocumentGetsTheProcessLibrarianWithAReferenceOfItsOwn) {
  HostStyledElement* loose = HostStyledElement::Create();
  SetProcessLibrarian(process.librarian);
  const LONG before = RefCount(process.librarian);

  IJSLLibrarian* found = nullptr;
  ASSERT_EQ(services->GetStyleLibrarian(loose->Unknown(), &found), S_OK);
  EXPECT_EQ(IdentityOf(found), IdentityOf(process.librarian));
  EXPECT_EQ(RefCount(process.librarian), before + 1);
  IUnknown* slot = nullptr;
  EXPECT_EQ(services->GetProcessLibrarian(&slot), S_OK);
  EXPECT_EQ(slot, process.librarian);
  found->Release();
  EXPECT_EQ(RefCount(process.librarian), before);
  loose->Release();
}

TEST_F(LibrarianLookupTest, WithoutAProcessLibrarianTheActiveDocumentAnswers) {
  HostStyledElement* loose = HostStyledElement::Create();

  // No active document: the failure comes back unreported and the caller's pointer is left alone.
  IJSLLibrarian* const untouched = reinterpret_cast<IJSLLibrarian*>(0x1234);
  IJSLLibrarian* found = untouched;
  EXPECT_EQ(services->GetStyleLibrarian(loose->Unknown(), &found), E_FAIL);
  EXPECT_EQ(found, untouched);
  EXPECT_THAT(ReportedBy("ustyle"), IsEmpty());

  TestLibrary library;
  Name(library, library.document);
  HostSetActiveDocument(library.document);
  found = nullptr;
  ASSERT_EQ(services->GetStyleLibrarian(loose->Unknown(), &found), S_OK);
  EXPECT_EQ(IdentityOf(found), IdentityOf(library.librarian));
  found->Release();
  HostSetActiveDocument(nullptr);
  loose->Release();
}

TEST_F(LibrarianLookupTest, NullArgumentsAreRefused) {
  HostStyledElement* loose = HostStyledElement::Create();
  IJSLLibrarian* found = nullptr;
  EXPECT_EQ(services->GetStyleLibrarian(nullptr, &found), E_INVALIDARG);
  EXPECT_EQ(services->GetStyleLibrarian(loose->Unknown(), nullptr), E_INVALIDARG);
  EXPECT_THAT(ReportedBy("ustyle"), ElementsAre(E_INVALIDARG, E_INVALIDARG));
  loose->Release();
}

// The owner of a style: its library, none, or nothing asked for.
TEST_F(LibrarianLookupTest, TheOwnerLibrarianOfAStyle) {
  TestLibrary library;
  TestLineStyle* owned = library.Line(library.AddLine(L"owned"));
  ASSERT_NE(owned, nullptr);
  TestLineStyle* ownerless = TestLineStyle::Create();

  EXPECT_EQ(services->GetStyleOwnerLibrarian(owned->Unknown(), nullptr), S_OK);

  IJSLLibrarian* found = reinterpret_cast<IJSLLibrarian*>(0x1234);
  EXPECT_EQ(services->GetStyleOwnerLibrarian(ownerless->Unknown(), &found), E_NOINTERFACE);
  EXPECT_EQ(found, nullptr);
  EXPECT_THAT(ReportedBy("ustyle"), IsEmpty());

  ASSERT_EQ(services->GetStyleOwnerLibrarian(owned->Unknown(), &found), S_OK);
  EXPECT_EQ(IdentityOf(found), IdentityOf(library.librarian));
  found->Release();
  ownerless->Release();
  owned->Release();
}

}  // namespace
}  // namespace daxutil_test

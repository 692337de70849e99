// The style bases' references and copies against the real library rather than a test double.
#include "tests/styllib/library_fixtures.h"

using styllib_test::TestLibrary;

namespace {

class RealLibraryReferencesTest : public ::testing::Test {
 protected:
  void SetUp() override { stylesrv_test::ClearReports(); }
};

// Every reference a style holds is one use of the ID it refers to; moving it from 5 to 7 adds the use of 7
// before the use of 5 goes, and giving the references back frees an unnamed style nobody else uses.
TEST_F(RealLibraryReferencesTest, ReferencesCountAsUsesInTheLibrary) {
  TestLibrary library;
  const DWORD referring = library.AddLine(L"Referring", 1);
  for (DWORD colour = 2; colour <= 4; ++colour) library.AddLine(nullptr, colour);
  const DWORD five = library.AddLine(L"Five", 5);
  library.AddLine(nullptr, 6);
  const DWORD seven = library.AddLine(nullptr, 7);
  ASSERT_EQ(five, 5u);
  ASSERT_EQ(seven, 7u);
  TestLineStyle* style = library.Line(referring);

  ASSERT_EQ(style->Setup()->SetReferencedStyleID(five), S_OK);
  EXPECT_EQ(library.UseCount(five), 1u);
  ASSERT_EQ(style->Setup()->SetReferencedStyleID(seven), S_OK);
  EXPECT_EQ(library.UseCount(seven), 1u);
  EXPECT_EQ(library.UseCount(five), 0u);
  EXPECT_EQ(library->IsDeletedSlot(five), S_OK);  // named: kept without uses
  ASSERT_EQ(style->Setup()->SetReferencedStyleID(seven), S_OK);
  EXPECT_EQ(library.UseCount(seven), 1u);

  // The reference resolves through the library to the style of the ID.
  IJStyleRender* referenced = nullptr;
  ASSERT_EQ(style->RenderItf()->GetReferencedStyle(&referenced), S_OK);
  TestLineStyle* target = library.Line(seven);
  EXPECT_EQ(static_cast<IUnknown*>(referenced), static_cast<IUnknown*>(target->RenderItf()));
  referenced->Release();
  target->Release();

  const DWORD before = library.StyleCount();
  ASSERT_EQ(style->Manage()->ReleaseStyleRefs(0), S_OK);
  EXPECT_EQ(library.StyleCount(), before - 1);
  IUnknown* gone = nullptr;
  EXPECT_EQ(library->GetStyle(seven, &gone), E_FAIL);

  // A reference set by pointer takes the ID the library has for the style.
  const DWORD other = library.AddLine(nullptr, 8);
  TestLineStyle* pointed = library.Line(other);
  ASSERT_EQ(style->Setup()->SetReferencedStyle(pointed->RenderItf()), S_OK);
  DWORD id = 0;
  ASSERT_EQ(style->Setup()->GetReferencedStyleID(&id), S_OK);
  EXPECT_EQ(id, other);
  EXPECT_EQ(library.UseCount(other), 1u);
  ASSERT_EQ(style->Setup()->SetReferencedStyle(nullptr), S_OK);
  EXPECT_EQ(library->IsDeletedSlot(other), E_FAIL);  // the unnamed style went with its last use
  pointed->Release();
  style->Release();
}

// A named style with a parent copied into another library arrives there under its name, with the parent
// copied too and the parent ID that of the copy; the source library's flags are as they were.
TEST_F(RealLibraryReferencesTest, CopyingANamedStyleBringsItsParentAlong) {
  TestLibrary source;
  TestLibrary target;
  const DWORD parent = source.AddLine(L"Parent", 1);
  const DWORD child = source.AddLine(L"Child", 2, parent);
  target.AddLine(nullptr, 3);
  TestLineStyle* style = source.Line(child);

  DWORD newID = 0;
  ASSERT_EQ(style->Manage()->CopyStyleToLibrary(source.librarian, target.librarian, target.document, &newID), S_OK);
  ASSERT_NE(newID, 0u);
  DWORD byName = 0, parentThere = 0, parentOfCopy = 0;
  EXPECT_EQ(target->FindStyleIDByName(L"Child", &STYLETYPE_Linear, &byName), S_OK);
  EXPECT_EQ(byName, newID);
  ASSERT_EQ(target->FindStyleIDByName(L"Parent", &STYLETYPE_Linear, &parentThere), S_OK);
  ASSERT_EQ(target->GetParentID(newID, &parentOfCopy), S_OK);
  EXPECT_EQ(parentOfCopy, parentThere);
  EXPECT_NE(parentThere, parent);
  DWORD flags = 0;
  source->GetFlags(&flags);
  EXPECT_EQ(flags, 1u);
  TestLineStyle* copy = target.Line(newID);
  EXPECT_EQ(copy->colour, 2u);
  EXPECT_EQ(copy->StyleID(), newID);
  copy->Release();
  style->Release();
}

}  // namespace

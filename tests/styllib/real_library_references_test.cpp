// The style bases' references, comparisons and copies against the real library rather than a test double.
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
  style->Release();
}

// A reference set by pointer takes the ID the library has for the style, and a style without an ID there is
// refused rather than referred to by an ID that is not its own.
TEST_F(RealLibraryReferencesTest, AReferenceByPointerTakesTheLibrarysID) {
  TestLibrary library;
  const DWORD referring = library.AddLine(L"Referring", 1);
  const DWORD other = library.AddLine(nullptr, 2);
  TestLineStyle* style = library.Line(referring);
  TestLineStyle* target = library.Line(other);
  ASSERT_EQ(style->Setup()->SetReferencedStyle(target->RenderItf()), S_OK);
  DWORD id = 0;
  ASSERT_EQ(style->Setup()->GetReferencedStyleID(&id), S_OK);
  EXPECT_EQ(id, other);
  EXPECT_EQ(library.UseCount(other), 1u);
  ASSERT_EQ(style->Setup()->SetReferencedStyle(nullptr), S_OK);
  EXPECT_EQ(library.StyleCount(), 1u);  // the unnamed style went with its last use
  target->Release();
  style->Release();
}

// Equal unnamed styles are one style: the library hands out the first for the second. A style persisted under
// a name is never the same as another style, however equal their values.
TEST_F(RealLibraryReferencesTest, EqualUnnamedStylesAreSharedAndNamedOnesStayApart) {
  TestLibrary library;
  const DWORD named = library.AddLine(L"Red", 0xFF);
  const DWORD unnamed = library.AddLine(nullptr, 0xFF);
  ASSERT_NE(unnamed, 0u);
  TestLineStyle* twin = TestLineStyle::Create(0xFF);
  StyleRecord record{nullptr, nullptr, twin->Unknown(), const_cast<GUID*>(&STYLETYPE_Linear), 0, 0};
  DWORD id = 0;
  EXPECT_EQ(library->AddStyle(&record, &id), 0x40222);
  EXPECT_EQ(id, unnamed);
  // Under another named ancestor it is a style of its own.
  record.parentID = named;
  EXPECT_EQ(library->AddStyle(&record, &id), S_OK);
  EXPECT_NE(id, unnamed);

  TestLineStyle* red = library.Line(named);
  TestLineStyle* plain = library.Line(unnamed);
  BOOL same = TRUE;
  ASSERT_EQ(red->Manage()->IsSameStyle(plain->Unknown(), &same), S_OK);
  EXPECT_FALSE(same);
  ASSERT_EQ(plain->Manage()->IsSameStyle(twin->Unknown(), &same), S_OK);
  EXPECT_TRUE(same);
  red->Release();
  plain->Release();
  twin->Release();
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

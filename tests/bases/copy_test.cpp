// Copying a style with its references and its parent into another library.
#include "tests/bases/test_styles.h"

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using stylesrv_test::IsReport;
using stylesrv_test::Reports;

namespace {

class CopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    stylesrv_test::ClearReports();
    source = RecordingLibrarian::Create();
    target = RecordingLibrarian::Create();
  }
  void TearDown() override {
    for (TestLineStyle* style : styles) style->Release();
    target->Release();
    source->Release();
  }
  TestLineStyle* Make(DWORD colour) {
    styles.push_back(TestLineStyle::Create(colour, 1.0));
    return styles.back();
  }
  // The entries of the SetFlags calls in a library's log.
  static std::vector<std::string> FlagCalls(const RecordingLibrarian* library) {
    std::vector<std::string> calls;
    for (const std::string& entry : library->log) {
      if (entry.rfind("SetFlags", 0) == 0) calls.push_back(entry);
    }
    return calls;
  }

  RecordingLibrarian* source = nullptr;
  RecordingLibrarian* target = nullptr;
  std::vector<TestLineStyle*> styles;
};

// The copy keeps its name and type and takes the target's ID of its parent, which is copied in; the source
// library's flags are cleared meanwhile and the same afterwards.
TEST_F(CopyTest, NamedStyleWithParentArrivesUnderTheParentsIDInTheTarget) {
  const DWORD parentID = source->Add(Make(0x1)->Unknown(), L"Parent");
  TestLineStyle* child = Make(0x2);
  source->Add(child->Unknown(), L"Child", parentID);
  source->flags = 0x15;
  DWORD newID = 0xDEAD;
  ASSERT_EQ(child->Manage()->CopyStyleToLibrary(source->Librarian(), target->Librarian(), nullptr, &newID), S_OK);
  ASSERT_EQ(target->Count(), 2u);
  const RecordingLibrarian::Entry& copy = target->At(newID);
  EXPECT_EQ(copy.name, L"Child");
  EXPECT_TRUE(IsEqualGUID(copy.type, STYLETYPE_Linear));
  EXPECT_NE(copy.object, child->Unknown());
  EXPECT_EQ(AsStyle<TestLineStyle>(copy.object)->colour, 0x2u);
  ASSERT_NE(copy.parentID, 0u);
  EXPECT_EQ(AsStyle<TestLineStyle>(target->At(copy.parentID).object)->colour, 0x1u);
  EXPECT_EQ(source->flags, 0x15u);
  EXPECT_THAT(FlagCalls(source), ElementsAre("SetFlags(0)", "SetFlags(21)"));
}

class ParentCopyFailure : public CopyTest, public ::testing::WithParamInterface<std::pair<const char*, int>> {};

// However the parent's copy ends, the new ID is 0 and the source library has its flags back.
TEST_P(ParentCopyFailure, RestoresTheSourceFlagsAndReportsWhereItFailed) {
  const auto [operation, line] = GetParam();
  const DWORD parentID = source->Add(Make(0x1)->Unknown(), L"Parent");
  TestLineStyle* child = Make(0x2);
  source->Add(child->Unknown(), L"Child", parentID);
  source->flags = 0x15;
  RecordingLibrarian* failing = std::string(operation) == "GetStyle" ? source : target;
  failing->failures[operation] = E_ACCESSDENIED;
  DWORD newID = 0xDEAD;
  EXPECT_EQ(child->Manage()->CopyStyleToLibrary(source->Librarian(), target->Librarian(), nullptr, &newID),
            E_ACCESSDENIED);
  EXPECT_EQ(newID, 0u);
  EXPECT_EQ(target->Count(), 0u);
  EXPECT_EQ(source->flags, 0x15u);
  EXPECT_THAT(FlagCalls(source), ElementsAre("SetFlags(0)", "SetFlags(21)"));
  EXPECT_THAT(Reports(), Contains(IsReport(E_ACCESSDENIED, "STYLEBAS", line)));
}

INSTANTIATE_TEST_SUITE_P(Steps, ParentCopyFailure,
                         ::testing::Values(std::make_pair("GetStyle", 851), std::make_pair("GetStyleID", 853)));

TEST_F(CopyTest, StyleWithoutLibraryGoesInAsABlankRecordOfItsCategory) {
  TestLineStyle* loose = Make(0x7);
  DWORD newID = 0;
  ASSERT_EQ(loose->Manage()->CopyStyleToLibrary(nullptr, target->Librarian(), nullptr, &newID), S_OK);
  ASSERT_EQ(newID, 1u);
  EXPECT_TRUE(target->At(1).name.empty());
  EXPECT_EQ(target->At(1).parentID, 0u);
  EXPECT_TRUE(IsEqualGUID(target->At(1).type, STYLETYPE_Linear));
}

// A style that a third library hands over is taken as the target knows it, not copied again.
TEST_F(CopyTest, StyleAlreadyKnownToTheTargetIsNotCopiedAgain) {
  TestLineStyle* style = Make(0x3);
  const DWORD known = target->Add(Make(0x9)->Unknown());
  target->Add(style->Unknown());  // the target holds the very object (without owning it)
  source->Add(style->Unknown());  // give the style back its owner: the source
  RecordingLibrarian* third = RecordingLibrarian::Create();
  DWORD newID = 0;
  ASSERT_EQ(style->Manage()->CopyStyleToLibrary(third->Librarian(), target->Librarian(), nullptr, &newID), S_OK);
  EXPECT_EQ(newID, known + 1);
  EXPECT_EQ(target->Count(), 2u);
  third->Release();
}

TEST_F(CopyTest, TargetThatAddsNothingIsReported) {
  TestLineStyle* style = Make(0x3);
  target->failures["AddStyle"] = E_FAIL;
  DWORD newID = 0;
  EXPECT_EQ(style->Manage()->CopyStyleToLibrary(nullptr, target->Librarian(), nullptr, &newID), E_FAIL);
  EXPECT_EQ(newID, 0u);
  EXPECT_THAT(Reports(), ElementsAre(IsReport(E_FAIL, "STYLEBAS", 883)));
}

// The referenced style is taken from the target when the target has it by name, else copied there first; the
// copy refers to the target's style and counts its use there.
TEST_F(CopyTest, CopyRefersToTheTargetsCopyOfItsReferencedStyle) {
  for (bool targetHasBase : {true, false}) {
    SCOPED_TRACE(targetHasBase);
    RecordingLibrarian* to = RecordingLibrarian::Create();
    TestLineStyle* base = Make(0x10);
    const DWORD baseID = source->Add(base->Unknown(), targetHasBase ? L"Base" : nullptr);
    TestLineStyle* style = Make(0x20);
    source->Add(style->Unknown());
    ASSERT_EQ(style->Setup()->SetReferencedStyleID(baseID), S_OK);
    DWORD targetBaseID = 0;
    if (targetHasBase) targetBaseID = to->Add(Make(0x30)->Unknown(), L"Base");

    DWORD newID = 0;
    ASSERT_EQ(style->Manage()->CopyStyleToLibrary(nullptr, to->Librarian(), nullptr, &newID), S_OK);
    TestLineStyle* copy = AsStyle<TestLineStyle>(to->At(newID).object);
    if (!targetHasBase) {
      targetBaseID = copy->ReferencedID();
      EXPECT_NE(to->At(targetBaseID).object, base->Unknown());
      EXPECT_EQ(AsStyle<TestLineStyle>(to->At(targetBaseID).object)->colour, 0x10u);
    }
    EXPECT_EQ(copy->ReferencedID(), targetBaseID);
    EXPECT_EQ(to->UseCount(targetBaseID), 1u);
    EXPECT_EQ(copy->CachedReferencedStyle(), AsStyle<TestLineStyle>(to->At(targetBaseID).object)->RenderItf());
    EXPECT_EQ(source->UseCount(baseID), 1u);
    // The copy's reference goes before its library does.
    copy->Setup()->SetReferencedStyleID(0);
    to->Release();
  }
}

}  // namespace

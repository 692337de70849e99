// How an element's style ID changes through the exports: what the engine hears, which use counts move and in
// which order, what a refusal leaves in the slot; and the ID a copied element gets in another library.
#include <algorithm>
#include <map>

#include "tests/stylspt/stylspt_fixtures.h"

namespace stylspt_test {
namespace {

using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::SizeIs;

constexpr DWORD kNone = 0xFFFFFFFF;

// The librarian's count calls, in order.
std::vector<std::string> CountCalls(const RecordingLibrarian& library) {
  std::vector<std::string> calls;
  for (const std::string& call : library.log) {
    if (call.rfind("AddRefStyleID", 0) == 0 || call.rfind("ReleaseStyleID", 0) == 0) calls.push_back(call);
  }
  return calls;
}

TEST_F(StyleExportsTest, AssigningAnIDMovesTheUsesOnceAndARefusalLeavesTheSlotAsItWas) {
  struct Row {
    const char* what;
    DWORD from, to, alreadyMarked;
    const char* failing;  // the engine's mark ("Mark") or the librarian operation that refuses, or null
    HRESULT answer;
    DWORD slotAfter;
    size_t marks;
    std::vector<std::string> calls;
  };
  const HRESULT kRefused = E_ACCESSDENIED;
  const Row rows[] = {
      {"equal IDs", 5, 5, 0, nullptr, S_OK, 5, 0, {}},
      {"equal IDs even when nothing would answer", 5, 5, 0, "Mark", S_OK, 5, 0, {}},
      {"0 to 5", 0, 5, 0, nullptr, S_OK, 5, 1, {"AddRefStyleID(5)"}},
      {"5 to 0", 5, 0, 0, nullptr, S_OK, 0, 1, {"ReleaseStyleID(5)"}},
      {"5 to 7, engine told already", 5, 7, 1, nullptr, S_OK, 7, 0, {"AddRefStyleID(7)", "ReleaseStyleID(5)"}},
      {"5 to no ID", 5, kNone, 0, nullptr, S_OK, kNone, 1, {"ReleaseStyleID(5)"}},
      {"no ID to 5", kNone, 5, 0, nullptr, S_OK, 5, 1, {"AddRefStyleID(5)"}},
      {"0 to no ID moves nothing", 0, kNone, 0, "Mark", S_OK, kNone, 0, {}},
      {"refused mark", 5, 7, 0, "Mark", kRefused, 5, 0, {}},
      {"refused mark on a release", 5, 0, 0, "Mark", kRefused, 5, 0, {}},
      {"refused use of the new ID", 5, 7, 0, "AddRefStyleID", kRefused, 5, 1, {"AddRefStyleID(7)"}},
      {"refused release of the old ID", 5, 7, 0, "ReleaseStyleID", kRefused, 7, 1,
       {"AddRefStyleID(7)", "ReleaseStyleID(5)"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    RecordingLibrarian* library = RecordingLibrarian::Create();
    for (int i = 0; i < 7; ++i) {
      StyleComPtr<IUnknown> style;
      ASSERT_EQ(HCreateStyle(style.Put(), nullptr, &CLSID_JStyleSimpleLine, 0, nullptr), S_OK);
      library->Add(style.Get());
    }
    // The slot's old ID holds a use, as it would.
    if (row.from >= 1 && row.from <= 7) library->AddRefStyleID(row.from);
    const std::map<DWORD, DWORD> before{{5, library->UseCount(5)}, {7, library->UseCount(7)}};
    library->log.clear();
    HostClearNotifications();
    if (row.failing && std::string(row.failing) == "Mark") {
      HostFailNotification(HOST_MARK_MODIFIED, 1, kRefused);
    } else if (row.failing) {
      library->failures[row.failing] = kRefused;
    }

    DWORD slot = row.from;
    EXPECT_EQ(HAssignStyleID(library->Librarian(), row.to, &slot, row.alreadyMarked), row.answer);
    EXPECT_EQ(slot, row.slotAfter);
    EXPECT_THAT(CountCalls(*library), ElementsAreArray(row.calls));
    const auto marks = styllib_test::NotificationsOf(HOST_MARK_MODIFIED);
    const size_t told = std::count_if(marks.begin(), marks.end(), [](const HostNotification& n) { return n.result == S_OK; });
    EXPECT_EQ(told, row.marks);
    if (FAILED(row.answer) && row.slotAfter == row.from) {
      // Nothing moved: every count is what it was.
      EXPECT_EQ(library->UseCount(5), before.at(5));
      EXPECT_EQ(library->UseCount(7), before.at(7));
    }
    HostFailNotification(HOST_MARK_MODIFIED, 0, S_OK);
    library->Release();
  }
}

TEST_F(StyleExportsTest, ACopiedElementGetsTheIDOfItsStyleInTheTargetLibrary) {
  Drawing source, target;
  const DWORD thin = source.Create(CLSID_JStyleSimpleLine, L"Thin");
  ASSERT_NE(thin, 0u);

  // Within one library the ID is only assigned: nothing is added, one use is.
  DWORD slot = 0;
  DWORD styles = source.StyleCount();
  EXPECT_EQ(HAssignCopiedObjectStyleID(0, thin, source.librarian, source.D(), source.librarian, &slot), S_OK);
  EXPECT_EQ(slot, thin);
  EXPECT_EQ(source.StyleCount(), styles);
  EXPECT_EQ(source.UseCount(thin), 1u);

  // Into another library the style object copies itself, and the copy's ID is assigned there.
  slot = 0;
  ASSERT_EQ(HAssignCopiedObjectStyleID(kCopyStyleByObject, thin, source.librarian, target.D(), target.librarian,
                                       &slot),
            S_OK);
  const DWORD copy = slot;
  ASSERT_NE(copy, 0u);
  WCHAR name[16] = {};
  DWORD length = 16;
  EXPECT_EQ(target->GetStyleName(copy, name, &length), S_OK);
  EXPECT_STREQ(name, L"Thin");
  EXPECT_EQ(target.UseCount(copy), 1u);
  EXPECT_EQ(source.UseCount(thin), 1u);

  // Once the target knows the name, the source library finds the entry by it; the engine hears of the assignment
  // unless the caller says it was told.
  for (const DWORD flags : {0ul, kCopyEngineTold}) {
    SCOPED_TRACE(flags);
    HostClearNotifications();
    slot = 0;
    ASSERT_EQ(HAssignCopiedObjectStyleID(flags, thin, source.librarian, target.D(), target.librarian, &slot), S_OK);
    EXPECT_EQ(slot, copy);
    EXPECT_EQ(target.UseCount(copy), 2u);
    const auto marks = styllib_test::NotificationsOf(HOST_MARK_MODIFIED);
    EXPECT_EQ(std::count_if(marks.begin(), marks.end(),
                            [&](const HostNotification& n) { return n.object == IdentityOf(target.librarian); }),
              flags & kCopyEngineTold ? 0 : 1);
    ASSERT_EQ(HSetStyleID(target.librarian, 0, &slot), S_OK);
  }

  // An element without a style stays without one; a missing source style is a failure that changes nothing.
  slot = 0;
  EXPECT_EQ(HAssignCopiedObjectStyleID(0, 0, source.librarian, target.D(), target.librarian, &slot), S_OK);
  EXPECT_EQ(slot, 0u);
  EXPECT_TRUE(FAILED(HAssignCopiedObjectStyleID(0, 999, source.librarian, target.D(), target.librarian, &slot)));
  EXPECT_EQ(slot, 0u);
  EXPECT_THAT(ReportedBy("styidspt"), SizeIs(1));
}

}  // namespace
}  // namespace stylspt_test

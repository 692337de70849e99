// The style creators: what each hands back for a built style, what the library creator adds to its library and
// in which order, and what it leaves behind when the library refuses.
#include <string>
#include <vector>

#include "display/style/wrkbnch/CStylCreator.h"
#include "tests/styllib/library_fixtures.h"
#include "tests/wrkbnch/workbench_fixtures.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using stylesrv_test::IdentityOf;

namespace {

constexpr char kCreators[] = "display/style/wrkbnch/CStylCr8";
constexpr GUID kType = STYLETYPE_Dash;

ULONG RefsOf(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

struct Made {
  HRESULT hr;
  DWORD id;
  IUnknown* style;  // a reference, or null
};

Made Make(CStylCreator& creator, bool top, IUnknown* style) {
  Made m{S_OK, 0xDEAD, reinterpret_cast<IUnknown*>(1)};
  m.hr = top ? creator.MakeTopStyle(style, kType, &m.id, &m.style) : creator.MakeStyle(style, kType, &m.id, &m.style);
  return m;
}

TEST(StyleCreatorTest, WithoutALibraryTheStyleComesBackAsItIs) {
  TestLineStyle* style = TestLineStyle::Create();
  CStylCreatorDirect direct;
  CStylCreatorLibrary library;
  EXPECT_EQ(direct.LibraryMode(), 0u);
  EXPECT_EQ(library.LibraryMode(), 1u);
  for (CStylCreator* creator : {static_cast<CStylCreator*>(&direct), static_cast<CStylCreator*>(&library)}) {
    for (bool top : {false, true}) {
      for (IUnknown* given : {style->Unknown(), static_cast<IUnknown*>(nullptr)}) {
        SCOPED_TRACE(std::to_string(creator->LibraryMode()) + (top ? " top" : "") + (given ? "" : " null"));
        library.SetPartOfMultiplexer(top);
        const Made m = Make(*creator, top, given);
        EXPECT_EQ(m.hr, S_OK);
        EXPECT_EQ(m.id, 0u);
        EXPECT_EQ(m.style, given);
        if (given) {
          EXPECT_EQ(RefsOf(given), 2u);
          m.style->Release();
        }
      }
    }
  }
  // The base class makes nothing and touches nothing.
  CStylCreator base;
  for (bool top : {false, true}) {
    const Made m = Make(base, top, style->Unknown());
    EXPECT_EQ(m.hr, E_NOTIMPL);
    EXPECT_EQ(m.id, 0xDEADu);
    EXPECT_EQ(m.style, reinterpret_cast<IUnknown*>(1));
  }
  DWORD id = 0;
  EXPECT_EQ(direct.MakeStyle(style->Unknown(), kType, &id, nullptr), E_POINTER);
  EXPECT_EQ(RefsOf(style->Unknown()), 1u);
  style->Release();
}

TEST(StyleCreatorTest, TheLibraryCreatorAddsANamelessEntryAndHandsOutTheLibrarysObject) {
  stylesrv_test::ClearReports();
  HostClearNotifications();
  StyleComPtr<RecordingLibrarian> lib(RecordingLibrarian::Create());
  lib->logsMarks = true;
  TestLineStyle* style = TestLineStyle::Create();
  CStylCreatorLibrary creator;
  creator.SetLibraries(lib->Librarian(), lib->Librarian());
  creator.SetLibraries(nullptr, nullptr);  // keeps both
  ASSERT_EQ(creator.Library(), lib->Librarian());

  // Outside a multiplexer the outermost style is not added; inside, it is, as every inner style is.
  Made m = Make(creator, true, style->Manage());
  EXPECT_EQ(m.hr, S_OK);
  EXPECT_EQ(m.id, 0u);
  EXPECT_THAT(lib->Calls(), IsEmpty());
  m.style->Release();
  for (bool top : {false, true}) {
    SCOPED_TRACE(top ? "MakeTopStyle" : "MakeStyle");
    lib->log.clear();
    creator.SetPartOfMultiplexer(true);
    m = Make(creator, top, style->Manage());
    ASSERT_EQ(m.hr, S_OK);
    EXPECT_EQ(m.id, lib->Count());
    EXPECT_THAT(lib->Calls(),
                ElementsAre("MarkObjectModified", "AddStyle(0)", "GetStyle(" + std::to_string(m.id) + ")"));
    const RecordingLibrarian::Entry& entry = lib->At(m.id);
    EXPECT_EQ(entry.object, style->Unknown());  // the record carried the style's identity
    EXPECT_EQ(entry.type, kType);
    EXPECT_TRUE(entry.name.empty());
    EXPECT_EQ(entry.parentID, 0u);
    EXPECT_EQ(IdentityOf(m.style), entry.object);
    m.style->Release();
  }

  // A refusal leaves both outputs empty: the library's own failure unreported, a success without an ID and a
  // failed fetch of the new entry's object reported.
  struct Refusal {
    const char* failing;
    HRESULT answer;
    bool reported;
  } refusals[] = {{"AddStyle", E_ACCESSDENIED, false}, {nullptr, E_FAIL, true}, {"GetStyle", E_OUTOFMEMORY, true}};
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.failing ? r.failing : "no ID");
    stylesrv_test::ClearReports();
    lib->failures.clear();
    if (r.failing) lib->failures[r.failing] = r.answer;
    lib->addGivesNoID = !r.failing;
    const ULONG refs = RefsOf(style->Unknown());
    m = Make(creator, false, style->Unknown());
    EXPECT_EQ(m.hr, r.answer);
    EXPECT_EQ(m.id, 0u);
    EXPECT_EQ(m.style, nullptr);
    EXPECT_EQ(RefsOf(style->Unknown()), refs + (r.failing && std::string(r.failing) == "GetStyle" ? 1 : 0));
    const std::vector<PellowReport> reports = stylesrv_test::Reports();
    EXPECT_EQ(!reports.empty() && std::string(reports.back().source) == kCreators, r.reported);
  }
  lib->failures.clear();
  lib->addGivesNoID = false;
  style->Release();
}

// The real library shares an equal nameless style: the creator hands out the library's object, not its own.
TEST(StyleCreatorTest, AnEqualNamelessStyleOfTheLibraryIsHandedOutInstead) {
  styllib_test::TestLibrary library;
  const DWORD first = library.AddLine(nullptr, 5, 0, kType);
  TestLineStyle* style = TestLineStyle::Create(5);
  CStylCreatorLibrary creator;
  creator.SetLibraries(library.librarian, library.librarian);
  const Made m = Make(creator, false, style->Unknown());
  EXPECT_EQ(m.hr, S_OK);
  EXPECT_EQ(m.id, first);
  StyleComPtr<IUnknown> existing;
  ASSERT_EQ(library->GetStyle(first, existing.Put()), S_OK);
  EXPECT_EQ(IdentityOf(m.style), IdentityOf(existing.Get()));
  EXPECT_NE(IdentityOf(m.style), style->Unknown());
  m.style->Release();
  style->Release();
}

}  // namespace

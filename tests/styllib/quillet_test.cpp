// The diagnostic hook: with the test build of Quillet beside stylesrv.dll it hears of everything a library
// does to its entries; without it the library does the same and nothing else changes.
#include "tests/styllib/library_fixtures.h"

using styllib_test::IdentityOf;
using styllib_test::QuilletRecord;
using styllib_test::TestLibrary;

namespace {

std::string Describe(const QuilletCall& call) {
  static const char* const kinds[] = {"created", "destroyed", "added", "use",
                                      "hold",    "freed",     "load begins", "load ends"};
  std::string text = call.kind < 8 ? kinds[call.kind] : "?";
  if (call.kind == QUILLET_ENTRY_ADDED || call.kind == QUILLET_USE_COUNT || call.kind == QUILLET_HOLD_COUNT ||
      call.kind == QUILLET_ENTRY_FREED) {
    text += " " + std::to_string(call.id);
  }
  if (call.kind == QUILLET_USE_COUNT || call.kind == QUILLET_HOLD_COUNT) text += "=" + std::to_string(call.count);
  if (call.kind == QUILLET_ENTRY_ADDED && call.named) text += " named";
  return text;
}

std::vector<std::string> Describe(const std::vector<QuilletCall>& calls) {
  std::vector<std::string> text;
  for (const QuilletCall& call : calls) text.push_back(Describe(call));
  return text;
}

TEST(QuilletTest, TheHookHearsWhatTheLibraryDoesAndNothingChangesWithoutIt) {
  // stylesrv.dll loads Quillet when there is one.
  stylesrv_test::ServerModule server;
  QuilletRecord record;
  // Libraries of earlier tests may have had the same address.
  record.Clear();
  IUnknown* identity = nullptr;
  DWORD kept = 0;
  {
    TestLibrary library(false);
    ASSERT_NE(library.librarian, nullptr);
    identity = IdentityOf(library.librarian);
    const DWORD named = library.AddLine(L"Solid");
    const DWORD unnamed = library.AddLine(nullptr, 2);
    ASSERT_EQ(library->AddRefStyleID(named), S_OK);
    ASSERT_EQ(library->AddRefStyleID2(named), S_OK);
    ASSERT_EQ(library->ReleaseStyleID2(named), S_OK);
    ASSERT_EQ(library->ReleaseStyleID(named), S_OK);
    ASSERT_EQ(library->AddRefStyleID(unnamed), S_OK);
    ASSERT_EQ(library->ReleaseStyleID(unnamed), S_OK);
    library->GetKeptStyleCount(&kept);
    EXPECT_EQ(library.StyleCount(), 1u);
  }
  EXPECT_EQ(kept, 1u);
#ifdef STYLLIB_WITH_QUILLET
  ASSERT_TRUE(record.present()) << "Quillet.dll should lie beside stylesrv.dll in this run";
#else
  ASSERT_FALSE(record.present()) << "Quillet.dll should not be found in this run";
#endif
  if (!record.present()) return;
  const std::vector<QuilletCall> calls = record.CallsAbout(identity);
  EXPECT_THAT(Describe(calls),
              ::testing::ElementsAre("created", "added 1 named", "added 2", "use 1=1", "hold 1=1", "hold 1=0",
                                     "use 1=0", "use 2=1", "use 2=0", "freed 2", "destroyed"));
  // Without a document the library keeps its styles under the no-document ID.
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[1].count, kPersistentIDNoDocument);
  record.Clear();
}

}  // namespace

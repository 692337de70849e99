// The line terminator inside the real style library: its point symbols drawn at the ends of a line, their uses
// taken, moved to another owner and copied into another library, and the symbols replaced under their IDs.
#include "display/style/styles/JStyleLineTerminator.h"
#include "tests/styllib/library_fixtures.h"
#include "tests/symbols/line_terminator_fixtures.h"

using styllib_test::TestLibrary;

namespace symbols_test {
namespace {

constexpr auto kStart = JStyleLineTerminator::kStart;

DWORD AddTo(TestLibrary& library, IUnknown* style, const wchar_t* name, const GUID& type = STYLETYPE_PointSymbol) {
  GUID typeCopy = type;
  StyleRecord record{const_cast<LPWSTR>(name), nullptr, IdentityOf(style), &typeCopy, 0, 0};
  DWORD id = 0;
  EXPECT_TRUE(SUCCEEDED(library->AddStyleNoCreate(&record, &id)));
  return id;
}

DWORD Named(TestLibrary& library, const wchar_t* name) {
  DWORD id = 0;
  EXPECT_EQ(library->FindStyleIDByName(name, &STYLETYPE_PointSymbol, &id), S_OK);
  return id;
}

TEST_F(LineTerminatorTest, TheTerminatorsAreUsesThatMoveCopyAndChange) {
  TestLibrary source, other;
  other.AddLine(L"Filler");  // the copies' IDs must differ from the originals'
  // Copied symbols go to the other document's cluster.
  IUnknown* cluster = Element();
  DWORD clusterID = 0;
  ASSERT_EQ(other.document->RegisterObject(cluster, &clusterID, nullptr), S_OK);
  ASSERT_EQ(HostDocumentSetNamedObject(other.document, L"StyleCluster", cluster), S_OK);
  PointSymbol arrow(server), bar(server), dot(server);
  for (PointSymbol* symbol : {&arrow, &bar}) ASSERT_EQ(symbol->style->SetGraphic(Element({-1, 0, 0, 0, 0, 0})), S_OK);
  const DWORD arrowID = AddTo(source, arrow.unknown.Get(), L"Arrow");
  const DWORD barID = AddTo(source, bar.unknown.Get(), L"Bar");
  Terminator t(server);
  AddTo(source, t.unknown.Get(), L"Arrow and bar", STYLETYPE_Linear);
  auto* style = AsStyle<JStyleLineTerminator>(t.unknown.Get());
  t.style->SetStartLength(2.0);
  t.style->SetEndLength(3.0);
  ASSERT_EQ(t.style->SetStartStyle(arrow.unknown.Get()), S_OK);
  ASSERT_EQ(t.style->SetEndStyle(bar.unknown.Get()), S_OK);
  EXPECT_EQ(source.UseCount(arrowID), 1u);
  EXPECT_EQ(source.UseCount(barID), 1u);
  IJStyleRender* cached = style->CachedStyle(kStart);
  ASSERT_EQ(t.style->SetStartStyleID(arrowID), S_OK);
  EXPECT_EQ(style->CachedStyle(kStart), cached);
  EXPECT_EQ(source.UseCount(arrowID), 1u);

  // Drawn: the symbols are turned by pi at the start and by 0 at the end, each moved to its end of the line.
  ASSERT_EQ(DrawTerminators(t.render.Get(), Points::Plain({0, 0, 0, 10, 0, 0})), S_OK);
  const std::vector<std::vector<double>> placed = Placements();
  ASSERT_EQ(placed.size(), 2u);
  const double axisAndPlace[2][4] = {{-1, 0, 0, 0}, {1, 0, 10, 0}};
  for (int i = 0; i < 2; ++i) {
    for (int k : {0, 1, 12, 13}) EXPECT_NEAR(placed[i][k], axisAndPlace[i][k < 12 ? k : k - 10], 1e-12) << i << k;
  }

  // Copied: the copy refers to copies of both symbols there, with the same lengths.
  DWORD copyID = 0;
  ASSERT_EQ(t.manage->CopyStyleToLibrary(source.librarian, other.librarian, other.document, &copyID), S_OK);
  const DWORD ids[2] = {Named(other, L"Arrow"), Named(other, L"Bar")};
  EXPECT_NE(ids[0], arrowID);
  StyleComPtr<IUnknown> copied;
  StyleComPtr<IJStyleLineTerminator> copy;
  ASSERT_EQ(other->GetStyle(copyID, copied.Put()), S_OK);
  ASSERT_EQ(copied->QueryInterface(IID_IJStyleLineTerminator, copy.PutVoid()), S_OK);
  DWORD got[2] = {};
  double lengths[2] = {};
  copy->GetStartStyleID(&got[0]), copy->GetEndStyleID(&got[1]);
  copy->GetStartLength(&lengths[0]), copy->GetEndLength(&lengths[1]);
  EXPECT_EQ(got[0], ids[0]);
  EXPECT_EQ(got[1], ids[1]);
  EXPECT_EQ(lengths[1], 3.0);
  EXPECT_EQ(other.UseCount(ids[0]), 1u);
  EXPECT_EQ(source.UseCount(arrowID), 1u);

  // Cloned: the lengths only.
  StyleComPtr<IUnknown> cloned;
  StyleComPtr<IJStyleLineTerminator> clone;
  ASSERT_EQ(t.persist->Clone(nullptr, cloned.Put()), S_OK);
  ASSERT_EQ(cloned->QueryInterface(IID_IJStyleLineTerminator, clone.PutVoid()), S_OK);
  StyleComPtr<IUnknown> none;
  EXPECT_EQ(clone->GetStartStyle(none.Put()), S_OK);
  EXPECT_EQ(none.Get(), nullptr);
  clone->GetEndStyleID(&got[1]), clone->GetStartLength(&lengths[0]);
  EXPECT_EQ(got[1], 0u);
  EXPECT_EQ(lengths[0], 2.0);

  // Replaced under its ID: the cached terminator gives way to the new style.
  ASSERT_EQ(source->ReplaceStyle(arrowID, IdentityOf(dot.unknown.Get())), S_OK);
  StyleComPtr<IUnknown> now;
  ASSERT_EQ(t.style->GetStartStyle(now.Put()), S_OK);
  EXPECT_EQ(IdentityOf(now.Get()), IdentityOf(dot.unknown.Get()));

  // Moved to another owner: both uses go back and are taken there, where the symbol is known by its name.
  Terminator moved(server);
  ASSERT_EQ(moved.manage->SetLibrarian(source.librarian), S_OK);
  ASSERT_EQ(moved.style->SetStartStyleID(barID), S_OK);
  ASSERT_EQ(moved.style->SetEndStyleID(barID), S_OK);
  EXPECT_EQ(source.UseCount(barID), 3u);
  ASSERT_EQ(moved.manage->SetLibrarian(other.librarian), S_OK);
  EXPECT_EQ(source.UseCount(barID), 1u);
  EXPECT_EQ(other.UseCount(ids[1]), 3u);
  moved.style->GetStartStyleID(&got[0]), moved.style->GetEndStyleID(&got[1]);
  EXPECT_EQ(got[0], ids[1]);
  EXPECT_EQ(got[1], ids[1]);
  ASSERT_EQ(moved.manage->SetLibrarian(nullptr), S_OK);
  EXPECT_EQ(other.UseCount(ids[1]), 1u);
}

}  // namespace
}  // namespace symbols_test

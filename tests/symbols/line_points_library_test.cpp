// The line point generator in a real style library: the uses its entries hold, moved to a new owner and copied
// with it to another library, its clone and comparison, and the generator as the client of a simple dash type
// that places point symbols along a line with a corner.
#include "display/style/styles/LineStyleShared.h"
#include "tests/styllib/library_fixtures.h"
#include "tests/symbols/line_points_fixtures.h"

using ::testing::ElementsAre;

namespace line_points_test {
namespace {

using styllib_test::TestLibrary;

class LinePointsLibraryTest : public symbols_test::PointSymbolTest {
 protected:
  // Adds a style under a name, so that the library never takes it for an equal one it has.
  static DWORD AddNamed(const TestLibrary& library, IUnknown* style, const wchar_t* name, const GUID& type) {
    GUID typeCopy = type;
    StyleRecord record{const_cast<LPWSTR>(name), nullptr, style, &typeCopy, 0, 0};
    DWORD id = 0;
    EXPECT_EQ(library->AddStyleNoCreate(&record, &id), S_OK);
    return id;
  }
};

std::vector<DWORD> g_refs;
HRESULT WINAPI CollectRef(DWORD id) {
  g_refs.push_back(id);
  return S_OK;
}

TEST_F(LinePointsLibraryTest, EntriesHoldOneUseEachThatMovesAndCopiesWithThem) {
  TestLibrary library;
  symbols_test::PointSymbol a(server), b(server);
  const DWORD idA = AddNamed(library, a.unknown.Get(), L"A", STYLETYPE_PointSymbol);
  const DWORD idB = AddNamed(library, b.unknown.Get(), L"B", STYLETYPE_PointSymbol);

  // Set before the generator has an owner, the entry keeps the object; the owner then gives it its ID and use.
  Generator g(server);
  ASSERT_EQ(g.gen->SetSymbol(0, a.unknown.Get()), S_OK);
  AddNamed(library, g.unknown.Get(), L"Gen", STYLETYPE_LinePointGen);
  EXPECT_EQ(g.Style()->Entry(0).symbolID, idA);
  EXPECT_EQ(library.UseCount(idA), 1u);

  ASSERT_EQ(g.gen->SetSymbol(0, a.unknown.Get()), S_OK);
  ASSERT_EQ(g.gen->SetEntry(5, b.unknown.Get(), 0.5f, 0, 1, 0, 0, 0), S_OK);
  ASSERT_EQ(g.gen->SetEntryByID(1, idA, 0.5f, 0, 0, 0, 0, 0), S_OK);
  EXPECT_EQ(library.UseCount(idA), 2u);
  EXPECT_EQ(library.UseCount(idB), 1u);
  StyleComPtr<IJStylePointSymbol> handed;
  float fraction = 0;
  double along = 0, across = 0, angle = 0;
  DWORD absolute = 0, upright = 0;
  ASSERT_EQ(g.gen->GetEntry(1, handed.Put(), &fraction, &along, &across, &angle, &absolute, &upright), S_OK);
  EXPECT_EQ(IdentityOf(handed.Get()), IdentityOf(a.unknown.Get()));
  g_refs.clear();
  ASSERT_EQ(g.manage->EnumStyleRefs(&CollectRef), S_OK);
  EXPECT_THAT(std::vector<DWORD>(g_refs.begin(), g_refs.begin() + 6), ElementsAre(idA, idA, 0u, 0u, 0u, idB));

  // Removing gives the use back; so does replacing by ID.
  ASSERT_EQ(g.gen->RemoveSymbol(1), S_OK);
  EXPECT_EQ(library.UseCount(idA), 1u);
  ASSERT_EQ(g.gen->SetEntryByID(5, idA, 0.5f, 0, 1, 0, 0, 0), S_OK);
  EXPECT_EQ(library.UseCount(idB), 0u);
  EXPECT_EQ(library.UseCount(idA), 2u);

  // The copy in another library refers to copies of the symbols there, one use each.
  TestLibrary target;
  DWORD copyID = 0;
  ASSERT_EQ(g.manage->CopyStyleToLibrary(library.librarian, target.librarian, target.document, &copyID), S_OK);
  StyleComPtr<IUnknown> copied;
  ASSERT_EQ(target->GetStyle(copyID, copied.Put()), S_OK);
  auto* copy = StyleImplementationOf<JStyleLinePointGen>(copied.Get(), CLSID_JStyleLinePointGen);
  ASSERT_NE(copy, nullptr);
  ASSERT_EQ(copy->EntryCount(), 6u);
  const DWORD copiedSymbol = copy->Entry(0).symbolID;
  EXPECT_NE(copiedSymbol, kNoStyleID);
  EXPECT_EQ(copy->Entry(5).symbolID, copiedSymbol);
  EXPECT_EQ(target.UseCount(copiedSymbol), 2u);
  StyleComPtr<IUnknown> copiedA;
  ASSERT_EQ(target->GetStyle(copiedSymbol, copiedA.Put()), S_OK);
  EXPECT_NE(IdentityOf(copiedA.Get()), IdentityOf(a.unknown.Get()));
  EXPECT_EQ(copy->Entry(5).across, 1.0);
  EXPECT_EQ(library.UseCount(idA), 2u);
}

TEST_F(LinePointsLibraryTest, ClonesKeepPlacementsWithoutSymbolsAndCompareWithinTheTolerance) {
  TestLibrary library;
  symbols_test::PointSymbol a(server);
  const DWORD idA = AddNamed(library, a.unknown.Get(), L"A", STYLETYPE_PointSymbol);
  Generator g(server);
  AddNamed(library, g.unknown.Get(), L"Gen", STYLETYPE_LinePointGen);
  ASSERT_EQ(g.gen->SetEntryByID(5, idA, 0.25f, 1, 2, 3, 1, 0), S_OK);

  StyleComPtr<IUnknown> made;
  ASSERT_EQ(g.persist->Clone(nullptr, made.Put()), S_OK);
  auto* clone = AsStyle<JStyleLinePointGen>(made.Get());
  ASSERT_EQ(clone->EntryCount(), 6u);
  EXPECT_EQ(clone->Entry(5).symbolID, kNoStyleID);
  EXPECT_EQ(clone->Entry(5).symbol, nullptr);
  EXPECT_EQ(clone->Entry(5).across, 2.0);
  EXPECT_EQ(clone->Entry(5).absolute, 1u);
  EXPECT_EQ(library.UseCount(idA), 1u);
  BOOL same = TRUE;
  // The clone holds no symbol where the original holds one.
  ASSERT_EQ(g.manage->IsSameStyle(made.Get(), &same), S_OK);
  EXPECT_FALSE(same);

  const struct {
    const char* what;
    float fraction;
    double along;
    DWORD upright;
    LONG extraEntry;  // -1: none
    BOOL same;
  } cases[] = {
      {"equal", 0.25f, 1.0, 0, -1, TRUE},
      {"along within the tolerance", 0.25f, 1.0 + 1e-7, 0, -1, TRUE},
      {"along beyond it", 0.25f, 1.0 + 2e-7, 0, -1, FALSE},
      {"fraction beyond it", 0.2500003f, 1.0, 0, -1, FALSE},
      {"another flag", 0.25f, 1.0, 1, -1, FALSE},
      {"another count", 0.25f, 1.0, 0, 6, FALSE},
  };
  for (const auto& c : cases) {
    Generator mine(server), theirs(server);
    ASSERT_EQ(mine.gen->SetEntry(2, nullptr, 0.25f, 1.0, 2, 3, 1, 0), S_OK);
    ASSERT_EQ(theirs.gen->SetEntry(2, nullptr, c.fraction, c.along, 2, 3, 1, c.upright), S_OK);
    if (c.extraEntry >= 0) {
      ASSERT_EQ(theirs.gen->SetEntry(c.extraEntry, nullptr, 0, 0, 0, 0, 0, 0), S_OK);
    }
    same = !c.same;
    ASSERT_EQ(mine.manage->IsSameStyle(theirs.unknown.Get(), &same), S_OK) << c.what;
    EXPECT_EQ(same, c.same) << c.what;
  }
}

// A simple line whose dash type has the generator as its client, by ID: a symbol in the middle of every dash,
// turned along the piece of line it sits on.
TEST_F(LinePointsLibraryTest, ASimpleLineWithADashTypePlacesSymbolsAlongACorner) {
  TestLibrary library;
  symbols_test::PointSymbol point(server);
  ASSERT_EQ(point.style->SetUnits(13), S_OK);
  ASSERT_EQ(point.style->SetGraphic(Element({-1, 0, 0, 1, 0, 0})), S_OK);
  AddNamed(library, point.unknown.Get(), L"Tick", STYLETYPE_PointSymbol);
  Generator g(server);
  const DWORD genID = AddNamed(library, g.unknown.Get(), L"Ticks", STYLETYPE_LinePointGen);
  ASSERT_EQ(g.gen->SetUnits(13), S_OK);
  ASSERT_EQ(g.gen->SetEntry(0, point.unknown.Get(), 0.5f, 0, 0, 0, 0, 0), S_OK);

  StyleComPtr<IJStyleSimpleDashType> dash;
  ASSERT_EQ(styllib_test::CreateObject(server, CLSID_JStyleSimpleDashType, IID_IJStyleSimpleDashType,
                                       dash.PutVoid()),
            S_OK);
  const double lengths[] = {10, -10};
  tagStyleSimpleDashTypeData data{STYLE_UNITS_13, 2, lengths, DASH_MODE_REPEAT, 0.5, 0};
  ASSERT_EQ(dash->SetData(&data), S_OK);
  AddNamed(library, dash.Get(), L"Dashes", STYLETYPE_Dash);
  StyleComPtr<IJStyleDashType> clients;
  ASSERT_EQ(dash->QueryInterface(IID_IJStyleDashType, clients.PutVoid()), S_OK);
  ASSERT_EQ(clients->SetClientIDs(1, &genID), S_OK);
  EXPECT_EQ(library.UseCount(genID), 1u);

  StyleComPtr<IJStyleSimpleLine> line;
  ASSERT_EQ(styllib_test::CreateObject(server, CLSID_JStyleSimpleLine, IID_IJStyleSimpleLine, line.PutVoid()),
            S_OK);
  AddNamed(library, line.Get(), L"Ticked", STYLETYPE_Linear);
  ASSERT_EQ(line->SetUnits(13), S_OK);
  ASSERT_EQ(line->SetDashType(dash.Get()), S_OK);
  StyleComPtr<IJStyleRender> render;
  ASSERT_EQ(line->QueryInterface(IID_IJStyleRender, render.PutVoid()), S_OK);
  const symbols_test::Points corner = symbols_test::Points::Plain({0, 0, 0, 30, 0, 0, 30, 30, 0});
  ASSERT_EQ(Draw(render.Get(), corner, symbols_test::Context(1.0)), S_OK);

  std::vector<std::vector<double>> placed;  // x, y and the direction of the symbol's x axis
  for (const std::vector<double>& m : Placements()) placed.push_back({m[12], m[13], m[0], m[1]});
  ASSERT_EQ(placed.size(), 3u) << target.Svg();
  const std::vector<std::vector<double>> expected = {{5, 0, 1, 0}, {25, 0, 1, 0}, {30, 15, 0, 1}};
  for (std::size_t i = 0; i < placed.size(); ++i) {
    EXPECT_THAT(placed[i], ::testing::Pointwise(::testing::DoubleNear(1e-9), expected[i])) << i;
  }
  EXPECT_NE(target.Svg().find("<polyline"), std::string::npos);
}

}  // namespace
}  // namespace line_points_test

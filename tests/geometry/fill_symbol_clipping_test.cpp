// Symbol polygons cut to the boundary: the polygons of chosen elements, what touches without area, damaged input,
// and the polygon blocks across calls and failures. The oracle test checks random cuts against GEOS.
#include <cmath>
#include <limits>
#include <vector>

#include "geometry/fill_test_support.h"
#include "tests/geometry/fill_fixtures.h"

namespace {

using Points = std::vector<std::pair<double, double>>;

// An element from its corners: bottom-left, bottom-right, top-right, top-left.
TileGenElement Element(const Points& c) {
  TileGenElement e{std::fmin(c[0].first, c[3].first), c[0].second, std::fmax(c[1].first, c[2].first), c[2].second, {}};
  for (int k = 0; k < 4; ++k) {
    const auto& a = c[k];
    const auto& b = c[(k + 1) % 4];
    e.sides[k][0] = a.first, e.sides[k][1] = a.second, e.sides[k][2] = b.first, e.sides[k][3] = b.second;
  }
  return e;
}

TileGenElement Square(double x, double y, double side) {
  return Element({{x, y}, {x + side, y}, {x + side, y + side}, {x, y + side}});
}

// Every polygon of one call, as it was handed out.
std::vector<Points> Polygons(TileGen& gen, const std::vector<TileGenElement>& elements, FillTrap& trap,
                             FillResult expected = kFillOk) {
  std::vector<Points> all;
  std::uint32_t count = 0, n = 0;
  const GPosition* p = nullptr;
  EXPECT_EQ(gen.ClipPieceElements(elements.data(), static_cast<std::uint32_t>(elements.size()), &count, &p, &n, &trap),
            expected);
  for (bool more = count > 0; more; more = gen.NextClipPolygon(&p, &n)) {
    all.emplace_back();
    for (std::uint32_t k = 0; k < n; ++k) {
      all.back().emplace_back(p[k].x, p[k].y);
      EXPECT_EQ(p[k].z, 0.0);
    }
  }
  EXPECT_EQ(all.size(), count);
  return all;
}

TEST(FillSymbolClippingTest, PolygonsOfChosenElements) {
  const Boundary square{{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  const Boundary ell{{0, 0}, {4, 0}, {4, 2}, {2, 2}, {2, 4}, {0, 4}};
  // Ten teeth [2k, 2k + 1] x [1, 3] on a base [0, 19] x [0, 1]: ten trapezoids in the row at y = 1.
  Boundary comb;
  {
    Points loop{{0, 0}, {19, 0}};
    for (int k = 9; k >= 0; --k) {
      const double x = 2.0 * k;
      loop.insert(loop.end(), {{x + 1, 3}, {x, 3}, {x, 1}, {x - 1, 1}});
    }
    loop.pop_back();
    comb.Loop(loop);
  }
  const struct {
    const char* name;
    const Boundary& boundary;
    TileGenElement element;
    std::vector<Points> polygons;
  } cases[] = {
      {"inside one trapezoid", square, Square(2, 2, 1), {{{2, 2}, {3, 2}, {3, 3}, {2, 3}, {2, 2}}}},
      {"half across an edge", square, Square(9.5, 2, 1), {{{9.5, 2}, {10, 2}, {10, 3}, {9.5, 3}, {9.5, 2}}}},
      {"across a corner: the trapezoid below and the one above",
       ell,
       Square(1.5, 1.5, 1),
       {{{1.5, 1.5}, {2.5, 1.5}, {2.5, 2}, {1.5, 2}, {1.5, 1.5}}, {{2, 2.5}, {1.5, 2.5}, {1.5, 2}, {2, 2}, {2, 2.5}}}},
      {"a cut 4e-8 from a corner joins it",
       square,
       Element({{2, 2}, {10 - 2e-7, 2}, {15, 3}, {2, 3}}),
       {{{2, 2}, {10 - 2e-7, 2}, {10, 3}, {2, 3}, {2, 2}}}},
      {"across three teeth of ten in a row, from inside the first to inside the last",
       comb,
       Square(4.5, 1.5, 4),
       {{{4.5, 1.5}, {5, 1.5}, {5, 3}, {4.5, 3}, {4.5, 1.5}},
        {{6, 1.5}, {7, 1.5}, {7, 3}, {6, 3}, {6, 1.5}},
        {{8, 1.5}, {8.5, 1.5}, {8.5, 3}, {8, 3}, {8, 1.5}}}},
      {"touching along an edge", square, Square(10, 2, 1), {}},
      {"touching at a corner", square, Square(10, 10, 1), {}},
      {"triangle with its point on the boundary", square, Element({{5, -1}, {5, -1}, {6, 0}, {4, 0}}), {}},
  };
  for (const auto& c : cases) {
    FillTrap trap;
    ASSERT_EQ(trap.Build(c.boundary.data(), c.boundary.size()), kFillOk);
    TileGen gen;
    const std::vector<Points> got = Polygons(gen, {c.element}, trap);
    ASSERT_EQ(got.size(), c.polygons.size()) << c.name;
    for (std::size_t i = 0; i < got.size(); ++i) {
      ASSERT_EQ(got[i].size(), c.polygons[i].size()) << c.name;
      for (std::size_t k = 0; k < got[i].size(); ++k) {
        EXPECT_NEAR(got[i][k].first, c.polygons[i][k].first, 1e-12) << c.name << " " << i << ":" << k;
        EXPECT_NEAR(got[i][k].second, c.polygons[i][k].second, 1e-12) << c.name << " " << i << ":" << k;
      }
    }
  }
}

// 200 squares give two blocks; a second call reuses them; a failing second block keeps the first 128;
// damaged input is refused.
TEST(FillSymbolClippingTest, BlocksAcrossCallsAndFailures) {
  const Boundary square{{0, 0}, {100, 0}, {100, 100}, {0, 100}};
  FillTrap trap;
  ASSERT_EQ(trap.Build(square.data(), square.size()), kFillOk);
  std::vector<TileGenElement> many;
  for (int i = 0; i < 200; ++i) many.push_back(Square(i % 20 * 4 + 1, i / 20 * 4 + 1, 2));
  TileGen gen;
  std::vector<Points> got = Polygons(gen, many, trap);
  ASSERT_EQ(got.size(), 200u);
  EXPECT_EQ(got[199].front(), got[199].back());
  EXPECT_EQ(got[199][2], std::make_pair(79.0, 39.0));
  FillAllocFailAt(1);
  got = Polygons(gen, std::vector<TileGenElement>(many.begin(), many.begin() + 130), trap);
  EXPECT_EQ(FillAllocFailPending(), 1);  // the blocks were reused
  FillAllocFailAt(0);
  EXPECT_EQ(got.size(), 130u);

  ClearFillReports();
  TileGen failing;
  FillAllocFailAt(2);
  EXPECT_EQ(Polygons(failing, many, trap, kFillOutOfMemory).size(), 128u);
  FillAllocFailAt(0);
  TileGenElement damaged = Square(1, 1, 1);
  damaged.sides[2][1] = std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(Polygons(failing, {Square(1, 1, 1), damaged}, trap, kFillInvalidArg).size() == 1);
  std::uint32_t count = 0, n = 0;
  const GPosition* p = nullptr;
  EXPECT_EQ(failing.ClipPieceElements(many.data(), 1, &count, &p, &n, nullptr), kFillInvalidArg);
  ASSERT_EQ(FillReports().size(), 3u);
  for (const FillReportSeen& r : FillReports()) EXPECT_EQ(r.source, "FILLPCLP");
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "bspline/measure.h"
#include "tests/bspline/curve_fixtures.h"
#include "tests/bspline/intersection_call.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// The final step on hand-made accumulators, two open lines over [0, 10] as the curves. Points are given by x
// (y = z = 0) with their parameters; overlaps by their end x, parameters on curve 1 and on curve 2.
TEST(IntersectionResults, SortedMergedAndPlaced) {
  TestCurve line(2, {0, 0, 0, 10, 0, 0}, {0, 0, 10, 10});
  struct Case {
    const char *what;
    BSboolean by_dist, swapped;
    int int_size;
    std::vector<double> x, par1, par2, over_x, over1, over2;
    int rc;
    std::vector<double> out1, out2, out_over1, out_over2;  // the results as written (parameter slots 1 and 2)
  } const cases[] = {
      {"found twice, by distance", 1, 0, 5, {3 + 1e-7, 3}, {3.1, 3.2}, {4, 4}, {}, {}, {}, 0, {3.2}, {4}, {}, {}},
      {"found twice, by parameters", 0, 0, 5, {3 + 1e-7, 3}, {3, 3 + 1e-9}, {4, 4}, {}, {}, {}, 0,
       {3 + 1e-9}, {4}, {}, {}},
      {"apart on curve 2", 0, 0, 5, {3, 3}, {3, 3}, {4, 6}, {}, {}, {}, 0, {3, 3}, {4, 6}, {}, {}},
      {"on an overlap", 0, 0, 5, {1, 5, 9}, {1, 5, 9}, {1, 5, 9}, {4, 6}, {4, 6}, {4, 6}, 0, {1, 9}, {1, 9}, {4, 6},
       {4, 6}},
      {"on a backward overlap", 0, 0, 5, {1, 5, 9}, {1, 5, 9}, {1, 5, 9}, {4, 6}, {4, 6}, {6, 4}, 0, {1, 9}, {1, 9},
       {4, 6}, {6, 4}},
      {"beside an overlap on curve 2", 0, 0, 5, {5}, {5}, {8}, {4, 6}, {4, 6}, {4, 6}, 0, {5}, {8}, {4, 6}, {4, 6}},
      {"on it by distance", 1, 0, 5, {5}, {5}, {8}, {4, 6}, {4, 6}, {4, 6}, 0, {}, {}, {4, 6}, {4, 6}},
      {"touching overlaps", 0, 0, 5, {}, {}, {}, {6, 8, 2, 6}, {6, 8, 2, 6}, {6, 8, 2, 6}, 0, {}, {}, {2, 8}, {2, 8}},
      {"touching, backward", 0, 0, 5, {}, {}, {}, {6, 8, 2, 6}, {6, 8, 2, 6}, {6, 4, 8, 6}, 0, {}, {}, {2, 8},
       {8, 4}},
      // The second starts where the first ends in space, but not in curve 2's parameter: another pass there.
      {"touching in space only", 0, 0, 5, {}, {}, {}, {2, 4, 4, 6}, {2, 4, 4, 6}, {2, 4, 6, 8}, 0, {}, {},
       {2, 4, 4, 6}, {2, 4, 6, 8}},
      {"touching, turning", 0, 0, 5, {}, {}, {}, {2, 6, 6, 8}, {2, 6, 6, 8}, {2, 6, 6, 4}, 0, {}, {}, {2, 6, 6, 8},
       {2, 6, 6, 4}},
      {"swapped", 0, 1, 5, {1, 2, 3}, {1, 2, 3}, {9, 7, 8}, {1, 3}, {1, 3}, {6, 4}, 0, {2, 3, 1}, {7, 8, 9}, {3, 1},
       {4, 6}},
      {"no room", 0, 0, 2, {1, 2, 3}, {1, 2, 3}, {1, 2, 3}, {}, {}, {}, 0, {1, 2, 3}, {1, 2, 3}, {}, {}},
      {"NaN", 0, 0, 5, {1, 2}, {1, kNaN}, {1, 2}, {}, {}, {}, -2, {}, {}, {}, {}},
  };
  for (const Case &c : cases) {
    const int live = BSdbgliveblocks();
    {
      std::vector<double> pts, over_pts;
      for (double x : c.x) pts.insert(pts.end(), {x, 0, 0});
      for (double x : c.over_x) over_pts.insert(over_pts.end(), {x, 0, 0});
      CallResults r(c.int_size, 1);
      r.sort(&line.cv, &line.cv, c.by_dist, c.swapped, 1e-6, 1e-6, pts, c.par1, c.par2, over_pts, c.over1, c.over2);
      ASSERT_EQ(r.rc, c.rc) << c.what;
      ASSERT_EQ(r.n_int, static_cast<int>(c.out1.size())) << c.what;
      ASSERT_EQ(r.n_over, static_cast<int>(c.out_over1.size() / 2)) << c.what;
      EXPECT_EQ(r.int_alloc, r.n_int > c.int_size) << c.what;
      EXPECT_EQ(r.over_alloc, r.n_over > 1) << c.what;
      if (r.int_alloc) {
        EXPECT_TRUE(CallResults::unwritten(r.ip)) << c.what;
      }
      for (int k = 0; k < r.n_int; ++k) {
        EXPECT_EQ(r.par1()[k], c.out1[k]) << c.what << " " << k;
        EXPECT_EQ(r.par2()[k], c.out2[k]) << c.what << " " << k;
      }
      for (int k = 0; k < 2 * r.n_over; ++k) {
        EXPECT_EQ(r.over_par1()[k], c.out_over1[k]) << c.what << " " << k;
        EXPECT_EQ(r.over_par2()[k], c.out_over2[k]) << c.what << " " << k;
        EXPECT_EQ(r.over_pts()[3 * k], c.out_over1[k]) << c.what << " " << k;
      }
    }
    EXPECT_EQ(BSdbgliveblocks(), live) << c.what;
  }
}

// A point found at the end of a closed curve's range, beside an overlap that ends at its start, moves to the start.
TEST(IntersectionResults, SeamOfAClosedCurve) {
  TestCurve ring(2, {0, 0, 0, 4, 0, 0, 4, 4, 0, 0, 4, 0, 0, 0, 0}, {0, 0, 1, 2, 3, 4, 4});
  ring.cv.phy_closed = 1;
  TestCurve line(2, {-1, 0, 0, 10, 0, 0}, {0, 0, 11, 11});
  const std::vector<double> pts = {0, 0, 0}, over_pts = {0, 0, 0, 2, 0, 0};
  CallResults r(5, 5);
  r.sort(&ring.cv, &line.cv, BSFALSE, BSFALSE, 1e-6, 1e-6, pts, {4}, {2}, over_pts, {0, 0.5}, {1, 3});
  ASSERT_EQ(r.rc, 0);
  ASSERT_EQ(r.n_int, 1);
  EXPECT_EQ(r.par1()[0], 0);
}

// A range-tree query over a chain of 450 unit steps along x: only the leaves whose boxes meet the box, also past
// the first block of the candidate list; a leaf found has its count set.
TEST(IntersectionResults, RangeTreeQuery) {
  std::vector<double> chain;
  for (int i = 0; i <= 450; ++i) chain.insert(chain.end(), {static_cast<double>(i), 0, 0});
  double all_lo[3] = {-1, -1, -1}, all_hi[3] = {500, 1, 1};
  int levels = 0, counts[BSRANGE_MAX_LEVELS], rc = 1;
  BSrangenode *tree[BSRANGE_MAX_LEVELS];
  BScvrngtree(451, chain.data(), nullptr, all_lo, all_hi, BSTRUE, &levels, counts, tree, &rc);
  ASSERT_EQ(rc, 0);
  struct Case {
    double box[6];
    int first, count;
  } const cases[] = {
      {{10.5, -1, -1, 12.5, 1, 1}, 10, 3}, {{-5, -1, -1, 500, 1, 1}, 0, 450}, {{10.5, 0.5, -1, 12.5, 1, 1}, 0, 0},
      {{449.5, 0, 0, 449.5, 0, 0}, 449, 1}, {{kNaN, 0, 0, 1, 1, 1}, -2, 0},
  };
  for (const Case &c : cases) {
    int n = 0, *found = static_cast<int *>(BSdbgmalloc(200 * sizeof(int)));
    BScvcmp_rng(c.box, levels, tree, 0, &n, &found, &rc);
    EXPECT_EQ(rc, c.first < 0 ? c.first : 0);
    ASSERT_EQ(n, c.count) << c.box[0];
    for (int k = 0; k < n; ++k) {
      EXPECT_EQ(found[k], c.first + k);
      EXPECT_EQ(tree[0][found[k]].count, 1);
    }
    BSdbgfree(found);
  }
  for (int l = 0; l < levels; ++l) BSdbgfree(tree[l]);
}

}  // namespace

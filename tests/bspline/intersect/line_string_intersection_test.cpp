#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "bspline/core/test_support.h"
#include "tests/bspline/curve_fixtures.h"
#include "tests/bspline/intersection_call.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(LineStringIntersection, TwoSegments) {
  struct Case {
    const char *what;
    double s1[6], s2[6], k1[4];
    int int_size, over_size, rc, n_int, n_over;
    BSboolean allocated;
    double pts[6], par1[2], par2[2];
  } const cases[] = {
      {"crossing", {0, 0, 0, 2, 0, 0}, {1, -1, 0, 1, 1, 0}, {0, 0, 1, 1}, 1, 1, 0, 1, 0, 0, {1, 0, 0}, {0.5}, {0.5}},
      {"on its knots", {0, 0, 0, 2, 0, 0}, {1, -1, 0, 1, 1, 0}, {2, 2, 6, 6}, 1, 1, 0, 1, 0, 0, {1, 0, 0}, {4}, {0.5}},
      {"no room", {0, 0, 0, 2, 0, 0}, {1, -1, 0, 1, 1, 0}, {0, 0, 1, 1}, 0, 2, 0, 1, 0, 1, {1, 0, 0}, {0.5}, {0.5}},
      {"end to start", {0, 0, 0, 1, 0, 0}, {1, 0, 0, 1, 1, 0}, {0, 0, 1, 1}, 1, 1, 0, 1, 0, 0, {1, 0, 0}, {1}, {0}},
      {"crossing by an end",
       {0, 0, 0, 1, 0, 0}, {1 - 1e-7, -1, 0, 1 - 1e-7, 1, 0}, {0, 0, 1, 1}, 1, 1, 0, 1, 0, 0,
       {1 - 1e-7, 0, 0}, {1 - 1e-7}, {0.5}},
      {"overlap, one slot",
       {0, 0, 0, 2, 0, 0}, {3, 0, 0, 1, 0, 0}, {0, 0, 1, 1}, 1, 1, 0, 0, 1, 1, {1, 0, 0, 2, 0, 0}, {0.5, 1},
       {1, 0.5}},
      {"overlap, two slots",
       {0, 0, 0, 2, 0, 0}, {3, 0, 0, 1, 0, 0}, {0, 0, 1, 1}, 1, 2, 0, 0, 1, 0, {1, 0, 0, 2, 0, 0}, {0.5, 1},
       {1, 0.5}},
      // The far end of the first maps onto its last knot only up to rounding.
      {"overlap to a far knot",
       {0, 0, 0, 2, 0, 0}, {0, 0, 0, 2, 0, 0}, {-10, -10, -0.95, -0.95}, 1, 2, 0, 0, 1, 0, {0, 0, 0, 2, 0, 0},
       {-10, -0.95}, {0, 1}},
      {"apart", {0, 0, 0, 1, 0, 0}, {0, 1e-5, 0, 1, 1e-5, 0}, {0, 0, 1, 1}, 1, 2, 0, 0, 0, 0, {}, {}, {}},
      {"short segment", {1, 0, 0, 1, 5e-7, 0}, {0, 0, 0, 2, 0, 0}, {0, 0, 1, 1}, 1, 2, 0, 0, 0, 0, {}, {}, {}},
      {"NaN", {0, 0, 0, 2, kNaN, 0}, {1, -1, 0, 1, 1, 0}, {0, 0, 1, 1}, 1, 1, -2, 0, 0, 0, {}, {}, {}},
  };
  const double k2[4] = {0, 0, 1, 1};
  for (const Case &c : cases) {
    const int live = BSdbgliveblocks();
    {
      CallResults r(c.int_size, c.over_size);
      r.lnln(c.s1, c.s2, c.k1, k2);
      ASSERT_EQ(r.rc, c.rc) << c.what;
      ASSERT_EQ(r.n_int, c.n_int) << c.what;
      ASSERT_EQ(r.n_over, c.n_over) << c.what;
      const int n = c.n_int + 2 * c.n_over;
      const double *pts = c.n_over ? r.over_pts() : r.pts(), *p1 = c.n_over ? r.over_par1() : r.par1(),
                   *p2 = c.n_over ? r.over_par2() : r.par2();
      EXPECT_EQ(c.n_over ? r.over_alloc : r.int_alloc, c.allocated) << c.what;
      if (c.allocated) {
        EXPECT_TRUE(c.n_over ? CallResults::unwritten(r.op) : CallResults::unwritten(r.ip)) << c.what;
      }
      for (int k = 0; k < n; ++k) {
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(pts[3 * k + i], c.pts[3 * k + i], 1e-12) << c.what;
        EXPECT_NEAR(p1[k], c.par1[k], 1e-12) << c.what;
        EXPECT_NEAR(p2[k], c.par2[k], 1e-12) << c.what;
        EXPECT_TRUE(p1[k] >= c.k1[1] && p1[k] <= c.k1[2] && p2[k] >= k2[1] && p2[k] <= k2[2]) << c.what;
      }
    }
    EXPECT_EQ(BSdbgliveblocks(), live) << c.what;
  }
}

// Two strings, every result as (parameter on the first, on the second): points, then overlaps as their end pairs.
TEST(LineStringIntersection, TwoStrings) {
  struct Case {
    const char *what;
    TestCurve a, b;
    int n_int, n_over;
    std::vector<double> results;
  } const cases[] = {
      // Over a double knot the string jumps: the chord between the poles on either side is no part of it.
      {"no crossing on a jump",
       TestCurve(2, {-2, -2, 0, -1, 1, 0, 1, -1, 0, 2, 2, 0}, {0, 0, 1, 1, 2, 2}),
       TestCurve(2, {-3, 0, 0, 3, 0, 0}, {0, 0, 1, 1}), 2, 0, {2. / 3, 5. / 18, 4. / 3, 13. / 18}},
      // Up and down one line against a string that runs up a part of it and down the rest: a stretch that starts
      // where the previous one ended, but on another lap of the first string, is an overlap of its own.
      {"stretches of two laps",
       TestCurve(2, {-5.5, 0, 0, -15, -15, 0, -15, 0, 0, -15, -15, 0, 0, 3, 0}, {0, 0, 1, 2, 3, 4, 4}),
       TestCurve(2, {-15, -8.625, 0, -15, -5, 0, -15, -15, 0, -15, -15, 0, -8.5, -6.75, 0},
                 {2, 2, 8.65625, 9.65625, 10.65625, 11.65625, 11.65625}),
       2, 4, {1, 10.65625, 3, 10.65625,  // the foot of both, where the overlaps start and end
              1, 5. / 3, 9.65625, 8.65625, 1.425, 5. / 3, 2, 8.65625, 7. / 3, 2.575, 8.65625, 2, 7. / 3, 3, 8.65625,
              9.65625}},
  };
  for (const Case &c : cases) {
    CallResults r(10, 10);
    r.lsls(&c.a.cv, &c.b.cv, BSFALSE);
    ASSERT_EQ(r.rc, 0) << c.what;
    ASSERT_EQ(r.n_int, c.n_int) << c.what;
    ASSERT_EQ(r.n_over, c.n_over) << c.what;
    for (int k = 0; k < r.n_int; ++k) {
      EXPECT_NEAR(r.par1()[k], c.results[2 * k], 1e-12) << c.what << " " << k;
      EXPECT_NEAR(r.par2()[k], c.results[2 * k + 1], 1e-12) << c.what << " " << k;
    }
    for (int k = 0; k < r.n_over; ++k)
      for (int e = 0; e < 2; ++e) {
        EXPECT_NEAR(r.over_par1()[2 * k + e], c.results[2 * c.n_int + 4 * k + e], 1e-12) << c.what << " " << k;
        EXPECT_NEAR(r.over_par2()[2 * k + e], c.results[2 * c.n_int + 4 * k + 2 + e], 1e-12) << c.what << " " << k;
      }
  }
}

// Damaged strings are refused, and every way out of a call that runs out of heap or scratch releases all it took.
TEST(LineStringIntersection, FailuresReleaseEverything) {
  // 240 poles against one long segment, which is walked: more candidates than one block of the list, more points
  // than one block of the store, poles beyond the local scratch.
  std::vector<double> many, knots = {0, 0};
  for (int i = 0; i < 240; ++i) many.insert(many.end(), {static_cast<double>(i), i % 2 ? 1.0 : -1.0, 0});
  for (int i = 1; i < 239; ++i) knots.push_back(i);
  knots.insert(knots.end(), {239, 239});
  TestCurve a(2, many, knots), b(2, {0.25, 0, 0, 239.25, 0, 0}, {0, 0, 1, 1});
  TestCurve cubic(4, {0, 0, 0, 1, 1, 0, 2, 0, 0, 3, 1, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  TestCurve nan(2, {0, 0, 0, kNaN, 1, 0}, {0, 0, 1, 1});
  const VOQbsp_curve *const damaged[] = {&cubic.cv, &nan.cv, nullptr};
  for (const VOQbsp_curve *bad : damaged) {
    CallResults r(10, 10);
    r.lsls(&a.cv, bad, BSFALSE);
    EXPECT_EQ(r.rc, bad ? -2 : 3);
    EXPECT_EQ(r.n_int, 0);
  }
  // On both roads (the slow one checks the curves again where the sort would take them as checked).
  for (const bool slow : {false, true}) {
    const bstest::SlowRoads roads(slow);
    int failures = 0;
    for (int at = 1; at < 100; ++at) {
      const int live = BSdbgliveblocks(), scratch = BSscratchheapblocks();
      {
        CallResults r(0, 0);
        BSallocfailat(at);
        r.lsls(&a.cv, &b.cv, BSFALSE);
        const bool hit = BSallocfailpending() == 0;
        BSallocfailat(0);
        if (!hit) {
          ASSERT_EQ(r.rc, 0);
          ASSERT_EQ(r.n_int, 239);
          EXPECT_TRUE(r.int_alloc);
          for (int k = 0; k < 239; ++k) {
            EXPECT_NEAR(r.par1()[k], k + 0.5, 1e-12);  // crossing k, half-way along the zig-zag's segment k
            EXPECT_NEAR(r.par2()[k], (k + 0.25) / 239, 1e-12);
          }
          break;
        }
        ++failures;
        EXPECT_TRUE(r.rc == -13 || r.rc == 33) << at;
        EXPECT_EQ(r.n_int, 0) << at;
      }
      EXPECT_EQ(BSdbgliveblocks(), live) << at;
      EXPECT_EQ(BSscratchheapblocks(), scratch) << at;
    }
    EXPECT_GE(failures, 5) << slow;
  }
}

}  // namespace

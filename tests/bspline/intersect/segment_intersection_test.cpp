#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "bspline/intersect.h"

namespace {

struct Contact {
  double p[3], t1, t2;
};

struct Case {
  const char *name;
  double seg1[6], seg2[6];
  int n;
  Contact c[2];
};

// 30 degrees, its normal pointing away from the first segment's end: the lines cross 1.2e-6 beyond (1, 0, 0),
// the end itself lies 6e-7 from the second segment.
const double kC = std::cos(M_PI / 6), kS = std::sin(M_PI / 6), kX = 1 + 6e-7 * kS, kY = -6e-7 * kC;

// A shallow crossing (0.01 rad) beyond the first segment's end at (1, 0, 0), by delta = f 1e-6 / sin: the end lies
// f 1e-6 from the second segment, which runs from half a unit before the crossing to half a unit after it.
const double kT = 0.01, kCt = std::cos(kT), kSt = std::sin(kT);
constexpr double kNear = 0.9, kFar = 1.1, kFarther = 3;
double shallow(double f, int i) {
  const double delta = f * 1e-6 / kSt, x = 1 + delta;
  const double ends[6] = {x - 0.5 * kCt, -0.5 * kSt, 0, x + 0.5 * kCt, 0.5 * kSt, 0};
  return ends[i];
}
const double kDelta = kNear * 1e-6 / kSt;

const Case kCases[] = {
    {"interior crossing in space", {0, 0, 0, 4, 0, 0}, {1, -1, -2, 1, 3, 6}, 1, {{{1, 0, 0}, 0.25, 0.25}}},
    // Seen from above they meet 1.2e-6 apart at (1, 0), but the common perpendicular is 0.85e-6 long.
    {"one segment level, the other rising, within tolerance",
     {0, 0, 0, 2, 0, 0},
     {0, -1, -1 + 1.2e-6, 2, 1, 1 + 1.2e-6},
     1,
     {{{1 - 6e-7, -3e-7, 3e-7}, 0.5 - 3e-7, 0.5 - 3e-7}}},
    {"crossing beyond an end", {0, 0, 0, 1, 0, 0}, {2, -1, 0, 2, 1, 0}, 0, {}},
    {"collinear, common stretch", {0, 0, 0, 4, 0, 0}, {3, 0, 0, 1, 0, 0}, 2,
     {{{1, 0, 0}, 0.25, 1}, {{3, 0, 0}, 0.75, 0}}},
    {"collinear, end to end", {0, 0, 0, 1, 0, 0}, {1, 0, 0, 2, 0, 0}, 1, {{{1, 0, 0}, 1, 0}}},
    {"parallel apart", {0, 0, 0, 1, 0, 0}, {0, 1, 0, 1, 1, 0}, 0, {}},
    {"point on the other segment", {0.5, 0, 0, 0.5, 0, 0}, {0, 0, 0, 2, 0, 0}, 1, {{{0.5, 0, 0}, 0, 0.25}}},
    {"point beside, second", {0, -1, 0, 0, 1, 0}, {-0.5, 0, 0, -0.5, 0, 0}, 0, {}},
    {"point on, second", {0, -1, 0, 0, 1, 0}, {0, 0.5, 0, 0, 0.5, 0}, 1, {{{0, 0.5, 0}, 0.75, 0}}},
    {"two points that coincide", {3, 2, 1, 3, 2, 1}, {3, 2, 1, 3, 2, 1}, 1, {{{3, 2, 1}, 0, 0}}},
    {"two points apart", {3, 2, 1, 3, 2, 1}, {3, 2, 1.001, 3, 2, 1.001}, 0, {}},
    {"tilted end within tolerance", {0, 0, 0, 1, 0, 0}, {kX - kC, kY - kS, 0, kX + kC, kY + kS, 0}, 1,
     {{{1 + 3e-7 * kS, -3e-7 * kC, 0}, 1, 0.5}}},
    {"shallow crossing beyond an end, the end within tolerance",
     {0, 0, 0, 1, 0, 0},
     {shallow(kNear, 0), shallow(kNear, 1), 0, shallow(kNear, 3), shallow(kNear, 4), 0},
     1,
     {{{1 + kDelta * kSt * kSt / 2, -kDelta * kCt * kSt / 2, 0}, 1, 0.5 - kDelta * kCt}}},
    {"shallow crossing beyond an end, the end just out of tolerance",
     {0, 0, 0, 1, 0, 0},
     {shallow(kFar, 0), shallow(kFar, 1), 0, shallow(kFar, 3), shallow(kFar, 4), 0},
     0,
     {}},
    {"shallow crossing far beyond an end",
     {0, 0, 0, 1, 0, 0},
     {shallow(kFarther, 0), shallow(kFarther, 1), 0, shallow(kFarther, 3), shallow(kFarther, 4), 0},
     0,
     {}},
    {"near-parallel crossing, sine 1.2e-3", {0, 0, 0, 2, 0, 0}, {0, -1.2e-3, 0, 2, 1.2e-3, 0}, 1,
     {{{1, 0, 0}, 0.5, 0.5}}},
    {"near-parallel crossing, sine 0.8e-3", {0, 0, 0, 2, 0, 0}, {0, -0.8e-3, 0, 2, 0.8e-3, 0}, 1,
     {{{1, 0, 0}, 0.5, 0.5}}},
    {"parallel within tolerance: a common stretch", {0, 0, 0, 2, 0, 0}, {0, -1e-8, 0, 2, 1e-8, 0}, 2,
     {{{0, -5e-9, 0}, 0, 0}, {{2, 5e-9, 0}, 1, 1}}},
    {"skew in space, within tolerance", {0, 0, 0, 1, 0, 0}, {0.5, -1, 5e-7, 0.5, 1, 5e-7}, 1,
     {{{0.5, 0, 2.5e-7}, 0.5, 0.5}}},
    {"skew in space, apart", {0, 0, 0, 1, 0, 0}, {0.5, -1, 2e-6, 0.5, 1, 2e-6}, 0, {}},
    {"ends touching at an angle", {0, 0, 0, 1, 0, 0}, {1, 0, 0, 2, 1, 0}, 1, {{{1, 0, 0}, 1, 0}}},
};

TEST(SegmentIntersection, CountsPointsAndParametersOfBothRoutines) {
  for (const Case &c : kCases) {
    for (int routine = 0; routine < 2; ++routine) {
      double s1[6], s2[6], pts[6], t1[2], t2[2];
      std::copy(c.seg1, c.seg1 + 6, s1);
      std::copy(c.seg2, c.seg2 + 6, s2);
      int n = -1, rc = 1;
      if (routine == 0)
        BSxlnln(s1, s2, &n, pts, t1, t2, &rc);
      else
        BSxlnlnopt(s1, s2, 0, &n, pts, t1, t2, &rc);
      ASSERT_EQ(rc, 0) << c.name;
      ASSERT_EQ(n, c.n) << c.name << " routine " << routine;
      for (int k = 0; k < n; ++k) {
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(pts[3 * k + i], c.c[k].p[i], 1e-13) << c.name << " " << k;
        EXPECT_NEAR(t1[k], c.c[k].t1, 1e-12) << c.name << " " << k;
        EXPECT_NEAR(t2[k], c.c[k].t2, 1e-12) << c.name << " " << k;
      }
    }
  }
}

TEST(SegmentIntersection, RefusalsLeaveNoResults) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  struct Bad {
    double seg1[6], seg2[6];
    BSboolean skip;
    int rc;
  } const cases[] = {
      {{0, 0, 0, 1, 0, 0}, {0, 1, 0, 1, 1, 0}, 1, -1},       // parallel handed to the solver
      {{0, 0, 0, 1, 0, 0}, {0, 0, 0, 2, 0, 0}, 1, -1},       // collinear likewise
      {{0, 0, nan, 1, 0, 0}, {0, 1, 0, 1, 1, 0}, 0, -2},
      {{0, 0, 0, 1, 0, 0}, {0, 1, 0, inf, 1, 0}, 0, -2},
      {{-1e308, 0, 0, 1e308, 0, 0}, {0, -1, 0, 0, 1, 0}, 0, -2},  // the difference overflows
  };
  for (const Bad &b : cases) {
    double s1[6], s2[6], pts[6], t1[2], t2[2];
    std::copy(b.seg1, b.seg1 + 6, s1);
    std::copy(b.seg2, b.seg2 + 6, s2);
    int n = 7, rc = 0;
    BSxlnlnopt(s1, s2, b.skip, &n, pts, t1, t2, &rc);
    EXPECT_EQ(rc, b.rc);
    EXPECT_EQ(n, 0);
  }
}

TEST(SegmentIntersection, ReadsTheDistanceToleranceOnEveryCall) {
  double s1[6] = {0, 0, 0, 1, 0, 0}, s2[6] = {0.5, 1e-4, -1, 0.5, 1e-4, 1}, pts[6], t1[2], t2[2];
  int n = 0, rc = 0;
  BSxlnln(s1, s2, &n, pts, t1, t2, &rc);
  EXPECT_EQ(n, 0);
  ASSERT_TRUE(BSchangepar(&rc, bstol::dist_sqtol, 1e-7));
  BSxlnln(s1, s2, &n, pts, t1, t2, &rc);
  BSchangepar(&rc, bstol::dist_sqtol, BStoldefault(bstol::dist_sqtol));
  ASSERT_EQ(n, 1);
  EXPECT_NEAR(pts[1], 5e-5, 1e-15);
  BSxlnln(s1, s2, &n, pts, t1, t2, &rc);
  EXPECT_EQ(n, 0);
}

}  // namespace

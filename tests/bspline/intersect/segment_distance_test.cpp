// Nearest points of two segments (crossing, skew past an end, parallel overlapping, shifted and apart, a point),
// the common stretch of reversed segments, the nearest pair of two arrays and the sample lists of the search.
#include <gtest/gtest.h>

#include <cmath>

#include "bspline/intersect.h"

namespace {

TEST(SegmentDistance, NearestPointsOfTwoSegments) {
  const double r2 = std::sqrt(2.0), nan = std::nan("");
  struct {
    double a0[3], a1[3], b0[3], b1[3];
    double dist, pa[3], pb[3], u, v;
    int rc;
  } cases[] = {
      {{0, 0, 0}, {2, 2, 0}, {0, 2, 0}, {2, 0, 0}, 0, {1, 1, 0}, {1, 1, 0}, 0.5, 0.5, 0},  // crossing
      {{0, 0, 0}, {4, 0, 0}, {1, 1, 1}, {1, 3, 1}, r2, {1, 0, 0}, {1, 1, 1}, 0.25, 0, 0},  // skew, past b's start
      {{0, 1, 0}, {4, 1, 0}, {2, 0, 0}, {6, 0, 0}, 1, {3, 1, 0}, {3, 0, 0}, 0.75, 0.25, 0},  // parallel overlapping
      // b within a's stretch along the line: the middle of b, not of a stretch reaching past b's start.
      {{0, 1, 0}, {4, 1, 0}, {2, 0, 0}, {3, 0, 0}, 1, {2.5, 1, 0}, {2.5, 0, 0}, 0.625, 0.5, 0},
      {{0, 1, 0}, {1, 1, 0}, {2, 0, 0}, {3, 0, 0}, r2, {1, 1, 0}, {2, 0, 0}, 1, 0, 0},  // parallel, apart
      // a is a point whose tiny direction would put its foot "inside" b at a wrong distance
      {{0, 0, 0}, {1e-30, 0, 0}, {1, -1, 1}, {1, 1, 1}, r2, {0, 0, 0}, {1, 0, 1}, 0, 0.5, 0},
      {{0, 0, 0}, {2, 2, 0}, {0, nan, 0}, {2, 0, 0}, -1, {}, {}, -1, -1, BSRC_OUT_OF_RANGE},
  };
  int row = 0;
  for (const auto &c : cases) {
    double dist = -1, pa[3] = {}, pb[3] = {}, u = -1, v = -1;
    int rc = 1;
    BSdlsegs2(c.a0, c.a1, c.b0, c.b1, &dist, pa, pb, &u, &v, &rc);
    ASSERT_EQ(rc, c.rc) << row;
    const double got[] = {dist, u, v, pa[0], pa[1], pa[2], pb[0], pb[1], pb[2]};
    const double want[] = {c.dist, c.u, c.v, c.pa[0], c.pa[1], c.pa[2], c.pb[0], c.pb[1], c.pb[2]};
    for (int k = 0; k < 9; ++k) EXPECT_NEAR(got[k], want[k], 1e-15) << row << " " << k;
    ++row;
  }
}

TEST(SegmentDistance, CommonStretchAndNearestPair) {
  // The second segment runs backwards: the stretch is still measured from the first one's start.
  const double a0[3] = {0, 0, 0}, a1[3] = {4, 0, 0}, b0[3] = {3, 0, 0}, b1[3] = {1, 0, 0};
  double o0[3], o1[3];
  int rc = 1;
  EXPECT_EQ(BSoverlap(&rc, a0, a1, b0, b1, o0, o1), BSTRUE);
  EXPECT_EQ(o0[0], 1);
  EXPECT_EQ(o1[0], 3);
  // Pairs (0, 1) and (1, 0) are equally near: the later one wins. No pair at all keeps the start marks.
  const double p[6] = {0, 0, 0, 3, 0, 0}, q[6] = {3, 1, 0, 0, 1, 0};
  int i1 = -1, i2 = -1;
  double dist = -1;
  BSmdstptarr(2, p, 2, q, &i1, &i2, &dist, &rc);
  EXPECT_EQ(i1 * 10 + i2, 10);
  EXPECT_EQ(dist, 1);
  BSmdstptarr(2, p, 0, q, &i1, &i2, &dist, &rc);
  EXPECT_EQ(i1, BSNO_INDEX);
  EXPECT_GT(dist, 1e150);
}

TEST(SegmentDistance, SampleListsKeepEachLimitOnce) {
  struct {
    double centre, limit;
    std::int16_t direction;
    int count;
    double values[2];
  } cases[] = {{0.5, 0, 0, 2, {0.3, 0.4}}, {0.15, 0, 0, 2, {0, 0.05}},  // the first below the limit becomes it
               {0.05, 0, 0, 1, {0}},                                    // the second below it is left out
               {0.5, 1, 1, 2, {0.6, 0.7}}, {0.85, 1, 1, 2, {0.95, 1}}, {0.95, 1, 1, 1, {1}}};  // the limit ends it
  for (const auto &c : cases) {
    double params[5] = {-9, -9, c.centre, -9, -9};
    int count = 0;
    BSsmplprm(c.limit, 0.1, c.direction, &count, params);
    ASSERT_EQ(count, c.count) << c.centre;
    for (int i = 0; i < count; ++i) EXPECT_NEAR(params[i], c.values[i], 1e-15) << c.centre;
  }
}

}  // namespace

// Segment against segment beside GEOS's intersection of the two segments, on random planar pairs with collinear
// overlaps and shared ends built on purpose.
#include <gtest/gtest.h>

#include "bspline/intersect.h"
#include "tests/bspline/oracle/segment_pairs.h"

namespace {

// The normalised parameter of the point (x, y) on the segment s.
double Along(const double *s, const double *p) {
  const double dx = s[3] - s[0], dy = s[4] - s[1];
  return ((p[0] - s[0]) * dx + (p[1] - s[1]) * dy) / (dx * dx + dy * dy);
}

TEST(SegmentIntersectionOracle, SameCountsPointsAndParametersAsGeos) {
  GEOSContextHandle_t ctx = GEOS_init_r();
  const std::vector<segpairs::Pair> pairs = segpairs::MakePairs(226, 100000);
  int seen[3] = {0, 0, 0};
  double worst = 0;
  for (segpairs::Pair q : pairs) {
    const segpairs::Answer want = segpairs::GeosAnswer(ctx, q);
    double pts[6], t1[2], t2[2];
    int n = -1, rc = 1;
    BSxlnln(q.a, q.b, &n, pts, t1, t2, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(n, want.n) << q.a[0] << " " << q.a[1] << " " << q.a[3] << " " << q.a[4] << " / " << q.b[0] << " "
                         << q.b[1] << " " << q.b[3] << " " << q.b[4];
    ++seen[n];
    for (int k = 0; k < n; ++k) {
      const double *p = want.p[k];
      const double errors[5] = {pts[3 * k] - p[0], pts[3 * k + 1] - p[1], pts[3 * k + 2],
                                t1[k] - Along(q.a, p), t2[k] - Along(q.b, p)};
      for (double e : errors) worst = std::max(worst, std::fabs(e));
    }
  }
  GEOS_finish_r(ctx);
  EXPECT_LE(worst, 1e-12);
  // Every kind of answer was met often.
  for (int n = 0; n < 3; ++n) EXPECT_GT(seen[n], 5000) << n;
}

}  // namespace

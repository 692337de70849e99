// The pairwise trim of offset pieces beside OpenCASCADE's curve intersection: random crossing cubic pieces,
// polynomial and rational, are trimmed at the crossing latest on the first piece and put back on its range.
#include <gtest/gtest.h>

#include "bspline/offset.h"
#include "tests/bspline/measure_curves.h"
#include "tests/bspline/oracle/curve_pairs.h"

namespace {

TEST(OffsetTrimmingOracle, TrimsAtTheLatestCrossingOfOpenCascade) {
  // The peer's precision needs finer tolerances than the defaults (as for the curve intersection itself).
  const TolScope fine(bstol::dist_tol, 1e-10), fine_sq(bstol::dist_sqtol, 1e-20);
  int trimmed = 0;
  for (cvpairs::Pair &q : cvpairs::MakePairs(871, 150, 4, 4, 9)) {
    VOQbsp_curve &a = q.a->cv;
    const double s = q.a->start(), e = q.a->end();
    const cvpairs::Crossing &last = q.want.back();
    if (last.t1 - s < 1e-6 * (e - s)) continue;  // the piece would become a point
    double pt[3] = {0, 0, 0};
    std::int16_t pending = 0;
    int zero_out = 0, rc = 0;
    BScvinttrmd(0.01, 0.01, &a, &q.b->cv, 1, pt, &pending, &zero_out, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_NEAR(a.knots[a.num_poles], last.t1, 1e-7 * (e - s));
    BSofrparcv(&a, s, e, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(a.knots[a.order - 1], s);
    EXPECT_EQ(a.knots[a.num_poles], e);
    double end[3];
    ref_point(a, e, end);
    EXPECT_NEAR(end[0], last.x, 1e-7);
    EXPECT_NEAR(end[1], last.y, 1e-7);
    EXPECT_NEAR(pt[0], last.x, 1e-7) << "the pending point";
    EXPECT_NEAR(pt[1], last.y, 1e-7);
    ++trimmed;
  }
  EXPECT_GT(trimmed, 100);
}

}  // namespace

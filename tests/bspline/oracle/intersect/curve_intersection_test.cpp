// Crossings of random planar B-spline pairs (orders 2 to 6, up to 30 poles, polynomial and rational) beside
// OpenCASCADE's curve intersection and SISL's.
#include <gtest/gtest.h>

#include "bspline/intersect.h"
#include "tests/bspline/intersection_call.h"
#include "tests/bspline/measure_curves.h"
#include "tests/bspline/oracle/curve_pairs.h"

namespace {

TEST(CurveIntersectionOracle, SameCrossingsAsOpenCascadeAndSisl) {
  // The peers' precision needs finer tolerances than the defaults (as for the span intersector).
  const TolScope fine(bstol::dist_tol, 1e-10), fine_sq(bstol::dist_sqtol, 1e-20);
  double worst_point = 0, worst_eval = 0, worst_touch = 0;
  int crossings = 0, touching_pairs = 0;
  for (cvpairs::Pair &q : cvpairs::MakePairs(83, 300)) {
    CallResults r(0, 0);
    r.cvcv(&q.a->cv, &q.b->cv, BSFALSE);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.n_over, 0);
    // Each of our points where its parameters say, on both curves.
    for (int k = 0; k < r.n_int; ++k) {
      double pa[3], pb[3];
      ref_point(*q.a, r.par1()[k], pa);
      ref_point(*q.b, r.par2()[k], pb);
      for (int d = 0; d < 3; ++d)
        worst_eval =
            std::max({worst_eval, std::fabs(pa[d] - r.pts()[3 * k + d]), std::fabs(pb[d] - r.pts()[3 * k + d])});
    }
    auto nearest = [&](const cvpairs::Crossing &w) {
      double best = 1e300;
      for (int k = 0; k < r.n_int; ++k)
        best = std::min(best, std::hypot(r.pts()[3 * k] - w.x, r.pts()[3 * k + 1] - w.y));
      return best;
    };
    if (!q.transversal) {
      // Touching contacts: compared by distance only.
      ++touching_pairs;
      for (const cvpairs::Crossing &w : q.want) worst_touch = std::max(worst_touch, nearest(w));
      continue;
    }
    ASSERT_EQ(r.n_int, static_cast<int>(q.want.size()));
    for (const cvpairs::Crossing &w : q.want) {
      worst_point = std::max(worst_point, nearest(w));
      ++crossings;
    }
  }
  EXPECT_LE(worst_point, 1e-7);
  EXPECT_LE(worst_eval, 1e-7);
  EXPECT_LE(worst_touch, 1e-4);
  EXPECT_GT(crossings, 600);
  EXPECT_GT(touching_pairs, 0);
}

}  // namespace

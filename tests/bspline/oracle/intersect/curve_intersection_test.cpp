// Crossings of random planar B-spline pairs (orders 2 to 6, up to 30 poles, polynomial and rational) beside
// OpenCASCADE's curve intersection and SISL's.
#include <gtest/gtest.h>

#include "bspline/intersect.h"
#include "tests/bspline/measure_curves.h"
#include "tests/bspline/oracle/intersect/crossing_checks.h"

namespace {

TEST(CurveIntersectionOracle, SameCrossingsAsOpenCascadeAndSisl) {
  // The peers' precision needs finer tolerances than the defaults (as for the span intersector).
  const TolScope fine(bstol::dist_tol, 1e-10), fine_sq(bstol::dist_sqtol, 1e-20);
  crossings::PairTally t;
  for (cvpairs::Pair &q : cvpairs::MakePairs(83, 300)) {
    crossings::CheckPair(q, &t, "");
    if (::testing::Test::HasFatalFailure()) return;
  }
  EXPECT_LE(t.worst_point, 1e-7);
  EXPECT_LE(t.worst_eval, 1e-7);
  EXPECT_LE(t.worst_touch, 1e-4);
  EXPECT_GT(t.crossings, 600);
  EXPECT_GT(t.touching_pairs, 0);
}

}  // namespace

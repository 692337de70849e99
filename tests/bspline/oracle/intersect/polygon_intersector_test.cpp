// Crossings of two planar cubic Bezier spans beside OpenCASCADE's curve intersection and SISL's, on random pairs
// whose crossings are transversal and well apart.
#include <gtest/gtest.h>

#include "bspline/intersect.h"
#include "tests/bspline/measure_curves.h"
#include "tests/bspline/oracle/bezier_pairs.h"

namespace {

TEST(PolygonIntersectorOracle, SameCrossingsAsOpenCascadeAndSisl) {
  // The iteration takes two points within sqrt(0.001 dist_sqtol) (3e-8 by default) for the crossing, so that
  // the parameters are only that good over the tangents' sine: the peers' precision needs finer tolerances.
  const TolScope fine(bstol::dist_tol, 1e-10), fine_sq(bstol::dist_sqtol, 1e-20);
  const std::vector<double> knots = {0, 0, 0, 0, 1, 1, 1, 1};
  double worst_point = 0, worst_par = 0;
  int crossings = 0;
  for (const bzpairs::Pair &q : bzpairs::MakePairs(240, 10000)) {
    std::vector<double> pa, pb;
    for (int i = 0; i < 4; ++i) {
      pa.insert(pa.end(), {q.a[2 * i], q.a[2 * i + 1], 0});
      pb.insert(pb.end(), {q.b[2 * i], q.b[2 * i + 1], 0});
    }
    TestCurve a(4, pa, knots), b(4, pb, knots);
    std::int32_t n = -1;
    double pts[3 * BSXBZ_MAX_RESULTS], t1[BSXBZ_MAX_RESULTS], t2[BSXBZ_MAX_RESULTS];
    BSboolean tangent = 0;
    int rc = 1;
    BSxbzs4(&a.cv, &b.cv, &n, pts, t1, t2, &tangent, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(n, static_cast<int>(q.want.size()));
    SISLCurve *s1 = bzpairs::SislBezier(q.a), *s2 = bzpairs::SislBezier(q.b);
    bool overlap = false;
    const std::vector<bzpairs::Crossing> sisl = bzpairs::Sisl(s1, s2, &overlap);
    freeCurve(s1);
    freeCurve(s2);
    // Each peer crossing against our nearest one; SISL's parameters against the nearest of its own.
    for (const bzpairs::Crossing &w : q.want) {
      auto off = [&](int i) { return std::hypot(pts[3 * i] - w.x, pts[3 * i + 1] - w.y); };
      int i = 0;
      for (int j = 1; j < n; ++j) i = off(j) < off(i) ? j : i;
      double to_sisl = 1;
      for (const bzpairs::Crossing &s : sisl)
        to_sisl = std::min(to_sisl, std::max(std::fabs(t1[i] - s.t1), std::fabs(t2[i] - s.t2)));
      worst_point = std::max({worst_point, off(i), std::fabs(pts[3 * i + 2])});
      worst_par = std::max({worst_par, std::fabs(t1[i] - w.t1), std::fabs(t2[i] - w.t2), to_sisl});
      ++crossings;
    }
  }
  EXPECT_LE(worst_point, 1e-9);
  EXPECT_LE(worst_par, 1e-8);
  EXPECT_GT(crossings, 3000);
}

}  // namespace

// Crossings of two planar cubic Bezier spans beside OpenCASCADE's curve intersection and SISL's, on random pairs
// whose crossings are transversal and well apart; and beside SISL's on pairs built to defeat the node polygons.
#include <gtest/gtest.h>

#include "bspline/intersect.h"
#include "tests/bspline/measure_curves.h"
#include "tests/bspline/oracle/bezier_pairs.h"

namespace {

// The planar cubic span of four poles (x, y).
std::unique_ptr<TestCurve> Cubic(const double *p) {
  std::vector<double> poles;
  for (int i = 0; i < 4; ++i) poles.insert(poles.end(), {p[2 * i], p[2 * i + 1], 0});
  return std::make_unique<TestCurve>(4, poles, std::vector<double>{0, 0, 0, 0, 1, 1, 1, 1});
}

TEST(PolygonIntersectorOracle, SameCrossingsAsOpenCascadeAndSisl) {
  // The iteration takes two points within sqrt(0.001 dist_sqtol) (3e-8 by default) for the crossing, so that
  // the parameters are only that good over the tangents' sine: the peers' precision needs finer tolerances.
  const TolScope fine(bstol::dist_tol, 1e-10), fine_sq(bstol::dist_sqtol, 1e-20);
  double worst_point = 0, worst_par = 0;
  int crossings = 0;
  for (const bzpairs::Pair &q : bzpairs::MakePairs(240, 10000)) {
    const std::unique_ptr<TestCurve> a = Cubic(q.a), b = Cubic(q.b);
    std::int32_t n = -1;
    double pts[3 * BSXBZ_MAX_RESULTS], t1[BSXBZ_MAX_RESULTS], t2[BSXBZ_MAX_RESULTS];
    BSboolean tangent = 0;
    int rc = 1;
    BSxbzs4(&a->cv, &b->cv, &n, pts, t1, t2, &tangent, &rc);
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

// Loops crossed near their self-crossing, hairpins crossed over both arms and shallow crossings near a span end,
// through the polygon intersector and the span intersector, either span first: every crossing SISL finds at a
// tangent sine of 0.1 or more is found once within 1e-7 on both spans, and every result lies on both spans.
TEST(PolygonIntersectorOracle, CrossingsCloseTogetherOrNearSpanEnds) {
  // Tolerance entry 18 is the reach of the span intersector's end contacts.
  const TolScope fine(bstol::dist_tol, 1e-10), fine_sq(bstol::dist_sqtol, 1e-20), fine_ends(18, 1e-10);
  // Two crossings on the last legs of the first span's polygon, the second at 11 degrees 8e-4 from its end.
  bzpairs::Pair known{{0.2744, 0.6821, 0.6111, 0.0754, 0.8100, 0.2750, 0.5814, 0.4139},
                      {0.9183, 0.1725, 0.1273, 0.6473, 0.3815, 0.9023, 0.9915, 0.9134},
                      {},
                      2};
  ASSERT_TRUE(bzpairs::SislCrossings(known.a, known.b, &known.want));
  ASSERT_EQ(known.want.size(), 2u);
  EXPECT_NEAR(known.want[1].t1, 0.9992, 1e-4);
  std::vector<bzpairs::Pair> pairs = bzpairs::MakeHardPairs(122, 1200);
  pairs.insert(pairs.begin(), known);
  int checked[3] = {0, 0, 0}, close_far = 0, shallow_at_end = 0;
  double worst_off = 0;
  for (size_t k = 0; k < pairs.size(); ++k) {
    const bzpairs::Pair &q = pairs[k];
    std::vector<double> sines;
    for (const bzpairs::Crossing &c : q.want) {
      sines.push_back(bzpairs::Sine(q.a, q.b, c.t1, c.t2));
      shallow_at_end += std::min({c.t1, 1 - c.t1, c.t2, 1 - c.t2}) < 0.02 && sines.back() < 0.45;
      for (const bzpairs::Crossing &o : q.want)
        close_far += &o < &c && std::hypot(c.x - o.x, c.y - o.y) < 1e-3 &&
                     std::max(std::fabs(c.t1 - o.t1), std::fabs(c.t2 - o.t2)) > 0.05;
    }
    for (int run = 0; run < 4; ++run) {
      const bool swap = run % 2, span_intersector = run > 1;
      const std::unique_ptr<TestCurve> a = Cubic(swap ? q.b : q.a), b = Cubic(swap ? q.a : q.b);
      double pts[3 * BSXBZ_MAX_RESULTS], t1[BSXBZ_MAX_RESULTS], t2[BSXBZ_MAX_RESULTS];
      int n = 0, rc = 1;
      BSboolean flag = 0;
      if (span_intersector) {
        BSbzbz_int(&a->cv, &b->cv, &n, pts, t1, t2, &flag, &rc);
      } else {
        std::int32_t m = -1;
        BSxbzs4(&a->cv, &b->cv, &m, pts, t1, t2, &flag, &rc);
        n = m;
      }
      ASSERT_EQ(rc, 0) << k;
      for (int i = 0; i < n; ++i) {
        double on_a[3], on_b[3];
        ref_point(*a, t1[i], on_a);
        ref_point(*b, t2[i], on_b);
        for (int c = 0; c < 3; ++c)
          worst_off = std::max({worst_off, std::fabs(on_a[c] - pts[3 * i + c]), std::fabs(on_b[c] - pts[3 * i + c])});
      }
      for (size_t w = 0; w < q.want.size(); ++w) {
        if (sines[w] < 0.1) continue;
        const double w1 = swap ? q.want[w].t2 : q.want[w].t1, w2 = swap ? q.want[w].t1 : q.want[w].t2;
        int found = 0;
        for (int i = 0; i < n; ++i) found += std::fabs(t1[i] - w1) <= 1e-7 && std::fabs(t2[i] - w2) <= 1e-7;
        EXPECT_EQ(found, 1) << "pair " << k << " run " << run << ": crossing at " << w1 << ", " << w2;
        checked[q.family] += run == 0;
      }
    }
  }
  EXPECT_LE(worst_off, 1e-7);
  // The families make what they are meant to: many crossings close in space and far apart in parameter, and many
  // shallow ones near a span end.
  EXPECT_GT(std::min({checked[0], checked[1], checked[2]}), 450);
  EXPECT_GT(close_far, 300);
  EXPECT_GT(shallow_at_end, 300);
}

}  // namespace

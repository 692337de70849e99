// Touching points of two spans from the tangency equations (one unknown beside a straight segment, two between
// arcs), refused where no tangency lies on the segment, and the shrinking-window search, its evaluations counted.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <utility>

#include "bspline/core/test_support.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "tests/bspline/measure_curves.h"

namespace {

// One rational quadratic span of the circle of radius r about (0, cy) around its lowest or highest point, which
// parameter 0.5 is; a straight two-pole segment along y.
std::unique_ptr<TestCurve> Arc(double r, double cy, bool lowest) {
  return circular_arc(r, (lowest ? -1 : 1) * std::numbers::pi / 2 - 0.6, 1.2, 1, 0, cy);
}
std::unique_ptr<TestCurve> Segment(double y) {
  return std::make_unique<TestCurve>(2, std::vector<double>{-2, y, 0, 2, y, 0}, std::vector<double>{0, 0, 1, 1});
}
double KnotTol(const TestCurve &c) {
  double k = 0;
  int rc = 0;
  BScvkttol2(c.cv.order, c.cv.knots, c.cv.num_poles, c.cv.poles, c.cv.weights, &k, &rc);
  return k;
}

TEST(Tangency, TouchingPointOfTwoSpans) {
  const auto arc = Arc(1, 1, true), seg = Segment(0), below = Arc(2, -2, false), across = Segment(0.5);
  struct {
    const TestCurve *c1, *c2;
    double t1, t2;
    int rc;
  } cases[] = {{arc.get(), seg.get(), 0.45, 0.4, 0},  // one unknown, the segment second or first
               {seg.get(), arc.get(), 0.6, 0.53, 0},
               {arc.get(), below.get(), 0.47, 0.52, 0},  // two unknowns
               {arc.get(), across.get(), 0.45, 0.4, BSRC_NO_TANGENCY},  // the parallel point is off the segment
               {arc.get(), seg.get(), 1.5, 0.4, BSRC_OUT_OF_RANGE},
               {arc.get(), seg.get(), std::nan(""), 0.4, BSRC_OUT_OF_RANGE}};
  for (const auto &c : cases) {
    double t1 = -1, t2 = -1, p1[3] = {}, p2[3] = {};
    int rc = 1;
    BSpttan2cvs(&c.c1->cv, &c.c2->cv, c.t1, c.t2, KnotTol(*c.c1), KnotTol(*c.c2), &t1, &t2, p1, p2, &rc);
    ASSERT_EQ(rc, c.rc) << c.t1;
    const double want = rc == 0 ? 0.5 : -1, got[] = {t1 - want, t2 - want, p1[0], p1[1], p2[0], p2[1]};
    for (double g : got) EXPECT_NEAR(g, 0, 1e-6) << c.t1;
  }
}

// Points evaluated by each array evaluation, seen through the hook.
std::vector<int> g_batches;
int g_points = 0;
void CountEvaluations(const char *lname, int *) {
  if (std::strcmp(lname, "bscveval0") == 0)
    ++g_points;
  else if (std::strcmp(lname, "bscvarreval") == 0)
    g_batches.push_back(std::exchange(g_points, 0));
  else if (std::strcmp(lname, "bsallfinite") != 0 && std::strcmp(lname, "bsmansf0") != 0)
    g_points = 0;
}

TEST(Tangency, NearestPointSearch) {
  const auto arc = Arc(1, 1, true), touching = Arc(2, -2, false), apart = Arc(2, -2.1, false);
  const double k1 = KnotTol(*arc), k2 = KnotTol(*touching);
  double t1 = -1, t2 = -1, p1[3], p2[3], dist = -1;
  int rc = 1;
  // Started on the touching point nothing is nearer: the start comes back. A start past the end is refused.
  BSmdstbzbz(&arc->cv, &touching->cv, 0.5, 0.5, k1, k2, &t1, &t2, p1, p2, &dist, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NEAR(t1, 0.5, 1e-12);
  EXPECT_NEAR(t2, 0.5, 1e-12);
  BSmdstbzbz(&arc->cv, &touching->cv, 0.5, 1.0 + 1e-9, k1, k2, &t1, &t2, p1, p2, &dist, &rc);
  EXPECT_EQ(rc, BSRC_OUT_OF_RANGE);
  // Spans 0.1 apart never come within dist_tol: all nine passes run.
  g_batches.clear();
  const BSfaulthandler previous = BSsetfaulthook(CountEvaluations);
  BSmdstbzbz(&arc->cv, &apart->cv, 0.496, 0.51, k1, k2, &t1, &t2, p1, p2, &dist, &rc);
  BSsetfaulthook(previous);
  EXPECT_NEAR(dist, 0.1, 1e-7);
  // The end points of span 2, span 1 once, then per pass span 2 and (but after the last) span 1 again.
  ASSERT_EQ(g_batches.size(), 1u + 1u + 9u + 8u);
  EXPECT_EQ(g_batches[0], 2);
  for (std::size_t i = 1; i < g_batches.size(); ++i) EXPECT_LE(g_batches[i], 5) << i;
}

}  // namespace

// Two Bezier spans beside OpenCASCADE's curve intersection: cubics, segments and circular arcs against one another,
// half of them meeting at a shared end, and collinear segments with a common stretch.
#include <gtest/gtest.h>

#include <cstring>

#include "bspline/core/test_support.h"
#include "bspline/intersect.h"
#include "tests/bspline/measure_curves.h"
#include "tests/bspline/oracle/span_pairs.h"

namespace {

int g_closed_form = 0;  // calls of the closed-form methods
void count_closed_form(const char *lname, int *) {
  g_closed_form += std::strcmp(lname, "bsxbzlnarc") == 0 || std::strcmp(lname, "bsxbzarcarc") == 0;
}

TEST(SpanIntersectionOracle, SameMeetingsAsOpenCascade) {
  // The peer's precision needs the crossing iteration's finer tolerances (see the polygon intersector's oracle).
  const TolScope fine(bstol::dist_tol, 1e-10), fine_sq(bstol::dist_sqtol, 1e-20);
  double worst_point = 0, worst_par = 0;
  int meetings = 0, at_ends = 0, overlaps = 0;
  for (const spanpairs::Pair &q : spanpairs::MakePairs(82, 4000)) {
    const auto a = spanpairs::OurSpan(q.a), b = spanpairs::OurSpan(q.b);
    double pts[3 * BSSPAN_RESULTS], t1[BSSPAN_RESULTS], t2[BSSPAN_RESULTS];
    int n = -1, rc = 1;
    BSboolean overlap = 9;
    const BSfaulthandler old = BSsetfaulthook(count_closed_form);
    BSbzbz_int(&a->cv, &b->cv, &n, pts, t1, t2, &overlap, &rc);
    BSsetfaulthook(old);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(overlap, q.overlap ? 1 : 0) << meetings;
    ASSERT_EQ(n, static_cast<int>(q.want.size())) << meetings;
    overlaps += overlap;
    for (const spanpairs::Meeting &w : q.want) {
      auto off = [&](int i) { return std::hypot(pts[3 * i] - w.x, pts[3 * i + 1] - w.y); };
      int i = 0;
      for (int j = 1; j < n; ++j) i = off(j) < off(i) ? j : i;
      worst_point = std::max({worst_point, off(i), std::fabs(pts[3 * i + 2])});
      worst_par = std::max({worst_par, std::fabs(t1[i] - w.t1), std::fabs(t2[i] - w.t2)});
      at_ends += !overlap && std::fmin(std::fmin(w.t1, 1 - w.t1), std::fmin(w.t2, 1 - w.t2)) < 1e-9;
      ++meetings;
    }
  }
  EXPECT_LE(worst_point, 1e-9);
  EXPECT_LE(worst_par, 1e-8);
  EXPECT_GT(meetings, 3000);
  EXPECT_GT(at_ends, 1000);
  EXPECT_GT(overlaps, 500);
  EXPECT_GT(g_closed_form, 1000);
}

}  // namespace

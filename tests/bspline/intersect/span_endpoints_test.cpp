#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/intersect.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

const char *g_fail_in = nullptr;  // the routine whose exit the hook turns into a failure
void fail_in(const char *lname, int *rc) {
  if (rc && g_fail_in && std::strcmp(lname, g_fail_in) == 0) *rc = 77;
}

TEST(SpanEndpoints, EndResults) {
  const double tol = BStoltab[bstol::dist_tol];
  const TestCurve seg(2, {0, 0, 0, 1, 0, 0}, {0, 0, 1, 1});
  const TestCurve near(2, {1, tol / 2, 0, 1, 1, 0}, {0, 0, 1, 1});
  const TestCurve away(2, {1 + 5 * tol, 0, 0, 2, 0, 0}, {0, 0, 1, 1});
  const TestCurve cubic(4, {0, 0, 0, 1, 2, 0, 3, -1, 0, 4, 1, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  // From seg's end back through seg's start (at 0.5) to (-1, 0, 0).
  const TestCurve s_curve(4, {1, 0, 0, 1, 1, 0, -1, -1, 0, -1, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  const TestCurve dot1(2, {3, 3, 3, 3, 3, 3}, {0, 0, 2, 2}), dot2(2, {3, 3, 3 + tol / 2, 3, 3, 3 + tol / 2}, {0, 0, 1, 1});
  const TestCurve dot3(2, {3, 3, 4, 3, 3, 4}, {0, 0, 1, 1});
  struct Case {
    const char *what;
    const TestCurve &a, &b;
    double entry18;
    const char *fail_in;
    bool both_points;
    int n, rc;
    double par1[2], par2[2];
  } cases[] = {
      {"ends half dist_tol apart: coincident", seg, near, 1e-6, nullptr, false, 1, 0, {1}, {0}},
      {"ends 5 dist_tol apart pointing away: not coincident", seg, away, 10 * tol, nullptr, false, 0, 0, {}, {}},
      {"the same curve: both ends, in increasing par1", cubic, cubic, 1e-6, nullptr, false, 2, 0, {0, 1}, {0, 1}},
      {"an end on the other's interior, found by projection", seg, s_curve, 1e-6, nullptr, false, 2, 0, {0, 1},
       {0.5, 0}},
      {"the projection fails: the tolerances come back", seg, s_curve, 1e-6, "bsmdstptcv", false, 1, 77, {1}, {0}},
      {"a null span", seg, seg, 1e-6, "", false, 0, 3, {}, {}},
      {"two points within dist_tol", dot1, dot2, 1e-6, nullptr, true, 1, 0, {0}, {0}},
      {"two points apart", dot1, dot3, 1e-6, nullptr, true, 0, 0, {}, {}},
      {"two points, the end stage fails", dot1, dot2, 1e-6, "bsendpoint", true, 0, 77, {}, {}},
  };
  const double entry18 = BStoltab[18], before[2] = {BStoltab[1], BStoltab[2]};
  for (const bool slow : {false, true}) {
    for (const Case &c : cases) {
      const bstest::SlowRoads roads(slow);
      SCOPED_TRACE(slow ? "slow roads" : "short roads");
      int rc = 99;
      BSchangepar(&rc, 18, c.entry18);
      g_fail_in = c.fail_in;
      const BSfaulthandler old = BSsetfaulthook(fail_in);
      const VOQbsp_curve *b = c.fail_in && !*c.fail_in ? nullptr : &c.b.cv;
      double pts[6], par1[2] = {-9, -9}, par2[2] = {-9, -9};
      int n = -1;
      const BSboolean ok = c.both_points ? BSpt_pt(&rc, &c.a.cv, b, &n, pts, par1, par2)
                                         : BSendpoint(&rc, &c.a.cv, b, &n, pts, par1, par2);
      BSsetfaulthook(old);
      EXPECT_EQ(ok, c.rc == 0) << c.what;
      EXPECT_EQ(rc, c.rc) << c.what;
      EXPECT_EQ(BStoltab[1], before[0]) << c.what;
      EXPECT_EQ(BStoltab[2], before[1]) << c.what;
      ASSERT_EQ(n, c.n) << c.what;
      for (int i = 0; i < n; ++i) {
        EXPECT_NEAR(par1[i], c.par1[i], 1e-12) << c.what << " " << i;
        EXPECT_NEAR(par2[i], c.par2[i], 1e-12) << c.what << " " << i;
      }
    }
  }
  int rc = 0;
  BSchangepar(&rc, 18, entry18);
}

TEST(SpanEndpoints, MergeWithInteriorResults) {
  struct Case {
    const char *what;
    int n_end, n_int;
    BSboolean tangency;
    double spacing;  // of the interior points along x from the first end result
    int fail_alloc;
    int n, rc;
  } cases[] = {
      {"150 interior and 1 end: the close ones dropped", 1, 150, 0, 1.05e-7, 0, 141, 0},
      {"tangency: up to 1000 sqrt(dist_sqtol) dropped", 1, 150, 1, 1.05e-5, 0, 55, 0},
      {"two ends interleaved, one interior repeat", 2, 150, 0, 1, 0, 151, 0},
      {"no scratch for 150 flags", 1, 150, 0, 1, 1, 0, 33},
      {"100 flags need no scratch", 1, 100, 0, 1, 1, 100, 0},
      {"only interior results", 0, 20, 0, 1, 0, 20, 0},
      {"only end results", 2, 0, 0, 1, 0, 2, 0},
      {"more than the callers' arrays hold", 2, 256, 0, 1, 0, 0, 44},
      {"a negative count", -1, 20, 0, 1, 0, 0, -2},
  };
  for (const Case &c : cases) {
    const int ni = std::max(c.n_int, 0), ne = std::max(c.n_end, 0), room = ni + ne;
    std::vector<double> ipts(3 * ni + 1), ip1(ni + 1), ip2(ni + 1), pts(3 * room + 3, -7), p1(room + 1, -7),
        p2(room + 1, -7);
    double epts[6] = {0, 0, 0, 1e6, 0, 0}, ep1[2] = {-1, 0.5 * ni * c.spacing}, ep2[2] = {0, 1};
    for (int j = 0; j < ni; ++j) {
      ipts[3 * j] = j * c.spacing;
      ip1[j] = j * c.spacing;
    }
    BSallocfailat(c.fail_alloc);
    int n = -1, rc = 99;
    BScvcv_comb(c.n_end, c.n_int, c.tangency, epts, ipts.data(), ep1, ep2, ip1.data(), ip2.data(), &n, pts.data(),
                p1.data(), p2.data(), &rc);
    BSallocfailat(0);
    EXPECT_EQ(rc, c.rc) << c.what;
    ASSERT_EQ(n, c.n) << c.what;
    // Ordered along the first span; nothing written past the merged results.
    for (int i = 1; i < n; ++i) EXPECT_LE(p1[i - 1], p1[i]) << c.what << " " << i;
    EXPECT_EQ(p1[n], -7) << c.what;
  }
}

}  // namespace

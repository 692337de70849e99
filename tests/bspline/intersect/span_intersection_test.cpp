#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/intersect.h"
#include "tests/bspline/measure_curves.h"

namespace {

const char *g_fail_in = nullptr;  // the routine whose exit the hook turns into a failure
int g_polygon_calls = 0;
void hook(const char *lname, int *rc) {
  if (rc && g_fail_in && std::strcmp(lname, g_fail_in) == 0) *rc = 77;
  g_polygon_calls += std::strcmp(lname, "bsxbzs4") == 0;
}

std::vector<double> bezier_knots(int order) {
  std::vector<double> k(2 * order, 0.0);
  for (int i = order; i < 2 * order; ++i) k[i] = 1;
  return k;
}

TEST(SpanIntersection, CasesAndMethods) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), c30 = std::sqrt(3.0) / 2;
  // Where y = 0.8 meets the arc below: 0.5 -+ sqrt(3) / 6 on it.
  const double ta = 0.5 - std::sqrt(3.0) / 6, tb = 1 - ta;
  const std::vector<double> k2 = bezier_knots(2), k3 = bezier_knots(3), k4 = bezier_knots(4);
  TestCurve seg(2, {0, 0, 0, 3, 0, 0}, k2), back(2, {3, 0, 0, 0, 0, 0}, k2);
  TestCurve bump(4, {0, 0, 0, 1, 1, 0, 2, 1, 0, 3, 0, 0}, k4), dip(4, {3, 0, 0, 4, -1, 0, 5, -1, 0, 6, 0, 0}, k4);
  // Crosses the x axis at its middle, by symmetry.
  TestCurve wave(4, {0, 0, 0, 1, 2, 0, 2, -2, 0, 3, 0, 0}, k4);
  // 120 degrees of the unit circle about the origin, from 30 to 150 degrees, crossed twice by y = 0.8.
  TestCurve arc(3, {c30, 0.5, 0, 0, 2, 0, -c30, 0.5, 0}, k3, {1, 0.5, 1}), chord(2, {-2, 0.8, 0, 2, 0.8, 0}, k2);
  TestCurve dot(2, {3, 0, 0, 3 + 1e-7, 0, 0}, k2), order17(17, std::vector<double>(51, 0.0), bezier_knots(17));
  for (int i = 0; i < 17; ++i) order17.poles[3 * i] = i;
  // Weights too uneven for the straightness test of the poles.
  const auto wide = circular_arc(1, 0, 3.0, 1);
  TestCurve heavy(2, {1, 0, 0, -1, 0.5, 0}, k2, {1, 0.1});
  TestCurve damaged(4, {0, 0, 0, 1, nan, 0, 2, 1, 0, 3, 0, 0}, k4);
  // Along the x axis from 0 out to 3.56 and back to 3, and the straight run from 0 to 3: both straight, yet the
  // first covers more than the second between the ends they share.
  TestCurve out_back(4, {0, 0, 0, 4, 0, 0, 4, 0, 0, 3, 0, 0}, k4), run(4, {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0}, k4);
  // One span of a uniform cubic: its end knots are not full, so it runs from (1, 5/6) to (2, 5/6) above the x
  // axis, away from its end poles (0, 0) and (3, 0).
  TestCurve loose(4, {0, 0, 0, 1, 1, 0, 2, 1, 0, 3, 0, 0}, {-3, -2, -1, 0, 1, 2, 3, 4});
  // Two cubics ending at (3, 0) that cross at 17.5 degrees 0.22 before it, on the end legs of both node polygons.
  TestCurve hook_in(4, {0, 0, 0, -15, -15, 0, 4, 0, 0, 3, 0, 0}, k4);
  TestCurve sweep(4, {-15, -15, 0, -13, 0, 0, 2, -4, 0, 3, 0, 0}, k4);
  // The same beside another cubic to (3, 0), whose end leg's nearest point to the other's comes out a rounding
  // before the shared end.
  TestCurve sweep_wide(4, {-14.75, -15, 0, -15, 0, 0, 2, -4, 0, 3, 0, 0}, k4);
  // A cubic across a loop of order 10 twice, at 3.5 and 3.3 degrees 0.042 apart: both crossings are solved as
  // touching points and lie within their merge distance (0.048). The loop starts and ends where the cubic ends.
  TestCurve sweep_back(4, {-10.75, -10, 0, 0, -14.625, 0, -13, -2, 0, -15, -15, 0}, k4);
  TestCurve loop10(10,
                   {-15, -15, 0, -15, -15, 0, -15, -15, 0, -13.125, -6.25, 0, -6.25, -6.25, 0, -6.875, -6.25, 0,
                    -6.25, 0, 0, -9.375, -15, 0, 0, -15, 0, -15, -15, 0},
                   bezier_knots(10));
  struct Case {
    const char *what;
    TestCurve &a, &b;
    const char *fail_in;
    int rc, n, overlap, polygon_calls;
    bool pars;  // par1 and par2 known
    double par1[4], par2[4];
    double tol = 1e-9;  // of the parameters and of the points on both spans
  } cases[] = {
      {"two identical segments: their ends, as an overlap", seg, seg, nullptr, 0, 2, 1, 0, true, {0, 1}, {0, 1}},
      {"the same cubic: an overlap through the samples", bump, bump, nullptr, 0, 2, 1, 0, true, {0, 1}, {0, 1}},
      {"the same arc of 3 rad", *wide, *wide, nullptr, 0, 2, 1, 0, true, {0, 1}, {0, 1}},
      {"the same unevenly weighted segment", heavy, heavy, nullptr, 0, 2, 1, 0, true, {0, 1}, {0, 1}},
      {"a common end only", bump, dip, nullptr, 0, 1, 0, 1, true, {1}, {0}},
      {"both ends and a crossing, the end repeats dropped", wave, back, nullptr, 0, 3, 0, 1, true, {0, 0.5, 1},
       {1, 0.5, 0}},
      {"a line twice across an arc, in closed form", chord, arc, nullptr, 0, 2, 0, 0, true, {0.65, 0.35}, {ta, tb}},
      {"the arc first", arc, chord, nullptr, 0, 2, 0, 0, true, {ta, tb}, {0.65, 0.35}},
      {"the arc test fails: a general span", chord, arc, "bststcvfarc", 0, 2, 0, 1, true, {0.35, 0.65}, {tb, ta}},
      {"a degenerate segment: the end results only", seg, dot, nullptr, 0, 1, 0, 0, true, {1}, {0}},
      {"straight, one turning back: no overlap", out_back, run, nullptr, 0, 2, 0, 1, true, {0, 1}, {0, 1}},
      {"end knots not full: the end poles are no ends", loose, seg, nullptr, 0, 0, 0, 1, true, {}, {}},
      {"a shallow crossing beside a shared end", hook_in, sweep, nullptr, 0, 4, 0, 1, true,
       {0.06381930006, 0.81061999871, 0.92972718888, 1}, {0.63094432844, 0.85639653432, 0.98215901852, 1}},
      {"the same with the end legs meeting a rounding off their nodes", hook_in, sweep_wide, nullptr, 0, 4, 0, 1, true,
       {0.05994080748, 0.82048505643, 0.92890419213, 1}, {0.65666543783, 0.87333011088, 0.98173962180, 1}},
      {"two shallow crossings closer than the merge distance: two, no touch", sweep_back, loop10, nullptr, 0, 4, 0, 1,
       true, {0.28466130908, 0.29256702267, 0.70185780398, 1}, {0.77239768228, 0.77105792245, 0.34838529987, 0},
       1e-7},
      {"the polygon intersector fails", bump, dip, "bsxbzs4", 77, 0, 0, 1, false, {}, {}},
      {"the end stage fails", bump, dip, "bsendpoint", 77, 0, 0, 0, false, {}, {}},
      {"order 17", order17, seg, nullptr, -2, 0, 0, 0, false, {}, {}},
      {"a NaN pole", damaged, seg, nullptr, -2, 0, 0, 0, false, {}, {}},
      {"a null span", seg, seg, "", 3, 0, 0, 0, false, {}, {}},
  };
  for (const bool slow : {false, true}) {
    for (const Case &c : cases) {
      const bstest::SlowRoads roads(slow);
      SCOPED_TRACE(slow ? "slow roads" : "short roads");
      g_fail_in = c.fail_in;
      g_polygon_calls = 0;
      const BSfaulthandler old = BSsetfaulthook(hook);
      VOQbsp_curve *b = c.fail_in && !*c.fail_in ? nullptr : &c.b.cv;
      double pts[3 * BSSPAN_RESULTS], par1[BSSPAN_RESULTS], par2[BSSPAN_RESULTS];
      int n = -1, rc = 99;
      BSboolean overlap = 9;
      BSbzbz_int(&c.a.cv, b, &n, pts, par1, par2, &overlap, &rc);
      BSsetfaulthook(old);
      EXPECT_EQ(rc, c.rc) << c.what;
      EXPECT_EQ(overlap, c.overlap) << c.what;
      EXPECT_EQ(g_polygon_calls, c.polygon_calls) << c.what;
      ASSERT_EQ(n, c.n) << c.what;
      for (int i = 0; i < n; ++i) {
        if (c.pars) {
          EXPECT_NEAR(par1[i], c.par1[i], c.tol) << c.what << " " << i;
          EXPECT_NEAR(par2[i], c.par2[i], c.tol) << c.what << " " << i;
        }
        // Every result lies on both spans at its parameters.
        double on1[3], on2[3];
        int erc = 0;
        BScveval_n(&c.a.cv, par1[i], 0, on1, &erc);
        BScveval_n(b, par2[i], 0, on2, &erc);
        for (int k = 0; k < 3; ++k) {
          EXPECT_NEAR(on1[k], pts[3 * i + k], c.tol) << c.what << " " << i;
          EXPECT_NEAR(on2[k], pts[3 * i + k], c.tol) << c.what << " " << i;
        }
      }
    }
  }
}

}  // namespace

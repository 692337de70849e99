#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "bspline/core/test_support.h"
#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN(), kS = std::sqrt(0.5);
const double kO[3] = {0, 0, 0}, kZ[3] = {0, 0, 1};
const std::vector<double> kBez3 = {0, 0, 0, 1, 1, 1}, kBez4 = {0, 0, 0, 0, 1, 1, 1, 1}, kSeg = {0, 0, 1, 1};

const char *g_fail_in = nullptr;  // the routine whose exit the hook turns into a failure
int g_feet = 0;                   // perpendiculars dropped
void hook(const char *lname, int *rc) {
  if (rc && g_fail_in && std::strcmp(lname, g_fail_in) == 0) *rc = 77;
  g_feet += std::strcmp(lname, "bsperpa") == 0;
}

TEST(ClosedFormSpans, CirclesLinesAndPlanes) {
  // BSxarcarc (r1 about the origin, r2 about c2, normals z and n2z z), BSxlnsph (the line l0 l1 against r1 about
  // the origin) or BSpl_pl (z = 2 against the plane through c2 with the normal n2).
  enum Kind { kCircles, kLine, kPlanes };
  const double ulp_r1 = 8.477354442440296, ulp_r2 = 5.102309823738044;
  struct Case {
    const char *what;
    Kind kind;
    double c2[3], r1, r2, n2[3], l1[3], tol;
    int k, rc;
    double p[6];
  } cases[] = {
      {"outer touching", kCircles, {3, 0, 0}, 1, 2, {0, 0, 1}, {}, 1e-6, 1, 0, {1, 0, 0}},
      {"inner touching, r1 <= r2", kCircles, {1, 0, 0}, 1, 2, {0, 0, 1}, {}, 1e-6, 1, 0, {-1, 0, 0}},
      {"inner touching, r1 > r2", kCircles, {1, 0, 0}, 2, 1, {0, 0, 1}, {}, 1e-6, 1, 0, {2, 0, 0}},
      {"crossing, symmetric", kCircles, {0, 1.6, 0}, 1, 1, {0, 0, 1}, {}, 1e-6, 2, 0, {-0.6, 0.8, 0, 0.6, 0.8, 0}},
      {"disjoint", kCircles, {5, 0, 0}, 1, 2, {0, 0, 1}, {}, 1e-6, 0, 0, {}},
      {"one circle, normals opposite", kCircles, {0, 0, 0}, 1, 1, {0, 0, -1}, {}, 1e-6, 0, 46, {}},
      // With no touching tolerance an ulp short of touching rounds r1^2 - x^2 below 0.
      {"an ulp short of touching", kCircles, {13.579664266178339, 0, 0}, ulp_r1, ulp_r2, {0, 0, 1}, {}, 0, 2, 0,
       {ulp_r1, 0, 0, ulp_r1, 0, 0}},
      {"NaN radius", kCircles, {3, 0, 0}, kNaN, 2, {0, 0, 1}, {}, 1e-6, 0, -2, {}},
      {"line through the centre", kLine, {-2, 0, 0}, 1, 0, {}, {3, 0, 0}, 1e-6, 2, 0, {1, 0, 0, -1, 0, 0}},
      {"tangent line: the foot", kLine, {-1, 2, 0}, 2, 0, {}, {1, 2, 0}, 1e-6, 1, 0, {0, 2, 0}},
      {"line missing", kLine, {-1, 3, 0}, 2, 0, {}, {1, 3, 0}, 1e-6, 0, 0, {}},
      {"line too short to project onto", kLine, {1, 1, 1}, 2, 0, {}, {1, 1, 1}, 1e-6, 0, 0, {}},
      {"negative radius", kLine, {-1, 0, 0}, -1, 0, {}, {1, 0, 0}, 1e-6, 0, -2, {}},
      {"parallel planes", kPlanes, {0, 0, 1}, 0, 0, {0, 0, -1}, {}, 1e-6, 3, 0, {}},
      {"coincident planes", kPlanes, {4, 5, 2}, 0, 0, {0, 0, 1}, {}, 1e-6, 4, 0, {}},
      {"y, the largest of D, fixed at 1", kPlanes, {0, 3, 0}, 0, 0, {1, 0, 0}, {}, 1e-6, 5, 0, {0, 1, 2}},
      {"|Dx| = |Dy|: x, the earlier, fixed at 1", kPlanes, {0, 3, 0}, 0, 0, {kS, kS, 0}, {}, 1e-6, 5, 0, {1, 2, 2}},
      {"zero normal", kPlanes, {0, 0, 0}, 0, 0, {0, 0, 0}, {}, 1e-6, 0, -6, {}},
  };
  const double tol = BStoltab[bstol::dist_tol], p1[3] = {0, 0, 2};
  for (const Case &c : cases) {
    double pts[6] = {}, dir[3] = {};
    std::int16_t k = 9;
    int rc = 0, code = 9;
    BSchangepar(&rc, bstol::dist_tol, c.tol);
    if (c.kind == kCircles) BSxarcarc(kO, c.r1, kZ, c.c2, c.r2, c.n2, &k, pts, &rc);
    if (c.kind == kLine) BSxlnsph(c.c2, c.l1, kO, c.r1, &k, pts, &rc);
    if (c.kind == kPlanes) BSpl_pl(p1, kZ, c.c2, c.n2, &code, pts, dir, &rc);
    int trc = 0;
    BSchangepar(&trc, bstol::dist_tol, tol);
    EXPECT_EQ(rc, c.rc) << c.what;
    ASSERT_EQ(c.kind == kPlanes ? code : k, c.k) << c.what;  // for planes, the code
    if (c.kind == kPlanes && code == 5) {
      EXPECT_NEAR(std::hypot(dir[0], dir[1]), 1, 1e-15) << c.what;
    }
    EXPECT_EQ(dir[2], 0) << c.what;  // along both planes
    for (int i = 0; i < 3 * (c.kind == kPlanes ? code == 5 : k); ++i)
      EXPECT_NEAR(pts[i], c.p[i], 1e-14) << c.what << " " << i;
  }
}

// A quarter circle about (cx, cy) of radius r from angle 90 a degrees, in z = 0.
std::unique_ptr<TestCurve> quarter(double cx, double cy, double r, int a) {
  const double c[4] = {1, 0, -1, 0}, s[4] = {0, 1, 0, -1};
  const int b = (a + 1) % 4;
  return std::make_unique<TestCurve>(3, std::vector<double>{cx + r * c[a], cy + r * s[a], 0, cx + r * (c[a] + c[b]),
                                                            cy + r * (s[a] + s[b]), 0, cx + r * c[b], cy + r * s[b], 0},
                                     kBez3, std::vector<double>{1, kS, 1});
}

TEST(ClosedFormSpans, CandidatesKeptOnBothSpans) {
  const auto arc = quarter(0, 0, 1, 0), next = quarter(0, 0, 1, 1), moved = quarter(0.5, 0, 1, 1);
  // In the plane x = 0.6: the planes' line meets the first sphere at y = 0.8 (on both arcs) and y = -0.8.
  const TestCurve upright(3, {0.6, 0.8, 0, 0.6, 0.8, 0.8, 0.6, 0, 0.8}, kBez3, {1, kS, 1});
  const TestCurve through(2, {-2, 0, 0, 2, 0, 0}, kSeg), tangent(2, {-1, 1, 0, 1, 1, 0}, kSeg);
  const TestCurve half(2, {-2, 0, 0, 0, 0, 0}, kSeg), miss(2, {-1, 2, 0, 1, 2, 0}, kSeg);
  const double c2[3] = {0.5, 0, 0}, c3[3] = {0.6, 0, 0};
  struct Case {
    const char *what;
    const VOQbsp_curve *a, *b;  // a is a line span when it has no circle
    const double *cb;
    double ra, rb;
    int m, rc;
    double p[3];
  } cases[] = {
      {"a line through the centre meets the quarter once", &through.cv, &arc->cv, kO, 0, 1, 1, 0, {1, 0, 0}},
      {"a tangent line: the foot of the centre", &tangent.cv, &arc->cv, kO, 0, 1, 1, 0, {0, 1, 0}},
      {"the circle's point lies beyond the line span", &half.cv, &arc->cv, kO, 0, 1, 0, 0, {}},
      {"a line missing the circle", &miss.cv, &arc->cv, kO, 0, 1, 0, 0, {}},
      {"a null arc", &miss.cv, nullptr, kO, 0, 1, 0, 3, {}},
      {"arcs of one circle: the end results stand", &arc->cv, &next->cv, kO, 1, 1, 0, 0, {}},
      {"arcs in one plane crossing once on both", &arc->cv, &moved->cv, c2, 1, 1, 1, 0, {0.25, std::sqrt(0.9375), 0}},
      {"arcs in crossing planes", &arc->cv, &upright.cv, c3, 1, 0.8, 1, 0, {0.6, 0.8, 0}},
      {"a NaN radius", &arc->cv, &next->cv, kO, kNaN, 1, 0, -2, {}},
  };
  for (const Case &c : cases) {
    double pts[6] = {}, pa[2] = {}, pb[2] = {};
    std::int16_t m = 9;
    int rc = 99;
    if (c.ra == 0) BSxbzlnarc(c.a, c.b, c.cb, c.rb, &m, pts, pa, pb, &rc);
    if (c.ra != 0) BSxbzarcarc(c.a, kO, c.ra, c.b, c.cb, c.rb, &m, pts, pa, pb, &rc);
    EXPECT_EQ(rc, c.rc) << c.what;
    ASSERT_EQ(m, c.m) << c.what;
    // The point, and each parameter placing it on its own span.
    for (int i = 0; i < 3 * m; ++i) EXPECT_NEAR(pts[i], c.p[i], 1e-12) << c.what;
    for (auto [cv, u] : {std::pair{c.a, pa[0]}, std::pair{c.b, pb[0]}}) {
      double x[3];
      BScveval_n(cv, u, 0, x, &rc);
      for (int i = 0; i < 3 * m; ++i) EXPECT_NEAR(x[i], c.p[i], 1e-9) << c.what;
    }
  }
}

TEST(ClosedFormSpans, OverlapBetweenEndResults) {
  const TestCurve cubic(4, {0, 0, 0, 1, 2, 0, 3, -1, 0, 4, 1, 0}, kBez4);
  const TestCurve reversed(4, {4, 1, 0, 3, -1, 0, 1, 2, 0, 0, 0, 0}, kBez4);
  const TestCurve up(3, {0, 0, 0, 1, 2, 0, 2, 0, 0}, kBez3), down(3, {0, 0, 0, 1, -2, 0, 2, 0, 0}, kBez3);
  const TestCurve raised(4, {0, 0, 0, 2 / 3., 4 / 3., 0, 4 / 3., 4 / 3., 0, 2, 0, 0}, kBez4);
  const auto arc = quarter(0, 0, 1, 0);
  // The same quarter run backwards with its weights scaled, and a quadratic whose middle is the arc's centre.
  const TestCurve back(3, {0, 1, 0, 1, 1, 0, 1, 0, 0}, kBez3, {2, 2 * kS, 2});
  const TestCurve dented(3, {1, 0, 0, -0.5, -0.5, 0, 0, 1, 0}, kBez3), seg(2, {0, 0, 0, 2, 0, 0}, kSeg);
  // Along the x axis from 0 out to 3.56 and back to 3, against the straight run from 0 to 3.
  const TestCurve out_back(4, {0, 0, 0, 4, 0, 0, 4, 0, 0, 3, 0, 0}, kBez4), run(4, {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0}, kBez4);
  // Along the x axis out to 8/3 and back to 2, against the run from 0 to 2.5: that end's foot on the way back.
  const TestCurve out_back2(3, {0, 0, 0, 4, 0, 0, 2, 0, 0}, kBez3), run2(3, {0, 0, 0, 1.25, 0, 0, 2.5, 0, 0}, kBez3);
  struct Case {
    const char *what;
    const VOQbsp_curve *a, *b;
    double pa[2], pb[2];
    const char *fail_in;
    int feet, overlap, rc;
  } cases[] = {
      {"the same cubic piece, one way", &cubic.cv, &cubic.cv, {0, 1}, {0, 1}, nullptr, 0, 1, 0},
      {"the same cubic piece, run the other way", &cubic.cv, &reversed.cv, {0.2, 0.8}, {0.8, 0.2}, nullptr, 0, 1, 0},
      {"a quadratic against itself raised to a cubic", &up.cv, &raised.cv, {0, 1}, {0, 1}, nullptr, 0, 1, 0},
      {"rational, backwards, end weights not 1", &arc->cv, &back.cv, {0, 1}, {1, 0}, nullptr, 0, 1, 0},
      {"quadratics with equal ends bulging apart", &up.cv, &down.cv, {0, 1}, {0, 1}, nullptr, 1, 0, 0},
      {"no sample has a foot", &dented.cv, &arc->cv, {0, 1}, {0, 1}, nullptr, 1, 0, 0},
      // The sample at 3.56 has no foot on the shorter run: it lies beyond its end, not on it.
      {"a piece that turns back covers more", &out_back.cv, &run.cv, {0, 1}, {0, 1}, nullptr, 3, 0, 0},
      {"a piece that turns back, each sample on the other", &out_back2.cv, &run2.cv, {0, 5. / 6}, {0, 1}, nullptr, 21,
       0, 0},
      {"lines: no samples", &seg.cv, &seg.cv, {0, 1}, {0, 1}, nullptr, 0, 0, 0},
      {"the foot fails", &up.cv, &down.cv, {0, 1}, {0, 1}, "bsperpa", 1, 0, 77},
      {"the piece fails", &up.cv, &down.cv, {0, 1}, {0, 1}, "bsactivsplt", 0, 0, 77},
      {"the degree raising fails", &up.cv, &raised.cv, {0, 1}, {0, 1}, "bsupthedeg", 0, 0, 77},
      {"a NaN result", &up.cv, &down.cv, {0, 1}, {kNaN, 1}, nullptr, 0, 0, -2},
      {"a null span", &up.cv, nullptr, {0, 1}, {0, 1}, nullptr, 0, 0, 3},
  };
  for (const bool slow : {false, true}) {
    for (const Case &c : cases) {
      const bstest::SlowRoads roads(slow);
      SCOPED_TRACE(slow ? "slow roads" : "short roads");
      const int blocks = BSdbgliveblocks();
      g_fail_in = c.fail_in;
      g_feet = 0;
      const BSfaulthandler before = BSsetfaulthook(hook);
      BSboolean overlap = 9;
      int rc = 99;
      BSbzoverlap(c.a, c.b, c.pa, c.pb, &overlap, &rc);
      BSsetfaulthook(before);
      EXPECT_EQ(rc, c.rc) << c.what;
      EXPECT_EQ(overlap, c.overlap) << c.what;
      EXPECT_EQ(g_feet, c.feet) << c.what;  // none where the samples coincide: the direction was right
      EXPECT_EQ(BSdbgliveblocks(), blocks) << c.what;
    }
  }
}

}  // namespace

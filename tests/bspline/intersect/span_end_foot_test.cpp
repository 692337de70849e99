#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/intersect.h"
#include "bspline/intersect/span_end_foot.h"
#include "tests/bspline/curve_fixtures.h"
#include "tests/bspline/measure_curves.h"

namespace {

// Every foot through the global search while in scope.
struct GlobalOnly {
  const bstest::Restore keep;
  GlobalOnly() { bstest::set_global_feet(true); }
};

struct Foot {
  double par = -9, base[3] = {-9, -9, -9}, dist = -9;
  int rc = 99;
};

Foot global_foot(const TestCurve &c, const double *p) {
  const GlobalOnly global;
  Foot f;
  BSmdstptcv(&c.cv, p, &f.par, f.base, &f.dist, &f.rc);
  return f;
}

// A cubic span with knots 2 .. 5, gently bent; an S of one span; a 120 degree arc of radius 2 about (1, 1) with
// end weights 2 and 0.5 (the same arc, another parametrisation); a quarter circle; a segment.
const TestCurve kGentle(4, {0, 0, 0, 1, 0.1, 0, 2, 0.1, 0, 3, 0, 0}, {2, 2, 2, 2, 5, 5, 5, 5});
const TestCurve kS(4, {0, 0, 0, 1, 2, 0, 2, -2, 0, 3, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
const double kC60 = std::cos(M_PI / 3), kS60 = std::sin(M_PI / 3);
// Ends at -60 and +60 degrees, the middle pole where the tangents meet (distance 2 / cos 60 from the centre); the
// middle weight is cos 60 times the root of the end weights' product, which is 1.
const TestCurve kArc(3, {1 + 2 * kC60, 1 - 2 * kS60, 0, 1 + 4, 1, 0, 1 + 2 * kC60, 1 + 2 * kS60, 0},
                     {0, 0, 0, 1, 1, 1}, {2, 0.5, 0.5});
const TestCurve kQuarter(3, {2, 0, 0, 2, 2, 0, 0, 2, 0}, {0, 0, 0, 1, 1, 1}, {1, std::sqrt(0.5), 1});
const TestCurve kSegment(2, {0, 0, 0, 4, 0, 0}, {0, 0, 1, 1});
// A symmetric U, lowest at (1.5, -0.5) with radius of curvature 0.75 there.
const TestCurve kU(4, {0, 1, 0, 1, -1, 0, 2, -1, 0, 3, 1, 0}, {0, 0, 0, 0, 1, 1, 1, 1});

// The local answer, where it is given, is the global search's: parameter, foot and distance.
TEST(SpanEndFoot, LocalFootAgreesWithTheGlobalSearch) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char *what;
    const TestCurve &cv;
    double point[3];
    int local;  // 1: the local answer must be given, -1: it must not, 0: either
  } cases[] = {
      {"gentle cubic: above the middle", kGentle, {1.5, 1, 0}, 1},
      {"gentle cubic: 1e-9 beside the curve near its start", kGentle, {3e-3, 3e-4 - 1e-9, 0}, 1},
      {"gentle cubic: beyond the start, the end pole", kGentle, {-1, -0.5, 0}, 1},
      {"gentle cubic: beyond the end, out of the plane", kGentle, {4, 0.1, 1}, 1},
      {"gentle cubic: on the end pole", kGentle, {3, 0, 0}, 1},
      {"S span: one point, two basins", kS, {1.5, 0, 0}, 0},
      {"U: above the bottom, within half the radius of curvature", kU, {1.5, -0.2, 0}, 1},
      {"U: above the bottom, past half the radius of curvature", kU, {1.5, 0.1, 0}, 1},
      {"U: past the centre of curvature, two minima alike", kU, {1.5, 0.5, 0}, -1},
      {"U: past the centre of curvature, off the axis", kU, {1.6, 0.5, 0}, 1},
      {"segment: interior foot", kSegment, {1, 1, 0}, 1},
      {"segment: the start within half the tolerance wins", kSegment, {1e-7, 5, 0}, 1},
      {"arc: inside the sweep, outside the circle", kArc, {5, 1.5, 0}, 1},
      {"arc: inside the circle", kArc, {1.5, 0.8, 0}, 1},
      {"arc: off its plane", kArc, {3, 2, -1}, 1},
      {"arc: beyond the sweep, nearer the last end", kArc, {0, 3, 0}, 1},
      {"arc: beyond the sweep, nearer the first end", kArc, {-1, -0.5, 0}, 1},
      {"arc: on its first end", kArc, {1 + 2 * kC60, 1 - 2 * kS60, 0}, 1},
      {"arc: on the circle a hair past the last end",
       kArc,
       {1 + 2 * std::cos(M_PI / 3 + 1e-9), 1 + 2 * std::sin(M_PI / 3 + 1e-9), 0},
       1},
      {"arc: on the circle a hair short of the last end",
       kArc,
       {1 + 2 * std::cos(M_PI / 3 - 1e-7), 1 + 2 * std::sin(M_PI / 3 - 1e-7), 0},
       1},
      {"arc: the centre, every point alike", kArc, {1, 1, 0}, -1},
      {"quarter circle: on the arc at 30 degrees", kQuarter, {2 * std::cos(M_PI / 6), 1, 0}, 1},
      {"quarter circle: near the first end, inside", kQuarter, {1.9, 1e-6, 0}, 1},
  };
  for (const Case &c : cases) {
    const Foot g = global_foot(c.cv, c.point);
    ASSERT_EQ(g.rc, 0) << c.what;
    Foot l;
    const bool local = bsendfoot::local_foot(c.cv.cv, c.point, BStoltab[bstol::dist_tol], &l.par, l.base, &l.dist);
    if (c.local != 0) {
      EXPECT_EQ(local, c.local > 0) << c.what;
    }
    if (!local) continue;
    EXPECT_NEAR(l.par, g.par, 1e-9) << c.what;
    EXPECT_NEAR(l.dist, g.dist, 1e-9) << c.what;
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(l.base[k], g.base[k], 1e-9) << c.what << " " << k;
    // Through the public call too, which now takes the local answer.
    Foot p;
    BSmdstptcv(&c.cv.cv, c.point, &p.par, p.base, &p.dist, &p.rc);
    EXPECT_EQ(p.rc, 0) << c.what;
    EXPECT_EQ(p.par, l.par) << c.what;
  }
  // An elliptic quadratic (middle weight off the circle's) and a damaged weight are left to the search.
  const TestCurve ellipse(3, {2, 0, 0, 2, 2, 0, 0, 2, 0}, {0, 0, 0, 1, 1, 1}, {1, 0.7, 1});
  const TestCurve negative(3, {2, 0, 0, 2, 2, 0, 0, 2, 0}, {0, 0, 0, 1, 1, 1}, {1, -0.7, 1});
  const double p[3] = {1, 1, 0}, bad[3] = {nan, 0, 0};
  Foot l;
  EXPECT_FALSE(bsendfoot::local_foot(ellipse.cv, p, 1e-6, &l.par, l.base, &l.dist));
  EXPECT_FALSE(bsendfoot::local_foot(negative.cv, p, 1e-6, &l.par, l.base, &l.dist));
  EXPECT_FALSE(bsendfoot::local_foot(kGentle.cv, bad, 1e-6, &l.par, l.base, &l.dist));
  EXPECT_FALSE(bsendfoot::local_foot(kArc.cv, bad, 1e-6, &l.par, l.base, &l.dist));
  EXPECT_EQ(l.par, -9);
  Foot refused;
  BSmdstptcv(&kGentle.cv, bad, &refused.par, refused.base, &refused.dist, &refused.rc);
  EXPECT_EQ(refused.rc, BSRC_OUT_OF_RANGE);
}

// Only what is certainly out of reach is passed over: every point said to be beyond r lies farther than r by the
// global search, and points within r never are.
TEST(SpanEndFoot, BeyondOnlyWhatIsOutOfReach) {
  const double r = 1e-6;
  struct Case {
    const char *what;
    const TestCurve &cv;
    double point[3];
    bool beyond;
  } cases[] = {
      {"far from the box", kGentle, {10, 10, 0}, true},
      {"inside the box, off the curve", kGentle, {1.5, 0.1, 0}, true},
      {"2r off the curve", kSegment, {1, 2 * r, 0}, true},
      {"half r off the curve", kSegment, {1, 0.5 * r, 0}, false},
      {"on the curve", kGentle, {3, 0, 0}, false},
      {"the arc's centre, inside the poles' box", kQuarter, {0.5, 0.5, 0}, true},
      {"just beyond the end of the segment", kSegment, {4 + 0.5 * r, 0, 0}, false},
  };
  for (const Case &c : cases) {
    const Foot g = global_foot(c.cv, c.point);
    ASSERT_EQ(g.rc, 0) << c.what;
    const bool beyond = bsendfoot::beyond(c.cv.cv, c.point, r);
    EXPECT_EQ(beyond, c.beyond) << c.what;
    if (beyond) {
      EXPECT_GT(g.dist, r) << c.what;
    }
  }
  const TestCurve damaged(3, {2, 0, 0, 2, 2, 0, 0, 2, 0}, {0, 0, 0, 1, 1, 1}, {1, 0, 1});
  const double far[3] = {100, 100, 100};
  EXPECT_FALSE(bsendfoot::beyond(damaged.cv, far, r));
}

// The span-end check gives the same ends with the local feet as with the global search alone, at the default and
// at a fine distance tolerance.
TEST(SpanEndFoot, EndResultsAgreeWithTheGlobalSearch) {
  const double tol = 1e-6;
  // a: a cubic from (0, 0) to (3, 0); the others meet it at or near its ends, or end on it.
  const TestCurve a(4, {0, 0, 0, 1, 0.3, 0, 2, 0.3, 0, 3, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  const TestCurve touching(4, {3, 0, 0, 4, -1, 0, 5, 1, 0, 6, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  const TestCurve near_end(2, {3 + 0.4 * tol, 0.3 * tol, 0, 4, 2, 0}, {0, 0, 1, 1});
  // Starts on a's interior, where a has y = 0.225 at x = 1.5.
  const TestCurve on_interior(2, {1.5, 0.225, 0, 1.5, 3, 0}, {0, 0, 1, 1});
  // A line across a's end, 0.3 tol from it: a's end lies on it, its own ends far away.
  const TestCurve across(2, {3 + 0.3 * tol, -2, 0, 3 + 0.3 * tol, 2, 0}, {0, 0, 1, 1});
  const TestCurve same_back(4, {3, 0, 0, 2, 0.3, 0, 1, 0.3, 0, 0, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  const TestCurve arc_touch(3, {3, 0, 0, 3, 1, 0, 2, 1, 0}, {0, 0, 0, 1, 1, 1}, {1, std::sqrt(0.5), 1});
  struct Case {
    const char *what;
    const TestCurve &b;
    int n;
  } cases[] = {
      {"ends that coincide", touching, 1},
      {"ends half a tolerance apart", near_end, 1},
      {"an end on the interior", on_interior, 1},
      {"the end on a crossing line", across, 1},
      {"the same span backwards", same_back, 2},
      {"an arc from the end", arc_touch, 1},
  };
  for (const double dist_tol : {1e-6, 1e-10}) {
    const TolScope t1(bstol::dist_tol, dist_tol), t2(bstol::dist_sqtol, dist_tol * dist_tol);
    for (const Case &c : cases) {
      const std::string what = std::string(c.what) + " at " + std::to_string(dist_tol);
      double pts[2][6], par1[2][2], par2[2][2];
      int n[2] = {-1, -1}, rc[2] = {99, 99};
      for (int path = 0; path < 2; ++path) {
        const bool before = bstest::set_global_feet(path == 1);
        BSendpoint(&rc[path], &a.cv, &c.b.cv, &n[path], pts[path], par1[path], par2[path]);
        bstest::set_global_feet(before);
      }
      ASSERT_EQ(rc[0], 0) << what;
      ASSERT_EQ(rc[1], 0) << what;
      ASSERT_EQ(n[0], n[1]) << what;
      if (dist_tol == 1e-6) {
        EXPECT_EQ(n[0], c.n) << what;
      }
      for (int i = 0; i < n[0]; ++i) {
        EXPECT_NEAR(par1[0][i], par1[1][i], 1e-9) << what << " " << i;
        EXPECT_NEAR(par2[0][i], par2[1][i], 1e-9) << what << " " << i;
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(pts[0][3 * i + k], pts[1][3 * i + k], 1e-9) << what << " " << i;
      }
    }
  }
}

}  // namespace

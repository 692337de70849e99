#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/extend.h"
#include "bspline/intersect.h"
#include "tests/bspline/conic_fixtures.h"

namespace {

const double kS = std::sqrt(0.5);

TestCurve line(double x0, double y0, double z0, double x1, double y1, double z1) {
  return TestCurve(2, {x0, y0, z0, x1, y1, z1}, {0, 0, 1, 1});
}

// The checks of a fillet: the centre r from both curves, the arc's ends the curves' points at par and its end tangents
// parallel to the curves' tangents there.
void expect_fillet(const char *what, const TestCurve &c1, const TestCurve &c2, double r, const ArcRecord &arc,
                   const double centre[3], const double par[2], double tol = 1e-9) {
  const TestCurve *cv[2] = {&c1, &c2};
  const double ends[2] = {arc.knots[arc.cv.order - 1], arc.knots[arc.cv.num_poles]};
  for (int i = 0; i < 2; ++i) {
    double u = 0, base[3], dist = 0, p[3], q[3], tp[3], ta[3], x[3];
    int rc = 0;
    BSmdstptcv(&cv[i]->cv, centre, &u, base, &dist, &rc);
    EXPECT_NEAR(dist, r, tol) << what << " curve " << i;
    ref_point(*cv[i], par[i], p);
    arc.point(ends[i], q);
    EXPECT_LT(conic_test::dist(p, q), tol) << what << " curve " << i;
    double row[6], arow[6];
    BScveval_n(&cv[i]->cv, par[i], 1, row, &rc);
    BScveval_n(&arc.cv, ends[i], 1, arow, &rc);
    for (int c = 0; c < 3; ++c) tp[c] = row[3 + c], ta[c] = arow[3 + c];
    conic_test::cross(tp, ta, x);
    EXPECT_LT(std::sqrt(conic_test::dot(x, x)), tol * std::sqrt(conic_test::dot(tp, tp) * conic_test::dot(ta, ta)))
        << what << " curve " << i;
  }
}

// The planar fillet on line pairs (closed form) and on a line against an arc and two cubics (Newton), and the pairs it
// refuses.
TEST(Fillets, PlanarFillet) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  TestCurve x_axis = line(0, 0, 0, 2, 0, 0), y_axis = line(0, 0, 0, 0, 2, 0), parallel = line(0, 1, 0, 2, 1, 0);
  TestCurve above = line(0, 0, 1e-3, 0, 2, 1e-3), below = line(0, 0, -1e-3, 0, 2, -1e-3);
  // A quarter circle of radius 3 about (0, 5), from (0, 2) to (3, 5), and one far from the x axis.
  TestCurve long_axis = line(0, 0, 0, 6, 0, 0);
  TestCurve arc(3, {0, 2, 0, 3, 2, 0, 3, 5, 0}, {0, 0, 0, 1, 1, 1}, {1, kS, 1});
  TestCurve far_arc(3, {3, 40, 0, 3, 43, 0, 0, 43, 0}, {0, 0, 0, 1, 1, 1}, {1, kS, 1});
  TestCurve cubic1(4, {0, 0, 0, 1, 0.2, 0, 2, -0.1, 0, 3, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  TestCurve cubic2(4, {2, 3, 0, 2.2, 2, 0, 1.9, 1, 0, 2.1, -1, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  // A polyline whose corner (-15, 10.75) is where the fillet of radius 10.75 touches it: Newton closes the pair in the
  // leg below the corner, and a second pass from there lands on the corner's knot, where the mean normal holds.
  TestCurve ray = line(0, 0, 0, -15, 0, 0);
  TestCurve bend(2, {-30, 10.75, 0, -15, 10.75, 0, -15, 0.25, 0}, {22.9375, 22.9375, 29.375, 35.125, 35.125});
  TestCurve spatial(4, {0, 0, 0, 1, 1, 0, 2, 0, 1, 3, 1, 1}, {0, 0, 0, 0, 1, 1, 1, 1});
  struct Case {
    const char *what;
    TestCurve &c1, &c2;
    double side1[3], side2[3], corner[3], r;
    int rc;
    double tol = 1e-9;  // a pair closed only to dist_tol is held to that
  } cases[] = {
      {"two lines at right angles", x_axis, y_axis, {1, 0, 0}, {0, 1, 0}, {0.5, 0.5, 0}, 1, 0},
      {"a line against an arc", long_axis, arc, {4.5, 0, 0}, {2.4, 3.2, 0}, {3, 1, 0}, 2, 0},
      // Side points near the curves but off their plane: the arc is still made in the curves' plane.
      {"side points off the plane", long_axis, arc, {4.5, 0, 3}, {2.4, 3.2, -2}, {3, 1, 1}, 2, 0},
      {"two cubics", cubic1, cubic2, {1.5, 0, 0}, {2, 0.5, 0}, {1.5, 0.5, 0}, 0.4, 0},
      {"a polyline touched at its corner", ray, bend, {-12, 0, 0}, {-15, 8, 0}, {-10, 5, 0}, 10.75, 0, 1e-6},
      {"parallel lines", x_axis, parallel, {1, 0, 0}, {1, 1, 0}, {1, 0.5, 0}, 0.25, -1},
      {"a spatial curve", spatial, x_axis, {1, 0, 0}, {1, 0, 0}, {1, 1, 0}, 0.25, -1},
      {"a line above the plane of an arc", arc, above, {3, 4, 0}, {0, 1, 0}, {1, 3, 0}, 0.5, -1},
      {"a line below it", arc, below, {3, 4, 0}, {0, 1, 0}, {1, 3, 0}, 0.5, -1},
      {"offsets that never meet", x_axis, far_arc, {1, 0, 0}, {3, 40, 0}, {1, 1, 0}, 0.5, -6},
      {"radius 0", x_axis, y_axis, {1, 0, 0}, {0, 1, 0}, {0.5, 0.5, 0}, 0, -2},
      {"a NaN radius", x_axis, y_axis, {1, 0, 0}, {0, 1, 0}, {0.5, 0.5, 0}, nan, -2},
  };
  for (Case &c : cases) {
    ArcRecord out;
    double centre[3] = {0, 0, 0}, par[2] = {-1, -1};
    int rc = 99;
    const BSboolean ok = BSfillet(&rc, &c.c1.cv, &c.c2.cv, c.side1, c.side2, c.corner, &c.r, &out.cv, centre, par);
    EXPECT_EQ(ok, rc == 0) << c.what;
    ASSERT_EQ(rc, c.rc) << c.what;
    if (rc == 0) expect_fillet(c.what, c.c1, c.c2, c.r, out, centre, par, c.tol);
  }
  // The right angle in closed form: a quarter circle about (1, 1) touching each line 1 from the common point.
  ArcRecord out;
  double centre[3], par[2], r = 1, side1[3] = {1, 0, 0}, side2[3] = {0, 1, 0}, corner[3] = {0.5, 0.5, 0};
  int rc = 99;
  ASSERT_TRUE(BSfillet(&rc, &x_axis.cv, &y_axis.cv, side1, side2, corner, &r, &out.cv, centre, par));
  EXPECT_TRUE(std::hypot(centre[0] - 1, centre[1] - 1) < 1e-12 && std::hypot(par[0] - 0.5, par[1] - 0.5) < 1e-12);
}

// The tolerance table: a radius below 1e-6 derives the dependent entries from a thousandth of it during the call, and
// every entry, one set by hand included, is as before afterwards, also after a failure of the Newton solver.
double g_seen = 0;
const char *g_fail = nullptr;
void watch(const char *lname, int *rc) {
  if (std::strcmp(lname, "bsptlnplan") == 0) g_seen = BStoltab[bstol::dist_tol];
  if (rc && *rc == 0 && g_fail && std::strcmp(lname, g_fail) == 0) *rc = 77;
}

TEST(Fillets, ToleranceTableComesBack) {
  const double k = 1e-7;
  TestCurve x_axis = line(0, 0, 0, 6 * k, 0, 0);
  TestCurve arc(3, {0, 2 * k, 0, 3 * k, 2 * k, 0, 3 * k, 5 * k, 0}, {0, 0, 0, 1, 1, 1}, {1, kS, 1});
  double side1[3] = {4.5 * k, 0, 0}, side2[3] = {2.4 * k, 3.2 * k, 0}, corner[3] = {3 * k, k, 0}, r = 2 * k;
  int rc = 0;
  BSchangepar(&rc, 3, 4e-7);  // a dependent entry set by hand
  double before[BSTOL_COUNT];
  std::memcpy(before, BStoltab, sizeof before);
  for (const bool slow : {false, true}) {
    for (const char *fail : {static_cast<const char *>(nullptr), "bsqnwt"}) {
      const bstest::SlowRoads roads(slow);
      SCOPED_TRACE(slow ? "slow roads" : "short roads");
      ArcRecord out;
      double centre[3], par[2];
      g_fail = fail, g_seen = 0;
      BSfaulthandler previous = BSsetfaulthook(watch);
      BSfillet(&rc, &x_axis.cv, &arc.cv, side1, side2, corner, &r, &out.cv, centre, par);
      BSsetfaulthook(previous);
      EXPECT_EQ(rc, fail ? 77 : 0);
      EXPECT_EQ(g_seen, r * 0.001);
      EXPECT_EQ(std::memcmp(before, BStoltab, sizeof before), 0) << (fail ? fail : "success");
    }
  }
  r = 0;
  g_seen = 0;
  BSsetfaulthook(watch);
  ArcRecord out;
  double centre[3], par[2];
  EXPECT_FALSE(BSfillet(&rc, &x_axis.cv, &arc.cv, side1, side2, corner, &r, &out.cv, centre, par));
  BSsetfaulthook(nullptr);
  EXPECT_EQ(rc, -2);
  EXPECT_EQ(g_seen, 0);  // refused before the tolerances or the curves were looked at
  BSchangepar(&rc, 3, BStoldefault(3));
}

// The fillet between pieces that leave the plane: lifted ends on the pieces, five poles from three, a result record too
// small, and a piece whose tangent runs along the normal.
TEST(Fillets, SpaceFillet) {
  TestCurve x_axis = line(0, 0, 0, 2, 0, 0), y_axis = line(0, 0, 0, 0, 2, 0);
  TestCurve rising = line(0, 0, 0, 2, 0, 0.2), rising2 = line(0, 0, 0, 0, 2, -0.1);
  TestCurve narrow = line(0, 0, 0, 4 * std::cos(M_PI / 6), 4 * std::sin(M_PI / 6), 0), wide = line(0, 0, 0, 4, 0, 0);
  // Straight in projection, but its tangent at x = 1 is the normal.
  TestCurve upturn(3, {0, 0, 0, 1, 0, 0, 1, 0, 1}, {0, 0, 0, 1, 1, 1});
  const double up[3] = {0, 0, 1};
  struct Case {
    const char *what;
    TestCurve &c1, &c2;
    double side2[3], corner[3];
    int room, rc, poles;
  } cases[] = {
      {"pieces in the plane", x_axis, y_axis, {0, 1, 0}, {0.5, 0.5, 0}, 7, 0, 5},
      {"pieces leaving it", rising, rising2, {0, 1, 0}, {0.5, 0.5, 0}, 7, 0, 5},
      {"a five-pole arc into a three-pole record", wide, narrow, {3, 1.7, 0}, {3, 0.5, 0}, 3, -2, 3},
      {"a tangent along the normal", upturn, y_axis, {0, 1, 0}, {0.5, 0.5, 0}, 7, -1, 5},
  };
  for (Case &c : cases) {
    ArcRecord out;
    out.cv.num_poles = c.room;
    const double side1[3] = {1, 0, 0};
    int rc = 99;
    BSfillet3d(&c.c1.cv, &c.c2.cv, 1.0, side1, c.side2, c.corner, up, &out.cv, &rc);
    ASSERT_EQ(rc, c.rc) << c.what;
    EXPECT_EQ(out.cv.num_poles, c.poles) << c.what;
    if (rc == -2) {
      EXPECT_EQ(out.poles[0], kUnset) << c.what;
    }
    if (rc != 0) continue;
    // A double knot in the middle, the ends on the pieces, and in projection the quarter circle about (1, 1).
    EXPECT_EQ(out.knot_vector(), (std::vector<double>{0, 0, 0, 0.5, 0.5, 1, 1, 1})) << c.what;
    for (double u : {0.0, 0.3, 0.5, 0.8, 1.0}) {
      double p[3];
      out.point(u, p);
      EXPECT_NEAR(std::hypot(p[0] - 1, p[1] - 1), 1, 1e-9) << c.what << " u " << u;
    }
    double a[3], b[3], pa[3], pb[3];
    out.point(0, a), out.point(1, b);
    ref_point(c.c1, a[0] / 2, pa), ref_point(c.c2, b[1] / 2, pb);
    EXPECT_LT(conic_test::dist(a, pa) + conic_test::dist(b, pb), 1e-9) << c.what;
  }
}

}  // namespace

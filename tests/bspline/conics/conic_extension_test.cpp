// Conic arcs continued along their conic, and cut by arc length. Points are evaluated by the reference
// evaluation and checked on the implicit conic of the input's first segment (conic_distance).
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/distance.h"
#include "bspline/extend.h"
#include "bspline/knots.h"
#include "bspline/measure.h"
#include "tests/bspline/conic_fixtures.h"

namespace {

using namespace conic_test;

const double kOrigin[3] = {0, 0, 0}, kUp[3] = {0, 0, 1}, kX2[3] = {2, 0, 0}, kY2[3] = {0, 2, 0};

// A caller's record from BSallocvoqcv (marked, num_poles -1), released even when a routine replaced it.
struct Out {
  VOQbsp_curve *cv = nullptr;
  explicit Out(int n) {
    int rc = 0;
    BSallocvoqcv(3, n, BSTRUE, 0, &cv, &rc);
    std::fill(cv->poles, cv->poles + 3 * n, kUnset);
    cv->num_poles = -1;
  }
  ~Out() {
    int rc = 0;
    BSfreevoqcv(cv, &rc);
  }
};

// The largest distance of 101 points of c from the conic of in's first segment.
double off_conic(const ArcRecord &in, const VOQbsp_curve &c) {
  double worst = 0, X[3];
  for (int i = 0; i <= 100; ++i) {
    ref_point(c, c.knots[2] + (c.knots[c.num_poles] - c.knots[2]) * i / 100.0, X);
    worst = std::max(worst, conic_distance(in, X));
  }
  return worst;
}

double length_of(VOQbsp_curve *c) {
  int rc = 1;
  double len = -1;
  EXPECT_TRUE(BSarclength(&rc, c, &c->knots[2], &c->knots[c->num_poles], &len));
  return len;
}

void take(const TestCurve &src, ArcRecord *dst) {
  std::copy(src.poles.begin(), src.poles.end(), dst->poles);
  std::copy(src.knots.begin(), src.knots.end(), dst->knots);
  std::copy(src.weights.begin(), src.weights.end(), dst->weights);
  dst->cv = src.cv;
  dst->cv.poles = dst->poles, dst->cv.knots = dst->knots, dst->cv.weights = dst->weights;
}

// Circular arcs of 1 to 3 segments and elliptical arcs of less, exactly and more than half, both senses, in a
// tilted plane: the whole conic is closed, starts where the arc starts, runs on [0, 1], lies on the input's
// conic and is as long as the perimeter (trapezoidal rule, exact to rounding on a periodic integrand).
TEST(ConicExtension, EllipsesAndCirclesCompleted) {
  PlaneFrame f;
  f.origin[0] = 3, f.origin[1] = -7, f.origin[2] = 2;
  const double c30 = std::cos(0.5), s30 = std::sin(0.5);
  f.e1[0] = c30, f.e1[2] = s30, f.e2[1] = 1, f.e1[1] = f.e2[0] = f.e2[2] = 0;
  const double cases[][4] = {{2, 2, 0.3, M_PI / 2}, {2, 2, 1.0, 2.0}, {2, 2, 0, M_PI},   {2, 2, 2.0, 5.0},
                             {2, 2, 0.1, 6.2},      {5, 2, 0.4, 1.2}, {5, 0.3, 1.1, 3.3}, {5, 2, -0.7, 6.0},
                             {3, 1, 0.3, M_PI}};
  for (const auto &c : cases)
    for (int sense : {1, -1}) {
      SCOPED_TRACE("sweep " + std::to_string(c[3]) + " sense " + std::to_string(sense));
      const auto P = f.at(c[0], 0), Q = f.at(0, sense * c[1]), C = f.at(0, 0);
      ArcRecord in;
      int rc = 1, given = 1;
      std::uint16_t is_circle = 0;
      BSelarptang(C.data(), P.data(), Q.data(), c[2], c[3], 1, nullptr, nullptr, &given, nullptr, nullptr,
                  &is_circle, &in.ptr, &rc);
      const std::int16_t type = c[0] == c[1] ? BSCONIC_CIRCLE : BSCONIC_ELLIPSE;
      Out out(in.cv.num_poles + 6);
      ASSERT_TRUE(BSconextend(&rc, &type, &in.cv, out.cv)) << rc;
      EXPECT_EQ(out.cv->phy_closed, 1);
      EXPECT_EQ(out.cv->knots[2], 0.0);
      EXPECT_EQ(out.cv->knots[out.cv->num_poles], 1.0);
      double s[3], x[3], e[3], u_end = -1;
      in.point(0, s);
      ref_point(*out.cv, 0, x);
      EXPECT_LT(dist(s, x), 1e-12 * c[0]);
      // The arc comes first: its end lies as far round the result as its sweep goes round the conic.
      in.point(1, e);
      BSboolean on = BSFALSE;
      ASSERT_TRUE(BSprptoncv(&rc, out.cv, e, &u_end, &on) && on);
      EXPECT_NEAR(u_end, c[3] / (2 * M_PI), 0.1);
      EXPECT_LT(off_conic(in, *out.cv), 1e-10 * c[0]);
      double perimeter = 0;
      for (int i = 0; i < 4000; ++i)
        perimeter += std::hypot(c[0] * std::sin(i * M_PI / 2000), c[1] * std::cos(i * M_PI / 2000)) * M_PI / 2000;
      EXPECT_NEAR(length_of(out.cv), perimeter, 1e-6 * c[0]);
    }
  // Ends that meet, also of a polynomial record: a copy with weights 1 and phy_closed 1.
  ArcRecord circle;
  const double r = 3;
  int rc = 1;
  ASSERT_TRUE(BScirrdcr(&rc, &r, kOrigin, &circle.cv));
  TestCurve loop(3, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 0}, {0, 0, 0, 0.3, 0.6, 1, 1, 1});
  for (VOQbsp_curve *cv : {&circle.cv, &loop.cv}) {
    circle.cv.phy_closed = 0;
    const std::int16_t type = BSCONIC_ELLIPSE;
    Out out(cv->num_poles + 6);
    ASSERT_TRUE(BSconextend(&rc, &type, cv, out.cv)) << rc;
    EXPECT_EQ(out.cv->num_poles, cv->num_poles);
    EXPECT_EQ(out.cv->phy_closed, 1);
    EXPECT_EQ(out.cv->rational, 1);
    for (int i = 0; i < 5 && cv == &loop.cv; ++i) EXPECT_EQ(out.cv->weights[i], 1.0);
  }
}

// The pieces before and after: the worked parabola y = x^2 (polynomial and with unit weights) exactly, and
// random hyperbolas (weights 1, w, 1 and three random weights) in tilted planes: on the input's hyperbola, end
// weights 1, joined to the arc with a common tangent the same way.
TEST(ConicExtension, ParabolaAndHyperbolaPieces) {
  int rc = 1;
  const std::int16_t parabola = BSCONIC_PARABOLA, hyperbola = BSCONIC_HYPERBOLA;
  for (bool rational : {false, true}) {
    TestCurve arc(3, {-1, 1, 0, 0, -1, 0, 1, 1, 0}, {0, 0, 0, 1, 1, 1}, rational ? std::vector<double>(3, 1.0)
                                                                                   : std::vector<double>{});
    ArcRecord before, after;
    ASSERT_TRUE(BSphypxtnd(&rc, &parabola, &arc.cv, &before.cv, &after.cv));
    const double want[2][9] = {{-10, 100, 0, -5.5, 10, 0, -1, 1, 0}, {1, 1, 0, 5.5, 10, 0, 10, 100, 0}};
    for (int i = 0; i < 9; ++i) {
      EXPECT_NEAR(before.poles[i], want[0][i], 1e-12);
      EXPECT_NEAR(after.poles[i], want[1][i], 1e-12);
    }
    Out out(9);
    ASSERT_TRUE(BSconextend(&rc, &parabola, &arc.cv, out.cv)) << rc;
    EXPECT_EQ(out.cv->num_poles, 7);
    EXPECT_EQ(out.cv->rational, rational ? 1 : 0);
    EXPECT_NE(out.cv->weights, nullptr) << "the record keeps its weights array";
    double X[3];
    for (int i = 0; i <= 100; ++i) {
      ref_point(*out.cv, i / 100.0, X);
      EXPECT_NEAR(X[1], X[0] * X[0], 1e-10);
    }
  }
  std::mt19937 rng(1080);
  std::uniform_real_distribution<double> u(0, 1);
  for (int trial = 0; trial < 200; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    PlaneFrame f;
    for (double &o : f.origin) o = 20 * u(rng) - 10;
    const double ang = 6.28 * u(rng);
    f.e1[0] = std::cos(ang), f.e1[1] = 0, f.e1[2] = std::sin(ang), f.e2[0] = 0, f.e2[1] = 1, f.e2[2] = 0;
    double w[3] = {1, 1.001 + 5 * u(rng), 1};
    if (trial % 2) w[0] = 0.3 + 2 * u(rng), w[2] = 0.3 + 2 * u(rng), w[1] = std::sqrt(w[0] * w[2]) * w[1];
    const double sx = 0.5 + 5 * u(rng);
    ArcRecord in, before, after;
    take(*plane_segment(f, {-sx, 2 * u(rng), 2 * u(rng) - 1, -3 * u(rng) - 0.5, sx, 2 * u(rng)}, {w[0], w[1], w[2]}),
         &in);
    ASSERT_TRUE(BSphypxtnd(&rc, &hyperbola, &in.cv, &before.cv, &after.cv)) << rc;
    for (int e = 0; e < 2; ++e) {
      const ArcRecord &piece = e ? after : before;
      EXPECT_EQ(piece.weights[0], 1.0);
      EXPECT_EQ(piece.weights[2], 1.0);
      EXPECT_LT(off_conic(in, piece.cv), 1e-10 * 10 * sx);
      const int joint = e ? 0 : 2, arc_end = e ? 2 : 0;
      double leg_p[3], leg_a[3], c[3];
      for (int k = 0; k < 3; ++k) {
        EXPECT_NEAR(piece.pole(joint, k), in.pole(arc_end, k), 1e-12 * 10 * sx);
        leg_p[k] = piece.pole(1, k) - piece.pole(joint, k);
        leg_a[k] = in.pole(arc_end, k) - in.pole(1, k);
      }
      cross(leg_p, leg_a, c);
      EXPECT_LT(std::sqrt(dot(c, c)), 1e-10 * std::sqrt(dot(leg_p, leg_p) * dot(leg_a, leg_a)));
      EXPECT_GT(dot(leg_p, leg_a), 0);
    }
  }
}

// Refused input: the code, FALSE, and the caller's records untouched.
TEST(ConicExtension, RefusedInput) {
  int rc = 0;
  ArcRecord quarter, closed, piece;
  ASSERT_TRUE(BSprepcarc(&rc, kX2, kOrigin, kY2, kUp, &quarter.cv, nullptr, nullptr));
  ASSERT_TRUE(BSprepcarc(&rc, kX2, kOrigin, kY2, kUp, &closed.cv, nullptr, nullptr));
  closed.cv.phy_closed = 1;
  TestCurve cubic(4, {0, 0, 0, 1, 1, 0, 2, 1, 0, 3, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  TestCurve nan_pole(3, {0, 0, 0, NAN, 1, 0, 2, 0, 0}, {0, 0, 0, 1, 1, 1}, {1, 2, 1});
  TestCurve ellipse(3, {1, 0, 0, 1, 1, 0, 0, 1, 0}, {0, 0, 0, 1, 1, 1}, {1, 0.7071, 1});
  TestCurve hyperbola(3, {-1, 1, 0, 0, 0, 0, 1, 1, 0}, {0, 0, 0, 1, 1, 1}, {1, 3, 1});
  TestCurve line(2, {0, 0, 0, 1, 0, 0}, {0, 0, 1, 1});
  const std::int16_t circle_t = 9, hyper_t = 7, five = 5, ten = 10;
  struct Case {
    const char *what;
    const std::int16_t *type;
    const VOQbsp_curve *cv;
    int out;  // 0 a record, 1 none, 2 one without weights
    int want;
  } cases[] = {{"type 5", &five, &quarter.cv, 0, BSRC_CONIC_TYPE},
               {"type 10", &ten, &quarter.cv, 0, BSRC_CONIC_TYPE},
               {"NULL out", &circle_t, &quarter.cv, 1, BSRC_NULL_CURVE},
               {"out without weights", &circle_t, &quarter.cv, 2, BSRC_NULL_CURVE},
               {"order 4", &circle_t, &cubic.cv, 0, BSRC_OUT_OF_RANGE},
               {"NaN pole", &circle_t, &nan_pole.cv, 0, BSRC_OUT_OF_RANGE},
               {"ellipse as hyperbola", &hyper_t, &ellipse.cv, 0, BSRC_OUT_OF_RANGE}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Out out(16);
    if (c.out == 2) out.cv->weights = nullptr;
    EXPECT_FALSE(BSconextend(&rc, c.type, c.cv, c.out == 1 ? nullptr : out.cv));
    EXPECT_EQ(rc, c.want);
    EXPECT_EQ(out.cv->num_poles, -1);
    EXPECT_EQ(out.cv->poles[0], kUnset);
  }
  ArcRecord before;
  EXPECT_FALSE(BSphypxtnd(&rc, &hyper_t, &ellipse.cv, &before.cv, &piece.cv));
  EXPECT_EQ(rc, BSRC_OUT_OF_RANGE);
  EXPECT_EQ(before.poles[0], kUnset);
  double unweighted[9], hyp[9] = {-1, 1, 0, 0, 0, 0, 1, 1, 0};
  for (int i = 0; i < 9; ++i) unweighted[i] = quarter.pole(i / 3, i % 3);
  const std::pair<const VOQbsp_curve *, int> comps[] = {
      {&line.cv, BSRC_OUT_OF_RANGE}, {&closed.cv, BSRC_ARC_CLOSED}, {&hyperbola.cv, BSRC_OUT_OF_RANGE}};
  for (const auto &[cv, want] : comps) {
    EXPECT_FALSE(BSarccomp(&rc, kUp, cv, cv == &hyperbola.cv ? hyp : unweighted, &piece.cv));
    EXPECT_EQ(rc, want);
    EXPECT_EQ(piece.poles[0], kUnset);
  }
}

const char *g_fail_name = nullptr;
void fail_named(const char *lname, int *rc) {
  if (rc && *rc == 0 && g_fail_name && std::string(lname) == g_fail_name) *rc = 77;
}

// Lengthening and shortening at either end for each conic type: the code, the length, the fixed end, the
// input's direction, the points on the input's conic, tolerance entry 15 as it was and no block left behind;
// then again with the callees on the road forced to fail. Bad arguments answer before any work.
TEST(ConicLength, LengthenAndShorten) {
  int rc = 0, given = 1;
  ArcRecord quarter, ellipse, big, parabola, hyperbola, closed;
  ASSERT_TRUE(BSprepcarc(&rc, kX2, kOrigin, kY2, kUp, &quarter.cv, nullptr, nullptr));
  ASSERT_TRUE(BSprepcarc(&rc, kX2, kOrigin, kY2, kUp, &closed.cv, nullptr, nullptr));
  closed.cv.phy_closed = 1;
  const double C[3] = {1, -2, 0.5}, A1[3] = {6, -2, 0.5}, A2[3] = {1, 0, 0.5};
  std::uint16_t is_circle = 0;
  BSelarptang(C, A1, A2, 0.4, 1.3, 1, nullptr, nullptr, &given, nullptr, nullptr, &is_circle, &ellipse.ptr, &rc);
  BSelarptang(C, A1, A2, 0.4, 4.5, 1, nullptr, nullptr, &given, nullptr, nullptr, &is_circle, &big.ptr, &rc);
  take(*plane_segment(PlaneFrame{}, {-1, 1, 0, -1, 1, 1}, {1, 1, 1}), &parabola);
  take(*plane_segment(PlaneFrame{}, {-1, 1, 0, -0.5, 1, 1}, {1, 2.5, 1}), &hyperbola);
  TestCurve cubic(4, {0, 0, 0, 1, 1, 0, 2, 1, 0, 3, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  // An ellipse arc of three segments, 3929 long, whose middle lies nearly opposite its ends on a long ellipse:
  // from its fixed end the walk must go through the arc, not round the short way.
  ArcRecord long_ellipse;
  const double LA[3] = {-1, 4.5, 0}, LB[3] = {-13, -15, 0}, LTA[3] = {9.125, -7.5, 0}, LTB[3] = {-7.5, 3.75, 0},
               LS[3] = {3.75, -15, 0};
  ASSERT_TRUE(BSconicgen3(&rc, LA, LB, LTA, LTB, LS, &long_ellipse.cv, nullptr, nullptr));
  const double q = M_PI;  // a quarter of the circle of radius 2
  struct Case {
    const char *what;
    VOQbsp_curve *arc;
    std::int16_t mode;
    double dist, par;
    int want;
    double want_len;  // -1: the input's length plus dist; -2: longer than that by 5 at least
  } cases[] = {{"quarter circle to a half", &quarter.cv, 9, q, 1, 0, -1},
               {"circle, start side", &quarter.cv, 9, 1.25, 0, 0, -1},
               {"circle shortened to 0.01", &quarter.cv, 9, -(q - 0.01), 1, 0, -1},
               {"circle beyond its whole", &quarter.cv, 9, 100, 1, BSRC_CONIC_TOO_SHORT, 4 * q},
               {"circle, whole from its start", &quarter.cv, 9, 3 * q, 0, 0, 4 * q},
               {"ellipse, start side", &ellipse.cv, 8, 6.0, 0, 0, -1},
               {"ellipse past half shortened by more than what is left", &big.cv, 8, -15.0, 0, 0, -1},
               {"long ellipse arc shortened at its start", &long_ellipse.cv, 8, -15.0, 0.04, 0, -1},
               {"parabola, end side", &parabola.cv, 6, 3.0, 1, 0, -1},
               {"parabola shortened at its start", &parabola.cv, 6, -1.0, 0, 0, -1},
               {"hyperbola, end side", &hyperbola.cv, 7, 1.5, 0.8, 0, -1},
               {"hyperbola, start side", &hyperbola.cv, 7, 0.7, 0.1, 0, -1},
               {"parabola beyond its extension", &parabola.cv, 6, 1e4, 1, BSRC_CONIC_TOO_SHORT, -2},
               {"circle, less than dist_tol left", &quarter.cv, 9, -(q - 1e-12), 1, BSRC_OUT_OF_RANGE, 0},
               {"NaN distance", &quarter.cv, 9, NAN, 1, BSRC_OUT_OF_RANGE, 0},
               {"parameter past the end", &quarter.cv, 9, 1, 1.001, BSRC_OUT_OF_RANGE, 0},
               {"mode 10", &quarter.cv, 10, 1, 1, BSRC_OUT_OF_RANGE, 0},
               {"distance below dist_tol", &quarter.cv, 9, 1e-12, 1, BSRC_OUT_OF_RANGE, 0},
               {"closed arc", &closed.cv, 9, 1, 1, BSRC_OUT_OF_RANGE, 0},
               {"order 4", &cubic.cv, 9, 1, 1, BSRC_OUT_OF_RANGE, 0}};
  const double tol15 = BStoltab[15];
  const ArcRecord *recs[] = {&quarter, &ellipse, &big, &parabola, &hyperbola, &long_ellipse};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const int live = BSdbgliveblocks();
    {
      Out out(c.arc->num_poles + 12);
      VOQbsp_curve *const given_out = out.cv;
      const double len_c = length_of(c.arc);
      BScncxtdst(c.mode, c.arc, c.dist, c.par, &out.cv, &rc);
      EXPECT_EQ(rc, c.want);
      EXPECT_EQ(BStoltab[15], tol15);
      if (rc != 0 && rc != BSRC_CONIC_TOO_SHORT) {
        EXPECT_EQ(out.cv, given_out);
        EXPECT_EQ(out.cv->poles[0], kUnset);
        continue;
      }
      const double len = length_of(out.cv);
      if (c.want_len == -2) {
        EXPECT_GT(len, len_c + 5);
      } else {
        EXPECT_NEAR(len, c.want_len >= 0 ? c.want_len : len_c + c.dist, 1e-6);
      }
      const bool end_side = c.par >= 0.5;
      const ArcRecord &in = **std::find_if(recs, recs + 6, [&](const ArcRecord *r) { return &r->cv == c.arc; });
      double fixed[3], got[3], in_near[3], out_near[3];
      in.point(end_side ? 0 : 1, fixed);
      ref_point(*out.cv, end_side ? 0 : 1, got);
      EXPECT_LT(dist(fixed, got), 1e-9);
      in.point(end_side ? 1e-3 : 1 - 1e-3, in_near);
      ref_point(*out.cv, end_side ? 1e-5 : 1 - 1e-5, out_near);
      EXPECT_LT(dist(in_near, out_near), dist(fixed, in_near)) << "runs the input's way";
      EXPECT_LT(off_conic(in, *out.cv), 1e-9);
      for (int i = 0; i <= 50 && c.arc == &quarter.cv; ++i) {
        ref_point(*out.cv, i / 50.0, got);
        EXPECT_NEAR(std::hypot(got[0], got[1]), 2.0, 1e-9);
      }
    }
    EXPECT_EQ(BSdbgliveblocks(), live);
  }
  const BSfaulthandler previous = BSsetfaulthook(fail_named);
  for (const bool slow : {false, true}) {
    const bstest::SlowRoads roads(slow);
    for (const char *name : {"bsconextend", "bsarclen", "bsprptoncv", "bscvsplit", "bsptsdlcv", "bscv_shffl"}) {
      g_fail_name = name;
      int hits = 0;
      for (int k : {0, 2, 5, 8}) {
        const int live = BSdbgliveblocks();
        {
          Out out(cases[k].arc->num_poles + 12);
          BScncxtdst(cases[k].mode, cases[k].arc, cases[k].dist, cases[k].par, &out.cv, &rc);
          hits += rc != 0;
        }
        EXPECT_EQ(BStoltab[15], tol15) << name << " slow " << slow;
        EXPECT_EQ(BSdbgliveblocks(), live) << name << " slow " << slow;
      }
      EXPECT_GT(hits, 0) << name << " is on the road of some case, slow " << slow;
    }
  }
  g_fail_name = nullptr;
  BSsetfaulthook(previous);
}

// The point at a distance: a closed circle over [2, 3] answers as over [0, 1] for the same offsets, across the
// seam and past whole turns; an open line runs on along its continuation; no length and too short a
// continuation answer their codes.
TEST(ConicLength, PointAtDistance) {
  int rc = 0;
  ArcRecord unit, shifted;
  const double centre[3] = {1, 1, 0}, radius = 2, circ = 2 * M_PI * radius;
  ASSERT_TRUE(BSprepcirc(&rc, centre, &radius, kUp, &unit.cv, nullptr, nullptr));
  BSreparmcv(&unit.cv, 2, 3, &shifted.cv, &rc);
  shifted.cv.phy_closed = 1;
  const double cases[][3] = {{0.1, 1.0, 1.5}, {0.1, 1.0, -0.5}, {0.7, 2.0, 5.0}, {0.7, 2.0, 3.5},
                             {0.0, 3.0, 0.5}, {1.0, 3.0, 0.5},  {0.9, 9.0, 6.0}, {0.6, 2.5 * circ, 4.5}};
  double p0[3];
  unit.point(0, p0);
  const double a0 = std::atan2(p0[1] - centre[1], p0[0] - centre[0]);
  for (const auto &c : cases) {
    const double toward[3] = {centre[0] + 3 * std::cos(a0 + c[2]), centre[1] + 3 * std::sin(a0 + c[2]), 0};
    double got[2][3];
    for (int s = 0; s < 2; ++s) {
      const double from = c[0] + 2 * s;
      ASSERT_TRUE(BSptsdlcv(&rc, s ? &shifted.cv : &unit.cv, &from, toward, &c[1], got[s])) << rc;
    }
    EXPECT_LT(dist(got[0], got[1]), 1e-9) << c[0] << " " << c[2];
    EXPECT_NEAR(dist(got[0], centre), radius, 1e-9);
  }
  TestCurve line(2, {0, 0, 0, 1, 0, 0}, {0, 0, 1, 1});
  const double ahead[3] = {5, 1, 0}, behind[3] = {-5, 1, 0};
  const struct {
    double from, dist;
    const double *toward;
    int want;
    double x;
  } lines[] = {{0.5, 3.5, ahead, 0, 4.0}, {0.5, 0.25, behind, 0, 0.25}, {0.5, 2.5, behind, 0, -2.0},
               {0.5, 30, ahead, BSRC_OUT_OF_RANGE, kUnset}, {1.0, 1.0, ahead, BSRC_ZERO_STRETCH, kUnset}};
  for (const auto &c : lines) {
    double p[3] = {kUnset, kUnset, kUnset};
    EXPECT_EQ(BSptsdlcv(&rc, &line.cv, &c.from, c.toward, &c.dist, p), c.want == 0 ? BSTRUE : BSFALSE);
    EXPECT_EQ(rc, c.want) << c.from << " " << c.dist;
    EXPECT_NEAR(p[0], c.x, 1e-9);
  }
}

}  // namespace

// Conic arcs continued along their conic: whole ellipses and circles from arcs, end pieces of parabolas and
// hyperbolas, and arcs lengthened or shortened by an arc length. Points are checked on the conic of the input's
// first segment (conic_distance) and evaluated by the reference evaluation.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "bspline/distance.h"
#include "bspline/extend.h"
#include "bspline/measure.h"
#include "tests/bspline/conic_fixtures.h"

namespace {

using namespace conic_test;

const double kOrigin[3] = {0, 0, 0}, kUp[3] = {0, 0, 1};

// A caller's record with room for n poles, filled with a marker.
struct Room {
  std::vector<double> poles, knots, weights;
  VOQbsp_curve cv{};
  explicit Room(int n) : poles(3 * n, kUnset), knots(n + 3, kUnset), weights(n, kUnset) {
    cv.poles = poles.data();
    cv.knots = knots.data();
    cv.weights = weights.data();
    cv.num_poles = -1;
  }
};

// The point of any record at u by the definition.
void ref_eval(const VOQbsp_curve &c, double u, double out[3]) {
  const std::vector<double> t(c.knots, c.knots + c.num_poles + c.order);
  const std::vector<double> N = ref_basis_all(t, c.order, u, c.knots[c.num_poles]);
  double A[3] = {0, 0, 0}, W = 0;
  for (int i = 0; i < c.num_poles; ++i) {
    for (int k = 0; k < 3; ++k) A[k] += N[i] * c.poles[3 * i + k];
    W += N[i] * (c.rational ? c.weights[i] : 1.0);
  }
  for (int k = 0; k < 3; ++k) out[k] = A[k] / W;
}

// Every one of 200 points of c lies on the conic of the input's first segment within tol times size.
void expect_on_input_conic(const ArcRecord &in, const VOQbsp_curve &c, double size, double tol) {
  const double a = c.knots[c.order - 1], b = c.knots[c.num_poles];
  double worst = 0;
  for (int i = 0; i <= 200; ++i) {
    double X[3];
    ref_eval(c, a + (b - a) * i / 200.0, X);
    worst = std::max(worst, conic_distance(in, X));
  }
  EXPECT_LT(worst, tol * size);
}

double length_of(VOQbsp_curve *c) {
  int rc = 1;
  double len = -1;
  const double a = c->knots[c->order - 1], b = c->knots[c->num_poles];
  EXPECT_TRUE(BSarclength(&rc, c, &a, &b, &len));
  return len;
}

// The perimeter of the ellipse of semi-axes r1, r2: the trapezoidal rule on a periodic integrand converges
// geometrically, far below the test's tolerance at 4000 points.
double ellipse_perimeter(double r1, double r2) {
  double s = 0;
  for (int i = 0; i < 4000; ++i) {
    const double t = 2 * M_PI * i / 4000;
    s += std::sqrt(r1 * r1 * std::sin(t) * std::sin(t) + r2 * r2 * std::cos(t) * std::cos(t));
  }
  return s * 2 * M_PI / 4000;
}

// Circular arcs of 1 to 3 segments in both senses and elliptical arcs of less and more than half the ellipse,
// in a tilted plane away from the origin: the extension is closed, starts where the arc starts, runs on [0, 1],
// lies on the input's conic before and after the arc-length step, and is as long as the whole conic.
TEST(ConicExtension, EllipsesAndCirclesCompleted) {
  PlaneFrame f;
  const double tilt[3] = {0.3, -0.2, 0.9};
  const double nt = std::sqrt(dot(tilt, tilt));
  f.origin[0] = 3, f.origin[1] = -7, f.origin[2] = 2;
  double e2[3] = {-tilt[1] / nt, tilt[0] / nt, 0};
  const double l2 = std::sqrt(dot(e2, e2));
  for (double &v : e2) v /= l2;
  double e1[3], n[3] = {tilt[0] / nt, tilt[1] / nt, tilt[2] / nt};
  cross(e2, n, e1);
  std::copy(e1, e1 + 3, f.e1), std::copy(e2, e2 + 3, f.e2);
  struct Case {
    double r1, r2, start, sweep;
  } cases[] = {
      {2, 2, 0.3, M_PI / 2},  {2, 2, 1.0, 2.0},   {2, 2, 0, M_PI},        {2, 2, 0.5, 3.5},   {2, 2, 2.0, 5.0},
      {2, 2, 0.1, 6.2},       {5, 2, 0.4, 1.2},   {5, 2, 0.2, 2.9},       {5, 0.3, 1.1, 3.3}, {5, 2, 0.3, 4.4},
      {5, 2, -0.7, 6.0},      {3, 1, 2.5, 5.5},   {3, 1, 0.3, M_PI},
  };
  int idx = 0;
  for (const Case &c : cases)
    for (int sense : {1, -1}) {
      SCOPED_TRACE("case " + std::to_string(idx++) + " sense " + std::to_string(sense));
      const auto P = f.at(c.r1, 0), Q = f.at(0, sense * c.r2), C = f.at(0, 0);
      ArcRecord in;
      int rc = 1;
      std::uint16_t is_circle = 0;
      const int given = 1;
      BSelarptang(C.data(), P.data(), Q.data(), c.start, c.sweep, 1, nullptr, nullptr, &given, nullptr, nullptr,
                  &is_circle, &in.ptr, &rc);
      ASSERT_EQ(rc, 0);
      const std::int16_t type = c.r1 == c.r2 ? BSCONIC_CIRCLE : BSCONIC_ELLIPSE;
      Room out(in.cv.num_poles + 6);
      ASSERT_TRUE(BSconextend(&rc, &type, &in.cv, &out.cv)) << rc;
      EXPECT_EQ(out.cv.phy_closed, 1);
      EXPECT_EQ(out.cv.rational, 1);
      EXPECT_EQ(out.knots[2], 0.0);
      EXPECT_EQ(out.knots[out.cv.num_poles], 1.0);
      double s0[3], s1[3], x[3];
      in.point(0, s0);
      ref_eval(out.cv, 0, x);
      EXPECT_LT(dist(s0, x), 1e-12 * c.r1);
      ref_eval(out.cv, 1, x);
      EXPECT_LT(dist(s0, x), 1e-12 * c.r1);
      // The arc itself comes first: its end lies on the result's way round before the result's own end.
      in.point(1, s1);
      int on_rc = 1;
      BSboolean on = BSFALSE;
      double u_end = -1;
      ASSERT_TRUE(BSprptoncv(&on_rc, &out.cv, s1, &u_end, &on));
      EXPECT_TRUE(on);
      EXPECT_NEAR(u_end, c.sweep / (2 * M_PI), 0.1);
      expect_on_input_conic(in, out.cv, c.r1, 1e-10);
      EXPECT_NEAR(length_of(&out.cv), ellipse_perimeter(c.r1, c.r2), 1e-6 * c.r1);
    }
}

// An arc already closed, flagged or only by its ends, is copied: weights 1 for a polynomial record, knots on
// [0, 1], phy_closed 1.
TEST(ConicExtension, ClosedArcCopied) {
  int rc = 1;
  for (int flagged : {0, 1}) {
    ArcRecord circle;
    const double r = 3, C[3] = {1, 2, 0};
    ASSERT_TRUE(BScirrdcr(&rc, &r, C, &circle.cv));
    circle.cv.phy_closed = static_cast<std::uint16_t>(flagged);
    const std::int16_t type = BSCONIC_CIRCLE;
    Room out(circle.cv.num_poles + 6);
    ASSERT_TRUE(BSconextend(&rc, &type, &circle.cv, &out.cv)) << rc;
    EXPECT_EQ(out.cv.num_poles, circle.cv.num_poles);
    EXPECT_EQ(out.cv.phy_closed, 1);
    EXPECT_NEAR(length_of(&out.cv), 2 * M_PI * r, 1e-9);
  }
  // A polynomial record of a point-closed parabola-like loop typed as an ellipse: copied, weights written as 1.
  TestCurve loop(3, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 0}, {0, 0, 0, 0.3, 0.6, 1, 1, 1});
  const std::int16_t type = BSCONIC_ELLIPSE;
  Room out(11);
  ASSERT_TRUE(BSconextend(&rc, &type, &loop.cv, &out.cv)) << rc;
  EXPECT_EQ(out.cv.rational, 1);
  EXPECT_EQ(std::vector<double>(out.weights.begin(), out.weights.begin() + 5), std::vector<double>(5, 1.0));
  EXPECT_EQ(std::vector<double>(out.poles.begin(), out.poles.begin() + 15), loop.poles);
}

// The parabola y = x^2 from x = -1 to 1 in one span, polynomial and rational with unit weights: the pieces of
// the worked example, and the extension through them.
TEST(ConicExtension, ParabolaPieces) {
  for (bool rational : {false, true}) {
    SCOPED_TRACE(rational ? "rational" : "polynomial");
    TestCurve arc(3, {-1, 1, 0, 0, -1, 0, 1, 1, 0}, {0, 0, 0, 1, 1, 1},
                  rational ? std::vector<double>{1, 1, 1} : std::vector<double>{});
    ArcRecord before, after;
    int rc = 1;
    const std::int16_t type = BSCONIC_PARABOLA;
    ASSERT_TRUE(BSphypxtnd(&rc, &type, &arc.cv, &before.cv, &after.cv));
    const double want_after[9] = {1, 1, 0, 5.5, 10, 0, 10, 100, 0}, want_before[9] = {-10, 100, 0, -5.5, 10, 0, -1, 1, 0};
    for (int i = 0; i < 9; ++i) {
      EXPECT_NEAR(after.poles[i], want_after[i], 1e-12) << i;
      EXPECT_NEAR(before.poles[i], want_before[i], 1e-12) << i;
    }
    EXPECT_EQ(before.cv.rational, rational ? 1 : 0);
    EXPECT_EQ(after.knot_vector(), (std::vector<double>{0, 0, 0, 1, 1, 1}));
    if (rational) {
      EXPECT_EQ(std::vector<double>(after.weights, after.weights + 3), std::vector<double>(3, 1.0));
    }
    Room out(9);
    ASSERT_TRUE(BSconextend(&rc, &type, &arc.cv, &out.cv)) << rc;
    ASSERT_EQ(out.cv.num_poles, 7);
    EXPECT_EQ(out.cv.rational, rational ? 1 : 0);
    EXPECT_EQ(out.cv.weights, out.weights.data()) << "the caller's array stays with the record";
    for (int i = 0; i <= 100; ++i) {
      double X[3];
      ref_eval(out.cv, i / 100.0, X);
      EXPECT_NEAR(X[1], X[0] * X[0], 1e-12 * 100) << i;
    }
    double X[3];
    ref_eval(out.cv, 0, X);
    EXPECT_NEAR(X[0], -10, 1e-13);
    ref_eval(out.cv, 1, X);
    EXPECT_NEAR(X[0], 10, 1e-13);
  }
}

// Hyperbola arcs of weights 1, w, 1 and of three random weights, one and two segments, in a random plane: both
// pieces lie on the input's hyperbola, have end weights 1 and join the arc with a common tangent.
TEST(ConicExtension, HyperbolaPieces) {
  std::mt19937 rng(1080);
  std::uniform_real_distribution<double> u(0, 1);
  for (int trial = 0; trial < 200; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    PlaneFrame f;
    for (double &o : f.origin) o = 20 * u(rng) - 10;
    const double ang = 6.28 * u(rng);
    f.e1[0] = std::cos(ang), f.e1[1] = 0, f.e1[2] = std::sin(ang);
    f.e2[0] = 0, f.e2[1] = 1, f.e2[2] = 0;
    double w[3];
    if (trial % 2 == 0) {
      w[0] = w[2] = 1, w[1] = 1.001 + 5 * u(rng);
    } else {
      w[0] = 0.3 + 2 * u(rng), w[2] = 0.3 + 2 * u(rng);
      w[1] = std::sqrt(w[0] * w[2]) * (1.001 + 4 * u(rng));
    }
    const double sx = 0.5 + 5 * u(rng);
    auto seg = plane_segment(f, {-sx, 2 * u(rng), 2 * u(rng) - 1, -3 * u(rng) - 0.5, sx, 2 * u(rng)},
                             {w[0], w[1], w[2]});
    ArcRecord in;
    std::copy(seg->poles.begin(), seg->poles.end(), in.poles);
    std::copy(seg->knots.begin(), seg->knots.end(), in.knots);
    std::copy(seg->weights.begin(), seg->weights.end(), in.weights);
    in.cv = seg->cv;
    in.cv.poles = in.poles, in.cv.knots = in.knots, in.cv.weights = in.weights;
    ArcRecord before, after;
    int rc = 1;
    const std::int16_t type = BSCONIC_HYPERBOLA;
    ASSERT_TRUE(BSphypxtnd(&rc, &type, &in.cv, &before.cv, &after.cv)) << rc;
    const double size = 10 * sx;
    for (const ArcRecord *piece : {&before, &after}) {
      EXPECT_EQ(piece->weights[0], 1.0);
      EXPECT_EQ(piece->weights[2], 1.0);
      expect_on_input_conic(in, piece->cv, size, 1e-10);
    }
    // Common tangents: the piece's leg at the joint runs along the arc's leg there, the same way.
    for (int e = 0; e < 2; ++e) {
      const ArcRecord &piece = e ? after : before;
      const int j = e ? 0 : 2, jn = e ? 1 : 1, a = e ? 2 : 0, an = 1;
      double leg_p[3], leg_a[3], c[3];
      for (int k = 0; k < 3; ++k) {
        leg_p[k] = piece.pole(jn, k) - piece.pole(j, k);
        leg_a[k] = in.pole(a, k) - in.pole(an, k);
        EXPECT_NEAR(piece.pole(j, k), in.pole(a, k), 1e-12 * size);
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
  ArcRecord quarter;
  const double x1[3] = {1, 0, 0}, y1[3] = {0, 1, 0};
  ASSERT_TRUE(BSprepcarc(&rc, x1, kOrigin, y1, kUp, &quarter.cv, nullptr, nullptr));
  TestCurve cubic(4, {0, 0, 0, 1, 1, 0, 2, 1, 0, 3, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  TestCurve nan_pole(3, {0, 0, 0, NAN, 1, 0, 2, 0, 0}, {0, 0, 0, 1, 1, 1}, {1, 2, 1});
  // An ellipse segment (w1^2 > w0 w2) declared a hyperbola.
  TestCurve ellipse(3, {1, 0, 0, 1, 1, 0, 0, 1, 0}, {0, 0, 0, 1, 1, 1}, {1, 0.7071, 1});
  const std::int16_t circle_t = BSCONIC_CIRCLE, hyper_t = BSCONIC_HYPERBOLA, five = 5, ten = 10;
  struct Case {
    const char *what;
    const std::int16_t *type;
    const VOQbsp_curve *cv;
    bool null_out, no_weights;
    int want;
  } cases[] = {
      {"type 5", &five, &quarter.cv, false, false, BSRC_CONIC_TYPE},
      {"type 10", &ten, &quarter.cv, false, false, BSRC_CONIC_TYPE},
      {"NULL out", &circle_t, &quarter.cv, true, false, BSRC_NULL_CURVE},
      {"out without weights", &circle_t, &quarter.cv, false, true, BSRC_NULL_CURVE},
      {"order 4", &circle_t, &cubic.cv, false, false, BSRC_OUT_OF_RANGE},
      {"NaN pole", &circle_t, &nan_pole.cv, false, false, BSRC_OUT_OF_RANGE},
      {"ellipse as hyperbola", &hyper_t, &ellipse.cv, false, false, BSRC_OUT_OF_RANGE},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Room out(16);
    if (c.no_weights) out.cv.weights = nullptr;
    rc = 0;
    EXPECT_FALSE(BSconextend(&rc, c.type, c.cv, c.null_out ? nullptr : &out.cv));
    EXPECT_EQ(rc, c.want);
    EXPECT_EQ(out.cv.num_poles, -1);
    EXPECT_EQ(out.poles[0], kUnset);
  }
  // The pieces and the complement refuse what has none.
  ArcRecord b, a, comp;
  rc = 0;
  EXPECT_FALSE(BSphypxtnd(&rc, &hyper_t, &ellipse.cv, &b.cv, &a.cv));
  EXPECT_EQ(rc, BSRC_OUT_OF_RANGE);
  EXPECT_EQ(b.poles[0], kUnset);
  EXPECT_EQ(a.poles[0], kUnset);
  double unweighted[21];
  for (int i = 0; i < 9; ++i) unweighted[i] = quarter.pole(i / 3, i % 3);
  ArcRecord closed;
  ASSERT_TRUE(BSprepcarc(&rc, x1, kOrigin, y1, kUp, &closed.cv, nullptr, nullptr));
  closed.cv.phy_closed = 1;
  TestCurve line(2, {0, 0, 0, 1, 0, 0}, {0, 0, 1, 1});
  TestCurve hyperbola(3, {-1, 1, 0, 0, 0, 0, 1, 1, 0}, {0, 0, 0, 1, 1, 1}, {1, 3, 1});
  double hyp_unweighted[9] = {-1, 1, 0, 0, 0, 0, 1, 1, 0};
  struct CompCase {
    const char *what;
    const VOQbsp_curve *cv;
    const double *poles;
    int want;
  } comps[] = {
      {"two poles", &line.cv, unweighted, BSRC_OUT_OF_RANGE},
      {"closed arc", &closed.cv, unweighted, BSRC_ARC_CLOSED},
      {"hyperbola", &hyperbola.cv, hyp_unweighted, BSRC_OUT_OF_RANGE},
  };
  for (const CompCase &c : comps) {
    SCOPED_TRACE(c.what);
    rc = 0;
    EXPECT_FALSE(BSarccomp(&rc, kUp, c.cv, c.poles, &comp.cv));
    EXPECT_EQ(rc, c.want);
    EXPECT_EQ(comp.poles[0], kUnset);
  }
}

}  // namespace

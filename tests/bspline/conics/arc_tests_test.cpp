#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/bspline/conic_fixtures.h"
#include "tests/bspline/knots_fixtures.h"

namespace {

using namespace conic_test;

const double kO[3] = {0, 0, 0}, kX[3] = {1, 0, 0}, kY[3] = {0, 1, 0}, kUp[3] = {0, 0, 1};
const double kC = 0.7071067811865476;

std::vector<std::string> g_names;
void record(const char *lname, int *) { g_names.push_back(lname); }

TEST(ArcTests, AngleAndQuadrant) {
  const double c2[3] = {1, 1, 1}, x2[3] = {3, 1, 1}, y2[3] = {1, 4, 1}, r3 = std::sqrt(3.0);
  const struct {
    const char *what;
    const double *centre, *x, *y;  // the centre given: a frame of points
    double p[3];
    int quadrant;
    double angle, tol;
    int rc;
  } cases[] = {
      {"negative y axis: the literal", nullptr, kX, kY, {0, -2, 0}, 4, 4.71238898038469, 0, 0},
      {"45 degrees", nullptr, kX, kY, {3, 3, 0}, 1, M_PI / 4, 1e-15, 0},
      {"1e-8 off the axis at 1000 lies on it", nullptr, kX, kY, {1000, -1e-8, 0}, 1, 0, 0, 0},
      {"1e-7 radians off at 1000, to the last digit", nullptr, kX, kY, {1000, 1e-4, 0}, 1, 1e-7, 1e-20, 0},
      {"second quadrant", nullptr, kX, kY, {-1, r3, 0}, 2, 2 * M_PI / 3, 1e-15, 0},
      {"third quadrant", nullptr, kX, kY, {-1, -1, 0}, 3, 5 * M_PI / 4, 1e-15, 0},
      {"fourth quadrant", nullptr, kX, kY, {1, -r3, 0}, 4, 5 * M_PI / 3, 1e-15, 0},
      {"negative x axis", nullptr, kX, kY, {-7, 1e-9, 0}, 3, M_PI, 0, 0},
      {"positive y axis", nullptr, kX, kY, {1e-9, 0.5, 0}, 2, M_PI / 2, 0, 0},
      {"frame from points", c2, x2, y2, {1, -4, 1}, 4, 4.71238898038469, 0, 0},
      {"point at the centre", nullptr, kX, kY, {0, 0, 0}, -1, -1, 0, -6},
      {"NaN point", nullptr, kX, kY, {NAN, 1, 0}, -1, -1, 0, -2},
  };
  for (const auto &cs : cases) {
    SCOPED_TRACE(cs.what);
    std::int16_t q = -1;
    double a = -1;
    int rc = 99;
    BSangqdofpt(cs.centre != nullptr, cs.centre ? cs.centre : kO, cs.x, cs.y, kUp, cs.p, &q, &a, &rc);
    EXPECT_EQ(rc, cs.rc);
    EXPECT_EQ(q, cs.quadrant);
    EXPECT_NEAR(a, cs.angle, cs.tol);
  }
}

TEST(ArcTests, DistinctRuns) {
  const double P[3] = {1, 0, 0}, Q[3] = {0, 1, 0}, R[3] = {0, 0, 1}, S[3] = {2, 2, 2}, T[3] = {3, 0, 1};
  const double P2[3] = {2, 0, 0}, NaN[3] = {NAN, 0, 0};  // P2: P weighted by 2
  const struct {
    const char *what;
    std::vector<const double *> poles;
    std::vector<double> weights;
    int m, rc, first;
  } cases[] = {
      {"P P Q R restarts at the second P", {P, P, Q, R}, {}, 3, 0, 1},
      {"P Q P R: only P R are left", {P, Q, P, R}, {}, 3, -6, -1},
      {"a repeat of a later point of the run restarts there", {P, Q, R, Q, S, T, P}, {}, 4, 0, 3},
      {"weights count", {P, P2, Q, R}, {1, 2, 1, 1}, 3, 0, 1},
      {"m 0", {P, Q}, {}, 0, -2, -1},
      {"NaN pole", {P, NaN, Q}, {}, 2, -2, -1},
      {"zero weight", {P, Q, R}, {1, 0, 1}, 2, -2, -1},
  };
  for (const auto &cs : cases) {
    SCOPED_TRACE(cs.what);
    std::vector<double> poles, out(3 * 4, kUnset);
    for (const double *p : cs.poles) poles.insert(poles.end(), p, p + 3);
    int first = -1, rc = 99;
    const double *w = cs.weights.empty() ? nullptr : cs.weights.data();
    BSgetndgpts(static_cast<int>(cs.poles.size()), poles.data(), w, cs.m, out.data(), &first, &rc);
    EXPECT_EQ(rc, cs.rc);
    EXPECT_EQ(first, cs.first);
    for (int i = 0; rc == 0 && i < cs.m; ++i)
      for (int k = 0; k < 3; ++k) EXPECT_EQ(out[3 * i + k], poles[3 * (first + i) + k] / (w ? w[first + i] : 1));
  }
}

TEST(ArcTests, ArcAnswers) {
  ArcRecord circle, half;
  int rc = 0;
  const double r3 = 3, c3[3] = {1, 2, 3}, s3[3] = {4, 2, 3}, e3[3] = {-2, 2, 3}, tilt[3] = {0, 0.6, 0.8};
  ASSERT_TRUE(BSprepcirc(&rc, c3, &r3, tilt, &circle.cv, nullptr, nullptr));
  circle.cv.phy_closed = 0;  // closed by its ends, not by its flag
  ASSERT_TRUE(BSprepcarc(&rc, s3, c3, e3, tilt, &half.cv, nullptr, nullptr));
  auto quarter = [](double w) { return plane_segment(PlaneFrame{}, {1, 0, 1, 1, 0, 1}, {1, w, 1}); };
  auto q = quarter(kC), parabola = quarter(1);
  // The quarter circle unclamped: knots 0..5, its span [2, 3] the same segment (de Boor points 2 b0 - b1, b1,
  // 2 b2 - b1 of its homogeneous Bezier points b).
  TestCurve unclamped(3, {1, -kC / (2 - kC), 0, 1, 1, 0, -kC / (2 - kC), 1, 0}, {0, 1, 2, 3, 4, 5},
                      {2 - kC, kC, 2 - kC});
  // A tilted line whose legs are parallel only up to rounding.
  const double d[3] = {0.3, 0.7, 0.1};
  TestCurve line(3, {0, 0, 0, 1.3 * d[0], 1.3 * d[1], 1.3 * d[2], 2.6 * d[0], 2.6 * d[1], 2.6 * d[2]},
                 {0, 0, 0, 1, 1, 1}, {1, 0.8, 1});
  TestCurve line2(3, {0, 0, 0, 1, 1, 0, 2, 2, 0, 3, 3, 0, 4, 4, 0}, {0, 0, 0, 0.5, 0.5, 1, 1, 1}, {1, 0.8, 1, 0.8, 1});
  TestCurve nan_pole(3, {1, 0, 0, 1, NAN, 0, 0, 1, 0}, {0, 0, 0, 1, 1, 1}, {1, kC, 1});
  TestCurve polynomial(3, {1, 0, 0, 1, 1, 0, 0, 1, 0}, {0, 0, 0, 1, 1, 1});
  const struct {
    const char *what;
    const VOQbsp_curve *cv;
    double tol;
    int rc, answer;
    const double *centre;
    double radius;
  } cases[] = {
      {"quarter circle", &q->cv, 1e-9, 0, 1, kO, 1},
      {"parabola on equal legs", &parabola->cv, 1e-6, 0, 0, kO, 0},
      {"whole circle", &circle.cv, 1e-9, 0, 2, c3, 3},
      {"half circle of two segments", &half.cv, 1e-9, 0, 1, c3, 3},
      {"unclamped quarter circle", &unclamped.cv, 1e-9, 0, 1, kO, 1},
      {"rational straight line", &line.cv, 1e-12, 0, 0, kO, 0},
      {"straight line of two segments", &line2.cv, 1e-9, 0, 0, kO, 0},
      {"polynomial", &polynomial.cv, 1e-6, 0, 0, kO, 0},
      {"NaN pole", &nan_pole.cv, 1e-6, -2, 0, kO, 0},
      {"NaN tol", &q->cv, NAN, -2, 0, kO, 0},
  };
  for (const auto &cs : cases) {
    SCOPED_TRACE(cs.what);
    ArcRecord arc;
    std::uint16_t answer = 9;
    double centre[3] = {kUnset, kUnset, kUnset}, radius = kUnset;
    g_names.clear();
    {
      HookGuard hook(record);
      BStstcvarct(cs.cv, cs.tol, &answer, centre, &radius, &arc.cv, &rc);
    }
    EXPECT_EQ(rc, cs.rc);
    EXPECT_EQ(answer, cs.answer);
    EXPECT_NEAR(radius, cs.radius, 1e-12);
    EXPECT_LT(dist(centre, cs.centre), 1e-12);
    EXPECT_TRUE(cs.cv != &polynomial.cv || g_names.size() == 1) << "a polynomial curve is not evaluated";
    for (int i = 1; answer && i < 16; ++i) {
      double p[3];
      arc.point(i / 16.0, p);
      EXPECT_NEAR(dist(p, centre), radius, 1e-12) << "the rebuilt arc is round";
    }
    const double standard[9] = {1, 0, 0, kC, kC, 0, 0, 1, 0};  // weighted
    for (int i = 0; answer && cs.cv == &q->cv && i < 9; ++i) EXPECT_NEAR(arc.poles[i], standard[i], 1e-15);
  }
}

// The quarter ellipse with semi-axes 1 and b has radii of curvature b^2 and 1/b at its ends.
TEST(ArcTests, CurvatureRadiusThresholds) {
  ArcRecord circle;
  int rc = 0;
  const double r = 2;
  ASSERT_TRUE(BSprepcirc(&rc, kO, &r, kUp, &circle.cv, nullptr, nullptr));
  auto ellipse = [](double b) { return plane_segment(PlaneFrame{}, {1, 0, 1, b, 0, b}, {1, kC, 1}); };
  auto round = ellipse(1), close = ellipse(1 + 1e-4), far = ellipse(1 + 1e-3);
  auto line = plane_segment(PlaneFrame{}, {0, 0, 1, 1, 2, 2}, {1, 0.5, 1});
  const struct {
    const char *what;
    const VOQbsp_curve *cv;
    int answer;
    double radius;
  } cases[] = {
      {"circle", &round->cv, 2, 1},           {"whole circle", &circle.cv, 2, 2},
      {"radii 3e-4 apart", &close->cv, 1, 1}, {"radii 3e-3 apart", &far->cv, 0, kUnset},
      {"straight", &line->cv, 0, kUnset},
  };
  for (const auto &cs : cases) {
    SCOPED_TRACE(cs.what);
    int answer = 9;
    double radius = kUnset;
    BStstdrkarc(cs.cv, &answer, &radius, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(answer, cs.answer);
    EXPECT_NEAR(radius, cs.radius, 1e-3);
  }
}

// Arcs ending in every quadrant, in a tilted plane: the end angle is atan2 of the end in the arc's own frame.
TEST(ArcTests, CircleDescription) {
  const double centre[3] = {1, -2, 0.5}, r = 1.5, e1[3] = {0.6, 0.8, 0}, n[3] = {0.48, -0.36, 0.8};
  double e2[3];
  cross(n, e1, e2);
  for (double a : {0.7, 2.3, 3.5, 5.1, 6.27}) {
    SCOPED_TRACE(a);
    double s[3], e[3], v[3];
    for (int k = 0; k < 3; ++k)
      s[k] = centre[k] + r * e1[k], e[k] = centre[k] + r * (std::cos(a) * e1[k] + std::sin(a) * e2[k]);
    ArcRecord arc;
    int rc = 0;
    ASSERT_TRUE(BSprepcarc(&rc, s, centre, e, n, &arc.cv, nullptr, nullptr));
    BScircdesc d{};
    d.kind = 6;
    d.curve = &arc.cv;
    BScirc_prop(&d, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(d.done, 1);
    EXPECT_LT(dist(d.centre, centre), 1e-14);
    EXPECT_NEAR(d.radius, r, 1e-14);
    EXPECT_LT(dist(d.normal, n), 1e-14);
    EXPECT_LT(dist(d.start_dir, e1), 1e-14);
    EXPECT_NEAR(dot(d.end_dir, d.end_dir), 1, 1e-15);
    sub(d.end, centre, v);
    const double want = std::atan2(dot(v, e2), dot(v, e1));
    EXPECT_NEAR(d.end_angle, want < 0 ? want + 2 * M_PI : want, 1e-13);
  }
  BScircdesc d{};
  int rc = 0;
  BScirc_prop(&d, &rc);
  EXPECT_EQ(rc, BSRC_NULL_CURVE);
  EXPECT_EQ(d.done, 1) << "done even without a curve";
  BScirc_prop(nullptr, &rc);
  EXPECT_EQ(rc, BSRC_NULL_CURVE);
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "tests/bspline/measure_fixtures.h"

namespace {

std::vector<double> sorted_params(std::mt19937 &rng, const TestCurve &c, int count) {
  std::uniform_real_distribution<double> ud(c.start(), c.end());
  std::vector<double> u(count);
  for (double &x : u) x = ud(rng);
  // Knots and both ends too, where the span choice matters.
  for (int i = c.order() - 1; i <= c.n() && static_cast<int>(u.size()) < count + 6; ++i) u.push_back(c.knots[i]);
  std::sort(u.begin(), u.end());
  return u;
}

void expect_rows(const double *got, const double *want, int n, double tol, const char *what, int i) {
  for (int k = 0; k < n; ++k)
    ASSERT_NEAR(got[k], want[k], tol * std::max(1.0, std::fabs(want[k]))) << what << " parameter " << i << " " << k;
}

TEST(ArrayEvaluation, AgreesWithSinglePointEvaluation) {
  std::mt19937 rng(106);
  for (int trial = 0; trial < 30; ++trial) {
    const int order = 2 + trial % 6;
    auto c = random_curve(rng, order, order + trial % 8, trial % 2 == 1, trial % 3 != 2);
    const std::vector<double> u = sorted_params(rng, *c, 20);
    const int m = static_cast<int>(u.size());
    std::vector<double> pts(3 * m), hom(4 * m), d2(9 * m), tan(6 * m);
    int rc = 0;
    BScvarrev0(&rc, &c->cv, u.data(), m, pts.data());
    ASSERT_EQ(rc, 0);
    BScvarrev0w(&c->cv, m, u.data(), hom.data(), &rc);
    ASSERT_EQ(rc, 0);
    BScvarreval(&rc, &c->cv, u.data(), m, 2, d2.data());
    ASSERT_EQ(rc, 0);
    BScvarrevt(&c->cv, u.data(), m, 0.5, tan.data(), &rc);
    ASSERT_EQ(rc, 0);
    const int stride = c->cv.rational ? 4 : 3;
    for (int i = 0; i < m; ++i) {
      double ref[9];
      BScveval_n(&c->cv, u[i], 2, ref, &rc);
      expect_rows(&pts[3 * i], ref, 3, 1e-11, "points", i);
      expect_rows(&tan[6 * i], ref, 3, 1e-11, "tangent base", i);
      double p[3];
      for (int k = 0; k < 3; ++k) p[k] = hom[stride * i + k] / (c->cv.rational ? hom[stride * i + 3] : 1.0);
      expect_rows(p, ref, 3, 1e-11, "homogeneous", i);
      // At interior knots the sides may differ: a polyline only agrees in its point, curves with simple knots
      // of order 3 and more in the first derivative too.
      const bool at_knot = std::find(c->knots.begin() + order, c->knots.begin() + c->n(), u[i]) !=
                           c->knots.begin() + c->n();
      expect_rows(&d2[9 * i], ref, at_knot ? (order == 2 ? 3 : 6) : 9, 1e-9, "derivatives", i);
      const double *T = &tan[6 * i + 3];
      const double len = std::hypot(T[0] - ref[0], T[1] - ref[1], T[2] - ref[2]);
      if (std::hypot(ref[3], ref[4], ref[5]) > 1e-9) {
        EXPECT_NEAR(len, 0.5, 1e-12);
      }
    }
  }
}

TEST(ArrayEvaluation, KnotParametersTakeTheSpanOfTheWalk) {
  // A cubic with a double knot at 1: C1 there, with a different second derivative on each side.
  TestCurve c(4, {0, 0, 0, 1, 2, 0, 2, -1, 0, 3, 3, 0, 4, 0, 0, 5, 1, 0}, {0, 0, 0, 0, 1, 1, 2, 2, 2, 2});
  double left[9], right[9];
  int rc = 0, span_left = 3, span_right = 5;
  BScveval2(&rc, 4, c.cv.poles, nullptr, c.cv.knots, span_left, 1.0, left);
  BScveval2(&rc, 4, c.cv.poles, nullptr, c.cv.knots, span_right, 1.0, right);
  ASSERT_GT(std::fabs(left[6] - right[6]), 1e-3);
  double out[18];
  const double first[1] = {1.0};
  BScvarreval(&rc, &c.cv, first, 1, 2, out);
  EXPECT_NEAR(out[6], right[6], 1e-12) << "a first parameter takes the span that starts at the knot";
  const double later[2] = {0.5, 1.0};
  BScvarreval(&rc, &c.cv, later, 2, 2, out);
  EXPECT_NEAR(out[9 + 6], left[6], 1e-12) << "a later one keeps the span that ends there";
  // nder outside 0..2 writes nothing.
  std::fill(out, out + 18, -5.0);
  BScvarreval(&rc, &c.cv, later, 2, 3, out);
  EXPECT_EQ(rc, -2);
  EXPECT_EQ(out[0], -5.0);
  BScvarreval(&rc, &c.cv, later, 0, 3, out);
  EXPECT_EQ(rc, 0) << "nothing to do";
}

TEST(ArrayEvaluation, PointEvaluatorsRefuseOrdersTheirArraysCannotHold) {
  std::mt19937 rng(2);
  auto c = random_curve(rng, 17, 17, false, true);
  const double u[1] = {c->start()};
  double out[3];
  int rc = 0;
  BScvarrev0(&rc, &c->cv, u, 1, out);
  EXPECT_EQ(rc, -2);
  BScvarrev0w(&c->cv, 1, u, out, &rc);
  EXPECT_EQ(rc, -2);
  // An empty first span: one start knot too many. The walk steps off it instead of dividing by its length.
  TestCurve e(3, {0, 0, 0, 1, 1, 0, 2, 0, 0, 3, 1, 0}, {0, 0, 0, 0, 1, 2, 2});
  const double at[2] = {0.0, 0.5};
  double pts[6];
  BScvarrev0(&rc, &e.cv, at, 2, pts);
  ASSERT_EQ(rc, 0);
  double ref[3];
  BScveval_n(&e.cv, 0.5, 0, ref, &rc);
  EXPECT_TRUE(std::isfinite(pts[0]) && std::isfinite(pts[1]));
  EXPECT_NEAR(pts[3], ref[0], 1e-12);
}

TEST(ArrayEvaluation, CurvatureMarkers) {
  // A circle of radius 2: curvature 1/2, markers to the centre (1, -1, 0).
  auto circle = circular_arc(2, 0, 2 * M_PI, 4, 1, -1, 0);
  const double u[3] = {0.3, 1.7, 3.2};
  double curv[3], rad[3], out[18];
  int rc = 0;
  BScvarrevc(&circle->cv, 3, u, 10, curv, rad, out, &rc);
  ASSERT_EQ(rc, 0);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(curv[i], 0.5, 1e-12);
    EXPECT_NEAR(rad[i], 2, 1e-12);
    EXPECT_NEAR(out[6 * i + 3], 1, 1e-12);
    EXPECT_NEAR(out[6 * i + 4], -1, 1e-12);
  }
  // A longest marker above maxlen scales every marker alike.
  BScvarrevc(&circle->cv, 3, u, 0.5, curv, rad, out, &rc);
  const double d = std::hypot(out[3] - out[0], out[4] - out[1], out[5] - out[2]);
  EXPECT_NEAR(d, 0.5, 1e-12);
  // A straight piece: curvature 0, radius -1, and its marker is left as it was.
  TestCurve s(3, {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 1, 0}, {0, 0, 0, 1, 2, 2, 2});
  const double v[2] = {0.25, 1.5};
  std::fill(out, out + 12, 42.0);
  BScvarrevc(&s.cv, 2, v, 100, curv, rad, out, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(curv[0], 0);
  EXPECT_EQ(rad[0], -1);
  EXPECT_EQ(out[3], 42.0);
  EXPECT_GT(rad[1], 0);
  TestCurve poly(2, {0, 0, 0, 1, 1, 0}, {0, 0, 1, 1});
  BScvarrevc(&poly.cv, 1, v, 1, curv, rad, out, &rc);
  EXPECT_EQ(rc, -2);
}

}  // namespace

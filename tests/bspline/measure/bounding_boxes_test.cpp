#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <vector>

#include "tests/bspline/measure/box_fixtures.h"

namespace {

TEST(BoundingBoxes, AxisAlignedTests) {
  const double tol = BStoltab[1];
  int rc = 0;
  const double lo1[3] = {0, 0, 0}, hi1[3] = {1, 1, 1};
  const double lo2[3] = {1 + 0.5 * tol, 0, 0}, hi2[3] = {2, 1, 1};
  const double lo3[3] = {1 + 2 * tol, 0, 0}, hi3[3] = {2, 1, 1};
  EXPECT_EQ(BSbxint(&rc, lo1, hi1, lo2, hi2), BSTRUE);
  EXPECT_EQ(BSbxint(&rc, lo2, hi2, lo1, hi1), BSTRUE);
  EXPECT_EQ(BSbxint(&rc, lo1, hi1, lo3, hi3), BSFALSE);
  EXPECT_EQ(BSbxint(&rc, lo3, hi3, lo1, hi1), BSFALSE);

  const int three = 3, two = 2;
  const double near_out[3] = {1 + 0.9 * tol / std::sqrt(3.0), 0.5, 0.5};
  const double far_out[3] = {1 + 1.1 * tol / std::sqrt(3.0), 0.5, 0.5};
  const double high[3] = {0.5, 0.5, 7};
  EXPECT_EQ(BSptinbx(&rc, near_out, lo1, hi1, &three), BSTRUE);
  EXPECT_EQ(BSptinbx(&rc, far_out, lo1, hi1, &three), BSFALSE);
  EXPECT_EQ(BSptinbx(&rc, high, lo1, hi1, &two), BSTRUE) << "only the first dim coordinates count";

  double d2 = -1;
  const double p[3] = {3, -1, 0.5};
  EXPECT_EQ(BSbx3(&rc, p, lo1, hi1, &d2), BSTRUE);
  EXPECT_DOUBLE_EQ(d2, 5);
  EXPECT_EQ(BSbx3(&rc, p, hi1, lo1, &d2), BSFALSE);
  EXPECT_EQ(rc, 1);
}

TEST(BoundingBoxes, EndPointInsideTheBoxOfTheOtherPoles) {
  int rc = 0;
  BSboolean inside = 7;
  TestCurve open(3, {0, 0, 0, 1, 1, 0, 2, 0, 0}, {0, 0, 0, 1, 1, 1});
  BSendptinbx(&rc, &open.cv, &inside);
  EXPECT_EQ(inside, BSFALSE);
  // The last pole comes back inside the box of the others.
  TestCurve back(3, {0, 0, 0, 2, 2, 0, 4, 0, 0, 1, 1, 0}, {0, 0, 0, 1, 2, 2, 2});
  BSendptinbx(&rc, &back.cv, &inside);
  EXPECT_EQ(inside, BSTRUE);
  // Rational: the poles are divided by their weights first.
  TestCurve rat(3, {1, 1, 0, 0, 0, 0, 2, 2, 0}, {0, 0, 0, 1, 1, 1}, {2, 4, 0.5});
  BSendptinbx(&rc, &rat.cv, &inside);
  EXPECT_EQ(inside, BSTRUE);
}

// The certificate that a piece cannot meet itself: a direction along which every step between poles advances.
// A wrong yes loses a loop, so the rows sit on the half-turn boundary from both sides.
TEST(BoundingBoxes, PolesAdvanceAlongOneDirection) {
  const std::vector<double> cubic = {0, 0, 0, 0, 1, 1, 1, 1};
  const double nan = std::nan("");
  struct Row {
    const char *name;
    std::vector<double> poles, weights;
    bool advance;
  } rows[] = {
      {"a quarter turn", {0, 0, 0, 1, 0, 0, 2, 1, 0, 2, 2, 0}, {}, true},
      {"a repeated pole is no step", {0, 0, 0, 1, 0, 0, 1, 0, 0, 2, 0, 0}, {}, true},
      {"a half turn exactly", {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, {}, false},
      {"just short of a half turn", {0, 0, 0, 1, 0, 0, 0, 1e-3, 0, 0, 1e-3, 0}, {}, true},
      {"just past a half turn", {0, 0, 0, 1, 0, 0, 0, -1e-3, 0, -1, 0, 0}, {}, false},
      {"a looping cubic", {0, 0, 0, 2, 1, 0, 0, 1, 0, 2, 0, 0}, {}, false},
      {"a half turn in plan rising all along", {0, 0, 0, 1, 0, 1, 1, 1, 2, 0, 1, 3}, {}, true},
      {"every pole at one place", {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, {}, false},
      // Undivided, the last weight would turn the quarter turn's steps through more than a half turn.
      {"weights divided out", {0, 0, 0, 1, 0, 0, 2, 1, 0, 2, 2, 0}, {1, 1, 1, 0.1}, true},
      {"a weighted half turn", {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, {1, 2, 0.5, 4}, false},
      {"a negative weight", {0, 0, 0, 1, 0, 0, 2, 1, 0, 2, 2, 0}, {1, -1, 1, 1}, false},
      {"a NaN pole", {0, 0, 0, 1, 0, 0, nan, 1, 0, 2, 2, 0}, {}, false},
  };
  for (const Row &row : rows) {
    TestCurve c(4, row.poles, cubic, row.weights);
    EXPECT_EQ(BSpoles_advance(&c.cv), row.advance) << row.name;
  }
}

TEST(BoundingBoxes, DualBases) {
  int rc = 0;
  const double m[4] = {2, 1, -1, 3};
  double inv[4];
  BSboxinvab(m, inv, &rc);
  ASSERT_EQ(rc, 0);
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j)
      EXPECT_NEAR(inv[2 * i] * m[2 * j] + inv[2 * i + 1] * m[2 * j + 1], i == j, 1e-15);
  const double flat[4] = {1, 2, 2, 4};
  BSboxinvab(flat, inv, &rc);
  EXPECT_EQ(rc, -14);
  // a3 perpendicular to a1 and a2.
  double axes[9] = {1, 2, 0, -1, 1, 1, 0, 0, 0};
  bsbox::cross(axes, axes + 3, axes + 6);
  double dual[9];
  BSboxinvabc(axes, dual, &rc);
  ASSERT_EQ(rc, 0);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(bsbox::dot(dual + 3 * i, axes + 3 * j), i == j, 1e-15);
  const double parallel[9] = {1, 0, 0, 2, 0, 0, 0, 0, 1};
  BSboxinvabc(parallel, dual, &rc);
  EXPECT_EQ(rc, -14);
}

TEST(BoundingBoxes, OrientedBoxOfACurveHoldsItsPoints) {
  std::mt19937 rng(121);
  for (int trial = 0; trial < 24; ++trial) {
    const int dim = 2 + trial % 2, order = 3 + trial % 3;
    auto c = random_curve(rng, order, order + trial % 5, trial % 3 == 0, true);
    if (dim == 2)
      for (int i = 0; i < c->n(); ++i) c->poles[3 * i + 2] = 0;
    const std::vector<double> blocks = bsbox::coordinate_blocks(*c, dim);
    double center[3], axes[9];
    int rc = 0;
    BSoblboxbsc(order, c->n(), c->knots.data(), dim, c->cv.rational, blocks.data(), center, axes, &rc);
    ASSERT_EQ(rc, 0) << trial;
    for (int i = 0; i <= 200; ++i) {
      double p[3];
      ref_point(*c, bsbox::sample(*c, i, 200), p);
      EXPECT_TRUE(bsbox::in_box(dim, center, axes, p, 1e-9)) << "trial " << trial << " sample " << i;
    }
  }
  // A straight curve has no second derivative to span a box with; over short knot gaps its derivatives are
  // large and rounding leaves them only nearly parallel, which must not pass for a frame either.
  TestCurve line(3, {0, 0, 0, 1, 1, 0, 2, 2, 0}, {0, 0, 0, 1, 1, 1});
  TestCurve short_gaps(5, {-0.5, -7.125, -3.5, -15, -15, -15, -15, -15, -15, -15, -15, -15, -15, -15, -15},
                       {-15, -15, -14.6875, -14.65625, -14.65625, -14.625, -14.125, -14.125, -10.125, -5.875});
  for (const auto &[curve, dim] : {std::pair{&line, 3}, {&line, 4}, {&short_gaps, 3}}) {
    const std::vector<double> blocks = bsbox::coordinate_blocks(*curve, 3);
    double center[3], axes[9];
    int rc = 0;
    BSoblboxbsc(curve->order(), curve->n(), curve->knots.data(), dim, 0, blocks.data(), center, axes, &rc);
    EXPECT_EQ(rc, 50) << dim;
  }
}

TEST(BoundingBoxes, LegendreSpanBoxesHoldTheSpan) {
  std::mt19937 rng(122);
  for (int trial = 0; trial < 40; ++trial) {
    const int dim = 2 + trial % 2, deg = trial % 6;
    const bool rational = trial % 2 == 1;
    const std::vector<double> coef = bsbox::random_legendre_span(rng, deg, dim, rational, 1 + trial / 40.0, 0.15);
    double center[3], axes[9];
    int rc = 0;
    if (rational)
      BSboxcvlgr(deg, dim, coef.data(), center, axes, &rc);
    else
      BSboxcvlgp(deg, dim, coef.data(), center, axes, &rc);
    ASSERT_EQ(rc, 0) << trial;
    for (int i = 0; i <= 200; ++i) {
      double p[3];
      bsbox::legendre_point(deg, dim, rational, coef.data(), -1 + i / 100.0, p);
      EXPECT_TRUE(bsbox::in_box(dim, center, axes, p, 1e-9)) << "trial " << trial << " t " << -1 + i / 100.0;
    }
  }
  // Parallel leading coefficients and weights that may vanish have no box.
  const double parallel[9] = {0, 1, 2, 0, 2, 4, 0, 0, 0};
  double center[3], axes[9];
  int rc = 0;
  BSboxcvlgp(2, 3, parallel, center, axes, &rc);
  EXPECT_EQ(rc, 50);
  const double heavy[9] = {0, 1, 0, 0, 0, 1, 1, 0.6, 0.5};
  BSboxcvlgr(2, 2, heavy, center, axes, &rc);
  EXPECT_EQ(rc, 50);
}

}  // namespace

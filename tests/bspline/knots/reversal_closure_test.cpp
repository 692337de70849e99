#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "tests/bspline/knots_fixtures.h"

namespace {

const BSboolean kTrue = BSTRUE, kFalse = BSFALSE;

TEST(Reversal, KnotsMirrorWithinTheRange) {
  TestCurve c(3, {0, 0, 0, 1, 2, 0, 2, 0, 0, 3, 1, 0}, {0, 0, 0, 1, 3, 3, 3}, {1, 2, 3, 4});
  std::vector<double> bd = {1, 1.5, 2, 2.5};
  c.cv.num_boundaries = 2;
  c.cv.bdrys = bd.data();
  const HeapCurve before = heap_copy(c.cv);
  int rc = 0;
  ASSERT_TRUE(BSrev_cv(&rc, &c.cv));
  EXPECT_EQ(c.knots, (std::vector<double>{0, 0, 0, 2, 3, 3, 3}));
  EXPECT_EQ(c.weights, (std::vector<double>{4, 3, 2, 1}));
  // Boundaries mirror and keep their order along the new direction.
  EXPECT_EQ(bd, (std::vector<double>{0.5, 1, 1.5, 2}));
  std::mt19937 rng(1);
  expect_same_points(*before, c.cv, 0, 3, [](double u) { return 3 - u; }, rng);
  ASSERT_TRUE(BSrev_cv(&rc, &c.cv));
  EXPECT_EQ(knots_of(c.cv), knots_of(*before));
  EXPECT_EQ(std::vector<double>(c.poles), std::vector<double>(before->poles, before->poles + 12));
  EXPECT_EQ(bd, (std::vector<double>{1, 1.5, 2, 2.5}));
}

TEST(Reversal, TwiceRestoresRandomCurves) {
  std::mt19937 rng(2);
  for (int order = 2; order <= 7; ++order) {
    auto c = random_curve(rng, order, order + 3 + order % 2, order % 2 == 0, order > 3);
    const auto poles = c->poles, knots = c->knots, weights = c->weights;
    int rc = 0;
    ASSERT_TRUE(BSrev_cv(&rc, &c->cv));
    ASSERT_TRUE(BSrev_cv(&rc, &c->cv));
    EXPECT_EQ(c->poles, poles);
    EXPECT_EQ(c->weights, weights);
    // Knots only to the rounding of a + b - t.
    const double span = c->end() - c->start();
    for (size_t i = 0; i < knots.size(); ++i) EXPECT_NEAR(c->knots[i], knots[i], 1e-14 * std::max(1.0, span));
  }
}

TEST(Closure, FlaggedCurvesGetEqualEndPoints) {
  // Rational, unclamped, ends 1e-7 apart: clamped first, then both ends at the mean, each with its own weight.
  std::mt19937 rng(3);
  auto c = random_curve(rng, 3, 6, true, false);
  const HeapCurve before = heap_copy(c->cv);
  c->cv.phy_closed = 1;
  int rc = 0;
  BScvsetclsd(&c->cv, &rc);
  ASSERT_EQ(rc, 0);
  const auto p = cartesian_poles(c->cv);
  for (int k = 0; k < 3; ++k) EXPECT_DOUBLE_EQ(p[k], p[15 + k]);
  const auto s = curve_point(*before, range_start(*before)), e = curve_point(*before, range_end(*before));
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(p[k], (s[k] + e[k]) / 2, 1e-11);
  // Weights are kept.
  EXPECT_EQ(c->cv.weights[0], c->weights[0]);
  // An unclamped end knot already doubled inside the knot vector: once clamped the last span is empty and the
  // curve ends on pole 4, not on the last stored pole; it is that end which must meet the start.
  TestCurve dup(3, {0, 0, 0, 1, 0, 0, 2, 1, 0, 3, 3, 0, 5, 5, 0, 9, 9, 0}, {0, 1, 2, 3, 4, 6, 6, 7, 8});
  dup.cv.phy_closed = 1;
  BScvsetclsd(&dup.cv, &rc);
  ASSERT_EQ(rc, 0);
  const auto head = curve_point(dup.cv, range_start(dup.cv)), tail = curve_point(dup.cv, range_end(dup.cv));
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(head[k], tail[k], 1e-12);
  // Not flagged: nothing happens.
  auto d = random_curve(rng, 3, 6, false, true);
  const auto poles = d->poles;
  BScvsetclsd(&d->cv, &rc);
  EXPECT_EQ(d->poles, poles);
}

// A closed clamped cubic around a square, parameter range [0, 4].
struct Loop {
  TestCurve c{4,
              {0, 0, 0, 1, -1, 0, 2, 0, 0, 2, 1, 0, 2, 2, 0, 1, 3, 0, 0, 2, 0, -1, 1, 0, 0, 0, 0},
              {0, 0, 0, 0, 1, 1.5, 2, 2.5, 3, 4, 4, 4, 4}};
  Loop() { c.cv.phy_closed = 1; }
};

TEST(Restart, ClosedCurveAtItsEndsIsACopy) {
  Loop loop;
  RoomCurve out(12, 4, false);
  int rc = 0;
  const double u = 0;
  ASSERT_TRUE(BSclcvshffl(&rc, &loop.c.cv, &u, &kTrue, &out.cv));
  EXPECT_EQ(knots_of(out.cv), loop.c.knots);
  EXPECT_EQ(cartesian_poles(out.cv), loop.c.poles);
  const double v = 4;
  ASSERT_TRUE(BSclcvshffl(&rc, &loop.c.cv, &v, &kFalse, &out.cv));
  std::mt19937 rng(4);
  expect_same_points(loop.c.cv, out.cv, 0, 4, [](double t) { return 4 - t; }, rng);
}

// Closed cubics over the range [0, 4] whose end knots are not clamped: seven poles wrapped round (the first three
// again at the end) on uniform knots, polynomial and rational. Their ends lie off their end poles.
std::unique_ptr<TestCurve> unclamped_loop(bool rational) {
  const double P[7][3] = {{0, 0, 0}, {2, -1, 0}, {4, 0, 1}, {5, 2, 0}, {3, 4, 0}, {1, 3, -1}, {-1, 2, 0}};
  const double W[7] = {1, 0.7, 1.4, 1, 0.9, 1.2, 1};
  std::vector<double> poles, knots, weights;
  for (int i = 0; i < 10; ++i) {
    poles.insert(poles.end(), P[i % 7], P[i % 7] + 3);
    if (rational) weights.push_back(W[i % 7]);
  }
  for (int i = 0; i < 14; ++i) knots.push_back((i - 3) * 4.0 / 7);
  auto c = std::make_unique<TestCurve>(4, poles, knots, weights);
  c->cv.phy_closed = 1;
  return c;
}

TEST(Restart, ClosedCurveAtAnInteriorParameter) {
  Loop clamped;
  auto loose = unclamped_loop(false), loose_rational = unclamped_loop(true);
  const struct {
    const char *what;
    const VOQbsp_curve *cv;
  } loops[] = {{"clamped", &clamped.c.cv}, {"unclamped", &loose->cv}, {"unclamped rational", &loose_rational->cv}};
  std::mt19937 rng(5);
  for (const auto &loop : loops)
    for (double u : {1.0, 2.2, 3.7}) {
      RoomCurve out(14, 4, loop.cv->rational);
      int rc = 0;
      ASSERT_TRUE(BSclcvshffl(&rc, loop.cv, &u, &kTrue, &out.cv)) << loop.what << " " << u;
      EXPECT_EQ(range_start(out.cv), 0);
      EXPECT_EQ(range_end(out.cv), 1);
      EXPECT_EQ(out.cv.phy_closed, 1);
      // The restarted curve lies on the original, on each side of the seam (the unclamped ones once ran up to
      // 1.46 off it, joined at their end poles).
      const double L = 4;
      expect_same_points(*loop.cv, out.cv, u, 4, [&](double t) { return (t - u) / L; }, rng, 1e-12, 500);
      expect_same_points(*loop.cv, out.cv, 0, u, [&](double t) { return (t + 4 - u) / L; }, rng, 1e-12, 500);
      ASSERT_TRUE(BScv_shffl(&rc, loop.cv, &u, &kFalse, &out.cv));
      // Backwards: first from u down to the start, then from the end down to u.
      expect_same_points(*loop.cv, out.cv, 0, u, [&](double t) { return (u - t) / L; }, rng);
      expect_same_points(*loop.cv, out.cv, u, 4, [&](double t) { return (u + 4 - t) / L; }, rng);
    }
}

TEST(Restart, OpenCurvesStartOnlyAtAnEnd) {
  Loop loop;
  loop.c.cv.phy_closed = 0;
  RoomCurve out(12, 4, false);
  int rc = 0;
  const double end = 4, start = 0, inside = 2;
  ASSERT_TRUE(BScv_shffl(&rc, &loop.c.cv, &end, &kTrue, &out.cv));
  std::mt19937 rng(6);
  expect_same_points(loop.c.cv, out.cv, 0, 4, [](double t) { return 4 - t; }, rng);
  ASSERT_TRUE(BScv_shffl(&rc, &loop.c.cv, &start, &kTrue, &out.cv));
  EXPECT_EQ(cartesian_poles(out.cv), loop.c.poles);
  out.cv.num_poles = -5;
  EXPECT_FALSE(BScv_shffl(&rc, &loop.c.cv, &inside, &kTrue, &out.cv));
  EXPECT_EQ(rc, -2);
  EXPECT_EQ(out.cv.num_poles, -5);
}

}  // namespace

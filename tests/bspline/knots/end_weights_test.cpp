#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <cstring>
#include <random>
#include <vector>

#include "bspline/core/test_support.h"
#include "tests/bspline/knots_fixtures.h"

namespace {

std::vector<double> weights_of(const VOQbsp_curve &cv) { return {cv.weights, cv.weights + cv.num_poles}; }

// The same record seen as polynomial.
VOQbsp_curve &poly_of(TestCurve &c) {
  c.cv.rational = 0;
  return c.cv;
}

TEST(EndWeights, WeightingAndUnweightingPoleArrays) {
  const std::vector<double> p = {1, 2, 3, 4, 5, 6};
  const std::vector<double> w = {2, 0.5};
  std::vector<double> out(6);
  const int n = 2;
  int rc = 0;
  ASSERT_TRUE(BSwght_p(&rc, p.data(), w.data(), &n, out.data()));
  EXPECT_EQ(out, (std::vector<double>{2, 4, 6, 2, 2.5, 3}));
  ASSERT_TRUE(BSunwght_p(&rc, out.data(), w.data(), &n, out.data()));  // in place
  EXPECT_EQ(out, p);
}

TEST(EndWeights, BezierSegmentBothEnds) {
  std::mt19937 rng(1);
  TestCurve c(3, {0, 0, 0, 1, 1, 0, 2, 0, 0}, {0, 0, 0, 1, 1, 1}, {2, 1, 2});
  RoomCurve out(3, 3, true);
  int rc = 0;
  BSchgewts(&c.cv, &out.cv, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(weights_of(out.cv)[0], 1);
  EXPECT_DOUBLE_EQ(weights_of(out.cv)[1], 0.5);
  EXPECT_EQ(weights_of(out.cv)[2], 1);
  EXPECT_EQ(cartesian_poles(out.cv), cartesian_poles(c.cv));
  // Equal end weights: the reparametrisation is the identity, so the points agree parameter by parameter.
  expect_same_points(c.cv, out.cv, 0, 1, rng);
  // Unit end weights already: nothing changes, not even by rounding.
  TestCurve unit(3, {0, 0, 0, 1, 1, 0, 2, 0, 0}, {0, 0, 0, 1, 1, 1}, {1, 0.3, 1});
  const std::vector<double> poles = unit.poles;
  BSchgewts(&unit.cv, &unit.cv, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(unit.poles, poles);
  EXPECT_EQ(unit.weights[1], 0.3);
  // Refusals: not rational, several segments, no output.
  TestCurve poly(3, {0, 0, 0, 1, 1, 0, 2, 0, 0}, {0, 0, 0, 1, 1, 1});
  BSchgewts(&poly.cv, &out.cv, &rc);
  EXPECT_EQ(rc, -2);
  TestCurve two(3, {0, 0, 0, 1, 1, 0, 2, 0, 0, 3, 1, 0}, {0, 0, 0, 1, 2, 2, 2}, {1, 2, 2, 1});
  RoomCurve out4(4, 3, true);
  BSchgewts(&two.cv, &out4.cv, &rc);
  EXPECT_EQ(rc, -2);
  BSchgewts(&c.cv, nullptr, &rc);
  EXPECT_EQ(rc, 3);
}

// A Bezier segment over [lo, hi] whose weights were divided by p^(d-i) q^i: the old curve's point at local
// parameter t is the new curve's point at s = q t / (p (1 - t) + q t).
struct SegmentMap {
  double lo, hi, p, q;
  double operator()(double u) const {
    const double t = (u - lo) / (hi - lo), s = q * t / (p * (1 - t) + q * t);
    return lo + s * (hi - lo);
  }
};

TEST(EndWeights, WholeCurveEqualEndWeightsNeedNoKnots) {
  TestCurve c(3, {0, 0, 0, 1, 1, 0, 2, 0, 0, 3, 1, 0}, {0, 0, 0, 1, 2, 2, 2}, {2, 2, 2, 2});
  VOQbsp_curve *out = nullptr;
  int rc = 0;
  BSchgecvwts(&c.cv, &out, &rc);
  ASSERT_EQ(rc, 0);
  HeapCurve owned(out);
  EXPECT_EQ(weights_of(*out), (std::vector<double>{1, 1, 1, 1}));
  EXPECT_EQ(out->num_poles, 4);
  EXPECT_EQ(cartesian_poles(*out), cartesian_poles(c.cv));
}

TEST(EndWeights, WholeCurveSplitsOffItsEndSegments) {
  std::mt19937 rng(4);
  auto c = random_curve(rng, 4, 7, true, true);
  std::vector<double> w = c->weights;
  w.front() = 1;
  w.back() = 3;
  auto fixed = std::make_unique<TestCurve>(4, cartesian_poles(c->cv), c->knots, w);
  VOQbsp_curve *out = nullptr;
  int rc = 0;
  BSchgecvwts(&fixed->cv, &out, &rc);
  ASSERT_EQ(rc, 0);
  HeapCurve owned(out);
  EXPECT_EQ(out->weights[0], 1);
  EXPECT_EQ(out->weights[out->num_poles - 1], 1);
  // u_a and u_b now have multiplicity 3.
  const double ua = fixed->knots[4], ub = fixed->knots[6];
  EXPECT_EQ(std::count(out->knots, out->knots + out->num_knots, ua), 3);
  EXPECT_EQ(std::count(out->knots, out->knots + out->num_knots, ub), 3);
  // After the division by the mean weight m, the first segment's start weight 1/m and the last segment's end
  // weight 3/m became 1; the segments between keep their parameters.
  double mean = 0;
  for (double x : w) mean += x;
  mean /= 7;
  const double s0 = fixed->start(), s1 = fixed->end();
  expect_same_points(fixed->cv, *out, s0, ua, SegmentMap{s0, ua, std::pow(1 / mean, 1.0 / 3), 1}, rng, 1e-11);
  expect_same_points(fixed->cv, *out, ua, ub, rng, 1e-11);
  expect_same_points(fixed->cv, *out, ub, s1, SegmentMap{ub, s1, 1, std::pow(3 / mean, 1.0 / 3)}, rng, 1e-11);
}

TEST(EndWeights, OneEndOfAWholeCurve) {
  std::mt19937 rng(6);
  TestCurve c(3, {0, 0, 0, 1, 1, 0, 2, 0, 0, 3, 1, 0, 4, 0, 0}, {0, 0, 0, 1, 2, 3, 3, 3}, {2, 1, 1, 1, 3});
  HeapCurve out = heap_copy(c.cv);
  VOQbsp_curve *o = out.get();
  out.release();
  int rc = 0;
  BSchgcvewlr(&c.cv, 0, &o, &rc);
  HeapCurve owned(o);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(o->weights[0], 1);
  EXPECT_EQ(o->weights[o->num_poles - 1], 3);  // the other end is left alone
  expect_same_points(c.cv, *o, 0, 1, SegmentMap{0, 1, std::sqrt(2.0), 1}, rng, 1e-11);
  expect_same_points(c.cv, *o, 1, 3, rng, 1e-11);
  // A single segment goes to the one-end rule: weights 1, 2, 4 with the right end give 1, 1, 1.
  TestCurve seg(3, {0, 0, 0, 1, 1, 0, 2, 0, 0}, {0, 0, 0, 1, 1, 1}, {1, 2, 4});
  RoomCurve r(3, 3, true);
  VOQbsp_curve *rp = &r.cv;
  BSchgcvewlr(&seg.cv, 1, &rp, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(weights_of(r.cv), (std::vector<double>{1, 1, 1}));
  EXPECT_EQ(cartesian_poles(r.cv), cartesian_poles(seg.cv));
  // In place, the start: 4, 2, 1 gives 1, 2 / 4^(1/2), 1.
  TestCurve back(3, {0, 0, 0, 1, 1, 0, 2, 0, 0}, {0, 0, 0, 1, 1, 1}, {4, 2, 1});
  BSchgewtlr(&back.cv, nullptr, BSFALSE, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(weights_of(back.cv), (std::vector<double>{1, 1, 1}));
  EXPECT_EQ(cartesian_poles(back.cv), cartesian_poles(seg.cv));
  BSchgewtlr(&poly_of(back), nullptr, BSTRUE, &rc);
  EXPECT_EQ(rc, -2);
  // Both ends with nearly equal end weights: one common factor.
  TestCurve eq(3, {0, 0, 0, 1, 1, 0, 2, 0, 0, 3, 1, 0}, {0, 0, 0, 1, 2, 2, 2}, {3, 1, 2, 3});
  HeapCurve eo = heap_copy(eq.cv);
  VOQbsp_curve *ep = eo.get();
  BSchgcvewlr(&eq.cv, 2, &ep, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(ep->num_poles, 4);
  EXPECT_EQ(weights_of(*ep)[1], 1.0 / 3);
  expect_same_points(eq.cv, *ep, 0, 2, rng);
  BSchgcvewlr(&eq.cv, 3, &ep, &rc);
  EXPECT_EQ(rc, -2);
}

double tol_in_insertion = 0;
int insertions = 0;
void fail_second_insertion(const char *lname, int *rc) {
  if (std::strcmp(lname, "bsadd_1kt_tot") == 0) {
    tol_in_insertion = BStoltab[8];
    if (++insertions == 2 && rc) *rc = -13;
  }
}

TEST(EndWeights, KnotToleranceIsRestoredWhenAnInsertionFails) {
  TestCurve c(3, {0, 0, 0, 1, 1, 0, 2, 0, 0, 3, 1, 0, 4, 0, 0}, {0, 0, 0, 1, 2, 3, 3, 3}, {2, 1, 1, 1, 3});
  const double before = BStoltab[8];
  for (const bool slow : {false, true}) {
    const bstest::SlowRoads roads(slow);
    SCOPED_TRACE(slow ? "slow roads" : "short roads");
    VOQbsp_curve *out = nullptr;
    int rc = 0;
    insertions = 0, tol_in_insertion = before;
    {
      HookGuard hook(fail_second_insertion);
      BSchgecvwts(&c.cv, &out, &rc);
    }
    HeapCurve owned(out);
    EXPECT_EQ(rc, -13);
    EXPECT_NE(tol_in_insertion, before);
    EXPECT_EQ(BStoltab[8], before);
  }
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "bspline/bspline.h"
#include "bspline/core/evaluation_internal.h"
#include "bspline/core/test_support.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

std::vector<double> eval(const TestCurve &c, double u, int nder, int *rc_out = nullptr) {
  std::vector<double> out(3 * (nder + 1), -999);
  int rc = 0;
  BScveval_n(&c.cv, u, nder, out.data(), &rc);
  if (rc_out)
    *rc_out = rc;
  else
    EXPECT_EQ(rc, 0);
  return out;
}

// Whether a and b hold the same bits, a NaN matching any NaN: the sign and payload a NaN carries out of arithmetic
// depend on the order the compiler gives the operands, which an optimised build is free to change.
bool same_bits(const double *a, const double *b, int count) {
  for (int i = 0; i < count; ++i)
    if (!(std::isnan(a[i]) && std::isnan(b[i])) && std::memcmp(a + i, b + i, sizeof(double)) != 0) return false;
  return true;
}

double scale_of(const std::vector<double> &v) {
  double m = 1;
  for (double x : v) m = std::max(m, std::fabs(x));
  return m;
}

TEST(CurveEvaluation, PointsMatchTheDefinition) {
  std::mt19937 rng(1);
  for (int order = 1; order <= 20; ++order)
    for (int rational = 0; rational <= 1; ++rational) {
      auto c = random_curve(rng, order, order + 5, rational, order % 3 != 0, order > 2 ? order - 1 : 1);
      std::uniform_real_distribution<double> ud(c->start(), c->end());
      for (int i = 0; i < 15; ++i) {
        const double u = i == 0 ? c->start() : i == 1 ? c->end() : ud(rng);
        const auto p = eval(*c, u, 0);
        double ref[3];
        ref_point(*c, u, ref);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(p[k], ref[k], 1e-10) << order << " " << rational << " " << u;
      }
    }
}

TEST(CurveEvaluation, DerivativeBodiesAgreeWithTheGeneralScheme) {
  // nder 1 and 2 come from basis derivatives, nder >= 3 from divided differences of the poles: two methods.
  std::mt19937 rng(2);
  for (int order = 1; order <= 16; ++order)
    for (int rational = 0; rational <= 1; ++rational) {
      auto c = random_curve(rng, order, order + 4, rational, true);
      std::uniform_real_distribution<double> ud(c->start(), c->end());
      for (int i = 0; i < 10; ++i) {
        const double u = ud(rng);
        const auto d1 = eval(*c, u, 1);
        const auto d4 = eval(*c, u, 4);
        const double sc = scale_of(d4);
        for (int k = 0; k < 6; ++k) EXPECT_NEAR(d1[k], d4[k], 1e-11 * sc) << order;
        double d2[9];
        int rc = 0, span = -1;
        const int n = c->n();
        BSfndspan(&rc, &c->cv, &n, c->knots.data(), &u, &span);
        BScveval2(&rc, order, c->poles.data(), rational ? c->weights.data() : nullptr, c->knots.data(), span, u, d2);
        ASSERT_EQ(rc, 0);
        for (int k = 0; k < 9; ++k) EXPECT_NEAR(d2[k], d4[k], 1e-11 * sc) << order << " " << k;
      }
    }
}

TEST(CurveEvaluation, FirstDerivativeIsTheSlopeOfThePoints) {
  std::mt19937 rng(3);
  for (int rational = 0; rational <= 1; ++rational) {
    auto c = random_curve(rng, 5, 12, rational, true);
    const double h = 1e-6;
    for (double f : {0.13, 0.5, 0.77}) {
      const double u = c->start() + f * (c->end() - c->start());
      const auto d = eval(*c, u, 1);
      const auto pp = eval(*c, u + h, 0), pm = eval(*c, u - h, 0);
      for (int k = 0; k < 3; ++k) EXPECT_NEAR(d[3 + k], (pp[k] - pm[k]) / (2 * h), 1e-5 * scale_of(d));
    }
  }
}

TEST(CurveEvaluation, UnitWeightsGiveThePolynomialCurve) {
  std::mt19937 rng(4);
  auto c = random_curve(rng, 4, 9, false, true);
  std::vector<double> cart(c->poles);
  TestCurve r(4, cart, c->knots, std::vector<double>(9, 1.0));
  for (double u : {c->start(), 0.3 * c->start() + 0.7 * c->end(), c->end()})
    for (int nder : {0, 1, 2, 5}) {
      const auto a = eval(*c, u, nder), b = eval(r, u, nder);
      for (size_t k = 0; k < a.size(); ++k) EXPECT_NEAR(a[k], b[k], 1e-11 * scale_of(a));
    }
}

TEST(CurveEvaluation, RowsAboveTheDegreeAreZero) {
  std::mt19937 rng(5);
  auto c = random_curve(rng, 3, 6, false, true);
  const auto d = eval(*c, 0.5 * (c->start() + c->end()), 6);
  for (int k = 9; k < 21; ++k) EXPECT_EQ(d[k], 0.0);
  EXPECT_NE(d[6] * d[6] + d[7] * d[7] + d[8] * d[8], 0.0);
}

TEST(CurveEvaluation, OrderOneCurveGivesThePoleOfTheSpan) {
  TestCurve c(1, {1, 2, 3, 4, 5, 6, 7, 8, 9}, {0, 1, 2, 3});
  const auto a = eval(c, 1.5, 3);
  EXPECT_EQ(a[0], 4);
  EXPECT_EQ(a[1], 5);
  EXPECT_EQ(a[2], 6);
  for (int k = 3; k < 12; ++k) EXPECT_EQ(a[k], 0.0);
  const auto b = eval(c, 0.5, 1);
  EXPECT_EQ(b[0], 1);
  EXPECT_EQ(b[3], 0);
}

TEST(CurveEvaluation, RationalQuarterCircle) {
  const double s = std::sqrt(0.5);
  TestCurve c(3, {1, 0, 0, 1, 1, 0, 0, 1, 0}, {0, 0, 0, 1, 1, 1}, {1, s, 1});
  for (int i = 0; i <= 20; ++i) {
    const double u = i / 20.0;
    const auto d = eval(c, u, 3);
    EXPECT_NEAR(std::hypot(d[0], d[1]), 1.0, 1e-14);
    EXPECT_NEAR(d[0] * d[3] + d[1] * d[4], 0.0, 1e-13);  // tangent perpendicular to the radius
    // Curvature of a unit circle is 1 at every parameter.
    const double cross = d[3] * d[7] - d[4] * d[6];
    const double speed = std::hypot(d[3], d[4]);
    EXPECT_NEAR(cross / (speed * speed * speed), 1.0, 1e-12);
  }
  const auto mid = eval(c, 0.5, 0);
  EXPECT_NEAR(mid[0], s, 1e-15);
  EXPECT_NEAR(mid[1], s, 1e-15);
}

TEST(CurveEvaluation, AtAKnotTheLeftSideIsTaken) {
  // A corner: knot 1 of multiplicity 2 on a quadratic.
  TestCurve c(3, {0, 0, 0, 1, 0, 0, 1, 0, 0, 1, 1, 0, 1, 2, 0}, {0, 0, 0, 1, 1, 2, 2, 2});
  const auto at = eval(c, 1.0, 1);
  EXPECT_NEAR(at[0], 1, 1e-15);
  EXPECT_NEAR(at[3], 0, 1e-15);  // the left piece arrives with zero speed: its last two poles coincide
  EXPECT_NEAR(at[4], 0, 1e-15);
  const auto before = eval(c, 1.0 - 1e-9, 1);
  for (int k = 3; k < 6; ++k) EXPECT_NEAR(at[k], before[k], 1e-6);
  const auto after = eval(c, 1.0 + 1e-9, 1);
  EXPECT_GT(std::fabs(after[4] - at[4]), 0.5);
}

TEST(CurveEvaluation, RefusesBadRequests) {
  TestCurve c(3, {0, 0, 0, 1, 0, 0, 2, 1, 0}, {0, 0, 0, 1, 1, 1});
  int rc = 0;
  c.cv.order = 0;
  auto p = eval(c, 0.5, 0, &rc);
  EXPECT_EQ(rc, -2);
  EXPECT_EQ(p[0], 0.0);
  EXPECT_EQ(p[2], 0.0);
  c.cv.order = 3;
  eval(c, 0.5, -1, &rc);
  EXPECT_EQ(rc, -2);
  c.cv.num_poles = 2;  // fewer poles than the order
  eval(c, 0.5, 0, &rc);
  EXPECT_EQ(rc, -2);
  c.cv.num_poles = 3;
  c.cv.rational = 1;  // rational without weights
  eval(c, 0.5, 0, &rc);
  EXPECT_EQ(rc, 3);
  double out[3];
  BScveval_n(nullptr, 0.5, 0, out, &rc);
  EXPECT_EQ(rc, 3);
}

TEST(CurveEvaluation, ZeroWeightSumAnswersMinusOneInEveryEvaluator) {
  // Weights 1 and -1 on a line: the weight sum vanishes at the middle.
  TestCurve c(2, {0, 0, 0, 1, 0, 0}, {0, 0, 1, 1}, {1, -1});
  for (int nder : {0, 1, 2, 3}) {
    int rc = 0;
    eval(c, 0.5, nder, &rc);
    EXPECT_EQ(rc, -1) << nder;
  }
  double out[9];
  int rc = 0;
  BScveval2(&rc, 2, c.poles.data(), c.weights.data(), c.knots.data(), 1, 0.5, out);
  EXPECT_EQ(rc, -1);
  BSboolean two = 0;
  const double u = 0.5;
  const int nd = 1;
  BScveval_b(&rc, &c.cv, &u, &nd, nullptr, &two, out, out + 6);
  EXPECT_EQ(rc, -1);
  // The same line as raw weighted components x, y, z, w.
  double rw[8] = {0, -1, 0, 0, 0, 0, 1, -1};
  BSevalbsp(1, 2, 3, 1, rw, c.knots.data(), 0.5, 1, out, &rc);
  EXPECT_EQ(rc, -1);
}

TEST(CurveEvaluation, FixedArraysRefuseLargeOrders) {
  std::mt19937 rng(6);
  auto c = random_curve(rng, 17, 20, true, true);
  double out[16 * 3];
  int rc = 0;
  BScveval2(&rc, 17, c->poles.data(), c->weights.data(), c->knots.data(), 17, c->knots[17], out);
  EXPECT_EQ(rc, -2);
  // The curve entry has no such limit for polynomial derivatives, but a rational curve's conversion table
  // ends at derivative order 15.
  std::vector<double> big(3 * 17);
  BScveval_n(&c->cv, c->knots[17], 16, big.data(), &rc);
  EXPECT_EQ(rc, -2);
  BScveval_n(&c->cv, c->knots[17], 15, big.data(), &rc);
  EXPECT_EQ(rc, 0);
  std::vector<double> rows(4 * 17);
  const std::int16_t order = 17;
  const BSboolean rat = 1;
  const int span = 17, nder = 1;
  const double u = c->knots[17];
  EXPECT_EQ(BSbspl(&rc, c->poles.data(), c->weights.data(), c->knots.data(), &order, &rat, &span, &nder, &u,
                   rows.data()),
            BSFALSE);
  EXPECT_EQ(rc, -2);
  const std::int16_t o4 = 4;
  const int nder16 = 16;
  EXPECT_EQ(BSbspl(&rc, c->poles.data(), c->weights.data(), c->knots.data(), &o4, &rat, &span, &nder16, &u,
                   rows.data()),
            BSFALSE);
  EXPECT_EQ(rc, -2);
  const std::int16_t o1 = 1;
  EXPECT_EQ(BSbspl(&rc, c->poles.data(), c->weights.data(), c->knots.data(), &o1, &rat, &span, &nder, &u,
                   rows.data()),
            BSFALSE);
  EXPECT_EQ(rc, 2);
}

TEST(BothSides, MultiplicityEqualToTheDegreeIsTwoSided) {
  // Cubic with knot 1 of multiplicity 3: C0 only.
  std::mt19937 rng(8);
  std::vector<double> poles(3 * 7);
  std::uniform_real_distribution<double> cd(-5, 5);
  for (double &p : poles) p = cd(rng);
  TestCurve c(4, poles, {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 2});
  const double u = 1;
  const int nd = 1;
  BSboolean two = 0;
  double left[6], right[6];
  int rc = 0;
  ASSERT_EQ(BScveval_b(&rc, &c.cv, &u, &nd, nullptr, &two, left, right), BSTRUE);
  EXPECT_EQ(two, BSTRUE);
  const auto l = eval(c, 1 - 1e-9, 1), r = eval(c, 1 + 1e-9, 1);
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(left[k], right[k], 1e-12);  // continuous point
    EXPECT_NEAR(left[3 + k], l[3 + k], 1e-6);
    EXPECT_NEAR(right[3 + k], r[3 + k], 1e-6);
  }
  EXPECT_GT(std::fabs(left[3] - right[3]) + std::fabs(left[4] - right[4]), 1e-3);
}

TEST(BothSides, SimpleKnotOfACubicIsOneSidedUpToTheSecondDerivative) {
  std::mt19937 rng(9);
  auto c = random_curve(rng, 4, 8, false, true);
  const double u = c->knots[5];
  BSboolean two = 1;
  double left[12], right[12];
  int rc = 0;
  int nd = 2;
  ASSERT_EQ(BScveval_b(&rc, &c->cv, &u, &nd, nullptr, &two, left, right), BSTRUE);
  EXPECT_EQ(two, BSFALSE);
  const auto d = eval(*c, u, 2);
  for (int k = 0; k < 9; ++k) EXPECT_NEAR(left[k], d[k], 1e-11 * scale_of(d));
  nd = 3;  // the third derivative jumps
  ASSERT_EQ(BScveval_b(&rc, &c->cv, &u, &nd, nullptr, &two, left, right), BSTRUE);
  EXPECT_EQ(two, BSTRUE);
  nd = 16;
  EXPECT_EQ(BScveval_b(&rc, &c->cv, &u, &nd, nullptr, &two, left, right), BSFALSE);
  EXPECT_EQ(rc, -2);
  // Poles near the largest double over spans of length 10, where the homogeneous triangle's sums overflow: a side is
  // refused (it answered infinities and NaN with rc 0), and refused wherever the curve's own evaluation refuses.
  auto big = random_curve(rng, 4, 8, false, true);
  for (int i = 0; i < 3 * big->cv.num_poles; ++i) big->cv.poles[i] = (i % 2 ? 1.0 : -1.0) * 1e308;
  for (int i = 0; i < big->cv.num_knots; ++i) big->cv.knots[i] *= 10;
  const double at = big->cv.knots[5];
  for (nd = 0; nd <= 3; ++nd) {
    double whole[12];
    int rc_n = 0;
    BScveval_n(&big->cv, at, nd, whole, &rc_n);
    const BSboolean ok = BScveval_b(&rc, &big->cv, &at, &nd, nullptr, &two, left, right);
    EXPECT_EQ(ok == BSTRUE, rc == 0) << nd;
    for (int k = 0; ok && k < 3 * (nd + 1); ++k) EXPECT_TRUE(std::isfinite(left[k])) << nd << " " << k;
    if (rc_n != 0) EXPECT_NE(rc, 0) << nd;
  }
}

TEST(BothSides, RationalSidesMatchTheCurveEntry) {
  std::mt19937 rng(10);
  auto c = random_curve(rng, 3, 7, true, true, 2);
  for (int i = 2; i <= 7; ++i) {
    const double u = c->knots[i];
    BSboolean two = 0;
    double left[9], right[9];
    int rc = 0;
    const int nd = 2;
    ASSERT_EQ(BScveval_b(&rc, &c->cv, &u, &nd, nullptr, &two, left, right), BSTRUE);
    const auto d = eval(*c, u, 2);
    for (int k = 0; k < 9; ++k) EXPECT_NEAR(left[k], d[k], 1e-10 * scale_of(d)) << i;
  }
}

TEST(SpanDerivatives, ForwardDifferenceSchemeMatchesTheEvaluator) {
  // The scheme of one span on its own, fed with its reciprocal knot differences and parameter offsets.
  std::mt19937 rng(12);
  for (int order = 1; order <= 7; ++order) {
    auto c = random_curve(rng, order, order + 4, false, true);
    const int p = order - 1, k = order;
    std::uniform_real_distribution<double> ud(c->start(), c->end());
    for (int t = 0; t < 6; ++t) {
      const double u = ud(rng);
      int rc = 0, s = p;
      const int n = c->n();
      BSfndspan(&rc, &c->cv, &n, c->knots.data(), &u, &s);
      const double *T = c->knots.data();
      std::vector<double> recip(std::max(1, p * k)), offsets(k), local(3 * k), out(3 * 5);
      for (int j = 1; j <= p; ++j)
        for (int i = j; i <= p; ++i) recip[(j - 1) * k + i] = 1 / (T[s + 1 + i - j] - T[s - p + i]);
      for (int j = 1; j <= p; ++j) offsets[j] = u - T[s - p + j];
      for (int c3 = 0; c3 < 3; ++c3)
        for (int i = 0; i < k; ++i) local[c3 * k + i] = c->poles[3 * (s - p + i) + c3];
      BSspnderiv(p, 3, 4, local.data(), recip.data(), offsets.data(), out.data());
      const auto ref = eval(*c, u, 4);
      for (int i = 0; i < 15; ++i) EXPECT_NEAR(out[i], ref[i], 1e-11 * scale_of(ref)) << order << " " << i;
    }
  }
}

TEST(Binomials, RowsZeroToFifteen) {
  double row[16];
  int rc = 0;
  int m = 15;
  ASSERT_EQ(BSbinomcoef(&rc, &m, row), BSTRUE);
  EXPECT_EQ(row[0], 1);
  EXPECT_EQ(row[7], 6435);
  EXPECT_EQ(row[15], 1);
  m = 4;
  BSbinomcoef(&rc, &m, row);
  EXPECT_EQ(row[2], 6);
  m = 16;
  EXPECT_EQ(BSbinomcoef(&rc, &m, row), BSFALSE);
  EXPECT_EQ(rc, 2);
  m = -1;
  EXPECT_EQ(BSbinomcoef(&rc, &m, row), BSFALSE);
}

TEST(RawEvaluation, ComponentMajorPolesInAnyDimension) {
  std::mt19937 rng(11);
  for (int order = 1; order <= 7; ++order) {
    auto c = random_curve(rng, order, order + 4, false, true);
    const int n = c->n(), p = order - 1;
    std::vector<double> raw(3 * n);
    for (int i = 0; i < n; ++i)
      for (int k = 0; k < 3; ++k) raw[k * n + i] = c->poles[3 * i + k];
    std::uniform_real_distribution<double> ud(c->start(), c->end());
    for (int t = 0; t < 8; ++t) {
      const double u = t == 0 ? c->start() : t == 1 ? c->end() : ud(rng);
      const auto ref = eval(*c, u, 3);
      for (int nder : {0, 3}) {
        std::vector<double> out(3 * (nder + 1));
        int rc = 0;
        BScvevaln(p, n, 3, raw.data(), c->knots.data(), u, -1, nder, out.data(), &rc);
        ASSERT_EQ(rc, 0);
        for (size_t k = 0; k < out.size(); ++k) EXPECT_NEAR(out[k], ref[k], 1e-10 * scale_of(ref)) << order;
      }
      // Two of the three components alone.
      std::vector<double> out2(2 * 2);
      int rc = 0;
      BScvevaln(p, n, 2, raw.data(), c->knots.data(), u, -1, 1, out2.data(), &rc);
      EXPECT_NEAR(out2[2], ref[3], 1e-10 * scale_of(ref));
      EXPECT_NEAR(out2[3], ref[4], 1e-10 * scale_of(ref));
    }
  }
}

TEST(RawEvaluation, PointAtKnotsOfHighMultiplicity) {
  // Clamped start: the multiplicity exceeds the degree, and the value is the first pole.
  const std::vector<double> knots = {0, 0, 0, 1, 1, 2, 2, 2};  // quadratic, 5 poles, knot 1 doubled
  const std::vector<double> raw = {1, 2, 3, 4, 5};
  double out[1];
  int rc = 0;
  BScvevaln0(2, 5, 1, raw.data(), knots.data(), 0.0, -1, out, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(out[0], 1);
  BScvevaln0(2, 5, 1, raw.data(), knots.data(), 1.0, -1, out, &rc);
  EXPECT_EQ(out[0], 3);  // a knot of multiplicity p interpolates its pole
  BScvevaln0(2, 5, 1, raw.data(), knots.data(), 2.0, -1, out, &rc);
  EXPECT_EQ(out[0], 5);
  BScvevaln0(2, 5, 1, raw.data(), knots.data(), 0.5, -1, out, &rc);
  EXPECT_DOUBLE_EQ(out[0], 0.25 * 1 + 0.5 * 2 + 0.25 * 3);
}

TEST(RawEvaluation, EvalbspChecksTheRangeAndDividesByTheWeight) {
  const double s = std::sqrt(0.5);
  // Quarter circle as raw weighted components x, y, z, w.
  const std::vector<double> raw = {1, s, 0, 0, s, 1, 0, 0, 0, 1, s, 1};
  const std::vector<double> knots = {0, 0, 0, 1, 1, 1};
  double out[6];
  int rc = 0;
  BSevalbsp(2, 3, 3, 1, raw.data(), knots.data(), 1.0, 1, out, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NEAR(out[0], 0, 1e-15);
  EXPECT_NEAR(out[1], 1, 1e-15);
  BSevalbsp(2, 3, 3, 1, raw.data(), knots.data(), 0.3, 0, out, &rc);
  EXPECT_NEAR(std::hypot(out[0], out[1]), 1, 1e-14);
  BSevalbsp(2, 3, 3, 1, raw.data(), knots.data(), 1.0 + 1e-12, 0, out, &rc);
  EXPECT_EQ(rc, -2);
  BSevalbsp(2, 3, 3, 1, raw.data(), knots.data(), -1e-12, 0, out, &rc);
  EXPECT_EQ(rc, -2);
}

TEST(RationalDerivatives, HomogeneousToCartesianOnAKnownQuotient) {
  // x(u) = u^2 / (1 + u): homogeneous A = u^2, w = 1 + u at u = 1.
  const double in[4 * 2] = {1, 2, 2, 1, 2, 0, 0, 0};  // rows (A, w): (1, 2), (2, 1), (2, 0), (0, 0)
  double out[4];
  int rc = 0;
  BSsetder_cv(1, 1, 3, in, out, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_DOUBLE_EQ(out[0], 0.5);
  EXPECT_DOUBLE_EQ(out[1], 0.75);      // (u^2 + 2u) / (1+u)^2
  EXPECT_DOUBLE_EQ(out[2], 0.25);      // 2 / (1+u)^3
  EXPECT_DOUBLE_EQ(out[3], -0.375);    // -6 / (1+u)^4
  const double zero_w[2] = {1, 0};
  BSsetder_cv(1, 1, 0, zero_w, out, &rc);
  EXPECT_EQ(rc, -1);
  std::vector<double> wide(17 * 2, 1), wout(17);
  BSsetder_cv(1, 1, 16, wide.data(), wout.data(), &rc);
  EXPECT_EQ(rc, -2);
  // x(u) = u^2 / (1 + 7u) at u = 1, every value a binary fraction, its rows scaled by 2^e: the same quotient. Near
  // the least subnormal 7/8 of the least one rounded the first derivative to 1/8; near the largest double 3 w'
  // overflowed the third. BSrspl takes the rows with the weight in the fourth lane, and leaves that lane as given.
  const double steep[4 * 2] = {1, 8, 2, 7, 2, 0, 0, 0}, quotient[4] = {0.125, 9.0 / 64, 1.0 / 256, -21.0 / 2048};
  for (int e : {0, -1074, -1060, -1000, 1000, 1020}) {
    double rows[8], lanes[16] = {};
    for (int i = 0; i < 8; ++i) rows[i] = std::ldexp(steep[i], e);
    for (int d = 0; d < 4; ++d) lanes[4 * d] = rows[2 * d], lanes[4 * d + 3] = rows[2 * d + 1];
    BSsetder_cv(1, 1, 3, rows, out, &rc);
    ASSERT_EQ(rc, 0) << e;
    const int three = 3;
    EXPECT_EQ(BSrspl(&rc, &three, nullptr, lanes), BSTRUE) << e;
    for (int d = 0; d < 4; ++d) {
      EXPECT_EQ(out[d], quotient[d]) << "weights by 2^" << e << ", derivative " << d;
      EXPECT_EQ(lanes[4 * d], quotient[d]) << "weights by 2^" << e << ", derivative " << d;
      EXPECT_EQ(lanes[4 * d + 3], rows[2 * d + 1]) << "weights by 2^" << e << ", derivative " << d;
    }
  }
}

// A record whose weights and weighted poles are all scaled by one power of two is the same curve: every evaluator
// answers for it as for the record scaled back (exactly) to weights about 1. Weights near the least subnormal hold
// the poles in a few bits, which the sums rounded away (points off by up to half the curve's size, refusals of a
// zero weight sum); weights near the largest double overflowed the derivative sums (refusals, infinities). The
// reference is the stored record scaled back, so that the digits a scale loses on the way in are lost on both sides.
TEST(CurveEvaluation, WeightsFarFromOneAnswerAsTheSameRecordNearOne) {
  const double s = std::sqrt(0.5);
  struct Shape {
    std::string what;
    int order;
    std::vector<double> poles, knots, weights;  // Cartesian poles
  };
  std::mt19937 rng(29);
  // A random record over the knots: weights from 10^-3 to 10^3, poles within 10 of `at` (z 0 where planar).
  auto random_shape = [&](const char *what, int order, std::vector<double> knots, bool planar, double at = 0) {
    const int n = static_cast<int>(knots.size()) - order;
    std::uniform_real_distribution<double> coord(-10, 10), e(-3, 3);
    Shape sh{what, order, {}, knots, {}};
    for (int i = 0; i < n; ++i) {
      for (int k = 0; k < 3; ++k) sh.poles.push_back(planar && k == 2 ? 0 : at + coord(rng));
      sh.weights.push_back(std::pow(10.0, e(rng)));
    }
    return sh;
  };
  std::vector<Shape> shapes = {
      {"the unit circle in four arcs", 3,
       {1, 0, 0, 1, 1, 0, 0, 1, 0, -1, 1, 0, -1, 0, 0, -1, -1, 0, 0, -1, 0, 1, -1, 0, 1, 0, 0},
       {0, 0, 0, 0.25, 0.25, 0.5, 0.5, 0.75, 0.75, 1, 1, 1},
       {1, s, 1, s, 1, s, 1, s, 1}},
      random_shape("a conic in space", 3, {0, 0, 0, 1, 2, 2, 3, 3, 3}, false),
      random_shape("a planar cubic, its last weight 1/200 of the largest", 4, {0, 0, 0, 0, 0.5, 1.5, 2, 2, 2, 2}, true),
      random_shape("a cubic with a double and a triple knot", 4, {0, 0, 0, 0, 1, 1, 2, 2, 2, 3, 3, 3, 3}, false),
      random_shape("a quartic in space, its first weight 1/1000 of the largest", 5,
                   {-1, -1, -1, -1, -1, 0.25, 0.5, 1, 1, 1, 1, 1}, false),
      random_shape("a cubic 1e6 from the origin, its last weight 1/125 of the largest", 4,
                   {0, 0, 0, 0, 1, 2, 3, 3, 3, 3}, false, 1e6),
      random_shape("a hairpin: an unclamped quadratic that doubles back", 3, {0, 1, 2, 3, 4, 5, 6}, true),
      random_shape("order 9, the general road", 9, {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, false),
  };
  auto largest = [](const Shape &sh) { return *std::max_element(sh.weights.begin(), sh.weights.end()); };
  shapes[2].weights.back() = largest(shapes[2]) / 200;
  shapes[4].weights.front() = largest(shapes[4]) / 1000;
  shapes[5].weights.back() = largest(shapes[5]) / 125;
  // Out along x and back, a thousandth apart.
  for (int i = 0; i < 4; ++i) shapes[6].poles[3 * i] = i < 2 ? i : 3 - i, shapes[6].poles[3 * i + 1] = 1e-3 * i;
  for (const Shape &base : shapes)
    for (int e : {-1074, -1073, -1066, -1060, -1040, -1000, -600, 600, 1000, 1020}) {
      const TestCurve unit(base.order, base.poles, base.knots, base.weights);
      // A record of the given weighted poles and weights, every one scaled by 2^by.
      auto record = [&](const std::vector<double> &poles, const std::vector<double> &weights, int by) {
        auto c = std::make_unique<TestCurve>(base.order, std::vector<double>(poles.size(), 0), base.knots, weights);
        c->poles = poles;
        c->cv.poles = c->poles.data();
        for (double &x : c->poles) x = std::ldexp(x, by);
        for (double &x : c->weights) x = std::ldexp(x, by);
        return c;
      };
      const auto far = record(unit.poles, unit.weights, e);
      auto finite = [](const std::vector<double> &v) {
        return std::all_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); });
      };
      if (!finite(far->poles) || !finite(far->weights)) continue;
      const auto back = record(far->poles, far->weights, -e);
      const std::string at = base.what + ", weights by 2^" + std::to_string(e);
      // Within a few roundings of the row's largest value (either side may round a value the size of the least
      // subnormal where one is).
      auto same = [&](const double *a, const double *b, int rows, const std::string &where) {
        for (int r = 0; r < rows; ++r) {
          double size = 0;
          for (int c = 0; c < 3; ++c) size = std::fmax(size, std::fabs(b[3 * r + c]));
          for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(a[3 * r + c], b[3 * r + c], 4e-16 * size + 1e-300) << where << ", row " << r;
        }
      };
      const int n = unit.n(), p = base.order - 1;
      std::vector<double> us = {unit.start(), unit.end()};
      for (int i = base.order; i < n; ++i) us.push_back(base.knots[i]);
      std::uniform_real_distribution<double> ud(unit.start(), unit.end());
      for (int i = 0; i < 6; ++i) us.push_back(ud(rng));
      // Component-major blocks for the raw evaluator: x, y, z, then the weights.
      auto block_of = [n](const TestCurve &c) {
        std::vector<double> b(4 * static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
          for (int k = 0; k < 3; ++k) b[k * n + i] = c.poles[3 * i + k];
          b[3 * n + i] = c.weights[i];
        }
        return b;
      };
      const std::vector<double> far_block = block_of(*far), back_block = block_of(*back);
      for (double u : us) {
        const std::string where = at + ", u " + std::to_string(u);
        for (int nder = 0; nder <= 3; ++nder)
          for (bool slow : {false, true}) {
            double a[12], b[12];
            int rc_a = 0, rc_b = 0;
            const bstest::SlowRoads roads(slow);
            BScveval_n(&far->cv, u, nder, a, &rc_a);
            BScveval_n(&back->cv, u, nder, b, &rc_b);
            const std::string road = where + ", curve entry" + (slow ? ", general road" : "");
            ASSERT_EQ(rc_a, rc_b) << road << ", nder " << nder;
            if (rc_b == 0) same(a, b, nder + 1, road);
          }
        for (int nder : {0, 2, 3}) {
          double a[12], b[12];
          int rc_a = 0, rc_b = 0;
          BSevalbsp(p, n, 3, 1, far_block.data(), base.knots.data(), u, nder, a, &rc_a);
          BSevalbsp(p, n, 3, 1, back_block.data(), base.knots.data(), u, nder, b, &rc_b);
          ASSERT_EQ(rc_a, rc_b) << where << ", raw, nder " << nder;
          if (rc_b == 0) same(a, b, nder + 1, where + ", raw");
        }
        const int nd = 3;
        BSboolean two_a = 0, two_b = 0;
        double la[12], ra[12], lb[12], rb[12];
        int rc_a = 0, rc_b = 0;
        BScveval_b(&rc_a, &far->cv, &u, &nd, nullptr, &two_a, la, ra);
        BScveval_b(&rc_b, &back->cv, &u, &nd, nullptr, &two_b, lb, rb);
        ASSERT_EQ(rc_a, rc_b) << where << ", both sides";
        ASSERT_EQ(two_a, two_b) << where << ", both sides";
        if (rc_b != 0) continue;
        same(la, lb, 4, where + ", left side");
        if (two_b) same(ra, rb, 4, where + ", right side");
      }
    }
}

TEST(ClosureTest, SetsPhysicallyClosed) {
  const double s = std::sqrt(0.5);
  TestCurve circle(3, {1, 0, 0, 1, 1, 0, -1, 1, 0, -1, 0, 0, -1, -1, 0, 1, -1, 0, 1, 0, 0},
                   {0, 0, 0, 1, 1, 2, 2, 3, 3, 3}, {1, s, 1, s, 1, s, 1});
  // Clamped, with equal first and last poles: a closed figure.
  int rc = 0;
  circle.cv.phy_closed = 0;
  BScvtstclsd(&circle.cv, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(circle.cv.phy_closed, 1);
  TestCurve open(2, {0, 0, 0, 1, 0, 0}, {0, 0, 1, 1});
  open.cv.phy_closed = 1;
  BScvtstclsd(&open.cv, &rc);
  EXPECT_EQ(open.cv.phy_closed, 0);
}

// Points and first and second derivatives of the common orders take a shortcut, in the curve entry and in the raw
// evaluator of component-major poles, that must give the very bits and return code of the general road, which
// every call takes while a fault handler is installed. One table of curves, each evaluated at its knots, next to
// them, between them, at and just beyond its ends, far outside and at non-finite parameters; the raw evaluator
// also with a span hint that holds the parameter and one that does not.
TEST(CurveEvaluation, ShortcutGivesTheBitsOfTheGeneralRoad) {
  struct Case {
    const char *what;
    std::function<std::unique_ptr<TestCurve>(std::mt19937 &, int order, bool rational)> make;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  auto knots_of = [](int order, std::vector<double> t) {
    // Clamped cubic-like record over the given knots, poles on a zigzag, weights in [0.5, 2] when rational.
    return [order, t](std::mt19937 &rng, int, bool rational) {
      const int n = static_cast<int>(t.size()) - order;
      std::vector<double> poles(3 * n), w;
      std::uniform_real_distribution<double> coord(-5, 5), wd(0.5, 2.0);
      for (double &x : poles) x = coord(rng);
      if (rational)
        for (int i = 0; i < n; ++i) w.push_back(wd(rng));
      return std::make_unique<TestCurve>(order, poles, t, w);
    };
  };
  // A random record of a few spans, its cartesian poles scaled by `poles` and moved by
  // `shift`, its knots scaled by `knots`; with `spread` the weights run from 1e-3 to 1e3 and the last is 0.005.
  auto scaled = [](double poles, double shift, double knots, bool spread = false) {
    return [=](std::mt19937 &rng, int order, bool rational) {
      auto c = random_curve(rng, order, order + 5, rational, true, 2);
      std::vector<double> t = c->knots, p(c->poles), w = c->weights;
      for (double &x : t) x *= knots;
      for (int i = 0; i < c->n(); ++i)
        for (int k = 0; k < 3; ++k) p[3 * i + k] = (c->pole(i, k) * poles + shift);
      if (rational && spread) {
        std::uniform_real_distribution<double> e(-3, 3);
        for (double &x : w) x = std::pow(10.0, e(rng));
        w.back() = 0.005;
      }
      return std::make_unique<TestCurve>(order, p, t, w);
    };
  };
  // A random record whose weights and weighted poles are all scaled by 2^e (a polynomial one as it is).
  auto weights_by = [](int e) {
    return [=](std::mt19937 &rng, int order, bool rational) {
      auto c = random_curve(rng, order, order + 5, rational, true, 2);
      for (double &x : c->poles) x = std::ldexp(x, rational ? e : 0);
      for (double &w : c->weights) w = std::ldexp(w, e);
      return c;
    };
  };
  // A random record with one coordinate of its third pole set to v.
  auto with_pole = [](double v) {
    return [=](std::mt19937 &rng, int order, bool rational) {
      auto c = random_curve(rng, order, order + 5, rational, true);
      c->poles[3 * 2 + 1] = v;
      return c;
    };
  };
  const Case cases[] = {
      {"clamped, knots of high multiplicity",
       [](std::mt19937 &rng, int order, bool rational) {
         return random_curve(rng, order, order + 9, rational, true, std::max(1, order - 1));
       }},
      // The curve jumps at an inner knot of full multiplicity: both searches must stand on the span that ends there.
      {"knots of full multiplicity",
       [](std::mt19937 &rng, int order, bool rational) {
         return random_curve(rng, order, order + 9, rational, true, order);
       }},
      {"unclamped", [](std::mt19937 &rng, int order, bool rational) {
         return random_curve(rng, order, order + 6, rational, false);
       }},
      // Long enough that the span search narrows by halving before it counts.
      {"many spans", [](std::mt19937 &rng, int order, bool rational) {
         return random_curve(rng, order, order + 70, rational, true, 2);
       }},
      {"clustered knots",
       knots_of(4, {-3, -3, -3, -3, 1e-9, 2e-9, 2e-9 + 1e-12, 3e-9, 1.5, 1.5 + 1e-8, 1.5 + 2e-8, 4, 4, 4, 4})},
      {"knots far from zero", knots_of(5, {1e8, 1e8, 1e8, 1e8, 1e8, 1e8 + 0.5, 1e8 + 0.5, 1e8 + 1, 1e8 + 1,
                                           1e8 + 1, 1e8 + 1, 1e8 + 1})},
      {"one span", [](std::mt19937 &rng, int order, bool rational) {
         return random_curve(rng, order, order, rational, true);
       }},
      // Fewer than 8 knots, 8 to 15, and 16 on: each count of knots has a window of its own.
      {"a few spans", [](std::mt19937 &rng, int order, bool rational) {
         return random_curve(rng, order, order + 1 + static_cast<int>(rng() % 4), rational, rng() % 2 == 0);
       }},
      // Within 1e-20 of an end BSfndspan snaps to the first or last span with length; here every parameter is.
      {"knots below 1e-20", knots_of(3, {0, 0, 0, 1e-22, 2e-22, 2e-22, 5e-22, 5e-22, 5e-22})},
      // Zeros of either sign in every coordinate: the derivative places of the shortcut differ from the general
      // road's in the sign of a zero only, which the sums must not show.
      {"signed zero poles", [](std::mt19937 &rng, int order, bool rational) {
         auto c = random_curve(rng, order, order + 5, rational, true, 2);
         for (int i = 0; i < c->n(); ++i)
           for (int k = 0; k < 3; ++k)
             if ((i + k) % 3 != 0) c->poles[3 * i + k] = (i + k) % 2 ? -0.0 : 0.0;
         return c;
       }},
      // Poles and weights over many magnitudes: far from the origin and tiny, weights from 1e-3 to 1e3 with an end
      // weight below 0.01, and poles so large that the derivatives (and at the largest the points) overflow, which
      // both roads refuse.
      {"far from the origin", scaled(1e7, 1e6, 1)},
      {"tiny", scaled(1e-7, 0, 1e-6)},
      {"weights 1e-3 to 1e3", scaled(1, 0, 1, true)},
      {"poles near the largest double", scaled(3e307, 0, 1)},
      {"poles at the largest double", scaled(std::numeric_limits<double>::max() / 16, 0, 1)},
      // Weights far from 1, which both roads bring about 1 by the same power of two where the weight sum at the
      // parameter lies beyond 2^-500 or 2^500; about 2^-500 some parameters do and some do not.
      {"weights near the least subnormal", weights_by(-1070)},
      {"weights about 2^-1000", weights_by(-1000)},
      {"weights about 2^-500", weights_by(-500)},
      {"weights near the largest double", weights_by(1015)},
      // A pole that is not finite makes every row it enters not finite: refused by both roads.
      {"NaN pole", with_pole(nan)},
      {"infinite pole", with_pole(-inf)},
      {"interval of 1e-20 (refused)", knots_of(4, {0, 0, 0, 0, 0.5, 0.5 + 1e-20, 1, 1, 1, 1})},
      {"interval of 1e-16 (refused for the derivative only)",
       knots_of(4, {0, 0, 0, 0, 0.5, 0.5 + 1e-16, 1, 1, 1, 1})},
      {"zero weight sum", [](std::mt19937 &, int, bool) {
         return std::make_unique<TestCurve>(2, std::vector<double>{0, 0, 0, 1, 0, 0}, std::vector<double>{0, 0, 1, 1},
                                            std::vector<double>{1, -1});
       }},
      {"NaN knot", knots_of(3, {0, 0, 0, 0.25, nan, 0.75, 1, 1, 1})},
      {"decreasing knots", knots_of(3, {0, 0, 0, 0.6, 0.4, 0.8, 1, 1, 1})},
      // Knots past the range that fall back below it, and rise again: a count of the knots below the parameter
      // takes them in, and the span it gives brackets the parameter past the last span, whose poles do not exist.
      {"knots past the range below it", knots_of(4, {0, 0, 0, 0, 0.5, 1, -2, 3, -2})},
      {"knots past a longer range below it",
       knots_of(4, {0, 0, 0, 0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1, -2, 3, -2})},
      // Every compare with a NaN fails, so the span count of a vector just long enough to be counted at once
      // finds no knot below the parameter.
      {"NaN knots opening a counted vector", knots_of(3, {nan, nan, nan, 0.25, 0.5, 0.75, 1, 1})},
      {"NaN knots opening a long vector", knots_of(4, {nan, nan, nan, nan, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8,
                                                      0.9, 1, 1, 1, 1, 1})},
  };
  std::mt19937 rng(19);
  for (const Case &c : cases)
    for (int order = 2; order <= 8; ++order)
      for (int rational = 0; rational <= 1; ++rational) {
        const auto curve = c.make(rng, order, rational != 0);
        const VOQbsp_curve &cv = curve->cv;
        const double lo = curve->start(), hi = curve->end();
        std::vector<double> us = {lo,         hi,          std::nextafter(lo, -inf), lo - 1e-21, hi + 1e-21,
                                  lo - 1,     hi + 1,      nan,                      inf,        -inf};
        for (int i = 0; i < cv.num_knots; ++i)
          for (double u : {cv.knots[i], std::nextafter(cv.knots[i], -inf), std::nextafter(cv.knots[i], inf)})
            us.push_back(u);
        for (int i = 0; i + 1 < cv.num_knots; ++i) us.push_back((cv.knots[i] + cv.knots[i + 1]) / 2);
        std::uniform_real_distribution<double> ud(lo, hi);
        for (int i = 0; i < 20; ++i) us.push_back(ud(rng));
        // The raw evaluator's poles: all x, all y, all z, then the weights.
        const int n = cv.num_poles, dim = 3 + rational;
        std::vector<double> block(static_cast<std::size_t>(dim) * n);
        for (int i = 0; i < n; ++i) {
          for (int k = 0; k < 3; ++k) block[k * n + i] = cv.poles[3 * i + k];
          if (rational) block[3 * n + i] = cv.weights[i];
        }
        for (double u : us)
          for (int nder = 0; nder <= 2; ++nder) {
            const std::string at = std::string(c.what) + " order " + std::to_string(order) + " rational " +
                                   std::to_string(rational) + " u " + std::to_string(u) + " nder " +
                                   std::to_string(nder);
            double fast[12] = {}, general[12] = {};
            int rc_fast = 0, rc_general = 0;
            BScveval_n(&cv, u, nder, fast, &rc_fast);
            bstest::set_slow_roads(true);
            BScveval_n(&cv, u, nder, general, &rc_general);
            bstest::set_slow_roads(false);
            EXPECT_EQ(rc_fast, rc_general) << at;
            if (rc_general == 0) {
              EXPECT_TRUE(same_bits(fast, general, 3 * (nder + 1))) << at;
            }
            const int p = cv.order - 1;
            for (int hint : {-1, p, n - 1}) {
              std::fill(fast, fast + 12, 0.0);
              std::fill(general, general + 12, 0.0);
              BScvevaln(p, n, dim, block.data(), cv.knots, u, hint, nder, fast, &rc_fast);
              bstest::set_slow_roads(true);
              BScvevaln(p, n, dim, block.data(), cv.knots, u, hint, nder, general, &rc_general);
              bstest::set_slow_roads(false);
              EXPECT_EQ(rc_fast, rc_general) << at << " raw, hint " << hint;
              if (rc_general == 0) {
                EXPECT_TRUE(same_bits(fast, general, dim * (nder + 1))) << at << " raw, hint " << hint;
              }
            }
          }
      }
}

// The same agreement over many random records: every pole count from the order to 24 more and a few long ones,
// so that the span search meets each width of its knot windows, the ends of its window range and its halvings;
// knots repeated up to full multiplicity, clamped and not. The cubic shortcut that other routines of the library
// call directly must give the same bits as well.
TEST(CurveEvaluation, ShortcutAgreesWithTheGeneralRoadOnRandomRecords) {
  std::mt19937 rng(143);
  std::uniform_int_distribution<int> coin(0, 3);
  int compared = 0;
  for (int order = 2; order <= 8; ++order)
    for (int n = order; n <= order + 24; ++n)
      for (bool long_one : {false, true}) {
        const int poles = long_one ? n + 60 + static_cast<int>(rng() % 1000) : n;
        const auto c = random_curve(rng, order, poles, coin(rng) == 0, coin(rng) != 0, coin(rng) == 0 ? order : 1);
        const VOQbsp_curve &cv = c->cv;
        std::vector<double> us;
        std::uniform_real_distribution<double> ud(c->start(), c->end());
        for (int i = 0; i < 12; ++i) us.push_back(ud(rng));
        for (int i = 0; i < 6; ++i) {
          const double k = cv.knots[rng() % cv.num_knots];
          us.insert(us.end(), {k, std::nextafter(k, -1e300), std::nextafter(k, 1e300)});
        }
        for (double u : us)
          for (int nder = 0; nder <= 2; ++nder) {
            double fast[9], general[9];
            int rc_fast = 0, rc_general = 0;
            BScveval_n(&cv, u, nder, fast, &rc_fast);
            {
              const bstest::SlowRoads slow;
              BScveval_n(&cv, u, nder, general, &rc_general);
            }
            ASSERT_EQ(rc_fast, rc_general) << "order " << order << " poles " << poles << " u " << u;
            if (rc_general != 0) continue;
            ++compared;
            ASSERT_EQ(std::memcmp(fast, general, sizeof(double) * 3 * (nder + 1)), 0)
                << "order " << order << " poles " << poles << " u " << u << " nder " << nder;
            if (order == 4 && !cv.rational && nder < 2) {
              double cubic[6];
              const bool answered =
                  nder == 0 ? bseval::cubic_point(cv, u, cubic) : bseval::cubic_point_tangent(cv, u, cubic);
              if (answered) {
                EXPECT_EQ(std::memcmp(cubic, general, sizeof(double) * 3 * (nder + 1)), 0) << u;
              }
            }
          }
      }
  EXPECT_GT(compared, 20000);
}

}  // namespace

// Rows each finite whose sum is not (poles of 1e308: the point's x plus its z overflows): the shortcut still
// answers them itself, with the general road's bits, where a test of their sum alone would send them to the
// general road, whose span search may choose otherwise on a damaged vector. The general road leaves through its
// exit, the shortcut does not.
TEST(CurveEvaluation, ShortcutAnswersRowsWhoseSumOverflows) {
  static int general_exits;
  bstest::Restore restore;
  BSsetfaulthook([](const char *name, int *) { general_exits += std::strcmp(name, "bscveval") == 0; });
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> along(0.01, 0.99);
  for (int order = 2; order <= 8; ++order)
    for (int rational = 0; rational <= 1; ++rational) {
      auto c = random_curve(rng, order, order + 4, rational, true);
      // Long spans keep each basis derivative times a pole below the overflow.
      for (double &t : c->knots) t *= 1000;
      for (double &p : c->poles) p = 1e308;
      for (double &w : c->weights) w = 1;
      for (int j = 0; j < 10; ++j) {
        const double u = c->start() + along(rng) * (c->end() - c->start());
        for (int nder = 0; nder <= 2; ++nder) {
          const std::string at = "order " + std::to_string(order) + " rational " + std::to_string(rational) +
                                 " u " + std::to_string(u) + " nder " + std::to_string(nder);
          double fast[9], general[9];
          int rc_fast = 0, rc_general = 0;
          general_exits = 0;
          BScveval_n(&c->cv, u, nder, fast, &rc_fast);
          EXPECT_EQ(general_exits, 0) << at;
          {
            bstest::SlowRoads slow;
            BScveval_n(&c->cv, u, nder, general, &rc_general);
          }
          ASSERT_EQ(rc_general, 0) << at;
          EXPECT_EQ(rc_fast, 0) << at;
          EXPECT_EQ(std::memcmp(fast, general, sizeof(double) * 3 * (nder + 1)), 0) << at;
        }
      }
    }
}

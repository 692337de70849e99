#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "tests/bspline/knots_fixtures.h"

namespace {

int multiplicity(const VOQbsp_curve &cv, double u) {
  return static_cast<int>(std::count(cv.knots, cv.knots + cv.num_knots, u));
}

bool non_decreasing(const VOQbsp_curve &cv) {
  return std::is_sorted(cv.knots, cv.knots + cv.num_knots);
}

TEST(KnotInsertion, OneKnotToAWantedMultiplicityKeepsTheCurve) {
  std::mt19937 rng(13);
  for (int order = 2; order <= 9; ++order)
    for (int rational = 0; rational <= 1; ++rational)
      for (int clamped = 0; clamped <= 1; ++clamped) {
        auto c = random_curve(rng, order, order + 6, rational, clamped, clamped ? std::max(order - 2, 1) : 1);
        std::uniform_real_distribution<double> ud(c->start() + 0.05, c->end() - 0.05);
        for (int trial = 0; trial < 4; ++trial) {
          // Half the trials land on an existing interior knot, the others anywhere.
          double u = ud(rng);
          if (trial % 2 && c->n() > order) u = c->knots[order + trial % (c->n() - order)];
          const int before = multiplicity(c->cv, u);
          const int want = 1 + trial % (order - 1);
          VOQbsp_curve *out = nullptr;
          int rc = 0;
          BSadd_1kt_tot(&c->cv, u, want, BSFALSE, &out, &rc);
          ASSERT_EQ(rc, 0) << order << " " << u;
          HeapCurve owned(out);
          const int added = std::max(want - before, 0);
          EXPECT_EQ(out->num_poles, c->n() + added);
          EXPECT_EQ(out->num_knots, out->num_poles + order);
          EXPECT_EQ(multiplicity(*out, u), std::max(want, before));
          EXPECT_TRUE(non_decreasing(*out));
          EXPECT_EQ(out->non_uniform, 1);
          expect_same_points(c->cv, *out, c->start(), c->end(), rng);
        }
      }
}

TEST(KnotInsertion, InPlaceIntoTheSameRecordAndIntoAnother) {
  std::mt19937 rng(5);
  auto c = random_curve(rng, 4, 7, true, true);
  const HeapCurve reference = heap_copy(c->cv);
  // The record has room for three more poles: insertion may work on itself.
  HeapCurve room = heap_copy(c->cv, 3);
  VOQbsp_curve *self = room.get();
  int rc = 0;
  const double u = 0.5 * (c->start() + c->end());
  BSadd_1kt_tot(self, u, 3, BSTRUE, &self, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(self, room.get());
  EXPECT_EQ(self->num_poles, 10);
  expect_same_points(*reference, *self, c->start(), c->end(), rng);

  RoomCurve other(10, 4, true);
  VOQbsp_curve *target = &other.cv;
  BSadd_1kt_mul(&c->cv, u, 2, BSTRUE, &target, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(other.cv.num_poles, 9);
  EXPECT_EQ(multiplicity(other.cv, u), 2);
  expect_same_points(c->cv, other.cv, c->start(), c->end(), rng);
}

TEST(KnotInsertion, NothingToInsertStillGivesAFreshCopy) {
  TestCurve c(3, {0, 0, 0, 1, 2, 0, 2, 0, 0, 3, 1, 0}, {0, 0, 0, 1, 2, 2, 2});
  c.cv.non_uniform = 0;
  VOQbsp_curve *out = nullptr;
  int rc = 0;
  BSadd_1kt_tot(&c.cv, 1.0, 1, BSFALSE, &out, &rc);
  ASSERT_EQ(rc, 0);
  HeapCurve owned(out);
  EXPECT_EQ(out->num_poles, 4);
  EXPECT_EQ(knots_of(*out), c.knots);
  EXPECT_EQ(out->non_uniform, 1);
  // A second call with the same *out replaces the record it held.
  BSadd_1kt_tot(&c.cv, 1.0, 2, BSFALSE, &out, &rc);
  ASSERT_EQ(rc, 0);
  owned.release();
  owned.reset(out);
  EXPECT_EQ(out->num_poles, 5);
}

TEST(KnotInsertion, RefusesParametersAtTheEndsAndMultiplicitiesAboveTheDegree) {
  TestCurve c(4, {0, 0, 0, 1, 2, 0, 2, 0, 0, 3, 1, 0, 4, 0, 0}, {0, 0, 0, 0, 1, 2, 2, 2, 2});
  VOQbsp_curve *out = nullptr;
  int rc = 0;
  for (double u : {0.0, 7e-308, 2.0 - 1e-15}) {  // the last two would open spans no basis routine evaluates
    BSadd_1kt_mul(&c.cv, u, 1, BSFALSE, &out, &rc);
    EXPECT_EQ(rc, -2) << u;
  }
  BSadd_1kt_tot(&c.cv, 1e-13, 1, BSFALSE, &out, &rc);  // within the parameter tolerance of the start
  EXPECT_EQ(rc, -2);
  BSadd_1kt_tot(&c.cv, 2.0 - 1e-13, 1, BSFALSE, &out, &rc);
  EXPECT_EQ(rc, -2);
  BSadd_1kt_tot(&c.cv, 0.5, 4, BSFALSE, &out, &rc);
  EXPECT_EQ(rc, -2);
  BSadd_1kt_mul(&c.cv, 1.0, 3, BSFALSE, &out, &rc);  // 1 is there once already
  EXPECT_EQ(rc, -2);
  BSadd_1kt_mul(&c.cv, 1.0, 0, BSFALSE, &out, &rc);
  EXPECT_EQ(rc, -2);
  EXPECT_EQ(out, nullptr);
  BSadd_1kt_mul(&c.cv, 1.0, 2, BSFALSE, &out, &rc);
  ASSERT_EQ(rc, 0);
  HeapCurve owned(out);
  EXPECT_EQ(multiplicity(*out, 1.0), 3);
}

// Random refinements: every old knot stays, new ones (some repeating old ones) are added.
std::vector<double> refine(std::mt19937 &rng, const TestCurve &c, int extra) {
  std::vector<double> t(c.knots);
  std::uniform_real_distribution<double> ud(c.start(), c.end());
  std::uniform_int_distribution<int> pick(c.order(), c.n() - 1);
  for (int i = 0; i < extra; ++i) {
    double u = ud(rng);
    if (i % 3 == 2 && c.n() > c.order()) u = c.knots[pick(rng)];
    if (std::count(t.begin(), t.end(), u) >= c.order() - 1) continue;
    t.insert(std::upper_bound(t.begin(), t.end(), u), u);
  }
  return t;
}

TEST(KnotInsertion, RefinementOfARecordKeepsTheCurve) {
  std::mt19937 rng(21);
  for (int order = 2; order <= 10; ++order)
    for (int rational = 0; rational <= 1; ++rational)
      for (int clamped = 0; clamped <= 1; ++clamped) {
        auto c = random_curve(rng, order, order + 5, rational, clamped);
        const auto t = refine(rng, *c, 6);
        const int nn = static_cast<int>(t.size()) - order;
        RoomCurve out(nn, order, rational);
        int rc = 0;
        BSadd_kts(&c->cv, nn, t.data(), &out.cv, &rc);
        ASSERT_EQ(rc, 0) << order;
        EXPECT_EQ(out.cv.num_poles, nn);
        EXPECT_EQ(knots_of(out.cv), t);
        expect_same_points(c->cv, out.cv, c->start(), c->end(), rng);
      }
}

TEST(KnotInsertion, RefinementOutsideTheActiveRangeOfAnUnclampedCurve) {
  // Every knot interval halved, the ones beyond the active range too: the curve on its range is unchanged.
  std::mt19937 rng(22);
  for (int order = 2; order <= 6; ++order) {
    auto c = random_curve(rng, order, order + 3, order % 2 == 1, false);
    std::vector<double> t;
    for (size_t i = 0; i < c->knots.size(); ++i) {
      t.push_back(c->knots[i]);
      if (i + 1 < c->knots.size()) t.push_back((c->knots[i] + c->knots[i + 1]) / 2);
    }
    const int nn = static_cast<int>(t.size()) - order;
    RoomCurve out(nn, order, c->cv.rational);
    int rc = 0;
    BSadd_kts(&c->cv, nn, t.data(), &out.cv, &rc);
    ASSERT_EQ(rc, 0) << order;
    expect_same_points(c->cv, out.cv, c->start(), c->end(), rng);
  }
  // Knots beyond the knot vector are refused.
  TestCurve c(2, {0, 0, 0, 1, 0, 0}, {0, 0, 1, 1});
  const std::vector<double> t = {0, 0, 1, 1, 2};
  RoomCurve out(3, 2, false);
  int rc = 0;
  BSadd_kts(&c.cv, 3, t.data(), &out.cv, &rc);
  EXPECT_EQ(rc, -2);
}

// Raw arrays: dim blocks of n coefficients, evaluated with the core's raw-array evaluator.
std::vector<double> raw_point(int order, int n, int dim, const std::vector<double> &coef,
                              const std::vector<double> &knots, double u) {
  std::vector<double> out(dim);
  int rc = 0;
  BScvevaln0(order - 1, n, dim, coef.data(), knots.data(), u, -1, out.data(), &rc);
  EXPECT_EQ(rc, 0);
  return out;
}

TEST(KnotInsertion, RawArraysOfAnyDimension) {
  std::mt19937 rng(8);
  std::uniform_real_distribution<double> cd(-5, 5);
  for (int order = 2; order <= 7; ++order)
    for (int dim = 1; dim <= 4; ++dim) {
      auto c = random_curve(rng, order, order + 4, false, order % 2 == 0);
      const int n = c->n();
      std::vector<double> coef(dim * n);
      for (double &x : coef) x = cd(rng);
      const auto t = refine(rng, *c, 5);
      std::vector<double> ins;
      std::vector<double> rest(t);
      for (double k : c->knots) rest.erase(std::find(rest.begin(), rest.end(), k));
      const int m = static_cast<int>(rest.size());
      std::vector<double> new_coef(dim * (n + m)), new_knots(n + m + order);
      int rc = 0;
      BSinsertmkt(order, dim, n, coef.data(), c->knots.data(), m, rest.data(), new_coef.data(), new_knots.data(),
                  &rc);
      ASSERT_EQ(rc, 0);
      EXPECT_EQ(new_knots, t);
      std::uniform_real_distribution<double> ud(c->start(), c->end());
      for (int i = 0; i < 20; ++i) {
        const double u = ud(rng);
        const auto p = raw_point(order, n, dim, coef, c->knots, u);
        const auto q = raw_point(order, n + m, dim, new_coef, new_knots, u);
        for (int d = 0; d < dim; ++d) EXPECT_NEAR(p[d], q[d], 1e-12 * std::max(1.0, std::fabs(p[d])));
      }
    }
}

// de Casteljau on one coordinate block of a Bezier segment.
double bezier_value(const double *b, int p, double s) {
  std::vector<double> v(b, b + p + 1);
  for (int r = 1; r <= p; ++r)
    for (int i = 0; i + r <= p; ++i) v[i] = (1 - s) * v[i] + s * v[i + 1];
  return v[0];
}

TEST(KnotInsertion, BezierDecompositionOfClampedAndUnclampedArrays) {
  // A clamped cubic with one simple interior knot has two segments of four coefficients per coordinate.
  const std::vector<double> knots = {0, 0, 0, 0, 1, 3, 3, 3, 3};
  const std::vector<double> coef = {0, 1, 2, 3, 4, /* y */ 0, 2, -1, 1, 0};
  std::vector<double> bez(2 * 2 * 4), bp(3);
  int segs = 0, rc = 0;
  BSbstobez(3, 5, 2, knots.data(), coef.data(), &segs, bez.data(), bp.data(), &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(segs, 2);
  EXPECT_EQ(bp, (std::vector<double>{0, 1, 3}));
  // Neighbouring segments share their end coefficient; the ends are the curve's end coefficients.
  for (int d = 0; d < 2; ++d) {
    EXPECT_DOUBLE_EQ(bez[(0 * 2 + d) * 4 + 3], bez[(1 * 2 + d) * 4 + 0]);
    EXPECT_DOUBLE_EQ(bez[(0 * 2 + d) * 4 + 0], coef[d * 5]);
    EXPECT_DOUBLE_EQ(bez[(1 * 2 + d) * 4 + 3], coef[d * 5 + 4]);
  }

  std::mt19937 rng(4);
  for (int order = 2; order <= 6; ++order)
    for (int clamped = 0; clamped <= 1; ++clamped) {
      auto c = random_curve(rng, order, order + 5, false, clamped, clamped ? order - 1 : 1);
      const int n = c->n(), p = order - 1, dim = 3;
      std::vector<double> raw(dim * n);
      for (int i = 0; i < n; ++i)
        for (int d = 0; d < dim; ++d) raw[d * n + i] = c->poles[3 * i + d];
      std::vector<double> out(dim * order * n), breaks(n + 1);
      BSbstobez(p, n, dim, c->knots.data(), raw.data(), &segs, out.data(), breaks.data(), &rc);
      ASSERT_EQ(rc, 0);
      EXPECT_DOUBLE_EQ(breaks[0], c->start());
      EXPECT_DOUBLE_EQ(breaks[segs], c->end());
      std::uniform_real_distribution<double> sd(0, 1);
      for (int s = 0; s < segs; ++s)
        for (int i = 0; i < 5; ++i) {
          const double f = sd(rng), u = breaks[s] + f * (breaks[s + 1] - breaks[s]);
          const auto ref = curve_point(c->cv, u);
          for (int d = 0; d < dim; ++d)
            EXPECT_NEAR(bezier_value(&out[(s * dim + d) * order], p, f), ref[d], 1e-11) << order << " " << s;
        }
    }
}

}  // namespace

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "bspline/core/test_support.h"
#include "tests/bspline/knots_fixtures.h"

namespace {

TEST(DegreeRaising, QuadraticBezierToCubic) {
  TestCurve c(3, {0, 0, 0, 3, 6, 0, 9, 0, 3}, {0, 0, 0, 1, 1, 1});
  VOQbsp_curve *out = nullptr;
  int rc = 0;
  BSupthedeg(&c.cv, 3, BSFALSE, &out, &rc);
  ASSERT_EQ(rc, 0);
  HeapCurve owned(out);
  EXPECT_EQ(out->order, 4);
  EXPECT_EQ(knots_of(*out), (std::vector<double>{0, 0, 0, 0, 1, 1, 1, 1}));
  const std::vector<double> expected = {0, 0, 0, 2, 4, 0, 5, 4, 1, 9, 0, 3};
  ASSERT_EQ(out->num_poles, 4);
  for (int i = 0; i < 12; ++i) EXPECT_NEAR(out->poles[i], expected[i], 1e-14) << i;
  EXPECT_EQ(out->non_uniform, 1);
}

TEST(DegreeRaising, SimpleInteriorKnotBecomesDouble) {
  TestCurve c(3, {0, 0, 0, 1, 2, 0, 3, 2, 0, 4, 0, 0}, {0, 0, 0, 1, 2, 2, 2});
  VOQbsp_curve *out = nullptr;
  int rc = 0;
  BSupthedeg(&c.cv, 3, BSFALSE, &out, &rc);
  ASSERT_EQ(rc, 0);
  HeapCurve owned(out);
  EXPECT_EQ(knots_of(*out), (std::vector<double>{0, 0, 0, 0, 1, 1, 2, 2, 2, 2}));
  std::mt19937 rng(1);
  expect_same_points(c.cv, *out, 0, 2, rng);
}

TEST(DegreeRaising, RandomCurvesKeepTheirShape) {
  std::mt19937 rng(44);
  for (int order = 2; order <= 8; ++order)
    for (int rational = 0; rational <= 1; ++rational)
      for (int raise = 1; raise <= 3; ++raise) {
        auto c = random_curve(rng, order, order + 4, rational, true, std::max(order - 2, 1));
        const HeapCurve before = heap_copy(c->cv);
        VOQbsp_curve *out = nullptr;
        int rc = 0;
        BSupthedeg(&c->cv, static_cast<std::int16_t>(order - 1 + raise), BSFALSE, &out, &rc);
        ASSERT_EQ(rc, 0) << order << " +" << raise;
        HeapCurve owned(out);
        EXPECT_EQ(out->order, order + raise);
        EXPECT_EQ(out->num_knots, out->num_poles + out->order);
        // End poles and weights are those of the input.
        for (int k = 0; k < 3; ++k) EXPECT_EQ(out->poles[k], before->poles[k]);
        expect_same_points(*before, *out, c->start(), c->end(), rng);
      }
}

TEST(DegreeRaising, InPlaceOnItsOwnRecord) {
  std::mt19937 rng(8);
  auto c = random_curve(rng, 3, 6, true, true);
  HeapCurve room = heap_copy(c->cv, 10);
  VOQbsp_curve *self = room.get();
  int rc = 0;
  BSupthedeg(self, 4, BSTRUE, &self, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(self, room.get());
  EXPECT_EQ(self->order, 5);
  expect_same_points(c->cv, *self, c->start(), c->end(), rng, 1e-11);
}

bool fail_new_knots(const char *lname) { return std::strcmp(lname, "bsnewktr") == 0; }
double tolerance_during = 0;
void fail_newktr(const char *lname, int *rc) {
  if (fail_new_knots(lname)) {
    tolerance_during = BStoltab[8];
    if (rc) *rc = -13;
  }
}

TEST(DegreeRaising, InputIsLeftClampedAndToleranceRestoredEvenOnFailure) {
  for (const bool slow : {false, true}) {
    const bstest::SlowRoads roads(slow);
    SCOPED_TRACE(slow ? "slow roads" : "short roads");
    std::mt19937 rng(2);
    auto c = random_curve(rng, 3, 6, false, false);
    const HeapCurve before = heap_copy(c->cv);
    const double tol8 = BStoltab[8];
    VOQbsp_curve *out = nullptr;
    int rc = 0;
    tolerance_during = tol8;
    {
      HookGuard hook(fail_newktr);
      BSupthedeg(&c->cv, 3, BSFALSE, &out, &rc);
    }
    EXPECT_EQ(rc, -13);
    EXPECT_EQ(out, nullptr);
    EXPECT_NE(tolerance_during, tol8);
    EXPECT_EQ(BStoltab[8], tol8);
    EXPECT_EQ(c->knots[0], c->knots[2]);
    EXPECT_EQ(c->knots[6], c->knots[8]);
    expect_same_points(*before, c->cv, range_start(*before), range_end(*before), rng, 1e-11);
  }
}

TEST(DegreeRaising, LowerOrEqualDegrees) {
  TestCurve c(4, {0, 0, 0, 1, 2, 0, 3, 2, 0, 4, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  VOQbsp_curve *out = nullptr;
  int rc = 0;
  BSupthedeg(&c.cv, 2, BSFALSE, &out, &rc);
  EXPECT_EQ(rc, -2);
  BSupthedeg(&c.cv, 3, BSFALSE, &out, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out, nullptr);
}

TEST(DegreeRaising, SymmetricFunctionsAndRaisedKnotVector) {
  const double x[3] = {1, 2, 3};
  double table[16];
  int rc = 0;
  const std::int16_t m = 3;
  ASSERT_TRUE(BSgensym(&rc, &m, x, table));
  // Row 3: e0..e3 of {1, 2, 3}; row 2: of {1, 2}.
  EXPECT_EQ(std::vector<double>(table + 12, table + 16), (std::vector<double>{1, 6, 11, 6}));
  EXPECT_EQ(std::vector<double>(table + 8, table + 12), (std::vector<double>{1, 3, 2, 0}));

  double *knots = static_cast<double *>(BSdbgmalloc(7 * sizeof(double)));
  const double t[7] = {0, 0, 0, 1, 2, 2, 2};
  std::memcpy(knots, t, sizeof t);
  int last = 0;
  BSnewktr(2, 3, BSFALSE, 4, &knots, &last, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(last, 7);
  EXPECT_EQ(std::vector<double>(knots, knots + 13), (std::vector<double>{0, 0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 2, 2}));
  BSdbgfree(knots);
}

}  // namespace

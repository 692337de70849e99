// Distance-law values and the variable-distance offset of one curve: law curves and their refusals, the side
// point, equal end distances, two-segment polylines, quadratics that turn back, and the arc-length tolerance
// entry the offset borrows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/intersect.h"
#include "bspline/offset.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

using Vec = std::vector<double>;

int crossings = 0;
const char *fail_name = nullptr;
void watch(const char *lname, int *rc) {
  if (std::strcmp(lname, "bspl_cv_int") == 0) ++crossings;
  if (fail_name && std::strcmp(lname, fail_name) == 0) *rc = 33;
}

Vec bezier_knots(int k, double a = 0, double b = 1) {
  Vec t(k, a);
  t.resize(2 * k, b);
  return t;
}

TEST(VariableOffset, LawValues) {
  TestCurve rising(3, {0, 1, 0, 5, 3, 0, 10, 2, 0}, bezier_knots(3));    // y 1 at x 0, 2.25 at x 5, 2 at x 10
  TestCurve leftward(3, {10, 2, 0, 5, 3, 0, 0, 1, 0}, bezier_knots(3));  // the same law drawn right to left
  TestCurve level(3, {0, 1, 0, 5, 3, 0, 10, 1, 0}, bezier_knots(3));     // equal y at its ends
  TestCurve upright(2, {5, 0, 0, 5, 2, 0}, bezier_knots(2));             // no x extent
  TestCurve zigzag(2, {0, 0, 0, 6, 1, 0, 2, 2, 0, 10, 3, 0}, {0, 0, 1, 2, 3, 3});
  const struct {
    const VOQbsp_curve *law;
    double t0, t1;
    BSboolean linear;
    Vec u;
    int rc, crossings;
    Vec out;  // expected values, or the sentinels left by a refusal
  } cases[] = {
      {nullptr, 0, 0, 1, {0, 0.5, 1}, 0, 0, {2, 3, 4}},
      {nullptr, NAN, 0, 1, {0.5, -0.1}, 12, 0, {-9, -9}},
      {nullptr, 0, 0, 1, {1.1}, 12, 0, {-9}},
      {nullptr, 0, 0, 1, {NAN}, 12, 0, {-9}},
      {&rising.cv, 0, 1, 0, {0, 1, 0.5}, 0, 1, {2, 4, 4.5}},
      {&leftward.cv, 1, 0, 0, {0, 1, 0.5}, 0, 1, {2, 4, 4.5}},
      {&level.cv, 0, 1, 0, {0.5}, 12, 0, {-9}},
      {&upright.cv, 0, 1, 0, {0.5}, 12, 0, {-9}},
      {&rising.cv, 0.5, 0.5 + 1e-7, 0, {0.5}, 12, 0, {-9}},
      {&zigzag.cv, 0, 3, 0, {0.1, 0.4, 0.9}, -2, 2, {2 + 2 * (1 / 6.0) / 3, -9, -9}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(&c - cases);
    Vec out(c.u.size(), -9);
    int rc = 0;
    crossings = 0;
    const BSfaulthandler previous = BSsetfaulthook(watch);
    BSlawcvvals(c.law, 2, 4, c.t0, c.t1, static_cast<int>(c.u.size()), c.u.data(), c.linear, out.data(), &rc);
    BSsetfaulthook(previous);
    EXPECT_EQ(rc, c.rc);
    EXPECT_EQ(crossings, c.crossings);
    for (std::size_t i = 0; i < out.size(); ++i) EXPECT_NEAR(out[i], c.out[i], 1e-12) << i;
  }
}

struct Offset {
  VOQbsp_curve *cv = nullptr;
  int rc = 0;
  ~Offset() {
    if (cv) BSfreevoqcv(cv, &rc);
  }
  int run(const TestCurve &c, double a, double b, const double *side = nullptr) {
    const BSdistlaw law{1, nullptr, 0, 0};
    BSvrcvofntp(&c.cv, side, side ? 0 : 1, nullptr, 1, a, b, &law, 0, 1, &cv, &rc);
    return rc;
  }
  double pole(int i, int c) const { return cv->poles[3 * i + c] / (cv->rational ? cv->weights[i] : 1.0); }
};

TEST(VariableOffset, SidePointAndEqualDistances) {
  TestCurve cubic(4, {0, 0, 1, 2, 3, 1, 5, -1, 1, 8, 1, 1}, bezier_knots(4));
  const double on[3] = {3.625, 0.875 + 1e-7, 7}, off[3] = {4, -5, 0};  // the first by the curve's middle
  Offset near_side, constant;
  EXPECT_EQ(near_side.run(cubic, 0.5, 0.5, on), -1);
  ASSERT_EQ(constant.run(cubic, 0.5, 0.5, off), 0);
  VOQbsp_curve *exact = nullptr;
  int rc = 0;
  BSallocvoqcv(4, 4, 0, 0, &exact, &rc);
  const double z[3] = {0, 0, 1};
  BSspnoffset(&cubic.cv, 0.5, z, 1, &exact, &rc);
  ASSERT_EQ(rc, 0);
  for (int i = 0; i <= 40; ++i) {
    double p[3], par, base[3], d;
    BScveval_n(constant.cv, i / 40.0, 0, p, &rc);
    BSmdstptcv(exact, p, &par, base, &d, &rc);
    EXPECT_LT(d, 2e-3) << i;
  }
  BSfreevoqcv(exact, &rc);
}

TEST(VariableOffset, TwoSegmentPolylines) {
  // Distances 1 at the start and 2 at the end, to the right of travel.
  TestCurve straight(2, {0, 0, 0, 1, 0, 0, 3, 0, 0}, {0, 0, 0.5, 1, 1});
  TestCurve bent(2, {0, 0, 0, 2, 0, 5, 2, 2, 0}, {0, 0, 0.5, 1, 1});
  Offset s, b;
  ASSERT_EQ(s.run(straight, 1, 2), 0);
  const double expect_s[3][2] = {{0, -1}, {1, -4 / 3.0}, {3, -2}};  // the middle divides the chord 1 : 2
  for (int i = 0; i < 3; ++i)
    for (int c = 0; c < 2; ++c) EXPECT_NEAR(s.pole(i, c), expect_s[i][c], 1e-12);
  ASSERT_EQ(b.run(bent, 1, 2), 0);
  EXPECT_NEAR(b.pole(1, 0), 4, 1e-12);  // where y = -1 meets x = 4
  EXPECT_NEAR(b.pole(1, 1), -1, 1e-12);
  EXPECT_EQ(b.pole(1, 2), 5);
}

TEST(VariableOffset, QuadraticsThatTurnBack) {
  for (double s : {0.0, 3.0}) {
    TestCurve q(3, {0, 0, 0, 10, 0, 0, 0, 0.5, 0}, bezier_knots(3, s, s + 2));
    VOQbsp_curve *out = nullptr;
    int rc = 0;
    BSvrofq3ref(&q.cv, &out, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(out->num_poles, 8);
    EXPECT_EQ(out->knots[0], s);
    EXPECT_EQ(out->knots[10], s + 2);
    for (int i = 1; i < 11; ++i) EXPECT_GE(out->knots[i], out->knots[i - 1]);
    double p[3], r[3];
    BScveval_n(out, s + 1.3, 0, p, &rc);
    BScveval_n(&q.cv, s + 1.3, 0, r, &rc);
    EXPECT_NEAR(std::hypot(p[0] - r[0], p[1] - r[1]), 0, 1e-12);
    BSfreevoqcv(out, &rc);
  }
}

TEST(VariableOffset, ArcLengthToleranceComesBack) {
  TestCurve cubic(4, {0, 0, 0, 2, 3, 0, 5, -1, 0, 8, 1, 0}, bezier_knots(4));
  const double before = BStoltab[15];
  for (const bool slow : {false, true}) {
    for (const char *fail : {static_cast<const char *>(nullptr), "bsarclen"}) {
      const bstest::SlowRoads roads(slow);
      SCOPED_TRACE(slow ? "slow roads" : "short roads");
      fail_name = fail;
      const BSfaulthandler previous = BSsetfaulthook(watch);
      Offset o;
      EXPECT_EQ(o.run(cubic, 0.2, 0.6), fail ? -1 : 0);
      BSsetfaulthook(previous);
      EXPECT_EQ(BStoltab[15], before);
    }
  }
  fail_name = nullptr;
}

}  // namespace

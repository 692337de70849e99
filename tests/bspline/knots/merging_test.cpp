#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "tests/bspline/knots_fixtures.h"
#include "tests/bspline/measure_curves.h"

namespace {

void expect_point(const VOQbsp_curve &cv, double u, const std::vector<double> &p, double tol = 1e-12) {
  const auto q = curve_point(cv, u);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(q[k], p[k], tol) << "u " << u;
}

TEST(Merging, RawCombinationShiftsTheSecondRangeAndMatchesWeights) {
  std::mt19937 rng(5);
  TestCurve a(4, {0, 0, 0, 1, 1, 0, 2, 1, 0, 3, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  TestCurve b(4, {3, 0, 0, 4, -1, 0, 5, 0, 1, 6, 2, 0}, {5, 5, 5, 5, 7, 7, 7, 7}, {2, 1, 3, 1});
  RoomCurve out(7, 4, true);
  int rc = 0;
  BScomb2cvs(&a.cv, &b.cv, &out.cv, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(out.cv.num_poles, 7);
  EXPECT_EQ(knots_of(out.cv), (std::vector<double>{0, 0, 0, 0, 1, 1, 1, 3, 3, 3, 3}));
  EXPECT_EQ(out.cv.rational, 1);
  // cv1's part takes cv2's first weight, so the joint weights agree.
  EXPECT_EQ(out.cv.weights[0], 2);
  EXPECT_EQ(out.cv.weights[3], 2);
  EXPECT_EQ(out.cv.weights[4], 1);
  EXPECT_EQ(out.cv.non_uniform, 1);
  EXPECT_EQ(out.cv.phy_closed, 0);
  expect_same_points(a.cv, out.cv, 0, 1, rng);
  expect_same_points(b.cv, out.cv, 5, 7, [](double u) { return u - 4; }, rng);

  // Both rational: cv1's weights scale by w2[0] / w1[last].
  TestCurve ar(4, {0, 0, 0, 1, 1, 0, 2, 1, 0, 3, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1}, {1, 2, 2, 4});
  BScomb2cvs(&ar.cv, &b.cv, &out.cv, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(out.cv.weights[0], 0.5);
  EXPECT_EQ(out.cv.weights[3], 2);
  expect_same_points(ar.cv, out.cv, 0, 1, rng);
  // Only cv1 rational: cv2's part takes cv1's last weight.
  TestCurve bp(4, {3, 0, 0, 4, -1, 0, 5, 0, 1, 6, 2, 0}, {1, 1, 1, 1, 2, 2, 2, 2});
  BScomb2cvs(&ar.cv, &bp.cv, &out.cv, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(out.cv.weights[6], 4);
  expect_same_points(bp.cv, out.cv, 1, 2, rng);
}

TEST(Merging, RawCombinationRefusals) {
  TestCurve a(4, {0, 0, 0, 1, 1, 0, 2, 1, 0, 3, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  TestCurve q(3, {3, 0, 0, 4, 1, 0, 5, 0, 0}, {0, 0, 0, 1, 1, 1});
  RoomCurve out(7, 4, false);
  int rc = 0;
  BScomb2cvs(&a.cv, &q.cv, &out.cv, &rc);
  EXPECT_EQ(rc, -1);
  a.cv.phy_closed = 1;
  BScomb2cvs(&a.cv, &a.cv, &out.cv, &rc);
  EXPECT_EQ(rc, -6);
}

TEST(Merging, DegenerateInputIsReportedButJoined) {
  TestCurve a(2, {0, 0, 0, 1, 0, 0}, {0, 0, 1, 1});
  TestCurve dot(2, {1, 0, 0, 1 + 1e-9, 0, 0}, {0, 0, 1, 1});
  RoomCurve out(3, 2, false);
  int rc = 0;
  BScomb2cvs(&a.cv, &dot.cv, &out.cv, &rc);
  EXPECT_EQ(rc, 59);
  EXPECT_EQ(out.cv.num_poles, 3);
  EXPECT_EQ(knots_of(out.cv), (std::vector<double>{0, 0, 1, 2, 2}));
}

TEST(Merging, OrientsTheCurvesByWhichEndsMeet) {
  // a runs from (0,0,0) to (3,0,0), b from (3,0,0) to (6,2,0); each case hands them in another way round.
  const std::vector<double> a0 = {0, 0, 0}, joint = {3, 0, 0}, b1 = {6, 2, 0};
  struct Case {
    bool reverse_a, reverse_b, swap;
    std::vector<double> first, last;
  } cases[] = {
      {false, false, false, a0, b1},  // cv1's end meets cv2's start
      {false, false, true, b1, a0},   // cv2's end meets cv1's start: both reversed, from cv1's end to cv2's start
      {false, true, false, a0, b1},   // the ends meet: the second is reversed
      {true, false, false, a0, b1},   // the starts meet: the first is reversed
  };
  for (const Case &k : cases) {
    TestCurve a(4, {0, 0, 0, 1, 1, 0, 2, 1, 0, 3, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
    TestCurve b(4, {3, 0, 0, 4, -1, 0, 5, 0, 1, 6, 2, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
    int rc = 0;
    if (k.reverse_a) BSrev_cv(&rc, &a.cv);
    if (k.reverse_b) BSrev_cv(&rc, &b.cv);
    RoomCurve out(7, 4, false);
    BSmergecvnn(k.swap ? &b.cv : &a.cv, k.swap ? &a.cv : &b.cv, &out.cv, &rc);
    ASSERT_EQ(rc, 0);
    expect_point(out.cv, 0, k.first);
    expect_point(out.cv, 1, joint);
    expect_point(out.cv, 2, k.last);
  }
  TestCurve a(4, {0, 0, 0, 1, 1, 0, 2, 1, 0, 3, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  TestCurve apart(4, {3.5, 0, 0, 4, -1, 0, 5, 0, 1, 6, 2, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  RoomCurve out(7, 4, false);
  int rc = 0;
  BSmergecvnn(&a.cv, &apart.cv, &out.cv, &rc);
  EXPECT_EQ(rc, -1);
  a.cv.phy_closed = 1;
  BSmergecvnn(&a.cv, &apart.cv, &out.cv, &rc);
  EXPECT_EQ(rc, -2);
}

TEST(Merging, GapOfExactlyTheDistanceTolerance) {
  // The joints lie at the origin and at (tol, 0, 0), so the gap is exactly tol in floating point.
  const double tol = BStoltab[1];
  RoomCurve out(3, 2, false);
  int rc = 0;
  TestCurve ends_at_origin(2, {5, 5, 0, 0, 0, 0}, {0, 0, 1, 1});
  TestCurve starts_at_origin(2, {0, 0, 0, 5, 5, 0}, {0, 0, 1, 1});
  TestCurve starts_at_tol(2, {tol, 0, 0, 3, 0, 0}, {0, 0, 1, 1});
  TestCurve ends_at_tol(2, {3, 0, 0, tol, 0, 0}, {0, 0, 1, 1});
  BSmergecvnn(&ends_at_origin.cv, &starts_at_tol.cv, &out.cv, &rc);
  EXPECT_EQ(rc, 0) << "cv1's end to cv2's start";
  BSmergecvnn(&starts_at_origin.cv, &ends_at_tol.cv, &out.cv, &rc);
  EXPECT_EQ(rc, -1) << "cv2's end to cv1's start";
  BSmergecvnn(&ends_at_origin.cv, &ends_at_tol.cv, &out.cv, &rc);
  EXPECT_EQ(rc, -1) << "end to end";
  BSmergecvnn(&starts_at_origin.cv, &starts_at_tol.cv, &out.cv, &rc);
  EXPECT_EQ(rc, -1) << "start to start";
  // Just inside the tolerance the other pairings merge.
  TestCurve ends_near(2, {3, 0, 0, tol / 2, 0, 0}, {0, 0, 1, 1});
  BSmergecvnn(&ends_at_origin.cv, &ends_near.cv, &out.cv, &rc);
  EXPECT_EQ(rc, 0);
}

TEST(Merging, DifferentOrdersAreRaisedToTheHigher) {
  std::mt19937 rng(3);
  TestCurve quad(3, {0, 0, 0, 1, 2, 0, 2, 0, 0}, {0, 0, 0, 1, 1, 1});
  TestCurve cubic(4, {2, 0, 0, 3, -1, 0, 4, 1, 0, 5, 0, 0, 6, 1, 1}, {0, 0, 0, 0, 0.5, 1, 1, 1, 1});
  RoomCurve out(10, 4, false);
  int rc = 0;
  ASSERT_TRUE(BSmerge_cv(&rc, &quad.cv, &cubic.cv, &out.cv));
  EXPECT_EQ(out.cv.order, 4);
  EXPECT_EQ(out.cv.num_poles, 4 + 5 - 1);
  EXPECT_EQ(range_start(out.cv), 0);
  EXPECT_EQ(range_end(out.cv), 1);
  expect_same_points(quad.cv, out.cv, 0, 1, [](double u) { return u / 2; }, rng);
  expect_same_points(cubic.cv, out.cv, 0, 1, [](double u) { return (u + 1) / 2; }, rng);
  // The other way round: the cubic first, the quadratic raised second.
  TestCurve quad2(3, {6, 1, 1, 7, 2, 0, 8, 0, 0}, {0, 0, 0, 1, 1, 1});
  ASSERT_TRUE(BSmerge_cv(&rc, &cubic.cv, &quad2.cv, &out.cv));
  EXPECT_EQ(out.cv.order, 4);
  expect_same_points(quad2.cv, out.cv, 0, 1, [](double u) { return (u + 1) / 2; }, rng);
  // A basis tolerance of zero (the tolerance table takes it) makes every knot tolerance zero: raising the first
  // curve must still keep its end knots together, or the merge writes past the room that raised pole counts give.
  {
    const TolScope zero(bstol::basis_tol, 0);
    TestCurve line(2, {-2, 1, 0, 0, 0, 0}, {0, 0, 1, 1});
    RoomCurve tight(3 + 3 - 1, 3, false);
    ASSERT_TRUE(BSmerge_cv(&rc, &line.cv, &quad.cv, &tight.cv));
    EXPECT_EQ(tight.cv.num_poles, 3 + 3 - 1);
    EXPECT_EQ(knots_of(tight.cv), (std::vector<double>{0, 0, 0, 0.5, 0.5, 1, 1, 1}));
    expect_same_points(line.cv, tight.cv, 0, 1, [](double u) { return u / 2; }, rng);
  }
}

TEST(Merging, TwoHalvesOfALoopCloseExactly) {
  const double r = std::sqrt(0.5);
  // Rational quadratic halves of a unit circle, the second ending 1e-7 away from the first's start.
  TestCurve top(3, {1, 0, 0, 1, 1, 0, 0, 1, 0, -1, 1, 0, -1, 0, 0}, {0, 0, 0, 1, 1, 2, 2, 2}, {1, r, 1, r, 1});
  TestCurve bottom(3, {-1, 0, 0, -1, -1, 0, 0, -1, 0, 1, -1, 0, 1, 1e-7, 0}, {0, 0, 0, 1, 1, 2, 2, 2},
                   {1, r, 1, r, 1});
  RoomCurve out(9, 3, true);
  int rc = 0;
  ASSERT_TRUE(BS2cvsto1(&rc, &top.cv, &bottom.cv, &out.cv));
  EXPECT_EQ(out.cv.phy_closed, 1);
  const auto p = cartesian_poles(out.cv);
  for (int k = 0; k < 3; ++k) EXPECT_EQ(p[k], p[3 * 8 + k]);
  EXPECT_NEAR(p[1], 5e-8, 1e-20);
  EXPECT_EQ(out.cv.planar, 1);
}

TEST(Merging, AChainOfCurvesOfMixedOrders) {
  std::mt19937 rng(7);
  TestCurve c0(4, {0, 0, 0, 1, 1, 0, 2, 1, 0, 3, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  TestCurve c1(2, {3, 0, 0, 4, 0, 0}, {0, 0, 1, 1});
  // The third is given backwards and rational, with a stale weights pointer on the polynomial one.
  TestCurve c2(3, {6, 1, 0, 5, 2, 0, 4, 0, 0}, {0, 0, 0, 1, 1, 1}, {1, 3, 1});
  double stale = 42;
  c1.cv.weights = &stale;
  c1.cv.phy_closed = 1;  // cleared for the merge and put back
  VOQbsp_curve *list[3] = {&c0.cv, &c1.cv, &c2.cv};
  HeapCurve room(nullptr);
  {
    VOQbsp_curve *r = nullptr;
    int arc = 0;
    BSallocvoqcv(4, 20, 1, 0, &r, &arc);
    room.reset(r);
  }
  VOQbsp_curve *out = room.get();
  int rc = 0;
  BSmergarrcv(3, list, &out, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(c1.cv.weights, &stale);
  EXPECT_EQ(c1.cv.phy_closed, 1);
  EXPECT_EQ(out->order, 4);
  EXPECT_EQ(range_start(*out), 0);
  EXPECT_EQ(range_end(*out), 1);
  expect_same_points(c0.cv, *out, 0, 1, [](double u) { return u / 3; }, rng);
  expect_same_points(c1.cv, *out, 0, 1, [](double u) { return (u + 1) / 3; }, rng);
  expect_same_points(c2.cv, *out, 0, 1, [](double u) { return (3 - u) / 3; }, rng);
  BSmergarrcv(1, list, &out, &rc);
  EXPECT_EQ(rc, -2);
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/bspline/measure_fixtures.h"

namespace {

std::vector<double> nodes_of(int order, const std::vector<double> &knots, int between) {
  std::vector<double> out(4 * knots.size() * (between + 1) + 8, -1);
  int count = -1, rc = 0;
  BSnodevals(static_cast<std::int16_t>(order), static_cast<int>(knots.size()), knots.data(), between, &count,
             out.data(), &rc);
  EXPECT_EQ(rc, 0);
  out.resize(count > 0 ? count : 0);
  return out;
}

void expect_values(const std::vector<double> &got, const std::vector<double> &want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-15) << i;
}

TEST(NodeValues, GrevilleAbscissaeWithPointsBetween) {
  const std::vector<double> knots = {0, 0, 0, 0, 1, 2, 2, 2, 2};
  expect_values(nodes_of(4, knots, 0), {0, 1.0 / 3, 1, 5.0 / 3, 2});
  expect_values(nodes_of(4, knots, 1), {0, 1.0 / 6, 1.0 / 3, 2.0 / 3, 1, 4.0 / 3, 5.0 / 3, 11.0 / 6, 2});
  // The pole at a C0 joint sits exactly on it, even when its knots differ by less than the tolerance.
  const std::vector<double> joint = {0, 0, 0, 0, 1 - 2e-7, 1, 1 + 2e-7, 2, 2, 2, 2};
  const std::vector<double> n = nodes_of(4, joint, 0);
  ASSERT_EQ(n.size(), 7u);
  EXPECT_EQ(n[3], 1 - 2e-7);
  int count = 0, rc = 0;
  double out[4];
  BSnodevals(1, 3, joint.data(), 0, &count, out, &rc);
  EXPECT_EQ(rc, -2) << "order 1 has no nodes";
}

TEST(NodeValues, RangeAndPeriodRestrictTheNodes) {
  const std::vector<double> knots = {0, 0, 0, 0, 1, 2, 2, 2, 2};
  std::vector<double> out(20);
  int count = 0, rc = 0;
  const double range[2] = {0.2, 1.5};
  BSnodvalrg(4, BSFALSE, 9, knots.data(), 0, 0.1, BSTRUE, range, &count, out.data(), &rc);
  ASSERT_EQ(rc, 0);
  out.resize(count);
  expect_values(out, {0.2, 1.0 / 3, 1, 1.5});
  // A uniform periodic quadratic: knots 0..7, one period [2, 5]; nodes at the midpoints, the period's ends added.
  const std::vector<double> periodic = {0, 1, 2, 3, 4, 5, 6, 7};
  out.assign(20, 0);
  BSnodvalrg(3, BSTRUE, 8, periodic.data(), 0, 0, BSFALSE, nullptr, &count, out.data(), &rc);
  ASSERT_EQ(rc, 0);
  out.resize(count);
  expect_values(out, {2, 2.5, 3.5, 4.5, 5});
}

TEST(NodeValues, CurvePointsAtTheNodes) {
  TestCurve c(3, {0, 0, 0, 1, 2, 0, 3, 1, 0, 4, 4, 1}, {0, 0, 0, 1, 3, 3, 3});
  std::vector<double> nodes(20), pts(60);
  int count = 0, rc = 0;
  BScvnodpts(&c.cv, 1, &count, nodes.data(), pts.data(), &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(count, 7);
  for (int i = 0; i < count; ++i) {
    double ref[3];
    ref_point(c, nodes[i], ref);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(pts[3 * i + k], ref[k], 1e-13);
  }
}

TEST(NodeValues, SpansOfASortedParameterList) {
  const std::vector<double> knots = {0, 0, 0, 1, 2, 3, 3, 3};  // order 3, 5 poles
  const std::vector<double> params = {1, 1.5, 2, 2, 3, 4};
  std::vector<int> spans(6);
  int rc = 0;
  BSfndspnarr(3, 5, 6, params.data(), knots.data(), spans.data(), &rc);
  // The first parameter takes the span to the right of its knot; a later one at a knot, the span to its left;
  // beyond the range, the last span.
  EXPECT_EQ(spans, (std::vector<int>{3, 3, 3, 3, 4, 4}));
  const std::vector<double> before = {0.5, 1};
  BSfndspnarr(3, 5, 2, before.data(), knots.data(), spans.data(), &rc);
  EXPECT_EQ(spans[0], 2);
  EXPECT_EQ(spans[1], 2);
  const std::vector<double> past = {5};
  BSfndspnarr(3, 5, 1, past.data(), knots.data(), spans.data(), &rc);
  EXPECT_EQ(spans[0], 4);

  double u = -3;
  BSclamppar(knots.data(), 3, 5, &u, &rc);
  EXPECT_EQ(u, 0);
  u = 3.5;
  BSclamppar(knots.data(), 3, 5, &u, &rc);
  EXPECT_EQ(u, 3);
  u = 1.25;
  BSclamppar(knots.data(), 3, 5, &u, &rc);
  EXPECT_EQ(u, 1.25);
}

}  // namespace

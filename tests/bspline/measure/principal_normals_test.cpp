#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/bspline/measure_fixtures.h"

namespace {

struct Normals {
  BSboolean ok = 7, two = 7;
  int rc = -99;
  double left[3] = {99, 99, 99}, right[3] = {99, 99, 99};
};

Normals normals(const VOQbsp_curve &cv, double u) {
  Normals n;
  n.ok = BSprncp_nor(&n.rc, &cv, &u, n.left, n.right, &n.two);
  return n;
}

void expect_vec(const double *v, double x, double y, double z) {
  EXPECT_NEAR(v[0], x, 1e-12);
  EXPECT_NEAR(v[1], y, 1e-12);
  EXPECT_NEAR(v[2], z, 1e-12);
}

TEST(PrincipalNormals, PolylinesHaveNormalsOnlyAtTheirCorners) {
  TestCurve segment(2, {0, 0, 0, 1, 0, 0}, {0, 0, 1, 1});
  Normals n = normals(segment.cv, 0.5);
  EXPECT_EQ(n.ok, BSFALSE);
  EXPECT_EQ(n.rc, -12);
  EXPECT_EQ(n.left[0], 99) << "nothing evaluated or written";

  TestCurve corner(2, {0, 0, 0, 1, 0, 0, 1, 1, 0}, {0, 0, 1, 2, 2});
  n = normals(corner.cv, 1);
  ASSERT_EQ(n.ok, BSTRUE);
  EXPECT_EQ(n.two, 1);
  expect_vec(n.left, 0, 1, 0);   // perpendicular to the incoming leg, into the corner
  expect_vec(n.right, -1, 0, 0);  // perpendicular to the outgoing one
  EXPECT_EQ(normals(corner.cv, 0.5).rc, -12) << "inside a straight leg";
  EXPECT_EQ(normals(corner.cv, 1 + 1e-9).rc, -12) << "next to the knot is one-sided";

  TestCurve straight(2, {0, 0, 0, 1, 0, 0, 3, 0, 0}, {0, 0, 1, 2, 2});
  n = normals(straight.cv, 1);
  EXPECT_EQ(n.ok, BSFALSE);
  EXPECT_EQ(n.rc, -12);
}

TEST(PrincipalNormals, CircleNormalsPointToTheCentre) {
  auto circle = circular_arc(3, 0, 2 * M_PI, 4, 1, 2, 0);
  for (double u : {0.3, 1.6, 2.95}) {
    Normals n = normals(circle->cv, u);
    ASSERT_EQ(n.ok, BSTRUE) << u;
    EXPECT_EQ(n.two, 0);
    EXPECT_EQ(n.right[0], 99) << "one side: right is not written";
    double p[3];
    int rc = 0;
    BScveval_n(&circle->cv, u, 0, p, &rc);
    expect_vec(n.left, (1 - p[0]) / 3, (2 - p[1]) / 3, 0);
  }
  // Between two arcs both sides give the same normal.
  Normals n = normals(circle->cv, 1);
  ASSERT_EQ(n.ok, BSTRUE);
  EXPECT_EQ(n.two, 0);
  expect_vec(n.left, 0, -1, 0);
}

TEST(PrincipalNormals, TangentJoinsAtADoubleKnot) {
  const std::vector<double> knots = {0, 0, 0, 0, 1, 1, 2, 2, 2, 2};
  // Straight up to the knot, then curving towards +y with the same tangent: the curved side's normal, once.
  TestCurve after(4, {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0, 4, 1, 0, 5, 3, 0}, knots);
  Normals n = normals(after.cv, 1);
  ASSERT_EQ(n.ok, BSTRUE);
  EXPECT_EQ(n.two, 0);
  expect_vec(n.left, 0, 1, 0);
  TestCurve before(4, {5, 3, 0, 4, 1, 0, 3, 0, 0, 2, 0, 0, 1, 0, 0, 0, 0, 0}, knots);
  n = normals(before.cv, 1);
  ASSERT_EQ(n.ok, BSTRUE);
  EXPECT_EQ(n.two, 0);
  expect_vec(n.left, 0, 1, 0);
  // An S-bend: the curvature changes side at the knot.
  TestCurve s(4, {0, 0, 0, 1, 3, 0, 2, 2, 0, 3, 2, 0, 4, 1, 0, 5, 3, 0}, knots);
  n = normals(s.cv, 1);
  ASSERT_EQ(n.ok, BSTRUE);
  EXPECT_EQ(n.two, 1);
  expect_vec(n.left, 0, 1, 0);
  expect_vec(n.right, 0, -1, 0);
}

TEST(PrincipalNormals, InflectionInsideASpan) {
  TestCurve s(4, {0, 0, 0, 1, 1, 0, 2, -1, 0, 3, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1});
  Normals n = normals(s.cv, 0.5);
  EXPECT_EQ(n.ok, BSFALSE);
  EXPECT_EQ(n.rc, -12);
  n = normals(s.cv, 0.25);
  ASSERT_EQ(n.ok, BSTRUE);
  EXPECT_LT(n.left[1], 0) << "bending down before the inflection";
}

}  // namespace

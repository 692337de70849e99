#include <gtest/gtest.h>

#include <cmath>

#include "bspline/numerics.h"
#include "tests/bspline/curve_fixtures.h"
#include "tests/bspline/numerics_fixtures.h"

namespace {

const double kLine[12] = {0, 0, 0, 1, 1, 0, 2, 2, 0, 3, 3, 0};
const double kSquare[12] = {0, 0, 1, 2, 0, 1, 2, 2, 1, 0, 2, 1};
const double kCube[24] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0, 0, 0, 1, 1, 0, 1, 0, 1, 1, 1, 1, 1};
const double kSame[9] = {4, 5, 6, 4, 5, 6, 4, 5, 6};

TEST(Planarity, PlanarFlagOnlyForATruePlane) {
  BSboolean planar = 7;
  double normal[3] = {9, 9, 9};
  int rc = 0;
  BStst_plan(4, kLine, nullptr, &planar, normal, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(planar, 0);
  EXPECT_NEAR(std::fabs(normal[0]), std::sqrt(0.5), 1e-15) << "collinear poles: the line direction";
  BStst_plan(4, kSquare, nullptr, &planar, normal, &rc);
  EXPECT_EQ(planar, 1);
  EXPECT_NEAR(std::fabs(normal[2]), 1.0, 1e-15);
  BStst_plan(8, kCube, nullptr, &planar, normal, &rc);
  EXPECT_EQ(planar, 0);
  EXPECT_EQ(normal[0], 0.0);
  EXPECT_EQ(normal[2], 0.0);
}

TEST(Planarity, KindsAndVectors) {
  BSboolean kind = 9;
  double vec[3] = {9, 9, 9};
  int rc = 0;
  BSplanar2(3, kSame, nullptr, &kind, vec, &rc);
  EXPECT_EQ(kind, BSKIND_POINT);
  EXPECT_EQ(vec[0], 0.0);
  BSplanar2(4, kLine, nullptr, &kind, vec, &rc);
  EXPECT_EQ(kind, BSKIND_LINE);
  BSplanar2(4, kSquare, nullptr, &kind, vec, &rc);
  EXPECT_EQ(kind, BSKIND_PLANE);
  BSplanar2(8, kCube, nullptr, &kind, vec, &rc);
  EXPECT_EQ(kind, BSKIND_NONE);
  EXPECT_EQ(vec[0], 0.0);
  EXPECT_EQ(vec[1], 0.0);
  EXPECT_EQ(vec[2], 0.0);

  // The 32-bit variant ignores its second argument entirely.
  int ikind = -5;
  for (int ignored : {0, -1, 12345}) {
    BSptlnplan(4, ignored, kSquare, nullptr, &ikind, vec, &rc);
    EXPECT_EQ(ikind, BSKIND_PLANE);
  }
}

TEST(Planarity, Collinearity) {
  int rc = 0;
  const double o[3] = {0, 0, 0}, x[3] = {1, 0, 0}, near[3] = {2, 0.0000001, 0}, y[3] = {0, 1, 0};
  EXPECT_EQ(BScollin(&rc, o, x, near), BSTRUE);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(BScollin(&rc, o, x, y), BSFALSE);
  EXPECT_EQ(BScollin(&rc, o, o, o), BSTRUE) << "coincident points count as collinear";

  BSboolean flag = 5;
  BScollinmn2(4, kLine, nullptr, &flag, &rc);
  EXPECT_EQ(flag, 1);
  BScollinmn2(4, kSquare, nullptr, &flag, &rc);
  EXPECT_EQ(flag, 0);

  // Four poles 1e-3 apart along x, spread across it by f dist_tol (root mean square) along y alone or along y and
  // z alike: collinear below f = 1. The curve routine, which settles clearly bent poles without the
  // decomposition, must agree with the decomposition on both sides of that boundary.
  const double tol = BStoltab[bstol::dist_tol];
  struct {
    double f;
    bool both;
    BSboolean collinear;
  } const spreads[] = {{0.5, false, 1}, {0.99, false, 1}, {1.01, false, 0}, {2.5, false, 0}, {1e4, false, 0},
                       {0.9, true, 1},  {1.1, true, 0},   {3, true, 0}};
  for (const auto &c : spreads) {
    // Centred, the y pattern (1, -1, -1, 1) and the z pattern (1, -3, 3, -1) are orthogonal to each other and to
    // the spacing along x; their norms are 2 and sqrt(20), and the root mean square takes a half.
    const double a = c.f * tol, b = c.both ? c.f * tol / std::sqrt(5.0) : 0;
    const std::vector<double> poles = {0, a, b, 1e-3, -a, -3 * b, 2e-3, -a, 3 * b, 3e-3, a, -b};
    TestCurve cv(4, poles, {0, 0, 0, 0, 1, 1, 1, 1});
    BSboolean by_curve = 5, by_points = 5;
    BScollinmn3(&cv.cv, &by_curve, &rc);
    ASSERT_EQ(rc, 0);
    BScollinmn2(4, poles.data(), nullptr, &by_points, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(by_points, c.collinear) << c.f << " " << c.both;
    EXPECT_EQ(by_curve, by_points) << c.f << " " << c.both;
  }
}

TEST(Planarity, UnevenWeightsAreUndecided) {
  // Weighted collinear points (each record its point times its weight).
  const double w_ok[3] = {1, 2, 1};
  const double pts[9] = {0, 0, 0, 2, 2, 2, 2, 2, 2};
  BSboolean flag = 5;
  int rc = 0;
  BScollinmn2(3, pts, w_ok, &flag, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(flag, 1);

  const double w_bad[3] = {1, 1, 0.1};
  flag = 5;
  BStraceclear();
  BScollinmn2(3, pts, w_bad, &flag, &rc);
  EXPECT_EQ(rc, 49);
  EXPECT_EQ(flag, 5) << "written only on success";
  ASSERT_EQ(BStracecount(), 1);
  EXPECT_STREQ(BStracetable()[0].name, "BScollinmn2");

  BSboolean planar = 5, kind = 5;
  double v[3] = {9, 9, 9};
  BStst_plan(3, pts, w_bad, &planar, v, &rc);
  EXPECT_EQ(rc, 49);
  EXPECT_EQ(planar, 0);
  EXPECT_EQ(v[0], 0.0);
  BSplanar2(3, pts, w_bad, &kind, v, &rc);
  EXPECT_EQ(rc, 49);
  EXPECT_EQ(kind, 0);
  const double w_zero[3] = {0, 0, 0};
  BSplanar2(3, pts, w_zero, &kind, v, &rc);
  EXPECT_EQ(rc, 49) << "no positive weight: nothing to divide by";

  // Weights that pass: the points divided by them lie in a plane.
  const double sq_w[4] = {1, 2, 1, 2};
  double sq[12];
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 3; ++k) sq[3 * i + k] = kSquare[3 * i + k] * sq_w[i];
  BSplanar2(4, sq, sq_w, &kind, v, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(kind, BSKIND_PLANE);
  BStraceclear();
}

TEST(Planarity, FourPointsSpanningAPlane) {
  int rc = 0;
  EXPECT_EQ(BSpoint3(&rc, kSquare, kSquare + 3, kSquare + 6, kSquare + 9), BSTRUE);
  EXPECT_EQ(BSpoint3(&rc, kLine, kLine + 3, kLine + 6, kLine + 9), BSFALSE) << "collinear: no single plane";
  EXPECT_EQ(BSpoint3(&rc, kCube, kCube + 3, kCube + 6, kCube + 12), BSFALSE);
}

TEST(Planarity, CurveCollinearityRefinesUnevenWeightsOnce) {
  const std::vector<double> knots = {0, 0, 0, 1, 2, 2, 2};
  const std::vector<double> on_x = {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0};
  const std::vector<double> zigzag = {0, 0, 0, 1, 1, 0, 2, 0, 0, 3, 1, 0};
  BSboolean flag = 5;
  int rc = 0;

  TestCurve plain(3, on_x, knots);
  BScollinmn3(&plain.cv, &flag, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(flag, 1);

  // A weight below a quarter of the mean: undecided on the poles, decided on the refined curve, whose weights
  // are blends of neighbours.
  const int before = BSscratchheapblocks();
  TestCurve uneven_line(3, on_x, knots, {1, 1, 0.1, 1});
  flag = 5;
  BScollinmn3(&uneven_line.cv, &flag, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(flag, 1);
  TestCurve uneven_zigzag(3, zigzag, knots, {1, 1, 0.1, 1});
  BScollinmn3(&uneven_zigzag.cv, &flag, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(flag, 0);

  // Still too uneven after one refinement: the second 49 goes to the caller.
  TestCurve hopeless(3, on_x, knots, {1, 0.01, 0.01, 1});
  flag = 5;
  BStraceclear();
  BScollinmn3(&hopeless.cv, &flag, &rc);
  EXPECT_EQ(rc, 49);
  EXPECT_EQ(flag, 5);
  ASSERT_GE(BStracecount(), 1);
  EXPECT_STREQ(BStracetable()[BStracecount() - 1].name, "BScollinmn3");
  EXPECT_EQ(BSscratchheapblocks(), before);

  BScollinmn3(nullptr, &flag, &rc);
  EXPECT_EQ(rc, 3);
  BStraceclear();
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>

#include "bspline/core/test_support.h"
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

// Where positive-weighted points lie does not depend on how their weights compare: each routine decides the
// records (points times weights) as it decides the points themselves, whatever the spread of the weights, near the
// origin, far from it and at a small scale; the vector is the points' own line direction or plane normal.
TEST(Planarity, WeightsNeverChangeTheShape) {
  // Five points of each shape (a line along l, a plane with normal m).
  const double l[3] = {1, 2, 0.5}, m[3] = {0, -1, 1};
  const double along[5] = {0, 0.7, 1.3, 2, 3.1};
  const double in_plane[5][2] = {{0, 0}, {1, 0}, {0, 1}, {1.5, 2}, {-0.5, 0.7}};  // on (1,0,0) and (0,1,1)
  const double spatial[5][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.3, 0.4, 0.6}};
  auto shape_points = [&](int kind, int i, double p[3]) {
    for (int c = 0; c < 3; ++c)
      p[c] = kind == BSKIND_POINT  ? 0.0
             : kind == BSKIND_LINE ? along[i] * l[c]
             : kind == BSKIND_PLANE ? (c == 0 ? in_plane[i][0] : in_plane[i][1])
                                    : spatial[i][c];
  };
  const std::vector<double> even = {1, 1, 1, 1, 1}, spread = {1e-3, 1e3, 0.02, 50, 1},
                            one_light = {1e3, 1e3, 1e-3, 1e3, 1e3}, one_heavy = {1e-3, 1e-3, 1e-3, 1e3, 1e-3};
  struct Row {
    int kind;
    const std::vector<double> *w;
    double scale, shift[3];
  } const rows[] = {
      {BSKIND_POINT, &spread, 1, {0, 0, 0}},        {BSKIND_POINT, &one_light, 1, {1e7, -1e7, 3e6}},
      {BSKIND_LINE, &even, 1, {0, 0, 0}},           {BSKIND_LINE, &spread, 1, {0, 0, 0}},
      {BSKIND_LINE, &one_light, 1, {1e6, 2e5, -3e6}}, {BSKIND_LINE, &one_heavy, 1e-3, {0, 0, 0}},
      {BSKIND_LINE, &spread, 1e-3, {1e5, 1e5, 0}},  {BSKIND_PLANE, &even, 1, {0, 0, 0}},
      {BSKIND_PLANE, &spread, 1, {0, 0, 0}},        {BSKIND_PLANE, &one_light, 1, {-1e7, 4e6, 1e6}},
      {BSKIND_PLANE, &one_heavy, 1e-3, {0, 0, 0}},  {BSKIND_PLANE, &spread, 1e-3, {3e5, 0, 1e5}},
      {BSKIND_NONE, &spread, 1, {0, 0, 0}},         {BSKIND_NONE, &one_light, 1e-3, {1e6, 1e6, 1e6}},
  };
  const double *want_vec[5] = {nullptr, nullptr, l, m, nullptr};
  for (const Row &r : rows) {
    std::vector<double> cartesian(15), records(15);
    for (int i = 0; i < 5; ++i) {
      shape_points(r.kind, i, &cartesian[3 * i]);
      for (int c = 0; c < 3; ++c) {
        cartesian[3 * i + c] = cartesian[3 * i + c] * r.scale + r.shift[c];
        records[3 * i + c] = cartesian[3 * i + c] * (*r.w)[i];
      }
    }
    const std::string what = "kind " + std::to_string(r.kind) + " weights " + std::to_string((*r.w)[0]) +
                             " scale " + std::to_string(r.scale) + " shift " + std::to_string(r.shift[0]);
    int rc = 0;
    BSboolean kind16 = 0;
    double vec[3] = {9, 9, 9};
    BSplanar2(5, records.data(), r.w->data(), &kind16, vec, &rc);
    ASSERT_EQ(rc, 0) << what;
    EXPECT_EQ(kind16, r.kind) << what;
    if (const double *want = want_vec[r.kind]) {
      const double cosine = (vec[0] * want[0] + vec[1] * want[1] + vec[2] * want[2]) /
                            std::sqrt(want[0] * want[0] + want[1] * want[1] + want[2] * want[2]);
      EXPECT_NEAR(std::fabs(cosine), 1.0, 1e-9) << what;
    }
    int kind32 = 0;
    double vec32[3];
    BSptlnplan(5, 1, records.data(), r.w->data(), &kind32, vec32, &rc);
    ASSERT_EQ(rc, 0) << what;
    EXPECT_EQ(kind32, r.kind) << what;
    BSboolean planar = 5;
    double normal[3];
    BStst_plan(5, records.data(), r.w->data(), &planar, normal, &rc);
    ASSERT_EQ(rc, 0) << what;
    EXPECT_EQ(planar, r.kind == BSKIND_PLANE ? 1 : 0) << what;
    const BSboolean on_line = r.kind == BSKIND_POINT || r.kind == BSKIND_LINE ? 1 : 0;
    BSboolean collinear = 5;
    BScollinmn2(5, records.data(), r.w->data(), &collinear, &rc);
    ASSERT_EQ(rc, 0) << what;
    EXPECT_EQ(collinear, on_line) << what;
    TestCurve cv(3, cartesian, {0, 0, 0, 1, 2, 3, 3, 3}, *r.w);
    collinear = 5;
    BScollinmn3(&cv.cv, &collinear, &rc);
    ASSERT_EQ(rc, 0) << what;
    EXPECT_EQ(collinear, on_line) << what;
  }
}

// A weight that is not positive puts its point at infinity (or behind it): the point routines leave such a set
// undecided, with their outputs as they were cleared.
TEST(Planarity, WeightsNotPositiveAreUndecided) {
  const double pts[9] = {0, 0, 0, 2, 2, 2, 2, 2, 2};
  const double zero_one[3] = {1, 0, 1}, negative[3] = {1, -2, 1}, zeros[3] = {0, 0, 0};
  for (const double *w : {zero_one, negative, zeros}) {
    BSboolean flag = 5;
    int rc = 0;
    BStraceclear();
    BScollinmn2(3, pts, w, &flag, &rc);
    EXPECT_EQ(rc, 49);
    EXPECT_EQ(flag, 5) << "written only on success";
    ASSERT_EQ(BStracecount(), 1);
    EXPECT_STREQ(BStracetable()[0].name, "BScollinmn2");

    BSboolean planar = 5, kind = 5;
    double v[3] = {9, 9, 9};
    BStst_plan(3, pts, w, &planar, v, &rc);
    EXPECT_EQ(rc, 49);
    EXPECT_EQ(planar, 0);
    EXPECT_EQ(v[0], 0.0);
    BSplanar2(3, pts, w, &kind, v, &rc);
    EXPECT_EQ(rc, 49);
    EXPECT_EQ(kind, 0);
  }
  BStraceclear();
}

TEST(Planarity, FourPointsSpanningAPlane) {
  int rc = 0;
  EXPECT_EQ(BSpoint3(&rc, kSquare, kSquare + 3, kSquare + 6, kSquare + 9), BSTRUE);
  EXPECT_EQ(BSpoint3(&rc, kLine, kLine + 3, kLine + 6, kLine + 9), BSFALSE) << "collinear: no single plane";
  EXPECT_EQ(BSpoint3(&rc, kCube, kCube + 3, kCube + 6, kCube + 12), BSFALSE);
}

TEST(Planarity, CurveCollinearityRefinesWeightsNotPositiveOnce) {
  const std::vector<double> knots = {0, 0, 0, 1, 2, 2, 2};
  const std::vector<double> on_x = {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0};
  const std::vector<double> zigzag = {0, 0, 0, 1, 1, 0, 2, 0, 0, 3, 1, 0};
  BSboolean flag = 5;
  int rc = 0;

  TestCurve plain(3, on_x, knots);
  BScollinmn3(&plain.cv, &flag, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(flag, 1);

  // A zero weight: undecided on the poles, decided on the refined curve, whose weights are blends of neighbours.
  const int before = BSscratchheapblocks();
  TestCurve uneven_line(3, on_x, knots, {1, 1, 0, 1});
  flag = 5;
  BScollinmn3(&uneven_line.cv, &flag, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(flag, 1);
  TestCurve uneven_zigzag(3, zigzag, knots, {1, 1, 0, 1});
  BScollinmn3(&uneven_zigzag.cv, &flag, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(flag, 0);

  // Still a zero weight after one refinement: the second 49 goes to the caller.
  TestCurve hopeless(3, on_x, knots, {1, 0, 0, 1});
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

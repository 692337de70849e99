#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "bspline/bspline.h"

namespace {

double dot(const double *a, const double *b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void expect_vec(const double *v, double x, double y, double z) {
  EXPECT_EQ(v[0], x);
  EXPECT_EQ(v[1], y);
  EXPECT_EQ(v[2], z);
}

TEST(Frames, AxisDirectionsGiveFixedFrames) {
  int rc = 0;
  double z[3], x[3], y[3];
  const double down[3] = {0, 0, -5};
  ASSERT_EQ(BSbasisvect(&rc, down, z, x, y), BSTRUE);
  expect_vec(z, 0, 0, -1);
  expect_vec(x, 0, 1, 0);
  expect_vec(y, 1, 0, 0);
  const double negx[3] = {-2, 1e-16, 0};
  BSbasisvect(&rc, negx, z, x, y);
  expect_vec(z, -1, 0, 0);
  expect_vec(x, 0, 0, 1);
  expect_vec(y, 0, 1, 0);
  const double posy[3] = {0, 3, 0};
  BSbasisvect(&rc, posy, z, x, y);
  expect_vec(x, 0, 0, 1);
  expect_vec(y, 1, 0, 0);
  const double none[3] = {0, 0, 0};
  EXPECT_EQ(BSbasisvect(&rc, none, z, x, y), BSFALSE);
  EXPECT_EQ(rc, -6);
}

TEST(Frames, GeneralDirectionsGiveRightHandedOrthonormalFrames) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> d(-1, 1);
  for (int i = 0; i < 200; ++i) {
    const double dir[3] = {d(rng), d(rng), d(rng)};
    double z[3], x[3], y[3], zx[3];
    int rc = 0;
    ASSERT_EQ(BSbasisvect(&rc, dir, z, x, y), BSTRUE);
    EXPECT_NEAR(dot(x, x), 1, 1e-14);
    EXPECT_NEAR(dot(y, y), 1, 1e-14);
    EXPECT_NEAR(dot(x, z), 0, 1e-14);
    EXPECT_NEAR(dot(y, z), 0, 1e-14);
    BSvcross(&rc, x, y, zx);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(zx[k], z[k], 1e-14);
    // x lies in the plane of z's two larger components.
    int smallest = 0;
    for (int k = 1; k < 3; ++k)
      if (std::fabs(z[k]) < std::fabs(z[smallest])) smallest = k;
    EXPECT_EQ(x[smallest], 0.0);
  }
}

TEST(Frames, PointMapsAreInverseAndCarryWeights) {
  const double o[3] = {1, -2, 3};
  const double c = std::cos(0.4), s = std::sin(0.4);
  const double M[9] = {c, -s, 0, s, c, 0, 0, 0, 1};
  const double in[6] = {2, 4, 6, -1, 0.5, 2};
  const double w[2] = {2, 0.5};
  double mid[6], back[6];
  int rc = 0;
  BSptsoldtnw(o, M, 2.0, 2, 1, in, w, mid, &rc);
  BSptsnwtold(o, M, 2.0, 2, 1, mid, w, back, &rc);
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(back[i], in[i], 1e-14);
  // The first point unweighted is (1, 2, 3): old-to-new is s M (p - o).
  EXPECT_NEAR(mid[0] / 2, 2 * (c * 0 - s * 4), 1e-14);
  EXPECT_NEAR(mid[1] / 2, 2 * (s * 0 + c * 4), 1e-14);
  EXPECT_NEAR(mid[2] / 2, 0, 1e-14);
  // In place.
  double same[6] = {2, 4, 6, -1, 0.5, 2};
  BSptsoldtnw(o, M, 2.0, 2, 1, same, w, same, &rc);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(same[i], mid[i]);
}

TEST(Frames, TransformBetweenTwoPlanesIsConsistentWithThePointMaps) {
  std::mt19937 rng(4);
  std::uniform_real_distribution<double> d(-3, 3);
  for (int i = 0; i < 50; ++i) {
    const double o1[3] = {d(rng), d(rng), d(rng)}, n1[3] = {d(rng), d(rng), d(rng)};
    const double o2[3] = {d(rng), d(rng), d(rng)}, n2[3] = {d(rng), d(rng), d(rng)};
    double t[3], M[9], scale = 0;
    int rc = 0;
    ASSERT_EQ(BStrans1(&rc, o1, n1, o2, n2, t, M, &scale), BSTRUE);
    EXPECT_EQ(scale, 1.0);
    // Plane 2 goes onto plane 1: o2 onto o1, the tip of the unit normal n2 onto that of n1.
    double u1[3] = {n1[0], n1[1], n1[2]}, u2[3] = {n2[0], n2[1], n2[2]};
    BSnorvec(&rc, u1);
    BSnorvec(&rc, u2);
    const double pts[6] = {o2[0], o2[1], o2[2], o2[0] + u2[0], o2[1] + u2[1], o2[2] + u2[2]};
    double out[6], back[6];
    BSptsnwtold(t, M, scale, 2, 0, pts, nullptr, out, &rc);
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(out[k], o1[k], 1e-12);
      EXPECT_NEAR(out[3 + k] - out[k], u1[k], 1e-12);
    }
    BSptsoldtnw(t, M, scale, 2, 0, out, nullptr, back, &rc);
    for (int k = 0; k < 6; ++k) EXPECT_NEAR(back[k], pts[k], 1e-12);
  }
  const double zero[3] = {0, 0, 0}, n[3] = {0, 0, 1};
  double t[3], M[9], scale;
  int rc = 0;
  EXPECT_EQ(BStrans1(&rc, zero, zero, zero, n, t, M, &scale), BSFALSE);
  EXPECT_EQ(rc, -13);
  EXPECT_EQ(scale, 0.0);
}

TEST(Frames, RotationAboutAnAxis) {
  const double a[3] = {1, 1, 0}, b[3] = {1, 1, 5};
  const double c[3] = {2, 1, 3};
  double out[3];
  int rc = 0;
  BSboolean sense = 1;
  double angle = M_PI / 2;
  ASSERT_EQ(BSroto(&rc, a, b, &sense, &angle, c, out), BSTRUE);
  EXPECT_NEAR(out[0], 1, 1e-15);
  EXPECT_NEAR(out[1], 2, 1e-15);
  EXPECT_NEAR(out[2], 3, 1e-15);
  sense = 0;  // the axis reversed turns the other way
  ASSERT_EQ(BSroto(&rc, a, b, &sense, &angle, c, out), BSTRUE);
  EXPECT_NEAR(out[1], 0, 1e-15);
  angle = M_PI;  // a new angle replaces the cached one
  BSroto(&rc, a, b, &sense, &angle, c, out);
  EXPECT_NEAR(out[0], 0, 1e-15);
  EXPECT_NEAR(out[1], 1, 1e-15);
  EXPECT_EQ(BSroto(&rc, a, a, &sense, &angle, c, out), BSFALSE);
  EXPECT_EQ(rc, -15);
}

}  // namespace

namespace {

TEST(LocalFrames, FromThreePoints) {
  const double p0[3] = {1, 1, 1}, p1[3] = {3, 1, 1}, p2[3] = {5, 4, 1};
  double f[9];
  int rc = 0;
  BSboolean sense = 1;
  ASSERT_EQ(BSlocalcord(&rc, p0, p1, p2, &sense, f), BSTRUE);
  const double expected[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(f[i], expected[i], 1e-15) << i;
  sense = 0;  // z turns over, y stays
  BSlocalcord(&rc, p0, p1, p2, &sense, f);
  EXPECT_NEAR(f[4], 1, 1e-15);
  EXPECT_NEAR(f[8], -1, 1e-15);
  const double on_line[3] = {7, 1, 1};
  EXPECT_EQ(BSlocalcord(&rc, p0, p1, on_line, &sense, f), BSFALSE);
  EXPECT_EQ(rc, -1);
}

TEST(LocalFrames, FromANormalAgreesWithTheBasisVectors) {
  const double n[3] = {1, 2, 2};
  double f[9], z[3], x[3], y[3];
  int rc = 0;
  BSboolean sense = 1;
  ASSERT_EQ(BStrans2(n, &sense, f, &rc), BSTRUE);
  BSbasisvect(&rc, n, z, x, y);
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(f[k], x[k], 1e-15);
    EXPECT_NEAR(f[3 + k], y[k], 1e-15);
    EXPECT_NEAR(f[6 + k], z[k], 1e-15);
  }
  sense = 0;
  BStrans2(n, &sense, f, &rc);
  EXPECT_NEAR(f[6], -z[0], 1e-15);
  const double none[3] = {0, 0, 0};
  EXPECT_EQ(BStrans2(none, &sense, f, &rc), BSFALSE);
  EXPECT_EQ(rc, -6);
}

TEST(LocalFrames, NormalOfAPlanarCurve) {
  // Poles in the plane z = x (weighted for the rational case).
  double poles[12] = {0, 0, 0, 1, 0, 1, 1, 1, 1, 0, 2, 0};
  double knots[8] = {0, 0, 0, 0, 1, 1, 1, 1};
  VOQbsp_curve cv{4, 0, 0, 4, poles, 8, knots, 0, nullptr, 0, 0, 0, nullptr};
  double normal[3];
  int rc = 0;
  ASSERT_EQ(BScvnormal(&rc, &cv, normal), BSTRUE);
  const double s = std::sqrt(0.5);
  EXPECT_NEAR(std::fabs(normal[0]), s, 1e-12);
  EXPECT_NEAR(normal[1], 0, 1e-12);
  EXPECT_NEAR(normal[0] + normal[2], 0, 1e-12);
  double weights[4] = {1, 2, 0.5, 1};
  double wpoles[12];
  for (int i = 0; i < 12; ++i) wpoles[i] = poles[i] * weights[i / 3];
  VOQbsp_curve rat{4, 0, 0, 4, wpoles, 8, knots, 1, weights, 0, 0, 0, nullptr};
  ASSERT_EQ(BScvnormal(&rc, &rat, normal), BSTRUE);
  EXPECT_NEAR(normal[0] + normal[2], 0, 1e-12);
  poles[11] = 3;  // the last pole leaves the plane
  EXPECT_EQ(BScvnormal(&rc, &cv, normal), BSFALSE);
  EXPECT_EQ(rc, -7);
  cv.num_poles = 2;
  EXPECT_EQ(BScvnormal(&rc, &cv, normal), BSFALSE);
  EXPECT_EQ(rc, -7);
}

}  // namespace

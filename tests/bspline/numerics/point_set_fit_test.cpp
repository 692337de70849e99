#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <random>
#include <string>

#include "bspline/core/test_support.h"
#include "bspline/numerics.h"
#include "tests/bspline/numerics_fixtures.h"

namespace {

struct Fit {
  int rc = 0, type = -99;
  double point[3] = {9, 9, 9}, vec[3] = {9, 9, 9};
  double deviation[3] = {-1, 42, 42};
};

Fit fit(const std::vector<double> &pts, int mode, const std::vector<double> &w = {}) {
  Fit f;
  BSlsqptlnpl(static_cast<int>(pts.size() / 3), pts.data(), w.empty() ? nullptr : w.data(), mode, &f.type, f.point,
              f.vec, f.deviation, &f.rc);
  return f;
}

// Points of a plane through o spanned by a and b, each moved off it by offsets[i] along the unit normal.
std::vector<double> plane_points(std::mt19937 &rng, int n, const double o[3], const double a[3], const double b[3],
                                 const double nrm[3], double off) {
  std::uniform_real_distribution<double> s(-5, 5), e(-off, off);
  std::vector<double> pts;
  for (int i = 0; i < n; ++i) {
    const double u = s(rng), v = s(rng), w = e(rng);
    for (int k = 0; k < 3; ++k) pts.push_back(o[k] + u * a[k] + v * b[k] + w * nrm[k]);
  }
  return pts;
}

double vlen(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

TEST(PointSetFit, Shapes) {
  int shape = 99, rc = 0;
  double c[3], v[3] = {7, 7, 7};
  const double cube[24] = {0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0, 0, 0, 1, 1, 0, 1, 0, 1, 1, 1, 1, 1};
  BSgmprppts3(8, cube, 1e-6, &shape, c, v, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(shape, BSSHAPE_SPATIAL);
  EXPECT_EQ(v[0], 7.0) << "vec untouched for spatial points";
  EXPECT_DOUBLE_EQ(c[2], 0.5);

  const double line[12] = {1, 1, 1, 2, 3, 4, 3, 5, 7, -1, -3, -5};
  BSgmprppts3(4, line, 1e-6, &shape, c, v, &rc);
  EXPECT_EQ(shape, BSSHAPE_COLLINEAR);
  EXPECT_NEAR(std::fabs(v[0] * 1 + v[1] * 2 + v[2] * 3) / std::sqrt(14.0), 1.0, 1e-14);

  const double square[12] = {0, 0, 2, 1, 0, 2, 1, 1, 2, 0, 1, 2};
  BSgmprppts3(4, square, 1e-6, &shape, c, v, &rc);
  EXPECT_EQ(shape, BSSHAPE_COPLANAR);
  EXPECT_NEAR(std::fabs(v[2]), 1.0, 1e-14);

  const double same[9] = {1, 2, 3, 1, 2, 3 + 1e-9, 1, 2, 3};
  BSgmprppts3(3, same, 1e-6, &shape, c, v, &rc);
  EXPECT_EQ(shape, BSSHAPE_COINCIDENT);

  BSgmprppts3(0, same, 1e-6, &shape, c, v, &rc);
  EXPECT_EQ(rc, -2);
  BStraceclear();
}

TEST(PointSetFit, SortsAlongTheDominantAxis) {
  const double pts[12] = {0, 3, 0, 5, 1, 0, -2, 2, 9, 4, 1, 0};
  int order[4], rc = 0;
  const double dir[3] = {0.1, -0.9, 0.2};
  BSsrtptslnv(4, pts, BSFALSE, nullptr, dir, order, &rc);
  ASSERT_EQ(rc, 0);
  // y: 3, 1, 2, 1 -> equal keys keep their order.
  const int want[4] = {1, 3, 2, 0};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(order[i], want[i]);
  // Rational: the coordinate of the unweighted point.
  const double w[4] = {1, 4, 1, 1};
  BSsrtptslnv(4, pts, BSTRUE, w, dir, order, &rc);
  EXPECT_EQ(order[0], 1);
  BSsrtptslnv(1, pts, BSFALSE, nullptr, dir, order, &rc);
  EXPECT_EQ(rc, -2);
  BStraceclear();
}

TEST(PointSetFit, FewPoints) {
  // Two distinct points, even in a plane mode: a line from the first point.
  Fit f = fit({1, 1, 1, 4, 5, 1}, BSFIT_PLANE);
  ASSERT_EQ(f.rc, 0);
  EXPECT_EQ(f.type, BSKIND_LINE);
  EXPECT_EQ(f.point[0], 1.0);
  EXPECT_NEAR(f.vec[0], 0.6, 1e-15);
  EXPECT_NEAR(f.vec[1], 0.8, 1e-15);
  EXPECT_EQ(f.deviation[0], 0.0);
  EXPECT_EQ(f.deviation[1], 42.0) << "one deviation double is written";

  // Three points, two of them equal: the line through the distinct pair.
  for (const auto &pts : {std::vector<double>{0, 0, 0, 0, 0, 0, 3, 4, 0}, std::vector<double>{0, 0, 0, 3, 4, 0, 0, 0, 0},
                          std::vector<double>{3, 4, 0, 0, 0, 0, 0, 0, 0}}) {
    f = fit(pts, BSFIT_PLANE_THICK);
    ASSERT_EQ(f.rc, 0);
    EXPECT_EQ(f.type, BSKIND_LINE);
    EXPECT_NEAR(std::fabs(f.vec[0]), 0.6, 1e-15);
    EXPECT_NEAR(f.point[0], 1.0, 1e-15) << "the centroid";
  }
  // The first point close to both others (but the three not within the point tolerance of their centroid).
  f = fit({0, 0, 0, 0.9e-6, 0, 0, 0, 0.9e-6, 0}, BSFIT_LINE);
  EXPECT_EQ(f.rc, 0);
  EXPECT_EQ(f.type, BSKIND_LINE);

  f = fit({0, 0, 0, 1, 0, 0, 0, 1, 0}, BSFIT_PLANE);
  EXPECT_EQ(f.type, BSKIND_PLANE);
  EXPECT_EQ(f.point[1], 0.0) << "the first point";
  EXPECT_NEAR(f.vec[2], 1.0, 1e-15);
  f = fit({0, 0, 0, 2, 1e-7, 0, 1, 0, 0}, BSFIT_PLANE);
  EXPECT_EQ(f.type, BSKIND_LINE);
  EXPECT_NEAR(std::fabs(f.vec[0]), 1.0, 1e-12);

  // Mode 1.
  f = fit({1, 2, 3, 1 + 1e-7, 2, 3, 1, 2 - 1e-7, 3}, BSFIT_POINT);
  EXPECT_EQ(f.type, BSKIND_POINT);
  f = fit({0, 0, 0, 2, 0, 0}, BSFIT_POINT);
  EXPECT_EQ(f.type, BSKIND_NONE);
  EXPECT_DOUBLE_EQ(f.deviation[0], 1.0);
  f = fit({5, 5, 5, 5, 5, 5 + 1e-8, 5, 5, 5, 5, 5, 5}, BSFIT_PLANE);
  EXPECT_EQ(f.type, BSKIND_POINT);
}

TEST(PointSetFit, SquareLineAndTetrahedron) {
  const std::vector<double> square = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
  Fit f = fit(square, BSFIT_PLANE);
  ASSERT_EQ(f.rc, 0);
  EXPECT_EQ(f.type, BSKIND_PLANE);
  EXPECT_NEAR(std::fabs(f.vec[2]), 1.0, 1e-15);
  EXPECT_DOUBLE_EQ(f.point[0], 0.5);
  EXPECT_DOUBLE_EQ(f.point[1], 0.5);
  EXPECT_EQ(f.point[2], 0.0);
  f = fit(square, BSFIT_LINE);
  EXPECT_EQ(f.type, BSKIND_NONE);
  EXPECT_NEAR(f.deviation[0], 0.5, 1e-15);
  EXPECT_NEAR(vlen(f.vec), 1.0, 1e-15);

  f = fit({0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 1e-7, 0}, BSFIT_PLANE_THICK);
  ASSERT_EQ(f.rc, 0);
  EXPECT_EQ(f.type, BSKIND_LINE);
  EXPECT_NEAR(std::fabs(f.vec[0]), 1.0, 1e-12);

  const double s = 1.0 / std::sqrt(2.0);
  const std::vector<double> tetra = {1, 0, -s, -1, 0, -s, 0, 1, s, 0, -1, s};
  for (int mode : {BSFIT_PLANE, BSFIT_PLANE_THICK}) {
    f = fit(tetra, mode);
    ASSERT_EQ(f.rc, 0);
    EXPECT_EQ(f.type, BSKIND_NONE);
    double above = 0.0, below = 0.0;
    for (int i = 0; i < 4; ++i) {
      const double d = dot(&tetra[3 * i], f.vec, 3);  // the centroid is the origin
      above = std::max(above, d);
      below = std::max(below, -d);
    }
    EXPECT_NEAR(f.deviation[0], mode == BSFIT_PLANE ? std::max(above, below) : above + below, 1e-14);
    EXPECT_GT(f.deviation[0], 0.5);
  }
}

TEST(PointSetFit, NoisyPlanesAndLinesWithinAndBeyondTolerance) {
  std::mt19937 rng(21);
  const double o[3] = {10, -3, 7}, a[3] = {0.6, 0.8, 0}, b[3] = {0, 0, 1}, nrm[3] = {0.8, -0.6, 0};
  for (int n : {4, 10, 250}) {
    const auto flat = plane_points(rng, n, o, a, b, nrm, 2e-7);
    Fit f = fit(flat, BSFIT_PLANE);
    ASSERT_EQ(f.rc, 0);
    EXPECT_EQ(f.type, BSKIND_PLANE) << n;
    EXPECT_NEAR(std::fabs(dot(f.vec, nrm, 3)), 1.0, 1e-12);

    const auto thick = plane_points(rng, n, o, a, b, nrm, 0.01);
    f = fit(thick, BSFIT_PLANE_THICK);
    ASSERT_EQ(f.rc, 0);
    EXPECT_EQ(f.type, BSKIND_NONE) << n;
    EXPECT_GT(f.deviation[0], 1e-6);
    EXPECT_LE(f.deviation[0], 0.03);
    f = fit(thick, BSFIT_LINE);
    EXPECT_EQ(f.type, BSKIND_NONE);
    EXPECT_GT(f.deviation[0], 1.0);

    std::vector<double> line;
    std::uniform_real_distribution<double> t(-3, 3), e(-1e-7, 1e-7);
    for (int i = 0; i < n; ++i) {
      const double u = t(rng), w = e(rng);
      for (int k = 0; k < 3; ++k) line.push_back(o[k] + u * a[k] + w * b[k]);
    }
    for (int mode : {BSFIT_LINE, BSFIT_PLANE, BSFIT_PLANE_THICK}) {
      f = fit(line, mode);
      ASSERT_EQ(f.rc, 0);
      EXPECT_EQ(f.type, BSKIND_LINE) << n << " mode " << mode;
      EXPECT_NEAR(std::fabs(dot(f.vec, a, 3)), 1.0, 1e-10);
    }
  }
}

// Drawing coordinates of hundreds or thousands of units: a line is told from its distances to the fitted line,
// which |d|^2 - (e.d)^2 lost to cancellation once the points lay some 70 units from their centroid.
TEST(PointSetFit, CollinearPointsFarFromTheOriginAreLines) {
  std::mt19937 rng(1809);
  std::uniform_real_distribution<double> unit(-1, 1), where(-1e4, 1e4), extent(0, 3);
  std::uniform_int_distribution<int> count(4, 40);
  for (int trial = 0; trial < 1500; ++trial) {
    // The first: ten points 180 long at (1000, -500, 250), once "not a line" in mode 2 and a plane in 3 and 4.
    double dir[3] = {1, 0, 0}, base[3] = {1000, -500, 250}, span = 90;
    int n = 10;
    if (trial > 0) {
      for (double &x : dir) x = unit(rng);
      const double len = vlen(dir);
      for (double &x : dir) x /= len;
      for (double &x : base) x = where(rng);
      span = std::pow(10.0, extent(rng)) / 2;
      n = count(rng);
    }
    std::vector<double> pts;
    for (int i = 0; i < n; ++i) {
      const double s = trial == 0 ? 20.0 * i - span : span * unit(rng);
      for (int k = 0; k < 3; ++k) pts.push_back(base[k] + s * dir[k]);
    }
    for (int mode : {BSFIT_LINE, BSFIT_PLANE, BSFIT_PLANE_THICK}) {
      const Fit f = fit(pts, mode);
      ASSERT_EQ(f.rc, 0) << trial;
      EXPECT_EQ(f.type, BSKIND_LINE) << "trial " << trial << " mode " << mode << " extent " << 2 * span;
      EXPECT_NEAR(std::fabs(dot(f.vec, dir, 3)), 1.0, 1e-9) << trial;
    }
  }
}

std::vector<std::string> called;
void record_call(const char *name, int *) { called.emplace_back(name); }

TEST(PointSetFit, IllConditionedMomentsFallBackToSingularValues) {
  // Spread over 1e6 along x and 0.2 along z, 1e-6 thick along y: the smallest moment is below 1e-14 of the
  // largest yet not below 1e-12, so the singular values decide.
  std::vector<double> pts;
  for (int i = 0; i < 20; ++i) pts.insert(pts.end(), {i * 5e4, (i % 2) * 1e-6, (i % 3) * 1e-1});
  called.clear();
  BSsetfaulthook(record_call);
  Fit f = fit(pts, BSFIT_PLANE);
  BSsetfaulthook(nullptr);
  ASSERT_EQ(f.rc, 0);
  EXPECT_NE(std::find(called.begin(), called.end(), "bssingval"), called.end());
  EXPECT_EQ(f.type, BSKIND_PLANE);
  EXPECT_NEAR(std::fabs(f.vec[1]), 1.0, 1e-9);
  f = fit(pts, BSFIT_LINE);
  ASSERT_EQ(f.rc, 0);
  EXPECT_EQ(f.type, BSKIND_NONE);
  EXPECT_NEAR(std::fabs(f.vec[0]), 1.0, 1e-12);
  EXPECT_GT(f.deviation[0], 0.05);
  // Thicker along y: beyond the plane tolerance, the deviation measured from the singular plane.
  for (int i = 0; i < 20; ++i) pts[3 * i + 1] = (i % 2) * 1e-5;
  f = fit(pts, BSFIT_PLANE_THICK);
  ASSERT_EQ(f.rc, 0);
  EXPECT_EQ(f.type, BSKIND_NONE);
  double above = 0.0, below = 0.0;
  for (int i = 0; i < 20; ++i) {
    double d[3];
    for (int k = 0; k < 3; ++k) d[k] = pts[3 * i + k] - f.point[k];
    above = std::max(above, dot(d, f.vec, 3));
    below = std::max(below, -dot(d, f.vec, 3));
  }
  EXPECT_NEAR(f.deviation[0], above + below, 1e-12);
  EXPECT_GT(f.deviation[0], 5e-6);
  EXPECT_LT(f.deviation[0], 2e-5);
}

TEST(PointSetFit, WeightsAndRefusals) {
  // Weighted points are divided by their weights.
  const std::vector<double> pts = {0, 0, 0, 2, 0, 0, 4, 4, 0, 0, 2, 0};
  Fit f = fit(pts, BSFIT_PLANE, {1, 2, 4, 2});
  ASSERT_EQ(f.rc, 0);
  EXPECT_EQ(f.type, BSKIND_PLANE);
  EXPECT_DOUBLE_EQ(f.point[0], 0.5);

  f = fit(pts, BSFIT_PLANE, {1, 1, 0.1, 1});
  EXPECT_EQ(f.rc, 49);
  f = fit(pts, BSFIT_PLANE, {0, 0, 0, 0});
  EXPECT_EQ(f.rc, 49) << "all-zero weights must not divide by zero";
  f = fit(pts, 0);
  EXPECT_EQ(f.rc, -2);
  f = fit(pts, 5);
  EXPECT_EQ(f.rc, -2);
  f = fit({}, BSFIT_LINE);
  EXPECT_EQ(f.rc, -2);
  f = fit({1e16, 0, 0, -1e16, 0, 0, 0, 1e16, 0, 0, 0, 1e16}, BSFIT_PLANE);
  EXPECT_EQ(f.rc, -3);
  // Points spread wider than the square root of the double range: no squared distance is finite.
  for (int mode : {BSFIT_POINT, BSFIT_LINE, BSFIT_PLANE}) {
    f = fit({0, 0, 0, 1e200, 0, 0, 0, 1e200, 0, 0, 0, 1e200}, mode);
    EXPECT_EQ(f.rc, -2) << mode;
  }
  BStraceclear();
}

}  // namespace

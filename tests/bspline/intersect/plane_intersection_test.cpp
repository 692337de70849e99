#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "bspline/plane_intersection.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

struct PlaneResult {
  int rc = -99;
  BSboolean ok = BSFALSE;
  std::vector<double> points, params, starts, ends;  // exactly num_poles entries: AddressSanitizer sees overruns
};

PlaneResult intersect(const TestCurve &c, const double point[3], const double normal[3]) {
  PlaneResult r;
  const int n = c.n();
  r.points.assign(3 * n, 0), r.params.assign(n, 0), r.starts.assign(n, 0), r.ends.assign(n, 0);
  int ni = -1, ns = -1;
  r.ok = BSpl_cv_int(&r.rc, &c.cv, point, normal, &ni, r.points.data(), r.params.data(), &ns, r.starts.data(),
                     r.ends.data());
  r.points.resize(3 * std::max(ni, 0)), r.params.resize(std::max(ni, 0));
  r.starts.resize(std::max(ns, 0)), r.ends.resize(std::max(ns, 0));
  return r;
}

std::vector<double> xy_with_z(const std::vector<double> &z, double xscale = 1.0) {
  std::vector<double> p;
  for (size_t i = 0; i < z.size(); ++i) {
    const double a = 2 * M_PI * static_cast<double>(i) / static_cast<double>(z.size() - 1);
    p.insert(p.end(), {xscale * std::cos(a) + (xscale == 1.0 ? 0 : static_cast<double>(i)), std::sin(a), z[i]});
  }
  return p;
}

const double kOrigin[3] = {0, 0, 0}, kZ[3] = {0, 0, 1};

// Spans lying in the plane: one range per run of zero spans, nothing reported inside or at their ends; across
// the seam of a closed curve the runs join (start > end), on an open curve they stay apart and a crossing at the
// start of an open curve whose last span lies in the plane is kept.
TEST(PlaneIntersection, ZeroRanges) {
  const std::vector<double> k6 = {0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 6, 6, 6};
  struct Row {
    const char *name;
    std::vector<double> z, knots;
    double xscale;  // 1: closed loop, else open
    std::vector<double> params, starts, ends;
  } rows[] = {
      {"one span", {1, 0, 0, 0, 0, -1}, {0, 0, 0, 0, 1, 2, 3, 3, 3, 3}, 1, {}, {1}, {2}},
      {"two spans merge", {1, 0, 0, 0, 0, 0, -1}, {0, 0, 0, 0, 1, 2, 3, 4, 4, 4, 4}, 1, {}, {1}, {3}},
      {"across the seam", {0, 0, 0, 0, 1, 0, 0, 0, 0}, k6, 1, {}, {5}, {1}},
      {"open ends stay apart", {0, 0, 0, 0, 1, 0, 0, 0, 0}, k6, 3, {}, {0, 5}, {1, 6}},
      {"open start point kept", {0, 1, 1, 1, 1, 0, 0, 0, 0}, k6, 3, {0}, {5}, {6}},
  };
  for (const Row &row : rows) {
    SCOPED_TRACE(row.name);
    TestCurve c(4, xy_with_z(row.z, row.xscale), row.knots);
    const PlaneResult r = intersect(c, kOrigin, kZ);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.ok, BSTRUE);
    ASSERT_EQ(r.params.size(), row.params.size());
    for (size_t i = 0; i < row.params.size(); ++i) EXPECT_NEAR(r.params[i], row.params[i], 1e-12);
    EXPECT_EQ(r.starts, row.starts);
    EXPECT_EQ(r.ends, row.ends);
  }
}

// Junction roots of the scalar spline: a crossing once, a touch twice; the curve reports one parameter either
// way. Order 2 and a cubic with a C0 knot, both at the knot 1; a touch inside a span.
TEST(PlaneIntersection, JunctionRoots) {
  struct Row {
    int order;
    std::vector<double> values, knots;
    std::vector<double> roots;
  } rows[] = {
      {2, {1, 0, -1}, {0, 0, 1, 2, 2}, {1}},
      {2, {1, 0, 1}, {0, 0, 1, 2, 2}, {1, 1}},
      {4, {1, 1, 1, 0, -1, -1, -1}, {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 2}, {1}},
      {4, {-1, -1, -1, 0, -1, -1, -1}, {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 2}, {1, 1}},
      {4, {0, 1, -1, 0, -1, 1, 0}, {0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 2}, {0, 0.5, 1, 1, 1.5, 2}},
      {3, {1, -1, 1}, {0, 0, 0, 1, 1, 1}, {0.5, 0.5}},  // a touch inside a span
  };
  for (const Row &row : rows) {
    const int n = static_cast<int>(row.values.size()), k = row.order;
    std::vector<double> roots((k - 1) * (n - k + 1)), ranges(2 * (n - k + 1));
    int nr = -1, nz = -1, rc = -99;
    BSfndrtbsp1(k, n, row.values.data(), row.knots.data(), 1e-12, &nr, roots.data(), &nz, ranges.data(), &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(nz, 0);
    ASSERT_EQ(nr, static_cast<int>(row.roots.size()));
    for (int i = 0; i < nr; ++i) EXPECT_NEAR(roots[i], row.roots[i], 1e-12) << i;
    std::vector<double> xyz;
    for (int i = 0; i < n; ++i) xyz.insert(xyz.end(), {static_cast<double>(i), 0, row.values[i]});
    TestCurve c(k, xyz, row.knots);
    const PlaneResult r = intersect(c, kOrigin, kZ);
    ASSERT_EQ(r.rc, 0);
    std::vector<double> distinct = row.roots;
    distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
    ASSERT_EQ(r.params.size(), distinct.size());
    for (size_t i = 0; i < distinct.size(); ++i) EXPECT_NEAR(r.params[i], distinct[i], 1e-12);
  }
}

// A closed curve through the plane at its seam reports the seam once, on any parameter range; the normal's
// length does not matter.
TEST(PlaneIntersection, ClosedSeamAndNormalLength) {
  const std::vector<double> xyz = {1, 0, 0, 1, 1, 0, -1, 1, 0, -1, -1, 0, 1, -1, 0, 1, 0, 0};
  for (double shift : {0.0, 2.0}) {
    std::vector<double> knots = {0, 0, 0, 0, 1.0 / 3, 2.0 / 3, 1, 1, 1, 1};
    for (double &t : knots) t += shift;
    TestCurve c(4, xyz, knots);
    const double y1[3] = {0, 1, 0}, y3[3] = {0, 3, 0};
    const PlaneResult r = intersect(c, kOrigin, y1);
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(r.params.size(), 2u);
    EXPECT_EQ(r.params[0], shift);
    EXPECT_NEAR(r.points[0], 1, 1e-15);
    EXPECT_NEAR(r.params[1], shift + 0.5, 1e-14);  // the far side, by symmetry
    const double off[3] = {0, 0.3, 0};
    const PlaneResult a = intersect(c, off, y1), b = intersect(c, off, y3);
    ASSERT_EQ(a.rc, 0);
    ASSERT_EQ(b.rc, 0);
    ASSERT_EQ(a.params.size(), 2u);
    ASSERT_EQ(b.params.size(), 2u);
    for (int i = 0; i < 2; ++i) EXPECT_NEAR(a.params[i], b.params[i], 1e-14);
  }
}

TEST(PlaneIntersection, RationalQuarterArc) {
  const double w = std::sqrt(0.5);
  TestCurve c(3, {1, 0, 0, 1, 1, 0, 0, 1, 0}, {0, 0, 0, 1, 1, 1}, {1, w, 1});
  const double normal[3] = {1, -1, 0};
  const PlaneResult r = intersect(c, kOrigin, normal);
  ASSERT_EQ(r.rc, 0);
  ASSERT_EQ(r.params.size(), 1u);
  EXPECT_NEAR(r.points[0], w, 1e-12);
  EXPECT_NEAR(r.points[1], w, 1e-12);
  EXPECT_EQ(r.points[2], 0);
}

// A cubic weaving across the plane: every sign change of its poles is a crossing, the most a spline of n
// coefficients can have (n - 1), and all of them fit both the documented room and the curve's pole-count room.
TEST(PlaneIntersection, WeavingCubic) {
  const int n = 40, k = 4;
  std::vector<double> z, knots;
  for (int i = 0; i < n; ++i) z.push_back(i % 2 ? 1 : -1);
  for (int i = 0; i < n + k; ++i) knots.push_back(std::clamp(i - 3, 0, n - 3));
  std::vector<double> roots((k - 1) * (n - k + 1)), ranges(2 * (n - k + 1));
  int nr = 0, nz = 0, rc = -99;
  BSfndrtbsp1(k, n, z.data(), knots.data(), BStoltab[bstol::basis_tol], &nr, roots.data(), &nz, ranges.data(), &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(nr, n - 1);
  EXPECT_TRUE(std::is_sorted(roots.begin(), roots.begin() + nr));
  std::vector<double> xyz;
  for (int i = 0; i < n; ++i) xyz.insert(xyz.end(), {static_cast<double>(i), 0, z[i]});
  TestCurve c(k, xyz, knots);
  const PlaneResult r = intersect(c, kOrigin, kZ);
  ASSERT_EQ(r.rc, 0);
  ASSERT_EQ(r.params.size(), static_cast<size_t>(n - 1));
  for (int i = 0; i < n - 1; ++i) {
    EXPECT_EQ(r.params[i], roots[i]);
    EXPECT_NEAR(r.points[3 * i + 2], 0, 1e-13);
  }
}

// Refused input answers a code, FALSE and empty counts; nothing is written.
TEST(PlaneIntersection, BadInput) {
  const double nan = std::nan("");
  const double zero[3] = {0, 0, 0}, inf_normal[3] = {0, INFINITY, 0}, nan_point[3] = {nan, 0, 0};
  struct Row {
    const double *point, *normal;
    double pole_z;
    int rc;
  } rows[] = {
      {kOrigin, zero, 1, -6}, {kOrigin, inf_normal, 1, -6}, {nan_point, kZ, 1, -2}, {kOrigin, kZ, nan, -2},
  };
  for (const Row &row : rows) {
    TestCurve c(2, {0, 0, -1, 1, 0, row.pole_z}, {0, 0, 1, 1});
    const PlaneResult r = intersect(c, row.point, row.normal);
    EXPECT_EQ(r.rc, row.rc);
    EXPECT_EQ(r.ok, BSFALSE);
    EXPECT_TRUE(r.params.empty());
  }
  TestCurve c(2, {0, 0, -1, 1, 0, 1}, {0, 0, 1, 1});
  int rc = 0, ni = 0, ns = 0;
  double pts[6], par[2], s[2], e[2];
  EXPECT_EQ(BSpl_cv_int(&rc, &c.cv, kOrigin, kZ, &ni, pts, nullptr, &ns, s, e), BSFALSE);
  EXPECT_EQ(rc, 3);
  c.cv.knots[1] = 2;  // decreasing
  EXPECT_EQ(BSpl_cv_int(&rc, &c.cv, kOrigin, kZ, &ni, pts, par, &ns, s, e), BSFALSE);
  EXPECT_EQ(rc, -2);
  c.cv.knots[1] = 0;
  c.cv.num_poles = 1;
  EXPECT_EQ(BSpl_cv_int(&rc, &c.cv, kOrigin, kZ, &ni, pts, par, &ns, s, e), BSFALSE);
  EXPECT_EQ(rc, -2);
}

}  // namespace

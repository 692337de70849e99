#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/knots.h"
#include "tests/bspline/conic_fixtures.h"

namespace {

using namespace conic_test;

const double kOrigin[3] = {0, 0, 0}, kUp[3] = {0, 0, 1}, kDown[3] = {0, 0, -1};
const double kC = 0.7071067811865476;  // cos 45 degrees

std::vector<double> weights_of(const ArcRecord &r) { return {r.weights, r.weights + r.cv.num_poles}; }

TEST(CircularArcs, PrepcarcShapes) {
  const double x1[3] = {1, 0, 0}, y1[3] = {0, 1, 0}, y2[3] = {0, 2, 0}, mx[3] = {-1, 0, 0};
  {
    SCOPED_TRACE("quarter");
    ArcRecord r;
    int rc = 1, type = 0;
    double nout[3];
    ASSERT_TRUE(BSprepcarc(&rc, x1, kOrigin, y1, kUp, &r.cv, nout, &type));
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(type, BSCONIC_CIRCLE);
    EXPECT_EQ(weights_of(r), (std::vector<double>{1, kC, 1}));
    EXPECT_EQ(r.knot_vector(), (std::vector<double>{0, 0, 0, 1, 1, 1}));
    const double want[9] = {1, 0, 0, kC, kC, 0, 0, 1, 0};  // weighted
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(r.poles[i], want[i], 1e-16) << i;
    EXPECT_EQ(r.cv.order, 3);
    EXPECT_EQ(r.cv.phy_closed, 0);
    EXPECT_EQ(r.cv.planar, 1);
  }
  {
    SCOPED_TRACE("270 degrees about -z");
    ArcRecord r;
    int rc = 1;
    double nout[3], p[3];
    ASSERT_TRUE(BSprepcarc(&rc, x1, kOrigin, y1, kDown, &r.cv, nout, nullptr));
    EXPECT_EQ(r.cv.num_poles, 7);
    EXPECT_EQ(r.knot_vector(), (std::vector<double>{0, 0, 0, 1.0 / 3, 1.0 / 3, 2.0 / 3, 2.0 / 3, 1, 1, 1}));
    EXPECT_EQ(nout[2], -1.0);
    r.point(1.0 / 3, p);  // clockwise: a quarter turn on is (0, -1)
    EXPECT_NEAR(p[0], 0, 1e-15);
    EXPECT_NEAR(p[1], -1, 1e-15);
  }
  {
    SCOPED_TRACE("half circle");
    ArcRecord r;
    int rc = 1;
    double nout[3];
    ASSERT_TRUE(BSprepcarc(&rc, x1, kOrigin, mx, kUp, &r.cv, nout, nullptr));
    EXPECT_EQ(weights_of(r), (std::vector<double>{1, kC, 1, kC, 1}));
    EXPECT_EQ(std::vector<double>(r.poles + 6, r.poles + 9), (std::vector<double>{0, 1, 0}));
  }
  {
    SCOPED_TRACE("end pulled onto the start's radius");
    ArcRecord r;
    int rc = 1;
    double nout[3];
    ASSERT_TRUE(BSprepcarc(&rc, x1, kOrigin, y2, kUp, &r.cv, nout, nullptr));
    EXPECT_EQ(std::vector<double>(r.poles + 6, r.poles + 9), (std::vector<double>{0, 1, 0}));
  }
}

TEST(CircularArcs, PrepcarcRefusals) {
  const double x1[3] = {1, 0, 0}, y1[3] = {0, 1, 0}, tiny[3] = {1e-7, 0, 0}, nan3[3] = {NAN, 0, 1};
  const double zero[3] = {0, 0, 0}, along_x[3] = {1, 0, 0}, lean[3] = {0, 0.3, 1};
  // A sweep of 6e-8 on radius 20: far enough apart and not parallel, but no room for a middle pole.
  const double far[3] = {20, 0, 0}, near_far[3] = {20 * std::cos(6e-8), 20 * std::sin(6e-8), 0};
  const struct {
    const char *what;
    const double *s, *c, *e, *n;
    int rc;
  } cases[] = {
      {"start = end", x1, kOrigin, x1, kUp, -2},      {"radius 1e-7", tiny, kOrigin, y1, kUp, -2},
      {"start = centre", x1, x1, y1, kUp, -2},         {"NaN normal", x1, kOrigin, y1, nan3, -2},
      {"null normal", x1, kOrigin, y1, zero, -6},      {"normal along the start radius", x1, kOrigin, y1, along_x, -6},
      {"too flat", far, kOrigin, near_far, kUp, -5},
      {"normal leaning out of the plane", x1, kOrigin, y1, lean, -2},
  };
  for (const auto &cs : cases) {
    SCOPED_TRACE(cs.what);
    ArcRecord r;
    int rc = 0;
    double nout[3];
    EXPECT_FALSE(BSprepcarc(&rc, cs.s, cs.c, cs.e, cs.n, &r.cv, nout, nullptr));
    EXPECT_EQ(rc, cs.rc);
  }
  ArcRecord r;
  r.cv.knots = nullptr;
  int rc = 0;
  double nout[3];
  EXPECT_FALSE(BSprepcarc(&rc, x1, kOrigin, y1, kUp, &r.cv, nout, nullptr));
  EXPECT_EQ(rc, BSRC_NULL_CURVE) << "nothing built must not read as success";
}

// Every degree from 1 to 359, both senses, in a tilted plane off the origin: the count of segments, exact ends,
// weights cos(h), points on the circle in the right order, and BSangarctou's parameter at the asked angle.
TEST(CircularArcs, SweepsAndAngleParameters) {
  const double centre[3] = {2, -3, 1.5}, r = 2.5;
  double e1[3] = {0.6, 0.8, 0}, n[3] = {0.48, -0.36, 0.8}, e2[3];
  cross(n, e1, e2);
  auto at = [&](double a, double out[3]) {
    for (int k = 0; k < 3; ++k) out[k] = centre[k] + r * (std::cos(a) * e1[k] + std::sin(a) * e2[k]);
  };
  for (int sense : {1, -1}) {
    const double normal[3] = {sense * n[0], sense * n[1], sense * n[2]};
    for (int deg = 1; deg < 360; ++deg) {
      SCOPED_TRACE("sense " + std::to_string(sense) + " degrees " + std::to_string(deg));
      const double a = deg * M_PI / 180;
      double s[3], e[3], nout[3], p[3];
      at(0.3, s);
      at(0.3 + sense * a, e);
      ArcRecord rec;
      int rc = 1;
      ASSERT_TRUE(BSprepcarc(&rc, s, centre, e, normal, &rec.cv, nout, nullptr));
      const int segs = deg <= 120 ? 1 : deg <= 240 ? 2 : 3;
      ASSERT_EQ(rec.cv.num_poles, 2 * segs + 1);
      EXPECT_EQ(std::vector<double>(rec.poles, rec.poles + 3), std::vector<double>(s, s + 3));
      EXPECT_LT(dist(rec.poles + 6 * segs, e), 1e-15 * r) << "the end, pulled onto the start's radius";
      for (int i = 1; i < 2 * segs; i += 2) EXPECT_NEAR(rec.weights[i], std::cos(a / (2 * segs)), 1e-15);
      for (int j = 1; j < 8; ++j) {
        const double phi = a * j / 8;
        double u = -1;
        BSangarctou(a, phi, &u, &rc);
        ASSERT_EQ(rc, 0);
        at(0.3 + sense * phi, s);
        rec.point(u, p);
        EXPECT_LT(dist(p, s), 1e-12 * r) << "phi " << phi;
        BSangarctou(-a, -phi, &u, &rc);  // the same point, the sweep and the angle counted clockwise
        rec.point(u, p);
        EXPECT_LT(dist(p, s), 1e-12 * r) << "phi " << phi << " clockwise";
      }
    }
  }
  int rc = 0;
  double u = -1;
  const struct {
    double total, angle, u;
  } values[] = {{M_PI / 2, M_PI / 2, 1}, {M_PI / 2, 0, 0}, {2 * M_PI, 2 * M_PI / 3, 1.0 / 3}, {1, 3, 1}, {-1, 0.5, 1}};
  for (const auto &v : values) {
    BSangarctou(v.total, v.angle, &u, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NEAR(u, v.u, 1e-15) << v.total << " " << v.angle;
  }
  // Counter-clockwise 4 is clockwise 2 pi - 4: inside a clockwise sweep of 4, short of its end.
  double u_cw = -1;
  BSangarctou(-4, 4, &u, &rc);
  BSangarctou(-4, 4 - 2 * M_PI, &u_cw, &rc);
  EXPECT_NEAR(u, u_cw, 1e-15);
  EXPECT_LT(u, 0.9);
  for (double bad_total : {0.0, 1e-16, double(NAN)}) {
    BSangarctou(bad_total, 0.0, &u, &rc);
    EXPECT_EQ(rc, -2) << bad_total;
  }
}

// The circle through three points in long double, from the corner of the largest angle (none of the library's
// code): centre and radius.
void circle_through(const double *p1, const double *p2, const double *p3, long double c[3], long double *r) {
  const double *P[3] = {p1, p2, p3};
  long double len2[3];
  for (int i = 0; i < 3; ++i) {
    len2[i] = 0;
    for (int k = 0; k < 3; ++k) len2[i] += std::pow((long double)P[(i + 2) % 3][k] - P[(i + 1) % 3][k], 2);
  }
  const int at = len2[0] >= len2[1] && len2[0] >= len2[2] ? 0 : len2[1] >= len2[2] ? 1 : 2;
  long double u[3], v[3], w[3], g[3], uu = 0, vv = 0, ww = 0;
  for (int k = 0; k < 3; ++k) u[k] = (long double)P[(at + 1) % 3][k] - P[at][k], v[k] = (long double)P[(at + 2) % 3][k] - P[at][k];
  for (int k = 0; k < 3; ++k) {
    w[k] = u[(k + 1) % 3] * v[(k + 2) % 3] - u[(k + 2) % 3] * v[(k + 1) % 3];
    uu += u[k] * u[k], vv += v[k] * v[k];
  }
  for (int k = 0; k < 3; ++k) ww += w[k] * w[k], g[k] = uu * v[k] - vv * u[k];
  *r = 0;
  for (int k = 0; k < 3; ++k) {
    c[k] = P[at][k] + (g[(k + 1) % 3] * w[(k + 2) % 3] - g[(k + 2) % 3] * w[(k + 1) % 3]) / (2 * ww);
    *r += (c[k] - p1[k]) * (c[k] - p1[k]);
  }
  *r = std::sqrt(*r);
}

// The arc through three points: small to huge circles, in planes tilted and far from the origin, sweeps short,
// about a half turn and nearly whole (ends that nearly meet), the middle point near either end; nearly collinear
// points with the middle one on either side. Built, each is the arc of the circle through the three points from
// the first to the last through the middle one; the refusals are collinear points (within the distance
// tolerance), coincident or non-finite ones, and a turn too small for the arc's end tangents to tell apart.
TEST(CircularArcs, ArcThroughThreePoints) {
  const double r2 = 1 / std::sqrt(2.0), r3 = 1 / std::sqrt(3.0);
  const PlaneFrame flat, tilted{{1e5, -3e4, 2e3}, {r2, 0, r2}, {-r3, r3, r3}},
      far{{1e7, -1e7, 0}, {1, 0, 0}, {0, 1, 0}}, far_tilted{{1e7, 1e7, 1e7}, {r2, 0, r2}, {-r3, r3, r3}};
  struct Row {
    std::string what;
    std::vector<double> xy;  // the three points in the plane
    const PlaneFrame *frame;
    int rc;
    double tol;  // in units of the largest coordinate
  };
  std::vector<Row> rows;
  auto g = [](double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%g", v);
    return std::string(b);
  };
  for (const PlaneFrame *f : {&flat, &tilted, &far, &far_tilted})
    for (double radius : {1e-3, 1.0, 1e3, 1e6})
      for (double sweep : {0.1, 2.0, M_PI - 1e-9, M_PI + 1e-9, 4.5, 2 * M_PI - 1e-3, 2 * M_PI - 1e-6})
        for (double mid : {0.5, 0.02, 0.98}) {
          // Points within the distance tolerance of each other or of a line are refused: not these rows.
          if (radius * std::min(sweep * sweep / 8, 2 * M_PI - sweep) <= 1e-5) continue;
          std::vector<double> xy;
          for (double a : {0.3, 0.3 + mid * sweep, 0.3 + sweep}) xy.push_back(radius * std::cos(a)), xy.push_back(radius * std::sin(a));
          rows.push_back({"radius " + g(radius) + ", sweep " + g(sweep) + ", middle at " + g(mid),
                          xy, f, 0, 2e-14});
        }
  // Nearly collinear: a flat arc's centre lies up to a million chords away, and its rounding there reaches the arc.
  for (const PlaneFrame *f : {&flat, &far_tilted})
    for (double half : {1.0, 1e3, 1e6})
      for (double sag : {1e-3, -1e-3, 3e-6, -3e-6})
        rows.push_back({"chord " + g(2 * half) + ", sag " + g(sag) + " of half of it",
                        {0, 0, half, sag * half, 2 * half, 0}, f, 0, 1e-10});
  // Sags of 1e-3 and 1e-4 on a chord of 2e6 turn the tangent by 4e-9 and 4e-10: too little to meet in a corner.
  for (double sag : {1e-9, -1e-9, 1e-10})
    rows.push_back({"chord 2e6, sag " + g(sag) + " of half of it", {0, 0, 1e6, sag * 1e6, 2e6, 0}, &far_tilted,
                    BSRC_OUT_OF_RANGE, 0});
  rows.push_back({"chord 2, sag 1e-10", {0, 0, 1, 1e-10, 2, 0}, &flat, BSRC_COLLINEAR_POLES, 0});
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  rows.push_back({"collinear", {0, 0, 1, 0, 3, 0}, &flat, BSRC_COLLINEAR_POLES, 0});
  rows.push_back({"first and last coincide", {1, 0, 0, 1, 1, 0}, &flat, BSRC_COLLINEAR_POLES, 0});
  rows.push_back({"first and middle coincide", {1, 0, 1, 0, 0, 1}, &flat, BSRC_COLLINEAR_POLES, 0});
  rows.push_back({"not a number", {1, 0, nan, 1, -1, 0}, &flat, BSRC_OUT_OF_RANGE, 0});
  rows.push_back({"infinite", {1, 0, 0, inf, -1, 0}, &flat, BSRC_OUT_OF_RANGE, 0});
  for (const Row &row : rows) {
    SCOPED_TRACE(row.what + (row.frame == &flat ? "" : ", placed at " + g(row.frame->origin[0])));
    double p[3][3], size = 0;
    for (int i = 0; i < 3; ++i) {
      const auto q = row.frame->at(row.xy[2 * i], row.xy[2 * i + 1]);
      for (int k = 0; k < 3; ++k) p[i][k] = q[k], size = std::max(size, std::fabs(q[k]));
    }
    ArcRecord r;
    int rc = 1;
    const bool built = BSarc3pts(&rc, p[0], p[1], p[2], &r.cv);
    EXPECT_EQ(built, row.rc == 0);
    EXPECT_EQ(rc, row.rc);
    if (!built || rc != 0) continue;
    const int last = r.cv.num_poles - 1;
    EXPECT_EQ(std::vector<double>(r.poles, r.poles + 3), std::vector<double>(p[0], p[0] + 3));
    EXPECT_EQ(std::vector<double>(r.poles + 3 * last, r.poles + 3 * last + 3), std::vector<double>(p[2], p[2] + 3));
    EXPECT_EQ(r.weights[0], 1.0);
    EXPECT_EQ(r.weights[last], 1.0);
    long double c[3], radius;
    circle_through(p[0], p[1], p[2], c, &radius);
    // On the circle everywhere; through the middle point, within a step of the samples, so not its complement.
    const int steps = 256 * last;
    double worst = 0, nearest = INFINITY;
    for (int s = 0; s <= steps; ++s) {
      double x[3];
      r.point(static_cast<double>(s) / steps, x);
      long double d = 0;
      for (int k = 0; k < 3; ++k) d += (x[k] - c[k]) * (x[k] - c[k]);
      worst = std::max(worst, static_cast<double>(std::fabs(std::sqrt(d) - radius)));
      nearest = std::min(nearest, dist(x, p[1]));
    }
    const double step = 2 * M_PI * static_cast<double>(radius) / steps;
    EXPECT_LE(worst, row.tol * size);
    EXPECT_LE(nearest, step + row.tol * size);
  }
}

TEST(CircularArcs, WholeCircles) {
  const double centre[3] = {1, 2, 3}, normal[3] = {0, 3, 4}, zero[3] = {0, 0, 0};
  const double nan_normal[3] = {0, NAN, 1}, tilted_normal[3] = {0, 0.6, 0.8};
  auto expect_circle = [&](const ArcRecord &r, const double *c, double radius, const double *start) {
    EXPECT_EQ(r.cv.num_poles, 7);
    EXPECT_EQ(r.cv.phy_closed, 1);
    EXPECT_EQ(weights_of(r), (std::vector<double>{1, 0.5, 1, 0.5, 1, 0.5, 1}));
    double p[3];
    for (int s = 0; s <= 24; ++s) {
      r.point(s / 24.0, p);
      EXPECT_NEAR(dist(p, c), radius, 1e-14 * radius) << s;
    }
    for (int k = 0; k < 3 && start; ++k) EXPECT_EQ(r.poles[k], start[k]);
  };
  double radius = 2, nout[3];
  int rc = 1, type = 0;
  ArcRecord r;
  ASSERT_TRUE(BSprepcirc(&rc, centre, &radius, normal, &r.cv, nout, &type));
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(type, BSCONIC_CIRCLE);
  expect_circle(r, centre, 2, nullptr);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(nout[k], normal[k] / 5, 1e-16);

  // A point 5e-7 off the plane still gives a round circle through it; 2e-6 off is refused.
  auto off_plane = [&](double d, double out[3]) {
    out[0] = centre[0] + 2, out[1] = centre[1] + 0.6 * d, out[2] = centre[2] + 0.8 * d;
  };
  double point[3], off[3];
  off_plane(5e-7, point);
  off_plane(2e-6, off);
  ArcRecord rp;
  ASSERT_TRUE(BSprepcircp(&rc, centre, point, tilted_normal, &rp.cv, nout, &type));
  EXPECT_EQ(rc, 0);
  expect_circle(rp, centre, dist(point, centre), point);
  const struct {
    const char *what;
    const double *point, *normal;
  } point_refusals[] = {
      {"off the plane", off, tilted_normal}, {"null normal", point, zero}, {"at the centre", centre, normal}};
  for (const auto &cs : point_refusals) {
    EXPECT_FALSE(BSprepcircp(&rc, centre, cs.point, cs.normal, &rp.cv, nout, &type)) << cs.what;
    EXPECT_EQ(rc, -2) << cs.what;
  }

  ArcRecord rz;
  ASSERT_TRUE(BScirrdcr(&rc, &radius, centre, &rz.cv));
  expect_circle(rz, centre, 2, nullptr);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(rz.pole(i, 2), centre[2]);

  const double tiny = 1e-7, nan_radius = NAN, negative = -1, none = 0;
  const struct {
    const char *what;
    bool by_z;  // BScirrdcr, else BSprepcirc
    const double *radius, *normal;
    int rc;
  } refusals[] = {{"radius 1e-7", false, &tiny, normal, -2},     {"NaN radius", false, &nan_radius, normal, -2},
                  {"NaN normal", false, &radius, nan_normal, -2}, {"null normal", false, &radius, zero, -6},
                  {"radius 0", true, &none, nullptr, -2},         {"radius -1", true, &negative, nullptr, -2}};
  for (const auto &cs : refusals) {
    SCOPED_TRACE(cs.what);
    ArcRecord f;
    rc = 0;
    EXPECT_FALSE(cs.by_z ? BScirrdcr(&rc, cs.radius, centre, &f.cv)
                         : BSprepcirc(&rc, centre, cs.radius, cs.normal, &f.cv, nout, nullptr));
    EXPECT_EQ(rc, cs.rc);
  }
  ArcRecord no_weights;
  no_weights.cv.weights = nullptr;
  EXPECT_FALSE(BSprepcirc(&rc, centre, &radius, normal, &no_weights.cv, nullptr, nullptr));
  EXPECT_EQ(rc, BSRC_NULL_CURVE);
}

TEST(CircularArcs, RadiusAndCentreOfCurvature) {
  struct Out {
    int rc = 99;
    BSboolean two = 7, ok = 0;
    double kl = kUnset, kr = kUnset, rl = kUnset, rr = kUnset, cl[3], cr[3];
  };
  auto run = [](const VOQbsp_curve &cv, double u) {
    Out o;
    o.ok = BSrdcencrcv(&o.rc, &cv, &u, &o.two, &o.kl, &o.kr, &o.rl, &o.rr, o.cl, o.cr);
    return o;
  };
  // A circle of radius 3 about (1, 1, 0) at several parameters, across a segment joint.
  ArcRecord circle;
  const double c[3] = {1, 1, 0};
  double radius = 3;
  int rc = 0;
  ASSERT_TRUE(BScirrdcr(&rc, &radius, c, &circle.cv));
  for (double u : {0.0, 0.2, 1.0 / 3, 0.9}) {
    const Out o = run(circle.cv, u);
    ASSERT_TRUE(o.ok) << u;
    EXPECT_NEAR(o.rl, 3, 1e-13);
    EXPECT_NEAR(o.kl, 1.0 / 3, 1e-14);
    EXPECT_LT(dist(o.cl, c), 1e-13);
    EXPECT_EQ(o.rr, o.rl);
  }
  // y = x^2 over x in [-1, 1]: curvature 2 / (1 + 4x^2)^1.5, centre (-4x^3, 3x^2 + 1/2).
  TestCurve parabola(3, {-1, 1, 0, 0, -1, 0, 1, 1, 0}, {0, 0, 0, 1, 1, 1});
  for (double u : {0.5, 1.0, 0.1}) {
    const double x = 2 * u - 1, k = 2 / std::pow(1 + 4 * x * x, 1.5);
    const Out o = run(parabola.cv, u);
    ASSERT_TRUE(o.ok);
    EXPECT_NEAR(o.kl, k, 1e-14);
    EXPECT_NEAR(o.rl, 1 / k, 1e-13 / k);
    EXPECT_NEAR(o.cl[0], -4 * x * x * x, 1e-13);
    EXPECT_NEAR(o.cl[1], 3 * x * x + 0.5, 1e-13);
  }
  // A C1 cubic: left Bezier (0,0) (1,0) (2,1) (3,1), right (3,1) (4,1) (5,3) (6,3) share the joint at u = 1.
  TestCurve cubic(4, {0, 0, 0, 1, 0, 0, 2, 1, 0, 4, 1, 0, 5, 3, 0, 6, 3, 0}, {0, 0, 0, 0, 1, 1, 2, 2, 2, 2});
  const Out o = run(cubic.cv, 1.0);
  ASSERT_TRUE(o.ok);
  EXPECT_EQ(o.two, 1);
  // End curvature of a cubic Bezier: (2/3) |d1 x d2| / |d1|^3 with d1 the last (first) leg, d2 its neighbour.
  EXPECT_NEAR(o.kl, 2.0 / 3 * 1 / 1, 1e-14);   // legs (1,1) then (1,0)
  EXPECT_NEAR(o.kr, 2.0 / 3 * 2 / 1, 1e-14);   // legs (1,0) then (1,2)
  EXPECT_NEAR(o.cl[1] - 1, -1.5, 1e-13) << "left centre below the joint";
  EXPECT_NEAR(o.cr[1] - 1, 0.75, 1e-13) << "right centre above it";

  // Degenerate: every pole at (2, 3, 4), the first stored weighted; a straight line has no centre.
  TestCurve dot_curve(3, {2, 3, 4, 2, 3, 4, 2, 3, 4}, {0, 0, 0, 1, 1, 1}, {2, 1, 1});
  Out d = run(dot_curve.cv, 0.5);
  EXPECT_FALSE(d.ok);
  EXPECT_EQ(d.rc, -6);
  EXPECT_EQ(d.two, 0);
  EXPECT_EQ(std::vector<double>(d.cl, d.cl + 3), (std::vector<double>{2, 3, 4}));
  EXPECT_EQ(std::vector<double>(d.cr, d.cr + 3), (std::vector<double>{0, 0, 0}));
  EXPECT_EQ(d.kl, 0);
  TestCurve line(3, {0, 0, 0, 1, 1, 0, 2, 2, 0}, {0, 0, 0, 1, 1, 1});
  d = run(line.cv, 0.5);
  EXPECT_FALSE(d.ok);
  EXPECT_EQ(d.rc, -6);
  EXPECT_EQ(d.kl, kUnset);
  d = run(circle.cv, NAN);
  EXPECT_EQ(d.rc, -2);
}

TEST(CircularArcs, CoincidentPointArrays) {
  // All n must coincide: two equal among three is not enough.
  std::vector<double> pts(3 * 600, 1.5);
  int rc = 1;
  EXPECT_TRUE(BScoincida(600, pts.data(), &rc));  // 600 pointers leave the stack block
  EXPECT_EQ(rc, 0);
  pts[3 * 599 + 1] += 5e-7;
  EXPECT_TRUE(BScoincida(600, pts.data(), &rc));
  pts[3 * 599 + 1] += 2e-6;
  EXPECT_FALSE(BScoincida(600, pts.data(), &rc));
  const double three[9] = {0, 0, 0, 1, 1, 1, 0, 0, 0};
  EXPECT_FALSE(BScoincida(3, three, &rc));
  EXPECT_FALSE(BScoincida(2, three + 3, &rc));
  EXPECT_TRUE(BScoincida(1, three, &rc));
  EXPECT_FALSE(BScoincida(-1, three, &rc));
  EXPECT_EQ(rc, -2);
  BSallocfailat(1);
  EXPECT_FALSE(BScoincida(600, pts.data(), &rc));
  BSallocfailat(0);
  EXPECT_EQ(rc, BSRC_NO_SCRATCH);
}

}  // namespace

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/bspline/conic_fixtures.h"

namespace {

using namespace conic_test;

const double kOrigin[3] = {0, 0, 0};
const int kNormalGiven = 1;  // any non-NULL word skips the normal check, as the geometry layer's pointer does

struct Built {
  ArcRecord rec;
  int rc = 99;
  std::uint16_t is_circle = 7;
};

// BSelarptang with the geometry layer's arguments unless points are given.
void build(Built *b, const double *c, const double *p1, const double *p2, double start, double sweep,
           std::int16_t parametric = 1, const double *start_pt = nullptr, const double *end_pt = nullptr,
           const void *normal_given = &kNormalGiven) {
  BSelarptang(c, p1, p2, start, sweep, parametric, nullptr, nullptr, normal_given, start_pt, end_pt, &b->is_circle,
              &b->rec.ptr, &b->rc);
}

TEST(EllipticalArcs, WholeEllipseAndSegmentForms) {
  const double s3 = 0.8660254037844386, a1[3] = {2, 0, 0}, a2[3] = {0, 1, 0}, unit1[3] = {1, 0, 0};
  Built b;
  build(&b, kOrigin, a1, a2, 0, 2 * M_PI);
  ASSERT_EQ(b.rc, 0);
  EXPECT_EQ(b.is_circle, 0);
  EXPECT_EQ(std::vector<double>(b.rec.poles, b.rec.poles + 21),
            (std::vector<double>{2, 0, 0, 1, s3, 0, -1, s3, 0, -2, 0, 0, -1, -s3, 0, 1, -s3, 0, 2, 0, 0}));
  EXPECT_EQ(std::vector<double>(b.rec.weights, b.rec.weights + 7), (std::vector<double>{1, 0.5, 1, 0.5, 1, 0.5, 1}));
  EXPECT_EQ(b.rec.knot_vector(), (std::vector<double>{0, 0, 0, 1.0 / 3, 1.0 / 3, 2.0 / 3, 2.0 / 3, 1, 1, 1}));
  EXPECT_EQ(b.rec.cv.phy_closed, 1);
  Built circle;
  build(&circle, kOrigin, unit1, a2, 0, 2 * M_PI);
  EXPECT_EQ(circle.rc, 0);
  EXPECT_EQ(circle.is_circle, 1);

  const struct {
    double sweep;
    int poles;
  } forms[] = {{M_PI / 2, 3}, {3 * M_PI / 2, 7}, {0.5, 3}, {M_PI, 5}};
  for (const auto &f : forms) {
    SCOPED_TRACE("sweep " + std::to_string(f.sweep));
    Built arc;
    build(&arc, kOrigin, a1, a2, 0.25, f.sweep);
    ASSERT_EQ(arc.rc, 0);
    ASSERT_EQ(arc.rec.cv.num_poles, f.poles);
    const int segs = f.poles / 2;
    for (int i = 0; i < f.poles; ++i)
      EXPECT_NEAR(arc.rec.weights[i], i % 2 ? std::cos(f.sweep / (2 * segs)) : 1.0, 1e-15) << i;
    EXPECT_EQ(arc.rec.knots[0], 0);
    EXPECT_EQ(arc.rec.knots[f.poles + 2], 1);
    EXPECT_EQ(arc.rec.cv.phy_closed, 0);
    EXPECT_EQ(arc.rec.cv.planar, 1);
  }
}

TEST(EllipticalArcs, Refusals) {
  const double a1[3] = {2, 0, 0}, a2[3] = {0, 1, 0}, tiny[3] = {0, 1e-7, 0}, nan3[3] = {NAN, 0, 0};
  const double skew[3] = {std::cos(89.9 * M_PI / 180), std::sin(89.9 * M_PI / 180), 0};
  const struct {
    const char *what;
    const double *c, *p2;
    double start, sweep;
    int rc;
  } cases[] = {{"radius 1e-7", kOrigin, tiny, 0, 1, -2},  {"axes at 89.9 degrees", kOrigin, skew, 0, 1, -2},
               {"no sweep", kOrigin, a2, 1, 0, -2},        {"a turn back to the start", kOrigin, a2, 1, -2 * M_PI, -2},
               {"NaN centre", nan3, a2, 0, 1, -2},         {"NaN angle", kOrigin, a2, NAN, 1, -2},
               {"infinite sweep", kOrigin, a2, 0, INFINITY, -2}};
  for (const auto &cs : cases) {
    Built b;
    build(&b, cs.c, a1, cs.p2, cs.start, cs.sweep);
    EXPECT_EQ(b.rc, cs.rc) << cs.what;
  }
  // Parallel axes: the normal formed as a check (normal_given NULL) cannot be normalised.
  Built parallel;
  build(&parallel, kOrigin, a1, a1, 0, 1, 1, nullptr, nullptr, nullptr);
  EXPECT_NE(parallel.rc, 0);
  Built no_knots;
  no_knots.rec.cv.knots = nullptr;
  build(&no_knots, kOrigin, a1, a2, 0, 1);
  EXPECT_EQ(no_knots.rc, BSRC_NULL_CURVE) << "nothing built must not read as success";
}

// Sweeps of 1 to 359 degrees from several starts, in a tilted plane, with the second axis on either side (the
// arc then turns the other way in space), for a long first and a long second axis: every point on the ellipse,
// the ends and the midpoint where the parametric angles put them, the segment count and the weights as tabled.
TEST(EllipticalArcs, SweepsInBothSenses) {
  const double c[3] = {1, -2, 0.5}, e1[3] = {0.6, 0.8, 0}, n[3] = {0.48, -0.36, 0.8};
  double e2[3];
  cross(n, e1, e2);
  const double radii[2][2] = {{3, 1.5}, {1, 2.5}};
  for (const auto &r : radii)
    for (int side : {1, -1})
      for (double s : {0.0, 0.7, 4.0})
        for (int deg = 1; deg < 360; deg += 2) {
          SCOPED_TRACE("r " + std::to_string(r[0]) + "," + std::to_string(r[1]) + " side " + std::to_string(side) +
                       " start " + std::to_string(s) + " degrees " + std::to_string(deg));
          double p1[3], p2[3], y[3];
          for (int k = 0; k < 3; ++k) y[k] = side * e2[k], p1[k] = c[k] + r[0] * e1[k], p2[k] = c[k] + r[1] * y[k];
          auto at = [&](double t, double out[3]) {
            for (int k = 0; k < 3; ++k) out[k] = c[k] + r[0] * std::cos(t) * e1[k] + r[1] * std::sin(t) * y[k];
          };
          const double sweep = deg * M_PI / 180;
          Built b;
          build(&b, c, p1, p2, s, sweep);
          ASSERT_EQ(b.rc, 0);
          const int segs = sweep < M_PI / 4 || deg <= 120 ? 1 : deg <= 240 ? 2 : 3;
          ASSERT_EQ(b.rec.cv.num_poles, 2 * segs + 1);
          for (int i = 1; i < 2 * segs; i += 2) EXPECT_NEAR(b.rec.weights[i], std::cos(sweep / (2 * segs)), 1e-14);
          EXPECT_EQ(b.rec.weights[0], 1);
          EXPECT_EQ(b.rec.weights[2 * segs], 1);
          const double scale = 1e-14 * (r[0] + r[1]);
          double p[3], q[3], d[3];
          for (double u : {0.0, 0.5, 1.0}) {
            b.rec.point(u, p);
            at(s + u * sweep, q);  // symmetric weights: the middle parameter is the middle angle
            EXPECT_LT(dist(p, q), scale) << "u " << u;
          }
          for (int j = 1; j < 16; ++j) {
            b.rec.point(j / 16.0, p);
            sub(p, c, d);
            const double x = dot(d, e1) / r[0], yy = dot(d, y) / r[1];
            EXPECT_NEAR(x * x + yy * yy, 1.0, 1e-12);
            EXPECT_NEAR(dot(d, n), 0.0, scale);
          }
        }
}

// Angles measured at the centre, given as numbers or as points on the rays.
TEST(EllipticalArcs, GeometricAnglesAndPoints) {
  const double a1[3] = {3, 0, 0}, a2[3] = {0, 1, 0};
  auto direction_at = [](const Built &b, double u) {
    double p[3];
    b.rec.point(u, p);
    double t = std::atan2(p[1], p[0]);
    return t < 0 ? t + 2 * M_PI : t;
  };
  const struct {
    double from, to;
  } rays[] = {{0.3, 1.2}, {2.0, 5.5}, {5.0, 0.4}, {1e-3, 0.5}, {M_PI / 2, 3 * M_PI / 2}};
  for (const auto &ray : rays) {
    SCOPED_TRACE(std::to_string(ray.from) + " to " + std::to_string(ray.to));
    const double sp[3] = {5 * std::cos(ray.from), 5 * std::sin(ray.from), 0};
    const double ep[3] = {0.1 * std::cos(ray.to), 0.1 * std::sin(ray.to), 0};
    double sweep = ray.to - ray.from;
    if (sweep < 0) sweep += 2 * M_PI;
    Built by_angle, by_point;
    build(&by_angle, kOrigin, a1, a2, ray.from, sweep, 0);
    // The points' angles are geometric although the numbers given beside them claim to be parametric.
    build(&by_point, kOrigin, a1, a2, 99, 1, 1, sp, ep);
    ASSERT_EQ(by_angle.rc, 0);
    ASSERT_EQ(by_point.rc, 0);
    for (const Built *b : {&by_angle, &by_point}) {
      EXPECT_NEAR(direction_at(*b, 0), ray.from, 1e-13);
      EXPECT_NEAR(direction_at(*b, 1), ray.to, 1e-13);
    }
    for (int i = 0; i < 3 * by_angle.rec.cv.num_poles; ++i)
      EXPECT_NEAR(by_point.rec.poles[i], by_angle.rec.poles[i], 1e-13);
  }
}

TEST(EllipticalArcs, GeometricAndParametricAngles) {
  const double atan2v = std::atan(2.0);
  const struct {
    double angle, out;
  } to_parametric[] = {{M_PI / 4, atan2v},
                       {M_PI / 2, M_PI / 2},
                       {3 * M_PI / 4, M_PI - atan2v},
                       {5 * M_PI / 4, M_PI + atan2v},
                       {-M_PI / 4, 2 * M_PI - atan2v},
                       {M_PI / 4 + 4 * M_PI, atan2v},
                       {2 * M_PI, 2 * M_PI}};
  int rc = 1;
  double out = 0, back = 0;
  for (const auto &t : to_parametric) {
    BSphyparang(2, 1, t.angle, 1, &out, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_NEAR(out, t.out, 1e-15) << t.angle;
    BSphyparang(2, 1, out, 0, &back, &rc);  // and back to the geometric angle, brought into [0, 2 pi]
    EXPECT_NEAR(back, std::fmod(t.angle + 4 * M_PI, 2 * M_PI) + (t.angle == 2 * M_PI ? 2 * M_PI : 0), 1e-14);
  }
  for (double bad : {double(NAN), double(INFINITY)}) {
    BSphyparang(2, 1, bad, 1, &out, &rc);
    EXPECT_EQ(rc, -2);
  }
  BSphyparang(0, 1, 1, 1, &out, &rc);
  EXPECT_EQ(rc, -2);
}

}  // namespace

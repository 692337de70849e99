#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <vector>

#include "tests/bspline/measure/box_fixtures.h"

namespace {

double sq_dist(int dim, const double *a, const double *b) {
  double s = 0;
  for (int c = 0; c < dim; ++c) s += (a[c] - b[c]) * (a[c] - b[c]);
  return s;
}

TEST(DistanceBounds, PointToOrientedBoxBoundsEveryPointOfTheBox) {
  std::mt19937 rng(211);
  std::uniform_real_distribution<double> ud(-2, 2), unit(-1, 1);
  for (int trial = 0; trial < 60; ++trial) {
    const int dim = 2 + trial % 2;
    // Axes filled in order: a segment, a parallelogram or (in space) a box with a perpendicular third axis.
    const int used = 1 + trial % dim;
    double center[3], axes[9] = {}, p[3];
    for (int c = 0; c < dim; ++c) center[c] = ud(rng), p[c] = 3 * ud(rng);
    for (int i = 0; i < std::min(used, 2); ++i)
      for (int c = 0; c < dim; ++c) axes[i * dim + c] = ud(rng);
    if (used == 3) bsbox::cross(axes, axes + 3, axes + 6);
    double lo = -1, hi = -1;
    int rc = 0;
    BSminmaxbox(dim, axes, center, p, &lo, &hi, &rc);
    ASSERT_EQ(rc, 0) << trial;
    double nearest = DBL_MAX, farthest = 0;
    for (int k = 0; k < 4000; ++k) {
      double q[3];
      const double s[3] = {unit(rng), unit(rng), unit(rng)};
      // Corners and edges too, where the extremes lie.
      double t[3];
      for (int i = 0; i < 3; ++i) t[i] = k < 8 ? ((k >> i) & 1 ? 1 : -1) : k < 400 ? std::round(s[i]) : s[i];
      for (int c = 0; c < dim; ++c) {
        q[c] = center[c];
        for (int i = 0; i < dim; ++i) q[c] += t[i] * axes[i * dim + c];
      }
      const double d2 = sq_dist(dim, p, q);
      bsbox::expect_bounds(lo, hi, d2, "box sample", k);
      nearest = std::fmin(nearest, d2);
      farthest = std::fmax(farthest, d2);
    }
    // The corner bound is exact; the nearest point within a factor that the sampling explains.
    EXPECT_NEAR(hi, farthest, 1e-9 * farthest) << trial;
    if (used < 3) {
      EXPECT_LE(nearest - lo, 0.05 * (1 + nearest)) << trial;
    }
  }
}

TEST(DistanceBounds, PointSegmentAndFlatBoxes) {
  int rc = 0;
  double lo, hi;
  // A point inside: no distance below, the farthest corner above.
  const double center[3] = {0, 0, 0}, axes[9] = {2, 0, 0, 0, 1, 0, 0, 0, 3}, inside[3] = {0.5, 0.5, -1};
  BSminmaxbox(3, axes, center, inside, &lo, &hi, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(lo, 0);
  EXPECT_DOUBLE_EQ(hi, 2.5 * 2.5 + 1.5 * 1.5 + 4 * 4);
  // Above the box: the gap along the third axis adds to the lower bound.
  const double above[3] = {0.5, 0.5, 5};
  BSminmaxbox(3, axes, center, above, &lo, &hi, &rc);
  EXPECT_DOUBLE_EQ(lo, 4);
  // A point box and a segment.
  const double none[9] = {}, seg[9] = {1, 0, 0}, p[3] = {3, 4, 0};
  BSminmaxbox(3, none, center, p, &lo, &hi, &rc);
  EXPECT_EQ(lo, 25);
  EXPECT_EQ(hi, 25);
  BSminmaxbox(3, seg, center, p, &lo, &hi, &rc);
  EXPECT_DOUBLE_EQ(lo, 4 + 16);
  EXPECT_DOUBLE_EQ(hi, 16 + 16);
  // Axes out of order; dimensions without a box.
  const double gap[9] = {0, 0, 0, 1, 0, 0, 0, 0, 0};
  BSminmaxbox(3, gap, center, p, &lo, &hi, &rc);
  EXPECT_EQ(rc, -2);
  BSminmaxbox(4, gap, center, p, &lo, &hi, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, DBL_MAX);
  // Parallel half-axes claim no lower bound rather than a wrong one.
  const double par[4] = {1, 0, 2, 0}, c2[2] = {0, 0}, q[2] = {3.5, 0};
  BSmnmxbx2(par, c2, q, &lo, &hi, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(lo, 0);
  EXPECT_GE(hi, 6.5 * 6.5);
  // A point at the largest double overflows the box's products: the bounds claim nothing instead of NaN.
  const double tilted[9] = {1, 0, 1, 0, 2, 0, -2, 0, 2}, far[3] = {DBL_MAX, DBL_MAX, DBL_MAX};
  BSminmaxbox(3, tilted, center, far, &lo, &hi, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, DBL_MAX);
  // A far point over a box of a nearly flat third axis: its coordinate along that axis is huge while the
  // distance is not; the bounds stay finite and hold the distance.
  const double flat[9] = {2, 0, 0, 0, 1, 0, 0, 0, 1e-15}, off[3] = {0, 0, 1e151};
  BSminmaxbox(3, flat, center, off, &lo, &hi, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_LE(lo, 1e302);
  EXPECT_GE(hi, 1e302);
  EXPECT_GT(lo, 0.99e302);
  // A third axis so thin that its square is subnormal and holds few digits: divided by, it threw the point
  // off the box's plane and the lower bound past the distance.
  const double thin[9] = {2, 0, 0, 0, 1, 0, 0, 0, 2.3e-162}, over[3] = {0, 0, 5};
  BSminmaxbox(3, thin, center, over, &lo, &hi, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_LE(lo, 25);
  EXPECT_GE(hi, 25 + 4 + 1);
  EXPECT_GT(lo, 25 * (1 - 1e-12));
  // A parallelogram of half-axes near 1e-80: the determinant of their plane coordinates, a fourth power of
  // their lengths, is deep in the subnormals. Over its inside, at a height of 1e-84, the lower bound overshot the
  // distance by a fifth.
  const double k = 1e-80, tiny[9] = {3 * k, k, 0, k, 2 * k, 0, 0, 0, 0}, over_tiny[3] = {-0.3 * k, -1.1 * k, 1e-4 * k};
  BSminmaxbox(3, tiny, center, over_tiny, &lo, &hi, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_NEAR(lo / (1e-8 * k * k), 1, 1e-12);
}

TEST(DistanceBounds, CurveBoundsHoldForEveryPointOfTheCurve) {
  std::mt19937 rng(212);
  std::uniform_real_distribution<double> ud(-20, 20);
  for (int trial = 0; trial < 20; ++trial) {
    const int dim = 2 + trial % 2, order = 3 + trial % 3;
    auto c = random_curve(rng, order, order + trial % 4, trial % 3 == 0, true);
    if (trial == 7)  // a straight curve: no oriented box, the sphere answers
      for (int i = 0; i < c->n(); ++i)
        for (int k = 0; k < 3; ++k) c->poles[3 * i + k] = (k + 1) * i * (c->weights.empty() ? 1 : c->weights[i]);
    const std::vector<double> blocks = bsbox::coordinate_blocks(*c, dim);
    const int m = 12;
    std::vector<double> pts(dim * m), lo(m, -5), hi(m, -5);
    for (double &x : pts) x = ud(rng);
    std::vector<unsigned char> active(m, 1);
    active[3] = 0;
    int rc = 0;
    BSminmaxbsc(order, c->n(), dim, c->cv.rational, c->knots.data(), blocks.data(), m, pts.data(), active.data(),
                lo.data(), hi.data(), &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(lo[3], -5) << "inactive points are left alone";
    for (int i = 0; i <= 100; ++i) {
      double p[3];
      ref_point(*c, bsbox::sample(*c, i, 100), p);
      for (int j = 0; j < m; ++j) {
        if (!active[j]) continue;
        double q[3];
        for (int k = 0; k < dim; ++k) q[k] = pts[k * m + j];
        bsbox::expect_bounds(lo[j], hi[j], sq_dist(dim, p, q), "curve sample", i);
      }
    }
  }
}

TEST(DistanceBounds, LegendreSpanBoundsAndActivity) {
  std::mt19937 rng(213);
  std::uniform_real_distribution<double> ud(-3, 3);
  for (int trial = 0; trial < 30; ++trial) {
    const int dim = 2 + trial % 2, deg = trial % 5;
    const bool rational = trial % 3 == 0;
    // Some spans have weights that vary too much for a box (their sum beyond 1): the sphere answers.
    const bool heavy = trial % 4 == 3;
    const std::vector<double> coef =
        bsbox::random_legendre_span(rng, deg, dim, rational, heavy ? 2 : 1, 0.2, heavy ? 1.2 : 0);
    const int m = 10;
    std::vector<double> pts(dim * m), lo(m), hi(m), limit(m);
    for (double &x : pts) x = 4 * ud(rng);
    for (int j = 0; j < m; ++j) limit[j] = j % 3 == 0 ? DBL_MAX : 2.0 * (j % 4);
    std::vector<unsigned char> active(m, 1);
    int rc = 0;
    BSboxcvlgd(deg, dim, rational, coef.data(), m, pts.data(), limit.data(), active.data(), lo.data(), hi.data(),
               &rc);
    ASSERT_EQ(rc, 0);
    for (int j = 0; j < m; ++j) {
      EXPECT_EQ(active[j] != 0, limit[j] == DBL_MAX || lo[j] <= limit[j] * limit[j]) << trial << " " << j;
      for (int i = 0; i <= 100; ++i) {
        double p[3], q[3];
        bsbox::legendre_point(deg, dim, rational, coef.data(), -1 + i / 50.0, p);
        for (int k = 0; k < dim; ++k) q[k] = pts[k * m + j];
        bsbox::expect_bounds(lo[j], hi[j], sq_dist(dim, p, q), "span sample", i);
      }
    }
  }
}

TEST(DistanceBounds, SpheresOfLegendreSpans) {
  // Degree 1: the box is the segment, and its bounds are the segment's.
  const double line[4] = {1, 2, 0, 1};  // x = 1 + 2t, y = t
  double center[3], axes[9];
  int rc = 0;
  BSboxcvlgp(1, 2, line, center, axes, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(axes[0], 2);
  EXPECT_EQ(axes[1], 1);
  EXPECT_EQ(axes[2], 0);
  const double p[2] = {5, 0};
  double lo, hi, slo, shi;
  BSminmaxbox(2, axes, center, p, &lo, &hi, &rc);
  BSmnmxseg(2, center, axes, p, &slo, &shi);
  EXPECT_EQ(lo, slo);
  EXPECT_EQ(hi, shi);
  EXPECT_DOUBLE_EQ(lo, 4 + 1);
  double r = 0;
  BSlgdsphere(1, 0, 2, line, center, &r);
  EXPECT_DOUBLE_EQ(r, std::sqrt(5.0));
  // Weights 1 + t over [-1, 1] reach zero: no bound, and the point stays active whatever its limit.
  const double unbounded[6] = {1, 2, 0, 1, 1, 1};
  BSlgdsphrat(1, 0, 2, unbounded, center, &r);
  EXPECT_EQ(r, DBL_MAX);
  const double limit[1] = {0.001};
  unsigned char active[1] = {1};
  BSboxcvlgd(1, 2, BSTRUE, unbounded, 1, p, limit, active, &lo, &hi, &rc);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, DBL_MAX);
  EXPECT_EQ(active[0], 1);
  // Weights 1 + 0.5 t: the bound holds for a weight as small as 0.5 and a negative leading weight alike.
  for (double sign : {1.0, -1.0}) {
    const double half[6] = {sign, sign * 2, 0, sign, sign, sign * 0.5};
    BSlgdsphrat(1, 0, 2, half, center, &r);
    for (int i = 0; i <= 20; ++i) {
      double q[2];
      bsbox::legendre_point(1, 2, true, half, -1 + i / 10.0, q);
      EXPECT_LE(std::hypot(q[0] - center[0], q[1] - center[1]), r * (1 + 1e-12));
    }
  }
}

}  // namespace

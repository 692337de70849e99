// Line strings against line strings beside GEOS's intersection of the two: the same crossing points and the same
// shared stretches, and every parameter evaluates to its point on its own curve.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "tests/bspline/intersection_call.h"
#include "tests/bspline/oracle/intersect/line_string_pairs.h"

namespace {

// An order-2 curve over the poles with knots of random spacing.
struct String {
  std::vector<double> poles, knots;
  VOQbsp_curve cv{};
  String(std::mt19937 &rng, const std::vector<double> &p) : poles(p) {
    std::uniform_real_distribution<double> gap(0.1, 3);
    const int n = static_cast<int>(p.size() / 3);
    knots.push_back(gap(rng) - 1);
    knots.push_back(knots.back());
    for (int i = 1; i < n; ++i) knots.push_back(knots.back() + gap(rng));
    knots.push_back(knots.back());
    cv.order = 2, cv.num_poles = n, cv.poles = poles.data(), cv.num_knots = n + 2, cv.knots = knots.data();
  }
};

bool Near(const double *p, const double *q) { return std::hypot(p[0] - q[0], p[1] - q[1]) <= 1e-9; }

double OffCurve(const VOQbsp_curve &cv, double u, const double *p) {
  double x[3];
  int rc = 1;
  BScveval_n(&cv, u, 0, x, &rc);
  return rc == 0 ? std::hypot(x[0] - p[0], x[1] - p[1]) : 1;
}

TEST(LineStringIntersectionOracle, SamePointsAndStretchesAsGeos) {
  GEOSContextHandle_t ctx = GEOS_init_r();
  std::mt19937 rng(111);
  int points = 0, stretches = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const lspairs::Pair pair = lspairs::MakePair(rng, 200);
    const lspairs::Answer want = lspairs::GeosAnswer(ctx, pair);
    String a(rng, pair.a), b(rng, pair.b);
    CallResults r(trial % 2 ? 0 : 400, trial % 2 ? 0 : 10);
    r.lsls(&a.cv, &b.cv, static_cast<BSboolean>(trial % 3 == 0));
    ASSERT_EQ(r.rc, 0) << trial;
    ASSERT_EQ(2 * r.n_int, static_cast<int>(want.points.size())) << trial;
    ASSERT_EQ(4 * r.n_over, static_cast<int>(want.stretches.size())) << trial;
    std::vector<bool> used(r.n_int, false);
    for (std::size_t k = 0; k < want.points.size(); k += 2) {
      int hit = -1;
      for (int i = 0; i < r.n_int && hit < 0; ++i)
        if (!used[i] && Near(r.pts() + 3 * i, &want.points[k])) hit = i;
      ASSERT_GE(hit, 0) << trial << ": no point at " << want.points[k] << " " << want.points[k + 1];
      used[hit] = true;
    }
    for (std::size_t k = 0; k < want.stretches.size(); k += 4) {
      const double *e = &want.stretches[k];
      bool found = false;
      for (int i = 0; i < r.n_over && !found; ++i) {
        const double *o = r.over_pts() + 6 * i;
        found = (Near(o, e) && Near(o + 3, e + 2)) || (Near(o, e + 2) && Near(o + 3, e));
      }
      EXPECT_TRUE(found) << trial << ": no stretch from " << e[0] << " " << e[1] << " to " << e[2] << " " << e[3];
    }
    for (int i = 0; i < r.n_int; ++i) {
      EXPECT_LE(OffCurve(a.cv, r.par1()[i], r.pts() + 3 * i), 1e-9) << trial;
      EXPECT_LE(OffCurve(b.cv, r.par2()[i], r.pts() + 3 * i), 1e-9) << trial;
      if (i > 0) {
        EXPECT_LE(r.par1()[i - 1], r.par1()[i]) << trial;
      }
    }
    for (int i = 0; i < 2 * r.n_over; ++i) {
      EXPECT_LE(OffCurve(a.cv, r.over_par1()[i], r.over_pts() + 3 * i), 1e-9) << trial;
      EXPECT_LE(OffCurve(b.cv, r.over_par2()[i], r.over_pts() + 3 * i), 1e-9) << trial;
    }
    points += r.n_int;
    stretches += r.n_over;
  }
  GEOS_finish_r(ctx);
  EXPECT_GT(points, 3000);
  EXPECT_GT(stretches, 100);
}

}  // namespace

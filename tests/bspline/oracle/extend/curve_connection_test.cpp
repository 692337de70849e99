// The crossing-and-trim join of random quadratics and cubics beside OpenCASCADE's intersection of the curves
// continued straight: each curve and its end ray P .. P +- 10 D, from the peer's own end derivative.
#include <gtest/gtest.h>

#include <Geom2d_Line.hxx>
#include <Geom2d_TrimmedCurve.hxx>
#include <algorithm>
#include <random>

#include "bspline/extend.h"
#include "tests/bspline/measure_curves.h"
#include "tests/bspline/oracle/curve_pairs.h"

namespace {

// Order k, n poles from `from` to `to` with random wobbles; rational ones get weights in [0.5, 2].
std::unique_ptr<TestCurve> wobbly(std::mt19937 &rng, int k, int n, const double from[2], const double to[2],
                                  bool rational) {
  std::uniform_real_distribution<double> u(-1, 1), w(0.5, 2);
  std::vector<double> poles, knots(k, 0.0), weights;
  for (int i = 0; i < n; ++i) {
    const double s = double(i) / (n - 1), wob = i == 0 || i == n - 1 ? 0 : u(rng);
    poles.insert(poles.end(), {from[0] + s * (to[0] - from[0]) + wob, from[1] + s * (to[1] - from[1]) + wob, 0});
    if (rational) weights.push_back(w(rng));
  }
  for (int i = k; i < n; ++i) knots.push_back(knots.back() + 1 + u(rng) * 0.8);
  knots.insert(knots.end(), k, knots.back() + 1);
  return std::make_unique<TestCurve>(k, poles, knots, weights);
}

// The curve and its straight continuation beyond (after) or before its ends, as the peer sees them.
std::vector<Handle(Geom2d_Curve)> continued(const TestCurve &c, bool after) {
  Handle(Geom2d_BSplineCurve) cv = cvpairs::Occt(c);
  gp_Pnt2d P;
  gp_Vec2d D;
  cv->D1(after ? c.end() : c.start(), P, D);
  const gp_Pnt2d far = P.Translated((after ? 10.0 : -10.0) * D);
  return {cv, new Geom2d_TrimmedCurve(new Geom2d_Line(P, gp_Dir2d(gp_Vec2d(P, far))), 0, P.Distance(far))};
}

TEST(CurveConnectionOracle, CrossingOfTheContinuationsAsOpenCascade) {
  // The crossing is found to the distance tolerance: the peer's precision needs a finer one than the default.
  const TolScope fine(bstol::dist_tol, 1e-10), fine_sq(bstol::dist_sqtol, 1e-20);
  std::mt19937 rng(2211);
  std::uniform_int_distribution<int> order(3, 4), extra(0, 3), coin(0, 1);
  int compared = 0;
  double worst = 0;
  for (int trial = 0; trial < 300; ++trial) {
    // a ends at x = -1 heading along x, b starts at y = -1 heading down y: their continuations cross.
    std::uniform_real_distribution<double> u(-1, 1);
    const double a0[2] = {-10, 2 * u(rng)}, a1[2] = {-1, 2 * u(rng)}, b0[2] = {1 + u(rng), -1}, b1[2] = {u(rng), -10};
    const int ka = order(rng), kb = order(rng);
    const auto a = wobbly(rng, ka, ka + extra(rng), a0, a1, coin(rng));
    const auto b = wobbly(rng, kb, kb + extra(rng), b0, b1, coin(rng));
    // The peer's crossing nearest both ends; a near tie between two is left out.
    double E1[3], E2[3], best[2] = {0, 0}, cost = 1e300, second = 1e300;
    ref_point(*a, a->end(), E1), ref_point(*b, b->start(), E2);
    for (const Handle(Geom2d_Curve) &c1 : continued(*a, true))
      for (const Handle(Geom2d_Curve) &c2 : continued(*b, false)) {
        Geom2dAPI_InterCurveCurve x(c1, c2, 1e-12);
        for (int i = 1; i <= x.NbPoints(); ++i) {
          const gp_Pnt2d X = x.Point(i);
          const double k = std::hypot(X.X() - E1[0], X.Y() - E1[1]) + std::hypot(X.X() - E2[0], X.Y() - E2[1]);
          if (std::fabs(k - cost) < 1e-9) continue;  // the same point from both sides of a joint
          second = std::min(second, std::max(k, cost));
          if (k < cost) cost = k, best[0] = X.X(), best[1] = X.Y();
        }
      }
    if (cost == 1e300 || second - cost < 1e-3) continue;
    VOQbsp_curve *out[3] = {nullptr, nullptr, nullptr};
    int rc = 1;
    BSlineconcvs(&a->cv, &b->cv, 0, &out[0], &out[1], &out[2], &rc);
    ASSERT_TRUE(rc == 0 && !out[2]) << trial;
    for (int j : {0, 1}) {  // both junction poles, Cartesian
      const VOQbsp_curve &c = *out[j];
      const int i = j ? 0 : c.num_poles - 1;
      const double w = c.rational ? c.weights[i] : 1;
      worst = std::max(worst, std::hypot(c.poles[3 * i] / w - best[0], c.poles[3 * i + 1] / w - best[1]));
      BSfreevoqcv(out[j], &rc);
    }
    ++compared;
  }
  EXPECT_LE(worst, 1e-9);
  EXPECT_GT(compared, 200);
}

}  // namespace

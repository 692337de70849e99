// The continuation of a Bezier span beside OpenCASCADE's Bezier curve evaluated outside its parameter range.
#include <gtest/gtest.h>

#include <Geom2d_BezierCurve.hxx>
#include <TColStd_Array1OfReal.hxx>
#include <TColgp_Array1OfPnt2d.hxx>
#include <cmath>
#include <random>
#include <vector>

#include "bspline/offset.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

// Random spans on [0, 1] of orders 2 to 10, polynomial and rational, continued at either end, directly or as two
// spans: every point of the result's range is the peer's span at the same parameter.
TEST(PolynomialExtensionOracle, SameFunctionAsOpenCascadeBeyondTheSpan) {
  std::mt19937 rng(882);
  std::uniform_real_distribution<double> coord(-5, 5), wd(0.4, 2.5), u01(0, 1);
  double worst = 0;
  for (int trial = 0; trial < 360; ++trial) {
    const int k = 2 + trial % 9;
    const bool rational = trial % 4 >= 2;
    const std::int16_t at_end = trial % 2;
    TColgp_Array1OfPnt2d poles(1, k);
    TColStd_Array1OfReal weights(1, k);
    std::vector<double> xyz, w;
    for (int i = 0; i < k; ++i) {
      const double x = coord(rng), y = coord(rng);
      poles.SetValue(i + 1, gp_Pnt2d(x, y));
      xyz.insert(xyz.end(), {x, y, 0});
      // End weights 1: the continuation normalises them, which would reparametrise any others.
      w.push_back(rational && i > 0 && i < k - 1 ? wd(rng) : 1.0);
      weights.SetValue(i + 1, w.back());
    }
    const Handle(Geom2d_BezierCurve) peer =
        rational ? new Geom2d_BezierCurve(poles, weights) : new Geom2d_BezierCurve(poles);
    std::vector<double> knots(k, 0.0);
    knots.insert(knots.end(), k, 1.0);
    TestCurve span(k, xyz, knots, rational ? w : std::vector<double>{});
    std::vector<double> out_poles(3 * (2 * k - 1)), out_knots(3 * k - 1), out_weights(2 * k - 1);
    VOQbsp_curve out{};
    out.poles = out_poles.data(), out.knots = out_knots.data(), out.weights = out_weights.data();
    int rc = 0;
    ASSERT_TRUE(BSpoly_ext(&rc, &span.cv, &at_end, &out)) << trial;
    const double lo = out.knots[k - 1], hi = out.knots[out.num_poles];
    for (int i = 0; i < 12; ++i) {
      const double u = lo + (hi - lo) * u01(rng);
      double got[3];
      ref_point(out, u, got);
      const gp_Pnt2d want = peer->Value(u);
      const double scale = 1 + std::hypot(want.X(), want.Y());
      worst = std::max(worst, std::hypot(got[0] - want.X(), got[1] - want.Y()) / scale);
    }
  }
  EXPECT_LT(worst, 1e-9);
}

}  // namespace

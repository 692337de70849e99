// Order increase on coordinate blocks beside OpenCASCADE's degree increase, on random clamped splines with
// interior knots of every multiplicity below the order.
#include <gtest/gtest.h>

#include <random>

#include "tests/bspline/oracle/flat_curves.h"

namespace {

TEST(OrderIncreaseOracle, AgreesWithOpenCascade) {
  std::mt19937 rng(4292);
  for (int k = 2; k <= 8; ++k)
    for (int raise = 1; raise <= 4; ++raise) {
      auto c = random_curve(rng, k, k + 6, false, true, k - 1);
      const int np = c->n();
      std::vector<double> blocks(3 * np);
      for (int i = 0; i < np; ++i)
        for (int x = 0; x < 3; ++x) blocks[x * np + i] = c->poles[3 * i + x];
      int new_np = 0, rc = 0;
      double *poles = nullptr, *knots = nullptr;
      BSincord(k, 3, np, blocks.data(), c->knots.data(), k + raise, &new_np, &poles, &knots, &rc);
      ASSERT_EQ(rc, 0);
      Flat ours;
      for (int i = 0; i < new_np; ++i) {
        for (int x = 0; x < 3; ++x) ours.poles.push_back(poles[x * new_np + i]);
        ours.weights.push_back(1.0);
      }
      ours.knots.assign(knots, knots + new_np + k + raise);
      BSdbgfree(poles);
      BSdbgfree(knots);
      OcctCurve oc(*c);
      oc.cv->IncreaseDegree(k - 1 + raise);
      expect_same(ours, flat_of(oc.cv), 1e-12, "OpenCASCADE");
    }
}

}  // namespace

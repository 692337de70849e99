// Points on random curves: BSprptoncv finds them on the curve at the parameter OpenCASCADE's GeomLib_Tool gives.
#include <gtest/gtest.h>

#include <GeomLib_Tool.hxx>

#include <random>

#include "bspline/distance.h"
#include "tests/bspline/oracle/peer_curves.h"

namespace {

TEST(PointOnCurveOracle, ParameterOfPointsOnTheCurve) {
  std::mt19937 rng(2220);
  int peer_gave_up = 0;
  for (int order = 2; order <= 6; ++order)
    for (int rational = 0; rational <= 1; ++rational) {
      auto c = random_curve(rng, order, order + 6, rational, true);
      OcctCurve oc(*c);
      std::uniform_real_distribution<double> u(c->start(), c->end());
      for (int i = 0; i < 20; ++i) {
        const double t = u(rng);
        double q[3], ours = -1e9, peer = 0;
        ref_point(*c, t, q);
        BSboolean on = 0;
        int rc = 0;
        EXPECT_TRUE(BSprptoncv(&rc, &c->cv, q, &ours, &on));
        EXPECT_EQ(on, BSTRUE) << "order " << order << " rational " << rational << " u " << t;
        // The peer gives up now and then (its own search); those points are counted, not compared.
        if (!GeomLib_Tool::Parameter(oc.cv, gp_Pnt(q[0], q[1], q[2]), 1e-6, peer)) {
          ++peer_gave_up;
          continue;
        }
        EXPECT_NEAR(ours, peer, 1e-9 * std::fmax(1, std::fabs(peer))) << "order " << order << " u " << t;
      }
    }
  EXPECT_LT(peer_gave_up, 20);
}

}  // namespace

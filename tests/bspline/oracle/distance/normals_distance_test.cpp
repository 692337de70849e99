// BSnormals and BSmdistptcv on random cubics beside OpenCASCADE: the feet are its projections, and the nearest
// parameters are its extrema, ends and corner knots filtered to the minimum within dist_tol.
#include <gtest/gtest.h>

#include <Extrema_ExtPC.hxx>
#include <GeomAdaptor_Curve.hxx>
#include <algorithm>
#include <cfloat>
#include <random>
#include <utility>

#include "bspline/distance.h"
#include "tests/bspline/oracle/peer_distance.h"

namespace {

// Within 1e-8 of each other, as sets.
void expect_same(std::vector<double> ours, std::vector<double> peer, int at) {
  std::sort(peer.begin(), peer.end());
  peer.erase(std::unique(peer.begin(), peer.end(), [](double a, double b) { return b - a < 1e-8; }), peer.end());
  ASSERT_EQ(ours.size(), peer.size()) << "point " << at;
  for (std::size_t i = 0; i < ours.size(); ++i) EXPECT_NEAR(ours[i], peer[i], 1e-8) << "point " << at;
}

TEST(NormalsDistanceOracle, FeetAndNearestParameters) {
  std::mt19937 rng(2280);
  int compared = 0;
  for (int rational = 0; rational <= 1; ++rational)
    for (int mult : {1, 3}) {
      auto c = random_curve(rng, 4, 9, rational, true, mult);
      OcctCurve oc(*c);
      GeomAdaptor_Curve ad(oc.cv);
      const std::vector<double> pts = points_around(rng, *c, 40, 2.0);
      for (std::size_t i = 0; i < pts.size(); i += 3, ++compared) {
        const double *q = &pts[i];
        const gp_Pnt p(q[0], q[1], q[2]);
        std::int16_t nf = 0, ni = 0;
        double *feet = nullptr, *ranges = nullptr, dist = -1;
        int rc = 99;
        ASSERT_TRUE(BSnormals(&rc, &c->cv, q, &nf, &feet, &ni, &ranges));
        const std::vector<double> ours_feet(feet, feet + nf);
        BSdbgfree(feet), BSdbgfree(ranges), feet = ranges = nullptr;
        // Away from corner knots (where each side has feet of its own): every projection is one of ours, and since the
        // peer samples and can miss a close pair of extrema, each of ours is perpendicular by its evaluation.
        GeomAPI_ProjectPointOnCurve proj(p, oc.cv);
        for (int j = 1; j <= proj.NbPoints() && mult == 1; ++j)
          EXPECT_TRUE(std::any_of(ours_feet.begin(), ours_feet.end(),
                                  [&](double v) { return std::fabs(proj.Parameter(j) - v) < 1e-8; }))
              << "projection " << proj.Parameter(j) << " point " << i / 3;
        for (double u : ours_feet) {
          gp_Pnt P;
          gp_Vec V;
          oc.cv->D1(u, P, V);
          const gp_Vec w(p, P);
          if (mult == 1) {
            EXPECT_LT(std::fabs(w.Dot(V)), 1e-9 * V.Magnitude() * (1 + w.Magnitude())) << i / 3;
          }
        }
        // The nearest parameters: extrema, ends and the corner knots, filtered to the minimum within dist_tol.
        std::vector<std::pair<double, double>> cand;
        Extrema_ExtPC ext(p, ad, 1e-12);
        for (int j = 1; ext.IsDone() && j <= ext.NbExt(); ++j)
          cand.push_back({std::sqrt(ext.SquareDistance(j)), ext.Point(j).Parameter()});
        for (double u : oc.distinct) {
          double v[3];
          oc.left_d0(u, v);
          cand.push_back({p.Distance(gp_Pnt(v[0], v[1], v[2])), u});
        }
        const double best = std::min_element(cand.begin(), cand.end())->first;
        std::vector<double> peer_near;
        for (const auto &cd : cand)
          if (cd.first < best + BStoltab[bstol::dist_tol]) peer_near.push_back(cd.second);
        BSmdistptcv(&c->cv, q, &ni, &nf, &feet, &dist, &ranges, &rc);
        ASSERT_EQ(rc, 0);
        EXPECT_EQ(ni, 0);
        const std::vector<double> ours(feet, feet + nf);
        BSdbgfree(feet), BSdbgfree(ranges);
        EXPECT_NEAR(dist, best, 1e-9 * (1 + best));
        expect_same(ours, peer_near, static_cast<int>(i / 3));
      }
    }
  EXPECT_EQ(compared, 160);
}

}  // namespace

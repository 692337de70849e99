// BSperpa on random cubics: its foot is one of OpenCASCADE's projections and the nearest of the interior ones.
#include <gtest/gtest.h>

#include <cfloat>
#include <random>

#include "bspline/distance.h"
#include "tests/bspline/oracle/peer_distance.h"

namespace {

TEST(PerpendicularFeetOracle, NearestInteriorProjection) {
  std::mt19937 rng(2230);
  int compared = 0;
  // 100 poles take the span arrays beyond their local room.
  for (int n : {6, 12, 100})
    for (int rational = 0; rational <= 1; ++rational) {
      auto c = random_curve(rng, 4, n, rational, true);
      OcctCurve oc(*c);
      const std::vector<double> pts = points_around(rng, *c, 24, 2.0);
      for (std::size_t i = 0; i < pts.size(); i += 3) {
        const double *q = &pts[i];
        const gp_Pnt p(q[0], q[1], q[2]);
        GeomAPI_ProjectPointOnCurve proj(p, oc.cv);
        double peer = DBL_MAX, peer_u = 0;
        for (int j = 1; j <= proj.NbPoints(); ++j) {
          const double t = proj.Parameter(j);
          if (t > c->start() + 1e-9 && t < c->end() - 1e-9 && proj.Distance(j) < peer)
            peer = proj.Distance(j), peer_u = t;
        }
        BSboolean found = 0;
        double u = 0;
        int rc = 99, position = 9;
        ASSERT_TRUE(BSperpa(&rc, &c->cv, q, q, &found, &u, &position));
        ASSERT_EQ(rc, 0);
        EXPECT_EQ(found != 0, peer < DBL_MAX) << "n " << n << " point " << i / 3;
        if (!found || peer == DBL_MAX) continue;
        double v[3];
        ref_point(*c, u, v);
        const double ours = p.Distance(gp_Pnt(v[0], v[1], v[2]));
        EXPECT_NEAR(ours, peer, 1e-9 * (1 + peer)) << "n " << n << " point " << i / 3 << " u " << u << " " << peer_u;
        ++compared;
      }
    }
  EXPECT_GT(compared, 100);
}

}  // namespace

// The global nearest point of random B-splines beside the peers' (OpenCASCADE's projections and SISL's extremal
// points, both ends added): the one-point search and the span-by-span search for points that follow the curve.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "bspline/distance.h"
#include "tests/bspline/oracle/peer_distance.h"

namespace {

struct Answers {
  std::vector<double> bound, dist, par, pt;
  explicit Answers(int np) : bound(np, DBL_MAX), dist(np, DBL_MAX), par(np, 0), pt(3 * np, 0) {}
};

// Points that follow the curve in order, each a little off it.
std::vector<double> points_along(std::mt19937 &rng, const TestCurve &c, int np) {
  std::uniform_real_distribution<double> off(-0.3, 0.3);
  std::vector<double> pts;
  for (int i = 0; i < np; ++i) {
    double q[3];
    ref_point(c, std::fmin(c.end(), c.start() + (c.end() - c.start()) * i / (np - 1)), q);
    for (double &v : q) v += off(rng);
    pts.insert(pts.end(), q, q + 3);
  }
  return pts;
}

// Our one-point search on every point beside both peers: never farther than the nearer peer, equal to it within
// 1e-9, at its parameter where the foot is unique, and at a curve point that is as far as it says.
void expect_peer_minimum(const TestCurve &c, const std::vector<double> &pts, const std::string &what) {
  const std::vector<double> cm = component_major(c);
  const int np = static_cast<int>(pts.size() / 3);
  Answers a(np);
  int rc = 0;
  BSmdptbscv(c.order() - 1, c.n(), 3, !c.weights.empty(), cm.data(), c.knots.data(), np, pts.data(), 1e-12,
             a.bound.data(), a.dist.data(), a.bound.data(), a.dist.data(), a.par.data(), a.pt.data(), &rc);
  ASSERT_EQ(rc, 0) << what;
  OcctCurve oc(c);
  SislCurve sc(c);
  for (int i = 0; i < np; ++i) {
    const double *q = &pts[3 * i];
    // Either peer may miss a minimum; the nearer one of the two is the reference.
    const PeerFoot o = occt_nearest(oc, q), s = sisl_nearest(sc.cv, q), &best = o.dist < s.dist ? o : s;
    EXPECT_NEAR(a.dist[i], best.dist, 1e-9 * std::fmax(1, best.dist)) << what << " point " << i;
    if (o.unique && s.unique) {
      EXPECT_NEAR(a.par[i], best.par, 1e-6) << what << " point " << i;
    }
    double r[3];
    ref_point(c, a.par[i], r);
    EXPECT_NEAR(std::sqrt((r[0] - q[0]) * (r[0] - q[0]) + (r[1] - q[1]) * (r[1] - q[1]) + (r[2] - q[2]) * (r[2] - q[2])),
                a.dist[i], 1e-9) << what << " point " << i;
  }
}

TEST(PointDistanceOracle, OnePointSearchFindsThePeersGlobalMinimum) {
  std::mt19937 rng(2330);
  std::uniform_int_distribution<int> poles(5, 40);
  for (int order = 2; order <= 6; ++order)
    for (int rational = 0; rational <= 1; ++rational) {
      const bool clamped = (order + rational) % 2 == 0;
      auto c = random_curve(rng, order, std::max(order, poles(rng)), rational, clamped, order > 2 ? order - 1 : 1);
      expect_peer_minimum(*c, points_around(rng, *c, 1000, 1.0),
                          "order " + std::to_string(order) + " rational " + std::to_string(rational));
    }
}

// High orders with knots clustered a millionth apart, and closed unclamped curves (the first poles repeated).
TEST(PointDistanceOracle, HighOrdersClusteredKnotsAndClosedCurves) {
  std::mt19937 rng(2331);
  for (int order : {8, 12, 16})
    for (int rational = 0; rational <= 1; ++rational) {
      auto c = random_curve(rng, order, 30, rational, true);
      for (int i = order; i < c->n(); i += 3) c->knots[i] = c->knots[i - 1] + 1e-6;
      expect_peer_minimum(*c, points_around(rng, *c, 150, 1.0),
                          "clustered order " + std::to_string(order) + " rational " + std::to_string(rational));
    }
  for (int order : {3, 4, 7}) {
    auto c = random_curve(rng, order, 20, false, false);
    for (int i = 0; i < order - 1; ++i)
      for (int k = 0; k < 3; ++k) c->poles[3 * (c->n() - order + 1 + i) + k] = c->poles[3 * i + k];
    expect_peer_minimum(*c, points_around(rng, *c, 300, 1.0), "closed order " + std::to_string(order));
  }
}

TEST(PointDistanceOracle, SpanSearchAgreesWithTheOnePointSearchAndOpenCascade) {
  std::mt19937 rng(2370);
  std::uniform_int_distribution<int> poles(10, 60);
  for (int rational = 0; rational <= 1; ++rational)
    for (int trial = 0; trial < 3; ++trial) {
      auto c = random_curve(rng, 4, poles(rng), rational, trial != 1, trial == 2 ? 3 : 1);
      const std::vector<double> cm = component_major(*c);
      const int np = 1000;
      const std::vector<double> pts = trial == 0 ? points_around(rng, *c, np, 0.5) : points_along(rng, *c, np);
      Answers one(np), span(np);
      int rc = 0;
      BSmdptbscv(3, c->n(), 3, rational, cm.data(), c->knots.data(), np, pts.data(), 1e-10, one.bound.data(),
                 one.dist.data(), one.bound.data(), one.dist.data(), one.par.data(), one.pt.data(), &rc);
      ASSERT_EQ(rc, 0);
      BSmdptsbscv(3, c->n(), 3, rational, cm.data(), c->knots.data(), np, pts.data(), 1e-10, span.dist.data(),
                  span.pt.data(), span.par.data(), &rc);
      ASSERT_EQ(rc, 0);
      OcctCurve oc(*c);
      for (int i = 0; i < np; ++i) {
        EXPECT_NEAR(span.dist[i], one.dist[i], 1e-6) << "rational " << rational << " trial " << trial << " " << i;
        // OpenCASCADE may miss a minimum at a corner (multiple knots), never find a nearer one.
        EXPECT_LE(span.dist[i], occt_nearest(oc, &pts[3 * i]).dist + 1e-6) << "trial " << trial << " " << i;
      }
    }
}

}  // namespace

// The global nearest point of random B-splines beside the peers' (OpenCASCADE's projections and SISL's extremal
// points, both ends added): the one-point search and the span-by-span search for points that follow the curve.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "bspline/distance.h"
#include "bspline/intersect.h"
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

// Curves that stand still: k - 1 equal poles of an order-k curve give a point of zero speed at a knot, where a
// Newton polish that starts there sees no slope and stays. Points near such a point (feet a ten-thousandth to a
// twentieth of a span beside it, off the curve by up to a quarter of its size) against the peers' nearest, on
// every road: the one-point and the span searches on the pole block, the record's one-point and several-points
// entries; polynomial and rational (weights 1e-3 to 1e3), tiny and far (the peers judge the curve at home).
TEST(PointDistanceOracle, CurvesThatStandStillAtAKnot) {
  struct Row {
    int order;
    bool uneven;   // weights 1e-3 to 1e3, else none
    double size;   // the curve's extent
    double shift;  // how far from the origin it lies
  };
  std::vector<Row> rows;
  for (int order : {3, 4, 6})
    for (bool uneven : {false, true})
      for (double size : {1e-3, 20.0})
        for (double shift : {0.0, 1e5, 1e7})
          rows.push_back({order, uneven, size, shift});
  std::mt19937 rng(2391);
  for (const Row &row : rows) {
    const std::string what = "order " + std::to_string(row.order) + (row.uneven ? " uneven" : " polynomial") +
                             " size " + std::to_string(row.size) + " at " + std::to_string(row.shift);
    const int k = row.order, n = 14;
    std::uniform_real_distribution<double> coord(-row.size / 2, row.size / 2), logw(-3, 3), unit(-1, 1);
    std::vector<double> poles(3 * n), knots, w;
    for (double &x : poles) x = coord(rng);
    for (int i = 0; i < k; ++i) knots.push_back(0);
    for (int i = 1; i <= n - k; ++i) knots.push_back(i);
    for (int i = 0; i < k; ++i) knots.push_back(n - k + 1);
    if (row.uneven)
      for (int i = 0; i < n; ++i) w.push_back(std::pow(10.0, logw(rng)));
    // Two stands: poles 2 .. k and 8 .. k + 6 equal, still at knots k + 1 and k + 7.
    std::vector<double> stills;
    for (int first : {2, 8}) {
      for (int j = first + 1; j < first + k - 1; ++j)
        for (int c = 0; c < 3; ++c) poles[3 * j + c] = poles[3 * first + c];
      stills.push_back(knots[first + k - 1]);
    }
    const TestCurve home(k, poles, knots, w);
    std::vector<double> pts;
    for (double u : stills)
      for (double h : {-0.05, -0.01, -1e-3, -1e-4, 1e-4, 1e-3, 1e-2, 0.05})
        for (double off : {0.02, 0.1, 0.25}) {
          double a[3], b[3], q[3], t[3], r[3] = {unit(rng), unit(rng), unit(rng)};
          ref_point(home, u + h, q);
          ref_point(home, u + h + 1e-7, a);
          ref_point(home, u + h - 1e-7, b);
          for (int c = 0; c < 3; ++c) t[c] = a[c] - b[c];
          // Off the curve across its tangent there.
          const double n3[3] = {t[1] * r[2] - t[2] * r[1], t[2] * r[0] - t[0] * r[2], t[0] * r[1] - t[1] * r[0]};
          const double len = std::sqrt(n3[0] * n3[0] + n3[1] * n3[1] + n3[2] * n3[2]);
          for (int c = 0; c < 3; ++c) pts.push_back(q[c] + (len > 0 ? off * row.size * n3[c] / len : 0));
        }
    const int np = static_cast<int>(pts.size() / 3);
    OcctCurve oc(home);
    SislCurve sc(home);
    std::vector<double> expect(np);
    for (int i = 0; i < np; ++i) {
      const PeerFoot o = occt_nearest(oc, &pts[3 * i]), s = sisl_nearest(sc.cv, &pts[3 * i]);
      expect[i] = std::fmin(o.dist, s.dist);
    }
    std::vector<double> moved = poles, at = pts;
    for (std::size_t i = 0; i < moved.size(); ++i) moved[i] += row.shift * (i % 3 == 1 ? -0.625 : 1.0);
    for (std::size_t i = 0; i < at.size(); ++i) at[i] += row.shift * (i % 3 == 1 ? -0.625 : 1.0);
    const TestCurve c(k, moved, knots, w);
    const std::vector<double> cm = component_major(c);
    // Beside the peers' own rounding, that of the coordinates out there; the record's entries search to the
    // distance tolerance of the table.
    const double slack = 1e-9 * row.size + 4e-15 * row.shift, loose = slack + BStoltab[bstol::dist_tol];
    Answers one(np), span(np), several(np);
    int rc = 0;
    BSmdptbscv(k - 1, n, 3, !w.empty(), cm.data(), c.knots.data(), np, at.data(), 1e-12, one.bound.data(),
               one.dist.data(), one.bound.data(), one.dist.data(), one.par.data(), one.pt.data(), &rc);
    ASSERT_EQ(rc, 0) << what;
    BSmdptsbscv(k - 1, n, 3, !w.empty(), cm.data(), c.knots.data(), np, at.data(), 1e-12, span.dist.data(),
                span.pt.data(), span.par.data(), &rc);
    ASSERT_EQ(rc, 0) << what;
    BSboolean on = BSFALSE;
    BSmdstptscv(np, at.data(), &c.cv, several.par.data(), several.pt.data(), several.dist.data(), &on, &rc);
    ASSERT_EQ(rc, 0) << what;
    for (int i = 0; i < np; ++i) {
      double par = 0, foot[3], dist = 0;
      BSmdstptcv(&c.cv, &at[3 * i], &par, foot, &dist, &rc);
      ASSERT_EQ(rc, 0) << what << " point " << i;
      EXPECT_NEAR(one.dist[i], expect[i], slack) << what << ", one point, point " << i;
      EXPECT_NEAR(span.dist[i], expect[i], slack) << what << ", span search, point " << i;
      EXPECT_NEAR(several.dist[i], expect[i], loose) << what << ", several points, point " << i;
      EXPECT_NEAR(dist, expect[i], loose) << what << ", the record's one point, point " << i;
    }
  }
}

}  // namespace

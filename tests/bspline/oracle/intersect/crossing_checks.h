// The checks of the intersection oracles, shared by every table that runs them: our crossings of a curve pair
// beside OpenCASCADE's (and SISL's, which the pair was chosen to agree with), and our self-crossings beside
// OpenCASCADE's or, for polylines, GEOS's noding.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "bspline/intersect.h"
#include "tests/bspline/intersection_call.h"
#include "tests/bspline/oracle/curve_pairs.h"
#include "tests/bspline/oracle/dense_polyline.h"
#include "tests/bspline/oracle/looping_curves.h"

namespace crossings {

// The worst distances seen over a run of pairs, and what was compared.
struct PairTally {
  double worst_point = 0, worst_eval = 0, worst_touch = 0;
  int crossings = 0, touching_pairs = 0;
};

// Our crossings of the pair: rc 0, no overlap, each point where its parameters say on both curves; as many as
// the peers' for a transversal pair, each near one of theirs (touching contacts are compared by distance only).
// The distances go to the tally, whose bounds the caller sets.
inline void CheckPair(cvpairs::Pair &q, PairTally *t, const std::string &what) {
  CallResults r(0, 0);
  r.cvcv(&q.a->cv, &q.b->cv, BSFALSE);
  ASSERT_EQ(r.rc, 0) << what;
  EXPECT_EQ(r.n_over, 0) << what;
  for (int k = 0; k < r.n_int; ++k) {
    double pa[3], pb[3];
    ref_point(*q.a, r.par1()[k], pa);
    ref_point(*q.b, r.par2()[k], pb);
    for (int d = 0; d < 3; ++d)
      t->worst_eval =
          std::max({t->worst_eval, std::fabs(pa[d] - r.pts()[3 * k + d]), std::fabs(pb[d] - r.pts()[3 * k + d])});
  }
  auto nearest = [&](const cvpairs::Crossing &w) {
    double best = 1e300;
    for (int k = 0; k < r.n_int; ++k) best = std::min(best, std::hypot(r.pts()[3 * k] - w.x, r.pts()[3 * k + 1] - w.y));
    return best;
  };
  if (!q.transversal) {
    ++t->touching_pairs;
    for (const cvpairs::Crossing &w : q.want) t->worst_touch = std::max(t->worst_touch, nearest(w));
    return;
  }
  ASSERT_EQ(r.n_int, static_cast<int>(q.want.size())) << what;
  for (const cvpairs::Crossing &w : q.want) {
    t->worst_point = std::max(t->worst_point, nearest(w));
    ++t->crossings;
  }
}

// Our self-crossings as points (x, y), with rc; every pair must name one point twice.
inline std::vector<double> OurSelfCrossings(TestCurve &c, int *rc) {
  int n_int = 0, n_over = 0;
  double *first = nullptr, *second = nullptr, *o[4] = {nullptr, nullptr, nullptr, nullptr};
  BScv_slfint(rc, &c.cv, &n_int, &first, &second, &n_over, &o[0], &o[1], &o[2], &o[3]);
  std::vector<double> out;
  for (int i = 0; i < n_int; ++i) {
    double a[3], b[3];
    ref_point(c, first[i], a);
    ref_point(c, second[i], b);
    EXPECT_LE(std::hypot(a[0] - b[0], a[1] - b[1]), 1e-6);
    out.insert(out.end(), {a[0], a[1]});
  }
  for (double *p : {first, second, o[0], o[1], o[2], o[3]}) BSdbgfree(p);
  return out;
}

// Each point of `want` has one of `got` within tol.
inline bool Covered(const std::vector<double> &want, const std::vector<double> &got, double tol) {
  for (size_t i = 0; i < want.size(); i += 2) {
    bool hit = false;
    for (size_t j = 0; j < got.size() && !hit; j += 2)
      hit = std::hypot(want[i] - got[j], want[i + 1] - got[j + 1]) <= tol;
    if (!hit) return false;
  }
  return true;
}

// The polyline of c's Cartesian poles (c of order 2), or one that follows c within 1e-7 (any order).
inline std::unique_ptr<TestCurve> AsPolyline(const TestCurve &c) {
  std::vector<double> pts;
  if (c.order() == 2) {
    for (int i = 0; i < c.n(); ++i) pts.insert(pts.end(), {c.pole(i, 0), c.pole(i, 1), c.pole(i, 2)});
  } else {
    const std::vector<double> breaks(c.knots.begin() + c.order() - 1, c.knots.begin() + c.n() + 1);
    const dense::Polyline xy = dense::Follow(
        [&c](double u, double *p) {
          double q[3];
          ref_point(c, u, q, u == c.end());
          p[0] = q[0], p[1] = q[1];
        },
        breaks);
    for (std::size_t i = 0; i < xy.xy.size(); i += 2) pts.insert(pts.end(), {xy.xy[i], xy.xy[i + 1], 0.0});
  }
  const int n = static_cast<int>(pts.size() / 3);
  std::vector<double> knots = {0};
  for (int i = 0; i < n; ++i) knots.push_back(i);
  knots.push_back(n - 1);
  return std::make_unique<TestCurve>(2, pts, knots);
}

// Our self-crossings of c beside the peers: the same points as OpenCASCADE's, as many. A polyline's crossings do
// not depend on its weights: OpenCASCADE is given its Cartesian polyline, which it may miss crossings of; its
// points must be among ours, and ours as many as GEOS's noding finds. A curve on which OpenCASCADE and we
// disagree is decided by GEOS's noding of a polyline within 1e-7 of it (OpenCASCADE misses and misplaces
// crossings of curves whose weights spread far). False, with nothing checked, for a curve OpenCASCADE sees run
// over a stretch twice; else *found gets our count.
inline bool CheckSelf(TestCurve &c, bool polyline, GEOSContextHandle_t ctx, int *found, const std::string &what) {
  bool segments = false;
  const std::vector<double> want = loops::OcctSelfCrossings(polyline ? *AsPolyline(c) : c, &segments);
  if (segments && !polyline) return false;
  int rc = 0;
  const std::vector<double> got = OurSelfCrossings(c, &rc);
  EXPECT_EQ(rc, 0) << what;
  if (polyline) {
    EXPECT_TRUE(Covered(want, got, 1e-6)) << what;
    EXPECT_EQ(static_cast<int>(got.size() / 2), loops::GeosSelfCrossings(ctx, c)) << what;
  } else if (got.size() != want.size() || !Covered(want, got, 1e-6) || !Covered(got, want, 1e-6)) {
    EXPECT_EQ(static_cast<int>(got.size() / 2), loops::GeosSelfCrossings(ctx, *AsPolyline(c)))
        << what << ": OpenCASCADE finds " << want.size() / 2;
  }
  *found = static_cast<int>(got.size() / 2);
  return true;
}

}  // namespace crossings

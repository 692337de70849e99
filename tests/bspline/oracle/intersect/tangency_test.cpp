// Nearest points of touching or nearly touching spans beside OpenCASCADE's extrema: a convex cubic and its mirror
// image in its tangent at a random point, moved off by a gap (0 included), so that the nearest distance is the gap.
#include <GeomAPI_ExtremaCurveCurve.hxx>
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "bspline/intersect.h"
#include "bspline/knots.h"
#include "tests/bspline/measure_curves.h"
#include "tests/bspline/oracle/peer_curves.h"

namespace {

TEST(TangencyOracle, NearestDistanceOfTouchingSpansAsOpenCascade) {
  std::mt19937 rng(80);
  std::uniform_real_distribution<double> slope(0.1, 0.6), turn(0, 6.283185307179586), at(0.2, 0.8),
      gap(1e-5, 0.01), off(-1, 1);
  const std::vector<double> knots = {0, 0, 0, 0, 1, 1, 1, 1};
  double worst = 0;
  for (int n = 0; n < 300; ++n) {
    // Slopes rising leg by leg: a convex arc turning by less than a right angle, turned by r.
    const double s1 = slope(rng), s2 = s1 + slope(rng), s3 = s2 + slope(rng), r = turn(rng);
    const double xy[8] = {0, 0, 1, s1, 2, s1 + s2, 3, s1 + s2 + s3}, t = at(rng), g = n % 5 ? gap(rng) : 0;
    // The search stops within dist_tol, its window 1000 knot tolerances wide: touching spans are searched at a
    // finer tolerance from a start nearer in proportion.
    const TolScope fine(bstol::dist_tol, g == 0 ? 1e-8 : BStoltab[bstol::dist_tol]);
    const double reach = g == 0 ? 5e-6 : 5e-4;
    std::vector<double> poles, mirrored;
    for (int i = 0; i < 4; ++i)
      poles.insert(poles.end(), {std::cos(r) * xy[2 * i] - std::sin(r) * xy[2 * i + 1],
                                 std::sin(r) * xy[2 * i] + std::cos(r) * xy[2 * i + 1], 0});
    TestCurve c1(4, poles, knots);
    double ev[6], k[2];
    int rc = 0;
    BScveval_n(&c1.cv, t, 1, ev, &rc);
    const double len = std::hypot(ev[3], ev[4]), nx = -ev[4] / len, ny = ev[3] / len;
    const double side = (poles[0] - ev[0]) * nx + (poles[1] - ev[1]) * ny > 0 ? 1 : -1;
    for (int i = 0; i < 4; ++i) {
      const double h = 2 * ((poles[3 * i] - ev[0]) * nx + (poles[3 * i + 1] - ev[1]) * ny) + side * g;
      mirrored.insert(mirrored.end(), {poles[3 * i] - h * nx, poles[3 * i + 1] - h * ny, 0});
    }
    TestCurve c2(4, mirrored, knots);
    for (int i = 0; i < 2; ++i) {
      const VOQbsp_curve &cv = i ? c2.cv : c1.cv;
      BScvkttol2(cv.order, cv.knots, cv.num_poles, cv.poles, cv.weights, &k[i], &rc);
    }
    double t1, t2, p1[3], p2[3], dist = -1;
    const double u1 = t + reach * off(rng), u2 = t + reach * off(rng);
    BSmdstbzbz(&c1.cv, &c2.cv, u1, u2, k[0], k[1], &t1, &t2, p1, p2, &dist, &rc);
    ASSERT_EQ(rc, 0);
    GeomAPI_ExtremaCurveCurve extrema(OcctCurve(c1).cv, OcctCurve(c2).cv);
    worst = std::max(worst, std::fabs(dist - extrema.LowerDistance()));
  }
  EXPECT_LE(worst, 1e-7);
}

}  // namespace

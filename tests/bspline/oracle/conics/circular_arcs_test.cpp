// Circular arcs and circles beside the peers: OpenCASCADE's arcs, converted to rational B-splines with as many
// spans as ours, must have our poles and weights; SISL's whole circles must pass through our points in our order.
#include <gtest/gtest.h>

#include <ElCLib.hxx>
#include <GC_MakeArcOfCircle.hxx>
#include <gp_Circ.hxx>

#include <cmath>
#include <random>
#include <string>

#include "tests/bspline/conic_fixtures.h"
#include "tests/bspline/oracle/peer_conics.h"

namespace {

using namespace conic_test;

void xyz(const gp_Pnt &p, double out[3]) { out[0] = p.X(), out[1] = p.Y(), out[2] = p.Z(); }
void xyz(const gp_Dir &d, double out[3]) { out[0] = d.X(), out[1] = d.Y(), out[2] = d.Z(); }

// Every degree of sweep in both senses, on random circles.
TEST(CircularArcsOracle, ArcOfCircleBetweenTwoPoints) {
  std::mt19937 rng(2801);
  std::uniform_real_distribution<double> radius(0.05, 50), angle(0, 2 * M_PI);
  for (bool sense : {true, false})
    for (int deg = 1; deg < 360; ++deg) {
      SCOPED_TRACE(std::string(sense ? "counter-clockwise " : "clockwise ") + std::to_string(deg));
      const gp_Circ circ(random_axes(rng), radius(rng));
      const double a0 = angle(rng), a1 = a0 + (sense ? 1 : -1) * deg * M_PI / 180;
      const gp_Pnt P1 = ElCLib::Value(a0, circ), P2 = ElCLib::Value(a1, circ);
      double s[3], c[3], e[3], n[3], nout[3];
      xyz(P1, s), xyz(circ.Location(), c), xyz(P2, e), xyz(circ.Axis().Direction(), n);
      if (!sense)
        for (double &v : n) v = -v;
      ArcRecord ours;
      int rc = 1;
      ASSERT_TRUE(BSprepcarc(&rc, s, c, e, n, &ours.cv, nout, nullptr));
      // The peer's clockwise arc between A and B runs from B to A, against the counter-clockwise one from A.
      const GC_MakeArcOfCircle arc =
          sense ? GC_MakeArcOfCircle(circ, P1, P2, true) : GC_MakeArcOfCircle(circ, P2, P1, false);
      const Flat theirs = converted_on_unit(arc.Value(), ours.cv.num_poles / 2);
      expect_same(flat_of(ours.cv), theirs, 1e-12, "GC_MakeArcOfCircle");
    }
}

// Random circles near the origin with any sweep; then circles of radius 1 to 1e6 placed up to 1e7 from the
// origin, about a half turn. (Short of a whole turn the peer's own centre drifts, by 4e-3 on a radius of 4e4: those
// arcs are checked on the circle through their points instead.)
TEST(CircularArcsOracle, ArcThroughThreePoints) {
  std::mt19937 rng(2802);
  std::uniform_real_distribution<double> radius(0.05, 50), angle(0, 2 * M_PI), part(0.05, 0.95), decade(0, 6);
  for (int trial = 0; trial < 500; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const bool far = trial >= 400;
    gp_Ax2 axes = random_axes(rng);
    if (far) axes.SetLocation(gp_Pnt(std::pow(10, 1 + decade(rng)), -std::pow(10, 1 + decade(rng)), 1e3));
    const gp_Circ circ(axes, far ? std::pow(10, decade(rng)) : radius(rng));
    const double a0 = angle(rng);
    const double sweep = far ? M_PI + (part(rng) - 0.5) * 1e-6 : (1 + 358 * part(rng)) * M_PI / 180;
    const double mid = a0 + part(rng) * sweep;
    const gp_Pnt P1 = ElCLib::Value(a0, circ), P2 = ElCLib::Value(mid, circ), P3 = ElCLib::Value(a0 + sweep, circ);
    double p1[3], p2[3], p3[3];
    xyz(P1, p1), xyz(P2, p2), xyz(P3, p3);
    ArcRecord ours;
    int rc = 1;
    ASSERT_TRUE(BSarc3pts(&rc, p1, p2, p3, &ours.cv));
    const Flat theirs = converted_on_unit(GC_MakeArcOfCircle(P1, P2, P3).Value(), ours.cv.num_poles / 2);
    if (!far) {
      expect_same(flat_of(ours.cv), theirs, 1e-12, "GC_MakeArcOfCircle through three points");
      continue;
    }
    // Far away a tilted plane mixes the rounding of the large coordinates into the small ones: poles as points.
    const Flat mine = flat_of(ours.cv);
    ASSERT_EQ(mine.poles.size(), theirs.poles.size());
    const double tol = 1e-15 * circ.Location().Distance(gp::Origin()) + 1e-12 * circ.Radius();
    for (size_t i = 0; i < mine.weights.size(); ++i)
      EXPECT_NEAR(mine.weights[i], theirs.weights[i], tol / circ.Radius()) << "weight " << i;
    for (size_t i = 0; i < mine.poles.size(); i += 3)
      EXPECT_LT(dist(&mine.poles[i], &theirs.poles[i]), tol) << "pole " << i / 3;
  }
}

// Points of ours along SISL's circle (s1303 approximates to 1e-13 of the radius), at increasing parameters of it.
TEST(CircularArcsOracle, WholeCircleAgainstSisl) {
  std::mt19937 rng(2803);
  std::uniform_real_distribution<double> radius(0.05, 50), angle(0, 2 * M_PI);
  for (int trial = 0; trial < 12; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const gp_Circ circ(random_axes(rng), radius(rng));
    const gp_Pnt P = ElCLib::Value(angle(rng), circ);
    double c[3], p[3], n[3];
    xyz(circ.Location(), c), xyz(P, p), xyz(circ.Axis().Direction(), n);
    ArcRecord ours;
    int rc = 1;
    ASSERT_TRUE(BSprepcircp(&rc, c, p, n, &ours.cv, nullptr, nullptr));
    SISLCurve *sc = nullptr;
    int stat = 0;
    s1303(p, 1e-13 * circ.Radius(), 2 * M_PI, c, n, 3, &sc, &stat);
    ASSERT_TRUE(sc && stat >= 0);
    expect_along_sisl(ours, sc, 1e-12 * circ.Radius());
    freeCurve(sc);
  }
}

}  // namespace

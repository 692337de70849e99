// Conic arcs continued and cut by arc length beside OpenCASCADE: arcs of its ellipses and circles rebuilt from
// ends, tangents and a middle point, completed to the whole conic (length against GCPnts_AbscissaPoint on the
// peer's whole curve) and lengthened or shortened at their end (the far end against the peer's point at the same
// arc length from the arc's start).
#include <gtest/gtest.h>

#include <ElCLib.hxx>
#include <GCPnts_AbscissaPoint.hxx>
#include <GeomAdaptor_Curve.hxx>
#include <Geom_Circle.hxx>
#include <Geom_Ellipse.hxx>
#include <gp_Circ.hxx>
#include <gp_Elips.hxx>

#include <cmath>
#include <random>
#include <string>

#include "bspline/extend.h"
#include "bspline/measure.h"
#include "tests/bspline/conic_fixtures.h"
#include "tests/bspline/oracle/peer_conics.h"

namespace {

void xyz(const gp_XYZ &p, double out[3]) { out[0] = p.X(), out[1] = p.Y(), out[2] = p.Z(); }

TEST(ConicExtensionOracle, WholeConicsAndCutsAlongThePeer) {
  std::mt19937 rng(1082);
  std::uniform_real_distribution<double> unit(0, 1);
  for (int trial = 0; trial < 120; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const bool circle = trial % 3 == 0;
    const gp_Ax2 ax = random_axes(rng);
    const double r1 = 0.5 + 10 * unit(rng), r2 = circle ? r1 : r1 * (0.1 + 0.85 * unit(rng));
    Handle(Geom_Curve) peer;
    if (circle)
      peer = new Geom_Circle(gp_Circ(ax, r1));
    else
      peer = new Geom_Ellipse(gp_Elips(ax, r1, r2));
    GeomAdaptor_Curve ad(peer);
    const double u0 = 6.28 * unit(rng), sweep = 0.3 + 5.5 * unit(rng);
    double P[3][3], T[3][3];
    for (int i = 0; i < 3; ++i) {
      gp_Pnt p;
      gp_Vec v;
      peer->D1(u0 + sweep * i / 2, p, v);
      xyz(p.XYZ(), P[i]);
      xyz(p.XYZ() + v.XYZ(), T[i]);
    }
    ArcRecord arc;
    int rc = 1, type = 0;
    ASSERT_TRUE(BSconicgen3(&rc, P[0], P[2], T[0], T[2], P[1], &arc.cv, nullptr, &type));
    const std::int16_t mode = circle ? BSCONIC_CIRCLE : BSCONIC_ELLIPSE;
    // The whole conic.
    VOQbsp_curve *whole = nullptr;
    BSallocvoqcv(3, arc.cv.num_poles + 6, BSTRUE, 0, &whole, &rc);
    ASSERT_TRUE(BSconextend(&rc, &mode, &arc.cv, whole)) << rc;
    const double full = GCPnts_AbscissaPoint::Length(ad, 0, 2 * M_PI, 1e-12);
    double len = 0, a = 0, b = 1;
    ASSERT_TRUE(BSarclength(&rc, whole, &a, &b, &len));
    EXPECT_NEAR(len, full, 1e-6 * r1);
    BSfreevoqcv(whole, &rc);
    // Lengthened or shortened at the end: the far end is the peer's point at the new length from the start.
    const double arc_len = GCPnts_AbscissaPoint::Length(ad, u0, u0 + sweep, 1e-12);
    const double dist = trial % 2 ? -arc_len * (0.05 + 0.9 * unit(rng)) : (full - arc_len) * 0.95 * unit(rng) + 0.01;
    VOQbsp_curve *out = nullptr;
    BSallocvoqcv(3, arc.cv.num_poles + 12, BSTRUE, 0, &out, &rc);
    BScncxtdst(mode, &arc.cv, dist, 1, &out, &rc);
    ASSERT_EQ(rc, 0);
    GCPnts_AbscissaPoint at(1e-12, ad, arc_len + dist, u0);
    ASSERT_TRUE(at.IsDone());
    double want[3], got[3], start[3];
    xyz(peer->Value(at.Parameter()).XYZ(), want);
    BScveval_n(out, 1, 0, got, &rc);
    EXPECT_LT(conic_test::dist(want, got), 1e-7);
    BScveval_n(out, 0, 0, start, &rc);
    EXPECT_LT(conic_test::dist(start, P[0]), 1e-9 * r1);
    for (int s = 0; s <= 40; ++s) {
      double X[3];
      BScveval_n(out, s / 40.0, 0, X, &rc);
      EXPECT_LT(conic_distance(arc, X), 1e-9 * r1) << s;
    }
    BSfreevoqcv(out, &rc);
  }
}

}  // namespace

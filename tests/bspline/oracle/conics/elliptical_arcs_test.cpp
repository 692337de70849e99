// Elliptical arcs beside the peers: OpenCASCADE's arcs of ellipse by parametric angles, converted to rational
// B-splines with as many spans as ours, must have our poles and weights, whichever axis is the longer and in
// either sense; SISL's whole ellipses must pass through our points in our order.
#include <gtest/gtest.h>

#include <GC_MakeArcOfEllipse.hxx>
#include <gp_Elips.hxx>

#include <cmath>
#include <random>
#include <string>

#include "tests/bspline/conic_fixtures.h"
#include "tests/bspline/oracle/peer_conics.h"

namespace {

using namespace conic_test;

void xyz(const gp_XYZ &p, double out[3]) { out[0] = p.X(), out[1] = p.Y(), out[2] = p.Z(); }

// Our axis ends for the peer's ellipse (X major, Y minor) and our parametric angle for its angle tau: the first
// axis the major or the minor one, the second on the side that makes the arc counter-clockwise or clockwise
// about the peer's normal.
struct Placement {
  bool clockwise, minor_first;
  void axes(const gp_Elips &el, double p1[3], double p2[3]) const {
    const gp_XYZ c = el.Location().XYZ(), X = el.XAxis().Direction().XYZ(), Y = el.YAxis().Direction().XYZ();
    const double M = el.MajorRadius(), m = el.MinorRadius();
    if (!minor_first) {
      xyz(c + M * X, p1);
      xyz(c + (clockwise ? -m : m) * Y, p2);
    } else {
      xyz(c + m * Y, p1);
      xyz(c + (clockwise ? M : -M) * X, p2);
    }
  }
  double angle(double tau) const {
    if (!minor_first) return clockwise ? -tau : tau;
    return clockwise ? M_PI / 2 - tau : tau - M_PI / 2;
  }
};

TEST(EllipticalArcsOracle, ArcOfEllipseByParametricAngles) {
  std::mt19937 rng(2811);
  std::uniform_real_distribution<double> major(0.1, 40), ratio(0.05, 1), angle(0, 2 * M_PI);
  for (const Placement pl : {Placement{false, false}, Placement{true, false}, Placement{false, true},
                             Placement{true, true}})
    for (int deg = 1; deg < 360; ++deg) {
      SCOPED_TRACE(std::string(pl.clockwise ? "clockwise " : "counter-clockwise ") +
                   (pl.minor_first ? "minor first " : "major first ") + std::to_string(deg));
      const double M = major(rng);
      const gp_Elips el(random_axes(rng), M, M * ratio(rng));
      const double tau0 = angle(rng), sweep = deg * M_PI / 180;
      double c[3], p1[3], p2[3];
      xyz(el.Location().XYZ(), c);
      pl.axes(el, p1, p2);
      ArcRecord ours;
      int rc = 1;
      std::uint16_t is_circle = 7;
      const int given = 1;
      BSelarptang(c, p1, p2, pl.angle(tau0), sweep, 1, nullptr, nullptr, &given, nullptr, nullptr, &is_circle,
                  &ours.ptr, &rc);
      ASSERT_EQ(rc, 0);
      // The peer's clockwise arc between two angles runs from the second to the first.
      const GC_MakeArcOfEllipse arc = pl.clockwise ? GC_MakeArcOfEllipse(el, tau0 - sweep, tau0, false)
                                                   : GC_MakeArcOfEllipse(el, tau0, tau0 + sweep, true);
      const Flat theirs = converted_on_unit(arc.Value(), ours.cv.num_poles / 2);
      expect_same(flat_of(ours.cv), theirs, 1e-12, "GC_MakeArcOfEllipse");
    }
}

// Points of ours along SISL's exact ellipse (s1522), at increasing parameters of it.
TEST(EllipticalArcsOracle, WholeEllipseAgainstSisl) {
  std::mt19937 rng(2812);
  std::uniform_real_distribution<double> major(0.1, 40), ratio(0.05, 1);
  for (int trial = 0; trial < 12; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const double M = major(rng);
    const gp_Elips el(random_axes(rng), M, M * ratio(rng));
    double c[3], p1[3], p2[3], n[3], axis[3];
    xyz(el.Location().XYZ(), c);
    Placement{false, false}.axes(el, p1, p2);
    xyz(el.Axis().Direction().XYZ(), n);
    for (int k = 0; k < 3; ++k) axis[k] = p1[k] - c[k];
    ArcRecord ours;
    int rc = 1;
    std::uint16_t is_circle = 7;
    BSelarptang(c, p1, p2, 0, 2 * M_PI, 1, nullptr, nullptr, nullptr, nullptr, nullptr, &is_circle, &ours.ptr, &rc);
    ASSERT_EQ(rc, 0);
    SISLCurve *sc = nullptr;
    int stat = 0;
    s1522(n, c, axis, el.MajorRadius() / el.MinorRadius(), 3, &sc, &stat);
    ASSERT_TRUE(sc && stat >= 0);
    expect_along_sisl(ours, sc, 1e-12 * M);
    freeCurve(sc);
  }
}

}  // namespace

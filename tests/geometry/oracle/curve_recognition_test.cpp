// Circles, ellipses and their arcs as OpenCASCADE writes them in rational form (both senses, starts across 0,
// sweeps up to a whole turn, and raised to order 5) are recognised as the peer's conic: centre, radii, plane and
// end points.
#include <GeomConvert.hxx>
#include <Geom_BSplineCurve.hxx>
#include <Geom_Circle.hxx>
#include <Geom_Ellipse.hxx>
#include <Geom_TrimmedCurve.hxx>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "tests/bspline/oracle/peer_conics.h"
#include "tests/geometry/typed_curve_builders.h"

namespace {

using namespace tcb;

constexpr double kTolerance = 1e-9;

class RecognitionOracle : public TypedCurves {};

double Gap(const gp_Pnt& a, const GPosition& b) { return a.Distance(gp_Pnt(b.x, b.y, b.z)); }

TEST_F(RecognitionOracle, PeerConicsAndArcsAreRecognised) {
  std::mt19937 rng(61);
  const double starts[] = {-1.0, 0.0, 0.3, 5.9};
  const double sweeps[] = {0.2, 1.5, 3.0, 4.5, 6.0, 2 * kPi};
  int checked = 0;
  for (int round = 0; round < 4; ++round) {
    const gp_Ax2 axes = random_axes(rng);
    const bool circle = round % 2 == 0;
    const double R = 3.0, r = circle ? R : 1.2;
    Handle(Geom_Conic) base;
    if (circle)
      base = new Geom_Circle(axes, R);
    else
      base = new Geom_Ellipse(axes, R, r);
    for (bool sense : {true, false}) {
      for (double start : starts) {
        for (double sweep : sweeps) {
          Handle(Geom_TrimmedCurve) arc = new Geom_TrimmedCurve(base, start, start + sweep, sense);
          Handle(Geom_BSplineCurve) bs = GeomConvert::CurveToBSplineCurve(arc, Convert_TgtThetaOver2);
          for (bool raised : {false, true}) {
            if (raised) bs->IncreaseDegree(4);
            const auto curve = curve_of(flat_of(bs), bs->Degree() + 1, true);
            GArc ar{};
            int rc = -1;
            IMIcvGAr(&curve->cv, &ar, &rc);
            const std::string what = std::to_string(round) + (sense ? " forward " : " backward ") +
                                     std::to_string(start) + " + " + std::to_string(sweep) +
                                     (raised ? " raised" : "");
            ASSERT_EQ(rc, 0) << what;
            const double major = ar.majorAxis.Length(), minor = major * ar.minorMajorRatio;
            EXPECT_LT(Gap(axes.Location(), ar.center), kTolerance) << what;
            EXPECT_NEAR(std::max(major, minor), R, kTolerance) << what;
            EXPECT_NEAR(std::min(major, minor), r, kTolerance) << what;
            const gp_Dir n = axes.Direction();
            EXPECT_NEAR(std::fabs(n.X() * ar.normal.x + n.Y() * ar.normal.y + n.Z() * ar.normal.z), 1.0, 1e-12)
                << what;
            GPosition s, e;
            IMGGArEPts(&ar, &s, &e, &rc);
            ASSERT_EQ(rc, 0) << what;
            EXPECT_LT(Gap(arc->StartPoint(), s), kTolerance) << what;
            EXPECT_LT(Gap(arc->EndPoint(), e), kTolerance) << what;
            const double got = ar.endAngle - ar.startAngle;
            EXPECT_NEAR(got < 0 ? got + 2 * kPi : got, sweep, 1e-9) << what;
            ++checked;
          }
        }
      }
    }
  }
  EXPECT_EQ(checked, 4 * 2 * 4 * 6 * 2);
}

}  // namespace

// Typed curves against OpenCASCADE: ellipses and arcs converted to rational quadratic curves lie on the peer's
// ellipse and end at its points; points, tangents and ellipse parameters agree with the peer's evaluators; the
// kinds of point sets agree with its principal-axes classification; lengths of ellipses, arcs and B-spline
// records agree with its integrator and with GSL's complete elliptic integral.
#include <ElCLib.hxx>
#include <GCPnts_AbscissaPoint.hxx>
#include <GeomAdaptor_Curve.hxx>
#include <Geom_TrimmedCurve.hxx>
#include <GProp_PEquation.hxx>
#include <Geom_Ellipse.hxx>
#include <TColgp_Array1OfPnt.hxx>
#include <gp_Ax2.hxx>
#include <gp_Elips.hxx>
#include <gsl/gsl_mode.h>
#include <gsl/gsl_sf_ellint.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "tests/bspline/oracle/peer_curves.h"
#include "tests/geometry/typed_curve_builders.h"

namespace {

using namespace tcb;

constexpr double kTolerance = 1e-12;

class TypedCurvesOracle : public TypedCurves {
 protected:
  double Uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  GUnitVector Direction() {
    for (;;) {
      const GVector v(Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1));
      if (v.Length() > 0.2) return GUnitVector(v);
    }
  }
  // An ellipse record of radii R >= r in a random plane, with its peer.
  GEllipse RandomEllipse(gp_Elips* peer, bool flip = false) {
    GUnitVector normal = Direction();
    if (flip) normal = GUnitVector(-normal.x, -normal.y, -normal.z);
    GVector major = Direction();
    GVector::MakePerpendicular(normal, major);
    const double R = Uniform(0.5, 5), ratio = Uniform(0.15, 1.0);
    major = major * (R / major.Length());
    const GEllipse el{{Uniform(-5, 5), Uniform(-5, 5), Uniform(-5, 5)}, normal, major, ratio};
    *peer = gp_Elips(gp_Ax2(Pnt(el.center), gp_Dir(normal.x, normal.y, normal.z), gp_Dir(major.x, major.y, major.z)),
                     R, R * ratio);
    return el;
  }
  static gp_Pnt Pnt(const GPosition& p) { return {p.x, p.y, p.z}; }
  static double Gap(const gp_Pnt& a, const GPosition& b) { return a.Distance(Pnt(b)); }

  std::mt19937 rng_{20240917};
};

TEST_F(TypedCurvesOracle, ConvertedEllipsesAndArcsLieOnTheEllipseAndEndAtItsPoints) {
  const double sweeps[] = {0.3, 1.0, kPi / 2, 2.0, kPi, 4.0, 5.5, 2 * kPi};
  const double starts[] = {-1.0, -0.2, 0.0, 0.5, 3.0, 6.0};
  for (int round = 0; round < 4; ++round) {
    for (double sweep : sweeps) {
      for (double start : starts) {
        gp_Elips peer;
        const GEllipse el = RandomEllipse(&peer, round % 2 == 1);
        const bool whole = sweep == 2 * kPi && start == 0.0;
        // Half the arcs end below their start, as a record may hold them.
        const double end = start + sweep - (round >= 2 && sweep < 2 * kPi ? 2 * kPi : 0.0);
        GTypedCurve tc = whole ? Make(kCurveEllipse, el) : Make(kCurveArc, GArc{el, start, end});
        VOQbsp_curve* cv = nullptr;
        int rc = -1;
        IMGTCIcv(&tc, &cv, &rc);
        ASSERT_EQ(rc, 0) << sweep << " " << start;
        const double u0 = cv->knots[cv->order - 1], u1 = cv->knots[cv->num_poles];
        for (int i = 0; i <= 64; ++i) {
          const GPosition p = Evaluate(cv, u0 + (u1 - u0) * i / 64);
          const gp_Pnt on = ElCLib::Value(ElCLib::Parameter(peer, Pnt(p)), peer);
          ASSERT_LT(Gap(on, p), kTolerance) << sweep << " " << start << " at " << i;
        }
        EXPECT_LT(Gap(ElCLib::Value(start, peer), Evaluate(cv, u0)), kTolerance) << sweep << " " << start;
        EXPECT_LT(Gap(ElCLib::Value(end, peer), Evaluate(cv, u1)), kTolerance) << sweep << " " << start;
        Free(cv);
        Free(tc);
      }
    }
  }
}

TEST_F(TypedCurvesOracle, PointsTangentsAndEllipseParametersAgreeWithThePeer) {
  for (int order = 2; order <= 8; ++order) {
    for (int round = 0; round < 20; ++round) {
      const auto c = random_curve(rng_, order, order + round % 7, true, true, order - 1);
      const OcctCurve peer(*c);
      std::vector<GPosition> poles;
      std::vector<double> weights(c->weights);
      for (int i = 0; i < c->n(); ++i) poles.push_back({c->pole(i, 0), c->pole(i, 1), c->pole(i, 2)});
      GTypedCurve tc = Bspline(order, poles, c->knots, weights);
      const GBspCurve& cv = Rec<GBspCurve>(tc);
      for (int i = 0; i < 10; ++i) {
        const double u = Uniform(c->start(), c->end());
        GPosition p, q;
        GUnitVector tangent;
        int rc = -1, rc2 = -1;
        IMGCvPsPr(&cv, u, &p, &rc);
        IMGCvPtTan(&cv, u, &q, &tangent, &rc2);
        ASSERT_EQ(rc, 0);
        ASSERT_EQ(rc2, 0);
        gp_Pnt P;
        gp_Vec D1;
        peer.cv->D1(u, P, D1);
        EXPECT_LT(Gap(P, p), kTolerance) << order << " " << u;
        EXPECT_LT(Gap(P, q), kTolerance) << order << " " << u;
        D1.Normalize();
        EXPECT_LT(Gap(gp_Pnt(D1.XYZ()), {tangent.x, tangent.y, tangent.z}), kTolerance) << order << " " << u;
      }
      Free(tc);
    }
  }
  for (int round = 0; round < 200; ++round) {
    gp_Elips peer;
    const GEllipse el = RandomEllipse(&peer);
    // Points of the plane, on the ellipse and off it; angles near 0 would wrap either way.
    const double t = Uniform(0.01, 2 * kPi - 0.01), off = Uniform(0.2, 2.0);
    const GPosition p = el.center + off * (std::cos(t) * el.majorAxis +
                                           std::sin(t) * el.minorMajorRatio * GVector::Cross(el.normal, el.majorAxis));
    double mine = -1;
    int rc = -1;
    IMGGElPFGPo(&el, &p, &mine, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_NEAR(mine, ElCLib::Parameter(peer, Pnt(p)), kTolerance) << round;
  }
}

TEST_F(TypedCurvesOracle, KindsOfPointSetsAgreeWithPrincipalAxes) {
  for (int round = 0; round < 120; ++round) {
    const int dimension = round % 4;  // 0 coincident, 1 on a line, 2 in a plane, 3 spatial
    const GPosition origin(Uniform(-5, 5), Uniform(-5, 5), Uniform(-5, 5));
    const GVector axes[3] = {Direction(), Direction(), Direction()};
    const int n = 3 + round % 9;
    std::vector<GPosition> points;
    TColgp_Array1OfPnt peerPoints(1, n);
    for (int i = 0; i < n; ++i) {
      GPosition p = origin;
      for (int k = 0; k < dimension; ++k) p += Uniform(-3, 3) * axes[k];
      points.push_back(p);
      peerPoints.SetValue(i + 1, Pnt(p));
    }
    int kind = 0;
    GVector centroid, direction;
    int rc = -1;
    IMLsqPtLnPl(n, points.data(), &kind, &centroid, &direction, &rc);
    ASSERT_EQ(rc, 0);
    const GProp_PEquation peer(peerPoints, 1e-6);
    const int peerKind = peer.IsPoint() ? 1 : peer.IsLinear() ? 2 : peer.IsPlanar() ? 3 : 4;
    EXPECT_EQ(kind, peerKind) << round;
    EXPECT_EQ(kind, std::min(dimension, n - 1) + 1) << round;
  }
}

TEST_F(TypedCurvesOracle, LengthsAgreeWithThePeerIntegratorAndTheEllipticIntegral) {
  const auto peerLength = [](const Handle(Geom_Curve) & curve) {
    GeomAdaptor_Curve adaptor(curve);
    return GCPnts_AbscissaPoint::Length(adaptor, 1e-13);
  };
  const auto measure = [](const GTypedCurve& tc) {
    double length = -1;
    int rc = -1;
    IMTCLen(&tc, &length, &rc);
    EXPECT_EQ(rc, 0);
    return length;
  };
  for (int round = 0; round < 60; ++round) {
    gp_Elips peer;
    GEllipse el = RandomEllipse(&peer);
    // Nearly flat ellipses too, where the speed varies most along the curve.
    if (round % 6 == 0) {
      el.minorMajorRatio = 0.02;
      peer.SetMinorRadius(peer.MajorRadius() * 0.02);
    }
    Handle(Geom_Ellipse) ellipse = new Geom_Ellipse(peer);
    GTypedCurve whole = Make(kCurveEllipse, el);
    const double length = measure(whole);
    const double e = std::sqrt(1 - el.minorMajorRatio * el.minorMajorRatio);
    const double exact = 4 * peer.MajorRadius() * gsl_sf_ellint_Ecomp(e, GSL_PREC_DOUBLE);
    EXPECT_NEAR(length, exact, 1e-9 * exact) << round;
    EXPECT_NEAR(length, peerLength(ellipse), 1e-9 * exact) << round;
    // Arcs, half of them ending below their start.
    const double start = Uniform(-1, 7), sweep = Uniform(0.05, 2 * kPi);
    const double end = round % 2 ? start + sweep : start + sweep - 2 * kPi;
    GTypedCurve arc = Make(kCurveArc, GArc{el, start, end});
    const double reference = peerLength(new Geom_TrimmedCurve(ellipse, start, start + sweep));
    EXPECT_NEAR(measure(arc), reference, 1e-9 * reference) << round;
    Free(arc);
    Free(whole);
  }
  for (int order = 2; order <= 9; ++order) {
    for (int round = 0; round < 8; ++round) {
      // Sizes far from 1 as well: the accuracy is relative.
      const double size = round % 3 == 0 ? 1.0 : round % 3 == 1 ? 1e-5 : 1e5;
      auto c = random_curve(rng_, order, order + 1 + round, round % 2, round % 4 < 2, order - 1);
      for (double& p : c->poles) p *= size;
      const OcctCurve peer(*c);
      std::vector<GPosition> poles;
      for (int i = 0; i < c->n(); ++i) poles.push_back({c->pole(i, 0), c->pole(i, 1), c->pole(i, 2)});
      GTypedCurve tc = Bspline(order, poles, c->knots, c->weights);
      const double reference = peerLength(new Geom_TrimmedCurve(peer.cv, c->start(), c->end()));
      EXPECT_NEAR(measure(tc), reference, 1e-9 * reference) << order << " " << round;
      Free(tc);
    }
  }
}

}  // namespace

// Conic recognition beside OpenCASCADE: arcs of its circles, ellipses, hyperbolas and parabolas in random planes,
// converted to rational B-splines by its own conversion, must be recognised with its centre, semi-axes, foci and
// vertices. SISL's conic arcs by shape factor must get the type the factor stands for.
#include <gtest/gtest.h>

#include <GC_MakeArcOfCircle.hxx>
#include <GC_MakeArcOfEllipse.hxx>
#include <GC_MakeArcOfHyperbola.hxx>
#include <GC_MakeArcOfParabola.hxx>
#include <GeomConvert.hxx>
#include <Geom_TrimmedCurve.hxx>
#include <gp_Ax2.hxx>
#include <gp_Circ.hxx>
#include <gp_Elips.hxx>
#include <gp_Hypr.hxx>
#include <gp_Parab.hxx>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <string>

#include "tests/bspline/conic_fixtures.h"
#include "tests/bspline/oracle/flat_curves.h"
#include "tests/bspline/oracle/peer_conics.h"

namespace {

using namespace conic_test;

std::unique_ptr<TestCurve> converted(const Handle(Geom_TrimmedCurve) & arc, Convert_ParameterisationType how) {
  Handle(Geom_BSplineCurve) bs = GeomConvert::CurveToBSplineCurve(arc, how);
  return curve_of(flat_of(bs), bs->Degree() + 1, bs->IsRational());
}

void xyz(const gp_Pnt &p, double out[3]) { out[0] = p.X(), out[1] = p.Y(), out[2] = p.Z(); }

::testing::AssertionResult same_point(const double *ours, const gp_Pnt &theirs, double tol) {
  double t[3];
  xyz(theirs, t);
  if (dist(ours, t) <= tol) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "(" << ours[0] << ", " << ours[1] << ", " << ours[2] << ") against ("
                                       << t[0] << ", " << t[1] << ", " << t[2] << ")";
}

// Both of ours match the two of theirs, in some order.
bool same_pair(const double *p, const double *q, const gp_Pnt &s, const gp_Pnt &t, double tol) {
  return (same_point(p, s, tol) && same_point(q, t, tol)) || (same_point(p, t, tol) && same_point(q, s, tol));
}

TEST(ConicRecognitionOracle, CirclesAndEllipsesOfOpenCascade) {
  std::mt19937 rng(2702);
  std::uniform_real_distribution<double> radius(0.5, 10), ratio(0.2, 0.9), start(0, 6.28);
  const struct {
    Convert_ParameterisationType how;
    double lo, hi;  // arc angle
    int poles;
  } kinds[] = {{Convert_TgtThetaOver2_1, 0.3, 2.8, 3},
               {Convert_TgtThetaOver2_2, 2.5, 5.5, 5},
               {Convert_TgtThetaOver2_3, 4.0, 6.0, 7}};
  for (const auto &kind : kinds)
    for (int trial = 0; trial < 20; ++trial) {
      SCOPED_TRACE(std::to_string(kind.poles) + " poles, trial " + std::to_string(trial));
      const gp_Ax2 ax = random_axes(rng);
      const double a = radius(rng), b = a * ratio(rng), t0 = start(rng);
      const double t1 = t0 + std::uniform_real_distribution<double>(kind.lo, kind.hi)(rng);
      const double tol = 1e-9 * std::max({1.0, a, ax.Location().Distance(gp::Origin())});
      double Z[3];
      xyz(ax.Location(), Z);

      const gp_Circ circ(ax, a);
      auto cc = converted(GC_MakeArcOfCircle(circ, t0, t1, true).Value(), kind.how);
      ASSERT_EQ(cc->n(), kind.poles);
      const ConicOut oc = conic_of(cc->cv);
      ASSERT_EQ(oc.rc, 0);
      EXPECT_EQ(oc.type, BSCONIC_CIRCLE);
      EXPECT_TRUE(same_point(oc.Z, ax.Location(), tol));
      EXPECT_NEAR(oc.a, a, tol);

      const gp_Elips el(ax, a, b);
      const Handle(Geom_TrimmedCurve) arc = GC_MakeArcOfEllipse(el, t0, t1, true).Value();
      auto ce = converted(arc, kind.how);
      ASSERT_EQ(ce->n(), kind.poles);
      const ConicOut o = conic_of(ce->cv);
      ASSERT_EQ(o.rc, 0);
      EXPECT_EQ(o.type, BSCONIC_ELLIPSE);
      EXPECT_TRUE(same_point(o.Z, el.Location(), tol));
      EXPECT_NEAR(o.a, a, tol);
      EXPECT_NEAR(o.b, b, tol);
      // V1 is the vertex nearer the arc's start, F1 the focus on its side, and V1, M1 turn as the arc runs:
      // counter-clockwise about the ellipse's axis.
      const gp_Pnt S = arc->StartPoint();
      const gp_Vec X(ax.XDirection()), Y(ax.YDirection());
      const gp_Pnt Vp = el.Location().Translated(a * X), Vm = el.Location().Translated(-a * X);
      if (std::fabs(S.Distance(Vp) - S.Distance(Vm)) < 1e-6 * a) continue;
      const bool plus = S.Distance(Vp) < S.Distance(Vm);
      EXPECT_TRUE(same_point(o.V1, plus ? Vp : Vm, tol));
      EXPECT_TRUE(same_point(o.V2, plus ? Vm : Vp, tol));
      EXPECT_TRUE(same_point(o.F1, plus ? el.Focus1() : el.Focus2(), tol));
      EXPECT_TRUE(same_point(o.F2, plus ? el.Focus2() : el.Focus1(), tol));
      EXPECT_TRUE(same_point(o.M1, el.Location().Translated((plus ? b : -b) * Y), tol));
      EXPECT_TRUE(same_point(o.M2, el.Location().Translated((plus ? -b : b) * Y), tol));
    }
}

TEST(ConicRecognitionOracle, HyperbolasAndParabolasOfOpenCascade) {
  std::mt19937 rng(2703);
  std::uniform_real_distribution<double> radius(0.5, 10), par(-1.5, 1.5), focal(0.2, 5), across(-6, 6);
  for (int trial = 0; trial < 40; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const gp_Ax2 ax = random_axes(rng);
    const double scale = std::max(1.0, ax.Location().Distance(gp::Origin()));
    double u0 = par(rng), u1 = par(rng);
    if (std::fabs(u1 - u0) < 0.2) continue;
    if (u0 > u1) std::swap(u0, u1);

    const double a = radius(rng), b = radius(rng), tol = 1e-9 * std::max({scale, a, b});
    const gp_Hypr hy(ax, a, b);
    auto ch = converted(GC_MakeArcOfHyperbola(hy, u0, u1, true).Value(), Convert_TgtThetaOver2);
    const ConicOut oh = conic_of(ch->cv);
    ASSERT_EQ(oh.rc, 0);
    EXPECT_EQ(oh.type, BSCONIC_HYPERBOLA);
    EXPECT_TRUE(same_point(oh.Z, hy.Location(), tol));
    EXPECT_NEAR(oh.a, a, tol);
    EXPECT_TRUE(same_point(oh.F1, hy.Focus1(), tol));
    const gp_Pnt V = hy.Location().Translated(a * gp_Vec(ax.XDirection()));
    EXPECT_TRUE(same_point(oh.V1, V, tol));
    const gp_Vec bY = b * gp_Vec(ax.YDirection());
    EXPECT_TRUE(same_pair(oh.M1, oh.M2, V.Translated(bY), V.Translated(-bY), tol));
    EXPECT_EQ(oh.b, kUnset);

    const double f = focal(rng), v0 = across(rng), v1 = v0 + std::uniform_real_distribution<double>(0.5, 6)(rng);
    const gp_Parab pa(ax, f);
    auto cp = converted(GC_MakeArcOfParabola(pa, v0, v1, true).Value(), Convert_TgtThetaOver2);
    const ConicOut op = conic_of(cp->cv);
    ASSERT_EQ(op.rc, 0);
    EXPECT_EQ(op.type, BSCONIC_PARABOLA);
    EXPECT_TRUE(same_point(op.F1, pa.Focus(), 1e-9 * std::max(scale, f)));
    EXPECT_TRUE(same_point(op.V1, pa.Location(), 1e-9 * std::max(scale, f)));
  }
}

TEST(ConicRecognitionOracle, SislShapeFactorsGiveTheirTypes) {
  std::mt19937 rng(2704);
  std::uniform_real_distribution<double> d(-10, 10);
  const struct {
    double shape;
    int type;
  } cases[] = {{0.3, BSCONIC_ELLIPSE}, {0.5, BSCONIC_PARABOLA}, {0.7, BSCONIC_HYPERBOLA}};
  for (int trial = 0; trial < 20; ++trial) {
    double s[3], t[3], e[3], u[3], v[3], n[3];
    for (int k = 0; k < 3; ++k) s[k] = d(rng), t[k] = d(rng), e[k] = d(rng);
    sub(s, t, u), sub(e, t, v), cross(u, v, n);
    if (dot(n, n) < 4) continue;
    for (const auto &cs : cases) {
      SISLCurve *sc = nullptr;
      int stat = 0;
      s1011(s, t, e, cs.shape, 3, &sc, &stat);
      ASSERT_GE(stat, 0);
      ASSERT_NE(sc, nullptr);
      const bool rational = sc->ikind == 2 || sc->ikind == 4;
      auto c = curve_of(flat_of(sc), sc->ik, rational);
      freeCurve(sc);
      const ConicOut o = conic_of(c->cv);
      EXPECT_EQ(o.type, cs.type) << "shape " << cs.shape << ", trial " << trial;
      expect_on_conic(*c, o, 1e-9);
    }
  }
}

}  // namespace

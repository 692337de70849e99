// BSfillet on random planar pairs of lines, circular arcs and cubics beside OpenCASCADE's circles tangent to two curves
// with a given radius: our centre and tangent points are one of its solutions.
#include <gtest/gtest.h>

#include <Geom2dAdaptor_Curve.hxx>
#include <Geom2dGcc_Circ2d2TanRad.hxx>
#include <Geom2dGcc_QualifiedCurve.hxx>
#include <Geom2d_BSplineCurve.hxx>
#include <Geom2d_Circle.hxx>
#include <Geom2d_Line.hxx>
#include <TColStd_Array1OfInteger.hxx>
#include <TColStd_Array1OfReal.hxx>
#include <TColgp_Array1OfPnt2d.hxx>
#include <cfloat>
#include <cmath>
#include <memory>
#include <random>

#include "bspline/extend.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

// A curve through T with tangent t (u the unit normal toward the fillet's centre) for both sides: a line, an arc of
// radius R bending away from the centre, or a cubic through T at its middle.
struct Piece {
  std::unique_ptr<TestCurve> cv;
  Handle(Geom2d_Curve) peer;
};

Piece make_piece(int kind, const double T[2], const double t[2], const double u[2], double L, double R, double e) {
  Piece p;
  if (kind == 0) {
    p.cv = std::make_unique<TestCurve>(
        2, std::vector<double>{T[0] - L * t[0], T[1] - L * t[1], 0, T[0] + L * t[0], T[1] + L * t[1], 0},
        std::vector<double>{0, 0, 1, 1});
    p.peer = new Geom2d_Line(gp_Pnt2d(T[0], T[1]), gp_Dir2d(t[0], t[1]));
  } else if (kind == 1) {
    // Centre on the far side, half sweep of 50 degrees around T.
    const double C[2] = {T[0] - R * u[0], T[1] - R * u[1]}, h = 50 * M_PI / 180, c = std::cos(h), s = std::sin(h);
    std::vector<double> poles;
    for (double sg : {-1.0, 0.0, 1.0}) {
      const double k = sg == 0 ? 1 / c : 1, cc = sg == 0 ? 1 : c, ss = sg * s;
      for (int i = 0; i < 2; ++i) poles.push_back(C[i] + k * R * (cc * u[i] + ss * t[i]));
      poles.push_back(0);
    }
    p.cv = std::make_unique<TestCurve>(3, poles, std::vector<double>{0, 0, 0, 1, 1, 1}, std::vector<double>{1, c, 1});
    p.peer = new Geom2d_Circle(gp_Ax2d(gp_Pnt2d(C[0], C[1]), gp_Dir2d(1, 0)), R);
  } else {
    const double a[4] = {-1.5, -0.5, 0.5, 1.5}, b[4] = {e, -e, -e, e};
    std::vector<double> poles;
    TColgp_Array1OfPnt2d occ(1, 4);
    for (int j = 0; j < 4; ++j) {
      const double x = T[0] + a[j] * L * t[0] - (b[j] + 0.5 * e) * u[0];
      const double y = T[1] + a[j] * L * t[1] - (b[j] + 0.5 * e) * u[1];
      poles.insert(poles.end(), {x, y, 0});
      occ.SetValue(j + 1, gp_Pnt2d(x, y));
    }
    p.cv = std::make_unique<TestCurve>(4, poles, std::vector<double>{0, 0, 0, 0, 1, 1, 1, 1});
    TColStd_Array1OfReal knots(1, 2);
    TColStd_Array1OfInteger mults(1, 2);
    knots.SetValue(1, 0), knots.SetValue(2, 1), mults.SetValue(1, 4), mults.SetValue(2, 4);
    p.peer = new Geom2d_BSplineCurve(occ, knots, mults, 3);
  }
  return p;
}

TEST(FilletsOracle, CentreAndTangentPoints) {
  std::mt19937 rng(2240);
  std::uniform_real_distribution<double> ang(0, 2 * M_PI), open(0.6, 2.2), len(1.5, 3), rad(0.3, 1.5), big(2, 6),
      bend(0, 0.2);
  int compared = 0;
  for (int trial = 0; trial < 60; ++trial) {
    const int kind1 = trial % 3, kind2 = (trial / 3) % 3;
    const double r = rad(rng), M[3] = {0, 0, 0}, a1 = ang(rng), a2 = a1 + open(rng) * (rng() % 2 ? 1 : -1);
    double T[2][2], t[2][2], u[2][2];
    for (int i = 0; i < 2; ++i) {
      const double a = i ? a2 : a1;
      T[i][0] = M[0] + r * std::cos(a), T[i][1] = M[1] + r * std::sin(a);
      u[i][0] = -std::cos(a), u[i][1] = -std::sin(a), t[i][0] = -u[i][1], t[i][1] = u[i][0];
    }
    Piece p1 = make_piece(kind1, T[0], t[0], u[0], len(rng), big(rng), bend(rng));
    Piece p2 = make_piece(kind2, T[1], t[1], u[1], len(rng), big(rng), bend(rng));
    double side1[3] = {T[0][0], T[0][1], 0}, side2[3] = {T[1][0], T[1][1], 0}, centre[3], par[2];
    double arc_poles[27], arc_knots[11], arc_weights[9];
    VOQbsp_curve arc{};
    arc.poles = arc_poles, arc.knots = arc_knots, arc.weights = arc_weights;
    int rc = 99;
    ASSERT_TRUE(BSfillet(&rc, &p1.cv->cv, &p2.cv->cv, side1, side2, M, &r, &arc, centre, par)) << trial << " " << rc;
    Geom2dAdaptor_Curve ad1(p1.peer), ad2(p2.peer);
    Geom2dGcc_Circ2d2TanRad peer(Geom2dGcc_QualifiedCurve(ad1, GccEnt_unqualified),
                                 Geom2dGcc_QualifiedCurve(ad2, GccEnt_unqualified), r, 1e-12);
    ASSERT_TRUE(peer.IsDone()) << trial;
    double best = DBL_MAX, touch = DBL_MAX;
    for (int s = 1; s <= peer.NbSolutions(); ++s) {
      const gp_Pnt2d c = peer.ThisSolution(s).Location();
      const double d = std::hypot(c.X() - centre[0], c.Y() - centre[1]);
      if (d >= best) continue;
      best = d;
      double q1, q2, q3, q4;
      gp_Pnt2d P1, P2, A, B;
      peer.Tangency1(s, q1, q2, P1), peer.Tangency2(s, q3, q4, P2);
      p1.peer->D0(q2, A), p2.peer->D0(q4, B);
      double o1[3], o2[3];
      ref_point(*p1.cv, par[0], o1), ref_point(*p2.cv, par[1], o2);
      touch = std::fmax(std::hypot(P1.X() - o1[0], P1.Y() - o1[1]), std::hypot(P2.X() - o2[0], P2.Y() - o2[1]));
    }
    EXPECT_LT(best, 1e-9) << "trial " << trial << " kinds " << kind1 << kind2;
    EXPECT_LT(touch, 1e-9) << "trial " << trial << " kinds " << kind1 << kind2;
    ++compared;
  }
  EXPECT_EQ(compared, 60);
}

}  // namespace

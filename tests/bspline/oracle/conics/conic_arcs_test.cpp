// General conic arcs beside the peers: arcs of OpenCASCADE's ellipses, hyperbolas and parabolas rebuilt from
// their ends, tangents and one point, checked on the implicit conic that Eigen fits through the peer's points;
// SISL's conic arc from its apex and shoulder; circles against our own circular arcs.
#include <gtest/gtest.h>

#include <ElCLib.hxx>
#include <Eigen/Dense>
#include <gp_Circ.hxx>
#include <gp_Elips.hxx>
#include <gp_Hypr.hxx>
#include <gp_Parab.hxx>

#include <cmath>
#include <random>
#include <string>

#include "tests/bspline/conic_fixtures.h"
#include "tests/bspline/oracle/peer_conics.h"

namespace {

void xyz(const gp_XYZ &p, double out[3]) { out[0] = p.X(), out[1] = p.Y(), out[2] = p.Z(); }

// Points of the peer's conic at a parameter, with a point of the tangent line there.
template <class Conic>
void on_conic(const Conic &c, double u, double tangent_scale, double p[3], double t[3]) {
  gp_Pnt P;
  gp_Vec V;
  ElCLib::D1(u, c, P, V);
  xyz(P.XYZ(), p);
  xyz(P.XYZ() + tangent_scale * V.XYZ(), t);
}

// Ellipse, hyperbola and parabola arcs (ellipses up to 350 degrees, so beyond the chord too), with tangent points
// on either side at any distance: every point of ours lies on the conic fitted through five of the peer's.
TEST(ConicArcsOracle, ArcsOfPeerConics) {
  std::mt19937 rng(3101);
  std::uniform_real_distribution<double> unit(0, 1), scale(0.2, 3);
  for (int kind : {BSCONIC_ELLIPSE, BSCONIC_HYPERBOLA, BSCONIC_PARABOLA})
    for (int trial = 0; trial < 150; ++trial) {
      SCOPED_TRACE("type " + std::to_string(kind) + " trial " + std::to_string(trial));
      const gp_Ax2 ax = random_axes(rng);
      const double r1 = 0.5 + 20 * unit(rng), r2 = r1 * (0.05 + 0.85 * unit(rng));
      const gp_Elips el(ax, r1, r2);
      const gp_Hypr hy(ax, r1, r2);
      const gp_Parab pa(ax, r2);
      const double sweep = kind == BSCONIC_ELLIPSE ? (0.2 + 5.9 * unit(rng)) : 0.2 + 3 * unit(rng);
      const double u0 = (kind == BSCONIC_ELLIPSE ? 6.3 : 2) * unit(rng) - (kind == BSCONIC_ELLIPSE ? 0 : 2);
      const double u[3] = {u0, u0 + sweep * (0.1 + 0.8 * unit(rng)), u0 + sweep};
      // A parabola's parameter is its ordinate: counted here in focal lengths.
      auto at = [&](double v, double s, double p[3], double t[3]) {
        if (kind == BSCONIC_ELLIPSE) on_conic(el, v, s, p, t);
        if (kind == BSCONIC_HYPERBOLA) on_conic(hy, v, s, p, t);
        if (kind == BSCONIC_PARABOLA) on_conic(pa, 4 * r2 * v, s, p, t);
      };
      double P[3][3], T[3][3];
      for (int i = 0; i < 3; ++i) at(u[i], (unit(rng) < 0.5 ? -1 : 1) * scale(rng), P[i], T[i]);
      ArcRecord ours, three;
      int rc = 1, type = 0, type3 = 0;
      ASSERT_TRUE(BSconicgen3(&rc, P[0], P[2], T[0], T[2], P[1], &ours.cv, nullptr, &type));
      EXPECT_EQ(type, kind);
      const double size = conic_test::dist(P[0], P[2]) + conic_test::dist(P[0], P[1]);
      expect_conic_arc(ours, P[0], P[2], T[0], T[2], P[1], 1e-11 * size);
      // The three-point form on the same data is the same arc.
      ASSERT_TRUE(BSconic32(&rc, P[0], P[1], P[2], T[0], T[2], &three.cv, nullptr, &type3));
      EXPECT_EQ(type3, kind);
      expect_conic_arc(three, P[0], P[2], T[0], T[2], P[1], 1e-11 * size);
      // The tangent that the three-point form finds at its middle point is the peer's.
      double Tm[3], d[3], e[3], x[3];
      ASSERT_TRUE(BScotan32(&rc, P[0], P[2], P[1], T[0], T[2], Tm));
      conic_test::sub(Tm, P[1], d), conic_test::sub(T[1], P[1], e), conic_test::cross(d, e, x);
      EXPECT_LT(std::sqrt(conic_test::dot(x, x)), 1e-9 * std::sqrt(conic_test::dot(d, d) * conic_test::dot(e, e)));
      // a x^2 + b xy + c y^2 + d x + e y + f = 0 in the peer's frame, scaled to the arc.
      const gp_XYZ O = ax.Location().XYZ(), X = ax.XDirection().XYZ(), Y = ax.YDirection().XYZ();
      auto plane = [&](const double p[3]) {
        const gp_XYZ d = (gp_XYZ(p[0], p[1], p[2]) - O) / size;
        return Eigen::Vector2d(d.Dot(X), d.Dot(Y));
      };
      Eigen::Matrix<double, 5, 6> A;
      for (int i = 0; i < 5; ++i) {
        double p[3], t[3];
        at(u[0] + sweep * i / 4.0, 1, p, t);
        const Eigen::Vector2d q = plane(p);
        A.row(i) << q.x() * q.x(), q.x() * q.y(), q.y() * q.y(), q.x(), q.y(), 1;
      }
      const Eigen::VectorXd f = Eigen::FullPivLU<Eigen::MatrixXd>(A).kernel().col(0);
      for (int s = 0; s <= 40; ++s) {
        double p[3];
        ours.point(s / 40.0, p);
        const Eigen::Vector2d q = plane(p);
        const double F = f[0] * q.x() * q.x() + f[1] * q.x() * q.y() + f[2] * q.y() * q.y() + f[3] * q.x() +
                         f[4] * q.y() + f[5];
        const Eigen::Vector2d grad(2 * f[0] * q.x() + f[1] * q.y() + f[3], f[1] * q.x() + 2 * f[2] * q.y() + f[4]);
        const gp_XYZ off = gp_XYZ(p[0], p[1], p[2]) - O;
        EXPECT_LT(std::fabs(F) / grad.norm(), 1e-10) << s;
        EXPECT_LT(std::fabs(off.Dot(ax.Direction().XYZ())), 1e-10 * size) << s;
        // The complement of the arc lies on the same ellipse: only the peer's parameter tells them apart.
        if (kind == BSCONIC_ELLIPSE) {
          EXPECT_LE(std::fabs(std::remainder(ElCLib::Parameter(el, gp_Pnt(p[0], p[1], p[2])) - u0 - sweep / 2,
                                             2 * M_PI)),
                    sweep / 2 + 1e-9)
              << s;
        }
      }
    }
}

// SISL's arc of shoulder rho on the triangle A, D, B is ours: pole for pole where neither is rebuilt, point for
// point where ours is an ellipse in circular form. On a circle the arc is BSprepcarc's.
TEST(ConicArcsOracle, ShoulderAgainstSislAndCircles) {
  std::mt19937 rng(3102);
  std::uniform_real_distribution<double> c(-10, 10), unit(0, 1);
  const int one = 1;
  for (int trial = 0; trial < 20; ++trial)
    for (int step = 1; step <= 9; ++step) {
      const double rho = step / 10.0;
      SCOPED_TRACE("trial " + std::to_string(trial) + " rho " + std::to_string(rho));
      double A[3], D[3], B[3];
      for (double *p : {A, D, B})
        for (int k = 0; k < 3; ++k) p[k] = c(rng);
      ArcRecord ours;
      int rc = 1, stat = 0;
      ASSERT_TRUE(BSconicgen4(&rc, &ours.cv, &one, nullptr, &rho, nullptr, A, D, B, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr));
      SISLCurve *sc = nullptr;
      s1011(A, D, B, rho, 3, &sc, &stat);
      ASSERT_TRUE(sc && stat >= 0);
      if (rho >= 0.5) {
        expect_same(flat_of(ours.cv), flat_of(sc), 1e-13, "s1011");
      } else {
        for (int s = 0; s <= 24; ++s) {
          double q[3], par = s / 24.0;
          ours.point(par, q);
          EXPECT_LT(sisl_distance_near(sc, q, &par), 1e-12 * (1 + conic_test::dist(A, B))) << s;
        }
      }
      freeCurve(sc);
    }
  for (int trial = 0; trial < 100; ++trial) {
    SCOPED_TRACE("circle " + std::to_string(trial));
    const gp_Circ circ(random_axes(rng), 0.1 + 20 * unit(rng));
    const double a0 = 6.3 * unit(rng), sweep = 0.1 + 6 * unit(rng);
    double P[3][3], T[3][3], centre[3], n[3];
    for (int i = 0; i < 3; ++i) on_conic(circ, a0 + sweep * i / 2.0, 1 + unit(rng), P[i], T[i]);
    xyz(circ.Location().XYZ(), centre);
    xyz(circ.Axis().Direction().XYZ(), n);
    ArcRecord ours, arc;
    int rc = 1;
    ASSERT_TRUE(BSconicgen3(&rc, P[0], P[2], T[0], T[2], P[1], &ours.cv, nullptr, nullptr));
    ASSERT_TRUE(BSprepcarc(&rc, P[0], centre, P[2], n, &arc.cv, nullptr, nullptr));
    expect_same(flat_of(ours.cv), flat_of(arc.cv), 1e-11, "BSprepcarc");
  }
}

}  // namespace

// Lines and circles, circles and circles, and two planes beside OpenCASCADE's analytic intersections, on random
// inputs away from tangency (where the two sides' tolerances differ by design).
#include <IntAna2d_AnaIntersection.hxx>
#include <IntAna_QuadQuadGeo.hxx>
#include <gp_Circ2d.hxx>
#include <gp_Lin.hxx>
#include <gp_Lin2d.hxx>
#include <gp_Pln.hxx>
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "bspline/intersect.h"

namespace {

// The same count as the peer, and the largest distance from a peer's point to the nearest of ours.
double worst_match(const IntAna2d_AnaIntersection &peer, int k, const double *pts) {
  EXPECT_TRUE(peer.IsDone() && k == peer.NbPoints());
  double worst = 0;
  for (int i = 1; i <= peer.NbPoints(); ++i) {
    double best = HUGE_VAL;
    for (int j = 0; j < k; ++j)
      best = std::min(best, peer.Point(i).Value().Distance(gp_Pnt2d(pts[3 * j], pts[3 * j + 1])) + std::fabs(pts[3 * j + 2]));
    worst = std::max(worst, best);
  }
  return worst;
}

TEST(ClosedFormSpansOracle, LinesCirclesAndPlanesAsOpenCascade) {
  std::mt19937 rng(81);
  std::uniform_real_distribution<double> coord(-10, 10), rad(0.5, 6), unit(-1, 1);
  const double z[3] = {0, 0, 1};
  double worst = 0, pts[6], point[3], dir[3];
  int crossings = 0, rc = 0, code = 0;
  std::int16_t k = -1;
  for (int trial = 0; trial < 20000; ++trial) {
    const double c1[3] = {coord(rng), coord(rng), 0}, c2[3] = {c1[0] + unit(rng) * 8, c1[1] + unit(rng) * 8, 0};
    const double r1 = rad(rng), r2 = rad(rng), a = unit(rng) * M_PI, ca = std::cos(a), sa = std::sin(a);
    const double l0[3] = {c1[0] + unit(rng) * 6, c1[1] + unit(rng) * 6, 0}, l1[3] = {l0[0] + ca, l0[1] + sa, 0};
    const gp_Circ2d circ1(gp_Ax2d(gp_Pnt2d(c1[0], c1[1]), gp_Dir2d(1, 0)), r1),
        circ2(gp_Ax2d(gp_Pnt2d(c2[0], c2[1]), gp_Dir2d(1, 0)), r2);
    const double d = std::hypot(c2[0] - c1[0], c2[1] - c1[1]);
    if (std::fabs(std::fabs((c1[0] - l0[0]) * sa - (c1[1] - l0[1]) * ca) - r1) > 1e-3) {
      BSxlnsph(l0, l1, c1, r1, &k, pts, &rc);
      worst = std::max(worst, worst_match({gp_Lin2d(gp_Pnt2d(l0[0], l0[1]), gp_Dir2d(ca, sa)), circ1}, k, pts));
    }
    if (std::fabs(d - r1 - r2) > 1e-3 && std::fabs(d - std::fabs(r1 - r2)) > 1e-3) {
      BSxarcarc(c1, r1, z, c2, r2, z, &k, pts, &rc);
      worst = std::max(worst, worst_match({circ1, circ2}, k, pts));
      crossings += k == 2;
    }
    // Two planes through random points with random unit normals, kept well apart from parallel: our point lies
    // on the peer's line and on both planes, our direction is the peer's up to sign.
    const gp_Dir n1(unit(rng), unit(rng), unit(rng) + 0.01), n2(unit(rng), unit(rng), unit(rng) + 0.01);
    const gp_Pnt q1(coord(rng), coord(rng), coord(rng)), q2(coord(rng), coord(rng), coord(rng));
    if (gp_Vec(n1).Crossed(gp_Vec(n2)).Magnitude() < 0.1) continue;
    const double p1[3] = {q1.X(), q1.Y(), q1.Z()}, p2[3] = {q2.X(), q2.Y(), q2.Z()};
    const double N1[3] = {n1.X(), n1.Y(), n1.Z()}, N2[3] = {n2.X(), n2.Y(), n2.Z()};
    const IntAna_QuadQuadGeo peer(gp_Pln(q1, n1), gp_Pln(q2, n2), 1e-12, 1e-12);
    BSpl_pl(p1, N1, p2, N2, &code, point, dir, &rc);
    ASSERT_TRUE(rc == 0 && code == 5 && peer.IsDone() && peer.TypeInter() == IntAna_Line) << trial;
    const gp_Pnt x(point[0], point[1], point[2]);
    const double s = std::max(1.0, x.XYZ().Modulus());  // errors relative to the point's size
    worst = std::max({worst, peer.Line(1).Distance(x) / s, std::fabs(gp_Vec(n1).Dot(gp_Vec(q1, x))) / s,
                      std::fabs(gp_Vec(n2).Dot(gp_Vec(q2, x))) / s,
                      gp_Vec(dir[0], dir[1], dir[2]).Crossed(gp_Vec(peer.Line(1).Direction())).Magnitude()});
  }
  EXPECT_LE(worst, 1e-12);
  EXPECT_GT(crossings, 2000);
}

}  // namespace

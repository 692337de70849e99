#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "tests/bspline/conic_fixtures.h"

namespace {

using namespace conic_test;

const double kC = 0.7071067811865476;  // cos 45 degrees
const double kA[3] = {1, 0, 0}, kB[3] = {0, 1, 0}, kD[3] = {1, 1, 0};

void unit_point(double deg, double out[3]) {
  out[0] = std::cos(deg * M_PI / 180), out[1] = std::sin(deg * M_PI / 180), out[2] = 0;
}

// Shapes on the unit circle and beside it, then nearly parallel tangents (sine 0.0998) and a shoulder beyond the
// chord: two segments meeting at the shoulder point M, where the tangent is parallel to the chord. Then ellipses
// whose first segment has the weight of a circle's for its chord over the product of its unequal legs, on each
// road to that segment: one segment, nearly parallel tangents, beyond the chord, parallel tangents. Each shape is
// also placed in a tilted plane far from the origin, shrunk (within the distance tolerance's reach) and grown; each result is the arc it was asked for.
TEST(ConicArcs, Shapes) {
  double s45[3], s30[3], b120[3], t120[3], s60[3], b150[3], t150[3], s255[3];
  unit_point(45, s45), unit_point(30, s30), unit_point(120, b120), unit_point(60, s60), unit_point(150, b150),
      unit_point(255, s255);
  for (int k = 0; k < 3; ++k) {
    t120[k] = b120[k] + (k == 0 ? -b120[1] : k == 1 ? b120[0] : 0);
    t150[k] = b150[k] + (k == 0 ? -b150[1] : k == 1 ? b150[0] : 0);
  }
  const double parab[3] = {0.75, 0.75, 0}, mA[3] = {-1, 0, 0}, up1[3] = {1, 1, 0}, up2[3] = {-1, 1, 0};
  const double top[3] = {0, 2, 0}, O[3] = {0, 0, 0}, X[3] = {10, 0, 0}, TO[3] = {0.5, 10, 0}, TX[3] = {9.5, 10, 0};
  const double hyp[3] = {5, 70, 0}, ell[3] = {5, 30, 0};
  // Legs 3.58 and 2.68 about the right angle at (1.2, -0.4), chord 4.47, weight ratio 1.92.
  const double oA[3] = {-2, -2, 0}, oB[3] = {0, 2, 0}, oTA[3] = {0, -1, 0}, oTB[3] = {1, 0, 0};
  // The half A, Q0, M of each split has legs 1 and 1.5 (apex at (50, 0): sine 0.061), 1 and 1.6 (apex behind A:
  // the arc beyond the chord), 1 and 2 (tangents along x at both ends).
  const double nB[3] = {-0.19262807163681633, 3.0551579014747765, 0}, nD[3] = {49.99999999999968, 0, 0},
               nS[3] = {0.90561224489796, 1.4970273717226406, 0};
  const double bB[3] = {-0.9883379433493229, 1.5705153693414546, 0}, bD[3] = {-1.380281690140845, 0, 0},
               bS[3] = {0.1478106508875736, 1.3541688643811522, 0};
  const double pB[3] = {-1, 3.872983346207417, 0}, pTA[3] = {1, 0, 0}, pTB[3] = {0, 3.872983346207417, 0},
               pS[3] = {0.5, 1.9364916731037085, 0};
  const struct {
    const char *what;
    const double *A, *B, *TA, *TB, *S;
    int type;
    std::vector<double> weights;  // empty: not known in closed form
    int poles;
    bool at_boundary = false;  // a sweep of 120 degrees exactly: placed, its rounding may ask for two segments
  } cases[] = {
      {"45 degrees", kA, kB, kD, kD, s45, BSCONIC_CIRCLE, {1, kC, 1}, 3},
      {"30 degrees", kA, kB, kD, kD, s30, BSCONIC_CIRCLE, {1, kC, 1}, 3},
      {"120 degree arc", kA, b120, up1, t120, s60, BSCONIC_CIRCLE, {1, 0.5, 1}, 3, true},
      {"shoulder 1/2", kA, kB, kD, kD, parab, BSCONIC_PARABOLA, {1, 1, 1}, 3},
      {"parallel tangents", kA, mA, up1, up2, top, BSCONIC_ELLIPSE, {1, kC, 1, kC, 1}, 5},
      {"nearly parallel, hyperbola", O, X, TO, TX, hyp, BSCONIC_HYPERBOLA, {}, 5},
      {"nearly parallel, ellipse", O, X, TO, TX, ell, BSCONIC_ELLIPSE, {}, 5},
      {"210 degrees beyond the chord", kA, b150, kD, t150, s255, BSCONIC_CIRCLE, {}, 5},
      {"circle's weight, unequal legs", oA, oB, oTA, oTB, O, BSCONIC_ELLIPSE, {}, 3},
      {"circle's weight, unequal legs, nearly parallel", O, nB, nD, nD, nS, BSCONIC_ELLIPSE, {}, 5},
      {"circle's weight, unequal legs, beyond the chord", O, bB, bD, bD, bS, BSCONIC_ELLIPSE, {}, 5},
      {"circle's weight, unequal legs, parallel tangents", O, pB, pTA, pTB, pS, BSCONIC_ELLIPSE, {}, 5},
  };
  struct Placement {
    const char *what;
    PlaneFrame frame;
    double scale;
  };
  const double r = 1 / std::sqrt(2.0), t = 1 / std::sqrt(3.0);
  const Placement placements[] = {
      {"in place", PlaneFrame{}, 1},
      {"tilted, far", PlaneFrame{{1e5, -3e4, 2e3}, {r, 0, r}, {-t, t, t}}, 1},
      {"tilted, farther and larger", PlaneFrame{{1e7, -3e6, 2e5}, {r, 0, r}, {-t, t, t}}, 1e3},
      {"tilted, small", PlaneFrame{{0, 0, 0}, {r, 0, r}, {-t, t, t}}, 1e-2},
      {"tilted, huge and far", PlaneFrame{{1e7, 1e7, 1e7}, {r, 0, r}, {-t, t, t}}, 1e6},
  };
  for (const auto &pl : placements)
    for (const auto &c : cases) {
      SCOPED_TRACE(std::string(pl.what) + ": " + c.what);
      // The rounding of the placed points, in units of the shape.
      const double *o = pl.frame.origin;
      const double slack = std::max(1.0, std::max({std::fabs(o[0]), std::fabs(o[1]), std::fabs(o[2])}) / pl.scale);
      double A[3], B[3], TA[3], TB[3], S[3], normal[3];
      for (auto [from, to] : {std::pair{c.A, A}, {c.B, B}, {c.TA, TA}, {c.TB, TB}, {c.S, S}}) {
        const auto p = pl.frame.at(pl.scale * from[0], pl.scale * from[1]);
        std::copy(p.begin(), p.end(), to);
      }
      pl.frame.normal(normal);
      ArcRecord rec;
      int rc = 1, type = 0;
      double n[3];
      ASSERT_TRUE(BSconicgen3(&rc, A, B, TA, TB, S, &rec.cv, n, &type));
      EXPECT_EQ(rc, 0);
      EXPECT_EQ(type, c.type);
      EXPECT_EQ(rec.cv.rational, c.type != BSCONIC_PARABOLA);
      if (!(c.at_boundary && &pl != placements && rec.cv.num_poles == 5)) {
        ASSERT_EQ(rec.cv.num_poles, c.poles);
        for (size_t i = 0; i < c.weights.size(); ++i) EXPECT_NEAR(rec.weights[i], c.weights[i], 2e-15 * slack) << i;
      }
      EXPECT_NEAR(std::fabs(dot(n, normal)), 1.0, 1e-15 * slack);
      expect_conic_arc(rec, A, B, TA, TB, S, 1e-13 * slack * pl.scale);
      if (rec.cv.num_poles == 3) continue;
      EXPECT_EQ(rec.knot_vector(), (std::vector<double>{0, 0, 0, 0.5, 0.5, 1, 1, 1}));
      double M[3], chord[3], legs[3], x[3];
      for (int k = 0; k < 3; ++k) M[k] = rec.pole(2, k), legs[k] = rec.pole(3, k) - rec.pole(1, k);
      sub(B, A, chord);
      cross(chord, legs, x);
      EXPECT_LT(std::sqrt(dot(x, x)), 1e-12 * slack * std::sqrt(dot(chord, chord) * dot(legs, legs)));
      EXPECT_LT(conic_distance(rec, M), 1e-13 * slack * pl.scale);
    }
}

// Degenerate input: its own code, FALSE, and a record that does not read as a curve.
TEST(ConicArcs, Refusals) {
  const double off[3] = {0.7, 0.7, 1e-3}, chord[3] = {0.5, 0.5, 0}, outside[3] = {1.2, 0.5, 0};
  const double on_tangent[3] = {1, 0.5, 0}, nan3[3] = {NAN, 0.5, 0}, along[3] = {2, -1, 0}, lifted[3] = {1, 1, 1};
  const double far_hyp[3] = {-1, 0.9, 0};
  double s45[3];
  unit_point(45, s45);
  const struct {
    const char *what;
    const double *TA, *S;
    int rc;
  } cases[] = {
      {"tangent point on its end point", kA, s45, -2}, {"tangent along the chord", along, s45, -2},
      {"S off the plane", kD, off, -2},                {"tangent points off one plane", lifted, s45, -2},
      {"S on the chord", kD, chord, -2},               {"S outside the tangents", kD, outside, -2},
      {"S on a tangent line", kD, on_tangent, -2},     {"NaN", kD, nan3, -2},
      {"beyond the chord of a hyperbola", kD, far_hyp, -2},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    ArcRecord r;
    int rc = 0, type = 0;
    EXPECT_FALSE(BSconicgen3(&rc, kA, kB, c.TA, kD, c.S, &r.cv, nullptr, &type));
    EXPECT_EQ(rc, c.rc);
    EXPECT_EQ(r.cv.num_poles, 0);
  }
  int rc = 0;
  EXPECT_FALSE(BSconicgen3(&rc, kA, kB, kD, kD, s45, nullptr, nullptr, nullptr));
  EXPECT_EQ(rc, -1);
  // The writer: a rational result needs weights; a parabola does not; no other form or shoulder.
  const int one = 1, two = 2;
  const struct {
    const char *what;
    const int *form;
    double rho;
    bool weights;
    int rc;
  } writes[] = {{"hyperbola without weights", &one, 0.7, false, 3}, {"parabola without weights", &one, 0.5, false, 0},
                {"form 2", &two, 0.5, true, -2},                     {"shoulder 1", &one, 1.0, true, -2}};
  for (const auto &w : writes) {
    SCOPED_TRACE(w.what);
    ArcRecord r;
    if (!w.weights) r.cv.weights = nullptr;
    EXPECT_EQ(BSconicgen4(&rc, &r.cv, w.form, nullptr, &w.rho, nullptr, kA, kD, kB, nullptr, nullptr, nullptr,
                          nullptr, nullptr, nullptr),
              w.rc == 0);
    EXPECT_EQ(rc, w.rc);
    EXPECT_EQ(r.cv.num_poles, w.rc == 0 ? 3 : 0);
  }
}

// Three points with tangents at the outer two: the end pair on a hyperbola whatever the order, branches, and
// tangent lines that never meet.
TEST(ConicArcs, ThreePointForms) {
  auto hyp = [](double x, double *p, double *t) {
    p[0] = x, p[1] = 1 / x, p[2] = 0, t[0] = x + 1, t[1] = 1 / x - 1 / (x * x), t[2] = 0;
  };
  double P[3][3], T[3][3];
  hyp(1, P[0], T[0]), hyp(0.5, P[1], T[1]), hyp(2, P[2], T[2]);
  const double *pts[3] = {P[0], P[1], P[2]}, *tans[3] = {T[0], T[1], T[2]};
  int n = 3, i = -1, j = -1, rc = 1;
  ASSERT_TRUE(BSmaxext(&rc, &n, pts, tans, &i, &j));
  EXPECT_EQ(i * 10 + j, 12) << "the middle point given first is not an end";
  // Pascal's line parallel to the chord: the tangent at the top of a half circle is too.
  const double L[3] = {-1, 0, 0}, TR[3] = {1, 1, 0}, TL[3] = {-1, 1, 0}, want[3] = {-2, 1, 0};
  double Tm[3];
  ASSERT_TRUE(BScotan32(&rc, kA, L, kB, TR, TL, Tm));
  EXPECT_EQ(std::vector<double>(Tm, Tm + 3), std::vector<double>(want, want + 3));
  // Four points: parallel tangents on the first pair that has the others on one side; an ellipse whose others
  // straddle its end chord.
  const double Q[4][3] = {{0, 0, 0}, {2, 0, 0}, {1, 0.5, 0}, {1, -1, 0}};
  const double U[4][3] = {{1, 1, 0}, {1, 1, 0}, {2, 1.5, 0}, {2, -1, 0}};
  const double E[4][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
  const double V[4][3] = {{1, 1, 0}, {-1, 1, 0}, {1, 1, 0}, {1, -1, 0}};
  n = 4;
  const double *qp[4] = {Q[0], Q[1], Q[2], Q[3]}, *qt[4] = {U[0], U[1], U[2], U[3]};
  const double *ep[4] = {E[0], E[1], E[2], E[3]}, *et[4] = {V[0], V[1], V[2], V[3]};
  EXPECT_FALSE(BSmaxext(&rc, &n, qp, qt, &i, &j));
  EXPECT_EQ(rc, 45);
  EXPECT_FALSE(BSmaxext(&rc, &n, ep, et, &i, &j));
  EXPECT_EQ(rc, 28);
  // The end tangents pass each other 2.5e-4 apart where they cross, though every four points are coplanar
  // within dist_tol.
  const double S0[3] = {0, 0, 0}, S1[3] = {0.5, 300, 0}, S2[3] = {1, 0, 0}, ST0[3] = {1e-3, 1, 0},
               ST1[3] = {1 - 1e-3, 1, 5e-7}, far[3] = {-1, -1, 0}, far_t[3] = {0, -2, 0};
  ArcRecord r;
  EXPECT_FALSE(BSconic32(&rc, S0, S1, S2, ST0, ST1, &r.cv, nullptr, nullptr));
  EXPECT_EQ(rc, 43);
  EXPECT_FALSE(BSconic32(&rc, P[0], P[2], far, T[0], far_t, &r.cv, nullptr, nullptr));
  EXPECT_EQ(rc, -2) << "two branches";
  EXPECT_EQ(r.cv.num_poles, 0);
}

// The middle point of a transition conic by each rule; P2 at the corner leaves no direction for it.
TEST(ConicArcs, TransitionConic) {
  const double s = std::sin(0.9), c = std::cos(0.9);
  const double O[3] = {0, 0, 0}, R1[3] = {-s, c, 0}, R3[3] = {s, c, 0}, R2[3] = {0, 1 / c, 0}, Rm[3] = {0, 1, 0};
  const double F1[3] = {-4, 3, 0}, F3[3] = {4, 3, 0}, F2[3] = {0, 4, 0}, Fm[3] = {0, 3.8, 0}, F2r[3] = {0, 5, 0};
  const double N1[3] = {-1, 0, 0}, N3[3] = {0.5, -3, 0}, N2[3] = {0, 3, 0}, Nm[3] = {0, 2.2, 0};
  const double Z3[3] = {2, 0, 0}, Z2[3] = {0, 2, 0}, Zm[3] = {2.0 / 7, 10.0 / 7, 0};
  const struct {
    const char *what;
    const double *P1, *P2, *P3, *M;
    int rc;
  } cases[] = {
      {"h < r < d2: offset distance (unit circle)", R1, R2, R3, Rm, 0},
      {"r > d2: (4 d2 + h)/5", F1, F2, F3, Fm, 0},
      {"r = d2 exactly: the apex itself, no conic", F1, F2r, F3, nullptr, -2},
      {"r < h: (4 h + d2)/5", N1, N2, N3, Nm, 0},
      {"P1 at the corner: (5 P2 + P3 + P1)/7", O, Z2, Z3, Zm, 0},
      {"P2 at the corner", R1, O, R3, nullptr, -2},
      {"all at the corner", O, O, O, nullptr, -2},
  };
  for (const auto &t : cases) {
    SCOPED_TRACE(t.what);
    ArcRecord r;
    int rc = 1;
    BStransconc(t.P1, t.P2, t.P3, O, &r.cv, &rc);
    ASSERT_EQ(rc, t.rc);
    if (rc == 0) {
      EXPECT_LT(conic_distance(r, t.M), 1e-14);
    }
  }
}

}  // namespace

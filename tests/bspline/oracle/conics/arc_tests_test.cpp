// Arc and circle tests beside the peers: their circular arcs and circles are arcs to us, with their centre and
// radius, and their ellipses are not; the circle through three points and the curvature are theirs.
#include <gtest/gtest.h>

#include <ElCLib.hxx>
#include <GeomLProp_CLProps.hxx>
#include <Geom_Circle.hxx>
#include <gce_MakeCirc.hxx>
#include <gp_Circ.hxx>

#include <cmath>
#include <random>
#include <string>

#include "tests/bspline/conic_fixtures.h"
#include "tests/bspline/oracle/peer_conics.h"

namespace {

using namespace conic_test;

void xyz(const gp_XYZ &p, double out[3]) { out[0] = p.X(), out[1] = p.Y(), out[2] = p.Z(); }

struct ArcAnswer {
  int rc = 99;
  std::uint16_t is_arc = 9;
  double centre[3], radius = 0;
  ArcRecord arc;
  ArcAnswer(const TestCurve &c, double tol) { BStstcvarct(&c.cv, tol, &is_arc, centre, &radius, &arc.cv, &rc); }
};

// The arc of circ from a0 through sweep has our answer with its centre and radius, and the rebuilt arc runs on
// circ from the same start through the same middle to the same end.
void expect_arc_of(const TestCurve &c, const gp_Circ &circ, double a0, double sweep) {
  const ArcAnswer got(c, 1e-9);
  ASSERT_EQ(got.rc, 0);
  ASSERT_EQ(got.is_arc, sweep < 2 * M_PI ? 1 : 2);
  const double r = circ.Radius();
  double centre[3], p[3], q[3];
  xyz(circ.Location().XYZ(), centre);
  EXPECT_LT(dist(got.centre, centre), 1e-9);
  EXPECT_NEAR(got.radius, r, 1e-9);
  for (int i = 0; i <= 8; ++i) {
    got.arc.point(i / 8.0, p);
    xyz(ElCLib::Value(a0 + sweep * i / 8, circ).XYZ(), q);
    EXPECT_TRUE(i % 4 || dist(p, q) < 1e-9 * r) << "start, middle and end " << i;
    EXPECT_LT(circ.Distance(gp_Pnt(p[0], p[1], p[2])), 1e-9 * r) << i;
  }
}

TEST(ArcTestsOracle, PeerArcsCirclesAndEllipses) {
  std::mt19937 rng(3001);
  std::uniform_real_distribution<double> radius(0.05, 50), angle(0, 2 * M_PI), part(0.05, 1);
  for (int trial = 0; trial < 60; ++trial) {
    SCOPED_TRACE("OpenCASCADE, trial " + std::to_string(trial));
    const bool whole = trial % 10 == 2;
    const int spans = whole ? 3 : 1 + trial % 3;
    const gp_Circ circ(random_axes(rng), radius(rng));
    const double a0 = angle(rng), sweep = whole ? 2 * M_PI : std::min(part(rng) * spans * 2.5, 6.2);
    auto cv = curve_of(converted_on_unit(new Geom_TrimmedCurve(new Geom_Circle(circ), a0, a0 + sweep), spans), 3,
                       true);
    expect_arc_of(*cv, circ, a0, sweep);
    // The corner of a one-segment arc moved 1e-7 along the chord: an arc at tol 1e-6, not at 1e-9. (On short arcs
    // the centre moves by 1e-7 times radius over leg.)
    if (spans > 1 || sweep < 1.2) continue;
    double chord[3];
    for (int k = 0; k < 3; ++k) chord[k] = cv->pole(2, k) - cv->pole(0, k);
    const double len = std::sqrt(dot(chord, chord));
    for (int k = 0; k < 3; ++k) cv->poles[3 + k] += 1e-7 * cv->weights[1] * chord[k] / len;
    EXPECT_EQ(ArcAnswer(*cv, 1e-6).is_arc, 1);
    EXPECT_EQ(ArcAnswer(*cv, 1e-9).is_arc, 0);
  }
  // SISL's circular arcs (shape factor cos h / (1 + cos h) on equal legs) and its ellipses about their centres.
  for (int trial = 0; trial < 20; ++trial) {
    SCOPED_TRACE("SISL, trial " + std::to_string(trial));
    const gp_Circ circ(random_axes(rng), radius(rng));
    const double a0 = angle(rng), h = 1.5 * part(rng);
    double s[3], e[3], t[3], c[3], n[3], axis[3];
    xyz(ElCLib::Value(a0, circ).XYZ(), s);
    xyz(ElCLib::Value(a0 + 2 * h, circ).XYZ(), e);
    xyz(ElCLib::Value(a0 + h, circ).XYZ(), t);
    xyz(circ.Location().XYZ(), c);
    xyz(circ.Axis().Direction().XYZ(), n);
    for (int k = 0; k < 3; ++k) t[k] = c[k] + (t[k] - c[k]) / std::cos(h), axis[k] = s[k] - c[k];
    SISLCurve *sc = nullptr;
    int stat = 0;
    s1011(s, t, e, std::cos(h) / (1 + std::cos(h)), 3, &sc, &stat);
    ASSERT_TRUE(sc && stat >= 0 && sc->ikind == 4);
    expect_arc_of(*curve_of(flat_of(sc), 3, true), circ, a0, 2 * h);
    freeCurve(sc);
    s1522(n, c, axis, 1.1, 3, &sc, &stat);
    ASSERT_TRUE(sc && stat >= 0 && sc->ikind == 2);
    const ArcAnswer no(*curve_of(flat_of(sc), 3, true), 1e-6);
    freeCurve(sc);
    EXPECT_EQ(no.rc, 0);
    EXPECT_EQ(no.is_arc, 0);
  }
}

TEST(ArcTestsOracle, CircleThroughThreePoints) {
  std::mt19937 rng(3002);
  std::uniform_real_distribution<double> radius(0.05, 50), angle(0, 2 * M_PI), gap(0.3, 2.5);
  for (int trial = 0; trial < 200; ++trial) {
    SCOPED_TRACE(trial);
    const gp_Circ circ(random_axes(rng), radius(rng));
    const double a = angle(rng), b = a + gap(rng), c = b + gap(rng);
    const gp_Pnt P0 = ElCLib::Value(a, circ), P1 = ElCLib::Value(b, circ), P2 = ElCLib::Value(c, circ);
    double p0[3], p1[3], p2[3], centre[3], normal[3], r = 0, want[3], axis[3];
    xyz(P0.XYZ(), p0), xyz(P1.XYZ(), p1), xyz(P2.XYZ(), p2);
    int rc = 99;
    ASSERT_TRUE(BScircprop(&rc, p0, p1, p2, centre, &r, normal));
    const gp_Circ theirs = gce_MakeCirc(P0, P1, P2).Value();
    xyz(theirs.Location().XYZ(), want);
    xyz(theirs.Axis().Direction().XYZ(), axis);
    EXPECT_LT(dist(centre, want), 1e-12 * std::max(1.0, r));
    EXPECT_NEAR(r, theirs.Radius(), 1e-12 * std::max(1.0, r));
    EXPECT_NEAR(std::fabs(dot(normal, axis)), 1, 1e-12);
    // The same points on one line, or two of them together: no circle.
    const double mid[3] = {(p0[0] + p2[0]) / 2, (p0[1] + p2[1]) / 2, (p0[2] + p2[2]) / 2};
    EXPECT_FALSE(BScircprop(&rc, p0, mid, p2, centre, &r, normal) || rc != -2);
    EXPECT_FALSE(BScircprop(&rc, p0, p0, p2, centre, &r, normal) || rc != -2);
    // Off the line by a fifth of the distance tolerance: still on it, though the three make a triangle.
    const double off[3] = {mid[0] + 2e-7 * normal[0], mid[1] + 2e-7 * normal[1], mid[2] + 2e-7 * normal[2]};
    EXPECT_FALSE(BScircprop(&rc, p0, off, p2, centre, &r, normal) || rc != -2);
  }
}

// Curvature and centre of curvature of random rational curves, and the radius BStstdrkarc answers for arcs.
TEST(ArcTestsOracle, CurvatureAgainstPeer) {
  std::mt19937 rng(3003);
  std::uniform_real_distribution<double> unit(0, 1);
  for (int trial = 0; trial < 40; ++trial) {
    SCOPED_TRACE(trial);
    const auto c = random_curve(rng, 3 + trial % 3, 8, true, true);
    const double u = c->start() + (c->end() - c->start()) * (0.02 + 0.96 * unit(rng));
    GeomLProp_CLProps props(OcctCurve(*c).cv, u, 2, 1e-12);
    BSboolean two = 9;
    double kl, kr, rl, rr, cl[3], cr[3], want[3];
    int rc = 99;
    if (!BSrdcencrcv(&rc, &c->cv, &u, &two, &kl, &kr, &rl, &rr, cl, cr)) continue;  // nearly straight there
    gp_Pnt centre;
    props.CentreOfCurvature(centre);
    xyz(centre.XYZ(), want);
    EXPECT_NEAR(kl, props.Curvature(), 1e-9 * props.Curvature());
    EXPECT_LT(dist(cl, want), 1e-9 * std::max(1.0, rl));
  }
  for (int spans = 1; spans <= 3; ++spans) {
    const gp_Circ circ(random_axes(rng), 0.5 + 10 * unit(rng));
    Handle(Geom_TrimmedCurve) arc = new Geom_TrimmedCurve(new Geom_Circle(circ), 0.3, 0.3 + 1.9 * spans);
    const auto cv = curve_of(converted_on_unit(arc, spans), 3, true);
    int answer = 9, rc = 99;
    double r = 0;
    BStstdrkarc(&cv->cv, &answer, &r, &rc);
    EXPECT_EQ(answer, 2) << spans;
    EXPECT_NEAR(r, 1 / GeomLProp_CLProps(arc, 0.3 + spans, 2, 1e-12).Curvature(), 1e-9 * r) << spans;
  }
}

}  // namespace

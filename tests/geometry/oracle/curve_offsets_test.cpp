// Typed-curve offsets beside the peers: random polylines offset with sharp corners against GEOS's mitred offset
// curve, and B-spline curves and non-circular ellipses in random planes against OpenCASCADE's exact offset curve.
#include <GeomAPI_ProjectPointOnCurve.hxx>
#include <Geom_Ellipse.hxx>
#include <Geom_OffsetCurve.hxx>
#include <gp_Ax2.hxx>
#include <gp_Elips.hxx>

#include <cmath>
#include <random>
#include <vector>

#include "geometry/offset_side.h"
#include "tests/bspline/oracle/looping_curves.h"
#include "tests/bspline/oracle/peer_curves.h"
#include "tests/bspline/oracle/peer_geos.h"
#include "tests/geometry/typed_curve_builders.h"

namespace {

using namespace tcb;

class CurveOffsetsOracle : public TypedCurves {
 protected:
  double Uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  // A random plane: origin, two axes and the normal.
  struct Frame {
    GPosition o;
    GVector e1, e2, n;
    GPosition At(double x, double y) const { return o + e1 * x + e2 * y; }
  };
  Frame RandomFrame() {
    GVector n;
    do n = GVector(Uniform(-1, 1), Uniform(-1, 1), Uniform(-1, 1));
    while (n.Length() < 0.2);
    n = n * (1 / n.Length());
    GVector e1(-n.y, n.x, 0);
    if (e1.Length() < 0.1) e1 = GVector(0, -n.z, n.y);
    e1 = e1 * (1 / e1.Length());
    const GVector e2(n.y * e1.z - n.z * e1.y, n.z * e1.x - n.x * e1.z, n.x * e1.y - n.y * e1.x);
    return {{Uniform(-20, 20), Uniform(-20, 20), Uniform(-20, 20)}, e1, e2, n};
  }
  static gp_Pnt Pnt(const GPosition& p) { return {p.x, p.y, p.z}; }
  // IMTCOff with sharp corners: the result's type, or 0 when it fails.
  static int Offset(const GTypedCurve& in, const GPosition& side, double dist, GTypedCurve* out) {
    const int corner = 0;
    int rc = -1;
    *out = GTypedCurve{};
    IMTCOff(&in, &side, &dist, &corner, out, &rc);
    return rc == 0 ? out->type : 0;
  }

  // Samples of our offset (through the library form) against the peer's exact offset of `base` by `signed_d`
  // about `normal`: each lies at |d| from the base and at the exact offset's point at its projected parameter,
  // and the ends are the exact offset's ends unless the curve is closed. The library holds its offset to the
  // tolerance at its test points only; between them a span may stray further (ellipses up to 1.3 times).
  void ExpectAtTheExactOffset(const GTypedCurve& ours, const Handle(Geom_Curve) & base, double signed_d,
                              const GVector& normal, bool closed, const char* what, int trial) {
    const double tol = 2 * BStoltab[bstol::offset_tol];
    Handle(Geom_OffsetCurve) exact = new Geom_OffsetCurve(base, signed_d, gp_Dir(normal.x, normal.y, normal.z));
    VOQbsp_curve* cv = nullptr;
    int rc = -1;
    IMGTCIcv(&ours, &cv, &rc);
    ASSERT_EQ(rc, 0) << what << trial;
    const double a = cv->knots[cv->order - 1], b = cv->knots[cv->num_poles];
    for (int j = 0; j <= 200; ++j) {
      const gp_Pnt q = Pnt(Evaluate(cv, a + (b - a) * j / 200));
      if (!closed && (j == 0 || j == 200)) {
        EXPECT_LE(q.Distance(exact->Value(j ? exact->LastParameter() : exact->FirstParameter())), tol) << what << trial;
        continue;
      }
      GeomAPI_ProjectPointOnCurve foot(q, base);
      ASSERT_GT(foot.NbPoints(), 0) << what << trial << " at " << j;
      EXPECT_LE(std::fabs(foot.LowerDistance() - std::fabs(signed_d)), tol) << what << trial << " at " << j;
      EXPECT_LE(q.Distance(exact->Value(foot.LowerDistanceParameter())), tol) << what << trial << " at " << j;
    }
    Free(cv);
  }

  std::mt19937 rng_{20261208};
};

// Random walks of 3 to 50 points, legs 1 to 4 long and turns up to 115 degrees, kept when neither the polyline
// nor GEOS's offset of it crosses itself; the side point just off the first leg's middle, either side, and a
// negative distance turning it round.
TEST_F(CurveOffsetsOracle, LineStringsWithSharpCornersAgreeWithGeosMitre) {
  const double d = 0.25;
  GEOSContextHandle_t ctx = GEOS_init_r();
  int kept = 0;
  for (int attempt = 0; kept < 40 && attempt < 1000; ++attempt) {
    const int n = 3 + static_cast<int>(Uniform(0, 48));
    std::vector<double> p, k = {0};
    std::vector<GPosition> points;
    double heading = Uniform(-kPi, kPi), x = Uniform(-50, 50), y = Uniform(-50, 50);
    for (int i = 0; i < n; ++i) {
      points.push_back({x, y, 0});
      p.insert(p.end(), {x, y, 0.0});
      k.push_back(i);
      heading += Uniform(-2.0, 2.0);
      const double leg = Uniform(1, 4);
      x += leg * std::cos(heading), y += leg * std::sin(heading);
    }
    k.push_back(n - 1);
    const TestCurve c(2, p, k);
    if (loops::GeosSelfCrossings(ctx, c) != 0) continue;
    bool simple = true;
    for (double left : {1.0, -1.0}) {
      const std::vector<double> xy = geos_offset(c, left * d, false);
      std::vector<double> xyz, kk = {0};
      for (std::size_t i = 0; i < xy.size(); i += 2) {
        xyz.insert(xyz.end(), {xy[i], xy[i + 1], 0.0});
        kk.push_back(static_cast<double>(i / 2));
      }
      kk.push_back(static_cast<double>(xy.size() / 2 - 1));
      simple = simple && static_cast<int>(xy.size()) == 2 * n && loops::GeosSelfCrossings(ctx, TestCurve(2, xyz, kk)) == 0;
    }
    if (!simple) continue;
    ++kept;
    GTypedCurve ls = LineString(points);
    const double dx = p[3] - p[0], dy = p[4] - p[1], len = std::hypot(dx, dy);
    for (double left : {1.0, -1.0})
      for (double dist : {d, -d}) {
        const GPosition side{p[0] + dx / 2 - left * 0.05 * dy / len, p[1] + dy / 2 + left * 0.05 * dx / len, 0};
        GTypedCurve out;
        ASSERT_EQ(Offset(ls, side, dist, &out), kCurveLineString) << kept;
        const std::vector<double> peer = geos_offset(c, (dist > 0 ? left : -left) * d, false);
        const GLineString& r = Rec<GLineString>(out);
        ASSERT_EQ(2 * static_cast<std::size_t>(r.numPoints), peer.size()) << kept;
        for (std::uint32_t i = 0; i < r.numPoints; ++i) {
          EXPECT_NEAR(r.pPoints[i].x, peer[2 * i], 1e-9) << kept << " point " << i;
          EXPECT_NEAR(r.pPoints[i].y, peer[2 * i + 1], 1e-9) << kept << " point " << i;
          EXPECT_EQ(r.pPoints[i].z, 0.0);
        }
        Free(out);
      }
    Free(ls);
  }
  GEOS_finish_r(ctx);
  EXPECT_EQ(kept, 40);
}

// The paths the offset line style draws along: the side point it hands the offset (a unit off the first leg's
// middle, on its right for a positive offset, GEOS's negative side) on an L and a zig-zag.
TEST_F(CurveOffsetsOracle, OffsetLineStylePathsAgreeWithGeosMitre) {
  const std::vector<GPosition> ell = {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}};
  const std::vector<GPosition> zigzag = {{0, 0, 0}, {4, 3, 0}, {8, 0, 0}, {12, 3, 0}, {16, 0, 0}, {19, 5, 0}};
  const struct {
    const std::vector<GPosition>* points;
    double offset;
  } rows[] = {{&ell, 1.0}, {&ell, -1.0}, {&ell, 3.25}, {&zigzag, 0.5}, {&zigzag, -0.75}, {&zigzag, -1.2}};
  for (const auto& row : rows) {
    const std::vector<GPosition>& points = *row.points;
    std::vector<double> p, k = {0};
    for (std::size_t i = 0; i < points.size(); ++i) {
      p.insert(p.end(), {points[i].x, points[i].y, 0.0});
      k.push_back(static_cast<double>(i));
    }
    k.push_back(static_cast<double>(points.size() - 1));
    const std::vector<double> peer = geos_offset(TestCurve(2, p, k), -row.offset, false);
    GTypedCurve ls = LineString(points), out;
    ASSERT_EQ(Offset(ls, OffsetSidePoint(points[0], points[1], row.offset), std::fabs(row.offset), &out),
              kCurveLineString)
        << row.offset;
    const GLineString& r = Rec<GLineString>(out);
    ASSERT_EQ(2 * static_cast<std::size_t>(r.numPoints), peer.size()) << row.offset;
    for (std::uint32_t i = 0; i < r.numPoints; ++i) {
      EXPECT_NEAR(r.pPoints[i].x, peer[2 * i], 1e-9) << row.offset << " point " << i;
      EXPECT_NEAR(r.pPoints[i].y, peer[2 * i + 1], 1e-9) << row.offset << " point " << i;
    }
    Free(out);
    Free(ls);
  }
}

// Clamped cubics (a third of them rational) along gentle random walks in a random plane, offset by half their
// least radius of curvature, so that no offset loops; the side point just off the middle, either side.
TEST_F(CurveOffsetsOracle, BsplineCurvesLieOnTheExactOffset) {
  for (int trial = 0; trial < 12; ++trial) {
    const Frame f = RandomFrame();
    const int n = 4 + trial % 6;
    std::vector<double> p, knots = {0, 0, 0, 0}, weights;
    std::vector<GPosition> poles;
    double angle = Uniform(-kPi, kPi), x = 0, y = 0;
    for (int i = 0; i < n; ++i) {
      const GPosition q = f.At(x, y);
      poles.push_back(q);
      p.insert(p.end(), {q.x, q.y, q.z});
      if (trial % 3 == 2) weights.push_back(Uniform(0.8, 1.25));
      angle += Uniform(-0.5, 0.5);
      x += std::cos(angle), y += std::sin(angle);
    }
    for (int i = 1; i <= n - 4; ++i) knots.push_back(i);
    knots.insert(knots.end(), 4, n - 3);
    const TestCurve tc(4, p, knots, weights);
    const OcctCurve base(tc);
    double least = INFINITY;
    for (int i = 0; i <= 400; ++i) {
      gp_Pnt q;
      gp_Vec v1, v2;
      base.cv->D2((n - 3.0) * i / 400, q, v1, v2);
      least = std::fmin(least, std::pow(v1.Magnitude(), 3) / v1.Crossed(v2).Magnitude());
    }
    const double d = std::fmin(0.5, 0.5 * least);
    gp_Pnt mid;
    gp_Vec t;
    base.cv->D1((n - 3) / 2.0, mid, t);
    const gp_Vec right = t.Crossed(gp_Vec(f.n.x, f.n.y, f.n.z)).Normalized();  // where the peer's offset goes
    GTypedCurve in = Bspline(4, poles, knots, weights);
    for (double toRight : {1.0, -1.0})
      for (double dist : {d, -d}) {
        const GPosition side{mid.X() + 0.1 * toRight * right.X(), mid.Y() + 0.1 * toRight * right.Y(),
                             mid.Z() + 0.1 * toRight * right.Z()};
        GTypedCurve out;
        ASSERT_EQ(Offset(in, side, dist, &out), kCurveBspline) << trial;
        ExpectAtTheExactOffset(out, base.cv, (dist > 0 ? toRight : -toRight) * d, f.n, false, "cubic ", trial);
        Free(out);
      }
    Free(in);
  }
}

// Ellipses of ratio 0.2 to 0.9 in random planes: outwards by up to 1, inwards by up to 0.8 of the least radius of
// curvature (b^2 / a, where an inward offset starts to form cusps); the side point outside or inside, and a
// negative distance turning it round.
TEST_F(CurveOffsetsOracle, EllipsesLieOnTheExactOffset) {
  for (int trial = 0; trial < 12; ++trial) {
    const Frame f = RandomFrame();
    const double a = Uniform(1, 5), ratio = Uniform(0.2, 0.9), b = a * ratio;
    const GUnitVector normal(f.n.x, f.n.y, f.n.z);
    GTypedCurve in = Ellipse(f.o, normal, f.e1 * a, ratio);
    Handle(Geom_Curve) base = new Geom_Ellipse(
        gp_Elips(gp_Ax2(Pnt(f.o), gp_Dir(f.n.x, f.n.y, f.n.z), gp_Dir(f.e1.x, f.e1.y, f.e1.z)), a, b));
    const double outwards = Uniform(0.05, 1.0), inwards = Uniform(0.05, 0.8) * b * b / a;
    for (bool inside : {false, true})
      for (double sign : {1.0, -1.0}) {
        const GPosition side = inside ? f.At(0, 0.3 * b) : f.At(2 * a, 0);
        const bool out_going = inside == (sign < 0);
        const double dist = sign * (out_going ? outwards : inwards);
        GTypedCurve out;
        ASSERT_EQ(Offset(in, side, dist, &out), kCurveBspline) << trial;
        // The peer's offset about the ellipse's normal goes outwards.
        ExpectAtTheExactOffset(out, base, out_going ? outwards : -inwards, f.n, true, "ellipse ", trial);
        Free(out);
      }
    Free(in);
  }
}

}  // namespace

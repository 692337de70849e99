// Library curves back as typed curves: circles and ellipses recognised from degenerate, damaged, raised-order
// and round-trip curves; two-point lines at the working domain's edge; B-spline records with vanishing weights
// or a scope the geometry library cannot tell; the dispatch failing at every allocation.
#include <algorithm>
#include <cmath>
#include <vector>

#include "bspline/core/test_support.h"
#include "bspline/knots.h"
#include "tests/bspline/curve_fixtures.h"
#include "tests/geometry/typed_curve_builders.h"

namespace {

using namespace tcb;
using V = std::vector<double>;

class Recognition : public TypedCurves {};

const double kW = std::sqrt(0.5), kNaN = std::nan(""), kH = 5e-4, kFar = 3e5;
const V kBezier = {0, 0, 0, 1, 1, 1};
// The quarter circle about (1, 2, 0) of radius 2 from (3, 2, 0) to (1, 4, 0).
const V kQuarter = {3, 2, 0, 3, 4, 0, 1, 4, 0};

// The quarter circle raised to order 5 through its weighted coordinates (x w, y w, z w, w).
TestCurve RaisedQuarter() {
  const double in[12] = {3, 3 * kW, 1, 2, 4 * kW, 4, 0, 0, 0, 1, kW, 1};
  double out[20];
  BSincordbz(2, 4, in, 4, out);
  V p, w(out + 15, out + 20);
  for (int i = 0; i < 5; ++i)
    for (int c = 0; c < 3; ++c) p.push_back(out[5 * c + i] / w[i]);
  return TestCurve(5, p, {0, 0, 0, 0, 0, 1, 1, 1, 1, 1}, w);
}

TEST_F(Recognition, ConicsAreRecognisedAndEverythingElseRefused) {
  const TestCurve raised = RaisedQuarter();
  struct Case {
    const char* what;
    int order;
    V poles, knots, weights;
    bool arc;  // IMIcvGAr, else IMIcvGEl
    int rc;
    GPosition centre{};
    double radius = 0, normalZ = 0, end = 0;  // the start angle is 0
  };
  const V circle = {1, 0, 0, 1, 1, 0, 0, 1, 0, -1, 1, 0, -1, 0, 0, -1, -1, 0, 0, -1, 0, 1, -1, 0, 1, 0, 0};
  const V circleKnots = {0, 0, 0, .25, .25, .5, .5, .75, .75, 1, 1, 1};
  const V circleWeights = {1, kW, 1, kW, 1, kW, 1, kW, 1};
  const std::vector<Case> cases = {
      {"quarter circle", 3, kQuarter, kBezier, {1, kW, 1}, true, 0, {1, 2, 0}, 2, 1, kPi / 2},
      {"quarter circle backwards", 3, {1, 4, 0, 3, 4, 0, 3, 2, 0}, kBezier, {1, kW, 1}, true, 0, {1, 2, 0}, 2, -1,
       kPi / 2},
      {"quarter circle raised to order 5", 5, {}, {}, {}, true, 0, {1, 2, 0}, 2, 1, kPi / 2},
      {"whole circle whose ends only meet", 3, circle, circleKnots, circleWeights, true, 0, {0, 0, 0}, 1, 1, 2 * kPi},
      {"the whole circle as an ellipse", 3, circle, circleKnots, circleWeights, false, 0, {0, 0, 0}, 1, 1, 0},
      {"hyperbola", 3, {0, 0, 0, 1, 1, 0, 2, 0, 0}, kBezier, {1, 2, 1}, true, 5},
      {"rational order 5 off any conic", 5, {0, 0, 0, 1, 2, 0, 2, -1, 0, 3, 3, 0, 4, 0, 0},
       {0, 0, 0, 0, 0, 1, 1, 1, 1, 1}, {1, 2, 1, 2, 1}, true, 5},
      {"second span on another circle", 3, {1, 0, 0, 1, 1, 0, 0, 1, 0, -2, 1, 0, -2, -1, 0}, {0, 0, 0, .5, .5, 1, 1, 1},
       {1, kW, 1, kW, 1}, true, 10},
      {"centre 3e5 away from a flat arc", 3,
       {kFar, 0, 0, kFar, kFar * std::tan(kH), 0, kFar * std::cos(2 * kH), kFar * std::sin(2 * kH), 0}, kBezier,
       {1, std::cos(kH), 1}, true, 4},
      {"NaN pole", 3, {3, 2, 0, kNaN, 4, 0, 1, 4, 0}, kBezier, {1, kW, 1}, true, 5},
      {"all poles at one point", 3, {1, 1, 1, 1, 1, 1, 1, 1, 1}, kBezier, {1, kW, 1}, true, 1},
  };
  for (const Case& c : cases) {
    const TestCurve made(c.order, c.poles, c.knots, c.weights);
    GArc ar{};
    ar.startAngle = ar.endAngle = -7;
    int rc = -1;
    const VOQbsp_curve* cv = c.poles.empty() ? &raised.cv : &made.cv;
    if (c.arc)
      IMIcvGAr(cv, &ar, &rc);
    else
      IMIcvGEl(cv, &ar, &rc);
    ASSERT_EQ(rc, c.rc) << c.what;
    EXPECT_GT(ar.majorAxis.Length(), rc == 0 || rc == 10 ? 0.9 : -1.0) << c.what << ": the record is kept";
    if (rc != 0) continue;
    EXPECT_LT(Distance(ar.center, c.centre), 1e-12) << c.what;
    EXPECT_NEAR(ar.majorAxis.Length(), c.radius, 1e-12) << c.what;
    EXPECT_EQ(ar.minorMajorRatio, 1.0) << c.what;
    EXPECT_NEAR(ar.normal.z, c.normalZ, 1e-12) << c.what;
    EXPECT_NEAR(ar.startAngle, c.arc ? 0 : -7, 1e-12) << c.what;
    EXPECT_NEAR(ar.endAngle, c.arc ? c.end : -7, 1e-12) << c.what;
  }
  // Each library allocation of the reduction failing in turn: a failure, and nothing left behind (TearDown).
  for (int failAt = 1;; ++failAt) {
    BSallocfailat(failAt);
    GArc ar{};
    int rc = -1;
    IMIcvGAr(&raised.cv, &ar, &rc);
    const bool reached = BSallocfailpending() == 0;
    BSallocfailat(0);
    if (!reached) break;
    EXPECT_TRUE(rc == 6 || rc == 1) << failAt << ": " << rc;
  }
}

TEST_F(Recognition, ArcsComeBackFromTheirBsplineForm) {
  struct Case {
    double ratio, start, end, normalZ;
  };
  const std::vector<Case> cases = {{1.0, 0.5, 2.0, 1}, {0.4, 5.5, 0.7, -1},           {0.4, -1.0, 0.2, 1},
                                   {0.3, 1.0, 1.0 + 2 * kPi, 1}, {1.0, 3.0, 2.9, -1}};
  for (const Case& c : cases) {
    const GArc in{{{1, -2, 3}, {0, 0, c.normalZ}, {0, 3, 0}, c.ratio}, c.start, c.end};
    VOQbsp_curve* cv = nullptr;
    GTypedCurve tc{};
    int rc = -1;
    IMGArIcv(&in, &cv, &rc);
    IMIcvGTC(cv, kCurveArc, &tc, &rc);
    Free(cv);
    ASSERT_EQ(rc, 0) << c.start;
    const GArc& out = Rec<GArc>(tc);
    GPosition s0, e0, s1, e1;
    double l0 = 0, l1 = 0;
    IMGGArEPts(&in, &s0, &e0, &rc);
    IMGGArEPts(&out, &s1, &e1, &rc);
    IMGGArL(&in, &l0, &rc);
    IMGGArL(&out, &l1, &rc);
    EXPECT_LT(Distance(s0, s1) + Distance(e0, e1) + Distance(out.center, in.center), 1e-12) << c.start;
    EXPECT_NEAR(out.majorAxis.Length() * std::min(1.0, out.minorMajorRatio), 3 * c.ratio, 1e-12) << c.start;
    EXPECT_NEAR(l0, l1, 1e-9) << c.start;
    Free(tc);
  }
  const GEllipse el{{1, 2, 3}, {0, 0, 1}, {2, 0, 0}, 0.5};
  GBspCurve bsp{};
  int rc = -1;
  IMEl3dCv3d(&el, &bsp, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(bsp.numPoles * 100 + bsp.numKnots * 10 + bsp.rational, 7u * 100 + 10u * 10 + 1u);
  IMGCvFree(&bsp, &rc);
}

TEST_F(Recognition, TwoPointLinesAtTheWorkingDomainsEdge) {
  struct Case {
    GPosition p0, p1;
    int rc;
    GPosition root;
    GVector direction;
    double half;
  };
  const std::vector<Case> cases = {
      {{0, 0, 0}, {2, 0, 0}, 0, {1, 0, 0}, {1, 0, 0}, 1},
      {{1, 2, 3}, {1, 2, 3 + 1e-7}, 0, {1, 2, 3}, {0, 0, 1}, 0},
      {{-2e6, 0, 0}, {-2e6 + 2, 0, 0}, 10, {-2e6 + 1, 0, 0}, {1, 0, 0}, 1},
      {{2e6, 0, 0}, {2e6 - 2, 0, 0}, 10, {2e6 - 1, 0, 0}, {-1, 0, 0}, 1},
      {{0, -6e5, 0}, {0, 6e5, 0}, 10, {0, 0, 0}, {0, 1, 0}, 6e5},
      {{0, 0, 0}, {kNaN, 0, 0}, 5, {9, 9, 9}, {9, 9, 9}, -9},
      {{0, 0, 0}, {INFINITY, 0, 0}, 5, {9, 9, 9}, {9, 9, 9}, -9},
  };
  for (const Case& c : cases) {
    GLine ln{{9, 9, 9}, {}, 9, -9};
    ln.direction.x = ln.direction.y = ln.direction.z = 9;
    int rc = -1;
    IMGLn2Pts(&c.p0, &c.p1, &ln, &rc);
    EXPECT_EQ(rc, c.rc) << c.p1.x;
    EXPECT_LT(Distance(ln.rootPoint, c.root) + (GVector(ln.direction) - c.direction).Length(), 1e-9) << c.p1.x;
    EXPECT_NEAR(ln.start, -c.half, 1e-9) << c.p1.x;
    EXPECT_NEAR(ln.end, c.half, 1e-9) << c.p1.x;
  }
}

TEST_F(Recognition, BsplineRecordsFromDamagedAndRationalCurves) {
  struct Case {
    double weight1, pole1;
    const char* failing;  // a geometry library service
    int rc;
    std::uint8_t scope = 0;
  };
  const std::vector<Case> cases = {{kW, 4, nullptr, 0, 1},  {kW, 4, "GeomScopeOfPoles", 0, 4},
                                   {kW, 4, "GeomFormFromScope", 1}, {0.0, 4, nullptr, 11},
                                   {kNaN, 4, nullptr, 5},   {kW, kNaN, nullptr, 5}};
  for (const Case& c : cases) {
    const TestCurve curve(3, {3, 2, 0, 3, c.pole1, 0, 1, 4, 0}, kBezier, {1, c.weight1, 1});
    if (c.failing) {
      EXPECT_TRUE(QnGeomFailService(c.failing));
    }
    GBspCurve out{};
    int rc = -1;
    IMIcvGCv(&curve.cv, &out, &rc);
    const char* what = c.failing ? c.failing : "no failing service";
    EXPECT_EQ(rc, c.rc) << c.weight1 << " " << c.pole1 << " " << what;
    if (rc == 0) {
      EXPECT_EQ(out.scope, c.scope) << what;
      EXPECT_EQ(out.length, -1.0);
      EXPECT_TRUE(out.properties == 0 && out.curve == nullptr && out.rational == 1 && out.numKnots == 6);
      EXPECT_EQ(out.pWeights[1], kW);
      EXPECT_LT(Distance(out.pPoles[1], {3, 4, 0}), 1e-15);
    }
    IMGCvFree(&out, &rc);
    QnGeomReset();
  }
}

TEST_F(Recognition, DispatchByTypeLeavesAnEmptyResultOnEveryFailure) {
  const TestCurve quarter(3, kQuarter, kBezier, {1, kW, 1});
  // Type asked for, type made; a whole ellipse's length misses the quarter's: rc 10, a failure here.
  const std::vector<std::pair<int, int>> cases = {{3, 3}, {4, 4}, {12, 27}, {15, 15}, {16, 16}, {27, 27}, {150, 27}};
  for (auto [asked, made] : cases) {
    for (int failAt = 1;; ++failAt) {
      QnGeomFailAllocAt(failAt);
      GTypedCurve tc{&failAt, 0};
      int rc = -1;
      IMIcvGTC(&quarter.cv, static_cast<std::uint8_t>(asked), &tc, &rc);
      QnGeomFailAllocAt(0);
      EXPECT_EQ(tc.type, made) << asked;
      if (rc == 0) {
        Free(tc);
        break;
      }
      EXPECT_EQ(tc.pCurve, nullptr) << asked << " failing at " << failAt;
      EXPECT_EQ(rc, made == 15 && failAt > 1 ? 10 : 6) << asked << " failing at " << failAt;
      if (rc != 6) break;
    }
  }
}

}  // namespace

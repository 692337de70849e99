// Library curves back as typed curves: two-point lines at the working domain's edge, B-spline records with
// vanishing weights or a scope the geometry library cannot tell, the dispatch failing at every allocation, and
// circles and ellipses recognised from degenerate, damaged, raised-order and round-trip curves.
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bspline/knots.h"
#include "tests/bspline/curve_fixtures.h"
#include "tests/geometry/typed_curve_builders.h"

namespace {

using namespace tcb;

class Recognition : public TypedCurves {};

const double kW = std::sqrt(0.5);
const double kNaN = std::nan("");

// The quarter circle about (1, 2, 0) of radius 2 from (3, 2, 0) to (1, 4, 0), or back.
std::unique_ptr<TestCurve> Quarter(bool back = false) {
  std::vector<double> p = {3, 2, 0, 3, 4, 0, 1, 4, 0};
  if (back) p = {1, 4, 0, 3, 4, 0, 3, 2, 0};
  return std::make_unique<TestCurve>(3, p, std::vector<double>{0, 0, 0, 1, 1, 1}, std::vector<double>{1, kW, 1});
}

// The quarter circle raised to order 5 through its weighted coordinates.
std::unique_ptr<TestCurve> RaisedQuarter() {
  const double in[12] = {3, 3 * kW, 1, 2, 4 * kW, 4, 0, 0, 0, 1, kW, 1};  // x w, y w, z w, w
  double out[20];
  BSincordbz(2, 4, in, 4, out);
  std::vector<double> p, w(out + 15, out + 20);
  for (int i = 0; i < 5; ++i)
    for (int c = 0; c < 3; ++c) p.push_back(out[5 * c + i] / w[i]);
  return std::make_unique<TestCurve>(5, p, std::vector<double>{0, 0, 0, 0, 0, 1, 1, 1, 1, 1}, w);
}

TEST_F(Recognition, ConicsAreRecognisedAndEverythingElseRefused) {
  struct Case {
    const char* what;
    std::function<std::unique_ptr<TestCurve>()> make;
    bool arc;  // IMIcvGAr, else IMIcvGEl
    int rc;
    GPosition centre{};
    double radius = 0, normalZ = 0, start = 0, end = 0;
  };
  const std::vector<Case> cases = {
      {"quarter circle", [] { return Quarter(); }, true, 0, {1, 2, 0}, 2, 1, 0, kPi / 2},
      {"quarter circle backwards", [] { return Quarter(true); }, true, 0, {1, 2, 0}, 2, -1, 0, kPi / 2},
      {"quarter circle raised to order 5", RaisedQuarter, true, 0, {1, 2, 0}, 2, 1, 0, kPi / 2},
      {"whole circle whose ends only meet",
       [] {
         return std::make_unique<TestCurve>(
             3, std::vector<double>{1, 0, 0, 1, 1, 0, 0, 1, 0, -1, 1, 0, -1, 0, 0, -1, -1, 0, 0, -1, 0, 1, -1, 0, 1, 0, 0},
             std::vector<double>{0, 0, 0, .25, .25, .5, .5, .75, .75, 1, 1, 1},
             std::vector<double>{1, kW, 1, kW, 1, kW, 1, kW, 1});
       },
       true, 0, {0, 0, 0}, 1, 1, 0, 2 * kPi},
      {"the whole circle as an ellipse", nullptr, false, 0, {0, 0, 0}, 1, 1, 0, 0},
      {"parabola",
       [] { return std::make_unique<TestCurve>(3, std::vector<double>{0, 0, 0, 1, 1, 0, 2, 0, 0}, std::vector<double>{0, 0, 0, 1, 1, 1}, std::vector<double>{1, 1, 1}); },
       true, 5},
      {"hyperbola",
       [] { return std::make_unique<TestCurve>(3, std::vector<double>{0, 0, 0, 1, 1, 0, 2, 0, 0}, std::vector<double>{0, 0, 0, 1, 1, 1}, std::vector<double>{1, 2, 1}); },
       true, 5},
      {"rational order 5 off any conic",
       [] { return std::make_unique<TestCurve>(5, std::vector<double>{0, 0, 0, 1, 2, 0, 2, -1, 0, 3, 3, 0, 4, 0, 0}, std::vector<double>{0, 0, 0, 0, 0, 1, 1, 1, 1, 1}, std::vector<double>{1, 2, 1, 2, 1}); },
       true, 5},
      {"second span on another circle",
       [] {
         return std::make_unique<TestCurve>(3, std::vector<double>{1, 0, 0, 1, 1, 0, 0, 1, 0, -2, 1, 0, -2, -1, 0},
                                            std::vector<double>{0, 0, 0, .5, .5, 1, 1, 1}, std::vector<double>{1, kW, 1, kW, 1});
       },
       true, 10},
      {"centre 3e5 away from a flat arc",
       [] {
         const double R = 3e5, h = 5e-4;
         return std::make_unique<TestCurve>(3, std::vector<double>{R, 0, 0, R, R * std::tan(h), 0, R * std::cos(2 * h), R * std::sin(2 * h), 0},
                                            std::vector<double>{0, 0, 0, 1, 1, 1}, std::vector<double>{1, std::cos(h), 1});
       },
       true, 4},
      {"NaN pole",
       [] { return std::make_unique<TestCurve>(3, std::vector<double>{3, 2, 0, kNaN, 4, 0, 1, 4, 0}, std::vector<double>{0, 0, 0, 1, 1, 1}, std::vector<double>{1, kW, 1}); },
       true, 5},
      {"all poles at one point",
       [] { return std::make_unique<TestCurve>(3, std::vector<double>{1, 1, 1, 1, 1, 1, 1, 1, 1}, std::vector<double>{0, 0, 0, 1, 1, 1}, std::vector<double>{1, kW, 1}); },
       true, 1},
  };
  std::function<std::unique_ptr<TestCurve>()> last;
  for (const Case& c : cases) {
    if (c.make) last = c.make;
    const std::unique_ptr<TestCurve> curve = last();
    GArc ar{};
    ar.startAngle = ar.endAngle = -7;
    int rc = -1;
    if (c.arc)
      IMIcvGAr(&curve->cv, &ar, &rc);
    else
      IMIcvGEl(&curve->cv, &ar, &rc);
    ASSERT_EQ(rc, c.rc) << c.what;
    if (rc == 10) {
      EXPECT_GT(ar.majorAxis.Length(), 0.9) << c.what << ": the record is kept";
    }
    if (rc != 0) continue;
    EXPECT_LT(Distance(ar.center, c.centre), 1e-12) << c.what;
    EXPECT_NEAR(ar.majorAxis.Length(), c.radius, 1e-12) << c.what;
    EXPECT_EQ(ar.minorMajorRatio, 1.0) << c.what;
    EXPECT_NEAR(ar.normal.z, c.normalZ, 1e-12) << c.what;
    EXPECT_NEAR(ar.startAngle, c.arc ? c.start : -7, 1e-12) << c.what;
    EXPECT_NEAR(ar.endAngle, c.arc ? c.end : -7, 1e-12) << c.what;
  }
  // Each library allocation of the reduction failing in turn: a failure, and nothing left behind (TearDown).
  const std::unique_ptr<TestCurve> raised = RaisedQuarter();
  for (int failAt = 1;; ++failAt) {
    BSallocfailat(failAt);
    GArc ar{};
    int rc = -1;
    IMIcvGAr(&raised->cv, &ar, &rc);
    const bool reached = BSallocfailpending() == 0;
    BSallocfailat(0);
    if (!reached) break;
    EXPECT_TRUE(rc == 6 || rc == 1) << failAt << ": " << rc;
  }
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
      {{-2e6, 0, 0}, {0, 0, 0}, 10, {-1e6, 0, 0}, {1, 0, 0}, 1e6},
      {{2e6, 0, 0}, {0, 0, 0}, 10, {1e6, 0, 0}, {-1, 0, 0}, 1e6},
      {{0, 0, 0}, {kNaN, 0, 0}, 5, {9, 9, 9}, {9, 9, 9}, 9},
      {{0, 0, 0}, {INFINITY, 0, 0}, 5, {9, 9, 9}, {9, 9, 9}, 9},
  };
  for (const Case& c : cases) {
    GLine ln{{9, 9, 9}, {}, 9, 9};
    ln.direction.x = ln.direction.y = ln.direction.z = 9;
    int rc = -1;
    IMGLn2Pts(&c.p0, &c.p1, &ln, &rc);
    EXPECT_EQ(rc, c.rc) << c.p1.x;
    EXPECT_LT(Distance(ln.rootPoint, c.root), 1e-9) << c.p1.x;
    EXPECT_LT((GVector(ln.direction) - c.direction).Length(), 1e-15) << c.p1.x;
    EXPECT_NEAR(ln.start, rc == 5 ? 9 : -c.half, 1e-9) << c.p1.x;
    EXPECT_NEAR(ln.end, c.half, 1e-9) << c.p1.x;
  }
}

TEST_F(Recognition, BsplineRecordsFromDamagedAndRationalCurves) {
  struct Case {
    const char* what;
    double weight1;
    double pole1;
    const char* failing;  // a geometry library service
    int rc;
    std::uint8_t scope;
  };
  const std::vector<Case> cases = {
      {"rational", kW, 4, nullptr, 0, 1},
      {"scope unknown to the library", kW, 4, "GeomScopeOfPoles", 0, 4},
      {"form unknown to the library", kW, 4, "GeomFormFromScope", 1, 0},
      {"zero weight", 0.0, 4, nullptr, 11, 0},
      {"weight NaN", kNaN, 4, nullptr, 5, 0},
      {"pole NaN", kW, kNaN, nullptr, 5, 0},
  };
  for (const Case& c : cases) {
    const TestCurve curve(3, {3, 2, 0, 3, c.pole1, 0, 1, 4, 0}, {0, 0, 0, 1, 1, 1}, {1, c.weight1, 1});
    if (c.failing) {
      ASSERT_TRUE(QnGeomFailService(c.failing));
    }
    GBspCurve out{};
    out.length = 5;
    int rc = -1;
    IMIcvGCv(&curve.cv, &out, &rc);
    EXPECT_EQ(rc, c.rc) << c.what;
    if (rc == 0) {
      EXPECT_EQ(out.scope, c.scope) << c.what;
      EXPECT_EQ(out.length, -1.0);
      EXPECT_EQ(out.properties, 0);
      EXPECT_EQ(out.curve, nullptr);
      ASSERT_EQ(out.rational, 1u);
      EXPECT_EQ(out.pWeights[1], kW);
      EXPECT_LT(Distance(out.pPoles[1], {3, 4, 0}), 1e-15);
      EXPECT_EQ(out.numKnots, 6u);
    }
    IMGCvFree(&out, &rc);
    QnGeomReset();
  }
}

TEST_F(Recognition, DispatchByTypeLeavesAnEmptyResultOnEveryFailure) {
  const std::unique_ptr<TestCurve> quarter = Quarter();
  // Type asked for, type made (a whole ellipse's length misses the quarter's: rc 10, a failure here).
  const std::vector<std::pair<int, int>> cases = {{3, 3}, {4, 4}, {12, 27}, {15, 15}, {16, 16}, {27, 27}, {150, 27}};
  for (auto [asked, made] : cases) {
    for (int failAt = 1;; ++failAt) {
      QnGeomFailAllocAt(failAt);
      GTypedCurve tc{reinterpret_cast<void*>(1), 0};
      int rc = -1;
      IMIcvGTC(&quarter->cv, static_cast<std::uint8_t>(asked), &tc, &rc);
      QnGeomFailAllocAt(0);
      EXPECT_EQ(tc.type, made) << asked;
      if (rc == 0 && made != 15) {
        ASSERT_NE(tc.pCurve, nullptr);
        Free(tc);
        break;
      }
      EXPECT_EQ(tc.pCurve, nullptr) << asked << " failing at " << failAt;
      EXPECT_EQ(rc, made == 15 && failAt > 1 ? 10 : 6) << asked << " failing at " << failAt;
      if (rc != 6) break;
    }
  }
}

TEST_F(Recognition, EllipsesAndArcsComeBackFromTheirBsplineForm) {
  struct Case {
    double ratio, start, end, normalZ;
  };
  const std::vector<Case> cases = {{1.0, 0.5, 2.0, 1},  {0.4, 0.5, 2.0, 1},  {0.4, 5.5, 0.7, -1},
                                   {0.4, -1.0, 0.2, 1}, {0.3, 1.0, 1.0 + 2 * kPi, 1}, {1.0, 3.0, 2.9, -1}};
  for (const Case& c : cases) {
    const GArc in{{{1, -2, 3}, {0, 0, c.normalZ}, {0, 3, 0}, c.ratio}, c.start, c.end};
    VOQbsp_curve* cv = nullptr;
    int rc = -1;
    IMGArIcv(&in, &cv, &rc);
    ASSERT_EQ(rc, 0);
    GTypedCurve tc{};
    IMIcvGTC(cv, kCurveArc, &tc, &rc);
    Free(cv);
    ASSERT_EQ(rc, 0) << c.start;
    const GArc& out = Rec<GArc>(tc);
    GPosition s0, e0, s1, e1;
    IMGGArEPts(&in, &s0, &e0, &rc);
    IMGGArEPts(&out, &s1, &e1, &rc);
    EXPECT_LT(Distance(s0, s1), 1e-12) << c.start;
    EXPECT_LT(Distance(e0, e1), 1e-12) << c.start;
    EXPECT_LT(Distance(out.center, in.center), 1e-12) << c.start;
    EXPECT_NEAR(out.majorAxis.Length() * std::min(1.0, out.minorMajorRatio), 3 * c.ratio, 1e-12) << c.start;
    double l0 = 0, l1 = 0;
    IMGGArL(&in, &l0, &rc);
    IMGGArL(&out, &l1, &rc);
    EXPECT_NEAR(l0, l1, 1e-9) << c.start;
    Free(tc);
  }
  GBspCurve bsp{};
  int rc = -1;
  IMEl3dCv3d(&static_cast<const GEllipse&>(GArc{{{1, 2, 3}, {0, 0, 1}, {2, 0, 0}, 0.5}, 0, 0}), &bsp, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(bsp.numPoles, 7u);
  EXPECT_EQ(bsp.numKnots, 10u);
  EXPECT_EQ(bsp.rational, 1u);
  IMGCvFree(&bsp, &rc);
}

}  // namespace

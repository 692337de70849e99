// Typed curves converted to the B-spline library's curve: the order-2 curves, refusals of unsafe records before
// any allocation, the flags and weighted poles of B-spline records, small conics under narrowed tolerances, and
// complex strings merged over dropped members, with every allocation failing in turn.
#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bspline/core/test_support.h"
#include "tests/geometry/typed_curve_builders.h"

namespace {

using namespace tcb;

class Conversion : public TypedCurves {};

void ExpectPoles(const VOQbsp_curve* cv, const std::vector<GPosition>& poles, const char* what) {
  ASSERT_EQ(cv->num_poles, static_cast<int>(poles.size())) << what;
  for (std::size_t i = 0; i < poles.size(); ++i)
    EXPECT_LT(Distance(Pole(cv, static_cast<int>(i)), poles[i]), 1e-12) << what << " pole " << i;
}

TEST_F(Conversion, LinesAndLineStringsBecomeOrderTwoCurves) {
  struct Case {
    const char* what;
    std::function<GTypedCurve()> make;
    std::vector<GPosition> poles;
    std::vector<double> knots;
  };
  const std::vector<Case> cases = {
      {"a line whose ends coincide", [] { return Make(kCurveLine, GLine{{1, 2, 3}, {0, 0, 1}, 2.0, 2.0}); },
       {{1, 2, 5}, {1, 2, 5}}, {0, 0, 1, 1}},
      {"points that all coincide", [] { return LineString({{1, 1, 1}, {1, 1, 1}, {1, 1, 1 + 1e-7}}); },
       {{1, 1, 1}, {1, 1, 1}}, {0, 0, 1, 1}},
      {"a repeated point", [] { return LineString({{0, 0, 0}, {0, 0, 0}, {3, 0, 0}, {3, 4, 0}}); },
       {{0, 0, 0}, {3, 0, 0}, {3, 4, 0}}, {0, 0, 3.0 / 7, 1, 1}},
  };
  for (const Case& c : cases) {
    GTypedCurve tc = c.make();
    VOQbsp_curve* cv = nullptr;
    int rc = -1;
    IMGTCIcv(&tc, &cv, &rc);
    ASSERT_EQ(rc, 0) << c.what;
    EXPECT_EQ(cv->order, 2) << c.what;
    ExpectPoles(cv, c.poles, c.what);
    ASSERT_EQ(cv->num_knots, static_cast<int>(c.knots.size())) << c.what;
    for (std::size_t i = 0; i < c.knots.size(); ++i) EXPECT_NEAR(cv->knots[i], c.knots[i], 1e-15) << c.what;
    Free(cv);
    Free(tc);
  }
}

TEST_F(Conversion, UnsafeRecordsAreRefusedBeforeAnythingIsAllocated) {
  struct Case {
    const char* what;
    std::function<void(GBspCurve&)> damage;
    bool shape;  // a damaged shape, which evaluation refuses as well
  };
  const std::vector<Case> bsplines = {
      {"no poles", [](GBspCurve& cv) { cv.pPoles = nullptr; }, true},
      {"no knots", [](GBspCurve& cv) { cv.pKnots = nullptr; }, true},
      {"rational without weights", [](GBspCurve& cv) { cv.pWeights = nullptr; }, true},
      {"order 1", [](GBspCurve& cv) { cv.order = 1, cv.numKnots = 5; }, true},
      {"fewer poles than the order", [](GBspCurve& cv) { cv.numPoles = 2, cv.numKnots = 5; }, true},
      {"a knot count that disagrees", [](GBspCurve& cv) { cv.numKnots = 8; }, true},
      {"a NaN knot", [](GBspCurve& cv) { cv.pKnots[3] = NAN; }, false},
      {"decreasing knots", [](GBspCurve& cv) { cv.pKnots[4] = 0.25; }, false},
      {"an infinite pole", [](GBspCurve& cv) { cv.pPoles[1].y = INFINITY; }, false},
      {"a NaN weight", [](GBspCurve& cv) { cv.pWeights[2] = NAN; }, false},
  };
  for (const Case& c : bsplines) {
    GPosition poles[4] = {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {3, 1, 0}};
    double knots[7] = {0, 0, 0, 0.5, 1, 1, 1}, weights[4] = {1, 2, 2, 1};
    GBspCurve damaged{poles, weights, knots, -1.0, 4, 7, 1, nullptr, 3, 1, 1, 0};
    c.damage(damaged);
    BSallocfailat(1);  // a library allocation would turn the answer into 1
    VOQbsp_curve* cv = nullptr;
    int rc = -1;
    IMGCvIcv(&damaged, &cv, &rc);
    EXPECT_TRUE(rc == 5 && !cv && BSallocfailpending() == 1) << c.what;
    BSallocfailat(0);
    GPosition p;
    IMGCvPsPr(&damaged, 0.5, &p, &rc);
    EXPECT_TRUE(rc == 5 || !c.shape) << c.what;
  }

  GPosition point{0, 0, 0};
  GLine line{{0, 0, 0}, {1, 0, 0}, 0, 1};
  GLineString noArray{nullptr, 3, 1, 1}, noPoint{&point, 0, 1, 1};
  GComplexString none{};
  GTypedCurve members[2] = {{&line, kCurveLine}, {&none, kCurveComplexString}};
  GComplexString nested{members, 2, 1, 1};
  GArc pastATurn{{{0, 0, 0}, {0, 0, 1}, {1, 0, 0}, 0.5}, -1.0, 2 * kPi}, library{};
  const GTypedCurve others[] = {{&noArray, kCurveLineString}, {&noPoint, kCurveLineString},
                                {&none, kCurveComplexString}, {&nested, kCurveComplexString},
                                {&pastATurn, kCurveArc},      {&library, kCurveLibrary}};
  for (const GTypedCurve& tc : others) {
    BSallocfailat(1);
    QnGeomFailAllocAt(1);
    VOQbsp_curve* cv = nullptr;
    int rc = -1;
    IMGTCIcv(&tc, &cv, &rc);
    EXPECT_TRUE(rc == 5 && !cv && BSallocfailpending() == 1) << int(tc.type) << " " << rc;
    BSallocfailat(0);
  }
}

TEST_F(Conversion, BsplineRecordsKeepTheirFlagsAndStoreWeightedPoles) {
  struct Case {
    std::uint8_t form, scope;
    std::uint16_t periodic, planar, closed;
  };
  const std::vector<Case> cases = {{6, 1, 1, 1, 1}, {1, 4, 0, 0, 0}, {2, 2, 0, 0, 1}, {0, 3, 0, 0, 0}};
  const std::vector<GPosition> poles = {{0, 0, 0}, {1, 2, 0}, {2, -1, 1}, {3, 0, 2}};
  const std::vector<double> weights = {1, 0.5, 3, 1};
  for (const Case& c : cases) {
    GTypedCurve tc = Bspline(3, poles, {0, 0, 0, 0.4, 1, 1, 1}, weights);
    Rec<GBspCurve>(tc).form = c.form;
    Rec<GBspCurve>(tc).scope = c.scope;
    VOQbsp_curve* cv = nullptr;
    int rc = -1;
    IMGTCIcv(&tc, &cv, &rc);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(cv->periodic, c.periodic);
    EXPECT_EQ(cv->planar, c.planar);
    EXPECT_EQ(cv->phy_closed, c.closed);
    EXPECT_EQ(cv->non_uniform, 1);
    for (int i = 0; i < 4; ++i)
      for (int k = 0; k < 3; ++k) EXPECT_EQ(cv->poles[3 * i + k], poles[i][k] * weights[i]);
    Free(cv);
    Free(tc);
  }
}

void FailEllipseConstruction(const char* lname, int* rc) {
  if (rc && std::strcmp(lname, "bselarptang") == 0) *rc = -2;
}

TEST_F(Conversion, SmallConicsAreBuiltUnderNarrowedTolerancesThatAreRestoredOnEveryPath) {
  struct Case {
    const char* what;
    double minor;
    std::function<void()> arm;
    int rc;
    std::vector<int> calls;  // 0 distance, 1 relative, in the order the library saw them
  };
  const std::vector<Case> cases = {
      {"converts", 5e-7, [] {}, 0, {1, 0, 0, 1}},
      {"construction fails", 5e-7, [] { BSsetfaulthook(FailEllipseConstruction); }, 1, {1, 0, 0, 1}},
      {"distance refused", 5e-7, [] { QnGeomFailService("GeomSetDistTolerance"); }, 1, {1, 0, 1}},
      {"relative refused", 5e-7, [] { QnGeomFailService("GeomSetRelTolerance"); }, 1, {1}},
      {"below the relative tolerance", 1e-11, [] {}, 5, {}},
  };
  const double table1 = BStoltab[bstol::dist_tol], table2 = BStoltab[bstol::dist_sqtol];
  for (const bool slow : {false, true})
    for (const Case& c : cases) {
      const bstest::SlowRoads roads(slow);
      SCOPED_TRACE(slow ? "slow roads" : "short roads");
      QnGeomReset();
      GTypedCurve el = Ellipse({1, 2, 0}, {0, 0, 1}, {1, 0, 0}, c.minor);
      c.arm();
      VOQbsp_curve* cv = nullptr;
      int rc = -1;
      IMGTCIcv(&el, &cv, &rc);
      BSsetfaulthook(nullptr);
      EXPECT_EQ(rc, c.rc) << c.what;
      EXPECT_EQ(cv != nullptr, c.rc == 0) << c.what;
      std::vector<int> calls;
      for (int i = 0, which = 0; i < QnGeomToleranceCallCount(); ++i) {
        double value = 0;
        int callRc = 0;
        QnGeomToleranceCall(i, &which, &value, &callRc);
        calls.push_back(which);
      }
      EXPECT_EQ(calls, c.calls) << c.what;
      EXPECT_EQ(QnGeomDistTolerance(), 1e-6) << c.what;
      EXPECT_EQ(QnGeomRelTolerance(), 1e-10) << c.what;
      EXPECT_EQ(BStoltab[bstol::dist_tol], table1) << c.what;
      EXPECT_EQ(BStoltab[bstol::dist_sqtol], table2) << c.what;
      for (int i = 0; cv && i <= 12; ++i) {
        const GPosition p = Evaluate(cv, i / 12.0);
        EXPECT_NEAR(std::pow(p.x - 1, 2) + std::pow((p.y - 2) / c.minor, 2), 1.0, 1e-8) << c.what << " " << i;
      }
      Free(cv);
      Free(el);
    }
}

GTypedCurve RationalLine(GPosition a, GPosition b, double wa, double wb) {
  return Bspline(2, {a, b}, {0, 0, 1, 1}, {wa, wb});
}

TEST_F(Conversion, ComplexStringsMergeAcrossDroppedMembers) {
  const GPosition gapStart{1, 0, 0}, gapMid{1 + 4e-7, 0, 0}, gapEnd{1 + 8e-7, 0, 0};
  struct Case {
    const char* what;
    std::function<GTypedCurve()> make;
    std::vector<GPosition> poles;
  };
  const std::vector<Case> cases = {
      {"a gap closed at its midpoint",
       [&] { return Complex({Line({0, 0, 0}, gapStart), Line(gapMid, gapMid), Line(gapEnd, {2, 1, 0})}); },
       {{0, 0, 0}, gapMid, {2, 1, 0}}},
      {"the same with rational members",
       [&] {
         return Complex({RationalLine({0, 0, 0}, gapStart, 2, 3), Line(gapMid, gapMid),
                         RationalLine(gapEnd, {2, 1, 0}, 4, 5)});
       },
       {{0, 0, 0}, gapMid, {2, 1, 0}}},
      {"a dropped first member leaves its start",
       [] { return Complex({Line({-4e-7, 0, 0}, {-4e-7, 0, 0}), RationalLine({0, 0, 0}, {1, 0, 0}, 3, 2),
                            Line({1, 0, 0}, {2, 1, 0})}); },
       {{-4e-7, 0, 0}, {1, 0, 0}, {2, 1, 0}}},
      {"a dropped last member leaves its end",
       [] { return Complex({Line({0, 0, 0}, {1, 0, 0}), RationalLine({1, 0, 0}, {2, 1, 0}, 3, 2),
                            Line({2, 1 + 4e-7, 0}, {2, 1 + 4e-7, 0})}); },
       {{0, 0, 0}, {1, 0, 0}, {2, 1 + 4e-7, 0}}},
      // A chain that comes back to its start, at its first member or later, still takes the members after it.
      {"a first member that comes back to its start",
       [] { return Complex({LineString({{0, 0, 0}, {0, 1, 0}, {0, 0, 0}}), Line({0, 0, 0}, {2, 0, 0})}); },
       {{0, 0, 0}, {0, 1, 0}, {0, 0, 0}, {2, 0, 0}}},
      {"a chain round to its start before its last member",
       [] { return Complex({Line({0, 0, 0}, {1, 0, 0}), Line({1, 0, 0}, {0, 0, 0}), Line({0, 0, 0}, {0, 1, 0})}); },
       {{0, 0, 0}, {1, 0, 0}, {0, 0, 0}, {0, 1, 0}}},
      // Unclamped, the member ends at (5, 1), midway between its last two poles: it is clamped before the dropped
      // member's end is put on its last pole.
      {"an unclamped member before a dropped last member",
       [] {
         return Complex({Bspline(3, {{0, 0, 0}, {2, 2, 0}, {4, 0, 0}, {6, 2, 0}}, {0, 1, 2, 3, 4, 5, 6}),
                         Line({5, 1, 0}, {5, 1, 0})});
       },
       {{1, 1, 0}, {2, 2, 0}, {4, 0, 0}, {5, 1, 0}}},
      {"one member kept", [] { return Complex({Line({0, 0, 0}, {0, 0, 0}), Line({0, 0, 0}, {0, 3, 0})}); },
       {{0, 0, 0}, {0, 3, 0}}},
      {"every member dropped", [] { return Complex({Line({5, 0, 0}, {5, 0, 0}), Line({5, 0, 0}, {5, 0, 0})}); },
       {{5, 0, 0}, {5, 0, 0}}},
  };
  for (const Case& c : cases) {
    GTypedCurve cs = c.make();
    VOQbsp_curve* cv = nullptr;
    int rc = -1;
    IMGTCIcv(&cs, &cv, &rc);
    ASSERT_EQ(rc, 0) << c.what;
    ExpectPoles(cv, c.poles, c.what);
    EXPECT_EQ(cv->knots[cv->order - 1], 0.0) << c.what;
    EXPECT_EQ(cv->knots[cv->num_poles], 1.0) << c.what;
    Free(cv);
    Free(cs);
  }
}

TEST_F(Conversion, EveryFailedAllocationLeavesNothingBehind) {
  GTypedCurve cs = Complex({Line({0, 0, 0}, {1, 0, 0}), Line({1, 0, 0}, {1, 0, 0}),
                            Arc({1, 1, 0}, {0, 0, 1}, {0, -1, 0}, 1.0, 0, kPi / 2),
                            RationalLine({2, 1, 0}, {2, 2, 0}, 2, 1), LineString({{2, 2, 0}, {3, 3, 0}, {3, 4, 1}})});
  int failing = 1;
  for (int rc = -1; rc != 0 && failing < 200; ++failing) {
    BSallocfailat(failing);
    VOQbsp_curve* cv = nullptr;
    IMGTCIcv(&cs, &cv, &rc);
    BSallocfailat(0);
    EXPECT_TRUE(rc == 0 || rc == 1 || rc == 6) << failing << ": " << rc;
    EXPECT_EQ(cv != nullptr, rc == 0) << failing;
    EXPECT_EQ(BSdbgliveblocks(), lib_ + (cv ? 1 : 0)) << failing;
    Free(cv);
  }
  EXPECT_GT(failing, 6);  // the members' curves, the list's copy or merge and the scratch were all reached
  Free(cs);

  GTypedCurve many = Make(kCurveComplexString, GComplexString{});
  GComplexString& list = Rec<GComplexString>(many);
  list.curves = static_cast<GTypedCurve*>(geomplatform::GeomMalloc(101 * sizeof(GTypedCurve)));
  for (int i = 0; i < 101; ++i) list.curves[list.numCurves++] = Line({1.0 * i, 0, 0}, {i + 1.0, 0, 0});
  QnGeomFailAllocAt(1);  // more members than the local list holds
  VOQbsp_curve* cv = nullptr;
  int rc = -1;
  IMGTCIcv(&many, &cv, &rc);
  EXPECT_EQ(rc, 6);
  IMGTCIcv(&many, &cv, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(cv ? Distance(Pole(cv, cv->num_poles - 1), {101, 0, 0}) : 1.0, 0.0);
  Free(cv);
  Free(many);
}

}  // namespace

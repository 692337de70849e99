// Validation of typed curves: the messages of each record in order, damaged counts read within their arrays
// (the dump prints them as well), the switch, the type guard left as found on every exit, and the dated dumps
// in the validation log.
#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "bspline/core/test_support.h"
#include "tests/geometry/geometry_test_support.h"
#include "tests/geometry/typed_curve_builders.h"

namespace {

using namespace tcb;

class Validation : public TypedCurves {
 protected:
  void TearDown() override {
    SetValidationSwitch(1);
    for (int code : {3, 4, 12, 15, 16, 27}) EXPECT_EQ(TestTypeGuard(code), 0) << code;
    TypedCurves::TearDown();
  }
};

struct Written {
  Messages messages;
  int dumps = 0;
};

// Runs a validator on a temporary stream and sorts out its message lines and dump headers.
Written Validated(const std::function<void(std::FILE*)>& validate) {
  Written out;
  std::istringstream lines(Captured(validate));
  for (std::string s; std::getline(lines, s);) {
    if (s.rfind("#~# ", 0) == 0) out.messages.push_back(s.substr(4));
    out.dumps += s.rfind("#-# Date: ", 0) == 0;
  }
  return out;
}

GTypedCurve Spline(const std::function<void(GBspCurve&)>& change, int rational = 0) {
  GTypedCurve tc = Bspline(3, {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {3, 1, 0}}, {0, 0, 0, 0.5, 1, 1, 1},
                           rational ? std::vector<double>{1, 2, 2, 1} : std::vector<double>{});
  change(Rec<GBspCurve>(tc));
  return tc;
}

TEST_F(Validation, MessagesOfEachRecordInOrder) {
  ScopedDebugValue level("ValidateReleaseMath", 3);  // every invalid record is dumped into the same stream
  const GUnitVector up(0, 0, 1);
  struct Case {
    const char* what;
    std::function<GTypedCurve()> make;
    Messages expected;
  };
  const std::vector<Case> cases = {
      {"line", [] { return Make(kCurveLine, GLine{{INFINITY, 0, 0}, {0, 0, 1}, 1.0, 0.0}); },
       {"GLine: root point coordinate is NaN", "GLine: root point coordinate is outside working_domain",
        "GLine: start > end"}},
      {"line off its unit", [] {
         GLine ln{{0, 2e6, 0}, {1, 0, 0}, NAN, 1.0};
         ln.direction.x = 1.01;
         return Make(kCurveLine, ln);
       }, {"GLine: root point coordinate is outside working_domain", "GLine: start or end is NaN",
           "GLine: direction vector is not a unit vector"}},
      {"line string", [] {
         GTypedCurve tc = LineString({{0, 0, 0}, {NAN, 0, 0}, {1, INFINITY, 0}});
         Rec<GLineString>(tc).scope = 5, Rec<GLineString>(tc).form = 7;
         return tc;
       }, {"GLineString: point has NaN coordinate", "GLineString: point has NaN coordinate",
           "GLineString: scope out of range", "GLineString: form out of range"}},
      {"one point", [] { return LineString({{0, 0, 0}}); }, {"GLineString: less than 2 points"}},
      {"gap of 1e-5", [] { return Complex({Line({0, 0, 0}, {1, 0, 0}), Line({1, 1e-5, 0}, {2, 0, 0})}); },
       {"GComplexString: curve[1] and [0] are not connected"}},
      {"nested string (the guard skips it)", [] {
         return Complex({Line({0, 0, 0}, {1, 0, 0}), Complex({Line({1, 0, 0}, {2, 0, 0})}), Line({2, 0, 0}, {3, 0, 0})});
       }, {"GComplexString: curve[1] contains GComplexString"}},
      {"whole turn", [&] { return Arc({0, 0, 0}, up, {1, 0, 0}, 0.5, 0, 2 * kPi); }, {}},
      {"past a whole turn", [&] { return Arc({0, 0, 0}, up, {1, 0, 0}, 0.5, 0, 2 * kPi + 1e-9); },
       {"GArc: parameter range > 2PI"}},
      {"tiny arc", [&] { return Arc({0, 0, 0}, up, {1e-8, 0, 0}, 1.0, 0, 1); },
       {"GArc: start point and end point are the same", "GEllipse: major and minor lengths are < dist_tol"}},
      {"ellipse", [&] {
         GTypedCurve tc = Ellipse({0, 0, 0}, up, {0, 0, 1}, NAN);
         Rec<GEllipse>(tc).normal.z = 2;
         return tc;
       }, {"GEllipse: minorMajorRatio is NaN", "GEllipse: normal vector is not a unit vector",
           "GEllipse: normal is not orthogonal"}},
      {"infinite ellipse", [] { return Ellipse({0, 0, 1e30}, GUnitVector(1, 0, 0), {1e30, 0, 0}, 1e-45); },
       {"GEllipse: center coordinate is >= GINFINITY", "GEllipse: majorAxis coordinate is >= GINFINITY",
        "GEllipse: minor axis length is zero"}},
      {"order 3 with 2 poles", [] {
         GTypedCurve tc = Bspline(3, {{0, 0, 0}, {NAN, 0, 0}}, {0, 0, 0, 1, 1});
         Rec<GBspCurve>(tc).scope = 5;
         return tc;
       }, {"GBspCurve: numPoles < order", "GBspCurve: pole value is NAN", "GBspCurve: scope out of range"}},
      {"knot count beyond the array", [] {
         return Spline([](GBspCurve& cv) { cv.numKnots = 40, cv.pKnots[2] = NAN; });
       }, {"GBspCurve: numKnots != order + numPoles"}},
      {"pole count beyond the array", [] {
         return Spline([](GBspCurve& cv) { cv.numPoles = 40, cv.pPoles[3].z = NAN; }, 1);
       }, {"GBspCurve: numKnots != order + numPoles", "GBspCurve: pole value is NAN"}},
      {"order beyond the library", [] { return Spline([](GBspCurve& cv) { cv.order = 17; }); },
       {"GBspCurve: order > 16", "GBspCurve: numPoles < order", "GBspCurve: numKnots != order + numPoles"}},
      {"knots", [] { return Spline([](GBspCurve& cv) { cv.pKnots[4] = 0.25; }); }, {"GBspCurve: Invalid knots"}},
      {"weights, length, properties", [] {
         return Spline([](GBspCurve& cv) { cv.pWeights[1] = NAN, cv.length = INFINITY, cv.properties = 4; }, 1);
       }, {"GBspCurve: weight value is NAN", "GBspCurve: length is NaN", "GBspCurve: properties out of range"}},
      {"attached line", [] {
         return Spline([](GBspCurve& cv) {
           cv.curve = static_cast<GTypedCurve*>(geomplatform::GeomMalloc(sizeof(GTypedCurve)));
           *cv.curve = Make(kCurveLine, GLine{{0, 0, 0}, {1, 0, 0}, 1, 0});
         });
       }, {"GLine: start > end"}},
      {"unknown type", [] { return Make(99, GArc{}); }, {"GTypedCurve: invalid curve type"}},
  };
  for (const Case& c : cases) {
    GTypedCurve tc = c.make();
    int valid = -1, rc = -1;
    const Written w = Validated([&](std::FILE* f) { IMTCVal2(f, &tc, &valid, &rc); });
    EXPECT_EQ(rc, 0) << c.what;
    EXPECT_EQ(valid, c.expected.empty() ? 1 : 0) << c.what;
    EXPECT_EQ(w.messages, c.expected) << c.what;
    EXPECT_EQ(w.dumps > 0, !c.expected.empty() && tc.type != 99) << c.what;
    Free(tc);
  }
}

TEST_F(Validation, NullRecordsAreNamedAndNotDumped) {
  ScopedDebugValue level("ValidateReleaseMath", 3);
  int valid = -1, rc = -1;
  const std::pair<std::function<void(std::FILE*)>, const char*> cases[] = {
      {[&](std::FILE* f) { IMTCVal2(f, nullptr, &valid, &rc); }, "GTypedCurve: NULL pointer"},
      {[&](std::FILE* f) { IMLnVal2(f, nullptr, &valid, &rc); }, "GLine: NULL pointer"},
      {[&](std::FILE* f) { IMLSVal2(f, nullptr, &valid, &rc); }, "GLineString: NULL pointer"},
      {[&](std::FILE* f) { IMCSVal2(f, nullptr, &valid, &rc); }, "GComplexString: NULL pointer"},
      {[&](std::FILE* f) { IMElVal2(f, nullptr, &valid, &rc); }, "GEllipse: NULL pointer"},
      {[&](std::FILE* f) { IMArVal2(f, nullptr, &valid, &rc); }, "GArc: NULL pointer"},
      {[&](std::FILE* f) { IMCvVal2(f, nullptr, &valid, &rc); }, "GBspCurve: NULL pointer"},
  };
  for (const auto& [validate, message] : cases) {
    const Written w = Validated(validate);
    EXPECT_TRUE(valid == 0 && rc == 0) << message;
    EXPECT_EQ(w.messages, Messages{message});
    EXPECT_EQ(w.dumps, 0) << message;
  }
}

int gHookCalls = 0;
void CountHook(const char*, int*) { ++gHookCalls; }

TEST_F(Validation, SwitchAndGuard) {
  GTypedCurve bad = Complex({Line({0, 0, 0}, {1, 0, 0}), Make(99, GArc{})});
  const struct {
    int on, held, valid, rc;
    Messages messages;
  } cases[] = {
      {0, 0, 1, 0, {}},                                    // off: nothing happens, not even the exit hook
      {1, 0, 0, 5, {"GTypedCurve: invalid curve type"}},  // a stop on the unknown member's end points
      {1, 1, 1, 0, {}},                                    // a guard held by a validation under way
  };
  BSsetfaulthook(CountHook);
  for (const auto& c : cases) {
    SetValidationSwitch(c.on);
    if (c.held) SetTypeGuard(kCurveComplexString);
    gHookCalls = 0;
    int valid = -1, rc = -1;
    const Written w = Validated([&](std::FILE* f) { IMTCVal2(f, &bad, &valid, &rc); });
    EXPECT_TRUE(valid == c.valid && rc == c.rc) << c.on << c.held;
    EXPECT_EQ(w.messages, c.messages);
    EXPECT_EQ(gHookCalls > 0, c.on == 1);
    EXPECT_EQ(TestTypeGuard(kCurveComplexString), c.held);  // released on every exit, a stop included
    ClearTypeGuard(kCurveComplexString);
  }
  Free(bad);
}

TEST_F(Validation, DumpsGoToTheLogFileAtLevelThree) {
  GeomLogCapture capture;  // level 2 and an empty log
  ScopedDebugValue level("ValidateReleaseMath");
  GTypedCurve points = LineString({{0, 0, 0}, {NAN, 0, 0}});
  const GLineString& ls = Rec<GLineString>(points);
  int valid = -1, rc = -1;
  IMLSVal(&ls, &valid, &rc);
  EXPECT_EQ(valid, 0);
  EXPECT_EQ(ReadGeomLogFile(), "#~# GLineString: point has NaN coordinate\n");
  ASSERT_EQ(std::remove(kGeomLogFileName), 0);
  level.Set(3);
  const auto stamp = [] {
    const std::time_t now = std::time(nullptr);
    return std::string(std::asctime(std::localtime(&now)));
  };
  const std::string before = stamp();
  IMLSVal(&ls, &valid, &rc);
  const std::string after = stamp(), log = ReadGeomLogFile();
  ASSERT_EQ(std::remove(kGeomLogFileName), 0) << "the dump left the log open";
  const std::string head = "#~# GLineString: point has NaN coordinate\n#-#\n#-# Date: ",
                    tail = "#-#\nGTypedCurve{\ntype 4\nGLineString{\nnumPoints 2\n";
  EXPECT_TRUE(log.rfind(head + before + tail, 0) == 0 || log.rfind(head + after + tail, 0) == 0) << log;
  Free(points);
}

}  // namespace

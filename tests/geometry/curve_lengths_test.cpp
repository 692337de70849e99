// Lengths of typed curves: closed forms, sums over points and members, records the layer cannot measure, and
// the library's accuracy entry put back after every measurement, failed ones included.
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "bspline/core/test_support.h"
#include "tests/geometry/typed_curve_builders.h"

namespace {

using namespace tcb;

class Lengths : public TypedCurves {};

constexpr double kUntouched = -7.0;

TEST_F(Lengths, ByType) {
  struct Case {
    const char* what;
    std::function<GTypedCurve()> make;
    int rc;
    double length;  // kUntouched: the caller's value stays
  };
  const GUnitVector up(0, 0, 1);
  const std::vector<Case> cases = {
      {"circle of radius 2", [&] { return Ellipse({1, 1, 0}, up, {0, 2, 0}, 1.0); }, 0, 4 * kPi},
      {"circular arc over the seam", [&] { return Arc({0, 0, 0}, up, {2, 0, 0}, 1.0, 1.5 * kPi, 0.5 * kPi); }, 0,
       2 * kPi},
      {"line", [] { return Line({1, 2, 3}, {4, 6, 3}); }, 0, 5},
      {"line string", [] { return LineString({{0, 0, 0}, {3, 4, 0}, {3, 4, 0}, {3, 4, 12}}); }, 0, 17},
      {"single point", [] { return LineString({{5, 5, 5}}); }, 0, 0},
      {"ellipse of ratio 0 (a doubled segment)", [&] { return Ellipse({0, 0, 0}, up, {1, 0, 0}, 0.0); }, 5,
       kUntouched},
      {"B-spline record", [] { return Bspline(2, {{0, 0, 0}, {0, 3, 0}, {4, 3, 0}}, {0, 0, 0.5, 1, 1}); }, 0, 7},
      {"complex string", [&] {
         return Complex({Line({2, 0, 0}, {0, 0, 0}), Arc({0, 0, 0}, up, {1, 0, 0}, 1.0, kPi, 2 * kPi)});
       }, 0, 2 + kPi},
      {"line string with a NaN point", [] { return LineString({{0, 0, 0}, {NAN, 0, 0}}); }, 5, kUntouched},
      {"damaged B-spline record", [] {
         GTypedCurve tc = Bspline(3, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {0, 0, 0, 1, 1, 1});
         Rec<GBspCurve>(tc).order = 4;
         return tc;
       }, 5, kUntouched},
      {"type 150", [] { return Make(kCurveLibrary, GArc{}); }, 0, kUntouched},
      {"complex string with a type-150 member", [] {
         return Complex({Line({0, 0, 0}, {1, 0, 0}), Make(kCurveLibrary, GArc{})});
       }, 5, kUntouched},
  };
  for (const Case& c : cases) {
    GTypedCurve tc = c.make();
    double length = kUntouched;
    int rc = -1;
    IMTCLen(&tc, &length, &rc);
    EXPECT_EQ(rc, c.rc) << c.what;
    EXPECT_NEAR(length, c.length, 1e-12 * std::fabs(c.length)) << c.what;
    Free(tc);
  }
}

const char* gFailing = nullptr;
void FailNamed(const char* lname, int* rc) {
  if (rc && gFailing && std::string(lname) == gFailing) *rc = 1;
}

TEST_F(Lengths, FailedStepsFreeTheConvertedCurveAndRestoreTheAccuracy) {
  GTypedCurve ellipse = Ellipse({0, 0, 0}, GUnitVector(0, 0, 1), {3, 0, 0}, 0.5);
  const double savedAccuracy = BStoltab[15], perimeter = 12 * 1.2110560275684595;  // 4 a E(e), e^2 = 3/4
  // No memory for the converted curve; the integrator fails; no control polygon (its first answer sets the scale).
  const struct {
    const char* failing;
    int allocation, rc;
  } cases[] = {{"", 1, 1}, {"bsarclen", 0, 1}, {"bscumdist", 0, 0}};
  BSsetfaulthook(FailNamed);
  for (const bool slow : {false, true})
    for (const auto& c : cases) {
      const bstest::SlowRoads roads(slow);
      SCOPED_TRACE(slow ? "slow roads" : "short roads");
      gFailing = c.failing;
      BSallocfailat(c.allocation);
      double length = kUntouched;
      int rc = -1;
      IMTCLen(&ellipse, &length, &rc);
      EXPECT_EQ(rc, c.rc) << c.failing;
      EXPECT_EQ(BStoltab[15], savedAccuracy) << c.failing;
      EXPECT_NEAR(length, c.rc ? kUntouched : perimeter, 1e-10) << c.failing;
    }
  gFailing = nullptr;
  Free(ellipse);
}

}  // namespace

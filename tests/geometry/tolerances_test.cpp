#include <cmath>
#include <limits>

#include "tests/geometry/geometry_test_support.h"

namespace {

class Tolerances : public ::testing::Test {
 protected:
  void TearDown() override { RestoreDefaultTolerances(); }
  GeomLogCapture log_;
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST_F(Tolerances, StartWithTheirDefaultsAndValidationOn) {
  EXPECT_EQ(GetDistanceTolerance(), 1e-6);
  EXPECT_EQ(GetRelativeTolerance(), 1e-10);
  EXPECT_EQ(GetFitTolerance(), 0.001);
  EXPECT_EQ(GetValidationSwitch(), 1);
}

// Each setter against the defaults of the other two: distance strictly between relative * 1000 and fit / 10,
// relative positive and below distance / 1000, fit above distance * 10. A refusal keeps the value and logs.
TEST_F(Tolerances, EachSetterChecksItsBounds) {
  const char* distanceHigh = "SetDistanceTolerance: distance tolerance not smaller than resfit / 10";
  const char* distanceLow = "SetDistanceTolerance: distance tolerance not larger than resnor * 1000";
  const char* relative = "SetRelativeTolerance: relative tolerance not smaller than resabs / 1000";
  const char* fit = "SetFitTolerance: fit tolerance not larger than resabs * 10";
  using Setter = void (*)(double, int*);
  using Getter = double (*)();
  const struct {
    const char* what;
    Setter set;
    Getter get;
    double value;
    int rc;
    Messages messages;
  } cases[] = {
      {"distance inside", SetDistanceTolerance, GetDistanceTolerance, 5e-6, 0, {}},
      {"distance at fit / 10, exactly 1e-4", SetDistanceTolerance, GetDistanceTolerance, 1e-4, 2, {distanceHigh}},
      // relative * 1000 rounds to 1.0000000000000001e-07, just above 1e-7: the product itself is the least.
      {"distance 1e-7", SetDistanceTolerance, GetDistanceTolerance, 1e-7, 2, {distanceLow}},
      {"distance NaN", SetDistanceTolerance, GetDistanceTolerance, kNaN, 2, {distanceHigh}},
      {"distance at relative * 1000", SetDistanceTolerance, GetDistanceTolerance, 1e-10 * 1000, 0, {}},
      {"relative at distance / 1000", SetRelativeTolerance, GetRelativeTolerance, 1e-9, 2, {relative}},
      {"relative 0", SetRelativeTolerance, GetRelativeTolerance, 0.0, 2, {relative}},
      {"relative negative", SetRelativeTolerance, GetRelativeTolerance, -1e-12, 2, {relative}},
      {"relative NaN", SetRelativeTolerance, GetRelativeTolerance, kNaN, 2, {relative}},
      {"relative inside", SetRelativeTolerance, GetRelativeTolerance, 5e-10, 0, {}},
      // distance * 10 rounds to 9.999999999999999e-06, so 1e-5 itself passes.
      {"fit 1e-5", SetFitTolerance, GetFitTolerance, 1e-5, 0, {}},
      {"fit at distance * 10", SetFitTolerance, GetFitTolerance, 1e-6 * 10, 2, {fit}},
      {"fit NaN", SetFitTolerance, GetFitTolerance, kNaN, 2, {fit}},
      {"fit negative", SetFitTolerance, GetFitTolerance, -1.0, 2, {fit}},
      {"fit infinite", SetFitTolerance, GetFitTolerance, std::numeric_limits<double>::infinity(), 2, {fit}},
  };
  for (const auto& c : cases) {
    RestoreDefaultTolerances();
    log_.Take();
    const double before = c.get();
    int rc = -1;
    c.set(c.value, &rc);
    EXPECT_EQ(rc, c.rc) << c.what;
    EXPECT_EQ(c.get(), c.rc == 0 ? c.value : before) << c.what;
    EXPECT_EQ(log_.Take(), c.messages) << c.what;
  }
}

TEST_F(Tolerances, BoundsComeFromTheCurrentValuesAndAreNotRecheckedLater) {
  int rc = -1;
  SetDistanceTolerance(5e-5, &rc);
  ASSERT_EQ(rc, 0);
  SetFitTolerance(4e-4, &rc);  // would have been fine against the old distance
  EXPECT_EQ(rc, 2);
  SetFitTolerance(6e-4, &rc);
  EXPECT_EQ(rc, 0);
  // The distance now exceeds the new fit / 10 but stays as it was.
  EXPECT_EQ(GetDistanceTolerance(), 5e-5);
  SetDistanceTolerance(5e-5, &rc);
  EXPECT_EQ(rc, 0);
  SetDistanceTolerance(6e-5, &rc);
  EXPECT_EQ(rc, 2);
}

TEST(TypeGuards, MapTheLowByteOfACodeToItsSlot) {
  EXPECT_EQ(TypeGuardSlot(3), 1);
  EXPECT_EQ(TypeGuardSlot(27), 10);
  EXPECT_EQ(TypeGuardSlot(151), 29);
  EXPECT_EQ(TypeGuardSlot(0x10C), TypeGuardSlot(12));
  EXPECT_EQ(TypeGuardSlot(12), 3);
  for (int unlisted : {0, 1, 5, 26, 152, 255, -1}) EXPECT_EQ(TypeGuardSlot(unlisted), 0) << unlisted;
}

TEST(TypeGuards, GuardBySlotSoUnlistedCodesShareOne) {
  ResetTypeGuards();
  SetTypeGuard(27);
  EXPECT_EQ(TestTypeGuard(27), 1);
  EXPECT_EQ(TestTypeGuard(0x100 + 27), 1);
  EXPECT_EQ(TestTypeGuard(4), 0);

  SetTypeGuard(5);
  EXPECT_EQ(TestTypeGuard(7), 1);  // both in slot 0
  ClearTypeGuard(7);
  EXPECT_EQ(TestTypeGuard(5), 0);
  EXPECT_EQ(TestTypeGuard(27), 1);

  ResetTypeGuards();
  EXPECT_EQ(TestTypeGuard(27), 0);
}

}  // namespace

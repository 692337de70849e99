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

TEST_F(Tolerances, StartWithTheirDefaultsAndTheFixedSwitches) {
  EXPECT_EQ(GetDistanceTolerance(), 1e-6);
  EXPECT_EQ(GetRelativeTolerance(), 1e-10);
  EXPECT_EQ(GetFitTolerance(), 0.001);
  EXPECT_EQ(GetValidationSwitch(), 1);
  EXPECT_EQ(GetPointArrayFlag(), 1);
}

TEST_F(Tolerances, DistanceMustLieBetweenRelativeTimesThousandAndFitOverTen) {
  int rc = -1;
  SetDistanceTolerance(5e-6, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(GetDistanceTolerance(), 5e-6);

  // fit * 0.1 is exactly 1e-4: the upper bound is strict.
  SetDistanceTolerance(1e-4, &rc);
  EXPECT_EQ(rc, 2);
  EXPECT_EQ(GetDistanceTolerance(), 5e-6);
  // relative * 1000 rounds to 1.0000000000000001e-07 in doubles, just above 1e-7, so 1e-7 is refused and
  // the product itself is the smallest value stored.
  SetDistanceTolerance(1e-7, &rc);
  EXPECT_EQ(rc, 2);
  SetDistanceTolerance(kNaN, &rc);
  EXPECT_EQ(rc, 2);
  EXPECT_EQ(log_.Take(), (Messages{"SetDistanceTolerance: distance tolerance not smaller than resfit / 10",
                                   "SetDistanceTolerance: distance tolerance not larger than resnor * 1000",
                                   "SetDistanceTolerance: distance tolerance not smaller than resfit / 10"}));

  SetDistanceTolerance(1e-10 * 1000, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(GetDistanceTolerance(), 1e-10 * 1000);
  EXPECT_TRUE(log_.Take().empty());
}

TEST_F(Tolerances, RelativeMustBePositiveAndBelowDistanceOverThousand) {
  int rc = -1;
  for (double refused : {1e-9, 0.0, -1e-12, kNaN}) {
    SetRelativeTolerance(refused, &rc);
    EXPECT_EQ(rc, 2) << refused;
    EXPECT_EQ(GetRelativeTolerance(), 1e-10);
    EXPECT_EQ(log_.Take(), Messages{"SetRelativeTolerance: relative tolerance not smaller than resabs / 1000"});
  }
  SetRelativeTolerance(5e-10, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(GetRelativeTolerance(), 5e-10);
}

TEST_F(Tolerances, FitMustExceedDistanceTimesTen) {
  int rc = -1;
  // distance * 10 rounds to 9.999999999999999e-06, so 1e-5 itself passes.
  SetFitTolerance(1e-5, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(GetFitTolerance(), 1e-5);
  for (double refused : {1e-6 * 10, kNaN, -1.0, std::numeric_limits<double>::infinity()}) {
    SetFitTolerance(refused, &rc);
    EXPECT_EQ(rc, 2) << refused;
    EXPECT_EQ(GetFitTolerance(), 1e-5);
    EXPECT_EQ(log_.Take(), Messages{"SetFitTolerance: fit tolerance not larger than resabs * 10"});
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

TEST(ValidationSwitch, KeepsWhatIsSet) {
  SetValidationSwitch(0);
  EXPECT_EQ(GetValidationSwitch(), 0);
  SetValidationSwitch(7);
  EXPECT_EQ(GetValidationSwitch(), 7);
  SetValidationSwitch(1);
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

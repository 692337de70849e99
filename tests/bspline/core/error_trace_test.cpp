#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "bspline/bspline.h"
#include "bspline/core/test_support.h"
#include "tests/bspline/curve_fixtures.h"

namespace {

std::vector<std::string> hook_names;
void record_names(const char *name, int *) { hook_names.emplace_back(name); }
void fail_norvec(const char *name, int *rc) {
  if (rc && std::strcmp(name, "bsnorvec") == 0) *rc = 77;
}

class ErrorTrace : public ::testing::Test {
 protected:
  void TearDown() override {
    BSsetfaulthook(nullptr);
    BStraceclear();
  }
};

TEST_F(ErrorTrace, KeepsAtMostOneThousandRecords) {
  BStraceclear();
  for (int i = 0; i < 1005; ++i) BStracepush(i + 1, "BSfiller");
  EXPECT_EQ(BStracecount(), 1000);
  EXPECT_EQ(BStracetable()[999].rc, 1000);
  // The 1001st failure is dropped, not written over the last record.
  int rc = 0;
  BSfreevoqcv(nullptr, &rc);
  EXPECT_EQ(rc, 3);
  EXPECT_EQ(BStracecount(), 1000);
  EXPECT_STREQ(BStracetable()[999].name, "BSfiller");
}

TEST_F(ErrorTrace, CutsOverlongNamesToTheRecord) {
  BStraceclear();
  BStracepush(5, "BSaverylongroutinenamebeyondtwenty");
  ASSERT_EQ(BStracecount(), 1);
  EXPECT_EQ(std::strlen(BStracetable()[0].name), 19u);
  EXPECT_EQ(std::string(BStracetable()[0].name), std::string("BSaverylongroutinenamebeyondtwenty").substr(0, 19));
}

TEST_F(ErrorTrace, NestedFailureLeavesOneRecordPerLevelInnermostFirst) {
  // Order 2 with two poles and an empty only span: the basis routine fails and every level reports.
  TestCurve c(2, {0, 0, 0, 1, 0, 0}, {0, 0, 0, 1});
  BStraceclear();
  double out[3];
  int rc = 0;
  BScveval_n(&c.cv, 0.5, 0, out, &rc);
  EXPECT_EQ(rc, -2);
  ASSERT_EQ(BStracecount(), 3);
  EXPECT_STREQ(BStracetable()[0].name, "BSmansf0");
  EXPECT_STREQ(BStracetable()[1].name, "BScveval0");
  EXPECT_STREQ(BStracetable()[2].name, "BScveval_n");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(BStracetable()[i].rc, -2);
}

TEST_F(ErrorTrace, HookSeesEveryRoutineByItsLowerCaseName) {
  TestCurve c(3, {0, 0, 0, 1, 1, 0, 2, 0, 0, 3, 1, 0}, {0, 0, 0, 1, 2, 2, 2});
  hook_names.clear();
  const bstest::SlowRoads slow;  // the evaluation's shortcut passes no name
  BSsetfaulthook(record_names);
  double out[9];
  int rc = 0;
  BScveval_n(&c.cv, 1.5, 0, out, &rc);
  BSsetfaulthook(nullptr);
  ASSERT_EQ(rc, 0);
  const std::vector<std::string> expected = {"bsfndspan", "bsmansf0", "bscveval0", "bscveval"};
  EXPECT_EQ(hook_names, expected);
  EXPECT_EQ(BStracecount(), 0);  // nothing failed
}

TEST_F(ErrorTrace, HookCanForceAFailureThatReachesTheTrace) {
  for (const bool slow : {false, true}) {
    const bstest::SlowRoads roads(slow);
    SCOPED_TRACE(slow ? "slow roads" : "short roads");
    BStraceclear();
    BSsetfaulthook(fail_norvec);
    double v[3] = {3, 4, 0};
    int rc = 0;
    EXPECT_EQ(BSnorvec(&rc, v), BSFALSE);
    EXPECT_EQ(rc, 77);
    ASSERT_EQ(BStracecount(), 1);
    EXPECT_STREQ(BStracetable()[0].name, "BSnorvec");
    EXPECT_EQ(BStracetable()[0].rc, 77);
    // The forced failure propagates through a caller, which adds its own record.
    double d[3] = {0, 0, 2}, z[3], x[3], y[3];
    EXPECT_EQ(BSbasisvect(&rc, d, z, x, y), BSFALSE);
    EXPECT_EQ(rc, 77);
    ASSERT_EQ(BStracecount(), 3);
    EXPECT_STREQ(BStracetable()[2].name, "BSbasisvect");
  }
}

}  // namespace

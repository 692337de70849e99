#include <cstdio>
#include <filesystem>

#include "tests/geometry/geometry_test_support.h"

namespace {

using geomplatform::LoadDebugDword;
using geomplatform::StoreDebugDword;

// The three switches share one reader: its byte rule is pinned on one of them, each switch's sense on all three.
TEST(DebugSwitches, OnlyALowestByteOfOneCounts) {
  ScopedDebugValue enabled("ValidateMathEnabled");
  ScopedDebugValue skip("SkipCheckGeom3dBoundaries");
  ScopedDebugValue selfInter("ValidateBndSelfInterXO");

  enabled.Remove();
  skip.Remove();
  selfInter.Remove();
  EXPECT_EQ(ReadValidateMathEnabled(), 0);
  EXPECT_EQ(QuerySkipCheckGeom3dBoundaries(), 1);  // reads the other way round
  EXPECT_EQ(QueryValidateBndSelfInterXO(), 0);
  skip.Set(1);
  selfInter.Set(1);
  EXPECT_EQ(QuerySkipCheckGeom3dBoundaries(), 0);
  EXPECT_EQ(QueryValidateBndSelfInterXO(), 1);

  for (std::uint32_t value : {0u, 1u, 2u, 256u, 257u}) {
    enabled.Set(value);
    EXPECT_EQ(ReadValidateMathEnabled(), (value & 0xFF) == 1 ? 1 : 0) << value;
  }
  // The type of the value is not looked at.
  const unsigned char one[4] = {1, 0, 0, 0};
  ASSERT_TRUE(geomplatform::StoreDebugValue("ValidateMathEnabled", one, 4, geomplatform::kValueTypeBinary));
  EXPECT_EQ(ReadValidateMathEnabled(), 1);
}

TEST(DebugSwitches, ValidateMathEnabledIsCachedUntilReset) {
  ScopedDebugValue enabled("ValidateMathEnabled", 1);
  ResetValidateMathCache();
  EXPECT_EQ(IsValidateMathEnabled(), 1);
  enabled.Set(0);
  EXPECT_EQ(IsValidateMathEnabled(), 1);
  ResetValidateMathCache();
  EXPECT_EQ(IsValidateMathEnabled(), 0);
  enabled.Set(1);
  EXPECT_EQ(IsValidateMathEnabled(), 0);
  ResetValidateMathCache();
}

TEST(DebugSwitches, RegistryValueIsCreatedWithItsDefaultAndReadsZeroTheFirstTime) {
  ScopedDebugValue value("GeometryTestValue");
  value.Remove();
  EXPECT_EQ(GetDebugRegistryValue("GeometryTestValue", 7), 0u);
  std::uint32_t stored = 0;
  ASSERT_TRUE(LoadDebugDword("GeometryTestValue", &stored));
  EXPECT_EQ(stored, 7u);
  EXPECT_EQ(GetDebugRegistryValue("GeometryTestValue", 9), 7u);

  // A value that does not fit in four bytes counts as unreadable and is replaced by the default.
  const unsigned char wide[8] = {5, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_TRUE(geomplatform::StoreDebugValue("GeometryTestValue", wide, 8, geomplatform::kValueTypeBinary));
  EXPECT_EQ(GetDebugRegistryValue("GeometryTestValue", 3), 0u);
  EXPECT_EQ(GetDebugRegistryValue("GeometryTestValue", 4), 3u);
}

#ifndef _WIN32
// The real key is shared with the rest of the machine; only the stand-in can lose it or refuse access.
TEST(DebugSwitches, MissingOrUnavailableKey) {
  ScopedDebugValue level("ValidateReleaseMath");
  geomplatform::RemoveDebugKey();
  EXPECT_EQ(GetDebugRegistryValue("GeometryTestValue", 5), 0u);  // creates the key and the value
  std::uint32_t stored = 0;
  EXPECT_TRUE(LoadDebugDword("GeometryTestValue", &stored));
  EXPECT_EQ(stored, 5u);
  geomplatform::RemoveDebugValue("GeometryTestValue");

  geomplatform::SetDebugKeyUnavailable(true);
  EXPECT_EQ(GetDebugRegistryValue("ValidateReleaseMath", 2), 0u);
  EXPECT_EQ(ReadValidateMathEnabled(), 0);
  EXPECT_EQ(QuerySkipCheckGeom3dBoundaries(), 1);
  geomplatform::SetDebugKeyUnavailable(false);
}
#endif

TEST(ValidationLog, AppendsToTheFileFromLevelTwoOnly) {
  ScopedDebugValue level("ValidateReleaseMath", 1);
  std::remove(kGeomLogFileName);
  GeomLogMessage(nullptr, "level one", 1);
  EXPECT_FALSE(std::filesystem::exists(kGeomLogFileName));

  level.Set(2);
  GeomLogMessage(nullptr, "first", 1);
  GeomLogMessage(nullptr, "second", 1);
  EXPECT_EQ(ReadGeomLogFile(), "#~# first\n#~# second\n");
  std::remove(kGeomLogFileName);
}

TEST(ValidationLog, FirstMessageCreatesAMissingLevelAsZero) {
  ScopedDebugValue level("ValidateReleaseMath");
  level.Remove();
  std::remove(kGeomLogFileName);
  ResetDiagnosticsFirstUse();
  GeomLogMessage(nullptr, "not written", 1);
  GeomLogMessage(nullptr, "nor this", 1);
  std::uint32_t stored = 99;
  ASSERT_TRUE(LoadDebugDword("ValidateReleaseMath", &stored));
  EXPECT_EQ(stored, 0u);
  EXPECT_FALSE(std::filesystem::exists(kGeomLogFileName));
}

TEST(ValidationLog, FallsBackToStandardErrorWhenTheFileCannotBeOpened) {
  ScopedDebugValue level("ValidateReleaseMath", 2);
  std::remove(kGeomLogFileName);
  std::filesystem::create_directory(kGeomLogFileName);  // a directory cannot be opened for append
  ::testing::internal::CaptureStderr();
  GeomLogMessage(nullptr, "to stderr", 1);
  const std::string err = ::testing::internal::GetCapturedStderr();
  std::filesystem::remove(kGeomLogFileName);
  EXPECT_NE(err.find("#~# to stderr\n"), std::string::npos) << err;
}

TEST(DumpLog, OpensTheFileOnlyWhenTheLevelReachesTheThreshold) {
  ScopedDebugValue level("ValidateReleaseMath", 3);
  std::remove(kGeomLogFileName);
  FILE* stream = nullptr;
  EXPECT_EQ(OpenDumpLog(&stream, 4), 3);
  EXPECT_EQ(stream, nullptr);
  EXPECT_EQ(OpenDumpLog(&stream, 3), 3);
  ASSERT_NE(stream, nullptr);
  FILE* opened = stream;
  EXPECT_EQ(OpenDumpLog(&stream, 3), 3);  // a stream already given is kept
  EXPECT_EQ(stream, opened);
  GeomLogMessage(stream, "dumped", 1);
  std::fclose(stream);
  EXPECT_EQ(ReadGeomLogFile(), "#~# dumped\n");
  std::remove(kGeomLogFileName);

  level.Remove();
  ResetDiagnosticsFirstUse();
  stream = nullptr;
  EXPECT_EQ(OpenDumpLog(&stream, 0), 0);  // created as 0 first, so the default 3 never applies
  EXPECT_NE(stream, nullptr);
  if (stream) std::fclose(stream);
  std::remove(kGeomLogFileName);
}

TEST(Gassert, ReportsOnStandardOutputAndAnswersANonZeroLevelWithoutABox) {
  ScopedDebugValue level("ValidateReleaseMath", 2);
  ::testing::internal::CaptureStdout();
  const int answer = Gassert("bad thing");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Gassert - bad thing\n");
  EXPECT_EQ(answer, 2);
}

// At level 0 the box is shown; a box that cannot be shown (a headless session, as under the test runner's
// Wine, or natively where there is none) must not end the process.
TEST(Gassert, PassesOverAnAssertionWhenNoBoxCanBeShown) {
  ScopedDebugValue level("ValidateReleaseMath", 0);
  ::testing::internal::CaptureStdout();
  const int answer = Gassert("no box");
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(answer, 0);
}

#ifndef _WIN32
TEST(Gassert, FollowsTheButtonPressed) {
  ScopedDebugValue level("ValidateReleaseMath", 0);
  geomplatform::SetAssertionAnswer(geomplatform::kAssertIgnore);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(Gassert("ignored"), 0);
  ::testing::internal::GetCapturedStdout();

  GTEST_FLAG_SET(death_test_style, "threadsafe");
  geomplatform::SetAssertionAnswer(geomplatform::kAssertAbort);
  EXPECT_DEATH(Gassert("aborted"), "");
  geomplatform::SetAssertionAnswer(geomplatform::kAssertRetry);
  EXPECT_DEATH(Gassert("retried"), "");  // the breakpoint trap with no debugger attached
  geomplatform::SetAssertionAnswer(0);
}
#endif

}  // namespace

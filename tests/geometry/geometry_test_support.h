// Helpers shared by the geometry tests: reading what the layer wrote to its validation log, leaving the
// process-wide settings as the tests found them, and comparing points and boxes coordinate by coordinate.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "geometry/geometry.h"
#include "geometry/platform.h"

// Restores a value of the debug key (present or missing) when it goes out of scope.
class ScopedDebugValue {
 public:
  explicit ScopedDebugValue(const char* name) : name_(name) { had_ = geomplatform::LoadDebugDword(name, &old_); }
  ScopedDebugValue(const char* name, std::uint32_t value) : ScopedDebugValue(name) { Set(value); }
  ~ScopedDebugValue() {
    if (had_)
      geomplatform::StoreDebugDword(name_.c_str(), old_);
    else
      geomplatform::RemoveDebugValue(name_.c_str());
  }
  void Set(std::uint32_t value) { ASSERT_TRUE(geomplatform::StoreDebugDword(name_.c_str(), value)); }
  void Remove() { ASSERT_TRUE(geomplatform::RemoveDebugValue(name_.c_str())); }

 private:
  std::string name_;
  std::uint32_t old_ = 0;
  bool had_ = false;
};

inline std::string ReadGeomLogFile() {
  std::ifstream in(kGeomLogFileName);  // text mode, as the log is written
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Switches the validation log on (level 2) for the lifetime of the object and collects its lines.
class GeomLogCapture {
 public:
  GeomLogCapture() : level_("ValidateReleaseMath", 2) { std::remove(kGeomLogFileName); }
  ~GeomLogCapture() { std::remove(kGeomLogFileName); }

  // The messages written since the last call, without the "#~# " prefix.
  std::vector<std::string> Take() {
    std::vector<std::string> messages;
    std::istringstream lines(ReadGeomLogFile());
    std::remove(kGeomLogFileName);
    for (std::string line; std::getline(lines, line);) {
      messages.push_back(line.rfind("#~# ", 0) == 0 ? line.substr(4) : "(unprefixed) " + line);
    }
    return messages;
  }

 private:
  ScopedDebugValue level_;
};

using Messages = std::vector<std::string>;

// Puts the three tolerances back to their start-up values, whatever order the setters need.
inline void RestoreDefaultTolerances() {
  for (int round = 0; round < 4; ++round) {
    int rc = 0;
    SetFitTolerance(0.001, &rc);
    SetDistanceTolerance(1e-6, &rc);
    SetRelativeTolerance(1e-10, &rc);
  }
  ASSERT_EQ(GetDistanceTolerance(), 1e-6);
  ASSERT_EQ(GetRelativeTolerance(), 1e-10);
  ASSERT_EQ(GetFitTolerance(), 0.001);
}

inline void ExpectNear(const GPosition& a, const GPosition& b, double tol = 1e-12) {
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(a[i], b[i], tol) << "coordinate " << i;
}

inline void ExpectNear(const GPosition2d& a, const GPosition2d& b, double tol = 1e-12) {
  for (int i = 0; i < 2; ++i) EXPECT_NEAR(a[i], b[i], tol) << "coordinate " << i;
}

inline void ExpectBox(const GBox& b, const GBox& expected, double tol = 1e-12) {
  ExpectNear(b.low, expected.low, tol);
  ExpectNear(b.high, expected.high, tol);
}

inline void ExpectBox(const GBox2d& b, const GBox2d& expected, double tol = 1e-12) {
  ExpectNear(b.low, expected.low, tol);
  ExpectNear(b.high, expected.high, tol);
}

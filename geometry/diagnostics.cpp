#include <cstdio>
#include <cstdlib>

#include "geometry/geometry.h"
#include "geometry/platform.h"

using namespace geomplatform;

namespace {

int gValidateMathRead = 0;
int gValidateMathValue = 0;
int gLogFirstUseDone = 0;
int gDumpFirstUseDone = 0;

constexpr char kReleaseMathLevel[] = "ValidateReleaseMath";

// The switches are stored as DWORDs but were also written by hand as other types, so only the lowest byte
// of whatever four bytes are there decides. Missing key or value: not 1.
bool DebugValueLowByteIsOne(const char* name) {
  DebugKey key = OpenDebugKeyForQuery();
  if (!key) return false;
  std::uint32_t value = 0;
  bool found = ReadDebugValue(key, name, &value);
  CloseDebugKey(key);
  return found && (value & 0xFF) == 1;
}

// The first use in a process creates a missing level as 0, so that a later read with a higher default does
// not switch logging on by itself.
void CreateLevelOnFirstUse(int* done) {
  if (*done) return;
  *done = 1;
  GetDebugRegistryValue(kReleaseMathLevel, 0);
}

}  // namespace

int ReadValidateMathEnabled() { return DebugValueLowByteIsOne("ValidateMathEnabled") ? 1 : 0; }

int IsValidateMathEnabled() {
  if (!gValidateMathRead) {
    gValidateMathValue = ReadValidateMathEnabled();
    gValidateMathRead = 1;
  }
  return gValidateMathValue;
}

void ResetValidateMathCache() { gValidateMathRead = 0; }

int QuerySkipCheckGeom3dBoundaries() { return DebugValueLowByteIsOne("SkipCheckGeom3dBoundaries") ? 0 : 1; }

int QueryValidateBndSelfInterXO() { return DebugValueLowByteIsOne("ValidateBndSelfInterXO") ? 1 : 0; }

std::uint32_t GetDebugRegistryValue(const char* valueName, std::uint32_t defaultValue) {
  DebugKey key = nullptr;
  const DebugKeyOpen opened = CreateDebugKey(&key);
  if (opened == DebugKeyOpen::kFailed) return 0;
  std::uint32_t value = 0;
  if (opened == DebugKeyOpen::kCreated || !ReadDebugValue(key, valueName, &value)) {
    WriteDebugDword(key, valueName, defaultValue);
    value = 0;
  }
  CloseDebugKey(key);
  return value;
}

void GeomLogMessage(FILE* stream, const char* message, int /*flag*/) {
  if (!message) message = "";
  if (stream) {
    std::fprintf(stream, "#~# %s\n", message);
    return;
  }
  CreateLevelOnFirstUse(&gLogFirstUseDone);
  if (GetDebugRegistryValue(kReleaseMathLevel, 2) < 2) return;
  if (FILE* log = std::fopen(kGeomLogFileName, "a")) {
    std::fprintf(log, "#~# %s\n", message);
    std::fclose(log);
  } else {
    std::fprintf(stderr, "#~# %s\n", message);
  }
}

int OpenDumpLog(FILE** stream, int threshold) {
  CreateLevelOnFirstUse(&gDumpFirstUseDone);
  const int level = static_cast<int>(GetDebugRegistryValue(kReleaseMathLevel, 3));
  if (stream && level >= threshold && !*stream) *stream = std::fopen(kGeomLogFileName, "a");
  return level;
}

void ResetDiagnosticsFirstUse() {
  gLogFirstUseDone = 0;
  gDumpFirstUseDone = 0;
}

int Gassert(const char* message) {
  if (!message) message = "";
  std::printf("Gassert - %s\n", message);
  std::fflush(stdout);
  DebuggerOutput(message);
  DebuggerOutput("\n");
  const std::uint32_t level = GetDebugRegistryValue(kReleaseMathLevel, 0);
  if (level != 0) return static_cast<int>(level);
  const int answer = AskAssertion(message);
  if (answer == kAssertIgnore) return 0;
  if (answer == kAssertRetry) {
    BreakIntoDebugger();
    return 1;
  }
  // No box could be shown (no desktop, a service, a headless session): nobody chose to end the process, so
  // the assertion is passed over as if ignored.
  if (answer <= 0) return 0;
  std::abort();
}

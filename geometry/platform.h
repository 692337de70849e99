// The geometry layer's only contact with the operating system and the host: the debug key in the registry,
// the debugger channel, the assertion box, the host's 2D geometry library, the lock of the fill work-block pools
// and the failure reports of the fill code. On Windows these are the real services; natively the debug key is
// a map in memory that tests fill, there is no debugger channel and no box, the lock is a mutex and reports are
// kept for the tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct VOQbsp_curve;

namespace geomplatform {

// Under HKEY_LOCAL_MACHINE.
inline constexpr char kDebugKeyPath[] = "SOFTWARE\\Vantrell\\ORLO\\Core\\Debug";

using DebugKey = void*;

enum class DebugKeyOpen { kFailed, kCreated, kOpened };

// Opens the debug key for reading values only; null when it does not exist or cannot be opened.
DebugKey OpenDebugKeyForQuery();
// Creates or opens the debug key with full access (class string "REG_DWORD") and says which happened.
DebugKeyOpen CreateDebugKey(DebugKey* key);
// Reads up to four bytes of a value whatever its type; false when the value is missing or larger.
bool ReadDebugValue(DebugKey key, const char* name, std::uint32_t* value);
void WriteDebugDword(DebugKey key, const char* name, std::uint32_t value);
void CloseDebugKey(DebugKey key);

// OutputDebugStringA on Windows; natively nothing listens.
void DebuggerOutput(const char* text);

// The answers of the abort/retry/ignore box, as the platform numbers them.
constexpr int kAssertAbort = 3;
constexpr int kAssertRetry = 4;
constexpr int kAssertIgnore = 5;
// Shows the assertion box and answers the button pressed, or 0 or less when no box could be shown.
int AskAssertion(const char* message);
void BreakIntoDebugger();

// Direct access to the debug key for tests and set-up tools, with the same meaning on both platforms.
constexpr std::uint32_t kValueTypeBinary = 3;  // REG_BINARY
constexpr std::uint32_t kValueTypeDword = 4;   // REG_DWORD
bool StoreDebugValue(const char* name, const void* bytes, std::uint32_t size, std::uint32_t type);
inline bool StoreDebugDword(const char* name, std::uint32_t value) {
  return StoreDebugValue(name, &value, sizeof value, kValueTypeDword);
}
bool LoadDebugDword(const char* name, std::uint32_t* value);
bool RemoveDebugValue(const char* name);
bool RemoveDebugKey();

// The lock of the fill work-block pools. On Windows a critical section made by a static initialiser of this
// priority, right after the server's list of per-thread blocks, and deleted from the runtime's exit list; until
// it is made and after it is deleted, Enter answers false and the pools go unlocked.
#define GEOM_INIT_FILL_POOL_LOCK 1002
bool EnterFillPoolLock();
void LeaveFillPoolLock();

// A failure of the fill code, reported at its source: HRerr of the host's utility library on Windows (flags 0);
// natively kept in order for the tests.
void ReportFillFailure(std::int32_t hr, const char* source, int line);

#ifndef _WIN32
struct FillFailureReport {
  std::int32_t hr;
  const char* source;  // one of the fill code's source names
  int line;
};
int FillFailureCount();
FillFailureReport GetFillFailure(int index);
void ClearFillFailures();

// Native only: make every open of the debug key fail, and choose what the missing box answers.
void SetDebugKeyUnavailable(bool unavailable);
void SetAssertionAnswer(int answer);
#endif

// The host's 2D geometry library: the typed curves' memory, the life cycle of curve type 150 (a record of
// pointer-sized words that only the library reads), classification steps and its own tolerances. Each answers
// through *rc (0 success); positions are three doubles, loop points two. On Windows these are the imports of
// quarnet.dll; natively the same library is linked in.
void* GeomMalloc(std::size_t bytes);
void* GeomCalloc(std::size_t count, std::size_t size);
void GeomFree(void* block);
void GeomRcFromMathError(int code, int* rc);
// Fills a new record in `block` from words 1, 2, 4 and 5 of the source record.
void GeomType150Copy(std::uintptr_t word1, std::uintptr_t word2, std::uintptr_t word4, std::uintptr_t word5,
                     void* block, int* rc);
void GeomType150Clone(const void* source, void* destination, int* rc);
void GeomType150Free(void* record, int* rc);  // the contents; the caller frees the block
void GeomType150EndPoints(const void* record, double start[3], double end[3], int* rc);
void GeomType150Validate(std::FILE* stream, const void* record, int* valid, int* rc);
void GeomType150Print(std::FILE* stream, const void* record, int verbose, int* rc);
void GeomScopeOfPoles(int count, const double* poles, int rational, const double* weights, std::uint8_t* scope,
                      int* rc);
void GeomFormFromScope(const VOQbsp_curve* curve, std::uint8_t scope, std::uint8_t* form, int* rc);
void GeomPointsToLineString(int n, const double* points, int dimension, int mode, int* aux, int* m, double* out,
                            int* rc);
void GeomValidateKnots(int count, int order, const double* knots, double tolerance, int* ok, int* rc);
void GeomSetDistTolerance(double value, int* rc);
void GeomSetRelTolerance(double value, int* rc);
void GeomLoopOrientation(int n, const double* points, int* orientation);

}  // namespace geomplatform

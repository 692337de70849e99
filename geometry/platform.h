// The geometry layer's only contact with the operating system: the debug key in the registry, the debugger
// channel and the assertion box. On Windows these are the real services; natively the debug key is a map in
// memory that tests fill, there is no debugger channel and no box.
#pragma once

#include <cstdint>

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

#ifndef _WIN32
// Native only: make every open of the debug key fail, and choose what the missing box answers.
void SetDebugKeyUnavailable(bool unavailable);
void SetAssertionAnswer(int answer);
#endif

}  // namespace geomplatform

#ifndef _WIN32
#include "geometry/platform.h"

#include <csignal>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace geomplatform {

namespace {

// The debug key as the registry would hold it: whether it exists, and its values as raw bytes.
struct NativeDebugKey {
  bool exists = false;
  bool unavailable = false;
  std::map<std::string, std::vector<unsigned char>> values;
};

NativeDebugKey& TheKey() {
  static NativeDebugKey key;
  return key;
}

int gAssertionAnswer = 0;

std::mutex gFillPoolMutex;

std::mutex gFillReportMutex;
std::vector<FillFailureReport>& FillReports() {
  static std::vector<FillFailureReport> reports;
  return reports;
}

}  // namespace

DebugKey OpenDebugKeyForQuery() {
  NativeDebugKey& key = TheKey();
  return key.exists && !key.unavailable ? &key : nullptr;
}

DebugKeyOpen CreateDebugKey(DebugKey* handle) {
  NativeDebugKey& key = TheKey();
  if (key.unavailable) return DebugKeyOpen::kFailed;
  *handle = &key;
  if (key.exists) return DebugKeyOpen::kOpened;
  key.exists = true;
  return DebugKeyOpen::kCreated;
}

bool ReadDebugValue(DebugKey handle, const char* name, std::uint32_t* value) {
  auto& values = static_cast<NativeDebugKey*>(handle)->values;
  auto found = values.find(name);
  // A value longer than the four bytes asked for does not fit, as with the registry.
  if (found == values.end() || found->second.size() > sizeof *value) return false;
  std::uint32_t data = 0;
  if (!found->second.empty()) std::memcpy(&data, found->second.data(), found->second.size());
  *value = data;
  return true;
}

void WriteDebugDword(DebugKey handle, const char* name, std::uint32_t value) {
  auto bytes = reinterpret_cast<const unsigned char*>(&value);
  static_cast<NativeDebugKey*>(handle)->values[name].assign(bytes, bytes + sizeof value);
}

void CloseDebugKey(DebugKey) {}

void DebuggerOutput(const char*) {}

int AskAssertion(const char*) { return gAssertionAnswer; }

void BreakIntoDebugger() { std::raise(SIGTRAP); }

bool StoreDebugValue(const char* name, const void* bytes, std::uint32_t size, std::uint32_t) {
  NativeDebugKey& key = TheKey();
  if (key.unavailable) return false;
  key.exists = true;
  auto first = static_cast<const unsigned char*>(bytes);
  key.values[name].assign(first, first + size);
  return true;
}

bool LoadDebugDword(const char* name, std::uint32_t* value) {
  DebugKey key = OpenDebugKeyForQuery();
  return key && ReadDebugValue(key, name, value);
}

bool RemoveDebugValue(const char* name) {
  TheKey().values.erase(name);
  return true;
}

bool RemoveDebugKey() {
  NativeDebugKey& key = TheKey();
  key.exists = false;
  key.values.clear();
  return true;
}

void SetDebugKeyUnavailable(bool unavailable) { TheKey().unavailable = unavailable; }

void SetAssertionAnswer(int answer) { gAssertionAnswer = answer; }

bool EnterFillPoolLock() {
  gFillPoolMutex.lock();
  return true;
}

void LeaveFillPoolLock() { gFillPoolMutex.unlock(); }

void ReportFillFailure(std::int32_t hr, const char* source, int line) {
  std::lock_guard<std::mutex> hold(gFillReportMutex);
  FillReports().push_back({hr, source, line});
}

int FillFailureCount() {
  std::lock_guard<std::mutex> hold(gFillReportMutex);
  return static_cast<int>(FillReports().size());
}

FillFailureReport GetFillFailure(int index) {
  std::lock_guard<std::mutex> hold(gFillReportMutex);
  return FillReports().at(static_cast<std::size_t>(index));
}

void ClearFillFailures() {
  std::lock_guard<std::mutex> hold(gFillReportMutex);
  FillReports().clear();
}

}  // namespace geomplatform
#endif

// The live-object count of the style bases, for test executables that link the bases themselves: the count is
// that of the loaded stylesrv.dll, so the check at the end of the run covers the test styles as well. The
// module stays loaded for the rest of the process once a counted object was made.
#include "tests/support/stylesrv_test.h"

namespace {

const StyleServerInternals* Server() {
  static const StyleServerInternals* internals = [] {
    HMODULE module = LoadLibraryA("stylesrv.dll");
    auto get = module ? stylesrv_test::FindExport<decltype(&GetStyleServerInternals)>(module,
                                                                                      "GetStyleServerInternals")
                      : nullptr;
    return get ? get() : nullptr;
  }();
  if (!internals) ADD_FAILURE() << "stylesrv.dll did not load for the live-object count";
  return internals;
}

}  // namespace

void IncrementLiveObjectCount() {
  if (const StyleServerInternals* server = Server()) server->IncrementLiveObjectCount();
}

void DecrementLiveObjectCount() {
  if (const StyleServerInternals* server = Server()) server->DecrementLiveObjectCount();
}

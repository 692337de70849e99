// Quillet.dll: a test build of the host's optional diagnostic hook library. Its entry GetQuillet answers a hook
// that records every call it gets; the readers below let a test compare them with what it did. Tests find
// these exports with GetProcAddress, since a run without the library must work too.
#pragma once

#include "display/style/stylesrv_itf.h"

// The hook's operations, by their place in its table.
enum QuilletCallKind : DWORD {
  QUILLET_LIBRARY_CREATED = 0,
  QUILLET_LIBRARY_DESTROYED,
  QUILLET_ENTRY_ADDED,
  QUILLET_USE_COUNT,
  QUILLET_HOLD_COUNT,
  QUILLET_ENTRY_FREED,
  QUILLET_LOAD_BEGINS,
  QUILLET_LOAD_ENDS,
};

struct QuilletCall {
  DWORD kind;
  IUnknown* library;  // without a reference
  DWORD id;
  DWORD count;         // use or hold count; for an added entry its persistent ID
  BOOL named;          // an added entry has a name
};

using QuilletCallCountFn = LONG (*)();
using QuilletGetCallFn = BOOL (*)(LONG index, QuilletCall* out);
using QuilletClearCallsFn = void (*)();

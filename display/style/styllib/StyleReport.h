// Failures of the library's code are reported where they arise, through the utility library, under the short
// source name of the file (its kSource) and the line, and answered unchanged.
#pragma once

#include "host/pellow/pellow.h"

inline HRESULT StyleReport(const char* source, HRESULT hr, int line) {
  HRerr(hr, 0, source, line);
  return hr;
}

#define REPORT(hr) StyleReport(kSource, (hr), __LINE__)

// What the interpreter's tests stand in for: an offset line of this server's offset-line class, which is not
// built yet, as a recording double registered in the platform's class registry under that class's CLSID; and
// the way the interpreter, compiled into the test, makes objects: this server's classes through the loaded
// stylesrv.dll's class objects, any other class through the registry.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "display/style/stylesrv_itf.h"

namespace wrkbnch_test {

// The style each offset line was last given (identity, no reference), in creation order.
std::vector<IUnknown*>& OffsetLineReferences();

// An offset line of the double, with one reference, its values set.
HRESULT MakeOffsetLine(double offset, DWORD mode, IUnknown* referenced, IUnknown** out);

// Registers the double for this apartment while it lives.
class OffsetLineClass {
 public:
  OffsetLineClass();
  ~OffsetLineClass();
  OffsetLineClass(const OffsetLineClass&) = delete;
  OffsetLineClass& operator=(const OffsetLineClass&) = delete;

 private:
  DWORD m_cookie = 0;
};

}  // namespace wrkbnch_test

// The optional diagnostic hook library Quillet: loaded once when stylesrv loads, when it is there; every style
// library copies its hook and tells it what happens to the library.
#pragma once

#include "display/style/stylesrv_itf.h"

// The hook, or null when Quillet is absent or answered none.
IQuilletHook* GetQuilletHook();

// A hook's non-zero answer asks to stop in the debugger; without one attached the answer is only noted in the
// failure reports, since a breakpoint with nobody to catch it would end the host.
void QuilletAnswered(LONG answer, int line);

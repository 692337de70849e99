// Segments from two points, with the failure a test asks for.
#include "host/quarnet/quarnet.h"

namespace {

volatile LONG g_calls = 0;
volatile LONG g_failAt = 0;
volatile LONG g_failRc = 0;

}  // namespace

extern "C" {

void GeomFromTwoPoints2d(QuarnetGeometry2d* geometry, const double* start, const double* end, LONG* rc) {
  const LONG call = InterlockedIncrement(&g_calls);
  if (!rc) return;
  if (g_failAt != 0 && call == g_failAt) {
    *rc = g_failRc;
    return;
  }
  if (!geometry || !start || !end) {
    *rc = 1;
    return;
  }
  *geometry = QuarnetGeometry2d{1, 0, {start[0], start[1]}, {end[0], end[1]}};
  *rc = 0;
}

void QnFailTwoPointsAt(LONG n, LONG rc) {
  InterlockedExchange(&g_failRc, rc);
  InterlockedExchange(&g_failAt, n == 0 ? 0 : g_calls + n);
}

LONG QnTwoPointsCount() { return g_calls; }

}  // extern "C"

// Segments from two points and where their lines meet, each call recorded, with the failure a test asks for.
#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <vector>

#include "host/quarnet/quarnet.h"

namespace {

volatile LONG g_calls = 0;
volatile LONG g_failAt = 0;
volatile LONG g_failRc = 0;
constexpr std::size_t kKeptCalls = 1 << 16;

std::vector<QnGeomCall>& Calls() {
  static std::vector<QnGeomCall> calls;
  return calls;
}

void Record(LONG routine, LONG rc, std::initializer_list<const double*> points, const double* point = nullptr) {
  QnGeomCall call{routine, rc, {}, {}};
  int k = 0;
  for (const double* p : points) {
    if (p) {
      call.in[k] = p[0];
      call.in[k + 1] = p[1];
    }
    k += 2;
  }
  if (point) {
    call.point[0] = point[0];
    call.point[1] = point[1];
  }
  // A host drawing for long keeps only the first calls; nothing may throw back into C callers.
  std::vector<QnGeomCall>& calls = Calls();
  if (calls.size() >= kKeptCalls) return;
  try {
    calls.push_back(call);
  } catch (...) {
  }
}

bool FiniteLine(const QuarnetGeometry2d* g) {
  return g->kind == 1 && std::isfinite(g->start[0]) && std::isfinite(g->start[1]) && std::isfinite(g->end[0]) &&
         std::isfinite(g->end[1]);
}

}  // namespace

extern "C" {

void GeomFromTwoPoints2d(QuarnetGeometry2d* geometry, const double* start, const double* end, LONG* rc) {
  const LONG call = InterlockedIncrement(&g_calls);
  if (!rc) return;
  if (g_failAt != 0 && call == g_failAt) {
    *rc = g_failRc;
  } else if (!geometry || !start || !end) {
    *rc = 1;
  } else {
    *geometry = QuarnetGeometry2d{1, 0, {start[0], start[1]}, {end[0], end[1]}};
    *rc = 0;
  }
  Record(QN_CALL_TWO_POINTS, *rc, {start, end});
}

void GeomCurveCurveRelation(const QuarnetGeometry2d* first, const QuarnetGeometry2d* second, LONG flag,
                            double* point, LONG* rc) {
  if (!rc) return;
  *rc = 1;
  if (first && second && point && flag == 1 && FiniteLine(first) && FiniteLine(second)) {
    const double ax = first->end[0] - first->start[0], ay = first->end[1] - first->start[1];
    const double bx = second->end[0] - second->start[0], by = second->end[1] - second->start[1];
    const double cross = ax * by - ay * bx;
    // Parallel within the relative tolerance of the directions' lengths; a segment of no length meets nothing.
    if (!(std::fabs(cross) > 1e-10 * std::hypot(ax, ay) * std::hypot(bx, by))) {
      *rc = 2;
    } else {
      const double wx = second->start[0] - first->start[0], wy = second->start[1] - first->start[1];
      const double t = (wx * by - wy * bx) / cross;
      point[0] = first->start[0] + t * ax;
      point[1] = first->start[1] + t * ay;
      *rc = 0;
    }
  }
  Record(QN_CALL_RELATION, *rc, {first ? first->start : nullptr, first ? first->end : nullptr,
                                 second ? second->start : nullptr, second ? second->end : nullptr},
         *rc == 0 ? point : nullptr);
}

void QnFailTwoPointsAt(LONG n, LONG rc) {
  InterlockedExchange(&g_failRc, rc);
  InterlockedExchange(&g_failAt, n == 0 ? 0 : g_calls + n);
}

LONG QnTwoPointsCount() { return g_calls; }

LONG QnGeomCallCount() { return static_cast<LONG>(Calls().size()); }

BOOL QnGetGeomCall(LONG index, QnGeomCall* call) {
  if (!call || index < 0 || index >= QnGeomCallCount()) return FALSE;
  *call = Calls()[static_cast<std::size_t>(index)];
  return TRUE;
}

void QnClearGeomCalls() { Calls().clear(); }

}  // extern "C"

#include "host/quarnet/geom_services.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "bspline/bspline.h"  // the curve record only

namespace {

constexpr std::size_t kLargestBlock = std::size_t{1} << 30;

struct ToleranceCall {
  int which;
  double value;
  int rc;
};

// Process-wide state; the lock keeps the block table sound if the host calls from several threads.
struct Library {
  std::mutex lock;
  std::unordered_set<void*> blocks;
  int requests = 0;
  int failAt = 0;
  int foreignFrees = 0;
  std::unordered_set<std::string> failing;
  double distTolerance = 1e-6;
  double relTolerance = 1e-10;
  std::vector<ToleranceCall> toleranceCalls;
};

Library& Lib() {
  static Library* library = new Library;  // never destroyed: blocks may be freed during shutdown
  return *library;
}

const char* const kServices[] = {
    "GeomRcFromMathError", "GeomType150Copy",        "GeomType150Clone",  "GeomType150Free",
    "GeomType150EndPoints", "GeomType150Validate",   "GeomType150Print",  "GeomScopeOfPoles",
    "GeomFormFromScope",    "GeomPointsToLineString", "GeomValidateKnots", "GeomSetDistTolerance",
    "GeomSetRelTolerance"};

// Sets *rc to 0, or to 1 when a test asked this service to fail (answered true: the service does nothing).
bool Enter(const char* service, int* rc) {
  Library& lib = Lib();
  std::lock_guard<std::mutex> hold(lib.lock);
  bool fail = lib.failing.erase(service) > 0;
  if (rc) *rc = fail ? 1 : 0;
  return fail;
}

// One allocation request; `overflowed` is a count times size that did not fit.
void* Take(std::size_t bytes, bool zero, bool overflowed) {
  Library& lib = Lib();
  std::lock_guard<std::mutex> hold(lib.lock);
  ++lib.requests;
  if (lib.failAt > 0 && --lib.failAt == 0) return nullptr;
  if (overflowed || bytes > kLargestBlock) return nullptr;
  void* block = zero ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
  if (!block) return nullptr;
  if (!zero) std::memset(block, 0xCD, bytes);
  lib.blocks.insert(block);
  return block;
}

bool Finite(const double* values, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isfinite(values[i])) return false;
  }
  return true;
}

// ---- Type 150

using Words = std::uintptr_t*;

Words WordsOf(void* record) { return static_cast<Words>(record); }
const std::uintptr_t* WordsOf(const void* record) { return static_cast<const std::uintptr_t*>(record); }

bool IsEmpty150(const std::uintptr_t* w) {
  for (int i = 0; i < kQnType150Words; ++i) {
    if (w[i] != 0) return false;
  }
  return true;
}

// A record whose words hang together: the mark, a closed flag of 0 or 1, two doubles a point and an array
// for any points it counts.
bool IsSound150(const std::uintptr_t* w) {
  return w[0] == kQnType150Mark && w[4] <= 1 && w[5] == 2 && (w[1] == 0 || w[2] != 0) &&
         w[1] <= kLargestBlock / (2 * sizeof(double));
}

const double* Points150(const std::uintptr_t* w) { return reinterpret_cast<const double*>(w[2]); }

// A new array of `count` 2D points copied from `points`; null when there is no memory.
double* DuplicatePoints(std::uintptr_t count, const double* points) {
  std::size_t bytes = static_cast<std::size_t>(count) * 2 * sizeof(double);
  double* copy = static_cast<double*>(GeomMalloc(bytes));
  if (copy && bytes) std::memcpy(copy, points, bytes);
  return copy;
}

// ---- Classification

double Distance(const double* a, const double* b) {
  return std::sqrt((a[0] - b[0]) * (a[0] - b[0]) + (a[1] - b[1]) * (a[1] - b[1]) + (a[2] - b[2]) * (a[2] - b[2]));
}

void Cross(const double* a, const double* b, double* out) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

double Norm(const double* v) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// The distance of p from the line through a along the unit vector d.
double LineDistance(const double* p, const double* a, const double* d) {
  const double v[3] = {p[0] - a[0], p[1] - a[1], p[2] - a[2]};
  double c[3];
  Cross(v, d, c);
  return Norm(c);
}

int ScopeOf(const double* pts, int n, double tol) {
  const double* first = pts;
  // The line runs from the first pole to the one farthest from it, the plane adds the one farthest from the
  // line: the widest base keeps the tests sound for poles that crowd near the first.
  int farthest = 0;
  double farDistance = 0.0;
  for (int i = 1; i < n; ++i) {
    double d = Distance(&pts[3 * i], first);
    if (d > farDistance) farthest = i, farDistance = d;
  }
  if (farDistance <= tol) return 3;
  const double* end = &pts[3 * farthest];
  const double dir[3] = {(end[0] - first[0]) / farDistance, (end[1] - first[1]) / farDistance,
                         (end[2] - first[2]) / farDistance};
  int side = 0;
  double sideDistance = 0.0;
  for (int i = 1; i < n; ++i) {
    double d = LineDistance(&pts[3 * i], first, dir);
    if (d > sideDistance) side = i, sideDistance = d;
  }
  if (sideDistance <= tol) return 2;
  const double* s = &pts[3 * side];
  const double toSide[3] = {s[0] - first[0], s[1] - first[1], s[2] - first[2]};
  double normal[3];
  Cross(dir, toSide, normal);
  const double length = Norm(normal);
  for (int i = 1; i < n; ++i) {
    const double* p = &pts[3 * i];
    double h = ((p[0] - first[0]) * normal[0] + (p[1] - first[1]) * normal[1] + (p[2] - first[2]) * normal[2]) /
               length;
    if (std::fabs(h) > tol) return 4;
  }
  return 1;
}

// The pole i unweighted; false for a zero or non-finite weight or pole.
bool Unweighted(const double* poles, const double* weights, int i, double* out) {
  double w = weights ? weights[i] : 1.0;
  if (!std::isfinite(w) || w == 0.0) return false;
  for (int k = 0; k < 3; ++k) out[k] = poles[3 * i + k] / w;
  return Finite(out, 3);
}

void SetTolerance(int which, double value, int* rc) {
  Library& lib = Lib();
  std::lock_guard<std::mutex> hold(lib.lock);
  int code = 0;
  if (lib.failing.erase(which == 0 ? "GeomSetDistTolerance" : "GeomSetRelTolerance") > 0) {
    code = 1;
  } else if (!(std::isfinite(value) && value > 0.0)) {
    code = 2;
  } else {
    (which == 0 ? lib.distTolerance : lib.relTolerance) = value;
  }
  lib.toleranceCalls.push_back({which, value, code});
  if (rc) *rc = code;
}

double DistTolerance() {
  Library& lib = Lib();
  std::lock_guard<std::mutex> hold(lib.lock);
  return lib.distTolerance;
}

}  // namespace

extern "C" {

void* GeomMalloc(std::size_t bytes) { return Take(bytes, false, false); }

void* GeomCalloc(std::size_t count, std::size_t size) {
  return Take(count * size, true, size && count > kLargestBlock / size);
}

void GeomFree(void* block) {
  if (!block) return;
  Library& lib = Lib();
  {
    std::lock_guard<std::mutex> hold(lib.lock);
    if (lib.blocks.erase(block) == 0) {
      ++lib.foreignFrees;
      return;
    }
  }
  std::free(block);
}

void GeomRcFromMathError(int code, int* rc) {
  if (Enter("GeomRcFromMathError", rc) || !rc) return;
  *rc = code == BSRC_ALLOC_CURVE || code == BSRC_NO_SCRATCH ? 6 : 1;
}

void GeomType150Copy(std::uintptr_t count, std::uintptr_t points, std::uintptr_t closed, std::uintptr_t perPoint,
                     void* block, int* rc) {
  if (Enter("GeomType150Copy", rc)) return;
  const double* source = reinterpret_cast<const double*>(points);
  if (!block || perPoint != 2 || closed > 1 || (count && !source) ||
      count > kLargestBlock / (2 * sizeof(double))) {
    *rc = 1;
    return;
  }
  double* own = DuplicatePoints(count, source);
  if (!own) {
    *rc = 6;
    return;
  }
  Words w = WordsOf(block);
  std::memset(w, 0, kQnType150Words * sizeof *w);
  w[0] = kQnType150Mark;
  w[1] = count;
  w[2] = reinterpret_cast<std::uintptr_t>(own);
  w[4] = closed;
  w[5] = 2;
}

void GeomType150Clone(const void* source, void* destination, int* rc) {
  if (Enter("GeomType150Clone", rc)) return;
  if (!source || !destination || !IsSound150(WordsOf(source))) {
    *rc = 1;
    return;
  }
  const std::uintptr_t* from = WordsOf(source);
  Words to = WordsOf(destination);
  if (from == to) return;
  if (!IsEmpty150(to) && !IsSound150(to)) {
    *rc = 1;
    return;
  }
  if (to[0] == kQnType150Mark && to[1] == from[1]) {
    if (from[1]) std::memcpy(reinterpret_cast<double*>(to[2]), Points150(from), from[1] * 2 * sizeof(double));
    to[4] = from[4];
    return;
  }
  double* own = DuplicatePoints(from[1], Points150(from));
  if (!own) {
    *rc = 6;
    return;
  }
  if (to[2]) GeomFree(reinterpret_cast<void*>(to[2]));
  to[0] = kQnType150Mark;
  to[1] = from[1];
  to[2] = reinterpret_cast<std::uintptr_t>(own);
  to[3] = 0;
  to[4] = from[4];
  to[5] = 2;
}

void GeomType150Free(void* record, int* rc) {
  if (Enter("GeomType150Free", rc)) return;
  if (!record) {
    *rc = 1;
    return;
  }
  Words w = WordsOf(record);
  if (IsEmpty150(w)) return;
  if (!IsSound150(w)) {
    *rc = 1;
    return;
  }
  if (w[2]) GeomFree(reinterpret_cast<void*>(w[2]));
  std::memset(w, 0, kQnType150Words * sizeof *w);
}

void GeomType150EndPoints(const void* record, double start[3], double end[3], int* rc) {
  if (Enter("GeomType150EndPoints", rc)) return;
  const std::uintptr_t* w = WordsOf(record);
  if (!record || !start || !end || !IsSound150(w) || w[1] == 0) {
    *rc = 1;
    return;
  }
  const double* points = Points150(w);
  const double* last = w[4] ? points : points + 2 * (w[1] - 1);
  start[0] = points[0], start[1] = points[1], start[2] = 0.0;
  end[0] = last[0], end[1] = last[1], end[2] = 0.0;
}

void GeomType150Validate(std::FILE* stream, const void* record, int* valid, int* rc) {
  if (Enter("GeomType150Validate", rc)) return;
  if (!record || !valid) {
    *rc = 1;
    return;
  }
  const std::uintptr_t* w = WordsOf(record);
  const char* fault = nullptr;
  if (!IsSound150(w))
    fault = "damaged record";
  else if (w[1] < 2)
    fault = "fewer than two points";
  else if (!Finite(Points150(w), w[1] * 2))
    fault = "point not finite";
  *valid = fault ? 0 : 1;
  if (fault && stream) std::fprintf(stream, "Type150: %s\n", fault);
}

void GeomType150Print(std::FILE* stream, const void* record, int verbose, int* rc) {
  if (Enter("GeomType150Print", rc)) return;
  const std::uintptr_t* w = WordsOf(record);
  if (!record || !IsSound150(w)) {
    *rc = 1;
    return;
  }
  if (!stream) stream = stderr;
  std::fprintf(stream, "Type150{\npoints %lu closed %lu\n", static_cast<unsigned long>(w[1]),
               static_cast<unsigned long>(w[4]));
  if (verbose) {
    const double* p = Points150(w);
    for (std::uintptr_t i = 0; i < w[1]; ++i) std::fprintf(stream, "%.17g %.17g\n", p[2 * i], p[2 * i + 1]);
  }
  std::fprintf(stream, "}Type150\n");
}

void GeomScopeOfPoles(int count, const double* poles, int rational, const double* weights, std::uint8_t* scope,
                      int* rc) {
  if (Enter("GeomScopeOfPoles", rc)) return;
  if (count < 1 || !poles || !scope || (rational && !weights)) {
    *rc = 1;
    return;
  }
  // Plain poles are their own unweighted points: only weighted ones are divided into a copy.
  std::vector<double> divided;
  const double* pts = poles;
  if (rational) {
    divided.resize(3 * static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      if (!Unweighted(poles, weights, i, &divided[3 * i])) {
        *rc = 1;
        return;
      }
    }
    pts = divided.data();
  } else if (!Finite(poles, 3 * static_cast<std::size_t>(count))) {
    *rc = 1;
    return;
  }
  *scope = static_cast<std::uint8_t>(ScopeOf(pts, count, DistTolerance()));
}

void GeomFormFromScope(const VOQbsp_curve* curve, std::uint8_t, std::uint8_t* form, int* rc) {
  if (Enter("GeomFormFromScope", rc)) return;
  if (!curve || !form || curve->num_poles < 1 || !curve->poles || (curve->rational && !curve->weights)) {
    *rc = 1;
    return;
  }
  if (curve->periodic) {
    *form = 6;
    return;
  }
  const double* weights = curve->rational ? curve->weights : nullptr;
  double first[3], last[3];
  if (!Unweighted(curve->poles, weights, 0, first) ||
      !Unweighted(curve->poles, weights, curve->num_poles - 1, last)) {
    *rc = 1;
    return;
  }
  *form = Distance(first, last) <= DistTolerance() ? 2 : 1;
}

void GeomPointsToLineString(int n, const double* points, int dimension, int mode, int* aux, int* m, double* out,
                            int* rc) {
  if (Enter("GeomPointsToLineString", rc)) return;
  if (n < 1 || !points || !m || !out || (dimension != 2 && dimension != 3) || mode != 1 ||
      !Finite(points, static_cast<std::size_t>(n) * dimension)) {
    *rc = 1;
    return;
  }
  const double tol = DistTolerance();
  const std::size_t step = static_cast<std::size_t>(dimension);
  std::memmove(out, points, step * sizeof(double));
  int kept = 1;
  for (int i = 1; i < n; ++i) {
    const double* p = points + i * step;
    const double* last = out + (kept - 1) * step;
    double sum = 0.0;
    for (std::size_t k = 0; k < step; ++k) sum += (p[k] - last[k]) * (p[k] - last[k]);
    if (std::sqrt(sum) <= tol) continue;
    std::memmove(out + kept * step, p, step * sizeof(double));
    ++kept;
  }
  *m = kept;
  if (aux) *aux = n - kept;
}

void GeomValidateKnots(int count, int order, const double* knots, double tolerance, int* ok, int* rc) {
  if (Enter("GeomValidateKnots", rc)) return;
  if (!knots || !ok || count < 0 || !(std::isfinite(tolerance) && tolerance >= 0.0)) {
    *rc = 1;
    return;
  }
  *ok = 0;
  if (order < 2 || count - order < order || !Finite(knots, static_cast<std::size_t>(count))) return;
  for (int i = 1; i < count; ++i) {
    if (knots[i] < knots[i - 1]) return;
  }
  const double low = knots[order - 1], high = knots[count - order];
  if (!(high - low > tolerance)) return;
  for (int i = 0; i < count;) {
    int j = i;
    while (j + 1 < count && knots[j + 1] - knots[j] <= tolerance) ++j;
    bool interior = knots[i] - low > tolerance && high - knots[j] > tolerance;
    if (interior && j - i + 1 > order) return;
    i = j + 1;
  }
  *ok = 1;
}

void GeomSetDistTolerance(double value, int* rc) { SetTolerance(0, value, rc); }
void GeomSetRelTolerance(double value, int* rc) { SetTolerance(1, value, rc); }

void GeomLoopOrientation(int n, const double* points, int* orientation) {
  if (!orientation) return;
  double area = 0.0;
  for (int i = 0; points && i < n; ++i) {
    const double* a = points + 2 * i;
    const double* b = points + 2 * ((i + 1) % n);
    area += a[0] * b[1] - b[0] * a[1];
  }
  *orientation = area >= 0.0 ? 1 : 0;
}

int QnGeomLiveBlocks() {
  Library& lib = Lib();
  std::lock_guard<std::mutex> hold(lib.lock);
  return static_cast<int>(lib.blocks.size());
}

int QnGeomRequests() {
  Library& lib = Lib();
  std::lock_guard<std::mutex> hold(lib.lock);
  return lib.requests;
}

void QnGeomFailAllocAt(int n) {
  Library& lib = Lib();
  std::lock_guard<std::mutex> hold(lib.lock);
  lib.failAt = n > 0 ? n : 0;
}

int QnGeomForeignFrees() {
  Library& lib = Lib();
  std::lock_guard<std::mutex> hold(lib.lock);
  return lib.foreignFrees;
}

int QnGeomFailService(const char* name) {
  if (!name) return 0;
  for (const char* known : kServices) {
    if (std::strcmp(known, name) == 0) {
      Library& lib = Lib();
      std::lock_guard<std::mutex> hold(lib.lock);
      lib.failing.insert(known);
      return 1;
    }
  }
  return 0;
}

double QnGeomDistTolerance() { return DistTolerance(); }

double QnGeomRelTolerance() {
  Library& lib = Lib();
  std::lock_guard<std::mutex> hold(lib.lock);
  return lib.relTolerance;
}

int QnGeomToleranceCallCount() {
  Library& lib = Lib();
  std::lock_guard<std::mutex> hold(lib.lock);
  return static_cast<int>(lib.toleranceCalls.size());
}

int QnGeomToleranceCall(int index, int* which, double* value, int* rc) {
  Library& lib = Lib();
  std::lock_guard<std::mutex> hold(lib.lock);
  if (index < 0 || index >= static_cast<int>(lib.toleranceCalls.size())) return 0;
  const ToleranceCall& call = lib.toleranceCalls[index];
  if (which) *which = call.which;
  if (value) *value = call.value;
  if (rc) *rc = call.rc;
  return 1;
}

void QnGeomReset() {
  Library& lib = Lib();
  std::lock_guard<std::mutex> hold(lib.lock);
  lib.failAt = 0;
  lib.foreignFrees = 0;
  lib.failing.clear();
  lib.distTolerance = 1e-6;
  lib.relTolerance = 1e-10;
  lib.toleranceCalls.clear();
}

}  // extern "C"

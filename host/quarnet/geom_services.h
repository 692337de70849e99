// The host's 2D geometry library (stand-in): the services behind the geometry layer's typed curves, its
// memory, the life cycle of curve type 150 and a few classification steps, with readers and failure switches
// for the tests. Portable code without Windows types: the same source is part of quarnet.dll and, natively, a
// static library; the geometry layer reaches it only through its platform seam (geometry/platform.h).
//
// The stand-in's own choices (the real library's inner working is its own):
// - Codes: 0 success, 1 a bad argument or damaged record (NaN and infinities included) or a failure asked for by
//   a test, 2 a refused tolerance, 6 no memory.
// - Memory counts its live blocks, fails the n-th request on demand, answers null above 1 GiB (and for a count
//   times size that overflows), and records, without touching it, a GeomFree of a block it did not hand out.
//   Fresh blocks of GeomMalloc carry the byte 0xCD, so that code relying on zeroed memory shows it.
// - The distance tolerance (1e-6) and the relative tolerance (1e-10) start as the geometry layer's own.
// - Type 150 is a record of pointer-sized words in a block of at least kQnType150Words words, zero when empty:
//   word 0 the stand-in's mark, 1 the point count, 2 the point array (2D, from GeomMalloc, owned by the
//   record), 3 unused (0), 4 the closed flag (0 or 1), 5 the doubles per point (always 2).
// - Scope: 3 when every pole lies within the distance tolerance of the first, else 2 when all lie within it
//   of one line, else 1 when within it of one plane, else 4. Rational poles are weighted and are divided by
//   their weights first.
// - Form: 6 for a periodic curve, else 2 when its first and last poles (unweighted) lie within the distance
//   tolerance of each other, else 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct VOQbsp_curve;

#if defined(_WIN32)
#if defined(QUARNET_BUILD)
#define QUARNET_GEOM_API __declspec(dllexport)
#else
#define QUARNET_GEOM_API __declspec(dllimport)
#endif
#else
#define QUARNET_GEOM_API
#endif

constexpr std::uintptr_t kQnType150Mark = 0x51150150u;
constexpr int kQnType150Words = 6;

extern "C" {

// ---- Memory (ordinals 204, 658, 205, 660)

QUARNET_GEOM_API void* GeomMalloc(std::size_t bytes);
QUARNET_GEOM_API void* GeomCalloc(std::size_t count, std::size_t size);
// Releases a block of either; null does nothing.
QUARNET_GEOM_API void GeomFree(void* block);
// *rc 6 for the B-spline library's failed curve allocation (-13) or scratch memory (33), 1 for any other code.
QUARNET_GEOM_API void GeomRcFromMathError(int code, int* rc);

// ---- Curve type 150 (ordinals 634, 652, 635, 653, 654, 638)

// Fills a new record in `block` from another's words 1, 2, 4 and 5: copies `count` points of `points`
// (`perPoint` doubles each, which must be 2) into an array of its own. On failure the block is not written.
QUARNET_GEOM_API void GeomType150Copy(std::uintptr_t count, std::uintptr_t points, std::uintptr_t closed,
                                      std::uintptr_t perPoint, void* block, int* rc);
// Copies into an existing record (an empty one is filled); its array is replaced only when the counts differ.
// On failure the destination is unchanged.
QUARNET_GEOM_API void GeomType150Clone(const void* source, void* destination, int* rc);
// Releases the record's array and empties it; an empty record gives 0, a damaged one 1 and is left alone.
QUARNET_GEOM_API void GeomType150Free(void* record, int* rc);
// The first point and the last one (the first again when closed), z 0.
QUARNET_GEOM_API void GeomType150EndPoints(const void* record, double start[3], double end[3], int* rc);
// *valid 1 for a record with its mark, at least two finite points and a closed flag of 0 or 1; otherwise 0
// and a line "Type150: ..." to the stream (when one is given).
QUARNET_GEOM_API void GeomType150Validate(std::FILE* stream, const void* record, int* valid, int* rc);
// "Type150{", the count and closed flag, with `verbose` each point, "}Type150"; a null stream is stderr.
QUARNET_GEOM_API void GeomType150Print(std::FILE* stream, const void* record, int verbose, int* rc);

// ---- Classification (ordinals 3, 2, 363, 392, 424, 427, 598)

QUARNET_GEOM_API void GeomScopeOfPoles(int count, const double* poles, int rational, const double* weights,
                                       std::uint8_t* scope, int* rc);
// `scope` is accepted for the callers' sake; the form does not depend on it here.
QUARNET_GEOM_API void GeomFormFromScope(const VOQbsp_curve* curve, std::uint8_t scope, std::uint8_t* form,
                                        int* rc);
// Keeps the first point and every later one farther than the distance tolerance from the last point kept;
// a collinear point is never dropped. `dimension` is 2 or 3, `mode` must be 1; `out` (n points, may be
// `points` itself) receives the *m points kept, *aux (when given) the number dropped.
QUARNET_GEOM_API void GeomPointsToLineString(int n, const double* points, int dimension, int mode, int* aux,
                                             int* m, double* out, int* rc);
// *ok 1 when the knots are finite and non-decreasing, count - order >= order (the poles), no run of knots
// equal within the tolerance and lying inside the range is longer than the order, and the range
// [knots[order - 1], knots[count - order]] is wider than the tolerance; else 0. A negative or non-finite
// tolerance gives rc 1.
QUARNET_GEOM_API void GeomValidateKnots(int count, int order, const double* knots, double tolerance, int* ok,
                                        int* rc);
// Refuse a value that is not positive and finite (rc 2, the tolerance kept); every call is recorded.
QUARNET_GEOM_API void GeomSetDistTolerance(double value, int* rc);
QUARNET_GEOM_API void GeomSetRelTolerance(double value, int* rc);
// 1 when the loop of n 2D points turns counter-clockwise (shoelace area >= 0, so also for fewer than three
// points), else 0 (a NaN area included).
QUARNET_GEOM_API void GeomLoopOrientation(int n, const double* points, int* orientation);

// ---- Readers and switches for the tests

QUARNET_GEOM_API int QnGeomLiveBlocks();
// Allocation requests made so far (granted or not).
QUARNET_GEOM_API int QnGeomRequests();
// The n-th allocation request from now (1 = the next) answers null; 0 disarms.
QUARNET_GEOM_API void QnGeomFailAllocAt(int n);
// GeomFree calls with a block that the library did not hand out (or had already taken back).
QUARNET_GEOM_API int QnGeomForeignFrees();
// The next call of the named service (any of the above with an rc) answers rc 1 and does nothing else.
// Answers 0 for a name it does not know.
QUARNET_GEOM_API int QnGeomFailService(const char* name);
QUARNET_GEOM_API double QnGeomDistTolerance();
QUARNET_GEOM_API double QnGeomRelTolerance();
// The recorded tolerance setter calls in order: `which` 0 distance, 1 relative; answers 0 past the end.
QUARNET_GEOM_API int QnGeomToleranceCallCount();
QUARNET_GEOM_API int QnGeomToleranceCall(int index, int* which, double* value, int* rc);
// Disarms every failure, forgets the recorded calls and foreign frees and restores the tolerances; blocks stay.
QUARNET_GEOM_API void QnGeomReset();

}  // extern "C"

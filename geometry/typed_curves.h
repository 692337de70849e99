// Typed curves: the geometry layer's one handle for every kind of curve, a per-type record and its type code,
// with the routines that allocate, free and copy them.
//
// Conventions of every routine here:
// - A trailing `rc` is set to 0 on entry; 5 an unsupported type, a nested complex string, a null record or a
//   destination that is missing an array or has too little room, 6 no memory (an allocator of B-spline arrays
//   reports 1 instead); a code of a geometry library service is passed on as it is.
// - On exit the routine passes its lower-case name to the B-spline library's exit hook and, when `rc` is not
//   0, pushes its exact name onto the error trace (BSexit).
// - All memory comes from the host's geometry library (geomplatform::GeomMalloc and its kin). A typed curve
//   owns its record; records are never shared, and every copy duplicates the arrays. A record block made here
//   is as large as a GArc, the largest record, whatever its type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "geometry/geometry.h"

// ---------------------------------------------------------------------------------------------------------
// Type codes and records

inline constexpr std::uint8_t kCurveLine = 3;            // GLine
inline constexpr std::uint8_t kCurveLineString = 4;      // GLineString
inline constexpr std::uint8_t kCurveComplexString = 12;  // GComplexString
inline constexpr std::uint8_t kCurveEllipse = 15;        // GEllipse
inline constexpr std::uint8_t kCurveArc = 16;            // GArc
inline constexpr std::uint8_t kCurveBspline = 27;        // GBspCurve
inline constexpr std::uint8_t kCurveLibrary = 150;       // a record kept by the geometry library

// form: 1 open, 2 closed, 3 closed with matching end tangents, 6 periodic. scope: 1 planar, 2 linear, 3 a point,
// 4 not planar. For line strings, complex strings and B-spline curves these are the geometry library's codes.

struct GTypedCurve {
  void* pCurve;       // the record, null when empty
  std::uint8_t type;
};

// rootPoint + t * direction for t from start to end (start <= end).
struct GLine {
  GPosition rootPoint;
  GUnitVector direction;
  double start;
  double end;
};

struct GLineString {
  GPosition* pPoints;
  std::uint32_t numPoints;  // at least 2; the room of pPoints as the allocator made it
  std::uint8_t form;
  std::uint8_t scope;
};

// The end of member i - 1 is the start of member i within the distance tolerance; a member is never itself a
// complex string.
struct GComplexString {
  GTypedCurve* curves;  // each member owns its record
  std::uint32_t numCurves;
  std::uint8_t form;
  std::uint8_t scope;
};

struct GEllipse {
  GPosition center;
  GUnitVector normal;          // of the ellipse's plane
  GVector majorAxis;           // centre to the end of the major axis: its length is the major radius
  double minorMajorRatio;      // minor radius over major radius
};

// Angles in radians on the ellipse from the major axis; the sweep endAngle - startAngle is at most 2 pi.
struct GArc : GEllipse {
  double startAngle;
  double endAngle;
};

// Unlike the B-spline library's curve, whose poles are stored multiplied by their weights, the poles here are
// plain and the weights lie beside them.
struct GBspCurve {
  GPosition* pPoles;        // numPoles
  double* pWeights;         // numPoles, only when rational
  double* pKnots;           // numKnots
  double length;            // -1.0 until computed
  std::uint32_t numPoles;
  std::uint32_t numKnots;   // numPoles + order
  std::uint32_t rational;   // 0 or 1
  GTypedCurve* curve;       // an attached curve block that the record owns, or null ("curve_flag")
  std::uint8_t order;       // degree + 1, at least 2
  std::uint8_t form;
  std::uint8_t scope;
  std::uint8_t properties;  // 0 to 3
};

// Member arrays hold sizeof(GTypedCurve) per member, whatever the pointer width; record blocks are a GArc.
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(GTypedCurve) == 8);
static_assert(sizeof(GLine) == 64);
static_assert(sizeof(GLineString) == 12);
static_assert(sizeof(GComplexString) == 12);
static_assert(sizeof(GEllipse) == 80);
static_assert(sizeof(GArc) == 96);
static_assert(sizeof(GBspCurve) == 48 && offsetof(GBspCurve, length) == 16 && offsetof(GBspCurve, curve) == 36 &&
              offsetof(GBspCurve, order) == 40);
#endif
static_assert(sizeof(GArc) >= sizeof(GLine) && sizeof(GArc) >= sizeof(GLineString) &&
                  sizeof(GArc) >= sizeof(GComplexString) && sizeof(GArc) >= sizeof(GEllipse) &&
                  sizeof(GArc) >= sizeof(GBspCurve),
              "a record block is as large as a GArc and must hold every record");
static_assert(std::is_trivially_copyable_v<GArc> && std::is_trivially_copyable_v<GBspCurve>);

// A type-150 record is pointer-sized words in a GArc block; a copy hands words 1, 2, 4 and 5 to the library.
inline constexpr int kLibraryCurveWords = sizeof(GArc) / sizeof(std::uintptr_t);

// ---------------------------------------------------------------------------------------------------------
// Freeing: each leaves its record empty; a null record pointer gives rc 5.

// Frees the record's contents by type and then its block; pCurve becomes null, the type code stays. An empty
// typed curve is left as it is (rc 0). rc is the contents' routine's code.
void IMGTCFree(GTypedCurve* tc, int* rc);
void IMGLSFree(GLineString* ls, int* rc);
// Frees every member (a member's failure does not stop the loop; rc is the last member code) and the array.
void IMGCSFree(GComplexString* cs, int* rc);
// Frees the three arrays and the attached curve with its block; the counts become 0.
void IMGCvFree(GBspCurve* cv, int* rc);

// ---------------------------------------------------------------------------------------------------------
// Allocation: the records are shaped (arrays of the right sizes) but not filled. A failed allocator leaves what
// it did allocate in the record for the matching free routine, except IMCSAlloFTC, which frees its partial
// string. A byte size that does not fit in memory is a failed allocation, with nothing allocated.

// numPoints is set first; rc 6 when the array cannot be had.
void IMGLSAlloc(std::uint32_t numPoints, GLineString* out, int* rc);
// Sets order, numPoles, numKnots (numPoles + order), rational and null arrays and attached curve, then allocates
// poles, knots and (rational only) weights; any failure gives rc 1. length, form, scope and properties are
// not set.
void IMGCvAlloc(std::uint32_t numPoles, std::uint8_t order, std::uint32_t rational, GBspCurve* out, int* rc);
// A string with one record block per member shaped like the given members; a member of type 12 gives rc 5.
// On failure the string is freed (curves null, numCurves 0). form and scope are not set.
void IMCSAlloFTC(std::uint32_t numCurves, const GTypedCurve* members, GComplexString* out, int* rc);
// A record block into dst->pCurve, the type, and the record shaped like the source's; no values are copied.
void IMTCAllocWC(const GTypedCurve* src, GTypedCurve* dst, int* rc);

// ---------------------------------------------------------------------------------------------------------
// Copying into a record shaped like the source (by the allocators above). A destination array that is missing
// or smaller than the source's gives rc 5 and nothing is written.

// Copies the type code, then the record by type. A code that no copy handles gives rc 5 after the type is
// written; a destination that holds a record of another type gives rc 5 and is not touched.
void IMTCCopy(const GTypedCurve* src, GTypedCurve* dst, int* rc);
void IMGLnCopy(const GLine* src, GLine* dst, int* rc);
void IMGLSCopy(const GLineString* src, GLineString* dst, int* rc);
// The destination must have as many members as the source (a shorter one lacks room, a longer one would lose
// its extra members); members are copied in order, stopping at the first failure.
void IMGCSCopyNA(const GComplexString* src, GComplexString* dst, int* rc);
void IMGElCopy(const GEllipse* src, GEllipse* dst, int* rc);
void IMArCopy(const GArc* src, GArc* dst, int* rc);
// The source's attached curve goes into the destination's, which is made (and shaped) first when it is missing;
// a failure there leaves the destination's own fields unwritten.
void IMGCvCopy(const GBspCurve* src, GBspCurve* dst, int* rc);

// Copying with allocation: a deep copy of the source into an unallocated destination. On failure the
// destination is freed (curves null, numCurves 0).
void IMGCSCopy(const GComplexString* src, GComplexString* dst, int* rc);

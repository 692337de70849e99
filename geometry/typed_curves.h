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
#include <cstdio>
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
// a failure there leaves the destination's own fields unwritten. A source whose counts disagree (numKnots other
// than numPoles + order while it has poles) gives rc 5: its arrays' sizes cannot be told.
void IMGCvCopy(const GBspCurve* src, GBspCurve* dst, int* rc);

// Copying with allocation: a deep copy of the source into an unallocated destination. On failure the
// destination is freed (curves null, numCurves 0).
void IMGCSCopy(const GComplexString* src, GComplexString* dst, int* rc);

// ---------------------------------------------------------------------------------------------------------
// Conversion to the B-spline library's curve (curve_conversion.cpp). The output curve is the caller's, freed
// with BSfreevoqcv. *out is cleared on entry; on failure nothing is handed out (*out stays null).
// Codes: 1 a library step failed, 5 an unsupported type, a damaged record (a null array, counts that do not
// agree, an order below 2, non-finite or decreasing knots, non-finite poles or weights) or a conic whose
// smaller radius lies below the relative tolerance, 6 no memory; a geometry library service's code is passed on.

struct VOQbsp_curve;

// By type: 3, 4, 12, 15, 16 and 27; any other code gives rc 5.
void IMGTCIcv(const GTypedCurve* tc, VOQbsp_curve** out, int* rc);
void IMGLnIcv(const GLine* ln, VOQbsp_curve** out, int* rc);
// allocate 0 writes into the caller's curve *out (room for 2 poles), which is kept on failure. A line whose
// ends coincide converts (both poles at the point).
void IMGLnICvOp(const GLine* ln, int allocate, VOQbsp_curve** out, int* rc);
// Order 2 through the points with chord-length knots on [0, 1], a point within the distance tolerance of the
// one before dropped; points that all coincide give 2 poles at the point.
void IMGLSIcv(const GLineString* ls, VOQbsp_curve** out, int* rc);
// Poles stored weighted; periodic from form 6, planar from scope 1, closed from a form of 2 or more.
void IMGCvIcv(const GBspCurve* cv, VOQbsp_curve** out, int* rc);
// Rational quadratic curves: a whole ellipse from angle 0, an arc from startAngle over its sweep (endAngle -
// startAngle, plus 2 pi when negative; a sweep beyond 2 pi gives rc 5). A smaller radius at or below the
// distance tolerance is built with the geometry library's and the B-spline library's tolerances narrowed to
// it; both are restored on every path.
void IMGElIcv(const GEllipse* el, VOQbsp_curve** out, int* rc);
void IMGArIcv(const GArc* ar, VOQbsp_curve** out, int* rc);
// The members merged into one curve with knots on [0, 1]; a degenerate member is dropped and the gap it
// leaves closed at its midpoint. A string without members or with a complex member gives rc 5.
void IMGCSIcv(const GComplexString* cs, VOQbsp_curve** out, int* rc);

// ---------------------------------------------------------------------------------------------------------
// Conversion from the B-spline library's curve (curve_recognition.cpp). The library curve stays the caller's.
// Codes: 1 a library step failed, 4 a conic's centre outside the working domain, 5 a null or damaged curve (NaN
// included) or one that is not the conic asked for, too small, or a closed ellipse without a whole turn, 6 no
// memory, 10 a two-point line outside the working domain or a conic whose record's length differs from the
// curve's by more than the library's chord-height tolerance (the record is still built), 11 a pole whose
// weight vanishes; a geometry library service's code is passed on.

// A new record block into out->pCurve for type 3, 4, 15 or 16, any other type as a GBspCurve (type 27). On
// failure (rc 10 included) the record is freed, pCurve is null and the type code stays.
void IMIcvGTC(const VOQbsp_curve* cv, std::uint8_t type, GTypedCurve* out, int* rc);
// Poles unweighted beside their weights, length -1.0, properties 0 and no attached curve; scope 4 when the
// geometry library cannot tell it. Arrays allocated before a failure stay in the record for IMGCvFree.
void IMIcvGCv(const VOQbsp_curve* cv, GBspCurve* out, int* rc);
// One point per pole (unweighted), allocated here; knots and order are not looked at.
void IMIcvGLS(const VOQbsp_curve* cv, GLineString* out, int* rc);
// The line from the first to the last pole.
void IMIcvGLn(const VOQbsp_curve* cv, GLine* out, int* rc);
// The ellipse or circle the curve lies on, and the arc of it that the curve covers, running counter-clockwise
// about the normal. IMIcvGAr also brings a rational conic of a higher order down to order 3 and refuses
// centres beyond the working domain and radii below the tolerances.
void IMIcvGEl(const VOQbsp_curve* cv, GEllipse* out, int* rc);
void IMIcvGAr(const VOQbsp_curve* cv, GArc* out, int* rc);
// The line from p0 to p1 centred on their midpoint; equal points give a line along (0, 0, 1) of no length. A
// point or length beyond the working domain (distance over relative tolerance, times 100) gives rc 10 with the
// line built; a point that is not finite gives rc 5 with nothing written.
void IMGLn2Pts(const GPosition* p0, const GPosition* p1, GLine* out, int* rc);
// The ellipse as a rational GBspCurve (the record is cleared first).
void IMEl3dCv3d(const GEllipse* el, GBspCurve* out, int* rc);

// ---------------------------------------------------------------------------------------------------------
// End points, points, tangents, parameters, form and scope (curve_evaluation.cpp).
//
// Parameters: a line's t (rootPoint + t direction); a line string's arc length from its first point; an
// ellipse's or arc's angle t (center + cos t majorAxis + sin t minor, minor = (normal x majorAxis) ratio); a
// B-spline's knot parameter from knots[order - 1] to knots[numPoles]; a complex string's i + f for member i at
// fraction f of its range. Codes: 1 a library step failed, 5 a null or damaged record or a parameter outside
// the curve (NaN included), 6 no memory, 8 a parameter query on a type-150 curve, 11 a rational point whose
// weight sum vanishes, 14 a null tangent.

void IMGGTCEPts(const GTypedCurve* tc, GPosition* start, GPosition* end, int* rc);
void IMGGLnEPts(const GLine* ln, GPosition* start, GPosition* end, int* rc);
void IMGGLSEPts(const GLineString* ls, GPosition* start, GPosition* end, int* rc);
void IMGGCSEPts(const GComplexString* cs, GPosition* start, GPosition* end, int* rc);
void IMGGArEPts(const GArc* ar, GPosition* start, GPosition* end, int* rc);
void IMGGCvEPts(const GBspCurve* cv, GPosition* start, GPosition* end, int* rc);

void IMGGElGPoFP(const GEllipse* el, double t, GPosition* point, int* rc);
void IMArGtPsPr(const GArc* ar, double t, GPosition* point, int* rc);
void IMGGElMiA(const GEllipse* el, GVector* minor, int* rc);
void IMElGtMRd(const GEllipse* el, double* radius, int* rc);
// 1 when |minorMajorRatio - 1| is within the relative tolerance.
void IMElIsCir(const GEllipse* el, int* flag, int* rc);
// The angle of a point in [0, 2 pi); a radius below 2^-52 gives rc 5.
void IMGGElPFGPo(const GEllipse* el, const GPosition* point, double* t, int* rc);
// The arc's start or end angle for a point at its ends; otherwise the ellipse angle brought into the arc's
// range [startAngle, endAngle (+ 2 pi when below)] by whole turns, accepting what lies within the distance
// tolerance along the curve beyond either end (the answer then is that end's angle); else rc 5.
void IMGGArPFGPo(const GArc* ar, const GPosition* point, double* t, int* rc);
void IMGPoGLn(const GLine* ln, double t, GPosition* point, int* rc);
// 1 when the point lies within the distance tolerance of the line between start and end (each widened by it).
void IMIGPoGLn(const GPosition* point, const GLine* ln, int* flag, int* rc);
// Orders of 17 or more give rc 5.
void IMGCvPsPr(const GBspCurve* cv, double t, GPosition* point, int* rc);
void IMGGLSGPoFP(const GLineString* ls, double t, GPosition* point, int* rc);
// t from 0 to numCurves.
void IMCSGPsPr(const GComplexString* cs, double t, GPosition* point, int* rc);
// By type: 3, 4, 12, 15, 16, 27; 150 gives rc 8, other codes rc 5.
void IMTCGtPsPr(const GTypedCurve* tc, double t, GPosition* point, int* rc);
// The parameter range: 3 [start, end], 4 [0, length], 12 [0, numCurves], 15 [0, 2 pi], 16 [startAngle,
// endAngle] (a start of 2 pi read as 0, an end of 0 as 2 pi, where the other angle allows), 27 [first, last];
// 150 gives rc 8, other codes rc 5, leaving both untouched.
void IMTCGtPrRg(const GTypedCurve* tc, double* low, double* high, int* rc);
// The parameter at a ratio of the range (an arc through IMArPrFRt); codes other than 3, 4, 12, 15, 16 and 27
// give rc 5.
void IMTCGPrRt(const GTypedCurve* tc, double ratio, double* t, int* rc);
// A ratio below 0 gives rc 5; 0 and 1 are the arc's own angles.
void IMArPrFRt(const GArc* ar, double ratio, double* t, int* rc);

// The point and unit tangent at t; a tangent shorter than 2.220446049250313e-15 gives rc 14.
void IMGCvPtTan(const GBspCurve* cv, double t, GPosition* point, GUnitVector* tangent, int* rc);
void IMGArPtTan(const GArc* ar, double t, GPosition* point, GUnitVector* tangent, int* rc);
void IMGElPtTan(const GEllipse* el, double t, GPosition* point, GUnitVector* tangent, int* rc);
// A line string needs 2 points; t up to the distance tolerance takes the first segment.
void IMGLSPtTan(const GLineString* ls, double t, GPosition* point, GUnitVector* tangent, int* rc);
void IMGLnPtTan(const GLine* ln, double t, GPosition* point, GUnitVector* tangent, int* rc);

// The parameter step under which two knots count as one: the range times the distance tolerance over the
// length (or the control polygon's, at least 0.001), lowered to a tenth of any narrower non-empty knot interval.
void IMCvKtTl(const GBspCurve* cv, double* tolerance, int* rc);
// The shape of n points: kind 1 all coincide, 2 on a line, 3 in a plane, 4 neither; first is their centroid,
// second the line's direction or the plane's normal (zero for kinds 1 and 4).
void IMLsqPtLnPl(int n, const GPosition* points, int* kind, GVector* first, GVector* second, int* rc);
// out[i] = in[i] * t; out may be in.
void IMGTrArGPo(const GTransf* t, int n, const GPosition* in, GPosition* out, int* rc);

// Scope of n points (weighted when weights are given): 1 planar, 2 on a line, 3 coincident, 4 not planar, with
// the plane's normal or the line's direction. A first point repeated at the end counts once. An input scope of
// 5 asks for a plane's normal to be turned so that the points run counter-clockwise about it.
void IMStScRN(int n, const GPosition* points, const double* weights, std::uint8_t* scope, GUnitVector* normal,
              int* rc);
// The scope of points sampled along the members (IMStScRN; *scope 5 asks for the orientation as there).
void IMCSChkSc(const GComplexString* cs, std::uint8_t* scope, GUnitVector* normal, int* rc);
// Store the string's scope, and its form: 1 open, 2 closed, 3 closed with the end tangent along the start
// tangent. Nothing is stored on failure.
void IMGCSStSc(GComplexString* cs, int* rc);
void IMGCSStFrm(GComplexString* cs, int* rc);

// ---------------------------------------------------------------------------------------------------------
// Lengths (curve_lengths.cpp). Codes: 1 the library could not measure, 5 a null or damaged record or a length
// that comes out infinite or NaN; a conversion's code is passed on. The length is written only on success.
// Curves without a closed form are measured in the library's form to about 1e-11 of their size, relative.

// By type: 3, 4, 12, 15, 16 and 27; any other code (150 included) leaves *length as it was, with rc 0.
void IMTCLen(const GTypedCurve* tc, double* length, int* rc);
void IMGGLnL(const GLine* ln, double* length, int* rc);
// 0 for a single point.
void IMGGLSL(const GLineString* ls, double* length, int* rc);
// A circle (minorMajorRatio exactly 1) is 2 pi |majorAxis|; other ellipses are converted and measured.
void IMGGElL(const GEllipse* el, double* length, int* rc);
// A circular arc is |majorAxis| times its sweep (endAngle - startAngle, plus 2 pi when negative).
void IMGGArL(const GArc* ar, double* length, int* rc);
void IMGGCvL(const GBspCurve* cv, double* length, int* rc);
// The sum over the members; a member whose length this layer cannot tell (a complex string, type 150, an
// unknown code) gives rc 5 rather than a sum that leaves it out.
void IMGGCSL(const GComplexString* cs, double* length, int* rc);

// ---------------------------------------------------------------------------------------------------------
// Printing (curve_printing.cpp): the text form of the validation log's dumps. Every coordinate, weight, knot,
// angle and length is one line "%22.17le"; a null stream is the standard error stream. With `verbose` a
// record is also converted to the library's curve and printed by BSprtcv between "VOQbsp_curve{" and
// "}VOQbsp_curve". A failure stops the print where it is, without the closing lines: 1 an unknown type or a
// library print that failed, 5 a null record or array; a conversion's code is passed on.

// IMPrtGTC verbose, then a flush of the stream when one is given.
void IMPrtTC(std::FILE* stream, const GTypedCurve* tc, int* rc);
void IMPrtGTC(std::FILE* stream, const GTypedCurve* tc, int verbose, int* rc);
void IMPrtGLn(std::FILE* stream, const GLine* ln, int verbose, int* rc);
void IMPrtGLS(std::FILE* stream, const GLineString* ls, int verbose, int* rc);
// The members only; a complex string has no block of its own.
void IMPrtGCS(std::FILE* stream, const GComplexString* cs, int verbose, int* rc);
void IMPrtGEl(std::FILE* stream, const GEllipse* el, int verbose, int* rc);
void IMPrtGAr(std::FILE* stream, const GArc* ar, int verbose, int* rc);
// A record whose counts disagree prints no more poles and knots than the other counts allow.
void IMPrtGCv(std::FILE* stream, const GBspCurve* cv, int verbose, int* rc);

// ---------------------------------------------------------------------------------------------------------
// Validation and dumps (curve_validation.cpp). The Val2 forms write one message per failed condition to the
// stream, or with a null stream through the validation log, and answer *valid 0 or 1; the Val forms are the
// same with a null stream. With the validation switch 0 every one answers valid at once. A record of a type
// whose validation is under way (the type guard) counts as valid. An invalid record is dumped. rc carries only
// failures of the steps they call (end points, knot tolerance, knot check; 5 for a null `valid`).

void IMTCVal2(std::FILE* stream, const GTypedCurve* tc, int* valid, int* rc);
void IMLnVal2(std::FILE* stream, const GLine* ln, int* valid, int* rc);
void IMLSVal2(std::FILE* stream, const GLineString* ls, int* valid, int* rc);
void IMCSVal2(std::FILE* stream, const GComplexString* cs, int* valid, int* rc);
void IMElVal2(std::FILE* stream, const GEllipse* el, int* valid, int* rc);
void IMArVal2(std::FILE* stream, const GArc* ar, int* valid, int* rc);
// Besides the counts it also refuses orders above 16, which the library cannot evaluate.
void IMCvVal2(std::FILE* stream, const GBspCurve* cv, int* valid, int* rc);

void IMTCVal(const GTypedCurve* tc, int* valid, int* rc);
void IMLnVal(const GLine* ln, int* valid, int* rc);
void IMLSVal(const GLineString* ls, int* valid, int* rc);
void IMCSVal(const GComplexString* cs, int* valid, int* rc);
void IMElVal(const GEllipse* el, int* valid, int* rc);
void IMArVal(const GArc* ar, int* valid, int* rc);
void IMCvVal(const GBspCurve* cv, int* valid, int* rc);

// Record dumps: at a "ValidateReleaseMath" level of 3 or more, a dated header and the record printed as a
// typed curve of the given type (IMPrtTC) to *stream, or, when *stream is null, appended to the log file,
// which is closed again. A null record or a failed open writes nothing.
void IMLnDmp(const GLine* ln, int type, std::FILE** stream);
void IMLSDmp(const GLineString* ls, int type, std::FILE** stream);
void IMCSDmp(const GComplexString* cs, int type, std::FILE** stream);
void IMElDmp(const GEllipse* el, int type, std::FILE** stream);
void IMArDmp(const GArc* ar, int type, std::FILE** stream);
void IMCvDmp(const GBspCurve* cv, int type, std::FILE** stream);

// ---------------------------------------------------------------------------------------------------------
// Offsets of planar curves towards the side of a side point (a point, not a normal), each new record the
// caller frees (IMGTCFree). A positive distance moves the curve towards the side point; a negative one acts
// by type: a line moves away from the side point, a line string or B-spline curve goes by its absolute value
// to the far side, a circle's radius changes by the sign. Codes: 1 a library step failed (any of its codes,
// also where it wrote a result, which is then freed), 4 a side point on a line's extension, 5 a bad argument
// (null, not finite, a vanishing weight) or an offset that cannot be made (side point on the curve, a circle
// that collapses, an inward offset of an ellipse beyond its minor radius), 6 no memory.

// The corner flag reaches the library; with 1 a line string comes back as a B-spline curve (type 27), with any
// other value as a line string. Type 150 and unknown codes succeed with an empty result. No member map is kept.
void IMTCOff(const GTypedCurve* curve, const GPosition* side, const double* distance, const int* corner,
             GTypedCurve* result, int* rc);
// As IMTCOff; a given member map gets 0 first, except for a complex string, whose map is IMCSOff's. On any
// failure the result is freed whole and left empty.
void IMTCOffI(const GTypedCurve* curve, const GPosition* side, double distance, int corner, GTypedCurve* result,
              int* map, int* rc);
// The root point moves along the side point's perpendicular; direction and bounds are kept.
void IMLnOff(const GLine* ln, const GPosition* side, double distance, GLine* result, int* rc);
void IMLSOff(const GLineString* ls, const GPosition* side, double distance, int corner, GTypedCurve* result,
             int* rc);
// Circles keep their type and every field but the major axis' length; other conics come back as type 27.
void IMArOff(const GArc* ar, double distance, const GPosition* side, GTypedCurve* result, int* rc);
void IMElOff(const GEllipse* el, const GPosition* side, double distance, GTypedCurve* result, int* rc);
// The result record is cleared first.
void IMCvOff(const GBspCurve* cv, const GPosition* side, double distance, int corner, GBspCurve* result,
             int* rc);
// The members of a complex string offset together, joined at their corners (with corner flag 1 by arcs), in the
// plane of the string's end points (for end points on one line, of that line and the tangent at the point
// nearest the side point, or of the side point for a straight string). The map, when given, gets one entry per
// result member: the index of the member it comes from, or the join that made it (-61 a segment, type 3; -62 a
// polyline, type 4; -63 a circular arc, type 16; other negative codes a B-spline curve); it needs room for
// 2 numCurves + 1 entries. A distance below the distance tolerance, every negative one included, gives an
// unchanged copy and the identity map (unlike the other types). One member is offset on its own (IMTCOffI).
// Codes: 1 a library step failed (also one that handed pieces back, as with gaps between them), 4 every piece
// degenerate, 5 a bad argument, a member of a type that cannot be offset (150, a nested string), a side point
// within the distance tolerance of the string, a damaged member (a B-spline record whose counts disagree, also
// below the tolerance; above it one with a vanishing weight), every member closed, end points that coincide or
// span no plane, 6 no memory. The result is cleared first and left empty on failure.
void IMCSOff(const GComplexString* cs, const GPosition* side, double distance, int corner, GComplexString* result,
             int* map, int* rc);

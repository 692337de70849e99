// The host's 2D geometry library (stand-in), as far as stylesrv uses it: the square of the missing-graphic
// placeholder and its 2D range, segments from two points and where their lines meet.
#pragma once

#include <windows.h>

#ifdef QUARNET_BUILD
#define QUARNET_API __declspec(dllexport)
#else
#define QUARNET_API __declspec(dllimport)
#endif

// A figure kept by the library: a closed outline of at most five 2D points (the last repeats the first).
struct QuarnetFigure2d {
  DWORD pointCount;
  DWORD closed;
  double points[5][2];
};

extern "C" {

// An axis-aligned rectangle with its lower-left corner at origin[0], origin[1]. `further` is a value of the
// host's figures that this stand-in does not use (callers pass 0.0). *rc is 0 on success, 1 for a null figure
// or origin.
QUARNET_API void QnRectangle2d(const double* origin, double width, double height, double further,
                               QuarnetFigure2d* figure, LONG* rc);

// The figure's 2D range: range[0], range[1] the minimum corner, range[2], range[3] the maximum one. *rc is 0
// on success, 1 for a null or empty figure (the range is then left as it was).
QUARNET_API void QnRange2d(const QuarnetFigure2d* figure, double* range, LONG* rc);

// A straight segment's geometry record, as GeomFromTwoPoints2d fills it.
struct QuarnetGeometry2d {
  DWORD kind;  // 1: a line segment
  DWORD reserved;
  double start[2];
  double end[2];
};
static_assert(sizeof(QuarnetGeometry2d) == 40);

// The segment from one 2D point to another (ordinal 88). *rc is 0 on success, 1 for a null argument.
QUARNET_API void GeomFromTwoPoints2d(QuarnetGeometry2d* geometry, const double* start, const double* end,
                                     LONG* rc);

// Where two segments' lines meet (`flag` 1, the only relation asked for): *rc 0 and the point; 2 for parallel
// lines (collinear ones included), with the point left alone; 1 for a null or non-line record, another flag, or
// coordinates that are not finite.
QUARNET_API void GeomCurveCurveRelation(const QuarnetGeometry2d* first, const QuarnetGeometry2d* second, LONG flag,
                                        double* point, LONG* rc);

// ---- for the tests ----

// Makes the `n`th call of GeomFromTwoPoints2d from now (1 = the next one) answer `rc` without filling the
// record; 0 cancels. And the calls so far.
QUARNET_API void QnFailTwoPointsAt(LONG n, LONG rc);
QUARNET_API LONG QnTwoPointsCount();

// Every call of the two routines above, in order: its inputs (the two points; or the first line's ends, then the
// second's), its code and the point answered (relations with code 0 only).
enum : LONG { QN_CALL_TWO_POINTS = 1, QN_CALL_RELATION = 2 };
struct QnGeomCall {
  LONG routine;
  LONG rc;
  double in[8];
  double point[2];
};
QUARNET_API LONG QnGeomCallCount();
// FALSE past the last call.
QUARNET_API BOOL QnGetGeomCall(LONG index, QnGeomCall* call);
QUARNET_API void QnClearGeomCalls();

}  // extern "C"

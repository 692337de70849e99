// Offsets of planar typed curves towards the side of a side point. Lines and circles move exactly here; every
// other curve goes through the B-spline library's single-curve offset and comes back as a typed curve.
#include <cmath>
#include <cstdint>

#include "bspline/bspline.h"
#include "bspline/offset.h"
#include "geometry/platform.h"
#include "geometry/typed_curves.h"
#include "geometry/typed_curves_internal.h"

namespace {

namespace qn = geomplatform;
using typedcurves::DropCurve;

constexpr double kTiny = 2.220446049250313e-16;
// The loop mode of the library's offset: loops are cut away and the main piece kept.
constexpr std::int16_t kLoopMode = 2;

bool Finite(const GPosition& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// The library's offset of one curve, through BScvoffsetd (driver) or BScvoffset. Whatever the library wrote is
// released unless it is handed back: the pieces split off by loop removal always, the offset on any non-zero
// code (its shortfall code 5 included, which this layer cannot tell from a sound result). A library failure is
// rc 1; *out is null then.
void LibraryOffset(const VOQbsp_curve* cv, double distance, const GPosition& side, int corner, bool driver,
                   VOQbsp_curve** out, int* rc) {
  VOQbsp_curve* off = nullptr;
  VOQbsp_curve** pieces = nullptr;
  int count = 0;
  int libRc = 0;
  const double point[3] = {side.x, side.y, side.z};
  if (driver) {
    BSboolean sideFlag = BSTRUE;
    const double normal[3] = {0.0, 0.0, 0.0};
    BScvoffsetd(cv, distance, point, BSFALSE, corner, kLoopMode, &sideFlag, normal, &off, &count, &pieces, &libRc);
  } else {
    const std::int16_t mode = kLoopMode;
    BScvoffset(&libRc, cv, &distance, point, &corner, &mode, &off, &count, &pieces);
  }
  int freeRc = 0;
  if (pieces) {
    for (int i = 0; i < count; ++i) DropCurve(&pieces[i], &freeRc);
    BSdbgfree(pieces);
  }
  if (libRc != 0 || freeRc != 0) {
    DropCurve(&off, &freeRc);
    *rc = 1;
  }
  *out = off;
}

// The inside test of a non-circular conic: the side point is inside when the curve point at its angle lies
// farther from the centre. Taken on the whole ellipse, since a side point beyond an arc's angles is valid.
void InwardTooFar(const GEllipse& el, const GPosition& side, double distance, int* rc) {
  double t = 0.0;
  IMGGElPFGPo(&el, &side, &t, rc);
  GPosition onCurve;
  if (*rc == 0) IMGGElGPoFP(&el, t, &onCurve, rc);
  if (*rc != 0) return;
  const double minor = el.majorAxis.Length() * el.minorMajorRatio;
  const bool inside = GPosition::Distance(onCurve, el.center) > GPosition::Distance(side, el.center);
  // A negative distance goes to the far side, so an outside side point with one moves inwards.
  const bool inwards = inside ? distance > 0 : distance < 0;
  if (inwards && std::fabs(distance) > minor) *rc = 5;
}

// A circle or circular arc: the radius grows or shrinks by the distance, centre, normal and angles kept.
void CircleOffset(const GEllipse& el, std::uint8_t type, const GPosition& side, double distance,
                  GTypedCurve* result, int* rc) {
  double r = 0.0;
  IMElGtMRd(&el, &r, rc);
  if (*rc != 0) return;
  const double tol = GetDistanceTolerance();
  const double d = GPosition::Distance(side, el.center);
  const double r2 = r + (d <= r ? -distance : distance);
  const double axis = el.majorAxis.Length();
  if (r < tol || r2 < tol || axis < kTiny) {
    *rc = 5;
    return;
  }
  result->type = type;
  result->pCurve = qn::GeomCalloc(1, sizeof(GArc));
  if (!result->pCurve) {
    *rc = 6;
    return;
  }
  if (type == kCurveArc) {
    IMArCopy(static_cast<const GArc*>(&el), static_cast<GArc*>(result->pCurve), rc);
  } else {
    IMGElCopy(&el, static_cast<GEllipse*>(result->pCurve), rc);
  }
  if (*rc == 0) static_cast<GEllipse*>(result->pCurve)->majorAxis *= r2 / axis;
}

void ConicOffset(const GEllipse* el, std::uint8_t type, const GPosition* side, double distance,
                 GTypedCurve* result, int* rc) {
  *rc = 0;
  if (!el || !side || !result || !std::isfinite(distance) || !Finite(*side)) {
    *rc = 5;
    return;
  }
  result->pCurve = nullptr;
  int circle = 0;
  IMElIsCir(el, &circle, rc);
  if (*rc != 0) return;
  if (circle) {
    CircleOffset(*el, type, *side, distance, result, rc);
    return;
  }
  InwardTooFar(*el, *side, distance, rc);
  if (*rc != 0) return;
  if (type == kCurveArc) {
    VOQbsp_curve* cv = nullptr;
    VOQbsp_curve* off = nullptr;
    IMGArIcv(static_cast<const GArc*>(el), &cv, rc);
    if (*rc == 0) LibraryOffset(cv, distance, *side, 0, false, &off, rc);
    if (*rc == 0) IMIcvGTC(off, kCurveBspline, result, rc);
    DropCurve(&off, rc);
    DropCurve(&cv, rc);
    return;
  }
  GBspCurve temp{};
  IMEl3dCv3d(el, &temp, rc);
  if (*rc == 0) {
    result->type = kCurveBspline;
    result->pCurve = qn::GeomCalloc(1, sizeof(GArc));
    if (!result->pCurve) *rc = 6;
  }
  if (*rc == 0) IMCvOff(&temp, side, distance, 1, static_cast<GBspCurve*>(result->pCurve), rc);
  int freeRc = 0;
  IMGCvFree(&temp, &freeRc);
  if (*rc == 0) *rc = freeRc;
}

}  // namespace

void IMTCOff(const GTypedCurve* curve, const GPosition* side, const double* distance, const int* corner,
             GTypedCurve* result, int* rc) {
  *rc = 0;
  if (!distance || !corner) {
    *rc = 5;
  } else {
    IMTCOffI(curve, side, *distance, *corner, result, nullptr, rc);
  }
  BSexit(rc, "IMTCOff", "imtcoff");
}

void IMTCOffI(const GTypedCurve* curve, const GPosition* side, double distance, int corner, GTypedCurve* result,
              int* map, int* rc) {
  *rc = 0;
  const std::uint8_t type = curve ? curve->type : 0;
  const bool known = type == kCurveLine || type == kCurveLineString || type == kCurveEllipse || type == kCurveArc ||
                     type == kCurveBspline || type == kCurveComplexString;
  if (!curve || !side || !result || (known && (!curve->pCurve || !std::isfinite(distance) || !Finite(*side)))) {
    *rc = 5;
    BSexit(rc, "IMTCOffI", "imtcoffi");
    return;
  }
  result->pCurve = nullptr;
  if (map && type != kCurveComplexString) map[0] = 0;
  switch (type) {
    case kCurveLine:
    case kCurveBspline:
      result->type = type;
      result->pCurve = qn::GeomCalloc(1, sizeof(GArc));
      if (!result->pCurve) {
        *rc = 6;
      } else if (type == kCurveLine) {
        IMLnOff(static_cast<const GLine*>(curve->pCurve), side, distance, static_cast<GLine*>(result->pCurve), rc);
      } else {
        IMCvOff(static_cast<const GBspCurve*>(curve->pCurve), side, distance, corner,
                static_cast<GBspCurve*>(result->pCurve), rc);
      }
      break;
    case kCurveLineString:
      IMLSOff(static_cast<const GLineString*>(curve->pCurve), side, distance, corner, result, rc);
      break;
    case kCurveEllipse:
      IMElOff(static_cast<const GEllipse*>(curve->pCurve), side, distance, result, rc);
      break;
    case kCurveArc:
      IMArOff(static_cast<const GArc*>(curve->pCurve), distance, side, result, rc);
      break;
    case kCurveComplexString:
      // Complex strings are not offset by this entry: a result that was never made is no success.
      *rc = 5;
      break;
    default:
      break;
  }
  if (*rc != 0) {
    // The per-type routines may leave arrays in a partly made record: the whole result goes.
    int freeRc = 0;
    IMGTCFree(result, &freeRc);
    result->pCurve = nullptr;
  } else if (result->pCurve && IsValidateMathEnabled() == 1) {
    int valid = 0;
    int valRc = 0;
    IMTCVal(result, &valid, &valRc);
  }
  BSexit(rc, "IMTCOffI", "imtcoffi");
}

void IMLnOff(const GLine* ln, const GPosition* side, double distance, GLine* result, int* rc) {
  *rc = 0;
  if (!ln || !side || !result || !std::isfinite(distance) || !Finite(*side)) {
    *rc = 5;
  } else {
    int on = 0;
    IMIGPoGLn(side, ln, &on, rc);
    if (*rc == 0 && on) *rc = 5;
  }
  if (*rc == 0) {
    const GVector dir(ln->direction.x, ln->direction.y, ln->direction.z);
    const GVector w = *side - ln->rootPoint;
    const GVector c(dir.y * w.z - dir.z * w.y, dir.z * w.x - dir.x * w.z, dir.x * w.y - dir.y * w.x);
    const GVector p(c.y * dir.z - c.z * dir.y, c.z * dir.x - c.x * dir.z, c.x * dir.y - c.y * dir.x);
    const double length = p.Length();
    // Rounding in w leaves a perpendicular of the order of the epsilon times the coordinates' size even for a
    // side point on the line's extension; such a perpendicular has no direction.
    const double root = GPosition::Distance(ln->rootPoint, GPosition(0, 0, 0));
    if (!(length >= 4 * kTiny * (1.0 + w.Length() + root))) {
      *rc = 4;
    } else {
      *result = *ln;
      result->rootPoint += p * (distance / length);
    }
  }
  BSexit(rc, "IMLnOff", "imlnoff");
}

void IMArOff(const GArc* ar, double distance, const GPosition* side, GTypedCurve* result, int* rc) {
  ConicOffset(ar, kCurveArc, side, distance, result, rc);
  BSexit(rc, "IMArOff", "imaroff");
}

void IMElOff(const GEllipse* el, const GPosition* side, double distance, GTypedCurve* result, int* rc) {
  ConicOffset(el, kCurveEllipse, side, distance, result, rc);
  BSexit(rc, "IMElOff", "imeloff");
}

void IMLSOff(const GLineString* ls, const GPosition* side, double distance, int corner, GTypedCurve* result,
             int* rc) {
  *rc = 0;
  if (!ls || !side || !result || !std::isfinite(distance) || !Finite(*side)) {
    *rc = 5;
  } else {
    result->pCurve = nullptr;
    VOQbsp_curve* cv = nullptr;
    VOQbsp_curve* off = nullptr;
    IMGLSIcv(ls, &cv, rc);
    if (*rc == 0) LibraryOffset(cv, distance, *side, corner, true, &off, rc);
    if (*rc == 0) IMIcvGTC(off, corner == 1 ? kCurveBspline : kCurveLineString, result, rc);
    DropCurve(&off, rc);
    DropCurve(&cv, rc);
  }
  BSexit(rc, "IMLSOff", "imlsoff");
}

void IMCvOff(const GBspCurve* cv, const GPosition* side, double distance, int corner, GBspCurve* result,
             int* rc) {
  *rc = 0;
  if (result) *result = GBspCurve{};
  if (!cv || !side || !result || !std::isfinite(distance) || !Finite(*side)) {
    *rc = 5;
  } else {
    VOQbsp_curve* in = nullptr;
    VOQbsp_curve* off = nullptr;
    IMGCvIcv(cv, &in, rc);
    if (*rc == 0) LibraryOffset(in, distance, *side, corner, true, &off, rc);
    if (*rc == 0) IMIcvGCv(off, result, rc);
    DropCurve(&off, rc);
    DropCurve(&in, rc);
    if (*rc == 0 && IsValidateMathEnabled() == 1) {
      int valid = 0;
      int valRc = 0;
      IMCvVal(result, &valid, &valRc);
    }
  }
  BSexit(rc, "IMCvOff", "imcvoff");
}

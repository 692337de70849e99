// The B-spline library's curves as typed curves: B-spline records, line strings and lines taken over as they
// are, and rational quadratic curves recognised as the circle or ellipse they lie on.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "bspline/bspline.h"
#include "bspline/conics.h"
#include "bspline/core/exit.h"
#include "bspline/legendre.h"
#include "bspline/measure.h"
#include "geometry/platform.h"
#include "geometry/typed_curves.h"
#include "geometry/typed_curves_internal.h"

namespace {

namespace qn = geomplatform;
using typedcurves::DropCurve;

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kVanishing = 2.220446049250313e-16;

double LibraryDistance() { return BStoltab[bstol::dist_tol]; }

// Pole i of a library curve divided by its weight; rc 11 when the weight vanishes.
bool PlainPole(const VOQbsp_curve& cv, int i, GPosition* p, int* rc) {
  const double w = cv.rational ? cv.weights[i] : 1.0;
  if (!(std::fabs(w) > kVanishing)) {
    *rc = 11;
    return false;
  }
  *p = {cv.poles[3 * i] / w, cv.poles[3 * i + 1] / w, cv.poles[3 * i + 2] / w};
  return true;
}

// Poles (and weights) present and finite: what the converters that read no knots need.
bool HasFinitePoles(const VOQbsp_curve* cv) {
  return cv && cv->poles && (!cv->rational || cv->weights) && cv->num_poles >= 1 && BScvfinite(cv);
}

// rc 11 for a rational curve with a vanishing weight, before the geometry library sees it.
bool WeightsVanish(const VOQbsp_curve& cv, int* rc) {
  for (int i = 0; cv.rational && i < cv.num_poles; ++i)
    if (!(std::fabs(cv.weights[i]) > kVanishing)) *rc = 11;
  return *rc != 0;
}

// A curve every converter can read, with counts a GBspCurve can hold.
bool IsReadable(const VOQbsp_curve* cv) {
  return cv && BScvcheck(cv) == 0 && cv->order >= 2 && cv->order <= 255 &&
         cv->num_knots == cv->num_poles + cv->order;
}

// The geometry library's scope of the poles and the form that follows; a scope it cannot tell is 4 when
// `unknownScope` allows it.
void ScopeAndForm(const VOQbsp_curve& cv, bool unknownScope, std::uint8_t* scope, std::uint8_t* form, int* rc) {
  qn::GeomScopeOfPoles(cv.num_poles, cv.poles, cv.rational, cv.weights, scope, rc);
  if (*rc != 0) {
    if (!unknownScope) return;
    *scope = 4;
    *rc = 0;
  }
  qn::GeomFormFromScope(&cv, *scope, form, rc);
}

void ValidateTypedCurve(const GTypedCurve& tc) {
  int valid = 1, rc = 0;
  IMTCVal(&tc, &valid, &rc);
}

// ---- Reduction of a higher-order rational conic

// What the reduction holds from the library; all of it is released on every path.
struct Reduction {
  int spans = 0;
  int* degrees = nullptr;
  int* codes = nullptr;
  double** composite = nullptr;
  double* breakpoints = nullptr;
  int* reducedDegrees = nullptr;
  double** reduced = nullptr;
  double* poles = nullptr;
  double* knots = nullptr;

  ~Reduction() {
    BSfreecmplgd(&composite);
    BSfreecmplgd(&reduced);
    BSdbgfree(degrees);
    BSdbgfree(codes);
    BSdbgfree(breakpoints);
    BSdbgfree(reducedDegrees);
    BSdbgfree(poles);
    BSdbgfree(knots);
  }
};

// The curve in Legendre form, every span (its weighted coordinates and weight) brought down to degree 2 and
// turned back into an order-3 curve that replaces *cv. rc 5 when a span keeps a higher degree: the curve is
// no conic.
void ReduceConic(VOQbsp_curve** cv, int* rc) {
  const VOQbsp_curve& in = **cv;
  const int n = in.num_poles;
  double smallestWeight = INFINITY;
  for (int i = 0; i < n; ++i) smallestWeight = std::fmin(smallestWeight, std::fabs(in.weights[i]));
  // A dropped tail of the weighted coordinates moves the curve by about the tail over the weight.
  const double tol = LibraryDistance() * smallestWeight;
  Reduction r;
  int libRc = 0;
  BSscratch<64> blocks;
  double* coordinates = blocks.take(4 * static_cast<std::size_t>(n));
  if (!coordinates) libRc = BSRC_NO_SCRATCH;
  if (libRc == 0) BSicv2bsp(&in, 3, coordinates, &libRc);
  double range[2] = {0, 0};
  if (libRc == 0)
    BSbsp2cmlgd(3, n, in.order, BSTRUE, coordinates, in.knots, &r.spans, &r.degrees, &r.codes, &r.composite,
                &r.breakpoints, range, &libRc);
  if (libRc == 0) {
    r.reducedDegrees = static_cast<int*>(BSdbgmalloc(r.spans * static_cast<int>(sizeof(int))));
    if (!r.reducedDegrees) libRc = BSRC_ALLOC_CURVE;
  }
  if (libRc == 0) {
    for (int s = 0; s < r.spans; ++s) r.reducedDegrees[s] = 2;
    BSallcmplgd(3, r.spans, r.reducedDegrees, r.codes, &r.reduced, &libRc);
  }
  for (int s = 0; s < r.spans && libRc == 0 && *rc == 0; ++s) {
    // A span that collapsed to a point carries no weight: no conic.
    if (r.codes[s] != 1) {
      *rc = 5;
      break;
    }
    const int degree = r.degrees[s];
    int m = -1;
    double* kept = nullptr;
    BSeffdegvec(degree, 4, r.composite[s], tol, &m, &kept);
    if (m > 2) {
      *rc = 5;
    } else if (m >= 0 && !kept) {
      libRc = BSRC_ALLOC_CURVE;
    } else {
      for (int c = 0; c < 4; ++c)
        for (int j = 0; j <= m; ++j) r.reduced[s][3 * c + j] = kept[(m + 1) * c + j];
    }
    BSdbgfree(kept);
  }
  int order = 0, poles = 0, rational = 0;
  if (libRc == 0 && *rc == 0)
    BScmlgd2bsp(1, 3, r.spans, r.reducedDegrees, r.codes, r.reduced, r.breakpoints, range, tol, 3, &order, &poles,
                &rational, &r.poles, &r.knots, &libRc);
  VOQbsp_curve* out = nullptr;
  if (libRc == 0 && *rc == 0) {
    BSplktbspcv(order, 3, rational ? BSTRUE : BSFALSE, poles, r.poles, r.knots, LibraryDistance(), &out, &libRc);
    if (libRc != 0) DropCurve(&out, rc);
  }
  if (libRc != 0 && *rc == 0) qn::GeomRcFromMathError(libRc, rc);
  if (*rc == 0) {
    DropCurve(cv, rc);
    *cv = out;
  } else {
    DropCurve(&out, rc);
  }
}

// ---- Circles and ellipses

// The parameter of a point on the record's ellipse.
double AngleOf(const GEllipse& el, const GPosition& p, int* rc) {
  double t = 0;
  IMGGElPFGPo(&el, &p, &t, rc);
  return t;
}

// The angles of an arc whose ends do not meet: the major axis is turned (and, failing that, the axes change
// roles) so that the end angle lies beyond the start angle.
void OpenArcAngles(GArc* ar, bool circle, const GPosition& start, const GPosition& end, int* rc) {
  const double rel = GetRelativeTolerance();
  ar->startAngle = circle ? 0.0 : AngleOf(*ar, start, rc);
  if (*rc == 0) ar->endAngle = AngleOf(*ar, end, rc);
  if (*rc != 0 || ar->endAngle >= ar->startAngle) return;
  ar->majorAxis = -ar->majorAxis;
  ar->startAngle -= kPi;
  ar->endAngle -= kPi;
  if (std::fabs(ar->endAngle) <= rel)
    ar->endAngle = kTwoPi;
  else if (ar->endAngle < 0)
    ar->endAngle += kTwoPi;
  if (ar->endAngle >= ar->startAngle) return;
  ar->majorAxis = GVector::Cross(ar->normal, ar->majorAxis) * ar->minorMajorRatio;
  ar->minorMajorRatio = 1.0 / ar->minorMajorRatio;
  ar->startAngle = AngleOf(*ar, start, rc);
  if (*rc == 0) ar->endAngle = AngleOf(*ar, end, rc);
  if (*rc != 0 || ar->endAngle >= ar->startAngle) return;
  ar->majorAxis = -ar->majorAxis;
  ar->startAngle -= kPi;
  ar->endAngle -= kPi;
  if (ar->startAngle < 0) ar->startAngle += kTwoPi;
  if (ar->endAngle < 0) ar->endAngle += kTwoPi;
}

// Whether a curve whose ends meet runs a whole turn rather than being a tiny arc: its middle lies away from
// its start.
bool RunsWholeTurn(const VOQbsp_curve& cv, const GPosition& start, int* rc) {
  const double u = (cv.knots[cv.order - 1] + cv.knots[cv.num_poles]) / 2;
  double mid[3];
  int libRc = 0;
  BScveval_n(&cv, u, 0, mid, &libRc);
  if (libRc != 0) *rc = 1;
  return libRc == 0 && GPosition::Distance(start, GPosition(mid[0], mid[1], mid[2])) > LibraryDistance();
}

// The arc's angles. Ends that meet make a whole turn from wherever the curve starts (an ellipse's major axis
// need not point there); ends that meet on a curve that does not run round are a degenerate arc.
void ArcAngles(const VOQbsp_curve& cv, bool circle, const GPosition& start, GArc* ar, int* rc) {
  GPosition end;
  if (!PlainPole(cv, cv.num_poles - 1, &end, rc)) return;
  const bool flaggedClosed = cv.phy_closed != 0;
  if (flaggedClosed || GPosition::Distance(start, end) < LibraryDistance()) {
    if (!flaggedClosed && !RunsWholeTurn(cv, start, rc)) {
      if (*rc == 0) *rc = 5;
      return;
    }
    ar->startAngle = circle ? 0.0 : AngleOf(*ar, start, rc);
    ar->endAngle = ar->startAngle + kTwoPi;
    return;
  }
  OpenArcAngles(ar, circle, start, end, rc);
  if (*rc == 0 && std::fabs(ar->endAngle) <= GetRelativeTolerance()) ar->endAngle = kTwoPi;
}

// The record's length against the curve's: rc 10 beyond the chord-height tolerance.
void CheckLength(VOQbsp_curve* cv, const GArc& record, bool arc, int* rc) {
  double u0 = cv->knots[cv->order - 1], u1 = cv->knots[cv->num_poles], mid = (u0 + u1) / 2;
  double curveLength = 0, recordLength = 0;
  int libRc = 0;
  BSboolean status = BSFALSE;
  BSarclen(&libRc, &status, cv, &u0, &u1, &mid, &curveLength);
  if (libRc != 0) {
    *rc = 1;
    return;
  }
  GArc copy = record;
  const GTypedCurve tc{&copy, arc ? kCurveArc : kCurveEllipse};
  IMTCLen(&tc, &recordLength, rc);
  if (*rc == 0 && !(std::fabs(curveLength - recordLength) <= BStoltab[bstol::chrdht_tol])) *rc = 10;
}

// The whole recognition; `arc` adds IMIcvGAr's reduction, angles and tolerance tests to IMIcvGEl's work. The
// record is written when rc comes out 0 or 10.
void RecogniseConic(const VOQbsp_curve* in, bool arc, GArc* out, int* rc) {
  if (!out || !IsReadable(in)) {
    *rc = 5;
    return;
  }
  // A local origin at the pole average keeps the centre's digits for the shape.
  int libRc = 0;
  double origin[3];
  BSavgpts(&libRc, in->num_poles, in->poles, in->rational ? in->weights : nullptr, origin);
  if (libRc != 0) {
    GPosition first;
    if (!PlainPole(*in, 0, &first, rc)) return;
    origin[0] = first.x, origin[1] = first.y, origin[2] = first.z;
  }
  VOQbsp_curve* cv = nullptr;
  libRc = 0;
  BSallocvoqcv(in->order, in->num_poles, in->rational, 0, &cv, &libRc);
  if (libRc == 0) BScv_copy(&libRc, in, cv);
  if (libRc != 0) {
    qn::GeomRcFromMathError(libRc, rc);
    DropCurve(&cv, rc);
    return;
  }
  for (int i = 0; i < cv->num_poles; ++i) {
    const double w = cv->rational ? cv->weights[i] : 1.0;
    for (int k = 0; k < 3; ++k) cv->poles[3 * i + k] -= w * origin[k];
  }

  int kind = 0;
  double Z[3], a = 0, b = 0, F1[3], F2[3], V1[3], V2[3], M1[3], M2[3];
  BSconicprp(cv, &kind, Z, &a, &b, F1, F2, V1, V2, M1, M2, &libRc);
  if (libRc != 0 && arc && cv->rational && cv->order > 3) {
    ReduceConic(&cv, rc);
    if (*rc == 0) BSconicprp(cv, &kind, Z, &a, &b, F1, F2, V1, V2, M1, M2, &libRc);
  }
  if (*rc == 0 && libRc != 0) *rc = 1;
  const bool circle = kind == BSCONIC_CIRCLE;
  if (*rc == 0 && !circle && kind != BSCONIC_ELLIPSE) *rc = 5;
  const double domain = LibraryDistance() / GetRelativeTolerance() * 10;
  if (*rc == 0 && arc && !(std::fabs(Z[0]) <= domain && std::fabs(Z[1]) <= domain && std::fabs(Z[2]) <= domain))
    *rc = 4;

  GArc rec{};
  GPosition start;
  GVector tangent;
  if (*rc == 0) {
    double d[6];
    BScveval_n(cv, cv->knots[cv->order - 1], 1, d, &libRc);
    if (libRc != 0) *rc = 1;
    start = {d[0], d[1], d[2]};
    tangent = {d[3], d[4], d[5]};
  }
  if (*rc == 0) {
    rec.center = {Z[0], Z[1], Z[2]};
    if (circle) {
      rec.majorAxis = start - rec.center;
      rec.minorMajorRatio = 1.0;
    } else {
      const double rel = GetRelativeTolerance();
      if (arc && (!(a >= rel && b >= rel) || (a < LibraryDistance() && b < LibraryDistance()))) *rc = 5;
      rec.minorMajorRatio = b / a;
      if (!std::isfinite(rec.minorMajorRatio)) *rc = 5;
      rec.majorAxis = GVector(V1[0] - Z[0], V1[1] - Z[1], V1[2] - Z[2]);
    }
    const GVector cross = GVector::Cross(start - rec.center, tangent);
    if (*rc == 0 && !(cross.Length() >= kVanishing)) *rc = 5;
    if (*rc == 0) rec.normal = GUnitVector(cross);
  }
  if (*rc == 0 && arc) ArcAngles(*cv, circle, start, &rec, rc);
  if (*rc == 0) CheckLength(cv, rec, arc, rc);
  if (*rc == 0 || *rc == 10) {
    rec.center += GVector(origin[0], origin[1], origin[2]);
    *out = rec;
  }
  DropCurve(&cv, rc);
}

}  // namespace

void IMIcvGTC(const VOQbsp_curve* cv, std::uint8_t type, GTypedCurve* out, int* rc) {
  *rc = 0;
  const bool own = type == kCurveLine || type == kCurveLineString || type == kCurveEllipse || type == kCurveArc;
  if (!own) type = kCurveBspline;
  if (!out) {
    *rc = 5;
  } else {
    out->type = type;
    out->pCurve = qn::GeomCalloc(1, sizeof(GArc));
    if (!out->pCurve) *rc = 6;
  }
  if (*rc == 0) {
    switch (type) {
      case kCurveLine:
        IMIcvGLn(cv, static_cast<GLine*>(out->pCurve), rc);
        break;
      case kCurveLineString:
        IMIcvGLS(cv, static_cast<GLineString*>(out->pCurve), rc);
        break;
      case kCurveEllipse:
        IMIcvGEl(cv, static_cast<GEllipse*>(out->pCurve), rc);
        break;
      case kCurveArc:
        IMIcvGAr(cv, static_cast<GArc*>(out->pCurve), rc);
        break;
      default:
        IMIcvGCv(cv, static_cast<GBspCurve*>(out->pCurve), rc);
        break;
    }
    if (*rc != 0) {
      int freeRc = 0;
      IMGTCFree(out, &freeRc);
    } else if (IsValidateMathEnabled()) {
      ValidateTypedCurve(*out);
    }
  }
  BSexit(rc, "IMIcvGTC", "imicvgtc");
}

void IMIcvGCv(const VOQbsp_curve* cv, GBspCurve* out, int* rc) {
  *rc = 0;
  if (!out) {
    *rc = 5;
  } else {
    out->pPoles = nullptr;
    out->pWeights = nullptr;
    out->pKnots = nullptr;
    out->curve = nullptr;
    if (!IsReadable(cv))
      *rc = 5;
    else
      WeightsVanish(*cv, rc);
  }
  if (*rc == 0) {
    out->numPoles = static_cast<std::uint32_t>(cv->num_poles);
    out->numKnots = static_cast<std::uint32_t>(cv->num_knots);
    out->order = static_cast<std::uint8_t>(cv->order);
    ScopeAndForm(*cv, true, &out->scope, &out->form, rc);
  }
  if (*rc == 0) {
    const std::size_t n = out->numPoles;
    out->length = -1.0;
    out->rational = cv->rational ? 1 : 0;
    out->pPoles = static_cast<GPosition*>(qn::GeomMalloc(n * sizeof(GPosition)));
    if (!out->pPoles) *rc = 6;
    if (*rc == 0 && cv->rational) {
      out->pWeights = static_cast<double*>(qn::GeomMalloc(n * sizeof(double)));
      if (!out->pWeights) *rc = 6;
    }
    for (std::size_t i = 0; i < n && *rc == 0; ++i)
      if (PlainPole(*cv, static_cast<int>(i), &out->pPoles[i], rc) && cv->rational)
        out->pWeights[i] = cv->weights[i];
  }
  if (*rc == 0) {
    out->pKnots = static_cast<double*>(qn::GeomMalloc(out->numKnots * sizeof(double)));
    if (!out->pKnots)
      *rc = 6;
    else
      std::memcpy(out->pKnots, cv->knots, out->numKnots * sizeof(double));
    out->properties = 0;
  }
  if (*rc == 0 && IsValidateMathEnabled()) {
    int valid = 1, vrc = 0;
    IMCvVal(out, &valid, &vrc);
  }
  BSexit(rc, "IMIcvGCv", "imicvgcv");
}

void IMIcvGLS(const VOQbsp_curve* cv, GLineString* out, int* rc) {
  *rc = 0;
  if (!out || !HasFinitePoles(cv) || cv->num_poles < 2) {
    *rc = 5;
  } else if (!WeightsVanish(*cv, rc)) {
    out->pPoints = nullptr;
    out->numPoints = static_cast<std::uint32_t>(cv->num_poles);
    ScopeAndForm(*cv, false, &out->scope, &out->form, rc);
    if (*rc == 0) {
      out->pPoints = static_cast<GPosition*>(qn::GeomMalloc(out->numPoints * sizeof(GPosition)));
      if (!out->pPoints) *rc = 6;
    }
    for (int i = 0; i < cv->num_poles && *rc == 0; ++i) PlainPole(*cv, i, &out->pPoints[i], rc);
    if (*rc == 0 && IsValidateMathEnabled()) {
      int valid = 1, vrc = 0;
      IMLSVal(out, &valid, &vrc);
    }
  }
  BSexit(rc, "IMIcvGLS", "imicvgls");
}

void IMIcvGLn(const VOQbsp_curve* cv, GLine* out, int* rc) {
  *rc = 0;
  GPosition p0, p1;
  if (!out || !HasFinitePoles(cv)) {
    *rc = 5;
  } else if (PlainPole(*cv, 0, &p0, rc) && PlainPole(*cv, cv->num_poles - 1, &p1, rc)) {
    IMGLn2Pts(&p0, &p1, out, rc);
    if (*rc == 0 && IsValidateMathEnabled()) {
      int valid = 1, vrc = 0;
      IMLnVal(out, &valid, &vrc);
    }
  }
  BSexit(rc, "IMIcvGLn", "imicvgln");
}

void IMGLn2Pts(const GPosition* p0, const GPosition* p1, GLine* out, int* rc) {
  *rc = 0;
  if (!p0 || !p1 || !out || !std::isfinite(p0->x + p0->y + p0->z) || !std::isfinite(p1->x + p1->y + p1->z)) {
    *rc = 5;
  } else if (p0->IsEqual(*p1)) {
    *out = GLine{*p0, GUnitVector(0, 0, 1), 0.0, 0.0};
  } else {
    // The working domain is a box about the origin: a point is judged by its coordinates' magnitudes.
    const double domain = GetDistanceTolerance() / GetRelativeTolerance() * 100;
    const GVector d = *p1 - *p0;
    const double L = d.Length();
    bool outside = !(L <= domain);
    for (int k = 0; k < 3; ++k) outside = outside || std::fabs((*p0)[k]) > domain || std::fabs((*p1)[k]) > domain;
    if (outside) *rc = 10;
    const GVector u = d / L;
    out->rootPoint = GPosition::Interpolate(0.5, *p0, *p1);
    out->direction.x = u.x, out->direction.y = u.y, out->direction.z = u.z;
    out->start = -L / 2;
    out->end = L / 2;
    if (*rc == 0 && IsValidateMathEnabled()) {
      int valid = 1, vrc = 0;
      IMLnVal(out, &valid, &vrc);
    }
  }
  BSexit(rc, "IMGLn2Pts", "imgln2pts");
}

void IMIcvGEl(const VOQbsp_curve* cv, GEllipse* out, int* rc) {
  *rc = 0;
  GArc rec{};
  RecogniseConic(cv, false, out ? &rec : nullptr, rc);
  if (*rc == 0 || *rc == 10) {
    *out = rec;
    if (IsValidateMathEnabled()) {
      int valid = 1, vrc = 0;
      IMElVal(out, &valid, &vrc);
    }
  }
  BSexit(rc, "IMIcvGEl", "imicvgel");
}

void IMIcvGAr(const VOQbsp_curve* cv, GArc* out, int* rc) {
  *rc = 0;
  RecogniseConic(cv, true, out, rc);
  if ((*rc == 0 || *rc == 10) && IsValidateMathEnabled()) {
    int valid = 1, vrc = 0;
    IMArVal(out, &valid, &vrc);
  }
  BSexit(rc, "IMIcvGAr", "imicvgar");
}

void IMEl3dCv3d(const GEllipse* el, GBspCurve* out, int* rc) {
  *rc = 0;
  if (!el || !out) {
    *rc = 5;
  } else {
    *out = GBspCurve{};
    VOQbsp_curve* cv = nullptr;
    IMGElIcv(el, &cv, rc);
    if (*rc == 0) IMIcvGCv(cv, out, rc);
    if (*rc == 0 && IsValidateMathEnabled()) {
      int valid = 1, vrc = 0;
      IMCvVal(out, &valid, &vrc);
    }
    DropCurve(&cv, rc);
  }
  BSexit(rc, "IMEl3dCv3d", "imel3dcv3d");
}

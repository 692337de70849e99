// Evaluation of typed curves: end points, points and unit tangents at parameters, the parameters of points and of
// ratios of a curve's range, the knot tolerance of a B-spline record, the shape of point sets, and the form and
// scope of complex strings.
#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <iterator>

#include "bspline/bspline.h"
#include "bspline/core/exit.h"
#include "bspline/numerics.h"
#include "geometry/platform.h"
#include "geometry/typed_curves.h"
#include "geometry/typed_curves_internal.h"

namespace {

namespace qn = geomplatform;
using typedcurves::FirstParameter;
using typedcurves::IsShaped;
using typedcurves::LastParameter;

constexpr double kTwoPi = 6.283185307179586;
constexpr double kTinyWeightSum = 2.220446049250313e-16;
constexpr double kTinyLength = 2.220446049250313e-16;
constexpr double kTinyTangent = 2.220446049250313e-15;
constexpr int kMaxOrder = 16;
constexpr int kSplineSamples = 38;
constexpr double kMemberRatios[] = {0.0, 0.2, 0.4, 0.6, 0.8};

bool IsFinite(const GPosition& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// Writes a point that a damaged record or parameter has not made infinite or NaN; otherwise *rc 5.
void Answer(const GPosition& p, GPosition* out, int* rc) {
  if (IsFinite(p))
    *out = p;
  else
    *rc = 5;
}

// ---- Ellipses

GVector MinorAxis(const GEllipse& el) { return GVector::Cross(el.normal, el.majorAxis) * el.minorMajorRatio; }

GPosition EllipsePoint(const GEllipse& el, double t) {
  return el.center + std::cos(t) * el.majorAxis + std::sin(t) * MinorAxis(el);
}

GVector EllipseDerivative(const GEllipse& el, double t) {
  return -std::sin(t) * el.majorAxis + std::cos(t) * MinorAxis(el);
}

void EllipsePointTangent(const GEllipse& el, double t, GPosition* point, GUnitVector* tangent, int* rc) {
  const GVector d = EllipseDerivative(el, t);
  const double length = d.Length();
  Answer(EllipsePoint(el, t), point, rc);
  if (*rc != 0 || !std::isfinite(t)) {
    *rc = 5;
  } else if (!(length >= kTinyTangent)) {
    *rc = 14;
  } else {
    *tangent = GUnitVector(d.x / length, d.y / length, d.z / length);
  }
}

// ---- B-spline records

// The parameter inside [lo, hi], a rounding step beyond either end pulled back onto it; false outside (NaN
// included).
bool IntoRange(double lo, double hi, double* t) {
  const double slack = 16 * DBL_EPSILON * std::fmax(std::fabs(lo), std::fabs(hi));
  if (!(lo <= hi && *t >= lo - slack && *t <= hi + slack)) return false;
  *t = std::clamp(*t, lo, hi);
  return true;
}

void BsplinePoint(const GBspCurve& cv, double t, GPosition* point, int* rc) {
  int span = cv.order - 1;
  int libRc = 0;
  if (cv.order != cv.numPoles) {
    VOQbsp_curve shape{};
    shape.order = cv.order;
    const int numPoles = static_cast<int>(cv.numPoles);
    BSfndspan(&libRc, &shape, &numPoles, cv.pKnots, &t, &span);
  }
  double N[kMaxOrder];
  if (libRc == 0) BSmansf0(&libRc, cv.order, cv.pKnots, span, t, N);
  if (libRc != 0) {
    *rc = 1;
    return;
  }
  double sum[3] = {0, 0, 0}, weightSum = 0;
  for (int j = 0; j < cv.order; ++j) {
    const int i = span - cv.order + 1 + j;
    const double b = cv.rational ? N[j] * cv.pWeights[i] : N[j];
    for (int k = 0; k < 3; ++k) sum[k] += b * cv.pPoles[i][k];
    weightSum += b;
  }
  if (cv.rational) {
    if (std::fabs(weightSum) <= kTinyWeightSum) {
      *rc = 11;
      return;
    }
    for (double& s : sum) s /= weightSum;
  }
  Answer({sum[0], sum[1], sum[2]}, point, rc);
}

// ---- Line strings

double SegmentLength(const GLineString& ls, std::uint32_t i) {
  return GPosition::Distance(ls.pPoints[i], ls.pPoints[i + 1]);
}

double PolygonLength(const GPosition* p, std::uint32_t n) {
  double length = 0;
  for (std::uint32_t i = 0; i + 1 < n; ++i) length += GPosition::Distance(p[i], p[i + 1]);
  return length;
}

// The unit direction of segment i; *rc 14 for a segment shorter than 2.220446049250313e-15.
void SegmentDirection(const GLineString& ls, std::uint32_t i, GUnitVector* direction, int* rc) {
  const double length = SegmentLength(ls, i);
  if (!(length >= kTinyTangent)) {
    *rc = std::isfinite(length) ? 14 : 5;
    return;
  }
  const GVector d = ls.pPoints[i + 1] - ls.pPoints[i];
  *direction = GUnitVector(d.x / length, d.y / length, d.z / length);
}

// ---- Complex strings

// The unit tangent where a member starts, or ends.
void MemberTangent(const GTypedCurve& m, bool atEnd, GUnitVector* tangent, int* rc) {
  GPosition point;
  switch (m.type) {
    case kCurveLine:
      *tangent = static_cast<const GLine*>(m.pCurve)->direction;
      break;
    case kCurveLineString: {
      const auto* ls = static_cast<const GLineString*>(m.pCurve);
      if (!ls->pPoints || ls->numPoints < 2)
        *rc = 5;
      else
        SegmentDirection(*ls, atEnd ? ls->numPoints - 2 : 0, tangent, rc);
      break;
    }
    case kCurveEllipse:
      IMGElPtTan(static_cast<const GEllipse*>(m.pCurve), 0.0, &point, tangent, rc);
      break;
    case kCurveArc: {
      const auto* ar = static_cast<const GArc*>(m.pCurve);
      IMGArPtTan(ar, atEnd ? ar->endAngle : ar->startAngle, &point, tangent, rc);
      break;
    }
    case kCurveBspline: {
      const auto* cv = static_cast<const GBspCurve*>(m.pCurve);
      if (!IsShaped(*cv))
        *rc = 5;
      else
        IMGCvPtTan(cv, atEnd ? LastParameter(*cv) : FirstParameter(*cv), &point, tangent, rc);
      break;
    }
    case kCurveLibrary:
      *rc = 8;
      break;
    default:
      *rc = 5;
      break;
  }
}

// Scratch of the scope routines: on the stack below 4092 bytes, from the geometry library above.
class ScopeScratch {
 public:
  ScopeScratch() = default;
  ScopeScratch(const ScopeScratch&) = delete;
  ScopeScratch& operator=(const ScopeScratch&) = delete;
  ~ScopeScratch() {
    if (heap_) qn::GeomFree(heap_);
  }
  // Null when memory is short or the size does not fit in memory.
  void* Take(std::uint64_t bytes) {
    if (bytes < sizeof local_) return local_;
    heap_ = bytes <= SIZE_MAX ? qn::GeomMalloc(static_cast<std::size_t>(bytes)) : nullptr;
    return heap_;
  }

 private:
  alignas(8) unsigned char local_[4092];
  void* heap_ = nullptr;
};

// How many points the scope of a complex string samples, or 0 for a member that cannot be sampled.
std::uint64_t SampleCount(const GComplexString& cs) {
  std::uint64_t count = 1;  // the end of the last member
  for (std::uint32_t i = 0; i < cs.numCurves; ++i) {
    const GTypedCurve& m = cs.curves[i];
    if (!m.pCurve || m.type == kCurveComplexString) return 0;
    if (m.type == kCurveLine)
      count += 1;
    else if (m.type == kCurveLineString && static_cast<const GLineString*>(m.pCurve)->numPoints == 0)
      return 0;
    else if (m.type == kCurveLineString)
      count += static_cast<const GLineString*>(m.pCurve)->numPoints - 1;
    else if (m.type == kCurveBspline)
      count += kSplineSamples;
    else
      count += std::size(kMemberRatios);
  }
  return count;
}

void SampleMember(const GTypedCurve& m, GPosition*& out, int* rc) {
  if (m.type == kCurveLine) {
    GPosition end;
    IMGGLnEPts(static_cast<const GLine*>(m.pCurve), out++, &end, rc);
  } else if (m.type == kCurveLineString) {
    const auto* ls = static_cast<const GLineString*>(m.pCurve);
    if (!ls->pPoints || ls->numPoints == 0) *rc = 5;
    for (std::uint32_t i = 0; *rc == 0 && i + 1 < ls->numPoints; ++i) *out++ = ls->pPoints[i];
  } else if (m.type == kCurveBspline) {
    double lo = 0, hi = 0;
    IMTCGtPrRg(&m, &lo, &hi, rc);
    const double step = (hi - lo) / kSplineSamples;
    for (int j = 0; *rc == 0 && j < kSplineSamples; ++j)
      IMGCvPsPr(static_cast<const GBspCurve*>(m.pCurve), lo + j * step, out++, rc);
  } else {
    for (std::size_t j = 0; *rc == 0 && j < std::size(kMemberRatios); ++j) {
      double t = 0;
      IMTCGPrRt(&m, kMemberRatios[j], &t, rc);
      if (*rc == 0) IMTCGtPsPr(&m, t, out++, rc);
    }
  }
}

// The points turned into the frame of their plane, where the loop they make must run counter-clockwise about
// the normal; the normal is reversed when it does not.
void OrientNormal(int n, const GPosition* points, const double* weights, const double centroid[3],
                  GUnitVector* normal, int* rc) {
  ScopeScratch scratch;
  auto* local = static_cast<GPosition*>(scratch.Take(std::uint64_t(n) * (sizeof(GPosition) + 2 * sizeof(double))));
  if (!local) {
    *rc = 6;
    return;
  }
  for (int i = 0; i < n; ++i) {
    const double w = weights ? weights[i] : 1.0;
    local[i] = {points[i].x / w, points[i].y / w, points[i].z / w};
  }
  GTransf frame, inverse;
  GTransf::FromFrame(GPosition(centroid[0], centroid[1], centroid[2]), GVector(*normal), frame);
  frame.Inverse(inverse);
  IMGTrArGPo(&inverse, n, local, local, rc);
  if (*rc != 0) return;
  auto* xy = reinterpret_cast<double*>(local + n);
  for (int i = 0; i < n; ++i) {
    xy[2 * i] = local[i].x;
    xy[2 * i + 1] = local[i].y;
  }
  int orientation = 1;
  qn::GeomLoopOrientation(n, xy, &orientation);
  if (orientation == 0) *normal = GUnitVector(-normal->x, -normal->y, -normal->z);
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------
// End points

void IMGGTCEPts(const GTypedCurve* tc, GPosition* start, GPosition* end, int* rc) {
  *rc = 0;
  if (!tc || !tc->pCurve || !start || !end) {
    *rc = 5;
  } else {
    switch (tc->type) {
      case kCurveLine:
        IMGGLnEPts(static_cast<const GLine*>(tc->pCurve), start, end, rc);
        break;
      case kCurveLineString:
        IMGGLSEPts(static_cast<const GLineString*>(tc->pCurve), start, end, rc);
        break;
      case kCurveComplexString:
        IMGGCSEPts(static_cast<const GComplexString*>(tc->pCurve), start, end, rc);
        break;
      case kCurveEllipse:
        IMGGElGPoFP(static_cast<const GEllipse*>(tc->pCurve), 0.0, start, rc);
        if (*rc == 0) *end = *start;
        break;
      case kCurveArc:
        IMGGArEPts(static_cast<const GArc*>(tc->pCurve), start, end, rc);
        break;
      case kCurveBspline:
        IMGGCvEPts(static_cast<const GBspCurve*>(tc->pCurve), start, end, rc);
        break;
      case kCurveLibrary:
        qn::GeomType150EndPoints(tc->pCurve, &start->x, &end->x, rc);
        break;
      default:
        *rc = 5;
        break;
    }
  }
  BSexit(rc, "IMGGTCEPts", "imggtcepts");
}

void IMGGLnEPts(const GLine* ln, GPosition* start, GPosition* end, int* rc) {
  *rc = 0;
  if (!ln || !start || !end) {
    *rc = 5;
  } else {
    IMGPoGLn(ln, ln->start, start, rc);
    if (*rc == 0) IMGPoGLn(ln, ln->end, end, rc);
  }
  BSexit(rc, "IMGGLnEPts", "imgglnepts");
}

void IMGGLSEPts(const GLineString* ls, GPosition* start, GPosition* end, int* rc) {
  *rc = 0;
  if (!ls || !start || !end || !ls->pPoints || ls->numPoints == 0) {
    *rc = 5;
  } else {
    *start = ls->pPoints[0];
    *end = ls->pPoints[ls->numPoints - 1];
  }
  BSexit(rc, "IMGGLSEPts", "imgglsepts");
}

void IMGGCSEPts(const GComplexString* cs, GPosition* start, GPosition* end, int* rc) {
  *rc = 0;
  if (!cs || !start || !end || !cs->curves || cs->numCurves == 0 ||
      cs->curves[0].type == kCurveComplexString || cs->curves[cs->numCurves - 1].type == kCurveComplexString) {
    *rc = 5;
  } else {
    GPosition s, e, unused;
    IMGGTCEPts(&cs->curves[0], &s, &unused, rc);
    if (*rc == 0) IMGGTCEPts(&cs->curves[cs->numCurves - 1], &unused, &e, rc);
    if (*rc == 0) {
      *start = s;
      *end = e;
    }
  }
  BSexit(rc, "IMGGCSEPts", "imggcsepts");
}

void IMGGArEPts(const GArc* ar, GPosition* start, GPosition* end, int* rc) {
  *rc = 0;
  if (!ar || !start || !end) {
    *rc = 5;
  } else {
    GPosition s;
    Answer(EllipsePoint(*ar, ar->startAngle), &s, rc);
    if (*rc == 0) Answer(EllipsePoint(*ar, ar->endAngle), end, rc);
    if (*rc == 0) *start = s;
  }
  BSexit(rc, "IMGGArEPts", "imggarepts");
}

void IMGGCvEPts(const GBspCurve* cv, GPosition* start, GPosition* end, int* rc) {
  *rc = 0;
  if (!cv || !start || !end || !IsShaped(*cv)) {
    *rc = 5;
  } else {
    GPosition s;
    IMGCvPsPr(cv, FirstParameter(*cv), &s, rc);
    if (*rc == 0) IMGCvPsPr(cv, LastParameter(*cv), end, rc);
    if (*rc == 0) *start = s;
  }
  BSexit(rc, "IMGGCvEPts", "imggcvepts");
}

// ---------------------------------------------------------------------------------------------------------
// Ellipses and arcs

void IMGGElGPoFP(const GEllipse* el, double t, GPosition* point, int* rc) {
  *rc = 0;
  if (!el || !point || !std::isfinite(t))
    *rc = 5;
  else
    Answer(EllipsePoint(*el, t), point, rc);
  BSexit(rc, "IMGGElGPoFP", "imggelgpofp");
}

void IMArGtPsPr(const GArc* ar, double t, GPosition* point, int* rc) {
  *rc = 0;
  if (!ar || !point || !std::isfinite(t))
    *rc = 5;
  else
    Answer(EllipsePoint(*ar, t), point, rc);
  BSexit(rc, "IMArGtPsPr", "imargtpspr");
}

void IMGGElMiA(const GEllipse* el, GVector* minor, int* rc) {
  *rc = 0;
  if (!el || !minor)
    *rc = 5;
  else
    *minor = MinorAxis(*el);
  BSexit(rc, "IMGGElMiA", "imggelmia");
}

void IMElGtMRd(const GEllipse* el, double* radius, int* rc) {
  *rc = 0;
  if (!el || !radius)
    *rc = 5;
  else
    *radius = el->majorAxis.Length();
  BSexit(rc, "IMElGtMRd", "imelgtmrd");
}

void IMElIsCir(const GEllipse* el, int* flag, int* rc) {
  *rc = 0;
  if (!el || !flag)
    *rc = 5;
  else
    *flag = std::fabs(el->minorMajorRatio - 1.0) <= GetRelativeTolerance() ? 1 : 0;
  BSexit(rc, "IMElIsCir", "imeliscir");
}

void IMGGElPFGPo(const GEllipse* el, const GPosition* point, double* t, int* rc) {
  *rc = 0;
  const GVector minor = el ? MinorAxis(*el) : GVector();
  const double R = el ? el->majorAxis.Length() : 0.0, r = minor.Length();
  if (!el || !point || !t || !(R >= kTinyLength) || !(r >= kTinyLength)) {
    *rc = 5;
  } else {
    const GVector w = *point - el->center;
    const double angle = std::atan2(GVector::Dot(w, minor) / (r * r), GVector::Dot(w, el->majorAxis) / (R * R));
    if (!std::isfinite(angle))
      *rc = 5;
    else if (std::fabs(angle) < GetDistanceTolerance() / std::fmax(R, r))
      *t = 0.0;
    else
      *t = angle < 0 ? angle + kTwoPi : angle;
  }
  BSexit(rc, "IMGGElPFGPo", "imggelpfgpo");
}

void IMGGArPFGPo(const GArc* ar, const GPosition* point, double* t, int* rc) {
  *rc = 0;
  if (!ar || !point || !t) {
    *rc = 5;
  } else {
    const double d = GetDistanceTolerance();
    const GPosition start = EllipsePoint(*ar, ar->startAngle), end = EllipsePoint(*ar, ar->endAngle);
    // An end's own angle for a point within the tolerance of it, first the given point, then its ellipse point.
    auto atAnEnd = [&](const GPosition& p) {
      if (GPosition::Distance(p, start) <= d)
        *t = ar->startAngle;
      else if (GPosition::Distance(p, end) <= d)
        *t = ar->endAngle;
      else
        return false;
      return true;
    };
    double angle = 0;
    if (!atAnEnd(*point) && (IMGGElPFGPo(ar, point, &angle, rc), *rc == 0) && !atAnEnd(EllipsePoint(*ar, angle))) {
      const double lo = ar->startAngle;
      const double hi = ar->endAngle < lo ? ar->endAngle + kTwoPi : ar->endAngle;
      // The slack at an end is the distance tolerance over the curve's speed there: d along the curve.
      const double slackLo = d / EllipseDerivative(*ar, lo).Length();
      const double slackHi = d / EllipseDerivative(*ar, hi).Length();
      const double turned = angle + kTwoPi * std::ceil((lo - slackLo - angle) / kTwoPi);
      if (turned <= hi + slackHi)
        *t = std::clamp(turned, lo, hi);
      else
        *rc = 5;
    }
  }
  BSexit(rc, "IMGGArPFGPo", "imggarpfgpo");
}

// ---------------------------------------------------------------------------------------------------------
// Points at parameters

void IMGPoGLn(const GLine* ln, double t, GPosition* point, int* rc) {
  *rc = 0;
  if (!ln || !point || !std::isfinite(t))
    *rc = 5;
  else
    Answer(ln->rootPoint + t * GVector(ln->direction), point, rc);
  BSexit(rc, "IMGPoGLn", "imgpogln");
}

void IMIGPoGLn(const GPosition* point, const GLine* ln, int* flag, int* rc) {
  *rc = 0;
  if (!point || !ln || !flag) {
    *rc = 5;
  } else {
    const double d = GetDistanceTolerance();
    const GVector direction = ln->direction;
    const double s = GVector::Dot(*point - ln->rootPoint, direction);
    const GPosition foot = ln->rootPoint + s * direction;
    *flag = s >= ln->start - d && s <= ln->end + d && GPosition::Distance(*point, foot) < d ? 1 : 0;
  }
  BSexit(rc, "IMIGPoGLn", "imigpogln");
}

void IMGCvPsPr(const GBspCurve* cv, double t, GPosition* point, int* rc) {
  *rc = 0;
  if (!cv || !point || !IsShaped(*cv) || cv->order > kMaxOrder ||
      !IntoRange(FirstParameter(*cv), LastParameter(*cv), &t))
    *rc = 5;
  else
    BsplinePoint(*cv, t, point, rc);
  BSexit(rc, "IMGCvPsPr", "imgcvpspr");
}

void IMGGLSGPoFP(const GLineString* ls, double t, GPosition* point, int* rc) {
  *rc = 0;
  const double d = GetDistanceTolerance();
  if (!ls || !point || !ls->pPoints || ls->numPoints == 0 || !(t >= -d)) {
    *rc = 5;
  } else if (t <= d || ls->numPoints == 1) {
    *point = ls->pPoints[0];
    if (ls->numPoints == 1) *rc = 5;
  } else {
    double sum = 0;
    bool found = false;
    for (std::uint32_t i = 0; !found && i + 1 < ls->numPoints; ++i) {
      const double length = SegmentLength(*ls, i);
      sum += length;
      // An end within the tolerance is taken as it is, before the point is placed back along the segment.
      if (std::fabs(t - sum) <= d) {
        *point = ls->pPoints[i + 1];
        found = true;
      } else if (sum - d >= t && length > 0) {
        const GVector along = (ls->pPoints[i + 1] - ls->pPoints[i]) / length;
        Answer(ls->pPoints[i + 1] - (sum - t) * along, point, rc);
        found = true;
      }
    }
    if (!found) *rc = 5;
  }
  BSexit(rc, "IMGGLSGPoFP", "imgglsgpofp");
}

void IMCSGPsPr(const GComplexString* cs, double t, GPosition* point, int* rc) {
  *rc = 0;
  if (!cs || !point || !cs->curves || cs->numCurves == 0 || !(t >= 0 && t <= cs->numCurves)) {
    *rc = 5;
  } else {
    const bool atEnd = t >= cs->numCurves;
    const std::uint32_t i = atEnd ? cs->numCurves - 1 : static_cast<std::uint32_t>(t);
    const double f = atEnd ? 1.0 : t - i;
    const GTypedCurve& member = cs->curves[i];
    double lo = 0, hi = 0;
    if (member.type == kCurveComplexString)
      *rc = 5;
    else
      IMTCGtPrRg(&member, &lo, &hi, rc);
    if (*rc == 0) {
      if (member.type == kCurveArc && hi < lo) hi += kTwoPi;
      IMTCGtPsPr(&member, lo + f * (hi - lo), point, rc);
    }
  }
  BSexit(rc, "IMCSGPsPr", "imcsgpspr");
}

void IMTCGtPsPr(const GTypedCurve* tc, double t, GPosition* point, int* rc) {
  *rc = 0;
  if (!tc || !tc->pCurve || !point) {
    *rc = 5;
  } else {
    switch (tc->type) {
      case kCurveLine:
        IMGPoGLn(static_cast<const GLine*>(tc->pCurve), t, point, rc);
        break;
      case kCurveLineString:
        IMGGLSGPoFP(static_cast<const GLineString*>(tc->pCurve), t, point, rc);
        break;
      case kCurveEllipse:
        IMGGElGPoFP(static_cast<const GEllipse*>(tc->pCurve), t, point, rc);
        break;
      case kCurveArc:
        IMArGtPsPr(static_cast<const GArc*>(tc->pCurve), t, point, rc);
        break;
      case kCurveBspline:
        IMGCvPsPr(static_cast<const GBspCurve*>(tc->pCurve), t, point, rc);
        break;
      case kCurveComplexString:
        IMCSGPsPr(static_cast<const GComplexString*>(tc->pCurve), t, point, rc);
        break;
      case kCurveLibrary:
        *rc = 8;
        break;
      default:
        *rc = 5;
        break;
    }
  }
  BSexit(rc, "IMTCGtPsPr", "imtcgtpspr");
}

// ---------------------------------------------------------------------------------------------------------
// Parameter ranges and ratios

void IMTCGtPrRg(const GTypedCurve* tc, double* low, double* high, int* rc) {
  *rc = 0;
  double lo = 0, hi = 0;
  if (!tc || !tc->pCurve || !low || !high) {
    *rc = 5;
  } else {
    switch (tc->type) {
      case kCurveLine:
        lo = static_cast<const GLine*>(tc->pCurve)->start;
        hi = static_cast<const GLine*>(tc->pCurve)->end;
        break;
      case kCurveLineString: {
        const auto* ls = static_cast<const GLineString*>(tc->pCurve);
        if (!ls->pPoints)
          *rc = 5;
        else
          hi = PolygonLength(ls->pPoints, ls->numPoints);
        break;
      }
      case kCurveComplexString:
        hi = static_cast<const GComplexString*>(tc->pCurve)->numCurves;
        break;
      case kCurveEllipse:
        hi = kTwoPi;
        break;
      case kCurveArc: {
        const auto* ar = static_cast<const GArc*>(tc->pCurve);
        lo = ar->startAngle;
        hi = ar->endAngle;
        if (BSfuzzyeq(lo, kTwoPi) && (hi < kTwoPi || BSfuzzyeq(hi, kTwoPi))) lo = 0;
        if (BSfuzzyeq(hi, 0.0) && !(lo < 0)) hi = kTwoPi;
        break;
      }
      case kCurveBspline: {
        const auto* cv = static_cast<const GBspCurve*>(tc->pCurve);
        if (!IsShaped(*cv)) {
          *rc = 5;
        } else {
          lo = FirstParameter(*cv);
          hi = LastParameter(*cv);
        }
        break;
      }
      case kCurveLibrary:
        *rc = 8;
        break;
      default:
        *rc = 5;
        break;
    }
    if (*rc == 0) {
      *low = lo;
      *high = hi;
    }
  }
  BSexit(rc, "IMTCGtPrRg", "imtcgtprrg");
}

void IMTCGPrRt(const GTypedCurve* tc, double ratio, double* t, int* rc) {
  *rc = 0;
  if (!tc || !tc->pCurve || !t || !std::isfinite(ratio)) {
    *rc = 5;
  } else {
    double lo = 0, hi = 0;
    switch (tc->type) {
      case kCurveLine:
      case kCurveLineString:
      case kCurveComplexString:
      case kCurveBspline:
        IMTCGtPrRg(tc, &lo, &hi, rc);
        if (*rc == 0) *t = lo + ratio * (hi - lo);
        break;
      case kCurveEllipse:
        *t = ratio * kTwoPi;
        break;
      case kCurveArc:
        IMArPrFRt(static_cast<const GArc*>(tc->pCurve), ratio, t, rc);
        break;
      default:
        *rc = 5;
        break;
    }
  }
  BSexit(rc, "IMTCGPrRt", "imtcgprrt");
}

void IMArPrFRt(const GArc* ar, double ratio, double* t, int* rc) {
  *rc = 0;
  if (!ar || !t || !(ratio >= 0) || !std::isfinite(ratio)) {
    *rc = 5;
  } else if (ratio == 0) {
    *t = ar->startAngle;
  } else if (ratio == 1) {
    *t = ar->endAngle;
  } else {
    const double end = ar->endAngle > ar->startAngle ? ar->endAngle : ar->endAngle + kTwoPi;
    const double angle = ar->startAngle + ratio * (end - ar->startAngle);
    *t = angle > kTwoPi ? angle - kTwoPi : angle;
  }
  BSexit(rc, "IMArPrFRt", "imarprfrt");
}

// ---------------------------------------------------------------------------------------------------------
// Points and unit tangents

void IMGCvPtTan(const GBspCurve* cv, double t, GPosition* point, GUnitVector* tangent, int* rc) {
  *rc = 0;
  VOQbsp_curve* curve = nullptr;
  if (!cv || !point || !tangent) {
    *rc = 5;
  } else {
    IMGCvIcv(cv, &curve, rc);
    if (*rc == 0 && !IntoRange(FirstParameter(*cv), LastParameter(*cv), &t)) *rc = 5;
    double out[6];
    int libRc = 0;
    if (*rc == 0) BScveval_n(curve, t, 1, out, &libRc);
    const GVector d(out[3], out[4], out[5]);
    const double length = *rc == 0 && libRc == 0 ? d.Length() : 0.0;
    if (libRc != 0) {
      *rc = 1;
    } else if (*rc == 0) {
      Answer({out[0], out[1], out[2]}, point, rc);
      if (*rc == 0 && !(length >= kTinyTangent)) *rc = std::isfinite(length) ? 14 : 5;
      if (*rc == 0) *tangent = GUnitVector(d.x / length, d.y / length, d.z / length);
    }
    typedcurves::DropCurve(&curve, rc);
  }
  BSexit(rc, "IMGCvPtTan", "imgcvpttan");
}

void IMGArPtTan(const GArc* ar, double t, GPosition* point, GUnitVector* tangent, int* rc) {
  *rc = 0;
  if (!ar || !point || !tangent)
    *rc = 5;
  else
    EllipsePointTangent(*ar, t, point, tangent, rc);
  BSexit(rc, "IMGArPtTan", "imgarpttan");
}

void IMGElPtTan(const GEllipse* el, double t, GPosition* point, GUnitVector* tangent, int* rc) {
  *rc = 0;
  if (!el || !point || !tangent)
    *rc = 5;
  else
    EllipsePointTangent(*el, t, point, tangent, rc);
  BSexit(rc, "IMGElPtTan", "imgelpttan");
}

void IMGLSPtTan(const GLineString* ls, double t, GPosition* point, GUnitVector* tangent, int* rc) {
  *rc = 0;
  if (!ls || !point || !tangent || !ls->pPoints || ls->numPoints < 2 || !(t >= 0)) {
    *rc = 5;
  } else {
    const double d = GetDistanceTolerance();
    std::uint32_t segment = 0;
    double along = 0;
    if (t > d) {
      double sum = 0;
      bool found = false;
      for (std::uint32_t i = 0; !found && i + 1 < ls->numPoints; ++i) {
        const double length = SegmentLength(*ls, i);
        if (sum + length >= t) {
          segment = i;
          along = t - sum;
          found = true;
        }
        sum += length;
      }
      if (!found && t <= sum + d) {
        segment = ls->numPoints - 2;
        along = SegmentLength(*ls, segment);
      } else if (!found) {
        *rc = 5;
      }
    }
    GUnitVector direction;
    if (*rc == 0) SegmentDirection(*ls, segment, &direction, rc);
    if (*rc == 0) {
      *point = ls->pPoints[segment] + along * GVector(direction);
      *tangent = direction;
    }
  }
  BSexit(rc, "IMGLSPtTan", "imglspttan");
}

void IMGLnPtTan(const GLine* ln, double t, GPosition* point, GUnitVector* tangent, int* rc) {
  *rc = 0;
  if (!ln || !point || !tangent) {
    *rc = 5;
  } else {
    IMGPoGLn(ln, t, point, rc);
    if (*rc == 0) *tangent = ln->direction;
  }
  BSexit(rc, "IMGLnPtTan", "imglnpttan");
}

// ---------------------------------------------------------------------------------------------------------
// Knot tolerance, point sets and transforms

void IMCvKtTl(const GBspCurve* cv, double* tolerance, int* rc) {
  *rc = 0;
  if (!cv || !tolerance || !IsShaped(*cv)) {
    *rc = 5;
  } else {
    double length = cv->length > 0 ? cv->length : PolygonLength(cv->pPoles, cv->numPoles);
    if (!(length >= 0.001)) length = 0.001;
    double tol = (LastParameter(*cv) - FirstParameter(*cv)) * GetDistanceTolerance() / length;
    for (std::uint32_t i = cv->order; i <= cv->numPoles; ++i) {
      const double width = cv->pKnots[i] - cv->pKnots[i - 1];
      if (width > kTinyLength && width < tol) tol = width / 10;
    }
    *tolerance = tol;
  }
  BSexit(rc, "IMCvKtTl", "imcvkttl");
}

void IMLsqPtLnPl(int n, const GPosition* points, int* kind, GVector* first, GVector* second, int* rc) {
  *rc = 0;
  if (n < 1 || !points || !kind || !first || !second) {
    *rc = 5;
  } else {
    int shape = 0, libRc = 0;
    double centroid[3] = {0, 0, 0}, vec[3] = {0, 0, 0};
    BSgmprppts3(n, &points[0].x, BStoltab[bstol::dist_tol], &shape, centroid, vec, &libRc);
    const int kinds[4][2] = {
        {BSSHAPE_COINCIDENT, 1}, {BSSHAPE_COLLINEAR, 2}, {BSSHAPE_COPLANAR, 3}, {BSSHAPE_SPATIAL, 4}};
    *rc = 1;
    for (const auto& k : kinds)
      if (libRc == 0 && shape == k[0]) {
        *rc = 0;
        *kind = k[1];
        *first = {centroid[0], centroid[1], centroid[2]};
        *second = {vec[0], vec[1], vec[2]};
      }
  }
  BSexit(rc, "IMLsqPtLnPl", "imlsqptlnpl");
}

void IMGTrArGPo(const GTransf* t, int n, const GPosition* in, GPosition* out, int* rc) {
  *rc = 0;
  if (!t || n < 0 || (n > 0 && (!in || !out)))
    *rc = 5;
  else
    for (int i = 0; i < n; ++i) out[i] = in[i] * *t;
  BSexit(rc, "IMGTrArGPo", "imgtrargpo");
}

// ---------------------------------------------------------------------------------------------------------
// Scope and form

void IMStScRN(int n, const GPosition* points, const double* weights, std::uint8_t* scope, GUnitVector* normal,
              int* rc) {
  *rc = 0;
  if (n < 1 || !points || !scope || !normal) {
    *rc = 5;
  } else {
    const bool orient = *scope == 5;
    *scope = 0;
    int m = n;
    if (n >= 2) {
      const double w0 = weights ? weights[0] : 1.0, w1 = weights ? weights[n - 1] : 1.0;
      const GPosition first(points[0].x / w0, points[0].y / w0, points[0].z / w0);
      const GPosition last(points[n - 1].x / w1, points[n - 1].y / w1, points[n - 1].z / w1);
      const GVector gap = last - first;
      if (GVector::Dot(gap, gap) < BStoltab[bstol::dist_sqtol]) m = n - 1;
    }
    int kind = 0, libRc = 0;
    double centroid[3], vec[3], deviation = 0;
    BSlsqptlnpl(m, &points[0].x, weights, BSFIT_PLANE, &kind, centroid, vec, &deviation, &libRc);
    const std::uint8_t scopes[] = {0, 3, 2, 1, 4};
    if (libRc != 0 || kind < BSKIND_POINT || kind > BSKIND_NONE) {
      *rc = 1;
    } else {
      if (kind != BSKIND_POINT) *normal = GUnitVector(vec[0], vec[1], vec[2]);
      if (orient && (kind == BSKIND_PLANE || kind == BSKIND_NONE))
        OrientNormal(m, points, weights, centroid, normal, rc);
      if (*rc == 0) *scope = scopes[kind];
    }
  }
  BSexit(rc, "IMStScRN", "imstscrn");
}

void IMCSChkSc(const GComplexString* cs, std::uint8_t* scope, GUnitVector* normal, int* rc) {
  *rc = 0;
  const std::uint64_t count = cs && cs->curves ? SampleCount(*cs) : 0;
  if (!cs || !scope || !normal || !cs->curves || cs->numCurves == 0 || count == 0) {
    *rc = 5;
  } else {
    ScopeScratch scratch;
    auto* samples = count <= INT_MAX ? static_cast<GPosition*>(scratch.Take(count * sizeof(GPosition))) : nullptr;
    if (!samples) *rc = 6;
    GPosition* next = samples;
    for (std::uint32_t i = 0; *rc == 0 && i < cs->numCurves; ++i) SampleMember(cs->curves[i], next, rc);
    GPosition unused;
    if (*rc == 0) IMGGTCEPts(&cs->curves[cs->numCurves - 1], &unused, next++, rc);
    if (*rc == 0) IMStScRN(static_cast<int>(next - samples), samples, nullptr, scope, normal, rc);
  }
  BSexit(rc, "IMCSChkSc", "imcschksc");
}

void IMGCSStSc(GComplexString* cs, int* rc) {
  *rc = 0;
  std::uint8_t scope = 0;
  GUnitVector normal;
  IMCSChkSc(cs, &scope, &normal, rc);
  if (*rc == 0) cs->scope = scope;
  BSexit(rc, "IMGCSStSc", "imgcsstsc");
}

void IMGCSStFrm(GComplexString* cs, int* rc) {
  *rc = 0;
  if (!cs || !cs->curves || cs->numCurves == 0) {
    *rc = 5;
  } else {
    GPosition start, end;
    std::uint8_t form = 1;
    IMGGCSEPts(cs, &start, &end, rc);
    if (*rc == 0 && cs->scope != 3 && start.IsEqual(end)) {
      form = 2;
      // A closed string of one line has no length to turn along.
      if (cs->numCurves > 1 || cs->curves[0].type != kCurveLine) {
        GUnitVector first, last;
        MemberTangent(cs->curves[0], false, &first, rc);
        if (*rc == 0) MemberTangent(cs->curves[cs->numCurves - 1], true, &last, rc);
        if (*rc == 14)
          *rc = 0;  // a null tangent leaves the string closed
        else if (*rc == 0 && first.IsParallel(last) && GVector::Dot(first, last) > 0)
          form = 3;
      }
    }
    if (*rc == 0) cs->form = form;
  }
  BSexit(rc, "IMGCSStFrm", "imgcsstfrm");
}

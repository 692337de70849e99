// Lengths of typed curves: lines, line strings and circles in closed form, every other curve converted to the
// library's form and measured there over its whole parameter range.
#include <cmath>

#include "bspline/bspline.h"
#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/measure.h"
#include "geometry/typed_curves.h"
#include "geometry/typed_curves_internal.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Writes a length that damaged input has not made infinite or NaN; otherwise *rc 5 and *length stays.
void Answer(double value, double* length, int* rc) {
  if (std::isfinite(value))
    *length = value;
  else
    *rc = 5;
}

// BSarclen integrates to the absolute accuracy of one entry of the library's tolerance table, which starts at
// 1e-3: far coarser than what callers of a typed curve's length expect of a double, and meaningless for curves
// much smaller or larger than 1. The entry is narrowed for the call to a relative accuracy of the curve's
// size and put back on every path.
constexpr int kArcLengthToleranceEntry = 15;
constexpr double kRelativeAccuracy = 1e-11;

// The length of cv between its ends at an accuracy relative to `scale` (the library's own when scale is 0).
void Integrate(VOQbsp_curve* cv, double scale, double* measured, int* libRc) {
  const double saved = BStoltab[kArcLengthToleranceEntry];
  const double tolerance = kRelativeAccuracy * scale;
  int tableRc = 0;
  if (tolerance > 0 && tolerance < saved) BSchangepar(&tableRc, kArcLengthToleranceEntry, tolerance);
  const double first = cv->knots[cv->order - 1], last = cv->knots[cv->num_poles];
  const double middle = (first + last) / 2;  // names the whole curve when it is closed
  BSboolean status = BSTRUE;
  BSarclen(libRc, &status, cv, &first, &last, &middle, measured);
  if (*libRc == 0 && !status) *libRc = 1;
  BSchangepar(&tableRc, kArcLengthToleranceEntry, saved);
}

// The length of the record converted to the library's form; the converted curve is freed whatever happens.
// *rc is the conversion's code, 1 when the library fails.
template <typename Record>
void MeasureConverted(const Record* record, void (*convert)(const Record*, VOQbsp_curve**, int*), double* length,
                      int* rc) {
  VOQbsp_curve* cv = nullptr;
  convert(record, &cv, rc);
  if (*rc == 0) {
    // The control polygon is never shorter than the curve (positive weights); when it is much longer, or
    // cannot be had, the first answer sets the scale of a second one.
    double scale = 0, measured = 0;
    int libRc = 0;
    BScumdist(&libRc, &cv->num_poles, cv->poles, cv->rational ? cv->weights : nullptr, &scale);
    if (libRc != 0 || !std::isfinite(scale)) scale = 0;
    libRc = 0;
    Integrate(cv, scale, &measured, &libRc);
    if (libRc == 0 && measured > 0 && (scale == 0 || measured < scale / 100))
      Integrate(cv, measured, &measured, &libRc);
    if (libRc != 0)
      *rc = 1;
    else
      Answer(measured, length, rc);
  }
  typedcurves::DropCurve(&cv, rc);
}

}  // namespace

void IMTCLen(const GTypedCurve* tc, double* length, int* rc) {
  *rc = 0;
  if (!tc || !length) {
    *rc = 5;
  } else {
    switch (tc->type) {
      case kCurveLine:
        IMGGLnL(static_cast<const GLine*>(tc->pCurve), length, rc);
        break;
      case kCurveLineString:
        IMGGLSL(static_cast<const GLineString*>(tc->pCurve), length, rc);
        break;
      case kCurveEllipse:
        IMGGElL(static_cast<const GEllipse*>(tc->pCurve), length, rc);
        break;
      case kCurveArc:
        IMGGArL(static_cast<const GArc*>(tc->pCurve), length, rc);
        break;
      case kCurveBspline:
        IMGGCvL(static_cast<const GBspCurve*>(tc->pCurve), length, rc);
        break;
      case kCurveComplexString:
        IMGGCSL(static_cast<const GComplexString*>(tc->pCurve), length, rc);
        break;
      default:
        break;
    }
  }
  BSexit(rc, "IMTCLen", "imtclen");
}

void IMGGLnL(const GLine* ln, double* length, int* rc) {
  *rc = 0;
  GPosition start, end;
  if (!ln || !length)
    *rc = 5;
  else
    IMGGLnEPts(ln, &start, &end, rc);
  if (*rc == 0) Answer(GPosition::Distance(start, end), length, rc);
  BSexit(rc, "IMGGLnL", "imgglnl");
}

void IMGGLSL(const GLineString* ls, double* length, int* rc) {
  *rc = 0;
  if (!ls || !length || !ls->pPoints || ls->numPoints == 0) {
    *rc = 5;
  } else {
    double sum = 0;
    for (std::uint32_t i = 1; i < ls->numPoints; ++i) sum += GPosition::Distance(ls->pPoints[i - 1], ls->pPoints[i]);
    Answer(sum, length, rc);
  }
  BSexit(rc, "IMGGLSL", "imgglsl");
}

void IMGGElL(const GEllipse* el, double* length, int* rc) {
  *rc = 0;
  if (!el || !length) {
    *rc = 5;
  } else if (el->minorMajorRatio == 1.0) {
    Answer(kTwoPi * el->majorAxis.Length(), length, rc);
  } else {
    MeasureConverted(el, IMGElIcv, length, rc);
  }
  BSexit(rc, "IMGGElL", "imggell");
}

void IMGGArL(const GArc* ar, double* length, int* rc) {
  *rc = 0;
  if (!ar || !length) {
    *rc = 5;
  } else if (ar->minorMajorRatio == 1.0) {
    double sweep = ar->endAngle - ar->startAngle;
    if (sweep < 0) sweep += kTwoPi;
    Answer(ar->majorAxis.Length() * sweep, length, rc);
  } else {
    MeasureConverted(ar, IMGArIcv, length, rc);
  }
  BSexit(rc, "IMGGArL", "imggarl");
}

void IMGGCvL(const GBspCurve* cv, double* length, int* rc) {
  *rc = 0;
  if (!cv || !length) {
    *rc = 5;
  } else {
    MeasureConverted(cv, IMGCvIcv, length, rc);
  }
  BSexit(rc, "IMGGCvL", "imggcvl");
}

void IMGGCSL(const GComplexString* cs, double* length, int* rc) {
  *rc = 0;
  if (!cs || !length || !cs->curves || cs->numCurves == 0) {
    *rc = 5;
  } else {
    double sum = 0;
    for (std::uint32_t i = 0; i < cs->numCurves && *rc == 0; ++i) {
      const GTypedCurve& member = cs->curves[i];
      double part = 0;
      switch (member.type) {
        case kCurveLine:
        case kCurveLineString:
        case kCurveEllipse:
        case kCurveArc:
        case kCurveBspline:
          IMTCLen(&member, &part, rc);
          sum += part;
          break;
        default:
          *rc = 5;
          break;
      }
    }
    if (*rc == 0) Answer(sum, length, rc);
  }
  BSexit(rc, "IMGGCSL", "imggcsl");
}

// Typed curves as the B-spline library's curve record: lines, line strings, B-spline records, ellipses and arcs
// one by one, and a complex string merged into one curve.
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "bspline/bspline.h"
#include "bspline/conics.h"
#include "bspline/core/exit.h"
#include "bspline/knots.h"
#include "bspline/legendre.h"
#include "bspline/measure.h"
#include "geometry/platform.h"
#include "geometry/typed_curves.h"
#include "geometry/typed_curves_internal.h"

namespace {

namespace qn = geomplatform;
using typedcurves::DropCurve;

constexpr double kTwoPi = 6.283185307179586;
constexpr double kHalfPi = 1.5707963267948966;
constexpr std::uint32_t kLocalMembers = 100;

const double* Coords(const GPosition& p) { return &p.x; }
const double* Coords(const GVector& v) { return &v.x; }
const double* Coords(const GUnitVector& u) { return &u.x; }

bool AllFinite(const double* values, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i)
    if (!std::isfinite(values[i])) return false;
  return true;
}

// Finite values and knots that never decrease: what evaluation needs beyond the record's shape.
bool HasSoundValues(const GBspCurve& cv) {
  for (std::uint32_t i = 1; i < cv.numKnots; ++i)
    if (!(cv.pKnots[i] >= cv.pKnots[i - 1])) return false;
  return std::isfinite(cv.pKnots[0]) && std::isfinite(cv.pKnots[cv.numKnots - 1]) &&
         AllFinite(&cv.pPoles[0].x, 3 * std::size_t{cv.numPoles}) &&
         (!cv.rational || AllFinite(cv.pWeights, cv.numPoles));
}

// ---- Small conics

// The geometry library's tolerances and the B-spline table's distance entries, narrowed for the construction of
// a conic whose smaller radius lies at or below the distance tolerance, and put back afterwards.
class NarrowedTolerances {
 public:
  // *rc: the code of a setter that failed; what was narrowed before it stays recorded for Restore.
  void Narrow(double m, int* rc) {
    qn::GeomSetRelTolerance(m * 0.1 * 0.0001, rc);
    if (*rc != 0) return;
    relative_ = true;
    qn::GeomSetDistTolerance(m * 0.1, rc);
    if (*rc != 0) return;
    distance_ = true;
    tableDist_ = BStoltab[bstol::dist_tol];
    tableSqDist_ = BStoltab[bstol::dist_sqtol];
    BStoltab[bstol::dist_tol] = m * 0.1;
    BStoltab[bstol::dist_sqtol] = (m * 0.1) * (m * 0.1);
  }

  // Distance first: the table to its former values, the library to the layer's own tolerances (it offers no
  // reader of its own). A failed setter's code goes to *rc when that was 0.
  void Restore(int* rc) const {
    int setRc = 0;
    if (distance_) {
      BStoltab[bstol::dist_tol] = tableDist_;
      BStoltab[bstol::dist_sqtol] = tableSqDist_;
      qn::GeomSetDistTolerance(GetDistanceTolerance(), &setRc);
      if (setRc != 0 && *rc == 0) *rc = setRc;
    }
    if (relative_) {
      qn::GeomSetRelTolerance(GetRelativeTolerance(), &setRc);
      if (setRc != 0 && *rc == 0) *rc = setRc;
    }
  }

 private:
  bool relative_ = false;
  bool distance_ = false;
  double tableDist_ = 0.0;
  double tableSqDist_ = 0.0;
};

// The ellipse from `start` over `sweep` as a rational quadratic curve into *out (allocated here).
void ConicIcv(const GEllipse& el, bool arc, double start, double sweep, VOQbsp_curve** out, int* rc) {
  const double R = el.majorAxis.Length();
  const double r = R * el.minorMajorRatio;
  double minor[3];
  int libRc = 0;
  if (arc) {
    BSvcross(&libRc, Coords(el.normal), Coords(el.majorAxis), minor);
  } else {
    const double origin[3] = {0, 0, 0};
    const BSboolean sense = BSTRUE;
    const double quarter = kHalfPi;
    BSroto(&libRc, origin, Coords(el.normal), &sense, &quarter, Coords(el.majorAxis), minor);
  }
  if (libRc == 0) BSnorvec(&libRc, minor);
  if (libRc == 0) BSallocvoqcv(3, 9, BSTRUE, 0, out, &libRc);
  if (libRc != 0) {
    *rc = 1;
    return;
  }
  const double m = R < r ? R : r;  // a NaN stays
  NarrowedTolerances narrowed;
  if (m <= GetDistanceTolerance()) {
    if (m < GetRelativeTolerance())
      *rc = 5;
    else
      narrowed.Narrow(m, rc);
  }
  if (*rc == 0) {
    const double origin[3] = {0, 0, 0};
    const double minorEnd[3] = {r * minor[0], r * minor[1], r * minor[2]};
    std::uint16_t circle = 0;
    BSelarptang(origin, Coords(el.majorAxis), minorEnd, start, sweep, 1, nullptr, nullptr, Coords(el.normal),
                nullptr, nullptr, &circle, out, &libRc);
    if (libRc != 0) *rc = 1;
  }
  narrowed.Restore(rc);
  if (*rc != 0) return;
  // Built about the origin: a weighted pole moves by its weight times the centre.
  VOQbsp_curve& cv = **out;
  for (int i = 0; i < cv.num_poles; ++i)
    for (int k = 0; k < 3; ++k) cv.poles[3 * i + k] += cv.weights[i] * el.center[k];
}

// ---- Complex strings

// A point written into pole i as the pole is stored: multiplied by its weight.
void SetPole(VOQbsp_curve* cv, int i, const double p[3]) {
  const double w = cv->rational ? cv->weights[i] : 1.0;
  for (int k = 0; k < 3; ++k) cv->poles[3 * i + k] = p[k] * w;
}

// Poles that the merged chain can need: each curve raised to the highest order gains (raise) per span, and
// the joints share their poles.
bool MergedShape(int count, VOQbsp_curve* const* curves, int* order, int* poles, BSboolean* rational) {
  int top = 0;
  *rational = BSFALSE;
  for (int i = 0; i < count; ++i) {
    top = curves[i]->order > top ? curves[i]->order : top;
    if (curves[i]->rational) *rational = BSTRUE;
  }
  long long total = 0;
  for (int i = 0; i < count; ++i) {
    const long long n = curves[i]->num_poles, k = curves[i]->order;
    total += n + (top - k) * (n - k + 1);
  }
  *order = top;
  *poles = static_cast<int>(total);
  return total <= INT_MAX / 64;
}

// The kept curve `cv` follows one or more dropped members: the gap is closed at its midpoint between the kept
// curve before it and this one, or, when this is the first kept, at the string's start.
void CloseGap(const GComplexString& cs, VOQbsp_curve** kept, int k, int* libRc, int* rc) {
  VOQbsp_curve* cv = kept[k - 1];
  if (k == 1) {
    GPosition start, end;
    IMGGTCEPts(&cs.curves[0], &start, &end, rc);
    if (*rc == 0) SetPole(cv, 0, Coords(start));
    return;
  }
  VOQbsp_curve* before = kept[k - 2];
  double a[3], b[3];
  BScveval_n(before, before->knots[before->num_poles], 0, a, libRc);
  if (*libRc == 0) BScveval_n(cv, cv->knots[cv->order - 1], 0, b, libRc);
  if (*libRc != 0) return;
  const double mid[3] = {(a[0] + b[0]) / 2, (a[1] + b[1]) / 2, (a[2] + b[2]) / 2};
  SetPole(before, before->num_poles - 1, mid);
  SetPole(cv, 0, mid);
}

// The converted members of `cs` (at least two) merged into *out.
void MergeMembers(const GComplexString& cs, VOQbsp_curve** out, int* rc) {
  const std::uint32_t n = cs.numCurves;
  VOQbsp_curve* local[kLocalMembers];
  VOQbsp_curve** kept = local;
  if (n > kLocalMembers) {
    // Widened, so that the test is one on 32-bit targets (where it matters) and on 64-bit ones alike.
    kept = std::uint64_t{n} > SIZE_MAX / sizeof(VOQbsp_curve*)
               ? nullptr
               : static_cast<VOQbsp_curve**>(qn::GeomMalloc(n * sizeof(VOQbsp_curve*)));
    if (!kept) {
      *rc = 6;
      return;
    }
  }
  int k = 0;
  bool dropped = false;
  for (std::uint32_t i = 0; i < n && *rc == 0; ++i) {
    VOQbsp_curve* cv = nullptr;
    IMGTCIcv(&cs.curves[i], &cv, rc);
    if (*rc != 0) break;
    BSboolean degenerate = BSFALSE;
    int libRc = 0;
    BStstcvdegn(cv, &degenerate, &libRc);
    if (libRc == 0 && degenerate) {
      DropCurve(&cv, rc);
      dropped = true;
      continue;
    }
    kept[k++] = cv;
    // Gaps left by dropped members are closed by moving end poles, which are the member's ends only once its
    // knots are clamped: a periodic or otherwise unclamped member is clamped first, its shape kept.
    if (libRc == 0) BScnvtomkt(&libRc, cv);
    if (libRc == 0) BSnorkts(&libRc, &cv->order, &cv->num_poles, cv->knots);
    if (libRc == 0 && dropped) CloseGap(cs, kept, k, &libRc, rc);
    if (libRc != 0) *rc = 1;
    dropped = false;
  }
  if (*rc == 0 && dropped && k > 0) {
    GPosition start, end;
    IMGGTCEPts(&cs.curves[n - 1], &start, &end, rc);
    if (*rc == 0) SetPole(kept[k - 1], kept[k - 1]->num_poles - 1, Coords(end));
  }
  if (*rc == 0) {
    int libRc = 0;
    if (k == 0) {
      IMGTCIcv(&cs.curves[0], out, rc);
      if (*rc == 0) BSnorkts(&libRc, &(*out)->order, &(*out)->num_poles, (*out)->knots);
      if (libRc != 0) *rc = 1;
    } else if (k == 1) {
      BSallocvoqcv(kept[0]->order, kept[0]->num_poles, kept[0]->rational, 0, out, &libRc);
      if (libRc == 0) BScv_copy(&libRc, kept[0], *out);
      if (libRc != 0) qn::GeomRcFromMathError(libRc, rc);
    } else {
      int order = 0, poles = 0;
      BSboolean rational = BSFALSE;
      if (!MergedShape(k, kept, &order, &poles, &rational)) libRc = BSRC_ALLOC_CURVE;
      if (libRc == 0) BSallocvoqcv(static_cast<std::int16_t>(order), poles, rational, 0, out, &libRc);
      if (libRc != 0) {
        qn::GeomRcFromMathError(libRc, rc);
      } else {
        BSmergarrcv(k, kept, out, &libRc);
        if (libRc != 0) *rc = 1;
      }
    }
  }
  for (int j = 0; j < k; ++j) DropCurve(&kept[j], rc);
  if (kept != local) qn::GeomFree(kept);
}

bool HasConvertibleMembers(const GComplexString& cs) {
  if (!cs.curves || cs.numCurves == 0) return false;
  for (std::uint32_t i = 0; i < cs.numCurves; ++i)
    if (!cs.curves[i].pCurve || cs.curves[i].type == kCurveComplexString) return false;
  return true;
}

}  // namespace

void IMGTCIcv(const GTypedCurve* tc, VOQbsp_curve** out, int* rc) {
  *rc = 0;
  if (out) *out = nullptr;
  if (!tc || !out || !tc->pCurve) {
    *rc = 5;
  } else {
    switch (tc->type) {
      case kCurveLine:
        IMGLnIcv(static_cast<const GLine*>(tc->pCurve), out, rc);
        break;
      case kCurveLineString:
        IMGLSIcv(static_cast<const GLineString*>(tc->pCurve), out, rc);
        break;
      case kCurveEllipse:
        IMGElIcv(static_cast<const GEllipse*>(tc->pCurve), out, rc);
        break;
      case kCurveArc:
        IMGArIcv(static_cast<const GArc*>(tc->pCurve), out, rc);
        break;
      case kCurveBspline:
        IMGCvIcv(static_cast<const GBspCurve*>(tc->pCurve), out, rc);
        break;
      case kCurveComplexString:
        IMGCSIcv(static_cast<const GComplexString*>(tc->pCurve), out, rc);
        break;
      default:
        *rc = 5;
        break;
    }
  }
  BSexit(rc, "IMGTCIcv", "imgtcicv");
}

void IMGLnIcv(const GLine* ln, VOQbsp_curve** out, int* rc) {
  *rc = 0;
  IMGLnICvOp(ln, 1, out, rc);
  BSexit(rc, "IMGLnIcv", "imglnicv");
}

void IMGLnICvOp(const GLine* ln, int allocate, VOQbsp_curve** out, int* rc) {
  *rc = 0;
  if (!ln || !out || (!allocate && !*out)) {
    *rc = 5;
  } else {
    int libRc = 0;
    if (allocate) {
      *out = nullptr;
      BSallocvoqcv(2, 2, BSFALSE, 0, out, &libRc);
    }
    if (libRc == 0) {
      const GVector direction = ln->direction;
      const GPosition p0 = ln->rootPoint + ln->start * direction;
      const GPosition p1 = ln->rootPoint + ln->end * direction;
      BSlngen(&libRc, Coords(p0), Coords(p1), *out, nullptr);
      if (libRc == BSRC_NULL_VECTOR) libRc = 0;  // both ends at one point: the curve is still written
    }
    if (libRc != 0) *rc = 1;
    if (*rc != 0 && allocate) DropCurve(out, rc);
  }
  BSexit(rc, "IMGLnICvOp", "imglnicvop");
}

void IMGLSIcv(const GLineString* ls, VOQbsp_curve** out, int* rc) {
  *rc = 0;
  if (out) *out = nullptr;
  if (!ls || !out || !ls->pPoints || ls->numPoints == 0) {
    *rc = 5;
  } else if (ls->numPoints > INT_MAX / 3) {
    *rc = 6;
  } else {
    // The points kept are written straight into the curve's poles and interpolated there: a long line string
    // is neither copied twice nor held twice. The curve has room for every point (two at least), and keeps
    // the unused tail when points are dropped.
    const int n = static_cast<int>(ls->numPoints);
    int libRc = 0;
    BSallocvoqcv(2, n < 2 ? 2 : n, BSFALSE, 0, out, &libRc);
    if (libRc != 0) *rc = 1;
    int m = 0, dropped = 0;
    if (*rc == 0) qn::GeomPointsToLineString(n, Coords(ls->pPoints[0]), 3, 1, &dropped, &m, (*out)->poles, rc);
    if (*rc == 0) {
      if (m < 1 || m > n) {
        libRc = BSRC_OUT_OF_RANGE;
      } else if (m <= 2) {
        // The point and line builders copy their points into the poles: they get them from elsewhere.
        double ends[6];
        std::memcpy(ends, (*out)->poles, sizeof(double) * 3 * static_cast<std::size_t>(m));
        if (m == 1) {
          BSptcvgen(ends, 2, BSFALSE, *out, &libRc);
        } else {
          double direction[3];
          BSlininter(&libRc, &m, ends, *out, direction);
        }
      } else {
        double direction[3];
        BSlininter(&libRc, &m, (*out)->poles, *out, direction);
      }
      if (libRc != 0) *rc = 1;
    }
    if (*rc != 0) DropCurve(out, rc);
  }
  BSexit(rc, "IMGLSIcv", "imglsicv");
}

void IMGCvIcv(const GBspCurve* cv, VOQbsp_curve** out, int* rc) {
  *rc = 0;
  if (out) *out = nullptr;
  if (!cv || !out || !typedcurves::IsShaped(*cv) || !HasSoundValues(*cv)) {
    *rc = 5;
  } else {
    int libRc = 0;
    const std::int32_t numPoles = cv->numPoles <= INT32_MAX ? static_cast<std::int32_t>(cv->numPoles) : -1;
    BSallocvoqcv(cv->order, numPoles, cv->rational ? BSTRUE : BSFALSE, 0, out, &libRc);
    if (libRc != 0) {
      *rc = 1;
    } else {
      VOQbsp_curve& c = **out;
      c.order = cv->order;
      c.num_poles = numPoles;
      c.num_knots = static_cast<std::int32_t>(cv->numKnots);
      for (std::uint32_t i = 0; i < cv->numKnots; ++i) c.knots[i] = cv->pKnots[i];
      c.non_uniform = 1;
      c.periodic = cv->form == 6 ? 1 : 0;
      c.rational = cv->rational ? 1 : 0;
      for (std::uint32_t i = 0; i < cv->numPoles; ++i) {
        const double w = cv->rational ? cv->pWeights[i] : 1.0;
        if (cv->rational) c.weights[i] = w;
        for (int k = 0; k < 3; ++k) c.poles[3 * i + k] = cv->rational ? cv->pPoles[i][k] * w : cv->pPoles[i][k];
      }
      c.planar = cv->scope == 1 ? 1 : 0;
      c.phy_closed = cv->form >= 2 ? 1 : 0;
      c.num_boundaries = 0;
      c.bdrys = nullptr;
    }
  }
  BSexit(rc, "IMGCvIcv", "imgcvicv");
}

void IMGElIcv(const GEllipse* el, VOQbsp_curve** out, int* rc) {
  *rc = 0;
  if (out) *out = nullptr;
  if (!el || !out) {
    *rc = 5;
  } else {
    ConicIcv(*el, false, 0.0, kTwoPi, out, rc);
    if (*rc != 0) DropCurve(out, rc);
  }
  BSexit(rc, "IMGElIcv", "imgelicv");
}

void IMGArIcv(const GArc* ar, VOQbsp_curve** out, int* rc) {
  *rc = 0;
  if (out) *out = nullptr;
  double sweep = ar ? ar->endAngle - ar->startAngle : 0.0;
  if (sweep < 0) sweep += kTwoPi;
  // A sweep past a whole turn (beyond what the distance tolerance allows along the curve) is no arc.
  const double slack = ar ? GetDistanceTolerance() / ar->majorAxis.Length() : 0.0;
  if (!ar || !out || !(sweep >= 0 && sweep <= kTwoPi + slack)) {
    *rc = 5;
  } else {
    ConicIcv(*ar, true, ar->startAngle, sweep, out, rc);
    if (*rc != 0) DropCurve(out, rc);
  }
  BSexit(rc, "IMGArIcv", "imgaricv");
}

void IMGCSIcv(const GComplexString* cs, VOQbsp_curve** out, int* rc) {
  *rc = 0;
  if (out) *out = nullptr;
  if (!cs || !out || !HasConvertibleMembers(*cs)) {
    *rc = 5;
  } else if (cs->numCurves == 1) {
    IMGTCIcv(&cs->curves[0], out, rc);
    int libRc = 0;
    if (*rc == 0) BSnorkts(&libRc, &(*out)->order, &(*out)->num_poles, (*out)->knots);
    if (libRc != 0) *rc = 1;
  } else {
    MergeMembers(*cs, out, rc);
  }
  if (*rc != 0 && out) DropCurve(out, rc);
  BSexit(rc, "IMGCSIcv", "imgcsicv");
}
